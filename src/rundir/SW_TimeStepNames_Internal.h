// Reading a time-step name back (see SW_TimeStepNames.h).
#pragma once

#include "AK_Basic.h"

// The time in a time-step name ("at_%lf"); false when the name holds none.
bool SW_TimeOfTimeStepName(const char* name, double& time);
