#include "SW_Polyline.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "AK_Files.h"
#include "AK_NumberText.h"
#include "AK_Record.h"
#include "AK_Text2d.h"
#include "SW_FileFormats.h"
#include "SW_LineFiles.h"
#include "SW_Mesh.h"
#include "SW_PolylineGeometry.h"

SW_Polyline::SW_Polyline(const char* id, AK_Object* parent) : AK_Class(id, parent)
{
  SetUpClassLevel();
  PointSize = 3;
  LineWidth = 2;
  RunClassDefaults();
}

void SW_Polyline::DeclareAttributes(AK_AttributeTableOf<SW_Polyline>& t)
{
  using P = SW_Polyline;
  t.Answer("BaseMeshName", [](P& p) { return p._baseMeshName; })
      .Path("DHM")
      .repath = [](AK_Object& o, const char* path) { static_cast<P&>(o)._baseMeshName = path; };
  t.Options("MeshNamesList", [](P& p) { return p.MeshNamesList(); });
  t.Attribute("SelectedVertex", [](P& p) { return p.SelectedVertexText(); }, &P::SelectVertex);
  t.Int("DrawResampled", &P::_drawResampled);
  t.Int("VertexLabels", &P::_vertexLabels);
  t.Text("LabelFont", &P::_labelFont);
  t.Options("FontList", [](P&) { return AK_Text2d::GetFontList(); });
  t.Options("PolylinesList", [](P& p) { return p.PolylinesList(); });
  t.Answer("ProjectedLength", [](P& p) { return AK_FormatDouble(p.ProjectedLength()); });
  t.Answer("NumVertices", [](P& p) { return AK_String(p.Points().Count()); });
  t.Answer("CoordsOfSelectedVertex", [](P& p) { return p.CoordsOfSelectedVertex(); });
  t.Attribute("Annotations", [](P& p) { return p._line.text; },
              [](P& p, const char* v) { p._line.text = v; });
  t.Command("Import", &P::Import);
  t.Command("Export", &P::Export);
  t.Command("ProjectOnto", &P::ProjectOntoNamed);
  t.Command("ListPoints", &P::ListPoints);
  t.Command("AppendPoint", &P::AppendPoint);
  t.Command("UnselectVertex", [](P& p, const char*) { p._selectedVertex = -1; });
  t.Command("MoveVertex", &P::MoveVertex);
  t.Command("InsertPoint", &P::InsertPoint);
  t.Command("RemoveVertex", &P::RemoveVertex);
  t.Command("Reverse", &P::Reverse);
  t.Command("Clear", &P::Clear);
  t.Command("CopyCoordsOf", &P::CopyCoordsOf);
  t.Command("ProjectedDistance", &P::ProjectedDistance);
}

// ---------------------------------------------------------------------------------------
// Points and box

void SW_Polyline::UpdateBoundingBox() { SW_PointsBox(_line.points, _boxMin, _boxMax); }

int SW_Polyline::GetBoundingBox(float min[3], float max[3])
{
  if (_line.points.Count() < 1) return 0;
  for (int k = 0; k < 3; ++k) {
    min[k] = static_cast<float>(_boxMin[k]);
    max[k] = static_cast<float>(_boxMax[k]);
  }
  ExtendBoundingBox(min, max);
  return 1;
}

// ---------------------------------------------------------------------------------------
// Record

int SW_Polyline::SaveData(AK_STREAM& stream)
{
  AK_RecordWriter w(stream, this, "SW_Polyline", 0);
  w.Array(_line.points);
  return w.Finish(__FILE__, __LINE__);
}

int SW_Polyline::LoadData(AK_STREAM& stream)
{
  // Polygons were once stored under a tag of their own; both read alike.
  AK_RecordReader r(stream, this, "SW_Polyline");
  AK_String tag;
  r >> tag;
  if (tag != "SW_Polyline:v0" && tag != "SW_Polygon:v0") stream.MarkFailed();
  AK_Array<AK_Vec3> points;
  r.Array(points, AK_RecordCountLimit);
  return r.Finish(__FILE__, __LINE__, [&] {
    _line.points = static_cast<AK_Array<AK_Vec3>&&>(points);
    UpdateBoundingBox();
  });
}

// ---------------------------------------------------------------------------------------
// Files

void SW_Polyline::TakeNameFromAnnotations()
{
  AK_String name = AK_String::GetKeyValue(_line.text, "name", '=', ';');
  if (!name.IsEmpty()) Set("Id", name);
}

