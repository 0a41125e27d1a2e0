// The run of a simulation beside the simulation object: the views of the scene through the
// model's interfaces, the model's parameters and the lending of the arrays.
#include "SW_SimulationRun.h"

#include <cstdlib>
#include <utility>

#include "AK_NumberText.h"
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
