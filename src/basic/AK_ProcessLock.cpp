#include "AK_ProcessLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <signal.h>
#include <sys/types.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <string>

#include "AK_Files.h"
#include "AK_Process.h"
#include "AK_SmallFile.h"

namespace {

std::mutex g_mutex;
std::set<std::string> g_held;  // lock files this process took and holds
AK_String g_error;

using LockEntry = AK_LockEntry;

// The marks between a lock's name and the id of the process that keeps a file of its own beside
// it: a lock it moved aside while it takes it over, and a lock it writes before it puts it in place.
constexpr const char* kAsideMark = ".stale.";
constexpr const char* kTemporaryMark = ".new.";

// The longest entry: an id below 2^30, the largest start time and the longest purpose.
constexpr size_t kLongestEntry = 10 + 1 + 19 + 1 + 15 + 1;
// What a lock file is read up to: a file that fills it is longer than any entry.
constexpr size_t kEntryRoom = 64;
static_assert(kLongestEntry < kEntryRoom);

// A purpose is a short word of lower-case letters.
bool IsPurposeWord(const char* text, const char* end)
{
  if (end == text || end - text > 15) return false;
  for (const char* c = text; c != end; ++c)
    if (*c < 'a' || *c > 'z') return false;
  return true;
}

// The entry of a lock file. This build puts a lock in place whole, but builds before it created
// the file first and wrote it right after: an empty one is looked at again for a moment before
// it counts as damaged. A file longer than any entry, or one with a zero byte, is damage however
// it begins: an entry of no holder (pid 0). One that stands but cannot be read is neither.
AK_Read<LockEntry> ReadHolder(const char* path)
{
  for (int attempt = 0;; ++attempt) {
    const AK_Read<AK_FileText> file = AK_ReadSmallFileVersion(path);
    const AK_FileText* read = file.Value();
    if (!read) return file.Then([](const AK_FileText&) { return LockEntry(); });
    const size_t size = read->version.size;
    if (size == 0 && attempt < 50) {
      AK_SleepMilliseconds(1);
      continue;
    }
    if (size == 0 || size >= kEntryRoom || size_t(read->text.Length()) != size) return AK_Read<LockEntry>::Found({});
    return AK_Read<LockEntry>::Found(AK_LockEntry::Parse(read->text.c_str()));
  }
}

// The entry as it stands, or none when it cannot be read (or is not there): for a lock this
// process writes itself, whose entry it knows when it can read it at all.
LockEntry EntryOrNone(const char* path)
{
  const AK_Read<LockEntry> entry = ReadHolder(path);
  return entry.Value() ? *entry.Value() : LockEntry();
}

// The fields of /proc/PID/stat after the process name: "pid (name) state ppid ...", where the
// name may hold blanks and parentheses. False when the process cannot be asked.
bool StatFields(int pid, std::string& fields)
{
  char name[64];
  std::snprintf(name, sizeof name, "/proc/%d/stat", pid);
  std::FILE* file = std::fopen(name, "r");
  if (!file) return false;
  char text[1024];
  size_t got = std::fread(text, 1, sizeof text - 1, file);
  std::fclose(file);
  text[got] = '\0';
  const char* close = std::strrchr(text, ')');
  if (!close) return false;
  fields = close + 1;
  return true;
}

LockEntry EntryOf(int pid, const char* purpose) { return {pid, AK_ProcessStartTime(pid), purpose ? purpose : ""}; }

// True while the process that wrote the entry lives: a process of that id exists and, when
// the entry keeps a start time, started then (ids are given out again once a process is gone).
// A process that cannot be asked for its start time counts as the one.
bool Lives(const LockEntry& entry)
{
  if (!AK_ProcessAlive(entry.pid)) return false;
  if (entry.start < 0) return true;
  const int64_t start = AK_ProcessStartTime(entry.pid);
  return start < 0 || start == entry.start;
}

bool Rewrite(const char* path, int pid, const char* purpose)
{
  const AK_String line = EntryOf(pid, purpose).Line();
  return AK_WriteWholeFile(path, line.c_str(), std::strlen(line.c_str()));
}

// The parent of a process, from /proc; 0 when unknown.
int ParentOf(int pid)
{
  std::string fields;
  int parent = 0;
  char state;
  if (!StatFields(pid, fields) || std::sscanf(fields.c_str(), " %c %d", &state, &parent) != 2) return 0;
  return parent;
}

bool IsAncestor(int pid)
{
  int p = int(::getppid());
  for (int depth = 0; depth < 32 && p > 1; ++depth, p = ParentOf(p))
    if (p == pid) return true;
  return false;
}

// The name under which the process `pid` moves a lock aside while it takes it over.
AK_String AsideName(const char* path, int pid) { return AK_String(path) + AK_String::Format("%s%d", kAsideMark, pid); }
// The name under which the process `pid` writes a lock before it puts it in place.
AK_String TemporaryName(const char* path, int pid)
{
  return AK_String(path) + AK_String::Format("%s%d", kTemporaryMark, pid);
}

// The id of the process that left `name` beside the lock named `base` under `mark`; 0 when the
// name is not such a one.
int LeftBy(const char* name, const std::string& base, const char* mark)
{
  const std::string prefix = base + mark;
  if (std::strncmp(name, prefix.c_str(), prefix.size()) != 0) return 0;
  const char* digits = name + prefix.size();
  if (!std::isdigit(static_cast<unsigned char>(*digits))) return 0;
  char* end = nullptr;
  const long pid = std::strtol(digits, &end, 10);
  return *end == '\0' && pid > 0 && pid < (1L << 30) ? int(pid) : 0;
}

// Removes a lock whose holder is gone, unless another process replaced it in the meantime
// (then that one stays). The lock is first moved aside under a name of this process's own, so
// two processes that both found it stale cannot both remove it. False, with errno, when the
// lock cannot be moved for another reason than that another process moved it first (a
// directory this process may not write).
bool RemoveStale(const char* path, const LockEntry& stale)
{
  const AK_String aside = AsideName(path, AK_ProcessId());
  if (AK_FailsNow("rename", aside) || ::rename(path, aside.c_str()) != 0) return errno == ENOENT;
  if (EntryOrNone(aside.c_str()) != stale) {
    // A fresh lock of another process was moved: put it back unless a third took its place.
    if (AK_FailsNow("link", path) || ::link(aside.c_str(), path) != 0) {
      // Nothing to do: the lock that now stands is the one that counts.
    }
  }
  if (!AK_FailsNow("unlink", aside)) ::unlink(aside.c_str());
  return true;
}

// Writes `text` as the whole file `path` (opened with `flags` besides creation); false with
// errno, and the file removed, when it could not be written whole. EEXIST,
// which means "a lock stands" to the caller, only when an exclusive open finds a file there.
bool WriteNewFile(const char* path, int flags, const AK_String& text)
{
  if (AK_FailsNow("create", path)) return false;
  const int fd = ::open(path, O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | flags, 0644);
  if (fd < 0) return false;
  const size_t size = std::strlen(text.c_str());
  const ssize_t wrote = AK_FailsNow("write", path) ? -1 : ::write(fd, text.c_str(), size);
  bool ok = wrote == ssize_t(size);
  int error = wrote < 0 ? errno : EIO;
  // Closed whatever the hook says; the close counts only for an entry written whole.
  const bool closeFails = ok && AK_FailsNow("close", path);
  if (closeFails) error = errno;
  if ((::close(fd) != 0 || closeFails) && ok) {
    ok = false;
    if (!closeFails) error = errno;
  }
  if (ok) return true;
  if (!AK_FailsNow("unlink", path)) ::unlink(path);
  errno = error == EEXIST ? EIO : error;
  return false;
}

// Creates the lock exclusively with this process's id and start time; false with errno when it
// exists (EEXIST) or cannot be made. The entry is written whole under a name of this process's
// own and linked in place, which fails when a lock stands: a process killed at any moment leaves
// either no lock or a whole one (and perhaps the temporary, which is a leftover once this process
// is gone, see AK_IsLockLeftover).
bool Create(const char* path, const char* purpose)
{
  // A lock that stands is answered before anything is written: the taker then reads it, also
  // in a directory where nothing can be written, where a lock whose holder is gone must still
  // be told apart from one that cannot be made.
  struct stat st;
  if (::lstat(path, &st) == 0) {
    errno = EEXIST;
    return false;
  }
  const AK_String text = EntryOf(AK_ProcessId(), purpose).Line();
  const AK_String temp = TemporaryName(path, AK_ProcessId());
  for (int attempt = 0;; ++attempt) {
    // A temporary of this name is one an earlier process of this id left: written over.
    if (!WriteNewFile(temp, O_TRUNC, text)) return false;
    const bool linked = !AK_FailsNow("link", path) && ::link(temp.c_str(), path) == 0;
    int error = errno;
    // A temporary that stays is a second name of the lock: the lock is given back, and the
    // taking fails with the reason (the temporary is a leftover once this process is gone).
    const bool dropped = !AK_FailsNow("unlink", temp) && (::unlink(temp.c_str()) == 0 || errno == ENOENT);
    if (linked && dropped) return true;
    if (linked) {
      error = errno;
      // One that cannot go either names this process, which holds it no more: the next taker
      // takes it over once this process is gone.
      if (!AK_FailsNow("unlink", path)) (void)::unlink(path);
      errno = error;
      return false;
    }
    // The temporary went before it was linked: a clean-up found this id free a moment before
    // this process got it.
    if (error == ENOENT && attempt < 2) continue;
    // A file system without hard links (a share of another system): the lock is created
    // exclusively in place; only there can a process killed between creating and writing it
    // leave it empty.
    if (error == EPERM || error == EOPNOTSUPP) return WriteNewFile(path, O_EXCL, text);
    errno = error;
    return false;
  }
}

// The purpose on the line that starts at `word` and ends the text; false when that is no
// purpose word or more follows.
bool LastLinePurpose(const char* word, AK_String& purpose)
{
  const char* end = std::strchr(word, '\n');
  if (!end || end[1] != '\0' || !IsPurposeWord(word, end)) return false;
  purpose = AK_String(word, end);
  return true;
}

}  // namespace

