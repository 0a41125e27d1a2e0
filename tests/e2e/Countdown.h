// What the countdowns of failed and of killed calls share: the writers and the prepared states
// they start from, the processes run with the failure hook of the program, and what a try left
// on the disk, seen as a tree of files with what must differ between two runs masked.
#pragma once

#include <gtest/gtest.h>

#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "AK_ProjectMarks.h"
#include "ExampleTerrain.h"
#include "SharedProjectProcesses.h"
#include "TestSupport.h"

namespace countdown {

namespace fs = std::filesystem;

// The projects a writer may touch, below the directory of a try.
inline const std::vector<std::string> kProjects = {"proj", "proj2", "proj3"};

// A directory that a deletion set aside ("A.~removing"): no simulation any more, whatever it holds.
inline bool SetAside(const fs::path& path) { return path.filename().string().find(".~") != std::string::npos; }

// A run directory's time steps, by project and simulation ("proj/A").
using Series = std::map<std::string, Files>;

// The simulations of every project below `dir` that hold a saved simulation, with their time steps.
inline Series SeriesIn(const std::string& dir)
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
inline bool Within(const Files& part, const Files& whole)
{
  for (const auto& [name, bytes] : part)
    if (!whole.count(name) || whole.at(name) != bytes) return false;
  return true;
}

inline std::string Names(const Files& files)
{
  std::string names;
  for (const auto& entry : files) names += entry.first.substr(0, 15) + " ";
  return names;
}

// The id of the process that the run lock of a run directory names, 0 when none.
inline int LockHolder(const std::string& run)
{
  return fs::exists(run + "/.simulation_lock") ? std::atoi(ReadFile(run + "/.simulation_lock").c_str()) : 0;
}
inline bool Alive(int pid) { return pid > 0 && (kill(pid, 0) == 0 || errno == EPERM); }

// The run directories of every project below `dir` (no set-aside one).
inline std::vector<std::string> RunDirectories(const std::string& dir)
{
  std::vector<std::string> runs;
  for (const std::string& project : kProjects) {
    const std::string simulations = dir + "/" + project + "/Project/Simulations";
    if (!fs::is_directory(simulations)) continue;
    for (const auto& entry : fs::directory_iterator(simulations))
      if (!SetAside(entry.path())) runs.push_back(project + "/" + entry.path().filename().string());
  }
  return runs;
}
inline std::string RunPath(const std::string& dir, const std::string& run)
{
  return dir + "/" + run.substr(0, run.find('/')) + "/Project/Simulations/" + run.substr(run.find('/') + 1);
}

// The run lock of a run directory below `dir` held by a live process (its path and id), or "".
inline std::string LiveLock(const std::string& dir)
{
  for (const std::string& run : RunDirectories(dir)) {
    const int holder = LockHolder(RunPath(dir, run));
    if (Alive(holder)) return run + " held by " + std::to_string(holder);
  }
  return "";
}

// The statuses "started" below `dir` (a start whose process is gone leaves none).
inline std::string StartedLeft(const std::string& dir)
{
  std::string left;
  for (const std::string& run : RunDirectories(dir))
    if (ReadFile(RunPath(dir, run) + "/.simulation_status") == "started\n") left += run + " ";
  return left;
}

// Waits (at most a minute) until no process started from the home `home` runs any more (a
// started run is over; a killed one that nobody reaps is a zombie); false when one still does.
inline bool WaitForNoProcessOf(const std::string& home)
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

// The lines of the failure hook in a log ("torvu: failing call N: KIND PATH", or "torvu: killed
// before call N: ..." when `said` is "killed before"), the directory of the try cut from the paths.
inline std::string FailedCalls(const std::string& log, const std::string& dir, const std::string& said = "failing")
{
  std::string calls, line;
  const std::string opening = "torvu: " + said + " call ";
  for (std::istringstream lines(log); std::getline(lines, line);)
    if (line.rfind(opening, 0) == 0) {
      for (size_t at; (at = line.find(dir + "/")) != std::string::npos;) line.erase(at, dir.size() + 1);
      calls += line.substr(7) + "; ";
    }
  return calls;
}

// The lines of the hook in every log below `dir` of a process a writer started (its "start.log",
// and the log of a batch), not of the writer's own ("x") or of the test's.
inline std::string StartedCalls(const std::string& dir, const std::string& said = "failing")
{
  std::string calls;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if ((name == "torvu.log" || name == "start.log") && entry.path().parent_path() != fs::path(dir + "/x"))
      calls += FailedCalls(ReadFile(entry.path().string()), dir, said);
  }
  return calls;
}

// The environment of the processes a test starts, set only while one is started.
inline std::mutex g_environment;
using Hook = std::vector<std::pair<std::string, std::string>>;

inline std::unique_ptr<TorvuProcess> StartWith(const std::string& dir, const Hook& hook)
{
  std::lock_guard<std::mutex> guard(g_environment);
  for (const auto& [name, value] : hook) setenv(name.c_str(), value.c_str(), 1);
  auto process = std::make_unique<TorvuProcess>(dir);
  for (const auto& [name, value] : hook) unsetenv(name.c_str());
  return process;
}

