// Release areas: the ".rel" file form, the values of imported lines and release-depth
// formulas.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "SW_AreaFiles.h"
#include "SW_ReleaseDepthFormula.h"
#include "TestSupport.h"

TEST(ReleaseAreas, RelRecordForms)
{
  using R = SW_AreaRecordResult;
  struct Row { std::string text; R result; double depth = 0, density = 0; int points = 0; };
  Row rows[] = {
      {"1.5 200 1\n4 0 0 100 0 100 100 0 100\n", R::Read, 1.5, 200, 4},
      {"\n0.8 150\n3\n0 0\n1 0\n\n1 1", R::Read, 0.8, 150, 3},  // the last area without a line end
      {"1 2 x\n-1\n", R::Read, 1, 2, 0},
      {"0.8\n3 0 0 1 0 1 1\n", R::Malformed},
      {"0.8 150\n", R::Malformed},
      {"\n", R::End},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.text);
    std::istringstream in(r.text);
    SW_RelRecord record;
    ASSERT_EQ(ReadRelRecord(in, record), r.result);
    if (r.result != R::Read) continue;
    EXPECT_EQ(record.depth, r.depth);
    EXPECT_EQ(record.density, r.density);
    ASSERT_EQ(record.points.Count(), r.points);
    if (r.points > 0) {
      EXPECT_EQ(record.points.Last().y, r.points == 4 ? 100 : 1);
    }
    EXPECT_EQ(ReadRelRecord(in, record), R::End);
  }
  EXPECT_EQ(SW_AreaFileBaseName("C:\\data\\slab.rel"), "slab");
  EXPECT_EQ(SW_AreaFileBaseName("data/slab.v2.rel"), "slab.v2");
}

TEST(ReleaseAreas, ValuesOfAnImportedLine)
{
  struct Row { const char* annotations; double depth, density, enthalpy; };
  Row rows[] = {
      {"d0=None;ah=2.5;rho=300;temp=-5;", 2.5, 300, -20500},
      {"temp=3;", 1, 125, 6150},
      {"d0=1.2;ah=2.5;", 1.2, 125, -20500},
      {"d0=0;ah=2.5;rho=abc;", 1, 125, -20500},  // d0 present: ah is not looked at
      {"d0=;ah=-1;rho=None;", 1, 125, -20500},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.annotations);
    double depth = 1, density = 125, enthalpy = -20500;
    SW_ReleaseValuesFromAnnotations(r.annotations, depth, density, enthalpy);
    EXPECT_EQ(depth, r.depth);
    EXPECT_EQ(density, r.density);
    EXPECT_EQ(enthalpy, r.enthalpy);
  }
}

namespace {

std::unique_ptr<SW_ReleaseDepthFormula> CompileFormula(const std::string& path)
{
  AK_File file(path.c_str(), "r");
  return SW_ReleaseDepthFormula::Compile(file, path.c_str(), nullptr);
}

}  // namespace

TEST(ReleaseAreas, FormulaFunctions)
{
  auto uniform = CompileFormula(std::string(TORVU_TEST_ATTRIBUTES_DIR) + "/release_depth/uniform.cint");
  ASSERT_TRUE(uniform);
  EXPECT_EQ(uniform->Depth({1, 2, 3}, {0, 0, 1}), 2);
  EXPECT_EQ(uniform->Parameters(nullptr), "2");
  uniform->SetParameters(nullptr, "3.5");
  EXPECT_EQ(uniform->Depth({1, 2, 3}, {0, 0, 1}), 3.5);

  ScratchDir dir;
  // A "getpar" that fills the whole buffer without a terminator, and one that writes nothing.
  auto filling = CompileFormula(dir.Write("fill.cint",
      "double depth(double x[3], double n[3]) { return x[0] * n[2]; }\n"
      "void getpar(char t[]) { int i; for (i = 0; i < 512; i++) t[i] = 'a'; }\n"));
  ASSERT_TRUE(filling);
  EXPECT_EQ(filling->Depth({4, 0, 0}, {0, 0, 0.5}), 2);
  EXPECT_EQ(std::string(filling->Parameters(nullptr)), std::string(511, 'a'));
  EXPECT_FALSE(filling->HasSetpar());
  auto silent = CompileFormula(dir.Write("silent.cint", "double depth(double x[], double n[]) { return 1; }\nvoid getpar(char t[512]) {}\n"));
  ASSERT_TRUE(silent);
  EXPECT_EQ(silent->Parameters(nullptr), "");

  MessageCapture messages;
  EXPECT_FALSE(CompileFormula(dir.Write("nodepth.cint", "double height(double x[3], double n[3]) { return 1; }\n")));
  EXPECT_FALSE(CompileFormula(dir.Write("wrongdepth.cint", "double depth(double x) { return 1; }\n")));
  EXPECT_EQ(messages.WithPrefix("ERROR: formula ").size(), 2u);
  EXPECT_FALSE(CompileFormula(dir.Write("broken.cint", "double depth(double x[3], double n[3]) { return 1 }\n")));
  EXPECT_TRUE(messages.HasPrefix("ERROR: syntax errors in " + dir / "broken.cint"));
}
