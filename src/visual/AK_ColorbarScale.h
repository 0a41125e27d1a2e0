// The scale of a colour bar as plain functions: what its header text says (the unit under
// which ranges and steps are remembered, the name of the attribute shown) and the segment
// boundaries of arbitrary steps.
#pragma once

#include "AK_Basic.h"

// The unit key of a header text: the text inside its first "[...]" ("Flow depth [m]" -> "m");
// else, after its last ':', the word up to a blank ("Sim:FlowDepth max" -> "FlowDepth"), or
// for a vector component the name before ":vec." ("a:b:vec.x" -> "b"); else "".
AK_String AK_HeaderUnitKey(const char* header);

// The name part of a header text: the word between its first blank and " [" when the blank
// comes first ("max FlowDepth [m]" -> "FlowDepth"); else the name between its last two ':'
// (before ":vec." for a vector component); else "".
AK_String AK_HeaderLabel(const char* header);

// The boundaries of arbitrary steps: min, then every blank-separated part of the text that
// reads as a number strictly between min and max (in the order written, duplicates kept),
// then max. Answers the number of segments (boundaries - 1).
int AK_BuildStepList(const char* stepValues, double min, double max, AK_Array<double>& steps);

// A label number with that many significant digits (clamped into 0 .. 99; "%.<d>g").
AK_String AK_FormatLabelNumber(double value, int significantDigits);
