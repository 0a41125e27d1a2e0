// A saved project (a terrain mesh, a release area, a polyline, a simulation) damaged in one way
// at a time and loaded by a second torvu: the load names what it could not load, everything
// undamaged comes back, and the save that follows leaves the damaged files as they are.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

std::string Torvu(const std::string& dir, const std::string& macro)
{
  return RunProcess(TorvuOffscreen(dir, TORVU_PROGRAM, TORVU_ATTRIBUTES, macro + " < /dev/null 2>&1"));
}

std::vector<std::string> Lines(const std::string& text)
{
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Replaces the first line of the file that contains `marker` with `line`.
void ReplaceLine(const std::string& file, const std::string& marker, const std::string& line)
{
  std::string out;
  bool done = false;
  for (const std::string& l : Lines(ReadFile(file))) {
    out += !done && Has(l, marker) ? (done = true, line) : l;
    out += "\n";
  }
  ASSERT_TRUE(done) << marker << " in " << file;
  WriteFile(file, out);
}

struct Damage {
  const char* name;
  const char* file;                  // below the project directory: what the save must leave
  std::function<void(const std::string&)> apply;  // to that file's path
  const char* object;                // its path below Project, as the saved commands name it
  const char* lostLine;              // the saved command that cannot come back ("" : all of the object's)
  const char* error;                 // what the load's error names ("": the load succeeds)
};

}  // namespace

