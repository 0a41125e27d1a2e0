// The drawing passes of the scalar and the vector field.
#include <algorithm>
#include <cmath>
#include <vector>

#include "AK_Colorbar.h"
#include "AK_GLFunctionTable.h"
#include "SW_FieldMath.h"
#include "SW_FieldSupport.h"
#include "SW_Mesh.h"
#include "SW_ScalarField.h"
#include "SW_VectorField.h"

namespace {

void Vertex(const AK_Vec3& p) { glVertex3f(float(p.x), float(p.y), float(p.z)); }
void Normal(const AK_Vec3& n) { glNormal3f(float(n.x), float(n.y), float(n.z)); }

// The grid column (or row) of a coordinate q cells from the grid's start, clamped to the
// grid: an item on the box's far border, or one whose position is no number, still has one.
int32_t GridIndex(double q, int32_t n)
{
  if (!(q >= 0)) return 0;
  return q < n ? static_cast<int32_t>(q) : n - 1;
}

}  // namespace

// ---- scalar field ---------------------------------------------------------------------------

void SW_ScalarField::FollowDisplayed(SW_Mesh&)
{
  UpdateColorbarRange();
  if (auto* gradient = dynamic_cast<SW_VectorField*>(GetComponent("gradient"))) {
    ComputeGradient(*gradient);
    AK_Colorbar* colorbar = Colorbar();
    AK_String unit = colorbar ? colorbar->AttributeKey() : AK_String();
    AK_String label = Label();
    label.ReplaceFirst("[" + unit + "]", "gradient [" + unit + "/m]");
    gradient->SetLabel(label);
  }
}

void SW_ScalarField::Draw()
{
  SW_Mesh* mesh = Mesh();
  AK_Colorbar* colorbar = Colorbar();
  if (!mesh || _values.Size() != ItemCount()) return;
  if (_displayColorMapped && colorbar) DrawValues(*mesh, *colorbar);
  if (_displayContourLines && mesh->NumCells() > 0) DrawContourLines();
}

void SW_ScalarField::DrawValues(SW_Mesh& mesh, AK_Colorbar& colorbar)
{
  const float opacity = Opacity;
  colorbar.BeginColorTexture();
  if (mesh.NumCells() == 0) {
    glBegin(GL_POINTS);
    for (int32_t v = 0; v < _values.Size(); ++v)
      if (_values[v] >= _minDisplayedValue) {
        colorbar.SetValueColor(_values[v], opacity);
        Vertex(mesh.Vertex(v));
      }
    glEnd();
  } else if (!_onVertices) {
    for (int32_t c = 0; c < mesh.NumCells(); ++c)
      if (_values[c] >= _minDisplayedValue) {
        colorbar.SetValueColor(_values[c], opacity);
        mesh.DrawCellLifted(c, 1.0);
      }
  } else {
    const bool normals = mesh.VertexNormals().Size() == mesh.NumVertices();
    auto corner = [&](int32_t v) {
      if (normals) Normal(mesh.VertexNormals()[v]);
      colorbar.SetValueColor(_values[v], opacity);
      Vertex(mesh.Vertex(v));
    };
    glBegin(GL_TRIANGLES);
    for (int32_t c = 0; c < mesh.NumCells(); ++c) {
      const AK_Index4& cell = mesh.Cells()[c];
      const int m = mesh.CornerCount(c);
      bool shown = false;
      for (int k = 0; k < m; ++k) shown = shown || _values[cell[k]] > _minDisplayedValue;
      if (!shown) continue;
      if (m == 3) {
        for (int k = 0; k < 3; ++k) corner(cell[k]);
        continue;
      }
      const float mean = SW_CellMeanOfCorners(mesh.Core(), c, _values._elems);
      const AK_Vec3 centre = mesh.CellCentre(c);
      for (int k = 0; k < 4; ++k) {
        const int32_t a = cell[k], b = cell[(k + 1) % 4];
        colorbar.SetValueColor(mean, opacity);
        if (normals) Normal(mesh.VertexNormals()[a] + mesh.VertexNormals()[b]);
        Vertex(centre);
        corner(a);
        corner(b);
      }
    }
    glEnd();
  }
  colorbar.EndColorTexture();
}

void SW_ScalarField::DrawContourLines()
{
  UpdateContourLines();
  if (!_contourLines) return;
  AK_Colorbar* colorbar = Colorbar();
  ApplyColor(0);
  glDisable(GL_LIGHTING);
  glDisable(GL_BLEND);
  const bool colored = _contourLinesColored && colorbar;
  if (colored) colorbar->BeginColorTexture();
  for (int32_t i = 0; i < _contourLines->Count(); ++i) {
    SW_ContourLine& line = _contourLines->Line(i);
    if (colored) colorbar->SetValueColor(line.Level(), Opacity);
    line._labelled = _contourLinesLabelled;
    line._labelDistance = static_cast<float>(_contourLinesLabelDistance);
    line.Draw();
  }
  if (colored) colorbar->EndColorTexture();
  if (Blending == 1) glEnable(GL_BLEND);
  if (Shaded == 1) glEnable(GL_LIGHTING);
}

