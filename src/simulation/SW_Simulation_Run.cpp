// SW_Simulation: the run commands and the run loop around one run (SW_SimulationRun), whose
// set-up and steps the simulation's entry points hand on to it.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <unordered_set>
#include <vector>

#include "AK_FrameworkState.h"
#include "AK_AttributeTable.h"
#include "AK_ClassTable.h"
#include "AK_Group.h"
#include "AK_NumberText.h"
#include "AK_Process.h"
#include "AK_ProcessLock.h"
#include "SW_InitialCondition.h"
#include "SW_RunLoop.h"
#include "SW_Simulation.h"
#include "SW_SimulationRun.h"
#include "SW_SimulationStatus.h"
#include "SW_TimeStepFile.h"
#include "SW_TimeStepList.h"
#include "SW_TimeStepNames.h"

bool SW_Simulation::HasRelease()
{
  auto* areas = dynamic_cast<AK_Group*>(Group(SW_SimulationGroup::ReleaseAreas));
  if (areas && !areas->GetContainedObjectsList().IsEmpty()) return true;
  if (!ReleaseDHM.IsEmpty() && ReleaseDHM != "none") return true;
  const AK_String strength = Get("$source_strength");
  return !strength.IsEmpty() && AK_Atof(strength) > 0;
}

bool SW_Simulation::ContinueStartsOver()
{
  SW_Particles* particles = Particles();
  return CurrentTime < 0.5 * DeltaT || !particles || particles->Count() == 0;
}

namespace {

// The object and every object below it, each once.
void CollectSubtree(AK_Object* object, std::unordered_set<const AK_Object*>& objects)
{
  if (!object || object->IsDead() || !objects.insert(object).second) return;
  for (AK_Object* c : object->OwnedComponents()) CollectSubtree(c, objects);
}

// The object at the path an attribute names ("none" or empty: none).
AK_Object* NamedObject(SW_Simulation& sim, const AK_String& path)
{
  return path.IsEmpty() || path == "none" ? nullptr : sim.FindObject(path.c_str());
}

}  // namespace

std::vector<AK_Object*> SW_Simulation::ObjectsARunReads()
{
  std::vector<AK_Object*> read{this};
  // The objects its references name, as the state's digest counts them, and the mesh of the flow
  // above when coupled to one.
  for (const AK_AttributeEntry* entry : StateReferences(ValuesLeftOut(SW_ValuesCompared::State)))
    read.push_back(NamedObject(*this, Get(entry->name)));
  if (InteractionTypeWithFluidAbove != "none") read.push_back(NamedObject(*this, PsaMesh));
  // The areas and lines its groups link (the groups themselves lie below it), and the meshes
  // whose heights are an area's release depth.
  for (const SW_GroupKind& kind : SW_SimulationGroups)
    if (AK_Object* group = GetComponent(kind.id))
      for (int i = 0; i < group->ComponentCount(); ++i) {
        AK_Object* member = group->Component(i);
        // The mesh before the area that names it: a save cut between them leaves no area naming
        // what was never saved.
        if (auto* area = dynamic_cast<SW_InitialCondition*>(member)) read.push_back(area->ReleaseDepthObject());
        read.push_back(member);
      }
  return read;
}

void SW_Simulation::DamageInTree(AK_String& read, std::vector<AK_String>* elsewhere)
{
  std::unordered_set<const AK_Object*> reads;
  for (AK_Object* object : ObjectsARunReads()) CollectSubtree(object, reads);
  // In the order of the tree, as the load met them.
  const std::function<void(AK_Object*)> look = [&](AK_Object* object) {
    if (object->IsDead()) return;
    const bool isRead = reads.count(object) > 0;
    // Another simulation is another run's input.
    if (!isRead && dynamic_cast<SW_Simulation*>(object)) return;
    if (const AK_String& own = object->LoadDamage(); !own.IsEmpty()) {
      if (isRead) read += (read.IsEmpty() ? "" : "; ") + own;
      else if (elsewhere)
        elsewhere->push_back("WARNING: " + GetAbsolutePath() + ": " + object->GetAbsolutePath() +
                             " was loaded with errors; the run does not read it: " + own);
    }
    for (AK_Object* c : object->OwnedComponents()) look(c);
  };
  look(GetRoot());
}

AK_String SW_Simulation::InputDamage()
{
  AK_String damage;
  DamageInTree(damage, nullptr);
  return damage.IsEmpty() ? damage : "what it reads was loaded with errors: " + damage;
}

void SW_Simulation::WarnOfDamageElsewhere()
{
  // What a run does not read runs on nothing of it: the run goes on, and says what it left aside.
  AK_String read;
  std::vector<AK_String> elsewhere;
  DamageInTree(read, &elsewhere);
  for (const AK_String& warning : elsewhere) AK_MESSAGE(warning);
}

