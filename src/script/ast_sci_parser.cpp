// The parser with its type rules. C's grammar for the least language the system's scripts need:
// global variables and functions of the types void, char, int, float, double and an opaque
// pointer ("void *" or "FILE *"), one-dimensional arrays, prototypes without body (externs),
// the statements of C without switch and goto, and C's operators with their precedence.
//
// Every argument passes by reference: an lvalue of the parameter's exact type passes its own
// address, anything else a temporary of the parameter's type in the caller's frame.
#include "ast_sci_parser.h"

#include "ast_sci_nodes.h"

#include <cstdarg>
#include <deque>

namespace ast_sci_internal {

namespace {

struct LocalVar {
  int type = AST_SCI_INT;
  bool is_array = false;
  int64_t count = 0;
  int32_t offset = 0;
  bool is_param = false;
};

struct FunctionContext {
  ast_sci_symbol* function = nullptr;  // null for the initialisers of global variables
  FrameLayout frame;
  std::vector<std::unordered_map<std::string, LocalVar>> scopes;
  int loops = 0;
};

bool is_keyword(const std::string& w)
{
  static const char* const words[] = {"void",  "char",     "int",    "float",  "double", "FILE",
                                      "if",    "else",     "while",  "do",     "for",    "break",
                                      "continue", "return", "sizeof", "switch", "case",  "goto",
                                      "struct", "typedef"};
  for (const char* k : words)
    if (w == k) return true;
  return false;
}

int binary_precedence(const std::string& op)
{
  if (op == "||") return 1;
  if (op == "&&") return 2;
  if (op == "|") return 3;
  if (op == "^") return 4;
  if (op == "&") return 5;
  if (op == "==" || op == "!=") return 6;
  if (op == "<" || op == "<=" || op == ">" || op == ">=") return 7;
  if (op == "<<" || op == ">>") return 8;
  if (op == "+" || op == "-") return 9;
  if (op == "*" || op == "/" || op == "%") return 10;
  return 0;
}

int binary_kind(const std::string& op)
{
  if (op == "+") return AST_SCI_ADD;
  if (op == "-") return AST_SCI_SUB;
  if (op == "*") return AST_SCI_MUL;
  if (op == "/") return AST_SCI_DIV;
  if (op == "%") return AST_SCI_MOD;
  if (op == "<<") return AST_SCI_SHL;
  if (op == ">>") return AST_SCI_SHR;
  if (op == "&") return AST_SCI_BITAND;
  if (op == "|") return AST_SCI_BITOR;
  if (op == "^") return AST_SCI_BITXOR;
  if (op == "==") return AST_SCI_EQ;
  if (op == "!=") return AST_SCI_NE;
  if (op == "<") return AST_SCI_LT;
  if (op == "<=") return AST_SCI_LE;
  if (op == ">") return AST_SCI_GT;
  if (op == ">=") return AST_SCI_GE;
  if (op == "&&") return AST_SCI_LOGAND;
  if (op == "||") return AST_SCI_LOGOR;
  return -1;
}

int compound_kind(const std::string& op)
{
  if (op == "+=") return AST_SCI_ADD;
  if (op == "-=") return AST_SCI_SUB;
  if (op == "*=") return AST_SCI_MUL;
  if (op == "/=") return AST_SCI_DIV;
  if (op == "%=") return AST_SCI_MOD;
  if (op == "<<=") return AST_SCI_SHL;
  if (op == ">>=") return AST_SCI_SHR;
  if (op == "&=") return AST_SCI_BITAND;
  if (op == "|=") return AST_SCI_BITOR;
  if (op == "^=") return AST_SCI_BITXOR;
  return -1;
}

bool is_integer(int type) { return type == AST_SCI_CHAR || type == AST_SCI_INT; }

// Operators that C defines for integers only.
bool is_integer_operator(int kind)
{
  return kind == AST_SCI_MOD || kind == AST_SCI_SHL || kind == AST_SCI_SHR || kind == AST_SCI_BITAND ||
         kind == AST_SCI_BITOR || kind == AST_SCI_BITXOR;
}

int promote(int type) { return type == AST_SCI_CHAR ? AST_SCI_INT : type; }

int common_type(int a, int b)
{
  if (a == AST_SCI_DOUBLE || b == AST_SCI_DOUBLE) return AST_SCI_DOUBLE;
  if (a == AST_SCI_FLOAT || b == AST_SCI_FLOAT) return AST_SCI_FLOAT;
  return AST_SCI_INT;
}

bool is_null_constant(const ast_sci_node* e)
{
  return is_constant(e) && is_integer(e->type) && e->k.i == 0 && !e->is_array;
}

class Nesting {
 public:
  Nesting(int& counter, int limit, const Token& at, const char* message) : _counter(counter)
  {
    if (++_counter > limit) compile_error(at.file, at.line, "%s", message);
  }
  ~Nesting() { --_counter; }

 private:
  int& _counter;
};

class Parser {
 public:
  Parser(Preprocessor& pp, CompileUnit& unit) : _pp(pp), _unit(unit)
  {
    _b.arena = unit.arena.get();
    _init.scopes.emplace_back();
    _tok = _pp.next();
    sync(_tok);
  }

