#include "SW_WorkspaceClasses.h"

#include "AK_ClassRegistry.h"
#include "AK_VisualClasses.h"
#include "SW_MeshClasses.h"
#include "SW_SceneClasses.h"
#include "SW_Meshes.h"
#include "SW_SimulationClasses.h"
#include "SW_Workspace.h"

void SW_RegisterWorkspaceClasses()
{
  AK_RegisterClass("SW_Meshes", "Meshes", AK_Construct<SW_Meshes>);
  AK_RegisterClass("SW_Workspace", "Workspace", AK_Construct<SW_Workspace>);
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
