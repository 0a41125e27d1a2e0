// Whole runs of a simulation through its "Run" and "Continue" commands: the files a run leaves,
// the runs it refuses, its stop criterion and interrupt, and a continued run that repeats a
// straight one bit for bit.
#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "AK_CurrentObject.h"
#include "AK_FrameworkState.h"
#include "AK_ProcessLock.h"
#include "SW_InitialCondition.h"
#include "SW_SimulationRun.h"
#include "SW_SimulationStatus.h"
#include "SimulationTestProject.h"
#include "TestSupport.h"

namespace {

// The names in a directory, sorted.
std::vector<std::string> Entries(const std::string& dir)
{
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

double MeanX(const SW_Particles& p)
{
  double sum = 0;
  for (const AK_Vec3& x : p.Positions()) sum += x.x;
  return sum / p.Count();
}

}  // namespace

TEST(Run, FromReleaseToEndTimeWithOutputsStatusAndMassBalance)
{
  RunProject p;
  MessageCapture messages;
  p.sim->Set("Run", "");
  EXPECT_STREQ(AK_ErrorText, "");
  EXPECT_EQ(p.TimeSteps(), (std::vector<std::string>{"at_0000000.0000.TimeStep", "at_0000001.0000.TimeStep",
                                                     "at_0000002.0000.TimeStep", "at_0000003.0000.TimeStep"}));
  EXPECT_STREQ(SW_QueryAnswer(SW_ReadStatusFile(p.run.c_str()), "unknown"), "finished");
  EXPECT_EQ(std::string(SW_QueryAnswer(SW_ReadInfoFile(p.run.c_str()), "").c_str()).rfind("at time 3 s, run time h:m:s ", 0), 0u);
  EXPECT_NEAR(p.sim->CurrentTime, 3, 1e-12);
  EXPECT_EQ(messages.WithPrefix("computing time step ").size(), 30u);
  EXPECT_TRUE(messages.Contains("computing time step 3..."));
  EXPECT_TRUE(messages.Contains("running simulation Avalanche1..."));
  EXPECT_TRUE(messages.HasPrefix("simulation Avalanche1 terminated; CPU time "));

  // The slab slides down the plane and keeps its mass at every step.
  const SW_Particles& particles = *p.sim->Particles();
  ASSERT_GT(particles.Count(), 0);
  EXPECT_GT(MeanX(particles), 36);
  EXPECT_GT(p.sim->PeakKineticEnergy, 0);
  const double mass = std::atof(p.sim->Get("ReleaseMass").c_str());
  EXPECT_GT(mass, 0);
  for (const std::string& m : messages.WithPrefix("\ttotal DFA mass: "))
    EXPECT_NEAR(std::atof(m.c_str() + 17), mass, mass * 1e-6) << m;
  for (const std::string& m : messages.WithPrefix("\tentrained DFA mass: ")) EXPECT_EQ(m, "\tentrained DFA mass: 0");
  EXPECT_GT(*std::max_element(p.sim->PeakFlowDepth()->_values.begin(), p.sim->PeakFlowDepth()->_values.end()), 1.0f);

  // The run's end marks its results modified one after the other, in this order; the
  // entrainment enthalpy stays as it was.
  std::vector<int32_t> stamps{p.sim->ModificationTime("touch"), p.sim->Particles()->ModificationTime("touch")};
  for (const char* id : {"FlowDepth", "Velocity", "DynamicPeakPressure", "PeakForcePerWidth", "PeakTorquePerWidth",
                         "PeakFlowDepth", "FrontArrivalTime", "EntrainmentMass"})
    stamps.push_back(p.sim->GetComponent(id)->ModificationTime("touch"));
  EXPECT_TRUE(std::is_sorted(stamps.begin(), stamps.end()) && std::adjacent_find(stamps.begin(), stamps.end()) == stamps.end());
  EXPECT_LT(p.sim->GetComponent("EntrainmentEnthalpy")->ModificationTime("touch"), stamps.front());
}

TEST(Run, ContinuedRunRepeatsTheStraightRunBitForBit)
{
  RunProject straight, halves;
  straight.sim->Set("Run", "");
  halves.sim->Set("EndTime", "1.5");
  halves.sim->Set("Run", "");
  EXPECT_EQ(halves.TimeSteps().size(), 3u);  // 0, 1 and the end time
  halves.sim->Set("EndTime", "3");
  MessageCapture messages;
  halves.sim->Set("Continue", "");
  EXPECT_FALSE(messages.HasPrefix("computing release depths"));  // the particles go on
  EXPECT_EQ(messages.WithPrefix("computing time step ").size(), 15u);
  EXPECT_EQ(halves.TimeSteps().size(), 5u);
  for (const std::string& name : straight.TimeSteps())
    EXPECT_TRUE(halves.File(name.c_str()) == straight.File(name.c_str())) << name;
  EXPECT_EQ(straight.TimeSteps().size(), 4u);
}

// A "Continue" goes on from the state the simulation holds, in memory after its run or read
// from a time-step file, and never writes again the file that holds that state. After 20
// steps of 0.05 s the time is 1.0000000000000002, on the output schedule: the run's file of
// 1 s holds the peak kinetic energy of the steps before it, which a second write would raise.
// A state read from a file takes in its own kinetic energy, as the step that reached it did:
// the file one step later holds the same peak as that of a run that never stopped.
TEST(Run, AContinueLeavesTheFileOfItsStateAndRepeatsTheStraightRun)
{
  const struct {
    const char* deltaT;
    const char* endTime;  // of the straight run and of the continue
    bool reloaded;        // the state of 1 s read from its file
  } cases[] = {{"0.05", "2", false}, {"0.05", "2", true}, {"0.1", "1.1", false}, {"0.1", "1.1", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.deltaT) + " to " + c.endTime + (c.reloaded ? " reloaded" : ""));
    RunProject straight, halves;
    for (RunProject* p : {&straight, &halves}) p->sim->Set("DeltaT", c.deltaT);
    straight.sim->Set("EndTime", c.endTime);
    straight.sim->Set("Run", "");
    halves.sim->Set("EndTime", "1");
    halves.sim->Set("Run", "");
    const std::string first = halves.File("at_0000001.0000.TimeStep");
    EXPECT_STREQ(halves.sim->CurrentTimeStep, "at_0000001.0000");  // the last file written
    if (c.reloaded) {
      halves.sim->Set("LoadFirstTimeStep", "");
      halves.sim->Set("LoadTimeStep", "at_0000001.0000");
    }
    halves.sim->Set("EndTime", c.endTime);
    halves.sim->Set("Continue", "");
    EXPECT_STREQ(AK_ErrorText, "");
    EXPECT_TRUE(halves.File("at_0000001.0000.TimeStep") == first);
    ASSERT_EQ(halves.TimeSteps(), straight.TimeSteps());
    for (const std::string& name : straight.TimeSteps())
      EXPECT_TRUE(halves.File(name.c_str()) == straight.File(name.c_str())) << name;
  }
}

