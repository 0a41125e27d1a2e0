// The result fields as objects: binding, measures, records, conversions, exports, drawing.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "AK_ClassRegistry.h"
#include "AK_Colorbar.h"
#include "AK_ConformanceTest.h"
#include "AK_GLFunctionTable.h"
#include "AK_Stream.h"
#include "SW_Mesh.h"
#include "SW_ScalarField.h"
#include "SW_VectorField.h"
#include "TestMeshes.h"
#include "TestSupport.h"
#include "ast_sci.h"

namespace {

// The class scripts of the fields under test: a conversion named by the variable
// "$conversion" ("twice" doubles every value or vector).
struct FieldScripts : testing::Environment {
  void SetUp() override { UserAttributesDirectory = TORVU_TEST_DATA "/attributes/"; }
};
[[maybe_unused]] testing::Environment* const kFieldScripts =
    testing::AddGlobalTestEnvironment(new FieldScripts);

// A flat 4 x 3 grid of 10 m cells at (100, 200) under a root, and fields made by type name.
struct Scene {
  AK_Object root{"root", nullptr};
  SW_Mesh* mesh = new SW_Mesh("dhm", &root);
  Scene(int nx = 4, int ny = 3)
  {
    root.AddComponent(mesh);
    meshtest::MakeCartesian(mesh->Core(), nx, ny, 10, 100, 200, [](double, double) { return 50.0; });
  }
  template <class F>
  F* Make(const char* type, const char* id, int onVertices)
  {
    auto* f = dynamic_cast<F*>(AK_CreateObjectOfType(type, id, &root));
    root.AddComponent(f);
    f->_onVertices = onVertices;
    f->SetMesh(mesh);
    return f;
  }
  SW_ScalarField* Linear(int onVertices)
  {
    auto* f = Make<SW_ScalarField>("ScalarField", "depth", onVertices);
    for (int32_t i = 0; i < f->_values.Size(); ++i) {
      AK_Vec3 p = onVertices ? mesh->Vertex(i) : mesh->CellCentre(i);
      f->_values[i] = static_cast<float>(0.5 * (p.x - 100) + 0.25 * (p.y - 200) + 1);
    }
    return f;
  }
};

}  // namespace

TEST(Fields, Conformance)
{
  AK_RunConformanceTest("SW_ScalarField");
  AK_RunConformanceTest("SW_VectorField");
}

// The fields a mesh derives from itself: its curvature per cell, its unit normals per vertex.
TEST(Fields, MeshCurvatureAndNormals)
{
  Scene s;
  s.mesh->Set("CreateCurvatureField", "");
  s.mesh->Set("CreateNormalsField", "");
  auto* curvature = dynamic_cast<SW_ScalarField*>(s.mesh->GetComponent("curvature"));
  auto* normals = dynamic_cast<SW_VectorField*>(s.mesh->GetComponent("normals"));
  ASSERT_TRUE(curvature && normals);
  EXPECT_EQ(curvature->Label(), "dhm curvature [1/m]");
  ASSERT_EQ(curvature->_values.Size(), 12);
  for (float v : curvature->_values) EXPECT_EQ(v, 0);
  ASSERT_EQ(normals->_vectors.Size(), 20);
  for (const AK_Vec3& n : normals->_vectors) EXPECT_EQ(n, AK_Vec3(0, 0, 1));
}

// Binding keeps the values while the count stays, zeroes them for a new count and empties
// them without a mesh.
TEST(Fields, BindingFollowsTheMesh)
{
  Scene s;
  auto* f = s.Make<SW_ScalarField>("ScalarField", "f", 1);
  auto* g = s.Make<SW_VectorField>("VectorField", "g", 0);
  ASSERT_EQ(f->_values.Size(), 20);
  ASSERT_EQ(g->_vectors.Size(), 12);
  f->_values[3] = 7;
  g->_vectors[3] = AK_Vec3(1, 2, 3);
  SW_Mesh same("same", nullptr), other("other", nullptr);
  meshtest::MakeCartesian(same.Core(), 4, 3, 1, 0, 0, [](double, double) { return 0.0; });
  meshtest::MakeCartesian(other.Core(), 5, 3, 1, 0, 0, [](double, double) { return 0.0; });
  f->SetMesh(&same);
  g->SetMesh(&same);
  EXPECT_EQ(f->_values[3], 7);
  EXPECT_EQ(g->_vectors[3], AK_Vec3(1, 2, 3));
  f->SetMesh(&other);
  g->SetMesh(&other);
  EXPECT_EQ(f->_values.Size(), 24);
  EXPECT_EQ(g->_vectors.Size(), 15);
  for (float v : f->_values) EXPECT_EQ(v, 0);
  for (const AK_Vec3& v : g->_vectors) EXPECT_EQ(v, AK_Vec3());
  f->SetMesh(nullptr);
  g->SetMesh(nullptr);
  EXPECT_EQ(f->_values.Size(), 0);
  EXPECT_EQ(g->_vectors.Size(), 0);
  EXPECT_EQ(f->Get("Min"), "0");
  EXPECT_EQ(g->Get("Max"), "0");
}

