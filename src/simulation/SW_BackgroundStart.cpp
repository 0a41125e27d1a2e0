// The start macro, the start line and the start of a background run.
#include "SW_BackgroundStart.h"

#include <cerrno>
#include <cstring>

#include "AK_FrameworkState.h"
#include "AK_Object.h"
#include "AK_ProcessLock.h"
#include "SW_SimulationStatus.h"

namespace {

AK_String MacroPath(const SW_BackgroundRun& run) { return AK_JoinPath(run.runDirectory, "start.macro"); }
AK_String LogPath(const SW_BackgroundRun& run) { return AK_JoinPath(run.runDirectory, "start.log"); }

// One set command of the macro, with the value escaped as every saved attribute file has it,
// so the second process reads back the very text ("%%q", "$name" and line ends included).
void WriteSetLine(std::FILE* file, const char* object, const char* attribute, const char* value)
{
  std::fprintf(file, "%s\n", AK_FormatSetCommand(object, attribute, value).c_str());
}

// The attributes directory as the other process must name it: it need not start where this
// one did.
AK_String AbsoluteDirectory(const AK_String& directory)
{
  if (directory.IsEmpty() || directory.IsAbsolutePath()) return directory;
  return AK_JoinPath(AK_CurrentDirectory(), directory);
}

AK_String ProgramPath()
{
  AK_String program = AK_ProgramPath();
  return program.IsEmpty() ? AK_String(AK_ProgramArgument(0)) : program;
}


// The start line without the program.
AK_String StartArguments(const SW_BackgroundRun& run)
{
  AK_String arguments;
  // The other process reads the class files this one reads.
  if (!AttributesDirectory.IsEmpty())
    arguments = AK_String("-files ") + AK_ShellQuote(AbsoluteDirectory(AttributesDirectory)) + " ";
  arguments += AK_String("-offscreen ") + AK_ShellQuote(MacroPath(run)) + (run.continuing ? " >> " : " > ") +
               AK_ShellQuote(LogPath(run));
  return arguments;
}

}  // namespace

int SW_WriteStartMacro(const SW_BackgroundRun& run, bool quotePath)
{
  const AK_String path = MacroPath(run);
  const AK_String cannot = "cannot create start macro file " + (quotePath ? "'" + path + "'" : path);
  const AK_String simulationPath =
      run.parentPath.IsEmpty() ? run.simulationId : run.parentPath + "/" + run.simulationId;
  // The object paths travel unescaped between quotes; Ids are plain identifiers, so only a
  // damaged tree could put a quote there.
  if (const char* bad = std::strpbrk(simulationPath, "\"\n\r$")) {
    AK_ErrorText = cannot + ": the character '" +
                   AK_String(bad, bad + 1) + "' in the path " + simulationPath;
    return 1;
  }
  AK_File file = AK_File::Replacing(path, "w");
  if (file) {
    WriteSetLine(file, "", "ProjectDir", run.projectDir);
    WriteSetLine(file, run.parentPath, "CreateSimulation", run.simulationId);
    WriteSetLine(file, simulationPath, "DeactivateLoadingPsaResults", "");
    WriteSetLine(file, simulationPath, "LoadProject", "");
    if (!run.timeStep.IsEmpty()) WriteSetLine(file, simulationPath, "LoadTimeStep", run.timeStep);
    for (const auto& [name, value] : run.variables)
      if (AK_IsVariableName(name)) WriteSetLine(file, simulationPath, name, value);
    WriteSetLine(file, simulationPath, run.continuing ? "Continue" : "Run", "");
  }
  if (!file || !file.Close()) {
    AK_ErrorText = cannot;
    return 1;
  }
  return 0;
}

AK_String SW_BackgroundStartLine(const SW_BackgroundRun& run)
{
  return AK_ShellQuote(ProgramPath()) + " " + StartArguments(run);
}

SW_StartedMarks::Directory* SW_StartedMarks::Find(const char* runDirectory)
{
  for (Directory& directory : _directories)
    if (directory.runDirectory == runDirectory) return &directory;
  return nullptr;
}

bool SW_StartedMarks::Begin(const char* runDirectory, AK_String& reason)
{
  AK_DirectoryLock locked(SW_RunDirectoryOrCurrent(runDirectory));
  Directory directory;
  directory.runDirectory = runDirectory;
  directory.status.path = SW_StatusFilePath(runDirectory);
  directory.info.path = SW_InfoFilePath(runDirectory);
  directory.values.path = SW_RunValuesFilePath(runDirectory);
  for (File* file : {&directory.status, &directory.info, &directory.values}) {
    const AK_Read<AK_String> read = AK_ReadSmallFile(file->path);
    // One that stands but cannot be read could not be put back as it was.
    if (read.IsUnreadable()) {
      reason = AK_CannotRead(read);
      return false;
    }
    file->existed = read.IsRead();
    file->before = file->existed ? *read.Value() : AK_String();
    file->left = file->before;
  }
  _directories.push_back(directory);
  // No run read it: the run of this start must not take it for its own interrupt.
  const AK_Read<AK_String> status = SW_ReadStatusFile(runDirectory);
  if (status.IsUnreadable()) {
    reason = AK_CannotRead(status);
    return false;
  }
  if (!status.Value() || *status.Value() != "interrupted") return true;
  if (AK_String why; !SW_WriteStatusFile(runDirectory, "finished", &why)) {
    reason = "the status file cannot be written: " + why;
    return false;
  }
  _directories.back().status.left = "finished\n";
  return true;
}