void SW_Polyline::Import(const char* fileName)
{
  if (!AK_FileExists(fileName)) {
    AK_ErrorText = AK_String("file '") + fileName + "' does not exist!";
    return;
  }
  const SW_FileFormatEntry& format = SW_FileFormatOf(fileName);
  bool failed = false;
  if (format.readLine) {
    _line.points.Clear();
    failed = !format.readLine(_line, fileName);
  } else if (format.readNextLine) {
    _line.points.Clear();
    std::ifstream in;
    AK_String entity;
    failed = !AK_OpenTextInput(in, fileName) || !format.readNextLine(in, _line, entity);
  } else {
    failed = true;  // a file of no known kind must not look imported
  }
  if (format.flat && !failed) {
    if (SW_Mesh* mesh = BaseMesh()) ProjectOnto(mesh);
  }
  if (failed) AK_ErrorText = AK_String("error occurred during import from '") + fileName + "'";
  else TakeNameFromAnnotations();
  UpdateBoundingBox();
}

void SW_Polyline::Export(const char* fileName)
{
  const SW_FileFormatEntry& format = SW_FileFormatOf(fileName);
  bool failed = false;
  if (format.writeLine) {
    failed = !format.writeLine(_line, fileName);
  } else if (format.writeNextLine) {
    std::ostringstream out;
    format.beginLines(out);
    format.writeNextLine(out, _line, Id(), 9, _closed);
    format.endLines(out);
    failed = out.fail() || !AK_WriteWholeFile(fileName, out.str());
  }
  if (failed) AK_ErrorText = AK_String("error occurred during export to '") + fileName + "'";
}

bool SW_Polyline::ReadAnoRecord(std::istream& in)
{
  SW_AnoRecord record;
  const bool read = SW_ReadAnoRecord(in, record);
  if (!record.name.IsEmpty()) SetUniqueId(record.name);
  if (record.autoColored >= 0) {
    AutoColored = record.autoColored;
    if (record.color) ParseFloatTripleList(record.color, Color);
  }
  for (const AK_Vec3& p : record.points) _line.points.Append(p);
  UpdateBoundingBox();
  return read && record.count != 0;
}

bool SW_Polyline::ReadPointsFromStream(std::istream& in)
{
  const bool result = SW_ReadOutlinePoints(_line.points, in);
  UpdateBoundingBox();
  return result;
}

// ---------------------------------------------------------------------------------------
// Base mesh

SW_Mesh* SW_Polyline::BaseMesh()
{
  if (_baseMeshName.IsEmpty()) return nullptr;
  return dynamic_cast<SW_Mesh*>(FindObject(_baseMeshName));
}

void SW_Polyline::ProjectOnto(SW_Mesh* mesh)
{
  if (!mesh) return;
  const bool report = _line.points.Count() > 100;
  const AK_String what = AK_String("projecting polygon ") + Id() + " onto mesh " + mesh->Id();
  if (report) AK_MESSAGE(what + "...");
  _baseMeshName = mesh->GetAbsolutePath(this);
  int32_t hint = -1;
  for (AK_Vec3& p : _line.points) hint = mesh->HeightAt(p, hint);
  UpdateBoundingBox();
  if (report) AK_MESSAGE(what + " done");
}

void SW_Polyline::ProjectOntoNamed(const char* path)
{
  if (path && *path) ProjectOnto(dynamic_cast<SW_Mesh*>(FindObject(path)));
}

// ---------------------------------------------------------------------------------------
// Editing

namespace {

// Coordinates the text does not give are 0. A point that is not finite would reach every
// length, area and mesh search: it is refused, naming the command.
bool ParsePoint(const char* command, const char* text, AK_Vec3& p)
{
  p = AK_Vec3();
  if (AK_ParseVec3(text ? text : "", p.x, p.y, p.z)) return true;
  AK_ErrorText = AK_String(command) + ": '" + (text ? text : "") + "' is not a finite point";
  return false;
}

}  // namespace

void SW_Polyline::AppendPoint(const char* text)
{
  AK_Vec3 p;
  if (!ParsePoint("AppendPoint", text, p)) return;
  _line.points.Append(p);
  _selectedVertex = _line.points.Count() - 1;
  if (SW_Mesh* mesh = BaseMesh()) mesh->HeightAt(_line.points.Last(), -1);
  UpdateBoundingBox();
}