// Removing an item moves the last one into its place; the rest keep theirs. The expected
// order is worked out on a list of item numbers, the scalar and the vector field must match
// it item for item.
TEST(Fields, RemovingAnItemMovesTheLastIntoItsPlace)
{
  const struct {
    std::vector<int32_t> removed;  // one after another
    std::vector<int> left;         // the item numbers left, in order
  } cases[] = {
      {{4}, {0, 1, 2, 3}},     // the last: only the count drops
      {{1}, {0, 4, 2, 3}},     // a middle one: the last takes its place
      {{0, 0}, {3, 1, 2}},     // the first twice: each time the current last moves up
      {{2, 3}, {0, 1, 4}},     // a middle one, then the new last
      {{5, -1}, {0, 1, 2, 3, 4}},  // no such item: nothing goes
  };
  for (const auto& c : cases) {
    Scene s;
    auto* f = s.Make<SW_ScalarField>("ScalarField", "f", 1);
    auto* g = s.Make<SW_VectorField>("VectorField", "g", 1);
    f->_values.SetCount(5);
    g->_vectors.SetCount(5);
    for (int i = 0; i < 5; ++i) f->_values[i] = 10.0f + i, g->_vectors[i] = AK_Vec3(i, -i, 2 * i);
    for (int32_t i : c.removed) f->RemoveValue(i), g->RemoveVector(i);
    ASSERT_EQ(f->_values.Size(), static_cast<int32_t>(c.left.size())) << c.removed[0];
    ASSERT_EQ(g->_vectors.Size(), static_cast<int32_t>(c.left.size())) << c.removed[0];
    for (size_t k = 0; k < c.left.size(); ++k) {
      const int i = c.left[k];
      EXPECT_EQ(f->_values[static_cast<int32_t>(k)], 10.0f + i) << c.removed[0] << " " << k;
      EXPECT_EQ(g->_vectors[static_cast<int32_t>(k)], AK_Vec3(i, -i, 2 * i)) << c.removed[0] << " " << k;
    }
  }
  // The last one left, then nothing.
  Scene s;
  auto* f = s.Make<SW_ScalarField>("ScalarField", "f", 1);
  f->_values.SetCount(1);
  f->RemoveValue(0);
  EXPECT_EQ(f->_values.Size(), 0);
  f->RemoveValue(0);
  EXPECT_EQ(f->_values.Size(), 0);
}

TEST(Fields, Measures)
{
  struct Row { std::vector<float> values; const char *min, *max, *average; };
  const Row rows[] = {{{1.5f, -2}, "-2", "1.5", "1.5"}, {{0, 2, 4}, "0", "4", "3"}, {{-1, 0}, "-1", "0", "0"}};
  Scene s;
  auto* f = s.Make<SW_ScalarField>("ScalarField", "f", 1);
  for (const Row& r : rows) {
    f->_values.Clear();
    for (float v : r.values) f->_values.Append(v);
    EXPECT_EQ(f->Get("Min"), r.min);
    EXPECT_EQ(f->Get("Max"), r.max);
    EXPECT_EQ(f->Get("Average"), r.average);
  }
  auto* g = s.Make<SW_VectorField>("VectorField", "g", 1);
  g->_vectors.Clear();
  for (AK_Vec3 v : {AK_Vec3(0, 0, 0), AK_Vec3(3, 4, 0), AK_Vec3(0, 0, 1)}) g->_vectors.Append(v);
  EXPECT_EQ(g->Get("Average"), "3");
  EXPECT_EQ(g->Get("Max"), "5");
  EXPECT_EQ(g->Get("Min"), "0");
  // The area above a limit counts the cells strictly above it, by their corner means.
  SW_ScalarField* depth = s.Linear(1);
  depth->Set("AreaValueLimit", "4.75");  // the corner mean of the south-west cell
  EXPECT_EQ(depth->Get("AreaAboveLimit"), "1100");
  depth->Set("ValueAtPoint", "112");
  EXPECT_EQ(depth->Get("ValueAtPoint"), "0 at 112 0");  // outside the mesh
  depth->Set("ValueAtPoint", "112 204");
  EXPECT_EQ(depth->Get("ValueAtPoint"), "8 at 112 204");
}

