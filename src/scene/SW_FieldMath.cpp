#include "SW_FieldMath.h"

#include <cmath>
#include <string>
#include <vector>

#include "AK_NumberText.h"
#include "AK_Random.h"

// ---- statistics -------------------------------------------------------------------------

SW_ValueRange SW_ValueRangeOf(const AK_Array<float>& values)
{
  SW_ValueRange r;
  for (float v : values) {
    if (r.empty || v < r.min) r.min = v;
    if (r.empty || v > r.max) r.max = v;
    r.empty = false;
  }
  return r;
}

double SW_MeanOfPositive(const AK_Array<float>& values)
{
  double sum = 0;
  int64_t n = 0;
  for (float v : values)
    if (v > 0) {
      sum += v;
      ++n;
    }
  return n ? sum / static_cast<double>(n) : 0;
}

void SW_LengthRange(const AK_Array<AK_Vec3>& vectors, float& min, float& max)
{
  min = max = 0;
  for (int32_t i = 0; i < vectors.Size(); ++i) {
    float q = static_cast<float>(vectors[i].Dot(vectors[i]));
    if (i == 0 || q < min) min = q;
    if (i == 0 || q > max) max = q;
  }
  min = std::sqrt(min);
  max = std::sqrt(max);
}

double SW_MeanOfPositiveLengths(const AK_Array<AK_Vec3>& vectors)
{
  double sum = 0;
  int64_t n = 0;
  for (const AK_Vec3& v : vectors)
    if (v.Dot(v) > 0) {
      sum += v.Length();
      ++n;
    }
  return n ? sum / static_cast<double>(n) : 0;
}

// ---- per-vertex and per-cell values -----------------------------------------------------

float SW_CellMeanOfCorners(const SW_MeshCore& mesh, int32_t c, const float* values)
{
  const AK_Index4& cell = mesh._lcv[c];
  const int m = cell[3] < 0 ? 3 : 4;
  float sum = 0;
  for (int k = 0; k < m; ++k) sum += values[cell[k]];
  return sum / static_cast<float>(m);
}

void SW_SmoothVertexValues(const SW_MeshCore& mesh, AK_Array<float>& values, int passes)
{
  const int32_t nv = mesh.NumVertices();
  if (passes < 1 || values.Size() != nv) return;
  std::vector<float> source(values.begin(), values.end());
  std::vector<int32_t> count(static_cast<size_t>(nv));
  for (int pass = 0; pass < passes; ++pass) {
    for (int32_t v = 0; v < nv; ++v) values[v] = 0;
    std::fill(count.begin(), count.end(), 0);
    for (int32_t c = 0; c < mesh.NumCells(); ++c) {
      const AK_Index4& cell = mesh._lcv[c];
      const int m = cell[3] < 0 ? 3 : 4;
      double mean = 0;
      for (int k = 0; k < m; ++k) mean += source[static_cast<size_t>(cell[k])];
      mean /= m;
      for (int k = 0; k < m; ++k) {
        values[cell[k]] = static_cast<float>(values[cell[k]] + mean);
        ++count[static_cast<size_t>(cell[k])];
      }
    }
    for (int32_t v = 0; v < nv; ++v) {
      int32_t n = count[static_cast<size_t>(v)];
      // A vertex in no cell has no mean to take: it keeps its value.
      values[v] = n ? values[v] / static_cast<float>(n) : source[static_cast<size_t>(v)];
    }
    source.assign(values.begin(), values.end());
  }
}

