// Files of a project that cannot be read, as another user's files cannot: the test hook
// "open:NAME" fails every open for reading of the files of that name in one process (CI may run
// as root, whom a missing read bit stops from nothing). The load names every object it could
// not read, and no writer writes over those files: each answers the failure, or works only on
// what it read whole; a run refuses only for what it reads. Refused commands change no file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "AK_ProjectMarks.h"
#include "Countdown.h"
#include "ExampleTerrain.h"
#include "SharedProjectProcesses.h"
#include "TestSupport.h"

namespace {

namespace fs = std::filesystem;

// A torvu process started in `dir` with the files of that name unreadable to it ("open"), or the
// directories of that name, which it cannot list ("list") or enter ("enter").
std::unique_ptr<TorvuProcess> WithUnreadable(const std::string& name, const std::string& dir,
                                             const std::string& how = "open")
{
  setenv("TORVU_FAIL", (how + ":" + name).c_str(), 1);
  auto process = std::make_unique<TorvuProcess>(dir);
  unsetenv("TORVU_FAIL");
  return process;
}

// Runs `each` over the items, a few processes at a time.
template <class Item>
void SideBySide(std::vector<Item>& items, const std::function<void(Item&)>& each)
{
  std::vector<std::thread> workers;
  size_t next = 0;
  std::mutex taking;
  for (int w = 0; w < 4; ++w)
    workers.emplace_back([&] {
      for (;;) {
        Item* item;
        {
          std::lock_guard<std::mutex> guard(taking);
          if (next == items.size()) return;
          item = &items[next++];
        }
        each(*item);
      }
    });
  for (std::thread& worker : workers) worker.join();
}

// proj ran at 16 degrees to 4 s (time steps at 0, 2 and 4 s); proj2, saved from it, ran anew at
// 22 degrees to 6 s.
struct TwoProjectsWithRuns : SharedExample {
  TwoProjectsWithRuns() : SharedExample(4, 2)
  {
    Torvu(Path(), "runs.macro",
          Load("proj") + Set(kSimulation, "BedFrictionAngle", "16") + Set(kSimulation, "Run", "") + SaveProject() +
              SaveAs("proj2") + Set(kSimulation, "BedFrictionAngle", "22") + Set(kSimulation, "EndTime", "6") +
              Set(kSimulation, "Run", "") + SaveProject());
  }
};

// The objects of the project whose files bear the name, by their paths below the top object.
std::vector<std::string> ObjectsWithFile(const std::string& project, const std::string& name)
{
  std::vector<std::string> objects;
  for (const auto& entry : fs::recursive_directory_iterator(project))
    if (entry.path().filename() == name)
      objects.push_back(fs::relative(entry.path().parent_path(), project).string());
  return objects;
}

// One name made unreadable: the project and proj2 copied into a directory of its own, a process
// that cannot read the files of that name loads the project, changes each object that has one,
// and tries every writer in turn.
void TryEveryWriter(const std::string& name, const std::string& dir, TorvuProcess& x)
{
  SCOPED_TRACE(name);
  const std::vector<std::string> objects = ObjectsWithFile(dir + "/proj", name);
  const bool simulation = name.rfind("ShallowWaterSimulation.", 0) == 0;
  const Files project = Tree(dir + "/proj"), other = Tree(dir + "/proj2");

  const Answer loaded = x.Do(Load());
  EXPECT_FALSE(loaded.ok);
  for (const std::string& object : objects)
    EXPECT_TRUE(Contains(loaded, (name.back() == 'r' ? "cannot load attributes for Viewer/" : "cannot open data for Viewer/") +
                                     object + " from file ../proj/" + object + "/" + name))
        << loaded;
  // Unchanged, the objects are left as they are, with a warning.
  EXPECT_TRUE(x.Do(SaveProject()).ok);
  for (const std::string& object : objects)
    EXPECT_NE(x.Log().find("WARNING:Viewer/" + object + " not saved, its files are left as they are: "), std::string::npos);

  std::string change;
  for (const std::string& object : objects) change += Set(object, "MacroRepetitions", "2");
  ASSERT_TRUE(x.Do(change).ok);
  const Answer saved = x.Do(SaveProject());
  EXPECT_FALSE(saved.ok);
  for (const std::string& object : objects)
    EXPECT_TRUE(Contains(saved, "Viewer/" + object + " not saved, its files are left as they are: it was loaded with "
                                "errors, and a change to it is saved only once it is loaded again whole: "))
        << saved;
  for (const std::string target : {"fresh", "proj2"}) {
    const Answer copied = x.Do(SaveAs("../" + target));
    EXPECT_FALSE(copied.ok) << target;
    for (const std::string& object : objects)
      EXPECT_TRUE(Contains(copied, "Viewer/" + object + " not saved to ../" + target + "/" + object +
                                       ": it was loaded with errors"))
          << copied;
  }
  EXPECT_FALSE(fs::exists(dir + "/fresh"));
  ExpectSameFiles(Tree(dir + "/proj2"), other, "proj2");

  // A run of A reads A with everything below it, its mesh and its release area: damage there
  // refuses every run, and changes no file; damage elsewhere is named in a WARNING, and the run
  // runs.
  const auto runReads = [](const std::string& object) {
    return object == kSimulation || object.rfind(kSimulation + "/", 0) == 0 ||
           object == "Project/DHMs/slope_simulation" || object == "Project/ReleaseAreas/slope_0001";
  };
  if (std::any_of(objects.begin(), objects.end(), runReads)) {
    for (const std::string& run : {Set(kSimulation, "Run", ""), ContinueTo(6), Set(kSimulation, "RunInBackground", "")}) {
      const Answer refused = x.Do(run);
      EXPECT_FALSE(refused.ok) << run;
      EXPECT_TRUE(Contains(refused, "Viewer/" + kSimulation + ": not run: what it reads was loaded with errors: ")) << refused;
      for (const std::string& object : objects) {
        EXPECT_TRUE(!runReads(object) || Contains(refused, "Viewer/" + object + " from file")) << refused;
      }
    }
    ExpectSameFiles(Tree(dir + "/proj"), project, Gist(x.Log()));
  } else {
    const Answer ran = x.Do(Set(kSimulation, "Run", ""));
    EXPECT_TRUE(ran.ok) << ran;
    for (const std::string& object : objects)
      EXPECT_TRUE(Contains(x.Log(), "WARNING: Viewer/" + kSimulation + ": Viewer/" + object +
                                        " was loaded with errors; the run does not read it: "))
          << Gist(x.Log());
    EXPECT_TRUE(Contains(x.Log(), "simulation A terminated")) << Gist(x.Log());
  }

  // A deletion of time steps reads the saved simulation and its time steps only.
  const Answer deleted = x.Do(Set(kSimulation, "DeleteTimesteps", "except last"));
  const Files after = Tree(dir + "/proj");
  EXPECT_EQ(deleted.ok, !simulation) << deleted;
  if (simulation) ExpectSameFiles(after, project, Gist(x.Log()));
  for (const std::string& object : objects)
    EXPECT_TRUE(after.count(object + "/" + name) && after.at(object + "/" + name) == project.at(object + "/" + name))
        << object;
  EXPECT_EQ(x.Quit(), 0);
}

}  // namespace

