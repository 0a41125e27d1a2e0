// Point-set triangulation and the point file readers ("xyz" text, DXF POINT entities).
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "AK_Files.h"
#include "AK_Triangulation2.h"
#include "SW_MeshCore.h"
#include "SW_MeshFiles.h"
#include "SW_MeshPoints.h"
#include "SW_MeshTriangulation.h"

namespace {

void Send(const char* text, AK_SourceLocation where = AK_SourceLocation::Current())
{
  AK_ModuleMessage("SW_Mesh", text, where);
}

double CpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

inline bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// Reads an open file in blocks through a parser, then closes it.
template <class Parser>
void ParseFile(AK_File& f, Parser& parser)
{
  std::vector<char> block(1 << 16);
  size_t n;
  while ((n = std::fread(block.data(), 1, block.size(), f)) > 0) parser.Feed(block.data(), n);
  (void)f.Close();  // a file read: its close changes nothing on the disk
  parser.Finish();
}

}  // namespace

// ---------------------------------------------------------------------------------------
// xyz text

void SW_XyzParser::Feed(const char* data, size_t size)
{
  for (size_t i = 0; i < size; ++i) {
    char c = data[i];
    if (c == '\n') {
      EndLine();
      continue;
    }
    if (c == '\0') continue;
    if (c == ',') c = ' ';
    if (_length < kLineBuffer - 1)
      _line[_length++] = c;
    else
      _overlong = true;
  }
}

void SW_XyzParser::Finish()
{
  if (_length > 0) EndLine();
}

void SW_XyzParser::EndLine()
{
  _line[_length] = '\0';
  const char* s = _line;
  double x, y, z;
  bool ok = AK_ScanDouble(s, x) && AK_ScanDouble(s, y) && AK_ScanDouble(s, z);
  // In a cut line the third number must end before the cut, or it may be cut short.
  if (ok && _overlong && s == _line + _length) ok = false;
  if (ok) _out.Append(AK_Vec3(x, y, z));
  _length = 0;
  _overlong = false;
}

// ---------------------------------------------------------------------------------------
// DXF POINT entities

void SW_DxfPointParser::Feed(const char* data, size_t size)
{
  for (size_t i = 0; i < size; ++i) {
    char c = data[i];
    _haveLine = true;
    if (c == '\n') {
      EndLine();
      continue;
    }
    if (_length < kLineBuffer - 1) _line[_length++] = c;
  }
}

void SW_DxfPointParser::Finish()
{
  if (_haveLine) EndLine();
}

void SW_DxfPointParser::EndLine()
{
  while (_length > 0 && IsBlank(_line[_length - 1])) --_length;
  _line[_length] = '\0';
  _length = 0;
  _haveLine = false;
  Line(_line);
}

namespace {

// The coordinate a group code line announces (1 x, 2 y, 3 z), else 0. A group code stands
// right-justified in three columns or without padding; a wider field is a value (an integer
// value fills six columns), so a colour "    10" announces nothing.
int CoordinateOfCode(const char* line)
{
  if (line[0] == ' ') ++line;
  if (line[0] < '1' || line[0] > '3' || line[1] != '0' || line[2] != '\0') return 0;
  return line[0] - '0';
}

}  // namespace

// Line by line, not code and value in pairs: a blank or missing line anywhere (one at the
// start is common) then costs nothing, and an entity boundary does not end a point, so a
// point with its 30 value further on still completes with the x and y last read.
void SW_DxfPointParser::Line(const char* line)
{
  if (std::strcmp(line, "POINT") == 0) {
    _inPoint = true;
    return;
  }
  if (!_inPoint) return;
  if (_pending == 0) {
    _pending = CoordinateOfCode(line);
    return;
  }
  const char* s = line;
  double v;
  if (!AK_ScanDouble(s, v)) {
    _inPoint = false;  // the point is abandoned
    _pending = 0;
    return;
  }
  if (_pending == 1) {
    _x = v;
    _haveX = true;
  } else if (_pending == 2) {
    _y = v;
    _haveY = true;
  } else {
    // Without any x or y read yet there is no point to complete.
    if (_haveX && _haveY) _out.Append(AK_Vec3(_x, _y, v));
    _inPoint = false;
  }
  _pending = 0;
}

