// Files and directories. Every function here that touches the file system first passes its
// path through AK_NormalizePath, so paths written with backslashes (macros and project files
// made on other systems) still work. The separator this program writes is AK_DIR_SEP.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "AK_Array.h"
#include "AK_String.h"

constexpr char AK_DIR_SEP = '/';
constexpr const char* AK_DIR_SEP_TEXT = "/";

// The path with every "\" turned into "/".
AK_String AK_NormalizePath(const char* path);

// Joins a directory and a name with AK_DIR_SEP ("" joins as "."; no doubled separator).
AK_String AK_JoinPath(const char* directory, const char* name);

// fopen through AK_NormalizePath. An open for writing (a mode with "w", "a" or "+") asks the
// failure hook first (kind "create").
std::FILE* AK_FileOpen(const char* path, const char* mode);
// A file a test makes unreadable, as a file of another user is (CI may run as root, whom the
// missing read bit stops from nothing): items "open:NAME" of the environment variable
// TORVU_FAIL (kFailOnceVariable; NAME a file's base name) fail every open for reading of a file
// of that name in this process, with errno EACCES. Every opener for reading asks it first: the
// opens of AK_File and AK_FileOpen in a read mode, AK_OpenTextInput, AK_ReadFileVersion and
// AK_StreamOpen. Read once; false for every file without the variable.
// Directories a test makes unreadable the same way: an item "list:NAME" fails every listing of a
// directory of that name (AK_VisitDirectory, AK_ListDirectory), one "enter:NAME" that listing too
// and every look at and open of a path below it (AK_FileExists, AK_IsRegularFile,
// AK_IsDirectory, AK_LookAtPath, the opens for reading, AK_ReadFileVersion), all with errno
// EACCES, as a directory without its read or its search permission does. A single look that fails
// as an I/O error does is the hook's kind "look" (see AK_FailsNow).
bool AK_OpenForReadingFails(const char* path);
// Counts from now on the opens for reading (those that ask AK_OpenForReadingFails) of the files
// of this base name, "" for none: how a test tells how often a command reads a file.
void AK_CountOpensForReading(const char* baseName);
long AK_OpensForReadingCounted();

// What a look at a path finds: nothing stands there (no such file, or a level on the way is no
// directory), something stands there, or the look itself failed (a directory on the way that
// cannot be entered, an I/O error): then nobody can tell whether it is there, and a reader must
// not take it for missing. There is no yes or no in it: a caller names the outcome it acts on, and
// one that drops the answer is refused by the compiler.
enum class [[nodiscard]] AK_PathLook { Missing, Found, Failed };
// Failed comes with "<path>: <the system's reason>" in `failure` when given, and errno. Each look
// asks the failure hook first (kind "look").
[[nodiscard]] AK_PathLook AK_LookAtPath(const char* path, AK_String* failure = nullptr);
// The same look at a directory, in one look: Found only for a directory (through symbolic links),
// Missing for nothing or anything else there.
[[nodiscard]] AK_PathLook AK_LookAtDirectory(const char* path, AK_String* failure = nullptr);
// What stands at a path, in one look (through symbolic links): nothing, a regular file, a
// directory, anything else, or the look failed (as AK_LookAtPath, and asked of the failure hook as
// it is). A caller that acts on the kind of what stands asks this once: a first look and then a
// second, two-way one would pass over a file whenever the second failed.
enum class [[nodiscard]] AK_PathKind { Missing, RegularFile, Directory, Other, Failed };
[[nodiscard]] AK_PathKind AK_LookAtKind(const char* path, AK_String* failure = nullptr);

// The directory that a path given for a project leads to, spelled as a save builds it and names
// it: "\" turned into "/", "." levels and doubled or trailing separators dropped, and each ".."
// taken together with the level before it where that level does not stand (nothing is there to
// lead through) or is a directory itself, not a symbolic link (whose ".." leads elsewhere). A ".."
// at the start or after a symbolic link stays, for the system to follow. "" with `failure`
// ("<path>: <why>") when a level before a ".." stands as no directory (the path leads nowhere) or
// cannot be looked at (each look asked of the failure hook, kind "look").
[[nodiscard]] AK_String AK_ResolvedDirectory(const char* path, AK_String* failure = nullptr);

