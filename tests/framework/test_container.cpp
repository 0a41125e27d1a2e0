// Containers: deleting, unloading and loading components by name, and saved components
// that are not loaded.
#include <filesystem>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "TestClasses.h"

TEST(Container, UnloadAllContainersReachesEveryContainer)
{
  ScratchDir dir;
  AK_Object top("T", nullptr);
  AK_Container* outer = new AK_Container("outer", &top);
  top.AddComponent(outer);
  AK_Container* inner = new AK_Container("inner", outer);
  outer->AddComponent(inner);
  inner->AddComponent(new AK_Object("x", inner));
  outer->AddComponent(new AK_Object("y", outer));
  AK_Object* holder = new AK_Object("holder", &top);
  top.AddComponent(holder);
  holder->AddLink(inner->GetComponent("x"));
  holder->AddLink(&top);  // a link back up: the walk does not follow it

  MessageCapture messages;
  EXPECT_EQ(top.Set("UnloadAllContainers", ""), 1);
  std::vector<std::string> expected = {"unloading container T/outer...", "unloading y...",
                                       "unloading inner..."};
  EXPECT_EQ(messages.messages, expected);
  EXPECT_EQ(outer->ComponentCount(), 0);
  ASSERT_EQ(holder->ComponentCount(), 1);  // the link into the unloaded subtree went too
  EXPECT_EQ(holder->Component(0), &top);
  holder->RemoveComponent("T");
}

TEST(Container, UnloadedComponentsAndLoadComponent)
{
  ScratchDir dir;
  TST_Holder top("T", nullptr);
  top.Set("ProjectDir", dir.Path().c_str());
  dir.Write("Saved/Level1.atr", "set(\"\", \"Value\", \"21\")\n");
  std::filesystem::create_directories(dir / "old.bak");
  std::filesystem::create_directories(dir / "Loaded");
  TST_Level1* loaded = new TST_Level1("Loaded", &top);
  top.AddComponent(loaded);
  EXPECT_STREQ(top.Get("UnloadedComponentsList").c_str(), "Saved%AK_SEP%");

  EXPECT_EQ(top.Set("LoadComponent", "Saved"), 1);
  AK_Object* saved = top.GetComponent("Saved");
  ASSERT_NE(saved, nullptr);
  EXPECT_STREQ(saved->Get("Value").c_str(), "21");
  EXPECT_STREQ(top.Get("UnloadedComponentsList").c_str(), "");
  EXPECT_GT(saved->ModificationTime("Load"), 0);

  saved->Set("Value", "5");
  EXPECT_EQ(top.Set("UnloadComponent", "Saved"), 1);
  EXPECT_EQ(top.GetComponent("Saved"), nullptr);
  EXPECT_STREQ(top.Get("UnloadedComponentsList").c_str(), "Saved%AK_SEP%");
  EXPECT_TRUE(std::filesystem::exists(dir / "Saved/Level1.atr"));  // unloading never touches the disk
  top.Set("LoadComponent", "Saved");
  EXPECT_STREQ(top.GetComponent("Saved")->Get("Value").c_str(), "21");
}

TEST(Container, LoadProjectCreatesWhatIsSavedOnly)
{
  ScratchDir dir;
  TST_Holder top("T", nullptr);
  dir.Write("A/Level1.atr", "set(\"\", \"Value\", \"1\")\n");
  for (const char* empty : {"Two/Level1.atr", "Two/Level2.atr", "with.dot/Level1.atr"}) dir.Write(empty, "");
  top.SetSuppressCreatingComponents(1);
  top.LoadProject(dir.Path().c_str());
  EXPECT_EQ(top.ComponentCount(), 0);
  top.SetSuppressCreatingComponents(0);
  top.LoadProject(dir.Path().c_str());
  EXPECT_STREQ(top.Get("GetComponentList").c_str(), "A%AK_SEP%");
  top.LoadProject(dir.Path().c_str());  // loading again creates nothing new
  EXPECT_EQ(top.ComponentCount(), 1);
  EXPECT_STREQ(top.ProjectDir().c_str(), dir.Path().c_str());
}

TEST(Container, AttributeAddressesAndSetCommandsForAttributes)
{
  AK_Container top("T", nullptr);
  TST_Level1* one = new TST_Level1("one", &top);
  top.AddComponent(one);
  AK_String out;
  top.ListAttributeAddresses(out, "int", &top);
  EXPECT_STREQ(out.c_str(), "one:Value%AK_SEP%");
  AK_AttributeNode* value = AK_FindSetEntry(one->GetClassInfo(), "Value");
  ASSERT_NE(value, nullptr);
  AK_String command;
  top.FormatSetCommandForAttribute(command, one, value, "3", 0);
  EXPECT_STREQ(command.c_str(), "set(\"one\", \"Value\", \"3\")");
  one->FormatSetCommandForAttribute(command, one, value, "3", 1);
  EXPECT_STREQ(command.c_str(), "set(\"../\", \"Level1::Value\", \"3\")");
}
