// Staging a run's series in another run directory and putting it in place.
#include "SW_SeriesCopy.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

#include "AK_FrameworkState.h"
#include "SW_SimulationStatus.h"
#include "SW_TimeStepList.h"
#include "SW_TimeStepNames.h"

namespace {

constexpr const char* kStaged = ".~staged";
// The mark while the copy is staged: nothing of the target has changed yet.
constexpr const char* kStaging = "staging";
constexpr const char* kLog = "start.log";

AK_String MarkPath(const char* runDirectory) { return AK_JoinPath(runDirectory, ".simulation_copy"); }
AK_String StagedPath(const char* runDirectory, const char* name) { return AK_JoinPath(runDirectory, name) + kStaged; }

bool EndsWith(const AK_String& text, const char* end)
{
  const size_t n = std::strlen(text), m = std::strlen(end);
  return n >= m && std::strcmp(text.c_str() + n - m, end) == 0;
}

// The names of the staged time steps of a run directory, in time order.
std::vector<AK_String> StagedSteps(const char* runDirectory)
{
  std::vector<std::pair<double, AK_String>> steps;
  for (const AK_String& file : AK_ListDirectory(runDirectory, "")) {
    if (!EndsWith(file, kStaged)) continue;
    AK_String name(file.c_str(), file.c_str() + std::strlen(file) - std::strlen(kStaged));
    if (name.GetExtension() != AK_String("TimeStep")) continue;
    AK_String step(name);
    step.CutExtension();
    double time;
    if (SW_TimeOfTimeStepName(step, time)) steps.emplace_back(time, name);
  }
  std::stable_sort(steps.begin(), steps.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<AK_String> names;
  for (auto& step : steps) names.push_back(std::move(step.second));
  return names;
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

bool PutInPlace(const char* runDirectory, const char* reason, AK_String& failure)
{
  const auto cannot = [&](const AK_String& from, const AK_String& to) {
    failure = "cannot put " + from + " in place of " + to + ": " + std::strerror(errno);
    return false;
  };
  const AK_String savedFile = SavedFileOfMark(runDirectory);
  const AK_String staged = StagedPath(runDirectory, savedFile);
  const std::vector<AK_String> steps = StagedSteps(runDirectory);
  // While the saved simulation is staged, every time step there is the old run's: those the copy
  // does not replace go first, then the values, then the copies take their names in time order.
  if (!savedFile.IsEmpty() && AK_IsRegularFile(staged)) {
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
    const AK_String path = AK_JoinPath(runDirectory, savedFile);
    if (AK_ReplaceFile(staged, path) != 0) return cannot(staged, path);
  }
  for (const AK_String& name : steps) {
    const AK_String path = AK_JoinPath(runDirectory, name);
    if (AK_ReplaceFile(path + kStaged, path) != 0) return cannot(path + kStaged, path);
  }
  if (AK_IsRegularFile(StagedPath(runDirectory, kLog)))
    if (AK_ReplaceFile(StagedPath(runDirectory, kLog), AK_JoinPath(runDirectory, kLog)) != 0)
      return cannot(StagedPath(runDirectory, kLog), AK_JoinPath(runDirectory, kLog));
  // No run of the target goes on (its run lock is held): whatever its status said, the run
  // there now is the copy's, which ended.
  if (reason) SW_WriteInfoFile(runDirectory, reason);
  if (reason || !steps.empty()) SW_WriteStatusFile(runDirectory, "finished");
  AK_DeleteFile(MarkPath(runDirectory));
  return true;
}

}  // namespace

SW_SeriesCopy::SW_SeriesCopy(const char* source, const char* target)
    : _source(source ? source : ""), _target(target ? target : "")
{
}

SW_SeriesCopy::~SW_SeriesCopy()
{
  if (_staged) DropStaged();
}

namespace {

// Removes the staged files of a copy that is put in place no more, and its mark.
void DropStagedFiles(const char* runDirectory)
{
  for (const AK_String& file : AK_ListDirectory(runDirectory, ""))
    if (EndsWith(file, kStaged)) AK_DeleteFile(AK_JoinPath(runDirectory, file));
  AK_DeleteFile(MarkPath(runDirectory));
}

}  // namespace

void SW_SeriesCopy::DropStaged()
{
  DropStagedFiles(_target);
  _steps = AK_Array<AK_String>();
  _staged = false;
}

bool SW_SeriesCopy::Stage(AK_String& failure)
{
  const bool copying = !_source.IsEmpty() && AK_IsDirectory(_source);
  for (int attempt = 0; attempt < 3; ++attempt) {
    DropStaged();
    // Marked first: a kill while it stages leaves the next taker of the run lock knowing that
    // only a copy was cut short.
    if (const std::string mark = std::string(kStaging) + "\n"; !AK_WriteWholeFile(MarkPath(_target), mark)) {
      failure = "cannot write " + MarkPath(_target) + ": " + std::strerror(errno);
      return false;
    }
    _staged = true;
    if (!copying) return true;
    // Waited for only a moment: the process that keeps it may be waiting for the target.
    AK_DirectoryLock locked(_source, std::chrono::milliseconds(2000));
    const SW_StampSeen before = SW_LookAtSeriesStamp(_source);
    _steps = SW_ListTimeSteps(_source, -1).names;
    std::vector<AK_String> files;
    for (const AK_String& step : _steps) files.push_back(step + ".TimeStep");
    if (_steps.Count() > 0 && AK_IsRegularFile(AK_JoinPath(_source, kLog))) files.push_back(kLog);
    for (const AK_String& file : files) {
      const AK_String from = AK_JoinPath(_source, file), to = StagedPath(_target, file);
      AK_MESSAGE(AK_String("copying ") + from + " to " + AK_JoinPath(_target, file) + "...");
      if (AK_CopyFile(from, to) != 0) {
        failure = "cannot copy " + from + " to " + to;
        DropStaged();
        return false;
      }
    }
    // A writer advances the stamp before it changes a file: the copies are one series when it
    // stood still, as it does under the lock.
    const SW_StampSeen after = SW_LookAtSeriesStamp(_source);
    const bool still = before.kind == after.kind &&
                       (before.kind == SW_StampSeen::Kind::Missing || before.SameAs(after));
    if (locked.Held() || still) return true;
  }
  failure = "the time steps of " + _source + " changed while they were copied";
  DropStaged();
  return false;
}

bool SW_SeriesCopy::Commit(const AK_DirectoryLock& locked, const char* savedFile,
                           const std::function<bool(const char* path)>& writeSaved, SW_SeriesHold& target,
                           AK_String& failure)
{
  if (!_staged) {
    failure = "nothing staged to copy into " + _target;
    return false;
  }
  if (!locked.Held() || !AK_HoldsDirectoryLock(_target)) {
    failure = "the run directory cannot be locked: " + (locked.Failure().IsEmpty() ? _target : locked.Failure());
    return false;
  }
  if (!writeSaved(StagedPath(_target, savedFile))) {
    failure = "the saved simulation cannot be staged in " + _target;
    return false;
  }
  // From the mark on, the copy is the target's: a kill leaves it to be finished, never undone.
  if (const std::string mark = std::string(savedFile) + "\n"; !AK_WriteWholeFile(MarkPath(_target), mark)) {
    failure = "cannot write " + MarkPath(_target) + ": " + std::strerror(errno);
    return false;
  }
  const SW_SeriesHold::Gate gate = target.Pass(locked, _target, SW_SeriesChange::Anew);
  if (!gate.passed) {
    AK_DeleteFile(MarkPath(_target));
    failure = gate.failure;
    return false;
  }
  if (!PutInPlace(_target, nullptr, failure)) return false;
  _staged = false;
  return true;
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
    DropStagedFiles(runDirectory);
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
  const AK_String cut = "a copy of time steps into it was cut short, its process is gone: the copy was finished";
  AK_MESSAGE(AK_String("INFO: ") + runDirectory + ": " + cut);
  if (!PutInPlace(runDirectory, cut, failure))
    AK_MESSAGE(AK_String("WARNING: ") + runDirectory + ": a copy of time steps into it was cut short and cannot be " +
               "finished: " + failure);
  return true;
}