// Every name of an attribute or data file of the project in turn. The tries run side by side, each
// on copies of its own.
TEST(UnreadFiles, NoWriterWritesOverAFileThatCouldNotBeRead)
{
  TwoProjectsWithRuns p;
  std::set<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(p / "proj/Project"))
    if (const std::string extension = entry.path().extension().string(); extension == ".atr" || extension == ".dat")
      names.insert(entry.path().filename().string());
  ASSERT_GE(names.size(), 30u);

  struct Try {
    std::string name, dir;
    std::unique_ptr<TorvuProcess> process;
  };
  std::vector<Try> tries;
  for (const std::string& name : names) {
    const std::string dir = p / ("try_" + name);
    fs::create_directories(dir);
    for (const char* project : {"proj", "proj2"}) fs::copy(p / project, dir + "/" + project, fs::copy_options::recursive);
    tries.push_back({name, dir, WithUnreadable(name, dir + "/x")});
  }
  // A few processes at a time: each waits on its own for the answers of its own.
  std::vector<std::thread> workers;
  size_t next = 0;
  std::mutex taking;
  for (int w = 0; w < 4; ++w)
    workers.emplace_back([&] {
      for (;;) {
        Try* t;
        {
          std::lock_guard<std::mutex> guard(taking);
          if (next == tries.size()) return;
          t = &tries[next++];
        }
        TryEveryWriter(t->name, t->dir, *t->process);
      }
    });
  for (std::thread& worker : workers) worker.join();
}

