// The output schedule of the run loop: regular outputs, one at an off-schedule end time, a
// continue from an off-schedule time, a stop criterion that lets one more step run, an
// interrupt before the first step, and an error in the criterion.
#include <gtest/gtest.h>

#include <vector>

#include "SW_RunLoop.h"
#include "TestSupport.h"

namespace {

struct Recorder : SW_RunSteps {
  double* time = nullptr;
  double stopAt = 1e30, failAt = 1e30;
  bool interrupted = false;
  int steps = 0, progressLines = 0;
  std::vector<double> outputs;

  bool Interrupted() override { return interrupted; }
  void EndTimeIs(double) override {}
  void Step(double, double) override { steps++; }
  void Progress(const char*) override { progressLines++; }
  void Output() override { outputs.push_back(*time); }
  void AfterStep() override {}
  int StopCriterion(AK_String& value) override
  {
    if (*time > failAt - 1e-9) return -1;
    if (*time < stopAt - 1e-9) return 0;
    value = "deposited";
    return 1;
  }
};

}  // namespace

TEST(RunLoop, OutputSchedule)
{
  MessageCapture messages;
  struct Case {
    double start, deltaT, deltaOut, end, stopAt, failAt;
    bool interrupted;
    int steps;
    std::vector<double> outputs;
  } cases[] = {
      {0, 0.1, 5, 12, 1e30, 1e30, false, 120, {5, 10, 12}},
      {12.3, 0.1, 5, 20, 1e30, 1e30, false, 77, {15, 20}},       // k starts at 123
      {20, 0.1, 5, 20.04, 1e30, 1e30, false, 0, {}},             // nothing left to run
      {0, 0.5, 10, 100, 2, 1e30, false, 5, {2.5}},               // one more step after the stop
      {0, 0.5, 10, 100, 1e30, 1e30, true, 0, {}},
      {0, 0.5, 1, 100, 1e30, 1.5, false, 3, {1}},
  };
  for (const Case& c : cases) {
    Recorder r;
    double time = c.start;
    r.time = &time;
    r.stopAt = c.stopAt;
    r.failAt = c.failAt;
    r.interrupted = c.interrupted;
    SW_RunTimeLoop(time, SW_RunTimes{c.deltaT, c.deltaOut, c.end}, r, "Sim1");
    EXPECT_EQ(r.steps, c.steps) << c.start << " " << c.end;
    ASSERT_EQ(r.outputs.size(), c.outputs.size()) << c.start << " " << c.end;
    for (size_t i = 0; i < c.outputs.size(); i++) EXPECT_NEAR(r.outputs[i], c.outputs[i], 1e-9);
    // A progress line per step; after a stop its own line takes the place of the last step's.
    EXPECT_EQ(r.progressLines, c.steps);
  }
  EXPECT_TRUE(messages.Contains("simulation Sim1 STOPPED:\ndeposited"));
  EXPECT_STREQ(SW_FormatRunTime(3725.9), "1:2:5");
}

TEST(RunLoop, FluidAboveRestartFileOfTheCurrentTime)
{
  const char* list = "r/psa_0.rst%AK_SEP%0%AK_SEP%r/psa_5.rst%AK_SEP%5%AK_SEP%late.rst%AK_SEP%5.05";
  struct Case {
    const char* list;
    double time;
    const char* name;
  } cases[] = {
      {list, 0, "r/psa_0.rst"},     {list, 5.02, "late.rst"},  // the last of two near pairs
      {list, 4.95, "late.rst"},     {list, 4.9, "r/psa_5.rst"},  {list, 5.15, ""},  // exactly a step off
      {list, 2.5, ""},              {"only.rst", 0, ""},       {"", 0, ""},
      {"a%AK_SEP%1%AK_SEP%odd", 1, "a"},  // an unpaired last item is no pair
  };
  for (const Case& c : cases)
    EXPECT_STREQ(SW_FluidAboveRestartFile(c.list, c.time, 0.1), c.name) << c.list << " at " << c.time;
}
