// Runs in a second process of the program: a background run with its status and progress
// files, an interrupt written by a third process, and the batch start of the active
// simulations, whose time-step files equal those of the same runs made in line; runs that
// die or are killed leave nothing that keeps the next run from starting.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "ExampleTerrain.h"
#include "TestSupport.h"

namespace {

// Runs torvu offscreen on the macro in the directory; what it printed.
std::string Torvu(const ScratchDir& dir, const std::string& macro)
{
  int status = -1;
  std::string printed =
      RunProcess(TorvuOffscreen(dir.Path(), TORVU_PROGRAM, TORVU_ATTRIBUTES, macro + " < /dev/null"), &status);
  EXPECT_EQ(status, 0) << printed;
  return printed;
}

// Runs torvu offscreen on the macro in the directory with no file allowed to grow beyond
// `bytes`, and the signal of that limit as a process gets it from a shell (it ends a process
// that does not ignore it). What it printed; the exit status in `status` (128 + the signal
// when a signal ended it).
std::string TorvuUnderFileSizeLimit(const ScratchDir& dir, const std::string& macro, rlim_t bytes, int& status)
{
  const std::string command = TorvuOffscreen(dir.Path(), TORVU_PROGRAM, TORVU_ATTRIBUTES, macro + " < /dev/null");
  int out[2];
  if (pipe(out) != 0) return "no pipe";
  const pid_t child = fork();
  if (child == 0) {
    dup2(out[1], 1);
    dup2(out[1], 2);
    close(out[0]);
    close(out[1]);
    signal(SIGXFSZ, SIG_DFL);
    rlimit limit;
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
    execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  std::string printed;
  char buffer[4096];
  for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) != 0;)
    if (n > 0) printed.append(buffer, size_t(n));
    else if (errno != EINTR) break;
  close(out[0]);
  int raw = 0;
  while (waitpid(child, &raw, 0) < 0 && errno == EINTR) {
  }
  status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  return printed;
}

std::string Status(const std::string& run)
{
  std::string word = ReadFile(run + "/.simulation_status");
  return word.empty() ? "none" : word.substr(0, word.find('\n'));
}

// Polls the status file until it reads `wanted` (at most two minutes); every word seen, in order.
std::vector<std::string> WaitFor(const std::string& run, const std::string& wanted)
{
  std::vector<std::string> seen;
  const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(2);
  while (std::chrono::steady_clock::now() < end) {
    const std::string word = Status(run);
    if (seen.empty() || seen.back() != word) seen.push_back(word);
    if (word == wanted) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return seen;
}

// Polls the run's "start.log" until it holds the text (at most a minute).
bool LogShows(const std::string& run, const std::string& text)
{
  const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  while (ReadFile(run + "/start.log").find(text) == std::string::npos) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

std::set<std::string> TimeSteps(const std::string& run)
{
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(run))
    if (entry.path().extension() == ".TimeStep") names.insert(entry.path().filename().string());
  return names;
}

// The example terrain with two simulations of its release area, saved as the project "proj":
// A1 and A2 differ in their bed friction; both run 10 s with an output every 5 s.
struct TwoSimulations {
  ScratchDir dir;
  TwoSimulations()
  {
    CopyExampleTerrain(dir.Path());
    std::string macro = ImportExampleAsProject();
    for (const char* id : {"A1", "A2"}) {
      const std::string sim = std::string("Project/Simulations/") + id;
      macro += "set(\"Project/Simulations\", \"CreateSimulation\", \"" + std::string(id) + "\")\n"
               "set(\"" + sim + "/ReleaseAreas\", \"AppendAllObjectsOfType\", \"ReleaseArea\")\n"
               "set(\"" + sim + "\", \"EndTime\", \"10\")\n";
    }
    macro += "set(\"Project/Simulations/A2\", \"BedFrictionAngle\", \"20\")\n"
             "set(\"Project\", \"SaveProject\", \"\")\n";
    dir.Write("setup.macro", macro);
    Torvu(dir, "setup.macro");
  }
  std::string Run(const char* id) const { return dir / ("proj/Project/Simulations/" + std::string(id)); }
  // A macro that opens the project and sends one command to a simulation, then saves.
  std::string Command(const char* id, const char* command, const char* value = "") const
  {
    const std::string name = std::string(command) + "_" + id + ".macro";
    dir.Write(name, "set(\"\", \"ProjectDir\", \"proj\")\n"
                    "set(\"Project/Simulations/" + std::string(id) + "\", \"" + command + "\", \"" + value + "\")\n"
                    "set(\"Project\", \"SaveProject\", \"\")\n");
    return name;
  }
};

}  // namespace

