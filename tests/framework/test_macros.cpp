// Macro files: line kinds, explanation blocks, repetitions, failures and the recursion guard.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "TestClasses.h"

namespace {

struct MacroFixture : testing::Test {
  ScratchDir dir;
  std::unique_ptr<TST_Level1> object{new TST_Level1("obj", nullptr)};

  std::string Write(const std::string& name, const std::string& text)
  {
    std::string path = dir / name;
    WriteFile(path, text);
    return path;
  }
  void SetUp() override
  {
    TestLog().clear();
    AK_ErrorText = "";
  }
  void TearDown() override { AK_SetLanguage("default"); }
};

std::string Log(const char* value) { return std::string("set(\"\", \"Log\", \"") + value + "\")\n"; }

}  // namespace

// Comments, plain text, blank and "//fi" lines run silently; commands run in order, CRLF
// line ends included.
TEST_F(MacroFixture, LineKinds)
{
  std::string m = Write("lines.macro", "# comment\nplain text\n//fi set(\"\", \"Log\", \"no\")\n\n  " + Log("indented") +
                                           "set(\"\", \"Log\", \"1\")\r\nset(\"\", \"$v\", \"x\")\r\nget(\"\", \"$v\", $w)\r\n" + Log("2"));
  MessageCapture messages;
  object->ExecMacro(m.c_str(), 0);
  EXPECT_TRUE(messages.messages.empty());
  EXPECT_STREQ(AK_ErrorText.c_str(), "");
  EXPECT_EQ(TestLog(), (std::vector<std::string>{"Level1:1", "Level1:2"}));
  EXPECT_STREQ(object->GetVariable("$w").c_str(), "x");
}

TEST_F(MacroFixture, ExplanationBlocks)
{
  struct Case { const char* language; std::string text; std::string pending; };
  const Case cases[] = {
      {"default", "/*\nWhy this\nset(\"\", \"Log\", \"inside\")\n*/\n", "/*\nWhy this\nset(\"\", \"Log\", \"inside\")\n\n*/"},
      {"german", "/*\n%lang german\nG\n*/\n", "/*\nG\n\n*/"},
      {"default", "/*\n%lang german\nG\nset(\"\", \"Log\", \"other language\")\n*/\n", "/*\n\n*/"},
      {"default", "/*\n%lang default\nE\n%lang german\nG\n*/\n", "/*\nE\n\n*/"},
      {"german", "/*\n%lang default\nE\n%lang german\nG\n*/\n", "/*\n\n*/"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.language) + ": " + c.text);
    AK_SetLanguage(c.language);
    TestLog().clear();
    std::string m = Write("block.macro", c.text);
    object->ExecMacro(m.c_str(), 0);
    EXPECT_TRUE(TestLog().empty()) << "commands inside a block never run";
    EXPECT_EQ(std::string(AK_PendingExplanation.c_str()), c.pending);
  }
  // The next command outside the block runs, and an explanation uses the text up.
  AK_SetLanguage("default");
  std::string m = Write("then.macro", "/*\nWhy\n*/\nset(\"\", \"ExplainCommands\", \"1\")\n" + Log("after") +
                                          "set(\"\", \"ExplainCommands\", \"0\")\n");
  MessageCapture messages;
  object->ExecMacro(m.c_str(), 0);
  EXPECT_EQ(TestLog(), (std::vector<std::string>{"Level1:after"}));
  ASSERT_EQ(messages.messages.size(), 3u);
  EXPECT_EQ(messages.messages[1].rfind("CMD-INFO:/*\nWhy\n\n*/\n\n\nSelect the object 'obj'", 0), 0u)
      << messages.messages[1];
}

TEST_F(MacroFixture, Repetitions)
{
  std::string m = Write("rep.macro", Log("x"));
  object->SetMacroRepetitions(3);
  object->ExecMacro(m.c_str(), 0);
  EXPECT_EQ(TestLog().size(), 3u);

  TestLog().clear();
  object->SetMacroRepetitions(0);
  object->ExecMacro(m.c_str(), 0);
  EXPECT_TRUE(TestLog().empty());

  TestLog().clear();
  object->SetMacroRepetitions(3);
  std::string failing = Write("fail.macro", Log("x") + "set(\"\", \"SetVariableValue\", \"bad\")\n" + Log("never"));
  MessageCapture messages;
  object->ExecMacro(failing.c_str(), 0);
  EXPECT_EQ(TestLog(), (std::vector<std::string>{"Level1:x"}));
  EXPECT_TRUE(messages.Contains("error 'missing '=' in variable assignment 'bad'' when executing macro "
                                "command 'set(\"\", \"SetVariableValue\", \"bad\")'!"));

  // Negative: until a command fails (here: an interrupt after five commands).
  TestLog().clear();
  object->SetMacroRepetitions(-1);
  static int polls = 0;
  polls = 0;
  AK_InterruptCallback = [] { return ++polls > 5 ? 1 : 0; };
  object->ExecMacro(m.c_str(), 0);
  AK_InterruptCallback = nullptr;
  EXPECT_EQ(TestLog().size(), 5u);
  EXPECT_STREQ(AK_ErrorText.c_str(), "interrupted");
  object->SetMacroRepetitions(1);
}

