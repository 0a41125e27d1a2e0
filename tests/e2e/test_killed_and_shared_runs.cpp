// A run directory that more than one process writes to: a run killed in the background goes on
// from the last file it wrote, whatever its saved record says; a "Continue" from a state older
// than the run directory's newest time step, or one another process has written past, is
// refused and leaves every file as it was (a save then keeps the newer record), until the user
// takes the newest state or chooses an older one with "LoadTimeStep".
#include <gtest/gtest.h>

#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>

#include "ExampleTerrain.h"
#include "TestSupport.h"

namespace {

using Files = std::map<std::string, std::string>;
const std::string kSimulation = "Project/Simulations/A";

// A log cut short for a failure message, without its lines on every object and particle.
std::string Gist(const std::string& log)
{
  std::string gist, line;
  for (std::istringstream lines(log); std::getline(lines, line) && gist.size() < 4000;)
    if (line.rfind("saving ", 0) && line.rfind("loading ", 0) && line.rfind("IPD, ", 0))
      gist += line.substr(0, 400) + "\n";
  return gist;
}

// The time step of a time in whole seconds, its file, and its record in the saved simulation.
std::string Step(int seconds)
{
  char name[32];
  return std::string(name, std::snprintf(name, sizeof name, "at_%012.4f", double(seconds)));
}
std::string File(int seconds) { return Step(seconds) + ".TimeStep"; }
std::string Record(const std::string& step) { return Set("", "LoadTimeStep", step); }
// The time step a saved simulation records; empty when none.
std::string Recorded(const std::string& saved)
{
  const std::string line = Record("").substr(0, Record("").size() - 3);
  const size_t at = saved.find(line), from = at + line.size();
  return at == std::string::npos ? "" : saved.substr(from, saved.find('"', from) - from);
}

// The example terrain saved as the project "proj" with the simulation A of its release, to run
// to `end` seconds with an output every 2 s.
std::string Project(int end)
{
  return ImportExampleAsProject() + Set("Project/Simulations", "CreateSimulation", "A") +
         Set(kSimulation + "/ReleaseAreas", "AppendAllObjectsOfType", "ReleaseArea") +
         Set(kSimulation, "EndTime", std::to_string(end)) + Set(kSimulation, "DeltaOut", "2") +
         Set("Project", "SaveProject", "");
}
// The saved project loaded in a directory beside it.
std::string Load() { return Set("", "ProjectDir", "../proj") + Set("Project", "LoadProject", ""); }
// The bed friction changed and the run continued to `end` seconds.
std::string ContinueTo(int end)
{
  return Set(kSimulation, "BedFrictionAngle", "25") + Set(kSimulation, "EndTime", std::to_string(end)) +
         Set(kSimulation, "Continue", "");
}

// Polls (at most two minutes) until `done` holds.
bool WaitUntil(const std::function<bool()>& done)
{
  for (const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(2); !done();)
    if (std::chrono::steady_clock::now() > end) return false;
    else std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return true;
}

// The time-step files as expected, name for name and byte for byte; only names are printed.
void ExpectFiles(const Files& got, const Files& expected)
{
  std::string names;
  for (const auto& entry : got) names += entry.first + " ";
  ASSERT_EQ(got.size(), expected.size()) << names;
  for (const auto& [name, bytes] : expected) EXPECT_TRUE(got.count(name) && got.at(name) == bytes) << name;
}

// Macro commands as the statements of a script.
std::string Script(std::string commands)
{
  for (size_t at = 0; (at = commands.find(")\n", at)) != std::string::npos; at += 3) commands.insert(at + 1, ";");
  return commands;
}

// Script lines that poll the simulation every 50 ms (at most two minutes) until `done` holds of
// its time steps `steps` and its run status `status`.
std::string Poll(const std::string& done)
{
  return "for (tries = 0; tries < 2400; tries = tries + 1) {\nget(\"" + kSimulation +
         "\", \"TimeStepsList\", steps);\nget(\"" + kSimulation + "\", \"Status\", status);\nif (" + done +
         ") break;\nsleep(0.05);\n}\n";
}

}  // namespace

