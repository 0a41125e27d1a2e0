// The time-step files of a simulation's project directory: listing, stepping, the time step
// nearest to a time, deletion, removal of later steps before a continued run, and the copy of
// the results into a new project directory.
//
// A simulation without a project directory has no time steps: nothing here ever lists, deletes
// or writes in the current directory or the root instead.
#pragma once

#include <functional>

#include "AK_Basic.h"
#include "SW_RunSeries.h"


// The time-step names (file names without directory and extension) in time order, and the
// position of the one of the current time (-1 when none). The order is that of the times the
// names hold, not of the names: from 1e7 s on a name is longer and sorts before the shorter
// ones. Names that hold no time come first, in byte order.
struct SW_TimeStepList {
  AK_Array<AK_String> names;
  int current = -1;
};

// With a `suffix`, the names of the files "<name>.TimeStep<suffix>" instead (a copy's staged
// time steps).
SW_TimeStepList SW_ListTimeSteps(const char* projectDir, double currentTime, const char* suffix = nullptr);

// The name of the time step of the largest time in the project directory, "" when there is
// none; its time in `time` when given. Reads the names alone, in one pass.
AK_String SW_NewestTimeStep(const char* projectDir, double* time = nullptr);

// Every name followed by "%AK_SEP%".
AK_String SW_TimeStepsListText(const SW_TimeStepList& list);
// "w" when a next (previous) time step can be loaded, else "r".
const char* SW_NextTimeStepVis(const SW_TimeStepList& list);
const char* SW_PrevTimeStepVis(const SW_TimeStepList& list);

enum class SW_TimeStepMove { Next, Prev, First, Last };
// The name to load for a move; false with the error text "accessing invalid time step" (next,
// previous) or "no time steps available" (first, last) when there is none.
bool SW_TimeStepToLoad(const SW_TimeStepList& list, SW_TimeStepMove move, AK_String& name);
// The index of the name whose time is nearest to `time` (the first of equally near ones), the
// current index when no name holds a time.
int SW_NearestTimeStep(const SW_TimeStepList& list, double time);

// Deletes the listed files, all or all but the last, each with the message "removing " + path;
// with all, also the temporaries of time-step files whose writer was killed. The results of the
// single deletions are not checked: a file that will not go stays.
void SW_DeleteTimeStepFiles(const char* projectDir, const SW_TimeStepList& list, bool all);

// A deletion of time steps and its record, one step under the run directory's lock: the gate of the
// series passes `series` (Remove; Anew for all of a series it does not hold), the deletion is marked
// (".simulation_deleting": the time step that stays, or none, and the series, see SW_WorkMark),
// `record` names what stays in the saved simulation ("" when written, else why not), and only then
// do the files go (SW_DeleteTimeStepFiles); the mark goes last. A deletion killed half-way is
// finished by whoever takes the run lock next (SW_FinishCutDeletion).
struct SW_TimeStepDeletion {
  bool done = false;            // the files went
  bool refusedByGate = false;   // the gate refused: `gate` says why
  SW_SeriesHold::Gate gate;
  AK_String failure;            // not done: why no file went; done: the mark that stayed
};
SW_TimeStepDeletion SW_DeleteTimeSteps(const char* runDirectory, const SW_TimeStepList& list, bool all,
                                       SW_SeriesHold& series, const std::function<AK_String(const AK_String& kept)>& record);
// Under the run directory's lock, with its run lock taken: finishes a deletion of time steps that
// was cut short, while the series stands as its mark saw it, and says so; a mark of a series that
// changed since only goes.
SW_CutWork SW_FinishCutDeletion(const char* projectDir);
// A deletion's mark stands in the run directory.
bool SW_DeletionIsMarked(const char* projectDir);
// Deletes the time-step files later than currentTime + deltaT / 2, and every temporary of a
// time-step file whose writer was killed.
void SW_RemoveLaterTimeSteps(const char* projectDir, double currentTime, double deltaT);
// Makes the time-step files of projectDir those of resultsDirectory (none for ""): the others
// removed, each with the message "removing " + path, and what killed writers left, then the
// copies made (with the run's "start.log" when there were any, and the run there marked
// "finished"). The sum of the copies' results. The caller holds the run lock and the lock of
// projectDir.
int SW_ReplaceTimeStepFiles(const char* resultsDirectory, const char* projectDir);

// The label of a simulation: the last part of its mesh's base mesh path and "_" (or
// "simulation" when that path holds no "/"), the identifier, "_" and the current time-step name.
AK_String SW_SimulationLabel(const char* baseMesh, const char* identifier, double currentTime);
