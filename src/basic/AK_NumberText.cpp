#include "AK_NumberText.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

#include "AK_Message.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// The longest number prefix of [first, last) after an optional sign; from_chars takes no "+".
bool ParseNumber(const char* first, const char* last, double& value, const char** end)
{
  if (first != last && *first == '+') {
    ++first;
    if (first != last && *first == '-') return false;
  }
  double v = 0;
  auto [ptr, ec] = std::from_chars(first, last, v, std::chars_format::general);
  if (ec != std::errc() || !std::isfinite(v)) return false;
  value = v;
  *end = ptr;
  return true;
}

// Reads up to n numbers into target; false when fewer than n were there.
template <class T>
bool ScanList(const char* text, T* target, int n)
{
  for (int i = 0; i < n; ++i) {
    double v;
    if (!AK_ScanDouble(text, v)) return false;
    if (std::fabs(v) > static_cast<double>(std::numeric_limits<T>::max())) return false;
    target[i] = static_cast<T>(v);
  }
  return true;
}

}  // namespace

bool AK_ParseDouble(std::string_view token, double& value)
{
  const char* last = token.data() + token.size();
  const char* end = nullptr;
  double v;
  if (!ParseNumber(token.data(), last, v, &end) || end != last) return false;
  value = v;
  return true;
}

bool AK_ParseInt(std::string_view token, int32_t& value)
{
  const char* first = token.data();
  const char* last = first + token.size();
  if (first != last && *first == '+') ++first;
  if (first == last || *first == '+') return false;
  int32_t v = 0;
  auto [ptr, ec] = std::from_chars(first, last, v, 10);
  if (ec != std::errc() || ptr != last) return false;
  value = v;
  return true;
}

bool AK_ScanDouble(const char*& text, double& value)
{
  const char* s = text;
  while (IsBlank(*s)) ++s;
  const char* last = s;
  while (*last && !IsBlank(*last)) ++last;
  const char* end = nullptr;
  if (!ParseNumber(s, last, value, &end)) return false;
  text = end;
  return true;
}

AK_String AK_FormatGeneral(double value, int significantDigits)
{
  char text[400];
  auto [ptr, ec] = std::to_chars(text, text + sizeof text - 1, value, std::chars_format::general,
                                 significantDigits);
  if (ec != std::errc()) return AK_String();
  *ptr = '\0';
  return AK_String(text);
}

AK_String AK_FormatRoundTrip(double value)
{
  char text[64];
  auto [ptr, ec] = std::to_chars(text, text + sizeof text - 1, value);
  if (ec != std::errc()) return AK_String();
  *ptr = '\0';
  return AK_String(text);
}

// These readers report from the location the basic library's header gives them, so the same
// message reads the same wherever it comes from.
void ParseFloatPairList(const AK_String& text, float* target)
{
  if (!ScanList(text.c_str(), target, 2)) AK_Message("WARNING:wrong input!", "AK_Basic.h", 849);
}

void ParseFloatTripleList(const AK_String& text, float* target)
{
  if (!ScanList(text.c_str(), target, 3)) AK_Message("WARNING:wrong input!", "AK_Basic.h", 852);
}

void ParseDoublePairList(const AK_String& text, double* target)
{
  if (!ScanList(text.c_str(), target, 2)) AK_Message("WARNING:wrong input!", "AK_Basic.h", 858);
}
