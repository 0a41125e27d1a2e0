// Running script code: activation frames, calls of script functions, the extern-call
// dispatchers, host calls into scripts, run-time errors and the sizes of arrays that natives
// receive.
#include "ast_sci_internal.h"

#include <cstdarg>
#include <cstring>
#include <type_traits>
#include <utility>

constinit thread_local ast_sci_value ast_sci_result{};

namespace ast_sci_internal {

constinit thread_local Runtime rt;
constinit thread_local ExternCallRecord* extern_calls = nullptr;

namespace {

std::unordered_map<const void*, size_t>& host_arrays()
{
  static std::unordered_map<const void*, size_t> arrays;
  return arrays;
}

void ensure_stack()
{
  if (rt.stack_begin) return;
  // Each thread that calls scripts runs them on a stack of its own.
  thread_local std::unique_ptr<char[]> stack(new char[kScriptStackBytes]);
  rt.stack_begin = stack.get();
  rt.stack_end = rt.stack_begin + kScriptStackBytes;
  rt.sp = rt.stack_begin;
}

[[noreturn]] void too_deep(const ast_sci_node* where, const char* name)
{
  ast_sci_runtime_error(where, "recursion too deep in call of '%s'", name);
}

// Reserves the callee's frame above everything live; checks the recursion limits first.
inline char* push_frame(const ast_sci_node* where, const ast_sci_symbol* f)
{
  char* frame = rt.sp;
  size_t size = static_cast<size_t>(f->frame_size);
  uintptr_t here = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
  if (size > static_cast<size_t>(rt.stack_end - frame) || rt.depth >= kMaxCallDepth ||
      static_cast<intptr_t>(rt.native_anchor - here) > static_cast<intptr_t>(kNativeStackBudget))
    too_deep(where, f->name.c_str());
  rt.sp = frame + size;
  return frame;
}

// Runs the body in the frame; a non-void function that ends without return yields 0.
inline void run_body(ast_sci_symbol* f, char* frame)
{
  char* saved = rt.fp;
  rt.fp = frame;
  ++rt.depth;
  int code = f->body->exec(f->body);
  if (code != AST_SCI_CTL_RETURN && f->type != AST_SCI_VOID) ast_sci_result.bits = 0;
  --rt.depth;
  rt.fp = saved;
  rt.sp = frame;
}

void* call_script(ast_sci_node* n, ast_sci_symbol* f)
{
  char* frame = push_frame(n, f);
  const ast_sci_formal* formals = f->formals.data();
  ast_sci_node** ops = n->operands;
  for (int32_t i = n->noperands - 1; i >= 0; --i) {
    ast_sci_node* arg = ops[i];
    void* address = arg->eval(arg);
    char* slot = frame + formals[i].offset;
    st<void*>(slot, address);
    if (formals[i].is_array) st<int64_t>(slot + 8, array_count(arg));
  }
  count_step(n);
  run_body(f, frame);
  char* c = rt.fp + n->cell;
  st<uint64_t>(c, ast_sci_result.bits);
  return c;
}

[[noreturn]] void unbound(const ast_sci_symbol* f)
{
  ast_sci_runtime_error(nullptr, "calling unbound extern function '%s'!", f->name.c_str());
}

template <class Ret>
inline void call_and_store(const ast_sci_symbol* f, void* const* args)
{
  using Invoker = Ret (*)(ast_sci_detail::generic_function, void* const*);
  auto invoker = reinterpret_cast<Invoker>(f->invoker);
  if constexpr (std::is_void_v<Ret>) {
    invoker(f->address, args);
  } else {
    Ret r = invoker(f->address, args);
    ast_sci_result.bits = 0;
    st<Ret>(&ast_sci_result, r);
  }
}

struct ExternCallScope {
  explicit ExternCallScope(ExternCallRecord* record) : outer(record->outer) { extern_calls = record; }
  ~ExternCallScope() { extern_calls = outer; }
  ExternCallRecord* outer;
};

template <class Ret>
void ext_call(ast_sci_node* n)
{
  uint32_t count = static_cast<uint32_t>(n->noperands);
  if (count > static_cast<uint32_t>(kMaxExternArgs)) {
    ast_sci_print("external function calls with > 50 args not supported\n");
    return;
  }
  void* args[kMaxExternArgs + 1];
  ast_sci_node** ops = n->operands;
  for (int32_t i = static_cast<int32_t>(count) - 1; i >= 0; --i) args[i] = ops[i]->eval(ops[i]);
  const ast_sci_symbol* f = n->symbol;
  if (n->has_array_args) {
    int64_t bytes[kMaxExternArgs + 1];
    for (uint32_t i = 0; i < count; ++i)
      bytes[i] = ops[i]->is_array ? array_count(ops[i]) * type_size(ops[i]->type) : 0;
    ExternCallRecord record{n->noperands, args, bytes, extern_calls};
    ExternCallScope scope(&record);
    call_and_store<Ret>(f, args);
  } else {
    call_and_store<Ret>(f, args);
  }
}

// The element count of an array that the host passes for a formal parameter.
int64_t host_array_count(const ast_sci_formal& formal, void* address)
{
  size_t elem = static_cast<size_t>(type_size(formal.type));
  auto& arrays = host_arrays();
  auto it = arrays.find(address);
  if (it != arrays.end()) return static_cast<int64_t>(it->second / elem);
  if (formal.count > 0) return formal.count;
  if (formal.type == AST_SCI_CHAR) return static_cast<int64_t>(std::strlen(static_cast<const char*>(address))) + 1;
  return 1;
}

void call_native_from_host(ast_sci_symbol* f, void* const* args, const int64_t* counts)
{
  if (!f->address) unbound(f);
  size_t count = f->formals.size();
  if (count > static_cast<size_t>(kMaxExternArgs)) {
    ast_sci_print("external function calls with > 50 args not supported\n");
    return;
  }
  // A native learns the size of an array the host prepared with its count through
  // ast_sci_array_size, as it does for a script's array.
  int64_t bytes[kMaxExternArgs + 1];
  for (size_t i = 0; i < count; ++i)
    bytes[i] = counts && f->formals[i].is_array ? counts[i] * type_size(f->formals[i].type) : 0;
  ExternCallRecord record{static_cast<int32_t>(count), args, bytes, extern_calls};
  ExternCallScope scope(&record);
  switch (f->type) {
    case AST_SCI_VOID: call_and_store<void>(f, args); break;
    case AST_SCI_CHAR: call_and_store<char>(f, args); break;
    case AST_SCI_INT: call_and_store<int>(f, args); break;
    case AST_SCI_FLOAT: call_and_store<float>(f, args); break;
    case AST_SCI_DOUBLE: call_and_store<double>(f, args); break;
    default: call_and_store<void*>(f, args); break;
  }
}

// The host's element count of an array argument: the one given when the call was prepared,
// else the rules of host_array_count.
inline int64_t host_argument_count(const ast_sci_formal& formal, void* address, const int64_t* counts, size_t i)
{
  return counts && counts[i] > 0 ? counts[i] : host_array_count(formal, address);
}

void call_script_from_host(ast_sci_symbol* f, void* const* args, const int64_t* counts)
{
  char* frame = push_frame(nullptr, f);
  for (size_t i = 0; i < f->formals.size(); ++i) {
    const ast_sci_formal& formal = f->formals[i];
    char* slot = frame + formal.offset;
    st<void*>(slot, args[i]);
    if (formal.is_array) st<int64_t>(slot + 8, host_argument_count(formal, args[i], counts, i));
  }
  // No call node in a script: the step is the function's own.
  count_step(f->body);
  run_body(f, frame);
}

// The symbol table generation that owns a function, held while a host call or a prepared call
// needs it.
void retain_owner(const ast_sci_symbol* f)
{
  if (f && f->owner) retain(static_cast<Generation*>(f->owner));
}

void release_owner(const ast_sci_symbol* f)
{
  if (f && f->owner) release(static_cast<Generation*>(f->owner));
}

// Runs a script or native function for the host with one address per formal parameter and,
// when given, the element count of each array argument. Nothing here allocates.
ast_sci_value run_host_call(ast_sci_symbol* function, void* const* args, const int64_t* counts)
{
  ast_sci_value result{};
  size_t count = function->formals.size();
  // The function's table generation stays alive while the call runs, even when the host
  // deletes or resets its namespace meanwhile.
  retain_owner(function);
  bool failed = false;
  {
    HostCall call;
    try {
      for (size_t i = 0; i < count; ++i)
        if (!args[i])
          ast_sci_runtime_error(nullptr, "argument %zu of '%s' is a null address", i + 1, function->name.c_str());
      if (function->body) call_script_from_host(function, args, counts);
      else call_native_from_host(function, args, counts);
      result = ast_sci_result;
    } catch (RuntimeError&) {
      failed = true;
    }
  }
  if (failed) {
    ast_sci_result.bits = 0;
    result.bits = 0;
  } else {
    rt.last_error[0] = 0;
  }
  rt.last_failed = failed ? 1 : 0;
  release_owner(function);
  return result;
}

bool is_function(const ast_sci_symbol* symbol) { return symbol && symbol->kind == AST_SCI_SYM_FUNCTION; }

ast_sci_type public_type(const ast_sci_formal& formal)
{
  return {static_cast<ast_sci_data_type>(formal.type), formal.is_array, formal.is_array && formal.count > 0 ? formal.count : 0};
}

// "double", "double[3]" or "char[]".
std::string type_text(const ast_sci_type& type)
{
  std::string text = type_name(type.base);
  if (type.is_array) text += type.count > 0 ? "[" + std::to_string(type.count) + "]" : "[]";
  return text;
}

bool accepts(const ast_sci_type& parameter, const ast_sci_type& argument)
{
  if (parameter.base != argument.base || parameter.is_array != argument.is_array) return false;
  return !parameter.is_array || argument.count <= 0 || parameter.count <= argument.count;
}

// Why the function cannot take these arguments or give this result; empty when it can.
std::string mismatch(const ast_sci_symbol* f, ast_sci_data_type result, const ast_sci_type* args, int count)
{
  if (static_cast<size_t>(count) != f->formals.size())
    return "takes " + std::to_string(f->formals.size()) + " arguments, the host passes " + std::to_string(count);
  for (int i = 0; i < count; ++i) {
    ast_sci_type parameter = public_type(f->formals[static_cast<size_t>(i)]);
    if (!accepts(parameter, args[i]))
      return "takes " + type_text(parameter) + " as argument " + std::to_string(i + 1) + ", the host passes " +
             type_text(args[i]);
  }
  if (result != AST_SCI_VOID && f->type != result)
    return std::string("returns ") + type_name(f->type) + ", the host reads " + type_name(result);
  return std::string();
}

}  // namespace

void steps_exhausted(const ast_sci_node* where)
{
  if (rt.step_limit == 0) {
    rt.steps_left = ~uint64_t(0);
    return;
  }
  rt.steps_left = 1;  // stays exhausted until the outermost host call ends
  ast_sci_runtime_error(where, "step limit of %llu exceeded", static_cast<unsigned long long>(rt.step_limit));
}

HostCall::HostCall()
{
  ensure_stack();
  _fp = rt.fp;
  _sp = rt.sp;
  _depth = rt.depth;
  _calls = extern_calls;
  _steps_left = rt.steps_left;
  _step_limit = rt.step_limit;
  if (rt.entries++ == 0) {
    rt.native_anchor = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
    rt.steps_left = rt.step_limit ? rt.step_limit : ~uint64_t(0);
  }
  // A guarded call counts its own steps, even inside a script that has no limit.
  if (rt.call_budget) rt.steps_left = rt.step_limit = rt.call_budget;
}

HostCall::~HostCall()
{
  rt.fp = _fp;
  rt.sp = _sp;
  rt.depth = _depth;
  extern_calls = _calls;
  if (rt.call_budget) {
    // The caller goes on with what was left of its own budget.
    rt.steps_left = _steps_left;
    rt.step_limit = _step_limit;
  }
  --rt.entries;
}

const char* type_name(int type)
{
  switch (type) {
    case AST_SCI_VOID: return "void";
    case AST_SCI_CHAR: return "char";
    case AST_SCI_INT: return "int";
    case AST_SCI_FLOAT: return "float";
    case AST_SCI_DOUBLE: return "double";
    case AST_SCI_POINTER: return "void*";
    default: return "?";
  }
}

}  // namespace ast_sci_internal

