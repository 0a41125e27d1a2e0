// SW_Simulation: writing and reading its time-step files, stepping through them, deleting
// them.
//
// A load reads every record into temporary storage and checks that the particle set is whole
// before the simulation takes anything: a file that fails half-way leaves the simulation as
// it was.
#include <map>
#include <optional>
#include <string>

#include "AK_FrameworkState.h"
#include "AK_NumberText.h"
#include "AK_Record.h"
#include "SW_Simulation.h"
#include "SW_SimulationStatus.h"
#include "SW_TimeStepFile.h"
#include "SW_TimeStepList.h"

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

void SW_Simulation::SaveTimeStep(const char*)
{
  if (!Particles()) return;
  SimulationRecords records(*this);
  SW_TimeStepHeader header{CurrentTime, PeakKineticEnergy};
  // The file written holds the state: a project saved from now on loads it again, so that a
  // "Continue" in any process goes on from there.
  if (SW_SaveTimeStepFile(ProjectDir(), header, records, GetAbsolutePath()) == 0)
    CurrentTimeStep = SW_TimeStepName(CurrentTime);
}

void SW_Simulation::LoadTimeStep(const char* name)
{
  const bool replaying = ReplayingSavedAttributes();
  if (LoadTimeStepFile(name)) {
    // A saved project's record restores a state; only the user's own load chooses one.
    if (!replaying) _stateChosen = true;
    return;
  }
  // A saved project whose time step is not there (another process removed it), or that names
  // none, holds the release at 0 s, as it does in a new process: never the state this process
  // held before, which the files no longer continue.
  if (replaying && (CurrentTime >= 0.5 * DeltaT || !CurrentTimeStep.IsEmpty())) HoldRelease();
}

bool SW_Simulation::LoadTimeStepFile(const char* name)
{
  // A saved simulation that never wrote a time step has nothing to restore.
  if (!name || !*name || !Particles()) return false;
  SimulationRecords records(*this);
  SW_TimeStepHeader header{CurrentTime, PeakKineticEnergy};
  AK_String path = GetAbsolutePath();
  if (SW_LoadTimeStepFile(ProjectDir(), name, header, records, path) != SW_TimeStepLoadResult::Loaded) return false;
  records.Commit();
  CurrentTime = header.currentTime;
  PeakKineticEnergy = header.peakKineticEnergy;
  BindFieldsToMesh();
  CurrentTimeStep = name;
  _stateInOtherProcess = false;
  _stateChosen = false;
  KnowTimeSteps();
  return true;
}

void SW_Simulation::LoadListedTimeStep(const char* name, const SW_TimeStepList& listed)
{
  _listed = &listed;
  LoadTimeStep(name);
  _listed = nullptr;
}

void SW_Simulation::KnowTimeSteps()
{
  _knownTimeSteps = SW_LookAtTimeSteps(ProjectDir(), &_knownTimeSteps, _listed);
}

AK_String SW_Simulation::ChosenTimeStep()
{
  return _stateChosen && HoldsWrittenTimeStep() ? CurrentTimeStep : AK_String();
}

void SW_Simulation::AfterLoad()
{
  AK_Object::AfterLoad();
  TakeStateOfRunThatIsGone();
}

void SW_Simulation::TakeStateOfRunThatIsGone()
{
  if (ProjectDir().IsEmpty() || !SW_RunLockLeftBehind(ProjectDir())) return;
  // The load's own answer stays what it was.
  const AK_String answer = AK_ErrorText;
  AK_String recorded;
  SavedAttribute(ProjectDir(), "LoadTimeStep", recorded);
  {
    // Taken over, the status says the run ended and the record names its last time step, for
    // every process that loads the project from now on. A lock that cannot be taken over (a
    // project this process may not write) leaves the files as they are.
    SW_RunLock lock(ProjectDir(), GetAbsolutePath(), "not taken over");
    if (lock.TookOver()) RecordRunThatIsGone();
    // Another process took it over first and runs again: that run holds the state.
    if (!lock.Held() && SW_RunLockHolder(ProjectDir()) != 0) {
      AK_ErrorText = answer;
      return;
    }
    if (!lock.Held()) AK_MESSAGE("WARNING: " + AK_ErrorText);
  }
  AK_ErrorText = "";
  const SW_TimeStepFiles files = SW_LookAtTimeSteps(ProjectDir());
  const SW_TimeStepFiles::Entry* newest = files.Newest();
  if (newest && !(newest->name == CurrentTimeStep && HoldsWrittenTimeStep()) && LoadTimeStepFile(newest->name))
    AK_MESSAGE("INFO: " + GetAbsolutePath() + ": its run did not finish, its process is gone: the simulation holds " +
               "the run's last time step " + newest->name + " (the project recorded " +
               (recorded.IsEmpty() ? AK_String("none") : recorded) + ")");
  // Left as loaded otherwise: a "Continue" refuses, naming the newest time step.
  AK_ErrorText = answer;
}

