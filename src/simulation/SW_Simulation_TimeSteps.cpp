// SW_Simulation: writing and reading its time-step files, stepping through them, deleting
// them.
//
// A load reads every record into temporary storage and checks that the particle set is whole
// before the simulation takes anything: a file that fails half-way leaves the simulation as
// it was.
#include <cerrno>
#include <cstring>
#include <map>
#include <optional>
#include <string>

#include "AK_FrameworkState.h"
#include "AK_NumberText.h"
#include "AK_Process.h"
#include "AK_Record.h"
#include "SW_RunDirectory.h"
#include "SW_RunLock.h"
#include "SW_SeriesCopy.h"
#include "SW_SimulationStatus.h"
#include "SW_TimeStepList.h"
#include "SW_TimeStepNames.h"
#include "SW_Simulation.h"
#include "SW_TimeStepFile.h"

namespace {

// The records of a simulation's time-step file.
class SimulationRecords : public SW_TimeStepRecords {
public:
  explicit SimulationRecords(SW_Simulation& sim) : _sim(sim), _position("Position", nullptr) {}

  int WriteRecord(const char* tag, AK_STREAM& stream) override
  {
    std::string t = tag;
    SW_Particles& particles = *_sim.Particles();
    if (t == "particles") return particles.WriteRecord(stream);
    if (t == "particles:Position") {
      // The point set is left out of project saves, not out of time steps.
      particles.PositionSet().SetSkipBinaryData(0);
      int result = particles.PositionSet().SaveData(stream);
      particles.PositionSet().SetSkipBinaryData(1);
      return result;
    }
    if (t == "particles:Velocity") return particles.VelocityField().WriteRecord(stream);
    SW_ScalarField* field = Field(t);
    return field ? field->WriteRecord(stream) : 1;
  }

  int ReadRecord(const char* tag, AK_STREAM& stream) override
  {
    std::string t = tag;
    if (t == "particles") {
      AK_RecordReader r(stream, &_sim, "SW_Particles");
      _flagsRead = true;
      if (r.Version(0) >= 0) r.Array(_flags, AK_RecordCountLimit);
      return r.Finish(__FILE__, __LINE__);
    }
    if (t == "particles:Position") {
      _positionRead = true;
      return _position.LoadData(stream);
    }
    if (t == "particles:Velocity") return Temporary<SW_VectorField>(_velocity, t).ReadRecord(stream);
    if (!Field(t)) return 1;
    return Temporary<SW_ScalarField>(_scalars[t], t).ReadRecord(stream);
  }

  // True when the particle set was read whole or not at all, its arrays agree in their
  // counts, and the result fields fit the mesh.
  bool Whole() const override
  {
    // A set with some records missing would keep old columns beside new ones.
    const int particleRecords = int(_flagsRead) + int(_positionRead) + int(bool(_velocity)) +
                                int(_scalars.count("particles:Mass"));
    if (particleRecords != 0 && particleRecords != 4) return false;
    int32_t n = _positionRead ? _position.NumVertices() : _sim.Particles()->Count();
    auto agrees = [n](const auto& field, const auto& values) { return !field || values(*field).Size() == n; };
    auto scalars = [](const SW_ScalarField& f) -> const AK_Array<float>& { return f._values; };
    auto vectors = [](const SW_VectorField& f) -> const AK_Array<AK_Vec3>& { return f._vectors; };
    auto scalar = [&](const char* tag) {
      auto it = _scalars.find(tag);
      return it == _scalars.end() ? nullptr : it->second.get();
    };
    if (!(_flags.Size() == 0 || _flags.Size() == n) || !agrees(_velocity.get(), vectors) ||
        !agrees(scalar("particles:Mass"), scalars) || !agrees(scalar("particles:TotalEnthalpy"), scalars))
      return false;
    // A result field bound to the mesh takes only as many values as the mesh gives it.
    for (const auto& [tag, values] : _scalars) {
      SW_ScalarField* field = Field(tag);
      if (tag.rfind("particles:", 0) != 0 && field->Mesh() && values->_values.Size() != field->ItemCount())
        return false;
    }
    return true;
  }