TEST(BackgroundRuns, StatusGoesFromStartedToFinishedAndAThirdProcessInterrupts)
{
  TwoSimulations p;
  Torvu(p.dir, p.Command("A2", "EndTime", "100000"));  // long enough to be interrupted
  Torvu(p.dir, p.Command("A1", "RunInBackground"));
  const std::vector<std::string> seen = WaitFor(p.Run("A1"), "finished");
  ASSERT_EQ(seen.back(), "finished");
  // The start writes "started", the run "running" and then "finished"; a short run may be
  // done before the first look.
  const std::vector<std::string> order = {"started", "running", "finished"};
  size_t at = 0;
  for (const std::string& word : seen) {
    while (at < order.size() && order[at] != word) ++at;
    EXPECT_LT(at, order.size()) << word;
  }
  EXPECT_EQ(ReadFile(p.Run("A1") + "/.simulation_info").rfind("at time 10 s, run time h:m:s ", 0), 0u) << ReadFile(p.Run("A1") + "/.simulation_info");
  EXPECT_EQ(TimeSteps(p.Run("A1")), (std::set<std::string>{"at_0000000.0000.TimeStep", "at_0000005.0000.TimeStep",
                                                            "at_0000010.0000.TimeStep"}));
  // The last message follows the status; the process writes its log out when it ends.
  EXPECT_TRUE(LogShows(p.Run("A1"), "simulation A1 terminated; CPU time"));

  Torvu(p.dir, p.Command("A2", "RunInBackground"));
  ASSERT_EQ(WaitFor(p.Run("A2"), "running").back(), "running");
  Torvu(p.dir, p.Command("A2", "Interrupt"));
  ASSERT_EQ(WaitFor(p.Run("A2"), "finished").back(), "finished");
  EXPECT_TRUE(LogShows(p.Run("A2"), "simulation A2 terminated"));
  // Stopped long before its end time: the last output is that of the interrupted step.
  EXPECT_EQ(TimeSteps(p.Run("A2")).count("at_0100000.0000.TimeStep"), 0u);
  EXPECT_EQ(ReadFile(p.Run("A2") + "/.simulation_info").rfind("at time ", 0), 0u);
}

TEST(BackgroundRuns, BatchStartOfTheActiveSimulationsEqualsRunsInLine)
{
  TwoSimulations batch, inline_;
  batch.dir.Write("start.macro", "set(\"\", \"ProjectDir\", \"proj\")\n"
                                 "set(\"Project\", \"LoadProject\", \"\")\n"
                                 "set(\"Project/Simulations\", \"StartActive\", \"\")\n");
  Torvu(batch.dir, "start.macro");
  EXPECT_TRUE(std::filesystem::exists(batch.dir / "proj/Project/Simulations/batch.bat"));
  for (const char* id : {"A1", "A2"}) {
    Torvu(inline_.dir, inline_.Command(id, "Run"));
    ASSERT_EQ(WaitFor(batch.Run(id), "finished").back(), "finished") << id;
  }
  for (const char* id : {"A1", "A2"}) {
    const std::set<std::string> steps = TimeSteps(inline_.Run(id));
    EXPECT_EQ(steps.size(), 3u) << id;
    ASSERT_EQ(TimeSteps(batch.Run(id)), steps) << id;
    for (const std::string& name : steps)
      EXPECT_TRUE(ReadFile(batch.Run(id) + "/" + name) == ReadFile(inline_.Run(id) + "/" + name)) << id << " " << name;
  }
  // The two runs differ in their friction, so their last time steps differ too.
  EXPECT_NE(ReadFile(batch.Run("A1") + "/at_0000010.0000.TimeStep"),
            ReadFile(batch.Run("A2") + "/at_0000010.0000.TimeStep"));
}

