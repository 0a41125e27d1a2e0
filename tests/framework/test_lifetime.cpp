// Deleting objects, above all while an operation still walks over them: the object it runs
// on, its parent, candidates of a group, objects being saved or loaded. Each step is called directly,
// outside any command, so the operation's own scope is what keeps freed memory out of
// reach; the sanitizer checks that nothing freed is touched, and the answers afterwards show
// what is left.
#include <filesystem>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "AK_CurrentObject.h"
#include "TestClasses.h"

namespace {

// User objects whose scripts delete them while their attributes are read, when they are
// told to, or when they are updated; and one that deletes its parent when updated.
const std::string kDoomed =
    "obj.Doomed\n\tint.Boom:Boom\n\t\tset:Boom\n\tint.After:After\n\t\tset:After\n//ast_sci\n"
    "void Boom(char v[]) { set(\"..\", \"DeleteComponent\", \"u\"); strcpy(v, \"1\"); }\n"
    "void After(char v[]) { strcpy(v, \"2\"); }\n"
    "void DeleteMe(char v[]) { set(\"..\", \"DeleteComponent\", \"u\"); }\n";
const std::string kDeletesItself =
    "obj.Self\n//ast_sci\nvoid Update() { set(\"..\", \"DeleteComponent\", \"self\"); }\n";
const std::string kDeletesItsParent =
    "obj.Killer\n//ast_sci\nvoid Update() { set(\"../..\", \"DeleteComponent\", \"b\"); }\n";
const std::string kGroupTree =
    "+|Holder|A;+A|Level1|a0;+A|Level1|a1;+A|Level1|a2;+|Group|G;=G|SelectedObjectType|Level1";
const std::string kFilterDeletesItsGroup = "=G|Filter|set(\"..\", \"DeleteComponent\", \"G\"); return 1;";

// Steps, each "<op><fields separated by |>" (paths relative to the top "T", whose project
// directory is a scratch directory; "" is the top itself):
//   +parent|Type|id   create and add     @file|text    a file in the project directory
//   ~holder|linked    add a link         =path|name|value   Set
//   ?path|name|answer Get, and its answer   !path|file    the object runs a macro file
// Steps without a quote may be joined with ";".
struct DeletionCase {
  const char* name;
  std::vector<std::string> steps;
  std::vector<std::string> expected;  // "name|value": the top's Get
};

const DeletionCase kCases[] = {
    {"an update deletes itself and, further on, the parent of the pass",
     {"+|Holder|a;+a|UserObj|self;+a|Level1|after;+|Holder|b;+b|UserObj|killer;+b|Level1|never;+|Level1|c",
      "=a/self|AttributesName|" + kDeletesItself, "=b/killer|AttributesName|" + kDeletesItsParent,
      "=|Update|"},
     {"GetComponentList|a%AK_SEP%c%AK_SEP%", "a:GetComponentList|after%AK_SEP%"}},
    {"a type-wide setting deletes objects of its walk",
     {"+|Holder|a;+a|Holder|b;+a/b|Level1|c;+a|Level1|d;+|Holder|e;+e|Holder|b;+e/b|Level1|c",
      "=|Object::..:DeleteComponent|b"},
     {"a:GetComponentList|d%AK_SEP%", "e:GetComponentList|"}},
    {"a type-wide setting deletes the object it starts at",
     {"+|Holder|a;+a|Level1|b;+|Level1|e;=a|Object::..:DeleteComponent|a"},
     {"GetComponentList|e%AK_SEP%"}},
    {"saving a project deletes an object being saved",
     {"+|UserObj|u;+|UserObj|v", "=u|AttributesName|" + kDoomed, "=|SaveProjectAs|$DIR/saved"},
     {"GetComponentList|v%AK_SEP%", "v:SaveVis|w"}},
    {"writing attributes recursively deletes an object being written",
     {"+|UserObj|u;+|UserObj|v", "=u|AttributesName|" + kDoomed, "=|SaveAttributesRecursively|$DIR/all"},
     {"GetComponentList|v%AK_SEP%"}},
    {"an attribute file deletes the subtree being loaded",
     {"@Holder.atr|", "@sub/Holder.atr|",
      "@sub/inner/Level1.atr|set(\"../..\", \"DeleteComponent\", \"sub\")\nset(\"\", \"Value\", \"3\")\n",
      "@sub/later/Level1.atr|set(\"\", \"Value\", \"4\")\n", "@other/Level1.atr|set(\"\", \"Value\", \"5\")\n",
      "=|LoadProject|"},
     {"GetComponentList|other%AK_SEP%", "other:Value|5"}},
    {"a loaded component deletes the container that loads it",
     {"+|Holder|holder", "@holder/Saved/Level1.atr|set(\"../..\", \"DeleteComponent\", \"holder\")\n",
      "=holder|LoadComponent|Saved"},
     {"GetComponentList|"}},
    {"a component created on first use deletes itself",
     {"@Gone/Level1.atr|set(\"..\", \"DeleteComponent\", \"Gone\")\n", "?|Gone:Value|%AK_NULL%"},
     {"GetComponentList|"}},
    {"a group filter deletes its group while the group links",
     {kGroupTree, kFilterDeletesItsGroup, "=G|AppendAllObjectsOfType|"},
     {"GetComponentList|A%AK_SEP%", "A:GetComponentList|a0%AK_SEP%a1%AK_SEP%a2%AK_SEP%"}},
    {"a group filter deletes its group while the group lists (the first candidate passed)",
     {kGroupTree, kFilterDeletesItsGroup, "?G|GetObjectsOfTypeList|T/A/a0%AK_SEP%"},
     {"GetComponentList|A%AK_SEP%"}},
    {"members deleted, unloaded and deleted with their subtree leave their group",
     {"+|Holder|A;+A|Level1|a0;+A|Level1|a1;+A|Level1|a2;+|Holder|B;+B|Level2|b0;+|Group|G",
      "~G|A/a0;~G|A/a1;~G|A/a2;~G|B/b0;=A|DeleteObject|a1;=A|UnloadComponent|a2",
      "=|DeleteComponent|A;=G|Value|5"},
     {"G:GetComponentList|b0%AK_SEP%", "G:Value|5%AK_SEP%"}},
    {"deleting a group, or unloading it, drops its links only",
     {"+|Holder|A;+A|Level1|a0;+A|Level1|a1;+|Group|G;+|Object|o;+o|Group|H;~G|A/a0;~G|A/a1",
      "~o/H|A/a0;=o|UnloadAllContainers|;=|DeleteComponent|G"},
     {"A:GetComponentList|a0%AK_SEP%a1%AK_SEP%", "o/H:GetComponentList|", "A/a1:Value|0"}},
    {"deleting a subtree leaves no link into it, wherever the link is held",
     {"+|Holder|a;+a|Holder|b;+a/b|Level1|c;+|Holder|holder;+holder|Holder|deep",
      "~holder|a;~holder|a/b/c;~holder/deep|a/b;~holder/deep|holder;~a/b|holder;=|DeleteComponent|a"},
     {"holder:GetComponentList|deep%AK_SEP%", "holder/deep:GetComponentList|holder%AK_SEP%"}},
    {"a detached object outlives its old parent, which it no longer names",
     {"+|Holder|a;+a|Level1|b;+|Holder|holder;~holder|a/b;=a/b|Detach|;=|DeleteComponent|a"},
     {"holder:GetComponentList|b%AK_SEP%", "holder/b/..:Id|%AK_NULL%"}},
    {"a macro deletes the object that runs it",
     {"+|Level1|victim", "@m.macro|set(\"..\", \"DeleteComponent\", \"victim\")\nset(\"\", \"$x\", \"1\")\n",
      "!victim|m.macro"},
     {"GetComponentList|"}},
    {"a container deletes one component with its saved directory, then all",
     {"+|Level1|a;+|Level1|b;+|Level1|c", "@b/Level1.atr|", "?|DeleteVisibility|w;=|DeleteObject|b",
      "?|UnloadedComponentsList|;=|DeleteObject|nothing;=|DeleteAll|;?|DeleteVisibility|r;=|DeleteAll|"},
     {"GetComponentList|"}},
    {"a script function deletes the object it runs for",
     {"+|UserObj|u", "=u|AttributesName|" + kDoomed, "=u|DeleteMe|"},
     {"GetComponentList|"}},
};

// The fields of a step; the last one takes the rest of the text.
std::vector<std::string> Fields(const std::string& text, size_t count)
{
  std::vector<std::string> fields;
  size_t at = 0;
  for (size_t bar; fields.size() + 1 < count && (bar = text.find('|', at)) != std::string::npos; at = bar + 1)
    fields.push_back(text.substr(at, bar - at));
  fields.push_back(text.substr(at));
  fields.resize(count);
  return fields;
}

void RunStep(TST_Holder& top, const ScratchDir& dir, const std::string& step)
{
  if (step.find('"') == std::string::npos && step.find(';') != std::string::npos) {
    for (size_t at = 0, end; at <= step.size(); at = end + 1) {
      end = std::min(step.find(';', at), step.size());
      RunStep(top, dir, step.substr(at, end - at));
    }
    return;
  }
  std::vector<std::string> f = Fields(step.substr(1), 3);
  AK_Object* object = top.FindObject(f[0].c_str());
  if (step[0] == '@') {
    std::string path = dir / f[0];
    std::filesystem::create_directories(path.substr(0, path.rfind('/')));
    WriteFile(path, step.substr(step.find('|') + 1));
    return;
  }
  ASSERT_NE(object, nullptr) << step;
  std::string value = f[2].rfind("$DIR/", 0) == 0 ? dir / f[2].substr(5) : f[2];
  switch (step[0]) {
    case '+': object->AddComponent(AK_CreateObjectOfType(f[1].c_str(), f[2].c_str(), object)); break;
    case '~': object->AddLink(top.FindObject(f[1].c_str())); break;
    case '=': object->Set(f[1].c_str(), value.c_str()); break;
    case '?': EXPECT_STREQ(object->Get(f[1].c_str()).c_str(), f[2].c_str()) << step; break;
    case '!': object->ExecMacro((dir / f[1]).c_str(), 0); break;
  }
}

}  // namespace

