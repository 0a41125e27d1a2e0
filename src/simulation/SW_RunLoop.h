// The time loop of a run: steps of DeltaT up to the end time, an output every DeltaOut (and
// at the end time), the progress line, the interrupt and the user's stop criterion. The
// simulation supplies what a step, an output or a check does, so the schedule stands apart
// from the flow model.
#pragma once

#include "AK_Basic.h"

class SW_RunSteps {
public:
  virtual ~SW_RunSteps() = default;
  // True when the run is to stop before the next step (the status file says "interrupted",
  // or the interrupt poll answers).
  virtual bool Interrupted() = 0;
  // The loop end time, before each step (the variable "$endITC").
  virtual void EndTimeIs(double endTime) = 0;
  // One step of the flow from `time`; false when it failed: the run ends at `time`, with
  // nothing written for the failed step.
  virtual bool Step(double time, double deltaT) = 0;
  // The progress line of the info file.
  virtual void Progress(const char* line) = 0;
  // Writes the output (a redraw and the time-step file) at the current time; false when it
  // could not be written, which ends the run.
  virtual bool Output() = 0;
  // After every step and output: the peak kinetic energy.
  virtual void AfterStep() = 0;
  // The stop criterion: 0 none, 1 fired with its value, -1 an error that ends the loop.
  virtual int StopCriterion(AK_String& value) = 0;
  // Seconds of a clock that runs with the wall clock: the run time of the progress line and
  // how often the line is written.
  virtual double WallSeconds();
};

struct SW_RunTimes {
  double deltaT = 0.1;
  double deltaOut = 5;
  double endTime = 100;
};

// The most steps one run may take: a step index beyond it has no exact count.
constexpr double SW_MaxRunSteps = 2147483648.0;

// The steps of DeltaOut / DeltaT, rounded; 0 when DeltaOut is below half a step. An interval
// too long to count in steps answers the largest count (no output but at the end).
int64_t SW_OutputPeriod(const SW_RunTimes& times);
// The steps from `currentTime` to the end time (a fraction, negative when past it).
double SW_RunStepCount(double currentTime, const SW_RunTimes& times);
// True when the time lies on the output schedule (the initial output of a run).
bool SW_OnOutputSchedule(double time, const SW_RunTimes& times);
// "h:m:s" of whole seconds, without leading zeros.
AK_String SW_FormatRunTime(double seconds);

// The restart state of a coupled flow above for the current time: in the list of pairs of a
// name and a time (all items joined with "%AK_SEP%"), the name of the last pair whose time lies
// less than a step from `currentTime`; "" when none does.
AK_String SW_FluidAboveRestartFile(const char* list, double currentTime, double deltaT);

// Runs the loop from `currentTime`, which follows the steps. `identifier` names the simulation
// in the message of a stop. The caller has refused an output period of 0 and more steps than
// SW_MaxRunSteps. The progress line is written at most once a second of WallSeconds, and
// always with an output, at the last step and when the loop ends early.
// False when a step or an output failed (the loop ended there and wrote no progress for it).
bool SW_RunTimeLoop(double& currentTime, const SW_RunTimes& times, SW_RunSteps& steps,
                    const char* identifier);
