// A user law on several threads: each worker calls its own instance of the compiled script,
// and the particles come out the same to the last bit as on one thread; a law that reaches
// the object tree or keeps state in its globals keeps the body forces on one thread and says
// so once; a law that fails stops the step with the error one thread would have met first.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "FlowTestRun.h"
#include "SW_Simulation.h"
#include "SW_SimulationRun.h"
#include "SW_UserCode.h"
#include "TestSupport.h"

namespace {

const char* const kLaw =
    "double mu = 0.1;\n"
    "double xi = 1000;\n"
    "double table[4] = {1, 1.1, 1.2, 1.3};\n"
    "double pick(double u) { int k = (int)(u * 3) % 4; return table[k]; }\n"
    "double tau(double p, double u, double h, double r, double t, double x[3], double n[3], double e)\n"
    "{ {BODY} return mu * p * pick(u) + r * 9.81 * u * u / xi + 0 * e * n[2] * x[0]; }\n"
    "double entrainment_energy_loss(double p, double u, double h, double r, double t, double x[3],\n"
    "  double n[3], double tau, double q, double es, double ed) { return q * ed * 0.5 + es + tau * 0.001; }\n"
    "void set_par(char text[]) { sscanf(text, \"%lf %lf\", mu, xi); }\n"
    "void init() { int i; for (i = 0; i < 4; i++) table[i] = table[i] * 1.5; }\n";

struct LawRun {
  SW_ParticleStore particles;
  int failed = 0;
  std::string error;
  int contexts = 0;
};

template <class T>
bool Same(const AK_Array<T>& a, const AK_Array<T>& b)
{
  return a.Size() == b.Size() && std::memcmp(a.begin(), b.begin(), sizeof(T) * a.Size()) == 0;
}

// Five steps of 2,000 particles with entrainment under the simulation's user law.
LawRun RunWith(SW_Simulation& sim, int threads)
{
  Flow f(24, 16, 5, [](double x, double y) { return -0.6 * x + 0.002 * (y - 40) * (y - 40); });
  SW_FillFlowParameters(sim, f.par);
  f.par.threads = threads;
  f.par.entrainmentDeformation = 100;
  f.par.entrainmentShear = 10;
  for (int32_t c = 0; c < f.mesh.NumCells(); ++c) {
    f.fields.entrainmentMass[c] = 3;
    f.fields.entrainmentEnthalpy[c] = -5000;
  }
  meshtest::Rng rng(11);
  for (int k = 0; k < 2000; ++k)
    f.p.Add(f.mesh, AK_Vec3(rng.Uniform(5, 40), rng.Uniform(10, 70), 0), 300, AK_Vec3(rng.Uniform(0, 6), 0, 0),
            -20000, 0, -1);
  SW_UpdateFields(f.mesh, f.par.density, f.p, 0, f.fields);
  LawRun out;
  out.contexts = f.par.lawContexts.Size();
  AK_String error;
  for (int k = 0; k < 5 && !out.failed; ++k) out.failed = f.Step(k * 0.1, 0.1, error);
  out.error = error.c_str();
  out.particles = f.p;
  return out;
}

std::string Law(const char* body)
{
  std::string law = kLaw;
  law.replace(law.find("{BODY}"), 6, body);
  return law;
}

}  // namespace

TEST(UserLawThreads, EachWorkerItsOwnInstanceWithTheResultsOfOneThread)
{
  ScratchDir dir;
  const struct {
    const char* name;
    const char* body;
    bool apart;  // instances per worker
  } cases[] = {
      {"pure", "", true},
      {"tree", "char v[64]; get(\"\", \"Density\", v);", false},
      {"counter", "xi = xi + 0;", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SW_Simulation sim("law", nullptr);
    sim.Set("FrictionType", dir.Write(std::string(c.name) + ".cint", Law(c.body)).c_str());
    ASSERT_TRUE(sim.HasTau());
    sim.Set("FormulaParameters", "0.2 2000");
    MessageCapture messages;
    const LawRun one = RunWith(sim, 1);
    if (one.contexts < 2 && c.apart) GTEST_SKIP() << "one processor: no workers to compare";
    const int threads = c.apart ? std::min(8, one.contexts) : 8;
    const LawRun many = RunWith(sim, threads);
    ASSERT_EQ(one.failed, 0) << one.error;
    ASSERT_EQ(many.failed, 0) << many.error;
    EXPECT_EQ(many.contexts, c.apart ? one.contexts : 0);
    EXPECT_EQ(messages.WithPrefix("user law of simulation law uses the object tree").size(), c.apart ? 0u : 2u);
    EXPECT_GT(one.particles.Count(), 0);
    EXPECT_TRUE(Same(one.particles.x, many.particles.x));
    EXPECT_TRUE(Same(one.particles.v, many.particles.v));
    EXPECT_TRUE(Same(one.particles.m, many.particles.m));
    EXPECT_TRUE(Same(one.particles.H, many.particles.H));
    EXPECT_TRUE(Same(one.particles.frictionCoefficient, many.particles.frictionCoefficient));
  }
}

// A law that fails for some particles only: on any number of threads the step stops with the
// error of the lowest such particle.
TEST(UserLawThreads, FailureOfTheLowestParticle)
{
  ScratchDir dir;
  SW_Simulation sim("law", nullptr);
  sim.Set("FrictionType",
          dir.Write("fails.cint", Law("int z = 0; if (x[1] > 60) { if (x[0] > 30) return 1 / z; return n[5]; }")).c_str());
  ASSERT_TRUE(sim.HasTau());
  const LawRun one = RunWith(sim, 1);
  ASSERT_EQ(one.failed, 1);
  if (one.contexts < 2) GTEST_SKIP() << "one processor: no workers to compare";
  const LawRun many = RunWith(sim, std::min(8, one.contexts));
  EXPECT_EQ(many.failed, 1);
  EXPECT_EQ(many.error, one.error);
  EXPECT_NE(one.error.find("failed: "), std::string::npos) << one.error;
}
