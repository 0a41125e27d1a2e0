// Extern functions: binding natives to declarations, the dispatchers of all six result types,
// and the sizes of script arrays that natives receive.
#include "ScriptTest.h"

#include "ast_sci_execute.h"

#include <cstring>
#include <string>
#include <utility>
#include <vector>

using script_test::Messages;
using script_test::Scope;

namespace {

// ---------------------------------------------------------------------------------------------
// The six result types

int marker_a = 0, marker_b = 0;

// Per result type: its name, the value natives return, and the value of a script function
// called just before (what a refused call leaves in the result cell).
template <class T>
constexpr const char* kName = std::is_void_v<T> ? "void" : std::is_same_v<T, char> ? "char" : std::is_same_v<T, int> ? "int"
                              : std::is_same_v<T, float> ? "float" : std::is_same_v<T, double> ? "double" : "void*";

template <class T>
T value(bool previous)
{
  if constexpr (std::is_same_v<T, char>) return previous ? 'p' : 'q';
  if constexpr (std::is_same_v<T, int>) return previous ? 77 : -7;
  if constexpr (std::is_same_v<T, float>) return previous ? 0.75f : 2.5f;
  if constexpr (std::is_same_v<T, double>) return previous ? 7.5 : -1.25;
  if constexpr (std::is_same_v<T, void*>) return previous ? &marker_b : &marker_a;
}

template <class T>
T read(ast_sci_value v)
{
  if constexpr (std::is_same_v<T, char>) return v.c;
  if constexpr (std::is_same_v<T, int>) return v.i;
  if constexpr (std::is_same_v<T, float>) return v.f;
  if constexpr (std::is_same_v<T, double>) return v.d;
  if constexpr (std::is_same_v<T, void*>) return v.p;
}

template <class T>
const char* previous_source()
{
  if constexpr (std::is_same_v<T, char>) return "return 'p';";
  if constexpr (std::is_same_v<T, int>) return "return 77;";
  if constexpr (std::is_same_v<T, float>) return "return 0.75;";
  if constexpr (std::is_same_v<T, double>) return "return 7.5;";
  if constexpr (std::is_same_v<T, void*>) return "return other();";
  return "";
}

template <class T>
T result()
{
  if constexpr (!std::is_void_v<T>) return value<T>(false);
}

struct Record { int calls = 0; bool same_address = false; std::vector<int> values; };
Record record;

template <class T>
T zero_native()
{
  ++record.calls;
  return result<T>();
}

template <class T>
T two_native(int* a, int* b)
{
  ++record.calls;
  record.values = {*a, *b};
  return result<T>();
}

template <class T>
T same_native(int* a, int* b)
{
  ++record.calls;
  record.same_address = a == b;
  *a = 99;
  return result<T>();
}

template <size_t>
using IntPtr = int*;

template <class T, class Seq>
struct Many;
template <class T, size_t... I>
struct Many<T, std::index_sequence<I...>> {
  static T call(IntPtr<I>... args)
  {
    ++record.calls;
    record.values = {*args...};
    return result<T>();
  }
};

void* other_native() { return &marker_b; }

std::string int_params(int n)
{
  std::string s;
  for (int i = 1; i <= n; ++i) s += (i > 1 ? ", int a" : "int a") + std::to_string(i);
  return s;
}

std::string int_args(int n, const char* first)
{
  std::string s = first;
  for (int i = 2; i <= n; ++i) s += ", " + std::to_string(i);
  return s;
}

template <class T>
std::string script_for()
{
  const std::string t = kName<T>, ret = std::is_void_v<T> ? "" : "return ";
  std::string s = "void* other();\n";
  for (const char* f : {" zero();\n", " two(int a, int b);\n", " same(int a, int b);\n"}) s += t + f;
  s += t + " fifty(" + int_params(50) + ");\n" + t + " fiftyone(" + int_params(51) + ");\n";
  s += "int order = 0;\nint mark(int k) { order = order * 10 + k; return k; }\n";
  if (!std::is_void_v<T>) s += t + " prev() { " + previous_source<T>() + " }\n";
  s += t + " call_zero() { " + ret + "zero(); }\n";
  s += "int call_two() { order = 0; two(mark(1), mark(2)); return order; }\n";
  s += "int call_same() { int v = 1; same(v, v); return v; }\n";
  s += t + " call_fifty() { " + ret + "fifty(" + int_args(50, "1") + "); }\n";
  s += t + " call_fiftyone() { " + (std::is_void_v<T> ? "" : "prev(); ") + "order = 0; " + ret + "fiftyone(" +
       int_args(51, "mark(1)") + "); }\n";
  return s + "int order_after() { return order; }\n";
}

template <class T>
class ScriptDispatch : public ::testing::Test {};

using ResultTypes = ::testing::Types<void, char, int, float, double, void*>;
TYPED_TEST_SUITE(ScriptDispatch, ResultTypes);

}  // namespace

