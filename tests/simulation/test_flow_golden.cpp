// Whole runs of a simulation with every part of the model at work (a release with a held
// secondary area, entrainable snow, a resistance area, a reflecting wall, a source line and
// the point source, curvature and mixing), on a Cartesian grid with the mesh-field and the
// smoothed-particle lateral forces, and on general quadrilateral and triangle meshes. Every
// time-step file they write must hold the same bytes as the files kept beside this test:
// the model's arithmetic is fixed to the last bit, however its loops are arranged.
//
// The kept files are compared by their uncompressed content, so a different gzip build
// cannot fail the test. TORVU_WRITE_GOLDEN=<directory> writes a fresh set there instead.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "AK_FrameworkState.h"
#include "SW_InitialCondition.h"
#include "SW_ResistanceArea.h"
#include "SW_SourceLine.h"
#include "SW_WallLine.h"
#include "SimulationTestProject.h"
#include "TestSupport.h"

namespace {

enum class Terrain { Grid, Quadrilaterals, Triangles };

struct GoldenCase {
  const char* name;
  Terrain terrain;
  int sphMode;
};

double Height(double x, double y) { return -0.65 * x + 0.004 * (y - 40) * (y - 40) + 2 * std::sin(x / 11); }

// The grid's vertices moved by up to a tenth of a cell (the border stays), so that the cells
// are general quadrilaterals or, split along a diagonal, general triangles.
void Unstructure(SW_MeshCore& m, Terrain terrain)
{
  const int32_t nx = m._nx, ny = m._ny;
  const double d = m._dx;
  m._cartesian = 0;
  meshtest::Rng rng(11);
  for (int32_t i = 1; i < nx; ++i)
    for (int32_t j = 1; j < ny; ++j) {
      AK_Vec3& v = m._x[(ny + 1) * i + j];
      v.x += rng.Uniform(-0.1, 0.1) * d;
      v.y += rng.Uniform(-0.1, 0.1) * d;
      v.z = Height(v.x, v.y);
    }
  if (terrain == Terrain::Triangles) {
    AK_Array<AK_Index4> quads = m._lcv;
    m._lcv.SetCount(0);
    for (int32_t c = 0; c < quads.Size(); ++c) {
      const AK_Index4& q = quads[c];
      if (c % 3 == 0) {
        meshtest::AddCell(m, q[0], q[1], q[2]);
        meshtest::AddCell(m, q[0], q[2], q[3]);
      } else {
        meshtest::AddCell(m, q[0], q[1], q[3]);
        meshtest::AddCell(m, q[1], q[2], q[3]);
      }
    }
  }
  m._lcc.SetCount(0);
  m.ComputeConnectivity();
  m.ComputeVertexNormals();
}

template <class Area>
void Outline(Area& a, double x0, double y0, double x1, double y1)
{
  for (auto [x, y] : {std::pair{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}})
    a.Set("AppendPoint", AK_String::Format("%g %g 0", x, y));
}

// A 150 m by 80 m slope of 5 m cells falling towards +x with a trough along its middle.
struct GoldenProject : SimulationProject {
  SW_Simulation* sim;
  ScratchDir dir;
  std::string run;

