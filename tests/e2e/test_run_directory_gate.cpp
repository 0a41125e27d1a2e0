// One gate over a run directory that several processes share: a process writes, removes or
// records time steps only while no other process has written or removed any since it last read
// its state from them or wrote them; one that never read them may start the series anew from
// 0 s. What a killed run, a killed take-over or a killed save left behind is cleared by the next
// load; a run records its time steps only in a saved simulation that holds the values it ran
// under.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "ExampleTerrain.h"
#include "SharedProjectProcesses.h"
#include "TestSupport.h"

namespace {

namespace fs = std::filesystem;

std::string Friction(const std::string& degrees) { return Set(kSimulation, "BedFrictionAngle", degrees); }

// X runs the project; Y loads X's time step at `from` and goes on from it under 30 degrees to
// 10 s. X's "Continue" to `to` is refused and changes neither a time step nor the record. The
// time steps as Y left them.
Files Overtaken(const SharedExample& p, TorvuProcess& x, TorvuProcess& y, double from, double to)
{
  EXPECT_TRUE(x.Do(Load() + Set(kSimulation, "Run", "")).ok);
  const Answer overtaken = y.Do(Load() + Set(kSimulation, "LoadTimeStep", Step(from)) + Friction("30") + ContinueTo(10));
  EXPECT_TRUE(overtaken.ok) << overtaken;
  const Files steps = p.TimeSteps();
  const std::string record = Recorded(p.Saved());
  const Answer continued = x.Do(ContinueTo(to));
  EXPECT_FALSE(continued.ok) << Gist(x.Log());
  ExpectSameFiles(p.TimeSteps(), steps, "after the refused \"Continue\"");
  EXPECT_EQ(Recorded(p.Saved()), record);
  return steps;
}

}  // namespace

// A process that only loaded the project saves what it changed, never its own idea of the record
// nor the values it did not change: the run of another process, in the foreground or in the
// background, keeps its files; a save of a remark keeps that run's values and its record; a save
// of another friction names no time step, none having been computed under it.
TEST(RunDirectoryGate, ASaveByAProcessThatNeverReadTheTimeStepsNamesNoTimeStepOfOtherValues)
{
  for (const bool background : {false, true}) {
    SCOPED_TRACE(background ? "a run in the background" : "a run in the foreground");
    SharedExample p(10, 2);
    TorvuProcess x(p / "x"), y(p / "y");
    ASSERT_TRUE(x.Do(Load()).ok);
    const Answer ran = y.Do(Load() + Friction("20") +
                            (background ? Set(kSimulation, "RunInBackground", "") : Set(kSimulation, "Run", "")));
    ASSERT_TRUE(ran.ok) << ran;
    if (background) {
      ASSERT_TRUE(WaitUntilFinished(p.Run()));
    }
    const Files steps = p.TimeSteps();
    ASSERT_EQ(Recorded(p.Saved()), Step(10));
    const Answer remark = x.Do(Set(kSimulation, "Remark", "looked at") + SaveProject());
    EXPECT_TRUE(remark.ok) << remark;
    EXPECT_EQ(Recorded(p.Saved()), Step(10)) << Gist(x.Log());
    EXPECT_NE(p.Saved().find(Set("", "BedFrictionAngle", "20")), std::string::npos);
    EXPECT_NE(p.Saved().find(Set("", "Remark", "looked at")), std::string::npos);
    EXPECT_EQ(x.Get(kSimulation, "BedFrictionAngle"), "20");
    const Answer saved = x.Do(Friction("25") + SaveProject());
    EXPECT_TRUE(saved.ok) << saved;
    EXPECT_EQ(Recorded(p.Saved()), "") << Gist(x.Log());
    EXPECT_NE(p.Saved().find(Set("", "BedFrictionAngle", "25")), std::string::npos);
    ExpectSameFiles(p.TimeSteps(), steps);
  }
}

