// A simulation's time steps on real particles and fields: a round trip, a damaged file that
// leaves the simulation as it was, and an independent reader of the file written here.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "AK_Container.h"
#include "AK_FrameworkState.h"
#include "SW_Simulation.h"
#include "SW_SimulationStatus.h"
#include "TestMeshes.h"
#include "TestSupport.h"

namespace {

std::vector<float> Values(const AK_Array<float>& a) { return std::vector<float>(a.begin(), a.end()); }

struct SimulationWithParticles {
  AK_Container root{"project", nullptr};
  SW_Simulation* sim = nullptr;
  ScratchDir dir;
  std::string run;  // the simulation's own directory
  SimulationWithParticles()
  {
    auto* mesh = new SW_Mesh("mesh", &root);
    root.AddComponent(mesh);
    meshtest::MakeCartesian(mesh->Core(), 3, 2, 10, 0, 0, [](double x, double) { return -x; });
    sim = new SW_Simulation("Avalanche1", &root);
    root.AddComponent(sim);
    sim->Set("Mesh", "../mesh");
    root.SetProjectDirRecursive(dir.Path().c_str());
    run = sim->ProjectDir().c_str();
    AK_MakeDirectory(run.c_str());
    for (int i = 0; i < 7; i++)
      sim->Particles()->Add(AK_Vec3(1 + 4 * i, 3 + i, 0), 10.0f + i, AK_Vec3(i, -i, 0.5), 1000.0f * i, 0, -1);
    for (int i = 0; i < sim->PeakFlowDepth()->_values.Size(); i++) sim->PeakFlowDepth()->_values[i] = 0.25f * i;
  }
};

}  // namespace

TEST(SimulationTimeSteps, RoundTripAndDamagedFileLeavesTheSimulationAsItWas)
{
  MessageCapture messages;
  SimulationWithParticles s;
  SW_Simulation& sim = *s.sim;
  ASSERT_EQ(sim.Particles()->Count(), 7);
  sim.CurrentTime = 5;
  sim.PeakKineticEnergy = 1234.5;
  AK_Array<AK_Vec3> positions = sim.Particles()->Positions();
  AK_Array<float> peak = sim.PeakFlowDepth()->_values;
  double mass = sim.Particles()->TotalMass();
  sim.Set("SaveTimeStep", "");
  ASSERT_TRUE(AK_FileExists((s.run + "/at_0000005.0000.TimeStep").c_str())) << AK_ErrorText.c_str();

  // An independent reader: the particle count and total mass from the "particles:Mass" record.
  std::string script = s.dir.Write("read.py",
      "import gzip, struct, sys\n"
      "b = gzip.open(sys.argv[1]).read()\n"
      "i = b.index(struct.pack('<i', 14) + b'particles:Mass') + 18\n"
      "n, = struct.unpack_from('<i', b, i); i += 4 + n\n"
      "c, = struct.unpack_from('<i', b, i)\n"
      "print(c, '%.3f' % sum(struct.unpack_from('<%df' % c, b, i + 4)))\n");
  EXPECT_EQ(RunProcess("python3 " + script + " " + (s.run + "/at_0000005.0000.TimeStep")),
            "7 " + std::string(AK_String::Format("%.3f", mass)) + "\n");

  sim.Particles()->Clear();
  sim.CurrentTime = 0;
  for (float& v : sim.PeakFlowDepth()->_values) v = 9;
  sim.Set("LoadTimeStep", "at_0000005.0000");
  EXPECT_STREQ(sim.CurrentTimeStep, "at_0000005.0000");
  EXPECT_EQ(sim.CurrentTime, 5);
  EXPECT_EQ(sim.PeakKineticEnergy, 1234.5);
  ASSERT_EQ(sim.Particles()->Count(), 7);
  for (int i = 0; i < 7; i++) EXPECT_EQ(sim.Particles()->Positions()[i], positions[i]);
  EXPECT_EQ(sim.Particles()->TotalMass(), mass);
  EXPECT_EQ(Values(sim.PeakFlowDepth()->_values), Values(peak));

  // Half the file: nothing of it reaches the simulation.
  std::string whole = RunProcess("gzip -dc " + (s.run + "/at_0000005.0000.TimeStep"));
  AK_STREAM cut((s.run + "/at_0000007.0000.TimeStep").c_str(), "wb");
  cut.PutRaw(whole.data(), int64_t(whole.size() / 2));
  ASSERT_EQ(AK_StreamClose(cut), 0);
  sim.Set("LoadTimeStep", "at_0000007.0000");
  EXPECT_STREQ(AK_ErrorText, "project/Avalanche1 cannot load timestep data");
  EXPECT_STREQ(sim.CurrentTimeStep, "at_0000005.0000");
  EXPECT_EQ(sim.CurrentTime, 5);
  EXPECT_EQ(sim.Particles()->Count(), 7);
  EXPECT_EQ(Values(sim.PeakFlowDepth()->_values), Values(peak));

  // Stepping goes through the simulation's own loads; "all" deletes every file.
  sim.Set("LoadNextTimeStep", "");
  EXPECT_STREQ(sim.CurrentTimeStep, "at_0000005.0000");  // the damaged 7 s file did not load
  sim.Set("DeleteTimesteps", "all");
  EXPECT_EQ(AK_ListDirectory(s.run.c_str(), "TimeStep").Count(), 0);
}

// What a background start refuses, and the interrupt; a start itself runs the program, which
// the end-to-end tests do.
TEST(SimulationTimeSteps, BackgroundStartNeedsSomethingToReleaseAndNoRunningRun)
{
  MessageCapture messages;
  SimulationWithParticles s;
  SW_Simulation& sim = *s.sim;
  sim.Set("Interrupt", "");
  EXPECT_EQ(ReadFile(s.run + "/.simulation_status"), "interrupted\n");
  SW_WriteStatusFile(sim.ProjectDir(), "running");
  const std::string noRelease = "INFO: no release areas defined! Simulation will not be started!";
  for (const char* strength : {"", "0", "-1", "5"}) {
    messages.Clear();
    AK_ErrorText = "";
    if (*strength) sim.Set("$source_strength", strength);
    sim.Set("RunInBackground", "");
    EXPECT_EQ(messages.Contains(noRelease), std::string(strength) != "5") << strength;
    EXPECT_EQ(std::string(AK_ErrorText).find("running already") != std::string::npos, std::string(strength) == "5");
  }
  EXPECT_FALSE(AK_FileExists((s.run + "/start.macro").c_str()));
  EXPECT_STREQ(SW_ReadStatusFile(sim.ProjectDir()), "running");
}
