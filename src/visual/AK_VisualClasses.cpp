#include "AK_VisualClasses.h"

#include "AK_ClassRegistry.h"
#include "AK_VisObj2d.h"
#include "AK_VisObj3d.h"
#include "AK_VisibleObject.h"

void AK_RegisterVisualClasses()
{
  // Visible objects and their placement.
  AK_RegisterClass("AK_VisibleObject", "VisibleObject", AK_Construct<AK_VisibleObject>);
  AK_RegisterClass("AK_VisObj2d", "VisObj2d", AK_Construct<AK_VisObj2d>);
  AK_RegisterClass("AK_VisObj3d", "VisObj3d", AK_Construct<AK_VisObj3d>);

  // Colour bars, screen texts, connectors and graphs.

}
