// Long-lived torvu processes, each holding its own state of a project in memory, that take
// commands one at a time in the order a test chooses.
//
// Each process runs a driver script that waits for the next numbered command script in its
// directory ("cmd_1.cint", "cmd_2.cint", ...; a missing one is what "ExecMacro" cannot open) and
// runs it. A command script runs its set commands until the first that fails and prints its
// answer between "@@answer N" and "@@end N" lines: "ok" with what it read, or "failed" with the
// error text. A command script is written under another name and renamed into place, so the
// driver never reads one half-written. The last command sets the error text "@@quit", on which
// the driver returns and the program ends.
//
// Beside it, what the tests of such processes share: the example project with its simulation A,
// the names of its time steps and its record, and the oracle that every time step of a run
// directory follows from the one before.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ExampleTerrain.h"
#include "TestSupport.h"

extern char** environ;

// What a process answered to a command: whether every set command succeeded; the error text of
// the one that failed, or else what the command read into `value`.
struct Answer {
  bool ok = false;
  std::string text;
};

inline std::ostream& operator<<(std::ostream& out, const Answer& a)
{
  return out << (a.ok ? "ok: " : "failed: ") << a.text;
}

// Starts torvu offscreen on the macro file in `dir`, as a user there would start it (its home is
// `dir`), its output into `log`; the process id, or -1.
inline pid_t StartTorvu(const std::string& dir, const std::string& macro, const std::string& log)
{
  std::vector<std::string> environment = {"HOME=" + dir};
  for (char** e = environ; *e; ++e)
    if (std::strncmp(*e, "HOME=", 5) && std::strncmp(*e, "TORVU_USER_ATTRIBUTES=", 22)) environment.push_back(*e);
  std::vector<char*> env, argv;
  for (std::string& e : environment) env.push_back(e.data());
  env.push_back(nullptr);
  std::string arguments[] = {TORVU_PROGRAM, "-files", TORVU_ATTRIBUTES, "-offscreen", macro};
  for (std::string& a : arguments) argv.push_back(a.data());
  argv.push_back(nullptr);
  // Spawned rather than forked: a test starts hundreds of processes, and a fork would copy the
  // page tables of this large sanitized process each time, and have it fault on every page it
  // writes afterwards.
  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) return -1;
  const bool prepared = posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0) == 0 &&
                        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND,
                                                         0644) == 0 &&
                        posix_spawn_file_actions_adddup2(&actions, 1, 2) == 0 &&
                        posix_spawn_file_actions_addchdir_np(&actions, dir.c_str()) == 0;
  pid_t pid = -1;
  if (!prepared || posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), env.data()) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

class TorvuProcess {
public:
  // Starts torvu offscreen in `dir` (made when missing), as a user there would start it.
  explicit TorvuProcess(const std::string& dir) : _dir(std::filesystem::absolute(dir).string())
  {
    std::filesystem::create_directories(_dir);
    // Commands of an earlier process in the directory are not this one's, nor are its answers,
    // which the first command would otherwise read before this process truncates its log.
    for (const auto& entry : std::filesystem::directory_iterator(_dir))
      if (entry.path().filename().string().rfind("cmd_", 0) == 0) std::filesystem::remove(entry.path());
    std::filesystem::remove(LogPath());
    WriteFile(_dir + "/driver.macro", "set(\"\", \"ExecMacro\", \"driver.cint\")\n");
    WriteFile(_dir + "/driver.cint",
              "int main()\n{\nchar name[4096];\nchar text[8192];\nint n;\nn = 1;\nwhile (1) {\n"
              "sprintf(name, \"%s/cmd_%d.cint\", \"" + _dir + "\", n);\n"
              "if (set(\"\", \"ExecMacro\", name) != 0) {\nerror(text);\n"
              "if (strcmp(text, \"@@quit\") == 0) {\nset_error(\"\");\nreturn 0;\n}\n"
              "if (strstr(text, \"can neither open macro file\") >= 0 && strstr(text, name) >= 0) {\n"
              "sleep(0.005);\ncontinue;\n}\n}\nn = n + 1;\n}\nreturn 0;\n}\n");
    _pid = StartTorvu(_dir, "driver.macro", LogPath());
    EXPECT_GT(_pid, 0) << "no process started in " << _dir;
  }