AK_String SW_Simulation::StartRefusal(bool continuing, bool* ofTheDirectory, SW_NewestSeen* newest)
{
  // Nothing runs on what did not load whole: it would run on defaults in place of its files.
  if (AK_String damage = InputDamage(); !damage.IsEmpty()) return damage;
  // Asked at a time the end time is not after, the loop would remove the later time-step
  // files and then compute nothing, or, starting over, compute what they held already.
  if (continuing && EndTime - 0.5 * DeltaT <= CurrentTime)
    return AK_String::Format("nothing to continue: EndTime %g s is not after the current time %g s", EndTime,
                             CurrentTime);
  // Every run passes the gate of its series, which reads the stamp: refused here, before a save
  // of its values or anything of the run writes a file.
  if (!ProjectDir().IsEmpty())
    if (const AK_String why = SW_SeriesStampReadFailure(ProjectDir()); !why.IsEmpty())
      return "the stamp of the series cannot be read: " + why;
  // The run reads its status and the values of the run before ahead of its first time step:
  // read here too, before the save of its values, so that a refusal for them changes no file.
  if (!ProjectDir().IsEmpty()) {
    if (const AK_Read<AK_String> values = SW_ReadRunValues(ProjectDir()); values.IsUnreadable())
      return AK_CannotRead(values);
    if (const AK_Read<AK_String> status = SW_ReadStatusFile(ProjectDir()); status.IsUnreadable())
      return AK_CannotRead(status);
  }
  // A state computed on other objects than those it names now (another mesh set, one replaced
  // under its path) goes on on none of them: only a run from 0 s makes a series of one input.
  if (continuing && !ProjectDir().IsEmpty()) {
    const AK_Read<bool> other = ObjectsDifferFromRun(ProjectDir(), true);
    if (other.IsUnreadable()) return AK_CannotRead(other);
    if (other.Value() && *other.Value()) {
      if (ofTheDirectory) *ofTheDirectory = true;
      return "its time steps were computed on other objects than those it names now: \"Run\" to start over";
    }
  }
  if (continuing)
    if (AK_String stale = StaleStateRefusal(newest); !stale.IsEmpty()) {
      if (ofTheDirectory) *ofTheDirectory = true;
      return stale;
    }
  if (ProjectDir().IsEmpty() && InteractionTypeWithFluidAbove != "none") {
    AK_MESSAGE(AK_Text("WARNING: Save project first!", "WARNING: Zuerst Projekt speichern!"));
    return "no project directory";
  }
  // A run from 0 s sets the release up anew: with nothing to release it would replace every
  // time step with an empty one.
  const bool startsOver = !continuing || ContinueStartsOver();
  // Whether the run writes its start again follows from this look, the last before the run: one
  // that fails would have it write the state over its own time step, so it refuses, before the
  // save of the values writes anything.
  _goesOnFromWritten = false;
  if (!startsOver) {
    AK_String failure;
    _goesOnFromWritten = HoldsWrittenTimeStep(&failure);
    if (!failure.IsEmpty()) return "cannot look at " + failure;
  }
  if (startsOver && !HasRelease()) {
    AK_MESSAGE(AK_Text("INFO: No release areas defined! Simulation will not be started!",
                       "INFO: Keine Anbruchgebiete definiert! Simulation wird nicht gestartet!"));
    return "no release areas";
  }
  SW_Mesh* mesh = Mesh();
  if (!mesh || mesh->NumCells() == 0) {
    AK_MESSAGE(AK_String("INFO: simulation ") + Id() + " has no valid mesh assigned!");
    return "no valid mesh";
  }
  // Before the schedule's checks, so that a step or interval that is not positive is named
  // as such.
  if (AK_String fault = ValueRefusal(startsOver); !fault.IsEmpty()) return fault;
  const SW_RunTimes times{DeltaT, DeltaOut, EndTime};
  const double start = startsOver ? 0.0 : CurrentTime;
  // The step index and the output schedule count whole steps exactly only up to a bound.
  if (const double count = SW_RunStepCount(start, times); !(count <= SW_MaxRunSteps))
    return AK_String::Format("the run from %g s to EndTime %g s takes %g steps of DeltaT %g s, more than the %.0f "
                             "one run can count",
                             start, EndTime, std::ceil(count), DeltaT, SW_MaxRunSteps);
  // The schedule counts outputs in whole steps: an interval below one step has none.
  if (SW_OutputPeriod(times) < 1)
    return AK_String::Format("output interval DeltaOut %g is shorter than the time step DeltaT %g", DeltaOut,
                             DeltaT);
  SW_FlowParameters kernel;
  SW_FillKernelParameters(*this, kernel);
  if (AK_String fault = SW_KernelGridFault(mesh->Core(), kernel); !fault.IsEmpty()) return fault;
  if (AK_String fault = UserLawRefusal(); !fault.IsEmpty()) return fault;
  return "";
}

namespace {

// What is known of a run command for as long as it lasts (a flag of the simulation, false
// again at its end).
class RunCommandFlag {
public:
  RunCommandFlag(bool& flag, bool value) : _flag(flag) { _flag = value; }
  ~RunCommandFlag() { _flag = false; }
  RunCommandFlag(const RunCommandFlag&) = delete;
  RunCommandFlag& operator=(const RunCommandFlag&) = delete;

private:
  bool& _flag;
};

}  // namespace

// Its lock, status and info would go into whatever directory the program runs in.
constexpr const char* kNoRunDirectory =
    "the project has no directory for the run's lock, status and time steps: save it first (SaveProjectAs)";

void SW_Simulation::Run(const char*)
{
  // Its checks and its record ask about the same files on the disk: each is read once.
  const AK_FileDigestsOnce once;
  const RunCommandFlag background(_runOfBackgroundStart, _startedInBackground);
  if (ProjectDir().IsEmpty()) return RefuseRun(kNoRunDirectory);
  // One run of a simulation at a time, in any process; held until the run ends, however.
  SW_RunLock lock(ProjectDir(), GetAbsolutePath(), SW_LockPurpose::Run, "not started", RecordForTaker());
  const RunCommandFlag made(_runMadeItsDirectory, lock.MadeDirectory());
  if (!lock.Held()) return NotRunWithoutLock(lock.RefusedBy());  // the refusal answers
  // A background start runs what its launcher saved, also when the launcher saved again since.
  const bool foreground = !_startedInBackground;
  if (const AK_String refusal = BackgroundStartRefusal(); !refusal.IsEmpty()) return RefuseRun(refusal);
  if (ProjectDir().IsEmpty() && InteractionTypeWithFluidAbove == "none")
    AK_MESSAGE(AK_Text("WARNING: Save project first!", "WARNING: Zuerst Projekt speichern!"));
  WarnOfDamageElsewhere();
  if (const AK_String refusal = StartRefusal(false); !refusal.IsEmpty()) return RefuseRun(refusal);
  AK_MESSAGE(AK_String("running simulation ") + Id() + "...");
  if (const AK_String refusal = foreground ? SaveValuesToRun() : AK_String(); !refusal.IsEmpty())
    return RefuseRun(refusal);
  // The save took over what another process saved since: it must still make a run.
  if (const AK_String refusal = StartRefusal(false); !refusal.IsEmpty()) return RefuseRun(refusal);
  RunLoop(true);
}

void SW_Simulation::Continue(const char*)
{
  const AK_FileDigestsOnce once;
  const RunCommandFlag background(_runOfBackgroundStart, _startedInBackground);
  if (ProjectDir().IsEmpty()) return RefuseRun(kNoRunDirectory);
  SW_RunLock lock(ProjectDir(), GetAbsolutePath(), SW_LockPurpose::Run, "not started", RecordForTaker());
  const RunCommandFlag made(_runMadeItsDirectory, lock.MadeDirectory());
  if (!lock.Held()) return NotRunWithoutLock(lock.RefusedBy());  // the refusal answers
  // A background start runs what its launcher saved, also when the launcher saved again since.
  const bool foreground = !_startedInBackground;
  if (const AK_String refusal = BackgroundStartRefusal(); !refusal.IsEmpty()) return RefuseRun(refusal);
  if (!TakeBackRunState()) return;
  WarnOfDamageElsewhere();
  bool ofTheDirectory = false;
  // Under the run lock the series stays as the first look found it: one listing serves both checks.
  SW_NewestSeen newest;
  if (const AK_String refusal = StartRefusal(true, &ofTheDirectory, &newest); !refusal.IsEmpty())
    return RefuseRun(refusal, ofTheDirectory);
  // A state without particles starts again from 0 s (as a loaded project at 0 s does).
  if (ContinueStartsOver() && CurrentTime >= 0.5 * DeltaT)
    AK_MESSAGE(AK_String("WARNING: ") + GetAbsolutePath() +
               AK_String::Format(": no particle is left at %g s: the run starts again from 0 s and replaces "
                                 "its time steps",
                                 CurrentTime));
  if (const AK_String refusal = foreground ? SaveValuesToRun() : AK_String(); !refusal.IsEmpty())
    return RefuseRun(refusal);
  // The save took over what another process saved since (an EndTime): it must still make a run.
  if (const AK_String refusal = StartRefusal(true, &ofTheDirectory, &newest); !refusal.IsEmpty())
    return RefuseRun(refusal, ofTheDirectory);
  RunLoop();
}