// Runs torvu on the macro in `home` (its home and current directory) with the hook set, and
// waits for its end; its exit status, -1 when it did not exit normally (a kill).
inline int RunMacroWith(const std::string& home, const std::string& macro, const Hook& hook)
{
  fs::create_directories(home);
  WriteFile(home + "/writer.macro", macro);
  pid_t pid;
  {
    std::lock_guard<std::mutex> guard(g_environment);
    for (const auto& [name, value] : hook) setenv(name.c_str(), value.c_str(), 1);
    pid = StartTorvu(home, "writer.macro", home + "/torvu.log");
    for (const auto& [name, value] : hook) unsetenv(name.c_str());
  }
  int status = 0;
  if (pid <= 0 || waitpid(pid, &status, 0) != pid) return -2;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The number on the last line of a count file ("<pid> <calls>"); -1 when none.
inline long CountIn(const std::string& file)
{
  std::istringstream lines(ReadFile(file));
  long pid = 0, calls = -1, last = -1;
  while (lines >> pid >> calls) last = calls;
  return last;
}

// True when a started process ended normally before its Nth call (its count file, as the hook's
// TORVU_FAIL_STARTED_COUNT has it write, says fewer): a background run's calls depend on when the
// writer's own commands come beside it, so a call of the dry run may not come in a try.
inline bool EndedBefore(const std::string& countFile, long n)
{
  const long calls = CountIn(countFile);
  return calls >= 0 && calls < n;
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
  // The commands of its save alone, "" for none: a run saves the project with the values it runs
  // under before it begins, and that save stands on its own when the run fails or is killed after
  // it. What stays is then the project saved, with no run of those values.
  std::string saved;
};

// The writer that saves first with `saved` as its save alone.
inline Writer SavingFirst(Writer writer, std::string saved)
{
  writer.saved = std::move(saved);
  return writer;
}

// One try of a countdown: the writer (its index), the call, and whose call (the process a
// background start runs, or the writer's own).
struct Job {
  size_t writer;
  long n;
  bool started;
};

// The files whose every call a countdown tries (by the start of their base names, so that the
// temporaries written for them count too): the marks of cut work, of a rename, of a save's build
// and of a start, the run lock, the status, the run's values and the saved simulation with its
// record.
inline const std::vector<std::string> kKeyFiles = {
    ".simulation_lock",     ".simulation_status",   ".simulation_values", ".simulation_start",
    ".simulation_removing", ".simulation_deleting", ".simulation_copy",   "ShallowWaterSimulation.atr",
    kRenameMarkFile,        kStagingMark,
};

// The calls listed by a dry run (lines "N KIND PATH", TORVU_FAIL_CALLS): those tried whatever the
// writer's size (`key`), and the looks among all of them (`looks`), which only `key` tries.
struct ListedCalls {
  std::vector<long> key;
  std::vector<long> looks;
};

// The calls of the dry run listed in `file` that touch one of kKeyFiles (looks at them included) and
// the looks at a directory the writer deletes or finishes (one that a call removes, or that it sets
// aside beside itself ("<dir>.~...") or moves into such a directory): of each kind of call on each
// such file, the first and the last.
inline ListedCalls KeyCalls(const std::string& file)
{
  struct Call {
    long n;
    std::string kind, path;
  };
  std::vector<Call> calls;
  std::string line;
  for (std::istringstream lines(ReadFile(file)); std::getline(lines, line);) {
    const size_t kind = line.find(' '), path = line.find(' ', kind + 1);
    if (path == std::string::npos) continue;
    calls.push_back({std::atol(line.c_str()), line.substr(kind + 1, path - kind - 1), line.substr(path + 1)});
  }
  std::vector<std::string> changed;  // the paths removed, or renamed into a name set aside
  for (const Call& call : calls)
    if (call.kind == "rmdir" || (call.kind == "rename" && call.path.find(".~") != std::string::npos))
      changed.push_back(call.path);
  const auto deletedOrMoved = [&](const std::string& path) {
    const std::string name = fs::path(path).filename().string();
    for (const std::string& c : changed)
      if (c == path || c.rfind(path + ".~", 0) == 0 ||
          (!name.empty() && c.find(".~") != std::string::npos && fs::path(c).filename() == name))
        return true;
    return false;
  };
  // Of the calls of one kind on one key file (each load and save of a writer looks at it again, each
  // step of a run writes its status again, each under a temporary name of its own), the first and
  // the last: what the command begins with and what it ends with; the ones between repeat them.
  // The looks into what is deleted or moved count by the name looked at, whatever the directory:
  // a save looks at each object's files in turn, and the objects between repeat the first and
  // the last.
  std::map<std::string, std::pair<long, long>> firstAndLastOf;
  ListedCalls listed;
  for (const Call& call : calls) {
    const bool look = call.kind == "look";
    if (look) listed.looks.push_back(call.n);
    const std::string name = fs::path(call.path).filename().string();
    const auto k = std::find_if(kKeyFiles.begin(), kKeyFiles.end(), [&](const std::string& k) { return name.rfind(k, 0) == 0; });
    std::string file = k == kKeyFiles.end() ? "" : fs::path(call.path).parent_path().string() + "/" + *k;
    if (file.empty() && look && deletedOrMoved(call.path)) file = name.empty() ? call.path : "*/" + name;
    if (file.empty()) continue;
    auto [at, first] = firstAndLastOf.try_emplace(call.kind + " " + file, call.n, call.n);
    if (!first) at->second.second = call.n;
  }
  for (const auto& [path, firstAndLast] : firstAndLastOf) {
    listed.key.push_back(firstAndLast.first);
    if (firstAndLast.second != firstAndLast.first) listed.key.push_back(firstAndLast.second);
  }
  std::sort(listed.key.begin(), listed.key.end());
  return listed;
}

// The calls that change the disk alone: a kill right before a look leaves the disk as a kill right
// before the next call that changes it does, so a countdown of kills tries no look.
inline ListedCalls WithoutLooks(ListedCalls listed)
{
  std::erase_if(listed.key, [&](long n) { return std::binary_search(listed.looks.begin(), listed.looks.end(), n); });
  return listed;
}

// TORVU_COUNTDOWN_ALL=1 has both countdowns try every call of every writer.
inline bool EveryCall()
{
  const char* all = std::getenv("TORVU_COUNTDOWN_ALL");
  return all && std::string(all) == "1";
}

// The calls of a writer's process tried in turn, of the `calls` it makes: every one of the first
// and the last `edge`, every one in `key` (those that touch a mark, a lock, a record, a status or
// the run's values), and `spread` spread evenly over the rest; every call with EveryCall().
inline std::vector<long> CallsTried(long calls, long edge, long spread, const std::vector<long>& key = {})
{
  if (EveryCall()) edge = calls;
  std::vector<long> tried;
  for (long n = 1; n <= calls; ++n)
    if (n <= edge || n > calls - edge) tried.push_back(n);
  for (long n : key)
    if (n >= 1 && n <= calls) tried.push_back(n);
  if (const long first = edge + 1, span = calls - 2 * edge; span > 0)
    for (long i = 0, count = std::min(spread, span); i < count; ++i) tried.push_back(first + i * span / count);
  std::sort(tried.begin(), tried.end());
  tried.erase(std::unique(tried.begin(), tried.end()), tried.end());
  return tried;
}

// The same over the calls that change the disk alone: the looks are many, and only those in
// `listed.key` are tried (every one with EveryCall()).
inline std::vector<long> CallsTried(long calls, long edge, long spread, const ListedCalls& listed)
{
  std::vector<long> changes;  // the calls that are no look, by their number
  for (long n = 1, l = 0; n <= calls; ++n) {
    while (l < long(listed.looks.size()) && listed.looks[size_t(l)] < n) ++l;
    if (EveryCall() || l >= long(listed.looks.size()) || listed.looks[size_t(l)] != n) changes.push_back(n);
  }
  std::vector<long> tried;
  for (long i : CallsTried(long(changes.size()), edge, spread)) tried.push_back(changes[size_t(i - 1)]);
  for (long n : listed.key)
    if (n >= 1 && n <= calls) tried.push_back(n);
  std::sort(tried.begin(), tried.end());
  tried.erase(std::unique(tried.begin(), tried.end()), tried.end());
  return tried;
}

// --- what a try left, as a tree ---

// The time of writing in a gzip header (bytes 4 to 7): the only part of a time step, or of a data
// file, that two writes of the same state may tell apart.
inline std::string WithoutGzipTime(std::string bytes)
{
  if (bytes.size() > 8 && (unsigned char)bytes[0] == 0x1f && (unsigned char)bytes[1] == 0x8b)
    for (int i = 4; i < 8; ++i) bytes[size_t(i)] = 0;
  return bytes;
}

// The simulation's attribute file without its record (the line "LoadTimeStep"), which a run that
// failed half-way may leave naming any of its time steps that is there (checked on its own).
inline std::string WithoutRecord(const std::string& saved)
{
  std::string kept, line;
  for (std::istringstream lines(saved); std::getline(lines, line);)
    if (line.find("\"LoadTimeStep\"") == std::string::npos) kept += line + "\n";
  return kept;
}

// Every file below `dir` but those of the test's own processes (the directories "x", "check" and
// "killed": their logs and commands), by path, with what must differ between two runs of the
// same commands masked:
// - the path of the try's directory, wherever a file names it (start macros, batch files), as
//   "<try>": each try runs in a directory of its own;
// - the time of writing in gzip headers (time steps, data files);
// - a background run's log ("start.log": process ids, run and CPU times, its whole output);
// - the run and CPU times of a progress line (".simulation_info", after ", run time");
// - the process id that a lock names (".simulation_lock");
// - the random identity of a series (the first word of ".simulation_series"): each run draws its own.
inline Files MaskedTree(const std::string& dir)
{
  Files tree;
  if (!fs::is_directory(dir)) return tree;
  for (auto it = fs::recursive_directory_iterator(dir); it != fs::recursive_directory_iterator(); ++it) {
    const fs::path relative = fs::relative(it->path(), dir);
    const std::string first = relative.begin()->string();
    if (it.depth() == 0 && (first == "x" || first == "check" || first == "killed") && it->is_directory()) {
      it.disable_recursion_pending();
      continue;
    }
    if (!it->is_regular_file()) continue;
    const std::string name = it->path().filename().string();
    std::string bytes = ReadFile(it->path().string());
    for (size_t at; (at = bytes.find(dir)) != std::string::npos;) bytes.replace(at, dir.size(), "<try>");
    bytes = WithoutGzipTime(bytes);
    if (name == "start.log") bytes = "<log>";
    if (name == ".simulation_lock") bytes = "<pid>";
    if (name == ".simulation_series")
      if (const size_t blank = bytes.find(' '); blank != std::string::npos) bytes = "<id>" + bytes.substr(blank);
    if (name == ".simulation_info")
      if (const size_t at = bytes.find(", run time"); at != std::string::npos) bytes = bytes.substr(0, at) + "<times>";
    tree[relative.string()] = bytes;
  }
  return tree;
}

// The saves a start accepts (".simulation_start"): the start names its own first, and each save of
// the simulation while its run goes on adds one, which a save that failed in part makes of what it
// wrote. How many follow, and what each names, depends on how far the run was when a save came:
// the list stands when it begins as the other does.
inline bool IsStartList(const std::string& name)
{
  return fs::path(name).filename() == ".simulation_start";
}

inline bool SameStartList(const std::string& got, const std::string& expected)
{
  const auto firstLine = [](const std::string& list) { return list.substr(0, list.find('\n') + 1); };
  return !got.empty() && got.back() == '\n' && firstLine(got) == firstLine(expected);
}

// The paths that differ between two trees, each with what one holds and the other not.
inline std::string TreeDifferences(const Files& got, const Files& expected)
{
  std::string differs;
  for (const auto& [name, bytes] : expected)
    if (!got.count(name)) differs += name + " is missing; ";
    else if (got.at(name) != bytes && !(IsStartList(name) && SameStartList(got.at(name), bytes)))
      differs += name + " differs; ";
  for (const auto& entry : got)
    if (!expected.count(entry.first)) differs += entry.first + " is there; ";
  return differs;
}

// The files of `got` that stand neither in `before` nor in `done` (nor in `saved`, when given) as
// they are there: what an answered failure (or a run of a started process, or a kill) may leave is
// each file as it was before the writer, as the whole writer left it, or as its save alone left it
// (see Writer::saved). Time steps are left to the series checks (a run
// that failed keeps the steps it wrote), a simulation's attribute file is compared without its
// record (checked on its own), and a file may be gone where any of them has none.
inline std::string FilesOfNeither(const Files& got, const Files& before, const Files& done,
                                  const Files* saved = nullptr)
{
  const auto isSimulation = [](const std::string& name) {
    return fs::path(name).filename() == "ShallowWaterSimulation.atr";
  };
  const auto same = [&](const Files& tree, const std::string& name, const std::string& bytes) {
    if (!tree.count(name)) return false;
    if (IsStartList(name)) return SameStartList(bytes, tree.at(name));
    return isSimulation(name) ? WithoutRecord(tree.at(name)) == WithoutRecord(bytes) : tree.at(name) == bytes;
  };
  // A failed command says why in the progress line of its run directory. A series changed in
  // part (a deletion cut short and left marked) takes a stamp of its own, as every change of it
  // does: the series check judges its time steps.
  const auto leftOut = [](const std::string& name) {
    return (name.size() > 9 && name.compare(name.size() - 9, 9, ".TimeStep") == 0) ||
           fs::path(name).filename() == ".simulation_info" || fs::path(name).filename() == ".simulation_series" ||
           fs::path(name).filename() == kRenameMarkFile;  // a rename's mark, for the next load to follow
  };
  // A taker that ended cut work says so with the status of no run under way, where the writer it
  // ended wrote none yet (a save of a new simulation).
  const auto endedByTaker = [&](const std::string& name, const std::string& bytes) {
    return fs::path(name).filename() == ".simulation_status" && bytes == "finished\n" && !before.count(name) &&
           !done.count(name);
  };
  std::string differs;
  for (const auto& [name, bytes] : got) {
    if (leftOut(name) || endedByTaker(name, bytes)) continue;
    if (!same(before, name, bytes) && !same(done, name, bytes) && !(saved && same(*saved, name, bytes)))
      differs += name + (before.count(name) || done.count(name) ? " differs from both; " : " is there in neither; ");
  }
  for (const auto& entry : before)
    if (!leftOut(entry.first) && !got.count(entry.first) && done.count(entry.first) && !(saved && !saved->count(entry.first)))
      differs += entry.first + " is missing; ";
  return differs;
}

// True when one of the parts of `names` (separated by "|") is a part of `name`.
inline bool NamedIn(const std::string& names, const std::string& name)
{
  std::string part;
  for (std::istringstream parts(names); std::getline(parts, part, '|');)
    if (!part.empty() && name.find(part) != std::string::npos) return true;
  return false;
}

// Whether the writer is tried: TORVU_WRITERS, when set, names the writers tried (parts of their
// names, separated by "|"), for a look at a few.
inline bool Tried(const Writer& writer)
{
  const char* only = std::getenv("TORVU_WRITERS");
  return !only || !*only || NamedIn(only, writer.name);
}

// The names of `writers`, in their order.
inline std::vector<std::string> NamesOf(const std::vector<Writer>& writers)
{
  std::vector<std::string> names;
  for (const Writer& writer : writers) names.push_back(writer.name);
  return names;
}

// The writer of `writers` named `name`; one with no prepared state when none is.
inline Writer Named(const std::vector<Writer>& writers, const std::string& name)
{
  for (const Writer& writer : writers)
    if (writer.name == name) return writer;
  return {name, "", ""};
}

// A writer's name as the name of its test: its letters and digits, an underscore for each run of
// anything else ("rename of the simulation's mesh" is "rename_of_the_simulation_s_mesh").
inline std::string TestNameOf(const ::testing::TestParamInfo<std::string>& info)
{
  std::string name;
  for (const char c : info.param)
    if (std::isalnum(static_cast<unsigned char>(c))) name += c;
    else if (!name.empty() && name.back() != '_') name += '_';
  while (!name.empty() && name.back() == '_') name.pop_back();
  return name;
}

// --- the prepared states and the writers ---

// A state below `dir` made by a process killed at a window of its writer.
inline void KilledAt(const std::string& dir, const std::string& macro, const std::string& window)
{
  ASSERT_TRUE(KillAtWindow(dir + "/killed", macro, window)) << ReadFile(dir + "/killed/torvu.log");
  fs::remove_all(dir + "/killed");
}

// The prepared states, below a scratch directory.
struct Prepared {
  std::string base;         // proj: A run under 16 degrees to 6 s; proj2: a copy run under 30 degrees to 4 s
  std::string killedRun;    // a run of proj killed while it computed
  std::string cutDeletion;  // a deletion of proj killed half-way
  std::string cutCopy;      // a copy from proj2 into proj killed after it staged
  std::string cutLaterRemoval;  // a Continue of proj from 2 s killed while it removed the later time steps
  std::string unrecordedDeletion;  // a deletion of all time steps of proj killed between its mark and its record
  std::string killedNewSave;       // a save of a clone of A killed once its copy was staged
  std::string killedRename;        // a rename of A killed while it held the run lock
  std::string killedNewRun;        // a foreground Run of a simulation never saved, killed while it computed
};

// The prepared states below `root`. Their paths are known before any of them is made, so that the
// writers (and so their names) can be listed before a test makes the states its writer starts from.
inline Prepared PreparedBelow(const std::string& root)
{
  return {root + "/base",           root + "/killed_run",          root + "/cut_deletion",
          root + "/cut_copy",       root + "/cut_later_removal",   root + "/unrecorded_deletion",
          root + "/killed_new_save", root + "/killed_rename",      root + "/killed_new_run"};
}

// The directory of the prepared states of this test process, removed at its end: each writer's
// test makes there only the states its writer starts from, and the writers' tests run in one
// process share those they have in common (each countdown below a directory of its own, as the
// states of one are not those of the other).
inline const std::string& PreparedRoot()
{
  static const ScratchDir root;
  return root.Path();
}

// Makes the state `dir` with `make` unless this process made it before; false when it cannot be
// made (a fatal failure of the test that tried, which a later test tries again).
inline bool PrepareOnce(const std::string& dir, const std::function<void()>& make)
{
  static std::map<std::string, bool> made;
  if (made[dir]) return true;
  fs::remove_all(dir);
  make();
  made[dir] = !::testing::Test::HasFatalFailure();
  return made[dir];
}

// Makes the base state: proj with A run under 16 degrees to 6 s with an output every second; proj2,
// a copy of it, run anew under 30 degrees to 4 s: two runs that no time step of the same name shares.
inline void MakeBase(const std::string& base)
{
  fs::create_directories(base);
  CopyExampleTerrain(base);
  Torvu(base, "setup.macro", ProjectMacro(6, 1));
  Torvu(base, "runs.macro",
        Load("proj") + Set(kSimulation, "BedFrictionAngle", "16") + Set(kSimulation, "Run", "") + SaveProject() +
            Set("", "SaveProjectAs", "proj2") + Set(kSimulation, "BedFrictionAngle", "30") +
            Set(kSimulation, "EndTime", "4") + Set(kSimulation, "Run", "") + SaveProject());
  for (const char* file : {"slope.asc", "slope.rel", "setup.macro", "runs.macro"}) fs::remove(base + "/" + file);
  ASSERT_EQ(TimeStepContents(base + "/proj/" + kSimulation).size(), 7u);
}

// A simulation C made on A's release areas and run in the foreground with no save before, killed
// once it wrote its time step at 8 s, with what the run saved of C before its first step taken away
// again: its directory holds a run's lock, status and steps, and no saved simulation, as a kill
// before that save (or a build that did not save it) leaves it.
inline void KilledNewRun(const std::string& state)
{
  const std::string simulation = "Project/Simulations/C";
  WriteFile(state + "/run.macro", Load(state + "/proj") + Set("Project/Simulations", "CreateSimulation", "C") +
                                      Set(simulation + "/ReleaseAreas", "AppendAllObjectsOfType", "ReleaseArea") +
                                      Set(simulation, "DeltaOut", "1") + Set(simulation, "EndTime", "600") +
                                      Set(simulation, "Run", ""));
  const pid_t pid = StartTorvu(state, "run.macro", state + "/run.log");
  ASSERT_GT(pid, 0);
  const std::string run = state + "/proj/" + simulation;
  ASSERT_TRUE(WaitUntil([&] { return fs::is_directory(run) && TimeStepContents(run).count(File(8)) > 0; }))
      << ReadFile(state + "/run.log");
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  ASSERT_EQ(ReadFile(run + "/.simulation_status"), "running\n");
  for (const auto& entry : fs::directory_iterator(run))
    if (entry.is_directory() || entry.path().extension() == ".atr" || entry.path().extension() == ".dat")
      fs::remove_all(entry.path());
  ASSERT_FALSE(fs::exists(run + "/ShallowWaterSimulation.atr"));
  for (const char* file : {"run.macro", "run.log"}) fs::remove(state + "/" + file);
}

// The states a load takes over, each made from the base state.
inline std::vector<std::string> TakenOverStates(const Prepared& p)
{
  return {p.killedRun,     p.cutDeletion,   p.cutCopy,      p.cutLaterRemoval, p.unrecordedDeletion,
          p.killedNewSave, p.killedRename,  p.killedNewRun};
}

// Makes the state `state` (one of TakenOverStates) from the base state, which stands.
inline void MakeTakenOverState(const Prepared& p, const std::string& state)
{
  fs::copy(p.base, state, fs::copy_options::recursive);
  if (state == p.killedRun) {
    const std::string killedRun = p.killedRun;
    WriteFile(killedRun + "/run.macro", Load(killedRun + "/proj") + Set(kSimulation, "BedFrictionAngle", "30") +
                                            Set(kSimulation, "EndTime", "600") + Set(kSimulation, "Run", ""));
    const pid_t pid = StartTorvu(killedRun, "run.macro", killedRun + "/run.log");
    ASSERT_GT(pid, 0);
    const std::string run = killedRun + "/proj/" + kSimulation;
    ASSERT_TRUE(WaitUntil([&] { return TimeStepContents(run).count(File(8)) > 0; })) << ReadFile(killedRun + "/run.log");
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    ASSERT_EQ(ReadFile(run + "/.simulation_status"), "running\n");
    for (const char* file : {"run.macro", "run.log"}) fs::remove(killedRun + "/" + file);
  } else if (state == p.cutDeletion) {
    KilledAt(p.cutDeletion, Load(p.cutDeletion + "/proj") + Set(kSimulation, "DeleteTimesteps", "except last"),
             "time steps deleting");
    ASSERT_TRUE(fs::exists(p.cutDeletion + "/proj/" + kSimulation + "/.simulation_removing"));
  } else if (state == p.cutCopy) {
    KilledAt(p.cutCopy, Load(p.cutCopy + "/proj2") + Set("", "SaveProjectAs", p.cutCopy + "/proj"), "copy staged");
    ASSERT_TRUE(fs::exists(p.cutCopy + "/proj/" + kSimulation + "/.simulation_copying"));
  } else if (state == p.cutLaterRemoval) {
    KilledAt(p.cutLaterRemoval,
             Load(p.cutLaterRemoval + "/proj") + Set(kSimulation, "LoadTimeStep", Step(2)) + ContinueTo(8),
             "later time steps removing");
    ASSERT_TRUE(fs::exists(p.cutLaterRemoval + "/proj/" + kSimulation + "/.simulation_removing_later"));
  } else if (state == p.unrecordedDeletion) {
    KilledAt(p.unrecordedDeletion, Load(p.unrecordedDeletion + "/proj") + Set(kSimulation, "DeleteTimesteps", "all"),
             "time steps marked");
    ASSERT_TRUE(fs::exists(p.unrecordedDeletion + "/proj/" + kSimulation + "/.simulation_removing"));
  } else if (state == p.killedNewSave) {
    KilledAt(p.killedNewSave,
             Load(p.killedNewSave + "/proj") + Set("Project/Simulations", "CloneSimulation", "A") + SaveProject(),
             "copy staged");
    // A new directory is built aside and put in place whole: the kill leaves the build, its lock in it.
    ASSERT_TRUE(fs::exists(p.killedNewSave + "/proj/Project/Simulations/A_cloned" + kSaveStagingSuffix +
                           "/A_cloned/.simulation_lock"));
  } else if (state == p.killedRename) {
    KilledAt(p.killedRename, Load(p.killedRename + "/proj") + Set(kSimulation, "Id", "B") + SaveProject(), "rename");
    ASSERT_TRUE(fs::exists(p.killedRename + "/proj/" + kSimulation + "/.simulation_lock"));
  } else if (state == p.killedNewRun) {
    KilledNewRun(p.killedNewRun);
  } else {
    FAIL() << state << " is no state a load takes over";
  }
}

// Every state a load takes over, made from the base state.
inline void MakeTakenOverStates(const Prepared& p)
{
  for (const std::string& state : TakenOverStates(p)) {
    MakeTakenOverState(p, state);
    if (::testing::Test::HasFatalFailure()) return;
  }
}

// True when `state` is one of the states a load takes over.
inline bool TakenOver(const Prepared& p, const std::string& state)
{
  const std::vector<std::string> states = TakenOverStates(p);
  return std::find(states.begin(), states.end(), state) != states.end();
}


// The mesh and the release area of the example project, and the commands that set the parameter
// of a simulation anew (under 30 degrees to 4 s).
inline const std::string kMeshes = "Project/DHMs";
inline const std::string kAnew = Set(kSimulation, "BedFrictionAngle", "30") + Set(kSimulation, "EndTime", "4");
// Values of a run anew long enough (about a second) that a save can come while it goes on.
inline const std::string kLonger = Set(kSimulation, "BedFrictionAngle", "30") + Set(kSimulation, "EndTime", "30") +
                                   Set(kSimulation, "DeltaOut", "10");
// Script lines that fail, saying why, when the release group of the simulation is empty or its
// mesh is not named: what a rename or a deletion of theirs that did not reach the disk whole leaves.
inline std::string HoldersNamed()
{
  return "get(\"" + kSimulation + "/ReleaseAreas\", \"ContainedObjectsList\", value);\n"
         "if (strlen(value) == 0) {\nfailed = 1;\nstrcpy(text, \"the release group of A is empty\");\n}\n"
         "get(\"" + kSimulation + "\", \"Mesh\", value);\n"
         "if (strlen(value) == 0) {\nfailed = 1;\nstrcpy(text, \"A names no mesh\");\n}\n";
}

// Whether the writer deletes A's release area: its group names none after it.
inline bool DeletesTheArea(const Writer& writer)
{
  return Contains(writer.commands, "\"DeleteComponent\", \"slope_0001\")");
}

// A script that waits (a minute at most) until the process a background start of A started has
// taken its run: a save that follows comes while that run goes on, or after its end, and never
// meets the start itself, so that the calls of the writer are the same at each try.
inline std::string WaitForTheStartTaken()
{
  return "int main()\n{\nchar status[256];\nint tries;\ntries = 0;\n"
         "get(\"" + kSimulation + "\", \"Status\", status);\n"
         "while (strcmp(status, \"started\") == 0 && tries < 1200) {\nsleep(0.05);\ntries = tries + 1;\n"
         "get(\"" + kSimulation + "\", \"Status\", status);\n}\nreturn 0;\n}\n";
}

// The writers both countdowns try from the base state.
inline std::vector<Writer> RunAndSaveWriters(const std::string& base)
{
  return {
      SavingFirst({"Run over a longer series", base, kAnew + Set(kSimulation, "Run", "")}, kAnew + SaveProject()),
      SavingFirst({"Continue over a longer series", base,
                   Set(kSimulation, "LoadTimeStep", Step(2)) + kAnew + Set(kSimulation, "Continue", "")},
                  Set(kSimulation, "LoadTimeStep", Step(2)) + kAnew + SaveProject()),
      {"DeleteTimesteps except last", base, Set(kSimulation, "DeleteTimesteps", "except last")},
      {"DeleteTimesteps all", base, Set(kSimulation, "DeleteTimesteps", "all")},
      {"SaveTimeStep", base, Set(kSimulation, "LoadTimeStep", Step(3)) + Set(kSimulation, "SaveTimeStep", "")},
      {"SaveProject of a changed simulation", base, Set(kSimulation, "BedFrictionAngle", "22") + SaveProject()},
      {"rename", base, Set(kSimulation, "Id", "B") + SaveProject()},
      {"DeleteComponent", base, Set("Project/Simulations", "DeleteComponent", "A") + SaveProject()},
      {"SaveProjectAs into a new directory", base, "set(\"\", \"SaveProjectAs\", \"../proj3\")\n", false, "proj3"},
      {"SaveProjectAs over a project with a run", base, "set(\"\", \"SaveProjectAs\", \"../proj2\")\n", false,
       "proj2"},
      SavingFirst({"RunInBackground", base, kAnew + Set(kSimulation, "RunInBackground", ""), true},
                  kAnew + SaveProject()),
      SavingFirst({"ContinueInBackground", base,
                   Set(kSimulation, "LoadTimeStep", Step(2)) + kAnew + Set(kSimulation, "ContinueInBackground", ""), true},
                  Set(kSimulation, "LoadTimeStep", Step(2)) + kAnew + SaveProject()),
      SavingFirst({"StartActive", base, kAnew + Set(kSimulation, "Active", "1") + Set("Project/Simulations", "StartActive", ""),
                   true},
                  kAnew + Set(kSimulation, "Active", "1") + SaveProject()),
      {"Interrupt", base, Set(kSimulation, "Interrupt", "")},
  };
}

// The processors this process may run on (a test pinned to two runs on two of the machine's).
inline int Processors()
{
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof(set), &set) == 0) return CPU_COUNT(&set);
  return int(std::thread::hardware_concurrency());
}