  // Moves what was read into the simulation.
  void Commit()
  {
    SW_Particles& particles = *_sim.Particles();
    if (_flagsRead) particles._flags = std::move(_flags);
    if (_positionRead) particles.Positions() = std::move(_position.Vertices());
    if (_velocity) particles.Velocities() = std::move(_velocity->_vectors);
    for (auto& [tag, values] : _scalars) Field(tag)->_values = std::move(values->_values);
  }

private:
  // The scalar field a tag stands for.
  SW_ScalarField* Field(const std::string& t) const
  {
    SW_Particles& particles = *_sim.Particles();
    if (t == "particles:Mass") return &particles.MassField();
    if (t == "particles:TotalEnthalpy") return &particles.EnthalpyField();
    const int row = SW_ResultFieldOfTag(t);
    return row < 0 || SW_ResultFields[row].IsVector() ? nullptr : _sim.ScalarResult(row);
  }

  // A fresh unbound field for a record (a later record of the same tag replaces it).
  template <class Field>
  static Field& Temporary(std::unique_ptr<Field>& slot, const std::string& tag)
  {
    slot = std::make_unique<Field>(tag.c_str(), nullptr);
    return *slot;
  }

  SW_Simulation& _sim;
  AK_Array<unsigned char> _flags;
  bool _flagsRead = false;
  SW_Mesh _position;
  bool _positionRead = false;
  std::unique_ptr<SW_VectorField> _velocity;
  std::map<std::string, std::unique_ptr<SW_ScalarField>> _scalars;
};

}  // namespace

AK_PathLook SW_Simulation::LookAtRunDirectory(const AK_String& directory, AK_String* failure)
{
  // One look: a first one that failed would pass over the directory a second one found.
  return directory.IsEmpty() ? AK_PathLook::Missing : AK_LookAtDirectory(directory, failure);
}

AK_String SW_Simulation::WriteTimeStep(bool* refused)
{
  SimulationRecords records(*this);
  SW_TimeStepHeader header{CurrentTime, _filePeakTime == CurrentTime ? _filePeak : PeakKineticEnergy};
  AK_String failure;
  const AK_PathLook look = LookAtRunDirectory(ProjectDir(), &failure);
  // A directory that may stand may hold a series: nothing is written beside it unseen.
  if (look == AK_PathLook::Failed) {
    if (refused) *refused = true;
    return "cannot look at " + failure;
  }
  // Without a run directory there is no series: the writer says why it writes nothing.
  if (look == AK_PathLook::Missing) {
    const AK_String before = AK_ErrorText;
    AK_ErrorText = "";
    const bool failed = SW_SaveTimeStepFile(ProjectDir(), header, records, GetAbsolutePath()) != 0;
    const AK_String failure = AK_ErrorText;
    AK_ErrorText = before;
    return failed ? failure : AK_String();
  }
  AK_DirectoryLock locked(ProjectDir());
  // A state at 0 s that holds no series (a release set up anew) begins one where nothing later
  // stands: never a first time step beside the later ones of another state.
  SW_SeriesChange change = SW_SeriesChange::Write;
  if (CurrentTime < 0.5 * DeltaT && !_series.Holds(ProjectDir())) {
    double newestTime = 0;
    // A listing that cannot be read hides whether later time steps stand: nothing is written.
    const AK_Read<AK_String> newest = SW_ReadNewestTimeStep(ProjectDir(), &newestTime);
    if (newest.IsUnreadable()) {
      if (refused) *refused = true;
      return AK_CannotRead(newest);
    }
    if (newest.Value()->IsEmpty() || !(newestTime >= 0.5 * DeltaT)) change = SW_SeriesChange::Anew;
    else if (_setUpAnew) {
      if (refused) *refused = true;
      return "the state is a new set-up at 0 s, not a time step of this run: \"Run\" to start over";
    }
  }
  const SW_SeriesHold::Gate gate = _series.Pass(locked, ProjectDir(), change);
  if (!gate.passed) {
    if (refused) *refused = true;
    return GateRefusal(gate);
  }
  const AK_String before = AK_ErrorText;
  AK_ErrorText = "";
  if (SW_SaveTimeStepFile(ProjectDir(), header, records, GetAbsolutePath()) != 0) {
    const AK_String failure = AK_ErrorText.IsEmpty() ? AK_String("it could not be written") : AK_ErrorText;
    AK_ErrorText = before;
    return failure;
  }
  AK_ErrorText = before;
  // The file written holds the state: a project saved from now on loads it again, so that a
  // "Continue" in any process goes on from there.
  CurrentTimeStep = SW_TimeStepName(CurrentTime);
  _filePeak = header.peakKineticEnergy;
  _filePeakTime = CurrentTime;
  _setUpAnew = false;
  return "";
}

