// Point-set triangulation and the point file readers ("xyz" text, DXF POINT entities).
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "AK_Triangulation2.h"
#include "SW_MeshCore.h"
#include "SW_MeshPoints.h"

namespace {

void Send(const char* text, int line) { AK_Message(text, "SW_Mesh", line); }

double CpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

inline bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// One number as " %lf" reads it: white space, then the longest number prefix. Refuses
// non-numbers and infinities.
bool ScanFinite(const char*& s, double& value)
{
  while (IsBlank(*s)) ++s;
  char* end = nullptr;
  errno = 0;
  double v = std::strtod(s, &end);
  if (end == s || !std::isfinite(v)) return false;
  value = v;
  s = end;
  return true;
}

// Reads an open file in blocks through a parser, then closes it.
template <class Parser>
void ParseFile(std::FILE* f, Parser& parser)
{
  std::vector<char> block(1 << 16);
  size_t n;
  while ((n = std::fread(block.data(), 1, block.size(), f)) > 0) parser.Feed(block.data(), n);
  std::fclose(f);
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
  bool ok = ScanFinite(s, x) && ScanFinite(s, y) && ScanFinite(s, z);
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
  if (_length > 0 && _line[_length - 1] == '\r') --_length;
  _line[_length] = '\0';
  _length = 0;
  _haveLine = false;
  if (_expectCode) {
    const char* s = _line;
    while (*s == ' ' || *s == '\t') ++s;
    char* end = nullptr;
    long code = std::strtol(s, &end, 10);
    bool ok = end != s;
    for (const char* r = end; ok && *r; ++r)
      if (*r != ' ' && *r != '\t') ok = false;
    _code = ok && code >= -32768 && code <= 32767 ? static_cast<int>(code) : -1;
    _expectCode = false;
    return;
  }
  _expectCode = true;
  Pair(_code, _line);
}

void SW_DxfPointParser::Pair(int code, const char* value)
{
  if (code == 0) {
    // Every entity begins with group 0: a point that is still open ends here.
    _inPoint = std::strcmp(value, "POINT") == 0;
    _haveX = _haveY = false;
    return;
  }
  if (!_inPoint || (code != 10 && code != 20 && code != 30)) return;
  const char* s = value;
  double v;
  if (!ScanFinite(s, v)) {
    _inPoint = false;  // the point is abandoned
    return;
  }
  if (code == 10) {
    _x = v;
    _haveX = true;
  } else if (code == 20) {
    _y = v;
    _haveY = true;
  } else {
    if (_haveX && _haveY) _out.Append(AK_Vec3(_x, _y, v));
    _inPoint = false;
  }
}

// ---------------------------------------------------------------------------------------
// The mesh's readers

int SW_MeshCore::ReadXyz(const AK_String& path, AK_String& error)
{
  std::FILE* file = AK_FileOpen(path, "rb");
  if (!file) {
    error = AK_String("cannot open file ") + path;
    return 1;
  }
  ClearGeometry();
  Send((AK_String("reading xyz file ") + path + "...").c_str(), __LINE__);
  SW_XyzParser parser(_x);
  ParseFile(file, parser);
  char text[64];
  std::snprintf(text, sizeof text, "read %d points from ", NumVertices());
  Send((AK_String(text) + path).c_str(), __LINE__);
  _x.Resize(NumVertices());
  TriangulatePoints();
  return 0;
}

int SW_MeshCore::ReadDxfPoints(const AK_String& path, AK_String& error)
{
  std::FILE* file = AK_FileOpen(path, "rb");
  if (!file) {
    error = AK_String("cannot open dxf file ") + path;
    return 1;
  }
  ClearGeometry();
  Send((AK_String("reading points from ") + path).c_str(), __LINE__);
  SW_DxfPointParser parser(_x);
  ParseFile(file, parser);
  char text[64];
  std::snprintf(text, sizeof text, "read %d points from ", NumVertices());
  Send((AK_String(text) + path).c_str(), __LINE__);
  TriangulatePoints();
  return 0;
}

// ---------------------------------------------------------------------------------------
// Point-set triangulation

void SW_MeshCore::TriangulatePoints()
{
  const int32_t n = NumVertices();
  AK_Array<AK_Vec2> proj(n);
  proj.SetCount(n);
  AK_Vec2 lo{0, 0}, hi{0, 0};
  if (n > 0) lo = hi = AK_Vec2{_x[0].x, _x[0].y};
  for (int32_t i = 0; i < n; ++i) {
    proj[i] = AK_Vec2{_x[i].x, _x[i].y};
    if (proj[i].x < lo.x) lo.x = proj[i].x;
    if (proj[i].y < lo.y) lo.y = proj[i].y;
    if (proj[i].x > hi.x) hi.x = proj[i].x;
    if (proj[i].y > hi.y) hi.y = proj[i].y;
  }

  Send("randomizing insertion order...", __LINE__);
  double t0 = CpuSeconds();
  std::vector<const AK_Vec2*> order(static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i) order[static_cast<size_t>(i)] = &proj[i];
  AK_SeedRandom(333);
  if (n > 0)
    for (int round = 0; round < 5; ++round)
      for (int32_t i = 0; i < n; ++i) {
        int32_t a = AK_Random() % n;
        int32_t b = AK_Random() % n;
        std::swap(order[static_cast<size_t>(a)], order[static_cast<size_t>(b)]);
      }
  char text[256];
  std::snprintf(text, sizeof text, "randomized in %gs", CpuSeconds() - t0);
  Send(text, __LINE__);
  t0 = CpuSeconds();
  Send("performing Delaunay triangulation...", __LINE__);

  AK_Triangulation2 tri(lo, hi);
  tri.ExpectPoints(n);
  for (int32_t i = 0; i < n; ++i) {
    tri.Prefetch(order.data() + i + 1, n - i - 1);
    tri.Insert(order[static_cast<size_t>(i)]);
    if ((i + 1) % 50000 == 0) {
      std::snprintf(text, sizeof text, "inserted %d of %d points...", i + 1, n);
      Send(text, __LINE__);
    }
  }
  std::snprintf(text, sizeof text, "inserted %d of %d points into Delaunay triangulation in %gs",
                tri.PointsInserted(), n, CpuSeconds() - t0);
  Send(text, __LINE__);
  std::snprintf(text, sizeof text, "%d triangles (including auxiliary triangles)",
                tri.NumTriangles());
  Send(text, __LINE__);
  tri.PrintStatistics();
  if (tri.Unplaced() > 0) {
    std::snprintf(text, sizeof text,
                  "WARNING:%d points could not be placed in the triangulation and have no cell",
                  tri.Unplaced());
    Send(text, __LINE__);
  }

  _lcv = AK_Array<AK_Index4>(tri.NumTriangles());
  _lcc.SetCount(0);
  _cartesian = 0;
  _honeycomb = 0;
  DropDerivedGeometry();
  int32_t kept = 0, discarded = 0;
  for (int32_t t = 0; t < tri.NumTriangles(); ++t) {
    const AK_Triangle2* tr = tri.Triangle(t);
    if (tri.HasAuxiliaryVertex(tr)) continue;
    int32_t idx[3];
    for (int k = 0; k < 3; ++k) {
      idx[k] = static_cast<int32_t>(tr->Pt(k) - proj._elems);
      AK_FATAL_ASSERT_NAMED(idx[k] >= 0 && idx[k] < _x.Size(), "n >= 0 && n < _x.Size()");
      AK_FATAL_ASSERT_NAMED(tr->Pt(k) == &proj[idx[k]], "t->Pt(j) == &xProj[n]");
    }
    // The triangle's own copies of the corners are the vertices' x and y.
    const AK_Vec2& p0 = tr->_c[0];
    const AK_Vec2& p1 = tr->_c[1];
    const AK_Vec2& p2 = tr->_c[2];
    if ((p1.x - p0.x) * (p2.y - p0.y) - (p2.x - p0.x) * (p1.y - p0.y) > 0)
      _lcv[kept++] = AK_Index4(idx[0], idx[1], idx[2], -1);
    else
      ++discarded;
  }
  _lcv.SetCount(kept);
  std::snprintf(text, sizeof text, "triangulation done, %d triangles", kept);
  Send(text, __LINE__);
  if (discarded > 0) {
    std::snprintf(text, sizeof text, "%d triangles discarded because of zero or negative area!",
                  discarded);
    Send(text, __LINE__);
  }
  ComputeConnectivity();
}
