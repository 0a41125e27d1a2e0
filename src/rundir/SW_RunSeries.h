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

#include <cstdint>

#include "AK_Basic.h"
#include "AK_ProcessLock.h"

struct SW_SeriesStamp {
  AK_String id;  // "" for a run directory without a readable stamp
  uint64_t written = 0;  // changes that wrote time steps
  uint64_t removed = 0;  // changes that only removed some
  bool operator==(const SW_SeriesStamp& other) const
  {
    return id == other.id && written == other.written && removed == other.removed;
  }
};

// The stamp of a run directory as it stands: its counts, its file's version and text, or why it
// cannot be read. Text that is not "<id> <written> <removed>\n" (counts of decimal digits within
// range) is damage: such a stamp has no id and no counts.
struct SW_StampSeen {
  enum class Kind { Missing, Read, Damaged, Unreadable } kind = Kind::Missing;
  SW_SeriesStamp stamp;
  AK_FileVersion version;
  AK_String text;
  AK_String failure;  // Unreadable: the path and the system's reason
  // The same writing of the stamp file.
  bool SameAs(const SW_StampSeen& other) const
  {
    return kind != Kind::Missing && kind != Kind::Unreadable && kind == other.kind && version == other.version &&
           text == other.text;
  }
};
SW_StampSeen SW_LookAtSeriesStamp(const char* runDirectory);
// The counts alone ("" id for none).
SW_SeriesStamp SW_ReadSeriesStamp(const char* runDirectory);
// Gives the series of the run directory a new id, so that no process holds it any more: every
// writer that changes a run directory other than through the gate below (a copy put in place)
// calls it under the directory lock before the first file changes. The reason when the stamp
// cannot be written ("the stamp of the series cannot be written: <path>: <reason>"), else "".
AK_String SW_StartSeriesAnew(const char* runDirectory);

// What a change of the series does (see SW_SeriesHold::Pass).
enum class SW_SeriesChange {
  Record,        // names the state held in the saved simulation: writes no time step
  RecordNewest,  // names the newest time step there, which is the directory's, no process's
  Write,         // writes time steps of the series held (and may remove later ones)
  Remove,        // only removes time steps of the series held
  Anew,          // starts the series anew: every time step is written again, from 0 s
};

// The series of one simulation's run directory as this process last read or wrote it.
class SW_SeriesHold {
public:
  // Under the lock of the run directory, the process has read its state from the run
  // directory's time steps (or takes it as that directory's without reading, a series it just
  // made): it holds the series as it stands. A directory without a stamp gets one first; one
  // whose stamp cannot be read or written, or a lock not held, leaves nothing held.
  void Take(const AK_DirectoryLock& locked, const char* runDirectory);
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
  Gate Pass(const AK_DirectoryLock& locked, const char* runDirectory, SW_SeriesChange change);
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
  SW_StampSeen _stamp;          // as this process left or read it
  bool _holds = false;          // false once dropped
  bool _handedOver = false;
};

// A mark of work in a run directory that a kill can cut short (a copy put in place, a deletion of
// time steps): one line that says what the work is, and one with the stamp of the series as the
// work found it ("series <stamp>", "series -" for none). Whoever takes the run lock over a writer
// that is gone, or fresh, finishes the work only while that series stands: once another writer
// changed it, the mark is stale and goes without any file touched. A mark of one line (written
// before marks named their series) names no series.
struct SW_WorkMark {
  AK_String what;
  AK_String series;        // the stamp's text as the mark saw it, "-" for none
  bool namesSeries = false;
};
// What a taker of the run lock did with a mark it found.
enum class SW_CutWork {
  None,      // no mark
  Stale,     // the mark went, no file touched: its work was done, or its series is gone
  Finished,  // the work was finished (a copy cut while it staged: dropped)
  Failed,    // the work could not be finished: the mark stays for the next taker, said in a WARNING
};
// Writes the mark `file` in the run directory with the series as it stands; "" when written,
// else the reason ("cannot write <path>: <system's reason>").
AK_String SW_WriteWorkMark(const char* runDirectory, const char* file, const char* what);
// False when there is no mark (or it cannot be read).
bool SW_ReadWorkMark(const char* runDirectory, const char* file, SW_WorkMark& mark);
// The series of the run directory stands as the mark saw it.
bool SW_MarkIsCurrent(const char* runDirectory, const SW_WorkMark& mark);
// Removes the mark; "" when it is gone, else the reason ("cannot remove <path>: <reason>").
AK_String SW_RemoveWorkMark(const char* runDirectory, const char* file);