  ~TorvuProcess()
  {
    if (_pid > 0 && waitpid(_pid, nullptr, WNOHANG) == 0) {
      kill(_pid, SIGKILL);
      waitpid(_pid, nullptr, 0);
    }
  }
  TorvuProcess(const TorvuProcess&) = delete;
  TorvuProcess& operator=(const TorvuProcess&) = delete;

  // Runs the lines as one command: each "set(...)" line until the first that fails; other lines
  // are script statements that may use `value` (char[65536], answered when all succeeded),
  // `text` (char[8192]) and `tries` (int).
  Answer Do(const std::string& lines)
  {
    std::string body, line;
    for (std::istringstream in(lines); std::getline(in, line);)
      body += line.rfind("set(", 0) == 0 ? "if (!failed && " + line + " != 0) {\nfailed = 1;\nerror(text);\n}\n"
                                         : line + "\n";
    const int n = ++_count;
    const std::string number = std::to_string(n);
    const std::string script = "int main()\n{\nchar text[8192];\nchar value[65536];\nint failed;\nint tries;\n"
                               "failed = 0;\ntext[0] = 0;\nvalue[0] = 0;\n" + body +
                               "if (failed) printf(\"@@answer " + number + " failed\\n%s\\n@@end " + number +
                               "\\n\", text);\nelse printf(\"@@answer " + number + " ok\\n%s\\n@@end " + number +
                               "\\n\", value);\nreturn 0;\n}\n";
    return Send(n, script);
  }

  // What the get answered.
  std::string Get(const std::string& path, const std::string& attribute)
  {
    return Do("get(\"" + path + "\", \"" + attribute + "\", value);").text;
  }

