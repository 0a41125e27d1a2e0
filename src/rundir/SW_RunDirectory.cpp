// What a simulation holds while its run directory changes, the record a save names, and the save
// of one state of a run directory into another project.
#include "SW_RunDirectory.h"

#include <memory>
#include <optional>
#include <vector>

#include "AK_FrameworkState.h"
#include "AK_Process.h"
#include "AK_ProcessLock.h"
#include "SW_RunLock_Internal.h"
#include "SW_SeriesCopy.h"
#include "SW_SeriesCopy_Internal.h"
#include "SW_SimulationStatus.h"
#include "SW_TimeStepList.h"
#include "SW_TimeStepList_Internal.h"
#include "SW_TimeStepNames.h"

namespace {

// Given up once the move is done or refused.
struct FollowMove {
  explicit FollowMove(std::function<void()> follow) : _follow(std::move(follow)) {}
  ~FollowMove()
  {
    if (_follow) _follow();
  }
  std::function<void()> _follow;
};

// The target's run lock of a save, in a directory the save may have made for it: given up with
// the save, the levels made are removed again while they are empty, so that a save refused (by
// this or any later object of the project) leaves no directory behind.
struct LockOfASave {
  std::shared_ptr<SW_RunLock> lock;
  std::vector<AK_String> made;  // the deepest first
  ~LockOfASave()
  {
    lock.reset();
    // A level that was never made (the making failed above it) is passed over; one that cannot be
    // looked at stays, and so do the levels above it, which hold it.
    for (const AK_String& level : made) {
      const AK_PathLook look = AK_LookAtDirectory(level);
      if (look == AK_PathLook::Failed || (look == AK_PathLook::Found && AK_DeleteFile(level) != 0)) break;
    }
  }
};

}  // namespace

AK_String SW_FinishCutWorkBeforeReading(const char* runDirectory, const char* who,
                                        const SW_RecordTakenOver& recordTakenOver)
{
  if (!SW_CopyIsMarked(runDirectory) && !SW_DeletionIsMarked(runDirectory)) return "";
  const SW_EndOfWhatIsGone ended = SW_EndWhatIsGone(runDirectory, who, recordTakenOver);
  if (!ended.failure.IsEmpty()) return ended.failure;
  // A live process holds the run lock, and took it without finishing the work (or nobody could):
  // the directory holds work cut short that nothing may read meanwhile.
  if (SW_CopyIsMarked(runDirectory) || SW_DeletionIsMarked(runDirectory))
    return AK_String(who) + ": " + runDirectory + " holds a copy or a deletion of time steps that was cut short " +
           "and is not finished yet";
  return "";
}

namespace {

// Whether a run directory stands: one that cannot be looked at cannot be held either, and fails
// the taking with AK_ErrorText naming it and the reason.
AK_PathLook LookAtRunDirectory(const AK_String& dir, const char* who)
{
  AK_String unseen;
  const AK_PathLook look = AK_LookAtDirectory(dir, &unseen);
  if (look == AK_PathLook::Failed)
    AK_ErrorText = AK_String(who ? who : "") + ": the run directory cannot be looked at: " + unseen;
  return look;
}

}  // namespace

