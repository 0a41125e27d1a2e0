// The time-step files of a simulation's project directory: listing, stepping, the time step
// nearest to a time, deletion, removal of later steps before a continued run, and the copy of
// the results into a new project directory.
//
// A simulation without a project directory has no time steps: nothing here ever lists, deletes
// or writes in the current directory or the root instead.
#pragma once

#include "AK_Basic.h"

#include <limits>
#include <vector>

// The time-step names (file names without directory and extension) in time order, and the
// position of the one of the current time (-1 when none). The order is that of the times the
// names hold, not of the names: from 1e7 s on a name is longer and sorts before the shorter
// ones. Names that hold no time come first, in byte order.
struct SW_TimeStepList {
  AK_Array<AK_String> names;
  int current = -1;
  // What a look at the directory takes from the listing (see SW_LookAtTimeSteps): the
  // directory, its version before its names were read, how many names hold no time, and the
  // inode number of each name's file.
  AK_String directory = {};
  AK_FileVersion directoryVersion = {};
  int untimed = 0;
  std::vector<uint64_t> inodes = {};
};

SW_TimeStepList SW_ListTimeSteps(const char* projectDir, double currentTime);

// The time-step files of a run directory as one process saw them at one moment: each with its
// time and the version of its file, so that a later look tells which files some process has
// written, or written again, since.
struct SW_TimeStepFiles {
  struct Entry {
    AK_String name;
    double time = 0;
    AK_FileVersion version;
  };
  AK_String directory;
  AK_FileVersion directoryVersion;  // the directory itself, before its names were read
  std::vector<Entry> entries;       // the files whose names hold a time, in time order

  // The file of the largest time; null when there is none.
  const Entry* Newest() const { return entries.empty() ? nullptr : &entries.back(); }
  // True when a file later than `after` and not later than `upTo` is here but not in `before`
  // as it was there: written since, or written again. A file removed since does not count.
  bool WrittenSince(const SW_TimeStepFiles& before, double after = -std::numeric_limits<double>::infinity(),
                    double upTo = std::numeric_limits<double>::infinity()) const;
  // True when a file not later than `upTo` was in `before` and is here no more.
  bool RemovedSince(const SW_TimeStepFiles& before, double upTo) const;
  // True when the file of the name is here.
  bool Holds(const char* name) const;
};

// The time-step files of a project directory now (none without a directory). Given an earlier
// look at the directory, its versions of the files are taken when neither the directory nor
// any name's file has changed since (every writer puts a new file in place under the name),
// so that a look after every step through the time steps asks the directory for its names
// alone; given also a listing the caller has just taken of the directory, not even that.
SW_TimeStepFiles SW_LookAtTimeSteps(const char* projectDir, const SW_TimeStepFiles* earlier = nullptr,
                                    const SW_TimeStepList* listed = nullptr);

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
// with all, also the temporaries of time-step files whose writer was killed. The caller loads
// the last one first.
void SW_DeleteTimeStepFiles(const char* projectDir, const SW_TimeStepList& list, bool all);
// Deletes the time-step files later than currentTime + deltaT / 2, and every temporary of a
// time-step file whose writer was killed.
void SW_RemoveLaterTimeSteps(const char* projectDir, double currentTime, double deltaT);
// Copies the time-step files of resultsDirectory (and, when there were any, its "start.log")
// into projectDir, marking the run there "finished"; the sum of the copies' results.
int SW_CopyTimeStepFiles(const char* resultsDirectory, const char* projectDir);

// The label of a simulation: the last part of its mesh's base mesh path and "_" (or
// "simulation" when that path holds no "/"), the identifier, "_" and the current time-step name.
AK_String SW_SimulationLabel(const char* baseMesh, const char* identifier, double currentTime);
