// Line files: point lists, "nxyz" polyline lists, DXF polylines, "ano" records, ESRI value
// dictionaries in DXF files, and segment chaining.
#include "SW_LineFiles.h"

#include "AK_Files.h"
#include "AK_NumberText.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <locale>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

int32_t DxfReadXdict = 0;

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// One integer as " %d" reads it; a number beyond 32 bits is refused.
bool ScanInt(const char*& s, int32_t& value)
{
  const char* p = s;
  while (IsBlank(*p)) ++p;
  bool negative = *p == '-';
  if (*p == '+' || *p == '-') ++p;
  const char* digits = p;
  while (*p >= '0' && *p <= '9') ++p;
  if (p == digits) return false;
  int64_t v = 0;
  for (const char* q = digits; q < p; ++q) {
    v = v * 10 + (*q - '0');
    if (v > int64_t{1} << 31) return false;
  }
  if (negative) v = -v;
  if (v > INT32_MAX || v < INT32_MIN) return false;
  value = static_cast<int32_t>(v);
  s = p;
  return true;
}

bool StartsWith(const std::string& line, const char* prefix)
{
  return line.compare(0, std::strlen(prefix), prefix) == 0;
}

// One line as std::istream::getline with a buffer of `size` bytes reads it: at most size - 1
// characters; a longer line fails the stream, and `line` holds the characters that fitted.
// A size of 0 reads the line whatever its length. The line end is not kept, nor one CR
// before it; the line ends at a NUL byte, as a C text does. False when the read failed (the
// end of the input before any character, or a line too long); a last line without a line
// end is still a line.
bool GetLine(std::istream& in, std::string& line, int size)
{
  if (size == 0) {
    std::getline(in, line);
    const size_t nul = line.find('\0');
    if (nul != std::string::npos) line.erase(nul);
  } else {
    char buffer[512];
    if (size > static_cast<int>(sizeof buffer)) size = sizeof buffer;
    in.getline(buffer, size);
    line.assign(buffer);
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return !in.fail();
}

// The line limits of the stream readers: the program's own formats ("nxyz", "ano") read lines
// of any length, for it writes texts of any length into them; DXF lines take 511 characters,
// and a longer one is a read failure, which ends what is being read.
constexpr int kNxyzLine = 0, kDxfLine = 512, kAnoLine = 0;

// The buffer of the ESRI dictionaries read with the C library's fgets: a longer line is read
// in pieces of at most 255 bytes, each a line of its own.
constexpr int kEsriPiece = 256;

// Appends an attribute line to the text: trailing control and non-ASCII bytes cut off, and
// ";" after it unless the text already ends with one.
void AppendAttributeLine(AK_String& text, const char* line)
{
  size_t n = std::strlen(line);
  while (n > 0 && (static_cast<unsigned char>(line[n - 1]) < 32 ||
                   static_cast<unsigned char>(line[n - 1]) >= 128))
    --n;
  text += AK_String(line, line + n);
  int length = text.Length();
  if (length == 0 || text[length - 1] != ';') text += ";";
}

// The attribute text as lines: every ";" a line end, and a last item without ";" ended too,
// so that what follows starts on a line of its own.
std::string AttributeLines(const AK_String& text)
{
  std::string lines(text.c_str());
  if (lines.empty()) return lines;
  for (char& c : lines)
    if (c == ';') c = '\n';
  if (lines.back() != '\n') lines += '\n';
  return lines;
}

// "%lf": fixed notation with six decimals, "." as the decimal point in every locale.
void AppendFixed6(std::string& out, double value)
{
  char text[400];
  auto [ptr, ec] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 6);
  if (ec == std::errc()) out.append(text, ptr);
}

// Reads a point list file: attribute lines, points of `dimension` numbers separated by
// white space or by commas, everything else skipped.
bool ReadPointList(AK_NamedPolyline& record, const char* path, int dimension)
{
  AK_File file;
  if (!AK_OpenTextInput(file, path)) return false;
  AK_String text;
  while (AK_ReadLine(file, text)) {
    const char* line = text.c_str();
    if (std::strchr(line, '=')) {
      AppendAttributeLine(record.text, line);
      continue;
    }
    double v[3] = {0, 0, 0};
    bool ok = false;
    for (char separator : {' ', ','}) {
      const char* s = line;
      int i = 0;
      for (; i < dimension; ++i) {
        if (i > 0 && separator == ',' && *s++ != ',') break;
        if (!AK_ScanDouble(s, v[i])) break;
      }
      if ((ok = i == dimension)) break;
    }
    if (ok) record.points.Append(AK_Vec3(v[0], v[1], v[2]));
  }
  return true;
}

