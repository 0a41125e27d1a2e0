// Object paths: absolute and relative paths, lookup, pointer texts and saved components
// created on first use.
#include <filesystem>
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "TestClasses.h"

namespace {

AK_Object* Add(AK_Object* parent, const char* id)
{
  AK_Object* o = new AK_Object(id, parent);
  parent->AddComponent(o);
  return o;
}

}  // namespace

TEST(Paths, SpecialHeads)
{
  std::unique_ptr<AK_Object> top(new AK_Object("Viewer", nullptr));
  AK_Object* project = Add(top.get(), "Project");
  AK_Object* a = Add(project, "a");
  AK_Object* b = Add(a, "b");
  AK_Object* viewerChild = Add(a, "Viewer");  // named like the top object
  struct Case { AK_Object* from; const char* path; AK_Object* expected; };
  const Case cases[] = {
      {a, "", a},
      {a, "/", top.get()},
      {a, "root", top.get()},
      {a, "root/Project", project},
      {a, "/Project", project},
      {a, "Viewer/Project", project},
      {a, "Viewer", top.get()},  // the top's Id wins over a component of that name
      {a, "b", b},
      {a, "b/", b},
      {b, "..", a},
      {b, "../", a},
      {b, "../..", project},
      {project, "a//Project", project},  // the empty head between two slashes is the top
      {a, "nothing", nullptr},
      {a, "b/nothing", nullptr},
      {top.get(), "..", nullptr},  // the top has no parent and nothing saved is named ".."
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(c.from->FindObject(c.path), c.expected);
  }
  (void)viewerChild;
}

TEST(Paths, AbsoluteAndRelative)
{
  std::unique_ptr<AK_Object> top(new AK_Object("V", nullptr));
  AK_Object* p = Add(top.get(), "P");
  AK_Object* x = Add(p, "X");
  AK_Object* y = Add(x, "Y");
  AK_Object* z = Add(p, "Z");
  EXPECT_STREQ(top->GetAbsolutePath().c_str(), "V");
  EXPECT_STREQ(y->GetAbsolutePath().c_str(), "V/P/X/Y");
  EXPECT_STREQ(y->Get("IdAbs").c_str(), "V/P/X/Y");
  EXPECT_STREQ(x->GetAbsolutePath(x).c_str(), "");
  EXPECT_STREQ(y->GetAbsolutePath(x).c_str(), "Y");
  EXPECT_STREQ(x->GetAbsolutePath(y).c_str(), "../");
  EXPECT_STREQ(z->GetAbsolutePath(y).c_str(), "../../Z");
  EXPECT_STREQ(top->GetAbsolutePath(y).c_str(), "../../../");
}

// For random trees, the relative path from any R to any X leads from R back to X.
TEST(Paths, RelativePathsResolveBackProperty)
{
  std::mt19937 random(12345);
  const char* names[] = {"a", "b", "Mesh", "m_1", "x", "Project"};
  for (int round = 0; round < 40; ++round) {
    std::unique_ptr<AK_Object> top(new AK_Object("Top", nullptr));
    std::vector<AK_Object*> objects{top.get()};
    int n = 2 + static_cast<int>(random() % 30);
    for (int i = 0; i < n; ++i) {
      AK_Object* parent = objects[random() % objects.size()];
      objects.push_back(Add(parent, names[random() % 6]));
    }
    for (int k = 0; k < 60; ++k) {
      AK_Object* x = objects[random() % objects.size()];
      AK_Object* r = objects[random() % objects.size()];
      AK_String path = x->GetAbsolutePath(r);
      SCOPED_TRACE(std::string(r->GetAbsolutePath().c_str()) + " -> " + path.c_str());
      EXPECT_EQ(r->FindObject(path), x);
      EXPECT_EQ(r->FindObject(x->GetAbsolutePath()), x);
    }
  }
}

