// The soft-sphere test bench: the contact law against the damped oscillator, the momentum
// balance of a resting layer, and the sizes it refuses.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <numeric>

#include "AK_ConformanceTest.h"
#include "SW_SoftSphereSim2D.h"
#include "TestSupport.h"

namespace {

// The half period of a damped oscillator of mass m on a spring k with damping gamma
// against a fixed wall, and the velocity ratio over it.
void DampedHalfSwing(double m, double k, double gamma, double& duration, double& restitution)
{
  const double beta = gamma / (2 * m);
  duration = M_PI / std::sqrt(k / m - beta * beta);
  restitution = std::exp(-beta * duration);
}

}  // namespace

TEST(SoftSphere, CollisionTimeAndRestitutionOfTheDefaults)
{
  SW_SoftSphereSim2D bench("bench", nullptr);
  const double m = 0.001 * 0.001 * 0.001 * M_PI / 6 * 900;
  double duration, restitution;
  DampedHalfSwing(m, 10, 0.0002, duration, restitution);
  EXPECT_NEAR(std::atof(bench.Get("CollTime")), duration, 1e-15);
  EXPECT_NEAR(std::atof(bench.Get("RestCoeff")), restitution, 1e-13);
  EXPECT_NEAR(duration, 6.827e-4, 5e-7);
  EXPECT_NEAR(restitution, 0.8651, 5e-5);
  // A damping beyond the critical one leaves nothing to swing, and so nothing to restitute.
  for (const char* damping : {"0.01", "1"}) {
    bench.Set("DampingFactor", damping);
    for (const char* answer : {"CollTime", "RestCoeff"})
      EXPECT_TRUE(std::isnan(std::atof(bench.Get(answer)))) << damping << " " << answer << " " << bench.Get(answer);
  }
}

// The run reports at the step nearest to every multiple of the output interval, however
// many steps a run makes and whatever the step's binary rounding.
TEST(SoftSphere, OutputsComeAtEveryMultipleOfTheInterval)
{
  for (double deltaT : {1e-5, 3e-4, 0.1 / 7, 1e-3}) {
    for (int every : {1, 3, 10, 100, 1000}) {
      SW_SoftSphereOutputs outputs(every * deltaT, deltaT);
      for (int64_t step = 0; step < 100000; ++step)
        ASSERT_EQ(outputs.Due(step), step % every == 0) << deltaT << " " << every << " " << step;
    }
  }
  struct Case {
    double outputDeltaT;
    int dueOf10;  // outputs in the first ten steps of 1e-3
  };
  for (Case c : {Case{0, 0}, {-2e-3, 5}, {1e-4, 10}, {HUGE_VAL, 1}, {NAN, 0}, {1.5e-3, 7}}) {
    SW_SoftSphereOutputs outputs(c.outputDeltaT, 1e-3);
    int due = 0;
    for (int64_t step = 0; step < 10; ++step) due += outputs.Due(step);
    EXPECT_EQ(due, c.dueOf10) << c.outputDeltaT;
  }

  SW_SoftSphereSim2D bench("bench", nullptr);
  for (auto [name, value] : {std::pair{"Nx", "3"}, {"Ny", "2"}, {"EndTime", "0.1"}}) bench.Set(name, value);
  MessageCapture progress;
  bench.Set("Run", "");
  ASSERT_EQ(progress.messages.size(), 100u);
  for (int i = 0; i < 100; ++i) EXPECT_NEAR(std::atof(progress.messages[i].c_str()), i * 0.001, 1e-12) << i;
}

