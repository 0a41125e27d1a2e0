// How two processes of the program talk about a run: the status file ".simulation_status" (one
// word: "started", "running", "interrupted", "finished") and the info file ".simulation_info"
// (one progress line) in the run directory, and the start macro and start line that launch a
// run in a second process. The files are the only thing the processes share; each access opens
// and closes the file, and the last writer wins. Written files take their place in one step, so
// a reader sees the old content or the new one, never a part.
#pragma once

#include <cstdio>
#include <functional>
#include <utility>
#include <vector>

#include "AK_Basic.h"
#include "AK_Process.h"

// The project directory of a simulation, or "." when it has none.
AK_String SW_RunDirectory(const char* projectDir);

// The files lie in the run directory of the project directory given (SW_RunDirectory): a
// simulation that has none yet keeps them in the current directory.
// The first word of the status file (at most 63 characters), "unknown" when there is none.
AK_String SW_ReadStatusFile(const char* projectDir);
// Replaces the status file by the word and a line end. False when it could not, with the
// system's reason in `reason` when given; most callers let a failure pass silently.
bool SW_WriteStatusFile(const char* projectDir, const char* word, AK_String* reason = nullptr);
// The whole info file, "" when there is none.
AK_String SW_ReadInfoFile(const char* projectDir);
void SW_WriteInfoFile(const char* projectDir, const char* text);

// The run lock beside the status file: one writer of a simulation's run directory at a time,
// across processes. It is taken when a run starts (or before a background start starts its
// process, which then takes it over) and released when the run ends, however it ends; and,
// for as long as they write, by the other writers of the directory: a save into it from
// another project, and the commands that change files a run also writes (a time step saved
// or deleted, the directory renamed or deleted). The lock says what it was taken for, and a
// lock whose process is gone is taken over with a warning and ends just that:
// - a run (also a lock that says nothing, as every lock did before purposes were kept): the
//   info says "its run did not finish, its process is gone" with the run's last line, the
//   caller records the run's newest time step (EndedRun()), and the status becomes "finished"
//   (one that is not "finished" already) when the taker gives the lock up, or when its own run
//   writes its status: a taker killed before it recorded leaves the run to end to the next;
// - a copy of time steps into the directory: the copy is finished or dropped (SW_FinishCutCopy);
// - anything else changed nothing a run leaves behind: the saved simulation, its record, the
//   status and the info stay as they were; a deletion of time steps cut short is finished
//   (SW_FinishCutDeletion).
// A status that says "running" or "started" while no live process holds the lock was left by
// a run that is gone, whatever the lock says: that run is ended as above. The temporaries that
// killed writers left in the run directory are removed. Without a project directory there is
// no lock: such a run writes no time steps, only the status and info files of the current
// directory, where the last writer wins as it does between any two processes.
enum class SW_LockPurpose {
  Run,    // a run, or the start of one in another process
  Copy,   // a copy of time steps into the directory (a save into another project)
  Other,  // a writer that changes nothing a run leaves behind
};
// Records the newest time step of a run in `directory` that a take-over ended (the saved
// simulation there names it).
using SW_RecordRun = std::function<void(const char* directory)>;

// What a take-over of a lock whose process is gone ended.
enum class SW_TakeOver {
  None,          // nobody's lock was taken over
  NothingToEnd,  // a holder that was no run, or a run that had ended
  RunEnded,      // a run that did not end: its status and info now say it ended
  CopyFinished,  // a copy that was cut short (see SW_FinishCutCopy)
};

class SW_RunLock {
public:
  // Takes the lock of the project directory; when a live process holds it (or it cannot be
  // made), Held() is false and the error text says so: `who` + ": " + `refused` + ", a run of
  // this simulation is going on in process N" (or "... in this process"). Only a run makes a
  // run directory that does not stand (a simulation saved before it had one); when its
  // command is refused and leaves the directory empty, the release removes it again.
  // A run that the take-over ended is recorded through `recordRun` before the lock is held; a
  // copy or a deletion marked for the series as it stands is finished, whether the lock was
  // taken over or taken fresh (a taker killed before it made its own left none).
  SW_RunLock(const char* projectDir, const char* who, SW_LockPurpose purpose, const char* refused,
             const SW_RecordRun& recordRun);
  ~SW_RunLock();
  SW_RunLock(const SW_RunLock&) = delete;
  SW_RunLock& operator=(const SW_RunLock&) = delete;

  bool Held() const { return _held; }
  // What the take-over ended.
  SW_TakeOver TakeOver() const { return _takeOver; }
  // The run directory did not stand: this lock made it.
  bool MadeDirectory() const { return !_madeDirectory.IsEmpty(); }
  // Gives the lock to the process `pid` of a background start; it stays with that process
  // once Keep() says the start succeeded, and is removed otherwise (also when it was never
  // handed over).
  void HandOver(int pid);
  void Keep();
  // Gives the lock up now, under the lock of the run directory the caller holds: a writer that
  // moves the directory leaves no lock in it, and nobody takes one before the move is done.
  void Release();

private:
  // The status "finished" of a run this take-over ended, once the caller recorded it.
  void FinishEndedRun();

  AK_String _directory;
  AK_String _path;
  bool _runToFinish = false;  // a run this take-over ended, whose status still says it goes on
  AK_String _madeDirectory;  // the run directory this lock made, "" for none
  bool _held = false;
  SW_TakeOver _takeOver = SW_TakeOver::None;
  int _handedTo = 0;
};

