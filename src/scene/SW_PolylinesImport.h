// What the polyline and the polygon containers share: members made from line files, and
// the projection of all members onto a mesh.
#pragma once

#include "AK_Basic.h"
#include "AK_FrameworkState.h"
#include "AK_Object.h"

class SW_Polyline;

struct SW_MemberKind {
  // A new member with that identifier and the container as parent (not yet added).
  SW_Polyline* (*make)(const char* id, AK_Object* container);
  // Polygons are coloured by the start of their names.
  bool colorByName;
  // The message when a DXF file cannot be opened, followed by the file name.
  const char* cannotOpenDxf;
};

// The file name without directory and without its last extension.
AK_String SW_FileBaseName(const char* fileName);

// Runs import() that reads a file into a new object not yet in its container's list: true,
// and the error text as it was, when the import left no error text; otherwise the object is
// deleted and the import's error text stays.
template <class Import>
bool SW_ImportIntoNew(AK_Object* fresh, Import import)
{
  const AK_String before = AK_ErrorText;
  AK_ErrorText = "";
  import();
  if (!AK_ErrorText.IsEmpty()) {
    AK_Object::Destroy(fresh);
    return false;
  }
  AK_ErrorText = before;
  return true;
}

// Members from a line file by its format (SW_FileFormats.h): one from a file that is one
// line, one per line of a DXF or "nxyz" file as below. False, with nothing done, for a file
// of any other format.
bool SW_ImportMembers(AK_Object& container, const AK_String& baseMeshName, const char* fileName,
                      const SW_MemberKind& kind);
// One member from a file that is one line ("xy", "xyz"), named after the file or by its
// "name" item; the points of a flat format are laid onto the container's base mesh.
void SW_ImportLineMember(AK_Object& container, const AK_String& baseMeshName, const char* fileName,
                         const SW_MemberKind& kind);
// One member per DXF polyline with points: base name + "_" + the entity name, or + "_" and a
// four-digit counter for unnamed ones.
void SW_ImportDxfMembers(AK_Object& container, const char* fileName, const SW_MemberKind& kind);
// One member per "nxyz" polyline: its "name" item, or base name + "_" and a four-digit
// counter over the unnamed ones.
void SW_ImportNxyzMembers(AK_Object& container, const char* fileName, const SW_MemberKind& kind);

// Sends "ProjectOnto" with the mesh to every member and makes the mesh the container's base
// mesh; nothing when the path names nothing.
void SW_ProjectMembersOnto(AK_Object& container, AK_String& baseMeshName, const char* meshPath);
// The objects of type "DHM" in the component "DHMs" of the container's parent.
AK_String SW_ProjectMeshNames(AK_Object& container);
