#include "AK_Graph2d.h"

#include <cmath>

#include "AK_NumberText.h"
#include "AK_Record.h"

namespace {

AK_String FormatNumber(double v) { return AK_FormatDouble(v); }

// The lines that a failed record names, fixed so that the texts stay the same whatever
// else moves in this file: a failed write, a tag that is missing or not this record's, and
// a failed read after the tag.
constexpr int kSaveFailedLine = 24;
constexpr int kTagFailedLine = 31;
constexpr int kReadFailedLine = 32;

// Window units per data unit; a range of no width puts every point at the frame's edge.
double Scale(double size, double min, double max)
{
  return max - min != 0 ? size / (max - min) : 0.0;
}

}  // namespace

AK_String AK_GraphLabelText(const AK_String& dataName, const AK_String& yLabel,
                            const AK_String& xLabel, const double min[2], const double max[2])
{
  AK_String text = dataName + ":" + yLabel;
  if (std::fabs(min[1]) > 1e-10) {
    text = "(" + text + "-" + FormatNumber(min[1]) + ")";
    text.ReplaceFirst("--", "+");
  }
  text += "/" + FormatNumber(max[1] - min[1]);
  text += " x " + xLabel;
  text += " [" + FormatNumber(min[0]) + ", " + FormatNumber(max[0]) + "]";
  return text;
}

AK_Graph2d::AK_Graph2d(const char* id, AK_Object* parent) : AK_Class(id, parent)
{
  SetUpClassLevel();
  AutoColored = 0;
  LineWidth = 2;
  AK_Text2d* label = new AK_Text2d("label", this);
  label->AutoColored = 0;
  AddComponent(label);
  _label = label;
  RunClassDefaults();
}

void AK_Graph2d::DeclareAttributes(AK_AttributeTableOf<AK_Graph2d>& t)
{
  using C = AK_Graph2d;
  t.Int("XAuto", &C::XAuto);
  t.Vis("XVis", [](C& o) { return o.XAuto ? "r" : "w"; });
  t.Double("Xmin", &C::Xmin);
  t.Double("Xmax", &C::Xmax);
  t.Int("YAuto", &C::YAuto);
  t.Vis("YVis", [](C& o) { return o.YAuto ? "r" : "w"; });
  t.Double("Ymin", &C::Ymin);
  t.Double("Ymax", &C::Ymax);
}

void AK_Graph2d::SetNames(const AK_String& dataName, const AK_String& xLabel,
                          const AK_String& yLabel)
{
  _dataName = dataName;
  _xLabel = xLabel;
  _yLabel = yLabel;
}

void AK_Graph2d::Update()
{
  AK_Object* viewer = Parent();
  if (!IsActive() || !Visibility || !viewer || !viewer->IsA("Graph2dViewer") ||
      _points.Count() < 2)
    return;
  double corner[2] = {0, 0}, size[2] = {0, 0};
  ParseDoublePairList(viewer->Get("X0"), corner);
  ParseDoublePairList(viewer->Get("Size"), size);

  double lo[2] = {_points[0].x, _points[0].y}, hi[2] = {lo[0], lo[1]};
  for (const AK_Vec2& p : _points) {
    lo[0] = std::fmin(lo[0], p.x), hi[0] = std::fmax(hi[0], p.x);
    lo[1] = std::fmin(lo[1], p.y), hi[1] = std::fmax(hi[1], p.y);
  }
  if (XAuto) Xmin = lo[0], Xmax = hi[0];
  if (YAuto) Ymin = lo[1], Ymax = hi[1];
  _frame[0] = corner[0];
  _frame[1] = corner[1];
  _scale[0] = Scale(size[0], Xmin, Xmax);
  _scale[1] = Scale(size[1], Ymin, Ymax);

  if (AK_Text2d* label = _label.Get()) {
    const double min[2] = {Xmin, Ymin}, max[2] = {Xmax, Ymax};
    label->Text = AK_GraphLabelText(_dataName, _yLabel, _xLabel, min, max);
    label->AutoColored = AutoColored;
    for (int c = 0; c < 3; ++c) label->Color[c] = Color[c];
  }
  AK_VisObj2d::Update();
}

void AK_Graph2d::Draw()
{
  glBegin(GL_LINE_STRIP);
  for (const AK_Vec2& p : _points)
    glVertex2f(static_cast<float>((p.x - Xmin) * _scale[0] + _frame[0]),
               static_cast<float>((p.y - Ymin) * _scale[1] + _frame[1]));
  glEnd();
}

int AK_Graph2d::SaveData(AK_STREAM& stream)
{
  AK_RecordWriter w(stream, this, "AK_Graph2d", 0);
  w << _points.Count();
  for (const AK_Vec2& p : _points) w << p.x << p.y;
  return w.Finish(__FILE__, kSaveFailedLine);
}

int AK_Graph2d::LoadData(AK_STREAM& stream)
{
  AK_RecordReader r(stream, this, "AK_Graph2d");
  if (r.Version(0) != 0) return r.Finish(__FILE__, kTagFailedLine);
  AK_Array<AK_Vec2> points;
  // The points grow as they arrive, so a count beyond the data fails without a large
  // allocation.
  const int32_t n = r.Count(AK_MaxGraphPoints);
  for (int32_t i = 0; i < n && !r.Failed(); ++i) {
    AK_Vec2 p;
    r >> p.x >> p.y;
    points.Append(p);
  }
  return r.Finish(__FILE__, kReadFailedLine, [&] { _points = static_cast<AK_Array<AK_Vec2>&&>(points); });
}
