// Status and info files, on paths that hold blanks, quotes and "$", and without a run directory.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "AK_Framework.h"
#include "AK_FrameworkState.h"
#include "SW_SimulationStatus.h"
#include "TestSupport.h"

TEST(SimulationStatus, StatusAndInfoFilesCarryAnyPath)
{
  ScratchDir dir;
  std::string runDir = dir.Path() + "/it's a $HOME `run`";
  ASSERT_EQ(AK_MakeDirectory(runDir.c_str()), 0);
  const char* d = runDir.c_str();
  EXPECT_STREQ(SW_QueryAnswer(SW_ReadStatusFile(d), "unknown"), "unknown");
  EXPECT_STREQ(SW_QueryAnswer(SW_ReadInfoFile(d), ""), "");
  WriteFile(runDir + "/.simulation_status", std::string(80, 'w') + "\n");
  EXPECT_STREQ(SW_QueryAnswer(SW_ReadStatusFile(d), "unknown"), std::string(63, 'w').c_str());
  EXPECT_TRUE(SW_WriteInfoFile(d, "t = 5 s"));
  EXPECT_STREQ(SW_QueryAnswer(SW_ReadInfoFile(d), ""), "t = 5 s\n");
  EXPECT_TRUE(SW_WriteStatusFile(d, "finished"));
  EXPECT_STREQ(SW_QueryAnswer(SW_ReadStatusFile(d), "unknown"), "finished");
  // Files that stand but cannot be read are neither "unknown" nor empty, nor a run's word.
  std::filesystem::remove(runDir + "/.simulation_status");
  std::filesystem::remove(runDir + "/.simulation_info");
  std::filesystem::create_directory(runDir + "/.simulation_status");
  std::filesystem::create_directory(runDir + "/.simulation_info");
  EXPECT_STREQ(SW_QueryAnswer(SW_ReadStatusFile(d), "unknown"), ("unreadable: " + runDir + "/.simulation_status: Is a directory").c_str());
  EXPECT_STREQ(SW_QueryAnswer(SW_ReadInfoFile(d), ""), ("unreadable: " + runDir + "/.simulation_info: Is a directory").c_str());
  EXPECT_TRUE(SW_ReadRunValues(d).IsMissing());
  std::filesystem::create_directory(runDir + "/.simulation_values");
  EXPECT_TRUE(SW_ReadRunValues(d).IsUnreadable());
}

// The status file is rewritten only when its word changes: a run that keeps saying "running"
// makes no new file each time.
TEST(SimulationStatus, StatusFileIsWrittenOnlyWhenItChanges)
{
  ScratchDir dir;
  const char* d = dir.Path().c_str();
  const std::string status = dir / ".simulation_status", seen = dir / "seen";
  EXPECT_TRUE(SW_WriteStatusFile(d, "running"));
  // A second name for the file that stands now: a replacement gives the status a new file.
  std::filesystem::create_hard_link(status, seen);
  EXPECT_TRUE(SW_WriteStatusFile(d, "running"));
  EXPECT_TRUE(std::filesystem::equivalent(status, seen));
  EXPECT_TRUE(SW_WriteStatusFile(d, "finished"));
  EXPECT_FALSE(std::filesystem::equivalent(status, seen));
  EXPECT_STREQ(SW_QueryAnswer(SW_ReadStatusFile(d), "unknown"), "finished");
  EXPECT_EQ(ReadFile(seen), "running\n");
}

// A simulation that has no project directory yet keeps its files in the current directory,
// the same files as a run directory of "." names.
TEST(SimulationStatus, WithoutProjectDirectoryTheFilesAreInTheCurrentDirectory)
{
  ScratchCurrentDir here;
  for (const char* none : {"", static_cast<const char*>(nullptr)}) {
    SCOPED_TRACE(none ? "empty" : "null");
    EXPECT_STREQ(SW_RunDirectoryOrCurrent(none), ".");
    EXPECT_STREQ(SW_QueryAnswer(SW_ReadStatusFile(none), "unknown"), "unknown");
    EXPECT_STREQ(SW_QueryAnswer(SW_ReadInfoFile(none), ""), "");
    EXPECT_TRUE(SW_WriteStatusFile(none, "running"));
    EXPECT_TRUE(SW_WriteInfoFile(none, "at time 1 s"));
    EXPECT_EQ(ReadFile(here / ".simulation_status"), "running\n");
    EXPECT_EQ(ReadFile(here / ".simulation_info"), "at time 1 s\n");
    EXPECT_TRUE(SW_WriteStatusFile(".", "interrupted"));
    EXPECT_STREQ(SW_QueryAnswer(SW_ReadStatusFile(none), "unknown"), "interrupted");
    EXPECT_STREQ(SW_QueryAnswer(SW_ReadInfoFile(none), ""), "at time 1 s\n");
    std::filesystem::remove(here / ".simulation_status");
    std::filesystem::remove(here / ".simulation_info");
  }
}