// ---- vector field -----------------------------------------------------------------------------

void SW_DrawArrow(const AK_Vec3& p, const AK_Vec3& v, const AK_Vec3& up, double s)
{
  const AK_Vec3 h = v * (0.5 * s);
  const AK_Vec3 tail = p - h, tip = p + h;
  const AK_Vec3 b = h * 0.67;
  const AK_Vec3 w = b.Cross(up) * 0.15;
  const AK_Vec3 base = tip - b;
  for (const AK_Vec3& q : {tail, tip, base + w, tip, base - w, tip, base + w, base - w}) Vertex(q);
}

void SW_VectorField::UpdateMagnitude(SW_Mesh& mesh)
{
  auto* magnitude = dynamic_cast<SW_ScalarField*>(GetComponent("magnitude"));
  if (!magnitude) return;
  magnitude->_onVertices = _onVertices;
  magnitude->SetMesh(&mesh);
  for (int32_t i = 0; i < _vectors.Size() && i < magnitude->_values.Size(); ++i)
    magnitude->_values[i] = static_cast<float>(_vectors[i].Length());
  AK_String label = Label();
  label.ReplaceFirst(" [", " magnitude [");
  magnitude->SetLabel(label);
}

void SW_VectorField::FollowDisplayed(SW_Mesh& mesh)
{
  AK_Colorbar* colorbar = Colorbar();
  if (colorbar && colorbar->Autoscale == 1) {
    float min, max;
    SW_LengthRange(_vectors, min, max);
    colorbar->SetMin(AK_String::Format("%g", min));
    colorbar->SetMax(AK_String::Format("%g", max));
  }
  UpdateMagnitude(mesh);
}

void SW_VectorField::Draw()
{
  SW_Mesh* mesh = Mesh();
  AK_Colorbar* colorbar = Colorbar();
  if (!mesh || !colorbar || _vectors.Size() != ItemCount()) return;
  colorbar->BeginColorTexture();
  const float s = static_cast<float>(_vectorScaling);
  if (_resamplingGridSize > 0) {
    DrawResampled(*mesh, *colorbar, s);
  } else {
    const AK_Vec3 up(0, 0, 1);
    glBegin(GL_LINES);
    for (int32_t i = 0; i < _vectors.Size(); ++i) {
      const float length = static_cast<float>(_vectors[i].Length());
      if (length < 0.001f) continue;
      colorbar->SetValueColor(length, Opacity);
      SW_DrawArrow(ItemPosition(*mesh, i), _vectors[i], up, s);
    }
    glEnd();
  }
  colorbar->EndColorTexture();
}

void SW_VectorField::DrawResampled(SW_Mesh& mesh, AK_Colorbar& colorbar, float scale)
{
  float min[3], max[3];
  if (!mesh.GetBoundingBox(min, max)) return;
  const double g = _resamplingGridSize;
  const double qx = std::trunc((max[0] - min[0]) / g) + 1, qy = std::trunc((max[1] - min[1]) / g) + 1;
  if (!(qx * qy <= static_cast<double>(SW_MaxRasterPoints))) return;  // a grid of no use
  const int32_t columns = static_cast<int32_t>(qx), rows = static_cast<int32_t>(qy);
  std::vector<AK_Vec3> sum(static_cast<size_t>(columns) * rows);
  std::vector<float> zsum(sum.size());
  std::vector<int32_t> count(sum.size());
  for (int32_t i = 0; i < _vectors.Size(); ++i) {
    const AK_Vec3 p = ItemPosition(mesh, i);
    const int32_t cx = GridIndex((p.x - min[0]) / g, columns);
    const int32_t cy = GridIndex((p.y - min[1]) / g, rows);
    const size_t k = static_cast<size_t>(cy) * columns + cx;
    sum[k] += _vectors[i];
    zsum[k] += static_cast<float>(p.z);
    ++count[k];
  }
  const AK_Vec3 up(0, 0, 1);
  glBegin(GL_LINES);
  for (int32_t i = 0; i < columns; ++i)
    for (int32_t j = 0; j < rows; ++j) {
      const size_t k = static_cast<size_t>(j) * columns + i;
      if (count[k] <= 0) continue;
      const AK_Vec3 mean = sum[k] * (1.0 / count[k]);
      const float length = static_cast<float>(mean.Length());
      if (length < 0.001f) continue;
      const AK_Vec3 p((i + 0.5) * g + min[0], (j + 0.5) * g + min[1], zsum[k] / count[k]);
      colorbar.SetValueColor(length, Opacity);
      SW_DrawArrow(p, mean, up, scale);
    }
  glEnd();
}