  void unit()
  {
    while (_tok.kind != Tok::End) external_declaration();
    if (!_init_statements.empty()) {
      _b.frame = &_init.frame;
      _unit.init.block = make_block(_b, _init_statements);
      _unit.init.frame_size = _init.frame.size();
    }
  }

 private:
  // -------------------------------------------------------------------------------------------
  // Tokens

  const Token& peek()
  {
    if (_ahead.empty()) _ahead.push_back(_pp.next());
    return _ahead.front();
  }

  void advance()
  {
    sync(_tok);
    if (!_ahead.empty()) {
      _tok = std::move(_ahead.front());
      _ahead.pop_front();
    } else {
      _tok = _pp.next();
    }
  }

  // Nodes carry the position of the token consumed last.
  void sync(const Token& t)
  {
    _b.line = t.line;
    _b.file = intern(t.file);
    _unit.file = _b.file;
    _unit.line = t.line;
  }

  const char* intern(const char* file)
  {
    auto it = _files.find(file);
    if (it != _files.end()) return it->second;
    const char* copy = _unit.arena->copy_string(file ? file : "");
    _files[file] = copy;
    return copy;
  }

  bool is_punct(const char* p) const { return _tok.kind == Tok::Punct && _tok.text == p; }
  bool is_word(const char* w) const { return _tok.kind == Tok::Ident && _tok.text == w; }

  bool accept(const char* p)
  {
    if (!is_punct(p)) return false;
    advance();
    return true;
  }

  void expect(const char* p)
  {
    if (!accept(p)) error("expected '%s' before %s", p, describe(_tok).c_str());
  }

  static std::string describe(const Token& t)
  {
    switch (t.kind) {
      case Tok::End: return "end of input";
      case Tok::String: return "string constant";
      case Tok::Char: return "character constant";
      case Tok::Newline: return "end of line";
      default: return "'" + t.text + "'";
    }
  }

  [[noreturn]] void error(const char* format, ...) __attribute__((format(printf, 2, 3)))
  {
    char text[512];
    va_list ap;
    va_start(ap, format);
    std::vsnprintf(text, sizeof text, format, ap);
    va_end(ap);
    compile_error(_tok.file, _tok.line, "%s", text);
  }

  std::string identifier(const char* what)
  {
    if (_tok.kind != Tok::Ident) error("expected %s before %s", what, describe(_tok).c_str());
    if (is_keyword(_tok.text)) error("'%s' is a keyword and cannot name a %s", _tok.text.c_str(), what);
    std::string name = _tok.text;
    advance();
    return name;
  }

  // -------------------------------------------------------------------------------------------
  // Types

  bool at_type() const { return _tok.kind == Tok::Ident && is_type_keyword(_tok.text); }

  int parse_type()
  {
    std::string word = _tok.text;
    advance();
    bool star = accept("*");
    if (is_punct("*")) error("pointers to pointers are not supported");
    if (word == "void") return star ? AST_SCI_POINTER : AST_SCI_VOID;
    if (word == "FILE") {
      if (!star) error("FILE can only be used as 'FILE *'");
      return AST_SCI_POINTER;
    }
    if (star) error("pointers to %s are not supported; use arrays", word.c_str());
    if (word == "char") return AST_SCI_CHAR;
    if (word == "int") return AST_SCI_INT;
    if (word == "float") return AST_SCI_FLOAT;
    return AST_SCI_DOUBLE;
  }

  int64_t constant_size()
  {
    // A size is a constant: whatever cells its expression asks for are never used.
    FrameLayout scratch;
    FrameLayout* frame = _b.frame;
    _b.frame = &scratch;
    ast_sci_node* e = conditional();
    _b.frame = frame;
    if (!is_constant(e) || !is_integer(e->type)) error("array size is not an integer constant");
    if (e->k.i <= 0) error("array size must be positive");
    return e->k.i;
  }

  void check_array_bytes(int type, int64_t count)
  {
    if (type == AST_SCI_POINTER) error("arrays of pointers are not supported");
    if (count * type_size(type) > kMaxArrayBytes) error("array exceeds %lld bytes", static_cast<long long>(kMaxArrayBytes));
  }

  // -------------------------------------------------------------------------------------------
  // Declarations at file level

  void external_declaration()
  {
    if (accept(";")) return;
    if (!at_type()) error("expected a declaration before %s", describe(_tok).c_str());
    int type = parse_type();
    std::string name = identifier("declaration name");
    if (is_punct("(")) {
      function(type, name);
      return;
    }
    for (;;) {
      global_variable(type, name);
      if (accept(";")) return;
      if (!accept(",")) error("expected ',' or ';' before %s", describe(_tok).c_str());
      name = identifier("variable name");
    }
  }

