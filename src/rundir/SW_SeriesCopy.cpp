// Staging one state of a run directory in another run directory and putting it in place.
#include "SW_SeriesCopy.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

#include "AK_FrameworkState.h"
#include "AK_Process.h"
#include "SW_SimulationStatus.h"
#include "SW_TimeStepList.h"
#include "SW_TimeStepNames.h"

namespace {

constexpr const char* kStaged = ".~staged";
// The mark while the copy is staged: nothing of the target has changed yet.
constexpr const char* kStaging = "staging";
// What a run leaves beside its time steps, which goes with the series it describes: its log, its
// last progress line and the digest of the values it ran under.
constexpr const char* kRunFiles[] = {"start.log", ".simulation_info", ".simulation_values"};

AK_String MarkPath(const char* runDirectory) { return AK_JoinPath(runDirectory, ".simulation_copy"); }
AK_String StagedPath(const char* runDirectory, const char* name) { return AK_JoinPath(runDirectory, name) + kStaged; }

// How long a copy waits after it staged its time steps, before anything of the target changes, and
// which staged file's rename fails once: none, unless the environment variables
// TORVU_COPY_STAGED_PAUSE_MS and TORVU_COPY_FAIL_RENAME ask (for tests of processes that copy at
// once, and of a copy that cannot be put in place). Read once.
int64_t StagedPause()
{
  static const int64_t pause = [] {
    const char* value = std::getenv("TORVU_COPY_STAGED_PAUSE_MS");
    return value ? std::clamp<int64_t>(std::atoll(value), 0, 60000) : 0;
  }();
  return pause;
}

bool RenameFailsOnce(const AK_String& name)
{
  static AK_String failing = [] {
    const char* value = std::getenv("TORVU_COPY_FAIL_RENAME");
    return AK_String(value ? value : "");
  }();
  if (failing.IsEmpty() || !(failing == name)) return false;
  failing = "";
  errno = EIO;
  return true;
}

int PutStaged(const char* runDirectory, const char* name)
{
  if (RenameFailsOnce(name)) return -1;
  return AK_ReplaceFile(StagedPath(runDirectory, name), AK_JoinPath(runDirectory, name));
}

// The saved simulation's file named by a mark: a plain file name, else none.
AK_String SavedFileOfMark(const char* runDirectory)
{
  AK_String text;
  if (!AK_ReadTextFile(MarkPath(runDirectory), text)) return "";
  text.Trim();
  if (text.IsEmpty() || std::strpbrk(text, "/\\") || std::strcmp(text, "..") == 0 || std::strcmp(text, ".") == 0 ||
      std::strcmp(text, kStaging) == 0)
    return "";
  return text;
}

// Removes the staged files of a copy that is put in place no more, and its mark.
void DropStaged(const char* runDirectory)
{
  AK_String stem;
  for (const AK_String& file : AK_ListDirectory(runDirectory, ""))
    if (AK_CutSuffix(file, kStaged, stem)) AK_DeleteFile(AK_JoinPath(runDirectory, file));
  AK_DeleteFile(MarkPath(runDirectory));
}

bool PutInPlace(const char* runDirectory, const char* reason, AK_String& failure)
{
  const auto cannot = [&](const char* name) {
    failure = AK_String("cannot put ") + StagedPath(runDirectory, name) + " in place of " +
              AK_JoinPath(runDirectory, name) + ": " + std::strerror(errno);
    return false;
  };
  const AK_String savedFile = SavedFileOfMark(runDirectory);
  AK_Array<AK_String> steps = SW_ListTimeSteps(runDirectory, -1, kStaged).names;
  for (AK_String& step : steps) step += ".TimeStep";
  // While the saved simulation is staged, every time step there is the old run's: those the copy
  // does not replace go first, with what the old run left beside them, then the values, then the
  // copies take their names in time order.
  const bool whole = !savedFile.IsEmpty() && AK_IsRegularFile(StagedPath(runDirectory, savedFile));
  if (whole) {
    std::unordered_set<std::string> copied;
    for (const AK_String& name : steps) copied.insert(name.c_str());
    for (const AK_String& step : SW_ListTimeSteps(runDirectory, -1).names) {
      const AK_String path = SW_TimeStepPath(runDirectory, step);
      if (copied.count((step + ".TimeStep").c_str())) continue;
      AK_MESSAGE(AK_String("removing ") + path);
      if (AK_DeleteFile(path) != 0 && AK_FileExists(path)) {
        failure = "cannot remove " + path + ": " + std::strerror(errno);
        return false;
      }
    }
    for (const char* file : kRunFiles)
      if (!AK_IsRegularFile(StagedPath(runDirectory, file))) AK_DeleteFile(AK_JoinPath(runDirectory, file));
    if (PutStaged(runDirectory, savedFile) != 0) return cannot(savedFile);
  }
  for (const AK_String& name : steps)
    if (PutStaged(runDirectory, name) != 0) return cannot(name);
  for (const char* file : kRunFiles)
    if (AK_IsRegularFile(StagedPath(runDirectory, file)) && PutStaged(runDirectory, file) != 0) return cannot(file);
  // No run of the target goes on (its run lock is held): whatever its status said, the run
  // there now is the copy's, which ended.
  if (reason) SW_WriteInfoFile(runDirectory, reason);
  if (reason || steps.Count() > 0) SW_WriteStatusFile(runDirectory, "finished");
  AK_DeleteFile(MarkPath(runDirectory));
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
  if (_staging) DropStaged(_target);
}

bool SW_SeriesCopy::Stage(AK_String& failure)
{
  DropStaged(_target);
  // Marked first: a kill while it stages leaves the next taker of the run lock knowing that only
  // a copy was cut short.
  if (const std::string mark = std::string(kStaging) + "\n"; !AK_WriteWholeFile(MarkPath(_target), mark)) {
    failure = "cannot write " + MarkPath(_target) + ": " + std::strerror(errno);
    return false;
  }
  _staging = true;
  if (_source.IsEmpty() || !AK_IsDirectory(_source)) return true;
  // Under the source's lock no writer changes its series meanwhile.
  std::vector<AK_String> files;
  for (const AK_String& step : SW_ListTimeSteps(_source, -1).names) files.push_back(step + ".TimeStep");
  if (!files.empty())
    for (const char* file : kRunFiles)
      if (AK_IsRegularFile(AK_JoinPath(_source, file))) files.push_back(file);
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

SW_SeriesCopy::Outcome SW_SeriesCopy::Copy(const char* savedFile, const std::function<bool(const char* path)>& writeSaved,
                                           SW_SeriesHold& target, AK_String& failure)
{
  if (!AK_HoldsDirectoryLock(_target) || (!_source.IsEmpty() && AK_IsDirectory(_source) && !AK_HoldsDirectoryLock(_source))) {
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
  // From the mark on, the copy is the target's: a kill leaves it to be finished, never undone.
  if (const std::string mark = std::string(savedFile) + "\n"; !AK_WriteWholeFile(MarkPath(_target), mark)) {
    failure = "cannot write " + MarkPath(_target) + ": " + std::strerror(errno);
    return Outcome::NotStarted;
  }
  AK_DirectoryLock locked(_target);
  const SW_SeriesHold::Gate gate = target.Pass(locked, _target, SW_SeriesChange::Anew);
  if (!gate.passed) {
    failure = gate.failure;
    return Outcome::NotStarted;  // the staged files and the mark go with the copy
  }
  _staging = false;
  if (!PutInPlace(_target, nullptr, failure)) return Outcome::LeftMarked;
  return Outcome::Copied;
}

bool SW_CopyIsMarked(const char* runDirectory)
{
  return runDirectory && *runDirectory && AK_FileExists(MarkPath(runDirectory));
}

bool SW_FinishCutCopy(const char* runDirectory)
{
  if (!SW_CopyIsMarked(runDirectory)) return false;
  // Cut while it staged: the target is as it was.
  if (SavedFileOfMark(runDirectory).IsEmpty()) {
    DropStaged(runDirectory);
    const AK_String cut = "a copy of time steps into it was cut short, its process is gone: nothing of it was put in place";
    AK_MESSAGE(AK_String("INFO: ") + runDirectory + ": " + cut);
    SW_WriteInfoFile(runDirectory, cut);
    SW_WriteStatusFile(runDirectory, "finished");
    return true;
  }
  // Whoever read a part of it holds nothing of it.
  if (const AK_String failure = SW_StartSeriesAnew(runDirectory); !failure.IsEmpty())
    AK_MESSAGE("WARNING: " + failure);
  AK_String failure;
  const AK_String cut = "a copy of time steps into it was cut short: the copy was finished";
  AK_MESSAGE(AK_String("INFO: ") + runDirectory + ": " + cut);
  if (!PutInPlace(runDirectory, cut, failure))
    AK_MESSAGE(AK_String("WARNING: ") + runDirectory + ": a copy of time steps into it was cut short and cannot be " +
               "finished: " + failure);
  return true;
}