AK_String SW_Simulation::SaveValuesToRun()
{
  if (ProjectDir().IsEmpty()) return "";
  // Everything it refuses for is read before the first write.
  const AK_Read<std::vector<AK_Object*>> groups = GroupsToSave();
  if (!groups.Value()) return groups.Failure();
  const AK_Read<bool> differ = SavedAttributesDiffer(ProjectDir(), ValuesLeftOut(SW_ValuesCompared::Run));
  if (differ.IsUnreadable()) return AK_CannotRead(differ);
  // The save below takes over what another process saved since: what it names must be here.
  if (const AK_String refusal = ValuesSavedSinceRefusal(); !refusal.IsEmpty()) return refusal;
  if (const AK_String refusal = InputsSavedElsewhereRefusal(); !refusal.IsEmpty()) return refusal;
  // The saved project describes the series beside it only with every object the run reads as the
  // run reads it: what differs from its saved files, or was never saved, is saved first. An object
  // unchanged since its save or load writes nothing.
  if (const AK_String unsaved = SaveInputsToRun(); !unsaved.IsEmpty()) return unsaved;
  // A simulation never saved, whose directory its run lock made, is saved as it runs: its time
  // steps never stand beside no saved simulation. (Over a directory that stood, a save would copy
  // its series there.)
  const bool neverSaved = differ.IsMissing() && _runMadeItsDirectory;
  if (groups.Value()->empty() && !neverSaved && (!differ.Value() || !*differ.Value())) return "";
  for (AK_Object* group : *groups.Value()) group->ForgetSaved();
  // Unchanged here since its last save or load, the simulation still differs from a file that
  // another process saved over since: it is written all the same.
  _savedStamp = 0;
  const AK_String answer = AK_ErrorText;
  AK_ErrorText = "";
  SaveProject();
  if (!AK_ErrorText.IsEmpty()) return "the simulation could not be saved: " + AK_ErrorText;
  AK_ErrorText = answer;
  return "";
}

AK_Read<std::vector<AK_Object*>> SW_Simulation::GroupsToSave()
{
  using Groups = AK_Read<std::vector<AK_Object*>>;
  std::vector<AK_Object*> differing;
  for (AK_Object* c : OwnedComponents()) {
    if (!c->IsA("Group")) continue;
    AK_String failure;
    const AK_PathLook look = AK_LookAtPath(c->SavedAttributesPath(c->ProjectDir()), &failure);
    if (look == AK_PathLook::Failed) return Groups::Unreadable("cannot look at " + failure);
    // A group never saved names no other members on the disk.
    if (look == AK_PathLook::Missing) continue;
    const AK_Read<AK_String> saved = c->SavedAttribute(c->ProjectDir(), "ContainedObjectsList");
    if (saved.IsUnreadable()) return Groups::Unreadable(AK_CannotRead(saved));
    const AK_String savedList = saved.Value() ? *saved.Value() : AK_String();
    if (savedList == c->Get("ContainedObjectsList")) continue;
    // Unchanged here since this process loaded or saved it, the group was saved by another process
    // since: this process's members written over it would undo that save (after a rename there
    // they name nothing).
    const int32_t synced = std::max(c->ModificationTime("Save"), c->ModificationTime("Load"));
    if (synced > 0 && c->LastModificationTime() <= synced)
      return Groups::Unreadable(c->GetAbsolutePath() + " was saved by another process since this process read it: "
                                "\"LoadProject\" to take it as saved");
    differing.push_back(c);
  }
  return Groups::Found(differing);
}

AK_String SW_Simulation::SaveInputsToRun()
{
  for (AK_Object* object : ObjectsARunReads()) {
    if (!object || object == this || object->IsDead() || object->ProjectDir().IsEmpty()) continue;
    // One unchanged since this process loaded or saved it stays as it stands: another process may
    // have saved or deleted it since, which a write of it would undo.
    const int32_t synced = std::max(object->ModificationTime("Save"), object->ModificationTime("Load"));
    if (synced > 0 && object->LastModificationTimeRecursive() <= synced) continue;
    const AK_String answer = AK_ErrorText;
    AK_ErrorText = "";
    object->SaveProjectAs(object->ProjectDir());
    if (!AK_ErrorText.IsEmpty()) return object->GetAbsolutePath() + ", which the run reads, could not be saved: " + AK_ErrorText;
    AK_ErrorText = answer;
  }
  return "";
}

namespace {

// How long a background start waits before it loads the saved simulation, and again before it
// takes the digest of what it loaded to look whether its launcher saved that: no time, unless
// the environment variable TORVU_BACKGROUND_START_PAUSE_MS asks for milliseconds (for tests of
// processes that save while a start is under way, which need it slow at just those places).
// Read once.
int64_t BackgroundStartPause()
{
  static const int64_t pause = [] {
    const char* value = std::getenv("TORVU_BACKGROUND_START_PAUSE_MS");
    return value ? std::clamp<int64_t>(std::atoll(value), 0, 60000) : 0;
  }();
  return pause;
}

}  // namespace

AK_String SW_Simulation::BackgroundStartRefusal()
{
  const bool background = _startedInBackground;
  _startedInBackground = false;  // the run itself answers from here on
  if (!background) return "";
  if (const int64_t pause = BackgroundStartPause()) AK_SleepMilliseconds(pause);
  const AK_Read<bool> expected = SW_SavedSimulationExpected(ProjectDir(), LoadedAttributesDigest());
  // What the start expects nobody can tell: nothing is run then.
  if (expected.IsUnreadable()) return AK_CannotRead(expected);
  if (expected.Value() && *expected.Value()) return "";
  return "another process saved the simulation after this start";
}

