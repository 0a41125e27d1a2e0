// SW_Particles (type "Particles"): the flowing snow of a run as a set of particles, each with
// a position on the terrain, a mass, a velocity, a specific total enthalpy, the terrain cell
// that holds it and, with secondary release areas, the number of the area it came from.
//
// The particles are one SW_ParticleStore (particle i is index i of every column). The set
// owns the store; the columns that its children show and save live in the children and are
// lent to the store while an operation or a run needs them:
//   Positions()   the vertices `_x` of the child mesh "Position" (a point set, no cells), f64
//   Masses()      `_values` of the child scalar field "Mass", f32, kg
//   Velocities()  `_vectors` of the child vector field "Velocity", f64, m/s
//   Enthalpies()  `_values` of the child scalar field "TotalEnthalpy", f32, J/kg
//   _cells        the store's cells, -1 on none
//   _flags        the store's release flags: empty, or one byte per particle
// Add, Split, RemoveBelow and TotalMass are the store's.
//
// The time-step files hold the record "SW_Particles:v0" (the flags) beside the records of the
// four children; a reader reads the children's records first, so that the flag count can be
// checked against the particle count.
#pragma once

#include <cstdint>

#include "AK_ClassHelper.h"
#include "SW_ParticleStore.h"

class AK_STREAM;
class SW_Mesh;
class SW_ScalarField;
class SW_VectorField;

class SW_Particles : public AK_Class<SW_Particles> {
public:
  static constexpr const char* kClassName = "SW_Particles";

  SW_Particles(const char* id, AK_Object* parent);
  static void DeclareAttributes(AK_AttributeTableOf<SW_Particles>& t);

  int32_t Count() const { return _store.Count(); }
  SW_Mesh& PositionSet() const { return *_position; }
  SW_ScalarField& MassField() const { return *_mass; }
  SW_VectorField& VelocityField() const { return *_velocity; }
  SW_ScalarField& EnthalpyField() const { return *_enthalpy; }
  AK_Array<AK_Vec3>& Positions() const;
  AK_Array<float>& Masses() const;
  AK_Array<AK_Vec3>& Velocities() const;
  AK_Array<float>& Enthalpies() const;

  // Fills the set from per-cell depth (m, scaled to the density), velocity, internal enthalpy
  // and flags (empty or one per cell) of `_mesh`: the counts are drawn from seed 942, the
  // positions from seed 1, so a generation repeats whatever ran before. Nothing happens
  // without a mesh, with a mass per particle of 0 or less, with arrays that do not match
  // the mesh, or when nothing is to be made; a count beyond SW_MaxParticles is refused with
  // a message. Answers "", or why no particle was made when the memory for them cannot be
  // had (the set then stays as it was).
  AK_String Generate(const AK_Array<float>& depth, const AK_Array<AK_Vec3>& velocity,
                     const AK_Array<float>& enthalpy, const AK_Array<unsigned char>& flags,
                     float density, float massPerParticle);
  // Adds a particle at p (its z taken from the mesh); 1 when added, 0 (nothing changed) when
  // p lies on no cell.
  int Add(const AK_Vec3& p, float mass, const AK_Vec3& velocity, float enthalpy,
          unsigned char flag, int32_t hint);
  // Divides particle i into n of equal mass (the copies are added at its position); the
  // number of particles added, or -1 (nothing changed) when there is no memory for them.
  int Split(int32_t i, int n);
  // Removes the particles on no cell and those whose mass is not above the threshold.
  void RemoveBelow(double threshold);
  double TotalMass() const;
  double TotalKineticEnergy() const;
  void Clear();
  // After the mesh was bound or replaced: the fields follow the position count, the cells
  // are located afresh, particles on no cell or without mass are removed.
  void Rebind();

  int WriteRecord(AK_STREAM& stream);
  int ReadRecord(AK_STREAM& stream);

  // Exchanges the whole store (the children's columns included) with `other`; a second call
  // undoes the first. A run borrows the particles this way and gives them back.
  void SwapStore(SW_ParticleStore& other);
  // Frees the work columns a run used.
  void FreeWork() { _store.FreeWork(); }

  // The terrain mesh; set by the simulation.
  SW_Mesh* _mesh = nullptr;

private:
  SW_ParticleStore _store;

public:
  // The store's cell and flag columns, for the time-step reader that fills the flags.
  AK_Array<int32_t>& _cells = _store.cell;
  AK_Array<unsigned char>& _flags = _store.flags;

private:
  // Swaps the children's columns with the store's position, velocity, mass and enthalpy
  // columns: called before and after every store operation.
  void LendColumns();
  template <class F>
  auto WithStore(F&& f)
  {
    LendColumns();
    auto result = f(_store);
    LendColumns();
    return result;
  }

  SW_Mesh* _position;
  SW_ScalarField* _mass;
  SW_VectorField* _velocity;
  SW_ScalarField* _enthalpy;

  void BindFields();
};