  std::vector<ast_sci_formal> formals(bool& unnamed)
  {
    std::vector<ast_sci_formal> list;
    unnamed = false;
    expect("(");
    if (accept(")")) return list;
    if (is_word("void") && peek().kind == Tok::Punct && peek().text == ")") {
      advance();
      advance();
      return list;
    }
    for (;;) {
      if (!at_type()) error("expected a parameter type before %s", describe(_tok).c_str());
      ast_sci_formal f;
      int type = parse_type();
      if (type == AST_SCI_VOID) error("parameter of type void");
      f.type = static_cast<uint8_t>(type);
      if (_tok.kind == Tok::Ident) {
        f.name = identifier("parameter name");
        for (const ast_sci_formal& g : list)
          if (!g.name.empty() && g.name == f.name) error("duplicate parameter name '%s'", f.name.c_str());
      } else {
        unnamed = true;
      }
      if (accept("[")) {
        f.is_array = true;
        if (!is_punct("]")) f.count = constant_size();
        expect("]");
        check_array_bytes(type, f.count > 0 ? f.count : 1);
      }
      list.push_back(std::move(f));
      if (list.size() > static_cast<size_t>(kMaxFormals)) error("more than %d parameters", kMaxFormals);
      if (accept(")")) return list;
      expect(",");
    }
  }

  void function(int type, const std::string& name)
  {
    bool unnamed = false;
    std::vector<ast_sci_formal> list = formals(unnamed);
    ast_sci_symbol* f = FuncDeclNew(type, name.c_str(), list);
    if (accept(";")) return;
    if (!is_punct("{")) error("expected ';' or '{' after the declaration of '%s'", name.c_str());
    if (unnamed) error("parameter name omitted in the definition of '%s'", name.c_str());
    if (f->builtin || f->body || pending_body(f)) error("function '%s' already defined", name.c_str());

    FunctionContext context;
    context.function = f;
    context.scopes.emplace_back();
    for (size_t i = 0; i < list.size(); ++i) {
      const ast_sci_formal& formal = f->formals[i];
      int32_t offset = context.frame.alloc(formal.is_array ? 16 : 8, _b.file, _b.line);
      LocalVar v;
      v.type = formal.type;
      v.is_array = formal.is_array;
      v.count = formal.count;
      v.offset = offset;
      v.is_param = true;
      context.scopes.back()[list[i].name] = v;
    }
    FunctionContext* outer = _fn;
    _fn = &context;
    _b.frame = &context.frame;
    ast_sci_node* body = block(false);
    _fn = outer;
    _b.frame = nullptr;
    FuncBodyNew(f, body, context.frame.size());
  }

  bool pending_body(const ast_sci_symbol* f) const
  {
    for (const PendingBody& p : _unit.pending)
      if (p.function == f) return true;
    return false;
  }

  void global_variable(int type, const std::string& name)
  {
    if (type == AST_SCI_VOID) error("variable '%s' declared void", name.c_str());
    if (_unit.lookup_own(name)) error("redefinition of '%s'", name.c_str());
    auto symbol = std::make_unique<ast_sci_symbol>();
    ast_sci_symbol* v = symbol.get();
    v->name = name;
    v->kind = AST_SCI_SYM_VARIABLE;
    v->type = static_cast<uint8_t>(type);
    v->file = _b.file;
    v->line = _b.line;

    _fn = nullptr;
    _b.frame = &_init.frame;
    if (accept("[")) {
      v->is_array = true;
      int64_t count = -1;
      if (!is_punct("]")) count = constant_size();
      expect("]");
      ArrayInit init;
      bool has_init = accept("=");
      if (has_init) parse_array_initializer(type, count, init);
      if (count < 0) error("array size missing in '%s'", name.c_str());
      check_array_bytes(type, count);
      v->count = count;
      v->storage = global_storage(count * type_size(type));
      if (has_init) {
        std::vector<ast_sci_node*> stores;
        const void* image = array_image(type, count, init, stores, [&] { return make_global(_b, v); });
        _unit.images.push_back(ConstantImage{v->storage, image, static_cast<size_t>(count * type_size(type))});
        _init_statements.push_back(make_declare_array(_b, v, 0, count * type_size(type), image));
        _init_statements.insert(_init_statements.end(), stores.begin(), stores.end());
      }
    } else {
      v->count = 1;
      v->storage = global_storage(8);
      if (accept("=")) {
        ast_sci_node* value = assign_value(assignment(), type, "initialisation");
        if (is_constant(value)) {
          void* copy = _unit.arena->alloc(8);
          std::memcpy(copy, &value->k, 8);
          _unit.images.push_back(ConstantImage{v->storage, copy, static_cast<size_t>(type_size(type))});
        }
        _init_statements.push_back(make_store_global(_b, v, value));
      }
    }
    _unit.staged[name] = v;
    _unit.symbols.push_back(std::move(symbol));
    _b.frame = nullptr;
  }

  void* global_storage(int64_t bytes)
  {
    _unit.global_bytes += bytes;
    if (_unit.global_bytes > kMaxUnitGlobalBytes)
      error("global variables exceed %lld bytes", static_cast<long long>(kMaxUnitGlobalBytes));
    return _unit.arena->alloc(static_cast<size_t>(bytes), 16);
  }

  struct ArrayInit {
    bool is_text = false;
    std::string text;
    std::vector<ast_sci_node*> values;
  };

