// The geometry of a wall (a dam) along a polyline on a terrain mesh: at each vertex the
// crest stands at an absolute height, and the wall's face descends from the crest with a
// slope (the tangent of its inclination) to meet the terrain at a foot point.
//
// Heights and slopes are read cyclically: vertex i uses entry i modulo the count. The face
// lies to the left of the direction from the first vertex to the last.
//
// Where the face cannot be computed the foot is the vertex itself, with the terrain's height
// where there is terrain: at a vertex whose line direction is undefined (a line of one
// vertex, or only zero-length segments around it), and where the face runs parallel to the
// terrain. At a vertex outside the mesh the face meets the horizontal plane through the
// vertex. There is always one foot point and one tangent per vertex.
#pragma once

#include "AK_Basic.h"
#include "SW_MeshCore.h"

// The crest point of vertex i: the vertex with the height as z.
AK_Vec3 SW_WallCrestPoint(const AK_Array<AK_Vec3>& vertices, const AK_Array<double>& heights,
                          int32_t i);

// One unit tangent per vertex: the normalised sum of the unit directions of its segments;
// zero-length segments add nothing, and a vertex without any direction gets (0, 0, 0).
void SW_WallTangents(const AK_Array<AK_Vec3>& vertices, AK_Array<AK_Vec3>& tangents);

// One foot point per vertex (see above). A first height of 0 or less, or an empty height or
// slope list, makes the feet the vertices themselves: the wall has no face.
void SW_WallFeet(const SW_MeshCore& mesh, const AK_Array<AK_Vec3>& vertices,
                 const AK_Array<double>& heights, const AK_Array<double>& slopes,
                 const AK_Array<AK_Vec3>& tangents, AK_Array<AK_Vec3>& feet);

// Where the x-y path from p to q first crosses the path through the foot points: the
// crossing on the ground (`hit`), the crest point above it and the wall's unit direction
// there, each interpolated along the crossed segment. 1 when it crosses, else 0. Only the
// vertices that have a foot point and a tangent count, so arrays of different lengths are
// never read past their ends; zero-length foot segments are never crossed.
int SW_WallIntersect(const AK_Array<AK_Vec3>& vertices, const AK_Array<double>& heights,
                     const AK_Array<AK_Vec3>& tangents, const AK_Array<AK_Vec3>& feet,
                     const AK_Vec2& p, const AK_Vec2& q, AK_Vec3& hit, AK_Vec3& crest,
                     AK_Vec3& direction);
