// Animation frames, the assignment of key views to times, and the animation of a simulation
// over time-step files with what the top object and the view container are told.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <tuple>
#include <vector>

#include "AK_Framework.h"
#include "SW_Animation.h"
#include "SW_Simulation.h"
#include "SW_TimeStepFile.h"
#include "TestMeshes.h"
#include "TestSupport.h"

TEST(Animation, FramePositions)
{
  // The last loaded starts from the start; an increment below 1 becomes 1.
  struct Row { int32_t count, current, increment; std::vector<int32_t> frames; };
  const Row rows[] = {{10, 0, 3, {3, 6, 9}},    {10, 9, 3, {0, 3, 6, 9}}, {10, 2, 3, {3, 6, 9}},
                      {4, 3, 1, {0, 1, 2, 3}},  {4, 1, 0, {2, 3}},        {0, 0, 1, {}},
                      {10, -1, 4, {0, 4, 8}}};
  for (const Row& r : rows) {
    int32_t increment = r.increment;
    EXPECT_EQ(SW_AnimationFrames(r.count, r.current, increment), r.frames) << r.count << " " << r.current;
    EXPECT_EQ(increment, std::max(r.increment, 1));
  }
}

TEST(Animation, AssignedViewsTextAndEdits)
{
  SW_AssignedViews a = SW_ReadAssignedViews("12.5 Avalanche1_12_5, broken,7,0 start,");
  ASSERT_EQ(a.times.Count(), 2);
  EXPECT_EQ(std::string(SW_WriteAssignedViews(a)), "12.5 Avalanche1_12_5,0 start,");
  EXPECT_EQ(std::string(SW_WriteAssignedViews(SW_ReadAssignedViews("nan X,inf Y,-inf Z,1 W,"))), "1 W,");
  a = SW_AssignedViews();
  SW_AssignView(a, 12.5, "Avalanche1_12_5");
  SW_AssignView(a, 0, "start");
  SW_AssignView(a, 30, "end");
  SW_AssignView(a, 12.5 + 1e-12, "renamed");  // the same time: renamed, not added
  EXPECT_EQ(std::string(SW_WriteAssignedViews(a)), "0 start,12.5 renamed,30 end,");
  SW_RemoveViewsAt(a, 5);
  EXPECT_EQ(a.times.Count(), 3);
  SW_RemoveViewsAt(a, 30);
  EXPECT_EQ(std::string(SW_WriteAssignedViews(a)), "0 start,12.5 renamed,");
  EXPECT_EQ(std::string(SW_CurrentViewName("Avalanche1", 12.5)), "Avalanche1_12_5");
  EXPECT_EQ(std::string(SW_CurrentViewName("a-b", 1e-5)), "a_b_1e_05");
}

TEST(Animation, KeyViewsBracketTheFrameTime)
{
  const SW_AssignedViews two = SW_ReadAssignedViews("0 A,20 B,");
  const SW_AssignedViews one = SW_ReadAssignedViews("10 A,");
  struct Row { const SW_AssignedViews* views; double time; int32_t first, second; double fraction; };
  const Row rows[] = {{&two, 5, 0, 1, 0.25}, {&two, 25, 1, 1, 1}, {&two, 0, 0, 0, 0},
                      {&two, 20, 0, 1, 1},   {&one, 50, 0, 0, 0}};
  for (const Row& r : rows) {
    Row got = r;
    SW_KeyViewsAt(*r.views, r.time, got.first, got.second, got.fraction);
    EXPECT_EQ(std::tie(got.first, got.second, got.fraction), std::tie(r.first, r.second, r.fraction)) << r.time;
  }
}


