// Namespaces, their symbol table generations, compile units and the compile entry points.
//
// A namespace owns one generation of symbols at a time. Code compiled into a child namespace
// that uses symbols of a parent holds a reference to the parent's generation, and a host call
// holds one to the generation of the function it runs; so deleting or resetting a namespace
// never frees code or data that something still uses. A namespace record itself lives while
// the host owns it or a child namespace still stands on it.
#include "ast_sci_internal.h"
#include "ast_sci_nodes.h"
#include "ast_sci_parser.h"

#include "AK_Message.h"

#include <cstdarg>
#include <deque>
#include <unordered_set>

namespace ast_sci_internal {

CompileUnit* current_unit = nullptr;

namespace {

ast_sci_namespace_rec* the_global = nullptr;
ast_sci_namespace_rec* the_current = nullptr;

// Namespaces the host may still name: created and not yet deleted.
std::unordered_set<ast_sci_namespace_rec*>& owned()
{
  static std::unordered_set<ast_sci_namespace_rec*> set;
  return set;
}

Generation* new_generation()
{
  auto* g = new Generation();
  retain(g);
  return g;
}

void unref(ast_sci_namespace_rec* ns)
{
  while (ns && --ns->refs == 0) {
    ast_sci_namespace_rec* parent = ns->parent;
    release(ns->gen);
    delete ns;
    ns = parent;
  }
}

// The current namespace holds a reference of its own, so that a namespace deleted while a
// child was current stays intact when closing the child makes it current again.
void make_current(ast_sci_namespace_rec* ns)
{
  ++ns->refs;
  ast_sci_namespace_rec* previous = the_current;
  the_current = ns;
  unref(previous);
}

ast_sci_namespace_rec* current()
{
  global_namespace();
  return the_current;
}

bool same_signature(const ast_sci_symbol* f, int type, const std::vector<ast_sci_formal>& formals)
{
  if (f->type != type || f->formals.size() != formals.size()) return false;
  for (size_t i = 0; i < formals.size(); ++i)
    if (f->formals[i].type != formals[i].type || f->formals[i].is_array != formals[i].is_array) return false;
  return true;
}

ast_sci_symbol* declare_function(CompileUnit& unit, int type, const char* name, const std::vector<ast_sci_formal>& formals)
{
  const char* file = unit.file.c_str();
  if (type < AST_SCI_VOID || type > AST_SCI_POINTER) compile_error(file, unit.line, "unknown function data type");
  if (ast_sci_symbol* existing = unit.lookup_own(name)) {
    if (existing->kind != AST_SCI_SYM_FUNCTION)
      compile_error(file, unit.line, "'%s' is already declared as something other than a function", name);
    if (!same_signature(existing, type, formals))
      compile_error(file, unit.line, "conflicting declaration of function '%s'", name);
    return existing;
  }
  auto symbol = std::make_unique<ast_sci_symbol>();
  ast_sci_symbol* f = symbol.get();
  f->name = name;
  f->kind = AST_SCI_SYM_FUNCTION;
  f->type = static_cast<uint8_t>(type);
  f->formals = formals;
  int32_t offset = 0;
  for (ast_sci_formal& formal : f->formals) {
    formal.offset = offset;
    offset += formal.is_array ? 16 : 8;
  }
  f->frame_size = offset;
  f->dispatcher = ast_sci_dispatcher_for(type);
  f->file = unit.arena->copy_string(unit.file);
  f->line = unit.line;
  unit.staged[name] = f;
  unit.symbols.push_back(std::move(symbol));
  return f;
}

void list_error(const CompileError& e, const std::deque<SourceFile>& files)
{
  const char* file = e.file ? e.file : "";
  ast_sci_print("%s:%d: error: %s\n", file, e.line, e.message.c_str());
  for (const SourceFile& f : files) {
    if (f.name != file) continue;
    size_t pos = 0;
    for (int line = 1; line < e.line && pos != std::string::npos; ++line) {
      pos = f.text.find('\n', pos);
      if (pos != std::string::npos) ++pos;
    }
    if (pos == std::string::npos || pos > f.text.size()) break;
    size_t end = f.text.find('\n', pos);
    std::string text = f.text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
    if (!text.empty() && text.back() == '\r') text.pop_back();
    if (text.size() > 200) text = text.substr(0, 200) + "...";
    ast_sci_print("%5d | %s\n", e.line, text.c_str());
    break;
  }
  ast_sci_flush();
}

}  // namespace

// ---------------------------------------------------------------------------------------------

void* Arena::alloc(size_t bytes, size_t align)
{
  constexpr size_t kBlock = 64 * 1024;
  if (bytes == 0) bytes = 1;
  if (bytes > kBlock / 4) {
    std::unique_ptr<char[]> block(new char[bytes + align]());
    char* p = block.get();
    p += (align - reinterpret_cast<uintptr_t>(p) % align) % align;
    _blocks.push_back(std::move(block));
    return p;
  }
  size_t pad = _cur ? (align - reinterpret_cast<uintptr_t>(_cur) % align) % align : 0;
  if (!_cur || pad + bytes > _left) {
    std::unique_ptr<char[]> block(new char[kBlock]());
    _cur = block.get();
    _left = kBlock;
    _blocks.push_back(std::move(block));
    pad = (align - reinterpret_cast<uintptr_t>(_cur) % align) % align;
  }
  char* p = _cur + pad;
  _cur = p + bytes;
  _left -= pad + bytes;
  return p;
}

char* Arena::copy_string(const std::string& text)
{
  char* p = static_cast<char*>(alloc(text.size() + 1, 1));
  std::memcpy(p, text.data(), text.size());
  p[text.size()] = 0;
  return p;
}

Generation::~Generation()
{
  for (Generation* d : deps) release(d);
}

void retain(Generation* g) { ++g->refs; }

void release(Generation* g)
{
  if (--g->refs == 0) delete g;
}

ast_sci_symbol* own_symbol(ast_sci_namespace_rec* ns, const std::string& name)
{
  auto it = ns->gen->table.find(name);
  return it == ns->gen->table.end() ? nullptr : it->second;
}

void compile_error(const char* file, int line, const char* format, ...)
{
  char text[512];
  va_list ap;
  va_start(ap, format);
  std::vsnprintf(text, sizeof text, format, ap);
  va_end(ap);
  throw CompileError{text, file, line};
}

ast_sci_symbol* CompileUnit::lookup_own(const std::string& name)
{
  auto it = staged.find(name);
  if (it != staged.end()) return it->second;
  return own_symbol(ns, name);
}

ast_sci_symbol* CompileUnit::lookup(const std::string& name)
{
  auto it = staged.find(name);
  if (it != staged.end()) return it->second;
  for (ast_sci_namespace_rec* n = ns; n; n = n->parent) {
    if (ast_sci_symbol* s = own_symbol(n, name)) {
      depend_on(s);
      return s;
    }
  }
  return nullptr;
}

void CompileUnit::depend_on(ast_sci_symbol* symbol)
{
  auto* g = static_cast<Generation*>(symbol->owner);
  if (!g || g == ns->gen) return;
  for (Generation* d : deps)
    if (d == g) return;
  deps.push_back(g);
}

void CompileUnit::commit()
{
  Generation* g = ns->gen;
  for (auto& s : symbols) {
    s->owner = g;
    g->table[s->name] = s.get();
    g->symbols.push_back(std::move(s));
  }
  for (const PendingBody& p : pending) {
    p.function->body = p.body;
    p.function->frame_size = p.frame_size;
    p.function->dispatcher = nullptr;
  }
  for (Generation* d : deps) {
    bool known = false;
    for (Generation* e : g->deps) known = known || e == d;
    if (known) continue;
    retain(d);
    g->deps.push_back(d);
  }
  for (const ConstantImage& image : images) std::memcpy(image.storage, image.bytes, image.size);
  if (init.block) g->init.push_back(init);
  g->arenas.push_back(std::move(arena));
}

int compile_text(const std::string& text, const std::string& name, const std::deque<SourceFile>* recorded)
{
  ast_sci_namespace_rec* ns = current();
  if (current_unit) {
    ast_sci_print("%s:0: error: the interpreter is already compiling\n", name.c_str());
    return 1;
  }
  CompileUnit unit;
  unit.ns = ns;
  std::deque<SourceFile> files;
  current_unit = &unit;
  try {
    Preprocessor preprocessor(files, text, name, recorded);
    parse_unit(preprocessor, unit);
  } catch (CompileError& e) {
    current_unit = nullptr;
    list_error(e, files);
    return 1;
  }
  current_unit = nullptr;
  unit.commit();
  ns->gen->sources.push_back(UnitSource{std::move(files)});
  return 0;
}

ast_sci_namespace_rec* global_namespace()
{
  if (!the_global) {
    the_global = new ast_sci_namespace_rec();
    the_global->global = true;
    the_global->refs = 2;  // never freed; one of the two is the reference of the current one
    the_global->gen = new_generation();
    the_current = the_global;
    install_builtins();
  }
  return the_global;
}

}  // namespace ast_sci_internal