void SW_Simulation::SaveTimeStep(const char*)
{
  // A state held under defaults in place of the saved values would stand in the series as one
  // computed under them.
  if (FilesNotRead()) {
    AK_ErrorText = GetAbsolutePath() + ": time step not saved: it was loaded with errors: " + LoadDamage();
    return;
  }
  if (!Particles()) return;
  // A writer of the series like a run: none while a run is under way, in any process.
  std::optional<SW_RunLock> lock;
  AK_String unseen;
  const AK_PathLook look = LookAtRunDirectory(ProjectDir(), &unseen);
  if (look == AK_PathLook::Failed) {
    AK_ErrorText = GetAbsolutePath() + ": time step not saved: cannot look at " + unseen;
    return;
  }
  if (look == AK_PathLook::Found) {
    lock.emplace(ProjectDir(), GetAbsolutePath(), SW_LockPurpose::SaveTimeStep, "time step not saved", RecordForTaker());
    if (!lock->Held()) return;
  }
  AK_StopAtWindow("save time step");
  // A write that failed answers with the writer's own text.
  bool refused = false;
  const AK_String failure = WriteTimeStep(&refused);
  if (refused) AK_ErrorText = GetAbsolutePath() + ": time step not saved: " + failure;
  else if (!failure.IsEmpty()) AK_ErrorText = failure;
}

void SW_Simulation::LoadTimeStep(const char* name)
{
  const bool replaying = ReplayingSavedAttributes();
  // A load of a saved project sees the series as it stands, whether its time step reads or
  // not: no writer comes in between.
  std::optional<AK_DirectoryLock> locked;
  if (replaying && AK_IsDirectory(ProjectDir())) locked.emplace(ProjectDir());
  if (LoadTimeStepFile(name)) {
    // A saved project's record restores a state; only the user's own load chooses one.
    if (!replaying) _stateChosen = true;
    return;
  }
  // A saved project whose time step is not there (another process removed it), or that names
  // none, holds the release at 0 s, as it does in a new process: never the state this process
  // held before, which the files no longer continue. That state was read from no time step: it
  // holds no series, and its saves keep the record the project has while its file is there.
  if (!replaying) return;
  if (CurrentTime >= 0.5 * DeltaT || !CurrentTimeStep.IsEmpty()) HoldRelease();
  _series.Drop();
  _setUpAnew = true;
}

bool SW_Simulation::LoadTimeStepFile(const char* name)
{
  // A saved simulation that never wrote a time step has nothing to restore.
  if (!name || !*name || !Particles()) return false;
  SimulationRecords records(*this);
  SW_TimeStepHeader header{CurrentTime, PeakKineticEnergy};
  AK_String path = GetAbsolutePath();
  // Read under the lock of the run directory, which every writer of its time steps holds: the
  // series this process then holds is the one the file was read from. Without a project directory
  // the file is the bare name, of no series.
  std::optional<AK_DirectoryLock> locked;
  if (!ProjectDir().IsEmpty()) {
    // Nothing of a directory with work cut short is read.
    if (const AK_String cut = SW_FinishCutWorkBeforeReading(ProjectDir(), GetAbsolutePath(), RecordForTaker());
        !cut.IsEmpty()) {
      AK_ErrorText = cut;
      return false;
    }
    locked.emplace(ProjectDir());
  }
  if (SW_LoadTimeStepFile(ProjectDir(), name, header, records, path) != SW_TimeStepLoadResult::Loaded) return false;
  records.Commit();
  CurrentTime = header.currentTime;
  PeakKineticEnergy = header.peakKineticEnergy;
  _filePeak = PeakKineticEnergy;
  _filePeakTime = CurrentTime;
  BindFieldsToMesh();
  CurrentTimeStep = name;
  _stateChosen = false;
  _setUpAnew = false;
  // One not taken holds nothing: the gate refuses this process's later writes, and says why.
  if (locked) (void)_series.Take(*locked, ProjectDir());
  return true;
}

AK_String SW_Simulation::ChosenTimeStep(AK_String* failure)
{
  return _stateChosen && HoldsWrittenTimeStep(failure) ? CurrentTimeStep : AK_String();
}

