// User friction laws whose scripts fail at run time (integer division by zero, an index out of
// range, runaway recursion, a loop that never ends): the run stops at the step where the law
// failed, saying once which law failed and why, at the law's own line; a law whose
// initialisation fails is refused when it is set; a user law left with neither "tau" nor a
// shear formula refuses the run before it touches a file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "AK_Files.h"
#include "AK_FrameworkState.h"
#include "SW_InitialCondition.h"
#include "SW_SimulationStatus.h"
#include "SW_UserCode.h"
#include "SimulationTestProject.h"
#include "TestSupport.h"

namespace {

// Lowers the step limit of user code for a test, so that a runaway law ends in a moment.
struct LowStepLimit {
  uint64_t saved = SW_UserCodeStepLimit();
  LowStepLimit() { SW_SetUserCodeStepLimit(100000); }
  ~LowStepLimit() { SW_SetUserCodeStepLimit(saved); }
};

size_t CountContaining(const MessageCapture& m, const std::string& text)
{
  return static_cast<size_t>(std::count_if(m.messages.begin(), m.messages.end(),
                                           [&](const std::string& s) { return s.find(text) != std::string::npos; }));
}

const char* const kTauHead =
    "double tau(double p, double u, double h, double r, double t, double x[3], double n[3], double e)\n";

// The text with every "{LAW}" replaced by the law's path.
std::string WithLaw(std::string text, const std::string& law)
{
  for (size_t at = text.find("{LAW}"); at != std::string::npos; at = text.find("{LAW}", at + law.size()))
    text.replace(at, 5, law);
  return text;
}

// The time-step files of the run directory with their contents.
std::map<std::string, std::string> TimeStepContents(const RunProject& p)
{
  std::map<std::string, std::string> files;
  for (const std::string& name : p.TimeSteps()) files[name] = p.File(name.c_str());
  return files;
}

// Sets an attribute as a command would; what the command answers (its error text).
std::string Answer(SW_Simulation& sim, const char* attribute, const std::string& value)
{
  AK_ErrorText = "";
  sim.Set(attribute, value.c_str());
  return AK_ErrorText.c_str();
}

}  // namespace

// Each law is sound for the first three steps (t = 0, 0.1, 0.2) and fails in the fourth. The
// run is started from a script macro: the error names the line of the law where it failed
// (for the step limit, the loop that never ends), not the macro's line that started the run.
TEST(UserLawFaults, ScriptFaultStopsTheRunAtItsStepWithOneError)
{
  LowStepLimit low;
  const struct {
    const char* name;
    const char* source;
    const char* reason;
  } cases[] = {
      {"division", "int zero = 0;\n{TAU}{ if (t > 0.25) return 1 / zero; return 0.3 * p; }",
       "integer division by zero ({LAW}:3)"},
      {"index", "{TAU}{ int i = 3; if (t > 0.25) return x[i]; return 0.3 * p; }",
       "index 3 out of range for an array of 3 elements ({LAW}:2)"},
      {"recursion", "double down(double k) { return down(k + 1) + 1; }\n{TAU}{ if (t > 0.25) return down(0); return 0.3 * p; }",
       "recursion too deep in call of 'down' ({LAW}:1)"},
      {"endless", "{TAU}{\n  if (t > 0.25)\n    while (1) {\n    }\n  return 0.3 * p;\n}",
       "step limit of 100000 exceeded ({LAW}:4)"},
      {"endless calls", "double one(double k) { return k; }\n{TAU}{\n  double s = 0;\n  if (t > 0.25)\n"
                        "    for (;;) s = one(s);\n  return 0.3 * p;\n}",
       "step limit of 100000 exceeded ({LAW}:6)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RunProject p;
    std::string source = c.source;
    source.replace(source.find("{TAU}"), 5, kTauHead);
    const std::string law = p.dir.Write(std::string("laws/") + c.name + ".cint", source);
    const std::string reason = WithLaw(c.reason, law);
    p.sim->Set("FrictionType", law.c_str());
    ASSERT_TRUE(p.sim->HasTau()) << AK_ErrorText.c_str();
    const std::string macro = p.dir.Write("run.cint", "int main() {\n  set(\"\", \"Run\", \"\");\n  return 0;\n}\n");
    MessageCapture messages;
    AK_ErrorText = "";
    p.sim->RunScriptFile(macro.c_str());
    const std::string error = AK_ErrorText.c_str();
    EXPECT_NE(error.find("friction law \"" + law + "\" failed: " + reason + " (pressure "), std::string::npos)
        << error;
    EXPECT_EQ(CountContaining(messages, reason), 1u);
    EXPECT_EQ(messages.WithPrefix("computing time step ").size(), 4u);
    EXPECT_EQ(p.TimeSteps(), std::vector<std::string>{"at_0000000.0000.TimeStep"});
  }
}

// An initialisation that fails (in "init" or in a global's initialiser) refuses the law when
// it is set, instead of hanging the command or leaving a half-initialised law in force.
TEST(UserLawFaults, FailingInitialisationRefusesTheLaw)
{
  LowStepLimit low;
  ScratchDir dir;
  const struct {
    const char* source;
    const char* reason;
  } cases[] = {
      {"void init() { while (1) { } }", "step limit of 100000 exceeded"},
      {"int spin() { while (1) { } return 0; }\nint ready = spin();", "step limit of 100000 exceeded"},
      {"void init() { int z = 0; int k = 1 / z; }", "integer division by zero"},
  };
  int k = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.source);
    SW_Simulation s("rheology", nullptr);
    const std::string path = dir.Write("init" + std::to_string(k++) + ".cint",
                                       std::string(kTauHead) + "{ return p; }\n" + c.source + "\n");
    MessageCapture messages;
    AK_ErrorText = "";
    s.Set("FrictionType", path.c_str());
    const std::string error = AK_ErrorText.c_str();
    EXPECT_NE(error.find("the rheology file " + path + " failed in its initialisation: " + c.reason), std::string::npos)
        << error;
    EXPECT_FALSE(s.HasTau());
    EXPECT_STREQ(s.Get("FormulaParametersVis"), "-");
    EXPECT_STREQ(s.Get("BottomShearStressFormulaFile"), "");
    EXPECT_EQ(CountContaining(messages, c.reason), 0u);  // said in the error text only
  }
}