bool SW_Simulation::TakeBackRunState()
{
  if (!_series.HandedOver()) return true;
  if (const AK_Read<int> holder = SW_RunLockHolder(ProjectDir()); holder.IsUnreadable()) {
    RefuseRun("the run in another process cannot be told from none: " + AK_CannotRead(holder), true);
    return false;
  } else if (holder.Value() && *holder.Value() != 0 && *holder.Value() != AK_ProcessId()) {
    return true;
  }
  // A run that changed no time step (one refused there) left the state it started from.
  if (_series.TakeBack(ProjectDir())) return true;
  AK_String unread;
  const AK_String last = SW_NewestTimeStep(ProjectDir(), nullptr, &unread);
  if (!unread.IsEmpty()) {
    RefuseRun("the state the run in another process left cannot be looked for: " + unread, true);
    return false;
  }
  if (last.IsEmpty()) return true;
  // A run that computed no time step of its own there left no state to go on from.
  if (const AK_String notOwn = GoneRunNotOwn(ProjectDir(), ""); !notOwn.IsEmpty()) {
    HoldRecordedState("the run started from this process did not finish: " + notOwn);
    return true;
  }
  const AK_String before = AK_ErrorText;
  AK_ErrorText = "";
  if (LoadTimeStepFile(last)) {
    AK_ErrorText = before;
    return true;
  }
  // Going on from the state held would compute again what that run computed, over its files.
  RefuseRun("the state the run in another process left, time step " + last + ", cannot be read" +
                (AK_ErrorText.IsEmpty() ? AK_String() : ": " + AK_ErrorText),
            true);
  return false;
}

AK_String SW_Simulation::RecordRunState()
{
  // Another process saved other values meanwhile (or the run went on under values it did not
  // save): the saved simulation names no time step of this run, which computed none under those.
  const AK_Read<AK_String> saved =
      ProjectDir().IsEmpty() ? AK_Read<AK_String>::Missing() : SavedValuesDigest(ProjectDir(), SW_ValuesCompared::State);
  // Values nobody read vouch for no time step: the record stays, and the run's answer says why.
  if (saved.IsUnreadable()) {
    const AK_String unrecorded = "the saved project does not record the run's time step " + CurrentTimeStep + ": " +
                                 AK_CannotRead(saved);
    if (AK_ErrorText.IsEmpty()) AK_ErrorText = GetAbsolutePath() + ": " + unrecorded;
    return unrecorded;
  }
  // A save that only renamed what the run reads changed nothing its time steps depend on.
  if (!ProjectDir().IsEmpty() && !SameSavedValues(ProjectDir(), _runValues, saved.Value() ? *saved.Value() : AK_String())) {
    AK_MESSAGE("INFO: " + GetAbsolutePath() + ": the saved project records no time step of this run: " +
               (_runValues == "-" ? AK_String("the run went on under values that were not saved")
                                  : AK_String("values its time steps depend on were saved otherwise while it ran")));
    ForgetRecordOfFileGone(ProjectDir(), SW_SeriesChange::Record);
    return "";
  }
  // A run that ends with no file of its state (its first output failed after the later files
  // were removed) records that too: the record of a file that is gone would not load. A record
  // that cannot be written fails the run's answer: the project would load another state.
  const AK_String failure = RecordTimeStep(CurrentTimeStep);
  if (failure.IsEmpty()) return "";
  const AK_String unrecorded = "the saved project does not record the run's time step " + CurrentTimeStep + ": " + failure;
  if (AK_ErrorText.IsEmpty()) AK_ErrorText = GetAbsolutePath() + ": " + unrecorded;
  return unrecorded;
}

AK_String SW_Simulation::ForgetRecordOfFileGone(const AK_String& dir, SW_SeriesChange change)
{
  const AK_Read<AK_String> read = SavedAttribute(dir, "LoadTimeStep");
  if (read.IsUnreadable()) return AK_CannotRead(read);
  if (!read.Value() || read.Value()->IsEmpty()) return "";
  // Only a file that is gone unnames the record: one that cannot be looked at may stand.
  AK_String failure;
  switch (AK_LookAtPath(SW_TimeStepPath(dir, *read.Value()), &failure)) {
    case AK_PathLook::Found: return "";
    case AK_PathLook::Failed: return "cannot look at " + failure;
    case AK_PathLook::Missing: break;
  }
  return RecordTimeStep("", change, dir);
}

namespace {

// What a run reads of a saved attribute, as the class file marks it ("run:state": every time step
// depends on it; "run:end": the run reads it, but the time steps up to its end do not).
const char* RunMark(AK_AttributeNode* node)
{
  AK_AttributeNode* mark = AK_NodeFindChild(node, "run");
  return mark ? AK_NodeValue(mark) : "";
}

// The set identifiers of the saved entries below `node` that `compared` leaves out.
void CollectLeftOut(AK_AttributeNode* node, SW_ValuesCompared compared, std::vector<const char*>& leftOut)
{
  if (!node || AK_NodeFindChild(node, "volatile")) return;
  if (const char* setId = AK_NodeSetId(node); setId && *AK_NodeValue(node)) {
    const AK_String mark = RunMark(node);
    const bool kept = compared == SW_ValuesCompared::Saved || mark == "state" ||
                      (compared == SW_ValuesCompared::Run && mark == "end");
    if (!kept) leftOut.push_back(setId);
  }
  for (int i = 0; i < AK_NodeChildCount(node); ++i) CollectLeftOut(AK_NodeChild(node, i), compared, leftOut);
}

}  // namespace

std::vector<const char*> SW_Simulation::ValuesLeftOut(SW_ValuesCompared compared)
{
  // The record always (a saved time step is no value), and everything the class file does not
  // mark as read by a run; of the inputs of the mass methods, the numbers the release set-up
  // derives from the input of the method in force, which follow from the others.
  std::vector<const char*> leftOut = {"LoadTimeStep"};
  CollectLeftOut(GetClassInfo(), compared, leftOut);
  if (compared == SW_ValuesCompared::Saved) return leftOut;
  const int method = SW_MassMethodIndex(MassPerParticleDeterminationMethod);
  for (int i = 0; i < 4; ++i)
    if (i != method) leftOut.push_back(SW_MassMethodInputs[i]);
  return leftOut;
}

namespace {

// An attribute file of a simulation is a few kilobytes; one of more is read as none.
constexpr size_t kSavedValuesLimit = size_t(64) << 20;

// The saved attribute file as it stands, with its version; false without one, or when it cannot
// be read: values nobody read are taken from nobody.
bool ReadSavedValues(const AK_String& path, AK_String& text, AK_FileVersion& version)
{
  const AK_Read<AK_FileText> read = AK_ReadSmallFileVersion(path, kSavedValuesLimit);
  if (!read.Value()) return false;
  text = read.Value()->text;
  version = read.Value()->version;
  return true;
}

}  // namespace

void SW_Simulation::SeeSavedValues(const char* directory)
{
  // Kept as read: its digest is needed only once another process saved other values.
  _valuesSeenKnown = ReadSavedValues(SavedAttributesPath(directory), _valuesSeenText, _valuesSeenVersion);
  _valuesSeenStamp = AK_NewStamp();
}

