// The failure hook of the tests: every call that changes the disk is counted once, of every kind;
// the Nth fails alone, with EIO and a line that names it; nothing fails unless asked; a process
// started in the background gets only what a test hands it.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "AK_Files.h"
#include "AK_ProcessLock.h"
#include "TestSupport.h"

namespace {

namespace fs = std::filesystem;

// One step of a writer: what it does, and the kinds of the calls it makes, in order.
struct Step {
  const char* what;
  std::vector<std::string> kinds;
  std::function<bool(const std::string& dir)> run;
};

// Every kind of call, each through the functions that make it.
std::vector<Step> Steps()
{
  return {
      {"make a directory", {"mkdir"}, [](const std::string& d) { return AK_MakeDirectory((d + "/sub").c_str()) == 0; }},
      {"make a directory that stands", {}, [](const std::string& d) { return AK_MakeDirectory((d + "/sub").c_str()) == 0; }},
      {"make two levels", {"mkdir", "mkdir"},
       [](const std::string& d) { return AK_MakeDirectories((d + "/x/y").c_str()) == 0; }},
      {"write a file whole", {"write"},
       [](const std::string& d) { return AK_WriteWholeFile((d + "/sub/a").c_str(), std::string("one")); }},
      {"close a replacing file", {"write"},
       [](const std::string& d) {
         AK_File file = AK_File::Replacing((d + "/sub/b").c_str());
         return file && std::fputs("two", file) >= 0 && file.Close();
       }},
      {"copy a file", {"write"},
       [](const std::string& d) { return AK_CopyFile((d + "/sub/a").c_str(), (d + "/sub/c").c_str()) == 0; }},
      {"rename a file", {"rename"},
       [](const std::string& d) { return AK_RenameFile((d + "/sub/c").c_str(), (d + "/sub/d").c_str()) == 0; }},
      {"replace a file", {"rename"},
       [](const std::string& d) { return AK_ReplaceFile((d + "/sub/d").c_str(), (d + "/sub/b").c_str()) == 0; }},
      {"take a lock", {"link", "unlink"},
       [](const std::string& d) {
         int holder = 0;
         return AK_TakeProcessLock((d + "/.lock").c_str(), holder) == AK_LockResult::Taken;
       }},
      {"release a lock", {"unlink"}, [](const std::string& d) { return AK_ReleaseProcessLock((d + "/.lock").c_str()); }},
      {"delete a file", {"unlink"}, [](const std::string& d) { return AK_DeleteFile((d + "/sub/a").c_str()) == 0; }},
      {"delete a directory", {"rmdir"}, [](const std::string& d) { return AK_DeleteFile((d + "/x/y").c_str()) == 0; }},
      {"delete a tree", {"unlink", "rmdir"}, [](const std::string& d) { return AK_DeleteDirectoryTree((d + "/sub").c_str()) == 0; }},
  };
}

// The kinds of every call of the steps, in order.
std::vector<std::string> AllKinds()
{
  std::vector<std::string> kinds;
  for (const Step& step : Steps()) kinds.insert(kinds.end(), step.kinds.begin(), step.kinds.end());
  return kinds;
}

}  // namespace

// Without a failing call asked for, every step works and each of its calls counts once.
TEST(FailureHook, EveryCallThatChangesTheDiskCountsOnceAndNothingFailsUnasked)
{
  ASSERT_EQ(std::getenv(kFailOnceVariable), nullptr);
  ASSERT_EQ(std::getenv(kFailAtVariable), nullptr);
  ScratchDir dir;
  AK_RestartFailureCount(0);
  for (const Step& step : Steps()) {
    const long before = AK_FailureHookCalls();
    EXPECT_TRUE(step.run(dir.Path())) << step.what;
    EXPECT_EQ(AK_FailureHookCalls() - before, long(step.kinds.size())) << step.what;
  }
  EXPECT_FALSE(fs::exists(dir / "sub"));
  EXPECT_TRUE(fs::is_directory(dir / "x"));
}

// The Nth call, for every N: every step before it works, the step that makes it fails with EIO
// and names that call and its kind; a step whose calls all come later works again once the hook
// is past it. One past the last call fails nothing.
TEST(FailureHook, OnlyTheNthCallFails)
{
  const std::vector<std::string> kinds = AllKinds();
  for (long n = 1; n <= long(kinds.size()) + 1; ++n) {
    SCOPED_TRACE("call " + std::to_string(n));
    ScratchDir dir;
    AK_RestartFailureCount(n);
    long made = 0;
    for (const Step& step : Steps()) {
      const bool holdsN = made < n && n <= made + long(step.kinds.size());
      testing::internal::CaptureStderr();
      errno = 0;
      const bool worked = step.run(dir.Path());
      const int error = errno;
      const std::string said = testing::internal::GetCapturedStderr();
      made += long(step.kinds.size());
      if (!holdsN) {
        EXPECT_TRUE(said.empty()) << step.what << ": " << said;
        if (made < n) {
          EXPECT_TRUE(worked) << step.what;
        }
        continue;
      }
      // The lock's temporary that cannot be removed leaves the lock taken: a leftover, no failure.
      const bool leftoverOnly = std::string(step.what) == "take a lock" && kinds[size_t(n - 1)] == "unlink";
      EXPECT_EQ(worked, leftoverOnly) << step.what;
      if (!leftoverOnly) {
        EXPECT_EQ(error, EIO) << step.what;
      }
      EXPECT_NE(said.find("torvu: failing call " + std::to_string(n) + ": " + kinds[size_t(n - 1)] + " "),
                std::string::npos)
          << step.what << ": " << said;
      break;
    }
    if (n > long(kinds.size())) {
      EXPECT_EQ(made, long(kinds.size()));
    }
  }
  AK_RestartFailureCount(0);
}

// A process started in the background gets no failure of its starter, unless handed one.
TEST(FailureHook, AStartedProcessGetsOnlyWhatIsHandedToIt)
{
  std::vector<std::string> entries = {"HOME=/h", "TORVU_FAIL=unlink:x", "TORVU_FAIL_AT=3",
                                      "TORVU_FAIL_COUNT=/tmp/c", "TORVU_FAILED=x", "TORVU_STOP_AT=w",
                                      "TORVU_FAIL_STARTED_AT=5", "TORVU_FAIL_STARTED=rename:y",
                                      "TORVU_FAIL_STARTEDX=1", "TORVU_KILL_AT=4", "TORVU_KILL_STARTED_AT=7"};
  std::vector<char*> environment;
  for (std::string& entry : entries) environment.push_back(entry.data());
  environment.push_back(nullptr);
  const std::vector<std::string> started = AK_StartedEnvironment(environment.data());
  EXPECT_EQ(started, (std::vector<std::string>{"HOME=/h", "TORVU_STOP_AT=w", "TORVU_FAIL_AT=5", "TORVU_FAIL=rename:y",
                                               "TORVU_KILL_AT=7"}));
}