// Refusals that are no damage change no file either: a run without a mesh to run on, and a save
// over proj2 of a series one of whose time steps cannot be read, refused before the first file of
// proj2, the top object's own among them.
TEST(UnreadFiles, RefusedCommandsChangeNoFile)
{
  TwoProjectsWithRuns p;
  const Files project = Tree(p / "proj"), other = Tree(p / "proj2");
  std::unique_ptr<TorvuProcess> x = WithUnreadable(File(2), p / "x");
  ASSERT_TRUE(x->Do(Load()).ok);
  for (const std::string target : {"proj2", "fresh"}) {
    const Answer copied = x->Do(SaveAs("../" + target));
    EXPECT_FALSE(copied.ok);
    EXPECT_TRUE(Contains(copied, "Viewer/" + kSimulation + ": not saved to ../" + target + "/" + kSimulation +
                                     ", its run directory is as it was: cannot read ../proj/" + kSimulation + "/" +
                                     File(2) + ": Permission denied"))
        << copied;
  }
  ExpectSameFiles(Tree(p / "proj2"), other, "proj2");
  EXPECT_FALSE(fs::exists(p / "fresh"));
  const Answer refused = x->Do(Set("Project/DHMs", "CreateMesh", "empty_simulation") +
                               Set(kSimulation, "Mesh", "../../DHMs/empty_simulation") + Set(kSimulation, "Run", ""));
  EXPECT_EQ(refused.text, "Viewer/" + kSimulation + ": not run: no valid mesh") << refused;
  ExpectSameFiles(Tree(p / "proj"), project, Gist(x->Log()));
  EXPECT_EQ(x->Quit(), 0);
}

// A command reads everything it refuses for before its first write: a run over a status it cannot
// read saves no value it was to run under, a deletion from a holder whose files could not be read
// removes no directory, and a save or a rename with a directory below that cannot be looked at
// writes and moves nothing.
TEST(UnreadFiles, ACommandReadsWhatItRefusesForBeforeItsFirstWrite)
{
  SharedExample p(4, 2);
  Torvu(p.Path(), "ran.macro", Load("proj") + Set(kSimulation, "Run", "") + SaveProject());
  struct Case {
    std::string how, name, commands, refusal;
  };
  const std::string status = "cannot read ../proj/" + kSimulation + "/.simulation_status: Permission denied";
  const Case cases[] = {
      {"open", ".simulation_status", Set(kSimulation, "EndTime", "8") + Set(kSimulation, "Run", ""), status},
      {"open", ".simulation_status", ContinueTo(8), status},
      {"open", "Simulations.atr", Set("Project/Simulations", "DeleteComponent", "A") + SaveProject(),
       "Viewer/" + kSimulation + ": not deleted: Viewer/Project/Simulations was loaded with errors"},
      {"enter", "PeakFlowDepth", Set(kSimulation, "BedFrictionAngle", "20") + SaveProject(),
       "/PeakFlowDepth/Colorbar: its directory cannot be looked at: "},
      {"enter", "PeakFlowDepth", Set(kSimulation, "Id", "B") + SaveProject(), "not renamed, its save would be refused: "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.how + ":" + c.name + " " + c.commands);
    const std::string dir = p / ("try_" + c.name + "_" + std::to_string(&c - cases));
    fs::create_directories(dir);
    fs::copy(p / "proj", dir + "/proj", fs::copy_options::recursive);
    std::unique_ptr<TorvuProcess> x = WithUnreadable(c.name, dir + "/x", c.how);
    (void)x->Do(Load());
    const Files before = Tree(dir + "/proj");
    const Answer refused = x->Do(c.commands);
    EXPECT_FALSE(refused.ok);
    EXPECT_TRUE(Contains(refused, c.refusal)) << refused;
    ExpectSameFiles(Tree(dir + "/proj"), before, Gist(x->Log()));
    EXPECT_EQ(x->Quit(), 0);
  }
}

namespace {

// The whole saved project, the top object's own files with it.
std::string LoadWhole() { return Set("", "ProjectDir", "../proj") + Set("", "LoadProject", ""); }

// One directory of the project made unreadable to a process, by listing or by entering.
struct DirectoryTry {
  std::string how, name, dir;
  std::unique_ptr<TorvuProcess> process;
};

// The load answers the failure with the system's reason; no save writes over the project, over
// proj2 or into a new directory; the run is refused; and a process that can read everything
// afterwards loads the project whole, from files that are all as they were.
void TryUnreadableDirectory(DirectoryTry& t)
{
  SCOPED_TRACE(t.how + ":" + t.name);
  TorvuProcess& x = *t.process;
  const Files project = Tree(t.dir + "/proj"), other = Tree(t.dir + "/proj2");

  const Answer loaded = x.Do(LoadWhole());
  EXPECT_FALSE(loaded.ok) << loaded;
  EXPECT_TRUE(Contains(loaded, "Permission denied")) << loaded;
  // Unchanged, every object is left as it is or written as it was read.
  (void)x.Do(SaveProject());
  ExpectSameFiles(Tree(t.dir + "/proj"), project, Gist(x.Log()));
  for (const std::string target : {"fresh", "proj2"}) {
    const Answer copied = x.Do(SaveAs("../" + target));
    EXPECT_FALSE(copied.ok) << target << ": " << copied;
  }
  EXPECT_FALSE(fs::exists(t.dir + "/fresh"));
  ExpectSameFiles(Tree(t.dir + "/proj2"), other, "proj2");

  // A run refuses for damage in what it reads, and changes no file; damage elsewhere it names in a
  // WARNING and runs.
  const Answer ran = x.Do(Set(kSimulation, "Run", ""));
  if (ran.ok) {
    EXPECT_TRUE(Contains(x.Log(), "was loaded with errors; the run does not read it")) << Gist(x.Log());
    EXPECT_FALSE(Contains(x.Log(), kSimulation + ": Viewer/" + kSimulation)) << Gist(x.Log());
  } else {
    ExpectSameFiles(Tree(t.dir + "/proj"), project, Gist(x.Log()));
  }
  EXPECT_EQ(x.Quit(), 0);

  // What stood there before, every file as it was, loads whole again.
  TorvuProcess y(t.dir + "/y");
  EXPECT_TRUE(y.Do(LoadWhole()).ok);
  EXPECT_EQ(y.Quit(), 0);
}

}  // namespace

