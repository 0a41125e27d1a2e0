// SW_Simulation: construction, the attribute table, the mesh and its fields.
#include "SW_Simulation.h"

#include <cstring>

#include "AK_Group.h"
#include "SW_Mesh.h"
#include "SW_Particles.h"
#include "SW_ScalarField.h"
#include "SW_SimulationStatus.h"
#include "SW_TimeStepList.h"
#include "SW_TimeStepNames.h"
#include "SW_VectorField.h"

namespace {

using S = SW_Simulation;

constexpr const char* kInteractionTypes[] = {"none", "particles suspension"};
constexpr const char* const (&kMassPerParticleMethods)[4] = SW_MassMethodNames;
constexpr const char* kCleanupBehaviors[] = {"keep all time steps", "keep last time step",
                                             "remove all time steps", "delete entirely"};
constexpr const char* kDeleteTimestepsOptions[] = {"except last", "all"};

// The paths of the objects of the type below the project's component, from the simulation.
AK_String ListBelowProject(S& s, const char* component, const char* type, const char* idPart)
{
  AK_String list;
  AK_Object* project = s.Project();
  AK_Object* container = project ? project->GetComponent(component) : nullptr;
  if (container) container->ListObjectsOfType(list, type, &s, idPart);
  return list;
}

const char* Writable(bool on) { return on ? "w" : "r"; }

}  // namespace

SW_Simulation::SW_Simulation(const char* id, AK_Object* parent) : AK_Class(id, parent)
{
  SetUpClassLevel();
  CompileShearFormula(kDefaultShearFormula);
  CreateChildren();
  RunClassDefaults();
}

SW_Simulation::~SW_Simulation()
{
  // A background run whose start macro ended before its run (a project that did not load
  // whole) would otherwise count as started for ever, or, from a batch, leave the status of
  // an earlier run that reads as this one's. The error that ended the macro is the reason.
  if (!_startedInBackground) return;
  SW_RunLock lock(ProjectDir(), GetAbsolutePath(), SW_LockPurpose::Run, "not run", RecordForTaker());
  if (!lock.Held()) {
    NotRunWithoutLock(lock.RefusedBy());
    return;
  }
  AK_String reason("the start macro ended before the run");
  reason += AK_ErrorText.IsEmpty() ? AK_String(", see start.log") : ": " + AK_ErrorText;
  WriteNotRun(reason);
}

AK_String SW_SimulationLabel(const char* baseMesh, const char* identifier, double currentTime)
{
  const char* slash = baseMesh ? std::strrchr(baseMesh, '/') : nullptr;
  AK_String prefix = slash ? AK_String(slash + 1) + "_" : AK_String("simulation");
  return prefix + identifier + "_" + SW_TimeStepName(currentTime);
}

namespace {

// Inactive until a run fills it, so that the update pass does not draw it.
template <class Field>
Field* NewField(const char* id, int onVertices, AK_Object* parent = nullptr)
{
  auto* field = new Field(id, parent);
  field->_onVertices = onVertices;
  field->SetActive(0);
  return field;
}

}  // namespace

void SW_Simulation::CreateChildren()
{
  // A component takes its parent when it is added; a field held aside knows it from the start.
  for (int row = 0; row < SW_ResultFieldCount; ++row) {
    const SW_ResultFieldKind& kind = SW_ResultFields[row];
    AK_Object* parent = kind.component ? nullptr : this;
    AK_Object* field = nullptr;
    if (kind.IsVector())
      field = NewField<SW_VectorField>(kind.id, kind.onVertices, parent);
    else
      field = NewField<SW_ScalarField>(kind.id, kind.onVertices, parent);
    _resultFields[row] = field;
    if (!kind.component) _fieldsHeldAside[row].reset(field);
  }
  EntrainmentEnthalpy()->Set("MinDisplayedValue", "-1e8");
  auto* particles = new SW_Particles("Particles", nullptr);
  particles->SetActive(0);
  // The particles of the project file are those of its time step, not of the mesh record.
  particles->PositionSet().SetSkipBinaryData(1);

  for (const SW_GroupKind& kind : SW_SimulationGroups) {
    auto* group = new AK_Group(kind.id, this);
    group->Set("SelectedObjectType", kind.selectedType);
    group->Set("SingleType", "1");
    AddComponent(group);
    group->FixId();
  }
  for (int row = 0; row < SW_ResultFieldCount; ++row)
    if (SW_ResultFields[row].component) AddComponent(ResultField(row));
  AddComponent(particles);
  _particles = particles;
}

