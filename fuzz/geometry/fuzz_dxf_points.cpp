// Fuzz target of the DXF point reader: the text is fed in blocks of varying size, and the
// points it gives are triangulated with a break line through the first of them.
#include <cstddef>
#include <cstdint>

#include "SW_MeshCore.h"
#include "SW_MeshPoints.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  AK_MessageHook = [](const char*, const char*) {};
  SW_MeshCore mesh;
  SW_DxfPointParser parser(mesh._x);
  size_t chunk = size > 0 ? 1 + data[size - 1] % 13 : 1;
  for (size_t i = 0; i < size; i += chunk) {
    size_t n = size - i < chunk ? size - i : chunk;
    parser.Feed(reinterpret_cast<const char*>(data) + i, n);
  }
  parser.Finish();
  if (mesh.NumVertices() >= 2 && mesh.NumVertices() <= 200) {
    AK_Array<AK_NamedPolyline> lines;
    AK_NamedPolyline line;
    line.points.Append(mesh._x[0]);
    line.points.Append(mesh._x[mesh.NumVertices() - 1]);
    lines.Append(line);
    AK_String error;
    mesh.TriangulateWithBreakLines(lines, 1, error);
  }
  return 0;
}
