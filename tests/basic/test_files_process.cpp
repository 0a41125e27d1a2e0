#include <gtest/gtest.h>

#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "TestSupport.h"

namespace {

std::string Joined(const AK_Array<AK_String>& list)
{
  return AK_String(list, "|").c_str();
}

// Waits up to a few seconds for a file to hold a whole line; its content, or "" on timeout.
std::string WaitForLine(const std::string& path)
{
  for (int i = 0; i < 500; ++i) {
    std::string text = ReadFile(path);
    if (!text.empty() && text.back() == '\n') return text;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return "";
}

}  // namespace

TEST(Files, ListDirectoryOrderAndFilter)
{
  ScratchDir dir;
  for (const char* name : {"b.TimeStep", "a.TimeStep", "B.TimeStep", "c.timestep", "..hidden",
                           ".simulation_status", "notes.txt", "archive.TimeStep.bak", "noext"})
    WriteFile(dir / name, "x");
  std::filesystem::create_directory(dir / "sub.TimeStep");
  std::filesystem::create_directory(dir / "plain");

  struct Case { const char* extension; const char* expected; };
  const Case cases[] = {
      {"TimeStep", "B.TimeStep|a.TimeStep|b.TimeStep|sub.TimeStep|"},
      {"txt", "notes.txt|"},
      {"bak", "archive.TimeStep.bak|"},
      {"", ".simulation_status|B.TimeStep|a.TimeStep|archive.TimeStep.bak|b.TimeStep|"
           "c.timestep|noext|notes.txt|plain|sub.TimeStep|"},
      {"status", ""},  // ".simulation_status": the dot is the first character, extension "simulation_status"
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.extension);
    EXPECT_EQ(Joined(AK_ListDirectory(dir.Path().c_str(), c.extension)), c.expected);
  }
  EXPECT_EQ(AK_ListDirectory((dir / "missing").c_str(), "").Count(), 0);
  // A backslash path reaches the same directory.
  std::string windowsStyle = dir.Path() + "\\";
  EXPECT_EQ(AK_ListDirectory(windowsStyle.c_str(), "txt").Count(), 1);
}

