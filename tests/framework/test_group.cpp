// Groups: membership commands, round-robin distribution of list values, the members' common
// class, filters written as scripts, and links that never outlive their objects.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "AK_CurrentObject.h"
#include "TestClasses.h"
#include "ast_sci.h"

namespace {

std::string Str(const AK_String& s) { return s.c_str(); }

std::string Sep(std::initializer_list<const char*> elements)
{
  std::string out;
  for (const char* e : elements) out += std::string(e) + "%AK_SEP%";
  return out;
}

// A tree: top holder "T" with the holder "A" (members a0 .. a2 of Level1) and the holder "B"
// (b0 of Level2, b1 a plain container), and the group "G" below the top.
struct GroupTree {
  TST_Holder top{"T", nullptr};
  TST_Holder* a;
  TST_Holder* b;
  AK_Group* group;
  std::vector<AK_Object*> as;

  template <class C>
  static C* Add(AK_Object* parent, const char* id)
  {
    C* o = new C(id, parent);
    parent->AddComponent(o);
    return o;
  }
  GroupTree() : a(Add<TST_Holder>(&top, "A")), b(Add<TST_Holder>(&top, "B"))
  {
    for (const char* id : {"a0", "a1", "a2"}) as.push_back(Add<TST_Level1>(a, id));
    Add<TST_Level2>(b, "b0");
    Add<AK_Container>(b, "b1");
    group = Add<AK_Group>(&top, "G");
  }
  std::string Members() { return Str(group->Get("GetComponentList")); }
};

}  // namespace

// Member i receives element i mod n of a list value; the answer is the number of members
// that took it.
TEST(Group, ListValuesAreDealtOutRoundRobin)
{
  struct Case {
    int members;
    std::vector<std::string> elements;  // each followed by %AK_SEP%
    std::string rest;                   // after the last separator
  };
  const Case cases[] = {
      {3, {"4", "9"}, ""}, {3, {"1", "2", "3", "4"}, ""}, {2, {"5"}, ""},
      {3, {"", "7"}, ""},  {3, {"1", "2"}, "8"},
  };
  for (const Case& c : cases) {
    GroupTree t;
    for (int i = 0; i < c.members; ++i) t.group->AddLink(t.as[static_cast<size_t>(i)]);
    std::string value;
    for (const std::string& e : c.elements) value += e + "%AK_SEP%";
    value += c.rest;
    std::vector<std::string> dealt(c.elements);
    if (!c.rest.empty()) dealt.push_back(c.rest);

    EXPECT_EQ(t.group->Set("Value", value.c_str()), c.members) << value;
    std::string expectedAnswer;
    for (int i = 0; i < c.members; ++i) {
      std::string expected = std::to_string(std::atoi(dealt[static_cast<size_t>(i) % dealt.size()].c_str()));
      EXPECT_EQ(Str(t.as[static_cast<size_t>(i)]->Get("Value")), expected) << value << " member " << i;
      expectedAnswer += expected + "%AK_SEP%";
    }
    EXPECT_EQ(Str(t.group->Get("Value")), expectedAnswer);
  }
}

TEST(Group, PlainValuesReachEveryMemberAndOwnAttributesKeepListValues)
{
  GroupTree t;
  for (AK_Object* o : t.as) t.group->AddLink(o);
  EXPECT_EQ(t.group->Set("Value", "6"), 3);
  EXPECT_EQ(Str(t.group->Get("Value")), Sep({"6", "6", "6"}));
  // Nobody among the members takes the group's own attribute: the whole value is stored.
  EXPECT_EQ(t.group->Set("SelectedValue", "x%AK_SEP%y%AK_SEP%"), 1);
  EXPECT_EQ(Str(t.group->Get("SelectedValue")), "x%AK_SEP%y%AK_SEP%");
  // A member that does not know an attribute makes the group answer for itself.
  t.group->AddLink(t.b->GetComponent("b1"));
  EXPECT_EQ(Str(t.group->Get("Value")), "%AK_NULL%");
  EXPECT_EQ(Str(t.group->Get("Id")), "G");
}

