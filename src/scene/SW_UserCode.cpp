// User code: units compiled into namespaces of their own, their initialisation, their laws
// and parameter texts, and the step budget of every call.
#include "SW_UserCode.h"

#include <atomic>
#include <cmath>
#include <cstring>
#include <vector>

#include "AK_CurrentObject.h"

namespace {

// A sound law takes some hundreds of steps per call; 10^8 is seconds of a loop that never ends.
std::atomic<uint64_t> stepLimit{100000000};

}  // namespace

uint64_t SW_UserCodeStepLimit() { return stepLimit.load(std::memory_order_relaxed); }

void SW_SetUserCodeStepLimit(uint64_t steps) { stepLimit.store(steps, std::memory_order_relaxed); }

template <class CompileFn>
std::unique_ptr<SW_UserCode> SW_UserCode::Compile(const char* assertion, CompileFn compile)
{
  std::unique_ptr<SW_UserCode> unit(new SW_UserCode());
  {
    ast_sci_namespace_scope inGlobal(ast_sci_global_namespace());
    unit->_namespace = ast_sci_new_namespace();
  }
  AK_FATAL_ASSERT_NAMED(unit->_namespace, assertion);
  ast_sci_namespace_scope inside(unit->_namespace);
  if (compile() != 0) return nullptr;
  return unit;
}

std::unique_ptr<SW_UserCode> SW_UserCode::FromText(const char* source, const char* assertion)
{
  return Compile(assertion, [source] { return ast_sci_parse_string(source ? source : ""); });
}

std::unique_ptr<SW_UserCode> SW_UserCode::FromFile(std::FILE* file, const char* path, const char* assertion)
{
  return Compile(assertion, [file, path] { return ast_sci_parse_file(file, path); });
}

SW_UserCode::~SW_UserCode()
{
  // Never the current namespace here: every use restores the one current before.
  if (_namespace) ast_sci_delete_namespace(_namespace);
}

ast_sci_prepared_call SW_UserCode::Prepare(const char* name, ast_sci_data_type result, const ast_sci_type* args,
                                           int count) const
{
  ast_sci_namespace_scope inside(_namespace);
  ast_sci_symbol* function = ast_sci_find_function(name);
  if (!function) return ast_sci_prepared_call();
  return ast_sci_prepare_call(function, result, args, count);
}

bool SW_UserCode::Initialise(const ast_sci_prepared_call& init, AK_Object* current, AK_String& why) const
{
  AK_CurrentObjectScope scope(current);
  SW_UserCodeGuard guard(true);
  {
    ast_sci_namespace_scope inside(_namespace);
    ast_sci_run_namespace();
  }
  if (!ast_sci_call_failed() && init) ast_sci_call_prepared(init, nullptr);
  if (!ast_sci_call_failed()) return true;
  why = ast_sci_last_error();
  return false;
}

std::unique_ptr<SW_UserCode> SW_UserCode::Instance(std::initializer_list<const char*> functions) const
{
  {
    ast_sci_namespace_scope inside(_namespace);
    for (const char* name : functions) {
      const ast_sci_symbol* function = ast_sci_find_function(name);
      if (function && !ast_sci_function_self_contained(function)) return nullptr;
    }
  }
  ast_sci_namespace copy = ast_sci_copy_namespace(_namespace);
  if (!copy) return nullptr;
  std::unique_ptr<SW_UserCode> unit(new SW_UserCode());
  unit->_namespace = copy;
  return unit;
}

double SW_UserCode::Answer(const ast_sci_prepared_call& law, void* const* args)
{
  SW_UserCodeGuard guard(true);
  const double answer = ast_sci_call_prepared(law, args).d;
  return ast_sci_call_failed() ? std::nan("") : answer;
}

AK_String SW_UserCode::GetParameters(const ast_sci_prepared_call& getpar, AK_Object* current)
{
  if (!getpar) return AK_String();
  // Zeroed and terminated, so that a function that writes nothing or no terminator yields a
  // sound text.
  char buffer[kParameterBufferSize] = {};
  void* args[] = {buffer};
  AK_CurrentObjectScope scope(current);
  SW_UserCodeGuard guard(false);
  ast_sci_call_prepared(getpar, args);
  buffer[kParameterBufferSize - 1] = '\0';
  return AK_String(buffer);
}

bool SW_UserCode::SetParameters(const ast_sci_prepared_call& setpar, AK_Object* current, const char* text,
                                AK_String& why)
{
  if (!setpar) return true;
  const char* value = text ? text : "";
  std::vector<char> copy(value, value + std::strlen(value) + 1);
  ast_sci_array_scope size(copy.data(), copy.size());
  void* args[] = {copy.data()};
  AK_CurrentObjectScope scope(current);
  SW_UserCodeGuard guard(true);
  ast_sci_call_prepared(setpar, args);
  if (!ast_sci_call_failed()) return true;
  why = ast_sci_last_error();
  return false;
}
