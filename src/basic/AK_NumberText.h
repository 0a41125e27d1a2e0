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

// What a text holds where a number is read the way atof and atoi read it: white space, then
// the longest prefix that is a number (for atof also a hexadecimal one, "0x10" is 16); a text
// that starts with none reads as 0.
enum class AK_NumberRead { Number, NoNumber, NotFinite };
// The number (0 for none); NotFinite for "nan", "inf" and numbers beyond the doubles, which
// have no meaning where this is used. `end` (when given) is after the number.
AK_NumberRead AK_LeadingDouble(const char* text, double& value, const char** end = nullptr);
// The whole number before anything else (atoi: "2.7" is 2); NotFinite beyond 32 bits.
AK_NumberRead AK_LeadingInt(const char* text, int32_t& value);
// atof and atoi in every locale: the number a text starts with, 0 for none and for one that
// is not finite (or beyond 32 bits).
double AK_Atof(const char* text);
int32_t AK_Atoi(const char* text);
// Up to n numbers separated by white space, as the list readers below take them: the count
// read before the first text that is no number (later numbers are not looked at, the places
// after them keep their values); -1 when a number on the way is not finite.
int AK_LeadingNumbers(const char* text, double* values, int n);
// "WARNING:wrong input!" from the place where the reader of a list of `count` numbers
// (floats or doubles) reports it: the readers of two, three and four floats and of two
// doubles each name a line of their own; the three-double reader (AK_ParseVec3) and lists
// of other lengths name the float pair's.
void AK_WarnWrongInput(int count, bool floats);

// General notation with the given number of significant digits ("%.<p>g").
AK_String AK_FormatGeneral(double value, int significantDigits);
// The value as it reads back from its text in general notation with that many significant
// digits ("%.<p>g"): where a number is meant to travel as the text an attribute shows.
double AK_ThroughText(double value, int significantDigits);
// The shortest text that reads back as the same double.
AK_String AK_FormatRoundTrip(double value);
// A double as every attribute answers and saves it: "%.15g", except where that text would
// read back as no finite number (15 digits round the few doubles within a hair of the
// largest ones beyond them); those get the shortest text that reads back as the same double.
AK_String AK_FormatDouble(double value);

// Readers of attribute texts that hold a short fixed list of numbers separated by white
// space; numbers after the expected ones are ignored. Fewer numbers send
// "WARNING:wrong input!" through the message hook; the numbers read before the failure are
// stored and the later places keep their values.
void ParseFloatPairList(const AK_String& text, float* target);
void ParseFloatTripleList(const AK_String& text, float* target);
void ParseDoublePairList(const AK_String& text, double* target);
