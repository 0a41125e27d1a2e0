// Every writer with each of its calls that change the disk failed in turn: a dry run counts the
// calls of the command (TORVU_FAIL_COUNT), then the command runs again once for every N with its
// Nth call failed (TORVU_FAIL_AT, and TORVU_FAIL_STARTED_AT for the process a background start
// runs), each in a fresh copy of a small project, a few side by side. After each, a fresh process
// loads the project, and the test checks what the command answered against what it left:
// - answered success: the whole tree is the dry run's, every attribute, data and time-step file and
//   every file of a run directory (what must differ between two runs is masked, see MaskedTree),
//   and as the command left it, before the next load finishes what is marked, no mark of cut work
//   of its own stands;
// - answered failure (and whatever a started process did): every file is as it was before the
//   command, as the dry run left it, or as the save alone of a writer that saves first left it (a
//   run saves the values it runs under before it begins), the time steps of a run directory are of one of the two
//   series, and the saved record names a time step that is there, or none;
// and after either, that no lock stays held for nothing and that no start is left "started" after
// its process is gone. A try of a started process's call fails when that process made the call and
// failed none.
// The writers include a load over each state a kill leaves (see MakeTakenOverState).
// A writer with many calls does not have each failed: every call of the first and last kEdge,
// every call that touches a mark, a lock, a record, a status or the run's values (kKeyFiles, as the
// dry run lists its calls), and kSpread calls spread evenly over the rest, so that each writer stays
// a few minutes on two cores. Each writer is a test of its own, named after it, that makes only
// the states its writer starts from: ctest spreads them, and a slow writer is named by its time.
// TORVU_COUNTDOWN_ALL=1 fails every call of every writer.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Countdown.h"

