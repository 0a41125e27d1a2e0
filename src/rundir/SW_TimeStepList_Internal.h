// What a taker of a run lock does with a deletion of time steps that a kill cut short (see
// SW_DeleteTimeSteps).
#pragma once

#include "SW_TakerRecord.h"
#include "SW_WorkMarks_Internal.h"

// Under the run directory's lock, with its run lock taken: finishes a deletion of time steps that
// was cut short, while the series stands as its mark saw it, and says so; a mark of a series that
// changed since only goes.
// The saved simulation then names the time step that stays (through `record`):
// the deleter recorded it before its first file went, but a kill may have come first.
SW_CutWork SW_FinishCutDeletion(const char* runDirectory, const SW_RecordTakenOver& record);
// A deletion's mark stands in the run directory.
bool SW_DeletionIsMarked(const char* runDirectory);