void SW_Simulation::AfterLoad()
{
  AK_Object::AfterLoad();
  // A load whose time step was read holds that series already; any other leaves nothing of
  // an earlier project's results in view.
  _series.Bind(ProjectDir());
  SeeSavedValues(ProjectDir());
  TakeStateOfRunThatIsGone();
  LeaveStateOfOtherObjects();
}

void SW_Simulation::LeaveStateOfOtherObjects()
{
  if (ProjectDir().IsEmpty() || CurrentTimeStep.IsEmpty()) return;
  // The load's answer stays what it was (a run lock of a run that is gone that could not be given
  // up): each value of a reference read here starts with no error.
  const AK_String answer = AK_ErrorText;
  const AK_Read<bool> other = ObjectsDifferFromRun(ProjectDir(), true);
  AK_ErrorText = answer;
  // What cannot be read leaves the state as loaded: a "Continue" reads it again before it writes.
  if (!other.Value() || !*other.Value()) return;
  const AK_String step = CurrentTimeStep;
  HoldRelease();
  AK_MESSAGE("WARNING: " + GetAbsolutePath() + ": its time step " + step +
             " was computed on other objects than those it names now: the simulation holds its release at 0 s");
}

void SW_Simulation::TakeStateOfRunThatIsGone()
{
  if (ProjectDir().IsEmpty()) return;
  // A lock or a status that cannot be read, or values of the run that cannot be, hide whether a
  // run is gone and what of it is its own: the load says so, and leaves the run directory as it is.
  const auto unread = [&](const AK_String& failure) {
    if (AK_ErrorText.IsEmpty())
      AK_ErrorText = GetAbsolutePath() + ": whether its run went on, and where, cannot be told: " + failure;
  };
  const AK_Read<bool> gone = SW_RunIsGone(ProjectDir());
  if (gone.IsUnreadable()) return unread(AK_CannotRead(gone));
  if (!*gone.Value()) return;
  // How far the run came, for what the load says of it: the take-over ends its status.
  const AK_Read<AK_String> statusRead = SW_ReadStatusFile(ProjectDir());
  if (statusRead.IsUnreadable()) return unread(AK_CannotRead(statusRead));
  if (const AK_Read<AK_String> values = SW_ReadRunValues(ProjectDir()); values.IsUnreadable())
    return unread(AK_CannotRead(values));
  const AK_Read<AK_String> recordRead = SavedAttribute(ProjectDir(), "LoadTimeStep");
  if (recordRead.IsUnreadable()) return unread(AK_CannotRead(recordRead));
  const AK_String status = statusRead.Value() ? *statusRead.Value() : AK_String("unknown");
  // The load's own answer stays what it was.
  AK_String answer = AK_ErrorText;
  const AK_String recorded = recordRead.Value() ? *recordRead.Value() : AK_String();
  AK_String notOwn;
  {
    // Taken over, the status says the run ended and the record names its last time step, for
    // every process that loads the project from now on. A lock that cannot be taken over (a
    // project this process may not write) leaves the files as they are.
    SW_RunLock lock(ProjectDir(), GetAbsolutePath(), SW_LockPurpose::TakeOver, "not taken over", RecordForTaker());
    // What the holder left that cannot be ended fails the load: nothing of it is read.
    if (lock.Refused() == SW_RunLock::Refusal::NotEnded) {
      if (!answer.IsEmpty()) AK_ErrorText = answer;
      return;
    }
    // Another process took it over first and runs again, or ended that run first: that process
    // holds the state.
    const bool endedRun = lock.TakeOver() == SW_TakeOver::RunEnded;
    const AK_Read<int> holder = SW_RunLockHolder(ProjectDir());
    const bool another = holder.IsUnreadable() || (holder.Value() && *holder.Value() != 0);
    if ((!lock.Held() && another) || (lock.Held() && !endedRun)) {
      const AK_String stands = lock.Release();
      AK_ErrorText = answer.IsEmpty() ? stands : answer;
      return;
    }
    if (!lock.Held()) AK_MESSAGE("WARNING: " + AK_ErrorText);
    // Looked at while no start can come in with values of its own.
    notOwn = GoneRunNotOwn(ProjectDir(), status);
    // A lock that stands under this process fails the load, as it fails every other holder.
    if (const AK_String stands = lock.Release(); !stands.IsEmpty() && answer.IsEmpty()) answer = stands;
  }
  AK_ErrorText = "";
  const AK_String newest = SW_NewestTimeStep(ProjectDir());
  const AK_String record = recorded.IsEmpty() ? AK_String("none") : recorded;
  // A time step that run did not compute under the values saved is none of its state: the
  // simulation stays as loaded, as it would after a load without the kill, and a "Continue"
  // refuses, naming the newest time step.
  if (!notOwn.IsEmpty())
    AK_MESSAGE("INFO: " + GetAbsolutePath() + ": its run did not finish, its process is gone: " + notOwn +
               ", no time step there is its own: the simulation holds " + StateText() +
               (newest.IsEmpty() || newest == CurrentTimeStep ? AK_String() : ", not the newest time step " + newest) +
               " (the project recorded " + record + ")");
  else if (!newest.IsEmpty() &&
           !(newest == CurrentTimeStep && HoldsWrittenTimeStep() && _series.Holds(ProjectDir())) &&
           LoadTimeStepFile(newest))
    AK_MESSAGE("INFO: " + GetAbsolutePath() + ": its run did not finish, its process is gone: the simulation holds " +
               "the run's last time step " + newest + " (the project recorded " + record + ")");
  // Left as loaded otherwise: a "Continue" refuses, naming the newest time step.
  AK_ErrorText = answer;
}

