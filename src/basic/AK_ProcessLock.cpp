#include "AK_ProcessLock.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <string>

#include "AK_Files.h"
#include "AK_Process.h"

namespace {

std::mutex g_mutex;
std::set<std::string> g_held;  // lock files this process took and holds
AK_String g_error;

// The process id a lock file names; 0 when it names none (missing, empty or damaged). A lock
// is written in one short write right after its creation: an empty one is looked at again
// for a moment before it counts as damaged.
int ReadHolder(const char* path, bool& exists)
{
  for (int attempt = 0; attempt < 50; ++attempt) {
    int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    exists = fd >= 0;
    if (!exists) return 0;
    char text[32] = {0};
    ssize_t got = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (got > 0) {
      char* end = nullptr;
      long pid = std::strtol(text, &end, 10);
      return end != text && *end == '\n' && pid > 0 && pid < (1L << 30) ? int(pid) : 0;
    }
    AK_SleepMilliseconds(1);
  }
  return 0;
}

AK_String PidLine(int pid) { return AK_String::Format("%d\n", pid); }

bool Rewrite(const char* path, int pid)
{
  const AK_String line = PidLine(pid);
  return AK_WriteWholeFile(path, line.c_str(), std::strlen(line.c_str()));
}

// The parent of a process, from /proc; 0 when unknown.
int ParentOf(int pid)
{
  char name[64];
  std::snprintf(name, sizeof name, "/proc/%d/stat", pid);
  std::FILE* file = std::fopen(name, "r");
  if (!file) return 0;
  char text[1024];
  size_t got = std::fread(text, 1, sizeof text - 1, file);
  std::fclose(file);
  text[got] = '\0';
  // "pid (name) state ppid ...": the name may hold blanks and parentheses.
  const char* close = std::strrchr(text, ')');
  int parent = 0;
  char state;
  if (!close || std::sscanf(close + 1, " %c %d", &state, &parent) != 2) return 0;
  return parent;
}

bool IsAncestor(int pid)
{
  int p = int(::getppid());
  for (int depth = 0; depth < 32 && p > 1; ++depth, p = ParentOf(p))
    if (p == pid) return true;
  return false;
}

// Removes a lock whose holder is gone, unless another process replaced it in the meantime
// (then that one stays). The lock is first moved aside under a name of this process's own, so
// two processes that both found it stale cannot both remove it.
void RemoveStale(const char* path, int staleHolder)
{
  const AK_String aside = AK_String(path) + AK_String::Format(".stale.%d", AK_ProcessId());
  if (::rename(path, aside.c_str()) != 0) return;
  bool exists = false;
  if (ReadHolder(aside.c_str(), exists) != staleHolder) {
    // A fresh lock of another process was moved: put it back unless a third took its place.
    if (::link(aside.c_str(), path) != 0) {
      // Nothing to do: the lock that now stands is the one that counts.
    }
  }
  ::unlink(aside.c_str());
}

// Creates the lock exclusively with this process's id; false with errno when it exists or
// cannot be made.
bool Create(const char* path)
{
  int fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const AK_String line = PidLine(AK_ProcessId());
  const size_t size = std::strlen(line.c_str());
  const bool written = ::write(fd, line.c_str(), size) == ssize_t(size);
  const int error = errno;
  ::close(fd);
  if (written) return true;
  ::unlink(path);
  errno = error == EEXIST ? EIO : error;
  return false;
}

}  // namespace

int AK_ProcessId() { return int(::getpid()); }

bool AK_ProcessAlive(int pid)
{
  if (pid <= 0) return false;
  return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

AK_String AK_LockError()
{
  std::lock_guard<std::mutex> guard(g_mutex);
  return g_error;
}

AK_LockResult AK_TakeProcessLock(const char* rawPath, int& holder)
{
  const AK_String path = AK_NormalizePath(rawPath);
  std::lock_guard<std::mutex> guard(g_mutex);
  holder = 0;
  bool takenOver = false;
  const int self = AK_ProcessId();
  for (int attempt = 0; attempt < 16; ++attempt) {
    if (Create(path)) {
      g_held.insert(path.c_str());
      return takenOver ? AK_LockResult::TakenOver : AK_LockResult::Taken;
    }
    if (errno != EEXIST) {
      g_error = AK_String("cannot create ") + path + ": " + std::strerror(errno);
      return AK_LockResult::Failed;
    }
    bool exists = false;
    const int pid = ReadHolder(path, exists);
    if (!exists) continue;
    if (pid == self) {
      holder = self;
      if (g_held.count(path.c_str())) return AK_LockResult::Held;
      g_held.insert(path.c_str());
      return AK_LockResult::Taken;
    }
    if (pid != 0 && IsAncestor(pid)) {
      if (!Rewrite(path, self)) {
        g_error = AK_String("cannot take over ") + path;
        return AK_LockResult::Failed;
      }
      g_held.insert(path.c_str());
      return AK_LockResult::Taken;
    }
    if (AK_ProcessAlive(pid)) {
      holder = pid;
      return AK_LockResult::Held;
    }
    holder = pid;
    takenOver = true;
    RemoveStale(path, pid);
  }
  g_error = AK_String("cannot take ") + path + ": it keeps changing";
  return AK_LockResult::Failed;
}

bool AK_HandOverProcessLock(const char* rawPath, int pid)
{
  const AK_String path = AK_NormalizePath(rawPath);
  std::lock_guard<std::mutex> guard(g_mutex);
  if (!Rewrite(path, pid)) return false;
  g_held.erase(path.c_str());
  return true;
}

void AK_ReleaseProcessLock(const char* rawPath, int pid)
{
  const AK_String path = AK_NormalizePath(rawPath);
  std::lock_guard<std::mutex> guard(g_mutex);
  const int owner = pid > 0 ? pid : AK_ProcessId();
  bool exists = false;
  if (ReadHolder(path, exists) == owner) ::unlink(path.c_str());
  if (owner == AK_ProcessId()) g_held.erase(path.c_str());
}
