// The simulation container: creation on the simulation mesh, clones that share areas,
// clean-up, the batch start of the active simulations and the start files of one run.
#include <gtest/gtest.h>

#include <string>

#include "AK_ConformanceTest.h"
#include "AK_Framework.h"
#include "SW_Simulation.h"
#include "SW_Simulations.h"
#include "SW_Workspace.h"
#include "TestSupport.h"

namespace {

std::string started;
int RecordStart(const char* path) { started = path; return 0; }

}  // namespace

// Error paths leave their texts and write nothing; two active simulations, the first coupled
// with particles in suspension, give a batch of three lines; a run's start files.
TEST(Simulations, StartActiveAndStartFiles)
{
  AK_RunConformanceTest("SW_Simulations");
  ScratchDir dir;
  MessageCapture messages;
  SW_Simulations::StartBatchFile = RecordStart;
  SW_Workspace project("Project", nullptr);
  auto& sims = *static_cast<SW_Simulations*>(project.GetComponent("Simulations"));
  sims.Set("CreateSimulation", "Bare");
  EXPECT_STREQ(sims.Get("Bare:Mesh"), "");
  sims.Set("StartActive", "");
  EXPECT_STREQ(AK_ErrorText, "project must be saved first");
  EXPECT_TRUE(messages.Contains("INFO: please save project first!"));
  project.SetProjectDirRecursive(dir.Path().c_str());
  sims.Set("StartActive", "");
  EXPECT_STREQ(AK_ErrorText, "start not possible because the following simulations are not ready to run:\nBare\n");
  EXPECT_FALSE(AK_FileExists((dir / "Simulations/batch.bat").c_str()));
  EXPECT_EQ(sims.Set("CloneSimulation", "Nobody"), 1);
  EXPECT_NE(std::string(AK_ErrorText).find("no simulation 'Nobody'"), std::string::npos);

  sims.Set("Bare:Active", "0");
  project.Set("DHMs:CreateMesh", "a_simulation");
  project.Set("DHMs:CreateMesh", "b_simulation");
  sims.Set("CreateSimulation", "One");
  sims.Set("CreateSimulation", "Two");
  EXPECT_STREQ(sims.Get("One:Mesh"), "../../DHMs/b_simulation");
  sims.Set("One:InteractionTypeWithFluidAbove", "particles suspension");
  for (const char* sub : {"Simulations", "Simulations/One", "Simulations/Two"}) AK_MakeDirectory((dir / sub).c_str());
  sims.Set("StartActive", "");
  EXPECT_STREQ(AK_ErrorText, "");
  EXPECT_EQ(started, dir / "Simulations/batch.bat");
  std::string batch = ReadFile(started), head = AK_ShellQuote(AK_ProgramPath()).c_str();
  ASSERT_EQ(std::count(batch.begin(), batch.end(), '\n'), 3) << batch;
  EXPECT_EQ(batch.rfind(head, 0), 0u);
  EXPECT_NE(batch.find("One/start.macro' > '"), std::string::npos);
  EXPECT_NE(batch.find("\nsleep 600\n" + head), std::string::npos);
  EXPECT_NE(batch.find("Two/start.log'\n", batch.find("sleep")), std::string::npos);

  std::string run = dir.Path() + "\\Project\\Simulations\\Sim 1";
  for (auto [bad, text] : {std::pair{"x/Project/Sims/S", "invalid simulation path 'x/Project/Sims/S' does not contain 'Simulations'"},
                           {"x\\Projects\\Simulations\\S", "invalid simulation path 'x\\Projects\\Simulations\\S' does not contain 'Project'"},
                           {"Simulations/S", "invalid simulation path 'Simulations/S' does not contain 'Project'"}}) {
    sims.Set("WriteStartMacroAndBat", bad);
    EXPECT_STREQ(AK_ErrorText, text);
  }
  for (const char* sub : {"Project", "Project/Simulations", "Project/Simulations/a\"b", "Project/Simulations/Sim 1"})
    AK_MakeDirectory((dir / sub).c_str());
  sims.Set("WriteStartMacroAndBat", (dir / "Project/Simulations/a\"b").c_str());
  EXPECT_NE(std::string(AK_ErrorText).find("double quote"), std::string::npos);
  EXPECT_FALSE(AK_FileExists((dir / "Project/Simulations/a\"b/start.bat").c_str()));
  sims.Set("WriteStartMacroAndBat", run.c_str());
  EXPECT_STREQ(AK_ErrorText, "");
  EXPECT_EQ(ReadFile(dir / "Project/Simulations/Sim 1/start.macro"),
            "set(\"\", \"ProjectDir\", \"" + dir.Path() + "\")\n"
            "set(\"Project/Simulations\", \"CreateSimulation\", \"Sim 1\")\n"
            "set(\"Project/Simulations/Sim 1\", \"DeactivateLoadingPsaResults\", \"\")\n"
            "set(\"Project/Simulations/Sim 1\", \"LoadProject\", \"\")\n"
            "set(\"Project/Simulations/Sim 1\", \"Run\", \"\")\n");
  EXPECT_NE(ReadFile(dir / "Project/Simulations/Sim 1/start.bat").find("Sim 1/start.log'\n"), std::string::npos);
}

