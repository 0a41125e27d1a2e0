// A simulation's friction law, however it was given, comes back with its project: a second
// process that loads the project from another directory, a background run (new or continued)
// and a batch start run it byte for byte as the process that saved it did. A stored rheology
// file that no longer loads refuses only the runs of its law; projects of the former form
// load as they did.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "ExampleTerrain.h"
#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

using Files = std::map<std::string, std::string>;  // time-step file name -> content

// A Voellmy-like law; "{MU}" is its Coulomb coefficient.
const char* const kLaw =
    "double mu = {MU};\ndouble xi = 2000;\n"
    "double tau(double p, double u, double h, double rho, double t, double x[3], double n[3], double e)\n"
    "{\n  return mu * p + rho * 9.81 * u * u / xi;\n}\n"
    "void get_par(char text[512]) { sprintf(text, \"%g %g\", mu, xi); }\n"
    "void set_par(char text[]) { sscanf(text, \"%lf %lf\", mu, xi); }\n";

std::string Replaced(std::string text, const std::string& what, const std::string& by)
{
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + by.size()))
    text.replace(at, what.size(), by);
  return text;
}

// A simulation's identifier and the attributes that give it its law, in order ("{DIR}": the
// directory the saving process works in).
struct Way {
  const char* id;
  std::vector<std::pair<const char*, const char*>> settings;
};

const Way kBuiltIn{"builtin", {{"FrictionType", "Chezy"}}};
const Way kFolder{"folder", {{"FrictionType", "voellmy"}, {"FormulaParameters", "0.3 1500"}}};
const Way kRelative{"relative", {{"FrictionType", "law"}, {"BottomShearStressFormulaFile", "mylaw.cint"}}};
const Way kAbsolute{"absolute", {{"FrictionType", "law"}, {"BottomShearStressFormulaFile", "{DIR}/laws/steep.cint"}}};
const Way kTypePath{"typepath", {{"FrictionType", "./mylaw.cint"}}};
const Way kParameters{"parameters",
                      {{"FrictionType", "law"}, {"BottomShearStressFormulaFile", "mylaw.cint"}, {"FormulaParameters", "0.35 1200"}}};

std::string Torvu(const std::string& dir, const std::string& macro)
{
  int status = -1;
  std::string printed =
      RunProcess(TorvuOffscreen(dir, TORVU_PROGRAM, TORVU_ATTRIBUTES, macro + " < /dev/null 2>&1"), &status);
  EXPECT_EQ(status, 0) << printed;
  return printed;
}

// The example slope with one simulation per way (2 s, an output every second), saved as
// "proj" and then run in line by the process that saved it, in "work"; "elsewhere" is another
// directory, where relative paths of "work" find nothing.
struct LawProject {
  ScratchDir dir;
  std::string work = dir / "work";
  std::vector<Way> ways;
  std::vector<Files> foreground;  // of the run in line, by way

  explicit LawProject(std::vector<Way> w) : ways(std::move(w))
  {
    fs::create_directories(work);
    CopyExampleTerrain(work);
    dir.Write("work/mylaw.cint", Replaced(kLaw, "{MU}", "0.2"));
    dir.Write("work/laws/steep.cint", Replaced(kLaw, "{MU}", "0.25"));
    fs::create_directories(dir / "elsewhere");
    std::string macro = ImportExampleAsProject();
    for (const Way& way : ways) {
      const std::string sim = Sim(way);
      macro += "set(\"Project/Simulations\", \"CreateSimulation\", \"" + std::string(way.id) + "\")\n"
               "set(\"" + sim + "/ReleaseAreas\", \"AppendAllObjectsOfType\", \"ReleaseArea\")\n"
               "set(\"" + sim + "\", \"EndTime\", \"2\")\nset(\"" + sim + "\", \"DeltaOut\", \"1\")\n";
      for (const auto& [attribute, value] : way.settings)
        macro += "set(\"" + sim + "\", \"" + attribute + "\", \"" + Replaced(value, "{DIR}", work) + "\")\n";
    }
    macro += "set(\"Project\", \"SaveProject\", \"\")\n";
    for (const Way& way : ways) macro += "set(\"" + Sim(way) + "\", \"Run\", \"\")\n";
    dir.Write("work/setup.macro", macro);
    Torvu(work, "setup.macro");
    for (const Way& way : ways) foreground.push_back(TimeStepContents(Run(way)));
  }
  static std::string Sim(const Way& way) { return "Project/Simulations/" + std::string(way.id); }
  std::string Run(const Way& way) const { return work + "/proj/" + Sim(way); }
  // Loads the project in a new process in "elsewhere" and sends each simulation the commands
  // ("{SIM}": its path), then the last ones; what the process printed.
  std::string Elsewhere(const std::string& commands, const std::string& last = "") const
  {
    std::string macro = "set(\"\", \"ProjectDir\", \"" + work + "/proj\")\nset(\"Project\", \"LoadProject\", \"\")\n";
    for (const Way& way : ways) macro += Replaced(commands, "{SIM}", Sim(way));
    dir.Write("elsewhere/step.macro", macro + last);
    return Torvu(dir / "elsewhere", "step.macro");
  }
};

}  // namespace

