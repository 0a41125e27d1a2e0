// Release-depth formulas: compiling a formula file and calling its functions.
#include "SW_ReleaseDepthFormula.h"

#include <cmath>

#include "AK_ClassScript.h"
#include "AK_FrameworkState.h"

namespace {

constexpr ast_sci_type kPoint{AST_SCI_DOUBLE, true, 3};
constexpr ast_sci_type kDepthArgs[] = {kPoint, kPoint};

}  // namespace

std::unique_ptr<SW_ReleaseDepthFormula> SW_ReleaseDepthFormula::Compile(std::FILE* file,
                                                                        const char* path,
                                                                        AK_Object* area)
{
  // Formulas may read and write the area through the host functions "get" and "set".
  AK_BindHostFunctions();
  std::unique_ptr<SW_ReleaseDepthFormula> formula(new SW_ReleaseDepthFormula());
  formula->_code = SW_UserCode::FromFile(file, path, "_relDepFuncNamespace");
  if (!formula->_code) {
    AK_MESSAGE(AK_String("ERROR: syntax errors in ") + path);
    return nullptr;
  }
  const SW_UserCode& code = *formula->_code;
  formula->_depth = code.Prepare("depth", AST_SCI_DOUBLE, kDepthArgs, 2);
  if (!formula->_depth) {
    AK_MESSAGE(AK_String("ERROR: formula ") + path + " does not contain function 'depth'");
    return nullptr;
  }
  ast_sci_prepared_call init = code.Prepare("init", AST_SCI_VOID, nullptr, 0);
  formula->_getpar = code.Prepare("getpar", AST_SCI_VOID, &SW_UserCode::kParameterBuffer, 1);
  formula->_setpar = code.Prepare("setpar", AST_SCI_VOID, &SW_UserCode::kParameterText, 1);
  AK_String why;
  if (!code.Initialise(init, area, why)) {
    // A formula whose initialisation did not finish would answer from half-set values.
    AK_MESSAGE(AK_String("ERROR: formula ") + path + " failed in its initialisation: " + why);
    return nullptr;
  }
  return formula;
}

double SW_ReleaseDepthFormula::Depth(const AK_Vec3& p, const AK_Vec3& n) const
{
  double x[3] = {p.x, p.y, p.z};
  double normal[3] = {n.x, n.y, n.z};
  void* args[] = {x, normal};
  const double depth = SW_UserCode::Answer(_depth, args);
  if (!std::isnan(depth) || !ast_sci_call_failed()) return depth;
  // A formula that fails at one cell usually fails at every one: its reason once.
  const char* why = ast_sci_last_error();
  if (_reportedFailure != why) {
    _reportedFailure = why;
    AK_MESSAGE(AK_String("ERROR: release-depth formula failed: ") + why);
  }
  return depth;
}

AK_String SW_ReleaseDepthFormula::Parameters(AK_Object* area) const
{
  return SW_UserCode::GetParameters(_getpar, area);
}

void SW_ReleaseDepthFormula::SetParameters(AK_Object* area, const char* text) const
{
  AK_String why;
  if (!SW_UserCode::SetParameters(_setpar, area, text, why))
    AK_ErrorText = AK_String("RelDepFuncPar: setpar failed: ") + why;
}
