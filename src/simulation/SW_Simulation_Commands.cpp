// SW_Simulation: the commands of the animation and of the evaluations (the log display and
// the deposition), one function each.
//
// The animation asks the top object of the tree to draw ("Draw") and to write an image of the
// drawing ("WriteImageFile", "ActualImageFileName", "ImageFileNameEvaluator"), and the view
// container of the project to show key views; both are answered by the project's own objects
// and scripts.
#include "SW_Simulation.h"

#include <functional>

#include "SW_Animation.h"
#include "SW_Deposition.h"
#include "SW_TimeStepFile.h"
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

// What an animation showed: the images written, each name followed by "%AK_SEP%", and the
// time-step files that did not load.
struct PlayedFrames {
  AK_String files;
  AK_Array<AK_String> unloaded;
  bool interrupted = false;
};

// Loads one frame; false when the file did not load, and then the simulation shows what it
// showed before. The name is cleared first so that a frame of the step already shown tells
// a load from a failure.
bool LoadFrame(SW_Simulation& sim, const SW_TimeStepList& list, int32_t frame)
{
  const char* name = list.names[frame];
  const AK_String shown = sim.CurrentTimeStep;
  sim.CurrentTimeStep = "";
  sim.LoadTimeStep(name);
  if (sim.IsDead() || sim.CurrentTimeStep == name) return true;
  sim.CurrentTimeStep = shown;
  return false;
}

// The name of the image the top object has just written; empty, with one warning per
// animation, when it writes none or does not say which.
AK_String WriteImage(AK_Object& top, bool& warned)
{
  const int written = top.Set("WriteImageFile", "");
  const AK_String name = written ? top.Get("ActualImageFileName") : AK_String();
  if (!name.IsEmpty() && name != AK_NULL) return name;
  if (!warned)
    AK_MESSAGE(AK_String("WARNING:") + top.Id() + " writes no image files: the animation lists none");
  warned = true;
  return AK_String();
}

// Loads the frames of an animation one after the other; after each load `beforeDraw` runs,
// the top object draws and, when asked, writes an image of the drawing. An interrupt ends the
// animation before the next frame; a frame that does not load is passed over.
PlayedFrames PlayFrames(SW_Simulation& sim, const std::function<void()>& beforeDraw)
{
  AK_OperationScope scope;
  const SW_TimeStepList list = SW_ListTimeSteps(sim.ProjectDir(), sim.CurrentTime);
  const std::vector<int32_t> frames =
      SW_AnimationFrames(list.names.Count(), list.current, sim.AnimationStepIncrement);
  AK_Object* top = sim.GetRoot();
  if (sim.AnimationWriteImageFiles && top->Get("ImageFileNameEvaluator") != "numbered")
    top->Set("ImageFileNameEvaluator", "numbered");
  PlayedFrames played;
  bool warned = false;
  for (int32_t frame : frames) {
    if (sim.IsDead()) break;
    if (AK_PollInterrupt()) {
      played.interrupted = true;
      break;
    }
    if (!LoadFrame(sim, list, frame)) {
      played.unloaded.Append(SW_TimeStepPath(sim.ProjectDir(), list.names[frame]));
      continue;
    }
    if (beforeDraw) beforeDraw();
    top->Set("Draw", "");
    if (sim.AnimationWriteImageFiles) {
      const AK_String image = WriteImage(*top, warned);
      if (!image.IsEmpty()) played.files += image + "%AK_SEP%";
    }
    if (sim.AnimationStepDelay > 0) Pause(sim.AnimationStepDelay);
  }
  return played;
}

// The error text of an animation: an interrupt keeps its own text, which is what ends a
// macro; otherwise the files that did not load, or nothing.
void ReportPlayed(const PlayedFrames& played)
{
  if (played.interrupted) {
    AK_ErrorText = "interrupted";
    return;
  }
  AK_String text;
  for (const AK_String& file : played.unloaded) text += (text.IsEmpty() ? "cannot load time steps: " : ", ") + file;
  AK_ErrorText = text;
}

}  // namespace

void SW_Simulation::AnimateTimeSteps(const char*)
{
  AK_OperationScope scope;
  const PlayedFrames played = PlayFrames(*this, nullptr);
  if (IsDead()) return;
  SetVariable("$animationFiles", played.files);
  ReportPlayed(played);
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
  const PlayedFrames played = PlayFrames(*this, [&] {
    if (views->IsDead()) return;
    int32_t first = 0, second = 0;
    double fraction = 0;
    SW_KeyViewsAt(assigned, CurrentTime, first, second, fraction);
    views->Set("KeyView1", assigned.views[first]);
    if (!views->IsDead()) views->Set("KeyView2", assigned.views[second]);
    if (!views->IsDead()) views->Set("Interpolate", AK_String::Format("%.15g", fraction));
  });
  if (!IsDead()) ReportPlayed(played);
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
