#include "SW_WorkspaceClasses.h"

#include "AK_ClassRegistry.h"
#include "SW_Mesh.h"
#include "SW_Meshes.h"
#include "SW_SimulationClasses.h"
#include "SW_Simulations.h"
#include "SW_Workspace.h"

void SW_RegisterWorkspaceClasses()
{
  SW_RegisterSimulationClasses();
  AK_RegisterClass("SW_Meshes", "Meshes", AK_Construct<SW_Meshes>);
  SW_ImportBesideMesh = [](SW_Mesh& mesh, const char* path) {
    if (auto* meshes = dynamic_cast<SW_Meshes*>(mesh.Parent())) meshes->ImportBesideMesh(mesh, path);
  };
  AK_RegisterClass("SW_Simulations", "Simulations", AK_Construct<SW_Simulations>);
  AK_RegisterClass("SW_Workspace", "Workspace", AK_Construct<SW_Workspace>);
}

void SW_RegisterAllClasses()
{
  SW_RegisterWorkspaceClasses();
}
