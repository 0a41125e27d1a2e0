// What a run directory's lock was taken for, as processes see it: a rename leaves no lock and
// keeps the series with the simulation; a writer that is gone is ended as what it was (a run,
// a copy, or a writer of nothing a run leaves); an "Interrupt" right after a background start
// stops it before it begins; a refused "Continue" makes nothing again.
#include "AK_ProjectMarks.h"
#include "SharedProjectProcesses.h"

namespace fs = std::filesystem;

namespace {

const std::string kRenamed = "Project/Simulations/B";

// A process id above any the kernel hands out: its lock is of a process that is gone.
constexpr const char* kGoneHolder = "1073741000 4242";

// No lock, no mark of a copy and no temporary of a writer in the run directory.
void ExpectNothingLeft(const std::string& run)
{
  for (const auto& entry : fs::directory_iterator(run)) {
    const std::string name = entry.path().filename().string();
    EXPECT_TRUE(name.rfind(".simulation_lock", 0) != 0 && name != ".simulation_copying" &&
                name.find(".~") == std::string::npos)
        << run << ": " << name << " is left";
  }
}

}  // namespace

// X runs A to 4 s, renames it B and saves; its lock neither moves with B nor stays. While X stays
// open, Y deletes B's time steps, continues and deletes B as if X were not there; a reload after
// X quits reads no killed run. In one process W: a run, a rename, a save and a save into another
// project carry the series, and W's "Continue" there goes on from the state it holds.
TEST(RunLockPurposes, ARenamedSimulationKeepsNoLockAndItsSeries)
{
  SharedExample p(4, 1);
  const std::string renamed = p / "proj/Project/Simulations/B";
  {
    TorvuProcess x(p / "x"), y(p / "y");
    const Answer ran = x.Do(Load() + Set(kSimulation, "Run", "") + Set(kSimulation, "Id", "B") + SaveProject());
    ASSERT_TRUE(ran.ok) << ran;
    EXPECT_FALSE(fs::exists(p.Run()));
    EXPECT_FALSE(fs::exists(renamed + "/.simulation_lock"));
    EXPECT_EQ(Recorded(ReadFile(renamed + "/ShallowWaterSimulation.atr")), Step(4));
    const Answer other = y.Do(Load() + Set(kRenamed, "EndTime", "6") + Set(kRenamed, "Continue", "") +
                              Set(kRenamed, "DeleteTimesteps", ""));
    EXPECT_TRUE(other.ok) << other;
    EXPECT_FALSE(Contains(y.Log(), "is going on in process"));
    EXPECT_EQ(x.Quit(), 0);
    EXPECT_EQ(y.Quit(), 0);
  }
  {
    TorvuProcess z(p / "z");
    ASSERT_TRUE(z.Do(Load()).ok);
    EXPECT_FALSE(Contains(z.Log(), "is taken over")) << z.Log();
    EXPECT_FALSE(Contains(z.Log(), "did not finish")) << z.Log();
    EXPECT_EQ(z.Quit(), 0);
  }

  SharedExample q(4, 1);
  TorvuProcess w(q / "w");
  const Answer saved = w.Do(Load() + Set(kSimulation, "Run", "") + Set(kSimulation, "Id", "B") + SaveProject() +
                            Set("Project", "SaveProjectAs", "../proj2"));
  ASSERT_TRUE(saved.ok) << saved;
  // The project's top part saved as the directory given.
  const std::string copied = q / "proj2/Simulations/B";
  EXPECT_EQ(Recorded(ReadFile(copied + "/ShallowWaterSimulation.atr")), Step(4));
  EXPECT_EQ(TimeStepContents(copied), TimeStepContents(q / "proj/Project/Simulations/B"));
  const Answer continued = w.Do(Set(kRenamed, "EndTime", "6") + Set(kRenamed, "Continue", ""));
  EXPECT_TRUE(continued.ok) << continued;
  EXPECT_TRUE(fs::exists(copied + "/" + File(6)));
  EXPECT_FALSE(fs::exists(copied + "/.simulation_lock"));
  EXPECT_EQ(w.Quit(), 0);
}