bool SW_StartedMarks::Mark(const char* runDirectory, AK_String& reason, const AK_String& runsUnder)
{
  AK_DirectoryLock locked(SW_RunDirectoryOrCurrent(runDirectory));
  if (!Find(runDirectory) && !Begin(runDirectory, reason)) return false;
  Directory& directory = *Find(runDirectory);
  // Until the run passes its gate, its values are none of its own: whoever takes over a start
  // killed before that changes no record for it. Values that say another run's already vouch for
  // none of this one's, and stay: a start that never runs leaves them as they were.
  const AK_Read<AK_String> values = SW_ReadRunValues(runDirectory);
  if (values.IsUnreadable()) {
    reason = AK_CannotRead(values);
    return false;
  }
  if (const AK_String* digest = values.Value();
      runsUnder.IsEmpty() || !digest || digest->IsEmpty() || *digest == runsUnder) {
    if (!SW_WriteRunValues(runDirectory, "-", &reason)) return false;
    directory.values.left = "-\n";
  }
  // An "Interrupt" answered since the start took the run lock: the run ends on it before its
  // first step.
  const AK_Read<AK_String> status = SW_ReadStatusFile(runDirectory);
  if (status.IsUnreadable()) {
    reason = AK_CannotRead(status);
    return false;
  }
  if (status.Value() && *status.Value() == "interrupted") return true;
  if (!SW_WriteStatusFile(runDirectory, "started", &reason)) return false;
  directory.status.left = "started\n";
  if (!SW_WriteInfoFile(runDirectory, "started", &reason)) return false;
  directory.info.left = "started\n";
  return true;
}

bool SW_StartedMarks::Undo(AK_String& reason)
{
  // Nothing runs: the files say what they said before, unless another writer had the last word.
  bool undone = true;
  for (const Directory& directory : _directories) {
    AK_DirectoryLock locked(SW_RunDirectoryOrCurrent(directory.runDirectory));
    for (const File* file : {&directory.status, &directory.info, &directory.values}) {
      const AK_Read<AK_String> read = AK_ReadSmallFile(file->path);
      // What cannot be read now is not put back over: it may be another writer's last word.
      if (read.IsUnreadable()) {
        if (undone) reason = AK_CannotRead(read);
        undone = false;
        continue;
      }
      const bool exists = read.IsRead();
      const AK_String now = exists ? *read.Value() : AK_String();
      if (now != file->left || (exists ? now == file->before && file->existed : !file->existed)) continue;
      const bool put = file->existed
                           ? AK_WriteWholeFile(file->path, file->before.c_str(), std::strlen(file->before.c_str()))
                           : AK_DeleteFile(file->path) == 0;
      if (!put && undone) reason = file->path + ": " + std::strerror(errno);
      undone = undone && put;
    }
  }
  _directories.clear();
  return undone;
}

int SW_StartBackgroundRun(const SW_BackgroundRun& run, std::FILE* batch, SW_StartedMarks* marks,
                          const AK_StartedHook& handOver)
{
  if (SW_WriteStartMacro(run) != 0) return 1;
  AK_String line = SW_BackgroundStartLine(run);
  if (batch) {
    std::fprintf(batch, "%s\n", line.c_str());
    return 0;
  }
  AK_MESSAGE(AK_String("starting ") + line + " in background...");
  SW_StartedMarks own;
  SW_StartedMarks& started = marks ? *marks : own;
  // A lock that cannot be handed over, or a status that cannot say "started", withholds the
  // go-ahead: nothing runs, rather than a run that refuses its lock or whose launcher waits on the
  // status of a run before.
  AK_String withheld;
  const auto mark = [&](int pid) {
    if (handOver && !handOver(pid)) {
      withheld = AK_String::Format("the run lock cannot be handed to process %d: ", pid) + std::strerror(errno);
      return false;
    }
    if (AK_String reason; !started.Mark(run.runDirectory, reason, run.valuesDigest)) {
      withheld = "its status cannot be marked \"started\": " + reason;
      return false;
    }
    return true;
  };
  // The batch file lies beside the run's other files, so two runs never share one.
  AK_BatchFileName = AK_JoinPath(run.runDirectory, "start.bat");
  const int result = AK_RunCommand(ProgramPath(), StartArguments(run), 1, 1, mark);
  AK_BatchFileName = "";
  if (result != 0) {
    AK_ErrorText = AK_String("cannot start ") + line + (withheld.IsEmpty() ? AK_String() : ": " + withheld);
    if (AK_String reason; !marks && !own.Undo(reason))
      AK_ErrorText += "; its status and info files cannot be put back: " + reason;
    return 1;
  }
  AK_MESSAGE(AK_String("started ") + line);
  return 0;
}
