// The mesh object: its class table, attributes and commands, imports and exports, and the
// work against a second mesh.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "AK_ConformanceTest.h"
#include "AK_Framework.h"
#include "SW_Mesh.h"
#include "TestSupport.h"

namespace {

// A container that notes the commands the mesh sends to the objects around it.
class Probe : public AK_Container {
public:
  using AK_Container::AK_Container;
  int Set(const char* name, const char* value) override
  {
    log += std::string(name) + "(" + value + ");";
    return AK_Container::Set(name, value);
  }
  std::string log;
};

// root / Scene / DHMs / terrain, the mesh two levels below the scene that holds "Polylines".
struct Tree {
  AK_Container root{"root", nullptr};
  AK_Object* scene = Add(new AK_Container("Scene", &root));
  AK_Object* meshes = Add(new AK_Container("DHMs", scene));
  SW_Mesh* mesh = AddMesh("terrain");
  template <class T>
  T* Add(T* o) { return o->Parent()->AddComponent(o), o; }
  SW_Mesh* AddMesh(const char* id) { return Add(new SW_Mesh(id, meshes)); }
};

std::string Get(AK_Object* o, const char* name) { return o->Get(name).c_str(); }
double Number(AK_Object* o, const char* name) { return std::atof(o->Get(name)); }
// Sets the attributes in order (an empty value for a command).
void Set(AK_Object* o, std::initializer_list<std::pair<const char*, std::string>> items)
{
  for (const auto& [name, value] : items) o->Set(name, value.c_str());
}

}  // namespace

TEST(MeshObject, Conformance)
{
  MessageCapture quiet;
  AK_RunConformanceTest("SW_Mesh");
}

TEST(MeshObject, AttributesOfNewAndGeneratedMeshes)
{
  MessageCapture quiet;
  Tree t;
  SW_Mesh* m = t.mesh;
  for (auto [name, value] : {std::pair{"NumVertices", "0"}, {"NumCells", "0"}, {"RegularGrid", "0"},
                             {"DxVis", "w"}, {"Resolution", "0"}, {"HActive", "0"}, {"NActive", "0 0 1"}})
    EXPECT_EQ(Get(m, name), value) << name;

  // Counts below 1 and steps that are not positive are refused and change nothing.
  for (auto [name, value] : {std::pair{"Nx", "0"}, {"Ny", "-3"}, {"Dx", "0"}, {"ContourLinesMinorStep", "0"},
                             {"ContourLinesMajorStep", "-20"}}) {
    std::string before = Get(m, name);
    m->Set(name, value);
    EXPECT_FALSE(AK_ErrorText.IsEmpty()) << name;
    EXPECT_EQ(Get(m, name), before);
  }

  Set(m, {{"Xll", "0 0"}, {"Xor", "10 10"}, {"SetToHoneyCombGrid", ""}});
  EXPECT_EQ(Get(m, "RegularGrid"), "0");
  EXPECT_EQ(Get(m, "DxVis"), "r");
  EXPECT_EQ(Get(m, "Nx"), "3");

  // The plane: a Cartesian grid of cells Length / Nx by Width / Ny; "Dx" stays as it was.
  Set(m, {{"Nx", "4"}, {"Ny", "2"}, {"Length", "40"}, {"Width", "20"}, {"SetToPlane", ""}});
  EXPECT_EQ(Get(m, "RegularGrid"), "1");
  EXPECT_EQ(Get(m, "Dx"), "5");  // the generators' cell size, not the plane's
  EXPECT_EQ(Get(m, "Xor"), "40 20");
  EXPECT_EQ(Get(m, "ProjectedArea"), "800");
  EXPECT_EQ(Get(m, "Resolution"), "10");
  m->Set("XActive", "20 5");
  EXPECT_EQ(Get(m, "HActive"), "0");
  m->Set("XActive", "5 5");  // between z = 20 and z = 20 - sqrt(300) on the arc's chord
  EXPECT_NEAR(Number(m, "HActive"), 20 - std::sqrt(300.0) / 2, 1e-12);
  EXPECT_EQ(Get(m, "NActive").substr(0, 1), "0");
  // Changing a parameter leaves the grid that locates points as it was.
  m->Set("Dx", "3");
  EXPECT_NEAR(Number(m, "HActive"), 20 - std::sqrt(300.0) / 2, 1e-12);
  Set(m, {{"Width", "10"}, {"SetToPlane", ""}});
  EXPECT_EQ(Get(m, "RegularGrid"), "1");  // cells of 10 x 5: a Cartesian grid of oblong cells
  EXPECT_NEAR(Number(m, "HActive"), 20 - std::sqrt(300.0) / 2, 1e-12);

  m->Clear();
  EXPECT_EQ(Get(m, "ProjectedArea"), "0");
  EXPECT_EQ(Get(m, "NumVertices"), "0");
}

