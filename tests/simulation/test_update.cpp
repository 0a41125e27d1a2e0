// The update pass of a simulation: when it prepares the release anew, the titles of its
// fields, and the internal enthalpy that its children see while it leaves the particles'
// total enthalpy as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "SW_FieldSupport.h"
#include "SW_ResistanceArea.h"
#include "SimulationTestProject.h"
#include "TestSupport.h"

namespace {

// The release on the mesh, a resistance area beside it, and a time step on disk.
struct UpdateProject : ReleaseProject {
  ScratchDir dir;
  SW_ResistanceArea* obstacle;
  explicit UpdateProject(std::function<double(double, double)> height = [](double, double) { return 0.0; })
      : ReleaseProject(height)
  {
    obstacle = new SW_ResistanceArea("obstacle", &root);
    root.AddComponent(obstacle);
    sim->GetComponent("ResistanceAreas")->Set("AppendObject", "project/obstacle");
    root.SetProjectDirRecursive(dir.Path().c_str());
    (void)AK_MakeDirectory(sim->ProjectDir());  // its parent need not stand: nothing here reads a time step back
    sim->Set("Mesh", "../../DHMs/simulation_mesh");
    sim->Set("SaveTimeStep", "");
  }
};

// The release set-up announces each run of it once.
int SetUps(const MessageCapture& messages)
{
  return int(std::count(messages.messages.begin(), messages.messages.end(), "computing release depths in cells..."));
}

// A child of the simulation that notes what the particles show while it updates.
struct Probe : AK_Container {
  SW_Particles* particles;
  std::vector<float> enthalpy;
  std::string title;
  Probe(AK_Object* parent, SW_Particles* p) : AK_Container("probe", parent), particles(p) {}
  void Update() override
  {
    enthalpy.assign(particles->Enthalpies().begin(), particles->Enthalpies().end());
    title = SW_FieldLabel(particles->EnthalpyField()).c_str();
  }
};

}  // namespace

TEST(SimulationUpdate, NewSetUpOnceAfterAWatchedChangeNotAfterALoad)
{
  using P = UpdateProject;
  struct Row {
    const char* change;
    bool first;  // the first update of the simulation
    std::function<void(P&)> act;
    int setUps;
  } rows[] = {
      {"nothing", false, [](P&) {}, 0},
      {"NumParticles", false, [](P& p) { p.sim->Set("NumParticles", "1000"); }, 1},
      {"depth of a release area", false, [](P& p) { p.area->Set("Depth", "3"); }, 1},
      {"area removed", false,
       [](P& p) { p.sim->GetComponent("ReleaseAreas")->Set("RemoveObject", "project/ReleaseAreas/slab"); }, 1},
      {"resistance area", false, [](P& p) { p.obstacle->Set("Height", "4"); }, 0},
      {"load after changes", false,
       [](P& p) {
         p.sim->Set("NumParticles", "1000");
         p.area->Set("Depth", "3");
         p.sim->Set("LoadTimeStep", "at_0000000.0000");
       },
       0},
      {"load before a change", false,
       [](P& p) {
         p.sim->Set("LoadTimeStep", "at_0000000.0000");
         p.sim->Set("NumParticles", "1000");
       },
       0},
      {"navigation after a change", false,
       [](P& p) {
         p.sim->Set("NumParticles", "1000");
         p.sim->Set("LoadFirstTimeStep", "");
       },
       1},
      {"inactive", false,
       [](P& p) {
         p.sim->Set("NumParticles", "1000");
         p.sim->Set("Active", "0");
       },
       0},
      {"first update", true, [](P&) {}, 1},
      {"first update after a project load", true, [](P& p) { p.sim->Set("LoadTimeStep", "at_0000000.0000"); }, 0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.change);
    MessageCapture messages;
    UpdateProject p;
    if (!r.first) p.sim->Update();
    messages.Clear();
    r.act(p);
    p.sim->Update();
    EXPECT_EQ(SetUps(messages), r.setUps);
    p.sim->Update();  // nothing changed since
    EXPECT_EQ(SetUps(messages), r.setUps);
  }
}

