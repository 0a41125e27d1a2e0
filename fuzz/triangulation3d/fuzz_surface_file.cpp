// Fuzz target: the surface file reader ("tbs" or "tbp" by TRI3D_FUZZ_TBS). A refused file
// leaves the surface as it was; an accepted one has vertex numbers in range and mutual
// neighbour links, and what the writer makes of it reads back bit for bit.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "AK_Triangulation.h"
#include "SW_MeshFiles.h"

static void Quiet(const char*, const char*) {}

static void Check(bool condition)
{
  if (!condition) std::abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  AK_MessageHook = Quiet;
  const bool tbs = TRI3D_FUZZ_TBS;
  AK_Triangulation s;
  for (AK_Vec3 p : {AK_Vec3(0, 0, 0), AK_Vec3(1, 0, 0), AK_Vec3(0, 1, 0)}) s.AddPoint(p);
  s.AddTriangle(0, 1, 2, 4);
  SW_TokenReader in(reinterpret_cast<const char*>(data), size);
  if (!s.ReadDurnix(in, tbs, "fuzz")) {
    Check(s.NumPoints() == 3 && s.NumTriangles() == 1 && s._nPatches == 5);
    return 0;
  }
  Check(s._selected.Size() == s.NumTriangles() && s._nSubPatches == 0);
  for (int32_t t = 0; t < s.NumTriangles(); ++t)
    for (int k = 0; k < 3; ++k) {
      Check(s._t[t].node[k] >= 0 && s._t[t].node[k] < s.NumPoints());
      const int32_t n = s._t[t].neighbour[k];
      Check(n >= -1 && n < s.NumTriangles());
      if (n >= 0)
        Check(s._t[n].neighbour[0] == t || s._t[n].neighbour[1] == t || s._t[n].neighbour[2] == t);
    }

  std::ostringstream out;
  s.WriteDurnix(out, tbs);
  const std::string text = out.str();
  AK_Triangulation r;
  SW_TokenReader again(text.data(), text.size());
  Check(r.ReadDurnix(again, tbs, "again") == 1);
  Check(r.NumPoints() == s.NumPoints() && r.NumTriangles() == s.NumTriangles());
  Check(r._min == s._min && r._max == s._max && r._nPatches == s._nPatches);
  for (int32_t i = 0; i < s.NumPoints(); ++i)
    Check(r._p[i] == s._p[i] && std::signbit(r._p[i].x) == std::signbit(s._p[i].x));
  for (int32_t t = 0; t < s.NumTriangles(); ++t)
    for (int k = 0; k < 3; ++k)
      Check(r._t[t].node[k] == s._t[t].node[k] && r._t[t].patch == s._t[t].patch);
  return 0;
}
