// SW_Polygons: the project's container of areas ("Polygons"), beside the mesh container
// "DHMs". It creates polygons by type name, imports whole line files into one polygon per
// line, coloured by the start of its name, and projects all members onto a mesh.
#pragma once

#include "AK_Container.h"

class SW_Polygon;

class SW_Polygons : public AK_Class<SW_Polygons, AK_Container> {
public:
  static constexpr const char* kClassName = "SW_Polygons";
  SW_Polygons(const char* id, AK_Object* parent);
  static void DeclareAttributes(AK_AttributeTableOf<SW_Polygons>& t);

  // "Polygon"; none for any other type. Not added.
  AK_Object* CreateComponent(const char* id, const char* typeName) override;
  SW_Polygon* NewPolygon(const char* id);

  // By the extension (compared exactly): "xy", "xyz" one member; "dxf"/"DXF" one per
  // polyline with points; "nxyz" one per polyline. Another extension imports nothing.
  void Import(const char* fileName);
  void ImportXy(const char* fileName);
  void ImportDxf(const char* fileName);
  void ImportNxyz(const char* fileName);
  // Every member gets "ProjectOnto" with the mesh; it becomes the container's base mesh.
  void ProjectOnto(const char* meshPath);

  // The meshes of the project: objects of type "DHM" in the parent's "DHMs".
  AK_String MeshNamesList();
  const AK_String& BaseMeshName() const { return _baseMeshName; }

private:
  AK_String _baseMeshName;
};
