// SW_Mesh: drawing, contour lines and their export.
#include <cmath>
#include <cstdio>
#include <ctime>
#include <sstream>

#include "SW_FileFormats.h"
#include "SW_Mesh.h"
#include "SW_MeshEdit.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

inline void Emit(const AK_Vec3& p)
{
  glVertex3f(static_cast<float>(p.x), static_cast<float>(p.y), static_cast<float>(p.z));
}

inline void EmitNormal(const AK_Vec3& n)
{
  glNormal3f(static_cast<float>(n.x), static_cast<float>(n.y), static_cast<float>(n.z));
}

// Red where the slope angle of a normal lies between InclMin and InclMax (cosines lo, hi).
void SetInclinationColor(const AK_Vec3& n, double lo, double hi, const float color[3])
{
  double c = n.z / n.Length();
  if (lo <= c && c <= hi) glColor3f(1, 0, 0);
  else glColor3f(color[0], color[1], color[2]);
}

// Most contour levels a mesh is traced at: more would cost memory and time beyond any use
// on screen or in a file.
constexpr int32_t kMaxContourLevels = 10000;

}  // namespace

// ---------------------------------------------------------------------------------------
// Contour lines

void SW_Mesh::ComputeContourLines()
{
  _contourLines.reset();
  _contourStamp = AK_NewStamp();
  if (NumCells() == 0) return;
  SW_MeshMessage(AK_String("computing contour lines of ") + Id() + "...", SW_MeshMessageAt::ContourLinesBegin);
  AK_Array<float> z(NumVertices());
  z.SetCount(NumVertices());
  float zmin = 0, zmax = 0;
  for (int32_t v = 0; v < NumVertices(); ++v) {
    z[v] = static_cast<float>(Vertex(v).z);
    if (v == 0 || z[v] < zmin) zmin = z[v];
    if (v == 0 || z[v] > zmax) zmax = z[v];
  }
  const double h = ContourLinesMinorStep;
  const float first = static_cast<float>(std::ceil(zmin / h) * h);
  const float last = static_cast<float>(std::floor(zmax / h) * h);
  const float range = last - first;
  AK_Array<double> levels;
  if (h > 0 && std::isfinite(first) && std::isfinite(last) && last >= first) {
    double q = range / h + 0.5;
    int32_t n = q < kMaxContourLevels ? static_cast<int32_t>(q) : kMaxContourLevels;
    if (q >= kMaxContourLevels)
      AK_MESSAGE(AK_String::Format("WARNING:more than %d contour levels; %d levels drawn instead",
                                   kMaxContourLevels, kMaxContourLevels + 1));
    if (n == 0) levels.Append(first);
    for (int32_t k = 0; k <= n && n >= 1; ++k)
      levels.Append(static_cast<float>(static_cast<float>(k) * range / static_cast<float>(n)) + first);
  }
  if (_data._lcc.Size() != NumCells()) _data.ComputeConnectivity();
  _contourLines = SW_ContourLineSet::Compute(_data, z, levels);
  SW_MeshMessage(AK_String("contour lines of ") + Id() + " computed", SW_MeshMessageAt::ContourLinesDone);
}

bool SW_Mesh::ContourLinesStale()
{
  return !_contourLines || ModificationTime("ContourLinesMinorStep") > _contourStamp ||
         ModificationTime("ContourLinesMajorStep") > _contourStamp;
}

void SW_Mesh::ExportContourLines(const char* path)
{
  if (ContourLinesStale()) ComputeContourLines();
  if (!_contourLines) return;
  const AK_String file(path ? path : "");
  SW_MeshMessage(AK_String("writing ") + file + "...", SW_MeshMessageAt::ContourExportBegin);
  AK_File target = AK_File::Replacing(file, "wb");
  if (!target) {
    AK_ErrorText = AK_String("cannot open file '") + file + "'";
    return;
  }
  std::ostringstream out;
  bool failed;
  if (SW_FileFormatOf(file).Is(SW_FileFormat::Nxyz)) {
    failed = !_contourLines->WriteNxyz(out);
    out << "-1\n";
  } else {
    failed = !_contourLines->WriteDxf(out, "contour");
  }
  const std::string text = out.str();
  if (!failed && !out.fail()) failed = std::fwrite(text.data(), 1, text.size(), target) != text.size();
  // A replacing file that is not closed is discarded: a failed export leaves the old file.
  if (failed || out.fail() || !target.Close()) {
    AK_ErrorText = AK_String("cannot write file '") + file + "'";
    return;
  }
  SW_MeshMessage(file + " written", SW_MeshMessageAt::ContourExportDone);
}

