// Listing, stepping through, deleting and copying time-step files.
#include "SW_TimeStepList.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

#include "AK_FrameworkState.h"
#include "AK_NumberText.h"
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
// The mark of a run's removal of the time steps later than the state it goes on from: a name of
// its own, so that no reader of a deletion's mark takes its time for the one time step that stays.
constexpr const char* kLaterRemovalMark = ".simulation_removing_later";
constexpr const char* kLaterThan = "later than ";

// What stayed of a removal: the names of the files that would not go, with the reason of the first;
// "" when every one went.
struct Stayed {
  AK_Array<AK_String> names;
  AK_String reason;
  void Add(const AK_String& name, const AK_String& path)
  {
    if (names.Count() == 0) reason = "cannot remove " + path + ": " + std::strerror(errno);
    names.Append(name);
  }
  AK_String Failure() const
  {
    if (names.Count() == 0) return "";
    AK_String listed;
    for (const AK_String& name : names) listed += (listed.IsEmpty() ? "" : ", ") + name;
    return AK_String(names.Count() == 1 ? "the time step " : "the time steps ") + listed +
           (names.Count() == 1 ? " stays: " : " stay: ") + reason;
  }
};

// A file that would not go and still stands; one gone meanwhile went.
// errno keeps the reason of the deletion.
bool Removed(const AK_String& path)
{
  if (AK_DeleteFile(path) == 0) return true;
  const int error = errno;
  const bool gone = AK_LookAtPath(path) == AK_PathLook::Missing;
  errno = error;
  return gone;
}

