// SW_Mesh: construction, attributes, the commands and the record.
#include "SW_Mesh.h"

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <vector>

#include "AK_Record.h"
#include "AK_Text2d.h"
#include "AK_WeakRef.h"
#include "SW_FileFormats.h"
#include "SW_LineFiles.h"
#include "SW_MeshEdit.h"
#include "SW_MeshRecord.h"
#include "SW_MeshFiles.h"

namespace {

// The path without its extension; a '.' before the last separator is part of a directory.
AK_String WithoutExtension(const char* path)
{
  AK_String p(path);
  if (!AK_String(path).GetExtension().IsEmpty() || (p.Length() > 0 && p[p.Length() - 1] == '.'))
    p.CutExtension();
  return p;
}

// The points of a polyline object, read through its vertex selection ("SelectedVertex" counts
// from 1, 0 for none; "CoordsOfSelectedVertex"), which is restored afterwards. A vertex whose
// coordinates do not read as three numbers comes as a point that is no number, so that the
// break line is cut there rather than joined across it.
void PolylinePoints(AK_Object* line, AK_Array<AK_Vec3>& points)
{
  const AK_String selected = line->Get("SelectedVertex");
  const int32_t n = AK_Atoi(line->Get("NumVertices"));
  for (int32_t i = 1; i <= n; ++i) {
    line->Set("SelectedVertex", AK_String(i));
    double p[3];
    if (AK_String(line->Get("CoordsOfSelectedVertex")).ToDoubles(p, 3) == 3)
      points.Append(AK_Vec3(p[0], p[1], p[2]));
    else
      points.Append(AK_Vec3(NAN, NAN, NAN));
  }
  line->Set("SelectedVertex", selected);
}

}  // namespace

void SW_MeshData::DropDerivedGeometry() { _owner->DropDerivedData(); }

SW_Mesh::SW_Mesh(const char* id, AK_Object* parent) : AK_Class(id, parent)
{
  SetUpClassLevel();
  Color[0] = 0.98f;
  Color[1] = 0.92f;
  Color[2] = 0.84f;
  PolygonsFilled = 1;
  Shaded = 1;
  PolygonOffsetFill = 1;
  PolygonOffsetFactors[0] = PolygonOffsetFactors[1] = 10;
  GiveBoxParameters();
  _data._nx = Nx;
  _data._ny = Ny;
  RunClassDefaults();
}

SW_Mesh::~SW_Mesh()
{
  Clear();
  if (_displayList) glDeleteLists(_displayList, 1);
}