// While one lives (nested ones share the outermost's), the directories found standing by
// AK_LookAtPathOnce or made by AK_MakeDirectory are taken to stand without another look: a save
// looks at each directory once, and that look serves its refusal, its holds, its check for levels
// to make and the making. A move or removal of a directory through this library forgets them all.
class AK_DirectoriesSeen {
public:
  AK_DirectoriesSeen();
  ~AK_DirectoriesSeen();
  AK_DirectoriesSeen(const AK_DirectoriesSeen&) = delete;
  AK_DirectoriesSeen& operator=(const AK_DirectoriesSeen&) = delete;
};
// AK_LookAtPath, answered Found without a look for a directory an AK_DirectoriesSeen remembers;
// a directory it finds is remembered.
[[nodiscard]] AK_PathLook AK_LookAtPathOnce(const char* path, AK_String* failure = nullptr);

// An open file that closes itself. It converts to its FILE*, so it is used wherever one is
// (null when the open failed).
//
// A file opened with AK_File::Replacing is written under a temporary name beside its target
// and takes the target's place only when Close finds every byte written and the file closed;
// until then, and for ever after a failed write (a full disk), the previous file stays as it
// was. A replacing file that is never closed with Close is discarded: a writer that gives up
// half-way leaves nothing behind.
class AK_File {
public:
  AK_File() = default;
  AK_File(const char* path, const char* mode);
  // A new file for "w" or "wb" that replaces `path` at Close; closed (null) when the
  // temporary file cannot be created.
  static AK_File Replacing(const char* path, const char* mode = "w");
  // The same for a file that is rewritten all the time and worth nothing after a crash (the
  // progress of a run): it still takes its place whole, but is not forced to the disk first.
  static AK_File ReplacingVolatile(const char* path, const char* mode = "w");
  AK_File(AK_File&& other) noexcept { *this = static_cast<AK_File&&>(other); }
  AK_File& operator=(AK_File&& other) noexcept;
  AK_File(const AK_File&) = delete;
  AK_File& operator=(const AK_File&) = delete;
  ~AK_File();

  operator std::FILE*() const { return _file; }
  std::FILE* get() const { return _file; }

  // Pushes what was written so far into the file (a line of a recording that must stand at
  // once). False when that failed or anything written before did; Close is then false too.
  [[nodiscard]] bool Flush();

  // True when the file was open, nothing it read or wrote failed and the close succeeded;
  // for a replacing file, also that it now stands under its target's name. A second Close
  // is false.
  [[nodiscard]] bool Close();

private:
  void Discard();

  std::FILE* _file = nullptr;
  AK_String _target;      // a replacing file's final name ("" for an ordinary file)
  AK_String _temp;        // and the name it is written under
  AK_String _path;        // an ordinary file opened for writing: its name ("" otherwise)
  bool _sync = true;      // a replacing file is forced to the disk before it takes its place
  bool _failed = false;   // a flush failed: the file is not whole
};

