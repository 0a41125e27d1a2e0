// The script interpreter as the host sees it: namespaces, compiling script text, binding
// native functions to script declarations, finding and calling script functions, and the
// interpreter's message output.
//
// Compiling, namespaces, binding and finding run on one thread; one namespace is current at any
// time, and those work on it. Calls may also run on other threads, each in a copy of the
// namespace of its own (see ast_sci_copy_namespace). Scripts pass every argument by reference, so a host that calls a script
// function hands over one address per formal parameter, and a native function bound to a
// script declaration receives one pointer per parameter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <type_traits>
#include <utility>
#include <vector>

#include "ast_sci_handles.h"

// Data types of the script language, numbered as declarations store them.
enum ast_sci_data_type {
  AST_SCI_VOID = 0,
  AST_SCI_CHAR = 1,
  AST_SCI_INT = 2,
  AST_SCI_FLOAT = 3,
  AST_SCI_DOUBLE = 4,
  AST_SCI_POINTER = 5
};

// The 8-byte result cell. A function of result type char, int, float, double or pointer
// leaves its value in the member of that type; the bytes not covered by the member are zero,
// so an int result is the low 32 bits of `bits`. A void function leaves the cell as it was.
union ast_sci_value {
  uint64_t bits;
  char c;
  int i;
  float f;
  double d;
  void* p;
};

// ---------------------------------------------------------------------------------------------
// Namespaces

// The current namespace; the global namespace (with the built-in library) is created first
// when none exists.
ast_sci_namespace ast_sci_get_namespace();
// A new namespace whose parent is the current one; it does not become current. Null when it
// cannot be created.
ast_sci_namespace ast_sci_new_namespace();
// The same, and the new namespace becomes current.
ast_sci_namespace ast_sci_open_namespace();
// Makes the parent of the current namespace current and deletes the closed one. With the
// global namespace current it only reports.
void ast_sci_close_namespace();
// Makes the namespace current; null is the fatal assertion "nmspace". A namespace that was
// deleted is refused with a message.
void ast_sci_set_namespace(ast_sci_namespace nmspace);
// The parent given at creation (null for the global namespace); null is the fatal assertion
// "nmspace".
ast_sci_namespace ast_sci_parent_namespace(ast_sci_namespace nmspace);
// The global namespace (with the built-in library), created first when none exists.
ast_sci_namespace ast_sci_global_namespace();
// Frees the namespace with its code and symbols; nothing for null, the global namespace or the
// current one. A namespace whose function is running, or whose symbols a living child
// namespace uses, is freed only when that ends; until then its functions keep working. The
// handle is invalid for the host afterwards (a second delete only reports).
void ast_sci_delete_namespace(ast_sci_namespace nmspace);
// Frees all code and symbols of the current namespace and gives it an empty table (the global
// namespace gets its built-in library again). Code still running or still used by a child
// namespace stays alive until that ends.
void ast_sci_reset_namespace();
// Runs the initialisers of the global variables of the current namespace, in the order they
// were compiled. (Constant initialisers hold already from the compile on.) The language has
// no clean-up code, so deleting and resetting run none.
void ast_sci_run_namespace();

// ---------------------------------------------------------------------------------------------
// Compiling

// Preprocesses, parses and compiles the open file (the caller closes it) or the text into the
// current namespace. The result is the number of errors, 0 on success; compiling stops at the
// first error, which is listed with file and line through the message output, and a failed
// unit leaves nothing in the namespace. A file's name, when given, names it in listings, and
// its #include files are looked up beside it first (otherwise from the working directory).
int ast_sci_parse_file(FILE* file, const char* name = nullptr);
int ast_sci_parse_string(const char* source);

// ---------------------------------------------------------------------------------------------
// Finding and calling script functions

// The function of that name in the current namespace's own table (parents are not searched),
// or null.
ast_sci_symbol* ast_sci_find_function(const char* name);