// A lock left by a writer that is gone, as each kind of writer leaves it, taken over by the next
// load. Only a run ends: its status, its info and its newest time step recorded. A lock of any
// other writer (a save into the project, a rename, a deletion, a saved or deleted time step)
// leaves the record, the status and the info as they were, and no word of a run.
TEST(RunLockPurposes, AWriterThatIsGoneEndsAsWhatItWas)
{
  struct Case {
    const char* name;
    std::string lock;    // after the holder's id and start time
    std::string status;  // before the load
    bool runEnds;
    // A load took the lock over first and was killed before it recorded the run's newest time
    // step; it had set the lock aside as well, and a save killed in the project's top directory
    // left its temporary.
    bool takerKilled = false;
  };
  const std::vector<Case> cases = {
      {"a run", "", "running\n", true},
      {"a run of a lock from before start times", "-", "running\n", true},
      {"a run that said it ended", "", "finished\n", false},
      {"a copy killed before it marked anything", " copy", "finished\n", false},
      {"a rename, deletion or time-step writer", " write", "finished\n", false},
      {"a writer after a run that was gone", " write", "running\n", true},
      {"a run whose first taker was killed", "", "running\n", true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SharedExample p(4, 1);
    {
      TorvuProcess x(p / "x");
      // The record names an older time step than the newest.
      ASSERT_TRUE(x.Do(Load() + Set(kSimulation, "Run", "") + Set(kSimulation, "LoadTimeStep", Step(2)) +
                       SaveProject())
                      .ok);
      EXPECT_EQ(x.Quit(), 0);
    }
    ASSERT_EQ(Recorded(p.Saved()), Step(2));
    const std::string info = "at time 3 s\n";
    WriteFile(p.Run() + "/.simulation_lock",
              c.lock == "-" ? "1073741000\n" : std::string(kGoneHolder) + c.lock + "\n");
    WriteFile(p.Run() + "/.simulation_status", c.status);
    WriteFile(p.Run() + "/.simulation_info", info);
    const Files before = p.TimeSteps();
    const std::string aside = p.Run() + "/.simulation_lock.stale.1073741001";
    const std::string temporary = p / "proj/TerminalController.atr.~locked";
    if (c.takerKilled) {
      ASSERT_TRUE(KillAtWindow(p / "taker", Load(), "run taken over"));
      EXPECT_EQ(ReadFile(p.Run() + "/.simulation_status"), c.status);
      WriteFile(aside, std::string(kGoneHolder) + "\n");
      WriteFile(temporary, "half");
    }
    TorvuProcess y(p / "y");
    const Answer loaded = y.Do(Load() + "get(\"" + kSimulation + "\", \"CurrentTime\", value);");
    ASSERT_TRUE(loaded.ok) << loaded;
    EXPECT_FALSE(fs::exists(p.Run() + "/.simulation_lock"));
    EXPECT_FALSE(fs::exists(aside));
    EXPECT_FALSE(fs::exists(temporary));
    EXPECT_EQ(p.TimeSteps(), before);
    EXPECT_EQ(Contains(y.Log(), "did not finish"), c.runEnds) << y.Log();
    EXPECT_EQ(ReadFile(p.Run() + "/.simulation_status"), c.runEnds ? "finished\n" : c.status);
    if (c.runEnds) {
      EXPECT_EQ(Recorded(p.Saved()), Step(4));
      EXPECT_EQ(ReadFile(p.Run() + "/.simulation_info"), "its run did not finish, its process is gone; last: at time 3 s\n");
      EXPECT_EQ(loaded.text, "4");
    } else {
      EXPECT_EQ(Recorded(p.Saved()), Step(2));
      EXPECT_EQ(ReadFile(p.Run() + "/.simulation_info"), info);
      EXPECT_EQ(loaded.text, "2");
      // Nothing stands in the way of going on from the state recorded, once chosen.
      const Answer continued = y.Do(Set(kSimulation, "LoadTimeStep", Step(2)) + ContinueTo(3));
      EXPECT_TRUE(continued.ok) << continued;
    }
    EXPECT_EQ(y.Quit(), 0);
  }
}

// "RunInBackground" and at once "Interrupt", while the started process is still held up before
// it loads: the run never begins, ends "finished" and says why, and no time step changes. A run
// started after that overwrites the word and runs. The same for both simulations of a batch,
// interrupted while they wait for their turn.
TEST(RunLockPurposes, AnInterruptRightAfterABackgroundStartStopsItBeforeItBegins)
{
  SharedExample p(2, 1);
  const std::string second = "Project/Simulations/B", secondRun = p / "proj/Project/Simulations/B";
  Torvu(p / "setup", "second.macro",
        Load() + Set("Project/Simulations", "CreateSimulation", "B") +
            Set(second + "/ReleaseAreas", "AppendAllObjectsOfType", "ReleaseArea") + Set(second, "EndTime", "2") +
            Set(second, "DeltaOut", "1") + SaveProject());
  setenv("TORVU_BACKGROUND_START_PAUSE_MS", "600", 1);
  TorvuProcess l(p / "l");
  unsetenv("TORVU_BACKGROUND_START_PAUSE_MS");
  const Answer started =
      l.Do(Load() + Set(kSimulation, "RunInBackground", "") + Set(kSimulation, "Interrupt", ""));
  ASSERT_TRUE(started.ok) << started;
  ASSERT_TRUE(WaitUntil([&] { return !fs::exists(p.Run() + "/.simulation_lock") && p.Status() == "finished\n"; }));
  EXPECT_EQ(ReadFile(p.Run() + "/.simulation_info"), "not run: interrupted before it began\n");
  EXPECT_TRUE(p.TimeSteps().empty());
  const Answer ran = l.Do(Set(kSimulation, "Interrupt", "") + Set(kSimulation, "Run", ""));
  EXPECT_TRUE(ran.ok) << ran;
  EXPECT_TRUE(fs::exists(p.Run() + "/" + File(2)));

  const Files steps = p.TimeSteps();
  const Answer batch = l.Do(Set("Project/Simulations", "StartActive", "") + Set(kSimulation, "Interrupt", "") +
                            Set(second, "Interrupt", ""));
  ASSERT_TRUE(batch.ok) << batch;
  for (const std::string& run : {p.Run(), secondRun}) {
    SCOPED_TRACE(run);
    ASSERT_TRUE(WaitUntil([&] {
      return !fs::exists(run + "/.simulation_lock") && ReadFile(run + "/.simulation_status") == "finished\n";
    }));
    EXPECT_EQ(ReadFile(run + "/.simulation_info"), "not run: interrupted before it began\n");
  }
  ExpectSameFiles(p.TimeSteps(), steps, "A after the batch");
  EXPECT_TRUE(TimeStepContents(secondRun).empty());
  EXPECT_EQ(l.Quit(), 0);
}

// X ran A; Z deleted it. X's "Continue", "SaveTimeStep" and "DeleteTimesteps" are refused or
// find nothing, and make neither the directory nor a file. Before that, refusals of X's own
// "SaveTimeStep" (a release set up anew) and "Continue" (a state another process replaced)
// leave the status and the info as they were, to the byte and to the time of their last write.
TEST(RunLockPurposes, ARefusedCommandLeavesNothingBehind)
{
  SharedExample p(4, 1);
  TorvuProcess x(p / "x"), y(p / "y"), z(p / "z");
  ASSERT_TRUE(x.Do(Load() + Set(kSimulation, "Run", "")).ok);
  const auto written = [&] {
    std::string times;
    for (const char* name : {"/.simulation_status", "/.simulation_info"})
      times += ReadFile(p.Run() + name) + std::to_string(fs::last_write_time(p.Run() + name).time_since_epoch().count());
    return times;
  };
  const std::string before = written();
  const Answer setUp = x.Do(Set(kSimulation, "Update", "") + Set(kSimulation, "NumParticlesPerCell", "2") +
                            Set(kSimulation, "Update", "") + Set(kSimulation, "SaveTimeStep", ""));
  EXPECT_FALSE(setUp.ok);
  EXPECT_TRUE(Contains(setUp, "time step not saved")) << setUp;
  EXPECT_EQ(written(), before);
  ASSERT_TRUE(x.Do(Set(kSimulation, "LoadTimeStep", Step(4))).ok);
  ASSERT_TRUE(y.Do(Load() + Set(kSimulation, "LoadTimeStep", Step(2)) + Set(kSimulation, "SaveTimeStep", "")).ok);
  const std::string replaced = written();
  const Answer stale = x.Do(Set(kSimulation, "SaveTimeStep", ""));
  EXPECT_FALSE(stale.ok);
  EXPECT_TRUE(Contains(stale, "another process has written time steps")) << stale;
  EXPECT_EQ(written(), replaced);
  // Nor does a "Continue" refused for it: the status and the info are another process's.
  const Answer staleRun = x.Do(ContinueTo(8));
  EXPECT_FALSE(staleRun.ok);
  EXPECT_TRUE(Contains(staleRun, "another process has written time steps")) << staleRun;
  EXPECT_EQ(written(), replaced);
  EXPECT_EQ(y.Quit(), 0);

  ASSERT_TRUE(z.Do(Load() + Set("Project/Simulations", "DeleteComponent", "A") + SaveProject()).ok);
  const Answer continued = x.Do(ContinueTo(8));
  EXPECT_FALSE(continued.ok);
  EXPECT_TRUE(Contains(continued, "removed")) << continued;
  x.Do(Set(kSimulation, "SaveTimeStep", ""));
  x.Do(Set(kSimulation, "DeleteTimesteps", ""));
  EXPECT_FALSE(fs::exists(p.Run()));
  EXPECT_EQ(x.Quit(), 0);
  EXPECT_EQ(z.Quit(), 0);
}

// A background run of proj is killed; a save of proj2 over proj takes the dead run's lock over
// and is killed while it stages its copy. The next load ends the run as it would without the
// save: the record names its newest time step, the info says it did not finish and reports the
// cut copy beside it, and a "Continue" goes on from there.
TEST(RunLockPurposes, ASaveKilledOverAKilledRunEndsThatRunAsWithoutIt)
{
  SharedExample p(600, 2);
  Torvu(p.Path(), "copy.macro", Load("proj") + Set("", "SaveProjectAs", "proj2"));
  Torvu(p / "y", "run.macro",
        Load("../proj2") + Set(kSimulation, "EndTime", "2") + Set(kSimulation, "Run", "") + SaveProject());
  Torvu(p.Path(), "start.macro", Load("proj") + Set(kSimulation, "RunInBackground", ""));
  ASSERT_TRUE(WaitUntil([&] { return fs::exists(p.Run() + "/" + File(4)); }));
  ASSERT_GT(KillRun(p.Run(), p.Path()), 0);
  ASSERT_EQ(p.Status(), "running\n");
  const Files steps = p.TimeSteps();
  const std::string newest = steps.rbegin()->first.substr(0, 15);
  ASSERT_TRUE(KillAtWindow(p / "x", Load("../proj2") + Set("", "SaveProjectAs", "../proj"), "copy staged"))
      << ReadFile(p / "x/torvu.log");
  ASSERT_EQ(ReadFile(p.Run() + "/.simulation_copying").rfind("staging\n", 0), 0u);

  TorvuProcess z(p / "z");
  const Answer loaded = z.Do(Load() + "get(\"" + kSimulation + "\", \"CurrentTime\", value);");
  ASSERT_TRUE(loaded.ok) << loaded;
  // The time a run reaches adds up its steps: the newest step the kill left may hold 5.99999999999999.
  EXPECT_NEAR(std::atof(loaded.text.c_str()), TimeOf(newest), 1e-6) << loaded;
  EXPECT_EQ(Recorded(p.Saved()), newest);
  EXPECT_EQ(p.Status(), "finished\n");
  const std::string info = ReadFile(p.Run() + "/.simulation_info");
  EXPECT_EQ(info.rfind("its run did not finish, its process is gone", 0), 0u) << info;
  EXPECT_TRUE(Contains(info, "; then a copy of time steps into it was cut short, its process is gone: nothing of it "
                             "was put in place"))
      << info;
  ExpectSameFiles(p.TimeSteps(), steps, "after the cut copy");
  ExpectNothingLeft(p.Run());
  const Answer continued = z.Do(ContinueTo(TimeOf(newest) + 2));
  EXPECT_TRUE(continued.ok) << continued;
  EXPECT_TRUE(fs::exists(p.Run() + "/" + File(TimeOf(newest) + 2)));
  EXPECT_EQ(z.Quit(), 0);
}

// Each writer that is no run, killed at its window while it holds the run lock: the next load in
// a fresh process takes the lock over with no word of a killed run, and finds the saved
// simulation, its record, the status, the info and the time steps as they were, nothing of the
// writer left, and a "Continue" from the record, once chosen, goes on.
TEST(RunLockPurposes, AWriterKilledAtItsWindowIsNoKilledRun)
{
  struct Case {
    const char* window;
    std::string commands;  // after the load of the project, or of proj2 for a save into proj
    bool fromOther;
  };
  const std::vector<Case> cases = {
      {"rename", Set(kSimulation, "Id", "B") + SaveProject(), false},
      {"delete", Set("Project/Simulations", "DeleteComponent", "A") + SaveProject(), false},
      {"save time step", Set(kSimulation, "SaveTimeStep", ""), false},
      {"delete time steps", Set(kSimulation, "DeleteTimesteps", ""), false},
      {"copy locked", Set("", "SaveProjectAs", "../proj"), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.window);
    SharedExample p(4, 1);
    Torvu(p.Path(), "copy.macro", Load("proj") + Set("", "SaveProjectAs", "proj2"));
    // The record names an older time step than the newest.
    Torvu(p / "x", "run.macro",
          Load() + Set(kSimulation, "Run", "") + Set(kSimulation, "LoadTimeStep", Step(2)) + SaveProject());
    ASSERT_EQ(Recorded(p.Saved()), Step(2));
    const auto files = [&] {
      Files kept = FilesIn(p.Run());
      kept.erase(".simulation_series");  // a writer may have begun a change of the series
      return kept;
    };
    const Files before = files();
    ASSERT_TRUE(KillAtWindow(p / "killed", Load(c.fromOther ? "../proj2" : "../proj") + c.commands, c.window))
        << ReadFile(p / "killed/torvu.log");
    ASSERT_TRUE(fs::exists(p.Run() + "/.simulation_lock"));

    TorvuProcess z(p / "z");
    const Answer loaded = z.Do(Load() + "get(\"" + kSimulation + "\", \"CurrentTime\", value);");
    ASSERT_TRUE(loaded.ok) << loaded;
    EXPECT_EQ(loaded.text, "2");
    EXPECT_FALSE(Contains(z.Log(), "did not finish")) << Gist(z.Log());
    ExpectSameFiles(files(), before, "after the load");
    ExpectNothingLeft(p.Run());
    EXPECT_FALSE(fs::exists(p / "proj/Project/Simulations/B"));
    const Answer continued = z.Do(Set(kSimulation, "LoadTimeStep", Step(2)) + ContinueTo(5));
    EXPECT_TRUE(continued.ok) << continued;
    EXPECT_TRUE(fs::exists(p.Run() + "/" + File(5)));
    EXPECT_EQ(z.Quit(), 0);
  }
}

// A save into another project where a run goes on is refused before it writes a file, and the
// directories it made there for the objects before the refused one go again.
TEST(RunLockPurposes, ARefusedSaveIntoAnotherProjectMakesNoDirectory)
{
  SharedExample p(4, 1);
  // proj2 holds B only, whose run goes on in a live process (a sleeping child of this test,
  // which its lock names); proj holds A and B.
  Torvu(p.Path(), "two.macro",
        Load("proj") + Set("Project/Simulations", "CreateSimulation", "B") + SaveProject() +
            Set("", "SaveProjectAs", "proj2") + Set("Project/Simulations", "DeleteComponent", "A") + SaveProject());
  ASSERT_TRUE(fs::exists(p / "proj2/Project/Simulations/B"));
  ASSERT_FALSE(fs::exists(p / "proj2/Project/Simulations/A"));
  const pid_t runner = fork();
  if (runner == 0) {
    execl("/bin/sleep", "sleep", "60", static_cast<char*>(nullptr));
    _exit(127);
  }
  ASSERT_GT(runner, 0);
  WriteFile(p / "proj2/Project/Simulations/B/.simulation_lock", std::to_string(runner) + "\n");

  TorvuProcess x(p / "x");
  const Answer saved = x.Do(Load() + Set("", "SaveProjectAs", "../proj2"));
  EXPECT_FALSE(saved.ok);
  EXPECT_TRUE(Contains(saved, "not saved to")) << saved;
  EXPECT_TRUE(Contains(saved, std::to_string(runner))) << saved;
  EXPECT_FALSE(fs::exists(p / "proj2/Project/Simulations/A"));
  EXPECT_EQ(x.Quit(), 0);
  kill(runner, SIGKILL);
  waitpid(runner, nullptr, 0);
}

// A deletion of time steps killed while it removes them leaves the saved simulation naming the
// time step that stays, never one that is gone, and the next process finishes the deletion and
// says so: the directory never keeps a part of it. It goes on from there.
TEST(RunLockPurposes, ADeletionOfTimeStepsKilledHalfWayIsFinished)
{
  SharedExample p(4, 1);
  Torvu(p / "x", "run.macro",
        Load() + Set(kSimulation, "Run", "") + Set(kSimulation, "LoadTimeStep", Step(2)) + SaveProject());
  ASSERT_EQ(Recorded(p.Saved()), Step(2));
  ASSERT_TRUE(KillAtWindow(p / "killed", Load() + Set(kSimulation, "DeleteTimesteps", ""), "time steps deleting"));
  EXPECT_EQ(Recorded(p.Saved()), Step(4));
  ASSERT_EQ(p.TimeSteps().size(), 4u);  // one of five gone
  TorvuProcess z(p / "z");
  const Answer loaded = z.Do(Load() + "get(\"" + kSimulation + "\", \"CurrentTime\", value);");
  ASSERT_TRUE(loaded.ok) << loaded;
  EXPECT_EQ(loaded.text, "4");
  EXPECT_TRUE(Contains(z.Log(), "a deletion of time steps in it was cut short")) << Gist(z.Log());
  EXPECT_EQ(p.TimeSteps().size(), 1u);
  ExpectNothingLeft(p.Run());
  EXPECT_FALSE(fs::exists(p.Run() + "/.simulation_removing"));
  const Answer continued = z.Do(ContinueTo(5));
  EXPECT_TRUE(continued.ok) << continued;
  EXPECT_EQ(z.Quit(), 0);
}

// A run that goes on under other values over a longer series, killed while it removes the time
// steps later than its state: the next load finishes the removal, so that the series ends at that
// state, and a plain "Continue" goes on from there with one history, byte for byte that of the
// whole run continued. A run from 0 s, and a "Continue" from an older time step.
TEST(RunLockPurposes, ARunKilledWhileItRemovesLaterTimeStepsGoesOnFromItsState)
{
  struct Case {
    const char* name;
    std::string writer;               // after the load
    std::vector<std::string> kept;    // the series after the removal
    std::string record;
  };
  const std::string anew = Set(kSimulation, "BedFrictionAngle", "30") + Set(kSimulation, "EndTime", "4");
  const std::vector<Case> cases = {
      {"Run", anew + Set(kSimulation, "Run", ""), {Step(0)}, ""},
      {"Continue", Set(kSimulation, "LoadTimeStep", Step(2)) + anew + Set(kSimulation, "Continue", ""),
       {Step(0), Step(2)}, Step(2)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // p: the writer killed at its removal; q: the whole writer.
    SharedExample p(6, 2), q(6, 2);
    for (const SharedExample* e : {&p, &q}) Torvu(*e / "base", "run.macro", Load() + Set(kSimulation, "Run", ""));
    ASSERT_TRUE(KillAtWindow(p / "killed", Load() + c.writer, "later time steps removing"))
        << ReadFile(p / "killed/torvu.log");
    ASSERT_TRUE(fs::exists(p.Run() + "/.simulation_removing_later"));
    ASSERT_FALSE(fs::exists(p.Run() + "/" + File(6)));
    Torvu(q / "whole", "writer.macro", Load() + c.writer);

    TorvuProcess z(p / "z"), w(q / "w");
    const Answer loaded = z.Do(Load());
    ASSERT_TRUE(loaded.ok) << loaded;
    EXPECT_TRUE(Contains(z.Log(), "a removal of its later time steps was cut short")) << Gist(z.Log());
    std::vector<std::string> kept;
    for (const auto& entry : p.TimeSteps()) kept.push_back(entry.first.substr(0, Step(0).size()));
    EXPECT_EQ(kept, c.kept);
    EXPECT_EQ(Recorded(p.Saved()), c.record);
    EXPECT_FALSE(fs::exists(p.Run() + "/.simulation_removing_later"));
    ExpectNothingLeft(p.Run());
    const Answer continued = z.Do(ContinueTo(8));
    EXPECT_TRUE(continued.ok) << continued;
    const Answer whole = w.Do(Load() + ContinueTo(8));
    EXPECT_TRUE(whole.ok) << whole;
    ExpectSameFiles(p.TimeSteps(), q.TimeSteps(), "after the Continue");
    EXPECT_EQ(z.Quit(), 0);
    EXPECT_EQ(w.Quit(), 0);
  }
}

// A save of a new simulation (created, or cloned from A) killed once it holds the new run
// directory's lock, and once its copy into it is staged: the new directory is built under another
// name, which holds that lock, and does not stand yet. The next load in a fresh process removes
// the build, the project loads whole and A goes on from its record; the save done again is whole. A save whose saved simulation could not be put in place left its copy
// marked: the next load finishes it, and the new simulation loads with the project.
TEST(RunLockPurposes, ASaveOfANewSimulationKilledLeavesNoLockAfterTheNextLoad)
{
  SharedExample p(4, 1);
  Torvu(p / "x", "run.macro", Load() + Set(kSimulation, "Run", "") + SaveProject());
  struct Case {
    std::string commands;
    std::string created;
  };
  const std::vector<Case> cases = {
      {Set("Project/Simulations", "CreateSimulation", "B") + SaveProject(), "B"},
      {Set("Project/Simulations", "CloneSimulation", "A") + SaveProject(), "A_cloned"},
  };
  constexpr const char* kFailedPut = "";  // the saved simulation's put in place fails instead
  int n = 0;
  for (const Case& c : cases)
    for (const char* window : {"copy locked", "copy staged", kFailedPut}) {
      SCOPED_TRACE(c.created + (*window ? std::string(" killed at ") + window : " with a failed put in place"));
      const std::string dir = p / ("case" + std::to_string(n++));
      fs::create_directories(dir + "/killed");
      fs::copy(p / "proj", dir + "/proj", fs::copy_options::recursive);
      const std::string created = dir + "/proj/Project/Simulations/" + c.created;
      if (*window) {
        ASSERT_TRUE(KillAtWindow(dir + "/killed", Load() + c.commands, window)) << ReadFile(dir + "/killed/torvu.log");
        ASSERT_TRUE(fs::exists(created + kSaveStagingSuffix + "/" + c.created + "/.simulation_lock"));
        ASSERT_FALSE(fs::exists(created));
      } else {
        WriteFile(dir + "/killed/failed.macro", Load() + c.commands);
        RunProcess(TorvuOffscreen(dir + "/killed", TORVU_PROGRAM, TORVU_ATTRIBUTES, "failed.macro < /dev/null",
                                  "TORVU_FAIL=rename:ShallowWaterSimulation.atr "));
        ASSERT_TRUE(fs::exists(created + "/.simulation_copying"));
      }
      ASSERT_FALSE(fs::exists(created + "/ShallowWaterSimulation.atr"));

      TorvuProcess z(dir + "/z");
      const Answer loaded = z.Do(Load() + "get(\"" + kSimulation + "\", \"CurrentTime\", value);");
      ASSERT_TRUE(loaded.ok) << loaded;
      EXPECT_EQ(loaded.text, "4");
      EXPECT_FALSE(Contains(z.Log(), "did not finish")) << Gist(z.Log());
      EXPECT_FALSE(fs::exists(created + kSaveStagingSuffix));
      if (fs::exists(created)) ExpectNothingLeft(created);
      // A copy dropped or finished says so, with the status of no run under way.
      if (fs::exists(created + "/.simulation_status")) {
        EXPECT_EQ(ReadFile(created + "/.simulation_status"), "finished\n");
      }
      if (!*window) {
        EXPECT_TRUE(fs::exists(created + "/ShallowWaterSimulation.atr"));
        // Loaded with the project, not only when a path names it later.
        EXPECT_TRUE(Contains(z.Log(), "loading '" + c.created + "' from")) << Gist(z.Log());
      }
      const Answer continued = z.Do(ContinueTo(5));
      EXPECT_TRUE(continued.ok) << continued;
      EXPECT_TRUE(fs::exists(dir + "/proj/" + kSimulation + "/" + File(5)));
      if (*window) {
        const Answer saved = z.Do(c.commands);
        EXPECT_TRUE(saved.ok) << saved;
        EXPECT_TRUE(fs::exists(created + "/ShallowWaterSimulation.atr"));
        ExpectNothingLeft(created);
      }
      EXPECT_EQ(z.Quit(), 0);
    }
}
