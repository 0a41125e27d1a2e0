// The records of polylines and polyline sets read from any bytes (the first byte chooses
// the class): counts and texts from the file are never trusted, and a record that fails
// leaves the object as it was.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "SW_PolylineSet.h"
#include "SW_Polygon.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  if (size < 1) return 0;
  FuzzSetUpOnce();
  const std::string file = FuzzScratchDirectory("fuzz_line_records") + "/record.dat";
  FuzzWriteFile(file, std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
  AK_STREAM stream(file.c_str(), "rb");
  if (data[0] % 2) {
    SW_PolylineSet set("set", nullptr);
    set.AddMember(AK_NamedPolyline(), "kept");
    if (set.LoadData(stream) != 0 && !(set.Count() == 1 && set.Name(0) == "kept")) __builtin_trap();
    set.Update();
  } else {
    SW_Polygon polygon("polygon", nullptr);
    polygon.Set("AppendPoint", "1 2 3");
    if (polygon.LoadData(stream) != 0 && polygon.Points().Count() != 1) __builtin_trap();
    polygon.Set("UpdateTrueArea", "");
    polygon.Update();
  }
  return 0;
}
