// A project as the simulation expects it: the simulation's grandparent, with a Cartesian
// terrain mesh "DHMs/simulation_mesh" and the "Simulations" container the simulations
// stand in.
#pragma once

#include <functional>

#include "AK_Framework.h"
#include "SW_InitialCondition.h"
#include "SW_Mesh.h"
#include "SW_Simulation.h"
#include "TestMeshes.h"

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
