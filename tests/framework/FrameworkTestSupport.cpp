#include "FrameworkTestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace fs = std::filesystem;

namespace {

std::string NewScratchPath()
{
  static std::mt19937_64 generator(std::random_device{}());
  fs::path base = fs::temp_directory_path();
  for (;;) {
    fs::path candidate = base / ("torvu_fw_" + std::to_string(generator() % 1000000000ull));
    std::error_code error;
    if (fs::create_directory(candidate, error)) return candidate.string();
  }
}

std::vector<std::string>& Recorded()
{
  static std::vector<std::string> messages;
  return messages;
}

void RecordMessage(const char* message, const char*) { Recorded().push_back(message ? message : ""); }

}  // namespace

ScratchDir::ScratchDir() : _path(NewScratchPath()) {}

ScratchDir::~ScratchDir()
{
  std::error_code error;
  fs::remove_all(_path, error);
}

MessageRecorder::MessageRecorder() : _previous(AK_MessageHook)
{
  Recorded().clear();
  AK_MessageHook = RecordMessage;
}

MessageRecorder::~MessageRecorder() { AK_MessageHook = _previous; }

const std::vector<std::string>& MessageRecorder::Messages() const { return Recorded(); }

bool MessageRecorder::Contains(const std::string& text) const
{
  for (const auto& m : Recorded())
    if (m == text) return true;
  return false;
}

void MessageRecorder::Clear() { Recorded().clear(); }

const std::string& TestUserAttributesDirectory()
{
  static ScratchDir directory;
  static std::string path = directory.Path() + "/";
  return path;
}

void TestSetUpClassDirectories()
{
  AttributesDirectory = (std::string(TORVU_TEST_ATTRIBUTES_DIR) + "/").c_str();
  UserAttributesDirectory = TestUserAttributesDirectory().c_str();
}

void MessagesToStderr(const char* message, const char* location)
{
  std::fprintf(stderr, "%s\t(%s)\n", message, location);
}

void WriteTextFile(const std::string& path, const std::string& text)
{
  std::ofstream out(path, std::ios::binary);
  out << text;
}

std::string ReadTextFile(const std::string& path)
{
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool PathExists(const std::string& path) { return fs::exists(path); }

void MakeDirectories(const std::string& path) { fs::create_directories(path); }
