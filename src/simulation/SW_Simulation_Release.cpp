// SW_Simulation: the release set-up on the mesh (release depths, the mass per particle,
// the particles) and the mass reports of the areas, the particles and the entrainable snow.
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "AK_NumberText.h"
#include "SW_Flow.h"
#include "SW_InitialCondition.h"
#include "SW_Simulation.h"
#include "SW_SimulationRun.h"
#include "SW_SourceLine.h"

namespace {

// The areas linked in one of the simulation's groups, in the group's order.
AK_Array<SW_InitialCondition*> Areas(SW_Simulation& sim, SW_SimulationGroup group)
{
  return sim.GroupMembers<SW_InitialCondition>(group);
}

// The areas' masses, each as its "Mass" text rounded to single precision.
double AreasMass(SW_Simulation& sim, SW_SimulationGroup group)
{
  double sum = 0;
  for (SW_InitialCondition* area : Areas(sim, group))
    sum += static_cast<float>(AK_Atof(area->MassText()));
  return sum;
}

double Number(const AK_String& text) { return AK_Atof(text); }

// The mesh at the path an attribute gives ("none": no raster); null when it does not resolve.
SW_Mesh* Raster(SW_Simulation& sim, const AK_String& path)
{
  if (path.IsEmpty() || path == "none") return nullptr;
  return dynamic_cast<SW_Mesh*>(sim.FindObject(path.c_str()));
}

template <class T>
void SetAll(AK_Array<T>& a, const T& value)
{
  for (T& x : a) x = value;
}

}  // namespace

void SW_Simulation::UpdateReleaseMass(const char*)
{
  for (SW_SimulationGroup group : {SW_SimulationGroup::ReleaseAreas, SW_SimulationGroup::SecondaryReleaseAreas, SW_SimulationGroup::EntrainmentAreas})
    for (SW_InitialCondition* area : Areas(*this, group)) area->UpdateMass();
}

AK_String SW_Simulation::ReleaseMassText() { return AK_FormatDouble(AreasMass(*this, SW_SimulationGroup::ReleaseAreas)); }
AK_String SW_Simulation::SecondaryReleaseMassText()
{
  return AK_FormatDouble(AreasMass(*this, SW_SimulationGroup::SecondaryReleaseAreas));
}
AK_String SW_Simulation::EntrainmentAreasMassText()
{
  return AK_FormatDouble(AreasMass(*this, SW_SimulationGroup::EntrainmentAreas));
}
AK_String SW_Simulation::CurrentMassText()
{
  return AK_FormatDouble(Particles() ? Particles()->TotalMass() : 0.0);
}

AK_String SW_Simulation::EntrainableMassText()
{
  SW_Mesh* mesh = Mesh();
  SW_ScalarField* field = EntrainmentMass();
  if (!mesh || !field || field->Mesh() != mesh || field->_values.Size() != mesh->NumCells())
    return "0.0";
  double sum = 0;
  for (int32_t c = 0; c < mesh->NumCells(); ++c)
    sum += mesh->Core().CellAreaVector(c).Length() * field->_values[c];
  return AK_FormatDouble(sum);
}

// Entrainable snow per cell from the entrainment areas, the raster and the global layer.
void SW_Simulation::InitEntrainmentAreaWeights()
{
  SW_Mesh* mesh = Mesh();
  SW_ScalarField* mass = EntrainmentMass();
  SW_ScalarField* enthalpy = EntrainmentEnthalpy();
  if (!mesh || !mass || !enthalpy) return;
  AK_MESSAGE("initializing cell entrainment area weights...");
  mass->_onVertices = enthalpy->_onVertices = 0;
  mass->SetMesh(mesh);
  enthalpy->SetMesh(mesh);
  SW_Mesh* raster = Raster(*this, EntrainmentDHM);
  if (!EntrainmentDHM.IsEmpty() && EntrainmentDHM != "none")
    AK_MESSAGE((raster ? AK_String("using entrainment depth from ") + EntrainmentDHM
                       : AK_String("WARNING: using entrainment depth from ") + EntrainmentDHM + " failed!")
                   .c_str());
  const SW_EntrainmentSettings settings{GlobalEntrainmentAreaWeight, GlobalEntrainmentMinZ,
                                        GlobalEntrainmentTemperature,
                                        GlobalEntrainmentTemperatureGradient,
                                        EntrainmentDHMDensity};
  SW_FlowFields f;
  std::swap(f.entrainmentMass, mass->_values);
  std::swap(f.entrainmentEnthalpy, enthalpy->_values);
  const SW_SnowAreaViews areas(Areas(*this, SW_SimulationGroup::EntrainmentAreas));
  SW_InitEntrainment(mesh->Core(), areas.Model(),
                     raster ? &raster->Core() : nullptr, settings, f);
  std::swap(f.entrainmentMass, mass->_values);
  std::swap(f.entrainmentEnthalpy, enthalpy->_values);
  mass->MarkModified("touch");
  enthalpy->MarkModified("touch");
  AK_MESSAGE("updating cell entrainment area weights done");
}

