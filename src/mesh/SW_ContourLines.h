// Contour lines: lines of equal value traced across the cells of a mesh, for the mesh's own
// heights and for any per-vertex value on a mesh (the scalar field passes its values and
// levels).
//
// A corner is "above" a level when its value is greater than the level, and "not above"
// when it is smaller or equal. A line enters a cell through an edge whose first corner is
// above and whose second is not (ContourLeavesEdge) and leaves it through an edge whose
// first corner is not above and whose second is; it then enters the neighbour across that
// edge. Open lines start on border edges and end on the border; closed lines end with the
// crossing they began with.
//
// Values are one f32 per vertex and levels are traced in f32; the points are the 3-D
// vertex positions interpolated along the edges (and, in quadrilaterals, along the spokes
// to the cell centre), so a contour of the mesh's own heights lies on the mesh.
#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <vector>

#include "AK_Basic.h"
#include "SW_MeshCore.h"

// 1 when the value at corner k is above the level and the one at corner k+1 is not.
int SW_ContourLeavesEdge(const SW_MeshCore& mesh, int32_t c, int k, const float* z, float level);
// The edge through which a line that entered cell c through edge k leaves it, -1 if none.
// Triangles are searched forward from k+1; a quadrilateral forward when its centre value
// (the mean of its corners) is above the level, backward from k-1 otherwise, so that a
// saddle is joined as the centre decides.
int SW_ContourExitEdge(const SW_MeshCore& mesh, int32_t c, int k, const float* z, float level);
// Appends the points of the line in cell c from entry edge k: the entry crossing when
// `points` is empty, the spoke crossings of a quadrilateral, then the exit crossing.
// Answers 1 with the exit edge, or 0 with exitEdge -1 when there is none.
int SW_TraceContourInCell(const SW_MeshCore& mesh, int32_t c, int k, const float* z, float level,
                          int& exitEdge, AK_Array<AK_Vec3>& points);

class SW_ContourLine {
public:
  // Traces the line of `level` that enters `startCell` through `startEdge`; appends every
  // cell it leaves through an edge to `visited`. The walk ends at the border, back at the
  // start cell, or after twice as many steps as the mesh has cells (a saddle cell can be
  // crossed twice), so a damaged neighbour table cannot make it run forever.
  SW_ContourLine(const SW_MeshCore& mesh, const float* z, double level, int32_t startCell,
                 int startEdge, AK_Array<int32_t>& visited);

  float Level() const { return _level; }
  // The points, and the attribute text "iso=<level>;" (the level printed "%g").
  const AK_NamedPolyline& Polyline() const { return _line; }
  const AK_Array<AK_Vec3>& Points() const { return _line.points; }
  // 1 when the line came back to its start cell (its last point is its first).
  int Closed() const { return _closed; }

  // Draws the line as a line strip and, when labelled, its level along it every
  // labelDistance (never closer than that to the first point).
  void Draw() const;
  // The line as a DXF POLYLINE on the layer prefix + "_" + level ("%g"), 9 digits, flagged
  // closed when it is. False when the stream has failed.
  bool WriteDxf(std::ostream& out, const char* prefix) const;

  int32_t _labelled = 0;
  float _labelDistance = 100.0f;
  AK_String _font = "TIMES_ROMAN_10";

private:
  float _level;
  int _closed = 0;
  AK_NamedPolyline _line;
};

// The points of a line at which labels stand: walking from point 1 on, a point farther than
// `distance` from the last label point (point 0 at first) and from point 0 gets a label.
void SW_ContourLabelPoints(const AK_Array<AK_Vec3>& points, float distance,
                           AK_Array<int32_t>& out);
// Draws the labels of a line: "%g" of the level at the label points, without depth test.
void SW_DrawContourLabels(const AK_Array<AK_Vec3>& points, float level, float distance,
                          const char* font);
// Draws a text at a point in the bitmap font of that name (nothing without font data).
void SW_DrawText(const char* font, const double at[3], const char* text);

class SW_ContourLineSet {
public:
  // All lines of all levels over per-vertex values z (one per mesh vertex). Per level: an
  // open line from every border edge where the level leaves the mesh, then a closed line
  // from every interior edge where it does and that no traced line has entered yet. Needs
  // the mesh's neighbour table.
  static std::unique_ptr<SW_ContourLineSet> Compute(const SW_MeshCore& mesh,
                                                    const AK_Array<float>& z,
                                                    const AK_Array<double>& levels);

  int32_t Count() const { return static_cast<int32_t>(_lines.size()); }
  SW_ContourLine& Line(int32_t i) { return *_lines[static_cast<size_t>(i)]; }
  const SW_ContourLine& Line(int32_t i) const { return *_lines[static_cast<size_t>(i)]; }
  void Append(std::unique_ptr<SW_ContourLine> line) { _lines.push_back(std::move(line)); }

  // A whole DXF file: the ENTITIES section with every line on its level's layer, then EOF.
  // False when the stream has failed.
  bool WriteDxf(std::ostream& out, const char* prefix) const;
  // Every line as an "nxyz" polyline (attribute text, count, points), nothing after them.
  // False when the stream has failed.
  bool WriteNxyz(std::ostream& out) const;

private:
  std::vector<std::unique_ptr<SW_ContourLine>> _lines;
};

// Significant digits of the coordinates in contour exports.
constexpr int SW_ContourDigits = 9;
