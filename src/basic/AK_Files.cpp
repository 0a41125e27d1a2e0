#include "AK_Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "AK_ProcessLock.h"
#include "AK_StagedDirectory.h"

namespace {

// The directory a save builds under another name (see AK_StagedDirectory): both spelled as
// StagedSpelling gives them, "" while none is.
struct StagedNames {
  std::string target, staging;
};
StagedNames& Staged()
{
  static StagedNames staged;
  return staged;
}

// A path with "/" only and without leading "./".
std::string StagedSpelling(const char* path)
{
  std::string p(path ? path : "");
  for (char& c : p)
    if (c == '\\') c = '/';
  while (p.size() > 2 && p[0] == '.' && p[1] == '/') p.erase(0, 2);
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  return p;
}

}  // namespace

AK_StagedDirectory::AK_StagedDirectory(const char* target, const char* staging)
{
  StagedNames& staged = Staged();
  if (!staged.target.empty()) return;  // one at a time: a second one changes nothing
  staged.target = StagedSpelling(target);
  staged.staging = StagedSpelling(staging);
  _active = !staged.target.empty() && !staged.staging.empty();
  if (!_active) staged = {};
}

bool AK_StagedDirectory::Active() { return !Staged().target.empty(); }

void AK_StagedDirectory::End()
{
  if (_active) Staged() = {};
  _active = false;
}

AK_String AK_NormalizePath(const char* path)
{
  AK_String p(path ? path : "");
  p.ReplaceChar('\\', '/');
  if (const StagedNames& staged = Staged(); !staged.target.empty()) {
    const char* rest = p.c_str();
    while (rest[0] == '.' && rest[1] == '/') rest += 2;
    const size_t n = staged.target.size();
    if (std::strncmp(rest, staged.target.c_str(), n) == 0 && (rest[n] == '\0' || rest[n] == '/'))
      return AK_String((staged.staging + (rest + n)).c_str());
  }
  return p;
}

AK_String AK_JoinPath(const char* directory, const char* name)
{
  AK_String joined(directory ? directory : "");
  joined.EnsureTrailingChar(name ? name : "", AK_DIR_SEP);
  return joined;
}

namespace {
bool ModeWrites(const char* mode) { return mode && (std::strpbrk(mode, "wa+") != nullptr); }
}  // namespace

std::FILE* AK_FileOpen(const char* path, const char* mode)
{
  if (!path || !mode) return nullptr;
  if (*mode == 'r' && AK_OpenForReadingFails(path)) return nullptr;
  const AK_String native = AK_NormalizePath(path);
  if (ModeWrites(mode) && AK_FailsNow("create", native)) return nullptr;
  return std::fopen(native.c_str(), mode);
}

AK_File::AK_File(const char* path, const char* mode) : _file(AK_FileOpen(path, mode))
{
  if (_file && ModeWrites(mode)) _path = AK_NormalizePath(path);
}

AK_File AK_File::Replacing(const char* path, const char* mode)
{
  AK_File file;
  AK_String temp;
  int fd = path && *path ? AK_CreateReplacement(path, temp) : -1;
  if (fd < 0) return file;
  file._file = ::fdopen(fd, mode ? mode : "w");
  if (!file._file) {
    // Only the temporary goes: the target stays as it was whatever this answers.
    (void)AK_CommitReplacement(fd, temp, path, false);
    return file;
  }
  file._target = AK_NormalizePath(path);
  file._temp = temp;
  return file;
}

AK_File AK_File::ReplacingVolatile(const char* path, const char* mode)
{
  AK_File file = Replacing(path, mode);
  file._sync = false;
  return file;
}

namespace {

// What the test hook was asked, read from the environment once, and the calls counted. Never
// destroyed: the count is written after the static objects are gone.
struct FailureHook {
  std::mutex mutex;
  std::vector<std::string> items;
  long failAt = 0;
  long killAt = 0;
  long calls = 0;
  std::string countFile;
  std::string callsFile;
  std::string listed;  // "N KIND PATH" per call, for callsFile

  FailureHook()
  {
    const char* value = std::getenv(kFailOnceVariable);
    const std::string text = value ? value : "";
    for (size_t start = 0; start <= text.size();) {
      const size_t comma = std::min(text.find(',', start), text.size());
      if (comma > start) items.push_back(text.substr(start, comma - start));
      start = comma + 1;
    }
    const char* at = std::getenv(kFailAtVariable);
    failAt = at ? std::atol(at) : 0;
    const char* kill = std::getenv(kKillAtVariable);
    killAt = kill ? std::atol(kill) : 0;
    const char* count = std::getenv(kFailCountVariable);
    countFile = count ? count : "";
    const char* list = std::getenv(kFailCallsVariable);
    callsFile = list ? list : "";
  }

