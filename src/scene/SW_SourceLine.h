// SW_SourceLine: a straight segment on the terrain through which snow enters a run at a
// constant rate, spread along the segment over the mesh cells it crosses.
// SW_SourceLines: the container of a project's source lines.
//
// A run maps every line onto its mesh (SetUpOnMesh) and then asks, in each time step and for
// each crossed cell, how much mass the line releases there (MassInCell) and where along the
// cell's piece of the line a new particle stands (PointInCell). The mapping is not saved;
// the three attributes travel in the attribute file.
#pragma once

#include "AK_Container.h"
#include "AK_VisObj3d.h"
#include "SW_SourceLineMapping.h"

class SW_SourceLine : public AK_Class<SW_SourceLine, AK_VisObj3d> {
public:
  static constexpr const char* kClassName = "SW_SourceLine";
  SW_SourceLine(const char* id, AK_Object* parent);
  static void DeclareAttributes(AK_AttributeTableOf<SW_SourceLine>& t);

  // Draws the line between its ends on the mesh (at the origin before the first mapping).
  void Draw() override;

  void SetUpOnMesh(const SW_MeshCore& mesh);
  int32_t CellCount() const { return _mapping.CellCount(); }
  int32_t CrossedCell(int32_t i) const { return _mapping.cells[i]; }
  float MassInCell(int32_t i, float dt) const { return _mapping.MassInCell(i, dt, _massFlow); }
  AK_Vec2 PointInCell(int32_t i, float t) const { return _mapping.PointInCell(i, t); }
  const SW_SourceLineMapping& Mapping() const { return _mapping; }

private:
  double _start[2] = {0, 0};
  double _end[2] = {1, 1};
  double _massFlow = 1.0;
  SW_SourceLineMapping _mapping;
};

class SW_SourceLines : public AK_Class<SW_SourceLines, AK_Container> {
public:
  static constexpr const char* kClassName = "SW_SourceLines";
  SW_SourceLines(const char* id, AK_Object* parent);
  static void DeclareAttributes(AK_AttributeTableOf<SW_SourceLines>& t);

  AK_Object* CreateComponent(const char* id, const char* typeName) override;
  void SetUpAllOnMesh(const SW_MeshCore& mesh);
};