namespace {

using namespace countdown;

// The calls failed of a writer with many: the first and last kEdge (how the command begins and
// ends), and kSpread between them; the key calls carry the weight, and every writer has its own.
constexpr long kEdge = 3, kSpread = 5;

// What a writer left when it ran whole, and what stood before it.
struct Reference {
  Series before, done;
  Files beforeTree, doneTree;
  Files doneWritten;  // the dry run's tree as the command left it, before the next load
  std::optional<Files> savedTree;  // what its save alone left, for a writer that saves first
  // What a holder names after the next load of that save alone, where that is not what it named
  // before: a failure after the save may leave the same (a deletion saved before the object made
  // under its name is saved leaves its holder naming none).
  std::vector<std::string> savedFaults;
};

// What one try (or the dry run) left: the answer and what the fresh load found.
struct Outcome {
  Answer answer;
  std::string calls;  // what the hook failed
  std::vector<std::string> faults;
  Series after;  // after the fresh load
  Files tree;    // the same, as a masked tree
  Files written;  // the masked tree as the command left it, before the fresh load
};

// How a try names what a holder names after the next load.
const std::string kHolders = "after the next load, a holder: ";

// The marks of cut work, which the next taker of a run lock finishes.
bool IsMark(const std::string& name)
{
  const std::string file = fs::path(name).filename().string();
  for (const char* mark : {".simulation_removing", ".simulation_removing_later", ".simulation_deleting",
                           ".simulation_copying", ".simulation_copy"})
    if (file == mark) return true;
  return false;
}

// What a try shows against its answer, "" when nothing: answered success (by the writer's own
// process), the command left no mark of its own that the whole command does not leave (one that
// stood before may stay: a reader that cannot take a run lock leaves it to the next), and after the
// next load the tree is the dry run's; else every file after the next load is one that stood
// before the writer or after it.
std::string AgainstTheAnswer(bool succeeded, const Files& written, const Files& tree, const Reference& reference)
{
  if (succeeded) {
    std::string marks;
    for (const auto& [name, bytes] : written)
      if (IsMark(name) && !(reference.doneWritten.count(name) && reference.doneWritten.at(name) == bytes) &&
          !(reference.beforeTree.count(name) && reference.beforeTree.at(name) == bytes))
        marks += name + " ";
    if (!marks.empty()) return "answered success, but left marks of cut work: " + marks;
    if (const std::string differs = TreeDifferences(tree, reference.doneTree); !differs.empty())
      return "answered success, but left other than the whole command did: " + differs;
  } else if (const std::string neither = FilesOfNeither(tree, reference.beforeTree, reference.doneTree,
                                                                 reference.savedTree ? &*reference.savedTree : nullptr);
             !neither.empty()) {
    return "left files as neither before nor after the command: " + neither;
  }
  return "";
}

constexpr const char* kNoStartedCallFailed = "the started process failed no call";

// Runs the writer in a fresh copy of its prepared state under `dir` with the hook given, then
// loads the copy in a fresh process and checks what both left against the reference (none for
// the dry run, which makes it).
Outcome Try(const Writer& writer, const std::string& dir, const Hook& hook, const Reference* reference, bool started)
{
  Outcome outcome;
  fs::remove_all(dir);
  fs::create_directories(dir);
  fs::copy(writer.prepared, dir, fs::copy_options::recursive);
  const auto fault = [&](const std::string& what) { outcome.faults.push_back(what); };
  {
    auto x = StartWith(dir + "/x", hook);
    outcome.answer = x->Do(Load(dir + "/proj") + writer.commands);
    // The command answered success: no lock may name its process any more. (One that answered
    // that its lock cannot be removed leaves it to the next taker.)
    if (outcome.answer.ok)
      for (const std::string& run : RunDirectories(dir))
        if (LockHolder(RunPath(dir, run)) == x->Pid())
          fault("the lock of " + run + " still names the process after its command answered");
    if (x->Quit() != 0) fault("the process did not exit cleanly");
    outcome.calls = FailedCalls(x->Log(), dir);
  }
  if (writer.background && !WaitForNoProcessOf(dir + "/x")) fault("the started process still runs a minute later");
  const std::string startedCalls = StartedCalls(dir);
  if (started && startedCalls.empty()) fault(kNoStartedCallFailed);
  outcome.calls += startedCalls;
  outcome.written = MaskedTree(dir);
  const std::string startedLeft = StartedLeft(dir);
  if (!startedLeft.empty()) fault("a start is left \"started\" with no process: " + startedLeft);

  auto check = StartWith(dir + "/check", {});
  const bool marked = fs::exists(dir + "/proj/" + kRenameMark);
  const Answer loaded = check->Do(Load(dir + "/proj"));
  if (!loaded.ok) fault("the next load failed: " + loaded.text.substr(0, 300));
  // Every holder names what it named under one name (but after a writer that deletes the area).
  if (const Answer held = check->Do(HoldersNamed());
      loaded.ok && fs::exists(dir + "/proj/" + kSimulation) && !held.ok && !DeletesTheArea(writer))
    fault(kHolders + held.text);
  // A rename's mark stood: what the load made of it lasts through a save and the next load. What
  // the load left is judged as it was before that save.
  std::optional<Files> loadedTree;
  if (loaded.ok && marked && writer.target.empty()) {
    loadedTree = MaskedTree(dir);
    if (const std::string lost = HoldersThroughASave(*check, dir + "/proj"); !lost.empty()) fault(lost);
  }
  // A copy into another project is finished there by the next load of that project.
  if (!writer.target.empty() && fs::exists(dir + "/" + writer.target)) {
    // A save into a new directory that failed leaves none, but where its copy stays marked for the
    // next taker to finish, or where all of it was saved and only its lock could not go.
    const bool made = !fs::exists(writer.prepared + "/" + writer.target);
    if (made && !outcome.answer.ok && !Contains(outcome.answer.text, "the copy stays marked") &&
        !Contains(outcome.answer.text, "the next process that takes it takes it over"))
      fault("a failed save into a new directory left " + writer.target);
    const Answer target = check->Do(Load(dir + "/" + writer.target));
    if (!target.ok) fault("the next load of " + writer.target + " failed: " + target.text.substr(0, 300));
  }
  const std::string held = LiveLock(dir);
  if (!held.empty())
    fault("after the next load a run lock is " + held + " (the loading process is " + std::to_string(check->Pid()) + ")");
  EXPECT_EQ(check->Quit(), 0);
  outcome.after = SeriesIn(dir);
  outcome.tree = loadedTree ? *loadedTree : MaskedTree(dir);
  for (const auto& [run, steps] : outcome.after) {
    if (!RecordIsThere(RunPath(dir, run))) fault(run + ": the saved record names a time step that is not there");
    if (!reference) continue;
    const Series& before = reference->before;
    const Series& done = reference->done;
    const bool old = before.count(run) && Within(steps, before.at(run));
    const bool anew = done.count(run) && Within(steps, done.at(run));
    if (!old && !anew)
      fault(run + ": time steps of two runs (or of none): " + Names(steps) +
            (before.count(run) ? "" : "; the directory was not there before"));
  }
  if (!reference) return outcome;
  // A command that answered success did all of it (of a started process, its launcher answers
  // only for the start): the tree is the dry run's, record and all.
  if (const std::string f = AgainstTheAnswer(outcome.answer.ok && !started, outcome.written, outcome.tree, *reference); !f.empty())
    fault(f);
  return outcome;
}

// A tile of a texture (a ppm image of two by two pixels) with its world file, below `dir`.
void WriteTile(const std::string& dir, const std::string& name, double x)
{
  WriteFile(dir + "/" + name + ".ppm", std::string("P6\n2 2\n255\n") + std::string(12, '\x7f'));
  WriteFile(dir + "/" + name + ".pmw", "10\n0\n0\n-10\n" + Seconds(x) + "\n20300\n");
}


// The states the writers start from, below `root`: the prepared states, and a few made from the
// base for some writers alone. None of them is made here.
struct States {
  explicit States(const std::string& root)
      : prepared(PreparedBelow(root)), in(prepared.base + "/in"), noValues(root + "/no_values"), hill(root + "/hill"),
        entrained(root + "/entrained"), swapping(root + "/swapping"), beside(root + "/beside"), names(root + "/names")
  {
  }
  Prepared prepared;
  std::string in;  // files outside the projects that the writers read, in the base
  std::string noValues, hill, entrained, swapping, beside;
  std::string names;  // the states of the writers that ask for names a pending rename or deletion left
};

// Makes the state `dir` of `s` unless this process made it before, and first the base, which every
// other is made from; false when it cannot be made.
bool MakeState(const States& s, const std::string& dir)
{
  const std::string base = s.prepared.base, examples = TORVU_EXAMPLES;
  const std::string mesh = kMeshes + "/slope_simulation", area = "Project/ReleaseAreas/slope_0001";
  if (dir != base && !MakeState(s, base)) return false;
  return PrepareOnce(dir, [&] {
    if (dir == base) {
      MakeBase(base);
      // Files outside the projects that the writers read: a terrain to import and two tiles of a texture.
      const std::string in = s.in;
      fs::create_directories(in);
      CopyExampleTerrain(in);
      fs::rename(in + "/slope.asc", in + "/hill.asc");
      fs::remove(in + "/slope.rel");
      WriteTile(in, "west", 10000);
      WriteTile(in, "east", 10020);
      WriteScaledTerrain(in + "/higher", 1.05);
      WriteShiftedRelease(in + "/moved", 20);
      return;
    }
    if (TakenOver(s.prepared, dir)) return MakeTakenOverState(s.prepared, dir);
    if (MakesAskingState(base, s.names, dir, [&](const std::string& first) { return MakeState(s, first); })) return;
    fs::copy(base, dir, fs::copy_options::recursive);
    if (dir == s.noValues) {
      // The values a run depends on not written yet: a run under values it did not save makes the file.
      fs::remove(dir + "/proj/" + kSimulation + "/.simulation_values");
    } else if (dir == s.hill) {
      // A second mesh that no simulation uses, to rename and delete.
      Torvu(dir, "hill.macro", Load("proj") + Set(kMeshes, "Import", "in/hill.asc") + SaveProject());
      fs::remove(dir + "/hill.macro");
    } else if (dir == s.entrained) {
      // An entrainment area that A's entrainment group names, saved.
      Torvu(dir, "entrained.macro",
            Load("proj") + Set("Project/EntrainmentAreas", "Import", examples + "/slope.rel") +
                Set(kSimulation + "/EntrainmentAreas", "AppendObject", "Project/EntrainmentAreas/slope_0001") +
                SaveProject());
      fs::remove(dir + "/entrained.macro");
    } else if (dir == s.swapping) {
      // A second mesh and area beside A's, and A's renamed away with a save: what the second half of
      // a swap renames into the names left.
      Torvu(dir, "swapping.macro",
            Load("proj") + Set(kMeshes, "Import", examples + "/slope.asc") + Set(mesh, "Id", "T") +
                Set(area, "Id", "X") + SaveProject());
      fs::remove(dir + "/swapping.macro");
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
  const std::string base = prepared.base, out = "../out", examples = TORVU_EXAMPLES;
  const std::string noValues = s.noValues, hill = s.hill, entrained = s.entrained, swapping = s.swapping,
                    beside = s.beside;
  const std::string mesh = kMeshes + "/slope_simulation", area = "Project/ReleaseAreas/" + std::string("slope_0001");
  // What names the objects that the renames below rename: a second group, a base mesh, a depth
  // mesh, a selected polyline, an entrainment group.
  const std::string kSecondGroup = Set("Project/Simulations", "CreateSimulation", "B") +
                                   Set("Project/Simulations/B/ReleaseAreas", "AppendAllObjectsOfType", "ReleaseArea"),
                    kBaseMesh = Set(area, "BaseMeshName", "../../DHMs/slope_simulation"),
                    kDepthMesh = Set("Project/ReleaseDHMs", "Import", "../in/hill.asc") +
                                 Set(area, "RelDepFuncName", "from_ReleaseDHM_hill"),
                    kPolyline = Set(kSimulation + "/FlowDepth", "SelectedPolyline", "../../../ReleaseAreas/slope_0001");
  std::vector<Writer> writers = RunAndSaveWriters(base);
  const std::vector<Writer> more = {
      SavingFirst({"Continue under values not saved, no values file yet", noValues,
                   Set(kSimulation, "LoadTimeStep", Step(2)) + kAnew + Set(kSimulation, "Continue", "")},
                  Set(kSimulation, "LoadTimeStep", Step(2)) + kAnew + SaveProject()),
      {"WriteStartMacroAndBat", base, Set(kSimulation, "Active", "1") +
                                          Set("Project/Simulations", "WriteStartMacroAndBat", "../proj/" + kSimulation)},
      {"Cleanup", base, Set(kSimulation, "CleanupBehavior", "keep last time step") +
                            Set("Project/Simulations", "Cleanup", "")},
      {"CreateSimulation with a save", base, Set("Project/Simulations", "CreateSimulation", "B") + SaveProject()},
      {"CloneSimulation with a save", base, Set("Project/Simulations", "CloneSimulation", "A") + SaveProject()},
      {"Import with a save", base, Set(kMeshes, "Import", "../in/hill.asc") + SaveProject()},
      {"rename of a mesh", hill, Set(kMeshes + "/hill_simulation", "Id", "knoll") + SaveProject()},
      {"deletion of a mesh", hill, Set(kMeshes, "DeleteComponent", "hill_simulation") + SaveProject()},
      {"rename of an area", base, Set(area, "Id", "Top") + SaveProject()},
      {"deletion of an area", base, Set("Project/ReleaseAreas", "DeleteComponent", "slope_0001") + SaveProject()},
      {"SaveProject of a changed mesh and area", base,
       Set(mesh, "Color", "0.5 0.5 0.5") + Set(area, "Color", "0.5 0.5 0.5") + SaveProject()},
      {"exports", base,
       Set(mesh, "Export", out + "/mesh.asc") + Set(mesh, "ExportContourLines", out + "/contours.dxf") +
           Set(kSimulation + "/FlowDepth", "ExportFieldRasterAscii", out + "/depth.asc") +
           Set(kSimulation + "/FlowDepth", "ExportContourLines", out + "/depth.dxf") +
           Set(area, "Export", out + "/area.xyz")},
      {"SaveTexPar", base, Set(mesh, "TextureFileName", "../in/west.ppm") + Set(mesh, "SaveTexPar", "")},
      {"ComposeTextureTiles", base,
       Set(mesh, "TextureTileAdd", "../in/west.ppm") + Set(mesh, "TextureTileAdd", "../in/east.ppm") +
           Set(mesh, "TextureTilesLoad", out + "/texture.ppm") + SaveProject()},
      {"Recording", base, Set("", "MacroFileName", out + "/recorded.macro") + Set("", "Recording", "1") +
                              Set(kSimulation, "BedFrictionAngle", "22") + Set("", "Recording", "0")},
      {"load over a killed run", prepared.killedRun, ""},
      {"load over a cut deletion", prepared.cutDeletion, ""},
      {"load over a cut copy", prepared.cutCopy, ""},
      {"load over a cut removal of later time steps", prepared.cutLaterRemoval, ""},
      {"load over a deletion killed before its record", prepared.unrecordedDeletion, ""},
      {"load over a killed save of a new simulation", prepared.killedNewSave, ""},
      {"load over a killed rename", prepared.killedRename, ""},
      // A rename of each kind of object that saved paths name, and a rename that no save follows.
      // A writer that first makes what names the object saves that alone before (a save refused
      // before its first write, as by a look at the second group's directory, leaves the rename
      // alone, as a rename that no save follows does: that is its first part alone).
      SavingFirst({"rename of the area two groups name", base, kSecondGroup + SaveProject() + Set(area, "Id", "R2") + SaveProject()},
                  kSecondGroup + SaveProject() + Set(area, "Id", "R2")),
      {"rename of the simulation's mesh", base, Set(mesh, "Id", "knoll") + SaveProject()},
      SavingFirst({"rename of a base mesh", base, kBaseMesh + SaveProject() + Set(mesh, "Id", "knoll") + SaveProject()},
                  kBaseMesh + SaveProject()),
      SavingFirst({"rename of a release-depth mesh", base,
                   kDepthMesh + SaveProject() + Set("Project/ReleaseDHMs/hill", "Id", "depth") + SaveProject()},
                  kDepthMesh + SaveProject()),
      SavingFirst({"rename of a polyline", base, kPolyline + SaveProject() + Set(area, "Id", "R2") + SaveProject()},
                  kPolyline + SaveProject()),
      {"rename of an entrainment area", entrained, Set("Project/EntrainmentAreas/slope_0001", "Id", "E2") + SaveProject()},
      {"rename with no save", base, Set(area, "Id", "R2") + Set(mesh, "Id", "knoll")},
      // A name that a rename left, taken by an import once the rename is saved (a save refused before
      // its first file leaves the rename alone, which moved the area's directory at once); a rename
      // while a holder of the renamed object is unloaded, whose files the save does not write.
      SavingFirst({"rename of an area, another imported under its name", base,
                   Set(area, "Id", "R2") + SaveProject() + Set("Project/ReleaseAreas", "LoadRelFile", examples + "/slope.rel") +
                       SaveProject()},
                  Set(area, "Id", "R2")),
      {"rename of an area while its holder is unloaded", base,
       Set("Project/Simulations", "UnloadComponent", "A") + Set(area, "Id", "R2") + SaveProject()},
      // A renamed object renamed again before a save, with no save and with one (a failure in the
      // second rename leaves the first: that is the first one alone); a load over a killed run of a
      // simulation never saved.
      SavingFirst({"rename chain with no save", base, Set(area, "Id", "R2") + Set("Project/ReleaseAreas/R2", "Id", "R3")},
                  Set(area, "Id", "R2")),
      SavingFirst({"rename chain with a save", base,
                   Set(mesh, "Id", "knoll") + Set(kMeshes + "/knoll", "Id", "hill") + SaveProject()},
                  Set(mesh, "Id", "knoll")),
      {"load over a killed run of a never-saved simulation", prepared.killedNewRun, ""},
      // The second half of a swap of names with a save between: another object renamed into the
      // name A's left at a save (a save refused before its first file leaves the rename alone).
      SavingFirst({"swap of two meshes, the second rename", swapping,
                   Set(kMeshes + "/slope_simulation_0001", "Id", "slope_simulation") + SaveProject()},
                  Set(kMeshes + "/slope_simulation_0001", "Id", "slope_simulation")),
      SavingFirst({"swap of two areas, the second rename", swapping,
                   Set("Project/ReleaseAreas/slope_0002", "Id", "slope_0001") + SaveProject()},
                  Set("Project/ReleaseAreas/slope_0002", "Id", "slope_0001")),
      // A holder saved alone while the rename of what it names is pending: the mark stays (a save
      // refused before its first file leaves the rename alone).
      SavingFirst({"a holder saved alone after a rename", base, Set(area, "Id", "R2") + Set(kSimulation, "SaveProject", "")},
                  Set(area, "Id", "R2")),
      // A rename of the mesh A runs on saved while its background run goes on: only a path changed,
      // and the run's end records its last time step.
      SavingFirst({"a path-only save beside a background run", beside,
                   kLonger + Set(kSimulation, "RunInBackground", "") + Set("", "ExecMacro", "../taken.cint") +
                       Set(mesh, "Id", "knoll") + SaveProject(),
                   true},
                  kLonger + SaveProject()),
      // Another terrain imported under the name of A's mesh once its deletion is saved, then named by
      // A: another input than its time steps were computed on (a failure after the deletion is saved
      // leaves A with no mesh, as the deletion saved alone does).
      SavingFirst({"deletion of the simulation's mesh, a higher terrain imported under its name", base,
                   Set(kMeshes, "DeleteComponent", "slope_simulation") + SaveProject() +
                       Set(kMeshes, "Import", "../in/higher/slope.asc") +
                       SaveProject() + Set(kSimulation, "Mesh", "../../DHMs/slope_simulation") + SaveProject()},
                  Set(kMeshes, "DeleteComponent", "slope_simulation") + SaveProject()),
      // The same for an area (moved by 20 m): its link goes with the deletion. And another terrain
      // imported once a rename of A's mesh is saved, which takes the name the rename left (a save
      // refused before its first file leaves the rename alone).
      SavingFirst({"deletion of an area, another imported under its name", base,
                   Set("Project/ReleaseAreas", "DeleteComponent", "slope_0001") + SaveProject() +
                       Set("Project/ReleaseAreas", "LoadRelFile", "../in/moved/slope.rel") + SaveProject()},
                  Set("Project/ReleaseAreas", "DeleteComponent", "slope_0001") + SaveProject()),
      SavingFirst({"rename of the simulation's mesh, a higher terrain imported under its name", base,
                   Set(mesh, "Id", "knoll") + SaveProject() + Set(kMeshes, "Import", "../in/higher/slope.asc") + SaveProject()},
                  Set(mesh, "Id", "knoll")),
      // A save into a new directory that failed, then a save of A changed where the project was
      // (a script that goes on after the failure, which the command answers): the failed save-as
      // leaves the project, A's series and record as they were, so the save after it writes A's
      // change beside them (as the change saved alone does).
      SavingFirst({"SaveProjectAs into a new directory, then SaveProject", base,
                   Set(kSimulation, "Remark", "changed") +
                       "if (!failed) tries = set(\"\", \"SaveProjectAs\", \"../proj3\");\nelse tries = 0;\n"
                       "if (tries != 0) {\nerror(text);\n" + SaveProject() + "failed = 1;\n}\n",
                   false, "proj3"},
                  Set(kSimulation, "Remark", "changed") + SaveProject()),
      SavingFirst({"SaveProjectAs into a new directory, then A's Save", base,
                   Set(kSimulation, "Remark", "changed") +
                       "if (!failed) tries = set(\"\", \"SaveProjectAs\", \"../proj3\");\nelse tries = 0;\n"
                       "if (tries != 0) {\nerror(text);\n" + Set(kSimulation, "Save", "") + "failed = 1;\n}\n",
                   false, "proj3"},
                  Set(kSimulation, "Remark", "changed") + SaveProject()),
      RunOverAnUnsavedRaster(base, "../in/higher/slope.asc"),
  };
  writers.insert(writers.end(), more.begin(), more.end());
  // Names a pending rename or deletion left, asked for and typed in commands.
  for (const Writer& writer : NameAskingWriters(s.names)) writers.push_back(writer);
  return writers;
}

// The writers' names, one test each: a slow writer is named by its own time, and ctest spreads them.
std::vector<std::string> WriterNames() { return NamesOf(Writers(States(""))); }

class FailEachOperation : public ::testing::TestWithParam<std::string> {};

}  // namespace

TEST_P(FailEachOperation, EveryWriterAnswersEachFailedCallOrDoesItAll)
{
  const States states(PreparedRoot() + "/fail");
  const Writer writer = Named(Writers(states), GetParam());
  ASSERT_FALSE(writer.prepared.empty()) << "no writer is named " << GetParam();
  if (!Tried(writer)) GTEST_SKIP() << "TORVU_WRITERS names not " << writer.name;
  ASSERT_TRUE(MakeState(states, writer.prepared));
  if (Contains(writer.commands, "../out/")) fs::create_directories(writer.prepared + "/out");
  Example p;

  Reference reference;
  std::vector<Job> jobs;
  {
    const std::string dir = p / "dry";
    reference.before = SeriesIn(writer.prepared);
    reference.beforeTree = MaskedTree(writer.prepared);
    const std::string countFile = p / "count", startedFile = countFile + "_started";
    const std::string callsFile = p / "calls", startedCallsFile = callsFile + "_started";
    const Outcome dry = Try(writer, dir,
                            {{"TORVU_FAIL_COUNT", countFile},
                             {"TORVU_FAIL_STARTED_COUNT", startedFile},
                             {"TORVU_FAIL_CALLS", callsFile},
                             {"TORVU_FAIL_STARTED_CALLS", startedCallsFile}},
                            nullptr, false);
    EXPECT_TRUE(dry.answer.ok) << dry.answer;
    for (const std::string& f : dry.faults) ADD_FAILURE() << writer.name << ", the dry run: " << f;
    reference.done = dry.after;
    reference.doneTree = dry.tree;
    reference.doneWritten = dry.written;
    if (!writer.saved.empty()) {
      Writer save = writer;
      save.commands = writer.saved;
      save.background = false;
      const Outcome saved = Try(save, dir, {}, nullptr, false);
      EXPECT_TRUE(saved.answer.ok) << saved.answer;
      reference.savedTree = saved.tree;
      // What its holders name is the next load's to judge; anything else is a fault of the save.
      for (const std::string& f : saved.faults)
        if (f.rfind(kHolders, 0) == 0) reference.savedFaults.push_back(f);
        else ADD_FAILURE() << writer.name << ", its save alone: " << f;
    }
    const long calls = CountIn(countFile), startedCalls = writer.background ? CountIn(startedFile) : 0;
    EXPECT_GT(calls, 0) << writer.name;
    const std::vector<long> tried = CallsTried(calls, kEdge, kSpread, KeyCalls(callsFile)),
                            startedTried = CallsTried(startedCalls, kEdge, kSpread, KeyCalls(startedCallsFile));
    std::cout << writer.name << ": " << tried.size() << " failed of " << calls << " calls"
              << (writer.background ? ", the started process " + std::to_string(startedTried.size()) + " of " +
                                          std::to_string(startedCalls)
                                    : "")
              << "\n";
    for (long n : tried) jobs.push_back({0, n, false});
    for (long n : startedTried) jobs.push_back({0, n, true});
    fs::remove_all(dir);
  }

  std::vector<std::string> faults;
  std::mutex faultsMutex;
  std::atomic<size_t> next{0};
  const auto work = [&] {
    for (size_t j; (j = next++) < jobs.size();) {
      const Job& job = jobs[j];
      const std::string dir = p / ("try_" + std::to_string(j));
      const std::string count = p / ("started_count_" + std::to_string(j));
      Hook hook{{job.started ? "TORVU_FAIL_STARTED_AT" : "TORVU_FAIL_AT", std::to_string(job.n)}};
      if (job.started) hook.push_back({"TORVU_FAIL_STARTED_COUNT", count});
      Outcome tried = Try(writer, dir, hook, &reference, job.started);
      if (job.started && EndedBefore(count, job.n)) std::erase(tried.faults, std::string(kNoStartedCallFailed));
      // A command that failed after its save alone may leave what that save leaves.
      const std::vector<std::string>& savedFaults = reference.savedFaults;
      if (!tried.answer.ok)
        std::erase_if(tried.faults, [&](const std::string& f) {
          return std::find(savedFaults.begin(), savedFaults.end(), f) != savedFaults.end();
        });
      if (!tried.faults.empty()) {
        std::string line = (job.started ? "started N=" : "N=") + std::to_string(job.n) + " [" +
                           (tried.calls.empty() ? "no call failed; " : tried.calls) +
                           "answered " + (tried.answer.ok ? "ok" : "failed: " + tried.answer.text.substr(0, 200)) + "]";
        for (const std::string& f : tried.faults) line += "\n      " + f;
        std::lock_guard<std::mutex> guard(faultsMutex);
        faults.push_back(line);
      }
      fs::remove_all(dir);
    }
  };
  SideBySide(work);

  if (!faults.empty())
    ADD_FAILURE() << writer.name << ": " << faults.size() << " failed calls not answered soundly:" << ListedByCall(faults);
}

INSTANTIATE_TEST_SUITE_P(Writer, FailEachOperation, ::testing::ValuesIn(WriterNames()), TestNameOf);
// written is refused before it changes any file of its run directory.
TEST(FailEachOperation, ARunWhoseValuesCannotBeWrittenTouchesNoFile)
{
  Example p;
  const std::string base = p / "base", run = base + "/proj/" + kSimulation;
  MakeBase(base);
  // Replaced in place when it stands (a full disk): only a run that must make it fails to.
  fs::remove(run + "/.simulation_values");
  Files before = countdown::MaskedTree(base + "/proj");
  FailOnce fail("write:.simulation_values");
  TorvuProcess x(p / "x");
  const Answer refused = x.Do(Load(base + "/proj") + Set(kSimulation, "Run", ""));
  EXPECT_FALSE(refused.ok) << refused;
  EXPECT_TRUE(Contains(refused, "the values of the run cannot be written")) << refused;
  EXPECT_EQ(x.Quit(), 0);
  Files after = countdown::MaskedTree(base + "/proj");
  // Known open, mended elsewhere: the refused run has already stamped its series.
  for (Files* tree : {&after, &before}) tree->erase(kSimulation + "/.simulation_series");
  EXPECT_EQ(countdown::TreeDifferences(after, before), "");
}

// Whether a Continue writes the state it goes on from again follows from one look at that state's
// file: failing any look at it, the Continue answers, a refusal for that look naming the file, and
// nothing writes the file. A failed look never has the run take its own time step for missing.
TEST(FailEachOperation, AContinueWritesNotTheStateItGoesOnFromWhenALookAtItFails)
{
  Example p;
  const std::string base = p / "base";
  MakeBase(base);
  const std::string step = "/" + kSimulation + "/" + Step(2) + ".TimeStep";
  const auto command = [&](const std::string& proj) {
    return Load(proj) + Set(kSimulation, "LoadTimeStep", Step(2)) + Set(kSimulation, "Continue", "");
  };
  // Each call on the state's file, by its number: "N KIND PATH".
  const auto callsOnStep = [&](const std::string& file) {
    std::vector<std::pair<long, std::string>> calls;
    std::istringstream lines(ReadFile(file));
    for (std::string line; std::getline(lines, line);) {
      const size_t kind = line.find(' '), path = line.find(' ', kind + 1);
      if (path != std::string::npos && line.size() >= step.size() &&
          line.compare(line.size() - step.size(), step.size(), step) == 0)
        calls.push_back({std::atol(line.c_str()), line.substr(kind + 1, path - kind - 1)});
    }
    return calls;
  };
  fs::copy(base, p / "dry", fs::copy_options::recursive);
  setenv("TORVU_FAIL_CALLS", (p / "dry.calls").c_str(), 1);
  TorvuProcess dry(p / "x_dry");
  unsetenv("TORVU_FAIL_CALLS");
  ASSERT_TRUE(dry.Do(command(p / "dry/proj")).ok);
  ASSERT_EQ(dry.Quit(), 0);
  int refusedForTheLook = 0;
  for (const auto& [n, kind] : callsOnStep(p / "dry.calls")) {
    ASSERT_EQ(kind, "look") << "the dry run writes the state it goes on from";
    SCOPED_TRACE("call " + std::to_string(n) + " failed");
    const std::string dir = p / ("try_" + std::to_string(n));
    fs::copy(base, dir, fs::copy_options::recursive);
    setenv("TORVU_FAIL_AT", std::to_string(n).c_str(), 1);
    setenv("TORVU_FAIL_CALLS", (dir + ".calls").c_str(), 1);
    TorvuProcess x(p / ("x_" + std::to_string(n)));
    unsetenv("TORVU_FAIL_AT");
    unsetenv("TORVU_FAIL_CALLS");
    const Answer answer = x.Do(command(dir + "/proj"));
    EXPECT_EQ(x.Quit(), 0);
    if (!answer.ok && Contains(answer, "cannot look at ")) {
      ++refusedForTheLook;
      EXPECT_TRUE(Contains(answer, step + ": ")) << answer;
    }
    for (const auto& [m, what] : callsOnStep(dir + ".calls")) EXPECT_EQ(what, "look") << "call " << m << ": " << answer;
  }
  EXPECT_GT(refusedForTheLook, 0);
}

// The oracle of the countdown tells each file that differs: handed the tree of a whole command with
// one file changed, one gone and one added, it names each, answered success or failure; and a mark
// of cut work that a command answered as done left.
TEST(FailEachOperation, TheOracleNamesEachFileChangedMissingOrAdded)
{
  const Files whole = {{"proj/a.atr", "1"}, {"proj/b.atr", "2"}, {"proj/c.atr", "3"}};
  Reference reference;
  reference.beforeTree = reference.doneTree = reference.doneWritten = whole;
  Files changed = whole;
  changed["proj/a.atr"] = "9";
  changed.erase("proj/b.atr");
  changed["proj/d.atr"] = "4";
  Files marked = whole;
  marked["proj/A/.simulation_removing_later"] = "x";
  struct Case {
    bool succeeded;
    const Files* written;
    const Files* tree;
    std::vector<std::string> named;
  };
  const std::vector<Case> cases = {
      {true, &whole, &changed, {"proj/a.atr differs", "proj/b.atr is missing", "proj/d.atr is there"}},
      {false, &whole, &changed, {"proj/a.atr differs from both", "proj/b.atr is missing", "proj/d.atr is there in neither"}},
      {true, &marked, &whole, {"marks of cut work: proj/A/.simulation_removing_later"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.named.front());
    const std::string faults = AgainstTheAnswer(c.succeeded, *c.written, *c.tree, reference);
    for (const std::string& named : c.named) EXPECT_TRUE(Contains(faults, named)) << faults;
    EXPECT_EQ(AgainstTheAnswer(c.succeeded, whole, whole, reference), "");
  }
}
