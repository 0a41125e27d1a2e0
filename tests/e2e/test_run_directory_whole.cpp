// A run directory changes whole or not at all: a simulation whose run goes on is neither deleted
// nor renamed, in any process; a process whose run directory was removed does not continue into
// a new one; no run starts in a project that a save into it holds; a release set up anew holds
// no time step of the run; a stamp of the series that cannot be read lets no writer through.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "AK_Files.h"
#include "AK_ProjectMarks.h"
#include "ExampleTerrain.h"
#include "SharedProjectProcesses.h"
#include "TestSupport.h"

namespace {

namespace fs = std::filesystem;

const std::string kSimulations = "Project/Simulations";

}  // namespace

// Y runs A in the background. Neither Y nor X may delete A, delete every simulation or rename A
// meanwhile: each is refused with the process of the run, and the run directory stays as the run
// leaves it. Once the run is over, A goes, whole; what a deletion killed half-way left aside
// goes with the next load.
TEST(RunDirectoryWhole, ARunGoingOnKeepsItsSimulationFromDeletionAndRenaming)
{
  SharedExample p(1, 1);
  TorvuProcess x(p / "x"), y(p / "y");
  const Answer started = y.Do(Load() + Set(kSimulation, "EndTime", "600") + Set(kSimulation, "RunInBackground", ""));
  ASSERT_TRUE(started.ok) << started;
  const std::shared_ptr<void> stop(nullptr, [&](void*) {
    if (!fs::exists(p.Run() + "/.simulation_lock")) return;
    WriteFile(p.Run() + "/.simulation_status", "interrupted\n");
    EXPECT_TRUE(WaitUntilFinished(p.Run()));
  });
  ASSERT_TRUE(WaitUntil([&] { return fs::exists(p.Run() + "/" + File(2)); }));
  const std::string going = "a run of this simulation is going on in process " +
                            std::to_string(std::atoi(ReadFile(p.Run() + "/.simulation_lock").c_str()));
  ASSERT_TRUE(x.Do(Load()).ok);
  for (TorvuProcess* process : {&y, &x}) {
    const Answer deleted = process->Do(Set(kSimulations, "DeleteComponent", "A"));
    EXPECT_FALSE(deleted.ok);
    EXPECT_TRUE(Contains(deleted, "Project/Simulations/A: not deleted, " + going)) << deleted;
    const Answer all = process->Do(Set(kSimulations, "DeleteAll", ""));
    EXPECT_FALSE(all.ok);
    EXPECT_TRUE(Contains(all, "not deleted, " + going)) << all;
    const Answer renamed = process->Do(Set(kSimulation, "Id", "B"));
    EXPECT_FALSE(renamed.ok);
    EXPECT_TRUE(Contains(renamed, "not renamed, " + going)) << renamed;
    EXPECT_EQ(process->Get(kSimulation, "Id"), "A");
    EXPECT_TRUE(fs::exists(p.Run() + "/ShallowWaterSimulation.atr"));
    EXPECT_FALSE(fs::exists(p / "proj/Project/Simulations/B"));
  }
  WriteFile(p.Run() + "/.simulation_status", "interrupted\n");
  ASSERT_TRUE(WaitUntilFinished(p.Run()));
  EXPECT_EQ(p.Status(), "finished\n");
  const Answer deleted = x.Do(Set(kSimulations, "DeleteComponent", "A") + SaveProject());
  EXPECT_TRUE(deleted.ok) << deleted;
  EXPECT_FALSE(fs::exists(p.Run()));
  for (const auto& entry : fs::directory_iterator(p / "proj/Project/Simulations"))
    EXPECT_EQ(entry.path().filename().string().find("A"), std::string::npos) << entry.path();
  // What a deletion killed before its removal leaves: the directory moved into one of its own,
  // marked as the program's.
  const std::string aside = p / (std::string("proj/Project/Simulations/B") + kRemovedAside);
  fs::create_directories(aside + "/B/ReleaseAreas");
  WriteFile(aside + "/" + kRemovalMark, "");
  const Answer loaded = x.Do(Load());
  EXPECT_TRUE(loaded.ok) << loaded;
  EXPECT_FALSE(fs::exists(aside));
  EXPECT_EQ(x.Quit(), 0);
  EXPECT_EQ(y.Quit(), 0);
}