TEST(KilledAndSharedRuns, AKilledRunContinuesFromItsLastFileInAnyProcess)
{
  for (const bool setBack : {false, true}) {
    SCOPED_TRACE(setBack ? "its record set back, a process that only loads" : "as it was killed");
    Example p;
    // Long enough that no run reaches its end before the test looks, on a CPU it shares.
    Torvu(p.Path(), "run.macro", Project(600) + Set(kSimulation, "RunInBackground", ""));
    // Killed once the 4 s file is there: the run records its time step only at its end.
    ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(p.Run() + "/" + File(4)); }));
    const std::string lock = ReadFile(p.Run() + "/.simulation_lock");
    ASSERT_EQ(ReadFile(p.Run() + "/.simulation_status"), "running\n") << lock;
    const pid_t pid = std::stoi(lock);
    ASSERT_EQ(kill(pid, SIGKILL), 0) << lock;
    ASSERT_TRUE(WaitUntil([&] { return kill(pid, 0) != 0; }));
    const Files before = p.TimeSteps();
    const std::string newest = before.rbegin()->first.substr(0, 15);
    const int n = std::stoi(newest.substr(3, 7));
    std::string saved = p.Saved(), recorded = Recorded(saved);
    ASSERT_NE(recorded, newest);
    if (setBack) {
      saved.replace(saved.find(Record(recorded)), Record(recorded).size(), Record(Step(n - 2)));
      WriteFile(p.Run() + "/ShallowWaterSimulation.atr", saved);
      // A load alone takes the lock over: the status says the run is over, the record names
      // its last time step, and what its writers left half-way is gone.
      WriteFile(p.Run() + "/.simulation_info.~Kill3d", "at time");
      const std::string looked = Torvu(p / "look", "look.macro", Load());
      EXPECT_NE(looked.find("its process is gone: the simulation holds the run's last time step " + newest +
                            " (the project recorded " + Step(n - 2) + ")"),
                std::string::npos)
          << Gist(looked);
      EXPECT_EQ(ReadFile(p.Run() + "/.simulation_status"), "finished\n") << Gist(looked);
      EXPECT_EQ(ReadFile(p.Run() + "/.simulation_info").rfind("its run did not finish, its process is gone; last: at time ", 0),
                0u);
      EXPECT_FALSE(std::filesystem::exists(p.Run() + "/.simulation_lock"));
      EXPECT_FALSE(std::filesystem::exists(p.Run() + "/.simulation_info.~Kill3d"));
      EXPECT_EQ(Recorded(p.Saved()), newest);
    }
    const std::string log = Torvu(p / "elsewhere", "continue.macro", Load() + ContinueTo(n + 4));
    // Once taken over, the project records that time step: its load says nothing more.
    const std::string info = setBack ? "its run did not finish"
                                     : "INFO: Viewer/Project/Simulations/A: its run did not finish, its process is "
                                       "gone: the simulation holds the run's last time step " + newest +
                                           " (the project recorded " + (recorded.empty() ? "none" : recorded) + ")";
    EXPECT_EQ(log.find(info) != std::string::npos, !setBack) << info << "\n" << Gist(log);
    EXPECT_NE(log.find("computing time step " + std::to_string(n) + ".1..."), std::string::npos) << Gist(log);
    EXPECT_EQ(log.find("computing time step 0.1..."), std::string::npos);
    const Files got = p.TimeSteps();
    for (const auto& [name, bytes] : before) EXPECT_TRUE(got.count(name) && got.at(name) == bytes) << name;
    // A run in the foreground to the time of the kill, continued in its process.
    Example o;
    Torvu(o.Path(), "run.macro", Project(n) + Set(kSimulation, "Run", "") + ContinueTo(n + 4));
    ExpectFiles(got, o.TimeSteps());
  }
}

