// Status and info files, start macro and start line of background runs.
#include "SW_SimulationStatus.h"

#include <cerrno>
#include <cstring>
#include <optional>

#include "AK_FrameworkState.h"
#include "AK_Object.h"
#include "AK_ProcessLock.h"
#include "SW_SeriesCopy.h"
#include "SW_TimeStepList.h"

namespace {

AK_String StatusPath(const char* projectDir) { return AK_JoinPath(SW_RunDirectory(projectDir), ".simulation_status"); }
AK_String InfoPath(const char* projectDir) { return AK_JoinPath(SW_RunDirectory(projectDir), ".simulation_info"); }
constexpr const char* kLockFile = ".simulation_lock";
AK_String LockPath(const char* projectDir) { return AK_JoinPath(SW_RunDirectory(projectDir), kLockFile); }
AK_String ExpectationPath(const char* projectDir) { return AK_JoinPath(SW_RunDirectory(projectDir), ".simulation_start"); }
AK_String MacroPath(const SW_BackgroundRun& run) { return AK_JoinPath(run.runDirectory, "start.macro"); }
AK_String LogPath(const SW_BackgroundRun& run) { return AK_JoinPath(run.runDirectory, "start.log"); }

// The status and info files change at every step of a run: they take their place whole, but
// are not forced to the disk each time.
// True when written; otherwise the system's reason of the first failure.
bool WriteLine(const AK_String& path, const char* text, AK_String& reason)
{
  AK_File file = AK_File::ReplacingVolatile(path, "w");
  if (file) std::fprintf(file, "%s\n", text);
  if (file && file.Close()) return true;
  reason = std::strerror(errno);
  // A full disk has no room for a second file, but the line fits where the old one was: the
  // end of a run must not leave the run looking alive for ever.
  if (!AK_IsRegularFile(path)) return false;
  AK_File inPlace(path, "w");
  if (!inPlace) return false;
  std::fprintf(inPlace, "%s\n", text);
  return inPlace.Close();
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

// The run lock is kept only for a simulation with a project directory of its own.
static bool HasRunDirectory(const char* projectDir) { return projectDir && *projectDir; }

namespace {

// A digest is one whole line of the list.
bool IsListed(const AK_String& list, const char* stamp)
{
  return std::strstr("\n" + list + "\n", "\n" + AK_String(stamp) + "\n") != nullptr;
}

}  // namespace

void SW_ExpectSavedSimulation(const char* projectDir, const char* stamp)
{
  const AK_String path = ExpectationPath(projectDir);
  // Read, added to and written again while no save can come in between.
  AK_DirectoryLock writers(SW_RunDirectory(projectDir));
  if (!stamp || !*stamp) {
    if (AK_FileExists(path)) AK_DeleteFile(path);
    return;
  }
  AK_String list = SW_ExpectedSavedSimulation(projectDir);
  if (IsListed(list, stamp)) return;
  if (!list.IsEmpty() && list[list.Length() - 1] != '\n') list += "\n";
  list += AK_String(stamp) + "\n";
  AK_WriteWholeFile(path, list.c_str(), std::strlen(list.c_str()));
}

AK_String SW_ExpectedSavedSimulation(const char* projectDir)
{
  AK_String text;
  if (!AK_ReadTextFile(ExpectationPath(projectDir), text)) return "";
  return text;
}

bool SW_SavedSimulationExpected(const char* projectDir, const char* stamp)
{
  AK_DirectoryLock writers(SW_RunDirectory(projectDir));
  const AK_String list = SW_ExpectedSavedSimulation(projectDir);
  return list.IsEmpty() || (stamp && *stamp && IsListed(list, stamp));
}

void SW_WriteRunValues(const char* projectDir, const char* digest)
{
  AK_String ignored;
  WriteLine(AK_JoinPath(SW_RunDirectory(projectDir), ".simulation_values"), digest, ignored);
}

AK_String SW_ReadRunValues(const char* projectDir)
{
  AK_String text;
  if (!AK_ReadTextFile(AK_JoinPath(SW_RunDirectory(projectDir), ".simulation_values"), text)) return "";
  text.Trim();
  return text;
}

AK_String SW_ReadStatusFile(const char* projectDir)
{
  AK_File file(StatusPath(projectDir), "r");
  char word[64];
  // A word of zero bytes (a damaged file) is no word either.
  if (!file || std::fscanf(file, "%63s", word) != 1 || !*word) return "unknown";
  return word;
}

bool SW_WriteStatusFile(const char* projectDir, const char* word, AK_String* reason)
{
  // Written only when it changes: every look at it is cheap, every write a new file.
  if (SW_ReadStatusFile(projectDir) == word) return true;
  AK_String why;
  if (WriteLine(StatusPath(projectDir), word, why)) return true;
  if (reason) *reason = why;
  return false;
}

AK_String SW_ReadInfoFile(const char* projectDir)
{
  AK_String text;
  if (!AK_ReadTextFile(InfoPath(projectDir), text)) return "";
  return text;
}

void SW_WriteInfoFile(const char* projectDir, const char* text)
{
  AK_String ignored;
  WriteLine(InfoPath(projectDir), text, ignored);
}

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
  return AK_ShellQuote(ProgramPath()) + " " + SW_BackgroundStartArguments(run);
}

namespace {

// What writers killed in the run directory left: the temporaries of files they were putting in
// place, which never take it now, and a lock moved aside by a take-over that did not end. Never a
// staged copy, which its mark finishes or drops. Writers of the attribute and data files that are
// alive wait for the directory meanwhile.
void RemoveLeftovers(const char* projectDir)
{
  AK_Leftovers leftovers;
  leftovers.writersGone = true;
  leftovers.lockFile = kLockFile;
  AK_RemoveLeftovers(SW_RunDirectory(projectDir), leftovers);
}

// The word a lock file keeps for a purpose: a run's lock keeps the form it had before purposes
// were kept, so that every lock that says nothing reads as what it was taken for.
const char* PurposeWord(SW_LockPurpose purpose)
{
  switch (purpose) {
    case SW_LockPurpose::Run: return "";
    case SW_LockPurpose::Copy: return "copy";
    case SW_LockPurpose::Other: return "write";
  }
  return "";
}

// A word this build does not know came from a later one: ended as a run, as every lock was.
SW_LockPurpose PurposeOfWord(const AK_String& word)
{
  if (word == "copy") return SW_LockPurpose::Copy;
  if (word == "write") return SW_LockPurpose::Other;
  return SW_LockPurpose::Run;
}

bool StatusOfRunUnderWay(const AK_String& status) { return status == "running" || status == "started"; }

// The line a run that was gone leaves in the info file, before what else a take-over reports.
constexpr const char* kRunGone = "its run did not finish, its process is gone";

// Whoever takes over the lock of a holder that is gone ends what that holder was doing: a run
// that said it went on (or asked to stop) gets a true status, with the last progress line it
// wrote; a copy of time steps cut short is finished or dropped. A writer of anything else
// changed nothing a run leaves behind: the files stay as they are. A status of a run under way
// that no live lock stands for was left by a run that is gone, whoever held the lock after it.
SW_TakeOver EndWhatIsGone(const char* projectDir, SW_LockPurpose gone)
{
  AK_String before = SW_ReadInfoFile(projectDir);
  before.Trim();
  // A cut copy is finished whatever the lock says (a build before purposes wrote none).
  const SW_CutWork copy = SW_FinishCutCopy(SW_RunDirectory(projectDir));
  RemoveLeftovers(projectDir);
  if (copy == SW_CutWork::Finished) {
    // The ending of a run that the copy's process took over before it was cut stays beside it.
    if (std::strncmp(before, kRunGone, std::strlen(kRunGone)) == 0) {
      AK_String cut = SW_ReadInfoFile(projectDir);
      cut.Trim();
      SW_WriteInfoFile(projectDir, before + "; then " + cut);
    }
    return SW_TakeOver::CopyFinished;
  }
  // A copy that could not be finished stays marked: nothing of the directory is read meanwhile.
  if (copy == SW_CutWork::Failed) return SW_TakeOver::NothingToEnd;
  SW_FinishCutDeletion(SW_RunDirectory(projectDir));
  const AK_String status = SW_ReadStatusFile(projectDir);
  const bool runEnds = StatusOfRunUnderWay(status) ||
                       (gone == SW_LockPurpose::Run && status != "finished" && status != "unknown");
  if (!runEnds) return SW_TakeOver::NothingToEnd;
  // Said once, also when a taker before this one was killed while it ended the run.
  if (std::strncmp(before, kRunGone, std::strlen(kRunGone)) != 0)
    SW_WriteInfoFile(projectDir, AK_String(kRunGone) + (before.IsEmpty() ? "" : "; last: " + before));
  // The status stays until the run's newest time step is recorded (SW_RunLock::FinishEndedRun).
  return SW_TakeOver::RunEnded;
}

}  // namespace

SW_RunLock::SW_RunLock(const char* projectDir, const char* who, SW_LockPurpose purpose, const char* refused,
                       const SW_RecordRun& recordRun)
{
  if (!HasRunDirectory(projectDir)) {
    _held = true;
    return;
  }
  _directory = SW_RunDirectory(projectDir);
  _path = LockPath(projectDir);
  // A simulation saved with its project before it had a directory gets one from its run; a
  // writer of anything else finds nothing to write there.
  if (purpose == SW_LockPurpose::Run && !AK_FileExists(projectDir) && AK_MakeDirectory(projectDir) == 0)
    _madeDirectory = projectDir;
  // The lock, the status and what a run that is gone left are looked at and changed in one
  // step with the end of a run (SW_EndRun), which gives its lock up and writes "finished" in
  // one: a run is either going on with its lock or over.
  AK_DirectoryLock locked(SW_RunDirectory(projectDir));
  // A status of a run under way with no lock at all was left by a run that is gone.
  const bool noLockBefore = !AK_FileExists(_path);
  AK_LockEntry before;
  const char* word = PurposeWord(purpose);
  switch (AK_TakeProcessLock(_path, word, before)) {
    case AK_LockResult::TakenOver: {
      AK_MESSAGE(AK_String("WARNING: ") + who +
                 (before.pid != 0
                      ? AK_String::Format(": the run lock of process %d, which is gone, is taken over", before.pid)
                      : AK_String(": an empty or damaged run lock, whose entry cannot be read, is taken over")));
      // Until what the holder left is ended, the lock says what it was: a taker killed
      // meanwhile leaves the next one the same to end. A run ends only with the release of this
      // lock (FinishEndedRun), so its word stays until then. A lock whose entry cannot be read
      // says of no run that it was one; a status of a run under way still does.
      const SW_LockPurpose gone = before.pid == 0 ? SW_LockPurpose::Other : PurposeOfWord(before.purpose);
      if (gone != purpose) AK_SetLockPurpose(_path, PurposeWord(gone));
      _takeOver = EndWhatIsGone(projectDir, gone);
      _runToFinish = _takeOver == SW_TakeOver::RunEnded;
      if (_runToFinish) AK_StopAtWindow("run taken over");
      else if (gone != purpose) AK_SetLockPurpose(_path, word);
      _held = true;
      break;
    }
    case AK_LockResult::Taken: {
      _held = true;
      // A taker killed after it set the lock of a writer that was gone aside, and before it made
      // its own, left no lock: whatever that writer marked is finished by whoever takes it next.
      if (SW_FinishCutCopy(_directory) == SW_CutWork::Finished) {
        _takeOver = SW_TakeOver::CopyFinished;
        break;
      }
      SW_FinishCutDeletion(_directory);
      if (const AK_String status = SW_ReadStatusFile(projectDir); noLockBefore && StatusOfRunUnderWay(status)) {
        AK_MESSAGE(AK_String("WARNING: ") + who + ": the status \"" + status +
                   "\" of a run that is gone is disregarded");
        _takeOver = EndWhatIsGone(projectDir, SW_LockPurpose::Run);
        _runToFinish = _takeOver == SW_TakeOver::RunEnded;
      }
      break;
    }
    case AK_LockResult::Held:
      AK_ErrorText = AK_String(who) + ": " + refused +
                     (before.pid == AK_ProcessId()
                          ? AK_String(", a run of this simulation is going on in this process")
                          : AK_String::Format(", a run of this simulation is going on in process %d", before.pid));
      return;
    case AK_LockResult::Failed:
      AK_ErrorText = AK_String(who) + ": " + refused + ", the run lock cannot be taken: " + AK_LockError();
      return;
  }
  // The run that was gone ends with its newest time step recorded, before its status says so.
  if (_runToFinish && recordRun) recordRun(_directory);
}

SW_TakeOver SW_EndWhatIsGone(const char* projectDir, const char* who, const SW_RecordRun& recordRun)
{
  if (!HasRunDirectory(projectDir) || !AK_IsDirectory(projectDir) || SW_RunLockHolder(projectDir) != 0) return SW_TakeOver::None;
  if (!SW_RunIsGone(projectDir) && !SW_CopyIsMarked(SW_RunDirectory(projectDir)) &&
      !SW_DeletionIsMarked(SW_RunDirectory(projectDir)))
    return SW_TakeOver::None;
  SW_RunLock lock(projectDir, who, SW_LockPurpose::Other, "not taken over", recordRun);
  return lock.TakeOver();
}

AK_Leftovers SW_LeftoversAtLoad()
{
  AK_Leftovers leftovers;
  leftovers.lockFile = kLockFile;
  return leftovers;
}

int SW_RunLockHolder(const char* projectDir)
{
  return HasRunDirectory(projectDir) ? AK_LiveLockHolder(LockPath(projectDir)) : 0;
}

bool SW_RunIsGone(const char* projectDir)
{
  if (!HasRunDirectory(projectDir) || SW_RunLockHolder(projectDir) != 0) return false;
  // A lock whose writer is gone: whatever it was doing is ended by the take-over.
  if (AK_FileExists(LockPath(projectDir))) return true;
  // No lock at all, or only one set aside by a taker that was killed: the run that wrote the
  // status is gone as well.
  return StatusOfRunUnderWay(SW_ReadStatusFile(projectDir));
}

void SW_EndRun(const char* projectDir)
{
  AK_DirectoryLock locked(SW_RunDirectory(projectDir));
  SW_WriteStatusFile(projectDir, "finished");
  if (HasRunDirectory(projectDir)) AK_ReleaseProcessLock(LockPath(projectDir));
}

void SW_RunLock::FinishEndedRun()
{
  if (!_runToFinish) return;
  _runToFinish = false;
  AK_DirectoryLock locked(_directory);
  // Only while the lock is still this process's: a run of its own may have ended and given it
  // up, and another's may go on there now.
  if (!_held || _handedTo != 0 || AK_LiveLockHolder(_path) != AK_ProcessId()) return;
  if (const AK_String status = SW_ReadStatusFile(_directory); StatusOfRunUnderWay(status) || status == "interrupted")
    SW_WriteStatusFile(_directory, "finished");
}

SW_RunLock::~SW_RunLock()
{
  if (_path.IsEmpty()) return;
  FinishEndedRun();
  // A refused run leaves no directory it made: one that holds nothing is removed (a run that
  // went on left its files there), before the next taker of the lock may look at it.
  std::optional<AK_DirectoryLock> locked;
  if (!_madeDirectory.IsEmpty() && AK_IsDirectory(_madeDirectory)) locked.emplace(_madeDirectory);
  if (_handedTo != 0) AK_ReleaseProcessLock(_path, _handedTo);
  else if (_held) AK_ReleaseProcessLock(_path);
  if (!_madeDirectory.IsEmpty()) AK_DeleteFile(_madeDirectory);
}

void SW_RunLock::Release()
{
  if (_path.IsEmpty() || !_held) return;
  FinishEndedRun();
  AK_ReleaseProcessLock(_path);
  _held = false;
}

void SW_RunLock::HandOver(int pid)
{
  if (_path.IsEmpty() || !_held) return;
  if (AK_HandOverProcessLock(_path, pid)) _handedTo = pid;
}

void SW_RunLock::Keep()
{
  // Kept only by a process it was given to; a lock that was never handed over goes as usual.
  if (_handedTo == 0) return;
  _held = false;
  _handedTo = 0;
  // The started run writes its own status.
  _runToFinish = false;
}

void SW_StartedMarks::Mark(const char* runDirectory)
{
  for (const AK_String& path : {StatusPath(runDirectory), InfoPath(runDirectory)}) {
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
    if (before.existed) AK_WriteWholeFile(before.path, before.text.c_str(), std::strlen(before.text.c_str()));
    else AK_DeleteFile(before.path);
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
  int started = AK_RunCommand(ProgramPath(), SW_BackgroundStartArguments(run), 1, 1, mark);
  AK_BatchFileName = "";
  if (started != 0) {
    marks.Undo();
    AK_ErrorText = AK_String("cannot start ") + line;
    return 1;
  }
  AK_MESSAGE(AK_String("started ") + line);
  return 0;
}