AK_String SW_Simulation::GoneRunNotOwn(const char* directory, const AK_String& status)
{
  const AK_Read<AK_String> read = SW_ReadRunValues(directory);
  // Values that cannot be read vouch for no time step.
  if (read.IsUnreadable()) return "its values cannot be read: " + AK_CannotRead(read);
  // A run directory of a build that kept no values: its newest time step counts as the run's.
  const AK_String values = read.Value() ? *read.Value() : AK_String();
  if (values.IsEmpty()) return "";
  const AK_Read<AK_String> saved = SavedValuesDigest(directory, SW_ValuesCompared::State);
  if (saved.IsUnreadable()) return "its saved values cannot be read: " + AK_CannotRead(saved);
  if (SameSavedValues(directory, values, saved.Value() ? *saved.Value() : AK_String())) return "";
  // Until a run passes its gate its values say "-": a start killed before that wrote nothing of
  // its own. One that said it ran with them ran under values it never saved.
  if (values == "-")
    return status == "running" ? "its run went on under values that were not saved" : "its start never ran";
  // A start under other values leaves those of the run before until its gate: it never got there.
  if (status == "started") return "its start never ran";
  return "values its time steps depend on were saved otherwise while it ran";
}

void SW_Simulation::HoldRecordedState(const AK_String& why)
{
  const AK_String answer = AK_ErrorText;
  const AK_Read<AK_String> read = SavedAttribute(ProjectDir(), "LoadTimeStep");
  const AK_String recorded = read.Value() ? *read.Value() : AK_String();
  AK_ErrorText = "";
  // As a load does: without a time step to read, the release at 0 s, which holds no series. A
  // record that cannot be read names none: the state stays as held.
  if (!read.IsUnreadable() && !LoadTimeStepFile(recorded)) HoldRelease();
  AK_MESSAGE("INFO: " + GetAbsolutePath() + ": " + why + ", no time step there is its own: the simulation holds " +
             StateText() + " (" +
             (read.IsUnreadable() ? "the project's record: " + AK_CannotRead(read)
                                  : "the project recorded " + (recorded.IsEmpty() ? AK_String("none") : recorded)) +
             ")");
  AK_ErrorText = answer;
}

bool SW_Simulation::HoldsWrittenTimeStep(AK_String* failure)
{
  return !CurrentTimeStep.IsEmpty() && CurrentTimeStep == SW_TimeStepName(CurrentTime) && !ProjectDir().IsEmpty() &&
         AK_LookAtKind(SW_TimeStepPath(ProjectDir(), CurrentTimeStep), failure) == AK_PathKind::RegularFile;
}

namespace {

void LoadByMove(SW_Simulation& sim, SW_TimeStepMove move)
{
  AK_String name;
  const SW_TimeStepList list = SW_ListTimeSteps(sim.ProjectDir(), sim.CurrentTime);
  if (SW_TimeStepToLoad(list, move, name)) sim.LoadTimeStep(name);
}

}  // namespace

void SW_Simulation::LoadNextTimeStep(const char*) { LoadByMove(*this, SW_TimeStepMove::Next); }
void SW_Simulation::LoadPrevTimeStep(const char*) { LoadByMove(*this, SW_TimeStepMove::Prev); }
void SW_Simulation::LoadFirstTimeStep(const char*) { LoadByMove(*this, SW_TimeStepMove::First); }
void SW_Simulation::LoadLastTimeStep(const char*) { LoadByMove(*this, SW_TimeStepMove::Last); }