TEST(Group, WithoutMembersEveryForeignAttributeIsEmpty)
{
  GroupTree t;
  EXPECT_FALSE(t.group->IsA("Object"));  // a group is only its own type
  for (auto [name, answer] : {std::pair{"Active", ""}, {"Value", ""}, {"ContainedObjectsList", ""},
                              {"FullVisibility", "w"}, {"SingleTypeVisibility", "-"}, {"AttributeVisibility", "-"}})
    EXPECT_EQ(Str(t.group->Get(name)), answer) << name;
  t.group->Set("SingleType", "1");
  EXPECT_EQ(Str(t.group->Get("FullVisibility")), "-");
  EXPECT_EQ(Str(t.group->Get("SingleTypeVisibility")), "w");
  t.group->Set("SingleType", "yes");
  EXPECT_EQ(Str(t.group->Get("SingleType")), "0");
}

TEST(Group, MembershipCommands)
{
  GroupTree t;
  AK_Group& g = *t.group;
  g.Set("AppendObject", "T/G");  // the group itself
  g.Set("AppendObject", "T/nowhere");
  EXPECT_EQ(t.Members(), "");
  g.Set("AppendObject", "T/A/a1");
  g.Set("AppendObject", "T/B/b0");
  EXPECT_EQ(t.Members(), Sep({"a1", "b0"}));
  EXPECT_FALSE(g.IsA("Level1"));  // nor of its members' type
  EXPECT_EQ(Str(g.Get("ContainedObjectsList")), Sep({"../A/a1", "../B/b0"}));
  EXPECT_EQ(Str(g.Get("GetAllObjectsList")), Sep({"T/A", "T/A/a0", "T/A/a2", "T/B", "T/B/b1"}));

  // The saved list, replayed on a fresh group beside it, links the same objects.
  AK_Group* copy = new AK_Group("H", &t.top);
  t.top.AddComponent(copy);
  copy->Set("ContainedObjectsList", Str(g.Get("ContainedObjectsList")).c_str());
  EXPECT_EQ(Str(copy->Get("GetComponentList")), Sep({"a1", "b0"}));

  g.Set("RemoveObject", "a1");
  EXPECT_EQ(t.Members(), Sep({"b0"}));
  g.Set("SelectedObjectType", "Level1");
  g.Set("AppendAllObjectsOfType", "");
  g.Set("AppendAllObjectsOfType", "");  // twice: still once each
  EXPECT_EQ(t.Members(), Sep({"b0", "a0", "a1", "a2"}));  // Level2 derives from Level1: b0 counts
  g.Set("SelectedObjectType", "Level2");
  g.Set("RemoveAllObjectsOfType", "");
  EXPECT_EQ(t.Members(), Sep({"a0", "a1", "a2"}));
  g.Set("RemoveAllObjects", "");
  EXPECT_EQ(t.Members(), "");
}

TEST(Group, MatchingObjects)
{
  GroupTree t;
  AK_Group& g = *t.group;
  t.as[0]->Set("Value", "3");
  t.as[2]->Set("Value", "3");
  g.Set("SelectedObjectType", "Level1");
  g.Set("SelectedAttribute", "Value");
  EXPECT_EQ(Str(g.Get("AttributeVisibility")), "w");
  EXPECT_EQ(Str(g.Get("ValueOptions")), Sep({"3", "0"}));
  std::string options = Str(g.Get("AttributeOptions"));
  EXPECT_EQ(options.rfind("%AK_SEP%Value%AK_SEP%", 0), 0u) << options;
  EXPECT_GT(options.find("%AK_SEP%Extra%AK_SEP%"), options.find("%AK_SEP%Value%AK_SEP%"))
      << options;  // Extra comes from b0, the last candidate
  g.Set("SelectedValue", "3");
  g.Set("AppendAllMatchingObjects", "");
  EXPECT_EQ(t.Members(), Sep({"a0", "a2"}));
  t.as[1]->Set("Value", "3");
  g.Set("AppendObject", "T/A/a1");
  g.Set("RemoveAllMatchingObjects", "");  // neighbours matching in a row: none is skipped
  EXPECT_EQ(t.Members(), "");

  // An empty type appends nothing, and removes regardless of type.
  g.Set("SelectedObjectType", "");
  g.Set("SelectedAttribute", "");
  g.Set("AppendAllMatchingObjects", "");
  EXPECT_EQ(t.Members(), "");
  for (AK_Object* o : t.as) g.AddLink(o);
  g.Set("RemoveAllMatchingObjects", "");
  EXPECT_EQ(t.Members(), "");
}

