// The particle set: generation from release depths, adding, splitting, removing, records.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "AK_ConformanceTest.h"
#include "AK_Random.h"
#include "AK_Stream.h"
#include "SW_Mesh.h"
#include "SW_Particles.h"
#include "SW_ScalarField.h"
#include "SW_VectorField.h"
#include "TestMeshes.h"
#include "TestSupport.h"

namespace {

// A tilted 6 x 5 grid of 4 m cells and release depths that vary from cell to cell.
struct Release {
  SW_Mesh mesh{"dhm", nullptr};
  AK_Array<float> depth, enthalpy;
  AK_Array<AK_Vec3> velocity;
  AK_Array<unsigned char> flags;
  Release()
  {
    meshtest::MakeCartesian(mesh.Core(), 6, 5, 4, 0, 0, [](double x, double y) { return 0.3 * x + 0.1 * y; });
    for (int32_t c = 0; c < mesh.NumCells(); ++c) {
      depth.Append(c % 4 == 0 ? 0.0f : 0.1f * static_cast<float>(c % 7));
      enthalpy.Append(-20500.0f + c);
      velocity.Append(AK_Vec3(c, 1, 0));
      flags.Append(static_cast<unsigned char>(c % 3));
    }
  }
  void Generate(SW_Particles& p, bool withFlags, float massPerParticle = 50)
  {
    p.Clear();
    p._mesh = &mesh;
    p.Generate(depth, velocity, enthalpy, withFlags ? flags : AK_Array<unsigned char>(), 300, massPerParticle);
  }
};

void SetMasses(SW_Particles& p, std::initializer_list<float> masses)
{
  p.Clear();
  float x = 1;
  for (float m : masses) p.Add(AK_Vec3(x++, 1, 0), m, AK_Vec3(m, 0, 0), 0, 0, -1);
}

std::string Masses(SW_Particles& p)
{
  std::string text;
  for (float m : p.Masses()) text += AK_String::Format("%g ", m).c_str();
  return text;
}

}  // namespace

TEST(Particles, Conformance) { AK_RunConformanceTest("SW_Particles"); }

// Each cell's particles carry its whole mass and lie in it, with its velocity and its
// enthalpy plus 9.81 z; the same inputs give the same particles bit for bit, whatever the
// generator did before.
TEST(Particles, GenerationIsReproducibleAndKeepsTheMass)
{
  Release r;
  SW_Particles a("Particles", nullptr), b("Particles", nullptr);
  r.Generate(a, true);
  AK_SeedRandom(12345);
  r.Generate(b, true);
  ASSERT_GT(a.Count(), 10);
  ASSERT_EQ(a.Count(), b.Count());
  ASSERT_EQ(a.Get("NumberOfParticles"), AK_String(a.Count()));
  std::vector<double> mass(static_cast<size_t>(r.mesh.NumCells()));
  for (int32_t i = 0; i < a.Count(); ++i) {
    const int32_t c = a._cells[i];
    const AK_Vec3 p = a.Positions()[i];
    EXPECT_EQ(p, b.Positions()[i]);
    EXPECT_EQ(a.Masses()[i], b.Masses()[i]);
    EXPECT_EQ(r.mesh.FindCell(p, -1), c);
    EXPECT_NEAR(p.z, 0.3 * p.x + 0.1 * p.y, 1e-9);
    EXPECT_EQ(a.Velocities()[i], AK_Vec3(c, 1, 0));
    EXPECT_EQ(a.Enthalpies()[i], static_cast<float>(p.z * 9.81 + (-20500.0f + c)));
    EXPECT_EQ(a._flags[i], c % 3);
    mass[static_cast<size_t>(c)] += a.Masses()[i];
  }
  double total = 0;
  for (int32_t c = 0; c < r.mesh.NumCells(); ++c) {
    const double expected = r.depth[c] * r.mesh.CellAreaVector(c).Length() * 300;
    // A cell whose expected count is below one may get no particle; otherwise its mass.
    const double got = mass[static_cast<size_t>(c)];
    if (got > 0 || expected >= 50) {
      EXPECT_NEAR(got, expected, 1e-3 * expected) << c;
    }
    total += got;
  }
  EXPECT_NEAR(a.TotalMass(), total, 1e-6 * total);
  r.Generate(a, false);
  EXPECT_EQ(a._flags.Size(), 0);
  // No particle for a mass per particle of 0 or no depth: the set stays as it was.
  const int32_t n = a.Count();
  a.Generate(r.depth, r.velocity, r.enthalpy, r.flags, 300, 0);
  for (float& d : r.depth) d = 0;
  r.Generate(b, false);
  EXPECT_EQ(b.Count(), 0);
  EXPECT_EQ(a.Count(), n);
}

