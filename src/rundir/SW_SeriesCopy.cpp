// Staging one state of a run directory in another run directory and putting it in place.
#include "SW_SeriesCopy.h"
#include "SW_SeriesCopy_Internal.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

#include "AK_FrameworkState.h"
#include "AK_Process.h"
#include "SW_RunSeries_Internal.h"
#include "SW_SimulationStatus.h"
#include "SW_TimeStepList.h"
#include "SW_TimeStepNames.h"
#include "SW_WorkMarks_Internal.h"

namespace {

constexpr const char* kStaged = kStagedSuffix;
constexpr const char* kMark = ".simulation_copying";
// The mark of a build whose marks named no series: a build that knows only that name never mistakes
// a mark of two lines for one of its own.
constexpr const char* kMarkNamingNoSeries = ".simulation_copy";
// The mark while the copy is staged: nothing of the target has changed yet.
constexpr const char* kStaging = "staging";
// What a run leaves beside its time steps, which goes with the series it describes: its log, its
// last progress line and the digest of the values it ran under.
constexpr const char* kRunFiles[] = {"start.log", ".simulation_info", ".simulation_values"};

AK_String MarkPath(const char* runDirectory, const char* file = kMark) { return AK_JoinPath(runDirectory, file); }
AK_String StagedPath(const char* runDirectory, const char* name) { return AK_JoinPath(runDirectory, name) + kStaged; }

// How long a copy waits after it staged its time steps, before anything of the target changes:
// none, unless the environment variable TORVU_COPY_STAGED_PAUSE_MS asks (for tests of processes
// that copy at once). Read once.
int64_t StagedPause()
{
  static const int64_t pause = [] {
    const char* value = std::getenv("TORVU_COPY_STAGED_PAUSE_MS");
    return value ? std::clamp<int64_t>(std::atoll(value), 0, 60000) : 0;
  }();
  return pause;
}

int PutStaged(const char* runDirectory, const char* name)
{
  return AK_ReplaceFile(StagedPath(runDirectory, name), AK_JoinPath(runDirectory, name));
}

// The saved simulation's file named by a mark: a plain file name, else none (a copy still staging).
AK_String SavedFileOfMark(const SW_WorkMark& mark)
{
  const AK_String& text = mark.what;
  if (text.IsEmpty() || std::strpbrk(text, "/\\") || std::strcmp(text, "..") == 0 || std::strcmp(text, ".") == 0 ||
      std::strcmp(text, kStaging) == 0)
    return "";
  return text;
}

// A staged file of a copy stands in the run directory, or the directory cannot be read.
bool AnythingStaged(const char* runDirectory)
{
  bool staged = false;
  AK_String stem;
  const bool read =
      AK_VisitDirectory(runDirectory, "", [&](const char* file) { staged = staged || AK_CutSuffix(file, kStaged, stem); });
  return staged || !read;
}

// Removes the staged files of a copy that is put in place no more, and with `marks` its mark; ""
// when all went, else the first that stayed and why. A staged file is never a part of anything
// else: one that stays is dropped by the next copy or taker, while the mark "staging" stands.
AK_String DropStaged(const char* runDirectory, bool marks)
{
  AK_String stem, failure;
  const auto note = [&](const AK_String& why) {
    if (failure.IsEmpty()) failure = why;
  };
  bool listed = false;
  for (const AK_String& file : AK_ListDirectory(runDirectory, "", &listed)) {
    const AK_String path = AK_JoinPath(runDirectory, file);
    if (AK_CutSuffix(file, kStaged, stem) && AK_DeleteFile(path) != 0 && AK_LookAtPath(path) != AK_PathLook::Missing)
      note("cannot remove " + path + ": " + std::strerror(errno));
  }
  if (!listed) note("cannot read " + AK_String(runDirectory) + ": " + std::strerror(errno));
  if (marks && failure.IsEmpty())
    for (const char* mark : {kMark, kMarkNamingNoSeries}) note(SW_RemoveWorkMark(runDirectory, mark));
  return failure;
}

bool PutInPlace(const char* runDirectory, const char* markFile, const char* reason, AK_String& failure)
{
  const auto cannot = [&](const char* name) {
    failure = AK_String("cannot put ") + StagedPath(runDirectory, name) + " in place of " +
              AK_JoinPath(runDirectory, name) + ": " + std::strerror(errno);
    return false;
  };
  const auto unreadable = [&](const AK_String& what) {
    failure = "cannot read " + what + ": " + std::strerror(errno);
    return false;
  };
  // Whether the staged copy of a file stands decides what goes and what is put in place: a look
  // that fails puts nothing more in place, and the mark stays for the next taker.
  const auto staged = [&](const char* name, bool& stands) {
    AK_String unseen;
    const AK_PathKind look = AK_LookAtKind(StagedPath(runDirectory, name), &unseen);
    if (look == AK_PathKind::Failed) return failure = "cannot look at " + unseen, false;
    stands = look == AK_PathKind::RegularFile;
    return true;
  };
  // What the mark says decides what goes: a mark or a listing that cannot be read puts nothing in
  // place.
  const AK_Read<SW_WorkMark> read = SW_ReadWorkMark(runDirectory, markFile);
  if (read.IsUnreadable()) return failure = AK_CannotRead(read), false;
  if (!read.Value()) {
    errno = ENOENT;
    return unreadable(MarkPath(runDirectory, markFile));
  }
  const SW_WorkMark& mark = *read.Value();
  const AK_String savedFile = SavedFileOfMark(mark);
  AK_String unlisted;
  AK_Array<AK_String> steps = SW_ListTimeSteps(runDirectory, -1, kStaged, &unlisted).names;
  if (!unlisted.IsEmpty()) return failure = unlisted, false;
  for (AK_String& step : steps) step += ".TimeStep";
  // While the saved simulation is staged, every time step there is the old run's: those the copy
  // does not replace go first, with what the old run left beside them, then the values, then the
  // copies take their names in time order.
  bool whole = false;
  if (!savedFile.IsEmpty() && !staged(savedFile, whole)) return false;
  if (whole) {
    std::unordered_set<std::string> copied;
    for (const AK_String& name : steps) copied.insert(name.c_str());
    const SW_TimeStepList old = SW_ListTimeSteps(runDirectory, -1, nullptr, &unlisted);
    if (!unlisted.IsEmpty()) return failure = unlisted, false;
    for (const AK_String& step : old.names) {
      const AK_String path = SW_TimeStepPath(runDirectory, step);
      if (copied.count((step + ".TimeStep").c_str())) continue;
      AK_MESSAGE(AK_String("removing ") + path);
      if (AK_DeleteFile(path) != 0 && AK_LookAtPath(path) != AK_PathLook::Missing) {
        failure = "cannot remove " + path + ": " + std::strerror(errno);
        return false;
      }
    }
    // The old run's log, info and values go with its time steps: left beside the copy, they would
    // speak for a run the copy does not hold.
    for (const char* file : kRunFiles) {
      bool replaced = false;
      if (!staged(file, replaced)) return false;
      if (const AK_String path = AK_JoinPath(runDirectory, file);
          !replaced && AK_DeleteFile(path) != 0 && AK_LookAtPath(path) != AK_PathLook::Missing) {
        failure = "cannot remove " + path + ": " + std::strerror(errno);
        return false;
      }
    }
    if (PutStaged(runDirectory, savedFile) != 0) return cannot(savedFile);
    AK_StopAtWindow("copy putting in place");
  }
  for (const AK_String& name : steps)
    if (PutStaged(runDirectory, name) != 0) return cannot(name);
  for (const char* file : kRunFiles) {
    bool stands = false;
    if (!staged(file, stands)) return false;
    if (stands && PutStaged(runDirectory, file) != 0) return cannot(file);
  }
  // No run of the target goes on (its run lock is held): whatever its status said, the run
  // there now is the copy's, which ended.
  // The info only tells what became of the copy, which is whole in place without it.
  // Not said, it is not finished: the mark stays until it is written.
  if (AK_String why; reason && !SW_WriteInfoFile(runDirectory, reason, &why)) {
    failure = "cannot write the info of " + AK_String(runDirectory) + ": " + why;
    return false;
  }
  // A copy without its status would read as a run of unknown state: the mark stays until it is
  // written.
  if (AK_String why; (reason || steps.Count() > 0) && !SW_WriteStatusFile(runDirectory, "finished", &why)) {
    failure = "cannot write the status of " + AK_String(runDirectory) + ": " + why;
    return false;
  }
  return true;
}

// The order in which a copy takes the locks of two directories.
bool LockedFirst(const AK_FileIdentity& a, const AK_FileIdentity& b)
{
  return std::make_pair(a.device, a.inode) < std::make_pair(b.device, b.inode);
}

}  // namespace