// Contour levels of the mesh's heights: every step between the lowest and the highest
// height, none outside.
TEST(MeshObject, ContourLevels)
{
  MessageCapture quiet;
  Tree t;
  SW_Mesh* m = t.mesh;
  struct Case { double lo, hi; std::vector<float> levels; };
  // No corner lies above the level 100 of heights 0 to 100: it has no line.
  const Case cases[] = {{10, 30, {20}}, {1, 5, {}}, {0, 100, {0, 20, 40, 60, 80}}};
  for (const Case& c : cases) {
    Set(m, {{"Nx", "4"}, {"Ny", "1"}, {"SetToPlane", ""}});
    for (AK_Vec3& p : m->Vertices()) p.z = c.lo + (c.hi - c.lo) * p.x / 1000;
    m->ComputeContourLines();
    ASSERT_TRUE(m->ContourLines());
    std::vector<float> levels;
    for (int32_t i = 0; i < m->ContourLines()->Count(); ++i) {
      float l = m->ContourLines()->Line(i).Level();
      if (levels.empty() || levels.back() != l) levels.push_back(l);
    }
    EXPECT_EQ(levels, c.levels);
  }
  // Levels beyond what anyone can use are capped.
  m->Set("ContourLinesMinorStep", "1e-9");
  m->ComputeContourLines();
  EXPECT_LE(m->ContourLines()->Count(), 10001);
}

TEST(MeshObject, ImportFailuresAndFilesBeside)
{
  ScratchDir dir;
  MessageCapture messages;
  Tree t;
  SW_Mesh* m = t.mesh;

  // Two points give no triangle: an error, and the grid numbers stay what they were.
  m->Set("Import", dir.Write("two.xyz", "0 0 1\n1 1 2\n").c_str());
  EXPECT_FALSE(AK_ErrorText.IsEmpty());
  EXPECT_EQ(Get(m, "Dx"), "5");
  EXPECT_EQ(Get(m, "Nx"), "50");
  m->Set("Import", dir.Write("terrain.unknown", "0 0 1\n").c_str());
  EXPECT_EQ(std::string(AK_ErrorText), "cannot import '" + dir / "terrain.unknown" + "': unknown file extension");
  m->Set("Import", (dir / "missing.asc").c_str());
  EXPECT_FALSE(AK_ErrorText.IsEmpty());

  // A grid with a texture of the same name beside it (the lines of an ".ano" file beside it
  // are its container's business).
  dir.Write("hill.asc", "ncols 3\nnrows 3\nxllcenter 100\nyllcenter 200\ncellsize 10\n"
                        "NODATA_value -9999\n1 2 3\n4 5 6\n7 8 9\n");
  dir.Write("hill.ano", "ridge\n2 red\n100 200\n120 220\n");
  dir.Write("hill.ppm", "P3 1 1 255 0 0 0\n");
  m->Set("Import", (dir / "hill.asc").c_str());
  EXPECT_TRUE(AK_ErrorText.IsEmpty()) << AK_ErrorText.c_str();
  EXPECT_EQ(Get(m, "NumCells"), "4");
  EXPECT_EQ(Get(m, "Xll"), "100 200");
  EXPECT_EQ(m->TextureFileName.c_str(), dir / "hill.ppm");

  // A triangulated import measures its box and mean resolution.
  m->Set("Import", dir.Write("square.xyz", "0 0 0\n8 0 0\n8 8 0\n0 8 0\n").c_str());
  EXPECT_EQ(Get(m, "NumCells"), "2");
  EXPECT_NEAR(Number(m, "Dx"), std::sqrt(64 / 2.001), 1e-9);
  EXPECT_EQ(Get(m, "Xor"), "8 8");

  // A break line that is no polyline is refused.
  m->Set("InsertBreakLine", "..");
  EXPECT_FALSE(AK_ErrorText.IsEmpty());
  EXPECT_EQ(Get(m, "NumCells"), "2");
}

