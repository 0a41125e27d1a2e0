// The simulation container: creation on the simulation mesh, clones that share areas,
// clean-up, the batch start of the active simulations and the start files of one run.
#include <gtest/gtest.h>

#include "AK_ConformanceTest.h"
#include "AK_Framework.h"
#include "SW_BackgroundStart.h"
#include "SW_Simulation.h"
#include "SW_SimulationStatus.h"
#include "SW_Simulations.h"
#include "SW_Workspace.h"
#include "TestMeshes.h"
#include "TestSupport.h"

namespace {

std::string started;
int RecordStart(AK_BatchFile& batch, const AK_StartedHook&) { return started = batch.Path().c_str(), 0; }
bool ErrorHas(const char* text) { return std::string(AK_ErrorText).find(text) != std::string::npos; }

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
  sims.Set("StartActive", "");
  EXPECT_STREQ(AK_ErrorText, "project must be saved first");
  EXPECT_TRUE(messages.Contains("INFO: please save project first!"));
  project.SetProjectDirRecursive(dir.Path().c_str());
  sims.Set("StartActive", "");
  EXPECT_STREQ(AK_ErrorText, "start not possible because the following simulations are not ready to run:\nBare\n");
  EXPECT_FALSE(AK_FileExists((dir / "Simulations/batch.bat").c_str()));
  EXPECT_EQ(sims.Set("CloneSimulation", "Nobody"), 1);
  EXPECT_TRUE(ErrorHas("no simulation 'Nobody'"));

  sims.Set("Bare:Active", "0");
  for (const char* mesh : {"a_simulation", "b_simulation"}) {
    project.Set("DHMs:CreateMesh", mesh);
    auto* made = static_cast<SW_Mesh*>(project.FindObject((std::string("DHMs/") + mesh).c_str()));
    meshtest::MakeCartesian(made->Core(), 3, 2, 10, 0, 0, [](double x, double) { return -x; });
  }
  for (const char* id : {"One", "Two"}) sims.Set("CreateSimulation", id);
  EXPECT_STREQ(sims.Get("One:Mesh"), "../../DHMs/b_simulation");
  sims.Set("One:InteractionTypeWithFluidAbove", "particles suspension");
  for (const char* id : {"One", "Two"}) sims.GetComponent(id)->SetVariable("$source_strength", "1");
  EXPECT_EQ(0, AK_MakeDirectory((dir / "Simulations").c_str()));
  // A coupled run needs the mesh of the flow above.
  for (const char* above : {"", "../../DHMs/c_simulation"}) {
    sims.Set("One:PsaMesh", above);
    sims.Set("StartActive", "");
    EXPECT_STREQ(AK_ErrorText, "start not possible because the following simulations are not ready to run:\nOne\n") << above;
    EXPECT_FALSE(AK_FileExists((dir / "Simulations/batch.bat").c_str()));
  }
  sims.Set("One:PsaMesh", "../../DHMs/a_simulation");
  sims.Set("StartActive", "");
  EXPECT_STREQ(AK_ErrorText, "");
  EXPECT_EQ(started, dir / "Simulations/batch.bat");
  auto line = [&](const char* id) {
    return std::string(SW_BackgroundStartLine({(dir / "Simulations/" + id).c_str(), "", "", id, false})) + "\n";
  };
  EXPECT_EQ(ReadFile(started), line("One") + "sleep 600\n" + line("Two"));
  // Runs that are gone do not keep the batch from starting: a status with a dead lock, and
  // one with no lock at all; a live run does.
  std::remove(started.c_str());
  dir.Write("Simulations/One/.simulation_status", "running\n");
  dir.Write("Simulations/One/.simulation_lock", "1073741000\n");
  dir.Write("Simulations/Two/.simulation_status", "started\n");
  messages.Clear();
  sims.Set("StartActive", "");
  EXPECT_STREQ(AK_ErrorText, "");
  EXPECT_EQ(messages.WithPrefix("WARNING"),
            (std::vector<std::string>{
                "WARNING: Project/Simulations/One: the run lock of process 1073741000, which is gone, is taken over",
                "WARNING: Project/Simulations/Two: the status \"started\" of a run that is gone is disregarded"}));
  EXPECT_EQ(ReadFile(started), line("One") + "sleep 600\n" + line("Two"));
  // A simulation that its own start checks refuse has no line: the answer says why, and it ends
  // as a run refused in a process of its own does, "finished" with "not run: <reason>", over
  // the status and info of the start before; its run lock goes.
  std::remove(started.c_str());
  sims.Set("Two:DeltaOut", "0.01");
  sims.Set("StartActive", "");
  const std::string reason = "output interval DeltaOut 0.01 is shorter than the time step DeltaT 0.1";
  EXPECT_EQ(std::string(AK_ErrorText), "Project/Simulations/Two: not run: " + reason);
  EXPECT_EQ(ReadFile(started), line("One") + "sleep 600\n");
  EXPECT_EQ(ReadFile(dir / "Simulations/Two/.simulation_status"), "finished\n");
  EXPECT_EQ(ReadFile(dir / "Simulations/Two/.simulation_info"), "not run: " + reason + "\n");
  EXPECT_FALSE(AK_FileExists((dir / "Simulations/Two/.simulation_lock").c_str()));
  sims.Set("Two:DeltaOut", "1");
  dir.Write("Simulations/Two/.simulation_status", "running\n");
  dir.Write("Simulations/Two/.simulation_lock", "1\n");
  std::remove(started.c_str());
  sims.Set("StartActive", "");
  EXPECT_STREQ(AK_ErrorText, "start not possible because the following simulations are not ready to run:\nTwo\n");
  EXPECT_FALSE(AK_FileExists(started.c_str()));
  std::remove((dir / "Simulations/Two/.simulation_lock").c_str());

