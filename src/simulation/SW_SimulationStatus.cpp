// Status and info files, start macro and start line of background runs.
#include "SW_SimulationStatus.h"

#include <cstring>

#include "AK_FrameworkState.h"
#include "AK_Object.h"

namespace {

AK_String StatusPath(const char* projectDir) { return AK_JoinPath(SW_RunDirectory(projectDir), ".simulation_status"); }
AK_String InfoPath(const char* projectDir) { return AK_JoinPath(SW_RunDirectory(projectDir), ".simulation_info"); }
AK_String MacroPath(const SW_BackgroundRun& run) { return AK_JoinPath(run.runDirectory, "start.macro"); }
AK_String LogPath(const SW_BackgroundRun& run) { return AK_JoinPath(run.runDirectory, "start.log"); }

// The status and info files change at every step of a run: they take their place whole, but
// are not forced to the disk each time.
void WriteLine(const AK_String& path, const char* text)
{
  AK_File file = AK_File::ReplacingVolatile(path, "w");
  if (!file) return;
  std::fprintf(file, "%s\n", text);
  file.Close();
}

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

}  // namespace

AK_String SW_BackgroundStartArguments(const SW_BackgroundRun& run)
{
  AK_String arguments;
  // The other process reads the class files this one reads.
  if (!AttributesDirectory.IsEmpty())
    arguments = AK_String("-files ") + AK_ShellQuote(AbsoluteDirectory(AttributesDirectory)) + " ";
  arguments += AK_String("-offscreen ") + AK_ShellQuote(MacroPath(run)) + (run.continuing ? " >> " : " > ") +
               AK_ShellQuote(LogPath(run));
  return arguments;
}

AK_String SW_RunDirectory(const char* projectDir)
{
  return projectDir && *projectDir ? AK_String(projectDir) : AK_String(".");
}

// A simulation without a project directory has no run directory: its run keeps no files,
// so that nothing lands in the current directory.
static bool HasRunDirectory(const char* projectDir) { return projectDir && *projectDir; }

AK_String SW_ReadStatusFile(const char* projectDir)
{
  if (!HasRunDirectory(projectDir)) return "unknown";
  AK_File file(StatusPath(projectDir), "r");
  char word[64];
  // A word of zero bytes (a damaged file) is no word either.
  if (!file || std::fscanf(file, "%63s", word) != 1 || !*word) return "unknown";
  return word;
}

void SW_WriteStatusFile(const char* projectDir, const char* word)
{
  if (!HasRunDirectory(projectDir)) return;
  WriteLine(StatusPath(projectDir), word);
}

AK_String SW_ReadInfoFile(const char* projectDir)
{
  AK_String text;
  if (!HasRunDirectory(projectDir) || !AK_ReadTextFile(InfoPath(projectDir), text)) return "";
  return text;
}

void SW_WriteInfoFile(const char* projectDir, const char* text)
{
  if (!HasRunDirectory(projectDir)) return;
  WriteLine(InfoPath(projectDir), text);
}

int SW_WriteStartMacro(const SW_BackgroundRun& run)
{
  AK_String path = MacroPath(run);
  const AK_String simulationPath =
      run.parentPath.IsEmpty() ? run.simulationId : run.parentPath + "/" + run.simulationId;
  // The object paths travel unescaped between quotes; Ids are plain identifiers, so only a
  // damaged tree could put a quote there.
  if (const char* bad = std::strpbrk(simulationPath, "\"\n\r$")) {
    AK_ErrorText = AK_String("cannot create start macro file ") + path + ": the character '" +
                   AK_String(bad, bad + 1) + "' in the path " + simulationPath;
    return 1;
  }
  AK_File file = AK_File::Replacing(path, "w");
  if (file) {
    WriteSetLine(file, "", "ProjectDir", run.projectDir);
    WriteSetLine(file, run.parentPath, "CreateSimulation", run.simulationId);
    WriteSetLine(file, simulationPath, "DeactivateLoadingPsaResults", "");
    WriteSetLine(file, simulationPath, "LoadProject", "");
    WriteSetLine(file, simulationPath, run.continuing ? "Continue" : "Run", "");
  }
  if (!file || !file.Close()) {
    AK_ErrorText = AK_String("cannot create start macro file ") + path;
    return 1;
  }
  return 0;
}

AK_String SW_BackgroundStartLine(const SW_BackgroundRun& run)
{
  return AK_ShellQuote(ProgramPath()) + " " + SW_BackgroundStartArguments(run);
}

int SW_StartBackgroundRun(const SW_BackgroundRun& run, std::FILE* batch)
{
  if (SW_WriteStartMacro(run) != 0) return 1;
  AK_String line = SW_BackgroundStartLine(run);
  if (batch) {
    std::fprintf(batch, "%s\n", line.c_str());
    return 0;
  }
  AK_MESSAGE(AK_String("starting ") + line + " in background...");
  // The batch file lies beside the run's other files, so two runs never share one.
  AK_BatchFileName = AK_JoinPath(run.runDirectory, "start.bat");
  int started = AK_RunCommand(ProgramPath(), SW_BackgroundStartArguments(run), 1, 1);
  AK_BatchFileName = "";
  if (started != 0) {
    AK_ErrorText = AK_String("cannot start ") + line;
    return 1;
  }
  AK_MESSAGE(AK_String("started ") + line);
  SW_WriteStatusFile(run.runDirectory, "started");
  SW_WriteInfoFile(run.runDirectory, "started");
  return 0;
}
