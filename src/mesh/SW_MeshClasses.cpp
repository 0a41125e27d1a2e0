#include "SW_MeshClasses.h"

#include "AK_ClassRegistry.h"
#include "AK_VisualClasses.h"
#include "SW_Mesh.h"

void SW_RegisterMeshClasses()
{
  AK_RegisterVisualClasses();
  AK_RegisterClass("SW_Mesh", "DHM", AK_Construct<SW_Mesh>);
}
