// Operations of the mesh object that work on the mesh data alone: the grid generators with
// the honeycomb cell builder, the curvature-minimising edge flips, and the binary record.
#pragma once

#include <cstdint>

#include "AK_Basic.h"
#include "SW_MeshCore.h"

class AK_Object;

// Sends a message with the location "SW_Mesh:<line>", for the messages whose location users
// and their scripts know.
void SW_MeshMessage(const char* text, int line);

// ---- grids ---------------------------------------------------------------------------

// True when an nx x ny grid is at least one cell wide in each direction and its points fit
// the grid point limit of the terrain readers (SW_MaxGridPoints).
bool SW_GridSizeIsSane(double nx, double ny);

// Gives a mesh whose _nx and _ny are set the triangle pairs of its honeycomb grid and sets
// its honeycomb flag (the Cartesian flag cleared).
void SW_SetHoneycombCells(SW_MeshCore& mesh);

// The test plane: an nx x ny Cartesian grid over [0, length] x [0, width] whose section along
// x is a circular arc of radius `inclination` with its lowest point (z = 0) at x = length/2.
// Beyond the arc (|length/2 - x| > |inclination|) the height stays at the arc's top,
// `inclination`, so every height is finite. It is a Cartesian grid of cell size Length / Nx
// whose rows are Width / Ny high (the row height is 0 when the cells are square up to
// rounding).
// Answers false (mesh empty, `error` set) for a grid smaller than 1 x 1 or larger than the
// grid point limit, and for a length or width that is not positive and finite.
bool SW_SetToPlane(SW_MeshCore& mesh, int32_t nx, int32_t ny, double length, double width,
                   double inclination, AK_String& error);
// A flat Cartesian grid of cell size dx from the mesh's _xll as far as whole cells fit into
// the box up to _upperRight. Answers false (mesh empty, _nx and _ny unchanged, `error` set)
// when not even one cell fits or the grid is too large.
bool SW_SetToCartesianGrid(SW_MeshCore& mesh, double dx, AK_String& error);
// A flat honeycomb grid of side dx (row height cos 30 degrees * dx) over the mesh's box; the
// same failures.
bool SW_SetToHoneyCombGrid(SW_MeshCore& mesh, double dx, AK_String& error);

// ---- curvature-minimising flips ----------------------------------------------------------

// For cell c = (A, B, C) at corners (k, k+1, k+2) and its neighbour across A-B, (B, A, D):
// 1 when the quadrilateral C, A, D, B turns strictly left at A and at B in x-y, so that the
// diagonal C-D lies inside it; 0 otherwise or without a neighbour.
int SW_IsEdgeFlippable(const SW_MeshCore& mesh, int32_t c, int k);
// Replaces the diagonal A-B by C-D: c becomes (C, D, B), its neighbour (D, C, A), and the
// neighbour tables around them follow. Flipping the same (c, k) again restores the
// geometry. 0 when edge k has no neighbour.
int SW_FlipEdge(SW_MeshCore& mesh, int32_t c, int k);
// The bending around edge k of c: each edge of the two triangles that has a neighbour adds
// its length times (1 - n.m), n and m the unit normals on its two sides. An edge beside a
// triangle without area (no normal) adds nothing. 0 when edge k has no neighbour.
double SW_EdgeCurvatureCost(const SW_MeshCore& mesh, int32_t c, int k);
// One pass over all pairs of triangles: a flip is kept where it lowers the cost below 0.99
// of what it was (a cost that is no number never counts as lower). Answers the flips kept.
int32_t SW_MinimizeCurvaturePass(SW_MeshCore& mesh);
// Passes while they keep fewer flips than the pass before (at least two with cells). The
// vertex neighbour lists are marked stale, and a honeycomb grid whose cells changed is no
// honeycomb grid any more. Answers the flips kept in all passes.
int32_t SW_MinimizeCurvature(SW_MeshCore& mesh);

// ---- the binary record "SW_Mesh:v1" ------------------------------------------------------

// Writes the record; 0, or 1 with AK_ErrorText naming the object and the failed item.
int SW_SaveMeshRecord(AK_STREAM& stream, AK_Object* owner, const SW_MeshCore& mesh);
// Reads a record "SW_Mesh:v0" or "SW_Mesh:v1" and rebuilds the neighbour table and the total
// area vector (the normals are the record's). Every count and index is checked (counts
// against what follows, corners and segment ends against the vertex count, the grid numbers
// against the counts, every cell with a projected area): a bad or short record
// answers 1 with AK_ErrorText "<path>: IO error at SW_Mesh:<line>" and leaves the mesh empty.
int SW_LoadMeshRecord(AK_STREAM& stream, AK_Object* owner, SW_MeshCore& mesh);
