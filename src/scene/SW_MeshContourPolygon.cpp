#include "SW_MeshContourPolygon.h"

#include <cmath>

#include "AK_Text2d.h"

namespace {

const char* const kCornerNames[4] = {"NWCorner", "SWCorner", "SECorner", "NECorner"};

}  // namespace

SW_MeshContourPolygon::SW_MeshContourPolygon(const char* id, AK_Object* parent)
    : AK_Class(id, parent)
{
  SetUpClassLevel();
  RunClassDefaults();
}

void SW_MeshContourPolygon::DeclareAttributes(AK_AttributeTableOf<SW_MeshContourPolygon>& t)
{
  using P = SW_MeshContourPolygon;
  for (int k = 0; k < 4; ++k)
    t.Attribute(kCornerNames[k], [k](P& p) { return AK_String(p._corners[k] + 1); },
                [k](P& p, const char* v) { p.SetCorner(k, v); });
}

void SW_MeshContourPolygon::SetCorner(int k, const char* value)
{
  SelectVertex(value);
  _corners[k] = _selectedVertex;
}

int SW_MeshContourPolygon::HasValidCorners() const
{
  const int32_t n = Points().Count();
  if (n < 4) return 0;
  for (int32_t c : _corners)
    if (c < 0 || c >= n) return 0;
  return 1;
}

double SW_MeshContourPolygon::CornerValue(int k) const
{
  if (!HasValidCorners() || k < 0 || k > 3) return 0.0;
  const int32_t s = _corners[k], e = _corners[(k + 1) % 4];
  const AK_Array<AK_Vec3>& p = Points();
  double length = 0;
  for (int32_t i = s; i != e; i = (i + 1) % p.Count()) {
    const AK_Vec3& a = p[i];
    const AK_Vec3& b = p[(i + 1) % p.Count()];
    length += std::hypot(b.x - a.x, b.y - a.y);
  }
  return length;
}

void SW_MeshContourPolygon::CopyContourStateOf(SW_MeshContourPolygon& source)
{
  CopyStateOf(source);
  for (int k = 0; k < 4; ++k) _corners[k] = source._corners[k];
}

void SW_MeshContourPolygon::Draw()
{
  SW_Polygon::Draw();
  // The labels follow the language of the first drawing.
  static const char* const kEnglish[4] = {"NW", "SW", "SE", "NE"};
  static const char* const kGerman[4] = {"ObenRechts", "UntenRechts", "UntenLinks", "ObenLinks"};
  static const char* const* labels = AK_Language.german ? kGerman : kEnglish;
  const AK_Array<AK_Vec3>& p = Points();
  glDisable(GL_DEPTH_TEST);
  glPointSize(2 * PointSize);
  SetContrastColor(AK_BackgroundColor);
  glBegin(GL_POINTS);
  for (int32_t c : _corners)
    if (c >= 0 && c < p.Count())
      DrawVertex(p[c]);
  glEnd();
  const AK_BitmapFont* font = AK_Text2d::GetFont(LabelFont());
  for (int k = 0; k < 4; ++k) {
    const int32_t c = _corners[k];
    if (c < 0 || c >= p.Count()) continue;
    const double at[3] = {p[c].x, p[c].y, p[c].z};
    DrawBitmapString3d(font, at, labels[k]);
  }
  ApplyColor(0);
  glEnable(GL_DEPTH_TEST);
}