void SW_Polyline::SelectVertex(const char* text)
{
  if (!text) text = "";
  const int32_t n = _line.points.Count();
  if (!std::strchr(text, ' ') && !std::strchr(text, '.')) {
    int32_t k = AK_Atoi(text) - 1;
    if (k < -1) k = -1;
    if (k >= n) k = n - 1;
    _selectedVertex = k;
    return;
  }
  AK_Vec3 q;
  if (n < 1 || !ParsePoint("SelectVertex", text, q)) return;
  double best = 1e30;
  for (int32_t i = 0; i < n; ++i) {
    const AK_Vec3 d = _line.points[i] - q;
    if (d.Dot(d) < best) {
      best = d.Dot(d);
      _selectedVertex = i;
    }
  }
}

void SW_Polyline::MoveVertex(const char* text)
{
  AK_Vec3 p;
  if (!HasSelectedVertex() || !ParsePoint("MoveVertex", text, p)) return;
  _line.points[_selectedVertex] = p;
  UpdateBoundingBox();
}

void SW_Polyline::InsertPoint(const char* text)
{
  AK_Vec3 p;
  if (!HasSelectedVertex() || !ParsePoint("InsertPoint", text, p)) return;
  InsertPointAt(_line.points, _selectedVertex, p);
  UpdateBoundingBox();
}

void SW_Polyline::InsertPointAt(AK_Array<AK_Vec3>& points, int32_t index, const AK_Vec3& point)
{
  points.Insert(index, point);
}

void SW_Polyline::RemoveVertex()
{
  if (!HasSelectedVertex()) return;
  AK_Array<AK_Vec3>& p = _line.points;
  p.Remove(_selectedVertex);
  if (_selectedVertex >= p.Count()) _selectedVertex = p.Count() - 1;
  if (_selectedVertex < 0) _selectedVertex = 0;
  UpdateBoundingBox();
}

void SW_Polyline::Reverse()
{
  AK_Array<AK_Vec3>& p = _line.points;
  const int32_t n = p.Count();
  for (int32_t i = 0; i < n / 2; ++i) {
    const AK_Vec3 t = p[i];
    p[i] = p[n - 1 - i];
    p[n - 1 - i] = t;
  }
}

void SW_Polyline::Clear()
{
  _line.points.Clear();
  _selectedVertex = -1;
  _line.text = "";
}

void SW_Polyline::CopyCoordsOf(const char* path)
{
  auto* other = dynamic_cast<SW_Polyline*>(FindObject(path ? path : ""));
  if (!other || other == this) return;
  _line.points = other->_line.points;
  _line.text = other->_line.text;
  UpdateBoundingBox();
}

void SW_Polyline::ListPoints()
{
  AK_String text = "INFO:index: x y z:\n";
  for (int32_t i = 0; i < _line.points.Count(); ++i) {
    const AK_Vec3& p = _line.points[i];
    text += AK_String::Format("%d:  %.15g  %.15g  %.15g\n", i + 1, p.x, p.y, p.z);
  }
  AK_MESSAGE(text);
}

// ---------------------------------------------------------------------------------------
// Measures and answers

double SW_Polyline::ProjectedLength() const { return SW_ProjectedLength(_line.points); }

double SW_Polyline::SumOfVertexNorms() const
{
  double sum = 0;
  for (const AK_Vec3& p : _line.points) sum += p.Length();
  return sum;
}

double SW_Polyline::DistanceToPoint(double x, double y) const
{
  return SW_SignedDistance(_line.points, x, y);
}

void SW_Polyline::ProjectedDistance(const char* text)
{
  double xy[2] = {0, 0};
  ParseDoublePairList(text ? text : "", xy);
  AK_MESSAGE(AK_String("INFO: distance to ") + (text ? text : "") + " is " +
             AK_FormatDouble(DistanceToPoint(xy[0], xy[1])));
}

AK_String SW_Polyline::MeshNamesList()
{
  AK_String list;
  GetRoot()->ListObjectsOfType(list, "DHM", this, nullptr);
  return list;
}

AK_String SW_Polyline::PolylinesList()
{
  AK_String list;
  GetRoot()->ListObjectsOfType(list, "Polyline", this, nullptr);
  return list;
}

AK_String SW_Polyline::SelectedVertexText() const { return AK_String(_selectedVertex + 1); }

