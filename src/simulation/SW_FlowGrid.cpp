// The neighbour grid of the smoothed-particle method and its kernel radius.
#include <cmath>

#include "SW_Flow.h"

double SW_KernelRadius(const SW_FlowParameters& par)
{
  // In doubles: the negation of the least whole number has no int.
  const double mode = par.sphMode;
  return mode < 0 ? par.resolution / -mode : par.resolution * mode;
}

AK_String SW_KernelGridFault(const SW_MeshCore& mesh, const SW_FlowParameters& par)
{
  if (par.sphMode == 0) return "";
  const double r = SW_KernelRadius(par);
  AK_Vec3 lo, hi;
  mesh.VertexBox(lo, hi);
  // In doubles, as the grid counts them: a tiny radius makes counts far beyond any integer.
  const double nx = std::floor((hi.x - lo.x) / r + 1.0), ny = std::floor((hi.y - lo.y) / r + 1.0);
  if (r > 0 && nx * ny <= SW_MaxKernelGridBuckets) return "";
  return AK_String::Format("the kernel radius %g m (SphMode %d, cells of %g m) needs a neighbour grid of "
                           "%.15g x %.15g buckets, more than the %.0f a grid can count",
                           r, par.sphMode, par.resolution, nx, ny, SW_MaxKernelGridBuckets);
}


namespace {

// The x-y box of the mesh's vertices, as VertexBox gives it: on the threads in parts, each
// part's least and greatest first reached, joined in order, so that of equal values (0 and
// -0) the same one wins. A coordinate that is not a number leaves it to VertexBox.
void PlanBox(const SW_MeshCore& mesh, SW_FlowWorkers* workers, AK_Vec3& lo, AK_Vec3& hi)
{
  const int32_t n = mesh.NumVertices();
  constexpr int kParts = 64;
  if (!workers || workers->Threads() < 2 || n < 64 * kParts) {
    mesh.VertexBox(lo, hi);
    return;
  }
  struct Part {
    double x0, y0, x1, y1;
    bool nan;
  };
  Part parts[kParts];
  const AK_Vec3* x = mesh._x._elems;
  workers->ForEachItem(kParts, [&](int32_t k) {
    const int32_t from = static_cast<int32_t>(int64_t(n) * k / kParts);
    const int32_t to = static_cast<int32_t>(int64_t(n) * (k + 1) / kParts);
    Part q{x[from].x, x[from].y, x[from].x, x[from].y, false};
    for (int32_t i = from; i < to; ++i) {
      const double px = x[i].x, py = x[i].y;
      q.nan |= px != px || py != py;
      if (px < q.x0) q.x0 = px;
      if (py < q.y0) q.y0 = py;
      if (px > q.x1) q.x1 = px;
      if (py > q.y1) q.y1 = py;
    }
    parts[k] = q;
  });
  lo = x[0];
  hi = x[0];
  for (const Part& q : parts) {
    if (q.nan) {
      mesh.VertexBox(lo, hi);
      return;
    }
    if (q.x0 < lo.x) lo.x = q.x0;
    if (q.y0 < lo.y) lo.y = q.y0;
    if (q.x1 > hi.x) hi.x = q.x1;
    if (q.y1 > hi.y) hi.y = q.y1;
  }
}

}  // namespace

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

int SW_FlowGrid::Build(const SW_MeshCore& mesh, const SW_ParticleStore& p, double radius,
                       int64_t maxBuckets, SW_FlowWorkers* workers)
{
  AK_Vec3 lo, hi;
  PlanBox(mesh, workers, lo, hi);
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
  // Room for the particles to come, or at least for these; none leaves no grid to read.
  if (!sorted.TryReserveWithSpare(n) || !bucket.TryReserveWithSpare(n) || !points.TryReserveWithSpare(n) ||
      !start.TryReserve(buckets + 1)) {
    sorted.SetCount(0);
    start.SetCount(0);
    return 0;
  }
  sorted.SetCount(n);
  bucket.SetCount(n);
  start.SetCount(buckets + 1);
  // A counting sort that leaves each bucket in decreasing particle order.
  int32_t* const b = bucket._elems;
  int32_t* const first = start._elems;
  int32_t* const order = sorted._elems;
  const auto place = [this, &p, b](int32_t from, int32_t to) {
    for (int32_t i = from; i < to; ++i) b[i] = Row(p.x[i].y) * nx + Column(p.x[i].x);
  };
  if (!workers || workers->Threads() < 2 || n < 4096) {
    place(0, n);
    for (int32_t k = 0; k <= buckets; ++k) first[k] = 0;
    for (int32_t i = 0; i < n; ++i) ++first[b[i]];
    for (int32_t k = 1; k <= buckets; ++k) first[k] += first[k - 1];
    // Placing in increasing index from the bucket ends.
    for (int32_t i = 0; i < n; ++i) order[--first[b[i]]] = i;
    Gather(p, workers);
    return 1;
  }
  // On the threads: each bucket counted and then filled by the thread that owns it, walking
  // the particles from the last. Bucket b is counted at b + 1, where the sums then leave its
  // start, which moves on to its end (the next bucket's start) while the bucket is filled.
  workers->ForEachChunk(n, place);
  const auto none = [](int32_t, int32_t) {};
  const auto ownBucket = [b](int32_t i, int32_t& lo, int32_t& hi) { lo = hi = b[i]; };
  workers->ScatterInOrder(
      n, buckets, ownBucket,
      [first](int32_t from, int32_t to) {
        for (int32_t k = from; k < to; ++k) first[k + 1] = 0;
      },
      [first, b](int32_t i, int32_t, int32_t) { ++first[b[i] + 1]; }, none);
  first[0] = 0;
  int32_t sum = 0;
  for (int32_t k = 1; k <= buckets; ++k) {
    const int32_t count = first[k];
    first[k] = sum;
    sum += count;
  }
  workers->ScatterAgain(
      n, buckets, none,
      [first, b, order](int32_t i, int32_t, int32_t) { order[first[b[i] + 1]++] = i; }, none);
  Gather(p, workers);
  return 1;
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
