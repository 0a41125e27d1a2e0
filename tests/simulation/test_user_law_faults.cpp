// User friction laws whose scripts fail at run time (integer division by zero, an index out of
// range, runaway recursion, a loop that never ends): the run stops at the step where the law
// failed, saying once which law failed and why; a law whose initialisation fails is refused
// when it is set.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "AK_FrameworkState.h"
#include "SW_InitialCondition.h"
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

}  // namespace

// Each law is sound for the first three steps (t = 0, 0.1, 0.2) and fails in the fourth.
TEST(UserLawFaults, ScriptFaultStopsTheRunAtItsStepWithOneError)
{
  LowStepLimit low;
  const struct {
    const char* name;
    const char* source;
    const char* reason;
  } cases[] = {
      {"division", "int zero = 0;\n{TAU}{ if (t > 0.25) return 1 / zero; return 0.3 * p; }",
       "integer division by zero"},
      {"index", "{TAU}{ int i = 3; if (t > 0.25) return x[i]; return 0.3 * p; }",
       "index 3 out of range for an array of 3 elements"},
      {"recursion", "double down(double k) { return down(k + 1) + 1; }\n{TAU}{ if (t > 0.25) return down(0); return 0.3 * p; }",
       "recursion too deep in call of 'down'"},
      {"endless", "{TAU}{ if (t > 0.25) while (1) { } return 0.3 * p; }", "step limit of 100000 exceeded"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RunProject p;
    std::string source = c.source;
    source.replace(source.find("{TAU}"), 5, kTauHead);
    const std::string law = p.dir.Write(std::string("laws/") + c.name + ".cint", source);
    p.sim->Set("FrictionType", law.c_str());
    ASSERT_TRUE(p.sim->HasTau()) << AK_ErrorText.c_str();
    MessageCapture messages;
    p.sim->Set("Run", "");
    const std::string error = AK_ErrorText.c_str();
    EXPECT_NE(error.find("friction law \"" + law + "\" failed: " + c.reason), std::string::npos) << error;
    EXPECT_EQ(CountContaining(messages, c.reason), 1u);
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
