#include "FrameworkTestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

std::vector<std::string>& Recorded()
{
  static std::vector<std::string> messages;
  return messages;
}

void RecordMessage(const char* message, const char*) { Recorded().push_back(message ? message : ""); }

}  // namespace

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

void WriteTextFile(const std::string& path, const std::string& text) { WriteFile(path, text); }

std::string ReadTextFile(const std::string& path) { return ReadFile(path); }

bool PathExists(const std::string& path) { return fs::exists(path); }

void MakeDirectories(const std::string& path) { fs::create_directories(path); }
