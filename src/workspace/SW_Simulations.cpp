#include "SW_Simulations.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdio>
#include <memory>
#include <string_view>
#include <vector>

#include "AK_Group.h"
#include "AK_ProcessLock.h"
#include "SW_Simulation.h"
#include "SW_BackgroundStart.h"
#include "SW_RunLock.h"
#include "SW_SimulationStatus.h"

namespace {

const char* const kAreaGroups[] = {"ReleaseAreas",  "EntrainmentAreas", "SecondaryReleaseAreas",
                                   "ResistanceAreas", "WallLines",        "SourceLines"};

// The type of the components, and the name of each one's saved files in its directory.
constexpr const char* kSimulationType = "ShallowWaterSimulation";

bool CountsAsActive(AK_Object& simulation) { return simulation.Get("Active") == "1"; }

// The simulations marked active, in their order, and in `notReady` the Ids of those that are not
// ready to run, one to a line.
std::vector<SW_Simulation*> ActiveSimulations(AK_Object& simulations, AK_String& notReady)
{
  std::vector<SW_Simulation*> active;
  for (AK_Object* component : simulations.OwnedComponents())
    if (auto* simulation = dynamic_cast<SW_Simulation*>(component); simulation && CountsAsActive(*simulation))
      active.push_back(simulation);
  for (SW_Simulation* simulation : active)
    if (*simulation->RunVis() != 'w') notReady += simulation->Id() + "\n";
  return active;
}

// Takes the run lock of each simulation, a new one saved first, and begins its start marks, in
// order; false at the first that fails, with the error text saying why. `locks` and `marks` then
// hold what was taken, for the caller to give back.
bool LockEachRun(const std::vector<SW_Simulation*>& active, std::vector<std::unique_ptr<SW_RunLock>>& locks,
                 std::vector<SW_StartedMarks>& marks)
{
  for (SW_Simulation* simulation : active) {
    if (const AK_String unsaved = simulation->SaveNewRunDirectory(); !unsaved.IsEmpty()) {
      AK_ErrorText = simulation->GetAbsolutePath() + ": not started, it could not be saved: " + unsaved;
      return false;
    }
    AK_DirectoryLock taking(SW_RunDirectoryOrCurrent(simulation->ProjectDir()));
    locks.push_back(std::make_unique<SW_RunLock>(simulation->ProjectDir(), simulation->GetAbsolutePath(),
                                                 SW_LockPurpose::Run, "not started",
                                                 simulation->RecordForTaker()));
    if (!locks.back()->Held()) {
      locks.pop_back();  // the refusal answers
      return false;
    }
    if (AK_String reason; !marks[locks.size() - 1].Begin(simulation->ProjectDir(), reason)) {
      AK_ErrorText = simulation->GetAbsolutePath() + ": not started, " + reason;
      return false;
    }
  }
  return true;
}

// A run of the simulation is going on (or was started): its status file says so and a live
// process holds its run lock. One that was never saved has had no run.
bool IsRunning(AK_Object& simulation)
{
  auto* sim = dynamic_cast<SW_Simulation*>(&simulation);
  return sim && !sim->ProjectDir().IsEmpty() && sim->RunUnderWay();
}

// The path split at its last "/" or "\": the directory part (empty without separator) and
// the last piece.
void SplitLast(const AK_String& path, AK_String& directory, AK_String& last)
{
  const char* text = path;
  const char* cut = nullptr;
  for (const char* p = text; *p; ++p)
    if (*p == '/' || *p == '\\') cut = p;
  directory = cut ? AK_String(text, cut) : AK_String("");
  last = cut ? AK_String(cut + 1) : path;
}

int StartDetached(AK_BatchFile& batch, const AK_StartedHook& started) { return batch.Start(started); }

// Each simulation's start line in the batch; the first error is the start's answer. A simulation
// that has no start line never runs: it ends as a run refused in its own process ends, "finished"
// with "not run: <reason>", and its lock goes now.
AK_String WriteStartLines(AK_BatchFile& batch, const std::vector<SW_Simulation*>& active,
                          std::vector<std::unique_ptr<SW_RunLock>>& locks, int pauseTime)
{
  AK_String firstError;
  for (size_t i = 0; i < active.size(); ++i) {
    SW_Simulation* simulation = active[i];
    AK_ErrorText = "";
    if (const AK_String notRun = simulation->RunInBackground(batch.Stream()); !notRun.IsEmpty()) {
      simulation->WriteNotRun(notRun);
      locks[i].reset();
    }
    if (firstError.IsEmpty()) firstError = AK_ErrorText;
    // The particles in suspension of one run settle before the next one starts.
    if (simulation->InteractionTypeWithFluidAbove == "particles suspension")
      std::fprintf(batch, "sleep %d\n", pauseTime);
  }
  return firstError;
}

// The values each run runs under, as saved for it now. Values that cannot be read are no values
// of a run: the go-ahead is withheld, naming them.
std::vector<AK_String> SavedValuesOfEachRun(const std::vector<SW_Simulation*>& active,
                                            const std::vector<std::unique_ptr<SW_RunLock>>& locks, AK_String& withheld)
{
  std::vector<AK_String> digests;
  for (size_t i = 0; i < active.size(); ++i) {
    const AK_Read<AK_String> digest = active[i]->SavedRunValues();
    if (locks[i] && digest.IsUnreadable() && withheld.IsEmpty())
      withheld = active[i]->GetAbsolutePath() + ": " + AK_CannotRead(digest);
    digests.push_back(digest.Value() ? *digest.Value() : AK_String());
  }
  return digests;
}

}  // namespace

