// SW_Simulation: the commands of the run, the time steps, the animation and the evaluations.
// Each command has one function here; the run, the time-step files and the animation fill
// them in as they are built; the time-step files are in SW_Simulation_TimeSteps.cpp.
//
// The animation asks the top object of the tree to draw ("Draw") and to write an image of the
// drawing ("WriteImageFile", "ActualImageFileName", "ImageFileNameEvaluator"), and the view
// container of the project to show key views; both are answered by the project's own objects
// and scripts.
#include "SW_Simulation.h"

#include <functional>

#include "SW_Animation.h"
#include "SW_Deposition.h"
#include "SW_TimeStepList.h"
#include "ast_sci.h"

namespace {

// The project's container of key views.
constexpr const char* kViewContainer = "/KeyViewSequences/Views";

AK_Object* FindViews(SW_Simulation& sim, bool required)
{
  AK_Object* views = sim.FindObject(kViewContainer);
  if (!views && required) AK_ErrorText = AK_String("no view container ") + kViewContainer;
  return views;
}

// Waits with the interpreter's "sleep", looked up once; no pause while there is none.
void Pause(double seconds)
{
  static ast_sci_prepared_call sleep;
  if (!sleep) {
    ast_sci_namespace_scope global(ast_sci_global_namespace());
    ast_sci_symbol* function = ast_sci_find_function("sleep");
    if (!function) return;
    const ast_sci_type argument{AST_SCI_DOUBLE, false, 0};
    sleep = ast_sci_prepare_call(function, AST_SCI_VOID, &argument, 1);
    if (!sleep) return;
  }
  void* const arguments[] = {&seconds};
  ast_sci_call_prepared(sleep, arguments);
}

// Loads the frames of an animation one after the other; after each load `beforeDraw` runs,
// the top object draws and, when asked, writes an image of the drawing. An interrupt ends the
// animation before the next frame. The names of the images written, each followed by
// "%AK_SEP%".
AK_String PlayFrames(SW_Simulation& sim, const std::function<void()>& beforeDraw)
{
  AK_OperationScope scope;
  const SW_TimeStepList list = SW_ListTimeSteps(sim.ProjectDir(), sim.CurrentTime);
  const std::vector<int32_t> frames =
      SW_AnimationFrames(list.names.Count(), list.current, sim.AnimationStepIncrement);
  AK_Object* top = sim.GetRoot();
  if (sim.AnimationWriteImageFiles && top->Get("ImageFileNameEvaluator") != "numbered")
    top->Set("ImageFileNameEvaluator", "numbered");
  AK_String files;
  for (int32_t frame : frames) {
    if (sim.IsDead() || AK_PollInterrupt()) break;
    sim.LoadTimeStep(list.names[frame]);
    if (beforeDraw) beforeDraw();
    top->Set("Draw", "");
    if (sim.AnimationWriteImageFiles) {
      top->Set("WriteImageFile", "");
      files += top->Get("ActualImageFileName") + "%AK_SEP%";
    }
    if (sim.AnimationStepDelay > 0) Pause(sim.AnimationStepDelay);
  }
  return files;
}

}  // namespace

void SW_Simulation::AnimateTimeSteps(const char*)
{
  AK_OperationScope scope;
  AK_String files = PlayFrames(*this, nullptr);
  if (!IsDead()) SetVariable("$animationFiles", files);
}

void SW_Simulation::AnimateWithAssignedViews(const char*)
{
  AK_OperationScope scope;
  const SW_AssignedViews assigned = SW_ReadAssignedViews(GetVariable("$assigned_views"));
  if (assigned.times.IsEmpty()) {
    AK_ErrorText = "no views are assigned";
    return;
  }
  AK_Object* views = FindViews(*this, true);
  if (!views) return;
  PlayFrames(*this, [&] {
    if (views->IsDead()) return;
    int32_t first = 0, second = 0;
    double fraction = 0;
    SW_KeyViewsAt(assigned, CurrentTime, first, second, fraction);
    views->Set("KeyView1", assigned.views[first]);
    if (!views->IsDead()) views->Set("KeyView2", assigned.views[second]);
    if (!views->IsDead()) views->Set("Interpolate", AK_String::Format("%.15g", fraction));
  });
}

AK_String SW_Simulation::AssignedAnimationView()
{
  const SW_AssignedViews assigned = SW_ReadAssignedViews(GetVariable("$assigned_views"));
  const int32_t i = SW_ViewIndexAt(assigned, CurrentTime);
  return i < 0 ? AK_String("none") : assigned.views[i];
}

AK_String SW_Simulation::AssignedAnimationViewOptions()
{
  AK_String options("current%AK_SEP%none%AK_SEP%");
  if (AK_Object* views = FindViews(*this, false)) options += views->GetComponentIdList();
  return options;
}

void SW_Simulation::SetAssignedViews(const char* value)
{
  SetVariable("$assigned_views", value ? value : "");
  const SW_AssignedViews assigned = SW_ReadAssignedViews(value);
  AK_Object* views = FindViews(*this, false);
  if (!views) return;
  // By whole identifier: a view "start" is missing even when a view "start2" is there.
  for (int32_t i = 0; i < assigned.views.Count() && !views->IsDead(); ++i)
    if (!views->GetComponent(assigned.views[i])) views->Set("LoadComponent", assigned.views[i]);
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
  AK_Object* views = FindViews(*this, true);
  if (!views) return;
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
void SW_Simulation::ShowShallowWaterLogFile(const char*) { SW_ShowLogFile(ProjectDir()); }

void SW_Simulation::EvaluateDepositionWith(const char* path)
{
  SW_ScalarField* depth = FlowDepth();
  SW_EvaluateDeposition(*this, path, Mesh(), depth ? &depth->_values : nullptr);
}