// A user law whose rheology file did not load, or one left with neither "tau" nor a shear
// formula, would run the avalanche without the friction it names. Each way of getting there
// keeps its answer to the command that led there, and the run is refused before it writes,
// replaces or removes a file; a run that a background start announced ends "finished" with
// the reason in the info file. A project saved with a law whose file failed is refused as
// well when another process loads it (the shear formula it replays is not that law).
TEST(UserLawFaults, ALawWithoutUsableTauRefusesTheRunBeforeAnyFileChanges)
{
  const std::string good = std::string(kTauHead) + "{ return 0.3 * p; }\n";
  const std::string broken = std::string(kTauHead) + "{ return 0.3 * p }\n";
  struct Case {
    const char* name;
    std::string source;  // the rheology file that FrictionType is set to first
    // What follows; answers the last command's answer.
    std::string (*then)(SW_Simulation&, const std::string& law);
    const char* answer;     // the last command's answer
    const char* frictionType;
    const char* reason;
    bool shear = false;   // a shear formula is in force
    bool reload = false;  // the saved project is refused when loaded
  } cases[] = {
      {"syntax errors", broken, nullptr, "", "{LAW}", "syntax errors in {LAW}", false, true},
      {"no tau", "double friction(double p) { return p; }\n", nullptr, "", "{LAW}", "function tau missing in {LAW}",
       false, true},
      {"init dividing by zero", good + "void init() { int z = 0;\n  int k = 1 / z; }\n", nullptr,
       "the rheology file {LAW} failed in its initialisation: integer division by zero ({LAW}:4)", "{LAW}",
       "the rheology file {LAW} failed in its initialisation: integer division by zero ({LAW}:4)", false, true},
      {"formula not compiling after a failed load", broken,
       [](SW_Simulation& s, const std::string&) { return Answer(s, "BottomShearStressFormula", "return v +;"); },
       "syntax errors in formula!", "{LAW}", "syntax errors in {LAW}", false, true},
      {"formula compiling after a failed load", broken,
       [](SW_Simulation& s, const std::string&) { return Answer(s, "BottomShearStressFormula", "return 0.3 * p;"); },
       "", "{LAW}", "syntax errors in {LAW}", true, true},
      {"path gone", good,
       [](SW_Simulation& s, const std::string& law) {
         EXPECT_EQ(0, AK_DeleteFile(law.c_str()));
         return Answer(s, "FrictionType", law);
       },
       "", "{LAW}", "cannot find the rheology file {LAW}", false, true},
      {"rheology file dropped", good,
       [](SW_Simulation& s, const std::string&) { return Answer(s, "BottomShearStressFormulaFile", ""); }, "", "{LAW}",
       "its rheology file was dropped"},
      {"formula not compiling under a name of no file", good,
       [](SW_Simulation& s, const std::string&) {
         Answer(s, "FrictionType", "no_such_law");
         Answer(s, "BottomShearStressFormula", "return 0.3 * p;");
         return Answer(s, "BottomShearStressFormula", "return p *;");
       },
       "syntax errors in formula!", "no_such_law", "syntax errors in formula!"},
      {"name of no file after a failed load", broken,
       [](SW_Simulation& s, const std::string&) { return Answer(s, "FrictionType", "no_such_law"); }, "",
       "no_such_law", "'no_such_law' is neither a built-in model nor a rheology file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunProject p;
    p.sim->Set("EndTime", "0.2");
    p.sim->Set("DeltaOut", "0.1");
    AK_ErrorText = "";
    p.sim->Set("Run", "");
    ASSERT_STREQ(AK_ErrorText, "");
    const std::map<std::string, std::string> before = TimeStepContents(p);
    ASSERT_EQ(before.size(), 3u);
    EXPECT_TRUE(SW_WriteStatusFile(p.run.c_str(), "started"));
    const std::string ran = SW_QueryAnswer(SW_ReadInfoFile(p.run.c_str()), "").c_str();

    const std::string law = p.dir.Write("laws/law.cint", c.source);
    MessageCapture messages;
    std::string answer = Answer(*p.sim, "FrictionType", law);
    if (c.then) answer = c.then(*p.sim, law);
    EXPECT_EQ(answer, WithLaw(c.answer, law));
    EXPECT_STREQ(p.sim->Get("FrictionType"), WithLaw(c.frictionType, law).c_str());
    EXPECT_FALSE(p.sim->HasTau());
    EXPECT_EQ(p.sim->HasShear(), c.shear);
    EXPECT_EQ(messages.Contains("ERROR: syntax errors in " + law), c.source == broken);

    const std::string fault =
        "friction law " + WithLaw(c.frictionType, law) + " has no usable tau: " + WithLaw(c.reason, law);
    p.sim->Set("EndTime", "0.4");  // something left to continue
    for (const char* command : {"Run", "Continue"}) {
      SCOPED_TRACE(command);
      EXPECT_TRUE(SW_WriteStatusFile(p.run.c_str(), "started"));
      EXPECT_EQ(Answer(*p.sim, command, ""), "project/Simulations/Avalanche1: not run: " + fault);
      EXPECT_TRUE(TimeStepContents(p) == before) << "a time-step file was written, replaced or removed";
      EXPECT_FALSE(messages.HasPrefix("computing time step "));
      // The refusal writes nothing of its own: only the take-over of the start that is gone did.
      EXPECT_STREQ(SW_QueryAnswer(SW_ReadStatusFile(p.run.c_str()), "unknown"), "finished");
      EXPECT_EQ(std::string(SW_QueryAnswer(SW_ReadInfoFile(p.run.c_str()), "").c_str()), "its run did not finish, its process is gone; last: " + ran);
    }
    if (!c.reload) continue;
    ScratchDir saved;
    p.sim->SaveProjectAs(saved.Path().c_str());
    SW_Simulation* loaded = p.Add("loaded");
    loaded->LoadProject(saved.Path().c_str());
    EXPECT_EQ(std::string(loaded->UserLawRefusal().c_str()), fault);
  }
}

// Laws with a function to answer still run: the built-in ones, a sound rheology file, a user
// law whose file failed but loads when chosen again, and a name of no file that never lost
// the shear formula.
TEST(UserLawFaults, LawsWithAUsableFunctionStillRun)
{
  const std::string good = std::string(kTauHead) + "{ return 0.3 * p; }\n";
  struct Case {
    std::string frictionType;  // "{LAW}" for the rheology file, which holds `source`
    std::string source;
    std::string (*then)(SW_Simulation&, const std::string& law);
  } cases[] = {
      {"{LAW}", good, nullptr},
      {"{LAW}", "double friction(double p) { return p; }\n",
       [](SW_Simulation& s, const std::string& law) {
         WriteFile(law, std::string(kTauHead) + "{ return 0.3 * p; }\n");
         return Answer(s, "FrictionType", law);
       }},
      {"no_such_law", good, nullptr},
  };
  std::vector<Case> all(std::begin(cases), std::end(cases));
  for (const char* builtIn : SW_Simulation::kBuiltInFrictionTypes) all.push_back({builtIn, good, nullptr});
  for (const Case& c : all) {
    RunProject p;
    const std::string law = p.dir.Write("laws/law.cint", c.source);
    SCOPED_TRACE(WithLaw(c.frictionType, law) + (c.then ? " and then" : ""));
    p.sim->Set("EndTime", "0.2");
    p.sim->Set("DeltaOut", "0.1");
    const std::string answer = Answer(*p.sim, "FrictionType", WithLaw(c.frictionType, law));
    EXPECT_EQ(c.then ? c.then(*p.sim, law) : answer, "");
    EXPECT_TRUE(SW_WriteStatusFile(p.run.c_str(), "started"));
    MessageCapture messages;
    EXPECT_EQ(Answer(*p.sim, "Run", ""), "");
    EXPECT_EQ(messages.WithPrefix("computing time step ").size(), 2u);
    EXPECT_EQ(p.TimeSteps().size(), 3u);
    EXPECT_STREQ(SW_QueryAnswer(SW_ReadStatusFile(p.run.c_str()), "unknown"), "finished");
  }
}