AK_LockEntry AK_LockEntry::Parse(const char* text)
{
  if (!std::isdigit(static_cast<unsigned char>(*text))) return {};
  char* end = nullptr;
  const long pid = std::strtol(text, &end, 10);
  if (pid <= 0 || pid >= (1L << 30)) return {};
  AK_LockEntry entry{int(pid), -1, ""};
  if (*end == ' ') {
    if (!std::isdigit(static_cast<unsigned char>(end[1]))) return {};
    errno = 0;
    const unsigned long long start = std::strtoull(end + 1, &end, 10);
    if (errno != 0 || start > uint64_t(INT64_MAX)) return {};
    entry.start = int64_t(start);
    // The one-line form of the build before: "pid start purpose\n".
    if (*end == ' ') return LastLinePurpose(end + 1, entry.purpose) ? entry : AK_LockEntry{};
  }
  if (*end != '\n') return {};
  if (end[1] == '\0') return entry;
  return LastLinePurpose(end + 1, entry.purpose) ? entry : AK_LockEntry{};
}

AK_String AK_LockEntry::Line() const
{
  AK_String line = start < 0 ? AK_String::Format("%d\n", pid)
                             : AK_String::Format("%d %lld\n", pid, static_cast<long long>(start));
  if (!purpose.IsEmpty()) line += purpose + "\n";
  return line;
}

