// The shipped example as the README's run command runs it: the terrain with its release area
// imported, the project saved, the curvature written as a grid that GDAL reads with the
// terrain's geometry. The GDAL part is skipped when gdalinfo is not installed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "TestSupport.h"

namespace fs = std::filesystem;

TEST(Example, SlopeImportedSavedAndItsCurvatureExported)
{
  ScratchDir dir;
  for (const char* file : {"slope.asc", "slope.rel", "slope.macro"})
    fs::copy_file(fs::path(TORVU_EXAMPLES) / file, dir / file);
  int status = -1;
  std::string printed = RunProcess("cd " + ShellQuote(dir.Path()) + " && env -u TORVU_USER_ATTRIBUTES HOME=" +
                                       ShellQuote(dir.Path()) + " " + ShellQuote(TORVU_PROGRAM) + " -files " +
                                       ShellQuote(TORVU_ATTRIBUTES) + " -offscreen slope.macro < /dev/null",
                                   &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(printed.find("rror"), std::string::npos) << printed;
  EXPECT_TRUE(fs::exists(dir / "slope_project/DHMs/slope/DHM.dat"));
  EXPECT_TRUE(fs::exists(dir / "slope_project/ReleaseAreas/slope_0001"));
  ASSERT_TRUE(fs::exists(dir / "slope_curvature.asc")) << printed;
  if (std::system("gdalinfo --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "gdalinfo not installed";
  std::string info = RunProcess("gdalinfo " + ShellQuote(dir / "slope_curvature.asc"), &status);
  EXPECT_EQ(status, 0) << info;
  EXPECT_NE(info.find("Driver: AAIGrid"), std::string::npos) << info;
  EXPECT_NE(info.find("Size is 160, 60"), std::string::npos) << info;  // one value per terrain cell
}
