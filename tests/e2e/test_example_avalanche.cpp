// The shipped example avalanche with the default settings: it runs from its release to a
// deposit at rest, keeps its mass (no entrainment, no sources) to float precision in every
// time-step file, writes its peak flow depth and pressure as grids GDAL reads, and writes the
// same bytes whether the run may use one processor or several.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <algorithm>
#include <string>
#include <thread>

#include "FlowRuns.h"
#include "ExampleTerrain.h"
#include "TestSupport.h"

namespace {

bool HaveTaskset() { return std::system("taskset -c 0 true >/dev/null 2>&1") == 0; }

// Runs the example's macro in the directory, with the command line's prefix.
void RunExample(const ScratchDir& dir, const std::string& prefix)
{
  int status = -1;
  const std::string printed = RunProcess(
      TorvuOffscreen(dir.Path(), TORVU_PROGRAM, TORVU_ATTRIBUTES, "avalanche.macro > torvu.log 2>&1 < /dev/null", prefix),
      &status);
  EXPECT_EQ(status, 0) << printed;
}

ScratchDir& CopyExample(ScratchDir& dir, const std::string& macro)
{
  CopyExampleTerrain(dir.Path());
  dir.Write("avalanche.macro", macro);
  return dir;
}

// Count, total mass and fastest speed of the particles of a time-step file, by the reader of
// the format of the tests' own.
struct Summary {
  int count = 0;
  double mass = 0, fastest = 0;
};

Summary Summarize(const ScratchDir& dir, const std::string& file)
{
  const std::vector<flowruns::Particle> particles = flowruns::ReadTimeStep(dir, file);
  EXPECT_FALSE(particles.empty()) << file;
  Summary s;
  s.count = static_cast<int>(particles.size());
  s.mass = flowruns::TotalMass(particles);
  for (const flowruns::Particle& p : particles)
    s.fastest = std::max(s.fastest, std::sqrt(p.vx * p.vx + p.vy * p.vy + p.vz * p.vz));
  return s;
}

std::string TimeStepName(int seconds)
{
  char name[40];
  std::snprintf(name, sizeof name, "/at_%012.4f.TimeStep", static_cast<double>(seconds));
  return name;
}

}  // namespace

TEST(ExampleAvalanche, RunsToADepositKeepsItsMassAndIsTheSameOnOneProcessorAndOnMany)
{
  if (!HaveTaskset()) GTEST_SKIP() << "taskset (util-linux) not installed";
  const std::string macro = ReadFile(std::string(TORVU_EXAMPLES) + "/avalanche.macro");
  const std::string endTime = "\"EndTime\", \"100\"";
  ASSERT_NE(macro.find(endTime), std::string::npos);
  const std::string run = "avalanche_project/Project/Simulations/Avalanche1";

  // The whole run on one processor.
  ScratchDir one;
  RunExample(CopyExample(one, macro), "taskset -c 0 ");
  const Summary start = Summarize(one, one / run + TimeStepName(0));
  ASSERT_GT(start.count, 1000);
  double worst = 0;
  for (int t = 5; t <= 100; t += 5) {
    const Summary s = Summarize(one, one / run + TimeStepName(t));
    EXPECT_EQ(s.count, start.count) << t;
    worst = std::max(worst, std::fabs(s.mass - start.mass) / start.mass);
  }
  const Summary end = Summarize(one, one / run + TimeStepName(100));
  std::printf("example avalanche: %d particles, %.6g kg; largest relative change of the mass %.2g; "
              "fastest particle at 100 s %.3g m/s\n", start.count, start.mass, worst, end.fastest);
  EXPECT_LT(worst, 1e-6);        // float masses summed: no particle gains or loses mass
  EXPECT_LT(end.fastest, 0.5);   // a deposit
  EXPECT_NEAR(start.mass, 1.683e7, 1e4);  // the release area's mass
  EXPECT_EQ(ReadFile(one / run + "/.simulation_status"), "finished\n");

  // The peak flow depth covers the path from the release (x 10080..10320) far down the gully.
  const flowruns::Raster grid = flowruns::ReadRaster(one / "peak_flow_depth.asc");
  double lowest = 1e30, farthest = -1e30, deepest = 0;
  for (int r = 0; r < grid.ny; ++r)
    for (int c = 0; c < grid.nx; ++c) {
      if (grid.At(c, r) <= 0.05) continue;
      const double x = grid.x0 + c * grid.cell;
      lowest = std::min(lowest, x);
      farthest = std::max(farthest, x);
      deepest = std::max(deepest, grid.At(c, r));
    }
  EXPECT_EQ(grid.nx * grid.ny, 160 * 60);
  EXPECT_LT(lowest, 10150);
  EXPECT_GT(farthest, 10800);
  EXPECT_GT(deepest, 1.0);
  if (std::system("gdalinfo --version >/dev/null 2>&1") == 0)
    for (const char* name : {"peak_flow_depth.asc", "peak_pressure.asc"}) {
      const std::string info = RunProcess("gdalinfo " + ShellQuote(one / name));
      EXPECT_NE(info.find("Size is 160, 60"), std::string::npos) << info;
    }

  // The first 20 s without the confinement write the same files: what a run computes never
  // depends on the processors it may use.
  std::string shorter = macro;
  shorter.replace(shorter.find(endTime), endTime.size(), "\"EndTime\", \"20\"");
  ScratchDir many;
  RunExample(CopyExample(many, shorter), "");
  if (std::thread::hardware_concurrency() < 2) GTEST_SKIP() << "one processor only";
  for (int t = 0; t <= 20; t += 5)
    EXPECT_TRUE(ReadFile(one / run + TimeStepName(t)) == ReadFile(many / run + TimeStepName(t))) << t;
}
