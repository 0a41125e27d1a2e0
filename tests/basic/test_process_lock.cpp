// The lock file of one process at a time: taken, held, handed to a started process, taken over
// from a process that is gone; and a detached start that names its process before it runs.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

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

// The names in a directory, sorted.
std::vector<std::string> Names(const std::string& directory)
{
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(directory)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

// What AK_LiveLockHolder answers: the holder's id, 0 for none or no lock, -2 for a lock that
// cannot be read.
int LiveHolder(const std::string& path)
{
  const AK_Read<int> holder = AK_LiveLockHolder(path.c_str());
  return holder.Value() ? *holder.Value() : holder.IsMissing() ? 0 : -2;
}

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
    EXPECT_EQ(LiveHolder(path), c.liveBefore < 0 ? self : c.liveBefore);
    EXPECT_EQ(ReadFile(path), c.before == "-" ? "" : c.before);  // looking wrote nothing
    int holder = -5;
    EXPECT_EQ(AK_TakeProcessLock(path.c_str(), holder), c.result);
    EXPECT_EQ(holder, c.holder < 0 ? self : c.holder);
    EXPECT_EQ(ReadFile(path), c.oursAfter ? LockLine(self) : c.before);
    if (!c.oursAfter) continue;
    // Held now, by this process: a second take is refused, a release frees it.
    EXPECT_EQ(LiveHolder(path), self);
    EXPECT_EQ(AK_TakeProcessLock(path.c_str(), holder), AK_LockResult::Held);
    EXPECT_EQ(holder, self);
    EXPECT_TRUE(AK_ReleaseProcessLock(path.c_str()));
    EXPECT_FALSE(AK_FileExists(path.c_str()));
    EXPECT_EQ(LiveHolder(path), 0);
    EXPECT_EQ(AK_TakeProcessLock(path.c_str(), holder), AK_LockResult::Taken);
    // Handed to another process, it is that one's: this process neither holds nor removes it.
    EXPECT_TRUE(AK_HandOverProcessLock(path.c_str(), 1));
    (void)AK_ReleaseProcessLock(path.c_str());  // another's: the file below tells what it did
    EXPECT_EQ(ReadFile(path), LockLine(1));
    EXPECT_EQ(AK_TakeProcessLock(path.c_str(), holder), AK_LockResult::Held);
    EXPECT_TRUE(AK_ReleaseProcessLock(path.c_str(), 1));  // the start failed: the lock goes
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
    return AK_HandOverProcessLock(lock.c_str(), pid);
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
  EXPECT_EQ(LiveHolder(lock), seen);
  EXPECT_EQ(AK_TakeProcessLock(lock.c_str(), holder), AK_LockResult::Held);
  EXPECT_EQ(holder, seen);
  if (seen > 1) kill(seen, SIGKILL);
  EXPECT_TRUE(AK_ReleaseProcessLock(lock.c_str(), seen));
}

// A process that has exited is gone, whether or not its parent has reaped it: a lock it holds
// is left behind.
TEST(ProcessLock, AnExitedProcessIsGoneBeforeItIsReaped)
{
  ScratchDir dir;
  const std::string lock = dir / ".lock";
  const pid_t child = fork();
  if (child == 0) _exit(0);
  ASSERT_GT(child, 0);
  // Exited, not reaped: the id still answers a signal.
  std::string state;
  for (int i = 0; i < 2000 && state != "Z"; ++i) {
    AK_SleepMilliseconds(1);
    std::ifstream in("/proc/" + std::to_string(child) + "/stat");
    std::string line;
    std::getline(in, line);
    state = line.substr(line.rfind(')') + 2, 1);
  }
  ASSERT_EQ(state, "Z");
  ASSERT_EQ(kill(child, 0), 0);
  EXPECT_FALSE(AK_ProcessAlive(int(child)));
  WriteFile(lock, LockLine(int(child)));
  EXPECT_EQ(LiveHolder(lock), 0);
  int holder = 0;
  EXPECT_EQ(AK_TakeProcessLock(lock.c_str(), holder), AK_LockResult::TakenOver);
  EXPECT_EQ(holder, int(child));
  EXPECT_TRUE(AK_ReleaseProcessLock(lock.c_str()));
  EXPECT_TRUE(AK_ProcessAlive(AK_ProcessId()));
  waitpid(child, nullptr, 0);
}