namespace {

// The top of the tree: notes what the animation asks of it and answers as the project's
// drawing scripts would.
struct Stage : AK_Container {
  SW_Simulation* sim = nullptr;
  std::string evaluator = "plain";
  std::vector<std::string> log;
  int images = 0;
  bool writesImages = true;  // a project without image scripts answers none of their names
  Stage() : AK_Container("stage", nullptr) {}
  int Set(const char* name, const char* value) override
  {
    const std::string n = name;
    if (n == "Draw") log.push_back(AK_String::Format("Draw %g", sim->CurrentTime).c_str());
    else if (n == "WriteImageFile" && writesImages) ++images;
    else if (n == "ImageFileNameEvaluator" && writesImages) log.push_back(n + " " + (evaluator = value));
    else return AK_Container::Set(name, value);
    return 1;
  }
  AK_String Get(const char* name) override
  {
    const std::string n = name;
    if (n == "ImageFileNameEvaluator" && writesImages) return evaluator.c_str();
    if (n == "ActualImageFileName" && writesImages) return AK_String::Format("frame%d.png", images);
    return AK_Container::Get(name);
  }
};

// The project's view container: notes what it is told.
struct Views : AK_Container {
  std::vector<std::string> log;
  explicit Views(AK_Object* parent) : AK_Container("Views", parent) {}
  int Set(const char* name, const char* value) override
  {
    for (const char* noted : {"KeyView1", "KeyView2", "Interpolate", "Apply", "Create", "DeleteObject", "LoadComponent"})
      if (std::string(name) == noted) return log.push_back(std::string(name) + " " + value), 1;
    return AK_Container::Set(name, value);
  }
};

// A simulation on a small mesh with one particle and its time steps written at the times.
struct AnimationProject {
  Stage stage;
  ScratchDir dir;
  SW_Simulation* sim;
  Views* views = nullptr;
  explicit AnimationProject(std::initializer_list<double> times)
  {
    auto* mesh = new SW_Mesh("mesh", &stage);
    stage.AddComponent(mesh);
    meshtest::MakeCartesian(mesh->Core(), 3, 2, 10, 0, 0, [](double x, double) { return -x; });
    sim = stage.sim = new SW_Simulation("Avalanche1", &stage);
    stage.AddComponent(sim);
    sim->Set("Mesh", "../mesh");
    stage.SetProjectDirRecursive(dir.Path().c_str());
    EXPECT_EQ(0, AK_MakeDirectory(sim->ProjectDir()));
    sim->Particles()->Add(AK_Vec3(5, 5, 0), 10, AK_Vec3(1, 0, 0), 0, 0, -1);
    for (double t : times) {
      sim->CurrentTime = t;
      sim->Set("SaveTimeStep", "");
    }
  }
  void AddViews(std::initializer_list<const char*> names)
  {
    auto* sequences = new AK_Container("KeyViewSequences", &stage);
    stage.AddComponent(sequences);
    views = new Views(sequences);
    sequences->AddComponent(views);
    for (const char* name : names) views->AddComponent(new AK_Container(name, views));
  }
  // The frames drawn since the last call, by their time.
  std::string Drawn()
  {
    std::string drawn;
    for (const std::string& entry : stage.log)
      if (entry.rfind("Draw ", 0) == 0) drawn += (drawn.empty() ? "" : ",") + entry.substr(5);
    stage.log.clear();
    return drawn;
  }
};

}  // namespace

