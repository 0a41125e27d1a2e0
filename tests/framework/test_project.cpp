// Project directories: saving trees (only what changed), loading them back with the creation
// of saved components, attribute files, data files, and copying attributes.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "TestClasses.h"

namespace fs = std::filesystem;

namespace {

// A class with binary data: a list of samples written as a tagged record.
class TST_Recorder : public AK_Class<TST_Recorder> {
public:
  static constexpr const char* kClassName = "TST_Recorder";
  TST_Recorder(const char* id, AK_Object* parent) : AK_Class(id, parent)
  {
    SetUpClassLevel();
    RunClassDefaults();
  }

  static void DeclareAttributes(AK_AttributeTableOf<TST_Recorder>& t)
  {
    using R = TST_Recorder;
    t.Attribute("Value", [](R& r) { return AK_String(r._value); }, [](R& r, const char* v) {
      r._value = std::atoi(v);
      ++r._valueSets;
    });
    t.Text("Name", &R::_name);
    t.Attribute("Scratch", [](R&) { return "scratch"; }, [](R&, const char*) {});
  }

  int SaveData(AK_STREAM& stream) override
  {
    stream << AK_String("TST_Recorder:v0") << static_cast<int32_t>(_samples.size());
    for (double s : _samples) stream << s;
    return stream.Fail() ? Failed(__LINE__) : 0;
  }

  int LoadData(AK_STREAM& stream) override
  {
    AK_String tag;
    int32_t n = 0;
    stream >> tag >> n;
    if (stream.Fail() || !(tag == "TST_Recorder:v0") || n < 0 || n > 1000000) return Failed(__LINE__);
    AK_Array<double> values;
    if (AK_StreamReadArray(stream, values, n) != 0) return Failed(__LINE__);
    _samples.assign(values.begin(), values.end());
    return 0;
  }

  int Failed(int line)
  {
    AK_ErrorText = GetAbsolutePath() + ": IO error at " + AK_String::Format("test_project.cpp:%d", line);
    return 1;
  }

  int _value = 0;
  int _valueSets = 0;
  AK_String _name;
  std::vector<double> _samples;
};

void RegisterRecorder()
{
  static bool done = false;
  if (done) return;
  done = true;
  WriteFile(TestUserAttributesDirectory() + "TST_Recorder.atr",
            "obj.Recorder\n\tdoc:Keeps samples as binary data.\n"
            "\tint.Value:Value\n\t\tset:Value\n\t\tdoc:A number.\n"
            "\tstring.Name:Name\n\t\tset:Name\n\t\tdoc:A text.\n"
            "\tstring.Scratch:Scratch\n\t\tset:Scratch\n\t\tvolatile:\n\t\tdoc:Never saved.\n"
            "\tstring.Shown:Value\n\t\tdoc:Read only: never saved.\n");
  AK_RegisterClass("TST_Recorder", "Recorder", AK_Construct<TST_Recorder>);
}

template <class C>
C* Add(AK_Object* parent, const char* id)
{
  C* object = new C(id, parent);
  parent->AddComponent(object);
  return object;
}

// A small tree of every kind of test class, with values that differ from the defaults.
struct Tree {
  TST_Holder top{"top", nullptr};
  TST_Level1* a;
  TST_Level2* b;
  TST_Holder* sub;
  TST_Level1* c;
  TST_Recorder* r;