// A method outside the list is computed like "direct", with the mass correction: the
// corrected mass per particle is the run's, "MassPerParticle" stays the input. Runs in a row
// make the same particles and files; a simulation whose set-up saw other inputs (as a second
// process that loads the project and a time step) finds the run's mass anew and continues as
// the first one does, its point source adding particles of the same mass.
TEST(Run, AMassMethodOutsideTheListKeepsItsInputAndCorrectsTheRunOnly)
{
  RunProject p;
  const auto setUp = [](SW_Simulation& s) {
    s.Set("MassPerParticleDeterminationMethod", "by hand");
    s.Set("MassPerParticle", "3000");
    s.Set("EndTime", "1");
    // A point source adds particles of the run's mass per particle.
    for (auto [name, value] : {std::pair{"$source_strength", "200000"}, {"$source_duration", "5"},
                               {"$source_radius", "5"}, {"$source_point", "100 50"}, {"$source_velo", "0"}})
      s.SetVariable(name, value);
  };
  setUp(*p.sim);
  std::vector<std::string> first;
  for (int run = 0; run < 3; ++run) {
    SCOPED_TRACE(run);
    MessageCapture messages;
    p.sim->Set("Run", "");
    EXPECT_STREQ(p.sim->Get("MassPerParticle"), "3000");
    EXPECT_EQ(messages.WithPrefix("mass per particle corrected:").size(), 1u);
    std::vector<std::string> files;
    for (const std::string& name : p.TimeSteps()) files.push_back(p.File(name.c_str()));
    if (run == 0) first = files;
    EXPECT_TRUE(files == first);
  }

  SW_Simulation* other = p.Add("Other", true);  // set up with the defaults
  other->GetComponent("ReleaseAreas")->Set("AppendObject", "project/ReleaseAreas/slab");
  for (const char* name : {"DeltaT", "DeltaOut"}) other->Set(name, p.sim->Get(name));
  setUp(*other);
  const std::string otherRun = p.RunIn(p.dir, other);
  WriteFile(otherRun + "/at_0000001.0000.TimeStep", p.File("at_0000001.0000.TimeStep"));
  other->Set("LoadTimeStep", "at_0000001.0000");
  ASSERT_NEAR(other->CurrentTime, 1, 1e-9);
  const int32_t count = other->Particles()->Count();
  for (SW_Simulation* s : {p.sim, other}) {
    s->Set("EndTime", "2");
    s->Set("Continue", "");
    EXPECT_STREQ(AK_ErrorText, "");
  }
  EXPECT_GT(other->Particles()->Count(), count + 10);
  EXPECT_TRUE(ReadFile(otherRun + "/at_0000002.0000.TimeStep") == p.File("at_0000002.0000.TimeStep"));
  EXPECT_STREQ(other->Get("MassPerParticle"), "3000");
}

TEST(Run, AnUpdateAfterTheRunKeepsItsLastState)
{
  RunProject p;
  p.sim->Set("DeltaDepthPerParticle", "0.4");  // an input of the release set-up, changed before the run
  p.sim->Set("Run", "");
  const std::vector<AK_Vec3> positions(p.sim->Particles()->Positions().begin(), p.sim->Particles()->Positions().end());
  MessageCapture messages;
  p.sim->Update();
  EXPECT_FALSE(messages.HasPrefix("computing release depths"));
  EXPECT_NEAR(p.sim->CurrentTime, 3, 1e-12);
  const AK_Array<AK_Vec3>& after = p.sim->Particles()->Positions();
  ASSERT_EQ(size_t(after.Size()), positions.size());
  for (size_t i = 0; i < positions.size(); ++i) EXPECT_TRUE(after[int32_t(i)].x == positions[i].x && after[int32_t(i)].y == positions[i].y);
}

TEST(Run, StopCriterionAndInterruptEndTheRunFinished)
{
  {
    // The criterion fires after the first step: exactly one more step, an output at its end.
    RunProject p;
    p.sim->SetVariable("$stop_crit", "$halt");
    p.sim->SetVariable("$halt", "now");
    MessageCapture messages;
    p.sim->Set("Run", "");
    EXPECT_EQ(p.TimeSteps(), (std::vector<std::string>{"at_0000000.0000.TimeStep", "at_0000000.2000.TimeStep"}));
    EXPECT_TRUE(messages.Contains("simulation Avalanche1 STOPPED:\nnow"));
    EXPECT_STREQ(SW_QueryAnswer(SW_ReadInfoFile(p.run.c_str()), ""), "stopped at 0.1s due to stop-criterion:now\n");
    EXPECT_STREQ(SW_QueryAnswer(SW_ReadStatusFile(p.run.c_str()), "unknown"), "finished");
    EXPECT_STREQ(p.sim->GetVariable("$endITC"), "0.2");
  }
  {
    // An interrupt before the first step: the initial output only, the end steps still run.
    RunProject p;
    AK_InterruptCallback = [] { return 1; };
    p.sim->Set("Run", "");
    AK_InterruptCallback = nullptr;
    EXPECT_EQ(p.TimeSteps(), std::vector<std::string>{"at_0000000.0000.TimeStep"});
    EXPECT_EQ(p.sim->CurrentTime, 0);
    EXPECT_STREQ(SW_QueryAnswer(SW_ReadStatusFile(p.run.c_str()), "unknown"), "finished");
  }
}

