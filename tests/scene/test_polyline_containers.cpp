// The containers of lines and areas, polyline sets, labels and psa meshes: naming rules of
// imports, selection and extraction, the set's record, and the cell counts.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "AK_ConformanceTest.h"
#include "AK_Framework.h"
#include "SW_Labels.h"
#include "SW_Mesh.h"
#include "SW_MeshContourPolygon.h"
#include "SW_Polygons.h"
#include "SW_PolylineSet.h"
#include "SW_Polylines.h"
#include "SW_PsaMeshes.h"
#include "TestMeshes.h"
#include "TestSupport.h"

namespace {

// The identifiers of the components joined by ",".
std::string Ids(AK_Object& o)
{
  std::string ids;
  for (int i = 0; i < o.ComponentCount(); ++i) ids += (i ? "," : "") + std::string(o.Component(i)->Id().c_str());
  return ids;
}

std::string Members(const SW_PolylineSet& set)
{
  std::string names;
  for (int i = 0; i < set.Count(); ++i)
    names += (i ? "," : "") + std::string(set.Name(i).c_str()) + (set.IsSelected(i) ? "" : "-");
  return names;
}

const char* kDxfTwoUnnamed =
    "  0\nSECTION\n  2\nENTITIES\n"
    "  0\nPOLYLINE\n  0\nVERTEX\n 10\n1\n 20\n2\n 30\n3\n  0\nVERTEX\n 10\n31\n 20\n32\n  0\nSEQEND\n"
    "  0\nPOLYLINE\n  0\nSEQEND\n"  // an empty entity: no member, no number
    "  0\nPOLYLINE\n  0\nVERTEX\n 10\n4\n 20\n5\n 30\n6\n  0\nSEQEND\n  0\nENDSEC\n  0\nEOF\n";

}  // namespace

TEST(LineContainers, Conformance)
{
  for (const char* c : {"SW_Polyline", "SW_Polygon", "SW_MeshContourPolygon", "SW_Polylines",
                        "SW_Polygons", "SW_PolylineSet", "SW_Labels", "SW_PsaMeshes"})
    AK_RunConformanceTest(c);
}

TEST(LineContainers, ImportNamesMembers)
{
  ScratchDir dir;
  AK_Container project("project", nullptr);
  auto* meshes = new AK_Container("DHMs", &project);
  project.AddComponent(meshes);
  auto* mesh = new SW_Mesh("terrain", meshes);
  meshes->AddComponent(mesh);
  meshtest::MakeCartesian(mesh->Core(), 4, 4, 10, 0, 0, [](double, double) { return 100.0; });
  auto* lines = new SW_Polylines("Polylines", &project);
  project.AddComponent(lines);
  EXPECT_STREQ(lines->Get("MeshNamesList"), "../DHMs/terrain%AK_SEP%");
  lines->Set("ProjectOnto", "../DHMs/terrain");
  EXPECT_STREQ(lines->Get("BaseMeshName"), "../DHMs/terrain");

  lines->Set("Import", dir.Write("ridge.lines.dxf", kDxfTwoUnnamed).c_str());
  lines->Set("Import", dir.Write("edges.nxyz", "name=top\n1\n1 1 1\n1\n2 2 2\n-1\n").c_str());
  lines->Set("Import", dir.Write("grid.ano", "first\n1 red\n5 5\nsecond\n1 blue\n6 6\nthird\n1 x\n7 7\n").c_str());
  lines->Set("Import", dir.Write("notes.txt", "1 2\n").c_str());
  lines->Set("Import", dir.Write("a.xy", "15 15\n").c_str());  // takes the base mesh's heights
  EXPECT_EQ(Ids(*lines), "ridge_lines_0001,ridge_lines_0002,top,edges_0001,first,second,third,a");
  auto* third = dynamic_cast<SW_Polyline*>(lines->GetComponent("third"));
  ASSERT_TRUE(third);
  EXPECT_EQ(third->Points()[0].z, 0);  // "ano" points stay at z = 0 even with a base mesh
  EXPECT_EQ(dynamic_cast<SW_Polyline*>(lines->GetComponent("a"))->Points()[0].z, 100);

  // Drawn for the first time, a line takes the project's first mesh; its segment of 42 m is
  // drawn in 8 steps of about half a cell (10 m), all on the terrain: 2 points, 9 line
  // vertices and the selected vertex.
  auto* ridge = dynamic_cast<SW_Polyline*>(lines->GetComponent("ridge_lines_0001"));
  static int vertices;
  vertices = 0;
  const AK_GLFunctions saved = AK_GLFunctionTable;
  AK_GLFunctionTable.glVertex3f = [](GLfloat, GLfloat, GLfloat z) { vertices += z == 100; };
  ridge->Update();
  AK_GLFunctionTable = saved;
  EXPECT_STREQ(ridge->Get("BaseMeshName"), "../../DHMs/terrain");
  EXPECT_EQ(vertices, 12);

  auto* areas = new SW_Polygons("Polygons", &project);
  project.AddComponent(areas);
  areas->Set("Import", dir.Write("rel_area.nxyz", "2\n0 0 0\n1 0 0\nname=forest\n1\n5 5 5\n").c_str());
  EXPECT_EQ(Ids(*areas), "rel_area_0001,forest");
  EXPECT_STREQ(areas->GetComponent("rel_area_0001")->Get("Color"), "1 0 0");
  AK_ErrorText = "";
  areas->Set("Import", (dir / "missing.dxf").c_str());
  EXPECT_STREQ(AK_ErrorText, ("cannot open file " + dir / "missing.dxf").c_str());
  lines->Set("Import", (dir / "missing.dxf").c_str());
  EXPECT_STREQ(AK_ErrorText, ("cannot open dxf file " + dir / "missing.dxf").c_str());
  lines->Set("ImportSet", (dir / "edges.nxyz").c_str());
  auto* set = dynamic_cast<SW_PolylineSet*>(lines->GetComponent("edges"));
  ASSERT_TRUE(set);
  EXPECT_EQ(Members(*set), "top,p_2");
}

