// Polylines and polygons as objects: vertex editing by command, imports and exports by
// extension, the record, and the true area over a tilted mesh.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "AK_Framework.h"
#include "SW_Mesh.h"
#include "SW_MeshContourPolygon.h"
#include "TestMeshes.h"
#include "TestSupport.h"

namespace {

// The points as "x y z" texts joined by ",".
std::string PointsText(const SW_Polyline& p)
{
  std::string text;
  for (const AK_Vec3& v : p.Points())
    text += (text.empty() ? "" : ",") + std::string(AK_String::Format("%g %g %g", v.x, v.y, v.z).c_str());
  return text;
}

}  // namespace

TEST(Polyline, VertexSelectionAndEditing)
{
  SW_Polyline line("line", nullptr);
  EXPECT_STREQ(line.Get("SelectedVertex"), "1");  // vertex 0 of none
  EXPECT_STREQ(line.Get("CoordsOfSelectedVertex"), "");
  for (const char* p : {"0 0 0", "10 0 0", "10 10 0", "0 10 0", "5 5 5"}) line.Set("AppendPoint", p);
  // Each command, then the selection and the points.
  struct Step { const char* name; const char* value; const char* selected; const char* points; };
  const char* five = "0 0 0,10 0 0,10 10 0,0 10 0,5 5 5";
  const Step steps[] = {
      {"SelectedVertex", "0", "0", five},
      {"SelectedVertex", "99", "5", five},
      {"SelectedVertex", "1.5", "1", five},       // the point (1.5, 0, 0)
      {"SelectedVertex", "10 20 0", "3", five},   // nearest in 3-D
      {"InsertPoint", "20 10 0", "3", "0 0 0,10 0 0,20 10 0,10 10 0,0 10 0,5 5 5"},
      {"MoveVertex", "20 20 0", "3", "0 0 0,10 0 0,20 20 0,10 10 0,0 10 0,5 5 5"},
      {"RemoveVertex", "", "3", five},
      {"SelectedVertex", "5", "5", five},
      {"RemoveVertex", "", "4", "0 0 0,10 0 0,10 10 0,0 10 0"},
      {"UnselectVertex", "", "0", "0 0 0,10 0 0,10 10 0,0 10 0"},
      {"MoveVertex", "1 1 1", "0", "0 0 0,10 0 0,10 10 0,0 10 0"},
      {"Reverse", "", "0", "0 10 0,10 10 0,10 0 0,0 0 0"},
      {"Clear", "", "0", ""},
      {"AppendPoint", "1 2 3", "1", "1 2 3"},
      {"RemoveVertex", "", "1", ""},  // the only vertex: none left, index 0
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(std::string(s.name) + " " + s.value);
    EXPECT_EQ(line.Set(s.name, s.value), 1);
    EXPECT_STREQ(line.Get("SelectedVertex"), s.selected);
    EXPECT_EQ(PointsText(line), s.points);
  }
  line.Set("AppendPoint", "0 0 7");
  line.Set("AppendPoint", "3 4 0");
  EXPECT_STREQ(line.Get("ProjectedLength"), "5");
  EXPECT_STREQ(line.Get("CoordsOfSelectedVertex"), "3 4 0");
}

