// A curve's text table and its binary record, read from any bytes. The first byte chooses
// the reader. A table's curves hold no more points than it has lines; a record that fails
// leaves the curve's points as they were.
#include <cstddef>
#include <cstdint>
#include <string>

#include "AK_Graph2d.h"
#include "AK_GraphTable.h"
#include "AK_VisualClasses.h"
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  static bool registered = false;
  FuzzSetUpOnce();
  if (!registered) {
    AK_RegisterVisualClasses();
    registered = true;
  }
  if (size < 1) return 0;
  const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::string file = FuzzScratchDirectory("fuzz_graph") + "/input";
  FuzzWriteFile(file, bytes);
  if (data[0] & 1) {
    AK_File in(file.c_str(), "r");
    AK_GraphTable table;
    AK_ReadGraphTable(in, table);
    size_t lines = 1;
    for (char c : bytes) lines += c == '\n';
    if (table.curves.size() != static_cast<size_t>(table.columns > 0 ? table.columns - 1 : 0))
      __builtin_trap();
    for (const AK_Array<AK_Vec2>& curve : table.curves)
      if (static_cast<size_t>(curve.Count()) > lines) __builtin_trap();
  } else {
    AK_Graph2d curve("c", nullptr);
    curve.AppendPoint(1, 2);
    curve.AppendPoint(3, 4);
    AK_STREAM in(file.c_str(), "rb");
    if (curve.LoadData(in) != 0 && curve.Points().Count() != 2) __builtin_trap();
  }
  return 0;
}