AK_Read<SW_Simulation::SavedValues> SW_Simulation::ValuesSavedSince(const char* directory)
{
  using Values = AK_Read<SavedValues>;
  if (!_valuesSeenKnown) return Values::Found({});
  const AK_Read<AK_FileText> read = AK_ReadSmallFileVersion(SavedAttributesPath(directory), kSavedValuesLimit);
  if (read.IsUnreadable()) return read.Then([](const AK_FileText&) { return SavedValues(); });
  if (!read.Value()) return Values::Found({});
  // The very file seen, or other values saved as this process saw them.
  const std::vector<const char*> leftOut = ValuesLeftOut(SW_ValuesCompared::Saved);
  if (read.Value()->version == _valuesSeenVersion ||
      AttributesDigestOf(read.Value()->text, leftOut) == AttributesDigestOf(_valuesSeenText, leftOut))
    return Values::Found({});
  // Every value the other process saved that this one did not change itself, the inputs of every
  // mass method included: the values saved are one process's, never a mix that no process held.
  const auto notNow = SavedAttributesNotNow(directory, leftOut);
  if (!notNow.Value()) return notNow;
  SavedValues since;
  for (const auto& saved : *notNow.Value())
    if (ModificationTime(saved.first) <= _valuesSeenStamp) since.push_back(saved);  // else changed here since
  return Values::Found(since);
}

AK_String SW_Simulation::ValuesSavedSinceRefusal()
{
  const AK_Read<SavedValues> since = ValuesSavedSince(ProjectDir());
  if (!since.Value()) return since.IsUnreadable() ? AK_CannotRead(since) : AK_String();
  for (const auto& [name, value] : *since.Value()) {
    const AK_AttributeEntry* entry = AttributeTable().Find(name);
    // A value that names an object by more than its path is not looked up here.
    if (!entry || !entry->holdsPath || entry->pathOf || value.IsEmpty() || value == "none") continue;
    // Only what this process holds: a look that loaded what the other process saved would hold
    // the renamed object twice.
    if (FindLoaded(value.c_str())) continue;
    return GetAbsolutePath() + " was saved by another process since this process read it, its " + name + " naming " +
           value + ", which this process does not hold: \"LoadProject\" to take it as saved";
  }
  return "";
}

bool SW_Simulation::TakeValuesSavedSince(const char* directory)
{
  // Values nobody read are taken from nobody.
  const AK_Read<SavedValues> since = ValuesSavedSince(directory);
  if (!since.Value() || since.Value()->empty()) return false;
  std::vector<AK_String> taken;
  for (const auto& [name, value] : *since.Value()) {
    AK_MESSAGE("INFO: " + GetAbsolutePath() + ": " + name + " as another process saved it: " + value);
    Set(name, value);
    if (IsDead()) return false;
    taken.push_back(name);
  }
  // Values of a state only when a time step depends on them under the method now in force.
  const std::vector<const char*> notOfAState = ValuesLeftOut(SW_ValuesCompared::State);
  return std::any_of(taken.begin(), taken.end(), [&](const AK_String& name) {
    return std::none_of(notOfAState.begin(), notOfAState.end(), [&](const char* n) { return name == n; });
  });
}

AK_String SW_Simulation::RecordRunThatIsGone(const char* directory)
{
  const AK_String dir = directory ? AK_String(directory) : ProjectDir();
  // The values saved decide what is recorded: while they cannot be read, the run is left to end
  // to the next taker.
  if (const AK_Read<AK_String> saved = SavedValuesDigest(dir, SW_ValuesCompared::State); saved.IsUnreadable()) {
    const AK_String failure = AK_CannotRead(saved);
    AK_MESSAGE("WARNING: " + GetAbsolutePath() + ": the saved project does not record the run's time step: " + failure);
    return failure;
  }
  // Values that cannot be read tell nothing of whose the time steps are: the run is left to end
  // to the next taker.
  // Only whether they can be read; GoneRunNotOwn compares them.
  if (const AK_Read<AK_String> values = SW_ReadRunValues(dir); values.IsUnreadable()) {
    const AK_String unread = AK_CannotRead(values);
    AK_MESSAGE("WARNING: " + GetAbsolutePath() + ": the saved project does not record the run's time step: " + unread);
    return unread;
  }
  AK_String unread;
  // Not a time step of a start that never ran, nor under values another process saved while it
  // ran; the record it had stays while its file does.
  if (!GoneRunNotOwn(dir, "").IsEmpty()) return ForgetRecordOfFileGone(dir, SW_SeriesChange::RecordNewest);
  const AK_String newest = SW_NewestTimeStep(dir, nullptr, &unread);
  if (!unread.IsEmpty()) {
    AK_MESSAGE("WARNING: " + GetAbsolutePath() + ": the saved project does not record the run's time step: " + unread);
    return unread;
  }
  return RecordTimeStep(newest, SW_SeriesChange::RecordNewest, dir);
}

AK_String SW_Simulation::RecordTimeStep(const AK_String& step, SW_SeriesChange change, const char* directory)
{
  const AK_String dir = directory ? AK_String(directory) : ProjectDir();
  if (dir.IsEmpty()) return "";
  AK_DirectoryLock locked(dir);
  if (const SW_SeriesHold::Gate gate = _series.Pass(locked, dir, change); !gate.passed) {
    if (!gate.failure.IsEmpty())
      AK_MESSAGE("WARNING: " + GetAbsolutePath() + ": the saved project does not record the time step " + step +
                 ": " + gate.failure);
    return gate.failure;
  }
  // The command's own answer stays what it was.
  const AK_String answer = AK_ErrorText;
  AK_ErrorText = "";
  AK_String failure;
  if (!RewriteSavedAttribute(dir, "LoadTimeStep", step)) {
    failure = AK_ErrorText.IsEmpty() ? AK_String("the saved simulation cannot be rewritten") : AK_ErrorText;
    AK_MESSAGE("WARNING: " + GetAbsolutePath() + ": the saved project does not record the run's time step " + step +
               ": " + failure);
  }
  AK_ErrorText = answer;
  return failure;
}

AK_String SW_Simulation::StateText()
{
  AK_String state = AK_String::Format("its state at %g s", CurrentTime);
  if (CurrentTimeStep == SW_TimeStepName(CurrentTime)) state += " (time step " + CurrentTimeStep + ")";
  return state;
}

