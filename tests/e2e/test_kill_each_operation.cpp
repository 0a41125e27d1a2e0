// Every writer killed right before each of its calls that change the disk in turn: a dry run counts
// the calls of the command (TORVU_FAIL_COUNT), then the command runs again for each N with the
// process killed with SIGKILL right before its Nth call (TORVU_KILL_AT, and TORVU_KILL_STARTED_AT
// for the process a background start runs), each in a fresh copy of a small project, a few side by
// side. After each kill a fresh process loads every project the writer touched and runs a plain
// Continue to a later time there. The checks:
// - the series is of one history: every time step is that of the project before the writer, or
//   of the project after the whole writer, each continued the same way (the two reference
//   histories are computed once per writer); for a writer that saves the project before its run,
//   also that of the project its save alone leaves, continued, whose Continue may refuse alike;
// - the saved record names a time step that is there, or none;
// - no lock and no "started" is left after the load;
// - a new directory of a killed save is absent, or loads whole and goes on;
// - the source of a copy never changes;
// - the process tried was killed: the writer's own, or the one its background start started.
// The writers include a load over each state a kill leaves (see MakeTakenOverState).
// A writer with many calls is not killed at each: every call of the first and last kEdge, every
// call that touches a mark, a lock, a record, a status or the run's values (kKeyFiles, as the dry
// run lists its calls), and kSpread calls spread evenly over the rest, so that each writer stays
// a few minutes on two cores. Each writer is a test of its own, named after it, that makes only
// the states its writer starts from: ctest spreads them, and a slow writer is named by its time.
// TORVU_COUNTDOWN_ALL=1 kills at every call of every writer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "Countdown.h"

