// The places where the system compiles and calls scripts, each as its host code does it: the
// host prelude, class scripts, script macros, group filters, the shear formula and rheology
// files, release-depth formulas and display conversions.
#include "ScriptTest.h"

#include <chrono>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

using script_test::Messages;
using script_test::Scope;

namespace {

// ---------------------------------------------------------------------------------------------
// Stand-ins for the 18 host functions: they record what scripts ask for.

std::vector<std::string> host_log;
std::string error_text;
const char kSep[] = "%AK_SEP%";

int host_set(char* obj, char* attr, char* value)
{
  host_log.push_back(std::string("set ") + obj + ":" + attr + "=" + value);
  return std::strcmp(obj, "nowhere") == 0 ? 2 : 0;
}
void host_get(char* obj, char* attr, char* value)
{
  std::string answer = std::string(obj) + "|" + attr;
  ast_sci_store_string(value, answer.c_str());
}
void host_message(char* msg, char* id) { host_log.push_back(std::string("message ") + msg + " @" + id); }
void host_set_error(char* msg) { error_text = msg; }
int host_error(char* msg)
{
  if (error_text.empty()) return 0;
  ast_sci_store_string(msg, error_text.c_str());
  return 1;
}
int host_list_size(char* list)
{
  int n = 0;
  for (const char* p = std::strstr(list, kSep); p; p = std::strstr(p + 8, kSep)) ++n;
  return n;
}
int host_get_list_element(char* list, int* i, char* s)
{
  const char* p = list;
  for (int k = 0; k < *i; ++k) {
    p = std::strstr(p, kSep);
    if (!p) return 0;
    p += 8;
  }
  const char* e = std::strstr(p, kSep);
  if (!e) return 0;
  std::string element(p, static_cast<size_t>(e - p));
  ast_sci_store_string(s, element.c_str());
  return static_cast<int>(element.size());
}
void host_add_id(char* path, char* id)
{
  std::string p = path;
  if (p.empty()) p = ".";
  if (p.back() != '/') p += '/';
  p += id;
  ast_sci_store_string(path, p.c_str());
}
int host_cut_id(char*, char*) { return 0; }
void host_add_name(char*, char*) {}
int host_cut_name(char*, char*) { return 0; }
void host_add_extension(char* name, char* ext)
{
  std::string n = std::string(name) + "." + ext;
  ast_sci_store_string(name, n.c_str());
}
void host_cut_extension(char*, char*) {}
int host_make_directory(char*) { return -1; }
void host_get_attribute_file(char* name, char* extension, char* filename)
{
  std::string f = std::string("attributes/") + name + "." + extension;
  ast_sci_store_string(filename, f.c_str());
}
double host_exec_time(char*, char*) { return -1.0e30; }
double host_modification_time(char*) { return 12.0; }
double host_modification_time_recursive(char*) { return 34.0; }

// Compiles the prelude into the current namespace and binds the host functions, as the first
// class-script load does.
void load_prelude()
{
  ASSERT_EQ(script_test::parse_fixture("host_prelude.cint"), 0);
  auto bind = [](const char* name, auto native) { EXPECT_NE(ast_sci_bind_extern(name, native), nullptr) << name; };
  bind("set", host_set), bind("get", host_get), bind("message", host_message), bind("set_error", host_set_error);
  bind("error", host_error), bind("list_size", host_list_size), bind("get_list_element", host_get_list_element);
  bind("add_id", host_add_id), bind("cut_id", host_cut_id), bind("add_name", host_add_name);
  bind("cut_name", host_cut_name), bind("add_extension", host_add_extension), bind("cut_extension", host_cut_extension);
  bind("make_directory", host_make_directory), bind("get_attribute_file", host_get_attribute_file);
  bind("exec_time", host_exec_time), bind("modification_time", host_modification_time);
  bind("modification_time_recursive", host_modification_time_recursive);
  ast_sci_run_namespace();
  host_log.clear();
  error_text.clear();
}

// Calls a function of the namespace the way the Get hook does: looked up in the namespace's
// own table, called with a declared 131072-byte buffer.
std::string script_get(ast_sci_namespace ns, const char* name)
{
  ast_sci_namespace previous = ast_sci_get_namespace();
  ast_sci_set_namespace(ns);
  ast_sci_symbol* f = ast_sci_find_function(name);
  ast_sci_set_namespace(previous);
  if (!f) return "%AK_NULL%";
  std::vector<char> buffer(131072, 0);
  ast_sci_array_scope declared(buffer.data(), buffer.size());
  ast_sci_call_function(f, buffer.data());
  return buffer.data();
}

bool script_set(ast_sci_namespace ns, const char* name, const char* value)
{
  ast_sci_namespace previous = ast_sci_get_namespace();
  ast_sci_set_namespace(ns);
  ast_sci_symbol* f = ast_sci_find_function(name);
  ast_sci_set_namespace(previous);
  if (!f) return false;
  std::string text = value;
  ast_sci_call_function(f, text.data());
  return true;
}

const char* const kShearHead =
    "double shear( // return shear stress [N/m2]\n"
    "double p,     // bottom pressure [N/m2]\n"
    "double v,     // velocity [m/s]\n"
    "double h,     // flow depth [m]\n"
    "double d)     // density [kg/m3]\n";

std::string shear_source(const char* formula) { return std::string(kShearHead) + "{\n" + formula + "\n}"; }

}  // namespace

