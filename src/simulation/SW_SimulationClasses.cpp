#include "SW_SimulationClasses.h"

#include "AK_ClassRegistry.h"

void SW_RegisterSimulationClasses()
{
}
