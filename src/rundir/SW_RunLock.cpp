// The run lock, its take-overs and the end of a run.
#include "SW_RunLock.h"

#include <cerrno>
#include <cstring>
#include <optional>

#include "AK_FrameworkState.h"
#include "AK_ProcessLock.h"
#include "SW_SeriesCopy_Internal.h"
#include "SW_SimulationStatus.h"
#include "SW_TimeStepList_Internal.h"

namespace {

constexpr const char* kLockFile = ".simulation_lock";
AK_String LockPath(const char* runDirectory) { return AK_JoinPath(SW_RunDirectoryOrCurrent(runDirectory), kLockFile); }

// Gives the lock up; one that cannot be removed fails the command that held it, whose answer
// would otherwise be success while the lock still stands.
void GiveUp(const AK_String& path, int pid = 0)
{
  if (AK_ReleaseProcessLock(path, pid)) return;
  const AK_String failure = "the run lock " + path + " cannot be removed: " + std::strerror(errno) +
                            "; the next process that takes it takes it over";
  AK_MESSAGE("ERROR: " + failure);
  if (AK_ErrorText.IsEmpty()) AK_ErrorText = failure;
}

// The run lock is kept only for a simulation with a run directory of its own.
bool HasRunDirectory(const char* runDirectory) { return runDirectory && *runDirectory; }

// What writers killed in the run directory left: the temporaries of files they were putting in
// place, which never take it now, and a lock moved aside by a take-over that did not end. Never a
// staged copy, which its mark finishes or drops. Writers of the attribute and data files that are
// alive wait for the directory meanwhile.
void RemoveLeftovers(const char* runDirectory)
{
  AK_Leftovers leftovers;
  leftovers.writersGone = true;
  leftovers.lockFile = kLockFile;
  AK_RemoveLeftovers(SW_RunDirectoryOrCurrent(runDirectory), leftovers);
}

// The word a lock file keeps for a purpose: a run's lock keeps the form it had before purposes
// were kept, so that every lock that says nothing reads as what it was taken for.
const char* PurposeWord(SW_LockPurpose purpose)
{
  switch (purpose) {
    case SW_LockPurpose::Run: return "";
    case SW_LockPurpose::Copy: return "copy";
    case SW_LockPurpose::Other: return "write";
  }
  return "";
}

// A word this build does not know came from a later one: ended as a run, as every lock was.
SW_LockPurpose PurposeOfWord(const AK_String& word)
{
  if (word == "copy") return SW_LockPurpose::Copy;
  if (word == "write") return SW_LockPurpose::Other;
  return SW_LockPurpose::Run;
}

bool StatusOfRunUnderWay(const AK_String& status) { return status == "running" || status == "started"; }

// The line a run that was gone leaves in the info file, before what else a take-over reports.
constexpr const char* kRunGone = "its run did not finish, its process is gone";

// The work that writers marked and a kill or a failure cut short, for the series as it stands (a
// copy first: while one cannot be finished, nothing else of the directory is touched). What a
// copy's finishing did.
SW_CutWork FinishMarkedWork(const char* runDirectory, const SW_RecordTakenOver& record)
{
  const SW_CutWork copy = SW_FinishCutCopy(runDirectory);
  if (copy != SW_CutWork::Failed) SW_FinishCutDeletion(runDirectory, record);
  return copy;
}

// Whoever takes over the lock of a holder that is gone ends what that holder was doing: a run
// that said it went on (or asked to stop) gets a true status, with the last progress line it
// wrote; a copy of time steps cut short is finished or dropped. A writer of anything else
// changed nothing a run leaves behind: the files stay as they are. A status of a run under way
// that no live lock stands for was left by a run that is gone, whoever held the lock after it.
SW_TakeOver EndWhatTheHolderLeft(const char* runDirectory, SW_LockPurpose gone, const SW_RecordTakenOver& record)
{
  AK_String before = SW_ReadInfoFile(runDirectory);
  before.Trim();
  // A cut copy is finished whatever the lock says (a build before purposes wrote none).
  const SW_CutWork copy = FinishMarkedWork(SW_RunDirectoryOrCurrent(runDirectory), record);
  RemoveLeftovers(runDirectory);
  if (copy == SW_CutWork::Finished) {
    // The ending of a run that the copy's process took over before it was cut stays beside it.
    if (std::strncmp(before, kRunGone, std::strlen(kRunGone)) == 0) {
      AK_String cut = SW_ReadInfoFile(runDirectory);
      cut.Trim();
      SW_WriteInfoFile(runDirectory, before + "; then " + cut);
    }
    return SW_TakeOver::CopyFinished;
  }
  // A copy that could not be finished stays marked: nothing of the directory is read meanwhile.
  if (copy == SW_CutWork::Failed) return SW_TakeOver::NothingToEnd;
  const AK_String status = SW_ReadStatusFile(runDirectory);
  const bool runEnds = StatusOfRunUnderWay(status) ||
                       (gone == SW_LockPurpose::Run && status != "finished" && status != "unknown");
  if (!runEnds) return SW_TakeOver::NothingToEnd;
  // Said once, also when a taker before this one was killed while it ended the run.
  if (std::strncmp(before, kRunGone, std::strlen(kRunGone)) != 0)
    SW_WriteInfoFile(runDirectory, AK_String(kRunGone) + (before.IsEmpty() ? "" : "; last: " + before));
  // The status stays until the run's newest time step is recorded (SW_RunLock::FinishEndedRun).
  return SW_TakeOver::RunEnded;
}

}  // namespace

