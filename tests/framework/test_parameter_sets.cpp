// Parameter sets (reading, applying, in force or not, nested and path forms, cycles) and the
// background start.
//
// The test program has two more modes for the background start:
//   --background-parent DIR                   starts itself in the background, as a child,
//                                             and ends;
//   -files D --background-child DIR PID SID   waits until process PID has ended, then writes
//                                             what it found into DIR/marker.
#include <filesystem>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "TestClasses.h"

extern char** environ;

namespace {

std::string Str(const AK_String& s) { return s.c_str(); }

const std::string kLongValue(4089, 'x');

void WriteParameterSetFiles()
{
  const std::string& dir = TestUserAttributesDirectory();
  WriteFile(dir + "AK_Object.parsets",
            "remark line without an equals sign\n\n  =  Two Words  \n Value = 7 \n\tLog\t=\ta=b=c\r\n"
            "=Empty\n=Nested\nParameterSet = Two Words\nExtra = 3\n"
            "=Cycle\nParameterSet = Cycle\nValue = 5\n"
            "=CycleA\nParameterSet = CycleB\n=CycleB\nValue = 11\nParameterSet = CycleA\n"
            "=Other\nchild:Value = 4\nnobody:Value = 4\n"
            "=OtherSet\nchild:ParameterSet = Two Words\nnobody:ParameterSet = Two Words\nValue = 1\n"
            "=PingA\nchild:ParameterSet = PingB\n=PingB\n..:ParameterSet = PingA\nValue = 12\n"
            "=TypeWide\nLevel1::ParameterSet = Empty\n"
            "=Broken\nExecMacro = /nonexistent-torvu-dir/x.macro\nValue = 8\n=Dup\nValue = 1\n");
  // An entry before the first set of a file, then a line longer than the line buffer: its
  // second piece is a line of its own.
  WriteFile(dir + "TST_Level1.parsets", "Value = 123\n=Dup\nValue = 2\nLog = " + kLongValue + "Value = 9\n");
  WriteFile(dir + "TST_Level2.parsets", "=Level2Set\nExtra = 5\n");
}

// Writes the files and constructs the classes whose files hold the sets, so the table is
// complete. The table only grows and a class's sets are read with its first object, so this
// runs only in a process of the test's own (as ctest runs every test).
#define LoadAllSets()                     \
  SKIP_UNLESS_ALONE_IN_PROCESS();         \
  WriteParameterSetFiles();               \
  TST_Level2 loadAllSets("load", nullptr)

struct Entry {
  std::string attribute, value;
  bool operator==(const Entry&) const = default;
};

std::vector<Entry> Entries(int index)
{
  std::vector<Entry> entries;
  const AK_ParameterSet& set = AK_ParameterSetTable[index];
  for (int i = 0; i < set.attributes.Size(); ++i)
    entries.push_back({Str(set.attributes[i]), Str(set.values[i])});
  return entries;
}

int IndexOf(const char* name, int occurrence)
{
  for (int i = 0, seen = 0; i < AK_ParameterSetTable.Size(); ++i)
    if (AK_ParameterSetTable[i].name == name && seen++ == occurrence) return i;
  return -1;
}

std::string SetOf(AK_Object& o) { return Str(o.Get("ParameterSet")); }

}  // namespace

