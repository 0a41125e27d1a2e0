// A class's binary record read from any bytes: versions, counts and texts from the file are
// never trusted, and a record that fails leaves the object as it was.
#include <cstddef>
#include <cstdint>
#include <string>

#include "AK_Record.h"
#include "FuzzSupport.h"

namespace {

class Sample : public AK_Object {
public:
  using AK_Object::AK_Object;
  AK_String _name = "unchanged";
  AK_Array<int32_t> _cells;
  AK_Array<double> _heights;

  int LoadData(AK_STREAM& stream) override
  {
    AK_RecordReader r(stream, this, "Sample");
    AK_String name;
    AK_Array<int32_t> cells;
    AK_Array<double> heights;
    switch (r.Version(2)) {
      case 0: r >> name; break;
      case 1: r >> name; r.Array(cells, 1 << 16); break;
      case 2: r >> name; r.Array(cells, 1 << 16); r.Array(heights, 1 << 20); break;
    }
    return r.Finish(__FILE__, __LINE__, [&] {
      _name = name;
      _cells = cells;
      _heights = heights;
    });
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  FuzzSetUpOnce();
  std::string file = FuzzScratchDirectory("fuzz_record") + "/Sample.dat";
  FuzzWriteFile(file, std::string(reinterpret_cast<const char*>(data), size));
  Sample sample("s", nullptr);
  AK_STREAM stream(file.c_str(), "rb");
  if (sample.LoadData(stream) != 0 && !(sample._name == "unchanged" && sample._cells.Count() == 0))
    __builtin_trap();
  return 0;
}
