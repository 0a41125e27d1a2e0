// End-to-end tests: the built torvu program run on the cases in cases/, and the console
// menu driven in a real terminal through tmux.
//
// A case NAME is NAME.macro with NAME.expected (what the program prints, start-up lines and
// source locations removed) and, for each file the macro writes, NAME.expected.FILE. With
// NAME.input the program runs the console menu on that input after playing NAME.macro;
// otherwise it runs NAME.macro offscreen. Other files named NAME.* are copied beside the
// macro. Adding a case means adding its files.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "E2eSupport.h"

namespace fs = std::filesystem;
using namespace torvu_e2e;

namespace {

const std::string kCases = TORVU_E2E_CASES;
const std::string kProgram = TORVU_PROGRAM;
const std::string kFiles = TORVU_ATTRIBUTES;

std::string Replace(std::string text, const std::string& from, const std::string& to)
{
  if (from.empty()) return text;
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

// The program's output without its start-up lines and source locations, the temporary
// directory written as <dir>.
std::string Normalize(const std::string& printed, const fs::path& dir)
{
  return Replace(WithoutStartup(printed), dir.string(), "<dir>");
}

std::string Environment(const fs::path& dir)
{
  return "cd " + Quote(dir.string()) + " && env -u TORVU_USER_ATTRIBUTES HOME=" + Quote(dir.string()) + " ";
}

std::vector<std::string> CaseNames()
{
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(kCases))
    if (entry.path().extension() == ".macro" && fs::exists(fs::path(kCases) / (entry.path().stem().string() + ".expected")))
      names.push_back(entry.path().stem().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

class Cases : public testing::TestWithParam<std::string> {};

TEST_P(Cases, PrintsAndWritesWhatIsExpected)
{
  const std::string name = GetParam();
  TempDir dir("torvu_e2e_");
  std::vector<std::pair<std::string, fs::path>> expectedFiles;
  for (const auto& entry : fs::directory_iterator(kCases)) {
    std::string file = entry.path().filename().string();
    if (file.rfind(name + ".", 0) != 0) continue;
    std::string prefix = name + ".expected.";
    if (file.rfind(prefix, 0) == 0)
      expectedFiles.emplace_back(file.substr(prefix.size()), entry.path());
    else if (file != name + ".expected" && file != name + ".input")
      fs::copy_file(entry.path(), dir.path / file);
  }
  fs::path input = fs::path(kCases) / (name + ".input");
  std::string command = Environment(dir.path) + Quote(kProgram) + " -files " + Quote(kFiles);
  if (fs::exists(input))
    command += " -macro " + name + ".macro < " + Quote(input.string());
  else
    command += " -offscreen " + name + ".macro < /dev/null";
  int status = -1;
  std::string printed = Capture(command, &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(Normalize(printed, dir.path), ReadFile(fs::path(kCases) / (name + ".expected")));
  for (const auto& [file, expected] : expectedFiles) {
    SCOPED_TRACE(file);
    ASSERT_TRUE(fs::exists(dir.path / file));
    EXPECT_EQ(ReadFile(dir.path / file), ReadFile(expected));
  }
}

INSTANTIATE_TEST_SUITE_P(Torvu, Cases, testing::ValuesIn(CaseNames()),
                         [](const testing::TestParamInfo<std::string>& info) { return info.param; });

TEST(Program, StartUpMessagesAndExitCode)
{
  TempDir dir("torvu_e2e_");
  WriteFile(dir.path / "fail.macro", "set(\"Nowhere\", \"Active\", \"1\")\n");
  int status = -1;
  std::string printed =
      Capture(Environment(dir.path) + Quote(kProgram) + " -macro -files -offscreen fail.macro -files " +
                  Quote(kFiles) + " -offscreen",
              &status);
  EXPECT_EQ(status, 0);  // whatever the macro did
  EXPECT_EQ(printed.rfind("Setting config files directory: " + kFiles + "\t(", 0), 0u) << printed;
  EXPECT_NE(printed.find("error 'object 'Nowhere' not found' when executing macro command"), std::string::npos);

  std::string withUser = Capture("cd " + Quote(dir.path.string()) + " && HOME=" + Quote(dir.path.string()) +
                                 " TORVU_USER_ATTRIBUTES=" + Quote(dir.path.string()) + " " + Quote(kProgram) +
                                 " -files " + Quote(kFiles) + " -offscreen none.macro");
  std::stringstream lines(withUser);
  std::string line;
  std::getline(lines, line);
  std::getline(lines, line);
  EXPECT_EQ(line.rfind("set user attributes directory to:" + dir.path.string() + "/\t(", 0), 0u) << withUser;
}

// The project is built below the viewer: its class's default commands already see its
// parent.
TEST(Program, ProjectIsBuiltBelowTheViewer)
{
  TempDir dir("torvu_e2e_");
  WriteFile(dir.path / "AK_Container.def", "set(\"..\", \"$project_parent\", \"Viewer\")\n");
  WriteFile(dir.path / "show.macro",
            "set(\"\", \"ExplainCommands\", \"1\")\n"
            "set(\"\", \"$shown\", $project_parent)\n");
  std::string printed = Capture("cd " + Quote(dir.path.string()) + " && HOME=" + Quote(dir.path.string()) +
                                " TORVU_USER_ATTRIBUTES=" + Quote(dir.path.string()) + " " + Quote(kProgram) +
                                " -files " + Quote(kFiles) + " -offscreen show.macro");
  EXPECT_EQ(printed.find("not found"), std::string::npos) << printed;
  EXPECT_NE(printed.find("select ->.$shown and enter 'Viewer'."), std::string::npos) << printed;
}

// The console in a real terminal: toggle a switch, edit a value, record, quit; then the
// recording replayed offscreen.
TEST(Console, InATerminal)
{
  if (std::system("command -v tmux > /dev/null 2>&1") != 0) GTEST_SKIP() << "tmux is not installed";
  TempDir dir("torvu_e2e_");
  WriteFile(dir.path / "session.macro", "set(\"\", \"$started\", \"1\")\n");
  std::string server = "torvu_e2e_" + std::to_string(getpid());
  std::string tmux = "tmux -L " + server + " ";
  std::string start = tmux + "new-session -d -s s -x 160 -y 60 " +
                      Quote(Environment(dir.path) + Quote(kProgram) + " -files " + Quote(kFiles) +
                            " -macro session.macro; echo TORVU_DONE; sleep 30");
  ASSERT_EQ(std::system(start.c_str()), 0);

  auto screen = [&] { return Capture(tmux + "capture-pane -p -t s"); };
  auto waitFor = [&](const std::string& text) {
    for (int i = 0; i < 200; ++i) {
      if (screen().find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ADD_FAILURE() << "never saw [" << text << "] on the screen:\n" << screen();
    return false;
  };
  auto type = [&](const std::string& keys) {
    std::system((tmux + "send-keys -t s " + Quote(keys) + " Enter").c_str());
  };

  waitFor("e: edit");
  type("e");
  waitFor("1: opr.Macro (opr)");
  type("1");
  waitFor("1: bool.Recording: 0");
  type("1");
  waitFor("1: bool.Recording: 1");
  type("q");
  type("q");
  type("1");
  waitFor("Project:");
  type("e");
  waitFor("2: obj.Object (obj)");
  type("2");
  waitFor("4: bool.Active: 1");
  type("4");
  waitFor("4: bool.Active: 0");
  type("6");
  waitFor("2: int.MacroRepetitions: 1");
  type("2");
  waitFor("enter value: [1]");
  type("3");
  waitFor("2: int.MacroRepetitions: 3");
  for (int i = 0; i < 4; ++i) type("q");
  type("e");
  type("1");
  type("1");
  waitFor("1: bool.Recording: 0");
  for (int i = 0; i < 3; ++i) type("q");
  waitFor("TORVU_DONE");
  std::system((tmux + "kill-server > /dev/null 2>&1").c_str());

  EXPECT_EQ(ReadFile(dir.path / "session.macro"),
            "set(\"Project\", \"Active\", \"0\")\n"
            "set(\"Project\", \"MacroRepetitions\", \"3\")\n");

  WriteFile(dir.path / "check.macro",
            "set(\"\", \"ExecMacro\", \"session.macro\")\n"
            "set(\"Project\", \"SaveAttributes\", \"project.atr\")\n");
  Capture(Environment(dir.path) + Quote(kProgram) + " -files " + Quote(kFiles) + " -offscreen check.macro");
  EXPECT_EQ(ReadFile(dir.path / "project.atr"),
            "set(\"\", \"Active\", \"0\")\n"
            "set(\"\", \"MacroFileName\", \"Project.macro\")\n"
            "set(\"\", \"MacroRepetitions\", \"3\")\n"
            "set(\"\", \"SuppressCreatingComponents\", \"0\")\n");
}
