#include "SW_PolylineSet.h"

#include <fstream>
#include <sstream>

#include "AK_Files.h"
#include "AK_Record.h"
#include "AK_Text2d.h"
#include "SW_FileFormats.h"
#include "SW_LineFiles.h"
#include "SW_Mesh.h"
#include "SW_Polyline.h"

namespace {

// What no set of lines holds more of in a record.
constexpr int32_t kMaxMembers = 1 << 24;

}  // namespace

SW_PolylineSet::SW_PolylineSet(const char* id, AK_Object* parent) : AK_Class(id, parent)
{
  SetUpClassLevel();
  PointSize = 1;
  LineWidth = 1;
  RunClassDefaults();
}

void SW_PolylineSet::DeclareAttributes(AK_AttributeTableOf<SW_PolylineSet>& t)
{
  using S = SW_PolylineSet;
  t.Options("MeshNamesList", [](S& s) {
    AK_String list;
    s.GetRoot()->ListObjectsOfType(list, "DHM", &s, nullptr);
    return list;
  });
  t.Answer("BaseMeshName", [](S& s) { return s._baseMeshName; })
      .Path("DHM")
      .repath = [](AK_Object& o, const char* path) { static_cast<S&>(o)._baseMeshName = path; };
  t.Options("SelMemberList", [](S& s) { return s.MemberList(true); });
  t.Options("DeSelMemberList", [](S& s) { return s.MemberList(false); });
  t.Options("PolylinesList", [](S& s) {
    AK_String list;
    s.GetRoot()->ListObjectsOfType(list, "Polyline", &s, nullptr);
    return list;
  });
  t.Int("DisplayLabels", &S::_displayLabels);
  t.Text("LabelFont", &S::_labelFont);
  t.Options("FontList", [](S&) { return AK_Text2d::GetFontList(); });
  t.Command("Import", &S::Import);
  t.Command("Export", &S::Export);
  t.Command("ProjectOnto", &S::ProjectOnto);
  t.Command("Select", &S::Select);
  t.Command("DeSelect", &S::DeSelect);
  t.Command("DeleteSelected", &S::DeleteSelected);
  t.Command("ExtractSelected", &S::ExtractSelected);
  t.Command("Add", &S::Add);
}

// ---------------------------------------------------------------------------------------
// Members

void SW_PolylineSet::AddMember(const AK_NamedPolyline& line, const char* name)
{
  _members.Append(line);
  _names.Append(AK_String(name));
  _selected.Append(1);
}

AK_String SW_PolylineSet::MemberList(bool selected) const
{
  AK_String list = "all";
  for (int32_t i = 0; i < Count(); ++i)
    if (IsSelected(i) == selected) list += AK_String("%AK_SEP%") + _names[i];
  return list;
}

int32_t SW_PolylineSet::IndexOf(const char* name) const
{
  for (int32_t i = 0; i < Count(); ++i)
    if (_names[i] == name) return i;
  return -1;
}

AK_String SW_PolylineSet::UniqueName(const AK_String& wanted, const char* prefix) const
{
  const AK_String number(Count() + 1);
  AK_String name = wanted.IsEmpty() ? AK_String(prefix) + number : wanted;
  if (IndexOf(name) >= 0) name += AK_String("_") + number;
  return name;
}

void SW_PolylineSet::SetSelection(const char* name, unsigned char flag)
{
  if (AK_String(name ? name : "") == "all") {
    for (unsigned char& s : _selected) s = flag;
    return;
  }
  const int32_t i = IndexOf(name ? name : "");
  if (i >= 0) _selected[i] = flag;
}

void SW_PolylineSet::Select(const char* name) { SetSelection(name, 1); }
void SW_PolylineSet::DeSelect(const char* name) { SetSelection(name, 0); }

void SW_PolylineSet::DeleteSelected()
{
  for (int32_t i = Count() - 1; i >= 0; --i)
    if (_selected[i]) {
      _members.Remove(i);
      _names.Remove(i);
      _selected.Remove(i);
    }
  UpdateBoundingBox();
  for (unsigned char& s : _selected) s = 1;
}