// Two batch starts in one project, the second before the first one's shell has read its
// batch: one after the other in one process, and at the same moment in two. Each runs its own
// simulation to its end.
TEST(BackgroundRuns, BatchStartsInOneProjectEachRunTheirOwnSimulations)
{
  const auto startOnly = [](const char* id) {
    const std::string other = std::string("Project/Simulations/") + (std::string(id) == "A1" ? "A2" : "A1");
    return "set(\"Project/Simulations/" + std::string(id) + "\", \"Active\", \"1\")\n"
           "set(\"" + other + "\", \"Active\", \"0\")\n"
           "set(\"Project/Simulations\", \"StartActive\", \"\")\n";
  };
  const std::string open = "set(\"\", \"ProjectDir\", \"proj\")\n"
                           "set(\"Project\", \"LoadProject\", \"\")\n"
                           "set(\"Project/Simulations/A1\", \"$autosave\", \"0\")\n"
                           "set(\"Project/Simulations/A2\", \"$autosave\", \"0\")\n";
  for (const bool atOnce : {false, true}) {
    SCOPED_TRACE(atOnce ? "two processes at once" : "one after the other");
    TwoSimulations p;
    for (const char* id : {"A1", "A2"}) Torvu(p.dir, p.Command(id, "EndTime", "1"));
    if (atOnce) {
      p.dir.Write("one.macro", open + startOnly("A1"));
      p.dir.Write("two.macro", open + startOnly("A2"));
      std::thread other([&] { Torvu(p.dir, "two.macro"); });
      Torvu(p.dir, "one.macro");
      other.join();
    } else {
      p.dir.Write("both.macro", open + startOnly("A1") + startOnly("A2"));
      Torvu(p.dir, "both.macro");
    }
    for (const char* id : {"A1", "A2"}) {
      ASSERT_EQ(WaitFor(p.Run(id), "finished").back(), "finished") << id;
      EXPECT_TRUE(LogShows(p.Run(id), "simulation " + std::string(id) + " terminated")) << id;
      EXPECT_EQ(TimeSteps(p.Run(id)), (std::set<std::string>{"at_0000000.0000.TimeStep", "at_0000001.0000.TimeStep"}))
          << id;
    }
  }
}

namespace {

// A stop message with quotes, backslashes, blanks, a "%" escape and the list separator: it
// reaches the second process as it is.
const std::string kHalt = "say \"hi\" \\ 50% %%q %AK_SEP% $halt";
const std::string kHaltInMacro = "say %%qhi%%q \\\\ 50% \\%%q %AK_SEP% $halt";

// Simulations of the example's release that only their "$" variables set apart, a point
// source without release areas, and the plain runs they differ from.
struct VariableSetUp {
  const char* id;
  std::vector<std::pair<std::string, std::string>> attributes;  // saved with the project
  std::vector<std::pair<std::string, std::string>> variables;
  const char* plain;  // the run without the variables whose results differ, or none
};

const std::vector<VariableSetUp>& VariableSetUps()
{
  static const std::vector<VariableSetUp> setUps = {
      {"Compat", {}, {{"$compat", "v2017"}}, "Plain"},
      {"Diffusion", {{"SphMode", "1"}}, {{"$sph_diffusion_coefficient", "0.5"}, {"$sph_diffusion_implicit", "1"}}, "PlainSph"},
      {"Cohesion", {{"SphMode", "1"}}, {{"$cohesiveSurfaceTension", "10"}}, "PlainSph"},
      {"Source",
       {{"MassPerParticleDeterminationMethod", "direct"}, {"MassPerParticle", "200"}},
       {{"$source_strength", "20000"}, {"$source_duration", "1"}, {"$source_radius", "10"},
        {"$source_point", "10200 20250"}, {"$source_velo", "3"}, {"$source_velo_ang", "80"}},
       nullptr},
      {"Stop", {}, {{"$stop_crit", "\\$halt"}, {"$halt", kHaltInMacro}}, nullptr},
      {"Plain", {}, {}, nullptr},
      {"PlainSph", {{"SphMode", "1"}}, {}, nullptr},
  };
  return setUps;
}

// Set commands on one simulation.
std::string SetOn(const char* id, const std::vector<std::pair<std::string, std::string>>& values)
{
  std::string lines;
  for (const auto& [name, value] : values)
    lines += "set(\"Project/Simulations/" + std::string(id) + "\", \"" + name + "\", \"" + value + "\")\n";
  return lines;
}

// The example terrain with the simulations above, saved as the project "proj" (2 s, an output
// every second); their variables are set by every macro that starts them.
struct VariablesProject {
  ScratchDir dir;
  VariablesProject()
  {
    CopyExampleTerrain(dir.Path());
    std::string macro = ImportExampleAsProject();
    for (const VariableSetUp& s : VariableSetUps()) {
      macro += "set(\"Project/Simulations\", \"CreateSimulation\", \"" + std::string(s.id) + "\")\n";
      if (std::string(s.id) != "Source")
        macro += "set(\"" + Path(s.id) + "/ReleaseAreas\", \"AppendAllObjectsOfType\", \"ReleaseArea\")\n";
      macro += SetOn(s.id, {{"EndTime", "2"}, {"DeltaOut", "1"}}) + SetOn(s.id, s.attributes);
    }
    dir.Write("setup.macro", macro + "set(\"Project\", \"SaveProject\", \"\")\n");
    Torvu(dir, "setup.macro");
  }
  static std::string Path(const char* id) { return "Project/Simulations/" + std::string(id); }
  std::string Run(const char* id) const { return dir / ("proj/" + Path(id)); }
  // Opens the project and sets every simulation's variables (and "$autosave" "0"), then the
  // commands; what the program printed.
  std::string Start(const std::string& commands) const
  {
    std::string macro = "set(\"\", \"ProjectDir\", \"proj\")\nset(\"Project\", \"LoadProject\", \"\")\n";
    for (const VariableSetUp& s : VariableSetUps()) macro += SetOn(s.id, {{"$autosave", "0"}}) + SetOn(s.id, s.variables);
    dir.Write("start_runs.macro", macro + commands);
    return Torvu(dir, "start_runs.macro");
  }
};

}  // namespace