AK_Object* SW_Simulation::Project() const
{
  return Parent() ? Parent()->Parent() : nullptr;
}

void SW_Simulation::SetMesh(const char* path)
{
  if (!path || !*path) return;
  auto* mesh = dynamic_cast<SW_Mesh*>(FindObject(path));
  if (!mesh || mesh == _mesh.Get()) return;
  _mesh = mesh;
  _meshName = path;
  CurrentTimeStep = "";
  Initialize();
}

AK_String SW_Simulation::MeshPath()
{
  // Without a mesh found, the path given last: one made again there, or one that a load could not
  // find, is named as the user set it until the user sets another (a deletion clears it).
  SW_Mesh* mesh = _mesh.Get();
  return mesh ? mesh->GetAbsolutePath(this) : _meshName;
}

void SW_Simulation::BindFieldsToMesh()
{
  SW_Mesh* mesh = _mesh.Get();
  if (!mesh) return;
  for (int row = 0; row < SW_ResultFieldCount; ++row) {
    if (!SW_ResultFields[row].component || !ResultField(row)) continue;
    if (SW_ResultFields[row].IsVector())
      VectorResult(row)->SetMesh(mesh);
    else
      ScalarResult(row)->SetMesh(mesh);
  }
  if (SW_Particles* particles = Particles()) {
    particles->_mesh = mesh;
    particles->Rebind();
  }
  UpdateFields(1e30);
}

AK_String SW_Simulation::SimulationMeshNamesList()
{
  return ListBelowProject(*this, "DHMs", "DHM", "simulation");
}

