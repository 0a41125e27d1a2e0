#include "TestSupport.h"

#include <sys/wait.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

MessageCapture* current = nullptr;

void Collect(const char* message, const char* location)
{
  current->messages.emplace_back(message ? message : "");
  current->locations.emplace_back(location ? location : "");
}

}  // namespace

ScratchDir::ScratchDir()
{
  static std::mt19937_64 random(std::random_device{}());
  for (;;) {
    fs::path candidate = fs::temp_directory_path() / ("torvu_test_" + std::to_string(random() % 1000000000ull));
    std::error_code error;
    if (fs::create_directory(candidate, error)) {
      _path = candidate.string();
      return;
    }
  }
}

ScratchDir::~ScratchDir()
{
  std::error_code error;
  fs::remove_all(_path, error);
}

ScratchCurrentDir::ScratchCurrentDir() : _previous(fs::current_path().string()) { fs::current_path(Path()); }

ScratchCurrentDir::~ScratchCurrentDir()
{
  std::error_code error;
  fs::current_path(_previous, error);
}

std::string ScratchDir::Write(const std::string& name, const std::string& content) const
{
  std::string path = *this / name;
  fs::create_directories(fs::path(path).parent_path());
  WriteFile(path, content);
  return path;
}

MessageCapture::MessageCapture() : _previous(AK_MessageHook), _outer(current)
{
  current = this;
  AK_MessageHook = Collect;
}

MessageCapture::~MessageCapture()
{
  AK_MessageHook = _previous;
  current = _outer;
}

bool MessageCapture::Contains(const std::string& text) const
{
  for (const auto& m : messages)
    if (m == text) return true;
  return false;
}

std::vector<std::string> MessageCapture::WithPrefix(const std::string& prefix) const
{
  std::vector<std::string> out;
  for (const auto& m : messages)
    if (m.rfind(prefix, 0) == 0) out.push_back(m);
  return out;
}

void MessageCapture::Clear()
{
  messages.clear();
  locations.clear();
}

void MessagesToStderr(const char* message, const char* location)
{
  std::fprintf(stderr, "%s\t(%s)\n", message, location);
}

std::string ReadFile(const std::string& path)
{
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::string& path, const std::string& content)
{
  std::ofstream(path, std::ios::binary) << content;
}

std::string ShellQuote(const std::string& text)
{
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string RunProcess(const std::string& command, int* status)
{
  std::string output;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return output;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  int rc = pclose(pipe);
  if (status) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return output;
}

FileSizeLimit::FileSizeLimit(rlim_t bytes)
{
  std::signal(SIGXFSZ, SIG_IGN);
  getrlimit(RLIMIT_FSIZE, &_saved);
  rlimit limit = {bytes, _saved.rlim_max};
  setrlimit(RLIMIT_FSIZE, &limit);
}

FileSizeLimit::~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &_saved); }

std::string TorvuOffscreen(const std::string& dir, const std::string& program, const std::string& attributes,
                           const std::string& arguments, const std::string& prefix)
{
  return "cd " + ShellQuote(dir) + " && env -u TORVU_USER_ATTRIBUTES HOME=" + ShellQuote(dir) + " " + prefix +
         ShellQuote(program) + " -files " + ShellQuote(attributes) + " -offscreen " + arguments;
}

std::map<std::string, std::string> TimeStepContents(const std::string& run)
{
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(run))
    if (entry.path().extension() == ".TimeStep") files[entry.path().filename().string()] = ReadFile(entry.path().string());
  return files;
}

bool WaitUntilFinished(const std::string& run)
{
  const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(2);
  while (ReadFile(run + "/.simulation_status") != "finished\n" || std::filesystem::exists(run + "/.simulation_lock")) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}
