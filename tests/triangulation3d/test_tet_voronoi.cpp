// Voronoi cells of the tetrahedral mesh: closed cells, exact cube cells on a grid, and the
// diagnostics' debug files.
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <utility>

#include "TestSupport.h"
#include "TetMeshes.h"

using namespace tetmesh_test;

namespace {

// The debug files land in the current directory: each test gets its own.
struct InScratchDir {
  ScratchDir dir;
  std::filesystem::path previous = std::filesystem::current_path();
  InScratchDir() { std::filesystem::current_path(dir.Path()); }
  ~InScratchDir() { std::filesystem::current_path(previous); }
};

// Per cell: the signed volume enclosed by its faces (outward normals) and the number of
// its directed edges that no opposite edge of the same cell closes.
struct CellFigures {
  std::map<int32_t, double> volume;
  std::map<int32_t, int> openEdges;
};

CellFigures Cells(const AK_VoronoiCells& c)
{
  CellFigures out;
  std::map<int32_t, std::map<std::pair<int32_t, int32_t>, int>> edges;
  for (int32_t f = 0; f < c.faces.Size(); ++f)
    for (int side = 0; side < 2; ++side) {
      const int32_t cell = side == 0 ? c.ic0s[f] : c.ic1s[f];
      if (cell < 0) continue;
      AK_Array<int32_t> ring = c.faces[f];
      if (side == 1) ReverseIntArray(ring);
      const int32_t n = ring.Size();
      for (int32_t i = 0; i < n; ++i) {
        int32_t u = ring[i], w = ring[(i + 1) % n];
        edges[cell][{u, w}] += 1;
        edges[cell][{w, u}] -= 1;
        if (i > 0 && i + 1 < n)
          out.volume[cell] += c.x[ring[0]].Dot(c.x[u].Cross(c.x[w])) / 6;
      }
    }
  for (auto& [cell, e] : edges) {
    int open = 0;
    for (auto& [key, balance] : e) open += balance != 0;
    out.openEdges[cell] = open;
  }
  return out;
}

TEST(TetVoronoi, CellsAreClosedAndFillTheBox)
{
  struct Case {
    const char* name;
    int points;
    double cosFeature;
  } cases[] = {{"box only", 0, 2.0}, {"random, no features", 300, -1.0},
               {"random, box edges are features", 300, 0.5}};
  InScratchDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AK_Points3 points;
    RandomPoints(c.points, 0.05, 0.95, points, 21);
    DelaunayTetMesh mesh;
    BuildUnitBox(mesh, points);
    AK_VoronoiCells cells;
    mesh.BuildVoronoiMesh(cells, c.cosFeature);
    EXPECT_EQ(mesh.CheckVoroMesh(cells), 0);
    CellFigures f = Cells(cells);
    EXPECT_EQ(int(f.volume.size()), mesh.NumNodes());
    for (auto& [cell, open] : f.openEdges) EXPECT_EQ(open, 0) << "cell " << cell;
    int kinds[3] = {0, 0, 0};
    for (int32_t k : cells.faceKinds)
      if (k >= 0) ++kinds[k];
    EXPECT_EQ(kinds[1] + kinds[2] > 0, c.cosFeature > -1);
  }
}

TEST(TetVoronoi, GridNodesGetCubeCells)
{
  InScratchDir dir;
  AK_Points3 points;
  GridPoints(5, 0.1, 0.2, points);
  DelaunayTetMesh mesh;
  BuildUnitBox(mesh, points);
  AK_VoronoiCells cells;
  mesh.BuildVoronoiMesh(cells, 2.0);
  CellFigures f = Cells(cells);
  int inner = 0;
  for (int32_t n = 8; n < mesh.NumNodes(); ++n) {
    const AK_Vec3& p = mesh._p[n];
    if (p.x < 0.2 || p.x > 0.8 || p.y < 0.2 || p.y > 0.8 || p.z < 0.2 || p.z > 0.8) continue;
    ++inner;
    EXPECT_NEAR(f.volume[n], 0.008, 1e-12) << "node " << n;
    EXPECT_EQ(f.openEdges[n], 0);
  }
  EXPECT_EQ(inner, 27);
  // the diagnostic finds the grid's cells sound and leaves its file behind
  MessageCapture messages;
  mesh.VoronoiDiagramInfo();
  bool sound = false;
  for (const std::string& m : messages.messages)
    sound = sound || m.find("0 negative part tets\n0 non-planar faces") != std::string::npos;
  EXPECT_TRUE(sound);
  std::ifstream merged("merged_pts.grf");
  std::string kind, colour;
  double coords[6];
  int lines = 0;
  while (merged >> kind >> colour) {
    ++lines;
    ASSERT_TRUE(kind == "p" || kind == "l");
    for (int i = 0; i < (kind == "l" ? 6 : 3); ++i) ASSERT_TRUE(merged >> coords[i]);
  }
  EXPECT_GT(lines, 0);  // the grid's cospherical tetrahedra share centres
}

TEST(TetVoronoi, GrfLinesKeepFullPrecision)
{
  std::ostringstream s;
  AK_WriteGrfPoint(s, AK_Vec3(0.1, 1.0 / 3, 2), "red");
  AK_WriteGrfPoint(s, AK_Vec3(1, 2, 3), "blue", 7);
  AK_WriteGrfLine(s, AK_Vec3(0, 0, 0), AK_Vec3(1e-20, 2, 3), "green");
  EXPECT_EQ(s.str(), "p red 0.10000000000000001 0.33333333333333331 2\n"
                     "p blue 1 2 3\nn blue 7 1 2 3\n"
                     "l green 0 0 0 9.9999999999999995e-21 2 3\n");
}

}  // namespace