// Runs `work` on a few threads side by side (each takes its jobs from a shared counter) and waits
// for all of them.
inline void SideBySide(const std::function<void()>& work)
{
  std::vector<std::thread> pool;
  const int workers = std::clamp(Processors(), 2, 4);
  for (int i = 0; i < workers; ++i) pool.emplace_back(work);
  for (std::thread& t : pool) t.join();
}

// The fault lines of one writer ("N=…" and "started N=…"), the writer's own first, each by its
// call, one to a line.
inline std::string ListedByCall(std::vector<std::string> lines)
{
  std::sort(lines.begin(), lines.end(), [](const std::string& a, const std::string& b) {
    const bool sa = a.rfind("started", 0) == 0, sb = b.rfind("started", 0) == 0;
    if (sa != sb) return sb;
    return std::atol(a.c_str() + a.find('=') + 1) < std::atol(b.c_str() + b.find('=') + 1);
  });
  std::string list;
  for (const std::string& line : lines) list += "\n    " + line;
  return list;
}

// --- what A's holders name, through a save of what a load made of a rename's mark ---

// The mark of renames that the next load follows, in the directory of the project's top object.
inline const std::string kRenameMark = std::string("Project/") + kRenameMarkFile;

// The path in the tree that `relative` names from the object at `from` ("../../DHMs/x" from
// "Project/Simulations/A" is "Project/DHMs/x").
inline std::string PathFrom(std::string from, const std::string& relative)
{
  std::string part;
  for (std::istringstream parts(relative); std::getline(parts, part, '/');)
    if (part == "..") from = from.substr(0, from.find_last_of('/') == std::string::npos ? 0 : from.find_last_of('/'));
    else if (!part.empty() && part != ".") from += "/" + part;
  return from;
}