namespace {

// The friction models and their parameters.
void DeclareFriction(AK_AttributeTableOf<SW_Simulation>& t)
{
  t.Text("PsaMesh", &S::PsaMesh).Path("DHM");
  t.Attribute(
      "FrictionType", [](S& s) { return s.FrictionType; },
      [](S& s, const char* v) { s.SetFrictionType(v); });
  t.Options("FrictionTypeOptions", [](S&) { return S::FrictionTypeOptions(); });
  // These and the other numbers of the model take any finite value, as stored projects may
  // hold it: the run refuses those it cannot run with before it starts (ValueRefusal).
  t.Double("InternalFrictionAngle", &S::InternalFrictionAngle);
  t.Double("BedFrictionAngle", &S::BedFrictionAngle);
  t.Double("DynamicFrictionCoefficient", &S::DynamicFrictionCoefficient);
  t.Attribute(
      "BottomShearStressFormula", [](S& s) { return s.BottomShearStressFormula; },
      [](S& s, const char* v) { s.CompileShearFormula(v); });
  t.Attribute(
      "BottomShearStressFormulaFile", [](S& s) { return s.BottomShearStressFormulaFileName(); },
      [](S& s, const char* v) { s.LoadRheologyFile(v); });
  // What a saved project keeps of a law given by its file; not shown.
  t.Attribute(
      "RheologyFilePath", [](S& s) { return s.StoredRheologyFile(); },
      [](S& s, const char* v) { s.LoadStoredRheologyFile(v); });
  t.Answer("BottomShearStressFormulaSignature", [](S&) { return AK_String(S::kShearSignature); });
  t.Attribute(
      "FormulaParameters", [](S& s) { return s.FormulaParameters(); },
      [](S& s, const char* v) { s.SetFormulaParameters(v); });
  t.Vis("FormulaParametersVis", [](S& s) { return s.FormulaParametersVis(); });
  t.Answer("EarthPressureCoefficients", [](S& s) { return s.PrintEarthPressureCoefficients(); });
  t.Vis("EarthPressureCoefficientsVis", [](S& s) { return s.EarthPressureCoefficientsVis(); });
  t.Vis("BottomShearStressFormulaVis", [](S&) { return "-"; });
  t.Vis("FrictionAngleVisibility", [](S& s) {
    const int law = SW_FrictionLawIndex(s.FrictionType.c_str());
    return law == SW_FrictionChezyCoulomb || law == SW_FrictionWetSnow || law == SW_FrictionClassic ? "w" : "-";
  });
  t.Vis("DynamicFrictionCoefficientVis", [](S& s) {
    const int law = SW_FrictionLawIndex(s.FrictionType.c_str());
    return law == SW_FrictionChezyCoulomb || law == SW_FrictionChezy || law == SW_FrictionWetSnow ||
                   law == SW_FrictionClassic
               ? "w"
               : "-";
  });
}

// The snow: density, release and entrainment.
void DeclareSnowAndEntrainment(AK_AttributeTableOf<SW_Simulation>& t)
{
  t.Double("Density", &S::Density);
  t.Text("ReleaseDHM", &S::ReleaseDHM).Path("DHM");
  t.Options("ReleaseDHM_Options", [](S& s) {
    return AK_String("none") + AK_SEP + ListBelowProject(s, "ReleaseDHMs", "DHM", nullptr);
  });
  t.Double("ReleaseDHMDensity", &S::ReleaseDHMDensity);
  t.Text("EntrainmentDHM", &S::EntrainmentDHM).Path("DHM");
  t.Double("EntrainmentDHMDensity", &S::EntrainmentDHMDensity);
  t.Double("GlobalEntrainmentAreaWeight", &S::GlobalEntrainmentAreaWeight);
  t.Double("GlobalEntrainmentMinZ", &S::GlobalEntrainmentMinZ);
  t.Double("GlobalEntrainmentTemperature", &S::GlobalEntrainmentTemperature);
  t.Double("GlobalEntrainmentTemperatureGradient", &S::GlobalEntrainmentTemperatureGradient);
  t.Double("EntrainmentShearResistance", &S::EntrainmentShearResistance);
  t.Double("EntrainmentDeformationResistance", &S::EntrainmentDeformationResistance);
  t.Double("EntrainmentErosionEnergy", &S::EntrainmentErosionEnergy);
  t.Double("SubgridMixingFactor", &S::SubgridMixingFactor);
  t.Double("RestitutionCoefficient", &S::RestitutionCoefficient);
  t.Double("CurvatureReductionFactor", &S::CurvatureReductionFactor);
  // Every whole number has a meaning (a factor or a divisor of the cell size) and stored
  // projects hold any of them: a kernel radius the neighbour grid cannot hold is refused by
  // the run that would need it.
  t.Int("SphMode", &S::SphMode);
}

// The flow above, stored and reported only.
void DeclareFlowAbove(AK_AttributeTableOf<SW_Simulation>& t)
{
  // Any text: its users tell "none" from the rest.
  t.Text("InteractionTypeWithFluidAbove", &S::InteractionTypeWithFluidAbove);
  t.Options("InteractionTypeWithFluidAboveOptions", kInteractionTypes);
  t.Vis("InteractionTypeWithFluidAboveVis", [](S&) { return "-"; });
  t.Vis("PsaVis", [](S&) { return "-"; });
  // While a run is going on, the run makes it read-only.
  t.Vis("PsaMeshVis", [](S& s) {
    if (s.InteractionTypeWithFluidAbove == "none") return "-";
    return Writable(!s.RunUnderWay());
  });
  t.Options("GetPsaMeshNamesList",
            [](S& s) { return ListBelowProject(s, "PsaMeshes", "Mesh", nullptr); });
  t.Answer("PSALogFileName", [](S&) { return AK_String(); });
  t.Double("ParticlesMinFroudeSaltation", &S::ParticlesMinFroudeSaltation);
  t.Double("ParticlesSuspensionCoeff", &S::ParticlesSuspensionCoeff);
  t.Double("ParticlesDiameter", &S::ParticlesDiameter);
  t.Double("ParticlesMaterialDensity", &S::ParticlesMaterialDensity);
  t.Double("ParticlesDragCoefficient", &S::ParticlesDragCoefficient);
  t.Double("ParticlesRestitutionCoefficient", &S::ParticlesRestitutionCoefficient);
  t.Double("DfaTurbulenceFactor", &S::DfaTurbulenceFactor);
  t.Int("TurbulenceReactionMode", &S::TurbulenceReactionMode);
  t.Double("ParticlesReflexionAngle", &S::ParticlesReflexionAngle);
  t.Double("ParticlesReflexionMinimalVelocity", &S::ParticlesReflexionMinimalVelocity);
  t.Double("PsaMinRoughness", &S::PsaMinRoughness);
  t.Double("PsaRoughnessVibrationConst", &S::PsaRoughnessVibrationConst);
  t.Double("PsaRoughnessSuspensionConst", &S::PsaRoughnessSuspensionConst);
  t.Int("PsaDirectEntrainment", &S::PsaDirectEntrainment);
  t.Double("ParcelMass", &S::ParcelMass);
  t.Double("ParticlesTimeStep", &S::ParticlesTimeStep);
  t.Int("PsaNumMPI", &S::PsaNumMPI);
  t.Double("Dx", &S::Dx);
  t.Int("Honeycomb", &S::Honeycomb);
  t.Text("AdditionalPSASolverArgs", &S::AdditionalPSASolverArgs);
}

// The times of a run.
void DeclareTimes(AK_AttributeTableOf<SW_Simulation>& t)
{
  // An end time before the start runs no step.
  t.Double("EndTime", &S::EndTime);
  t.Double("DeltaT", &S::DeltaT);
  // "DeltaOut" and "DeltaT" are read alone, in whichever order a macro or a saved file sets
  // them: a check of the pair at either Set would refuse, in a load, the very pair the
  // project holds. The run refuses an output interval shorter than a step before it starts.
  t.Double("DeltaOut", &S::DeltaOut);
  t.Answer("CurrentTime", [](S& s) { return AK_FormatDouble(s.CurrentTime); });
  t.Answer("PeakKineticEnergy",
           [](S& s) { return AK_FormatDouble(s.PeakKineticEnergy); });
}

// How the release becomes particles.
void DeclareParticleBudget(AK_AttributeTableOf<SW_Simulation>& t)
{
  // Any text: one outside the list is computed like "direct", with the mass correction.
  t.Text("MassPerParticleDeterminationMethod", &S::MassPerParticleDeterminationMethod);
  // Separated between the items only, unlike the other lists.
  t.Options("MassPerParticleDeterminationMethods", [](S&) {
    AK_String list;
    for (const char* method : kMassPerParticleMethods) {
      if (!list.IsEmpty()) list += AK_SEP;
      list += method;
    }
    return list;
  });
  // The set-up refuses a budget that makes no particle (by its method), the run a mass per
  // particle that is not positive.
  t.Double("MassPerParticle", &S::MassPerParticle);
  t.Double("NumParticlesPerCell", &S::NumParticlesPerCell);
  t.Int("NumParticles", &S::NumParticles);
  t.Double("DeltaDepthPerParticle", &S::DeltaDepthPerParticle);
  t.Vis("MassPerParticleVisibility",
        [](S& s) { return Writable(s.MassPerParticleDeterminationMethod == "direct"); });
  t.Vis("NumParticlesPerCellVisibility", [](S& s) {
    return Writable(s.MassPerParticleDeterminationMethod == "particles per cell");
  });
  t.Vis("NumParticlesVisibility", [](S& s) {
    return Writable(s.MassPerParticleDeterminationMethod == "number of particles");
  });
  t.Vis("DeltaDepthPerParticleVisibility", [](S& s) {
    return Writable(s.MassPerParticleDeterminationMethod == "delta-depth per particle");
  });
}

// Mass reports (read-only).
void DeclareMassReports(AK_AttributeTableOf<SW_Simulation>& t)
{
  t.Answer("ReleaseMass", [](S& s) { return s.ReleaseMassText(); });
  t.Answer("SecondaryReleaseMass", [](S& s) { return s.SecondaryReleaseMassText(); });
  t.Answer("EntrainmentMass", [](S& s) { return s.EntrainmentAreasMassText(); });
  t.Answer("CurrentMass", [](S& s) { return s.CurrentMassText(); });
  t.Answer("EntrainableMass", [](S& s) { return s.EntrainableMassText(); });
}

// Results and animation.
void DeclareResultsAndAnimation(AK_AttributeTableOf<SW_Simulation>& t)
{
  t.Text("Remark", &S::Remark);
  // Any text: one outside the list keeps every time step.
  t.Text("CleanupBehavior", &S::CleanupBehavior);
  t.Options("CleanupBehaviorOptions", kCleanupBehaviors);
  t.Options("DeleteTimestepsOptions", kDeleteTimestepsOptions);
  t.Int("AnimationWriteImageFiles", &S::AnimationWriteImageFiles);
  // 0 and below stand as given; an animation steps by at least 1.
  t.Int("AnimationStepIncrement", &S::AnimationStepIncrement);
  // No pause at 0 and below.
  t.Double("AnimationStepDelay", &S::AnimationStepDelay);
  t.Options("DepositionEvaluationOptions", [](S& s) {
    AK_String list;
    s.GetRoot()->ListObjectsOfType(list, "Polyline", &s, nullptr);
    return list;
  });
  t.Answer("get_assigned_views", [](S& s) { return s.GetVariable("$assigned_views"); });
  t.Answer("get_assigned_animation_view", [](S& s) { return s.AssignedAnimationView(); });
  t.Options("get_assigned_animation_view_options",
            [](S& s) { return s.AssignedAnimationViewOptions(); });
}

// Run status and time-step list: read only, found anew at every question.
void DeclareRunStatus(AK_AttributeTableOf<SW_Simulation>& t)
{
  t.Vis("RunVis", [](S& s) { return s.RunVis(); });
  t.Vis("ContinueVis", [](S& s) { return s.ContinueVis(); });
  t.Vis("InterruptVis", [](S& s) { return s.InterruptVis(); });
  t.Answer("Status", [](S& s) { return s.RunStatus(); });
  t.Answer("StatusInfo", [](S& s) { return SW_QueryAnswer(SW_ReadInfoFile(s.ProjectDir()), ""); });
  t.Options("TimeStepsList", [](S& s) {
    return SW_TimeStepsListText(SW_ListTimeSteps(s.ProjectDir(), s.CurrentTime));
  });
  t.Vis("NextTimeStepVis",
        [](S& s) { return SW_ListTimeSteps(s.ProjectDir(), s.CurrentTime).HasNext() ? "w" : "r"; });
  t.Vis("PrevTimeStepVis",
        [](S& s) { return SW_ListTimeSteps(s.ProjectDir(), s.CurrentTime).HasPrevious() ? "w" : "r"; });
  t.Answer("Label", [](S& s) {
    return SW_SimulationLabel(s.Mesh() ? s.Mesh()->BaseMesh : AK_String(), s.Id(), s.CurrentTime);
  });
}

// The commands; none is saved.
void DeclareCommands(AK_AttributeTableOf<SW_Simulation>& t)
{
  t.Command("Run", &S::Run);
  t.Command("Continue", &S::Continue);
  t.Command("RunInBackground", &S::RunInBackground);
  t.Command("ContinueInBackground", &S::ContinueInBackground);
  t.Command("Interrupt", &S::Interrupt);
  t.Command("UpdateReleaseMass", &S::UpdateReleaseMass);
  t.Command("SaveTimeStep", &S::SaveTimeStep);
  t.Command("LoadTimeStep", &S::LoadTimeStep);
  t.Command("LoadNextTimeStep", &S::LoadNextTimeStep);
  t.Command("LoadPrevTimeStep", &S::LoadPrevTimeStep);
  t.Command("LoadFirstTimeStep", &S::LoadFirstTimeStep);
  t.Command("LoadLastTimeStep", &S::LoadLastTimeStep);
  t.Command("Time", &S::SetTime);
  t.Command("AnimateTimeSteps", &S::AnimateTimeSteps);
  t.Command("set_assigned_views", &S::SetAssignedViews);
  t.Command("set_assigned_animation_view", &S::SetAssignedAnimationView);
  t.Command("clear_animation_views", &S::ClearAnimationViews);
  t.Command("animate_with_assigned_views", &S::AnimateWithAssignedViews);
  t.Command("DeleteTimesteps", &S::DeleteTimesteps);
  t.Command("ShowShallowWaterLogFile", &S::ShowShallowWaterLogFile);
  t.Command("EvaluateDepositionWith", &S::EvaluateDepositionWith);
  // Only a background run's start macro sends it, before it loads the project: from then on
  // this process answers for the run its status file announces.
  t.Command("DeactivateLoadingPsaResults", &S::DeactivateLoadingPsaResults);
  // Kept for the macros of the coupled solver, which this program does not run.
  for (const char* name : {"ShowPSALogFile", "ShowCouplingLogFile", "ShowRemainingPSACalculationTime"})
    t.Command(name, [](S&, const char*) {});
}

}  // namespace