TEST(Files, CreateRenameDeleteCopy)
{
  ScratchDir dir;
  std::string sub = dir / "run";
  EXPECT_FALSE(AK_FileExists(sub.c_str()));
  EXPECT_EQ(AK_MakeDirectory(sub.c_str()), 0);
  EXPECT_EQ(AK_MakeDirectory(sub.c_str()), 0);  // existing directory: success
  EXPECT_EQ(AK_MakeDirectory((dir / "a/b/c").c_str()), -1);  // one level only
  EXPECT_TRUE(AK_FileExists(sub.c_str()));
  EXPECT_TRUE(AK_IsDirectory(sub.c_str()));
  WriteFile(dir / "file", "data");
  EXPECT_EQ(AK_MakeDirectory((dir / "file").c_str()), -1);  // a file is in the way

  // Rename never overwrites.
  WriteFile(dir / "other", "keep");
  EXPECT_EQ(AK_RenameFile((dir / "file").c_str(), (dir / "other").c_str()), -1);
  EXPECT_EQ(ReadFile(dir / "other"), "keep");
  EXPECT_EQ(AK_RenameFile((dir / "file").c_str(), (dir / "moved").c_str()), 0);
  EXPECT_EQ(ReadFile(dir / "moved"), "data");
  EXPECT_EQ(AK_RenameFile((dir / "missing").c_str(), (dir / "x").c_str()), -1);

  // Copy, including content larger than one block and a backslash path.
  std::string big(5000, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
  WriteFile(dir / "big", big);
  std::string target = dir.Path() + "\\run\\big.copy";
  EXPECT_EQ(AK_CopyFile((dir / "big").c_str(), target.c_str()), 0);
  EXPECT_EQ(ReadFile(dir / "run/big.copy"), big);
  EXPECT_EQ(AK_CopyFile((dir / "nothing").c_str(), (dir / "t").c_str()), 1);
  EXPECT_EQ(AK_CopyFile((dir / "big").c_str(), (dir / "no/dir/t").c_str()), 2);
  // A copy that fails half-way (a full disk) is reported and leaves the previous target
  // whole, with no temporary file beside it; a device is never replaced by a copy.
  WriteFile(dir / "run/kept", "previous");
  const int32_t entries = AK_ListDirectory((dir / "run").c_str(), "").Count();
  {
    FileSizeLimit full(1000);
    EXPECT_EQ(AK_CopyFile((dir / "big").c_str(), (dir / "run/kept").c_str()), 4);
    EXPECT_EQ(AK_CopyFile((dir / "big").c_str(), (dir / "run/new").c_str()), 4);
  }
  EXPECT_EQ(ReadFile(dir / "run/kept"), "previous");
  EXPECT_EQ(AK_ListDirectory((dir / "run").c_str(), "").Count(), entries);
  if (std::filesystem::exists("/dev/full")) {
    EXPECT_EQ(AK_CopyFile((dir / "big").c_str(), "/dev/full"), 2);
    EXPECT_FALSE(AK_IsRegularFile("/dev/full"));
  }
  // A file copied onto itself under another spelling of its path keeps its content.
  for (const std::string& same : {dir / "./big", dir.Path() + "//big", dir / "run/../big"}) {
    EXPECT_EQ(AK_CopyFile((dir / "big").c_str(), same.c_str()), 0) << same;
    EXPECT_TRUE(ReadFile(dir / "big") == big) << same;
  }

  // Delete: a file, an empty directory, not a full one; the tree deletion removes everything
  // and does not follow a link out of the tree.
  std::string outside = dir / "outside";
  std::filesystem::create_directory(outside);
  WriteFile(outside + "/precious", "x");
  std::filesystem::create_directory(sub + "/deeper");
  WriteFile(sub + "/deeper/f", "x");
  std::filesystem::create_directory_symlink(outside, sub + "/link");
  EXPECT_EQ(AK_DeleteFile(sub.c_str()), -1);
  EXPECT_EQ(AK_DeleteFile((dir / "moved").c_str()), 0);
  EXPECT_FALSE(AK_FileExists((dir / "moved").c_str()));
  EXPECT_EQ(AK_DeleteDirectoryTree(sub.c_str()), 0);
  EXPECT_FALSE(AK_FileExists(sub.c_str()));
  EXPECT_TRUE(AK_FileExists((outside + "/precious").c_str()));
  EXPECT_EQ(AK_DeleteDirectoryTree(sub.c_str()), -1);
  std::filesystem::create_directory(dir / "empty");
  EXPECT_EQ(AK_DeleteFile((dir / "empty").c_str()), 0);
}

TEST(Files, ReadLinesWithEitherLineEnd)
{
  ScratchDir dir;
  std::string path = dir / "lines.txt";
  std::string longLine(1500, 'q');
  WriteFile(path, "one\r\ntwo\n\r\n" + longLine + "\nlast");
  std::FILE* f = AK_FileOpen(path.c_str(), "r");
  ASSERT_TRUE(f);
  AK_String line;
  std::vector<std::string> lines;
  while (AK_ReadLine(f, line)) lines.emplace_back(line.c_str());
  std::fclose(f);
  EXPECT_EQ(lines, (std::vector<std::string>{"one", "two", "", longLine, "last"}));
  AK_String text;
  EXPECT_TRUE(AK_ReadTextFile(path.c_str(), text));
  EXPECT_EQ(text.Length(), static_cast<int>(ReadFile(path).size()));
  EXPECT_FALSE(AK_ReadTextFile((dir / "none").c_str(), text));
}

TEST(Files, PathHelpers)
{
  EXPECT_STREQ(AK_NormalizePath("a\\b\\c.txt"), "a/b/c.txt");
  EXPECT_STREQ(AK_JoinPath("", "x"), "./x");
  EXPECT_STREQ(AK_JoinPath("dir/", "x"), "dir/x");
  EXPECT_STREQ(AK_JoinPath("dir", "x"), "dir/x");
  EXPECT_FALSE(AK_HomeDirectory().IsEmpty());
  EXPECT_TRUE(AK_ProgramPath().IsAbsolutePath());
  EXPECT_TRUE(AK_FileExists(AK_ProgramPath()));
}

TEST(Process, ExitStatusAndQuoting)
{
  ScratchDir dir;
  struct Case { const char* command; const char* arguments; int quote; int expected; };
  const Case cases[] = {
      {"/bin/sh", "-c 'exit 0'", 0, 0},
      {"/bin/sh", "-c 'exit 3'", 0, 3},
      {"/bin/sh", "-c 'exit 3'", 1, 3},
      {"", "-c 'exit 0'", 0, -1},
      {nullptr, "", 0, -1},
      {"/no/such/program", "", 0, 127},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command ? c.command : "(null)");
    EXPECT_EQ(AK_RunCommand(c.command, c.arguments, 0, c.quote), c.expected);
  }
  // A program whose path holds a blank, a quote and a dollar sign runs when quoted.
  std::string prog = dir / "my prog's $HOME.sh";
  WriteFile(prog, "#!/bin/sh\nexit 7\n");
  std::filesystem::permissions(prog, std::filesystem::perms::owner_all);
  EXPECT_EQ(AK_RunCommand(prog.c_str(), "", 0, 1), 7);
  EXPECT_STREQ(AK_ShellQuote("it's"), "'it'\\''s'");
}