TEST(Paths, PointerTextsNameOnlyLiveObjectsInTheTree)
{
  std::unique_ptr<AK_Object> top(new AK_Object("T", nullptr));
  AK_Object* a = Add(top.get(), "a");
  AK_Object* b = Add(a, "b");
  AK_String address = b->Get("Address");
  EXPECT_EQ(top->FindObject(address), b);
  EXPECT_EQ(a->FindObject(address), b);
  EXPECT_STREQ(top->Get(address + ":Id").c_str(), "b");

  std::unique_ptr<AK_Object> otherTree(new AK_Object("O", nullptr));
  EXPECT_EQ(otherTree->FindObject(address), nullptr);  // alive, but in another tree

  int local = 0;
  EXPECT_EQ(top->FindObject(AK_String::FromPointer(&local)), nullptr);
  EXPECT_EQ(top->FindObject("%ak_ptr%0x10"), nullptr);
  EXPECT_EQ(top->FindObject("%ak_ptr%zz"), nullptr);

  AK_Object* c = Add(a, "c");
  AK_String cAddress = c->Get("Address");
  c->Detach();
  EXPECT_EQ(top->FindObject(cAddress), nullptr);  // out of the tree
  delete c;

  top->DeleteComponent("a");
  EXPECT_EQ(top->FindObject(address), nullptr);  // deleted: not found, never dereferenced
  EXPECT_STREQ(top->Get(address + ":Id").c_str(), AK_NULL);
  EXPECT_EQ(top->Set(address + ":Active", "0"), 0);
}

TEST(Paths, SavedComponentsAreCreatedOnFirstUse)
{
  ScratchDir dir;
  std::unique_ptr<AK_Object> top(new TST_Holder("Top", nullptr));
  top->Set("ProjectDir", (dir / "P").c_str());
  dir.Write("P/Sub/Level1.atr", "set(\"\", \"Value\", \"7\")\n");
  dir.Write("P/Sub/Deeper/Level2.atr", "set(\"\", \"Extra\", \"3\")\n");
  for (const char* empty : {"P/Two/Level1.atr", "P/Two/Level2.atr", "P/Unknown/NoSuchType.atr", "Outside/Level1.atr"})
    dir.Write(empty, "");
  MessageCapture messages;
  EXPECT_STREQ(top->Get("Sub:Value").c_str(), "7");
  AK_Object* sub = top->GetComponent("Sub");
  ASSERT_NE(sub, nullptr);
  EXPECT_STREQ(sub->Get("Type").c_str(), "Level1");
  EXPECT_STREQ(sub->ProjectDir().c_str(), (dir / "P/Sub").c_str());
  EXPECT_EQ(top->FindObject("Sub"), sub);  // created once
  EXPECT_EQ(top->ComponentCount(), 1);
  // The plain object below creates nothing itself.
  EXPECT_EQ(top->FindObject("Sub/Deeper"), nullptr);

  EXPECT_EQ(top->FindObject("Two"), nullptr);
  EXPECT_EQ(top->FindObject("Unknown"), nullptr);
  EXPECT_EQ(top->FindObject("../Outside"), nullptr);
  EXPECT_EQ(top->FindObject("P\\..\\Outside"), nullptr);
  EXPECT_EQ(top->FindObject("."), nullptr);
  EXPECT_EQ(top->ComponentCount(), 1);
}

TEST(Paths, ObjectsOfType)
{
  std::unique_ptr<AK_Object> top(new AK_Container("T", nullptr));
  AK_Object* a = new AK_Container("mesh_a", top.get());
  top->AddComponent(a);
  AK_Object* plain = Add(a, "plain");
  AK_Object* b = new AK_Container("mesh_b", a);
  a->AddComponent(b);
  AK_Object* c = new AK_Container("other", top.get());
  top->AddComponent(c);
  AK_String out;
  top->ListObjectsOfType(out, "Container", nullptr, nullptr);
  EXPECT_STREQ(out.c_str(), "T/mesh_a%AK_SEP%T/mesh_a/mesh_b%AK_SEP%T/other%AK_SEP%");
  top->ListObjectsOfType(out, "Container", a, "mesh");
  EXPECT_STREQ(out.c_str(), "%AK_SEP%mesh_b%AK_SEP%");
  // The asking object is listed as an empty element; the top itself is never listed.
  EXPECT_STREQ(b->Get("AllObjectsOfSameTypeList").c_str(),
               "../%AK_SEP%%AK_SEP%../../other%AK_SEP%");
  EXPECT_STREQ(plain->Get("AllObjectsOfSameTypeList").c_str(),
               "../%AK_SEP%%AK_SEP%../mesh_b%AK_SEP%../../other%AK_SEP%");
}
