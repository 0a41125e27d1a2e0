// The object tree: identifiers, ownership and links, deletion, types, the update pass.
#include <filesystem>
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "AK_Files.h"
#include "TestClasses.h"
#include "TestSupport.h"

namespace {

// A top object that deletes its tree when the test ends.
struct Tree {
  std::unique_ptr<AK_Object> top;
  explicit Tree(const char* id = "Top") : top(new AK_Container(id, nullptr)) {}
  AK_Object* Add(AK_Object* parent, const char* id, bool container = false)
  {
    AK_Object* o = container ? new AK_Container(id, parent) : new AK_Object(id, parent);
    parent->AddComponent(o);
    return o;
  }
};

// The texts of a list, each followed by a blank.
template <class T, class Text>
std::string Joined(const AK_Array<T>& list, Text text)
{
  std::string joined;
  for (const T& element : list) joined += std::string(text(element)) + " ";
  return joined;
}

}  // namespace

TEST(Identifiers, NumberingAmongSiblings)
{
  struct Case { std::vector<std::string> siblings; std::string wanted, expected; };
  const Case cases[] = {
      {{}, "Mesh", "Mesh"},
      {{"Mesh"}, "Mesh", "Mesh_0001"},
      {{"Mesh", "Mesh_0001"}, "Mesh", "Mesh_0002"},
      {{"Mesh_0001"}, "Mesh_0001", "Mesh_0002"},
      {{"Area_7"}, "Area_7", "Area_0008"},
      {{"my_mesh"}, "my_mesh", "my_mesh_0001"},
      {{}, "my mesh/1", "my_mesh_1"},
      {{"a_b"}, "a-b", "a_b_0001"},
      {{"M_9999"}, "M_9999", "M_9999x"},
      {{"M_9999", "M_9999x"}, "M_9999", "M_9999xx"},
      {{"X_0012"}, "X_0012", "X_0013"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.wanted);
    Tree tree;
    for (const auto& s : c.siblings) tree.Add(tree.top.get(), s.c_str());
    AK_Object* o = tree.Add(tree.top.get(), c.wanted.c_str());
    EXPECT_STREQ(o->Id().c_str(), c.expected.c_str());
  }
}

TEST(Identifiers, RenameToATakenNameAndUnnamedObjects)
{
  Tree tree;
  tree.Add(tree.top.get(), "Mesh");
  AK_Object* b = tree.Add(tree.top.get(), "Mesh");
  AK_Object* c = tree.Add(tree.top.get(), "Mesh");
  EXPECT_EQ(b->Set("Id", "Mesh_0001"), 1);
  EXPECT_STREQ(b->Id().c_str(), "Mesh_0001");
  EXPECT_EQ(c->Set("Id", "Mesh"), 1);
  EXPECT_STREQ(c->Id().c_str(), "Mesh_0002");  // Mesh and Mesh_0001 are taken

  AK_Object* o = tree.Add(tree.top.get(), "");
  std::string id = o->Id().c_str();
  EXPECT_EQ(id.rfind("Object_", 0), 0u) << id;
  // Even a derived class is named after the root type: its own table comes later.
  AK_Object* derived = tree.Add(tree.top.get(), "", true);
  EXPECT_EQ(std::string(derived->Id().c_str()).rfind("Object_", 0), 0u);
  EXPECT_STRNE(o->Id().c_str(), derived->Id().c_str());
}

namespace {

// The naming rule step by step over the siblings' identifiers in list order: the oracle of
// the indexed lookups.
std::string NameByScan(const std::vector<AK_Object*>& siblings, const AK_Object* self, std::string candidate)
{
  auto first = [&](const std::string& id) -> const AK_Object* {
    for (AK_Object* s : siblings)
      if (!s->IsDead() && s->Id().c_str() == id) return s;
    return nullptr;
  };
  for (;;) {
    const AK_Object* holder = first(candidate);
    if (!holder || holder == self) break;
    int number = 1;
    size_t underscore = candidate.rfind('_');
    std::string base = candidate;
    if (underscore != std::string::npos && underscore + 1 < candidate.size() && std::isdigit(candidate[underscore + 1])) {
      number = std::atoi(candidate.c_str() + underscore + 1) + 1;
      if (number > 9999) break;
      base = candidate.substr(0, underscore);
    }
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "_%04d", number);
    candidate = base + suffix;
  }
  for (;;) {
    bool taken = false;
    for (AK_Object* s : siblings) taken = taken || (s != self && !s->IsDead() && s->Id().c_str() == candidate);
    if (!taken) return candidate;
    candidate += "x";
  }
}

}  // namespace

