// The neighbour grid of the smoothed-particle method and its kernel radius.
#include "SW_Flow.h"

double SW_KernelRadius(const SW_FlowParameters& par)
{
  // In doubles: the negation of the least whole number has no int.
  const double mode = par.sphMode;
  return mode < 0 ? par.resolution / -mode : par.resolution * mode;
}


int32_t SW_FlowGrid::Column(double x) const
{
  const double k = (x - x0) / size;
  if (!(k >= 0)) return 0;
  return k >= nx - 1 ? nx - 1 : static_cast<int32_t>(k);
}

int32_t SW_FlowGrid::Row(double y) const
{
  const double k = (y - y0) / size;
  if (!(k >= 0)) return 0;
  return k >= ny - 1 ? ny - 1 : static_cast<int32_t>(k);
}

void SW_FlowGrid::Build(const SW_MeshCore& mesh, const SW_ParticleStore& p, double radius,
                        int64_t maxBuckets)
{
  AK_Vec3 lo, hi;
  mesh.VertexBox(lo, hi);
  x0 = lo.x;
  y0 = lo.y;
  size = radius > 0 ? radius : 1;
  // A large domain with a small kernel would need more buckets than memory allows: the
  // buckets grow instead, which only makes the neighbour candidates more numerous.
  for (;;) {
    const double cx = (hi.x - x0) / size + 1.0, cy = (hi.y - y0) / size + 1.0;
    if (cx * cy <= static_cast<double>(maxBuckets)) {
      nx = static_cast<int32_t>(cx);
      ny = static_cast<int32_t>(cy);
      break;
    }
    size *= 2;
  }
  const int32_t buckets = nx * ny;
  start.Reserve(buckets + 1);
  start.SetCount(buckets + 1);
  for (int32_t& s : start) s = 0;
  const int32_t n = p.Count();
  if (n > sorted._capacity) sorted.Reserve(n + n / 5);  // room for the particles to come
  sorted.SetCount(n);
  for (int32_t i = 0; i < n; ++i) ++start[Row(p.x[i].y) * nx + Column(p.x[i].x)];
  for (int32_t k = 1; k <= buckets; ++k) start[k] += start[k - 1];
  // Placing in increasing index from the bucket ends leaves each bucket in decreasing order.
  for (int32_t i = 0; i < n; ++i) {
    const int32_t b = Row(p.x[i].y) * nx + Column(p.x[i].x);
    sorted[--start[b]] = i;
  }
  Gather(p);
}

void SW_FlowGrid::Gather(const SW_ParticleStore& p)
{
  const int32_t n = sorted.Size();
  if (n > points._capacity) points.Reserve(n + n / 5);
  points.SetCount(n);
  for (int32_t k = 0; k < n; ++k) {
    const int32_t j = sorted[k];
    points[k] = SW_GridPoint{p.x[j].x, p.x[j].y, p.m[j]};
  }
}