SW_CopyLocks::SW_CopyLocks(const char* source, const char* target)
{
  const AK_FileIdentity from = AK_FileIdentityOfPath(source ? source : ""), to = AK_FileIdentityOfPath(target);
  if (!from.known || from.SameAs(to)) {
    _first = std::make_unique<AK_DirectoryLock>(target);
    return;
  }
  const bool sourceFirst = LockedFirst(from, to);
  _first = std::make_unique<AK_DirectoryLock>(sourceFirst ? source : target);
  _second = std::make_unique<AK_DirectoryLock>(sourceFirst ? target : source);
}

bool SW_CopyLocks::Held() const { return _first->Held() && (!_second || _second->Held()); }

AK_String SW_CopyLocks::Failure() const
{
  return !_first->Held() ? _first->Failure() : _second && !_second->Held() ? _second->Failure() : AK_String();
}

SW_SeriesCopy::SW_SeriesCopy(const char* source, const char* target)
    : _source(source ? source : ""), _target(target ? target : "")
{
}

SW_SeriesCopy::~SW_SeriesCopy()
{
  // A copy that put nothing in place answers its own failure; staged files or a mark "staging"
  // that stay are dropped by the next copy or taker of the run lock, and are part of nothing.
  if (_staging) (void)DropStaged(_target, true);
}

