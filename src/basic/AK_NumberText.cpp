#include "AK_NumberText.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

#include "AK_Message.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

bool IsHexDigit(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

// Whether the digits [first, last) of a number out of range (without its sign; hexadecimal
// after its "0x") are too small rather than too large: the exponent's sign tells, or without
// an exponent a point before the first digit that is not 0.
bool Underflows(const char* first, const char* last, bool hex)
{
  const char mark = hex ? 'p' : 'e';
  const char* e = first;
  bool pointFirst = false, digitSeen = false;
  for (; e != last && std::tolower(static_cast<unsigned char>(*e)) != mark; ++e) {
    if (*e == '.' && !digitSeen) pointFirst = true;
    if (*e != '0' && (hex ? IsHexDigit(*e) : (*e >= '1' && *e <= '9'))) digitSeen = true;
  }
  return e == last ? pointFirst : e[1] == '-';
}

// The longest number prefix of [first, last) after an optional sign; from_chars takes no "+".
// A number too small for the doubles is 0 (or the nearest subnormal), as strtod has it.
AK_NumberRead ReadNumber(const char* first, const char* last, double& value, const char** end)
{
  if (first != last && *first == '+') {
    ++first;
    if (first != last && *first == '-') return AK_NumberRead::NoNumber;
  }
  double v = 0;
  auto [ptr, ec] = std::from_chars(first, last, v, std::chars_format::general);
  if (ec == std::errc::invalid_argument) return AK_NumberRead::NoNumber;
  if (ec == std::errc::result_out_of_range) {
    if (!Underflows(first, ptr, false)) {
      *end = ptr;
      return AK_NumberRead::NotFinite;
    }
    v = 0;
  }
  *end = ptr;
  if (!std::isfinite(v)) return AK_NumberRead::NotFinite;
  value = v;
  return AK_NumberRead::Number;
}

bool ParseNumber(const char* first, const char* last, double& value, const char** end)
{
  return ReadNumber(first, last, value, end) == AK_NumberRead::Number;
}

// A hexadecimal number as strtod reads one ("0x10" is 16, "-0x1.8p1" is -3): an optional
// sign, "0x" or "0X", hex digits with an optional point, an optional binary exponent. None
// (NoNumber) when the text is not such a number; the decimal reading then takes its "0".
AK_NumberRead ReadHexNumber(const char* first, const char* last, double& value, const char** end)
{
  const char* s = first;
  const bool negative = s != last && *s == '-';
  if (s != last && (*s == '+' || *s == '-')) ++s;
  if (last - s < 3 || s[0] != '0' || (s[1] != 'x' && s[1] != 'X')) return AK_NumberRead::NoNumber;
  s += 2;
  // from_chars would take a sign, "inf" or "nan" here; strtod takes only digits.
  if (!IsHexDigit(*s) && !(*s == '.' && s + 1 != last && IsHexDigit(s[1]))) return AK_NumberRead::NoNumber;
  double v = 0;
  auto [ptr, ec] = std::from_chars(s, last, v, std::chars_format::hex);
  if (ec == std::errc::invalid_argument) return AK_NumberRead::NoNumber;
  *end = ptr;
  if (ec == std::errc::result_out_of_range) {
    if (!Underflows(s, ptr, true)) return AK_NumberRead::NotFinite;
    v = 0;
  }
  if (!std::isfinite(v)) return AK_NumberRead::NotFinite;
  value = negative ? -v : v;
  return AK_NumberRead::Number;
}

const char* SkipBlanks(const char* s)
{
  while (IsBlank(*s)) ++s;
  return s;
}

const char* TokenEnd(const char* s)
{
  while (*s && !IsBlank(*s)) ++s;
  return s;
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
  const char* s = SkipBlanks(text);
  const char* end = nullptr;
  if (!ParseNumber(s, TokenEnd(s), value, &end)) return false;
  text = end;
  return true;
}

AK_NumberRead AK_LeadingDouble(const char* text, double& value, const char** end)
{
  const char* s = SkipBlanks(text ? text : "");
  const char* stop = s;
  double v = 0;
  AK_NumberRead read = ReadHexNumber(s, TokenEnd(s), v, &stop);
  if (read == AK_NumberRead::NoNumber) read = ReadNumber(s, TokenEnd(s), v, &stop);
  value = read == AK_NumberRead::Number ? v : 0;
  if (end) *end = read == AK_NumberRead::NoNumber ? s : stop;
  return read;
}

AK_NumberRead AK_LeadingInt(const char* text, int32_t& value)
{
  const char* s = SkipBlanks(text ? text : "");
  const char* digits = s + (*s == '+' || *s == '-');
  value = 0;
  if (!std::isdigit(static_cast<unsigned char>(*digits))) return AK_NumberRead::NoNumber;
  const char* last = digits;
  while (std::isdigit(static_cast<unsigned char>(*last))) ++last;
  int32_t v = 0;
  // from_chars takes a "-" but no "+".
  auto [ptr, ec] = std::from_chars(*s == '+' ? digits : s, last, v, 10);
  if (ec != std::errc() || ptr != last) return AK_NumberRead::NotFinite;
  value = v;
  return AK_NumberRead::Number;
}

double AK_Atof(const char* text)
{
  double value = 0;
  return AK_LeadingDouble(text, value) == AK_NumberRead::Number ? value : 0;
}

int32_t AK_Atoi(const char* text)
{
  int32_t value = 0;
  return AK_LeadingInt(text, value) == AK_NumberRead::Number ? value : 0;
}

int AK_LeadingNumbers(const char* text, double* values, int n)
{
  const char* s = text ? text : "";
  for (int i = 0; i < n; ++i) {
    const char* end = nullptr;
    double value = 0;
    AK_NumberRead read = AK_LeadingDouble(s, value, &end);
    if (read == AK_NumberRead::NotFinite) return -1;
    if (read == AK_NumberRead::NoNumber) return i;
    values[i] = value;
    s = end;
  }
  return n;
}

// The lines of the basic library's header that the list readers' warnings name, one for
// each reader, so that a warning tells which reader read the text.
namespace {
constexpr const char* kListReaderPlace = "AK_Basic.h";
struct ListReaderLine {
  int count;
  bool floats;
  int line;
};
constexpr ListReaderLine kListReaderLines[] = {
    {2, true, 849},   // ParseFloatPairList
    {3, true, 852},   // ParseFloatTripleList
    {4, true, 855},   // the four floats of a texture plane
    {2, false, 858},  // ParseDoublePairList
};
constexpr int kOtherListLine = 849;
}  // namespace

void AK_WarnWrongInput(int count, bool floats)
{
  int line = kOtherListLine;
  for (const ListReaderLine& l : kListReaderLines)
    if (l.count == count && l.floats == floats) line = l.line;
  AK_Message("WARNING:wrong input!", kListReaderPlace, line);
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

double AK_ThroughText(double value, int significantDigits)
{
  return AK_Atof(AK_FormatGeneral(value, significantDigits));
}

AK_String AK_FormatRoundTrip(double value)
{
  char text[64];
  auto [ptr, ec] = std::to_chars(text, text + sizeof text - 1, value);
  if (ec != std::errc()) return AK_String();
  *ptr = '\0';
  return AK_String(text);
}

AK_String AK_FormatDouble(double value)
{
  AK_String text = AK_String::Format("%.15g", value);
  // Only a text that rounds up past the largest double fails to read back, and every double
  // whose text does lies above 1e308; below that the text is taken unread.
  if (std::fabs(value) < 1e308 || !std::isfinite(value)) return text;
  double back = 0;
  return AK_LeadingDouble(text.c_str(), back) == AK_NumberRead::Number ? text : AK_FormatRoundTrip(value);
}

void ParseFloatPairList(const AK_String& text, float* target)
{
  if (!ScanList(text.c_str(), target, 2)) AK_WarnWrongInput(2, true);
}

void ParseFloatTripleList(const AK_String& text, float* target)
{
  if (!ScanList(text.c_str(), target, 3)) AK_WarnWrongInput(3, true);
}

void ParseDoublePairList(const AK_String& text, double* target)
{
  if (!ScanList(text.c_str(), target, 2)) AK_WarnWrongInput(2, false);
}