  // The item "operation:NAME" for the base name of `path`, items.end() for none.
  std::vector<std::string>::iterator Item(const char* operation, const char* path)
  {
    if (items.empty()) return items.end();
    const std::string wanted = std::string(operation) + ":" + AK_String(path).BaseName().c_str();
    return std::find(items.begin(), items.end(), wanted);
  }
  // Uses up that item; false when there is none.
  bool TakeItem(const char* operation, const char* path)
  {
    const auto item = Item(operation, path);
    if (item == items.end()) return false;
    items.erase(item);
    return true;
  }
};

FailureHook& Hook()
{
  static FailureHook* hook = new FailureHook;
  return *hook;
}

// One write of the text to a file opened for appending: the lines of processes that end together
// never mix.
void AppendAtExit(const std::string& file, const std::string& text)
{
  if (file.empty()) return;
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return;
  const ssize_t wrote = ::write(fd, text.data(), text.size());
  (void)wrote;  // nothing to tell at exit; the test that asked sees a missing line
  ::close(fd);
}

void WriteCallCount()
{
  FailureHook& hook = Hook();
  AppendAtExit(hook.countFile, std::to_string(::getpid()) + " " + std::to_string(hook.calls) + "\n");
  AppendAtExit(hook.callsFile, hook.listed);
}

// A process that never changes the disk writes its count (0) too.
const bool g_hookRead = [] {
  if (!Hook().countFile.empty() || !Hook().callsFile.empty()) std::atexit(WriteCallCount);
  return true;
}();

// Said on the standard error, and on the standard output where that goes elsewhere (a process
// started in the background keeps only its output).
void SayFailing(long call, const char* kind, const char* path, const char* what = "failing")
{
  std::fprintf(stderr, "torvu: %s call %ld: %s %s\n", what, call, kind, path);
  std::fflush(stderr);
  struct stat out, error;
  if (::fstat(1, &out) == 0 && ::fstat(2, &error) == 0 && (out.st_dev != error.st_dev || out.st_ino != error.st_ino)) {
    std::fprintf(stdout, "torvu: %s call %ld: %s %s\n", what, call, kind, path);
    std::fflush(stdout);
  }
}

}  // namespace

namespace {

// True when a directory on the way to `path` (not the path's own last level) is one the hook
// keeps from being entered: nothing below it can be looked at, as below a directory of another
// user.
bool BelowUnenterable(FailureHook& hook, const char* path)
{
  if (hook.items.empty()) return false;
  const std::string normal = AK_NormalizePath(path).c_str();
  size_t start = 0;
  for (size_t slash; (slash = normal.find('/', start)) != std::string::npos; start = slash + 1)
    if (slash > start && std::find(hook.items.begin(), hook.items.end(),
                                   "enter:" + normal.substr(start, slash - start)) != hook.items.end())
      return true;
  return false;
}

// The look at a path (stat) that the hook fails, with errno EACCES.
bool LookFails(const char* path)
{
  if (!path) return false;
  FailureHook& hook = Hook();
  std::lock_guard<std::mutex> guard(hook.mutex);
  if (!BelowUnenterable(hook, path)) return false;
  errno = EACCES;
  return true;
}

// The listing of a directory that the hook fails, with errno EACCES: one named by a "list" or an
// "enter" item, or one below a directory that cannot be entered.
bool ListingFails(const char* directory)
{
  FailureHook& hook = Hook();
  std::lock_guard<std::mutex> guard(hook.mutex);
  if (hook.items.empty()) return false;
  AK_String normal = AK_NormalizePath(directory);
  while (normal.Length() > 1 && normal[normal.Length() - 1] == '/')
    normal = AK_String(normal.c_str(), normal.c_str() + normal.Length() - 1);
  if (hook.Item("list", normal) == hook.items.end() && hook.Item("enter", normal) == hook.items.end() &&
      !BelowUnenterable(hook, normal))
    return false;
  errno = EACCES;
  return true;
}

}  // namespace

namespace {

struct CountedOpens {
  std::mutex mutex;
  std::string baseName;
  long count = 0;
};

CountedOpens& Counted()
{
  static CountedOpens counted;
  return counted;
}

}  // namespace

void AK_CountOpensForReading(const char* baseName)
{
  CountedOpens& counted = Counted();
  std::lock_guard<std::mutex> guard(counted.mutex);
  counted.baseName = baseName ? baseName : "";
  counted.count = 0;
}

long AK_OpensForReadingCounted()
{
  CountedOpens& counted = Counted();
  std::lock_guard<std::mutex> guard(counted.mutex);
  return counted.count;
}

bool AK_OpenForReadingFails(const char* path)
{
  if (!path) return false;
  {
    CountedOpens& counted = Counted();
    std::lock_guard<std::mutex> guard(counted.mutex);
    const char* slash = std::strrchr(path, '/');
    if (!counted.baseName.empty() && counted.baseName == (slash ? slash + 1 : path)) ++counted.count;
  }
  FailureHook& hook = Hook();
  std::lock_guard<std::mutex> guard(hook.mutex);
  // Never used up: a file of another user stays unreadable.
  if (hook.Item("open", path) == hook.items.end() && !BelowUnenterable(hook, path)) return false;
  errno = EACCES;
  return true;
}

namespace {

// The look of AK_LookAtPath and AK_LookAtDirectory: `st` filled when Found. `asked`: the look is a
// call of its own that the failure hook counts and may fail.
AK_PathLook LookAt(const char* path, AK_String* failure, struct stat& st, bool asked = true)
{
  const AK_String normal = AK_NormalizePath(path ? path : "");
  if (!normal.IsEmpty() && !LookFails(normal) && (!asked || !AK_FailsNow("look", normal)) &&
      ::stat(normal.c_str(), &st) == 0)
    return AK_PathLook::Found;
  const int error = normal.IsEmpty() ? ENOENT : errno;
  if (error == ENOENT || error == ENOTDIR) return AK_PathLook::Missing;
  if (failure) *failure = normal + ": " + std::strerror(error);
  errno = error;
  return AK_PathLook::Failed;
}

}  // namespace

AK_PathLook AK_LookAtPath(const char* path, AK_String* failure)
{
  struct stat st;
  return LookAt(path, failure, st);
}

AK_PathLook AK_LookAtDirectory(const char* path, AK_String* failure)
{
  struct stat st;
  const AK_PathLook look = LookAt(path, failure, st);
  return look == AK_PathLook::Found && !S_ISDIR(st.st_mode) ? AK_PathLook::Missing : look;
}

AK_PathKind AK_LookAtKind(const char* path, AK_String* failure)
{
  struct stat st;
  switch (LookAt(path, failure, st)) {
    case AK_PathLook::Missing: return AK_PathKind::Missing;
    case AK_PathLook::Failed: return AK_PathKind::Failed;
    case AK_PathLook::Found: break;
  }
  return S_ISREG(st.st_mode) ? AK_PathKind::RegularFile : S_ISDIR(st.st_mode) ? AK_PathKind::Directory : AK_PathKind::Other;
}

