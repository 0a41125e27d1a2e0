// A saved object renamed and the project saved in one command, with each call of it that changes
// the disk failed in turn: an answered failure leaves every file as before the command or as the
// whole command leaves it, with the object under one of its names (never the new name over the
// files saved under the old one), and the project loads; an answered success left all of it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <tuple>

#include "AK_ProjectMarks.h"
#include "ExampleTerrain.h"
#include "SharedProjectProcesses.h"
#include "TestSupport.h"

namespace fs = std::filesystem;

TEST(RenamedSaves, ARenameWhoseSaveFailsLeavesTheObjectUnderOneNameWithItsOwnFiles)
{
  // Every file by its path, a data file without the time in its gzip header; the directories
  // holding an object; the files that are as neither of two trees.
  const auto files = [](const std::string& project) {
    Files tree = Tree(project);
    // The mark of a rename that a failure left for the next load, which the check's load follows.
    tree.erase(std::string("Project/") + kRenameMarkFile);
    for (auto& [name, bytes] : tree)
      if (bytes.size() > 8 && bytes.compare(0, 2, "\x1f\x8b") == 0) bytes.replace(4, 4, 4, '\0');
    return tree;
  };
  const auto objects = [](const Files& tree) {
    std::set<std::string> directories;
    for (const auto& entry : tree)
      if (fs::path(entry.first).extension() == ".atr") directories.insert(fs::path(entry.first).parent_path());
    return directories;
  };
  const auto neither = [](const Files& got, const Files& before, const Files& done, const Files& unsaved = {}) {
    std::string names;
    for (const auto& [name, bytes] : got)
      if (!(before.count(name) && before.at(name) == bytes) && !(done.count(name) && done.at(name) == bytes) &&
          !(unsaved.count(name) && unsaved.at(name) == bytes))
        names += name + " ";
    for (const auto& entry : before)
      if (!got.count(entry.first) && done.count(entry.first)) names += entry.first + " (gone) ";
    return names;
  };
  ScratchDir p;
  // The release area as the simulation's group names it, the mesh as nothing does.
  for (const char* project : {"held", "plain"}) {
    fs::create_directories(p / project);
    CopyExampleTerrain(p / project);
  }
  Torvu(p / "held", "setup.macro", ProjectMacro(6, 1));
  Torvu(p / "plain", "setup.macro", ImportExampleAsProject());
  const std::tuple<std::string, std::string, std::string> cases[] = {
      {"held", "Project/ReleaseAreas/slope_0001", "Top"}, {"plain", "Project/DHMs/slope_simulation", "knoll"}};
  for (const auto& [project, path, renamed] : cases) {
    SCOPED_TRACE(path);
    // Changed too, so that its attribute file is written anew.
    const auto command = [&](const std::string& dir) {
      return Load(dir) + Set(path, "Color", "0.5 0.5 0.5") + Set(path, "Id", renamed) + SaveProject();
    };
    const std::string original = p / (project + "/proj");
    const Files before = files(original);
    fs::remove_all(p / "done");
    fs::copy(original, p / "done", fs::copy_options::recursive);
    // The dry run counts the calls.
    setenv("TORVU_FAIL_COUNT", (p / "calls").c_str(), 1);
    {
      TorvuProcess x(p / "x");
      ASSERT_TRUE(x.Do(command(p / "done")).ok);
      ASSERT_EQ(x.Quit(), 0);
    }
    unsetenv("TORVU_FAIL_COUNT");
    const std::string counted = ReadFile(p / "calls");
    fs::remove(p / "calls");
    const long calls = std::atol(counted.substr(counted.find(' ') + 1).c_str());
    const Files done = files(p / "done");
    // A save refused before its first write leaves what the commands before it left: the directory
    // renamed, its files not yet rewritten.
    fs::remove_all(p / "unsaved");
    fs::copy(original, p / "unsaved", fs::copy_options::recursive);
    {
      TorvuProcess x(p / "x");
      ASSERT_TRUE(x.Do(Load(p / "unsaved") + Set(path, "Color", "0.5 0.5 0.5") + Set(path, "Id", renamed)).ok);
      ASSERT_EQ(x.Quit(), 0);
    }
    const Files unsaved = files(p / "unsaved");
    ASSERT_NE(objects(done), objects(before));
    ASSERT_GT(calls, 5);
    for (long n = 1; n <= calls; ++n) {
      SCOPED_TRACE("call " + std::to_string(n) + " of " + std::to_string(calls) + " failed");
      fs::remove_all(p / "try");
      fs::copy(original, p / "try", fs::copy_options::recursive);
      setenv("TORVU_FAIL_AT", std::to_string(n).c_str(), 1);
      TorvuProcess x(p / "x");
      unsetenv("TORVU_FAIL_AT");
      const Answer answer = x.Do(command(p / "try"));
      EXPECT_EQ(x.Quit(), 0);
      const Files got = files(p / "try");
      if (answer.ok) {
        EXPECT_EQ(neither(got, done, done), "") << "answered success, but left other than the whole command";
        continue;
      }
      EXPECT_EQ(neither(got, before, done, unsaved), "") << answer;
      EXPECT_TRUE(objects(got) == objects(before) || objects(got) == objects(done)) << answer;
      TorvuProcess check(p / "check");
      EXPECT_TRUE(check.Do(Load(p / "try")).ok);
      EXPECT_EQ(check.Quit(), 0);
    }
  }
}