TEST(PolylineSet, ImportSelectExtract)
{
  ScratchDir dir;
  AK_Container project("project", nullptr);
  auto* lines = new SW_Polylines("Polylines", &project);
  project.AddComponent(lines);
  lines->Set("CreateSet", "set");
  auto* set = dynamic_cast<SW_PolylineSet*>(lines->GetComponent("set"));
  ASSERT_TRUE(set);
  const std::string twoUnnamed = dir.Write("two.nxyz", "1\n0 0 0\n1\n1 1 1\n");
  set->Set("Import", twoUnnamed.c_str());
  set->Set("Import", twoUnnamed.c_str());
  set->Set("Import", dir.Write("same.dxf", "  0\nLWPOLYLINE\n  8\nN\n 90\n1\n 10\n2\n 20\n2\n"
                                           "  0\nLWPOLYLINE\n  8\nN\n 90\n1\n 10\n3\n 20\n3\n").c_str());
  set->Set("Import", dir.Write("r.ano", "ab\n2 red\n5 5\n6 6\n").c_str());
  lines->Set("Create", "Ridge");
  lines->GetComponent("Ridge")->Set("AppendPoint", "9 9 9");
  for (int i = 0; i < 3; ++i) set->Set("Add", "../Ridge");
  EXPECT_EQ(Members(*set), "p_1,p_2,p_3,p_4,N,N_6,pl_7,Ridge,Ridgex,Ridgexx");

  set->Set("DeSelect", "all");
  set->Set("Select", "p_2");
  set->Set("Select", "pl_7");
  set->Set("Select", "Ridge");
  set->Set("Select", "nobody");
  EXPECT_STREQ(set->Get("SelMemberList"), "all%AK_SEP%p_2%AK_SEP%pl_7%AK_SEP%Ridge");
  set->Set("ExtractSelected", "");
  // From the last selected to the first; a name taken in the container gets a number.
  EXPECT_EQ(Ids(*lines), "set,Ridge,Ridge_0001,pl_7,p_2");
  set->Set("DeleteSelected", "");
  EXPECT_EQ(Members(*set), "p_1,p_3,p_4,N,N_6,Ridgex,Ridgexx");

  // Unselected members are not exported: an empty DXF frame.
  set->Set("DeSelect", "all");
  set->Set("Export", (dir / "none.dxf").c_str());
  EXPECT_EQ(ReadFile(dir / "none.dxf"), "  0\nSECTION\n  2\nENTITIES\n  0\nENDSEC\n  0\nEOF\n");
}