// X's run to 8 s, overtaken by Y's continuation from 2 s: X may neither continue its state nor
// save it as a time step. Alone, a process that chose an older time step saves it, records it
// and goes on from it.
TEST(RunDirectoryGate, AStateOvertakenByAnotherProcessIsNeitherContinuedNorSaved)
{
  {
    SharedExample p(8, 2);
    TorvuProcess x(p / "x"), y(p / "y");
    Overtaken(p, x, y, 2, 12);
    const Files everything = FilesIn(p.Run());
    const Answer saved = x.Do(Set(kSimulation, "SaveTimeStep", ""));
    EXPECT_FALSE(saved.ok) << Gist(x.Log());
    EXPECT_NE(saved.text.find("time step not saved"), std::string::npos) << saved;
    ExpectSameFiles(FilesIn(p.Run()), everything, "after the refused \"SaveTimeStep\"");
  }
  SharedExample p(4, 1);
  TorvuProcess x(p / "x");
  ASSERT_TRUE(x.Do(Load() + Set(kSimulation, "Run", "")).ok);
  // The state the run ended with is its last file as it stands, peak kinetic energy and all.
  const Files ran = p.TimeSteps();
  EXPECT_TRUE(x.Do(Set(kSimulation, "SaveTimeStep", "")).ok);
  ExpectSameFiles(p.TimeSteps(), ran, "after \"SaveTimeStep\" of the state the run ended with");
  const Answer chosen =
      x.Do(Set(kSimulation, "LoadTimeStep", Step(3)) + Set(kSimulation, "SaveTimeStep", "") + SaveProject());
  EXPECT_TRUE(chosen.ok) << chosen;
  EXPECT_EQ(Recorded(p.Saved()), Step(3));
  const Answer continued = x.Do(ContinueTo(6));
  EXPECT_TRUE(continued.ok) << continued;
  EXPECT_NE(x.Log().find("computing time step 3.1..."), std::string::npos) << Gist(x.Log());
  EXPECT_EQ(p.TimeSteps().count(File(6)), 1u);
}

// X holds its own state at 10 s when Y replaces the run from 4 s on. Whatever X tries next (a
// continuation, removing all time steps but the last, a continuation after that), no file of
// the run directory comes from X's old state: each follows from the one before, and the record
// names a file that is there.
TEST(RunDirectoryGate, AfterItsFilesWereReplacedAProcessNeverWritesFromItsOldState)
{
  SharedExample p(10, 2);
  TorvuProcess x(p / "x"), y(p / "y");
  const Files ys = Overtaken(p, x, y, 4, 14);
  ASSERT_FALSE(HasFailure());
  const Answer deleted = x.Do(Set(kSimulation, "DeleteTimesteps", "except last"));
  EXPECT_TRUE(RecordIsThere(p.Run())) << Recorded(p.Saved()) << "\n" << deleted;
  // Removing the others is for a process that holds the last one, which is Y's now.
  if (deleted.ok) ExpectSameFiles(p.TimeSteps(), {{File(10), ys.at(File(10))}}, "after \"DeleteTimesteps\"");
  const Answer again = x.Do(ContinueTo(14));
  EXPECT_TRUE(RecordIsThere(p.Run())) << Recorded(p.Saved());
  ExpectEachStepFollowsTheOneBefore(p / "proj", {"16", "30"}, p / "oracle",
                                    "delete: " + testing::PrintToString(deleted) +
                                        "\ncontinue: " + testing::PrintToString(again));
}

// The project directory named in other words than the run's own (a detour through "..", the
// absolute path, a symbolic link) is the same directory: a run and its continuation in one
// process are never refused as if another process had written the files.
TEST(RunDirectoryGate, AProjectDirectoryNamedOtherwiseIsStillTheSameDirectory)
{
  for (const std::string spelling : {"../x/../proj", "absolute", "../link", "./../proj/"}) {
    SCOPED_TRACE(spelling);
    SharedExample p(4, 2);
    fs::create_directory_symlink(p / "proj", p / "link");
    TorvuProcess x(p / "x");
    ASSERT_TRUE(x.Do(Load()).ok);
    const Answer ran = x.Do(Load(spelling == "absolute" ? p / "proj" : spelling) + Set(kSimulation, "Run", ""));
    EXPECT_TRUE(ran.ok) << ran;
    const Answer continued = x.Do(ContinueTo(8));
    EXPECT_TRUE(continued.ok) << continued;
    EXPECT_NE(x.Log().find("computing time step 4.1..."), std::string::npos) << Gist(x.Log());
    EXPECT_EQ(p.TimeSteps().count(File(8)), 1u);
  }
}

