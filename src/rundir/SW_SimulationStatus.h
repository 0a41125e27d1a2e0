// How two processes of the program talk about a run: the status file ".simulation_status" (one
// word: "started", "running", "interrupted", "finished") and the info file ".simulation_info"
// (one progress line) in the run directory, the saved simulations a start in another process
// accepts to run, and the values a run runs under. The files are the only thing the processes
// share; each access opens and closes the file, and the last writer wins. Written files take
// their place in one step, so a reader sees the old content or the new one, never a part.
#pragma once

#include "AK_Basic.h"
#include "AK_SmallFile.h"

// The run directory given, or "." for a simulation that has none yet: it keeps these files in the
// current directory.
AK_String SW_RunDirectoryOrCurrent(const char* runDirectory);

// The files lie in the run directory given (SW_RunDirectoryOrCurrent). Every function here that
// changes a file answers whether it did: a status, a start list or the values of a run that did
// not reach the disk let another process act on older ones.
// Every reader answers what it found (AK_Read): no file, what it says, or a file that cannot be
// read, which no reader may take for a run's state or for none.
// The first word of the status file (at most 63 characters), "unknown" when it holds none.
AK_Read<AK_String> SW_ReadStatusFile(const char* runDirectory);
// Replaces the status file by the word and a line end. False when it could not, with the
// system's reason in `reason` when given.
[[nodiscard]] bool SW_WriteStatusFile(const char* runDirectory, const char* word, AK_String* reason = nullptr);
// The whole info file.
AK_Read<AK_String> SW_ReadInfoFile(const char* runDirectory);
// What a query of such a file answers: what it says, `missing` when there is none, and
// "unreadable: <path>: <reason>" when it cannot be read, a text no run writes.
AK_String SW_QueryAnswer(const AK_Read<AK_String>& read, const char* missing);
// Replaces the info file by the text and a line end; as SW_WriteStatusFile.
[[nodiscard]] bool SW_WriteInfoFile(const char* runDirectory, const char* text, AK_String* reason = nullptr);
// The paths of the two files.
AK_String SW_StatusFilePath(const char* runDirectory);
AK_String SW_InfoFilePath(const char* runDirectory);
AK_String SW_RunValuesFilePath(const char* runDirectory);

// The saved simulations that a start of a run in another process accepts to run
// (".simulation_start" in the run directory, the digest of each, AK_FileDigest, on a line of its
// own): its launcher names the one saved when it starts the run, and adds each it saves again
// before that run is over, so that the run runs values its launcher saved, at its start or
// after it, and never those of another process. Every save writes the attribute file and adds
// its digest under the directory's lock (AK_DirectoryLock), and the run looks under it too: a
// save is seen with its digest or not at all.
// Adds the digest; "" expects nothing from now on (a start by hand, which runs whatever is saved
// when it runs). False when the list could not be written (or removed),
// with the system's reason in `reason` when given: the list on disk is then the one before.
[[nodiscard]] bool SW_ExpectSavedSimulation(const char* runDirectory, const char* stamp, AK_String* reason = nullptr);
// The digest alone from now on ("" nothing): the start of a run, which names its own and drops
// those of an earlier start. As SW_ExpectSavedSimulation, in one write.
[[nodiscard]] bool SW_ExpectOnlySavedSimulation(const char* runDirectory, const char* stamp,
                                                AK_String* reason = nullptr);
// A list that cannot be read is never taken for an empty one: adding to it fails, and so does the
// question whether a digest is expected.
// The digests expected, one a line.
AK_Read<AK_String> SW_ExpectedSavedSimulation(const char* runDirectory);
// True when the run may run the saved simulation of that digest: none is expected, or it is one
// of them.
AK_Read<bool> SW_SavedSimulationExpected(const char* runDirectory, const char* stamp);

// The values a run runs under (".simulation_values" in the run directory): the digest of the
// saved simulation's values when they were its own at its start, "-" when they were not. Whoever
// ends that run after its process is gone names its last time step in the saved simulation only
// while its values are still those. Read without its line end. Writing answers as
// SW_WriteStatusFile.
[[nodiscard]] bool SW_WriteRunValues(const char* runDirectory, const char* digest, AK_String* reason = nullptr);
AK_Read<AK_String> SW_ReadRunValues(const char* runDirectory);
