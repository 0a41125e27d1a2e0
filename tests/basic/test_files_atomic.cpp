// Replacing writes: a file (AK_File::Replacing) or a record stream (AK_StreamOpenReplacing)
// takes the place of the previous file only when every byte reached the disk; text input
// of outside data.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "AK_ProcessLock.h"
#include "TestSupport.h"

namespace {

std::string Contents(const std::string& path)
{
  std::ifstream in(path, std::ios::binary);
  return in ? std::string(std::istreambuf_iterator<char>(in), {}) : "<missing>";
}

// Writes `bytes` bytes of a pattern into `path` and reports whether the writer succeeded.
bool WriteText(const std::string& path, int bytes)
{
  AK_File file = AK_File::Replacing(path.c_str());
  if (!file) return false;
  for (int i = 0; i < bytes; ++i) std::fputc('a' + i % 26, file);
  return file.Close();
}

bool WriteRecords(const std::string& path, int bytes)
{
  AK_STREAM stream;
  if (!AK_StreamOpenReplacing(stream, path.c_str(), "wb")) return false;
  // Incompressible, so that the compressed file is as long as the data.
  AK_SeedRandom(7);
  for (int i = 0; i < bytes / 4; ++i) stream << static_cast<int32_t>(AK_Random());
  return AK_StreamClose(stream) == 0;
}

}  // namespace

TEST(ReplacingWrite, OnlyACompleteWriteReplacesThePreviousFile)
{
  struct Case {
    const char* writer;
    std::function<bool(const std::string&, int)> write;
  };
  const Case cases[] = {{"text", WriteText}, {"records", WriteRecords}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.writer);
    ScratchDir dir;
    std::string path = dir / "Object.dat";
    ASSERT_TRUE(c.write(path, 4000));
    ::chmod(path.c_str(), 0640);
    std::string previous = Contents(path);

    {
      FileSizeLimit full(1000);
      EXPECT_FALSE(c.write(path, 40000));
    }
    EXPECT_EQ(Contents(path), previous);
    EXPECT_EQ(AK_ListDirectory(dir.Path().c_str(), "").Count(), 1);

    ASSERT_TRUE(c.write(path, 400));
    EXPECT_NE(Contents(path), previous);
    struct stat st;
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);  // the replacement keeps the file's permissions
    EXPECT_EQ(AK_ListDirectory(dir.Path().c_str(), "").Count(), 1);

    // No file is created in place of a directory, nor in a directory that does not exist.
    EXPECT_FALSE(c.write(dir.Path(), 10));
    EXPECT_FALSE(c.write(dir / "missing/Object.dat", 10));
  }
}

TEST(ReplacingWrite, AnUnfinishedWriterLeavesNothingBehind)
{
  ScratchDir dir;
  ASSERT_TRUE(WriteText(dir / "a.atr", 10));
  {
    AK_File file = AK_File::Replacing((dir / "a.atr").c_str());
    std::fputs("half", file);
    AK_STREAM stream;
    ASSERT_TRUE(AK_StreamOpenReplacing(stream, (dir / "b.dat").c_str(), "wb"));
    stream << 1.5;
  }
  EXPECT_EQ(Contents(dir / "a.atr"), "abcdefghij");
  EXPECT_EQ(AK_ListDirectory(dir.Path().c_str(), "").Count(), 1);

  // Renaming never overwrites; replacing does.
  ASSERT_TRUE(WriteText(dir / "b.atr", 3));
  EXPECT_EQ(AK_RenameFile((dir / "b.atr").c_str(), (dir / "a.atr").c_str()), -1);
  EXPECT_EQ(AK_ReplaceFile((dir / "b.atr").c_str(), (dir / "a.atr").c_str()), 0);
  EXPECT_EQ(Contents(dir / "a.atr"), "abc");
}

