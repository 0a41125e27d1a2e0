// The program's options, the project workspace with its containers, and the mesh containers:
// terrain imports with the areas beside them, simulation meshes, tile selection and loading.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "AK_ClassRegistry.h"
#include "AK_ConformanceTest.h"
#include "AK_Framework.h"
#include "SW_Meshes.h"
#include "SW_Program.h"
#include "SW_Workspace.h"
#include "TestSupport.h"

namespace {

std::string Bars(AK_String list)
{
  list.ReplaceAll("%AK_SEP%", "|");
  return list.c_str();
}

// A grid file of ncols x 4 points (heights of a tilted plane) with its lower-left centre.
std::string Grid(const ScratchDir& dir, const std::string& name, double x, double ds, int ncols = 3)
{
  std::string text = AK_String::Format("ncols %d\nnrows 4\nxllcenter %.10f\nyllcenter 0\ncellsize %g\n"
                                       "NODATA_value -9999\n", ncols, x, ds).c_str();
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < ncols; ++c) text += AK_String::Format("%g%c", 100 + c - r * ds, c + 1 < ncols ? ' ' : '\n').c_str();
  return dir.Write(name, text);
}

}  // namespace

TEST(Program, Options)
{
  struct Row {
    std::vector<const char*> args;
    int offscreen;
    const char* macro;
    const char* files;  // null: the default
  } rows[] = {
      {{}, 0, "", nullptr},
      {{"-offscreen"}, 0, "", nullptr},
      {{"-macro", "-files"}, 0, "-files", nullptr},
      {{"-offscreen", "a.macro", "-macro", "b.macro"}, 1, "b.macro", nullptr},
      {{"-files", "", "-files", "dir/"}, 0, "", "dir/"},
      {{"-Macro", "x", "-macro", "-y", "stray", "-files"}, 0, "-y", nullptr},
      {{"-files", "-offscreen", "m"}, 0, "", "-offscreen"},
  };
  for (const Row& row : rows) {
    std::vector<const char*> argv{"torvu"};
    argv.insert(argv.end(), row.args.begin(), row.args.end());
    SW_ProgramOptions o = SW_ReadProgramOptions(static_cast<int>(argv.size()), argv.data());
    EXPECT_EQ(o.offscreen, row.offscreen) << argv.size();
    EXPECT_STREQ(o.macroFileName, row.macro) << argv.size();
    EXPECT_STREQ(o.attributesDirectory, row.files ? row.files : "../files/AK_Attributes") << argv.size();
    EXPECT_EQ(o.attributesDirectoryGiven, row.files != nullptr) << argv.size();
  }
  for (auto [in, out] : {std::pair{"", "/"}, {"a/b", "a/b/"}, {"a\\", "a\\"}})
    EXPECT_STREQ(SW_WithTrailingSeparator(in), out);
}

