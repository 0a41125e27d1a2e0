// Objects deleted while an operation still walks over them: the object it runs on, its
// parent, candidates of a group, objects being saved or loaded. Each case is called directly,
// outside any command, so the operation's own scope is what keeps freed memory out of
// reach; the sanitizer checks that nothing freed is touched, and the answers afterwards show
// what is left.
#include <gtest/gtest.h>

#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "AK_CurrentObject.h"
#include "FrameworkTestSupport.h"
#include "TestClasses.h"

namespace {

// A user object whose script deletes it from its parent while its attributes are read.
const char* const kDeletedOnRead =
    "obj.Doomed\n\tint.Boom:Boom\n\t\tset:Boom\n\tint.After:After\n\t\tset:After\n"
    "//ast_sci\n"
    "void Boom(char v[]) { set(\"..\", \"DeleteComponent\", \"u\"); strcpy(v, \"1\"); }\n"
    "void After(char v[]) { strcpy(v, \"2\"); }\n"
    "void DeleteMe(char v[]) { set(\"..\", \"DeleteComponent\", \"u\"); }\n";
// User objects whose update deletes themselves, or their parent.
const char* const kDeletesItself =
    "obj.Self\n//ast_sci\nvoid Update() { set(\"..\", \"DeleteComponent\", \"self\"); }\n";
const char* const kDeletesItsParent =
    "obj.Killer\n//ast_sci\nvoid Update() { set(\"../..\", \"DeleteComponent\", \"b\"); }\n";
const char* const kFilterDeletesGroup = "set(\"..\", \"DeleteComponent\", \"G\"); return 1;";

struct Step {
  const char* path;       // relative to the top
  const char* attribute;  // "?name": a Get; "!macro": the object runs the macro file
  const char* value;      // "$DIR/" is replaced by the top's project directory
};

struct DeletionCase {
  const char* name;
  std::vector<const char*> objects;  // "parent Type id", the parent "." being the top
  std::vector<std::pair<const char*, const char*>> files;  // below the project directory
  std::vector<std::pair<const char*, const char*>> links;  // holder, linked object
  std::vector<Step> steps;                                 // the last one is checked
  const char* answer;                                      // of a last step that is a Get
  std::vector<std::pair<const char*, const char*>> expected;  // the top's Get(name)
};

std::string Expand(const char* text, const std::string& dir)
{
  std::string s(text);
  size_t at = s.find("$DIR/");
  if (at != std::string::npos) s.replace(at, 5, dir + "/");
  return s;
}

const char* const kGroupTree[] = {". Holder A", "A Level1 a0", "A Level1 a1", "A Level1 a2",
                                  ". Group G"};

const std::vector<DeletionCase>& Cases()
{
  static const std::vector<DeletionCase> cases = {
      {"an update deletes itself and, further on, the parent of the pass",
       {". Holder a", "a UserObj self", "a Level1 after", ". Holder b", "b UserObj killer",
        "b Level1 never", ". Level1 c"},
       {},
       {},
       {{"a/self", "AttributesName", kDeletesItself},
        {"b/killer", "AttributesName", kDeletesItsParent},
        {"", "Update", ""}},
       nullptr,
       {{"GetComponentList", "a%AK_SEP%c%AK_SEP%"}, {"a:GetComponentList", "after%AK_SEP%"}}},
      {"a type-wide setting deletes objects of its walk",
       {". Holder a", "a Holder b", "a/b Level1 c", "a Level1 d", ". Holder e", "e Holder b",
        "e/b Level1 c"},
       {},
       {},
       {{"", "Object::..:DeleteComponent", "b"}},
       nullptr,
       {{"a:GetComponentList", "d%AK_SEP%"}, {"e:GetComponentList", ""}}},
      {"a type-wide setting deletes the object it starts at",
       {". Holder a", "a Level1 b", ". Level1 e"},
       {},
       {},
       {{"a", "Object::..:DeleteComponent", "a"}},
       nullptr,
       {{"GetComponentList", "e%AK_SEP%"}}},
      {"saving a project deletes an object being saved",
       {". UserObj u", ". UserObj v"},
       {},
       {},
       {{"u", "AttributesName", kDeletedOnRead}, {"", "SaveProjectAs", "$DIR/saved"}},
       nullptr,
       {{"GetComponentList", "v%AK_SEP%"}, {"v:SaveVis", "w"}}},
      {"writing attributes recursively deletes an object being written",
       {". UserObj u", ". UserObj v"},
       {},
       {},
       {{"u", "AttributesName", kDeletedOnRead}, {"", "SaveAttributesRecursively", "$DIR/all.macro"}},
       nullptr,
       {{"GetComponentList", "v%AK_SEP%"}}},
      {"an attribute file deletes the subtree being loaded",
       {},
       {{"Holder.atr", "set(\"\", \"Active\", \"1\")\n"},
        {"sub/Holder.atr", "set(\"\", \"Active\", \"1\")\n"},
        {"sub/inner/Level1.atr", "set(\"../..\", \"DeleteComponent\", \"sub\")\nset(\"\", \"Value\", \"3\")\n"},
        {"sub/later/Level1.atr", "set(\"\", \"Value\", \"4\")\n"},
        {"other/Level1.atr", "set(\"\", \"Value\", \"5\")\n"}},
       {},
       {{"", "LoadProject", ""}},
       nullptr,
       {{"GetComponentList", "other%AK_SEP%"}, {"other:Value", "5"}}},
      {"a loaded component deletes the container that loads it",
       {". Holder holder"},
       {{"holder/Saved/Level1.atr", "set(\"../..\", \"DeleteComponent\", \"holder\")\n"}},
       {},
       {{"holder", "LoadComponent", "Saved"}},
       nullptr,
       {{"GetComponentList", ""}}},
      {"a component created on first use deletes itself",
       {},
       {{"Gone/Level1.atr", "set(\"..\", \"DeleteComponent\", \"Gone\")\n"}},
       {},
       {{"", "?Gone:Value", ""}},
       "%AK_NULL%",
       {{"GetComponentList", ""}}},
      {"a group filter deletes its group while the group links",
       {std::begin(kGroupTree), std::end(kGroupTree)},
       {},
       {},
       {{"G", "SelectedObjectType", "Level1"}, {"G", "Filter", kFilterDeletesGroup},
        {"G", "AppendAllObjectsOfType", ""}},
       nullptr,
       {{"GetComponentList", "A%AK_SEP%"}, {"A:GetComponentList", "a0%AK_SEP%a1%AK_SEP%a2%AK_SEP%"}}},
      {"a group filter deletes its group while the group lists",
       {std::begin(kGroupTree), std::end(kGroupTree)},
       {},
       {},
       {{"G", "SelectedObjectType", "Level1"}, {"G", "Filter", kFilterDeletesGroup},
        {"G", "?GetObjectsOfTypeList", ""}},
       "T/A/a0%AK_SEP%",  // the one that passed before the group went
       {{"GetComponentList", "A%AK_SEP%"}}},
      {"members deleted, unloaded and deleted with their subtree leave their group",
       {". Holder A", "A Level1 a0", "A Level1 a1", "A Level1 a2", ". Holder B", "B Level2 b0",
        ". Group G"},
       {},
       {{"G", "A/a0"}, {"G", "A/a1"}, {"G", "A/a2"}, {"G", "B/b0"}},
       {{"A", "DeleteObject", "a1"}, {"A", "UnloadComponent", "a2"}, {"", "DeleteComponent", "A"},
        {"G", "Value", "5"}},
       nullptr,
       {{"G:GetComponentList", "b0%AK_SEP%"}, {"G:Value", "5%AK_SEP%"}}},
      {"deleting a subtree leaves no link into it, wherever the link is held",
       {". Holder a", "a Holder b", "a/b Level1 c", ". Holder holder", "holder Holder deep"},
       {},
       {{"holder", "a"}, {"holder", "a/b/c"}, {"holder/deep", "a/b"}, {"holder/deep", "holder"},
        {"a/b", "holder"}},
       {{"", "DeleteComponent", "a"}},
       nullptr,
       {{"holder:GetComponentList", "deep%AK_SEP%"}, {"holder/deep:GetComponentList", "holder%AK_SEP%"}}},
      {"a detached object outlives its old parent, which it no longer names",
       {". Holder a", "a Level1 b", ". Holder holder"},
       {},
       {{"holder", "a/b"}},
       {{"a/b", "Detach", ""}, {"", "DeleteComponent", "a"}},
       nullptr,
       {{"holder:GetComponentList", "b%AK_SEP%"}, {"holder/b/..:Id", "%AK_NULL%"}}},
      {"a macro deletes the object that runs it",
       {". Level1 victim"},
       {{"m.macro", "set(\"..\", \"DeleteComponent\", \"victim\")\nset(\"\", \"$x\", \"1\")\n"}},
       {},
       {{"victim", "!macro", "$DIR/m.macro"}},
       nullptr,
       {{"GetComponentList", ""}}},
      {"a script function deletes the object it runs for",
       {". UserObj u"},
       {},
       {},
       {{"u", "AttributesName", kDeletedOnRead}, {"u", "DeleteMe", ""}},
       nullptr,
       {{"GetComponentList", ""}}},
  };
  return cases;
}

}  // namespace

