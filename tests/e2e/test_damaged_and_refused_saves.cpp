// Saves into another project that cannot be done whole leave the target as it was: a simulation
// loaded from a damaged file is refused before anything there changes, and a save whose copy of
// the time steps fails leaves no directory it made. And a "Continue" refused because the saved
// state is older than the newest time step says how to go on from either.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "AK_ProjectMarks.h"
#include "ExampleTerrain.h"
#include "SharedProjectProcesses.h"
#include "TestSupport.h"

namespace {

namespace fs = std::filesystem;

// Every file and directory below `directory`, by its path there ("/" after a directory's), with
// the bytes of each file.
Files TreeWithDirectories(const std::string& directory)
{
  Files tree;
  for (const auto& entry : fs::recursive_directory_iterator(directory)) {
    const std::string path = fs::relative(entry.path(), directory).string();
    if (entry.is_directory()) tree[path + "/"] = "";
    else tree[path] = ReadFile(entry.path().string());
  }
  return tree;
}

// Cuts the last line of the file in the middle, its line end with it.
void CutLastLine(const std::string& file)
{
  std::string text = ReadFile(file);
  ASSERT_GT(text.size(), 12u);
  const size_t start = text.rfind('\n', text.size() - 2) + 1;
  WriteFile(file, text.substr(0, start + (text.size() - start) / 2));
}

}  // namespace

// proj ran to 4 s under 16 degrees and was saved as proj2, which ran anew to 6 s under 20. A
// process loads proj with its saved simulation cut short: its save as proj2 is refused with the
// load's damage and leaves every file of proj2 as it was, and one into a new directory makes
// none. The damaged files of an object without time steps still go with a save as they are.
TEST(DamagedAndRefusedSaves, ASimulationLoadedWithErrorsIsNotSavedIntoAnotherProject)
{
  SharedExample p(4, 2);
  Torvu(p.Path(), "runs.macro",
        Load("proj") + Set(kSimulation, "BedFrictionAngle", "16") + Set(kSimulation, "Run", "") + SaveProject() +
            SaveAs("proj2") + Set(kSimulation, "BedFrictionAngle", "20") + Set(kSimulation, "EndTime", "6") +
            Set(kSimulation, "Run", "") + SaveProject());
  ASSERT_TRUE(fs::exists(RunOf(p / "proj2") + "/" + File(6)));
  const std::string saved = RunOf(p / "proj") + "/ShallowWaterSimulation.atr";
  const std::string whole = ReadFile(saved);
  CutLastLine(saved);
  const Files before = TreeWithDirectories(p / "proj2");

  TorvuProcess x(p / "x");
  const Answer loaded = x.Do(Load());
  const std::string damage = "cannot load attributes for Viewer/Project/Simulations/A";
  ASSERT_FALSE(loaded.ok);
  ASSERT_TRUE(Contains(loaded, damage)) << loaded;
  for (const std::string target : {"proj2", "fresh"}) {
    SCOPED_TRACE(target);
    const Answer refused = x.Do(SaveAs("../" + target));
    EXPECT_FALSE(refused.ok);
    EXPECT_TRUE(Contains(refused, "Viewer/Project/Simulations/A not saved to ../" + target + "/" + kSimulation +
                                      ": it was loaded with errors, and its time steps go only with a whole save: " +
                                      damage))
        << refused;
  }
  ExpectSameFiles(TreeWithDirectories(p / "proj2"), before, Gist(x.Log()));
  EXPECT_FALSE(fs::exists(p / "fresh"));
  EXPECT_EQ(x.Quit(), 0);

  // The simulation whole again, the release area damaged instead.
  WriteFile(saved, whole);
  const std::string area = "/Project/ReleaseAreas/slope_0001/ReleaseArea.atr";
  CutLastLine(p / ("proj" + area));
  TorvuProcess y(p / "y");
  EXPECT_FALSE(y.Do(Load()).ok);
  const Answer copied = y.Do(SaveAs("../proj3"));
  EXPECT_TRUE(copied.ok) << copied;
  EXPECT_EQ(ReadFile(p / ("proj3" + area)), ReadFile(p / ("proj" + area)));
  ExpectSameFiles(TimeStepContents(RunOf(p / "proj3")), TimeStepContents(RunOf(p / "proj")), Gist(y.Log()));
  EXPECT_EQ(y.Quit(), 0);
}

