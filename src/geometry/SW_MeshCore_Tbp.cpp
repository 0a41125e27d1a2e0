// tbp triangle files of the outside mesh generator: bounds, vertices and triangles with
// corner numbers counted from 1 and a patch number that the mesh does not keep.
#include <cmath>

#include "AK_Files.h"
#include "SW_MeshFiles.h"

namespace {

bool Fail(SW_TbpData& data, AK_String& error, const char* what)
{
  error = AK_String("cannot read ") + what;
  data.vertices.Clear();
  data.triangles.Clear();
  data.discarded = 0;
  return false;
}

}  // namespace

bool SW_ReadTbpData(SW_TokenReader& in, SW_TbpData& data, AK_String& error)
{
  data.vertices.Clear();
  data.triangles.Clear();
  data.discarded = 0;

  for (int k = 0; k < 3; ++k)
    if (!in.ReadDouble(data.lower[k])) return Fail(data, error, "the lower bounds");
  for (int k = 0; k < 3; ++k)
    if (!in.ReadDouble(data.upper[k])) return Fail(data, error, "the upper bounds");
  AK_MESSAGE(AK_String::Format("xMin:%g %g %g", data.lower[0], data.lower[1], data.lower[2]));
  AK_MESSAGE(AK_String::Format("xMax:%g %g %g", data.upper[0], data.upper[1], data.upper[2]));

  // Each vertex takes three numbers of at least one character and a blank each, and the
  // triangle count still follows; a count the rest of the file cannot hold is refused
  // before anything is allocated.
  int32_t n = 0;
  if (!in.ReadInt(n)) return Fail(data, error, "the vertex count");
  int64_t left = in.RemainingBytes();
  if (n < 0 || n > SW_MaxTbpItems || (left >= 0 && left < 6 * static_cast<int64_t>(n) + 1))
    return Fail(data, error, "the vertex count (out of range)");
  data.vertices.Resize(n);
  data.vertices.SetCount(n);
  AK_MESSAGE(AK_String::Format("%d vertices...", n));
  for (int32_t i = 0; i < n; ++i) {
    AK_Vec3& p = data.vertices[i];
    if (!in.ReadDouble(p.x) || !in.ReadDouble(p.y) || !in.ReadDouble(p.z))
      return Fail(data, error, "the vertices");
  }

  int32_t m = 0;
  if (!in.ReadInt(m)) return Fail(data, error, "the triangle count");
  left = in.RemainingBytes();
  if (m < 0 || m > SW_MaxTbpItems || (left >= 0 && m > 0 && left < 8 * static_cast<int64_t>(m) - 1))
    return Fail(data, error, "the triangle count (out of range)");
  data.triangles.Resize(3 * m);
  AK_MESSAGE(AK_String::Format("%d triangles...", m));
  for (int32_t t = 0; t < m; ++t) {
    int32_t corner[3], patch;
    if (!in.ReadInt(corner[0]) || !in.ReadInt(corner[1]) || !in.ReadInt(corner[2]) ||
        !in.ReadInt(patch))
      return Fail(data, error, "the triangles");
    for (int32_t& c : corner) {
      if (c < 1 || c > n) {
        error = AK_String::Format("corner number %d of triangle %d is not in 1 .. %d", c, t + 1, n);
        data.vertices.Clear();
        data.triangles.Clear();
        data.discarded = 0;
        return false;
      }
      --c;
    }
    const AK_Vec3& p0 = data.vertices[corner[0]];
    const AK_Vec3& p1 = data.vertices[corner[1]];
    const AK_Vec3& p2 = data.vertices[corner[2]];
    double s = (p1.x - p0.x) * (p2.y - p0.y) - (p2.x - p0.x) * (p1.y - p0.y);
    // Coordinates near the end of the double range can make twice the area infinite or no
    // number at all; such a triangle is no usable cell either.
    if (!(s > 0) || !std::isfinite(s)) {
      ++data.discarded;
      continue;
    }
    for (int32_t c : corner) data.triangles.Append(c);
  }
  return true;
}

bool SW_ReadTbpFrom(SW_MeshCore& mesh, SW_TokenReader& in, const char* name, AK_String& error)
{
  mesh.ClearGeometry();
  AK_MESSAGE((AK_String("reading tbp file ") + name + "...").c_str());
  SW_TbpData data;
  AK_String what;
  if (!SW_ReadTbpData(in, data, what)) {
    error = AK_String("error reading tbp file ") + name + ": " + what;
    AK_MESSAGE(error.c_str());
    return false;
  }
  mesh._x = std::move(data.vertices);
  const int32_t m = data.triangles.Size() / 3;
  mesh._lcv.Reserve(m);
  mesh._lcv.SetCount(m);
  for (int32_t t = 0; t < m; ++t)
    mesh._lcv[t] = AK_Index4(data.triangles[3 * t], data.triangles[3 * t + 1],
                             data.triangles[3 * t + 2], -1);
  AK_MESSAGE((AK_String("reading tbp file ") + name + " done").c_str());
  if (data.discarded > 0)
    AK_MESSAGE(AK_String::Format("%d cells discarded because of zero or negative area!",
                                 data.discarded));
  mesh.ComputeConnectivity();
  mesh.ComputeVertexNormals();
  return true;
}

bool SW_ReadTbp(SW_MeshCore& mesh, const char* path, AK_String& error)
{
  AK_File f;
  if (!AK_OpenTextInput(f, path)) {
    error = AK_TextInputError(path, AK_String("cannot open file ") + path + "!");
    AK_MESSAGE(error.c_str());
    return false;
  }
  SW_TokenReader in(f);
  return SW_ReadTbpFrom(mesh, in, path, error);
}
