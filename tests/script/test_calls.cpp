// Calls: arguments by reference, recursion with private value cells, and host calls with
// addresses.
#include "ScriptTest.h"

#include <cstring>

using script_test::Messages;
using script_test::Scope;

namespace {

const char* const kByReference = R"(
void inc(int x) { x = x + 1; }
void incd(double x) { x += 1; }
void inc2(int x) { inc(x); }
void two(int x, int y) { x = 10; y = y + 1; }
int first(char s[]) { int c = s[0]; s[0] = 'Z'; return c; }
void setc(char s[]) { s[0] = 'Z'; }
int a = 5;
int global_variable() { inc(a); return a; }
int expression() { int b = 5; inc(b + 1); return b; }
int literal() { int s = 0; for (int i = 0; i < 3; i++) { inc(3); s += 3; } return s; }
int real_variable() { double d = 1; incd(d); return d; }
int int_to_real_parameter() { int i = 1; incd(i); return i; }
int char_array() { char buf[4] = "abc"; setc(buf); return buf[0]; }
int string_literal() { int r = 0; for (int i = 0; i < 2; i++) r = r * 1000 + first("abc"); return r; }
int array_element() { int arr[3]; inc(arr[1]); inc(arr[1]); return arr[1] * 10 + arr[0]; }
int same_variable_twice() { int v = 0; two(v, v); return v; }
int passed_through() { int b = 1; inc2(b); inc2(b); return b; }
int assignment_result() { int v; inc(v = 3); return v; }
int pre_increment() { int v = 1; inc(++v); return v; }
int conditional() { int p = 1; int q = 2; inc(p > 0 ? p : q); return p * 10 + q; }
int cast() { int v = 4; inc((int)v); return v; }
int parenthesised() { int v = 4; inc((v)); return v; }
)";

struct RefCase { const char* function; int expected; };

const RefCase kRefCases[] = {
    {"global_variable", 6},      {"expression", 5},       {"literal", 9},
    {"real_variable", 2},        {"int_to_real_parameter", 1}, {"char_array", 'Z'},
    {"string_literal", 97097},   {"array_element", 20},   {"same_variable_twice", 11},
    {"passed_through", 3},       {"assignment_result", 3}, {"pre_increment", 2},
    {"conditional", 12},         {"cast", 4},             {"parenthesised", 5},
};

const char* const kRecursion = R"(
int fact_left(int n) { if (n <= 1) return 1; return fact_left(n - 1) * n; }
int fact_right(int n) { if (n <= 1) return 1; return n * fact_right(n - 1); }
int fact_temp(int n) { if (n <= 1) return 1; return (n + 0) * fact_temp(n - 1); }
int fib(int n) { if (n < 2) return n; return fib(n - 1) + fib(n - 2); }
int ack(int m, int n) {
  if (m == 0) return n + 1;
  if (n == 0) return ack(m - 1, 1);
  return ack(m - 1, ack(m, n - 1));
}
int is_odd(int n);
int is_even(int n) { if (n == 0) return 1; return is_odd(n - 1); }
int is_odd(int n) { if (n == 0) return 0; return is_even(n - 1); }
int sum(int a[], int n) { if (n == 0) return 0; return a[n - 1] + sum(a, n - 1); }
int count(int n) { if (n == 0) return 0; return 1 + count(n - 1); }
double power(double x, int n) { if (n == 0) return 1; return x * power(x, n - 1); }
int main_fact_left() { return fact_left(10); }
int main_fact_right() { return fact_right(10); }
int main_fact_temp() { return fact_temp(10); }
int main_fib() { return fib(20); }
int main_ack23() { return ack(2, 3); }
int main_ack33() { return ack(3, 3); }
int main_parity() { return is_even(10) * 100 + is_odd(7) * 10 + is_even(7); }
int main_sum() { int a[10]; for (int i = 0; i < 10; i++) a[i] = i + 1; return sum(a, 10); }
int main_count() { return count(1000); }
int main_nested_calls() { return fib(fib(7)) + ack(fact_left(2), fib(3)); }
int main_power() { return power(2, 10); }
)";

const RefCase kRecursionCases[] = {
    {"main_fact_left", 3628800}, {"main_fact_right", 3628800}, {"main_fact_temp", 3628800},
    {"main_fib", 6765},          {"main_ack23", 9},            {"main_ack33", 61},
    {"main_parity", 110},        {"main_sum", 55},             {"main_count", 1000},
    {"main_nested_calls", 233 + 7}, {"main_power", 1024},
};

}  // namespace

TEST(ScriptCalls, ArgumentsPassByReference)
{
  Messages messages;
  Scope scope;
  ASSERT_EQ(ast_sci_parse_string(kByReference), 0) << messages.text();
  for (const RefCase& c : kRefCases) {
    SCOPED_TRACE(c.function);
    EXPECT_EQ(script_test::call0(c.function).i, c.expected);
  }
}