TEST(PolylineSet, RecordRoundTripAndHostileCounts)
{
  ScratchDir dir;
  const std::string file = dir / "set.dat";
  SW_PolylineSet set("set", nullptr);
  AK_NamedPolyline line;
  line.text = "kind=edge;";
  set.AddMember(line, "empty");  // no points: the box starts at the first point there is
  line.points.Append(AK_Vec3(5, 5, 5));
  line.points.Append(AK_Vec3(6, -1, 6));
  set.AddMember(line, "b");
  set.Set("DeSelect", "empty");
  set.UpdateBoundingBox();
  {
    AK_STREAM out(file.c_str(), "wb");
    ASSERT_EQ(set.SaveData(out), 0);
  }
  SW_PolylineSet back("back", nullptr);
  {
    AK_STREAM in(file.c_str(), "rb");
    ASSERT_EQ(back.LoadData(in), 0);
  }
  EXPECT_EQ(Members(back), "empty-,b");
  EXPECT_EQ(back.Member(1).points.Count(), 2);
  EXPECT_EQ(back.Member(1).points[1], AK_Vec3(6, -1, 6));
  EXPECT_STREQ(back.Member(1).text, "");  // attribute texts are not kept
  float lo[3], hi[3];
  back.GetBoundingBox(lo, hi);
  EXPECT_EQ(std::vector<float>(lo, lo + 3), (std::vector<float>{5, -1, 5}));
  // Drawn: b's two points, its line strip, and its label point; the member without points
  // has no place for a label.
  static int vertices;
  vertices = 0;
  const AK_GLFunctions saved = AK_GLFunctionTable;
  AK_GLFunctionTable.glVertex3f = [](GLfloat, GLfloat, GLfloat) { ++vertices; };
  back.Set("Select", "all");
  back.Set("DisplayLabels", "1");
  back.Update();
  AK_GLFunctionTable = saved;
  EXPECT_EQ(vertices, 5);

  // Counts beyond the limits fail before anything is allocated, and change nothing.
  for (int32_t members : {1 << 30, 2}) {
    {
      AK_STREAM out(file.c_str(), "wb");
      out << AK_String("SW_PolylineSet:v0") << members << int32_t{1 << 30};
    }
    AK_STREAM in(file.c_str(), "rb");
    EXPECT_EQ(back.LoadData(in), 1);
    EXPECT_EQ(Members(back), "empty,b");
  }
}

TEST(PsaMeshes, CellCounts)
{
  AK_Container project("project", nullptr);
  auto* psa = new SW_PsaMeshes("psa", &project);
  project.AddComponent(psa);
  EXPECT_STREQ(psa->Get("CreationVisibility"), "r");
  psa->Set("CreateContourPolygon", "square");
  auto* square = dynamic_cast<SW_Polygon*>(psa->GetComponent("square"));
  ASSERT_TRUE(square);
  for (const char* p : {"0 0 0", "200 0 0", "200 200 0", "0 200 0"}) square->Set("AppendPoint", p);
  psa->Set("ContourPolygon", "square");
  struct Case { const char* set; const char* value; const char* cells; };
  const Case cases[] = {
      {"Dx", "20", "10 10 17 1700"},
      {"Dx", "1000", "0 0 17 0"},  // less than half a cell: nothing to divide
      {"GridExpansionLH", "1", "0 0 39 0"},  // no growth: 150 / 4 layers and one
      {"ContourPolygon", "..", "0 0 0 0"},  // not a polygon
  };
  for (const Case& c : cases) {
    psa->Set(c.set, c.value);
    std::string cells;
    for (const char* a : {"CellsInRunDir", "CellsNormalToRunDir", "CellsInVertDir", "NumberOfCells"})
      cells += (cells.empty() ? "" : " ") + std::string(psa->Get(a).c_str());
    EXPECT_EQ(cells, c.cells) << c.set << " " << c.value;
  }
  auto* contour = new SW_MeshContourPolygon("A", psa);
  psa->AddComponent(contour);
  for (const char* p : {"0 1 0", "0 0 0", "1 0 0", "1 1 0"}) contour->Set("AppendPoint", p);
  contour->Set("NECorner", "2");
  // A clone carries the whole state: the saved attributes (display ones away from their
  // defaults) and the unsaved ones.
  ScratchDir dir;
  auto saved = [&](AK_Object* o) { o->SaveAttributes((dir / "a.atr").c_str()); return ReadFile(dir / "a.atr"); };
  for (const char* id : {"square", "A"}) {
    AK_Object* original = psa->GetComponent(id);
    for (auto [name, value] : {std::pair{"Color", "1 0 0"}, {"LineWidth", "5"}, {"Active", "0"}, {"SelectedVertex", "3"}})
      original->Set(name, value);
    psa->Set("Clone", id);
    AK_Object* copy = psa->GetComponent((std::string(id) + "_cloned").c_str());
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->GetType(), original->GetType());
    EXPECT_EQ(saved(copy), saved(original));
    EXPECT_NE(saved(copy).find(R"(set("", "Color", "1 0 0"))"), std::string::npos);
    for (const char* a : {"NumVertices", "ProjectedArea", "SelectedVertex", "NECorner"}) EXPECT_EQ(copy->Get(a), original->Get(a)) << a;
  }
  EXPECT_EQ(Ids(*psa), "square,A,square_cloned,A_cloned");
}

TEST(Labels, CreateAddsTexts)
{
  SW_Labels labels("Labels", nullptr);
  EXPECT_EQ(labels.Set("Create", "title"), 1);
  EXPECT_EQ(labels.Set("Create", "note"), 1);
  EXPECT_EQ(Ids(labels), "title,note");
  EXPECT_TRUE(labels.Component(0)->IsA("Text2d"));
  EXPECT_EQ(labels.CreateComponent("x", "Polyline"), nullptr);
}