void SW_Mesh::DeclareAttributes(AK_AttributeTableOf<SW_Mesh>& t)
{
  const double tiny = DBL_MIN;
  t.Int("Nx", &SW_Mesh::Nx).Range(1, 100000000);
  t.Int("Ny", &SW_Mesh::Ny).Range(1, 100000000);
  t.Double("Length", &SW_Mesh::Length);
  t.Double("Width", &SW_Mesh::Width);
  t.Double("Inclination", &SW_Mesh::Inclination);
  t.Double("Dx", &SW_Mesh::Dx).Range(tiny, HUGE_VAL);
  t.Vector("Xll", &SW_Mesh::Xll);
  t.Vector("Xor", &SW_Mesh::Xor);
  t.Switch("DisplayFaces", &SW_Mesh::DisplayFaces);
  t.Switch("SmoothShading", &SW_Mesh::SmoothShading);
  t.Switch("DisplayConnectivity", &SW_Mesh::DisplayConnectivity);
  t.Switch("DisplayNodeLabels", &SW_Mesh::DisplayNodeLabels);
  t.Switch("DisplayContourLines", &SW_Mesh::DisplayContourLines);
  t.Double("ContourLinesMinorStep", &SW_Mesh::ContourLinesMinorStep).Range(tiny, HUGE_VAL);
  t.Double("ContourLinesMajorStep", &SW_Mesh::ContourLinesMajorStep).Range(tiny, HUGE_VAL);
  t.Double("ContourLinesMinorWidth", &SW_Mesh::ContourLinesMinorWidth).Range(0, HUGE_VAL);
  t.Double("ContourLinesMajorWidth", &SW_Mesh::ContourLinesMajorWidth).Range(0, HUGE_VAL);
  t.Switch("ContourLinesLabelled", &SW_Mesh::ContourLinesLabelled);
  t.Double("ContourLinesLabelDistance", &SW_Mesh::ContourLinesLabelDistance);
  t.Text("ContourLinesLabelsFont", &SW_Mesh::ContourLinesLabelsFont);
  t.Switch("DrawGrid", &SW_Mesh::DrawGrid);
  t.Double("GridSize", &SW_Mesh::GridSize).Range(tiny, HUGE_VAL);
  t.Double("BreakLinesAngle", &SW_Mesh::BreakLinesAngle);
  t.Switch("ShadeIncl", &SW_Mesh::ShadeIncl);
  t.Double("InclMin", &SW_Mesh::InclMin);
  t.Double("InclMax", &SW_Mesh::InclMax);
  t.Text("BaseMesh", &SW_Mesh::BaseMesh).Path("DHM");
  t.Int("SmootherIterations", &SW_Mesh::SmootherIterations).Range(0, 1000000);
  t.Switch("DrawCoarsened", &SW_Mesh::DrawCoarsened);
  t.Int("NumNoDataValueInterpolationIterations", &SW_Mesh::NumNoDataValueInterpolationIterations)
      .Range(0, INT32_MAX);
  t.Vector("XActive", &SW_Mesh::XActive);

  t.Vis("DisplayContourLinesVis", [](SW_Mesh& m) { return m.DisplayContourLines ? "w" : "-"; });
  t.Vis("ContourLinesLabelsVis", [](SW_Mesh& m) { return m.ContourLinesLabelled ? "w" : "r"; });
  t.Vis("ShadeInclVis", [](SW_Mesh& m) { return m.ShadeIncl ? "w" : "-"; });
  t.Vis("DxVis", [](SW_Mesh& m) { return m.IsGrid() ? "r" : "w"; });
  t.Options("ContourLinesLabelsFontOptions", [](SW_Mesh&) { return AK_Text2d::GetFontList(); });
  t.Options("MeshNamesList", [](SW_Mesh& m) { return m.GetMeshNamesList(); });
  t.Options("Polylines", [](SW_Mesh& m) { return m.GetPolylinesList(); });
  t.Answer("NumVertices", [](SW_Mesh& m) { return AK_String(m.NumVertices()); });
  t.Answer("NumCells", [](SW_Mesh& m) { return AK_String(m.NumCells()); });
  t.Answer("ProjectedArea", [](SW_Mesh& m) { return AK_FormatDouble(m._data._totalArea.z); });
  t.Answer("Resolution", [](SW_Mesh& m) { return AK_FormatDouble(m.GetResolution()); });
  t.Answer("RegularGrid", [](SW_Mesh& m) { return AK_String(m.RegularGrid()); });
  t.Answer("HActive", [](SW_Mesh& m) {
    AK_Vec3 p(m.XActive[0], m.XActive[1], 0);
    m.HeightAt(p, -1);
    return AK_FormatDouble(p.z);
  });
  t.Answer("NActive", [](SW_Mesh& m) {
    int32_t c = m.FindCell(m.XActive[0], m.XActive[1], -1);
    double n[3] = {0, 0, 1};
    if (c >= 0) {
      AK_Vec3 a = m.CellAreaVector(c);
      a *= 1.0 / a.Length();
      n[0] = a.x, n[1] = a.y, n[2] = a.z;
    }
    return AK_String(n, 3);
  });

  t.Command("Export", &SW_Mesh::Export);
  t.Command("ExportContourLines", &SW_Mesh::ExportContourLines);
  t.Command("SetToPlane", &SW_Mesh::SetToPlane);
  t.Command("Import", [](SW_Mesh& m, const char* v) { m.Import(v, 0); });
  t.Command("InsertBreakLines", &SW_Mesh::InsertBreakLines);
  t.Command("InsertBreakLine", &SW_Mesh::InsertBreakLine);
  t.Command("SetToCartesianGrid", &SW_Mesh::SetToCartesianGrid);
  t.Command("SetToHoneyCombGrid", &SW_Mesh::SetToHoneyCombGrid);
  t.Command("ProjectOnto", [](SW_Mesh& m, const char*) {
    if (SW_Mesh* base = m.FindBaseMesh()) m.ProjectOnto(base);
  });
  t.Command("InterpolateNormalsFrom", &SW_Mesh::InterpolateNormalsFromBaseMesh);
  t.Command("CoverWithCartesianGrid", &SW_Mesh::CoverWithCartesianGrid);
  t.Command("CoverWithHoneyCombGrid", &SW_Mesh::CoverWithHoneyCombGrid);
  t.Command("Smooth", [](SW_Mesh& m, const char*) { m.Smooth(m.SmootherIterations); });
  t.Command("SmoothVertexNormals",
            [](SW_Mesh& m, const char*) { m.SmoothVertexNormals(m.SmootherIterations); });
  t.Command("CreateCurvatureField", &SW_Mesh::CreateCurvatureField);
  t.Command("RemoveCurvatureField", &SW_Mesh::RemoveCurvatureField);
  t.Command("CreateNormalsField", &SW_Mesh::CreateNormalsField);
  t.Command("RemoveNormalsField", &SW_Mesh::RemoveNormalsField);
  t.Command("MinimizeCurvature", &SW_Mesh::MinimizeCurvature);
}

