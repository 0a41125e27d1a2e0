// Where a straight source line lies on a terrain mesh: the cells it crosses and how much of
// its length lies in each, so that its mass flow can be shared among those cells.
//
// The line runs from `start` to `end` in the x-y plane. Cell i holds the piece between the
// cumulative length fractions i and i + 1, which run from 0 to exactly 1 over the crossed
// cells: the part of a line beyond the mesh border is not counted, and the whole mass flow
// goes to the crossed cells in proportion to their pieces. A line whose start lies outside
// the mesh crosses no cell and releases nothing. Fractions are single precision.
#pragma once

#include "AK_Basic.h"
#include "SW_MeshCore.h"

struct SW_SourceLineMapping {
  AK_Vec3 start;  // the ends with the terrain height as z (0 outside the mesh)
  AK_Vec3 end;
  // Where the mapped part of the line ends: the end point, or where the line leaves the
  // mesh. The fractions measure the part from `start` to here.
  AK_Vec2 reach;
  AK_Array<int32_t> cells;  // crossed cells, from start to end
  AK_Array<float> fractions;  // cells + 1 entries; the single 0 when no cell is crossed

  // Maps the segment a-b onto the mesh, replacing what was there.
  void SetUp(const SW_MeshCore& mesh, const AK_Vec2& a, const AK_Vec2& b);
  int32_t CellCount() const { return cells.Count(); }
  // The mass that the line releases into crossed cell i during a time step dt (0 for an
  // index out of range); over all cells it adds up to massFlow * dt.
  float MassInCell(int32_t i, float dt, double massFlow) const;
  // The point at t in [0, 1) along the piece of crossed cell i, between the piece's entry
  // and exit (the start point for an index out of range).
  AK_Vec2 PointInCell(int32_t i, float t) const;
};

