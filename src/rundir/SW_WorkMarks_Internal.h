// Marks of unfinished work in a run directory, which name the series they were made under.
#pragma once

#include <initializer_list>

#include "AK_Basic.h"
#include "AK_SmallFile.h"

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
[[nodiscard]] AK_String SW_WriteWorkMark(const char* runDirectory, const char* file, const char* what);
// The mark `file`. One that cannot be read hides what its work is: nothing of it may be finished,
// dropped or read past.
AK_Read<SW_WorkMark> SW_ReadWorkMark(const char* runDirectory, const char* file);
// A work's mark under its name, or under the name a build before this one gave it (whose marks
// named no series): the first of `files` that stands, read or not, with its name in `file`;
// Missing (and `file` nullptr) when none does.
AK_Read<SW_WorkMark> SW_ReadFirstWorkMark(const char* runDirectory, std::initializer_list<const char*> files,
                                          const char*& file);
// One of `files` stands in the run directory, or nobody can tell (the directory cannot be entered).
bool SW_WorkIsMarked(const char* runDirectory, std::initializer_list<const char*> files);
// The series of the run directory stands as the mark saw it.
bool SW_MarkIsCurrent(const char* runDirectory, const SW_WorkMark& mark);
// Removes the mark; "" when it is gone, else the reason ("cannot remove <path>: <reason>").
[[nodiscard]] AK_String SW_RemoveWorkMark(const char* runDirectory, const char* file);
