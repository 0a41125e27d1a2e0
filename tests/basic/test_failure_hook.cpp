// The failure hook of the tests: every call that changes the disk is counted once, of every kind;
// the Nth fails alone, with EIO and a line that names it; nothing fails unless asked; a process
// started in the background gets only what a test hands it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "AK_Files.h"
#include "AK_ProcessLock.h"
#include "AK_Stream.h"
#include "TestSupport.h"

namespace {

namespace fs = std::filesystem;

// The calls of a replacing write, in order.
const std::vector<std::string> kReplacing = {"create", "write", "sync", "close", "rename"};

// A record stream with one number, written through `open`; errno tells the system's reason.
bool WriteRecord(const std::string& path, int (*open)(AK_STREAM&, const char*, const char*))
{
  AK_STREAM stream;
  if (!open(stream, path.c_str(), "wb")) return false;
  stream << int32_t(7);
  const bool closed = AK_StreamClose(stream) == 0;
  errno = stream.SystemError();
  return closed;
}

// One step of a writer: what it does, and the kinds of the calls it makes, in order.
struct Step {
  const char* what;
  std::vector<std::string> kinds;
  std::function<bool(const std::string& dir)> run;
};

// Every kind of call, each through the functions that make it.
std::vector<Step> Steps()
{
  return {
      {"make a directory", {"mkdir"}, [](const std::string& d) { return AK_MakeDirectory((d + "/sub").c_str()) == 0; }},
      {"make a directory that stands", {}, [](const std::string& d) { return AK_MakeDirectory((d + "/sub").c_str()) == 0; }},
      {"make two levels", {"mkdir", "mkdir"},
       [](const std::string& d) { return AK_MakeDirectories((d + "/x/y").c_str()) == 0; }},
      {"write a file whole", kReplacing,
       [](const std::string& d) { return AK_WriteWholeFile((d + "/sub/a").c_str(), std::string("one")); }},
      {"close a replacing file", kReplacing,
       [](const std::string& d) {
         AK_File file = AK_File::Replacing((d + "/sub/b").c_str());
         return file && std::fputs("two", file) >= 0 && file.Close();
       }},
      {"close a replacing file not forced to the disk", {"create", "write", "close", "rename"},
       [](const std::string& d) {
         AK_File file = AK_File::ReplacingVolatile((d + "/sub/v").c_str());
         return file && std::fputs("two", file) >= 0 && file.Close();
       }},
      {"write a file in place, flushed twice", {"create", "write", "write", "close"},
       [](const std::string& d) {
         AK_File file((d + "/sub/p").c_str(), "w");
         return file && std::fputs("line\n", file) >= 0 && file.Flush() && std::fputs("more\n", file) >= 0 &&
                file.Close();
       }},
      {"append to a file", {"create", "create", "write", "close"},
       [](const std::string& d) {
         std::FILE* file = AK_FileOpen((d + "/sub/p").c_str(), "a");
         if (!file) return false;
         std::fclose(file);
         AK_File again((d + "/sub/p").c_str(), "a");
         return again && again.Close();
       }},
      {"read a file", {}, [](const std::string& d) { return AK_File((d + "/sub/p").c_str(), "r").Close(); }},
      {"write a record", kReplacing,
       [](const std::string& d) { return WriteRecord(d + "/sub/r", AK_StreamOpenReplacing); }},
      {"write a record in place", {"create", "write", "close"},
       [](const std::string& d) { return WriteRecord(d + "/sub/q", AK_StreamOpen); }},
      // A look is no change of the disk, but what a writer does may follow from it: it counts, and
      // a failed one is neither "there" nor "not there". A two-way look is not asked.
      {"look at a file that stands", {"look"},
       [](const std::string& d) { return AK_LookAtPath((d + "/sub/q").c_str()) == AK_PathLook::Found; }},
      {"look at a file that does not stand", {"look"},
       [](const std::string& d) { return AK_LookAtPath((d + "/sub/none").c_str()) == AK_PathLook::Missing; }},
      {"ask whether a file stands", {}, [](const std::string& d) { return AK_FileExists((d + "/sub/q").c_str()) == 1; }},
      {"copy a file", kReplacing,
       [](const std::string& d) { return AK_CopyFile((d + "/sub/a").c_str(), (d + "/sub/c").c_str()) == 0; }},
      {"rename a file", {"rename"},
       [](const std::string& d) { return AK_RenameFile((d + "/sub/c").c_str(), (d + "/sub/d").c_str()) == 0; }},
      {"replace a file", {"rename"},
       [](const std::string& d) { return AK_ReplaceFile((d + "/sub/d").c_str(), (d + "/sub/b").c_str()) == 0; }},
      {"take a lock", {"create", "write", "close", "link", "unlink"},
       [](const std::string& d) {
         int holder = 0;
         return AK_TakeProcessLock((d + "/.lock").c_str(), holder) == AK_LockResult::Taken;
       }},
      {"release a lock", {"unlink"}, [](const std::string& d) { return AK_ReleaseProcessLock((d + "/.lock").c_str()); }},
      {"delete a file", {"unlink"}, [](const std::string& d) { return AK_DeleteFile((d + "/sub/a").c_str()) == 0; }},
      {"delete a directory", {"rmdir"}, [](const std::string& d) { return AK_DeleteFile((d + "/x/y").c_str()) == 0; }},
      // b, v, p, r and q stand in it.
      {"delete a tree", {"unlink", "unlink", "unlink", "unlink", "unlink", "rmdir"},
       [](const std::string& d) { return AK_DeleteDirectoryTree((d + "/sub").c_str()) == 0; }},
  };
}

// The kinds of every call of the steps, in order.
std::vector<std::string> AllKinds()
{
  std::vector<std::string> kinds;
  for (const Step& step : Steps()) kinds.insert(kinds.end(), step.kinds.begin(), step.kinds.end());
  return kinds;
}

}  // namespace

