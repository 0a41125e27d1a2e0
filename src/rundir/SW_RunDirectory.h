// The rules of a simulation's run directory, in one place.
//
// A run directory holds one simulation's series of time steps, the status and info files through
// which processes talk about its run, and the marks its writers leave. Several processes of the
// program may hold one project at once; these files are all they share.
//
// Who may write a series. A process writes, removes or records time steps only while it holds
// the series: no other process has changed it since this one last read its state from it or wrote
// it. Every writer passes one gate (SW_SeriesHold::Pass) under the directory's lock, which
// advances the series' stamp before the first file changes. Any process may start the series
// anew (a run from 0 s).
//
// A hold is the stamp as this process last saw it, and the identity of the directory (never its
// spelling). Once the stamp changed, the hold is gone for good, whatever the stamp comes back to;
// a directory that is moved (a simulation renamed) keeps its hold, under its new path.
//
// The run lock (".simulation_lock") lets one writer at a time change what a run writes, across
// processes, and says what it was taken for. A lock file never stands without its entry: it is
// written whole beside and put in place. Whoever takes over a lock whose process is gone ends
// just that, and records a run it ends itself (SW_RunLock):
// - a run (also a background start handed to its process, and every lock written before locks
//   said what they were for): the status becomes "finished", the info says "its run did not
//   finish, its process is gone", and the simulation records the run's newest time step;
// - a copy of time steps into the directory (a save from another project): the cut copy is
//   finished or dropped, see below;
// - any other writer (a rename, a deletion, a time step saved or deleted, a take-over by a load),
//   and a lock whose entry cannot be read: it changed nothing a run leaves behind, so the saved
//   simulation, its record, the status and the info stay as they were.
// A status of a run under way with no live lock was left by a run that is gone, whoever held the
// lock after it: that run is ended as above. A refused writer changes nothing: no directory, no
// file. A step that fails answers the failure, never success with a warning.
//
// Marks of cut work. A copy and a deletion of time steps mark the directory while they work
// (".simulation_copying", ".simulation_removing"), and the mark names the series as the work found
// it (see SW_WorkMarks_Internal.h). Whoever takes the run lock, over a writer that is gone or
// fresh (a taker killed before it made its own leaves none), finishes the work of a mark of the
// series as it stands, passing the gate like every other writer; a mark whose series another
// writer changed since goes without a file touched. A finishing that fails keeps its mark, and
// the next taker tries again.
// - A deletion records what stays in the saved simulation before its first file goes; a record or
//   a mark that cannot be written refuses it, and no file goes.
// - A copy stages the source's files beside the target's as "<name>.~staged". A mark that says
//   "staging" means nothing of the target has changed: the next taker drops the staged files. A
//   mark that names the saved simulation means every staged file is whole: the next taker
//   finishes the copy, so the target holds it whole, never a time step of its old run beside the
//   new values.
// What killed writers leave besides (temporaries, locks set aside) goes with one cleaner
// (AK_RemoveLeftovers) at a take-over and at a load, in one pass over the directory; it never
// takes a staged file for a temporary.
#pragma once

#include <functional>

#include "AK_Object.h"
#include "SW_RunLock.h"
#include "SW_RunSeries.h"

// What these rules need done by the simulation whose directory it is.
struct SW_RunDirectoryCalls {
  // A take-over ended a run in `directory` whose process is gone: the saved simulation there
  // names that run's newest time step.
  SW_RecordTakenOver recordTakenOver;
  // A move of the directory was done or refused: what the simulation holds follows the directory
  // to where it stands now.
  std::function<void()> followMove;
};

// A copy or a deletion of time steps in the run directory that a kill cut short is finished (a
// copy only staged is dropped) before anything of it is read: a taking of the run lock does that
// (SW_EndWhatIsGone).
void SW_FinishCutWorkBeforeReading(const char* runDirectory, const char* who, const SW_RecordTakenOver& recordTakenOver);

// What the simulation `who`, bound to its series `series`, holds before `directory` changes as a
// whole or is read (see AK_Object::HoldDirectory):
// - Read: a cut copy or deletion there finished first, then the directory's lock;
// - SaveInto another directory than its own: the target's run lock, for a copy (unless this
//   process holds it already, as a batch start does); a run there that is gone is ended first;
// - Remove: the run lock and the directory's lock;
// - Move: no run under way, then the directory's lock alone: the run lock is given up before the
//   move, so no lock moves with the directory or stays behind.
// False, with the error text, when another writer has it now.
bool SW_HoldRunDirectory(const char* directory, AK_DirectoryChange change, const char* who,
                         const SW_SeriesHold& series, const SW_RunDirectoryCalls& calls, AK_DirectoryHolds& holds);

// What the choice of the record a save writes (the time step the saved simulation names) reads
// of the simulation.
struct SW_RecordChoice {
  const char* who = "";
  AK_String held;           // the time step of the state held, "" for none
  bool ownState = true;     // the state held was computed under the values saved now
  bool copying = false;     // the directory is the source of a copy into another project
  // The values saved now are not those the directory's series was computed under.
  std::function<bool()> valuesDiffer;
  // The record the saved simulation in the directory has; false without one.
  std::function<bool(AK_String& record)> savedRecord;
  // The digest of the saved values a time step depends on.
  std::function<AK_String()> savedStateValues;
};
// The state held while the gate lets its record pass and its file is there; otherwise none while
// the values differ from those of the series (said in an INFO), or while no values are saved for
// a series this process does not hold; for the source of a copy whose
// run goes on in another process under the saved values, the newest time step; else the saved
// record while its file is there; else the newest.
AK_String SW_ChooseRecord(const char* directory, SW_SeriesHold& series, const SW_RecordChoice& choice);

// What a save of a simulation into another project's directory reads of the simulation.
struct SW_StateCopy {
  const char* who = "";
  // Takes over the values another process saved into the source since this one read them; true
  // when one that a time step depends on was taken.
  std::function<bool(const char* source)> takeValuesSaved;
  // The simulation was deleted meanwhile (by what a value taken over ran).
  std::function<bool()> gone;
  // The record the copy names (SW_ChooseRecord over the source).
  std::function<AK_String(const char* source, bool ownState)> chooseRecord;
  // Writes the saved simulation, naming `record`, to `path`; true when written.
  std::function<bool(const char* path, const AK_String& record)> writeSaved;
  // The saved simulation's file name in the target.
  AK_String savedFile;
  SW_RunDirectoryCalls calls;
};
// The save into `target` of the series `series` is bound to: one state of the source (its series,
// its saved values and its record), read under the locks of both directories and the target's run
// lock, put whole in place of the target's (see SW_SeriesCopy). `series` then holds the target's
// series when it held the source's throughout, else is bound to the target. False, with the error
// text, when nothing or not all of it was put in place.
bool SW_CopyStateInto(const char* target, SW_SeriesHold& series, const SW_StateCopy& copy);
