// SW_Simulation: the release set-up on the mesh (release depths, the mass per particle,
// the particles) and the mass reports of the areas, the particles and the entrainable snow.
#include <cstdlib>
#include <utility>

#include "SW_Flow.h"
#include "SW_InitialCondition.h"
#include "SW_Simulation.h"

namespace {

// The areas linked in one of the simulation's groups, in the group's order.
AK_Array<SW_InitialCondition*> Areas(SW_Simulation& sim, const char* group)
{
  return sim.GroupMembers<SW_InitialCondition>(group);
}

// The areas' masses, each as its "Mass" text rounded to single precision.
double AreasMass(SW_Simulation& sim, const char* group)
{
  double sum = 0;
  for (SW_InitialCondition* area : Areas(sim, group))
    sum += static_cast<float>(std::strtod(area->MassText().c_str(), nullptr));
  return sum;
}

double Number(const AK_String& text) { return std::strtod(text.c_str(), nullptr); }

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
  for (const char* group : {"ReleaseAreas", "SecondaryReleaseAreas", "EntrainmentAreas"})
    for (SW_InitialCondition* area : Areas(*this, group)) area->UpdateMass();
}

AK_String SW_Simulation::ReleaseMassText() { return AK_String::Format("%.15g", AreasMass(*this, "ReleaseAreas")); }
AK_String SW_Simulation::SecondaryReleaseMassText()
{
  return AK_String::Format("%.15g", AreasMass(*this, "SecondaryReleaseAreas"));
}
AK_String SW_Simulation::EntrainmentAreasMassText()
{
  return AK_String::Format("%.15g", AreasMass(*this, "EntrainmentAreas"));
}
AK_String SW_Simulation::CurrentMassText()
{
  return AK_String::Format("%.15g", Particles() ? Particles()->TotalMass() : 0.0);
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
  return AK_String::Format("%.15g", sum);
}

// Entrainable snow per cell from the entrainment areas, the raster and the global layer.
void SW_Simulation::InitEntrainmentAreaWeights()
{
  SW_Mesh* mesh = Mesh();
  SW_ScalarField* mass = EntrainmentMass();
  SW_ScalarField* enthalpy = EntrainmentEnthalpy();
  if (!mesh || !mass || !enthalpy) return;
  mass->_onVertices = enthalpy->_onVertices = 0;
  mass->SetMesh(mesh);
  enthalpy->SetMesh(mesh);
  SW_Mesh* raster = Raster(*this, EntrainmentDHM);
  const SW_EntrainmentSettings settings{GlobalEntrainmentAreaWeight, GlobalEntrainmentMinZ,
                                        GlobalEntrainmentTemperature,
                                        GlobalEntrainmentTemperatureGradient,
                                        EntrainmentDHMDensity};
  SW_FlowFields f;
  std::swap(f.entrainmentMass, mass->_values);
  std::swap(f.entrainmentEnthalpy, enthalpy->_values);
  SW_InitEntrainment(mesh->Core(), Areas(*this, "EntrainmentAreas"),
                     raster ? &raster->Core() : nullptr, settings, f);
  std::swap(f.entrainmentMass, mass->_values);
  std::swap(f.entrainmentEnthalpy, enthalpy->_values);
}