// X ran A to 4 s; Z deleted A and saved. X's "Continue" is refused: its time steps are gone, and
// the directory made again for the run's lock is another one.
TEST(RunDirectoryWhole, AProcessWhoseRunDirectoryWasRemovedDoesNotContinueIntoANewOne)
{
  SharedExample p(4, 1);
  TorvuProcess x(p / "x"), z(p / "z");
  ASSERT_TRUE(x.Do(Load() + Set(kSimulation, "Run", "")).ok);
  const Answer deleted = z.Do(Load() + Set(kSimulations, "DeleteComponent", "A") + SaveProject());
  ASSERT_TRUE(deleted.ok) << deleted;
  ASSERT_FALSE(fs::exists(p.Run()));
  const Answer continued = x.Do(ContinueTo(8));
  EXPECT_FALSE(continued.ok);
  EXPECT_TRUE(Contains(continued, "the time steps up to its state at 4 s (time step at_0000004.0000) have been "
                                  "removed since this process took it; none is left: \"Run\" to start over"))
      << continued;
  EXPECT_TRUE(!fs::exists(p.Run()) || p.TimeSteps().empty());
  const Answer saved = x.Do(Set(kSimulation, "SaveTimeStep", ""));
  EXPECT_FALSE(saved.ok) << saved;
  EXPECT_TRUE(!fs::exists(p.Run()) || p.TimeSteps().empty());
  EXPECT_EQ(x.Quit(), 0);
  EXPECT_EQ(z.Quit(), 0);
}

// X ran to 4 s and set its release up anew: that state of 0 s is no time step of the run. Its
// "SaveTimeStep" is refused and changes no file; its save keeps the run's record; a "Run" goes.
TEST(RunDirectoryWhole, AReleaseSetUpAnewHoldsNoTimeStepOfTheRun)
{
  SharedExample p(4, 1);
  TorvuProcess x(p / "x");
  ASSERT_TRUE(x.Do(Load() + Set(kSimulation, "Run", "") + SaveProject()).ok);
  const Files steps = p.TimeSteps();
  ASSERT_EQ(Recorded(p.Saved()), Step(4));
  const Answer setUp = x.Do(Set(kSimulation, "Update", "") + Set(kSimulation, "NumParticlesPerCell", "2") +
                            Set(kSimulation, "Update", ""));
  ASSERT_TRUE(setUp.ok) << setUp;
  ASSERT_EQ(x.Get(kSimulation, "CurrentTime"), "0");
  const Answer saved = x.Do(Set(kSimulation, "SaveTimeStep", ""));
  EXPECT_FALSE(saved.ok);
  EXPECT_TRUE(Contains(saved, "Project/Simulations/A: time step not saved: the state is a new set-up at 0 s, not a "
                              "time step of this run: \"Run\" to start over"))
      << saved;
  ExpectSameFiles(p.TimeSteps(), steps, "after the refused SaveTimeStep");
  EXPECT_TRUE(x.Do(SaveProject()).ok);
  EXPECT_EQ(Recorded(p.Saved()), Step(4));
  const Answer ran = x.Do(Set(kSimulation, "Run", ""));
  EXPECT_TRUE(ran.ok) << ran;
  EXPECT_EQ(Recorded(p.Saved()), Step(4));
  EXPECT_EQ(x.Quit(), 0);

  // A run directory that cannot be listed hides the run's time steps: the new set-up is refused
  // as well, never written as the first step of a series beside them. (Renamed, the directory is
  // one that this process lists only from then on.)
  const Files ranSteps = p.TimeSteps();
  FailOnce unlisted("list:B");
  TorvuProcess y(p / "y");
  ASSERT_TRUE(y.Do(Load() + Set(kSimulation, "Update", "") + Set(kSimulation, "NumParticlesPerCell", "2") +
                   Set(kSimulation, "Update", "") + Set(kSimulation, "Id", "B"))
                  .ok);
  const Answer hidden = y.Do(Set("Project/Simulations/B", "SaveTimeStep", ""));
  EXPECT_FALSE(hidden.ok);
  EXPECT_TRUE(Contains(hidden, "time step not saved: cannot read ../proj/Project/Simulations/B: ")) << hidden;
  ExpectSameFiles(TimeStepContents(p / "proj/Project/Simulations/B"), ranSteps, "after the SaveTimeStep it refused");
  EXPECT_EQ(y.Quit(), 0);
}