// ---------------------------------------------------------------------------------------
// The mesh's readers

namespace {

// Empties the mesh, reads the points of the file through the parser into the vertices and
// triangulates them; the mesh stays as it was when the file cannot be opened.
template <class Parser>
bool ReadPointFile(SW_MeshCore& mesh, const char* path, const char* cannotOpen, const AK_String& reading,
                   AK_String& error)
{
  AK_File file;
  if (!AK_OpenTextInput(file, path, "rb")) {
    error = AK_TextInputError(path, AK_String(cannotOpen) + path);
    return false;
  }
  mesh.ClearGeometry();
  Send(reading.c_str());
  Parser parser(mesh._x);
  ParseFile(file, parser);
  char text[64];
  std::snprintf(text, sizeof text, "read %d points from ", mesh.NumVertices());
  Send((AK_String(text) + path).c_str());
  mesh._x.Resize(mesh.NumVertices());  // no spare capacity kept beside a large terrain
  mesh.TriangulatePoints();
  return true;
}

}  // namespace

bool SW_ReadXyz(SW_MeshCore& mesh, const char* path, AK_String& error)
{
  return ReadPointFile<SW_XyzParser>(mesh, path, "cannot open file ",
                                     AK_String("reading xyz file ") + path + "...", error);
}

bool SW_ReadDxfPoints(SW_MeshCore& mesh, const char* path, AK_String& error)
{
  return ReadPointFile<SW_DxfPointParser>(mesh, path, "cannot open dxf file ",
                                          AK_String("reading points from ") + path, error);
}

// ---------------------------------------------------------------------------------------
// Point-set triangulation

void SW_MeshCore::TriangulatePoints()
{
  const int32_t n = NumVertices();
  AK_Array<AK_Vec2> proj(n);
  proj.SetCount(n);
  for (int32_t i = 0; i < n; ++i) proj[i] = AK_Vec2{_x[i].x, _x[i].y};
  AK_Vec2 lo, hi;
  SW_VertexBox2(_x, lo, hi);

  Send("randomizing insertion order...");
  double t0 = CpuSeconds();
  std::vector<const AK_Vec2*> order(static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i) order[static_cast<size_t>(i)] = &proj[i];
  SW_ShuffleInsertionOrder(order, 333);
  char text[256];
  std::snprintf(text, sizeof text, "randomized in %gs", CpuSeconds() - t0);
  Send(text);
  t0 = CpuSeconds();
  Send("performing Delaunay triangulation...");

  AK_Triangulation2 tri(lo, hi);
  int32_t coincident = 0;
  SW_InsertInOrder(tri, order, [&](int32_t i, int result, const AK_Vec2* existing) {
    if (!result && existing && !tri.IsAuxiliary(existing))
      coincident += SW_SamePlace(*order[static_cast<size_t>(i)], *existing);
    if ((i + 1) % 50000 == 0) {
      std::snprintf(text, sizeof text, "inserted %d of %d points...", i + 1, n);
      Send(text);
    }
  });
  std::snprintf(text, sizeof text, "inserted %d of %d points into Delaunay triangulation in %gs",
                tri.PointsInserted(), n, CpuSeconds() - t0);
  Send(text);
  std::snprintf(text, sizeof text, "%d triangles (including auxiliary triangles)",
                tri.NumTriangles());
  Send(text);
  tri.PrintStatistics();
  SW_ReportUnplaced(tri);
  SW_ReportDropped(n, tri.PointsInserted() + coincident);

  _lcc.SetCount(0);
  _cartesian = 0;
  _honeycomb = 0;
  DropDerivedGeometry();
  auto number = [&](const AK_Vec2* p) {
    int32_t i = static_cast<int32_t>(p - proj._elems);
    if (i >= 0 && i < n) SW_MESH_FATAL_ASSERT(p == &proj[i], "t->Pt(j) == &xProj[n]");
    return i;
  };
  int32_t discarded = SW_TrianglesToCells(tri, _x, number, _lcv);
  std::snprintf(text, sizeof text, "triangulation done, %d triangles", NumCells());
  Send(text);
  SW_ReportDiscarded(discarded);
  ComputeConnectivity();
}