void SW_Simulation::Initialize()
{
  CurrentTime = 0;
  CurrentTimeStep = "";
  SW_Mesh* mesh = Mesh();
  if (!mesh || mesh->NumCells() == 0) return;
  const SW_MeshCore& core = mesh->Core();
  const int32_t cells = core.NumCells();
  InitEntrainmentAreaWeights();
  AK_MESSAGE("computing release depths in cells...");

  AK_Array<SW_InitialCondition*> areas = Areas(*this, "ReleaseAreas");
  const int32_t primary = areas.Size();
  for (SW_InitialCondition* area : Areas(*this, "SecondaryReleaseAreas")) areas.Append(area);

  UpdateReleaseMass("");
  double M = static_cast<float>(Number(ReleaseMassText())) +
             static_cast<float>(Number(SecondaryReleaseMassText()));

  SW_Mesh* raster = nullptr;
  if (!ReleaseDHM.IsEmpty() && ReleaseDHM != "none") {
    raster = Raster(*this, ReleaseDHM);
    AK_MESSAGE(((raster ? "using release depth from " : "WARNING: using release depth from ") +
                ReleaseDHM + (raster ? "" : " failed!"))
                   .c_str());
  }

  SW_ReleaseCells release;
  SW_FlowFields f;
  SW_ScalarField* entrainment = EntrainmentMass();
  if (entrainment) std::swap(f.entrainmentMass, entrainment->_values);
  AK_String error;
  int32_t n = SW_ComputeReleaseDepths(core, areas, primary, raster ? &raster->Core() : nullptr,
                                      ReleaseDHMDensity, _releaseTemperature, Density, M,
                                      release, f, error);
  if (entrainment) std::swap(f.entrainmentMass, entrainment->_values);
  if (n < 0) {
    AK_MESSAGE(("WARNING: " + error).c_str());
    n = 0;
  }
  AK_MESSAGE("computing release depths in cells done");
  AK_MESSAGE(AK_String::Format("total mass:%g kg in %d cells", M, n).c_str());
  if (release.secondaryCells > 0)
    AK_MESSAGE(AK_String::Format("%d cells in secondary release areas", release.secondaryCells).c_str());

  SW_ParticleBudget budget{MassPerParticle, DeltaDepthPerParticle, NumParticlesPerCell, NumParticles};
  const double dx = Number(AK_String::Format("%.15g", mesh->GetResolution()));
  SW_Particles* particles = Particles();
  if (particles) particles->Clear();
  // Nothing released keeps the user's numbers: the outputs of a method would be zeros that
  // the attributes refuse, and a saved project would no longer load.
  const bool chosen = M > 0 && SW_ChooseParticleMass(MassPerParticleDeterminationMethod.c_str(),
                                                     M, n, dx, Density, budget, error);
  if (chosen) {
    MassPerParticle = budget.massPerParticle;
    DeltaDepthPerParticle = budget.deltaDepth;
    NumParticlesPerCell = budget.perCell;
    NumParticles = budget.count;
    AK_MESSAGE(AK_String::Format("estimated number of particles:%d", NumParticles).c_str());
    AK_MESSAGE(AK_String::Format("estimated mass per particle:%g", MassPerParticle).c_str());
    if (particles && n > 0) {
      particles->_mesh = mesh;
      AK_Array<AK_Vec3> still;
      still.Reserve(cells);
      still.SetCount(cells);
      SetAll(still, AK_Vec3{0, 0, 0});
      particles->Generate(release.depth, still, release.enthalpy, release.marks,
                          static_cast<float>(Density), static_cast<float>(MassPerParticle));
      if (MassPerParticleDeterminationMethod != "direct" && particles->Count() > 0) {
        const double factor = SW_CorrectParticleMasses(particles->Masses(), M);
        AK_MESSAGE(AK_String::Format("massCorrFac:%g", factor).c_str());
        MassPerParticle = particles->TotalMass() / particles->Count();
        AK_MESSAGE(AK_String::Format("mass per particle corrected:%g", MassPerParticle).c_str());
      }
    }
  } else if (M > 0) {
    AK_MESSAGE(("WARNING: " + error).c_str());
  }

  // The flow fields go back to one value per vertex, all results to 0.
  for (SW_ScalarField* field : {FlowDepth(), DynamicPeakPressure(), PeakForcePerWidth(),
                                PeakTorquePerWidth(), PeakFlowDepth(), FrontArrivalTime()})
    if (field) {
      field->SetMesh(mesh);
      SetAll(field->_values, 0.f);
    }
  if (SW_VectorField* velocity = Velocity()) {
    velocity->SetMesh(mesh);
    SetAll(velocity->_vectors, AK_Vec3{0, 0, 0});
  }
  BindFieldsToMesh();
}