void SW_Simulation::DeclareAttributes(AK_AttributeTableOf<SW_Simulation>& t)
{
  DeclareFriction(t);
  DeclareSnowAndEntrainment(t);
  DeclareFlowAbove(t);
  DeclareTimes(t);
  DeclareParticleBudget(t);
  DeclareMassReports(t);
  DeclareResultsAndAnimation(t);
  // The mesh: a terrain mesh or nothing.
  AK_AttributeEntry& mesh = t.Reference("Mesh", &S::_meshName, "DHM");
  mesh.get = [](AK_Object& o) { return static_cast<S&>(o).MeshPath(); };
  mesh.set = [](AK_Object& o, const AK_AttributeEntry& e, const char* v) {
    if (!AK_CheckReference(e, o, v)) {
      const AK_PathNamingNothing taken = AK_TakePathNamingNothing(o, "Mesh", v);
      if (taken == AK_PathNamingNothing::KeptAsRead && v) static_cast<S&>(o)._meshName = v;
      return taken == AK_PathNamingNothing::Dropped;
    }
    static_cast<S&>(o).SetMesh(v);
    return true;
  };
  t.Options("GetMeshNamesList", [](S& s) { return s.SimulationMeshNamesList(); });
  t.Answer("CurrentTimeStep", [](S& s) { return s.CurrentTimeStep; });
  DeclareRunStatus(t);
  DeclareCommands(t);
}
