// Values a run cannot start with: refused before any file changes, naming the attribute, its
// value and why; values that do no harm run.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "SimulationTestProject.h"

TEST(RefusedValues, TheRunRefusesWhatItCannotRunWithBeforeAnyFileChanges)
{
  // Settings as "attribute=value" of the simulation ("slab." before one of the release area);
  // the reason, or for values that run (and change the files: last) "runs: " and the start of
  // a message of the run.
  const char* const dhm = "../../DHMs/simulation_mesh";
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"Density=abc"}, "Density 0 is not positive"},
      {{"DeltaT=0"}, "DeltaT 0 is not positive"},
      {{"DeltaOut=-1"}, "DeltaOut -1 is not positive"},
      // Named as "Get" answers it: a text that reads back as the value.
      {{"DeltaT=-1.7976931348623157e308"}, "DeltaT -1.7976931348623157e+308 is not positive"},
      {{"InternalFrictionAngle=90"}, "InternalFrictionAngle 90 is not below 90 degrees"},
      {{"BedFrictionAngle=-5"}, "BedFrictionAngle -5 is negative"},
      {{"DynamicFrictionCoefficient=-0.01"}, "DynamicFrictionCoefficient -0.01 is negative"},
      {{"SubgridMixingFactor=-1"}, "SubgridMixingFactor -1 is negative"},
      {{"EntrainmentErosionEnergy=-1"}, "EntrainmentErosionEnergy -1 is negative"},
      {{std::string("EntrainmentDHM=") + dhm, "EntrainmentDHMDensity=0"}, "EntrainmentDHMDensity 0 is not positive"},
      {{std::string("ReleaseDHM=") + dhm, "ReleaseDHMDensity=-150"}, "ReleaseDHMDensity -150 is not positive"},
      {{"MassPerParticleDeterminationMethod=direct", "MassPerParticle=0"}, "MassPerParticle 0 is not positive"},
      {{"DeltaDepthPerParticle=0"}, "DeltaDepthPerParticle 0 is not positive"},
      {{"MassPerParticleDeterminationMethod=particles per cell", "NumParticlesPerCell=0"},
       "NumParticlesPerCell 0 is not positive"},
      {{"MassPerParticleDeterminationMethod=number of particles", "NumParticles=-3"}, "NumParticles -3 is not positive"},
      {{"slab.Depth=1e37"}, "the release mass is not a finite number: release area slab holds 1.5e+42 kg"},
      // The release's method computes the mass per particle anew.
      {{"MassPerParticle=0"}, "runs: estimated mass per particle:"},
      {{"FrictionType=Chezy", "BedFrictionAngle=-5"}, "runs: simulation Avalanche1 terminated"},  // Chezy takes none
      // A method outside the list is computed like "direct", with the mass correction.
      {{"EndTime=-1", "RestitutionCoefficient=1.5", "AnimationStepDelay=-1", "MassPerParticle=1000",
        "MassPerParticleDeterminationMethod=by eye"}, "runs: massCorrFac:"}};
  RunProject p;
  p.sim->Set("Run", "");
  const auto contents = [&p] {
    std::map<std::string, std::string> files;
    for (const std::string& name : p.TimeSteps()) files[name] = p.File(name.c_str());
    return files;
  };
  const std::map<std::string, std::string> before = contents();
  ASSERT_EQ(before.size(), 4u);  // 0 to 3 s
  for (const auto& [settings, reason] : cases) {
    SCOPED_TRACE(reason);
    std::vector<std::pair<AK_Object*, std::string>> restore;  // "attribute=value" as before
    for (const std::string& s : settings) {
      const bool area = s.rfind("slab.", 0) == 0;
      AK_Object* o = area ? p.root.GetComponent("ReleaseAreas")->GetComponent("slab") : p.sim;
      const std::string name = s.substr(area ? 5 : 0, s.find('=') - (area ? 5 : 0));
      restore.emplace_back(o, name + "=" + o->Get(name.c_str()).c_str());
      o->Set(name.c_str(), s.substr(s.find('=') + 1).c_str());
    }
    MessageCapture messages;
    AK_ErrorText = "";
    EXPECT_EQ(p.sim->Set("Run", ""), 1);
    const std::string error = AK_ErrorText.c_str();
    if (reason.rfind("runs: ", 0) == 0) {
      EXPECT_EQ(error, "");
      EXPECT_TRUE(messages.HasPrefix(reason.substr(6)));
    } else {
      EXPECT_EQ(error, "project/Simulations/Avalanche1: not run: " + reason);
      EXPECT_TRUE(contents() == before) << "a time-step file was written, replaced or removed";
    }
    for (auto& [o, s] : restore) o->Set(s.substr(0, s.find('=')).c_str(), s.substr(s.find('=') + 1).c_str());
  }
}
