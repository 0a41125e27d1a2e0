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

// The macro runs in the scratch directory, so that the files it names land there; the fuzzer
// reads its seeds and writes its corpus between inputs, by the paths it was given, so it gets
// its own directory back after every input.
class InDirectory {
public:
  explicit InDirectory(const std::string& dir) : _previous(std::filesystem::current_path())
  {
    std::filesystem::current_path(dir);
  }
  ~InDirectory()
  {
    std::error_code ignored;
    std::filesystem::current_path(_previous, ignored);
  }
  InDirectory(const InDirectory&) = delete;
  InDirectory& operator=(const InDirectory&) = delete;

private:
  std::filesystem::path _previous;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  FuzzSetUpOnce();
  std::string text(reinterpret_cast<const char*>(data), size);
  if (FuzzHasAnyOf(text, {"ProjectDir", "SaveAttributes", "Recording", "/dev", "/proc", "/sys"})) return 0;
  static const std::string dir = FuzzScratchDirectory("torvu_fuzz_macro");
  const std::string scratch = dir + "/fuzz.macro";
  FuzzWriteFile(scratch, text);
  InDirectory inScratch(dir);
  FuzzTree tree;
  g_commands = 0;
  AK_InterruptCallback = LimitCommands;  // negative repetitions run until something stops them
  tree.viewer->ExecMacro(scratch.c_str(), 0);
  return 0;
}
