// SW_SoftSphereSim2D: a two-dimensional discrete-element test bench of a granular layer
// flowing down an inclined chute (the model is SW_SoftSphereChute), drawn as a screen
// object with the particles and, over the height of the layer, the profiles of density,
// velocity, normal and shear stress that a run accumulates.
//
// "Run" places the particles in close packing and runs EndTime of motion; "Continue" runs
// another EndTime from where the particles are (placing them first when there are not
// Nx x Ny of them). Both clear the profiles. Changed Nx or Ny take effect at the next
// placing; drawing places the particles when their count is not Nx x Ny.
//
// Sizes are checked where they are set: Nx at least 3 (the five-column neighbour window
// must not meet a column twice across the periodic sides), Ny at least 2 (the lid must lie
// inside the height bins), a positive diameter and time step; at most kMaxParticles
// particles are placed.
#pragma once

#include "AK_VisObj2d.h"
#include "SW_SoftSphereSim2DModel.h"

class SW_SoftSphereSim2D : public AK_Class<SW_SoftSphereSim2D, AK_VisObj2d> {
public:
  static constexpr const char* kClassName = "SW_SoftSphereSim2D";
  static constexpr int64_t kMaxParticles = 10000000;
  SW_SoftSphereSim2D(const char* id, AK_Object* parent);
  static void DeclareAttributes(AK_AttributeTableOf<SW_SoftSphereSim2D>& t);

  void Draw() override;

  void Run();
  void Continue();

  // The model as the last run or drawing left it.
  const SW_SoftSphereChute& Chute() const { return _chute; }

  // The model's parameters as the attributes give them now.
  SW_SoftSphereParameters Parameters() const;

  double ParticleDiameter = 0.001;
  double ParticleDensity = 900;
  double SpringConstant = 10;
  double DampingFactor = 0.0002;
  double Mue = 0.155;
  double Acceleration[2] = {5, -8.66};
  int32_t Nx = 30;
  int32_t Ny = 100;
  double EndTime = 0.01;
  double DeltaT = 1e-5;
  double OutputDeltaT = 0.001;

private:
  SW_SoftSphereChute _chute;
  bool _running = false;

  // Hands the attributes to the model and places the particles when asked to or when their
  // count is not the one asked for; false (with an error text) when too many are asked for.
  bool Prepare(bool place);
  void RunLoop();
  void DrawProfiles();
  void DrawLabels();
};
