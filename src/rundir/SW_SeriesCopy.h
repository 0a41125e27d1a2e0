// The copy of a run's series into the run directory of another project directory, made whole
// or not at all.
//
// A copy never overwrites the target's time steps one by one, which a kill would leave as two
// runs in one series. It stages first: the source's time steps (and its "start.log") are copied
// beside the target's files under staged names ("<name>.~staged") while the target's visible
// files stay as they are, under a mark (".simulation_copy" saying "staging"); a kill meanwhile
// leaves only staged files, which whatever takes the target's run lock over removes, saying that
// a copy was cut short. Then it puts the copy in place under the target's directory lock: the
// saved simulation is staged too, the mark names the saved simulation's file and the target's
// series gets a new id, so that no process
// holds it any more; then the old time steps go, the saved simulation takes its place, the
// staged time steps take theirs in time order, and the mark goes. A kill after the mark leaves
// a copy that the next taker of the run lock finishes (SW_FinishCutCopy): every staged file is
// whole, so the target then holds the copy whole, never a time step of its old run beside the
// new values.
#pragma once

#include <functional>

#include "AK_Basic.h"
#include "SW_RunSeries.h"

class SW_SeriesCopy {
public:
  // The series of `source` ("" for none: the target then gets none) into `target`. The caller
  // holds the target's run lock from before Stage until the copy is put in place or dropped.
  SW_SeriesCopy(const char* source, const char* target);
  // Staged files that were not put in place are removed.
  ~SW_SeriesCopy();
  SW_SeriesCopy(const SW_SeriesCopy&) = delete;
  SW_SeriesCopy& operator=(const SW_SeriesCopy&) = delete;

  // Stages the copy. The source's series is taken under the source's directory lock; when
  // another process keeps that lock longer than a moment (one that may wait for a lock this
  // process holds), it is checked against the source's stamp after the copy instead, and copied
  // again while it changed meanwhile. False, with the reason and every staged file removed, when
  // a file cannot be copied or the source kept changing.
  bool Stage(AK_String& failure);
  // The time steps staged, in time order.
  const AK_Array<AK_String>& Steps() const { return _steps; }
  const AK_String& Source() const { return _source; }
  const AK_String& Target() const { return _target; }

  // Puts the staged copy in place; the caller holds the target's directory lock (`locked`).
  // `writeSaved` writes the saved simulation, whose file in the target is `savedFile`, to the
  // path it is given (true when written). `target` then holds the target's new series. False,
  // with the reason, when the saved simulation or the mark cannot be written or the series not
  // started anew (the target is then as it was), or when a file cannot be put in place (the
  // mark then stays for whoever finishes the copy).
  bool Commit(const AK_DirectoryLock& locked, const char* savedFile,
              const std::function<bool(const char* path)>& writeSaved, SW_SeriesHold& target, AK_String& failure);

private:
  void DropStaged();

  AK_String _source, _target;
  AK_Array<AK_String> _steps;
  bool _staged = false;
};

// Under the run directory's lock, with its run lock taken over from the process that was copying
// into it when it was killed: drops a copy cut while it staged, or finishes one that was being
// put in place (see above) and gives the series a new id; the status "finished", with the info
// that a copy was cut short and what became of it. True when there was such a copy.
bool SW_FinishCutCopy(const char* runDirectory);
// A copy's mark stands in the run directory.
bool SW_CopyIsMarked(const char* runDirectory);