// Text input of outside data: a byte-order mark is skipped, and only that; anything but a
// regular file is refused before it is opened (a FIFO would block the open for ever).
// Under the lock of its directory a writer's temporary has the one name every such writer
// gives it, so the next one writes over what a killed one left; without the lock it has a name
// of its own. Either is known as this process's own while it is open, never a leftover.
TEST(ReplacingWrite, UnderTheDirectoryLockTheTemporaryIsTheOneThatAKilledWriterLeft)
{
  ScratchDir dir;
  const std::string target = dir / "saved.atr", leftover = target + ".~locked";
  WriteFile(leftover, "half of what a killed writer wrote");
  for (const bool locked : {true, false}) {
    SCOPED_TRACE(locked ? "locked" : "not locked");
    std::optional<AK_DirectoryLock> lock;
    if (locked) lock.emplace(dir.Path().c_str());
    AK_File file = AK_File::Replacing(target.c_str());
    ASSERT_TRUE(file);
    std::fputs("whole", file);
    std::string temp;
    for (const AK_String& name : AK_ListDirectory(dir.Path().c_str(), ""))
      if (AK_IsReplacementTemporary(name) && AK_IsOpenReplacement((dir / name.c_str()).c_str())) temp = name.c_str();
    EXPECT_EQ(temp == "saved.atr.~locked", locked) << temp;
    EXPECT_FALSE(temp.empty());
    EXPECT_FALSE(AK_IsOpenReplacement(locked ? (dir / "other.~locked").c_str() : leftover.c_str()));
    EXPECT_TRUE(file.Close());
    EXPECT_FALSE(AK_IsOpenReplacement((dir / temp).c_str()));
    EXPECT_EQ(Contents(target), "whole");
    // Under the lock the leftover went with the write; without it, it is nobody's to touch.
    EXPECT_EQ(AK_ListDirectory(dir.Path().c_str(), "").Count(), locked ? 1 : 2);
    if (locked) {
      WriteFile(leftover, "left again");
    } else {
      EXPECT_EQ(Contents(leftover), "left again");
    }
  }
}

// What writers killed in a directory left goes with AK_RemoveLeftovers: with live writers about,
// every file "<file>.~locked" but the one this process is writing; once no writer lives, every
// temporary too. A staged copy's file, a directory, a name that only looks alike and the user's
// own files (where only the program's count) always stay; so does a live process's lock leftover.
TEST(ReplacingWrite, ClearingWhatKilledWritersLeftSparesOpenStagedAndOtherNames)
{
  struct Case {
    bool writersGone;
    bool onlyAtr;
    const char* left;
  };
  const std::string self = std::to_string(::getpid());
  const std::string alive = ".simulation_lock.stale." + self + " ";
  for (const Case& c : {Case{false, false, ".~locked c.atr.~Ab12Cd c.atr.~lockedx d.~locked e.atr.~locked f.TimeStep.~staged "},
                        Case{true, false, ".~locked c.atr.~lockedx d.~locked e.atr.~locked f.TimeStep.~staged "},
                        Case{true, true, ".~locked b.TimeStep.~locked c.atr.~lockedx d.~locked e.atr.~locked f.TimeStep.~staged "}}) {
    ScratchDir dir;
    for (const char* name : {"a.atr.~locked", "b.TimeStep.~locked"}) WriteFile(dir / name, "half");
    for (const char* name : {"c.atr.~Ab12Cd", "c.atr.~lockedx", ".~locked", "f.TimeStep.~staged"}) WriteFile(dir / name, "other");
    for (const std::string& name : std::vector<std::string>{".simulation_lock.stale.1073741000", ".simulation_lock.new.1073741001",
                                   ".simulation_lock.stale." + self})
      WriteFile(dir / name, "1\n");
    ASSERT_EQ(::mkdir((dir / "d.~locked").c_str(), 0755), 0);
    AK_DirectoryLock lock(dir.Path().c_str());
    AK_File open = AK_File::Replacing((dir / "e.atr").c_str());
    ASSERT_TRUE(open);
    std::fputs("whole", open);
    AK_Leftovers what;
    what.writersGone = c.writersGone;
    what.lockFile = ".simulation_lock";
    if (c.onlyAtr) what.ownFile = [](const AK_String& target) { return target.GetExtension() == AK_String("atr"); };
    int told = 0;
    what.removing = [&](const AK_String&) { ++told; };
    AK_RemoveLeftovers(dir.Path().c_str(), what);
    std::string names;
    for (const AK_String& name : AK_ListDirectory(dir.Path().c_str(), "")) names += std::string(name.c_str()) + " ";
    EXPECT_EQ(names, alive + c.left);
    EXPECT_EQ(told, c.writersGone && !c.onlyAtr ? 5 : 4);
    EXPECT_TRUE(open.Close());
    EXPECT_EQ(Contents(dir / "e.atr"), "whole");
  }
}