SW_RunLock::SW_RunLock(const char* runDirectory, const char* who, SW_LockPurpose purpose, const char* refused,
                       const SW_RecordTakenOver& recordTakenOver)
{
  if (!HasRunDirectory(runDirectory)) {
    _held = true;
    return;
  }
  _directory = SW_RunDirectoryOrCurrent(runDirectory);
  _path = LockPath(runDirectory);
  // A simulation saved with its project before it had a directory gets one from its run; a
  // writer of anything else finds nothing to write there.
  if (purpose == SW_LockPurpose::Run && !AK_FileExists(runDirectory) && AK_MakeDirectory(runDirectory) == 0)
    _madeDirectory = runDirectory;
  // The lock, the status and what a run that is gone left are looked at and changed in one
  // step with the end of a run (SW_EndRun), which gives its lock up and writes "finished" in
  // one: a run is either going on with its lock or over.
  AK_DirectoryLock locked(SW_RunDirectoryOrCurrent(runDirectory));
  // A status of a run under way with no lock at all was left by a run that is gone.
  const bool noLockBefore = !AK_FileExists(_path);
  // A run killed before it said it ran may have removed the time step that the record names.
  bool goneRunSaidNothing = false;
  AK_LockEntry before;
  const char* word = PurposeWord(purpose);
  switch (AK_TakeProcessLock(_path, word, before)) {
    case AK_LockResult::TakenOver: {
      AK_MESSAGE(AK_String("WARNING: ") + who +
                 (before.pid != 0
                      ? AK_String::Format(": the run lock of process %d, which is gone, is taken over", before.pid)
                      : AK_String(": an empty or damaged run lock, whose entry cannot be read, is taken over")));
      // Until what the holder left is ended, the lock says what it was: a taker killed
      // meanwhile leaves the next one the same to end. A run ends only with the release of this
      // lock (FinishEndedRun), so its word stays until then. A lock whose entry cannot be read
      // says of no run that it was one; a status of a run under way still does.
      const SW_LockPurpose gone = before.pid == 0 ? SW_LockPurpose::Other : PurposeOfWord(before.purpose);
      if (gone != purpose) AK_SetLockPurpose(_path, PurposeWord(gone));
      _takeOver = EndWhatTheHolderLeft(runDirectory, gone, recordTakenOver);
      _runToFinish = _takeOver == SW_TakeOver::RunEnded;
      goneRunSaidNothing = gone == SW_LockPurpose::Run && _takeOver == SW_TakeOver::NothingToEnd;
      if (_runToFinish) AK_StopAtWindow("run taken over");
      else if (gone != purpose) AK_SetLockPurpose(_path, word);
      _held = true;
      break;
    }
    case AK_LockResult::Taken: {
      _held = true;
      // A taker killed after it set the lock of a writer that was gone aside, and before it made
      // its own, left no lock: whatever that writer marked is finished by whoever takes it next.
      if (const SW_CutWork copy = FinishMarkedWork(_directory, recordTakenOver); copy != SW_CutWork::None) {
        if (copy == SW_CutWork::Finished) _takeOver = SW_TakeOver::CopyFinished;
        if (copy != SW_CutWork::Stale) break;
      }
      if (const AK_String status = SW_ReadStatusFile(runDirectory); noLockBefore && StatusOfRunUnderWay(status)) {
        AK_MESSAGE(AK_String("WARNING: ") + who + ": the status \"" + status +
                   "\" of a run that is gone is disregarded");
        _takeOver = EndWhatTheHolderLeft(runDirectory, SW_LockPurpose::Run, recordTakenOver);
        _runToFinish = _takeOver == SW_TakeOver::RunEnded;
      }
      break;
    }
    case AK_LockResult::Held:
      AK_ErrorText = AK_String(who) + ": " + refused +
                     (before.pid == AK_ProcessId()
                          ? AK_String(", a run of this simulation is going on in this process")
                          : AK_String::Format(", a run of this simulation is going on in process %d", before.pid));
      return;
    case AK_LockResult::Failed:
      AK_ErrorText = AK_String(who) + ": " + refused + ", the run lock cannot be taken: " + AK_LockError();
      return;
  }
  // The run that was gone ends with its newest time step recorded, before its status says so; a
  // record that fails leaves its status as it is, for the next taker to end it again.
  if (_runToFinish && recordTakenOver && !recordTakenOver(_directory, SW_TakerRecord::RunThatIsGone, "").IsEmpty())
    _runToFinish = false;
  if (goneRunSaidNothing && recordTakenOver) recordTakenOver(_directory, SW_TakerRecord::NoneIfFileGone, "");
}

