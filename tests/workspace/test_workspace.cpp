// The program's options, the project workspace with its containers, and the tile selection of
// the mesh containers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "AK_ClassRegistry.h"
#include "AK_ConformanceTest.h"
#include "AK_Framework.h"
#include "SW_Meshes.h"
#include "SW_Program.h"
#include "SW_Workspace.h"
#include "TestSupport.h"

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
    std::string seen = row.args.empty() ? "" : row.args[0];
    EXPECT_EQ(o.offscreen, row.offscreen) << seen;
    EXPECT_STREQ(o.macroFileName, row.macro) << seen;
    EXPECT_STREQ(o.attributesDirectory, row.files ? row.files : "../files/AK_Attributes") << seen;
    EXPECT_EQ(o.attributesDirectoryGiven, row.files != nullptr) << seen;
  }
  EXPECT_STREQ(SW_WithTrailingSeparator(""), "/");
  EXPECT_STREQ(SW_WithTrailingSeparator("a/b"), "a/b/");
  EXPECT_STREQ(SW_WithTrailingSeparator("a\\"), "a\\");
  EXPECT_STREQ(SW_WithTrailingSeparator("../files/AK_Attributes"), "../files/AK_Attributes/");
}

TEST(Workspace, ContainersUserObjectsAndTheBaseClass)
{
  AK_RunConformanceTest("SW_Workspace");
  AK_RunConformanceTest("SW_Meshes");

  SW_Workspace project("Project", nullptr);
  std::string expected;
  for (const SW_WorkspaceChild& child : SW_WorkspaceChildren) {
    AK_Object* probe = AK_CreateObjectOfType(child.typeName, "probe", nullptr);
    if (probe) expected += std::string(child.id) + "%AK_SEP%";
    delete probe;
  }
  EXPECT_EQ(expected.rfind("DHMs%AK_SEP%ReleaseDHMs%AK_SEP%", 0), 0u);
  EXPECT_STREQ(project.GetComponentIdList(), expected.c_str());
  EXPECT_STREQ(project.Get("DHMs:AutoCreateSimulationMesh"), "0");

  AK_ErrorText = "earlier";
  EXPECT_EQ(project.Set("CreateUserObject", "Gauge"), 1);
  EXPECT_STREQ(AK_ErrorText, "");
  EXPECT_STREQ(project.GetComponentIdList(), (expected + "Gauge%AK_SEP%").c_str());
  EXPECT_STREQ(project.Get("Gauge:Type"), "UserObj");
  EXPECT_GT(project.ModificationTime("CreateUserObject"), 0);

  EXPECT_EQ(project.Set("ProjectDir", "elsewhere"), 1);
  EXPECT_STREQ(project.Get("ProjectDir"), "elsewhere");
}

namespace {

// A 3 x 2 grid file with its lower-left corner and cell size.
std::string Grid(const ScratchDir& dir, const std::string& name, double x, double y, double ds)
{
  return dir.Write(name, AK_String::Format("ncols 3\nnrows 2\nxllcorner %.10f\nyllcorner %.10f\n"
                                           "cellsize %g\nNODATA_value -9999\n1 2 3\n4 5 6\n",
                                           x, y, ds).c_str());
}

}  // namespace