// The pieces of a replacing write, shared by AK_File and the record stream: a new file
// beside `path` (same directory, a name ending in ".~" and six characters), made with the
// permissions the target has or a new file would get (what the umask leaves of 0666), so that
// a replaced file never stands with other permissions than the one before, not even for a
// moment; one whose permissions cannot be set is not made. Answered as an open descriptor
// with its name in `temp`, or -1 with errno (EISDIR when a directory stands in the target's
// place).
int AK_CreateReplacement(const char* path, AK_String& temp);
// Ends a replacing write whose data went through `fd` (still open; this closes it): when
// `written`, the data is synced and `temp` renamed over `path`. Otherwise, or when that
// fails, `temp` is removed and `path` left as it was. True when `path` now holds the data;
// after a failed sync, close or rename errno tells why.
[[nodiscard]] bool AK_CommitReplacement(int fd, const char* temp, const char* path, bool written, bool sync = true);
// Removes such a temporary of a write given up before its commit.
void AK_DropReplacement(const char* temp);
// True when the path is the temporary of a replacing write this process has not ended: no
// leftover of a killed writer, whatever its name says.
bool AK_IsOpenReplacement(const char* path);
// True when a file name (without directory) is such a temporary: a name, ".~" and six
// characters; `target` then receives the name of the file it was to replace. One whose writer
// is gone never takes a place.
bool AK_IsReplacementTemporary(const char* name, AK_String* target = nullptr);
// True when a file name (without directory) is a name of at least one character followed by
// `suffix`; `stem` then receives that name. The one test of the suffixes that temporaries carry
// ("<file>.~locked" below, a staged copy's "<file>.~staged").
bool AK_CutSuffix(const char* name, const char* suffix, AK_String& stem);
// A staged copy's files ("<file>.~staged") look like temporaries but are whole files waiting for
// their copy to be put in place: no cleaner of what killed writers left ever removes them.
inline constexpr const char* kStagedSuffix = ".~staged";

// What a cleaner of a directory removes of what killed writers left there.
struct AK_Leftovers {
  // No writer of the directory lives (the lock of the last one was taken over): every temporary
  // of a replacing write goes. Otherwise only those of writers that held the directory's lock
  // ("<file>.~locked"), which the cleaner holds itself.
  bool writersGone = false;
  // Only temporaries of the files this accepts (the name of the file each was to replace): a
  // directory may hold a user's own files beside the program's. All when not set.
  std::function<bool(const AK_String& target)> ownFile;
  // The lock file (a base name) whose copies that takers killed half-way left go too (see
  // AK_IsLockLeftover); "" for none.
  AK_String lockFile;
  // Told of each path before it goes, when set.
  std::function<void(const AK_String& path)> removing;
  // Told of every name of the directory in the same pass, when set: a caller that looks for names
  // of its own there needs no second pass over a directory that may hold a long series.
  std::function<void(const char* name)> seen;
};
// Removes, in one pass over the directory and under its lock (AK_DirectoryLock), what the rules
// name: never a staged file, a directory, nor a temporary this process has open. Nothing when the
// lock cannot be taken.
void AK_RemoveLeftovers(const char* directory, const AK_Leftovers& what);

// Reads one text line without its line end; a CRLF line end loses its CR as well. False at the
// end of the file when nothing was read.
bool AK_ReadLine(std::FILE* file, AK_String& line);

// Opens a text file of outside data for reading (mode "r" or "rb", a stream in binary mode).
// Only a regular file is read: a directory reads as nothing, and a device or a FIFO may read
// forever (/dev/zero). A UTF-8 byte-order mark at the start is skipped, so that the first
// line reads as the same line without it. False, and the file closed, when the path names no
// regular file or the file cannot be opened.
bool AK_OpenTextInput(AK_File& file, const char* path, const char* mode = "r");
bool AK_OpenTextInput(std::ifstream& in, const char* path);
// The error text of a path that AK_OpenTextInput refused: "'<path>' is no regular file" for
// something that exists but is no regular file, else the reader's own text.
AK_String AK_TextInputError(const char* path, const AK_String& cannotOpen);

