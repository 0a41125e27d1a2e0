// What a taker of a run lock does with a copy into the run directory that a kill or a failure cut
// short (see SW_SeriesCopy.h).
#pragma once

#include "SW_WorkMarks_Internal.h"

// Under the run directory's lock, with its run lock taken: drops a copy cut while it staged, or
// finishes one that was being put in place (see above) and then gives the series a new id; the
// status "finished", with the info that a copy was cut short and what became of it. The mark of a
// copy whose series another writer has changed since, or that was put in place whole, only goes.
// A finishing that fails keeps the mark and every staged file for the next taker: Failed, said in
// a WARNING, and the reason in `failure` when given.
[[nodiscard]] SW_CutWork SW_FinishCutCopy(const char* runDirectory, AK_String* failure = nullptr);
// A copy's mark stands in the run directory (".simulation_copying": "staging", or the saved
// simulation's file name once every staged file is whole, and the series, see SW_WorkMark).
bool SW_CopyIsMarked(const char* runDirectory);
