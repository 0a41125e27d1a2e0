// What a taker of a run directory's run lock has the simulation whose directory it is record:
// the record of a saved simulation is the simulation's to write, the end of what a writer that is
// gone left is the run directory's.
#pragma once

#include <functional>

#include "AK_Basic.h"

// What a taker of the run lock has recorded in the saved simulation of the directory.
enum class SW_TakerRecord {
  RunThatIsGone,   // the newest time step of a run it ended
  Kept,            // the time step `step` that a deletion cut short keeps ("" for none)
  NoneIfFileGone,  // none, where the record names a time step whose file is gone (a run killed
                   // before it said it ran may have removed it)
};
// Records in the saved simulation of `directory` what a taker of the run lock ended; "" when
// recorded, else why not.
using SW_RecordTakenOver =
    std::function<AK_String(const char* directory, SW_TakerRecord what, const char* step)>;
