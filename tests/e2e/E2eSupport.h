// What the end-to-end tests share: a temporary directory to run the torvu program in, files
// written and read there, and the program's output captured and stripped of its start-up lines.
#pragma once

#include <filesystem>
#include <string>

namespace torvu_e2e {

std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, const std::string& text);

// The text as one single-quoted shell word.
std::string Quote(const std::string& text);

// A fresh directory under the system's temporary directory, removed with everything in it.
struct TempDir {
  std::filesystem::path path;
  explicit TempDir(const std::string& prefix);
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
};

// Runs a shell command line and returns what it printed (standard output and error); the
// exit status goes to *status when given (-1 when the command did not exit normally).
std::string Capture(const std::string& command, int* status = nullptr);

// Drops the start-up lines (up to the end of the banner and the location line after it) and
// the "\t(file:line)" suffixes.
std::string WithoutStartup(const std::string& printed);

}  // namespace torvu_e2e
