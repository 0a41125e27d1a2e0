// Status and info files, and the start macro and start line of a background run, on paths
// that hold blanks, quotes and "$".
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "AK_Framework.h"
#include "AK_FrameworkState.h"
#include "SW_SimulationStatus.h"
#include "TestSupport.h"

TEST(SimulationStatus, StatusFilesStartMacroAndStartLineCarryAnyPath)
{
  ScratchDir dir;
  std::string runDir = dir.Path() + "/it's a $HOME `run`";
  ASSERT_EQ(AK_MakeDirectory(runDir.c_str()), 0);
  SW_BackgroundRun run{runDir.c_str(), "/projects/valley one", "Project/Simulations", "Sim1", false};
  const char* d = runDir.c_str();
  EXPECT_STREQ(SW_ReadStatusFile(d), "unknown");
  EXPECT_STREQ(SW_ReadInfoFile(d), "");
  WriteFile(runDir + "/.simulation_status", std::string(80, 'w') + "\n");
  EXPECT_STREQ(SW_ReadStatusFile(d), std::string(63, 'w').c_str());
  SW_WriteInfoFile(d, "t = 5 s");
  EXPECT_STREQ(SW_ReadInfoFile(d), "t = 5 s\n");
  SW_WriteStatusFile(d, "finished");

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
  EXPECT_STREQ(SW_ReadStatusFile(d), "finished");  // the batch form starts nothing

  // The shell gives every path back as one word, and the redirection reaches the log.
  for (bool continuing : {false, true}) {
    run.continuing = continuing;
    AK_String arguments = SW_BackgroundStartArguments(run);
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
  AK_DeleteFile((runDir + "/start.macro").c_str());
  run.projectDir = "/p";
  run.parentPath = "Project/Simu\"lations";
  AK_ErrorText = "";
  EXPECT_EQ(SW_WriteStartMacro(run), 1);
  EXPECT_NE(std::string(AK_ErrorText).find("the character '\"'"), std::string::npos) << AK_ErrorText;
  EXPECT_FALSE(AK_FileExists((runDir + "/start.macro").c_str()));
}

// The status file is rewritten only when its word changes: a run that keeps saying "running"
// makes no new file each time.
TEST(SimulationStatus, StatusFileIsWrittenOnlyWhenItChanges)
{
  ScratchDir dir;
  const char* d = dir.Path().c_str();
  const std::string status = dir / ".simulation_status", seen = dir / "seen";
  SW_WriteStatusFile(d, "running");
  // A second name for the file that stands now: a replacement gives the status a new file.
  std::filesystem::create_hard_link(status, seen);
  SW_WriteStatusFile(d, "running");
  EXPECT_TRUE(std::filesystem::equivalent(status, seen));
  SW_WriteStatusFile(d, "finished");
  EXPECT_FALSE(std::filesystem::equivalent(status, seen));
  EXPECT_STREQ(SW_ReadStatusFile(d), "finished");
  EXPECT_EQ(ReadFile(seen), "running\n");
}

// A simulation that has no project directory yet keeps its files in the current directory,
// the same files as a run directory of "." names.
TEST(SimulationStatus, WithoutProjectDirectoryTheFilesAreInTheCurrentDirectory)
{
  ScratchCurrentDir here;
  for (const char* none : {"", static_cast<const char*>(nullptr)}) {
    SCOPED_TRACE(none ? "empty" : "null");
    EXPECT_STREQ(SW_RunDirectory(none), ".");
    EXPECT_STREQ(SW_ReadStatusFile(none), "unknown");
    EXPECT_STREQ(SW_ReadInfoFile(none), "");
    SW_WriteStatusFile(none, "running");
    SW_WriteInfoFile(none, "at time 1 s");
    EXPECT_EQ(ReadFile(here / ".simulation_status"), "running\n");
    EXPECT_EQ(ReadFile(here / ".simulation_info"), "at time 1 s\n");
    SW_WriteStatusFile(".", "interrupted");
    EXPECT_STREQ(SW_ReadStatusFile(none), "interrupted");
    EXPECT_STREQ(SW_ReadInfoFile(none), "at time 1 s\n");
    std::filesystem::remove(here / ".simulation_status");
    std::filesystem::remove(here / ".simulation_info");
  }
}
