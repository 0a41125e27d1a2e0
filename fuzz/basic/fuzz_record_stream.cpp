// Reads any file through the record stream. The file's own bytes choose which item comes next
// (one selector byte before each item), so the fuzzer reaches every reader with any length or
// count in front of it; gzip files and plain files are both read.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "AK_Basic.h"

namespace {
void Quiet(const char*, const char*) {}

// The file each input is written to, removed when the process ends.
struct TempFile {
  std::string path = "/tmp/torvu_fuzz_record_" + std::to_string(getpid()) + ".dat";
  ~TempFile() { std::remove(path.c_str()); }
};
const TempFile gFile;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  AK_MessageHook = Quiet;
  const std::string& path = gFile.path;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  if (size) std::fwrite(data, 1, size, f);
  std::fclose(f);

  AK_STREAM s(path.c_str(), "rb");
  if (!s.IsOpen()) return 0;
  for (int step = 0; step < 64 && !s.Fail(); ++step) {
    unsigned char selector = 0;
    if (AK_StreamReadBytes(s, &selector, 1) != 1) break;
    switch (selector % 9) {
      case 0: { AK_String tag; s >> tag; break; }
      case 1: { int32_t v; s >> v; break; }
      case 2: { float v; s >> v; break; }
      case 3: { double v; s >> v; break; }
      case 4: { AK_Array<AK_Vec3> points; AK_ReadVec3Array(s, points); break; }
      case 5: {
        int32_t n = 0;
        s >> n;
        AK_Array<int32_t> items;
        if (!s.Fail()) AK_StreamReadArray(s, items, n);
        break;
      }
      case 6: {
        int32_t n = 0;
        s >> n;
        AK_Array<float> items;
        if (!s.Fail()) AK_StreamReadArray(s, items, n);
        break;
      }
      case 7: { double v[16]; AK_StreamReadDoubles(s, v, selector % 17); break; }
      case 8: {
        int32_t n = 0;
        s >> n;
        AK_Array<unsigned char> bytes;
        if (!s.Fail()) AK_StreamReadArray(s, bytes, n);
        break;
      }
    }
  }
  // Only read: its close decides nothing.
  (void)AK_StreamClose(s);
  return 0;
}
