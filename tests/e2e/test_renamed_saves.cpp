// A saved object renamed and the project saved, in one command, with each call of it that changes
// the disk failed in turn: an answered failure leaves the project as it was before the command
// or as the whole command leaves it, file for file, and holding the object under one name, never
// the new name over the files saved under the old one. An answered success left all of it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "ExampleTerrain.h"
#include "SharedProjectProcesses.h"
#include "TestSupport.h"

namespace {

namespace fs = std::filesystem;

// Every file below the project, by its path there, a data file without the time its gzip header
// carries (each save writes another).
Files ProjectFiles(const std::string& project)
{
  Files files = Tree(project);
  for (auto& [name, bytes] : files)
    if (bytes.size() > 8 && bytes[0] == '\x1f' && bytes[1] == '\x8b') bytes.replace(4, 4, 4, '\0');
  return files;
}

// The directories that hold a saved object (an attribute file).
std::set<std::string> ObjectDirectories(const Files& files)
{
  std::set<std::string> directories;
  for (const auto& entry : files)
    if (fs::path(entry.first).extension() == ".atr") directories.insert(fs::path(entry.first).parent_path().string());
  return directories;
}

// The files that are neither as before nor as done at their path.
std::string FilesOfNeither(const Files& got, const Files& before, const Files& done)
{
  std::string neither;
  for (const auto& [name, bytes] : got) {
    const bool old = before.count(name) && before.at(name) == bytes;
    const bool anew = done.count(name) && done.at(name) == bytes;
    if (!old && !anew) neither += name + " ";
  }
  for (const auto& entry : before)
    if (!got.count(entry.first) && done.count(entry.first)) neither += entry.first + " (gone) ";
  return neither;
}

// The calls that change the disk counted (TORVU_FAIL_COUNT) or the Nth failed (TORVU_FAIL_AT)
// in the processes started while it lives.
struct Hooked {
  Hooked(const char* variable, const std::string& value) : name(variable) { setenv(variable, value.c_str(), 1); }
  ~Hooked() { unsetenv(name); }
  const char* name;
};

}  // namespace

TEST(RenamedSaves, ARenameWhoseSaveFailsLeavesTheObjectUnderOneNameWithItsOwnFiles)
{
  ScratchDir p;
  // The release area as the simulation's group names it, and the mesh as nothing does.
  for (const char* project : {"held", "plain"}) {
    fs::create_directories(p / project);
    CopyExampleTerrain(p / project);
  }
  Torvu(p / "held", "setup.macro", ProjectMacro(6, 1));
  Torvu(p / "plain", "setup.macro", ImportExampleAsProject());
  struct Case {
    std::string project, path, renamed, holder;  // holder: the group that names the object, if any
  };
  for (const Case& c : {Case{"held", "Project/ReleaseAreas/slope_0001", "Top", kSimulation + "/ReleaseAreas"},
                        Case{"plain", "Project/DHMs/slope_simulation", "knoll", ""}}) {
    SCOPED_TRACE(c.path);
    // Changed too, so that its attribute file is written anew: over the old one, the new name
    // would show.
    const auto command = [&](const std::string& project) {
      return Load(project) + Set(c.path, "Color", "0.5 0.5 0.5") + Set(c.path, "Id", c.renamed) + SaveProject();
    };
    const std::string project = p / (c.project + "/proj");
    const Files before = ProjectFiles(project);
    // The dry run: what the whole command leaves, and how many calls it makes.
    fs::copy(project, p / "done", fs::copy_options::recursive);
    long calls = 0;
    {
      Hooked count("TORVU_FAIL_COUNT", p / "calls");
      TorvuProcess x(p / "x");
      ASSERT_TRUE(x.Do(command(p / "done")).ok);
      ASSERT_EQ(x.Quit(), 0);
      const std::string counted = ReadFile(p / "calls");
      calls = std::atol(counted.substr(counted.find(' ') + 1).c_str());
    }
    const Files done = ProjectFiles(p / "done");
    ASSERT_NE(ObjectDirectories(done), ObjectDirectories(before));
    ASSERT_GT(calls, 5);
    for (long n = 1; n <= calls; ++n) {
      SCOPED_TRACE("call " + std::to_string(n) + " of " + std::to_string(calls) + " failed");
      fs::remove_all(p / "try");
      fs::copy(project, p / "try", fs::copy_options::recursive);
      Answer answer;
      {
        Hooked fail("TORVU_FAIL_AT", std::to_string(n));
        TorvuProcess x(p / "x");
        answer = x.Do(command(p / "try"));
        EXPECT_EQ(x.Quit(), 0);
      }
      const Files got = ProjectFiles(p / "try");
      if (answer.ok) {
        EXPECT_EQ(FilesOfNeither(got, done, done), "") << "answered success, but left other than the whole command";
        continue;
      }
      EXPECT_EQ(FilesOfNeither(got, before, done), "") << answer;
      const std::set<std::string> objects = ObjectDirectories(got);
      const bool old = objects == ObjectDirectories(before);
      EXPECT_TRUE(old || objects == ObjectDirectories(done)) << answer;
      TorvuProcess check(p / "check");
      EXPECT_TRUE(check.Do(Load(p / "try")).ok);
      // Left under its old name, the object is named so where it was named.
      if (old && !c.holder.empty()) {
        EXPECT_TRUE(Contains(check.Get(c.holder, "ContainedObjectsList"), c.path.substr(c.path.rfind('/')) + "%AK_SEP%"))
            << answer;
      }
      EXPECT_EQ(check.Quit(), 0);
    }
    fs::remove_all(p / "done");
    fs::remove(p / "calls");
  }
}