// ---------------------------------------------------------------------------------------
// State

void SW_Mesh::DropDerivedData()
{
  _contourLines.reset();
  _coarseMesh.reset();
  if (_displayList) {
    glDeleteLists(_displayList, 1);
    _displayList = 0;
  }
}

void SW_Mesh::Clear()
{
  _data.ClearGeometry();
  _data._totalArea = AK_Vec3();
  DropDerivedData();
}

double SW_Mesh::GetResolution() const
{
  return std::sqrt(_data._totalArea.z / (NumCells() + 1e-30));
}

void SW_Mesh::TakeGridParameters()
{
  Nx = _data._nx;
  Ny = _data._ny;
  Dx = _data._dx;
  Xll[0] = _data._xll.x;
  Xll[1] = _data._xll.y;
  Xor[0] = _data._upperRight.x;
  Xor[1] = _data._upperRight.y;
}

void SW_Mesh::GiveBoxParameters()
{
  _data._xll = AK_Vec2{Xll[0], Xll[1]};
  _data._upperRight = AK_Vec2{Xor[0], Xor[1]};
}

int SW_Mesh::GetBoundingBox(float min[3], float max[3])
{
  AK_Vec3 lo, hi;
  if (!_data.VertexBox(lo, hi)) return 0;
  min[0] = static_cast<float>(lo.x), min[1] = static_cast<float>(lo.y), min[2] = static_cast<float>(lo.z);
  max[0] = static_cast<float>(hi.x), max[1] = static_cast<float>(hi.y), max[2] = static_cast<float>(hi.z);
  ExtendBoundingBox(min, max);
  return 1;
}

AK_String SW_Mesh::GetMeshNamesList()
{
  AK_String list;
  GetRoot()->ListObjectsOfType(list, "DHM", this, nullptr);
  return list;
}

AK_String SW_Mesh::GetPolylinesList()
{
  AK_String list;
  GetRoot()->ListObjectsOfType(list, "Polyline", this, nullptr);
  return list;
}

SW_Mesh* SW_Mesh::FindBaseMesh()
{
  AK_Object* found = FindObject(BaseMesh);
  if (!found || found == this || !found->IsA("DHM")) return nullptr;
  return dynamic_cast<SW_Mesh*>(found);
}

// ---------------------------------------------------------------------------------------
// Generators

void SW_Mesh::SetToPlane()
{
  Clear();
  AK_String error;
  // The plane sets the box parameters only: "Dx" stays the generators' cell size.
  if (SW_SetToPlane(_data, Nx, Ny, Length, Width, Inclination, error)) {
    Xll[0] = Xll[1] = 0;
    Xor[0] = Length;
    Xor[1] = Width;
  } else {
    AK_ErrorText = error;
  }
}

void SW_Mesh::SetToCartesianGrid()
{
  Clear();
  GiveBoxParameters();
  AK_String error;
  if (SW_SetToCartesianGrid(_data, Dx, error)) TakeGridParameters();
  else AK_ErrorText = error;
}

