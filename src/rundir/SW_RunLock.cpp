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

// Gives the lock up; "" when it went, else why it stands (said in an ERROR too): the caller fails
// the command that held it, whose answer would otherwise be success while the lock still stands.
// Such a lock says `word`, what it was held for, to whoever is refused meanwhile.
AK_String GiveUp(const AK_String& path, const char* word, int pid = 0)
{
  if (AK_ReleaseProcessLock(path, pid)) return "";
  const AK_String failure = "the run lock " + path + " cannot be removed: " + std::strerror(errno) +
                            "; the next process that takes it takes it over";
  AK_MESSAGE("ERROR: " + failure);
  // A lock that still says what the holder before was taken for would name that in the refusals;
  // one that cannot be rewritten either says so to the next taker no worse than it did.
  if (pid == 0) (void)AK_SetLockPurpose(path, word);
  return failure;
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

// What each purpose of the lock is: the word its file keeps (a run's keeps the form it had before
// purposes were kept, so that every lock that says nothing reads as a run; every other writer the
// word "write" kept before they were told apart), what a taker ends of it, and how a refusal names
// it (followed by " in process N" or " in this process").
struct PurposeRow {
  SW_LockPurpose purpose;
  const char* word;
  SW_LockPurpose ends;  // Run, Copy or Other
  const char* holding;
};
constexpr PurposeRow kPurposes[] = {
    {SW_LockPurpose::Run, "", SW_LockPurpose::Run, "a run of this simulation is going on"},
    {SW_LockPurpose::Copy, "copy", SW_LockPurpose::Copy, "a copy into this simulation's run directory is going on"},
    {SW_LockPurpose::Other, "write", SW_LockPurpose::Other, "a writer of this simulation's run directory is going on"},
    {SW_LockPurpose::DeleteTimeSteps, "delete", SW_LockPurpose::Other,
     "a deletion of this simulation's time steps is going on"},
    {SW_LockPurpose::SaveTimeStep, "step", SW_LockPurpose::Other, "a time step of this simulation is being saved"},
    {SW_LockPurpose::Rename, "rename", SW_LockPurpose::Other, "a rename of this simulation's run directory is going on"},
    {SW_LockPurpose::DeleteDirectory, "remove", SW_LockPurpose::Other,
     "a deletion of this simulation's run directory is going on"},
    {SW_LockPurpose::TakeOver, "takeover", SW_LockPurpose::Other,
     "a take-over of what a process that is gone left in this simulation's run directory is going on"},
};

const PurposeRow& RowOf(SW_LockPurpose purpose)
{
  for (const PurposeRow& row : kPurposes)
    if (row.purpose == purpose) return row;
  return kPurposes[0];
}

const char* PurposeWord(SW_LockPurpose purpose) { return RowOf(purpose).word; }

// A word this build does not know came from a later one: ended as a run, as every lock was.
SW_LockPurpose PurposeOfWord(const AK_String& word)
{
  for (const PurposeRow& row : kPurposes)
    if (*row.word && word == row.word) return row.purpose;
  return SW_LockPurpose::Run;
}

// What a taker ends of a holder of that purpose that is gone.
SW_LockPurpose Ends(SW_LockPurpose purpose) { return RowOf(purpose).ends; }

bool StatusOfRunUnderWay(const AK_String& status) { return status == "running" || status == "started"; }

// The line a run that was gone leaves in the info file, before what else a take-over reports.
constexpr const char* kRunGone = "its run did not finish, its process is gone";

// The work that writers marked and a kill or a failure cut short, for the series as it stands (a
// copy first: while one cannot be finished, nothing else of the directory is touched; then a
// deletion of time steps, and a run's removal of its later ones). What a copy's finishing did.
// Failed, with the reason in `failure`, when any could not be finished.
SW_CutWork FinishMarkedWork(const char* runDirectory, const SW_RecordTakenOver& record, AK_String& failure)
{
  const SW_CutWork copy = SW_FinishCutCopy(runDirectory, &failure);
  if (copy == SW_CutWork::Failed) return copy;
  if (SW_FinishCutDeletion(runDirectory, record, &failure) == SW_CutWork::Failed) return SW_CutWork::Failed;
  if (SW_FinishCutLaterRemoval(runDirectory, record, &failure) == SW_CutWork::Failed) return SW_CutWork::Failed;
  return copy;
}

// Whoever takes over the lock of a holder that is gone ends what that holder was doing: a run
// that said it went on (or asked to stop) gets a true status, with the last progress line it
// wrote; a copy of time steps cut short is finished or dropped. A writer of anything else
// changed nothing a run leaves behind: the files stay as they are. A status of a run under way
// that no live lock stands for was left by a run that is gone, whoever held the lock after it.
// `failure` receives why marked work could not be finished (nothing is ended then, and nothing of
// the directory is read meanwhile: the command that took the lock refuses).
SW_TakeOver EndWhatTheHolderLeft(const char* runDirectory, SW_LockPurpose gone, const SW_RecordTakenOver& record,
                                 AK_String& failure)
{
  // What the holder left is ended only as far as it can be read: its last progress line too.
  const AK_Read<AK_String> info = SW_ReadInfoFile(runDirectory);
  if (info.IsUnreadable()) {
    failure = AK_CannotRead(info);
    return SW_TakeOver::None;
  }
  AK_String before = info.Value() ? *info.Value() : AK_String();
  before.Trim();
  // A cut copy is finished whatever the lock says (a build before purposes wrote none).
  const SW_CutWork copy = FinishMarkedWork(SW_RunDirectoryOrCurrent(runDirectory), record, failure);
  if (copy == SW_CutWork::Failed) return SW_TakeOver::None;
  RemoveLeftovers(runDirectory);
  if (copy == SW_CutWork::Finished) {
    // The ending of a run that the copy's process took over before it was cut stays beside it.
    if (std::strncmp(before, kRunGone, std::strlen(kRunGone)) == 0) {
      const AK_Read<AK_String> after = SW_ReadInfoFile(runDirectory);
      AK_String cut = after.Value() ? *after.Value() : AK_String();
      cut.Trim();
      if (after.IsUnreadable()) failure = "the copy was finished, but its info cannot be read: " + after.Failure();
      // The copy is finished; the taker still answers that its report could not be written.
      else if (AK_String why; !SW_WriteInfoFile(runDirectory, before + "; then " + cut, &why))
        failure = "the copy was finished, but its info cannot be written: " + why;
    }
    return SW_TakeOver::CopyFinished;
  }
  const AK_Read<AK_String> read = SW_ReadStatusFile(runDirectory);
  if (read.IsUnreadable()) {
    failure = AK_CannotRead(read);
    return SW_TakeOver::None;
  }
  const AK_String status = read.Value() ? *read.Value() : AK_String("unknown");
  const bool runEnds = StatusOfRunUnderWay(status) ||
                       (gone == SW_LockPurpose::Run && status != "finished" && status != "unknown");
  if (!runEnds) return SW_TakeOver::NothingToEnd;
  // Said once, also when a taker before this one was killed while it ended the run.
  // Nothing is ended while it cannot be said: the next taker ends the run.
  if (std::strncmp(before, kRunGone, std::strlen(kRunGone)) != 0)
    if (AK_String why; !SW_WriteInfoFile(runDirectory, AK_String(kRunGone) + (before.IsEmpty() ? "" : "; last: " + before), &why)) {
      failure = "the end of the run that is gone cannot be written into its info: " + why;
      return SW_TakeOver::None;
    }
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
  if (purpose == SW_LockPurpose::Run && AK_LookAtPath(runDirectory) == AK_PathLook::Missing &&
      AK_MakeDirectory(runDirectory) == 0)
    _madeDirectory = runDirectory;
  // The lock, the status and what a run that is gone left are looked at and changed in one
  // step with the end of a run (SW_EndRun), which gives its lock up and writes "finished" in
  // one: a run is either going on with its lock or over.
  AK_DirectoryLock locked(SW_RunDirectoryOrCurrent(runDirectory));
  // A status of a run under way with no lock at all was left by a run that is gone.
  // A lock that cannot be looked at may stand: nothing is concluded from its absence.
  const bool noLockBefore = AK_LookAtPath(_path) == AK_PathLook::Missing;
  // A run killed before it said it ran may have removed the time step that the record names.
  bool goneRunSaidNothing = false;
  AK_LockEntry before;
  _purpose = purpose;
  const char* word = PurposeWord(purpose);
  // Taken, but what the holder left cannot be ended: the command refuses with the reason, and the
  // lock goes again for the next taker to try.
  const auto notEnded = [&](const AK_String& failure) {
    _refusal = Refusal::NotEnded;
    const AK_String stands = GiveUp(_path, word);
    AK_ErrorText = AK_String(who) + ": " + refused + ", " + failure + (stands.IsEmpty() ? AK_String() : "; " + stands);
  };
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
      const bool sameWord = std::strcmp(PurposeWord(gone), word) == 0;
      if (!sameWord && !AK_SetLockPurpose(_path, PurposeWord(gone))) {
        notEnded(AK_String("the run lock cannot say what it was taken for: ") + std::strerror(errno));
        return;
      }
      AK_String failure;
      _takeOver = EndWhatTheHolderLeft(runDirectory, Ends(gone), recordTakenOver, failure);
      if (!failure.IsEmpty()) {
        notEnded(failure);
        return;
      }
      _runToFinish = _takeOver == SW_TakeOver::RunEnded;
      goneRunSaidNothing = Ends(gone) == SW_LockPurpose::Run && _takeOver == SW_TakeOver::NothingToEnd;
      if (_runToFinish) AK_StopAtWindow("run taken over");
      else if (!sameWord && !AK_SetLockPurpose(_path, word)) {
        notEnded(AK_String("the run lock cannot say what it is taken for: ") + std::strerror(errno));
        return;
      }
      _held = true;
      break;
    }
    case AK_LockResult::Taken: {
      // A taker killed after it set the lock of a writer that was gone aside, and before it made
      // its own, left no lock: whatever that writer marked is finished by whoever takes it next.
      AK_String failure;
      if (const SW_CutWork copy = FinishMarkedWork(_directory, recordTakenOver, failure); copy != SW_CutWork::None) {
        if (copy == SW_CutWork::Failed) {
          notEnded(failure);
          return;
        }
        _held = true;
        if (copy == SW_CutWork::Finished) _takeOver = SW_TakeOver::CopyFinished;
        if (copy != SW_CutWork::Stale) break;
      }
      // Only without a lock before does the status say whether a run is gone.
      const AK_Read<AK_String> read = noLockBefore ? SW_ReadStatusFile(runDirectory) : AK_Read<AK_String>::Missing();
      if (read.IsUnreadable()) {
        notEnded(AK_CannotRead(read));
        return;
      }
      _held = true;
      if (const AK_String status = read.Value() ? *read.Value() : AK_String();
          noLockBefore && StatusOfRunUnderWay(status)) {
        AK_MESSAGE(AK_String("WARNING: ") + who + ": the status \"" + status +
                   "\" of a run that is gone is disregarded");
        _takeOver = EndWhatTheHolderLeft(runDirectory, SW_LockPurpose::Run, recordTakenOver, failure);
        if (!failure.IsEmpty()) {
          _held = false;
          notEnded(failure);
          return;
        }
        _runToFinish = _takeOver == SW_TakeOver::RunEnded;
      }
      break;
    }
    case AK_LockResult::Held:
      _refusal = Refusal::HeldByAnother;
      _refusedBy = before.pid;
      AK_ErrorText = AK_String(who) + ": " + refused + ", " + SW_LockHolderText(PurposeOfWord(before.purpose), before.pid);
      return;
    case AK_LockResult::Failed:
      _refusal = Refusal::CannotTake;
      AK_ErrorText = AK_String(who) + ": " + refused + ", the run lock cannot be taken: " + AK_LockError();
      return;
  }
  // The run that was gone ends with its newest time step recorded, before its status says so; a
  // record that fails leaves its status as it is, for the next taker to end it again.
  if (_runToFinish && recordTakenOver && !recordTakenOver(_directory, SW_TakerRecord::RunThatIsGone, "").IsEmpty())
    _runToFinish = false;
  // A record that cannot be written leaves the record of a file that is gone; every reader of a
  // record looks for its file first, and the next taker of a run that said nothing tries again.
  if (goneRunSaidNothing && recordTakenOver)
    (void)recordTakenOver(_directory, SW_TakerRecord::NoneIfFileGone, "");
}

