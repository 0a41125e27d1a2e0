// The start macro, the start line and the start of a background run.
#include "SW_BackgroundStart.h"

#include <cstring>

#include "AK_FrameworkState.h"
#include "AK_Object.h"
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

void SW_StartedMarks::Mark(const char* runDirectory)
{
  for (const AK_String& path : {SW_StatusFilePath(runDirectory), SW_InfoFilePath(runDirectory)}) {
    Before before;
    before.path = path;
    before.existed = AK_ReadTextFile(path, before.text);
    _before.push_back(std::move(before));
  }
  SW_WriteStatusFile(runDirectory, "started");
  SW_WriteInfoFile(runDirectory, "started");
}

void SW_StartedMarks::Undo()
{
  // Nothing runs: the files say what they said before.
  for (const Before& before : _before) {
    // Not looked at yet: the start failed and says so.
    if (before.existed) (void)AK_WriteWholeFile(before.path, before.text.c_str(), std::strlen(before.text.c_str()));
    else (void)AK_DeleteFile(before.path);
  }
  _before.clear();
}

int SW_StartBackgroundRun(const SW_BackgroundRun& run, std::FILE* batch, const AK_StartedHook& handOver)
{
  if (SW_WriteStartMacro(run) != 0) return 1;
  AK_String line = SW_BackgroundStartLine(run);
  if (batch) {
    std::fprintf(batch, "%s\n", line.c_str());
    return 0;
  }
  AK_MESSAGE(AK_String("starting ") + line + " in background...");
  SW_StartedMarks marks;
  const auto mark = [&](int pid) {
    if (handOver) handOver(pid);
    marks.Mark(run.runDirectory);
  };
  // The batch file lies beside the run's other files, so two runs never share one.
  AK_BatchFileName = AK_JoinPath(run.runDirectory, "start.bat");
  int started = AK_RunCommand(ProgramPath(), StartArguments(run), 1, 1, mark);
  AK_BatchFileName = "";
  if (started != 0) {
    marks.Undo();
    AK_ErrorText = AK_String("cannot start ") + line;
    return 1;
  }
  AK_MESSAGE(AK_String("started ") + line);
  return 0;
}
