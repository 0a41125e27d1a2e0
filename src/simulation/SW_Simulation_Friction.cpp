// SW_Simulation: friction models, the shear formula, rheology files and the friction angles.
#include <cerrno>
#include <cmath>
#include <cstring>
#include <vector>

#include "AK_ClassFiles.h"
#include "AK_ClassScript.h"
#include "AK_CurrentObject.h"
#include "AK_Files.h"
#include "SW_Simulation.h"

const char* const SW_Simulation::kShearSignature =
    "double shear( // return shear stress [N/m2]\n"
    "double p,     // bottom pressure [N/m2]\n"
    "double v,     // velocity [m/s]\n"
    "double h,     // flow depth [m]\n"
    "double d)     // density [kg/m3]\n";

namespace {

constexpr ast_sci_type kScalar{AST_SCI_DOUBLE, false, 0};
constexpr ast_sci_type kPoint{AST_SCI_DOUBLE, true, 3};
constexpr ast_sci_type kShearArgs[] = {kScalar, kScalar, kScalar, kScalar};
constexpr ast_sci_type kTauArgs[] = {kScalar, kScalar, kScalar, kScalar, kScalar,
                                     kPoint,  kPoint,  kScalar};
constexpr ast_sci_type kEnergyLossArgs[] = {kScalar, kScalar, kScalar, kScalar,
                                            kScalar, kPoint,  kPoint,  kScalar,
                                            kScalar, kScalar, kScalar};

// Kept for the whole process: the last check under a model with earth pressure sets them.
float earthPressureCoefficients[6] = {1, 1, 1, 1, 1, 1};

// The name of a file without its directory (either separator) and extension.
AK_String FileBaseName(const char* path)
{
  AK_String name = AK_String(path).BaseName();
  name.CutExtension();
  return name;
}

}  // namespace

bool SW_Simulation::IsBuiltInFrictionType() const
{
  for (const char* name : kBuiltInFrictionTypes)
    if (FrictionType == name) return true;
  return false;
}

AK_String SW_Simulation::FrictionTypeOptions()
{
  AK_String list;
  for (const char* name : kBuiltInFrictionTypes) {
    list += name;
    list += AK_SEP;
  }
  AK_Array<AK_String> files = AK_ListAttributeFiles("cint", "rheology");
  for (int i = 0; i < files.Size(); ++i) {
    list += FileBaseName(files[i]);
    list += AK_SEP;
  }
  return list;
}

void SW_Simulation::DropRheology()
{
  _tau = {};
  _setPar = {};
  _getPar = {};
  _entrainmentEnergyLoss = {};
  _rheologyScript.reset();
}

namespace {

// A friction type that names its rheology file by a path (one loaded from outside the
// rheology folders) rather than by its name in those folders.
bool IsRheologyPath(const char* type) { return std::strpbrk(type, "/\\") != nullptr; }

// The file as this process opens it, from any directory: a project is loaded again from
// wherever another process (a background run, a batch start) happens to stand.
AK_String AbsoluteFilePath(const AK_String& file)
{
  if (file.IsAbsolutePath()) return file;
  AK_String path = AK_NormalizePath(file);
  const char* rest = path.c_str();
  while (rest[0] == '.' && rest[1] == '/') rest += 2;
  return AK_JoinPath(AK_CurrentDirectory(), rest);
}

}  // namespace