TEST(Process, DetachedStartReturnsAtOnceAndRunsOn)
{
  ScratchDir dir;
  std::string out = dir / "late.txt";
  std::string go = dir / "go";
  std::string batch = dir / "start.bat";
  AK_BatchFileName = batch.c_str();
  // The command waits (up to 20 s) for a file that the test makes only after the call has
  // returned: a call that waited for its command would come back with the output written.
  std::string script = "i=0; while [ ! -e " + std::string(AK_ShellQuote(go.c_str())) +
                       " ] && [ $i -lt 200 ]; do sleep 0.1; i=$((i+1)); done; " +
                       // its session (field 6 of its stat line) and its standard input
                       "echo $(cut -d' ' -f6 /proc/$$/stat) $(readlink /proc/$$/fd/0) > " +
                       std::string(AK_ShellQuote(out.c_str()));
  std::string args = "-c " + std::string(AK_ShellQuote(script.c_str()));
  int result = AK_RunCommand("/bin/sh", args.c_str(), 1, 0);
  AK_BatchFileName = "";
  EXPECT_EQ(result, 0);
  EXPECT_FALSE(std::filesystem::exists(out));  // the command has not finished yet
  EXPECT_EQ(ReadFile(batch), "#!/bin/sh\n/bin/sh " + args + "\n");
  WriteFile(go, "x");
  // A session of its own, reading nothing from the terminal.
  const std::string got = WaitForLine(out);
  ASSERT_NE(got.find(' '), std::string::npos) << got;
  EXPECT_EQ(got.substr(got.find(' ')), " /dev/null\n");
  EXPECT_NE(got.substr(0, got.find(' ')), std::to_string(getsid(0)));
}

// A hook that answers false withholds the go-ahead: the start fails and its command never runs,
// while a start let go runs. (The one let go starts after the one withheld was answered.)
TEST(Process, AStartWhoseHookSaysNoRunsNothing)
{
  ScratchDir dir;
  const auto touch = [&](const std::string& file) {
    return "-c " + std::string(AK_ShellQuote(("echo ran > " + std::string(AK_ShellQuote((dir / file).c_str()))).c_str()));
  };
  int seen = 0;
  AK_BatchFileName = (dir / "withheld.bat").c_str();
  EXPECT_EQ(AK_RunCommand("/bin/sh", touch("withheld").c_str(), 1, 0, [&](int pid) { return (seen = pid) < 0; }), -1);
  EXPECT_GT(seen, 0);
  AK_BatchFileName = (dir / "let_go.bat").c_str();
  EXPECT_EQ(AK_RunCommand("/bin/sh", touch("let_go").c_str(), 1, 0, [](int) { return true; }), 0);
  AK_BatchFileName = "";
  EXPECT_EQ(WaitForLine(dir / "let_go"), "ran\n");
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(std::filesystem::exists(dir / "withheld"));
}

TEST(Process, DetachedWithoutWritableBatchFileFails)
{
  ScratchDir dir;
  MessageCapture capture;
  AK_BatchFileName = (dir / "no/such/dir/start.bat").c_str();
  EXPECT_EQ(AK_RunCommand("/bin/true", "", 1, 1), -1);
  AK_BatchFileName = "";
  ASSERT_EQ(capture.messages.size(), 1u);
  EXPECT_EQ(capture.messages[0].rfind("ERROR:", 0), 0u);
  EXPECT_EQ(AK_RunCommand("", "", 1, 0), -1);
}