// Removal fills each gap with the last particle; splitting adds copies at the position.
TEST(Particles, RemoveBelowAndSplitOrders)
{
  Release r;
  SW_Particles p("Particles", nullptr);
  p._mesh = &r.mesh;
  struct Row { std::initializer_list<float> masses; const char* kept; };
  for (const Row& row : {Row{{5, 0.01f, 7}, "5 7 "}, Row{{0.01f, 5, 7}, "7 5 "}, Row{{1, 2, 3}, "1 2 3 "}}) {
    SetMasses(p, row.masses);
    p.RemoveBelow(0.1);
    EXPECT_EQ(Masses(p), row.kept);
    EXPECT_EQ(p.Velocities()[0].x, p.Masses()[0]);  // the arrays move together
  }
  SetMasses(p, {6, 9});
  EXPECT_EQ(p.Split(1, 1), 0);
  EXPECT_EQ(p.Split(0, 3), 2);
  EXPECT_EQ(Masses(p), "2 9 2 2 ");
  EXPECT_EQ(p.Positions()[3].x, p.Positions()[0].x);
  EXPECT_NEAR(p.Positions()[3].z, 0.3 * 1 + 0.1 * 1, 1e-12);
  EXPECT_EQ(p.Add(AK_Vec3(-5, 1, 0), 1, AK_Vec3(), 0, 0, -1), 0);
  EXPECT_EQ(p.Count(), 4);
  EXPECT_EQ(p.Get("TotalParticlesKineticEnergy"), "472.5");  // 3 · 6² · 2 / 2 + 9² · 9 / 2
}

// A run borrows the whole store and gives it back: what it did to the particles is the set's,
// shown by its children, and the store it handed in holds what it held before.
TEST(Particles, LentStoreComesBackWithTheRunsChanges)
{
  Release r;
  SW_Particles p("Particles", nullptr);
  p._mesh = &r.mesh;
  SetMasses(p, {6, 9});
  SW_ParticleStore run;
  p.SwapStore(run);
  EXPECT_EQ(p.Positions().Size(), 0);  // the children's columns are lent
  ASSERT_EQ(run.Count(), 2);
  AK_String error;
  EXPECT_EQ(run.Check(r.mesh.Core(), error), 1);
  EXPECT_EQ(run.Add(r.mesh.Core(), AK_Vec3(2, 2, 0), 4, AK_Vec3(4, 0, 0), 0, 0, -1), 1);
  run.SizeWork();
  EXPECT_EQ(run.depth.Size(), 3);
  run.cell[0] = r.mesh.NumCells();  // a stale cell is what the check is for
  EXPECT_EQ(run.Check(r.mesh.Core(), error), 0);
  EXPECT_NE(std::strstr(error.c_str(), "particle 0"), nullptr);
  run.cell[0] = 0;
  p.SwapStore(run);
  EXPECT_EQ(run.Count(), 0);
  EXPECT_EQ(Masses(p), "6 9 4 ");
  EXPECT_EQ(p.Velocities()[2].x, 4);
  EXPECT_NEAR(p.Positions()[2].z, 0.3 * 2 + 0.1 * 2, 1e-12);  // z from the mesh
  EXPECT_DOUBLE_EQ(p.TotalMass(), 19);
}

// The flag record round-trips; a flag count that is negative, or neither 0 nor the particle
// count, is an IO error.
TEST(Particles, Records)
{
  Release r;
  SW_Particles p("Particles", nullptr);
  r.Generate(p, true);
  AK_Array<unsigned char> flags = p._flags;
  ScratchDir dir;
  const std::string file = dir / "step.dat";
  {
    AK_STREAM out(file.c_str(), "wb");
    EXPECT_EQ(p.WriteRecord(out), 0);
    EXPECT_EQ(AK_StreamClose(out), 0);
  }
  p._flags.Clear();
  {
    AK_STREAM in(file.c_str(), "rb");
    EXPECT_EQ(p.ReadRecord(in), 0);
  }
  ASSERT_EQ(p._flags.Size(), flags.Size());
  for (int32_t i = 0; i < flags.Size(); ++i) EXPECT_EQ(p._flags[i], flags[i]);
  for (int32_t count : {-1, 1, p.Count() + 1}) {
    {
      AK_STREAM out(file.c_str(), "wb");
      out << AK_String("SW_Particles:v0") << count;
      for (int32_t i = 0; i < std::max(count, 0); ++i) AK_StreamWriteBytes(out, "\1", 1);
      EXPECT_EQ(AK_StreamClose(out), 0);
    }
    AK_STREAM in(file.c_str(), "rb");
    EXPECT_EQ(p.ReadRecord(in), 1) << count;
    EXPECT_EQ(p._flags.Size(), flags.Size()) << count;
  }
}