bool SW_HoldRunDirectory(const char* directory, AK_DirectoryChange change, const char* who,
                         const SW_SeriesHold& series, const SW_RunDirectoryCalls& calls, AK_DirectoryHolds& holds)
{
  const AK_String dir(directory ? directory : "");
  if (dir.IsEmpty()) return true;
  // Nothing to hold where no directory stands.
  if (change != AK_DirectoryChange::SaveInto)
    switch (LookAtRunDirectory(dir, who)) {
      case AK_PathLook::Missing: return true;
      case AK_PathLook::Failed: return false;
      case AK_PathLook::Found: break;
    }
  switch (change) {
    case AK_DirectoryChange::Read:
      if (const AK_String failure = SW_FinishCutWorkBeforeReading(dir, who, calls.recordTakenOver); !failure.IsEmpty()) {
        AK_ErrorText = failure;
        return false;
      }
      holds.push_back(std::make_shared<AK_DirectoryLock>(dir));
      return true;
    case AK_DirectoryChange::SaveInto: {
      // Saved beside its runs as ever; into another directory, its series goes with it
      // (SW_CopyStateInto), which no run there may write meanwhile.
      if (series.IsBoundTo(dir)) return true;
      if (SW_HoldsRunLock(dir)) return true;
      // The lock stands in the directory, which the save would make in any case.
      auto save = std::make_shared<LockOfASave>();
      AK_String failure;
      save->made = AK_MissingLevels(dir, failure);
      if (!failure.IsEmpty()) {
        AK_ErrorText = AK_String("not saved to ") + dir + ": cannot look at " + failure;
        return false;
      }
      // A directory that cannot be made fails the taking of the lock in it, which says why.
      (void)AK_MakeDirectories(dir);
      // A run there whose process is gone ends as it would without this save, which a kill
      // may yet cut short: its newest time step recorded in the saved simulation there.
      save->lock = std::make_shared<SW_RunLock>(dir, who, SW_LockPurpose::Copy, AK_String("not saved to ") + dir,
                                                calls.recordTakenOver);
      if (!save->lock->Held()) return false;
      holds.push_back(std::move(save));
      AK_StopAtWindow("copy locked");
      return true;
    }
    case AK_DirectoryChange::Remove: {
      auto lock =
          std::make_shared<SW_RunLock>(dir, who, SW_LockPurpose::DeleteDirectory, "not deleted", calls.recordTakenOver);
      if (!lock->Held()) return false;
      holds.push_back(std::move(lock));
      holds.push_back(std::make_shared<AK_DirectoryLock>(dir));
      AK_StopAtWindow("delete");
      return true;
    }
    case AK_DirectoryChange::Move: {
      // Every taker of the run lock takes the directory's lock first: the run lock goes before
      // the move, and no lock of this process moves with the directory or stays behind,
      // whatever the move does.
      // A run there whose process is gone ends with its newest time step recorded, where the
      // saved simulation still stands.
      SW_RunLock lock(dir, who, SW_LockPurpose::Rename, "not renamed", calls.recordTakenOver);
      if (!lock.Held()) return false;
      AK_StopAtWindow("rename");
      auto locked = std::make_shared<AK_DirectoryLock>(dir);
      // A lock that stands would move with the directory.
      if (const AK_String stands = lock.Release(); !stands.IsEmpty()) {
        AK_ErrorText = AK_String(who) + ": not renamed, " + stands;
        return false;
      }
      holds.push_back(std::move(locked));
      holds.push_back(std::make_shared<FollowMove>(calls.followMove));
      return true;
    }
  }
  return true;
}

AK_Read<AK_String> SW_ChooseRecord(const char* directory, SW_SeriesHold& series, const SW_RecordChoice& choice)
{
  using Record = AK_Read<AK_String>;
  const AK_String dir(directory ? directory : "");
  if (dir.IsEmpty()) return Record::Found(AK_String());
  if (choice.ownState) {
    AK_DirectoryLock locked(dir);
    if (series.Pass(locked, dir, SW_SeriesChange::Record).passed) {
      if (choice.held.IsEmpty()) return Record::Found(choice.held);
      // A time step that cannot be looked at is not taken for gone: the record it holds would go.
      AK_String unseen;
      switch (AK_LookAtPath(SW_TimeStepPath(dir, choice.held), &unseen)) {
        case AK_PathLook::Found: return Record::Found(choice.held);
        case AK_PathLook::Failed: return Record::Unreadable(unseen);
        case AK_PathLook::Missing: break;
      }
    }
  }
  const Record recorded = choice.savedRecord();
  if (recorded.IsUnreadable()) return recorded;
  const AK_Read<bool> differ = choice.valuesDiffer();
  if (differ.IsUnreadable()) return Record::Unreadable(differ.Failure());
  if (differ.Value() && *differ.Value()) {
    if (recorded.Value() && !recorded.Value()->IsEmpty())
      AK_MESSAGE("INFO: " + AK_String(choice.who) + ": the saved project records no time step: values the time " +
                 "steps of " + dir + " depend on are saved otherwise than they were computed under");
    return Record::Found(AK_String());
  }
  const Record stateValues = choice.savedStateValues();
  if (stateValues.IsUnreadable()) return stateValues;
  const AK_String saved = stateValues.Value() ? *stateValues.Value() : AK_String();
  // A process that holds no series there names a time step of it only under the values saved for
  // that series, which equal its own (a directory deleted and run anew has none saved).
  if (!series.Holds(dir) && saved.IsEmpty()) return Record::Found(AK_String());
  const auto newest = [&] { return SW_ReadNewestTimeStep(dir); };
  // A run in another process records its own state only where it runs.
  if (choice.copying) {
    const AK_Read<int> holder = SW_RunLockHolder(dir);
    if (holder.IsUnreadable()) return Record::Unreadable(holder.Failure());
    if (holder.Value() && *holder.Value() != 0 && *holder.Value() != AK_ProcessId()) {
      const AK_Read<AK_String> values = SW_ReadRunValues(dir);
      if (values.IsUnreadable()) return values;
      if (values.Value() && *values.Value() == saved) return newest();
    }
  }
  const AK_String* record = recorded.Value();
  if (!record) return newest();
  if (record->IsEmpty()) return recorded;
  AK_String unseen;
  switch (AK_LookAtPath(SW_TimeStepPath(dir, *record), &unseen)) {
    case AK_PathLook::Found: return recorded;
    case AK_PathLook::Failed: return Record::Unreadable(unseen);
    case AK_PathLook::Missing: break;
  }
  return newest();
}