namespace {

// The release on the cells of the mesh and its mass.
struct Release {
  SW_ReleaseCells cells;
  double M = 0;     // release mass, kg
  int32_t n = 0;    // release cells
  AK_String fault;  // why no run can start from this release; empty when one can
};

// True when a corner of the area's outline lies off the mesh.
bool PartlyOffTheMesh(const SW_MeshCore& mesh, const SW_InitialCondition& area)
{
  int32_t hint = -1;
  for (AK_Vec3 p : area.Points()) {
    hint = mesh.HeightAt(p, hint);
    if (hint < 0) return true;
  }
  return false;
}

// An area partly off the mesh keeps its whole mass, on the cells it has on the mesh (the mass
// correction scales the particles up to the release mass; "direct" has none, so there only
// the part on the mesh is released): the user hears of it once, with both masses.
void WarnOfAreasOffTheMesh(SW_Simulation& sim, const SW_MeshCore& core,
                           const AK_Array<SW_InitialCondition*>& areas, const Release& r)
{
  const bool direct = sim.MassPerParticleDeterminationMethod == "direct";
  for (int32_t k = 0; k < areas.Size(); ++k) {
    if (!PartlyOffTheMesh(core, *areas[k])) continue;
    const double whole = static_cast<float>(Number(areas[k]->MassText()));
    AK_MESSAGE(AK_String::Format(
        "WARNING: release area %s lies partly off the mesh: its cells on the mesh hold %g kg of its %g kg, %s",
        areas[k]->Id().c_str(), r.cells.areaMass[k], whole,
        direct ? "only these are released" : "the particles on the mesh carry the whole mass"));
  }
}

// The first area whose mass is no finite number in the single precision the release mass is
// summed in (its text would read as 0 there); "" when there is none.
AK_String AreaMassOverflow(const AK_Array<SW_InitialCondition*>& areas)
{
  for (SW_InitialCondition* area : areas) {
    double mass = 0;
    const AK_String text = area->MassText();
    if (AK_LeadingDouble(text, mass) == AK_NumberRead::NotFinite || !std::isfinite(static_cast<float>(mass)))
      return "the release mass is not a finite number: release area " + area->Id() + " holds " + text + " kg";
  }
  return "";
}

// Release depths, enthalpies and secondary marks per cell from the release areas (then the
// secondary ones) and the release raster; the release mass from the areas' masses and the
// raster's cells. Release cells give up their entrainable snow.
Release ComputeReleaseCells(SW_Simulation& sim, const SW_MeshCore& core)
{
  AK_MESSAGE("computing release depths in cells...");
  AK_Array<SW_InitialCondition*> areas = Areas(sim, SW_SimulationGroup::ReleaseAreas);
  const int32_t primary = areas.Size();
  for (SW_InitialCondition* area : Areas(sim, SW_SimulationGroup::SecondaryReleaseAreas)) areas.Append(area);

  sim.UpdateReleaseMass("");
  Release r;
  r.M = static_cast<float>(Number(sim.ReleaseMassText())) +
        static_cast<float>(Number(sim.SecondaryReleaseMassText()));
  const AK_String overflow = AreaMassOverflow(areas);

  SW_Mesh* raster = nullptr;
  if (!sim.ReleaseDHM.IsEmpty() && sim.ReleaseDHM != "none") {
    raster = Raster(sim, sim.ReleaseDHM);
    AK_MESSAGE(((raster ? "using release depth from " : "WARNING: using release depth from ") +
                sim.ReleaseDHM + (raster ? "" : " failed!"))
                   .c_str());
  }

  SW_FlowFields f;
  SW_ScalarField* entrainment = sim.EntrainmentMass();
  if (entrainment) std::swap(f.entrainmentMass, entrainment->_values);
  const SW_SnowAreaViews views(areas);
  r.n = SW_ComputeReleaseDepths(core, views.Model(), primary, raster ? &raster->Core() : nullptr,
                                sim.ReleaseDHMDensity, sim.ReleaseTemperature(), sim.Density, r.M,
                                r.cells, f, r.fault);
  if (entrainment) std::swap(f.entrainmentMass, entrainment->_values);
  if (r.n < 0) r.n = 0;
  if (!overflow.IsEmpty()) {
    r.M = HUGE_VAL;
    if (r.fault.IsEmpty()) r.fault = overflow;
  }
  AK_MESSAGE("computing release depths in cells done");
  AK_MESSAGE(AK_String::Format("total mass:%g kg in %d cells", r.M, r.n).c_str());
  if (r.cells.secondaryCells > 0)
    AK_MESSAGE(AK_String::Format("%d cells in secondary release areas", r.cells.secondaryCells).c_str());
  if (r.fault.IsEmpty() && !(std::isfinite(r.M) && r.M >= 0))
    r.fault = AK_String::Format("the release mass %g kg is not a finite number >= 0", r.M);
  if (r.fault.IsEmpty() && r.n > 0) WarnOfAreasOffTheMesh(sim, core, areas, r);
  return r;
}

// The mass per particle and its related numbers by the chosen method. Nothing released keeps
// the user's numbers: the outputs of a method would be zeros that the attributes refuse, and
// a saved project would no longer load. Answers false when no particle is to be made, with
// the reason in `fault` when the numbers make none.
bool ChooseParticleBudget(SW_Simulation& sim, const Release& r, AK_String& fault)
{
  if (!(r.M > 0)) return false;
  SW_ParticleBudget budget{sim.MassPerParticle, sim.DeltaDepthPerParticle,
                           sim.NumParticlesPerCell, sim.NumParticles};
  const double dx = Number(AK_String::Format("%.15g", sim.Mesh()->GetResolution()));
  if (!SW_ChooseParticleMass(sim.MassPerParticleDeterminationMethod.c_str(), r.M, r.n, dx,
                             sim.Density, budget, fault))
    return false;
  sim.MassPerParticle = budget.massPerParticle;
  sim.DeltaDepthPerParticle = budget.deltaDepth;
  sim.NumParticlesPerCell = budget.perCell;
  sim.NumParticles = budget.count;
  AK_MESSAGE(AK_String::Format("estimated number of particles:%d", sim.NumParticles).c_str());
  AK_MESSAGE(AK_String::Format("estimated mass per particle:%g", sim.MassPerParticle).c_str());
  return true;
}

// Snow that enters during the run: a source line or the point source.
bool FedBySources(SW_Simulation& sim)
{
  if (!sim.GroupMembers<SW_SourceLine>(SW_SimulationGroup::SourceLines).IsEmpty()) return true;
  const AK_String strength = sim.Get("$source_strength");
  return !strength.IsEmpty() && Number(strength) > 0;
}

// Why a run would move nothing at all: a release defined, no particle made from it and no
// source to feed the run. Empty otherwise (no release at all is the run's own refusal).
AK_String NothingToRun(SW_Simulation& sim, const Release& r)
{
  const SW_Particles* particles = sim.Particles();
  if ((particles && particles->Count() > 0) || !sim.DefinesRelease() || FedBySources(sim)) return "";
  if (!(r.M > 0)) return AK_String::Format("the release holds no snow (%g kg)", r.M);
  if (r.n == 0) return AK_String::Format("the release of %g kg covers no cell of the mesh", r.M);
  return AK_String::Format("no particle was made from the release of %g kg in %d cells", r.M, r.n);
}

// True for the methods of the list; any other text is computed like "direct", with the mass
// correction.
bool ListedMassMethod(const char* method)
{
  for (const char* name : SW_MassMethodNames)
    if (std::strcmp(method, name) == 0) return true;
  return false;
}

// The particles of the release cells at rest, their masses then corrected to add up to the
// release mass (except for the method "direct"). `runMass` is the mass per particle the run
// goes on with: the corrected one, or the one the particles were made with. Answers why none
// were made when the memory for them cannot be had.
AK_String GenerateParticles(SW_Simulation& sim, const Release& r, double& runMass)
{
  runMass = sim.MassPerParticle;
  SW_Particles* particles = sim.Particles();
  if (!particles || r.n <= 0) return "";
  SW_Mesh* mesh = sim.Mesh();
  particles->_mesh = mesh;
  AK_Array<AK_Vec3> still;
  still.Reserve(mesh->NumCells());
  still.SetCount(mesh->NumCells());
  SetAll(still, AK_Vec3{0, 0, 0});
  const AK_String fault = particles->Generate(r.cells.depth, still, r.cells.enthalpy, r.cells.marks,
                                              static_cast<float>(sim.Density),
                                              static_cast<float>(sim.MassPerParticle));
  if (!fault.IsEmpty() || sim.MassPerParticleDeterminationMethod == "direct" || particles->Count() == 0)
    return fault;
  const double factor = SW_CorrectParticleMasses(particles->Masses(), r.M);
  AK_MESSAGE(AK_String::Format("massCorrFac:%g", factor).c_str());
  runMass = particles->TotalMass() / particles->Count();
  // The listed methods compute the mass per particle; a method outside the list takes it as
  // its input, which a second set-up would otherwise take the corrected mass for.
  if (ListedMassMethod(sim.MassPerParticleDeterminationMethod.c_str())) sim.MassPerParticle = runMass;
  AK_MESSAGE(AK_String::Format("mass per particle corrected:%g", runMass).c_str());
  return "";
}

// The flow fields back to one value per vertex, all results to 0.
void ResetResultFields(SW_Simulation& sim)
{
  SW_Mesh* mesh = sim.Mesh();
  for (int row = 0; row < SW_ResultFieldCount; ++row) {
    const SW_ResultFieldKind& kind = SW_ResultFields[row];
    if (!kind.component || !kind.onVertices || !sim.ResultField(row)) continue;
    if (kind.IsVector()) {
      sim.VectorResult(row)->SetMesh(mesh);
      SetAll(sim.VectorResult(row)->_vectors, AK_Vec3{0, 0, 0});
    } else {
      sim.ScalarResult(row)->SetMesh(mesh);
      SetAll(sim.ScalarResult(row)->_values, 0.f);
    }
  }
}

// What a release set-up replaces before it knows whether it can be made, held aside: a set-up
// that is refused gives it back, so the simulation keeps the state it held (a loaded time step,
// the last state of a run). The particles are held whole, the entrainable snow per cell and
// the numbers of the particle budget as they were.
class HeldState {
public:
  explicit HeldState(SW_Simulation& sim) : _sim(sim)
  {
    _progress = sim.HeldRunProgress();
    _budget = {sim.MassPerParticle, sim.DeltaDepthPerParticle, sim.NumParticlesPerCell};
    _count = sim.NumParticles;
    if (SW_Particles* particles = sim.Particles()) {
      _particlesMesh = particles->_mesh;
      particles->SwapStore(_particles);
    }
    for (SW_ScalarField* field : {sim.EntrainmentMass(), sim.EntrainmentEnthalpy()}) {
      Field& held = _fields[field == sim.EntrainmentMass() ? 0 : 1];
      if (!field) continue;
      held.mesh = field->Mesh();
      held.onVertices = field->_onVertices;
      std::swap(held.values, field->_values);
    }
  }
  HeldState(const HeldState&) = delete;
  HeldState& operator=(const HeldState&) = delete;

