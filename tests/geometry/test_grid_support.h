// Helpers shared by the terrain file tests: message capture, temporary files, test data.
#pragma once

#include <cstdio>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "AK_Basic.h"

// Collects every message sent through the hook while it lives.
class SW_MessageCapture {
public:
  SW_MessageCapture() : _previous(AK_MessageHook)
  {
    Current() = this;
    AK_MessageHook = [](const char* message, const char*) {
      Current()->messages.emplace_back(message ? message : "");
    };
  }
  ~SW_MessageCapture()
  {
    AK_MessageHook = _previous;
    Current() = nullptr;
  }
  bool Has(const std::string& text) const
  {
    for (const auto& m : messages)
      if (m == text) return true;
    return false;
  }
  bool HasPrefix(const std::string& prefix) const
  {
    for (const auto& m : messages)
      if (m.rfind(prefix, 0) == 0) return true;
    return false;
  }
  // The messages that start with the prefix, in order.
  std::vector<std::string> WithPrefix(const std::string& prefix) const
  {
    std::vector<std::string> out;
    for (const auto& m : messages)
      if (m.rfind(prefix, 0) == 0) out.push_back(m);
    return out;
  }
  std::vector<std::string> messages;

private:
  static SW_MessageCapture*& Current()
  {
    static SW_MessageCapture* current = nullptr;
    return current;
  }
  AK_MessageFunction _previous;
};

// A directory of its own under the system's temporary directory, removed afterwards.
class SW_TempDir {
public:
  SW_TempDir()
  {
    static int counter = 0;
    _path = std::filesystem::temp_directory_path() /
            ("torvu_mesh_files_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
    std::filesystem::create_directories(_path);
  }
  ~SW_TempDir()
  {
    std::error_code ec;
    std::filesystem::remove_all(_path, ec);
  }
  std::string File(const std::string& name) const { return (_path / name).string(); }
  std::string Write(const std::string& name, const std::string& content) const
  {
    std::string p = File(name);
    std::ofstream out(p, std::ios::binary);
    out << content;
    return p;
  }

private:
  std::filesystem::path _path;
};

inline std::string SW_ReadWholeFile(const std::string& path)
{
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string SW_TestData(const std::string& relative)
{
  return std::string(TORVU_MESH_TEST_DATA) + "/" + relative;
}
