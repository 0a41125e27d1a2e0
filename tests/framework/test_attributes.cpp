// Base attributes of every object, "$" variables, stamps and the address forms.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "TestClasses.h"

namespace {

AK_Object* Add(AK_Object* parent, const char* id)
{
  AK_Object* o = new AK_Object(id, parent);
  parent->AddComponent(o);
  return o;
}

}  // namespace

TEST(Variables, Names)
{
  struct Case { const char* name; int expected; };
  const Case cases[] = {{"$", 0},    {"x", 0},       {"$a-b", 0}, {"", 0},       {"$a", 1},
                        {"$_1", 1},  {"$endITC", 1}, {"$a b", 0}, {"a$b", 0},    {"$$", 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(AK_IsVariableName(c.name), c.expected);
  }
}

TEST(Variables, ReadingCreatesAssignmentsSplitAtTheFirstEquals)
{
  AK_Object o("o", nullptr);
  EXPECT_STREQ(o.GetVariable("$new").c_str(), "");
  EXPECT_STREQ(o.Get("VariableValues").c_str(), "$new=%AK_SEP%");
  EXPECT_STREQ(o.GetVariable("").c_str(), "");
  EXPECT_STREQ(o.Get("VariableValues").c_str(), "$new=%AK_SEP%");

  AK_ErrorText = "";
  o.SetVariableValue("$eq=a=b");
  EXPECT_STREQ(o.GetVariable("$eq").c_str(), "a=b");
  o.SetVariableValue("=nothing");
  EXPECT_STREQ(AK_ErrorText.c_str(), "");
  o.SetVariableValue("novalue");
  EXPECT_STREQ(AK_ErrorText.c_str(), "missing '=' in variable assignment 'novalue'");
  o.SetVariableValue("bad=1");
  EXPECT_STREQ(AK_ErrorText.c_str(), "invalid variable name 'bad'");

  EXPECT_EQ(o.Set("VariableValues", "$x=1%AK_SEP%$y=2%AK_SEP%"), 1);
  EXPECT_STREQ(o.Get("VariableValues").c_str(),
               "$new=%AK_SEP%$eq=a=b%AK_SEP%$x=1%AK_SEP%$y=2%AK_SEP%");
  EXPECT_EQ(o.Set("SetVariableValue", "$y=3"), 1);
  EXPECT_STREQ(o.Get("$y").c_str(), "3");
}

TEST(Variables, SettingAVariableStampsNothing)
{
  AK_Object o("o", nullptr);
  EXPECT_EQ(o.Set("$x", "5"), 1);
  EXPECT_STREQ(o.Get("$x").c_str(), "5");
  EXPECT_EQ(o.LastModificationTime(), 0);
  EXPECT_EQ(o.ModificationTime("$x"), 0);
}

TEST(Stamps, StrictlyIncreasingAcrossASavePoint)
{
  AK_Object o("o", nullptr);
  int32_t previous = 0;
  for (int i = 0; i < 1000; ++i) {
    o.MarkModified("Save");
    int32_t save = o.ModificationTime("Save");
    EXPECT_GT(save, previous);
    o.Set("Active", "1");  // within the same millisecond as a rule
    EXPECT_GT(o.ModificationTime("Active"), save);
    EXPECT_EQ(o.LastModificationTime(), o.ModificationTime("Active"));
    previous = o.ModificationTime("Active");
  }
}

TEST(Stamps, AddressesAndClassForms)
{
  std::unique_ptr<AK_Object> top(new AK_Container("T", nullptr));
  AK_Object* a = Add(top.get(), "a");
  a->Set("Active", "1");
  EXPECT_EQ(top->ModificationTime("a:Active"), a->ModificationTime("Active"));
  EXPECT_GT(top->ModificationTime("a:Active"), 0);
  EXPECT_EQ(top->ModificationTime("Object::Active"), 0);
  EXPECT_EQ(top->ModificationTime("nothing:Active"), 0);
  EXPECT_EQ(top->ModificationTimeRecursive("Active"), a->ModificationTime("Active"));
}

TEST(Attributes, UnknownNames)
{
  AK_Object o("o", nullptr);
  AK_ErrorText = "kept";
  EXPECT_STREQ(o.Get("NoSuchAttribute").c_str(), AK_NULL);
  EXPECT_STREQ(AK_ErrorText.c_str(), "kept");
  EXPECT_EQ(o.Set("NoSuchAttribute", "1"), 0);
  EXPECT_STREQ(AK_ErrorText.c_str(), "kept");
  EXPECT_STREQ(o.Get("Object::Active").c_str(), AK_NULL);
  EXPECT_STREQ(o.Get("missing:Active").c_str(), AK_NULL);
  EXPECT_EQ(o.Set("missing:Active", "1"), 0);
  EXPECT_STREQ(o.Get("Id").c_str(), "o");
  EXPECT_STREQ(AK_ErrorText.c_str(), "");  // a known name clears it
}

TEST(Attributes, BaseValues)
{
  std::unique_ptr<AK_Object> top(new AK_Container("T", nullptr));
  AK_Object* plain = Add(top.get(), "p");
  AK_Object* below = Add(plain, "q");
  struct Case { AK_Object* object; const char* name; const char* expected; };
  const Case cases[] = {
      {plain, "GetComponentList", "q%AK_SEP%"},
      {below, "GetComponentList", ""},
      {top.get(), "IdVis", "r"},
      {plain, "IdVis", "w"},  // below a container
      {below, "IdVis", "r"},
      {plain, "SaveVis", "r"},
      {plain, "MacroFileName", "p.macro"},
      {top.get(), "DeleteVisibility", "w"},
      {below, "DeleteVisibility", AK_NULL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_STREQ(c.object->Get(c.name).c_str(), c.expected);
  }
  plain->Set("Active", "x");
  EXPECT_STREQ(plain->Get("Active").c_str(), "0");
  plain->Set("ProjectDir", "/no/such/dir");
  EXPECT_STREQ(plain->Get("SaveVis").c_str(), "r");
  EXPECT_STREQ(below->ProjectDir().c_str(), "/no/such/dir/q");
  ScratchDir dir;
  plain->Set("ProjectDir", dir.Path().c_str());
  EXPECT_STREQ(plain->Get("SaveVis").c_str(), "w");
}

TEST(Attributes, TypeFormAndPathForm)
{
  std::unique_ptr<AK_Object> top(new AK_Container("T", nullptr));
  AK_Object* a = Add(top.get(), "a");
  AK_Object* two = new TST_Level2("two", a);
  a->AddComponent(two);
  AK_Object* one = new TST_Level1("one", top.get());
  top->AddComponent(one);

  EXPECT_EQ(top->Set("Level1::Value", "4"), 1);
  EXPECT_STREQ(two->Get("Value").c_str(), "4");  // derived type
  EXPECT_STREQ(one->Get("Value").c_str(), "4");
  EXPECT_EQ(top->Set("Level2::Value", "9"), 1);
  EXPECT_STREQ(two->Get("Value").c_str(), "9");
  EXPECT_STREQ(one->Get("Value").c_str(), "4");
  EXPECT_EQ(top->Set("Nothing::Value", "1"), 1);

  EXPECT_EQ(top->Set("a/two:Extra", "12"), 1);
  EXPECT_STREQ(top->Get("a/two:Extra").c_str(), "12");
  EXPECT_STREQ(two->Get("..:Id").c_str(), "a");
  EXPECT_EQ(top->Set("a/two:Unknown", "1"), 0);
  EXPECT_EQ(top->Set("a/missing:Extra", "1"), 0);
  EXPECT_STREQ(top->Get("a/two:").c_str(), AK_NULL);  // an empty attribute name
  EXPECT_GT(two->ModificationTime("Extra"), 0);       // stamped by the object that handled it
  EXPECT_EQ(top->ModificationTime("a/two:Extra"), two->ModificationTime("Extra"));
}

TEST(Attributes, ArgumentLists)
{
  AK_Object o("o", nullptr);  // first: the program's directory is set up without arguments
  const char* argv[] = {"torvu", "-files", "dir"};
  AK_SetProgramArguments(3, argv);
  EXPECT_STREQ(o.Get("Arglist").c_str(), "torvu -files dir ");
  EXPECT_STREQ(o.Get("ArglistSep").c_str(), "torvu%AK_SEP%-files%AK_SEP%dir%AK_SEP%");
  AK_SetProgramArguments(0, nullptr);
  EXPECT_STREQ(o.Get("Arglist").c_str(), "");
}