// A background run killed while it ran, then a take-over of its lock killed half-way: the lock
// moved aside under the name of a process that is gone, removed, or created and not yet written.
// The next load ends the run for good (its status, its info, the record of its newest whole
// time step), clears what the writers left, and a continuation goes on from there.
TEST(RunDirectoryGate, ALoadFinishesATakeOverThatWasKilledHalfWay)
{
  for (const std::string left : {"set aside", "removed", "empty"}) {
    SCOPED_TRACE("the lock " + left);
    SharedExample p(600, 2);
    Torvu(p.Path(), "start.macro", Load("proj") + Set(kSimulation, "RunInBackground", ""));
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(p.Run() + "/" + File(4)); }));
    const int pid = KillRun(p.Run(), p.Path());
    ASSERT_GT(pid, 0) << ReadFile(p.Run() + "/.simulation_lock");
    ASSERT_EQ(p.Status(), "running\n");
    const std::string lock = p.Run() + "/.simulation_lock", aside = lock + ".stale." + std::to_string(pid);
    if (left == "set aside") fs::rename(lock, aside);
    else if (left == "removed") fs::remove(lock);
    else WriteFile(lock, "");
    const std::string newest = p.TimeSteps().rbegin()->first.substr(0, 15);
    const std::string temporary = p.Run() + "/" + File(TimeOf(newest) + 2) + ".~abc123";
    WriteFile(temporary, "half a time step");

    TorvuProcess x(p / "x");
    const Answer loaded = x.Do(Load());
    EXPECT_TRUE(loaded.ok) << loaded;
    EXPECT_EQ(p.Status(), "finished\n");
    EXPECT_EQ(ReadFile(p.Run() + "/.simulation_info").rfind("its run did not finish, its process is gone", 0), 0u)
        << ReadFile(p.Run() + "/.simulation_info");
    EXPECT_EQ(Recorded(p.Saved()), newest);
    EXPECT_FALSE(fs::exists(temporary));
    EXPECT_FALSE(fs::exists(aside));
    const Answer continued = x.Do(ContinueTo(TimeOf(newest) + 2));
    EXPECT_TRUE(continued.ok) << continued;
    const std::string log = x.Log();
    EXPECT_NE(log.find("computing time step " + Seconds(TimeOf(newest)) + ".1..."), std::string::npos) << Gist(log);
    if (left == "empty") {
      std::string warnings, line;
      for (std::istringstream lines(log); std::getline(lines, line);)
        if (line.rfind("WARNING", 0) == 0) warnings += line + "\n";
      EXPECT_EQ(warnings.find("process 0"), std::string::npos) << warnings;
      EXPECT_NE(warnings.find("empty"), std::string::npos) << warnings;
    }
  }
}

// The end of a background run is seen as it is: its launcher reads "finished" of a run that was
// killed, without writing anything; a "Continue" right after a run's "finished" never meets that
// run still holding the directory; and a save clears the temporary of a save that was killed.
TEST(RunDirectoryGate, TheEndOfARunIsSeenAsItIs)
{
  {
    SharedExample p(600, 2);
    TorvuProcess x(p / "x");
    ASSERT_TRUE(x.Do(Load() + Set(kSimulation, "RunInBackground", "")).ok);
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(p.Run() + "/" + File(4)); }));
    ASSERT_GT(KillRun(p.Run(), p.Path()), 0);
    const Files everything = FilesIn(p.Run());
    EXPECT_EQ(x.Get(kSimulation, "Status"), "finished");
    ExpectSameFiles(FilesIn(p.Run()), everything, "after reading the status");
  }
  SharedExample p(1, 1);
  TorvuProcess x(p / "x");
  ASSERT_TRUE(x.Do(Load() + Set(kSimulation, "Run", "")).ok);
  // The script looks at the status as fast as it can: the moment between "finished" and the
  // end of the run's process is short.
  for (int round = 0; round < 8; ++round) {
    const double end = 2 + 2 * round;
    const Answer next = x.Do(Set(kSimulation, "EndTime", Seconds(end)) + Set(kSimulation, "ContinueInBackground", "") +
                             "for (tries = 0; tries < 2000000; tries = tries + 1) {\n"
                             "get(\"" + kSimulation + "\", \"Status\", value);\n"
                             "if (strcmp(value, \"finished\") == 0) break;\n}\n" +
                             ContinueTo(end + 1));
    EXPECT_EQ(next.text.find("a run of this simulation is going on"), std::string::npos)
        << "round " << round << ": " << next;
  }
  // What a save killed half-way leaves: its temporary, under the name that every writer of the
  // saved files gives it under the directory's lock.
  const std::string temporary = p.Run() + "/ShallowWaterSimulation.atr.~locked";
  WriteFile(temporary, "set(\"\", \"EndTime\"");
  const Answer saved = x.Do(SaveProject());
  EXPECT_TRUE(saved.ok) << saved;
  EXPECT_FALSE(fs::exists(temporary));
}

