// A terrain through the whole program: torvu imports an ESRI grid that GDAL wrote (with the
// break lines of the ".ano" file beside it), saves the project; a second torvu loads the project (the mesh from its binary record) and exports
// the mesh as a grid; GDAL reads input and export to the same heights at every node.
// Skipped when gdal_translate is not installed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "TestSupport.h"

namespace {

std::string Torvu(const std::string& dir, const std::string& macro)
{
  return TorvuOffscreen(dir, TORVU_PROGRAM, TORVU_ATTRIBUTES, macro + " < /dev/null 2>&1");
}

}  // namespace

TEST(MeshProject, GridImportedSavedLoadedAndExportedAgreesWithGdal)
{
  if (std::system("gdal_translate --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no GDAL";
  ScratchDir dir;
  // 9 x 6 nodes with heights that single and double precision hold alike.
  std::string xyz;
  for (int r = 5; r >= 0; --r)
    for (int c = 0; c < 9; ++c)
      xyz += std::to_string(600000 + 2.5 * c) + " " + std::to_string(200000 + 2.5 * r) + " " +
             std::to_string(1800 + 0.25 * c * c - 1.5 * r) + "\n";
  dir.Write("in.xyz", xyz);
  int status = 0;
  RunProcess("cd " + ShellQuote(dir.Path()) + " && gdal_translate -q -of AAIGrid -ot Float64 in.xyz in.asc", &status);
  ASSERT_EQ(status, 0);

  // Break lines beside the grid go into the project's polylines, projected onto the mesh.
  dir.Write("in.ano", "ridge\n2 red\n600001 200001\n600015 200010\n");
  // The project's mesh container with one mesh whose saved attributes import the grid.
  dir.Write("start/DHMs/Meshes.atr", "");
  dir.Write("start/DHMs/terrain/DHM.atr", "set(\"\", \"Import\", \"" + dir / "in.asc" + "\")\n");
  dir.Write("saved/.keep", "");
  dir.Write("save.macro", "set(\"Project/DHMs\", \"LoadProject\", \"start/DHMs\")\n"
                          "set(\"Project/DHMs\", \"SaveProjectAs\", \"saved/DHMs\")\n");
  dir.Write("export.macro", "set(\"Project/DHMs\", \"LoadProject\", \"saved/DHMs\")\n"
                            "set(\"Project/DHMs/terrain\", \"Export\", \"out.asc\")\n");
  std::string first = RunProcess(Torvu(dir.Path(), "save.macro"));
  ASSERT_FALSE(ReadFile(dir / "saved/DHMs/terrain/DHM.dat").empty()) << first;
  EXPECT_NE(first.find("projecting polyline set in onto mesh terrain done"), std::string::npos) << first;
  std::string second = RunProcess(Torvu(dir.Path(), "export.macro"));
  ASSERT_NE(second.find("exported to 'out.asc'"), std::string::npos) << second;

  // A polyline of the project inserted as a break line: its segment becomes mesh edges.
  dir.Write("ridge.xyz", "600001 200001 0\n600015 200010 0\n");
  dir.Write("ridge.macro", "set(\"Project/DHMs\", \"LoadProject\", \"start/DHMs\")\n"
                           "set(\"Project/Polylines\", \"Import\", \"ridge.xyz\")\n"
                           "set(\"Project/DHMs/terrain\", \"InsertBreakLine\", \"../../Polylines/ridge\")\n");
  const std::string third = RunProcess(Torvu(dir.Path(), "ridge.macro"));
  EXPECT_NE(third.find("recovering 1 segments..."), std::string::npos) << third;

  auto nodes = [&](const char* grid) {
    int s = 0;
    std::string out = RunProcess("cd " + ShellQuote(dir.Path()) + " && gdal_translate -q -of XYZ " + grid +
                                     " /vsistdout/", &s);
    EXPECT_EQ(s, 0) << out;
    return out;
  };
  const std::string in = nodes("in.asc"), out = nodes("out.asc");
  EXPECT_EQ(std::count(in.begin(), in.end(), '\n'), 54);
  EXPECT_EQ(out, in);
}