TEST(ScriptUses, HostPreludeCompilesWithItsSeparators)
{
  Messages messages;
  Scope host;
  load_prelude();
  ASSERT_EQ(ast_sci_parse_string("int separators() { return sizeof(AK_SEP) * 1000 + DIR_SEP; }\n"
                                 "int elements() {\n"
                                 "  char list[64] = \"a\"; char s[8] = \"?\";\n"
                                 "  strcat(list, AK_SEP); strcat(list, \"bc\"); strcat(list, AK_SEP);\n"
                                 "  return list_size(list) * 100 + get_list_element(list, 1, s) * 10 + (s[1] == 'c');\n"
                                 "}\n"
                                 "int text() { return strcmp(AK_SEP, \"%AK_SEP%\"); }\n"
                                 "double stamps() { return modification_time(\"\") + modification_time_recursive(\"x\"); }\n"),
            0)
      << messages.text();
  EXPECT_EQ(script_test::call0("separators").i, 9 * 1000 + '\\');
  EXPECT_EQ(script_test::call0("elements").i, 221);
  EXPECT_EQ(script_test::call0("text").i, 0);
  EXPECT_EQ(script_test::call0("stamps").d, 46.0);
}

TEST(ScriptUses, ClassScriptGetSetInitUpdate)
{
  Messages messages;
  Scope host;
  load_prelude();
  // Loading: a namespace below the current one, compiled, initialised, "Init" called.
  ast_sci_namespace ns = ast_sci_new_namespace();
  ASSERT_NE(ns, nullptr);
  ast_sci_set_namespace(ns);
  ASSERT_EQ(script_test::parse_fixture("class_script.cint"), 0) << messages.text();
  ast_sci_run_namespace();
  ast_sci_symbol* init = ast_sci_find_function("Init");
  ASSERT_NE(init, nullptr);
  ast_sci_call_function(init);
  EXPECT_EQ(ast_sci_find_function("set"), nullptr);  // host functions are not the class's own
  ast_sci_set_namespace(ast_sci_parent_namespace(ns));

  EXPECT_EQ(script_get(ns, "Label"), "default:1:0");
  EXPECT_EQ(script_get(ns, "NoSuchAttribute"), "%AK_NULL%");
  EXPECT_TRUE(script_set(ns, "SetLabel", "renamed"));
  for (int i = 0; i < 2; ++i) script_set(ns, "Update", "");
  EXPECT_EQ(script_get(ns, "Label"), "renamed:1:2");
  EXPECT_EQ(script_get(ns, "ParentType"), "./..|Type");
  EXPECT_EQ(script_get(ns, "Long").size(), 200u);

  // A small buffer is cut, not overrun.
  ast_sci_set_namespace(ns);
  ast_sci_symbol* long_get = ast_sci_find_function("Long");
  ast_sci_set_namespace(ast_sci_parent_namespace(ns));
  char small[16] = "";
  {
    ast_sci_array_scope declared(small, sizeof small);
    ast_sci_call_function(long_get, small);
  }
  EXPECT_STREQ(small, "012345678901234");
  ast_sci_delete_namespace(ns);
}

TEST(ScriptUses, ScriptMacroRunsMain)
{
  Messages messages;
  Scope host;
  load_prelude();
  Scope macro;
  ASSERT_EQ(script_test::parse_fixture("macro.cint"), 0) << messages.text();
  ast_sci_run_namespace();
  EXPECT_EQ(script_test::call0("main").i, 0);
  std::vector<std::string> expected = {"set Project:CreateUserObject=item_0000", "set Project:CreateUserObject=item_0001",
                                       "set Project:CreateUserObject=item_0002", "message |Id @macro.cint"};
  EXPECT_EQ(host_log, expected);
  host_set_error(const_cast<char*>("failed"));
  EXPECT_EQ(script_test::call0("main").i, 2);
}