AK_String SW_LockHolderText(SW_LockPurpose purpose, int pid)
{
  return AK_String(RowOf(purpose).holding) +
         (pid == AK_ProcessId() ? AK_String(" in this process") : AK_String::Format(" in process %d", pid));
}

SW_EndOfWhatIsGone SW_EndWhatIsGone(const char* runDirectory, const char* who, const SW_RecordTakenOver& recordTakenOver)
{
  SW_EndOfWhatIsGone ended;
  if (!HasRunDirectory(runDirectory)) return ended;
  switch (AK_String unseen; AK_LookAtDirectory(runDirectory, &unseen)) {
    case AK_PathLook::Missing: return ended;
    case AK_PathLook::Failed:
      ended.failure = AK_String(who) + ": not taken over, the run directory cannot be looked at: " + unseen;
      ended.refusal = SW_RunLock::Refusal::CannotTake;
      return ended;
    case AK_PathLook::Found: break;
  }
  // Whether a writer is gone nobody can tell from a lock or a status that cannot be read: nothing
  // of the directory is read past it.
  const AK_Read<bool> gone = SW_RunIsGone(runDirectory);
  if (gone.IsUnreadable()) {
    ended.failure = AK_String(who) + ": not taken over, " + AK_CannotRead(gone);
    ended.refusal = SW_RunLock::Refusal::CannotTake;
    return ended;
  }
  if (const AK_Read<int> holder = SW_RunLockHolder(runDirectory); holder.Value() && *holder.Value() != 0) return ended;
  if (!*gone.Value() && !SW_CopyIsMarked(SW_RunDirectoryOrCurrent(runDirectory)) &&
      !SW_DeletionIsMarked(SW_RunDirectoryOrCurrent(runDirectory)))
    return ended;
  const AK_String answer = AK_ErrorText;
  SW_RunLock lock(runDirectory, who, SW_LockPurpose::TakeOver, "not taken over", recordTakenOver);
  ended.takeOver = lock.TakeOver();
  ended.refusal = lock.Refused();
  switch (lock.Refused()) {
    case SW_RunLock::Refusal::None:
      ended.failure = lock.Release();
      break;
    case SW_RunLock::Refusal::HeldByAnother:
      // A live process took it first: that one ends what was left.
      AK_ErrorText = answer;
      break;
    case SW_RunLock::Refusal::CannotTake:
    case SW_RunLock::Refusal::NotEnded:
      ended.failure = AK_ErrorText;
      AK_ErrorText = answer;
      break;
  }
  return ended;
}