TEST(Group, ChoiceLists)
{
  GroupTree t;
  EXPECT_EQ(Str(t.group->Get("GetObjectTypesList")),
            Sep({"Holder", "Container", "Object", "Level1", "Level2", "Group"}));
  t.group->Set("SelectedObjectType", "Container");
  EXPECT_EQ(Str(t.group->Get("GetObjectsOfTypeList")), Sep({"T/A", "T/B", "T/B/b1"}));
  t.group->AddLink(t.b);
  EXPECT_EQ(Str(t.group->Get("GetObjectsOfTypeList")), Sep({"T/A", "T/B/b1"}));
}

// The common class of the members, computed by brute force: the most derived type of the
// first member's chain that every member is.
TEST(Group, ClassInfoShowsTheMembersCommonClass)
{
  GroupTree t;
  std::vector<AK_Object*> pool = {t.as[0], t.as[1], t.b->GetComponent("b0"), t.b->GetComponent("b1"),
                                  t.a, t.b};
  std::mt19937 random(7);
  for (int round = 0; round < 60; ++round) {
    t.group->Set("RemoveAllObjects", "");
    std::vector<AK_Object*> members;
    int n = 1 + static_cast<int>(random() % 4);
    for (int i = 0; i < n; ++i) {
      AK_Object* o = pool[random() % pool.size()];
      if (std::find(members.begin(), members.end(), o) == members.end()) members.push_back(o);
      t.group->AddLink(o);
    }
    AK_Array<AK_String> chain;
    members[0]->GetTypeChain(chain);
    std::string expected;
    for (const AK_String& type : chain) {
      bool all = true;
      for (AK_Object* m : members) all = all && m->IsA(type);
      if (all) {
        expected = "obj." + Str(type);
        break;
      }
    }
    AK_AttributeNode* table = t.group->GetClassInfo();
    AK_AttributeNode* own = AK_Group::ClassRecord().table;
    ASSERT_EQ(table->Count(), own->Count() + 1);
    EXPECT_EQ(Str(table->LastChild()->_name), expected) << round;
    // The group's own entries stay in front.
    for (int i = 0; i < own->Count(); ++i) EXPECT_EQ(table->Child(i), own->Child(i));
  }
  t.group->Set("RemoveAllObjects", "");
  EXPECT_EQ(t.group->GetClassInfo()->Count(), AK_Group::ClassRecord().table->Count());
}

TEST(Group, GroupsThatHoldEachOtherEnd)
{
  GroupTree t;
  AK_Group* other = new AK_Group("H", &t.top);
  t.top.AddComponent(other);
  t.group->AddLink(other);
  t.group->AddLink(t.as[0]);
  other->AddLink(t.group);
  other->AddLink(t.as[1]);
  t.group->Set("Value", "4");
  EXPECT_EQ(Str(t.as[0]->Get("Value")), "4");
  EXPECT_EQ(Str(t.as[1]->Get("Value")), "4");
  EXPECT_NE(Str(t.group->Get("Value")), "");
  EXPECT_GE(t.group->ModificationTime("Value"), t.as[0]->ModificationTime("Value"));

  // A group never becomes its own member.
  AK_Group* self = new AK_Group("S", &t.top);
  t.top.AddComponent(self);
  self->AppendComponentsOf(&t.top);
  EXPECT_EQ(Str(self->Get("GetComponentList")), Sep({"A", "B", "G", "H"}));
}

