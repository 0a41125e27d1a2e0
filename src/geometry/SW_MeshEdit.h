// Operations of the mesh object that work on the mesh data alone: the grid generators with
// the honeycomb cell builder and the curvature-minimising edge flips.
#pragma once

#include <cstdint>

#include "AK_Basic.h"
#include "SW_MeshCore.h"

// The locations "SW_Mesh:<line>" of the mesh's messages that users and their scripts know:
// the numbers are part of what the messages say and stay whatever the sources look like.
enum class SW_MeshMessageAt : int {
  PlaneMesh = 227,               // "setting to plane mesh of dimension ..."
  CurvatureFlipsBegin = 764,     // "minimizing curvature iteration..."
  CurvatureFlipsDone = 783,      // "... edges flipped"
  ContourLinesBegin = 1871,      // "computing contour lines of ..."
  ContourLinesDone = 1889,       // "contour lines of ... computed"
  ContourExportBegin = 1898,     // "writing <path>..."
  ContourExportDone = 1909,      // "<path> written"
  DisplayListFrameRate = 1956,   // "frames_per_sec:..." after a replayed display list
  DrawFrameRate = 2227,          // "frames_per_sec:..." after a drawing
};

// Sends a message with its location "SW_Mesh:<line>".
void SW_MeshMessage(const char* text, SW_MeshMessageAt at);

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
