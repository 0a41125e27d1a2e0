// The colour bar's attributes, colours, texture, colour tables and remembered settings; its
// drawing pass is in AK_Colorbar_Draw.cpp.
#include "AK_Colorbar.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "AK_ColorbarScale.h"
#include "AK_NumberText.h"

int32_t AK_Colorbar::Greyscale = 0;
float AK_Colorbar::MinColorToBackgroundFadingRange = 0;
AK_String AK_Colorbar::ColorTable = "none";
AK_Array<float> AK_Colorbar::ColorTableEntries;

namespace {

AK_RampSettings SharedRamp()
{
  AK_RampSettings s;
  s.greyscale = AK_Colorbar::Greyscale;
  s.fadingRange = AK_Colorbar::MinColorToBackgroundFadingRange;
  for (int c = 0; c < 3; ++c) s.background[c] = AK_BackgroundColor[c];
  return s;
}

AK_String FormatNumber(double v) { return AK_FormatDouble(v); }

AK_Text2d* NewLabel(const AK_String& id) { return new AK_Text2d(id, nullptr); }

}  // namespace

void ValueToColor(float t, float& r, float& g, float& b)
{
  float rgb[3];
  AK_RampColor(t, SharedRamp(), rgb);
  r = rgb[0];
  g = rgb[1];
  b = rgb[2];
}

void ColorTableColor(int i, float& r, float& g, float& b)
{
  float rgb[3];
  AK_TableColor(AK_Colorbar::ColorTableEntries, i, rgb);
  r = rgb[0];
  g = rgb[1];
  b = rgb[2];
}

AK_Colorbar::AK_Colorbar(const char* id, AK_Object* parent) : AK_Class(id, parent)
{
  SetUpClassLevel();
  AutoColored = 1;
  PolygonsFilled = 1;
  Position[0] = Position[1] = 0;
  _header = NewLabel(Id() + "_header");
  _minLabel = NewLabel(Id() + "_min_label");
  _maxLabel = NewLabel(Id() + "_max_label");
  _header->Text = "";
  _minLabel->Text = FormatNumber(Min);
  _maxLabel->Text = FormatNumber(Max);
  RunClassDefaults();
}

AK_Colorbar::~AK_Colorbar()
{
  DeleteColorTexture();
  for (AK_Text2d* label : {_header, _minLabel, _maxLabel}) AK_Object::Destroy(label);
}

void AK_Colorbar::DeclareAttributes(AK_AttributeTableOf<AK_Colorbar>& t)
{
  using C = AK_Colorbar;
  auto readOnlyUnlessFixed = [](C& o) { return o.Autoscale ? "r" : "w"; };
  t.Attribute(
      "Autoscale", [](C& o) { return AK_String(o.Autoscale); },
      [](C& o, const char* v) { o.SetAutoscale(v); });
  t.Vis("MinMaxVis", readOnlyUnlessFixed);
  t.Attribute(
      "Min", [](C& o) { return FormatNumber(o.Min); }, [](C& o, const char* v) { o.SetMin(v); });
  t.Attribute(
      "Max", [](C& o) { return FormatNumber(o.Max); }, [](C& o, const char* v) { o.SetMax(v); });
  t.Answer("Attribute", [](C& o) { return o.AttributeLabel(); });
  // The short name of what the bar shows, for export names and layers.
  t.Answer("AttributeShort", [](C& o) { return o.AttributeLabel(); });
  t.Answer("Unit", [](C& o) { return o.AttributeKey(); });
  t.Answer("Label", [](C& o) { return o.HeaderText(); });
  t.Int("Segments", &C::Segments);
  t.Vis("ArbitraryStepsVis", readOnlyUnlessFixed);
  t.Int("ArbitrarySteps", &C::ArbitrarySteps);
  t.Vis("StepValuesVis", [](C& o) { return !o.Autoscale && o.ArbitrarySteps ? "w" : "r"; });
  t.Attribute(
      "StepValues", [](C& o) { return o.StepValues; },
      [](C& o, const char* v) { o.SetStepValues(v); });
  t.Int("DisplayLabels", &C::DisplayLabels);
  t.Int("DisplayInterLabels", &C::DisplayInterLabels);
  t.Int("NumSignificantDigits", &C::NumSignificantDigits);
  t.Text("Font", &C::Font);
  t.Options("AK_Text2d::GetFontList", [](C&) { return AK_Text2d::GetFontList(); });
  t.Attribute(
      "Size", [](C& o) { return AK_String(o.Size, 2); },
      [](C& o, const char* v) { ParseFloatPairList(v, o.Size); });
  t.Text("HorizontalAlignment", &C::HorizontalAlignment);
  t.Text("VerticalAlignment", &C::VerticalAlignment);
  t.Options("HorizontalAlignmentOpts",
            [](C&) { return AK_String("left%AK_SEP%center%AK_SEP%right"); });
  t.Options("VerticalAlignmentOpts", [](C&) { return AK_String("top%AK_SEP%bottom"); });
  t.Attribute(
      "MinColorToBackgroundFadingRange",
      [](C&) { return AK_String::Format("%g", double{MinColorToBackgroundFadingRange}); },
      [](C&, const char* v) {
        double range = 0;
        if (AK_ReadFiniteNumber("MinColorToBackgroundFadingRange", v, range))
          MinColorToBackgroundFadingRange = static_cast<float>(range);
      });
  t.Int("Transparent", &C::Transparent);
  t.Int("DiscreteColors", &C::DiscreteColors);
  t.Attribute(
      "Greyscale", [](C&) { return AK_String(Greyscale); },
      [](C&, const char* v) { AK_ReadWholeNumber("Greyscale", v, Greyscale); });
  t.Vis("GreyscaleVis", [](C&) { return ColorTable == "none" ? "w" : "-"; });
  t.Vis("ColorTableVis", [](C& o) { return o.DiscreteColors ? "w" : "-"; });
  t.Options("ColorTableOptions", [](C&) { return ColorTableOptions(); });
  t.Attribute(
      "ColorTable", [](C&) { return ColorTable; },
      [](C& o, const char* v) { o.LoadColorTable(v); });
}