// Without a failing call asked for, every step works and each of its calls counts once.
TEST(FailureHook, EveryCallThatChangesTheDiskCountsOnceAndNothingFailsUnasked)
{
  ASSERT_EQ(std::getenv(kFailOnceVariable), nullptr);
  ASSERT_EQ(std::getenv(kFailAtVariable), nullptr);
  ScratchDir dir;
  AK_RestartFailureCount(0);
  for (const Step& step : Steps()) {
    const long before = AK_FailureHookCalls();
    EXPECT_TRUE(step.run(dir.Path())) << step.what;
    EXPECT_EQ(AK_FailureHookCalls() - before, long(step.kinds.size())) << step.what;
  }
  EXPECT_FALSE(fs::exists(dir / "sub"));
  EXPECT_TRUE(fs::is_directory(dir / "x"));
}

// The Nth call, for every N: every step before it works, the step that makes it fails with EIO
// and names that call and its kind; a step whose calls all come later works again once the hook
// is past it. One past the last call fails nothing.
TEST(FailureHook, OnlyTheNthCallFails)
{
  const std::vector<std::string> kinds = AllKinds();
  for (long n = 1; n <= long(kinds.size()) + 1; ++n) {
    SCOPED_TRACE("call " + std::to_string(n));
    ScratchDir dir;
    AK_RestartFailureCount(n);
    long made = 0;
    for (const Step& step : Steps()) {
      const bool holdsN = made < n && n <= made + long(step.kinds.size());
      testing::internal::CaptureStderr();
      errno = 0;
      const bool worked = step.run(dir.Path());
      const int error = errno;
      const std::string said = testing::internal::GetCapturedStderr();
      made += long(step.kinds.size());
      if (!holdsN) {
        EXPECT_TRUE(said.empty()) << step.what << ": " << said;
        if (made < n) {
          EXPECT_TRUE(worked) << step.what;
        }
        continue;
      }
      // A lock whose temporary cannot be removed is given back: the taking fails, and no lock stands.
      EXPECT_FALSE(worked) << step.what;
      EXPECT_EQ(error, EIO) << step.what;
      if (std::string(step.what) == "take a lock") {
        EXPECT_FALSE(fs::exists(dir / ".lock")) << step.what;
      }
      EXPECT_NE(said.find("torvu: failing call " + std::to_string(n) + ": " + kinds[size_t(n - 1)] + " "),
                std::string::npos)
          << step.what << ": " << said;
      break;
    }
    if (n > long(kinds.size())) {
      EXPECT_EQ(made, long(kinds.size()));
    }
  }
  AK_RestartFailureCount(0);
}

// A process started in the background gets no failure of its starter, unless handed one.
TEST(FailureHook, AStartedProcessGetsOnlyWhatIsHandedToIt)
{
  std::vector<std::string> entries = {"HOME=/h", "TORVU_FAIL=unlink:x", "TORVU_FAIL_AT=3",
                                      "TORVU_FAIL_COUNT=/tmp/c", "TORVU_FAILED=x", "TORVU_STOP_AT=w",
                                      "TORVU_FAIL_STARTED_AT=5", "TORVU_FAIL_STARTED=rename:y",
                                      "TORVU_FAIL_STARTEDX=1", "TORVU_KILL_AT=4", "TORVU_KILL_STARTED_AT=7"};
  std::vector<char*> environment;
  for (std::string& entry : entries) environment.push_back(entry.data());
  environment.push_back(nullptr);
  const std::vector<std::string> started = AK_StartedEnvironment(environment.data());
  EXPECT_EQ(started, (std::vector<std::string>{"HOME=/h", "TORVU_STOP_AT=w", "TORVU_FAIL_AT=5", "TORVU_FAIL=rename:y",
                                               "TORVU_KILL_AT=7"}));
}

