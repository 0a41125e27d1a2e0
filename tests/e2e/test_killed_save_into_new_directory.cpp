// A save of a project into a directory that does not stand, killed before any one of its calls that
// change the disk, leaves no project there at all (never a part of one that loads as whole), its
// source as it was, and a next save into that name that succeeds whole. A save that finds the
// name's build still going on in a live process refuses and leaves it alone.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "AK_ProjectMarks.h"
#include "ExampleTerrain.h"
#include "SharedProjectProcesses.h"
#include "TestSupport.h"

namespace {

namespace fs = std::filesystem;

// The one-shot runs are started on a macro of the name that the processes of TorvuProcess run: the
// saved top object names it.
constexpr const char* kMacro = "driver.macro";
// Where a save into "new" builds it, beside it.
const std::string kNewBuild = std::string("new") + kSaveStagingSuffix;

// The calls of a one-shot run of the macro in `dir` that the failure hook counts.
long CountedCalls(const std::string& dir, const std::string& macro)
{
  const std::string count = dir + "/calls";
  fs::create_directories(dir);
  fs::remove(count);
  WriteFile(dir + "/" + kMacro, macro);
  RunProcess(TorvuOffscreen(dir, TORVU_PROGRAM, TORVU_ATTRIBUTES, std::string(kMacro) + " < /dev/null",
                            "TORVU_FAIL_COUNT=" + ShellQuote(count) + " "));
  std::ifstream in(count);
  long pid = 0, calls = -1;
  in >> pid >> calls;
  return calls;
}

// The project's files, but for the series stamp: each copy of a series gets an id of its own.
Files ProjectFiles(const std::string& project)
{
  Files files = Tree(project);
  files.erase(kSimulation + "/.simulation_series");
  return files;
}

// The calls to kill at: every one of the first and last dozen, and every 15th of the rest.
std::set<long> CallsToKill(long first, long last)
{
  std::set<long> calls;
  for (long n = first; n <= last; ++n)
    if (n < first + 12 || n > last - 12 || (n - first) % 15 == 0) calls.insert(n);
  return calls;
}

// A fresh process loads the project with the simulation's time step it records.
void ExpectLoadsWith(const std::string& home, const std::string& project, const std::string& record)
{
  TorvuProcess loads(home);
  const Answer loaded = loads.Do(Load(project) + "get(\"" + kSimulation + "\", \"CurrentTimeStep\", value);");
  EXPECT_TRUE(loaded.ok) << loaded;
  EXPECT_EQ(loaded.text, record);
  EXPECT_EQ(loads.Quit(), 0);
}

}  // namespace