void SW_Simulation::SetTime(const char* value)
{
  SW_TimeStepList list = SW_ListTimeSteps(ProjectDir(), CurrentTime);
  int index = SW_NearestTimeStep(list, AK_Atof(value ? value : ""));
  if (index >= 0) LoadTimeStep(list.names[index]);
}

void SW_Simulation::DeleteTimesteps(const char* value)
{
  const AK_FileDigestsOnce once;
  // The saved simulation records what is left, and a simulation that could not read it would
  // write that record over what it never read: refused before a lock, the gate or a file.
  if (FilesNotRead()) {
    AK_ErrorText = GetAbsolutePath() + ": time steps not deleted: it was loaded with errors: " + LoadDamage();
    return;
  }
  // Nor does it record what is left over the objects another process saved since: that record
  // would vouch for what this process never read.
  if (const AK_String refusal = InputsSavedElsewhereRefusal(); !refusal.IsEmpty()) {
    AK_ErrorText = GetAbsolutePath() + ": time steps not deleted: " + refusal;
    return;
  }
  const bool all = AK_String(value ? value : "") == "all";
  // A run writes and removes these files: none goes while one is under way, in another
  // process or in this one (whose class script would also swap the run's particles for the
  // last time step's under its feet). Held until the files are gone, so no run starts meanwhile.
  std::optional<SW_RunLock> lock;
  AK_String failure;
  const AK_PathLook look = LookAtRunDirectory(ProjectDir(), &failure);
  if (look == AK_PathLook::Failed) {
    AK_ErrorText = GetAbsolutePath() + ": time steps not deleted: cannot look at " + failure;
    return;
  }
  if (look == AK_PathLook::Found) {
    lock.emplace(ProjectDir(), GetAbsolutePath(), SW_LockPurpose::DeleteTimeSteps, "time steps not deleted",
                 RecordForTaker());
    if (!lock->Held()) return;
  }
  SW_TimeStepList list = SW_ListTimeSteps(ProjectDir(), CurrentTime);
  if (list.names.Count() == 0 || ProjectDir().IsEmpty()) {
    // Only what killed writers left goes: nothing of the series changes.
    const SW_TimeStepDeletion leftovers = SW_DeleteTimeSteps(ProjectDir(), list, all, _series, nullptr);
    if (!leftovers.failure.IsEmpty()) AK_ErrorText = GetAbsolutePath() + ": " + leftovers.failure;
    return;
  }
  // The simulation shows the last time step. A state that is not that file as this process holds
  // it (an older one, or one of a series another process has changed since) is replaced by it
  // first: a deletion never lets a state go on that its files no longer continue. All gone, the
  // series begins anew, empty, for whoever deletes them, whether the last one read or not.
  const AK_String last = list.names[list.names.Count() - 1];
  if (!(last == CurrentTimeStep && HoldsWrittenTimeStep() && _series.Holds(ProjectDir())) &&
      !LoadTimeStepFile(last) && !all && !_series.Holds(ProjectDir())) {
    AK_ErrorText = GetAbsolutePath() + ": time steps not deleted: this process does not hold them and their last, " +
                   last + ", cannot be read" + (AK_ErrorText.IsEmpty() ? AK_String() : ": " + AK_ErrorText);
    return;
  }
  // The saved project names what is left, or nothing, never a file that is gone: recorded
  // before the first file goes, and a record that cannot be written deletes nothing.
  const SW_TimeStepDeletion deletion = SW_DeleteTimeSteps(
      ProjectDir(), list, all, _series, [this](const AK_String& kept) { return RecordTimeStep(kept); });
  if (deletion.refusedByGate) {
    AK_ErrorText = GetAbsolutePath() + ": time steps not deleted: " + GateRefusal(deletion.gate);
    return;
  }
  if (!deletion.done && !deletion.started) {
    AK_ErrorText = GetAbsolutePath() + ": time steps not deleted: " + deletion.failure;
    return;
  }
  // A project saved from now on has no time step to load again.
  // One that cannot be looked at may stand: the record stays.
  if (!CurrentTimeStep.IsEmpty() &&
      AK_LookAtPath(SW_TimeStepPath(ProjectDir(), CurrentTimeStep)) == AK_PathLook::Missing)
    CurrentTimeStep = "";
  if (!deletion.done) AK_ErrorText = GetAbsolutePath() + ": time steps not all deleted: " + deletion.failure;
  else if (!deletion.failure.IsEmpty()) AK_ErrorText = GetAbsolutePath() + ": " + deletion.failure;
}

