// A background start killed before its run began (the started process at one of its first
// calls, or its launcher while it marks the start) leaves no time step of its own: whoever takes
// the state up next, a process that loads the project or the process that started the run, holds
// what the project records, and a "Continue" refuses, naming the newest time step. Whatever the
// moment of the kill, no time step of the new values ever follows the old run's series.
#include <gtest/gtest.h>

#include <algorithm>

#include "SharedProjectProcesses.h"

namespace {

namespace fs = std::filesystem;

// Waits (at most two minutes) until no process whose home is `home` runs, but `except`.
bool NoProcessOf(const std::string& home, int except = 0)
{
  const std::string mark = "HOME=" + home + std::string(1, '\0');
  return WaitUntil([&] {
    for (const auto& entry : fs::directory_iterator("/proc")) {
      const std::string pid = entry.path().filename().string();
      if (pid.find_first_not_of("0123456789") != std::string::npos || std::stoi(pid) == except) continue;
      if (ReadFile("/proc/" + pid + "/environ").find(mark) == std::string::npos) continue;
      const std::string stat = ReadFile("/proc/" + pid + "/stat");
      const size_t close = stat.rfind(')');
      if (close != std::string::npos && stat.size() > close + 2 && stat[close + 2] != 'Z') return false;
    }
    return true;
  });
}

std::string Trimmed(std::string text)
{
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

// The newest time step of the files, "" for none.
std::string Newest(const Files& steps) { return steps.empty() ? "" : steps.rbegin()->first.substr(0, 15); }

// A time step of the new values after one of the old run's series (a file of it byte for byte,
// beyond 0 s, where both runs start from the same release): "" when there is none.
std::string TwoRunsJoined(const Files& now, const Files& old)
{
  double lastOld = -1;
  for (const auto& [name, bytes] : now)
    if (TimeOf(name) > 0 && old.count(name) && old.at(name) == bytes) lastOld = std::max(lastOld, TimeOf(name));
  for (const auto& [name, bytes] : now)
    if (TimeOf(name) > lastOld && lastOld > 0 && !(old.count(name) && old.at(name) == bytes))
      return name + " of the new values follows the old run's " + Step(lastOld);
  return "";
}

}  // namespace

TEST(KilledStart, AStartKilledBeforeItsRunBeganLeavesWhatTheProjectRecords)
{
  // The run at 16 degrees to 10 s, its saved record set back to 4 s.
  Example base;
  Torvu(base.Path(), "setup.macro",
        ProjectMacro(10, 2) + Set(kSimulation, "BedFrictionAngle", "16") + Set(kSimulation, "Run", "") +
            Set(kSimulation, "LoadTimeStep", Step(4)) + SaveProject());
  const Files old = base.TimeSteps();
  // The values of the old run: a start under other values leaves them, since they vouch for none of
  // its own; one under the same values marks them "-".
  const std::string oldValues = Trimmed(ReadFile(base.Run() + "/.simulation_values"));
  ASSERT_EQ(Newest(old), Step(10));
  ASSERT_EQ(Recorded(base.Saved()), Step(4));
  const std::string start =
      Set(kSimulation, "BedFrictionAngle", "30") + Set(kSimulation, "EndTime", "6") + Set(kSimulation, "RunInBackground", "");

  // How many disk-changing calls the launcher makes: the last ones mark the start.
  long launcherCalls = 0;
  {
    Example dry;
    fs::copy(base / "proj", dry / "proj", fs::copy_options::recursive);
    const std::string counted = dry / "launcher.count";
    fs::create_directories(dry / "x");
    int status = -1;
    WriteFile(dry / "x/start.macro", Load() + start);
    RunProcess(TorvuOffscreen(dry / "x", TORVU_PROGRAM, TORVU_ATTRIBUTES, "start.macro < /dev/null",
                              "TORVU_FAIL_COUNT=" + ShellQuote(counted) + " "),
               &status);
    ASSERT_EQ(status, 0);
    ASSERT_TRUE(NoProcessOf(dry / "x"));
    std::istringstream lines(ReadFile(counted));
    for (long pid = 0, calls = 0; lines >> pid >> calls;) launcherCalls = calls;
    ASSERT_GT(launcherCalls, 2);
  }

  // Which process is killed before which of its calls, and who takes the state up: a process
  // that loads the project, or the one that started the run.
  struct Case {
    std::string name;
    bool launcherKilled;
    long n;
    bool sameProcess;
  };
  const std::vector<Case> kCases = {
      {"the started process at its first call, right after the launcher answered", false, 1, false},
      {"the same, taken up by the starting process", false, 1, true},
      {"the started process at its 3rd call", false, 3, false},
      {"the started process at its 5th call", false, 5, false},
      {"the started process at its 7th call, some later time steps gone", false, 7, false},
      {"the same, taken up by the starting process", false, 7, true},
      {"the started process at its 10th call", false, 10, false},
      {"the started process at its 12th call", false, 12, false},
      {"the launcher at its last but one call", true, launcherCalls - 1, false},
      {"the launcher at its last call", true, launcherCalls, false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    Example p;
    fs::copy(base / "proj", p / "proj", fs::copy_options::recursive);
    std::unique_ptr<TorvuProcess> starting;
    if (c.launcherKilled) {
      fs::create_directories(p / "x");
      WriteFile(p / "x/start.macro", Load() + start);
      RunProcess(TorvuOffscreen(p / "x", TORVU_PROGRAM, TORVU_ATTRIBUTES, "start.macro < /dev/null",
                                "TORVU_KILL_AT=" + std::to_string(c.n) + " "));
    } else {
      setenv("TORVU_KILL_STARTED_AT", std::to_string(c.n).c_str(), 1);
      starting = std::make_unique<TorvuProcess>(p / "x");
      unsetenv("TORVU_KILL_STARTED_AT");
      const Answer started = starting->Do(Load() + start);
      ASSERT_TRUE(started.ok) << started;
    }
    ASSERT_TRUE(NoProcessOf(p / "x", starting ? starting->Pid() : 0));
    const std::string values = Trimmed(ReadFile(p.Run() + "/.simulation_values"));
    const std::string status = Trimmed(ReadFile(p.Run() + "/.simulation_status"));
    const std::string recorded = Recorded(p.Saved());
    const std::string newest = Newest(p.TimeSteps());
    const std::string context =
        "status " + status + ", values " + values + ", record " + recorded + ", newest " + newest;

    std::unique_ptr<TorvuProcess> taker = c.sameProcess ? std::move(starting) : nullptr;
    if (starting) {
      EXPECT_EQ(starting->Quit(), 0);
    }
    if (!taker) {
      taker = std::make_unique<TorvuProcess>(p / "next");
      const Answer loaded = taker->Do(Load());
      EXPECT_TRUE(loaded.ok) << loaded;
    }
    // The starting process takes its state back at the "Continue".
    std::string holds = taker->Get(kSimulation, "CurrentTimeStep");
    const Answer continued = taker->Do(ContinueTo(12));
    if (c.sameProcess && !continued.ok) holds = taker->Get(kSimulation, "CurrentTimeStep");
    const std::string log = taker->Log();
    EXPECT_EQ(taker->Quit(), 0);

    if (values == "-" || values == oldValues) {
      // Nothing of the start's own: the state the project records, and a load that ends the start
      // says why.
      if (!c.sameProcess || !continued.ok) {
        EXPECT_EQ(holds, recorded) << context << "\n" << Gist(log);
      }
      if (!c.sameProcess && status == "started") {
        EXPECT_TRUE(Contains(log, "INFO: Viewer/Project/Simulations/A: its run did not finish, its process is gone: "
                                  "its start never ran, no time step there is its own: the simulation holds "))
            << context << "\n" << Gist(log);
      }
      if (!newest.empty() && TimeOf(newest) > (recorded.empty() ? 0.0 : TimeOf(recorded))) {
        EXPECT_TRUE(!continued.ok && Contains(continued, "older than the newest time step of its run directory, " +
                                                             newest + ": \"LoadTimeStep\" " + newest))
            << context << "\n" << continued;
      }
    }
    EXPECT_EQ(TwoRunsJoined(p.TimeSteps(), old), "") << context << "\n" << continued;
    if (c.n == 1 && !c.launcherKilled) {
      // The start never came near the files: all of them as they were.
      EXPECT_EQ(values, oldValues);
      EXPECT_EQ(holds, Step(4));
      ExpectSameFiles(p.TimeSteps(), old, context);
      EXPECT_EQ(Recorded(p.Saved()), Step(4));
    }
  }
}