using namespace ast_sci_internal;

void ast_sci_runtime_error(const ast_sci_node* where, const char* format, ...)
{
  if (!rt.quiet) {
    char text[400];
    va_list ap;
    va_start(ap, format);
    std::vsnprintf(text, sizeof text, format, ap);
    va_end(ap);
    if (where && where->file)
      std::snprintf(rt.last_error, sizeof rt.last_error, "%s (%s:%d)", text, where->file, where->line);
    else
      std::snprintf(rt.last_error, sizeof rt.last_error, "%s", text);
    if (!rt.silent) {
      ast_sci_print("\nast_sci_execute:ERROR: %s\n", rt.last_error);
      ast_sci_flush();
    }
  }
  throw RuntimeError{};
}

void* ast_sci_exec_call(ast_sci_node* n)
{
  ast_sci_symbol* f = n->symbol;
  if (f->body) return call_script(n, f);
  if (!f->address) unbound(f);
  count_step(n);
  f->dispatcher(n);
  char* c = rt.fp + n->cell;
  st<uint64_t>(c, ast_sci_result.bits);
  return c;
}

void* ast_sci_node_cell(ast_sci_node* node) { return rt.fp + node->cell; }

void ast_sci_ext_call_void(ast_sci_node* call) { ext_call<void>(call); }
void ast_sci_ext_call_char(ast_sci_node* call) { ext_call<char>(call); }
void ast_sci_ext_call_int(ast_sci_node* call) { ext_call<int>(call); }
void ast_sci_ext_call_float(ast_sci_node* call) { ext_call<float>(call); }
void ast_sci_ext_call_double(ast_sci_node* call) { ext_call<double>(call); }
void ast_sci_ext_call_ptr(ast_sci_node* call) { ext_call<void*>(call); }

