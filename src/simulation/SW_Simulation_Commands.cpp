// SW_Simulation: the commands of the run, the time steps, the animation and the evaluations.
// Each command has one function here; the run, the time-step files and the animation fill
// them in as they are built.
#include "SW_Simulation.h"

void SW_Simulation::Run(const char*) { NotAvailableYet(); }
void SW_Simulation::Continue(const char*) { NotAvailableYet(); }
void SW_Simulation::RunInBackground(const char*) { NotAvailableYet(); }
void SW_Simulation::ContinueInBackground(const char*) { NotAvailableYet(); }
void SW_Simulation::Interrupt(const char*) { NotAvailableYet(); }
void SW_Simulation::UpdateReleaseMass(const char*) { NotAvailableYet(); }
void SW_Simulation::SaveTimeStep(const char*) { NotAvailableYet(); }

void SW_Simulation::LoadTimeStep(const char* name)
{
  // A saved simulation that never wrote a time step has nothing to restore.
  if (!name || !*name) return;
  NotAvailableYet();
}

void SW_Simulation::LoadNextTimeStep(const char*) { NotAvailableYet(); }
void SW_Simulation::LoadPrevTimeStep(const char*) { NotAvailableYet(); }
void SW_Simulation::LoadFirstTimeStep(const char*) { NotAvailableYet(); }
void SW_Simulation::LoadLastTimeStep(const char*) { NotAvailableYet(); }
void SW_Simulation::SetTime(const char*) { NotAvailableYet(); }
void SW_Simulation::AnimateTimeSteps(const char*) { NotAvailableYet(); }
void SW_Simulation::SetAssignedViews(const char*) { NotAvailableYet(); }
void SW_Simulation::SetAssignedAnimationView(const char*) { NotAvailableYet(); }
void SW_Simulation::ClearAnimationViews(const char*) { NotAvailableYet(); }
void SW_Simulation::AnimateWithAssignedViews(const char*) { NotAvailableYet(); }
void SW_Simulation::DeleteTimesteps(const char*) { NotAvailableYet(); }
void SW_Simulation::ShowShallowWaterLogFile(const char*) { NotAvailableYet(); }
void SW_Simulation::EvaluateDepositionWith(const char*) { NotAvailableYet(); }

// The release set-up; until it is built, a new mesh only gets its fields bound.
void SW_Simulation::Initialize() { BindFieldsToMesh(); }
