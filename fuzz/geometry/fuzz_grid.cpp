// Fuzz target: the ESRI ASCII grid reader with halvings and both NODATA modes. The first
// byte picks the halvings (bits 0-1) and the NODATA mode (bit 2); the rest is the file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "SW_MeshFiles.h"

static void Quiet(const char*, const char*) {}

static void CheckMesh(const SW_MeshCore& m)
{
  for (int32_t c = 0; c < m.NumCells(); ++c)
    for (int k = 0; k < m.CornerCount(c); ++k)
      if (m._lcv[c][k] < 0 || m._lcv[c][k] >= m.NumVertices()) std::abort();
  if (m.NumCells() > 0 && m._lcc.Size() != m.NumCells()) std::abort();
  if (m.NumCells() > 0 && m._vertexNormals.Size() != m.NumVertices()) std::abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  AK_MessageHook = Quiet;
  SW_MaxGridPoints = 1 << 20;
  if (size < 1) return 0;
  const int halvings = data[0] & 3;
  const int fill = (data[0] >> 2) & 1;
  SW_TokenReader in(reinterpret_cast<const char*>(data + 1), size - 1);
  SW_MeshCore mesh;
  AK_String error;
  int ok = SW_ReadAsciiGridFrom(mesh, in, "fuzz.asc", halvings, fill, error);
  if (ok) {
    if (!error.IsEmpty() || mesh.NumCells() == 0) std::abort();
    CheckMesh(mesh);
  } else {
    if (error.IsEmpty() || mesh.NumVertices() != 0 || mesh.NumCells() != 0) std::abort();
  }
  return 0;
}