ast_sci_dispatcher ast_sci_dispatcher_for(int data_type)
{
  switch (data_type) {
    case AST_SCI_VOID: return ast_sci_ext_call_void;
    case AST_SCI_CHAR: return ast_sci_ext_call_char;
    case AST_SCI_INT: return ast_sci_ext_call_int;
    case AST_SCI_FLOAT: return ast_sci_ext_call_float;
    case AST_SCI_DOUBLE: return ast_sci_ext_call_double;
    case AST_SCI_POINTER: return ast_sci_ext_call_ptr;
    default: return nullptr;
  }
}

ast_sci_value ast_sci_call_function(ast_sci_symbol* function, ...)
{
  if (!is_function(function)) {
    ast_sci_print("\nast_sci_execute:ERROR: ast_sci_call_function needs a function symbol!\n");
    rt.last_failed = 1;
    return ast_sci_value{};
  }
  void* args[kMaxFormals + 1];
  size_t count = function->formals.size();
  va_list ap;
  va_start(ap, function);
  for (size_t i = 0; i < count; ++i) args[i] = va_arg(ap, void*);
  va_end(ap);
  return run_host_call(function, args, nullptr);
}

int ast_sci_function_signature(const ast_sci_symbol* function, ast_sci_data_type* result, ast_sci_type* params,
                               int capacity)
{
  if (!is_function(function)) return -1;
  if (result) *result = static_cast<ast_sci_data_type>(function->type);
  int count = static_cast<int>(function->formals.size());
  for (int i = 0; params && i < count && i < capacity; ++i) params[i] = public_type(function->formals[static_cast<size_t>(i)]);
  return count;
}

