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
  // One step of the flow from `time`.
  virtual void Step(double time, double deltaT) = 0;
  // The progress line of the info file.
  virtual void Progress(const char* line) = 0;
  // Writes the output (a redraw and the time-step file) at the current time.
  virtual void Output() = 0;
  // After every step and output: the peak kinetic energy.
  virtual void AfterStep() = 0;
  // The stop criterion: 0 none, 1 fired with its value, -1 an error that ends the loop.
  virtual int StopCriterion(AK_String& value) = 0;
};

struct SW_RunTimes {
  double deltaT = 0.1;
  double deltaOut = 5;
  double endTime = 100;
};

// The steps of DeltaOut / DeltaT, rounded; 0 when DeltaOut is below half a step.
int32_t SW_OutputPeriod(const SW_RunTimes& times);
// True when the time lies on the output schedule (the initial output of a run).
bool SW_OnOutputSchedule(double time, const SW_RunTimes& times);
// "h:m:s" of whole seconds, without leading zeros.
AK_String SW_FormatRunTime(double seconds);

// The restart state of a coupled flow above for the current time: in the list of pairs of a
// name and a time (all items joined with "%AK_SEP%"), the name of the last pair whose time lies
// less than a step from `currentTime`; "" when none does.
AK_String SW_FluidAboveRestartFile(const char* list, double currentTime, double deltaT);

// Runs the loop from `currentTime`, which follows the steps. `identifier` names the simulation
// in the message of a stop. The caller has refused an output period of 0.
void SW_RunTimeLoop(double& currentTime, const SW_RunTimes& times, SW_RunSteps& steps,
                    const char* identifier);