void SW_PolylineSet::ExtractSelected()
{
  AK_Object* parent = Parent();
  if (!parent || !parent->IsA("Polylines")) return;
  for (int32_t i = Count() - 1; i >= 0; --i) {
    if (!_selected[i]) continue;
    // Made with the parent in view, so that a name a sibling bears already gets a number.
    auto* polyline = new SW_Polyline(_names[i], parent);
    polyline->Line() = _members[i];
    polyline->UpdateBoundingBox();
    parent->AddComponent(polyline);
  }
}

void SW_PolylineSet::Add(const char* path)
{
  auto* polyline = dynamic_cast<SW_Polyline*>(FindObject(path ? path : ""));
  if (!polyline) return;
  AK_String name = polyline->Id();
  while (IndexOf(name) >= 0) name += "x";
  AddMember(polyline->Line(), name);
  UpdateBoundingBox();
}

void SW_PolylineSet::UpdateBoundingBox()
{
  bool first = true;
  for (const AK_NamedPolyline& m : _members)
    for (const AK_Vec3& p : m.points) {
      const double v[3] = {p.x, p.y, p.z};
      for (int k = 0; k < 3; ++k) {
        if (first || v[k] < _boxMin[k]) _boxMin[k] = v[k];
        if (first || v[k] > _boxMax[k]) _boxMax[k] = v[k];
      }
      first = false;
    }
}

int SW_PolylineSet::GetBoundingBox(float min[3], float max[3])
{
  if (Count() < 1) return 0;
  for (int k = 0; k < 3; ++k) {
    min[k] = static_cast<float>(_boxMin[k]);
    max[k] = static_cast<float>(_boxMax[k]);
  }
  ExtendBoundingBox(min, max);
  return 1;
}

// ---------------------------------------------------------------------------------------
// Files

void SW_PolylineSet::Import(const char* fileName)
{
  if (!AK_FileExists(fileName)) {
    AK_ErrorText = AK_String("file '") + fileName + "' does not exist!";
    return;
  }
  const SW_FileFormatEntry& format = SW_FileFormatOf(fileName);
  const bool ano = format.Is(SW_FileFormat::Ano);
  std::ifstream in;
  if ((format.readNextLine || ano) && !AK_OpenTextInput(in, fileName)) {
    AK_ErrorText = AK_TextInputError(fileName, AK_String("cannot open file '") + fileName + "'");
    return;
  }
  if (format.readNextLine) {
    // DXF names its lines (by their layers) and has empty entities; "nxyz" lines may name
    // themselves by a "name" item.
    const bool dxf = format.Is(SW_FileFormat::Dxf);
    AK_NamedPolyline line;
    AK_String entity;
    while (format.readNextLine(in, line, entity)) {
      if (!dxf) AddMember(line, UniqueName(AK_String::GetKeyValue(line.text, "name", '=', ';'), "p_"));
      else if (line.points.Count() > 0) AddMember(line, UniqueName(entity, "pl_"));
      line = AK_NamedPolyline();
    }
  } else if (ano) {
    while (in.good()) {
      SW_AnoRecord record;
      SW_ReadAnoRecord(in, record);
      if (record.autoColored < 0) continue;  // no count line: nothing to add
      AK_NamedPolyline line;
      line.points = static_cast<AK_Array<AK_Vec3>&&>(record.points);
      AddMember(line, record.name.IsEmpty() ? AK_String("pl_") + AK_String(Count() + 1) : record.name);
    }
  }
  UpdateBoundingBox();
  GetRoot()->Set("Autofit", "");
}

