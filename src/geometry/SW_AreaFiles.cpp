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

// The next header line into `line`; false at the end of the file (no error) or for an
// overlong line.
bool NextHeader(std::istream& in, std::string& line, AK_String& error)
{
  error = "";
  const HeaderResult header = ReadHeaderLine(in, line);
  if (header == HeaderResult::TooLong) error = "header line longer than 255 characters";
  return header == HeaderResult::Found;
}

bool Malformed(AK_String& error, const char* text)
{
  error = text;
  return false;
}

bool ReadPolygon(std::istream& in, AK_Array<AK_Vec3>& points, AK_String& error)
{
  return SW_ReadOutlinePoints(points, in) || Malformed(error, "polygon count or points missing");
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

bool SW_ReadRelRecord(std::istream& in, SW_RelRecord& record, AK_String& error)
{
  std::string line;
  if (!NextHeader(in, line, error)) return false;
  double reals[3] = {0, 0, 0};
  int32_t wholes[3] = {0, 0, 0};
  if (ScanHeader(line, "ffd", reals, wholes) < 2) return Malformed(error, "header without depth and density");
  record.depth = reals[0];
  record.density = reals[1];
  return ReadPolygon(in, record.points, error);
}

bool SW_ReadResRecord(std::istream& in, SW_ResRecord& record, AK_String& error)
{
  std::string line;
  if (!NextHeader(in, line, error)) return false;
  double reals[6] = {0, 0, 0, 0, 0, 0};
  int32_t wholes[6] = {0, 0, 0, 0, 0, 0};
  int converted = ScanHeader(line, "ffffdf", reals, wholes);
  double density = reals[3];
  if (converted < 4) return Malformed(error, "header without height, width, coefficient and density");
  if (!(density >= 1e-10)) return Malformed(error, "density below 1e-10");
  record.height = reals[0];
  record.width = reals[1];
  record.coefficient = reals[2];
  record.spacing = 1.0 / std::sqrt(density);
  record.psa = converted >= 5 && wholes[4] == 0;
  return ReadPolygon(in, record.points, error);
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
