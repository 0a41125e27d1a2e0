// SW_Simulation: the commands of the run, the time steps, the animation and the evaluations.
// Each command has one function here; the run, the time-step files and the animation fill
// them in as they are built; the time-step files are in SW_Simulation_TimeSteps.cpp.
#include "SW_Simulation.h"

#include "SW_Deposition.h"

void SW_Simulation::Run(const char*) { NotAvailableYet(); }
void SW_Simulation::Continue(const char*) { NotAvailableYet(); }
void SW_Simulation::UpdateReleaseMass(const char*) { NotAvailableYet(); }

void SW_Simulation::AnimateTimeSteps(const char*) { NotAvailableYet(); }
void SW_Simulation::SetAssignedViews(const char*) { NotAvailableYet(); }
void SW_Simulation::SetAssignedAnimationView(const char*) { NotAvailableYet(); }
void SW_Simulation::ClearAnimationViews(const char*) { NotAvailableYet(); }
void SW_Simulation::AnimateWithAssignedViews(const char*) { NotAvailableYet(); }
void SW_Simulation::ShowShallowWaterLogFile(const char*) { SW_ShowLogFile(ProjectDir()); }

void SW_Simulation::EvaluateDepositionWith(const char* path)
{
  SW_ScalarField* depth = FlowDepth();
  SW_EvaluateDeposition(*this, path, Mesh(), depth ? &depth->_values : nullptr);
}

// The release set-up; until it is built, a new mesh only gets its fields bound.
void SW_Simulation::Initialize() { BindFieldsToMesh(); }