SW_TakeOver SW_EndWhatIsGone(const char* runDirectory, const char* who, const SW_RecordTakenOver& recordTakenOver)
{
  if (!HasRunDirectory(runDirectory) || !AK_IsDirectory(runDirectory) || SW_RunLockHolder(runDirectory) != 0) return SW_TakeOver::None;
  if (!SW_RunIsGone(runDirectory) && !SW_CopyIsMarked(SW_RunDirectoryOrCurrent(runDirectory)) &&
      !SW_DeletionIsMarked(SW_RunDirectoryOrCurrent(runDirectory)))
    return SW_TakeOver::None;
  SW_RunLock lock(runDirectory, who, SW_LockPurpose::Other, "not taken over", recordTakenOver);
  return lock.TakeOver();
}

AK_Leftovers SW_LeftoversAtLoad()
{
  AK_Leftovers leftovers;
  leftovers.lockFile = kLockFile;
  return leftovers;
}

int SW_RunLockHolder(const char* runDirectory)
{
  return HasRunDirectory(runDirectory) ? AK_LiveLockHolder(LockPath(runDirectory)) : 0;
}

bool SW_RunIsGone(const char* runDirectory)
{
  if (!HasRunDirectory(runDirectory) || SW_RunLockHolder(runDirectory) != 0) return false;
  // A lock whose writer is gone: whatever it was doing is ended by the take-over.
  if (AK_FileExists(LockPath(runDirectory))) return true;
  // No lock at all, or only one set aside by a taker that was killed: the run that wrote the
  // status is gone as well.
  return StatusOfRunUnderWay(SW_ReadStatusFile(runDirectory));
}

void SW_EndRun(const char* runDirectory)
{
  AK_DirectoryLock locked(SW_RunDirectoryOrCurrent(runDirectory));
  SW_WriteStatusFile(runDirectory, "finished");
  if (HasRunDirectory(runDirectory)) GiveUp(LockPath(runDirectory));
}

void SW_RunLock::FinishEndedRun()
{
  if (!_runToFinish) return;
  _runToFinish = false;
  AK_DirectoryLock locked(_directory);
  // Only while the lock is still this process's: a run of its own may have ended and given it
  // up, and another's may go on there now.
  if (!_held || _handedTo != 0 || AK_LiveLockHolder(_path) != AK_ProcessId()) return;
  if (const AK_String status = SW_ReadStatusFile(_directory); StatusOfRunUnderWay(status) || status == "interrupted")
    SW_WriteStatusFile(_directory, "finished");
}

SW_RunLock::~SW_RunLock()
{
  if (_path.IsEmpty()) return;
  FinishEndedRun();
  // A refused run leaves no directory it made: one that holds nothing is removed (a run that
  // went on left its files there), before the next taker of the lock may look at it.
  std::optional<AK_DirectoryLock> locked;
  if (!_madeDirectory.IsEmpty() && AK_IsDirectory(_madeDirectory)) locked.emplace(_madeDirectory);
  if (_handedTo != 0) GiveUp(_path, _handedTo);
  else if (_held) GiveUp(_path);
  // One that a run filled stays, as it should.
  if (!_madeDirectory.IsEmpty()) (void)AK_DeleteFile(_madeDirectory);
}

void SW_RunLock::Release()
{
  if (_path.IsEmpty() || !_held) return;
  FinishEndedRun();
  GiveUp(_path);
  _held = false;
}

void SW_RunLock::HandOver(int pid)
{
  if (_path.IsEmpty() || !_held) return;
  if (AK_HandOverProcessLock(_path, pid)) _handedTo = pid;
}

void SW_RunLock::Keep()
{
  // Kept only by a process it was given to; a lock that was never handed over goes as usual.
  if (_handedTo == 0) return;
  _held = false;
  _handedTo = 0;
  // The started run writes its own status.
  _runToFinish = false;
}