AK_String SW_Simulation::SavedStamp()
{
  return AK_FileDigest(AK_JoinPath(ProjectDir(), GetType() + ".atr"));
}

AK_Read<AK_String> SW_Simulation::RecordToSave(const AK_String& dir, bool ownState, bool copying)
{
  const AK_String who = GetAbsolutePath();
  // Time steps computed on other objects than those it names now are no state of it, whoever holds
  // one of them.
  const AK_Read<bool> otherObjects = ObjectsDifferFromRun(dir, true);
  if (otherObjects.IsUnreadable()) return otherObjects.Then([](bool) { return AK_String(); });
  if (otherObjects.Value() && *otherObjects.Value()) {
    const AK_Read<AK_String> recorded = SavedAttribute(dir, "LoadTimeStep");
    if (recorded.IsUnreadable()) return recorded;
    if (!CurrentTimeStep.IsEmpty() || (recorded.Value() && !recorded.Value()->IsEmpty()))
      AK_MESSAGE("INFO: " + who + ": the saved project records no time step: the time steps of " + dir +
                 " were computed on other objects than those it names now");
    return AK_Read<AK_String>::Found(AK_String());
  }
  SW_RecordChoice choice;
  choice.who = who;
  choice.held = CurrentTimeStep;
  choice.ownState = ownState;
  choice.copying = copying;
  choice.valuesDiffer = [&] { return ValuesDifferFromSaved(dir); };
  choice.savedRecord = [&] { return SavedAttribute(dir, "LoadTimeStep"); };
  choice.savedStateValues = [&] { return SavedValuesDigest(dir, SW_ValuesCompared::State); };
  return SW_ChooseRecord(dir, _series, choice);
}

SW_RunDirectoryCalls SW_Simulation::RunDirectoryCalls()
{
  // The simulation may be deleted before a hold that calls back goes.
  const AK_ObjectRef self(this);
  const auto simulation = [self] { return dynamic_cast<SW_Simulation*>(self.Get()); };
  SW_RunDirectoryCalls calls;
  calls.recordTakenOver = [simulation](const char* directory, SW_TakerRecord what, const char* step) {
    SW_Simulation* sim = simulation();
    if (!sim) return AK_String();
    // What a taker records is the directory's, whatever this process holds.
    switch (what) {
      case SW_TakerRecord::RunThatIsGone: return sim->RecordRunThatIsGone(directory);
      case SW_TakerRecord::Kept: return sim->RecordTimeStep(step, SW_SeriesChange::RecordNewest, directory);
      case SW_TakerRecord::NoneIfFileGone: return sim->ForgetRecordOfFileGone(directory, SW_SeriesChange::RecordNewest);
    }
    return AK_String();
  };
  calls.followMove = [simulation] {
    if (SW_Simulation* sim = simulation()) sim->FollowMovedDirectory();
  };
  return calls;
}

bool SW_Simulation::HoldDirectory(const char* directory, AK_DirectoryChange change, AK_DirectoryHolds& holds)
{
  return SW_HoldRunDirectory(directory, change, GetAbsolutePath(), _series, RunDirectoryCalls(), holds);
}

bool SW_Simulation::CopiesInto(const char* directory)
{
  return !_series.IsBoundTo(directory);
}

std::function<void()> SW_Simulation::StateBeforeSaveElsewhere()
{
  return [this, series = _series, known = _valuesSeenKnown, text = _valuesSeenText, version = _valuesSeenVersion,
          stamp = _valuesSeenStamp] {
    _series = series;
    _valuesSeenKnown = known;
    _valuesSeenText = text;
    _valuesSeenVersion = version;
    _valuesSeenStamp = stamp;
  };
}

