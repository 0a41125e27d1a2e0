// Copies of a namespace for calls on several threads: which code counts as self-contained,
// what a copy holds (the code as first compiled, the globals' values now), and copies called
// on threads at once giving the results of one thread.
#include "ScriptTest.h"

#include <cmath>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

using script_test::Messages;
using script_test::Scope;

namespace {

double call_law(ast_sci_namespace ns, double p)
{
  ast_sci_namespace_scope inside(ns);
  ast_sci_symbol* law = ast_sci_find_function("law");
  EXPECT_NE(law, nullptr);
  return law ? ast_sci_call_function(law, &p).d : std::nan("");
}

// Calls the function of that name in the current namespace with one argument.
void call1(const char* name, void* argument)
{
  ast_sci_symbol* f = ast_sci_find_function(name);
  ASSERT_NE(f, nullptr) << name;
  ast_sci_call_function(f, argument);
}

}  // namespace

TEST(ScriptCopies, SelfContainedCode)
{
  Messages messages;
  Scope outer;
  ASSERT_EQ(ast_sci_parse_string("double shared = 3;"), 0);
  const struct {
    const char* source;
    bool contained;
  } cases[] = {
      {"double k = 2; double law(double p) { return sqrt(p) * k + M_PI; }", true},
      {"double law(double p) { double a[2]; int i; for (i = 0; i < 2; i++) a[i] = p; return a[1]; }", true},
      {"double half(double x) { x = x / 2; return x; } double law(double p) { return half(p); }", true},
      {"double law(double p) { char t[32]; sprintf(t, \"%g\", p); return atof(t); }", true},
      {"int n; double law(double p) { n++; return p; }", false},
      {"double k; double law(double p) { k = p; return k; }", false},
      {"double g[3]; double law(double p) { g[1] += p; return g[1]; }", false},
      {"double g[3]; double law(double p) { sscanf(\"1\", \"%lf\", g[0]); return p; }", false},
      {"double fill(double x[]) { x[0] = 1; return x[0]; } double g[2]; double law(double p) { return fill(g); }", false},
      {"double k; double set(double x) { x = 1; return x; } double law(double p) { return set(k); }", false},
      {"double law(double p) { printf(\"%g\", p); return p; }", false},
      {"double ext(double x); double law(double p) { return ext(p); }", false},
      {"double law(double p) { sleep(p); return p; }", false},
      {"double law(double p) { return shared * p; }", false},  // a variable of the parent namespace
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.source);
    Scope inner;
    ASSERT_EQ(ast_sci_parse_string(c.source), 0) << messages.text();
    EXPECT_EQ(ast_sci_function_self_contained(ast_sci_find_function("law")), c.contained);
  }
  // Only what the function runs counts: a setter of the globals beside it does not.
  Scope inner;
  ASSERT_EQ(ast_sci_parse_string("double k = 1; void set_k(double v[]) { k = v[0]; }\n"
                                 "double scaled(double p) { return k * p; } double law(double p) { return scaled(p); }"),
            0);
  EXPECT_TRUE(ast_sci_function_self_contained(ast_sci_find_function("law")));
  EXPECT_FALSE(ast_sci_function_self_contained(ast_sci_find_function("set_k")));
  EXPECT_FALSE(ast_sci_function_self_contained(nullptr));
}

// A copy holds the code as it was compiled (an include file since deleted included) and the
// globals' values at the copy; later changes on either side stay there.
TEST(ScriptCopies, CopyHoldsTheCodeAndTheGlobalsOfNow)
{
  Messages messages;
  ScratchDir dir;
  const std::string include = dir.Write("scale.h", "double scale = 2;\n");
  const std::string main = dir.Write("law.cint", "#include \"scale.h\"\n"
                                                 "double law(double p) { return scale * p; }\n"
                                                 "void rescale(double s[]) { scale = s[0]; }\n");
  Scope original;
  FILE* f = std::fopen(main.c_str(), "r");
  ASSERT_EQ(ast_sci_parse_file(f, main.c_str()), 0) << messages.text();
  std::fclose(f);
  ast_sci_run_namespace();
  double five = 5;
  call1("rescale", &five);
  std::filesystem::remove(include);
  ast_sci_namespace copy = ast_sci_copy_namespace(original.get());
  ASSERT_NE(copy, nullptr) << messages.text();
  EXPECT_EQ(ast_sci_get_namespace(), original.get());
  EXPECT_EQ(call_law(copy, 3), 15);
  double seven = 7;
  call1("rescale", &seven);
  EXPECT_EQ(call_law(original.get(), 3), 21);
  EXPECT_EQ(call_law(copy, 3), 15);
  ast_sci_delete_namespace(copy);
  EXPECT_EQ(ast_sci_copy_namespace(nullptr), nullptr);
  EXPECT_EQ(ast_sci_copy_namespace(ast_sci_global_namespace()), nullptr);
}

// Eight threads, each with its own copy, call a law at once: every answer is the one of a
// single thread, and a run-time error or a step budget on one thread leaves the others alone.
TEST(ScriptCopies, CopiesCalledOnThreadsAtOnce)
{
  Messages messages;
  Scope original;
  ASSERT_EQ(ast_sci_parse_string("double k = 0.25;\n"
                                 "double wiggle(double x, int n) { if (n == 0) return x; return wiggle(sin(x) + x * k, n - 1); }\n"
                                 "double law(double p) { int z = 0; double s = 0; int i;\n"
                                 "  if (p < 0) return 1 / z;\n"
                                 "  if (p > 1e9) while (1) { }\n"
                                 "  for (i = 0; i < 50; i++) s += wiggle(p + i, 20); return s; }"),
            0);
  ast_sci_run_namespace();
  ASSERT_TRUE(ast_sci_function_self_contained(ast_sci_find_function("law")));
  constexpr int kThreads = 8, kCalls = 400;
  std::vector<double> expected(kCalls);
  for (int i = 0; i < kCalls; ++i) expected[i] = call_law(original.get(), i * 0.37);
  std::vector<ast_sci_namespace> copies;
  for (int t = 0; t < kThreads; ++t) copies.push_back(ast_sci_copy_namespace(original.get()));
  std::vector<ast_sci_symbol*> laws;
  for (ast_sci_namespace ns : copies) {
    ASSERT_NE(ns, nullptr);
    ast_sci_namespace_scope inside(ns);
    laws.push_back(ast_sci_find_function("law"));
  }
  std::vector<std::vector<double>> got(kThreads, std::vector<double>(kCalls));
  std::vector<std::string> errors(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      ast_sci_guarded_calls guard(100000, true);
      for (int i = 0; i < kCalls; ++i) {
        double p = i * 0.37;
        got[t][i] = ast_sci_call_function(laws[t], &p).d;
      }
      double bad = t % 2 ? -1 : 2e9;
      ast_sci_call_function(laws[t], &bad);
      errors[t] = ast_sci_last_error();
    });
  for (std::thread& t : threads) t.join();
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(got[t], expected) << "thread " << t;
    EXPECT_NE(errors[t].find(t % 2 ? "integer division by zero" : "step limit of 100000 exceeded"), std::string::npos)
        << errors[t];
  }
  EXPECT_FALSE(messages.contains("ERROR")) << messages.text();
  for (ast_sci_namespace ns : copies) ast_sci_delete_namespace(ns);
}