// Reads a whole regular file as it is; false when the path names no regular file or the
// file cannot be opened or read.
bool AK_ReadTextFile(const char* path, AK_String& text);
// Reads the rest of an open file into `bytes`, every byte as it is (zero bytes too); false when
// a read failed.
bool AK_ReadRest(std::FILE* file, std::string& bytes);
// What tells one content of a file from any other (two saves of other values): a digest of the
// bytes and their count.
AK_String AK_ContentDigest(const char* bytes, size_t size);
// The same digest taken piece by piece, as the bytes pass: the bytes of a file given to it in
// their order, in pieces of any size, give AK_ContentDigest of the whole, so that a reader or a
// writer digests the file with no read of its own.
class AK_DigestOfBytes {
public:
  void Add(const void* bytes, size_t size);
  AK_String Text() const;

private:
  uint64_t _digest = 14695981039346656037ull;
  uint64_t _count = 0;
};
// The digest of the whole regular file, "" when there is none or it cannot be read.
AK_String AK_FileDigest(const char* path);
// While one lives, in its thread, AK_FileDigest reads each file once: it answers a file it read
// since the scope began with the digest it took then, while the same file (device, inode, size,
// modification and change times) stands at the path and this process (any thread) wrote nothing
// of that name since. A command that asks several times about what stands on the disk (a run's
// checks before its first step and its record after the last) so reads a large data file once;
// what another process writes meanwhile in a way that the file's times cannot tell is seen by the
// next command. Scopes nest: an inner one is part of the outer one's command.
class AK_FileDigestsOnce {
public:
  AK_FileDigestsOnce();
  ~AK_FileDigestsOnce();
  AK_FileDigestsOnce(const AK_FileDigestsOnce&) = delete;
  AK_FileDigestsOnce& operator=(const AK_FileDigestsOnce&) = delete;
private:
  friend AK_String AK_FileDigest(const char* path);
  struct Read;
  std::vector<Read>* _reads = nullptr;  // the outermost scope's
  AK_FileDigestsOnce* _outer;
};
// The failure hook of the tests, off unless one of the variables below is set.
//
// Every call of this program that changes what stands on the disk asks AK_FailsNow right before
// it makes the system call, and makes none when it answers true (errno is then EIO); the caller
// answers the failure as it answers the system's own. Its kinds, each named by the file it
// concerns (a replacing write by the file it replaces):
//   "create"  a file opened for writing: AK_FileOpen and AK_File in a mode that writes, the
//             temporary of a replacing write (AK_CreateReplacement), a record stream opened for
//             writing, a lock file written (the lock's own temporary),
//   "write"   the data of a file written: each flush of an AK_File that writes (AK_File::Flush,
//             and the last one in AK_File::Close), the record stream's data as one write at its
//             close, the batch file's, a lock's entry,
//   "sync"    the data of a replacing write forced to the disk (AK_CommitReplacement),
//   "close"   a written file closed (AK_File::Close, AK_CommitReplacement, the record stream,
//             a lock file),
//   "rename"  a file renamed: a replacing write put in place (AK_CommitReplacement: AK_File::Close
//             of a replacing file, AK_WriteWholeFile, AK_CopyFile, the record stream, the batch
//             file), AK_RenameFile, AK_ReplaceFile, a lock moved aside,
//   "link"    a hard link (a lock put in place),
//   "unlink"  a file removed (AK_DeleteFile, a lock released, a temporary dropped),
//   "mkdir"   a directory made (AK_MakeDirectory, AK_MakeDirectories),
//   "rmdir"   a directory removed (AK_DeleteFile of one, AK_DeleteDirectoryTree),
//   "look"    a look at whether a path stands (AK_LookAtPath): no change of the disk, but what a
//             command writes, moves or removes may follow from its answer, so a test fails it as
//             it fails a write (Failed, errno EIO). The two-way looks (AK_FileExists and the like)
//             are not asked: what they answer decides nothing on the disk.
// A call that comes after one that failed in the same write is not asked (a file whose data
// failed is not synced, and its close, which must still be made, counts only when all went well).
// So a replacing write counts five calls: create, write, sync (not for AK_File::ReplacingVolatile
// and the batch file), close and rename.
//
// The variables, read once:
//   TORVU_FAIL=ITEMS       items "KIND:NAME" separated by commas (NAME a file's base name; a
//                          rename or a link is named by its target). Each fails the first call of
//                          its kind on that name only ("write:NAME" the data of NAME, which fails
//                          a replacing write of NAME whole). "open:NAME" is another thing: see
//                          AK_OpenForReadingFails.
//   TORVU_FAIL_AT=N        the Nth call of the process (counted from 1 over every kind) fails,
//                          only that one.
//   TORVU_FAIL_COUNT=FILE  the process appends a line "<pid> <calls>" to FILE at its normal exit:
//                          the dry run that tells a test how many calls a command makes.
//   TORVU_FAIL_CALLS=FILE  the process appends a line "N KIND PATH" for each of its calls to FILE
//                          at its normal exit: which call of a dry run touches which file.
//   TORVU_KILL_AT=N        the process ends with SIGKILL right before its Nth call (counted as
//                          TORVU_FAIL_AT counts them): what a kill at that moment leaves.
// A failed call says so on the standard error: "torvu: failing call N: KIND PATH"; a kill first
// says "torvu: killed before call N: KIND PATH".
// A process started in the background gets none of them, so that what a test asks of one process
// is not asked of the run it starts; a variable "TORVU_FAIL_STARTED..." is handed to it instead
// under the name "TORVU_FAIL..." (TORVU_FAIL_STARTED_AT=3 becomes TORVU_FAIL_AT=3 there), and
// "TORVU_KILL_STARTED_AT" as "TORVU_KILL_AT".
inline constexpr const char* kFailOnceVariable = "TORVU_FAIL";
inline constexpr const char* kFailAtVariable = "TORVU_FAIL_AT";
inline constexpr const char* kFailCountVariable = "TORVU_FAIL_COUNT";
inline constexpr const char* kFailCallsVariable = "TORVU_FAIL_CALLS";
inline constexpr const char* kFailStartedPrefix = "TORVU_FAIL_STARTED";
inline constexpr const char* kKillAtVariable = "TORVU_KILL_AT";
inline constexpr const char* kKillStartedPrefix = "TORVU_KILL_STARTED";
// True, with errno EIO, when the call of `kind` on `path` that the caller is about to make fails.
// Each call counts once: a caller asks once per system call.
bool AK_FailsNow(const char* kind, const char* path);
// The calls counted so far in this process.
long AK_FailureHookCalls();
// For a test of the hook itself within one process: the count starts again from 0, and the call
// `failAt` (0: none) fails as TORVU_FAIL_AT would make it.
void AK_RestartFailureCount(long failAt);
// The environment of a process started in the background from `environment` (entries
// "NAME=VALUE"), as said above.
std::vector<std::string> AK_StartedEnvironment(char** environment);