// Every directory of a saved project in turn, its run directory among them, by listing and by
// entering. A directory that cannot be read is never taken for an empty one.
TEST(UnreadFiles, ADirectoryThatCannotBeReadIsNeverTakenForAnEmptyOne)
{
  TwoProjectsWithRuns p;
  // A hook names a directory by its name: one try covers every directory of that name.
  std::set<std::string> names{"proj"};
  for (const auto& entry : fs::recursive_directory_iterator(p / "proj"))
    if (entry.is_directory()) names.insert(entry.path().filename().string());
  ASSERT_GE(names.size(), 20u);

  std::vector<DirectoryTry> tries;
  const auto add = [&](const std::string& how, const std::string& name) {
    const std::string dir = p / ("try_" + how + "_" + std::to_string(tries.size()));
    fs::create_directories(dir);
    for (const char* project : {"proj", "proj2"}) fs::copy(p / project, dir + "/" + project, fs::copy_options::recursive);
    tries.push_back({how, name, dir, WithUnreadable(name, dir + "/x", how)});
  };
  for (const std::string how : {"list", "enter"})
    for (const std::string& name : names) add(how, name);
  // The top object's files lie beside the project's directories.
  for (const std::string name : {"TerminalController.atr", "TerminalController.dat"}) add("open", name);
  SideBySide<DirectoryTry>(tries, [](DirectoryTry& t) { TryUnreadableDirectory(t); });
}

