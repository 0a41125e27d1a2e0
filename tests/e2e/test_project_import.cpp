// Terrain through the whole program: a grid that GDAL (Debian gdal-bin) wrote, imported with
// the release areas of the ".rel" file beside it, saved by one run and loaded by another; and
// the shipped example as the README's run command runs it. GDAL parts are skipped without it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "TestSupport.h"

namespace {

bool Have(const char* tool) { return std::system((std::string(tool) + " --version >/dev/null 2>&1").c_str()) == 0; }

// Runs torvu offscreen on the macro in the directory: exit code 0 and no error printed.
void Torvu(const ScratchDir& dir, const char* macro)
{
  int status = -1;
  std::string printed = RunProcess(
      TorvuOffscreen(dir.Path(), TORVU_PROGRAM, TORVU_ATTRIBUTES, std::string(macro) + " < /dev/null"), &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(printed.find("rror"), std::string::npos) << printed;
}

}  // namespace

TEST(ProjectImport, GdalGridWithReleaseAreasSavesAndLoadsInAnotherRun)
{
  if (!Have("gdal_translate")) GTEST_SKIP() << "gdal_translate not installed";
  ScratchDir dir;
  std::string xyz;  // 7 x 5 nodes, 10 m apart, so the mesh keeps its name beside 5 m simulation cells
  for (int r = 4; r >= 0; --r)
    for (int c = 0; c < 7; ++c)
      xyz += std::to_string(2600000 + 10 * c) + " " + std::to_string(1200000 + 10 * r) + " " +
             std::to_string(1500 + 7 * c - 2 * r) + "\n";
  dir.Write("hang.xyz", xyz);
  ASSERT_EQ(std::system(("cd " + ShellQuote(dir.Path()) + " && gdal_translate -q -of AAIGrid -ot Float64 hang.xyz hang.asc")
                            .c_str()), 0);
  dir.Write("hang.rel", "1.5 200 1\n4\n2600010 1200010\n2600030 1200010\n2600030 1200030\n2600010 1200030\n"
                        "\n0.8 150\n3 2600040 1200010 2600050 1200010\n2600050 1200030\n");
  dir.Write("save.macro", "set(\"Project/DHMs\", \"Import\", \"hang.asc\")\n"
                          "set(\"Project/DHMs/hang\", \"Export\", \"before.xyz\")\n"
                          "set(\"Project\", \"SaveProjectAs\", \"project\")\n"
                          "set(\"Project\", \"SaveAttributesRecursively\", \"before.txt\")\n");
  dir.Write("load.macro", "set(\"Project\", \"LoadProject\", \"project\")\n"
                          "set(\"Project/DHMs/hang\", \"Export\", \"after.xyz\")\n"
                          "set(\"Project\", \"SaveAttributesRecursively\", \"after.txt\")\n");
  Torvu(dir, "save.macro");
  Torvu(dir, "load.macro");
  std::string before = ReadFile(dir / "before.txt");
  for (const char* line : {"set(\"ReleaseAreas/hang_0001\", \"Depth\", \"1.5\")",
                           "set(\"ReleaseAreas/hang_0002\", \"Density\", \"150\")"})
    EXPECT_NE(before.find(line), std::string::npos) << line << "\n" << before;
  EXPECT_EQ(before.find("hang_0003"), std::string::npos);
  EXPECT_EQ(ReadFile(dir / "after.txt"), before);
  std::string exported = ReadFile(dir / "before.xyz");
  EXPECT_EQ(std::count(exported.begin(), exported.end(), '\n'), 35);
  EXPECT_EQ(ReadFile(dir / "after.xyz"), exported);
}

TEST(ProjectImport, TheExampleSlopeSavedAndItsCurvatureExported)
{
  ScratchDir dir;
  for (const char* file : {"slope.asc", "slope.rel", "slope.macro"})
    std::filesystem::copy_file(std::string(TORVU_EXAMPLES) + "/" + file, dir / file);
  Torvu(dir, "slope.macro");
  EXPECT_FALSE(ReadFile(dir / "slope_project/DHMs/slope/DHM.dat").empty());
  EXPECT_TRUE(std::filesystem::exists(dir / "slope_project/ReleaseAreas/slope_0001"));
  ASSERT_TRUE(std::filesystem::exists(dir / "slope_curvature.asc"));
  if (!Have("gdalinfo")) GTEST_SKIP() << "gdalinfo not installed";
  std::string info = RunProcess("gdalinfo " + ShellQuote(dir / "slope_curvature.asc"));
  EXPECT_NE(info.find("Size is 160, 60"), std::string::npos) << info;  // one value per terrain cell
}
