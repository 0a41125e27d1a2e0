// Host calls through signatures: what a function declares, which argument lists a prepared call
// refuses, and that a call through an array of addresses acts like the variadic call.
#include "ScriptTest.h"

#include <string>
#include <vector>

using namespace script_test;

namespace {

const char* const kDeclarations = R"(
int calls = 0;
void none() {}
int one(int n) { calls++; return n; }
double mix(double x, char s[], int n[4], double v[3]) { return x; }
char proto(char c, float f);
int count_calls() { return calls; }
)";

constexpr ast_sci_type D{AST_SCI_DOUBLE, false, 0}, I{AST_SCI_INT, false, 0}, C{AST_SCI_CHAR, false, 0},
    F{AST_SCI_FLOAT, false, 0}, Text{AST_SCI_CHAR, true, 0}, I4{AST_SCI_INT, true, 4}, D3{AST_SCI_DOUBLE, true, 3};

}  // namespace

TEST(HostCalls, SignaturesAndRefusals)
{
  Scope scope;
  ASSERT_EQ(ast_sci_parse_string(kDeclarations), 0);
  struct Declared {
    const char* name;
    ast_sci_data_type result;
    std::vector<ast_sci_type> params;
  };
  for (const Declared& d : std::vector<Declared>{{"none", AST_SCI_VOID, {}},
                                                {"one", AST_SCI_INT, {I}},
                                                {"mix", AST_SCI_DOUBLE, {D, Text, I4, D3}},
                                                {"proto", AST_SCI_CHAR, {C, F}}}) {
    ast_sci_data_type result = AST_SCI_POINTER;
    ast_sci_type params[8]{};
    int count = ast_sci_function_signature(ast_sci_find_function(d.name), &result, params, 8);
    EXPECT_EQ(result, d.result) << d.name;
    EXPECT_EQ(std::vector<ast_sci_type>(params, params + count), d.params) << d.name;
  }
  EXPECT_EQ(ast_sci_function_signature(nullptr, nullptr, nullptr, 0), -1);

  // Host sizes 0 (declared with each call) and larger than declared are accepted.
  constexpr ast_sci_type D3Larger{AST_SCI_DOUBLE, true, 5}, TextOf9{AST_SCI_CHAR, true, 9};
  struct Offer {
    const char* name;
    ast_sci_data_type reads;
    std::vector<ast_sci_type> args;
    const char* refusal;  // null: accepted
  };
  for (const Offer& o : std::vector<Offer>{
           {"mix", AST_SCI_DOUBLE, {D, TextOf9, I4, D3Larger}, nullptr},
           {"mix", AST_SCI_VOID, {D, Text, {AST_SCI_INT, true, 0}, D3}, nullptr},
           {"mix", AST_SCI_DOUBLE, {D, Text, I4}, "function 'mix' takes 4 arguments, the host passes 3; not called"},
           {"mix", AST_SCI_DOUBLE, {I, Text, I4, D3}, "function 'mix' takes double as argument 1, the host passes int"},
           {"mix", AST_SCI_DOUBLE, {D, C, I4, D3}, "takes char[] as argument 2, the host passes char;"},
           {"mix", AST_SCI_DOUBLE, {D, Text, I4, {AST_SCI_DOUBLE, true, 2}}, "takes double[3] as argument 4, the host passes double[2]"},
           {"mix", AST_SCI_INT, {D, Text, I4, D3}, "function 'mix' returns double, the host reads int"},
           {"one", AST_SCI_INT, {}, "function 'one' takes 1 arguments, the host passes 0"},
           {"nothing", AST_SCI_VOID, {}, "needs a function symbol"}}) {
    Messages messages;
    ast_sci_prepared_call call = ast_sci_prepare_call(ast_sci_find_function(o.name), o.reads, o.args.data(),
                                                      static_cast<int>(o.args.size()));
    EXPECT_EQ(bool(call), o.refusal == nullptr) << o.name << " " << messages.text();
    if (o.refusal) EXPECT_TRUE(messages.contains(o.refusal)) << messages.text();
    else EXPECT_EQ(messages.text(), "");
  }

  // A refused call runs nothing and counts as failed.
  ast_sci_prepared_call refused = ast_sci_prepare_call(ast_sci_find_function("one"), AST_SCI_DOUBLE, &I, 1);
  int n = 7;
  void* args[] = {&n};
  EXPECT_EQ(ast_sci_call_prepared(refused, args).bits, 0u);
  EXPECT_EQ(ast_sci_call_failed(), 1);
  EXPECT_EQ(call0("count_calls").i, 0);

  // A prepared call outlives a reset of its namespace and runs the function it was prepared with.
  ast_sci_prepared_call one = ast_sci_prepare_call(ast_sci_find_function("one"), AST_SCI_INT, &I, 1);
  ast_sci_reset_namespace();
  ASSERT_EQ(ast_sci_find_function("one"), nullptr);
  EXPECT_EQ(ast_sci_call_prepared(one, args).i, 7);
}

namespace {

int text_cut(char* s)
{
  return ast_sci_store_string(s, "abcdefgh");
}

}  // namespace

TEST(HostCalls, ArrayFormActsLikeTheVariadicForm)
{
  Scope scope;
  ASSERT_EQ(ast_sci_parse_string(R"(
double bump(double x, int n, double v[3], char s[]) {
  x = x * 2; n = n + 1;
  for (int i = 0; i < 3; i++) v[i] = v[i] * 10 + i;
  strcat(s, "!");
  return x + n + v[2];
}
int text_cut(char s[]);
)"),
            0);
  struct Values {
    double x = 1.5;
    int n = 4;
    double v[3] = {1, 2, 3};
    char s[8] = "ab";
  } variadic, array;
  ast_sci_symbol* bump = ast_sci_find_function("bump");
  ast_sci_value expected;
  {
    ast_sci_array_scope size(variadic.s, sizeof variadic.s);
    expected = ast_sci_call_function(bump, &variadic.x, &variadic.n, variadic.v, variadic.s);
  }
  const ast_sci_type types[] = {D, I, D3, {AST_SCI_CHAR, true, 8}};
  ast_sci_prepared_call call = ast_sci_prepare_call(bump, AST_SCI_DOUBLE, types, 4);
  void* args[] = {&array.x, &array.n, array.v, array.s};
  EXPECT_EQ(ast_sci_call_prepared(call, args).d, expected.d);
  EXPECT_EQ(expected.d, 3.0 + 5 + 32);
  EXPECT_EQ(array.x, variadic.x);
  EXPECT_EQ(array.n, variadic.n);
  EXPECT_EQ(std::vector<double>(array.v, array.v + 3), std::vector<double>(variadic.v, variadic.v + 3));
  EXPECT_STREQ(array.s, variadic.s);

  // A native called straight from the host sees the array size the call was prepared with.
  ASSERT_NE(ast_sci_bind_extern("text_cut", text_cut), nullptr);
  char text[4] = "";
  void* textArg[] = {text};
  const ast_sci_type four{AST_SCI_CHAR, true, 4};
  EXPECT_EQ(ast_sci_call_prepared(ast_sci_prepare_call(ast_sci_find_function("text_cut"), AST_SCI_INT, &four, 1),
                                  textArg).i,
            1);
  EXPECT_STREQ(text, "abc");
}