  for (auto [bad, text] : {std::pair{"x/Project/Sims/S", "invalid simulation path 'x/Project/Sims/S' does not contain 'Simulations'"},
                           {"x\\Projects\\Simulations\\S", "invalid simulation path 'x\\Projects\\Simulations\\S' does not contain 'Project'"},
                           {"Simulations/S", "invalid simulation path 'Simulations/S' does not contain 'Project'"},
                           {"/Project/Simulations/a\"b", "the character '\"'"}}) {
    sims.Set("WriteStartMacroAndBat", bad);
    EXPECT_TRUE(ErrorHas(text)) << AK_ErrorText;
  }
  // The macro path of a refused creation is quoted: directories here often hold blanks.
  const std::string absent = dir.Path() + "/No Project/Project/Simulations/S";
  sims.Set("WriteStartMacroAndBat", absent.c_str());
  EXPECT_EQ(std::string(AK_ErrorText), "cannot create start macro file '" + absent + "/start.macro'");
  EXPECT_FALSE(AK_FileExists((absent + "/start.bat").c_str()));
  for (const char* sub : {"Project", "Project/Simulations", "Project/Simulations/Sim 1"}) EXPECT_EQ(0, AK_MakeDirectory((dir / sub).c_str()));
  sims.Set("WriteStartMacroAndBat", (dir.Path() + "\\Project\\Simulations\\Sim 1").c_str());
  EXPECT_STREQ(AK_ErrorText, "");
  EXPECT_EQ(ReadFile(dir / "Project/Simulations/Sim 1/start.macro"),
            "set(\"\", \"ProjectDir\", \"" + dir.Path() + "\")\n"
            "set(\"Project/Simulations\", \"CreateSimulation\", \"Sim 1\")\n"
            "set(\"Project/Simulations/Sim 1\", \"DeactivateLoadingPsaResults\", \"\")\n"
            "set(\"Project/Simulations/Sim 1\", \"LoadProject\", \"\")\n"
            "set(\"Project/Simulations/Sim 1\", \"Run\", \"\")\n");
  EXPECT_NE(ReadFile(dir / "Project/Simulations/Sim 1/start.bat").find("Sim 1/start.log'\n"), std::string::npos);
  // A start of that simulation whose process may not have read its macro yet keeps its files.
  dir.Write("Project/Simulations/Sim 1/start.macro", "set(\"\", \"ProjectDir\", \"elsewhere\")\n");
  dir.Write("Project/Simulations/Sim 1/.simulation_lock", "1\n");  // a live process
  sims.Set("WriteStartMacroAndBat", (dir.Path() + "/Project/Simulations/Sim 1").c_str());
  EXPECT_EQ(std::string(AK_ErrorText), "start files of '" + dir.Path() +
                                           "/Project/Simulations/Sim 1' not written: a run of this simulation is going on in process 1");
  EXPECT_EQ(ReadFile(dir / "Project/Simulations/Sim 1/start.macro"), "set(\"\", \"ProjectDir\", \"elsewhere\")\n");
}