  // Parses what follows "=" for an array: a string for a char array or a brace list; sets the
  // count from it when the declaration gave none.
  void parse_array_initializer(int type, int64_t& count, ArrayInit& init)
  {
    if (_tok.kind == Tok::String) {
      if (type != AST_SCI_CHAR) error("a string can only initialise a char array");
      init.is_text = true;
      while (_tok.kind == Tok::String) {
        init.text += _tok.text;
        advance();
      }
      if (count < 0) count = static_cast<int64_t>(init.text.size()) + 1;
      if (static_cast<int64_t>(init.text.size()) > count) error("initializer-string for array is too long");
      return;
    }
    expect("{");
    if (!is_punct("}")) {
      for (;;) {
        init.values.push_back(assign_value(assignment(), type, "initialisation"));
        if (!accept(",")) break;
        if (is_punct("}")) break;
      }
    }
    expect("}");
    if (count < 0) count = static_cast<int64_t>(init.values.size());
    if (count <= 0) error("zero-size array");
    if (static_cast<int64_t>(init.values.size()) > count)
      error("too many initializers for an array of %lld elements", static_cast<long long>(count));
  }

  // The constant image of the initialised array (zero-padded); elements whose value is not a
  // constant become statements that store them into the array that `array` builds.
  template <class MakeArray>
  const void* array_image(int type, int64_t count, const ArrayInit& init, std::vector<ast_sci_node*>& stores,
                          MakeArray array)
  {
    size_t elem = static_cast<size_t>(type_size(type));
    char* image = static_cast<char*>(_unit.arena->alloc(static_cast<size_t>(count) * elem, 16));
    if (init.is_text) {
      std::memcpy(image, init.text.data(), init.text.size());
      return image;
    }
    for (size_t i = 0; i < init.values.size(); ++i) {
      ast_sci_node* value = init.values[i];
      if (is_constant(value)) {
        std::memcpy(image + i * elem, &value->k, elem);
        continue;
      }
      ast_sci_node* target = make_index(_b, array(), make_int_constant(_b, static_cast<int>(i)));
      stores.push_back(make_expression_statement(_b, make_assign(_b, target, value)));
    }
    return image;
  }

  // -------------------------------------------------------------------------------------------
  // Statements

  ast_sci_node* empty_statement() { return make_block(_b, {}); }

  ast_sci_node* block(bool new_scope)
  {
    Nesting guard(_statement_depth, kMaxStatementNesting, _tok, "statements nested too deeply");
    expect("{");
    if (new_scope) _fn->scopes.emplace_back();
    std::vector<ast_sci_node*> list;
    while (!is_punct("}")) {
      if (_tok.kind == Tok::End) error("expected '}' at end of input");
      if (at_type()) {
        local_declaration(list);
      } else {
        ast_sci_node* s = statement();
        if (s) list.push_back(s);
      }
    }
    advance();
    if (new_scope) _fn->scopes.pop_back();
    return make_block(_b, list);
  }

  ast_sci_node* statement()
  {
    Nesting guard(_statement_depth, kMaxStatementNesting, _tok, "statements nested too deeply");
    sync(_tok);
    if (is_punct("{")) return block(true);
    if (accept(";")) return nullptr;
    if (at_type()) error("a declaration is not allowed here");
    if (_tok.kind == Tok::Ident) {
      const std::string& w = _tok.text;
      if (w == "if") return if_statement();
      if (w == "while") return while_statement();
      if (w == "do") return do_statement();
      if (w == "for") return for_statement();
      if (w == "break" || w == "continue") {
        bool is_break = w == "break";
        if (_fn->loops == 0) error("'%s' outside a loop", w.c_str());
        advance();
        expect(";");
        return make_jump(_b, is_break ? AST_SCI_BREAK : AST_SCI_CONTINUE);
      }
      if (w == "return") return return_statement();
      if (w == "switch" || w == "goto" || w == "case" || w == "struct" || w == "typedef")
        error("'%s' is not supported", w.c_str());
    }
    ast_sci_node* e = expression();
    expect(";");
    return make_expression_statement(_b, e);
  }

  ast_sci_node* substatement()
  {
    if (at_type()) error("a declaration is not allowed here");
    ast_sci_node* s = statement();
    return s ? s : empty_statement();
  }

  ast_sci_node* parenthesised_condition()
  {
    expect("(");
    ast_sci_node* c = condition(expression());
    expect(")");
    return c;
  }

  ast_sci_node* if_statement()
  {
    advance();
    ast_sci_node* c = parenthesised_condition();
    ast_sci_node* then_part = substatement();
    ast_sci_node* else_part = nullptr;
    if (is_word("else")) {
      advance();
      else_part = substatement();
    }
    return make_if(_b, c, then_part, else_part);
  }

  // A loop keeps the position of its keyword: the step limit, which ends a loop that never
  // stops, names the line where the loop begins rather than where its body ends.
  struct Position {
    const char* file;
    int line;
  };
  Position keyword_position() const { return {_b.file, _b.line}; }
  static ast_sci_node* placed(ast_sci_node* loop, Position at)
  {
    loop->file = at.file;
    loop->line = at.line;
    return loop;
  }

  ast_sci_node* while_statement()
  {
    advance();
    const Position at = keyword_position();
    ast_sci_node* c = parenthesised_condition();
    ++_fn->loops;
    ast_sci_node* body = substatement();
    --_fn->loops;
    return placed(make_while(_b, c, body), at);
  }

