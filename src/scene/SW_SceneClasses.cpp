#include "SW_SceneClasses.h"

#include "AK_ClassRegistry.h"
#include "SW_SourceLine.h"

void SW_RegisterSceneClasses()
{
  // Lines, polygons, their containers, polyline sets, labels, psa meshes.

  // Areas and lines that drive a run.
  AK_RegisterClass("SW_SourceLine", "SourceLine", AK_Construct<SW_SourceLine>);
  AK_RegisterClass("SW_SourceLines", "SourceLines", AK_Construct<SW_SourceLines>);

  // Result fields and particles.

}
