// The exports of the scalar and the vector field: ESRI ASCII grids, contour lines ("nxyz" or
// DXF), tables of values along a polyline and the list of all vectors. Every export writes
// the displayed values and restores the stored ones afterwards.
#include <cmath>
#include <sstream>

#include "AK_Colorbar.h"
#include "AK_Files.h"
#include "SW_FileFormats.h"
#include "SW_LineFiles.h"
#include "SW_FieldMath.h"
#include "SW_FieldSupport.h"
#include "SW_Mesh.h"
#include "SW_ScalarField.h"
#include "SW_VectorField.h"

namespace {

void Report(const AK_String& text, int line) { AK_Message(text, "SW_Workspace", line); }

// An export that cannot write its file says so in the error text and the messages.
void CannotOpen(const char* name, int line)
{
  AK_ErrorText = AK_String("cannot open file ") + name + "!";
  Report(AK_ErrorText, line);
}

AK_String Row(std::initializer_list<double> numbers)
{
  AK_String row;
  for (double v : numbers) row += (row == "" ? "" : " ") + AK_String::Format("%.15g", v);
  return row + "\n";
}

// Restores the stored values when the export ends, whichever way.
template <class Field>
struct DisplayedScope {
  Field& field;
  explicit DisplayedScope(Field& f) : field(f) { Display(f); }
  ~DisplayedScope() { Restore(field); }
  static void Display(SW_ScalarField& f) { f.DisplayedValues(); }
  static void Display(SW_VectorField& f) { f.DisplayedVectors(); }
  static void Restore(SW_ScalarField& f) { f.RestoreValues(); }
  static void Restore(SW_VectorField& f) { f.RestoreVectors(); }
};

}  // namespace

// ---- scalar field ---------------------------------------------------------------------------

void SW_ScalarField::RefuseExport(const char* name)
{
  AK_ErrorText = AK_String("cannot export ") + name + ": " +
                 (Mesh() ? "the field has not one value per item of its mesh" : "the field's mesh no longer exists");
  AK_MESSAGE(AK_ErrorText);
}

void SW_ScalarField::ExportFieldRasterAscii(const char* name)
{
  SW_Mesh* mesh = Mesh();
  if (!mesh || _values.Size() != ItemCount()) return RefuseExport(name);
  SW_RasterFrame frame{_exportRasterLL[0], _exportRasterLL[1], _exportRasterSize,
                       _exportRasterNumColumns, _exportRasterNumRows};
  if (_exportRasterAutoRange) {
    float min[3], max[3];
    if (!mesh->GetBoundingBox(min, max) ||
        !SW_AutoRasterFrame(min[0], min[1], max[0], max[1], _exportRasterSize, frame)) {
      AK_ErrorText = AK_String("cannot export ") + name + ": no raster of cell size " +
                     AK_String::Format("%g", _exportRasterSize) + " fits the mesh";
      AK_MESSAGE(AK_ErrorText);
      return;
    }
  }
  if (!(frame.cellSize > 0) ||
      static_cast<int64_t>(frame.columns) * frame.rows > SW_MaxRasterPoints) {
    AK_ErrorText = AK_String("cannot export ") + name + ": the raster is empty or too large";
    AK_MESSAGE(AK_ErrorText);
    return;
  }
  DisplayedScope<SW_ScalarField> displayed(*this);
  AK_File file = AK_File::Replacing(name, "w");
  if (!file) return CannotOpen(name, 2163);
  Report(AK_String("writing field raster data to ") + name, 2167);
  if (_exportRasterAutoRange) {
    _exportRasterLL[0] = frame.x0;
    _exportRasterLL[1] = frame.y0;
    _exportRasterNumColumns = frame.columns;
    _exportRasterNumRows = frame.rows;
  }
  bool ok = SW_WriteRaster(file, frame, [&](double x, double y) {
    return SW_SampleField(mesh->Core(), _values, _onVertices, x, y);
  });
  if (!ok || !file.Close()) {
    AK_ErrorText = AK_String("cannot write file ") + name + "!";
    AK_MESSAGE(AK_ErrorText);
    return;
  }
  Report(AK_String("file ") + name + " written", 2204);
}

