// The flow model's phases on small meshes: analytic motion on a plane, the field update's
// hand-computed values, mass balance, orders of removal and splitting, refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "SW_Flow.h"
#include "FlowTestRun.h"

namespace {

const double kPi = std::acos(-1.0);

// Speed after `seconds` of sliding from rest (or from v0) on a slope.
double SpeedAfter(double slope, double friction, double v0, double seconds, double dt,
                  double* at = nullptr, int averaged = 0)
{
  Flow f(slope, 40, 3, 5);
  f.par.bedFrictionAngle = friction;
  f.par.averagedSpeed = averaged;
  f.p.Add(f.mesh, AK_Vec3(12, 7.5, 0), 1000, AK_Vec3(v0 * std::cos(slope * kPi / 180), 0,
                                                       -v0 * std::sin(slope * kPi / 180)), 0, 0, -1);
  const int steps = static_cast<int>(seconds / dt + 0.5);
  for (int k = 0; k < steps; ++k) {
    f.Move(k * dt, dt);
    if (at && k == steps / 2) *at = f.p.v[0].Length();
  }
  return f.p.v[0].Length();
}

}  // namespace

TEST(Flow, CoulombSlideAcceleratesByGravityAlongSlopeLessFriction)
{
  // tan 30 / tan 20 = 1.59: from rest the speed floors pin the particle unless the speed
  // is averaged over the step ("$compat" "v2017").
  EXPECT_LT(SpeedAfter(30, 20, 0, 4, 0.01), 1e-5);
  const struct {
    double slope;
    int averaged;
  } cases[] = {{35, 0}, {45, 0}, {35, 1}, {30, 1}};
  for (const auto& c : cases) {
    const double dt = 0.01, mu = std::tan(20 * kPi / 180);
    double mid = 0;
    const double end = SpeedAfter(c.slope, 20, 0, 4, dt, &mid, c.averaged);
    const double th = c.slope * kPi / 180;
    const double expected = 9.81 * (std::sin(th) - mu * std::cos(th));
    ASSERT_GT(mid, 1) << c.slope;
    EXPECT_NEAR((end - mid) / 2, expected, 0.01 * expected) << c.slope << " " << c.averaged;
  }
}

TEST(Flow, SlopeFlatterThanFrictionAngleHoldsAndStops)
{
  EXPECT_LT(SpeedAfter(15, 20, 0, 2, 0.01), 1e-5);  // from rest: no creep
  EXPECT_LT(SpeedAfter(15, 20, 3, 6, 0.01), 1e-5);  // a moving particle comes to rest
}

TEST(Flow, FieldUpdateOfHandComputedCases)
{
  Flow f(0, 4, 4, 2);  // flat, interior vertices of area 4 m²
  f.par.density = 200;
  const AK_Vec3 vertex(4, 4, 0);
  f.p.Add(f.mesh, vertex, 1000, AK_Vec3(2, 0, 0), 0, 0, -1);
  f.p.Add(f.mesh, vertex, 1000, AK_Vec3(0, 2, 0), 0, 0, -1);
  SW_UpdateFields(f.mesh, 200, f.p, 12.5f, f.fields);
  int32_t k = 0;
  while (!(f.mesh._x[k] == vertex)) ++k;
  EXPECT_FLOAT_EQ(f.fields.flowDepth[k], 2.5f);
  EXPECT_NEAR(f.fields.velocity[k].x, 1, 1e-12);
  EXPECT_NEAR(f.fields.velocity[k].y, 1, 1e-12);
  EXPECT_FLOAT_EQ(f.fields.peakPressure[k], 2 * 0.001f * 200);
  EXPECT_FLOAT_EQ(f.fields.frontArrival[k], 12.5f);
  int32_t carrying = 0;
  for (float d : f.fields.flowDepth) carrying += d > 0;
  EXPECT_EQ(carrying, 1);
  f.p.m[1] = 0;  // one particle left: 1000 kg on 4 m² at 200 kg/m³
  SW_UpdateFields(f.mesh, 200, f.p, 20, f.fields);
  EXPECT_FLOAT_EQ(f.fields.flowDepth[k], 1.25f);
  EXPECT_FLOAT_EQ(f.fields.peakDepth[k], 2.5f);      // peaks stay
  EXPECT_FLOAT_EQ(f.fields.frontArrival[k], 12.5f);  // first arrival stays
}