// Without a batch file name every start writes one of its own in the home directory, which
// its shell removes: starts at the same moment, in two processes, never run each other's.
TEST(Process, DefaultBatchFilesOfStartsAtOnceLiveInTheHomeDirectoryAndAllRun)
{
  ScratchDir dir;
  std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
  setenv("HOME", dir.Path().c_str(), 1);
  const auto marker = [&](int p, int i) { return dir / ("ran_" + std::to_string(p) + "_" + std::to_string(i)); };
  pid_t children[2];
  for (int p = 0; p < 2; ++p)
    if ((children[p] = fork()) == 0) {
      for (int i = 0; i < 8; ++i)
        AK_RunCommand("/bin/sh", ("-c " + std::string(AK_ShellQuote(("echo ran > " + marker(p, i)).c_str()))).c_str(), 1, 1);
      _exit(0);
    }
  for (pid_t child : children) waitpid(child, nullptr, 0);
  setenv("HOME", savedHome.c_str(), 1);
  for (int p = 0; p < 2; ++p)
    for (int i = 0; i < 8; ++i) EXPECT_EQ(WaitForLine(marker(p, i)), "ran\n") << p << " " << i;
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
    EXPECT_NE(entry.path().filename().string().rfind(".ak_", 0), 0u) << entry.path();
}

// Starts that share one batch file name each run their own line, however late their shell
// gets to it: a batch replaced between the start and its shell's first read (the hook runs
// in that moment), batch files of one name written and started one after the other before
// either runs, and two processes starting many at once through one name.
TEST(Process, StartsThroughOneBatchFileNameEachRunTheirOwnLines)
{
  ScratchDir dir;
  const std::string batch = dir / "start.bat";
  const auto echo = [](const std::string& file) {
    return "-c " + std::string(AK_ShellQuote(("echo ran >> " + std::string(AK_ShellQuote(file.c_str()))).c_str()));
  };
  AK_BatchFileName = batch.c_str();
  const int replaced = AK_RunCommand("/bin/sh", echo(dir / "own").c_str(), 1, 0,
                                     [&](int) {
                                       // as every batch of this program takes its name: whole
                                       WriteFile(batch + ".next", "echo ran >> " + ShellQuote(dir / "other") + "\n");
                                       std::filesystem::rename(batch + ".next", batch);
                                       return true;
                                     });
  AK_BatchFileName = "";
  EXPECT_EQ(replaced, 0);
  EXPECT_EQ(WaitForLine(dir / "own"), "ran\n");

  const std::string shared = dir / "batch.bat";
  AK_BatchFile first(shared.c_str()), second(shared.c_str());
  std::fprintf(first, "echo ran >> %s\n", ShellQuote(dir / "first").c_str());
  std::fprintf(second, "echo ran >> %s\n", ShellQuote(dir / "second").c_str());
  ASSERT_TRUE(first.Commit());
  ASSERT_TRUE(second.Commit());
  EXPECT_EQ(ReadFile(shared), "echo ran >> " + ShellQuote(dir / "second") + "\n");
  EXPECT_EQ(first.Start(), 0);
  EXPECT_EQ(second.Start(), 0);
  EXPECT_EQ(WaitForLine(dir / "first"), "ran\n");
  EXPECT_EQ(WaitForLine(dir / "second"), "ran\n");
  AK_BatchFile neverWritten((dir / "no/such/dir/batch.bat").c_str());
  EXPECT_FALSE(neverWritten.Commit());
  EXPECT_EQ(neverWritten.Start(), -1);

  const auto marker = [&](int p, int i) { return dir / ("ran_" + std::to_string(p) + "_" + std::to_string(i)); };
  pid_t children[2];
  for (int p = 0; p < 2; ++p)
    if ((children[p] = fork()) == 0) {
      AK_BatchFileName = batch.c_str();
      for (int i = 0; i < 12; ++i) AK_RunCommand("/bin/sh", echo(marker(p, i)).c_str(), 1, 1);
      _exit(0);
    }
  for (pid_t child : children) waitpid(child, nullptr, 0);
  for (int p = 0; p < 2; ++p)
    for (int i = 0; i < 12; ++i) EXPECT_EQ(WaitForLine(marker(p, i)), "ran\n") << p << " " << i;
  // The line of the batch that replaced another runs once, not twice.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(ReadFile(dir / "own"), "ran\n");
  EXPECT_FALSE(std::filesystem::exists(dir / "other"));
  for (int p = 0; p < 2; ++p)
    for (int i = 0; i < 12; ++i) EXPECT_EQ(ReadFile(marker(p, i)), "ran\n") << p << " " << i;
}

TEST(Process, Clocks)
{
  int64_t t0 = AK_ProcessMilliseconds();
  AK_SleepMilliseconds(20);
  EXPECT_GE(AK_ProcessMilliseconds() - t0, 20);
  double c0 = AK_CpuSeconds();
  volatile double sink = 0;
  for (int i = 0; i < 3000000; ++i) sink = sink + i * 0.5;
  EXPECT_GT(AK_CpuSeconds(), c0);
}