// The "$" variables of a simulation reach the process that a background or batch start runs
// it in: its time-step files are those of the run in the foreground, byte for byte, for the
// model's switches, a point source alone, and a stop criterion (whose message arrives as it is).
TEST(BackgroundRuns, BackgroundAndBatchStartsRunWithTheSimulationsVariables)
{
  VariablesProject foreground, background, batch;
  std::string runs, starts, deactivate;
  for (const VariableSetUp& s : VariableSetUps()) {
    runs += SetOn(s.id, {{"Run", ""}});
    if (std::string(s.id).rfind("Plain", 0) == 0)
      deactivate += SetOn(s.id, {{"Active", "0"}});
    else
      starts += SetOn(s.id, {{"RunInBackground", ""}});
  }
  const std::string printed = foreground.Start(runs);
  EXPECT_NE(printed.find("simulation Stop STOPPED:\n" + kHalt), std::string::npos) << printed;
  background.Start(starts);
  batch.Start(deactivate + "set(\"Project/Simulations\", \"StartActive\", \"\")\n");
  for (const VariableSetUp& s : VariableSetUps()) {
    const std::set<std::string> steps = TimeSteps(foreground.Run(s.id));
    const bool stops = std::string(s.id) == "Stop";
    const std::string stop = stops ? "at_0000000.2000.TimeStep" : "at_0000002.0000.TimeStep";
    std::set<std::string> expected = {"at_0000000.0000.TimeStep", stop};
    if (!stops) expected.insert("at_0000001.0000.TimeStep");
    EXPECT_EQ(steps, expected) << s.id;
    ASSERT_EQ(steps.count(stop), 1u) << s.id;
    // The variables change the run: without them it comes out otherwise.
    if (s.plain) {
      EXPECT_NE(ReadFile(foreground.Run(s.id) + "/" + stop), ReadFile(foreground.Run(s.plain) + "/" + stop)) << s.id;
    }
    if (std::string(s.id).rfind("Plain", 0) == 0) continue;
    for (const VariablesProject* started : {&background, &batch}) {
      const char* how = started == &background ? "RunInBackground" : "StartActive";
      ASSERT_EQ(WaitFor(started->Run(s.id), "finished").back(), "finished") << s.id << " " << how;
      EXPECT_TRUE(LogShows(started->Run(s.id), "simulation " + std::string(s.id) + " terminated")) << s.id << " " << how;
      EXPECT_EQ(TimeSteps(started->Run(s.id)), steps) << s.id << " " << how;
      for (const std::string& name : steps)
        EXPECT_TRUE(ReadFile(started->Run(s.id) + "/" + name) == ReadFile(foreground.Run(s.id) + "/" + name))
            << s.id << " " << how << " " << name;
      if (std::string(s.id) == "Stop") {
        EXPECT_NE(ReadFile(started->Run(s.id) + "/start.log").find("simulation Stop STOPPED:\n" + kHalt), std::string::npos)
            << how;
      }
    }
  }
  // A continued run in the background gets the restart file of the flow above as well (none
  // here), set before "Continue".
  const std::string compat = background.Run("Compat");
  background.dir.Write("continue.macro", "set(\"\", \"ProjectDir\", \"proj\")\nset(\"Project\", \"LoadProject\", \"\")\n" +
                                             SetOn("Compat", {{"EndTime", "3"}, {"ContinueInBackground", ""}}));
  Torvu(background.dir, "continue.macro");
  const std::string macro = ReadFile(compat + "/start.macro");
  const std::string last = "set(\"Project/Simulations/Compat\", \"Continue\", \"\")\n";
  const size_t restart = macro.find("\nset(\"Project/Simulations/Compat\", \"$psaRestartFile\", \"\")\n");
  EXPECT_TRUE(restart != std::string::npos && macro.size() > last.size() &&
              macro.substr(macro.size() - last.size()) == last && restart < macro.size() - last.size())
      << macro;
  for (int i = 0; i < 24000 && !(TimeSteps(compat).count("at_0000003.0000.TimeStep") && Status(compat) == "finished"); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(Status(compat), "finished");
  EXPECT_EQ(TimeSteps(compat).count("at_0000003.0000.TimeStep"), 1u);
}

TEST(BackgroundRuns, AStartWhoseProjectDoesNotLoadIsRefusedWithItsReason)
{
  TwoSimulations p;
  // The terrain's record cut short: the project does not load whole, and the start is
  // refused with the reason by the process that would start it, which starts nothing.
  const std::string mesh = p.dir / "proj/Project/DHMs/slope_simulation/DHM.dat";
  const std::string record = ReadFile(mesh);
  ASSERT_GT(record.size(), 2000u);
  WriteFile(mesh, record.substr(0, 2000));
  const auto files = [&] {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(p.Run("A1")))
      if (entry.is_regular_file()) files[entry.path().filename().string()] = ReadFile(entry.path().string());
    return files;
  };
  const std::map<std::string, std::string> before = files();
  const std::string printed = RunProcess(
      TorvuOffscreen(p.dir.Path(), TORVU_PROGRAM, TORVU_ATTRIBUTES, p.Command("A1", "RunInBackground") + " < /dev/null 2>&1"));
  EXPECT_NE(printed.find("Viewer/Project/Simulations/A1: not run: what it reads was loaded with errors: cannot load data "
                         "for Viewer/Project/DHMs/slope_simulation"),
            std::string::npos)
      << printed;
  EXPECT_TRUE(files() == before) << "a file of its run directory changed";
  EXPECT_EQ(ReadFile(mesh), record.substr(0, 2000));  // the damaged file is left as it is
}

