// The sums from particles onto vertices (or cells) on many threads: every target receives its
// terms in the particles' order whatever the thread count, so float sums repeat bit for bit.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "FlowTestRun.h"

namespace {

// Sources with a random span of targets each: narrow or wider, none at all, or all crowded
// into a small part of the targets (so that most threads' ranges are empty).
struct Spans {
  std::vector<int32_t> lo, hi;
  Spans(int32_t count, int32_t targets, int kind, uint64_t seed)
  {
    meshtest::Rng rng(seed);
    for (int32_t i = 0; i < count; ++i) {
      const int32_t reach = kind == 2 ? targets / 50 + 1 : targets;
      int32_t a = static_cast<int32_t>(rng.Uniform(0, reach)) % targets;
      int32_t width = static_cast<int32_t>(rng.Uniform(0, kind == 1 ? 200 : 4));
      if (rng.Uniform(0, 1) < 0.05) width = -1;  // reaches nothing
      lo.push_back(a);
      hi.push_back(std::min(targets - 1, a + width));
    }
  }
};

TEST(FlowScatter, EveryTargetSumsInTheSourcesOrderOnAnyThreadCount)
{
  for (int32_t count : {0, 300, 5000, 20000})
    for (int32_t targets : {1, 7, 1000, 60000})
      for (int kind : {0, 1, 2}) {
        const Spans s(count, targets, kind, count * 31 + targets + kind);
        // The oracle: one pass from the last source to the first.
        std::vector<std::vector<int32_t>> expected(static_cast<size_t>(targets));
        for (int32_t i = count - 1; i >= 0; --i)
          for (int32_t v = s.lo[i]; v <= s.hi[i]; ++v) expected[v].push_back(i);
        for (int threads : {1, 2, 3, 8}) {
          SCOPED_TRACE(::testing::Message() << count << " sources, " << targets << " targets, kind "
                                            << kind << ", " << threads << " threads");
          SW_FlowWorkers workers;
          workers.Use(threads);
          std::vector<std::vector<int32_t>> got(static_cast<size_t>(targets));
          std::vector<int> opened(static_cast<size_t>(targets)), closed(static_cast<size_t>(targets));
          bool inOrder = true;
          workers.ScatterInOrder(
              count, targets,
              [&](int32_t i, int32_t& lo, int32_t& hi) {
                lo = s.lo[i];
                hi = s.hi[i];
              },
              [&](int32_t first, int32_t end) {
                for (int32_t v = first; v < end; ++v) {
                  ++opened[v];
                  if (closed[v] || !got[v].empty()) inOrder = false;
                }
              },
              [&](int32_t i, int32_t first, int32_t end) {
                for (int32_t v = std::max(first, s.lo[i]); v <= s.hi[i] && v < end; ++v) {
                  if (!opened[v] || closed[v]) inOrder = false;
                  got[v].push_back(i);
                }
              },
              [&](int32_t first, int32_t end) {
                for (int32_t v = first; v < end; ++v) ++closed[v];
              });
          EXPECT_TRUE(inOrder);
          EXPECT_EQ(got, expected);
          for (int32_t v = 0; v < targets; ++v)
            if (opened[v] != 1 || closed[v] != 1) {
              ADD_FAILURE() << "target " << v << " opened " << opened[v] << ", closed " << closed[v];
              break;
            }
        }
      }
}

template <class T>
bool Same(const AK_Array<T>& a, const AK_Array<T>& b)
{
  return a.Size() == b.Size() && std::memcmp(a.begin(), b.begin(), sizeof(T) * a.Size()) == 0;
}

// Many particles crowded on part of a mesh, so the threads' sums and the grid's per-particle
// passes run (a whole run in the tests has too few particles for them).
struct Crowd : Flow {
  Crowd() : Flow(120, 60, 5, [](double x, double y) { return -0.5 * x + 0.01 * y * y; })
  {
    meshtest::Rng rng(3);
    for (int i = 0; i < 30000; ++i) {
      const AK_Vec3 x(20 + rng.Uniform(0, 250), 40 + rng.Uniform(0, 150), 0);
      p.Add(mesh, x, static_cast<float>(rng.Uniform(100, 900)), AK_Vec3(rng.Uniform(-3, 3), rng.Uniform(-3, 3), 0), 0, 0,
            -1);
    }
  }
};

TEST(FlowScatter, FieldsAndNeighbourGridAreTheSameWithWorkers)
{
  Crowd one;
  SW_UpdateFields(one.mesh, one.par.density, one.p, 2.5f, one.fields);
  one.grid.Build(one.mesh, one.p, 5, 1 << 20);
  for (int threads : {2, 8}) {
    SCOPED_TRACE(threads);
    Crowd many;
    SW_FlowWorkers workers;
    workers.Use(threads);
    SW_UpdateFields(many.mesh, many.par.density, many.p, 2.5f, many.fields, nullptr, &workers);
    const SW_FlowFields &f = one.fields, &g = many.fields;
    EXPECT_TRUE(Same(f.flowDepth, g.flowDepth) && Same(f.velocity, g.velocity) &&
                Same(f.peakPressure, g.peakPressure) && Same(f.peakForce, g.peakForce) &&
                Same(f.peakTorque, g.peakTorque) && Same(f.peakDepth, g.peakDepth) &&
                Same(f.frontArrival, g.frontArrival));
    many.grid.Build(many.mesh, many.p, 5, 1 << 20, &workers);
    EXPECT_TRUE(Same(one.grid.start, many.grid.start) && Same(one.grid.sorted, many.grid.sorted));
    EXPECT_EQ(std::memcmp(one.grid.points.begin(), many.grid.points.begin(),
                          sizeof(SW_GridPoint) * one.grid.points.Size()),
              0);
  }
}

TEST(FlowScatter, StepsWithManyParticlesAreTheSameOnAnyThreadCount)
{
  // Entrainment everywhere, so the snow taken is summed per cell on the threads too.
  const auto run = [](int threads, int sph) {
    auto f = std::make_unique<Crowd>();
    f->par.threads = threads;
    f->par.sphMode = sph;
    f->par.bedFrictionAngle = 16;
    f->par.entrainmentDeformation = 100;
    f->par.entrainmentShear = 10;
    for (float& m : f->fields.entrainmentMass) m = 50;
    SW_UpdateFields(f->mesh, f->par.density, f->p, 0, f->fields);
    AK_String error;
    for (int k = 0; k < 3; ++k) EXPECT_EQ(f->Step(k * 0.1, 0.1, error), 0) << error.c_str();
    return f;
  };
  for (int sph : {0, 1}) {
    const auto one = run(1, sph);
    EXPECT_GT(one->run.report.entrained, 0);
    const auto many = run(8, sph);
    EXPECT_TRUE(Same(one->p.x, many->p.x) && Same(one->p.v, many->p.v) && Same(one->p.m, many->p.m));
    EXPECT_TRUE(Same(one->fields.flowDepth, many->fields.flowDepth) &&
                Same(one->fields.bottomPressure, many->fields.bottomPressure) &&
                Same(one->fields.entrainmentMass, many->fields.entrainmentMass));
    EXPECT_EQ(std::memcmp(&one->run.report.entrained, &many->run.report.entrained, sizeof(double)), 0);
  }
}

}  // namespace
