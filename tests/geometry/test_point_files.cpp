// The "xyz" and DXF point readers.
#include <gtest/gtest.h>

#include <string>

#include "TestMeshes.h"
#include "TestSupport.h"
#include "SW_MeshFiles.h"
#include "SW_MeshPoints.h"

using namespace meshtest;

namespace {

template <class Parser>
std::vector<AK_Vec3> Parse(const std::string& text, size_t chunk)
{
  AK_Array<AK_Vec3> out;
  Parser parser(out);
  for (size_t i = 0; i < text.size(); i += chunk)
    parser.Feed(text.data() + i, std::min(chunk, text.size() - i));
  parser.Finish();
  return std::vector<AK_Vec3>(out.begin(), out.end());
}

struct Case { const char* name; std::string text; std::vector<AK_Vec3> points; };

template <class Parser>
void RunCases(const std::vector<Case>& cases)
{
  for (const Case& tc : cases) {
    SCOPED_TRACE(tc.name);
    for (size_t chunk : {size_t(1), size_t(3), size_t(7), size_t(1) << 20}) {
      std::vector<AK_Vec3> got = Parse<Parser>(tc.text, chunk);
      ASSERT_EQ(got.size(), tc.points.size()) << "chunk " << chunk;
      for (size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i], tc.points[i]) << i;
    }
  }
}

}  // namespace

TEST(PointFiles, XyzLines)
{
  std::string longTail = "1 2 3 " + std::string(300, 'a') + "\n";
  std::string cutNumber = std::string(245, ' ') + "1 2 3.14159265358979\n";
  RunCases<SW_XyzParser>({
      {"plain", "1 2 3\n4 5 6\n", {{1, 2, 3}, {4, 5, 6}}},
      {"CRLF", "1 2 3\r\n4 5 6\r\n", {{1, 2, 3}, {4, 5, 6}}},
      {"commas", "1,2,3\n1.5,-2e3,0.25\n", {{1, 2, 3}, {1.5, -2000, 0.25}}},
      {"tabs and extra columns", "7\t8\t9\t10 11\n", {{7, 8, 9}}},
      {"header and comments", "x y z\n# made by hand\n1 2 3\n", {{1, 2, 3}}},
      {"blank lines", "\n\n1 2 3\n\n", {{1, 2, 3}}},
      {"last line without line end", "1 2 3\n4 5 6", {{1, 2, 3}, {4, 5, 6}}},
      {"last line CR only", "4 5 6\r", {{4, 5, 6}}},
      {"two numbers", "1 2\n3 4 5\n", {{3, 4, 5}}},
      {"not a number", "nan 1 2\n1 inf 2\n1 2 -infinity\n1 2 3\n", {{1, 2, 3}}},
      {"NUL bytes", std::string("1 2\0 3\n", 7), {{1, 2, 3}}},
      {"long line, numbers first", longTail, {{1, 2, 3}}},
      {"long line, number cut", cutNumber, {}},
      {"empty", "", {}},
  });
}

TEST(PointFiles, DxfPoints)
{
  auto point = [](const char* x, const char* y, const char* z) {
    return std::string("  0\nPOINT\n  8\n0\n 10\n") + x + "\n 20\n" + y + "\n 30\n" + z + "\n";
  };
  RunCases<SW_DxfPointParser>({
      {"one point", point("1.5", "2.5", "3.5") + "  0\nEOF\n", {{1.5, 2.5, 3.5}}},
      {"CRLF", "  0\r\nPOINT\r\n 10\r\n1\r\n 20\r\n2\r\n 30\r\n3\r\n  0\r\nEOF\r\n", {{1, 2, 3}}},
      {"codes without padding", "0\nPOINT\n10\n1\n20\n2\n30\n3\n", {{1, 2, 3}}},
      {"other entities pass unseen",
       "  0\nLINE\n 10\n9\n 20\n9\n 30\n9\n" + point("1", "2", "3"), {{1, 2, 3}}},
      {"a point without 30 completes at a later 30",
       "  0\nPOINT\n 10\n1\n 20\n2\n  0\nLINE\n 30\n5\n" + point("6", "7", "8"),
       {{1, 2, 5}, {6, 7, 8}}},
      {"a point without 10 adds nothing", "  0\nPOINT\n 20\n2\n 30\n3\n", {}},
      {"a bad value abandons the point", "  0\nPOINT\n 10\nabc\n 20\n2\n 30\n3\n", {}},
      {"infinite value", "  0\nPOINT\n 10\n1\n 20\ninf\n 30\n3\n", {}},
      {"last line without line end", "  0\nPOINT\n 10\n1\n 20\n2\n 30\n3", {{1, 2, 3}}},
      {"blank line first", "\n" + point("1", "2", "3") + point("4", "5", "6"), {{1, 2, 3}, {4, 5, 6}}},
      {"a colour value 10 announces nothing", "  0\nPOINT\n 62\n    10\n 20\n2\n 10\n1\n 30\n3\n",
       {{1, 2, 3}}},
  });
}

TEST(PointFiles, ReadingFiles)
{
  const std::string dir = TestData("points/");
  SW_MeshCore m;
  AK_String error;
  MessageCapture messages;
  ASSERT_TRUE(SW_ReadXyz(m, (dir + "mixed.xyz").c_str(), error));
  ASSERT_EQ(m.NumVertices(), 4);
  EXPECT_EQ(m._x[1], AK_Vec3(4, 5, 6));
  EXPECT_EQ(m._x[3], AK_Vec3(10, 11, 12));
  EXPECT_EQ(m.NumCells(), 0);  // the four points are collinear
  EXPECT_TRUE(messages.Contains("read 4 points from " + dir + "mixed.xyz"));

  ASSERT_TRUE(SW_ReadDxfPoints(m, (dir + "points.dxf").c_str(), error));
  ASSERT_EQ(m.NumVertices(), 2);
  EXPECT_EQ(m._x[0], AK_Vec3(1.5, 2.5, 3.5));
  EXPECT_EQ(m._x[1], AK_Vec3(6, 7, 8));

  // A file that cannot be opened leaves the mesh as it was.
  EXPECT_FALSE(SW_ReadXyz(m, (dir + "missing.xyz").c_str(), error));
  EXPECT_EQ(std::string(error.c_str()), "cannot open file " + dir + "missing.xyz");
  EXPECT_FALSE(SW_ReadDxfPoints(m, (dir + "missing.dxf").c_str(), error));
  EXPECT_EQ(std::string(error.c_str()), "cannot open dxf file " + dir + "missing.dxf");
  EXPECT_EQ(m.NumVertices(), 2);
}

TEST(PointFiles, DuplicateLinesGiveAVertexWithoutCell)
{
  ScratchDir dir;
  const std::string path = dir.Write("duplicates.xyz", "0 0 1\n10 0 2\n0 10 3\n10 10 4\n0 0 5\n");
  SW_MeshCore m;
  AK_String error;
  ASSERT_TRUE(SW_ReadXyz(m, path.c_str(), error));
  EXPECT_EQ(m.NumVertices(), 5);
  EXPECT_EQ(m.NumCells(), 2);
  int withoutCell = 0;
  for (int v : {0, 4}) {
    bool used = false;
    for (int32_t c = 0; c < m.NumCells(); ++c)
      for (int k = 0; k < 3; ++k) used = used || m._lcv[c][k] == v;
    withoutCell += !used;
  }
  EXPECT_EQ(withoutCell, 1);
}
