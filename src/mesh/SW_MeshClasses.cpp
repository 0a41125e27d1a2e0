#include "SW_MeshClasses.h"

#include "AK_ClassRegistry.h"

void SW_RegisterMeshClasses()
{
}