void SW_Simulation::SetFrictionType(const char* text)
{
  FrictionType = text ? text : "";
  DropRheology();
  _lawFileFault = "";
  _lawFile = "";
  _lawFileNamedByType = false;
  if (IsBuiltInFrictionType()) return;
  if (IsRheologyPath(FrictionType)) {
    // Kept as set, and no error: a project loaded from another directory than the one it was
    // saved in misses a relative path, and the file it stored (replayed later in the load)
    // takes over. Without one, a run refuses with this reason.
    if (!AK_FileExists(FrictionType) || AK_IsDirectory(FrictionType)) {
      _lawFileFault = AK_String("cannot find the rheology file ") + FrictionType;
      AK_MESSAGE(AK_String("WARNING: FrictionType: ") + _lawFileFault);
      return;
    }
    LoadRheologyFile(FrictionType);
    return;
  }
  AK_String path = AK_ResolveAttributeFile(FrictionType, "cint", "rheology");
  if (!AK_FileExists(path)) {
    _userLawFault = AK_String("'") + FrictionType + "' is neither a built-in model nor a rheology file";
    AK_MESSAGE(AK_String("WARNING: friction type ") + _userLawFault);
    return;
  }
  LoadRheologyFile(path);
  _lawFileNamedByType = true;
}

void SW_Simulation::CompileShearFormula(const char* formula)
{
  const char* body = formula ? formula : "";
  AK_String source = AK_String(kShearSignature) + "{\n" + body + "\n}";
  std::unique_ptr<SW_UserCode> unit = SW_UserCode::FromText(source, "_formulaNameSpace");
  ast_sci_prepared_call shear;
  if (unit) shear = unit->Prepare("shear", AST_SCI_DOUBLE, kShearArgs, 4);
  if (!shear) {
    // No shear function is left; the text stays the last that compiled, which a saved project
    // compiles again when it loads.
    _shear = {};
    _shearScript.reset();
    AK_MESSAGE("syntax errors in formula!");
    AK_ErrorText = "syntax errors in formula!";
    // Said by a run only where no "tau" is left to take its place.
    _userLawFault = "syntax errors in formula!";
    return;
  }
  _shear = std::move(shear);
  _shearScript = std::move(unit);
  _userLawFault = "";
  BottomShearStressFormula = body;
  AK_MESSAGE("formula syntax OK");
}

void SW_Simulation::LoadRheologyFile(const char* path)
{
  AK_String file(path ? path : "");
  DropRheology();
  _lawFile = file.IsEmpty() ? AK_String() : AbsoluteFilePath(file);
  _lawFileNamedByType = false;
  if (file.IsEmpty()) {
    // No file: no rheology law any more.
    BottomShearStressFormulaFile = "";
    _userLawFault = "its rheology file was dropped";
    return;
  }
  AK_File open(file, "r");
  if (!open) {
    const int why = errno;
    _lawFileFault = AK_String("cannot open ") + file + ": " + std::strerror(why);
    AK_ErrorText = _lawFileFault;
    return;
  }
  // A rheology model replaces the shear formula, whatever becomes of the file.
  _shear = {};
  _shearScript.reset();
  // Rheology files may read and write the simulation through "get" and "set".
  AK_BindHostFunctions();
  _rheologyScript = SW_UserCode::FromFile(open.get(), file, "_formulaNameSpace");
  if (!_rheologyScript) {
    _lawFileFault = AK_String("syntax errors in ") + file;
    AK_MESSAGE(AK_String("ERROR: ") + _lawFileFault);
    return;
  }
  _tau = _rheologyScript->Prepare("tau", AST_SCI_DOUBLE, kTauArgs, 8);
  _setPar = _rheologyScript->Prepare("set_par", AST_SCI_VOID, &SW_UserCode::kParameterText, 1);
  _getPar = _rheologyScript->Prepare("get_par", AST_SCI_VOID, &SW_UserCode::kParameterBuffer, 1);
  _entrainmentEnergyLoss =
      _rheologyScript->Prepare("entrainment_energy_loss", AST_SCI_DOUBLE, kEnergyLossArgs, 11);
  ast_sci_prepared_call init = _rheologyScript->Prepare("init", AST_SCI_VOID, nullptr, 0);
  if (!_tau) {
    _lawFileFault = AK_String("function tau missing in ") + file;
    AK_MESSAGE(AK_String("ERROR: ") + _lawFileFault);
    return;
  }
  AK_MESSAGE(AK_String("syntax OK, using ") + file);
  AK_String why;
  if (!_rheologyScript->Initialise(init, this, why)) {
    // A law whose initialisation did not finish would answer from half-set values.
    _lawFileFault = AK_String("the rheology file ") + file + " failed in its initialisation: " + why;
    AK_ErrorText = _lawFileFault;
    DropRheology();
    return;
  }
  _userLawFault = _lawFileFault = "";
  // "FrictionType" stays as the user set it: a saved project names the law as it was chosen.
  BottomShearStressFormulaFile = file;
}