TEST(Lifetime, DeletionsDuringAnOperation)
{
  for (const DeletionCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    for (const auto& [file, text] : c.files) {
      std::string path = dir / file;
      MakeDirectories(path.substr(0, path.rfind('/')));
      WriteTextFile(path, text);
    }
    TST_Holder top("T", nullptr);
    top.Set("ProjectDir", dir.Path().c_str());
    for (const char* spec : c.objects) {
      char parent[64], type[64], id[64];
      ASSERT_EQ(std::sscanf(spec, "%63s %63s %63s", parent, type, id), 3);
      AK_Object* owner = std::string(parent) == "." ? &top : top.FindObject(parent);
      ASSERT_NE(owner, nullptr);
      owner->AddComponent(AK_CreateObjectOfType(type, id, owner));
    }
    for (const auto& [holder, linked] : c.links) top.FindObject(holder)->AddLink(top.FindObject(linked));

    AK_String answer;
    for (const Step& step : c.steps) {
      AK_Object* object = top.FindObject(step.path);
      ASSERT_NE(object, nullptr) << step.path;
      std::string value = Expand(step.value, dir.Path());
      if (step.attribute[0] == '?')
        answer = object->Get(step.attribute + 1);
      else if (step.attribute[0] == '!')
        object->ExecMacro(value.c_str(), 0);
      else
        object->Set(step.attribute, value.c_str());
    }
    EXPECT_STREQ(answer.c_str(), c.answer ? c.answer : "");
    for (const auto& [name, value] : c.expected) EXPECT_STREQ(top.Get(name).c_str(), value) << name;
    EXPECT_EQ(AK_CurrentObjectStack().Size(), 0);
  }
}

// A weak reference answers null once its object is deleted, even when a new object takes
// the same address; a deletion inside an operation only marks the object until the
// operation ends.
TEST(Lifetime, WeakReferencesAndDeferredFreeing)
{
  TST_Holder top("T", nullptr);
  for (int round = 0; round < 50; ++round) {
    AK_Object* o = new TST_Level1("o", &top);
    top.AddComponent(o);
    AK_WeakRef<TST_Level1> ref(static_cast<TST_Level1*>(o));
    ASSERT_EQ(ref.Get(), o);
    {
      AK_OperationScope scope;
      EXPECT_EQ(top.DeleteComponent("o"), 1);
      EXPECT_TRUE(o->IsDead());  // still readable inside the operation
      EXPECT_EQ(ref.Get(), nullptr);
      EXPECT_EQ(top.ComponentCount(), 0);
    }
    AK_Object* next = new TST_Level1("o", &top);  // often at the freed address
    top.AddComponent(next);
    EXPECT_EQ(ref.Get(), nullptr);
    EXPECT_EQ(top.DeleteComponent("o"), 1);
  }
}
