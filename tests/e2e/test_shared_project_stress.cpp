// Processes sharing two projects that save into each other's directories. Under a random
// sequence of the commands a user gives, each run directory keeps one series that follows step
// by step, saved with the values it was computed under; a "SaveProjectAs" over another project's
// run, killed at any moment, leaves the next load the old project whole or the new one's values
// with its series or a first part of it, never a mix of the two.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ExampleTerrain.h"
#include "SharedProjectProcesses.h"
#include "TestSupport.h"

namespace {

namespace fs = std::filesystem;

std::string Friction(const std::string& degrees) { return Set(kSimulation, "BedFrictionAngle", degrees); }

// A count from the environment, `fallback` when it is not set.
unsigned FromEnvironment(const char* name, unsigned fallback)
{
  const char* given = std::getenv(name);
  return given && *given ? unsigned(std::strtoul(given, nullptr, 10)) : fallback;
}

// The seed TORVU_SEED gives, or a new one.
unsigned Seed()
{
  return FromEnvironment("TORVU_SEED", std::random_device{}());
}

// The bed friction angle a saved simulation holds; empty when it has none.
std::string SavedFriction(const std::string& saved)
{
  const std::string line = "set(\"\", \"BedFrictionAngle\", \"";
  const size_t at = saved.find(line), from = at + line.size();
  return at == std::string::npos ? "" : saved.substr(from, saved.find('"', from) - from);
}

// What writers leave below the directory only while they write: temporaries ("*.~*") and, when
// asked, run locks; their paths relative to it.
std::string Leftovers(const std::string& directory, bool locks)
{
  std::string found;
  std::error_code error;
  for (fs::recursive_directory_iterator entry(directory, error), end; !error && entry != end; entry.increment(error)) {
    const std::string name = entry->path().filename().string();
    if (name.find(".~") != std::string::npos || (locks && name.rfind(".simulation_lock", 0) == 0))
      found += fs::relative(entry->path(), directory).string() + " ";
  }
  return found;
}

// A short print of a file's bytes: equal bytes, equal print, so that a failure shows which
// files are copies of which.
std::string Print(const std::string& bytes)
{
  char text[16];
  std::snprintf(text, sizeof text, "%06zx", std::hash<std::string>{}(bytes) & 0xffffff);
  return text;
}

// What a project's run directory holds, for a failure message: the saved friction and record,
// the status, and each time step by its time with the print of its bytes.
std::string Describe(const std::string& project)
{
  const std::string run = RunOf(project), saved = SavedOf(project);
  std::string status = ReadFile(run + "/.simulation_status");
  if (!status.empty() && status.back() == '\n') status.pop_back();
  std::string text = fs::path(project).filename().string() + ": saved friction " + SavedFriction(saved) +
                     ", record \"" + Recorded(saved) + "\", status \"" + status + "\"\n ";
  for (const auto& [name, bytes] : TimeStepContents(run)) text += " " + Seconds(TimeOf(name)) + "s=" + Print(bytes);
  return text + "\n";
}

// A command as a line of the history: "A.EndTime=4 A.Continue" for the set commands of the
// simulation, the path in full for the others.
std::string Brief(const std::string& command)
{
  std::string brief, line;
  for (std::istringstream lines(command); std::getline(lines, line);) {
    std::vector<std::string> quoted;
    for (size_t from = line.find('"'); from != std::string::npos && quoted.size() < 3;) {
      const size_t to = line.find('"', from + 1);
      quoted.push_back(line.substr(from + 1, to - from - 1));
      from = to == std::string::npos ? to : line.find('"', to + 1);
    }
    if (line.rfind("set(", 0) != 0 || quoted.size() < 3) {
      brief += line + " ";
      continue;
    }
    brief += (quoted[0] == kSimulation ? "A" : quoted[0]) + "." + quoted[1] +
             (quoted[2].empty() ? "" : "=" + quoted[2]) + " ";
  }
  return brief;
}

// The failures the running test has had so far.
int Failures()
{
  const testing::TestResult& result = *testing::UnitTest::GetInstance()->current_test_info()->result();
  int failed = 0;
  for (int i = 0; i < result.total_part_count(); ++i) failed += result.GetTestPartResult(i).failed();
  return failed;
}

// One seeded random sequence of commands that two or three processes take over "proj" and
// "proj2". proj ran to 2 s under 16 degrees; proj2, saved from it, ran anew under 30: their time
// steps have the same names. A friction changes only on a run, and a process that wrote time
// steps in the foreground (a run, "SaveTimeStep") saves the project right after, as a user keeps
// a project whose values go with its files: the saved values are then the ones the time step it
// records was computed under, unless a user changed one that no run took and saved that (which
// the sequence keeps track of: a change of a value is the user's to save).
class TwoProjectSequence {
public:
  explicit TwoProjectSequence(unsigned seed) : _random(seed), _p(2, 1) {}

