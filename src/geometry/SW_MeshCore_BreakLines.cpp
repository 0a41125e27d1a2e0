// Break-line triangulation: the polylines' points join the vertices, and every polyline
// segment that is no edge of the Delaunay triangulation is split at its midpoint until
// all parts are edges or too short to split.
#include <cmath>
#include <cstdio>
#include <deque>
#include <utility>
#include <vector>

#include "AK_Triangulation2.h"
#include "SW_MeshCore.h"
#include "SW_MeshTriangulation.h"

namespace {

void Send(const char* text, AK_SourceLocation where = AK_SourceLocation::Current())
{
  AK_ModuleMessage("SW_Mesh", text, where);
}

// The break lines' vertices as vertices and segments of the mesh. A vertex that is no
// finite point, or (with `box`) lies outside the x-y box of the terrain, cannot be placed in
// the triangulation without wrecking it: it is skipped with a warning, and the line is cut
// there (no segment joins the vertices on either side of it).
void AppendBreakLines(const AK_Array<AK_NamedPolyline>& lines, const AK_Vec2* box,
                      AK_Array<AK_Vec3>& x, AK_Array<int32_t>& segments)
{
  constexpr int32_t kNamed = 20;  // warnings that name a vertex; the rest are counted
  int32_t skipped = 0;
  for (int32_t l = 0; l < lines.Size(); ++l) {
    const AK_Array<AK_Vec3>& pts = lines[l].points;
    bool joined = false;
    for (int32_t i = 0; i < pts.Size(); ++i) {
      const AK_Vec3& p = pts[i];
      const bool finite = std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
      const bool inside = !box || (p.x >= box[0].x && p.x <= box[1].x && p.y >= box[0].y && p.y <= box[1].y);
      if (!finite || !inside) {
        if (skipped++ < kNamed) {
          char text[256];
          std::snprintf(text, sizeof text, "WARNING:vertex %d of break line %d ('%.60s') at (%g, %g, %g) %s: skipped",
                        i + 1, l + 1, lines[l].text.c_str(), p.x, p.y, p.z,
                        finite ? "lies outside the terrain" : "is no finite point");
          Send(text);
        }
        joined = false;
        continue;
      }
      x.Append(p);
      if (joined) {
        segments.Append(x.Size() - 2);
        segments.Append(x.Size() - 1);
      }
      joined = true;
    }
  }
  if (skipped > kNamed) {
    char text[128];
    std::snprintf(text, sizeof text, "WARNING:%d more break-line vertices skipped", skipped - kNamed);
    Send(text);
  }
}

}  // namespace

