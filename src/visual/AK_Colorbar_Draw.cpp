// The colour bar's drawing pass: layout in window units (0 to 1, origin at the lower left),
// labels, and the bar as a strip of quadrilaterals, one per segment.
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "AK_Colorbar.h"
#include "AK_ColorbarScale.h"

namespace {

// The reference window size in pixels that turns a font height into window units.
constexpr float kReferenceWindowPixels = 500;

}  // namespace

double AK_Colorbar::BoundaryOffset(int k, float scale) const
{
  return (StepValue(k) - StepValue(0)) * scale;
}

void AK_Colorbar::Update()
{
  // A degenerate range widens upwards, whatever the sign of its values.
  if (std::fabs(Max - Min) < 1e-30) Max += 1e-30;
  if (std::fabs(Max - Min) < 1e-30) Max += std::fabs(Max) * 1e-6;
  if (!IsActive() || !Visibility) return;

  if (Segments < 2) Segments = 2;
  if (!(ColorTable == "none")) Segments = ColorTableEntries.Count() / 3;
  ApplyRememberedSettings();

  for (AK_Text2d* label : {_header, _minLabel, _maxLabel}) label->Font = Font;
  _minLabel->Text = AK_FormatLabelNumber(Min, NumSignificantDigits);
  _maxLabel->Text = AK_FormatLabelNumber(Max, NumSignificantDigits);
  if (!Autoscale) {
    AK_Object* root = GetRoot();
    _maxLabel->Text = root->GetVariable("$cb_max_prefix") + _maxLabel->Text +
                      root->GetVariable("$cb_max_suffix");
  }
  const float c = AK_Text2d::FontHeight(Font) / kReferenceWindowPixels;
  for (AK_Text2d* label : {_header, _minLabel, _maxLabel}) {
    label->Blending = Blending;
    label->Opacity = AK_SixDigits(Opacity);
  }
  LayOut(c);
  const float scale = static_cast<float>(Size[0] / (Max - Min));
  const int n = BuildSteps();

  if (DisplayLabels) {
    _header->Update();
    if (Transparent) return;
    _minLabel->Update();
    _maxLabel->Update();
    if (DisplayInterLabels) DrawInterLabels(c, scale, n);
  }
  if (Transparent) return;
  _barSegments = n;
  _barScale = scale;
  AK_VisObj2d::Update();
}

void AK_Colorbar::LayOut(float c)
{
  const float w = Size[0], h = Size[1];
  const bool bottom = VerticalAlignment == "bottom";
  auto place = [](AK_Text2d* label, double x, double y, const char* horizontal,
                  const char* vertical) {
    label->Position[0] = static_cast<float>(x);
    label->Position[1] = static_cast<float>(y);
    label->HorizontalAlignment = horizontal;
    label->VerticalAlignment = vertical;
  };
  if (HorizontalAlignment == "left" || HorizontalAlignment == "right") {
    const bool left = HorizontalAlignment == "left";
    const float c3 = 3 * c;
    const float topBar = 1 - c3 - w;
    const double labelX = left ? c : 1.0 - c;
    Position[0] = left ? c : static_cast<float>(1.0 - c - h);
    Position[1] = bottom ? c3 : topBar;
    const char* side = HorizontalAlignment;
    place(_header, labelX, bottom ? double{2 * c} : 1 - 1.8 * c, side, bottom ? "top" : "bottom");
    place(_minLabel, labelX, bottom ? c3 : topBar, side, "top");
    place(_maxLabel, labelX, bottom ? 3.2 * c + w : 1 - 2.8 * c, side, "bottom");
  } else {
    const float c2 = 2 * c;
    Position[0] = static_cast<float>(0.5 - w / 2.0);
    Position[1] = bottom ? c : 1 - c2 - h;
    const double labelY = bottom ? h / 2.0 + c : 1.0 - c2 - h / 2.0;
    place(_header, 0.5, bottom ? h + 1.3 * c : 1 - 1.7 * c, "center", "bottom");
    place(_minLabel, 0.5 - w / 2.0 - 0.2 * c, labelY, "right", "center");
    place(_maxLabel, 0.5 + w / 2.0 + 0.2 * c, labelY, "left", "center");
  }
}

void AK_Colorbar::DrawInterLabels(float c, float scale, int n)
{
  AK_Text2d* label = new AK_Text2d("label", this);
  label->Font = Font;
  label->Blending = Blending;
  label->Opacity = AK_SixDigits(Opacity);
  label->VerticalAlignment = "center";
  const float x = Position[0], y = Position[1], h = Size[1];
  int axis = 1;  // the coordinate that moves along the bar
  float last = static_cast<float>(y - c);
  if (HorizontalAlignment == "left") {
    label->Position[0] = static_cast<float>((h + x) + 0.4 * c);
    label->HorizontalAlignment = "left";
  } else if (HorizontalAlignment == "right") {
    label->Position[0] = static_cast<float>(x - 0.2 * c);
    label->HorizontalAlignment = "right";
  } else {
    label->Position[1] = y;
    label->HorizontalAlignment = "center";
    label->VerticalAlignment = "top";
    axis = 0;
    last = x;
  }
  double gap = 1.2 * c;
  const int drawn = AK_VisitedSteps(n);
  for (int j = 1; j < drawn; ++j) {
    const int i = AK_VisitedStep(j, drawn, n);
    const float p = static_cast<float>(BoundaryOffset(i, scale) + Position[axis]);
    label->Position[axis] = p;
    if (!(p - last > gap)) continue;
    label->Text = AK_FormatLabelNumber(StepValue(i), NumSignificantDigits);
    label->Update();
    last = p;
    if (axis == 0) gap = label->Text.Length() * c;
  }
  AK_Object::Destroy(label);
}

void AK_Colorbar::Draw()
{
  const int total = _barSegments;
  if (total < 1) return;
  const int n = AK_VisitedSteps(total);
  const float w = Size[0], h = Size[1];
  const float gap = DiscreteColors ? 0.0f : static_cast<float>(w * 0.05 / n);
  const float alpha = AK_SixDigits(Opacity);
  BeginColorTexture();
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  glBegin(GL_QUADS);
  const bool vertical = HorizontalAlignment == "left" || HorizontalAlignment == "right";
  for (int j = 0; j < n; ++j) {
    const int k = AK_VisitedStep(j, n, total), next = AK_VisitedStep(j + 1, n, total);
    const float a = static_cast<float>(BoundaryOffset(k, _barScale)) + gap;
    const float b = static_cast<float>(BoundaryOffset(next, _barScale)) - gap;
    SetValueColor(static_cast<float>(StepValue(k)), alpha);
    if (vertical) {
      glVertex2f(0, a);
      glVertex2f(h, a);
    } else {
      glVertex2f(a, h);
      glVertex2f(a, 0);
    }
    SetValueColor(static_cast<float>(StepValue(next)), alpha);
    if (vertical) {
      glVertex2f(h, b);
      glVertex2f(0, b);
    } else {
      glVertex2f(b, 0);
      glVertex2f(b, h);
    }
  }
  glEnd();
  EndColorTexture();
}
