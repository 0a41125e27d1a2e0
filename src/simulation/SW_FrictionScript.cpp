// Friction scripts: a compiled unit of user code in its own namespace.
#include "SW_FrictionScript.h"

#include "AK_Basic.h"

namespace {

// User code sees the global library and nothing of whatever class script happens to be
// running when the formula is set.
ast_sci_namespace NewNamespaceBelowGlobal()
{
  ast_sci_namespace_scope inGlobal(ast_sci_global_namespace());
  return ast_sci_new_namespace();
}

}  // namespace

template <class CompileFn>
std::unique_ptr<SW_FrictionScript> SW_FrictionScript::Compile(CompileFn compile)
{
  std::unique_ptr<SW_FrictionScript> unit(new SW_FrictionScript());
  unit->_namespace = NewNamespaceBelowGlobal();
  AK_FATAL_ASSERT_NAMED(unit->_namespace, "_formulaNameSpace");
  ast_sci_namespace_scope inside(unit->_namespace);
  if (compile() != 0) return nullptr;
  return unit;
}

std::unique_ptr<SW_FrictionScript> SW_FrictionScript::FromText(const char* source)
{
  return Compile([source] { return ast_sci_parse_string(source ? source : ""); });
}

std::unique_ptr<SW_FrictionScript> SW_FrictionScript::FromFile(std::FILE* file, const char* path)
{
  return Compile([file, path] { return ast_sci_parse_file(file, path); });
}

SW_FrictionScript::~SW_FrictionScript()
{
  // Never the current namespace here: every use restores the one current before.
  if (_namespace) ast_sci_delete_namespace(_namespace);
}

ast_sci_prepared_call SW_FrictionScript::Prepare(const char* name, ast_sci_data_type result,
                                                 const ast_sci_type* args, int count) const
{
  ast_sci_namespace_scope inside(_namespace);
  ast_sci_symbol* function = ast_sci_find_function(name);
  if (!function) return ast_sci_prepared_call();
  return ast_sci_prepare_call(function, result, args, count);
}

void SW_FrictionScript::RunInitialisers() const
{
  ast_sci_namespace_scope inside(_namespace);
  ast_sci_run_namespace();
}
