// SW_Simulations: the project's container "Simulations". It holds the simulations and acts on
// them as a group: it creates a simulation on the project's simulation mesh, clones one with
// its area lists and settings, cleans up the time steps of each according to its own
// "CleanupBehavior", starts the active ones one after the other in a process of their own
// through "batch.bat" in the project directory, steps and animates the active ones together,
// and writes "start.macro" and "start.bat" for one run directory so that its run can be
// repeated by hand.
#pragma once

#include "AK_Process.h"

#include "AK_Container.h"

class SW_Simulation;

class SW_Simulations : public AK_Class<SW_Simulations, AK_Container> {
public:
  static constexpr const char* kClassName = "SW_Simulations";
  SW_Simulations(const char* id, AK_Object* parent);
  static void DeclareAttributes(AK_AttributeTableOf<SW_Simulations>& t);

  // A simulation ("ShallowWaterSimulation") of that identifier, not yet added; none for any
  // other type.
  AK_Object* CreateComponent(const char* id, const char* typeName) override;
  // A save of a new simulation killed before it wrote the simulation's own files leaves a run
  // directory that holds no saved simulation: what the save's process left there (its run lock, a
  // copy it cut short) is ended as every taker of a run lock ends it, so that no lock of a process
  // that is gone stands in the project, and a copy finished there loads.
  AK_String EndWhatIsGoneInNewComponentDirectory(const char* directory) override;

  // A new simulation on the last simulation mesh of the project's "DHMs" (none when there is
  // no such mesh), added as the last component.
  SW_Simulation* CreateSimulation(const char* id);
  // A new last simulation named after the source's identifier with "_cloned" appended, whose
  // area groups link the source's members and which takes the source's settings (not its
  // results or its current time step). None, with an error text, when the path names no
  // simulation.
  SW_Simulation* CloneSimulation(const char* path);
  // Deletes time steps, or whole simulations, as each simulation's "CleanupBehavior" says;
  // a simulation whose run is going on keeps its results.
  void Cleanup();
  // Writes "batch.bat" with the start line of every active simulation and starts it detached.
  void StartActive();
  void AnimateActive();
  void NextTimeStepActive();
  void PrevTimeStepActive();
  // Writes "start.macro" and "start.bat" into the run directory <project>/Project/Simulations/<id>.
  void WriteStartMacroAndBat(const char* directory);

  // Starts a batch file detached; 0 when started. Tests replace it, so that no batch they
  // write runs.
  // `started` hands the runs' locks to the started process.
  static int (*StartBatchFile)(AK_BatchFile& batch, const AK_StartedHook& started);

  int32_t PauseTime = 600;

private:
  // Sets the attribute, by name, on every active simulation in component order.
  void SetOnActive(const char* attribute);
};
