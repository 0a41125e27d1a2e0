// A lock file that one process holds at a time: created exclusively, it holds the holder's
// process id and start time, so that another process can tell a live holder from one that is
// gone, also when the id has since been given to another process, and what the holder took it
// for, so that whoever takes over the lock of a holder that is gone ends just that.
// A lock file is written whole under a name of its writer's own and only then put in place, so
// it never stands without its entry: an empty or unreadable one is damage, never a lock that is
// being written.
// Lock files of only "pid\n" (written before the start time was kept) are still read: their
// holder lives while a process of that id exists.
#pragma once

#include <chrono>
#include <cstdint>
#include <utility>

#include "AK_SmallFile.h"
#include "AK_String.h"

// What a lock file says. The holder line comes first, "pid starttime\n" ("pid\n" when the start
// time is not known); a purpose follows on a line of its own:
//   "pid starttime\npurpose\n"   or   "pid\npurpose\n"
// so that builds that knew no purpose, which read the first line alone, read the lock as held
// by its process. An empty purpose writes the holder line alone: a lock taken for what the
// caller counts as its first purpose. The purpose is one word of lower-case letters, at most 15.
// Also read: "pid starttime purpose\n", the one-line form of the build before.
struct AK_LockEntry {
  int pid = 0;          // 0: none (no file, an empty or a damaged one)
  int64_t start = -1;   // -1: not kept
  AK_String purpose;    // "" when not given
  // Text that is none of the forms above is damage: an entry of no holder.
  static AK_LockEntry Parse(const char* text);
  // The whole text of the lock file: the holder line, and the purpose's line when there is one.
  AK_String Line() const;
  bool operator==(const AK_LockEntry& other) const
  {
    return pid == other.pid && start == other.start && purpose == other.purpose;
  }
};

enum class [[nodiscard]] AK_LockResult {
  Taken,      // this process holds the lock now
  TakenOver,  // the same, from a holder that is gone (its process no longer exists, or its id
              // now belongs to a process that started at another time)
  Held,       // a live process holds it (`holder`), possibly this one
  Failed      // the lock file could not be created, or one whose holder is gone could not be
              // removed (`holder` 0; the reason in AK_LockError)
};

// Takes the lock file `path`. A lock that names a process which started this one (directly or
// through shells) was handed to this process by a start in the background: it is taken. A lock
// that names this very process is held, unless this process never took it (the start that
// handed it over ran this program in place of its shell). `holder` receives the id of the
// process that holds it, or held it before a take-over.
// The lock is written with `purpose` (a word of lower-case letters, or ""); `before` receives
// the entry of the holder that held it (a live one, or one that is gone before a take-over).
// TakenOver with `before.pid` 0 (and `holder` 0): a lock whose entry cannot be read (empty or
// damaged) was taken for nothing that can be named.
[[nodiscard]] AK_LockResult AK_TakeProcessLock(const char* path, const char* purpose, AK_LockEntry& before);
// The same with no purpose, answering only the holder's id.
[[nodiscard]] AK_LockResult AK_TakeProcessLock(const char* path, int& holder);
// Writes another purpose into a lock this process holds (a take-over that has ended what the
// holder before left). False when the lock is not this process's or could not be rewritten.
[[nodiscard]] bool AK_SetLockPurpose(const char* path, const char* purpose);
// The text of the last AK_LockResult::Failed.
AK_String AK_LockError();
// Gives a lock this process holds to the process `pid` (which takes it with AK_TakeProcessLock
// once it runs), with that process's start time and the lock's purpose. False when the lock
// could not be rewritten.
[[nodiscard]] bool AK_HandOverProcessLock(const char* path, int pid);
// Removes the lock when it names this process, or `pid` when given (a lock handed to a process
// that never started). False, with errno, when such a lock stands and cannot be removed: it is
// then a lock of a holder that will be gone, which the next taker takes over; false too when the
// lock cannot be read, which may be such a one.
[[nodiscard]] bool AK_ReleaseProcessLock(const char* path, int pid = 0);
// True when `name` (without directory) is what a process killed half-way left beside the lock
// named `lockName` (a base name), under a name of that process's own, and that process is gone:
// a lock that a take-over moved aside ("<lock>.stale.<pid>") or a lock being written
// ("<lock>.new.<pid>"). AK_RemoveLeftovers removes such names.
bool AK_IsLockLeftover(const char* lockName, const char* name);
// The id of the live process that holds the lock file `path` (this one included), 0 when none
// does: a damaged lock, or one whose holder is gone; Missing when no lock stands, and Unreadable
// when one stands that cannot be read, whose holder nobody can tell. Only looks: nothing is
// written.
AK_Read<int> AK_LiveLockHolder(const char* path);

// This process's id.
int AK_ProcessId();
// True when a process with this id exists.
bool AK_ProcessAlive(int pid);
// When the process started, in clock ticks since the system booted; the same for the whole
// life of the process (an exec keeps it). -1 when there is no such process or it cannot be
// asked.
int64_t AK_ProcessStartTime(int pid);

// An exclusive lock on a directory, held across processes for as long as the object lives, so
// that whoever reads a file of the directory, changes it and writes it back does so while no
// other writer that takes the lock can come in between. The system gives the lock up when its
// process ends, however it ends: a killed holder leaves nothing behind. Locks of one directory
// in one process (under any spelling of its path) nest; the program locks from one thread. A
// directory that does not exist or cannot be opened is not locked (Held() is false): there is
// then nothing in it to protect.
class AK_DirectoryLock {
public:
  explicit AK_DirectoryLock(const char* directory);
  // Waits at most `patience` for another process to give the lock up: one that holds a lock
  // of its own meanwhile must not wait for ever on a process that waits for that one.
  AK_DirectoryLock(const char* directory, std::chrono::milliseconds patience);
  ~AK_DirectoryLock();
  AK_DirectoryLock(const AK_DirectoryLock&) = delete;
  AK_DirectoryLock& operator=(const AK_DirectoryLock&) = delete;
  bool Held() const { return _held; }
  // Why it is not held: the directory and the system's reason ("" while held).
  const AK_String& Failure() const { return _failure; }

private:
  void Take(const char* directory, bool wait, std::chrono::milliseconds patience);

  std::pair<uint64_t, uint64_t> _key;  // the directory's device and inode
  bool _held = false;
  AK_String _failure;
};
// True while this process holds the lock of the directory (under any spelling of its path).
bool AK_HoldsDirectoryLock(const char* directory);