// What the holders of the simulation at `simulation` name, each path with what the object it names
// holds: the members of its release group with their depth and mass, and its mesh with its cell
// size and number of nodes; "names nothing" where a path leads to no object. Two loads of the same
// objects tell the same.
inline std::string HoldersOf(TorvuProcess& check, const std::string& simulation)
{
  const auto value = [&](const std::string& path, const std::string& attribute) {
    const std::string got = check.Get(path, attribute);
    return got.empty() ? "names nothing" : got;
  };
  const std::string group = simulation + "/ReleaseAreas";
  std::string held, member;
  const std::string members = check.Get(group, "ContainedObjectsList");
  for (size_t from = 0, at; from < members.size(); from = at + 8) {
    at = members.find("%AK_SEP%", from);
    if (at == std::string::npos) at = members.size();
    if (at == from) continue;
    const std::string path = PathFrom(group, members.substr(from, at - from));
    held += "area " + path + ": " + value(path, "Depth") + " m, " + value(path, "Mass") + " kg; ";
  }
  const std::string mesh = PathFrom(simulation, check.Get(simulation, "Mesh"));
  return held + "mesh " + mesh + ": " + value(mesh, "Dx") + " m, " + value(mesh, "NumVertices") + " nodes";
}

// After a load of `project` by `check` over a rename's mark that a writer left: the project is
// saved and loaded again, and every holder of A (under the name the mark gives it) names the same
// objects holding the same as after the first load (a mark is taken away by a save only once
// every holder wrote the path it follows). What does not hold, "" when all does.
inline std::string HoldersThroughASave(TorvuProcess& check, const std::string& project)
{
  const std::string id = check.Get(kSimulation, "Id");
  const std::string simulation = id.empty() ? kSimulation : "Project/Simulations/" + id;
  const std::string before = HoldersOf(check, simulation);
  if (const Answer saved = check.Do(SaveProject()); !saved.ok)
    return "the save after the load failed: " + saved.text.substr(0, 300);
  if (const Answer loaded = check.Do(Load(project)); !loaded.ok)
    return "the load after the save failed: " + loaded.text.substr(0, 300);
  if (const std::string after = HoldersOf(check, simulation); after != before)
    return "after a save and a load A's holders name other objects: " + after + " (before the save: " + before + ")";
  return "";
}

