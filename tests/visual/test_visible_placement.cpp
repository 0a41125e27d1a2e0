// Objects placed in space: the model transformation on the software renderer's matrices,
// the copy descriptions, rotated copies and the bounding box widened by copies.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>

#include "AK_Framework.h"
#include "AK_sogl_State.h"
#include "TestSupport.h"
#include "VisibleTestSupport.h"

namespace {

using V3 = std::array<double, 3>;

// The renderer installed with identities, one level pushed on both stacks, as a frame has.
class Renderer : public ::testing::Test {
protected:
  void SetUp() override
  {
    soglResetState();
    soglInstall();
    for (GLenum mode : {GL_PROJECTION, GL_MODELVIEW}) { soglMatrixMode(mode); soglLoadIdentity(); soglPushMatrix(); }
  }
  void TearDown() override { AK_GLFunctionTable = _saved; soglResetState(); }
  const AK_GLFunctions _saved = AK_GLFunctionTable;
};

// Where the current modelview matrix puts a point.
V3 Transformed(V3 p)
{
  GLfloat m[16];
  soglGetFloatv(GL_MODELVIEW_MATRIX, m);
  V3 q;
  for (int r = 0; r < 3; ++r) q[r] = m[r] * p[0] + m[4 + r] * p[1] + m[8 + r] * p[2] + m[12 + r];
  return q;
}

// To four decimals, so that float rounding does not count.
std::string Text(V3 p, int mirrored)
{
  for (double& v : p) v = std::round(v * 1e4) / 1e4 + 0.0;
  return AK_String::Format("%g %g %g%s;", p[0], p[1], p[2], mirrored ? " m" : "").c_str();
}

double Dot(V3 a, V3 b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
V3 Cross(V3 a, V3 b) { return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]}; }
V3 Unit(V3 a) { return {a[0] / std::sqrt(Dot(a, a)), a[1] / std::sqrt(Dot(a, a)), a[2] / std::sqrt(Dot(a, a))}; }

}  // namespace

TEST_F(Renderer, ApplyTransformMapsDataPointsOntoTheLocalAxes)
{
  struct Row { V3 x, y, position; double scale; };
  const Row rows[] = {{{1, 0, 0}, {0, 1, 0}, {0, 0, 0}, 1}, {{1, 0, 0}, {0, 1, 0}, {0, 0, 0}, 2},
                      {{1, 0, 0}, {0, 1, 0}, {1, 2, 3}, 1}, {{0, 1, 0}, {-1, 0, 0}, {0, 0, 0}, 1},
                      {{1, 0, 0}, {1, 1, 0}, {0, 0, 0}, 1}, {{2, 1, -1}, {0.5, 3, 1}, {4, -5, 6}, 0.75}};
  for (const Row& r : rows) {
    Probe p;
    SetAll(p, {{"LocalX", AK_String(r.x.data(), 3)}, {"LocalY", AK_String(r.y.data(), 3)},
               {"Position", AK_String(r.position.data(), 3)}, {"Scale", AK_String::Format("%g", r.scale)}});
    soglLoadIdentity();
    p.ApplyTransform();
    // Independently: the rows of R are the unit x axis, the unit y axis made perpendicular
    // to it, and their normal.
    const V3 ex = Unit(r.x), ez = Unit(Cross(r.x, r.y)), ey = Cross(ez, ex);
    for (V3 point : {V3{0, 0, 0}, V3{1, 2, 3}, V3{-7, 0.5, 11}}) {
      V3 d = {point[0] - r.position[0], point[1] - r.position[1], point[2] - r.position[2]};
      V3 got = Transformed(point);
      int i = 0;
      for (V3 axis : {ex, ey, ez}) EXPECT_NEAR(got[i++], r.scale * Dot(axis, d), 1e-5);
    }
  }
}

