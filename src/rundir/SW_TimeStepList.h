// The time-step files of a simulation's run directory: listing, stepping, the time step
// nearest to a time, deletion, and removal of later steps before a continued run.
//
// A simulation without a run directory has no time steps: nothing here ever lists, deletes
// or writes in the current directory or the root instead.
#pragma once

#include <functional>

#include "AK_Basic.h"
#include "AK_SmallFile.h"
#include "SW_RunSeries.h"


// The time-step names (file names without directory and extension) in time order, and the
// position of the one of the current time (-1 when none). The order is that of the times the
// names hold, not of the names: from 1e7 s on a name is longer and sorts before the shorter
// ones. Names that hold no time come first, in byte order.
struct SW_TimeStepList {
  AK_Array<AK_String> names;
  int current = -1;
  // A next (previous) time step can be loaded: one follows (precedes) the current one, or, with
  // none current, the list has any.
  bool HasNext() const { return current >= -1 && current < names.Count() - 1; }
  bool HasPrevious() const { return current >= 1; }
};

// With a `suffix`, the names of the files "<name>.TimeStep<suffix>" instead (a copy's staged
// time steps).
// A run directory that is not there has no time steps; one that cannot be listed lists nothing,
// with "cannot read <directory>: <the system's reason>" in `failure` when given.
SW_TimeStepList SW_ListTimeSteps(const char* runDirectory, double currentTime, const char* suffix = nullptr,
                                 AK_String* failure = nullptr);

// The name of the time step of the largest time in the run directory, "" when there is
// none; its time in `time` when given. Reads the names alone, in one pass.
// A run directory that stands but cannot be listed answers "" too, with "cannot read <directory>:
// <the system's reason>" in `failure` when given: no caller may take it for one without time steps.
AK_String SW_NewestTimeStep(const char* runDirectory, double* time = nullptr, AK_String* failure = nullptr);
// The same as one read: found ("" for none), or the run directory cannot be listed.
AK_Read<AK_String> SW_ReadNewestTimeStep(const char* runDirectory, double* time = nullptr);

// Every name followed by "%AK_SEP%".
AK_String SW_TimeStepsListText(const SW_TimeStepList& list);
enum class SW_TimeStepMove { Next, Prev, First, Last };
// The name to load for a move; false with the error text "accessing invalid time step" (next,
// previous) or "no time steps available" (first, last) when there is none.
bool SW_TimeStepToLoad(const SW_TimeStepList& list, SW_TimeStepMove move, AK_String& name);
// The index of the name whose time is nearest to `time` (the first of equally near ones), the
// current index when no name holds a time.
int SW_NearestTimeStep(const SW_TimeStepList& list, double time);

// A deletion of time steps and its record, one step under the run directory's lock: the gate of the
// series passes `series` (Remove; Anew for all of a series it does not hold), the deletion is marked
// (".simulation_removing": the time step that stays, or none, and the series, see SW_WorkMark),
// `record` names what stays in the saved simulation ("" when written, else why not), and only then
// do the files go; the mark goes last. A deletion killed half-way is
// finished by whoever takes the run lock next (SW_FinishCutDeletion).
// Every file is tried, each with its message "removing " + path; one that will not go keeps the
// mark, so that the next taker of the run lock removes the rest, and answers what stayed. With a
// list that is empty, or no run directory, nothing is marked: only what killed writers left goes.
struct SW_TimeStepDeletion {
  bool done = false;            // every file went
  bool refusedByGate = false;   // the gate refused: `gate` says why
  bool started = false;         // files were deleted: not done, some may have gone
  SW_SeriesHold::Gate gate;
  AK_String failure;            // not done: why no file went, or (started) what stayed and why; done:
                                // the mark that stayed
};
[[nodiscard]] SW_TimeStepDeletion SW_DeleteTimeSteps(const char* runDirectory, const SW_TimeStepList& list, bool all,
                                                     SW_SeriesHold& series,
                                                     const std::function<AK_String(const AK_String& kept)>& record);
// Deletes the time-step files later than currentTime + deltaT / 2, the latest first, and every
// temporary of a time-step file whose writer was killed. "" when every one went; else it stops at
// the first that will not go (the series stays without a gap) and answers what stayed and why
// ("the later time steps <first> to <name> stay: cannot remove <path>: <reason>").
// A run marks the removal first (SW_MarkLaterRemoval) and gives the mark up after it.
[[nodiscard]] AK_String SW_RemoveLaterTimeSteps(const char* runDirectory, double currentTime, double deltaT);
// The removal of the time steps later than currentTime + deltaT / 2 by a run that goes on from
// the state of currentTime, marked before its first file goes (".simulation_removing_later": that
// time and the series, see SW_WorkMark), under the run directory's lock once the run passed the
// gate: a kill then leaves a removal that whoever takes the run lock next finishes
// (SW_FinishCutLaterRemoval), so that the series ends at the state the run went on from. Nothing is
// marked while no later time step stands. "" when marked (or nothing to mark), else why not: the
// directory cannot be read or the mark cannot be written; no file went.
[[nodiscard]] AK_String SW_MarkLaterRemoval(const char* runDirectory, double currentTime, double deltaT);
// The removal is done: its mark goes. "" when it went, else why not; the mark then stays for the
// next taker of the run lock, who finds nothing left to remove, and the run is refused.
[[nodiscard]] AK_String SW_EndLaterRemoval(const char* runDirectory);
// The run is refused: the mark of its removal goes (under the run directory's lock, the caller's).
// A mark that will not go is made stale: the gate is passed again for `series`, so that a taker
// removes it with no file touched. "" when it went or is stale, else why it stays current: the next
// taker of the run lock then finishes the removal.
[[nodiscard]] AK_String SW_DropLaterRemoval(const char* runDirectory, const AK_DirectoryLock& locked,
                                              SW_SeriesHold& series);
// The time step of that name is one SW_RemoveLaterTimeSteps removes.
bool SW_IsLaterTimeStep(const char* name, double currentTime, double deltaT);