  void Run(int commands)
  {
    TorvuProcess setup(_p / "setup");
    const Answer made = setup.Do(Load() + Set(kSimulation, "Run", "") + SaveProject() + SaveAs("../proj2") +
                                 Friction("30") + Set(kSimulation, "Run", "") + SaveProject());
    ASSERT_TRUE(made.ok) << made;
    EXPECT_EQ(setup.Quit(), 0);
    const size_t count = 2 + Pick(2);
    for (size_t i = 0; i < count; ++i) {
      const int project = i < 2 ? int(i) : int(Pick(2));
      _processes.push_back({std::make_unique<TorvuProcess>(_p / ("p" + std::to_string(i))), project, {}});
      ASSERT_TRUE(_processes.back().torvu->Do(Load("../" + Name(project))).ok);
    }
    const int failures = Failures();
    for (int n = 0; n < commands && Failures() == failures; ++n) {
      Step();
      // Each series checked half-way too: later commands may remove it.
      if (n == commands / 2 && Failures() == failures) CheckSeries();
    }
    if (Failures() == failures) CheckSeries();
    WaitForBackground();
    for (Process& process : _processes) EXPECT_EQ(process.torvu->Quit(), 0);
  }

private:
  enum class Kind { Other, Foreground, Written, Background, Save, Load };
  struct Process {
    std::unique_ptr<TorvuProcess> torvu;
    int project = 0;                   // 0 proj, 1 proj2: where it loaded or saved last
    std::optional<std::string> unrun;  // a friction a user set here that no run of its took
  };

  size_t Pick(size_t n) { return size_t(_random() % n); }
  static std::string Name(int project) { return project ? "proj2" : "proj"; }
  std::string Dir(int project) const { return _p / Name(project); }
  std::string Context() const { return "history:\n" + _history + Describe(Dir(0)) + Describe(Dir(1)); }