// ---------------------------------------------------------------------------------------
// Drawing

void SW_Mesh::DrawCellLifted(int32_t c, float d) const
{
  AK_Vec3 n = CellAreaVector(c);
  n *= 1.0 / n.Length();
  glBegin(GL_POLYGON);
  EmitNormal(n);
  const AK_Index4& cell = Cells()[c];
  for (int k = 0; k < 4 && cell[k] >= 0; ++k) Emit(Vertex(cell[k]) + n * static_cast<double>(d));
  glEnd();
}

void SW_Mesh::Draw()
{
  if (ContourLinesStale()) ComputeContourLines();
  const clock_t t0 = std::clock();

  if (_displayList && EnabledDisplayLists && _displayListStamp > LastModificationTime()) {
    glCallList(_displayList);
    SW_MeshMessage(AK_String::Format("frames_per_sec:%g", 1000.0 / (std::clock() + 1 - t0)),
                   SW_MeshMessageAt::DisplayListFrameRate);
    return;
  }
  if (_displayList) {
    glDeleteLists(_displayList, 1);
    _displayList = 0;
  }
  if (EnabledDisplayLists) {
    _displayList = glGenLists(1);
    _displayListStamp = AK_NewStamp();
    if (_displayList) glNewList(_displayList, GL_COMPILE_AND_EXECUTE);
  }

  if (NumVertices() > 0) {
    if (NumCells() == 0 || DisplayNodeLabels) {
      glBegin(GL_POINTS);
      for (const AK_Vec3& p : Vertices()) Emit(p);
      glEnd();
    }
    if (DisplayNodeLabels)
      for (int32_t v = 0; v < NumVertices(); ++v) {
        const AK_Vec3& p = Vertex(v);
        const double at[3] = {p.x, p.y, p.z};
        SW_DrawText("8_BY_13", at, AK_String(v + 1));
      }
    if (NumCells() > 0) {
      if (_data._vertexNormals.Size() != NumVertices()) _data.ComputeVertexNormals();
      if (DisplayFaces) DrawFaces();
      if (DisplayConnectivity) DrawConnectivity();
      if (BreakLinesAngle > 0.1) DrawBendEdges();
    }
    if (_contourLines && DisplayContourLines) DrawContourLines();
    if (DrawGrid) DrawCoordinateGrid();
  }

  if (_displayList) glEndList();
  if (!GetVariable("$glarr").IsEmpty())
    SW_MeshMessage(AK_String::Format("frames_per_sec:%g", 1000.0 / (std::clock() - t0 + 1e-30)),
                   SW_MeshMessageAt::DrawFrameRate);
}

void SW_Mesh::DrawFaces()
{
  const double lo = std::cos(InclMax * kPi / 180), hi = std::cos(InclMin * kPi / 180);
  if (DrawCoarsened) {
    if (!_coarseMesh) {
      _coarseMesh = std::make_unique<SW_Mesh>("coarse", this);
      _coarseMesh->BaseMesh = GetAbsolutePath();
      _coarseMesh->Dx = 3 * _data._dx;
      _coarseMesh->CoverWithCartesianGrid();
    }
    const SW_Mesh& m = *_coarseMesh;
    for (int32_t c = 0; c < m.NumCells(); ++c) {
      glBegin(GL_POLYGON);
      for (int k = 0; k < m.CornerCount(c); ++k) {
        int32_t v = m.Cells()[c][k];
        if (ShadeIncl) SetInclinationColor(m.VertexNormals()[v], lo, hi, Color);
        EmitNormal(m.VertexNormals()[v]);
        Emit(m.Vertex(v));
      }
      glEnd();
    }
    return;
  }
  for (int32_t c = 0; c < NumCells(); ++c) {
    const AK_Index4& cell = Cells()[c];
    glBegin(GL_POLYGON);
    if (!SmoothShading) {
      AK_Vec3 a = CellAreaVector(c);
      EmitNormal(a);
      if (ShadeIncl) SetInclinationColor(a, lo, hi, Color);
    }
    for (int k = 0; k < 4 && cell[k] >= 0; ++k) {
      if (SmoothShading) {
        const AK_Vec3& n = VertexNormals()[cell[k]];
        if (ShadeIncl) SetInclinationColor(n, lo, hi, Color);
        EmitNormal(n);
      }
      Emit(Vertex(cell[k]));
    }
    glEnd();
  }
}

