// A removal that fails half-way: a run refuses before it writes a time step, so that the series
// stays one run; a copy cut short in its source (by a failure or a kill) is finished before a save
// reads that source, so that no project holds two runs; a run lock that a load's take-over cannot
// remove fails the load, and every refusal names what the lock is held for.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <csignal>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "AK_Files.h"
#include "ExampleTerrain.h"
#include "SharedProjectProcesses.h"
#include "TestSupport.h"

namespace {

namespace fs = std::filesystem;

// torvu started on `macro` in `dir` and stopped at the window (TORVU_STOP_AT); its id, or -1 when it
// ended without reaching the window.
pid_t StoppedAtWindow(const std::string& dir, const std::string& macro, const std::string& window)
{
  fs::create_directories(dir);
  WriteFile(dir + "/stopped.macro", macro);
  setenv("TORVU_STOP_AT", window.c_str(), 1);
  const pid_t pid = StartTorvu(dir, "stopped.macro", dir + "/torvu.log");
  unsetenv("TORVU_STOP_AT");
  int status = 0;
  if (pid <= 0 || waitpid(pid, &status, WUNTRACED) != pid || !WIFSTOPPED(status)) return -1;
  return pid;
}

}  // namespace

// A run at 16 degrees to 10 s; then friction 30, EndTime 4, Run, while one removal of a later time
// step fails. The run refuses with the reason before it writes a time step: what stays is the
// earlier run's series without a gap, and the saved record names none of its files that went.
TEST(FailedRemovals, ARunWhoseLaterTimeStepsCannotAllGoRefusesAndTheSeriesStaysOneRun)
{
  for (const double failing : {10.0, 7.0}) {
    SCOPED_TRACE(failing);
    SharedExample p(10, 1);
    Torvu(p / "setup", "run.macro",
          Load() + Set(kSimulation, "BedFrictionAngle", "16") + Set(kSimulation, "Run", "") + SaveProject());
    const Files before = p.TimeSteps();
    ASSERT_EQ(before.size(), 11u);
    FailOnce fail("unlink:" + File(failing));
    TorvuProcess x(p / "x");
    ASSERT_TRUE(x.Do(Load()).ok);
    const Answer refused = x.Do(Set(kSimulation, "BedFrictionAngle", "30") + Set(kSimulation, "EndTime", "4") +
                                Set(kSimulation, "Run", ""));
    EXPECT_FALSE(refused.ok);
    EXPECT_TRUE(Contains(refused.text, "not run: the later time steps cannot all be removed")) << refused;
    EXPECT_TRUE(Contains(refused.text, "cannot remove")) << refused;
    // The earlier run's time steps up to the one that would not go, each as it was.
    Files kept;
    for (const auto& [name, bytes] : before)
      if (TimeOf(name) <= failing) kept[name] = bytes;
    ExpectSameFiles(p.TimeSteps(), kept, "after the refused run");
    const std::string record = Recorded(p.Saved());
    EXPECT_TRUE(record.empty() || p.TimeSteps().count(record + ".TimeStep")) << record;
    EXPECT_EQ(x.Quit(), 0);
  }
}

// P ran at 16 degrees, P2 at 30. Z loads P; Y saves P2 into P, cut short while it puts the copy in
// place (a failed rename of at_4's staged file, or a kill there). Z then saves P as P3: the copy
// into P is finished first, and P and P3 each hold P2's run whole under its friction, with no mark.
TEST(FailedRemovals, ASaveAsFinishesTheCutCopyOfItsSourceBeforeItReadsIt)
{
  for (const bool killed : {false, true}) {
    SCOPED_TRACE(killed ? "killed" : "failed");
    SharedExample p(6, 2);
    Torvu(p.Path(), "runs.macro",
          Load("proj") + Set(kSimulation, "BedFrictionAngle", "16") + Set(kSimulation, "Run", "") + SaveProject() +
              SaveAs("proj2") + Set(kSimulation, "BedFrictionAngle", "30") + Set(kSimulation, "Run", "") +
              SaveProject());
    const Files second = TimeStepContents(RunOf(p / "proj2"));
    ASSERT_NE(TimeStepContents(RunOf(p / "proj")), second);
    TorvuProcess z(p / "z");
    ASSERT_TRUE(z.Do(Load()).ok);
    const std::string copyIntoP = Load("../proj2") + SaveAs("../proj");
    if (killed) {
      ASSERT_TRUE(KillAtWindow(p / "y", copyIntoP, "copy putting in place"));
    } else {
      FailOnce fail("rename:" + File(4));
      TorvuProcess y(p / "y");
      EXPECT_FALSE(y.Do(copyIntoP).ok);
      EXPECT_EQ(y.Quit(), 0);
    }
    ASSERT_TRUE(fs::exists(RunOf(p / "proj") + "/.simulation_copying"));
    const Answer saved = z.Do(SaveAs("../proj3"));
    EXPECT_TRUE(saved.ok) << saved << Gist(z.Log());
    for (const std::string project : {"proj", "proj3"}) {
      SCOPED_TRACE(project);
      ExpectSameFiles(TimeStepContents(RunOf(p / project)), second, "the run of P2 whole");
      EXPECT_EQ(SavedValue(SavedOf(p / project), "BedFrictionAngle"), "30");
      EXPECT_FALSE(fs::exists(RunOf(p / project) + "/.simulation_copying"));
      for (const auto& entry : fs::directory_iterator(RunOf(p / project)))
        EXPECT_FALSE(Contains(entry.path().filename().string(), kStagedSuffix)) << entry.path();
    }
    EXPECT_EQ(z.Quit(), 0);
  }
}

