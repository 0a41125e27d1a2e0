// The lock file of one process at a time: taken, held, handed to a started process, taken over
// from a process that is gone; and a detached start that names its process before it runs.
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>

#include "AK_Files.h"
#include "AK_Process.h"
#include "AK_ProcessLock.h"
#include "TestSupport.h"

namespace {

// A process id above any the kernel hands out (its limit is 2^22).
constexpr int kGone = 1073741000;

}  // namespace

TEST(ProcessLock, TakenHeldHandedAndTakenOver)
{
  const int self = AK_ProcessId();
  struct Case {
    const char* name;
    std::string before;  // the lock file's content, "-" for none
    AK_LockResult result;
    int holder;          // -1: this process
    bool oursAfter;      // the file names this process afterwards
  } cases[] = {
      {"free", "-", AK_LockResult::Taken, 0, true},
      {"live other process", "1\n", AK_LockResult::Held, 1, false},
      {"process gone", std::to_string(kGone) + "\n", AK_LockResult::TakenOver, kGone, true},
      {"damaged", "x\n", AK_LockResult::TakenOver, 0, true},
      {"empty", "", AK_LockResult::TakenOver, 0, true},
      // Handed over by a start: to the process that started this one, or to this one itself
      // when it runs in place of its shell.
      {"handed to the parent", std::to_string(getppid()) + "\n", AK_LockResult::Taken, 0, true},
      {"handed to this process", std::to_string(self) + "\n", AK_LockResult::Taken, -1, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    const std::string path = dir / ".lock";
    if (c.before != "-") WriteFile(path, c.before);
    int holder = -5;
    EXPECT_EQ(AK_TakeProcessLock(path.c_str(), holder), c.result);
    EXPECT_EQ(holder, c.holder < 0 ? self : c.holder);
    EXPECT_EQ(ReadFile(path), c.oursAfter ? std::to_string(self) + "\n" : c.before);
    if (!c.oursAfter) continue;
    // Held now, by this process: a second take is refused, a release frees it.
    EXPECT_EQ(AK_TakeProcessLock(path.c_str(), holder), AK_LockResult::Held);
    EXPECT_EQ(holder, self);
    AK_ReleaseProcessLock(path.c_str());
    EXPECT_FALSE(AK_FileExists(path.c_str()));
    EXPECT_EQ(AK_TakeProcessLock(path.c_str(), holder), AK_LockResult::Taken);
    // Handed to another process, it is that one's: this process neither holds nor removes it.
    EXPECT_TRUE(AK_HandOverProcessLock(path.c_str(), 1));
    AK_ReleaseProcessLock(path.c_str());
    EXPECT_EQ(ReadFile(path), "1\n");
    EXPECT_EQ(AK_TakeProcessLock(path.c_str(), holder), AK_LockResult::Held);
    AK_ReleaseProcessLock(path.c_str(), 1);  // the start failed: the lock goes
    EXPECT_FALSE(AK_FileExists(path.c_str()));
  }
  ScratchDir dir;
  int holder = 0;
  EXPECT_EQ(AK_TakeProcessLock((dir / "missing/.lock").c_str(), holder), AK_LockResult::Failed);
  EXPECT_NE(std::string(AK_LockError().c_str()).find("missing/.lock"), std::string::npos);
}

// The hook of a detached start sees the shell's process id before the shell runs a line.
TEST(ProcessLock, DetachedStartNamesItsProcessFirst)
{
  ScratchDir dir;
  const std::string out = dir / "pid";
  AK_BatchFileName = (dir / "start.bat").c_str();
  int seen = 0;
  bool ranBefore = true;
  const int started = AK_RunCommand("echo", ("$$ > " + out).c_str(), 1, 0, [&](int pid) {
    seen = pid;
    ranBefore = AK_FileExists(out.c_str()) != 0;
  });
  AK_BatchFileName = "";
  ASSERT_EQ(started, 0);
  EXPECT_FALSE(ranBefore);
  std::string text;
  for (int i = 0; i < 2000 && text.find('\n') == std::string::npos; ++i) {
    AK_SleepMilliseconds(5);
    text = ReadFile(out);
  }
  EXPECT_EQ(text, std::to_string(seen) + "\n");
  EXPECT_GT(seen, 1);
}