using namespace ast_sci_internal;

// ---------------------------------------------------------------------------------------------
// Namespaces

ast_sci_namespace ast_sci_get_namespace() { return current(); }

ast_sci_namespace ast_sci_new_namespace()
{
  ast_sci_namespace_rec* parent = current();
  auto* ns = new ast_sci_namespace_rec();
  ns->parent = parent;
  ns->gen = new_generation();
  ns->refs = 1;
  ns->host_owned = true;
  ++parent->refs;
  owned().insert(ns);
  return ns;
}

ast_sci_namespace ast_sci_open_namespace()
{
  ast_sci_namespace ns = ast_sci_new_namespace();
  if (ns) make_current(ns);
  return ns;
}

void ast_sci_close_namespace()
{
  ast_sci_namespace_rec* closing = current();
  if (closing == the_global) {
    ast_sci_print("ast_sci_close_namespace: the global namespace cannot be closed\n");
    ast_sci_flush();
    return;
  }
  bool deleted_already = !owned().count(closing);
  make_current(closing->parent);
  if (!deleted_already) ast_sci_delete_namespace(closing);
}

void ast_sci_set_namespace(ast_sci_namespace nmspace)
{
  if (!nmspace) AK_FatalAssertion("nmspace", __FILE__, __LINE__);
  global_namespace();
  if (nmspace != the_global && !owned().count(nmspace)) {
    ast_sci_print("ast_sci_set_namespace: unknown or deleted namespace ignored\n");
    ast_sci_flush();
    return;
  }
  make_current(nmspace);
}

