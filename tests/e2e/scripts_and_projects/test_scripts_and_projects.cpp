// The torvu program end to end: a script macro given on the command line, a class script
// found in the user attributes directory (TORVU_USER_ATTRIBUTES), and a project saved by one
// run of the program and loaded by another.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "E2eSupport.h"

namespace fs = std::filesystem;
using namespace torvu_e2e;

namespace {

const std::string kProgram = TORVU_PROGRAM;
const std::string kFiles = TORVU_ATTRIBUTES;
const std::string kExamples = TORVU_EXAMPLES;

// Runs torvu in the directory (its home there too) on the macro or script, offscreen; the
// user attributes directory is set only when given. Returns what it printed after the
// banner, without the "\t(file:line)" locations.
std::string RunTorvu(const fs::path& dir, const std::string& file, const std::string& userAttributes = "",
                     int* status = nullptr)
{
  std::string environment = userAttributes.empty() ? "env -u TORVU_USER_ATTRIBUTES"
                                                   : "env TORVU_USER_ATTRIBUTES=" + Quote(userAttributes);
  std::string command = "cd " + Quote(dir.string()) + " && " + environment + " HOME=" + Quote(dir.string()) +
                        " " + Quote(kProgram) + " -files " + Quote(kFiles) + " -offscreen " + Quote(file) +
                        " < /dev/null";
  return WithoutStartup(Capture(command, status));
}

}  // namespace

TEST(ScriptMacro, TheDemoScriptRunsItsMain)
{
  TempDir dir("torvu_e2e_sp_");
  fs::copy_file(fs::path(kExamples) / "demo.cint", dir.path / "demo.cint");
  int status = -1;
  std::string printed = RunTorvu(dir.path, "demo.cint", "", &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(printed,
            "level of the gauge: 2.5\n"
            "type of the gauge: Gauge\n"
            "component 0 of the project: Gauge\n"
            "component 1 of the project: Gauge_0001\n"
            "unknown attribute: 0\n"
            "error: object 'Nowhere' not found\n"
            "unknown object: 2\n"
            "path Project, id Gauge\n"
            "INFO:the level was set after the attribute set: 1\n");
  // The script wrote nothing beside itself (the program keeps its class values in ".torvu").
  for (const auto& entry : fs::directory_iterator(dir.path)) {
    std::string name = entry.path().filename().string();
    EXPECT_TRUE(name == "demo.cint" || name == ".torvu") << name;
  }
}

TEST(ClassScript, FromTheUserAttributesDirectory)
{
  TempDir dir("torvu_e2e_sp_");
  fs::create_directory(dir.path / "user");
  // The containers' script takes "MacroFileName" over: an empty buffer asks for the value, a
  // text sets it.
  WriteFile(dir.path / "user/AK_Container.cint",
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
  WriteFile(dir.path / "check.cint",
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
  WriteFile(dir.path / "run.macro",
            "get(\"Project\", \"MacroFileName\", $before)\n"
            "set(\"Project\", \"MacroFileName\", \"x.macro\")\n"
            "get(\"Project\", \"MacroFileName\", $name)\n"
            "set(\"\", \"ExecMacro\", \"check.cint\")\n"
            "set(\"Project\", \"SaveAttributes\", \"project.atr\")\n");
  std::string user = (dir.path / "user").string() + "/";
  std::string printed = RunTorvu(dir.path, "run.macro", user);
  EXPECT_EQ(printed,
            "user-specific " + user + "AK_Container.cint\n"
            "project: scripted-x.macro\n"
            "viewer: run.macro\n"
            "stamped: 1\n");
  EXPECT_NE(ReadFile(dir.path / "project.atr").find("set(\"\", \"MacroFileName\", \"scripted-x.macro\")\n"),
            std::string::npos);

  // Without the user attributes directory the class has no script.
  WriteFile(dir.path / "plain.macro", "set(\"Project\", \"SaveAttributes\", \"plain.atr\")\n");
  RunTorvu(dir.path, "plain.macro");
  EXPECT_NE(ReadFile(dir.path / "plain.atr").find("set(\"\", \"MacroFileName\", \"Project.macro\")\n"),
            std::string::npos);
}

TEST(Project, SavedByOneRunLoadsInAnother)
{
  TempDir dir("torvu_e2e_sp_");
  fs::create_directory(dir.path / "user");
  WriteFile(dir.path / "user/Gauge.atr",
            "obj.Gauge\n"
            "\tdoc:A gauge.\n"
            "\tdouble.Level:Level\n"
            "\t\tset:SetLevel\n"
            "\t\tdoc:The level.\n"
            "\tstring.Unit:$unit\n"
            "\t\tset:$unit\n"
            "\t\tdoc:The unit, kept in a variable.\n");
  WriteFile(dir.path / "user/Gauge.cint",
            "double level = 0;\n"
            "void Level(char v[]) { sprintf(v, \"%.17g\", level); }\n"
            "void SetLevel(char v[]) { level = atof(v); }\n");
  WriteFile(dir.path / "user/Gauge.def", "set(\"\", \"SetLevel\", \"1\")\nset(\"\", \"$unit\", \"m\")\n");
  WriteFile(dir.path / "save.macro",
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
  WriteFile(dir.path / "load.macro",
            "set(\"Project\", \"CreateUserObject\", \"Upper\")\n"
            "set(\"Project\", \"CreateUserObject\", \"Lower\")\n"
            "set(\"Project\", \"LoadProject\", \"project\")\n"
            "set(\"Project\", \"SaveAttributesRecursively\", \"after.txt\")\n"
            "set(\"Project\", \"SaveProject\", \"\")\n");
  std::string user = (dir.path / "user").string() + "/";
  std::string saved = RunTorvu(dir.path, "save.macro", user);
  EXPECT_NE(saved.find("saving Upper to project/Upper\n"), std::string::npos) << saved;
  std::string loaded = RunTorvu(dir.path, "load.macro", user);
  EXPECT_EQ(loaded.find("saving "), std::string::npos) << loaded;  // nothing changed since the load
  EXPECT_EQ(loaded.find("error"), std::string::npos) << loaded;

  std::string before = ReadFile(dir.path / "before.txt");
  EXPECT_NE(before.find("set(\"Upper\", \"SetLevel\", \"7.25\")"), std::string::npos) << before;
  EXPECT_NE(before.find("set(\"Lower\", \"$note\", \"line one%%nline two\")"), std::string::npos) << before;
  EXPECT_EQ(ReadFile(dir.path / "after.txt"), before);

  for (const char* file : {"project/Container.dat", "project/Upper/Gauge.dat", "project/Lower/Lower.dat"}) {
    SCOPED_TRACE(file);
    ASSERT_TRUE(fs::exists(dir.path / file));
    EXPECT_EQ(std::system(("gzip -t " + Quote((dir.path / file).string())).c_str()), 0);
  }
}
