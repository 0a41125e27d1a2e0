#include "SW_Polygons.h"

#include "SW_Polygon.h"
#include "SW_PolylinesImport.h"

namespace {

const SW_MemberKind kPolygons = {
    [](const char* id, AK_Object* container) -> SW_Polyline* { return new SW_Polygon(id, container); },
    true, "cannot open file "};

}  // namespace

SW_Polygons::SW_Polygons(const char* id, AK_Object* parent) : AK_Class(id, parent)
{
  SetUpClassLevel();
  RunClassDefaults();
}

void SW_Polygons::DeclareAttributes(AK_AttributeTableOf<SW_Polygons>& t)
{
  using C = SW_Polygons;
  t.Options("MeshNamesList", [](C& c) { return c.MeshNamesList(); });
  t.Answer("BaseMeshName", [](C& c) { return c._baseMeshName; })
      .Path("DHM")
      .repath = [](AK_Object& o, const char* path) { static_cast<C&>(o)._baseMeshName = path; };
  t.Command("Create", &C::NewPolygon);
  t.Command("Import", &C::Import);
  t.Command("ProjectOnto", &C::ProjectOnto);
}

AK_Object* SW_Polygons::CreateComponent(const char* id, const char* typeName)
{
  if (AK_String(typeName ? typeName : "") == "Polygon") return new SW_Polygon(id, this);
  return nullptr;
}

SW_Polygon* SW_Polygons::NewPolygon(const char* id)
{
  auto* polygon = new SW_Polygon(id, this);
  AddComponent(polygon);
  return polygon;
}

void SW_Polygons::Import(const char* fileName)
{
  SW_ImportMembers(*this, _baseMeshName, fileName, kPolygons);
}

void SW_Polygons::ImportXy(const char* fileName) { SW_ImportLineMember(*this, _baseMeshName, fileName, kPolygons); }
void SW_Polygons::ImportDxf(const char* fileName) { SW_ImportDxfMembers(*this, fileName, kPolygons); }
void SW_Polygons::ImportNxyz(const char* fileName) { SW_ImportNxyzMembers(*this, fileName, kPolygons); }

void SW_Polygons::ProjectOnto(const char* meshPath) { SW_ProjectMembersOnto(*this, _baseMeshName, meshPath); }

AK_String SW_Polygons::MeshNamesList() { return SW_ProjectMeshNames(*this); }
