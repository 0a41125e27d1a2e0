// SW_Simulation: runs in a second process of the program, and the interrupt of a run.
#include <cstdlib>

#include "AK_FrameworkState.h"
#include "AK_Group.h"
#include "SW_Simulation.h"
#include "SW_SimulationStatus.h"

namespace {

// Something to release: a release area, a release depth raster, or a source of positive
// strength.
bool HasRelease(SW_Simulation& sim)
{
  auto* areas = dynamic_cast<AK_Group*>(sim.GetComponent("ReleaseAreas"));
  if (areas && !areas->GetContainedObjectsList().IsEmpty()) return true;
  if (!sim.ReleaseDHM.IsEmpty() && sim.ReleaseDHM != "none") return true;
  AK_String strength = sim.Get("$source_strength");
  return !strength.IsEmpty() && AK_Atof(strength) > 0;
}

void LaunchRun(SW_Simulation& sim, bool continuing, std::FILE* batch = nullptr)
{
  if (!HasRelease(sim)) {
    AK_MESSAGE(AK_Text("INFO: no release areas defined! Simulation will not be started!",
                       "INFO: keine Anbruchgebiete definiert! Simulation wird nicht gestartet!"));
    return;
  }
  if (*sim.RunVis() != 'w') {
    AK_ErrorText = sim.GetAbsolutePath() +
                   ": the simulation has no mesh, is running already or cannot find the mesh of "
                   "the flow above";
    return;
  }
  AK_Object* top = sim.GetRoot();
  if (sim.Get("$autosave") != "0") {
    // The second process loads the project from disk: after a failed save it would run on
    // what an older save left there.
    AK_ErrorText = "";
    top->SaveProject();
    if (!AK_ErrorText.IsEmpty()) {
      AK_ErrorText = sim.GetAbsolutePath() + ": not started, the project could not be saved: " + AK_ErrorText;
      return;
    }
  }
  SW_BackgroundRun run;
  run.runDirectory = SW_RunDirectory(sim.ProjectDir());
  run.projectDir = top->ProjectDir();
  run.parentPath = sim.Parent() && sim.Parent() != top ? sim.Parent()->GetAbsolutePath(top) : AK_String();
  run.simulationId = sim.Id();
  run.continuing = continuing;
  SW_StartBackgroundRun(run, batch);
}

}  // namespace

AK_String SW_Simulation::RunStatus() { return SW_ReadStatusFile(ProjectDir()); }

bool SW_Simulation::RunUnderWay()
{
  AK_String status = RunStatus();
  return status == "running" || status == "started";
}

const char* SW_Simulation::RunVis()
{
  if (!Mesh() || RunUnderWay()) return "r";
  if (InteractionTypeWithFluidAbove == "none") return "w";
  return !PsaMesh.IsEmpty() && FindObject(PsaMesh) ? "w" : "r";
}

// A continued coupling with a flow above needs a restart state of that flow at the current
// time, which this program never writes: only an uncoupled run continues.
const char* SW_Simulation::ContinueVis()
{
  return *RunVis() == 'w' && InteractionTypeWithFluidAbove == "none" ? "w" : "r";
}

const char* SW_Simulation::InterruptVis() { return RunStatus() == "running" ? "w" : "r"; }

void SW_Simulation::RunInBackground(const char*) { LaunchRun(*this, false); }
void SW_Simulation::RunInBackground(std::FILE* batch) { LaunchRun(*this, false, batch); }
void SW_Simulation::ContinueInBackground(const char*) { LaunchRun(*this, true); }

void SW_Simulation::Interrupt(const char*)
{
  SW_WriteStatusFile(ProjectDir(), "interrupted");
}
