// Listing, stepping through, deleting and copying time-step files.
#include "SW_TimeStepList.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

#include "AK_FrameworkState.h"
#include "AK_Process.h"
#include "SW_TimeStepList_Internal.h"
#include "SW_TimeStepNames.h"
#include "SW_TimeStepNames_Internal.h"
#include "SW_WorkMarks_Internal.h"

namespace {

bool HasDirectory(const char* directory, const char* refused)
{
  if (directory && *directory) return true;
  AK_MESSAGE(AK_String("INFO:the simulation has no project directory: ") + refused);
  return false;
}

AK_String NameOfFile(const AK_String& file)
{
  AK_String name = file.BaseName();
  name.CutExtension();
  return name;
}

// Removes the temporaries of time-step files whose writers were killed; no run of the simulation
// is writing (the run lock says so).
void RemoveLeftoverTemporaries(const char* runDirectory, bool tell)
{
  AK_Leftovers leftovers;
  leftovers.writersGone = true;
  leftovers.ownFile = [](const AK_String& target) {
    if (target.GetExtension() != AK_String("TimeStep")) return false;
    AK_String name = target;
    name.CutExtension();
    double time;
    return SW_TimeOfTimeStepName(name, time);
  };
  if (tell) leftovers.removing = [](const AK_String& path) { AK_MESSAGE(AK_String("removing ") + path); };
  AK_RemoveLeftovers(runDirectory, leftovers);
}

constexpr const char* kDeletionMark = ".simulation_removing";
// The mark of a build whose marks named no series: a build that knows only that name never mistakes
// a mark of two lines for one of its own.
constexpr const char* kDeletionMarkNamingNoSeries = ".simulation_deleting";

// Deletes the listed files but `kept` ("" for none).
void DeleteAllBut(const char* runDirectory, const AK_Array<AK_String>& names, const AK_String& kept)
{
  for (const AK_String& name : names) {
    if (name == kept) continue;
    AK_String path = SW_TimeStepPath(runDirectory, name);
    AK_MESSAGE(AK_String("removing ") + path);
    (void)AK_DeleteFile(path);  // not looked at yet: a file that will not go stays
    AK_StopAtWindow("time steps deleting");
  }
  if (kept.IsEmpty()) RemoveLeftoverTemporaries(runDirectory, true);
}

}  // namespace

namespace {

// A time-step name and its time; an untimed name has none.
struct TimedName {
  AK_String name;
  double time = 0;
  bool timed = false;
};

// The time-step names of a directory in time order, untimed ones first in byte order (the
// directory's order, kept by the stable sort).
std::vector<TimedName> NamesInTimeOrder(const char* runDirectory, const char* suffix, bool* read)
{
  std::vector<TimedName> names;
  if (!runDirectory || !*runDirectory) return names;
  const bool suffixed = suffix && *suffix;
  AK_Array<AK_String> files = AK_ListDirectory(runDirectory, suffixed ? "" : "TimeStep", read);
  names.reserve(size_t(files.Count()));
  for (const AK_String& file : files) {
    AK_String stem;
    if (suffixed && !(AK_CutSuffix(file, suffix, stem) && stem.GetExtension() == AK_String("TimeStep"))) continue;
    TimedName entry{NameOfFile(suffixed ? stem : file)};
    entry.timed = SW_TimeOfTimeStepName(entry.name, entry.time);
    names.push_back(std::move(entry));
  }
  const auto earlier = [](const TimedName& a, const TimedName& b) {
    if (a.timed != b.timed) return !a.timed;
    return a.timed && a.time < b.time;
  };
  // Names of one length (times below 1e7 s) are in time order already.
  if (!std::is_sorted(names.begin(), names.end(), earlier)) std::stable_sort(names.begin(), names.end(), earlier);
  return names;
}

}  // namespace