// Reading the files, and a set on one object: in force until one of its attributes is touched.
TEST(ParameterSets, ReadAndInForceUntilTouched)
{
  LoadAllSets();
  EXPECT_EQ(Str(AK_GetParameterSetOptions()),
            "none%AK_SEP%Two Words%AK_SEP%Empty%AK_SEP%Nested%AK_SEP%Cycle%AK_SEP%CycleA%AK_SEP%"
            "CycleB%AK_SEP%Other%AK_SEP%OtherSet%AK_SEP%PingA%AK_SEP%PingB%AK_SEP%TypeWide%AK_SEP%"
            "Broken%AK_SEP%Dup%AK_SEP%Dup%AK_SEP%Level2Set%AK_SEP%");
  EXPECT_EQ(Entries(IndexOf("Two Words", 0)),
            (std::vector<Entry>{{"Value", "7"}, {"Log", "a=b=c"}}));
  EXPECT_TRUE(Entries(IndexOf("Empty", 0)).empty());
  // The entry above the first set of TST_Level1's file joined no set.
  EXPECT_EQ(Entries(IndexOf("Dup", 0)), (std::vector<Entry>{{"Value", "1"}}));
  EXPECT_EQ(Entries(IndexOf("Dup", 1)),
            (std::vector<Entry>{{"Value", "2"}, {"Log", kLongValue}, {"Value", "9"}}));
  EXPECT_EQ(AK_FindParameterSet("Dup"), IndexOf("Dup", 1));  // the later of one name is found
  EXPECT_EQ(AK_FindParameterSet("none"), -1);

  TST_Level2 o("o", nullptr);
  EXPECT_EQ(SetOf(o), "none");
  EXPECT_EQ(Str(o.Get("ParameterSetOptions")), Str(AK_GetParameterSetOptions()));
  TestLog().clear();
  o.ExecuteCommand("set(\"\", \"ParameterSet\", \"Two Words\")", 1);
  EXPECT_EQ(Str(AK_ErrorText), "");
  EXPECT_EQ(Str(o.Get("Value")), "7");
  EXPECT_EQ(TestLog(), std::vector<std::string>{"Level2:a=b=c"});
  EXPECT_EQ(SetOf(o), "Two Words");
  EXPECT_EQ(SetOf(o), "Two Words");  // reading changes nothing
  o.Set("Extra", "1");  // not an attribute of the set
  EXPECT_EQ(SetOf(o), "Two Words");
  o.Set("Value", "7");  // the same value, set by hand
  EXPECT_EQ(SetOf(o), "none");
  o.Set("ParameterSet", "Two Words");  // applied again, it is in force again
  EXPECT_EQ(SetOf(o), "Two Words");
  o.Set("Log", "x");
  EXPECT_EQ(SetOf(o), "none");

  o.Set("ParameterSet", "Empty");
  o.Set("Value", "3");
  EXPECT_EQ(SetOf(o), "Empty");  // an empty set stays in force
  o.Set("ParameterSet", "no such set");
  EXPECT_EQ(SetOf(o), "none");
  EXPECT_GT(o.ModificationTime("ParameterSet"), 0);

  // A container takes none of the entries of "Two Words": no warning, the set is in force.
  AK_Container c("c", nullptr);
  MessageCapture messages;
  c.Set("ParameterSet", "Two Words");
  EXPECT_TRUE(messages.messages.empty());
  EXPECT_EQ(SetOf(c), "Two Words");

  // The later of two sets of one name wins; a line cut into pieces gave a third entry.
  TST_Level1 one("one", nullptr);
  TestLog().clear();
  one.Set("ParameterSet", "Dup");
  EXPECT_EQ(Str(one.Get("Value")), "9");
  EXPECT_EQ(TestLog(), std::vector<std::string>{"Level1:" + kLongValue});
  EXPECT_EQ(SetOf(one), "Dup");
}

