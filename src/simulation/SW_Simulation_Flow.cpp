// The simulation seen by the flow model: its parameters in the model's form, its arrays
// lent to the model, and the field update of the run.
#include <cstdlib>
#include <utility>

#include "AK_NumberText.h"
#include "SW_Flow.h"
#include "SW_Simulation.h"

// Lends the simulation's field and particle arrays to the run (and, called again, takes
// them back): swapping moves no values. A child the user deleted lends nothing, so the run
// finds the array unbound and refuses the step.
void SW_SwapFlowState(SW_Simulation& sim, SW_FlowRun& run)
{
  SW_FlowFields& f = run.fields;
  for (int row = 0; row < SW_ResultFieldCount; ++row) {
    const SW_ResultFieldKind& kind = SW_ResultFields[row];
    if (!sim.ResultField(row)) continue;
    if (kind.IsVector())
      std::swap(f.*kind.vectors, sim.VectorResult(row)->_vectors);
    else
      std::swap(f.*kind.values, sim.ScalarResult(row)->_values);
  }
  if (SW_Particles* particles = sim.Particles()) particles->SwapStore(run.particles);
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
    par.resolution = AK_ThroughText(mesh->GetResolution(), 15);
    par.breakLinesAngle = mesh->BreakLinesAngle;
  }
  par.averagedSpeed = sim.GetVariable("$compat") == "v2017";
  const auto number = [&sim](const char* name) {
    return AK_Atof(sim.GetVariable(name));
  };
  par.sphDiffusion = number("$sph_diffusion_coefficient");
  par.sphDiffusionImplicit = !sim.GetVariable("$sph_diffusion_implicit").IsEmpty();
  par.cohesion = number("$cohesiveSurfaceTension");
}

void SW_Simulation::UpdateFields(double time)
{
  SW_Mesh* mesh = Mesh();
  if (!mesh || !Particles()) return;
  SW_FlowRun run(mesh->Core());
  SW_SwapFlowState(*this, run);
  // Only fields bound per vertex of this mesh and particles located on it can be mapped.
  AK_String unused;
  if (run.fields.CheckResults(mesh->Core(), unused) && run.particles.Check(mesh->Core(), unused))
    SW_UpdateFields(mesh->Core(), Density, run.particles, static_cast<float>(time), run.fields);
  SW_SwapFlowState(*this, run);
}