TEST(KilledSaveIntoNewDirectory, LeavesNoProjectOrAWholeOneAndTheNextSaveIsWhole)
{
  SharedExample p(4, 2);
  Torvu(p.Path(), "run.macro", Load("proj") + Set(kSimulation, "Run", "") + SaveProject());
  const std::string loadOnly = Load("../proj");
  const std::string saveNew = loadOnly + SaveAs("../new");
  const long loadCalls = CountedCalls(p / "dry", loadOnly);
  const long allCalls = CountedCalls(p / "dry", saveNew);
  ASSERT_GT(loadCalls, 0);
  ASSERT_GT(allCalls, loadCalls + 5);
  // The whole save, as the oracle of every later one: the source's time steps, and one directory
  // of files that a fresh process loads with its record.
  ASSERT_TRUE(fs::is_directory(p / "new"));
  EXPECT_FALSE(fs::exists(p / kNewBuild));
  const Files whole = ProjectFiles(p / "new");
  const Files source = Tree(p / "proj");
  const std::string record = Recorded(SavedOf(p / "proj"));
  ASSERT_FALSE(record.empty());
  ExpectSameFiles(TimeStepContents(RunOf(p / "new")), TimeStepContents(RunOf(p / "proj")), "the whole save");
  EXPECT_EQ(Recorded(SavedOf(p / "new")), record);
  EXPECT_FALSE(fs::exists(RunOf(p / "new") + "/.simulation_lock"));
  EXPECT_FALSE(fs::exists(RunOf(p / "new") + "/.simulation_copying"));
  ExpectLoadsWith(p / "loads", "../new", record);
  std::cout << "the save into a new directory makes calls " << loadCalls + 1 << " to " << allCalls << "\n";

  fs::create_directories(p / "kill");
  WriteFile(p / "kill/" + kMacro, saveNew);
  for (const long n : CallsToKill(loadCalls + 1, allCalls)) {
    SCOPED_TRACE("killed before call " + std::to_string(n));
    fs::remove_all(p / "new");
    int status = 0;
    RunProcess(TorvuOffscreen(p / "kill", TORVU_PROGRAM, TORVU_ATTRIBUTES, std::string(kMacro) + " < /dev/null",
                              "TORVU_KILL_AT=" + std::to_string(n) + " "),
               &status);
    EXPECT_NE(status, 0) << "not killed";
    ExpectSameFiles(Tree(p / "proj"), source, "the source");
    // No part of a project: nothing at all, or all of it.
    if (fs::exists(p / "new")) ExpectSameFiles(ProjectFiles(p / "new"), whole, "what the killed save left");
    // The next save removes what the killed one left, and is whole: the files of the whole save,
    // which a fresh process loads whole.
    {
      TorvuProcess again(p / "again");
      const Answer saved = again.Do(saveNew);
      EXPECT_TRUE(saved.ok) << saved;
      EXPECT_EQ(again.Quit(), 0);
    }
    EXPECT_FALSE(fs::exists(p / kNewBuild));
    ASSERT_TRUE(fs::is_directory(p / "new"));
    ExpectSameFiles(ProjectFiles(p / "new"), whole, "the next save");
    if (HasFailure()) break;  // one case tells; the rest would repeat it
  }
  ExpectLoadsWith(p / "loads", "../new", record);

  // A copy of the time steps that cannot be put in place stays marked for the next taker, and
  // goes in place with the rest of the project: the next load finishes it.
  fs::remove_all(p / "new");
  {
    FailOnce fail("rename:" + File(4));
    TorvuProcess x(p / "x");
    const Answer saved = x.Do(saveNew);
    EXPECT_FALSE(saved.ok);
    EXPECT_TRUE(Contains(saved, "the copy stays marked there")) << saved;
    EXPECT_EQ(x.Quit(), 0);
  }
  EXPECT_FALSE(fs::exists(p / kNewBuild));
  ASSERT_TRUE(fs::exists(RunOf(p / "new") + "/.simulation_copying"));
  ExpectLoadsWith(p / "loads", "../new", record);
  ExpectSameFiles(TimeStepContents(RunOf(p / "new")), TimeStepContents(RunOf(p / "proj")), "the finished copy");
  ExpectSameFiles(Tree(p / "proj"), source, "the source");
}

