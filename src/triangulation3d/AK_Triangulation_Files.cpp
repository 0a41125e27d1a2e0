// The surface files of the outside mesh generator: the bounding box (two lines of x y z),
// the vertex count and the vertices, the triangle count and the triangles as three vertex
// numbers counted from 1, in a "tbp" file followed by a patch number counted from 1 (0 for
// none). The reader takes white-space separated tokens, so line breaks mean nothing to it.
#include <cmath>
#include <cstring>
#include <fstream>
#include <utility>

#include "AK_Files.h"
#include "AK_Triangulation.h"
#include "SW_MeshFiles.h"

namespace {

const char* Kind(bool tbs) { return tbs ? "tbs" : "tbp"; }

// A count that the rest of the input cannot hold (each item takes at least `bytesPerItem`
// bytes) is refused before anything is allocated.
bool ReadCount(SW_TokenReader& in, int64_t bytesPerItem, int64_t bytesAfter, int32_t& n)
{
  if (!in.ReadInt(n) || n < 0 || n > SW_MaxTbpItems) return false;
  int64_t left = in.RemainingBytes();
  return left < 0 || n == 0 || left >= bytesPerItem * n + bytesAfter;
}

}  // namespace

bool AK_Triangulation::IsTbsFileName(const char* fileName)
{
  const char* dot = std::strrchr(fileName, '.');
  return dot && std::strcmp(dot, ".tbs") == 0;
}

int AK_Triangulation::ReadDurnixFile(const AK_String& fileName)
{
  AK_File f;
  if (!AK_OpenTextInput(f, fileName)) {
    AK_MESSAGE(AK_String("cannot open file '") + fileName + "' !");
    return 0;
  }
  SW_TokenReader in(f);
  return ReadDurnix(in, IsTbsFileName(fileName), fileName);
}

int AK_Triangulation::ReadDurnix(SW_TokenReader& in, bool tbs, const char* name)
{
  AK_MESSAGE(AK_String("reading Durnix ") + Kind(tbs) + " file " + name + ":");
  auto fail = [&](const AK_String& what) {
    AK_MESSAGE(AK_String("error reading Durnix ") + Kind(tbs) + " file " + name + ": " + what +
               ", the surface is unchanged");
    return 0;
  };

  AK_MESSAGE("reading bounds...");
  double box[6];
  for (double& b : box)
    if (!in.ReadDouble(b)) return fail("cannot read the bounds");

  int32_t n = 0;
  if (!ReadCount(in, 6, 1, n)) return fail("bad vertex count");
  AK_MESSAGE(AK_String::Format("reading %d vertices...", n));
  AK_Points3 points(n);
  points.SetCount(n);
  for (int32_t i = 0; i < n; ++i) {
    AK_Vec3& q = points[i];
    if (!in.ReadDouble(q.x) || !in.ReadDouble(q.y) || !in.ReadDouble(q.z))
      return fail("cannot read the vertices");
    if (!std::isfinite(q.x) || !std::isfinite(q.y) || !std::isfinite(q.z))
      return fail(AK_String::Format("vertex %d is not finite", i + 1));
  }

  const int columns = tbs ? 3 : 4;
  int32_t m = 0;
  if (!ReadCount(in, 2 * columns, -1, m)) return fail("bad triangle count");
  AK_MESSAGE(AK_String::Format("reading %d triangles with patch numbers", m));
  AK_Array<AK_Triangle3> triangles(m);
  triangles.SetCount(m);
  for (int32_t t = 0; t < m; ++t) {
    int32_t v[4] = {0, 0, 0, 0};
    for (int c = 0; c < columns; ++c)
      if (!in.ReadInt(v[c])) return fail("cannot read the triangles");
    for (int c = 0; c < 3; ++c)
      if (v[c] < 1 || v[c] > n)
        return fail(AK_String::Format("vertex number %d of triangle %d is not in 1 .. %d", v[c],
                                      t + 1, n));
    if (v[3] < 0)
      return fail(AK_String::Format("patch number %d of triangle %d is negative", v[3], t + 1));
    triangles[t] = AK_Triangle3(v[0] - 1, v[1] - 1, v[2] - 1, v[3] - 1);
  }

  // The box stays as the file states it, so that a converted file keeps its header; the
  // octree measures the vertices themselves.
  _min = AK_Vec3(box[0], box[1], box[2]);
  _max = AK_Vec3(box[3], box[4], box[5]);
  ReplaceTriangles(std::move(points), std::move(triangles));
  return 1;
}

void AK_Triangulation::ReplaceTriangles(AK_Points3&& points, AK_Array<AK_Triangle3>&& triangles)
{
  Clear();
  _p = std::move(points);
  _t = std::move(triangles);
  _selected.Reserve(_t.Size());
  _selected.SetCount(_t.Size());
  for (uint8_t& s : _selected) s = 0;
  for (const AK_Triangle3& t : _t)
    if (t.patch + 1 > _nPatches) _nPatches = t.patch + 1;
  LinkNeighbours();
}

int AK_Triangulation::WriteDurnixFile(const AK_String& fileName) const
{
  std::ofstream out(AK_NormalizePath(fileName).c_str(), std::ios::out | std::ios::trunc);
  if (!out) {
    AK_MESSAGE(AK_String("cannot open file '") + fileName + "' !");
    return 0;
  }
  bool tbs = IsTbsFileName(fileName);
  AK_MESSAGE(AK_String("writing Durnix ") + Kind(tbs) + " file " + fileName + ":");
  WriteDurnix(out, tbs);
  out.close();
  if (!out) {
    AK_MESSAGE(AK_String("cannot write file '") + fileName + "' !");
    return 0;
  }
  return 1;
}

void AK_Triangulation::WriteDurnix(std::ostream& out, bool tbs) const
{
  // Coordinates are written so that they read back as the same doubles: rounded to a few
  // digits, geo-referenced coordinates would move by metres.
  auto line = [&](const AK_Vec3& q) {
    out << AK_FormatRoundTrip(q.x).c_str() << ' ' << AK_FormatRoundTrip(q.y).c_str() << ' '
        << AK_FormatRoundTrip(q.z).c_str() << '\n';
  };
  AK_MESSAGE("writing bounds...");
  line(_min);
  line(_max);
  out << _p.Size() << '\n';
  AK_MESSAGE(AK_String::Format("writing %d vertices...", _p.Size()));
  for (const AK_Vec3& q : _p) line(q);
  out << _t.Size() << '\n';
  AK_MESSAGE(AK_String::Format("writing %d triangles with patch numbers", _t.Size()));
  for (const AK_Triangle3& t : _t) {
    out << t.node[0] + 1 << ' ' << t.node[1] + 1 << ' ' << t.node[2] + 1;
    if (!tbs) out << ' ' << t.patch + 1;
    out << '\n';
  }
}
