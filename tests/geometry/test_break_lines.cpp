// Break-line triangulation: segments recovered as mesh edges by inserting midpoints.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <set>

#include "TestMeshes.h"
#include "TestSupport.h"

using namespace meshtest;

namespace {

AK_NamedPolyline Line(std::initializer_list<AK_Vec3> points)
{
  AK_NamedPolyline l;
  for (const auto& p : points) l.points.Append(p);
  return l;
}

bool IsEdge(const SW_MeshCore& m, int32_t a, int32_t b)
{
  for (int32_t c = 0; c < m.NumCells(); ++c)
    for (int k = 0; k < 3; ++k) {
      int32_t u = m._lcv[c][k], v = m._lcv[c][(k + 1) % 3];
      if ((u == a && v == b) || (u == b && v == a)) return true;
    }
  return false;
}

double SegmentLength(const SW_MeshCore& m)
{
  double sum = 0;
  for (int32_t s = 0; s + 1 < m._segments.Size(); s += 2) {
    AK_Vec3 d = m._x[m._segments[s + 1]] - m._x[m._segments[s]];
    sum += std::hypot(d.x, d.y);
  }
  return sum;
}

void RandomPoints(SW_MeshCore& m, int n, uint64_t seed)
{
  Rng rng(seed);
  for (int i = 0; i < n; ++i) m._x.Append(AK_Vec3(rng.Uniform(0, 100), rng.Uniform(0, 100), 0));
}

}  // namespace

TEST(BreakLines, SegmentsBecomeEdgesWithLinearMidpoints)
{
  SW_MeshCore m;
  RandomPoints(m, 400, 3);
  const int32_t before = m.NumVertices();
  AK_Array<AK_NamedPolyline> lines;
  lines.Append(Line({{1, 1, 0}, {99, 97, 98}, {3, 90, 10}}));
  lines.Append(Line({{2, 50, 5}, {30, 60, 25}}));  // crosses neither segment of the first
  AK_String error;
  m.TriangulateWithBreakLines(lines, 1, error);
  // The old vertices keep their indices, the polyline points follow them.
  EXPECT_EQ(m._x[before], AK_Vec3(1, 1, 0));
  EXPECT_EQ(m._x[before + 3], AK_Vec3(2, 50, 5));
  ASSERT_GT(m._segments.Size(), 6);
  for (int32_t s = 0; s + 1 < m._segments.Size(); s += 2)
    EXPECT_TRUE(IsEdge(m, m._segments[s], m._segments[s + 1])) << "segment " << s / 2;
  // Nothing was dropped: the parts add up to the polylines.
  double expected = std::hypot(98, 96) + std::hypot(96, 7) + std::hypot(28, 10);
  EXPECT_NEAR(SegmentLength(m), expected, 1e-9);
  // Every added point lies on a polyline segment with the height interpolated linearly.
  const AK_Vec3 ends[3][2] = {{{1, 1, 0}, {99, 97, 98}}, {{99, 97, 98}, {3, 90, 10}},
                             {{2, 50, 5}, {30, 60, 25}}};
  ASSERT_GT(m.NumVertices(), before + 5);
  for (int32_t v = before + 5; v < m.NumVertices(); ++v) {
    const AK_Vec3& p = m._x[v];
    bool onSegment = false;
    for (const auto& e : ends) {
      AK_Vec3 d = e[1] - e[0];
      double t = ((p.x - e[0].x) * d.x + (p.y - e[0].y) * d.y) / (d.x * d.x + d.y * d.y);
      AK_Vec3 q = e[0] + d * t;
      if (t >= 0 && t <= 1 && std::hypot(q.x - p.x, q.y - p.y) < 1e-9) {
        onSegment = true;
        EXPECT_NEAR(p.z, q.z, 1e-9);
      }
    }
    EXPECT_TRUE(onSegment) << "vertex " << v;
  }
  ASSERT_EQ(m._vertexNormals.Size(), m.NumVertices());
}

