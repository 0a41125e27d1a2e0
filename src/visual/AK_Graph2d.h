// AK_Graph2d: one curve of (x, y) points inside a graph viewer (AK_Graph2dViewer), scaled
// into the viewer's frame from its data ("XAuto", "YAuto") or from fixed limits. Its first
// component is its label, a text that names the curve, its offset, its scale and its x range.
// The points are stored as the record "AK_Graph2d:v0" of the project's data files.
#pragma once

#include <cstdint>

#include "AK_Text2d.h"
#include "AK_VisObj2d.h"
#include "AK_WeakRef.h"

// Points that a stored curve holds at most.
constexpr int32_t AK_MaxGraphPoints = 1 << 26;

// The label text of a curve: "<data>:<y label>", as "(<data>:<y label>-<ymin>)" with "--"
// turned into "+" when ymin is not about 0, then "/<y range> x <x label> [<xmin>, <xmax>]".
AK_String AK_GraphLabelText(const AK_String& dataName, const AK_String& yLabel,
                            const AK_String& xLabel, const double min[2], const double max[2]);

class AK_Graph2d : public AK_Class<AK_Graph2d, AK_VisObj2d> {
public:
  static constexpr const char* kClassName = "AK_Graph2d";
  AK_Graph2d(const char* id, AK_Object* parent);
  static void DeclareAttributes(AK_AttributeTableOf<AK_Graph2d>& t);

  // Draws nothing unless the curve sits in a viewer and has two points or more; with an
  // automatic range it stores the data's range first.
  void Update() override;
  void Draw() override;
  // 1 when a write failed, the error text naming "AK_Graph2d.cpp:24".
  int SaveData(AK_STREAM& stream) override;
  // 1 (and the points unchanged) for a record that is not a whole "AK_Graph2d:v0"; the
  // error text names "AK_Graph2d.cpp:31" for a tag that is missing or another, ":32" for
  // a failure after it.
  int LoadData(AK_STREAM& stream) override;

  void AppendPoint(double x, double y) { _points.Append(AK_Vec2{x, y}); }
  void SetPoints(AK_Array<AK_Vec2> points) { _points = static_cast<AK_Array<AK_Vec2>&&>(points); }
  const AK_Array<AK_Vec2>& Points() const { return _points; }
  // The names that make up the label text.
  void SetNames(const AK_String& dataName, const AK_String& xLabel, const AK_String& yLabel);
  // The label, none once it was deleted.
  AK_Text2d* Label() const { return _label.Get(); }

  int32_t XAuto = 1;
  int32_t YAuto = 1;
  double Xmin = 0, Ymin = 0;
  double Xmax = 0, Ymax = 0;

private:
  AK_Array<AK_Vec2> _points;
  AK_String _dataName, _xLabel, _yLabel;
  AK_WeakRef<AK_Text2d> _label;
  // The viewer's frame, as the drawing pass hands it to Draw: corner and window units per
  // data unit.
  double _frame[2] = {0, 0};
  double _scale[2] = {0, 0};
};
