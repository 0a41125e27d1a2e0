#include "SW_PolylinesImport.h"

#include <fstream>

#include "AK_Files.h"
#include "SW_FileFormats.h"
#include "SW_LineFiles.h"
#include "SW_Mesh.h"
#include "SW_Polyline.h"

AK_String SW_FileBaseName(const char* fileName)
{
  AK_String name = AK_String(fileName ? fileName : "").BaseName();
  name.CutExtension();
  return name;
}

namespace {

// Renames a member by its "name" item, colours it and adds it to the container.
void AddMember(AK_Object& container, SW_Polyline* member, const SW_MemberKind& kind, bool rename)
{
  if (rename) {
    AK_String name = AK_String::GetKeyValue(member->Annotations(), "name", '=', ';');
    if (!name.IsEmpty()) member->Set("Id", name);
  }
  if (kind.colorByName) member->ColorByNamePrefix();
  member->UpdateBoundingBox();
  container.AddComponent(member);
}

// A member that takes the points and the attribute text of a record read from a file.
void AddRecordMember(AK_Object& container, const char* id, AK_NamedPolyline& record,
                     const SW_MemberKind& kind)
{
  SW_Polyline* member = kind.make(id, &container);
  member->Line() = static_cast<AK_NamedPolyline&&>(record);
  AddMember(container, member, kind, false);
  record = AK_NamedPolyline();
}

}  // namespace

bool SW_ImportMembers(AK_Object& container, const AK_String& baseMeshName, const char* fileName,
                      const SW_MemberKind& kind)
{
  const SW_FileFormatEntry& format = SW_FileFormatOf(fileName);
  if (format.readLine) SW_ImportLineMember(container, baseMeshName, fileName, kind);
  else if (format.Is(SW_FileFormat::Dxf)) SW_ImportDxfMembers(container, fileName, kind);
  else if (format.Is(SW_FileFormat::Nxyz)) SW_ImportNxyzMembers(container, fileName, kind);
  else return false;
  return true;
}

void SW_ImportLineMember(AK_Object& container, const AK_String& baseMeshName, const char* fileName,
                         const SW_MemberKind& kind)
{
  SW_Polyline* member = kind.make(SW_FileBaseName(fileName), &container);
  // Projecting the still empty member makes the mesh its base mesh, so that its own import
  // takes the heights of the points it reads.
  if (SW_FileFormatOf(fileName).flat && !baseMeshName.IsEmpty())
    member->ProjectOnto(dynamic_cast<SW_Mesh*>(member->FindObject(AK_String("../") + baseMeshName)));
  if (SW_ImportIntoNew(member, [&] { member->Import(fileName); })) AddMember(container, member, kind, true);
}

void SW_ImportDxfMembers(AK_Object& container, const char* fileName, const SW_MemberKind& kind)
{
  std::ifstream in;
  if (!AK_OpenTextInput(in, fileName)) {
    AK_ErrorText = AK_TextInputError(fileName, AK_String(kind.cannotOpenDxf) + fileName);
    return;
  }
  const AK_String base = SW_FileBaseName(fileName);
  AK_NamedPolyline record;
  AK_String entity;
  for (int k = 0; SW_ReadDxfPolyline(record.points, in, entity);) {
    if (record.points.Count() < 1) continue;
    ++k;
    const AK_String id = base + "_" + (entity.IsEmpty() ? AK_String::Format("%04d", k) : entity);
    AddRecordMember(container, id, record, kind);
  }
}

void SW_ImportNxyzMembers(AK_Object& container, const char* fileName, const SW_MemberKind& kind)
{
  std::ifstream in;
  if (!AK_OpenTextInput(in, fileName)) {
    AK_ErrorText = AK_TextInputError(fileName, AK_String("cannot open file ") + fileName);
    return;
  }
  const AK_String base = SW_FileBaseName(fileName);
  AK_NamedPolyline record;
  for (int k = 0; SW_ReadNxyzPolyline(record, in);) {
    AK_String id = AK_String::GetKeyValue(record.text, "name", '=', ';');
    if (id.IsEmpty()) id = base + "_" + AK_String::Format("%04d", ++k);
    AddRecordMember(container, id, record, kind);
  }
}

void SW_ProjectMembersOnto(AK_Object& container, AK_String& baseMeshName, const char* meshPath)
{
  AK_Object* mesh = container.FindObject(meshPath ? meshPath : "");
  if (!mesh) return;
  for (AK_Object* member : container.OwnedComponents())
    if (!member->IsDead()) member->Set("ProjectOnto", mesh->GetAbsolutePath(member));
  baseMeshName = mesh->GetAbsolutePath(&container);
}

AK_String SW_ProjectMeshNames(AK_Object& container)
{
  AK_String list;
  AK_Object* meshes = container.Parent() ? container.Parent()->GetComponent("DHMs") : nullptr;
  if (meshes) meshes->ListObjectsOfType(list, "DHM", &container, nullptr);
  return list;
}
