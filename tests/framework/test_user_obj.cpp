// User objects: named and inline attribute sets with their tables, scripts and default
// commands, the update script, saving and loading, and tables that outlive a change of set.
#include <filesystem>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "AK_CurrentObject.h"
#include "TestClasses.h"

namespace {

void WriteCounterSet()
{
  static bool done = false;
  if (done) return;
  done = true;
  const std::string& dir = TestUserAttributesDirectory();
  WriteFile(dir + "Counter.atr", "obj.Counter\n\tdoc:A counter.\n"
                                 "\tint.Count:Count\n\t\tset:SetCount\n\t\tdoc:The count.\n"
                                 "\tstring.Label:$label\n\t\tset:$label\n\t\tdoc:A label kept in a variable.\n"
                                 "\tapply.Increment\n\t\tset:Increment\n\t\tdoc:Adds one.\n");
  WriteFile(dir + "Counter.cint",
                "//ast_sci the counter's script\n"
                "int count = 0;\n"
                "int updates = 0;\n"
                "void Count(char v[]) { sprintf(v, \"%d\", count); }\n"
                "void SetCount(char v[]) { count = atoi(v); }\n"
                "void Increment(char v[]) { count = count + 1; }\n"
                "void Update()\n{\n  char n[16];\n  updates = updates + 1;\n  sprintf(n, \"%d\", updates);\n"
                "  set(\"\", \"$updates\", n);\n  set(\"..\", \"$seen_from_update\", n);\n}\n"
                "void Morph(char v[]) { set(\"\", \"AttributesName\", v); count = 1000; }\n");
  WriteFile(dir + "Counter.def",
            "set(\"\", \"SetCount\", \"5\")\nset(\"\", \"$defaults\", \"ran\")\nset(\"\", \"Increment\", \"\")\n");
  WriteFile(dir + "Faulty.atr", "obj.Faulty\n\tdoc:A set whose script does not compile.\n");
  WriteFile(dir + "Faulty.cint", "void Id(char v[]) { strcpy(v, \"x\") }\n");
}

const char* const kInline =
    "obj.Inline\n\tdoc:An inline set.\n\tint.N:N\n\t\tset:SetN\n\t\tdoc:A number.\n"
    "\tint.Tenfold:Tenfold\n\t\tdoc:Ten times the number.\n"
    "//ast_sci\nint n = 0;\nvoid N(char v[]) { sprintf(v, \"%d\", n); }\n"
    "void Tenfold(char v[]) { sprintf(v, \"%d\", n * 10); }\nvoid SetN(char v[]) { n = atoi(v); }\n";

std::string Commands(AK_Object* o)
{
  AK_String out;
  o->GetCommandsList(out, 'g', 0, 0);
  return out.c_str();
}

}  // namespace

TEST(UserObj, NamedSetWithTableScriptAndDefaults)
{
  WriteCounterSet();
  AK_Container top("top", nullptr);
  AK_UserObj* u = new AK_UserObj("u", &top);
  top.AddComponent(u);
  EXPECT_EQ(u->Set("AttributesName", "Counter"), 1);
  EXPECT_STREQ(AK_ErrorText.c_str(), "");
  EXPECT_GT(u->ModificationTime("AttributesName"), 0);
  EXPECT_STREQ(u->Get("Type").c_str(), "Counter");
  EXPECT_EQ(u->IsA("UserObj") + u->IsA("Object"), 2);
  EXPECT_EQ(Commands(u).rfind("Count%AK_SEP%$label%AK_SEP%AttributesName%AK_SEP%Type%AK_SEP%", 0), 0u);
  // The default commands ran, in file order.
  EXPECT_STREQ(u->Get("Count").c_str(), "6");
  EXPECT_STREQ(u->GetVariable("$defaults").c_str(), "ran");
  u->Set("Increment", "");
  EXPECT_STREQ(u->Get("Count").c_str(), "7");

  // Update runs the script on behalf of the object; an inactive object runs nothing.
  u->Update();
  u->Update();
  EXPECT_STREQ(u->GetVariable("$updates").c_str(), "2");
  EXPECT_STREQ(top.GetVariable("$seen_from_update").c_str(), "2");
  int32_t stamp = u->UpdateStamp();
  u->Set("Active", "0");
  u->Update();
  EXPECT_STREQ(u->GetVariable("$updates").c_str(), "2");
  EXPECT_EQ(u->UpdateStamp(), stamp);
  EXPECT_EQ(AK_CurrentObjectStack().Size(), 0);

  // The same name again loads the set again: a fresh script and the defaults once more.
  u->Set("SetCount", "40");
  u->Set("AttributesName", "Counter");
  EXPECT_STREQ(u->Get("Count").c_str(), "6");
}