SW_TimeStepList SW_ListTimeSteps(const char* runDirectory, double currentTime, const char* suffix, bool* read)
{
  SW_TimeStepList list;
  AK_String current = SW_TimeStepName(currentTime);
  if (read) *read = true;
  std::vector<TimedName> names = NamesInTimeOrder(runDirectory, suffix, read);
  list.names.Reserve(int32_t(names.size()));
  for (TimedName& entry : names) {
    if (entry.name == current) list.current = list.names.Count();
    list.names.Append(std::move(entry.name));
  }
  return list;
}

AK_String SW_NewestTimeStep(const char* runDirectory, double* time)
{
  AK_String newest;
  double newestTime = 0;
  if (!runDirectory || !*runDirectory) return newest;
  AK_VisitDirectory(runDirectory, "TimeStep", [&](const char* file) {
    AK_String name = NameOfFile(file);
    double t;
    if (SW_TimeOfTimeStepName(name, t) && (newest.IsEmpty() || t > newestTime)) {
      newest = std::move(name);
      newestTime = t;
    }
  });
  if (time) *time = newestTime;
  return newest;
}

AK_String SW_TimeStepsListText(const SW_TimeStepList& list)
{
  return AK_String(list.names, "%AK_SEP%");
}

bool SW_TimeStepToLoad(const SW_TimeStepList& list, SW_TimeStepMove move, AK_String& name)
{
  int count = list.names.Count();
  int index = -1;
  switch (move) {
    case SW_TimeStepMove::Next: index = list.HasNext() ? list.current + 1 : -1; break;
    case SW_TimeStepMove::Prev: index = list.HasPrevious() ? list.current - 1 : -1; break;
    case SW_TimeStepMove::First: index = count > 0 ? 0 : -1; break;
    case SW_TimeStepMove::Last: index = count - 1; break;
  }
  if (index < 0) {
    bool stepping = move == SW_TimeStepMove::Next || move == SW_TimeStepMove::Prev;
    AK_ErrorText = stepping ? "accessing invalid time step" : "no time steps available";
    return false;
  }
  name = list.names[index];
  return true;
}

int SW_NearestTimeStep(const SW_TimeStepList& list, double time)
{
  int chosen = list.current;
  double best = 1e30;
  for (int i = 0; i < list.names.Count(); i++) {
    double s;
    if (!SW_TimeOfTimeStepName(list.names[i], s) || !(std::fabs(time - s) < best)) continue;
    best = std::fabs(time - s);
    chosen = i;
  }
  return chosen;
}

void SW_DeleteTimeStepFiles(const char* runDirectory, const SW_TimeStepList& list, bool all)
{
  // An empty list deletes nothing but what killed writers left.
  if (list.names.Count() == 0) {
    if (all && runDirectory && *runDirectory) RemoveLeftoverTemporaries(runDirectory, true);
    return;
  }
  if (!HasDirectory(runDirectory, "no time steps deleted")) return;
  DeleteAllBut(runDirectory, list.names, all ? AK_String() : list.names[list.names.Count() - 1]);
}

SW_TimeStepDeletion SW_DeleteTimeSteps(const char* runDirectory, const SW_TimeStepList& list, bool all,
                                       SW_SeriesHold& series, const std::function<AK_String(const AK_String&)>& record)
{
  SW_TimeStepDeletion outcome;
  AK_DirectoryLock locked(runDirectory);
  const SW_SeriesChange change = all && !series.Holds(runDirectory) ? SW_SeriesChange::Anew : SW_SeriesChange::Remove;
  outcome.gate = series.Pass(locked, runDirectory, change);
  if (!outcome.gate.passed) {
    outcome.refusedByGate = true;
    return outcome;
  }
  AK_StopAtWindow("delete time steps");
  const AK_String kept = all || list.names.Count() == 0 ? AK_String() : list.names[list.names.Count() - 1];
  // Marked before the first file goes, and the record written: a kill then leaves a deletion that
  // the next taker finishes, a failure one that never began.
  if (outcome.failure = SW_WriteWorkMark(runDirectory, kDeletionMark, kept); !outcome.failure.IsEmpty()) return outcome;
  AK_StopAtWindow("time steps marked");
  if (outcome.failure = record(kept); !outcome.failure.IsEmpty()) {
    // A mark that cannot go is made stale, so that nobody finishes a deletion that was refused.
    if (!SW_RemoveWorkMark(runDirectory, kDeletionMark).IsEmpty()) series.Pass(locked, runDirectory, SW_SeriesChange::Remove);
    return outcome;
  }
  SW_DeleteTimeStepFiles(runDirectory, list, all);
  outcome.done = true;
  if (const AK_String failure = SW_RemoveWorkMark(runDirectory, kDeletionMark); !failure.IsEmpty())
    outcome.failure = "the time steps were deleted, but " + failure;
  return outcome;
}

