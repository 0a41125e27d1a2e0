// The simulation seen by the flow model: its parameters in the model's form, its arrays
// lent to the model, and the field update of the run.
#include <cstdlib>
#include <utility>

#include "SW_Flow.h"
#include "SW_Simulation.h"

// Lends the simulation's field and particle arrays to the flow model's plain state (and,
// called again, takes them back): swapping moves no values.
void SW_SwapFlowState(SW_Simulation& sim, SW_FlowFields& f, SW_FlowParticles& p)
{
  std::swap(f.flowDepth, sim.FlowDepth()->_values);
  std::swap(f.peakPressure, sim.DynamicPeakPressure()->_values);
  std::swap(f.peakForce, sim.PeakForcePerWidth()->_values);
  std::swap(f.peakTorque, sim.PeakTorquePerWidth()->_values);
  std::swap(f.peakDepth, sim.PeakFlowDepth()->_values);
  std::swap(f.frontArrival, sim.FrontArrivalTime()->_values);
  std::swap(f.bottomPressure, sim.BottomPressure()._values);
  std::swap(f.velocity, sim.Velocity()->_vectors);
  std::swap(f.entrainmentMass, sim.EntrainmentMass()->_values);
  std::swap(f.entrainmentEnthalpy, sim.EntrainmentEnthalpy()->_values);
  SW_Particles& s = *sim.Particles();
  std::swap(p.x, s.Positions());
  std::swap(p.v, s.Velocities());
  std::swap(p.m, s.Masses());
  std::swap(p.H, s.Enthalpies());
  std::swap(p.cell, s._cells);
  std::swap(p.flags, s._flags);
  std::swap(p.depth, s._work0);
  std::swap(p.frictionCoefficient, s._work1);
  std::swap(p.force, s._work2);
  std::swap(p.frictionRatio, s._work3);
  std::swap(p.entrainedMass, s._work4);
  std::swap(p.enthalpySource, s._work5);
  std::swap(p.enthalpyRelaxation, s._work6);
  std::swap(p.normalForce, s._work7);
}

namespace {

// The user law: the rheology file's "tau" when it has one, else the shear formula, else no
// shear at all (a formula that did not compile leaves none).
double UserTau(void* context, const SW_FrictionArgs& a)
{
  const SW_Simulation& sim = *static_cast<const SW_Simulation*>(context);
  if (sim.HasTau()) {
    const double x[3] = {a.x.x, a.x.y, a.x.z}, n[3] = {a.n.x, a.n.y, a.n.z};
    return sim.Tau(a.p, a.u, a.h, a.rho, a.t, x, n, a.e);
  }
  return sim.HasShear() ? sim.Shear(a.p, a.u, a.h, a.rho) : 0;
}

double UserEntrainmentLoss(void* context, const SW_EntrainmentLossArgs& a)
{
  const SW_Simulation& sim = *static_cast<const SW_Simulation*>(context);
  const double x[3] = {a.f.x.x, a.f.x.y, a.f.x.z}, n[3] = {a.f.n.x, a.f.n.y, a.f.n.z};
  return sim.EntrainmentEnergyLoss(a.f.p, a.f.u, a.f.h, a.f.rho, a.f.t, x, n, a.tau, a.q, a.es,
                                   a.ed);
}

}  // namespace

void SW_FillFlowParameters(SW_Simulation& sim, SW_FlowParameters& par)
{
  par.density = sim.Density;
  par.dynamicFriction = sim.DynamicFrictionCoefficient;
  par.subgridMixing = sim.SubgridMixingFactor;
  par.curvatureReduction = sim.CurvatureReductionFactor;
  par.entrainmentShear = sim.EntrainmentShearResistance;
  par.entrainmentDeformation = sim.EntrainmentDeformationResistance;
  par.entrainmentErosion = sim.EntrainmentErosionEnergy;
  par.restitution = sim.RestitutionCoefficient;
  par.massPerParticle = sim.MassPerParticle;
  par.bedFrictionAngle = sim.BedFrictionAngle;
  par.internalFrictionAngle = sim.InternalFrictionAngle;
  par.frictionLaw = SW_FrictionLawIndex(sim.FrictionType.c_str());
  par.userLaw = SW_UserFrictionLaw{UserTau, &sim, sim.FrictionType};
  par.entrainmentLoss =
      SW_EntrainmentLossLaw{sim.HasEntrainmentEnergyLoss() ? UserEntrainmentLoss : nullptr, &sim};
  par.sphMode = sim.SphMode;
  par.bottomPressure = sim.SphMode == 0 || sim.InteractionTypeWithFluidAbove != "none";
  // The mesh numbers travel as the texts its attributes show.
  if (SW_Mesh* mesh = sim.Mesh()) {
    par.resolution = std::strtod(AK_String::Format("%.15g", mesh->GetResolution()).c_str(), nullptr);
    par.breakLinesAngle = mesh->BreakLinesAngle;
  }
  par.averagedSpeed = sim.GetVariable("$compat") == "v2017";
  const auto number = [&sim](const char* name) {
    return std::strtod(sim.GetVariable(name).c_str(), nullptr);
  };
  par.sphDiffusion = number("$sph_diffusion_coefficient");
  par.sphDiffusionImplicit = !sim.GetVariable("$sph_diffusion_implicit").IsEmpty();
  par.cohesion = number("$cohesiveSurfaceTension");
}

void SW_Simulation::UpdateFields(double time)
{
  SW_Mesh* mesh = Mesh();
  if (!mesh || !Particles()) return;
  SW_FlowFields f;
  SW_FlowParticles p;
  SW_SwapFlowState(*this, f, p);
  // Only fields bound per vertex of this mesh and particles located on it can be mapped.
  const int32_t nv = mesh->NumVertices();
  bool bound = f.velocity.Size() == nv;
  for (const AK_Array<float>* a : {&f.flowDepth, &f.peakPressure, &f.peakForce, &f.peakTorque,
                                   &f.peakDepth, &f.frontArrival})
    bound = bound && a->Size() == nv;
  bool located = p.m.Size() == p.Count() && p.v.Size() == p.Count() && p.cell.Size() == p.Count();
  for (int32_t i = 0; located && i < p.Count(); ++i)
    located = p.cell[i] >= 0 && p.cell[i] < mesh->NumCells();
  if (bound && located) SW_UpdateFields(mesh->Core(), Density, p, static_cast<float>(time), f);
  SW_SwapFlowState(*this, f, p);
}