// Every way of giving a law, through every way of running a saved project in a process that
// loads it from another directory: the same time-step files as the saving process's run.
TEST(RheologyReload, EveryWayOfGivingALawRunsAsInTheSavingProcess)
{
  LawProject p({kBuiltIn, kFolder, kRelative, kAbsolute, kTypePath, kParameters});
  for (size_t i = 0; i < p.ways.size(); ++i) ASSERT_EQ(p.foreground[i].size(), 3u) << p.ways[i].id;
  // The oracle within the saving process: one file given by two ways is one law; another file,
  // other parameters or no file at all is another.
  const std::string last = "at_0000002.0000.TimeStep";
  EXPECT_TRUE(p.foreground[2] == p.foreground[4]);
  for (size_t other : {0, 3, 5}) EXPECT_NE(p.foreground[2].at(last), p.foreground[other].at(last)) << other;

  const struct {
    const char* name;
    const char* commands;  // per simulation, after the load
    const char* last;      // after those
    const char* kept;      // the time step the run goes on from, "" for none
    bool background;
  } modes[] = {
      {"Run", "set(\"{SIM}\", \"Run\", \"\")\n", "", "", false},
      {"RunInBackground", "set(\"{SIM}\", \"RunInBackground\", \"\")\n", "", "", true},
      {"ContinueInBackground",
       "set(\"{SIM}\", \"LoadTimeStep\", \"at_0000001.0000\")\nset(\"{SIM}\", \"ContinueInBackground\", \"\")\n",
       "", "at_0000001.0000.TimeStep", true},
      {"batch start", "", "set(\"Project/Simulations\", \"StartActive\", \"\")\n", "", true},
  };
  for (const auto& mode : modes) {
    SCOPED_TRACE(mode.name);
    for (const Way& way : p.ways) {
      for (const auto& [name, content] : TimeStepContents(p.Run(way)))
        if (name != mode.kept) fs::remove(p.Run(way) + "/" + name);
      fs::remove(p.Run(way) + "/.simulation_status");
    }
    const std::string printed = p.Elsewhere(mode.commands, mode.last);
    for (const Way& way : p.ways) ASSERT_TRUE(!mode.background || WaitUntilFinished(p.Run(way))) << way.id;
    // The path of the type is not found from there: kept, with a warning, and the stored file
    // takes over.
    EXPECT_NE(printed.find("WARNING: FrictionType: cannot find the rheology file ./mylaw.cint"), std::string::npos)
        << printed;
    for (size_t i = 0; i < p.ways.size(); ++i) {
      const Files files = TimeStepContents(p.Run(p.ways[i]));
      ASSERT_EQ(files.count(last), 1u) << p.ways[i].id << "\n" << ReadFile(p.Run(p.ways[i]) + "/start.log");
      for (const auto& [name, content] : files)
        EXPECT_TRUE(content == p.foreground[i].at(name)) << p.ways[i].id << " " << name;
      if (!*mode.kept) {
        EXPECT_EQ(files.size(), 3u) << p.ways[i].id;
      }
    }
  }
}