// A rename while the mark of a rename pending since the last save cannot be read is refused,
// naming the mark, and leaves it as it was: written over, the pending rename would be lost, and
// the group that names the renamed area under its old name with it.
TEST(RenamedSaves, ARenameOverAMarkThatCannotBeReadKeepsThePendingOne)
{
  SharedExample p(6, 1);
  const std::string project = p / "proj", mark = project + "/Project/" + kRenameMarkFile;
  const std::string group = kSimulation + "/ReleaseAreas";
  {
    TorvuProcess x(p / "x");
    ASSERT_TRUE(x.Do(Load(project) + Set("Project/ReleaseAreas/slope_0001", "Id", "R2")).ok);
    EXPECT_EQ(x.Quit(), 0);
  }
  const std::string pending = ReadFile(mark);
  ASSERT_TRUE(Contains(pending, "R2")) << pending;
  {
    FailOnce unreadable(std::string("open:") + kRenameMarkFile);
    TorvuProcess y(p / "y");
    // The load cannot follow the mark either, and says so; the tree is there to rename in.
    (void)y.Do(Load(project));
    ASSERT_NE(y.Get("Project/DHMs/slope_simulation", "Id"), "");
    const Answer renamed = y.Do(Set("Project/DHMs/slope_simulation", "Id", "knoll"));
    EXPECT_FALSE(renamed.ok) << renamed;
    EXPECT_TRUE(Contains(renamed, kRenameMarkFile)) << renamed;
    EXPECT_EQ(y.Quit(), 0);
  }
  EXPECT_EQ(ReadFile(mark), pending);
  TorvuProcess check(p / "check");
  ASSERT_TRUE(check.Do(Load(project)).ok);
  EXPECT_EQ(check.Get(group, "ContainedObjectsList"), "../../../ReleaseAreas/R2%AK_SEP%");
  EXPECT_EQ(check.Quit(), 0);
}