  Tree()
  {
    RegisterRecorder();
    a = Add<TST_Level1>(&top, "a");
    b = Add<TST_Level2>(&top, "b");
    sub = Add<TST_Holder>(&top, "sub");
    c = Add<TST_Level1>(sub, "c");
    r = Add<TST_Recorder>(sub, "r");
    a->Set("Value", "5");
    a->Set("$list", "x%AK_SEP%y%AK_SEP%");
    b->Set("Value", "-3");
    b->Set("Extra", "7");
    b->Set("MacroFileName", "with \"quotes\" and\ttab.macro");
    c->Set("Active", "0");
    c->Set("MacroRepetitions", "4");
    r->Set("Value", "11");
    r->Set("Name", "line one\nline two %%n 100%");
    r->_samples = {1.5, -2.25, 1e300, 0.0};
    sub->Set("SuppressCreatingComponents", "0");
  }
};

std::string Dump(AK_Object* object, const std::string& file)
{
  object->SaveAttributesRecursively(file.c_str());
  return ReadFile(file);
}

std::vector<std::string> Saved(const MessageCapture& messages)
{
  std::vector<std::string> saved;
  for (const auto& m : messages.messages)
    if (m.rfind("saving ", 0) == 0) saved.push_back(m);
  return saved;
}

int FileCount(const std::string& directory)
{
  int n = 0;
  for (const auto& entry : fs::recursive_directory_iterator(directory))
    if (entry.is_regular_file()) ++n;
  return n;
}

// Loads the project below a new top object, writes its recursive attribute file, and ends
// the process: 0 when the binary data came back too and nothing failed.
[[noreturn]] void LoadAndDumpThenExit(const std::string& project, const std::string& file)
{
  RegisterRecorder();
  bool good = false;
  {
    TST_Holder top("top", nullptr);
    top.LoadProject(project.c_str());
    TST_Recorder* r = dynamic_cast<TST_Recorder*>(top.FindObject("sub/r"));
    good = r && r->_samples == std::vector<double>{1.5, -2.25, 1e300, 0.0} && AK_ErrorText.IsEmpty();
    Dump(&top, file);
  }
  // Without the parent's static destructors: they would delete the scratch directories
  // (the test classes' user attributes among them) that the parent process goes on using.
  std::fflush(nullptr);
  std::_Exit(good ? 0 : 1);
}

}  // namespace

TEST(Project, DirectoriesMirrorTheOwnedTree)
{
  ScratchDir dir;
  Tree tree;
  AK_Object* elsewhere = Add<TST_Level1>(tree.sub, "linked");
  tree.a->AddLink(elsewhere);  // a link is saved by its owner only
  tree.top.SaveProjectAs(dir.Path().c_str());
  EXPECT_STREQ(AK_ErrorText.c_str(), "");

  std::vector<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(dir.Path()))
    if (entry.is_regular_file()) files.push_back(fs::relative(entry.path(), dir.Path()).string());
  std::sort(files.begin(), files.end());
  std::vector<std::string> expected = {
      "Holder.atr",         "Holder.dat",          "a/Level1.atr",       "a/Level1.dat",
      "b/Level2.atr",       "b/Level2.dat",        "sub/Holder.atr",     "sub/Holder.dat",
      "sub/c/Level1.atr",   "sub/c/Level1.dat",    "sub/linked/Level1.atr", "sub/linked/Level1.dat",
      "sub/r/Recorder.atr", "sub/r/Recorder.dat"};
  EXPECT_EQ(files, expected);

  // Set commands in class-table order: the class's own entries, then its bases'. Volatile
  // entries, the identifier and entries without a "set" child never appear.
  EXPECT_EQ(ReadFile(dir / "sub/r/Recorder.atr"),
            "set(\"\", \"Value\", \"11\")\n"
            "set(\"\", \"Name\", \"line one%%nline two \\%%n 100%\")\n"
            "set(\"\", \"Active\", \"1\")\n"
            "set(\"\", \"MacroFileName\", \"r.macro\")\n"
            "set(\"\", \"MacroRepetitions\", \"1\")\n"
            "set(\"\", \"SuppressCreatingComponents\", \"0\")\n");
  EXPECT_EQ(tree.r->ProjectDir(), AK_String((dir / "sub/r").c_str()));

  // Every data file is a gzip file, also when the object writes nothing into it.
  for (const auto& entry : fs::recursive_directory_iterator(dir.Path())) {
    if (entry.path().extension() != ".dat") continue;
    int status = 0;
    EXPECT_EQ(RunProcess("gzip -t " + ShellQuote(entry.path().string()), &status), "");
    EXPECT_EQ(status, 0) << entry.path();
  }
}