void SW_Mesh::DrawConnectivity()
{
  if (_data._lcc.Size() != NumCells()) _data.ComputeConnectivity();
  glColor3f(0, 1, 1);
  glBegin(GL_LINES);
  for (int32_t c = 0; c < NumCells(); ++c) {
    const AK_Vec3 p = CellCentre(c);
    for (int k = 0; k < 4; ++k) {
      int32_t d = Neighbour(c, k);
      if (d < 0) continue;
      Emit(p);
      Emit((p + CellCentre(d)) * 0.5);
    }
  }
  glEnd();
}

void SW_Mesh::DrawBendEdges()
{
  if (_data._lcc.Size() != NumCells()) _data.ComputeConnectivity();
  const double cosA = std::cos(BreakLinesAngle * kPi / 180);
  glColor3f(0, 1, 1);
  glBegin(GL_LINES);
  for (int32_t c = 0; c < NumCells(); ++c) {
    AK_Vec3 n = CellAreaVector(c);
    n *= 1.0 / n.Length();
    const AK_Index4& cell = Cells()[c];
    for (int k = 0; k < CornerCount(c); ++k) {
      int32_t d = Neighbour(c, k);
      if (d < 0) continue;
      AK_Vec3 m = CellAreaVector(d);
      m *= 1.0 / m.Length();
      if (cosA > n.Dot(m)) {
        Emit(Vertex(cell[k]));
        Emit(Vertex(cell[(k + 1) % CornerCount(c)]));
      }
    }
  }
  glEnd();
}

void SW_Mesh::DrawContourLines()
{
  glDisable(GL_LIGHTING);
  if (GetVariable("$cont_lines_inv_bg_col") == "0") {
    AK_String colour = GetVariable("$cont_lines_col");
    if (colour.IsEmpty()) {
      SetVariable("$cont_lines_col", "0 0 0");
      colour = "0 0 0";
    }
    double rgb[3];
    if (AK_LeadingNumbers(colour, rgb, 3) == 3 && std::fabs(rgb[0]) <= 1e30 && std::fabs(rgb[1]) <= 1e30 &&
        std::fabs(rgb[2]) <= 1e30)
      glColor3f(static_cast<float>(rgb[0]), static_cast<float>(rgb[1]), static_cast<float>(rgb[2]));
    else SetContrastColor(AK_BackgroundColor);
  } else {
    SetContrastColor(AK_BackgroundColor);
  }
  for (int32_t i = 0; i < _contourLines->Count(); ++i) {
    const SW_ContourLine& line = _contourLines->Line(i);
    const bool major =
        std::fabs(std::fmod(static_cast<double>(line.Level()), ContourLinesMajorStep)) <
        0.1 * ContourLinesMinorStep;
    glLineWidth(static_cast<float>(major ? ContourLinesMajorWidth : ContourLinesMinorWidth));
    glBegin(GL_LINE_STRIP);
    for (const AK_Vec3& p : line.Points()) Emit(p);
    glEnd();
    if (major && ContourLinesLabelled)
      SW_DrawContourLabels(line.Points(), line.Level(), static_cast<float>(ContourLinesLabelDistance),
                           ContourLinesLabelsFont);
  }
}

void SW_Mesh::DrawCoordinateGrid()
{
  float min[3], max[3];
  if (!GetBoundingBox(min, max) || !(GridSize > 0)) return;
  const double g = GridSize;
  auto snap = [g](double v) { return std::trunc(v > 0 ? v / g + 0.5 : v / g - 0.5) * g; };
  const float x0 = static_cast<float>(snap(min[0])), y0 = static_cast<float>(snap(min[1]));
  const float x1 = static_cast<float>(snap(max[0])), y1 = static_cast<float>(snap(max[1]));
  const float z = max[2], step = static_cast<float>(g);
  // A grid of more lines than a screen has pixels says nothing; it is left out.
  if (!((x1 - x0) / step < 10000 && (y1 - y0) / step < 10000)) return;
  glDisable(GL_LIGHTING);
  SetContrastColor(AK_BackgroundColor);
  glBegin(GL_LINES);
  for (float x = x0; x < x1 + step / 2; x += step) {
    glVertex3f(x, y0, z);
    glVertex3f(x, y1, z);
  }
  for (float y = y0; y < y1 + step / 2; y += step) {
    glVertex3f(x0, y, z);
    glVertex3f(x1, y, z);
  }
  glEnd();
  const double a[3] = {x0, y0, z}, b[3] = {x1, y1, z};
  SW_DrawText(ContourLinesLabelsFont, a, AK_String::Format("%.15g, %.15g", static_cast<double>(x0), static_cast<double>(y0)));
  SW_DrawText(ContourLinesLabelsFont, b, AK_String::Format("%.15g, %.15g", static_cast<double>(x1), static_cast<double>(y1)));
}
