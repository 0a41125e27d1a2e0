// The binary record "SW_Mesh:v1": round trips of every mesh kind, the bytes of small records
// by hand, and damaged records (truncated at every byte, bad counts and indices), which must
// fail with the record's error text and leave the mesh empty.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "AK_Framework.h"
#include "SW_MeshEdit.h"
#include "SW_MeshRecord.h"
#include "TestMeshes.h"
#include "TestSupport.h"

using namespace meshtest;

namespace {

// Items as the record's layout says (the test hosts are little-endian, like the record).
struct Bytes {
  std::string s;
  template <class T>
  Bytes& N(T v)
  {
    s.append(reinterpret_cast<const char*>(&v), sizeof v);
    return *this;
  }
  Bytes& I(int32_t v) { return N(v); }
  Bytes& D(double v) { return N(v); }
  Bytes& T(const char* text) { return I(static_cast<int32_t>(std::strlen(text))), s += text, *this; }
  Bytes& V(const AK_Array<AK_Vec3>& points)
  {
    I(points.Count());
    for (const AK_Vec3& p : points) D(p.x).D(p.y).D(p.z);
    return *this;
  }
};

class MeshRecord : public ::testing::Test {
protected:
  std::string File() const { return _dir / "mesh.dat"; }
  std::string Save(const SW_MeshCore& m)
  {
    AK_STREAM out(File().c_str(), "wb");
    EXPECT_EQ(SW_SaveMeshRecord(out, &_owner, m), 0);
    EXPECT_EQ(AK_StreamClose(out), 0);
    AK_STREAM in(File().c_str(), "rb");
    std::string bytes;
    char buffer[4096];
    for (int64_t n; (n = in.GetRaw(buffer, sizeof buffer)) > 0;) bytes.append(buffer, static_cast<size_t>(n));
    return bytes;
  }
  int Load(const std::string& bytes, SW_MeshCore& m)
  {
    {
      AK_STREAM out(File().c_str(), "wb");
      out.PutRaw(bytes.data(), static_cast<int64_t>(bytes.size()));
      EXPECT_EQ(AK_StreamClose(out), 0);
    }
    AK_STREAM in(File().c_str(), "rb");
    AK_ErrorText = "";
    return SW_LoadMeshRecord(in, &_owner, m);
  }
  // A damaged record fails with the text naming the line, and leaves the mesh empty.
  void ExpectRejected(const std::string& bytes, const char* line)
  {
    SW_MeshCore m;
    MakeCartesian(m, 2, 2, 1, 0, 0, [](double, double) { return 1.0; });
    EXPECT_EQ(Load(bytes, m), 1);
    EXPECT_EQ(std::string(AK_ErrorText), std::string("root: IO error at SW_Mesh:") + line);
    EXPECT_EQ(m.NumVertices() + m.NumCells() + m._lcc.Size() + m.IsGrid(), 0);
  }

  ScratchDir _dir;
  AK_Object _owner{"root", nullptr};
};

// One counter-clockwise triangle with one break-line segment.
SW_MeshCore Triangle()
{
  SW_MeshCore m;
  for (AK_Vec3 p : {AK_Vec3(0, 0, 1), AK_Vec3(2, 0, 1), AK_Vec3(0, 2, 1)}) m._x.Append(p);
  AddCell(m, 0, 1, 2);
  m._segments.Append(0), m._segments.Append(1);
  m.ComputeConnectivity();
  m.ComputeVertexNormals();
  return m;
}

std::string TriangleBytes(const SW_MeshCore& m)
{
  Bytes b;
  b.T("SW_Mesh:v1").I(3).I(0).I(0).V(m._x).I(1).V(m._vertexNormals);
  b.I(1).I(0).I(1).I(2).I(-1).I(2).I(0).I(1);
  return b.s;
}

}  // namespace

