#include "AK_NumberLists.h"

#include <cstdio>

// The parsers belong to the basic library's family of number parsers and report
// from its header's location, so the same message reads the same wherever it
// comes from.
void ParseFloatPairList(const AK_String& text, float* target) {
  if (std::sscanf(text.c_str(), " %f %f", &target[0], &target[1]) != 2)
    AK_Message("WARNING:wrong input!", "AK_Basic.h", 849);
}

void ParseFloatTripleList(const AK_String& text, float* target) {
  if (std::sscanf(text.c_str(), " %f %f %f", &target[0], &target[1], &target[2]) != 3)
    AK_Message("WARNING:wrong input!", "AK_Basic.h", 852);
}

void ParseDoublePairList(const AK_String& text, double* target) {
  if (std::sscanf(text.c_str(), " %lf %lf", &target[0], &target[1]) != 2)
    AK_Message("WARNING:wrong input!", "AK_Basic.h", 858);
}