TEST(ScriptUses, GroupFilterWrapper)
{
  Messages messages;
  Scope host;
  load_prelude();
  auto compile_filter = [](const std::string& filter) { return "int pass(char id[]){" + filter + "}"; };
  struct Filter { const char* text; int release_area; int mesh; };
  const Filter filters[] = {
      {"return strstr(id, \"ReleaseAreas\") >= 0;", 1, 0},
      {"char t[64]; get(id, \"Type\", t); return strcmp(t, \"root/Project/DHMs/b|Type\") == 0;", 0, 1},
      {"return 1;", 1, 1},
  };
  char a[] = "root/Project/ReleaseAreas/a";
  char b[] = "root/Project/DHMs/b";
  for (const Filter& f : filters) {
    SCOPED_TRACE(f.text);
    ast_sci_namespace ns = ast_sci_open_namespace();
    ASSERT_EQ(ast_sci_parse_string(compile_filter(f.text).c_str()), 0) << messages.text();
    ast_sci_symbol* pass = ast_sci_find_function("pass");
    ASSERT_NE(pass, nullptr);
    EXPECT_EQ(ast_sci_call_function(pass, a).i != 0, f.release_area != 0);
    EXPECT_EQ(ast_sci_call_function(pass, b).i != 0, f.mesh != 0);
    ast_sci_close_namespace();
    EXPECT_EQ(ast_sci_get_namespace(), host.get());
    EXPECT_NE(ast_sci_get_namespace(), ns);
  }
  // A filter with a syntax error gives no function.
  ast_sci_open_namespace();
  EXPECT_EQ(ast_sci_parse_string(compile_filter("return id[;").c_str()), 1);
  EXPECT_EQ(ast_sci_find_function("pass"), nullptr);
  ast_sci_close_namespace();
  EXPECT_EQ(ast_sci_parse_string(compile_filter("").c_str()), 0);  // an empty body compiles: pass yields 0
}

TEST(ScriptUses, ShearFormulaAndRheologyFile)
{
  Messages messages;
  Scope formulas;
  ASSERT_EQ(ast_sci_parse_string(shear_source("return v / h * 1.0;").c_str()), 0) << messages.text();
  ast_sci_symbol* shear = ast_sci_find_function("shear");
  ASSERT_NE(shear, nullptr);
  double p = 1000, u = 10, h = 2, rho = 200;
  EXPECT_EQ(ast_sci_call_function(shear, &p, &u, &h, &rho).d, 5.0);
  // Without a reset a second formula collides with the first.
  EXPECT_EQ(ast_sci_parse_string(shear_source("return 2 * v;").c_str()), 1);
  EXPECT_TRUE(messages.contains("function 'shear' already defined"));

  // A rheology file replaces everything in the namespace.
  ast_sci_reset_namespace();
  ASSERT_EQ(script_test::parse_fixture("visco.cint"), 0) << messages.text();
  EXPECT_EQ(ast_sci_find_function("shear"), nullptr);
  ast_sci_symbol* tau = ast_sci_find_function("tau");
  ast_sci_symbol* loss = ast_sci_find_function("entrainment_energy_loss");
  ast_sci_symbol* set_par = ast_sci_find_function("set_par");
  ast_sci_symbol* get_par = ast_sci_find_function("get_par");
  ast_sci_symbol* init = ast_sci_find_function("init");
  ASSERT_TRUE(tau && loss && set_par && get_par && init);
  ast_sci_run_namespace();
  ast_sci_call_function(init);

  double t = 3, x[3] = {100, 200, 1500}, n[3] = {0, 0.6, 0.8}, e = 1234;
  ast_sci_array_scope x_size(x, sizeof x), n_size(n, sizeof n);
  double expected = 0.2 * p * 0.8 + rho * 9.81 * u * u / 1000.0;
  EXPECT_NEAR(ast_sci_call_function(tau, &p, &u, &h, &rho, &t, x, n, &e).d, expected, 1e-9);
  EXPECT_EQ(ast_sci_call_failed(), 0) << messages.text();

  double tau_value = 50, q = 2, es = 10, ed = 3;
  EXPECT_NEAR(ast_sci_call_function(loss, &p, &u, &h, &rho, &t, x, n, &tau_value, &q, &es, &ed).d,
              50.0 * 2 / 200 + 10 + 3 * 2, 1e-12);

  std::vector<char> buffer(512, 0);
  ast_sci_array_scope buffer_size(buffer.data(), buffer.size());
  ast_sci_call_function(get_par, buffer.data());
  EXPECT_STREQ(buffer.data(), "mu=0.2 xi=1000");
  std::string parameters = "mu=0.3 xi=500";
  ast_sci_call_function(set_par, parameters.data());
  ast_sci_call_function(get_par, buffer.data());
  EXPECT_STREQ(buffer.data(), "mu=0.3 xi=500");
  EXPECT_NEAR(ast_sci_call_function(tau, &p, &u, &h, &rho, &t, x, n, &e).d, 0.3 * p * 0.8 + rho * 9.81 * u * u / 500.0, 1e-9);
}