AK_String SW_Polyline::CoordsOfSelectedVertex() const
{
  if (!HasSelectedVertex()) return "";
  const AK_Vec3& p = _line.points[_selectedVertex];
  const double v[3] = {p.x, p.y, p.z};
  return AK_String(v, 3);
}

void SW_Polyline::ColorByNamePrefix()
{
  static const struct {
    const char* prefix;
    float color[3];
  } kColors[] = {{"rel", {1, 0, 0}}, {"sec", {1, 0, 1}}, {"ent", {1, 0.67f, 0}}, {"res", {0, 0.67f, 0}}};
  for (const auto& c : kColors)
    if (std::strncmp(Id(), c.prefix, 3) == 0) {
      std::memcpy(Color, c.color, sizeof Color);
      return;
    }
}

// ---------------------------------------------------------------------------------------
// Drawing

void SW_Polyline::Update()
{
  AK_Object* grandparent = Parent() ? Parent()->Parent() : nullptr;
  AK_Object* meshes = grandparent ? grandparent->GetComponent("DHMs") : nullptr;
  if (_baseMeshName.IsEmpty() && meshes) {
    AK_String list;
    meshes->ListObjectsOfType(list, "DHM", this, nullptr);
    AK_Array<AK_String> names;
    list.Split("%AK_SEP%", names);
    if (names.Count() > 0) ProjectOnto(dynamic_cast<SW_Mesh*>(FindObject(names[0])));
  }
  AK_VisObj3d::Update();
}

void SW_Polyline::DrawVertex(const AK_Vec3& p)
{
  glVertex3f(static_cast<GLfloat>(p.x), static_cast<GLfloat>(p.y), static_cast<GLfloat>(p.z));
}

void SW_Polyline::Draw()
{
  const AK_Array<AK_Vec3>& p = _line.points;
  const int32_t n = p.Count();
  if (n < 1) return;
  glBegin(GL_POINTS);
  for (const AK_Vec3& v : p) DrawVertex(v);
  glEnd();

  if (n >= 2) {
    glBegin(GL_LINE_STRIP);
    SW_Mesh* mesh = _drawResampled ? BaseMesh() : nullptr;
    if (mesh) {
      int32_t cell = mesh->FindCell(p[0], -1);
      if (cell < 0) cell = mesh->FindCell(p[n - 1], -1);
      DrawVertex(p[0]);
      for (int32_t i = 1; i < n; ++i) DrawResampledOnMesh(p[i - 1], p[i], *mesh, cell);
      if (_closed) DrawResampledOnMesh(p[n - 1], p[0], *mesh, cell);
    } else {
      for (const AK_Vec3& v : p) DrawVertex(v);
      if (_closed) DrawVertex(p[0]);
    }
    glEnd();
  }

  glDisable(GL_DEPTH_TEST);
  const AK_BitmapFont* font = AK_Text2d::GetFont(_labelFont);
  if (HasSelectedVertex()) {
    const AK_Vec3& s = p[_selectedVertex];
    glPointSize(PointSize + 1);
    glBegin(GL_POINTS);
    DrawVertex(s);
    glEnd();
    glPointSize(PointSize);
    const double at[3] = {s.x, s.y, s.z};
    if (!_vertexLabels) DrawBitmapString3d(font, at, Id());
  }
  if (_vertexLabels) {
    SetContrastColor(AK_BackgroundColor);
    for (int32_t i = 0; i < n; ++i) {
      const double at[3] = {p[i].x, p[i].y, p[i].z};
      DrawBitmapString3d(font, at, AK_String(i + 1));
    }
  }
  ApplyColor(0);
  glEnable(GL_DEPTH_TEST);
}

void SW_Polyline::DrawResampledOnMesh(const AK_Vec3& a, const AK_Vec3& b, SW_Mesh& mesh,
                                      int32_t& cell)
{
  if (cell >= 0) {
    const double h = std::sqrt(std::fabs(mesh.CellAreaVector(cell).z)) * 0.5;
    // A cell without area gives no step length: the segment is drawn straight.
    const double steps = h > 0 ? (b - a).Length() / h + 0.5 : 0;
    const int32_t m = steps < 1e6 ? static_cast<int32_t>(steps) : 1000000;
    for (int32_t k = 1; k < m; ++k) {
      AK_Vec3 q = a + (b - a) * (static_cast<double>(k) / m);
      cell = mesh.HeightAt(q, cell);
      DrawVertex(q);
    }
  }
  DrawVertex(b);
}
