// The run lock of a simulation's run directory (".simulation_lock"), beside its status file: one
// writer of the directory at a time, across processes, and what a taker does with what a writer
// whose process is gone left there.
#pragma once

#include <functional>

#include "AK_Basic.h"
#include "AK_SmallFile.h"
#include "SW_TakerRecord.h"

struct AK_LockEntry;

// The run lock beside the status file (".simulation_lock"): one writer of a simulation's run
// directory at a time, across processes. Who takes it, what it says, and what a taker ends of a
// holder that is gone are the rules of the run directory (SW_RunDirectory.h). Without a run
// directory there is no lock: such a run writes no time steps, only the status and info files of
// the current directory, where the last writer wins as it does between any two processes.

// What the lock is taken for. A refusal names it; a taker of a lock whose holder is gone ends a
// run, a copy, or (any other) nothing a run leaves behind.
enum class SW_LockPurpose {
  Run,              // a run, or the start of one in another process
  Copy,             // a copy of time steps into the directory (a save into another project)
  Other,            // a writer that changes nothing a run leaves behind, of no purpose named below
  DeleteTimeSteps,  // a deletion of time steps
  SaveTimeStep,     // a time step saved
  Rename,           // the run directory renamed
  DeleteDirectory,  // the run directory deleted with its simulation
  TakeOver,         // a load or a save that ends what a writer that is gone left
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
  // made), Held() is false and the error text says so: `who` + ": " + `refused` + ", " + what the
  // holder holds it for, as "a run of this simulation is going on in process N" (or "... in this
  // process"). A take-over that cannot end what the holder left (marked work that cannot be
  // finished, a lock that cannot say what it is taken for) refuses too, with the reason, and
  // gives the lock up: the next taker tries again. Only a run makes a
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
  // Why it is not held.
  enum class Refusal {
    None,           // held
    HeldByAnother,  // a live process holds it (this one included)
    CannotTake,     // the lock file cannot be made or taken over
    NotEnded,       // taken, but what the holder left cannot be ended: given up again
  };
  Refusal Refused() const { return _refusal; }
  // The live process whose lock refused this one; 0 when none did (held, or not taken for
  // another reason).
  int RefusedBy() const { return _refusedBy; }
  // What the take-over ended.
  SW_TakeOver TakeOver() const { return _takeOver; }
  // The run directory did not stand: this lock made it.
  bool MadeDirectory() const { return !_madeDirectory.IsEmpty(); }
  // Gives the lock to the process `pid` of a background start; it stays with that process
  // once Keep() says the start succeeded, and is removed otherwise (also when it was never
  // handed over). False when it cannot be handed over: that start must not go ahead.
  [[nodiscard]] bool HandOver(int pid);
  void Keep();
  // Gives the lock up now, under the lock of the run directory the caller holds: a writer that
  // moves the directory leaves no lock in it, and nobody takes one before the move is done.
  // "" when given up (or never held), else why it stands ("the run lock <path> cannot be removed:
  // <reason>; ..."), or why the status of a run its take-over ended still says that run goes on;
  // the lock then names this process until it ends, and the next taker takes it over.
  [[nodiscard]] AK_String Release();

private:
  // Taken over from a holder that is gone (`before`): what it left is ended, and the lock says
  // what it is taken for. False when refused (see RefuseNotEnded); `goneRunSaidNothing` when the
  // holder was a run that had not said it ran, whose record may name a time step it removed.
  [[nodiscard]] bool TakeOverFrom(const AK_LockEntry& before, const char* runDirectory, const char* who,
                                  const char* refused, const SW_RecordTakenOver& recordTakenOver,
                                  bool& goneRunSaidNothing);
  // Taken where no live holder stood: work a writer marked is finished, and a status of a run
  // under way with no lock before ends that run. False when refused (see RefuseNotEnded).
  [[nodiscard]] bool TakeFresh(bool noLockBefore, const char* runDirectory, const char* who, const char* refused,
                               const SW_RecordTakenOver& recordTakenOver);
  // Taken, but what the holder left cannot be ended: the command refuses with the reason, and the
  // lock goes again for the next taker to try.
  void RefuseNotEnded(const char* who, const char* refused, const AK_String& failure);
  // The status "finished" of a run this take-over ended, once the caller recorded it; "" when
  // written (or not this process's to write), else why not.
  [[nodiscard]] AK_String FinishEndedRun();

  AK_String _directory;
  AK_String _path;
  bool _runToFinish = false;  // a run this take-over ended, whose status still says it goes on
  AK_String _madeDirectory;  // the run directory this lock made, "" for none
  bool _held = false;
  Refusal _refusal = Refusal::None;
  SW_LockPurpose _purpose = SW_LockPurpose::Other;
  SW_TakeOver _takeOver = SW_TakeOver::None;
  int _handedTo = 0;
  int _refusedBy = 0;
};

// Ends what a writer of the run directory whose process is gone left, when one did (a run, a
// copy, a deletion; see SW_RunLock), and gives the lock up again at once: the step every reader
// of the directory takes first. Nothing when a live process holds the lock, or no writer is gone.
// `failure` is "" when that is done (or nothing was to do), else why not: what was left could not
// be ended (the refusal's text), or the lock could not be given up again.
struct SW_EndOfWhatIsGone {
  SW_TakeOver takeOver = SW_TakeOver::None;
  AK_String failure;
  // Why the lock was not taken, when it was not: CannotTake tells a directory this process may not
  // write (nothing of it changed) from what was left that cannot be ended.
  SW_RunLock::Refusal refusal = SW_RunLock::Refusal::None;
};
[[nodiscard]] SW_EndOfWhatIsGone SW_EndWhatIsGone(const char* runDirectory, const char* who,
                                                  const SW_RecordTakenOver& recordTakenOver);

// What a load removes in a run directory of what killed writers left: besides the temporaries of
// writers under the directory's lock, the run locks that takers killed half-way set aside.
AK_Leftovers SW_LeftoversAtLoad();

// The id of the live process that holds the run lock of the run directory (this one
// included), 0 when none does (a lock whose holder is gone, a damaged one); Missing when no lock
// stands or there is no run directory. Only looks at the lock.
AK_Read<int> SW_RunLockHolder(const char* runDirectory);
// True when a writer of the run directory is gone without giving its lock up: a run lock stands
// whose process is gone (or an empty one), or the status says "running" or "started" while no
// live process holds the lock. A take-over of the lock (SW_RunLock) ends what that writer was
// doing: a run, a copy, or nothing. Unreadable when the lock, or the status without a lock,
// cannot be read.
AK_Read<bool> SW_RunIsGone(const char* runDirectory);
// The end of a run of this process, or of a start that ran nothing: the status "finished" and
// the run lock given up, in one step for whoever takes the lock (see SW_RunLock), so that no
// command is refused for a run whose status says it finished. "" when both are done, else why not
// (the status that cannot be written, or the lock that cannot be removed); the error text says
// it too when it was empty.
[[nodiscard]] AK_String SW_EndRun(const char* runDirectory);
