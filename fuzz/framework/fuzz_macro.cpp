// Plays any text as a macro on a small tree. Commands that would write or delete files
// outside a scratch directory, or read devices, are left out of the input.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "FuzzSupport.h"

namespace {

int g_commands = 0;
int LimitCommands() { return ++g_commands > 500 ? 1 : 0; }

bool Harmful(const std::string& text)
{
  for (const char* word : {"ProjectDir", "SaveAttributes", "Recording", "/dev", "/proc", "/sys"})
    if (text.find(word) != std::string::npos) return true;
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  FuzzSetUpOnce();
  std::string text(reinterpret_cast<const char*>(data), size);
  if (Harmful(text)) return 0;
  static std::string scratch = [] {
    auto dir = std::filesystem::temp_directory_path() / "torvu_fuzz_macro";
    std::filesystem::create_directories(dir);
    std::filesystem::current_path(dir);
    return (dir / "fuzz.macro").string();
  }();
  if (std::FILE* f = std::fopen(scratch.c_str(), "wb")) {
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
  }
  FuzzTree tree;
  g_commands = 0;
  AK_InterruptCallback = LimitCommands;  // negative repetitions run until something stops them
  tree.viewer->ExecMacro(scratch.c_str(), 0);
  return 0;
}