void SW_Mesh::SetToHoneyCombGrid()
{
  Clear();
  GiveBoxParameters();
  AK_String error;
  if (SW_SetToHoneyCombGrid(_data, Dx, error)) TakeGridParameters();
  else AK_ErrorText = error;
}

void SW_Mesh::CoverWithCartesianGrid(const char*)
{
  SW_Mesh* base = FindBaseMesh();
  float min[3], max[3];
  if (!base || !base->GetBoundingBox(min, max)) return;
  Xll[0] = min[0], Xll[1] = min[1];
  Xor[0] = max[0], Xor[1] = max[1];
  SetToCartesianGrid();
  if (NumCells() > 0) ProjectOnto(base);
}

void SW_Mesh::CoverWithHoneyCombGrid(const char*)
{
  SW_Mesh* base = FindBaseMesh();
  float min[3], max[3];
  if (!base || !base->GetBoundingBox(min, max)) return;
  Xll[0] = min[0], Xll[1] = min[1];
  Xor[0] = max[0], Xor[1] = max[1];
  SetToHoneyCombGrid();
  if (NumCells() > 0) ProjectOnto(base);
}

// ---------------------------------------------------------------------------------------
// Import and export

void SW_Mesh::Import(const char* path, int halvings)
{
  const AK_String file(path ? path : "");
  const SW_FileFormatEntry& format = SW_FileFormatOf(file);
  AK_String error;
  bool ok = false;
  if (format.readTerrain) {
    const SW_TerrainReadOptions options{halvings, NumNoDataValueInterpolationIterations != 0};
    ok = format.readTerrain(_data, file, options, error);
  } else {
    error = AK_String("cannot import '") + file + "': unknown file extension";
  }
  if (ok && NumCells() == 0) {
    error = AK_String("no terrain in '") + file + "'";
    ok = false;
  }
  if (!ok) {
    AK_MESSAGE(AK_String("ERROR:") + error);
    AK_ErrorText = error;
    return;
  }
  // The point-set readers leave the normals to the caller; everything standing on the mesh
  // reads one per vertex.
  if (_data._vertexNormals.Size() != NumVertices()) _data.ComputeVertexNormals();
  if (_data._cartesian) TakeGridParameters();
  else MeasureImportedMesh();
  ImportBesideFiles(file);
}

void SW_Mesh::MeasureImportedMesh()
{
  float min[3], max[3];
  if (!GetBoundingBox(min, max)) return;
  double area = 0;
  for (int32_t c = 0; c < NumCells(); ++c) area += CellAreaVector(c).z;
  const double dx = std::sqrt(std::fabs(area) / (NumCells() + 0.001));
  const double qx = static_cast<double>(max[0] - min[0]) / dx + 1.0;
  const double qy = static_cast<double>(max[1] - min[1]) / dx + 1.0;
  if (!(dx > 0) || !(qx < INT32_MAX) || !(qy < INT32_MAX)) return;
  _data._xll = AK_Vec2{min[0], min[1]};
  _data._upperRight = AK_Vec2{max[0], max[1]};
  _data._dx = dx;
  _data._nx = static_cast<int32_t>(qx);
  _data._ny = static_cast<int32_t>(qy);
  TakeGridParameters();
}

void SW_Mesh::ImportBesideFiles(const char* path)
{
  if (SW_ImportBesideMesh) SW_ImportBesideMesh(*this, path);
  const AK_String base = WithoutExtension(path);
  for (const char* ext : {".jpg", ".ppm"}) {
    AK_String texture = base + ext;
    if (AK_FileExists(texture)) {
      SetTextureFileName(texture);
      break;
    }
  }
}

