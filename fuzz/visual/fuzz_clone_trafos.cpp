// Feeds arbitrary text to the copy description of 3-D objects: the block reversal keeps
// every line, and the walk ends with every push popped and never pops more than it pushed.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "AK_VisObj3d_CloneTrafos.h"

namespace {
void Silent(const char*, const char*) {}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
  AK_MessageHook = Silent;
  std::string input(reinterpret_cast<const char*>(bytes), size);
  input.erase(std::find(input.begin(), input.end(), '\0'), input.end());
  const AK_String text(input.c_str());
  AK_Array<AK_String> pieces;
  const int lines = text.Split('\n', pieces);
  const AK_String reversed = ReverseCloneTrafoBlocks(text);
  if (CountCloneTrafoLines(reversed) != lines) std::abort();

  long depth = 0, clones = 0;
  CloneTrafoOps ops;
  ops.leaf = [&](int mirrored) {
    if (mirrored != 0 && mirrored != 1) std::abort();
    ++clones;
  };
  ops.push = [&] { ++depth; };
  ops.pop = [&] {
    if (--depth < 0) std::abort();
  };
  ops.rotate = [](float, float, float, float) {};
  ops.translate = ops.mirror = ops.scale = [](float, float, float) {};
  ParseCloneTrafos(reversed, ops, 0, 0);
  if (depth != 0 || clones > 10000000) std::abort();
  return 0;
}
