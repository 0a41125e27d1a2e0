// SW_Polygon: the closed polyline, an area outline in the x-y plane whose heights may come
// from a base mesh; the base of the release, entrainment and resistance areas.
//
// It adds the projected area, the true (surface) area over the base mesh with the mean
// inclination, and the point-in-polygon test with which the simulation decides which mesh
// cells lie in an area. The true area and the area factor change only through
// "UpdateTrueArea" (UpdateTrueArea): editing the points leaves them stale until then.
// A polygon is kept in the polyline's record.
#pragma once

#include "SW_Polyline.h"

class SW_Polygon : public AK_Class<SW_Polygon, SW_Polyline> {
public:
  static constexpr const char* kClassName = "SW_Polygon";
  SW_Polygon(const char* id, AK_Object* parent);
  static void DeclareAttributes(AK_AttributeTableOf<SW_Polygon>& t);

  // 1 when (x, y) lies inside (SW_PolygonContains: a point on a sloping or vertical edge is
  // inside when the points run clockwise), else 0.
  int Contains(double x, double y) const;
  // Signed x-y area: positive when the points run clockwise seen from above.
  double ProjectedArea() const;
  // Projected over true area of the base-mesh cells inside; 1 without points, base mesh or
  // cells inside.
  double AreaFactorOnMesh();
  // Cosine of the turn at vertex i (neighbours taken cyclically).
  double CornerCosine(int32_t i) const;
  // Area factor := AreaFactorOnMesh, true area := projected area / factor.
  void UpdateTrueArea();
  // As of the last UpdateTrueArea; signed like ProjectedArea.
  double TrueArea() const { return _trueArea; }
  double AreaFactor() const { return _areaFactor; }
  // Mean inclination in degrees, from the area factor.
  double MeanInclination() const;

  // Takes the whole state of another polygon but its identifier: the saved attributes of
  // every class level (display attributes, "Active", an area's values; replayed in table
  // order, so that a depth source is selected anew), then what is not saved (AssignPolygon).
  void CopyStateOf(SW_Polygon& source);
  // Copies the polygon state that is not saved as attributes: points, Annotations, box,
  // selection, base mesh, true area and area factor.
  void AssignPolygon(const SW_Polygon& other);

private:
  double _trueArea = 0.0;
  double _areaFactor = 1.0;
};