AK_String AK_ResolvedDirectory(const char* path, AK_String* failure)
{
  // Spelled as given: a build under another name (AK_StagedDirectory) changes only where it is looked at.
  std::string normal = path ? path : "";
  std::replace(normal.begin(), normal.end(), '\\', '/');
  const bool absolute = !normal.empty() && normal[0] == '/';
  std::vector<std::string> levels;
  const auto joined = [&] {
    std::string out = absolute ? "/" : "";
    for (size_t i = 0; i < levels.size(); ++i) out += (i ? "/" : "") + levels[i];
    return out.empty() ? std::string(".") : out;
  };
  std::string level;
  for (std::istringstream parts(normal); std::getline(parts, level, '/');) {
    if (level.empty() || level == ".") continue;
    if (level != "..") {
      levels.push_back(level);
      continue;
    }
    // The parent of the root is the root.
    if (levels.empty() && absolute) continue;
    if (levels.empty() || levels.back() == "..") {
      levels.push_back(level);
      continue;
    }
    // The level before it, as it stands itself (a symbolic link is not followed here).
    const std::string before = joined();
    const AK_String at = AK_NormalizePath(before.c_str());
    struct stat st;
    const bool looked = !LookFails(at) && !AK_FailsNow("look", at) && ::lstat(at.c_str(), &st) == 0;
    const int error = looked ? 0 : errno;
    if (!looked && error != ENOENT && error != ENOTDIR) {
      if (failure) *failure = AK_String(before.c_str()) + ": " + std::strerror(error);
      errno = error;
      return "";
    }
    if (looked && S_ISLNK(st.st_mode)) {
      levels.push_back(level);
      continue;
    }
    if (looked && !S_ISDIR(st.st_mode)) {
      if (failure) *failure = AK_String(before.c_str()) + ": " + std::strerror(ENOTDIR);
      errno = ENOTDIR;
      return "";
    }
    levels.pop_back();
  }
  return joined().c_str();
}

namespace {

struct SeenDirectories {
  int depth = 0;
  std::set<std::string> paths;
};

SeenDirectories& Seen()
{
  static SeenDirectories seen;
  return seen;
}

std::string SeenKey(const char* path)
{
  std::string key = AK_NormalizePath(path ? path : "").c_str();
  while (key.size() > 1 && key.back() == '/') key.pop_back();
  return key;
}

bool IsSeenDirectory(const char* path)
{
  return Seen().depth > 0 && !Seen().paths.empty() && Seen().paths.count(SeenKey(path)) > 0;
}

void RememberDirectory(const char* path)
{
  if (Seen().depth > 0) Seen().paths.insert(SeenKey(path));
}

// A directory moved or removed may stand no more, nor anything below it, nor another in its place.
void ForgetDirectories() { Seen().paths.clear(); }

}  // namespace

AK_DirectoriesSeen::AK_DirectoriesSeen() { ++Seen().depth; }

AK_DirectoriesSeen::~AK_DirectoriesSeen()
{
  if (--Seen().depth == 0) ForgetDirectories();
}

AK_PathLook AK_LookAtPathOnce(const char* path, AK_String* failure)
{
  if (IsSeenDirectory(path)) return AK_PathLook::Found;
  struct stat st;
  const AK_PathLook look = LookAt(path, failure, st);
  if (look == AK_PathLook::Found && S_ISDIR(st.st_mode)) RememberDirectory(path);
  return look;
}

namespace {

// What this process wrote, by the directory (its device and inode, whatever path led there) and
// the base name of the file: each file its own count, so that a write of another file never
// costs a digest its read. A write whose directory cannot be looked at counts for every file.
std::mutex g_writtenMutex;
std::unordered_map<std::string, uint64_t> g_written;
std::atomic<uint64_t> g_writtenAnywhere{0};
// Scopes of AK_FileDigestsOnce alive in any thread: with none, a write notes nothing.
std::atomic<int> g_digestScopes{0};

// The key of a file, "" when its directory cannot be looked at.
std::string WrittenKey(const char* path)
{
  const std::string native = path ? AK_NormalizePath(path).c_str() : "";
  const size_t slash = native.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : native.substr(0, slash);
  struct stat st;
  if (native.empty() || ::stat(dir.c_str(), &st) != 0) return "";
  return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino) + "/" +
         (slash == std::string::npos ? native : native.substr(slash + 1));
}

// The writes noted of a file and of none known: what a digest read before them stood for.
std::pair<uint64_t, uint64_t> WritesOf(const std::string& key)
{
  std::lock_guard<std::mutex> guard(g_writtenMutex);
  const auto found = key.empty() ? g_written.end() : g_written.find(key);
  return {found == g_written.end() ? 0 : found->second, g_writtenAnywhere.load()};
}

void NoteWritten(const char* path)
{
  if (g_digestScopes.load() == 0) return;
  const std::string key = WrittenKey(path);
  if (key.empty()) return void(g_writtenAnywhere.fetch_add(1));
  std::lock_guard<std::mutex> guard(g_writtenMutex);
  ++g_written[key];
}

}  // namespace

bool AK_FailsNow(const char* kind, const char* path)
{
  // Whatever comes of the call, a digest read before it no longer stands for the file (a look
  // changes nothing).
  if (!kind || std::strcmp(kind, "look") != 0) NoteWritten(path);
  FailureHook& hook = Hook();
  std::lock_guard<std::mutex> guard(hook.mutex);
  const long call = ++hook.calls;
  if (!hook.callsFile.empty())
    hook.listed += std::to_string(call) + " " + (kind ? kind : "?") + " " + (path ? path : "?") + "\n";
  if (call == hook.killAt) {
    // Said first, so that a test knows which process it killed and where.
    SayFailing(call, kind ? kind : "?", path ? path : "?", "killed before");
    ::kill(::getpid(), SIGKILL);
  }
  if (!kind || !path) return false;
  const bool named = hook.TakeItem(kind, path);
  if (!named && call != hook.failAt) return false;
  SayFailing(call, kind, path);
  errno = EIO;
  return true;
}