// Writes the bytes as the whole new content of the file through a replacing AK_File: the
// previous file stays as it was unless every byte reached the new one. True on success.
[[nodiscard]] bool AK_WriteWholeFile(const char* path, const char* bytes, size_t size);
[[nodiscard]] inline bool AK_WriteWholeFile(const char* path, const std::string& bytes)
{
  return AK_WriteWholeFile(path, bytes.data(), bytes.size());
}

// 1 when the path names a file or a directory, else 0.
int AK_FileExists(const char* path);
// 1 when the path names a regular file (through symbolic links), else 0.
int AK_IsRegularFile(const char* path);
// 1 when the path names a directory.
int AK_IsDirectory(const char* path);

// The levels of the path that do not stand yet, the deepest first: what AK_MakeDirectories would
// make, and a caller that gives up removes again. A level nobody can look at ends the answer with
// `failure` ("<path>: <the system's reason>"): what stands there is not known, so nothing may be made
// or given up on it.
[[nodiscard]] std::vector<AK_String> AK_MissingLevels(const char* path, AK_String& failure);

// Creates one directory level: 0 on success or when the directory exists, -1 otherwise.
[[nodiscard]] int AK_MakeDirectory(const char* path);
// The same for every level of the path that is missing.
[[nodiscard]] int AK_MakeDirectories(const char* path);

