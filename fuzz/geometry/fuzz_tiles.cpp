// Fuzz target: the grid tile merger. The first byte picks the NODATA mode; the rest is split
// at NUL bytes into up to four tile files, which are written to a private directory.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "SW_MeshFiles.h"

static void Quiet(const char*, const char*) {}

// A private directory for the tile files, removed when the process ends.
struct TileDirectory {
  std::filesystem::path path;
  TileDirectory()
      : path(std::filesystem::temp_directory_path() /
             ("torvu_fuzz_tiles_" + std::to_string(::getpid())))
  {
    std::filesystem::create_directories(path);
  }
  ~TileDirectory()
  {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
};

static const std::filesystem::path& Directory()
{
  static const TileDirectory dir;
  return dir.path;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  AK_MessageHook = Quiet;
  SW_MaxGridPoints = 1 << 18;
  if (size < 1) return 0;
  const int fill = data[0] & 1;
  std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
  std::string list;
  size_t start = 0;
  for (int tile = 0; tile < 4 && start <= rest.size(); ++tile) {
    size_t end = rest.find('\0', start);
    if (end == std::string::npos) end = rest.size();
    std::filesystem::path p = Directory() / ("tile" + std::to_string(tile) + ".asc");
    std::ofstream(p, std::ios::binary) << rest.substr(start, end - start);
    list += p.string() + "%AK_SEP%";
    start = end + 1;
  }
  SW_MeshCore mesh;
  AK_String error;
  if (SW_ReadGridTiles(mesh, list.c_str(), fill, error)) {
    if (mesh.NumCells() == 0 || mesh._lcc.Size() != mesh.NumCells()) std::abort();
    for (int32_t c = 0; c < mesh.NumCells(); ++c)
      for (int k = 0; k < 4; ++k)
        if (mesh._lcv[c][k] < 0 || mesh._lcv[c][k] >= mesh.NumVertices()) std::abort();
  } else if (error.IsEmpty()) {
    std::abort();
  }
  return 0;
}