TEST(ScriptCalls, RecursionGivesTheResultsOfC)
{
  Messages messages;
  Scope scope;
  ASSERT_EQ(ast_sci_parse_string(kRecursion), 0) << messages.text();
  for (const RefCase& c : kRecursionCases) {
    SCOPED_TRACE(c.function);
    EXPECT_EQ(script_test::call0(c.function).i, c.expected);
    EXPECT_EQ(ast_sci_call_failed(), 0) << messages.text();
  }
}

TEST(ScriptCalls, HostPassesAddressesAndSeesChanges)
{
  Messages messages;
  Scope scope;
  ASSERT_EQ(ast_sci_parse_string("double f8(double a, double b, double c, double d, double e, double f, double g, double h) {\n"
                                 "  double s = a + 2 * b + 3 * c + 4 * d;\n"
                                 "  return s + 5 * e + 6 * f + 7 * g + 8 * h;\n"
                                 "}\n"
                                 "void setn(int n) { n = 42; }\n"
                                 "int twice(int n) { n = n * 2; return n; }\n"),
            0)
      << messages.text();
  double v[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  ast_sci_value r = ast_sci_call_function(ast_sci_find_function("f8"), &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7]);
  EXPECT_EQ(r.d, 1 + 4 + 9 + 16 + 25 + 36 + 49 + 64);
  int n = 7;
  ast_sci_call_function(ast_sci_find_function("setn"), &n);
  EXPECT_EQ(n, 42);
  r = ast_sci_call_function(ast_sci_find_function("twice"), &n);
  EXPECT_EQ(n, 84);
  EXPECT_EQ(r.i, 84);
  EXPECT_EQ(r.bits, 84u);  // the bytes beyond an int result are zero
}

TEST(ScriptCalls, ResultCellForEveryType)
{
  Messages messages;
  Scope scope;
  ASSERT_EQ(ast_sci_parse_string("char c() { return 'x'; } float f() { return 0.25; } void* p() { return 0; }\n"
                                 "double d() { return -1.5; } int i() { return -2; }"),
            0)
      << messages.text();
  ast_sci_value v = script_test::call0("c");
  EXPECT_EQ(v.c, 'x');
  EXPECT_EQ(v.bits, static_cast<uint64_t>('x'));
  EXPECT_EQ(script_test::call0("f").f, 0.25f);
  EXPECT_EQ(script_test::call0("p").p, nullptr);
  EXPECT_EQ(script_test::call0("d").d, -1.5);
  EXPECT_EQ(script_test::call0("i").i, -2);
}

TEST(ScriptCalls, HostArraysKnowTheirSize)
{
  Messages messages;
  Scope scope;
  ASSERT_EQ(ast_sci_parse_string("void scale(double v[]) { v[0] *= 2; v[1] *= 2; v[2] *= 2; }\n"
                                 "void scale3(double v[3]) { v[0] *= 2; v[1] *= 2; v[2] *= 2; }\n"
                                 "void Label(char s[]) { strcpy(s, \"a long label text\"); }\n"
                                 "int length(char s[]) { return sizeof(s); }\n"),
            0)
      << messages.text();
  double v[3] = {1, 2, 3};
  {
    ast_sci_array_scope declared(v, sizeof v);
    ast_sci_call_function(ast_sci_find_function("scale"), v);
  }
  EXPECT_EQ(v[0], 2);
  EXPECT_EQ(v[2], 6);
  // The size written in the declaration stands in for a host array that was not declared.
  ast_sci_call_function(ast_sci_find_function("scale3"), v);
  EXPECT_EQ(v[2], 12);
  EXPECT_EQ(ast_sci_call_failed(), 0);
  // Without either, the script sees one element, and the second access fails.
  messages.clear();
  ast_sci_call_function(ast_sci_find_function("scale"), v);
  EXPECT_EQ(ast_sci_call_failed(), 1);
  EXPECT_TRUE(messages.contains("out of range")) << messages.text();
  EXPECT_EQ(v[0], 8);
  EXPECT_EQ(v[1], 8);

  char buffer[8] = "";
  {
    ast_sci_array_scope declared(buffer, sizeof buffer);
    ast_sci_call_function(ast_sci_find_function("Label"), buffer);
    EXPECT_EQ(ast_sci_call_function(ast_sci_find_function("length"), buffer).i, 8);
  }
  EXPECT_STREQ(buffer, "a long ");
  // A host text that was not declared is as long as the text in it.
  char text[32] = "abc";
  EXPECT_EQ(ast_sci_call_function(ast_sci_find_function("length"), text).i, 4);
  ast_sci_call_function(ast_sci_find_function("Label"), text);
  EXPECT_STREQ(text, "a l");
}

TEST(ScriptCalls, NullAddressEndsTheCall)
{
  Messages messages;
  Scope scope;
  ASSERT_EQ(ast_sci_parse_string("int get(int n) { return n; }"), 0);
  ast_sci_value r = ast_sci_call_function(ast_sci_find_function("get"), static_cast<int*>(nullptr));
  EXPECT_EQ(r.bits, 0u);
  EXPECT_EQ(ast_sci_call_failed(), 1);
  EXPECT_TRUE(messages.contains("null address"));
}
