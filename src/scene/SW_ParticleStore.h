// SW_ParticleStore: the particles of a flow as one structure of arrays, particle i at index i
// of every column, so that the time step loops over flat arrays without indirection.
//
// State columns (what a particle is):
//   x      position on the terrain surface, m (f64)
//   v      velocity, m/s (f64)
//   m      mass, kg (f32)
//   H      total specific enthalpy, J/kg (f32): internal enthalpy + g z + |v|²/2
//   cell   the terrain cell holding the particle, -1 once it has left the mesh
//   flags  empty, or per particle 0 (free) or the number of the secondary release area that
//          holds it back
// Work columns (what a time step computes for it, valid between SizeWork and the step's end):
//   depth, frictionCoefficient, frictionRatio, entrainedMass, enthalpySource,
//   enthalpyRelaxation, normalForce (f32), force (f64 vectors), and what the first phase
//   finds at the particle's position for the later ones: its interpolation weights in its
//   cell and the unit surface normal there; and what the friction law found for the
//   entrainment, which takes its snow once every particle's demand on its cell is known
//   (sized only for a step in which some cell holds snow).
//
// Every operation that changes the number of particles goes through the column lists below,
// so a new column is added in one place. Growth that the particle count decides (SizeWork,
// Reserve, MakeRoom, Split) answers when memory cannot be had instead of ending the program.
// The particle set of the scene (SW_Particles) owns a store and lends it to a run; plain code
// (the flow model, tests, benchmarks) uses it alone.
#pragma once

#include <cstdint>

#include "AK_Basic.h"
#include "SW_MeshCore.h"

// The acceleration of gravity, m/s² (downwards, along -z), wherever the particles' energy or
// motion needs it.
inline constexpr double SW_GravityAcceleration = 9.81;

// The internal specific enthalpy of a particle of total enthalpy H at height z with velocity
// v: H less the potential and the kinetic energy.
inline double SW_InternalEnthalpy(double H, double z, const AK_Vec3& v)
{
  return H - SW_GravityAcceleration * z - (0.5 * v.y * v.y + 0.5 * v.x * v.x + 0.5 * v.z * v.z);
}

// The sum of particle masses in index order, as a double: the particles' total mass wherever
// it is asked for.
double SW_TotalMass(const AK_Array<float>& masses);

// The interpolation weights of a point in its cell, one per corner slot.
struct SW_CornerWeights {
  double w[4] = {0, 0, 0, 0};
};

// What the body forces found for a particle's entrainment: the speed of the friction law,
// the bottom pressure and shear stress, the averaged unit normal, and the mass it would take
// from its cell if it took alone.
struct SW_EntrainmentWork {
  double speed = 0, pressure = 0, shear = 0, demand = 0;
  AK_Vec3 normal;
};

struct SW_ParticleStore {
  AK_Array<AK_Vec3> x, v;
  AK_Array<float> m, H;
  AK_Array<int32_t> cell;
  AK_Array<uint8_t> flags;

  AK_Array<float> depth, frictionCoefficient, frictionRatio, entrainedMass;
  AK_Array<float> enthalpySource, enthalpyRelaxation, normalForce;
  AK_Array<AK_Vec3> force;
  AK_Array<SW_CornerWeights> weights;
  AK_Array<AK_Vec3> normal;
  AK_Array<SW_EntrainmentWork> entrainment;

  // The state columns that hold one entry per particle (flags only when present).
  template <class F>
  void ForEachStateColumn(F&& f)
  {
    f(x), f(v), f(m), f(H), f(cell);
    if (!flags.IsEmpty()) f(flags);
  }
  template <class F>
  void ForEachWorkColumn(F&& f)
  {
    f(depth), f(frictionCoefficient), f(frictionRatio), f(entrainedMass), f(enthalpySource),
        f(enthalpyRelaxation), f(normalForce), f(force), f(weights), f(normal), f(entrainment);
  }

  int32_t Count() const { return cell.Size(); }

  // Sizes the work columns to the particles. They grow with a fifth to spare, so particles
  // added by sources and splits seldom make a step reallocate. The entrainment column is
  // sized only when `entraining` (some cell holds snow) and gives its memory back otherwise.
  // Answers 0 when the memory cannot be had (the columns then keep their old size and must
  // not be read).
  int SizeWork(bool entraining = false);
  // Gives the work columns' memory back (between runs the particles need none).
  void FreeWork();
  // Makes room for n particles in every state column; 0 when the memory cannot be had (the
  // particles stay as they were).
  int Reserve(int32_t n);
  // Makes room for `more` particles beyond the count in every state column, so that as many
  // Adds append without allocating: a full column doubles as an append would grow it, or
  // grows to just what is needed when doubling finds no memory. 0 when even that cannot be
  // had, or the count would pass 2^31 - 1 (the particles stay as they were).
  int MakeRoom(int64_t more);
  // Appends a particle at p: its cell found from `hint` (a cell to start the search from, or
  // -1), its z taken from the mesh by a lookup that starts without a cell (on a triangulated
  // mesh that draws its start cells from AK_Random, so a run's random numbers depend on it).
  // The flag is stored only when the store carries flags. Answers 1, or 0 (nothing changed)
  // when p lies on no cell.
  int Add(const SW_MeshCore& mesh, AK_Vec3 p, float mass, const AK_Vec3& velocity,
          float enthalpy, uint8_t flag, int32_t hint);
  // Divides the mass of i by n and, for n >= 2, adds n - 1 copies of i (position, velocity,
  // enthalpy, flag, with i's cell as the search start); answers the number added, or -1
  // (nothing changed) when there is no memory for the copies.
  int32_t Split(const SW_MeshCore& mesh, int32_t i, int32_t n);
  // Removes, from the last to the first, every particle on no cell or of mass <= threshold,
  // moving the last particle into each gap; answers the number removed.
  int32_t RemoveBelow(double threshold);
  double TotalMass() const;
  // Every column, state and work, exchanged with another store's (no values move).
  void Swap(SW_ParticleStore& other);
  // Whether the state columns belong together and to this mesh: one entry per particle in
  // every column (flags empty or one per particle), every particle on a cell of the mesh.
  // Answers 0 with an error text otherwise.
  int Check(const SW_MeshCore& mesh, AK_String& error) const;
};
