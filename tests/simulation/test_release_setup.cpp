// The release set-up of a simulation: the particles carry the release mass.
#include <gtest/gtest.h>

#include <cstdlib>

#include "SimulationTestProject.h"

TEST(ReleaseSetup, ParticlesCarryTheReleaseMass)
{
  const double mass = 40.0 * 40.0 * 2.0 * 200.0;
  struct Case {
    const char* method;
    const char* parameter;
    const char* value;
  } cases[] = {{"direct", "MassPerParticle", "1000"},  // 10 particles per cell, no correction
               {"particles per cell", "NumParticlesPerCell", "3.7"}};  // corrected to the mass
  for (const Case& c : cases) {
    SCOPED_TRACE(c.method);
    ReleaseProject p;
    p.sim->Set("MassPerParticleDeterminationMethod", c.method);
    p.sim->Set(c.parameter, c.value);
    p.sim->Set("Mesh", "../../DHMs/simulation_mesh");
    EXPECT_EQ(std::atof(p.sim->Get("ReleaseMass").c_str()), mass);
    ASSERT_GT(p.sim->Particles()->Count(), 0);
    EXPECT_NEAR(p.sim->Particles()->TotalMass(), mass, mass * 1e-6);
    EXPECT_NEAR(std::atof(p.sim->Get("CurrentMass").c_str()), mass, mass * 1e-6);
    // The report of the entrainment areas, not the field of the same name; nothing entrainable.
    EXPECT_STREQ(p.sim->Get("EntrainmentMass") + p.sim->Get("EntrainableMass"), "00");
    EXPECT_NEAR(p.sim->MassPerParticle * p.sim->Particles()->Count(), mass, mass * 1e-6);
  }
}