// Covering a mesh with a grid projects the grid onto it; vertices outside it are removed
// (no filling) and the mesh's components are told to follow.
TEST(MeshObject, CoverProjectAndSmooth)
{
  MessageCapture quiet;
  Tree t;
  SW_Mesh* base = t.mesh;
  Set(base, {{"Nx", "10"}, {"Ny", "10"}, {"Length", "100"}, {"Width", "100"}, {"SetToPlane", ""}});
  for (AK_Vec3& p : base->Vertices()) p.z = 0.5 * p.x + 2 * p.y;
  base->ComputeVertexNormals();

  SW_Mesh* grid = t.AddMesh("grid");
  Probe* follower = t.Add(new Probe("line", grid));
  Set(grid, {{"BaseMesh", "../terrain"}, {"Dx", "7"},
      {"NumNoDataValueInterpolationIterations", "0"}, {"CoverWithCartesianGrid", ""}});
  ASSERT_EQ(Get(grid, "NumCells"), "196");  // 14 x 14 cells of 7 in the 100 x 100 box
  for (const AK_Vec3& p : grid->Vertices()) EXPECT_NEAR(p.z, 0.5 * p.x + 2 * p.y, 1e-9);
  EXPECT_EQ(follower->log, "ProjectOnto(../../terrain);");

  // The grid lies partly outside a narrower base: those vertices and their cells go.
  SW_Mesh* half = t.AddMesh("half");
  Set(half, {{"Nx", "5"}, {"Length", "50"}, {"SetToPlane", ""}});
  Set(grid, {{"BaseMesh", "../half"}, {"ProjectOnto", ""}});
  EXPECT_EQ(grid->NumCells(), 7 * 14);  // columns up to x = 49 (a point at x = 50 lies on
                                         // the base's border, where its grid finds no cell)
  for (const AK_Vec3& p : grid->Vertices()) EXPECT_LE(p.x, 50);

  // A grid wholly beside its base keeps every vertex and height, whether its gaps would be
  // filled or removed, and the command fails saying why; its lines are not told to follow.
  for (const char* iterations : {"0", "4"}) {
    const std::string id = std::string("far") + iterations;
    SW_Mesh* far = t.AddMesh(id.c_str());
    Set(far, {{"Xll", "1000 1000"}, {"Xor", "1010 1010"}, {"Dx", "5"}, {"SetToCartesianGrid", ""},
        {"NumNoDataValueInterpolationIterations", iterations}, {"BaseMesh", "../terrain"}});
    Probe* line = t.Add(new Probe("line", far));
    const std::vector<AK_Vec3> before(far->Vertices().begin(), far->Vertices().end());
    AK_ErrorText = "";
    Set(far, {{"ProjectOnto", ""}});
    EXPECT_EQ(std::string(AK_ErrorText),
              "mesh " + id + " lies wholly outside mesh terrain: no vertex gets a height, the mesh is unchanged");
    ASSERT_EQ(far->NumVertices(), 9) << iterations;
    EXPECT_EQ(far->NumCells(), 4) << iterations;
    for (int32_t v = 0; v < 9; ++v) EXPECT_EQ(far->Vertices()[v], before[v]) << iterations;
    EXPECT_EQ(line->log, "") << iterations;
  }

  // Smoothing moves the border points of a grid: it is no Cartesian grid any more, and
  // every point it locates lies in its cell.
  Set(grid, {{"BaseMesh", "../terrain"}, {"CoverWithCartesianGrid", ""},
      {"SmootherIterations", "0"}, {"Smooth", ""}});
  EXPECT_EQ(Get(grid, "RegularGrid"), "1");
  EXPECT_TRUE(grid->ContourLines());
  Set(grid, {{"SmootherIterations", "2"}, {"Smooth", ""}});
  EXPECT_EQ(Get(grid, "RegularGrid"), "0");
  // A point far beyond the mesh has no height and the upward normal, never a non-number.
  for (const char* far : {"1e308 1e308", "-1e308 5"}) {
    Set(grid, {{"XActive", far}});
    EXPECT_EQ(Get(grid, "HActive"), "0") << far;
    EXPECT_EQ(Get(grid, "NActive"), "0 0 1") << far;
  }
  for (double x = 0; x < 100; x += 3.3)
    for (double y = 0; y < 100; y += 3.3) {
      int32_t c = grid->FindCell(x, y, -1);
      if (c >= 0) {
        EXPECT_EQ(grid->ExitEdge(AK_Vec3(x, y, 0), c), -1);
      }
    }
}