TEST(DamagedProject, LoadNamesTheDamageKeepsTheRestAndTheSaveLeavesTheDamagedFiles)
{
  ScratchDir dir;
  std::string grid = "ncols 9\nnrows 6\nxllcorner 1000\nyllcorner 2000\ncellsize 10\n";
  for (int r = 0; r < 6; ++r) {
    for (int c = 0; c < 9; ++c) grid += std::to_string(1500 - 5 * c + r) + " ";
    grid += "\n";
  }
  dir.Write("hang.asc", grid);
  dir.Write("hang.rel", "1.5 200 1\n4\n1010 2010\n1030 2010\n1030 2030\n1010 2030\n");
  dir.Write("depth.asc", "ncols 3\nnrows 3\nxllcorner 1000\nyllcorner 2000\ncellsize 20\n2 2 2\n2 2 2\n2 2 2\n");
  dir.Write("ridge.xyz", "1005 2005 0\n1045 2025 0\n1075 2045 0\n");
  // The output interval before the step, and a step longer than twice the interval.
  dir.Write("save.macro", "set(\"Project/DHMs\", \"Import\", \"hang.asc\")\n"
                          "set(\"Project/Polylines\", \"Import\", \"ridge.xyz\")\n"
                          "set(\"Project/ReleaseDHMs\", \"Import\", \"depth.asc\")\n"
                          "set(\"Project/ReleaseAreas/hang_0001\", \"RelDepFuncName\", \"from_ReleaseDHM_depth\")\n"
                          "set(\"Project/Simulations\", \"CreateSimulation\", \"Sim\")\n"
                          "set(\"Project/Simulations/Sim\", \"DeltaOut\", \"6\")\n"
                          "set(\"Project/Simulations/Sim\", \"DeltaT\", \"20\")\n"
                          "set(\"Project/Simulations/Sim\", \"NumParticles\", \"777\")\n"
                          "set(\"Project/Simulations/Sim\", \"Remark\", \"kept\")\n"
                          "set(\"Project/Simulations/Sim\", \"Active\", \"0\")\n"
                          "set(\"Project\", \"SaveProjectAs\", \"saved\")\n");
  std::string first = Torvu(dir.Path(), "save.macro");
  ASSERT_TRUE(fs::exists(dir / "saved/Simulations/Sim/ShallowWaterSimulation.atr")) << first;
  ASSERT_TRUE(fs::exists(dir / "saved/ReleaseAreas/hang_0001/ReleaseArea.dat")) << first;
  // A script goes on after a command that fails, so the same process can also save.
  dir.Write("load.cint", "int main()\n{\n  char text[8192];\n"
                         "  int answer = set(\"Project\", \"LoadProject\", \"project\");\n"
                         "  printf(\"LoadProject answers %d\\n\", answer);\n"
                         "  if (error(text)) printf(\"load error: %s\\n\", text);\n"
                         "  set(\"Project\", \"SaveAttributesRecursively\", \"../loaded.txt\");\n"
                         "  answer = set(\"Project\", \"SaveProject\", \"\");\n"
                         "  printf(\"SaveProject answers %d\\n\", answer);\n"
                         "  return 0;\n}\n");

  const char* sim = "Simulations/Sim/ShallowWaterSimulation.atr";
  const Damage damages[] = {
      {"none", sim, [](const std::string&) {}, "", "", ""},
      {"refused line", sim,
       [](const std::string& f) { ReplaceLine(f, "\"DeltaT\"", "set(\"\", \"DeltaT\", \"nan\")"); },
       "Simulations/Sim", "set(\"Simulations/Sim\", \"DeltaT\", \"20\")",
       "cannot load attributes for Viewer/Project/Simulations/Sim from file project/Simulations/Sim/"
       "ShallowWaterSimulation.atr: 1 line(s) refused or malformed"},
      {"mesh path gone", sim,
       [](const std::string& f) { ReplaceLine(f, "\"Mesh\"", "set(\"\", \"Mesh\", \"../../DHMs/gone\")"); },
       "Simulations/Sim", "set(\"Simulations/Sim\", \"Mesh\", \"",
       "cannot load attributes for Viewer/Project/Simulations/Sim"},
      {"broken quote", "Polylines/ridge/Polyline.atr",
       [](const std::string& f) { ReplaceLine(f, "\"Annotations\"", "set(\"\", \"Annotations\", \"name=ridge"); },
       "Polylines/ridge", "\"Annotations\"", "cannot load attributes for Viewer/Project/Polylines/ridge"},
      {"mesh record", "DHMs/hang/DHM.dat",
       [](const std::string& f) {
         std::string bytes = ReadFile(f);
         WriteFile(f, bytes.substr(0, bytes.size() / 2));
       },
       "DHMs/hang", "", "cannot load data for Viewer/Project/DHMs/hang from file project/DHMs/hang/DHM.dat"},
      {"area points", "ReleaseAreas/hang_0001/ReleaseArea.dat",
       [](const std::string& f) { WriteFile(f, "not a record at all"); }, "ReleaseAreas/hang_0001", "",
       "cannot load data for Viewer/Project/ReleaseAreas/hang_0001 from file "
       "project/ReleaseAreas/hang_0001/ReleaseArea.dat"},
      // The release-depth mesh deleted: the area keeps its choice and its depth.
      {"release depth mesh gone", "ReleaseAreas/hang_0001/ReleaseArea.atr",
       [](const std::string& f) { fs::remove_all(fs::path(f).parent_path().parent_path().parent_path() / "ReleaseDHMs/depth"); },
       "ReleaseDHMs/depth", "", ""},
  };
  std::vector<std::string> whole;
  for (const Damage& d : damages) {
    SCOPED_TRACE(d.name);
    const std::string run = dir / (std::string("case_") + std::to_string(&d - damages));
    fs::create_directories(run);
    fs::copy(dir / "saved", run + "/project", fs::copy_options::recursive);
    fs::copy(dir / "load.cint", run + "/load.cint");
    const std::string damaged = run + "/project/" + d.file;
    d.apply(damaged);
    const std::string before = ReadFile(damaged);
    fs::remove(dir / "loaded.txt");
    std::string printed = Torvu(run, "load.cint");
    std::vector<std::string> loaded = Lines(ReadFile(dir / "loaded.txt"));
    if (whole.empty()) {
      // The undamaged project loads without a word of error and is not written back.
      whole = loaded;
      EXPECT_FALSE(Has(printed, "rror")) << printed;
      EXPECT_TRUE(Has(printed, "LoadProject answers 0")) << printed;
      EXPECT_FALSE(Has(printed, "saving ")) << printed;
      for (const char* line : {"set(\"Simulations/Sim\", \"DeltaOut\", \"6\")", "set(\"Simulations/Sim\", \"DeltaT\", \"20\")",
                               "set(\"Simulations/Sim\", \"Active\", \"0\")", "set(\"Simulations/Sim\", \"Remark\", \"kept\")",
                               "set(\"Simulations/Sim\", \"NumParticles\", \"777\")",
                               "set(\"ReleaseAreas/hang_0001\", \"RelDepFuncName\", \"from_ReleaseDHM_depth\")"})
        EXPECT_NE(std::find(whole.begin(), whole.end(), line), whole.end()) << line;
      continue;
    }
    EXPECT_TRUE(Has(printed, "SaveProject answers 0")) << printed;
    EXPECT_EQ(ReadFile(damaged), before) << "the save wrote the file";
    if (!*d.error) {
      EXPECT_TRUE(Has(printed, "LoadProject answers 0")) << printed;
      EXPECT_TRUE(Has(printed, "is missing, depth ")) << printed;
    } else {
      EXPECT_TRUE(Has(printed, "LoadProject answers 1")) << printed;
      EXPECT_TRUE(Has(printed, std::string("load error: ") + d.error)) << printed;
      EXPECT_TRUE(Has(printed, std::string("WARNING:Viewer/Project/") + d.object + " not saved")) << printed;
    }
    // A path that names nothing is held as it was read, for a save to write it back.
    if (std::string(d.name) == "mesh path gone") {
      EXPECT_TRUE(Has(ReadFile(dir / "loaded.txt"), "set(\"Simulations/Sim\", \"Mesh\", \"../../DHMs/gone\")"));
    }
    // Every saved command of the undamaged objects, and of the damaged object every one but
    // the lost, comes back (an object whose data did not load runs no attribute file).
    const std::string own = std::string("set(\"") + d.object + "\"";
    for (const std::string& line : whole) {
      bool ofDamaged = line.rfind(own + ",", 0) == 0;
      if (ofDamaged && (!*d.lostLine || Has(line, d.lostLine))) continue;
      EXPECT_NE(std::find(loaded.begin(), loaded.end(), line), loaded.end()) << line;
    }
  }
}