TEST(Flow, StepsConserveMassAndRepeatBitForBitOnAnyThreadCount)
{
  for (int sph : {0, -2}) {
    SW_ParticleStore runs[2];
    for (int threads : {1, 4}) {
      SW_ParticleStore& result = runs[threads > 1];
      Flow f(35, 30, 12, 5);
      f.par.threads = threads;
      f.par.bedFrictionAngle = 20;
      f.par.sphMode = sph;
      f.par.dynamicFriction = 0.022;
      f.par.massPerParticle = 500;
      AK_SeedRandom(5);
      for (int i = 0; i < 300; ++i)
        f.p.Add(f.mesh, AK_Vec3(10 + AK_Random() % 2000 / 100.0, 20 + AK_Random() % 2000 / 100.0, 0),
                500, AK_Vec3(), 0, 0, -1);
      SW_UpdateFields(f.mesh, f.par.density, f.p, 0, f.fields);
      const double initial = f.p.TotalMass();
      const SW_FlowStepReport& report = f.run.report;
      AK_String error;
      for (int k = 0; k < 40; ++k) {
        ASSERT_EQ(f.Step(k * 0.1, 0.1, error), 0);
        ASSERT_EQ(f.p.Count(), 300);
        EXPECT_NEAR(report.total, initial, initial * 1e-6);
        double mapped = 0;
        for (int32_t v = 0; v < f.mesh.NumVertices(); ++v)
          mapped += f.fields.flowDepth[v] * f.mesh._vertexNormals[v].Length() * f.par.density;
        EXPECT_NEAR(mapped, report.total, initial * 1e-5);
      }
      double meanX = 0;
      for (const AK_Vec3& x : f.p.x) meanX += x.x / 300;
      EXPECT_GT(meanX, 21);  // it did flow (from 20)
      EXPECT_LE(f.p.entrainment.Capacity(), 1);  // no snow: no room for entrainment work
      result = f.p;
    }
    EXPECT_EQ(std::memcmp(runs[0].x.begin(), runs[1].x.begin(), 300 * sizeof(AK_Vec3)), 0);
    EXPECT_EQ(std::memcmp(runs[0].v.begin(), runs[1].v.begin(), 300 * sizeof(AK_Vec3)), 0);
  }
}

TEST(Flow, RemovalMovesTheLastIntoEachGapAndSplitAppendsCopies)
{
  Flow f(0, 4, 4, 2);
  const float masses[] = {5, 0.004f, 7, 8, 9};
  for (float m : masses) f.p.Add(f.mesh, AK_Vec3(0.5 + 0.5 * m, 3, 0), m, AK_Vec3(m, 0, 0), m, 0, -1);
  f.p.cell[3] = -1;  // left the mesh
  EXPECT_EQ(f.p.RemoveBelow(0.01), 2);
  ASSERT_EQ(f.p.Count(), 3);
  EXPECT_EQ(f.p.m[0], 5);
  EXPECT_EQ(f.p.m[1], 9);  // 9 moved into 3, then into 1
  EXPECT_EQ(f.p.m[2], 7);
  EXPECT_EQ(f.p.Split(f.mesh, 1, 3), 2);
  ASSERT_EQ(f.p.Count(), 5);
  for (int32_t i : {1, 3, 4}) {
    EXPECT_EQ(f.p.m[i], 3);
    EXPECT_EQ(f.p.v[i].x, 9);
    EXPECT_EQ(f.p.x[i].x, 5);
  }
}