  // True when the state held lies on the mesh: particles of it, which it can keep.
  bool OnMesh(const SW_Mesh* mesh) const { return mesh && _particlesMesh == mesh; }

  // Puts everything held back in place of what the set-up made.
  void GiveBack()
  {
    _sim.SetRunProgress(_progress);
    _sim.MassPerParticle = _budget[0];
    _sim.DeltaDepthPerParticle = _budget[1];
    _sim.NumParticlesPerCell = _budget[2];
    _sim.NumParticles = _count;
    if (SW_Particles* particles = _sim.Particles()) {
      particles->SwapStore(_particles);
      particles->_mesh = _particlesMesh;
    }
    SW_ScalarField* fields[2] = {_sim.EntrainmentMass(), _sim.EntrainmentEnthalpy()};
    for (int k = 0; k < 2; ++k) {
      if (!fields[k]) continue;
      fields[k]->_onVertices = _fields[k].onVertices;
      fields[k]->SetMesh(_fields[k].mesh);
      std::swap(_fields[k].values, fields[k]->_values);
    }
  }

private:
  struct Field {
    SW_Mesh* mesh = nullptr;
    int32_t onVertices = 0;
    AK_Array<float> values;
  };
  SW_Simulation& _sim;
  SW_Simulation::RunProgress _progress;
  std::array<double, 3> _budget{};
  int32_t _count = 0;
  SW_ParticleStore _particles;
  SW_Mesh* _particlesMesh = nullptr;
  Field _fields[2];
};

}  // namespace

