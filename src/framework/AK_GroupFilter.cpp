// Group filters as scripts: "int pass(char id[]){" + body + "}" compiled into a namespace of
// its own, called once per candidate with the candidate's absolute path.
#include "AK_GroupFilter.h"

#include <utility>
#include <vector>

#include "AK_CurrentObject.h"
#include "ast_sci.h"

namespace {

class ScriptFilter : public AK_GroupFilter {
public:
  ScriptFilter(AK_Object* group, ast_sci_namespace scriptNamespace, ast_sci_prepared_call pass)
      : _group(group), _namespace(scriptNamespace), _pass(std::move(pass))
  {
  }

  ~ScriptFilter() override
  {
    // Closing makes the namespace that was current before the filter current again.
    ast_sci_set_namespace(_namespace);
    ast_sci_close_namespace();
  }

  int Pass(const char* candidatePath) override
  {
    AK_String path(candidatePath ? candidatePath : "");
    // The script may write into its argument; it gets a copy of the size it can see.
    std::vector<char> id(path.c_str(), path.c_str() + path.Length() + 1);
    ast_sci_array_scope size(id.data(), id.size());
    // "get" and "set" in the filter resolve paths from the group, also when the filter runs
    // from a macro or the console, where no other script code has pushed an object.
    AK_CurrentObjectScope current(_group);
    ast_sci_set_namespace(_namespace);
    void* args[] = {id.data()};
    ast_sci_value result = ast_sci_call_prepared(_pass, args);
    return result.i != 0 ? 1 : 0;
  }

private:
  AK_Object* _group;
  ast_sci_namespace _namespace;
  ast_sci_prepared_call _pass;
};

}  // namespace

std::unique_ptr<AK_GroupFilter> AK_CompileGroupFilter(AK_Object* group, const char* body, AK_String& error)
{
  if (!body || !*body) return nullptr;
  ast_sci_namespace scriptNamespace = ast_sci_open_namespace();
  if (!scriptNamespace) {
    error = "cannot create AST_SCI namespace!";
    return nullptr;
  }
  AK_String source = AK_String("int pass(char id[]){") + body + "}";
  int errors = ast_sci_parse_string(source);
  // The size of the candidate's path is declared with each call.
  static const ast_sci_type kPath{AST_SCI_CHAR, true, 0};
  ast_sci_prepared_call pass;
  if (errors == 0) pass = ast_sci_prepare_call(ast_sci_find_function("pass"), AST_SCI_INT, &kPath, 1);
  if (!pass) {
    ast_sci_close_namespace();
    error = AK_String("cannot compile filter '") + body + "'";
    return nullptr;
  }
  return std::make_unique<ScriptFilter>(group, scriptNamespace, std::move(pass));
}
