#include "AK_Connector2d.h"

#include <algorithm>
#include <initializer_list>

#include "AK_NumberText.h"
#include "AK_Text2d.h"

int AK_ConnectorPath(const double p1[2], const double p2[2], int32_t dir1, int32_t dir2,
                     double len, AK_Vec2 path[6])
{
  const double x1 = p1[0], y1 = p1[1], x2 = p2[0], y2 = p2[1];
  const double ym = (y1 + y2) / 2;
  auto put = [path](std::initializer_list<AK_Vec2> points) {
    int n = 0;
    for (const AK_Vec2& p : points) path[n++] = p;
    return n;
  };
  // Both ends on the same side: the vertical runs beyond the further point.
  const bool sameSide = dir1 == 0 ? dir2 == 0 : dir2 == 1;
  if (sameSide) {
    const double xv = dir1 == 0 ? std::max(x1, x2) + len : std::min(x1, x2) - len;
    return put({{x1, y1}, {xv, y1}, {xv, y2}, {x2, y2}});
  }
  // Opposite sides: one bend halfway, unless the points are too close for the two stubs.
  const double out = dir1 == 0 ? len : -len;  // from p1 towards the side it leaves on
  const double room = dir1 == 0 ? x2 - x1 : x1 - x2;
  if (2 * len > room)
    return put({{x1, y1}, {x1 + out, y1}, {x1 + out, ym}, {x2 - out, ym}, {x2 - out, y2},
                {x2, y2}});
  const double xm = dir1 == 0 ? x1 + (x2 - x1) / 2 : x1 - (x1 - x2) / 2;
  return put({{x1, y1}, {xm, y1}, {xm, y2}, {x2, y2}});
}

AK_Connector2d::AK_Connector2d(const char* id, AK_Object* parent) : AK_Class(id, parent)
{
  SetUpClassLevel();
  AutoColored = 1;
  RunClassDefaults();
}

void AK_Connector2d::DeclareAttributes(AK_AttributeTableOf<AK_Connector2d>& t)
{
  using C = AK_Connector2d;
  t.Attribute(
      "Pt1", [](C& o) { return AK_String(o.Pt1, 2); },
      [](C& o, const char* v) { ParseDoublePairList(v, o.Pt1); });
  t.Attribute(
      "Pt2", [](C& o) { return AK_String(o.Pt2, 2); },
      [](C& o, const char* v) { ParseDoublePairList(v, o.Pt2); });
  t.Int("Dir1", &C::Dir1);
  t.Int("Dir2", &C::Dir2);
  t.Double("Len", &C::Len);
}

void AK_Connector2d::Draw()
{
  const float alpha = AK_SixDigits(Opacity);
  float color[3] = {Color[0], Color[1], Color[2]};
  if (AutoColored) AK_ContrastColor(AK_BackgroundColor, color);
  glColor4f(color[0], color[1], color[2], alpha);
  AK_Vec2 path[6];
  const int n = AK_ConnectorPath(Pt1, Pt2, Dir1, Dir2, Len, path);
  glDisable(GL_DEPTH_TEST);
  glBegin(GL_LINE_STRIP);
  for (int i = 0; i < n; ++i)
    glVertex2f(static_cast<float>(path[i].x), static_cast<float>(path[i].y));
  glEnd();
  glEnable(GL_DEPTH_TEST);
}
