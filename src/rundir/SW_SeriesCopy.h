// The copy of one state of a run directory (its series, with the saved simulation that goes with
// it) into the run directory of another project directory, made whole or not at all.
//
// The copy is one step, taken while this process holds the source's and the target's directory
// locks (SW_CopyLocks) and the target's run lock: no writer of either directory comes in between,
// so the series, the saved values and the record that go into the target are one state of the
// source.
//
// A copy never overwrites the target's time steps one by one, which a kill would leave as two
// runs in one series. It stages first: the source's time steps (and its "start.log", the info and
// the values of its run) are copied beside the target's files under staged names
// ("<name>.~staged") while the target's visible files stay as they are, under a mark
// (".simulation_copying" saying "staging"); a kill meanwhile leaves only staged files, which
// whatever takes the target's run lock over removes, saying that a copy was cut short. Then the
// saved simulation is staged too, the target's series gets a new id, so that no process holds it
// any more, and the mark names the saved simulation's file and that series; then the old time steps go, the saved simulation takes
// its place, the staged files take theirs in time order, and the mark goes. A kill or a failure
// after the mark leaves a copy that the next taker of the run lock finishes (SW_FinishCutCopy):
// every staged file is whole, so the target then holds the copy whole, never a time step of its
// old run beside the new values.
#pragma once

#include <functional>
#include <memory>

#include "AK_Basic.h"
#include "SW_RunSeries.h"

// The directory locks of a copy: the source's and the target's, taken in one order (by the
// directories' identities) so that two copies in opposite directions never wait for each other;
// one lock when they are the same directory, the target's alone without a source.
class SW_CopyLocks {
public:
  SW_CopyLocks(const char* source, const char* target);
  bool Held() const;
  // Why not held: the directory and the system's reason.
  AK_String Failure() const;

private:
  std::unique_ptr<AK_DirectoryLock> _first, _second;
};

// Why a copy of `source` could not read all it copies: "cannot read <path>: <reason>" for the
// first of its time steps, or of the run's log, info and values beside them, that cannot be
// opened for reading; "" when all can (or there is no such directory). A save asks it before its
// first file changes, so that a copy refused for it leaves every target file as it was.
[[nodiscard]] AK_String SW_CopySourceReadFailure(const char* source);

class SW_SeriesCopy {
public:
  // The series of `source` ("" or no directory: the target then gets none) into `target`.
  SW_SeriesCopy(const char* source, const char* target);
  // Staged files of a copy that never got its mark are removed; a marked copy stays for the
  // next taker of the run lock to finish.
  ~SW_SeriesCopy();
  SW_SeriesCopy(const SW_SeriesCopy&) = delete;
  SW_SeriesCopy& operator=(const SW_SeriesCopy&) = delete;

  enum class Outcome {
    Copied,      // the target holds the copy whole
    NotStarted,  // the target is as it was
    LeftMarked,  // a file could not be put in place: the mark stays, the next taker finishes it
  };
  // The whole copy. The caller holds the locks of both directories (SW_CopyLocks) and the
  // target's run lock. `writeSaved` writes the saved simulation, whose file in the target is
  // `savedFile`, to the path it is given (true when written). `target` then holds the target's
  // new series. The reason in `failure` for any other outcome than Copied; a status "finished"
  // of the copy that cannot be written leaves it marked.
  [[nodiscard]] Outcome Copy(const char* savedFile, const std::function<bool(const char* path)>& writeSaved, SW_SeriesHold& target,
               AK_String& failure);

private:
  bool Stage(AK_String& failure);

  AK_String _source, _target;
  bool _staging = false;  // staged files stand under the mark "staging"
};