bool SW_Simulation::DefinesRelease()
{
  return !Areas(*this, SW_SimulationGroup::ReleaseAreas).IsEmpty() ||
         !Areas(*this, SW_SimulationGroup::SecondaryReleaseAreas).IsEmpty() ||
         (!ReleaseDHM.IsEmpty() && ReleaseDHM != "none");
}

SW_Simulation::RunProgress SW_Simulation::HeldRunProgress() const
{
  return {CurrentTime, CurrentTimeStep, PeakKineticEnergy};
}

void SW_Simulation::SetRunProgress(const RunProgress& progress)
{
  CurrentTime = progress.currentTime;
  CurrentTimeStep = progress.currentTimeStep;
  PeakKineticEnergy = progress.peakKineticEnergy;
}

AK_String SW_Simulation::SetUpRelease(bool trial, double& runMass)
{
  // Nothing of a run before carries over into the release: it starts as a new simulation's.
  SetRunProgress({});
  InitEntrainmentAreaWeights();
  Release release;
  if (DefinesRelease()) release.fault = ReleaseValueRefusal();
  if (release.fault.IsEmpty()) release = ComputeReleaseCells(*this, Mesh()->Core());
  if (SW_Particles* particles = Particles()) particles->Clear();
  runMass = MassPerParticle;
  if (release.fault.IsEmpty() && ChooseParticleBudget(*this, release, release.fault))
    release.fault = GenerateParticles(*this, release, runMass);
  // A run that goes on asks only for its mass per particle: its particles are its own.
  if (release.fault.IsEmpty() && !trial) release.fault = NothingToRun(*this, release);
  return release.fault;
}