namespace {

// One file or directory of a run directory that a process cannot read: the process a background
// start runs ("started"), the process that starts it ("launcher"), or the next taker of the lock
// of a run that was killed ("taker").
struct StartedTry {
  std::string who, how, name, dir;
  std::unique_ptr<TorvuProcess> process;
};

std::string FirstWord(const std::string& text) { return text.substr(0, text.find_first_of(" \n")); }

// The process has ended (a zombie has too).
bool Ended(const std::string& pid)
{
  const std::string stat = ReadFile("/proc/" + pid + "/stat");
  const size_t close = stat.rfind(')');
  return close == std::string::npos || stat.compare(close, 3, ") Z") == 0;
}

// The process a lock file names has ended.
bool HolderGone(const std::string& lock)
{
  const std::string pid = FirstWord(ReadFile(lock));
  if (pid.empty()) return !fs::exists(lock);
  return Ended(pid);
}

// Waits until the run that a start handed its lock to is over: the lock gone or its holder
// ended, and the process the lock named at the start (`pid`, "" when it was gone already) ended.
bool WaitForStartedRun(const std::string& run, const std::string& pid)
{
  return WaitUntil([&] { return HolderGone(run + "/.simulation_lock") && (pid.empty() || Ended(pid)); });
}

Files TimeStepsIn(const std::string& run)
{
  Files steps;
  for (const auto& [name, bytes] : Tree(run))
    if (name.size() > 9 && name.compare(name.size() - 9, 9, ".TimeStep") == 0) steps[name] = bytes;
  return steps;
}

// The launcher saves EndTime 6 and starts the run. Its process either runs it whole (to 6 s), or
// says why not, naming what it could not read, with every time step as it was; what it leaves
// behind is ended by the next load, which loads the project whole.
void TryStartedRun(StartedTry& t, bool mustRefuse)
{
  SCOPED_TRACE(t.how + ":" + t.name);
  const std::string run = t.dir + "/proj/" + kSimulation;
  TorvuProcess& x = *t.process;
  ASSERT_TRUE(x.Do(Load() + Set(kSimulation, "EndTime", "6") + SaveProject()).ok);
  const Files steps = TimeStepsIn(run);
  const Answer started = x.Do(Set(kSimulation, "RunInBackground", ""));
  ASSERT_TRUE(started.ok) << started;
  ASSERT_TRUE(WaitForStartedRun(run, FirstWord(ReadFile(run + "/.simulation_lock"))))
      << ReadFile(run + "/.simulation_status") << Gist(x.Log());
  const std::string info = ReadFile(run + "/.simulation_info");
  const bool whole = fs::exists(run + "/" + File(6));
  if (mustRefuse) {
    EXPECT_FALSE(whole) << info;
  }
  if (!whole) {
    // A process that cannot enter the directory cannot say anything there either, nor one that
    // cannot read the macro that tells it what to run: the next taker of the lock ends the start.
    if (t.how != "enter" && t.name != "start.macro") {
      EXPECT_TRUE(Contains(info, "not run: ") && Contains(info, t.name) && Contains(info, "Permission denied")) << info;
    }
    ExpectSameFiles(TimeStepsIn(run), steps, info);
  }
  EXPECT_EQ(x.Quit(), 0);
  TorvuProcess y(t.dir + "/y");
  EXPECT_TRUE(y.Do(Load()).ok);
  EXPECT_EQ(y.Quit(), 0);
  EXPECT_EQ(FirstWord(ReadFile(run + "/.simulation_status")), "finished");
}

// The launcher loads the project and starts A's run to 6 s, or refuses, naming the file and the
// reason, with every file of the run directory as it was and nothing started.
void TryLaunch(StartedTry& t, bool mustRefuse)
{
  SCOPED_TRACE("launcher " + t.name);
  const std::string run = t.dir + "/proj/" + kSimulation;
  TorvuProcess& x = *t.process;
  (void)x.Do(Load());
  const Files before = Tree(run);
  const Answer started = x.Do(Set(kSimulation, "EndTime", "6") + Set(kSimulation, "RunInBackground", ""));
  if (started.ok) {
    EXPECT_FALSE(mustRefuse) << Gist(x.Log());
    EXPECT_TRUE(WaitForStartedRun(run, FirstWord(ReadFile(run + "/.simulation_lock"))));
    EXPECT_TRUE(fs::exists(run + "/" + File(6))) << ReadFile(run + "/.simulation_info");
  } else {
    EXPECT_TRUE(Contains(started, t.name + ": Permission denied")) << started;
    ExpectSameFiles(Tree(run), before, Gist(x.Log()));
  }
  EXPECT_EQ(x.Quit(), 0);
}

// The next taker of the lock of a killed run ends it, or refuses, naming the file and the reason,
// with the run left as the kill left it: nothing recorded, and its status still "running". A
// process that can read everything ends it then.
void TryTakeOver(StartedTry& t, bool mustRefuse)
{
  SCOPED_TRACE("taker " + t.name);
  const std::string run = t.dir + "/proj/" + kSimulation;
  const Files killed = Tree(run), steps = TimeStepsIn(run);
  const Answer loaded = t.process->Do(Load());
  if (FirstWord(ReadFile(run + "/.simulation_status")) == "finished") {
    EXPECT_FALSE(mustRefuse) << loaded;
  } else {
    // A run takes the lock over as well.
    const Answer ran = t.process->Do(Set(kSimulation, "Run", ""));
    for (const Answer& answer : {loaded, ran}) {
      EXPECT_FALSE(answer.ok);
      EXPECT_TRUE(Contains(answer, "cannot read ") && Contains(answer, t.name + ": Permission denied")) << answer;
    }
    for (const std::string file : {".simulation_status", "ShallowWaterSimulation.atr"})
      EXPECT_EQ(Tree(run)[file], killed.at(file)) << file;
    ExpectSameFiles(TimeStepsIn(run), steps, loaded.text);
  }
  EXPECT_EQ(t.process->Quit(), 0);
  TorvuProcess z(t.dir + "/z");
  EXPECT_TRUE(z.Do(Load()).ok);
  EXPECT_EQ(z.Quit(), 0);
  EXPECT_EQ(FirstWord(ReadFile(run + "/.simulation_status")), "finished");
}

}  // namespace

