// The phases of the flow step against values worked out by hand from the model's formulas:
// the friction laws, subgrid mixing, the curvature term, drag, break lines, inactive walls,
// earth pressure, smoothed-particle diffusion and cohesion, the enthalpy update, secondary
// release and the sources; and a level pile that no law may set moving.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "FlowTestRun.h"
#include "SW_SimulationRun.h"
#include "SW_SourceLine.h"

namespace {

const double kPi = std::acos(-1.0);

// Flat ground, one particle at the centre cell with velocity v, the flow depth h at every
// vertex and the field velocity equal to v (so mixing does nothing).
struct OneParticle : Flow {
  OneParticle(double h, const AK_Vec3& v, float mass = 800) : Flow(0, 6, 6, 5)
  {
    p.Add(mesh, AK_Vec3(13, 14, 0), mass, v, 0, 0, -1);
    for (float& d : fields.flowDepth) d = static_cast<float>(h);
    for (AK_Vec3& u : fields.velocity) u = v;
    p.SizeWork();
  }
  void BodyForces(double dt = 0.1)
  {
    AK_String error;
    ASSERT_EQ(SW_ComputeBodyForces(run, 0, 1, 0, dt, error), 0);
  }
};

// A fold across x = 50 between a slope falling along +x and one falling steeper.
double Fold(double x, double degreesBefore, double degreesAfter)
{
  const double a = std::tan(degreesBefore * kPi / 180), b = std::tan(degreesAfter * kPi / 180);
  return x < 50 ? -a * x : -a * 50 - b * (x - 50);
}

AK_Vec3 PlaneNormal(double degrees)
{
  const double a = degrees * kPi / 180;
  return AK_Vec3(std::sin(a), 0, std::cos(a));
}

}  // namespace