// The build of a save into the name that a live process still holds is not touched: the save
// refuses and names it. Once that process is gone, the next save removes it and is whole; a file
// in the build's place is no build and stays, nor does a directory the program did not mark as its
// build (a user's own); an empty one holds nothing and goes.
TEST(KilledSaveIntoNewDirectory, ABuildOfALiveProcessStaysAndAFileInItsPlaceToo)
{
  SharedExample p(2, 2);
  const std::string staging = p / kNewBuild;
  fs::create_directories(staging + "/new/Project");
  WriteFile(staging + "/" + kStagingMark, "");
  WriteFile(staging + "/new/Project/held", "mine");
  TorvuProcess x(p / "x");
  {
    // The test holds the build's lock as a saving process does.
    const int fd = open(staging.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    const Answer refused = x.Do(Load() + SaveAs("../new"));
    close(fd);
    EXPECT_FALSE(refused.ok);
    EXPECT_TRUE(Contains(refused, "a save into it is going on in another process")) << refused;
    EXPECT_EQ(ReadFile(staging + "/new/Project/held"), "mine");
    EXPECT_FALSE(fs::exists(p / "new"));
  }
  const Answer saved = x.Do(SaveAs("../new"));
  EXPECT_TRUE(saved.ok) << saved;
  EXPECT_FALSE(fs::exists(staging));
  ExpectSameFiles(TimeStepContents(RunOf(p / "new")), TimeStepContents(RunOf(p / "proj")));

  fs::remove_all(p / "new");
  WriteFile(staging, "a user's file");
  const Answer file = x.Do(SaveAs("../new"));
  EXPECT_FALSE(file.ok);
  EXPECT_EQ(ReadFile(staging), "a user's file");
  EXPECT_FALSE(fs::exists(p / "new"));

  fs::remove(staging);
  fs::create_directories(staging);
  WriteFile(staging + "/mine.txt", "mine");
  const Answer users = x.Do(SaveAs("../new"));
  EXPECT_FALSE(users.ok);
  EXPECT_TRUE(Contains(users, "../" + kNewBuild + " is no save's build of this program, and is left as it stands"))
      << users;
  EXPECT_EQ(ReadFile(staging + "/mine.txt"), "mine");
  EXPECT_FALSE(fs::exists(p / "new"));
  fs::remove(staging + "/mine.txt");
  EXPECT_TRUE(x.Do(SaveAs("../new")).ok);
  EXPECT_FALSE(fs::exists(staging));
  EXPECT_TRUE(fs::is_directory(p / "new"));
  EXPECT_EQ(x.Quit(), 0);
}

// A save goes where its path leads, resolved once: through a level that does not stand and back
// ("a/../p", "q/a/../p" with q standing, "b/c/../../p"), with "." and a trailing "/", given to
// SaveProjectAs or as the ProjectDir of a SaveProject. Each leaves the whole project there, no level
// of the path that did not stand and no build; a path through a file leads nowhere and is refused,
// leaving nothing. A save-as whose path leads back to the project's own directory is a save of it:
// the change it saves holds in a fresh load.
TEST(KilledSaveIntoNewDirectory, ASaveGoesWhereItsPathLeadsOrIsRefusedLeavingNothing)
{
  SharedExample p(2, 2);
  Torvu(p.Path(), "run.macro", Load("proj") + Set(kSimulation, "Run", "") + SaveProject());
  fs::create_directories(p / "q");
  WriteFile(p / "f", "a user's file");
  {
    TorvuProcess x(p / "x");
    ASSERT_TRUE(x.Do(Load() + SaveAs("../new")).ok);
    EXPECT_EQ(x.Quit(), 0);
  }
  const Files whole = ProjectFiles(p / "new");
  const Files steps = TimeStepContents(RunOf(p / "new"));
  ASSERT_FALSE(steps.empty());
  struct Case {
    std::string save, project;  // "" for a refusal
    std::vector<std::string> notLeft;
  };
  const std::vector<Case> cases = {
      {SaveAs("../a/../p1"), "p1", {"a", "a" + std::string(kSaveStagingSuffix)}},
      {SaveAs("../q/a/../p2"), "q/p2", {"q/a", "q/a" + std::string(kSaveStagingSuffix)}},
      {SaveAs("../b/c/../../p3"), "p3", {"b", "b" + std::string(kSaveStagingSuffix)}},
      {SaveAs("../p4/./"), "p4", {"p4" + std::string(kSaveStagingSuffix)}},
      {Set("", "ProjectDir", "../d/..\\\\p5/") + Set("", "SaveProject", ""), "p5", {"d"}},
      {SaveAs("../f/../p6"), "", {"p6", "f" + std::string(kSaveStagingSuffix)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.save);
    TorvuProcess x(p / "x");
    const Answer saved = x.Do(Load() + c.save);
    EXPECT_EQ(x.Quit(), 0);
    EXPECT_EQ(saved.ok, !c.project.empty()) << saved;
    for (const std::string& left : c.notLeft) EXPECT_FALSE(fs::exists(p / left)) << left;
    EXPECT_EQ(ReadFile(p / "f"), "a user's file");
    if (c.project.empty()) continue;
    ExpectSameFiles(ProjectFiles(p / c.project), whole, c.project);
    ExpectSameFiles(TimeStepContents(RunOf(p / c.project)), steps, c.project);
  }
  TorvuProcess x(p / "x");
  const Answer back = x.Do(Load() + Set("Project/ReleaseAreas/slope_0001", "Depth", "2.5") + SaveAs("../nx/../proj") +
                           SaveProject());
  EXPECT_TRUE(back.ok) << back;
  EXPECT_FALSE(fs::exists(p / "nx"));
  EXPECT_EQ(x.Quit(), 0);
  TorvuProcess fresh(p / "fresh");
  const Answer depth = fresh.Do(Load() + "get(\"Project/ReleaseAreas/slope_0001\", \"Depth\", value);");
  EXPECT_TRUE(depth.ok) << depth;
  EXPECT_EQ(std::stod(depth.text), 2.5) << depth;
  EXPECT_EQ(fresh.Quit(), 0);
}