TYPED_TEST(ScriptDispatch, EdgeCasesOfEveryResultType)
{
  using T = TypeParam;
  Messages messages;
  Scope scope;
  ASSERT_EQ(ast_sci_parse_string(script_for<T>().c_str()), 0) << messages.text() << script_for<T>();
  ASSERT_NE(ast_sci_bind_extern("other", other_native), nullptr);
  ASSERT_NE(ast_sci_bind_extern("zero", zero_native<T>), nullptr) << messages.text();
  ASSERT_NE(ast_sci_bind_extern("two", two_native<T>), nullptr);
  ASSERT_NE(ast_sci_bind_extern("same", same_native<T>), nullptr);
  ASSERT_NE(ast_sci_bind_extern("fifty", Many<T, std::make_index_sequence<50>>::call), nullptr);
  ASSERT_NE(ast_sci_bind_extern("fiftyone", Many<T, std::make_index_sequence<51>>::call), nullptr);
  EXPECT_EQ(ast_sci_find_function("zero")->dispatcher, ast_sci_dispatcher_for(ast_sci_detail::result_type_of<T>()));

  // No arguments: the native's value.
  record = Record{};
  ast_sci_value v = script_test::call0("call_zero");
  EXPECT_EQ(record.calls, 1);
  if constexpr (!std::is_void_v<T>) {
    EXPECT_EQ(read<T>(v), value<T>(false));
  }

  // Arguments are evaluated from the last to the first.
  record = Record{};
  EXPECT_EQ(script_test::call0("call_two").i, 21);
  EXPECT_EQ(record.values, (std::vector<int>{1, 2}));

  // One variable passed twice: one address, and the write through it is seen.
  record = Record{};
  EXPECT_EQ(script_test::call0("call_same").i, 99);
  EXPECT_TRUE(record.same_address);

  // Fifty arguments arrive in order.
  record = Record{};
  v = script_test::call0("call_fifty");
  ASSERT_EQ(record.values.size(), 50u);
  for (int i = 0; i < 50; ++i) EXPECT_EQ(record.values[static_cast<size_t>(i)], i + 1);
  if constexpr (!std::is_void_v<T>) {
    EXPECT_EQ(read<T>(v), value<T>(false));
  }

  // Fifty-one: the message, no argument evaluated, the native not called, the previous result.
  record = Record{};
  messages.clear();
  v = script_test::call0("call_fiftyone");
  EXPECT_EQ(messages.text(), "external function calls with > 50 args not supported\n");
  EXPECT_EQ(record.calls, 0);
  EXPECT_EQ(script_test::call0("order_after").i, 0);
  if constexpr (!std::is_void_v<T>) {
    EXPECT_EQ(read<T>(v), value<T>(true));
  }
  EXPECT_EQ(ast_sci_call_failed(), 0);

  // The host calls an extern directly.
  record = Record{};
  v = ast_sci_call_function(ast_sci_find_function("zero"));
  EXPECT_EQ(record.calls, 1);
  if constexpr (!std::is_void_v<T>) {
    EXPECT_EQ(read<T>(v), value<T>(false));
  }
}