// A sphere dropped onto a fixed sphere of the bed, without gravity and friction, stays in
// contact for the collision time and rebounds with the restitution.
TEST(SoftSphere, CollisionWithTheBedReproducesTheDampedSwing)
{
  SW_SoftSphereChute chute;
  SW_SoftSphereParameters& p = chute.p;
  p.nx = 6;
  p.ny = 2;
  p.mue = 0;
  p.gravity[0] = p.gravity[1] = 0;
  p.deltaT = 1e-7;
  chute.Reset();
  const double d = p.diameter;
  const AK_Vec2 bed = chute.position[0];
  // The projectile right above bed particle 0; the others at rest under the lid, apart.
  chute.position[6] = {bed.x, bed.y + 1.01 * d};
  chute.velocity[6] = {0, -0.1};
  for (int i = 7; i < 12; ++i) chute.position[i] = {(1.5 + 1.1 * (i - 7)) * d, 2.6 * d};
  chute.BeginRun();
  int contactSteps = 0;
  bool touched = false;
  for (int step = 0; step < 20000; ++step) {
    chute.Step();
    const bool inContact = chute.position[6].y - bed.y < d;
    touched |= inContact;
    if (touched && !inContact) break;
    contactSteps += inContact;
  }
  chute.EndRun();
  double duration, restitution;
  DampedHalfSwing(p.Mass(), p.spring, p.damping, duration, restitution);
  EXPECT_NEAR(contactSteps * p.deltaT, duration, 2 * p.deltaT);
  EXPECT_NEAR(chute.velocity[6].y / 0.1, restitution, 1e-3);
  EXPECT_NEAR(chute.velocity[6].x, 0, 1e-12);
  EXPECT_EQ(chute.position[0].y, bed.y);  // the bed never moves
  for (int i = 7; i < 12; ++i) EXPECT_EQ(chute.velocity[i].y, 0) << i;
}

// A layer at rest on the bed: averaged over the steps, the force through the lowest plane
// carries the weight of every moving particle, and nothing along the slope.
TEST(SoftSphere, RestingLayerCarriesItsWeightThroughTheLowestPlane)
{
  SW_SoftSphereChute chute;
  SW_SoftSphereParameters& p = chute.p;
  p.nx = 4;
  p.ny = 4;
  p.gravity[0] = 0;
  p.damping = 0.003;  // close to critical, so the layer settles quickly
  chute.Reset();
  chute.BeginRun();
  for (int step = 0; step < 2000; ++step) chute.Step();
  chute.BeginRun();  // the profiles from zero, on the settled layer
  const int steps = 2000;
  for (int step = 0; step < steps; ++step) chute.Step();
  chute.EndRun();
  const double weight = std::fabs(p.gravity[1]) * p.Mass() * (p.Count() - p.nx);
  EXPECT_NEAR(chute.binNormal[0] / steps, weight, 1e-3 * weight);
  EXPECT_NEAR(chute.binShear[0] / steps, 0, 1e-3 * weight);
  // Every moving particle counted once a step, none in the bed's bin.
  EXPECT_EQ(chute.binCount[0], 0);
  EXPECT_EQ(std::accumulate(chute.binCount.begin(), chute.binCount.end(), 0L), (p.Count() - p.nx) * steps);
}

// Sizes that would divide by zero or reach outside the grid are refused; the bench places
// its particles before it continues when their count is not Nx x Ny.
TEST(SoftSphere, RefusesBadSizesAndPlacesBeforeContinuing)
{
  SW_SoftSphereSim2D bench("bench", nullptr);
  const std::pair<const char*, const char*> refused[] = {
      {"Nx", "2"}, {"Ny", "1"}, {"ParticleDiameter", "0"}, {"DeltaT", "0"}, {"DeltaT", "-1e-5"}};
  for (auto [name, value] : refused) {
    const std::string before(bench.Get(name));
    bench.Set(name, value);
    EXPECT_FALSE(AK_ErrorText.IsEmpty()) << name << " " << value;
    EXPECT_EQ(std::string(bench.Get(name)), before) << name << " " << value;
  }
  for (auto [name, value] : {std::pair{"Ny", "3"}, {"Nx", "5"}, {"EndTime", "0"}}) bench.Set(name, value);
  MessageCapture progress;
  bench.Set("Continue", "");
  ASSERT_EQ(bench.Chute().position.size(), 15u);
  EXPECT_EQ(bench.Chute().steps, 0u);
  EXPECT_DOUBLE_EQ(bench.Chute().position[5].x, 0.001);  // odd rows shifted by d / 2
  bench.Set("EndTime", "1e-4");
  bench.Set("Nx", "7");
  bench.Set("Continue", "");
  EXPECT_EQ(bench.Chute().position.size(), 21u);
  EXPECT_EQ(bench.Chute().steps, 10u);
  bench.Set("Ny", "50");
  bench.Update();  // drawing places the particles anew
  EXPECT_EQ(bench.Chute().position.size(), 350u);
}

TEST(SoftSphere, Conformance) { AK_RunConformanceTest("SW_SoftSphereSim2D"); }