// A plane of oblong cells exported as an ESRI grid is sampled on the square cells of "Dx" over
// its box: heights along x follow the plane's profile, whatever the row.
TEST(MeshObject, OblongPlaneExportsOnSquareCells)
{
  ScratchDir dir;
  MessageCapture quiet;
  Tree t;
  SW_Mesh* m = t.mesh;
  Set(m, {{"Nx", "4"}, {"Ny", "2"}, {"Length", "40"}, {"Width", "10"}, {"Inclination", "20"}, {"Dx", "10"},
          {"SetToPlane", ""}, {"Export", (dir / "p.asc").c_str()}});
  EXPECT_EQ(Get(m, "RegularGrid"), "1");
  const std::string grid = ReadFile(dir / "p.asc");
  // The box 40 x 10 in whole cells of 10 and one more (outside: no data).
  EXPECT_NE(grid.find("ncols         6\nnrows         3\n"), std::string::npos) << grid;
  EXPECT_NE(grid.find("cellsize      10\n"), std::string::npos) << grid;
  // Both rows on the plane (y = 10 and y = 0) hold the profile's heights at x = 0, ..., 40.
  const std::string row = AK_String::Format("%.8g %.8g 0 %.8g %.8g -9999 \n", 20.0, 20 - std::sqrt(300.0),
                                            20 - std::sqrt(300.0), 20.0).c_str();
  EXPECT_NE(grid.find("-9999 \n" + row + row), std::string::npos) << grid;
  // The mesh locates points as before the export.
  m->Set("XActive", "30 7.5");
  EXPECT_NEAR(Number(m, "HActive"), 20 - std::sqrt(300.0), 1e-12);
}