namespace {

// The ways a file is replaced whole: each writes `text` as the new content of `path`.
struct Replacer {
  const char* what;
  std::function<bool(const std::string& path, const std::string& text)> write;
};

std::vector<Replacer> Replacers()
{
  return {
      {"AK_WriteWholeFile", [](const std::string& path, const std::string& text) { return AK_WriteWholeFile(path.c_str(), text); }},
      {"AK_File::Replacing",
       [](const std::string& path, const std::string& text) {
         AK_File file = AK_File::Replacing(path.c_str());
         return file && std::fputs(text.c_str(), file) >= 0 && file.Close();
       }},
      {"AK_File::ReplacingVolatile",
       [](const std::string& path, const std::string& text) {
         AK_File file = AK_File::ReplacingVolatile(path.c_str());
         return file && std::fputs(text.c_str(), file) >= 0 && file.Close();
       }},
      {"the record stream",
       [](const std::string& path, const std::string& text) {
         AK_STREAM stream;
         if (!AK_StreamOpenReplacing(stream, path.c_str(), "wb")) return false;
         stream << text.c_str();
         return AK_StreamClose(stream) == 0;
       }},
      {"AK_CopyFile",
       [](const std::string& path, const std::string& text) {
         const std::string source = path + ".source";
         std::FILE* f = std::fopen(source.c_str(), "w");
         const bool made = f && std::fputs(text.c_str(), f) >= 0 && std::fclose(f) == 0;
         const bool copied = made && AK_CopyFile(source.c_str(), path.c_str()) == 0;
         fs::remove(source);
         return copied;
       }},
  };
}

std::vector<std::string> NamesIn(const fs::path& dir)
{
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

// Each call of a replacing write failed in turn (its temporary made, its data written, synced,
// closed, put in place): the write answers the failure, the previous file stays byte for byte with
// its permissions, and no temporary is left beside it. With no call failed it is replaced.
TEST(FailureHook, EachFailedCallOfAReplacingWriteLeavesThePreviousFile)
{
  for (const Replacer& replacer : Replacers()) {
    SCOPED_TRACE(replacer.what);
    ScratchDir dir;
    const std::string path = dir / "target";
    AK_RestartFailureCount(0);
    ASSERT_TRUE(replacer.write(path, "old content"));
    fs::permissions(path, fs::perms(0604));
    const std::string old = ReadFile(path);
    const long before = AK_FailureHookCalls();
    ASSERT_TRUE(replacer.write(dir / "dry", "new content"));
    const long calls = AK_FailureHookCalls() - before;
    EXPECT_GE(calls, 4) << "made, written, closed and put in place";
    fs::remove(dir / "dry");
    for (long n = 1; n <= calls; ++n) {
      SCOPED_TRACE("call " + std::to_string(n));
      AK_RestartFailureCount(n);
      testing::internal::CaptureStderr();
      EXPECT_FALSE(replacer.write(path, "new content"));
      EXPECT_NE(testing::internal::GetCapturedStderr().find("torvu: failing call " + std::to_string(n) + ": "),
                std::string::npos);
      EXPECT_EQ(ReadFile(path), old);
      EXPECT_EQ(fs::status(path).permissions(), fs::perms(0604));
      EXPECT_EQ(NamesIn(dir.Path()), std::vector<std::string>{"target"});
    }
    AK_RestartFailureCount(0);
    EXPECT_TRUE(replacer.write(path, "new content"));
    EXPECT_NE(ReadFile(path), old);
    EXPECT_EQ(fs::status(path).permissions(), fs::perms(0604));
  }
}

// A replaced file keeps the permissions of the file before, also those the umask would take away
// from a new file; a new file gets what the umask leaves of 0666. The same for a writer that holds
// the directory's lock, whose temporary has a name of its own.
TEST(FailureHook, AReplacedFileKeepsItsPermissionsAndANewOneFollowsTheUmask)
{
  struct Case {
    mode_t umask;
    int old;  // -1: no file before
    int expected;
  };
  const Case cases[] = {{022, 0640, 0640}, {022, 0666, 0666}, {077, 0644, 0644}, {022, 0600, 0600},
                        {022, -1, 0644},   {027, -1, 0640},   {0, -1, 0666},     {077, -1, 0600}};
  for (const bool locked : {false, true}) {
    for (const Replacer& replacer : Replacers()) {
      for (const Case& c : cases) {
        SCOPED_TRACE(std::string(replacer.what) + (locked ? ", locked" : "") + ", umask " + std::to_string(c.umask) +
                     ", before " + std::to_string(c.old));
        ScratchDir dir;
        const std::string path = dir / "target";
        if (c.old >= 0) {
          WriteFile(path, "before");
          fs::permissions(path, fs::perms(c.old));
        }
        std::optional<AK_DirectoryLock> lock;
        if (locked) lock.emplace(dir.Path().c_str());
        const mode_t saved = ::umask(c.umask);
        const bool written = replacer.write(path, "after");
        ::umask(saved);
        EXPECT_TRUE(written);
        EXPECT_EQ(int(fs::status(path).permissions()), c.expected);
      }
    }
  }
}