TEST(KilledAndSharedRuns, AContinueOlderThanItsRunDirectoryIsRefusedAndKeepsEveryFile)
{
  // X loads the project run to 4 s after `before` (a macro run in a process of its own, or
  // "remove" the 4 s file) and does `choose`; when `shared`, another process continues the run
  // to 8 s while X waits. X's "Continue" is refused, its save leaves `record`, and after a
  // "LoadTimeStep" its "Continue" goes on from the time step `from`. The refusal offers to go on
  // from `own`, the time step of X's state, when that is older than the newest ("" for none).
  struct Case {
    const char* name;
    std::string before, choose;
    bool shared;
    std::string refusal, record;
    int from;
    std::string own;
  };
  const std::string chooseTwo = Set(kSimulation, "LoadTimeStep", Step(2));
  const Case kCases[] = {
      {"another process continued the run X had loaded", "", "", true,
       "another process has written time steps since this one took its state at 4 s (time step at_0000004.0000); "
       "the newest is at_0000008.0000", Step(8), 8, ""},
      {"another process continued the run from a state X chose", "", chooseTwo, true,
       "another process has written time steps since its state at 2 s (time step at_0000002.0000) was chosen "
       "with \"LoadTimeStep\"; the newest is at_0000008.0000", Step(8), 8, ""},
      {"the saved record set back to 2 s", Load() + chooseTwo + Set("Project", "SaveProject", ""), "", false,
       "its state at 2 s (time step at_0000002.0000) is older than the newest time step of its run directory, "
       "at_0000004.0000", Step(2), 2, Step(2)},
      {"the last file removed by hand", "remove", "", false,
       "its state at 0 s is older than the newest time step of its run directory, at_0000002.0000",
       Step(2), 2, ""},  // X read no state of the series: its save names what the run left
  };
  // Independent runs in one process: continued from 4 s to 8 s and 12 s, or from 2 s to 12 s.
  std::map<bool, Files> oracles;
  for (const bool shared : {false, true}) {
    Example o;
    Torvu(o.Path(), "run.macro",
          Project(shared ? 4 : 2) + Set(kSimulation, "Run", "") + (shared ? ContinueTo(8) : "") + ContinueTo(12));
    oracles[shared] = o.TimeSteps();
  }
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    Example p;
    Torvu(p.Path(), "run.macro", Project(4) + Set(kSimulation, "Run", "") + Set("Project", "SaveProject", ""));
    if (c.before == "remove") std::filesystem::remove(p.Run() + "/" + File(4));
    else if (!c.before.empty()) Torvu(p / "before", "before.macro", c.before);
    Files expected = p.TimeSteps();
    // X says it has loaded, and later that it has saved, with "interrupted" in the status file
    // (no run is going on); writing "finished" back lets it go on. A refused command would end
    // a macro: X goes on in a script, which prints the reason.
    const std::string status = p.Run() + "/.simulation_status", signal = Script(Set(kSimulation, "Interrupt", ""));
    const std::string wait = Poll("strstr(steps, \"" + Step(8) + "\") >= 0 && strcmp(status, \"finished\") == 0");
    p.Write("x/x.cint", "int main()\n{\nchar steps[2048];\nchar status[64];\nchar text[2048];\nint tries;\n" +
                            (c.shared ? signal + wait : "") + Script(Set(kSimulation, "EndTime", "12")) +
                            "if (set(\"" + kSimulation + "\", \"Continue\", \"\") != 0) {\nerror(text);\n" +
                            "printf(\"refused: %s\\n\", text);\n}\n" + Script(Set("Project", "SaveProject", "")) +
                            signal + Poll("strcmp(status, \"interrupted\") != 0") +
                            Script(Set(kSimulation, "BedFrictionAngle", "25") +
                                   Set(kSimulation, "LoadTimeStep", Step(c.from)) + Set(kSimulation, "Continue", "")) +
                            "return 0;\n}\n");
    std::string xLog;
    std::atomic<bool> xEnded = false;  // no waiting for a word X will never write
    std::thread x([&] {
      xLog = Torvu(p / "x", "x.macro", Load() + c.choose + Set("", "ExecMacro", "x.cint"));
      xEnded = true;
    });
    const auto signalled = [&] { return WaitUntil([&] { return xEnded || ReadFile(status) == "interrupted\n"; }); };
    if (c.shared) {
      EXPECT_TRUE(signalled() && !xEnded);
      const std::string yLog = Torvu(p / "y", "y.macro", Load() + ContinueTo(8));
      EXPECT_NE(yLog.find("computing time step 4.1..."), std::string::npos) << Gist(yLog);
      for (const int t : {6, 8}) expected[File(t)] = oracles[true].at(File(t));
    }
    // X has been refused and has saved: every file is as it was, the record as expected.
    EXPECT_TRUE(signalled() && !xEnded);
    ExpectFiles(p.TimeSteps(), expected);
    EXPECT_EQ(Recorded(p.Saved()), c.record);
    WriteFile(status, "finished\n");
    x.join();
    const std::string fromOwn = " to go on from that state, which removes the later time steps";
    const std::string refused = "refused: Viewer/Project/Simulations/A: not run: " + c.refusal + ": \"LoadTimeStep\" " +
                                expected.rbegin()->first.substr(0, 15) + " to continue from there" +
                                (c.own.empty() ? "" : ", \"LoadTimeStep\" " + c.own + fromOwn) +
                                ", or \"Run\" to start over\n";
    EXPECT_NE(xLog.find(refused), std::string::npos) << refused << Gist(xLog);
    // The first step X computes follows the time step it loaded last.
    const std::string first = "computing time step " + std::to_string(c.from) + ".1...";
    EXPECT_EQ(xLog.find("computing time step "), xLog.find(first)) << first << "\n" << Gist(xLog);
    ExpectFiles(p.TimeSteps(), oracles[c.shared]);
  }
}

