// The numerics of the result fields and of the particle set as plain functions over the
// mesh core: value statistics, smoothing, moving values between vertices and cells, the
// gradient fit, the area above a limit, the raster export and the particle counts. The
// field and particle classes call them on their arrays; tests and benchmarks call them
// alone.
//
// "Items" are the vertices of the mesh when a field lives on vertices, else its cells.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>

#include "AK_Basic.h"
#include "SW_MeshCore.h"

// ---- statistics -------------------------------------------------------------------------

struct SW_ValueRange {
  float min = 0, max = 0;
  bool empty = true;
};
SW_ValueRange SW_ValueRangeOf(const AK_Array<float>& values);
// The mean of the values greater than 0; 0 when none is.
double SW_MeanOfPositive(const AK_Array<float>& values);
// Smallest and largest vector length (squared lengths in f64, running extremes as f32,
// the f32 square root of each); 0 and 0 without vectors.
void SW_LengthRange(const AK_Array<AK_Vec3>& vectors, float& min, float& max);
// The mean length of the vectors longer than 0; 0 when none is.
double SW_MeanOfPositiveLengths(const AK_Array<AK_Vec3>& vectors);

// ---- per-vertex and per-cell values -----------------------------------------------------

// The mean of a cell's 3 or 4 corner values (f32 sum over the corner count).
float SW_CellMeanOfCorners(const SW_MeshCore& mesh, int32_t c, const float* values);
// N passes of cell-mean averaging of per-vertex values: each vertex takes the mean, over
// its cells, of the cells' corner means. A vertex in no cell keeps its value.
void SW_SmoothVertexValues(const SW_MeshCore& mesh, AK_Array<float>& values, int passes);
// Per-vertex to per-cell (each cell the mean of its corners) and per-cell to per-vertex
// (each vertex the mean of its cells; 0 for a vertex in no cell). The output gets one
// entry per cell or per vertex.
void SW_VertexToCellValues(const SW_MeshCore& mesh, const AK_Array<float>& in, AK_Array<float>& out);
void SW_CellToVertexValues(const SW_MeshCore& mesh, const AK_Array<float>& in, AK_Array<float>& out);
void SW_VertexToCellVectors(const SW_MeshCore& mesh, const AK_Array<AK_Vec3>& in,
                            AK_Array<AK_Vec3>& out);
void SW_CellToVertexVectors(const SW_MeshCore& mesh, const AK_Array<AK_Vec3>& in,
                            AK_Array<AK_Vec3>& out);

// The least-squares in-surface gradient of the values at each item, fitted over its
// neighbours (per vertex: the vertex neighbours and vertex normals; per cell: the cells
// across its edges at their centres, and the cell normal). `out` holds one vector per item;
// an item whose fit is degenerate (no or collinear neighbours, no normal, or a normal
// along y, where the in-surface frame is undefined) keeps its vector. Builds the mesh's
// vertex neighbour lists when they are missing.
void SW_FitGradient(SW_MeshCore& mesh, const AK_Array<float>& values, int onVertices,
                    AK_Array<AK_Vec3>& out);

// The horizontally projected area of the cells whose value (per-cell) or corner mean
// (per-vertex, f64) is strictly greater than the limit.
double SW_AreaAboveLimit(const SW_MeshCore& mesh, const AK_Array<float>& values, int onVertices,
                         double limit);

// ---- raster export ------------------------------------------------------------------------

// A raster of `columns` x `rows` points spaced `cellSize`, (x0, y0) the centre of the
// lower-left one.
struct SW_RasterFrame {
  double x0 = 0, y0 = 0, cellSize = 0;
  int32_t columns = 0, rows = 0;
};
// The largest raster that holds no more than this many points: a bigger one is refused.
constexpr int64_t SW_MaxRasterPoints = int64_t(1) << 30;
// The frame whose points lie on multiples of the cell size inside a box: x0 = the first
// multiple at or east of xmin, y0 = the last at or south of ymin, as many whole cells as
// reach to xmax and ymax (0 when none). False, the frame untouched, for a cell size that is
// not a positive finite number or a raster larger than SW_MaxRasterPoints.
bool SW_AutoRasterFrame(double xmin, double ymin, double xmax, double ymax, double cellSize,
                        SW_RasterFrame& frame);
// Writes an ESRI ASCII grid of the frame: the header with NODATA -9999, then the rows from
// the north, each value with 6 significant digits and a blank. The sampler answers the
// value at a point, or NaN where there is none; NaN (and any other non-finite value) is
// written as the NODATA value. False when a write failed.
bool SW_WriteRaster(std::FILE* file, const SW_RasterFrame& frame,
                    const std::function<float(double x, double y)>& sample);
// The field's value at (x, y) for the raster: the interpolated vertex value or the cell's
// value; NaN outside the mesh.
float SW_SampleField(const SW_MeshCore& mesh, const AK_Array<float>& values, int onVertices,
                     double x, double y);

// ---- particles ----------------------------------------------------------------------------

// No run places more particles than this: a count beyond it is refused.
constexpr int64_t SW_MaxParticles = int64_t(1) << 28;
// Particle counts per cell from the release depth (m, one per cell), the density and the
// mass per particle: the expected count e = depth * cell area * density / mass; the cell
// gets trunc(e) particles, and one more when the fraction of e exceeds the next draw of
// AK_Random / (2^31 - 1). The caller seeds the generator. One draw per cell, whatever its
// depth; a depth that is negative, not a number or so large that e does not fit a 32-bit
// count gives the cell no particle. Answers the total, or -1 when it would exceed
// SW_MaxParticles (the counts are then meaningless).
int64_t SW_CountParticles(const SW_MeshCore& mesh, const float* depth, float density,
                          float massPerParticle, AK_Array<int32_t>& counts);