TEST(ScriptUses, ReleaseDepthFormula)
{
  Messages messages;
  Scope host;
  load_prelude();
  ast_sci_namespace ns = ast_sci_new_namespace();
  ast_sci_set_namespace(ns);
  ASSERT_EQ(script_test::parse_fixture("slope.cint"), 0) << messages.text();
  ast_sci_symbol* depth = ast_sci_find_function("depth");
  ast_sci_symbol* init = ast_sci_find_function("init");
  ast_sci_symbol* getpar = ast_sci_find_function("getpar");
  ast_sci_symbol* setpar = ast_sci_find_function("setpar");
  ASSERT_TRUE(depth && init && getpar && setpar);
  ast_sci_run_namespace();
  ast_sci_call_function(init);
  ast_sci_set_namespace(ast_sci_parent_namespace(ns));

  double x[3] = {10, 20, 2000}, n[3] = {0.6, 0, 0.8};
  ast_sci_array_scope x_size(x, sizeof x), n_size(n, sizeof n);
  EXPECT_NEAR(ast_sci_call_function(depth, x, n).d, (1.5 + 0.01 * 2000) * 0.8, 1e-12);
  char buffer[512];
  ast_sci_array_scope buffer_size(buffer, sizeof buffer);
  ast_sci_call_function(getpar, buffer);
  EXPECT_STREQ(buffer, "d0=1.5 grad=0.01");
  char value[] = "d0=2 grad=0";
  ast_sci_call_function(setpar, value);
  EXPECT_NEAR(ast_sci_call_function(depth, x, n).d, 1.6, 1e-12);
  ast_sci_delete_namespace(ns);
}

TEST(ScriptUses, DisplayConversions)
{
  Messages messages;
  Scope cls;
  ASSERT_EQ(script_test::parse_fixture("conversions.cint"), 0) << messages.text();
  EXPECT_EQ(script_get(cls.get(), "getDataConversion"), "kilo");
  ast_sci_symbol* init = ast_sci_find_function("init_kilo");
  ast_sci_symbol* kilo = ast_sci_find_function("kilo");
  ASSERT_TRUE(init && kilo);
  ast_sci_call_function(init);
  const float values[3] = {1500.0f, -250.0f, 0.0f};
  const double positions[3][3] = {{0, 0, 1}, {1, 2, 3}, {4, 5, 6}};
  for (int i = 0; i < 3; ++i) {
    double v = values[i];
    double p[3] = {positions[i][0], positions[i][1], positions[i][2]};
    ast_sci_array_scope p_size(p, sizeof p);
    float converted = static_cast<float>(ast_sci_call_function(kilo, &v, p).d);
    EXPECT_FLOAT_EQ(converted, values[i] / 1000.0f);
  }
  ast_sci_symbol* doubled = ast_sci_find_function("doubled");
  double vector[3] = {1, -2, 3.5};
  {
    ast_sci_array_scope size(vector, sizeof vector);
    ast_sci_call_function(doubled, vector);
  }
  EXPECT_EQ(vector[0], 2);
  EXPECT_EQ(vector[1], -4);
  EXPECT_EQ(vector[2], 7);
}

TEST(ScriptUses, SleepIsCallableFromTheHost)
{
  Messages messages;
  ast_sci_namespace previous = ast_sci_get_namespace();
  ast_sci_namespace global = previous;
  while (ast_sci_parent_namespace(global)) global = ast_sci_parent_namespace(global);
  ast_sci_set_namespace(global);
  ast_sci_symbol* sleep = ast_sci_find_function("sleep");
  ast_sci_set_namespace(previous);
  ASSERT_NE(sleep, nullptr);
  // The delay is in seconds and keeps its fraction: 0.05 is neither 0 nor 50.
  double seconds = 0.05;
  auto start = std::chrono::steady_clock::now();
  ast_sci_call_function(sleep, &seconds);
  double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(ast_sci_call_failed(), 0);
  EXPECT_GE(elapsed, 0.049);
  EXPECT_LT(elapsed, 5.0);
  // Nothing to wait for: back at once, also from a script.
  for (double none : {0.0, -1.0, std::nan("")}) ast_sci_call_function(sleep, &none);
  Scope scope;
  ASSERT_EQ(ast_sci_parse_string("int main() { sleep(0.001); sleep(-1); double z = 0; sleep(z / z); return 3; }"), 0);
  EXPECT_EQ(script_test::call0("main").i, 3);
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 5.0);
}