TEST(Run, RefusedRunsChangeNothing)
{
  struct Case {
    const char* name;
    void (*prepare)(RunProject&);
    const char* message;  // a message of the refusal, "" for none
    const char* error;    // the start of the error text
  } cases[] = {
      {"no release", [](RunProject& p) { p.sim->GetComponent("ReleaseAreas")->Set("RemoveAllObjects", ""); },
       "INFO: No release areas defined! Simulation will not be started!",
       "project/Simulations/Avalanche1: not run: no release areas"},
      {"point source of strength 0",
       [](RunProject& p) {
         p.sim->GetComponent("ReleaseAreas")->Set("RemoveAllObjects", "");
         p.sim->SetVariable("$source_strength", "0");
       },
       "INFO: No release areas defined! Simulation will not be started!",
       "project/Simulations/Avalanche1: not run: no release areas"},
      {"no mesh", [](RunProject& p) { p.root.GetComponent("DHMs")->Set("DeleteObject", "simulation_mesh"); },
       "INFO: simulation Avalanche1 has no valid mesh assigned!",
       "project/Simulations/Avalanche1: not run: no valid mesh"},
      {"output interval below a step", [](RunProject& p) { p.sim->DeltaOut = 0.01; }, "",
       "project/Simulations/Avalanche1: not run: output interval DeltaOut 0.01"},
      {"more steps than a run counts", [](RunProject& p) { p.sim->DeltaT = 1e-9; }, "",
       "project/Simulations/Avalanche1: not run: the run from 0 s to EndTime 3 s takes 3e+09 steps of DeltaT 1e-09 s"},
      {"kernel grid beyond count", [](RunProject& p) { p.sim->Set("SphMode", "-20000"); }, "",
       "project/Simulations/Avalanche1: not run: the kernel radius 0.00025 m"},
  };
  // Whatever the status said before (none, a background start, an earlier run, a run that
  // was killed), a refused run writes nothing of its own: the status and info stay as the
  // take-over of a run that is gone leaves them; a background start refuses the same with the
  // same text, save where it has messages of its own.
  for (const Case& c : cases)
  for (const char* status : {static_cast<const char*>(nullptr), "started", "finished", "running"})
  for (const char* command : {"Run", "RunInBackground"}) {
    if (std::string(command) == "RunInBackground" && *c.message) continue;
    SCOPED_TRACE(std::string(c.name) + " over " + (status ? status : "none") + " " + command);
    RunProject p;
    c.prepare(p);
    if (status) {
      EXPECT_TRUE(SW_WriteStatusFile(p.run.c_str(), status));
      EXPECT_TRUE(SW_WriteInfoFile(p.run.c_str(), "at time 10 s, run time h:m:s 0:0:1"));
    }
    if (std::string(status ? status : "") == "running") WriteFile(p.run + "/.simulation_lock", "1073741000\n");
    MessageCapture messages;
    AK_ErrorText = "";
    p.sim->Set(command, "");
    if (*c.message) {
      EXPECT_TRUE(messages.Contains(c.message));
    }
    const std::string error = AK_ErrorText.c_str();
    EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
    EXPECT_TRUE(p.TimeSteps().empty());
    EXPECT_FALSE(messages.HasPrefix("computing time step "));
    EXPECT_FALSE(AK_FileExists((p.run + "/start.macro").c_str()));
    const std::string info = "at time 10 s, run time h:m:s 0:0:1\n";
    const std::string before = status ? status : "";
    EXPECT_STREQ(SW_QueryAnswer(SW_ReadStatusFile(p.run.c_str()), "unknown"), status ? "finished" : "unknown");
    EXPECT_EQ(std::string(SW_QueryAnswer(SW_ReadInfoFile(p.run.c_str()), "").c_str()),
              before.empty() ? "" : before == "finished" ? info : "its run did not finish, its process is gone; last: " + info);
    EXPECT_FALSE(AK_FileExists((p.run + "/.simulation_lock").c_str()));
    EXPECT_STREQ(p.sim->RunVis(), p.sim->Mesh() ? "w" : "r");
  }
}

// An interrupt that cannot be written would leave the run going on: the command says why.
TEST(Run, AnInterruptThatCannotBeWrittenSaysWhy)
{
  RunProject p;
  std::filesystem::create_directory(p.run + "/.simulation_status");
  p.sim->Set("Interrupt", "");
  // Nothing is written over a status that cannot be read.
  EXPECT_STREQ(AK_ErrorText, ("project/Simulations/Avalanche1: not interrupted, cannot read " + p.run +
                              "/.simulation_status: Is a directory").c_str());
}

// A simulation that has no project directory yet is not run, in the foreground or the
// background, nor continued: its lock, status and info would go into whatever directory the
// program runs in. Refused, it writes nothing anywhere and keeps its state.
TEST(Run, WithoutProjectDirectoryARunIsRefusedAndWritesNothing)
{
  RunProject p;
  p.sim->SetProjectDirRecursive("");
  ScratchCurrentDir here;  // every simulation without a directory shares it: this test's own
  const double before = p.sim->CurrentTime;
  for (const char* command : {"Run", "Continue"}) {
    SCOPED_TRACE(command);
    AK_ErrorText = "";
    p.sim->Set(command, "");
    EXPECT_STREQ(AK_ErrorText, "project/Simulations/Avalanche1: not run: the project has no directory for the run's "
                               "lock, status and time steps: save it first (SaveProjectAs)");
    EXPECT_EQ(p.sim->CurrentTime, before);
  }
  EXPECT_STREQ(p.sim->Get("Status"), "unknown");
  AK_ErrorText = "";
  p.sim->Set("RunInBackground", "");
  EXPECT_STREQ(AK_ErrorText, "project/Simulations/Avalanche1: the project has no directory for a run in the "
                             "background: save the whole project first");
  EXPECT_TRUE(Entries(here.Path()).empty());
  EXPECT_TRUE(Entries(p.run).empty());
}

