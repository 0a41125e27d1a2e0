// The run log path and the deposition error against an observed outline.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "AK_Framework.h"
#include "SW_Deposition.h"
#include "SW_Polyline.h"
#include "SW_ScalarField.h"
#include "SW_Simulation.h"
#include "SimulationTestProject.h"
#include "TestSupport.h"

namespace {

AK_Array<AK_Vec3> Points(std::initializer_list<AK_Vec2> xy)
{
  AK_Array<AK_Vec3> points;
  for (AK_Vec2 p : xy) points.Append(AK_Vec3(p.x, p.y, 0));
  return points;
}

// An outline open to the top: from A (0, 0) down, across and up to B (10, 0). Its inside
// (0 < x < 10, -10 < y < 0) lies on its left, and the right of A-B is y <= 0.
AK_Array<AK_Vec3> Outline()
{
  return Points({{0, 0}, {0, -10}, {10, -10}, {10, 0}});
}

}  // namespace

TEST(Deposition, LogFilePath)
{
  const std::pair<const char*, const char*> rows[] = {
      {"", "./start.log"}, {"runs/sim1", "runs/sim1/start.log"},
      {"runs/sim1/", "runs/sim1/start.log"}, {"D:\\runs\\sim1\\", "D:\\runs\\sim1\\start.log"},
  };
  for (const auto& [dir, path] : rows) EXPECT_EQ(std::string(SW_LogFilePath(dir)), path) << dir;
}

// Vertices at known signed distances: (5, -5) inside at 5, (5, -12) below at -2, (12, 0) on
// the dividing line at -2 (nearest to B), (12, 0.5) and (5, 5) on the left of A-B.
TEST(Deposition, ErrorOfCoveredAndUncoveredVertices)
{
  struct Row {
    const char* name;
    AK_Array<AK_Vec3> vertices;
    std::vector<float> depth;
    double error;
  };
  Row rows[] = {
      {"inside covered, outside not", Points({{5, -5}, {5, -12}, {12, 0}}), {0.5f, 0, 0}, 0},
      {"nothing covered", Points({{5, -5}, {5, -12}, {12, 0}}), {0, 0, 0}, 1},
      {"covered beyond the outline", Points({{5, -5}, {5, -12}}), {1, 1}, 2.0 / 7},
      {"on the dividing line counts", Points({{5, -5}, {12, 0}}), {1, 1}, 2.0 / 7},
      {"left of the dividing line ignored", Points({{5, -5}, {12, 0.5}, {5, 5}}), {1, 1, 1}, 0},
      {"nothing on the right", Points({{5, 5}, {-3, 2}}), {1, 1}, 0},
      {"a vertex without a depth is not covered", Points({{5, -5}, {5, -12}}), {1}, 0},
      {"negative depth is not covered", Points({{5, -5}}), {-1}, 1},
  };
  for (Row& r : rows) {
    AK_Array<float> depth;
    for (float f : r.depth) depth.Append(f);
    EXPECT_NEAR(SW_DepositionError(r.vertices, depth, Outline()), r.error, 1e-12) << r.name;
  }
}

// The simulation's commands: the reference must be a polyline with points; the result goes
// out as a message and into "$DepositionError".
TEST(Deposition, SimulationCommands)
{
  // Vertices at x = 0, 10, 20, 30 and y = 0, 10, 20.
  SimulationProject project(3, 2, 10, [](double, double) { return 0.0; });
  AK_Container& root = project.root;
  SW_Simulation* s = project.Add("sim", true);
  // An outline around the vertices with x < 15, all of them on the right of its ends.
  auto* outline = new SW_Polyline("outline", &root);
  root.AddComponent(outline);
  outline->Points() = Points({{-5, 25}, {-5, -5}, {15, -5}, {15, 25}});
  root.AddComponent(new SW_Polyline("empty", &root));
  AK_Array<float>& depth = s->FlowDepth()->_values;
  ASSERT_EQ(depth.Count(), 12);

  MessageCapture capture;
  s->Set("ShowShallowWaterLogFile", "");
  EXPECT_TRUE(capture.Contains("SHOW_FILE:" + std::string(SW_LogFilePath(s->ProjectDir()))));
  for (const char* bad : {"../../nothing", "../../empty", "../../DHMs/simulation_mesh"}) {
    s->Set("EvaluateDepositionWith", bad);
    EXPECT_FALSE(AK_ErrorText.IsEmpty()) << bad;
    EXPECT_TRUE(s->GetVariable("$DepositionError").IsEmpty()) << bad;
  }
  for (float covered : {1.0f, 0.0f}) {
    for (int32_t v = 0; v < 12; ++v) depth[v] = project.mesh->Vertex(v).x < 15 ? covered : 0;
    s->Set("EvaluateDepositionWith", "../../outline");
    EXPECT_TRUE(AK_ErrorText.IsEmpty());
    const char* expected = covered ? "0" : "1";
    EXPECT_STREQ(s->GetVariable("$DepositionError"), expected);
    EXPECT_TRUE(capture.Contains(std::string("INFO: deposition error relative to '../../outline' is ") + expected));
  }
}
