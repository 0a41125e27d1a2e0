// Every writer with each of its calls that change the disk failed in turn: a dry run counts the
// calls of the command (TORVU_FAIL_COUNT), then the command runs again once for every N with its
// Nth call failed (TORVU_FAIL_AT, and TORVU_FAIL_STARTED_AT for the process a background start
// runs), each in a fresh copy of a small project, a few side by side. After each, a fresh process
// loads the project, and the test checks that the command answered the failure or left what it
// was asked for; that no run directory holds time steps of two runs; that no saved record names
// a time step that is not there; that no lock stays held for nothing; and that no start is left
// "started" after its process is gone.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ExampleTerrain.h"
#include "SharedProjectProcesses.h"
#include "TestSupport.h"

namespace {

namespace fs = std::filesystem;

// The projects a writer may touch, below the directory of a try.
const std::vector<std::string> kProjects = {"proj", "proj2", "proj3"};

// A directory that a deletion set aside ("A.~removing"): no simulation any more, whatever it holds.
bool SetAside(const fs::path& path) { return path.filename().string().find(".~") != std::string::npos; }

// A run directory's time steps, by project and simulation ("proj/A").
using Series = std::map<std::string, Files>;

// The simulations of every project below `dir` that hold a saved simulation, with their time steps.
Series SeriesIn(const std::string& dir)
{
  Series series;
  for (const std::string& project : kProjects) {
    const std::string simulations = dir + "/" + project + "/Project/Simulations";
    if (!fs::is_directory(simulations)) continue;
    for (const auto& entry : fs::directory_iterator(simulations))
      if (!SetAside(entry.path()) && fs::exists(entry.path() / "ShallowWaterSimulation.atr"))
        series[project + "/" + entry.path().filename().string()] = TimeStepContents(entry.path().string());
  }
  return series;
}

// True when every file of `part` stands in `whole` with the same content.
bool Within(const Files& part, const Files& whole)
{
  for (const auto& [name, bytes] : part)
    if (!whole.count(name) || whole.at(name) != bytes) return false;
  return true;
}

std::string Names(const Files& files)
{
  std::string names;
  for (const auto& entry : files) names += entry.first.substr(0, 15) + " ";
  return names;
}

// The id of the process that the run lock of a run directory names, 0 when none.
int LockHolder(const std::string& run)
{
  return fs::exists(run + "/.simulation_lock") ? std::atoi(ReadFile(run + "/.simulation_lock").c_str()) : 0;
}
bool Alive(int pid) { return pid > 0 && (kill(pid, 0) == 0 || errno == EPERM); }

// The run lock of a run directory below `dir` held by a live process (its path and id), or "".
std::string LiveLock(const std::string& dir)
{
  for (const std::string& project : kProjects) {
    const std::string simulations = dir + "/" + project + "/Project/Simulations";
    if (!fs::is_directory(simulations)) continue;
    for (const auto& entry : fs::directory_iterator(simulations)) {
      if (SetAside(entry.path())) continue;
      const int holder = LockHolder(entry.path().string());
      if (Alive(holder))
        return project + "/" + entry.path().filename().string() + " held by " + std::to_string(holder);
    }
  }
  return "";
}

// The statuses "started" below `dir` (a start whose process is gone leaves none).
std::string StartedLeft(const std::string& dir)
{
  std::string left;
  for (const std::string& project : kProjects) {
    const std::string simulations = dir + "/" + project + "/Project/Simulations";
    if (!fs::is_directory(simulations)) continue;
    for (const auto& entry : fs::directory_iterator(simulations))
      if (ReadFile((entry.path() / ".simulation_status").string()) == "started\n")
        left += project + "/" + entry.path().filename().string() + " ";
  }
  return left;
}

// Waits (at most a minute) until no process started from the home `home` runs any more (a
// started run is over; a killed one that nobody reaps is a zombie); false when one still does.
bool WaitForNoProcessOf(const std::string& home)
{
  const std::string mark = "HOME=" + home + std::string(1, '\0');
  for (int i = 0; i < 6000; ++i) {
    bool running = false;
    for (const auto& entry : fs::directory_iterator("/proc")) {
      const std::string pid = entry.path().filename().string();
      if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
      if (ReadFile("/proc/" + pid + "/environ").find(mark) == std::string::npos) continue;
      const std::string stat = ReadFile("/proc/" + pid + "/stat");
      const size_t close = stat.rfind(')');
      if (close != std::string::npos && stat.size() > close + 2 && stat[close + 2] != 'Z') running = true;
    }
    if (!running) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

// The lines of the failure hook in a log ("torvu: failing call N: KIND PATH"), the directory of the
// try cut from the paths.
std::string FailedCalls(const std::string& log, const std::string& dir)
{
  std::string calls, line;
  for (std::istringstream lines(log); std::getline(lines, line);)
    if (line.rfind("torvu: failing call ", 0) == 0) {
      for (size_t at; (at = line.find(dir + "/")) != std::string::npos;) line.erase(at, dir.size() + 1);
      calls += line.substr(7) + "; ";
    }
  return calls.empty() ? "no call failed; " : calls;
}

// The environment of the processes a test starts, set only while one is started.
std::mutex g_environment;

std::unique_ptr<TorvuProcess> StartWith(const std::string& dir, const std::vector<std::pair<std::string, std::string>>& hook)
{
  std::lock_guard<std::mutex> guard(g_environment);
  for (const auto& [name, value] : hook) setenv(name.c_str(), value.c_str(), 1);
  auto process = std::make_unique<TorvuProcess>(dir);
  for (const auto& [name, value] : hook) unsetenv(name.c_str());
  return process;
}

// The number on the last line of a count file ("<pid> <calls>"); -1 when none.
long CountIn(const std::string& file)
{
  std::istringstream lines(ReadFile(file));
  long pid = 0, calls = -1, last = -1;
  while (lines >> pid >> calls) last = calls;
  return last;
}

// One writer: the commands it runs after the load of `project` (a path below the try's directory)
// and the prepared state it starts from.
struct Writer {
  Writer(std::string name, std::string prepared, std::string commands, bool background = false, std::string target = "")
      : name(std::move(name)), prepared(std::move(prepared)), commands(std::move(commands)), background(background),
        target(std::move(target))
  {
  }
  std::string name;
  std::string prepared;  // the directory below the prepared states
  std::string commands;  // "" for a load alone
  bool background;
  std::string target;  // the other project it writes, "" for none
};

// What one try (or the dry run) left: the answer and what the fresh load found.
struct Outcome {
  Answer answer;
  std::string calls;  // what the hook failed
  std::vector<std::string> faults;
  Series after;  // after the fresh load
};

// Runs the writer in a fresh copy of its prepared state under `dir` with the hook given, then
// loads the copy in a fresh process and checks what both left. `before` and `done` are the series
// before the writer and after it ran whole (empty for the dry run, which makes them).
Outcome Try(const Writer& writer, const std::string& prepared, const std::string& dir,
            const std::vector<std::pair<std::string, std::string>>& hook, const Series& before, const Series& done,
            bool started)
{
  Outcome outcome;
  fs::remove_all(dir);
  fs::create_directories(dir);
  fs::copy(prepared, dir, fs::copy_options::recursive);
  const auto fault = [&](const std::string& what) { outcome.faults.push_back(what); };
  {
    auto x = StartWith(dir + "/x", hook);
    outcome.answer = x->Do(Load(dir + "/proj") + writer.commands);
    // The command answered success: no lock may name its process any more. (One that answered
    // that its lock cannot be removed leaves it to the next taker.)
    for (const std::string& project : kProjects)
      if (outcome.answer.ok && fs::is_directory(dir + "/" + project + "/Project/Simulations"))
        for (const auto& entry : fs::directory_iterator(dir + "/" + project + "/Project/Simulations"))
          if (!SetAside(entry.path()) && LockHolder(entry.path().string()) == x->Pid())
            fault("the lock of " + project + "/" + entry.path().filename().string() +
                  " still names the process after its command answered");
    if (x->Quit() != 0) fault("the process did not exit cleanly");
    outcome.calls = FailedCalls(x->Log(), dir);
  }
  if (writer.background && !WaitForNoProcessOf(dir + "/x")) fault("the started process still runs a minute later");
  for (const auto& entry : fs::recursive_directory_iterator(dir))
    if (entry.path().filename() == "torvu.log" || entry.path().filename() == "start.log")
      if (entry.path().parent_path() != fs::path(dir + "/x")) outcome.calls += FailedCalls(ReadFile(entry.path().string()), dir);
  const std::string startedLeft = StartedLeft(dir);
  if (!startedLeft.empty()) fault("a start is left \"started\" with no process: " + startedLeft);

  auto check = StartWith(dir + "/check", {});
  const Answer loaded = check->Do(Load(dir + "/proj"));
  if (!loaded.ok) fault("the next load failed: " + loaded.text.substr(0, 300));
  // A copy into another project is finished there by the next load of that project.
  if (!writer.target.empty() && fs::exists(dir + "/" + writer.target)) {
    // A save into a new directory that failed leaves none, but where its copy stays marked for the
    // next taker to finish, or where all of it was saved and only its lock could not go.
    const bool made = !fs::exists(prepared + "/" + writer.target);
    if (made && !outcome.answer.ok && !Contains(outcome.answer.text, "the copy stays marked") &&
        !Contains(outcome.answer.text, "the next process that takes it takes it over"))
      fault("a failed save into a new directory left " + writer.target);
    const Answer target = check->Do(Load(dir + "/" + writer.target));
    if (!target.ok) fault("the next load of " + writer.target + " failed: " + target.text.substr(0, 300));
  }
  const std::string held = LiveLock(dir);
  if (!held.empty())
    fault("after the next load a run lock is " + held + " (the loading process is " + std::to_string(check->Pid()) + ")");
  outcome.after = SeriesIn(dir);
  for (const auto& [run, steps] : outcome.after) {
    if (!RecordIsThere(dir + "/" + run.substr(0, run.find('/')) + "/Project/Simulations/" + run.substr(run.find('/') + 1)))
      fault(run + ": the saved record names a time step that is not there");
    if (done.empty()) continue;
    const bool old = before.count(run) && Within(steps, before.at(run));
    const bool anew = done.count(run) && Within(steps, done.at(run));
    if (!old && !anew)
      fault(run + ": time steps of two runs (or of none): " + Names(steps) +
            (before.count(run) ? "" : "; the directory was not there before"));
  }
  // A command that answered success did all of it (of a started process, its launcher answers
  // only for the start).
  if (outcome.answer.ok && !started && !done.empty() && outcome.after != done) {
    std::string differs;
    for (const auto& [run, steps] : done)
      if (!outcome.after.count(run)) differs += run + " is missing; ";
      else if (outcome.after.at(run) != steps)
        differs += run + " holds " + Names(outcome.after.at(run)) + "instead of " + Names(steps) + "; ";
    for (const auto& entry : outcome.after)
      if (!done.count(entry.first)) differs += entry.first + " is there; ";
    fault("answered success, but left other than a whole run of the command: " + differs);
  }
  EXPECT_EQ(check->Quit(), 0);
  return outcome;
}

// A state below `dir` made by a process killed at a window of its writer.
void KilledAt(const std::string& dir, const std::string& macro, const std::string& window)
{
  ASSERT_TRUE(KillAtWindow(dir + "/killed", macro, window)) << ReadFile(dir + "/killed/torvu.log");
  fs::remove_all(dir + "/killed");
}

}  // namespace

TEST(FailEachOperation, EveryWriterAnswersEachFailedCallOrDoesItAll)
{
  Example p;
  const std::string base = p / "base";
  // proj: A run under 16 degrees to 6 s with an output every second; proj2, a copy of it, run anew
  // under 30 degrees to 4 s: two runs that no time step of the same name shares.
  fs::create_directories(base);
  CopyExampleTerrain(base);
  Torvu(base, "setup.macro", ProjectMacro(6, 1));
  Torvu(base, "runs.macro",
        Load("proj") + Set(kSimulation, "BedFrictionAngle", "16") + Set(kSimulation, "Run", "") + SaveProject() +
            Set("", "SaveProjectAs", "proj2") + Set(kSimulation, "BedFrictionAngle", "30") +
            Set(kSimulation, "EndTime", "4") + Set(kSimulation, "Run", "") + SaveProject());
  for (const char* file : {"slope.asc", "slope.rel", "setup.macro", "runs.macro"}) fs::remove(base + "/" + file);
  ASSERT_EQ(TimeStepContents(base + "/proj/" + kSimulation).size(), 7u);

  // The states a load takes over: a run killed while it computed, a deletion killed half-way and a
  // copy into proj killed after it staged.
  const std::string killedRun = p / "killed_run", cutDeletion = p / "cut_deletion", cutCopy = p / "cut_copy";
  for (const std::string& state : {killedRun, cutDeletion, cutCopy}) fs::copy(base, state, fs::copy_options::recursive);
  {
    WriteFile(killedRun + "/run.macro", Load(killedRun + "/proj") + Set(kSimulation, "BedFrictionAngle", "30") +
                                            Set(kSimulation, "EndTime", "600") + Set(kSimulation, "Run", ""));
    const pid_t pid = StartTorvu(killedRun, "run.macro", killedRun + "/run.log");
    ASSERT_GT(pid, 0);
    const Files old = TimeStepContents(base + "/proj/" + kSimulation);
    const std::string run = killedRun + "/proj/" + kSimulation;
    ASSERT_TRUE(WaitUntil([&] {
      const Files now = TimeStepContents(run);
      return now.count(File(8)) > 0;
    })) << ReadFile(killedRun + "/run.log");
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    ASSERT_EQ(ReadFile(run + "/.simulation_status"), "running\n");
    for (const char* file : {"run.macro", "run.log"}) fs::remove(killedRun + "/" + file);
  }
  KilledAt(cutDeletion, Load(cutDeletion + "/proj") + Set(kSimulation, "DeleteTimesteps", "except last"),
           "time steps deleting");
  ASSERT_TRUE(fs::exists(cutDeletion + "/proj/" + kSimulation + "/.simulation_removing"));
  KilledAt(cutCopy, Load(cutCopy + "/proj2") + Set("", "SaveProjectAs", cutCopy + "/proj"), "copy staged");
  ASSERT_TRUE(fs::exists(cutCopy + "/proj/" + kSimulation + "/.simulation_copying"));

  const std::string anew = Set(kSimulation, "BedFrictionAngle", "30") + Set(kSimulation, "EndTime", "4");
  const std::vector<Writer> writers = {
      {"Run over a longer series", base, anew + Set(kSimulation, "Run", "")},
      {"Continue over a longer series", base,
       Set(kSimulation, "LoadTimeStep", Step(2)) + anew + Set(kSimulation, "Continue", "")},
      {"DeleteTimesteps except last", base, Set(kSimulation, "DeleteTimesteps", "except last")},
      {"DeleteTimesteps all", base, Set(kSimulation, "DeleteTimesteps", "all")},
      {"SaveTimeStep", base, Set(kSimulation, "LoadTimeStep", Step(3)) + Set(kSimulation, "SaveTimeStep", "")},
      {"SaveProject of a changed simulation", base, Set(kSimulation, "BedFrictionAngle", "22") + SaveProject()},
      {"rename", base, Set(kSimulation, "Id", "B") + SaveProject()},
      {"DeleteComponent", base, Set("Project/Simulations", "DeleteComponent", "A") + SaveProject()},
      {"SaveProjectAs into a new directory", base, "set(\"\", \"SaveProjectAs\", \"../proj3\")\n", false, "proj3"},
      {"SaveProjectAs over a project with a run", base, "set(\"\", \"SaveProjectAs\", \"../proj2\")\n", false, "proj2"},
      {"RunInBackground", base, anew + Set(kSimulation, "RunInBackground", ""), true},
      {"load over a killed run", killedRun, ""},
      {"load over a cut deletion", cutDeletion, ""},
      {"load over a cut copy", cutCopy, ""},
  };

  struct Job {
    size_t writer;
    long n;
    bool started;
  };
  std::vector<Series> before(writers.size()), done(writers.size());
  std::vector<Job> jobs;
  std::string counts;
  // TORVU_WRITERS, when set, names the writers tried (a part of their names), for a look at a few.
  const char* only = std::getenv("TORVU_WRITERS");
  for (size_t w = 0; w < writers.size(); ++w) {
    const Writer& writer = writers[w];
    if (only && *only && writer.name.find(only) == std::string::npos) continue;
    SCOPED_TRACE(writer.name);
    const std::string dir = p / ("dry_" + std::to_string(w));
    before[w] = SeriesIn(writer.prepared);
    const std::string countFile = p / ("count_" + std::to_string(w)), startedFile = countFile + "_started";
    const Outcome dry = Try(writer, writer.prepared, dir,
                            {{"TORVU_FAIL_COUNT", countFile}, {"TORVU_FAIL_STARTED_COUNT", startedFile}}, {}, {}, false);
    EXPECT_TRUE(dry.answer.ok) << dry.answer;
    for (const std::string& f : dry.faults) ADD_FAILURE() << writer.name << ", the dry run: " << f;
    done[w] = dry.after;
    const long calls = CountIn(countFile), startedCalls = writer.background ? CountIn(startedFile) : 0;
    EXPECT_GT(calls, 0) << writer.name;
    counts += "  " + writer.name + ": " + std::to_string(calls) + " calls" +
              (writer.background ? ", the started process " + std::to_string(startedCalls) : "") + "\n";
    for (long n = 1; n <= calls; ++n) jobs.push_back({w, n, false});
    for (long n = 1; n <= startedCalls; ++n) jobs.push_back({w, n, true});
    fs::remove_all(dir);
  }
  std::cout << "calls counted by the dry runs:\n" << counts;

  std::vector<std::vector<std::string>> faults(writers.size());
  std::mutex faultsMutex;
  std::atomic<size_t> next{0};
  const auto work = [&] {
    for (size_t j; (j = next++) < jobs.size();) {
      const Job& job = jobs[j];
      const Writer& writer = writers[job.writer];
      const std::string dir = p / ("try_" + std::to_string(j));
      const std::string variable = job.started ? "TORVU_FAIL_STARTED_AT" : "TORVU_FAIL_AT";
      const Outcome tried =
          Try(writer, writer.prepared, dir, {{variable, std::to_string(job.n)}}, before[job.writer], done[job.writer],
              job.started);
      if (!tried.faults.empty()) {
        std::string line = (job.started ? "started N=" : "N=") + std::to_string(job.n) + " [" + tried.calls +
                           "answered " + (tried.answer.ok ? "ok" : "failed: " + tried.answer.text.substr(0, 200)) + "]";
        for (const std::string& f : tried.faults) line += "\n      " + f;
        std::lock_guard<std::mutex> guard(faultsMutex);
        faults[job.writer].push_back(line);
      }
      fs::remove_all(dir);
    }
  };
  std::vector<std::thread> pool;
  const int workers = std::clamp(int(std::thread::hardware_concurrency()), 2, 4);
  for (int i = 0; i < workers; ++i) pool.emplace_back(work);
  for (std::thread& t : pool) t.join();

  for (size_t w = 0; w < writers.size(); ++w) {
    if (faults[w].empty()) continue;
    std::sort(faults[w].begin(), faults[w].end(), [](const std::string& a, const std::string& b) {
      const bool sa = a.rfind("started", 0) == 0, sb = b.rfind("started", 0) == 0;
      if (sa != sb) return sb;
      return std::atol(a.c_str() + a.find('=') + 1) < std::atol(b.c_str() + b.find('=') + 1);
    });
    std::string list;
    for (const std::string& f : faults[w]) list += "\n    " + f;
    ADD_FAILURE() << writers[w].name << ": " << faults[w].size() << " failed calls not answered soundly:" << list;
  }
}
