// A project as the simulation expects it: the simulation's grandparent, with a Cartesian
// terrain mesh "DHMs/simulation_mesh" and the "Simulations" container the simulations
// stand in.
#pragma once

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "AK_Framework.h"
#include "SW_InitialCondition.h"
#include "SW_Mesh.h"
#include "SW_Simulation.h"
#include "TestMeshes.h"
#include "TestSupport.h"

struct SimulationProject {
  AK_Container root{"project", nullptr};
  AK_Container* simulations = nullptr;
  SW_Mesh* mesh = nullptr;

  // A grid of nx x ny cells of side d with the lower left corner at the origin.
  SimulationProject(int nx, int ny, double d, std::function<double(double, double)> height)
  {
    auto* meshes = new AK_Container("DHMs", &root);
    root.AddComponent(meshes);
    mesh = new SW_Mesh("simulation_mesh", meshes);
    meshes->AddComponent(mesh);
    meshtest::MakeCartesian(mesh->Core(), nx, ny, d, 0, 0, height);
    simulations = new AK_Container("Simulations", &root);
    root.AddComponent(simulations);
  }
  // Puts the project in `dir` with the run directory of `sim` made; answers that directory.
  std::string RunIn(const ScratchDir& dir, SW_Simulation* sim)
  {
    root.SetProjectDirRecursive(dir.Path().c_str());
    std::string run = sim->ProjectDir().c_str();
    EXPECT_EQ(0, AK_MakeDirectory((dir / "Simulations").c_str()));
    EXPECT_EQ(0, AK_MakeDirectory(run.c_str()));
    return run;
  }
  // A new simulation in "Simulations", on the terrain mesh when `onMesh`.
  SW_Simulation* Add(const char* id, bool onMesh = false)
  {
    auto* s = new SW_Simulation(id, simulations);
    simulations->AddComponent(s);
    if (onMesh) s->Set("Mesh", "../../DHMs/simulation_mesh");
    return s;
  }
};

// A 40 m square of 2 m depth at the simulation's density on a flat 100 m grid of 5 m cells:
// 64 whole cells, 640000 kg, released by the simulation "release" (not yet on the mesh).
struct ReleaseProject : SimulationProject {
  SW_Simulation* sim;
  SW_InitialCondition* area;
  explicit ReleaseProject(std::function<double(double, double)> height = [](double, double) { return 0.0; })
      : SimulationProject(20, 20, 5, height)
  {
    auto* areas = new SW_InitialConditions("ReleaseAreas", &root);
    root.AddComponent(areas);
    area = areas->NewReleaseArea("slab");
    for (auto [x, y] : {std::pair{20, 20}, {60, 20}, {60, 60}, {20, 60}})
      area->Set("AppendPoint", AK_String::Format("%d %d 0", x, y));
    area->Set("Depth", "2");
    area->Set("Density", "200");
    sim = Add("release");
    sim->Set("Density", "200");
    sim->GetComponent("ReleaseAreas")->Set("AppendObject", "project/ReleaseAreas/slab");
  }
};

// The time-step files in a run directory, sorted by name.
inline std::vector<std::string> TimeStepFiles(const std::string& run)
{
  std::vector<std::string> names;
  for (const AK_String& name : AK_ListDirectory(run.c_str(), "TimeStep")) names.push_back(name.c_str());
  std::sort(names.begin(), names.end());
  return names;
}

// A 35-degree plane falling towards +x, 200 m by 100 m in 5 m cells, with a 2 m slab of snow
// near its top; the simulation "Avalanche1" runs in a project directory with steps of 0.1 s,
// an output every second, to 3 s.
struct RunProject : SimulationProject {
  SW_Simulation* sim;
  ScratchDir dir;
  std::string run;
  RunProject()
      : SimulationProject(40, 20, 5, [](double x, double) { return (200 - x) * std::tan(35 * M_PI / 180); })
  {
    auto* areas = new SW_InitialConditions("ReleaseAreas", &root);
    root.AddComponent(areas);
    SW_InitialCondition* area = areas->NewReleaseArea("slab");
    for (auto [x, y] : {std::pair{20, 30}, {50, 30}, {50, 70}, {20, 70}})
      area->Set("AppendPoint", AK_String::Format("%d %d 0", x, y));
    area->Set("Depth", "2");
    sim = Add("Avalanche1", true);
    sim->GetComponent("ReleaseAreas")->Set("AppendObject", "project/ReleaseAreas/slab");
    sim->Set("DeltaT", "0.1");
    sim->Set("DeltaOut", "1");
    sim->Set("EndTime", "3");
    run = RunIn(dir, sim);
  }
  std::vector<std::string> TimeSteps() const { return TimeStepFiles(run); }
  std::string File(const char* name) const { return ReadFile(run + "/" + name); }
};
