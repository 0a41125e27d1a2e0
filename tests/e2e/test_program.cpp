// End-to-end tests: the built torvu program run on the cases in cases/, on script macros,
// class scripts from the user attributes directory and projects saved by one run and loaded by
// another, and the console menu driven in a real terminal through tmux.
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

#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

const std::string kCases = TORVU_E2E_CASES;
const std::string kProgram = TORVU_PROGRAM;
const std::string kFiles = TORVU_ATTRIBUTES;
const std::string kExamples = TORVU_EXAMPLES;

// Drops the start-up lines (up to the end of the banner and the location line after it) and
// the "\t(file:line)" suffixes.
std::string WithoutStartup(const std::string& printed)
{
  const std::string rule(65, '=');
  size_t first = printed.find(rule);
  size_t second = first == std::string::npos ? first : printed.find(rule, first + rule.size());
  std::string rest = printed;
  if (second != std::string::npos) {
    size_t end = printed.find('\n', second + rule.size() + 1);  // the location line
    rest = end == std::string::npos ? "" : printed.substr(end + 1);
  }
  std::stringstream in(rest);
  std::string out;
  for (std::string line; std::getline(in, line);) {
    size_t tab = line.rfind("\t(");
    if (tab != std::string::npos && !line.empty() && line.back() == ')') line.erase(tab);
    out += line + "\n";
  }
  return out;
}

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

// The shell words that start torvu in the directory, its home there too; the user attributes
// directory is set only when given.
std::string Environment(const std::string& dir, const std::string& userAttributes = "")
{
  return "cd " + ShellQuote(dir) + " && env " +
         (userAttributes.empty() ? "-u TORVU_USER_ATTRIBUTES" : "TORVU_USER_ATTRIBUTES=" + ShellQuote(userAttributes)) +
         " HOME=" + ShellQuote(dir) + " " + ShellQuote(kProgram);
}

// The same with the shipped class files.
std::string Torvu(const std::string& dir, const std::string& userAttributes = "")
{
  return Environment(dir, userAttributes) + " -files " + ShellQuote(kFiles);
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

// Runs torvu offscreen on the macro or script; what it printed after the banner, without the
// "\t(file:line)" locations.
std::string RunTorvu(const std::string& dir, const std::string& file, const std::string& userAttributes = "",
                     int* status = nullptr)
{
  return WithoutStartup(RunProcess(Torvu(dir, userAttributes) + " -offscreen " + ShellQuote(file) + " < /dev/null", status));
}

}  // namespace

class Cases : public testing::TestWithParam<std::string> {};

