// The release set-up of a simulation: the particles carry the release mass.
#include <gtest/gtest.h>

#include <cstdlib>

#include "SW_InitialCondition.h"
#include "SimulationTestProject.h"

namespace {

// A 40 m square of 2 m depth at the simulation's density on a flat 100 m grid of 5 m cells:
// 64 whole cells, 640000 kg.
struct ReleaseProject : SimulationProject {
  SW_Simulation* sim;
  ReleaseProject() : SimulationProject(20, 20, 5, [](double, double) { return 0.0; })
  {
    auto* areas = new SW_InitialConditions("ReleaseAreas", &root);
    root.AddComponent(areas);
    SW_InitialCondition* area = areas->NewReleaseArea("slab");
    for (auto [x, y] : {std::pair{20, 20}, {60, 20}, {60, 60}, {20, 60}})
      area->Set("AppendPoint", AK_String::Format("%d %d 0", x, y));
    area->Set("Depth", "2");
    area->Set("Density", "200");
    sim = Add("release");
    sim->Set("Density", "200");
    sim->GetComponent("ReleaseAreas")->Set("AppendObject", "project/ReleaseAreas/slab");
  }
};

}  // namespace

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
