// The names of time-step files: a run directory holds one file per output time, named after
// that time, and everything that lists, copies, loads or removes time steps goes by these
// names alone, without opening a file.
#pragma once

#include "AK_Basic.h"

// "at_" and the time with "%012.4f": 5 s gives "at_0000005.0000".
AK_String SW_TimeStepName(double time);
// The file of a time-step name in a directory: directory, separator, name, ".TimeStep";
// the bare file name when the directory is empty.
AK_String SW_TimeStepPath(const char* directory, const char* name);