namespace {

// One output per cell (corner means) or per vertex (means over the cells at the vertex).
// T is float (sums in f32) or AK_Vec3 (sums in f64).
template <class T>
void VertexToCell(const SW_MeshCore& mesh, const AK_Array<T>& in, AK_Array<T>& out)
{
  const int32_t nc = mesh.NumCells();
  AK_Array<T> result(nc);
  result.SetCount(nc);
  for (int32_t c = 0; c < nc; ++c) {
    const AK_Index4& cell = mesh._lcv[c];
    const int m = cell[3] < 0 ? 3 : 4;
    T sum{};
    for (int k = 0; k < m; ++k) sum += in[cell[k]];
    if constexpr (std::is_same_v<T, float>) result[c] = sum / static_cast<float>(m);
    else result[c] = sum * (1.0 / m);
  }
  out = std::move(result);
}

template <class T>
void CellToVertex(const SW_MeshCore& mesh, const AK_Array<T>& in, AK_Array<T>& out)
{
  const int32_t nv = mesh.NumVertices();
  AK_Array<T> result(nv);
  result.SetCount(nv);
  std::vector<int32_t> count(static_cast<size_t>(nv));
  for (int32_t c = 0; c < mesh.NumCells(); ++c) {
    const AK_Index4& cell = mesh._lcv[c];
    const int m = cell[3] < 0 ? 3 : 4;
    for (int k = 0; k < m; ++k) {
      result[cell[k]] += in[c];
      ++count[static_cast<size_t>(cell[k])];
    }
  }
  for (int32_t v = 0; v < nv; ++v) {
    int32_t n = count[static_cast<size_t>(v)];
    if (n == 0) continue;  // no cell: stays 0
    if constexpr (std::is_same_v<T, float>) result[v] /= static_cast<float>(n);
    else result[v] *= 1.0 / n;
  }
  out = std::move(result);
}

}  // namespace

void SW_VertexToCellValues(const SW_MeshCore& mesh, const AK_Array<float>& in, AK_Array<float>& out)
{
  VertexToCell(mesh, in, out);
}
void SW_CellToVertexValues(const SW_MeshCore& mesh, const AK_Array<float>& in, AK_Array<float>& out)
{
  CellToVertex(mesh, in, out);
}
void SW_VertexToCellVectors(const SW_MeshCore& mesh, const AK_Array<AK_Vec3>& in,
                            AK_Array<AK_Vec3>& out)
{
  VertexToCell(mesh, in, out);
}
void SW_CellToVertexVectors(const SW_MeshCore& mesh, const AK_Array<AK_Vec3>& in,
                            AK_Array<AK_Vec3>& out)
{
  CellToVertex(mesh, in, out);
}

void SW_FitGradient(SW_MeshCore& mesh, const AK_Array<float>& values, int onVertices,
                    AK_Array<AK_Vec3>& out)
{
  const int32_t n = onVertices ? mesh.NumVertices() : mesh.NumCells();
  if (values.Size() != n || out.Size() != n) return;
  if (onVertices && mesh._vertexNormals.Size() != n) return;
  AK_Array<int32_t> neighbours;
  for (int32_t i = 0; i < n; ++i) {
    AK_Vec3 normal = onVertices ? mesh._vertexNormals[i] : mesh.CellAreaVector(i);
    double len = normal.Length();
    if (!(len > 0)) continue;
    normal *= 1.0 / len;
    AK_Vec3 e1(normal.z, 0, -normal.x);  // (0, 1, 0) x n
    double len1 = e1.Length();
    if (!(len1 > 0)) continue;  // a normal along y: no in-surface frame
    e1 *= 1.0 / len1;
    AK_Vec3 e2 = normal.Cross(e1);
    e2 *= 1.0 / e2.Length();

    AK_Vec3 pi;
    if (onVertices) {
      mesh.VertexNeighbours(i, neighbours);
      pi = mesh._x[i];
    } else {
      neighbours.Clear();
      if (mesh._lcc.Size() == n)
        for (int k = 0; k < 4; ++k)
          if (mesh._lcc[i][k] >= 0) neighbours.Append(mesh._lcc[i][k]);
      pi = mesh.CellCentre(i);
    }
    double suu = 0, suw = 0, sww = 0, suh = 0, swh = 0;
    for (int32_t j : neighbours) {
      AK_Vec3 d = (onVertices ? mesh._x[j] : mesh.CellCentre(j)) - pi;
      double u = d.Dot(e1), w = d.Dot(e2);
      double h = values[j] - values[i];  // the difference in f32
      suu += u * u;
      suw += u * w;
      sww += w * w;
      suh += u * h;
      swh += w * h;
    }
    double det = sww * suu - suw * suw;
    if (!(std::fabs(det) >= 1e-30)) continue;
    double a = (suh * sww - swh * suw) / det;
    double b = (swh * suu - suh * suw) / det;
    out[i] = e1 * a + e2 * b;
  }
}

