#include "SW_Polylines.h"

#include <fstream>

#include "AK_Files.h"
#include "SW_FileFormats.h"
#include "SW_Mesh.h"
#include "SW_Polyline.h"
#include "SW_PolylineSet.h"
#include "SW_PolylinesImport.h"

namespace {

const SW_MemberKind kPolylines = {
    [](const char* id, AK_Object* container) -> SW_Polyline* { return new SW_Polyline(id, container); },
    false, "cannot open dxf file "};

}  // namespace

SW_Polylines::SW_Polylines(const char* id, AK_Object* parent) : AK_Class(id, parent)
{
  SetUpClassLevel();
  RunClassDefaults();
}

void SW_Polylines::DeclareAttributes(AK_AttributeTableOf<SW_Polylines>& t)
{
  using C = SW_Polylines;
  t.Options("MeshNamesList", [](C& c) { return c.MeshNamesList(); });
  t.Answer("BaseMeshName", [](C& c) { return c._baseMeshName; })
      .Path("DHM")
      .repath = [](AK_Object& o, const char* path) { static_cast<C&>(o)._baseMeshName = path; };
  t.Command("Create", &C::NewPolyline);
  t.Command("CreateSet", [](C& c, const char* id) { c.AddComponent(new SW_PolylineSet(id, &c)); });
  t.Command("Import", &C::Import);
  t.Command("ImportSet", &C::ImportSet);
  t.Command("ProjectOnto", &C::ProjectOnto);
}

AK_Object* SW_Polylines::CreateComponent(const char* id, const char* typeName)
{
  const AK_String type(typeName ? typeName : "");
  if (type == "Polyline") return new SW_Polyline(id, this);
  if (type == "PolylineSet") return new SW_PolylineSet(id, this);
  return nullptr;
}

SW_Polyline* SW_Polylines::NewPolyline(const char* id)
{
  auto* polyline = new SW_Polyline(id, this);
  AddComponent(polyline);
  return polyline;
}

void SW_Polylines::Import(const char* fileName)
{
  if (SW_FileFormatOf(fileName).Is(SW_FileFormat::Ano)) ImportAno(fileName);
  else SW_ImportMembers(*this, _baseMeshName, fileName, kPolylines);
}

void SW_Polylines::ImportXy(const char* fileName) { SW_ImportLineMember(*this, _baseMeshName, fileName, kPolylines); }
void SW_Polylines::ImportDxf(const char* fileName) { SW_ImportDxfMembers(*this, fileName, kPolylines); }
void SW_Polylines::ImportNxyz(const char* fileName) { SW_ImportNxyzMembers(*this, fileName, kPolylines); }

void SW_Polylines::ImportAno(const char* fileName)
{
  std::ifstream in;
  if (!AK_OpenTextInput(in, fileName)) {
    AK_ErrorText = AK_TextInputError(fileName, AK_String("cannot open file '") + fileName + "'");
    return;
  }
  const AK_String base = SW_FileBaseName(fileName);
  for (int k = 1;; ++k) {
    auto* polyline = new SW_Polyline(base + "_" + AK_String(k), this);
    // The polyline is still empty: this only makes the mesh its base mesh, and the points
    // read next keep z = 0.
    if (!_baseMeshName.IsEmpty())
      polyline->ProjectOnto(dynamic_cast<SW_Mesh*>(polyline->FindObject(AK_String("../") + _baseMeshName)));
    if (!polyline->ReadAnoRecord(in)) {
      AK_Object::Destroy(polyline);
      return;
    }
    AddComponent(polyline);
    if (!in.good()) return;
  }
}

void SW_Polylines::ImportSet(const char* fileName)
{
  auto* set = new SW_PolylineSet(SW_FileBaseName(fileName), this);
  if (SW_ImportIntoNew(set, [&] { set->Import(fileName); })) AddComponent(set);
}

void SW_Polylines::ProjectOnto(const char* meshPath) { SW_ProjectMembersOnto(*this, _baseMeshName, meshPath); }

AK_String SW_Polylines::MeshNamesList() { return SW_ProjectMeshNames(*this); }
