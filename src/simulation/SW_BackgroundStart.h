// The start of a simulation's run in a second process of the program: the start macro that
// makes that process load the project and run, the start line that starts it (alone, or as a
// line of a batch), and the status and info files it marks "started" before that process runs.
#pragma once

#include <cstdio>
#include <utility>
#include <vector>

#include "AK_Basic.h"
#include "AK_Process.h"
#include "SW_SimulationStatus.h"

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
  // The digest of the simulation's values as saved for the run ("" when not known).
  AK_String valuesDigest = {};
};

// Writes "start.macro" into the run directory: the set commands that make the second process
// load the project, load the chosen time step (when there is one), set the simulation's
// variables (one line each after "LoadProject", the value escaped as saved attribute values
// are; a name that is no variable name is left out) and, last, run or continue the
// simulation. 0 when written; otherwise 1 and the error text: "cannot create start macro
// file " + path (the path between single quotes when
// `quotePath`), or, for an object path that holds a double quote, a line end or a "$" (paths
// travel unescaped), a text that names the path.
[[nodiscard]] int SW_WriteStartMacro(const SW_BackgroundRun& run, bool quotePath = false);

// The start line: the program and "-offscreen", the macro file and the redirection of the
// standard output to "start.log" (">" for a new run, ">>" when continuing), every path in
// single quotes for sh.
AK_String SW_BackgroundStartLine(const SW_BackgroundRun& run);

// The status and info files of run directories that a start marks "started" before its
// process may run (written after, "started" could replace the run's own "running" or
// "finished", and the run would look started for ever), and puts back as they were when the
// start started nothing. An "Interrupt" answered once the start holds the run lock stays: the
// run reads it and ends before its first step.
class SW_StartedMarks {
public:
  // Called under the lock of the run directory, in one step with the taking of the run lock:
  // keeps the files as they are for Undo, and turns an "interrupted" that no run read (one
  // written before this start) into "finished", so that an "Interrupt" from now on is told
  // apart from it. False, with the reason, when a file cannot be read ("cannot read <path>:
  // <reason>") or that word could not be written ("the status file cannot be written: <reason>").
  [[nodiscard]] bool Begin(const char* runDirectory, AK_String& reason);
  // "started" in the status and info files, unless an "Interrupt" came since Begin (a directory
  // not begun is begun first), and the run's values "-" where they would vouch for `runsUnder`,
  // the digest of the values saved for the run ("" when not known). False, with the reason, when
  // not written.
  [[nodiscard]] bool Mark(const char* runDirectory, AK_String& reason, const AK_String& runsUnder = {});
  // Puts back what the files (the run's values among them) said before, where they still say what this start left there (a
  // refusal's reason, or an "Interrupt", stays). False, with the reason, when one could not be.
  [[nodiscard]] bool Undo(AK_String& reason);

private:
  struct File {
    AK_String path;
    bool existed = false;
    AK_String before, left;  // the content before the start; what the start left there
  };
  struct Directory {
    AK_String runDirectory;
    File status, info, values;
  };
  Directory* Find(const char* runDirectory);
  std::vector<Directory> _directories;
};

// Writes the start macro, then either writes the start line and a line end into `batch`, or,
// without a batch stream, starts the program detached and marks the status and info files
// "started" through `marks` (begun by the caller, see SW_StartedMarks, who puts them back when
// the start fails; without them, marks of its own that it puts back itself). 0 when done;
// otherwise 1 with the error text ("cannot start " + line when the process could not be
// started). A process that started, but whose "started" could not be written, is 0 with the
// error text saying so.
// `started` receives the id of the started process before it runs (see AK_RunCommand).
[[nodiscard]] int SW_StartBackgroundRun(const SW_BackgroundRun& run, std::FILE* batch,
                                        SW_StartedMarks* marks = nullptr, const AK_StartedHook& started = {});