void SW_Mesh::Export(const char* path)
{
  AK_String error;
  if (_data._cartesian && _data._rowHeight == 0) {
    if (!SW_ExportMesh(_data, path ? path : "", error)) AK_ErrorText = error;
    return;
  }
  // Any other mesh (oblong Cartesian cells included) is sampled on the grid of the box and
  // cell size of the parameters. The export lays that grid into the mesh's grid description,
  // which a grid needs for locating points: it is kept aside and put back, and meanwhile
  // points are found by walking the cells.
  SW_MeshCore& m = _data;
  const int32_t nx = m._nx, ny = m._ny, honeycomb = m._honeycomb, cartesian = m._cartesian;
  const double dx = m._dx, rowHeight = m._rowHeight;
  const AK_Vec2 xll = m._xll, upperRight = m._upperRight;
  GiveBoxParameters();
  m._dx = Dx;
  m._honeycomb = m._cartesian = 0;
  if (!SW_ExportMesh(m, path ? path : "", error)) AK_ErrorText = error;
  if (m._nx != nx || m._ny != ny) Nx = m._nx, Ny = m._ny;
  if (honeycomb || cartesian) {
    m._nx = nx, m._ny = ny, m._dx = dx, m._xll = xll, m._upperRight = upperRight, m._rowHeight = rowHeight;
    m._honeycomb = honeycomb, m._cartesian = cartesian;
  }
}

void SW_Mesh::InsertBreakLines(const char* path)
{
  const AK_String file(path ? path : "");
  const SW_FileFormatEntry& format = SW_FileFormatOf(file);
  if (!format.readLines) return;
  AK_Array<AK_NamedPolyline> lines;
  AK_Array<AK_String> names;
  if (!format.readLines(file, lines, names)) {
    AK_ErrorText = AK_String("cannot open file '") + file + "'";
    return;
  }
  InsertIntoTerrain(lines);
}

void SW_Mesh::InsertBreakLine(const char* objectPath)
{
  if (!objectPath || !*objectPath) return;
  AK_Object* line = FindObject(objectPath);
  if (!line) return;
  if (!line->IsA("Polyline")) {
    AK_ErrorText = AK_String("'") + objectPath + "' is no polyline";
    return;
  }
  AK_NamedPolyline record;
  PolylinePoints(line, record.points);
  AK_Array<AK_NamedPolyline> lines;
  lines.Append(record);
  InsertIntoTerrain(lines);
}

void SW_Mesh::InsertIntoTerrain(const AK_Array<AK_NamedPolyline>& lines)
{
  AK_String error;
  if (!_data.TriangulateWithBreakLines(lines, 1, error, true)) {
    AK_MESSAGE(AK_String("ERROR:") + error);
    AK_ErrorText = error;
  }
}

// ---------------------------------------------------------------------------------------
// Mesh to mesh

void SW_Mesh::ProjectOnto(SW_Mesh* base)
{
  if (!base || base == this) return;
  AK_OperationScope scope;
  AK_MESSAGE(AK_String("projecting mesh ") + Id() + " onto mesh " + base->Id() + "...");
  const int32_t missing = _data.ProjectHeightsOnto(base->Core());
  if (NumVertices() > 0 && missing == NumVertices()) {
    AK_String error = AK_String("mesh ") + Id() + " lies wholly outside mesh " + base->Id() +
                      ": no vertex gets a height, the mesh is unchanged";
    AK_MESSAGE(AK_String("ERROR:") + error);
    AK_ErrorText = error;
    return;
  }
  if (!(_data._cartesian && NumNoDataValueInterpolationIterations != 0 &&
        SW_FillNoDataAreas(_data, SW_NoDataHeight)))
    _data.RemoveNoDataCells(SW_NoDataHeight);
  if (NumCells() > 0) _data.ComputeVertexNormals();
  DropDerivedData();
  std::vector<AK_Object*> components;
  for (int i = 0; i < ComponentCount(); ++i) components.push_back(Component(i));
  for (AK_Object* c : components)
    if (c && !c->IsDead() && !base->IsDead()) c->Set("ProjectOnto", base->GetAbsolutePath(c));
  AK_MESSAGE(AK_String("projecting mesh ") + Id() + " onto mesh " + base->Id() + " done");
}

void SW_Mesh::InterpolateNormalsFrom(SW_Mesh* base)
{
  if (!base || base == this) return;
  AK_MESSAGE(AK_String("interpolationg normals of ") + Id() + " from mesh " + base->Id() + "...");
  _data.InterpolateNormalsFromMesh(base->Core());
  DropDerivedData();
}

void SW_Mesh::InterpolateNormalsFromBaseMesh() { InterpolateNormalsFrom(FindBaseMesh()); }