namespace {

// How a refused run can go on, from the newest time step of its run directory, or from `own`, an
// older time step that holds the state the process has ("" when there is none): going on from
// that one removes the later files, which only a choice with them in view may do.
AK_String HowToGoOn(const AK_String& newest, const AK_String& own = "")
{
  if (newest.IsEmpty()) return ": \"Run\" to start over";
  const AK_String fromOwn =
      own.IsEmpty() ? AK_String()
                    : ", \"LoadTimeStep\" " + own + " to go on from that state, which removes the later time steps";
  return ": \"LoadTimeStep\" " + newest + " to continue from there" + fromOwn + ", or \"Run\" to start over";
}

// Where a refusal leaves the user: the newest time step and how to go on.
AK_String NewestAndHowToGoOn(const AK_String& newest)
{
  return (newest.IsEmpty() ? AK_String("; none is left") : "; the newest is " + newest) + HowToGoOn(newest);
}

}  // namespace

AK_String SW_Simulation::SeriesLapse()
{
  const AK_String newest = SW_NewestTimeStep(ProjectDir());
  AK_String why;
  const SW_SeriesHold::Since since = _series.ChangesSince(ProjectDir(), &why);
  if (since == SW_SeriesHold::Since::Unreadable) return "the stamp of the series cannot be read: " + why;
  if (since == SW_SeriesHold::Since::Removed)
    return "the time steps up to " + StateText() + " have been removed since this process took it" +
           NewestAndHowToGoOn(newest);
  if (_stateChosen)
    return "another process has written time steps since " + StateText() + " was chosen with \"LoadTimeStep\"" +
           NewestAndHowToGoOn(newest);
  return "another process has written time steps since this one took " + StateText() + NewestAndHowToGoOn(newest);
}

AK_String SW_Simulation::GateRefusal(const SW_SeriesHold::Gate& gate)
{
  return gate.failure.IsEmpty() ? SeriesLapse() : gate.failure;
}

AK_String SW_Simulation::StaleStateRefusal(SW_NewestSeen* newest)
{
  // A run from 0 s writes its series anew; any other goes on from the series it holds.
  if (!ContinueStartsOver() && !_series.Holds(ProjectDir())) return SeriesLapse();
  // Going on replaces the later files: only from a state the user chose with them in view.
  if (_stateChosen) return "";
  SW_NewestSeen looked;
  SW_NewestSeen& seen = newest ? *newest : looked;
  if (!seen.looked) {
    seen.name = SW_NewestTimeStep(ProjectDir(), &seen.time, &seen.unread);
    seen.looked = true;
  }
  // Time steps it cannot see it would replace unseen.
  if (!seen.unread.IsEmpty()) return seen.unread;
  if (seen.name.IsEmpty() || !(seen.time > CurrentTime + 0.5 * DeltaT)) return "";
  // The state held is a time step of the series only when its file stands there.
  const bool ownStep = CurrentTimeStep == SW_TimeStepName(CurrentTime) &&
                       AK_FileExists(SW_TimeStepPath(ProjectDir(), CurrentTimeStep));
  return StateText() + " is older than the newest time step of its run directory, " + seen.name +
         HowToGoOn(seen.name, ownStep ? CurrentTimeStep : AK_String());
}

void SW_Simulation::DeactivateLoadingPsaResults(const char*)
{
  _startedInBackground = true;
  if (const int64_t pause = BackgroundStartPause()) AK_SleepMilliseconds(pause);
}

void SW_Simulation::RefuseRun(const char* reason, bool)
{
  AK_ErrorText = GetAbsolutePath() + ": not run: " + reason;
  // A refused command changes no file: its answer says why. Only a background start, whose
  // launcher waits for its status, says there why it did not run.
  if (!_runOfBackgroundStart) return;
  WriteNotRun(reason);
}

void SW_Simulation::WriteNotRun(const char* reason)
{
  // Without a project directory no status of this simulation is kept; a run directory this
  // command made goes again with its refusal (another process removed the simulation's).
  if (ProjectDir().IsEmpty() || _runMadeItsDirectory) return;
  // The reason first: whoever waits for the status finds it when the status changes.
  if (AK_String why; !SW_WriteInfoFile(ProjectDir(), AK_String("not run: ") + reason, &why))
    AK_ErrorText = (AK_ErrorText.IsEmpty() ? GetAbsolutePath() + ": not run: " + reason : AK_ErrorText) +
                   "; the info file cannot be written: " + why;
  if (const AK_String ended = SW_EndRun(ProjectDir()); !ended.IsEmpty())
    AK_ErrorText = (AK_ErrorText.IsEmpty() ? GetAbsolutePath() + ": not run: " + reason : AK_ErrorText) + "; " + ended;
}

void SW_Simulation::NotRunWithoutLock(int refusedBy)
{
  const bool started = _startedInBackground;
  _startedInBackground = false;
  // The lock a background start handed to this process, which cannot take it: nobody else
  // holds it, and the launcher's "started" would stay until a later taker ended the run as if
  // it had gone on. A lock that another process holds is that process's run, whose files stay.
  if (!started || refusedBy != 0 || ProjectDir().IsEmpty()) return;
  AK_DirectoryLock locked(ProjectDir());
  // One that cannot be read is left as it is: the next taker of the lock ends the start.
  const AK_Read<AK_String> status = SW_ReadStatusFile(ProjectDir());
  if (!status.Value() || (*status.Value() != "started" && *status.Value() != "interrupted")) return;
  WriteNotRun("the run lock handed to it cannot be taken: " + AK_LockError());
}

AK_String SW_Simulation::WriteOutput()
{
  AK_Object* top = GetRoot();
  if (top->Get("Offscreen") == "0") top->Set("Draw", "");
  if (!Particles()) return "";
  const AK_String failure = WriteTimeStep();
  // Without a project directory nothing is written, and nothing is lost: the run goes on.
  if (failure.IsEmpty() || ProjectDir().IsEmpty()) return "";
  return AK_String::Format("stopped at time %g s: the time step file ", CurrentTime) +
         SW_TimeStepPath(ProjectDir(), SW_TimeStepName(CurrentTime)) + " could not be written: " + failure;
}

void SW_Simulation::UpdateCellResistances(SW_SimulationRun& run) { run.UpdateCellResistances(); }
void SW_Simulation::MarkWallCells(SW_SimulationRun& run) { run.MarkWallCells(); }
int SW_Simulation::ComputeTimeStep(double t, double dt, SW_SimulationRun& run)
{
  return run.ComputeTimeStep(t, dt);
}

void SW_Simulation::ReturnToWrittenState()
{
  const AK_String stopped =
      AK_String("simulation ") + Id() + AK_String::Format(": the step from %g s stopped half-way: ", CurrentTime);
  // The half-done particles go first: reading the file back needs their memory.
  if (SW_Particles* particles = Particles()) {
    SW_ParticleStore gone;
    particles->SwapStore(gone);
  }
  const AK_String name = CurrentTimeStep;
  if (LoadTimeStepFile(name)) {
    AK_MESSAGE(stopped + "the simulation holds its time step " + name + " again");
    return;
  }
  // Nothing written to go back to: the state of 0 s, which every run makes again.
  AK_MESSAGE(stopped + "the simulation goes back to its release at 0 s");
  HoldRelease();
}