bool SW_Simulation::HoldsWrittenTimeStep()
{
  return !CurrentTimeStep.IsEmpty() && CurrentTimeStep == SW_TimeStepName(CurrentTime) && !ProjectDir().IsEmpty() &&
         AK_FileExists(SW_TimeStepPath(ProjectDir(), CurrentTimeStep));
}

namespace {

void LoadByMove(SW_Simulation& sim, SW_TimeStepMove move)
{
  AK_String name;
  const SW_TimeStepList list = SW_ListTimeSteps(sim.ProjectDir(), sim.CurrentTime);
  if (SW_TimeStepToLoad(list, move, name)) sim.LoadListedTimeStep(name, list);
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
  if (index >= 0) LoadListedTimeStep(list.names[index], list);
}

void SW_Simulation::DeleteTimesteps(const char* value)
{
  // A run writes and removes these files: none goes while one is under way, in another
  // process or in this one (whose class script would also swap the run's particles for the
  // last time step's under its feet). Held until the files are gone, so no run starts meanwhile.
  std::optional<SW_RunLock> lock;
  if (AK_IsDirectory(ProjectDir())) {
    lock.emplace(ProjectDir(), GetAbsolutePath(), "time steps not deleted");
    if (!lock->Held()) return;
    if (lock->TookOver()) RecordRunThatIsGone();
  }
  SW_TimeStepList list = SW_ListTimeSteps(ProjectDir(), CurrentTime);
  // The simulation shows the last time step, which survives unless all go.
  if (list.names.Count() > 0 && list.current != list.names.Count() - 1)
    LoadTimeStep(list.names[list.names.Count() - 1]);
  SW_DeleteTimeStepFiles(ProjectDir(), list, AK_String(value ? value : "") == "all");
  // A project saved from now on has no time step to load again.
  if (!CurrentTimeStep.IsEmpty() && !AK_FileExists(SW_TimeStepPath(ProjectDir(), CurrentTimeStep)))
    CurrentTimeStep = "";
  KnowTimeSteps();
}

void SW_Simulation::SaveAttributes(const char* fileName)
{
  // The record is read where the run's files are, which is where a save into another
  // directory copies them from. The caller holds the lock of the directory's writers: a run's
  // record cannot come between this read and the write.
  const AK_String& runDirectory = _resultsDirectory.IsEmpty() ? ProjectDir() : _resultsDirectory;
  const SW_TimeStepFiles files = SW_LookAtTimeSteps(runDirectory);
  if (StateStillHeld(files)) return AK_Object::SaveAttributes(fileName);
  AK_String recorded;
  if (!SavedAttribute(runDirectory, "LoadTimeStep", recorded) || (!recorded.IsEmpty() && !files.Holds(recorded)))
    recorded = files.Newest() ? files.Newest()->name : AK_String();
  const AK_String held = CurrentTimeStep;
  CurrentTimeStep = recorded;
  AK_Object::SaveAttributes(fileName);
  CurrentTimeStep = held;
}

int SW_Simulation::SaveData(AK_STREAM&)
{
  // Saved into a new project directory, the results follow the simulation there. The copies
  // hold the state as this process took it only when the files copied did.
  const bool copying = !_resultsDirectory.IsEmpty() && !ProjectDir().IsEmpty() && _resultsDirectory != ProjectDir();
  const bool copiesHoldState = copying && StateStillHeld(SW_LookAtTimeSteps(_resultsDirectory));
  int result = SW_CopyTimeStepFiles(_resultsDirectory, ProjectDir());
  // Without a project directory nothing was copied: the results stay where they are known.
  if (!_resultsDirectory.IsEmpty() && !ProjectDir().IsEmpty()) _resultsDirectory = ProjectDir();
  if (copiesHoldState) KnowTimeSteps();
  return result;
}
