// The start macro and start line of a background run, on paths that hold blanks, quotes and "$".
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "AK_Framework.h"
#include "AK_FrameworkState.h"
#include "SW_BackgroundStart.h"
#include "SW_SimulationStatus.h"
#include "TestSupport.h"

TEST(BackgroundStart, StartMacroAndStartLineCarryAnyPath)
{
  ScratchDir dir;
  std::string runDir = dir.Path() + "/it's a $HOME `run`";
  ASSERT_EQ(AK_MakeDirectory(runDir.c_str()), 0);
  SW_BackgroundRun run{runDir.c_str(), "/projects/valley one", "Project/Simulations", "Sim1", false};
  const char* d = runDir.c_str();
  EXPECT_TRUE(SW_WriteStatusFile(d, "finished"));

  std::FILE* batch = std::tmpfile();
  ASSERT_EQ(SW_StartBackgroundRun(run, batch), 0);
  EXPECT_EQ(ReadFile(runDir + "/start.macro"),
            "set(\"\", \"ProjectDir\", \"/projects/valley one\")\n"
            "set(\"Project/Simulations\", \"CreateSimulation\", \"Sim1\")\n"
            "set(\"Project/Simulations/Sim1\", \"DeactivateLoadingPsaResults\", \"\")\n"
            "set(\"Project/Simulations/Sim1\", \"LoadProject\", \"\")\n"
            "set(\"Project/Simulations/Sim1\", \"Run\", \"\")\n");
  std::rewind(batch);
  char line[4096] = "";
  ASSERT_TRUE(std::fgets(line, sizeof line, batch));
  EXPECT_EQ(std::string(line), std::string(SW_BackgroundStartLine(run)) + "\n");
  EXPECT_FALSE(std::fgets(line, sizeof line, batch));  // one line per simulation
  std::fclose(batch);
  EXPECT_STREQ(SW_QueryAnswer(SW_ReadStatusFile(d), "unknown"), "finished");  // the batch form starts nothing

  // The shell gives every path back as one word, and the redirection reaches the log.
  for (bool continuing : {false, true}) {
    run.continuing = continuing;
    // The line without the program, which stands first, between quotes.
    const std::string line = SW_BackgroundStartLine(run).c_str();
    const AK_String arguments = line.substr(line.find("' ") + 2).c_str();
    ASSERT_EQ(AK_RunCommand("printf '%s\\n'", arguments, 0, 0), 0);
  }
  std::string log = ReadFile(runDir + "/start.log");
  std::string macroLine = "-offscreen\n" + runDir + "/start.macro\n";
  ASSERT_NE(log.find(macroLine), std::string::npos) << log;
  EXPECT_NE(log.find(macroLine, log.find(macroLine) + 1), std::string::npos) << "appended";

  // Texts that the macro reader would otherwise rewrite come back unchanged in the second
  // process: escapes, a quote, line ends, a "$" name; a path that cannot travel between
  // quotes names its character and writes no macro.
  AK_Container reader("reader", nullptr);
  for (const char* dirText : {"/p/%%q", "/p/%%n%%t", "$name", "$name  ", "/a\"b", "/a\nb\tc", "C:\\x\\%%q"}) {
    run.projectDir = dirText;
    run.parentPath = "Project/Simulations";
    ASSERT_EQ(SW_WriteStartMacro(run), 0) << dirText;
    std::string macro = ReadFile(runDir + "/start.macro");
    std::string first = macro.substr(0, macro.find('\n'));
    AK_String kind, path, attribute, value;
    ASSERT_EQ(reader.ParseCommand(first.c_str(), kind, path, attribute, value), 0) << first;
    EXPECT_STREQ(attribute, "ProjectDir");
    EXPECT_STREQ(value, dirText) << first;
  }
  (void)AK_DeleteFile((runDir + "/start.macro").c_str());  // it may not stand
  run.projectDir = "/p";
  run.parentPath = "Project/Simu\"lations";
  AK_ErrorText = "";
  EXPECT_EQ(SW_WriteStartMacro(run), 1);
  EXPECT_NE(std::string(AK_ErrorText).find("the character '\"'"), std::string::npos) << AK_ErrorText;
  EXPECT_FALSE(AK_FileExists((runDir + "/start.macro").c_str()));
}


// A start marks the run's values "-" only where they would vouch for the values it runs under
// (none yet, or those), and a start that starts nothing puts every file back as it stood.
TEST(BackgroundStart, MarksOnlyValuesThatWouldVouchForItAndPutsThemBack)
{
  const std::string runsUnder = "0123456789abcdef-12";
  struct Case {
    const char* before;  // nullptr: no values file
    bool marked;
  };
  for (const Case& c : {Case{nullptr, true}, Case{"0123456789abcdef-12", true}, Case{"fedcba9876543210-12", false},
                        Case{"-", false}}) {
    SCOPED_TRACE(c.before ? c.before : "no values file");
    ScratchDir dir;
    const std::string values = dir.Path() + "/.simulation_values";
    if (c.before) {
      ASSERT_TRUE(SW_WriteRunValues(dir.Path().c_str(), c.before));
    }
    const auto now = [&]() -> std::string { return std::ifstream(values) ? ReadFile(values) : "<none>"; };
    const std::string before = now();
    SW_StartedMarks marks;
    AK_String reason;
    ASSERT_TRUE(marks.Begin(dir.Path().c_str(), reason)) << reason;
    ASSERT_TRUE(marks.Mark(dir.Path().c_str(), reason, runsUnder.c_str())) << reason;
    EXPECT_EQ(now(), c.marked ? "-\n" : before);
    EXPECT_STREQ(SW_QueryAnswer(SW_ReadStatusFile(dir.Path().c_str()), "unknown"), "started");
    ASSERT_TRUE(marks.Undo(reason)) << reason;
    EXPECT_EQ(now(), before);
    EXPECT_FALSE(std::ifstream(SW_StatusFilePath(dir.Path().c_str()).c_str()));
  }
}