// ---------------------------------------------------------------------------------------
// Conditioning

void SW_Mesh::Smooth(int passes)
{
  AK_MESSAGE(AK_String("smoothing mesh ") + Id() + " " + AK_String(passes) + " times...");
  AK_Array<AK_Vec3> before = _data._x;
  _data.SmoothVertexArray(_data._x, passes);
  // Smoothing moves x and y too (at the border above all): a grid whose points moved no
  // longer lies where the grid arithmetic of point location looks for its cells.
  if (_data.IsGrid())
    for (int32_t v = 0; v < NumVertices(); ++v)
      if (_data._x[v].x != before[v].x || _data._x[v].y != before[v].y) {
        _data._cartesian = _data._honeycomb = 0;
        break;
      }
  _data.ComputeVertexNormals();
  DropDerivedData();
  ComputeContourLines();
  AK_MESSAGE("smoothing mesh done");
}

void SW_Mesh::SmoothVertexNormals(int passes)
{
  AK_MESSAGE(AK_String("smoothing vertex normals of ") + Id() + " " + AK_String(passes) + " times");
  if (_data._vertexNormals.Size() != NumVertices()) _data.ComputeVertexNormals();
  _data.SmoothVertexArray(_data._vertexNormals, passes);
  DropDerivedData();
}

void SW_Mesh::MinimizeCurvature()
{
  if (SW_MinimizeCurvature(_data) > 0) DropDerivedData();
  _data.ComputeVertexNormals();
  ComputeContourLines();
}

void SW_Mesh::RemoveCurvatureField() { DeleteComponent("curvature"); }

void SW_Mesh::RemoveNormalsField() { DeleteComponent("normals"); }

SW_MeshFieldMakers SW_FieldMakers;
void (*SW_ImportBesideMesh)(SW_Mesh& mesh, const char* path) = nullptr;

void SW_Mesh::CreateCurvatureField()
{
  if (!SW_FieldMakers.cellValues) {
    AK_ErrorText = "CreateCurvatureField: not available";
    return;
  }
  DeleteComponent("curvature");
  if (_data._vertexNormals.Size() != NumVertices()) _data.ComputeVertexNormals();
  AK_Array<float> values;
  _data.CellCurvatures(values);
  AddComponent(SW_FieldMakers.cellValues(*this, "curvature", Id() + " curvature [1/m]", values));
}

void SW_Mesh::CreateNormalsField()
{
  if (!SW_FieldMakers.vertexVectors) {
    AK_ErrorText = "CreateNormalsField: not available";
    return;
  }
  DeleteComponent("normals");
  if (_data._vertexNormals.Size() != NumVertices()) _data.ComputeVertexNormals();
  AK_Array<AK_Vec3> vectors = _data._vertexNormals;
  for (AK_Vec3& n : vectors) {
    const double length = n.Length();
    n = length > 0 ? n * (1.0 / length) : AK_Vec3();
  }
  AddComponent(SW_FieldMakers.vertexVectors(*this, "normals", Id() + " normals", vectors));
}

// ---------------------------------------------------------------------------------------
// Terrain files without a mesh

bool SW_Mesh::ReadAsciiGridHeader(const char* path, double lowerLeft[2], double upperRight[2],
                                  double& cellSize)
{
  return SW_ReadAsciiGridHeader(path, lowerLeft, upperRight, cellSize);
}

bool SW_Mesh::ReadGridTiles(const char* list)
{
  AK_String error;
  if (!SW_ReadGridTiles(_data, list ? list : "", NumNoDataValueInterpolationIterations != 0, error)) {
    AK_ErrorText = error;
    return false;
  }
  TakeGridParameters();
  return true;
}

// ---------------------------------------------------------------------------------------
// Record

int SW_Mesh::SaveData(AK_STREAM& stream)
{
  if (_skipBinaryData) return 0;
  return SW_SaveMeshRecord(stream, this, _data);
}

int SW_Mesh::LoadData(AK_STREAM& stream)
{
  if (_skipBinaryData) return 0;
  DropDerivedData();
  int result = SW_LoadMeshRecord(stream, this, _data);
  if (result == 0 && _data.IsGrid()) TakeGridParameters();
  return result;
}