// A run under values its saved simulation does not hold saves them before it starts: of a
// project run to 4 s under 16 degrees, a run to 2 s under 30 degrees leaves a saved simulation
// that says 30 degrees and 2 s and records at_2, and a fresh process that loads it continues
// as the process of the run does. A save that fails refuses the run, which then changes no
// time step.
TEST(RunDirectoryGate, ARunSavesTheValuesItRunsUnderBeforeItRecordsATimeStep)
{
  SharedExample p(4, 2);
  Torvu(p.Path(), "first.macro", Load("proj") + Set(kSimulation, "Run", ""));
  ASSERT_EQ(Recorded(p.Saved()), Step(4));
  ASSERT_NE(p.Saved().find(Set("", "BedFrictionAngle", "16")), std::string::npos);
  TorvuProcess x(p / "x");
  const Answer ran = x.Do(Load() + Friction("30") + Set(kSimulation, "EndTime", "2") + Set(kSimulation, "Run", ""));
  ASSERT_TRUE(ran.ok) << ran;
  const auto says = [&](const std::string& attribute, const std::string& value) {
    return p.Saved().find(Set("", attribute, value)) != std::string::npos;
  };
  EXPECT_TRUE(says("BedFrictionAngle", "30") && says("EndTime", "2")) << p.Saved();
  EXPECT_EQ(Recorded(p.Saved()), Step(2));
  fs::copy(p / "proj", p / "copy", fs::copy_options::recursive);
  const Answer continued = x.Do(ContinueTo(4));
  ASSERT_TRUE(continued.ok) << continued;
  EXPECT_TRUE(says("EndTime", "4")) << p.Saved();
  EXPECT_EQ(Recorded(p.Saved()), Step(4));
  TorvuProcess y(p / "y");
  const Answer fresh = y.Do(Load("../copy") + ContinueTo(4));
  ASSERT_TRUE(fresh.ok) << fresh;
  EXPECT_TRUE(ReadFile(p / ("copy/" + kSimulation + "/" + File(4))) == p.TimeSteps().at(File(4)))
      << File(4) << " of the fresh process differs from the one of the process of the run";

  // The saved simulation's temporary cannot be made where a directory of its name stands.
  fs::create_directory(p.Run() + "/ShallowWaterSimulation.atr.~locked");
  const Files steps = p.TimeSteps();
  const std::string saved = p.Saved(), info = ReadFile(p.Run() + "/.simulation_info");
  for (const std::string& run : {Set(kSimulation, "Run", ""), ContinueTo(6)}) {
    const Answer refused = x.Do(Friction("25") + run);
    EXPECT_FALSE(refused.ok) << refused;
    EXPECT_NE(refused.text.find("not run: the simulation could not be saved: "), std::string::npos) << refused;
    EXPECT_EQ(ReadFile(p.Run() + "/.simulation_info"), info);  // a refusal writes nothing
    EXPECT_EQ(p.Status(), "finished\n");
    ExpectSameFiles(p.TimeSteps(), steps, "after the refused run");
    EXPECT_EQ(p.Saved(), saved);
  }
}

// What writers killed while they held a directory's lock left there, their temporaries all
// named "<file>.~locked", goes with the next load of the directory, and the project loads as it
// does without them. A temporary of another name may be a live writer's and stays.
TEST(RunDirectoryGate, ALoadRemovesTheTemporariesOfKilledWritersAndLoadsTheSame)
{
  SharedExample p(2, 2);
  fs::copy(p / "proj", p / "clean", fs::copy_options::recursive);
  const std::vector<std::string> leftovers = {p.Run() + "/ShallowWaterSimulation.atr.~locked",
                                              p / "proj/Project/ReleaseAreas/slope_0001/ReleaseArea.atr.~locked"};
  // The first half of the file, as a writer killed half-way leaves it.
  for (const std::string& leftover : leftovers) {
    const std::string whole = ReadFile(leftover.substr(0, leftover.size() - std::string(".~locked").size()));
    ASSERT_FALSE(whole.empty()) << leftover;
    WriteFile(leftover, whole.substr(0, whole.size() / 2));
  }
  const std::string unlocked = p.Run() + "/ShallowWaterSimulation.atr.~Ab12Cd";
  WriteFile(unlocked, Set("", "EndTime", "9"));
  const auto loaded = [&](const std::string& project) {
    TorvuProcess x(p / ("in_" + project));
    const Answer answer =
        x.Do(Load("../" + project) + Set("Project", "SaveAttributesRecursively", p / (project + ".txt")));
    EXPECT_TRUE(answer.ok) << answer;
    EXPECT_EQ(x.Quit(), 0);
    return ReadFile(p / (project + ".txt"));
  };
  const std::string clean = loaded("clean");
  EXPECT_NE(clean.find(Set("Simulations/A", "EndTime", "2")), std::string::npos);
  EXPECT_EQ(loaded("proj"), clean);
  for (const std::string& leftover : leftovers) EXPECT_FALSE(fs::exists(leftover)) << leftover;
  EXPECT_TRUE(fs::exists(unlocked));
}

