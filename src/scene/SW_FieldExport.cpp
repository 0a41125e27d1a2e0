// The exports of the scalar and the vector field: ESRI ASCII grids, contour lines ("nxyz" or
// DXF), tables of values along a polyline and the list of all vectors. Every export writes
// the displayed values and restores the stored ones afterwards.
#include <cmath>
#include <cstdio>
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

// The locations "SW_Workspace:<line>" of the exports' messages that users and their scripts
// know: the numbers are part of what the messages say, whatever the sources look like.
enum class At : int {
  ContourLinesCannotOpen = 2132, // "cannot open file ...!"
  ContourLinesBegin = 2135,      // "writing contour lines to ..."
  ContourLinesDone = 2149,       // "file ... written"
  RasterCannotOpen = 2163,       // "cannot open file ...!"
  RasterBegin = 2167,            // "writing field raster data to ..."
  RasterDone = 2204,             // "file ... written"
  ScalarsAlongPolyline = 1602,   // "INFO:writing values along polyline ..." or its failure
  VectorsAlongBegin = 2619,      // "writing values along polyline to file '...'"
  VectorsAlongDone = 2633,       // "values along polyline written to file '...'"
  VectorsAlongCannotOpen = 2635, // "WARNING:cannot open output file ..."
  VectorsBegin = 2645,           // "writing values to file '...'"
  VectorsDone = 2656,            // "values written to file '...'"
  VectorsCannotOpen = 2658,      // "WARNING:cannot open output file ..."
};

void Report(const AK_String& text, At at) { AK_Message(text, "SW_Workspace", int(at)); }

// An export that cannot write its file says so in the error text and the messages.
void CannotOpen(const char* name, At at)
{
  AK_ErrorText = AK_String("cannot open file ") + name + "!";
  Report(AK_ErrorText, at);
}

AK_String Row(std::initializer_list<double> numbers)
{
  AK_String row;
  for (double v : numbers) row += (row == "" ? "" : " ") + AK_FormatDouble(v);
  return row + "\n";
}

// Restores the stored values when the export ends, whichever way.
template <class Field>
struct DisplayedScope {
  Field& field;
  explicit DisplayedScope(Field& f) : field(f) { Display(f); }
  ~DisplayedScope() { field.RestoreItems(); }
  static void Display(SW_ScalarField& f) { f.DisplayedValues(); }
  static void Display(SW_VectorField& f) { f.DisplayedVectors(); }
};

AK_String Row(const AK_Vec3& p, double value) { return Row({p.x, p.y, p.z, value}); }
AK_String Row(const AK_Vec3& p, const AK_Vec3& v) { return Row({p.x, p.y, p.z, v.x, v.y, v.z}); }

// The item at a crossing, interpolated along the crossed edge.
double AtCrossing(const AK_Array<float>& values, const SW_EdgeCrossing& e)
{
  const float dv = values[e.b] - values[e.a];
  return values[e.a] + e.t * dv;
}

AK_Vec3 AtCrossing(const AK_Array<AK_Vec3>& vectors, const SW_EdgeCrossing& e)
{
  const AK_Vec3 va = vectors[e.a];
  return va + (vectors[e.b] - va) * e.t;
}

// The rows of a table along the polyline: its first and its last point with the field's
// value there, and between them every crossing of a mesh edge.
template <class Field, class T>
AK_String RowsAlongPolyline(Field& field, SW_Mesh& mesh, const AK_Array<AK_Vec3>& points, const AK_Array<T>& items)
{
  AK_Array<SW_EdgeCrossing> crossings;
  mesh.EdgeCrossingsOfPolyline(points, crossings);
  const AK_Vec3 first = points[0], last = points.Last();
  AK_String rows = Row(first, field.ValueAt(first.x, first.y));
  {
    DisplayedScope<Field> displayed(field);
    for (const SW_EdgeCrossing& e : crossings) {
      const AK_Vec3 a = mesh.Vertex(e.a), b = mesh.Vertex(e.b);
      rows += Row(a + (b - a) * e.t, AtCrossing(items, e));
    }
  }
  return rows + Row(last, field.ValueAt(last.x, last.y));
}

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
  if (!file) return CannotOpen(name, At::RasterCannotOpen);
  Report(AK_String("writing field raster data to ") + name, At::RasterBegin);
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
  Report(AK_String("file ") + name + " written", At::RasterDone);
}

