// Class files: lookup in the two directories, tables, default commands, class values,
// labels, and the conformance of the shipped class tables.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "AK_ConformanceTest.h"
#include "TestClasses.h"

namespace {

// Points both class-file directories at scratch directories for one test.
struct Directories {
  ScratchDir shared, user;
  AK_String oldShared, oldUser, oldApplication;
  Directories()
      : oldShared(AttributesDirectory),
        oldUser(UserAttributesDirectory),
        oldApplication(UserApplicationDirectory)
  {
    AttributesDirectory = (shared.Path() + "/").c_str();
    UserAttributesDirectory = (user.Path() + "/").c_str();
  }
  ~Directories()
  {
    AttributesDirectory = oldShared;
    UserAttributesDirectory = oldUser;
    UserApplicationDirectory = oldApplication;
  }
};

}  // namespace

TEST(ClassFiles, UserDirectoryIsSearchedFirst)
{
  Directories dirs;
  WriteFile(dirs.shared / "Foo.atr", "obj.Foo\n");
  WriteFile(dirs.shared / "Bar.atr", "obj.Bar\n");
  WriteFile(dirs.user / "Foo.atr", "obj.FooUser\n");
  MessageCapture messages;
  EXPECT_STREQ(AK_ResolveAttributeFile("Foo", "atr", nullptr).c_str(), (dirs.user / "Foo.atr").c_str());
  ASSERT_EQ(messages.messages.size(), 1u);
  EXPECT_EQ(messages.messages[0], "user-specific " + (dirs.user / "Foo.atr"));
  messages.Clear();
  EXPECT_STREQ(AK_ResolveAttributeFile("Bar", "atr", nullptr).c_str(), (dirs.shared / "Bar.atr").c_str());
  EXPECT_STREQ(AK_ResolveAttributeFile("None", "atr", "sub").c_str(),
               (dirs.shared / "sub/None.atr").c_str());
  EXPECT_TRUE(messages.messages.empty());

  AK_Array<AK_String> listed = AK_ListAttributeFiles("atr", nullptr);
  ASSERT_EQ(listed.Size(), 3);
  EXPECT_STREQ(listed[0].c_str(), "Bar.atr");
  EXPECT_STREQ(listed[1].c_str(), "Foo.atr");
  EXPECT_STREQ(listed[2].c_str(), "Foo.atr");
}

TEST(ClassFiles, EmptyUserDirectoryMeansTheWorkingDirectory)
{
  Directories dirs;
  UserAttributesDirectory = "";
  EXPECT_STREQ(AK_ResolveAttributeFile("NoSuchClassHere", "atr", nullptr).c_str(),
               (dirs.shared / "NoSuchClassHere.atr").c_str());
}

TEST(ClassFiles, TablesInlineAndFromFiles)
{
  Directories dirs;
  AK_AttributeNode* inlineTable = AK_LoadClassAttributeTable("obj.Inline\n\tint.A:A\n", nullptr);
  ASSERT_NE(inlineTable, nullptr);
  EXPECT_STREQ(AK_NodeNamePart(inlineTable, 1).c_str(), "Inline");
  MessageCapture messages;
  EXPECT_EQ(AK_LoadClassAttributeTable("Missing", nullptr), nullptr);
  ASSERT_EQ(messages.messages.size(), 1u);
  EXPECT_EQ(messages.messages[0], "cannot open attribute file " + (dirs.shared / "Missing.atr") + "!");

  std::string longLine(600, 'x');
  WriteFile(dirs.shared / "Long.atr", "obj.Long\n\tstring.A:A\n\t\tdoc:" + longLine + "\n");
  AK_AttributeNode* table = AK_LoadClassAttributeTable("Long", inlineTable);
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(AK_NodeLastChild(table), inlineTable);
  AK_AttributeNode* doc = AK_NodeFindChild(AK_NodeChild(table, 0), "doc");
  ASSERT_NE(doc, nullptr);
  EXPECT_EQ(std::string(AK_NodeValue(doc)), longLine);
  delete table;
  delete inlineTable;
}