AK_String SW_Simulation::StoredRheologyFile() const
{
  return _lawFileNamedByType ? AK_String() : _lawFile;
}

void SW_Simulation::LoadStoredRheologyFile(const char* path)
{
  AK_String file(path ? path : "");
  if (file.IsEmpty()) return;
  // "FrictionType" gave the law this very file already: loading it again would only repeat
  // its messages and its "init".
  if (!_lawFile.IsEmpty() && AK_FileIdentityOfPath(file).SameAs(AK_FileIdentityOfPath(_lawFile))) return;
  LoadRheologyFile(file);
  if (_lawFileFault.IsEmpty()) return;
  // Every reason names the file. The rest of the project still loads, and a built-in model
  // still runs; the user law refuses its run with this reason.
  AK_MESSAGE(AK_String("WARNING: ") + GetAbsolutePath() + ": the rheology file of its friction law could not be loaded: " +
             _lawFileFault);
  AK_ErrorText = "";
}

AK_String SW_Simulation::UserLawRefusal() const
{
  if (IsBuiltInFrictionType()) return AK_String();
  // The law the user chose is its file: a shear formula compiled after the file failed is not
  // that law, and a project saved so would reload the formula and run under it in the other
  // process while this one refuses.
  AK_String why = _lawFileFault;
  if (why.IsEmpty()) {
    // A user law without any function would run the avalanche without friction.
    if (_tau || _shear) return AK_String();
    why = _userLawFault.IsEmpty() ? AK_String("neither a function tau nor a shear formula") : _userLawFault;
  }
  return AK_String("friction law ") + FrictionType + " has no usable tau: " + why;
}

AK_String SW_Simulation::FormulaParameters()
{
  if (!_tau) return AK_String();
  return SW_UserCode::GetParameters(_getPar, this);
}

void SW_Simulation::SetFormulaParameters(const char* text)
{
  if (!_tau) return;
  AK_String why;
  if (!SW_UserCode::SetParameters(_setPar, this, text, why))
    AK_ErrorText = AK_String("FormulaParameters: set_par failed: ") + why;
}

const char* SW_Simulation::FormulaParametersVis() const
{
  return _tau && _setPar && _getPar ? "w" : "-";
}

AK_String SW_Simulation::BottomShearStressFormulaFileName() const
{
  return FileBaseName(BottomShearStressFormulaFile);
}

double SW_Simulation::Shear(double p, double v, double h, double d) const
{
  if (!_shear) return 0;
  void* args[] = {&p, &v, &h, &d};
  return SW_UserCode::Answer(_shear, args);
}

double SW_Simulation::Tau(double p, double u, double h, double rho, double t, const double x[3],
                          const double n[3], double enthalpy) const
{
  if (!_tau) return 0;
  // The script may change its arguments; the caller's stay as they are.
  double position[3] = {x[0], x[1], x[2]};
  double normal[3] = {n[0], n[1], n[2]};
  void* args[] = {&p, &u, &h, &rho, &t, position, normal, &enthalpy};
  return SW_UserCode::Answer(_tau, args);
}

double SW_Simulation::EntrainmentEnergyLoss(double p, double u, double h, double rho, double t,
                                            const double x[3], const double n[3], double tau,
                                            double q, double es, double ed) const
{
  if (!_entrainmentEnergyLoss) return 0;
  double position[3] = {x[0], x[1], x[2]};
  double normal[3] = {n[0], n[1], n[2]};
  void* args[] = {&p, &u, &h, &rho, &t, position, normal, &tau, &q, &es, &ed};
  return SW_UserCode::Answer(_entrainmentEnergyLoss, args);
}