ast_sci_namespace ast_sci_global_namespace()
{
  ast_sci_namespace ns = ast_sci_get_namespace();
  while (ns->parent) ns = ns->parent;
  return ns;
}

ast_sci_namespace ast_sci_parent_namespace(ast_sci_namespace nmspace)
{
  if (!nmspace) AK_FatalAssertion("nmspace", __FILE__, __LINE__);
  return nmspace->parent;
}

void ast_sci_delete_namespace(ast_sci_namespace nmspace)
{
  if (!nmspace || nmspace == the_global || nmspace == the_current) return;
  if (!owned().erase(nmspace)) {
    ast_sci_print("ast_sci_delete_namespace: unknown or already deleted namespace ignored\n");
    ast_sci_flush();
    return;
  }
  nmspace->host_owned = false;
  unref(nmspace);
}

void ast_sci_reset_namespace()
{
  ast_sci_namespace_rec* ns = current();
  Generation* old = ns->gen;
  ns->gen = new_generation();
  release(old);
  if (ns->global) install_builtins();
}

void ast_sci_run_namespace()
{
  ast_sci_namespace_rec* ns = current();
  Generation* g = ns->gen;
  if (g->init.empty()) {
    // Nothing to run is a run that succeeded, whatever the call before it did.
    rt.last_failed = 0;
    rt.last_error[0] = 0;
    return;
  }
  retain(g);
  std::vector<InitCode> init = g->init;  // initialisers may compile more code into the namespace
  bool failed = false;
  {
    HostCall call;
    try {
      for (const InitCode& code : init) {
        char* frame = rt.sp;
        if (static_cast<size_t>(code.frame_size) > static_cast<size_t>(rt.stack_end - frame))
          ast_sci_runtime_error(code.block, "no room for the initialisation code");
        rt.sp = frame + code.frame_size;
        rt.fp = frame;
        code.block->exec(code.block);
        rt.sp = frame;
      }
    } catch (RuntimeError&) {
      failed = true;
    }
  }
  if (!failed) rt.last_error[0] = 0;
  rt.last_failed = failed ? 1 : 0;
  release(g);
}