// Every file of the run directory in turn, and the directory itself, made unreadable to the
// process a background start runs (the hook handed to it alone). A start list, a status, a lock
// or a series stamp that cannot be read refuses the run: none is taken for "nothing expected",
// "unknown", "nobody's" or "none".
TEST(UnreadFiles, AStartedRunNeverTakesAFileItCannotReadForAnEmptyOne)
{
  SharedExample p(4, 2);
  Torvu(p.Path(), "ran.macro", Load("proj") + Set(kSimulation, "Run", "") + SaveProject());
  // The files a start writes are there before the start that reads them, and the start is over,
  // its process too, before they are copied.
  Torvu(p.Path(), "started.macro", Load("proj") + Set(kSimulation, "RunInBackground", ""));
  ASSERT_TRUE(WaitUntilFinished(p.Run()) && countdown::WaitForNoProcessOf(p.Path()));
  // A run killed half-way, whose lock, status "running" and values stand for the next taker.
  const std::string killed = p / "killed", killedRun = killed + "/proj/" + kSimulation;
  fs::create_directories(killed + "/x");
  fs::copy(p / "proj", killed + "/proj", fs::copy_options::recursive);
  Torvu(killed + "/x", "killed.macro", Load() + Set(kSimulation, "EndTime", "400") + Set(kSimulation, "RunInBackground", ""));
  ASSERT_TRUE(WaitUntil([&] { return fs::exists(killedRun + "/" + File(6)); })) << ReadFile(killedRun + "/.simulation_info");
  ASSERT_GT(KillRun(killedRun, killed + "/x"), 0);
  ASSERT_TRUE(countdown::WaitForNoProcessOf(killed + "/x"));
  ASSERT_EQ(FirstWord(ReadFile(killedRun + "/.simulation_status")), "running");
  std::vector<StartedTry> tries;
  const auto add = [&](const std::string& who, const std::string& how, const std::string& name) {
    const std::string dir = p / ("started_" + std::to_string(tries.size()));
    fs::create_directories(dir);
    fs::copy(who == "taker" ? killed + "/proj" : p / "proj", dir + "/proj", fs::copy_options::recursive);
    setenv(who == "started" ? "TORVU_FAIL_STARTED" : "TORVU_FAIL", (how + ":" + name).c_str(), 1);
    tries.push_back({who, how, name, dir, std::make_unique<TorvuProcess>(dir + (who == "taker" ? "/y" : "/x"))});
    unsetenv(who == "started" ? "TORVU_FAIL_STARTED" : "TORVU_FAIL");
  };
  for (const auto& entry : fs::directory_iterator(p.Run()))
    if (entry.is_regular_file()) add("started", "open", entry.path().filename().string());
  for (const std::string how : {"list", "enter"}) add("started", how, "A");
  for (const std::string name : {".simulation_status", ".simulation_info", ".simulation_values", ".simulation_start",
                                 ".simulation_series"})
    add("launcher", "open", name);
  for (const auto& entry : fs::directory_iterator(killedRun))
    if (const std::string name = entry.path().filename().string(); name[0] == '.') add("taker", "open", name);
  ASSERT_GE(tries.size(), 20u);
  SideBySide<StartedTry>(tries, [](StartedTry& t) {
    const std::set<std::string> read{".simulation_start", ".simulation_status", ".simulation_lock", ".simulation_series",
                                     "ShallowWaterSimulation.atr", "ShallowWaterSimulation.dat", "start.macro"};
    const std::set<std::string> launcherReads{".simulation_status", ".simulation_info", ".simulation_values"};
    const std::set<std::string> takerReads{".simulation_lock", ".simulation_status", ".simulation_info",
                                           ".simulation_values"};
    if (t.who == "started") TryStartedRun(t, t.how != "open" || read.count(t.name));
    if (t.who == "launcher") TryLaunch(t, launcherReads.count(t.name));
    if (t.who == "taker") TryTakeOver(t, takerReads.count(t.name));
  });
}

// A terrain cut short that A does not run on is named in a WARNING, and A runs; cut short, the
// terrain it runs on refuses the run, which changes no file.
TEST(UnreadFiles, ATerrainCutShortRefusesOnlyTheRunOnIt)
{
  SharedExample p(2, 1);
  Torvu(p.Path(), "terrain.macro", Load("proj") + Set("Project/DHMs", "CreateMesh", "unused") + SaveProject());
  const std::string record = ReadFile(p / "proj/Project/DHMs/slope_simulation/DHM.dat");
  ASSERT_GT(record.size(), 2000u);
  for (const std::string terrain : {"unused", "slope_simulation"}) {
    SCOPED_TRACE(terrain);
    WriteFile(p / ("proj/Project/DHMs/" + terrain + "/DHM.dat"), record.substr(0, 2000));
    TorvuProcess x(p / ("x_" + terrain));
    EXPECT_FALSE(x.Do(Load()).ok);
    const Files before = Tree(p / "proj");
    const Answer ran = x.Do(Set(kSimulation, "Run", ""));
    EXPECT_TRUE(Contains(x.Log(), "WARNING: Viewer/" + kSimulation +
                                      ": Viewer/Project/DHMs/unused was loaded with errors; the run does not read it: "
                                      "cannot load data for Viewer/Project/DHMs/unused"))
        << Gist(x.Log());
    if (terrain == "unused") {
      EXPECT_TRUE(ran.ok) << ran;
      EXPECT_TRUE(Contains(x.Log(), "simulation A terminated")) << Gist(x.Log());
      EXPECT_TRUE(fs::exists(p / ("proj/" + kSimulation + "/" + File(2))));
    } else {
      EXPECT_FALSE(ran.ok);
      EXPECT_TRUE(Contains(ran, "Viewer/" + kSimulation + ": not run: what it reads was loaded with errors: cannot "
                                "load data for Viewer/Project/DHMs/slope_simulation"))
          << ran;
      ExpectSameFiles(Tree(p / "proj"), before, Gist(x.Log()));
    }
    EXPECT_EQ(x.Quit(), 0);
  }
}