// --- names a pending rename or deletion left, asked for and typed in commands ---

// A script of the prepared state that runs each of the commands whatever each answers (a name asked
// for is refused, a path names nothing): what follows it runs on.
inline std::string EachCommand(const std::vector<std::string>& commands)
{
  std::string script = "int main()\n{\nchar text[256];\n";
  for (const std::string& command : commands) script += command.substr(0, command.size() - 1) + ";\n";
  return script + "get(\"\", \"Id\", text);\nreturn 0;\n}\n";
}
inline std::string AsksFor(const std::string& script) { return Set("", "ExecMacro", "../" + script + ".cint"); }

// A prepared state below `dir`, named `state`: "asking", the base with the example imported again
// beside A's mesh and area (slope_simulation_0001, slope_0002) and saved; or "renamed_away", made
// from "asking" (which must stand), with the second area renamed R2 by a process that quit with no
// save. Each holds the scripts of the writers.
inline void MakeAskingState(const std::string& base, const std::string& dir, const std::string& state)
{
  const std::string examples = TORVU_EXAMPLES, areas = "Project/ReleaseAreas", area = areas + "/slope_0001";
  const std::map<std::string, std::vector<std::string>> scripts = {
      // A simulation renamed T: a new one asked under its old name, and a value and a run typed there.
      {"simulation", {Set("Project/Simulations", "CreateSimulation", "A"), Set(kSimulation, "EndTime", "10"),
                      Set(kSimulation, "Run", "")}},
      // A's area renamed Q and its mesh R: an area and a terrain imported under their old names, a
      // depth, a member and a mesh typed there.
      {"names", {Set(areas, "LoadRelFile", examples + "/slope.rel"), Set(area, "Depth", "3"),
                 Set(kSimulation + "/ReleaseAreas", "AppendObject", area), Set("Project/DHMs", "Import", examples + "/slope.asc"),
                 Set(kSimulation, "Mesh", "../../DHMs/slope_simulation")}},
      // Another process's rename of the second area pending: a depth and a deletion typed on its
      // old name, and an area imported whose numbers pass it.
      {"old_name", {Set(areas + "/slope_0002", "Depth", "3"), Set(areas, "DeleteComponent", "slope_0002"),
                    Set(areas, "LoadRelFile", examples + "/slope.rel")}},
      // A's area deleted: the other area renamed, and an area imported, under its name.
      {"deleted", {Set(areas + "/slope_0002", "Id", "slope_0001"), Set(areas, "LoadRelFile", examples + "/slope.rel")}},
  };
  const std::string made = dir + "/" + state;
  fs::create_directories(dir);
  fs::copy(state == "asking" ? base : dir + "/asking", made, fs::copy_options::recursive);
  Torvu(made, "state.macro",
        Load("proj") + (state == "asking" ? Set("Project/DHMs", "Import", examples + "/slope.asc") + SaveProject()
                                          : Set(areas + "/slope_0002", "Id", "R2")));
  fs::remove(made + "/state.macro");
  for (const auto& [name, commands] : scripts) WriteFile(made + "/" + name + ".cint", EachCommand(commands));
}