// Every field is titled with the simulation's name and its time in single precision; an
// inactive simulation keeps its titles but finds its mesh again.
TEST(SimulationUpdate, FieldTitlesAndTheMeshOfAnInactiveSimulation)
{
  MessageCapture messages;
  UpdateProject p;
  SW_Simulation& sim = *p.sim;
  sim.Update();
  sim.CurrentTime = 12.5;
  sim.Update();
  SW_Particles& particles = *sim.Particles();
  const std::pair<AK_Object*, const char*> titles[] = {
      {sim.FlowDepth(), "release flow depth [m] at 12.5s"},
      {sim.Velocity(), "release velocity [m/s] at 12.5s"},
      {sim.DynamicPeakPressure(), "release dynamic peak pressure [KPa] at 12.5s"},
      {&sim.BottomPressure(), "release bottom pressure [Pa] at 12.5s"},
      {sim.PeakForcePerWidth(), "release peak force per width [kN/m] at 12.5s"},
      {sim.PeakTorquePerWidth(), "release peak torque per width [kNm/m] at 12.5s"},
      {sim.PeakFlowDepth(), "release peak flow depth [m] at 12.5s"},
      {sim.FrontArrivalTime(), "release front arrival time [s] at 12.5s"},
      {sim.EntrainmentMass(), "release entrainment mass [kg/m2] at 12.5s"},
      {sim.EntrainmentEnthalpy(), "release entrainment enthalpy [J/kg] at 12.5s"},
      {&particles.MassField(), "release SPH mass [kg] at 12.5s"},
      {&particles.VelocityField(), "release SPH velocity [m/s] at 12.5s"},
      {&particles.EnthalpyField(), "release SPH total enthalpy [J/kg] at 12.5s"},
  };
  for (auto [field, title] : titles) EXPECT_STREQ(SW_FieldLabel(*field), title) << field->Id();
  sim.CurrentTime = 0.1;  // 0.100000001 in single precision, "%g" makes it 0.1
  sim.Update();
  EXPECT_STREQ(SW_FieldLabel(*sim.FlowDepth()), "release flow depth [m] at 0.1s");

  // Inactive: the titles stay, the mesh is found again by its path.
  sim.Set("Active", "0");
  sim.CurrentTime = 7;
  AK_Object* meshes = p.root.GetComponent("DHMs");
  meshes->DeleteComponent("simulation_mesh");
  EXPECT_EQ(sim.Mesh(), nullptr);
  auto* mesh = new SW_Mesh("simulation_mesh", meshes);
  meshes->AddComponent(mesh);
  meshtest::MakeCartesian(mesh->Core(), 20, 20, 5, 0, 0, [](double, double) { return 1.0; });
  sim.Update();
  EXPECT_EQ(sim.Mesh(), mesh);
  EXPECT_STREQ(SW_FieldLabel(*sim.FlowDepth()), "release flow depth [m] at 0.1s");
}

// While the children update, the particles show value - g z - |v|^2 / 2 under the title of the
// internal enthalpy; afterwards the stored total enthalpies and their title are back, also
// for a set without particles.
TEST(SimulationUpdate, ChildrenSeeTheInternalEnthalpyTheParticlesKeepTheTotal)
{
  MessageCapture messages;
  UpdateProject p([](double x, double y) { return 0.3 * x + 0.1 * y; });
  SW_Simulation& sim = *p.sim;
  sim.Update();
  SW_Particles& particles = *sim.Particles();
  const int32_t n = particles.Count();
  ASSERT_GT(n, 10);
  for (int32_t k = 0; k < n; ++k) {
    particles.Velocities()[k] = AK_Vec3(k % 7, -0.5 * (k % 3), 0.25);
    particles.Enthalpies()[k] = 3.0e5f + 17.0f * float(k);
  }
  const std::vector<float> total(particles.Enthalpies().begin(), particles.Enthalpies().end());
  auto* probe = new Probe(&sim, &particles);
  sim.AddComponent(probe);
  sim.Update();
  ASSERT_EQ(probe->enthalpy.size(), size_t(n));
  EXPECT_EQ(probe->title, "release SPH enthalpy [J/kg] at 0s");
  for (int32_t k = 0; k < n; ++k) {
    const AK_Vec3 v = particles.Velocities()[k];
    const double z = particles.Positions()[k].z;
    ASSERT_GT(z, 5);  // on the slope, well above 0
    const double internal = total[size_t(k)] - 9.81 * z - 0.5 * (v.x * v.x + v.y * v.y + v.z * v.z);
    ASSERT_NEAR(probe->enthalpy[size_t(k)], internal, 0.05) << k;
  }
  EXPECT_EQ(std::vector<float>(particles.Enthalpies().begin(), particles.Enthalpies().end()), total);
  EXPECT_STREQ(SW_FieldLabel(particles.EnthalpyField()), "release SPH total enthalpy [J/kg] at 0s");

  particles.Clear();
  sim.Update();
  EXPECT_TRUE(probe->enthalpy.empty());
  EXPECT_EQ(particles.Enthalpies().Size(), 0);
  EXPECT_STREQ(SW_FieldLabel(particles.EnthalpyField()), "release SPH total enthalpy [J/kg] at 0s");
}
