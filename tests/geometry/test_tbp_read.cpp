// Reading tbp triangle files into triangle meshes.
#include <gtest/gtest.h>

#include <random>

#include "SW_MeshFiles.h"
#include "TestSupport.h"

TEST(TbpRead, SquareOfTwoTriangles)
{
  for (const char* f : {"square.tbp", "square_no_final_newline.tbp"}) {
    SCOPED_TRACE(f);
    MessageCapture messages;
    SW_MeshCore m;
    m._cartesian = 1;  // the reader leaves no grid description
    AK_String error;
    std::string path = TestData(std::string("tbp/") + f);
    ASSERT_EQ(SW_ReadTbp(m, path.c_str(), error), 1) << error.c_str();
    ASSERT_EQ(m.NumVertices(), 4);
    ASSERT_EQ(m.NumCells(), 2);
    EXPECT_EQ(m._lcv[0], AK_Index4(0, 1, 2, -1));
    EXPECT_EQ(m._lcv[1], AK_Index4(0, 2, 3, -1));
    EXPECT_EQ(m._cartesian, 0);
    EXPECT_EQ(m._x[2], AK_Vec3(1, 1, m._x[2].z));
    EXPECT_EQ(m._lcc[0][2], 1);  // the shared diagonal
    EXPECT_EQ(m._lcc[1][0], 0);
    EXPECT_EQ(m._vertexNormals.Size(), 4);
    for (const std::string& text : {"reading tbp file " + path + "...", std::string("4 vertices..."), std::string("2 triangles..."),
                                    "reading tbp file " + path + " done"})
      EXPECT_TRUE(messages.Contains(text)) << text;
    EXPECT_FALSE(messages.HasPrefix("1 cells discarded"));
    if (std::string(f) == "square_no_final_newline.tbp") {
      EXPECT_TRUE(messages.Contains("xMin:-5 -5 -5"));
      EXPECT_TRUE(messages.Contains("xMax:99 99 99"));
    }
  }
}

TEST(TbpRead, ClockwiseAndDegenerateTrianglesAreDropped)
{
  struct Case {
    const char* name;
    std::string text;
    int kept, discarded;
  } cases[] = {
      {"clockwise", ReadFile(TestData("tbp/square_clockwise.tbp")), 1, 1},
      {"collinear", "0 0 0 2 0 0\n3\n0 0 0\n1 0 5\n2 0 9\n1\n1 2 3 0\n", 0, 1},
      {"repeated corner", "0 0 0 1 1 0\n3\n0 0 0\n1 0 0\n0 1 0\n2\n1 2 3 0\n1 2 2 0\n", 1, 1},
      // Twice the area beyond the doubles, and an area that is no number.
      {"infinite area", "0 0 0 1 1 0\n3\n-1e300 -1e300 0\n1e300 -1e300 0\n0 1e300 0\n1\n1 2 3 0\n", 0, 1},
      {"area no number", "0 0 0 1 1 0\n3\n0 0 0\n1e300 1e300 0\n1e300 2e300 0\n1\n1 2 3 0\n", 0, 1},
  };
  ScratchDir dir;
  for (const Case& c : cases) {
    std::string path = dir.Write("t.tbp", c.text);
    MessageCapture messages;
    SW_MeshCore m;
    AK_String error;
    ASSERT_EQ(SW_ReadTbp(m, path.c_str(), error), 1) << c.name;
    EXPECT_EQ(m.NumCells(), c.kept) << c.name;
    EXPECT_TRUE(messages.Contains(std::to_string(c.discarded) +
                             " cells discarded because of zero or negative area!"))
        << c.name;
    for (int32_t k = 0; k < m.NumCells(); ++k) EXPECT_GT(m.CellAreaVector(k).z, 0) << c.name;
  }
}

TEST(TbpRead, BoundsAndPatchNumbersLeaveNoTrace)
{
  ScratchDir dir;
  std::string a = dir.Write("a.tbp", "0 0 0 1 1 0\n3\n0 0 1\n1 0 2\n0 1 3\n1\n1 2 3 4\n");
  std::string b = dir.Write("b.tbp", "-7e9 5 1 -3 2 8\n3\n0 0 1\n1 0 2\n0 1 3\n1\n1 2 3 -123456\n");
  MessageCapture quiet;
  SW_MeshCore ma, mb;
  AK_String error;
  ASSERT_EQ(SW_ReadTbp(ma, a.c_str(), error), 1);
  ASSERT_EQ(SW_ReadTbp(mb, b.c_str(), error), 1);
  ASSERT_EQ(ma.NumVertices(), mb.NumVertices());
  ASSERT_EQ(ma.NumCells(), mb.NumCells());
  for (int32_t v = 0; v < ma.NumVertices(); ++v) EXPECT_EQ(ma._x[v], mb._x[v]);
  for (int32_t c = 0; c < ma.NumCells(); ++c) EXPECT_EQ(ma._lcv[c], mb._lcv[c]);
}