bool WritePointList(const AK_NamedPolyline& record, const char* path, int dimension)
{
  std::string text = AttributeLines(record.text);
  for (const AK_Vec3& p : record.points) {
    const double v[3] = {p.x, p.y, p.z};
    for (int i = 0; i < dimension; ++i) {
      if (i > 0) text += ' ';
      AppendFixed6(text, v[i]);
    }
    text += '\n';
  }
  return AK_WriteWholeFile(path, text);
}

// The three coordinates in general notation with `precision` significant digits, whatever
// the stream's own format, with the given texts between them and a line end after z.
void WriteCoordinates(std::ostream& out, const AK_Vec3& p, int precision, const char* afterX,
                      const char* afterY)
{
  out << AK_FormatGeneral(p.x, precision).c_str() << afterX
      << AK_FormatGeneral(p.y, precision).c_str() << afterY
      << AK_FormatGeneral(p.z, precision).c_str() << '\n';
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Point lists

bool SW_ReadXyFile(AK_NamedPolyline& record, const char* path) { return ReadPointList(record, path, 2); }
bool SW_ReadXyzFile(AK_NamedPolyline& record, const char* path) { return ReadPointList(record, path, 3); }
bool SW_WriteXyFile(const AK_NamedPolyline& record, const char* path) { return WritePointList(record, path, 2); }
bool SW_WriteXyzFile(const AK_NamedPolyline& record, const char* path) { return WritePointList(record, path, 3); }

// ---------------------------------------------------------------------------------------
// nxyz

bool SW_ReadNxyzPolyline(AK_NamedPolyline& record, std::istream& in)
{
  if (!in.good()) return false;
  int32_t count = 0;
  std::string line;
  while (GetLine(in, line, kNxyzLine)) {
    const char* s = line.c_str();
    if (std::strchr(s, '=')) {
      AppendAttributeLine(record.text, s);
      continue;
    }
    if (ScanInt(s, count)) break;
  }
  if (count < 1) return false;
  std::locale previous = in.imbue(std::locale::classic());
  for (int32_t i = 0; i < count; ++i) {
    AK_Vec3 p;
    in >> p.x >> p.y >> p.z;
    // A last number at the very end of the file sets only the end flag: the point is whole.
    if (in.fail() || !std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) {
      in.setstate(std::ios::failbit);
      break;
    }
    record.points.Append(p);
  }
  in.imbue(previous);
  return !in.fail();
}

bool SW_WriteNxyzPolyline(const AK_NamedPolyline& record, std::ostream& out, int precision)
{
  out << AttributeLines(record.text) << std::to_string(record.points.Count()) << '\n';
  for (const AK_Vec3& p : record.points) WriteCoordinates(out, p, precision, " ", " ");
  return out.good();
}

bool SW_ReadNxyzFile(const char* path, AK_Array<AK_NamedPolyline>& list)
{
  std::ifstream in;
  if (!AK_OpenTextInput(in, path)) return false;
  for (;;) {
    AK_NamedPolyline record;
    if (!SW_ReadNxyzPolyline(record, in)) break;
    list.Append(static_cast<AK_NamedPolyline&&>(record));
  }
  return true;
}

// ---------------------------------------------------------------------------------------
// DXF

namespace {

enum class LwState { None, Header, AwaitLayer, AwaitCount, Vertices };
enum class Slot { None, X, Y, Z, Elevation };

}  // namespace

bool SW_ReadDxfPolyline(AK_Array<AK_Vec3>& points, std::istream& in, AK_String& name)
{
  name = "";
  LwState lw = LwState::None;
  Slot slot = Slot::None;
  int32_t remaining = 0;
  double elevation = 0;
  bool polyline = false, vertexSeen = false, polylineLayer = false;
  std::string line;
  while (GetLine(in, line, kDxfLine)) {
    const char* s = line.c_str();
    // LWPOLYLINE: header groups, then the vertices.
    if (line == "LWPOLYLINE") {
      lw = LwState::Header;
      continue;
    }
    bool pass = lw == LwState::None;  // straight on to the POLYLINE groups
    if (!pass && lw == LwState::Header) {
      if (DxfReadXdict && line.find("ACAD_XDICTIONARY") != std::string::npos) {
        std::string handle;
        if (!GetLine(in, handle, kDxfLine) || !GetLine(in, handle, kDxfLine)) break;
        name = AK_String("XDICT ") + handle.c_str();
        continue;
      }
      if (StartsWith(line, "  8")) {
        lw = LwState::AwaitLayer;
        continue;
      }
      if (StartsWith(line, " 90")) {
        lw = LwState::AwaitCount;
        continue;
      }
    } else if (!pass && lw == LwState::AwaitLayer) {
      name = DxfReadXdict ? name + " " + s : AK_String(s);
      lw = LwState::Header;
      continue;
    } else if (!pass && lw == LwState::AwaitCount) {
      int32_t count;
      if (ScanInt(s, count)) {
        remaining = count;
        lw = LwState::Vertices;
        continue;
      }
    } else if (!pass && lw == LwState::Vertices) {
      if (StartsWith(line, " 10") && remaining > 0) {
        points.Append(AK_Vec3(0, 0, elevation));
        --remaining;
        slot = Slot::X;
        continue;
      }
      if (StartsWith(line, " 20")) {
        slot = Slot::Y;
        continue;
      }
    }
    if (!pass) {
      if (StartsWith(line, " 38")) {
        slot = Slot::Elevation;
        continue;
      }
      if (lw == LwState::Vertices && slot != Slot::None) {
        double v;
        bool scanned = AK_ScanDouble(s, v);
        if (slot == Slot::Elevation) {
          if (scanned) elevation = v;
        } else if (scanned && points.Count() > 0) {
          (slot == Slot::X ? points.Last().x : points.Last().y) = v;
        }
        if (slot == Slot::Y && remaining <= 0) return !in.fail();
        slot = Slot::None;
        continue;
      }
    }
    // POLYLINE with its VERTEX entities.
    if (polylineLayer) {
      name = s;
      polylineLayer = false;
      continue;
    }
    if (line == "POLYLINE") {
      polyline = true;
      continue;
    }
    if (polyline && !vertexSeen && slot == Slot::None && line == "  8") {
      polylineLayer = true;
      continue;
    }
    if (polyline && line == "VERTEX") {
      points.Append(AK_Vec3());
      vertexSeen = true;
      continue;
    }
    if (polyline && vertexSeen && slot == Slot::None) {
      if (line == " 10") slot = Slot::X;
      if (line == " 20") slot = Slot::Y;
      if (line == " 30") slot = Slot::Z;
      if (slot != Slot::None) continue;
    }
    if (line.find("SEQEND") != std::string::npos || line.find("ENDSEC") != std::string::npos) break;
    if (polyline && vertexSeen && slot != Slot::None) {
      double v;
      if (slot != Slot::Elevation && AK_ScanDouble(s, v))
        (slot == Slot::X ? points.Last().x : slot == Slot::Y ? points.Last().y : points.Last().z) = v;
      slot = Slot::None;
    }
  }
  return !in.fail();
}

void SW_WriteDxfBegin(std::ostream& out) { out << "  0\nSECTION\n  2\nENTITIES\n"; }
void SW_WriteDxfEnd(std::ostream& out) { out << "  0\nENDSEC\n  0\nEOF\n"; }

bool SW_WriteDxfPolyline(const AK_NamedPolyline& record, const char* layer, std::ostream& out,
                         int precision, int closed)
{
  // Flag 8 marks a 3-D polyline, 1 a closed one; 32 a vertex of a 3-D polyline. The open
  // flag is not right-aligned: "  8" there would read back as the layer's group code.
  out << "  0\nPOLYLINE\n  8\n" << layer << "\n 10\n  0\n 20\n  0\n 30\n  0\n 70\n"
      << (closed ? "  9" : "8") << "\n 66\n  1\n";
  for (const AK_Vec3& p : record.points) {
    out << "  0\nVERTEX\n  8\n" << layer << "\n 70\n32\n 10\n";
    WriteCoordinates(out, p, precision, "\n 20\n", "\n 30\n");
  }
  out << "  0\nSEQEND\n";
  return out.good();
}

bool SW_ReadDxfFile(const char* path, AK_Array<AK_NamedPolyline>& list, AK_Array<AK_String>& names)
{
  std::ifstream in;
  if (!AK_OpenTextInput(in, path)) return false;
  for (;;) {
    AK_NamedPolyline record;
    AK_String name;
    if (!SW_ReadDxfPolyline(record.points, in, name)) break;
    list.Append(static_cast<AK_NamedPolyline&&>(record));
    names.Append(name);
  }
  return true;
}

// ---------------------------------------------------------------------------------------
// Area outlines

bool SW_ReadOutlinePoints(AK_Array<AK_Vec3>& points, std::istream& in)
{
  points.Clear();
  std::locale previous = in.imbue(std::locale::classic());
  int32_t n = 0;
  in >> n;
  for (int32_t i = 0; i < n && !in.fail(); ++i) {
    double x, y;
    if (in >> x >> y) points.Append(AK_Vec3(x, y, 0));
  }
  in.imbue(previous);
  return !in.fail();
}

// ---------------------------------------------------------------------------------------
// ano

bool SW_ReadAnoRecord(std::istream& in, SW_AnoRecord& record)
{
  static const struct {
    const char* word;
    const char* color;
  } kColors[] = {{"lblue", "0.5 0.5 1"}, {"blue", "0 0 1"},   {"red", "1 0 0"},
                 {"green", "0 1 0"},     {"yello", "1 1 0"},  {"cyan", "0 1 1"},
                 {"magenta", "1 0 1"}};
  std::string line;
  GetLine(in, line, kAnoLine);
  if (line.size() > 2) record.name = line.c_str();
  int32_t count = 0;
  GetLine(in, line, kAnoLine);
  const char* s = line.c_str();
  if (!ScanInt(s, count)) return false;
  while (IsBlank(*s)) ++s;
  const char* word = s;
  while (*s && !IsBlank(*s)) ++s;
  if (s == word) return false;
  record.count = count;
  std::string colorWord(word, s);
  record.autoColored = 1;
  for (const auto& c : kColors)
    if (colorWord == c.word) {
      record.autoColored = 0;
      record.color = c.color;
    }
  for (int32_t i = 0; i < count && in.good(); ++i) {
    GetLine(in, line, kAnoLine);
    const char* p = line.c_str();
    double x, y;
    if (AK_ScanDouble(p, x) && AK_ScanDouble(p, y)) record.points.Append(AK_Vec3(x, y, 0));
  }
  return true;
}

// ---------------------------------------------------------------------------------------
// ESRI attribute dictionaries

namespace {

// Reads the lines of a DXF file in pieces of at most 255 bytes, line ends removed.
class DxfLines {
public:
  explicit DxfLines(const char* path) : _file(path, "r") {}
  bool IsOpen() const { return _file.get() != nullptr; }
  bool Next(std::string& line)
  {
    char piece[kEsriPiece];
    if (!std::fgets(piece, sizeof piece, _file)) return false;
    line.assign(piece);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    return true;
  }
  // Skips one line and reads the next: the value two lines after the current one.
  bool Second(std::string& line) { return Next(line) && Next(line); }
  // Finds a line beginning with "DICTIONARY" whose handle (two lines on) begins with h.
  bool FindDictionary(const std::string& h)
  {
    std::string line;
    while (Next(line))
      if (StartsWith(line, "DICTIONARY") && Second(line) && StartsWith(line, h.c_str())) return true;
    return false;
  }

private:
  AK_File _file;
};

}  // namespace

AK_String SW_ReadDxfEsriAttributes(const char* path, const char* entity, double& value)
{
  const std::string text(entity ? entity : "");
  size_t at = text.find("_XDICT_");
  if (at == std::string::npos) return AK_String(text.c_str());
  at += 7;
  size_t end = text.find('_', at);
  if (end == std::string::npos) return AK_String(text.c_str());
  const std::string h = text.substr(at, end - at);
  DxfLines file(path);
  if (!file.IsOpen()) return AK_String(text.c_str());

  // The entity's extension dictionary names the attribute dictionary.
  std::string line, e;
  if (!file.FindDictionary(h)) return AK_String(text.c_str());
  for (;;) {
    if (!file.Next(line)) return AK_String(text.c_str());
    if (StartsWith(line, "ESRI_Attributes")) {
      if (!file.Second(e)) return AK_String(text.c_str());
      break;
    }
  }
  // The attribute dictionary names the records of "d0" and of the name.
  std::string d = ":::", n = ":::";
  if (file.FindDictionary(e)) {
    while (file.Next(line) && !StartsWith(line, "  0")) {
      if (!StartsWith(line, "  3")) continue;
      std::string entry;
      if (!file.Next(entry)) break;
      for (char& c : entry)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      if (StartsWith(entry, "d0")) {
        if (!file.Second(d)) break;
      } else if (StartsWith(entry, "name") || StartsWith(entry, "layer")) {
        if (!file.Second(n)) break;
      }
    }
  }
  // The records themselves; a later one overrides an earlier one.
  AK_String result(text.c_str());
  while (file.Next(line)) {
    std::string handle;
    if (!StartsWith(line, "XRECORD") || !file.Second(handle)) continue;
    bool isD = StartsWith(handle, d.c_str()), isN = StartsWith(handle, n.c_str());
    if (!isD && !isN) continue;
    std::string last;
    bool any = false;
    while (file.Next(line) && !StartsWith(line, "  0")) {
      last = line;
      any = true;
    }
    if (!any) continue;
    const char* s = last.c_str();
    double v;
    if (isD && AK_ScanDouble(s, v)) value = v;
    if (isN) result = last.c_str();
  }
  return result;
}

// ---------------------------------------------------------------------------------------
// Segment chaining

void SW_GridPolylinesFromPoints(const AK_Array<AK_Vec3>& points, double d,
                                AK_Array<AK_NamedPolyline>& list)
{
  const int32_t numSegments = points.Count() / 2;
  if (numSegments < 1) return;
  for (const AK_Vec3& p : points)
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) return;
  AK_Vec3 lo = points[0], hi = points[0];
  double total = 0;
  for (const AK_Vec3& p : points) {
    lo = AK_Vec3(std::fmin(lo.x, p.x), std::fmin(lo.y, p.y), std::fmin(lo.z, p.z));
    hi = AK_Vec3(std::fmax(hi.x, p.x), std::fmax(hi.y, p.y), std::fmax(hi.z, p.z));
  }
  for (int32_t i = 0; i < numSegments; ++i) total += (points[2 * i + 1] - points[2 * i]).Length();
  double h = total / points.Count();
  // Zero-length segments, or a cell so small that the grid would need more than a million
  // cells along an axis, get a coarser cell: the chains found within d stay the same as long
  // as d does not exceed the cell, and the cell keys stay far within 64 bits.
  const double extent = std::fmax(hi.x - lo.x, std::fmax(hi.y - lo.y, hi.z - lo.z));
  if (!(h > 0) || !std::isfinite(h) || extent / h > 1e6) h = extent > 0 ? extent / 1e6 : 1;
  if (!std::isfinite(h)) h = std::numeric_limits<double>::max();
  // Cell index along one axis, kept inside the grid whatever rounding does at its far end.
  auto index = [h](double v, double low) {
    double t = (v - low) / h;
    return static_cast<int64_t>(t >= 0 ? std::fmin(t, 1e6) : 0);
  };
  const int64_t nx = index(hi.x, lo.x) + 1, ny = index(hi.y, lo.y) + 1, nz = index(hi.z, lo.z) + 1;
  auto cellOf = [&](const AK_Vec3& p, int64_t c[3]) {
    c[0] = index(p.x, lo.x);
    c[1] = index(p.y, lo.y);
    c[2] = index(p.z, lo.z);
  };
  std::unordered_map<int64_t, std::vector<int32_t>> cells;
  for (int32_t i = 0; i < numSegments; ++i) {
    int64_t c[3];
    cellOf(points[2 * i], c);
    cells[(c[0] * ny + c[1]) * nz + c[2]].push_back(i);
  }
  std::vector<char> used(static_cast<size_t>(numSegments), 0);
  int32_t firstUnused = 0;
  const double d2 = d * d;
  for (;;) {
    while (firstUnused < numSegments && used[firstUnused]) ++firstUnused;
    if (firstUnused == numSegments) return;
    int32_t current = firstUnused;
    AK_NamedPolyline chain;
    chain.points.Append(points[2 * current]);
    while (current >= 0) {
      used[current] = 1;
      const AK_Vec3& end = points[2 * current + 1];
      chain.points.Append(end);
      int64_t c[3];
      cellOf(end, c);
      int32_t best = -1;
      double bestD2 = 0;
      for (int64_t i = c[0] - 1; i <= c[0] + 1; ++i)
        for (int64_t j = c[1] - 1; j <= c[1] + 1; ++j)
          for (int64_t k = c[2] - 1; k <= c[2] + 1; ++k) {
            if (i < 0 || j < 0 || k < 0 || i >= nx || j >= ny || k >= nz) continue;
            auto found = cells.find((i * ny + j) * nz + k);
            if (found == cells.end()) continue;
            for (int32_t s : found->second) {
              if (used[s]) continue;
              AK_Vec3 v = points[2 * s] - end;
              double dist2 = v.Dot(v);
              if (dist2 <= d2 && (best < 0 || dist2 < bestD2)) {
                best = s;
                bestD2 = dist2;
              }
            }
          }
      current = best;
    }
    list.Append(static_cast<AK_NamedPolyline&&>(chain));
  }
}