// A step splits a particle into round(m / mass per particle) when that is above one: masses
// either side of each rounding border, and of the border below which no division is needed.
TEST(Flow, StepSplitsHeavyParticlesByTheRoundedMassRatio)
{
  for (double perParticle : {1000.0, 0.37, 3e7}) {
    SCOPED_TRACE(perParticle);
    Flow f(0, 8, 8, 5);
    f.par.massPerParticle = perParticle;
    int32_t expected = 0;
    for (double ratio : {0.5, 1.0, 1.39999, 1.4, 1.40001, 1.49999, 1.5, 1.50001, 2.49999, 2.5, 2.50001, 7.3}) {
      for (float m : {std::nextafter(static_cast<float>(ratio * perParticle), 0.f), static_cast<float>(ratio * perParticle),
                      std::nextafter(static_cast<float>(ratio * perParticle), 1e30f)}) {
        f.p.Add(f.mesh, AK_Vec3(20, 20, 0), m, AK_Vec3(), 0, 0, -1);
        expected += std::max(1, static_cast<int32_t>(m / perParticle + 0.5));
      }
    }
    SW_UpdateFields(f.mesh, f.par.density, f.p, 0, f.fields);
    AK_String error;
    ASSERT_EQ(f.Step(0, 0.01, error), 0) << error.c_str();
    EXPECT_EQ(f.run.report.removed, 0);
    EXPECT_EQ(f.p.Count(), expected);
  }
}