namespace {

using namespace countdown;

// The time the plain Continue after each kill goes on to: past the end of every run of a writer,
// and two seconds past the last time step of its prepared state.
double Later(const Writer& writer)
{
  double last = 6;
  for (const auto& entry : TimeStepContents(writer.prepared + "/proj/" + kSimulation))
    last = std::max(last, TimeOf(entry.first));
  const std::string endTime = "\"EndTime\", \"";
  for (size_t at = writer.commands.find(endTime); at != std::string::npos; at = writer.commands.find(endTime, at + 1))
    last = std::max(last, std::atof(writer.commands.c_str() + at + endTime.size()));
  return last + 2;
}
// The calls killed of a writer with many: the first and last kEdge (how the command begins and
// ends), and kSpread between them; the key calls carry the weight, and every writer has its own.
constexpr long kEdge = 3, kSpread = 5;

// The projects a writer touches.
std::vector<std::string> Touched(const Writer& writer)
{
  std::vector<std::string> projects = {"proj"};
  if (!writer.target.empty()) projects.push_back(writer.target);
  return projects;
}

// The data of each release area that a member list (as a group holds or saves it) names in the
// project `project`.
std::set<std::string> AreasData(const std::string& project, const std::string& members)
{
  std::set<std::string> data;
  const std::string container = "ReleaseAreas/";
  for (size_t at = members.find(container); at != std::string::npos; at = members.find(container, at + 1)) {
    size_t end = at + container.size();
    while (end < members.size() && (std::isalnum(static_cast<unsigned char>(members[end])) || members[end] == '_')) ++end;
    const std::string id = members.substr(at + container.size(), end - at - container.size());
    if (const std::string bytes = ReadFile(project + "/Project/ReleaseAreas/" + id + "/ReleaseArea.dat"); !bytes.empty())
      data.insert(bytes);
  }
  return data;
}

// What the load and the Continue after a writer found.
struct Continued {
  std::vector<std::string> faults;
  Series series;  // after the Continue
  Files source;   // the tree of proj after its load, before its Continue
};

// Loads every project the writer touched in a fresh process, checks what the load left, and
// continues the simulation A of each to its later time.
Continued LoadAndContinue(const Writer& writer, const std::string& dir)
{
  Continued c;
  const auto fault = [&](const std::string& what) { c.faults.push_back(what); };
  auto check = StartWith(dir + "/check", {});
  for (const std::string& project : Touched(writer)) {
    // A new directory of a killed save may be absent.
    if (!fs::exists(dir + "/" + project)) continue;
    const bool marked = fs::exists(dir + "/" + project + "/" + kRenameMark);
    const Answer loaded = check->Do(Load(dir + "/" + project));
    if (!loaded.ok) {
      fault("the load of " + project + " failed: " + loaded.text.substr(0, 300));
      continue;
    }
    for (const std::string& run : RunDirectories(dir)) {
      if (run.rfind(project + "/", 0) != 0) continue;
      if (fs::exists(RunPath(dir, run) + "/.simulation_lock"))
        fault(run + ": a lock is left after the load: " + ReadFile(RunPath(dir, run) + "/.simulation_lock"));
      if (ReadFile(RunPath(dir, run) + "/.simulation_status") == "started\n")
        fault(run + ": \"started\" is left after the load");
      if (!RecordIsThere(RunPath(dir, run)))
        fault(run + ": after the load the saved record names a time step that is not there");
    }
    if (project == "proj") c.source = MaskedTree(dir + "/proj");
    if (!fs::exists(dir + "/" + project + "/" + kSimulation + "/ShallowWaterSimulation.atr")) continue;
    // Every holder names what it named under one name: no group emptied, no mesh dropped (but by a
    // writer that deletes the area).
    const Answer held = check->Do(HoldersNamed());
    if (!held.ok && !DeletesTheArea(writer)) fault(project + ": " + held.text);
    // A rename's mark stood: what the load made of it lasts through a save and the next load.
    if (const std::string lost = marked ? HoldersThroughASave(*check, dir + "/" + project) : ""; !lost.empty())
      fault(project + ": " + lost);
    // A's time steps were computed on the mesh and the release areas of the prepared state. On
    // another terrain or area under their names the plain Continue is refused: it would go on from
    // them on other inputs.
    const Answer mesh = check->Do("get(\"" + kSimulation + "\", \"Mesh\", value);");
    const std::string meshData = mesh.ok && !mesh.text.empty()
                                     ? ReadFile(dir + "/" + project + "/" + kSimulation + "/" + mesh.text + "/DHM.dat")
                                     : "";
    const Answer group = check->Do("get(\"" + kSimulation + "/ReleaseAreas\", \"ContainedObjectsList\", value);");
    const std::set<std::string> before = AreasData(writer.prepared + "/proj", ReadFile(writer.prepared + "/proj/" +
                                                                                       kSimulation + "/ReleaseAreas/Group.atr"));
    const std::set<std::string> areas = AreasData(dir + "/" + project, group.ok ? group.text : "");
    const bool otherInputs =
        (!meshData.empty() && meshData != ReadFile(writer.prepared + "/proj/" + kMeshes + "/slope_simulation/DHM.dat")) ||
        std::any_of(areas.begin(), areas.end(), [&](const std::string& data) { return !before.count(data); });
    const Answer continued = check->Do(ContinueTo(Later(writer)));
    if (otherInputs && continued.ok) fault("the Continue of " + project + " went on on other inputs than its time steps'");
    if (!otherInputs && !continued.ok) fault("the Continue of " + project + " failed: " + continued.text.substr(0, 300));
    if (!RecordIsThere(RunPath(dir, project + "/A")))
      fault(project + "/A: after the Continue the saved record names a time step that is not there");
  }
  EXPECT_EQ(check->Quit(), 0);
  c.series = SeriesIn(dir);
  return c;
}

// What a writer copies from, within proj (its whole project for a save elsewhere, the simulation
// A for a clone): "" for a writer that copies nothing, "." for all of proj.
std::string CopySource(const Writer& writer)
{
  if (!writer.target.empty()) return ".";
  return Contains(writer.commands, "CloneSimulation") ? kSimulation : "";
}

// The files of a tree below a directory of it ("." for all).
Files Below(const Files& tree, const std::string& directory)
{
  if (directory == ".") return tree;
  Files below;
  for (const auto& entry : tree)
    if (entry.first.rfind(directory + "/", 0) == 0) below.insert(entry);
  return below;
}

// A fresh copy of the writer's prepared state in `dir`.
void Fresh(const Writer& writer, const std::string& dir)
{
  fs::remove_all(dir);
  fs::create_directories(dir);
  fs::copy(writer.prepared, dir, fs::copy_options::recursive);
}

// The writer's commands as a macro on the copy in `dir`.
std::string Macro(const Writer& writer, const std::string& dir) { return Load(dir + "/proj") + writer.commands; }

// What the next load leaves of the objects a writer makes: the directory of each new object (one
// with an attribute file that the whole writer leaves and the prepared state has not) holds every
// attribute and data file the whole writer leaves there, or nothing at all; and no temporary of the
// program (".~" names, a lock's copy of a taker) stands anywhere in proj.
std::string NewObjectsWholeOrAbsent(const Files& got, const Files& before, const Files& done)
{
  const auto objectFile = [](const std::string& name) {
    const std::string extension = fs::path(name).extension().string();
    return extension == ".atr" || extension == ".dat";
  };
  const auto below = [](const Files& tree, const std::string& directory) {
    std::vector<std::string> names;
    for (const auto& entry : tree)
      if (entry.first.rfind(directory + "/", 0) == 0) names.push_back(entry.first);
    return names;
  };
  std::string found;
  for (const auto& entry : got)
    if (Contains(entry.first, ".~") || Contains(entry.first, ".simulation_lock.")) found += entry.first + " is left; ";
  std::set<std::string> made;
  for (const auto& entry : done)
    if (const std::string directory = fs::path(entry.first).parent_path().string();
        objectFile(entry.first) && below(before, directory).empty())
      made.insert(directory);
  for (const std::string& directory : made) {
    if (below(got, directory).empty()) continue;
    for (const std::string& file : below(done, directory))
      if (objectFile(file) && !got.count(file)) found += directory + " is neither whole nor absent: " + file + " is missing; ";
  }
  return found;
}

// Each writer's two reference histories: its prepared state continued, and its whole run continued.
struct Reference {
  Series before, done;
  Files doneTree;  // proj after a load of what the whole writer left
  Files source;  // proj after a load of the prepared state
  // For a writer that saves first: its save alone, continued, and the refusals of that Continue,
  // which a kill right after the save meets the same way.
  std::optional<Continued> saved;
};


// The states the writers start from, below `root`: the prepared states, and a few made from the
// base for some writers alone; and the files outside them that writers import. None of them is made here.
struct States {
  explicit States(const std::string& root)
      : prepared(PreparedBelow(root)), two(root + "/two"), beside(root + "/beside"), higher(root + "/higher"),
        moved(root + "/moved"), names(root + "/names")
  {
  }
  Prepared prepared;
  std::string two, beside;
  std::string higher, moved;  // made with the base
  std::string names;  // the states of the writers that ask for names a pending rename or deletion left
};

// Makes the state `dir` of `s` unless this process made it before, and first the base, which every
// other is made from; false when it cannot be made.
bool MakeState(const States& s, const std::string& dir)
{
  const std::string base = s.prepared.base;
  if (dir != base && !MakeState(s, base)) return false;
  return PrepareOnce(dir, [&] {
    if (dir == base) {
      MakeBase(base);
      // Another terrain of the example's grid, every height ×1.05, to import under the name of A's mesh.
      WriteScaledTerrain(s.higher, 1.05);
      // The example's release moved by 20 m, to import under the name of A's area.
      WriteShiftedRelease(s.moved, 20);
      return;
    }
    if (TakenOver(s.prepared, dir)) return MakeTakenOverState(s.prepared, dir);
    if (MakesAskingState(base, s.names, dir, [&](const std::string& first) { return MakeState(s, first); })) return;
    fs::copy(base, dir, fs::copy_options::recursive);
    if (dir == s.two) {
      // A second mesh and area beside A's, saved: what swaps names with A's.
      Torvu(dir, "two.macro",
            Load("proj") + Set(kMeshes, "Import", std::string(TORVU_EXAMPLES) + "/slope.asc") + SaveProject());
      fs::remove(dir + "/two.macro");
    } else if (dir == s.beside) {
      // The base with a script that waits until a background start is taken by its process.
      WriteFile(dir + "/taken.cint", WaitForTheStartTaken());
    } else {
      FAIL() << dir << " is no state a writer starts from";
    }
  });
}

// Every writer, starting from the states below `s` (which this does not make).
std::vector<Writer> Writers(const States& s)
{
  const Prepared& prepared = s.prepared;
  const std::string two = s.two, beside = s.beside, higher = s.higher, moved = s.moved;
  const std::string base = prepared.base, area = "Project/ReleaseAreas/slope_0001", examples = TORVU_EXAMPLES;
  std::vector<Writer> writers = RunAndSaveWriters(base);
  // A new simulation B on A's release areas, and both active.
  const std::string kSecondActive = Set("Project/Simulations", "CreateSimulation", "B") +
                                    Set("Project/Simulations/B/ReleaseAreas", "AppendAllObjectsOfType", "ReleaseArea") +
                                    Set(kSimulation, "Active", "1") + Set("Project/Simulations/B", "Active", "1");
  const std::vector<Writer> more = {
      {"CreateSimulation with a save", base, Set("Project/Simulations", "CreateSimulation", "B") + SaveProject()},
      {"CloneSimulation with a save", base, Set("Project/Simulations", "CloneSimulation", "A") + SaveProject()},
      {"CreateSimulationMesh with a save", base, Set(kMeshes, "CreateSimulationMesh", "slope_simulation") + SaveProject()},
      SavingFirst({"StartActive with two simulations", base, kSecondActive + Set("Project/Simulations", "StartActive", ""),
                   true},
                  kSecondActive + SaveProject()),
      {"load over a killed run", prepared.killedRun, ""},
      {"load over a cut deletion", prepared.cutDeletion, ""},
      {"load over a cut copy", prepared.cutCopy, ""},
      {"load over a cut removal of later time steps", prepared.cutLaterRemoval, ""},
      {"load over a deletion killed before its record", prepared.unrecordedDeletion, ""},
      {"load over a killed save of a new simulation", prepared.killedNewSave, ""},
      {"load over a killed rename", prepared.killedRename, ""},
      // A rename of each kind of object that saved paths name, a deletion with an object made
      // again under its name, and a rename that no save follows.
      {"rename of the area one group names", base, Set(area, "Id", "R2") + SaveProject()},
      {"rename of the area two groups name", base,
       Set("Project/Simulations", "CreateSimulation", "B") +
           Set("Project/Simulations/B/ReleaseAreas", "AppendAllObjectsOfType", "ReleaseArea") + SaveProject() +
           Set(area, "Id", "R2") + SaveProject()},
      {"rename of the simulation's mesh", base, Set(kMeshes + "/slope_simulation", "Id", "knoll") + SaveProject()},
      {"rename of a base mesh", base,
       Set(area, "BaseMeshName", "../../DHMs/slope_simulation") + SaveProject() +
           Set(kMeshes + "/slope_simulation", "Id", "knoll") + SaveProject()},
      {"rename of a release-depth mesh", base,
       Set("Project/ReleaseDHMs", "Import", examples + "/slope.asc") + Set(area, "RelDepFuncName", "from_ReleaseDHM_slope") +
           SaveProject() + Set("Project/ReleaseDHMs/slope", "Id", "depth") + SaveProject()},
      {"rename of a polyline", base,
       Set(kSimulation + "/FlowDepth", "SelectedPolyline", "../../../ReleaseAreas/slope_0001") + SaveProject() +
           Set(area, "Id", "R2") + SaveProject()},
      {"rename of an entrainment area", base,
       Set("Project/EntrainmentAreas", "Import", examples + "/slope.rel") +
           Set(kSimulation + "/EntrainmentAreas", "AppendObject", "Project/EntrainmentAreas/slope_0001") + SaveProject() +
           Set("Project/EntrainmentAreas/slope_0001", "Id", "E2") + SaveProject()},
      // The deletion alone leaves A with no mesh: a kill or a failure right after it leaves that. The
      // name is the deleted mesh's until that save; A is given the mesh made under it once that is saved.
      SavingFirst({"deletion of the simulation's mesh, made again", base,
                   Set(kMeshes, "DeleteComponent", "slope_simulation") + SaveProject() +
                       Set(kMeshes, "Import", examples + "/slope.asc") +
                       SaveProject() + Set(kSimulation, "Mesh", "../../DHMs/slope_simulation") + SaveProject()},
                  Set(kMeshes, "DeleteComponent", "slope_simulation") + SaveProject()),
      // The same with another terrain: A's path names it, and no step computed on it follows A's own.
      SavingFirst({"deletion of the simulation's mesh, a higher terrain imported under its name", base,
                   Set(kMeshes, "DeleteComponent", "slope_simulation") + SaveProject() +
                       Set(kMeshes, "Import", higher + "/slope.asc") +
                       SaveProject() + Set(kSimulation, "Mesh", "../../DHMs/slope_simulation") + SaveProject()},
                  Set(kMeshes, "DeleteComponent", "slope_simulation") + SaveProject()),
      // The same for an area: its link goes with the deletion. And another terrain imported once a
      // rename of A's mesh is saved, which takes the name the rename left.
      SavingFirst({"deletion of an area, another imported under its name", base,
                   Set("Project/ReleaseAreas", "DeleteComponent", "slope_0001") + SaveProject() +
                       Set("Project/ReleaseAreas", "LoadRelFile", moved + "/slope.rel") + SaveProject()},
                  Set("Project/ReleaseAreas", "DeleteComponent", "slope_0001") + SaveProject()),
      {"rename of the simulation's mesh, a higher terrain imported under its name", base,
       Set(kMeshes + "/slope_simulation", "Id", "knoll") + SaveProject() + Set(kMeshes, "Import", higher + "/slope.asc") +
           SaveProject()},
      {"rename with no save", base, Set(area, "Id", "R2") + Set(kMeshes + "/slope_simulation", "Id", "knoll")},
      // A name that a rename left, taken by an import after its save; a rename while a holder of the
      // renamed object is unloaded, whose files the save does not write.
      {"rename of an area, another imported under its name", base,
       Set(area, "Id", "R2") + SaveProject() + Set("Project/ReleaseAreas", "LoadRelFile", examples + "/slope.rel") +
           SaveProject()},
      {"rename of an area while its holder is unloaded", base,
       Set("Project/Simulations", "UnloadComponent", "A") + Set(area, "Id", "R2") + SaveProject()},
      // A renamed object renamed again before a save, with no save and with one, and back; a load
      // over a killed run of a simulation never saved.
      {"rename chain with no save", base, Set(area, "Id", "R2") + Set("Project/ReleaseAreas/R2", "Id", "R3")},
      {"rename chain and back with a save", base,
       Set(kMeshes + "/slope_simulation", "Id", "knoll") + Set(kMeshes + "/knoll", "Id", "hill") + SaveProject() +
           Set(kMeshes + "/hill", "Id", "knoll") + Set(kMeshes + "/knoll", "Id", "slope_simulation") + SaveProject()},
      // Two objects that swap names, with a save between: with none, the second rename is refused.
      SavingFirst({"swap of two meshes with a save between", two,
                   Set(kMeshes + "/slope_simulation", "Id", "T") + SaveProject() +
                       Set(kMeshes + "/slope_simulation_0001", "Id", "slope_simulation") + SaveProject()},
                  Set(kMeshes + "/slope_simulation", "Id", "T") + SaveProject()),
      SavingFirst({"swap of two areas with a save between", two,
                   Set("Project/ReleaseAreas/slope_0001", "Id", "X") + SaveProject() +
                       Set("Project/ReleaseAreas/slope_0002", "Id", "slope_0001") + SaveProject()},
                  Set("Project/ReleaseAreas/slope_0001", "Id", "X") + SaveProject()),
      {"load over a killed run of a never-saved simulation", prepared.killedNewRun, ""},
      // A holder saved alone while the rename of what it names is pending: the mark stays.
      {"a holder saved alone after a rename", base, Set(area, "Id", "R2") + Set(kSimulation, "SaveProject", "")},
      // A rename of the mesh A runs on saved while its background run goes on: only a path changed.
      SavingFirst({"a path-only save beside a background run", beside,
                   kLonger + Set(kSimulation, "RunInBackground", "") + Set("", "ExecMacro", "../taken.cint") +
                       Set(kMeshes + "/slope_simulation", "Id", "knoll") + SaveProject(),
                   true},
                  kLonger + SaveProject()),
      RunOverAnUnsavedRaster(base, higher + "/slope.asc"),
  };
  writers.insert(writers.end(), more.begin(), more.end());
  // Names a pending rename or deletion left, asked for and typed in commands.
  for (const Writer& writer : NameAskingWriters(s.names)) writers.push_back(writer);
  return writers;
}

// The writers' names, one test each: a slow writer is named by its own time, and ctest spreads them.
std::vector<std::string> WriterNames() { return NamesOf(Writers(States(""))); }

class KillEachOperation : public ::testing::TestWithParam<std::string> {};

}  // namespace

