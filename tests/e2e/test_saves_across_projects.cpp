// Saves of a project into another project directory ("SaveProjectAs"), and saves that race a
// start in the background: a run directory holds the series of one run, whatever another
// process saves over it or beside it later, and a background start runs what its launcher saved.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "ExampleTerrain.h"
#include "SharedProjectProcesses.h"
#include "TestSupport.h"

namespace fs = std::filesystem;

// P took the project whose recorded time step is gone and saved it elsewhere; another process ran
// the first project anew. P's later save of the first project leaves that run's files and status
// as they are: nothing of P's copy comes back.
TEST(SavesAcrossProjects, ALaterSaveNeverCopiesTheCopysTimeStepsBack)
{
  SharedExample p(4, 2);
  Torvu(p.Path(), "run.macro", Load("proj") + Set(kSimulation, "Run", "") + SaveProject());
  ASSERT_EQ(Recorded(p.Saved()), Step(4));
  fs::remove(p.Run() + "/" + File(4));
  TorvuProcess own(p / "p"), other(p / "q");
  const Answer copied = own.Do(Load() + SaveAs("../own"));
  ASSERT_TRUE(copied.ok) << copied;
  const Answer ran = other.Do(Load() + Set(kSimulation, "BedFrictionAngle", "25") + Set(kSimulation, "Run", ""));
  ASSERT_TRUE(ran.ok) << ran;
  const Files steps = p.TimeSteps();
  const std::string status = p.Status();
  const Answer saved = own.Do(Load() + Set(kSimulation, "Remark", "looked at again") + SaveProject());
  EXPECT_TRUE(saved.ok) << saved;
  ExpectSameFiles(p.TimeSteps(), steps, Gist(own.Log()));
  EXPECT_EQ(p.Status(), status);
}

// X's run to 6 s saved over a project whose run went on to 14 s under another friction: the
// target's run directory holds X's series, byte for byte, and records its last time step.
TEST(SavesAcrossProjects, ASaveAsReplacesALongerRunOfTheTargetByItsOwnSeries)
{
  SharedExample p(6, 2);
  TorvuProcess x(p / "x"), y(p / "y");
  const Answer longer = y.Do(Load() + SaveAs("../proj2") + Set(kSimulation, "BedFrictionAngle", "30") +
                             Set(kSimulation, "EndTime", "14") + Set(kSimulation, "Run", ""));
  ASSERT_TRUE(longer.ok) << longer;
  ASSERT_EQ(TimeStepContents(RunOf(p / "proj2")).count(File(14)), 1u);
  ASSERT_TRUE(x.Do(Load() + Set(kSimulation, "Run", "")).ok);
  const Files xs = p.TimeSteps();
  ASSERT_EQ(xs.rbegin()->first, File(6));
  const Answer saved = x.Do(SaveAs("../proj2"));
  EXPECT_TRUE(saved.ok) << saved;
  ExpectSameFiles(TimeStepContents(RunOf(p / "proj2")), xs, Gist(x.Log()));
  EXPECT_EQ(Recorded(ReadFile(RunOf(p / "proj2") + "/ShallowWaterSimulation.atr")), Step(6));
}

// A "SaveProjectAs" into a project whose run is going on in the background is refused and
// changes nothing there.
TEST(SavesAcrossProjects, ASaveAsIntoAProjectWhoseRunIsGoingOnIsRefused)
{
  SharedExample p(2, 2);
  Torvu(p.Path(), "copy.macro", Load("proj") + SaveAs("proj2"));
  const std::string run = RunOf(p / "proj2");
  TorvuProcess x(p / "x"), y(p / "y");
  const Answer started = y.Do(Load("../proj2") + Set(kSimulation, "EndTime", "600") +
                              Set(kSimulation, "RunInBackground", ""));
  ASSERT_TRUE(started.ok) << started;
  // Stopped however the test ends, before its directory goes.
  const std::shared_ptr<void> stop(nullptr, [&](void*) {
    if (!fs::exists(run + "/.simulation_lock")) return;
    WriteFile(run + "/.simulation_status", "interrupted\n");
    EXPECT_TRUE(WaitUntilFinished(run));
  });
  ASSERT_TRUE(WaitUntil([&] { return fs::exists(run + "/" + File(2)); }));
  // What the run itself writes while it goes on is left out: its progress and new time steps.
  const auto written = [&] {
    Files files = Tree(p / "proj2");
    for (auto file = files.begin(); file != files.end();) {
      const std::string name = fs::path(file->first).filename().string();
      const bool progress = fs::path(file->first).parent_path() == "Project/Simulations/A" &&
                            (name.rfind(".simulation_", 0) == 0 || name.rfind("start.", 0) == 0);
      file = progress ? files.erase(file) : std::next(file);
    }
    return files;
  };
  const Files before = written();
  const Answer refused = x.Do(Load() + SaveAs("../proj2"));
  EXPECT_FALSE(refused.ok) << Gist(x.Log());
  EXPECT_NE(refused.text.find("a run of this simulation is going on in process"), std::string::npos) << refused;
  Files after = written();
  for (auto file = after.begin(); file != after.end();)
    file = (file->first.ends_with(".TimeStep") || file->first.find(".TimeStep.~") != std::string::npos) &&
                   !before.count(file->first)
               ? after.erase(file)
               : std::next(file);
  ExpectSameFiles(after, before, "the target after the refused save");
  // Once that run is killed, the save goes ahead: it ends the run that is gone, and the target
  // holds the series saved.
  ASSERT_NE(KillRun(run, p.Path()), 0);
  const Answer saved = x.Do(SaveAs("../proj2"));
  EXPECT_TRUE(saved.ok) << saved;
  ExpectSameFiles(TimeStepContents(run), TimeStepContents(p.Run()), "the target after the save");
  EXPECT_EQ(ReadFile(run + "/.simulation_status"), "finished\n");
}

