#include "SW_WorkspaceClasses.h"

#include "AK_ClassRegistry.h"
#include "AK_VisualClasses.h"
#include "SW_MeshClasses.h"
#include "SW_SceneClasses.h"
#include "SW_SimulationClasses.h"

void SW_RegisterWorkspaceClasses()
{
}

void SW_RegisterAllClasses()
{
  AK_RegisterFrameworkClasses();
  AK_RegisterVisualClasses();
  SW_RegisterMeshClasses();
  SW_RegisterSceneClasses();
  SW_RegisterSimulationClasses();
  SW_RegisterWorkspaceClasses();
}