// Each clone as the place of the data point (2, 0, 0) and its mirrored flag, drawn through
// the object on the renderer.
TEST_F(Renderer, ClonesAreDrawnWhereTheirDescriptionPutsThem)
{
  std::string forty;  // deeper than the renderer's matrix stack
  for (int i = 0; i < 40; ++i) forty += "trans 1 0 0\n";
  struct Row { std::string text; const char* clones; };
  const Row rows[] = {
      {forty, "42 0 0;"},
      {"trans 5 0 0\ncp 4\n2:rot 90 0 0 1\n3:rot 180 0 0 1\n4:rot 270 0 0 1", "7 0 0;0 7 0;-7 0 0;0 -7 0;"},
      {"cp 2\n2:mirror 1 0 0", "2 0 0;-2 0 0 m;"},
      {"mirror 1 0 0\nmirror 0 1 0", "-2 0 0;"},
      {"mirror 1 0 0 1 0 0", "0 0 0 m;"},
      {"cp 2\n1:rot 90 0 0 1", "0 2 0;2 0 0;"},
      {"cp 2\n3:rot 90 0 0 1", "2 0 0;2 0 0;"},
      {"trans 1 0 0\n\nrot 90 0 0 1", ""},
      {"trans 1 0 0\nscale 2 2 2", "6 0 0;"},
      {"rot 90 1 0 0 0 0 1", "1 1 0;"},
      {"rot 0 0 0 0", "2 0 0;"},
      {"cp 0", ""},
      {"cp 2\n2:trans nan 0 0", ""},
      {"1:trans 1 0 0", "3 0 0;"},
  };
  for (const Row& r : rows) {
    Probe p;
    std::string clones;
    bool itselfCollapsed = false;
    p.draw = [&](Probe& o) {
      if (o.DrawingCopy()) clones += Text(Transformed({2, 0, 0}), soglClockwise);
      else itselfCollapsed = Transformed({2, 0, 0}) == V3{0, 0, 0} && Transformed({0, 0, 0}) == V3{0, 0, 0};
    };
    p.Set("CloneTrafos", r.text.c_str());
    p.Update();
    EXPECT_EQ(clones, r.clones) << r.text;
    EXPECT_TRUE(itselfCollapsed) << r.text;
    EXPECT_FALSE(soglClockwise);
    EXPECT_EQ(soglMatIndex[1], 1) << "every push is popped";
  }
}

TEST_F(Renderer, RotatedCopiesTurnAboutTheAxisAndTakePrecedenceOverClones)
{
  Probe p;
  std::string drawn;
  p.draw = [&](Probe& o) { drawn += AK_String::Format("%d:", o.DrawingCopy()).c_str() + Text(Transformed({2, 0, 0}), 0); };
  SetAll(p, {{"NumberOfRotatedCopies", "4"}, {"RotatedCopiesAxisPoint", "1 1 5"}, {"CloneTrafos", "cp 3"}});
  p.Update();
  EXPECT_EQ(drawn, "1:2 2 0;2:0 2 0;3:0 0 0;0:2 0 0;");
  drawn.clear();
  p.Set("NumberOfRotatedCopies", "1");
  p.Update();
  EXPECT_EQ(drawn, "0:2 0 0;");
  // Copies beyond what a pass draws: the first of them and the object, and one warning
  // however many passes.
  int copies = 0;
  p.draw = [&](Probe&) { ++copies; };
  p.Set("NumberOfRotatedCopies", "2000000000");
  MessageCapture messages;
  for (int pass = 0; pass < 2; ++pass) p.Update();
  EXPECT_EQ(copies, 2 * AK_VisObj3d::kMaxRotatedCopies);
  EXPECT_EQ(messages.WithPrefix("WARNING:").size(), 1u);
}

TEST(VisObj3dBox, CopiesWidenTheBox)
{
  std::string forty;
  for (int i = 0; i < 40; ++i) forty += "trans 1 0 0\n";
  const double r = std::sqrt(12.0) / 2;  // half the diagonal of the box (0 0 0)-(2 2 2)
  struct Row { int copies; std::string clones; V3 min, max; };
  const Row rows[] = {
      {0, forty, {41 - r, 1 - r, 1 - r}, {41 + r, 1 + r, 1 + r}},
      {4, "", {-3, -3, -2}, {3, 3, 4}},
      {1, "cp 2\n2:trans 10 0 0", {1 - r, 1 - r, 1 - r}, {11 + r, 1 + r, 1 + r}},
      {0, "rot 0 0 0 0", {1 - r, 1 - r, 1 - r}, {1 + r, 1 + r, 1 + r}},
      {0, "cp 0", {0, 0, 0}, {2, 2, 2}},
      {1, "", {0, 0, 0}, {2, 2, 2}},
      {0, "trans 1 0 0\n\nrot 90 0 0 1", {0, 0, 0}, {2, 2, 2}},
      // Clones beyond the single-precision range: no finite point, the box as it was.
      {0, "trans -1e38 0 0\ntrans -1e38 0 0\ntrans -1e38 0 0\ntrans -1e38 0 0", {0, 0, 0}, {2, 2, 2}},
      // A clone far out but in range: the box around it, not one from a start value.
      {0, "scale 3e38 3e38 3e38", {3e38, 3e38, 3e38}, {3e38, 3e38, 3e38}},
  };
  for (const Row& row : rows) {
    Probe p;
    p.Set("NumberOfRotatedCopies", AK_String(row.copies));
    p.Set("CloneTrafos", row.clones.c_str());
    float min[3] = {0, 0, 0}, max[3] = {2, 2, 2};
    p.ExtendBoundingBox(min, max);
    EXPECT_EQ(Text({min[0], min[1], min[2]}, 0) + Text({max[0], max[1], max[2]}, 0), Text(row.min, 0) + Text(row.max, 0))
        << row.copies << " " << row.clones;
  }
}