// A time step of proj that cannot be read fails the copy of its series after the save held the
// target: the save answers so, and leaves no directory it made, up to the levels above the
// target; a directory that stood before stays with the files it held.
TEST(DamagedAndRefusedSaves, ASaveWhoseCopyFailsLeavesNoDirectoryItMade)
{
  SharedExample p(4, 2);
  Torvu(p.Path(), "run.macro", Load("proj") + Set(kSimulation, "Run", "") + SaveProject());
  fs::create_symlink("gone", RunOf(p / "proj") + "/" + File(1));
  const std::string notes = p.Write("kept/notes.txt", "the user's own\n");
  for (const std::string target : {"fresh/proj2", "kept"}) {
    SCOPED_TRACE(target);
    // Each in a process of its own: a failed save leaves the simulation bound to its target.
    TorvuProcess x(p / ("x_" + target.substr(0, 4)));
    ASSERT_TRUE(x.Do(Load()).ok);
    const Answer saved = x.Do(SaveAs("../" + target));
    EXPECT_FALSE(saved.ok);
    EXPECT_TRUE(Contains(saved, "not saved to ../" + target + "/" + kSimulation + ", its run directory is as it was"))
        << saved;
    EXPECT_EQ(x.Quit(), 0);
  }
  EXPECT_FALSE(fs::exists(p / "fresh"));
  EXPECT_EQ(ReadFile(notes), "the user's own\n");
}

// The saved record set back to 2 s of a run to 4 s: a "Continue" of the state loaded is refused
// and names both ways on; the older one, chosen, goes on from 2 s and removes the 4 s file.
TEST(DamagedAndRefusedSaves, AContinueFromAnOlderSavedStateNamesItsOwnTimeStep)
{
  SharedExample p(4, 2);
  Torvu(p.Path(), "run.macro", Load("proj") + Set(kSimulation, "Run", "") + SaveProject());
  Torvu(p.Path(), "back.macro", Load("proj") + Set(kSimulation, "LoadTimeStep", Step(2)) + SaveProject());
  ASSERT_EQ(Recorded(p.Saved()), Step(2));
  const Files before = p.TimeSteps();
  TorvuProcess x(p / "x");
  ASSERT_TRUE(x.Do(Load()).ok);
  const Answer refused = x.Do(ContinueTo(6));
  EXPECT_FALSE(refused.ok);
  EXPECT_EQ(refused.text, "Viewer/Project/Simulations/A: not run: its state at 2 s (time step " + Step(2) +
                              ") is older than the newest time step of its run directory, " + Step(4) +
                              ": \"LoadTimeStep\" " + Step(4) + " to continue from there, \"LoadTimeStep\" " +
                              Step(2) + " to go on from that state, which removes the later time steps, or \"Run\" "
                              "to start over");
  ExpectSameFiles(p.TimeSteps(), before);
  const Answer continued =
      x.Do(Set(kSimulation, "LoadTimeStep", Step(2)) + Set(kSimulation, "DeltaOut", "1") + ContinueTo(3));
  EXPECT_TRUE(continued.ok) << continued;
  const Files after = p.TimeSteps();
  EXPECT_FALSE(after.count(File(4))) << Gist(x.Log());
  EXPECT_TRUE(after.count(File(3)));
  for (const double kept : {0.0, 2.0})
    EXPECT_TRUE(after.count(File(kept)) && after.at(File(kept)) == before.at(File(kept))) << kept;
  EXPECT_EQ(x.Quit(), 0);
}

namespace {

// The directories below a process's working directory: a save of a project that has no directory
// of its own would make its objects' there (DHMs, ReleaseAreas, Simulations, ...).
std::vector<std::string> DirectoriesIn(const std::string& directory)
{
  std::vector<std::string> made;
  for (const auto& entry : fs::directory_iterator(directory))
    if (entry.is_directory()) made.push_back(entry.path().filename().string());
  return made;
}

}  // namespace

