#include "SW_SimulationClasses.h"

#include "AK_ClassRegistry.h"
#include "SW_SceneClasses.h"
#include "SW_Simulation.h"

void SW_RegisterSimulationClasses()
{
  SW_RegisterSceneClasses();
  AK_RegisterClass("SW_Simulation", "ShallowWaterSimulation", AK_Construct<SW_Simulation>);
}
