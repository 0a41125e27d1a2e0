// Namespaces: lookups, the life of namespaces and their code, atomic compile units.
#include "ScriptTest.h"

#include "AK_Message.h"

using script_test::Messages;
using script_test::Scope;

namespace {

ast_sci_namespace doomed = nullptr;

void delete_doomed() { ast_sci_delete_namespace(doomed); }
void reset_current() { ast_sci_reset_namespace(); }

}  // namespace

TEST(ScriptNamespaces, FindFunctionSearchesOnlyTheOwnTable)
{
  Messages messages;
  Scope parent;
  ASSERT_EQ(ast_sci_parse_string("int in_parent() { return 1; }"), 0);
  {
    Scope child;
    EXPECT_EQ(ast_sci_find_function("in_parent"), nullptr);
    EXPECT_EQ(ast_sci_parent_namespace(child.get()), parent.get());
  }
  EXPECT_NE(ast_sci_find_function("in_parent"), nullptr);
  EXPECT_EQ(ast_sci_find_function("no_such_function"), nullptr);
}

TEST(ScriptNamespaces, CallsAndVariablesResolveThroughParents)
{
  Messages messages;
  Scope parent;
  ASSERT_EQ(ast_sci_parse_string("int base = 40; int in_parent(int x) { return x + base; }"), 0);
  Scope child;
  ASSERT_EQ(ast_sci_parse_string("int in_child() { base = base + 1; return in_parent(1); }"), 0) << messages.text();
  EXPECT_EQ(script_test::call0("in_child").i, 42);
  // A child's own definition shadows the parent's.
  Scope grandchild;
  ASSERT_EQ(ast_sci_parse_string("int in_parent(int x) { return -x; } int call() { return in_parent(5); }"), 0);
  EXPECT_EQ(script_test::call0("call").i, -5);
}

TEST(ScriptNamespaces, NewDoesNotMakeCurrentAndOpenCloseNest)
{
  Messages messages;
  ast_sci_namespace global = ast_sci_get_namespace();
  EXPECT_EQ(ast_sci_parent_namespace(global), nullptr);
  ast_sci_namespace created = ast_sci_new_namespace();
  ASSERT_NE(created, nullptr);
  EXPECT_EQ(ast_sci_get_namespace(), global);
  EXPECT_EQ(ast_sci_parent_namespace(created), global);
  ast_sci_namespace a = ast_sci_open_namespace();
  ast_sci_namespace b = ast_sci_open_namespace();
  EXPECT_EQ(ast_sci_parent_namespace(b), a);
  ast_sci_close_namespace();
  EXPECT_EQ(ast_sci_get_namespace(), a);
  ast_sci_close_namespace();
  EXPECT_EQ(ast_sci_get_namespace(), global);
  ast_sci_delete_namespace(created);
}

TEST(ScriptNamespaces, GlobalAndCurrentAreNeverDeleted)
{
  Messages messages;
  ast_sci_namespace global = ast_sci_get_namespace();
  ast_sci_delete_namespace(global);
  ast_sci_close_namespace();
  EXPECT_TRUE(messages.contains("global namespace cannot be closed"));
  EXPECT_EQ(ast_sci_get_namespace(), global);
  EXPECT_NE(ast_sci_find_function("sqrt"), nullptr);

  Scope scope;
  ASSERT_EQ(ast_sci_parse_string("int alive() { return 7; }"), 0);
  ast_sci_delete_namespace(scope.get());
  ast_sci_delete_namespace(nullptr);
  EXPECT_EQ(script_test::call0("alive").i, 7);
}

