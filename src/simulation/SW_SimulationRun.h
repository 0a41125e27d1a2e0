// SW_SimulationRun: one run of a simulation, beside the simulation object. It holds the run's
// own state (the flow model's SW_FlowRun with its threads, per-cell arrays, sources, grid and
// work columns, and the views of the scene the model reads) and does the run loop's steps for
// the simulation (SW_RunSteps); the simulation's RunLoop, ComputeTimeStep, MarkWallCells and
// UpdateCellResistances call it.
//
// The model (SW_Flow.h) knows no object of the tree. Here the scene's source lines, areas and
// walls are seen through the model's small interfaces (the views below), the simulation's
// attributes and "$" variables become the model's parameters, and the result fields and the
// particle set lend their arrays to the model.
#pragma once

#include <vector>

#include "SW_Flow.h"
#include "SW_RunLoop.h"

class SW_InitialCondition;
class SW_ResistanceArea;
class SW_Simulation;
class SW_SourceLine;
class SW_WallLine;

// A wall line seen as a reflecting wall. Its feet are brought up to date with its mesh when
// the view is made, so that a run reflects at the wall as it stands now.
class SW_WallLineView : public SW_FlowWall {
public:
  explicit SW_WallLineView(SW_WallLine& line);
  const AK_Array<AK_Vec3>& Path() const override;
  bool Active() const override;
  int Intersect(const AK_Vec2& p, const AK_Vec2& q, AK_Vec3& hit, AK_Vec3& top,
                AK_Vec3& direction) const override;

private:
  const SW_WallLine* _line;
};

// A source line as it is mapped onto the run's mesh (SW_SourceLine::SetUpOnMesh).
class SW_SourceLineView : public SW_FlowSourceLine {
public:
  explicit SW_SourceLineView(const SW_SourceLine& line) : _line(&line) {}
  int32_t CellCount() const override;
  int32_t CrossedCell(int32_t k) const override;
  float MassInCell(int32_t k, float dt) const override;
  AK_Vec2 PointInCell(int32_t k, float t) const override;

private:
  const SW_SourceLine* _line;
};

class SW_ResistanceAreaView : public SW_FlowResistanceArea {
public:
  explicit SW_ResistanceAreaView(const SW_ResistanceArea& area) : _area(&area) {}
  bool Contains(double x, double y) const override;
  SW_FlowResistance Drag() const override;

private:
  const SW_ResistanceArea* _area;
};

// A release or entrainment area; its depth may come from a formula of its own.
class SW_SnowAreaView : public SW_FlowSnowArea {
public:
  explicit SW_SnowAreaView(SW_InitialCondition& area) : _area(&area) {}
  bool Contains(double x, double y) const override;
  double DepthAt(const AK_Vec3& x, const AK_Vec3& normal) const override;
  double Density() const override;
  double Enthalpy() const override;
  const char* Name() const override;

private:
  SW_InitialCondition* _area;
};

// Views of scene objects, in their order, and the model's pointers to them; the pointers stay
// valid until the views are made anew or go (they are neither copied nor moved).
template <class View, class Interface>
class SW_SceneViews {
public:
  SW_SceneViews() = default;
  template <class Object>
  explicit SW_SceneViews(const AK_Array<Object*>& objects) { Take(objects); }
  template <class Object>
  void Take(const AK_Array<Object*>& objects)
  {
    _model.SetCount(0);
    _views.clear();
    _views.reserve(size_t(objects.Size()));
    for (Object* o : objects) _views.emplace_back(*o);
    for (const View& v : _views) _model.Append(&v);
  }
  SW_SceneViews(const SW_SceneViews&) = delete;
  SW_SceneViews& operator=(const SW_SceneViews&) = delete;
  const AK_Array<const Interface*>& Model() const { return _model; }

private:
  std::vector<View> _views;
  AK_Array<const Interface*> _model;
};
using SW_WallViews = SW_SceneViews<SW_WallLineView, SW_FlowWall>;
using SW_SourceLineViews = SW_SceneViews<SW_SourceLineView, SW_FlowSourceLine>;
using SW_ResistanceAreaViews = SW_SceneViews<SW_ResistanceAreaView, SW_FlowResistanceArea>;
using SW_SnowAreaViews = SW_SceneViews<SW_SnowAreaView, SW_FlowSnowArea>;

// The simulation's parameters, mesh numbers, "$" variables and user laws in the model's form;
// the user laws are kept when `par` already holds those of the same friction type.
void SW_FillFlowParameters(SW_Simulation& sim, SW_FlowParameters& par);
// Of those, what the kernel radius depends on ("SphMode" and the mesh's resolution), which a
// run checks before it starts.
void SW_FillKernelParameters(SW_Simulation& sim, SW_FlowParameters& par);
// Lends the simulation's field and particle arrays to the run; a second call gives them
// back (the arrays are swapped, not copied).
void SW_SwapFlowState(SW_Simulation& sim, SW_FlowRun& run);

class SW_SimulationRun : public SW_RunSteps {
public:
  // A run on the simulation's mesh (which it must have); nothing is set up yet.
  explicit SW_SimulationRun(SW_Simulation& sim);
  ~SW_SimulationRun() override;  // gives the arrays back
  SW_SimulationRun(const SW_SimulationRun&) = delete;
  SW_SimulationRun& operator=(const SW_SimulationRun&) = delete;

  // The per-cell arrays: the resistance area of each cell, and the wall marks.
  void UpdateCellResistances();
  void MarkWallCells();
  // The source lines mapped onto the mesh, from the last to the first.
  void SetUpSourceLines();
  // One time step from t with its messages: the parameters read, the arrays lent to the model
  // (if they are not yet). 0, or 1 (SW_StepOutOfParticles when the particles outgrew the
  // bound or the memory) with Error() when the run cannot go on.
  int ComputeTimeStep(double t, double dt);
  // The simulation's result fields and particle columns are lent to the model for as long as
  // the steps follow one another, and given back before anything may read the tree: an
  // output, a stop criterion, an interrupt callback, a failed step, the run's end. While
  // lent, the simulation's fields and particle set hold empty arrays.
  void Lend();
  void GiveBack();
  bool Lent() const { return _lent; }
  const AK_String& Error() const { return _error; }
  // Why the run stopped early, "" when it did not: a failed step or output.
  const AK_String& Failure() const { return _failure; }
  // Why the newest progress line is not in the run's info, "" when it is.
  const AK_String& ProgressUnwritten() const { return _progressUnwritten; }
  // A step failed: it may have stopped half-way, with part of its work done.
  bool StepFailed() const { return _stepFailed; }
  const SW_FlowRun& Flow() const { return _flow; }

  // The steps of the run loop: the status file and the interrupt poll, the flow step, the
  // progress line, the outputs, the peak kinetic energy and the user's stop criterion.
  bool Interrupted() override;
  void EndTimeIs(double endTime) override;
  bool Step(double time, double deltaT) override;
  void Progress(const char* line) override;
  bool Output() override;
  void AfterStep() override;
  int StopCriterion(AK_String& value) override;

private:
  SW_Simulation& _sim;
  SW_FlowRun _flow;
  SW_WallViews _walls;              // what _flow.cells.walls refers to
  SW_SourceLineViews _sourceLines;  // what _flow.sources.lines refers to
  AK_String _error;
  AK_String _failure;
  AK_String _progressUnwritten;
  bool _lent = false;
  bool _stepFailed = false;
};