TEST(TbpRead, BrokenFilesLeaveAnErrorAndAnEmptyMesh)
{
  struct Case {
    const char* name;
    const char* text;
    const char* what;
  } cases[] = {
      {"empty", "", "cannot read the lower bounds"},
      {"bounds cut", "0 0 0 1 1", "cannot read the upper bounds"},
      {"count missing", "0 0 0 1 1 0\n", "cannot read the vertex count"},
      {"count not a number", "0 0 0 1 1 0\nfour\n", "cannot read the vertex count"},
      {"negative count", "0 0 0 1 1 0\n-4\n", "cannot read the vertex count (out of range)"},
      {"count larger than the file", "0 0 0 1 1 0\n2000000000\n0 0 0\n", "cannot read the vertex count (out of range)"},
      {"vertices cut", "0 0 0 1 1 0\n3\n0 0 0\n1 0 0\n0 1            \n", "cannot read the vertices"},
      {"vertex not a number", "0 0 0 1 1 0\n3\n0 0 0\n1 0 0\n0 one 0\n1\n1 2 3 0\n", "cannot read the vertices"},
      {"triangle count missing", "0 0 0 1 1 0\n3\n0 0 0\n1 0 0\n0 1 0\n", "cannot read the triangle count"},
      {"triangle count too large", "0 0 0 1 1 0\n3\n0 0 0\n1 0 0\n0 1 0\n1000\n1 2 3 0\n", "cannot read the triangle count (out of range)"},
      {"triangles cut", "0 0 0 1 1 0\n3\n0 0 0\n1 0 0\n0 1 0\n2\n1 2 3 0\n1 2 3\n", "cannot read the triangles"},
      {"corner not an integer", "0 0 0 1 1 0\n3\n0 0 0\n1 0 0\n0 1 0\n1\n1 2 3.5 0\n", "cannot read the triangles"},
      {"corner zero", "0 0 0 1 1 0\n3\n0 0 0\n1 0 0\n0 1 0\n1\n0 2 3 0\n", "corner number 0 of triangle 1 is not in 1 .. 3"},
      {"corner beyond the vertices", "0 0 0 1 1 0\n3\n0 0 0\n1 0 0\n0 1 0\n1\n1 2 4 0\n", "corner number 4 of triangle 1 is not in 1 .. 3"},
      {"corner negative", "0 0 0 1 1 0\n3\n0 0 0\n1 0 0\n0 1 0\n1\n1 -2 3 0\n", "corner number -2 of triangle 1 is not in 1 .. 3"},
  };
  ScratchDir dir;
  for (const Case& c : cases) {
    std::string path = dir.Write("b.tbp", c.text);
    MessageCapture messages;
    SW_MeshCore m;
    m.SetNumVertices(5);
    AK_String error;
    EXPECT_EQ(SW_ReadTbp(m, path.c_str(), error), 0) << c.name;
    std::string expected = "error reading tbp file " + path + ": " + c.what;
    EXPECT_EQ(std::string(error.c_str()), expected) << c.name;
    EXPECT_TRUE(messages.Contains(expected)) << c.name;
    EXPECT_EQ(m.NumVertices(), 0) << c.name;
    EXPECT_EQ(m.NumCells(), 0) << c.name;
    EXPECT_EQ(m._lcc.Size(), 0) << c.name;
  }
}

TEST(TbpRead, MissingFileLeavesTheMeshAsItWas)
{
  MessageCapture messages;
  SW_MeshCore m;
  m.SetNumVertices(5);
  AK_String error;
  std::string path = TestData("tbp/none.tbp");
  EXPECT_EQ(SW_ReadTbp(m, path.c_str(), error), 0);
  EXPECT_EQ(std::string(error.c_str()), "cannot open file " + path + "!");
  EXPECT_TRUE(messages.Contains("cannot open file " + path + "!"));
  EXPECT_EQ(m.NumVertices(), 5);
}

TEST(TbpRead, RandomFanKeepsExactlyTheCounterClockwiseTriangles)
{
  // Triangles between random points; each kept one is counter-clockwise and every
  // discarded one is not, decided independently from the file's corner numbers.
  std::mt19937 rng(9);
  std::uniform_real_distribution<double> u(-100, 100);
  ScratchDir dir;
  for (int trial = 0; trial < 5; ++trial) {
    int n = 30, m = 200;
    std::vector<AK_Vec3> p(n);
    std::string text = "-100 -100 -100 100 100 100\n" + std::to_string(n) + "\n";
    for (auto& q : p) {
      q = AK_Vec3(u(rng), u(rng), u(rng));
      text += std::string(AK_FormatRoundTrip(q.x)) + " " + AK_FormatRoundTrip(q.y).c_str() + " " +
              AK_FormatRoundTrip(q.z).c_str() + "\n";
    }
    text += std::to_string(m) + "\n";
    int ccw = 0;
    std::vector<AK_Index4> expected;
    for (int t = 0; t < m; ++t) {
      int a = std::uniform_int_distribution<int>(0, n - 1)(rng);
      int b = std::uniform_int_distribution<int>(0, n - 1)(rng);
      int c = std::uniform_int_distribution<int>(0, n - 1)(rng);
      text += std::to_string(a + 1) + " " + std::to_string(b + 1) + " " + std::to_string(c + 1) + " 0\n";
      double s = (p[b].x - p[a].x) * (p[c].y - p[a].y) - (p[c].x - p[a].x) * (p[b].y - p[a].y);
      if (s > 0) {
        ++ccw;
        expected.push_back(AK_Index4(a, b, c, -1));
      }
    }
    std::string path = dir.Write("fan.tbp", text);
    MessageCapture quiet;
    SW_MeshCore mesh;
    AK_String error;
    ASSERT_EQ(SW_ReadTbp(mesh, path.c_str(), error), 1);
    ASSERT_EQ(mesh.NumCells(), ccw);
    for (int k = 0; k < ccw; ++k) EXPECT_EQ(mesh._lcv[k], expected[static_cast<size_t>(k)]);
  }
}
