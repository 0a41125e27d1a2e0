// Fuzz target: the tbp triangle file reader.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "SW_MeshFiles.h"

static void Quiet(const char*, const char*) {}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  AK_MessageHook = Quiet;
  SW_TokenReader in(reinterpret_cast<const char*>(data), size);
  SW_MeshCore mesh;
  AK_String error;
  if (SW_ReadTbpFrom(mesh, in, "fuzz.tbp", error)) {
    for (int32_t c = 0; c < mesh.NumCells(); ++c) {
      for (int k = 0; k < 3; ++k)
        if (mesh._lcv[c][k] < 0 || mesh._lcv[c][k] >= mesh.NumVertices()) std::abort();
      if (mesh._lcv[c][3] != -1 || !(mesh.CellAreaVector(c).z > 0)) std::abort();
    }
  } else if (error.IsEmpty() || mesh.NumVertices() != 0 || mesh.NumCells() != 0) {
    std::abort();
  }
  return 0;
}