TEST(Group, ModificationTimeFallsBackToTheMembers)
{
  GroupTree t;
  t.group->AddLink(t.as[0]);
  t.group->AddLink(t.as[1]);
  EXPECT_EQ(t.group->ModificationTime("Value"), 0);
  t.as[1]->Set("Value", "2");
  EXPECT_EQ(t.group->ModificationTime("Value"), t.as[1]->ModificationTime("Value"));
  t.group->Set("SelectedValue", "1");
  EXPECT_GT(t.group->ModificationTime("SelectedValue"), 0);
  t.group->Set("Value", "3");  // taken by the members: the group's own stamp stays 0
  EXPECT_EQ(t.group->ModificationTime("Value"),
            std::max(t.as[0]->ModificationTime("Value"), t.as[1]->ModificationTime("Value")));
}

TEST(Group, SavedAttributesAreTheGroupsOwn)
{
  GroupTree t;
  ScratchDir dir;
  t.group->AddLink(t.as[2]);
  t.group->Set("SelectedObjectType", "Level1");
  t.group->Set("SelectedAttribute", "Value");
  t.group->Set("SelectedValue", "say \"hi\"");
  t.group->SaveAttributes((dir / "g.atr").c_str());
  EXPECT_EQ(ReadFile(dir / "g.atr"),
            "set(\"\", \"SingleType\", \"0\")\n"
            "set(\"\", \"SelectedObjectType\", \"Level1\")\n"
            "set(\"\", \"SelectedAttribute\", \"Value\")\n"
            "set(\"\", \"SelectedValue\", \"say %%qhi%%q\")\n"
            "set(\"\", \"Filter\", \"\")\n"
            "set(\"\", \"ContainedObjectsList\", \"../A/a2%AK_SEP%\")\n");
  MessageCapture messages;
  t.group->SaveAttributes((dir / "missing/g.atr").c_str());
  EXPECT_EQ(Str(AK_ErrorText), "cannot open file " + (dir / "missing/g.atr") + " for saving attributes!");
}

// --- filters ---

TEST(GroupFilter, PassesOnlyWhatTheScriptAccepts)
{
  GroupTree t;
  ast_sci_namespace before = ast_sci_get_namespace();
  t.group->Set("SelectedObjectType", "Level1");
  EXPECT_EQ(t.group->Set("Filter", "return strstr(id, \"a1\") < 0;"), 1);
  EXPECT_EQ(Str(AK_ErrorText), "");
  EXPECT_EQ(Str(t.group->Get("GetObjectsOfTypeList")), Sep({"T/A/a0", "T/A/a2", "T/B/b0"}));
  t.group->Set("AppendAllObjectsOfType", "");
  EXPECT_EQ(t.Members(), Sep({"a0", "a2", "b0"}));
  EXPECT_EQ(ast_sci_get_namespace(), before);  // the filter's namespace is gone again

  // A body that does not compile keeps the old filter; an empty one too.
  t.group->Set("Filter", "return 1;");
  MessageCapture messages;
  t.top.ExecuteCommand("set(\"G\", \"Filter\", \"return (;\")", 1);
  EXPECT_EQ(Str(AK_ErrorText), "cannot compile filter 'return (;'");
  EXPECT_EQ(Str(t.group->Get("Filter")), "return 1;");
  t.group->Set("Filter", "");
  EXPECT_EQ(Str(AK_ErrorText), "");
  EXPECT_EQ(Str(t.group->Get("Filter")), "return 1;");
  // A filter that refuses, or ends with a run-time error, passes nothing.
  for (const char* body : {"return 0;", "int a[2]; int i = strlen(id); return a[i] + 1;"}) {
    t.group->Set("Filter", body);
    EXPECT_EQ(Str(AK_ErrorText), "");
    EXPECT_EQ(Str(t.group->Get("GetObjectsOfTypeList")), "") << body;
  }
}