  // One command drawn, given and checked; the run or save of a foreground run is two commands.
  void Step()
  {
    const size_t who = Pick(_processes.size());
    Process& x = _processes[who];
    const int here = x.project, other = 1 - here;
    // Every draw in a statement of its own, so that a seed gives one sequence.
    const std::string friction = Pick(2) ? kFrictions[Pick(kFrictions.size())] : "";
    const double later = std::floor(std::atof(x.torvu->Get(kSimulation, "CurrentTime").c_str())) + 1 + double(Pick(3));
    const Files steps = TimeStepContents(RunOf(Dir(here)));
    const std::string set = friction.empty() ? "" : Friction(friction);
    std::vector<std::string> commands;
    Kind kind = Kind::Other;
    int target = here;
    const size_t what = Pick(12);
    if (what == 0) {
      kind = Kind::Foreground;
      commands = {set + Set(kSimulation, "EndTime", Seconds(later - 1)) + Set(kSimulation, "Run", ""), SaveProject()};
    } else if (what <= 2) {
      kind = Kind::Foreground;
      commands = {set + ContinueTo(later), SaveProject()};
    } else if (what == 3 && !steps.empty()) {
      const std::string step = std::next(steps.begin(), long(Pick(steps.size())))->first.substr(0, 15);
      commands = {Set(kSimulation, "LoadTimeStep", step)};
    } else if (what <= 4) {
      kind = Kind::Written;
      commands = {Set(kSimulation, "SaveTimeStep", ""), SaveProject()};
    } else if (what == 5) {
      kind = Kind::Save;
      commands = {SaveProject()};
    } else if (what == 6) {
      kind = Kind::Load;
      target = int(Pick(2));
      commands = {Load("../" + Name(target))};
    } else if (what == 7) {
      kind = Kind::Save;
      target = other;
      commands = {SaveAs("../" + Name(other))};
    } else if (what == 8) {
      commands = {Set(kSimulation, "DeleteTimesteps", Pick(2) ? "all" : "except last")};
    } else if (what == 9 && (_running[0] || _running[1])) {
      commands = {Set(kSimulation, "Interrupt", "")};
    } else if (what == 10) {
      const std::string perCell = std::to_string(2 + Pick(6));
      commands = {Set(kSimulation, "NumParticlesPerCell", perCell) + Set(kSimulation, "Update", "")};
    } else {
      kind = Kind::Background;
      commands = {set + Set(kSimulation, "EndTime", Seconds(later)) +
                  Set(kSimulation, Pick(2) ? "RunInBackground" : "ContinueInBackground", "")};
    }
    const bool runs = kind == Kind::Foreground || kind == Kind::Background;
    size_t done = 0;
    for (const std::string& command : commands) {
      if (!Give(who, command)) break;
      ++done;
    }
    const bool ok = done == commands.size();
    const int now = ProjectOf(x.torvu->Get("", "ProjectDir"), here);
    x.project = now;
    if (runs && !friction.empty() && done == 0) x.unrun = friction;
    if ((kind == Kind::Foreground || kind == Kind::Written) && done == 1) {
      ADD_FAILURE() << "[a save right after the process wrote its time steps failed]\n" << Context();
    } else if (kind == Kind::Foreground && ok) {
      x.unrun.reset();
      _userSaved[now].reset();
    } else if (kind == Kind::Background && ok) {
      // The start saved the project with the values the process holds, which its run may yet
      // refuse to take.
      if (!friction.empty()) x.unrun = friction;
      _userSaved[here] = x.unrun;
      _running[here] = true;
      _left = int(Pick(3));
    } else if ((kind == Kind::Save || kind == Kind::Written) && ok) {
      // A save without a friction of its own keeps what the project had (a copy into the other
      // project takes the values and the record of the one it came from, with what a user saved
      // there unrun).
      if (x.unrun) _userSaved[target] = x.unrun;
      else if (target != here) _userSaved[target] = _userSaved[here];
    } else if (kind == Kind::Load) {
      if (ok) x.unrun.reset();
      else x.unrun = x.torvu->Get(kSimulation, "BedFrictionAngle");
    }
    if (!(kind == Kind::Background && ok) && --_left <= 0) WaitForBackground();
    for (int j : {0, 1})
      if (!_running[j]) {
        EXPECT_TRUE(RecordIsThere(RunOf(Dir(j)))) << "[the record names a file that is gone] in " << Name(j) << "\n"
                                                  << Context();
        EXPECT_EQ(Leftovers(RunOf(Dir(j)), false), "") << "[a temporary left] in " << Name(j) << "\n" << Context();
      }
  }

  // Gives the command to process `who`; whether it succeeded. A command that failed changed no
  // time step and no record of a project that no run in the background was writing.
  bool Give(size_t who, const std::string& command)
  {
    Process& x = _processes[who];
    std::array<Files, 2> steps;
    std::array<std::string, 2> records;
    for (int j : {0, 1}) {
      steps[j] = TimeStepContents(RunOf(Dir(j)));
      records[j] = Recorded(SavedOf(Dir(j)));
    }
    const Answer answer = x.torvu->Do(command);
    _history += "p" + std::to_string(who) + " (" + Name(x.project) + "): " + Brief(command) + "-> " +
                testing::PrintToString(answer) + "\n";
    if (!answer.ok)
      for (int j : {0, 1})
        if (!_running[j]) {
          ExpectSameFiles(TimeStepContents(RunOf(Dir(j))), steps[j],
                          "[a command that failed changed time steps] of " + Name(j) + "\n" + Context());
          EXPECT_EQ(Recorded(SavedOf(Dir(j))), records[j])
              << "[a command that failed changed the record] of " << Name(j) << "\n" << Context();
        }
    return answer.ok;
  }

  // The project a process's directory names, `otherwise` when it names neither.
  static int ProjectOf(std::string dir, int otherwise)
  {
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    const std::string name = fs::path(dir).filename().string();
    return name == "proj" ? 0 : name == "proj2" ? 1 : otherwise;
  }

  // Over when its process let the lock go; an "Interrupt" after its end leaves "interrupted".
  void WaitForBackground()
  {
    for (int j : {0, 1}) {
      const std::string run = RunOf(Dir(j));
      const auto over = [&] {
        const std::string status = ReadFile(run + "/.simulation_status");
        return !fs::exists(run + "/.simulation_lock") && status != "started\n" && status != "running\n";
      };
      if (_running[j]) {
        EXPECT_TRUE(WaitUntil(over)) << "[a run in the background never ended] in " << Name(j) << "\n" << Context();
      }
      _running[j] = false;
    }
  }

