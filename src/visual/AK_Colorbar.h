// AK_Colorbar: the legend of a result field. It turns values into colours, for the vertices
// of the field that owns it (between BeginColorTexture and EndColorTexture, one
// SetValueColor per vertex) and for its own bar, and draws the bar with a header, a minimum
// and a maximum label and optional labels between.
//
// Two colouring modes: smooth (vertex colours from a continuous ramp, blue - cyan - green -
// yellow - red, or grey) and discrete ("DiscreteColors": a one-dimensional texture with one
// texel per segment, from the ramp or from a colour table). The ramp's grey switch, the
// fading of the lowest values into the background and the colour table are shared by all
// colour bars.
//
// The header text (the Text of the label HeaderLabel(), "<Id>_header", which the owning
// field writes, e.g. "Flow depth [m]") names a unit; a bar whose range is fixed ("Autoscale"
// 0) remembers that range, and its arbitrary steps, per unit in the class values
// ("scaling.<unit>", "steps.<unit>"), so every bar of the same unit shares them.
#pragma once

#include <cstdint>
#include <memory>

#include "AK_ColorRamp.h"
#include "AK_Text2d.h"
#include "AK_VisObj2d.h"

class AK_Colorbar : public AK_Class<AK_Colorbar, AK_VisObj2d> {
public:
  static constexpr const char* kClassName = "AK_Colorbar";
  AK_Colorbar(const char* id, AK_Object* parent);
  ~AK_Colorbar() override;
  static void DeclareAttributes(AK_AttributeTableOf<AK_Colorbar>& t);

  // The drawing pass: widens a degenerate range, applies the remembered settings of the
  // unit, lays the legend out in window units, draws the labels and then the bar.
  void Update() override;
  // The bar itself, a strip of one quadrilateral per segment about Position.
  void Draw() override;

  // --- what the owning field uses ---
  AK_Text2d* HeaderLabel() const { return _header; }
  AK_Text2d* MinLabel() const { return _minLabel; }
  AK_Text2d* MaxLabel() const { return _maxLabel; }
  AK_String HeaderText() const;
  // The unit key and the name part of the header text (AK_ColorbarScale.h).
  AK_String AttributeKey() const;
  AK_String AttributeLabel() const;
  // As the attributes "Min", "Max", "Autoscale" and "StepValues", without error text and stamp.
  void SetMin(const AK_String& value);
  void SetMax(const AK_String& value);
  void SetAutoscale(const AK_String& value);
  void SetStepValues(const AK_String& value);
  // Builds the step list (with "ArbitrarySteps") and answers the number of segments k;
  // StepValue(i), i = 0 .. k, is the level of boundary i.
  int BuildSteps();
  double StepValue(int i) const;
  // Colours values during a drawing pass: SetValueColor sets the colour (or the texture
  // coordinate) of one value; nothing while "Transparent" is on.
  void BeginColorTexture();
  void SetValueColor(float value, float alpha);
  void EndColorTexture();

  // --- the settings remembered per unit ---
  void StoreScaling(const AK_String& unit, double min, double max);
  int LoadScaling(const AK_String& unit, double& min, double& max);
  void StoreSteps(const AK_String& unit, const AK_String& steps);
  int LoadSteps(const AK_String& unit, AK_String& steps);

  // --- the discrete-mode texture and the colour tables ---
  void BuildColorTexture();
  void DeleteColorTexture();
  // "none", then the names of the ".rgb" files of the attributes directories, each followed
  // by "%AK_SEP%".
  static AK_String ColorTableOptions();
  // Selects a colour table ("none": the ramp) and reads its file: a regular file only (for
  // anything else a warning, and the table stays), a UTF-8 byte-order mark skipped.
  void LoadColorTable(const char* name);

  // --- fields ---
  int32_t ArbitrarySteps = 0;
  AK_String StepValues;
  int32_t DisplayInterLabels = 0;
  int32_t NumSignificantDigits = 5;
  int32_t Transparent = 0;
  int32_t Autoscale = 1;  // 1: the owning field sets Min and Max from its values
  double Min = 0.0;
  double Max = 1.0;
  int32_t Segments = 10;
  int32_t DisplayLabels = 1;
  AK_String Font = "HELVETICA_12";
  float Size[2] = {0.3f, 0.02f};  // length and thickness of the bar, in window units
  AK_String HorizontalAlignment = "right";
  AK_String VerticalAlignment = "bottom";
  int32_t DiscreteColors = 0;

  // --- shared by all colour bars ---
  static int32_t Greyscale;
  // Normalised values below it fade into the background colour.
  static float MinColorToBackgroundFadingRange;
  static AK_String ColorTable;            // the table in force, "none" for the ramp
  static AK_Array<float> ColorTableEntries;  // red, green, blue per colour, each in [0, 1]

private:
  void ApplyRememberedSettings();
  void LayOut(float c);
  void DrawInterLabels(float c, float scale, int n);
  // The offset of boundary k along the bar, in window units.
  double BoundaryOffset(int k, float scale) const;

  AK_String _loadedUnit;
  AK_Array<double> _steps;
  AK_Text2d* _header = nullptr;
  AK_Text2d* _minLabel = nullptr;
  AK_Text2d* _maxLabel = nullptr;
  int32_t _texSignature = 0;
  std::unique_ptr<unsigned char[]> _texPixels;
  GLuint _texName = 0;
  float _texCoordScale = 1;
  // What the drawing pass hands to Draw: the segments and window units per value unit.
  int _barSegments = 0;
  float _barScale = 0;
};

// The ramp colour of a normalised value with the settings shared by all colour bars and the
// background colour.
void ValueToColor(float t, float& r, float& g, float& b);
// Colour i of the colour table in force.
void ColorTableColor(int i, float& r, float& g, float& b);