// --- what the owning field uses ---

AK_String AK_Colorbar::HeaderText() const { return _header->Text; }
AK_String AK_Colorbar::AttributeKey() const { return AK_HeaderUnitKey(_header->Text); }
AK_String AK_Colorbar::AttributeLabel() const { return AK_HeaderLabel(_header->Text); }

void AK_Colorbar::SetAutoscale(const AK_String& value)
{
  if (!AK_ReadWholeNumber("Autoscale", value, Autoscale)) return;
  // The next drawing applies the range remembered for the unit.
  if (Autoscale == 0) _loadedUnit = "";
}

void AK_Colorbar::SetMin(const AK_String& value)
{
  if (!AK_ReadFiniteNumber("Min", value, Min)) return;
  if (!Autoscale) StoreScaling(AttributeKey(), Min, Max);
}

void AK_Colorbar::SetMax(const AK_String& value)
{
  if (!AK_ReadFiniteNumber("Max", value, Max)) return;
  if (!Autoscale) StoreScaling(AttributeKey(), Min, Max);
}

void AK_Colorbar::SetStepValues(const AK_String& value)
{
  StepValues = value;
  AK_String unit = AttributeKey();
  if (ArbitrarySteps && !unit.IsEmpty()) StoreSteps(unit, StepValues);
}

int AK_Colorbar::BuildSteps()
{
  if (!ArbitrarySteps) return Segments;
  return AK_BuildStepList(StepValues, Min, Max, _steps);
}

double AK_Colorbar::StepValue(int i) const
{
  // Before the first drawing raises them, no segments put every level at the minimum.
  if (!ArbitrarySteps) return Segments > 0 ? Min + (Max - Min) * i / Segments : Min;
  return i >= 0 && i < _steps.Count() ? _steps[i] : Max;
}

void AK_Colorbar::BeginColorTexture()
{
  BuildColorTexture();
  if (!_texName) return;
  glBindTexture(GL_TEXTURE_1D, _texName);
  glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  glDisable(GL_TEXTURE_GEN_S);
  glEnable(GL_TEXTURE_1D);
  glColor3f(1, 1, 1);
}

void AK_Colorbar::EndColorTexture()
{
  if (_texName) glDisable(GL_TEXTURE_1D);
}

void AK_Colorbar::SetValueColor(float value, float alpha)
{
  if (Transparent) return;
  const float t = static_cast<float>((value - Min) / (Max - Min));
  if (!_texName) {
    float r, g, b;
    ValueToColor(t, r, g, b);
    glColor4f(r, g, b, alpha);
    return;
  }
  const int n = _steps.Count() - 1;
  if (!ArbitrarySteps || n < 1) {
    glTexCoord1f(t * _texCoordScale);
    return;
  }
  int i = 0;
  while (i < n && !(value <= _steps[i + 1])) ++i;
  if (i == n) {
    glTexCoord1f(_texCoordScale);
    return;
  }
  // A segment of no width (a step written twice) holds its values at its start.
  const double width = _steps[i + 1] - _steps[i];
  const double within = width > 0 ? (value - _steps[i]) / width : 0.0;
  const double x = (within + i) / static_cast<float>(n);
  glTexCoord1f(static_cast<float>(x) * _texCoordScale);
}

// --- remembered settings ---

void AK_Colorbar::StoreScaling(const AK_String& unit, double min, double max)
{
  if (unit.IsEmpty()) return;
  AK_SetKeyValue(ClassRecord().classValues, AK_String("scaling.") + unit,
                 FormatNumber(min) + " " + FormatNumber(max));
}

