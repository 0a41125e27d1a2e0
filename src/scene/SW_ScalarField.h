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
#include "AK_VisObj3d.h"
#include "SW_ContourLines.h"

class AK_Colorbar;
class AK_STREAM;
class SW_Mesh;
class SW_VectorField;

class SW_ScalarField : public AK_Class<SW_ScalarField, AK_VisObj3d> {
public:
  static constexpr const char* kClassName = "SW_ScalarField";

  SW_ScalarField(const char* id, AK_Object* parent);
  static void DeclareAttributes(AK_AttributeTableOf<SW_ScalarField>& t);

  // The drawing pass: the displayed values, the colour bar range and the gradient child are
  // brought up to date around the base class's pass, which calls Draw.
  void Update() override;
  void Draw() override;
  // The bound mesh's box; 0 without a mesh.
  int GetBoundingBox(float min[3], float max[3]) override;

  // Binds the field: the values follow the mesh's vertex (or cell) count; they keep their
  // values when the count is unchanged and become 0 otherwise. No mesh empties them.
  void SetMesh(SW_Mesh* mesh);
  SW_Mesh* Mesh() const;
  // The number of items the bound mesh gives the field (vertices or cells); 0 without one.
  int32_t ItemCount() const;

  void SetLabel(const char* text);
  AK_String Label();
  AK_Colorbar* Colorbar();

  // The displayed value at (x, y); 0 outside the mesh or without one.
  double ValueAt(double x, double y);
  // Puts the displayed values in place of the stored ones: 1 when a conversion function
  // ran; RestoreValues undoes it (1 when it did).
  int DisplayedValues();
  int RestoreValues();
  void UpdateColorbarRange();
  void UpdateContourLines();
  // Fills g (bound to this field's mesh, on its items) with the in-surface gradient.
  void ComputeGradient(SW_VectorField& g);
  // Converts between per-vertex and per-cell values (means over corners or cells).
  void ToggleValueLocation();
  double AreaAboveLimit();
  AK_String ShortExportFilename();

  // The record "SW_ScalarField:v0" in a time-step file: 0 on success, 1 with AK_ErrorText
  // set. The reader refuses a count that a bound mesh does not give (or any absurd count)
  // and then leaves the field without values; it never touches the binding.
  int WriteRecord(AK_STREAM& stream);
  int ReadRecord(AK_STREAM& stream);

  // Exports (the commands of the same names; the value is the file name).
  void ExportFieldRasterAscii(const char* name);
  void ExportContourLines(const char* name);
  void ExportValuesAlongPolyline(const char* name);

  // Set by the owner before SetMesh: 1 one value per vertex, 0 one per cell.
  int32_t _onVertices = 0;
  // The values, written directly by the owner.
  AK_Array<float> _values;

private:
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
  AK_String _selectedPolyline;
  AK_String _valueAtPoint;
  double _areaValueLimit = 0;
  double _minDisplayedValue = 0.001;
  AK_Array<float> _savedValues;
  AK_WeakRef<SW_Mesh> _mesh;
  std::unique_ptr<SW_ContourLineSet> _contourLines;
  double _contourChecksum = 0;

  AK_String ExportValuesAlongPolylineVis();
  void SetValueAtPoint(const char* text);
  void CreateGradientField();
  void DrawValues(SW_Mesh& mesh, AK_Colorbar& colorbar);
  void DrawContourLines();
};