AK_Leftovers SW_LeftoversAtLoad()
{
  AK_Leftovers leftovers;
  leftovers.lockFile = kLockFile;
  return leftovers;
}

AK_Read<int> SW_RunLockHolder(const char* runDirectory)
{
  return HasRunDirectory(runDirectory) ? AK_LiveLockHolder(LockPath(runDirectory)) : AK_Read<int>::Missing();
}

bool SW_HoldsRunLock(const char* runDirectory)
{
  const AK_Read<int> holder = SW_RunLockHolder(runDirectory);
  return holder.Value() && *holder.Value() == AK_ProcessId();
}

AK_Read<bool> SW_RunIsGone(const char* runDirectory)
{
  if (!HasRunDirectory(runDirectory)) return AK_Read<bool>::Found(false);
  const AK_Read<int> holder = SW_RunLockHolder(runDirectory);
  if (holder.IsUnreadable()) return holder.Then([](int) { return false; });
  // A lock whose writer is gone: whatever it was doing is ended by the take-over.
  if (holder.Value()) return AK_Read<bool>::Found(*holder.Value() == 0);
  // No lock at all, or only one set aside by a taker that was killed: the run that wrote the
  // status is gone as well.
  const AK_Read<AK_String> status = SW_ReadStatusFile(runDirectory);
  if (status.IsMissing()) return AK_Read<bool>::Found(false);
  return status.Then([](const AK_String& word) { return StatusOfRunUnderWay(word); });
}

