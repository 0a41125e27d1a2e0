#include "AK_VisualClasses.h"

#include "AK_ClassRegistry.h"

void AK_RegisterVisualClasses()
{
  // Visible objects and their placement.

  // Colour bars, screen texts, connectors and graphs.

}