int AK_ProcessId() { return int(::getpid()); }

bool AK_ProcessAlive(int pid)
{
  if (pid <= 0) return false;
  if (::kill(pid_t(pid), 0) != 0 && errno != EPERM) return false;
  // A process that has exited still answers until its parent reaps it, which may be never
  // (a shell whose parent is gone, under an init that reaps nothing): it runs nothing.
  std::string fields;
  char state = 0;
  if (StatFields(pid, fields) && std::sscanf(fields.c_str(), " %c", &state) == 1 && (state == 'Z' || state == 'X'))
    return false;
  return true;
}

int64_t AK_ProcessStartTime(int pid)
{
  std::string fields;
  if (pid <= 0 || !StatFields(pid, fields)) return -1;
  // The start time is field 22 of the line; the fields begin with the state, field 3.
  std::istringstream in(fields);
  std::string skipped;
  for (int field = 3; field < 22; ++field)
    if (!(in >> skipped)) return -1;
  long long start = -1;
  if (!(in >> start) || start < 0) return -1;
  return start;
}

AK_String AK_LockError()
{
  std::lock_guard<std::mutex> guard(g_mutex);
  return g_error;
}

AK_LockResult AK_TakeProcessLock(const char* rawPath, int& holder)
{
  AK_LockEntry before;
  const AK_LockResult result = AK_TakeProcessLock(rawPath, "", before);
  holder = before.pid;
  return result;
}