long AK_FailureHookCalls()
{
  FailureHook& hook = Hook();
  std::lock_guard<std::mutex> guard(hook.mutex);
  return hook.calls;
}

void AK_RestartFailureCount(long failAt)
{
  FailureHook& hook = Hook();
  std::lock_guard<std::mutex> guard(hook.mutex);
  hook.calls = 0;
  hook.failAt = failAt;
}

std::vector<std::string> AK_StartedEnvironment(char** environment)
{
  // The failure hook's variables and the kill countdown's, each with the prefix of what is handed on.
  const std::pair<std::string, std::string> families[] = {{kFailOnceVariable, kFailStartedPrefix},
                                                          {"TORVU_KILL", kKillStartedPrefix}};
  std::vector<std::string> kept;
  for (char** entry = environment; entry && *entry; ++entry) {
    const std::string text = *entry;
    bool hooked = false;
    for (const auto& [hookName, started] : families) {
      if (text.compare(0, hookName.size(), hookName) != 0) continue;
      hooked = true;
      if (text.compare(0, started.size(), started) == 0 && text.size() > started.size() &&
          (text[started.size()] == '=' || text[started.size()] == '_'))
        kept.push_back(hookName + text.substr(started.size()));
    }
    if (!hooked) kept.push_back(text);
  }
  return kept;
}

bool AK_WriteWholeFile(const char* path, const char* bytes, size_t size)
{
  AK_File file = AK_File::Replacing(path, "wb");
  if (!file) return false;
  bool written = size == 0 || std::fwrite(bytes, 1, size, file) == size;
  return file.Close() && written;
}

AK_File& AK_File::operator=(AK_File&& other) noexcept
{
  if (this != &other) {
    Discard();
    _file = other._file;
    _target = static_cast<AK_String&&>(other._target);
    _temp = static_cast<AK_String&&>(other._temp);
    _path = static_cast<AK_String&&>(other._path);
    _sync = other._sync;
    _failed = other._failed;
    other._file = nullptr;
    other._target = "";
    other._temp = "";
    other._path = "";
    other._failed = false;
  }
  return *this;
}

AK_File::~AK_File() { Discard(); }

void AK_File::Discard()
{
  if (!_file) return;
  if (_target.IsEmpty()) {
    std::fclose(_file);
  } else {
    std::fclose(_file);
    AK_DropReplacement(_temp);
  }
  _file = nullptr;
}

bool AK_File::Flush()
{
  if (!_file) return false;
  const AK_String& name = _target.IsEmpty() ? _path : _target;
  const bool writing = !name.IsEmpty();
  if (!_failed && writing && AK_FailsNow("write", name)) _failed = true;
  if (!_failed && (std::fflush(_file) != 0 || std::ferror(_file))) _failed = true;
  return !_failed;
}

bool AK_File::Close()
{
  if (!_file) return false;
  const bool flushed = Flush();
  std::FILE* f = _file;
  _file = nullptr;
  _failed = false;
  bool ok = flushed;
  if (_target.IsEmpty()) {
    // A file that was written counts its close, which must be made whatever the hook says.
    const bool closeFails = ok && !_path.IsEmpty() && AK_FailsNow("close", _path);
    const int error = errno;
    ok = std::fclose(f) == 0 && !closeFails && ok;
    if (closeFails) errno = error;
    _path = "";
    return ok;
  }
  // The descriptor outlives the FILE so that the data can be synced before the rename.
  int fd = ::dup(fileno(f));
  ok = std::fclose(f) == 0 && ok;
  if (fd < 0) {
    AK_DropReplacement(_temp);
    return false;
  }
  return AK_CommitReplacement(fd, _temp, _target, ok, _sync);
}

namespace {
constexpr const char* kReplacementMark = ".~";
constexpr size_t kReplacementLetters = 6;  // letters or digits after the mark
constexpr const char* kLockedLetters = "locked";  // the temporary of a writer under the directory lock

// The temporaries this process is writing: whoever clears what killed writers left passes
// them over.
std::mutex g_openReplacementsMutex;
std::set<std::string> g_openReplacements;

void ForgetReplacement(const char* temp)
{
  std::lock_guard<std::mutex> guard(g_openReplacementsMutex);
  g_openReplacements.erase(temp ? temp : "");
}

// Six letters or digits that no other temporary beside the target is likely to have.
AK_String ReplacementLetters()
{
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  static std::mutex mutex;
  static uint64_t state = 0;
  std::lock_guard<std::mutex> guard(mutex);
  if (state == 0) {
    struct timespec now;
    ::clock_gettime(CLOCK_REALTIME, &now);
    state = (uint64_t(::getpid()) << 32) ^ uint64_t(now.tv_nsec) ^ (uint64_t(now.tv_sec) << 20) ^ 0x9e3779b97f4a7c15ull;
  }
  std::string letters;
  for (size_t i = 0; i < kReplacementLetters; ++i) {
    // xorshift64*: enough to spread the names; a name taken is only tried again.
    state ^= state >> 12;
    state ^= state << 25;
    state ^= state >> 27;
    letters += kLetters[(state * 2685821657736338717ull >> 58) % (sizeof kLetters - 1)];
  }
  return AK_String(letters.c_str());
}
}  // namespace

