// The terrain through the whole program: torvu runs a script on a 40 m grid with 4 m cells
// ("Project/DHMs/terrain") and prints what each command answered and what the mesh reports;
// no command may lose the terrain without saying so.
#include <gtest/gtest.h>

#include <string>

#include "TestSupport.h"

namespace {

// The script's head: a helper that prints an attribute, then the grid made.
const char* kPrelude =
    "int show(char path[], char attr[])\n"
    "{\n"
    "  char v[512];\n"
    "  get(path, attr, v);\n"
    "  printf(\"%s %s\\n\", attr, v);\n"
    "  return 0;\n"
    "}\n"
    "int main()\n"
    "{\n"
    "  set(\"Project/DHMs\", \"CreateMesh\", \"terrain\");\n"
    "  set(\"Project/DHMs/terrain\", \"Xll\", \"0 0\");\n"
    "  set(\"Project/DHMs/terrain\", \"Xor\", \"40 40\");\n"
    "  set(\"Project/DHMs/terrain\", \"Dx\", \"4\");\n"
    "  set(\"Project/DHMs/terrain\", \"SetToCartesianGrid\", \"\");\n";

// Runs the script body after the prelude; the lines it printed itself (those without a
// "\t(file:line)" location), and the program's whole output in `all`.
std::string RunScript(ScratchDir& dir, const std::string& body, std::string* all = nullptr)
{
  dir.Write("check.cint", std::string(kPrelude) + body + "  return 0;\n}\n");
  const std::string printed =
      RunProcess(TorvuOffscreen(dir.Path(), TORVU_PROGRAM, TORVU_ATTRIBUTES, "check.cint < /dev/null 2>&1"));
  if (all) *all = printed;
  std::string own;
  size_t start = 0;
  while (start < printed.size()) {
    size_t end = printed.find('\n', start);
    if (end == std::string::npos) end = printed.size();
    const std::string line = printed.substr(start, end - start);
    if (line.find("\t(") == std::string::npos && line.find(' ') != std::string::npos &&
        line.find('=') == std::string::npos && line.rfind("torvu", 0) != 0 && line.rfind("object tree", 0) != 0 &&
        line.rfind("Compiled", 0) != 0 && line.rfind('/', 0) != 0)
      own += line + "\n";
    start = end + 1;
  }
  return own;
}

std::string Show(const char* attribute) { return std::string("  show(\"Project/DHMs/terrain\", \"") + attribute + "\");\n"; }

std::string Command(const char* label, const char* path, const char* attribute, const std::string& value)
{
  return std::string("  printf(\"") + label + " %d\\n\", set(\"" + path + "\", \"" + attribute + "\", \"" + value +
         "\"));\n";
}

}  // namespace

// A break-line vertex far outside the grid, or one that is not a number, is skipped with a
// warning; the terrain keeps its cells and its area. A break line that would leave no cells
// fails and leaves the terrain as it was.
TEST(Terrain, BreakLinesNeverLoseTheTerrain)
{
  ScratchDir dir;
  dir.Write("ridge.xyz", "5 5 0\n20 1e12 0\n30 30 0\n35 10 0\n");
  dir.Write("far.nxyz", "2\n10 10 0\n1e12 30 0\n3\n12 12 0\nnan 1 0\n30 30 0\n-1\n");
  dir.Write("alone.nxyz", "2\n0 0 0\n1e12 0 0\n-1\n");
  std::string all;
  const std::string printed = RunScript(
      dir,
      "  set(\"Project/Polylines\", \"Import\", \"ridge.xyz\");\n" +
          Command("line", "Project/DHMs/terrain", "InsertBreakLine", "../../Polylines/ridge") + Show("ProjectedArea") +
          Command("lines", "Project/DHMs/terrain", "InsertBreakLines", "far.nxyz") + Show("ProjectedArea") +
          Show("NumCells") + Command("import", "Project/DHMs/terrain", "Import", "alone.nxyz") + Show("NumCells") +
          Show("ProjectedArea"),
      &all);
  const std::string cells = all.substr(all.rfind("NumCells ") + 9, all.find('\n', all.rfind("NumCells ")) - all.rfind("NumCells ") - 9);
  EXPECT_GT(std::stoi(cells), 100) << all;
  EXPECT_EQ(printed, "line 0\nProjectedArea 1600\nlines 0\nProjectedArea 1600\nNumCells " + cells +
                         "\nimport 1\nNumCells " + cells + "\nProjectedArea 1600\n")
      << all;
  EXPECT_NE(all.find("WARNING:vertex 2 of break line 1 ('') at (20, 1e+12, 0) lies outside the terrain: skipped"),
            std::string::npos)
      << all;
  EXPECT_NE(all.find("ERROR:the break lines leave the terrain without cells"), std::string::npos) << all;
}