TEST(Flow, ParticleMassMethodsAndRefusals)
{
  struct Case {
    const char* method;
    double M, mass, depth, perCell;
    int32_t n, count;
    int ok;
    double expectMass;
    int32_t expectCount;
  } cases[] = {
      {"direct", 10000, 100, 0, 0, 10, 0, 1, 100, 100},
      {"whatever", 10000, 100, 0, 0, 10, 0, 1, 100, 100},
      {"particles per cell", 8000, 0, 0, 5, 40, 0, 1, 40, 200},
      {"delta-depth per particle", 5000, 0, 0.5, 0, 10, 0, 1, 2500, 2},
      {"number of particles", 0, 0, 0, 0, 0, 20000, 1, 0, 20000},
      {"direct", 10000, 0, 0, 0, 10, 0, 0, 0, 0},
      {"direct", 10000, -5, 0, 0, 10, 0, 0, 0, 0},
      {"particles per cell", 8000, 0, 0, 0, 40, 0, 0, 0, 0},
      {"number of particles", 8000, 0, 0, 0, 40, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SW_ParticleBudget b{c.mass, c.depth, c.perCell, c.count};
    AK_String error;
    EXPECT_EQ(SW_ChooseParticleMass(c.method, c.M, c.n, 5, 200, b, error), c.ok) << c.method;
    if (!c.ok) {
      EXPECT_FALSE(error.IsEmpty());
      continue;
    }
    EXPECT_DOUBLE_EQ(b.massPerParticle, c.expectMass) << c.method;
    EXPECT_EQ(b.count, c.expectCount) << c.method;
  }
  SW_ParticleBudget b{100, 0, 0, 0};
  AK_String error;
  EXPECT_EQ(SW_ChooseParticleMass("direct", 1000, 1, 5, 0, b, error), 0);  // density 0
  AK_Array<float> none;
  EXPECT_EQ(SW_CorrectParticleMasses(none, 1000), 0);  // no particle: no NaN factor
  AK_Array<float> two;
  two.Append(1);
  two.Append(3);
  EXPECT_EQ(SW_CorrectParticleMasses(two, 8), 2);
  EXPECT_EQ(two[1], 6);
}

TEST(Flow, UserLawWithoutFiniteAnswerStopsTheRun)
{
  Flow f(30, 6, 3, 5);
  f.par.frictionLaw = SW_FrictionUser;
  f.par.userLaw.name = "mylaw";
  f.par.userLaw.tau = [](void*, const SW_FrictionArgs& a) { return a.u > 0.5 ? std::nan("") : 0.0; };
  f.p.Add(f.mesh, AK_Vec3(7, 7, 0), 100, AK_Vec3(1, 0, 0), 0, 0, -1);
  f.p.SizeWork();
  AK_String error;
  EXPECT_EQ(SW_ComputeBodyForces(f.run, 0, 1, 0, 0.1, error), 1);
  EXPECT_NE(std::strstr(error.c_str(), "mylaw"), nullptr);
}

namespace {
// A vertical wall along y at x = 20, 2 m high, with a chosen direction.
class TestWall : public SW_FlowWall {
public:
  AK_Vec3 direction{0, 1, 0};
  AK_Array<AK_Vec3> path;  // not marked here: the test marks every cell
  const AK_Array<AK_Vec3>& Path() const override { return path; }
  bool Active() const override { return true; }
  int Intersect(const AK_Vec2& p, const AK_Vec2& q, AK_Vec3& hit, AK_Vec3& top,
                AK_Vec3& along) const override
  {
    if ((p.x - 20) * (q.x - 20) > 0) return 0;
    const double s = (20 - p.x) / (q.x - p.x);
    hit = AK_Vec3(20, p.y + s * (q.y - p.y), 0);
    top = AK_Vec3(20, hit.y, 2);
    along = direction;
    return 1;
  }
};
}  // namespace

TEST(Flow, WallReflectsWithRestitutionAndSkipsUndefinedDirections)
{
  for (double e : {0.0, 1.0}) {
    for (int vertical : {0, 1}) {
      Flow f(0, 10, 4, 5);
      TestWall wall;
      if (vertical) wall.direction = AK_Vec3(0, 0, 1);
      f.cells.walls.Append(&wall);
      for (int32_t c = 0; c < f.mesh.NumCells(); ++c) f.cells.wallMark.Append(1);
      f.par.restitution = e;
      f.par.bedFrictionAngle = 0;
      f.p.Add(f.mesh, AK_Vec3(19.5, 10, 0), 100, AK_Vec3(10, 0, 0), 0, 0, -1);
      f.Move(0, 0.1);
      const double x = f.p.x[0].x, vx = f.p.v[0].x;
      if (vertical) {  // no wall normal: the particle passes as if no wall stood there
        EXPECT_NEAR(x, 20.5, 1e-4);
        continue;
      }
      EXPECT_NEAR(x, 19.5 - 0.5 * (1 + e), 1e-9) << e;  // old place, pushed off by (1 + e) x 0.5 m
      EXPECT_NEAR(vx, -10 * e, 1e-4) << e;
    }
  }
}

TEST(Flow, GridHoldsEveryParticleOnceWithClampedBuckets)
{
  Flow f(10, 20, 20, 5);
  for (int i = 0; i < 200; ++i)
    f.p.Add(f.mesh, AK_Vec3(0.5 * i, 0.49 * i, 0), 10, AK_Vec3(), 0, 0, -1);
  f.p.x[3] = AK_Vec3(-50, 1e9, 0);  // stray positions stay in the edge buckets
  f.p.x[4] = AK_Vec3(std::nan(""), 0, 0);
  f.grid.Build(f.mesh, f.p, 0.1, 1000);
  EXPECT_LE(int64_t(f.grid.nx) * f.grid.ny, 1000);
  AK_Array<int32_t> seen;
  for (int i = 0; i < 200; ++i) seen.Append(0);
  for (int32_t b = 0; b < f.grid.nx * f.grid.ny; ++b)
    for (int32_t k = f.grid.start[b]; k < f.grid.start[b + 1]; ++k) {
      const int32_t i = f.grid.sorted[k];
      ++seen[i];
      if (i != 3 && i != 4) {
        EXPECT_EQ(b, f.grid.Row(f.p.x[i].y) * f.grid.nx + f.grid.Column(f.p.x[i].x));
      }
    }
  for (int32_t s : seen) EXPECT_EQ(s, 1);
}

// A lone particle takes the snow it sweeps, or, with an erosion energy so tiny that its demand
// overflows, all the snow of its cell (2 kg/m² on 25 m²).
TEST(Flow, EntrainmentTakesSweptSnowAndKeepsMomentum)
{
  for (const auto& [erosion, taken] : {std::pair{0.0, 2.0}, {4.9e-324, 50.0}}) {
    Flow f(0, 4, 4, 5);
    f.par.entrainmentErosion = erosion;
    for (float& d : f.fields.flowDepth) d = 1;
    for (float& e : f.fields.entrainmentMass) e = 2;
    f.p.Add(f.mesh, AK_Vec3(7, 7, 0), 800, AK_Vec3(5, 0, 0), 0, 0, -1);  // basal area 4 m²
    f.p.SizeWork();
    AK_String error;
    ASSERT_EQ(SW_ComputeBodyForces(f.run, 0, 1, 0, 0.1, error), 0);
    EXPECT_FLOAT_EQ(f.p.entrainedMass[0], taken);  // 2 kg/m² x width 2 m x 5 m/s x 0.1 s
    EXPECT_FLOAT_EQ(f.p.m[0], 800 + taken);
    EXPECT_NEAR(f.p.v[0].x * (800 + taken), 5 * 800, 1e-9);
  }
}

// Entrainment takes no more snow from a cell in a step than lies there: the particles' mass
// and the snow left add up to what there was, with a small erosion energy (the particles ask
// for several times a cell's snow per step), without one, and on any number of threads. An
// erosion energy so tiny that the demands overflow takes the cells' snow as 1e-300 does, and
// leaves every particle finite, with a user's energy loss too.
TEST(Flow, EntrainmentTakesNoMoreSnowThanLiesThere)
{
  const struct {
    double erosion;
    int threads;
    bool loss = false;  // an energy loss law of the user's
  } cases[] = {{5, 1},      {5, 3},      {0, 1},      {1e9, 3},           {1e-300, 1},
               {1e-305, 1}, {1e-308, 3}, {4.9e-324, 1}, {4.9e-324, 3, true}};
  std::vector<float> oneThread;
  double tiny = 0;  // the particles' mass after the steps with 1e-300
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.erosion << " J/kg on " << c.threads << " threads"
                                      << (c.loss ? ", a loss law" : ""));
    Flow f(30, 30, 16, 5);
    f.par.entrainmentErosion = c.erosion;
    if (c.loss)
      f.par.entrainmentLoss.loss = [](void*, const SW_EntrainmentLossArgs& a) { return a.q * 50 + a.tau; };
    f.par.threads = c.threads;
    f.par.massPerParticle = 300;
    f.par.bedFrictionAngle = 20;
    for (float& e : f.fields.entrainmentMass) e = 2;
    AK_SeedRandom(3);
    for (int i = 0; i < 5000; ++i)
      f.p.Add(f.mesh, AK_Vec3(10 + AK_Random() % 5000 / 100.0, 20 + AK_Random() % 4000 / 100.0, 0), 300,
              AK_Vec3(4.33, 0, -2.5), -2000, 0, -1);
    SW_UpdateFields(f.mesh, f.par.density, f.p, 0, f.fields);
    const auto held = [&f] {
      double sum = f.p.TotalMass();
      for (int32_t k = 0; k < f.mesh.NumCells(); ++k) sum += f.fields.entrainmentMass[k] * f.mesh.CellAreaVector(k).Length();
      return sum;
    };
    const double before = held();
    AK_String error;
    for (int k = 0; k < 10; ++k) {
      ASSERT_EQ(f.Step(k * 0.1, 0.1, error), 0) << error.c_str();
      for (float e : f.fields.entrainmentMass) ASSERT_GE(e, 0);
      ASSERT_NEAR(held(), before, before * 1e-5) << "step " << k;
    }
    for (int32_t i = 0; i < f.p.Count(); ++i)
      ASSERT_TRUE(std::isfinite(f.p.v[i].Dot(f.p.v[i])) && std::isfinite(f.p.H[i])) << "particle " << i;
    if (c.erosion > 0 && c.erosion < 1) {
      if (c.erosion == 1e-300) tiny = f.p.TotalMass();
      EXPECT_GT(f.p.TotalMass(), 5000 * 300 * 1.004);  // it did entrain
      if (!c.loss) {
        EXPECT_NEAR(f.p.TotalMass(), tiny, tiny * 1e-6);
      }
    }
    if (c.erosion == 5) {
      EXPECT_GT(std::count(f.fields.entrainmentMass.begin(), f.fields.entrainmentMass.end(), 0.f), 20);
      const std::vector<float> masses(f.p.m.begin(), f.p.m.end());
      if (c.threads == 1) oneThread = masses;
      else EXPECT_TRUE(masses == oneThread);
    }
  }
}