// Ends what a writer of the run directory whose process is gone left, when one did (a run, a
// copy, a deletion; see SW_RunLock), and gives the lock up again at once: the step every reader
// of the directory takes first. Nothing when a live process holds the lock, or no writer is gone.
SW_TakeOver SW_EndWhatIsGone(const char* projectDir, const char* who, const SW_RecordRun& recordRun);

// What a load removes in a run directory of what killed writers left: besides the temporaries of
// writers under the directory's lock, the run locks that takers killed half-way set aside.
AK_Leftovers SW_LeftoversAtLoad();

// The id of the live process that holds the run lock of the project directory (this one
// included), 0 when none does or there is no project directory. Only looks at the lock.
int SW_RunLockHolder(const char* projectDir);
// True when a writer of the run directory is gone without giving its lock up: a run lock stands
// whose process is gone (or an empty one), or the status says "running" or "started" while no
// live process holds the lock. A take-over of the lock (SW_RunLock) ends what that writer was
// doing: a run, a copy, or nothing.
bool SW_RunIsGone(const char* projectDir);
// The end of a run of this process, or of a start that ran nothing: the status "finished" and
// the run lock given up, in one step for whoever takes the lock (see SW_RunLock), so that no
// command is refused for a run whose status says it finished.
void SW_EndRun(const char* projectDir);

// What a background run of a simulation is made of.
struct SW_BackgroundRun {
  AK_String runDirectory;    // SW_RunDirectory of the simulation
  AK_String projectDir;      // ProjectDir of the top object
  AK_String parentPath;      // the simulation's parent, relative to the top object
  AK_String simulationId;    // the simulation's identifier
  bool continuing = false;   // "Continue" rather than "Run", and the log appended to
  // The simulation's "$" variables (name, value), which a project does not keep: the second
  // process sets them before it runs.
  std::vector<std::pair<AK_String, AK_String>> variables = {};
  // The time step a continue loads before it goes on ("" none): the state that the user chose
  // in the starting process, which the saved project's record need not name.
  AK_String timeStep = {};
};

// The saved simulations that a start of a run in another process accepts to run
// (".simulation_start" in the run directory, the digest of each, AK_FileDigest, on a line of its
// own): its launcher names the one saved when it starts the run, and adds each it saves again
// before that run is over, so that the run runs values its launcher saved, at its start or
// after it, and never those of another process. Every save writes the attribute file and adds
// its digest under the directory's lock (AK_DirectoryLock), and the run looks under it too: a
// save is seen with its digest or not at all.
// Adds the digest; "" expects nothing from now on (a start that expects nothing, and the start
// of a run before it names its own).
void SW_ExpectSavedSimulation(const char* projectDir, const char* stamp);
// The digests expected, one a line, "" when none is.
AK_String SW_ExpectedSavedSimulation(const char* projectDir);
// True when the run may run the saved simulation of that digest: none is expected, or it is one
// of them.
bool SW_SavedSimulationExpected(const char* projectDir, const char* stamp);

// The values a run runs under (".simulation_values" in the run directory): the digest of the
// saved simulation's values when they were its own at its start, "-" when they were not. Whoever
// ends that run after its process is gone names its last time step in the saved simulation only
// while its values are still those. Read "" when there is none.
void SW_WriteRunValues(const char* projectDir, const char* digest);
AK_String SW_ReadRunValues(const char* projectDir);

// Writes "start.macro" into the run directory: the set commands that make the second process
// load the project, load the chosen time step (when there is one), set the simulation's
// variables (one line each after "LoadProject", the value escaped as saved attribute values
// are; a name that is no variable name is left out) and, last, run or continue the
// simulation. 0 when written; otherwise 1 and the error text: "cannot create start macro
// file " + path (the path between single quotes when
// `quotePath`), or, for an object path that holds a double quote, a line end or a "$" (paths
// travel unescaped), a text that names the path.
int SW_WriteStartMacro(const SW_BackgroundRun& run, bool quotePath = false);

// The start line: the program and "-offscreen", the macro file and the redirection of the
// standard output to "start.log" (">" for a new run, ">>" when continuing), every path in
// single quotes for sh.
AK_String SW_BackgroundStartLine(const SW_BackgroundRun& run);
// The start line without the program.
AK_String SW_BackgroundStartArguments(const SW_BackgroundRun& run);

// The status and info files of run directories that a start marks "started" before its
// process may run (written after, "started" could replace the run's own "running" or
// "finished", and the run would look started for ever), and puts back as they were when the
// start started nothing.
class SW_StartedMarks {
public:
  void Mark(const char* runDirectory);
  void Undo();

private:
  struct Before {
    AK_String path, text;
    bool existed = false;
  };
  std::vector<Before> _before;
};

// Writes the start macro, then either writes the start line and a line end into `batch`, or,
// without a batch stream, starts the program detached and marks the status and info files
// "started". 0 when done; otherwise 1 with the error text ("cannot start " + line when the
// process could not be started, the status then unchanged).
// `started` receives the id of the started process before it runs (see AK_RunCommand).
int SW_StartBackgroundRun(const SW_BackgroundRun& run, std::FILE* batch, const AK_StartedHook& started = {});
