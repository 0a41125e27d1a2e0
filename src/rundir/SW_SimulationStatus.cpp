// Status and info files, the saved simulations a start accepts and the values of a run.
#include "SW_SimulationStatus.h"

#include <cerrno>
#include <cstring>

#include "AK_ProcessLock.h"

namespace {

AK_String ExpectationPath(const char* runDirectory)
{
  return AK_JoinPath(SW_RunDirectoryOrCurrent(runDirectory), ".simulation_start");
}

// The status and info files change at every step of a run: they take their place whole, but
// are not forced to the disk each time. A line that cannot be written leaves the file before
// it as it was, never an emptied one, and the caller answers the failure: a run that ended but
// could not say so is ended by the next taker of its lock, which finds its process gone.
// True when written; otherwise the system's reason of the first failure.
bool WriteLine(const AK_String& path, const char* text, AK_String& reason)
{
  AK_File file = AK_File::ReplacingVolatile(path, "w");
  if (file) std::fprintf(file, "%s\n", text);
  if (file && file.Close()) return true;
  reason = std::strerror(errno);
  return false;
}

// A digest is one whole line of the list.
bool IsListed(const AK_String& list, const char* stamp)
{
  return std::strstr("\n" + list + "\n", "\n" + AK_String(stamp) + "\n") != nullptr;
}

}  // namespace

AK_String SW_RunDirectoryOrCurrent(const char* runDirectory)
{
  return runDirectory && *runDirectory ? AK_String(runDirectory) : AK_String(".");
}

AK_String SW_StatusFilePath(const char* runDirectory)
{
  return AK_JoinPath(SW_RunDirectoryOrCurrent(runDirectory), ".simulation_status");
}

AK_String SW_InfoFilePath(const char* runDirectory)
{
  return AK_JoinPath(SW_RunDirectoryOrCurrent(runDirectory), ".simulation_info");
}

AK_String SW_RunValuesFilePath(const char* runDirectory)
{
  return AK_JoinPath(SW_RunDirectoryOrCurrent(runDirectory), ".simulation_values");
}

bool SW_ExpectSavedSimulation(const char* runDirectory, const char* stamp, AK_String* reason)
{
  if (!stamp || !*stamp) return SW_ExpectOnlySavedSimulation(runDirectory, stamp, reason);
  // Read, added to and written again while no save can come in between.
  AK_DirectoryLock writers(SW_RunDirectoryOrCurrent(runDirectory));
  // A list that cannot be read is not written anew without the digests it holds.
  const AK_Read<AK_String> read = AK_ReadSmallFile(ExpectationPath(runDirectory));
  if (read.IsUnreadable()) {
    if (reason) *reason = AK_CannotRead(read);
    return false;
  }
  AK_String list = read.Value() ? *read.Value() : AK_String();
  if (IsListed(list, stamp)) return true;
  if (!list.IsEmpty() && list[list.Length() - 1] != '\n') list += "\n";
  list += AK_String(stamp) + "\n";
  if (AK_WriteWholeFile(ExpectationPath(runDirectory), list.c_str(), std::strlen(list.c_str()))) return true;
  if (reason) *reason = std::strerror(errno);
  return false;
}

bool SW_ExpectOnlySavedSimulation(const char* runDirectory, const char* stamp, AK_String* reason)
{
  const AK_String path = ExpectationPath(runDirectory);
  AK_DirectoryLock writers(SW_RunDirectoryOrCurrent(runDirectory));
  const AK_String list = stamp && *stamp ? AK_String(stamp) + "\n" : AK_String();
  const bool done = list.IsEmpty() ? AK_LookAtPath(path) == AK_PathLook::Missing || AK_DeleteFile(path) == 0
                                   : AK_WriteWholeFile(path, list.c_str(), std::strlen(list.c_str()));
  if (!done && reason) *reason = std::strerror(errno);
  return done;
}

AK_Read<AK_String> SW_ExpectedSavedSimulation(const char* runDirectory)
{
  return AK_ReadSmallFile(ExpectationPath(runDirectory));
}

AK_Read<bool> SW_SavedSimulationExpected(const char* runDirectory, const char* stamp)
{
  AK_DirectoryLock writers(SW_RunDirectoryOrCurrent(runDirectory));
  const AK_Read<AK_String> list = AK_ReadSmallFile(ExpectationPath(runDirectory));
  if (list.IsMissing()) return AK_Read<bool>::Found(true);
  return list.Then([&](const AK_String& text) { return text.IsEmpty() || (stamp && *stamp && IsListed(text, stamp)); });
}

bool SW_WriteRunValues(const char* runDirectory, const char* digest, AK_String* reason)
{
  AK_String why;
  if (WriteLine(SW_RunValuesFilePath(runDirectory), digest, why)) return true;
  if (reason) *reason = why;
  return false;
}

AK_Read<AK_String> SW_ReadRunValues(const char* runDirectory)
{
  return AK_ReadSmallFile(SW_RunValuesFilePath(runDirectory)).Then([](AK_String text) {
    text.Trim();
    return text;
  });
}

AK_Read<AK_String> SW_ReadStatusFile(const char* runDirectory)
{
  return AK_ReadSmallFile(SW_StatusFilePath(runDirectory)).Then([](const AK_String& text) {
    char word[64];
    // A word of zero bytes (a damaged file) is no word either.
    if (std::sscanf(text.c_str(), "%63s", word) != 1 || !*word) return AK_String("unknown");
    return AK_String(word);
  });
}

bool SW_WriteStatusFile(const char* runDirectory, const char* word, AK_String* reason)
{
  // Written only when it changes: every look at it is cheap, every write a new file.
  if (const AK_Read<AK_String> now = SW_ReadStatusFile(runDirectory); now.Value() && *now.Value() == word) return true;
  AK_String why;
  if (WriteLine(SW_StatusFilePath(runDirectory), word, why)) return true;
  if (reason) *reason = why;
  return false;
}

AK_String SW_QueryAnswer(const AK_Read<AK_String>& read, const char* missing)
{
  if (const AK_String* text = read.Value()) return *text;
  return read.IsMissing() ? AK_String(missing) : "unreadable: " + read.Failure();
}

AK_Read<AK_String> SW_ReadInfoFile(const char* runDirectory) { return AK_ReadSmallFile(SW_InfoFilePath(runDirectory)); }

bool SW_WriteInfoFile(const char* runDirectory, const char* text, AK_String* reason)
{
  AK_String why;
  if (WriteLine(SW_InfoFilePath(runDirectory), text, why)) return true;
  if (reason) *reason = why;
  return false;
}
