// The binary record of a mesh, "SW_Mesh:v1" (and "SW_Mesh:v0" on reading).
//
// Layout: version text; NumVertices (the record ends when 0); the Cartesian and honeycomb
// flags; the vertices as a vector array; NumCells (the record ends when 0); the normals as a
// vector array. A triangulated mesh then has NumCells again, 4 corner indices per cell, the
// count of segment integers and the integers. A grid has Nx, Ny and Dx, row height, Xll.x,
// Xll.y, Xor.x, Xor.y (f64; f32 in v0), and its cells are rebuilt.
//
// Failures name the place as "SW_Mesh:<line>" with the line numbers that the record's users
// know from the reports of earlier versions of the program.
#include <cmath>
#include <cstdint>

#include "AK_Record.h"
#include "SW_MeshEdit.h"
#include "SW_MeshRecord.h"
#include "SW_MeshFiles.h"

namespace {

constexpr const char* kPlace = "SW_Mesh";

// The lines a failed item names after "SW_Mesh:", one per test of the stream.
enum class At : int {
  // Writing: after the item named.
  SaveVertexCount = 3679, SaveCartesianFlag = 3681, SaveHoneycombFlag = 3682, SaveVertices = 3683,
  SaveCellCount = 3684, SaveNormals = 3687, SaveCells = 3691,
  SaveSegments = 3692,  // also after the grid numbers, the last items of a grid's record
  // Reading: the version text, then after the items named.
  LoadVersion = 3702, LoadVertexCount = 3704, LoadFlagsVerticesCellCount = 3711,
  LoadNormals = 3715, LoadGrid = 3729, LoadCellsAndSegments = 3782,
};

int WriteCells(AK_STREAM& s, const AK_Array<AK_Index4>& cells)
{
  for (const AK_Index4& cell : cells)
    if (AK_StreamWriteInts(s, cell._i, 4) != 4) return 1;
  return 0;
}

bool Finite(const double* v, int n)
{
  for (int i = 0; i < n; ++i)
    if (!std::isfinite(v[i])) return false;
  return true;
}

// Corners 0..2 name vertices, corner 3 a vertex or (negative) none; every cell has a
// projected area, without which interpolating in it is impossible.
bool CellsAreSound(const SW_MeshCore& mesh)
{
  const int32_t nv = mesh.NumVertices();
  for (int32_t c = 0; c < mesh.NumCells(); ++c) {
    const AK_Index4& cell = mesh._lcv[c];
    for (int k = 0; k < 3; ++k)
      if (cell[k] < 0 || cell[k] >= nv) return false;
    if (cell[3] >= nv) return false;
    const double area = mesh.CellAreaVector(c).z;
    if (area == 0 || !std::isfinite(area)) return false;
  }
  return true;
}

// Moves the storage of a whole record into the mesh (the mesh object's own part of the mesh
// stays what it is).
void MoveInto(SW_MeshCore& mesh, SW_MeshCore& m)
{
  mesh._nx = m._nx;
  mesh._ny = m._ny;
  mesh._dx = m._dx;
  mesh._xll = m._xll;
  mesh._upperRight = m._upperRight;
  mesh._cartesian = m._cartesian;
  mesh._honeycomb = m._honeycomb;
  mesh._rowHeight = m._rowHeight;
  mesh._x = std::move(m._x);
  mesh._lcv = std::move(m._lcv);
  mesh._lcc = std::move(m._lcc);
  mesh._vertexNeighbours = std::move(m._vertexNeighbours);
  mesh._vertexNormals = std::move(m._vertexNormals);
  mesh._segments = std::move(m._segments);
  mesh._totalArea = m._totalArea;
}

}  // namespace

int SW_SaveMeshRecord(AK_STREAM& s, AK_Object* owner, const SW_MeshCore& mesh)
{
  AK_RecordWriter w(s, owner, kPlace, 1);
  const int32_t nv = mesh.NumVertices(), nc = mesh.NumCells();
  auto failed = [&](At at) { return w.Finish(kPlace, static_cast<int>(at)); };

  if ((w << nv, s.Fail())) return failed(At::SaveVertexCount);
  if (nv == 0) return 0;
  const int32_t cartesian = mesh._cartesian ? 1 : 0;
  const int32_t honeycomb = !cartesian && mesh._honeycomb ? 1 : 0;
  if ((w << cartesian, s.Fail())) return failed(At::SaveCartesianFlag);
  if ((w << honeycomb, s.Fail())) return failed(At::SaveHoneycombFlag);
  if (AK_WriteVec3Array(s, mesh._x)) return failed(At::SaveVertices);
  if ((w << nc, s.Fail())) return failed(At::SaveCellCount);
  if (nc == 0) return 0;
  if (AK_WriteVec3Array(s, mesh._vertexNormals)) return failed(At::SaveNormals);

  if (!cartesian && !honeycomb) {
    w << nc;
    if (s.Fail() || WriteCells(s, mesh._lcv)) return failed(At::SaveCells);
    w << mesh._segments.Count();
    if (s.Fail() || AK_StreamWriteArray(s, mesh._segments)) return failed(At::SaveSegments);
    return 0;
  }
  // The grid numbers are the record's last items: a short write here is a failure too.
  w << mesh._nx << mesh._ny << mesh._dx << mesh._rowHeight << mesh._xll.x << mesh._xll.y
    << mesh._upperRight.x << mesh._upperRight.y;
  return s.Fail() ? failed(At::SaveSegments) : 0;
}