AK_LockResult AK_TakeProcessLock(const char* rawPath, const char* purpose, AK_LockEntry& before)
{
  const AK_String path = AK_NormalizePath(rawPath);
  std::lock_guard<std::mutex> guard(g_mutex);
  before = {};
  bool takenOver = false;
  const int self = AK_ProcessId();
  for (int attempt = 0; attempt < 16; ++attempt) {
    if (Create(path, purpose)) {
      g_held.insert(path.c_str());
      return takenOver ? AK_LockResult::TakenOver : AK_LockResult::Taken;
    }
    if (errno != EEXIST) {
      g_error = AK_String("cannot create ") + path + ": " + std::strerror(errno);
      return AK_LockResult::Failed;
    }
    const AK_Read<LockEntry> read = ReadHolder(path);
    if (read.IsMissing()) continue;
    // Whose it is nobody can tell: neither taken over nor passed by.
    if (read.IsUnreadable()) {
      g_error = "cannot read " + read.Failure();
      return AK_LockResult::Failed;
    }
    const LockEntry entry = *read.Value();
    const bool lives = Lives(entry);
    if (lives && entry.pid == self && g_held.count(path.c_str())) {
      before = entry;
      return AK_LockResult::Held;
    }
    // Handed to this process, which runs in place of its shell, or to one that started it.
    if (lives && (entry.pid == self || IsAncestor(entry.pid))) {
      if (!Rewrite(path, self, purpose)) {
        g_error = AK_String("cannot take over ") + path;
        return AK_LockResult::Failed;
      }
      before = entry;
      if (entry.pid != self) before.pid = 0;
      g_held.insert(path.c_str());
      return AK_LockResult::Taken;
    }
    if (lives) {
      before = entry;
      return AK_LockResult::Held;
    }
    // Also a lock of this process's own id: it was written by an earlier process of that id.
    g_held.erase(path.c_str());
    before = entry;
    takenOver = true;
    if (!RemoveStale(path, entry)) {
      g_error = AK_String("cannot take over ") + path + AK_String::Format(" from process %d, which is gone: ", entry.pid) +
                std::strerror(errno);
      before = {};
      return AK_LockResult::Failed;
    }
  }
  g_error = AK_String("cannot take ") + path + ": it keeps changing";
  return AK_LockResult::Failed;
}

bool AK_HandOverProcessLock(const char* rawPath, int pid)
{
  const AK_String path = AK_NormalizePath(rawPath);
  std::lock_guard<std::mutex> guard(g_mutex);
  // The lock is this process's: its purpose is what this process wrote, unless it was damaged.
  if (!Rewrite(path, pid, EntryOrNone(path).purpose)) return false;
  g_held.erase(path.c_str());
  return true;
}

bool AK_SetLockPurpose(const char* rawPath, const char* purpose)
{
  const AK_String path = AK_NormalizePath(rawPath);
  std::lock_guard<std::mutex> guard(g_mutex);
  const int self = AK_ProcessId();
  if (!g_held.count(path.c_str()) || EntryOrNone(path).pid != self) return false;
  return Rewrite(path, self, purpose);
}

bool AK_ReleaseProcessLock(const char* rawPath, int pid)
{
  const AK_String path = AK_NormalizePath(rawPath);
  std::lock_guard<std::mutex> guard(g_mutex);
  const int owner = pid > 0 ? pid : AK_ProcessId();
  bool released = true;
  const AK_Read<LockEntry> entry = ReadHolder(path);
  // A lock that cannot be read may be the owner's own: it is not answered as given up.
  if (entry.IsUnreadable()) {
    released = false;
    errno = EACCES;
  } else if (entry.Value() && entry.Value()->pid == owner) {
    released = !AK_FailsNow("unlink", path) && (::unlink(path.c_str()) == 0 || errno == ENOENT);
  }
  const int error = errno;
  if (owner == AK_ProcessId()) g_held.erase(path.c_str());
  errno = error;
  return released;
}

