// A run of the flow model on a small Cartesian mesh for the flow tests: the run state with
// short names for its parts, a plane or any height function, and the phases by name.
#pragma once

#include <cmath>
#include <functional>

#include "SW_Flow.h"
#include "TestMeshes.h"

struct Flow {
  SW_MeshCore mesh;
  SW_FlowRun run{mesh};
  SW_FlowParameters& par = run.par;
  SW_FlowCells& cells = run.cells;
  SW_FlowFields& fields = run.fields;
  SW_ParticleStore& p = run.particles;
  SW_FlowGrid& grid = run.grid;

  // A plane falling along +x with the given slope, nx x ny cells of side dx.
  Flow(double slopeDegrees, int32_t nx, int32_t ny, double dx)
      : Flow(nx, ny, dx, [s = std::tan(slopeDegrees * std::acos(-1.0) / 180)](double x, double) {
          return -s * x;
        })
  {
  }
  // Heights z(x, y).
  Flow(int32_t nx, int32_t ny, double dx, const std::function<double(double, double)>& z)
  {
    meshtest::MakeCartesian(mesh, nx, ny, dx, 0, 0, z);
    fields.Bind(mesh);
    par.dynamicFriction = 0;  // pure Coulomb with the classic law
    // The analytic cases know nothing of the flow around a particle or of curvature.
    par.subgridMixing = 0;
    par.curvatureReduction = 0;
  }
  // Body forces and motion only: the analytic cases have no lateral pressure.
  void Move(double t, double dt)
  {
    AK_String error;
    p.SizeWork();
    ASSERT_EQ(SW_ComputeBodyForces(run, 0, p.Count(), t, dt, error), 0);
    SW_UpdatePositions(run, 0, p.Count(), dt);
    SW_UpdateFields(mesh, par.density, p, static_cast<float>(t), fields);
  }
  int Step(double t, double dt, AK_String& error) { return SW_ComputeTimeStep(run, t, dt, error); }
};

