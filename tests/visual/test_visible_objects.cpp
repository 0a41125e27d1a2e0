// Visible objects: attributes, the render state of the drawing pass, placement on the screen
// and in space, copies, bounding boxes and textures.
#include <gtest/gtest.h>

#include "AK_ConformanceTest.h"
#include "AK_Framework.h"
#include "AK_VisObj2d.h"
#include "AK_VisObj3d.h"
#include "AK_VisibleObject.h"

TEST(VisibleObjects, Conformance)
{
  for (const char* name : {"AK_VisibleObject", "AK_VisObj2d", "AK_VisObj3d"}) AK_RunConformanceTest(name);
}