TEST(TextInput, SkipsAByteOrderMarkAndTakesRegularFilesOnly)
{
  ScratchDir dir;
  const std::string bom = "\xEF\xBB\xBF";
  struct Case { std::string bytes, firstLine; };
  const Case cases[] = {
      {"1 2\n3\n", "1 2"},
      {bom + "1 2\r\n3\n", "1 2"},
      {bom, ""},
      {"\xEF\xBB" "x\n", "\xEF\xBB" "x"},  // half a mark is data
      {"ab", "ab"},
      {"", ""},
      {"x" + bom + "\n", "x" + bom},  // a mark inside the file is data
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    const std::string path = dir.Write("t.txt", c.bytes);
    AK_File file;
    ASSERT_TRUE(AK_OpenTextInput(file, path.c_str(), "rb"));
    AK_String line;
    AK_ReadLine(file, line);
    EXPECT_EQ(std::string(line.c_str()), c.firstLine);
    std::ifstream in;
    ASSERT_TRUE(AK_OpenTextInput(in, path.c_str()));
    std::string streamed;
    std::getline(in, streamed);
    if (!streamed.empty() && streamed.back() == '\r') streamed.pop_back();
    EXPECT_EQ(streamed, c.firstLine);
  }
  const std::string fifo = dir / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& path : {fifo, dir.Path(), dir / "missing"}) {
    SCOPED_TRACE(path);
    AK_File file(dir.Write("open.txt", "x").c_str(), "r");
    EXPECT_FALSE(AK_OpenTextInput(file, path.c_str()));
    EXPECT_EQ(file.get(), nullptr);  // what was open before is closed
    std::ifstream in(dir / "open.txt");
    EXPECT_FALSE(AK_OpenTextInput(in, path.c_str()));
    EXPECT_FALSE(in.is_open());
    EXPECT_FALSE(in.good());
    AK_String text("stale");
    EXPECT_FALSE(AK_ReadTextFile(path.c_str(), text));
    EXPECT_STREQ(text.c_str(), "");
  }
  EXPECT_STREQ(AK_TextInputError(fifo.c_str(), "cannot open").c_str(), ("'" + fifo + "' is no regular file").c_str());
  EXPECT_STREQ(AK_TextInputError((dir / "missing").c_str(), "cannot open").c_str(), "cannot open");
}

// A directory taken to stand without a look is one that stands: whatever moves or removes a
// directory through the library makes the next look a real one, and nothing is remembered
// outside the scope that remembers.
TEST(DirectoriesSeen, ADirectoryMovedOrRemovedIsLookedAtAgainAndMadeAgain)
{
  const std::vector<std::pair<const char*, std::function<bool(const std::string& dir)>>> changes = {
      {"tree removed", [](const std::string& d) { return AK_DeleteDirectoryTree((d + "/a").c_str()) == 0; }},
      {"empty removed", [](const std::string& d) { return AK_DeleteFile((d + "/a/b").c_str()) == 0; }},
      {"moved", [](const std::string& d) { return AK_RenameFile((d + "/a/b").c_str(), (d + "/a/c").c_str()) == 0; }},
      {"parent moved",
       [](const std::string& d) { return AK_RenameFile((d + "/a").c_str(), (d + "/aa").c_str()) == 0; }},
  };
  for (const auto& [name, change] : changes) {
    SCOPED_TRACE(name);
    ScratchDir dir;
    const std::string a = dir / "a", b = dir / "a/b";
    ASSERT_EQ(AK_MakeDirectories(b.c_str()), 0);
    AK_DirectoriesSeen seen;
    ASSERT_EQ(AK_LookAtPathOnce(a.c_str()), AK_PathLook::Found);
    ASSERT_EQ(AK_LookAtPathOnce(b.c_str()), AK_PathLook::Found);
    ASSERT_TRUE(change(dir.Path()));
    EXPECT_EQ(AK_LookAtPathOnce(b.c_str()), AK_PathLook::Missing);
    AK_String failure;
    EXPECT_FALSE(AK_MissingLevels(b.c_str(), failure).empty());
    ASSERT_EQ(AK_MakeDirectories(b.c_str()), 0);
    EXPECT_TRUE(std::filesystem::is_directory(b));
    EXPECT_EQ(AK_LookAtPathOnce(b.c_str()), AK_PathLook::Found);
  }
  // Once the scope ended, a directory removed behind the library's back is missing at the next look.
  ScratchDir dir;
  const std::string a = dir / "a";
  {
    AK_DirectoriesSeen seen;
    ASSERT_EQ(AK_MakeDirectory(a.c_str()), 0);
    ASSERT_EQ(AK_LookAtPathOnce(a.c_str()), AK_PathLook::Found);
  }
  std::filesystem::remove(a);
  EXPECT_EQ(AK_LookAtPathOnce(a.c_str()), AK_PathLook::Missing);
  ASSERT_EQ(AK_MakeDirectory(a.c_str()), 0);
  EXPECT_TRUE(std::filesystem::is_directory(a));
  // A file is no directory to remember.
  {
    AK_DirectoriesSeen seen;
    const std::string file = dir.Write("f", "x");
    ASSERT_EQ(AK_LookAtPathOnce(file.c_str()), AK_PathLook::Found);
    std::filesystem::remove(file);
    EXPECT_EQ(AK_LookAtPathOnce(file.c_str()), AK_PathLook::Missing);
  }
}

