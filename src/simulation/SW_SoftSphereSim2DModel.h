// The soft-sphere chute: Nx x Ny equal spheres of diameter d on an inclined chute, x along
// the slope and y normal to it. The bottom row (particles 0 .. Nx - 1) is fixed and forms a
// rough bed, the sides are periodic with width W = Nx d, and a reflecting lid at
// 1.35 Ny d caps the layer. Contacts are linear springs with viscous damping along the
// normal and Coulomb friction along the tangent, with rotation.
//
// Plain data and the step functions, so that the contact law and the integration can be
// tested and measured without the object tree. SW_SoftSphereSim2D holds one and drives it.
//
// The neighbour search is a fixed grid of half-diameter cells, 2 Nx columns and 3 Ny + 1
// rows, each holding one particle number or -1: two particles at least 0.71 d apart never
// share a cell. A position that lies outside the grid (beyond one period, not a number) is
// not entered and finds no neighbours; a position outside the height bins counts in no bin.
#pragma once

#include <cstdint>
#include <vector>

#include "AK_Vec.h"

struct SW_SoftSphereParameters {
  double diameter = 0.001;
  double density = 900;
  double spring = 10;        // k, normal stiffness
  double damping = 0.0002;   // gamma, normal damping coefficient
  double mue = 0.155;        // Coulomb friction coefficient of a contact
  double gravity[2] = {5, -8.66};
  int32_t nx = 30;           // particles per row, at least 3
  int32_t ny = 100;          // rows, at least 2
  double deltaT = 1e-5;

  // The mass of a sphere (although motion is planar) and its moment of inertia.
  double Mass() const;
  double Inertia() const;
  int64_t Count() const { return static_cast<int64_t>(nx) * ny; }
  double Width() const { return nx * diameter; }
  double LidHeight() const { return ny * 0.9 * diameter * 3 * 0.5; }
  int32_t BinCount() const { return 3 * ny / 2; }
};

// The duration of one collision of a moving sphere with a fixed one (the damped half
// period), not a number when the damping is so large that the spring cannot swing.
double SW_SoftSphereCollisionTime(const SW_SoftSphereParameters& p);
// The coefficient of restitution of that collision.
double SW_SoftSphereRestitution(const SW_SoftSphereParameters& p, double collisionTime);

// The steps at which a run reports its time and asks for a redraw: the step nearest to each
// multiple of the output interval, every step when the interval is shorter than a step, never
// for an interval of zero, only the first for an endless one. Counting steps keeps every
// output, where a time summed step by step drifts off the multiples.
class SW_SoftSphereOutputs {
public:
  SW_SoftSphereOutputs(double outputDeltaT, double deltaT);
  // Asked for the steps of a run in increasing order, from 0.
  bool Due(int64_t step);

private:
  double _stepsPerOutput;
  int64_t _output = 0;  // the next multiple of the interval still to come

  int64_t StepOf(int64_t output) const;
};

class SW_SoftSphereChute {
public:
  SW_SoftSphereParameters p;

  std::vector<AK_Vec2> position;
  std::vector<AK_Vec2> velocity;
  std::vector<double> omega;  // angular velocity
  std::vector<double> theta;  // accumulated rotation

  // Profiles over the height bins (height d each), summed over the steps since the last
  // clear: particles counted, their x velocities, and the y and x force carried through
  // each bin's upper plane (contacts and transported momentum).
  uint32_t steps = 0;
  std::vector<int32_t> binCount;
  std::vector<double> binVelocity;
  std::vector<double> binNormal;
  std::vector<double> binShear;

  // True when as many particles are placed as the parameters ask for.
  bool Placed() const { return static_cast<int64_t>(position.size()) == p.Count(); }
  // The particles in hexagonal close packing, at rest; the profiles cleared.
  void Reset();
  // The start of a run: the grid filled, the forces zero, the profiles cleared.
  void BeginRun();
  // One time step: contact forces, then integration.
  void Step();
  // The end of a run: the grid and the forces released.
  void EndRun();

  void ContactForces();
  void Integrate();

  std::vector<AK_Vec2> force;
  std::vector<double> torque;

private:
  std::vector<int32_t> _buckets;

  void ClearProfiles();
  // The grid cell of a point as column and row; false outside the grid.
  bool CellOf(const AK_Vec2& at, int32_t& column, int32_t& row) const;
  void Enter(int32_t i);
  // The height bin of y; -1 outside the bins.
  int32_t BinOf(double y) const;
  void AddToPlane(int32_t bin, double fx, double fy);
};
