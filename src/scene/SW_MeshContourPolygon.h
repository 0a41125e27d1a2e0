// SW_MeshContourPolygon: a polygon with four marked corner vertices (north-west,
// south-west, south-east, north-east), the outline of a block-structured mesh; the psa
// mesh container (SW_PsaMeshes) clones it.
//
// The corners are vertex indices; they are not moved when vertices are inserted or
// removed, and every use checks them against the points.
#pragma once

#include "SW_Polygon.h"

class SW_MeshContourPolygon : public AK_Class<SW_MeshContourPolygon, SW_Polygon> {
public:
  static constexpr const char* kClassName = "SW_MeshContourPolygon";
  SW_MeshContourPolygon(const char* id, AK_Object* parent);
  static void DeclareAttributes(AK_AttributeTableOf<SW_MeshContourPolygon>& t);

  // The polygon, then the valid corners as points with their labels.
  void Draw() override;

  // 1 with at least 4 points and all four corners among them, else 0.
  int HasValidCorners() const;
  // x-y length of the side from corner k to corner (k + 1) mod 4 along the points; 0 when
  // the corners are not valid or coincide.
  double CornerValue(int k) const;
  int32_t Corner(int k) const { return _corners[k]; }

  // Takes the whole state of another contour polygon but its identifier: its polygon state
  // (CopyStateOf) and its corners, whatever the replayed corners selected before the points
  // were there.
  void CopyContourStateOf(SW_MeshContourPolygon& source);

private:
  // A corner takes a value as "SelectedVertex" does; the corner is then the selection.
  void SetCorner(int k, const char* value);

  int32_t _corners[4] = {0, 1, 2, 3};  // NW, SW, SE, NE
};
