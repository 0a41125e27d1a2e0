// SW_Polylines: the project's container of lines ("Polylines"), beside the mesh container
// "DHMs". It creates polylines and polyline sets by type name, imports whole line files
// into one member per line, and projects all members onto a mesh. The area imports use a
// temporary one ("aux") to read DXF files.
#pragma once

#include "AK_Container.h"

class SW_Polyline;

class SW_Polylines : public AK_Class<SW_Polylines, AK_Container> {
public:
  static constexpr const char* kClassName = "SW_Polylines";
  SW_Polylines(const char* id, AK_Object* parent);
  static void DeclareAttributes(AK_AttributeTableOf<SW_Polylines>& t);

  // "Polyline" and "PolylineSet"; none for any other type. Not added.
  AK_Object* CreateComponent(const char* id, const char* typeName) override;
  SW_Polyline* NewPolyline(const char* id);

  // By the extension (compared exactly): "xy", "xyz" one member; "ano" one per record;
  // "dxf"/"DXF" one per polyline with points; "nxyz" one per polyline. Members are named
  // from the file's base name (or a "name" item). Another extension imports nothing.
  void Import(const char* fileName);
  void ImportXy(const char* fileName);
  void ImportAno(const char* fileName);
  void ImportDxf(const char* fileName);
  void ImportNxyz(const char* fileName);
  // One polyline set named after the file, holding all its lines.
  void ImportSet(const char* fileName);
  // Every member gets "ProjectOnto" with the mesh; it becomes the container's base mesh.
  void ProjectOnto(const char* meshPath);

  // The meshes of the project: objects of type "DHM" in the parent's "DHMs".
  AK_String MeshNamesList();
  const AK_String& BaseMeshName() const { return _baseMeshName; }

private:
  AK_String _baseMeshName;
};
