// Fuzz target of the area-file readers. The first byte chooses ".rel" or ".res", the rest
// is the file; every record read must hold what its form allows.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "SW_AreaFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  if (size < 1) return 0;
  std::istringstream in(std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
  AK_String error;
  if (data[0] % 2 == 0) {
    SW_RelRecord record;
    while (SW_ReadRelRecord(in, record, error)) {
      if (!std::isfinite(record.depth) || !std::isfinite(record.density)) __builtin_trap();
    }
  } else {
    SW_ResRecord record;
    while (SW_ReadResRecord(in, record, error)) {
      if (!(record.spacing > 0) || !std::isfinite(record.spacing)) __builtin_trap();
    }
  }
  return 0;
}