TEST(FlowPhases, FrictionLawsGiveTheirShearStress)
{
  const double rho = 200, cd = 0.022, g = 9.81, mu = std::tan(16 * kPi / 180);
  const struct {
    int law;
    double h, u, internalEnthalpy, tau;
  } cases[] = {
      {SW_FrictionChezy, 1, 10, 0, 440},  // rho cd u² for any depth
      {SW_FrictionChezy, 3, 10, 0, 440},
      {SW_FrictionChezyCoulomb, 2, 5, 0, g * rho * 2 * mu + rho * cd * 25},
      {SW_FrictionClassic, 2, 1, 0, mu * rho * 2 * g},            // slow: Coulomb
      {SW_FrictionClassic, 0.1, 30, 0, mu * rho * cd * 900},      // fast: dynamic pressure
      {SW_FrictionTorvuAT, 0.04, 3, 0,                            // K = 4.13 exactly
       (0.222 / (rho * 9 / (g * rho * 0.04 + 0.001) + 0.222) + 1) * (g * rho * 0.04 * 0.155) +
           rho * 9 / (4.13 * 4.13)},
      {SW_FrictionWetSnow, 1, 2, 0, mu * g * rho + rho * cd * 4},
      {SW_FrictionWetSnow, 1, 2, 20000 * std::log(2.0), mu * g * rho / 2 + rho * cd * 4},
      {SW_FrictionWetSnow, 1, 2, -20000 * std::log(2.0), mu * g * rho * 2 + rho * cd * 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(SW_FrictionLawNames[c.law]);
    OneParticle f(c.h, AK_Vec3(c.u, 0, 0));
    f.par.frictionLaw = c.law;
    f.par.dynamicFriction = cd;
    f.par.bedFrictionAngle = 16;
    f.p.H[0] = static_cast<float>(c.internalEnthalpy + 0.5 * c.u * c.u);  // on z = 0
    f.BodyForces();
    const double pressure = g * rho * c.h, area = 800 / (c.h * rho);
    EXPECT_NEAR(f.p.frictionRatio[0], c.tau / pressure, 1e-5 * c.tau / pressure);
    EXPECT_NEAR(f.p.frictionCoefficient[0], area * c.tau / c.u, 1e-5 * area * c.tau / c.u);
    EXPECT_FLOAT_EQ(f.p.normalForce[0], static_cast<float>(800 * g));
  }
  // The user law sees the pressure, speed, depth and density, and its answer is the stress.
  OneParticle f(2, AK_Vec3(3, 0, 0));
  f.par.frictionLaw = SW_FrictionUser;
  f.par.userLaw.tau = [](void*, const SW_FrictionArgs& a) { return a.p * 0.1 + a.rho * a.u / a.h; };
  f.BodyForces();
  const double tau = g * 200 * 2 * 0.1 + 200 * 3 / 2.0;
  EXPECT_NEAR(f.p.frictionRatio[0], tau / (g * 200 * 2), 1e-6);
}

// Uniform depth everywhere (one particle on every vertex, its mass in proportion to the
// vertex's area): no depth gradient worth the name, and at rest no law with a Coulomb part
// moves it. (Chezy has none: the slightest depth difference, such as the millimetre at the
// border below, sets it spreading, as it must.)
TEST(FlowPhases, LevelLayerStaysAtRestWithEveryCoulombLaw)
{
  for (int law : {-1, 1, 2, 3, 4}) {
    SCOPED_TRACE(law);
    Flow f(0, 8, 6, 5);
    f.par.frictionLaw = law;
    f.par.subgridMixing = 100;
    f.par.curvatureReduction = 1;
    f.par.userLaw.tau = [](void*, const SW_FrictionArgs& a) { return a.p * 0.3; };
    for (int32_t k = 0; k < f.mesh.NumVertices(); ++k) {
      // A millimetre inside the border, where the surface projection surely finds a cell.
      const AK_Vec3 x(std::clamp(f.mesh._x[k].x, 1e-3, 40 - 1e-3), std::clamp(f.mesh._x[k].y, 1e-3, 30 - 1e-3), 0);
      f.p.Add(f.mesh, x, static_cast<float>(f.mesh._vertexNormals[k].Length() * 400), AK_Vec3(), 0, 0, -1);
    }
    f.par.massPerParticle = 1e4;
    SW_UpdateFields(f.mesh, f.par.density, f.p, 0, f.fields);
    AK_String error;
    for (int k = 0; k < 20; ++k) {
      ASSERT_EQ(f.Step(k * 0.1, 0.1, error), 0);
    }
    double fastest = 0;
    for (const AK_Vec3& v : f.p.v) fastest = std::max(fastest, v.Length());
    EXPECT_LT(fastest, 1e-6);
    EXPECT_EQ(f.p.Count(), f.mesh.NumVertices());
    for (float d : f.fields.flowDepth) EXPECT_NEAR(d, 2, 1e-3);
  }
}

TEST(FlowPhases, SubgridMixingPullsTowardsTheFlowVelocity)
{
  OneParticle f(1.5, AK_Vec3(1, 0, 0));
  f.par.subgridMixing = 100;
  for (AK_Vec3& u : f.fields.velocity) u = AK_Vec3(4, 2, 3);  // the normal part (z) drops out
  const double dt = 0.1, rho = 200, m = 800, h = 1.5;
  const double k = std::sqrt(9.0 + 4.0) * (100 * 0.5 * rho) * (2 * std::sqrt(m * h / rho)) * dt / m;
  f.BodyForces(dt);
  EXPECT_NEAR(f.p.v[0].x, (1 + 4 * k) / (1 + k), 1e-12);
  EXPECT_NEAR(f.p.v[0].y, 2 * k / (1 + k), 1e-12);
  EXPECT_EQ(f.p.v[0].z, 0);
}

// Over a fold the normal acceleration takes the path's curvature: the normals before and
// after the fold are the planes' own, away from the vertices on the fold line.
TEST(FlowPhases, CurvatureOfThePathChangesTheNormalForce)
{
  const double dt = 0.1, g = 9.81, m = 800;
  for (double kappa : {0.0, 1.0, 0.5}) {
    for (double after : {40.0, 5.0}) {  // convex, then concave
      SCOPED_TRACE(after);
      Flow f(30, 4, 5, [after](double x, double) { return Fold(x, 20, after); });
      f.par.curvatureReduction = kappa;
      const AK_Vec3 n = PlaneNormal(20), ns = PlaneNormal(after);
      // From x = 37 the prediction lands near x = 60, where both the point and its foot on
      // the surface lie beyond the cells that touch the fold.
      const double speed = 250;
      const AK_Vec3 v = AK_Vec3(n.z, 0, -n.x) * speed;
      f.p.Add(f.mesh, AK_Vec3(37, 10, 0), static_cast<float>(m), v, 0, 0, -1);
      f.p.SizeWork();
      AK_String error;
      ASSERT_EQ(SW_ComputeBodyForces(f.run, 0, 1, 0, dt, error), 0);
      const AK_Vec3 nb = SW_Unit(n + ns);
      const double gn = g * nb.z - kappa * (ns - n).Dot(v) / dt;
      if (gn > 0) {
        EXPECT_NEAR(f.p.normalForce[0], m * gn, 1e-4 * m * std::fabs(gn));
      } else {  // it lifts off: no contact, no friction
        EXPECT_EQ(f.p.normalForce[0], 0);
        EXPECT_EQ(f.p.frictionCoefficient[0], 0);
        EXPECT_EQ(f.p.frictionRatio[0], 0);
      }
    }
  }
}

TEST(FlowPhases, ResistanceAreaSlowsByTheDragFormula)
{
  for (double h : {3.0, 0.5}) {
    OneParticle f(h, AK_Vec3(6, 0, 0));
    f.par.bedFrictionAngle = 0;  // no Coulomb friction: the drag alone
    f.par.dynamicFriction = 0;
    f.cells.resistances.Append(SW_FlowResistance{1, 0.3, 4, 1.2});
    for (int32_t c = 0; c < f.mesh.NumCells(); ++c) f.cells.resistance.Append(0);
    f.BodyForces();
    const double hr = std::min(1.0, h), area = 800 / 200.0 / h;
    const double drag = 6 * (1.2 * 0.3 / 16 * hr * area) * 200 * 0.5;
    EXPECT_NEAR(f.p.frictionCoefficient[0], drag, 1e-5 * drag) << h;
    f.p.force[0] = AK_Vec3();
    SW_UpdatePositions(f.run, 0, 1, 0.1);
    const double slowed = 6 / (f.p.frictionCoefficient[0] * 0.1 / 800 + 1);
    EXPECT_NEAR(f.p.v[0].x, slowed * slowed / (slowed + 1e-6), 1e-12);
  }
}

// The projection onto the new cell keeps the speed unless the fold is sharper than the break
// lines' angle, or the old cell lies by an inactive wall.
TEST(FlowPhases, BreakLinesAndInactiveWallsLoseTheSpeedOfTheProjection)
{
  class Inactive : public SW_FlowWall {
  public:
    AK_Array<AK_Vec3> path;
    const AK_Array<AK_Vec3>& Path() const override { return path; }
    bool Active() const override { return false; }
    int Intersect(const AK_Vec2&, const AK_Vec2&, AK_Vec3&, AK_Vec3&, AK_Vec3&) const override
    {
      ADD_FAILURE() << "an inactive wall reflects nothing";
      return 0;
    }
  } inactive;
  const struct {
    double breakLines;
    bool wall, keeps;
  } cases[] = {{0, false, true}, {30, false, false}, {45, false, true}, {0, true, false}};
  for (const auto& c : cases) {
    Flow f(30, 4, 5, [](double x, double) { return Fold(x, 10, 45); });
    f.par.breakLinesAngle = c.breakLines;
    f.par.bedFrictionAngle = 0;
    if (c.wall) {
      f.cells.walls.Append(&inactive);
      for (int32_t cell = 0; cell < f.mesh.NumCells(); ++cell) f.cells.wallMark.Append(1);
    }
    // Fast enough to land beyond the cells that touch the fold, where the normal is the
    // steeper plane's own.
    const AK_Vec3 v = AK_Vec3(PlaneNormal(10).z, 0, -PlaneNormal(10).x) * 120;
    f.p.Add(f.mesh, AK_Vec3(49.5, 10, 0), 800, v, 0, 0, -1);
    f.p.SizeWork();
    SW_UpdatePositions(f.run, 0, 1, 0.1);
    ASSERT_GT(f.p.x[0].x, 55);
    const double tangential = 120 * std::cos(35 * kPi / 180);
    // Kept: the tangential velocity scaled back to the old speed, less the speed floor.
    const double kept = 120 * tangential / (tangential + 1e-6);
    EXPECT_NEAR(f.p.v[0].Length(), c.keeps ? kept : tangential, 1e-9)
        << c.breakLines << " " << c.wall;
  }
}

// The earth-pressure coefficients against soil mechanics rather than the model's own formula.
// Without bed friction the bed takes no shear, the normal and the slope direction are
// principal, and kx is Rankine's: tan²(45° ± φ/2), the passive one when the flow is compressed
// along its path, the active one when it is stretched; across it the other principal stress
// is the normal one (1) or kx itself, whichever the stretching across picks. With bed friction
// tan δ the Mohr circle through the bed's stress (1, tan δ) and the one on the face (kx,
// -tan δ) touches the failure line τ = σ tan φ, and the two ky are the principal stresses of
// the face stresses [[kx, tan δ], [tan δ, 1]]: their sum is kx + 1, their product kx - tan²δ.
TEST(FlowPhases, EarthPressureBranches)
{
  const double deg = kPi / 180;
  for (double angle : {20.0, 35.0, 45.0}) {
    const double phi = angle * deg;
    const double cos2 = std::cos(phi) * std::cos(phi), tan2 = std::tan(phi) * std::tan(phi);
    const double passive = std::pow(std::tan(45 * deg + phi / 2), 2), active = std::pow(std::tan(45 * deg - phi / 2), 2);
    const struct {
      double a1, a2, threshold;
      double kx, ky;
    } rankine[] = {
        {-1, -1, 0.1, passive, passive},  // compressed both ways
        {-1, 1, 0.1, passive, 1},         // compressed along, stretched across
        {1, 1, 0.1, active, active},
        {1, -1, 0.1, active, 1},
        {0.05, -0.05, 0.1, 1, 1},     // below the threshold: hydrostatic
        {0, 0, 0, passive, passive},  // at rest a1 = 0 counts as compressed
    };
    for (const auto& c : rankine) {
      float kx = 0, ky = 0;
      SW_EarthPressure(c.a1, c.a2, c.threshold, 0.0f, cos2, tan2, kx, ky);
      EXPECT_NEAR(kx, c.kx, 1e-5 * c.kx) << angle << " " << c.a1 << " " << c.a2;
      EXPECT_NEAR(ky, c.ky, 1e-5 * c.ky) << angle << " " << c.a1 << " " << c.a2;
    }
    // The bed friction below (c2 < 1) and above the internal friction (the model then takes
    // the internal angle for the bed's, and the one circle is passive and active at once).
    for (const float ratio : {0.2f, 0.5f, 2.0f}) {
      const double tanDelta = std::min(static_cast<double>(ratio), std::tan(phi));
      for (double a1 : {-1.0, 1.0}) {
        float kx = 0, kyCompressed = 0, kyStretched = 0;
        SW_EarthPressure(a1, -1, 0.1, ratio, cos2, tan2, kx, kyCompressed);
        SW_EarthPressure(a1, 1, 0.1, ratio, cos2, tan2, kx, kyStretched);
        const double k = kx, centre = (k + 1) / 2, radius = std::hypot((k - 1) / 2, tanDelta);
        EXPECT_NEAR(radius, centre * std::sin(phi), 1e-5 * centre) << angle << " " << ratio << " " << a1;
        EXPECT_GE(kyCompressed, kyStretched);
        EXPECT_NEAR(kyCompressed + kyStretched, k + 1, 1e-5 * (k + 1)) << angle << " " << ratio << " " << a1;
        EXPECT_NEAR(static_cast<double>(kyCompressed) * kyStretched, k - tanDelta * tanDelta, 1e-5 * (k + 1))
            << angle << " " << ratio << " " << a1;
        // The circle's two solutions lie either side of 2 / cos²φ - 1: passive above, active below.
        if ((ratio * ratio + 1) * cos2 < 1) {
          EXPECT_EQ(a1 < 0, k > 2 / cos2 - 1) << angle << " " << ratio;
        }
      }
    }
  }
}

// Two particles within the kernel radius on flat ground: the depth gradient, cohesion and
// the diffusion of velocity and internal enthalpy as the kernel formulas give them.
TEST(FlowPhases, SmoothedParticleGradientCohesionAndDiffusion)
{
  for (int implicit : {0, 1}) {
    Flow f(0, 8, 8, 5);
    f.par.sphMode = 1;  // r = 5
    f.par.resolution = 5;
    f.par.bedFrictionAngle = 0;
    f.par.cohesion = 7;
    f.par.sphDiffusion = 0.3;
    f.par.sphDiffusionImplicit = implicit;
    f.p.Add(f.mesh, AK_Vec3(20, 20, 0), 500, AK_Vec3(1, 0, 0), 1000, 0, -1);
    f.p.Add(f.mesh, AK_Vec3(23, 20, 0), 700, AK_Vec3(0, 2, 0), 3000, 0, -1);
    SW_UpdateFields(f.mesh, 200, f.p, 0, f.fields);
    f.p.SizeWork();
    AK_String error;
    ASSERT_EQ(SW_ComputeBodyForces(f.run, 0, 2, 0, 0.1, error), 0);
    const AK_Vec3 before = f.p.force[0];
    const float fcBefore = f.p.frictionCoefficient[0];
    f.grid.Build(f.mesh, f.p, 5, 1 << 20);
    f.par.verbose = 2;  // the sample of particle 0, in the one entry the step would make
    f.run.report.sph.Append(SW_FlowStepReport::SphSample());
    SW_ComputeLateralForces(f.run, 0, 1, 0.1);

    const double r = 5, k1 = -30 / (kPi * std::pow(r, 5)), k2 = -2 * k1, rho = 200;
    const double q = r - 3, w = 700 * q * k1 * q;
    const double gx = 3 * w / 3 / rho;
    const double area = 500 / (f.p.depth[0] * rho);
    const double omega = 700 * (2 + 1) * 0.5 * static_cast<double>(f.p.depth[0] + f.p.depth[1]) * 0.5 * q * k2;
    const double ei = 1000 - 0.5, ej = 3000 - 2.0;
    double fx = -500 * gx * -9.81 + gx * 7 * area, fy = 0;
    if (implicit) {
      fx += 0 * omega * area * 0.3;
      fy += 2 * omega * area * 0.3;
      EXPECT_NEAR(f.p.frictionCoefficient[0] - fcBefore, omega * area * 0.3, 1e-4 * omega * area * 0.3);
      EXPECT_NEAR(f.p.enthalpySource[0], ej * omega * area * 0.3, 1e-4 * std::fabs(ej * omega * area * 0.3));
      EXPECT_NEAR(f.p.enthalpyRelaxation[0], omega * area * 0.3, 1e-4 * omega * area * 0.3);
    } else {
      fx += (0 - 1) * omega * area * 0.3;
      fy += (2 - 0) * omega * area * 0.3;
      EXPECT_FLOAT_EQ(f.p.frictionCoefficient[0], fcBefore);
      EXPECT_NEAR(f.p.enthalpySource[0], (ej - ei) * omega * area * 0.3, 1e-4 * std::fabs((ej - ei) * omega * area * 0.3));
      EXPECT_EQ(f.p.enthalpyRelaxation[0], 0);
    }
    EXPECT_NEAR(f.p.force[0].x - before.x, fx, 1e-6 * std::fabs(fx)) << implicit;
    EXPECT_NEAR(f.p.force[0].y - before.y, fy, 1e-6 * std::fabs(fy)) << implicit;
    EXPECT_LT(gx, 0);  // the neighbour on +x raises the depth there: pushed towards -x
    const SW_FlowStepReport::SphSample& sample = f.run.report.sph[0];
    EXPECT_EQ(sample.particle, 0);
    EXPECT_EQ(sample.x, f.p.x[0]);
    EXPECT_EQ(sample.ix, static_cast<int32_t>((20 - f.grid.x0) / f.grid.size));
    EXPECT_EQ(sample.iy, static_cast<int32_t>((20 - f.grid.y0) / f.grid.size));
    EXPECT_NEAR(sample.gradient.x, gx, 1e-9 * std::fabs(gx));
    EXPECT_EQ(sample.gradient.y, 0);
    EXPECT_EQ(sample.gradient.z, 0);
  }
}

// With verbose above 1 a step samples the smoothed-particle gradient at every 1000th particle:
// one entry each, held particles (none found) marked -1, and the same entries bit for bit on
// one thread and on eight. Below 2, or in the mesh-field method, there are none.
TEST(FlowPhases, LateralForceSamplesAreTheSameOnAnyThreadCount)
{
  auto run = [](int threads, int verbose, int sph) {
    Flow f(20, 20, 20, 5);
    f.par.sphMode = sph;
    f.par.threads = threads;
    f.par.verbose = verbose;
    f.par.massPerParticle = 10;
    AK_SeedRandom(3);
    for (int i = 0; i < 4500; ++i) {
      const AK_Vec3 x(20 + AK_Random() % 6000 / 100.0, 20 + AK_Random() % 6000 / 100.0, 0);
      // Particle 2000 held at rest apart from the flow, which never reaches it.
      if (i == 2000) f.p.Add(f.mesh, AK_Vec3(92, 92, 0), 10, AK_Vec3(), 0, 0, -1);
      else f.p.Add(f.mesh, x, 10, AK_Vec3(1, 0, 0), 0, 0, -1);
    }
    for (int32_t i = 0; i < f.p.Count(); ++i) f.p.flags.Append(i == 2000 ? 1 : 0);
    SW_UpdateFields(f.mesh, f.par.density, f.p, 0, f.fields);
    AK_String error;
    EXPECT_EQ(f.Step(0, 0.1, error), 0) << error.c_str();
    return f.run.report.sph;
  };
  const AK_Array<SW_FlowStepReport::SphSample> one = run(1, 2, 1);
  ASSERT_EQ(one.Size(), 5);
  for (int32_t k = 0; k < one.Size(); ++k) {
    EXPECT_EQ(one[k].particle, k == 2 ? -1 : 1000 * k) << k;
    if (k != 2) {
      EXPECT_NE(one[k].gradient, AK_Vec3()) << k;  // every sampled particle has neighbours
    }
  }
  const AK_Array<SW_FlowStepReport::SphSample> eight = run(8, 2, 1);
  ASSERT_EQ(eight.Size(), one.Size());
  for (int32_t k = 0; k < one.Size(); ++k) {
    const SW_FlowStepReport::SphSample &a = one[k], &b = eight[k];
    EXPECT_TRUE(a.particle == b.particle && a.ix == b.ix && a.iy == b.iy &&
                std::memcmp(&a.x, &b.x, sizeof a.x) == 0 && std::memcmp(&a.gradient, &b.gradient, sizeof a.gradient) == 0)
        << k;
  }
  EXPECT_EQ(run(8, 1, 1).Size(), 0);
  EXPECT_EQ(run(8, 2, 0).Size(), 0);
}

TEST(FlowPhases, EnthalpyUpdateRelaxesTheInternalEnthalpy)
{
  for (double lambda : {0.0, 50.0}) {
    OneParticle f(1, AK_Vec3(2, 0, 0), 400);
    f.p.H[0] = 5000;
    f.p.force[0] = AK_Vec3();
    f.p.frictionCoefficient[0] = 0;
    f.p.enthalpySource[0] = 3000;
    f.p.enthalpyRelaxation[0] = static_cast<float>(lambda);
    const double dt = 0.1, m = 400;
    SW_UpdatePositions(f.run, 0, 1, dt);
    const AK_Vec3 v = f.p.v[0];
    const double eps = 5000 - 9.81 * f.p.x[0].z - 0.5 * v.Dot(v);
    const double expected = 5000 + ((3000 - eps * lambda) * dt / (lambda * dt / m + 1)) / m;
    EXPECT_FLOAT_EQ(f.p.H[0], static_cast<float>(expected)) << lambda;
  }
}

TEST(FlowPhases, SecondaryAreaWaitsForTheFlowThenGoesAtRest)
{
  Flow f(30, 12, 6, 5);
  f.par.bedFrictionAngle = 10;
  f.p.Add(f.mesh, AK_Vec3(12, 14, 0), 500, AK_Vec3(), 0, 0, -1);    // free
  f.p.Add(f.mesh, AK_Vec3(42, 14, 0), 500, AK_Vec3(3, 0, 0), 0, 0, -1);  // held
  f.p.Add(f.mesh, AK_Vec3(43, 16, 0), 500, AK_Vec3(3, 0, 0), 0, 0, -1);  // held
  f.p.flags.Append(0);
  f.p.flags.Append(2);
  f.p.flags.Append(2);
  f.par.massPerParticle = 500;
  SW_UpdateFields(f.mesh, 200, f.p, 0, f.fields);
  for (AK_Vec3& v : f.fields.velocity) v = AK_Vec3();
  AK_String error;
  const AK_Vec3 heldAt = f.p.x[1];
  ASSERT_EQ(f.Step(0, 0.1, error), 0);
  EXPECT_TRUE(f.p.x[1] == heldAt);  // held: no forces, no motion
  EXPECT_EQ(f.p.v[1].Length(), 0);
  EXPECT_EQ(f.run.report.released.Size(), 0);
  // The flow reaches the first corner of the held particle's cell.
  f.fields.velocity[f.mesh._lcv[f.p.cell[2]][0]] = AK_Vec3(1, 0, 0);
  ASSERT_EQ(f.Step(0.1, 0.1, error), 0);
  ASSERT_GE(f.run.report.released.Size(), 1);
  EXPECT_EQ(f.run.report.released[0], 2);
  EXPECT_EQ(f.p.flags[1], 0);
  EXPECT_EQ(f.p.flags[2], 0);
  EXPECT_FALSE(f.p.x[1] == heldAt);  // released at rest, then moved in the same step
}

TEST(FlowPhases, SourcesDeliverMassFlowTimesTimeAndCountWhatTheyAdd)
{
  Flow f(0, 20, 12, 5);
  f.par.bedFrictionAngle = 40;  // the added particles stay where they are
  f.par.massPerParticle = 10;
  SW_SourceLine line("gully", nullptr);
  line.Set("StartPoint", "22.5 10");
  line.Set("EndPoint", "22.5 50");
  line.Set("MassFlow", "800");
  line.SetUpOnMesh(f.mesh);
  ASSERT_GT(line.CellCount(), 5);
  const SW_SourceLineView lineView(line);
  f.run.sources.lines.Append(&lineView);
  // Half of the point source's disc lies beyond the mesh's right border (x = 100).
  f.run.sources.point = SW_PointSource{1, 600, 100, 8, 100, 30, 0, 0};
  AK_String error;
  double delivered = 0;
  const int steps = 100;
  for (int k = 0; k < steps; ++k) {
    const int32_t before = f.p.Count();
    ASSERT_EQ(f.Step(k * 0.1, 0.1, error), 0);
    EXPECT_EQ(f.run.report.removed, 0);
    EXPECT_EQ(f.p.Count(), before + f.run.report.sourceCount);  // only what was added counts
    EXPECT_DOUBLE_EQ(f.run.report.sourceMass, f.run.report.sourceCount * 10.0);
    delivered += f.run.report.sourceMass;
  }
  // The line: 800 kg/s for 10 s; the point source: about half of 600 kg/s for 10 s.
  const double line8000 = 800 * steps * 0.1, point = 600 * steps * 0.1 / 2;
  EXPECT_NEAR(delivered, line8000 + point, 0.05 * (line8000 + point));
  for (const AK_Vec3& x : f.p.x) EXPECT_LE(x.x, 100);
}

// A crowd around one particle, from a few neighbours to several hundred candidates, some on
// the particle itself, some exactly at the kernel radius: the depth gradient is the sum over
// the neighbours in the grid's order (each bucket row from its first column), to the last bit.
TEST(FlowPhases, SmoothedParticleGradientOverCrowdsSumsInTheGridsOrder)
{
  for (int crowd : {3, 126, 127, 128, 129, 300, 700}) {
    SCOPED_TRACE(crowd);
    Flow f(0, 8, 8, 5);
    f.par.sphMode = 1;  // r = 5
    f.par.resolution = 5;
    meshtest::Rng rng(crowd);
    f.p.Add(f.mesh, AK_Vec3(20.3, 19.7, 0), 500, AK_Vec3(), 0, 0, -1);
    f.p.Add(f.mesh, AK_Vec3(20.3, 19.7, 0), 400, AK_Vec3(), 0, 0, -1);  // on the particle
    f.p.Add(f.mesh, AK_Vec3(25.3, 19.7, 0), 400, AK_Vec3(), 0, 0, -1);  // at the radius
    for (int k = 0; k < crowd; ++k)
      f.p.Add(f.mesh, AK_Vec3(rng.Uniform(13, 28), rng.Uniform(12, 27), 0), static_cast<float>(rng.Uniform(100, 900)),
              AK_Vec3(), 0, 0, -1);
    SW_UpdateFields(f.mesh, 200, f.p, 0, f.fields);
    f.p.SizeWork();
    AK_String error;
    ASSERT_EQ(SW_ComputeBodyForces(f.run, 0, f.p.Count(), 0, 0.1, error), 0);
    f.grid.Build(f.mesh, f.p, 5, 1 << 20);
    f.par.verbose = 2;
    f.run.report.sph.Append(SW_FlowStepReport::SphSample());
    SW_ComputeLateralForces(f.run, 0, 1, 0.1);

    const SW_FlowGrid& g = f.grid;
    const double r = 5, k1 = 10 / (r * r * r * r * r * kPi) * -3;
    const AK_Vec3 xi = f.p.x[0];
    const int32_t ix = g.Column(xi.x), iy = g.Row(xi.y);
    AK_Vec3 expected;
    int candidates = 0;
    for (int32_t row = std::max(iy - 1, 0); row <= std::min(iy + 1, g.ny - 1); ++row)
      for (int32_t col = std::max(ix - 1, 0); col <= std::min(ix + 1, g.nx - 1); ++col)
        for (int32_t k = g.start[row * g.nx + col]; k < g.start[row * g.nx + col + 1]; ++k) {
          const int32_t j = g.sorted[k];
          ++candidates;
          if (j == 0) continue;
          const double dx = f.p.x[j].x - xi.x, dy = f.p.x[j].y - xi.y;
          const double dd = std::max(std::sqrt(dy * dy + dx * dx), r * 0.001);
          if (dd >= r) continue;
          const double q = r - dd, wk = f.p.m[j] * q * k1 * q;
          expected += AK_Vec3(dx * wk / dd, dy * wk / dd, 0);
        }
    expected = AK_Vec3(expected.x / 200, expected.y / 200, expected.z / 200);
    EXPECT_GE(candidates, crowd * 2 / 3);  // the crowd lies in the buckets searched
    const AK_Vec3& got = f.run.report.sph[0].gradient;
    EXPECT_TRUE(std::memcmp(&got, &expected, sizeof got) == 0) << got.x << " " << expected.x;
  }
}
