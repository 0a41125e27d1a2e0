// Numbers as text, the same in every locale: "." is the decimal point, whatever locale the
// program or a library it calls has set. Files written on one machine read on any other.
#pragma once

#include <cstdint>
#include <string_view>

#include "AK_String.h"

// A whole token as a finite real or as a 32-bit integer ("C" rules: an optional sign,
// nothing after the number).
bool AK_ParseDouble(std::string_view token, double& value);
bool AK_ParseInt(std::string_view token, int32_t& value);

// One number as " %lf" reads it: white space, then the longest prefix that is a number.
// Refuses non-numbers and non-finite values; on success `text` moves past the number.
bool AK_ScanDouble(const char*& text, double& value);

// General notation with the given number of significant digits ("%.<p>g").
AK_String AK_FormatGeneral(double value, int significantDigits);
// The shortest text that reads back as the same double.
AK_String AK_FormatRoundTrip(double value);

// Readers of attribute texts that hold a short fixed list of numbers separated by white
// space; numbers after the expected ones are ignored. Fewer numbers send
// "WARNING:wrong input!" through the message hook; the numbers read before the failure are
// stored and the later places keep their values.
void ParseFloatPairList(const AK_String& text, float* target);
void ParseFloatTripleList(const AK_String& text, float* target);
void ParseDoublePairList(const AK_String& text, double* target);
