// Wall lines and their container.
#include "SW_WallLine.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "AK_NumberText.h"
#include "SW_Mesh.h"

namespace {

constexpr double kMinSlope = 0.01;
const double kDegree = std::acos(-1.0) / 180;

double SlopeOfAngle(double degrees) { return std::fmax(std::tan(degrees * kDegree), kMinSlope); }
double AngleOfSlope(double slope) { return std::atan(slope) / kDegree; }

AK_String ListText(const AK_Array<double>& values, double (*convert)(double))
{
  AK_String text;
  for (double v : values) text += AK_FormatDouble(convert ? convert(v) : v) + "%AK_SEP%";
  return text;
}

// The numbers of a list text; an empty text leaves the list as it was, since every reader
// takes the lists cyclically and needs a value.
void SetList(const char* name, AK_Array<double>& list, const char* text, double (*convert)(double))
{
  AK_Array<AK_String> pieces;
  if (AK_String(text ? text : "").Split("%AK_SEP%", pieces) == 0) return;
  AK_Array<double> values;
  for (const AK_String& p : pieces) {
    double v = 0;
    // A number that is not finite would reach the wall's geometry.
    if (!AK_ReadFiniteNumber(name, p, v)) return;
    values.Append(convert ? convert(v) : v);
  }
  list = values;
}

}  // namespace

SW_WallLine::SW_WallLine(const char* id, AK_Object* parent) : AK_Class(id, parent)
{
  SetUpClassLevel();
  _heights.Append(1.0);
  _slopes.Append(SlopeOfAngle(30));
  ParseFloatTripleList("0 1 0", Color);
  LineWidth = 2.0f;
  PolygonsFilled = 1;
  Shaded = 1;
  RunClassDefaults();
}

void SW_WallLine::DeclareAttributes(AK_AttributeTableOf<SW_WallLine>& t)
{
  t.Attribute(
      "Heights", [](SW_WallLine& w) { return ListText(w._heights, nullptr); },
      [](SW_WallLine& w, const char* v) { SetList("Heights", w._heights, v, nullptr); });
  t.Attribute(
      "Slopes", [](SW_WallLine& w) { return ListText(w._slopes, AngleOfSlope); },
      [](SW_WallLine& w, const char* v) { SetList("Slopes", w._slopes, v, SlopeOfAngle); });
  t.Attribute(
      "AbsHeightAtCurrentVertex",
      [](SW_WallLine& w) {
        int32_t i = w.SelectedIndex();
        return i >= 0 ? AK_FormatDouble(w._heights[i % w._heights.Count()]) : AK_String("0");
      },
      [](SW_WallLine& w, const char* v) {
        double value = 0;
        if (v && *v && AK_ReadFiniteNumber("AbsHeightAtCurrentVertex", v, value)) w.SetAtSelectedVertex(w._heights, value);
      });
  t.Attribute(
      "SlopeAngleAtCurrentVertex",
      [](SW_WallLine& w) {
        int32_t i = w.SelectedIndex();
        return i >= 0 ? AK_FormatDouble(AngleOfSlope(w._slopes[i % w._slopes.Count()]))
                      : AK_String("0");
      },
      [](SW_WallLine& w, const char* v) {
        double value = 0;
        if (v && *v && AK_ReadFiniteNumber("SlopeAngleAtCurrentVertex", v, value))
          w.SetAtSelectedVertex(w._slopes, SlopeOfAngle(value));
      });
  t.Command("Polyline", [](SW_WallLine& w, const char* path) { w.CopyCoordsOf(path); });
}

// Extends the list cyclically to one entry per vertex, then sets the selected vertex's.
void SW_WallLine::SetAtSelectedVertex(AK_Array<double>& list, double value)
{
  int32_t i = SelectedIndex();
  if (i < 0 || list.IsEmpty()) return;
  const int32_t n = list.Count();
  for (int32_t k = n; k < Points().Count(); ++k) list.Append(list[k % n]);
  list[i] = value;
}

void SW_WallLine::AfterLoad() { UpdateGeometry(); }

void SW_WallLine::UpdateGeometry()
{
  const AK_Array<AK_Vec3>& vertices = Points();
  SW_WallTangents(vertices, _tangents);
  if (SW_Mesh* mesh = BaseMesh()) {
    SW_WallFeet(mesh->Core(), vertices, _heights, _slopes, _tangents, _feet);
  } else if (_feet.Count() != vertices.Count()) {
    _feet = vertices;
  }
}

int SW_WallLine::Intersect(const AK_Vec2& p, const AK_Vec2& q, AK_Vec3& hit, AK_Vec3& crest,
                           AK_Vec3& direction) const
{
  return SW_WallIntersect(Points(), _heights, _tangents, _feet, p, q, hit, crest, direction);
}

AK_Vec3 SW_WallLine::TopPoint(int32_t i) const { return SW_WallCrestPoint(Points(), _heights, i); }

void SW_WallLine::Draw()
{
  SW_Polyline::Draw();
  UpdateGeometry();
  auto vertex = [](const AK_Vec3& p) {
    glVertex3f(static_cast<float>(p.x), static_cast<float>(p.y), static_cast<float>(p.z));
  };
  const int32_t n = std::min(Points().Count(), _feet.Count());
  glBegin(GL_QUADS);
  for (int32_t i = 1; i < n; ++i) {
    AK_Vec3 a = TopPoint(i) - _feet[i - 1];
    AK_Vec3 b = _feet[i] - TopPoint(i - 1);
    AK_Vec3 normal = a.Cross(b);
    glNormal3f(static_cast<float>(normal.x), static_cast<float>(normal.y), static_cast<float>(normal.z));
    vertex(TopPoint(i - 1));
    vertex(TopPoint(i));
    vertex(_feet[i]);
    vertex(_feet[i - 1]);
  }
  glEnd();
  glBegin(GL_LINES);
  for (int32_t i = 0; i < Points().Count(); ++i) {
    vertex(TopPoint(i));
    vertex(Points()[i]);
  }
  glEnd();
}

SW_WallLines::SW_WallLines(const char* id, AK_Object* parent) : AK_Class(id, parent)
{
  SetUpClassLevel();
  RunClassDefaults();
}

void SW_WallLines::DeclareAttributes(AK_AttributeTableOf<SW_WallLines>& t)
{
  // The new line is made without a parent, so its class's default commands run before it
  // has one.
  t.Command("AddWallLine", [](SW_WallLines& c, const char* id) {
    c.AddComponent(new SW_WallLine(id, nullptr));
  });
}

AK_Object* SW_WallLines::CreateComponent(const char* id, const char* typeName)
{
  if (typeName && std::strcmp(typeName, "WallLine") == 0) return new SW_WallLine(id, this);
  return nullptr;
}
