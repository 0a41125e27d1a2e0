#include "SW_SimulationClasses.h"

#include "AK_ClassRegistry.h"
#include "SW_SceneClasses.h"
#include "SW_Simulation.h"
#include "SW_SoftSphereSim2D.h"

void SW_RegisterSimulationClasses()
{
  SW_RegisterSceneClasses();
  AK_RegisterClass("SW_Simulation", "ShallowWaterSimulation", AK_Construct<SW_Simulation>);
  // The soft-sphere granular test bench.
  AK_RegisterClass("SW_SoftSphereSim2D", "SoftSphereSim2D", AK_Construct<SW_SoftSphereSim2D>);
}
