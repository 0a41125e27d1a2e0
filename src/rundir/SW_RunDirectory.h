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
// The run lock (".simulation_lock", SW_RunLock) lets one writer at a time change what a run
// writes, across processes: a run holds it from its start (or from before a background start
// starts its process, which then takes it over) to its end, however it ends; every other writer
// for as long as it writes: a save into the directory from another project (a copy), a time step
// saved, time steps deleted, the directory renamed or deleted, a load or a save that ends what a
// writer that is gone left. The lock says what it was taken for, and a refusal names that: "a run
// of this simulation is going on in process N", "a copy into this simulation's run directory is
// going on in process N", "a deletion of this simulation's time steps is going on ...", "a time
// step of this simulation is being saved ...", "a rename (a deletion) of this simulation's run
// directory is going on ...", "a take-over of what a process that is gone left in this
// simulation's run directory is going on ...". A lock file never stands without its entry: it is
// written whole beside and put in place. Whoever takes over a lock whose process is gone ends just
// that, and records a run it ends itself:
// - a run (also a background start handed to its process, and every lock written before locks
//   said what they were for, or by a later build with a word this one does not know): the info
//   says "its run did not finish, its process is gone" with the run's last line, the simulation
//   records the run's newest time step (only while the run's values, ".simulation_values", are
//   those saved: a start killed before its run passed the gate left "-" and no time step of its
//   own, so the record and the state a load holds stay), and the status becomes "finished" when
//   the taker gives the lock up (or its own run writes its status): a taker killed before it
//   recorded leaves the run to end to the next;
// - a copy of time steps into the directory (a save from another project): the cut copy is
//   finished or dropped, see below;
// - any other writer, and a lock whose entry cannot be read: it changed nothing a run leaves
//   behind, so the saved simulation, its record, the status and the info stay as they were.
// A status of a run under way with no live lock was left by a run that is gone, whoever held the
// lock after it: that run is ended as above. A refused writer changes nothing: no directory, no
// file. A taker that cannot end what the holder left (marked work that cannot be finished, a lock
// that cannot say what it is taken for) refuses its command with the reason and gives the lock up
// again, for the next taker to try.
//
// Every step that changes the disk answers its outcome, and a step that fails fails the command:
// never success with a warning. One exception: a simulation deleted from its project
// (DeleteComponent, then SaveProject) has its run directory set aside first; one that cannot be
// removed then stays aside with a WARNING, and the save answers success, since the deletion is
// whole (nothing reads the directory set aside), and the next load removes it. A lock that cannot
// be removed fails the command that held it, and stands under this process until it ends; the
// next taker then takes it over.
//
// Marks of cut work. A copy, a deletion of time steps and a run's removal of the time steps later
// than the state it goes on from mark the directory while they work (".simulation_copying",
// ".simulation_removing", ".simulation_removing_later"), and the mark names the series as the work found
// it (see SW_WorkMarks_Internal.h). Whoever takes the run lock, over a writer that is gone or
// fresh (a taker killed before it made its own leaves none), finishes the work of a mark of the
// series as it stands, passing the gate like every other writer; a mark whose series another
// writer changed since goes without a file touched. A finishing that fails keeps its mark, and
// the next taker tries again.
// - A deletion records what stays in the saved simulation before its first file goes; a record or
//   a mark that cannot be written refuses it, and no file goes. Every file is then tried; one
//   that stays keeps the mark, and the deletion answers what stayed.
// - A run marks its removal of the later time steps once it passed the gate, before its first
//   file goes (a mark that cannot be written refuses it); the next taker removes the rest, so that
//   the series ends at the state the run went on from, and the saved simulation names none of them.
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
// (SW_EndWhatIsGone). "" when nothing is left cut short; else why not (nothing of it may be read
// then): the work cannot be finished, the run lock cannot be taken or removed again, or a live
// process holds the lock while the work still stands.
[[nodiscard]] AK_String SW_FinishCutWorkBeforeReading(const char* runDirectory, const char* who,
                                                      const SW_RecordTakenOver& recordTakenOver);

// What the simulation `who`, bound to its series `series`, holds before `directory` changes as a
// whole or is read (see AK_Object::HoldDirectory):
// - Read: a cut copy or deletion there finished first (refused when it cannot be), then the
//   directory's lock;
// - SaveInto another directory than its own: the target's run lock, for a copy (unless this
//   process holds it already, as a batch start does); a run there that is gone is ended first;
// - Remove: the run lock and the directory's lock;
// - Move: no run under way, then the directory's lock alone: the run lock is given up before the
//   move, so no lock moves with the directory or stays behind (refused when it cannot be).
// False, with the error text, when another writer has it now, or what it leaves cannot be ended.
[[nodiscard]] bool SW_HoldRunDirectory(const char* directory, AK_DirectoryChange change, const char* who,
                         const SW_SeriesHold& series, const SW_RunDirectoryCalls& calls, AK_DirectoryHolds& holds);

// What the choice of the record a save writes (the time step the saved simulation names) reads
// of the simulation.
struct SW_RecordChoice {
  const char* who = "";
  AK_String held;           // the time step of the state held, "" for none
  bool ownState = true;     // the state held was computed under the values saved now
  bool copying = false;     // the directory is the source of a copy into another project
  // The values saved now are not those the directory's series was computed under (missing
  // without a saved simulation).
  std::function<AK_Read<bool>()> valuesDiffer;
  // The record the saved simulation in the directory has.
  std::function<AK_Read<AK_String>()> savedRecord;
  // The digest of the saved values a time step depends on.
  std::function<AK_Read<AK_String>()> savedStateValues;
};
// The state held while the gate lets its record pass and its file is there; otherwise none while
// the values differ from those of the series (said in an INFO), or while no values are saved for
// a series this process does not hold; for the source of a copy whose
// run goes on in another process under the saved values, the newest time step; else the saved
// record while its file is there; else the newest. What of this cannot be read (the saved
// simulation, the lock, the values of the run, the listing) answers "cannot read <path>: <reason>":
// the save that asked writes nothing.
[[nodiscard]] AK_Read<AK_String> SW_ChooseRecord(const char* directory, SW_SeriesHold& series, const SW_RecordChoice& choice);

// What a save of a simulation into another project's directory reads of the simulation.
struct SW_StateCopy {
  const char* who = "";
  // Takes over the values another process saved into the source since this one read them; true
  // when one that a time step depends on was taken.
  std::function<bool(const char* source)> takeValuesSaved;
  // The simulation was deleted meanwhile (by what a value taken over ran).
  std::function<bool()> gone;
  // The record the copy names (SW_ChooseRecord over the source).
  std::function<AK_Read<AK_String>(const char* source, bool ownState)> chooseRecord;
  // Writes the saved simulation, naming `record`, to `path`; true when written.
  std::function<bool(const char* path, const AK_String& record)> writeSaved;
  // The saved simulation's file name in the target.
  AK_String savedFile;
  SW_RunDirectoryCalls calls;
};
// The save into `target` of the series `series` is bound to: one state of the source (its series,
// its saved values and its record), read under the locks of both directories and the target's run
// lock, put whole in place of the target's (see SW_SeriesCopy). A copy or a deletion cut short in
// the source is finished first, under the source's run lock; one that cannot be is refused, and
// nothing is put in place. `series` then holds the target's series when it held the source's
// throughout, else is bound to the target. False, with the error text, when nothing or not all of
// it was put in place.
[[nodiscard]] bool SW_CopyStateInto(const char* target, SW_SeriesHold& series, const SW_StateCopy& copy);