TEST(Run, SmoothedParticleMessagesFollowTheVerboseSwitch)
{
  struct Case {
    const char* sphMode;
    const char* verbose;
    size_t radiusLines, gridLines, totalLines;
  } cases[] = {{"0", "1", 0, 0, 0}, {"-2", "", 1, 0, 0}, {"-2", "1", 5, 5, 5}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.sphMode) + " " + c.verbose);
    RunProject p;
    p.sim->Set("EndTime", "0.5");
    p.sim->Set("SphMode", c.sphMode);
    p.sim->SetVariable("$sph_verbose", c.verbose);
    MessageCapture messages;
    p.sim->Set("Run", "");
    EXPECT_EQ(messages.WithPrefix("SPH kernel radius ").size(), c.radiusLines);
    EXPECT_EQ(messages.Contains("SPH kernel radius 2.5"), c.radiusLines > 0);  // 5 m cells / 2
    EXPECT_EQ(messages.WithPrefix(std::to_string(p.sim->Particles()->Count()) + " SPH particles, location grid size 2.5 origin 0 0 cells 81 x 41").size(), c.gridLines);
    for (const char* phase : {"SPH location grid in ", "body forces ", "lateral forces ", "position update ",
                              "particles removal/splitting ", "field update ", "timestep total "})
      EXPECT_EQ(messages.WithPrefix(phase).size(), c.totalLines) << phase;
    for (const std::string& line : messages.WithPrefix("lateral forces "))
      EXPECT_NE(line.find(" clocks), "), std::string::npos) << line;
    EXPECT_TRUE(messages.Contains("initializing cell entrainment area weights..."));
    EXPECT_TRUE(messages.Contains("updating cell entrainment area weights done"));
  }
}

// The particles that leave the bottom of the plane are reported in the step that removes
// them, after its entrained mass and before its total; the counts add up to what is gone.
TEST(Run, ParticlesLeavingTheMeshAreReportedWhereTheyGo)
{
  RunProject p;
  p.sim->Set("EndTime", "14");
  p.sim->Set("DeltaOut", "14");
  MessageCapture messages;
  p.sim->Set("Run", "");
  long made = -1, removed = 0;
  int removals = 0;
  std::string previous;  // the last of the step's mass lines
  for (const std::string& m : messages.messages) {
    const size_t at = m.find(" particles ");
    if (m.rfind("computing time step ", 0) == 0 || m.rfind("\tentrained DFA mass: ", 0) == 0 ||
        m.rfind("\ttotal DFA mass: ", 0) == 0)
      previous = m.substr(0, 8);
    if (at != std::string::npos && m.substr(at) == " particles generated") made = std::atol(m.c_str());
    if (at == std::string::npos || m.substr(at) != " particles removed") continue;
    EXPECT_EQ(previous, "\tentrain") << m;
    removed += std::atol(m.c_str());
    ++removals;
  }
  std::printf("%ld particles generated, %ld removed in %d steps, %d left\n", made, removed, removals,
              p.sim->Particles()->Count());
  EXPECT_GT(removals, 1);
  EXPECT_GT(removed, 0);
  EXPECT_EQ(made - removed, p.sim->Particles()->Count());
}

// With "$sph_verbose" above 1 every step reports the gradient at every 1000th particle, in
// particle order, between the body-force and the lateral-force lines.
TEST(Run, SmoothedParticleSamplesWithVerboseAboveOne)
{
  for (const char* verbose : {"1", "2"}) {
    SCOPED_TRACE(verbose);
    RunProject p;
    p.sim->Set("EndTime", "0.2");
    p.sim->Set("SphMode", "-2");
    p.sim->Set("DeltaDepthPerParticle", "0.03");  // some 65 particles to a cell of the 2 m slab
    p.sim->SetVariable("$sph_verbose", verbose);
    MessageCapture messages;
    p.sim->Set("Run", "");
    const int32_t n = p.sim->Particles()->Count();
    ASSERT_GT(n, 2000);
    std::vector<std::string> samples;
    std::string phase;
    for (const std::string& m : messages.messages) {
      if (m.rfind("body forces ", 0) == 0 || m.rfind("lateral forces ", 0) == 0) phase = m.substr(0, 4);
      if (m.rfind("SPH particle ", 0) != 0) continue;
      EXPECT_EQ(phase, "body") << m;
      samples.push_back(m);
    }
    if (std::string(verbose) == "1") {
      EXPECT_TRUE(samples.empty());
      continue;
    }
    const size_t perStep = (n + 999) / 1000;
    ASSERT_EQ(samples.size(), 2 * perStep);
    for (size_t k = 0; k < samples.size(); ++k) {
      int particle = 0, i = 0, j = 0;
      double x, y, z, gx, gy, gz;
      char tail = 0;
      ASSERT_EQ(std::sscanf(samples[k].c_str(), "SPH particle %d at %lf %lf %lf i %d j %d grad_h %lf %lf %lf%c", &particle,
                            &x, &y, &z, &i, &j, &gx, &gy, &gz, &tail),
                9)
          << samples[k];
      EXPECT_EQ(particle, static_cast<int>(k % perStep) * 1000 + 1) << samples[k];
      EXPECT_TRUE(x >= 20 && x <= 60 && y >= 30 && y <= 70) << samples[k];  // in the slab, barely moved
      EXPECT_EQ(i, static_cast<int>(x / 2.5)) << samples[k];                 // grid cells of 2.5 m from 0
      EXPECT_EQ(j, static_cast<int>(y / 2.5)) << samples[k];
      EXPECT_EQ(gz, 0) << samples[k];
    }
  }
}