// Contour lines of a slope exported as nxyz and DXF text, the DXF read back by ezdxf and
// GDAL when they are installed; a file that cannot be written is an error.
TEST(MeshObject, ContourExports)
{
  ScratchDir dir;
  MessageCapture messages;
  Tree t;
  SW_Mesh* m = t.mesh;
  Set(m, {{"Xll", "0 0"}, {"Xor", "2 1"}, {"Dx", "1"}, {"SetToCartesianGrid", ""}});
  for (AK_Vec3& p : m->Vertices()) p.z = 16 * p.x + 2;
  Set(m, {{"ContourLinesMinorStep", "8"}, {"ExportContourLines", (dir / "c.nxyz").c_str()},
      {"ExportContourLines", (dir / "c.dxf").c_str()}});
  // In each cell the line runs straight across, through the spokes of the corners on the
  // side of the centre value.
  const char* lines[4][5] = {
      {"8", "0.375 1", "0.375 0.625", "0.375 0.375", "0.375 0"},
      {"16", "0.875 1", "0.875 0.875", "0.875 0.125", "0.875 0"},
      {"24", "1.375 1", "1.375 0.625", "1.375 0.375", "1.375 0"},
      {"32", "1.875 1", "1.875 0.875", "1.875 0.125", "1.875 0"}};
  std::string nxyz, dxf = "  0\nSECTION\n  2\nENTITIES\n";
  for (auto& l : lines) {
    nxyz += std::string("iso=") + l[0] + "\n4\n";
    dxf += std::string("  0\nPOLYLINE\n  8\ncontour_") + l[0] +
           "\n 10\n  0\n 20\n  0\n 30\n  0\n 70\n8\n 66\n  1\n";
    for (int i = 1; i <= 4; ++i) {
      std::string xy = l[i];
      nxyz += xy + " " + l[0] + "\n";
      dxf += std::string("  0\nVERTEX\n  8\ncontour_") + l[0] + "\n 70\n32\n 10\n" +
             xy.substr(0, xy.find(' ')) + "\n 20\n" + xy.substr(xy.find(' ') + 1) + "\n 30\n" + l[0] + "\n";
    }
    dxf += "  0\nSEQEND\n";
  }
  EXPECT_EQ(ReadFile(dir / "c.nxyz"), nxyz + "-1\n");
  EXPECT_EQ(ReadFile(dir / "c.dxf"), dxf + "  0\nENDSEC\n  0\nEOF\n");
  EXPECT_TRUE(messages.Contains(dir / "c.dxf" + " written"));

  if (std::system("python3 -c 'import ezdxf' 2>/dev/null") == 0) {
    std::string out = RunProcess("python3 -c \"import ezdxf,sys; d=ezdxf.readfile(sys.argv[1]); "
                                 "print(' '.join(e.dxf.layer + ':' + str(len(list(e.vertices))) for e in "
                                 "d.modelspace()))\" " + ShellQuote(dir / "c.dxf"));
    EXPECT_EQ(out, "contour_8:4 contour_16:4 contour_24:4 contour_32:4\n");
  }
  if (std::system("ogrinfo --version >/dev/null 2>&1") == 0) {
    std::string out = RunProcess("ogrinfo -ro -al -q " + ShellQuote(dir / "c.dxf") + " 2>/dev/null");
    EXPECT_NE(out.find("Layer (String) = contour_32"), std::string::npos) << out;
    EXPECT_NE(out.find("LINESTRING Z (1.875 1.0 32,1.875 0.875 32,1.875 0.125 32,1.875 0.0 32)"),
              std::string::npos) << out;
  }

  messages.Clear();
  m->Set("ExportContourLines", (dir / "no/such/dir/c.dxf").c_str());
  EXPECT_EQ(std::string(AK_ErrorText), "cannot open file '" + dir / "no/such/dir/c.dxf" + "'");
  EXPECT_FALSE(messages.Contains("written"));
}

namespace {
int polygons = 0, vertices = 0, lists = 0, calls = 0, deletes = 0;
}  // namespace

// A drawing pass draws one polygon per cell and records it in a display list, which the next
// pass replays until the mesh or its attributes change; the coarsened copy draws its own
// cells and goes with the geometry it was made from.
TEST(MeshObject, DrawingPassAndDisplayList)
{
  MessageCapture quiet;
  const AK_GLFunctions saved = AK_GLFunctionTable;
  AK_GLFunctionTable.glBegin = [](GLenum mode) { polygons += mode == GL_POLYGON; };
  AK_GLFunctionTable.glVertex3f = [](GLfloat, GLfloat, GLfloat) { ++vertices; };
  AK_GLFunctionTable.glGenLists = [](GLsizei) -> GLuint { return ++lists, 7; };
  AK_GLFunctionTable.glCallList = [](GLuint) { ++calls; };
  AK_GLFunctionTable.glDeleteLists = [](GLuint, GLsizei) { ++deletes; };
  AK_VisibleObject::EnabledDisplayLists = 1;
  {
    Tree t;
    SW_Mesh* m = t.mesh;
    Set(m, {{"Nx", "3"}, {"Ny", "3"}, {"Length", "30"}, {"Width", "30"}, {"DisplayContourLines", "0"},
            {"SmootherIterations", "1"}, {"SetToPlane", ""}});
    m->Update();
    EXPECT_EQ(std::vector<int>({polygons, vertices, lists}), std::vector<int>({9, 36, 1}));
    m->Update();
    EXPECT_EQ(std::vector<int>({polygons, calls}), std::vector<int>({9, 1}));
    m->Set("DrawCoarsened", "1");
    m->Update();
    EXPECT_EQ(polygons, 10);  // one cell of 3 x 10 covers the 30 x 30 box
    Set(m, {{"Smooth", ""}, {"DrawCoarsened", "0"}});
    EXPECT_EQ(deletes, 2);
    m->Update();
    EXPECT_EQ(polygons, 19);
  }
  AK_VisibleObject::EnabledDisplayLists = 0;
  AK_GLFunctionTable = saved;
}

