#include <gtest/gtest.h>

#include "FrameworkTestSupport.h"
#include "TestClasses.h"

int main(int argc, char** argv)
{
  testing::InitGoogleTest(&argc, argv);
  TestSetUpClassDirectories();
  AK_RegisterFrameworkClasses();
  TestRegisterClasses();
  int result = RUN_ALL_TESTS();
  AK_DeleteDetachedObjects();
  return result;
}