TEST(Project, SavedTreeLoadsIntoAFreshProcessWithEveryAttribute)
{
  ScratchDir dir;
  std::string before = dir / "before.macro";
  std::string after = dir / "after.macro";
  std::string project = dir / "project";
  {
    Tree tree;
    tree.top.SaveProjectAs(project.c_str());
    ASSERT_STREQ(AK_ErrorText.c_str(), "");
    Dump(&tree.top, before);
  }
  // The child process builds nothing but the top object and loads everything else.
  EXPECT_EXIT(LoadAndDumpThenExit(project, after), testing::ExitedWithCode(0), "");
  std::string loaded = ReadFile(after);
  EXPECT_FALSE(loaded.empty());
  EXPECT_EQ(loaded, ReadFile(before));
  EXPECT_NE(loaded.find("set(\"b\", \"Extra\", \"7\")"), std::string::npos);
}

TEST(Project, OnlyWhatChangedIsSavedAgain)
{
  ScratchDir dir, other;
  Tree tree;
  MessageCapture messages;
  auto saves = [&](auto save) {
    messages.Clear();
    save();
    return Saved(messages);
  };
  EXPECT_EQ(saves([&] { tree.top.SaveProjectAs(dir.Path().c_str()); }).size(), 6u);
  EXPECT_TRUE(saves([&] {  // a second save, by call or command, writes nothing and says nothing
                tree.top.SaveProject();
                tree.top.Set("SaveProject", "");
                tree.top.Set("SaveProject", "");
                tree.c->Set("Save", "");
              }).empty());
  tree.c->Set("Value", "8");  // a change saves that object only, not its unchanged parents
  EXPECT_EQ(saves([&] { tree.top.SaveProject(); }), std::vector<std::string>{"saving c to " + (dir / "sub/c")});
  EXPECT_EQ(ReadFile(dir / "sub/c/Level1.atr").rfind("set(\"\", \"Value\", \"8\")\n", 0), 0u);
  fs::remove(dir / "a/Level1.dat");  // a missing data file is written again
  EXPECT_EQ(saves([&] { tree.top.SaveProject(); }), std::vector<std::string>{"saving a to " + (dir / "a")});
  EXPECT_TRUE(fs::exists(dir / "a/Level1.dat"));

  // Another directory is written whole however unchanged the objects are, and so is the
  // first one again; an empty directory is the project directory, where nothing changed.
  EXPECT_EQ(saves([&] { tree.top.SaveProjectAs(other.Path().c_str()); }).size(), 6u);
  EXPECT_EQ(FileCount(other.Path()), 12);
  EXPECT_EQ(saves([&] { tree.top.SaveProjectAs(dir.Path().c_str()); }).size(), 6u);
  EXPECT_TRUE(saves([&] { tree.top.SaveProject(""); }).empty());
  EXPECT_EQ(saves([&] { tree.top.SaveProject(other.Path().c_str()); }).size(), 6u);

  // A freshly loaded tree is not written back until something changes.
  TST_Holder top("top", nullptr);
  top.Set("LoadProject", dir.Path().c_str());
  ASSERT_STREQ(AK_ErrorText.c_str(), "");
  ASSERT_NE(top.FindObject("sub/r"), nullptr);
  EXPECT_TRUE(saves([&] { top.SaveProject(); }).empty());
  top.FindObject("b")->Set("Extra", "1");
  EXPECT_EQ(saves([&] { top.SaveProject(); }), std::vector<std::string>{"saving b to " + (dir / "b")});
}