// A raster of release depths (the terrain `raster`) imported, chosen by A's area and never saved,
// beside another area of the same outline: the run saves them, the raster before the area that
// names it (its save alone is the same with a SaveProject for the run).
inline Writer RunOverAnUnsavedRaster(const std::string& base, const std::string& raster)
{
  const std::string made = Set("Project/ReleaseDHMs", "Import", raster) +
                           Set("Project/ReleaseAreas/slope_0001", "RelDepFuncName", "from_ReleaseDHM_slope") +
                           Set("Project/ReleaseAreas", "LoadRelFile", std::string(TORVU_EXAMPLES) + "/slope.rel") +
                           Set(kSimulation + "/ReleaseAreas", "AppendObject", "Project/ReleaseAreas/slope_0002");
  return SavingFirst({"a run over a release-depth raster imported and never saved", base, made + Set(kSimulation, "Run", "")},
                     made + SaveProject());
}

// A state of the writers that ask for names (below `names`) made by `make`, the one it starts from
// first; false when `dir` is no such state.
inline bool MakesAskingState(const std::string& base, const std::string& names, const std::string& dir,
                             const std::function<bool(const std::string&)>& make)
{
  if (fs::path(dir).parent_path() != names) return false;
  if (fs::path(dir).filename() == "asking" || make(names + "/asking"))
    MakeAskingState(base, names, fs::path(dir).filename().string());
  return true;
}