// A plane without extent is refused; a plane keeps "Dx" and, with square cells, is a regular
// grid. A failed import leaves no area of the mesh before it. A simulation mesh that cannot be
// made is not left behind. Contour lines exported after a change of step are the new ones.
TEST(Terrain, GeneratorsImportsAndDerivedMeshes)
{
  ScratchDir dir;
  dir.Write("bad.asc", "this is no grid\n");
  const std::string printed = RunScript(
      dir, Command("plane0", "Project/DHMs/terrain", "Length", "0") +
               Command("plane", "Project/DHMs/terrain", "SetToPlane", "") + Show("NumCells") +
               "  set(\"Project/DHMs/terrain\", \"Length\", \"40\");\n"
               "  set(\"Project/DHMs/terrain\", \"Width\", \"20\");\n"
               "  set(\"Project/DHMs/terrain\", \"Nx\", \"4\");\n"
               "  set(\"Project/DHMs/terrain\", \"Ny\", \"2\");\n" +
               Command("plane", "Project/DHMs/terrain", "SetToPlane", "") + Show("RegularGrid") + Show("Dx") +
               Show("Xor") + Show("ProjectedArea") +
               Command("step", "Project/DHMs/terrain", "ContourLinesMinorStep", "10") +
               Command("contours", "Project/DHMs/terrain", "ExportContourLines", "ten.nxyz") +
               Command("step", "Project/DHMs/terrain", "ContourLinesMinorStep", "5") +
               Command("contours", "Project/DHMs/terrain", "ExportContourLines", "five.nxyz") +
               Command("cell size", "Project/DHMs", "SimulationDefaultCellSize", "0.001") +
               Command("simulation mesh", "Project/DHMs", "CreateSimulationMesh", "terrain") +
               "  show(\"Project/DHMs\", \"GetComponentList\");\n" +
               Command("import", "Project/DHMs/terrain", "Import", "bad.asc") + Show("ProjectedArea") +
               Show("Resolution"));
  EXPECT_EQ(printed, "plane0 0\nplane 1\nNumCells 0\nplane 0\nRegularGrid 1\nDx 4\nXor 40 20\nProjectedArea 800\n"
                     "step 0\ncontours 0\nstep 0\ncontours 0\ncell size 0\nsimulation mesh 1\n"
                     "GetComponentList terrain%AK_SEP%\nimport 1\nProjectedArea 0\nResolution 0\n");
  // Heights 0 to 20: levels 0, 10, 20 at step 10, and 5 and 15 besides at step 5.
  const std::string ten = ReadFile(dir / "ten.nxyz"), five = ReadFile(dir / "five.nxyz");
  EXPECT_FALSE(ten.empty());
  EXPECT_GT(five.size(), ten.size());
}

// Line files through the polyline container: a byte-order mark changes nothing of what is
// read, a directory given as a file is an error that adds no line or set, and a line whose
// annotations are longer than any line limit reads back from its own export.
TEST(LineFiles, ImportsThroughTorvu)
{
  ScratchDir dir;
  const std::string bom = "\xEF\xBB\xBF";
  dir.Write("ridge.xy", bom + "1 2\n3 4\n");
  dir.Write("grid.ano", bom + "first\n1 red\n5 5\n");
  dir.Write("folder.xy/.keep", "");
  dir.Write("folder.ano/.keep", "");
  const std::string note = "note=" + std::string(2000, 'n');
  std::string all;
  const std::string printed = RunScript(
      dir, Command("xy", "Project/Polylines", "Import", "ridge.xy") +
               "  show(\"Project/Polylines/ridge\", \"NumVertices\");\n" +
               Command("ano", "Project/Polylines", "Import", "grid.ano") +
               "  show(\"Project/Polylines/first\", \"NumVertices\");\n" +
               Command("folder", "Project/Polylines", "Import", "folder.xy") +
               Command("set", "Project/Polylines", "ImportSet", "folder.ano") +
               Command("note", "Project/Polylines/ridge", "Annotations", note) +
               Command("export", "Project/Polylines/ridge", "Export", "long.nxyz") +
               Command("import", "Project/Polylines", "Import", "long.nxyz") +
               "  show(\"Project/Polylines\", \"GetComponentList\");\n" +
               "  show(\"Project/Polylines/long_0001\", \"NumVertices\");\n",
      &all);
  EXPECT_EQ(printed, "xy 0\nNumVertices 2\nano 0\nNumVertices 1\nfolder 1\nset 1\nnote 0\nexport 0\nimport 0\n"
                     "GetComponentList ridge%AK_SEP%first%AK_SEP%long_0001%AK_SEP%\nNumVertices 2\n")
      << all;
}
