// What the library's own files ask of the run lock beside what its callers do (see SW_RunLock.h).
#pragma once

#include "AK_Basic.h"
#include "SW_RunLock.h"

// What a holder of the run lock holds it for, as a refusal says it: "a run of this simulation is
// going on in process N", "a copy into this simulation's run directory is going on in process N",
// ...; "in this process" for this one.
AK_String SW_LockHolderText(SW_LockPurpose purpose, int pid);

// This process holds the run lock (and can read it).
bool SW_HoldsRunLock(const char* runDirectory);
