// Errors: run-time errors end the script call with a message and leave the interpreter ready
// for the next call; compile errors are listed with file and line; compile-time limits are
// compile errors, never a blown stack.
#include "ScriptTest.h"

#include <string>

using script_test::Messages;
using script_test::Scope;

namespace {

struct RuntimeCase {
  const char* name;
  const char* source;  // defines int fail()
  const char* message;
};

const RuntimeCase kRuntimeCases[] = {
    {"local_index", "int fail() { int a[3]; int i = 3; a[i] = 1; return 0; }", "index 3 out of range for an array of 3 elements"},
    {"negative_index", "int fail() { int a[3]; int i = -1; return a[i]; }", "index -1 out of range"},
    {"global_index", "double g[4]; int fail() { int i = 4; g[i] = 1; return 0; }", "index 4 out of range for an array of 4 elements"},
    {"parameter_index", "int at(char s[], int i) { return s[i]; } int fail() { char t[5] = \"abcd\"; return at(t, 5); }", "index 5 out of range for an array of 5 elements"},
    {"string_write_past_end", "int fail() { char s[4] = \"abc\"; for (int i = 0; i < 10; i++) s[i] = 'x'; return 0; }", "index 4 out of range"},
    {"division_by_zero", "int fail() { int z = 0; return 7 / z; }", "integer division by zero"},
    {"modulo_by_zero", "int fail() { int z = 0; return 7 % z; }", "integer division by zero"},
    {"compound_division_by_zero", "int fail() { int z = 0; int v = 7; v /= z; return v; }", "integer division by zero"},
    {"constant_division_by_zero", "int fail() { return 1 / 0; }", "integer division by zero"},
    {"runaway_recursion", "int r(int n) { return r(n + 1) + 1; } int fail() { return r(0); }", "recursion too deep in call of 'r'"},
    {"mutual_runaway_recursion", "int b(int n); int a(int n) { return b(n) + 1; } int b(int n) { return a(n) + 1; } int fail() { return a(0); }", "recursion too deep"},
    {"unbound_extern", "double ext(double x); int fail() { return ext(1.0); }", "\nast_sci_execute:ERROR: calling unbound extern function 'ext'!\n"},
    {"error_in_argument", "int id(int x) { return x; } int fail() { int a[2]; int i = 9; return id(a[i]); }", "index 9 out of range"},
};

struct CompileCase { const char* source; const char* message; };

const CompileCase kCompileCases[] = {
    {"int main() { return x; }", "undeclared identifier 'x'"},
    {"int main() { return 1 }", "expected ';' before '}'"},
    {"int f(int a, int a) { return 0; }", "duplicate parameter name 'a'"},
    {"void v;", "variable 'v' declared void"},
    {"int main() { int a[3]; return a; }", "array used as a value"},
    {"int main() { 3 = 4; }", "assignment needs a variable or an array element"},
    {"int main() { int a[2]; int b[2]; a = b; }", "assignment of a whole array"},
    {"int main() { int a[2]; return a[2]; }", "array index 2 out of range for an array of 2 elements"},
    {"int main() { break; }", "'break' outside a loop"},
    {"int f(); int f(int x);", "conflicting declaration of function 'f'"},
    {"int main() { return 1.5 % 2; }", "operands of '%' must be integers"},
    {"#include \"missing.cint\"", "cannot open include file 'missing.cint'"},
    {"#include \"secret.enc\"", "encrypted include file 'secret.enc' is not supported"},
    {"#include <rules.ENC>", "encrypted include file 'rules.ENC' is not supported"},
    {"#define F(x) x", "function-like macro 'F' is not supported"},
    {"#pragma once", "unknown preprocessor directive '#pragma'"},
    {"int main() { /* open", "unterminated comment"},
    {"char s[] = \"abc", "unterminated string literal"},
    {"int x = 99999999999;", "integer constant too large"},
    {"int f(int n) { return n; } int main() { return f(); }", "'f' takes 1 arguments, 0 given"},
    {"void g(char s[]) {} int main() { int k; g(k); return 0; }", "argument 1 of 'g' must be a char array"},
    {"void g(double v[]) {} int main() { int k[3]; g(k); return 0; }", "argument 1 of 'g' must be a double array"},
    {"void g(int k) {} int main() { char s[3]; g(s); return 0; }", "argument 1 of 'g' must be a int, not an array"},
    {"int main() { void* p = 1; return 0; }", "initialisation of a pointer from int"},
    {"int main() { void* p; int i = p; return 0; }", "initialisation of int from a pointer"},
    {"int main() { double d[2] = {1, 2, 3}; return 0; }", "too many initializers for an array of 2 elements"},
    {"char s[2] = \"abc\";", "initializer-string for array is too long"},
    {"int main() { return sizeof(void); }", "sizeof of void"},
    {"int f() { return; }", "return with no value in function returning 'int'"},
    {"void f() { return 1; }", "return with a value in function returning void"},
    {"int main() { switch (1) {} }", "'switch' is not supported"},
    {"int main() { return main; }", "function 'main' used without a call"},
    {"int a; int a;", "redefinition of 'a'"},
    {"int a; int a() { return 0; }", "'a' is already declared as something other than a function"},
    {"int main() { int x; x(); }", "called object 'x' is not a function"},
    {"double x[0];", "array size must be positive"},
    {"int n = 3; int a[n];", "array size is not an integer constant"},
    {"int main() { char c = '\\q'; }", "unknown escape sequence"},
    {"int main() { return 'ab'; }", "unterminated or multi-character constant"},
    {"int main() { printf(1); }", "argument 1 of 'printf' must be a char array"},
    {"int main() { int x; sscanf(\"1\", \"%d\", x + 1); }", "argument 3 of 'sscanf' must be a variable or a char array"},
    {"int main() { sprintf(\"x\", \"%d\", 1); }", "the first argument of 'sprintf' must be a char array variable"},
    {"int main() { return 1 @ 2; }", "unexpected character '@'"},
    {"int big[100000000];", "array exceeds"},
    {"char a[40000000]; char b[40000000];", "global variables exceed"},
    {"int main() { char a[2000000]; return 0; }", "local variables of the function exceed"},
    {"int main() { for (;;) int x; }", "a declaration is not allowed here"},
    {"int main() { void f(); }", "functions cannot be declared inside a function"},
    {"char *s;", "pointers to char are not supported"},
    {"int f(void x);", "parameter of type void"},
    {"double f(double) { return 1; }", "parameter name omitted in the definition of 'f'"},
    {"int main() { void* p; return p < p; }", "invalid operands to '<'"},
    {"int main() { int if = 1; }", "'if' is a keyword"},
    {"int main() { M_PI = 3; }", "assignment needs a variable or an array element"},
    {"int main() { return \"abc\"[0] = 1; }", "assignment needs a variable or an array element"},
    {"int v(); int main() { int x = v() + 1; }", ""},  // compiles: int v() is fine
};

std::string repeat(const std::string& s, int n)
{
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

}  // namespace

TEST(ScriptErrors, RuntimeErrorsEndTheCallAndTheNextCallWorks)
{
  Messages messages;
  for (const RuntimeCase& c : kRuntimeCases) {
    SCOPED_TRACE(c.name);
    Scope scope;
    ASSERT_EQ(ast_sci_parse_string(c.source), 0) << messages.text();
    ASSERT_EQ(ast_sci_parse_string("int fib(int n) { if (n < 2) return n; return fib(n - 1) + fib(n - 2); }\n"
                                   "int ok() { return fib(15); }"),
              0);
    messages.clear();
    ast_sci_value v = script_test::call0("fail");
    EXPECT_EQ(ast_sci_call_failed(), 1);
    EXPECT_EQ(v.bits, 0u);
    EXPECT_TRUE(messages.contains(c.message)) << messages.text();
    EXPECT_EQ(script_test::call0("ok").i, 610);
    EXPECT_EQ(ast_sci_call_failed(), 0);
  }
}

TEST(ScriptErrors, StepLimitStopsRunawayLoops)
{
  Messages messages;
  Scope scope;
  ASSERT_EQ(ast_sci_parse_string("int spin() { while (1) {} return 0; }\n"
                                 "int count() { int n = 0; for (int i = 0; i < 1000; i++) n++; return n; }"),
            0);
  ast_sci_set_step_limit(100000);
  script_test::call0("spin");
  EXPECT_EQ(ast_sci_call_failed(), 1);
  EXPECT_TRUE(messages.contains("step limit of 100000 exceeded"));
  EXPECT_EQ(script_test::call0("count").i, 1000);  // each call starts with the full budget
  ast_sci_set_step_limit(0);
  EXPECT_EQ(script_test::call0("count").i, 1000);
}

namespace {

ast_sci_symbol* runaway_function = nullptr;
std::string runaway_error;

// A host function, called from a script, that runs a runaway function under a budget of its
// own and keeps the error of that call.
int run_runaway()
{
  ast_sci_guarded_calls guard(500, true);
  ast_sci_call_function(runaway_function);
  runaway_error = ast_sci_last_error();
  return ast_sci_call_failed();
}

}  // namespace

// The step limit names the loop or call that took the last step, at the line where the loop
// begins: also when the host runs the function from within another script, whose call of
// the host is not where the steps ran out.
TEST(ScriptErrors, StepLimitNamesTheLoopOrCallWhereTheStepsRanOut)
{
  Messages messages;
  Scope scope;
  ASSERT_EQ(ast_sci_parse_string("int spin_while() {\n"      // 1
                                 "  int n = 0;\n"             // 2
                                 "  while (n >= 0)\n"         // 3
                                 "    n = n * 1;\n"           // 4
                                 "  return n;\n"              // 5
                                 "}\n"                        // 6
                                 "int spin_do() { int k = 0;\n"  // 7
                                 "  do {\n"                   // 8
                                 "    k = 1 - k;\n"           // 9
                                 "  } while (1);\n"           // 10
                                 "  return k; }\n"            // 11
                                 "int spin_for() {\n"         // 12
                                 "  for (;;) {\n"             // 13
                                 "  }\n"                      // 14
                                 "}\n"                        // 15
                                 "int down(int n) {\n"        // 16
                                 "  if (n > 0) return down(n - 1);\n"  // 17
                                 "  return 0; }\n"            // 18
                                 "int deep() { return down(2000); }\n"  // 19
                                 "int run_runaway();\n"       // 20
                                 "int outer() {\n"            // 21
                                 "  return run_runaway(); }\n"),  // 22
            0)
      << messages.text();
  ASSERT_NE(ast_sci_bind_extern("run_runaway", run_runaway), nullptr);
  const struct {
    const char* function;
    int line;
  } cases[] = {{"spin_while", 3}, {"spin_do", 8}, {"spin_for", 13}, {"deep", 17}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.function);
    const std::string expected = "step limit of 500 exceeded (<string>:" + std::to_string(c.line) + ")";
    {
      ast_sci_guarded_calls guard(500, true);
      script_test::call0(c.function);
      EXPECT_STREQ(ast_sci_last_error(), expected.c_str());
    }
    runaway_function = ast_sci_find_function(c.function);
    runaway_error.clear();
    EXPECT_EQ(script_test::call0("outer").i, 1);
    EXPECT_EQ(runaway_error, expected);
  }
}