// A writer held at its window holds the run lock: a run is refused, naming what the lock is held
// for and by whom. A load that takes over what a killed deletion or a killed run left, and whose
// removal of the lock then fails, answers the failure; until it ends, a refusal names its take-over,
// not a run.
TEST(FailedRemovals, ARefusalNamesWhatTheLockIsHeldFor)
{
  SharedExample p(4, 1);
  Torvu(p.Path(), "copy.macro", Load("proj") + SaveAs("proj2"));
  Torvu(p / "setup", "run.macro", Load() + Set(kSimulation, "Run", "") + SaveProject());
  const std::string run = Set(kSimulation, "Run", "");
  struct Case {
    const char* window;
    std::string commands;
    const char* holding;
  } cases[] = {
      {"save time step", Load() + Set(kSimulation, "SaveTimeStep", ""),
       "a time step of this simulation is being saved in process "},
      {"rename", Load() + Set(kSimulation, "Id", "B") + SaveProject(),
       "a rename of this simulation's run directory is going on in process "},
      {"copy locked", Load("../proj2") + SaveAs("../proj"),
       "a copy into this simulation's run directory is going on in process "},
  };
  TorvuProcess x(p / "x");
  ASSERT_TRUE(x.Do(Load()).ok);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.window);
    const pid_t held = StoppedAtWindow(p / "held", c.commands, c.window);
    ASSERT_GT(held, 0);
    const Answer refused = x.Do(run);
    EXPECT_FALSE(refused.ok);
    EXPECT_TRUE(Contains(refused.text, ": not started, " + std::string(c.holding) + std::to_string(held))) << refused;
    kill(held, SIGKILL);
    waitpid(held, nullptr, 0);
  }
  EXPECT_EQ(x.Quit(), 0);

  // The last of the killed writers is the deletion's: its lock and its mark stand.
  ASSERT_TRUE(KillAtWindow(p / "killed", Load() + Set(kSimulation, "DeleteTimesteps", "except last"),
                           "time steps deleting"));
  std::unique_ptr<TorvuProcess> loader;
  {
    FailOnce fail("unlink:.simulation_lock");
    loader = std::make_unique<TorvuProcess>(p / "loader");
  }
  const Answer loaded = loader->Do(Load());
  EXPECT_FALSE(loaded.ok) << loaded << Gist(loader->Log());
  EXPECT_TRUE(Contains(loaded.text, ".simulation_lock cannot be removed")) << loaded;
  EXPECT_FALSE(fs::exists(p.Run() + "/.simulation_removing"));
  TorvuProcess y(p / "y");
  ASSERT_TRUE(y.Do(Load()).ok);
  const Answer refused = y.Do(run);
  EXPECT_FALSE(refused.ok);
  EXPECT_TRUE(Contains(refused.text, "a take-over of what a process that is gone left in this simulation's run directory "
                                     "is going on in process ")) << refused;
  EXPECT_FALSE(Contains(refused.text, "a run of this simulation")) << refused;
  EXPECT_EQ(loader->Quit(), 0);
  EXPECT_TRUE(y.Do(run).ok) << Gist(y.Log());
  EXPECT_EQ(y.Quit(), 0);

  // A run killed while it computed: the load that takes it over and holds its newest time step
  // answers as well that the lock cannot be removed.
  Torvu(p / "started", "start.macro", Load() + Set(kSimulation, "EndTime", "400") + Set(kSimulation, "RunInBackground", ""));
  ASSERT_TRUE(WaitUntil([&] { return fs::exists(p.Run() + "/" + File(6)); })) << ReadFile(p.Run() + "/.simulation_info");
  ASSERT_GT(KillRun(p.Run(), p / "started"), 0);
  ASSERT_EQ(ReadFile(p.Run() + "/.simulation_status").rfind("running", 0), 0u);
  {
    FailOnce fail("unlink:.simulation_lock");
    loader = std::make_unique<TorvuProcess>(p / "loader2");
  }
  const Answer overRun = loader->Do(Load());
  EXPECT_FALSE(overRun.ok) << overRun << Gist(loader->Log());
  EXPECT_TRUE(Contains(overRun.text, ".simulation_lock cannot be removed")) << overRun;
  EXPECT_TRUE(Contains(loader->Log(), "the simulation holds the run's last time step")) << Gist(loader->Log());
  EXPECT_EQ(loader->Quit(), 0);
}