namespace {
// What the field makers were given, kept by the test's stand-in field.
struct FieldProbe : AK_Object {
  FieldProbe(const char* id, AK_Object* parent, const char* l) : AK_Object(id, parent), label(l) {}
  std::string label;
  std::vector<double> values;
};
}  // namespace

// The curvature of a flat mesh is 0 in every cell, that of a sphere of radius 100 about
// 1/100 away from its border; the normals are unit vectors.
TEST(MeshObject, CurvatureAndNormalsFields)
{
  MessageCapture quiet;
  Tree t;
  SW_Mesh* m = t.mesh;
  m->Set("CreateCurvatureField", "");
  EXPECT_EQ(std::string(AK_ErrorText), "CreateCurvatureField: not available");
  const SW_MeshFieldMakers saved = SW_FieldMakers;
  SW_FieldMakers = {[](SW_Mesh& mesh, const char* id, const char* label, const AK_Array<float>& v) -> AK_Object* {
                      auto* f = new FieldProbe(id, &mesh, label);
                      f->values.assign(v.begin(), v.end());
                      return f;
                    },
                    [](SW_Mesh& mesh, const char* id, const char* label, const AK_Array<AK_Vec3>& v) -> AK_Object* {
                      auto* f = new FieldProbe(id, &mesh, label);
                      for (const AK_Vec3& n : v) f->values.push_back(n.Length());
                      return f;
                    }};
  Set(m, {{"Xll", "-20 -20"}, {"Xor", "20 20"}, {"Dx", "2"}, {"SetToCartesianGrid", ""},
          {"CreateCurvatureField", ""}});
  auto* field = dynamic_cast<FieldProbe*>(m->GetComponent("curvature"));
  ASSERT_TRUE(field);
  EXPECT_EQ(field->label, "terrain curvature [1/m]");
  EXPECT_EQ(field->values, std::vector<double>(400, 0.0));

  for (AK_Vec3& p : m->Vertices()) p.z = std::sqrt(100.0 * 100.0 - p.x * p.x - p.y * p.y);
  m->ComputeVertexNormals();
  Set(m, {{"CreateCurvatureField", ""}, {"CreateNormalsField", ""}});
  field = dynamic_cast<FieldProbe*>(m->GetComponent("curvature"));
  ASSERT_EQ(m->ComponentCount(), 2);  // the old field was replaced
  for (int32_t c = 0; c < m->NumCells(); ++c) {
    AK_Vec3 centre = m->CellCentre(c);
    if (std::fabs(centre.x) < 17 && std::fabs(centre.y) < 17) {
      EXPECT_NEAR(field->values[static_cast<size_t>(c)], 0.01, 0.0005) << c;
    }
  }
  auto* normals = dynamic_cast<FieldProbe*>(m->GetComponent("normals"));
  ASSERT_TRUE(normals);
  EXPECT_EQ(normals->label, "terrain normals");
  for (double length : normals->values) EXPECT_NEAR(length, 1, 1e-12);
  SW_FieldMakers = saved;
}
