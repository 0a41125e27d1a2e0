// The run log path and the deposition error against an observed outline.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "AK_FrameworkState.h"
#include "AK_Object.h"
#include "SW_Deposition.h"
#include "SW_Mesh.h"
#include "SW_Polyline.h"
#include "TestSupport.h"

namespace {

// An outline open to the top: from A (0, 0) down, across and up to B (10, 0). Its inside
// (0 < x < 10, -10 < y < 0) lies on its left, and the right of A-B is y <= 0.
AK_Array<AK_Vec3> Outline()
{
  AK_Array<AK_Vec3> u;
  for (AK_Vec3 p : {AK_Vec3(0, 0, 0), AK_Vec3(0, -10, 0), AK_Vec3(10, -10, 0), AK_Vec3(10, 0, 0)})
    u.Append(p);
  return u;
}

AK_Array<AK_Vec3> Points(std::initializer_list<AK_Vec2> xy)
{
  AK_Array<AK_Vec3> points;
  for (AK_Vec2 p : xy) points.Append(AK_Vec3(p.x, p.y, 0));
  return points;
}

}  // namespace

TEST(Deposition, LogFilePath)
{
  const std::pair<const char*, const char*> rows[] = {
      {"", "./start.log"},
      {"runs/sim1", "runs/sim1/start.log"},
      {"runs/sim1/", "runs/sim1/start.log"},
      {"D:\\runs\\sim1\\", "D:\\runs\\sim1\\start.log"},
  };
  for (const auto& [dir, path] : rows) EXPECT_EQ(std::string(SW_LogFilePath(dir)), path) << dir;
  MessageCapture capture;
  SW_ShowLogFile("runs/sim1");
  EXPECT_TRUE(capture.Contains("SHOW_FILE:runs/sim1/start.log"));
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

// The command: the reference must be a polyline with points; the result goes out as a
// message and into "$DepositionError".
TEST(Deposition, CommandChecksTheReferenceAndPublishes)
{
  AK_Object simulation("sim", nullptr);
  auto* outline = new SW_Polyline("outline", &simulation);
  outline->Points() = Outline();
  simulation.AddComponent(outline);
  simulation.AddComponent(new SW_Polyline("empty", &simulation));
  auto* mesh = new SW_Mesh("dhm", &simulation);
  simulation.AddComponent(mesh);
  for (AK_Vec3 p : Points({{5, -5}, {5, -12}})) mesh->AppendVertex(p);
  AK_Array<float> depth;
  depth.Append(1);
  depth.Append(1);

  for (const char* bad : {"nothing", "empty", "dhm"}) {
    AK_ErrorText = "";
    SW_EvaluateDeposition(simulation, bad, mesh, &depth);
    EXPECT_FALSE(AK_ErrorText.IsEmpty()) << bad;
    EXPECT_TRUE(simulation.GetVariable("$DepositionError").IsEmpty()) << bad;
  }
  SW_EvaluateDeposition(simulation, "outline", nullptr, &depth);  // no mesh: nothing
  EXPECT_TRUE(simulation.GetVariable("$DepositionError").IsEmpty());

  MessageCapture capture;
  AK_ErrorText = "";
  SW_EvaluateDeposition(simulation, "outline", mesh, &depth);
  EXPECT_TRUE(AK_ErrorText.IsEmpty());
  const std::string expected = AK_String::Format("%.15g", 2.0 / 7).c_str();
  EXPECT_EQ(std::string(simulation.GetVariable("$DepositionError")), expected);
  EXPECT_TRUE(capture.Contains("INFO: deposition error relative to 'outline' is " + expected));
}