// The levels a save would make are those that do not stand, the deepest first; a level nobody can
// look at is neither, and the answer names it instead of taking it for missing or standing.
TEST(DirectoriesSeen, TheMissingLevelsAreThoseThatDoNotStandOrNoneWhereALookFails)
{
  ScratchDir dir;
  const std::string a = dir / "a", b = dir / "a/b", c = dir / "a/b/c";
  ASSERT_EQ(AK_MakeDirectory(a.c_str()), 0);
  AK_String failure;
  AK_RestartFailureCount(0);
  std::vector<AK_String> missing = AK_MissingLevels(c.c_str(), failure);
  const long looks = AK_FailureHookCalls();
  ASSERT_EQ(missing.size(), 2u);
  EXPECT_STREQ(missing[0].c_str(), c.c_str());
  EXPECT_STREQ(missing[1].c_str(), b.c_str());
  EXPECT_STREQ(failure.c_str(), "");
  ASSERT_EQ(looks, 3);
  for (long n = 1; n <= looks; ++n) {
    SCOPED_TRACE(n);
    AK_RestartFailureCount(n);
    missing = AK_MissingLevels(c.c_str(), failure);
    EXPECT_TRUE(missing.empty());
    EXPECT_NE(std::string(failure.c_str()).find("/a"), std::string::npos) << failure.c_str();
  }
  AK_RestartFailureCount(0);
  EXPECT_FALSE(std::filesystem::exists(b));
}

// One look tells what stands: a regular file (through a link), a directory, anything else, nothing
// (a link that leads nowhere), or a failed look, which the failure hook makes as the system would.
TEST(PathLooks, OneLookTellsTheKindOfWhatStands)
{
  namespace fs = std::filesystem;
  ScratchDir dir;
  dir.Write("file", "x");
  fs::create_directory(dir / "directory");
  fs::create_symlink(dir / "file", dir / "link");
  fs::create_symlink(dir / "gone", dir / "dangling");
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
  const std::vector<std::pair<std::string, AK_PathKind>> cases = {
      {"file", AK_PathKind::RegularFile}, {"link", AK_PathKind::RegularFile}, {"directory", AK_PathKind::Directory},
      {"fifo", AK_PathKind::Other},       {"gone", AK_PathKind::Missing},     {"dangling", AK_PathKind::Missing},
      {"file/below", AK_PathKind::Missing}};
  for (const auto& [name, kind] : cases) {
    SCOPED_TRACE(name);
    AK_RestartFailureCount(0);
    EXPECT_EQ(AK_LookAtKind((dir / name).c_str()), kind);
    EXPECT_EQ(AK_FailureHookCalls(), 1);
    AK_RestartFailureCount(1);
    AK_String failure;
    EXPECT_EQ(AK_LookAtKind((dir / name).c_str(), &failure), AK_PathKind::Failed);
    EXPECT_NE(std::string(failure.c_str()).find(name), std::string::npos) << failure.c_str();
  }
  AK_RestartFailureCount(0);
}