  ast_sci_node* do_statement()
  {
    advance();
    const Position at = keyword_position();
    ++_fn->loops;
    ast_sci_node* body = substatement();
    --_fn->loops;
    if (!is_word("while")) error("expected 'while' before %s", describe(_tok).c_str());
    advance();
    ast_sci_node* c = parenthesised_condition();
    expect(";");
    return placed(make_do(_b, body, c), at);
  }

  ast_sci_node* for_statement()
  {
    advance();
    const Position at = keyword_position();
    expect("(");
    _fn->scopes.emplace_back();
    ast_sci_node* init = nullptr;
    if (at_type()) {
      std::vector<ast_sci_node*> list;
      local_declaration(list);
      init = make_block(_b, list);
    } else if (!accept(";")) {
      init = make_expression_statement(_b, expression());
      expect(";");
    }
    ast_sci_node* c = nullptr;
    if (!is_punct(";")) c = condition(expression());
    expect(";");
    ast_sci_node* step = nullptr;
    if (!is_punct(")")) step = expression();
    expect(")");
    ++_fn->loops;
    ast_sci_node* body = substatement();
    --_fn->loops;
    _fn->scopes.pop_back();
    return placed(make_for(_b, init, c, step, body), at);
  }

  ast_sci_node* return_statement()
  {
    advance();
    int type = _fn->function->type;
    if (accept(";")) {
      if (type != AST_SCI_VOID)
        error("return with no value in function returning '%s'", type_name(type));
      return make_return(_b, AST_SCI_VOID, nullptr);
    }
    ast_sci_node* e = expression();
    if (type == AST_SCI_VOID) error("return with a value in function returning void");
    e = assign_value(e, type, "return");
    expect(";");
    return make_return(_b, type, e);
  }

  void local_declaration(std::vector<ast_sci_node*>& out)
  {
    int type = parse_type();
    for (;;) {
      std::string name = identifier("variable name");
      if (is_punct("(")) error("functions cannot be declared inside a function");
      if (type == AST_SCI_VOID) error("variable '%s' declared void", name.c_str());
      if (_fn->scopes.back().count(name)) error("redefinition of '%s'", name.c_str());
      LocalVar v;
      v.type = type;
      if (accept("[")) {
        v.is_array = true;
        int64_t count = -1;
        if (!is_punct("]")) count = constant_size();
        expect("]");
        std::vector<ast_sci_node*> stores;
        const void* image = nullptr;
        ArrayInit init;
        bool has_init = accept("=");
        if (has_init) parse_array_initializer(type, count, init);
        if (count < 0) error("array size missing in '%s'", name.c_str());
        check_array_bytes(type, count);
        v.offset = _fn->frame.alloc(count * type_size(type), _b.file, _b.line);
        if (has_init) {
          int32_t offset = v.offset;
          image = array_image(type, count, init, stores, [&] { return make_local(_b, type, true, count, offset, false); });
        }
        v.count = count;
        out.push_back(make_declare_array(_b, nullptr, v.offset, count * type_size(type), image));
        out.insert(out.end(), stores.begin(), stores.end());
      } else {
        v.count = 1;
        ast_sci_node* value = nullptr;
        if (accept("=")) value = assign_value(assignment(), type, "initialisation");
        v.offset = _fn->frame.alloc(8, _b.file, _b.line);
        out.push_back(make_declare(_b, type, v.offset, value));
      }
      _fn->scopes.back()[name] = v;
      if (accept(";")) return;
      if (!accept(",")) error("expected ',' or ';' before %s", describe(_tok).c_str());
    }
  }

  // -------------------------------------------------------------------------------------------
  // Type rules

  ast_sci_node* rvalue(ast_sci_node* e, const char* context)
  {
    if (e->type == AST_SCI_VOID) error("void value used in %s", context);
    if (e->is_array) error("array used as a value in %s", context);
    return e;
  }

  ast_sci_node* arithmetic(ast_sci_node* e, const char* context)
  {
    rvalue(e, context);
    if (!is_arithmetic(e->type)) error("operand of %s must be a number", context);
    return e;
  }

  ast_sci_node* condition(ast_sci_node* e)
  {
    rvalue(e, "a condition");
    return make_truth(_b, e->type == AST_SCI_CHAR ? make_convert(_b, e, AST_SCI_INT) : e);
  }

  // The value converted for storing into a place of the type (assignment, initialisation,
  // return).
  ast_sci_node* assign_value(ast_sci_node* e, int type, const char* context)
  {
    rvalue(e, context);
    if (type == AST_SCI_POINTER) {
      if (e->type == AST_SCI_POINTER) return e;
      if (is_null_constant(e)) return make_convert(_b, e, AST_SCI_POINTER);
      error("%s of a pointer from %s", context, type_name(e->type));
    }
    if (e->type == AST_SCI_POINTER) error("%s of %s from a pointer", context, type_name(type));
    return make_convert(_b, e, type);
  }

  void check_target(ast_sci_node* target, const char* what)
  {
    if (target->is_array) error("%s of a whole array", what);
    if (target->category != AST_SCI_LVALUE) error("%s needs a variable or an array element", what);
  }