TEST(Meshes, TileSelection)
{
  ScratchDir dir;
  struct Row {
    const char* what;
    std::vector<std::string> tiles;
    int consistent;
    const char* ds;
    const char* xmin;
    const char* xmax;
  } rows[] = {
      {"corners 1000 apart", {Grid(dir, "a", 1000, 0, 10), Grid(dir, "b", 2000, 0, 10)}, 1, "10",
       "1000 0", "2020 10"},
      {"second shifted by 5", {Grid(dir, "a", 1000, 0, 10), Grid(dir, "c", 2005, 0, 10)}, 0, "10",
       "1000 0", "2025 10"},
      {"just below a multiple", {Grid(dir, "a", 1000, 0, 10), Grid(dir, "d", 2999.9999999, 0, 10)},
       1, "10", "1000 0", "3019.9999999 10"},
      {"just above a multiple", {Grid(dir, "a", 1000, 0, 10), Grid(dir, "e", 3000.0000001, -50, 10)},
       1, "10", "1000 -50", "3020.0000001 10"},
      {"cell sizes 10 and 5", {Grid(dir, "a", 1000, 0, 10), Grid(dir, "f", 2000, 0, 5)}, 0, "5",
       "1000 0", "2010 10"},
      {"unreadable first", {dir / "none", Grid(dir, "a", 1000, 0, 10), Grid(dir, "b", 2000, 0, 10)},
       0, "0", "1000 0", "2020 10"},
      {"unreadable last", {Grid(dir, "a", 1000, 0, 10), dir / "none"}, 0, "10", "1000 0", "1020 10"},
      {"nothing", {}, 0, "0", "1e+30 1e+30", "-1e+30 -1e+30"},
  };
  for (const Row& row : rows) {
    SW_Meshes meshes("DHMs", nullptr);
    meshes.Set("TilesClear", "");
    for (const std::string& tile : row.tiles) {
      meshes.Set("TileSelect", tile.c_str());
      meshes.Set("TileSelect", tile.c_str());
    }
    std::string list;
    for (const std::string& tile : row.tiles) list += tile + "%AK_SEP%";
    EXPECT_STREQ(meshes.Get("Tiles"), list.c_str()) << row.what;
    EXPECT_STREQ(meshes.Get("TilesConsistent"), AK_String(row.consistent)) << row.what;
    EXPECT_STREQ(meshes.Get("TilesLoadVis"), row.consistent ? "w" : "r") << row.what;
    EXPECT_STREQ(meshes.Get("TilesDs"), row.ds) << row.what;
    EXPECT_STREQ(meshes.Get("TilesXmin"), row.xmin) << row.what;
    EXPECT_STREQ(meshes.Get("TilesXmax"), row.xmax) << row.what;

    // Deselecting what is not selected changes nothing; deselecting the rest empties it.
    meshes.Set("TileDeselect", (dir / "other").c_str());
    EXPECT_STREQ(meshes.Get("Tiles"), list.c_str()) << row.what;
    for (const std::string& tile : row.tiles) meshes.Set("TileDeselect", tile.c_str());
    EXPECT_STREQ(meshes.Get("Tiles"), "") << row.what;
    EXPECT_STREQ(meshes.Get("TilesConsistent"), "0") << row.what;
  }
}

namespace {

// A 5 x 4 grid file (heights of a tilted plane) with its cell size.
std::string Terrain(const ScratchDir& dir, const std::string& name, double ds)
{
  std::string rows;
  for (int r = 0; r < 4; ++r) rows += AK_String::Format("%g %g %g %g %g\n", 100 - r * ds, 101 - r * ds,
                                                        102 - r * ds, 103 - r * ds, 104 - r * ds).c_str();
  return dir.Write(name, AK_String::Format("ncols 5\nnrows 4\nxllcenter 0\nyllcenter 0\ncellsize %g\n"
                                           "NODATA_value -9999\n", ds).c_str() + rows);
}

}  // namespace

TEST(Meshes, ImportNamesAndSimulationMeshes)
{
  ScratchDir dir;
  MessageCapture messages;
  struct Row {
    std::string path;
    int autoCreate;
    const char* components;  // and, for a simulation mesh made here, its smoothing passes
    const char* smoothing;
    bool failed;
  } rows[] = {
      {Terrain(dir, "sub/hang.asc", 10), 0, "hang|", nullptr, false},
      {Terrain(dir, "hang.v2.asc", 10), 0, "hang_v2|", nullptr, false},
      {Terrain(dir, "five.asc", 5.0004), 1, "five_simulation|", nullptr, false},
      {Terrain(dir, "coarse.asc", 12.5), 1, "coarse|coarse_simulation|", "2", false},
      {Terrain(dir, "fine.asc", 4), 1, "fine|fine_simulation|", "0", false},
      {dir / "gone.asc", 1, "gone|", nullptr, true},
  };
  for (const Row& row : rows) {
    SW_Meshes meshes("DHMs", nullptr);
    meshes.Set("AutoCreateSimulationMesh", AK_String(row.autoCreate));
    EXPECT_EQ(meshes.Set("Import", row.path.c_str()), 1);
    EXPECT_EQ(AK_ErrorText.IsEmpty(), !row.failed) << row.path << ": " << AK_ErrorText.c_str();
    AK_String list = meshes.GetComponentIdList();
    list.ReplaceAll("%AK_SEP%", "|");
    EXPECT_STREQ(list, row.components) << row.path;
    if (!row.smoothing) continue;
    AK_Object* base = meshes.Component(0);
    AK_Object* simulation = meshes.Component(1);
    EXPECT_STREQ(simulation->Get("SmootherIterations"), row.smoothing) << row.path;
    EXPECT_STREQ(simulation->Get("BaseMesh"), ("../" + std::string(base->Id())).c_str());
    EXPECT_STREQ(simulation->Get("Active"), "0");
    EXPECT_GT(std::atoi(simulation->Get("NumCells")), 0) << row.path;
    EXPECT_STREQ(simulation->Get("Dx"), "5");
    EXPECT_TRUE(messages.Contains("resolution of base mesh is " + std::string(base->Get("Resolution"))));
  }

  // Nothing to make a simulation mesh of: said, and nothing made.
  SW_Meshes meshes("DHMs", nullptr);
  EXPECT_EQ(meshes.Set("CreateSimulationMesh", "nothing"), 1);
  EXPECT_STREQ(AK_ErrorText, "DHMs: there is no mesh 'nothing' to make a simulation mesh of");
  EXPECT_EQ(meshes.ComponentCount(), 0);
}