TEST(Run, AFrictionLawWithoutANumberStopsTheRun)
{
  RunProject p;
  p.sim->Set("DeltaOut", "0.1");  // the failed step would have had an output
  p.sim->Set("FrictionType", "my law");
  p.sim->Set("BottomShearStressFormula", "return p / (v - v);");  // 0/0 or p/0 for every particle
  p.sim->SetVariable("$stop_crit", "$halt");  // a criterion that reads without error
  p.sim->SetVariable("$halt", "");
  AK_ErrorText = "";
  p.sim->Set("Run", "");
  EXPECT_NE(std::string(AK_ErrorText.c_str()).find("my law"), std::string::npos) << AK_ErrorText;
  EXPECT_EQ(std::string(AK_ErrorText.c_str()).rfind("project/Simulations/Avalanche1: stopped at time 0 s: ", 0), 0u);
  // The step failed: the time stays where it was and nothing is labelled with the next one.
  EXPECT_EQ(p.sim->CurrentTime, 0);
  EXPECT_EQ(p.TimeSteps(), std::vector<std::string>{"at_0000000.0000.TimeStep"});
  EXPECT_EQ(p.File(".simulation_info").rfind("stopped at time 0 s: ", 0), 0u) << p.File(".simulation_info");
  EXPECT_STREQ(SW_QueryAnswer(SW_ReadStatusFile(p.run.c_str()), "unknown"), "finished");
  for (const AK_Vec3& x : p.sim->Particles()->Positions()) ASSERT_TRUE(std::isfinite(x.x) && std::isfinite(x.y));
}

TEST(Run, APointSourceAloneFeedsTheRunWithItsMassFlow)
{
  RunProject p;
  p.sim->GetComponent("ReleaseAreas")->Set("RemoveAllObjects", "");
  p.sim->Set("MassPerParticleDeterminationMethod", "direct");
  p.sim->Set("MassPerParticle", "100");
  for (auto [name, value] : {std::pair{"$source_strength", "20000"}, {"$source_duration", "0.95"},
                             {"$source_radius", "5"}, {"$source_point", "100 50"}, {"$source_velo", "0"}})
    p.sim->SetVariable(name, value);
  MessageCapture messages;
  p.sim->Set("Run", "");
  // 20000 kg/s x 0.1 s / 100 kg: 20 particles in each of the steps from 0 to 0.9 s.
  const std::vector<std::string> added = messages.WithPrefix("\teffective source mass flow ");
  ASSERT_EQ(added.size(), 10u);
  for (const std::string& m : added) EXPECT_EQ(m, "\teffective source mass flow 20000, absolute 2000, 20 particles");
  EXPECT_EQ(p.sim->Particles()->Count(), 200);
  EXPECT_NEAR(p.sim->Particles()->TotalMass(), 20000, 1e-6);
  EXPECT_STREQ(p.sim->Get("MassPerParticle"), "100");  // nothing released: the user's value stays
}