// Runs the function with one address per formal parameter, in order: the address of a value
// of the parameter's type, or of the first element of an array for an array parameter. The
// function may change the values. Returns the result cell (see ast_sci_value); a run-time
// error ends the call with a message and yields a zero cell.
//
// Array arguments: the script bounds every array access by the array's size. For an array that
// the host passes, the size is, in this order: the size declared with ast_sci_register_array
// (or ast_sci_array_scope); the size written in the parameter's declaration ("double x[3]");
// for a char array, the length of the text in it plus one; otherwise one element. A host that
// passes a buffer the script should fill (a Get buffer, a parameter text buffer) declares its
// size first. Nothing here checks the addresses against the parameters' types: a host whose
// argument types are fixed prepares the call instead (ast_sci_prepare_call below).
ast_sci_value ast_sci_call_function(ast_sci_symbol* function, ...);

// 1 when the last script call or initialisation run ended by a run-time error, else 0.
int ast_sci_call_failed();

// Ends every later script call that takes more than this many steps (loop passes and calls)
// with a run-time error; 0 removes the limit. Protects the host against runaway scripts.
void ast_sci_set_step_limit(uint64_t steps);

// The message of the run-time error that ended the last script call or initialisation run
// ("integer division by zero (file:line)"); "" when it succeeded.
const char* ast_sci_last_error();

// Calls of user code that the host must not let hang or flood its output: while the scope
// lives, every host call into script code (calls, initialisation runs) gets a budget of
// `steps` steps of its own (0: the limit of ast_sci_set_step_limit, if any), also when it
// runs inside a script that has none; exceeding it is a run-time error. When `silent`, a
// run-time error is not printed: the host reads it from ast_sci_last_error and reports it.
class ast_sci_guarded_calls {
 public:
  ast_sci_guarded_calls(uint64_t steps, bool silent);
  ~ast_sci_guarded_calls();
  ast_sci_guarded_calls(const ast_sci_guarded_calls&) = delete;
  ast_sci_guarded_calls& operator=(const ast_sci_guarded_calls&) = delete;

 private:
  uint64_t _budget;
  bool _silent;
};

// ---------------------------------------------------------------------------------------------
// Copies for calls on several threads
//
// Each thread runs script calls with its own run-time state and stack, so different threads
// may call functions at the same time as long as they share no namespace: each calls its own
// copy. (Compiling, namespaces, binding and messages stay on one thread.)

// Whether calls of the script function touch nothing outside its namespace: it and the
// functions it calls call only functions of that namespace and the built-in library (not
// printf, not sleep, no host function), read no variable of another namespace and store into
// none of their own global variables (not even through an argument). Such a function gives
// the same results in any copy of its namespace made after the last change of its globals.
// False for anything but a script function with a body outside the global namespace.
bool ast_sci_function_self_contained(const ast_sci_symbol* function);

// A new namespace below the same parent with the namespace's code compiled again from the
// same texts (its #include files as they were read then), its global variables holding the
// original's values now and its externs bound alike; it does not become current. Null when
// the code no longer compiles there or makes other symbols (code entered other than by
// compiling a text).
ast_sci_namespace ast_sci_copy_namespace(ast_sci_namespace nmspace);

// Makes a namespace current while the scope lives, and the one current before afterwards.
class ast_sci_namespace_scope {
 public:
  explicit ast_sci_namespace_scope(ast_sci_namespace nmspace) : _previous(ast_sci_get_namespace())
  {
    ast_sci_set_namespace(nmspace);
  }
  ~ast_sci_namespace_scope() { ast_sci_set_namespace(_previous); }
  ast_sci_namespace_scope(const ast_sci_namespace_scope&) = delete;
  ast_sci_namespace_scope& operator=(const ast_sci_namespace_scope&) = delete;

 private:
  ast_sci_namespace _previous;
};

// ---------------------------------------------------------------------------------------------
// Signatures and checked calls

// The type of one parameter as a function declares it, or of one argument as a host passes it.
// `count` is the number of elements of an array: in a declaration the size written in it
// ("double x[3]"), 0 when none ("char s[]"); for a host argument the elements the host passes,
// 0 when the host declares the size with each call (ast_sci_register_array, ast_sci_array_scope).
// A scalar has count 0.
struct ast_sci_type {
  ast_sci_data_type base;
  bool is_array;
  int64_t count;
  bool operator==(const ast_sci_type&) const = default;
};

