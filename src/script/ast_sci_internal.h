// Shared inner structures of the interpreter: the run-time state (frames, limits), symbol
// table generations, namespaces, compile units and the memory they own.
#pragma once

#include "ast_sci_execute.h"
#include "ast_sci_node_kinds.h"
#include "ast_sci_preprocessor.h"

#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace ast_sci_internal {

// ---------------------------------------------------------------------------------------------
// Limits. Compile-time limits are compile errors; run-time limits end the script call.

constexpr int kMaxIncludeDepth = 16;
constexpr size_t kMaxSourceBytes = size_t(16) << 20;  // one file or text
constexpr int kMaxMacroDepth = 64;
constexpr size_t kMaxExpandedTokens = size_t(1) << 20;  // tokens that #define names expand to, per unit
constexpr int kMaxStatementNesting = 256;
constexpr int kMaxExpressionNesting = 256;
constexpr int kMaxTreeDepth = 1000;
constexpr int kMaxFormals = 255;
constexpr int kMaxExternArgs = 50;
constexpr int64_t kMaxArrayBytes = int64_t(64) << 20;
constexpr int64_t kMaxUnitGlobalBytes = int64_t(64) << 20;
constexpr int32_t kMaxFrameBytes = 1 << 20;
constexpr int kMaxCallDepth = 10000;
constexpr size_t kScriptStackBytes = size_t(16) << 20;
constexpr size_t kNativeStackBudget = size_t(2) << 20;
constexpr int kMaxFieldWidth = 4096;

// ---------------------------------------------------------------------------------------------
// Loads and stores of values in frames and storage that hold values of changing types.

template <class T>
inline T ld(const void* p)
{
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

template <class T>
inline void st(void* p, T v)
{
  std::memcpy(p, &v, sizeof v);
}

inline int type_size(int type)
{
  switch (type) {
    case AST_SCI_CHAR: return 1;
    case AST_SCI_INT: return 4;
    case AST_SCI_FLOAT: return 4;
    case AST_SCI_DOUBLE: return 8;
    case AST_SCI_POINTER: return 8;
    default: return 0;
  }
}

const char* type_name(int type);

// Length of a text up to its terminator or the end of its array, whichever comes first.
inline size_t bounded_length(const char* s, size_t size)
{
  const void* end = std::memchr(s, 0, size);
  return end ? static_cast<size_t>(static_cast<const char*>(end) - s) : size;
}

// White space as the "C" locale knows it, whatever locale the program runs in.
inline bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// ---------------------------------------------------------------------------------------------
// Run-time state

struct RuntimeError {};  // unwinds a script call after its message was printed

struct Runtime {
  char* fp = nullptr;           // frame of the function that runs
  char* sp = nullptr;           // first free byte of the script stack
  char* stack_begin = nullptr;
  char* stack_end = nullptr;
  int depth = 0;                // script calls in progress
  uint64_t steps_left = ~uint64_t(0);
  uint64_t step_limit = 0;
  uintptr_t native_anchor = 0;  // machine stack position at the outermost host call
  int entries = 0;              // host calls in progress
  int last_failed = 0;
  bool quiet = false;           // compile-time folding: no run-time messages
  uint64_t call_budget = 0;     // steps each host call gets of its own (ast_sci_guarded_calls)
  bool silent = false;          // run-time errors kept for ast_sci_last_error, not printed
  char last_error[512] = {};    // the message of the error that ended the last host call
};

// Each thread runs script calls with a run-time state of its own.
extern constinit thread_local Runtime rt;

// Called when the step counter runs out: a run-time error under a step limit, else a refill.
// The error names `where`, the loop or call that took the last step: inside a law called
// by the host, the law's own line, not the line of the script that set the host going.
void steps_exhausted(const ast_sci_node* where);

inline void count_step(const ast_sci_node* where)
{
  if (__builtin_expect(--rt.steps_left == 0, 0)) steps_exhausted(where);
}

// Records of extern calls in progress, for ast_sci_array_size.
struct ExternCallRecord {
  int32_t count;  // arguments
  void* const* args;
  const int64_t* bytes;  // bytes of each array argument, 0 for scalars
  ExternCallRecord* outer;
};
extern constinit thread_local ExternCallRecord* extern_calls;

// The element count of an array-valued argument node, read in the frame that runs now.
int64_t array_count(const ast_sci_node* node);

// Saves the run-time state for a host call into script code and restores it afterwards, also
// after a run-time error.
class HostCall {
 public:
  HostCall();
  ~HostCall();
  void failed();

 private:
  char* _fp;
  char* _sp;
  int _depth;
  ExternCallRecord* _calls;
  uint64_t _steps_left;
  uint64_t _step_limit;
};

// ---------------------------------------------------------------------------------------------
// Memory for nodes, constants and global storage of a compile unit: zeroed, never moved, freed
// all at once.

class Arena {
 public:
  void* alloc(size_t bytes, size_t align = 8);
  char* copy_string(const std::string& text);
  template <class T>
  T* make()
  {
    return new (alloc(sizeof(T), alignof(T))) T();
  }

 private:
  std::vector<std::unique_ptr<char[]>> _blocks;
  char* _cur = nullptr;
  size_t _left = 0;
};

// ---------------------------------------------------------------------------------------------
// A symbol table generation: what a namespace holds between two resets. Code of another
// generation that refers to its symbols holds a reference to it, and so does a host call that
// runs one of its functions, so it is freed only when nothing uses it any more.

struct InitCode {
  ast_sci_node* block = nullptr;
  int32_t frame_size = 0;
};

// The texts a compile unit was made from: the top-level text first, then every file it
// included, as they were read; a copy of the namespace compiles them again.
struct UnitSource {
  std::deque<SourceFile> files;
};

struct Generation {
  int refs = 0;
  std::vector<UnitSource> sources;
  std::unordered_map<std::string, ast_sci_symbol*> table;
  std::vector<std::unique_ptr<ast_sci_symbol>> symbols;
  std::vector<std::unique_ptr<Arena>> arenas;
  std::vector<InitCode> init;
  std::vector<Generation*> deps;
  ~Generation();
};

void retain(Generation* g);
void release(Generation* g);

}  // namespace ast_sci_internal