// Deletes the listed files but `kept` ("" for none). Every file is tried, each with its message;
// "" when all went, else what stayed and why.
AK_String DeleteAllBut(const char* runDirectory, const AK_Array<AK_String>& names, const AK_String& kept)
{
  Stayed stayed;
  for (const AK_String& name : names) {
    if (name == kept) continue;
    AK_String path = SW_TimeStepPath(runDirectory, name);
    AK_MESSAGE(AK_String("removing ") + path);
    if (!Removed(path)) stayed.Add(name, path);
    AK_StopAtWindow("time steps deleting");
  }
  if (kept.IsEmpty()) RemoveLeftoverTemporaries(runDirectory, true);
  return stayed.Failure();
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
std::vector<TimedName> NamesInTimeOrder(const char* runDirectory, const char* suffix, AK_String* failure)
{
  std::vector<TimedName> names;
  if (!runDirectory || !*runDirectory) return names;
  const bool suffixed = suffix && *suffix;
  const AK_Read<AK_Array<AK_String>> listing = AK_ReadDirectory(runDirectory, suffixed ? "" : "TimeStep");
  if (listing.IsUnreadable() && failure) *failure = AK_CannotRead(listing);
  if (!listing.Value()) return names;
  const AK_Array<AK_String>& files = *listing.Value();
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

SW_TimeStepList SW_ListTimeSteps(const char* runDirectory, double currentTime, const char* suffix, AK_String* failure)
{
  SW_TimeStepList list;
  AK_String current = SW_TimeStepName(currentTime);
  std::vector<TimedName> names = NamesInTimeOrder(runDirectory, suffix, failure);
  list.names.Reserve(int32_t(names.size()));
  for (TimedName& entry : names) {
    if (entry.name == current) list.current = list.names.Count();
    list.names.Append(std::move(entry.name));
  }
  return list;
}

AK_Read<AK_String> SW_ReadNewestTimeStep(const char* runDirectory, double* time)
{
  if (time) *time = 0;
  if (!runDirectory || !*runDirectory) return AK_Read<AK_String>::Found(AK_String());
  constexpr size_t kExtension = sizeof ".TimeStep" - 1;
  struct Newest {
    std::string file;  // "" for none yet
    double time = 0;
    std::string name;  // one buffer for every name of a long series
  };
  // One pass over the names, none kept: a series may hold many thousands.
  const AK_Read<Newest> newest =
      AK_ReadDirectoryInto(runDirectory, "TimeStep", Newest{}, [](Newest& newest, const char* file) {
        newest.name.assign(file, std::strlen(file) - kExtension);
        double t;
        // Of two files of one time the first in byte order, whatever order the directory gives.
        if (SW_TimeOfTimeStepName(newest.name.c_str(), t) &&
            (newest.file.empty() || t > newest.time || (t == newest.time && newest.file.compare(file) > 0))) {
          newest.file = file;
          newest.time = t;
        }
      });
  if (newest.Value() && time) *time = newest.Value()->time;
  return newest.Then([](const Newest& found) {
    return found.file.empty() ? AK_String() : AK_String(found.file.c_str(), found.file.c_str() + found.file.size() - kExtension);
  });
}

AK_String SW_NewestTimeStep(const char* runDirectory, double* time, AK_String* failure)
{
  const AK_Read<AK_String> newest = SW_ReadNewestTimeStep(runDirectory, time);
  if (newest.IsUnreadable() && failure) *failure = AK_CannotRead(newest);
  return newest.Value() ? *newest.Value() : AK_String();
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

AK_String SW_DeleteTimeStepFiles(const char* runDirectory, const SW_TimeStepList& list, bool all)
{
  // An empty list deletes nothing but what killed writers left.
  if (list.names.Count() == 0) {
    if (all && runDirectory && *runDirectory) RemoveLeftoverTemporaries(runDirectory, true);
    return "";
  }
  if (!HasDirectory(runDirectory, "no time steps deleted")) return "";
  return DeleteAllBut(runDirectory, list.names, all ? AK_String() : list.names[list.names.Count() - 1]);
}

SW_TimeStepDeletion SW_DeleteTimeSteps(const char* runDirectory, const SW_TimeStepList& list, bool all,
                                       SW_SeriesHold& series, const std::function<AK_String(const AK_String&)>& record)
{
  SW_TimeStepDeletion outcome;
  // Nothing listed (or no directory to list): only what killed writers left goes, no time step.
  if (list.names.Count() == 0 || !runDirectory || !*runDirectory) {
    outcome.failure = SW_DeleteTimeStepFiles(runDirectory, list, all);
    outcome.done = true;
    return outcome;
  }
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
    // One that stays current even so is finished by the next taker: said in the refusal.
    if (const AK_String stays = SW_RemoveWorkMark(runDirectory, kDeletionMark); !stays.IsEmpty())
      if (!series.Pass(locked, runDirectory, SW_SeriesChange::Remove).passed)
        outcome.failure += "; " + stays + ", and the next process that takes the run lock finishes the deletion";
    return outcome;
  }
  outcome.started = true;
  // A file that stays keeps the mark: the next taker of the run lock removes the rest.
  if (outcome.failure = SW_DeleteTimeStepFiles(runDirectory, list, all); !outcome.failure.IsEmpty()) {
    outcome.failure += "; the deletion stays marked, and the next process that takes the run lock removes the rest";
    return outcome;
  }
  outcome.done = true;
  if (const AK_String failure = SW_RemoveWorkMark(runDirectory, kDeletionMark); !failure.IsEmpty())
    outcome.failure = "the time steps were deleted, but " + failure;
  return outcome;
}

bool SW_DeletionIsMarked(const char* runDirectory)
{
  return runDirectory && *runDirectory &&
         SW_WorkIsMarked(runDirectory, {kDeletionMark, kDeletionMarkNamingNoSeries, kLaterRemovalMark});
}

namespace {

// Cut work (`work` says which) that cannot be finished: it stays marked for the next taker.
SW_CutWork CannotFinish(const char* runDirectory, const char* work, const AK_String& failure, AK_String* failed)
{
  const AK_String why = AK_String(runDirectory) + ": " + work + " was cut short and cannot be finished: " + failure +
                        "; it stays marked, and the next process that takes its run lock tries again";
  AK_MESSAGE("WARNING: " + why);
  if (failed) *failed = why;
  return SW_CutWork::Failed;
}

// The mark `file` of cut work (`work`) over a series another writer changed since: it goes, and no
// file with it; `fail` answers a mark that will not go.
template <typename Fail>
SW_CutWork DropStaleMark(const char* runDirectory, const char* file, const char* work, const Fail& fail)
{
  if (const AK_String failure = SW_RemoveWorkMark(runDirectory, file); !failure.IsEmpty()) return fail(failure);
  AK_MESSAGE(AK_String("INFO: ") + runDirectory + ": the mark of " + work + " of an earlier series is removed, " +
             "no file touched");
  return SW_CutWork::Stale;
}

// The end of cut work finished: a writer like every other, it changes the series, so that whoever
// holds it learns that time steps went, and then the mark `file` goes. Changed after the files
// went, so that a taker killed meanwhile leaves the mark of the series it stands for. "" when done.
AK_String ChangeSeriesAndUnmark(const char* runDirectory, const char* file)
{
  AK_DirectoryLock locked(runDirectory);
  SW_SeriesHold series;
  (void)series.Take(locked, runDirectory);  // a series not taken fails the gate below, which says why
  if (const SW_SeriesHold::Gate gate = series.Pass(locked, runDirectory, SW_SeriesChange::Remove); !gate.passed)
    return gate.failure.IsEmpty() ? AK_String("the series cannot be changed") : gate.failure;
  return SW_RemoveWorkMark(runDirectory, file);
}

}  // namespace

SW_CutWork SW_FinishCutDeletion(const char* runDirectory, const SW_RecordTakenOver& record, AK_String* failed)
{
  const char* file = nullptr;
  const AK_Read<SW_WorkMark> read = SW_ReadFirstWorkMark(runDirectory, {kDeletionMark, kDeletionMarkNamingNoSeries}, file);
  if (read.IsMissing()) return SW_CutWork::None;
  const auto fail = [&](const AK_String& failure) {
    return CannotFinish(runDirectory, "a deletion of time steps in it", failure, failed);
  };
  if (!read.Value()) return fail(AK_CannotRead(read));
  const SW_WorkMark& mark = *read.Value();
  // Another writer changed the series since (or the mark names none): what stands is that writer's.
  if (!SW_MarkIsCurrent(runDirectory, mark)) return DropStaleMark(runDirectory, file, "a deletion of time steps", fail);
  AK_String unlisted;
  const SW_TimeStepList steps = SW_ListTimeSteps(runDirectory, -1, nullptr, &unlisted);
  if (!unlisted.IsEmpty()) return fail(unlisted);
  if (const AK_String stayed = DeleteAllBut(runDirectory, steps.names, mark.what); !stayed.IsEmpty()) return fail(stayed);
  if (record)
    if (const AK_String failure = record(runDirectory, SW_TakerRecord::Kept, mark.what); !failure.IsEmpty())
      return fail(failure);
  if (const AK_String failure = ChangeSeriesAndUnmark(runDirectory, file); !failure.IsEmpty()) return fail(failure);
  AK_MESSAGE(AK_String("INFO: ") + runDirectory +
             ": a deletion of time steps in it was cut short, its process is gone: the deletion was finished");
  return SW_CutWork::Finished;
}

namespace {

// What a run from `currentTime` replaces: the outputs after its own first one.
double LaterThan(double currentTime, double deltaT) { return currentTime + 0.5 * deltaT; }
bool IsLater(double time, double currentTime, double deltaT) { return time > LaterThan(currentTime, deltaT); }

// The time-step files of the directory later than `after`, the latest first; "" when listed, else
// why not: the directory cannot be read, or a file of it cannot be looked at (one that may be a
// later time step is never passed over). Only files: a directory of such a name holds no time step
// of any run, and stays in the way of the run's own write, which answers that.
AK_String LaterFiles(const char* runDirectory, double after, std::vector<std::pair<double, AK_String>>& later)
{
  AK_String unseen;
  const bool listed = AK_VisitDirectory(runDirectory, "TimeStep", [&](const char* file) {
    double time;
    if (!SW_TimeOfTimeStepName(NameOfFile(file), time) || !(time > after) || !unseen.IsEmpty()) return;
    const AK_String path = AK_JoinPath(runDirectory, file);
    switch (AK_LookAtKind(path, &unseen)) {
      case AK_PathKind::RegularFile: later.emplace_back(time, file); break;
      case AK_PathKind::Failed:
      case AK_PathKind::Missing:
      case AK_PathKind::Directory:
      case AK_PathKind::Other: break;
    }
  });
  if (!listed) return "cannot read " + AK_String(runDirectory) + ": " + std::strerror(errno);
  if (!unseen.IsEmpty()) return "cannot look at " + unseen;
  std::sort(later.begin(), later.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
  return "";
}

// Removes the time steps later than `after`, the latest first, up to the first that will not go:
// what stays is the series without a gap, up to a time step, after a kill and after a failure
// alike. "" when every one went, else what stayed and why.
AK_String RemoveLater(const char* runDirectory, double after)
{
  std::vector<std::pair<double, AK_String>> later;
  if (const AK_String unlisted = LaterFiles(runDirectory, after, later); !unlisted.IsEmpty()) return unlisted;
  for (const auto& [time, file] : later) {
    const AK_String path = AK_JoinPath(runDirectory, file);
    if (!Removed(path)) {
      const AK_String reason = "cannot remove " + path + ": " + std::strerror(errno);
      const AK_String first = NameOfFile(later.back().second);
      return (first == NameOfFile(file) ? "the later time step " + first + " stays: "
                                        : "the later time steps " + first + " to " + NameOfFile(file) + " stay: ") +
             reason;
    }
    AK_StopAtWindow("later time steps removing");
  }
  RemoveLeftoverTemporaries(runDirectory, false);
  return "";
}

}  // namespace

bool SW_IsLaterTimeStep(const char* name, double currentTime, double deltaT)
{
  double time;
  return SW_TimeOfTimeStepName(name, time) && IsLater(time, currentTime, deltaT);
}

AK_String SW_RemoveLaterTimeSteps(const char* runDirectory, double currentTime, double deltaT)
{
  if (!HasDirectory(runDirectory, "no later time steps removed")) return "";
  return RemoveLater(runDirectory, LaterThan(currentTime, deltaT));
}

AK_String SW_MarkLaterRemoval(const char* runDirectory, double currentTime, double deltaT)
{
  if (!runDirectory || !*runDirectory) return "";
  std::vector<std::pair<double, AK_String>> later;
  if (const AK_String unlisted = LaterFiles(runDirectory, LaterThan(currentTime, deltaT), later); !unlisted.IsEmpty())
    return unlisted;
  if (later.empty()) return "";
  // Written so that it reads back as the very number compared: the finisher removes just these.
  return SW_WriteWorkMark(runDirectory, kLaterRemovalMark,
                          AK_String(kLaterThan) + AK_String::Format("%.17g", LaterThan(currentTime, deltaT)));
}

AK_String SW_EndLaterRemoval(const char* runDirectory)
{
  if (!runDirectory || !*runDirectory || !SW_WorkIsMarked(runDirectory, {kLaterRemovalMark})) return "";
  return SW_RemoveWorkMark(runDirectory, kLaterRemovalMark);
}

AK_String SW_DropLaterRemoval(const char* runDirectory, const AK_DirectoryLock& locked, SW_SeriesHold& series)
{
  if (!runDirectory || !*runDirectory || !SW_WorkIsMarked(runDirectory, {kLaterRemovalMark})) return "";
  const AK_String stays = SW_RemoveWorkMark(runDirectory, kLaterRemovalMark);
  if (stays.IsEmpty() || series.Pass(locked, runDirectory, SW_SeriesChange::Remove).passed) return "";
  return stays + ", and the next process that takes the run lock removes the later time steps";
}

SW_CutWork SW_FinishCutLaterRemoval(const char* runDirectory, const SW_RecordTakenOver& record, AK_String* failed)
{
  const AK_Read<SW_WorkMark> read = SW_ReadWorkMark(runDirectory, kLaterRemovalMark);
  if (read.IsMissing()) return SW_CutWork::None;
  const auto fail = [&](const AK_String& failure) {
    return CannotFinish(runDirectory, "a removal of its later time steps", failure, failed);
  };
  if (!read.Value()) return fail(AK_CannotRead(read));
  const SW_WorkMark& mark = *read.Value();
  // Another writer changed the series since: what stands is that writer's.
  if (!SW_MarkIsCurrent(runDirectory, mark))
    return DropStaleMark(runDirectory, kLaterRemovalMark, "a removal of later time steps", fail);
  double after = 0;
  const size_t prefix = std::strlen(kLaterThan);
  if (std::strncmp(mark.what, kLaterThan, prefix) != 0 || !AK_ParseDouble(mark.what.c_str() + prefix, after))
    return fail("its mark " + AK_JoinPath(runDirectory, kLaterRemovalMark) + " says \"" + mark.what +
                "\", which names no time");
  if (const AK_String stayed = RemoveLater(runDirectory, after); !stayed.IsEmpty()) return fail(stayed);
  // The run recorded none of them before the first went, but a kill may have come first.
  if (record)
    if (const AK_String failure = record(runDirectory, SW_TakerRecord::NoneIfFileGone, ""); !failure.IsEmpty())
      return fail(failure);
  if (const AK_String failure = ChangeSeriesAndUnmark(runDirectory, kLaterRemovalMark); !failure.IsEmpty())
    return fail(failure);
  AK_MESSAGE(AK_String("INFO: ") + runDirectory +
             ": a removal of its later time steps was cut short: the removal was finished");
  return SW_CutWork::Finished;
}