// The frames follow the loaded time step and the increment; an increment below 1 becomes 1.
TEST(Animation, AnimateTimeStepsDrawsItsFrames)
{
  MessageCapture messages;
  AnimationProject p({0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
  struct Row { double loaded; int32_t increment; const char* drawn; } rows[] = {
      {0, 3, "3,6,9"}, {9, 3, "0,3,6,9"}, {4.5, 4, "0,4,8"}, {8, 1, "9"}, {9, 0, "0,1,2,3,4,5,6,7,8,9"}};
  for (const Row& r : rows) {
    p.sim->CurrentTime = r.loaded;
    p.sim->AnimationStepIncrement = r.increment;
    EXPECT_EQ(p.sim->Set("AnimateTimeSteps", ""), 1);
    EXPECT_EQ(p.Drawn(), r.drawn) << r.loaded;
    EXPECT_STREQ(p.sim->Get("$animationFiles"), "");
  }
  EXPECT_STREQ(p.sim->Get("AnimationStepIncrement"), "1");
}

// Image files: the file names asked for numbered once, each frame's file listed; an interrupt
// ends the animation before the next frame and the list still names what was written; a
// time step that does not load is passed over and named; no time steps, no frames; the
// pause between frames.
TEST(Animation, ImagesInterruptsFailedLoadsAndThePause)
{
  MessageCapture messages;
  AnimationProject p({0, 5, 10, 15});
  p.sim->CurrentTime = 15;
  p.sim->Set("AnimationWriteImageFiles", "1");
  p.sim->Set("AnimateTimeSteps", "");
  EXPECT_EQ(p.stage.log.front(), "ImageFileNameEvaluator numbered");
  EXPECT_EQ(p.Drawn(), "0,5,10,15");
  EXPECT_STREQ(p.sim->Get("$animationFiles"),
               "frame1.png%AK_SEP%frame2.png%AK_SEP%frame3.png%AK_SEP%frame4.png%AK_SEP%");
  p.sim->Set("AnimateTimeSteps", "");
  EXPECT_EQ(p.stage.log.size(), 4u);  // numbered already: not asked again

  static int polls;
  polls = 0;
  AK_InterruptCallback = [] { return ++polls > 2 ? 1 : 0; };
  p.stage.log.clear();
  p.sim->Set("AnimateTimeSteps", "");
  EXPECT_EQ(p.Drawn(), "0,5");
  EXPECT_STREQ(AK_ErrorText, "interrupted");
  EXPECT_STREQ(p.sim->Get("$animationFiles"), "frame9.png%AK_SEP%frame10.png%AK_SEP%");
  AK_InterruptCallback = [] { return 1; };
  p.sim->Set("AnimateTimeSteps", "");
  EXPECT_EQ(p.Drawn(), "");
  EXPECT_STREQ(p.sim->Get("$animationFiles"), "");
  AK_InterruptCallback = nullptr;

  p.sim->Set("AnimationWriteImageFiles", "0");
  p.sim->CurrentTime = 15;
  const std::string broken = std::string(p.sim->ProjectDir()) + "/" + SW_TimeStepName(5).c_str() + ".TimeStep";
  const std::string broken10 = std::string(p.sim->ProjectDir()) + "/" + SW_TimeStepName(10).c_str() + ".TimeStep";
  WriteFile(broken, "broken");
  WriteFile(broken10, "");
  EXPECT_EQ(p.sim->Set("AnimateTimeSteps", ""), 1);
  EXPECT_EQ(p.Drawn(), "0,15");
  EXPECT_EQ(std::string(AK_ErrorText), "cannot load time steps: " + broken + ", " + broken10);
  // The step shown is the last one that loaded, also when the frame that failed is the one shown.
  p.sim->Set("LoadTimeStep", SW_TimeStepName(15));
  EXPECT_EQ(0, AK_DeleteFile(AK_JoinPath(p.sim->ProjectDir(), SW_TimeStepName(0) + ".TimeStep")));
  EXPECT_EQ(0, AK_DeleteFile(AK_JoinPath(p.sim->ProjectDir(), SW_TimeStepName(10) + ".TimeStep")));
  p.sim->Set("AnimateTimeSteps", "");
  EXPECT_EQ(p.Drawn(), "15");
  EXPECT_EQ(std::string(AK_ErrorText), "cannot load time steps: " + broken);
  EXPECT_EQ(0, AK_DeleteFile(broken.c_str()));
  p.sim->Set("AnimateTimeSteps", "");  // the one left is the one shown, and it loads
  EXPECT_EQ(p.Drawn(), "15");
  EXPECT_STREQ(p.sim->CurrentTimeStep, SW_TimeStepName(15));
  EXPECT_STREQ(AK_ErrorText, "");
  WriteFile(std::string(p.sim->ProjectDir()) + "/" + SW_TimeStepName(15).c_str() + ".TimeStep", "broken");
  p.sim->Set("AnimateTimeSteps", "");
  EXPECT_EQ(p.Drawn(), "");
  EXPECT_STREQ(p.sim->CurrentTimeStep, SW_TimeStepName(15));

  EXPECT_EQ(0, AK_DeleteFile(AK_JoinPath(p.sim->ProjectDir(), SW_TimeStepName(15) + ".TimeStep")));
  p.sim->Set("AnimateTimeSteps", "");
  EXPECT_EQ(p.Drawn(), "");
  EXPECT_STREQ(AK_ErrorText, "");

  AnimationProject two({0, 1});
  two.sim->Set("AnimationStepDelay", "0.05");
  const auto start = std::chrono::steady_clock::now();
  two.sim->Set("AnimateTimeSteps", "");
  EXPECT_GE(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 0.1);
  EXPECT_EQ(two.Drawn(), "0,1");
}

// A top object that writes no images: every frame is shown, one warning, no names listed.
TEST(Animation, ImagesOfATopObjectThatWritesNone)
{
  MessageCapture messages;
  AnimationProject p({0, 5, 10});
  p.stage.writesImages = false;
  p.sim->CurrentTime = 10;
  p.sim->Set("AnimationWriteImageFiles", "1");
  p.sim->Set("AnimateTimeSteps", "");
  EXPECT_EQ(p.Drawn(), "0,5,10");
  EXPECT_STREQ(p.sim->Get("$animationFiles"), "");
  EXPECT_EQ(messages.WithPrefix("WARNING:stage writes no image files").size(), 1u);
}

// Each frame interpolates between the key views that bracket its time.
TEST(Animation, AnimateWithAssignedViewsInterpolatesKeyViews)
{
  MessageCapture messages;
  AnimationProject p({0, 5, 25});
  p.sim->CurrentTime = 3;
  p.sim->Set("animate_with_assigned_views", "");
  EXPECT_STREQ(AK_ErrorText, "no views are assigned");
  p.sim->Set("set_assigned_views", "0 A,20 B,");
  p.sim->Set("animate_with_assigned_views", "");
  EXPECT_STREQ(AK_ErrorText, "no view container /KeyViewSequences/Views");
  EXPECT_EQ(p.Drawn(), "");
  EXPECT_EQ(p.sim->CurrentTime, 3);  // nothing loaded

  p.AddViews({"A", "B"});
  p.sim->Set("animate_with_assigned_views", "");
  EXPECT_STREQ(AK_ErrorText, "");
  EXPECT_EQ(p.Drawn(), "0,5,25");
  const std::vector<std::string> told = {
      "KeyView1 A", "KeyView2 A", "Interpolate 0",  "KeyView1 A", "KeyView2 B",
      "Interpolate 0.25", "KeyView1 B", "KeyView2 B", "Interpolate 1"};
  EXPECT_EQ(p.views->log, told);
}

// What the simulation answers about its key views, and how it assigns them.
TEST(Animation, AssignedViewsAnswersAndAssignments)
{
  MessageCapture messages;
  AnimationProject p({});
  Views* none = nullptr;
  EXPECT_STREQ(p.sim->Get("get_assigned_animation_view_options"), "current%AK_SEP%none%AK_SEP%");
  p.sim->CurrentTime = 12.5;
  p.sim->Set("set_assigned_animation_view", "current");
  EXPECT_STREQ(AK_ErrorText, "no view container /KeyViewSequences/Views");
  EXPECT_EQ(p.views, none);

  p.AddViews({"AB", "start"});
  EXPECT_STREQ(p.sim->Get("get_assigned_animation_view_options"), "current%AK_SEP%none%AK_SEP%AB%AK_SEP%start%AK_SEP%");
  // Views the container lacks are loaded, by whole name.
  p.sim->Set("set_assigned_views", "0 start,20 A,");
  EXPECT_EQ(p.views->log, std::vector<std::string>{"LoadComponent A"});
  p.views->log.clear();
  EXPECT_STREQ(p.sim->Get("get_assigned_animation_view"), "none");
  p.sim->Set("set_assigned_animation_view", "current");
  EXPECT_EQ(p.views->log, (std::vector<std::string>{"DeleteObject Avalanche1_12_5", "Create Avalanche1_12_5",
                                                    "Apply Avalanche1_12_5"}));
  EXPECT_STREQ(p.sim->Get("get_assigned_views"), "0 start,12.5 Avalanche1_12_5,20 A,");
  EXPECT_STREQ(p.sim->Get("get_assigned_animation_view"), "Avalanche1_12_5");
  p.sim->CurrentTime = 20;
  p.sim->Set("set_assigned_animation_view", "none");
  EXPECT_STREQ(p.sim->Get("get_assigned_views"), "0 start,12.5 Avalanche1_12_5,");
}