  ast_sci_node* argument(ast_sci_node* e, const ast_sci_formal& formal, size_t index, const ast_sci_symbol* f)
  {
    if (formal.is_array) {
      if (!e->is_array || e->type != formal.type)
        error("argument %zu of '%s' must be a %s array", index + 1, f->name.c_str(), type_name(formal.type));
      if (e->kind == AST_SCI_STRING) return make_materialize(_b, e);
      return e;
    }
    if (e->is_array) error("argument %zu of '%s' must be a %s, not an array", index + 1, f->name.c_str(), type_name(formal.type));
    if (e->type == AST_SCI_VOID) error("argument %zu of '%s' is void", index + 1, f->name.c_str());
    if (e->type == formal.type && (e->category == AST_SCI_LVALUE || e->category == AST_SCI_TEMP)) return e;
    ast_sci_node* converted;
    if (formal.type == AST_SCI_POINTER) {
      if (e->type != AST_SCI_POINTER && !is_null_constant(e))
        error("argument %zu of '%s' must be a pointer", index + 1, f->name.c_str());
      converted = e->type == AST_SCI_POINTER ? e : make_convert(_b, e, AST_SCI_POINTER);
    } else {
      if (e->type == AST_SCI_POINTER) error("argument %zu of '%s' must be a number", index + 1, f->name.c_str());
      converted = make_convert(_b, e, formal.type);
    }
    if (converted != e && converted->category == AST_SCI_TEMP) return converted;
    return make_materialize(_b, converted);
  }

  // -------------------------------------------------------------------------------------------
  // Expressions

  ast_sci_node* expression()
  {
    ast_sci_node* e = assignment();
    while (is_punct(",")) {
      advance();
      ast_sci_node* r = assignment();
      if (r->is_array) error("array used as a value in a comma expression");
      e = make_comma(_b, e, r);
    }
    return e;
  }

  ast_sci_node* assignment()
  {
    Nesting guard(_expression_depth, 2 * kMaxExpressionNesting, _tok, "expression nested too deeply");
    ast_sci_node* left = conditional();
    if (_tok.kind != Tok::Punct) return left;
    std::string op = _tok.text;
    if (op == "=") {
      advance();
      check_target(left, "assignment");
      ast_sci_node* value = assign_value(assignment(), left->type, "assignment");
      return make_assign(_b, left, value);
    }
    int kind = compound_kind(op);
    if (kind < 0) return left;
    advance();
    check_target(left, "assignment");
    ast_sci_node* value = assignment();
    arithmetic(left, ("'" + op + "'").c_str());
    arithmetic(value, ("'" + op + "'").c_str());
    int type = common_type(promote(left->type), promote(value->type));
    bool integer_only = is_integer_operator(kind);
    if (integer_only && (!is_integer(left->type) || !is_integer(value->type)))
      error("operands of '%s' must be integers", op.c_str());
    return make_compound_assign(_b, kind, left, make_convert(_b, value, type));
  }

  ast_sci_node* conditional()
  {
    ast_sci_node* c = binary(1);
    if (!is_punct("?")) return c;
    advance();
    c = condition(c);
    Nesting guard(_expression_depth, 2 * kMaxExpressionNesting, _tok, "expression nested too deeply");
    ast_sci_node* yes = expression();
    expect(":");
    ast_sci_node* no = conditional();
    rvalue(yes, "'?:'");
    rvalue(no, "'?:'");
    int type;
    if (yes->type == AST_SCI_POINTER || no->type == AST_SCI_POINTER) {
      if (!(yes->type == AST_SCI_POINTER || is_null_constant(yes)) || !(no->type == AST_SCI_POINTER || is_null_constant(no)))
        error("operands of '?:' mix a pointer and a number");
      type = AST_SCI_POINTER;
    } else {
      type = common_type(promote(yes->type), promote(no->type));
    }
    return make_conditional(_b, c, make_convert(_b, yes, type), make_convert(_b, no, type));
  }

  ast_sci_node* binary(int min_precedence)
  {
    ast_sci_node* left = unary();
    for (;;) {
      if (_tok.kind != Tok::Punct) return left;
      int precedence = binary_precedence(_tok.text);
      if (precedence == 0 || precedence < min_precedence) return left;
      std::string op = _tok.text;
      advance();
      ast_sci_node* right = binary(precedence + 1);
      left = build_binary(op, left, right);
    }
  }