bool AK_IsReplacementTemporary(const char* name, AK_String* target)
{
  const size_t length = name ? std::strlen(name) : 0;
  const size_t mark = std::strlen(kReplacementMark);
  if (length <= mark + kReplacementLetters) return false;
  const char* letters = name + length - kReplacementLetters;
  if (std::strncmp(letters - mark, kReplacementMark, mark) != 0) return false;
  for (const char* c = letters; *c; ++c)
    if (!std::isalnum(static_cast<unsigned char>(*c))) return false;
  if (target) *target = AK_String(name, letters - mark);
  return true;
}

bool AK_CutSuffix(const char* name, const char* suffix, AK_String& stem)
{
  const size_t n = name ? std::strlen(name) : 0, m = suffix ? std::strlen(suffix) : 0;
  if (n <= m || std::strcmp(name + n - m, suffix) != 0) return false;
  stem = AK_String(name, name + n - m);
  return true;
}

void AK_RemoveLeftovers(const char* directory, const AK_Leftovers& what)
{
  AK_DirectoryLock writers(directory);
  if (!writers.Held()) return;
  const AK_String dir = directory && *directory ? AK_String(directory) : AK_String(".");
  const std::string locked = std::string(kReplacementMark) + kLockedLetters;
  std::vector<AK_String> leftovers;
  // Every temporary's name holds the mark: any other name (a long series' time steps) is passed
  // by that one search, unless it is a lock's leftover.
  const auto isLeftover = [&](const char* name) {
    if (!what.lockFile.IsEmpty() && AK_IsLockLeftover(what.lockFile, name)) return true;
    if (!std::strstr(name, kReplacementMark)) return false;
    AK_String target;
    if (AK_CutSuffix(name, kStagedSuffix, target)) return false;
    if (AK_CutSuffix(name, locked.c_str(), target) || (what.writersGone && AK_IsReplacementTemporary(name, &target)))
      return !what.ownFile || what.ownFile(target);
    return false;
  };
  AK_VisitDirectory(dir, "", [&](const char* name) {
    if (what.seen) what.seen(name);
    if (!isLeftover(name)) return;
    const AK_String path = AK_JoinPath(dir, name);
    // Only a file: a directory of that name was never a writer's.
    if (AK_IsRegularFile(path) && !AK_IsOpenReplacement(path)) leftovers.push_back(path);
  });
  for (const AK_String& path : leftovers) {
    if (what.removing) what.removing(path);
    // One that stays is still no file in its place: the next cleaner tries again.
    (void)AK_DeleteFile(path);
  }
}

int AK_CreateReplacement(const char* path, AK_String& temp)
{
  AK_String target = AK_NormalizePath(path);
  // Only a file is replaced; a directory or a device of that name stays what it is.
  struct stat st;
  if (::stat(target.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    errno = S_ISDIR(st.st_mode) ? EISDIR : EEXIST;
    return -1;
  }
  // A writer that holds the lock of the directory is its only writer of locked files: its
  // temporary has a name of its own, so that the next such writer of the file writes over
  // what a killed one left there, and no writer without the lock ever owns that name.
  const size_t slash = std::string(target.c_str()).rfind('/');
  const AK_String directory = slash == std::string::npos ? AK_String(".") : AK_String(target.c_str(), target.c_str() + slash + 1);
  const bool locked = AK_HoldsDirectoryLock(directory);
  if (AK_FailsNow("create", target)) return -1;
  // What the file it replaces has, or what a new file gets: the umask's part of 0666. The file
  // is made with it, and only where the umask takes bits of the old file's permissions away is
  // it set once more; a file whose permissions cannot be set is no replacement.
  mode_t mode;
  if (::stat(target.c_str(), &st) == 0) {
    mode = st.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  AK_String name;
  int fd = -1;
  for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
    name = target + kReplacementMark + (locked ? AK_String(kLockedLetters) : ReplacementLetters());
    // A writer under the lock writes over what a killed one left under its name.
    fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | (locked ? O_TRUNC : O_EXCL), mode);
    if (fd < 0 && (locked || errno != EEXIST)) return -1;
  }
  if (fd < 0) return -1;
  struct stat made;
  if (::fstat(fd, &made) != 0 || ((made.st_mode & 07777) != mode && ::fchmod(fd, mode) != 0)) {
    const int error = errno;
    ::close(fd);
    ::unlink(name.c_str());
    errno = error;
    return -1;
  }
  temp = name;
  std::lock_guard<std::mutex> guard(g_openReplacementsMutex);
  g_openReplacements.insert(name.c_str());
  return fd;
}

bool AK_CommitReplacement(int fd, const char* temp, const char* path, bool written, bool sync)
{
  const AK_String target = AK_NormalizePath(path);
  bool ok = written && (!sync || (!AK_FailsNow("sync", target) && ::fsync(fd) == 0));
  // The descriptor is closed whatever the hook says; its close counts only for data that is whole.
  const bool closeFails = ok && AK_FailsNow("close", target);
  int error = errno;
  ok = ::close(fd) == 0 && !closeFails && ok;
  if (closeFails) errno = error;
  if (ok) ok = !AK_FailsNow("rename", target) && std::rename(temp, target.c_str()) == 0;
  if (ok && AK_FilePutInPlace) AK_FilePutInPlace(target);
  // The reason of the failure, not that of the clean-up, stays in errno.
  error = errno;
  if (!ok && !AK_FailsNow("unlink", temp)) ::unlink(temp);
  ForgetReplacement(temp);
  errno = error;
  return ok;
}

void AK_DropReplacement(const char* temp)
{
  if (!AK_FailsNow("unlink", temp)) ::unlink(temp);
  ForgetReplacement(temp);
}

bool AK_IsOpenReplacement(const char* path)
{
  std::lock_guard<std::mutex> guard(g_openReplacementsMutex);
  return g_openReplacements.count(AK_NormalizePath(path).c_str()) > 0;
}

