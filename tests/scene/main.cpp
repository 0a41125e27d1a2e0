#include <gtest/gtest.h>

#include "AK_Framework.h"
#include "AK_VisualClasses.h"
#include "SW_MeshClasses.h"
#include "SW_SceneClasses.h"

// Classes are constructed through the tables of the source tree; every class of the
// libraries under test is registered before the first test.
int main(int argc, char** argv)
{
  testing::InitGoogleTest(&argc, argv);
  AttributesDirectory = TORVU_TEST_ATTRIBUTES_DIR "/";
  AK_RegisterFrameworkClasses();
  AK_RegisterVisualClasses();
  SW_RegisterMeshClasses();
  SW_RegisterSceneClasses();
  int result = RUN_ALL_TESTS();
  AK_DeleteDetachedObjects();
  return result;
}