  ast_sci_node* build_binary(const std::string& op, ast_sci_node* left, ast_sci_node* right)
  {
    int kind = binary_kind(op);
    std::string context = "'" + op + "'";
    rvalue(left, context.c_str());
    rvalue(right, context.c_str());
    if (kind == AST_SCI_LOGAND || kind == AST_SCI_LOGOR) return make_logical(_b, kind, condition(left), condition(right));
    if (kind == AST_SCI_EQ || kind == AST_SCI_NE) {
      if (left->type == AST_SCI_POINTER || right->type == AST_SCI_POINTER) {
        if (!(left->type == AST_SCI_POINTER || is_null_constant(left)) || !(right->type == AST_SCI_POINTER || is_null_constant(right)))
          error("comparison of a pointer with a number");
        return make_binary(_b, kind, make_convert(_b, left, AST_SCI_POINTER), make_convert(_b, right, AST_SCI_POINTER));
      }
    }
    if (!is_arithmetic(left->type) || !is_arithmetic(right->type))
      error("invalid operands to %s (%s and %s)", context.c_str(), type_name(left->type), type_name(right->type));
    bool integer_only = is_integer_operator(kind);
    if (integer_only && (!is_integer(left->type) || !is_integer(right->type)))
      error("operands of %s must be integers", context.c_str());
    int type = integer_only ? AST_SCI_INT : common_type(promote(left->type), promote(right->type));
    return make_binary(_b, kind, make_convert(_b, left, type), make_convert(_b, right, type));
  }

  bool at_cast()
  {
    if (!is_punct("(")) return false;
    const Token& t = peek();
    return t.kind == Tok::Ident && is_type_keyword(t.text);
  }

  ast_sci_node* unary()
  {
    Nesting guard(_expression_depth, 2 * kMaxExpressionNesting, _tok, "expression nested too deeply");
    if (_tok.kind == Tok::Punct) {
      std::string op = _tok.text;
      if (op == "-" || op == "+") {
        advance();
        ast_sci_node* e = arithmetic(unary(), ("unary '" + op + "'").c_str());
        e = make_convert(_b, e, promote(e->type));
        return op == "-" ? make_unary(_b, AST_SCI_NEGATE, e) : e;
      }
      if (op == "!") {
        advance();
        ast_sci_node* e = rvalue(unary(), "'!'");
        return make_unary(_b, AST_SCI_NOT, make_convert(_b, e, promote(e->type)));
      }
      if (op == "~") {
        advance();
        ast_sci_node* e = rvalue(unary(), "'~'");
        if (!is_integer(e->type)) error("operand of '~' must be an integer");
        return make_unary(_b, AST_SCI_COMPLEMENT, make_convert(_b, e, AST_SCI_INT));
      }
      if (op == "++" || op == "--") {
        advance();
        ast_sci_node* e = unary();
        check_target(e, op == "++" ? "increment" : "decrement");
        arithmetic(e, ("'" + op + "'").c_str());
        return make_incdec(_b, op == "++" ? AST_SCI_PRE_INC : AST_SCI_PRE_DEC, e);
      }
      if (at_cast()) {
        advance();
        int type = parse_type();
        expect(")");
        ast_sci_node* e = rvalue(unary(), "a cast");
        if (type == AST_SCI_VOID) return make_comma(_b, e, make_int_constant(_b, 0));
        if (type == AST_SCI_POINTER) {
          if (e->type != AST_SCI_POINTER && !is_null_constant(e)) error("cannot cast a number to a pointer");
          return make_convert(_b, e, AST_SCI_POINTER);
        }
        if (e->type == AST_SCI_POINTER) error("cannot cast a pointer to %s", type_name(type));
        ast_sci_node* c = make_convert(_b, e, type);
        if (c == e && e->category == AST_SCI_LVALUE) return make_materialize(_b, e);  // a cast is no lvalue
        return c;
      }
    }
    if (is_word("sizeof")) return size_of();
    return postfix();
  }

  ast_sci_node* size_of()
  {
    advance();
    if (at_cast()) {
      advance();
      int type = parse_type();
      expect(")");
      if (type == AST_SCI_VOID) error("sizeof of void");
      return make_int_constant(_b, type_size(type));
    }
    // The operand is compiled for its type only; its code never runs.
    ast_sci_node* e = unary();
    if (e->type == AST_SCI_VOID) error("sizeof of a void value");
    if (!e->is_array) return make_int_constant(_b, type_size(e->type));
    if (e->kind == AST_SCI_PARAM_ARRAY) return make_array_bytes(_b, e);
    return make_int_constant(_b, static_cast<int>(e->count * type_size(e->type)));
  }

  ast_sci_node* postfix()
  {
    ast_sci_node* e = primary();
    for (;;) {
      if (is_punct("[")) {
        advance();
        if (!e->is_array) error("subscripted value is not an array");
        ast_sci_node* index = expression();
        expect("]");
        rvalue(index, "an array index");
        if (!is_integer(index->type)) error("array index is not an integer");
        e = make_index(_b, e, make_convert(_b, index, AST_SCI_INT));
      } else if (is_punct("++") || is_punct("--")) {
        bool inc = is_punct("++");
        advance();
        check_target(e, inc ? "increment" : "decrement");
        arithmetic(e, inc ? "'++'" : "'--'");
        e = make_incdec(_b, inc ? AST_SCI_POST_INC : AST_SCI_POST_DEC, e);
      } else if (is_punct("(")) {
        error("called object is not a function");
      } else {
        return e;
      }
    }
  }

