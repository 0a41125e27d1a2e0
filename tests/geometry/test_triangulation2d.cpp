// The indexed triangulation: queries, erosion, smoothing and contour tracing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "AK_Triangulation2d.h"
#include "TestMeshes.h"
#include "TestSupport.h"

using namespace meshtest;

namespace {

struct Owned {
  AK_Triangulation2d* t;
  ~Owned() { AK_Triangulation2dDelete(t); }
};

// Lines of a contour block: each a list of points, up to the separators.
std::vector<std::vector<AK_Vec2>> Lines(const double* block)
{
  std::vector<std::vector<AK_Vec2>> lines;
  std::vector<AK_Vec2> line;
  for (size_t i = 0;; i += 2) {
    if (block[i] == AK_ContourSeparator) {
      if (line.empty()) break;
      lines.push_back(line);
      line.clear();
      continue;
    }
    line.push_back(AK_Vec2{block[i], block[i + 1]});
  }
  return lines;
}

// A peak: the centre, a ring of 8 at radius 1 and a ring of 12 at radius 3.
std::vector<double> PeakPoints()
{
  std::vector<double> pts = {0, 0};
  for (int i = 0; i < 8; ++i) {
    pts.push_back(std::cos(i * M_PI / 4));
    pts.push_back(std::sin(i * M_PI / 4));
  }
  for (int i = 0; i < 12; ++i) {
    pts.push_back(3 * std::cos(i * M_PI / 6 + 0.1));
    pts.push_back(3 * std::sin(i * M_PI / 6 + 0.1));
  }
  return pts;
}

}  // namespace

TEST(Triangulation2d, ThreePoints)
{
  const double pts[] = {0, 0, 1, 0, 0, 1};
  AK_SeedRand15(1);
  Owned o{AK_Triangulation2dCreate(3, pts)};
  ASSERT_NE(o.t, nullptr);
  EXPECT_EQ(o.t->NumTriangles(), 8);
  int inner = 0;
  for (int32_t t = 0; t < 8; ++t) {
    bool aux = o.t->TrianglePoint(t, 0) < 0 || o.t->TrianglePoint(t, 1) < 0 ||
               o.t->TrianglePoint(t, 2) < 0;
    EXPECT_EQ(o.t->IsOut(t), aux ? 1 : 0);
    inner += !aux;
  }
  EXPECT_EQ(inner, 1);
  // The insertion order drew 7 n swaps of two numbers from the 15-bit generator.
  AK_SeedRand15(1);
  for (int i = 0; i < 42; ++i) AK_Rand15();
  int expected = AK_Rand15();
  AK_SeedRand15(1);
  Owned again{AK_Triangulation2dCreate(3, pts)};
  EXPECT_EQ(AK_Rand15(), expected);
}

TEST(Triangulation2d, TooFewPointsIsAnError)
{
  const double pts[] = {0, 0, 1, 0};
  MessageCapture messages;
  EXPECT_EQ(AK_Triangulation2dCreate(2, pts), nullptr);
  EXPECT_EQ(AK_Triangulation2dCreate(5, nullptr), nullptr);
  EXPECT_FALSE(messages.messages.empty());
  AK_Triangulation2dDelete(nullptr);
  // An object left empty has no triangle to locate in.
  AK_Triangulation2d empty;
  EXPECT_EQ(empty.Triangulate(2, pts), 0);
  EXPECT_EQ(empty.Locate(pts, AK_Vec2{0.5, 0}, -7), -7);
  EXPECT_EQ(empty.Locate(pts, AK_Vec2{0.5, 0}, 3), -1);
}

TEST(Triangulation2d, LocateFindsTheHoldingTriangle)
{
  Rng rng(3);
  std::vector<double> pts;
  for (int i = 0; i < 300; ++i) {
    pts.push_back(rng.Uniform(0, 10));
    pts.push_back(rng.Uniform(0, 10));
  }
  Owned o{AK_Triangulation2dCreate(300, pts.data())};
  ASSERT_NE(o.t, nullptr);
  int32_t hint = -1;
  for (int i = 0; i < 500; ++i) {
    AK_Vec2 p{rng.Uniform(1, 9), rng.Uniform(1, 9)};
    int32_t t = o.t->Locate(pts.data(), p, hint);
    ASSERT_GE(t, 0);
    EXPECT_EQ(o.t->OutsideEdge(pts.data(), t, p), -1);
    hint = t;
  }
}