double SW_AreaAboveLimit(const SW_MeshCore& mesh, const AK_Array<float>& values, int onVertices,
                         double limit)
{
  const int32_t nc = mesh.NumCells();
  if (values.Size() != (onVertices ? mesh.NumVertices() : nc)) return 0;
  double area = 0;
  for (int32_t c = 0; c < nc; ++c) {
    double v;
    if (onVertices) {
      const AK_Index4& cell = mesh._lcv[c];
      const int m = cell[3] < 0 ? 3 : 4;
      v = 0;
      for (int k = 0; k < m; ++k) v += values[cell[k]];
      v /= m;
    } else {
      v = values[c];
    }
    if (v > limit) area += mesh.CellAreaVector(c).z;
  }
  return area;
}

// ---- raster export ------------------------------------------------------------------------

bool SW_AutoRasterFrame(double xmin, double ymin, double xmax, double ymax, double cellSize,
                        SW_RasterFrame& frame)
{
  if (!(cellSize > 0) || !std::isfinite(cellSize)) return false;
  double x0 = std::ceil(xmin / cellSize) * cellSize;
  double y0 = std::floor(ymin / cellSize) * cellSize;
  double qx = std::trunc((xmax - x0) / cellSize), qy = std::trunc((ymax - y0) / cellSize);
  if (!(qx >= 0)) qx = 0;
  if (!(qy >= 0)) qy = 0;
  if (!(qx * qy <= static_cast<double>(SW_MaxRasterPoints)) || qx > INT32_MAX || qy > INT32_MAX)
    return false;
  frame = {x0, y0, cellSize, static_cast<int32_t>(qx), static_cast<int32_t>(qy)};
  return true;
}

bool SW_WriteRaster(std::FILE* file, const SW_RasterFrame& f,
                    const std::function<float(double x, double y)>& sample)
{
  std::string text = AK_String::Format("ncols         %d\nnrows         %d\n", f.columns, f.rows).c_str();
  text += "xllcenter     " + std::string(AK_FormatGeneral(f.x0, 10).c_str()) + "\n";
  text += "yllcenter     " + std::string(AK_FormatGeneral(f.y0, 10).c_str()) + "\n";
  text += "cellsize      " + std::string(AK_FormatGeneral(f.cellSize, 10).c_str()) + "\n";
  text += "NODATA_value  -9999\n";
  bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  for (int32_t r = f.rows - 1; r >= 0 && ok; --r) {
    const double y = r * f.cellSize + f.y0;
    text.clear();
    for (int32_t c = 0; c < f.columns; ++c) {
      float v = sample(c * f.cellSize + f.x0, y);
      text += std::isfinite(v) ? AK_FormatGeneral(v, 6).c_str() : "-9999";
      text += ' ';
    }
    text += '\n';
    ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  }
  return ok;
}

float SW_SampleField(const SW_MeshCore& mesh, const AK_Array<float>& values, int onVertices,
                     double x, double y)
{
  int32_t c = mesh.FindCell(x, y, -1);
  if (c < 0) return NAN;
  if (!onVertices) return values[c];
  double w[4];
  mesh.CellWeights(c, x, y, w);
  return mesh.InterpolateVertexValue(c, w, values);
}

// ---- particles ----------------------------------------------------------------------------

int64_t SW_CountParticles(const SW_MeshCore& mesh, const float* depth, float density,
                          float massPerParticle, AK_Array<int32_t>& counts)
{
  const int32_t nc = mesh.NumCells();
  counts.Clear();
  counts.Reserve(nc);
  counts.SetCount(nc);
  int64_t total = 0;
  for (int32_t c = 0; c < nc; ++c) {
    double a = mesh.CellAreaVector(c).Length();
    double e = static_cast<double>(depth[c]) * a * density / massPerParticle;
    double r = AK_Random() / 2147483647.0;
    int32_t k = 0;
    if (e >= 0 && e < 2147483647.0) {
      k = static_cast<int32_t>(e);
      if (e - k > r) ++k;
    }
    counts[c] = k;
    total += k;
    if (total > SW_MaxParticles) return -1;
  }
  return total;
}
