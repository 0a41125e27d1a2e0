// The outside mesh generator's surface files: round trips and refused files.
#include <gtest/gtest.h>

#include <string>

#include "Surfaces.h"
#include "TestSupport.h"

using namespace tri3dtest;

TEST(Files, RoundTripKeepsEveryBit)
{
  MessageCapture quiet;
  ScratchDir dir;
  for (const char* name : {"box.tbp", "box.tbs", "box.TBS", "box"}) {
    AK_Triangulation s;
    MakeBox(s, 1.1, 2.2, 3.3, [](int32_t t) { return t % 4 - 1; });
    // Geo-referenced coordinates with digits far beyond six significant ones.
    const double move[12] = {2600000.123456789, 1200000.987654321, 1523.45678901, 1, 0, 0,
                             0, 1, 0, 0, 0, 1};
    s.TransformAffine(move);
    const std::string path = dir / name;
    ASSERT_EQ(s.WriteDurnixFile(path.c_str()), 1);
    AK_Triangulation r;
    ASSERT_EQ(r.ReadDurnixFile(path.c_str()), 1);
    const bool tbs = std::string(name) == "box.tbs";
    ASSERT_EQ(r.NumPoints(), 8);
    ASSERT_EQ(r.NumTriangles(), 12);
    for (int32_t i = 0; i < 8; ++i) EXPECT_TRUE(r._p[i] == s._p[i]) << name;
    EXPECT_TRUE(r._min == s._min && r._max == s._max);
    for (int32_t t = 0; t < 12; ++t)
      for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(r._t[t].node[k], s._t[t].node[k]);
        EXPECT_EQ(r._t[t].neighbour[k], s._t[t].neighbour[k]);
      }
    for (int32_t t = 0; t < 12; ++t) EXPECT_EQ(r._t[t].patch, tbs ? -1 : t % 4 - 1) << name;
    EXPECT_EQ(r._nPatches, tbs ? 0 : 3);
  }
}

// The box is the header's as it stands, also when the vertices lie elsewhere, and a write
// gives it back unchanged; a byte-order mark in front changes nothing.
TEST(Files, BoxOfTheHeaderAndAByteOrderMark)
{
  MessageCapture quiet;
  ScratchDir dir;
  const std::string text = "-5 -5 -5\n5 5 5\n3\n0 0 0\n5 0 0\n0 -2 7\n1\n1 2 3 1\n";
  for (const std::string& head : {std::string(), std::string("\xEF\xBB\xBF")}) {
    AK_Triangulation s;
    ASSERT_EQ(s.ReadDurnixFile(dir.Write("stale.tbp", head + text).c_str()), 1);
    EXPECT_TRUE(s._min == AK_Vec3(-5, -5, -5) && s._max == AK_Vec3(5, 5, 5));
    ASSERT_EQ(s.WriteDurnixFile((dir / "copy.tbp").c_str()), 1);
    EXPECT_EQ(ReadFile(dir / "copy.tbp"), text);
  }
}

#ifdef TORVU_TRI3D_PROGRAM
// The program refuses what it cannot measure or mesh: exit status 1 with a message.
TEST(Files, Tri3dRefusesSurfacesAndCountsItCannotHandle)
{
  ScratchDir dir;
  const std::string far = dir.Write("far.tbs", "0 0 0\n1 1 1\n4\n0 0 0\n1e308 0 0\n0 1e308 0\n0 0 1e308\n"
                                               "4\n1 3 2\n1 2 4\n1 4 3\n2 3 4\n");
  struct Case { std::string arguments; int status; std::string says; };
  const Case cases[] = {
      {"info " + ShellQuote(far), 1, "are no finite numbers"},
      {"info " + ShellQuote(dir.Path()), 1, "cannot open file '" + dir.Path() + "' !"},
      {"random 2000000000", 2, "N must be a whole number"},
      {"random 200000000", 1, "ERROR:a tetrahedral mesh takes at most"},
      {"random 3", 0, "0 negative volume tets."},
  };
  for (const Case& c : cases) {
    int status = -1;
    const std::string printed = RunProcess(ShellQuote(TORVU_TRI3D_PROGRAM) + " " + c.arguments + " 2>&1", &status);
    EXPECT_EQ(status, c.status) << c.arguments << "\n" << printed;
    EXPECT_NE(printed.find(c.says), std::string::npos) << c.arguments << "\n" << printed;
  }
}
#endif

