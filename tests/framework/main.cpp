#include <gtest/gtest.h>

#include "TestClasses.h"

int main(int argc, char** argv)
{
  if (int result = RunBackgroundMode(argc, argv); result >= 0) return result;
  testing::InitGoogleTest(&argc, argv);
  TestSetUpClassDirectories();
  AK_RegisterFrameworkClasses();
  TestRegisterClasses();
  int result = RUN_ALL_TESTS();
  AK_DeleteDetachedObjects();
  return result;
}
