// A user friction law compiled from any text, as a rheology file is loaded (initialisers and
// "init" under the step limit, parameters set and read), then called through the body-force
// phase on a few particles over snow that can be entrained. Inputs that name the host
// functions reaching the object tree or the file system, or include files, are left out.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "SW_Flow.h"
#include "SW_Simulation.h"
#include "SW_SimulationClasses.h"
#include "SW_SimulationRun.h"
#include "SW_UserCode.h"
#include "TestMeshes.h"

namespace {

int QuietPrint(const char*, ...) { return 0; }
void QuietFlush() {}

bool SetUp()
{
  FuzzSetUpOnce();
  SW_RegisterSimulationClasses();
  ast_sci_set_message_functions(QuietPrint, QuietFlush);
  SW_SetUserCodeStepLimit(20000);
  return true;
}

// Whether the text names an identifier the fuzzer keeps away from.
bool UsesTheHost(const std::string& text)
{
  static const char* const kBanned[] = {"set", "get", "set_error", "error", "make_directory",
                                        "get_attribute_file", "sleep", "include"};
  for (size_t i = 0; i < text.size();) {
    if (!(std::isalpha(static_cast<unsigned char>(text[i])) || text[i] == '_')) {
      ++i;
      continue;
    }
    size_t end = i;
    while (end < text.size() && (std::isalnum(static_cast<unsigned char>(text[end])) || text[end] == '_')) ++end;
    const std::string word = text.substr(i, end - i);
    for (const char* banned : kBanned)
      if (word == banned) return true;
    i = end;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  static const bool ready = SetUp();
  (void)ready;
  const std::string text(reinterpret_cast<const char*>(data), size);
  if (UsesTheHost(text)) return 0;
  const std::string path = FuzzScratchDirectory("fuzz_user_law") + "/law.cint";
  FuzzWriteFile(path, text);

  static SW_MeshCore mesh;
  if (mesh.NumCells() == 0)
    meshtest::MakeCartesian(mesh, 6, 6, 5, 0, 0, [](double x, double) { return -0.6 * x; });
  SW_Simulation sim("law", nullptr);
  sim.Set("BottomShearStressFormulaFile", path.c_str());
  if (sim.HasTau()) {
    sim.Set("FormulaParameters", "0.2 2000");
    (void)sim.Get("FormulaParameters");
  }
  SW_FlowRun run(mesh);
  run.fields.Bind(mesh);
  for (float& m : run.fields.entrainmentMass) m = 50;
  SW_FillFlowParameters(sim, run.par);
  run.par.frictionLaw = SW_FrictionUser;
  SW_ParticleStore& p = run.particles;
  for (int k = 0; k < 4; ++k)
    p.Add(mesh, AK_Vec3(7 + 4 * k, 8 + 3 * k, 0), 500, AK_Vec3(k * 3.0, 1, 0), 0, 0, -1);
  SW_UpdateFields(mesh, run.par.density, p, 0, run.fields);
  p.SizeWork();
  AK_String error;
  SW_ComputeBodyForces(run, 0, p.Count(), 1.0, 0.1, error);
  AK_ErrorText = "";
  return 0;
}
