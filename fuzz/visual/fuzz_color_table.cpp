// A colour-table file read from any bytes: every colour read is three channels in [0, 1].
#include <cstddef>
#include <cstdint>
#include <string>

#include "AK_ColorRamp.h"
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  FuzzSetUpOnce();
  const std::string file = FuzzScratchDirectory("fuzz_color_table") + "/table.rgb";
  FuzzWriteFile(file, std::string(reinterpret_cast<const char*>(data), size));
  AK_File in(file.c_str(), "r");
  AK_Array<float> table;
  const int colors = AK_ReadColorTable(in, table);
  if (table.Count() != 3 * colors) __builtin_trap();
  for (float c : table)
    if (!(c >= 0 && c <= 1)) __builtin_trap();
  return 0;
}
