#include "SW_SimulationClasses.h"

#include "AK_ClassRegistry.h"
#include "SW_SceneClasses.h"

void SW_RegisterSimulationClasses()
{
  SW_RegisterSceneClasses();
}
