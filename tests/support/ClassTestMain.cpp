// The main of the class libraries' test programs (see torvu_class_tests): classes are
// constructed through the tables of the source tree, and the library's classes, with those of
// the libraries below it, are registered before the first test.
#include <gtest/gtest.h>

#include "AK_Framework.h"
#include TORVU_REGISTER_HEADER

int main(int argc, char** argv)
{
  testing::InitGoogleTest(&argc, argv);
  AttributesDirectory = TORVU_TEST_ATTRIBUTES_DIR "/";
  TORVU_REGISTER_CLASSES();
  int result = RUN_ALL_TESTS();
  AK_DeleteDetachedObjects();
  return result;
}