// Three processes on one project take a seeded random sequence of commands. A command that
// failed changed no time step and not the record; the record always names a file that is
// there; and half-way and at the end every time step follows from the one before under a
// friction of the sequence. TORVU_SEED repeats a sequence.
TEST(RunDirectoryGate, ProcessesTakingTurnsInARandomOrderKeepASeriesThatFollowsStepByStep)
{
  const char* given = std::getenv("TORVU_SEED");
  const unsigned seed = given ? unsigned(std::strtoul(given, nullptr, 10)) : std::random_device{}();
  SCOPED_TRACE("TORVU_SEED=" + std::to_string(seed));
  std::mt19937 random(seed);
  const auto pick = [&](size_t n) { return size_t(random() % n); };
  const std::vector<std::string> frictions = {"16", "24", "32"};
  SharedExample p(2, 1);
  std::vector<std::unique_ptr<TorvuProcess>> processes;
  for (const char* name : {"p0", "p1", "p2"}) {
    processes.push_back(std::make_unique<TorvuProcess>(p / name));
    ASSERT_TRUE(processes.back()->Do(Load()).ok);
  }
  std::string history;
  bool running = false;  // a run in the background may be going on
  int left = 0;          // commands before the test waits for it to end
  // Over when its process let the lock go; an "Interrupt" after its end leaves "interrupted".
  const auto waitForBackground = [&] {
    const auto over = [&] {
      const std::string status = p.Status();
      return !fs::exists(p.Run() + "/.simulation_lock") && status != "started\n" && status != "running\n";
    };
    if (running) {
      EXPECT_TRUE(WaitUntil(over)) << history;
    }
    running = false;
  };
  for (int n = 0; n < 36; ++n) {
    const size_t who = pick(processes.size());
    TorvuProcess& x = *processes[who];
    // Every draw in a statement of its own, so that a seed gives one sequence.
    const std::string friction = pick(2) ? Friction(frictions[pick(frictions.size())]) : "";
    const double later = std::floor(std::atof(x.Get(kSimulation, "CurrentTime").c_str())) + 1 + double(pick(3));
    const Files steps = p.TimeSteps();
    std::string command;
    const size_t what = pick(10);
    if (what == 0) command = friction + Set(kSimulation, "EndTime", Seconds(later - 1)) + Set(kSimulation, "Run", "");
    else if (what <= 2) command = friction + ContinueTo(later);
    else if (what == 3 && !steps.empty())
      command = Set(kSimulation, "LoadTimeStep", std::next(steps.begin(), long(pick(steps.size())))->first.substr(0, 15));
    else if (what <= 4) command = Set(kSimulation, "SaveTimeStep", "");
    else if (what == 5) command = SaveProject();
    else if (what == 6) command = Set("Project", "LoadProject", "");
    else if (what == 7) command = Set(kSimulation, "DeleteTimesteps", pick(2) ? "all" : "except last");
    else if (what == 8 && running) command = Set(kSimulation, "Interrupt", "");
    else command = friction + Set(kSimulation, "EndTime", Seconds(later)) +
                   Set(kSimulation, pick(2) ? "RunInBackground" : "ContinueInBackground", "");
    const std::string record = Recorded(p.Saved());
    const bool quiet = !running;
    const Answer answer = x.Do(command);
    history += "p" + std::to_string(who) + ": " + command + "  -> " + testing::PrintToString(answer) + "\n";
    if (quiet && !answer.ok) {
      ExpectSameFiles(p.TimeSteps(), steps, "a command that failed\n" + history);
      EXPECT_EQ(Recorded(p.Saved()), record) << history;
    }
    if (answer.ok && command.find("InBackground") != std::string::npos) {
      running = true;
      left = int(pick(3));
    } else {
      --left;
    }
    if (left <= 0) waitForBackground();
    if (!running) {
      EXPECT_TRUE(RecordIsThere(p.Run())) << Recorded(p.Saved()) << "\n" << history;
    }
    // A series checked half-way too: later commands may remove it.
    if (n == 17) {
      waitForBackground();
      ExpectEachStepFollowsTheOneBefore(p / "proj", frictions, p / "oracle", history);
    }
    if (HasFailure()) break;
  }
  waitForBackground();
  ExpectEachStepFollowsTheOneBefore(p / "proj", frictions, p / "oracle", history);
  for (auto& process : processes) EXPECT_EQ(process->Quit(), 0);
}