// Told of the path of every file this process puts in place (a replacing write, a copy, a rename),
// while set: a save into a directory it made knows which files there are its own.
extern std::function<void(const char* path)> AK_FilePutInPlace;

// Renames (moves) a file or directory: 0 on success, -1 otherwise. An existing target is
// never replaced: that is a failure, not a silent overwrite.
[[nodiscard]] int AK_RenameFile(const char* oldPath, const char* newPath);

// Moves a file to a new name, replacing a file of that name in one step (rename(2)): 0 on
// success, -1 otherwise (the target is then unchanged).
[[nodiscard]] int AK_ReplaceFile(const char* oldPath, const char* newPath);

// Deletes a directory with all its files and sub-directories (symbolic links are removed, not
// followed): 0 on success, -1 otherwise.
[[nodiscard]] int AK_DeleteDirectoryTree(const char* path);

// Removes an (empty) directory when the path names one, otherwise deletes the file:
// 0 on success, -1 otherwise.
[[nodiscard]] int AK_DeleteFile(const char* path);

// Copies a file byte for byte through a replacing write: 0 on success, 1 when the source
// cannot be opened, 2 when the target cannot be created (also when it names something other
// than a file, such as a device or a directory), 3 on a read error of the source, 4 when the
// target could not be written or closed completely (a full disk is not a success). After
// 3 or 4 a previous target stays as it was. A target that is the source itself (under
// another spelling of its path) is left untouched: 0.
[[nodiscard]] int AK_CopyFile(const char* source, const char* target);

// Names (without directory) of the files and sub-directories of a directory, sorted ascending
// by byte comparison, without ".", ".." and names beginning with "..". With a non-empty
// extension only names whose AK_String::GetExtension equals it exactly. A directory that
// cannot be opened gives an empty list.
// `read`, when given, receives whether the directory could be read: a failure lists nothing, and
// leaves errno. A caller that must not take a directory it cannot read for an empty one asks it.
AK_Array<AK_String> AK_ListDirectory(const char* directory, const char* extension, bool* read = nullptr);
// The same names in the directory's own order, one at a time: a pass over a large directory
// that needs no order.
// False when the directory cannot be read (nothing visited then).
bool AK_VisitDirectory(const char* directory, const char* extension, const std::function<void(const char*)>& visit);

// The environment variable HOME, else the current directory.
AK_String AK_HomeDirectory();

// The current working directory ("" when unknown).
AK_String AK_CurrentDirectory();

// What makes a file the same file under any of its names: its device and inode numbers.
struct AK_FileIdentity {
  uint64_t device = 0;
  uint64_t inode = 0;
  bool known = false;  // false when the file could not be asked
  bool SameAs(const AK_FileIdentity& other) const
  {
    return known && other.known && device == other.device && inode == other.inode;
  }
};

// The identity of an open file, or of the file at a path (not known when there is none).
AK_FileIdentity AK_FileIdentityOfStream(std::FILE* file);
AK_FileIdentity AK_FileIdentityOfPath(const char* path);

// What tells one writing of a file from every other: the file's identity and the time its
// status last changed, which no user can set back. A file written anew with the text an earlier
// one had is still another version.
struct AK_FileVersion {
  AK_FileIdentity identity;
  int64_t changed = 0;  // nanoseconds
  size_t size = 0;      // the bytes read (a zero byte among them ends the text early); not compared
  bool operator==(const AK_FileVersion& other) const
  {
    return identity.SameAs(other.identity) && changed == other.changed;
  }
};
enum class AK_VersionRead { Read, Missing, Failed };
// Reads a small regular file whole (at most `limit` bytes) with its version, taken from the very
// file read. Missing when nothing stands at the path (a dangling symbolic link included);
// Failed, with the path and the system's reason in `failure`, when it cannot be read or is no
// regular file or is longer than the limit.
AK_VersionRead AK_ReadFileVersion(const char* path, size_t limit, AK_String& text, AK_FileVersion& version,
                                  AK_String& failure);
