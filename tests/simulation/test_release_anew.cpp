// A release set up anew after a run holds what the first set-up of a new simulation holds:
// nothing the run accumulated (its time, its peak kinetic energy, its peak fields) carries
// over, neither in memory nor into the time step saved from it, nor into a run from there.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "AK_FrameworkState.h"
#include "SimulationTestProject.h"
#include "TestSupport.h"

namespace {

// What a simulation shows of the state it holds, and what becomes of it: the time step saved
// from it (its header, particles and result fields), that step read back, and the files of a
// run continued from it to 1 s.
struct Outcome {
  std::map<std::string, std::string> answers, readBack;
  std::string firstTimeStep;
  std::map<std::string, std::string> continued;
};

constexpr const char* kStateAnswers[] = {"CurrentTime", "CurrentTimeStep", "PeakKineticEnergy", "MassPerParticle",
                                         "NumParticles", "NumParticlesPerCell", "DeltaDepthPerParticle",
                                         "CurrentMass", "EntrainableMass"};

std::map<std::string, std::string> Answers(SW_Simulation& sim)
{
  std::map<std::string, std::string> answers;
  for (const char* name : kStateAnswers) answers[name] = sim.Get(name).c_str();
  return answers;
}

// The outcome of the release the simulation of `p` holds now.
Outcome Play(RunProject& p)
{
  Outcome o;
  SW_Simulation& sim = *p.sim;
  o.answers = Answers(sim);
  AK_ErrorText = "";
  sim.Set("SaveTimeStep", "");
  EXPECT_STREQ(AK_ErrorText, "");
  o.firstTimeStep = p.File("at_0000000.0000.TimeStep");
  sim.Set("LoadTimeStep", "at_0000000.0000");
  EXPECT_STREQ(AK_ErrorText, "");
  o.readBack = Answers(sim);

  sim.Set("EndTime", "1");
  sim.Set("Continue", "");
  EXPECT_STREQ(AK_ErrorText, "");
  for (const std::string& name : p.TimeSteps()) o.continued[name] = p.File(name.c_str());
  return o;
}

}  // namespace

// After a run to 3 s whose time steps went (deleted by the user, or removed by another
// process), a changed input of the release sets it up anew at 0 s: its state, its first time
// step (header and records), what that step reads back as and a run from it are those of a
// simulation that never ran.
TEST(ReleaseAnew, AfterARunEverythingIsAsAtTheFirstSetUp)
{
  RunProject fresh;
  fresh.sim->Set("NumParticlesPerCell", "3");
  fresh.sim->Update();
  const Outcome expected = Play(fresh);
  EXPECT_EQ(expected.answers.at("PeakKineticEnergy"), "0");
  EXPECT_EQ(expected.readBack.at("PeakKineticEnergy"), "0");
  EXPECT_EQ(expected.continued.size(), 2u);  // 0 and 1 s

  const struct {
    const char* name;
    void (*removeTimeSteps)(RunProject&);
  } ways[] = {
      {"deleted", [](RunProject& p) { p.sim->Set("DeleteTimesteps", "all"); }},
      {"removed by another process",
       [](RunProject& p) {
         for (const std::string& name : p.TimeSteps()) std::filesystem::remove(p.run + "/" + name);
       }},
  };
  for (const auto& way : ways) {
    SCOPED_TRACE(way.name);
    RunProject p;
    p.sim->Set("Run", "");
    ASSERT_STREQ(AK_ErrorText, "");
    ASSERT_GT(p.sim->PeakKineticEnergy, 0);
    way.removeTimeSteps(p);
    ASSERT_TRUE(p.TimeSteps().empty());
    p.sim->Update();
    p.sim->Set("NumParticlesPerCell", "3");
    p.sim->Update();
    const Outcome anew = Play(p);
    EXPECT_EQ(anew.answers, expected.answers);
    EXPECT_TRUE(anew.firstTimeStep == expected.firstTimeStep) << "the time step of 0 s differs";
    EXPECT_EQ(anew.readBack, expected.readBack);
    EXPECT_TRUE(anew.continued == expected.continued) << "the run from 0 s wrote other files";
  }
}
