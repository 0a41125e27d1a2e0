// SW_ScalarField (type "ScalarField"): one f32 value per vertex or per cell of a terrain
// mesh: the result fields of a run (flow depth, pressure, arrival time, entrainment), the
// curvature of a mesh, the magnitude of a vector field, the masses and enthalpies of the
// particles.
//
// Its owner creates it (also by type name through the class registry), sets `_onVertices`,
// binds it with SetMesh and then writes `_values` directly. A "Colorbar" child (the first
// component) carries the field's label, range, steps and colours; an optional "gradient"
// child (SW_VectorField) follows the values at every drawing pass.
//
// Every reader that shows or exports values sees the displayed values: the class script may
// name a conversion function ("getDataConversion"), and a per-vertex field without one may be
// smoothed for display ("$smooth"). Min, Max, Average and the record use the stored values.
#pragma once

#include <cstdint>
#include <memory>

#include "AK_ClassHelper.h"
#include "SW_ContourLines.h"
#include "SW_FieldSupport.h"

class AK_Colorbar;
class AK_STREAM;
class SW_Mesh;
class SW_VectorField;

// Binding, label, point query (ValueAt), value location, drawing pass and record: see
// SW_MeshField.
class SW_ScalarField : public AK_Class<SW_ScalarField, SW_MeshField<SW_ScalarField, float>> {
public:
  static constexpr const char* kClassName = "SW_ScalarField";
  static constexpr SW_RecordLines kRecordLines{2234, 2242, 2243};

  SW_ScalarField(const char* id, AK_Object* parent);
  static void DeclareAttributes(AK_AttributeTableOf<SW_ScalarField>& t);

  void Draw() override;

  // Puts the displayed values in place of the stored ones: 1 when a conversion function
  // ran; RestoreValues undoes it (1 when it did).
  int DisplayedValues();
  int RestoreValues() { return RestoreItems(); }
  // Removes value i; the last value moves into its place.
  void RemoveValue(int32_t i) { RemoveItem(i); }
  void UpdateColorbarRange();
  void UpdateContourLines();
  // Fills g (bound to this field's mesh, on its items) with the in-surface gradient.
  void ComputeGradient(SW_VectorField& g);
  double AreaAboveLimit();
  AK_String ShortExportFilename();

  // Exports (the commands of the same names; the value is the file name).
  void ExportFieldRasterAscii(const char* name);
  void ExportContourLines(const char* name);
  void ExportValuesAlongPolyline(const char* name);

  // The values, written directly by the owner.
  AK_Array<float> _values;

private:
  friend class SW_MeshField<SW_ScalarField, float>;
  AK_Array<float>& Items() { return _values; }
  AK_Array<float>& SavedItems() { return _savedValues; }
  int DisplayItems() { return DisplayedValues(); }
  // The colour bar's range and the gradient child follow the displayed values.
  void FollowDisplayed(SW_Mesh& mesh);
  void MeshRebound() { _contourLines.reset(); }

  // The error text of an export that has no mesh to stand on, or not one value per item.
  void RefuseExport(const char* name);
  int32_t _displayColorMapped = 1;
  int32_t _displayContourLines = 0;
  int32_t _contourLinesColored = 0;
  int32_t _contourLinesLabelled = 0;
  double _contourLinesLabelDistance = 200;
  double _exportRasterSize = 10;
  int32_t _exportRasterAutoRange = 1;
  double _exportRasterLL[2] = {0, 0};
  int32_t _exportRasterNumColumns = 100;
  int32_t _exportRasterNumRows = 100;
  AK_String _valueAtPoint;
  double _areaValueLimit = 0;
  double _minDisplayedValue = 0.001;
  AK_Array<float> _savedValues;
  std::unique_ptr<SW_ContourLineSet> _contourLines;
  double _contourChecksum = 0;

  void SetValueAtPoint(const char* text);
  void CreateGradientField();
  void DrawValues(SW_Mesh& mesh, AK_Colorbar& colorbar);
  void DrawContourLines();
};