void SW_ScalarField::ExportContourLines(const char* name)
{
  if (!Mesh()) return RefuseExport(name);
  {
    DisplayedScope<SW_ScalarField> displayed(*this);
    UpdateColorbarRange();
    UpdateContourLines();
  }
  AK_Colorbar* colorbar = Colorbar();
  std::ostringstream out;
  Report(AK_String("writing contour lines to ") + name, 2135);
  AK_String unit = colorbar ? colorbar->AttributeKey() : AK_String();
  SW_ContourLineSet none;
  const SW_ContourLineSet& lines = _contourLines ? *_contourLines : none;
  if (SW_FileFormatOf(name).Is(SW_FileFormat::Nxyz)) {
    // Each line says its unit and the short attribute name beside its level.
    const AK_String res = SW_AttributeShort(colorbar);
    for (int32_t i = 0; i < lines.Count(); ++i) {
      AK_NamedPolyline line = lines.Line(i).Polyline();
      AK_String::SetKeyValue(line.text, "unit", unit, '=', ';');
      AK_String::SetKeyValue(line.text, "res", res, '=', ';');
      SW_WriteNxyzPolyline(line, out, SW_ContourDigits);
    }
  } else {
    unit.ReplaceFirst("m/s", "ms-1");
    AK_String prefix = "DFA_" + SW_AttributeShort(colorbar) + "_" + unit;
    prefix.ReplaceAll("/", "_");
    prefix.ReplaceAll(" ", "_");
    prefix.ReplaceAll("\t", "_");
    lines.WriteDxf(out, prefix);
  }
  if (out.fail() || !AK_WriteWholeFile(name, out.str())) {
    AK_ErrorText = AK_String("cannot write file ") + name + "!";
    AK_MESSAGE(AK_ErrorText);
    return;
  }
  Report(AK_String("file ") + name + " written", 2149);
}

void SW_ScalarField::ExportValuesAlongPolyline(const char* name)
{
  SW_Mesh* mesh = Mesh();
  AK_Array<AK_Vec3> points;
  if (AK_String(ExportValuesAlongPolylineVis()) != "w" ||
      !SW_PolylinePoints(*this, _selectedPolyline, points) || _values.Size() != ItemCount())
    return;
  AK_Array<SW_EdgeCrossing> crossings;
  mesh->EdgeCrossingsOfPolyline(points, crossings);
  const AK_Vec3 first = points[0], last = points.Last();
  AK_String rows = Row({first.x, first.y, first.z, ValueAt(first.x, first.y)});
  {
    DisplayedScope<SW_ScalarField> displayed(*this);
    for (const SW_EdgeCrossing& e : crossings) {
      const AK_Vec3 a = mesh->Vertex(e.a), b = mesh->Vertex(e.b);
      const AK_Vec3 p = a + (b - a) * e.t;
      const float dv = _values[e.b] - _values[e.a];
      rows += Row({p.x, p.y, p.z, _values[e.a] + e.t * dv});
    }
  }
  rows += Row({last.x, last.y, last.z, ValueAt(last.x, last.y)});
  AK_File file = AK_File::Replacing(name, "w");
  if (!file) return CannotOpen(name, 1602);
  AK_Message((AK_String("INFO:writing values along polyline to file ") + name), "SW_Workspace", 1602);
  AK_Colorbar* colorbar = Colorbar();
  AK_String text = "#x\ty\tz\t" + (colorbar ? colorbar->AttributeLabel() : Label()) + "\n" +
                   "#m\tm\tm\t" + (colorbar ? colorbar->AttributeKey() : AK_String()) + "\n" + rows;
  bool ok = std::fputs(text, file) >= 0;
  if (!ok || !file.Close()) AK_ErrorText = AK_String("cannot write file ") + name + "!";
}

