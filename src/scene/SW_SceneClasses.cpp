#include "SW_SceneClasses.h"

#include "AK_ClassRegistry.h"
#include "SW_MeshClasses.h"
#include "SW_Labels.h"
#include "SW_MeshContourPolygon.h"
#include "SW_Polygons.h"
#include "SW_PolylineSet.h"
#include "SW_Polylines.h"
#include "SW_PsaMeshes.h"
// Areas and lines that drive a run.
#include "SW_InitialCondition.h"
#include "SW_ResistanceArea.h"
#include "SW_SourceLine.h"
#include "SW_WallLine.h"
// Result fields and particles.
#include "SW_FieldSupport.h"
#include "SW_Particles.h"
#include "SW_ScalarField.h"
#include "SW_VectorField.h"

void SW_RegisterSceneClasses()
{
  SW_RegisterMeshClasses();
  // Lines, polygons, their containers, polyline sets, labels, psa meshes.
  AK_RegisterClass("SW_Polyline", "Polyline", AK_Construct<SW_Polyline>);
  AK_RegisterClass("SW_Polygon", "Polygon", AK_Construct<SW_Polygon>);
  AK_RegisterClass("SW_MeshContourPolygon", "MeshContourPolygon", AK_Construct<SW_MeshContourPolygon>);
  AK_RegisterClass("SW_Polylines", "Polylines", AK_Construct<SW_Polylines>);
  AK_RegisterClass("SW_Polygons", "Polygons", AK_Construct<SW_Polygons>);
  AK_RegisterClass("SW_PolylineSet", "PolylineSet", AK_Construct<SW_PolylineSet>);
  AK_RegisterClass("SW_Labels", "Labels", AK_Construct<SW_Labels>);
  AK_RegisterClass("SW_PsaMeshes", "PsaMeshes", AK_Construct<SW_PsaMeshes>);

  // Areas and lines that drive a run.
  AK_RegisterClass("SW_InitialCondition", "ReleaseArea", AK_Construct<SW_InitialCondition>);
  AK_RegisterClass("SW_InitialConditions", "ReleaseAreas", AK_Construct<SW_InitialConditions>);
  AK_RegisterClass("SW_ResistanceArea", "ResistanceArea", AK_Construct<SW_ResistanceArea>);
  AK_RegisterClass("SW_ResistanceAreas", "ResistanceAreas", AK_Construct<SW_ResistanceAreas>);
  AK_RegisterClass("SW_SourceLine", "SourceLine", AK_Construct<SW_SourceLine>);
  AK_RegisterClass("SW_SourceLines", "SourceLines", AK_Construct<SW_SourceLines>);
  AK_RegisterClass("SW_WallLine", "WallLine", AK_Construct<SW_WallLine>);
  AK_RegisterClass("SW_WallLines", "WallLines", AK_Construct<SW_WallLines>);

  // Result fields and particles.
  AK_RegisterClass("SW_ScalarField", "ScalarField", AK_Construct<SW_ScalarField>);
  AK_RegisterClass("SW_VectorField", "VectorField", AK_Construct<SW_VectorField>);
  AK_RegisterClass("SW_Particles", "Particles", AK_Construct<SW_Particles>);
  SW_InstallMeshFieldMakers();

}