// A project that was never saved has no directory of its own: SaveProject is refused before its
// first write, saying so, and writes nothing where the program runs; so is it after a save into a
// new directory that failed. A loaded project whose save into a new directory failed half-way saves
// into its own directory again, and nothing into the new one.
TEST(DamagedAndRefusedSaves, ASaveOfAProjectWithNoDirectoryOfItsOwnWritesNothing)
{
  SharedExample p(4, 2);
  Torvu(p.Path(), "run.macro", Load("proj") + Set(kSimulation, "Run", "") + SaveProject());
  p.Write("blocked", "a file where the save would make a directory\n");

  TorvuProcess fresh(p / "fresh_process");
  ASSERT_TRUE(fresh.Do("").ok);
  const std::vector<std::string> own = DirectoriesIn(p / "fresh_process");
  for (const std::string& before : {std::string(), SaveAs("../blocked/proj2")}) {
    SCOPED_TRACE(before.empty() ? "never saved" : "after a failed save into a new directory");
    if (!before.empty()) {
      EXPECT_FALSE(fresh.Do(before).ok);
    }
    const Answer refused = fresh.Do(SaveProject());
    EXPECT_FALSE(refused.ok);
    EXPECT_TRUE(Contains(refused, "Viewer/Project not saved: it has no project directory")) << refused;
    EXPECT_EQ(DirectoriesIn(p / "fresh_process"), own);
  }
  EXPECT_EQ(fresh.Quit(), 0);

  // The attribute file of the simulations' container cannot be written: the objects before it were
  // saved into the new directory's build when the save fails.
  setenv("TORVU_FAIL", "create:Simulations.atr", 1);
  TorvuProcess x(p / "x");
  unsetenv("TORVU_FAIL");
  ASSERT_TRUE(x.Do(Load()).ok);
  const std::vector<std::string> ownOfX = DirectoriesIn(p / "x");
  EXPECT_FALSE(x.Do(SaveAs("../copy/proj2")).ok);
  EXPECT_FALSE(fs::exists(p / "copy"));
  const Answer saved = x.Do(Set("Project/DHMs", "SimulationDefaultCellSize", "20") + SaveProject());
  EXPECT_TRUE(saved.ok) << saved;
  EXPECT_TRUE(Contains(ReadFile(p / "proj/Project/DHMs/Meshes.atr"), "\"20\"")) << ReadFile(p / "proj/Project/DHMs/Meshes.atr");
  EXPECT_FALSE(fs::exists(p / "copy"));
  EXPECT_EQ(DirectoriesIn(p / "x"), ownOfX);
  EXPECT_EQ(x.Quit(), 0);
}

// A user's own names that end as a deletion's set-aside directory does: a file in an object's
// directory and a directory beside the project's. The load leaves both as they are, and loads whole.
TEST(DamagedAndRefusedSaves, ALoadLeavesAUsersOwnNamesThatLookLikeWhatADeletionLeft)
{
  SharedExample p(4, 2);
  const std::string notes =
      p.Write(std::string("proj/Project/ReleaseAreas/slope_0001/notes") + kRemovedAside, "the user's notes\n");
  const std::string kept = p.Write(std::string("proj/x") + kRemovedAside + "/kept.txt", "the user's own\n");
  TorvuProcess x(p / "x");
  // The whole saved project, the top object's own files and what stands beside its project with it.
  const Answer loaded = x.Do(Set("", "ProjectDir", "../proj") + Set("", "LoadProject", ""));
  EXPECT_TRUE(loaded.ok) << loaded;
  const Answer again = x.Do(Load());
  EXPECT_TRUE(again.ok) << again;
  EXPECT_EQ(x.Quit(), 0);
  EXPECT_EQ(ReadFile(notes), "the user's notes\n");
  EXPECT_EQ(ReadFile(kept), "the user's own\n");
}