TEST(Lifetime, Deletions)
{
  for (const DeletionCase& c : kCases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    TST_Holder top("T", nullptr);
    top.Set("ProjectDir", dir.Path().c_str());
    for (const std::string& step : c.steps) RunStep(top, dir, step);
    for (const std::string& e : c.expected) {
      std::vector<std::string> f = Fields(e, 2);
      EXPECT_STREQ(top.Get(f[0].c_str()).c_str(), f[1].c_str()) << f[0];
    }
    EXPECT_EQ(AK_CurrentObjectStack().Size(), 0);
  }
}

// A weak reference never answers a new object at the address of a deleted one; inside an
// operation the deleted object is only marked.
TEST(Lifetime, WeakReferencesAndDeferredFreeing)
{
  TST_Holder top("T", nullptr);
  for (int round = 0; round < 50; ++round) {
    auto* o = new TST_Level1("o", &top);
    top.AddComponent(o);
    AK_WeakRef<TST_Level1> ref(o);
    {
      AK_OperationScope scope;
      top.DeleteComponent("o");
      EXPECT_TRUE(o->IsDead() && !ref.Get());  // still readable within the operation
    }
    top.AddComponent(new TST_Level1("o", &top));  // often at the freed address
    EXPECT_EQ(ref.Get(), nullptr);
    top.DeleteComponent("o");
  }
}