TEST(UserObj, InlineSets)
{
  WriteCounterSet();
  AK_UserObj u("u", nullptr);
  EXPECT_EQ(u.Set("AttributesName", kInline), 1);
  EXPECT_STREQ(u.Get("AttributesName").c_str(), kInline);
  EXPECT_STREQ(u.Get("Type").c_str(), "Inline");
  u.Set("SetN", "4");
  EXPECT_STREQ(u.Get("Tenfold").c_str(), "40");

  // An inline set named like a set with default commands runs none.
  u.Set("AttributesName", "obj.Counter\n\tdoc:Inline, without script.\n");
  EXPECT_STREQ(u.Get("Type").c_str(), "Counter");
  EXPECT_STREQ(u.GetVariable("$defaults").c_str(), "");
  EXPECT_STREQ(u.Get("N").c_str(), "%AK_NULL%");  // no script any more

  // Without a final line end, before the script or at the very end.
  u.Set("AttributesName", "obj.Bare");
  EXPECT_STREQ(u.Get("Type").c_str(), "Bare");
  u.Set("AttributesName", "obj.Short\n\tint.X:X\n\t\tset:X//ast_sci\nvoid X(char v[]) { strcpy(v, \"ex\"); }");
  EXPECT_STREQ(u.Get("Type").c_str(), "Short");
  EXPECT_STREQ(u.Get("X").c_str(), "ex");
  EXPECT_EQ(Commands(&u).rfind("X%AK_SEP%AttributesName%AK_SEP%", 0), 0u);

  // Without a set: the user object's own attribute in front of the plain object's.
  u.Set("AttributesName", "");
  EXPECT_STREQ(u.Get("Type").c_str(), "UserObj");
  EXPECT_STREQ(u.Get("X").c_str(), "%AK_NULL%");
  AK_Object plain("plain", nullptr);
  EXPECT_EQ(Commands(&u), "AttributesName%AK_SEP%" + Commands(&plain));
}

TEST(UserObj, MissingAndFaultySets)
{
  WriteCounterSet();
  AK_UserObj u("u", nullptr);
  MessageCapture messages;
  u.Set("AttributesName", "Nope");
  EXPECT_TRUE(messages.Contains("cannot open attribute file " + std::string(AttributesDirectory.c_str()) + "Nope.atr!"));
  EXPECT_STREQ(u.Get("AttributesName").c_str(), "Nope");
  EXPECT_STREQ(u.Get("Type").c_str(), "UserObj");

  messages.Clear();
  u.Set("AttributesName", "Faulty");
  EXPECT_STREQ(u.Get("Type").c_str(), "Faulty");
  bool listed = false;
  for (const auto& m : messages.messages)
    listed = listed || m.rfind("INFO:1 syntax errors in AST_SCI file " + TestUserAttributesDirectory() + "Faulty.cint:\n", 0) == 0;
  EXPECT_TRUE(listed);
  EXPECT_STREQ(u.Get("Id").c_str(), "u");
}