TEST(Flow, WallMarksCoverCrossedCellsAndTheirEdgeNeighbours)
{
  Flow f(0, 5, 5, 1);
  AK_Array<int32_t> crossed, marks;
  f.mesh.CellsAlongSegment(AK_Vec2{1.5, 2.5}, AK_Vec2{3.5, 2.5}, crossed, nullptr);
  ASSERT_EQ(crossed.Size(), 3);
  for (int32_t c = 0; c < f.mesh.NumCells(); ++c) marks.Append(0);
  SW_MarkCellsAndNeighbours(f.mesh, crossed, 300, marks);  // beyond a byte's range
  int32_t marked = 0;
  for (int32_t m : marks) {
    EXPECT_TRUE(m == 0 || m == 300);
    marked += m != 0;
  }
  EXPECT_EQ(marked, 3 + 3 + 3 + 2);  // the row, the rows above and below, both ends
}

// A step trusts no array it is handed: a field unbound or bound to another mesh, cell
// arrays of another mesh and particles off the mesh are refused before anything is written.
TEST(Flow, StateThatDoesNotBelongToTheMeshIsRefusedBeforeTheStep)
{
  const struct {
    const char* name;
    void (*spoil)(Flow& f);
    const char* says;
  } cases[] = {
      {"unbound bottom pressure", [](Flow& f) { f.fields.bottomPressure.SetCount(0); }, "BottomPressure"},
      {"stale flow depth", [](Flow& f) { f.fields.flowDepth.SetCount(f.fields.flowDepth.Size() - 3); }, "FlowDepth"},
      {"velocity of another mesh", [](Flow& f) { f.fields.velocity.Append(AK_Vec3()); }, "Velocity"},
      {"entrainment of another mesh", [](Flow& f) { f.fields.entrainmentEnthalpy.SetCount(2); }, "EntrainmentEnthalpy"},
      {"resistance cells of another mesh", [](Flow& f) { f.cells.resistance.Append(-1); }, "resistances"},
      {"resistance beyond the areas",
       [](Flow& f) {
         for (int32_t c = 0; c < f.mesh.NumCells(); ++c) f.cells.resistance.Append(c == 5 ? 0 : -1);
       },
       "resistance area 0 of 0"},
      {"wall mark beyond the lines",
       [](Flow& f) {
         for (int32_t c = 0; c < f.mesh.NumCells(); ++c) f.cells.wallMark.Append(2);
       },
       "wall line 2 of 0"},
      {"particle off the mesh", [](Flow& f) { f.p.cell[1] = f.mesh.NumCells(); }, "particle 1"},
      {"masses short", [](Flow& f) { f.p.m.SetCount(1); }, "Mass"},
      {"flags short", [](Flow& f) { f.p.flags.Append(1); }, "release flags"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Flow f(20, 8, 6, 5);
    for (int i = 0; i < 3; ++i) f.p.Add(f.mesh, AK_Vec3(7 + 5 * i, 12, 0), 100, AK_Vec3(1, 0, 0), 0, 0, -1);
    c.spoil(f);
    const AK_Vec3 before = f.p.x[0];
    AK_String error;
    EXPECT_EQ(f.Step(0, 0.1, error), 1);
    EXPECT_NE(std::strstr(error.c_str(), c.says), nullptr) << error.c_str();
    EXPECT_TRUE(f.p.x[0] == before);
  }
}