int AK_Colorbar::LoadScaling(const AK_String& unit, double& min, double& max)
{
  if (unit.IsEmpty()) return 0;
  const char* text = AK_FindKeyValue(ClassRecord().classValues, AK_String("scaling.") + unit);
  if (!text) {
    StoreScaling(unit, min, max);
    return 0;
  }
  // A number that does not read (or is not finite) leaves its end of the range as it is.
  double v;
  if (!AK_ScanDouble(text, v)) return 0;
  min = v;
  if (!AK_ScanDouble(text, v)) return 0;
  max = v;
  return 1;
}

void AK_Colorbar::StoreSteps(const AK_String& unit, const AK_String& steps)
{
  if (unit.IsEmpty()) return;
  AK_SetKeyValue(ClassRecord().classValues, AK_String("steps.") + unit, steps);
}

int AK_Colorbar::LoadSteps(const AK_String& unit, AK_String& steps)
{
  if (unit.IsEmpty()) return 0;
  const char* text = AK_FindKeyValue(ClassRecord().classValues, AK_String("steps.") + unit);
  if (!text) {
    StoreSteps(unit, steps);
    return 0;
  }
  steps = text;
  return 1;
}

void AK_Colorbar::ApplyRememberedSettings()
{
  AK_String unit = AttributeKey();
  if (unit == _loadedUnit) return;
  _loadedUnit = unit;
  if (!Autoscale && !unit.IsEmpty()) LoadScaling(unit, Min, Max);
  if (!ArbitrarySteps) return;
  // The steps that were set last win: the bar's own when "StepValues" changed after
  // "ArbitrarySteps", else the unit's.
  if (ModificationTime("ArbitrarySteps") > ModificationTime("StepValues")) {
    LoadSteps(unit, StepValues);
  } else {
    StoreSteps(unit, StepValues);
  }
}

// --- texture and colour tables ---

void AK_Colorbar::BuildColorTexture()
{
  if (!DiscreteColors) {
    DeleteColorTexture();
    return;
  }
  float alpha = 1;
  if (AK_Object* parent = Parent(); parent && parent->Get("Blending") == "1")
    alpha = static_cast<float>(AK_Atof(parent->Get("Opacity")));
  const int n = BuildSteps();
  const int32_t signature =
      AK_TextureSignature(MinColorToBackgroundFadingRange, alpha, Greyscale, n, ColorTable);
  if (signature == _texSignature) return;
  DeleteColorTexture();
  _texSignature = signature;
  const int32_t width = AK_TextureWidth(n);
  const int32_t segments = AK_VisitedSteps(n);
  _texCoordScale = static_cast<float>(segments) / static_cast<float>(width);
  _texPixels.reset(new (std::nothrow) unsigned char[4 * static_cast<size_t>(width)]());
  AK_FATAL_ASSERT_NAMED(_texPixels, "_texPixels");
  AK_FillColorTexels(segments, width, !(ColorTable == "none"), ColorTableEntries, SharedRamp(),
                     alpha, _texPixels.get());
  glGenTextures(1, &_texName);
  if (!_texName) return;  // no texture: vertex colours
  glBindTexture(GL_TEXTURE_1D, _texName);
  glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_WRAP_S, GL_CLAMP);
  glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexImage1D(GL_TEXTURE_1D, 0, GL_RGBA, width, 0, GL_RGBA, GL_UNSIGNED_BYTE, _texPixels.get());
}

void AK_Colorbar::DeleteColorTexture()
{
  if (!_texName) return;
  glDeleteTextures(1, &_texName);
  _texName = 0;
  _texPixels.reset();
  _texSignature = 0;
}

AK_String AK_Colorbar::ColorTableOptions()
{
  AK_String options("none%AK_SEP%");
  for (const AK_String& file : AK_ListAttributeFiles("rgb", nullptr)) {
    AK_String name = file.BaseName();
    name.CutExtension();
    options += name;
    options += "%AK_SEP%";
  }
  return options;
}

void AK_Colorbar::LoadColorTable(const char* name)
{
  if (std::strcmp(name, "none") == 0) {
    ColorTable = "none";
    ColorTableEntries.Clear();
    return;
  }
  AK_String path = AK_ResolveAttributeFile(name, "rgb", nullptr);
  AK_File file;
  if (!AK_OpenTextInput(file, path)) {
    AK_Message(AK_String("W: ") + AK_TextInputError(path, AK_String("cannot open color table file ") + path + "!"),
               __FILE__, __LINE__);
    return;
  }
  ColorTable = name;
  ColorTableEntries.Clear();
  if (AK_ReadColorTable(file, ColorTableEntries) > 0) {
    _texSignature = 0;
  } else {
    AK_Message(AK_String("W: no rgb-colors could be read from ") + path + "!", __FILE__, __LINE__);
    ColorTable = "none";
  }
}