TEST(UserObj, TablesOutliveAChangeOfSet)
{
  WriteCounterSet();
  AK_UserObj u("u", nullptr);
  u.Set("AttributesName", "Counter");
  AK_AttributeNode* old = u.GetClassInfo();
  // The script changes the object's set while its own function runs.
  EXPECT_EQ(u.Set("Morph", "obj.Other\n\tdoc:Another set.\n"), 1);
  EXPECT_STREQ(u.Get("Type").c_str(), "Other");
  EXPECT_STREQ(AK_NodeName(old), "obj.Counter");
  AK_Array<AK_String> list;
  AK_CollectCommands(&u, list, old, 'g', 0, 0);
  EXPECT_STREQ(list[0].c_str(), "Count");
  u.Set("AttributesName", "Counter");
  EXPECT_EQ(u.GetClassInfo(), old);  // the same text gives the same table
}

TEST(UserObj, SavedAndLoadedWithTheirSets)
{
  WriteCounterSet();
  ScratchDir dir;
  std::string before, after;
  {
    AK_Container top("top", nullptr);
    AK_UserObj* named = new AK_UserObj("named", &top);
    top.AddComponent(named);
    named->Set("AttributesName", "Counter");
    named->Set("SetCount", "9");
    named->Set("$label", "a \"quoted\" label");
    AK_UserObj* inlined = new AK_UserObj("inlined", &top);
    top.AddComponent(inlined);
    inlined->Set("AttributesName", kInline);
    inlined->Set("SetN", "3");
    top.SaveProjectAs(dir.Path().c_str());
    ASSERT_STREQ(AK_ErrorText.c_str(), "");
    top.SaveAttributesRecursively((dir / "before.macro").c_str());
    before = ReadFile(dir / "before.macro");
  }
  // The set comes first, so that its attributes exist when their values are set.
  EXPECT_EQ(ReadFile(dir / "named/Counter.atr").rfind("set(\"\", \"AttributesName\", \"Counter\")\n"
                                                          "set(\"\", \"SetCount\", \"9\")\n",
                                                          0),
            0u);
  EXPECT_TRUE(std::filesystem::exists(dir / "inlined/Inline.atr"));

  // User objects are made by their owner (as the project does on a command), then loaded.
  AK_Container top("top", nullptr);
  top.AddComponent(new AK_UserObj("named", &top));
  top.AddComponent(new AK_UserObj("inlined", &top));
  top.LoadProject(dir.Path().c_str());
  EXPECT_STREQ(AK_ErrorText.c_str(), "");
  AK_Object* named = top.GetComponent("named");
  EXPECT_STREQ(named->Get("Type").c_str(), "Counter");
  EXPECT_STREQ(named->Get("Count").c_str(), "9");
  EXPECT_STREQ(top.GetComponent("inlined")->Get("Tenfold").c_str(), "30");
  top.SaveAttributesRecursively((dir / "after.macro").c_str());
  after = ReadFile(dir / "after.macro");
  EXPECT_EQ(after, before);

  // Saved again under another set, the directory keeps the files of the new set only.
  named->Set("AttributesName", kInline);
  named->SaveAs((dir / "named").c_str());
  EXPECT_FALSE(std::filesystem::exists(dir / "named/Counter.atr"));
  EXPECT_FALSE(std::filesystem::exists(dir / "named/Counter.dat"));
  EXPECT_TRUE(std::filesystem::exists(dir / "named/Inline.atr"));
  AK_UserObj again("again", nullptr);
  again.Load((dir / "named").c_str());
  EXPECT_STREQ(AK_ErrorText.c_str(), "");
  EXPECT_STREQ(again.Get("Type").c_str(), "Inline");
  named->Set("AttributesName", "Counter");
  named->Set("SetCount", "9");

  // Copying the attributes of a user object brings its set along.
  AK_UserObj copy("copy", nullptr);
  copy.AssignAttributesOf(named, AK_Array<AK_String>());
  EXPECT_STREQ(copy.Get("Type").c_str(), "Counter");
  EXPECT_STREQ(copy.Get("Count").c_str(), "9");
  EXPECT_STREQ(copy.GetVariable("$label").c_str(), "a \"quoted\" label");
}

