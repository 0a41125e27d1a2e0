#include "SW_ScalarField.h"

#include <cmath>
#include <cstdlib>

#include "AK_Colorbar.h"
#include "AK_CurrentObject.h"
#include "AK_Record.h"
#include "SW_FieldMath.h"
#include "SW_FieldSupport.h"
#include "SW_Mesh.h"
#include "SW_VectorField.h"

SW_ScalarField::SW_ScalarField(const char* id, AK_Object* parent) : AK_Class(id, parent)
{
  SetUpClassLevel();
  AutoColored = 1;
  PolygonsFilled = 1;
  Shaded = 1;
  Blending = 1;
  Opacity = 0.7f;
  SW_AddFieldColorbar(*this);
  RunClassDefaults();
}

void SW_ScalarField::DeclareAttributes(AK_AttributeTableOf<SW_ScalarField>& t)
{
  using F = SW_ScalarField;
  DeclareShared(t);
  t.Switch("DisplayColorMapped", &F::_displayColorMapped);
  t.Switch("DisplayContourLines", &F::_displayContourLines);
  t.Switch("ContourLinesColored", &F::_contourLinesColored);
  t.Switch("ContourLinesLabelled", &F::_contourLinesLabelled);
  t.Double("ContourLinesLabelDistance", &F::_contourLinesLabelDistance).Range(0, HUGE_VAL);
  t.Vis("ContourLinesLabelDistanceVis", [](F& f) { return f._contourLinesLabelled ? "w" : "r"; });
  // A raster cell of no size has no raster: refused.
  t.Double("ExportRasterSize", &F::_exportRasterSize).Range(1e-300, HUGE_VAL);
  t.Switch("ExportRasterAutoRange", &F::_exportRasterAutoRange);
  t.Vector("ExportRasterLL", &F::_exportRasterLL);
  t.Int("ExportRasterNumColumns", &F::_exportRasterNumColumns).Range(0, INT32_MAX);
  t.Int("ExportRasterNumRows", &F::_exportRasterNumRows).Range(0, INT32_MAX);
  t.Vis("ExportRasterRangeVis", [](F& f) { return f._exportRasterAutoRange ? "r" : "w"; });
  t.Answer("ShortExportFilename", [](F& f) { return f.ShortExportFilename(); });
  t.Attribute("ValueAtPoint", [](F& f) { return f._valueAtPoint; },
              [](F& f, const char* v) { f.SetValueAtPoint(v); });
  t.Answer("Min", [](F& f) {
    SW_ValueRange r = SW_ValueRangeOf(f._values);
    return r.empty ? AK_String("0") : AK_String::Format("%g", r.min);
  });
  t.Answer("Max", [](F& f) {
    SW_ValueRange r = SW_ValueRangeOf(f._values);
    return r.empty ? AK_String("0") : AK_String::Format("%g", r.max);
  });
  t.Answer("Average", [](F& f) { return AK_FormatDouble(SW_MeanOfPositive(f._values)); });
  t.Double("AreaValueLimit", &F::_areaValueLimit);
  t.Answer("AreaAboveLimit", [](F& f) { return AK_FormatDouble(f.AreaAboveLimit()); });
  t.Double("MinDisplayedValue", &F::_minDisplayedValue);
  t.Command("ExportValuesAlongPolyline", &F::ExportValuesAlongPolyline);
  t.Command("ExportContourLines", &F::ExportContourLines);
  t.Command("ExportContourLinesDxf", &F::ExportContourLines);
  t.Command("ExportFieldRasterAscii", &F::ExportFieldRasterAscii);
  t.Vis("CreateGradientFieldVis", [](F& f) { return f.GetComponent("gradient") ? "r" : "w"; });
  t.Vis("RemoveGradientFieldVis", [](F& f) { return f.GetComponent("gradient") ? "w" : "r"; });
  t.Command("CreateGradientField", [](F& f, const char*) { f.CreateGradientField(); });
  t.Command("RemoveGradientField", [](F& f, const char*) { f.DeleteComponent("gradient"); });
}

// ---- display conversion -----------------------------------------------------------------------