ast_sci_prepared_call::ast_sci_prepared_call(ast_sci_symbol* function, std::vector<int64_t> counts)
    : _function(function), _counts(std::move(counts))
{
  retain_owner(_function);
}

ast_sci_prepared_call::ast_sci_prepared_call(const ast_sci_prepared_call& other)
    : _function(other._function), _counts(other._counts)
{
  retain_owner(_function);
}

ast_sci_prepared_call::ast_sci_prepared_call(ast_sci_prepared_call&& other) noexcept
    : _function(std::exchange(other._function, nullptr)), _counts(std::move(other._counts))
{
}

ast_sci_prepared_call& ast_sci_prepared_call::operator=(ast_sci_prepared_call other) noexcept
{
  std::swap(_function, other._function);
  std::swap(_counts, other._counts);
  return *this;
}

ast_sci_prepared_call::~ast_sci_prepared_call()
{
  release_owner(_function);
}

ast_sci_prepared_call ast_sci_prepare_call(ast_sci_symbol* function, ast_sci_data_type result,
                                           const ast_sci_type* args, int count)
{
  if (!is_function(function)) {
    ast_sci_print("\nast_sci_execute:ERROR: ast_sci_prepare_call needs a function symbol!\n");
    return ast_sci_prepared_call();
  }
  int n = args && count > 0 ? count : 0;
  std::string why = mismatch(function, result, args, n);
  if (!why.empty()) {
    ast_sci_print("\nast_sci_execute:ERROR: function '%s' %s; not called\n", function->name.c_str(), why.c_str());
    return ast_sci_prepared_call();
  }
  std::vector<int64_t> counts;
  for (int i = 0; i < n; ++i) counts.push_back(args[i].is_array ? args[i].count : 0);
  return ast_sci_prepared_call(function, std::move(counts));
}