bool SW_DeletionIsMarked(const char* runDirectory)
{
  return runDirectory && *runDirectory && SW_WorkIsMarked(runDirectory, {kDeletionMark, kDeletionMarkNamingNoSeries});
}

SW_CutWork SW_FinishCutDeletion(const char* runDirectory, const SW_RecordTakenOver& record)
{
  SW_WorkMark mark;
  const char* file = SW_ReadFirstWorkMark(runDirectory, {kDeletionMark, kDeletionMarkNamingNoSeries}, mark);
  if (!file) return SW_CutWork::None;
  const auto fail = [&](const AK_String& failure) {
    AK_MESSAGE(AK_String("WARNING: ") + runDirectory + ": a deletion of time steps in it was cut short and cannot be " +
               "finished: " + failure + "; it stays marked, and the next process that takes its run lock tries again");
    return SW_CutWork::Failed;
  };
  // Another writer changed the series since (or the mark names none): what stands is that writer's.
  if (!SW_MarkIsCurrent(runDirectory, mark)) {
    if (const AK_String failure = SW_RemoveWorkMark(runDirectory, file); !failure.IsEmpty()) return fail(failure);
    AK_MESSAGE(AK_String("INFO: ") + runDirectory + ": the mark of a deletion of time steps of an earlier series is " +
               "removed, no file touched");
    return SW_CutWork::Stale;
  }
  AK_MESSAGE(AK_String("INFO: ") + runDirectory +
             ": a deletion of time steps in it was cut short, its process is gone: the deletion was finished");
  DeleteAllBut(runDirectory, SW_ListTimeSteps(runDirectory, -1).names, mark.what);
  if (record)
    if (const AK_String failure = record(runDirectory, SW_TakerRecord::Kept, mark.what); !failure.IsEmpty())
      return fail(failure);
  // A writer like every other: whoever holds the series learns that time steps went. Changed after
  // the files went, so that a taker killed meanwhile leaves the mark of the series it stands for.
  AK_DirectoryLock locked(runDirectory);
  SW_SeriesHold series;
  series.Take(locked, runDirectory);
  if (const SW_SeriesHold::Gate gate = series.Pass(locked, runDirectory, SW_SeriesChange::Remove); !gate.passed)
    return fail(gate.failure.IsEmpty() ? AK_String("the series cannot be changed") : gate.failure);
  if (const AK_String failure = SW_RemoveWorkMark(runDirectory, file); !failure.IsEmpty()) return fail(failure);
  return SW_CutWork::Finished;
}

void SW_RemoveLaterTimeSteps(const char* runDirectory, double currentTime, double deltaT)
{
  if (!HasDirectory(runDirectory, "no later time steps removed")) return;
  std::vector<std::pair<double, AK_String>> later;
  AK_VisitDirectory(runDirectory, "TimeStep", [&](const char* file) {
    double time;
    if (!SW_TimeOfTimeStepName(NameOfFile(file), time)) time = -1;
    if (time > currentTime + 0.5 * deltaT) later.emplace_back(time, file);
  });
  // The latest first: a kill half-way leaves the series without a gap, up to a time step.
  std::sort(later.begin(), later.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
  for (const auto& [time, file] : later) {
    (void)AK_DeleteFile(AK_JoinPath(runDirectory, file));  // not looked at yet: a file that will not go stays
    AK_StopAtWindow("later time steps removing");
  }
  RemoveLeftoverTemporaries(runDirectory, false);
}
