// Owned, NUL-terminated 8-bit text with a 32-bit buffer size. `_s` is never null.
// The buffer grows geometrically and the length is kept, so appending piece by piece is
// linear; a write through the non-const `[]` may shorten the text, so it makes the kept
// length unknown until the next `Length()` measures it again.
#pragma once

#include <cstdint>

#include "AK_Array.h"

class AK_String {
public:
  int32_t _size;  // bytes in the buffer, terminator included; at least 2
  char* _s;

  AK_String();
  AK_String(const char* s);  // a null text is the fatal assertion "s"
  AK_String(const AK_String& other);
  AK_String(AK_String&& other) noexcept;
  AK_String(const char* first, const char* last);  // the range [first, last)
  explicit AK_String(char c);
  explicit AK_String(int value);  // "%d"
  AK_String(const double* values, int n);  // each AK_FormatDouble, joined by one blank
  AK_String(const float* values, int n);   // each "%g", joined by one blank
  // Each element followed by the separator, the last one too.
  AK_String(const AK_Array<AK_String>& list, const char* separator);
  ~AK_String();

  // printf-style construction ("%04d", "%g", "%.15g", ...); formatting is locale-independent
  // because the program never changes the "C" locale.
  static AK_String Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
  // "%ak_ptr%" followed by the address in "%p".
  static AK_String FromPointer(const void* address);

  AK_String& operator=(const AK_String& other);
  AK_String& operator=(AK_String&& other) noexcept;
  AK_String& operator=(const char* s);

  int operator==(const char* s) const;
  int operator==(const AK_String& other) const;
  int operator!=(const char* s) const { return !(*this == s); }
  int operator!=(const AK_String& other) const { return !(*this == other); }
  bool operator<(const AK_String& other) const;  // byte order, for sorting

  AK_String& operator+=(const AK_String& other);  // other must not be this string
  AK_String& operator+=(const char* s);
  AK_String& operator+=(char c);
  void Prepend(const AK_String& other);

  char& operator[](int i)
  {
    _length = -1;
    return _s[i];
  }
  char operator[](int i) const { return _s[i]; }
  operator const char*() const { return _s; }
  const char* c_str() const { return _s; }
  int Length() const;
  bool IsEmpty() const { return _s[0] == '\0'; }

  // Reads a pointer text back; null when it does not hold one address.
  void* ToPointer() const;

  // Appends the pieces before each separator (empty ones included) and the rest
  // when it is not empty; returns the list's count.
  int Split(char separator, AK_Array<AK_String>& out) const;
  int Split(const char* separator, AK_Array<AK_String>& out) const;

  // n-th "."-separated component, "" when there are fewer dots.
  AK_String DotComponent(int n) const;
  // Cuts the text at its last "." wherever it stands; unchanged without a dot.
  void CutExtension();
  // Text after the last "." when it stands after the last path separator, else "".
  AK_String GetExtension() const;
  // Text after the last "/" or "\".
  AK_String BaseName() const;
  // The path join: "" becomes ".", the separator is appended unless present, then the name.
  void EnsureTrailingChar(const char* name, char separator);
  bool IsAbsolutePath() const;
  bool IsNumeric() const;

  int ReplaceChar(char c, char d);
  // Replaces the first occurrence; 0 when absent or when from equals to.
  int ReplaceFirst(const char* from, const char* to);
  // Replaces every occurrence in one pass (never rescans replaced text); returns the count.
  int ReplaceAll(const char* from, const char* to);
  int ReplaceNonIdentifierChars(char c);
  int ReplaceBlanks(char c);
  // Replaces the first marker + identifier by prefix + identifier + suffix.
  int ExpandMarker(char marker, const char* prefix, const char* suffix);
  void ToLower();
  // Strips leading and trailing blanks, TABs, CR and LF.
  void Trim();

  // Value of "key=value" entries separated by a separator character (callers use '=' and ';').
  // SetKeyValue replaces an entry's value or appends key, assign, value and separator (after
  // a separator of its own when the text's last entry lacks one).
  static AK_String GetKeyValue(const char* text, const char* key, char assign, char separator);
  static void SetKeyValue(AK_String& text, const char* key, const char* value, char assign,
                          char separator);

  // Splits at " " and stores atof of at most n tokens; places without a token keep their value.
  int ToDoubles(double* out, int n) const;

  // Makes room for a text of `length` bytes without changing the text.
  void Reserve(int length);

private:
  mutable int32_t _length;  // bytes before the terminator; -1 when not known
  void Append(const char* s, size_t n);
};

AK_String operator+(const AK_String& a, const AK_String& b);
AK_String operator+(const AK_String& a, const char* b);
AK_String operator+(const char* a, const AK_String& b);

bool AK_IsIdentifierChar(char c);

// Reads up to three numbers as " %lf %lf %lf" does; fewer send "WARNING:wrong input!" and
// leave the places that were not read unchanged. False (nothing changed) when a number is
// not finite.
bool AK_ParseVec3(const char* text, double& x, double& y, double& z);

// Text of the numbers, each as AK_FormatDouble writes it, joined by one blank.
AK_String AK_FormatDoubleList(const double* values, int count);
