// A simulation on a mesh of 3 x 2 cells loads a time-step file of any bytes (stored
// compressed, as the writer stores them) through its own reader and records. A load either
// takes a state the simulation can work with (every particle column as long as the set, the
// result fields as long as the mesh gives them, a time that names a file), which it then
// writes and reads back, or it fails with an error text and leaves the simulation as it was.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "AK_Container.h"
#include "FuzzSupport.h"
#include "SW_Simulation.h"
#include "SW_SimulationClasses.h"
#include "SW_TimeStepFile.h"
#include "TestMeshes.h"

namespace {

// The bytes of an array: NaN compares equal to itself.
template <class T>
std::string Bytes(const AK_Array<T>& a)
{
  return std::string(reinterpret_cast<const char*>(a.begin()), reinterpret_cast<const char*>(a.end()));
}

// What a load may change, to compare a failed load against.
struct Snapshot {
  std::string header, timeStep, particles, fields;

  explicit Snapshot(SW_Simulation& sim) : timeStep(sim.CurrentTimeStep.c_str())
  {
    const double values[2] = {sim.CurrentTime, sim.PeakKineticEnergy};
    header.assign(reinterpret_cast<const char*>(values), sizeof values);
    SW_Particles& p = *sim.Particles();
    particles = Bytes(p.Positions()) + "|" + Bytes(p.Velocities()) + "|" + Bytes(p.Masses()) + "|" +
                Bytes(p.Enthalpies()) + "|" + Bytes(p._flags);
    for (int row = 0; row < SW_ResultFieldCount; ++row)
      fields += (SW_ResultFields[row].IsVector() ? Bytes(sim.VectorResult(row)->_vectors)
                                                 : Bytes(sim.ScalarResult(row)->_values)) +
                "|";
  }
  bool operator==(const Snapshot&) const = default;
};

// Every particle column as long as the set, every bound field as long as the mesh gives it.
bool Sound(SW_Simulation& sim)
{
  SW_Particles& p = *sim.Particles();
  const int32_t n = p.Count();
  if (p.Positions().Size() != n || p.Velocities().Size() != n || p.Masses().Size() != n ||
      p.Enthalpies().Size() != n || (p._flags.Size() != 0 && p._flags.Size() != n))
    return false;
  for (int row = 0; row < SW_ResultFieldCount; ++row) {
    if (!SW_ResultFields[row].component || SW_ResultFields[row].IsVector()) continue;
    const SW_ScalarField& f = *sim.ScalarResult(row);
    if (f.Mesh() && f._values.Size() != f.ItemCount()) return false;
  }
  return std::isfinite(sim.CurrentTime) && sim.CurrentTime >= 0;
}

struct Project {
  AK_Container root{"project", nullptr};
  SW_Simulation* sim;
  std::string run;

  Project()
  {
    auto* mesh = new SW_Mesh("mesh", &root);
    root.AddComponent(mesh);
    meshtest::MakeCartesian(mesh->Core(), 3, 2, 10, 0, 0, [](double x, double) { return -x; });
    sim = new SW_Simulation("Avalanche1", &root);
    root.AddComponent(sim);
    sim->Set("Mesh", "../mesh");
    root.SetProjectDirRecursive(FuzzScratchDirectory("fuzz_timestep_file").c_str());
    run = sim->ProjectDir().c_str();
    (void)AK_MakeDirectory(run.c_str());  // a failure shows in what the target then reads
    for (int i = 0; i < 4; i++)
      sim->Particles()->Add(AK_Vec3(2 + 7 * i, 3 + 4 * i, 0), 10.0f + i, AK_Vec3(i, -i, 0.5), 100.0f * i, 0, -1);
    sim->BindFieldsToMesh();
    sim->CurrentTime = 5;
  }
};

void LoadInput(const uint8_t* data, size_t size)
{
  Project project;
  SW_Simulation& sim = *project.sim;
  {
    AK_STREAM out((project.run + "/input.TimeStep").c_str(), "wb");
    out.PutRaw(data, int64_t(size));
    // An input that did not reach the file whole is no input to load.
    if (AK_StreamClose(out) != 0) return;
  }
  const Snapshot before(sim);
  AK_ErrorText = "";
  sim.Set("LoadTimeStep", "input");
  if (!AK_ErrorText.IsEmpty()) {
    if (!(Snapshot(sim) == before)) __builtin_trap();
    return;
  }
  if (!Sound(sim) || !(sim.CurrentTimeStep == "input")) __builtin_trap();

  // What was taken is a state: it writes, and reads back the same.
  const Snapshot loaded(sim);
  sim.Set("SaveTimeStep", "");
  if (!AK_ErrorText.IsEmpty()) __builtin_trap();
  const AK_String name = SW_TimeStepName(sim.CurrentTime);
  sim.Set("LoadTimeStep", name);
  if (!AK_ErrorText.IsEmpty() || !Sound(sim)) __builtin_trap();
  Snapshot again(sim);
  again.timeStep = loaded.timeStep;
  if (!(again == loaded)) __builtin_trap();
  (void)AK_DeleteFile(SW_TimeStepPath(project.run.c_str(), name));  // the next input writes it anew
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  FuzzSetUpOnce();
  static const bool registered = (SW_RegisterSimulationClasses(), true);
  (void)registered;
  LoadInput(data, size);
  AK_DeleteDetachedObjects();
  AK_ErrorText = "";
  return 0;
}
