#include "AK_Process.h"

#include <fcntl.h>
#include <sched.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "AK_Files.h"
#include "AK_Message.h"

extern char** environ;

AK_String AK_BatchFileName;

namespace {

const auto g_processStart = std::chrono::steady_clock::now();

AK_String CommandLine(const char* command, const char* arguments, int quote)
{
  AK_String line = quote ? AK_ShellQuote(command) : AK_String(command);
  line += ' ';
  line += arguments ? arguments : "";
  return line;
}

// The batch file of one start in the home directory, named after the program, with the
// process id and a count of its own: no other start, in this process or another, replaces it
// before its shell has read it.
AK_String DefaultBatchFile(const char* command)
{
  static std::atomic<int> starts{0};
  AK_String base = AK_String(command).BaseName();
  AK_String name = ".ak_" + base + AK_String::Format(".%d-%d.bat", int(getpid()), ++starts);
  return AK_JoinPath(AK_HomeDirectory(), name.c_str());
}

// The lines of a batch file that AK_RunCommand writes; `removeItself`: the shell removes the
// file as soon as it runs, having it open.
void WriteBatchLines(std::FILE* f, const AK_String& path, const AK_String& line, bool removeItself)
{
  const AK_String remove = removeItself ? "rm -f -- " + AK_ShellQuote(path) + "\n" : AK_String();
  std::fprintf(f, "#!/bin/sh\n%s%s\n", remove.c_str(), line.c_str());
}

int RunAndWait(const AK_String& line)
{
  std::fflush(nullptr);
  const char* argv[] = {"sh", "-c", line.c_str(), nullptr};
  pid_t pid;
  if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0)
    return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Reads exactly `size` bytes; false at the end of the pipe or on an error.
bool ReadAll(int fd, void* data, size_t size)
{
  char* p = static_cast<char*>(data);
  while (size > 0) {
    ssize_t got = read(fd, p, size);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    p += got;
    size -= size_t(got);
  }
  return true;
}

// Runs "/bin/sh scriptPath" as a grandchild in a session of its own, so it outlives this
// process and leaves no zombie behind; `inherited` is kept open for it across exec. The
// grandchild reports its id and waits for a go-ahead before it runs the shell, so `started`
// sees it before anything runs. 0 when the shell was started, -1 otherwise.
int StartDetachedShell(int inherited, const std::string& scriptPath, const AK_StartedHook& started)
{
  int report[2], go[2];
  if (pipe2(report, O_CLOEXEC) != 0) return -1;
  if (pipe2(go, O_CLOEXEC) != 0) {
    close(report[0]);
    close(report[1]);
    return -1;
  }
  // What a test asks of this process is not asked of the run it starts.
  std::vector<std::string> entries = AK_StartedEnvironment(environ);
  std::vector<char*> environment;
  for (std::string& entry : entries) environment.push_back(entry.data());
  environment.push_back(nullptr);
  std::fflush(nullptr);
  pid_t child = fork();
  if (child < 0) {
    for (int fd : {report[0], report[1], go[0], go[1]}) close(fd);
    return -1;
  }
  if (child == 0) {
    setsid();
    close(report[0]);
    close(go[1]);
    pid_t grandchild = fork();
    if (grandchild < 0) _exit(1);
    if (grandchild == 0) {
      if (fcntl(inherited, F_SETFD, 0) != 0) _exit(127);
      // A detached run has no console of its caller: it must not hold the caller's terminal or
      // pipes open (a caller reading this process's output would wait for the detached run to
      // end). The batch file redirects what it wants to keep.
      int devNull = open("/dev/null", O_RDWR);
      if (devNull >= 0) {
        for (int fd = 0; fd <= 2; ++fd) dup2(devNull, fd);
        if (devNull > 2) close(devNull);
      }
      char ahead = 0;
      if (!ReadAll(go[0], &ahead, 1)) _exit(127);  // the caller gave up
      const char* argv[] = {"sh", scriptPath.c_str(), nullptr};
      execve("/bin/sh", const_cast<char* const*>(argv), environment.data());
      int error = errno;
      ssize_t ignored = write(report[1], &error, sizeof error);
      (void)ignored;
      _exit(127);
    }
    int32_t id = int32_t(grandchild);
    ssize_t ignored = write(report[1], &id, sizeof id);
    (void)ignored;
    _exit(0);
  }
  close(report[1]);
  close(go[0]);
  int status = 0;
  bool reaped = true;
  while (waitpid(child, &status, 0) < 0)
    if (errno != EINTR) {
      reaped = false;
      break;
    }
  int32_t id = 0;
  bool ok = reaped && WIFEXITED(status) && WEXITSTATUS(status) == 0 && ReadAll(report[0], &id, sizeof id);
  if (ok && started) ok = started(int(id));
  // The go-ahead; without it (or when closed unwritten) the grandchild ends at once.
  const char ahead = 1;
  // A grandchild gone before it read the go-ahead leaves a pipe without a reader: that is a failed
  // start, never a SIGPIPE that ends this process.
  sigset_t brokenPipe, before;
  sigemptyset(&brokenPipe);
  sigaddset(&brokenPipe, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &brokenPipe, &before);
  if (ok) ok = write(go[1], &ahead, 1) == 1;
  if (!ok && errno == EPIPE) {
    const timespec none{0, 0};
    while (sigtimedwait(&brokenPipe, nullptr, &none) == SIGPIPE) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
  close(go[1]);
  if (ok) {
    // The pipe closes without data when exec succeeded.
    int error = 0;
    ok = !ReadAll(report[0], &error, sizeof error);
  }
  close(report[0]);
  return ok ? 0 : -1;
}

// Starts "/bin/sh" detached on the open file `script`: the shell opens the file through the
// descriptor it inherits, never through a name another start may have taken over meanwhile.
int StartDetached(int script, const AK_StartedHook& started)
{
  // Above the standard descriptors, which /dev/null takes in the grandchild; the path is made
  // here, since the child of a process with threads must not allocate.
  const int inherited = fcntl(script, F_DUPFD_CLOEXEC, 3);
  if (inherited < 0) return -1;
  const std::string scriptPath = "/dev/fd/" + std::to_string(inherited);
  const int result = StartDetachedShell(inherited, scriptPath, started);
  close(inherited);
  return result;
}

// Runs a command line; `command` names the default batch file of a detached run.
int RunLine(const char* command, const AK_String& line, int detach, const AK_StartedHook& started)
{
  if (!detach) return RunAndWait(line);
  const bool own = AK_BatchFileName.IsEmpty();
  AK_String file = own ? DefaultBatchFile(command) : AK_NormalizePath(AK_BatchFileName);
  AK_BatchFile batch(file);
  if (batch) WriteBatchLines(batch, file, line, own);
  if (!batch.Commit()) {
    AK_MESSAGE(("ERROR:cannot write batch file " + file).c_str());
    return -1;
  }
  const int result = batch.Start(started);
  // A shell that never ran leaves the file of its own start behind otherwise.
  // The start failed and says so; its own batch file in the temporary directory is all that may stay.
  if (result != 0 && own) (void)AK_DeleteFile(file);
  return result;
}

}  // namespace

AK_BatchFile::AK_BatchFile(const char* path) : _path(AK_NormalizePath(path))
{
  if (_path.IsEmpty()) return;
  const int fd = AK_CreateReplacement(_path, _temp);
  if (fd < 0) return;
  _stream = ::fdopen(fd, "w");
  if (!_stream) (void)AK_CommitReplacement(fd, _temp, _path, false);  // drops the temporary alone
}

AK_BatchFile::~AK_BatchFile()
{
  if (_stream) {
    std::fclose(_stream);
    if (!AK_FailsNow("unlink", _temp)) ::unlink(_temp.c_str());
  }
  if (_held >= 0) close(_held);
}

bool AK_BatchFile::Commit()
{
  if (!_stream) return false;
  std::FILE* f = _stream;
  _stream = nullptr;
  bool written = !AK_FailsNow("write", _path) && std::fflush(f) == 0 && !std::ferror(f);
  const int fd = ::dup(fileno(f));
  written = std::fclose(f) == 0 && written;
  if (fd < 0) {
    if (!AK_FailsNow("unlink", _temp)) ::unlink(_temp.c_str());
    return false;
  }
  // Opened while the file has no other name than its own: whatever takes the place of the
  // path later, this descriptor reads what was written here.
  if (written) _held = open(_temp.c_str(), O_RDONLY | O_CLOEXEC);
  // Worth nothing after a crash, and read at once: not forced to the disk first.
  if (AK_CommitReplacement(fd, _temp, _path, written && _held >= 0, false)) return true;
  if (_held >= 0) close(_held);
  _held = -1;
  return false;
}

int AK_BatchFile::Start(const AK_StartedHook& started)
{
  if (_held < 0) return -1;
  const int result = StartDetached(_held, started);
  close(_held);
  _held = -1;
  return result;
}

AK_String AK_ShellQuote(const char* text)
{
  AK_String quoted("'");
  for (const char* p = text ? text : ""; *p; ++p) {
    if (*p == '\'') quoted += "'\\''";
    else quoted += *p;
  }
  quoted += '\'';
  return quoted;
}

int AK_RunCommand(const char* command, const char* arguments, int detach, int quote,
                  const AK_StartedHook& started)
{
  if (!command || !*command) return -1;
  return RunLine(command, CommandLine(command, arguments, quote), detach, started);
}

int AK_RunProgram(const char* program, const AK_Array<AK_String>& arguments, int detach,
                  const AK_StartedHook& started)
{
  if (!program || !*program) return -1;
  AK_String line = AK_ShellQuote(program);
  for (const AK_String& argument : arguments) {
    line += ' ';
    line += AK_ShellQuote(argument);
  }
  return RunLine(program, line, detach, started);
}

AK_Array<AK_String> AK_SplitArguments(const char* text)
{
  AK_Array<AK_String> arguments;
  std::string word;
  bool inWord = false, quoted = false;
  for (const char* p = text ? text : ""; *p; ++p) {
    if (*p == '"') {
      quoted = !quoted;
      inWord = true;
    } else if (!quoted && (*p == ' ' || *p == '\t')) {
      if (inWord) arguments.Append(AK_String(word.c_str()));
      word.clear();
      inWord = false;
    } else {
      word += *p;
      inWord = true;
    }
  }
  if (inWord) arguments.Append(AK_String(word.c_str()));
  return arguments;
}

AK_String AK_ProgramPath()
{
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return AK_String();
  buf[n] = '\0';
  return AK_String(buf);
}

double AK_CpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

int64_t AK_ProcessMilliseconds()
{
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               g_processStart)
      .count();
}

void AK_StopAtWindow(const char* window)
{
  static const std::string stopAt = [] {
    const char* value = std::getenv("TORVU_STOP_AT");
    return std::string(value ? value : "");
  }();
  if (!stopAt.empty() && window && stopAt == window) ::raise(SIGSTOP);
}

void AK_SleepMilliseconds(int64_t milliseconds)
{
  if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void AK_IgnoreFileSizeSignal() { std::signal(SIGXFSZ, SIG_IGN); }

int AK_ProcessorCount()
{
  cpu_set_t allowed;
  if (sched_getaffinity(0, sizeof allowed, &allowed) == 0 && CPU_COUNT(&allowed) > 0) return CPU_COUNT(&allowed);
  const unsigned n = std::thread::hardware_concurrency();
  return n > 0 ? static_cast<int>(n) : 1;
}
