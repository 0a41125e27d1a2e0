// The output schedule of the run loop: regular outputs, one at an off-schedule end time, a
// continue from an off-schedule time, a stop criterion that lets one more step run, an
// interrupt before the first step, an error in the criterion, a failed step or output, step
// counts too large for the schedule, and how often the progress line is written.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SW_RunLoop.h"
#include "TestSupport.h"

namespace {

struct Recorder : SW_RunSteps {
  double* time = nullptr;
  double stopAt = 1e30, failAt = 1e30, stepFailsAt = 1e30, outputFailsAt = 1e30;
  double secondsPerStep = 1;  // the wall clock of the run
  bool interrupted = false;
  int steps = 0, progressLines = 0;
  std::vector<double> outputs;
  std::vector<std::string> lines;
  std::vector<int> lineSteps;  // the step after which each line was written

  bool Interrupted() override { return interrupted; }
  void EndTimeIs(double) override {}
  bool Step(double t, double) override
  {
    if (t > stepFailsAt - 1e-9) return false;
    steps++;
    return true;
  }
  void Progress(const char* line) override
  {
    progressLines++;
    lines.push_back(line);
    lineSteps.push_back(steps);
  }
  bool Output() override
  {
    if (*time > outputFailsAt - 1e-9) return false;
    outputs.push_back(*time);
    return true;
  }
  double WallSeconds() override { return steps * secondsPerStep; }
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
    double stepFailsAt = 1e30, outputFailsAt = 1e30, endsAt = -1;  // -1: at the loop's end time
  } cases[] = {
      {0, 0.1, 5, 12, 1e30, 1e30, false, 120, {5, 10, 12}},
      {12.3, 0.1, 5, 20, 1e30, 1e30, false, 77, {15, 20}},       // k starts at 123
      {20, 0.1, 5, 20.04, 1e30, 1e30, false, 0, {}},             // nothing left to run
      {0, 0.5, 10, 100, 2, 1e30, false, 5, {2.5}, 1e30, 1e30, 2.5},  // one more step after the stop
      {0, 0.5, 10, 100, 1e30, 1e30, true, 0, {}, 1e30, 1e30, 0},
      {0, 0.5, 1, 100, 1e30, 1.5, false, 3, {1}, 1e30, 1e30, 1.5},
      // A failed step keeps its start time and writes nothing for it; a failed output ends
      // the run at its time.
      {0, 0.5, 1, 100, 1e30, 1e30, false, 3, {1}, 1.5, 1e30, 1.5},
      {0, 0.5, 1, 100, 1e30, 1e30, false, 4, {1}, 1e30, 2, 2},
      // An output interval of 10^10 steps: outputs at the end time only.
      {0, 0.1, 1e9, 2, 1e30, 1e30, false, 20, {2}},
  };
  for (const Case& c : cases) {
    Recorder r;
    double time = c.start;
    r.time = &time;
    r.stopAt = c.stopAt;
    r.failAt = c.failAt;
    r.interrupted = c.interrupted;
    r.stepFailsAt = c.stepFailsAt;
    r.outputFailsAt = c.outputFailsAt;
    const bool failed = c.stepFailsAt < 1e30 || c.outputFailsAt < 1e30;
    EXPECT_EQ(SW_RunTimeLoop(time, SW_RunTimes{c.deltaT, c.deltaOut, c.end}, r, "Sim1"), !failed);
    EXPECT_NEAR(time, c.endsAt >= 0 ? c.endsAt : std::max(c.start, c.end), 0.05 + 1e-9);
    EXPECT_EQ(r.steps, c.steps) << c.start << " " << c.end;
    ASSERT_EQ(r.outputs.size(), c.outputs.size()) << c.start << " " << c.end;
    for (size_t i = 0; i < c.outputs.size(); i++) EXPECT_NEAR(r.outputs[i], c.outputs[i], 1e-9);
    // A progress line per step; after a stop its own line takes the place of the last step's.
    EXPECT_EQ(r.progressLines, c.steps);
  }
  EXPECT_TRUE(messages.Contains("simulation Sim1 STOPPED:\ndeposited"));
  EXPECT_STREQ(SW_FormatRunTime(3725.9), "1:2:5");
}

TEST(RunLoop, StepCountsBeyondThirtyTwoBits)
{
  struct Case {
    double deltaT, deltaOut, end;
    int64_t period;
    bool countable;  // the steps to the end fit the run's count
  } cases[] = {
      {0.1, 5, 100, 50, true},
      {0.1, 0.01, 100, 0, true},
      {0.1, 1e9, 100, 10000000000, true},           // a period past 2^31
      {1e-9, 5, 100, 5000000000, false},            // 10^11 steps
      {1e-300, 1e300, 1, INT64_MAX, false},         // the period itself too large for 64 bits
      {1, 1, 2147483648.0, 1, true},                // exactly the bound
      {1, 1, 2147483649.0, 1, false},
  };
  for (const Case& c : cases) {
    const SW_RunTimes times{c.deltaT, c.deltaOut, c.end};
    EXPECT_EQ(SW_OutputPeriod(times), c.period) << c.deltaT << " " << c.deltaOut;
    EXPECT_EQ(SW_RunStepCount(0, times) <= SW_MaxRunSteps, c.countable) << c.deltaT << " " << c.end;
  }
}

// The info file says where the run is at most a second late, with far fewer writes than steps:
// a line whenever a second of wall clock has passed since the last one, with every output and
// at the last step.
TEST(RunLoop, ProgressLineAtMostOnceASecondAndAtEveryOutput)
{
  for (double secondsPerStep : {0.0, 0.25, 0.3, 2.0}) {
    SCOPED_TRACE(secondsPerStep);
    Recorder r;
    double time = 0;
    r.time = &time;
    r.secondsPerStep = secondsPerStep;
    SW_RunTimeLoop(time, SW_RunTimes{0.1, 5, 12}, r, "Sim1");
    ASSERT_EQ(r.steps, 120);
    ASSERT_FALSE(r.lineSteps.empty());
    EXPECT_EQ(r.lineSteps.back(), 120);
    EXPECT_EQ(r.lines.back().rfind("at time 12 s, run time h:m:s " + std::string(SW_FormatRunTime(120 * secondsPerStep)), 0), 0u)
        << r.lines.back();
    // Every step whose line was not written lies less than a second after a written one.
    size_t next = 0;
    int lastWritten = 0;
    for (int step = 1; step <= 120; ++step) {
      const bool written = next < r.lineSteps.size() && r.lineSteps[next] == step;
      const bool output = step % 50 == 0 || step == 120;
      if (output || (step - lastWritten) * secondsPerStep >= 1) EXPECT_TRUE(written) << step;
      else EXPECT_FALSE(written) << step;
      if (written) {
        lastWritten = step;
        ++next;
      }
    }
    EXPECT_EQ(next, r.lineSteps.size());
  }
  // Interrupted between two lines: the last step's line is written on the way out.
  struct StopAfter : Recorder {
    bool Interrupted() override { return steps == 7; }
  } r;
  double time = 0;
  r.time = &time;
  r.secondsPerStep = 0.1;
  SW_RunTimeLoop(time, SW_RunTimes{0.1, 5, 12}, r, "Sim1");
  ASSERT_FALSE(r.lines.empty());
  EXPECT_EQ(r.lines.back().rfind("at time 0.7 s,", 0), 0u) << r.lines.back();
  EXPECT_EQ(r.progressLines, 1);
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