// X holds the state of its own run to 12 s when another process continues the run from the
// 4 s time step it chose, removing X's later files. X's "Continue" is refused, in that
// directory and in a copy saved elsewhere, and its save records the other run's time step, not
// X's that is gone; loaded again, X goes on from that time step: never a series of two runs.
TEST(KilledAndSharedRuns, AProcessNeverContinuesOrRecordsAStateItsRunDirectoryNoLongerHolds)
{
  Example p;
  Torvu(p.Path(), "run.macro", Project(10) + Set(kSimulation, "Run", ""));
  const std::string status = p.Run() + "/.simulation_status", signal = Script(Set(kSimulation, "Interrupt", ""));
  const std::string tryContinue = "if (set(\"" + kSimulation + "\", \"Continue\", \"\") != 0) {\nerror(text);\n" +
                                  "printf(\"refused: %s\\n\", text);\n}\n";
  p.Write("x/x.cint", "int main()\n{\nchar steps[2048];\nchar status[64];\nchar text[2048];\nint tries;\n" + signal +
                          Poll("strstr(steps, \"" + Step(12) + "\") < 0 && strcmp(status, \"finished\") == 0") +
                          Script(Set(kSimulation, "EndTime", "14")) + tryContinue +
                          Script(Set("Project", "SaveProject", "")) + signal +
                          Poll("strcmp(status, \"interrupted\") != 0") +
                          Script(Set("Project", "SaveProjectAs", "../z")) + tryContinue +
                          Script(Set("Project", "LoadProject", "") + Set(kSimulation, "BedFrictionAngle", "30") +
                                 Set(kSimulation, "Continue", "")) +
                          "return 0;\n}\n");
  std::string xLog;
  std::atomic<bool> xEnded = false;
  std::thread x([&] {
    xLog = Torvu(p / "x", "x.macro",
                 Load() + Set(kSimulation, "EndTime", "12") + Set(kSimulation, "Continue", "") +
                     Set("", "ExecMacro", "x.cint"));
    xEnded = true;
  });
  const auto signalled = [&] { return WaitUntil([&] { return xEnded || ReadFile(status) == "interrupted\n"; }); };
  EXPECT_TRUE(signalled() && !xEnded);
  const std::string yLog =
      Torvu(p / "y", "y.macro", Load() + Set(kSimulation, "LoadTimeStep", Step(4)) + ContinueTo(6));
  EXPECT_NE(yLog.find("computing time step 4.1..."), std::string::npos) << Gist(yLog);
  EXPECT_TRUE(signalled() && !xEnded);
  EXPECT_EQ(Recorded(p.Saved()), Step(6));
  WriteFile(status, "finished\n");
  x.join();

  // One process: the run to 4 s, continued to 6 s under 25 degrees, then to 14 s under 30.
  Example o;
  Torvu(o.Path(), "run.macro",
        Project(4) + Set(kSimulation, "Run", "") + ContinueTo(6) + Set(kSimulation, "BedFrictionAngle", "30") +
            Set(kSimulation, "EndTime", "14") + Set(kSimulation, "Continue", ""));
  Files upToSix = o.TimeSteps();
  upToSix.erase(upToSix.upper_bound(File(6)), upToSix.end());
  ExpectFiles(p.TimeSteps(), upToSix);
  ASSERT_TRUE(std::filesystem::is_directory(p / "z/Simulations/A")) << Gist(xLog);
  ExpectFiles(TimeStepContents(p / "z/Simulations/A"), o.TimeSteps());
  const std::string refused = "refused: Viewer/Project/Simulations/A: not run: another process has written time "
                              "steps since this one took its state at 12 s (time step " + Step(12) +
                              "); the newest is " + Step(6) + ": \"LoadTimeStep\" " + Step(6) +
                              " to continue from there, or \"Run\" to start over\n";
  const size_t first = xLog.find(refused), second = xLog.find(refused, first + 1);
  ASSERT_NE(first, std::string::npos) << refused << Gist(xLog);
  ASSERT_NE(second, std::string::npos) << "in the copy saved elsewhere\n" << Gist(xLog);
  // Between the two, X computed nothing; loaded again, it went on from the 6 s time step.
  EXPECT_EQ(xLog.find("computing time step ", first), xLog.find("computing time step 6.1...", second)) << Gist(xLog);
}
