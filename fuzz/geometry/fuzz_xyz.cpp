// Fuzz target of the "xyz" point reader: the text is fed in blocks of varying size, and the
// points it gives are triangulated (a few hundred at most, to keep runs fast).
#include <cstddef>
#include <cstdint>

#include "SW_MeshCore.h"
#include "SW_MeshPoints.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  AK_MessageHook = [](const char*, const char*) {};
  SW_MeshCore mesh;
  SW_XyzParser parser(mesh._x);
  size_t chunk = size > 0 ? 1 + data[0] % 17 : 1;
  for (size_t i = 0; i < size; i += chunk) {
    size_t n = size - i < chunk ? size - i : chunk;
    parser.Feed(reinterpret_cast<const char*>(data) + i, n);
  }
  parser.Finish();
  if (mesh.NumVertices() <= 400) {
    mesh.TriangulatePoints();
    for (int32_t c = 0; c < mesh.NumCells(); ++c)
      for (int k = 0; k < 3; ++k)
        if (mesh._lcv[c][k] < 0 || mesh._lcv[c][k] >= mesh.NumVertices()) __builtin_trap();
  }
  return 0;
}
