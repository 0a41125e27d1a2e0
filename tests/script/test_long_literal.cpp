// A string literal too long to be copied for a call says that it is the literal.
#include <string>

#include "ScriptTest.h"

using script_test::Messages;
using script_test::Scope;

TEST(ScriptErrors, AnOverlongStringLiteralIsNamed)
{
  Messages messages;
  Scope scope;
  std::string literal(5 << 20, 'x');
  std::string source = "void f(char s[]) {}\nint main() { f(\"" + literal + "\"); return 0; }";
  EXPECT_NE(ast_sci_parse_string(source.c_str()), 0);
  EXPECT_TRUE(messages.contains("string literal of 5242880 bytes exceeds the 1048576 bytes")) << messages.text();
}
