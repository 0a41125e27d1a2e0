// Without a class table for AK_Object nothing crashes: unnamed
// objects still get unique names, types are empty and lookups answer as usual; the table is
// looked for again at every construction.
#include <gtest/gtest.h>

#include <string>

#include "TestClasses.h"

TEST(MissingObjectTable, UnnamedObjectsAndLookups)
{
  SKIP_UNLESS_ALONE_IN_PROCESS();
  ScratchDir empty;
  AttributesDirectory = (empty.Path() + "/").c_str();
  UserAttributesDirectory = (empty.Path() + "/").c_str();
  MessageCapture messages;
  AK_Object top("", nullptr);
  AK_Object* a = new AK_Object("", &top);
  top.AddComponent(a);
  AK_Object* b = new AK_Object("", &top);
  top.AddComponent(b);
  EXPECT_STRNE(a->Id().c_str(), b->Id().c_str());
  EXPECT_FALSE(a->Id().IsEmpty());
  EXPECT_STREQ(a->GetType().c_str(), "");
  EXPECT_EQ(a->IsA("Object"), 0);
  EXPECT_STREQ(a->Get("Id").c_str(), a->Id().c_str());
  EXPECT_STREQ(top.Get("GetCommandsList").c_str(), "");
  EXPECT_EQ(top.FindObject(b->Id()), b);
  EXPECT_TRUE(messages.Contains("cannot open attribute file " + empty.Path() + "/AK_Object.atr!"));

  // Once the table exists, the next construction loads it.
  AttributesDirectory = (std::string(TORVU_TEST_ATTRIBUTES_DIR) + "/").c_str();
  AK_Object later("", nullptr);
  EXPECT_STREQ(later.GetType().c_str(), "Object");
}
