// A time step allocates nothing once the run has its threads and its columns have room: the
// global allocation functions of this test program count while a test asks them to, and
// refuse blocks above a size a test sets, as a machine out of memory would.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdint>
#include <cmath>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

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

namespace {

// What a simulation holds in memory, to compare before and after a run that stopped.
struct HeldState {
  double time;
  std::string timeStep;
  std::vector<AK_Vec3> x, v;
  std::vector<float> m, peakDepth, entrainment;
  explicit HeldState(const SW_Simulation& sim)
      : time(sim.CurrentTime), timeStep(sim.CurrentTimeStep.c_str()),
        x(sim.Particles()->Positions().begin(), sim.Particles()->Positions().end()),
        v(sim.Particles()->Velocities().begin(), sim.Particles()->Velocities().end()),
        m(sim.Particles()->Masses().begin(), sim.Particles()->Masses().end()),
        peakDepth(sim.PeakFlowDepth()->_values.begin(), sim.PeakFlowDepth()->_values.end()),
        entrainment(sim.EntrainmentMass()->_values.begin(), sim.EntrainmentMass()->_values.end())
  {
  }
  bool operator==(const HeldState& o) const
  {
    return time == o.time && timeStep == o.timeStep && x == o.x && v == o.v && m == o.m &&
           peakDepth == o.peakDepth && entrainment == o.entrainment;
  }
};

}  // namespace

// Particles beyond the run's bound or the memory end a run as any failed run ends, never the
// program. After a run to 1 s: a release too large is refused before anything is written; a
// split too large (the mass per particle cut after 1 s) stops the run at 1 s with the reason,
// status "finished", no lock, and the time-step files of 0 and 1 s as they were. Either way
// the simulation holds the state of 1 s it held before (a split that stopped half-way is
// undone by reading the time step back), and a "Continue" given the memory it lacked writes
// what a run that never stopped writes.
TEST(FlowAllocation, ParticlesBeyondTheBoundOrTheMemoryStopTheRun)
{
  const struct {
    const char* command;
    void (*prepare)(SW_Simulation&);
    std::size_t refuseAbove;
    const char* reason;  // the start of the error text after the simulation's path
    const char* detail;  // a part of it further on
    bool continues;      // a "Continue" with the memory, compared with a run that had it
  } cases[] = {
      {"Run",
       [](SW_Simulation& s) {  // some 370 t of snow in particles of 0.4 kg
         s.Set("MassPerParticleDeterminationMethod", "direct");
         s.Set("MassPerParticle", "0.4");
       },
       1 << 23, "not run: not enough memory for 915589 particles", "", false},
      {"Run",
       [](SW_Simulation& s) {
         s.Set("MassPerParticleDeterminationMethod", "number of particles");
         s.Set("NumParticles", "300000000");
       },
       SIZE_MAX, "not run: 3e+08 particles are too many, at most 268435456 can be made", "", false},
      {"Continue", [](SW_Simulation& s) { s.MassPerParticle /= 1e9; }, SIZE_MAX, "run stopped at 1 s: ",
       " particles are too many, at most 268435456 can be made", false},
      {"Continue", [](SW_Simulation& s) { s.MassPerParticle /= 1e4; }, 1 << 20,
       "run stopped at 1 s: not enough memory for ", "", false},
      {"Continue", [](SW_Simulation& s) { s.MassPerParticle /= 20; }, 1 << 16,
       "run stopped at 1 s: not enough memory for ", "", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reason);
    RunProject p;
    p.sim->Set("EndTime", "1");
    p.sim->Set("Run", "");
    std::vector<std::string> before;
    for (const std::string& name : p.TimeSteps()) before.push_back(p.File(name.c_str()));
    ASSERT_EQ(before.size(), 2u);
    const HeldState held(*p.sim);
    EXPECT_EQ(held.timeStep, "at_0000001.0000");
    c.prepare(*p.sim);
    p.sim->Set("EndTime", "2");
    AK_ErrorText = "";
    gRefuseAbove = c.refuseAbove;
    const std::string info = p.File(".simulation_info");
    p.sim->Set(c.command, "");
    gRefuseAbove = SIZE_MAX;
    const std::string error = AK_ErrorText.c_str(), prefix = "project/Simulations/Avalanche1: ";
    EXPECT_EQ(error.rfind(prefix + c.reason, 0), 0u) << error;
    EXPECT_FALSE(AK_FileExists((p.run + "/.simulation_lock").c_str()));
    std::vector<std::string> after;
    for (const std::string& name : p.TimeSteps()) after.push_back(p.File(name.c_str()));
    EXPECT_EQ(after, before);
    EXPECT_TRUE(HeldState(*p.sim) == held);
    // A refused run writes nothing; one that stopped says why.
    const bool refused = std::string(c.reason).rfind("not run: ", 0) == 0;
    EXPECT_EQ(p.File(".simulation_info"), refused ? info : error.substr(std::min(prefix.size(), error.size())) + "\n");
    EXPECT_STREQ(SW_QueryAnswer(SW_ReadStatusFile(p.run.c_str()), "unknown"), "finished");
    EXPECT_NE(error.find(c.detail), std::string::npos) << error;
    if (!c.continues) continue;
    RunProject straight;
    straight.sim->Set("EndTime", "1");
    straight.sim->Set("Run", "");
    c.prepare(*straight.sim);
    straight.sim->Set("EndTime", "2");
    straight.sim->Set("Continue", "");
    ASSERT_STREQ(AK_ErrorText, "");
    p.sim->Set("Continue", "");
    EXPECT_STREQ(AK_ErrorText, "");
    ASSERT_EQ(p.TimeSteps(), straight.TimeSteps());
    for (const std::string& name : straight.TimeSteps())
      EXPECT_TRUE(p.File(name.c_str()) == straight.File(name.c_str())) << name;
  }
}