// Random additions, renames and deletions among siblings whose names collide often: every
// name given is the one the rule gives by scanning the siblings.
TEST(Identifiers, IndexedNamingAgreesWithTheRuleByScan)
{
  const char* wanted[] = {"L", "L_0001", "L_0003", "L_7", "L_9998", "M", "M_0002", "L_x", "N_0001", "L_0002"};
  std::mt19937_64 rng(41);
  for (int round = 0; round < 5; ++round) {
    Tree tree;
    std::vector<AK_Object*> siblings;
    for (int step = 0; step < 400; ++step) {
      const std::string name = wanted[rng() % 10];
      const int what = static_cast<int>(rng() % 10);
      if (what < 6 || siblings.empty()) {
        const std::string expected = NameByScan(siblings, nullptr, name);
        AK_Object* o = tree.Add(tree.top.get(), name.c_str());
        ASSERT_STREQ(o->Id().c_str(), expected.c_str()) << step;
        siblings.push_back(o);
      } else if (what < 9) {
        AK_Object* o = siblings[rng() % siblings.size()];
        const std::string expected = NameByScan(siblings, o, name);
        o->Set("Id", name.c_str());
        ASSERT_STREQ(o->Id().c_str(), expected.c_str()) << step;
      } else {
        const size_t k = rng() % siblings.size();
        tree.top->DeleteComponent(siblings[k]->Id().c_str());
        siblings.erase(siblings.begin() + static_cast<std::ptrdiff_t>(k));
      }
      ASSERT_EQ(tree.top->GetComponent(siblings.empty() ? "" : siblings.back()->Id().c_str()),
                siblings.empty() ? nullptr : siblings.back());
    }
  }
}

TEST(Identifiers, RenamingMovesTheSavedDirectory)
{
  for (const char* separatorStyle : {"/", "\\"}) {
    SCOPED_TRACE(separatorStyle);
    ScratchDir dir;
    Tree tree;
    std::string project = dir.Path() + separatorStyle + "Project";
    tree.top->Set("ProjectDir", project.c_str());
    AK_Object* old = tree.Add(tree.top.get(), "Old");
    AK_Object* child = tree.Add(old, "Child");
    dir.Write("Project/Old/Child/marker", "x");

    EXPECT_EQ(old->Set("Id", "New"), 1);
    EXPECT_STREQ(old->Id().c_str(), "New");
    EXPECT_FALSE(std::filesystem::exists(dir / "Project/Old"));
    EXPECT_TRUE(std::filesystem::exists(dir / "Project/New/Child/marker"));
    EXPECT_STREQ(old->ProjectDir().c_str(), (project + "/New").c_str());
    EXPECT_STREQ(child->ProjectDir().c_str(), (project + "/New/Child").c_str());
  }
}

// A move that fails keeps the old identifier; without a saved directory nothing moves, and the
// project directory follows the name, where a save of the object alone writes it and the paths
// that name it lead.
TEST(Identifiers, FailedOrNoMove)
{
  ScratchDir dir;
  Tree tree;
  tree.top->Set("ProjectDir", dir.Path().c_str());
  AK_Object* old = tree.Add(tree.top.get(), "Old");
  std::filesystem::create_directories(dir / "Old");
  std::filesystem::create_directories(dir / "Taken/inside");  // the target exists: the move fails
  old->Set("Id", "Taken");
  EXPECT_STREQ(old->Id().c_str(), "Old");
  EXPECT_TRUE(std::filesystem::exists(dir / "Old"));
  AK_Object* o = tree.Add(tree.top.get(), "A");
  o->Set("Id", "B");
  EXPECT_STREQ(o->Id().c_str(), "B");
  EXPECT_STREQ(o->ProjectDir().c_str(), (dir / "B").c_str());
  EXPECT_FALSE(std::filesystem::exists(dir / "A"));
  EXPECT_FALSE(std::filesystem::exists(dir / "B"));
}