TEST(ScriptErrors, RuntimeErrorInInitialisersStopsTheRun)
{
  Messages messages;
  Scope scope;
  ASSERT_EQ(ast_sci_parse_string("int zero = 0; int a = 5; int b = a / zero; int c = 7;"), 0);
  ast_sci_run_namespace();
  EXPECT_EQ(ast_sci_call_failed(), 1);
  EXPECT_TRUE(messages.contains("integer division by zero"));
  // A namespace without initialisers runs them with success, not with the failure before.
  Scope empty;
  ast_sci_run_namespace();
  EXPECT_EQ(ast_sci_call_failed(), 0);
  EXPECT_STREQ(ast_sci_last_error(), "");
}

TEST(ScriptErrors, CompileErrorsAreListed)
{
  Messages messages;
  for (const CompileCase& c : kCompileCases) {
    SCOPED_TRACE(c.source);
    Scope scope;
    messages.clear();
    int errors = ast_sci_parse_string(c.source);
    if (c.message[0] == 0) {
      EXPECT_EQ(errors, 0) << messages.text();
      continue;
    }
    EXPECT_EQ(errors, 1);
    EXPECT_TRUE(messages.contains(c.message)) << messages.text();
  }
}

TEST(ScriptErrors, BuiltinsCannotBeRedefinedInTheGlobalNamespace)
{
  Messages messages;
  EXPECT_EQ(ast_sci_parse_string("double sqrt(double x) { return x; }"), 1);
  EXPECT_TRUE(messages.contains("function 'sqrt' already defined"));
  EXPECT_EQ(ast_sci_parse_string("int printf;"), 1);
  EXPECT_TRUE(messages.contains("redefinition of 'printf'"));
}

