// A run gives the same particles and fields, to the last bit, on any number of threads, with
// every part of the model at work: entrainment, resistance, a wall, break lines, secondary
// release, both sources, curvature and mixing, and the smoothed-particle terms.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "FlowTestRun.h"
#include "SW_SimulationRun.h"
#include "SW_SourceLine.h"
#include "SW_WallLine.h"

namespace {

struct Result {
  SW_ParticleStore particles;
  SW_FlowFields fields;
  double total = 0, entrained = 0, sourceMass = 0;
};

template <class T>
bool Same(const AK_Array<T>& a, const AK_Array<T>& b)
{
  return a.Size() == b.Size() && std::memcmp(a.begin(), b.begin(), sizeof(T) * a.Size()) == 0;
}

Result RunWith(int threads, int sph)
{
  Flow f(24, 16, 5, [](double x, double y) {
    return -0.6 * x + 0.002 * (y - 40) * (y - 40) + 2 * std::sin(x / 9);
  });
  SW_FlowParameters& par = f.par;
  par.threads = threads;
  par.sphMode = sph;
  par.bedFrictionAngle = 16;
  par.subgridMixing = 100;
  par.curvatureReduction = 1;
  par.dynamicFriction = 0.022;
  par.massPerParticle = 300;
  par.breakLinesAngle = 12;
  par.restitution = 0.5;
  par.entrainmentDeformation = 100;
  par.entrainmentShear = 10;
  par.sphDiffusion = 0.5;
  par.sphDiffusionImplicit = 1;
  par.cohesion = 10;
  for (int32_t c = 0; c < f.mesh.NumCells(); ++c) {
    f.fields.entrainmentMass[c] = 3;
    f.fields.entrainmentEnthalpy[c] = -5000;
  }
  f.cells.resistances.Append(SW_FlowResistance{2, 0.5, 4, 1.2});
  for (int32_t c = 0; c < f.mesh.NumCells(); ++c)
    f.cells.resistance.Append(f.mesh.CellCentre(c).x > 60 ? 0 : -1);
  SW_WallLine wall("dam", nullptr);
  wall.Set("AppendPoint", "50 30 0");
  wall.Set("AppendPoint", "90 75 0");
  wall.Set("Heights", "1000");
  AK_Array<SW_WallLine*> walls;
  walls.Append(&wall);
  const SW_WallViews wallViews(walls);
  SW_MarkWallCells(f.mesh, wallViews.Model(), f.cells);
  SW_SourceLine line("gully", nullptr);
  line.Set("StartPoint", "7 10");
  line.Set("EndPoint", "9 30");
  line.Set("MassFlow", "3000");
  line.SetUpOnMesh(f.mesh);
  const SW_SourceLineView lineView(line);
  f.run.sources.lines.Append(&lineView);
  f.run.sources.point = SW_PointSource{1, 2000, 100, 6, 20, 50, 3, 80};
  AK_SeedRandom(9);
  for (int i = 0; i < 400; ++i) {
    const AK_Vec3 x(8 + AK_Random() % 3000 / 100.0, 15 + AK_Random() % 5000 / 100.0, 0);
    f.p.Add(f.mesh, x, static_cast<float>(300 + i % 7 * 40), AK_Vec3(0.5, 0.1, 0), static_cast<float>(-3000 + 9.81 * x.z), 0, -1);
  }
  for (int32_t i = 0; i < f.p.Count(); ++i) f.p.flags.Append(f.p.x[i].y > 55 ? 1 : 0);
  SW_UpdateFields(f.mesh, par.density, f.p, 0, f.fields);
  Result r;
  AK_String error;
  for (int k = 0; k < 40; ++k) {
    EXPECT_EQ(f.Step(k * 0.1, 0.1, error), 0) << error.c_str();
    r.total += f.run.report.total;
    r.entrained += f.run.report.entrained;
    r.sourceMass += f.run.report.sourceMass;
  }
  r.particles = f.p;
  r.fields = f.fields;
  return r;
}

}  // namespace

TEST(FlowThreads, WholeResultsAreTheSameOnAnyThreadCount)
{
  for (int sph : {0, 1}) {
    SCOPED_TRACE(sph);
    const Result one = RunWith(1, sph);
    EXPECT_GT(one.entrained, 0);
    EXPECT_GT(one.sourceMass, 0);
    for (int threads : {3, 8}) {
      const Result r = RunWith(threads, sph);
      const SW_ParticleStore &a = one.particles, &b = r.particles;
      EXPECT_TRUE(Same(a.x, b.x) && Same(a.v, b.v) && Same(a.m, b.m) && Same(a.H, b.H) &&
                  Same(a.cell, b.cell) && Same(a.flags, b.flags))
          << threads;
      const SW_FlowFields &f = one.fields, &g = r.fields;
      EXPECT_TRUE(Same(f.flowDepth, g.flowDepth) && Same(f.velocity, g.velocity) &&
                  Same(f.peakPressure, g.peakPressure) && Same(f.peakForce, g.peakForce) &&
                  Same(f.peakTorque, g.peakTorque) && Same(f.peakDepth, g.peakDepth) &&
                  Same(f.frontArrival, g.frontArrival) && Same(f.entrainmentMass, g.entrainmentMass) &&
                  Same(f.bottomPressure, g.bottomPressure))
          << threads;
      EXPECT_EQ(std::memcmp(&one.total, &r.total, sizeof(double)), 0);
      EXPECT_EQ(std::memcmp(&one.entrained, &r.entrained, sizeof(double)), 0);
      EXPECT_EQ(one.sourceMass, r.sourceMass);
    }
  }
}
