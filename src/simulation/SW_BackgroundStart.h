// The start of a simulation's run in a second process of the program: the start macro that
// makes that process load the project and run, the start line that starts it (alone, or as a
// line of a batch), and the status and info files it marks "started" before that process runs.
#pragma once

#include <cstdio>
#include <utility>
#include <vector>

#include "AK_Basic.h"
#include "AK_Process.h"

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