// The signature of a function: returns the number of its parameters and writes the first
// `capacity` of them, in order, to `params`, and its result type to `result` (each may be
// null). -1 for a symbol that is not a function.
int ast_sci_function_signature(const ast_sci_symbol* function, ast_sci_data_type* result,
                               ast_sci_type* params, int capacity);

// A function checked once against the arguments a host will pass to it, so that each call then
// costs neither a lookup nor a comparison nor an allocation: a friction law runs once per
// particle and time step. The prepared call keeps its function and the code it uses alive:
// after its namespace was reset or deleted it still runs the function it was prepared with, so
// a host that compiles new code prepares again.
class ast_sci_prepared_call {
 public:
  ast_sci_prepared_call() = default;
  ast_sci_prepared_call(const ast_sci_prepared_call& other);
  ast_sci_prepared_call(ast_sci_prepared_call&& other) noexcept;
  ast_sci_prepared_call& operator=(ast_sci_prepared_call other) noexcept;
  ~ast_sci_prepared_call();
  // False when the check refused the function.
  explicit operator bool() const { return _function != nullptr; }

 private:
  friend ast_sci_prepared_call ast_sci_prepare_call(ast_sci_symbol*, ast_sci_data_type, const ast_sci_type*, int);
  friend ast_sci_value ast_sci_call_prepared(const ast_sci_prepared_call&, void* const*);
  ast_sci_prepared_call(ast_sci_symbol* function, std::vector<int64_t> counts);

  ast_sci_symbol* _function = nullptr;
  std::vector<int64_t> _counts;  // the host's element count of each array argument
};

// Checks the function against the host's argument types, in order, and the result type the
// host reads (AST_SCI_VOID: it reads none, so any result will do). A parameter matches an
// argument of the same base type, both scalars or both arrays, and an array whose declared
// size is no larger than what the host passes. A mismatch in number or type, or a symbol that
// is not a function, is refused with a message naming the function: the prepared call is then
// empty.
ast_sci_prepared_call ast_sci_prepare_call(ast_sci_symbol* function, ast_sci_data_type result,
                                           const ast_sci_type* args, int count);

// Runs a prepared function with one address per argument as ast_sci_call_function does; an
// array the host passes is bounded by the count it gave when the call was prepared. An empty
// prepared call runs nothing, yields a zero cell and counts as a failed call.
ast_sci_value ast_sci_call_prepared(const ast_sci_prepared_call& call, void* const* args);

// ---------------------------------------------------------------------------------------------
// Sizes of arrays that cross the border between script and host

// The size in bytes of the array whose first element is at the address: a script array
// handed to the native function that runs now, or a host array declared below. 0 when the
// address is unknown. Natives that write into character arrays truncate to this size.
size_t ast_sci_array_size(const void* address);

// Declares the size of a host array before it is passed to a script function; a second
// declaration of the same address replaces the first. ast_sci_unregister_array forgets it.
void ast_sci_register_array(const void* address, size_t bytes);
void ast_sci_unregister_array(const void* address);

// Declares a host array for the lifetime of the scope object.
class ast_sci_array_scope {
 public:
  ast_sci_array_scope(const void* address, size_t bytes) : _address(address)
  {
    ast_sci_register_array(address, bytes);
  }
  ~ast_sci_array_scope() { ast_sci_unregister_array(_address); }
  ast_sci_array_scope(const ast_sci_array_scope&) = delete;
  ast_sci_array_scope& operator=(const ast_sci_array_scope&) = delete;

 private:
  const void* _address;
};

// Copies the text into a script character array, truncated to the array's size
// (ast_sci_array_size) and always terminated. Returns 1 when the text was cut, else 0; an
// array of unknown size receives nothing and gives 1.
int ast_sci_store_string(char* destination, const char* text);

// ---------------------------------------------------------------------------------------------
// Messages

typedef int (*ast_sci_print_function)(const char* format, ...);
typedef void (*ast_sci_flush_function)();

// The default message output writes to this open file from now on (null: standard output).
void ast_sci_set_message_stream(FILE* stream);
// Replaces the formatted-print function used for all interpreter messages and its flush
// function; null restores the defaults.
void ast_sci_set_message_functions(ast_sci_print_function print, ast_sci_flush_function flush);
// The default print function: writes to the message stream.
int ast_sci_message_to_stream(const char* format, ...);

