// The mesh record read from any bytes: a record that fails leaves the mesh empty; one that
// passes gives a mesh whose indices are in range, whose neighbour table is mutual, whose
// cells interpolate at their centres, and whose contour lines and flips run to their end.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "SW_ContourLines.h"
#include "SW_MeshEdit.h"
#include "SW_MeshRecord.h"

namespace {

bool Sound(const SW_MeshCore& m)
{
  const int32_t nv = m.NumVertices(), nc = m.NumCells();
  if (nc > 0 && (m._lcc.Size() != nc || m._vertexNormals.Size() != nv)) return false;
  for (int32_t c = 0; c < nc; ++c) {
    const int n = m.CornerCount(c);
    for (int k = 0; k < n; ++k) {
      if (m._lcv[c][k] < 0 || m._lcv[c][k] >= nv) return false;
      int32_t d = m._lcc[c][k];
      if (d < -1 || d >= nc) return false;
      if (d >= 0 && m._lcc[d][0] != c && m._lcc[d][1] != c && m._lcc[d][2] != c && m._lcc[d][3] != c)
        return false;
    }
    // Interpolating at the centre needs a cell with area (else a fatal assertion).
    double w[4];
    AK_Vec3 centre = m.CellCentre(c);
    m.CellWeights(c, centre, w);
    m.FindCell(centre, c);
  }
  for (int32_t v : m._segments)
    if (v < 0 || v >= nv) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  FuzzSetUpOnce();
  std::string file = FuzzScratchDirectory("fuzz_mesh_record") + "/SW_Mesh.dat";
  FuzzWriteFile(file, std::string(reinterpret_cast<const char*>(data), size));
  AK_Object owner("mesh", nullptr);
  SW_MeshCore mesh;
  AK_STREAM stream(file.c_str(), "rb");
  if (SW_LoadMeshRecord(stream, &owner, mesh) != 0) {
    if (mesh.NumVertices() != 0 || mesh.NumCells() != 0) __builtin_trap();
    return 0;
  }
  if (!Sound(mesh)) __builtin_trap();
  if (mesh.NumCells() > 0 && mesh.NumCells() < 5000) {
    AK_Array<float> z;
    for (const AK_Vec3& p : mesh._x) z.Append(static_cast<float>(p.z));
    AK_Array<double> levels;
    levels.Append(z[0]);
    levels.Append(0.5 * (z[0] + z.Last()));
    SW_ContourLineSet::Compute(mesh, z, levels);
    SW_MinimizeCurvature(mesh);
  }
  return 0;
}