void SW_Simulation::HoldRelease()
{
  _filePeakTime = -1;
  _series.Drop();
  _setUpAnew = true;
  _stateChosen = false;
  if (Initialize().IsEmpty()) return;
  if (SW_Particles* particles = Particles()) particles->Clear();
  SetRunProgress({});
}

// The end of every run that ran: what it touched is due for the next save, the reason of a failure
// in the error text and the info, the state recorded, and the run lock given back.
void SW_Simulation::EndRunLoop(const AK_String& failure, double startCpu)
{
  MarkModified("touch");
  if (SW_Particles* p = Particles()) p->MarkModified("touch");
  for (int rank = 1; rank <= SW_ResultFieldCount; ++rank)
    for (int row = 0; row < SW_ResultFieldCount; ++row)
      if (AK_Object* field = ResultField(row); field && SW_ResultFields[row].runTouchOrder == rank)
        field->MarkModified("touch");
  BottomPressure().SetMesh(nullptr);
  // The particles and fields hold the run's last time step, as after a load of it: the next
  // update must not set the release up anew over them, whatever changed before the run.
  MarkModified("LoadTimeStep");
  if (!failure.IsEmpty()) {
    // The reason first: whoever waits for the status finds it when the status changes.
    AK_ErrorText = GetAbsolutePath() + ": " + failure;
    if (AK_String why; !SW_WriteInfoFile(ProjectDir(), failure, &why))
      AK_ErrorText += "; the info file cannot be written: " + why;
  }
  // Before the status: whoever waits for "finished" to load the project finds the record, and
  // whoever reads the info finds why it is not there.
  if (const AK_String unrecorded = RecordRunState(); !unrecorded.IsEmpty() && failure.IsEmpty())
    if (AK_String why; !SW_WriteInfoFile(ProjectDir(), AK_String::Format("stopped at time %g s: ", CurrentTime) + unrecorded, &why))
      AK_ErrorText += "; the info file cannot be written: " + why;
  // The files are this run's; its state is its own.
  _stateChosen = false;
  if (const AK_String ended = SW_EndRun(ProjectDir()); !ended.IsEmpty() && AK_ErrorText.IsEmpty())
    AK_ErrorText = GetAbsolutePath() + ": " + ended;
  AK_MESSAGE(AK_String("simulation ") + Id() +
             AK_String::Format(" terminated; CPU time %g sec", AK_CpuSeconds() - startCpu));
}

// The series a run writes, made ready under the lock it takes into `beginning`: the status and the
// values of the run before read, the gate passed, the run's values written and what is later than
// the state it goes on from removed, marked first. "" when ready; else why the run is refused, with
// `ofTheDirectory` as RefuseRun takes it, after everything it changed went back.
AK_String SW_Simulation::ReadySeries(bool startsOver, bool valuesSaved, std::optional<AK_DirectoryLock>& beginning,
                                     bool& ofTheDirectory)
{
  ofTheDirectory = false;
  const AK_DirectoryLock& locked = beginning.emplace(ProjectDir());
  // A status that cannot be read may hold an "Interrupt": nothing runs over it.
  const AK_Read<AK_String> status = SW_ReadStatusFile(ProjectDir());
  if (status.IsUnreadable()) return AK_CannotRead(status);
  if (_runOfBackgroundStart && status.Value() && *status.Value() == "interrupted")
    return "interrupted before it began";
  // The values of the run before go back after a refusal: none are written over that nobody read.
  const AK_Read<AK_String> valuesRead = SW_ReadRunValues(ProjectDir());
  if (valuesRead.IsUnreadable()) return AK_CannotRead(valuesRead);
  const AK_Read<AK_String> savedValues =
      valuesSaved ? SavedValuesDigest(ProjectDir(), SW_ValuesCompared::State) : AK_Read<AK_String>::Found("-");
  if (savedValues.IsUnreadable()) return AK_CannotRead(savedValues);
  const SW_SeriesHold::Gate gate =
      _series.Pass(locked, ProjectDir(), startsOver ? SW_SeriesChange::Anew : SW_SeriesChange::Write);
  if (!gate.passed) {
    ofTheDirectory = true;
    return GateRefusal(gate);
  }
  // Whoever ends the run after its process is gone records by the values of the run: until the
  // later time steps went, they say "not this run's own" ("-"), so that a kill in between never
  // leaves this run's values beside the newest time step of the run before. The first write
  // that fails refuses the run before any time step is touched.
  _runValues = savedValues.Value() ? *savedValues.Value() : AK_String();
  // What stays of the series after a refusal below is still the run's before: its values go back.
  const AK_String valuesBefore = valuesRead.Value() ? *valuesRead.Value() : AK_String();
  const auto valuesPutBack = [&](AK_String reason) {
    AK_String why;
    if (valuesBefore.IsEmpty() ? AK_DeleteFile(SW_RunValuesFilePath(ProjectDir())) == 0
                               : SW_WriteRunValues(ProjectDir(), valuesBefore, &why))
      return reason;
    return reason + "; its values before cannot be put back: " + (why.IsEmpty() ? AK_String(std::strerror(errno)) : why);
  };
  if (AK_String why; !SW_WriteRunValues(ProjectDir(), "-", &why))
    return "the values of the run cannot be written: " + why;
  // Later time steps that stay would go on beside this run's: refused before it writes one. What
  // stays is one run's series without a gap; a run from 0 s holds none of it, and the saved
  // record names none of its files that went.
  // The removal is marked before anything of it changes: a kill on the way leaves it to whoever
  // takes the run lock next, who ends the series at the state this run goes on from, as the run
  // would have. A mark that cannot be written refuses the run before any file goes.
  if (const AK_String unmarked = SW_MarkLaterRemoval(ProjectDir(), CurrentTime, DeltaT); !unmarked.IsEmpty()) {
    if (startsOver) _series.Drop();
    return valuesPutBack("the removal of the later time steps cannot be marked: " + unmarked);
  }
  // A refused run leaves no removal marked: what stays of the series is as the refusal says.
  const auto refuseMarked = [&](AK_String reason) {
    if (const AK_String stays = SW_DropLaterRemoval(ProjectDir(), locked, _series); !stays.IsEmpty())
      reason += "; " + stays;
    if (startsOver) _series.Drop();
    return valuesPutBack(reason);
  };
  // The saved project names none of the time steps that go, before the first goes: the run's own
  // record at its end may fail, and must not leave it naming a file that is gone.
  const AK_Read<AK_String> recorded = SavedAttribute(ProjectDir(), "LoadTimeStep");
  if (recorded.IsUnreadable()) return refuseMarked(AK_CannotRead(recorded));
  if (recorded.Value())
    if (SW_IsLaterTimeStep(*recorded.Value(), CurrentTime, DeltaT))
      if (const AK_String failure = RecordTimeStep("", SW_SeriesChange::RecordNewest); !failure.IsEmpty())
        return refuseMarked("the saved project names a later time step, and cannot name none instead: " + failure);
  AK_String stayed = SW_RemoveLaterTimeSteps(ProjectDir(), CurrentTime, DeltaT);
  const AK_String unrecorded = ForgetRecordOfFileGone(ProjectDir(), SW_SeriesChange::RecordNewest);
  if (!stayed.IsEmpty()) {
    if (!unrecorded.IsEmpty()) stayed += "; " + unrecorded;
    return refuseMarked("the later time steps cannot all be removed: " + stayed);
  }
  if (!unrecorded.IsEmpty())
    return refuseMarked("the saved project names a time step that went, and cannot name none instead: " + unrecorded);
  // A mark that stays would have the next taker remove the time steps this run writes: no run
  // beside it.
  if (const AK_String stays = SW_EndLaterRemoval(ProjectDir()); !stays.IsEmpty()) {
    if (startsOver) _series.Drop();
    return valuesPutBack("the later time steps were removed, but " + stays +
                         "; the next process that takes the run lock removes it");
  }
  if (AK_String why; _runValues != "-" && !SW_WriteRunValues(ProjectDir(), _runValues, &why))
    return valuesPutBack("the values of the run cannot be written: " + why);
  return "";
}