// Nested sets and entries for other objects ("path:Attribute", "Type::Attribute").
TEST(ParameterSets, NestedAndPathForms)
{
  LoadAllSets();
  TST_Level2 o("o", nullptr);
  for (const char* touch : {"Log", "Extra"}) {  // of the nested set only, of the outer one only
    o.Set("ParameterSet", "Nested");
    EXPECT_EQ(Str(o.Get("Value")) + Str(o.Get("Extra")) + SetOf(o), "73Nested");
    o.Set(touch, "3");
    EXPECT_EQ(SetOf(o), "none") << touch;
  }

  TST_Holder parent("p", nullptr);
  TST_Level1* child = new TST_Level1("child", &parent);
  parent.AddComponent(child);
  parent.Set("ParameterSet", "Other");  // "nobody:Value" names no object: it passes
  EXPECT_EQ(Str(child->Get("Value")) + SetOf(parent), "4Other");
  child->Set("Value", "4");
  EXPECT_EQ(SetOf(parent), "none");

  parent.Set("ParameterSet", "OtherSet");
  EXPECT_EQ(SetOf(*child) + "/" + SetOf(parent), "Two Words/OtherSet");
  child->Set("ParameterSet", "Empty");  // the child holds another set now
  EXPECT_EQ(SetOf(parent), "none");
  parent.Set("ParameterSet", "OtherSet");
  child->Set("Log", "touched");  // the child's set stops being in force, and so does the parent's
  EXPECT_EQ(SetOf(*child) + "/" + SetOf(parent), "none/none");

  // A type-wide entry reaches every object of the type below and is never checked.
  TST_Level1* second = new TST_Level1("second", &parent);
  parent.AddComponent(second);
  parent.Set("ParameterSet", "TypeWide");
  EXPECT_EQ(SetOf(*child) + "/" + SetOf(*second), "Empty/Empty");
  second->Set("ParameterSet", "Dup");
  EXPECT_EQ(SetOf(parent), "TypeWide");
}

// A set that names itself (directly, through another set or through another object) and an
// entry that fails are warnings; the rest of the set is applied and in force until touched.
TEST(ParameterSets, CyclesAndFailingEntriesAreWarnings)
{
  LoadAllSets();
  const std::string cycle = "error when setting 'ParameterSet' to value ";
  const struct { const char *set, *value; std::string warning; } rows[] = {
      {"Cycle", "5", "Cycle: " + cycle + "'Cycle':parameter set 'Cycle' is already being applied"},
      {"CycleA", "11", "CycleB: " + cycle + "'CycleA':parameter set 'CycleA' is already being applied"},
      {"Broken", "8", "Broken: error when setting 'ExecMacro' to value '/nonexistent-torvu-dir/x.macro'"
                      ":cannot open macro file '/nonexistent-torvu-dir/x.macro'"},
  };
  for (const auto& row : rows) {
    TST_Level1 o("o", nullptr);
    MessageCapture messages;
    o.ExecuteCommand(("set(\"\", \"ParameterSet\", \"" + std::string(row.set) + "\")").c_str(), 1);
    EXPECT_EQ(Str(AK_ErrorText), "");
    EXPECT_EQ(messages.messages, std::vector<std::string>{"WARNING: parameter set " + row.warning});
    EXPECT_EQ(Str(o.Get("Value")) + "/" + SetOf(o), row.value + std::string("/") + row.set);
    o.Set("Value", row.value);
    EXPECT_EQ(SetOf(o), "none") << row.set;
  }

  // Through two objects: the parent's set gives the child a set that names the parent's.
  TST_Holder parent("p", nullptr);
  TST_Level1* child = new TST_Level1("child", &parent);
  parent.AddComponent(child);
  MessageCapture messages;
  parent.Set("ParameterSet", "PingA");
  EXPECT_EQ(messages.messages.size(), 1u);
  EXPECT_EQ(Str(child->Get("Value")) + "/" + SetOf(parent) + "/" + SetOf(*child), "12/PingA/PingB");
  child->Set("Value", "12");
  EXPECT_EQ(SetOf(parent), "none");
}

// --- the background start ---

TEST(BackgroundStart, AFailedStartLeavesAnErrorText)
{
  AK_Object o("o", nullptr);  // the first object sets the user application directory
  AK_String saved(UserApplicationDirectory);
  UserApplicationDirectory = "/nonexistent-torvu-dir/";
  MessageCapture messages;
  o.ExecuteCommand("set(\"\", \"StartInBackground\", \"-offscreen a.macro\")", 1);
  std::string program = Str(AK_ProgramPath());
  EXPECT_EQ(Str(AK_ErrorText), "cannot start " + program + " -offscreen a.macro");
  ASSERT_GE(messages.messages.size(), 2u);
  EXPECT_EQ(messages.messages[0], "starting " + program + " -offscreen a.macro in background...");
  EXPECT_EQ(messages.messages[1], "ERROR:cannot write batch file /nonexistent-torvu-dir/start.bat");
  EXPECT_EQ(Str(AK_BatchFileName), "");
  UserApplicationDirectory = saved;
}