TEST(Polyline, ImportByExtension)
{
  ScratchDir dir;
  const std::string xy = dir.Write("a.xy", "kind=ridge\n1 2\n3,4\n");
  SW_Polyline line("line", nullptr);
  line.Set("Import", xy.c_str());
  line.Set("Import", xy.c_str());
  EXPECT_EQ(PointsText(line), "1 2 0,3 4 0");
  EXPECT_STREQ(line.Get("Annotations"), "kind=ridge;kind=ridge;");  // appended per import

  // An unknown extension (compared exactly) keeps the points and says so.
  AK_ErrorText = "";
  line.Set("Import", dir.Write("a.XY", "7 7\n").c_str());
  EXPECT_EQ(PointsText(line), "1 2 0,3 4 0");
  EXPECT_NE(std::string(AK_ErrorText.c_str()).find("error occurred during import from"), std::string::npos);

  struct Case { const char* file; const char* text; const char* points; bool failed; };
  const Case cases[] = {
      {"b.nxyz", "name=Top\n2\n1 2 3\n4 5 6", "1 2 3,4 5 6", false},  // no final line end
      {"c.dxf", "  0\nSECTION\n  2\nHEADER\n  0\nENDSEC\n  0\nPOLYLINE\n", "", false},
      {"d.dxf", "  0\nPOLYLINE\n  0\nVERTEX\n 10\n1\n 20\n2\n 30\n3\n  0\nSEQEND\n"
                "  0\nPOLYLINE\n  0\nVERTEX\n 10\n9\n 20\n9\n 30\n9\n  0\nSEQEND\n", "1 2 3", false},
      {"e.DXF", "  0\nPOLYLINE\n  0\nVERTEX\n", "0 0 0", true},  // neither entity end nor section end
      {"f.nxyz", "3\n1 2 3\n", "1 2 3", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    AK_ErrorText = "";
    line.Set("Import", dir.Write(c.file, c.text).c_str());
    EXPECT_EQ(PointsText(line), c.points);
    EXPECT_EQ(AK_ErrorText.IsEmpty(), !c.failed);
  }
  EXPECT_STREQ(line.Id(), "Top");  // the name item of b.nxyz
  line.Set("Import", (dir / "missing.xy").c_str());
  EXPECT_STREQ(AK_ErrorText, ("file '" + dir / "missing.xy" + "' does not exist!").c_str());
}

TEST(Polyline, ExportsReadBack)
{
  ScratchDir dir;
  SW_Polygon ring("ring", nullptr);
  for (const char* p : {"0 0 1", "10 0 2", "10 10 3"}) ring.Set("AppendPoint", p);
  ring.Set("Annotations", "name=ring;");
  for (const char* ext : {"xy", "xyz", "nxyz", "dxf"}) {
    SCOPED_TRACE(ext);
    const std::string file = dir / ("ring." + std::string(ext));
    AK_ErrorText = "";
    ring.Set("Export", file.c_str());
    EXPECT_STREQ(AK_ErrorText, "");
    SW_Polyline back("back", nullptr);
    back.Set("Import", file.c_str());
    EXPECT_EQ(PointsText(back), std::string(ext) == "xy" ? "0 0 0,10 0 0,10 10 0" : "0 0 1,10 0 2,10 10 3");
  }
  EXPECT_NE(ReadFile(dir / "ring.dxf").find(" 70\n  9\n"), std::string::npos);  // closed
  ring.Set("Export", (dir / "no/such/dir/ring.dxf").c_str());
  EXPECT_NE(std::string(AK_ErrorText.c_str()).find("error occurred during export to"), std::string::npos);
}

TEST(Polyline, RecordRoundTripAndOldPolygonTag)
{
  ScratchDir dir;
  const std::string file = dir / "p.dat";
  SW_Polyline line("line", nullptr);
  for (const char* p : {"1 2 3", "-4 5.5 6"}) line.Set("AppendPoint", p);
  {
    AK_STREAM out(file.c_str(), "wb");
    ASSERT_EQ(line.SaveData(out), 0);
  }
  struct Case { const char* tag; int result; const char* points; };
  const Case cases[] = {{nullptr, 0, "1 2 3,-4 5.5 6"},
                        {"SW_Polygon:v0", 0, "7 8 9"},
                        {"SW_Polyline:v1", 1, "0 0 0"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tag ? c.tag : "written");
    if (c.tag) {
      AK_STREAM out(file.c_str(), "wb");
      out << AK_String(c.tag) << int32_t{1} << 7.0 << 8.0 << 9.0;
    }
    SW_Polygon back("back", nullptr);
    back.Set("AppendPoint", "0 0 0");
    AK_ErrorText = "";
    AK_STREAM in(file.c_str(), "rb");
    EXPECT_EQ(back.LoadData(in), c.result);
    EXPECT_EQ(PointsText(back), c.points);
    EXPECT_EQ(AK_ErrorText.IsEmpty(), c.result == 0);
  }
}

TEST(Polygon, TrueAreaOnAThirtyDegreePlane)
{
  AK_Container project("project", nullptr);
  auto* mesh = new SW_Mesh("plane", &project);
  project.AddComponent(mesh);
  const double slope = std::tan(M_PI / 6);
  meshtest::MakeCartesian(mesh->Core(), 20, 20, 5, 0, 0, [slope](double x, double) { return x * slope; });
  auto* area = new SW_Polygon("area", &project);
  project.AddComponent(area);
  for (const char* p : {"10 10 0", "70 10 0", "70 80 0", "10 80 0"}) area->Set("AppendPoint", p);
  area->Set("ProjectOnto", "../plane");
  EXPECT_NEAR(area->Points()[1].z, 70 * slope, 1e-9);
  area->Set("UpdateTrueArea", "");
  EXPECT_NEAR(std::atof(area->Get("MeanInclination")), 30, 1e-9);
  EXPECT_STREQ(area->Get("ProjectedArea"), "4200");
  EXPECT_NEAR(std::atof(area->Get("TrueArea")), 4200 / std::cos(M_PI / 6), 1e-9);

  SW_Polygon square("square", nullptr);
  for (const char* p : {"0 0 0", "1 0 0", "1 1 0", "0 1 0"}) square.Set("AppendPoint", p);
  square.Set("UpdateTrueArea", "");  // no base mesh: the projected area, level
  EXPECT_EQ(square.ProjectedArea(), -1);
  EXPECT_STREQ(square.Get("ProjectedArea"), "1");
  EXPECT_STREQ(square.Get("TrueArea"), "1");
  EXPECT_STREQ(square.Get("MeanInclination"), "0");
}

TEST(Polygon, ContourCorners)
{
  SW_MeshContourPolygon contour("contour", nullptr);
  const char* corners[] = {"NWCorner", "SWCorner", "SECorner", "NECorner"};
  for (int k = 0; k < 4; ++k) EXPECT_STREQ(contour.Get(corners[k]), AK_String(k + 1));
  EXPECT_EQ(contour.CornerValue(0), 0);  // corners beyond the points
  for (const char* p : {"0 100 0", "0 0 0", "200 0 0", "200 100 0", "100 100 0"}) contour.Set("AppendPoint", p);
  contour.Set("NECorner", "190 95 0");  // the nearest vertex, which is also selected
  EXPECT_STREQ(contour.Get("NECorner"), "4");
  EXPECT_STREQ(contour.Get("SelectedVertex"), "4");
  const double sides[] = {100, 200, 100, 200};  // the last one over vertex 5 and round the end
  for (int k = 0; k < 4; ++k) EXPECT_EQ(contour.CornerValue(k), sides[k]);
}

// An export that cannot be written whole (a full disk) leaves the file it would replace as
// it was, whatever the format.
TEST(Polyline, FailedExportKeepsTheOldFile)
{
  ScratchDir dir;
  SW_Polyline line("long", nullptr);
  for (int i = 0; i < 400; ++i) line.Set("AppendPoint", AK_String::Format("%d.123456 %d.654321 1234.5", i, 2 * i));
  for (const char* ext : {"xyz", "nxyz", "dxf"}) {
    SCOPED_TRACE(ext);
    const std::string file = dir.Write(std::string("old.") + ext, "the good file\n");
    AK_ErrorText = "";
    {
      FileSizeLimit limit(4096);
      line.Set("Export", file.c_str());
    }
    EXPECT_NE(std::string(AK_ErrorText.c_str()).find("error occurred during export to"), std::string::npos);
    EXPECT_EQ(ReadFile(file), "the good file\n");
  }
}