// The first output that cannot be written ends the run at its time, with or without a stop
// criterion (which reads its variable at every step): the error text and the info file name
// the file and what the system answered, the status is "finished", and what was written
// before stays. (A run directory without write permission cannot be tried: the run lock and
// the status file live there too.)
TEST(Run, AFailedWriteEndsTheRunWithItsReason)
{
  struct Case {
    const char* name;
    bool blockAtOneSecond;  // a directory in the place of the 1 s file; else a file-size limit
    bool stopCriterion;
    double stoppedAt;
    std::vector<std::string> kept;
  } cases[] = {
      {"directory in the way", true, false, 1, {"at_0000000.0000.TimeStep"}},
      {"directory in the way, stop criterion", true, true, 1, {"at_0000000.0000.TimeStep"}},
      {"file-size limit", false, false, 0, {}},
      {"file-size limit, stop criterion", false, true, 0, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunProject p;
    const std::string blocked = p.run + "/at_0000001.0000.TimeStep";
    if (c.blockAtOneSecond) {
      std::filesystem::create_directories(blocked);
      WriteFile(blocked + "/keep", "a file that keeps the directory");
    }
    if (c.stopCriterion) {
      p.sim->SetVariable("$stop_crit", "$halt");
      p.sim->SetVariable("$halt", "");
    }
    // A run saves first what it reads that was never saved: saved here, under no limit.
    p.sim->Mesh()->SaveProject("");
    p.sim->GetComponent("ReleaseAreas")->Component(0)->SaveProject("");
    AK_ErrorText = "";
    {
      std::optional<FileSizeLimit> limit;
      if (!c.blockAtOneSecond) limit.emplace(1024);
      p.sim->Set("Run", "");
    }
    const std::string file = p.run + (c.stoppedAt == 0 ? "/at_0000000.0000.TimeStep" : "/at_0000001.0000.TimeStep");
    const std::string why = c.blockAtOneSecond ? "cannot open " + file + ": Is a directory"
                                               : std::string("cannot save timestep data: File too large");
    const std::string reason = AK_String::Format("stopped at time %g s: the time step file ", c.stoppedAt).c_str() +
                               file + " could not be written: project/Simulations/Avalanche1 " + why;
    EXPECT_EQ(std::string(AK_ErrorText.c_str()), "project/Simulations/Avalanche1: " + reason);
    EXPECT_EQ(p.File(".simulation_info"), reason + "\n");
    EXPECT_STREQ(SW_QueryAnswer(SW_ReadStatusFile(p.run.c_str()), "unknown"), "finished");
    EXPECT_NEAR(p.sim->CurrentTime, c.stoppedAt, 1e-9);
    std::vector<std::string> steps = p.TimeSteps();
    std::erase(steps, "at_0000001.0000.TimeStep");  // the directory
    EXPECT_EQ(steps, c.kept);
    if (c.blockAtOneSecond) {
      EXPECT_EQ(ReadFile(blocked + "/keep"), "a file that keeps the directory");
    }
    EXPECT_FALSE(AK_FileExists((p.run + "/.simulation_lock").c_str()));
  }
}

// A run records in the saved simulation the time step it ended with, so that a process that
// loads the project goes on from there; a run whose first output failed has none to record,
// and the record of its earlier run's last file, which the run removed, goes with it.
TEST(Run, TheSavedSimulationRecordsTheTimeStepItsRunEndedWith)
{
  RunProject p;
  p.sim->Save();
  AK_String recorded;
  p.sim->Set("Run", "");
  const AK_Read<AK_String> read = p.sim->SavedAttribute(p.run.c_str(), "LoadTimeStep");
  ASSERT_TRUE(read.IsRead());
  recorded = *read.Value();
  EXPECT_STREQ(recorded, "at_0000003.0000");
  const std::string first = p.run + "/at_0000000.0000.TimeStep";
  std::filesystem::remove(first);
  std::filesystem::create_directory(first);
  p.sim->Set("Run", "");
  EXPECT_EQ(p.TimeSteps(), std::vector<std::string>{"at_0000000.0000.TimeStep"});  // the directory
  const AK_Read<AK_String> readAgain = p.sim->SavedAttribute(p.run.c_str(), "LoadTimeStep");
  ASSERT_TRUE(readAgain.IsRead());
  recorded = *readAgain.Value();
  EXPECT_STREQ(recorded, "");
}

TEST(Run, AnOutputIntervalOfTenBillionStepsRunsWithAnOutputAtTheEnd)
{
  RunProject p;
  p.sim->Set("DeltaOut", "1e9");
  AK_ErrorText = "";
  p.sim->Set("Run", "");
  EXPECT_STREQ(AK_ErrorText, "");
  EXPECT_EQ(p.TimeSteps(), (std::vector<std::string>{"at_0000000.0000.TimeStep", "at_0000003.0000.TimeStep"}));
}

// A writer killed while it wrote leaves its temporary beside the time steps: a run's removal
// of later steps and "DeleteTimesteps" "all" remove those of time-step names, nothing else.
TEST(Run, LeftoversOfKilledWritesGoWithTheTimeSteps)
{
  for (const char* way : {"Run", "DeleteTimesteps"}) {
    SCOPED_TRACE(way);
    RunProject p;
    const std::vector<std::string> leftovers = {"at_0000000.0000.TimeStep.~RNKB9Y", "at_0000007.5000.TimeStep.~a1b2c3"};
    const std::vector<std::string> others = {"notes.txt.~RNKB9Y", "at_0000001.0000.TimeStep.~TOOLONG", "slope.TimeStep.~RNKB9Y",
                                             ".simulation_info.~RNKB9Y"};
    for (const std::string& name : leftovers) WriteFile(p.run + "/" + name, "half a file");
    for (const std::string& name : others) WriteFile(p.run + "/" + name, "kept");
    if (std::string(way) == "Run") {
      p.sim->Set("Run", "");
    } else {
      WriteFile(p.run + "/at_0000005.0000.TimeStep", "");  // a time step to delete
      p.sim->Set("DeleteTimesteps", "all");
    }
    for (const std::string& name : leftovers) EXPECT_FALSE(AK_FileExists((p.run + "/" + name).c_str())) << name;
    for (const std::string& name : others) EXPECT_EQ(p.File(name.c_str()), "kept") << name;
  }
}

// A run holds the lock beside its status file: while a live process holds it, every start is
// refused and names the simulation, and so is the deletion of the time steps; a lock whose
// process is gone (also one whose id a later process got) is taken over with a warning, and
// so is a status of a run under way that no lock backs; the lock goes when the run ends.
TEST(Run, OneRunOfASimulationAtATime)
{
  RunProject p;
  const std::string lock = p.run + "/.simulation_lock";
  const std::string leftover = p.run + "/at_0000002.0000.TimeStep.~RNKB9Y";
  const std::string ofLiveProcess = "1 " + std::to_string(AK_ProcessStartTime(1)) + "\n";
  // A live process that is not this one's ancestor, before it wrote "running" and after.
  for (const std::string& live : {std::string("1\n"), ofLiveProcess})
  for (const char* status : {"finished", "running"}) {
    WriteFile(lock, live);
    EXPECT_TRUE(SW_WriteStatusFile(p.run.c_str(), status));
    WriteFile(p.run + "/at_0000001.0000.TimeStep", "");  // what that run wrote so far
    WriteFile(leftover, "what that run is writing");
    const bool running = std::string(status) == "running";
    for (const char* command : {"Run", "Continue", "RunInBackground", "ContinueInBackground", "DeleteTimesteps"}) {
      SCOPED_TRACE(live + status + " " + command);
      AK_ErrorText = "";
      EXPECT_STREQ(p.sim->Get("RunVis"), running ? "r" : "w");
      p.sim->Set(command, "all");
      const std::string refusal = std::string(command) == "DeleteTimesteps" ? "time steps not deleted" : "not started";
      if (running && std::string(command).find("Background") != std::string::npos)
        EXPECT_EQ(std::string(AK_ErrorText.c_str()),
                  "project/Simulations/Avalanche1: the simulation has no mesh, is running already or cannot find the "
                  "mesh of the flow above");
      else
        EXPECT_EQ(std::string(AK_ErrorText.c_str()),
                  "project/Simulations/Avalanche1: " + refusal + ", a run of this simulation is going on in process 1");
      EXPECT_EQ(p.TimeSteps(), std::vector<std::string>{"at_0000001.0000.TimeStep"});
      EXPECT_EQ(p.File("at_0000002.0000.TimeStep.~RNKB9Y"), "what that run is writing");
      EXPECT_FALSE(AK_FileExists((p.run + "/start.macro").c_str()));
      EXPECT_EQ(p.File(".simulation_lock"), live);
      EXPECT_STREQ(SW_QueryAnswer(SW_ReadStatusFile(p.run.c_str()), "unknown"), status);
    }
  }
  EXPECT_EQ(0, AK_DeleteFile((p.run + "/at_0000001.0000.TimeStep").c_str()));
  EXPECT_EQ(0, AK_DeleteFile(leftover.c_str()));
  // This process's own run: its lock is held here (a class script of the run would do this).
  EXPECT_EQ(0, AK_DeleteFile(lock.c_str()));
  {
    SW_RunLock own(p.run.c_str(), "the run", SW_LockPurpose::Run, "not started", {});
    ASSERT_TRUE(own.Held());
    WriteFile(p.run + "/at_0000001.0000.TimeStep", "");
    for (const char* command : {"Run", "DeleteTimesteps"}) {
      AK_ErrorText = "";
      p.sim->Set(command, "all");
      const std::string refusal = std::string(command) == "Run" ? "not started" : "time steps not deleted";
      EXPECT_EQ(std::string(AK_ErrorText.c_str()),
                "project/Simulations/Avalanche1: " + refusal + ", a run of this simulation is going on in this process");
      EXPECT_EQ(p.TimeSteps(), std::vector<std::string>{"at_0000001.0000.TimeStep"});
    }
  }
  EXPECT_FALSE(AK_FileExists(lock.c_str()));
  // Runs that are gone: a lock of a process that no longer exists, one whose id now belongs
  // to a process started later, and a status of a run under way with no lock at all.
  struct Gone {
    std::string lock, status, warning;
  } gone[] = {
      {"1073741000\n", "running", "the run lock of process 1073741000, which is gone, is taken over"},
      {"1 " + std::to_string(AK_ProcessStartTime(1) + 7) + "\n", "started",
       "the run lock of process 1, which is gone, is taken over"},
      {"", "running", "the status \"running\" of a run that is gone is disregarded"},
      {"", "started", "the status \"started\" of a run that is gone is disregarded"},
      {"1073741000\n", "interrupted", "the run lock of process 1073741000, which is gone, is taken over"},
  };
  for (const Gone& g : gone) {
    SCOPED_TRACE(g.warning);
    if (!g.lock.empty()) WriteFile(lock, g.lock);
    EXPECT_TRUE(SW_WriteStatusFile(p.run.c_str(), g.status.c_str()));
    EXPECT_STREQ(p.sim->Get("RunVis"), "w");
    MessageCapture messages;
    AK_ErrorText = "";
    p.sim->Set("Run", "");
    EXPECT_STREQ(AK_ErrorText, "");
    EXPECT_EQ(messages.WithPrefix("WARNING: project/Simulations/Avalanche1: "),
              std::vector<std::string>{"WARNING: project/Simulations/Avalanche1: " + g.warning});
    EXPECT_EQ(p.TimeSteps().size(), 4u);
    EXPECT_STREQ(SW_QueryAnswer(SW_ReadStatusFile(p.run.c_str()), "unknown"), "finished");
    EXPECT_FALSE(AK_FileExists(lock.c_str()));
  }
  // A command that takes a run that is gone over leaves a true status behind, and that run's
  // last progress line; the temporaries its killed writers left go, nothing else.
  const std::vector<std::string> leftovers = {"ShallowWaterSimulation.atr.~Ab12Cd", ".simulation_info.~xYz789",
                                              "at_0000009.0000.TimeStep.~q1W2e3", ".simulation_lock.stale.1073741000"};
  // A lock set aside by a live process that takes it over stays.
  const std::vector<std::string> kept = {"notes.~abc", "notes.~abc-ef", "ShallowWaterSimulation.atr~",
                                         ".simulation_lock.stale.1"};
  for (const std::string& name : kept) WriteFile(p.run + "/" + name, "kept");
  for (const Gone& g : gone) {
    SCOPED_TRACE(g.warning);
    if (!g.lock.empty()) WriteFile(lock, g.lock);
    for (const std::string& name : leftovers) WriteFile(p.run + "/" + name, "left");
    EXPECT_TRUE(SW_WriteStatusFile(p.run.c_str(), g.status.c_str()));
    EXPECT_TRUE(SW_WriteInfoFile(p.run.c_str(), "at time 2 s"));
    p.sim->Set("DeleteTimesteps", "except last");
    EXPECT_STREQ(SW_QueryAnswer(SW_ReadStatusFile(p.run.c_str()), "unknown"), "finished");
    EXPECT_STREQ(SW_QueryAnswer(SW_ReadInfoFile(p.run.c_str()), ""), "its run did not finish, its process is gone; last: at time 2 s\n");
    for (const std::string& name : leftovers) EXPECT_FALSE(AK_FileExists((p.run + "/" + name).c_str())) << name;
    for (const std::string& name : kept) EXPECT_EQ(ReadFile(p.run + "/" + name), "kept") << name;
  }
  // A run that finished before its process went leaves its status and progress line as they are.
  WriteFile(lock, "1073741000\n");
  EXPECT_TRUE(SW_WriteStatusFile(p.run.c_str(), "finished"));
  EXPECT_TRUE(SW_WriteInfoFile(p.run.c_str(), "at time 4 s"));
  p.sim->Set("DeleteTimesteps", "except last");
  EXPECT_STREQ(SW_QueryAnswer(SW_ReadInfoFile(p.run.c_str()), ""), "at time 4 s\n");
  for (const std::string& name : kept) std::remove((p.run + "/" + name).c_str());
  // Without a run under way the time steps go, with no warning.
  {
    MessageCapture messages;
    p.sim->Set("DeleteTimesteps", "all");
    EXPECT_TRUE(p.TimeSteps().empty());
    EXPECT_STREQ(p.sim->CurrentTimeStep, "");  // a project saved now loads no time step
    EXPECT_FALSE(messages.HasPrefix("WARNING"));
    EXPECT_FALSE(AK_FileExists(lock.c_str()));
  }
  // Every way a run ends lets the lock go: an interrupt, a refusal.
  p.sim->Set("Run", "");
  AK_InterruptCallback = [] { return 1; };
  p.sim->Set("Continue", "");
  AK_InterruptCallback = nullptr;
  EXPECT_FALSE(AK_FileExists(lock.c_str()));
  p.sim->GetComponent("ReleaseAreas")->Set("RemoveAllObjects", "");
  p.sim->Set("Run", "");
  EXPECT_FALSE(AK_FileExists(lock.c_str()));
}

// "$compat" is read at every step: a law script that sets it at 1 s changes the run from the
// next step on, which then no longer follows a run that never has it, nor one that has it
// from the start.
TEST(Run, ACompatSetByTheLawMidRunTakesEffectFromTheNextStep)
{
  ScratchDir laws;
  const std::string law = laws.Write("switch.cint",
      "double tau(double p, double u, double h, double r, double t, double x[3], double n[3],"
      " double e) { if (t > 0.95) set(\"\", \"$compat\", \"v2017\"); return 0.3 * p + 2 * u * u; }\n");
  const std::string plain = laws.Write("plain.cint",
      "double tau(double p, double u, double h, double r, double t, double x[3], double n[3],"
      " double e) { return 0.3 * p + 2 * u * u; }\n");
  auto run = [](const std::string& file, const char* compat, const char* endTime) {
    auto p = std::make_unique<RunProject>();
    p->sim->Set("FrictionType", "law");
    p->sim->Set("BottomShearStressFormulaFile", file.c_str());
    if (*compat) p->sim->SetVariable("$compat", compat);
    p->sim->Set("EndTime", endTime);
    // Started as a class script of the simulation starts it: the law's "set" reaches it.
    AK_CurrentObjectScope current(p->sim);
    p->sim->Set("Run", "");
    EXPECT_STREQ(AK_ErrorText, "");
    return std::vector<AK_Vec3>(p->sim->Particles()->Positions().begin(), p->sim->Particles()->Positions().end());
  };
  const auto same = [](const std::vector<AK_Vec3>& a, const std::vector<AK_Vec3>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
      if (!(a[i].x == b[i].x && a[i].y == b[i].y && a[i].z == b[i].z)) return false;
    return true;
  };
  // Up to the step that sets it (from 1 s to 1.1 s) the switched run is the plain one.
  EXPECT_TRUE(same(run(law, "", "1.1"), run(plain, "", "1.1")));
  const auto switched = run(law, "", "2");
  EXPECT_FALSE(same(switched, run(plain, "", "2")));
  EXPECT_FALSE(same(switched, run(plain, "v2017", "2")));
  // It matters from the first step when set from the start.
  EXPECT_FALSE(same(run(plain, "v2017", "1.1"), run(plain, "", "1.1")));
}

// A run beside its simulation, driven step by step from outside: the arrays stay lent to the
// model from step to step (the simulation's particle set and fields are empty meanwhile) and
// come back before a stop criterion reads the tree and at the end; the particles are those of
// the run loop's own run, bit for bit.
TEST(Run, ARunDrivenStepByStepLendsItsArraysOnceAndRepeatsTheRunLoop)
{
  RunProject loop, driven;
  loop.sim->Set("EndTime", "0.3");
  loop.sim->Set("Run", "");

  SW_Simulation& sim = *driven.sim;
  ASSERT_STREQ(sim.Initialize(), "");
  const int32_t count = sim.Particles()->Count();
  sim.CheckFrictionParameters();
  SW_SimulationRun run(sim);
  sim.UpdateCellResistances(run);
  sim.MarkWallCells(run);
  run.SetUpSourceLines();
  sim.BottomPressure()._onVertices = 1;  // bound for the run, as the run loop does
  sim.BottomPressure().SetMesh(sim.Mesh());
  EXPECT_FALSE(run.Lent());
  for (int k = 0; k < 3; ++k) {
    ASSERT_EQ(sim.ComputeTimeStep(k * 0.1, 0.1, run), 0) << run.Error().c_str();
    run.AfterStep();
    EXPECT_TRUE(run.Lent());
    EXPECT_EQ(sim.Particles()->Count(), 0);
    EXPECT_TRUE(sim.FlowDepth()->_values.IsEmpty());
    EXPECT_EQ(run.Flow().particles.Count(), count);
  }
  EXPECT_EQ(sim.PeakKineticEnergy, loop.sim->PeakKineticEnergy);
  sim.SetVariable("$stop_crit", "$halt");
  AK_String value;
  EXPECT_EQ(run.StopCriterion(value), 0);
  EXPECT_FALSE(run.Lent());
  EXPECT_EQ(sim.FlowDepth()->_values.Size(), sim.Mesh()->NumVertices());
  const AK_Array<AK_Vec3>& a = sim.Particles()->Positions();
  const AK_Array<AK_Vec3>& b = loop.sim->Particles()->Positions();
  ASSERT_EQ(a.Size(), b.Size());
  for (int32_t i = 0; i < a.Size(); ++i) ASSERT_TRUE(a[i].x == b[i].x && a[i].y == b[i].y && a[i].z == b[i].z) << i;
}

// The mesh's data file is large: a Continue reads it once at most (its checks before the first step
// and its record after the last take the digest once), a load reads it once and takes its identity
// from the bytes it read, and a save reads it back once from what it wrote. The identities are
// those AK_FileDigest reads anew.
TEST(Run, AContinueALoadAndASaveReadTheMeshDataFileOnceAtMost)
{
  RunProject p;
  p.sim->Save();
  p.sim->Set("Run", "");
  ASSERT_STREQ(AK_ErrorText, "");
  const std::string meshDir = p.mesh->ProjectDir().c_str();
  const std::string data = meshDir + "/" + p.mesh->GetType().c_str() + ".dat";
  ASSERT_TRUE(AK_IsRegularFile(data.c_str()));
  const AK_String saved = AK_FileDigest(data.c_str());
  EXPECT_EQ(saved, p.mesh->DataIdentity());
  const std::string name = std::filesystem::path(data).filename().string();
  AK_CountOpensForReading(name.c_str());
  p.sim->Set("EndTime", "4");
  p.sim->Set("Continue", "");
  EXPECT_STREQ(AK_ErrorText, "");
  EXPECT_EQ(p.TimeSteps().back(), "at_0000004.0000.TimeStep");
  EXPECT_LE(AK_OpensForReadingCounted(), 1);

  AK_CountOpensForReading(name.c_str());
  p.mesh->Load(meshDir.c_str());
  EXPECT_STREQ(p.mesh->LoadDamage(), "");
  EXPECT_EQ(1, AK_OpensForReadingCounted());
  EXPECT_EQ(saved, p.mesh->DataIdentity());

  // Another terrain under the same object: saved and held anew.
  meshtest::MakeCartesian(p.mesh->Core(), 40, 20, 5, 0, 0, [](double x, double) { return 300 - x; });
  p.mesh->MarkModified("Data");
  AK_CountOpensForReading(name.c_str());
  p.mesh->SaveProject("");
  EXPECT_STREQ(AK_ErrorText, "");
  EXPECT_EQ(0, AK_OpensForReadingCounted());
  AK_CountOpensForReading("");
  EXPECT_FALSE(saved == AK_FileDigest(data.c_str()));
  EXPECT_EQ(AK_FileDigest(data.c_str()), p.mesh->DataIdentity());
}