// Y starts a run to 6 s in the background and X saves the project with an end at 2 s a moment
// later. The run goes to 6 s when it loaded before X's save, or does not run at all and says
// why; it never runs to what X saved.
TEST(SavesAcrossProjects, ABackgroundStartRunsWhatItsLauncherSaved)
{
  for (const int delay : {0, 20, 60, 150, 400}) {
    SCOPED_TRACE("X saves " + std::to_string(delay) + " ms after the start");
    SharedExample p(4, 2);
    TorvuProcess x(p / "x"), y(p / "y");
    ASSERT_TRUE(x.Do(Load()).ok);
    const Answer started =
        y.Do(Load() + Set(kSimulation, "EndTime", "6") + Set(kSimulation, "RunInBackground", ""));
    ASSERT_TRUE(started.ok) << started;
    std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    x.Do(Set(kSimulation, "EndTime", "2") + SaveProject());
    ASSERT_TRUE(WaitUntilFinished(p.Run()));
    const Files steps = p.TimeSteps();
    const std::string newest = steps.empty() ? "none" : steps.rbegin()->first;
    const std::string info = ReadFile(p.Run() + "/.simulation_info");
    const bool notRun = info.rfind("not run: ", 0) == 0 &&
                        info.find("another process saved the simulation after this start") != std::string::npos;
    EXPECT_TRUE(newest == File(6) || (notRun && p.Status() == "finished\n"))
        << "newest " << newest << ", info " << info;
    EXPECT_NE(newest, File(2));
  }
}

// A background start held up before it loads the saved simulation and again before it looks
// whether its launcher saved what it loaded (TORVU_BACKGROUND_START_PAUSE_MS). Another process O
// saves an end at 3 s while the start waits to load, the launcher L an end at 2 s while it waits
// to look: the run refuses, or runs to what L saved, never to O's 3 s. Without O, L's own save
// while the run waits never makes it refuse.
TEST(SavesAcrossProjects, AHeldUpBackgroundStartRunsOnlyWhatItsLauncherSaved)
{
  for (const bool otherSaves : {true, false}) {
    SCOPED_TRACE(otherSaves ? "O saves while the start waits to load" : "only L saves");
    SharedExample p(1, 1);
    TorvuProcess o(p / "o");
    ASSERT_TRUE(o.Do(Load()).ok);
    // Only L's start is held up: it has L's environment.
    setenv("TORVU_BACKGROUND_START_PAUSE_MS", "1500", 1);
    TorvuProcess l(p / "l");
    unsetenv("TORVU_BACKGROUND_START_PAUSE_MS");
    const Answer started = l.Do(Load() + Set(kSimulation, "RunInBackground", ""));
    ASSERT_TRUE(started.ok) << started;
    if (otherSaves) {
      const Answer saved = o.Do(Set(kSimulation, "EndTime", "3") + SaveProject());
      ASSERT_TRUE(saved.ok) << saved;
    }
    // The start loads the simulation last of its subtree, right after it says so.
    ASSERT_TRUE(WaitUntil([&] { return ReadFile(p.Run() + "/start.log").find("loading 'A' from") != std::string::npos; }));
    const Answer saved = l.Do(Set(kSimulation, "EndTime", "2") + SaveProject());
    ASSERT_TRUE(saved.ok) << saved;
    ASSERT_TRUE(WaitUntilFinished(p.Run()));

    const Files steps = p.TimeSteps();
    const std::string newest = steps.empty() ? "none" : steps.rbegin()->first;
    const std::string info = ReadFile(p.Run() + "/.simulation_info");
    const bool refused = info.rfind("not run: another process saved the simulation after this start", 0) == 0;
    EXPECT_TRUE(newest == File(1) || newest == File(2) || (otherSaves && refused && newest == "none"))
        << "newest " << newest << ", info " << info << "\n" << Gist(ReadFile(p.Run() + "/start.log"));
    EXPECT_EQ(steps.count(File(3)), 0u);
    EXPECT_NE(p.Saved().find(Set("", "EndTime", "2")), std::string::npos) << p.Saved();
    EXPECT_NE(Recorded(p.Saved()), Step(3));
    EXPECT_TRUE(RecordIsThere(p.Run())) << Recorded(p.Saved());
  }
}