// A batch start hands the simulation's "$" variables to its process: "start.macro" sets each
// one after loading the project and before "Run", and played in a fresh tree gives back every
// value as it was, whatever characters it holds.
TEST(Simulations, StartMacrosCarryTheSimulationsVariables)
{
  ScratchDir dir;
  MessageCapture messages;
  SW_Simulations::StartBatchFile = RecordStart;
  const std::vector<std::pair<std::string, std::string>> values = {
      {"$source_strength", "1"},
      {"$autosave", "0"},
      {"$quoted", "say \"hi\", then (go)"},
      {"$backslashes", "C:\\dir\\ \\\\ end\\"},
      {"$separators", "a%AK_SEP%$b=2%AK_SEP%"},
      {"$escapes", "%%q %%n %%t \\% \\$ %"},
      {"$name", "$source_strength"},
      {"$named", "$source_strength  "},
      {"$lines", "one\ntwo\tthree\r four"},
      {"$blanks", "  "},
      {"$empty", ""},
  };
  auto tree = [](SW_Workspace& project) -> AK_Object& {
    project.Set("DHMs:CreateMesh", "a_simulation");
    auto* mesh = static_cast<SW_Mesh*>(project.FindObject("DHMs/a_simulation"));
    meshtest::MakeCartesian(mesh->Core(), 3, 2, 10, 0, 0, [](double x, double) { return -x; });
    project.Set("Simulations:CreateSimulation", "One");
    return *project.FindObject("Simulations/One");
  };
  SW_Workspace project("Project", nullptr);
  AK_Object& one = tree(project);
  for (const auto& [name, value] : values) one.SetVariable(name.c_str(), value.c_str());
  // A name that is none would read as an address of an attribute: it is left out.
  one.SetVariable("$no/such:Name", "x");
  project.SetProjectDirRecursive(dir.Path().c_str());
  EXPECT_EQ(0, AK_MakeDirectory((dir / "Simulations").c_str()));
  project.Set("Simulations:StartActive", "");
  ASSERT_STREQ(AK_ErrorText, "");
  std::vector<std::string> lines;
  std::string text = ReadFile(dir / "Simulations/One/start.macro");
  for (size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
    lines.push_back(text.substr(at, end - at));
  ASSERT_EQ(lines.size(), 4 + size_t(one.VariableNames().Size())) << text;
  EXPECT_EQ(lines[3], "set(\"Simulations/One\", \"LoadProject\", \"\")");
  EXPECT_EQ(lines.back(), "set(\"Simulations/One\", \"Run\", \"\")");
  std::string variableLines;
  for (size_t i = 4; i + 1 < lines.size(); ++i) variableLines += lines[i] + "\n";
  SW_Workspace fresh("Project", nullptr);
  AK_Object& other = tree(fresh);
  fresh.ExecMacro(dir.Write("variables.macro", variableLines).c_str(), 0);
  EXPECT_STREQ(AK_ErrorText, "");
  // The start saves the new simulation first, whose save may add variables of its own after it.
  std::string all = one.GetVariableValues().c_str();
  const std::string left = "$no/such:Name=x%AK_SEP%";
  const size_t at = all.find(left);
  ASSERT_NE(at, std::string::npos) << all;
  EXPECT_EQ(std::string(other.GetVariableValues()), all.erase(at, left.size()));
  for (const auto& [name, value] : values) EXPECT_EQ(std::string(other.GetVariable(name.c_str())), value) << name;
}

// Once its batch has started, every queued simulation reads "started", whatever an earlier run
// left, until the run loop takes over; a batch that did not start leaves the files as they were.
TEST(Simulations, QueuedSimulationsReadStartedOnceTheirBatchStarts)
{
  ScratchDir dir;
  MessageCapture messages;
  static int answer = 0;
  SW_Simulations::StartBatchFile = [](AK_BatchFile&, const AK_StartedHook& started) {
    // A live process that is not this one: the runs count as started while it lives.
    return started(1) ? answer : -1;
  };
  SW_Workspace project("Project", nullptr);
  project.Set("DHMs:CreateMesh", "a_simulation");
  auto* mesh = static_cast<SW_Mesh*>(project.FindObject("DHMs/a_simulation"));
  meshtest::MakeCartesian(mesh->Core(), 3, 2, 10, 0, 0, [](double x, double) { return -x; });
  project.SetProjectDirRecursive(dir.Path().c_str());
  const char* ids[] = {"Ran", "New"};
  for (const char* id : ids) {
    project.Set("Simulations:CreateSimulation", id);
    project.FindObject((std::string("Simulations/") + id).c_str())->SetVariable("$source_strength", "1");
    project.FindObject((std::string("Simulations/") + id).c_str())->SetVariable("$autosave", "0");
  }
  dir.Write("Simulations/Ran/.simulation_status", "finished\n");
  dir.Write("Simulations/Ran/.simulation_info", "at time 100 s, run time h:m:s 0:1:2\n");
  for (int failing : {1, 0}) {
    answer = failing ? -1 : 0;
    project.Set("Simulations:StartActive", "");
    EXPECT_STREQ(AK_ErrorText, failing ? "starting batch command failed" : "") << failing;
    AK_Object* ran = project.FindObject("Simulations/Ran");
    AK_Object* fresh = project.FindObject("Simulations/New");
    EXPECT_STREQ(ran->Get("Status"), failing ? "finished" : "started");
    EXPECT_STREQ(ran->Get("StatusInfo"), failing ? "at time 100 s, run time h:m:s 0:1:2\n" : "started\n");
    EXPECT_STREQ(fresh->Get("Status"), failing ? "unknown" : "started");
    EXPECT_STREQ(fresh->Get("StatusInfo"), failing ? "" : "started\n");
  }
}

// Clean-up follows each simulation's own setting, looks again at the place of a deleted one,
// and never touches a simulation whose run is going on (while one left by a run that is gone,
// with no live process holding its lock, goes), nor one whose deletion is refused (a live
// process holds its run lock, whatever its status says), which stays and is passed; a clone is
// named after its source, whatever path found it, and links the source's areas.
TEST(Simulations, CleanupAndClone)
{
  ScratchDir dir;
  SW_Workspace project("Project", nullptr);
  auto& sims = *static_cast<SW_Simulations*>(project.GetComponent("Simulations"));
  int i = 0;
  for (const char* behavior : {"remove all time steps", "delete entirely", "keep all time steps", "delete entirely",
                               "delete entirely"}) {
    sims.Set("CreateSimulation", ("S" + std::to_string(i)).c_str());
    sims.Component(i++)->Set("CleanupBehavior", behavior);
  }
  project.SetProjectDirRecursive(dir.Path().c_str());
  dir.Write("Simulations/S0/.simulation_status", "started 12\n");
  dir.Write("Simulations/S0/.simulation_lock", "1\n");  // a live process
  dir.Write("Simulations/S0/at_0000001.0000.TimeStep", "");
  dir.Write("Simulations/S1/kept", "");
  dir.Write("Simulations/S3/.simulation_status", "finished\n");
  dir.Write("Simulations/S3/.simulation_lock", "1\n");
  dir.Write("Simulations/S4/.simulation_status", "running\n");
  dir.Write("Simulations/S4/.simulation_lock", "1073741000\n");  // a process that is gone
  sims.Set("Cleanup", "");
  EXPECT_EQ(std::string(sims.GetComponentIdList()), "S0%AK_SEP%S2%AK_SEP%S3%AK_SEP%");
  EXPECT_TRUE(AK_FileExists((dir / "Simulations/S3/.simulation_status").c_str()));
  EXPECT_TRUE(AK_FileExists((dir / "Simulations/S0/at_0000001.0000.TimeStep").c_str()));
  EXPECT_FALSE(AK_FileExists((dir / "Simulations/S4").c_str()));
  EXPECT_TRUE(ErrorHas("S0: its run is going on")) << AK_ErrorText;
  EXPECT_FALSE(AK_FileExists((dir / "Simulations/S1").c_str()));

  project.Set("ReleaseAreas:LoadRelFile", dir.Write("r.rel", "1 200 1\n3 0 0 1 0 1 1\n\n1 200 1\n3 0 0 2 0 2 2\n").c_str());
  AK_Object* releases = project.GetComponent("ReleaseAreas");
  ASSERT_EQ(releases->ComponentCount(), 2);
  AK_Object* source = sims.GetComponent("S2");
  for (i = 0; i < 2; ++i) source->GetComponent("ReleaseAreas")->AddLink(releases->Component(i));
  source->Set("Density", "321");
  sims.Set("CloneSimulation", "../Simulations/S2");
  AK_Object* clone = sims.Component(sims.ComponentCount() - 1);
  EXPECT_STREQ(clone->Id(), "S2_cloned");
  EXPECT_STREQ(clone->Get("Density"), "321");
  AK_Object* group = clone->GetComponent("ReleaseAreas");
  ASSERT_EQ(group->ComponentCount(), 2);
  for (i = 0; i < 2; ++i) EXPECT_TRUE(group->Component(i) == releases->Component(i) && group->IsLink(i));
}

// The active simulations step and animate together, in component order; the error of one
// (a simulation without time steps) does not stop the others, and the first error stays.
TEST(Simulations, ActiveSimulationsStepAndAnimateTogether)
{
  ScratchDir dir;
  MessageCapture messages;
  SW_Workspace project("Project", nullptr);
  auto& sims = *static_cast<SW_Simulations*>(project.GetComponent("Simulations"));
  project.Set("DHMs:CreateMesh", "valley_simulation");
  auto* mesh = static_cast<SW_Mesh*>(project.FindObject("DHMs/valley_simulation"));
  meshtest::MakeCartesian(mesh->Core(), 3, 2, 10, 0, 0, [](double x, double) { return -x; });
  for (const char* id : {"Empty", "One", "Off", "Two"}) sims.Set("CreateSimulation", id);
  project.SetProjectDirRecursive(dir.Path().c_str());
  sims.Set("Off:Active", "0");
  EXPECT_EQ(0, AK_MakeDirectory(sims.ProjectDir()));
  for (const char* id : {"One", "Off", "Two"}) {
    auto* sim = static_cast<SW_Simulation*>(sims.GetComponent(id));
    EXPECT_EQ(0, AK_MakeDirectory(sim->ProjectDir()));
    for (double t : {0, 5, 10}) {
      sim->CurrentTime = t;
      sim->Set("SaveTimeStep", "");
    }
    sim->CurrentTime = 0;
  }
  auto times = [&] { return std::string(sims.Get("One:CurrentTime") + " " + sims.Get("Off:CurrentTime") + " " + sims.Get("Two:CurrentTime")); };
  struct Row { const char* command; const char* times; const char* error; } rows[] = {
      {"NextTimeStepActive", "5 0 5", "accessing invalid time step"},
      {"NextTimeStepActive", "10 0 10", "accessing invalid time step"},
      {"PrevTimeStepActive", "5 0 5", "accessing invalid time step"},
      {"AnimateActive", "10 0 10", ""},  // from 5 s: the frame of 10 s; nothing to show for Empty
      {"AnimateActive", "10 0 10", ""},  // from the last: every frame again
  };
  for (const Row& r : rows) {
    EXPECT_EQ(sims.Set(r.command, ""), 1);
    EXPECT_STREQ(AK_ErrorText, r.error) << r.command;  // before a question clears it
    EXPECT_EQ(times(), r.times) << r.command;
  }
}
