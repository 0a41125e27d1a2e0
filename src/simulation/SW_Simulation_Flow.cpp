// SW_Simulation: the field update outside a run (after a time step was loaded or the
// particles changed), on the model's field update.
#include "SW_Simulation.h"
#include "SW_SimulationRun.h"

void SW_Simulation::UpdateFields(double time)
{
  SW_Mesh* mesh = Mesh();
  if (!mesh || !Particles()) return;
  SW_FlowRun run(mesh->Core());
  SW_SwapFlowState(*this, run);
  // Only fields bound per vertex of this mesh and particles located on it can be mapped.
  AK_String unused;
  if (run.fields.CheckResults(mesh->Core(), unused) && run.particles.Check(mesh->Core(), unused))
    SW_UpdateFields(mesh->Core(), Density, run.particles, static_cast<float>(time), run.fields);
  SW_SwapFlowState(*this, run);
}