namespace {

int RunParent(const std::string& dir)
{
  AttributesDirectory = TORVU_TEST_ATTRIBUTES_DIR "/";
  AK_Object top("top", nullptr);
  std::string arguments = "--background-child \"" + dir + "\" " + std::to_string(getpid()) + " " +
                          std::to_string(getsid(0));
  top.Set("StartInBackground", arguments.c_str());
  return AK_ErrorText.IsEmpty() ? 0 : 2;
}

// Waits until the parent has ended, then tells what it found: whether the parent had ended,
// whether this process runs in a session of its own and reads its input from /dev/null.
int RunChild(const std::string& dir, pid_t parent, pid_t parentSession)
{
  bool ended = false;
  for (int i = 0; i < 3000 && !ended; ++i) {
    ended = kill(parent, 0) != 0 && errno == ESRCH;
    if (!ended) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  struct stat input {}, null {};
  bool nullInput = fstat(0, &input) == 0 && stat("/dev/null", &null) == 0 &&
                   S_ISCHR(input.st_mode) && input.st_rdev == null.st_rdev;
  std::string report = std::string("parent ended:") + (ended ? "yes" : "no") +
                       " own session:" + (getsid(0) != parentSession ? "yes" : "no") +
                       " input:" + (nullInput ? "/dev/null" : "other") + "\n";
  WriteFile(dir + "/marker.tmp", report);
  return std::rename((dir + "/marker.tmp").c_str(), (dir + "/marker").c_str()) == 0 ? 0 : 1;
}

}  // namespace

TEST(BackgroundStart, TheChildOutlivesTheParent)
{
  ScratchDir dir;
  std::string self = Str(AK_ProgramPath());
  ASSERT_FALSE(self.empty());

  std::vector<std::string> environment{"HOME=" + dir.Path()};
  for (char** e = environ; *e; ++e)
    if (std::strncmp(*e, "HOME=", 5) != 0) environment.push_back(*e);
  std::vector<char*> envp;
  for (std::string& e : environment) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string mode = "--background-parent", path = dir.Path();
  char* argv[] = {self.data(), mode.data(), path.data(), nullptr};

  pid_t parent;
  ASSERT_EQ(posix_spawn(&parent, self.c_str(), nullptr, nullptr, argv, envp.data()), 0);
  int status = 0;
  ASSERT_EQ(waitpid(parent, &status, 0), parent);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);

  std::string marker = dir / "marker";
  for (int i = 0; i < 6000 && !std::filesystem::exists(marker); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_TRUE(std::filesystem::exists(marker)) << "the background child wrote nothing";
  EXPECT_EQ(ReadFile(marker), "parent ended:yes own session:yes input:/dev/null\n");

  std::string program = AK_String(self.c_str()).BaseName().c_str();
  EXPECT_EQ(ReadFile(dir / ("." + program + "/start.bat")),
            "#!/bin/sh\n'" + self + "' '-files' '" TORVU_TEST_ATTRIBUTES_DIR "/' '--background-child' '" +
                dir.Path() + "' '" + std::to_string(parent) + "' '" + std::to_string(getsid(0)) + "'\n");
}

int RunBackgroundMode(int argc, char** argv)
{
  if (argc == 3 && std::strcmp(argv[1], "--background-parent") == 0) {
    AK_SetProgramArguments(argc, argv);
    return RunParent(argv[2]);
  }
  // The child is started with the parent's attributes directory first.
  if (argc == 7 && std::strcmp(argv[3], "--background-child") == 0)
    return RunChild(argv[4], static_cast<pid_t>(std::atol(argv[5])), static_cast<pid_t>(std::atol(argv[6])));
  return -1;
}
