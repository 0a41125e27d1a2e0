// Plays any text as a macro on a small tree. Commands that would write or delete files
// outside a scratch directory, or read devices, are left out of the input.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "FuzzSupport.h"

namespace {

int g_commands = 0;
int LimitCommands() { return ++g_commands > 500 ? 1 : 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  FuzzSetUpOnce();
  std::string text(reinterpret_cast<const char*>(data), size);
  if (FuzzHasAnyOf(text, {"ProjectDir", "SaveAttributes", "Recording", "/dev", "/proc", "/sys"})) return 0;
  static std::string scratch = [] {
    std::string dir = FuzzScratchDirectory("torvu_fuzz_macro");
    std::filesystem::current_path(dir);
    return dir + "/fuzz.macro";
  }();
  FuzzWriteFile(scratch, text);
  FuzzTree tree;
  g_commands = 0;
  AK_InterruptCallback = LimitCommands;  // negative repetitions run until something stops them
  tree.viewer->ExecMacro(scratch.c_str(), 0);
  return 0;
}