TEST_P(KillEachOperation, AfterAKillAtEachCallTheNextLoadGoesOnWithOneHistory)
{
  const States states(PreparedRoot() + "/kill");
  const Writer writer = Named(Writers(states), GetParam());
  ASSERT_FALSE(writer.prepared.empty()) << "no writer is named " << GetParam();
  if (!Tried(writer)) GTEST_SKIP() << "TORVU_WRITERS names not " << writer.name;
  ASSERT_TRUE(MakeState(states, writer.prepared));
  Example p;

  Reference reference;
  std::vector<Job> jobs;
  {
    const std::string dir = p / "reference";
    Fresh(writer, dir);
    const Continued before = LoadAndContinue(writer, dir);
    for (const std::string& f : before.faults) ADD_FAILURE() << writer.name << ", before the writer: " << f;
    reference.before = before.series;
    reference.source = before.source;

    if (!writer.saved.empty()) {
      Writer save = writer;
      save.commands = writer.saved;
      save.background = false;
      Fresh(save, dir);
      EXPECT_EQ(RunMacroWith(dir + "/x", Macro(save, dir), {}), 0) << Gist(ReadFile(dir + "/x/torvu.log"));
      reference.saved = LoadAndContinue(save, dir);
    }

    Fresh(writer, dir);
    const std::string countFile = p / "count", startedFile = countFile + "_started";
    const std::string callsFile = p / "calls", startedCallsFile = callsFile + "_started";
    EXPECT_EQ(RunMacroWith(dir + "/x", Macro(writer, dir),
                           {{"TORVU_FAIL_COUNT", countFile},
                            {"TORVU_FAIL_STARTED_COUNT", startedFile},
                            {"TORVU_FAIL_CALLS", callsFile},
                            {"TORVU_FAIL_STARTED_CALLS", startedCallsFile}}),
              0)
        << Gist(ReadFile(dir + "/x/torvu.log"));
    if (writer.background) {
      EXPECT_TRUE(WaitForNoProcessOf(dir + "/x"));
    }
    const Continued done = LoadAndContinue(writer, dir);
    for (const std::string& f : done.faults) ADD_FAILURE() << writer.name << ", after the whole writer: " << f;
    reference.done = done.series;
    reference.doneTree = done.source;

    const long calls = CountIn(countFile), startedCalls = writer.background ? CountIn(startedFile) : 0;
    EXPECT_GT(calls, 0);
    const std::vector<long> killed = CallsTried(calls, kEdge, kSpread, WithoutLooks(KeyCalls(callsFile))),
                            startedKilled =
                                CallsTried(startedCalls, kEdge, kSpread, WithoutLooks(KeyCalls(startedCallsFile)));
    std::cout << writer.name << ": " << killed.size() << " kills of " << calls << " calls"
              << (writer.background ? ", the started process " + std::to_string(startedKilled.size()) + " of " +
                                          std::to_string(startedCalls)
                                    : "")
              << "\n";
    for (long n : killed) jobs.push_back({0, n, false});
    for (long n : startedKilled) jobs.push_back({0, n, true});
    fs::remove_all(dir);
  }

  std::vector<std::string> faults;
  std::mutex faultsMutex;
  std::atomic<size_t> next{0};
  const auto work = [&] {
    for (size_t j; (j = next++) < jobs.size();) {
      const Job& job = jobs[j];
      const std::string dir = p / ("try_" + std::to_string(j));
      Fresh(writer, dir);
      std::vector<std::string> found;
      const std::string count = p / ("started_count_" + std::to_string(j));
      Hook hook{{job.started ? "TORVU_KILL_STARTED_AT" : "TORVU_KILL_AT", std::to_string(job.n)}};
      if (job.started) hook.push_back({"TORVU_FAIL_STARTED_COUNT", count});
      const int status = RunMacroWith(dir + "/x", Macro(writer, dir), hook);
      // The count of the dry run holds: the writer itself dies at each N it makes.
      if (!job.started && status != -1) found.push_back("the process was not killed: it exited with " + std::to_string(status));
      if (writer.background && !WaitForNoProcessOf(dir + "/x")) found.push_back("the started process still runs a minute later");
      if (job.started && StartedCalls(dir, "killed before").empty() && !EndedBefore(count, job.n))
        found.push_back("the started process was not killed");
      const Continued c = LoadAndContinue(writer, dir);
      // A kill after the save alone leaves what that save leaves: its Continue may refuse the same.
      const auto savedAlike = [&](const std::string& f) {
        return reference.saved && std::find(reference.saved->faults.begin(), reference.saved->faults.end(), f) !=
                                      reference.saved->faults.end();
      };
      std::copy_if(c.faults.begin(), c.faults.end(), std::back_inserter(found),
                   [&](const std::string& f) { return !savedAlike(f); });
      for (const auto& [run, steps] : c.series) {
        const bool old = reference.before.count(run) && Within(steps, reference.before.at(run));
        const bool anew = reference.done.count(run) && Within(steps, reference.done.at(run));
        const bool saved = reference.saved && reference.saved->series.count(run) &&
                           Within(steps, reference.saved->series.at(run));
        if (!old && !anew && !saved && !steps.empty())
          found.push_back(run + ": time steps of two histories (or of none): " + Names(steps));
      }
      if (const std::string left = NewObjectsWholeOrAbsent(c.source, reference.source, reference.doneTree); !left.empty())
        found.push_back("after the load: " + left);
      if (const std::string source = CopySource(writer); !source.empty() && !c.source.empty()) {
        if (const std::string differs = TreeDifferences(Below(c.source, source), Below(reference.source, source));
            !differs.empty())
          found.push_back("the source of the copy changed: " + differs);
      }
      if (!found.empty()) {
        std::string line = (job.started ? "started N=" : "N=") + std::to_string(job.n);
        for (const std::string& f : found) line += "\n      " + f;
        std::lock_guard<std::mutex> guard(faultsMutex);
        faults.push_back(line);
      }
      fs::remove_all(dir);
    }
  };
  SideBySide(work);

  if (!faults.empty())
    ADD_FAILURE() << writer.name << ": " << faults.size() << " kills not taken over soundly:" << ListedByCall(faults);
}

INSTANTIATE_TEST_SUITE_P(Writer, KillEachOperation, ::testing::ValuesIn(WriterNames()), TestNameOf);
