// SW_PsaMeshes: prepares the dimensions of a block-structured computational mesh over an
// area of the terrain: a base mesh, a contour polygon bounding the area, cell sizes, a
// domain height and a grid expansion; from these it derives the cell counts in three
// directions. It also creates and clones the polygons that serve as contour polygons.
#pragma once

#include <cstdint>

#include "AK_Container.h"

class SW_Polygon;

class SW_PsaMeshes : public AK_Class<SW_PsaMeshes, AK_Container> {
public:
  static constexpr const char* kClassName = "SW_PsaMeshes";
  SW_PsaMeshes(const char* id, AK_Object* parent);
  static void DeclareAttributes(AK_AttributeTableOf<SW_PsaMeshes>& t);

  // Creates nothing by type name.
  AK_Object* CreateComponent(const char* id, const char* typeName) override;

  // The counts from the contour polygon's projected area and the cell sizes: n cells of
  // Dx * Dx, a square root of them in run direction, the rest normal to it, and the layers
  // of growing thickness up to Height. 0 without a contour polygon, or where a count or a
  // factor leaves nothing to divide by.
  void ComputeCellCounts();
  int32_t CellsInRunDir() const { return _cellsInRunDir; }
  int32_t CellsNormalToRunDir() const { return _cellsNormalToRunDir; }
  int32_t CellsInVertDir() const { return _cellsInVertDir; }
  // The contour polygon at the path, when that names a polygon.
  SW_Polygon* ContourPolygon();
  // A copy of the polygon (or contour polygon) component with its whole state, named
  // id + "_cloned".
  void Clone(const char* id);

private:
  AK_String _baseMesh;
  AK_String _contourPolygon;
  double _dx = 20.0;
  double _dy = 10.0;
  double _dz = 4.0;
  int32_t _cellsInRunDir = 0;
  int32_t _cellsNormalToRunDir = 0;
  int32_t _cellsInVertDir = 0;
  double _height = 150.0;
  double _smoothingFactor = 1.0;
  int32_t _parallelVertLines = 0;
  double _gridExpansionLH = 1.1;
  double _gridExpansionSN = 2.0;
};
