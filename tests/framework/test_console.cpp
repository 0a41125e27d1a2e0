// The console controller: playing its macro, the numbered menus, edits and recording.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "TestClasses.h"

namespace {

std::string ReadAll(std::FILE* file)
{
  std::string text;
  std::rewind(file);
  int c;
  while ((c = std::fgetc(file)) != EOF) text.push_back(static_cast<char>(c));
  return text;
}

struct ConsoleFixture : testing::Test {
  ScratchDir dir;
  std::unique_ptr<AK_TerminalController> viewer{new AK_TerminalController("Viewer", nullptr)};
  AK_Container* project = nullptr;
  TST_Level1* one = nullptr;
  long inputLeft = 0;

  void SetUp() override
  {
    project = new AK_Container("Project", viewer.get());
    viewer->AddComponent(project);
    one = new TST_Level1("one", project);
    project->AddComponent(one);
    TestLog().clear();
  }

  // Runs the console on the typed text; returns what it printed.
  std::string Run(const std::string& typed, const std::string& macro = "", int offscreen = 0)
  {
    std::FILE* in = std::tmpfile();
    std::FILE* out = std::tmpfile();
    std::fputs(typed.c_str(), in);
    std::rewind(in);
    viewer->SetConsole(in, out);
    viewer->Run(1024, 768, macro.c_str(), "", offscreen);
    std::string printed = ReadAll(out);
    inputLeft = static_cast<long>(typed.size()) - std::ftell(in);
    viewer->SetConsole(stdin, stdout);
    std::fclose(in);
    std::fclose(out);
    return printed;
  }
};

const char* kViewerMenu = "Viewer:\n1:Project\nq: quit\ne: edit\n?: help\n";
const char* kProjectMenu = "Project:\n1:one\nq: quit\ne: edit\n?: help\n";
const char* kObjectMenuOfOne = "one:\nq: quit\ne: edit\n?: help\n";

// The console's table of "one" under its path; Flag and Choice show the same number as Value.
std::string TableOfOne(const std::string& value, const std::string& list)
{
  return "Viewer/Project/one\n"
         "1: int.Value: " + value + "\n"
         "2: string.Log\n"
         "3: string.Shown: one (r)\n"
         "4: bool.Flag: " + value + "\n"
         "5: string.Choice: " + value + "\n"
         "6: string.List: " + list + "\n"
         "7: apply.Touch\n"
         "8: obj.Object (obj)\n"
         "q: quit\n";
}

}  // namespace

TEST_F(ConsoleFixture, Transcript)
{
  MessageCapture messages;
  // A switch and an operation show the entry's header and set at once; an edit asks.
  std::string printed = Run("1 1 e 4 1 42 6 a|b 5 3 2 ? 7 q q q q");
  const std::string menusDown = std::string(kViewerMenu) + kProjectMenu + kObjectMenuOfOne;
  const std::string menusUp = std::string(kObjectMenuOfOne) + kProjectMenu + kViewerMenu;
  const std::string header = "Viewer/Project/one\n";
  const std::string expected = menusDown + TableOfOne("0", "") +                                  // 1 1 e
                               header + TableOfOne("1", "") +                                     // 4
                               header + "enter value: [1]\n" + TableOfOne("42", "") +             // 1 42
                               header + "enter value: []\n" + TableOfOne("42", "a|b|") +          // 6 a|b
                               header + "1...0\n2...1\n3...7\n" + TableOfOne("7", "a|b|") +       // 5 3
                               header + "enter value: [%AK_NULL%]\n" + TableOfOne("7", "a|b|") +  // 2 ?
                               header + TableOfOne("7", "a|b|") +                                 // 7
                               menusUp;                                                           // q q q q
  EXPECT_EQ(printed, expected);
  EXPECT_STREQ(one->Get("$list").c_str(), "a%AK_SEP%b%AK_SEP%");
  EXPECT_EQ(TestLog(), (std::vector<std::string>{"Level1:"}));
  ASSERT_EQ(messages.messages.size(), 1u);  // the help text of "Log"
  EXPECT_EQ(messages.messages[0],
            "Appends to the test log. \nThis is an operation on the object. \n(set-ID:Log)");
}

TEST_F(ConsoleFixture, OffscreenPlaysTheMacroAndReadsNothing)
{
  std::string macro = dir / "start.macro";
  WriteFile(macro, "set(\"Project/one\", \"Value\", \"3\")\n");
  std::string printed = Run("1 q q", macro, 1);
  EXPECT_EQ(printed, "");
  EXPECT_EQ(inputLeft, 5);
  EXPECT_STREQ(one->Get("Value").c_str(), "3");
}