TEST(BreakLines, SharedEndPointsAndPointsOfTheSetKeepTheirSegments)
{
  struct Case { const char* name; bool pointOnLine; };
  for (const Case& tc : {Case{"junction of two lines", false}, Case{"vertex on a point", true}}) {
    SCOPED_TRACE(tc.name);
    SW_MeshCore m;
    RandomPoints(m, 200, 8);
    if (tc.pointOnLine) m._x.Append(AK_Vec3(50, 50, 7));  // the same place as the junction
    AK_Array<AK_NamedPolyline> lines;
    lines.Append(Line({{10, 10, 0}, {50, 50, 7}}));
    lines.Append(Line({{50, 50, 7}, {90, 20, 0}}));
    AK_String error;
    m.TriangulateWithBreakLines(lines, 1, error);
    EXPECT_NEAR(SegmentLength(m), std::hypot(40, 40) + std::hypot(40, 30), 1e-9);
    for (int32_t s = 0; s + 1 < m._segments.Size(); s += 2)
      EXPECT_TRUE(IsEdge(m, m._segments[s], m._segments[s + 1]));
  }
}

TEST(BreakLines, EmptyListAndSegmentsThatAreEdgesAlready)
{
  {
    SW_MeshCore m;
    m._x.Append(AK_Vec3(1, 2, 3));
    AK_Array<AK_NamedPolyline> none;
    MessageCapture messages;
    AK_String error;
    // Nothing to triangulate leaves no cells: the mesh stays as it was.
    EXPECT_FALSE(m.TriangulateWithBreakLines(none, 0, error));
    EXPECT_FALSE(error.IsEmpty());
    EXPECT_EQ(m.NumVertices(), 1);
    EXPECT_EQ(m.NumCells(), 0);
    for (const auto& msg : messages.messages) EXPECT_EQ(msg.find("recovering"), std::string::npos);
  }
  {
    SW_MeshCore m;
    AK_Array<AK_NamedPolyline> lines;
    lines.Append(Line({{0, 0, 0}, {10, 0, 1}}));
    m._x.Append(AK_Vec3(5, 5, 0));
    MessageCapture messages;
    AK_String error;
    EXPECT_TRUE(m.TriangulateWithBreakLines(lines, 1, error));
    EXPECT_TRUE(messages.Contains("recovering 1 segments..."));
    EXPECT_TRUE(messages.Contains("0 new points..."));
    EXPECT_EQ(m._segments.Size(), 2);
  }
}

TEST(BreakLines, RepeatsFromSeed444)
{
  SW_MeshCore a, b;
  RandomPoints(a, 300, 2);
  RandomPoints(b, 300, 2);
  AK_Array<AK_NamedPolyline> lines;
  lines.Append(Line({{0, 0, 0}, {100, 100, 10}}));
  AK_SeedRandom(5);
  AK_String error;
  a.TriangulateWithBreakLines(lines, 1, error);
  AK_SeedRandom(99);
  b.TriangulateWithBreakLines(lines, 1, error);
  ASSERT_EQ(a.NumCells(), b.NumCells());
  for (int32_t c = 0; c < a.NumCells(); ++c) EXPECT_EQ(a._lcv[c], b._lcv[c]);
  ASSERT_EQ(a._segments.Size(), b._segments.Size());
}