// A failed save is shown where the disk fills; here the load of a broken data file.
TEST(Project, FailuresOfTheDataFile)
{
  ScratchDir dir;
  RegisterRecorder();
  // A corrupt data file: the attribute file is not run and nothing is stamped.
  dir.Write("Recorder.dat", "not gzip at all");
  dir.Write("Recorder.atr", "set(\"\", \"Value\", \"99\")\n");
  TST_Recorder fresh("fresh", nullptr);
  fresh.Load(dir.Path().c_str());
  EXPECT_EQ(std::string(AK_ErrorText.c_str()), "cannot load data for fresh from file " + (dir / "Recorder.dat"));
  EXPECT_EQ(fresh._value, 0);
  EXPECT_EQ(fresh.ModificationTime("Load"), 0);

  // A missing data file is no error; a missing attribute file is, and nothing is stamped.
  fs::remove(dir / "Recorder.dat");
  AK_ErrorText = "";
  fresh.Load(dir.Path().c_str());
  EXPECT_STREQ(AK_ErrorText.c_str(), "");
  EXPECT_EQ(fresh._value, 99);
  int32_t loaded = fresh.ModificationTime("Load");
  EXPECT_GT(loaded, 0);
  fs::remove(dir / "Recorder.atr");
  fresh.Load(dir.Path().c_str());
  EXPECT_EQ(std::string(AK_ErrorText.c_str()), "cannot open macro file '" + (dir / "Recorder.atr") + "'");
  EXPECT_EQ(fresh.ModificationTime("Load"), loaded);
}

TEST(Project, AttributeFileRunsOnceWhateverTheRepetitions)
{
  ScratchDir dir;
  RegisterRecorder();
  {
    TST_Recorder r("r", nullptr);
    r.Set("Value", "4");
    r.Set("MacroRepetitions", "3");
    r.SaveAs((dir / "three").c_str());
    r.Set("MacroRepetitions", "1");
    r.SaveAs((dir / "one").c_str());
  }
  struct Case { const char* directory; int before, after; };
  for (Case c : {Case{"three", 1, 3}, Case{"three", 7, 3}, Case{"one", 5, 1}}) {
    SCOPED_TRACE(c.directory);
    TST_Recorder fresh("fresh", nullptr);
    fresh.SetMacroRepetitions(c.before);
    fresh.Load((dir / c.directory).c_str());
    EXPECT_EQ(fresh._valueSets, 1);
    EXPECT_EQ(fresh.MacroRepetitions(), c.after);
  }
  // A file that does not restore the repetitions leaves them as they were.
  WriteFile(dir / "one/Recorder.atr", "set(\"\", \"Value\", \"6\")\n");
  TST_Recorder fresh("fresh", nullptr);
  fresh.SetMacroRepetitions(0);
  fresh.Load((dir / "one").c_str());
  EXPECT_EQ(fresh._valueSets, 1);
  EXPECT_EQ(fresh.MacroRepetitions(), 0);
}

TEST(Project, SubDirectoryRulesOfLoadProject)
{
  ScratchDir dir;
  RegisterRecorder();
  dir.Write("Mesh1/Level1.atr", "set(\"\", \"Value\", \"1\")\n");
  dir.Write("old.bak/Level1.atr", "set(\"\", \"Value\", \"2\")\n");
  dir.Write("Deep/inner/Recorder.atr", "set(\"\", \"Name\", \"deep\")\n");
  for (const char* empty : {"Two/Level1.atr", "Two/Level2.atr", "Unknown/NoSuchType.atr", "Deep/Holder.atr"})
    dir.Write(empty, "");
  std::filesystem::create_directories(dir / "Empty");
  WriteFile(dir / "Holder.atr", "set(\"\", \"Active\", \"1\")\n");

  TST_Holder top("top", nullptr);
  top.SetSuppressCreatingComponents(1);
  top.LoadProject(dir.Path().c_str());
  EXPECT_EQ(top.ComponentCount(), 0);
  EXPECT_GT(top.ModificationTime("Load"), 0);  // the object itself still loads

  top.SetSuppressCreatingComponents(0);
  top.LoadProject(dir.Path().c_str());
  EXPECT_STREQ(top.Get("GetComponentList").c_str(), "Deep%AK_SEP%Mesh1%AK_SEP%");
  EXPECT_STREQ(top.FindObject("Mesh1")->Get("Value").c_str(), "1");
  EXPECT_STREQ(top.FindObject("Deep/inner")->Get("Name").c_str(), "deep");
  EXPECT_STREQ(top.FindObject("Deep/inner")->ProjectDir().c_str(), (dir / "Deep/inner").c_str());
  EXPECT_STREQ(top.Get("UnloadedComponentsList").c_str(),
               "Empty%AK_SEP%Two%AK_SEP%Unknown%AK_SEP%");

  // Loading again reloads the existing objects and creates nothing.
  top.FindObject("Mesh1")->Set("Value", "9");
  top.LoadProject("");
  EXPECT_EQ(top.ComponentCount(), 2);
  EXPECT_STREQ(top.FindObject("Mesh1")->Get("Value").c_str(), "1");
}