int (*SW_Simulations::StartBatchFile)(AK_BatchFile& batch, const AK_StartedHook& started) = StartDetached;

SW_Simulations::SW_Simulations(const char* id, AK_Object* parent) : AK_Class(id, parent)
{
  SetUpClassLevel();
  RunClassDefaults();
}

void SW_Simulations::DeclareAttributes(AK_AttributeTableOf<SW_Simulations>& t)
{
  using S = SW_Simulations;
  t.Int("PauseTime", &S::PauseTime);
  t.Vis("SimVis", [](S&) { return "w"; });
  t.Command("CreateSimulation", [](S& s, const char* id) { s.CreateSimulation(id); });
  t.Command("CloneSimulation", [](S& s, const char* path) { s.CloneSimulation(path); });
  t.Command("Cleanup", &S::Cleanup);
  t.Command("StartActive", &S::StartActive);
  t.Command("AnimateActive", &S::AnimateActive);
  t.Command("NextTimeStepActive", &S::NextTimeStepActive);
  t.Command("PrevTimeStepActive", &S::PrevTimeStepActive);
  t.Command("WriteStartMacroAndBat", &S::WriteStartMacroAndBat);
}

AK_Object* SW_Simulations::CreateComponent(const char* id, const char* typeName)
{
  if (!typeName || std::string_view(typeName) != kSimulationType) return nullptr;
  return new SW_Simulation(id, this);
}

AK_String SW_Simulations::EndWhatIsGoneInNewComponentDirectory(const char* directory)
{
  const AK_String run(directory ? directory : "");
  // A saved simulation ends what was left in its directory itself when it loads, recording a run
  // it ends there. A directory that cannot be looked into is left as it stands: nobody can tell
  // whether it holds one.
  if (run.IsEmpty()) return "";
  switch (AK_String unseen; AK_LookAtDirectory(run, &unseen)) {
    case AK_PathLook::Missing: return "";
    // Nothing else names it: the load fails, saying so.
    case AK_PathLook::Failed: return run + " is left as it stands: whether a run left anything there cannot be told: " + unseen;
    case AK_PathLook::Found: break;
  }
  if (AK_LookAtPath(AK_JoinPath(run, AK_String(kSimulationType) + ".atr")) != AK_PathLook::Missing) return "";
  AK_String id, parent;
  SplitLast(run, parent, id);
  // Nothing is recorded: no saved simulation stands there to record a time step in.
  const SW_EndOfWhatIsGone ended = SW_EndWhatIsGone(run, GetAbsolutePath() + "/" + id, SW_RecordTakenOver());
  // A project this process may not write is read as it stands, as a simulation's own directory is.
  if (ended.refusal == SW_RunLock::Refusal::CannotTake && !ended.failure.IsEmpty()) {
    AK_MESSAGE("WARNING: " + ended.failure);
    return "";
  }
  // No load of a simulation ever clears this directory: what a taker here could not remove of its
  // own (a lock's temporary) goes now, as at the load of a simulation's own directory.
  if (ended.failure.IsEmpty()) AK_RemoveLeftovers(run, SW_LeftoversAtLoad());
  return ended.failure;
}

SW_Simulation* SW_Simulations::CreateSimulation(const char* id)
{
  if (const AK_String refusal = VacatedNameRefusal(id); !refusal.IsEmpty()) {
    AK_ErrorText = refusal;
    return nullptr;
  }
  // The parent comes first: the simulation finds the project's meshes through it.
  auto* simulation = new SW_Simulation(id ? id : "", this);
  AK_Array<AK_String> meshes;
  simulation->SimulationMeshNamesList().Split("%AK_SEP%", meshes);
  // The list ends with a separator, so its last piece is empty.
  for (int i = meshes.Size() - 1; i >= 0; --i) {
    if (meshes[i].IsEmpty()) continue;
    simulation->SetMesh(meshes[i]);
    break;
  }
  AddComponent(simulation);
  simulation->SayNameGiven(id);
  return simulation;
}

