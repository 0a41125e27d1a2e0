// Processes, the program's own path and clocks. (The interrupt poll belongs to the object
// framework, which owns the error text it writes.)
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>

#include "AK_Array.h"
#include "AK_String.h"

// When not empty, the detached AK_RunCommand writes its batch file under this name; "" at start.
extern AK_String AK_BatchFileName;

// Runs a program. The command line is the command (in single quotes for sh when `quote` is
// set, so blanks, quotes and "$" in the path are safe), a blank and the arguments. An empty or
// missing command returns -1 and runs nothing.
// Not detached: the line runs through "/bin/sh -c" and its exit status is returned (-1 when
// the shell cannot be started or is ended by a signal).
// Detached: the line is written to a batch file (a POSIX shell script: AK_BatchFileName, or
// one of this start's own in the home directory, ".ak_" + the command's base name + "." +
// process id + "-" + a count + ".bat", which the shell removes once it runs) and started as
// an AK_BatchFile: in a new session, its standard input from /dev/null, and not waited for.
// Returns 0 when it was started, -1 when not; a batch file that cannot be written is -1 with
// a message.
// `started`, when given, is called in a detached start with the process id of the shell
// before the shell runs anything: what the caller hands over to the run (a lock) is in place
// before the run can look for it. A hook that answers false withholds the go-ahead: the shell
// ends before it runs anything, and the start fails.
using AK_StartedHook = std::function<bool(int pid)>;
int AK_RunCommand(const char* command, const char* arguments, int detach, int quote,
                  const AK_StartedHook& started = {});

// A batch file: a POSIX shell script, written under a temporary name beside its path and put
// in the place of that name whole. Its shell runs the very file written here: it is handed a
// descriptor opened before the file took its place ("/bin/sh /dev/fd/N"), so a batch written
// to the same name afterwards, by this process or another, never replaces its lines, however
// late the shell starts. (The commands of the batch inherit that read-only descriptor.)
class AK_BatchFile {
public:
  // Opens the new file for writing; the stream is null when it cannot be created.
  explicit AK_BatchFile(const char* path);
  ~AK_BatchFile();
  AK_BatchFile(const AK_BatchFile&) = delete;
  AK_BatchFile& operator=(const AK_BatchFile&) = delete;

  std::FILE* Stream() const { return _stream; }
  operator std::FILE*() const { return _stream; }
  const AK_String& Path() const { return _path; }

  // Puts the file in the place of its name. False when it could not be created, a write
  // failed or it could not take the place: the file of that name is then left as it was, and
  // nothing can be started. Called once.
  bool Commit();
  // Starts "/bin/sh" on the committed file, detached as AK_RunCommand starts its batch files;
  // `started` as there. 0 when started, -1 otherwise (also without a committed file). Called
  // once.
  int Start(const AK_StartedHook& started = {});

private:
  AK_String _path;
  AK_String _temp;
  std::FILE* _stream = nullptr;
  int _held = -1;  // read-only descriptor of the committed file
};

// Runs a program with exactly these arguments, each one word for the program whatever it
// holds (blanks, quotes, ";", "|", "$", back-quotes): the command line quotes every word for sh.
// Detached or waited for, with the results of AK_RunCommand.
int AK_RunProgram(const char* program, const AK_Array<AK_String>& arguments, int detach,
                  const AK_StartedHook& started = {});

// Splits a text into program arguments: blanks and TABs separate them, and a part between
// double quotes keeps its blanks (the quotes are dropped; "" is an empty argument). No other
// character is special.
AK_Array<AK_String> AK_SplitArguments(const char* text);

// The text in single quotes for sh: 'it'\''s' for it's.
AK_String AK_ShellQuote(const char* text);

// The absolute path of the running program (from /proc/self/exe); "" when unknown.
AK_String AK_ProgramPath();

// CPU seconds used by the process: clock() / CLOCKS_PER_SEC.
double AK_CpuSeconds();
// The processors this process may run on (fewer than the machine's when it is confined to
// some), at least 1.
int AK_ProcessorCount();

// Milliseconds since the process started, from a monotonic clock.
int64_t AK_ProcessMilliseconds();

// Pauses the calling thread.
void AK_SleepMilliseconds(int64_t milliseconds);

// Stops this process (SIGSTOP) when the environment variable TORVU_STOP_AT names `window`: a
// test can then kill a writer at just that moment. Read once; without it nothing happens.
void AK_StopAtWindow(const char* window);

// Makes a write beyond the file-size limit of the process (ulimit -f) fail like one on a full
// disk, with the error "File too large", instead of ending the process in the middle of the
// write. Called once at program start.
void AK_IgnoreFileSizeSignal();