// A path given for a project resolves into the directory it leads to: every path of up to four
// levels over a directory, a level that does not stand, a file, a link to a directory elsewhere,
// "." and ".." (and empty levels) resolves, where it resolves at all, into the path the standard
// library's own resolution finds, spelled with no "." level and with ".." only where no level can
// take it lexically (at the start, after a link or after another ".."); it fails only where a
// level before a ".." is a file. Each look it takes may fail, and then it resolves nothing.
TEST(PathLooks, APathResolvesIntoTheDirectoryItLeadsTo)
{
  namespace fs = std::filesystem;
  ScratchDir dir;
  const std::string top = dir / "top";
  fs::create_directories(top + "/d");
  fs::create_directories(dir / "elsewhere/deep");
  dir.Write("top/f", "x");
  fs::create_symlink(dir / "elsewhere/deep", top + "/l");
  const std::vector<std::string> levels = {"d", "m", "f", "l", ".", "..", ""};
  std::vector<std::string> paths = {""}, last = {""};
  for (int depth = 0; depth < 4; ++depth) {
    std::vector<std::string> longer;
    for (const std::string& path : last)
      for (const std::string& level : levels) longer.push_back(path + "/" + level);
    paths.insert(paths.end(), longer.begin(), longer.end());
    last = std::move(longer);
  }
  // Where a path leads, by an independent walk: each level that stands taken as the system
  // resolves it, each that does not by its spelling; none where a ".." follows a file.
  const auto leadsTo = [](const std::string& path) -> std::optional<std::string> {
    fs::path at = "/";
    std::istringstream parts(path);
    for (std::string level; std::getline(parts, level, '/');) {
      if (level.empty() || level == ".") continue;
      if (level == "..") {
        if (fs::is_regular_file(at)) return std::nullopt;
        at = at.parent_path();
        continue;
      }
      at /= level;
      if (fs::exists(at)) at = fs::canonical(at);
    }
    return at.string();
  };
  int resolved = 0;
  for (const std::string& rest : paths) {
    const std::string given = top + rest;
    SCOPED_TRACE(given);
    AK_String failure;
    const std::string got = AK_ResolvedDirectory(given.c_str(), &failure).c_str();
    if (got.empty()) {
      EXPECT_EQ(leadsTo(given), std::nullopt) << failure.c_str();
      continue;
    }
    ++resolved;
    EXPECT_EQ(leadsTo(got), leadsTo(given));
    std::istringstream parts(got);
    std::string before;
    for (std::string level; std::getline(parts, level, '/'); before = before + "/" + level) {
      EXPECT_NE(level, ".");
      if (level == "..") {
        EXPECT_TRUE(fs::is_symlink(before) || before.ends_with("..")) << got;
      }
    }
  }
  EXPECT_GT(resolved, 1000);
  // The spellings a user gives: relative, with backslashes, a trailing separator, a missing level.
  EXPECT_STREQ(AK_ResolvedDirectory("m/../p").c_str(), "p");
  EXPECT_STREQ(AK_ResolvedDirectory(".\\q\\m\\..\\p\\").c_str(), "q/p");
  EXPECT_STREQ(AK_ResolvedDirectory("../p/.").c_str(), "../p");
  EXPECT_STREQ(AK_ResolvedDirectory("m/n/../../p").c_str(), "p");
  EXPECT_STREQ(AK_ResolvedDirectory("/..").c_str(), "/");
  EXPECT_STREQ(AK_ResolvedDirectory("m/..").c_str(), ".");
  // One look for each ".." after a level: failed, it resolves nothing and names the level.
  const std::string twice = top + "/m/../d/..";
  AK_RestartFailureCount(0);
  EXPECT_EQ(std::string(AK_ResolvedDirectory(twice.c_str()).c_str()), top);
  ASSERT_EQ(AK_FailureHookCalls(), 2);
  for (long n = 1; n <= 2; ++n) {
    AK_RestartFailureCount(n);
    AK_String failure;
    EXPECT_STREQ(AK_ResolvedDirectory(twice.c_str(), &failure).c_str(), "");
    EXPECT_NE(std::string(failure.c_str()).find(n == 1 ? "/m" : "/d"), std::string::npos) << failure.c_str();
  }
  AK_RestartFailureCount(0);
}
