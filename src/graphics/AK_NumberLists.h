// Parsers for attribute texts that hold a short fixed list of numbers.
//
// Each reads one pair or triple separated by white space; numbers after the
// expected ones are ignored. Fewer numbers send "WARNING:wrong input!" through
// the message hook; the numbers read before the failure are stored and the
// later places keep their values.
#pragma once

#include "AK_Basic.h"

void ParseFloatPairList(const AK_String& text, float* target);
void ParseFloatTripleList(const AK_String& text, float* target);
void ParseDoublePairList(const AK_String& text, double* target);