// A record read back gives the values bit for bit; a wrong tag, a count the mesh does not
// give, a negative count or a short record is an IO error that leaves no values.
TEST(Fields, Records)
{
  Scene s;
  SW_ScalarField* f = s.Linear(1);
  auto* g = s.Make<SW_VectorField>("VectorField", "g", 1);
  for (int32_t i = 0; i < g->_vectors.Size(); ++i) g->_vectors[i] = AK_Vec3(i, -i, 0.1 * i);
  ScratchDir dir;
  const std::string file = dir / "step.dat";
  {
    AK_STREAM out(file.c_str(), "wb");
    EXPECT_EQ(f->WriteRecord(out), 0);
    EXPECT_EQ(g->WriteRecord(out), 0);
    EXPECT_EQ(AK_StreamClose(out), 0);
  }
  AK_Array<float> values = f->_values;
  AK_Array<AK_Vec3> vectors = g->_vectors;
  {
    AK_STREAM in(file.c_str(), "rb");
    EXPECT_EQ(f->ReadRecord(in), 0);
    EXPECT_EQ(g->ReadRecord(in), 0);
  }
  for (int32_t i = 0; i < values.Size(); ++i) EXPECT_EQ(f->_values[i], values[i]);
  for (int32_t i = 0; i < vectors.Size(); ++i) EXPECT_EQ(g->_vectors[i], vectors[i]);

  struct Bad { const char* what; std::string tag; int32_t count; int32_t written; int line; };
  const Bad bad[] = {{"other version", "SW_ScalarField:v1", 20, 20, 2242},
                     {"vector tag", "SW_VectorField:v0", 20, 20, 2242},
                     {"count of another mesh", "SW_ScalarField:v0", 12, 12, 2243},
                     {"negative count", "SW_ScalarField:v0", -5, 0, 2243},
                     {"short", "SW_ScalarField:v0", 20, 19, 2243}};
  for (const Bad& b : bad) {
    {
      AK_STREAM out(file.c_str(), "wb");
      out << AK_String(b.tag.c_str()) << b.count;
      for (int32_t i = 0; i < b.written; ++i) out << 1.0f;
      EXPECT_EQ(AK_StreamClose(out), 0);
    }
    AK_STREAM in(file.c_str(), "rb");
    EXPECT_EQ(f->ReadRecord(in), 1) << b.what;
    EXPECT_EQ(f->_values.Size(), 0) << b.what;
    EXPECT_EQ(std::string(AK_ErrorText), "root/depth: IO error at SW_Workspace:" + std::to_string(b.line)) << b.what;
  }
}

// A conversion function changes what the displays and exports see; Min, Max, Average and the
// stored values stay. A script that names no conversion gives none, and the namespace that
// was current is current again.
TEST(Fields, DisplayConversion)
{
  Scene s;
  SW_ScalarField* f = s.Linear(1);
  auto* g = s.Make<SW_VectorField>("VectorField", "g", 1);
  g->_vectors[5] = AK_Vec3(1, 2, 3);
  ASSERT_NE(f->ClassScript(), nullptr) << "the test scripts were not found";
  ast_sci_namespace before = ast_sci_get_namespace();
  EXPECT_EQ(f->ValueAt(112, 204), 8);
  for (auto* o : {static_cast<AK_Object*>(f), static_cast<AK_Object*>(g)}) o->SetVariable("$conversion", "twice");
  EXPECT_EQ(f->ValueAt(112, 204), 16);
  EXPECT_EQ(f->Get("Max"), "28.5");
  EXPECT_EQ(g->ValueAt(s.mesh->Vertex(5).x, s.mesh->Vertex(5).y), AK_Vec3(2, 4, 6));
  EXPECT_EQ(g->_vectors[5], AK_Vec3(1, 2, 3));
  EXPECT_EQ(ast_sci_get_namespace(), before);
  f->SetVariable("$conversion", "missing");
  EXPECT_EQ(f->ValueAt(112, 204), 8);
  EXPECT_EQ(ast_sci_get_namespace(), before);
}

