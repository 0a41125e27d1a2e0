// Contour tracing over a mesh, its line set and its writers.
#include "SW_ContourLines.h"

#include <algorithm>

#include "AK_GLFunctionTable.h"
#include "SW_LineFiles.h"

namespace {

inline int Corners(const SW_MeshCore& mesh, int32_t c) { return mesh._lcv[c][3] < 0 ? 3 : 4; }

inline bool Above(const float* z, int32_t v, float level) { return z[v] > level; }

// The fraction t = (level - za) / (zb - za) in f32, kept within [0, 1]; 0 when it is no
// number (equal values at both ends).
float Fraction(float level, float za, float zb)
{
  float t = (level - za) / (zb - za);
  if (!(t >= 0.0f)) return 0.0f;
  return t > 1.0f ? 1.0f : t;
}

AK_Vec3 Between(const AK_Vec3& a, const AK_Vec3& b, float t)
{
  return a * (1.0 - static_cast<double>(t)) + b * static_cast<double>(t);
}

float CentreValue(const SW_MeshCore& mesh, int32_t c, const float* z)
{
  const AK_Index4& cell = mesh._lcv[c];
  return (z[cell[0]] + z[cell[1]] + z[cell[2]] + z[cell[3]]) / 4.0f;
}

AK_Vec3 EdgeCrossing(const SW_MeshCore& mesh, int32_t c, int k, const float* z, float level)
{
  const AK_Index4& cell = mesh._lcv[c];
  const int m = Corners(mesh, c);
  int32_t a = cell[k], b = cell[(k + 1) % m];
  return Between(mesh._x[a], mesh._x[b], Fraction(level, z[a], z[b]));
}

}  // namespace

int SW_ContourLeavesEdge(const SW_MeshCore& mesh, int32_t c, int k, const float* z, float level)
{
  const AK_Index4& cell = mesh._lcv[c];
  const int m = Corners(mesh, c);
  return Above(z, cell[k], level) && !Above(z, cell[(k + 1) % m], level);
}

int SW_ContourExitEdge(const SW_MeshCore& mesh, int32_t c, int k, const float* z, float level)
{
  const AK_Index4& cell = mesh._lcv[c];
  const int m = Corners(mesh, c);
  const int s = m == 3 || CentreValue(mesh, c, z) > level ? 1 : -1;
  int e = (k + m + s) % m;
  for (int tried = 0; tried < m - 1; ++tried, e = (e + m + s) % m)
    if (!Above(z, cell[e], level) && Above(z, cell[(e + 1) % m], level)) return e;
  return -1;
}

int SW_TraceContourInCell(const SW_MeshCore& mesh, int32_t c, int k, const float* z, float level,
                          int& exitEdge, AK_Array<AK_Vec3>& points)
{
  if (points.IsEmpty()) points.Append(EdgeCrossing(mesh, c, k, z, level));
  exitEdge = SW_ContourExitEdge(mesh, c, k, z, level);
  if (exitEdge < 0) return 0;

  if (Corners(mesh, c) == 4) {
    // Where the line turns inside a quadrilateral it crosses the spokes from the corners
    // to the centre; which spokes depends on the exit edge and on the centre value.
    const AK_Index4& cell = mesh._lcv[c];
    const float zc = CentreValue(mesh, c, z);
    const bool centreAbove = zc > level;
    AK_Vec3 centre;
    for (int i = 0; i < 4; ++i) centre += mesh._x[cell[i]];
    centre *= 0.25;
    const int k1 = (k + 1) % 4, k2 = (k + 2) % 4, k3 = (k + 3) % 4;
    int spokes[3];
    int n = 0;
    if (exitEdge == k2) {
      if (centreAbove) spokes[n++] = k1, spokes[n++] = k2;
      else spokes[n++] = k, spokes[n++] = k3;
    } else if (exitEdge == k1) {
      if (centreAbove) spokes[n++] = k1;
      else spokes[n++] = k, spokes[n++] = k3, spokes[n++] = k2;
    } else {
      if (centreAbove) spokes[n++] = k1, spokes[n++] = k2, spokes[n++] = k3;
      else spokes[n++] = k;
    }
    for (int i = 0; i < n; ++i) {
      int32_t v = cell[spokes[i]];
      points.Append(Between(mesh._x[v], centre, Fraction(level, z[v], zc)));
    }
  }
  points.Append(EdgeCrossing(mesh, c, exitEdge, z, level));
  return 1;
}