TEST(ScriptNamespaces, DeletingAParentUnderALivingChildIsSafe)
{
  Messages messages;
  ast_sci_namespace global = ast_sci_get_namespace();
  ast_sci_namespace parent = ast_sci_open_namespace();
  ASSERT_EQ(ast_sci_parse_string("char text[6] = \"hello\"; int letter(int i) { return text[i]; }"), 0);
  ast_sci_namespace child = ast_sci_open_namespace();
  ASSERT_EQ(ast_sci_parse_string("int use() { text[0] = 'j'; return letter(0) * 1000 + letter(4); }"), 0);
  ast_sci_symbol* use = ast_sci_find_function("use");
  ast_sci_set_namespace(global);
  ast_sci_delete_namespace(parent);
  EXPECT_EQ(ast_sci_call_function(use).i, 'j' * 1000 + 'o');
  // The child still compiles against what its parent held.
  ast_sci_set_namespace(child);
  EXPECT_EQ(ast_sci_parse_string("int again() { return letter(1); }"), 0) << messages.text();
  EXPECT_EQ(script_test::call0("again").i, 'e');
  ast_sci_set_namespace(global);
  ast_sci_delete_namespace(child);
  ast_sci_delete_namespace(parent);  // already deleted: only a message
  EXPECT_TRUE(messages.contains("already deleted"));
}

TEST(ScriptNamespaces, ClosingTheChildOfADeletedParent)
{
  Messages messages;
  ast_sci_namespace global = ast_sci_get_namespace();
  ast_sci_namespace parent = ast_sci_open_namespace();
  ASSERT_EQ(ast_sci_parse_string("int base() { return 5; }"), 0);
  ast_sci_open_namespace();
  ast_sci_delete_namespace(parent);  // not current: deleted, but its child still stands on it
  ast_sci_close_namespace();         // the deleted parent becomes current again, intact
  EXPECT_EQ(ast_sci_get_namespace(), parent);
  EXPECT_EQ(script_test::call0("base").i, 5);
  ast_sci_set_namespace(parent);     // a deleted namespace cannot be chosen by the host
  EXPECT_TRUE(messages.contains("unknown or deleted namespace ignored"));
  ast_sci_set_namespace(global);     // now nothing holds it any more
  EXPECT_EQ(ast_sci_get_namespace(), global);
}

TEST(ScriptNamespaces, DeletingTheNamespaceOfARunningFunctionWaits)
{
  Messages messages;
  Scope host;
  ASSERT_EQ(ast_sci_parse_string("void delete_doomed();"), 0) << messages.text();
  ASSERT_NE(ast_sci_bind_extern("delete_doomed", delete_doomed), nullptr);
  doomed = ast_sci_open_namespace();
  ASSERT_EQ(ast_sci_parse_string("int helper(int k) { return k * 2; }\n"
                                 "int run() { int x = 5; delete_doomed(); return x + helper(x); }"),
            0)
      << messages.text();
  ast_sci_symbol* run = ast_sci_find_function("run");
  ast_sci_set_namespace(host.get());
  EXPECT_EQ(ast_sci_call_function(run).i, 15);
  EXPECT_EQ(ast_sci_call_failed(), 0);
}

TEST(ScriptNamespaces, ResettingWhileRunningKeepsTheRunningCode)
{
  Messages messages;
  Scope host;
  ASSERT_EQ(ast_sci_parse_string("void reset_current(); int base = 3;"), 0);
  ASSERT_NE(ast_sci_bind_extern("reset_current", reset_current), nullptr);
  Scope scope;
  ASSERT_EQ(ast_sci_parse_string("int g = 4; int helper() { return g + base; }\n"
                                 "int run() { reset_current(); return helper() + g; }"),
            0);
  ast_sci_symbol* run = ast_sci_find_function("run");
  EXPECT_EQ(ast_sci_call_function(run).i, 11);
  EXPECT_EQ(ast_sci_find_function("run"), nullptr);
  EXPECT_EQ(ast_sci_find_function("helper"), nullptr);
  // The namespace is usable again, with an empty table.
  EXPECT_EQ(ast_sci_parse_string("int g = 1; int run() { return g + base; }"), 0) << messages.text();
  EXPECT_EQ(script_test::call0("run").i, 4);
}

