// SW_Simulation: the commands of the run, the time steps, the animation and the evaluations.
// Each command has one function here; the run, the time-step files and the animation fill
// them in as they are built; the time-step files are in SW_Simulation_TimeSteps.cpp.
#include "SW_Simulation.h"

#include <cstring>

#include "SW_Animation.h"
#include "SW_Deposition.h"

void SW_Simulation::AnimateTimeSteps(const char*) { NotAvailableYet(); }
namespace {
// The project's container of key views; answered by the project's own objects and scripts.
constexpr const char* kViewContainer = "/KeyViewSequences/Views";
}  // namespace

void SW_Simulation::SetAssignedViews(const char* value)
{
  SetVariable("$assigned_views", value ? value : "");
  const SW_AssignedViews assigned = SW_ReadAssignedViews(value);
  AK_Object* views = FindObject(kViewContainer);
  if (!views) return;
  const AK_String present = views->GetComponentIdList();
  for (int32_t i = 0; i < assigned.views.Count(); ++i)
    if (!std::strstr(present, assigned.views[i])) views->Set("LoadComponent", assigned.views[i]);
}

void SW_Simulation::SetAssignedAnimationView(const char* value)
{
  SW_AssignedViews assigned = SW_ReadAssignedViews(GetVariable("$assigned_views"));
  const AK_String wanted = value ? value : "";
  if (wanted == "none") {
    SW_RemoveViewsAt(assigned, CurrentTime);
    SetVariable("$assigned_views", SW_WriteAssignedViews(assigned));
    return;
  }
  AK_Object* views = FindObject(kViewContainer);
  if (!views) {
    AK_ErrorText = AK_String("no view container ") + kViewContainer;
    return;
  }
  AK_String name = wanted;
  if (wanted == "current") {
    name = SW_CurrentViewName(Id(), CurrentTime);
    views->Set("DeleteObject", name);
    views->Set("Create", name);
  }
  SW_AssignView(assigned, CurrentTime, name);
  views->Set("Apply", name);
  SetVariable("$assigned_views", SW_WriteAssignedViews(assigned));
}

void SW_Simulation::ClearAnimationViews(const char*) { SetVariable("$assigned_views", ""); }
void SW_Simulation::AnimateWithAssignedViews(const char*) { NotAvailableYet(); }
void SW_Simulation::ShowShallowWaterLogFile(const char*) { SW_ShowLogFile(ProjectDir()); }

void SW_Simulation::EvaluateDepositionWith(const char* path)
{
  SW_ScalarField* depth = FlowDepth();
  SW_EvaluateDeposition(*this, path, Mesh(), depth ? &depth->_values : nullptr);
}