TEST(Tree, ProjectDirOfNewObjects)
{
  Tree tree;
  EXPECT_STREQ(tree.Add(tree.top.get(), "a")->ProjectDir().c_str(), "");
  tree.top->Set("ProjectDir", "D");
  EXPECT_STREQ(tree.Add(tree.top.get(), "m")->ProjectDir().c_str(), "D/m");
  tree.top->Set("ProjectDir", "D/");
  EXPECT_STREQ(tree.Add(tree.top.get(), "n")->ProjectDir().c_str(), "D/n");
}

TEST(Tree, LinksAndOwnership)
{
  Tree tree;
  AK_Object* a = tree.Add(tree.top.get(), "a");
  AK_Object* b = tree.Add(tree.top.get(), "b");
  a->AddLink(b);
  EXPECT_STREQ(a->GetVariable("$latest_comp").c_str(), "b");
  a->SetVariable("$latest_comp", "unchanged");
  a->AddLink(b);  // already there: nothing
  EXPECT_EQ(a->ComponentCount(), 1);
  EXPECT_STREQ(a->GetVariable("$latest_comp").c_str(), "unchanged");
  EXPECT_EQ(b->Parent(), tree.top.get());

  EXPECT_EQ(a->GetComponent("b"), b);
  EXPECT_EQ(a->DeleteComponent("b"), 0);  // a link is never deleted through its holder
  EXPECT_EQ(tree.top->RemoveComponent("b"), 0);  // owned components are not removed
  EXPECT_EQ(a->RemoveComponent("b"), 1);
  EXPECT_EQ(a->ComponentCount(), 0);
  EXPECT_STREQ(tree.top->Get("GetComponentList").c_str(), "a%AK_SEP%b%AK_SEP%");
}

TEST(Tree, SortComponentsMovesFlagsAlong)
{
  Tree tree;
  AK_Object* top = tree.top.get();
  AK_Object* other = new AK_Object("z", nullptr);
  tree.Add(top, "b");
  top->AddLink(other);
  tree.Add(top, "B");
  tree.Add(top, "a");
  top->SortComponents();
  EXPECT_STREQ(top->Get("GetComponentList").c_str(), "B%AK_SEP%a%AK_SEP%b%AK_SEP%z%AK_SEP%");
  EXPECT_TRUE(top->IsLink(3));
  EXPECT_FALSE(top->IsLink(0));
  top->RemoveComponent("z");
  delete other;
}

TEST(Tree, CollectionsAndIndexPaths)
{
  Tree tree;
  AK_Object* top = tree.top.get();
  AK_Object* a = tree.Add(top, "a", true);
  tree.Add(a, "a1");
  AK_Object* c = tree.Add(a, "c", true);
  tree.Add(top, "b");
  AK_Array<AK_Object*> all;
  top->CollectOwnedDescendants(all);
  EXPECT_EQ(Joined(all, [](AK_Object* o) { return o->Id().c_str(); }), "a a1 c b ");
  AK_Array<AK_Object*> containers;
  top->CollectDescendantsOfType("Container", containers);
  ASSERT_EQ(containers.Size(), 2);
  EXPECT_EQ(containers[1], c);
  EXPECT_EQ(top->GetComponentByIndexPath(0, nullptr), top);
  int path[] = {0, 1};
  EXPECT_EQ(top->GetComponentByIndexPath(2, path), c);
  EXPECT_STREQ(top->GetOwnedPathList().c_str(),
               "Top/a%AK_SEP%Top/a/a1%AK_SEP%Top/a/c%AK_SEP%Top/b%AK_SEP%");
}

TEST(TreeDeathTest, IndexPathOutOfRangeIsFatal)
{
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        AK_MessageHook = MessagesToStderr;
        AK_Object top("t", nullptr);
        int path[] = {3};
        top.GetComponentByIndexPath(1, path);
      },
      "ERROR:FATAL:indices\\[0\\] < _components.Size\\(\\) failed!");
}

