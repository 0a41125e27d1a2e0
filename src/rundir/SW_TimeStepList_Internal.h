// What a taker of a run lock does with a deletion of time steps that a kill cut short (see
// SW_DeleteTimeSteps).
#pragma once

#include "SW_TakerRecord.h"
#include "SW_TimeStepList.h"
#include "SW_WorkMarks_Internal.h"

// Under the run directory's lock, with its run lock taken: finishes a deletion of time steps that
// was cut short, while the series stands as its mark saw it, and says so; a mark of a series that
// changed since only goes.
// The saved simulation then names the time step that stays (through `record`):
// the deleter recorded it before its first file went, but a kill may have come first. Every file
// is tried; one that stays (or a record that fails) keeps the mark for the next taker: Failed, said
// in a WARNING that names what stayed.
// `failure`, when given, receives the reason of Failed.
[[nodiscard]] SW_CutWork SW_FinishCutDeletion(const char* runDirectory, const SW_RecordTakenOver& record,
                                              AK_String* failure = nullptr);
// The same for a removal of later time steps that a kill cut short (see SW_MarkLaterRemoval): the
// later time steps go, and the saved simulation names none of them.
[[nodiscard]] SW_CutWork SW_FinishCutLaterRemoval(const char* runDirectory, const SW_RecordTakenOver& record,
                                                  AK_String* failure = nullptr);
// A deletion's mark (of some time steps, or of the later ones) stands in the run directory.
bool SW_DeletionIsMarked(const char* runDirectory);

// Deletes the listed files, all or all but the last, each with the message "removing " + path;
// with all, also the temporaries of time-step files whose writer was killed. Every file is tried;
// "" when all went, else what stayed and why ("the time steps <names> stay: cannot remove <path>:
// <reason>"). It passes no gate and leaves no mark: only SW_DeleteTimeSteps calls it, under both.
[[nodiscard]] AK_String SW_DeleteTimeStepFiles(const char* runDirectory, const SW_TimeStepList& list, bool all);