  ast_sci_node* primary()
  {
    Token t = _tok;
    switch (t.kind) {
      case Tok::Int:
        advance();
        return make_int_constant(_b, static_cast<int>(t.ival));
      case Tok::Char:
        advance();
        return make_int_constant(_b, static_cast<int>(t.ival));
      case Tok::Float: {
        advance();
        ast_sci_value v{};
        if (t.float_suffix) {
          v.f = static_cast<float>(t.dval);
          return make_constant(_b, AST_SCI_FLOAT, v);
        }
        v.d = t.dval;
        return make_constant(_b, AST_SCI_DOUBLE, v);
      }
      case Tok::String: {
        std::string text;
        while (_tok.kind == Tok::String) {
          text += _tok.text;
          advance();
        }
        return make_string(_b, text);
      }
      case Tok::Ident: {
        if (is_keyword(t.text)) error("expected an expression before '%s'", t.text.c_str());
        advance();
        if (is_punct("(")) return call(t);
        return variable(t);
      }
      case Tok::Punct:
        if (t.text == "(") {
          advance();
          ast_sci_node* e = expression();
          expect(")");
          return e;
        }
        break;
      default:
        break;
    }
    error("expected an expression before %s", describe(t).c_str());
  }

  const LocalVar* find_local(const std::string& name) const
  {
    if (!_fn) return nullptr;
    for (auto it = _fn->scopes.rbegin(); it != _fn->scopes.rend(); ++it) {
      auto found = it->find(name);
      if (found != it->end()) return &found->second;
    }
    return nullptr;
  }

  ast_sci_node* variable(const Token& t)
  {
    if (const LocalVar* v = find_local(t.text)) return make_local(_b, v->type, v->is_array, v->count, v->offset, v->is_param);
    ast_sci_symbol* s = _unit.lookup(t.text);
    if (!s) compile_error(t.file, t.line, "undeclared identifier '%s'", t.text.c_str());
    if (s->kind == AST_SCI_SYM_FUNCTION || s->kind == AST_SCI_SYM_INTRINSIC)
      compile_error(t.file, t.line, "function '%s' used without a call", t.text.c_str());
    return make_global(_b, s);
  }

  ast_sci_node* call(const Token& t)
  {
    if (find_local(t.text)) compile_error(t.file, t.line, "called object '%s' is not a function", t.text.c_str());
    ast_sci_symbol* f = _unit.lookup(t.text);
    if (!f) compile_error(t.file, t.line, "undeclared function '%s'", t.text.c_str());
    if (f->kind != AST_SCI_SYM_FUNCTION && f->kind != AST_SCI_SYM_INTRINSIC)
      compile_error(t.file, t.line, "called object '%s' is not a function", t.text.c_str());
    expect("(");
    std::vector<ast_sci_node*> args;
    if (!is_punct(")")) {
      for (;;) {
        args.push_back(assignment());
        if (accept(")")) break;
        expect(",");
      }
    } else {
      advance();
    }
    if (f->kind == AST_SCI_SYM_INTRINSIC) return intrinsic_call(f, args);
    if (args.size() != f->formals.size())
      compile_error(t.file, t.line, "'%s' takes %zu arguments, %zu given", f->name.c_str(), f->formals.size(), args.size());
    for (size_t i = 0; i < args.size(); ++i) args[i] = argument(args[i], f->formals[i], i, f);
    return make_call(_b, f, args);
  }

  ast_sci_node* intrinsic_call(ast_sci_symbol* f, std::vector<ast_sci_node*>& args)
  {
    size_t fixed = f->intrinsic == INTRINSIC_PRINTF ? 1 : 2;
    if (args.size() < fixed) error("'%s' needs at least %zu arguments", f->name.c_str(), fixed);
    if (args.size() > 64) error("'%s' takes at most 64 arguments", f->name.c_str());
    for (size_t i = 0; i < args.size(); ++i) {
      ast_sci_node* a = args[i];
      if (a->type == AST_SCI_VOID) error("argument %zu of '%s' is void", i + 1, f->name.c_str());
      if (i < fixed) {
        if (!a->is_array || a->type != AST_SCI_CHAR)
          error("argument %zu of '%s' must be a char array", i + 1, f->name.c_str());
        if (f->intrinsic == INTRINSIC_SPRINTF && i == 0 && a->kind == AST_SCI_STRING)
          error("the first argument of 'sprintf' must be a char array variable");
        continue;
      }
      if (a->is_array && a->type != AST_SCI_CHAR) error("argument %zu of '%s' is an array of %s", i + 1, f->name.c_str(), type_name(a->type));
      if (f->intrinsic == INTRINSIC_SSCANF && (a->category != AST_SCI_LVALUE || a->kind == AST_SCI_STRING))
        error("argument %zu of 'sscanf' must be a variable or a char array", i + 1);
    }
    return make_intrinsic(_b, f, args);
  }

  Preprocessor& _pp;
  CompileUnit& _unit;
  Builder _b;
  Token _tok;
  std::deque<Token> _ahead;
  FunctionContext _init;
  FunctionContext* _fn = nullptr;
  int _statement_depth = 0;
  int _expression_depth = 0;
  std::unordered_map<const char*, const char*> _files;
  std::vector<ast_sci_node*> _init_statements;
};

}  // namespace

void parse_unit(Preprocessor& preprocessor, CompileUnit& unit)
{
  Parser parser(preprocessor, unit);
  parser.unit();
}

}  // namespace ast_sci_internal