namespace {

void* null_native() { return nullptr; }
FILE* file_native() { return stdout; }
int file_is_stdout(FILE** f) { return *f == stdout; }

double TemperatureFromEnthalpy(double* h)
{
  if (*h < 0) return *h / 2050;
  if (*h > 333500) return (*h - 333500) / 4187;
  return 0;
}
double WaterMassFractionFromEnthalpy(double* h)
{
  double w = *h / 333500;
  return w < 0 ? 0 : w > 1 ? 1 : w;
}
double EnthalpyFromTemperatureAndWaterMassFraction(double* T, double* w)
{
  return *T < 0 ? *w * 333500 + *T * 2050 : *w * 333500 + *T * 4187;
}

const char* const kEnthalpy =
    "double TemperatureFromEnthalpy(double h);double WaterMassFractionFromEnthalpy(double h);"
    "double EnthalpyFromTemperatureAndWaterMassFraction(double T, double w);";

int int_native(int*) { return 1; }
double double_native(double*) { return 1; }
double double_pointer_native(double*) { return 2; }
double const_native(const double* x) { return *x * 3; }
double two_double_native(double*, double*) { return 1; }

}  // namespace

TEST(ScriptExtern, PointerResults)
{
  Messages messages;
  Scope scope;
  ASSERT_EQ(ast_sci_parse_string("void* np(); FILE* fp(); int is_stdout(FILE* f);\n"
                                 "int null_is_zero() { return np() == 0; }\n"
                                 "int file_round_trip() { FILE* f = fp(); return (f != 0) + 2 * is_stdout(f); }"),
            0)
      << messages.text();
  ASSERT_NE(ast_sci_bind_extern("np", null_native), nullptr);
  ASSERT_NE(ast_sci_bind_extern("fp", file_native), nullptr);
  ASSERT_NE(ast_sci_bind_extern("is_stdout", file_is_stdout), nullptr);
  EXPECT_EQ(script_test::call0("null_is_zero").i, 1);
  EXPECT_EQ(script_test::call0("file_round_trip").i, 3);
  EXPECT_EQ(ast_sci_call_function(ast_sci_find_function("np")).p, nullptr);
}

TEST(ScriptExtern, EnthalpyFunctionsTakeIntLiterals)
{
  Messages messages;
  Scope scope;
  ASSERT_EQ(ast_sci_parse_string(kEnthalpy), 0);
  ASSERT_EQ(ast_sci_parse_string(kEnthalpy), 0);
  ASSERT_NE(ast_sci_bind_extern("TemperatureFromEnthalpy", TemperatureFromEnthalpy), nullptr);
  ASSERT_NE(ast_sci_bind_extern("WaterMassFractionFromEnthalpy", WaterMassFractionFromEnthalpy), nullptr);
  ASSERT_NE(ast_sci_bind_extern("EnthalpyFromTemperatureAndWaterMassFraction", EnthalpyFromTemperatureAndWaterMassFraction), nullptr);
  ASSERT_EQ(ast_sci_parse_string("double t1() { return TemperatureFromEnthalpy(-20500); }\n"
                                 "double h1() { return EnthalpyFromTemperatureAndWaterMassFraction(-10, 0); }\n"
                                 "double w1() { return WaterMassFractionFromEnthalpy(166750); }\n"
                                 "double t2() { int h = 333500 + 41870; return TemperatureFromEnthalpy(h); }\n"
                                 "double w2() { return WaterMassFractionFromEnthalpy(-5) + WaterMassFractionFromEnthalpy(1e9); }\n"
                                 "int literal_kept() { int k = 0; for (int i = 0; i < 2; i++) k += TemperatureFromEnthalpy(-2050) == -1; return k; }"),
            0)
      << messages.text();
  EXPECT_EQ(script_test::call0("t1").d, -10.0);
  EXPECT_EQ(script_test::call0("h1").d, -20500.0);
  EXPECT_EQ(script_test::call0("w1").d, 0.5);
  EXPECT_EQ(script_test::call0("t2").d, 10.0);
  EXPECT_EQ(script_test::call0("w2").d, 1.0);
  EXPECT_EQ(script_test::call0("literal_kept").i, 2);
}

