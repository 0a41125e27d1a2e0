// The mesh object: its class table, attributes and commands.
#include <gtest/gtest.h>

#include "AK_ConformanceTest.h"
#include "AK_Framework.h"
#include "SW_Mesh.h"
#include "TestSupport.h"

TEST(MeshObject, Conformance)
{
  MessageCapture quiet;
  AK_RunConformanceTest("SW_Mesh");
}