SW_Simulation* SW_Simulations::CloneSimulation(const char* path)
{
  auto* source = dynamic_cast<SW_Simulation*>(FindObject(path ? path : ""));
  if (!source) {
    AK_ErrorText = GetAbsolutePath() + ": there is no simulation '" + (path ? path : "") + "' to clone";
    return nullptr;
  }
  // Named after the source, whatever path found it.
  auto* clone = new SW_Simulation(source->Id() + "_cloned", this);
  AddComponent(clone);
  for (const char* name : kAreaGroups) {
    auto* group = dynamic_cast<AK_Group*>(clone->GetComponent(name));
    if (AK_Object* members = source->GetComponent(name); group && members)
      group->AppendComponentsOf(members);
  }
  AK_Array<AK_String> leaveOut;
  leaveOut.Append(AK_String("LoadTimeStep"));
  clone->AssignAttributesOf(source, leaveOut);
  return clone;
}

void SW_Simulations::Cleanup()
{
  AK_String firstError;
  for (int i = 0; i < ComponentCount();) {
    AK_Object* simulation = Component(i);
    AK_String behavior = simulation->Get("CleanupBehavior");
    const char* deleteTimesteps = behavior == "keep last time step"     ? "except last"
                                  : behavior == "remove all time steps" ? "all"
                                                                        : nullptr;
    bool deleteEntirely = behavior == "delete entirely";
    if ((deleteTimesteps || deleteEntirely) && IsRunning(*simulation)) {
      if (firstError.IsEmpty())
        firstError = simulation->GetAbsolutePath() + ": its run is going on, its results are kept";
      ++i;
      continue;
    }
    if (deleteEntirely) {
      if (DeleteComponent(simulation->Id())) continue;  // the next simulation now stands at i
      // Refused or not removed: it stays, with the reason.
      if (firstError.IsEmpty()) firstError = AK_ErrorText;
      ++i;
      continue;
    }
    if (deleteTimesteps) {
      simulation->Set("DeleteTimesteps", deleteTimesteps);
      if (firstError.IsEmpty()) firstError = AK_ErrorText;
    }
    ++i;
  }
  AK_ErrorText = firstError;
}

void SW_Simulations::StartActive()
{
  if (ProjectDir().IsEmpty()) {
    AK_ErrorText = "project must be saved first";
    AK_MESSAGE("INFO: please save project first!");
    return;
  }
  AK_String notReady;
  const std::vector<SW_Simulation*> active = ActiveSimulations(*this, notReady);
  if (!notReady.IsEmpty()) {
    AK_ErrorText = "start not possible because the following simulations are not ready to run:\n" + notReady;
    return;
  }
  // The batch runs them one after another: each is locked from now until its own run ends, so
  // no other start slips in while it waits for its turn. An "Interrupt" answered from then on
  // stops its run before its first step (see SW_StartedMarks).
  std::vector<std::unique_ptr<SW_RunLock>> locks;
  std::vector<SW_StartedMarks> marks(active.size());
  // A start that starts nothing leaves every status and info as they were.
  const auto startsNothing = [&] {
    for (size_t i = 0; i < locks.size(); ++i)
      if (AK_String reason; locks[i] && !marks[i].Undo(reason))
        AK_ErrorText +=
            "; the status and info files of " + active[i]->GetAbsolutePath() + " cannot be put back: " + reason;
  };
  if (!LockEachRun(active, locks, marks)) {
    startsNothing();
    return;
  }
  // A start before this one may not have read its batch yet: this one is written beside it
  // and takes the name only when whole, and each shell runs the file of its own start. Written
  // under the directory's lock, the file it is written as is one that the next load of the
  // directory removes when a kill leaves it (never one of a live writer).
  AK_String path = AK_JoinPath(ProjectDir(), "batch.bat");
  auto writers = std::make_unique<AK_DirectoryLock>(ProjectDir());
  AK_BatchFile batch(path);
  if (!batch) {
    AK_ErrorText = "cannot open batch file " + path;
    startsNothing();
    return;
  }
  AK_String firstError = WriteStartLines(batch, active, locks, PauseTime);
  // With no simulation left to run, the batch starts nothing, and no batch file replaces the one
  // of a start before.
  if (std::none_of(locks.begin(), locks.end(), [](const auto& lock) { return bool(lock); })) {
    AK_ErrorText = firstError;
    return;
  }
  const bool committed = batch.Commit();
  writers.reset();
  if (!committed) {
    // A batch cut short is never started.
    AK_ErrorText = "cannot write batch file " + path;
    startsNothing();
    return;
  }
  // Each queued simulation reads "started" from now until its turn comes, as after a start in
  // the background, not the status of a run before; the shell's lock tells when it is gone.
  // A lock that cannot be handed over, or a status that cannot say "started", withholds the
  // go-ahead: nothing of the batch runs.
  AK_String withheld;
  const std::vector<AK_String> digests = SavedValuesOfEachRun(active, locks, withheld);
  const auto handOver = [&](int pid) {
    if (!withheld.IsEmpty()) return false;
    for (size_t i = 0; i < locks.size(); ++i)
      if (locks[i]) {
        if (!locks[i]->HandOver(pid)) {
          withheld = active[i]->GetAbsolutePath() +
                     AK_String::Format(": the run lock cannot be handed to process %d: ", pid) + std::strerror(errno);
          return false;
        }
        if (AK_String reason; !marks[i].Mark(active[i]->ProjectDir(), reason, digests[i])) {
          withheld = active[i]->GetAbsolutePath() + ": its status cannot be marked \"started\": " + reason;
          return false;
        }
      }
    return true;
  };
  if (StartBatchFile(batch, handOver) != 0) {
    AK_ErrorText = "starting batch command failed" + (withheld.IsEmpty() ? AK_String() : ": " + withheld);
    startsNothing();
    firstError = AK_ErrorText;
  } else {
    for (size_t i = 0; i < locks.size(); ++i)
      if (locks[i]) {
        locks[i]->Keep();
        active[i]->HandStateToOtherProcess();
      }
  }
  AK_ErrorText = firstError;
}