// ---------------------------------------------------------------------------------------------
// Compiling

int ast_sci_parse_string(const char* source)
{
  if (!source) {
    ast_sci_print("<string>:0: error: no source text\n");
    ast_sci_flush();
    return 1;
  }
  return compile_text(source, "<string>");
}

int ast_sci_parse_file(FILE* file, const char* name)
{
  if (!file) {
    ast_sci_print("<file>:0: error: no open file\n");
    ast_sci_flush();
    return 1;
  }
  const char* listed = name && *name ? name : "<file>";
  std::string text;
  if (!read_source(file, text)) {
    ast_sci_print("%s:0: error: the source text exceeds %zu bytes\n", listed, kMaxSourceBytes);
    ast_sci_flush();
    return 1;
  }
  return compile_text(text, listed);
}

ast_sci_symbol* FuncDeclNew(int data_type, const char* name, const std::vector<ast_sci_formal>& formals)
{
  if (current_unit) return declare_function(*current_unit, data_type, name, formals);
  // Outside a compilation: a declaration of its own, entered into the current namespace.
  CompileUnit unit;
  unit.ns = current();
  unit.file = "<declaration>";
  current_unit = &unit;
  ast_sci_symbol* f = nullptr;
  try {
    f = declare_function(unit, data_type, name ? name : "", formals);
  } catch (CompileError& e) {
    current_unit = nullptr;
    ast_sci_print("%s\n", e.message.c_str());
    ast_sci_flush();
    return nullptr;
  }
  current_unit = nullptr;
  unit.commit();
  return f;
}

void FuncBodyNew(ast_sci_symbol* function, ast_sci_node* body, int32_t frame_size)
{
  if (current_unit && function->owner) {
    // A declaration of an earlier unit: the body enters when this unit commits.
    current_unit->pending.push_back(PendingBody{function, body, frame_size});
    return;
  }
  function->body = body;
  function->frame_size = frame_size;
  function->dispatcher = nullptr;
}

// ---------------------------------------------------------------------------------------------
// Finding and binding

ast_sci_symbol* ast_sci_find_function(const char* name)
{
  if (!name) return nullptr;
  ast_sci_symbol* s = own_symbol(current(), name);
  return s && s->kind == AST_SCI_SYM_FUNCTION ? s : nullptr;
}

ast_sci_symbol* ast_sci_bind_native(const char* name, const ast_sci_detail::native_binding& native)
{
  ast_sci_symbol* s = nullptr;
  for (ast_sci_namespace_rec* ns = current(); ns && !s && name; ns = ns->parent) s = own_symbol(ns, name);
  if (!s) {
    ast_sci_print("cannot bind unknown symbol '%s'\n", name ? name : "");
    ast_sci_flush();
    return nullptr;
  }
  bool extern_function = s->kind == AST_SCI_SYM_FUNCTION && !s->body;
  if (!extern_function) {
    ast_sci_print("cannot bind non-extern symbol '%s' to extern address\n", name);
    ast_sci_flush();
    if (s->kind != AST_SCI_SYM_FUNCTION) return s;
  }
  bool matches = native.result_type == s->type && native.param_count == static_cast<int>(s->formals.size());
  for (int i = 0; matches && i < native.param_count; ++i) matches = native.param_types[i] == s->formals[i].type;
  if (!matches) {
    ast_sci_print("cannot bind native function to '%s': its result or parameter types differ from the declaration\n", name);
    ast_sci_flush();
    return extern_function ? nullptr : s;
  }
  s->address = native.address;
  s->invoker = native.invoker;
  return s;
}

// ---------------------------------------------------------------------------------------------
// Copies for other threads