namespace {
// The vertices of triangles drawn (the colour bar and the arrows of children draw others).
GLenum gMode = 0;
int gVertices = 0;
void RecordBegin(GLenum mode) { gMode = mode; }
void CountVertex(GLfloat, GLfloat, GLfloat) { gVertices += gMode == GL_TRIANGLES; }
}  // namespace

// A drawing pass draws every cell and leaves the stored values as they were, with a
// conversion or smoothing in force.
TEST(Fields, DisplayPassLeavesValues)
{
  Scene s;
  SW_ScalarField* f = s.Linear(1);
  f->Set("CreateGradientField", "");
  AK_Array<float> values = f->_values;
  AK_GLFunctions saved = AK_GLFunctionTable;
  AK_GLFunctionTable.glBegin = RecordBegin;
  AK_GLFunctionTable.glVertex3f = CountVertex;
  for (const char* variable : {"$smooth", "$conversion"}) {
    f->SetVariable(variable, variable[1] == 's' ? "3" : "twice");
    gVertices = 0;
    f->Update();
    EXPECT_EQ(gVertices, 12 * 4 * 3) << variable;  // four triangles per quadrilateral
    for (int32_t i = 0; i < values.Size(); ++i) EXPECT_EQ(f->_values[i], values[i]) << variable;
  }
  AK_GLFunctionTable = saved;
  auto* gradient = dynamic_cast<SW_VectorField*>(f->GetComponent("gradient"));
  ASSERT_NE(gradient, nullptr);
  for (const AK_Vec3& v : gradient->_vectors) EXPECT_EQ(v, AK_Vec3(1, 0.5, 0));  // the doubled field
}

// The raster's origin and size follow the mesh and are written back; a cell size of 0 is
// refused and an unwritable file is an error. (The values: FieldMath.RasterOfLinearField.)
TEST(Fields, RasterExport)
{
  Scene s;
  SW_ScalarField* f = s.Linear(1);
  ScratchDir dir;
  EXPECT_EQ(f->Set("ExportRasterSize", "0"), 1);
  EXPECT_NE(std::string(AK_ErrorText), "");
  f->Set("ExportRasterSize", "5");
  f->Set("ExportFieldRasterAscii", (dir / "f.asc").c_str());
  EXPECT_EQ(f->Get("ExportRasterLL"), "100 200");
  EXPECT_EQ(f->Get("ExportRasterNumColumns"), "8");
  EXPECT_EQ(f->Get("ExportRasterNumRows"), "6");
  EXPECT_EQ(ReadFile(dir / "f.asc").substr(0, 15), "ncols         8");
  const std::string missing = dir / "missing/f.asc";
  f->Set("ExportFieldRasterAscii", missing.c_str());
  EXPECT_EQ(std::string(AK_ErrorText), "cannot open file " + missing + "!");
}

// A field whose mesh was deleted exports nothing and says so, in either format.
TEST(Fields, ExportsWithoutTheMeshAreErrors)
{
  ScratchDir dir;
  for (const char* command : {"ExportFieldRasterAscii", "ExportContourLines"}) {
    SCOPED_TRACE(command);
    Scene s;
    SW_ScalarField* f = s.Linear(1);
    s.root.DeleteComponent("dhm");
    const std::string file = dir / (std::string(command) + ".nxyz");
    EXPECT_EQ(f->Set(command, file.c_str()), 1);
    EXPECT_EQ(std::string(AK_ErrorText), "cannot export " + file + ": the field's mesh no longer exists");
    EXPECT_FALSE(std::filesystem::exists(file));
  }
}