// A run going on in the background, and processes that cannot read its lock: none takes the run for
// none. The start files are refused beside it, its status is answered as unreadable, and an
// interrupt, which reads the status alone, reaches it. A run that cannot read its own status
// (something else stands in its place) stops where it is and says why, and goes on with a
// Continue once the status can be read again.
TEST(UnreadFiles, ALiveRunIsNeverTakenForNoneByWhoCannotReadItsLock)
{
  SharedExample p(4, 2);
  const std::string lock = p.Run() + "/.simulation_lock", status = p.Run() + "/.simulation_status";
  const auto start = [&](const std::string& home) {
    Torvu(home, "start.macro", Load() + Set(kSimulation, "EndTime", "400") + Set(kSimulation, "RunInBackground", ""));
    EXPECT_TRUE(WaitUntil([&] { return FirstWord(p.Status()) == "running" && !HolderGone(lock); }))
        << ReadFile(p.Run() + "/.simulation_info");
    return FirstWord(ReadFile(lock));
  };
  const std::string pid = start(p / "l");
  const std::string refused = "cannot read ../proj/" + kSimulation + "/.simulation_lock: Permission denied";
  std::unique_ptr<TorvuProcess> w = WithUnreadable(".simulation_lock", p / "w");
  const Answer loaded = w->Do(Load());
  EXPECT_TRUE(Contains(loaded, refused)) << loaded;
  const Answer written = w->Do(Set(kSimulation, "Active", "1") +
                               Set("Project/Simulations", "WriteStartMacroAndBat", "../proj/" + kSimulation));
  EXPECT_EQ(written.text, "start files of '../proj/" + kSimulation + "' not written: " + refused) << written;
  EXPECT_TRUE(fs::exists(p.Run() + "/.simulation_start"));
  EXPECT_EQ(w->Get(kSimulation, "Status"), "unreadable: ../proj/" + kSimulation + "/.simulation_lock: Permission denied");
  EXPECT_FALSE(w->Do(Set(kSimulation, "RunInBackground", "")).ok);
  EXPECT_TRUE(w->Do(Set(kSimulation, "Interrupt", "")).ok);
  EXPECT_TRUE(WaitForStartedRun(p.Run(), pid));
  EXPECT_FALSE(fs::exists(p.Run() + "/" + File(400)));
  EXPECT_EQ(w->Quit(), 0);

  // The run's own interrupt check.
  const std::string second = start(p / "l2");
  fs::remove(status);
  fs::create_directory(status);
  EXPECT_TRUE(WaitForStartedRun(p.Run(), second));
  fs::remove(status);
  const std::string info = ReadFile(p.Run() + "/.simulation_info");
  EXPECT_TRUE(Contains(info, "whether it is interrupted cannot be told: cannot read ../proj/" + kSimulation +
                                 "/.simulation_status: Is a directory"))
      << info;
  const double stopped = std::atof(info.substr(info.find("stopped at time ") + 16).c_str());
  TorvuProcess c(p / "c");
  const Answer continued = c.Do(Load() + ContinueTo(stopped + 2));
  EXPECT_TRUE(continued.ok) << continued;
  EXPECT_TRUE(fs::exists(p.Run() + "/" + File(stopped + 2))) << stopped;
  EXPECT_EQ(c.Quit(), 0);
}