TEST(ScriptErrors, ListingNamesFileLineAndSource)
{
  Messages messages;
  Scope scope;
  EXPECT_EQ(ast_sci_parse_string("int main()\n{\n  return zz;\n}\n"), 1);
  EXPECT_EQ(messages.text(), "<string>:3: error: undeclared identifier 'zz'\n    3 |   return zz;\n");
  messages.clear();
  EXPECT_EQ(script_test::parse_fixture("error_in_include.cint"), 1);
  // The missing ';' is found at the next token, on the line after.
  EXPECT_TRUE(messages.contains("scripts/include_with_error.cint:3: error: expected ',' or ';' before 'int'\n"
                                "    3 | int next = 2;\n"))
      << messages.text();
}

TEST(ScriptErrors, CompileTimeLimits)
{
  std::string macros;
  for (int i = 0; i < 100; ++i) macros += "#define M" + std::to_string(i) + " M" + std::to_string(i + 1) + "\n";
  // Names that expand to a hundred of the previous one: 10^12 empty declarations.
  std::string bomb = "#define A0 " + repeat(";", 100) + "\n";
  for (int i = 1; i <= 6; ++i) bomb += "#define A" + std::to_string(i) + repeat(" A" + std::to_string(i - 1), 100) + "\n";
  const std::pair<std::string, const char*> cases[] = {
      {"int main() { return " + repeat("(", 400) + "1" + repeat(")", 400) + "; }", "expression nested too deeply"},
      {"int main() { int x = 1; return " + repeat("x + ", 5000) + "x; }", "expression too complex"},
      {"int main() { " + repeat("{", 400) + repeat("}", 400) + " return 0; }", "statements nested too deeply"},
      {"int main() { int x = 0; " + repeat("if (x) x = 1; else ", 400) + "x = 2; return x; }", "statements nested too deeply"},
      {macros + "int M0 = 1;", "macro expansion nested too deeply"},
      {bomb + "A6\n", "macro expansions exceed 1048576 tokens"},
      // A source without end is cut off at the size limit instead of filling the memory.
      {"#include \"/dev/zero\"\nint main() { return 0; }", "include file '/dev/zero' exceeds 16777216 bytes"},
  };
  Messages messages;
  for (const auto& [source, message] : cases) {
    SCOPED_TRACE(message);
    Scope scope;
    messages.clear();
    EXPECT_EQ(ast_sci_parse_string(source.c_str()), 1);
    EXPECT_TRUE(messages.contains(message)) << messages.text();
  }
  Scope scope;
  messages.clear();
  EXPECT_EQ(ast_sci_parse_string(("int main() { int x = 1; return " + repeat("-", 5000) + "x; }").c_str()), 1);
  EXPECT_TRUE(messages.contains("nested too deeply") || messages.contains("too complex")) << messages.text();
  messages.clear();
  EXPECT_EQ(script_test::parse_fixture("self_include.cint"), 1);
  EXPECT_TRUE(messages.contains("#include nested too deeply")) << messages.text();
  EXPECT_EQ(ast_sci_parse_string("#define A B\n#define B A\nint A = 1; int main() { return A; }"), 0) << messages.text();
  if (FILE* endless = std::fopen("/dev/zero", "rb")) {
    messages.clear();
    EXPECT_EQ(ast_sci_parse_file(endless, "/dev/zero"), 1);
    EXPECT_EQ(messages.text(), "/dev/zero:0: error: the source text exceeds 16777216 bytes\n");
    std::fclose(endless);
  }
}

