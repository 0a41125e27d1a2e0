// Measures of polylines and polygons over their points: plain functions, so that the
// simulation, the objects and the tests share them. Seen from above: x east, y north.
#pragma once

#include <cstdint>

#include "AK_Basic.h"

class SW_MeshCore;

// Component-wise minimum and maximum of the points; false (box untouched) without points.
bool SW_PointsBox(const AK_Array<AK_Vec3>& points, double min[3], double max[3]);

// Sum of the x-y lengths of the segments between consecutive points; a polygon's closing
// segment is not counted.
double SW_ProjectedLength(const AK_Array<AK_Vec3>& points);

// Signed x-y distance of (x, y) from the open path of the points: to the nearest segment
// foot or vertex, positive on the left of the path, negative on the right (inside a
// counter-clockwise polygon positive). A vertex counts as on the right when the turn over
// it (its neighbours taken cyclically, also on an open path) is to the left. Ties keep the
// earlier candidate; a vertex replaces a segment only when strictly nearer. -1e30 without
// points.
double SW_SignedDistance(const AK_Array<AK_Vec3>& points, double x, double y);

// Whether (x, y) lies inside the polygon of the points (closed by the edge from the last
// point to the first), by counting edge crossings to the right of the point; `min` and
// `max` are the points' box, outside which nothing is inside. A point on a sloping or
// vertical edge is inside when the points run clockwise, outside when counter-clockwise.
int SW_PolygonContains(const AK_Array<AK_Vec3>& points, const double min[3],
                       const double max[3], double x, double y);

// Signed x-y area of the polygon: positive when its points run clockwise, negative when
// counter-clockwise; 0 without points.
double SW_ProjectedArea(const AK_Array<AK_Vec3>& points);

// Projected over true area of the mesh cells whose centre (mean of the corners) lies inside
// the polygon: the cosine of their mean inclination. 1 without points or cells inside.
double SW_AreaFactorOnMesh(const AK_Array<AK_Vec3>& points, const double min[3],
                           const double max[3], const SW_MeshCore& mesh);

// Cosine of the turn at vertex i (3-D, neighbours taken cyclically); 1 where a neighbour
// coincides with the vertex, so that a doubled point reads as no turn.
double SW_CornerCosine(const AK_Array<AK_Vec3>& points, int32_t i);