bool SW_MeshCore::TriangulateWithBreakLines(const AK_Array<AK_NamedPolyline>& lines, int keep,
                                            AK_String& error, bool insideTerrain)
{
  char text[256];
  std::snprintf(text, sizeof text, "loading %d polylines...", lines.Size());
  Send(text);

  // The mesh as it was comes back when the break lines would leave no cells.
  SW_MeshCore previous(std::move(static_cast<SW_MeshCore&>(*this)));
  ClearGeometry();
  AK_Vec2 box[2];
  const bool bounded = keep && insideTerrain && previous.NumVertices() > 0;
  if (bounded) SW_VertexBox2(previous._x, box[0], box[1]);
  if (keep) {
    _x = previous._x;
    _segments = previous._segments;
  }
  AppendBreakLines(lines, bounded ? box : nullptr, _x, _segments);
  _x.Resize(_x.Size());
  // Segments that name a vertex the mesh does not have (kept from an earlier, inconsistent
  // state) cannot be recovered.
  {
    int32_t out = 0;
    for (int32_t s = 0; s + 1 < _segments.Size(); s += 2) {
      int32_t a = _segments[s], b = _segments[s + 1];
      if (a < 0 || b < 0 || a >= _x.Size() || b >= _x.Size()) continue;
      _segments[out++] = a;
      _segments[out++] = b;
    }
    _segments.SetCount(out);
  }

  const int32_t n = NumVertices();
  std::deque<AK_NumberedPoint2> records;
  AK_Array<AK_NumberedPoint2*> xProj(n);
  for (int32_t i = 0; i < n; ++i) {
    records.push_back(AK_NumberedPoint2{AK_Vec2{_x[i].x, _x[i].y}, i});
    xProj.Append(&records.back());
  }
  AK_Vec2 lo, hi;
  SW_VertexBox2(_x, lo, hi);

  std::vector<const AK_Vec2*> order(static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i) order[static_cast<size_t>(i)] = &xProj[i]->p;
  SW_ShuffleInsertionOrder(order, 444);

  Send("performing Delaunay triangulation...");
  AK_Triangulation2 tri(lo, hi);
  // A point that coincides with a vertex already inserted (the shared end of two break
  // lines, a break-line vertex on a point of the set) is refused; its segments are then
  // carried by that vertex instead.
  std::vector<int32_t> alias(static_cast<size_t>(n), -1);
  int32_t coincident = 0;
  SW_InsertInOrder(tri, order, [&](int32_t i, int result, const AK_Vec2* existing) {
    if (!result && existing && !tri.IsAuxiliary(existing)) {
      const AK_Vec2* p = order[static_cast<size_t>(i)];
      const int32_t v = AK_NumberedPoint2::Of(p)->Num;
      alias[static_cast<size_t>(v)] = AK_NumberedPoint2::Of(existing)->Num;
      coincident += SW_SamePlace(*p, *existing);
    }
  });
  int32_t inserted = tri.PointsInserted();
  std::snprintf(text, sizeof text, "inserted %d of %d points into Delaunay triangulation",
                inserted, n);
  Send(text);
  std::snprintf(text, sizeof text, "%d triangles (including auxiliary triangles)",
                tri.NumTriangles());
  Send(text);
  SW_ReportUnplaced(tri);
  SW_ReportDropped(n, inserted + coincident);
  for (int32_t s = 0; s < _segments.Size(); ++s) {
    int32_t v = _segments[s];
    if (alias[static_cast<size_t>(v)] >= 0) _segments[s] = alias[static_cast<size_t>(v)];
  }

  const double l2 = ((hi.x - lo.x) * (hi.x - lo.x) + (hi.y - lo.y) * (hi.y - lo.y)) * 5e-5 /
                    (tri.NumTriangles() + 1.0);
  std::snprintf(text, sizeof text, "min edge length for splitting:%g", std::sqrt(l2));
  Send(text);

  while (inserted > 0) {
    const int32_t before = inserted;
    std::snprintf(text, sizeof text, "recovering %d segments...", _segments.Size() / 2);
    Send(text);
    int32_t end = _segments.Size();
    int32_t i = 0;
    auto drop = [&]() {
      _segments[i] = _segments[end - 2];
      _segments[i + 1] = _segments[end - 1];
      end -= 2;
    };
    while (i < end) {
      SW_MESH_FATAL_ASSERT(end <= _segments.Size(), "nSegs2 <= _segments.Size()");
      const int32_t a = _segments[i], b = _segments[i + 1];
      AK_NumberedPoint2* ra = xProj[a];
      AK_NumberedPoint2* rb = xProj[b];
      double dx = ra->p.x - rb->p.x, dy = ra->p.y - rb->p.y;
      if (dx * dx + dy * dy < l2) {
        drop();
        continue;
      }
      AK_Triangle2* ta = tri.TriangleWithVertex(&ra->p, nullptr);
      if (!ta || !tri.TriangleWithVertex(&rb->p, ta)) {
        drop();
        continue;
      }
      if (tri.FindEdge(&ra->p, &rb->p, ta)) {
        i += 2;
        continue;
      }
      AK_Vec3 mid = (_x[a] + _x[b]) * 0.5;
      const int32_t m = _x.Size();
      records.push_back(AK_NumberedPoint2{AK_Vec2{mid.x, mid.y}, m});
      AK_NumberedPoint2* rm = &records.back();
      if (!tri.Insert(&rm->p)) {
        records.pop_back();
        drop();
        continue;
      }
      _segments[i + 1] = m;
      if (end + 1 < _segments.Size()) {
        _segments[end] = m;
        _segments[end + 1] = b;
      } else {
        _segments.SetCount(end);
        _segments.Append(m);
        _segments.Append(b);
      }
      end += 2;
      _x.Append(mid);
      xProj.Append(rm);
      SW_MESH_FATAL_ASSERT(xProj.Last()->Num == _x.Size() - 1, "xProj.Top()->Num() == _x.Size()-1");
      i += 2;
    }
    _segments.SetCount(end);
    inserted = tri.PointsInserted();
    std::snprintf(text, sizeof text, "%d new points...", inserted - before);
    Send(text);
    if (inserted == before) break;
  }

  auto number = [](const AK_Vec2* p) { return AK_NumberedPoint2::Of(p)->Num; };
  int32_t discarded = SW_TrianglesToCells(tri, _x, number, _lcv);
  std::snprintf(text, sizeof text, "loading %d polylines done, %d cells", lines.Size(),
                NumCells());
  Send(text);
  SW_ReportDiscarded(discarded);
  if (NumCells() == 0) {
    static_cast<SW_MeshCore&>(*this) = std::move(previous);
    DropDerivedGeometry();
    error = "the break lines leave the terrain without cells: the mesh is kept as it was";
    return false;
  }
  ComputeConnectivity();
  ComputeVertexNormals();
  return true;
}