AK_String SW_Simulation::SaveRefusal(const char* directory)
{
  const AK_String source = _series.Directory();
  if (!CopiesInto(directory) || source.IsEmpty()) return "";
  const AK_String refused = GetAbsolutePath() + ": not saved to " + directory + ", its run directory is as it was: ";
  // A source that may stand may hold a series the copy would leave behind.
  AK_String failure;
  const AK_PathLook look = LookAtRunDirectory(source, &failure);
  if (look == AK_PathLook::Failed) return refused + "cannot look at " + failure;
  if (look == AK_PathLook::Missing) return "";
  if (const AK_String failure = SW_CopySourceReadFailure(source); !failure.IsEmpty()) return refused + failure;
  // The copy holds the source's series by its stamp.
  if (const AK_String why = SW_SeriesStampReadFailure(source); !why.IsEmpty())
    return refused + "the stamp of the series cannot be read: " + why;
  return "";
}

void SW_Simulation::LockForSave(const char* directory, AK_DirectoryHolds& holds)
{
  // A save into another directory reads the source's state: both locks, in the one order.
  if (CopiesInto(directory)) return holds.push_back(std::make_shared<SW_CopyLocks>(_series.Directory(), directory));
  AK_Object::LockForSave(directory, holds);
}

void SW_Simulation::SaveAttributes(const char* fileName)
{
  const bool own = AK_String(fileName ? fileName : "") == AK_JoinPath(ProjectDir(), GetType() + ".atr");
  if (own && CopiesInto(ProjectDir())) return CopyStateInto();
  // A run of this directory whose process is gone ends first, as any command that writes
  // there ends it: its last time step is the record kept.
  // One that cannot be ended refuses the save: nothing of the directory is read or written.
  if (_series.IsBoundTo(ProjectDir()))
    if (const SW_EndOfWhatIsGone ended = SW_EndWhatIsGone(ProjectDir(), GetAbsolutePath(), RecordForTaker());
        !ended.failure.IsEmpty()) {
      AK_ErrorText = GetAbsolutePath() + ": not saved: " + ended.failure;
      return;
    }
  // The caller holds the lock of the directory's writers: a run's record cannot come between
  // the read of the record and this write, nor another's save between its values and this one.
  const bool valuesTaken = own && TakeValuesSavedSince(ProjectDir());
  if (IsDead()) return;
  const AK_Read<AK_String> chosen = RecordToSave(ProjectDir(), !valuesTaken, false);
  // A record chosen from what nobody read would name another state than the one saved.
  if (!chosen.Value()) {
    AK_ErrorText = GetAbsolutePath() + ": not saved: " + AK_CannotRead(chosen);
    return;
  }
  const AK_String record = *chosen.Value();
  const AK_String held = CurrentTimeStep;
  CurrentTimeStep = record;
  AK_Object::SaveAttributes(fileName);
  CurrentTimeStep = held;
  if (own) SeeSavedValues(ProjectDir());
  // A run this process started elsewhere runs what it saved last.
  // A save it does not list, that run refuses (before it began) or does not run (after).
  // A list that cannot be read is no empty one: the add to it answers that.
  const auto listsSaves = [&] {
    const AK_Read<AK_String> list = SW_ExpectedSavedSimulation(ProjectDir());
    return list.IsUnreadable() || (list.Value() && !list.Value()->IsEmpty());
  };
  if (AK_String why; _series.HandedOver() && listsSaves() &&
                             !SW_ExpectSavedSimulation(ProjectDir(), SavedStamp(), &why) && AK_ErrorText.IsEmpty())
    AK_ErrorText = GetAbsolutePath() + ": saved, but the run started from this process does not accept the save: " +
                   AK_JoinPath(ProjectDir(), ".simulation_start") + " cannot be written: " + why;
}

void SW_Simulation::CopyStateInto()
{
  const AK_String who = GetAbsolutePath();
  SW_StateCopy copy;
  copy.who = who;
  copy.takeValuesSaved = [this](const char* source) { return TakeValuesSavedSince(source); };
  copy.gone = [this] { return IsDead(); };
  copy.chooseRecord = [this](const char* source, bool ownState) { return RecordToSave(source, ownState, true); };
  copy.writeSaved = [this](const char* path, const AK_String& record) {
    const AK_String state = CurrentTimeStep;
    CurrentTimeStep = record;
    AK_ErrorText = "";
    AK_Object::SaveAttributes(path);
    CurrentTimeStep = state;
    return AK_ErrorText.IsEmpty();
  };
  copy.savedFile = GetType() + ".atr";
  copy.calls = RunDirectoryCalls();
  if (SW_CopyStateInto(ProjectDir(), _series, copy)) SeeSavedValues(ProjectDir());
}
