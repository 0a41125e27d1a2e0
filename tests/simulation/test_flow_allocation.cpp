// A time step allocates nothing once the run has its threads and its columns have room: the
// global allocation functions of this test program count while a test asks them to, and
// refuse blocks above a size a test sets, as a machine out of memory would.
#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cstdint>
#include <cmath>
#include <cstdlib>
#include <new>

#include "SW_Flow.h"
#include "SW_SimulationRun.h"
#include "SW_SimulationStatus.h"
#include "SimulationTestProject.h"
#include "SW_SourceLine.h"
#include "TestMeshes.h"

// The replaced allocation functions pair malloc with free; the compiler, seeing only the
// operators inlined, would take them for mismatched.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {

std::atomic<bool> gCounting{false};
std::atomic<long> gAllocations{0};
std::atomic<std::size_t> gRefuseAbove{SIZE_MAX};

void* Allocate(std::size_t n)
{
  if (n > gRefuseAbove) return nullptr;
  if (gCounting) ++gAllocations;
  return std::malloc(n ? n : 1);
}

}  // namespace

void* operator new(std::size_t n)
{
  if (void* p = Allocate(n)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t n)
{
  if (void* p = Allocate(n)) return p;
  throw std::bad_alloc();
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return Allocate(n); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return Allocate(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

TEST(FlowAllocation, StepsInSteadyStateAllocateNothing)
{
  for (int sources : {0, 1}) {
    SCOPED_TRACE(sources ? "with sources" : "without sources");
    SW_MeshCore mesh;
    meshtest::MakeCartesian(mesh, 30, 16, 5, 0, 0, [](double x, double y) {
      return -0.6 * x + 0.002 * (y - 40) * (y - 40);
    });
    SW_FlowRun run(mesh);
    run.fields.Bind(mesh);
    run.par.threads = 3;
    run.par.massPerParticle = 300;
    run.par.sphMode = sources ? 1 : 0;
    SW_SourceLine line("gully", nullptr);
    const SW_SourceLineView lineView(line);
    if (sources) {
      line.Set("StartPoint", "12 30");
      line.Set("EndPoint", "12 50");
      line.Set("MassFlow", "1000");
      line.SetUpOnMesh(mesh);
      run.sources.lines.Append(&lineView);
      run.sources.point = SW_PointSource{1, 1500, 100, 4, 20, 40, 2, 90};
    }
    AK_SeedRandom(3);
    for (int i = 0; i < 300; ++i)
      run.particles.Add(mesh, AK_Vec3(10 + AK_Random() % 2500 / 100.0, 25 + AK_Random() % 3000 / 100.0, 0),
                        300, AK_Vec3(), -2000, 0, -1);
    SW_UpdateFields(mesh, run.par.density, run.particles, 0, run.fields);
    AK_String error;
    for (int k = 0; k < 5; ++k) ASSERT_EQ(SW_ComputeTimeStep(run, k * 0.1, 0.1, error), 0) << error.c_str();
    const int32_t before = run.particles.Count();
    gAllocations = 0;
    gCounting = true;
    for (int k = 5; k < 10; ++k) SW_ComputeTimeStep(run, k * 0.1, 0.1, error);
    gCounting = false;
    EXPECT_EQ(gAllocations.load(), 0);
    if (sources) {
      EXPECT_GT(run.particles.Count(), before);  // the sources did add
    }
  }
}

// Particles beyond the run's bound or the memory end a run as any failed run ends, never the
// program: a release too large is refused before anything is written; a split too large
// (the mass per particle cut after 1 s) stops the run at 1 s with the reason, status
// "finished", no lock, and the time-step files of 0 and 1 s as they were.
TEST(FlowAllocation, ParticlesBeyondTheBoundOrTheMemoryStopTheRun)
{
  const struct {
    double cut;            // the mass per particle divided by this after 1 s; 0: refused release
    std::size_t refuseAbove;
    const char* reason;
  } cases[] = {{0, 1 << 23, "not run: not enough memory for 915589 particles"},
               {1e9, SIZE_MAX, "run stopped at 1 s: "},
               {1e4, 1 << 20, "run stopped at 1 s: not enough memory for "}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reason);
    RunProject p;
    p.sim->Set("EndTime", c.cut ? "1" : "2");
    std::vector<std::string> before;
    if (!c.cut) {  // some 370 t of snow in particles of 0.4 kg
      p.sim->Set("MassPerParticleDeterminationMethod", "direct");
      p.sim->Set("MassPerParticle", "0.4");
    } else {
      p.sim->Set("Run", "");
      for (const std::string& name : p.TimeSteps()) before.push_back(p.File(name.c_str()));
      p.sim->Set("MassPerParticle", AK_String::Format("%.17g", p.sim->MassPerParticle / c.cut));
      p.sim->Set("EndTime", "2");
    }
    AK_ErrorText = "";
    gRefuseAbove = c.refuseAbove;
    p.sim->Set(c.cut ? "Continue" : "Run", "");
    gRefuseAbove = SIZE_MAX;
    const std::string error = AK_ErrorText.c_str(), prefix = "project/Simulations/Avalanche1: ";
    EXPECT_EQ(error.rfind(prefix + c.reason, 0), 0u) << error;
    EXPECT_FALSE(AK_FileExists((p.run + "/.simulation_lock").c_str()));
    std::vector<std::string> after;
    for (const std::string& name : p.TimeSteps()) after.push_back(p.File(name.c_str()));
    EXPECT_EQ(after, before);
    if (!c.cut) continue;
    EXPECT_EQ(p.File(".simulation_info"), error.substr(prefix.size()) + "\n");
    EXPECT_STREQ(SW_ReadStatusFile(p.run.c_str()), "finished");
    if (c.cut == 1e9) {
      EXPECT_NE(error.find(" particles are too many, at most 268435456 can be made"), std::string::npos);
    }
  }
}