int SW_ScalarField::DisplayedValues()
{
  // Values already converted are never saved as the stored ones.
  if (_savedValues.Size()) return 0;
  SW_Mesh* mesh = Mesh();
  SW_DataConversion conversion(*this, ClassScript());
  if (conversion.Asked()) {
    static const ast_sci_type kArgs[2] = {{AST_SCI_DOUBLE, false, 0}, {AST_SCI_DOUBLE, true, 3}};
    AK_CurrentObjectScope current(this);
    if (mesh && _values.Size() == ItemCount() && conversion.Prepare(kArgs, 2, AST_SCI_DOUBLE)) {
      _savedValues = _values;
      for (int32_t i = 0; i < _values.Size(); ++i) {
        double v = _values[i];
        AK_Vec3 p = _onVertices ? mesh->Vertex(i) : mesh->CellCentre(i);
        double xyz[3] = {p.x, p.y, p.z};
        void* args[2] = {&v, xyz};
        _values[i] = static_cast<float>(conversion.Call(args).d);
      }
    }
    return 1;
  }
  if (!_onVertices || !mesh) return 0;
  AK_String smooth = GetVariable("$smooth");
  if (smooth == "") return 0;
  _savedValues = _values;
  SW_SmoothVertexValues(mesh->Core(), _values, AK_Atoi(smooth));
  return 0;
}

void SW_ScalarField::SetValueAtPoint(const char* text)
{
  double xy[2] = {0, 0};
  AK_String(text).ToDoubles(xy, 2);
  _valueAtPoint = AK_FormatDouble(ValueAt(xy[0], xy[1])) + " at " + AK_String(xy, 2);
}

double SW_ScalarField::AreaAboveLimit()
{
  SW_Mesh* mesh = Mesh();
  if (!mesh) return 0;
  DisplayedValues();
  double area = SW_AreaAboveLimit(mesh->Core(), _values, _onVertices, _areaValueLimit);
  RestoreValues();
  return area;
}

AK_String SW_ScalarField::ShortExportFilename()
{
  AK_Colorbar* colorbar = Colorbar();
  if (!colorbar) return Id();
  AK_String t = colorbar->HeaderText();
  AK_String s = SW_AttributeShort(colorbar);
  if (s != "") t.ReplaceFirst(colorbar->AttributeLabel(), s);
  t.ReplaceFirst(" at ", "");
  t.ReplaceNonIdentifierChars('_');
  while (t.ReplaceFirst("__", "_")) {
  }
  return t;
}

// ---- colour bar range, contour lines, gradient -----------------------------------------------

void SW_ScalarField::UpdateColorbarRange()
{
  AK_Colorbar* colorbar = Colorbar();
  SW_ValueRange r = SW_ValueRangeOf(_values);
  if (!colorbar || r.empty || colorbar->Autoscale != 1) return;
  colorbar->SetMin(AK_String::Format("%g", r.min));
  colorbar->SetMax(AK_String::Format("%g", r.max));
}

void SW_ScalarField::UpdateContourLines()
{
  SW_Mesh* mesh = Mesh();
  AK_Colorbar* colorbar = Colorbar();
  // Contour lines are traced through vertex values; a per-cell field has none.
  if (!mesh || !colorbar || !_onVertices || _values.Size() != ItemCount()) return;
  float lo = std::strtof(AK_String::Format("%.15g", colorbar->Min), nullptr);
  float hi = std::strtof(AK_String::Format("%.15g", colorbar->Max), nullptr);
  int k = colorbar->BuildSteps();
  float step = (hi - lo) / static_cast<float>(k);
  double c = 0;
  for (float v : _values) c += (v - lo) / step;
  if (c != _contourChecksum) _contourLines.reset();
  else if (_contourLines) return;
  // A bar of very many segments gives as many levels as its drawing visits.
  AK_Array<double> levels;
  const int visited = AK_VisitedSteps(k);
  for (int i = 0; i <= visited; ++i) levels.Append(colorbar->StepValue(AK_VisitedStep(i, visited, k)));
  _contourLines.reset();
  if (mesh->CellNeighbours().Size() != mesh->NumCells()) mesh->ComputeConnectivity();
  _contourLines = SW_ContourLineSet::Compute(mesh->Core(), _values, levels);
  _contourChecksum = c;
}

void SW_ScalarField::ComputeGradient(SW_VectorField& g)
{
  g._onVertices = _onVertices;
  g.SetMesh(Mesh());
  SW_Mesh* mesh = Mesh();
  if (!mesh || _values.Size() != ItemCount()) return;
  SW_FitGradient(mesh->Core(), _values, _onVertices, g._vectors);
  for (int i = 0; i < 4; ++i) g.ToggleValueLocation();
}

void SW_ScalarField::CreateGradientField()
{
  if (GetComponent("gradient")) return;
  AddComponent(new SW_VectorField("gradient", this));
}