  // Ends the driver and waits (at most two minutes) for the program to exit; its exit status,
  // -1 when it did not exit normally in time.
  int Quit()
  {
    const int n = ++_count;
    Write(n, "int main()\n{\nset_error(\"@@quit\");\nreturn 0;\n}\n");
    for (const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(2);
         std::chrono::steady_clock::now() < end; std::this_thread::sleep_for(std::chrono::milliseconds(5))) {
      int status = 0;
      if (waitpid(_pid, &status, WNOHANG) == _pid) {
        _pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
    }
    return -1;
  }

  int Pid() const { return _pid; }
  std::string Log() const { return ReadFile(LogPath()); }
  std::string LogPath() const { return _dir + "/torvu.log"; }
  const std::string& Dir() const { return _dir; }

private:
  void Write(int n, const std::string& script) const
  {
    const std::string target = _dir + "/cmd_" + std::to_string(n) + ".cint";
    WriteFile(target + ".part", script);
    std::filesystem::rename(target + ".part", target);
  }

  // Hands the command over and waits (at most three minutes) for its answer. The log is read
  // from where the last answer ended: a run prints a great deal.
  Answer Send(int n, const std::string& script)
  {
    Write(n, script);
    const std::string begin = "@@answer " + std::to_string(n) + " ", end = "\n@@end " + std::to_string(n) + "\n";
    for (const auto limit = std::chrono::steady_clock::now() + std::chrono::minutes(3);;) {
      std::ifstream in(LogPath(), std::ios::binary);
      in.seekg(std::streamoff(_read));
      const std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      const size_t from = log.find(begin), to = from == std::string::npos ? from : log.find(end, from);
      if (to != std::string::npos) {
        _read += to + end.size();
        const size_t text = log.find('\n', from) + 1;
        return {log.compare(from + begin.size(), 2, "ok") == 0, log.substr(text, to > text ? to - text : 0)};
      }
      int status = 0;
      const bool ended = _pid <= 0 || waitpid(_pid, &status, WNOHANG) == _pid;
      if (ended) _pid = -1;
      if (ended || std::chrono::steady_clock::now() > limit) {
        ADD_FAILURE() << "no answer to command " << n << (ended ? ": the process ended" : " in time") << "\n"
                      << log.substr(log.size() > 3000 ? log.size() - 3000 : 0);
        return {false, "no answer"};
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }

  std::string _dir;
  pid_t _pid = -1;
  int _count = 0;
  size_t _read = 0;  // how much of the log earlier answers took
};

// --- the example project with its simulation A ---

using Files = std::map<std::string, std::string>;
const std::string kSimulation = "Project/Simulations/A";

// The time step of a time in seconds ("at_0000004.0000"), and its file.
inline std::string Step(double seconds)
{
  char name[40];
  return std::string(name, size_t(std::snprintf(name, sizeof name, "at_%012.4f", seconds)));
}
inline std::string File(double seconds) { return Step(seconds) + ".TimeStep"; }
// The time of a time step or of its file.
inline double TimeOf(const std::string& step) { return std::atof(step.substr(3, 12).c_str()); }
// A time as a value of a set command.
inline std::string Seconds(double seconds)
{
  std::ostringstream text;
  text << seconds;
  return text.str();
}

// The value a saved simulation sets for the attribute, "" when it sets none.
inline std::string SavedValue(const std::string& saved, const std::string& name)
{
  const std::string line = "set(\"\", \"" + name + "\", \"";
  const size_t at = saved.find(line), from = at + line.size();
  return at == std::string::npos ? "" : saved.substr(from, saved.find('"', from) - from);
}
// The time step a saved simulation records ("the record"); empty when none.
inline std::string Recorded(const std::string& saved) { return SavedValue(saved, "LoadTimeStep"); }

inline std::string SaveAs(const std::string& project) { return Set("", "SaveProjectAs", project); }
// The run directory of the simulation A of a project, and its saved simulation.
inline std::string RunOf(const std::string& project) { return project + "/" + kSimulation; }
inline std::string SavedOf(const std::string& project) { return ReadFile(RunOf(project) + "/ShallowWaterSimulation.atr"); }

inline bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }
inline bool Contains(const Answer& answer, const std::string& part) { return Contains(answer.text, part); }

// The failure hook of the program (TORVU_FAIL) set for the processes started while it lives.
struct FailOnce {
  explicit FailOnce(const std::string& steps) { setenv("TORVU_FAIL", steps.c_str(), 1); }
  ~FailOnce() { unsetenv("TORVU_FAIL"); }
};

// The example terrain saved as the project "proj" with the simulation A of its release, to run
// to `end` seconds with an output every `out` seconds.
inline std::string ProjectMacro(double end, double out)
{
  return ImportExampleAsProject() + Set("Project/Simulations", "CreateSimulation", "A") +
         Set(kSimulation + "/ReleaseAreas", "AppendAllObjectsOfType", "ReleaseArea") +
         Set(kSimulation, "EndTime", Seconds(end)) + Set(kSimulation, "DeltaOut", Seconds(out)) +
         Set("Project", "SaveProject", "");
}
// A scratch directory with the example project "proj" as ProjectMacro makes it.
struct SharedExample : Example {
  SharedExample(double end, double out) { Torvu(Path(), "setup.macro", ProjectMacro(end, out)); }
  std::string Status() const { return ReadFile(Run() + "/.simulation_status"); }
};

// The saved project loaded from a directory beside it.
inline std::string Load(const std::string& project = "../proj")
{
  return Set("", "ProjectDir", project) + Set("Project", "LoadProject", "");
}
inline std::string SaveProject() { return Set("Project", "SaveProject", ""); }
inline std::string ContinueTo(double end)
{
  return Set(kSimulation, "EndTime", Seconds(end)) + Set(kSimulation, "Continue", "");
}

// Starts torvu on `macro` in `dir` stopped at the window (TORVU_STOP_AT) and kills it there with
// SIGKILL; false when it ended without reaching that window.
inline bool KillAtWindow(const std::string& dir, const std::string& macro, const std::string& window)
{
  std::filesystem::create_directories(dir);
  WriteFile(dir + "/killed.macro", macro);
  setenv("TORVU_STOP_AT", window.c_str(), 1);
  const pid_t pid = StartTorvu(dir, "killed.macro", dir + "/torvu.log");
  unsetenv("TORVU_STOP_AT");
  if (pid <= 0) return false;
  int status = 0;
  if (waitpid(pid, &status, WUNTRACED) != pid || !WIFSTOPPED(status)) return false;
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return true;
}

// Every file directly in the directory, by name.
inline Files FilesIn(const std::string& directory)
{
  Files files;
  for (const auto& entry : std::filesystem::directory_iterator(directory))
    if (entry.is_regular_file()) files[entry.path().filename().string()] = ReadFile(entry.path().string());
  return files;
}

// Every file below the directory, by its path relative to it, with its bytes.
inline Files Tree(const std::string& directory)
{
  Files files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(directory))
    if (entry.is_regular_file())
      files[std::filesystem::relative(entry.path(), directory).string()] = ReadFile(entry.path().string());
  return files;
}

// The files as expected, name for name and byte for byte; only names are printed.
inline void ExpectSameFiles(const Files& got, const Files& expected, const std::string& context = "")
{
  std::string names;
  for (const auto& entry : got) names += entry.first + " ";
  EXPECT_EQ(got.size(), expected.size()) << context << "\nthere: " << names;
  for (const auto& [name, bytes] : expected)
    EXPECT_TRUE(got.count(name) && got.at(name) == bytes) << context << "\n" << name << " differs or is gone";
}

// A log cut short for a failure message, without its lines on every object, step and particle.
inline std::string Gist(const std::string& log)
{
  std::string gist, line;
  for (std::istringstream lines(log); std::getline(lines, line);)
    if (line.rfind("saving ", 0) && line.rfind("loading ", 0) && line.rfind("IPD, ", 0) && line.rfind("\t", 0) &&
        line.rfind("computing time step", 0))
      gist += line.substr(0, 400) + "\n";
  return gist.size() > 3000 ? gist.substr(gist.size() - 3000) : gist;
}

// Polls (at most two minutes) until `done` holds.
inline bool WaitUntil(const std::function<bool()>& done)
{
  for (const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(2); !done();)
    if (std::chrono::steady_clock::now() > end) return false;
    else std::this_thread::sleep_for(std::chrono::milliseconds(2));
  return true;
}

// Kills the background run that holds the run directory's lock with SIGKILL, once sure it is a
// torvu program that this test started (its home is below `home`); its process id, 0 when none.
inline int KillRun(const std::string& run, const std::string& home)
{
  const int pid = std::atoi(ReadFile(run + "/.simulation_lock").c_str());
  const std::string environment = ReadFile("/proc/" + std::to_string(pid) + "/environ");
  if (pid <= 0 || environment.find(std::string("HOME=") + home) == std::string::npos) return 0;
  if (kill(pid, SIGKILL) != 0) return 0;
  // A killed process that nobody reaps stays a zombie: it is gone when it runs no more.
  WaitUntil([&] {
    const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
    const size_t close = stat.rfind(')');
    return close == std::string::npos || stat.size() < close + 3 || stat[close + 2] == 'Z';
  });
  return pid;
}

// The record of the saved simulation names a time step that is there, or none.
inline bool RecordIsThere(const std::string& run)
{
  const std::string step = Recorded(ReadFile(run + "/ShallowWaterSimulation.atr"));
  return step.empty() || std::filesystem::exists(run + "/" + step + ".TimeStep");
}

// Every time-step file of the project's run directory but the first follows from the one before
// it: loaded in a fresh process from a copy of the project and continued to its time under one
// of `frictions`, that time step comes out byte for byte. The copies go below `scratch`.
inline void ExpectEachStepFollowsTheOneBefore(const std::string& project, const std::vector<std::string>& frictions,
                                              const std::string& scratch, const std::string& context = "")
{
  const std::string run = "/Project/Simulations/A";
  const Files steps = TimeStepContents(project + run);
  std::vector<std::string> names;
  for (const auto& entry : steps) names.push_back(entry.first);
  std::map<std::string, std::string> reproducedBy;
  TorvuProcess oracle(scratch + "/oracle");
  for (const std::string& friction : frictions) {
    const std::string copy = scratch + "/friction_" + friction;
    std::filesystem::remove_all(copy);
    std::filesystem::create_directories(copy);
    std::filesystem::copy(project, copy, std::filesystem::copy_options::recursive);
    for (const auto& entry : std::filesystem::directory_iterator(copy + run))
      if (entry.path().filename().string().rfind(".simulation_lock", 0) == 0) std::filesystem::remove(entry.path());
    const Answer loaded = oracle.Do(Load(copy));
    ASSERT_TRUE(loaded.ok) << loaded << "\n" << context;
    // From the newest pair back: each continuation removes the files after its start, which
    // the later pairs no longer need.
    for (size_t i = names.size(); i-- > 1;) {
      const double from = TimeOf(names[i - 1]), to = TimeOf(names[i]);
      const Answer continued =
          oracle.Do(Set(kSimulation, "LoadTimeStep", names[i - 1].substr(0, 15)) +
                    Set(kSimulation, "BedFrictionAngle", friction) + Set(kSimulation, "DeltaOut", Seconds(to - from)) +
                    ContinueTo(to));
      if (continued.ok && ReadFile(copy + run + "/" + names[i]) == steps.at(names[i]))
        reproducedBy[names[i]] += friction + " ";
    }
  }
  for (size_t i = 1; i < names.size(); ++i)
    EXPECT_TRUE(reproducedBy.count(names[i]))
        << names[i] << " does not follow from " << names[i - 1] << " under any friction\n" << context;
  EXPECT_EQ(oracle.Quit(), 0);
}

// The time step the project's saved simulation records follows from the one before it under the
// friction: loaded in a fresh process from a copy of the project and continued to its time, it
// comes out byte for byte. True when it records none, or the first.
inline bool RecordedStepFollowsUnder(const std::string& project, const std::string& friction,
                                     const std::string& scratch)
{
  const std::string run = "/" + kSimulation;
  const Files steps = TimeStepContents(project + run);
  const auto recorded = steps.find(Recorded(ReadFile(project + run + "/ShallowWaterSimulation.atr")) + ".TimeStep");
  if (recorded == steps.end() || recorded == steps.begin()) return true;
  const auto before = std::prev(recorded);
  const std::string copy = scratch + "/recorded";
  std::filesystem::remove_all(copy);
  std::filesystem::create_directories(copy);
  std::filesystem::copy(project, copy, std::filesystem::copy_options::recursive);
  for (const auto& entry : std::filesystem::directory_iterator(copy + run))
    if (entry.path().filename().string().rfind(".simulation_lock", 0) == 0) std::filesystem::remove(entry.path());
  TorvuProcess oracle(scratch + "/oracle");
  const double from = TimeOf(before->first), to = TimeOf(recorded->first);
  const bool follows =
      oracle.Do(Load(copy)).ok &&
      oracle.Do(Set(kSimulation, "LoadTimeStep", before->first.substr(0, 15)) +
                Set(kSimulation, "BedFrictionAngle", friction) + Set(kSimulation, "DeltaOut", Seconds(to - from)) +
                ContinueTo(to)).ok &&
      ReadFile(copy + run + "/" + recorded->first) == recorded->second;
  EXPECT_EQ(oracle.Quit(), 0);
  return follows;
}