TEST_F(MeshRecord, RoundTripOfEveryKind)
{
  SW_MeshCore cartesian, honeycomb, triangles, points, empty;
  MakeCartesian(cartesian, 7, 4, 2.5, 100, 200, [](double x, double y) { return x * 0.1 - y * 0.3; });
  MakeHoneycomb(honeycomb, 5, 6, 3, -10, 4);
  MakeJitteredTriangles(triangles, 6, 60, 3, [](double x, double y) { return std::sin(x) * y; });
  for (int32_t i = 0; i < 10; ++i) triangles._segments.Append(i);
  points._x.Append(AK_Vec3(1, 2, 3));
  // The mesh read back writes the same bytes, and its rebuilt neighbours and area are those
  // of the mesh written.
  for (SW_MeshCore* m : {&cartesian, &honeycomb, &triangles, &points, &empty}) {
    const std::string bytes = Save(*m);
    SW_MeshCore back;
    ASSERT_EQ(Load(bytes, back), 0) << AK_ErrorText.c_str();
    EXPECT_EQ(Save(back), bytes);
    ASSERT_EQ(back._lcc.Size(), m->_lcc.Size());
    for (int32_t c = 0; c < m->_lcc.Size(); ++c) EXPECT_EQ(back._lcc[c], m->_lcc[c]);
    EXPECT_NEAR(back._totalArea.z, m->_totalArea.z, 1e-9 * std::fabs(m->_totalArea.z));
  }
  // A plane of oblong cells keeps its row height; one recorded with a row height that is not
  // its rows' (written before planes had one) reads as square cells.
  SW_MeshCore plane, back2;
  AK_String error;
  ASSERT_TRUE(SW_SetToPlane(plane, 5, 4, 50, 20, 30, error));
  ASSERT_EQ(Load(Save(plane), back2), 0);
  EXPECT_EQ(back2._rowHeight, 5);
  EXPECT_EQ(back2.FindCell(47, 18, -1), plane.FindCell(47, 18, -1));
  SW_MeshCore square;
  MakeCartesian(square, 3, 3, 2, 0, 0, [](double, double) { return 0.0; });
  square._rowHeight = 1.7320508;  // a honeycomb's, left over
  ASSERT_EQ(Load(Save(square), back2), 0);
  EXPECT_EQ(back2._rowHeight, 0);
  EXPECT_EQ(back2.FindCell(1, 5, -1), 2);

  // A mesh whose normals were never computed gets them on reading.
  triangles._vertexNormals.Clear();
  SW_MeshCore back;
  ASSERT_EQ(Load(Save(triangles), back), 0);
  EXPECT_EQ(back._vertexNormals.Size(), back.NumVertices());
}

TEST_F(MeshRecord, BytesByHand)
{
  EXPECT_EQ(Save(SW_MeshCore()), Bytes().T("SW_Mesh:v1").I(0).s);  // 18 bytes
  SW_MeshCore m = Triangle();
  EXPECT_EQ(Save(m), TriangleBytes(m));

  SW_MeshCore grid;
  MakeCartesian(grid, 1, 1, 5, 10, 20, [](double, double) { return 0.0; });
  grid._rowHeight = 0;
  EXPECT_EQ(Save(grid), Bytes().T("SW_Mesh:v1").I(4).I(1).I(0).V(grid._x).I(1).V(grid._vertexNormals)
                            .I(1).I(1).D(5).D(0).D(10).D(20).D(15).D(25).s);
  // Version 0 held the grid reals as f32.
  SW_MeshCore back;
  ASSERT_EQ(Load(Bytes().T("SW_Mesh:v0").I(4).I(1).I(0).V(grid._x).I(1).V(grid._vertexNormals)
                     .I(1).I(1).N(5.f).N(0.f).N(10.f).N(20.f).N(15.f).N(25.f).s,
                 back),
            0);
  EXPECT_EQ(back._dx, 5.0);
  EXPECT_EQ(back._lcv[0], AK_Index4(0, 2, 3, 1));
}