void SW_Simulation::RunLoop(bool fromStart)
{
  const AK_FileDigestsOnce once;
  // Reached through "Run" or "Continue", whose start checks (StartRefusal) have passed.
  SW_Mesh* mesh = Mesh();
  if (ProjectDir().IsEmpty()) AK_MESSAGE("WARNING: Save project first, otherwise output data cannot be saved!");
  const SW_RunTimes times{DeltaT, DeltaOut, EndTime};
  if (mesh->Get("RegularGrid") == "0")
    AK_MESSAGE(AK_Text("WARNING: The simulation mesh should be a regular grid!",
                       "WARNING: Das Simulationsnetz sollte ein regelmaessiges Gitter sein!") +
               AK_String(" ") + mesh->Id() + AK_Text(" is none!", " ist keines!"));

  const double startCpu = AK_CpuSeconds();
  const bool startsOver = fromStart || ContinueStartsOver();
  // Before the release set-up, which derives values of its own.
  const AK_Read<bool> differ = ProjectDir().IsEmpty() ? AK_Read<bool>::Missing() : ValuesDifferFromSaved(ProjectDir());
  if (differ.IsUnreadable()) return RefuseRun(AK_CannotRead(differ));
  const bool valuesSaved = !differ.Value() || !*differ.Value();
  if (startsOver) {
    // Refused before any file is touched: the results of an earlier run stay, and so does
    // the state the simulation holds.
    const AK_String fault = Initialize();
    if (!fault.IsEmpty()) return RefuseRun(fault);
  } else if (const AK_String fault = FindRunMassPerParticle(); !fault.IsEmpty()) {
    return RefuseRun(fault);
  }
  // The series: a run from 0 s writes it anew; any other goes on from the series it holds and
  // removes what is later than its state.
  // A background start interrupted while it read "started" is over before it began. From the
  // look at the status, before any time step is touched, to the word "running" after the first
  // output, the run holds the lock an "Interrupt" writes under: an "Interrupt" comes either
  // before the look, or after "running" and stops a run under way.
  std::optional<AK_DirectoryLock> beginning;
  if (!ProjectDir().IsEmpty()) {
    bool ofTheDirectory = false;
    if (const AK_String refusal = ReadySeries(startsOver, valuesSaved, beginning, ofTheDirectory); !refusal.IsEmpty())
      return RefuseRun(refusal, ofTheDirectory);
  }
  CheckFrictionParameters();
  auto run = std::make_unique<SW_SimulationRun>(*this);
  UpdateCellResistances(*run);
  MarkWallCells(*run);
  run->SetUpSourceLines();
  BottomPressure()._onVertices = 1;
  BottomPressure().SetMesh(mesh);
  // The first output that cannot be written ends the run: a run whose results are lost is
  // not worth computing. A run that goes on from the state of a file it wrote or loaded
  // leaves that file as it is: the state is the same, and its peak kinetic energy is that of
  // the steps before it, as the run that wrote it had it then.
  const bool writesStart = startsOver || !_goesOnFromWritten;
  AK_String failure = SW_OnOutputSchedule(CurrentTime, times) && writesStart ? WriteOutput() : AK_String();
  // What follows an output in every step: the state the run goes on from counts into the peak
  // kinetic energy (a state read from a file holds the peak of the steps before it).
  if (!startsOver) run->AfterStep();
  // A run whose status does not say it runs cannot be interrupted, and one of a background
  // start would look started for ever: it ends here, as after a failed output. (Without a
  // project directory the status of the current directory is the last writer's anyway.)
  if (AK_String why;
      !SW_WriteStatusFile(ProjectDir(), "running", &why) && !ProjectDir().IsEmpty() && failure.IsEmpty())
    failure = AK_String::Format("stopped at time %g s: the status file cannot be written: ", CurrentTime) + why;
  beginning.reset();
  // A progress line: the next one replaces it.
  (void)SW_WriteInfoFile(ProjectDir(), AK_String::Format("at time %.15gs", CurrentTime));

  if (SW_Particles* particles = Particles()) {
    const AK_Array<AK_Vec3>& x = particles->Positions();
    const AK_Array<float>& m = particles->Masses();
    for (int32_t i = particles->Count() - 1; i >= 0; --i)
      std::printf("IPD, %g, %g, %g, %g\n", x[i].x, x[i].y, x[i].z, double(m[i]));
    std::fflush(stdout);
  }

  // A loop that ended on an interrupt that cannot be read ended with the reason too.
  if (failure.IsEmpty() && (!SW_RunTimeLoop(CurrentTime, times, *run, Id()) || !run->Failure().IsEmpty()))
    failure = run->Failure();
  if (failure.IsEmpty() && !run->ProgressUnwritten().IsEmpty())
    failure = AK_String::Format("stopped at time %g s: its progress cannot be written into its info: ", CurrentTime) +
              run->ProgressUnwritten();
  const bool halfDone = run->StepFailed();
  run.reset();  // gives the arrays back and frees the run's own
  if (SW_Particles* p = Particles()) p->FreeWork();
  if (halfDone) ReturnToWrittenState();

  EndRunLoop(failure, startCpu);
}