TEST_F(ConsoleFixture, NumbersAndTheEndOfInput)
{
  // "2x" counts as 2 (out of range here), 0 and -1 choose nothing, "1abc" is 1.
  std::string printed = Run("2x 0 -1 1abc");
  EXPECT_EQ(printed.find("Project:\n1:one\n"), printed.rfind("Project:\n1:one\n"));
  EXPECT_NE(printed.find("Project:\n1:one\n"), std::string::npos);
  EXPECT_EQ(std::count(printed.begin(), printed.end(), 'V'), 4);  // four Viewer menus

  // The input ends in the middle of an edit: nothing is set and Run returns.
  one->Set("Value", "5");
  Run("1 1 e 1");
  EXPECT_STREQ(one->Get("Value").c_str(), "5");
  EXPECT_EQ(Run(""), "Viewer:\n1:Project\nq: quit\ne: edit\n?: help\n");
}

TEST_F(ConsoleFixture, ObjectWithoutComponentsAndHelp)
{
  MessageCapture messages;
  std::string printed = Run("1 1 ? q q q");
  EXPECT_NE(printed.find(kObjectMenuOfOne), std::string::npos);
  ASSERT_EQ(messages.messages.size(), 1u);
  EXPECT_EQ(messages.messages[0], "First test level.");
}

TEST_F(ConsoleFixture, LongTokensAreCut)
{
  std::string longValue(300, 'v');
  Run("1 1 e 6 " + longValue + " q q q q");
  std::string stored = one->Get("$list").c_str();
  EXPECT_EQ(stored, std::string(127, 'v'));
}

// Recording through the console itself: edits recorded with paths relative to the
// controller, choices recorded like other edits; the recording replays. (Switching it on
// from the menu, and the switch itself never recorded, the console end-to-end case shows.)
TEST_F(ConsoleFixture, RecordFromTheMenuAndReplay)
{
  std::string macro = dir / "session.macro";
  WriteFile(macro, "");
  // Viewer: e -> its table: 1 opr.Macro -> 1 Recording (switch on) ... then back out.
  Run("e 1 1 q q 1 1 e 1 11 5 2 q q q e 1 1 q q q", macro);
  EXPECT_EQ(ReadFile(macro), "set(\"Project/one\", \"Value\", \"11\")\nset(\"Project/one\", \"Value\", \"1\")\n");
  one->Set("Value", "0");
  Run("", macro, 1);
  EXPECT_STREQ(one->Get("Value").c_str(), "1");
}

TEST_F(ConsoleFixture, FailedEditIsReported)
{
  MessageCapture messages;
  viewer->Set("ReportCommands", "1");
  // Viewer e, 2 = obj.Controller, 1 = obj.Object, 7 = opr.Variables, 2 = SetVariableValue
  Run("e 2 1 7 2 bad q q q q q");
  viewer->Set("ReportCommands", "0");
  std::vector<std::string> expected = {
      "set(\"\", \"SetVariableValue\", \"bad\")",
      "error when executing command set(\"\", \"SetVariableValue\", \"bad\"):missing '=' in "
      "variable assignment 'bad'"};
  EXPECT_EQ(messages.messages, expected);
}

// A recording whose file fails is told, never taken for one that stands: a macro file that cannot
// be made leaves Recording at 0 with the reason, and each failed call of a recording from the menu
// (the file made, each line, the last flush, the close) is told with the file's name.
TEST_F(ConsoleFixture, EachFailedWriteOfARecordingIsTold)
{
  viewer->SetMacroFileName((dir / "missing/session.macro").c_str());
  viewer->Set("Recording", "1");
  EXPECT_EQ(std::string(AK_ErrorText.c_str()).rfind("cannot open the macro file '" + dir / "missing/session.macro", 0),
            0u)
      << AK_ErrorText.c_str();
  EXPECT_STREQ(viewer->Get("Recording").c_str(), "0");

  const std::string macro = dir / "session.macro";
  const std::string typed = "e 1 1 q q 1 1 e 1 11 5 2 q q q e 1 1 q q q";
  WriteFile(macro, "");
  AK_RestartFailureCount(0);
  Run(typed, macro);
  EXPECT_EQ(AK_FailureHookCalls(), 5) << "the file made, two lines, the last flush and the close";
  EXPECT_EQ(ReadFile(macro), "set(\"Project/one\", \"Value\", \"11\")\nset(\"Project/one\", \"Value\", \"1\")\n");
  for (long n = 1; n <= 5; ++n) {
    SCOPED_TRACE("call " + std::to_string(n));
    WriteFile(macro, "");
    MessageCapture messages;
    AK_RestartFailureCount(n);
    testing::internal::CaptureStderr();
    Run(typed, macro);
    testing::internal::GetCapturedStderr();
    // A recording the end of the menu switched on again stops uncounted.
    AK_RestartFailureCount(0);
    viewer->Set("Recording", "0");
    bool told = false;
    for (const std::string& m : messages.messages)
      told = told || m.find("macro file '" + macro + "'") != std::string::npos;
    EXPECT_TRUE(told) << testing::PrintToString(messages.messages);
    // A line that failed is told at once, not only when the recording ends.
    if (n == 2 || n == 3) {
      EXPECT_TRUE(messages.HasPrefix("ERROR: cannot record command ")) << testing::PrintToString(messages.messages);
    }
  }
}
