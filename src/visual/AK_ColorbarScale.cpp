#include "AK_ColorbarScale.h"

#include <cstdio>
#include <cstring>

namespace {

// The ':' before position c, or none.
const char* ColonBefore(const char* text, const char* c)
{
  for (const char* p = c; p > text;)
    if (*--p == ':') return p;
  return nullptr;
}

}  // namespace

AK_String AK_HeaderUnitKey(const char* header)
{
  if (const char* open = std::strchr(header, '['))
    if (const char* close = std::strchr(open + 1, ']')) return AK_String(open + 1, close);
  const char* c = std::strrchr(header, ':');
  if (!c) return "";
  if (std::strncmp(c, ":vec.", 5) == 0) {
    const char* before = ColonBefore(header, c);
    return AK_String(before ? before + 1 : header, c);
  }
  const char* end = std::strchr(c + 1, ' ');
  return AK_String(c + 1, end ? end : c + std::strlen(c));
}

AK_String AK_HeaderLabel(const char* header)
{
  const char* blank = std::strchr(header, ' ');
  const char* unit = std::strstr(header, " [");
  if (blank && unit && blank < unit) return AK_String(blank + 1, unit);
  const char* c = std::strrchr(header, ':');
  if (!c) return "";
  if (std::strncmp(c, ":vec.", 5) == 0) {
    const char* before = ColonBefore(header, c);
    c = before ? before : header;
  }
  const char* start = ColonBefore(header, c);
  return AK_String(start ? start + 1 : header, c);
}

int AK_BuildStepList(const char* stepValues, double min, double max, AK_Array<double>& steps)
{
  steps.Clear();
  steps.Append(min);
  AK_Array<AK_String> parts;
  AK_String(stepValues).Split(' ', parts);
  for (const AK_String& part : parts) {
    double v = 0;
    if (AK_LeadingDouble(part, v) == AK_NumberRead::Number && v > min && v < max) steps.Append(v);
  }
  steps.Append(max);
  return steps.Count() - 1;
}

AK_String AK_FormatLabelNumber(double value, int significantDigits)
{
  int digits = significantDigits < 0 ? 0 : significantDigits > 99 ? 99 : significantDigits;
  return AK_String::Format("%.*g", digits, value);
}