AK_String SW_EndRun(const char* runDirectory)
{
  AK_DirectoryLock locked(SW_RunDirectoryOrCurrent(runDirectory));
  AK_String failure;
  if (AK_String reason; !SW_WriteStatusFile(runDirectory, "finished", &reason))
    failure = "the status \"finished\" cannot be written: " + reason;
  if (!HasRunDirectory(runDirectory)) return failure;
  const AK_String stands = GiveUp(LockPath(runDirectory), PurposeWord(SW_LockPurpose::Run));
  if (stands.IsEmpty()) return failure;
  return failure.IsEmpty() ? stands : failure + "; " + stands;
}

AK_String SW_RunLock::FinishEndedRun()
{
  if (!_runToFinish) return "";
  _runToFinish = false;
  AK_DirectoryLock locked(_directory);
  // Only while the lock is still this process's: a run of its own may have ended and given it
  // up, and another's may go on there now.
  if (!_held || _handedTo != 0 || !SW_HoldsRunLock(_directory)) return "";
  // A status that cannot be written (or read) still says that a run goes on, with no live lock
  // once this one goes: the next taker ends that run again, and this command fails.
  const AK_Read<AK_String> read = SW_ReadStatusFile(_directory);
  if (read.IsUnreadable()) return "the status of the run that is gone cannot be read: " + read.Failure();
  if (const AK_String status = read.Value() ? *read.Value() : AK_String(); StatusOfRunUnderWay(status) || status == "interrupted")
    if (AK_String reason; !SW_WriteStatusFile(_directory, "finished", &reason))
      return "the status \"finished\" of the run that is gone cannot be written: " + reason;
  return "";
}