// The containers in their order, user objects after them, names the workspace does not know
// handled by its base class; the areas files of an imported terrain's name come into the
// project, and a file without extension in a directory with a dot takes none of the
// directory's name.
TEST(Workspace, ContainersUserObjectsAndImportedAreas)
{
  AK_RunConformanceTest("SW_Workspace");
  AK_RunConformanceTest("SW_Meshes");
  ScratchDir dir;
  MessageCapture messages;
  SW_Workspace project("Project", nullptr);
  std::string expected;
  for (const SW_WorkspaceChild& child : SW_WorkspaceChildren) {
    std::unique_ptr<AK_Object> probe(AK_CreateObjectOfType(child.typeName, "probe", nullptr));
    if (probe) expected += std::string(child.id) + "|";
  }
  EXPECT_EQ(expected.rfind("DHMs|ReleaseDHMs|", 0), 0u);
  EXPECT_EQ(Bars(project.GetComponentIdList()), expected);
  AK_ErrorText = "earlier";
  EXPECT_EQ(project.Set("CreateUserObject", "Gauge"), 1);
  EXPECT_STREQ(AK_ErrorText, "");
  EXPECT_EQ(Bars(project.GetComponentIdList()), expected + "Gauge|");
  EXPECT_STREQ(project.Get("Gauge:Type"), "UserObj");
  EXPECT_EQ(project.Set("ProjectDir", "elsewhere"), 1);
  EXPECT_STREQ(project.Get("ProjectDir"), "elsewhere");

  if (!project.GetComponent("ReleaseAreas") || !project.GetComponent("ResistanceAreas")) return;
  Grid(dir, "hang.asc", 0, 10);
  dir.Write("hang.rel", "1.5 200 1\n4\n10 10 30 10\n30 20 10 20\n\n0.8 150\n3 0 0 10 0 10 10\n");
  dir.Write("hang.res", "10 0.3 0.5 0.01 1 0\n4\n0 0 20 0 20 20 0 20\n");
  dir.Write("hang.ano", "ridge\n2 red\n0 0\n10 20\n");
  dir.Write("d.rel", "1 200 1\n3 0 0 1 0 1 1\n");
  dir.Write("d.v/plain", "");
  project.Set("DHMs:Import", (dir / "hang.asc").c_str());
  project.Set("DHMs:Import", (dir / "d.v/plain").c_str());
  EXPECT_EQ(Bars(project.Get("ReleaseAreas:GetComponentList")), "hang_0001|hang_0002|");
  EXPECT_STREQ(project.Get("ReleaseAreas/hang_0002:Density"), "150");
  EXPECT_EQ(Bars(project.Get("ResistanceAreas:GetComponentList")), "hang_0001|");
  EXPECT_EQ(Bars(project.Get("DHMs:GetComponentList")), "hang|plain|");
  // The lines beside the terrain: a polyline set named after the file, laid onto the mesh;
  // so again when the mesh itself imports the terrain.
  for (int again = 0; again < 2; ++again) {
    if (again) {
      EXPECT_EQ(project.Set("Polylines:DeleteObject", "hang"), 1);
      project.Set("DHMs/hang:Import", (dir / "hang.asc").c_str());
    }
    EXPECT_STREQ(project.Get("Polylines/hang:Type"), "PolylineSet");
    EXPECT_STREQ(project.Get("Polylines/hang:BaseMeshName"), "../../DHMs/hang");
  }
}

TEST(Meshes, ImportNamesAndSimulationMeshes)
{
  ScratchDir dir;
  MessageCapture messages;
  struct Row {
    std::string path;
    int autoCreate;
    const char* components;
    const char* smoothing;  // of a simulation mesh made here
  } rows[] = {
      {Grid(dir, "sub/hang.asc", 0, 10), 0, "hang|", nullptr},
      {Grid(dir, "hang.v2.asc", 0, 10), 0, "hang_v2|", nullptr},
      {Grid(dir, "five.asc", 0, 5.0004), 1, "five_simulation|", nullptr},
      {Grid(dir, "coarse.asc", 0, 12.5, 5), 1, "coarse|coarse_simulation|", "2"},
      {Grid(dir, "fine.asc", 0, 4, 5), 1, "fine|fine_simulation|", "0"},
      {dir / "gone.asc", 1, "gone|", nullptr},
  };
  for (const Row& row : rows) {
    SW_Meshes meshes("DHMs", nullptr);
    meshes.Set("AutoCreateSimulationMesh", AK_String(row.autoCreate));
    EXPECT_EQ(meshes.Set("Import", row.path.c_str()), 1);
    EXPECT_EQ(AK_ErrorText.IsEmpty(), row.path.find("gone") == std::string::npos) << row.path;
    EXPECT_EQ(Bars(meshes.GetComponentIdList()), row.components) << row.path;
    if (!row.smoothing) continue;
    AK_Object* base = meshes.Component(0);
    AK_Object* simulation = meshes.Component(1);
    EXPECT_STREQ(simulation->Get("SmootherIterations"), row.smoothing) << row.path;
    EXPECT_STREQ(simulation->Get("BaseMesh"), ("../" + std::string(base->Id())).c_str());
    EXPECT_STREQ(simulation->Get("Active"), "0");
    EXPECT_STREQ(simulation->Get("Dx"), "5");
    EXPECT_GT(std::atoi(simulation->Get("NumCells")), 0) << row.path;
    EXPECT_TRUE(messages.Contains("resolution of base mesh is " + std::string(base->Get("Resolution"))));
  }
  SW_Meshes meshes("DHMs", nullptr);
  EXPECT_EQ(meshes.Set("CreateSimulationMesh", "nothing"), 1);
  EXPECT_STREQ(AK_ErrorText, "DHMs: there is no mesh 'nothing' to make a simulation mesh of");
  EXPECT_EQ(meshes.ComponentCount(), 0);
}

