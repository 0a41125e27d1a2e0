// Who may change the series of time steps in a run directory.
//
// Several processes of the program may hold one project, and each holds a state of its own
// simulation. A state is worth writing only on top of the files it was read from or written
// after: a process may write, remove or record time steps of a run directory only while no
// other process has changed them since this process last read its state from them or wrote
// them. Any process may start the series anew (a run from 0 s); a state it did not read from
// the directory (a release set up anew) holds nothing else.
//
// The series carries a stamp in its run directory (".simulation_series": the id of the series
// and the count of its changes), which every writer advances under the directory lock before it
// touches a time-step file, always as a new file. A process remembers the stamp it last read its
// state under or left behind: the directory's identity (never its spelling), and the stamp
// file's version (its identity and change time, see AK_FileVersion) with its text. While the
// stamp file stands as it remembers it, it holds the series; once the file changed, nothing
// brings the hold back, whatever text it comes back to. A run directory without a stamp gets
// one from the first process that reads a state there, so that a hold is always of a stamp.
#pragma once

#include <memory>

#include "AK_Basic.h"
#include "AK_ProcessLock.h"

// What a change of the series does (see SW_SeriesHold::Pass).
enum class SW_SeriesChange {
  Record,        // names the state held in the saved simulation: writes no time step
  RecordNewest,  // names the newest time step there, which is the directory's, no process's
  Write,         // writes time steps of the series held (and may remove later ones)
  Remove,        // only removes time steps of the series held
  Anew,          // starts the series anew: every time step is written again, from 0 s
};

// Why the stamp of the series in the run directory cannot be read (the path and the system's
// reason), "" when it can or there is none: every writer of the series reads it, so a command
// that would write asks this before its first file changes.
[[nodiscard]] AK_String SW_SeriesStampReadFailure(const char* runDirectory);

// The series of one simulation's run directory as this process last read or wrote it.
class SW_SeriesHold {
public:
  // Under the lock of the run directory, the process has read its state from the run
  // directory's time steps (or takes it as that directory's without reading, a series it just
  // made): it holds the series as it stands. A directory without a stamp gets one first; one
  // whose stamp cannot be read or written, or a lock not held, leaves nothing held. True when the
  // series is held.
  [[nodiscard]] bool Take(const AK_DirectoryLock& locked, const char* runDirectory);
  // The state held is none of the directory's (the release set up anew): the process holds
  // no series until it reads or writes one, but stays bound to the directory.
  void Drop();
  // The process handed its state to a run in another process, which writes the series now.
  // It holds nothing meanwhile; TakeBack ends that and answers whether it holds the series
  // again (the run changed no time step).
  void HandOver() { _handedOver = true; }
  bool HandedOver() const { return _handedOver; }
  bool TakeBack(const char* runDirectory)
  {
    _handedOver = false;
    return Holds(runDirectory);
  }
  // A load binds the simulation to its project's run directory and forgets every other one;
  // the same directory under a new name (moved) keeps what is held there.
  void Bind(const char* runDirectory);

  // The one gate of every writer of time steps and of every record of one: called under the
  // lock of the run directory (the caller's, so that the change follows before any other writer
  // comes in; refused when that lock is not held), it answers whether this process may make the
  // change. Write, Remove and Record pass while this process holds the series; Anew and
  // RecordNewest always. Write, Remove and Anew advance the stamp first (Anew under a new id),
  // so that every other process stops holding the series before the first byte changes, and
  // this one holds the series that results. Passed, or why not: the series is not held, or the
  // lock is not held or the stamp cannot be read or written (the reason; every file is left as
  // it was).
  struct Gate {
    bool passed = false;
    AK_String failure;  // "" when only not held
  };
  [[nodiscard]] Gate Pass(const AK_DirectoryLock& locked, const char* runDirectory, SW_SeriesChange change);
  // What other processes did to the series of the run directory since this process read or
  // wrote it. Nothing: this process holds the series; the directory is the one it read or
  // wrote, and its stamp file stands as it was then. Removed: only removals since, or the
  // directory or its stamp is gone (another directory may stand in its place, even under the
  // number the removed one had). Unreadable: the stamp cannot be read (the reason in `failure`
  // when given). Only a look: without the directory lock the answer can be overtaken by the next
  // writer.
  enum class Since { Nothing, Written, Removed, Unreadable };
  Since ChangesSince(const char* runDirectory, AK_String* failure = nullptr) const;
  bool Holds(const char* runDirectory) const { return ChangesSince(runDirectory) == Since::Nothing; }
  // True when this process read or wrote that run directory (whether it holds it still).
  bool IsBoundTo(const char* runDirectory) const;
  // The path of the run directory the process is bound to, "" for none.
  const AK_String& Directory() const { return _path; }

private:
  AK_String _path;              // as last given
  AK_FileIdentity _directory;   // what makes it that directory
  // The stamp as this process left or read it (none before the first).
  struct HeldStamp;
  std::shared_ptr<const HeldStamp> _stamp;
  bool _holds = false;          // false once dropped
  bool _handedOver = false;
};