// A break-line vertex far outside the terrain or not finite is skipped with a warning that
// names it; the rest of its line is inserted, and the terrain keeps every cell it had.
TEST(BreakLines, VerticesOutsideTheTerrainOrNotFiniteAreSkipped)
{
  const double inf = std::numeric_limits<double>::infinity(), nan = std::nan("");
  struct Case { const char* name; AK_Vec3 bad; };
  for (const Case& c : {Case{"far outside", {1e12, 20, 0}}, Case{"not a number", {nan, 20, 0}},
                        Case{"infinite", {20, -inf, 0}}, Case{"just outside", {100.5, 20, 0}}}) {
    SCOPED_TRACE(c.name);
    SW_MeshCore m;
    RandomPoints(m, 200, 4);
    m._x.Append(AK_Vec3(0, 0, 0));
    m._x.Append(AK_Vec3(100, 100, 0));
    AK_String error;
    ASSERT_TRUE(m.TriangulateWithBreakLines(AK_Array<AK_NamedPolyline>(), 1, error));  // the terrain alone
    const int32_t cellsBefore = m.NumCells();
    AK_Array<AK_NamedPolyline> lines;
    lines.Append(Line({{10, 10, 0}, {40, 30, 1}, c.bad, {60, 60, 2}, {90, 70, 3}}));
    lines[0].text = "ridge";
    MessageCapture messages;
    EXPECT_TRUE(m.TriangulateWithBreakLines(lines, 1, error, true));
    const std::vector<std::string> warnings = messages.WithPrefix("WARNING:vertex 3 of break line 1 ('ridge')");
    EXPECT_EQ(warnings.size(), 1u);
    EXPECT_GE(m.NumCells(), cellsBefore);
    for (const AK_Vec3& p : m._x) EXPECT_TRUE(p.x >= 0 && p.x <= 100 && p.y >= 0 && p.y <= 100);
    // The two pieces on either side of the skipped vertex are recovered, nothing across it.
    EXPECT_NEAR(SegmentLength(m), std::hypot(30, 20) + std::hypot(30, 10), 1e-9);
  }
}

// A triangulation that would leave no cells keeps the mesh as it was and says why.
TEST(BreakLines, NoCellsKeepsThePreviousMesh)
{
  SW_MeshCore m;
  RandomPoints(m, 50, 6);
  AK_String error;
  ASSERT_TRUE(m.TriangulateWithBreakLines(AK_Array<AK_NamedPolyline>(), 1, error));
  const SW_MeshCore before = m;
  AK_Array<AK_NamedPolyline> lines;
  lines.Append(Line({{0, 0, 0}, {1e12, 0, 0}}));  // replaces the terrain by a line
  MessageCapture messages;
  EXPECT_FALSE(m.TriangulateWithBreakLines(lines, 0, error));
  EXPECT_FALSE(error.IsEmpty());
  ASSERT_EQ(m.NumCells(), before.NumCells());
  ASSERT_EQ(m.NumVertices(), before.NumVertices());
  for (int32_t c = 0; c < m.NumCells(); ++c) EXPECT_EQ(m._lcv[c], before._lcv[c]);
  EXPECT_EQ(m._lcc.Size(), m.NumCells());
  EXPECT_EQ(m._totalArea.z, before._totalArea.z);
}

// A far point makes the triangulation's least distance larger than the terrain's spacing:
// the points it cannot keep apart are dropped, and the warning counts them. Points at the
// very place of another (shared line ends) are no loss and are not counted.
TEST(BreakLines, DroppedPointsAreCounted)
{
  AK_Array<AK_NamedPolyline> lines;
  AK_NamedPolyline terrain;
  for (int i = 0; i < 20; ++i) terrain.points.Append(AK_Vec3(2.0 * i, (i * 7) % 40, 0));
  lines.Append(terrain);
  lines.Append(Line({{38, 13, 0}, {1e12, 20, 0}}));  // starts where the first line ends
  SW_MeshCore m;
  AK_String error;
  MessageCapture messages;
  m.TriangulateWithBreakLines(lines, 0, error);
  const std::vector<std::string> dropped = messages.WithPrefix("WARNING:the triangulation dropped ");
  ASSERT_EQ(dropped.size(), 1u);
  int count = 0, given = 0;
  ASSERT_EQ(std::sscanf(dropped[0].c_str(), "WARNING:the triangulation dropped %d of %d points", &count, &given), 2);
  EXPECT_EQ(given, 22);
  EXPECT_GT(count, 0);

  // The same lines without the far point: the shared end is no drop.
  lines[1] = Line({{38, 13, 0}, {30, 20, 0}});
  SW_MeshCore near;
  messages.Clear();
  EXPECT_TRUE(near.TriangulateWithBreakLines(lines, 0, error));
  EXPECT_TRUE(messages.WithPrefix("WARNING:the triangulation dropped ").empty());
}