TEST(Meshes, TileSelectionAndLoad)
{
  ScratchDir dir;
  MessageCapture messages;
  struct Row {
    const char* what;
    std::vector<std::string> tiles;
    int consistent;
    const char* ds;
    const char* xmin;
    const char* xmax;
  } rows[] = {
      {"corners 1000 apart", {Grid(dir, "a", 1000, 10), Grid(dir, "b", 2000, 10)}, 1, "10", "1000 0", "2020 30"},
      {"second shifted by 5", {Grid(dir, "a", 1000, 10), Grid(dir, "c", 2005, 10)}, 0, "10", "1000 0", "2025 30"},
      {"just below a multiple", {Grid(dir, "a", 1000, 10), Grid(dir, "d", 2999.9999999, 10)}, 1, "10", "1000 0",
       "3019.9999999 30"},
      {"just above a multiple", {Grid(dir, "a", 1000, 10), Grid(dir, "e", 3000.0000001, 10)}, 1, "10", "1000 0",
       "3020.0000001 30"},
      {"cell sizes 10 and 5", {Grid(dir, "a", 1000, 10), Grid(dir, "f", 2000, 5)}, 0, "5", "1000 0", "2010 30"},
      {"unreadable first", {dir / "none", Grid(dir, "a", 1000, 10), Grid(dir, "b", 2000, 10)}, 0, "0", "1000 0",
       "2020 30"},
      {"unreadable last", {Grid(dir, "a", 1000, 10), dir / "none"}, 0, "10", "1000 0", "1020 30"},
      {"nothing", {}, 0, "0", "1e+30 1e+30", "-1e+30 -1e+30"},
  };
  for (const Row& row : rows) {
    SW_Meshes meshes("DHMs", nullptr);
    meshes.Set("TilesClear", "");
    std::string list;
    for (const std::string& tile : row.tiles) {
      meshes.Set("TileSelect", tile.c_str());
      meshes.Set("TileSelect", tile.c_str());
      list += tile + "%AK_SEP%";
    }
    meshes.Set("TileDeselect", (dir / "other").c_str());
    EXPECT_STREQ(meshes.Get("Tiles"), list.c_str()) << row.what;
    EXPECT_STREQ(meshes.Get("TilesConsistent"), AK_String(row.consistent)) << row.what;
    EXPECT_STREQ(meshes.Get("TilesLoadVis"), row.consistent ? "w" : "r") << row.what;
    EXPECT_STREQ(meshes.Get("TilesDs"), row.ds) << row.what;
    EXPECT_STREQ(meshes.Get("TilesXmin"), row.xmin) << row.what;
    EXPECT_STREQ(meshes.Get("TilesXmax"), row.xmax) << row.what;
    if (!row.consistent) {
      EXPECT_EQ(meshes.Set("TilesLoad", ""), 1);
      EXPECT_NE(AK_ErrorText.IsEmpty(), true) << row.what;
      EXPECT_EQ(meshes.ComponentCount(), 0) << row.what;
    }
    for (const std::string& tile : row.tiles) meshes.Set("TileDeselect", tile.c_str());
    EXPECT_STREQ(meshes.Get("Tiles"), "") << row.what;
  }
  // Loaded: a simulation mesh at once when the tiles have the simulation cell size.
  for (double ds : {5.0, 10.0}) {
    SW_Meshes combined("DHMs", nullptr);
    combined.Set("AutoCreateSimulationMesh", "1");
    combined.Set("Tiles", (Grid(dir, "g", 0, ds) + "%AK_SEP%" + Grid(dir, "h", 3 * ds, ds) + "%AK_SEP%").c_str());
    EXPECT_EQ(combined.Set("TilesLoad", ""), 1);
    EXPECT_STREQ(AK_ErrorText, "") << ds;
    EXPECT_EQ(Bars(combined.GetComponentIdList()), ds == 5 ? "combined_simulation|" : "combined|combined_simulation|");
    EXPECT_STREQ(combined.Component(0)->Get("NumVertices"), "24") << ds;  // 6 x 4 nodes
    EXPECT_STREQ(combined.Get("Tiles"), "") << ds;
    EXPECT_STREQ(combined.Get("TilesConsistent"), "0") << ds;
  }
}
