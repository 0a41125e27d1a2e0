// Who may change the series of time steps in a run directory.
//
// Several processes of the program may hold one project, and each holds a state of its own
// simulation. A state is worth writing only on top of the files it was read from or written
// after: a process may write, remove or record time steps of a run directory only while no
// other process has written or removed any since this process last read its state from them
// or wrote them. One that never read them may start the series anew (a run from 0 s), and
// records or removes nothing else.
//
// The series carries a stamp in its run directory (".simulation_series": the id of the series
// and the count of its changes), which every writer advances under the directory lock before
// it touches a time-step file. A process remembers the stamp it last read its state under or
// left behind, with the identity of the directory (never its spelling): while the stamp stands
// as it remembers it, it holds the series. A run directory without a stamp has the empty one,
// which a reader of its files holds as well until a writer makes one; one that holds no time
// step either is held by every process.
#pragma once

#include <cstdint>

#include "AK_Basic.h"
#include "AK_ProcessLock.h"

struct SW_SeriesStamp {
  AK_String id;  // "" for a run directory that never had a stamp
  uint64_t written = 0;  // changes that wrote time steps
  uint64_t removed = 0;  // changes that only removed some
  bool operator==(const SW_SeriesStamp& other) const
  {
    return id == other.id && written == other.written && removed == other.removed;
  }
};

// The stamp of the run directory now.
SW_SeriesStamp SW_ReadSeriesStamp(const char* runDirectory);

// What a change of the series does (see SW_SeriesHold::Pass).
enum class SW_SeriesChange {
  Record,  // names a time step of it in the saved simulation: writes no time step
  Write,   // writes time steps of the series held (and may remove later ones)
  Remove,  // only removes time steps of the series held
  Anew,    // starts the series anew: every time step is written again, from 0 s
};

// The series of one simulation's run directory as this process last read or wrote it.
class SW_SeriesHold {
public:
  // The process has read its state from the run directory's time steps (or takes it as that
  // directory's without reading, a series it just made): it holds the series as it stands.
  void Take(const char* runDirectory);
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
  // A load binds the simulation to its project's run directory and forgets every other one.
  void Bind(const char* runDirectory);

  // The one gate of every writer of time steps: called under the lock of the run directory
  // (the caller's, so that the write follows before any other writer comes in), it answers
  // whether this process may make the change. A Write is passed while this process holds the
  // series, Anew always; both advance the stamp first (Anew under a new id), so that every
  // other process stops holding the series before the first byte changes, and this one holds
  // the series that results. A Record is passed while the series is held; it changes nothing.
  // Passed, or why not: the series is not held, or its stamp cannot be written (the reason,
  // with the system's; every file is left as it was).
  struct Gate {
    bool passed = false;
    AK_String failure;  // "" when only not held
  };
  Gate Pass(const AK_DirectoryLock& locked, const char* runDirectory, SW_SeriesChange change);
  // What other processes did to the series of the run directory since this process read or
  // wrote it. Nothing: this process holds the series; the directory is the one it read or
  // wrote, and its stamp stands as it was then. Only a look: without the directory lock the
  // answer can be overtaken by the next writer.
  enum class Since { Nothing, Written, Removed };
  Since ChangesSince(const char* runDirectory) const;
  bool Holds(const char* runDirectory) const { return ChangesSince(runDirectory) == Since::Nothing; }
  // True when this process read or wrote that run directory (whether it holds it still).
  bool IsBoundTo(const char* runDirectory) const;
  // The path of the run directory the process is bound to, "" for none.
  const AK_String& Directory() const { return _path; }

private:
  AK_String _path;              // as last given
  AK_FileIdentity _directory;   // what makes it that directory
  SW_SeriesStamp _stamp;        // as this process left or read it
  bool _holds = false;          // false once dropped
  bool _handedOver = false;
};