TEST(ScriptErrors, ModerateNestingCompilesAndRuns)
{
  Messages messages;
  Scope scope;
  std::string parens = "int main() { return " + repeat("(", 100) + "1" + repeat(")", 100) + "; }";
  std::string chain = "int sum() { int x = 1; return " + repeat("x + ", 500) + "x; }";
  ASSERT_EQ(ast_sci_parse_string((parens + chain).c_str()), 0) << messages.text();
  EXPECT_EQ(script_test::call0("main").i, 1);
  EXPECT_EQ(script_test::call0("sum").i, 501);
}

namespace {

ast_sci_symbol* spin_function = nullptr;

// A host function that runs a runaway script function under a budget of its own.
int guarded_spin()
{
  ast_sci_guarded_calls guard(5000, true);
  ast_sci_call_function(spin_function);
  return ast_sci_call_failed();
}

}  // namespace

// Guarded calls: each gets its own budget (also inside a script with none, which goes on),
// a silent one keeps its error for the host instead of printing it, and a call that
// succeeds leaves no error behind.
TEST(ScriptErrors, GuardedCallsHaveTheirOwnBudgetAndKeepTheirError)
{
  Messages messages;
  Scope scope;
  ASSERT_EQ(ast_sci_parse_string("int spin() { while (1) {} return 0; }\n"
                                 "int count() { int n = 0; for (int i = 0; i < 1000; i++) n++; return n; }\n"
                                 "int fail() { int z = 0; return 7 / z; }\n"
                                 "int guarded_spin();\n"
                                 "int outer() { int r = guarded_spin(); return r + count(); }"),
            0);
  ASSERT_NE(ast_sci_bind_extern("guarded_spin", guarded_spin), nullptr);
  spin_function = ast_sci_find_function("spin");
  struct Case {
    const char* function;
    bool silent;
    int result;
    const char* error;  // ast_sci_last_error afterwards
    bool printed;
  };
  const Case cases[] = {
      {"spin", true, 0, "step limit of 100000 exceeded (<string>:1)", false},
      {"count", true, 1000, "", false},
      {"fail", true, 0, "integer division by zero (<string>:3)", false},
      {"fail", false, 0, "integer division by zero (<string>:3)", true},
      {"count", false, 1000, "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.function) + (c.silent ? " silent" : " printed"));
    messages.clear();
    ast_sci_guarded_calls guard(100000, c.silent);
    EXPECT_EQ(script_test::call0(c.function).i, c.result);
    EXPECT_STREQ(ast_sci_last_error(), c.error);
    EXPECT_EQ(messages.contains("ast_sci_execute:ERROR"), c.printed) << messages.text();
  }
  // No guard: the outer script has no limit and goes on after the guarded inner call failed.
  messages.clear();
  EXPECT_EQ(script_test::call0("outer").i, 1 + 1000);
  EXPECT_EQ(ast_sci_call_failed(), 0);
  EXPECT_FALSE(messages.contains("step limit")) << messages.text();
}
