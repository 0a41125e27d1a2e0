#include "SW_Deposition.h"

#include <cstring>

#include "AK_Files.h"
#include "AK_Object.h"
#include "SW_Mesh.h"
#include "SW_Polyline.h"
#include "SW_PolylineGeometry.h"

AK_String SW_LogFilePath(const char* projectDir)
{
  AK_String path = projectDir && *projectDir ? projectDir : ".";
  const char* text = path;
  const size_t length = std::strlen(text);
  if (text[length - 1] != '/' && text[length - 1] != '\\') path += AK_DIR_SEP_TEXT;
  return path + "start.log";
}

void SW_ShowLogFile(const char* projectDir)
{
  AK_MESSAGE(AK_String("SHOW_FILE:") + SW_LogFilePath(projectDir));
}

double SW_DepositionError(const AK_Array<AK_Vec3>& vertices, const AK_Array<float>& flowDepth,
                          const AK_Array<AK_Vec3>& reference)
{
  const AK_Vec3& a = reference[0];
  const AK_Vec3& b = reference[reference.Count() - 1];
  double error = 0, weight = 0;
  for (int32_t v = 0; v < vertices.Count(); ++v) {
    const AK_Vec3& p = vertices[v];
    if ((p.y - a.y) * (b.x - a.x) - (p.x - a.x) * (b.y - a.y) > 0) continue;  // left of A-B
    const double covered = v < flowDepth.Count() && flowDepth[v] > 0 ? 1 : 0;
    const double d = SW_SignedDistance(reference, p.x, p.y);
    if (d > 0) {
      error += (1 - covered) * d;
      weight += d;
    } else {
      error -= d * covered;
      weight -= d * covered;
    }
  }
  return weight > 0 ? error / weight : error;
}

void SW_EvaluateDeposition(AK_Object& simulation, const char* path, const SW_Mesh* mesh,
                           const AK_Array<float>* flowDepth)
{
  if (!path || !*path || !mesh || !flowDepth) return;
  auto* reference = dynamic_cast<SW_Polyline*>(simulation.FindObject(path));
  if (!reference || reference->Points().Count() == 0) {
    AK_ErrorText = AK_String("deposition reference '") + path + "' is no polyline with points";
    return;
  }
  const double error = SW_DepositionError(mesh->Vertices(), *flowDepth, reference->Points());
  const AK_String value = AK_FormatDouble(error);
  AK_MESSAGE(AK_String("INFO: deposition error relative to '") + path + "' is " + value);
  simulation.SetVariable("$DepositionError", value);
}
