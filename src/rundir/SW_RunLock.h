// The run lock of a simulation's run directory (".simulation_lock"), beside its status file: one
// writer of the directory at a time, across processes, and what a taker does with what a writer
// whose process is gone left there.
#pragma once

#include <functional>

#include "AK_Basic.h"
#include "SW_TakerRecord.h"

// The run lock beside the status file: one writer of a simulation's run directory at a time,
// across processes. It is taken when a run starts (or before a background start starts its
// process, which then takes it over) and released when the run ends, however it ends; and,
// for as long as they write, by the other writers of the directory: a save into it from
// another project, and the commands that change files a run also writes (a time step saved
// or deleted, the directory renamed or deleted). The lock says what it was taken for, and a
// lock whose process is gone is taken over with a warning and ends just that:
// - a run (also a lock that says nothing, as every lock did before purposes were kept): the
//   info says "its run did not finish, its process is gone" with the run's last line, the
//   caller records the run's newest time step (EndedRun()), and the status becomes "finished"
//   (one that is not "finished" already) when the taker gives the lock up, or when its own run
//   writes its status: a taker killed before it recorded leaves the run to end to the next;
// - a copy of time steps into the directory: the copy is finished or dropped (SW_FinishCutCopy);
// - anything else changed nothing a run leaves behind: the saved simulation, its record, the
//   status and the info stay as they were; a deletion of time steps cut short is finished
//   (SW_FinishCutDeletion).
// A status that says "running" or "started" while no live process holds the lock was left by
// a run that is gone, whatever the lock says: that run is ended as above. The temporaries that
// killed writers left in the run directory are removed. Without a run directory there is
// no lock: such a run writes no time steps, only the status and info files of the current
// directory, where the last writer wins as it does between any two processes.
enum class SW_LockPurpose {
  Run,    // a run, or the start of one in another process
  Copy,   // a copy of time steps into the directory (a save into another project)
  Other,  // a writer that changes nothing a run leaves behind
};
// What a take-over of a lock whose process is gone ended.
enum class SW_TakeOver {
  None,          // nobody's lock was taken over
  NothingToEnd,  // a holder that was no run, or a run that had ended
  RunEnded,      // a run that did not end: its status and info now say it ended
  CopyFinished,  // a copy that was cut short (see SW_FinishCutCopy)
};

class SW_RunLock {
public:
  // Takes the lock of the run directory; when a live process holds it (or it cannot be
  // made), Held() is false and the error text says so: `who` + ": " + `refused` + ", a run of
  // this simulation is going on in process N" (or "... in this process"). Only a run makes a
  // run directory that does not stand (a simulation saved before it had one); when its
  // command is refused and leaves the directory empty, the release removes it again.
  // A run that the take-over ended is recorded through `recordTakenOver` before the lock is held
  // (a record that fails leaves the run to end to the next taker); a copy or a deletion marked for
  // the series as it stands is finished, whether the lock was taken over or taken fresh (a taker
  // killed before it made its own left none).
  SW_RunLock(const char* runDirectory, const char* who, SW_LockPurpose purpose, const char* refused,
             const SW_RecordTakenOver& recordTakenOver);
  ~SW_RunLock();
  SW_RunLock(const SW_RunLock&) = delete;
  SW_RunLock& operator=(const SW_RunLock&) = delete;

  bool Held() const { return _held; }
  // The live process whose lock refused this one; 0 when none did (held, or not taken for
  // another reason).
  int RefusedBy() const { return _refusedBy; }
  // What the take-over ended.
  SW_TakeOver TakeOver() const { return _takeOver; }
  // The run directory did not stand: this lock made it.
  bool MadeDirectory() const { return !_madeDirectory.IsEmpty(); }
  // Gives the lock to the process `pid` of a background start; it stays with that process
  // once Keep() says the start succeeded, and is removed otherwise (also when it was never
  // handed over).
  void HandOver(int pid);
  void Keep();
  // Gives the lock up now, under the lock of the run directory the caller holds: a writer that
  // moves the directory leaves no lock in it, and nobody takes one before the move is done.
  void Release();

private:
  // The status "finished" of a run this take-over ended, once the caller recorded it.
  void FinishEndedRun();

  AK_String _directory;
  AK_String _path;
  bool _runToFinish = false;  // a run this take-over ended, whose status still says it goes on
  AK_String _madeDirectory;  // the run directory this lock made, "" for none
  bool _held = false;
  SW_TakeOver _takeOver = SW_TakeOver::None;
  int _handedTo = 0;
  int _refusedBy = 0;
};

// Ends what a writer of the run directory whose process is gone left, when one did (a run, a
// copy, a deletion; see SW_RunLock), and gives the lock up again at once: the step every reader
// of the directory takes first. Nothing when a live process holds the lock, or no writer is gone.
SW_TakeOver SW_EndWhatIsGone(const char* runDirectory, const char* who, const SW_RecordTakenOver& recordTakenOver);

// What a load removes in a run directory of what killed writers left: besides the temporaries of
// writers under the directory's lock, the run locks that takers killed half-way set aside.
AK_Leftovers SW_LeftoversAtLoad();

// The id of the live process that holds the run lock of the run directory (this one
// included), 0 when none does or there is no run directory. Only looks at the lock.
int SW_RunLockHolder(const char* runDirectory);
// True when a writer of the run directory is gone without giving its lock up: a run lock stands
// whose process is gone (or an empty one), or the status says "running" or "started" while no
// live process holds the lock. A take-over of the lock (SW_RunLock) ends what that writer was
// doing: a run, a copy, or nothing.
bool SW_RunIsGone(const char* runDirectory);
// The end of a run of this process, or of a start that ran nothing: the status "finished" and
// the run lock given up, in one step for whoever takes the lock (see SW_RunLock), so that no
// command is refused for a run whose status says it finished.
void SW_EndRun(const char* runDirectory);