// A rename of the release area that the simulation's group names, not yet saved, then a load that
// cannot enter the directory of the release areas: the load names the failure and keeps the
// pending rename, which it cannot check. The next load, which can, follows it; its save writes the
// group with the new name, and the run takes the area under it.
TEST(UnreadFiles, ALoadThatCannotEnterARenamedObjectsContainerKeepsTheRename)
{
  SharedExample p(4, 2);
  const std::string area = "Project/ReleaseAreas/slope_0001";
  {
    TorvuProcess r(p / "r");
    ASSERT_TRUE(r.Do(Load() + Set(area, "Id", "R2")).ok);
    EXPECT_EQ(r.Quit(), 0);
  }
  ASSERT_TRUE(fs::is_directory(p / "proj/Project/ReleaseAreas/R2"));
  std::unique_ptr<TorvuProcess> x = WithUnreadable("ReleaseAreas", p / "x", "enter");
  const Answer loaded = x->Do(Load());
  EXPECT_FALSE(loaded.ok);
  EXPECT_TRUE(Contains(loaded, "Permission denied")) << loaded;
  EXPECT_EQ(x->Quit(), 0);

  TorvuProcess y(p / "y");
  const Answer again = y.Do(Load());
  EXPECT_TRUE(again.ok) << again;
  const Answer saved = y.Do(SaveProject());
  EXPECT_TRUE(saved.ok) << saved;
  EXPECT_EQ(y.Quit(), 0);
  std::string group;
  for (const auto& entry : fs::directory_iterator(RunOf(p / "proj") + "/ReleaseAreas"))
    if (entry.path().extension() == ".atr") group += ReadFile(entry.path().string());
  EXPECT_TRUE(Contains(group, "R2")) << group;
  EXPECT_FALSE(Contains(group, "slope_0001")) << group;
  TorvuProcess z(p / "z");
  EXPECT_TRUE(z.Do(Load()).ok);
  const Answer ran = z.Do(Set(kSimulation, "Run", ""));
  EXPECT_TRUE(ran.ok) << ran;
  EXPECT_EQ(z.Quit(), 0);
}

// A rename not yet saved, then a save of the project into a new directory by a process that cannot
// read the rename's mark: the holders it loaded still name the old path, so a copy without the mark
// would name an object that is not there. The save is refused naming the mark; it makes no
// directory and changes nothing of the source.
TEST(UnreadFiles, ACopyOverARenameMarkThatCannotBeReadIsRefused)
{
  SharedExample p(4, 2);
  {
    TorvuProcess r(p / "r");
    ASSERT_TRUE(r.Do(Load() + Set("Project/ReleaseAreas/slope_0001", "Id", "R2")).ok);
    EXPECT_EQ(r.Quit(), 0);
  }
  const Files source = Tree(p / "proj");
  ASSERT_TRUE(source.count(std::string("Project/") + kRenameMarkFile));
  const std::string copy = p / "copy";
  std::unique_ptr<TorvuProcess> x = WithUnreadable(kRenameMarkFile, p / "x");
  (void)x->Do(Load());
  const Answer saved = x->Do(Set("", "SaveProjectAs", copy));
  EXPECT_FALSE(saved.ok) << saved;
  EXPECT_TRUE(Contains(saved, kRenameMarkFile)) << saved;
  EXPECT_EQ(x->Quit(), 0);
  EXPECT_FALSE(fs::exists(copy));
  ExpectSameFiles(Tree(p / "proj"), source, "the source after the refused copy");
}

// A rename not yet saved, then a save of the project into a new directory by a process that reads
// the rename's mark: the copy carries the mark, or none of its files names the old path; a load of
// it leads the simulation's group to the renamed area.
TEST(UnreadFiles, ACopyCarriesThePendingRenamesOfItsSourceOrNoneIsPending)
{
  SharedExample p(4, 2);
  {
    TorvuProcess r(p / "r");
    ASSERT_TRUE(r.Do(Load() + Set("Project/ReleaseAreas/slope_0001", "Id", "R2")).ok);
    EXPECT_EQ(r.Quit(), 0);
  }
  const std::string copy = p / "copy";
  TorvuProcess x(p / "x");
  ASSERT_TRUE(x.Do(Load()).ok);
  const Answer saved = x.Do(Set("", "SaveProjectAs", copy));
  EXPECT_TRUE(saved.ok) << saved;
  EXPECT_EQ(x.Quit(), 0);
  ASSERT_TRUE(fs::exists(copy + "/Project/ReleaseAreas/R2")) << saved;
  if (!fs::exists(copy + "/Project/.objects_renamed")) {
    for (const auto& [name, bytes] : Tree(copy)) EXPECT_FALSE(Contains(bytes, "ReleaseAreas/slope_0001")) << name;
  }
  TorvuProcess y(p / "y");
  const Answer loaded = y.Do(Load("../copy") + "get(\"" + kSimulation + "/ReleaseAreas\", \"ContainedObjectsList\", value);");
  EXPECT_TRUE(loaded.ok && Contains(loaded, "R2")) << loaded;
  EXPECT_EQ(y.Quit(), 0);
}