  explicit GoldenProject(const GoldenCase& c) : SimulationProject(30, 16, 5, Height)
  {
    if (c.terrain != Terrain::Grid) Unstructure(mesh->Core(), c.terrain);
    auto* areas = new SW_InitialConditions("ReleaseAreas", &root);
    root.AddComponent(areas);
    SW_InitialCondition* slab = areas->NewReleaseArea("slab");
    Outline(*slab, 10, 22, 35, 58);
    slab->Set("Depth", "1.5");
    SW_InitialCondition* held = areas->NewReleaseArea("held");
    Outline(*held, 45, 30, 58, 50);
    held->Set("Depth", "0.6");
    SW_InitialCondition* snow = areas->NewReleaseArea("snowfield");
    Outline(*snow, 35, 10, 75, 70);
    snow->Set("Depth", "0.4");
    snow->Set("Density", "150");
    snow->Set("Enthalpy", "-8000");

    auto* scene = new AK_Container("Scene", &root);
    root.AddComponent(scene);
    auto* forest = new SW_ResistanceArea("forest", scene);
    scene->AddComponent(forest);
    Outline(*forest, 55, 15, 85, 42);
    forest->Set("Height", "3");
    auto* dam = new SW_WallLine("dam", scene);
    scene->AddComponent(dam);
    dam->Set("AppendPoint", "58 48 0");
    dam->Set("AppendPoint", "90 72 0");
    dam->Set("Heights", "1000");
    auto* gully = new SW_SourceLine("gully", scene);
    scene->AddComponent(gully);
    gully->Set("StartPoint", "8 62");
    gully->Set("EndPoint", "10 74");
    gully->Set("MassFlow", "4000");

    sim = Add("Avalanche1", true);
    sim->GetComponent("ReleaseAreas")->Set("AppendObject", "project/ReleaseAreas/slab");
    sim->GetComponent("SecondaryReleaseAreas")->Set("AppendObject", "project/ReleaseAreas/held");
    sim->GetComponent("EntrainmentAreas")->Set("AppendObject", "project/ReleaseAreas/snowfield");
    sim->GetComponent("ResistanceAreas")->Set("AppendObject", "project/Scene/forest");
    sim->GetComponent("WallLines")->Set("AppendObject", "project/Scene/dam");
    sim->GetComponent("SourceLines")->Set("AppendObject", "project/Scene/gully");
    const AK_String sph = AK_String::Format("%d", c.sphMode);
    for (auto [name, value] : {std::pair{"SphMode", sph.c_str()},
                               {"DeltaT", "0.1"},
                               {"DeltaOut", "2"},
                               {"EndTime", "6"},
                               {"MassPerParticleDeterminationMethod", "particles per cell"},
                               {"NumParticlesPerCell", "12"},
                               {"InternalFrictionAngle", "30"},
                               {"EntrainmentShearResistance", "10"},
                               {"EntrainmentDeformationResistance", "100"},
                               {"GlobalEntrainmentAreaWeight", "20"},
                               {"RestitutionCoefficient", "0.5"}})
      sim->Set(name, value);
    // The point source, and the smoothed-particle terms that only the variables switch on.
    for (auto [name, value] : {std::pair{"$source_strength", "2500"},
                               {"$source_duration", "2"},
                               {"$source_radius", "4"},
                               {"$source_point", "20 15"},
                               {"$source_velo", "3"},
                               {"$source_velo_ang", "80"},
                               {"$sph_diffusion_coefficient", "0.5"},
                               {"$sph_diffusion_implicit", "1"},
                               {"$cohesiveSurfaceTension", "10"}})
      sim->SetVariable(name, value);
    run = RunIn(dir, sim);
  }
  std::vector<std::string> TimeSteps() const { return TimeStepFiles(run); }
};

// The uncompressed content of a gzip file; empty when it cannot be read.
std::string Inflate(const std::string& path)
{
  gzFile f = gzopen(path.c_str(), "rb");
  if (!f) return {};
  std::string content;
  char buffer[1 << 16];
  for (int n; (n = gzread(f, buffer, sizeof buffer)) > 0;) content.append(buffer, static_cast<size_t>(n));
  gzclose(f);
  return content;
}

class FlowGolden : public ::testing::TestWithParam<GoldenCase> {};

}  // namespace

TEST_P(FlowGolden, TimeStepFilesKeepEveryByte)
{
  const GoldenCase& c = GetParam();
  GoldenProject p(c);
  MessageCapture messages;
  p.sim->Set("Run", "");
  ASSERT_STREQ(AK_ErrorText, "");
  // Every part of the model took part.
  EXPECT_TRUE(messages.Contains("releasing secondary release area held"));
  EXPECT_TRUE(messages.HasPrefix("\teffective source mass flow "));
  bool entrained = false;
  for (const std::string& m : messages.WithPrefix("\tentrained DFA mass: ")) entrained |= m != "\tentrained DFA mass: 0";
  EXPECT_TRUE(entrained);

  const std::vector<std::string> names = p.TimeSteps();
  ASSERT_EQ(names.size(), 4u);  // 0, 2, 4 and 6 s
  const std::string kept = std::string(TORVU_TEST_DATA) + "/golden_runs/" + c.name;
  if (const char* out = std::getenv("TORVU_WRITE_GOLDEN")) {
    const std::string to = std::string(out) + "/" + c.name;
    EXPECT_EQ(0, AK_MakeDirectory(out));
    EXPECT_EQ(0, AK_MakeDirectory(to.c_str()));
    for (const std::string& name : names) EXPECT_EQ(0, AK_CopyFile((p.run + "/" + name).c_str(), (to + "/" + name).c_str()));
    GTEST_SKIP() << "golden files written to " << to;
  }
  for (const std::string& name : names) {
    const std::string expected = Inflate(kept + "/" + name);
    ASSERT_FALSE(expected.empty()) << kept << "/" << name;
    EXPECT_TRUE(Inflate(p.run + "/" + name) == expected) << c.name << " " << name;
  }
}

INSTANTIATE_TEST_SUITE_P(WholeRuns, FlowGolden,
                         ::testing::Values(GoldenCase{"grid_mesh_field", Terrain::Grid, 0},
                                           GoldenCase{"grid_smoothed_particles", Terrain::Grid, 1},
                                           GoldenCase{"quadrilaterals", Terrain::Quadrilaterals, 0},
                                           GoldenCase{"triangles_smoothed_particles", Terrain::Triangles, -2}),
                         [](const auto& info) { return std::string(info.param.name); });