namespace {

// Adds to `files` the run's files of `source` that stand (regular files): "" when done, else the
// look that failed, naming it.
AK_String RunFilesOf(const AK_String& source, std::vector<AK_String>& files)
{
  for (const char* file : kRunFiles) {
    const AK_String path = AK_JoinPath(source, file);
    AK_String unseen;
    switch (AK_LookAtKind(path, &unseen)) {
      case AK_PathKind::Failed: return "cannot look at " + unseen;
      case AK_PathKind::RegularFile: files.push_back(file); break;
      case AK_PathKind::Missing:
      case AK_PathKind::Directory:
      case AK_PathKind::Other: break;
    }
  }
  return "";
}

}  // namespace

bool SW_SeriesCopy::Stage(AK_String& failure)
{
  if (failure = DropStaged(_target, true); !failure.IsEmpty()) return false;
  // Marked first: a kill while it stages leaves the next taker of the run lock knowing that only
  // a copy was cut short.
  if (failure = SW_WriteWorkMark(_target, kMark, kStaging); !failure.IsEmpty()) return false;
  _staging = true;
  if (_source.IsEmpty()) return true;
  switch (AK_String unseen; AK_LookAtDirectory(_source, &unseen)) {
    case AK_PathLook::Missing: return true;
    case AK_PathLook::Failed: failure = "cannot look at the run directory " + unseen; return false;
    case AK_PathLook::Found: break;
  }
  // Under the source's lock no writer changes its series meanwhile.
  std::vector<AK_String> files;
  AK_String unlisted;
  for (const AK_String& step : SW_ListTimeSteps(_source, -1, nullptr, &unlisted).names) files.push_back(step + ".TimeStep");
  if (!unlisted.IsEmpty()) {
    failure = unlisted;
    return false;
  }
  if (!files.empty() && !(failure = RunFilesOf(_source, files)).IsEmpty()) return false;
  for (const AK_String& file : files) {
    const AK_String from = AK_JoinPath(_source, file), to = StagedPath(_target, file);
    AK_MESSAGE(AK_String("copying ") + from + " to " + AK_JoinPath(_target, file) + "...");
    if (AK_CopyFile(from, to) != 0) {
      failure = "cannot copy " + from + " to " + to;
      return false;
    }
  }
  return true;
}

AK_String SW_CopySourceReadFailure(const char* source)
{
  if (!source || !*source) return "";
  switch (AK_String unseen; AK_LookAtDirectory(source, &unseen)) {
    case AK_PathLook::Missing: return "";
    case AK_PathLook::Failed: return "cannot look at the run directory " + unseen;
    case AK_PathLook::Found: break;
  }
  std::vector<AK_String> files;
  for (const AK_String& step : SW_ListTimeSteps(source, -1).names) files.push_back(step + ".TimeStep");
  // As Stage takes them: the run's files go only with time steps.
  if (!files.empty())
    if (const AK_String unseen = RunFilesOf(source, files); !unseen.IsEmpty()) return unseen;
  for (const AK_String& file : files)
    if (const AK_String path = AK_JoinPath(source, file); !AK_File(path, "rb"))
      return "cannot read " + path + ": " + std::strerror(errno);
  return "";
}

