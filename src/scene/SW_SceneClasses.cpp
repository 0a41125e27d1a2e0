#include "SW_SceneClasses.h"

#include "AK_ClassRegistry.h"

void SW_RegisterSceneClasses()
{
  // Lines, polygons, their containers, polyline sets, labels, psa meshes.

  // Areas and lines that drive a run.

  // Result fields and particles.

}
