// The simulation seen by the flow model: its parameters in the model's form, its arrays
// lent to the model, and the field update of the run.
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>
#include <utility>

#include "AK_NumberText.h"
#include "AK_Process.h"
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

// The user law of one worker: the rheology file's "tau" when it has one, else the shear
// formula, else no shear at all (a formula that did not compile leaves none). A script that
// fails answers NaN, and its reason stays with the interpreter of the calling thread.
double UserTau(void* context, const SW_FrictionArgs& a)
{
  const auto& laws = *static_cast<const SW_Simulation::UserLawCalls*>(context);
  double p = a.p, u = a.u, h = a.h, rho = a.rho, t = a.t, e = a.e;
  if (laws.tau) {
    // The script may change its arguments; the caller's stay as they are.
    double x[3] = {a.x.x, a.x.y, a.x.z}, n[3] = {a.n.x, a.n.y, a.n.z};
    void* args[] = {&p, &u, &h, &rho, &t, x, n, &e};
    return SW_UserCode::Answer(laws.tau, args);
  }
  if (!laws.shear) return 0;
  void* args[] = {&p, &u, &h, &rho};
  return SW_UserCode::Answer(laws.shear, args);
}

const char* UserLawFailure(void*) { return ast_sci_last_error(); }

double UserEntrainmentLoss(void* context, const SW_EntrainmentLossArgs& a)
{
  const auto& laws = *static_cast<const SW_Simulation::UserLawCalls*>(context);
  double p = a.f.p, u = a.f.u, h = a.f.h, rho = a.f.rho, t = a.f.t;
  double tau = a.tau, q = a.q, es = a.es, ed = a.ed;
  double x[3] = {a.f.x.x, a.f.x.y, a.f.x.z}, n[3] = {a.f.n.x, a.f.n.y, a.f.n.z};
  void* args[] = {&p, &u, &h, &rho, &t, x, n, &tau, &q, &es, &ed};
  return SW_UserCode::Answer(laws.entrainmentEnergyLoss, args);
}

// Workers a run may use at most, each with its own instance of the user laws.
constexpr int kMaxLawWorkers = 16;

// The user laws for every worker of a run: the simulation's own for the first, instances of
// its scripts for the others when the scripts allow it, else the first alone (said once).
void FillUserLaws(SW_Simulation& sim, SW_FlowParameters& par)
{
  const int workers = std::max(1, std::min(AK_ProcessorCount(), kMaxLawWorkers));
  auto laws = std::make_shared<std::vector<SW_Simulation::UserLawCalls>>();
  laws->reserve(static_cast<size_t>(workers));  // the contexts point into it
  laws->emplace_back();
  sim.MakeUserLawCalls(false, laws->front());
  SW_Simulation::UserLawCalls* own = &laws->front();
  par.userLaw = SW_UserFrictionLaw{UserTau, own, sim.FrictionType, UserLawFailure};
  par.entrainmentLoss =
      SW_EntrainmentLossLaw{own->entrainmentEnergyLoss ? UserEntrainmentLoss : nullptr, own, UserLawFailure};
  par.lawContexts.SetCount(0);
  const bool scripted = (par.frictionLaw == SW_FrictionUser && (own->tau || own->shear)) || own->entrainmentEnergyLoss;
  if (scripted && workers > 1) {
    bool apart = true;
    for (int k = 1; k < workers && apart; ++k) {
      laws->emplace_back();
      apart = sim.MakeUserLawCalls(true, laws->back());
    }
    if (apart) {
      for (SW_Simulation::UserLawCalls& calls : *laws) par.lawContexts.Append(&calls);
    } else {
      laws->resize(1);
      AK_MESSAGE(AK_String("user law of simulation ") + sim.Id() +
                 " uses the object tree, messages or global variables: its body forces run on one thread");
    }
  }
  par.lawOwner = laws;
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
  FillUserLaws(sim, par);
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
