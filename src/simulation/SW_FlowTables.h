// The names and defaults of the flow model that the simulation object shares: the built-in
// friction laws, the mass-per-particle methods and the parameters' defaults, each written once.
#pragma once

// Built-in friction laws by index into SW_FrictionLawNames; any other law text is the user
// law.
enum SW_FrictionLaw : int {
  SW_FrictionUser = -1,
  SW_FrictionChezy = 0,
  SW_FrictionChezyCoulomb = 1,
  SW_FrictionClassic = 2,
  SW_FrictionTorvuAT = 3,
  SW_FrictionWetSnow = 4,
};
// The "FrictionType" texts of the built-in laws, in index order.
inline constexpr const char* SW_FrictionLawNames[5] = {
    "Chezy", "Chezy + Mohr-Coulomb",
    "Mohr-Coulomb with max of dynamic and granular pressure (TORVU classic)", "torvuAT",
    "Nassschnee"};
// The index of a "FrictionType" text (exact comparison); -1 for anything else.
int SW_FrictionLawIndex(const char* text);

// The ways of choosing the mass per particle ("MassPerParticleDeterminationMethod"), by index
// into SW_MassMethodNames; any other text counts as direct.
enum SW_MassMethod : int {
  SW_MassDirect = 0,
  SW_MassPerCell = 1,
  SW_MassParticleCount = 2,
  SW_MassDeltaDepth = 3,
};
inline constexpr const char* SW_MassMethodNames[4] = {
    "direct", "particles per cell", "number of particles", "delta-depth per particle"};
// The attribute that is each method's input; the release set-up derives the other three from it.
inline constexpr const char* SW_MassMethodInputs[4] = {"MassPerParticle", "NumParticlesPerCell", "NumParticles",
                                                       "DeltaDepthPerParticle"};
int SW_MassMethodIndex(const char* text);

// Defaults of the model's parameters; the simulation's attributes start from the same.
namespace SW_FlowDefault {
inline constexpr double density = 200;
inline constexpr double dynamicFriction = 0.022;
inline constexpr double subgridMixing = 100;
inline constexpr double curvatureReduction = 1;
inline constexpr double restitution = 0;
inline constexpr double massPerParticle = 10000;
inline constexpr double bedFrictionAngle = 16;
inline constexpr double internalFrictionAngle = 35;
}  // namespace SW_FlowDefault