TEST(ScriptExtern, BindingRefusals)
{
  Messages messages;
  Scope scope;
  ASSERT_EQ(ast_sci_parse_string("int f(int x); double g(double x); double h2(double a, double b);\n"
                                 "double body(double x) { return x + 1; } int variable = 3;\n"
                                 "int call_f() { int k = 5; return f(k); }\n"
                                 "double call_body() { return body(1); }"),
            0);
  EXPECT_EQ(ast_sci_bind_extern("nope", int_native), nullptr);
  EXPECT_TRUE(messages.contains("cannot bind unknown symbol 'nope'"));

  messages.clear();
  EXPECT_EQ(ast_sci_bind_extern("f", double_native), nullptr);  // result and parameter differ
  EXPECT_TRUE(messages.contains("cannot bind native function to 'f'"));
  EXPECT_EQ(ast_sci_bind_extern("g", int_native), nullptr);
  EXPECT_EQ(ast_sci_bind_extern("h2", double_native), nullptr);  // one parameter too few
  EXPECT_NE(ast_sci_bind_extern("h2", two_double_native), nullptr);
  EXPECT_NE(ast_sci_bind_extern("g", const_native), nullptr);    // a const pointer reads the value
  messages.clear();
  script_test::call0("call_f");
  EXPECT_EQ(ast_sci_call_failed(), 1);
  EXPECT_TRUE(messages.contains("calling unbound extern function 'f'"));

  messages.clear();
  EXPECT_NE(ast_sci_bind_extern("body", double_pointer_native), nullptr);
  EXPECT_TRUE(messages.contains("cannot bind non-extern symbol 'body' to extern address"));
  EXPECT_EQ(script_test::call0("call_body").d, 2.0);  // the script body still runs
  messages.clear();
  EXPECT_NE(ast_sci_bind_extern("variable", int_native), nullptr);
  EXPECT_TRUE(messages.contains("cannot bind non-extern symbol 'variable' to extern address"));

  // Binding reaches declarations in the parents.
  Scope child;
  EXPECT_NE(ast_sci_bind_extern("f", int_native), nullptr);
  ast_sci_set_namespace(scope.get());
  EXPECT_EQ(script_test::call0("call_f").i, 1);
  ast_sci_set_namespace(child.get());
}

TEST(ScriptExtern, FuncDeclNewAndFuncBodyNew)
{
  Messages messages;
  Scope scope;
  std::vector<ast_sci_formal> formals(1);
  formals[0].name = "x";
  formals[0].type = AST_SCI_DOUBLE;
  EXPECT_EQ(FuncDeclNew(7, "bad", formals), nullptr);
  EXPECT_TRUE(messages.contains("unknown function data type"));
  ast_sci_symbol* g = FuncDeclNew(AST_SCI_DOUBLE, "host_declared", formals);
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->dispatcher, ast_sci_ext_call_double);
  EXPECT_EQ(ast_sci_find_function("host_declared"), g);
  EXPECT_NE(ast_sci_bind_extern("host_declared", const_native), nullptr);
  ASSERT_EQ(ast_sci_parse_string("double use() { return host_declared(2); }"), 0);
  EXPECT_EQ(script_test::call0("use").d, 6.0);
  // A body for the declaration makes it a script function and clears its dispatcher.
  ASSERT_EQ(ast_sci_parse_string("double host_declared(double x) { return -x; }"), 0);
  EXPECT_EQ(g->dispatcher, nullptr);
  EXPECT_EQ(script_test::call0("use").d, -2.0);
}