// The stored rheology file removed, or no longer compiling, before the reload: the project
// loads, saying which file it could not load and why; each run of a user law that needs it is
// refused with that reason before any file changes, and the built-in model still runs.
TEST(RheologyReload, AStoredFileThatNoLongerLoadsRefusesOnlyItsLaw)
{
  LawProject p({kRelative, kTypePath, kBuiltIn});
  const std::string law = p.work + "/mylaw.cint";
  const struct {
    const char* name;
    const char* content;  // of the law's file, none: removed
    std::string reason;
  } cases[] = {
      {"removed", nullptr, "cannot open " + law + ": No such file or directory"},
      {"no longer compiling", "double tau(double p { return p; }\n", "syntax errors in " + law},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.content) WriteFile(law, c.content);
    else fs::remove(law);
    fs::remove(p.Run(kBuiltIn) + "/at_0000002.0000.TimeStep");
    // A refused command ends its macro: one process for each run.
    const auto run = [&](const Way& way) { return p.Elsewhere("", "set(\"" + LawProject::Sim(way) + "\", \"Run\", \"\")\n"); };
    run(kBuiltIn);
    for (const char* type : {"law", "./mylaw.cint"}) {
      const Way& way = *type == 'l' ? kRelative : kTypePath;
      const std::string info = ReadFile(p.Run(way) + "/.simulation_info");
      const std::string printed = run(way);
      EXPECT_NE(printed.find("WARNING: Viewer/" + LawProject::Sim(way) +
                             ": the rheology file of its friction law could not be loaded: " + c.reason),
                std::string::npos)
          << printed;
      const std::string refusal = "not run: friction law " + std::string(type) + " has no usable tau: " + c.reason;
      EXPECT_NE(printed.find("Viewer/" + LawProject::Sim(way) + ": " + refusal), std::string::npos) << printed;
      EXPECT_EQ(ReadFile(p.Run(way) + "/.simulation_info"), info);  // a refusal writes nothing
    }
    EXPECT_TRUE(TimeStepContents(p.Run(kRelative)) == p.foreground[0]);
    EXPECT_TRUE(TimeStepContents(p.Run(kTypePath)) == p.foreground[1]);
    EXPECT_TRUE(TimeStepContents(p.Run(kBuiltIn)) == p.foreground[2]);
  }
}

// A project saved before the simulation kept its rheology file: "FormulaParameters" right
// after "FrictionType", which held the absolute path of a file loaded by path, or the name of
// a law whose file it did not keep. It loads and runs as it did: a law named by its path with
// its parameters, a law from the rheology folder, and a lost file's law under the formula.
TEST(RheologyReload, AProjectInTheFormerFormLoadsAndRunsAsBefore)
{
  const Way abspath{"abspath", {{"FrictionType", "law"}, {"BottomShearStressFormulaFile", "mylaw.cint"},
                                {"FormulaParameters", "0.35 1200"}}};
  const Way plain{"plain", {{"FrictionType", "law"}}};
  LawProject p({abspath, kFolder, kRelative, plain});
  // The saved attributes in the former order, without the rheology file; the friction type
  // as given, unless that is empty.
  const auto formerForm = [&](const Way& way, const std::string& frictionType) {
    const std::string file = p.Run(way) + "/ShallowWaterSimulation.atr";
    std::vector<std::string> lines;
    std::istringstream in(ReadFile(file));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    const auto named = [&](const char* attribute) {
      for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i].find(std::string("\"") + attribute + "\"") != std::string::npos) return i;
      return lines.size();
    };
    ASSERT_LT(named("FormulaParameters"), lines.size());
    const std::string parameters = lines[named("FormulaParameters")];
    lines.erase(lines.begin() + long(named("FormulaParameters")));
    if (named("RheologyFilePath") < lines.size()) lines.erase(lines.begin() + long(named("RheologyFilePath")));
    const size_t type = named("FrictionType");
    ASSERT_LT(type, lines.size());
    if (!frictionType.empty()) lines[type] = "set(\"\", \"FrictionType\", \"" + frictionType + "\")";
    lines.insert(lines.begin() + long(type) + 1, parameters);
    std::string out;
    for (const std::string& line : lines) out += line + "\n";
    WriteFile(file, out);
  };
  formerForm(abspath, p.work + "/mylaw.cint");
  formerForm(kFolder, "");
  formerForm(kRelative, "");
  for (const Way& way : p.ways) fs::remove(p.Run(way) + "/at_0000002.0000.TimeStep");
  const std::string printed = p.Elsewhere("set(\"{SIM}\", \"Run\", \"\")\n");
  EXPECT_EQ(printed.find("could not be loaded"), std::string::npos) << printed;
  EXPECT_TRUE(TimeStepContents(p.Run(abspath)) == p.foreground[0]);
  EXPECT_TRUE(TimeStepContents(p.Run(kFolder)) == p.foreground[1]);
  EXPECT_TRUE(TimeStepContents(p.Run(kRelative)) == p.foreground[3]);
  EXPECT_TRUE(TimeStepContents(p.Run(plain)) == p.foreground[3]);
}
