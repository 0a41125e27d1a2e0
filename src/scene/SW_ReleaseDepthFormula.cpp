// Release-depth formulas: compiling a formula file and calling its functions.
#include "SW_ReleaseDepthFormula.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "AK_ClassScript.h"
#include "AK_CurrentObject.h"
#include "SW_UserCode.h"

namespace {

// The function of that name in the current namespace checked against the host's arguments;
// empty when there is none or it cannot take them (the interpreter says why).
ast_sci_prepared_call Prepare(const char* name, ast_sci_data_type result,
                              const ast_sci_type* args, int count)
{
  ast_sci_symbol* function = ast_sci_find_function(name);
  if (!function) return ast_sci_prepared_call();
  return ast_sci_prepare_call(function, result, args, count);
}

constexpr ast_sci_type kPoint{AST_SCI_DOUBLE, true, 3};
constexpr ast_sci_type kDepthArgs[] = {kPoint, kPoint};
constexpr ast_sci_type kParameterBuffer{AST_SCI_CHAR, true,
                                        SW_ReleaseDepthFormula::kParameterBufferSize};
// The size of a text handed to "setpar" is declared with each call.
constexpr ast_sci_type kParameterText{AST_SCI_CHAR, true, 0};

}  // namespace

std::unique_ptr<SW_ReleaseDepthFormula> SW_ReleaseDepthFormula::Compile(std::FILE* file,
                                                                        const char* path,
                                                                        AK_Object* area)
{
  // Formulas may read and write the area through the host functions "get" and "set".
  AK_BindHostFunctions();
  std::unique_ptr<SW_ReleaseDepthFormula> formula(new SW_ReleaseDepthFormula());
  ast_sci_namespace_scope global(ast_sci_global_namespace());
  formula->_namespace = ast_sci_new_namespace();
  AK_FATAL_ASSERT_NAMED(formula->_namespace, "_relDepFuncNamespace");
  ast_sci_prepared_call init;
  bool failed;
  {
    ast_sci_namespace_scope inside(formula->_namespace);
    if (ast_sci_parse_file(file, path) != 0) {
      AK_MESSAGE(AK_String("ERROR: syntax errors in ") + path);
      return nullptr;
    }
    formula->_depth = Prepare("depth", AST_SCI_DOUBLE, kDepthArgs, 2);
    if (!formula->_depth) {
      AK_MESSAGE(AK_String("ERROR: formula ") + path + " does not contain function 'depth'");
      return nullptr;
    }
    init = Prepare("init", AST_SCI_VOID, nullptr, 0);
    formula->_getpar = Prepare("getpar", AST_SCI_VOID, &kParameterBuffer, 1);
    formula->_setpar = Prepare("setpar", AST_SCI_VOID, &kParameterText, 1);
    AK_CurrentObjectScope current(area);
    SW_UserCodeGuard guard(true);
    ast_sci_run_namespace();
    failed = ast_sci_call_failed();
  }
  if (init && !failed) {
    AK_CurrentObjectScope current(area);
    SW_UserCodeGuard guard(true);
    ast_sci_call_prepared(init, nullptr);
    failed = ast_sci_call_failed();
  }
  if (failed) {
    // A formula whose initialisation did not finish would answer from half-set values.
    AK_MESSAGE(AK_String("ERROR: formula ") + path + " failed in its initialisation: " + ast_sci_last_error());
    return nullptr;
  }
  return formula;
}

SW_ReleaseDepthFormula::~SW_ReleaseDepthFormula()
{
  // The prepared calls keep their code alive on their own; the namespace goes now.
  if (_namespace) ast_sci_delete_namespace(_namespace);
}

double SW_ReleaseDepthFormula::Depth(const AK_Vec3& p, const AK_Vec3& n) const
{
  double x[3] = {p.x, p.y, p.z};
  double normal[3] = {n.x, n.y, n.z};
  void* args[] = {x, normal};
  SW_UserCodeGuard guard(true);
  const double depth = ast_sci_call_prepared(_depth, args).d;
  if (!ast_sci_call_failed()) return depth;
  // A formula that fails at one cell usually fails at every one: its reason once.
  const char* why = ast_sci_last_error();
  if (_reportedFailure != why) {
    _reportedFailure = why;
    AK_MESSAGE(AK_String("ERROR: release-depth formula failed: ") + why);
  }
  return std::nan("");
}

AK_String SW_ReleaseDepthFormula::Parameters(AK_Object* area) const
{
  if (!_getpar) return AK_String();
  char buffer[kParameterBufferSize] = {};
  void* args[] = {buffer};
  AK_CurrentObjectScope current(area);
  SW_UserCodeGuard guard(false);
  ast_sci_call_prepared(_getpar, args);
  buffer[kParameterBufferSize - 1] = '\0';
  return AK_String(buffer);
}

void SW_ReleaseDepthFormula::SetParameters(AK_Object* area, const char* text) const
{
  if (!_setpar) return;
  const char* value = text ? text : "";
  std::vector<char> copy(value, value + std::strlen(value) + 1);
  ast_sci_array_scope size(copy.data(), copy.size());
  void* args[] = {copy.data()};
  AK_CurrentObjectScope current(area);
  SW_UserCodeGuard guard(false);
  ast_sci_call_prepared(_setpar, args);
}