namespace {

std::vector<size_t> sizes_seen;
void measure(char* s) { sizes_seen.push_back(ast_sci_array_size(s)); }
void measure_doubles(double* d) { sizes_seen.push_back(ast_sci_array_size(d)); }
void store(char* s) { ast_sci_store_string(s, "a text longer than the buffer"); }
void store_long(char* s) { ast_sci_store_string(s, std::string(200000, 'v').c_str()); }
int fail_inside()
{
  ast_sci_symbol* f = ast_sci_find_function("broken");
  int r = ast_sci_call_function(f).i;
  return ast_sci_call_failed() ? 100 + r : r;
}

}  // namespace

TEST(ScriptExtern, NativesLearnArraySizes)
{
  Messages messages;
  Scope scope;
  ASSERT_EQ(ast_sci_parse_string("void measure(char s[]); void measure_doubles(double d[]); void store(char s[]);\n"
                                 "char global_text[40];\n"
                                 "void pass_on(char s[]) { measure(s); }\n"
                                 "int run() {\n"
                                 "  char small[5]; double v[7];\n"
                                 "  measure(small); measure(global_text); measure(\"abc\"); measure_doubles(v);\n"
                                 "  pass_on(small); store(small);\n"
                                 "  return small[0] * 1000 + small[3] + (small[4] == 0) * 100000;\n"
                                 "}"),
            0)
      << messages.text();
  ASSERT_NE(ast_sci_bind_extern("measure", measure), nullptr);
  ASSERT_NE(ast_sci_bind_extern("measure_doubles", measure_doubles), nullptr);
  ASSERT_NE(ast_sci_bind_extern("store", store), nullptr);
  sizes_seen.clear();
  EXPECT_EQ(script_test::call0("run").i, 100000 + 'a' * 1000 + 'e');  // "a te"
  EXPECT_EQ(sizes_seen, (std::vector<size_t>{5, 40, 4, 56, 5}));

  // From the host: declared arrays only.
  char host[12];
  sizes_seen.clear();
  ast_sci_call_function(ast_sci_find_function("measure"), host);
  {
    ast_sci_array_scope declared(host, sizeof host);
    ast_sci_call_function(ast_sci_find_function("measure"), host);
  }
  EXPECT_EQ(sizes_seen, (std::vector<size_t>{0, 12}));
  EXPECT_EQ(ast_sci_array_size(host), 0u);

  // A Get hook's 131072-byte buffer: the script hands it on to natives, which see its whole
  // size and cut a longer answer to it.
  ASSERT_EQ(ast_sci_parse_string("void store_long(char s[]);\n"
                                 "void Value(char v[]) { measure(v); store_long(v); measure(v); }\n"
                                 "int Size(char v[]) { return sizeof(v); }"),
            0)
      << messages.text();
  ASSERT_NE(ast_sci_bind_extern("store_long", store_long), nullptr);
  std::vector<char> buffer(131072 + 16, 'x');
  buffer[0] = 0;
  sizes_seen.clear();
  {
    ast_sci_array_scope declared(buffer.data(), 131072);
    ast_sci_call_function(ast_sci_find_function("Value"), buffer.data());
    EXPECT_EQ(ast_sci_call_function(ast_sci_find_function("Size"), buffer.data()).i, 131072);
  }
  EXPECT_EQ(sizes_seen, (std::vector<size_t>{131072, 131072}));
  EXPECT_EQ(std::strlen(buffer.data()), 131071u);
  EXPECT_EQ(buffer[131072], 'x');  // the byte after the buffer is untouched
}

TEST(ScriptExtern, RuntimeErrorInANestedCallEndsOnlyThatCall)
{
  Messages messages;
  Scope scope;
  ASSERT_EQ(ast_sci_parse_string("int fail_inside();\n"
                                 "int broken() { int z = 0; return 1 / z; }\n"
                                 "int outer() { int r = fail_inside(); return r + 1; }"),
            0);
  ASSERT_NE(ast_sci_bind_extern("fail_inside", fail_inside), nullptr);
  EXPECT_EQ(script_test::call0("outer").i, 101);
  EXPECT_EQ(ast_sci_call_failed(), 0);
  EXPECT_TRUE(messages.contains("integer division by zero"));
}