int SW_LoadMeshRecord(AK_STREAM& s, AK_Object* owner, SW_MeshCore& mesh)
{
  mesh.ClearGeometry();
  AK_RecordReader r(s, owner, kPlace);
  auto failed = [&](At at) {
    s.MarkFailed();
    mesh.ClearGeometry();
    return r.Finish(kPlace, static_cast<int>(at));
  };
  const int32_t limit = AK_RecordCountLimit;

  const int version = r.Version(1);
  if (version < 0) return failed(At::LoadVersion);
  const int32_t nv = r.Count(limit);
  if (r.Failed()) return failed(At::LoadVertexCount);
  if (nv == 0) return 0;

  SW_MeshCore m;
  int32_t cartesian = -1, honeycomb = -1;
  r >> cartesian >> honeycomb;
  if (!r.Failed()) AK_ReadVec3Array(s, m._x);
  const int32_t nc = r.Count(limit);
  if (r.Failed() || cartesian < 0 || cartesian > 1 || honeycomb < 0 || honeycomb > 1 ||
      (cartesian && honeycomb) || m._x.Count() != nv)
    return failed(At::LoadFlagsVerticesCellCount);
  if (nc == 0) {
    mesh._x = std::move(m._x);
    return 0;
  }

  AK_ReadVec3Array(s, m._vertexNormals);
  // A mesh whose normals were never computed (a point-set triangulation) stores none.
  const int32_t normals = m._vertexNormals.Count();
  if (r.Failed() || (normals != nv && normals != 0)) return failed(At::LoadNormals);

  if (cartesian || honeycomb) {
    double reals[6] = {0, 0, 0, 0, 0, 0};
    r >> m._nx >> m._ny;
    for (double& v : reals) {
      if (version == 0) {
        float f = 0;
        r >> f;
        v = f;
      } else {
        r >> v;
      }
    }
    const int64_t nx = m._nx, ny = m._ny;
    const int64_t cells = cartesian ? nx * ny : 2 * nx * ny;
    if (r.Failed() || nx < 1 || ny < 1 || (nx + 1) * (ny + 1) != nv || cells != nc ||
        !Finite(reals, 6) || !(reals[0] > 0) || (honeycomb && !(reals[1] > 0)))
      return failed(At::LoadGrid);
    m._dx = reals[0];
    m._rowHeight = reals[1];
    m._xll = AK_Vec2{reals[2], reals[3]};
    m._upperRight = AK_Vec2{reals[4], reals[5]};
    if (cartesian) {
      SW_SetGridCells(m);
      // A Cartesian grid's row height is that of its rows of vertices; a record written when
      // it held something else (another grid's, or nothing) has square cells.
      const double rows = m._x[1].y - m._x[0].y;
      if (!(m._rowHeight > 0 && std::fabs(m._rowHeight - rows) <= 1e-9 * m._rowHeight)) m._rowHeight = 0;
    } else {
      SW_SetHoneycombCells(m);
    }
    if (!CellsAreSound(m)) return failed(At::LoadGrid);
  } else {
    AK_Array<int32_t> corners, segments;
    const int32_t again = r.Count(limit);
    if (!r.Failed() && again == nc) AK_StreamReadArray(s, corners, 4 * nc);
    const int32_t ns = r.Count(limit);
    if (!r.Failed() && ns % 2 == 0) AK_StreamReadArray(s, segments, ns);
    if (r.Failed() || again != nc || corners.Count() != 4 * nc || segments.Count() != ns)
      return failed(At::LoadCellsAndSegments);
    m._lcv.Reserve(nc);
    m._lcv.SetCount(nc);
    for (int32_t c = 0; c < nc; ++c) {
      const int32_t* q = corners._elems + 4 * c;
      m._lcv[c] = AK_Index4(q[0], q[1], q[2], q[3] < 0 ? -1 : q[3]);
    }
    for (int32_t v : segments)
      if (v < 0 || v >= nv) return failed(At::LoadCellsAndSegments);
    m._segments = std::move(segments);
    if (!CellsAreSound(m)) return failed(At::LoadCellsAndSegments);
  }

  m.ComputeConnectivity();
  if (normals == 0) m.ComputeVertexNormals();
  m._totalArea = m.TotalAreaVector();
  MoveInto(mesh, m);
  return 0;
}