// The group's own switches decide what its table shows, also while members would answer
// every other name.
TEST(Group, VisibilityOfTheOwnEntries)
{
  GroupTree t;
  for (AK_Object* o : t.as) t.group->AddLink(o);
  auto visible = [&t] {
    AK_String list;
    t.group->GetCommandsList(list, 'g', 1, 0);
    return "%AK_SEP%" + Str(list);
  };
  EXPECT_NE(visible().find("%AK_SEP%SelectedObjectType%AK_SEP%"), std::string::npos);
  EXPECT_EQ(visible().find("%AK_SEP%SelectedValue%AK_SEP%"), std::string::npos);
  EXPECT_NE(visible().find("%AK_SEP%Value%AK_SEP%"), std::string::npos);  // the members' class
  t.group->Set("SelectedAttribute", "Value");
  EXPECT_NE(visible().find("%AK_SEP%SelectedValue%AK_SEP%"), std::string::npos);
  t.group->Set("SingleType", "1");
  EXPECT_EQ(visible().find("%AK_SEP%SelectedObjectType%AK_SEP%"), std::string::npos);

  // Only the attributes every member shares are offered.
  t.group->Set("RemoveAllObjects", "");
  t.group->AddLink(t.as[0]);
  t.group->AddLink(t.b->GetComponent("b0"));
  AK_String gets;
  t.group->GetCommandsList(gets, 'g', 0, 0);
  EXPECT_NE(Str(gets).find("%AK_SEP%Value%AK_SEP%"), std::string::npos);
  EXPECT_EQ(Str(gets).find("Extra"), std::string::npos);
}

// This program reads no parameter-set files: the table is empty.
TEST(ParameterSetsWithoutFiles, OptionsOfAnEmptyTable)
{
  AK_Object o("o", nullptr);
  EXPECT_EQ(Str(o.Get("ParameterSetOptions")), "none%AK_SEP%");
  o.Set("ParameterSet", "anything");
  EXPECT_EQ(Str(o.Get("ParameterSet")), "none");
}

// The host function "get" in a filter run by a macro line: nothing else has pushed an object,
// so the group must be the current one for "get" to find the candidates.
TEST(GroupFilter, HostGetFromAMacro)
{
  GroupTree t;
  ScratchDir dir;
  t.as[0]->Set("Value", "3");
  t.as[2]->Set("Value", "8");
  WriteFile(dir / "filter.macro",
                "set(\"G\", \"SelectedObjectType\", \"Level1\")\n"
                "set(\"G\", \"Filter\", \"char v[64]; get(id, %%qValue%%q, v); return atoi(v) > 5;\")\n"
                "set(\"G\", \"AppendAllObjectsOfType\", \"\")\n");
  t.top.ExecMacro((dir / "filter.macro").c_str(), 1);
  EXPECT_EQ(Str(AK_ErrorText), "");
  EXPECT_EQ(Str(t.group->Get("Filter")), "char v[64]; get(id, \"Value\", v); return atoi(v) > 5;");
  EXPECT_EQ(t.Members(), Sep({"a2"}));
  EXPECT_EQ(AK_CurrentObjectStack().Size(), 0);
  // The matching commands do not use the filter.
  t.group->Set("SelectedAttribute", "");
  t.group->Set("AppendAllMatchingObjects", "");
  EXPECT_EQ(t.Members(), Sep({"a2", "a0", "a1", "b0"}));
  // A relative path in the filter starts at the group.
  t.group->Set("RemoveAllObjects", "");
  t.group->Set("Filter", "char v[64]; get(\"../A/a0\", \"Value\", v); return atoi(v) == 3;");
  EXPECT_EQ(Str(t.group->Get("GetObjectsOfTypeList")), Sep({"T/A/a0", "T/A/a1", "T/A/a2", "T/B/b0"}));
}