// Contour lines of a linear field as DXF: one layer per level, named from the colour bar,
// readable by GIS tools. The file is opened before anything is said: one that cannot be
// opened is reported alone, in either format; a write that fails after the open says so
// after the opening message and leaves the file written before.
TEST(Fields, ContourExportDxf)
{
  Scene s;
  SW_ScalarField* f = s.Linear(1);
  f->SetLabel("flow velocity [m/s]");
  ScratchDir dir;
  const std::string file = dir / "c.dxf", nxyz = dir / "nodir/d.nxyz", dxf = dir / "nodir/d.dxf";
  const struct {
    const char* command;
    std::string file;
    rlim_t limit;                   // of the file size, 0 for none
    std::vector<std::string> said;  // the messages that name the file, with the locations users know
    std::string error;
  } cases[] = {
      {"ExportContourLinesDxf", file, 0,
       {"writing contour lines to " + file + " @SW_Workspace:2135", "file " + file + " written @SW_Workspace:2149"}, ""},
      {"ExportContourLines", nxyz, 0, {"cannot open file " + nxyz + "! @SW_Workspace:2132"}, "cannot open file " + nxyz + "!"},
      {"ExportContourLinesDxf", dxf, 0, {"cannot open file " + dxf + "! @SW_Workspace:2132"}, "cannot open file " + dxf + "!"},
      {"ExportContourLinesDxf", file, 40,
       {"writing contour lines to " + file + " @SW_Workspace:2135", "cannot write file " + file + "!"},
       "cannot write file " + file + "!"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file + " " + std::to_string(c.limit));
    MessageCapture messages;
    AK_ErrorText = "";
    {
      std::optional<FileSizeLimit> limit;
      if (c.limit) limit.emplace(c.limit);
      f->Set(c.command, c.file.c_str());
    }
    std::vector<std::string> said;
    for (size_t i = 0; i < messages.messages.size(); ++i)
      if (messages.messages[i].find(c.file) != std::string::npos)
        said.push_back(messages.messages[i] +
                       (messages.locations[i].rfind("SW_Workspace:", 0) == 0 ? " @" + messages.locations[i] : ""));
    EXPECT_EQ(said, c.said);
    EXPECT_EQ(std::string(AK_ErrorText), c.error);
    EXPECT_EQ(std::filesystem::exists(c.file), c.file == file);
  }
  const std::string written = ReadFile(file);
  EXPECT_EQ(written.find("%AK_NULL%"), std::string::npos);
  EXPECT_NE(written.find("DFA_"), std::string::npos);
  EXPECT_NE(written.find("_ms-1_"), std::string::npos);
  EXPECT_EQ(written.substr(written.size() - 8), "  0\nEOF\n");
  int status = -1;
  std::string info = RunProcess("ogrinfo -al -so " + ShellQuote(dir / "c.dxf"), &status);
  if (status != 0) GTEST_SKIP() << "ogrinfo is not available";
  EXPECT_NE(info.find("Feature Count: "), std::string::npos) << info;
  EXPECT_EQ(info.find("Feature Count: 0"), std::string::npos) << info;
}

// Values along a polyline: its first point, every mesh edge it crosses, its last point.
TEST(Fields, ValuesAlongPolyline)
{
  Scene s;
  SW_ScalarField* f = s.Linear(1);
  f->SetLabel("max depth [m]");
  AK_Object* line = AK_CreateObjectOfType("Polyline", "line", &s.root);
  s.root.AddComponent(line);
  EXPECT_EQ(f->Get("ExportValuesAlongPolylineVis"), "r");
  f->Set("SelectedPolyline", "../line");
  line->Set("AppendPoint", "101 201 7");
  line->Set("AppendPoint", "129 201 8");
  ASSERT_EQ(f->Get("ExportValuesAlongPolylineVis"), "w");
  ScratchDir dir;
  f->Set("ExportValuesAlongPolyline", (dir / "v.txt").c_str());
  EXPECT_EQ(ReadFile(dir / "v.txt"),
            "#x\ty\tz\tdepth\n#m\tm\tm\tm\n101 201 7 1.75\n110 201 50 6.25\n120 201 50 11.25\n129 201 8 15.75\n");
}

// A colour bar of two thousand million segments keeps its number, but contour lines are
// traced on no more levels than its drawing visits (each level costs memory and a trace).
TEST(Fields, ContourLevelsOfAHugeColourBarAreBounded)
{
  Scene s;
  SW_ScalarField* f = s.Linear(1);
  AK_Colorbar* bar = f->Colorbar();
  ASSERT_NE(bar, nullptr);
  bar->Set("Segments", "2000000000");
  ScratchDir dir;
  f->Set("ExportContourLines", (dir / "c.nxyz").c_str());
  EXPECT_STREQ(bar->Get("Segments"), "2000000000");
  const std::string text = ReadFile(dir / "c.nxyz");
  size_t lines = 0;
  for (size_t at = text.find("iso="); at != std::string::npos; at = text.find("iso=", at + 1)) ++lines;
  EXPECT_GT(lines, 0u);
  EXPECT_LE(lines, size_t(AK_MaxTextureSegments) + 1);
}