// ---------------------------------------------------------------------------------------

SW_ContourLine::SW_ContourLine(const SW_MeshCore& mesh, const float* z, double level,
                               int32_t startCell, int startEdge, AK_Array<int32_t>& visited)
    : _level(static_cast<float>(level))
{
  int32_t c = startCell;
  int exit = -1;
  int found = SW_TraceContourInCell(mesh, c, startEdge, z, _level, exit, _line.points);
  for (int64_t steps = 2 * static_cast<int64_t>(mesh.NumCells()) + 2; found && steps > 0; --steps) {
    visited.Append(c);
    int32_t next = mesh._lcc[c][exit];
    if (next == startCell) _closed = 1;
    if (next < 0 || next == startCell) break;
    int entry = -1;
    for (int e = Corners(mesh, next) - 1; e >= 0; --e)
      if (mesh._lcc[next][e] == c) {
        entry = e;
        break;
      }
    if (entry < 0) break;  // a one-sided neighbour: the line cannot go on
    c = next;
    found = SW_TraceContourInCell(mesh, c, entry, z, _level, exit, _line.points);
  }
  AK_String::SetKeyValue(_line.text, "iso", AK_String::Format("%g", static_cast<double>(_level)),
                         '=', ';');
}

void SW_ContourLine::Draw() const
{
  glBegin(GL_LINE_STRIP);
  for (const AK_Vec3& p : _line.points)
    glVertex3f(static_cast<float>(p.x), static_cast<float>(p.y), static_cast<float>(p.z));
  glEnd();
  if (_labelled) SW_DrawContourLabels(_line.points, _level, _labelDistance, _font);
}

bool SW_ContourLine::WriteDxf(std::ostream& out, const char* prefix) const
{
  AK_String layer = AK_String(prefix) + "_" + AK_String::Format("%g", static_cast<double>(_level));
  return SW_WriteDxfPolyline(_line, layer, out, SW_ContourDigits, _closed);
}

void SW_ContourLabelPoints(const AK_Array<AK_Vec3>& points, float distance, AK_Array<int32_t>& out)
{
  if (points.IsEmpty()) return;
  const double d2 = static_cast<double>(distance) * static_cast<double>(distance);
  auto farther = [d2](const AK_Vec3& a, const AK_Vec3& b) {
    AK_Vec3 d = a - b;
    return d.Dot(d) > d2;
  };
  AK_Vec3 last = points[0];
  for (int32_t i = 1; i < points.Size(); ++i)
    if (farther(points[i], last) && farther(points[i], points[0])) {
      out.Append(i);
      last = points[i];
    }
}

void SW_DrawContourLabels(const AK_Array<AK_Vec3>& points, float level, float distance,
                          const char* font)
{
  AK_Array<int32_t> at;
  SW_ContourLabelPoints(points, distance, at);
  const AK_String text = AK_String::Format("%g", static_cast<double>(level));
  glDisable(GL_DEPTH_TEST);
  for (int32_t i : at) {
    const double p[3] = {points[i].x, points[i].y, points[i].z};
    SW_DrawText(font, p, text);
  }
  glEnable(GL_DEPTH_TEST);
}

// ---------------------------------------------------------------------------------------