TEST(ScriptNamespaces, ResettingAParentLeavesChildCodeWorking)
{
  Messages messages;
  Scope parent;
  ASSERT_EQ(ast_sci_parse_string("double scale = 2.5; double scaled(double x) { return x * scale; }"), 0);
  ast_sci_namespace child = ast_sci_new_namespace();
  ast_sci_set_namespace(child);
  ASSERT_EQ(ast_sci_parse_string("double use() { return scaled(4); }"), 0);
  ast_sci_symbol* use = ast_sci_find_function("use");
  ast_sci_set_namespace(parent.get());
  ast_sci_reset_namespace();
  EXPECT_EQ(ast_sci_find_function("scaled"), nullptr);
  EXPECT_EQ(ast_sci_call_function(use).d, 10.0);
  ast_sci_delete_namespace(child);
}

TEST(ScriptNamespaces, FailedCompilesLeaveNothingBehind)
{
  Messages messages;
  Scope scope;
  ASSERT_EQ(ast_sci_parse_string("int later(int x);"), 0);
  EXPECT_EQ(ast_sci_parse_string("int f() { return 1; }\n"
                                 "double proto(double x);\n"
                                 "int counter = 5;\n"
                                 "int later(int x) { return x; }\n"
                                 "int g() { return undefined_thing; }\n"),
            1);
  EXPECT_TRUE(messages.contains("<string>:5: error: undeclared identifier 'undefined_thing'")) << messages.text();
  EXPECT_TRUE(messages.contains("int g() { return undefined_thing; }")) << messages.text();
  EXPECT_EQ(ast_sci_find_function("f"), nullptr);
  EXPECT_EQ(ast_sci_find_function("proto"), nullptr);
  // The names are free for the next unit.
  ASSERT_EQ(ast_sci_parse_string("int counter = 9; int f() { return counter; }"), 0) << messages.text();
  EXPECT_EQ(script_test::call0("f").i, 9);
  // "later" kept no body: it is still an unbound extern.
  messages.clear();
  int x = 3;
  ast_sci_call_function(ast_sci_find_function("later"), &x);
  EXPECT_EQ(ast_sci_call_failed(), 1);
  EXPECT_TRUE(messages.contains("calling unbound extern function 'later'"));
  // A later unit may give it its body.
  ASSERT_EQ(ast_sci_parse_string("int later(int x) { return x * 3; }"), 0);
  EXPECT_EQ(ast_sci_call_function(ast_sci_find_function("later"), &x).i, 9);
}

TEST(ScriptNamespaces, FunctionDefinedTwice)
{
  Messages messages;
  Scope scope;
  ASSERT_EQ(ast_sci_parse_string("int f() { return 1; }"), 0);
  EXPECT_EQ(ast_sci_parse_string("int f() { return 2; }"), 1);
  EXPECT_TRUE(messages.contains("function 'f' already defined")) << messages.text();
  EXPECT_EQ(script_test::call0("f").i, 1);
  messages.clear();
  EXPECT_EQ(ast_sci_parse_string("int g() { return 1; } int g() { return 2; }"), 1);
  EXPECT_TRUE(messages.contains("function 'g' already defined"));
  messages.clear();
  EXPECT_EQ(ast_sci_parse_string("double sqrt(double x) { return x; }"), 0);  // shadows in a child
  EXPECT_EQ(ast_sci_parse_string("int f(int x);"), 1);
  EXPECT_TRUE(messages.contains("conflicting declaration of function 'f'"));
}

TEST(ScriptNamespaces, NullNamespaceIsFatal)
{
  AK_MessageHook = MessagesToStderr;
  EXPECT_DEATH(ast_sci_set_namespace(nullptr), "ERROR:FATAL:nmspace failed!");
  EXPECT_DEATH(ast_sci_parent_namespace(nullptr), "ERROR:FATAL:nmspace failed!");
  AK_MessageHook = AK_DefaultMessageHook;
}
