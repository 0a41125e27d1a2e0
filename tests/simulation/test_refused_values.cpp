// Values a run cannot start with: refused before any file changes, naming the attribute, its
// value and why; values that do no harm run.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "SimulationTestProject.h"

namespace {

struct Setting {
  const char* area;  // a release area; "" for the simulation
  const char* name;
  const char* value;
};

std::map<std::string, std::string> Contents(const RunProject& p)
{
  std::map<std::string, std::string> files;
  for (const std::string& name : p.TimeSteps()) files[name] = p.File(name.c_str());
  return files;
}

}  // namespace

TEST(RefusedValues, TheRunRefusesWhatItCannotRunWithBeforeAnyFileChanges)
{
  struct Case {
    std::vector<Setting> settings;
    const char* reason;  // "": the values are no reason to refuse
    const char* message = nullptr;  // then the start of a message of the run
    bool timesFirst = false;  // the check of the run's step count or output period comes first
  } cases[] = {
      {{{"", "Density", "abc"}}, "Density 0 is not positive"},
      {{{"", "DeltaT", "0"}}, "DeltaT 0 is not positive", nullptr, true},
      {{{"", "DeltaOut", "-1"}}, "DeltaOut -1 is not positive", nullptr, true},
      {{{"", "InternalFrictionAngle", "90"}}, "InternalFrictionAngle 90 is not below 90 degrees"},
      {{{"", "BedFrictionAngle", "-5"}}, "BedFrictionAngle -5 is negative"},
      {{{"", "DynamicFrictionCoefficient", "-0.01"}}, "DynamicFrictionCoefficient -0.01 is negative"},
      {{{"", "SubgridMixingFactor", "-1"}}, "SubgridMixingFactor -1 is negative"},
      {{{"", "EntrainmentErosionEnergy", "-1"}}, "EntrainmentErosionEnergy -1 is negative"},
      {{{"", "EntrainmentDHM", "../../DHMs/simulation_mesh"}, {"", "EntrainmentDHMDensity", "0"}},
       "EntrainmentDHMDensity 0 is not positive"},
      {{{"", "ReleaseDHM", "../../DHMs/simulation_mesh"}, {"", "ReleaseDHMDensity", "-150"}},
       "ReleaseDHMDensity -150 is not positive"},
      {{{"", "MassPerParticle", "0"}}, "MassPerParticle 0 is not positive"},
      {{{"", "DeltaDepthPerParticle", "0"}}, "DeltaDepthPerParticle 0 is not positive"},
      {{{"", "MassPerParticleDeterminationMethod", "particles per cell"}, {"", "NumParticlesPerCell", "0"}},
       "NumParticlesPerCell 0 is not positive"},
      {{{"", "MassPerParticleDeterminationMethod", "number of particles"}, {"", "NumParticles", "-3"}},
       "NumParticles -3 is not positive"},
      {{{"slab", "Depth", "1e37"}},
       "the release mass is not a finite number: release area slab holds 1.5e+42 kg"},
      // These run (and so change the files): Chezy takes no bed friction angle, a method
      // outside the list is computed like "direct" but gets the mass correction.
      {{{"", "FrictionType", "Chezy"}, {"", "BedFrictionAngle", "-5"}}, "", "simulation Avalanche1 terminated"},
      {{{"", "EndTime", "-1"}, {"", "RestitutionCoefficient", "1.5"}, {"", "AnimationStepDelay", "-1"},
        {"", "MassPerParticleDeterminationMethod", "by eye"}, {"", "MassPerParticle", "1000"}},
       "", "massCorrFac:"},
  };
  RunProject p;
  p.sim->Set("Run", "");
  ASSERT_STREQ(AK_ErrorText, "");
  const std::map<std::string, std::string> before = Contents(p);
  ASSERT_EQ(before.size(), 4u);  // 0 to 3 s
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reason);
    std::vector<std::pair<AK_Object*, std::string>> restore;
    for (const Setting& s : c.settings) {
      AK_Object* object = *s.area ? p.root.GetComponent("ReleaseAreas")->GetComponent(s.area) : p.sim;
      ASSERT_TRUE(object);
      restore.emplace_back(object, object->Get(s.name).c_str());
      AK_ErrorText = "";
      object->Set(s.name, s.value);
      ASSERT_STREQ(AK_ErrorText, "") << s.name;
    }
    MessageCapture messages;
    AK_ErrorText = "";
    EXPECT_EQ(p.sim->Set("Run", ""), 1);
    if (*c.reason) {
      const std::string error = AK_ErrorText.c_str();
      if (c.timesFirst) {
        EXPECT_EQ(error.rfind("project/Simulations/Avalanche1: ", 0), 0u) << error;
        EXPECT_STREQ(p.sim->ValueRefusal(), c.reason);
      } else {
        EXPECT_EQ(error, std::string("project/Simulations/Avalanche1: not run: ") + c.reason);
      }
      EXPECT_TRUE(Contents(p) == before) << "a time-step file was written, replaced or removed";
      EXPECT_FALSE(messages.HasPrefix("WARNING: the release holds no snow"));
    } else {
      EXPECT_STREQ(AK_ErrorText, "");
      EXPECT_TRUE(messages.HasPrefix(c.message));
    }
    for (size_t i = restore.size(); i-- > 0;) restore[i].first->Set(c.settings[i].name, restore[i].second.c_str());
  }
}