namespace {

// The UTF-8 byte-order mark that some editors put at the start of a text file.
bool IsByteOrderMark(const char* head, size_t n)
{
  return n == 3 && static_cast<unsigned char>(head[0]) == 0xEF &&
         static_cast<unsigned char>(head[1]) == 0xBB && static_cast<unsigned char>(head[2]) == 0xBF;
}

}  // namespace

bool AK_OpenTextInput(AK_File& file, const char* path, const char* mode)
{
  file = AK_File();
  if (!AK_IsRegularFile(path)) return false;
  file = AK_File(path, mode);
  if (!file) return false;
  char head[3] = {0, 0, 0};
  if (!IsByteOrderMark(head, std::fread(head, 1, 3, file))) std::rewind(file);
  return true;
}

bool AK_OpenTextInput(std::ifstream& in, const char* path)
{
  if (in.is_open()) in.close();
  in.clear();
  if (!AK_IsRegularFile(path)) {
    in.setstate(std::ios::failbit);
    return false;
  }
  if (AK_OpenForReadingFails(path)) {
    in.setstate(std::ios::failbit);
    return false;
  }
  in.open(AK_NormalizePath(path).c_str(), std::ios::binary);
  if (!in) return false;
  char head[3] = {0, 0, 0};
  in.read(head, 3);
  const bool mark = IsByteOrderMark(head, static_cast<size_t>(in.gcount()));
  in.clear();
  in.seekg(mark ? 3 : 0);
  return true;
}

AK_String AK_TextInputError(const char* path, const AK_String& cannotOpen)
{
  if (AK_FileExists(path) && !AK_IsRegularFile(path)) return AK_String("'") + path + "' is no regular file";
  return cannotOpen;
}

bool AK_ReadLine(std::FILE* file, AK_String& line)
{
  line = "";
  if (!file) return false;
  char chunk[512];
  bool any = false;
  while (std::fgets(chunk, sizeof chunk, file)) {
    any = true;
    size_t n = std::strlen(chunk);
    bool complete = n > 0 && chunk[n - 1] == '\n';
    if (complete) chunk[--n] = '\0';
    line += chunk;
    if (complete) break;
  }
  int n = line.Length();
  if (n > 0 && line[n - 1] == '\r') line[n - 1] = '\0';
  return any;
}

bool AK_ReadTextFile(const char* path, AK_String& text)
{
  text = "";
  // A FIFO would block the open and a device may never end.
  if (!AK_IsRegularFile(path)) return false;
  AK_File f(path, "rb");
  std::string bytes;
  if (!f || !AK_ReadRest(f, bytes) || !f.Close()) return false;
  text = AK_String(bytes.data(), bytes.data() + bytes.size());
  return true;
}

bool AK_ReadRest(std::FILE* file, std::string& bytes)
{
  bytes.clear();
  if (!file) return false;
  char chunk[65536];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, n);
  return !std::ferror(file);
}

void AK_DigestOfBytes::Add(const void* bytes, size_t size)
{
  // FNV-1a over the bytes, with their count.
  const unsigned char* b = static_cast<const unsigned char*>(bytes);
  uint64_t digest = _digest;
  for (size_t i = 0; i < size; ++i) digest = (digest ^ b[i]) * 1099511628211ull;
  _digest = digest;
  _count += size;
}

AK_String AK_DigestOfBytes::Text() const
{
  return AK_String::Format("%016llx-%llu", static_cast<unsigned long long>(_digest),
                           static_cast<unsigned long long>(_count));
}

AK_String AK_ContentDigest(const char* bytes, size_t size)
{
  AK_DigestOfBytes digest;
  digest.Add(bytes, size);
  return digest.Text();
}