std::unique_ptr<SW_ContourLineSet> SW_ContourLineSet::Compute(const SW_MeshCore& mesh,
                                                              const AK_Array<float>& z,
                                                              const AK_Array<double>& levels)
{
  auto set = std::make_unique<SW_ContourLineSet>();
  const int32_t nc = mesh.NumCells();
  if (nc == 0 || z.Size() != mesh.NumVertices() || mesh._lcc.Size() != nc) return set;

  std::vector<float> level(static_cast<size_t>(levels.Size()));
  for (int32_t l = 0; l < levels.Size(); ++l) level[static_cast<size_t>(l)] = static_cast<float>(levels[l]);

  // Candidate cells per level: those whose value range holds the level.
  std::vector<std::vector<int32_t>> candidates(level.size());
  const bool sorted = std::is_sorted(level.begin(), level.end());
  for (int32_t c = 0; c < nc; ++c) {
    const AK_Index4& cell = mesh._lcv[c];
    float lo = z[cell[0]], hi = lo;
    for (int k = 1; k < Corners(mesh, c); ++k) {
      lo = std::min(lo, z[cell[k]]);
      hi = std::max(hi, z[cell[k]]);
    }
    if (sorted) {
      // Only the levels within the cell's range: a mesh with many levels stays linear.
      auto first = std::lower_bound(level.begin(), level.end(), lo);
      for (auto l = first; l != level.end() && *l <= hi; ++l)
        candidates[static_cast<size_t>(l - level.begin())].push_back(c);
    } else {
      for (size_t l = 0; l < level.size(); ++l)
        if (lo <= level[l] && level[l] <= hi) candidates[l].push_back(c);
    }
  }

  // Per cell the edges through which a traced line of the current level entered it: a
  // start there would trace the same line again.
  std::vector<uint8_t> entered(static_cast<size_t>(nc), 0);
  const float* zv = z._elems;
  for (size_t l = 0; l < level.size(); ++l) {
    AK_Array<int32_t> touched;
    auto trace = [&](int32_t c, int k) {
      AK_Array<int32_t> visited;
      auto line = std::make_unique<SW_ContourLine>(mesh, zv, level[l], c, k, visited);
      entered[static_cast<size_t>(c)] |= static_cast<uint8_t>(1u << k);
      touched.Append(c);
      // Each cell after the first was entered through the edge facing its predecessor.
      for (int32_t i = 1; i < visited.Size(); ++i) {
        int32_t prev = visited[i - 1], cur = visited[i];
        for (int e = 0; e < Corners(mesh, cur); ++e)
          if (mesh._lcc[cur][e] == prev) entered[static_cast<size_t>(cur)] |= static_cast<uint8_t>(1u << e);
        touched.Append(cur);
      }
      set->Append(std::move(line));
    };
    for (int32_t c : candidates[l])
      for (int k = Corners(mesh, c) - 1; k >= 0; --k)
        if (mesh._lcc[c][k] < 0 && SW_ContourLeavesEdge(mesh, c, k, zv, level[l])) trace(c, k);
    for (int32_t c : candidates[l])
      for (int k = Corners(mesh, c) - 1; k >= 0; --k)
        if (mesh._lcc[c][k] >= 0 && !(entered[static_cast<size_t>(c)] & (1u << k)) &&
            SW_ContourLeavesEdge(mesh, c, k, zv, level[l]))
          trace(c, k);
    for (int32_t c : touched) entered[static_cast<size_t>(c)] = 0;
  }
  return set;
}

bool SW_ContourLineSet::WriteDxf(std::ostream& out, const char* prefix) const
{
  SW_WriteDxfBegin(out);
  for (const auto& line : _lines) line->WriteDxf(out, prefix);
  SW_WriteDxfEnd(out);
  return !out.fail();
}

bool SW_ContourLineSet::WriteNxyz(std::ostream& out) const
{
  for (const auto& line : _lines) SW_WriteNxyzPolyline(line->Polyline(), out, SW_ContourDigits);
  return !out.fail();
}