// A file without command lines can never fail, so a negative count must not repeat it for
// ever; a positive count over such a file changes nothing either. The child process is
// killed by an alarm if the macro never returns.
using MacroDeathTest = MacroFixture;

TEST_F(MacroDeathTest, RepetitionsOfAFileWithoutCommandsEnd)
{
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  std::string m = Write("nothing.macro", "# only a comment\n/*\nset(\"\", \"Log\", \"inside\")\n*/\n");
  EXPECT_EXIT(
      {
        alarm(20);
        object->SetMacroRepetitions(-1);
        object->ExecMacro(m.c_str(), 0);
        std::_Exit(AK_ErrorText.IsEmpty() && TestLog().empty() &&
                           AK_PendingExplanation == "/*\nset(\"\", \"Log\", \"inside\")\n\n*/"
                       ? 0
                       : 1);
      },
      testing::ExitedWithCode(0), "");
  object->SetMacroRepetitions(3);
  object->ExecMacro(m.c_str(), 0);
  EXPECT_TRUE(TestLog().empty());
  EXPECT_STREQ(AK_ErrorText.c_str(), "");
  object->SetMacroRepetitions(1);
}

TEST_F(MacroFixture, UnhandledCommandsAndOldErrorsDoNotEndAMacro)
{
  std::string m = Write("go.macro", "set(\"\", \"NoSuchThing\", \"1\")\n" + Log("after"));
  AK_ErrorText = "left over from before";
  object->ExecMacro(m.c_str(), 0);
  EXPECT_EQ(TestLog(), (std::vector<std::string>{"Level1:after"}));
  EXPECT_STREQ(AK_ErrorText.c_str(), "");
}

TEST_F(MacroFixture, RecursionGuardComparesFiles)
{
  std::string path = dir / "self.macro";
  for (const std::string& spelling : {path, dir.Path() + "/./self.macro", dir.Path() + "//self.macro"}) {
    SCOPED_TRACE(spelling);
    TestLog().clear();
    Write("self.macro", Log("once") + "set(\"\", \"ExecMacro\", \"" + spelling + "\")\n" + Log("never"));
    MessageCapture messages;
    object->ExecMacro(path.c_str(), 0);
    EXPECT_EQ(TestLog(), (std::vector<std::string>{"Level1:once"}));
    EXPECT_STREQ(AK_ErrorText.c_str(), "recursive macro call ignored");
    ASSERT_FALSE(messages.messages.empty());
    EXPECT_EQ(messages.messages.back(),
              "error 'recursive macro call ignored' when executing macro command 'set(\"\", "
              "\"ExecMacro\", \"" + spelling + "\")'!");
  }
  // Once it has ended, the same macro runs again.
  Write("self.macro", Log("again"));
  object->ExecMacro(path.c_str(), 0);
  EXPECT_STREQ(AK_ErrorText.c_str(), "");
}

TEST_F(MacroFixture, MissingFilesAndOtherKinds)
{
  object->SetMacroFileName((dir / "missing.cint").c_str());
  object->ExecMacro("", 0);
  // An absolute name is not looked for in the attributes directories.
  EXPECT_EQ(std::string(AK_ErrorText.c_str()),
            "can neither open macro file '' nor '" + (dir / "missing.cint") + "'");
  object->ExecMacro((dir / "missing.macro").c_str(), 0);
  EXPECT_EQ(std::string(AK_ErrorText.c_str()), "cannot open macro file '" + (dir / "missing.macro") + "'");
  object->ExecMacro(dir.Path().c_str(), 0);  // a directory is no macro
  EXPECT_EQ(std::string(AK_ErrorText.c_str()), "cannot open macro file '" + dir.Path() + "'");
  std::string py = Write("script.py", "print(1)\n");
  object->ExecMacro(py.c_str(), 0);
  EXPECT_STREQ(AK_ErrorText.c_str(), "Python macros not supported");
  object->ExecMacro((dir / "none.py").c_str(), 0);
  EXPECT_EQ(std::string(AK_ErrorText.c_str()),
            "can neither open python file '" + (dir / "none.py") + "' nor '" + (dir / "none.py") + "'");
  object->SetMacroFileName("");
  object->ExecMacro("", 0);
  EXPECT_STREQ(AK_ErrorText.c_str(), "cannot open macro file ''");
}

TEST_F(MacroFixture, MacroNamesAsAttributes)
{
  std::string m = Write("named.macro", Log("named"));
  EXPECT_EQ(object->Set(m.c_str(), "ignored"), 1);
  EXPECT_EQ(TestLog(), (std::vector<std::string>{"Level1:named"}));
  EXPECT_EQ(object->ModificationTime(m.c_str()), 0);
  EXPECT_EQ(object->Set("macro", ""), 0);  // shorter than ".macro"
  TestLog().clear();
  object->SetMacroFileName(m.c_str());
  EXPECT_EQ(object->Set("ExecMacro", ""), 1);
  EXPECT_EQ(TestLog(), (std::vector<std::string>{"Level1:named"}));
}

