// SW_Simulation: the update pass. It keeps the simulation consistent with what changed since
// the previous pass: the mesh found again by its path, the friction angles checked, the
// release prepared anew when one of its inputs changed, every result field titled with the
// simulation's name and time, and the particles showing their internal enthalpy while the
// children update and draw.
#include <algorithm>

#include "AK_Group.h"
#include "SW_FieldSupport.h"
#include "SW_Simulation.h"

namespace {

// The simulation's own inputs of the release set-up.
constexpr const char* kSetUpInputs[] = {
    "Mesh",
    "MassPerParticle",
    "NumParticlesPerCell",
    "NumParticles",
    "DeltaDepthPerParticle",
    "ReleaseDHM",
    "ReleaseDHMDensity",
    "GlobalEntrainmentAreaWeight",
    "GlobalEntrainmentMinZ",
    "GlobalEntrainmentTemperature",
    "GlobalEntrainmentTemperatureGradient",
};
// The groups whose members are released or entrained, the commands that change their
// membership, and the members' attributes that change what they hold.
constexpr SW_SimulationGroup kSetUpGroups[] = {SW_SimulationGroup::ReleaseAreas, SW_SimulationGroup::EntrainmentAreas, SW_SimulationGroup::SecondaryReleaseAreas};
constexpr const char* kMembershipCommands[] = {"AppendObject", "AppendAllObjectsOfType", "RemoveObject",
                                               "RemoveAllObjects"};
constexpr const char* kMemberInputs[] = {"Depth", "Density", "Enthalpy"};

constexpr const char* kTotalEnthalpyTitle = " SPH total enthalpy [J/kg] at ";
constexpr const char* kInternalEnthalpyTitle = " SPH enthalpy [J/kg] at ";

bool SetUpInputChangedSince(SW_Simulation& sim, int32_t since)
{
  for (const char* name : kSetUpInputs)
    if (sim.ModificationTime(name) > since) return true;
  for (SW_SimulationGroup id : kSetUpGroups) {
    AK_Object* group = sim.Group(id);
    if (!group) continue;
    // The group's own commands; a group's ModificationTime would answer for its members.
    for (const char* command : kMembershipCommands)
      if (group->AK_Object::ModificationTime(command) > since) return true;
    for (const char* name : kMemberInputs)
      if (group->ModificationTimeRecursive(name) > since) return true;
  }
  return false;
}

// A time step loaded since the previous pass holds the state to show, whatever changed before
// the load (a project load sets the mesh and the areas, then loads its time step). A time
// step that was never loaded does not count as loaded since.
bool NeedsNewSetUp(SW_Simulation& sim)
{
  const int32_t since = sim.UpdateStamp();
  const int32_t loaded = sim.ModificationTime("LoadTimeStep");
  if (loaded != 0 && loaded >= since) return false;
  return SetUpInputChangedSince(sim, since);
}

// The time of the titles: in single precision, "%g" and "s".
AK_String TitleTime(double time)
{
  return AK_String::Format("%gs", static_cast<double>(static_cast<float>(time)));
}

void Title(AK_Object* field, const AK_String& simulationId, const char* text, const AK_String& time)
{
  if (field) SW_SetFieldLabel(*field, simulationId + text + time);
}

// value - g z - |v|^2 / 2 for each particle that has a position and a velocity.
void ToInternalEnthalpy(SW_Particles& particles)
{
  AK_Array<float>& enthalpy = particles.Enthalpies();
  const AK_Array<AK_Vec3>& x = particles.Positions();
  const AK_Array<AK_Vec3>& v = particles.Velocities();
  const int32_t n = std::min({enthalpy.Size(), x.Size(), v.Size()});
  for (int32_t k = 0; k < n; ++k)
    enthalpy[k] = static_cast<float>(SW_InternalEnthalpy(enthalpy[k], x[k].z, v[k]));
}

}  // namespace

void SW_Simulation::Update()
{
  AK_OperationScope scope;
  SetMesh(_meshName);
  CheckFrictionParameters();
  if (!IsActive()) return;
  if (NeedsNewSetUp(*this)) Initialize();

  const AK_String time = TitleTime(CurrentTime);
  const AK_String& id = Id();
  for (int row = 0; row < SW_ResultFieldCount; ++row)
    Title(ResultField(row), id, SW_ResultFields[row].title, time);
  SW_Particles* particles = Particles();
  if (!particles) {
    AK_Object::Update();
    return;
  }
  Title(&particles->MassField(), id, " SPH mass [kg] at ", time);
  Title(&particles->VelocityField(), id, " SPH velocity [m/s] at ", time);

  // The children draw the internal enthalpy; the particles keep their total enthalpy, titled
  // as such again afterwards.
  Title(&particles->EnthalpyField(), id, kInternalEnthalpyTitle, time);
  const AK_Array<float> total = particles->Enthalpies();
  ToInternalEnthalpy(*particles);
  AK_Object::Update();
  if (IsDead() || !(particles = Particles())) return;
  Title(&particles->EnthalpyField(), id, kTotalEnthalpyTitle, time);
  // Values of another count would leave the particle arrays unequal; an update that changed
  // the particles left values of its own.
  if (!total.IsEmpty() && particles->Enthalpies().Size() == total.Size()) particles->Enthalpies() = total;
}
