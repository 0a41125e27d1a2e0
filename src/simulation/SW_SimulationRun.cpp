// The run of a simulation beside the simulation object: the views of the scene through the
// model's interfaces, the model's parameters and the lending of the arrays.
#include "SW_SimulationRun.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <utility>
#include <vector>

#include "AK_NumberText.h"
#include "AK_Process.h"
#include "SW_InitialCondition.h"
#include "SW_ResistanceArea.h"
#include "SW_Simulation.h"
#include "SW_SourceLine.h"
#include "SW_WallLine.h"

SW_WallLineView::SW_WallLineView(SW_WallLine& line) : _line(&line) { line.UpdateGeometry(); }
const AK_Array<AK_Vec3>& SW_WallLineView::Path() const { return _line->Points(); }
bool SW_WallLineView::Active() const { return _line->FirstHeight() > 0; }
int SW_WallLineView::Intersect(const AK_Vec2& p, const AK_Vec2& q, AK_Vec3& hit, AK_Vec3& top,
                               AK_Vec3& direction) const
{
  return _line->Intersect(p, q, hit, top, direction);
}

int32_t SW_SourceLineView::CellCount() const { return _line->CellCount(); }
int32_t SW_SourceLineView::CrossedCell(int32_t k) const { return _line->CrossedCell(k); }
float SW_SourceLineView::MassInCell(int32_t k, float dt) const { return _line->MassInCell(k, dt); }
AK_Vec2 SW_SourceLineView::PointInCell(int32_t k, float t) const { return _line->PointInCell(k, t); }

bool SW_ResistanceAreaView::Contains(double x, double y) const { return _area->Contains(x, y); }
SW_FlowResistance SW_ResistanceAreaView::Drag() const
{
  return SW_FlowResistance{_area->Height(), _area->Width(), _area->Spacing(),
                           _area->ResistanceCoefficient()};
}

bool SW_SnowAreaView::Contains(double x, double y) const { return _area->Contains(x, y); }
double SW_SnowAreaView::DepthAt(const AK_Vec3& x, const AK_Vec3& normal) const
{
  return _area->ReleaseDepthAt(x, normal);
}
double SW_SnowAreaView::Density() const { return _area->Density(); }
double SW_SnowAreaView::Enthalpy() const { return _area->Enthalpy(); }
const char* SW_SnowAreaView::Name() const { return _area->Id().c_str(); }

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
  // The laws' instances for the workers are made for a friction type once, and again only
  // when it changed: parameters are filled anew at every step.
  if (!par.lawOwner || par.userLaw.name != sim.FrictionType) FillUserLaws(sim, par);
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