TEST_F(MeshRecord, TruncatedAtEveryByteIsRejected)
{
  SW_MeshCore grid;
  MakeHoneycomb(grid, 2, 2, 1, 0, 0);
  for (const std::string& full : {TriangleBytes(Triangle()), Save(grid)})
    for (size_t n = 0; n < full.size(); ++n) {
      SW_MeshCore m;
      MakeCartesian(m, 1, 1, 1, 0, 0, [](double, double) { return 0.0; });
      ASSERT_EQ(Load(full.substr(0, n), m), 1) << n;
      EXPECT_EQ(m.NumVertices() + m.NumCells(), 0) << n;
    }
}

TEST_F(MeshRecord, BadCountsAndIndicesAreRejected)
{
  const SW_MeshCore t = Triangle();
  auto triangle = [&](int32_t nc2, AK_Index4 cell, std::initializer_list<int32_t> segments) {
    Bytes b;
    b.T("SW_Mesh:v1").I(3).I(0).I(0).V(t._x).I(1).V(t._vertexNormals).I(nc2);
    for (int k = 0; k < 4; ++k) b.I(cell[k]);
    b.I(static_cast<int32_t>(segments.size()));
    for (int32_t s : segments) b.I(s);
    return b.s;
  };
  AK_Array<AK_Vec3> two;
  two.Append(AK_Vec3());
  two.Append(AK_Vec3());
  SW_MeshCore g;
  MakeCartesian(g, 1, 1, 5, 0, 0, [](double, double) { return 0.0; });
  auto grid = [&](int32_t flags0, int32_t flags1, int32_t nc, int32_t nx, int32_t ny, double dx) {
    return Bytes().T("SW_Mesh:v1").I(4).I(flags0).I(flags1).V(g._x).I(nc).V(g._vertexNormals)
        .I(nx).I(ny).D(dx).D(1).D(0).D(0).D(5).D(5).s;
  };
  struct Case { const char* name; std::string bytes; const char* line; };
  const Case cases[] = {
      {"other version", Bytes().T("SW_Mesh:v2").I(0).s, "3702"},
      {"other class", Bytes().T("SW_Rest:v1").I(0).s, "3702"},
      {"negative vertex count", Bytes().T("SW_Mesh:v1").I(-3).s, "3704"},
      {"vertex array shorter than its count", Bytes().T("SW_Mesh:v1").I(3).I(0).I(0).V(two).I(0).s, "3711"},
      {"both grid flags", grid(1, 1, 1, 1, 1, 5), "3711"},
      {"a grid flag of 2", grid(2, 0, 1, 1, 1, 5), "3711"},
      {"normals of another count",
       Bytes().T("SW_Mesh:v1").I(3).I(0).I(0).V(t._x).I(1).V(two).s, "3715"},
      {"grid cells not Nx * Ny", grid(1, 0, 2, 1, 1, 5), "3729"},
      {"grid vertices not (Nx + 1)(Ny + 1)", grid(1, 0, 2, 2, 1, 5), "3729"},
      {"grid without cell size", grid(1, 0, 1, 1, 1, 0), "3729"},
      {"honeycomb cells not 2 Nx Ny", grid(0, 1, 1, 1, 1, 5), "3729"},
      {"second cell count differs", triangle(2, AK_Index4(0, 1, 2, -1), {}), "3782"},
      {"corner beyond the vertices", triangle(1, AK_Index4(0, 1, 3, -1), {}), "3782"},
      {"negative corner", triangle(1, AK_Index4(0, -1, 2, -1), {}), "3782"},
      {"fourth corner beyond", triangle(1, AK_Index4(0, 1, 2, 3), {}), "3782"},
      {"cell without area", triangle(1, AK_Index4(0, 1, 1, -1), {}), "3782"},
      {"segment end beyond", triangle(1, AK_Index4(0, 1, 2, -1), {0, 3}), "3782"},
      {"odd segment count", triangle(1, AK_Index4(0, 1, 2, -1), {0}), "3782"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ExpectRejected(c.bytes, c.line);
  }
}
