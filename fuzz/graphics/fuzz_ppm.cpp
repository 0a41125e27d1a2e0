// Feeds arbitrary bytes to the PPM reader as a file; whatever it accepts must
// write back and read back to the same image.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "AK_Ppm.h"

namespace {
std::string TempPath(const char* tag) {
  return "/tmp/torvu_fuzz_ppm_" + std::to_string(::getpid()) + "_" + tag + ".ppm";
}

// The two image files, removed when the process ends.
struct TempFiles {
  const std::string in = TempPath("in"), out = TempPath("out");
  ~TempFiles() {
    std::remove(in.c_str());
    std::remove(out.c_str());
  }
};
const TempFiles gFiles;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  const std::string& in = gFiles.in;
  const std::string& out = gFiles.out;
  std::FILE* f = std::fopen(in.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(bytes, 1, size, f);
  std::fclose(f);

  int w = -1, h = -1, depth = -1;
  unsigned char* data = nullptr;
  if (ReadPpm(in.c_str(), w, h, depth, data) != 0) {
    if (data) std::abort();  // a failure hands out no buffer
    return 0;
  }
  if (w < 1 || h < 1 || (depth != 8 && depth != 16) || !data) std::abort();
  const size_t bytesPerImage = size_t(w) * size_t(h) * (depth == 8 ? 3 : 6);
  if (bytesPerImage > size) std::abort();  // never more pixels than the file held
  if (WritePpm(out.c_str(), w, h, depth, data) != 0) std::abort();
  int w2 = -1, h2 = -1, depth2 = -1;
  unsigned char* again = nullptr;
  if (ReadPpm(out.c_str(), w2, h2, depth2, again) != 0) std::abort();
  if (w2 != w || h2 != h || depth2 != depth || std::memcmp(data, again, bytesPerImage) != 0)
    std::abort();
  std::free(again);
  std::free(data);
  return 0;
}