namespace {

thread_local AK_FileDigestsOnce* g_digestsOnce = nullptr;

bool SameFile(const struct stat& a, const struct stat& b)
{
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
         a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

}  // namespace

struct AK_FileDigestsOnce::Read {
  struct stat file;
  std::pair<uint64_t, uint64_t> written;
  AK_String digest;
};

AK_FileDigestsOnce::AK_FileDigestsOnce() : _outer(g_digestsOnce)
{
  _reads = _outer ? _outer->_reads : new std::vector<Read>;
  g_digestsOnce = this;
  ++g_digestScopes;
}

AK_FileDigestsOnce::~AK_FileDigestsOnce()
{
  g_digestsOnce = _outer;
  --g_digestScopes;
  if (!_outer) delete _reads;
}

AK_String AK_FileDigest(const char* path)
{
  if (!AK_IsRegularFile(path)) return "";
  const AK_String native = AK_NormalizePath(path);
  struct stat before;
  const std::string key = g_digestsOnce ? WrittenKey(native.c_str()) : "";
  const bool looked = !key.empty() && ::stat(native.c_str(), &before) == 0;
  const std::pair<uint64_t, uint64_t> written = WritesOf(key);
  if (looked)
    for (const AK_FileDigestsOnce::Read& read : *g_digestsOnce->_reads)
      if (SameFile(read.file, before) && read.written == written) return read.digest;
  AK_File file(path, "rb");
  std::string bytes;
  if (!AK_ReadRest(file, bytes) || !file.Close()) return "";
  const AK_String digest = AK_ContentDigest(bytes.data(), bytes.size());
  // Kept only when the file stood as it was through the read.
  struct stat after;
  if (looked && ::stat(native.c_str(), &after) == 0 && SameFile(before, after))
    g_digestsOnce->_reads->push_back({before, written, digest});
  return digest;
}

int AK_FileExists(const char* path)
{
  if (!path || !*path) return 0;
  if (LookFails(path)) return 0;
  struct stat st;
  return ::stat(AK_NormalizePath(path).c_str(), &st) == 0 ? 1 : 0;
}

int AK_IsRegularFile(const char* path)
{
  if (!path || !*path) return 0;
  if (LookFails(path)) return 0;
  struct stat st;
  return ::stat(AK_NormalizePath(path).c_str(), &st) == 0 && S_ISREG(st.st_mode) ? 1 : 0;
}

int AK_IsDirectory(const char* path)
{
  if (!path || !*path) return 0;
  if (LookFails(path)) return 0;
  struct stat st;
  return ::stat(AK_NormalizePath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? 1 : 0;
}

namespace {

// Whether a directory stands at `p`, as a part of the making of it: the hook fails the "mkdir" it
// decides on, and a look that fails fails the make as that does, so the look is no call of its own.
AK_PathLook LookBeforeMaking(const AK_String& p)
{
  struct stat st;
  const AK_PathLook look = LookAt(p, nullptr, st, false);
  return look == AK_PathLook::Found && !S_ISDIR(st.st_mode) ? AK_PathLook::Missing : look;
}

}  // namespace

int AK_MakeDirectory(const char* path)
{
  if (!path || !*path) return -1;
  AK_String p = AK_NormalizePath(path);
  // A level that stands is no call that changes the disk; one nobody can look at is made by
  // nobody: its reason stays in errno.
  if (IsSeenDirectory(p)) return 0;
  switch (LookBeforeMaking(p)) {
    case AK_PathLook::Found: RememberDirectory(p); return 0;
    case AK_PathLook::Failed: return -1;
    case AK_PathLook::Missing: break;
  }
  if (AK_FailsNow("mkdir", p)) return -1;
  if (::mkdir(p.c_str(), 0777) == 0) {
    RememberDirectory(p);
    return 0;
  }
  if (errno != EEXIST) return -1;
  // Made meanwhile by another process, a directory is as good as one made here; anything else in
  // its place is not.
  const AK_PathLook made = LookBeforeMaking(p);
  if (made == AK_PathLook::Found) {
    RememberDirectory(p);
    return 0;
  }
  if (made == AK_PathLook::Missing) errno = EEXIST;
  return -1;
}

int AK_MakeDirectories(const char* path)
{
  if (!path || !*path) return -1;
  const std::string p = AK_NormalizePath(path).c_str();
  for (size_t slash = p.find('/', 1); slash != std::string::npos; slash = p.find('/', slash + 1))
    // A level that cannot be made leaves nothing below it to make: its reason stays in errno.
    if (slash > 0 && p[slash - 1] != '/' && AK_MakeDirectory(p.substr(0, slash).c_str()) != 0) return -1;
  return AK_MakeDirectory(p.c_str());
}

std::vector<AK_String> AK_MissingLevels(const char* path, AK_String& failure)
{
  failure = "";
  std::vector<AK_String> missing;
  AK_String level = path ? path : "";
  while (!level.IsEmpty() && !IsSeenDirectory(level)) {
    const AK_PathLook look = AK_LookAtPath(level, &failure);
    if (look == AK_PathLook::Failed) return {};
    if (look == AK_PathLook::Found) break;
    missing.push_back(level);
    const char* text = level.c_str();
    const char* cut = nullptr;
    for (const char* c = text; *c; ++c)
      if (*c == '/' || *c == '\\') cut = c;
    if (!cut || cut == text) break;
    level = AK_String(text, cut);
  }
  return missing;
}

std::function<void(const char* path)> AK_FilePutInPlace;

int AK_RenameFile(const char* oldPath, const char* newPath)
{
  if (!oldPath || !newPath || !*oldPath || !*newPath) return -1;
  AK_String from = AK_NormalizePath(oldPath), to = AK_NormalizePath(newPath);
  struct stat st;
  if (::lstat(to.c_str(), &st) == 0) return -1;
  if (AK_FailsNow("rename", to)) return -1;
  ForgetDirectories();
  if (std::rename(from.c_str(), to.c_str()) != 0) return -1;
  if (AK_FilePutInPlace) AK_FilePutInPlace(to);
  return 0;
}

int AK_ReplaceFile(const char* oldPath, const char* newPath)
{
  if (!oldPath || !newPath || !*oldPath || !*newPath) return -1;
  const AK_String to = AK_NormalizePath(newPath);
  if (AK_FailsNow("rename", to)) return -1;
  ForgetDirectories();
  if (std::rename(AK_NormalizePath(oldPath).c_str(), to.c_str()) != 0) return -1;
  if (AK_FilePutInPlace) AK_FilePutInPlace(to);
  return 0;
}

namespace {

// Removes what stands at the path, a directory with everything below it (a symbolic link is
// removed, not followed). Every entry is tried; -1 when anything stays.
int RemoveTree(const std::string& path)
{
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT ? 0 : -1;
  if (!S_ISDIR(st.st_mode)) return AK_FailsNow("unlink", path.c_str()) || ::unlink(path.c_str()) != 0 ? -1 : 0;
  DIR* d = ::opendir(path.c_str());
  if (!d) return -1;
  std::vector<std::string> names;
  while (struct dirent* e = ::readdir(d))
    if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names.push_back(e->d_name);
  ::closedir(d);
  int result = 0;
  for (const std::string& name : names)
    if (RemoveTree(path + "/" + name) != 0) result = -1;
  if (result == 0 && (AK_FailsNow("rmdir", path.c_str()) || ::rmdir(path.c_str()) != 0)) result = -1;
  return result;
}

}  // namespace

int AK_DeleteDirectoryTree(const char* path)
{
  if (!path || !*path) return -1;
  const AK_String p = AK_NormalizePath(path);
  struct stat st;
  if (::lstat(p.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return -1;
  ForgetDirectories();
  return RemoveTree(p.c_str());
}

int AK_DeleteFile(const char* path)
{
  if (!path || !*path) return -1;
  AK_String p = AK_NormalizePath(path);
  struct stat st;
  if (::lstat(p.c_str(), &st) != 0) return -1;
  if (S_ISDIR(st.st_mode)) ForgetDirectories();
  if (S_ISDIR(st.st_mode)) return AK_FailsNow("rmdir", p) || ::rmdir(p.c_str()) != 0 ? -1 : 0;
  return AK_FailsNow("unlink", p) || ::unlink(p.c_str()) != 0 ? -1 : 0;
}

int AK_CopyFile(const char* source, const char* target)
{
  AK_File in(source, "rb");
  if (!in) return 1;
  // Opening the source itself for writing would empty it before a byte is read; a file is
  // already its own copy.
  struct stat from, to;
  if (::fstat(fileno(in), &from) == 0 && target &&
      ::stat(AK_NormalizePath(target).c_str(), &to) == 0 && from.st_dev == to.st_dev &&
      from.st_ino == to.st_ino)
    return 0;
  AK_File out = AK_File::Replacing(target, "wb");
  if (!out) return 2;
  char block[1024];
  size_t n;
  bool written = true;
  while ((n = std::fread(block, 1, sizeof block, in)) > 0)
    if (std::fwrite(block, 1, n, out) != n) { written = false; break; }
  bool readError = !in.Close();
  if (!out.Close()) written = false;
  if (readError) return 3;
  return written ? 0 : 4;
}

bool AK_VisitDirectory(const char* directory, const char* extension, const std::function<void(const char*)>& visit)
{
  AK_String dir = AK_NormalizePath(directory && *directory ? directory : ".");
  DIR* d = ListingFails(dir) ? nullptr : ::opendir(dir.c_str());
  if (!d) return false;
  const bool filter = extension && *extension;
  // A read of the entries that fails part-way (an I/O error) is no listing either.
  int error = 0;
  for (;;) {
    errno = 0;
    struct dirent* e = ::readdir(d);
    if (!e) {
      error = errno;
      break;
    }
    const char* name = e->d_name;
    if (std::strcmp(name, ".") == 0 || std::strncmp(name, "..", 2) == 0) continue;
    if (filter) {
      const char* dot = std::strrchr(name, '.');
      // As AK_String::GetExtension reads it: a backslash after the dot is a separator.
      if (!dot || std::strpbrk(dot, "\\/") || std::strcmp(dot + 1, extension) != 0) continue;
    }
    visit(name);
  }
  ::closedir(d);
  errno = error;
  return error == 0;
}

AK_Array<AK_String> AK_ListDirectory(const char* directory, const char* extension, bool* read)
{
  std::vector<AK_String> names;
  const bool visited = AK_VisitDirectory(directory, extension, [&](const char* name) { names.emplace_back(name); });
  const int error = errno;
  if (read) *read = visited;
  std::sort(names.begin(), names.end(), [](const AK_String& a, const AK_String& b) { return std::strcmp(a, b) < 0; });
  AK_Array<AK_String> list;
  list.Reserve(static_cast<int32_t>(names.size()));
  for (auto& name : names) list.Append(std::move(name));
  errno = error;
  return list;
}

AK_String AK_CurrentDirectory()
{
  std::error_code ec;
  std::filesystem::path p = std::filesystem::current_path(ec);
  return ec ? AK_String() : AK_String(p.c_str());
}

AK_String AK_HomeDirectory()
{
  const char* home = std::getenv("HOME");
  if (home && *home) return AK_String(home);
  return AK_CurrentDirectory();
}

namespace {

AK_FileIdentity IdentityOf(const struct stat& st)
{
  AK_FileIdentity identity;
  identity.device = static_cast<uint64_t>(st.st_dev);
  identity.inode = static_cast<uint64_t>(st.st_ino);
  identity.known = true;
  return identity;
}

}  // namespace

AK_FileIdentity AK_FileIdentityOfStream(std::FILE* file)
{
  struct stat st;
  if (!file || ::fstat(fileno(file), &st) != 0) return AK_FileIdentity();
  return IdentityOf(st);
}

AK_VersionRead AK_ReadFileVersion(const char* rawPath, size_t limit, AK_String& text, AK_FileVersion& version,
                                  AK_String& failure)
{
  text = "";
  version = AK_FileVersion();
  const AK_String path = AK_NormalizePath(rawPath ? rawPath : "");
  const auto failed = [&](int error) {
    failure = path + ": " + std::strerror(error);
    return AK_VersionRead::Failed;
  };
  // Not blocked by a FIFO put in its place.
  const int fd = AK_OpenForReadingFails(path) ? -1 : ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    struct stat st;
    return errno == ENOENT && !LookFails(path) && ::lstat(path.c_str(), &st) != 0 ? AK_VersionRead::Missing
                                                                                  : failed(errno);
  }
  struct stat st;
  std::string bytes;
  int error = 0;
  if (::fstat(fd, &st) != 0) error = errno;
  else if (!S_ISREG(st.st_mode)) error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
  else if (size_t(st.st_size) > limit) error = EFBIG;
  char chunk[4096];
  for (ssize_t n; error == 0 && (n = ::read(fd, chunk, sizeof chunk)) != 0;) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) error = errno;
    else if (bytes.size() + size_t(n) > limit) error = EFBIG;
    else bytes.append(chunk, size_t(n));
  }
  ::close(fd);
  if (error != 0) return failed(error);
  text = AK_String(bytes.data(), bytes.data() + bytes.size());
  version.identity = IdentityOf(st);
  version.changed = int64_t(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
  version.size = bytes.size();
  return AK_VersionRead::Read;
}

AK_FileIdentity AK_FileIdentityOfPath(const char* path)
{
  struct stat st;
  if (!path || !*path || ::stat(AK_NormalizePath(path).c_str(), &st) != 0) return AK_FileIdentity();
  return IdentityOf(st);
}