TEST(Meshes, TilesLoad)
{
  ScratchDir dir;
  MessageCapture messages;
  SW_Meshes meshes("DHMs", nullptr);
  meshes.Set("AutoCreateSimulationMesh", "1");
  meshes.Set("Tiles", (Grid(dir, "a", 0, 0, 5) + "%AK_SEP%" + Grid(dir, "b", 12.5, 0, 5) + "%AK_SEP%").c_str());
  EXPECT_EQ(meshes.Set("TilesLoad", ""), 1);
  EXPECT_STREQ(AK_ErrorText, "DHMs: the selected tiles do not lie on one common grid");
  EXPECT_EQ(meshes.ComponentCount(), 0);

  for (const char* cell : {"5", "10"}) {
    SW_Meshes combined("DHMs", nullptr);
    combined.Set("AutoCreateSimulationMesh", "1");
    double ds = std::atof(cell);
    combined.Set("TileSelect", Grid(dir, std::string("c") + cell, 0, 0, ds).c_str());
    combined.Set("TileSelect", Grid(dir, std::string("d") + cell, 3 * ds, 0, ds).c_str());
    EXPECT_EQ(combined.Set("TilesLoad", ""), 1);
    EXPECT_STREQ(AK_ErrorText, "") << cell;
    AK_String list = combined.GetComponentIdList();
    list.ReplaceAll("%AK_SEP%", "|");
    EXPECT_STREQ(list, ds == 5 ? "combined_simulation|" : "combined|combined_simulation|") << cell;
    EXPECT_STREQ(combined.Component(0)->Get("NumVertices"), "12") << cell;  // 6 x 2 nodes
    EXPECT_STREQ(combined.Get("Tiles"), "") << cell;
    EXPECT_STREQ(combined.Get("TilesConsistent"), "0") << cell;
  }
  EXPECT_EQ(meshes.Set("TilesLoad", ""), 1);
  EXPECT_STREQ(AK_ErrorText, "DHMs: the selected tiles do not lie on one common grid");
}

// The areas files of a terrain's name come with it into the project; a file without extension
// in a directory with a dot in its name takes no areas file of the directory's name.
TEST(Meshes, ImportBringsTheAreasBeside)
{
  ScratchDir dir;
  MessageCapture messages;
  SW_Workspace project("Project", nullptr);
  if (!project.GetComponent("ReleaseAreas") || !project.GetComponent("ResistanceAreas"))
    GTEST_SKIP() << "no area containers";
  Terrain(dir, "hang.asc", 10);
  dir.Write("hang.rel", "1.5 200 1\n4\n10 10 30 10\n30 20 10 20\n\n0.8 150\n3 0 0 10 0 10 10\n");
  dir.Write("hang.res", "10 0.3 0.5 0.01 1 0\n4\n0 0 20 0 20 20 0 20\n");
  dir.Write("d.rel", "1 200 1\n3 0 0 1 0 1 1\n");
  dir.Write("d.v/plain", "");
  project.Set("DHMs:Import", (dir / "hang.asc").c_str());
  project.Set("DHMs:Import", (dir / "d.v/plain").c_str());
  AK_String release = project.Get("ReleaseAreas:GetComponentList");
  EXPECT_STREQ(release, "hang_0001%AK_SEP%hang_0002%AK_SEP%");
  EXPECT_STREQ(project.Get("ReleaseAreas/hang_0002:Density"), "150");
  EXPECT_STREQ(project.Get("ResistanceAreas:GetComponentList"), "hang_0001%AK_SEP%");
  EXPECT_STREQ(project.Get("DHMs:GetComponentList"), "hang%AK_SEP%plain%AK_SEP%");
}
