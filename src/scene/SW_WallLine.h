// SW_WallLine: a wall or dam along a polyline on the terrain. At every vertex the crest
// stands at an absolute height, and the face descends from the crest with a slope to meet
// the terrain at a foot point (SW_WallLineGeometry.h). SW_WallLines: the container of a
// project's wall lines.
//
// Heights and slopes are lists read cyclically (vertex i uses entry i modulo the count);
// each always holds at least one value. The foot points and tangents are recomputed from
// the base mesh (UpdateGeometry) after loading, in every drawing pass and before a run;
// there is one of each per vertex, also after edits and without a base mesh, where the
// feet are the vertices themselves unless earlier feet still match the vertices in number.
#pragma once

#include "AK_Container.h"
#include "SW_Polyline.h"
#include "SW_WallLineGeometry.h"

class SW_WallLine : public AK_Class<SW_WallLine, SW_Polyline> {
public:
  static constexpr const char* kClassName = "SW_WallLine";
  SW_WallLine(const char* id, AK_Object* parent);
  static void DeclareAttributes(AK_AttributeTableOf<SW_WallLine>& t);

  void AfterLoad() override;
  void Draw() override;

  void UpdateGeometry();
  // Whether the x-y path from p to q crosses the wall's foot line: the crossing on the
  // ground, the crest point above it and the wall's direction there.
  int Intersect(const AK_Vec2& p, const AK_Vec2& q, AK_Vec3& hit, AK_Vec3& crest,
                AK_Vec3& direction) const;
  AK_Vec3 TopPoint(int32_t i) const;
  double FirstHeight() const { return _heights[0]; }
  const AK_Array<AK_Vec3>& FootPoints() const { return _feet; }

private:
  void SetHeights(const char* value);
  void SetSlopes(const char* value);
  void SetAtSelectedVertex(AK_Array<double>& list, double value);
  int32_t SelectedIndex() const { return HasSelectedVertex() ? SelectedVertex() : -1; }

  AK_Array<double> _heights;
  AK_Array<double> _slopes;
  AK_Array<AK_Vec3> _tangents;
  AK_Array<AK_Vec3> _feet;
};

class SW_WallLines : public AK_Class<SW_WallLines, AK_Container> {
public:
  static constexpr const char* kClassName = "SW_WallLines";
  SW_WallLines(const char* id, AK_Object* parent);
  static void DeclareAttributes(AK_AttributeTableOf<SW_WallLines>& t);

  AK_Object* CreateComponent(const char* id, const char* typeName) override;
};
