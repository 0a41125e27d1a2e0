#include "AK_Ppm.h"

#include "AK_Files.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

struct AK_FreeDeleter {
  void operator()(unsigned char* p) const { std::free(p); }
};

// Header lines are read through a 64-byte buffer; lines that begin with "#" are
// comments. A longer line arrives in pieces, each piece counting as a line.
bool AK_PpmHeaderLine(std::FILE* f, char (&line)[64]) {
  do {
    if (!std::fgets(line, sizeof line, f)) return false;
  } while (line[0] == '#');
  return true;
}

// One decimal integer as "%d" reads it (leading white space, optional sign);
// a number outside the int range counts as no number.
bool AK_PpmInt(const char*& p, int& value) {
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(p, &end, 10);
  if (end == p || errno == ERANGE || v < INT_MIN || v > INT_MAX) return false;
  value = static_cast<int>(v);
  p = end;
  return true;
}

// Bytes between the current position and the end, or -1 when unknown.
long long AK_BytesLeft(std::FILE* f) {
  const long here = std::ftell(f);
  if (here < 0 || std::fseek(f, 0, SEEK_END) != 0) return -1;
  const long end = std::ftell(f);
  if (std::fseek(f, here, SEEK_SET) != 0) return -1;
  return end < here ? -1 : static_cast<long long>(end - here);
}

}  // namespace

int ReadPpm(const char* path, int& width, int& height, int& depth, unsigned char*& data) {
  AK_File file(path, "rb");
  if (!file) return AK_PPM_CANNOT_OPEN;
  std::FILE* f = file;
  char line[64];

  if (!AK_PpmHeaderLine(f, line)) return AK_PPM_BAD_MAGIC;
  if (std::strcmp(line, "P6\n") != 0 && std::strcmp(line, "P6\r\n") != 0) return AK_PPM_BAD_MAGIC;

  int w = 0, h = 0;
  if (!AK_PpmHeaderLine(f, line)) return AK_PPM_BAD_SIZE;
  const char* p = line;
  if (!AK_PpmInt(p, w) || !AK_PpmInt(p, h)) return AK_PPM_BAD_SIZE;
  if (w < 1 || h < 1) return AK_PPM_BAD_SIZE;

  int maxValue = 0;
  if (!AK_PpmHeaderLine(f, line)) return AK_PPM_BAD_MAXVAL;
  p = line;
  if (!AK_PpmInt(p, maxValue)) return AK_PPM_BAD_MAXVAL;
  if (maxValue < 1 || maxValue > 65535) return AK_PPM_BAD_MAXVAL;
  const int bits = maxValue < 256 ? 8 : 16;

  // Sizes are checked against what the file holds before anything is allocated.
  const uint64_t bytesPerPixel = 3 * static_cast<uint64_t>(bits) / 8;
  const uint64_t pixels = static_cast<uint64_t>(w) * static_cast<uint64_t>(h);
  if (pixels > SIZE_MAX / bytesPerPixel) return AK_PPM_BAD_MAXVAL;
  const size_t rowBytes = static_cast<size_t>(w) * bytesPerPixel;
  const size_t total = static_cast<size_t>(pixels * bytesPerPixel);
  const long long left = AK_BytesLeft(f);
  if (left >= 0 && static_cast<unsigned long long>(left) < total) return AK_PPM_TRUNCATED;

  std::unique_ptr<unsigned char, AK_FreeDeleter> buffer(
      static_cast<unsigned char*>(std::malloc(total)));
  if (!buffer) return AK_PPM_BAD_MAXVAL;
  // The file's first row is the top of the picture: it becomes the last buffer row.
  for (int row = h - 1; row >= 0; --row) {
    if (std::fread(buffer.get() + static_cast<size_t>(row) * rowBytes, 1, rowBytes, f) != rowBytes)
      return AK_PPM_TRUNCATED;
  }
  width = w;
  height = h;
  depth = bits;
  data = buffer.release();
  return AK_PPM_OK;
}

int WritePpm(const char* path, int width, int height, int depth, const unsigned char* data) {
  if (depth > 16) return AK_PPM_BAD_IMAGE;
  if (width < 1 || height < 1 || !data) return AK_PPM_BAD_IMAGE;
  const size_t bytesPerPixel = depth <= 8 ? 3 : 6;
  const size_t rowBytes = static_cast<size_t>(width) * bytesPerPixel;
  if (static_cast<uint64_t>(height) > SIZE_MAX / rowBytes) return AK_PPM_BAD_IMAGE;

  AK_File f = AK_File::Replacing(path, "wb");
  if (!f) return AK_PPM_CANNOT_OPEN;
  bool ok = std::fprintf(f, "P6\n%d %d\n%d\n", width, height, depth <= 8 ? 255 : 65535) > 0;
  for (int row = height - 1; ok && row >= 0; --row)
    ok = std::fwrite(data + static_cast<size_t>(row) * rowBytes, 1, rowBytes, f) == rowBytes;
  if (!f.Close()) ok = false;
  return ok ? AK_PPM_OK : AK_PPM_WRITE_FAILED;
}
