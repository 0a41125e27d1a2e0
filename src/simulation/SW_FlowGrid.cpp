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
                        int64_t maxBuckets, SW_FlowWorkers* workers)
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
  const int32_t n = p.Count();
  if (n > sorted._capacity) {
    sorted.Reserve(n + n / 5);  // room for the particles to come
    bucket.Reserve(n + n / 5);
  }
  sorted.SetCount(n);
  bucket.SetCount(n);
  // Each particle's bucket on its own (on the threads), then the counting sort in order.
  const auto place = [this, &p](int32_t first, int32_t end) {
    for (int32_t i = first; i < end; ++i) bucket[i] = Row(p.x[i].y) * nx + Column(p.x[i].x);
  };
  if (workers)
    workers->ForEachChunk(n, place);
  else
    place(0, n);
  start.Reserve(buckets + 1);
  start.SetCount(buckets + 1);
  for (int32_t& s : start) s = 0;
  for (int32_t i = 0; i < n; ++i) ++start[bucket[i]];
  for (int32_t k = 1; k <= buckets; ++k) start[k] += start[k - 1];
  // Placing in increasing index from the bucket ends leaves each bucket in decreasing order.
  for (int32_t i = 0; i < n; ++i) sorted[--start[bucket[i]]] = i;
  Gather(p, workers);
}

void SW_FlowGrid::Gather(const SW_ParticleStore& p, SW_FlowWorkers* workers)
{
  const int32_t n = sorted.Size();
  if (n > points._capacity) points.Reserve(n + n / 5);
  points.SetCount(n);
  const auto gather = [this, &p](int32_t first, int32_t end) {
    for (int32_t k = first; k < end; ++k) {
      const int32_t j = sorted[k];
      points[k] = SW_GridPoint{p.x[j].x, p.x[j].y, p.m[j]};
    }
  };
  if (workers)
    workers->ForEachChunk(n, gather);
  else
    gather(0, n);
}