// The writers over those states: each case with a quit with no save, and with a SaveProject.
inline std::vector<Writer> NameAskingWriters(const std::string& dir)
{
  const std::string asking = dir + "/asking", away = dir + "/renamed_away", area = "Project/ReleaseAreas/slope_0001";
  const struct {
    std::string name, state, commands;
    std::string first = "";  // a rename before another that may fail: what stays then
  } cases[] = {
      {"a simulation renamed, another asked under its name", asking, Set(kSimulation, "Id", "T") + AsksFor("simulation")},
      {"an area and a mesh renamed, others asked under their names", asking,
       Set(area, "Id", "Q") + Set(kMeshes + "/slope_simulation", "Id", "R") + AsksFor("names"), Set(area, "Id", "Q")},
      {"commands on a name another process's rename left", away, AsksFor("old_name")},
      {"an area deleted, another asked under its name", asking,
       Set("Project/ReleaseAreas", "DeleteComponent", "slope_0001") + AsksFor("deleted")},
  };
  std::vector<Writer> writers;
  for (const auto& c : cases) {
    writers.push_back({c.name + ", no save", c.state, c.commands});
    writers.push_back(SavingFirst({c.name + ", a SaveProject", c.state, c.commands + SaveProject()}, c.first));
  }
  return writers;
}

}  // namespace countdown