  // Every time step of each project follows from the one before under a friction of the
  // sequence, and the one its saved simulation records under the friction it holds.
  void CheckSeries()
  {
    WaitForBackground();
    for (int j : {0, 1}) {
      const std::string scratch = _p / ("oracle_" + Name(j));
      ExpectEachStepFollowsTheOneBefore(Dir(j), kFrictions, scratch, "[a step that does not follow]\n" + Context());
      const std::string saved = SavedFriction(SavedOf(Dir(j)));
      if (_userSaved[j] && std::atof(_userSaved[j]->c_str()) == std::atof(saved.c_str())) continue;
      if (RecordedStepFollowsUnder(Dir(j), saved, scratch)) continue;
      std::string under;
      for (const std::string& friction : kFrictions)
        if (RecordedStepFollowsUnder(Dir(j), friction, scratch)) under += friction + " ";
      ADD_FAILURE() << "[the saved friction is not the one of the time step it records] " << Name(j) << " saved " << saved
                    << ", its recorded time step follows under " << (under.empty() ? "none of the sequence" : under)
                    << "\n" << Context();
    }
  }

  const std::vector<std::string> kFrictions = {"16", "24", "30"};
  std::mt19937 _random;
  SharedExample _p;
  std::vector<Process> _processes;
  std::array<std::optional<std::string>, 2> _userSaved;  // a friction that no run took, saved there last
  std::array<bool, 2> _running = {false, false};          // a run in the background may be going on there
  int _left = 0;                                          // commands before the test waits for those runs
  std::string _history;
};

}  // namespace

// Two or three processes take a seeded random sequence of commands over two projects, each
// saving into the other's directory now and then. After every command: each record names a file
// that is there, no temporary is left, and a command that failed changed no time step and no
// record. Half-way and at the end, in each project, every time step follows from the one before
// and the recorded one from the one before it under the saved friction. TORVU_SEED repeats a sequence
// (the first of several), TORVU_SEQUENCES runs more, TORVU_COMMANDS makes them longer.
TEST(SharedProjectStress, RandomCommandsOverTwoProjectsKeepEachSeriesWithTheValuesItRanUnder)
{
  const unsigned first = Seed();
  const unsigned sequences = FromEnvironment("TORVU_SEQUENCES", 1), commands = FromEnvironment("TORVU_COMMANDS", 30);
  for (unsigned s = 0; s < sequences; ++s) {
    SCOPED_TRACE("TORVU_SEED=" + std::to_string(first + s));
    TwoProjectSequence(first + s).Run(int(commands));
  }
}

namespace {

// A torvu program started on a macro file in its own directory (made when missing; HOME there,
// its output in "torvu.log"), whose process id the test holds: it is the only process the test
// kills, and a process reaped is never killed.
class OneShot {
public:
  OneShot(const std::string& dir, const std::string& macro) : _dir(fs::absolute(dir).string())
  {
    fs::create_directories(_dir);
    WriteFile(_dir + "/run.macro", macro);
    _pid = StartTorvu(_dir, "run.macro", Log());
    EXPECT_GT(_pid, 0) << "no process started in " << _dir;
  }
  ~OneShot() { Kill(); }
  OneShot(const OneShot&) = delete;
  OneShot& operator=(const OneShot&) = delete;