// ---------------------------------------------------------------------------------------------
// Binding native functions

namespace ast_sci_detail {

template <class T>
constexpr int result_type_of()
{
  if constexpr (std::is_void_v<T>) return AST_SCI_VOID;
  else if constexpr (std::is_same_v<T, char>) return AST_SCI_CHAR;
  else if constexpr (std::is_same_v<T, int>) return AST_SCI_INT;
  else if constexpr (std::is_same_v<T, float>) return AST_SCI_FLOAT;
  else if constexpr (std::is_same_v<T, double>) return AST_SCI_DOUBLE;
  else if constexpr (std::is_pointer_v<T>) return AST_SCI_POINTER;
  else return -1;
}

// A parameter is a pointer to a value of the script type: char, int, float, double, or a
// pointer (for a script variable of pointer type).
template <class P>
constexpr int param_type_of()
{
  if constexpr (!std::is_pointer_v<P>) return -1;
  else {
    using E = std::remove_cv_t<std::remove_pointer_t<P>>;
    if constexpr (std::is_same_v<E, char>) return AST_SCI_CHAR;
    else if constexpr (std::is_same_v<E, int>) return AST_SCI_INT;
    else if constexpr (std::is_same_v<E, float>) return AST_SCI_FLOAT;
    else if constexpr (std::is_same_v<E, double>) return AST_SCI_DOUBLE;
    else if constexpr (std::is_pointer_v<E>) return AST_SCI_POINTER;
    else return -1;
  }
}

// How the interpreter stores a native result of each script type.
template <class R>
using stored_result_t = std::conditional_t<std::is_pointer_v<R>, void*, R>;

using generic_function = void (*)();

// Calls the native through its own function type with one pointer per parameter; the
// argument list has a fixed length for each native, so every call is one straight-line call.
template <class R, class... A, size_t... I>
stored_result_t<R> invoke_native(generic_function fn, void* const* args, std::index_sequence<I...>)
{
  auto native = reinterpret_cast<R (*)(A...)>(fn);
  (void)args;
  if constexpr (std::is_void_v<R>) {
    native(static_cast<A>(args[I])...);
  } else if constexpr (std::is_pointer_v<R>) {
    return (void*)native(static_cast<A>(args[I])...);
  } else {
    return native(static_cast<A>(args[I])...);
  }
}

template <class R, class... A>
stored_result_t<R> invoker(generic_function fn, void* const* args)
{
  return invoke_native<R, A...>(fn, args, std::index_sequence_for<A...>{});
}

struct native_binding {
  generic_function address;
  generic_function invoker;  // stored_result_t<R> (*)(generic_function, void* const*)
  int result_type;
  int param_count;
  const signed char* param_types;
};

}  // namespace ast_sci_detail

// Binds the native function to the declaration of that name, looked up through the current
// namespace and its parents. Returns the symbol, or null with a message when there is no such
// symbol ("cannot bind unknown symbol '%s'") or when the native's result type or parameters do
// not match the declaration. A symbol that is not a declaration without body gets the message
// "cannot bind non-extern symbol '%s' to extern address" and the address all the same.
ast_sci_symbol* ast_sci_bind_native(const char* name, const ast_sci_detail::native_binding& native);

template <class R, class... A>
ast_sci_symbol* ast_sci_bind_extern(const char* name, R (*native)(A...))
{
  static_assert(ast_sci_detail::result_type_of<R>() >= 0,
                "a native returns void, char, int, float, double or a pointer");
  static_assert(((ast_sci_detail::param_type_of<A>() >= 0) && ...),
                "every parameter of a native is a pointer to char, int, float, double or a pointer");
  static constexpr signed char types[] = {static_cast<signed char>(ast_sci_detail::param_type_of<A>())..., 0};
  ast_sci_detail::native_binding binding{
      reinterpret_cast<ast_sci_detail::generic_function>(native),
      reinterpret_cast<ast_sci_detail::generic_function>(&ast_sci_detail::invoker<R, A...>),
      ast_sci_detail::result_type_of<R>(), static_cast<int>(sizeof...(A)), types};
  return ast_sci_bind_native(name, binding);
}