// A lock that stands but cannot be read is nobody's to take, nor to pass by: its holder is
// unknown, it is not taken over, and no release answers it given up.
TEST(ProcessLock, ALockThatCannotBeReadIsNoLockOfNobody)
{
  struct Case {
    const char* name;
    std::function<void(const std::string&)> make;
  } cases[] = {
      {"a directory in its place", [](const std::string& path) { std::filesystem::create_directory(path); }},
      {"too long to be read", [](const std::string& path) { WriteFile(path, std::string(2 << 20, '1')); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    const std::string lock = dir / ".lock";
    c.make(lock);
    EXPECT_EQ(LiveHolder(lock), -2);
    int holder = -5;
    EXPECT_EQ(AK_TakeProcessLock(lock.c_str(), holder), AK_LockResult::Failed);
    EXPECT_EQ(holder, 0);
    EXPECT_NE(std::string(AK_LockError().c_str()).find("cannot read " + lock), std::string::npos) << AK_LockError();
    EXPECT_FALSE(AK_ReleaseProcessLock(lock.c_str()));
    EXPECT_TRUE(std::filesystem::exists(lock));
  }
}

// A lock whose holder is gone, in a directory this process may not write: the take-over fails
// and says why, at once.
TEST(ProcessLock, ATakeOverThatCannotRemoveTheLockNamesTheCause)
{
  ScratchDir dir;
  const std::string lock = dir / "ro/.lock";
  ASSERT_EQ(AK_MakeDirectory((dir / "ro").c_str()), 0);
  WriteFile(lock, LockLine(kGone, 1));
  ASSERT_EQ(chmod((dir / "ro").c_str(), 0555), 0);
  // Root may write anywhere: the take-over runs in a child without its rights.
  const pid_t child = fork();
  if (child == 0) {
    if (getuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
    int holder = 0;
    const AK_LockResult result = AK_TakeProcessLock(lock.c_str(), holder);
    const std::string error = AK_LockError().c_str();
    const bool named = error.find("cannot take over " + lock + " from process " + std::to_string(kGone) +
                                  ", which is gone: Permission denied") != std::string::npos;
    _exit(result == AK_LockResult::Failed && holder == 0 && named ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  chmod((dir / "ro").c_str(), 0755);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(ReadFile(lock), LockLine(kGone, 1));
}

// Processes that read a file, change it and write it back under the directory lock lose no
// change of each other's; a holder that is killed gives the lock up; locks of one directory
// under two spellings of its path nest in one process.
TEST(ProcessLock, ADirectoryLockKeepsReadChangeWriteWhole)
{
  ScratchDir dir;
  const std::string counter = dir / "counter";
  WriteFile(counter, "0");
  constexpr int kWriters = 3, kIncrements = 150;
  std::vector<pid_t> writers;
  for (int w = 0; w < kWriters; ++w) {
    const pid_t child = fork();
    if (child == 0) {
      for (int i = 0; i < kIncrements; ++i) {
        AK_DirectoryLock lock(dir.Path().c_str());
        if (!lock.Held()) _exit(2);
        const std::string value = std::to_string(std::stoi(ReadFile(counter)) + 1);
        if (!AK_WriteWholeFile(counter.c_str(), value)) _exit(3);
      }
      _exit(0);
    }
    writers.push_back(child);
  }
  for (const pid_t child : writers) {
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  EXPECT_EQ(ReadFile(counter), std::to_string(kWriters * kIncrements));

  // Killed while it holds the lock: the next one takes it at once.
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t holder = fork();
  if (holder == 0) {
    AK_DirectoryLock lock(dir.Path().c_str());
    if (write(ready[1], "x", 1) != 1) _exit(1);
    pause();
    _exit(0);
  }
  char byte;
  ASSERT_EQ(read(ready[0], &byte, 1), 1);
  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);
  close(ready[0]);
  close(ready[1]);
  {
    AK_DirectoryLock outer(dir.Path().c_str());
    AK_DirectoryLock inner((dir.Path() + "/./").c_str());
    EXPECT_TRUE(outer.Held() && inner.Held());
  }
  AK_DirectoryLock missing((dir / "missing").c_str());
  EXPECT_FALSE(missing.Held());
}

// A lock is put in place whole, with its purpose on a line of its own, and nothing stays beside
// it: not the temporary it was written under (also one an earlier process of this id left), nor
// after a rewrite or a release. The entry of the holder before is read from every form; one that
// cannot be read (damaged, empty, with a zero byte) names no holder and no purpose.
TEST(ProcessLock, ALockIsPutInPlaceWholeWithItsPurpose)
{
  const int self = AK_ProcessId();
  const long long start1 = StartTimeOf(1);
  const std::string gone = std::to_string(kGone);
  struct Case {
    const char* name;
    std::string before;  // the lock file's content, "-" for none
    const char* purpose;
    AK_LockResult result;
    AK_LockEntry holder;  // the entry of the holder before
  } cases[] = {
      {"free", "-", "write", AK_LockResult::Taken, {}},
      {"free, no purpose", "-", "", AK_LockResult::Taken, {}},
      {"gone, one line", gone + " 12345 copy\n", "write", AK_LockResult::TakenOver, {kGone, 12345, "copy"}},
      {"gone, two lines", gone + " 12345\nwrite\n", "copy", AK_LockResult::TakenOver, {kGone, 12345, "write"}},
      {"gone, no start time", gone + "\ndelete\n", "write", AK_LockResult::TakenOver, {kGone, -1, "delete"}},
      {"gone, longest entry", gone + " 9223372036854775807\nabcdefghijklmno\n", "", AK_LockResult::TakenOver,
       {kGone, INT64_MAX, "abcdefghijklmno"}},
      {"damaged", "x\n", "write", AK_LockResult::TakenOver, {}},
      {"empty", "", "write", AK_LockResult::TakenOver, {}},
      {"zero byte after an entry", gone + " 1\n" + std::string(1, '\0') + "write\n", "write",
       AK_LockResult::TakenOver, {}},
      {"longer than any entry", gone + " 1\n" + std::string(80, 'a') + "\n", "write", AK_LockResult::TakenOver, {}},
      {"live, two lines", LockLine(1) + "write\n", "copy", AK_LockResult::Held, {1, start1, "write"}},
      {"live, one line", "1 " + std::to_string(start1) + " copy\n", "write", AK_LockResult::Held, {1, start1, "copy"}},
      {"live, no start time", "1\ncopy\n", "write", AK_LockResult::Held, {1, -1, "copy"}},
  };
  for (const Case& c : cases)
    for (const bool leftover : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (leftover ? ", temporary left by this id" : ""));
      ScratchDir dir;
      const std::string path = dir / ".lock";
      if (c.before != "-") WriteFile(path, c.before);
      const std::string temporary = path + ".new." + std::to_string(self);
      if (leftover) WriteFile(temporary, "an earlier process of this id was killed here");
      AK_LockEntry before{-5, -5, "x"};
      EXPECT_EQ(AK_TakeProcessLock(path.c_str(), c.purpose, before), c.result);
      EXPECT_TRUE(before == c.holder) << before.pid << " " << before.start << " " << before.purpose.c_str();
      if (c.result == AK_LockResult::Held) {
        EXPECT_EQ(ReadFile(path), c.before);
        continue;
      }
      EXPECT_EQ(ReadFile(path), LockLine(self) + (*c.purpose ? c.purpose + std::string("\n") : ""));
      EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{".lock"});
      // Rewritten in place: the purpose keeps its line, also when handed to another process.
      EXPECT_TRUE(AK_SetLockPurpose(path.c_str(), "copy"));
      EXPECT_EQ(ReadFile(path), LockLine(self) + "copy\n");
      EXPECT_TRUE(AK_HandOverProcessLock(path.c_str(), 1));
      EXPECT_EQ(ReadFile(path), LockLine(1) + "copy\n");
      EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{".lock"});
      EXPECT_TRUE(AK_ReleaseProcessLock(path.c_str(), 1));
      EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{});
    }
}

namespace {

// What a load removes beside a lock of the name ".lock".
void RemoveLockLeftovers(const std::string& directory)
{
  AK_Leftovers leftovers;
  leftovers.lockFile = ".lock";
  AK_RemoveLeftovers(directory.c_str(), leftovers);
}

}  // namespace

// What processes killed half-way left beside a lock, a lock moved aside and one being written,
// goes once they are gone; a live process's stays, and so does every other name.
TEST(ProcessLock, WhatKilledProcessesLeftBesideALockIsRemoved)
{
  ScratchDir dir;
  const std::string self = std::to_string(AK_ProcessId()), gone = std::to_string(kGone);
  const std::vector<std::string> removed = {".lock.new." + gone, ".lock.stale." + gone, ".lock.new.1073741823"};
  const std::vector<std::string> kept = {
      ".lock", ".lock.new.1", ".lock.stale.1", ".lock.new." + self, ".lock.stale." + self,
      ".lock.new.", ".lock.new.x", ".lock.new." + gone + "x", ".lock.new.-" + gone, ".lock.new.+" + gone,
      ".lock.new.1073741824", ".lock.old." + gone, ".lock.new" + gone, "other.new." + gone, ".lock.stale.new." + gone,
  };
  for (const auto* names : {&removed, &kept})
    for (const std::string& name : *names) WriteFile(dir / name, "x");
  RemoveLockLeftovers(dir.Path());
  std::vector<std::string> expected = kept;
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Names(dir.Path()), expected);
}

// A process killed at any moment while it takes and releases a lock leaves either no lock or a
// whole one that names it, never an empty one; what it left beside the lock goes once it is gone.
TEST(ProcessLock, AKilledTakerLeavesNoLockOrAWholeOne)
{
  ScratchDir dir;
  const std::string lock = dir / ".lock";
  std::mt19937 random(7);
  for (int trial = 0; trial < 40; ++trial) {
    const pid_t child = fork();
    if (child == 0) {
      for (AK_LockEntry before;;) {
        if (AK_TakeProcessLock(lock.c_str(), "write", before) == AK_LockResult::Failed) _exit(1);
        (void)AK_ReleaseProcessLock(lock.c_str());  // a racing child: the parent checks the lock
      }
    }
    ASSERT_GT(child, 0);
    const std::string whole = LockLine(int(child)) + "write\n";
    usleep(useconds_t(200 + random() % 3000));
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    SCOPED_TRACE(trial);
    if (AK_FileExists(lock.c_str())) {
      EXPECT_EQ(ReadFile(lock), whole);
      std::remove(lock.c_str());
    }
    RemoveLockLeftovers(dir.Path());
    EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{});
  }
}
