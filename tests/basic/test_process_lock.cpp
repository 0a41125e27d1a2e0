// The lock file of one process at a time: taken, held, handed to a started process, taken over
// from a process that is gone; and a detached start that names its process before it runs.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "AK_Files.h"
#include "AK_Process.h"
#include "AK_ProcessLock.h"
#include "TestSupport.h"

namespace {

// A process id above any the kernel hands out (its limit is 2^22).
constexpr int kGone = 1073741000;

// The start time of a process as the kernel gives it: the 22nd field of /proc/PID/stat,
// counted from the end of the name in parentheses (which may itself hold blanks).
long long StartTimeOf(int pid)
{
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(in, line);
  std::istringstream fields(line.substr(line.rfind(')') + 1));
  std::string field;
  for (int i = 3; i <= 22 && fields >> field; ++i) {
  }
  return std::stoll(field);
}

// The line a lock of the process holds: its id and start time.
std::string LockLine(int pid, long long start) { return std::to_string(pid) + " " + std::to_string(start) + "\n"; }
std::string LockLine(int pid) { return LockLine(pid, StartTimeOf(pid)); }

}  // namespace

// A lock is alive while its process is: the id exists and, when the lock keeps a start time,
// the process of that id started then (an id given to a new process makes the lock dead).
// Old locks of the id alone live while the id does.
TEST(ProcessLock, TakenHeldHandedAndTakenOver)
{
  const int self = AK_ProcessId();
  const int parent = int(getppid());
  ASSERT_EQ(AK_ProcessStartTime(self), StartTimeOf(self));
  ASSERT_EQ(AK_ProcessStartTime(1), StartTimeOf(1));
  EXPECT_EQ(AK_ProcessStartTime(kGone), -1);
  struct Case {
    const char* name;
    std::string before;  // the lock file's content, "-" for none
    AK_LockResult result;
    int holder;          // -1: this process
    bool oursAfter;      // the file names this process afterwards
    int liveBefore;      // what AK_LiveLockHolder answers before the take (-1: this process)
  } cases[] = {
      {"free", "-", AK_LockResult::Taken, 0, true, 0},
      {"live other process", LockLine(1), AK_LockResult::Held, 1, false, 1},
      {"live other process, old lock", "1\n", AK_LockResult::Held, 1, false, 1},
      {"id of a live process that started later", LockLine(1, StartTimeOf(1) + 7), AK_LockResult::TakenOver, 1, true, 0},
      {"process gone", std::to_string(kGone) + "\n", AK_LockResult::TakenOver, kGone, true, 0},
      {"process gone, with its start time", LockLine(kGone, 12345), AK_LockResult::TakenOver, kGone, true, 0},
      {"damaged", "x\n", AK_LockResult::TakenOver, 0, true, 0},
      {"damaged start time", std::to_string(self) + " 12x\n", AK_LockResult::TakenOver, 0, true, 0},
      {"empty", "", AK_LockResult::TakenOver, 0, true, 0},
      // Handed over by a start: to the process that started this one, or to this one itself
      // when it runs in place of its shell.
      {"handed to the parent", LockLine(parent), AK_LockResult::Taken, 0, true, parent},
      {"handed to the parent, old lock", std::to_string(parent) + "\n", AK_LockResult::Taken, 0, true, parent},
      {"handed to this process", LockLine(self), AK_LockResult::Taken, -1, true, -1},
      {"handed to this process, old lock", std::to_string(self) + "\n", AK_LockResult::Taken, -1, true, -1},
      // An earlier process of these ids wrote them.
      {"id of the parent, another start", LockLine(parent, StartTimeOf(parent) + 1), AK_LockResult::TakenOver, parent, true, 0},
      {"id of this process, another start", LockLine(self, StartTimeOf(self) + 1), AK_LockResult::TakenOver, self, true, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    const std::string path = dir / ".lock";
    if (c.before != "-") WriteFile(path, c.before);
    EXPECT_EQ(AK_LiveLockHolder(path.c_str()), c.liveBefore < 0 ? self : c.liveBefore);
    EXPECT_EQ(ReadFile(path), c.before == "-" ? "" : c.before);  // looking wrote nothing
    int holder = -5;
    EXPECT_EQ(AK_TakeProcessLock(path.c_str(), holder), c.result);
    EXPECT_EQ(holder, c.holder < 0 ? self : c.holder);
    EXPECT_EQ(ReadFile(path), c.oursAfter ? LockLine(self) : c.before);
    if (!c.oursAfter) continue;
    // Held now, by this process: a second take is refused, a release frees it.
    EXPECT_EQ(AK_LiveLockHolder(path.c_str()), self);
    EXPECT_EQ(AK_TakeProcessLock(path.c_str(), holder), AK_LockResult::Held);
    EXPECT_EQ(holder, self);
    AK_ReleaseProcessLock(path.c_str());
    EXPECT_FALSE(AK_FileExists(path.c_str()));
    EXPECT_EQ(AK_LiveLockHolder(path.c_str()), 0);
    EXPECT_EQ(AK_TakeProcessLock(path.c_str(), holder), AK_LockResult::Taken);
    // Handed to another process, it is that one's: this process neither holds nor removes it.
    EXPECT_TRUE(AK_HandOverProcessLock(path.c_str(), 1));
    AK_ReleaseProcessLock(path.c_str());
    EXPECT_EQ(ReadFile(path), LockLine(1));
    EXPECT_EQ(AK_TakeProcessLock(path.c_str(), holder), AK_LockResult::Held);
    AK_ReleaseProcessLock(path.c_str(), 1);  // the start failed: the lock goes
    EXPECT_FALSE(AK_FileExists(path.c_str()));
  }
  ScratchDir dir;
  int holder = 0;
  EXPECT_EQ(AK_TakeProcessLock((dir / "missing/.lock").c_str(), holder), AK_LockResult::Failed);
  EXPECT_NE(std::string(AK_LockError().c_str()).find("missing/.lock"), std::string::npos);
}

// The hook of a detached start sees the shell's process id before the shell runs a line; a
// lock handed to that process there stays alive when the shell replaces itself by another
// program (the start time belongs to the process, not to the program it runs).
TEST(ProcessLock, DetachedStartNamesItsProcessFirst)
{
  ScratchDir dir;
  const std::string out = dir / "pid";
  const std::string lock = dir / ".lock";
  int holder = 0;
  ASSERT_EQ(AK_TakeProcessLock(lock.c_str(), holder), AK_LockResult::Taken);
  AK_BatchFileName = (dir / "start.bat").c_str();
  int seen = 0;
  bool ranBefore = true;
  const std::string line = "sh -c " + ShellQuote("echo $$ > " + out + "; sleep 30");
  const int started = AK_RunCommand("exec", line.c_str(), 1, 0, [&](int pid) {
    seen = pid;
    ranBefore = AK_FileExists(out.c_str()) != 0;
    AK_HandOverProcessLock(lock.c_str(), pid);
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
  // The line has replaced the shell by "sh -c", which wrote the id: the same process.
  EXPECT_EQ(ReadFile(lock), LockLine(seen));
  EXPECT_EQ(AK_LiveLockHolder(lock.c_str()), seen);
  EXPECT_EQ(AK_TakeProcessLock(lock.c_str(), holder), AK_LockResult::Held);
  EXPECT_EQ(holder, seen);
  if (seen > 1) kill(seen, SIGKILL);
  AK_ReleaseProcessLock(lock.c_str(), seen);
}