SW_RunLock::~SW_RunLock()
{
  if (_path.IsEmpty()) return;
  const AK_String unfinished = FinishEndedRun();
  // A refused run leaves no directory it made: one that holds nothing is removed (a run that
  // went on left its files there), before the next taker of the lock may look at it.
  std::optional<AK_DirectoryLock> locked;
  AK_String unseen;
  const AK_PathLook made = _madeDirectory.IsEmpty() ? AK_PathLook::Missing : AK_LookAtDirectory(_madeDirectory, &unseen);
  if (made == AK_PathLook::Found) locked.emplace(_madeDirectory);
  // A destructor answers nothing: a status or a lock that stands fails the command that held it
  // through the error text, unless that already says why it failed.
  AK_String stands;
  if (_handedTo != 0) stands = GiveUp(_path, PurposeWord(_purpose), _handedTo);
  else if (_held) stands = GiveUp(_path, PurposeWord(_purpose));
  if (!unfinished.IsEmpty()) stands = stands.IsEmpty() ? unfinished : unfinished + "; " + stands;
  // Not removed unlocked: another taker may be filling it.
  if (made == AK_PathLook::Failed) {
    const AK_String kept = "the run directory " + _madeDirectory + " cannot be looked at, it stays: " + unseen;
    stands = stands.IsEmpty() ? kept : stands + "; " + kept;
  }
  if (!stands.IsEmpty() && AK_ErrorText.IsEmpty()) AK_ErrorText = stands;
  // Only an empty directory goes: one that will not go holds what the command left there.
  if (made != AK_PathLook::Failed && !_madeDirectory.IsEmpty()) (void)AK_DeleteFile(_madeDirectory);
}

AK_String SW_RunLock::Release()
{
  if (_path.IsEmpty() || !_held) return "";
  const AK_String unfinished = FinishEndedRun();
  _held = false;
  const AK_String stands = GiveUp(_path, PurposeWord(_purpose));
  if (unfinished.IsEmpty() || stands.IsEmpty()) return unfinished + stands;
  return unfinished + "; " + stands;
}

bool SW_RunLock::HandOver(int pid)
{
  if (_path.IsEmpty()) return true;
  if (!_held || !AK_HandOverProcessLock(_path, pid)) return false;
  _handedTo = pid;
  return true;
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