// A save of a project whose group of A could not be read keeps the mark of a rename pending since
// the last save: the group's file, which that save cannot write, still names the area under its
// old name, and only the mark leads a later load from it to the new one.
TEST(RenamedSaves, ASaveOfAProjectThatDidNotLoadWholeKeepsThePendingRename)
{
  SharedExample p(6, 1);
  const std::string project = p / "proj", group = kSimulation + "/ReleaseAreas";
  {
    TorvuProcess x(p / "x");
    ASSERT_TRUE(x.Do(Load(project) + Set("Project/ReleaseAreas/slope_0001", "Id", "R2")).ok);
    EXPECT_EQ(x.Quit(), 0);
  }
  {
    FailOnce unreadable("open:Group.atr");
    TorvuProcess y(p / "y");
    const Answer loaded = y.Do(Load(project));
    EXPECT_FALSE(loaded.ok) << loaded;
    (void)y.Do(SaveProject());
    EXPECT_EQ(y.Quit(), 0);
  }
  TorvuProcess check(p / "check");
  const Answer loaded = check.Do(Load(project));
  EXPECT_TRUE(loaded.ok) << loaded;
  EXPECT_EQ(check.Get(group, "ContainedObjectsList"), "../../../ReleaseAreas/R2%AK_SEP%");
  EXPECT_EQ(check.Quit(), 0);
}

// Y loaded the project before X renamed slope_0001 to R2, or deleted it, with no save. Y's area
// under the old name is saved by nothing (alone, with the areas, or with the whole project): the
// save is refused before it writes, naming the rename or the deletion and "LoadProject". An area Y
// imports after deleting its own is refused the name X's rename or deletion left. Either way a
// fresh load leads A's group to R2, or to nothing, and no slope_0001 stands.
TEST(RenamedSaves, AProcessThatLoadedBeforeAnothersRenameTakesNotTheNameItLeft)
{
  const std::string areas = "Project/ReleaseAreas", area = areas + "/slope_0001";
  struct Other {
    std::string commands;  // what X does, with no save
    std::string byAnother;  // a refusal of Y's save of the area names it
    std::string savedName;  // a refusal of the name asked names it
    std::string members;    // A's group after a fresh load
  } others[] = {
      {Set(area, "Id", "R2"), "renamed to R2 by another process",
       "slope_0001 is the saved name of Viewer/Project/ReleaseAreas/R2 until the project is saved",
       "../../../ReleaseAreas/R2%AK_SEP%"},
      {Set(areas, "DeleteComponent", "slope_0001"), "deleted by another process",
       "slope_0001 is the saved name of a deleted object until the project is saved", ""},
  };
  for (const Other& other : others) {
    struct Case {
      std::string commands;
      const std::string& why;
    } cases[] = {{Set(area, "Save", ""), other.byAnother},
                 {Set(areas, "SaveProject", ""), other.byAnother},
                 {SaveProject(), other.byAnother},
                 {Set(areas, "DeleteComponent", "slope_0001") + Set(areas, "LoadRelFile", "../slope.rel") +
                      Set(areas, "SaveProject", ""),
                  other.savedName}};
    for (const Case& c : cases) {
      SCOPED_TRACE(other.commands + c.commands);
      SharedExample p(2, 2);
      TorvuProcess y(p / "y"), x(p / "x");
      ASSERT_TRUE(y.Do(Load()).ok);
      ASSERT_TRUE(x.Do(Load() + other.commands).ok);
      const Files before = Tree(p / "proj");
      const Answer saved = y.Do(c.commands);
      EXPECT_FALSE(saved.ok) << saved;
      EXPECT_TRUE(Contains(saved, c.why)) << saved;
      if (&c.why == &other.byAnother) {
        EXPECT_TRUE(Contains(saved, "\"LoadProject\"")) << saved;
        ExpectSameFiles(Tree(p / "proj"), before, Gist(y.Log()));
      }
      EXPECT_FALSE(fs::exists(p / ("proj/" + area))) << saved;
      EXPECT_EQ(x.Quit(), 0);
      EXPECT_EQ(y.Quit(), 0);
      TorvuProcess check(p / "check");
      ASSERT_TRUE(check.Do(Load()).ok);
      EXPECT_EQ(check.Get(kSimulation + "/ReleaseAreas", "ContainedObjectsList"), other.members);
      EXPECT_EQ(check.Quit(), 0);
    }
  }
}