void SW_Simulations::SetOnActive(const char* attribute)
{
  AK_String firstError;
  for (AK_Object* simulation : OwnedComponents()) {
    if (simulation->IsDead() || !CountsAsActive(*simulation)) continue;
    simulation->Set(attribute, "");
    if (firstError.IsEmpty()) firstError = AK_ErrorText;
  }
  AK_ErrorText = firstError;
}

void SW_Simulations::AnimateActive() { SetOnActive("AnimateTimeSteps"); }
void SW_Simulations::NextTimeStepActive() { SetOnActive("LoadNextTimeStep"); }
void SW_Simulations::PrevTimeStepActive() { SetOnActive("LoadPrevTimeStep"); }

void SW_Simulations::WriteStartMacroAndBat(const char* directory)
{
  AK_String value(directory ? directory : "");
  AK_String d1, id, d2, piece, projectDir;
  SplitLast(value, d1, id);
  SplitLast(d1, d2, piece);
  if (piece != "Simulations") {
    AK_ErrorText = "invalid simulation path '" + value + "' does not contain 'Simulations'";
    return;
  }
  SplitLast(d2, projectDir, piece);
  if (piece != "Project") {
    AK_ErrorText = "invalid simulation path '" + value + "' does not contain 'Project'";
    return;
  }
  // The start line is for sh, which takes a backslash for a character of the name.
  AK_String runDirectory = value;
  runDirectory.ReplaceChar('\\', '/');
  // A start of that simulation holds its lock until its run ends, and its process may not
  // have read its start macro yet (a batch start runs one simulation after the other).
  // One whose lock cannot be read may be held: nothing is written beside it.
  const AK_Read<int> holder = SW_RunLockHolder(runDirectory);
  if (holder.IsUnreadable()) {
    AK_ErrorText = "start files of '" + value + "' not written: " + AK_CannotRead(holder);
    return;
  }
  if (holder.Value() && *holder.Value() != 0) {
    AK_ErrorText = "start files of '" + value + "' not written: a run of this simulation is going on in process " +
                   AK_String(*holder.Value());
    return;
  }
  SW_BackgroundRun run{runDirectory, projectDir, "Project/Simulations", id, false};
  // The directory is typed by a user and often holds blanks: the refusal quotes the path.
  if (SW_WriteStartMacro(run, true) != 0) return;
  // Started by hand, whenever: it runs what is saved then. A list left of an earlier start would
  // refuse it.
  if (AK_String reason; !SW_ExpectSavedSimulation(runDirectory, "", &reason)) {
    AK_ErrorText = "start files of '" + value + "' not written: " + AK_JoinPath(runDirectory, ".simulation_start") +
                   " cannot be removed: " + reason;
    return;
  }
  AK_String path = AK_JoinPath(value, "start.bat");
  AK_File file = AK_File::Replacing(path, "w");
  if (file) std::fprintf(file, "%s\n", SW_BackgroundStartLine(run).c_str());
  if (!file || !file.Close()) AK_ErrorText = "cannot create start bat file '" + path + "'";
}