TEST(ClassFiles, DefaultCommandLists)
{
  Directories dirs;
  AK_Array<AK_String> list;
  AK_LoadClassDefaults(nullptr, "Defaults", list);
  EXPECT_EQ(list.Size(), 0);  // no file: looked for again next time
  WriteFile(dirs.shared / "Defaults.def",
                "set(\"\", \"Active\", \"0\")\n" + std::string(300, 'y') + "\nset(\"\", \"x\", \"1\")\n");
  AK_LoadClassDefaults(nullptr, "Defaults", list);
  ASSERT_EQ(list.Size(), 2);
  EXPECT_STREQ(list[0].c_str(), "follow");
  EXPECT_STREQ(list[1].c_str(), "set(\"\", \"Active\", \"0\")");
  WriteFile(dirs.shared / "Defaults.def", "changed\n");
  AK_LoadClassDefaults(nullptr, "Defaults", list);
  EXPECT_EQ(list.Size(), 2);  // read once

  EXPECT_EQ(AK_AppendDefaultAttribute("Appended", "Name", "a\"b"), 0);
  EXPECT_EQ(ReadFile(dirs.shared / "Appended.def"), "set(\"\", \"Name\", \"a%%qb\")\n");
  AttributesDirectory = "/no/such/directory/";
  UserAttributesDirectory = "/no/such/directory/";
  MessageCapture messages;
  EXPECT_EQ(AK_AppendDefaultAttribute("Appended", "Name", "v"), 1);
  ASSERT_EQ(messages.messages.size(), 1u);
  EXPECT_EQ(messages.messages[0],
            "W:cannot open default-attributes-file /no/such/directory/Appended.def! (Missing "
            "permissions?)");
}

TEST(ClassFiles, ClassValuesAreWrittenOnce)
{
  Directories dirs;
  UserApplicationDirectory = (dirs.user.Path() + "/").c_str();
  WriteFile(dirs.user / "Cv.clv", "Min=3\nMinimum=4\n");
  AK_Array<AK_String> list;
  AK_LoadClassValues("Cv", list);
  ASSERT_EQ(list.Size(), 3);
  EXPECT_STREQ(list[0].c_str(), "status=read");
  EXPECT_STREQ(AK_FindKeyValue(list, "Min"), "3");
  EXPECT_STREQ(AK_FindKeyValue(list, "Minimum"), "4");
  EXPECT_EQ(AK_FindKeyValue(list, "Mini"), nullptr);
  AK_SetKeyValue(list, "Min", "5");
  AK_SetKeyValue(list, "New", "x=y");
  EXPECT_EQ(AK_WriteClassValues("Cv", list), 0);
  EXPECT_EQ(ReadFile(dirs.user / "Cv.clv"), "Min=5\nMinimum=4\nNew=x=y\n");
  AK_SetKeyValue(list, "Min", "6");
  EXPECT_EQ(AK_WriteClassValues("Cv", list), 0);
  EXPECT_EQ(ReadFile(dirs.user / "Cv.clv"), "Min=5\nMinimum=4\nNew=x=y\n");

  AK_Array<AK_String> fresh;
  AK_LoadClassValues("Absent", fresh);
  ASSERT_EQ(fresh.Size(), 1);
  EXPECT_EQ(AK_WriteClassValues("Absent", fresh), 0);
  EXPECT_FALSE(std::filesystem::exists(dirs.user / "Absent.clv"));
}

TEST(ClassFiles, NodeLabelsFollowTheLanguage)
{
  AK_AttributeNode* table =
      AK_LoadClassAttributeTable("obj.T\n\tint.Size:Size\n\t\tgerman:Groesse\n\tplain\n", nullptr);
  AK_AttributeNode* size = AK_NodeChild(table, 0);
  EXPECT_STREQ(AK_GetNodeLabel(size).c_str(), "Size");
  AK_SetLanguage("german");
  EXPECT_STREQ(AK_GetNodeLabel(size).c_str(), "Groesse");
  AK_SetLanguage("default");
  EXPECT_STREQ(AK_GetNodeLabel(AK_NodeChild(table, 1)).c_str(), "plain");
  EXPECT_STREQ(AK_GetNodeLabel(nullptr).c_str(), "");
  delete table;
}

TEST(ClassFiles, EveryShippedTableFollowsTheRules)
{
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(TORVU_TEST_ATTRIBUTES_DIR)) {
    if (entry.path().extension() != ".atr") continue;
    AK_CheckClassFileFormat(entry.path().string().c_str());
    ++count;
  }
  EXPECT_GE(count, 2);
}

TEST(Conformance, FrameworkClasses)
{
  AK_RunConformanceTest("AK_Object");
  AK_RunConformanceTest("AK_Container");
  // The console controller, with the controller's table as its base.
  AK_RunConformanceTest("AK_TerminalController");
  AK_RunConformanceTest("AK_UserObj");
  AK_Container parent("parent", nullptr);
  AK_RunConformanceTest("AK_Object", &parent);
  AK_RunConformanceTest("AK_Group", &parent);
  EXPECT_EQ(parent.ComponentCount(), 0);
}

TEST(Conformance, TestClasses)
{
  AK_Container parent("parent", nullptr);
  AK_RunConformanceTest("TST_Level2", &parent);
  AK_RunConformanceTest("TST_Holder", &parent);
}