SW_SeriesCopy::Outcome SW_SeriesCopy::Copy(const char* savedFile, const std::function<bool(const char* path)>& writeSaved,
                                           SW_SeriesHold& target, AK_String& failure)
{
  if (!AK_HoldsDirectoryLock(_target) ||
      (!_source.IsEmpty() && AK_LookAtDirectory(_source) != AK_PathLook::Missing && !AK_HoldsDirectoryLock(_source))) {
    failure = "the run directories are not locked";
    return Outcome::NotStarted;
  }
  if (!Stage(failure)) return Outcome::NotStarted;
  if (const int64_t pause = StagedPause()) AK_SleepMilliseconds(pause);
  AK_StopAtWindow("copy staged");
  if (!writeSaved(StagedPath(_target, savedFile))) {
    failure = "the saved simulation cannot be staged in " + _target;
    return Outcome::NotStarted;
  }
  // No process holds the target's series from here on; nothing of its files has changed yet.
  AK_DirectoryLock locked(_target);
  const SW_SeriesHold::Gate gate = target.Pass(locked, _target, SW_SeriesChange::Anew);
  if (!gate.passed) {
    failure = gate.failure;
    return Outcome::NotStarted;  // the staged files and the mark go with the copy
  }
  // From the mark on, the copy is the target's: a kill leaves it to be finished, never undone. The
  // mark names the series the gate made, which only this copy's finishing may find.
  if (failure = SW_WriteWorkMark(_target, kMark, savedFile); !failure.IsEmpty()) return Outcome::NotStarted;
  _staging = false;
  if (!PutInPlace(_target, kMark, nullptr, failure)) return Outcome::LeftMarked;
  if (failure = SW_RemoveWorkMark(_target, kMark); !failure.IsEmpty()) return Outcome::LeftMarked;
  return Outcome::Copied;
}

bool SW_CopyIsMarked(const char* runDirectory)
{
  return runDirectory && *runDirectory && SW_WorkIsMarked(runDirectory, {kMark, kMarkNamingNoSeries});
}

SW_CutWork SW_FinishCutCopy(const char* runDirectory, AK_String* failed)
{
  const char* file = nullptr;
  const AK_Read<SW_WorkMark> read = SW_ReadFirstWorkMark(runDirectory, {kMark, kMarkNamingNoSeries}, file);
  if (read.IsMissing()) return SW_CutWork::None;
  const SW_WorkMark mark = read.Value() ? *read.Value() : SW_WorkMark();
  const bool current = SW_MarkIsCurrent(runDirectory, mark);
  const auto cannotFinish = [&](const AK_String& failure) {
    const AK_String why = AK_String(runDirectory) + ": a copy of time steps into it was cut short and cannot be " +
                          "finished: " + failure + "; it stays marked with its staged files, and the next process " +
                          "that takes its run lock tries again";
    AK_MESSAGE("WARNING: " + why);
    if (failed) *failed = why;
    return SW_CutWork::Failed;
  };
  if (read.IsUnreadable()) return cannotFinish(AK_CannotRead(read));
  const AK_String savedFile = SavedFileOfMark(mark);
  const auto dropMark = [&](const char* why) {
    if (const AK_String failure = SW_RemoveWorkMark(runDirectory, file); !failure.IsEmpty()) return cannotFinish(failure);
    if (why) AK_MESSAGE(AK_String("INFO: ") + runDirectory + ": " + why);
    return SW_CutWork::Stale;
  };
  // Cut while it staged: the target is as it was. Staged files are never a part of anything else.
  if (savedFile.IsEmpty()) {
    if (const AK_String failure = DropStaged(runDirectory, false); !failure.IsEmpty()) return cannotFinish(failure);
    if (!current && mark.namesSeries) return dropMark(nullptr);
    const AK_String cut = "a copy of time steps into it was cut short, its process is gone: nothing of it was put in place";
    // The mark stays until the info tells what became of the copy.
    if (AK_String why; !SW_WriteInfoFile(runDirectory, cut, &why)) return cannotFinish("cannot write the info: " + why);
    if (AK_String why; !SW_WriteStatusFile(runDirectory, "finished", &why))
      return cannotFinish("cannot write the status: " + why);
    if (dropMark(nullptr) == SW_CutWork::Failed) return SW_CutWork::Failed;
    AK_MESSAGE(AK_String("INFO: ") + runDirectory + ": " + cut);
    return SW_CutWork::Finished;
  }
  // Another writer changed the series since: the copy was put in place before, and whatever stands
  // now is that writer's.
  if (mark.namesSeries && !current)
    return dropMark("the mark of a copy into an earlier series is removed, no file touched");
  // Put in place whole already, only its mark stayed.
  if (!AnythingStaged(runDirectory)) return dropMark(nullptr);
  AK_String failure;
  const AK_String cut = "a copy of time steps into it was cut short: the copy was finished";
  AK_MESSAGE(AK_String("INFO: ") + runDirectory + ": " + cut);
  // Whoever read a part of it holds nothing of it; the series changes once the copy is whole, so
  // that a taker killed before that finds the mark still of the series it stands for.
  const bool whole = PutInPlace(runDirectory, file, cut, failure);
  if (whole) failure = SW_StartSeriesAnew(runDirectory);
  if (whole && failure.IsEmpty()) failure = SW_RemoveWorkMark(runDirectory, file);
  if (!whole || !failure.IsEmpty()) return cannotFinish(failure);
  return SW_CutWork::Finished;
}
