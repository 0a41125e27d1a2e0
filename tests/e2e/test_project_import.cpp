// A terrain grid written by GDAL (Debian gdal-bin) imported with the release areas of the
// ".rel" file beside it, saved as a project by one run of torvu and loaded by another.
// Skipped when gdal_translate is not installed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "TestSupport.h"

TEST(ProjectImport, GdalGridWithReleaseAreasSavesAndLoadsInAnotherRun)
{
  if (std::system("gdal_translate --version >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "gdal_translate not installed";
  ScratchDir dir;
  // A 7 x 5 grid with 10 m cells, so the mesh keeps its name beside 5 m simulation cells.
  std::string xyz;
  for (int r = 4; r >= 0; --r)
    for (int c = 0; c < 7; ++c)
      xyz += std::to_string(2600000 + 10 * c) + " " + std::to_string(1200000 + 10 * r) + " " +
             std::to_string(1500 + 7 * c - 2 * r) + "\n";
  WriteFile(dir / "hang.xyz", xyz);
  ASSERT_EQ(std::system(("cd " + ShellQuote(dir.Path()) +
                         " && gdal_translate -q -of AAIGrid -ot Float64 hang.xyz hang.asc 2>/dev/null")
                            .c_str()),
            0);
  WriteFile(dir / "hang.rel",
            "1.5 200 1\n4\n2600010 1200010\n2600030 1200010\n2600030 1200030\n2600010 1200030\n"
            "\n0.8 150\n3 2600040 1200010 2600050 1200010\n2600050 1200030\n");
  WriteFile(dir / "save.macro",
            "set(\"Project/DHMs\", \"Import\", \"hang.asc\")\n"
            "set(\"Project/DHMs/hang\", \"Export\", \"before.xyz\")\n"
            "set(\"Project\", \"SaveProjectAs\", \"project\")\n"
            "set(\"Project\", \"SaveAttributesRecursively\", \"before.txt\")\n");
  WriteFile(dir / "load.macro",
            "set(\"Project\", \"LoadProject\", \"project\")\n"
            "set(\"Project/DHMs/hang\", \"Export\", \"after.xyz\")\n"
            "set(\"Project\", \"SaveAttributesRecursively\", \"after.txt\")\n");
  auto run = [&](const char* macro) {
    int status = -1;
    std::string printed = RunProcess("cd " + ShellQuote(dir.Path()) + " && env -u TORVU_USER_ATTRIBUTES HOME=" +
                                         ShellQuote(dir.Path()) + " " + ShellQuote(TORVU_PROGRAM) + " -files " +
                                         ShellQuote(TORVU_ATTRIBUTES) + " -offscreen " + macro + " < /dev/null",
                                     &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(printed.find("rror"), std::string::npos) << printed;
  };
  run("save.macro");
  run("load.macro");

  std::string before = ReadFile(dir / "before.txt");
  for (const char* line : {"set(\"ReleaseAreas/hang_0001\", \"Depth\", \"1.5\")",
                           "set(\"ReleaseAreas/hang_0002\", \"Density\", \"150\")"})
    EXPECT_NE(before.find(line), std::string::npos) << line << "\n" << before;
  EXPECT_EQ(before.find("hang_0003"), std::string::npos) << before;
  EXPECT_EQ(ReadFile(dir / "after.txt"), before);

  // The mesh comes back from the project's data as it was imported.
  std::string exported = ReadFile(dir / "before.xyz");
  EXPECT_EQ(std::count(exported.begin(), exported.end(), '\n'), 35);
  EXPECT_EQ(ReadFile(dir / "after.xyz"), exported);
}