void SW_PolylineSet::Export(const char* fileName)
{
  const SW_FileFormatEntry& format = SW_FileFormatOf(fileName);
  if (!format.writeNextLine) return;
  std::ostringstream out;
  format.beginLines(out);
  for (int32_t i = 0; i < Count() && out.good(); ++i)
    if (_selected[i]) format.writeNextLine(out, _members[i], _names[i], 9, 0);
  format.endLines(out);
  if (out.fail() || !AK_WriteWholeFile(fileName, out.str())) AK_ErrorText = AK_String("error occurred during export to '") + fileName + "'";
}

// ---------------------------------------------------------------------------------------
// Mesh

void SW_PolylineSet::ProjectOnto(const char* meshPath)
{
  auto* mesh = dynamic_cast<SW_Mesh*>(FindObject(meshPath ? meshPath : ""));
  if (!mesh) return;
  const AK_String what = AK_String("projecting polyline set ") + Id() + " onto mesh " + mesh->Id();
  AK_MESSAGE(what + "...");
  _baseMeshName = mesh->GetAbsolutePath(this);
  for (AK_NamedPolyline& m : _members) {
    int32_t hint = -1;
    for (AK_Vec3& p : m.points) hint = mesh->HeightAt(p, hint);
  }
  UpdateBoundingBox();
  AK_MESSAGE(what + " done");
}

// ---------------------------------------------------------------------------------------
// Record

int SW_PolylineSet::SaveData(AK_STREAM& stream)
{
  AK_RecordWriter w(stream, this, "SW_PolylineSet", 0);
  w << Count();
  for (int32_t i = 0; i < Count(); ++i) {
    w.Array(_members[i].points);
    w << _names[i];
    AK_StreamWriteBytes(stream, &_selected[i], 1);
  }
  return w.Finish(__FILE__, __LINE__);
}

int SW_PolylineSet::LoadData(AK_STREAM& stream)
{
  AK_RecordReader r(stream, this, "SW_PolylineSet");
  AK_Array<AK_NamedPolyline> members;
  AK_Array<AK_String> names;
  AK_Array<unsigned char> selected;
  r.Version(0);
  const int32_t m = r.Count(kMaxMembers);
  for (int32_t i = 0; i < m && !r.Failed(); ++i) {
    AK_NamedPolyline line;
    AK_String name;
    unsigned char flag = 0;
    r.Array(line.points, AK_RecordCountLimit);
    r >> name;
    if (AK_StreamReadBytes(stream, &flag, 1) != 1) stream.MarkFailed();
    members.Append(static_cast<AK_NamedPolyline&&>(line));
    names.Append(name);
    selected.Append(flag);
  }
  return r.Finish(__FILE__, __LINE__, [&] {
    _members = static_cast<AK_Array<AK_NamedPolyline>&&>(members);
    _names = static_cast<AK_Array<AK_String>&&>(names);
    _selected = static_cast<AK_Array<unsigned char>&&>(selected);
    UpdateBoundingBox();
  });
}

// ---------------------------------------------------------------------------------------
// Drawing

void SW_PolylineSet::Draw()
{
  for (GLenum mode : {GL_POINTS, GL_LINE_STRIP})
    for (int32_t i = 0; i < Count(); ++i) {
      if (!_selected[i]) continue;
      glBegin(mode);
      for (const AK_Vec3& p : _members[i].points) SW_Polyline::DrawVertex(p);
      glEnd();
    }
  if (!_displayLabels) return;
  glDisable(GL_DEPTH_TEST);
  const AK_BitmapFont* font = AK_Text2d::GetFont(_labelFont);
  for (int32_t i = 0; i < Count(); ++i) {
    // A member without points has no place for its label.
    if (!_selected[i] || _members[i].points.Count() < 1) continue;
    const AK_Vec3& first = _members[i].points[0];
    glPointSize(PointSize + 1);
    glBegin(GL_POINTS);
    SW_Polyline::DrawVertex(first);
    glEnd();
    glPointSize(PointSize);
    const double at[3] = {first.x, first.y, first.z};
    DrawBitmapString3d(font, at, _names[i]);
  }
  glEnable(GL_DEPTH_TEST);
}
