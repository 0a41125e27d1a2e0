#include "E2eSupport.h"

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <system_error>

namespace fs = std::filesystem;

namespace torvu_e2e {

std::string ReadFile(const fs::path& path)
{
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const fs::path& path, const std::string& text)
{
  std::ofstream out(path, std::ios::binary);
  out << text;
}

std::string Quote(const std::string& text)
{
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

TempDir::TempDir(const std::string& prefix)
{
  std::mt19937_64 random(std::random_device{}());
  do path = fs::temp_directory_path() / (prefix + std::to_string(random() % 1000000000));
  while (!fs::create_directory(path));
}

TempDir::~TempDir()
{
  std::error_code error;
  fs::remove_all(path, error);
}

std::string Capture(const std::string& command, int* status)
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

std::string WithoutStartup(const std::string& printed)
{
  const std::string rule(65, '=');
  size_t first = printed.find(rule);
  size_t second = first == std::string::npos ? first : printed.find(rule, first + rule.size());
  std::string rest = printed;
  if (second != std::string::npos) {
    size_t end = printed.find('\n', second + rule.size() + 1);  // the location line
    rest = end == std::string::npos ? "" : printed.substr(end + 1);
  }
  std::stringstream in(rest);
  std::string out;
  for (std::string line; std::getline(in, line);) {
    size_t tab = line.rfind("\t(");
    if (tab != std::string::npos && !line.empty() && line.back() == ')') line.erase(tab);
    out += line + "\n";
  }
  return out;
}

}  // namespace torvu_e2e