void SW_ScalarField::ExportContourLines(const char* name)
{
  if (!Mesh()) return RefuseExport(name);
  {
    DisplayedScope<SW_ScalarField> displayed(*this);
    UpdateColorbarRange();
    UpdateContourLines();
  }
  AK_File file = AK_File::Replacing(name, "wb");
  if (!file) return CannotOpen(name, At::ContourLinesCannotOpen);
  Report(AK_String("writing contour lines to ") + name, At::ContourLinesBegin);
  AK_Colorbar* colorbar = Colorbar();
  std::ostringstream out;
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
  const std::string text = out.str();
  if (out.fail() || std::fwrite(text.data(), 1, text.size(), file) != text.size() || !file.Close()) {
    AK_ErrorText = AK_String("cannot write file ") + name + "!";
    AK_MESSAGE(AK_ErrorText);
    return;
  }
  Report(AK_String("file ") + name + " written", At::ContourLinesDone);
}

void SW_ScalarField::ExportValuesAlongPolyline(const char* name)
{
  SW_Mesh* mesh = Mesh();
  AK_Array<AK_Vec3> points;
  if (!SelectedPolylinePoints(points)) return;
  const AK_String rows = RowsAlongPolyline(*this, *mesh, points, _values);
  AK_File file = AK_File::Replacing(name, "w");
  if (!file) return CannotOpen(name, At::ScalarsAlongPolyline);
  Report(AK_String("INFO:writing values along polyline to file ") + name, At::ScalarsAlongPolyline);
  AK_Colorbar* colorbar = Colorbar();
  AK_String text = "#x\ty\tz\t" + (colorbar ? colorbar->AttributeLabel() : Label()) + "\n" +
                   "#m\tm\tm\t" + (colorbar ? colorbar->AttributeKey() : AK_String()) + "\n" + rows;
  bool ok = std::fputs(text, file) >= 0;
  if (!ok || !file.Close()) AK_ErrorText = AK_String("cannot write file ") + name + "!";
}

// ---- vector field -----------------------------------------------------------------------------

void SW_VectorField::ExportValuesAlongPolyline(const char* name)
{
  SW_Mesh* mesh = Mesh();
  AK_Array<AK_Vec3> points;
  if (!SelectedPolylinePoints(points)) return;
  const AK_String rows = RowsAlongPolyline(*this, *mesh, points, _vectors);
  AK_File file = AK_File::Replacing(name, "w");
  if (!file) {
    AK_ErrorText = AK_String("WARNING:cannot open output file ") + name;
    return Report(AK_ErrorText, At::VectorsAlongCannotOpen);
  }
  Report(AK_String("writing values along polyline to file '") + name + "'", At::VectorsAlongBegin);
  AK_Colorbar* colorbar = Colorbar();
  AK_String label = colorbar ? colorbar->AttributeLabel() : Label();
  AK_String unit = colorbar ? colorbar->AttributeKey() : AK_String();
  AK_String text = "#x\ty\tz\t" + label + "_x\t" + label + "_y\t" + label + "_z\n" +
                   "#m\tm\tm\t" + unit + "\t" + unit + "\t" + unit + "\n" + rows;
  bool ok = std::fputs(text, file) >= 0;
  if (!ok || !file.Close()) {
    AK_ErrorText = AK_String("cannot write file ") + name + "!";
    return AK_MESSAGE(AK_ErrorText);
  }
  Report(AK_String("values along polyline written to file '") + name + "'", At::VectorsAlongDone);
}

void SW_VectorField::ExportValues(const char* name)
{
  AK_File file = AK_File::Replacing(name, "w");
  if (!file) {
    AK_ErrorText = AK_String("WARNING:cannot open output file ") + name;
    return Report(AK_ErrorText, At::VectorsCannotOpen);
  }
  Report(AK_String("writing values to file '") + name + "'", At::VectorsBegin);
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
  Report(AK_String("values written to file '") + name + "'", At::VectorsDone);
}