// What a process saves with its run is what a fresh load of the project runs: a process that
// loaded the project over another it held; one that runs beside another's deletion of the release
// area is refused, naming the group it would write over the one saved. The run directory holds the
// series that a Run of the saved project writes anew.
TEST(SavesAcrossProjects, TheSavedProjectDescribesTheSeriesBesideIt)
{
  const std::string area = "Project/ReleaseAreas/slope_0001";
  for (const bool overAnother : {true, false}) {
    SCOPED_TRACE(overAnother ? "loaded over another project" : "run beside a deletion");
    SharedExample p(4, 2);
    TorvuProcess x(p / "x"), y(p / "y");
    ASSERT_TRUE(y.Do(Load()).ok);
    if (overAnother) {
      const Answer other = y.Do(SaveAs("../proj2") + Set(area, "Id", "rel2") + SaveProject() + Load() + "get(\"" +
                                kSimulation + "/ReleaseAreas\", \"ContainedObjectsList\", value);\n");
      ASSERT_TRUE(other.ok) << other;
      EXPECT_FALSE(Contains(other, "rel2")) << "the group holds what its file names, and only that: " << other;
    } else {
      const Answer deleted = x.Do(Load() + Set("Project/ReleaseAreas", "DeleteComponent", "slope_0001") + SaveProject());
      ASSERT_TRUE(deleted.ok) << deleted;
      // Its group, which names the area, would go over the one saved without it: refused, and every
      // file stays as x left it.
      const Files before = Tree(p / "proj");
      const Answer refused = y.Do(Set(kSimulation, "Run", ""));
      EXPECT_FALSE(refused.ok);
      EXPECT_TRUE(Contains(refused, kSimulation + "/ReleaseAreas was saved by another process")) << refused;
      ExpectSameFiles(Tree(p / "proj"), before, Gist(y.Log()));
      continue;
    }
    const Answer ran = y.Do(Set(kSimulation, "Run", "") + SaveProject());
    ASSERT_TRUE(ran.ok) << ran;
    const Files series = p.TimeSteps();
    ASSERT_FALSE(series.empty());
    fs::copy(p / "proj", p / "fresh", fs::copy_options::recursive);
    TorvuProcess z(p / "z");
    const Answer again = z.Do(Load("../fresh") + Set(kSimulation, "Run", ""));
    EXPECT_TRUE(again.ok) << again;
    ExpectSameFiles(TimeStepContents(RunOf(p / "fresh")), series, Gist(y.Log()));
  }
}

// A rename changes in each object that names the renamed one that path and nothing else: the
// record that another process's run wrote into the simulation since stays.
TEST(SavesAcrossProjects, ARenameChangesOnlyThePathInWhatNamesIt)
{
  SharedExample p(4, 2);
  TorvuProcess x(p / "x"), y(p / "y");
  ASSERT_TRUE(x.Do(Load()).ok);
  const Answer ran = y.Do(Load() + Set(kSimulation, "Run", ""));
  ASSERT_TRUE(ran.ok) << ran;
  std::string expected = p.Saved();
  ASSERT_EQ(Recorded(expected), Step(4));
  const Answer renamed = x.Do(Set("Project/DHMs/slope_simulation", "Id", "knoll") + SaveProject());
  ASSERT_TRUE(renamed.ok) << renamed;
  expected.replace(expected.find("DHMs/slope_simulation"), 21, "DHMs/knoll");
  EXPECT_EQ(p.Saved(), expected);
}
