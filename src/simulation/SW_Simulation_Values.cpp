// SW_Simulation: the values a run or the release set-up cannot start with.
//
// Every finite value of a parameter is taken when it is set, as a stored project may hold
// it; whether the flow can work with it is known only where it is used. These checks run
// before a run or a set-up changes anything, and each names the attribute, its value and why.
// Values that do no harm run: a negative end time runs no step, a restitution above 1 or a
// negative entrainment resistance is the user's choice.
#include <iterator>

#include "SW_Simulation.h"

namespace {

using S = SW_Simulation;

enum class Need {
  Positive,     // above 0: a divisor or a scale of the flow
  NotNegative,  // 0 or more: a negative one would drive the flow instead of braking it
  Angle,        // 0 or more and below 90 degrees: its tangent or cosine must be finite
  BelowRight,   // below 90 degrees (at 0.1 and below it is not used)
};

struct ValueRule {
  const char* name;
  double S::*member;
  Need need;
  bool (*applies)(const S&);  // none: always
};

// The laws that take the bed friction angle or the dynamic friction coefficient.
bool UsesBedFriction(const S& s)
{
  const int law = SW_FrictionLawIndex(s.FrictionType.c_str());
  return law == SW_FrictionChezyCoulomb || law == SW_FrictionWetSnow || law == SW_FrictionClassic;
}
bool UsesDynamicFriction(const S& s) { return UsesBedFriction(s) || SW_FrictionLawIndex(s.FrictionType.c_str()) == SW_FrictionChezy; }

bool Names(const AK_String& raster) { return !raster.IsEmpty() && raster != "none"; }
bool UsesEntrainmentRaster(const S& s) { return Names(s.EntrainmentDHM); }

// The run's rules, in the order of the attributes.
constexpr ValueRule kRunRules[] = {
    {"InternalFrictionAngle", &S::InternalFrictionAngle, Need::BelowRight, nullptr},
    {"BedFrictionAngle", &S::BedFrictionAngle, Need::Angle, UsesBedFriction},
    {"DynamicFrictionCoefficient", &S::DynamicFrictionCoefficient, Need::NotNegative, UsesDynamicFriction},
    {"Density", &S::Density, Need::Positive, nullptr},
    {"EntrainmentDHMDensity", &S::EntrainmentDHMDensity, Need::Positive, UsesEntrainmentRaster},
    {"EntrainmentErosionEnergy", &S::EntrainmentErosionEnergy, Need::NotNegative, nullptr},
    {"SubgridMixingFactor", &S::SubgridMixingFactor, Need::NotNegative, nullptr},
    {"DeltaT", &S::DeltaT, Need::Positive, nullptr},
    {"DeltaOut", &S::DeltaOut, Need::Positive, nullptr},
};

// Why the value breaks the rule; none when it keeps it.
const char* Breaks(Need need, double v)
{
  switch (need) {
    case Need::Positive: return v > 0 ? nullptr : "is not positive";
    case Need::NotNegative: return v >= 0 ? nullptr : "is negative";
    case Need::Angle:
      if (v < 0) return "is negative";
      [[fallthrough]];
    case Need::BelowRight: return v < 90 ? nullptr : "is not below 90 degrees";
  }
  return nullptr;
}

AK_String Refusal(const char* name, const AK_String& value, const char* why)
{
  return AK_String(name) + " " + value + " " + why;
}

AK_String FirstBroken(const S& s, const ValueRule* rules, size_t count)
{
  for (size_t i = 0; i < count; ++i) {
    const ValueRule& r = rules[i];
    if (r.applies && !r.applies(s)) continue;
    const double v = s.*r.member;
    if (const char* why = Breaks(r.need, v)) return Refusal(r.name, AK_FormatDouble(v), why);
  }
  return AK_String();
}

}  // namespace

AK_String SW_Simulation::ValueRefusal(bool startsOver)
{
  if (AK_String fault = FirstBroken(*this, kRunRules, std::size(kRunRules)); !fault.IsEmpty()) return fault;
  // Every step weighs the particles against the mass per particle, and the sources make theirs
  // of it; only a run from 0 s whose method derives it from the release computes it anew.
  const bool derived = startsOver && DefinesRelease() &&
                       SW_MassMethodIndex(MassPerParticleDeterminationMethod.c_str()) != SW_MassDirect;
  if (derived) return AK_String();
  static constexpr ValueRule kMass = {"MassPerParticle", &S::MassPerParticle, Need::Positive, nullptr};
  return FirstBroken(*this, &kMass, 1);
}

AK_String SW_Simulation::ReleaseValueRefusal() const
{
  static constexpr ValueRule kRules[] = {
      {"Density", &S::Density, Need::Positive, nullptr},
      {"ReleaseDHMDensity", &S::ReleaseDHMDensity, Need::Positive, [](const S& s) { return Names(s.ReleaseDHM); }},
  };
  if (AK_String fault = FirstBroken(*this, kRules, std::size(kRules)); !fault.IsEmpty()) return fault;
  // The input of the method, from which it computes the others; a text outside the list is
  // computed like "direct".
  const int method = SW_MassMethodIndex(MassPerParticleDeterminationMethod.c_str());
  if (method == SW_MassParticleCount)
    return NumParticles > 0 ? AK_String() : Refusal("NumParticles", AK_String(NumParticles), "is not positive");
  static constexpr ValueRule kInputs[] = {
      {"MassPerParticle", &S::MassPerParticle, Need::Positive, nullptr},
      {"NumParticlesPerCell", &S::NumParticlesPerCell, Need::Positive, nullptr},
      {"DeltaDepthPerParticle", &S::DeltaDepthPerParticle, Need::Positive, nullptr},
  };
  const ValueRule& input = kInputs[method == SW_MassPerCell ? 1 : method == SW_MassDeltaDepth ? 2 : 0];
  return FirstBroken(*this, &input, 1);
}