TEST(Project, LinksAreNeitherLoadedNorSavedAsOwned)
{
  ScratchDir dir;
  Tree tree;
  TST_Level1* elsewhere = Add<TST_Level1>(&tree.top, "elsewhere");
  tree.sub->AddLink(elsewhere);
  tree.c->AddLink(&tree.top);  // a link back up the tree
  tree.top.SaveProjectAs(dir.Path().c_str());
  EXPECT_FALSE(std::filesystem::exists(dir / "sub/elsewhere"));

  MessageCapture messages;
  tree.sub->LoadProject((dir / "sub").c_str());
  for (const auto& m : messages.messages)
    EXPECT_TRUE(m.find("loading 'elsewhere'") == std::string::npos && m.find("loading 'top'") == std::string::npos) << m;
  EXPECT_EQ(elsewhere->ModificationTime("Load"), 0);
  EXPECT_STREQ(AK_ErrorText.c_str(), "");

  // Recursive attribute files follow links, each object once, and end on the cycle.
  std::string text = Dump(&tree.top, dir / "all.macro");
  EXPECT_NE(text.find("set(\"sub/c\", \"Active\", \"0\")"), std::string::npos);
  EXPECT_NE(text.find("set(\"elsewhere\", \"Value\", \"0\")"), std::string::npos);
  size_t first = text.find("set(\"elsewhere\", \"Active\"");
  EXPECT_EQ(text.find("set(\"elsewhere\", \"Active\"", first + 1), std::string::npos);
  tree.c->RemoveComponent("top");
}

TEST(Project, AssignAttributesOf)
{
  Tree tree;
  TST_Level2* copy = Add<TST_Level2>(&tree.top, "copy");
  AK_Array<AK_String> leaveOut;
  leaveOut.Append(AK_String("Extra"));
  copy->AssignAttributesOf(tree.b, leaveOut);
  EXPECT_STREQ(copy->Get("Value").c_str(), "-3");
  EXPECT_STREQ(copy->Get("Extra").c_str(), "0");
  EXPECT_STREQ(copy->Get("MacroFileName").c_str(), "with \"quotes\" and\ttab.macro");
  EXPECT_STREQ(copy->Id().c_str(), "copy");  // the identifier is never copied

  EXPECT_EQ(copy->Set("AssignAttributesOf", "../b"), 1);
  EXPECT_STREQ(copy->Get("Extra").c_str(), "7");
  EXPECT_STREQ(AK_ErrorText.c_str(), "");
  EXPECT_EQ(copy->Set("AssignAttributesOf", "../nothing"), 1);
  EXPECT_STREQ(AK_ErrorText.c_str(), "object '../nothing' not found");

  // From an object of another class: what it does not answer arrives as %AK_NULL%.
  AK_ErrorText = "";
  tree.r->AssignAttributesOf(tree.c, AK_Array<AK_String>());
  EXPECT_STREQ(tree.r->Get("Value").c_str(), "0");
  EXPECT_STREQ(tree.r->Get("Name").c_str(), "%AK_NULL%");
}

TEST(Project, SaveAttributesFailuresAndSaveVisibility)
{
  ScratchDir dir;
  Tree tree;
  AK_ErrorText = "";
  for (const char* command : {"SaveAttributes", "SaveAttributesRecursively"}) {
    tree.a->Set(command, (dir / "missing/a.atr").c_str());
    EXPECT_EQ(std::string(AK_ErrorText.c_str()), "cannot open file " + (dir / "missing/a.atr") + " for saving attributes!");
  }

  EXPECT_STREQ(tree.a->Get("SaveVis").c_str(), "r");
  tree.top.Set("ProjectDir", (dir / "nowhere").c_str());
  EXPECT_STREQ(tree.a->Get("SaveVis").c_str(), "r");
  tree.top.Set("SaveProject", "");
  EXPECT_STREQ(tree.a->Get("SaveVis").c_str(), "w");
  EXPECT_TRUE(std::filesystem::exists(dir / "nowhere/a/Level1.atr"));

  // Saving into a directory whose parent is missing creates one level only and fails,
  // naming the directory.
  AK_ErrorText = "";
  tree.a->SaveAs((dir / "x/y").c_str());
  EXPECT_EQ(std::string(AK_ErrorText.c_str()),
            "cannot create directory " + (dir / "x/y") + " for saving top/a: No such file or directory");
}