TEST_P(Cases, PrintsAndWritesWhatIsExpected)
{
  const std::string name = GetParam();
  ScratchDir dir;
  std::vector<std::pair<std::string, fs::path>> expectedFiles;
  for (const auto& entry : fs::directory_iterator(kCases)) {
    std::string file = entry.path().filename().string();
    if (file.rfind(name + ".", 0) != 0) continue;
    std::string prefix = name + ".expected.";
    if (file.rfind(prefix, 0) == 0)
      expectedFiles.emplace_back(file.substr(prefix.size()), entry.path());
    else if (file != name + ".expected" && file != name + ".input")
      fs::copy_file(entry.path(), dir / file);
  }
  fs::path input = fs::path(kCases) / (name + ".input");
  std::string command = Torvu(dir.Path());
  if (fs::exists(input))
    command += " -macro " + name + ".macro < " + ShellQuote(input.string());
  else
    command += " -offscreen " + name + ".macro < /dev/null";
  int status = -1;
  std::string printed = RunProcess(command, &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(Normalize(printed, dir.Path()), ReadFile(kCases + "/" + name + ".expected"));
  for (const auto& [file, expected] : expectedFiles) {
    SCOPED_TRACE(file);
    ASSERT_TRUE(fs::exists(dir / file));
    EXPECT_EQ(ReadFile(dir / file), ReadFile(expected.string()));
  }
}

INSTANTIATE_TEST_SUITE_P(Torvu, Cases, testing::ValuesIn(CaseNames()),
                         [](const testing::TestParamInfo<std::string>& info) { return info.param; });

TEST(Program, StartUpMessagesAndExitCode)
{
  ScratchDir dir;
  WriteFile(dir / "fail.macro", "set(\"Nowhere\", \"Active\", \"1\")\n");
  int status = -1;
  std::string printed =
      RunProcess(Environment(dir.Path()) + " -macro -files -offscreen fail.macro -files " +
                  ShellQuote(kFiles) + " -offscreen",
              &status);
  EXPECT_EQ(status, 0);  // whatever the macro did
  EXPECT_EQ(printed.rfind("Setting config files directory: " + kFiles + "\t(", 0), 0u) << printed;
  EXPECT_NE(printed.find("error 'object 'Nowhere' not found' when executing macro command"), std::string::npos);

  // The order: config directory, user attributes directory, argument echo, banner block.
  WriteFile(dir / "none.macro", "");
  std::string withUser = RunProcess(Torvu(dir.Path(), dir.Path()) + " -offscreen none.macro");
  std::stringstream lines(withUser);
  std::vector<std::string> first(5);
  for (std::string& line : first) std::getline(lines, line);
  EXPECT_EQ(first[0].rfind("Setting config files directory: " + kFiles + "\t(", 0), 0u) << withUser;
  EXPECT_EQ(first[1].rfind("set user attributes directory to:" + dir.Path() + "/\t(", 0), 0u) << withUser;
  EXPECT_EQ(first[2].rfind(kProgram + " -files " + kFiles + " -offscreen none.macro \t(", 0), 0u) << withUser;
  EXPECT_EQ(first[3], std::string(65, '=')) << withUser;
  EXPECT_EQ(first[4], kProgram) << withUser;
}

// The project is built below the viewer: its class's default commands already see its
// parent.
TEST(Program, ProjectIsBuiltBelowTheViewer)
{
  ScratchDir dir;
  WriteFile(dir / "SW_Workspace.def", "set(\"..\", \"$project_parent\", \"Viewer\")\n");
  WriteFile(dir / "show.macro",
            "set(\"\", \"ExplainCommands\", \"1\")\n"
            "set(\"\", \"$shown\", $project_parent)\n");
  std::string printed = RunTorvu(dir.Path(), "show.macro", dir.Path());
  EXPECT_EQ(printed.find("not found"), std::string::npos) << printed;
  EXPECT_NE(printed.find("select ->.$shown and enter 'Viewer'."), std::string::npos) << printed;
}

// The project's containers in their order, the release rasters without automatic simulation
// meshes whatever the containers' defaults say, and the enthalpy functions in every script.
TEST(Program, ProjectAtStartUp)
{
  ScratchDir dir;
  WriteFile(dir / "SW_Meshes.def", "set(\"\", \"AutoCreateSimulationMesh\", \"1\")\n");
  WriteFile(dir / "check.cint",
            "int main()\n"
            "{\n"
            "  char v[512];\n"
            "  get(\"Project\", \"GetComponentList\", v);\n"
            "  printf(\"%s\\n\", v);\n"
            "  get(\"Project/DHMs\", \"AutoCreateSimulationMesh\", v);\n"
            "  printf(\"DHMs %s\\n\", v);\n"
            "  get(\"Project/ReleaseDHMs\", \"AutoCreateSimulationMesh\", v);\n"
            "  printf(\"ReleaseDHMs %s\\n\", v);\n"
            "  printf(\"%g %g %g\\n\", TemperatureFromEnthalpy(-20500),\n"
            "         EnthalpyFromTemperatureAndWaterMassFraction(-10, 0), WaterMassFractionFromEnthalpy(166750));\n"
            "  return 0;\n"
            "}\n");
  std::string printed = Replace(RunTorvu(dir.Path(), "check.cint", dir.Path()), "%AK_SEP%", "|");
  printed = printed.substr(printed.find('\n') + 1);  // the user's defaults of the containers
  std::string components = printed.substr(0, printed.find('\n'));
  // Every container whose class the program has, in the project's order, DHMs first.
  std::string inOrder;
  for (const char* id : {"DHMs", "ReleaseDHMs", "Polygons", "Polylines", "ReleaseAreas", "EntrainmentAreas",
                         "ResistanceAreas", "WallLines", "SourceLines", "Simulations", "Labels"})
    if (("|" + components).find("|" + std::string(id) + "|") != std::string::npos) inOrder += std::string(id) + "|";
  EXPECT_EQ(components, inOrder);
  EXPECT_EQ(components.rfind("DHMs|ReleaseDHMs|", 0), 0u) << components;
  EXPECT_EQ(printed.substr(printed.find('\n') + 1), "DHMs 1\nReleaseDHMs 0\n-10 -20500 0.5\n") << printed;
}

// What a batch job relies on: a macro file that cannot be opened and a directory without
// class files are said on standard error with exit code 1; without "-files" the program finds
// its class files from any working directory.
TEST(Program, StartFailuresEndWithExitCodeOne)
{
  ScratchDir dir;
  int status = -1;
  auto errors = [&](const std::string& arguments) {
    return RunProcess("(" + Environment(dir.Path()) + arguments + " 2>&1 >/dev/null)", &status);
  };
  EXPECT_EQ(errors(" -offscreen typo.macro"), "ERROR:cannot open macro file 'typo.macro'\n");
  EXPECT_EQ(status, 1);
  EXPECT_NE(errors(" -files /nonexistent -offscreen typo.macro").find("tried: /nonexistent."), std::string::npos);
  EXPECT_EQ(status, 1);
  WriteFile(dir / "ok.macro", "set(\"Project\", \"SaveAttributes\", \"project.atr\")\n");
  EXPECT_EQ(errors(" -offscreen ok.macro"), "");
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(fs::exists(dir / "project.atr"));
}

// Macros that call macros nest at most 200 deep: the one that would go deeper is not run, and
// its error ends every macro around it.
TEST(Program, NestedMacrosStopAtTheLimit)
{
  ScratchDir dir;
  auto name = [](int i) { return "m" + std::to_string(i) + ".macro"; };
  for (int i = 0; i < 300; ++i) WriteFile(dir / name(i), "set(\"\", \"ExecMacro\", \"" + name(i + 1) + "\")\n");
  WriteFile(dir / name(300), "set(\"\", \"$end\", \"1\")\n");
  std::string printed = RunProcess(Torvu(dir.Path()) + " -offscreen m0.macro");
  size_t reports = 0;
  for (size_t at = printed.find("' when executing macro command"); at != std::string::npos;
       at = printed.find("' when executing macro command", at + 1))
    ++reports;
  EXPECT_EQ(reports, 200u);
  EXPECT_NE(printed.find("error 'macro 'm200.macro' not run: macros nested deeper than 200 levels'"), std::string::npos);
}

// A background start hands each word of its text to the program as it is, so nothing in it
// runs as a command of its own; the program started reads the class files of its parent.
TEST(Program, BackgroundStartRunsTheProgramOnly)
{
  ScratchDir dir;
  WriteFile(dir / "b g.macro", "set(\"Project\", \"SaveAttributes\", \"started.atr\")\n");
  WriteFile(dir / "start.macro",
            "set(\"\", \"StartInBackground\", \"-offscreen \\\"b g.macro\\\" $(touch injected) `touch injected`;touch injected\")\n");
  RunProcess(Torvu(dir.Path()) + " -offscreen start.macro");
  for (int i = 0; i < 600 && !fs::exists(dir / "started.atr"); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_TRUE(fs::exists(dir / "started.atr"));
  EXPECT_FALSE(fs::exists(dir / "injected"));
}

TEST(ScriptMacro, TheDemoScriptRunsItsMain)
{
  ScratchDir dir;
  fs::copy_file(fs::path(kExamples) / "demo.cint", dir / "demo.cint");
  int status = -1;
  std::string printed = RunTorvu(dir.Path(), "demo.cint", "", &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(printed,
            "level of the gauge: 2.5\n"
            "type of the gauge: Gauge\n"
            "gauge 0 of the project: Gauge\n"
            "gauge 1 of the project: Gauge_0001\n"
            "unknown attribute: 0\n"
            "error: object 'Nowhere' not found\n"
            "unknown object: 2\n"
            "path Project, id Gauge\n"
            "INFO:the level was set after the attribute set: 1\n");
  // The script wrote nothing beside itself (the program keeps its class values in ".torvu").
  for (const auto& entry : fs::directory_iterator(dir.Path())) {
    std::string name = entry.path().filename().string();
    EXPECT_TRUE(name == "demo.cint" || name == ".torvu") << name;
  }
}

TEST(ClassScript, FromTheUserAttributesDirectory)
{
  ScratchDir dir;
  fs::create_directory(dir / "user");
  // The project's class script takes "MacroFileName" over: an empty buffer asks for the value, a
  // text sets it.
  WriteFile(dir / "user/SW_Workspace.cint",
            "char name[256] = \"unset\";\n"
            "void MacroFileName(char v[])\n"
            "{\n"
            "  if (v[0] == 0) {\n"
            "    strcpy(v, name);\n"
            "    return;\n"
            "  }\n"
            "  strcpy(name, \"scripted-\");\n"
            "  strcat(name, v);\n"
            "}\n");
  WriteFile(dir / "check.cint",
            "int main()\n"
            "{\n"
            "  char v[256];\n"
            "  get(\"\", \"$name\", v);\n"
            "  printf(\"project: %s\\n\", v);\n"
            "  get(\"\", \"MacroFileName\", v);\n"
            "  printf(\"viewer: %s\\n\", v);\n"
            "  printf(\"stamped: %d\\n\", exec_time(\"Project\", \"MacroFileName\") > 0);\n"
            "  return 0;\n"
            "}\n");
  WriteFile(dir / "run.macro",
            "get(\"Project\", \"MacroFileName\", $before)\n"
            "set(\"Project\", \"MacroFileName\", \"x.macro\")\n"
            "get(\"Project\", \"MacroFileName\", $name)\n"
            "set(\"\", \"ExecMacro\", \"check.cint\")\n"
            "set(\"Project\", \"SaveAttributes\", \"project.atr\")\n");
  std::string user = dir / "user/";
  std::string printed = RunTorvu(dir.Path(), "run.macro", user);
  EXPECT_EQ(printed,
            "user-specific " + user + "SW_Workspace.cint\n"
            "project: scripted-x.macro\n"
            "viewer: run.macro\n"
            "stamped: 1\n");
  EXPECT_NE(ReadFile(dir / "project.atr").find("set(\"\", \"MacroFileName\", \"scripted-x.macro\")\n"),
            std::string::npos);

  // Without the user attributes directory the class has no script.
  WriteFile(dir / "plain.macro", "set(\"Project\", \"SaveAttributes\", \"plain.atr\")\n");
  RunTorvu(dir.Path(), "plain.macro");
  EXPECT_NE(ReadFile(dir / "plain.atr").find("set(\"\", \"MacroFileName\", \"Project.macro\")\n"),
            std::string::npos);
}

TEST(Project, SavedByOneRunLoadsInAnother)
{
  ScratchDir dir;
  fs::create_directory(dir / "user");
  WriteFile(dir / "user/Gauge.atr",
            "obj.Gauge\n"
            "\tdoc:A gauge.\n"
            "\tdouble.Level:Level\n"
            "\t\tset:SetLevel\n"
            "\t\tdoc:The level.\n"
            "\tstring.Unit:$unit\n"
            "\t\tset:$unit\n"
            "\t\tdoc:The unit, kept in a variable.\n");
  WriteFile(dir / "user/Gauge.cint",
            "double level = 0;\n"
            "void Level(char v[]) { sprintf(v, \"%.17g\", level); }\n"
            "void SetLevel(char v[]) { level = atof(v); }\n");
  WriteFile(dir / "user/Gauge.def", "set(\"\", \"SetLevel\", \"1\")\nset(\"\", \"$unit\", \"m\")\n");
  WriteFile(dir / "save.macro",
            "set(\"Project\", \"CreateUserObject\", \"Upper\")\n"
            "set(\"Project/Upper\", \"AttributesName\", \"Gauge\")\n"
            "set(\"Project/Upper\", \"SetLevel\", \"7.25\")\n"
            "set(\"Project/Upper\", \"$unit\", \"cm with %%qquotes%%q, a %%ttab and 100%\")\n"
            "set(\"Project/Upper\", \"MacroRepetitions\", \"3\")\n"
            "set(\"Project\", \"CreateUserObject\", \"Lower\")\n"
            "set(\"Project/Lower\", \"AttributesName\", \"obj.Lower%%n%%tdoc:Inline.%%n%%tstring.Note:$note%%n%%t%%tset:$note%%n%%t%%tdoc:A note.%%n\")\n"
            "set(\"Project/Lower\", \"$note\", \"line one%%nline two\")\n"
            "set(\"Project/Lower\", \"Active\", \"0\")\n"
            "set(\"Project\", \"MacroRepetitions\", \"2\")\n"
            "set(\"Project\", \"SuppressCreatingComponents\", \"1\")\n"
            "set(\"Project\", \"SaveProjectAs\", \"project\")\n"
            "set(\"Project\", \"SaveAttributesRecursively\", \"before.txt\")\n");
  // The second run makes the user objects, as it would on the commands, and loads them.
  WriteFile(dir / "load.macro",
            "set(\"Project\", \"CreateUserObject\", \"Upper\")\n"
            "set(\"Project\", \"CreateUserObject\", \"Lower\")\n"
            "set(\"Project\", \"LoadProject\", \"project\")\n"
            "set(\"Project\", \"SaveAttributesRecursively\", \"after.txt\")\n"
            "set(\"Project\", \"SaveProject\", \"\")\n");
  std::string user = dir / "user/";
  std::string saved = RunTorvu(dir.Path(), "save.macro", user);
  EXPECT_NE(saved.find("saving Upper to project/Upper\n"), std::string::npos) << saved;
  std::string loaded = RunTorvu(dir.Path(), "load.macro", user);
  EXPECT_EQ(loaded.find("saving "), std::string::npos) << loaded;  // nothing changed since the load
  EXPECT_EQ(loaded.find("error"), std::string::npos) << loaded;

  std::string before = ReadFile(dir / "before.txt");
  EXPECT_NE(before.find("set(\"Upper\", \"SetLevel\", \"7.25\")"), std::string::npos) << before;
  EXPECT_NE(before.find("set(\"Lower\", \"$note\", \"line one%%nline two\")"), std::string::npos) << before;
  EXPECT_EQ(ReadFile(dir / "after.txt"), before);

  for (const char* file : {"project/Workspace.dat", "project/Upper/Gauge.dat", "project/Lower/Lower.dat"}) {
    SCOPED_TRACE(file);
    ASSERT_TRUE(fs::exists(dir / file));
    EXPECT_EQ(std::system(("gzip -t " + ShellQuote(dir / file)).c_str()), 0);
  }
}

// The console in a real terminal: toggle a switch and edit a value while recording.
TEST(Console, InATerminal)
{
  if (std::system("command -v tmux > /dev/null 2>&1") != 0) GTEST_SKIP() << "tmux is not installed";
  ScratchDir dir;
  WriteFile(dir / "session.macro", "set(\"\", \"$started\", \"1\")\n");
  std::string server = "torvu_e2e_" + std::to_string(getpid());
  std::string tmux = "tmux -L " + server + " ";
  std::string start = tmux + "new-session -d -s s -x 160 -y 60 " +
                      ShellQuote(Torvu(dir.Path()) +
                            " -macro session.macro; echo TORVU_DONE; sleep 30");
  ASSERT_EQ(std::system(start.c_str()), 0);

  auto screen = [&] { return RunProcess(tmux + "capture-pane -p -t s"); };
  auto waitFor = [&](const std::string& text) {
    for (int i = 0; i < 200; ++i) {
      if (screen().find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ADD_FAILURE() << "never saw [" << text << "] on the screen:\n" << screen();
    return false;
  };
  // Each step types its keys, each followed by Enter, then waits for its text: recording on,
  // the project's "Active" switched off and "MacroRepetitions" set to 3, recording off, quit.
  const std::pair<std::string, std::string> steps[] = {
      {"", "e: edit"},
      {"e", "1: opr.Macro (opr)"},
      {"1", "1: bool.Recording: 0"},
      {"1", "1: bool.Recording: 1"},
      {"qq1", "Project:"},
      {"e", "2: obj.Object (obj)"},
      {"2", "4: bool.Active: 1"},
      {"4", "4: bool.Active: 0"},
      {"6", "2: int.MacroRepetitions: 1"},
      {"2", "enter value: [1]"},
      {"3", "2: int.MacroRepetitions: 3"},
      {"qqqqe11", "1: bool.Recording: 0"},
      {"qqq", "TORVU_DONE"},
  };
  for (const auto& [keys, text] : steps) {
    for (char key : keys) std::system((tmux + "send-keys -t s " + key + " Enter").c_str());
    waitFor(text);
  }
  std::system((tmux + "kill-server > /dev/null 2>&1").c_str());

  EXPECT_EQ(ReadFile(dir / "session.macro"),
            "set(\"Project\", \"Active\", \"0\")\n"
            "set(\"Project\", \"MacroRepetitions\", \"3\")\n");
}