AK_String SW_ScalarField::ExportValuesAlongPolylineVis()
{
  return SW_AlongPolylineVis(*this, _selectedPolyline, Mesh(), _onVertices);
}

// ---- vector field -----------------------------------------------------------------------------

void SW_VectorField::ExportValuesAlongPolyline(const char* name)
{
  SW_Mesh* mesh = Mesh();
  AK_Array<AK_Vec3> points;
  if (AK_String(SW_AlongPolylineVis(*this, _selectedPolyline, mesh, _onVertices)) != "w" ||
      !SW_PolylinePoints(*this, _selectedPolyline, points) || _vectors.Size() != ItemCount())
    return;
  AK_Array<SW_EdgeCrossing> crossings;
  mesh->EdgeCrossingsOfPolyline(points, crossings);
  const AK_Vec3 first = points[0], last = points.Last();
  const AK_Vec3 v0 = ValueAt(first.x, first.y);
  AK_String rows = Row({first.x, first.y, first.z, v0.x, v0.y, v0.z});
  {
    DisplayedScope<SW_VectorField> displayed(*this);
    for (const SW_EdgeCrossing& e : crossings) {
      const AK_Vec3 a = mesh->Vertex(e.a), b = mesh->Vertex(e.b);
      const AK_Vec3 p = a + (b - a) * e.t;
      const AK_Vec3 va = _vectors[e.a], v = va + (_vectors[e.b] - va) * e.t;
      rows += Row({p.x, p.y, p.z, v.x, v.y, v.z});
    }
  }
  const AK_Vec3 vn = ValueAt(last.x, last.y);
  rows += Row({last.x, last.y, last.z, vn.x, vn.y, vn.z});
  AK_File file = AK_File::Replacing(name, "w");
  if (!file) {
    AK_ErrorText = AK_String("WARNING:cannot open output file ") + name;
    return Report(AK_ErrorText, 2635);
  }
  Report(AK_String("writing values along polyline to file '") + name + "'", 2619);
  AK_Colorbar* colorbar = SW_FieldColorbar(*this);
  AK_String label = colorbar ? colorbar->AttributeLabel() : Label();
  AK_String unit = colorbar ? colorbar->AttributeKey() : AK_String();
  AK_String text = "#x\ty\tz\t" + label + "_x\t" + label + "_y\t" + label + "_z\n" +
                   "#m\tm\tm\t" + unit + "\t" + unit + "\t" + unit + "\n" + rows;
  bool ok = std::fputs(text, file) >= 0;
  if (!ok || !file.Close()) {
    AK_ErrorText = AK_String("cannot write file ") + name + "!";
    return AK_MESSAGE(AK_ErrorText);
  }
  Report(AK_String("values along polyline written to file '") + name + "'", 2633);
}

void SW_VectorField::ExportValues(const char* name)
{
  AK_File file = AK_File::Replacing(name, "w");
  if (!file) {
    AK_ErrorText = AK_String("WARNING:cannot open output file ") + name;
    return Report(AK_ErrorText, 2658);
  }
  Report(AK_String("writing values to file '") + name + "'", 2645);
  SW_Mesh* mesh = Mesh();
  bool ok = true;
  if (mesh && _vectors.Size() == ItemCount()) {
    DisplayedScope<SW_VectorField> displayed(*this);
    const double threshold = 0.001f;
    for (int32_t i = 0; i < _vectors.Size() && ok; ++i) {
      const AK_Vec3& v = _vectors[i];
      if (!(v.Length() >= threshold)) continue;
      const AK_Vec3 p = ItemPosition(*mesh, i);
      ok = std::fprintf(file, "%g %g %g %g %g %g\n", p.x, p.y, p.z, v.x, v.y, v.z) > 0;
    }
  }
  if (!ok || !file.Close()) {
    AK_ErrorText = AK_String("cannot write file ") + name + "!";
    return AK_MESSAGE(AK_ErrorText);
  }
  Report(AK_String("values written to file '") + name + "'", 2656);
}