TEST(Triangulation2d, ContoursOfAPeak)
{
  std::vector<double> pts = PeakPoints();
  std::vector<double> values(pts.size() / 2, 0.0);
  values[0] = 10;
  Owned o{AK_Triangulation2dCreate(static_cast<int32_t>(values.size()), pts.data())};
  ASSERT_NE(o.t, nullptr);
  for (int mode : {0, 1, 2}) {
    double* block = o.t->ContourLines(pts.data(), values.data(), 5.0, mode);
    auto lines = Lines(block);
    std::free(block);
    if (mode == 2) {
      EXPECT_EQ(lines.size(), 0u);
      continue;
    }
    ASSERT_EQ(lines.size(), 1u) << "mode " << mode;
    const auto& line = lines[0];
    // A closed ring half way up every edge from the centre: radius 0.5, 8 crossings and
    // the first point again at the end.
    ASSERT_EQ(line.size(), 9u);
    for (const auto& p : line) EXPECT_NEAR(std::hypot(p.x, p.y), 0.5, 1e-12);
    EXPECT_NEAR(line.front().x, line.back().x, 1e-12);
    EXPECT_NEAR(line.front().y, line.back().y, 1e-12);
  }
  // Above every value: one separator pair only.
  double* block = o.t->ContourLines(pts.data(), values.data(), 11.0, 0);
  EXPECT_EQ(block[0], AK_ContourSeparator);
  EXPECT_EQ(block[1], AK_ContourSeparator);
  std::free(block);
}

TEST(Triangulation2d, OpenContourAndLevelOnACorner)
{
  // A ramp in x: the level crosses the whole hull from border to border.
  std::vector<double> pts;
  std::vector<double> values;
  for (int i = 0; i < 6; ++i)
    for (int j = 0; j < 6; ++j) {
      pts.push_back(i + 0.01 * j);
      pts.push_back(j + 0.013 * i);
      values.push_back(i);
    }
  Owned o{AK_Triangulation2dCreate(36, pts.data())};
  ASSERT_NE(o.t, nullptr);
  double* block = o.t->ContourLines(pts.data(), values.data(), 2.5, 2);
  auto lines = Lines(block);
  std::free(block);
  ASSERT_EQ(lines.size(), 1u);
  for (const auto& p : lines[0]) EXPECT_NEAR(p.x, 2.5 + 0.01 * p.y, 0.02);
  EXPECT_GE(lines[0].size(), 6u);
  // A corner value equal to the level counts as above it: rising edges end there.
  int32_t t = 0;
  while (o.t->IsOut(t)) ++t;
  int rising = o.t->RisingEdge(values.data(), values[o.t->TrianglePoint(t, 0)], t);
  if (rising >= 0) {
    int to = o.t->TrianglePoint(t, (rising + 2) % 3);
    EXPECT_GE(values[to], values[o.t->TrianglePoint(t, 0)]);
  }
}

TEST(Triangulation2d, ErosionAndSmoothing)
{
  std::vector<double> pts = PeakPoints();
  Owned o{AK_Triangulation2dCreate(static_cast<int32_t>(pts.size() / 2), pts.data())};
  ASSERT_NE(o.t, nullptr);
  EXPECT_EQ(o.t->ErodeBorder(pts.data(), 1e9), 0);
  int32_t outBefore = 0;
  for (int32_t t = 0; t < o.t->NumTriangles(); ++t) outBefore += o.t->IsOut(t);
  // The outer ring's triangles are larger than the inner ones: a radius between them
  // erodes the outer ring and stops at the inner triangles.
  int32_t marked = o.t->ErodeBorder(pts.data(), 0.9);
  EXPECT_GT(marked, 0);
  for (int32_t t = 0; t < o.t->NumTriangles(); ++t) {
    if (!o.t->IsOut(t)) {
      EXPECT_LE(o.t->CircumRadius(pts.data(), t), 0.9);
    }
  }
  std::vector<double> values(pts.size() / 2, 4.0);
  values.back() = 123;  // an outer point: no inner triangle uses it any more
  o.t->SmoothValues(values.data());
  EXPECT_DOUBLE_EQ(values[0], 4.0);
  EXPECT_EQ(values.back(), 123);
}