TEST(Files, BadFilesLeaveTheSurfaceAsItWas)
{
  MessageCapture messages;
  ScratchDir dir;
  const std::string head = "0 0 0\n1 1 1\n3\n0 0 0\n1 0 0\n0 1 0\n";
  struct Case {
    const char* what;
    std::string text;
  } cases[] = {
      {"empty", ""},
      {"short bounds", "0 0 0 1 1"},
      {"negative vertex count", "0 0 0\n1 1 1\n-3\n"},
      {"vertex count beyond the file", "0 0 0\n1 1 1\n99999999\n0 0 0\n"},
      {"short vertices", "0 0 0\n1 1 1\n3\n0 0 0\n1 0 0\n0 1\n"},
      {"no number", "0 0 0\n1 1 1\n3\n0 0 0\n1 0 x\n0 1 0\n1\n1 2 3 1\n"},
      {"vertex number 0", head + "1\n0 1 2 1\n"},
      {"vertex number beyond the count", head + "1\n1 2 4 1\n"},
      {"negative patch", head + "1\n1 2 3 -1\n"},
      {"short triangles", head + "2\n1 2 3 1\n"},
      {"triangle count beyond the file", head + "100\n1 2 3 1\n"},
      {"vertex beyond the doubles", "0 0 0\n1 1 1\n3\n0 0 0\n1e999 0 0\n0 1 0\n1\n1 2 3 1\n"},
  };
  AK_Triangulation s;
  MakeBox(s, 1, 2, 3);
  s.ComputeSubPatches(0.9);
  const std::string path = dir / "bad.tbp";
  for (const Case& c : cases) {
    WriteFile(path, c.text);
    EXPECT_EQ(s.ReadDurnixFile(path.c_str()), 0) << c.what;
    EXPECT_EQ(s.NumPoints(), 8) << c.what;
    EXPECT_EQ(s.NumTriangles(), 12) << c.what;
    EXPECT_EQ(s._nSubPatches, 6) << c.what;
    EXPECT_TRUE(messages.HasPrefix("error reading Durnix tbp file ")) << c.what;
    messages.Clear();
  }
  for (const std::string& unopenable : {dir / "missing.tbp", dir.Path()}) {
    EXPECT_EQ(s.ReadDurnixFile(unopenable.c_str()), 0);
    EXPECT_TRUE(messages.HasPrefix("cannot open file '" + unopenable + "' !")) << unopenable;
  }
  EXPECT_NEAR(s.Volume(), 6, 1e-12);

  // A good file replaces everything: octree, sub-patches and selection go.
  s.IsInside(AK_Vec3(0.5, 0.5, 0.5));
  ASSERT_TRUE(s._octree);
  WriteFile(path, head + "1\n1 2 3 2\n");
  ASSERT_EQ(s.ReadDurnixFile(path.c_str()), 1);
  EXPECT_FALSE(s._octree);
  EXPECT_EQ(s._nSubPatches, 0);
  EXPECT_EQ(s._subPatch.Size(), 0);
  EXPECT_EQ(s._nPatches, 2);
  EXPECT_EQ(s._t[0].patch, 1);
  EXPECT_EQ(s.IsInside(AK_Vec3(0.5, 0.5, 0.5)), 0);  // in front of the one triangle

  WriteFile(path, "1 2 3\n4 5 6\n0\n0\n");
  ASSERT_EQ(s.ReadDurnixFile(path.c_str()), 1);
  EXPECT_EQ(s.NumPoints() + s.NumTriangles(), 0);
  EXPECT_TRUE(s._max == AK_Vec3(4, 5, 6));
  EXPECT_EQ(s.IsInside(AK_Vec3(1, 2, 3)), 0);
}