struct ast_sci_namespace_rec {
  ast_sci_namespace_rec* parent = nullptr;
  ast_sci_internal::Generation* gen = nullptr;
  int refs = 0;             // 1 while the host owns it, plus 1 per living child
  bool host_owned = false;
  bool global = false;
};

namespace ast_sci_internal {

// Looks a name up in the namespace's own table.
ast_sci_symbol* own_symbol(ast_sci_namespace_rec* ns, const std::string& name);

// ---------------------------------------------------------------------------------------------
// Compilation

struct CompileError {
  std::string message;
  const char* file;
  int line;
};

[[noreturn]] void compile_error(const char* file, int line, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

struct PendingBody {
  ast_sci_symbol* function;
  ast_sci_node* body;
  int32_t frame_size;
};

struct ConstantImage {
  void* storage;
  const void* bytes;
  size_t size;
};

// What one call of ast_sci_parse_string/ast_sci_parse_file builds; it enters the namespace
// only when the whole text compiled.
struct CompileUnit {
  ast_sci_namespace_rec* ns = nullptr;
  std::unordered_map<std::string, ast_sci_symbol*> staged;
  std::vector<std::unique_ptr<ast_sci_symbol>> symbols;
  std::vector<PendingBody> pending;
  std::vector<Generation*> deps;
  std::vector<ConstantImage> images;
  std::unique_ptr<Arena> arena = std::make_unique<Arena>();
  InitCode init;
  int64_t global_bytes = 0;
  std::string file;   // file name of the current position, for declarations
  int line = 0;

  // A symbol visible from this unit: staged ones first, then the namespace chain. Records a
  // dependency on the symbol's generation when it is another one.
  ast_sci_symbol* lookup(const std::string& name);
  ast_sci_symbol* lookup_own(const std::string& name);
  void depend_on(ast_sci_symbol* symbol);
  void commit();
};

// The unit being compiled, or null.
extern CompileUnit* current_unit;

// Compiles the text (named for listings) into the current namespace; returns the error count.
// With `recorded`, #include reads the files from there instead of from the disk.
int compile_text(const std::string& text, const std::string& name,
                 const std::deque<SourceFile>* recorded = nullptr);

// The global namespace, created with its built-in library on first use.
ast_sci_namespace_rec* global_namespace();
// Declares the built-in library in the global namespace.
void install_builtins();

}  // namespace ast_sci_internal