// Clean-up follows each simulation's own setting, looks again at the place of a deleted one,
// and never touches a simulation whose run is going on; a clone is named after its source
// and links the source's areas.
TEST(Simulations, CleanupAndClone)
{
  ScratchDir dir;
  SW_Workspace project("Project", nullptr);
  auto& sims = *static_cast<SW_Simulations*>(project.GetComponent("Simulations"));
  const char* behaviors[] = {"delete entirely", "keep all time steps", "delete entirely", "delete entirely",
                             "remove all time steps"};
  for (int i = 0; i < 5; ++i) {
    std::string id = "S" + std::to_string(i);
    sims.Set("CreateSimulation", id.c_str());
    sims.Set((id + ":CleanupBehavior").c_str(), behaviors[i]);
  }
  project.SetProjectDirRecursive(dir.Path().c_str());
  dir.Write("Simulations/S0/kept", "");
  dir.Write("Simulations/S3/.simulation_status", "running\n");
  dir.Write("Simulations/S4/.simulation_status", "started 12\n");
  sims.Set("Cleanup", "");
  EXPECT_EQ(std::string(sims.GetComponentIdList()), "S1%AK_SEP%S3%AK_SEP%S4%AK_SEP%");
  EXPECT_NE(std::string(AK_ErrorText).find("S3: its run is going on"), std::string::npos);
  EXPECT_FALSE(AK_FileExists((dir / "Simulations/S0").c_str()));

  project.Set("ReleaseAreas:LoadRelFile", dir.Write("r.rel", "1 200 1\n3 0 0 1 0 1 1\n\n1 200 1\n3 0 0 2 0 2 2\n").c_str());
  AK_Object* releases = project.GetComponent("ReleaseAreas");
  ASSERT_TRUE(releases && releases->ComponentCount() == 2);
  auto* source = static_cast<SW_Simulation*>(sims.GetComponent("S1"));
  for (int i = 0; i < 2; ++i) source->GetComponent("ReleaseAreas")->AddLink(releases->Component(i));
  source->Set("Density", "321");
  sims.Set("CloneSimulation", "../Simulations/S1");
  AK_Object* clone = sims.Component(sims.ComponentCount() - 1);
  EXPECT_STREQ(clone->Id(), "S1_cloned");
  EXPECT_STREQ(clone->Get("Density"), "321");
  AK_Object* group = clone->GetComponent("ReleaseAreas");
  ASSERT_EQ(group->ComponentCount(), 2);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(group->Component(i), releases->Component(i));
    EXPECT_TRUE(group->IsLink(i));
  }
  EXPECT_EQ(releases->ComponentCount(), 2);
}