  // Whether the process has ended (and is reaped).
  bool Ended()
  {
    if (_pid > 0 && waitpid(_pid, &_status, WNOHANG) == _pid) _pid = -1;
    return _pid <= 0;
  }
  // Kills the process with SIGKILL and reaps it; false when it had ended before.
  bool Kill()
  {
    if (Ended()) return false;
    kill(_pid, SIGKILL);
    waitpid(_pid, &_status, 0);
    _pid = -1;
    return true;
  }
  // Waits (at most two minutes) for the end; its exit status, -1 when it did not exit normally.
  int Wait()
  {
    WaitUntil([&] { return Ended(); });
    return _pid <= 0 && WIFEXITED(_status) ? WEXITSTATUS(_status) : -1;
  }
  std::string Log() const { return _dir + "/torvu.log"; }

private:
  std::string _dir;
  pid_t _pid = -1;
  int _status = 0;
};

// Every name in the directory with its size and modification time: any file written, renamed
// or removed there changes it.
std::string Listing(const std::string& directory)
{
  std::string listing;
  std::error_code error;
  for (fs::directory_iterator entry(directory, error), end; !error && entry != end; entry.increment(error)) {
    struct stat s;
    listing += entry->path().filename().string();
    if (stat(entry->path().c_str(), &s) == 0)
      listing += " " + std::to_string(s.st_size) + " " + std::to_string(s.st_mtim.tv_sec) + "." +
                 std::to_string(s.st_mtim.tv_nsec);
    listing += "\n";
  }
  return listing;
}

// Which run each time step is a copy of, for a failure message.
std::string Sides(const Files& steps, const Files& old, const Files& copied)
{
  std::string sides;
  for (const auto& [name, bytes] : steps) {
    const bool isOld = old.count(name) && old.at(name) == bytes, isNew = copied.count(name) && copied.at(name) == bytes;
    sides += " " + Seconds(TimeOf(name)) + "s:" + (isOld && isNew ? "both" : isOld ? "old" : isNew ? "new" : "neither");
  }
  return sides;
}

// What the target's run directory holds after a save over it that was cut short, loaded anew:
// the old project whole, or the saved project's values with its series whole or a first part of
// it in time order. A failure when it is neither; what it is, for the account of the kills.
std::string ExpectOldOrNew(const std::string& run, const Files& old, const Files& copied, const std::string& context)
{
  const std::string friction = SavedFriction(ReadFile(run + "/ShallowWaterSimulation.atr"));
  const Files steps = TimeStepContents(run);
  const std::string sides = "\nrecord \"" + Recorded(ReadFile(run + "/ShallowWaterSimulation.atr")) +
                            "\", time steps:" + Sides(steps, old, copied) + "\n" + context;
  if (friction == "30") {
    ExpectSameFiles(steps, old, "[the old project, but not its series whole] saved friction 30" + sides);
    return "old";
  }
  if (friction != "16") {
    ADD_FAILURE() << "[the saved values of neither project] saved friction \"" << friction << "\"" << sides;
    return "neither";
  }
  size_t first = 0;
  for (auto step = steps.begin(), expected = copied.begin();
       step != steps.end() && expected != copied.end() && *step == *expected; ++step, ++expected)
    ++first;
  EXPECT_EQ(first, steps.size()) << "[the new project's values over a series that is not a first part of its own]"
                                 << " saved friction 16" << sides;
  const std::string of = " of " + std::to_string(copied.size());
  return first == copied.size()  ? "new"
         : first == steps.size() ? "new, its first " + std::to_string(first) + of
                                 : "a mix: the first " + std::to_string(first) + of + " copied, " +
                                       std::to_string(steps.size() - first) + " other files after them";
}

}  // namespace