bool SW_CopyStateInto(const char* target, SW_SeriesHold& series, const SW_StateCopy& copy)
{
  const AK_String dir(target ? target : ""), source = series.Directory();
  const AK_String who(copy.who);
  // One that cannot be looked at is copied, and its copy fails naming it.
  const bool copying = !source.IsEmpty() && AK_LookAtDirectory(source) != AK_PathLook::Missing;
  // One state of the source, whole: no writer of either directory comes in between (the save
  // took both locks already; they nest), and no run of the target.
  SW_CopyLocks locks(copying ? source.c_str() : "", dir);
  std::optional<SW_RunLock> runLock;
  if (!SW_HoldsRunLock(dir))
    runLock.emplace(dir, who, SW_LockPurpose::Copy, AK_String("not saved to ") + dir, copy.calls.recordTakenOver);
  if (runLock && !runLock->Held()) return false;  // the refusal answers
  if (!locks.Held()) {
    AK_ErrorText = who + ": not saved to " + dir + ": the run directory cannot be locked: " + locks.Failure();
    return false;
  }
  // The source is read whole: a copy or a deletion cut short there is finished first, under its
  // run lock, as every reader of the directory does.
  if (copying)
    if (const AK_String failure = SW_FinishCutWorkBeforeReading(source, copy.who, copy.calls.recordTakenOver);
        !failure.IsEmpty()) {
      AK_ErrorText = who + ": not saved to " + dir + ", its run directory is as it was: the source " + source +
                     " cannot be read whole: " + failure;
      return false;
    }
  const bool valuesTaken = copying && copy.takeValuesSaved(source);
  if (copy.gone()) return false;
  const bool held = copying && series.Holds(source);
  const AK_Read<AK_String> chosen = copying ? copy.chooseRecord(source, !valuesTaken) : AK_Read<AK_String>::Found("");
  if (chosen.IsUnreadable()) {
    AK_ErrorText = who + ": not saved to " + dir + ", its run directory is as it was: " + AK_CannotRead(chosen);
    return false;
  }
  const AK_String record = chosen.Value() ? *chosen.Value() : AK_String();
  SW_SeriesCopy seriesCopy(copying ? source.c_str() : "", dir);
  SW_SeriesHold targetSeries;
  AK_String failure;
  const auto writeSaved = [&](const char* path) { return copy.writeSaved(path, record); };
  switch (seriesCopy.Copy(copy.savedFile, writeSaved, targetSeries, failure)) {
    case SW_SeriesCopy::Outcome::Copied:
      break;
    case SW_SeriesCopy::Outcome::NotStarted:
      AK_ErrorText = who + ": not saved to " + dir + ", its run directory is as it was: " + failure;
      series.Bind(dir);
      return false;
    case SW_SeriesCopy::Outcome::LeftMarked:
      AK_ErrorText = who + ": not saved to " + dir + " whole: " + failure +
                     "; the copy stays marked there, and the next process that takes its run lock finishes it";
      series.Bind(dir);
      return false;
  }
  // The series there holds the state held when the one copied did; a simulation that had none
  // made it.
  if (held || source.IsEmpty()) series = targetSeries;
  else series.Bind(dir);
  return true;
}