// One saved attribute rewritten alone: only the object's own line of it changes, every other
// byte of the file stays, and the value reads back from the file.
TEST(Project, OneSavedAttributeIsRewrittenAlone)
{
  RegisterRecorder();
  TST_Recorder r("r", nullptr);
  struct Case {
    const char* before;
    const char* value;
    const char* after;
  };
  const Case cases[] = {
      // the own line replaced; a CRLF line and another object's line of that name kept
      {"set(\"\", \"Value\", \"11\")\r\nset(\"\", \"Name\", \"old\")\nset(\"sub\", \"Name\", \"x\")\n", "new",
       "set(\"\", \"Value\", \"11\")\r\nset(\"\", \"Name\", \"new\")\nset(\"sub\", \"Name\", \"x\")\n"},
      // a line that says so already: the file as it was
      {"set(\"\", \"Name\", \"same\")\r\n", "same", "set(\"\", \"Name\", \"same\")\r\n"},
      // no line: appended, after a line end of its own where the file lacks one
      {"set(\"\", \"Value\", \"11\")", "new", "set(\"\", \"Value\", \"11\")\nset(\"\", \"Name\", \"new\")\n"},
      // a value escaped as every saved value is
      {"set(\"\", \"Name\", \"\")\n", "a \"b\"", "set(\"\", \"Name\", \"a %%qb%%q\")\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.before);
    ScratchDir dir;
    const std::string file = dir.Write("Recorder.atr", c.before);
    AK_ErrorText = "earlier";
    EXPECT_TRUE(r.RewriteSavedAttribute(dir.Path().c_str(), "Name", c.value));
    EXPECT_STREQ(AK_ErrorText.c_str(), "earlier");
    EXPECT_EQ(ReadFile(file), c.after);
    const AK_Read<AK_String> value = r.SavedAttribute(dir.Path().c_str(), "Name");
    ASSERT_TRUE(value.IsRead());
    EXPECT_STREQ(value.Value()->c_str(), c.value);
  }
  // Nothing saved there: nothing to record, and nothing written.
  ScratchDir empty;
  EXPECT_TRUE(r.RewriteSavedAttribute(empty.Path().c_str(), "Name", "new"));
  EXPECT_FALSE(fs::exists(empty / "Recorder.atr"));
  EXPECT_TRUE(r.SavedAttribute(empty.Path().c_str(), "Name").IsMissing());
  // A file that cannot be read fails with its name, and stays; it sets no value, nor none.
  fs::create_directory(empty / "Recorder.atr");
  EXPECT_FALSE(r.RewriteSavedAttribute(empty.Path().c_str(), "Name", "new"));
  EXPECT_EQ(std::string(AK_ErrorText.c_str()).rfind("cannot read " + (empty / "Recorder.atr") + ": ", 0), 0u)
      << AK_ErrorText.c_str();
  EXPECT_TRUE(fs::is_directory(empty / "Recorder.atr"));
  EXPECT_TRUE(r.SavedAttribute(empty.Path().c_str(), "Name").IsUnreadable());
}


// A save and a rewrite of one attribute in other processes, side by side: the rewrite reads the
// file, changes its line and writes it back, and never puts back a value it read before a save
// landed. A reader that looks all the time sees the saved values only grow.
TEST(Project, ARewriteNeverUndoesASaveOfAnotherProcess)
{
  RegisterRecorder();
  ScratchDir dir;
  TST_Recorder r("r", nullptr);
  r.Set("Value", "0");
  r.SaveAs(dir.Path().c_str());
  ASSERT_STREQ(AK_ErrorText.c_str(), "");
  constexpr int kSaves = 300;
  const pid_t saver = fork();
  if (saver == 0) {
    for (int i = 1; i <= kSaves; ++i) {
      r.Set("Value", std::to_string(i).c_str());
      r.SaveAs(dir.Path().c_str());
    }
    _exit(AK_ErrorText.IsEmpty() ? 0 : 1);
  }
  const pid_t rewriter = fork();
  if (rewriter == 0) {
    for (int i = 0; i < 3 * kSaves; ++i)
      if (!r.RewriteSavedAttribute(dir.Path().c_str(), "Name", std::to_string(i).c_str())) _exit(1);
    _exit(0);
  }
  int latest = 0, wentBack = 0, saverStatus = -1, rewriterStatus = -1;
  const auto look = [&] {
    const AK_Read<AK_String> value = r.SavedAttribute(dir.Path().c_str(), "Value");
    if (!value.Value()) return;
    const int seen = std::atoi(value.Value()->c_str());
    if (seen < latest) ++wentBack;
    latest = std::max(latest, seen);
  };
  while (waitpid(saver, &saverStatus, WNOHANG) == 0) look();
  waitpid(rewriter, &rewriterStatus, 0);
  look();
  EXPECT_EQ(saverStatus, 0);
  EXPECT_EQ(rewriterStatus, 0);
  EXPECT_EQ(wentBack, 0);
  EXPECT_EQ(latest, kSaves);
}


// Damage in two objects of one project: the load goes on past each refused or malformed line,
// names both objects, and the next save leaves both sets of files alone until one changes.
TEST(Project, DamagedObjectsAreNamedAndLeftAloneUntilChanged)
{
  ScratchDir dir;
  {
    Tree tree;
    tree.top.SaveProjectAs(dir.Path().c_str());
    ASSERT_STREQ(AK_ErrorText.c_str(), "");
  }
  const std::string aFile = dir / "a/Level1.atr", rFile = dir / "sub/r/Recorder.dat";
  // A value out of range first, then a line cut short: the lines after each still count.
  std::string a = ReadFile(aFile);
  a.replace(a.find("\"5\""), 3, "\"5000\"");
  a.insert(0, "set(\"\", \"Value\", \"1\"\n");
  WriteFile(aFile, a);
  WriteFile(rFile, "no record");

  TST_Holder top("top", nullptr);
  MessageCapture messages;
  AK_ErrorText = "";
  top.LoadProject(dir.Path().c_str());
  EXPECT_EQ(std::string(AK_ErrorText.c_str()),
            "cannot load attributes for top/a from file " + aFile + ": 2 line(s) refused or malformed; "
            "cannot load data for top/sub/r from file " + rFile);
  EXPECT_TRUE(messages.Contains("ERROR:malformed line 1 of '" + aFile + "' ignored: set(\"\", \"Value\", \"1\""));
  EXPECT_TRUE(messages.Contains("ERROR:line 2 of '" + aFile + "' refused: Value: '5000' is out of range [-1000, 1000]: "
                                "set(\"\", \"Value\", \"5000\")"));
  AK_Object* loadedA = top.FindObject("a");
  ASSERT_NE(loadedA, nullptr);
  EXPECT_STREQ(loadedA->Get("$list").c_str(), "x%AK_SEP%y%AK_SEP%");  // a line after the refused one

  const std::string r = ReadFile(rFile);
  messages.Clear();
  AK_ErrorText = "";
  top.SaveProject();
  EXPECT_STREQ(AK_ErrorText.c_str(), "");
  EXPECT_TRUE(Saved(messages).empty());
  EXPECT_TRUE(messages.Contains("WARNING:top/a not saved, its files are left as they are: cannot load attributes for top/a from file " +
                                aFile + ": 2 line(s) refused or malformed"));
  EXPECT_EQ(ReadFile(aFile), a);
  EXPECT_EQ(ReadFile(rFile), r);
  // Saved into another directory, they are copied as they were.
  ScratchDir other;
  top.SaveProjectAs(other.Path().c_str());
  EXPECT_STREQ(AK_ErrorText.c_str(), "");
  EXPECT_EQ(ReadFile(other / "a/Level1.atr"), a);
  EXPECT_EQ(ReadFile(other / "sub/r/Recorder.dat"), r);
  EXPECT_EQ(ReadFile(other / "sub/r/Recorder.atr"), ReadFile(dir / "sub/r/Recorder.atr"));
  // A change by the user makes the object the user's own again.
  loadedA->Set("Value", "6");
  messages.Clear();
  top.SaveProject();
  EXPECT_EQ(Saved(messages), std::vector<std::string>{"saving a to " + (other / "a")});
  EXPECT_EQ(ReadFile(other / "sub/r/Recorder.dat"), r);
}

// Every object whose save fails is named, not only the last one.
TEST(Project, FailedSaveNamesEveryObject)
{
  ScratchDir dir;
  Tree tree;
  tree.top.SaveProjectAs(dir.Path().c_str());
  for (const char* blocked : {"a/Level1.dat", "sub/c/Level1.dat"}) {
    fs::remove(dir / blocked);
    fs::create_directory(dir / blocked);  // a directory where the data file goes
  }
  tree.a->Set("Value", "6");
  tree.c->Set("Value", "7");
  tree.b->Set("Value", "8");
  AK_ErrorText = "";
  tree.top.SaveProject();
  EXPECT_EQ(std::string(AK_ErrorText.c_str()),
            "cannot open " + (dir / "a/Level1.dat") + "; cannot open " + (dir / "sub/c/Level1.dat"));
  EXPECT_NE(ReadFile(dir / "b/Level2.atr").find("\"8\""), std::string::npos);
}

// Later builds read the marks an earlier one left in the projects users keep (a rename to follow,
// a save's build or a deletion's leftovers to remove): their names belong to the saved format.
TEST(Project, TheMarksLeftInAProjectKeepTheNamesSavedProjectsHold)
{
  const std::pair<const char*, const char*> kept[] = {
      {kRenameMarkFile, ".objects_renamed"}, {kSaveStagingSuffix, ".~saving"}, {kStagingMark, "made_by_torvu_save"},
      {kRemovedAside, ".~removing"},         {kRemovalMark, "made_by_torvu_removal"},
  };
  for (const auto& [name, stored] : kept) EXPECT_STREQ(name, stored);
}

// A load removes what a deletion or a save of this program left aside in an object's directory,
// by the mark it made there first, and nothing else of such a name: a user's own directory named
// like one ("notes.~removing", "mine.~saving") stays whole, files and all.
TEST(Project, ALoadRemovesOnlyWhatTheProgramMarkedAsItsOwnLeftAside)
{
  ScratchDir dir;
  Tree tree;
  tree.top.SaveProjectAs(dir.Path().c_str());
  ASSERT_STREQ(AK_ErrorText.c_str(), "");
  const std::string notes = dir.Write(std::string("sub/notes") + kRemovedAside + "/kept.txt", "the user's notes");
  const std::string mine = dir.Write(std::string("sub/mine") + kSaveStagingSuffix + "/mine/kept.txt", "the user's own");
  const std::string removed = dir / (std::string("sub/gone") + kRemovedAside);
  dir.Write(std::string("sub/gone") + kRemovedAside + "/" + kRemovalMark, "");
  dir.Write(std::string("sub/gone") + kRemovedAside + "/gone/Level1.atr", "");
  const std::string built = dir / (std::string("sub/built") + kSaveStagingSuffix);
  dir.Write(std::string("sub/built") + kSaveStagingSuffix + "/" + kStagingMark, "");
  dir.Write(std::string("sub/built") + kSaveStagingSuffix + "/built/Level1.atr", "");
  AK_ErrorText = "";
  tree.top.LoadProject(dir.Path().c_str());
  EXPECT_STREQ(AK_ErrorText.c_str(), "");
  EXPECT_EQ(ReadFile(notes), "the user's notes");
  EXPECT_EQ(ReadFile(mine), "the user's own");
  EXPECT_FALSE(fs::exists(removed));
  EXPECT_FALSE(fs::exists(built));
}