TEST(Types, IsAFollowsTheChainOfBaseTables)
{
  Tree tree;
  AK_Object* two = new TST_Level2("two", tree.top.get());
  tree.top->AddComponent(two);
  struct Case { AK_Object* object; const char* type; int expected; };
  AK_Object* plain = tree.Add(tree.top.get(), "plain");
  const Case cases[] = {
      {two, "Level2", 1},   {two, "Level1", 1},    {two, "Object", 1},     {two, "Container", 0},
      {two, "Level", 0},    {two, "", 0},          {tree.top.get(), "Container", 1},
      {tree.top.get(), "Object", 1}, {plain, "Object", 1}, {plain, "Container", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    EXPECT_EQ(c.object->IsA(c.type), c.expected);
  }
  AK_Array<AK_String> chain;
  two->GetTypeChain(chain);
  auto text = [](const AK_String& s) { return s.c_str(); };
  EXPECT_EQ(Joined(chain, text), "Level2 Level1 Object ");
  AK_Array<AK_String> names;
  tree.top->CollectTypeNames(names);
  EXPECT_EQ(Joined(names, text), "Container Object Level2 Level1 ");
  EXPECT_STREQ(two->Get("Type").c_str(), "Level2");
  EXPECT_STREQ(two->GetIdAndType().c_str(), "two.Level2");
}

TEST(Types, SetOnTypeRecursive)
{
  Tree tree;
  AK_Object* a = tree.Add(tree.top.get(), "a", true);
  AK_Object* b = tree.Add(a, "b");
  AK_Object* c = tree.Add(b, "c", true);
  EXPECT_EQ(tree.top->Set("Container::Active", "0"), 1);
  EXPECT_EQ(std::vector<int>({tree.top->IsActive(), a->IsActive(), b->IsActive(), c->IsActive()}),
            std::vector<int>({0, 0, 1, 0}));
  EXPECT_EQ(b->Set("Group::Active", "0"), 1);  // no object of that type: still handled
  EXPECT_EQ(b->IsActive(), 1);
}

TEST(Update, InactiveObjectsKeepTheirStamp)
{
  Tree tree;
  AK_Object* a = tree.Add(tree.top.get(), "a");
  AK_Object* b = tree.Add(tree.top.get(), "b");
  b->Set("Active", "0");
  tree.top->Update();
  EXPECT_GT(a->UpdateStamp(), 0);
  EXPECT_EQ(b->UpdateStamp(), 0);
  EXPECT_GT(tree.top->UpdateStamp(), a->UpdateStamp());
  int32_t before = tree.top->UpdateStamp();
  tree.top->Set("Active", "0");
  tree.top->Update();
  EXPECT_EQ(tree.top->UpdateStamp(), before);
  // Two passes in one clock tick still give strictly increasing stamps.
  tree.top->Set("Active", "1");
  tree.top->Update();
  int32_t first = tree.top->UpdateStamp();
  tree.top->Update();
  EXPECT_GT(tree.top->UpdateStamp(), first);
  a->MarkModified("x");
  EXPECT_GT(a->ModificationTime("x"), tree.top->UpdateStamp());
}

TEST(Update, ContainerSortsEvenWhenInactive)
{
  Tree tree;
  tree.Add(tree.top.get(), "b");
  tree.Add(tree.top.get(), "a");
  tree.top->Set("Active", "0");
  tree.top->Update();
  EXPECT_STREQ(tree.top->Get("GetComponentList").c_str(), "a%AK_SEP%b%AK_SEP%");
}

#include "AK_GLFunctionTable.h"

namespace {
std::vector<int> g_names;
void RecordPush(GLuint n) { g_names.push_back(static_cast<int>(n)); }
void RecordPop() { g_names.push_back(-1); }
}  // namespace

TEST(Update, NamesCountEveryEntryButSkipLinksAndInactive)
{
  Tree tree;
  AK_Object* other = new AK_Object("other", nullptr);
  tree.Add(tree.top.get(), "a");
  tree.top->AddLink(other);
  tree.Add(tree.top.get(), "c")->Set("Active", "0");
  tree.Add(tree.top.get(), "d");
  AK_GLFunctions saved = AK_GLFunctionTable;
  AK_GLFunctionTable.glPushName = RecordPush;
  AK_GLFunctionTable.glPopName = RecordPop;
  g_names.clear();
  tree.top->Set("Update", "");
  AK_GLFunctionTable = saved;
  // The container sorts first: a, c (inactive), d, other (a link).
  EXPECT_EQ(g_names, (std::vector<int>{0, -1, 2, -1}));
  tree.top->RemoveComponent("other");
  delete other;
}

TEST(Walks, LinksBackUpTheTreeEnd)
{
  Tree tree;
  AK_Object* a = tree.Add(tree.top.get(), "a");
  AK_Object* b = tree.Add(a, "b");
  b->AddLink(tree.top.get());
  b->AddLink(a);
  a->MarkModified("x");
  b->MarkModified("x");
  EXPECT_EQ(tree.top->ModificationTimeRecursive("x"), b->ModificationTime("x"));
  EXPECT_EQ(tree.top->LastModificationTimeRecursive(), b->LastModificationTime());
  EXPECT_EQ(tree.top->CountObjects(), 5);  // top, a, b and the two links, not entered again
  testing::internal::CaptureStdout();
  tree.top->PrintTree(0);
  std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_EQ(printed, "Top/a\n   Top/a/b\n      Top\n      Top/a\n");
}

// Every look of a rename (the object's directory, the project's before its mark), of a rename to a
// taken name and of a deletion fails in turn: the command answers failure and leaves the tree and
// the disk as they were, or does all it was asked, never half with a success.
TEST(Identifiers, AFailedLookRefusesARenameOrADeletionBeforeItChangesAnything)
{
  struct Case {
    const char* what;
    std::function<void(AK_Object& project, AK_Object& old)> command;
  } cases[] = {
      {"rename", [](AK_Object&, AK_Object& old) { old.Set("Id", "New"); }},
      {"rename to a taken name", [](AK_Object&, AK_Object& old) { old.Set("Id", "Taken"); }},
      {"deletion", [](AK_Object& project, AK_Object&) { project.Set("DeleteComponent", "Old"); }},
  };
  // The files below the scratch directory and the identifiers below the top, after the command.
  struct Outcome {
    std::map<std::string, std::string> files;
    std::string ids;
    bool answeredFailure = false;
    long calls = 0;  // of the command, through the failure hook
    bool operator==(const Outcome& o) const { return files == o.files && ids == o.ids; }
  };
  const auto run = [](const Case& c, long failAt, std::string* failed) {
    ScratchDir dir;
    Tree tree;
    // The project below the top, whose directory holds the marks of its renames.
    tree.top->Set("ProjectDir", dir.Path().c_str());
    AK_Object* project = tree.Add(tree.top.get(), "Project", true);
    AK_Object* old = tree.Add(project, "Old");
    tree.Add(old, "Child");
    tree.Add(project, "Taken");
    dir.Write("Project/Old/Child/marker", "x");
    dir.Write("Project/Taken/marker", "y");
    AK_ErrorText = "";
    AK_RestartFailureCount(failAt);
    testing::internal::CaptureStderr();
    c.command(*project, *old);
    const std::string said = testing::internal::GetCapturedStderr();
    if (failed) *failed = said;
    Outcome outcome;
    outcome.calls = AK_FailureHookCalls();
    AK_RestartFailureCount(0);
    outcome.answeredFailure = !AK_ErrorText.IsEmpty();
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir.Path()))
      outcome.files[std::filesystem::relative(e.path(), dir.Path()).string()] =
          e.is_regular_file() ? ReadFile(e.path().string()) : "<directory>";
    for (AK_Object* o : project->OwnedComponents()) outcome.ids += std::string(o->Id().c_str()) + " ";
    return outcome;
  };
  const Case none{"nothing", [](AK_Object&, AK_Object&) {}};
  const Outcome before = run(none, 0, nullptr);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Outcome done = run(c, 0, nullptr);
    ASSERT_FALSE(done.answeredFailure) << AK_ErrorText.c_str();
    ASSERT_FALSE(done == before);
    int refused = 0;
    for (long n = 1; n <= done.calls; ++n) {
      std::string failed;
      const Outcome outcome = run(c, n, &failed);
      if (failed.find(": look ") == std::string::npos) continue;
      SCOPED_TRACE(failed);
      if (outcome == before) {
        EXPECT_TRUE(outcome.answeredFailure) << "a refusal that answers success";
        ++refused;
      } else {
        EXPECT_TRUE(outcome == done) << "half done";
        EXPECT_FALSE(outcome.answeredFailure) << AK_ErrorText.c_str();
      }
    }
    EXPECT_GE(refused, 1) << "no look decides the command";
  }
}
