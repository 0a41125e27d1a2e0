// The construction protocol across class levels: the class files written here (a
// default-command file for AK_Object among them) hold for the whole process.
#include <gtest/gtest.h>

#include <string>

#include "TestClasses.h"

namespace {

void WriteDefaultFiles()
{
  const std::string& dir = TestUserAttributesDirectory();
  // Each level records what it sees of the levels below it when its defaults run.
  WriteFile(dir + "AK_Object.def", "set(\"\", \"$trace\", \"object\")\n");
  WriteFile(dir + "TST_Level1.def",
                "set(\"\", \"Log\", $trace)\n"
                "set(\"\", \"Value\", \"5\")\n"
                "# a comment line\n");
  WriteFile(dir + "TST_Level2.def",
                "set(\"\", \"Log\", \"second\")\n"
                "set(\"\", \"Extra\", \"6\")\n"
                "get(\"\", \"Value\", $seen)\n");
}

}  // namespace

TEST(DefaultCommands, RunPerLevelBeforeTheDerivedLevelsExist)
{
  SKIP_UNLESS_ALONE_IN_PROCESS();
  WriteDefaultFiles();
  TestLog().clear();
  AK_Object top("top", nullptr);
  EXPECT_STREQ(top.GetVariable("$trace").c_str(), "object");

  TST_Level2* two = new TST_Level2("two", &top);
  top.AddComponent(two);
  // Level 1's "Log" reached Level 1's own Set although the object becomes a Level2.
  ASSERT_EQ(TestLog().size(), 2u);
  EXPECT_EQ(TestLog()[0], "Level1:object");
  EXPECT_EQ(TestLog()[1], "Level2:second");
  EXPECT_STREQ(two->Get("Value").c_str(), "5");
  EXPECT_STREQ(two->Get("Extra").c_str(), "6");
  EXPECT_STREQ(two->GetVariable("$seen").c_str(), "5");

  // Every new object runs them again, and a level's defaults see the field defaults that
  // its constructor set before them.
  TestLog().clear();
  TST_Level1 one("one", nullptr);
  ASSERT_EQ(TestLog().size(), 1u);
  EXPECT_EQ(TestLog()[0], "Level1:object");
}

TEST(DefaultCommandsDeathTest, MissingTableOfADerivedClassIsFatal)
{
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  struct TST_NoTable : AK_Object {
    TST_NoTable() : AK_Object("x", nullptr)
    {
      static AK_ClassRecord record("TST_NoTableAnywhere");
      AK_SetUpClassLevel(this, record, AK_Object::ClassRecord().table);
    }
  };
  EXPECT_DEATH(
      {
        AK_MessageHook = MessagesToStderr;
        TST_NoTable object;
      },
      "ERROR:FATAL:_attributes failed!");
}