void SW_Simulation::KeepRunMassPerParticle(double runMass)
{
  _runMass = {runMass, MassPerParticle, MassPerParticleDeterminationMethod};
}

namespace {

// The corrected mass per particle of the last set-up stands for a method outside the list
// with the input it was made from; the listed methods leave theirs in "MassPerParticle".
bool CorrectedInput(const AK_String& method, double input, const AK_String& setUpMethod, double setUpInput)
{
  return !ListedMassMethod(method.c_str()) && method == setUpMethod && input == setUpInput;
}

}  // namespace

double SW_Simulation::RunMassPerParticle() const
{
  const bool corrected =
      CorrectedInput(MassPerParticleDeterminationMethod, MassPerParticle, _runMass.method, _runMass.input);
  return corrected && _runMass.mass > 0 ? _runMass.mass : MassPerParticle;
}

bool SW_Simulation::RunMassPerParticleKnown() const
{
  return ListedMassMethod(MassPerParticleDeterminationMethod.c_str()) ||
         CorrectedInput(MassPerParticleDeterminationMethod, MassPerParticle, _runMass.method, _runMass.input);
}

AK_String SW_Simulation::FindRunMassPerParticle()
{
  SW_Mesh* mesh = Mesh();
  if (!mesh || mesh->NumCells() == 0 || RunMassPerParticleKnown()) return "";
  AK_MESSAGE(AK_String("the mass per particle of ") + GetAbsolutePath() +
             " is corrected by its release set-up: setting the release up again to find it...");
  HeldState held(*this);
  double runMass = 0;
  const AK_String fault = SetUpRelease(true, runMass);
  held.GiveBack();
  if (fault.IsEmpty()) KeepRunMassPerParticle(runMass);
  return fault;
}

AK_String SW_Simulation::Initialize()
{
  SW_Mesh* mesh = Mesh();
  if (!mesh || mesh->NumCells() == 0) {
    SetRunProgress({});
    return "";
  }
  HeldState held(*this);
  double runMass = 0;
  const AK_String fault = SetUpRelease(false, runMass);
  // A refused set-up changes nothing of a state on this mesh; one on another mesh (or none)
  // gives way to the empty release on this one.
  if (!fault.IsEmpty() && held.OnMesh(mesh)) {
    held.GiveBack();
  } else {
    if (fault.IsEmpty()) {
      KeepRunMassPerParticle(runMass);
      // The state is this set-up's now, read from no time step: it holds no series.
      _series.Drop();
      _setUpAnew = true;
      _filePeakTime = -1;
      _stateChosen = false;
    }
    ResetResultFields(*this);
    BindFieldsToMesh();
  }
  if (!fault.IsEmpty()) AK_MESSAGE(("WARNING: " + fault).c_str());
  return fault;
}
