// What the test folders share: scratch directories, message capture through the message
// hook, whole files, and running a command line with its output captured.
#pragma once

#include <sys/resource.h>

#include <map>
#include <string>
#include <vector>

#include "AK_Basic.h"

// A fresh, empty directory under the system's temporary directory, removed with everything
// in it when the object goes.
class ScratchDir {
public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& Path() const { return _path; }
  std::string operator/(const std::string& name) const { return _path + "/" + name; }
  // Writes the file below the directory, creating the directories on its way; its path.
  std::string Write(const std::string& name, const std::string& content) const;

private:
  std::string _path;
};

// A scratch directory that is the current directory while it lives: for whatever works in
// the current directory (a simulation without a project directory keeps its run's files
// there), so that tests running side by side never share one.
class ScratchCurrentDir : public ScratchDir {
public:
  ScratchCurrentDir();
  ~ScratchCurrentDir();

private:
  std::string _previous;
};

// While it lives, no file of this process can grow beyond `bytes`: writes past the limit
// fail as on a full disk (root is no exception).
class FileSizeLimit {
public:
  explicit FileSizeLimit(rlim_t bytes);
  ~FileSizeLimit();
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
  rlimit _saved;
};

// Collects every message sent through the hook while it lives.
class MessageCapture {
public:
  MessageCapture();
  ~MessageCapture();
  MessageCapture(const MessageCapture&) = delete;
  MessageCapture& operator=(const MessageCapture&) = delete;
  bool Contains(const std::string& text) const;
  bool HasPrefix(const std::string& prefix) const { return !WithPrefix(prefix).empty(); }
  // The messages that start with the prefix, in order.
  std::vector<std::string> WithPrefix(const std::string& prefix) const;
  void Clear();
  std::vector<std::string> messages;
  std::vector<std::string> locations;

private:
  AK_MessageFunction _previous;
  MessageCapture* _outer;
};

// A message hook for death tests, which see only the standard error of the dying child.
void MessagesToStderr(const char* message, const char* location);

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);

// The text as one single-quoted shell word.
std::string ShellQuote(const std::string& text);
// Runs a shell command line; what it printed on standard output and error. The exit status
// goes to *status when given (-1 when the command did not exit normally).
std::string RunProcess(const std::string& command, int* status = nullptr);
// The command line that runs a torvu program offscreen in `dir` as a user there would: its
// class files from `attributes`, no user attributes, HOME in `dir`; `arguments` follow
// "-offscreen" (the macro and any redirections), `prefix` goes before the program.
std::string TorvuOffscreen(const std::string& dir, const std::string& program, const std::string& attributes,
                           const std::string& arguments, const std::string& prefix = "");

// The time-step files of a run directory: name -> content.
std::map<std::string, std::string> TimeStepContents(const std::string& run);
// Waits (at most two minutes) until the run directory's status says "finished" and its run
// lock is gone; false when it never did.
bool WaitUntilFinished(const std::string& run);

#ifdef TORVU_TEST_DATA
// A file of the test folder's own data.
inline std::string TestData(const std::string& relative) { return std::string(TORVU_TEST_DATA) + "/" + relative; }
#endif