bool AK_IsLockLeftover(const char* lockName, const char* name)
{
  // Most names of a run directory are time steps: they fail at the first bytes.
  const size_t length = lockName ? std::strlen(lockName) : 0;
  if (!name || std::strncmp(name, lockName ? lockName : "", length) != 0 || name[length] != '.') return false;
  const std::string base = lockName;
  int pid = LeftBy(name, base, kAsideMark);
  if (pid == 0) pid = LeftBy(name, base, kTemporaryMark);
  return pid != 0 && !AK_ProcessAlive(pid);
}

AK_Read<int> AK_LiveLockHolder(const char* rawPath)
{
  return ReadHolder(AK_NormalizePath(rawPath)).Then([](const LockEntry& entry) { return Lives(entry) ? entry.pid : 0; });
}

namespace {

// The directories this process holds locked: one descriptor each, however often and under
// whatever spelling its path was locked.
struct HeldDirectory {
  int fd = -1;
  int count = 0;
};
std::map<std::pair<uint64_t, uint64_t>, HeldDirectory> g_directories;
// Apart from the lock files' mutex: a lock file is written while that one is held, and every
// replacing write asks whether its directory is locked.
std::mutex g_directoriesMutex;

}  // namespace

AK_DirectoryLock::AK_DirectoryLock(const char* directory) { Take(directory, true, {}); }

AK_DirectoryLock::AK_DirectoryLock(const char* directory, std::chrono::milliseconds patience)
{
  Take(directory, false, patience);
}

void AK_DirectoryLock::Take(const char* directory, bool wait, std::chrono::milliseconds patience)
{
  const AK_String path = AK_NormalizePath(directory && *directory ? directory : ".");
  const auto fail = [&](int error) { _failure = path + ": " + std::strerror(error); };
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  struct stat st;
  if (fd < 0) return fail(errno);
  if (::fstat(fd, &st) != 0) {
    fail(errno);
    ::close(fd);
    return;
  }
  _key = {uint64_t(st.st_dev), uint64_t(st.st_ino)};
  {
    std::lock_guard<std::mutex> guard(g_directoriesMutex);
    if (auto held = g_directories.find(_key); held != g_directories.end()) {
      // A second descriptor's lock would wait for this process's own first one for ever.
      ++held->second.count;
      ::close(fd);
      _held = true;
      return;
    }
  }
  int locked;
  if (wait) {
    while ((locked = ::flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
    }
  } else {
    const auto end = std::chrono::steady_clock::now() + patience;
    while ((locked = ::flock(fd, LOCK_EX | LOCK_NB)) != 0 && (errno == EWOULDBLOCK || errno == EINTR) &&
           std::chrono::steady_clock::now() < end)
      ::usleep(1000);
  }
  if (locked != 0) {
    fail(errno);
    ::close(fd);
    return;
  }
  std::lock_guard<std::mutex> guard(g_directoriesMutex);
  g_directories[_key] = {fd, 1};
  _held = true;
}

bool AK_HoldsDirectoryLock(const char* directory)
{
  {
    std::lock_guard<std::mutex> guard(g_directoriesMutex);
    if (g_directories.empty()) return false;
  }
  struct stat st;
  const AK_String path = AK_NormalizePath(directory && *directory ? directory : ".");
  if (::stat(path.c_str(), &st) != 0) return false;
  std::lock_guard<std::mutex> guard(g_directoriesMutex);
  return g_directories.count({uint64_t(st.st_dev), uint64_t(st.st_ino)}) > 0;
}

AK_DirectoryLock::~AK_DirectoryLock()
{
  if (!_held) return;
  std::lock_guard<std::mutex> guard(g_directoriesMutex);
  auto held = g_directories.find(_key);
  if (held == g_directories.end() || --held->second.count > 0) return;
  // Closing the last descriptor of the lock gives it up.
  ::close(held->second.fd);
  g_directories.erase(held);
}