// proj ran 0-10 s under 16 degrees and proj2 0-10 s under 30, both with an output every 0.5 s:
// their time steps have the same names. A process loads proj and saves it as proj2, and is killed
// at a moment from 0 ms after proj2's run directory first changes to the end of the save (as long
// as a save takes there, at least 80 ms), or after it saved, once.
// A fresh process then loads proj2, which it does, and finds the old project whole or proj's
// values with proj's series or a first part of it, finished, without a temporary or a lock, the
// record naming a file that is there; and it continues to 11 s. TORVU_KILLS kills more often,
// TORVU_SEED repeats the moments.
TEST(SharedProjectStress, ASaveOverAnotherProjectsRunKilledAtAnyMomentLeavesOneProjectWhole)
{
  const unsigned seed = Seed(), kills = FromEnvironment("TORVU_KILLS", 6);
  SCOPED_TRACE("TORVU_SEED=" + std::to_string(seed));
  std::mt19937 random(seed);
  SharedExample p(10, 0.5);
  Torvu(p.Path(), "runs.macro",
        Load("proj") + Friction("16") + Set(kSimulation, "Run", "") + SaveProject() + SaveAs("proj2") +
            Friction("30") + Set(kSimulation, "Run", "") + SaveProject());
  const std::string target = RunOf(p / "proj2");
  const Files copied = p.TimeSteps(), old = TimeStepContents(target);
  ASSERT_EQ(copied.size(), 21u);
  ASSERT_EQ(old.size(), copied.size());
  ASSERT_NE(old.rbegin()->second, copied.rbegin()->second);
  fs::copy(p / "proj2", p / "pristine", fs::copy_options::recursive);
  // The moments cover a whole save, its copy put in place included: as long as one takes here
  // from the first change of proj2 to its end, and at least 80 ms.
  int span = 80;
  {
    const std::string untouched = Listing(target);
    OneShot saver(p / "measure", Load() + SaveAs("../proj2"));
    EXPECT_TRUE(WaitUntil([&] { return saver.Ended() || Listing(target) != untouched; }));
    const auto changed = std::chrono::steady_clock::now();
    EXPECT_EQ(saver.Wait(), 0);
    span = std::max(span, int(std::chrono::duration_cast<std::chrono::milliseconds>(
                                  std::chrono::steady_clock::now() - changed).count()));
  }
  std::string account;
  // The last round holds the save once it finished, and is killed then.
  for (unsigned k = 0; k <= kills; ++k) {
    const bool afterwards = k == kills;
    const std::string round = "round " + std::to_string(k);
    SCOPED_TRACE(round);
    fs::remove_all(p / "proj2");
    fs::copy(p / "pristine", p / "proj2", fs::copy_options::recursive);
    const std::string untouched = Listing(target);
    const int delay = std::uniform_int_distribution<int>(0, span)(random);
    const std::string hold = "int main()\n{\nprintf(\"@@saved\\n\");\nsleep(120);\nreturn 0;\n}\n";
    WriteFile(p / ("saver" + std::to_string(k)) + "/hold.cint", hold);
    OneShot saver(p / ("saver" + std::to_string(k)),
                  Load() + SaveAs("../proj2") + (afterwards ? Set("", "ExecMacro", "hold.cint") : ""));
    std::string moment;
    bool killed = false;
    if (afterwards) {
      const auto saved = [&] { return saver.Ended() || ReadFile(saver.Log()).find("@@saved") != std::string::npos; };
      EXPECT_TRUE(WaitUntil(saved));
      killed = saver.Kill();
      moment = "killed right after the save finished";
    } else {
      const bool changed = WaitUntil([&] {
        std::this_thread::sleep_for(std::chrono::microseconds(100));
        return saver.Ended() || Listing(target) != untouched;
      });
      EXPECT_TRUE(changed);
      std::this_thread::sleep_for(std::chrono::milliseconds(delay));
      killed = saver.Kill();
      moment = killed ? "killed " + std::to_string(delay) + " ms after proj2's run directory first changed"
                      : "ended by itself within " + std::to_string(delay) + " ms of the first change";
    }
    if (!killed) {
      EXPECT_EQ(saver.Wait(), 0) << "[the save failed]\n" << Gist(ReadFile(saver.Log()));
    }
    const std::string before = "the saving process " + moment + "\nits log:\n" + Gist(ReadFile(saver.Log()));

    TorvuProcess fresh(p / ("fresh" + std::to_string(k)));
    const Answer loaded = fresh.Do(Load("../proj2"));
    EXPECT_TRUE(loaded.ok) << "[the load after the kill failed] " << loaded << "\n" << before;
    const std::string context = before + "\nthe load: " + testing::PrintToString(loaded) + "\n";
    const std::string found = ExpectOldOrNew(target, old, copied, context);
    if (!killed || afterwards) {
      EXPECT_EQ(found, "new") << "[a save that finished left not the new project whole]\n"
                              << "time steps:" << Sides(TimeStepContents(target), old, copied) << "\n" << context;
    }
    EXPECT_EQ(ReadFile(target + "/.simulation_status"), "finished\n") << "[not finished]\n" << context;
    const std::string leftovers = Leftovers(target, true);
    EXPECT_EQ(leftovers, "") << "[a temporary or a lock left after the load]\n" << context;
    EXPECT_TRUE(RecordIsThere(target)) << "[the record names a file that is gone] "
                                       << Recorded(ReadFile(target + "/ShallowWaterSimulation.atr")) << "\n" << context;
    const Answer continued = fresh.Do(ContinueTo(11));
    EXPECT_TRUE(continued.ok) << "[the continue after the load was refused] " << continued << "\n" << context;
    EXPECT_EQ(fresh.Quit(), 0);
    account += round + ": " + moment + ": " + found + (leftovers.empty() ? "" : "; left: " + leftovers) +
               (continued.ok ? "" : "; the continue refused") + "\n";
  }
  std::cout << "the kills:\n" << account;
}