// While a run of a simulation goes on in the background, a foreground "Run" of it is refused
// and leaves the background's files alone; of two background starts at the same moment one
// starts and the other is refused.
TEST(BackgroundRuns, OneRunOfASimulationAtATime)
{
  TwoSimulations p;
  Torvu(p.dir, p.Command("A2", "EndTime", "100000"));
  Torvu(p.dir, p.Command("A2", "RunInBackground"));
  ASSERT_EQ(WaitFor(p.Run("A2"), "running").back(), "running");
  // The foreground run would write the 0 s file anew and remove the later ones.
  const std::string first = ReadFile(p.Run("A2") + "/at_0000000.0000.TimeStep");
  p.dir.Write("status.macro", "set(\"\", \"ProjectDir\", \"proj\")\n"
                              "set(\"Project/Simulations/A2\", \"LoadProject\", \"\")\n"
                              "set(\"Project/Simulations/A2\", \"Run\", \"\")\n");
  const std::string refused = Torvu(p.dir, "status.macro");
  EXPECT_NE(refused.find("Project/Simulations/A2: not started, a run of this simulation is going on in process "),
            std::string::npos)
      << refused;
  EXPECT_EQ(refused.find("running simulation A2"), std::string::npos);
  EXPECT_TRUE(ReadFile(p.Run("A2") + "/at_0000000.0000.TimeStep") == first);
  Torvu(p.dir, p.Command("A2", "Interrupt"));
  ASSERT_EQ(WaitFor(p.Run("A2"), "finished").back(), "finished");
  EXPECT_EQ(ReadFile(p.Run("A2") + "/start.log").find("not started"), std::string::npos);

  // Two starts at once, each in a process of its own.
  const std::string start = p.Command("A1", "RunInBackground");
  std::string printed[2];
  std::thread other([&] { printed[1] = Torvu(p.dir, start); });
  printed[0] = Torvu(p.dir, start);
  other.join();
  int started = 0;
  for (const std::string& out : printed)
    if (out.find("\nstarted '") != std::string::npos || out.rfind("started '", 0) == 0) ++started;
  EXPECT_EQ(started, 1) << printed[0] << "\n----\n" << printed[1];
  ASSERT_EQ(WaitFor(p.Run("A1"), "finished").back(), "finished");
  EXPECT_EQ(TimeSteps(p.Run("A1")).size(), 3u);
  // Every run lets its lock go (the process ends a moment after its status says "finished").
  for (const char* id : {"A1", "A2"}) {
    const std::string lock = p.Run(id) + "/.simulation_lock";
    for (int i = 0; i < 2000 && std::filesystem::exists(lock); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_FALSE(std::filesystem::exists(lock)) << id;
  }
}

// A run that reaches the file-size limit of its process ends as on a full disk: the process
// exits normally, the status says "finished", the info file names the reason, and neither the
// run lock nor a half-written time step is left behind.
TEST(BackgroundRuns, AFileSizeLimitEndsTheRunWithItsReason)
{
  TwoSimulations p;
  p.dir.Write("run.macro", "set(\"\", \"ProjectDir\", \"proj\")\n"
                           "set(\"Project/Simulations/A1\", \"LoadProject\", \"\")\n"
                           "set(\"Project/Simulations/A1\", \"Run\", \"\")\n");
  int status = -1;
  const std::string printed = TorvuUnderFileSizeLimit(p.dir, "run.macro", 4096, status);
  EXPECT_EQ(status, 0) << printed.substr(0, 4000);
  EXPECT_EQ(Status(p.Run("A1")), "finished");
  const std::string info = ReadFile(p.Run("A1") + "/.simulation_info");
  EXPECT_EQ(info.rfind("stopped at time 0 s: the time step file ", 0), 0u) << info;
  EXPECT_NE(info.find("could not be written: Viewer/Project/Simulations/A1 cannot save timestep data: File too large\n"),
            std::string::npos)
      << info;
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(p.Run("A1"))) {
    const std::string name = entry.path().filename().string();
    if (name == ".simulation_lock" || name.find(".TimeStep") != std::string::npos) left.push_back(name);
  }
  EXPECT_TRUE(left.empty()) << left.front();
}

