#include "AK_VisualClasses.h"

#include "AK_ClassRegistry.h"
#include "AK_Colorbar.h"
#include "AK_Connector2d.h"
#include "AK_Graph2d.h"
#include "AK_Graph2dViewer.h"
#include "AK_Text2d.h"
#include "AK_VisObj2d.h"
#include "AK_VisObj3d.h"
#include "AK_VisibleObject.h"

void AK_RegisterVisualClasses()
{
  AK_RegisterFrameworkClasses();
  // Visible objects and their placement.
  AK_RegisterClass("AK_VisibleObject", "VisibleObject", AK_Construct<AK_VisibleObject>);
  AK_RegisterClass("AK_VisObj2d", "VisObj2d", AK_Construct<AK_VisObj2d>);
  AK_RegisterClass("AK_VisObj3d", "VisObj3d", AK_Construct<AK_VisObj3d>);

  // Colour bars, screen texts, connectors and graphs.
  AK_RegisterClass("AK_Colorbar", "Colorbar", AK_Construct<AK_Colorbar>);
  AK_RegisterClass("AK_Text2d", "Text2d", AK_Construct<AK_Text2d>);
  AK_RegisterClass("AK_Connector2d", "Connector2d", AK_Construct<AK_Connector2d>);
  AK_RegisterClass("AK_Graph2d", "Graph2d", AK_Construct<AK_Graph2d>);
  AK_RegisterClass("AK_Graph2dViewer", "Graph2dViewer", AK_Construct<AK_Graph2dViewer>);

}