// X saves proj over proj2 and is stopped while it copies proj's time steps there. Meanwhile Y may
// start no run in proj2: X holds its run lock from before anything of proj2 changes. Let go, X's
// save leaves proj2 with proj's series, byte for byte, and proj's values.
TEST(RunDirectoryWhole, NoRunStartsInAProjectThatASaveIntoItHolds)
{
  SharedExample p(6, 0.1);
  Torvu(p.Path(), "copy.macro", Load("proj") + Set("", "SaveProjectAs", "proj2"));
  const std::string target = p / "proj2/Project/Simulations/A";
  ASSERT_TRUE(Torvu(p / "y0", "run.macro",
                    Load("../proj") + Set(kSimulation, "BedFrictionAngle", "28") + Set(kSimulation, "Run", "") +
                        SaveProject())
                  .find("terminated") != std::string::npos);
  const Files source = p.TimeSteps();
  const auto staging = [&] {
    for (const auto& entry : fs::directory_iterator(target))
      if (entry.path().filename().string().ends_with(std::string(".TimeStep") + kStagedSuffix)) return true;
    return false;
  };
  bool caught = false;
  for (int attempt = 0; attempt < 6 && !caught; ++attempt) {
    TorvuProcess x(p / "x"), y(p / "y");
    ASSERT_TRUE(x.Do(Load()).ok);
    ASSERT_TRUE(y.Do(Load("../proj2") + Set(kSimulation, "EndTime", "20")).ok);
    Answer saved;
    std::thread save([&] { saved = x.Do(Set("", "SaveProjectAs", "../proj2")); });
    // Stopped while it stages the copy (the run lock of proj2 held, its visible files untouched).
    while (!staging() && saved.text.empty()) {
    }
    kill(x.Pid(), SIGSTOP);
    caught = staging() && ReadFile(target + "/.simulation_copying").rfind("staging\n", 0) == 0;
    if (caught) {
      // The copy holds the target's directory: a start there waits for it, and starts nothing
      // meanwhile. It is stopped before the copy goes on.
      WriteFile(p / "y/start.macro", Load("../proj2") + Set(kSimulation, "RunInBackground", ""));
      const pid_t start = StartTorvu(p / "y", "start.macro", p / "y/start.log");
      ASSERT_GT(start, 0);
      std::this_thread::sleep_for(std::chrono::milliseconds(1500));
      EXPECT_EQ(waitpid(start, nullptr, WNOHANG), 0) << "the start did not wait for the copy";
      EXPECT_EQ(ReadFile(target + "/.simulation_status").find("start"), std::string::npos) << ReadFile(p / "y/start.log");
      kill(start, SIGKILL);
      waitpid(start, nullptr, 0);
    }
    kill(x.Pid(), SIGCONT);
    save.join();
    EXPECT_TRUE(saved.ok) << saved;
    ExpectSameFiles(TimeStepContents(target), source, "proj2 after the save");
    EXPECT_NE(ReadFile(target + "/ShallowWaterSimulation.atr").find("\"BedFrictionAngle\", \"28\""), std::string::npos);
    EXPECT_EQ(Recorded(ReadFile(target + "/ShallowWaterSimulation.atr")), Step(6));
    for (const auto& entry : fs::directory_iterator(target))
      EXPECT_EQ(entry.path().filename().string().find(".~"), std::string::npos) << entry.path();
    EXPECT_EQ(x.Quit(), 0);
    EXPECT_EQ(y.Quit(), 0);
  }
  EXPECT_TRUE(caught) << "the save was never stopped while it staged its copy";
}

// The stamp of A's series cannot be read (a directory stands in its place): X's "Continue" and
// "SaveTimeStep" are refused with the reason and change no file; a stamp that reads again, but is
// not the one X read, gives X nothing back.
TEST(RunDirectoryWhole, AStampThatCannotBeReadLetsNoWriterThrough)
{
  SharedExample p(2, 1);
  TorvuProcess x(p / "x");
  ASSERT_TRUE(x.Do(Load() + Set(kSimulation, "Run", "")).ok);
  const Files steps = p.TimeSteps();
  const std::string stamp = p.Run() + "/.simulation_series", text = ReadFile(stamp);
  fs::remove(stamp);
  fs::create_directory(stamp);
  for (const std::string& command : {ContinueTo(4), Set(kSimulation, "SaveTimeStep", "")}) {
    const Answer refused = x.Do(command);
    EXPECT_FALSE(refused.ok);
    EXPECT_TRUE(Contains(refused, "the stamp of the series cannot be read: ../proj/Project/Simulations/A/"
                                  ".simulation_series: Is a directory"))
        << refused;
    ExpectSameFiles(p.TimeSteps(), steps, command);
  }
  fs::remove(stamp);
  WriteFile(stamp, text);
  const Answer continued = x.Do(ContinueTo(4));
  EXPECT_FALSE(continued.ok);
  EXPECT_TRUE(Contains(continued, "another process has written time steps since this one took its state at 2 s"))
      << continued;
  ExpectSameFiles(p.TimeSteps(), steps, "the stamp written again");
  EXPECT_EQ(x.Quit(), 0);
}