bool SW_Simulation::MakeUserLawCalls(bool instance, UserLawCalls& calls) const
{
  calls = UserLawCalls();
  if (!instance) {
    calls.shear = _shear;
    calls.tau = _tau;
    calls.entrainmentEnergyLoss = _entrainmentEnergyLoss;
    return true;
  }
  // The shear formula counts only where no "tau" takes its place.
  if (_shear && !_tau) {
    calls.shearCode = _shearScript ? _shearScript->Instance({"shear"}) : nullptr;
    if (!calls.shearCode) return false;
    calls.shear = calls.shearCode->Prepare("shear", AST_SCI_DOUBLE, kShearArgs, 4);
    if (!calls.shear) return false;
  }
  if (_tau || _entrainmentEnergyLoss) {
    calls.rheologyCode =
        _rheologyScript ? _rheologyScript->Instance({"tau", "entrainment_energy_loss"}) : nullptr;
    if (!calls.rheologyCode) return false;
    if (_tau) calls.tau = calls.rheologyCode->Prepare("tau", AST_SCI_DOUBLE, kTauArgs, 8);
    if (_entrainmentEnergyLoss)
      calls.entrainmentEnergyLoss =
          calls.rheologyCode->Prepare("entrainment_energy_loss", AST_SCI_DOUBLE, kEnergyLossArgs, 11);
    if (static_cast<bool>(calls.tau) != static_cast<bool>(_tau) ||
        static_cast<bool>(calls.entrainmentEnergyLoss) != static_cast<bool>(_entrainmentEnergyLoss))
      return false;
  }
  return true;
}

const char* SW_Simulation::EarthPressureCoefficientsVis() const
{
  bool applies = InternalFrictionAngle >= 0.1 &&
                 (FrictionType == "Chezy + Mohr-Coulomb" || FrictionType == kClassicFriction);
  return applies ? "r" : "-";
}

void SW_Simulation::CheckFrictionParameters()
{
  if (*EarthPressureCoefficientsVis() == '-') return;
  if (BedFrictionAngle > InternalFrictionAngle) {
    AK_MESSAGE("WARNING: internal friction angle cannot be smaller than bed friction angle!");
    InternalFrictionAngle = BedFrictionAngle;
  }
  const double pi = std::acos(-1.0);
  double phi = InternalFrictionAngle * pi / 180;
  double delta = BedFrictionAngle * pi / 180;
  double c = std::cos(phi) * std::cos(phi);
  double s = std::sqrt(1 - c / (std::cos(delta) * std::cos(delta)));
  float* k = earthPressureCoefficients;
  k[0] = static_cast<float>(2 * (1 - s) / c - 1);
  k[1] = static_cast<float>(2 * (1 + s) / c - 1);
  double T = 4 * std::tan(delta) * std::tan(delta);
  for (int i = 0; i < 2; ++i) {
    double kx = k[i];
    double r = std::sqrt((1 - kx) * (1 - kx) + T);
    k[2 + 2 * i] = static_cast<float>(((1 + kx) - r) * 0.5);
    k[3 + 2 * i] = static_cast<float>(((1 + kx) + r) * 0.5);
  }
}

AK_String SW_Simulation::PrintEarthPressureCoefficients()
{
  CheckFrictionParameters();
  const float* k = earthPressureCoefficients;
  return AK_String::Format(
      "k_x_act:%g, k_x_pas:%g, k_y_act_x_act:%g, k_y_act_x_pas:%g, k_y_pas_x_act:%g, "
      "k_y_pas_x_pas:%g",
      k[0], k[1], k[2], k[3], k[4], k[5]);
}

const float* SW_Simulation::EarthPressureCoefficients() { return earthPressureCoefficients; }