ast_sci_value ast_sci_call_prepared(const ast_sci_prepared_call& call, void* const* args)
{
  if (!call._function) {
    rt.last_failed = 1;
    return ast_sci_value{};
  }
  return run_host_call(call._function, args, call._counts.data());
}

int ast_sci_call_failed() { return rt.last_failed; }

const char* ast_sci_last_error() { return rt.last_error; }

ast_sci_guarded_calls::ast_sci_guarded_calls(uint64_t steps, bool silent)
    : _budget(rt.call_budget), _silent(rt.silent)
{
  rt.call_budget = steps;
  rt.silent = silent;
}

ast_sci_guarded_calls::~ast_sci_guarded_calls()
{
  rt.call_budget = _budget;
  rt.silent = _silent;
}

void ast_sci_set_step_limit(uint64_t steps)
{
  rt.step_limit = steps;
  if (rt.entries == 0) rt.steps_left = steps ? steps : ~uint64_t(0);
}

size_t ast_sci_array_size(const void* address)
{
  if (!address) return 0;
  for (ExternCallRecord* r = extern_calls; r; r = r->outer) {
    for (int32_t i = 0; i < r->count; ++i)
      if (r->bytes[i] > 0 && r->args[i] == address) return static_cast<size_t>(r->bytes[i]);
  }
  auto& arrays = host_arrays();
  auto it = arrays.find(address);
  return it == arrays.end() ? 0 : it->second;
}

void ast_sci_register_array(const void* address, size_t bytes)
{
  if (address) host_arrays()[address] = bytes;
}

void ast_sci_unregister_array(const void* address) { host_arrays().erase(address); }

int ast_sci_store_string(char* destination, const char* text)
{
  size_t size = ast_sci_array_size(destination);
  if (size == 0 || !destination) return 1;
  if (!text) text = "";
  size_t length = std::strlen(text);
  if (length < size) {
    std::memmove(destination, text, length + 1);
    return 0;
  }
  std::memmove(destination, text, size - 1);
  destination[size - 1] = 0;
  return 1;
}
