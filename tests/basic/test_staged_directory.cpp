// A directory built under another name: while it is, the file functions find the target and
// everything below it under the staging name, and nothing else; afterwards every path is its own.
#include <gtest/gtest.h>

#include <string>

#include "AK_Files.h"
#include "AK_StagedDirectory.h"
#include "TestSupport.h"

TEST(StagedDirectory, OnlyTheTargetAndWhatIsBelowItAreFoundUnderTheStagingName)
{
  struct Case {
    const char* path;
    const char* staged;  // what the file functions open while the target is staged
  };
  const Case cases[] = {
      {"../new", "../new.~saving"},
      {"../new/Project/A.atr", "../new.~saving/Project/A.atr"},
      {"..\\new\\Project", "../new.~saving/Project"},
      {"./../new/x", "../new.~saving/x"},
      {"../new/", "../new.~saving/"},
      {"../newer/x", "../newer/x"},
      {"../ne", "../ne"},
      {"../new.~saving/x", "../new.~saving/x"},
      {"new/x", "new/x"},
      {"/abs/../new/x", "/abs/../new/x"},
      {"", ""},
  };
  {
    AK_StagedDirectory staged("./../new/", "../new.~saving");
    // A second one while the first lives changes nothing.
    AK_StagedDirectory second("other", "other.~saving");
    for (const Case& c : cases) EXPECT_EQ(std::string(AK_NormalizePath(c.path)), c.staged) << c.path;
    EXPECT_EQ(std::string(AK_NormalizePath("other/x")), "other/x");
  }
  for (const Case& c : cases) {
    std::string own = c.path;
    for (char& ch : own)
      if (ch == '\\') ch = '/';
    EXPECT_EQ(std::string(AK_NormalizePath(c.path)), own) << c.path;
  }
}

// What is written under the target's name stands under the staging name, and once the staged
// directory ends, the target's name finds only what stands under it.
TEST(StagedDirectory, FilesWrittenUnderTheTargetStandUnderTheStagingName)
{
  ScratchDir dir;
  const std::string target = dir / "new", staging = dir / "new.~saving";
  ASSERT_EQ(AK_MakeDirectory(staging.c_str()), 0);
  {
    AK_StagedDirectory staged(target.c_str(), staging.c_str());
    ASSERT_EQ(AK_MakeDirectory((target + "/Project").c_str()), 0);
    ASSERT_TRUE(AK_WriteWholeFile((target + "/Project/A.atr").c_str(), std::string("x\n")));
    EXPECT_EQ(AK_IsDirectory(target.c_str()), 1);
  }
  EXPECT_EQ(AK_FileExists(target.c_str()), 0);
  EXPECT_EQ(ReadFile(staging + "/Project/A.atr"), "x\n");
  ASSERT_EQ(AK_RenameFile(staging.c_str(), target.c_str()), 0);
  EXPECT_EQ(ReadFile(target + "/Project/A.atr"), "x\n");
}
