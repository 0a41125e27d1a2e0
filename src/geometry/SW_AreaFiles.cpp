// Area files (".rel", ".res") and the release values of an attribute text.
#include "SW_AreaFiles.h"

#include <cmath>
#include <cstdlib>
#include <string>

#include "AK_NumberText.h"
#include "SW_LineFiles.h"

namespace {

constexpr size_t kMaxHeaderLength = 255;

bool IsBlankLine(const std::string& line)
{
  return line.find_first_not_of(" \t\r\v\f") == std::string::npos;
}

enum class HeaderResult { Found, End, TooLong };

// The next line that is not blank, without its line end.
HeaderResult ReadHeaderLine(std::istream& in, std::string& line)
{
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (IsBlankLine(line)) continue;
    return line.size() > kMaxHeaderLength ? HeaderResult::TooLong : HeaderResult::Found;
  }
  return HeaderResult::End;
}

// One integer as " %d" reads it (the digits after an optional sign; what follows stays).
bool ScanInt(const char*& s, int32_t& value)
{
  const char* p = s;
  while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n' || *p == '\v' || *p == '\f') ++p;
  const char* first = p;
  if (*p == '+' || *p == '-') ++p;
  const char* digits = p;
  while (*p >= '0' && *p <= '9') ++p;
  if (p == digits || !AK_ParseInt(std::string_view(first, static_cast<size_t>(p - first)), value))
    return false;
  s = p;
  return true;
}

// Scans the header's numbers in order, 'f' a real and 'd' a whole number, as sscanf does:
// the count of numbers converted before the first that does not convert.
int ScanHeader(const std::string& line, const char* kinds, double* reals, int32_t* wholes)
{
  const char* s = line.c_str();
  int n = 0;
  for (const char* k = kinds; *k; ++k, ++n) {
    if (*k == 'f' ? !AK_ScanDouble(s, reals[n]) : !ScanInt(s, wholes[n])) break;
  }
  return n;
}

SW_AreaRecordResult HeaderFailure(HeaderResult r)
{
  return r == HeaderResult::End ? SW_AreaRecordResult::End : SW_AreaRecordResult::Malformed;
}

SW_AreaRecordResult PolygonResult(std::istream& in, AK_Array<AK_Vec3>& points)
{
  return ReadOutlinePoints(points, in) == 0 ? SW_AreaRecordResult::Read : SW_AreaRecordResult::Malformed;
}

// An attribute value that counts: present, not "None", a number above 0.
bool PositiveValue(const AK_String& text, double& value)
{
  if (text.IsEmpty() || text == "None") return false;
  double v = AK_Atof(text);
  if (!(v > 0)) return false;
  value = v;
  return true;
}

}  // namespace

SW_AreaRecordResult ReadRelRecord(std::istream& in, SW_RelRecord& record)
{
  std::string line;
  HeaderResult header = ReadHeaderLine(in, line);
  if (header != HeaderResult::Found) return HeaderFailure(header);
  double reals[3] = {0, 0, 0};
  int32_t wholes[3] = {0, 0, 0};
  if (ScanHeader(line, "ffd", reals, wholes) < 2) return SW_AreaRecordResult::Malformed;
  record.depth = reals[0];
  record.density = reals[1];
  return PolygonResult(in, record.points);
}

SW_AreaRecordResult ReadResRecord(std::istream& in, SW_ResRecord& record)
{
  std::string line;
  HeaderResult header = ReadHeaderLine(in, line);
  if (header != HeaderResult::Found) return HeaderFailure(header);
  double reals[6] = {0, 0, 0, 0, 0, 0};
  int32_t wholes[6] = {0, 0, 0, 0, 0, 0};
  int converted = ScanHeader(line, "ffffdf", reals, wholes);
  double density = reals[3];
  if (converted < 4 || !(density >= 1e-10)) return SW_AreaRecordResult::Malformed;
  record.height = reals[0];
  record.width = reals[1];
  record.coefficient = reals[2];
  record.spacing = 1.0 / std::sqrt(density);
  record.psa = converted >= 5 && wholes[4] == 0;
  return PolygonResult(in, record.points);
}

void SW_ReleaseValuesFromAnnotations(const char* annotations, double& depth, double& density,
                                     double& enthalpy)
{
  auto value = [annotations](const char* key) {
    AK_String v = AK_String::GetKeyValue(annotations, key, '=', ';');
    return v == "None" ? AK_String() : v;
  };
  AK_String depthText = value("d0");
  if (depthText.IsEmpty()) depthText = value("ah");
  PositiveValue(depthText, depth);
  PositiveValue(value("rho"), density);
  double temperature = 0;
  if (PositiveValue(value("temp"), temperature)) enthalpy = temperature * 2050.0;
}