// A run that was killed leaves its status "running" and its lock: neither keeps a background
// start from going ahead, which says what it took over.
TEST(BackgroundRuns, AStartOverAKilledRunGoesAhead)
{
  TwoSimulations p;
  struct Left {
    const char* lock;  // nullptr: none
    const char* warning;
  } killed[] = {
      {"1073741000\n", "WARNING: Viewer/Project/Simulations/A1: the run lock of process 1073741000, which is gone, is taken over"},
      {nullptr, "WARNING: Viewer/Project/Simulations/A1: the status \"running\" of a run that is gone is disregarded"},
  };
  for (const Left& k : killed) {
    SCOPED_TRACE(k.warning);
    WriteFile(p.Run("A1") + "/.simulation_status", "running\n");
    if (k.lock) WriteFile(p.Run("A1") + "/.simulation_lock", k.lock);
    const std::string printed = Torvu(p.dir, p.Command("A1", "RunInBackground"));
    EXPECT_NE(printed.find(k.warning), std::string::npos) << printed;
    EXPECT_NE(printed.find("\nstarted '"), std::string::npos) << printed;
    ASSERT_EQ(WaitFor(p.Run("A1"), "finished").back(), "finished");
    EXPECT_TRUE(LogShows(p.Run("A1"), "simulation A1 terminated"));
    EXPECT_EQ(TimeSteps(p.Run("A1")).size(), 3u);
    const std::string lock = p.Run("A1") + "/.simulation_lock";
    for (int i = 0; i < 2000 && std::filesystem::exists(lock); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_FALSE(std::filesystem::exists(lock));
  }
}

// A run that the second process of a batch start refuses (its project on disk holds what
// this process no longer does) ends "finished" there with its own reason, over the status of
// an earlier run.
TEST(BackgroundRuns, ARunRefusedInTheSecondProcessSaysWhy)
{
  TwoSimulations p;
  Torvu(p.dir, p.Command("A1", "SphMode", "-20000"));
  WriteFile(p.Run("A1") + "/.simulation_info", "at time 10 s, run time h:m:s 0:0:1\n");
  p.dir.Write("start.macro", "set(\"\", \"ProjectDir\", \"proj\")\n"
                             "set(\"Project\", \"LoadProject\", \"\")\n"
                             "set(\"Project/Simulations/A1\", \"$autosave\", \"0\")\n"
                             "set(\"Project/Simulations/A2\", \"$autosave\", \"0\")\n"
                             "set(\"Project/Simulations/A1\", \"SphMode\", \"1\")\n"
                             "set(\"Project/Simulations\", \"StartActive\", \"\")\n");
  Torvu(p.dir, "start.macro");
  ASSERT_EQ(WaitFor(p.Run("A2"), "finished").back(), "finished");
  EXPECT_TRUE(LogShows(p.Run("A1"), "not run: the kernel radius 0.0005 m (SphMode -20000, cells of 10 m)"));
  EXPECT_EQ(ReadFile(p.Run("A1") + "/.simulation_info").rfind("not run: the kernel radius 0.0005 m", 0), 0u);
  EXPECT_EQ(Status(p.Run("A1")), "finished");
  EXPECT_TRUE(TimeSteps(p.Run("A1")).empty());
}

// A batch start ends each simulation it was asked to run as a start in the background does: A1,
// which the starting process refuses, says "not run" with the reason over the info of an
// earlier run; A2, whose run cannot record its last time step in the saved project, says where
// and why it stopped. Both read "finished".
TEST(BackgroundRuns, EachSimulationOfABatchStartSaysWhatBecameOfIt)
{
  TwoSimulations p;
  WriteFile(p.Run("A1") + "/.simulation_status", "finished\n");
  WriteFile(p.Run("A1") + "/.simulation_info", "at time 3 s, run time h:m:s 0:0:1\n");
  p.dir.Write("start.macro", "set(\"\", \"ProjectDir\", \"proj\")\n"
                             "set(\"Project\", \"LoadProject\", \"\")\n"
                             "set(\"Project/Simulations/A1\", \"$autosave\", \"0\")\n"
                             "set(\"Project/Simulations/A2\", \"$autosave\", \"0\")\n"
                             "set(\"Project/Simulations/A1\", \"SphMode\", \"-20000\")\n"
                             "set(\"Project/Simulations\", \"StartActive\", \"\")\n");
  setenv("TORVU_FAIL_STARTED", "write:ShallowWaterSimulation.atr", 1);
  const std::string printed = Torvu(p.dir, "start.macro");
  unsetenv("TORVU_FAIL_STARTED");
  EXPECT_EQ(Status(p.Run("A1")), "finished");
  EXPECT_EQ(ReadFile(p.Run("A1") + "/.simulation_info").rfind("not run: the kernel radius 0.0005 m (SphMode -20000", 0), 0u)
      << ReadFile(p.Run("A1") + "/.simulation_info") << printed.substr(0, 3000);
  EXPECT_FALSE(std::filesystem::exists(p.Run("A1") + "/.simulation_lock"));
  ASSERT_EQ(WaitFor(p.Run("A2"), "finished").back(), "finished");
  EXPECT_EQ(ReadFile(p.Run("A2") + "/.simulation_info"),
            "stopped at time 10 s: the saved project does not record the run's time step at_0000010.0000: "
            "cannot write file proj/Project/Simulations/A2/ShallowWaterSimulation.atr for saving attributes! "
            "Input/output error\n");
  EXPECT_EQ(TimeSteps(p.Run("A2")).size(), 3u);
  EXPECT_TRUE(TimeSteps(p.Run("A1")).empty());
}