namespace {

bool is_global_storage(const ast_sci_node* n)
{
  while (n && n->kind == AST_SCI_INDEX) n = n->a;
  return n && (n->kind == AST_SCI_GLOBAL || n->kind == AST_SCI_GLOBAL_ARRAY);
}

// Built-in functions that read their arguments and write only into them.
bool is_pure_builtin(const ast_sci_symbol* f) { return f->builtin && f->name != "sleep"; }

// Whether the code reaches nothing outside the generation's own functions and variables and
// stores into none of its global variables, nor do the functions it calls (see
// ast_sci_function_self_contained); `seen` holds the functions checked or being checked.
bool self_contained(const ast_sci_node* n, const Generation* g, std::unordered_set<const ast_sci_symbol*>& seen)
{
  if (!n) return true;
  switch (n->kind) {
    case AST_SCI_GLOBAL:
    case AST_SCI_GLOBAL_ARRAY:
      if (!n->symbol || n->symbol->owner != g) return false;
      break;
    case AST_SCI_CALL:
      if (n->symbol->body ? n->symbol->owner != g : !is_pure_builtin(n->symbol)) return false;
      for (int32_t i = 0; i < n->noperands; ++i)
        if (is_global_storage(n->operands[i])) return false;  // passed by reference: may be written
      if (n->symbol->body && seen.insert(n->symbol).second && !self_contained(n->symbol->body, g, seen))
        return false;
      break;
    case AST_SCI_INTRINSIC:
      if (n->symbol->intrinsic == ast_sci_internal::INTRINSIC_PRINTF) return false;
      for (int32_t i = 0; i < n->noperands; ++i)
        if (is_global_storage(n->operands[i])) return false;
      break;
    case AST_SCI_ASSIGN:
    case AST_SCI_COMPOUND_ASSIGN:
    case AST_SCI_PRE_INC:
    case AST_SCI_PRE_DEC:
    case AST_SCI_POST_INC:
    case AST_SCI_POST_DEC:
      if (is_global_storage(n->a)) return false;
      break;
    case AST_SCI_STORE_GLOBAL:
      return false;
    case AST_SCI_DECLARE_ARRAY:
      if (n->symbol) return false;
      break;
    default:
      break;
  }
  for (const ast_sci_node* child : {n->a, n->b, n->c, n->d})
    if (!self_contained(child, g, seen)) return false;
  for (int32_t i = 0; i < n->noperands; ++i)
    if (!self_contained(n->operands[i], g, seen)) return false;
  return true;
}

bool same_shape(const ast_sci_symbol* a, const ast_sci_symbol* b)
{
  return a->kind == b->kind && a->type == b->type && a->is_array == b->is_array && a->count == b->count &&
         a->formals.size() == b->formals.size() && (a->body != nullptr) == (b->body != nullptr);
}

size_t storage_bytes(const ast_sci_symbol* s)
{
  return static_cast<size_t>(type_size(s->type)) * static_cast<size_t>(s->is_array ? s->count : 1);
}

}  // namespace

bool ast_sci_function_self_contained(const ast_sci_symbol* function)
{
  if (!function || function->kind != AST_SCI_SYM_FUNCTION || !function->body || !function->owner) return false;
  const auto* g = static_cast<const Generation*>(function->owner);
  if (g == global_namespace()->gen) return false;
  std::unordered_set<const ast_sci_symbol*> seen{function};
  return self_contained(function->body, g, seen);
}

ast_sci_namespace ast_sci_copy_namespace(ast_sci_namespace original)
{
  if (!original || original->global || !owned().count(original)) return nullptr;
  ast_sci_namespace_rec* previous = current();
  ++previous->refs;  // stays alive while the copy is current
  make_current(original->parent);
  ast_sci_namespace copy = ast_sci_new_namespace();
  make_current(copy);
  bool ok = true;
  for (const UnitSource& unit : original->gen->sources) {
    if (!ok) break;
    ok = compile_text(unit.files.front().text, unit.files.front().name, &unit.files) == 0;
  }
  make_current(previous);
  unref(previous);
  const Generation* from = original->gen;
  Generation* to = copy->gen;
  ok = ok && from->table.size() == to->table.size();
  for (auto it = from->table.begin(); ok && it != from->table.end(); ++it) {
    const ast_sci_symbol* s = it->second;
    auto found = to->table.find(it->first);
    ok = found != to->table.end() && same_shape(s, found->second);
    if (!ok) break;
    ast_sci_symbol* c = found->second;
    if (s->kind == AST_SCI_SYM_VARIABLE && s->storage && c->storage)
      std::memcpy(c->storage, s->storage, storage_bytes(s));
    if (s->kind == AST_SCI_SYM_FUNCTION && !s->body) {
      c->address = s->address;
      c->invoker = s->invoker;
    }
  }
  if (!ok) {
    ast_sci_delete_namespace(copy);
    return nullptr;
  }
  return copy;
}
