// Typed nodes: the evaluators of every node kind, instantiated for the operand types, and the
// functions that pick one of them when a node is built. Nothing here looks at a type while a
// script runs.
#include "ast_sci_nodes.h"

#include <cfloat>
#include <climits>
#include <cmath>
#include <type_traits>

namespace ast_sci_internal {

namespace {

// ---------------------------------------------------------------------------------------------
// Conversions between the value types of the language. Integer arithmetic wraps around, a real
// converted to an integer saturates (NaN gives 0), a double too large for a float becomes an
// infinity: no conversion is undefined.

template <class To, class From>
inline To conv(From v)
{
  if constexpr (std::is_same_v<To, From>) {
    return v;
  } else if constexpr (std::is_pointer_v<To> || std::is_pointer_v<From>) {
    return To{};
  } else if constexpr (std::is_integral_v<To> && std::is_floating_point_v<From>) {
    double d = static_cast<double>(v);
    int i;
    if (!(d == d)) i = 0;
    else if (d >= 2147483647.0) i = INT_MAX;
    else if (d <= -2147483648.0) i = INT_MIN;
    else i = static_cast<int>(d);
    return static_cast<To>(i);
  } else if constexpr (std::is_same_v<To, float> && std::is_same_v<From, double>) {
    if (v > static_cast<double>(FLT_MAX)) return INFINITY;
    if (v < -static_cast<double>(FLT_MAX)) return -INFINITY;
    return static_cast<float>(v);
  } else {
    return static_cast<To>(v);
  }
}

inline char* cell(const ast_sci_node* n) { return rt.fp + n->cell; }

// ---------------------------------------------------------------------------------------------
// Operators

template <class T>
constexpr bool is_int = std::is_same_v<T, int>;
template <class T>
constexpr bool is_num = std::is_same_v<T, int> || std::is_same_v<T, float> || std::is_same_v<T, double>;

struct OpAdd {
  template <class T> static constexpr bool ok = is_num<T>;
  template <class T>
  static T apply(T a, T b, const ast_sci_node*)
  {
    if constexpr (is_int<T>) return static_cast<int>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
    else return a + b;
  }
};
struct OpSub {
  template <class T> static constexpr bool ok = is_num<T>;
  template <class T>
  static T apply(T a, T b, const ast_sci_node*)
  {
    if constexpr (is_int<T>) return static_cast<int>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
    else return a - b;
  }
};
struct OpMul {
  template <class T> static constexpr bool ok = is_num<T>;
  template <class T>
  static T apply(T a, T b, const ast_sci_node*)
  {
    if constexpr (is_int<T>) return static_cast<int>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
    else return a * b;
  }
};
struct OpDiv {
  template <class T> static constexpr bool ok = is_num<T>;
  template <class T>
  static T apply(T a, T b, const ast_sci_node* n)
  {
    if constexpr (is_int<T>) {
      if (b == 0) ast_sci_runtime_error(n, "integer division by zero");
      if (b == -1) return static_cast<int>(0u - static_cast<uint32_t>(a));
      return a / b;
    } else {
      return a / b;
    }
  }
};
struct OpMod {
  template <class T> static constexpr bool ok = is_int<T>;
  template <class T>
  static T apply(T a, T b, const ast_sci_node* n)
  {
    if (b == 0) ast_sci_runtime_error(n, "integer division by zero");
    if (b == -1) return 0;
    return a % b;
  }
};
struct OpShl {
  template <class T> static constexpr bool ok = is_int<T>;
  template <class T>
  static T apply(T a, T b, const ast_sci_node*)
  {
    return static_cast<int>(static_cast<uint32_t>(a) << (static_cast<uint32_t>(b) & 31u));
  }
};
struct OpShr {
  template <class T> static constexpr bool ok = is_int<T>;
  template <class T>
  static T apply(T a, T b, const ast_sci_node*)
  {
    return a >> (static_cast<uint32_t>(b) & 31u);
  }
};
struct OpAnd {
  template <class T> static constexpr bool ok = is_int<T>;
  template <class T> static T apply(T a, T b, const ast_sci_node*) { return a & b; }
};
struct OpOr {
  template <class T> static constexpr bool ok = is_int<T>;
  template <class T> static T apply(T a, T b, const ast_sci_node*) { return a | b; }
};
struct OpXor {
  template <class T> static constexpr bool ok = is_int<T>;
  template <class T> static T apply(T a, T b, const ast_sci_node*) { return a ^ b; }
};
struct OpEq {
  template <class T> static constexpr bool ok = is_num<T> || std::is_pointer_v<T>;
  template <class T> static int apply(T a, T b, const ast_sci_node*) { return a == b; }
};
struct OpNe {
  template <class T> static constexpr bool ok = is_num<T> || std::is_pointer_v<T>;
  template <class T> static int apply(T a, T b, const ast_sci_node*) { return a != b; }
};
struct OpLt {
  template <class T> static constexpr bool ok = is_num<T>;
  template <class T> static int apply(T a, T b, const ast_sci_node*) { return a < b; }
};
struct OpLe {
  template <class T> static constexpr bool ok = is_num<T>;
  template <class T> static int apply(T a, T b, const ast_sci_node*) { return a <= b; }
};
struct OpGt {
  template <class T> static constexpr bool ok = is_num<T>;
  template <class T> static int apply(T a, T b, const ast_sci_node*) { return a > b; }
};
struct OpGe {
  template <class T> static constexpr bool ok = is_num<T>;
  template <class T> static int apply(T a, T b, const ast_sci_node*) { return a >= b; }
};

// ---------------------------------------------------------------------------------------------
// Evaluators: values

void* ev_constant(ast_sci_node* n) { return &n->k; }
void* ev_static_address(ast_sci_node* n) { return n->k.p; }
void* ev_local(ast_sci_node* n) { return rt.fp + n->aux; }
void* ev_param(ast_sci_node* n) { return ld<void*>(rt.fp + n->aux); }

void* ev_copied_string(ast_sci_node* n)
{
  char* c = cell(n);
  std::memcpy(c, n->k.p, static_cast<size_t>(n->count));
  return c;
}

[[noreturn]] void index_error(const ast_sci_node* n, int index, int64_t count)
{
  ast_sci_runtime_error(n, "index %d out of range for an array of %lld elements", index, static_cast<long long>(count));
}

template <class T>
void* ev_index_static(ast_sci_node* n)
{
  int i = ld<int>(n->b->eval(n->b));
  if (static_cast<uint64_t>(static_cast<uint32_t>(i)) >= static_cast<uint64_t>(n->count)) index_error(n, i, n->count);
  return static_cast<char*>(n->k.p) + static_cast<size_t>(i) * sizeof(T);
}

template <class T>
void* ev_index_local(ast_sci_node* n)
{
  int i = ld<int>(n->b->eval(n->b));
  if (static_cast<uint64_t>(static_cast<uint32_t>(i)) >= static_cast<uint64_t>(n->count)) index_error(n, i, n->count);
  return rt.fp + n->aux + static_cast<size_t>(i) * sizeof(T);
}

template <class T>
void* ev_index_param(ast_sci_node* n)
{
  int i = ld<int>(n->b->eval(n->b));
  char* slot = rt.fp + n->aux;
  int64_t count = ld<int64_t>(slot + 8);
  if (static_cast<uint64_t>(static_cast<uint32_t>(i)) >= static_cast<uint64_t>(count)) index_error(n, i, count);
  return ld<char*>(slot) + static_cast<size_t>(i) * sizeof(T);
}

template <class To, class From>
void* ev_convert(ast_sci_node* n)
{
  From v = ld<From>(n->a->eval(n->a));
  char* c = cell(n);
  st<To>(c, conv<To, From>(v));
  return c;
}

template <class T>
void* ev_materialize(ast_sci_node* n)
{
  T v = ld<T>(n->a->eval(n->a));
  char* c = cell(n);
  st<T>(c, v);
  return c;
}

template <class T>
void* ev_truth(ast_sci_node* n)
{
  T v = ld<T>(n->a->eval(n->a));
  char* c = cell(n);
  st<int>(c, v != T{});
  return c;
}

void* ev_array_bytes(ast_sci_node* n)
{
  int64_t count = ld<int64_t>(rt.fp + n->aux + 8);
  char* c = cell(n);
  st<int>(c, static_cast<int>(count * n->k.i));
  return c;
}

// ---------------------------------------------------------------------------------------------
// Evaluators: operators

template <class T>
void* ev_negate(ast_sci_node* n)
{
  T v = ld<T>(n->a->eval(n->a));
  char* c = cell(n);
  if constexpr (is_int<T>) st<int>(c, static_cast<int>(0u - static_cast<uint32_t>(v)));
  else st<T>(c, -v);
  return c;
}

template <class T>
void* ev_not(ast_sci_node* n)
{
  T v = ld<T>(n->a->eval(n->a));
  char* c = cell(n);
  st<int>(c, v == T{});
  return c;
}

void* ev_complement(ast_sci_node* n)
{
  int v = ld<int>(n->a->eval(n->a));
  char* c = cell(n);
  st<int>(c, ~v);
  return c;
}

template <class T, class Op>
void* ev_binary(ast_sci_node* n)
{
  T x = ld<T>(n->a->eval(n->a));
  T y = ld<T>(n->b->eval(n->b));
  char* c = cell(n);
  st(c, Op::template apply<T>(x, y, n));
  return c;
}

// The right operand is a constant: read it from its node without a call.
template <class T, class Op>
void* ev_binary_k(ast_sci_node* n)
{
  T x = ld<T>(n->a->eval(n->a));
  T y = ld<T>(&n->b->k);
  char* c = cell(n);
  st(c, Op::template apply<T>(x, y, n));
  return c;
}

void* ev_logand(ast_sci_node* n)
{
  int r = ld<int>(n->a->eval(n->a)) != 0 && ld<int>(n->b->eval(n->b)) != 0;
  char* c = cell(n);
  st<int>(c, r);
  return c;
}

void* ev_logor(ast_sci_node* n)
{
  int r = ld<int>(n->a->eval(n->a)) != 0 || ld<int>(n->b->eval(n->b)) != 0;
  char* c = cell(n);
  st<int>(c, r);
  return c;
}

template <class T>
void* ev_conditional(ast_sci_node* n)
{
  void* p = ld<int>(n->a->eval(n->a)) ? n->b->eval(n->b) : n->c->eval(n->c);
  T v = ld<T>(p);
  char* c = cell(n);
  st<T>(c, v);
  return c;
}

void* ev_comma(ast_sci_node* n)
{
  n->a->eval(n->a);
  return n->b->eval(n->b);
}

template <class T>
void* ev_assign(ast_sci_node* n)
{
  T v = ld<T>(n->b->eval(n->b));
  void* p = n->a->eval(n->a);
  st<T>(p, v);
  return p;
}

template <class T, class CT, class Op>
void* ev_compound(ast_sci_node* n)
{
  void* p = n->a->eval(n->a);
  CT y = ld<CT>(n->b->eval(n->b));
  CT x = conv<CT, T>(ld<T>(p));
  st<T>(p, conv<T, CT>(Op::template apply<CT>(x, y, n)));
  return p;
}

template <class T>
inline T step_value(T v, int delta)
{
  if constexpr (is_int<T>) return static_cast<int>(static_cast<uint32_t>(v) + static_cast<uint32_t>(delta));
  else if constexpr (std::is_pointer_v<T>) return v;
  else if constexpr (std::is_same_v<T, char>) return static_cast<char>(v + delta);
  else return v + static_cast<T>(delta);
}

template <class T, int Delta>
void* ev_pre(ast_sci_node* n)
{
  void* p = n->a->eval(n->a);
  st<T>(p, step_value<T>(ld<T>(p), Delta));
  return p;
}

template <class T, int Delta>
void* ev_post(ast_sci_node* n)
{
  void* p = n->a->eval(n->a);
  T old = ld<T>(p);
  st<T>(p, step_value<T>(old, Delta));
  char* c = cell(n);
  st<T>(c, old);
  return c;
}

// ---------------------------------------------------------------------------------------------
// Executors: statements

int ex_block(ast_sci_node* n)
{
  ast_sci_node** s = n->operands;
  for (int32_t i = 0, count = n->noperands; i < count; ++i) {
    int r = s[i]->exec(s[i]);
    if (r) return r;
  }
  return AST_SCI_CTL_NEXT;
}

int ex_expression(ast_sci_node* n)
{
  n->a->eval(n->a);
  return AST_SCI_CTL_NEXT;
}

int ex_if(ast_sci_node* n)
{
  if (ld<int>(n->a->eval(n->a))) return n->b->exec(n->b);
  return AST_SCI_CTL_NEXT;
}

int ex_if_else(ast_sci_node* n)
{
  if (ld<int>(n->a->eval(n->a))) return n->b->exec(n->b);
  return n->c->exec(n->c);
}

int ex_while(ast_sci_node* n)
{
  for (;;) {
    count_step(n);
    if (!ld<int>(n->a->eval(n->a))) return AST_SCI_CTL_NEXT;
    int r = n->b->exec(n->b);
    if (r == AST_SCI_CTL_BREAK) return AST_SCI_CTL_NEXT;
    if (r == AST_SCI_CTL_RETURN) return r;
  }
}

int ex_do(ast_sci_node* n)
{
  for (;;) {
    count_step(n);
    int r = n->b->exec(n->b);
    if (r == AST_SCI_CTL_BREAK) return AST_SCI_CTL_NEXT;
    if (r == AST_SCI_CTL_RETURN) return r;
    if (!ld<int>(n->a->eval(n->a))) return AST_SCI_CTL_NEXT;
  }
}

int ex_for(ast_sci_node* n)
{
  if (n->a) {
    int r = n->a->exec(n->a);
    if (r) return r;
  }
  for (;;) {
    count_step(n);
    if (n->b && !ld<int>(n->b->eval(n->b))) return AST_SCI_CTL_NEXT;
    int r = n->d->exec(n->d);
    if (r == AST_SCI_CTL_BREAK) return AST_SCI_CTL_NEXT;
    if (r == AST_SCI_CTL_RETURN) return r;
    if (n->c) n->c->eval(n->c);
  }
}

int ex_break(ast_sci_node*) { return AST_SCI_CTL_BREAK; }
int ex_continue(ast_sci_node*) { return AST_SCI_CTL_CONTINUE; }
int ex_return_void(ast_sci_node*) { return AST_SCI_CTL_RETURN; }

template <class T>
int ex_return(ast_sci_node* n)
{
  T v = ld<T>(n->a->eval(n->a));
  ast_sci_result.bits = 0;
  st<T>(&ast_sci_result, v);
  return AST_SCI_CTL_RETURN;
}

template <class T>
int ex_declare(ast_sci_node* n)
{
  st<T>(rt.fp + n->aux, n->a ? ld<T>(n->a->eval(n->a)) : T{});
  return AST_SCI_CTL_NEXT;
}

int ex_declare_array(ast_sci_node* n)
{
  char* base = n->symbol ? static_cast<char*>(n->symbol->storage) : rt.fp + n->aux;
  size_t bytes = static_cast<size_t>(n->count);
  // Clearing a large array is work that the step limit should see.
  for (size_t charge = bytes >> 12; charge > 0; --charge) count_step(n);
  if (n->k.p) std::memcpy(base, n->k.p, bytes);
  else std::memset(base, 0, bytes);
  return AST_SCI_CTL_NEXT;
}

template <class T>
int ex_store_global(ast_sci_node* n)
{
  st<T>(n->k.p, ld<T>(n->a->eval(n->a)));
  return AST_SCI_CTL_NEXT;
}

// ---------------------------------------------------------------------------------------------
// Choosing evaluators by type

template <template <class> class F>
auto by_value_type(int type) -> decltype(F<int>::value)
{
  switch (type) {
    case AST_SCI_CHAR: return F<char>::value;
    case AST_SCI_INT: return F<int>::value;
    case AST_SCI_FLOAT: return F<float>::value;
    case AST_SCI_DOUBLE: return F<double>::value;
    case AST_SCI_POINTER: return F<void*>::value;
    default: return nullptr;
  }
}

template <class T> struct MaterializeOf { static constexpr ast_sci_evaluator value = &ev_materialize<T>; };
template <class T> struct TruthOf { static constexpr ast_sci_evaluator value = &ev_truth<T>; };
template <class T> struct NotOf { static constexpr ast_sci_evaluator value = &ev_not<T>; };
template <class T> struct ConditionalOf { static constexpr ast_sci_evaluator value = &ev_conditional<T>; };
template <class T> struct AssignOf { static constexpr ast_sci_evaluator value = &ev_assign<T>; };
template <class T> struct ReturnOf { static constexpr ast_sci_executor value = &ex_return<T>; };
template <class T> struct DeclareOf { static constexpr ast_sci_executor value = &ex_declare<T>; };
template <class T> struct StoreGlobalOf { static constexpr ast_sci_executor value = &ex_store_global<T>; };
template <class T> struct IndexStaticOf { static constexpr ast_sci_evaluator value = &ev_index_static<T>; };
template <class T> struct IndexLocalOf { static constexpr ast_sci_evaluator value = &ev_index_local<T>; };
template <class T> struct IndexParamOf { static constexpr ast_sci_evaluator value = &ev_index_param<T>; };
template <class T> struct PreIncOf { static constexpr ast_sci_evaluator value = &ev_pre<T, 1>; };
template <class T> struct PreDecOf { static constexpr ast_sci_evaluator value = &ev_pre<T, -1>; };
template <class T> struct PostIncOf { static constexpr ast_sci_evaluator value = &ev_post<T, 1>; };
template <class T> struct PostDecOf { static constexpr ast_sci_evaluator value = &ev_post<T, -1>; };
template <class T> struct NegateOf {
  static constexpr ast_sci_evaluator value = is_num<T> ? &ev_negate<std::conditional_t<is_num<T>, T, int>> : nullptr;
};

template <class From>
ast_sci_evaluator convert_from(int to)
{
  switch (to) {
    case AST_SCI_CHAR: return &ev_convert<char, From>;
    case AST_SCI_INT: return &ev_convert<int, From>;
    case AST_SCI_FLOAT: return &ev_convert<float, From>;
    case AST_SCI_DOUBLE: return &ev_convert<double, From>;
    default: return nullptr;
  }
}

ast_sci_evaluator convert_eval(int from, int to)
{
  switch (from) {
    case AST_SCI_CHAR: return convert_from<char>(to);
    case AST_SCI_INT: return convert_from<int>(to);
    case AST_SCI_FLOAT: return convert_from<float>(to);
    case AST_SCI_DOUBLE: return convert_from<double>(to);
    default: return nullptr;
  }
}

template <class Op, class T>
ast_sci_evaluator pick_binary(bool right_constant)
{
  if constexpr (Op::template ok<T>) return right_constant ? &ev_binary_k<T, Op> : &ev_binary<T, Op>;
  else return nullptr;
}

template <class Op>
ast_sci_evaluator binary_for(int type, bool right_constant)
{
  switch (type) {
    case AST_SCI_INT: return pick_binary<Op, int>(right_constant);
    case AST_SCI_FLOAT: return pick_binary<Op, float>(right_constant);
    case AST_SCI_DOUBLE: return pick_binary<Op, double>(right_constant);
    case AST_SCI_POINTER: return pick_binary<Op, void*>(right_constant);
    default: return nullptr;
  }
}

ast_sci_evaluator binary_eval(int kind, int type, bool right_constant)
{
  switch (kind) {
    case AST_SCI_ADD: return binary_for<OpAdd>(type, right_constant);
    case AST_SCI_SUB: return binary_for<OpSub>(type, right_constant);
    case AST_SCI_MUL: return binary_for<OpMul>(type, right_constant);
    case AST_SCI_DIV: return binary_for<OpDiv>(type, right_constant);
    case AST_SCI_MOD: return binary_for<OpMod>(type, right_constant);
    case AST_SCI_SHL: return binary_for<OpShl>(type, right_constant);
    case AST_SCI_SHR: return binary_for<OpShr>(type, right_constant);
    case AST_SCI_BITAND: return binary_for<OpAnd>(type, right_constant);
    case AST_SCI_BITOR: return binary_for<OpOr>(type, right_constant);
    case AST_SCI_BITXOR: return binary_for<OpXor>(type, right_constant);
    case AST_SCI_EQ: return binary_for<OpEq>(type, right_constant);
    case AST_SCI_NE: return binary_for<OpNe>(type, right_constant);
    case AST_SCI_LT: return binary_for<OpLt>(type, right_constant);
    case AST_SCI_LE: return binary_for<OpLe>(type, right_constant);
    case AST_SCI_GT: return binary_for<OpGt>(type, right_constant);
    case AST_SCI_GE: return binary_for<OpGe>(type, right_constant);
    default: return nullptr;
  }
}

template <class T, class CT, class Op>
ast_sci_evaluator pick_compound()
{
  if constexpr (Op::template ok<CT>) return &ev_compound<T, CT, Op>;
  else return nullptr;
}

template <class T, class Op>
ast_sci_evaluator compound_for(int operation_type)
{
  switch (operation_type) {
    case AST_SCI_INT: return pick_compound<T, int, Op>();
    case AST_SCI_FLOAT: return pick_compound<T, float, Op>();
    case AST_SCI_DOUBLE: return pick_compound<T, double, Op>();
    default: return nullptr;
  }
}

template <class Op>
ast_sci_evaluator compound_target(int target_type, int operation_type)
{
  switch (target_type) {
    case AST_SCI_CHAR: return compound_for<char, Op>(operation_type);
    case AST_SCI_INT: return compound_for<int, Op>(operation_type);
    case AST_SCI_FLOAT: return compound_for<float, Op>(operation_type);
    case AST_SCI_DOUBLE: return compound_for<double, Op>(operation_type);
    default: return nullptr;
  }
}

ast_sci_evaluator compound_eval(int op, int target_type, int operation_type)
{
  switch (op) {
    case AST_SCI_ADD: return compound_target<OpAdd>(target_type, operation_type);
    case AST_SCI_SUB: return compound_target<OpSub>(target_type, operation_type);
    case AST_SCI_MUL: return compound_target<OpMul>(target_type, operation_type);
    case AST_SCI_DIV: return compound_target<OpDiv>(target_type, operation_type);
    case AST_SCI_MOD: return compound_target<OpMod>(target_type, operation_type);
    case AST_SCI_SHL: return compound_target<OpShl>(target_type, operation_type);
    case AST_SCI_SHR: return compound_target<OpShr>(target_type, operation_type);
    case AST_SCI_BITAND: return compound_target<OpAnd>(target_type, operation_type);
    case AST_SCI_BITOR: return compound_target<OpOr>(target_type, operation_type);
    case AST_SCI_BITXOR: return compound_target<OpXor>(target_type, operation_type);
    default: return nullptr;
  }
}

// ---------------------------------------------------------------------------------------------
// Node building

void internal_error(const Builder& b, const char* what)
{
  compile_error(b.file, b.line, "internal error: no evaluator for %s", what);
}

ast_sci_node* new_node(Builder& b, int kind, int type)
{
  ast_sci_node* n = b.arena->make<ast_sci_node>();
  n->kind = static_cast<int16_t>(kind);
  n->type = static_cast<uint8_t>(type);
  n->cell = -1;
  n->count = 0;
  n->depth = 1;
  n->line = b.line;
  n->file = b.file;
  return n;
}

void adopt(Builder& b, ast_sci_node* n, ast_sci_node* child)
{
  if (!child) return;
  if (child->depth + 1 > n->depth) n->depth = child->depth + 1;
  if (n->depth > kMaxTreeDepth) compile_error(b.file, b.line, "expression too complex");
}

void set_children(Builder& b, ast_sci_node* n, ast_sci_node* x, ast_sci_node* y = nullptr, ast_sci_node* z = nullptr,
                  ast_sci_node* w = nullptr)
{
  n->a = x;
  n->b = y;
  n->c = z;
  n->d = w;
  adopt(b, n, x);
  adopt(b, n, y);
  adopt(b, n, z);
  adopt(b, n, w);
}

ast_sci_node** copy_operands(Builder& b, ast_sci_node* n, const std::vector<ast_sci_node*>& list)
{
  auto** ops = static_cast<ast_sci_node**>(b.arena->alloc(sizeof(ast_sci_node*) * (list.size() + 1)));
  for (size_t i = 0; i < list.size(); ++i) {
    ops[i] = list[i];
    adopt(b, n, list[i]);
  }
  n->operands = ops;
  n->noperands = static_cast<int32_t>(list.size());
  return ops;
}

// Evaluates a node whose operands are all constants once, at compile time, into a constant
// node; a node that would fail at run time (division by zero) stays as it is.
ast_sci_node* fold(Builder& b, ast_sci_node* n)
{
  alignas(16) char scratch[64];
  char* saved_fp = rt.fp;
  bool saved_quiet = rt.quiet;
  rt.fp = scratch;
  rt.quiet = true;
  n->cell = 0;
  ast_sci_node* result = nullptr;
  try {
    void* value = n->eval(n);
    ast_sci_value v{};
    std::memcpy(&v, value, static_cast<size_t>(type_size(n->type)));
    result = make_constant(b, n->type, v);
  } catch (RuntimeError&) {
    result = nullptr;
  }
  rt.fp = saved_fp;
  rt.quiet = saved_quiet;
  n->cell = -1;
  return result;
}

// Gives the node its cell, or replaces it by a constant when all its operands are constants.
ast_sci_node* finish(Builder& b, ast_sci_node* n, bool foldable)
{
  if (foldable) {
    if (ast_sci_node* folded = fold(b, n)) return folded;
  }
  n->cell = b.frame->alloc(8, b.file, b.line);
  n->category = AST_SCI_TEMP;
  return n;
}

int elem_size(const ast_sci_node* array) { return type_size(array->type); }

}  // namespace

// ---------------------------------------------------------------------------------------------

int32_t FrameLayout::alloc(int64_t bytes, const char* file, int line)
{
  int64_t rounded = (bytes + 7) & ~int64_t(7);
  if (rounded <= 0) rounded = 8;
  if (static_cast<int64_t>(_size) + rounded > kMaxFrameBytes)
    compile_error(file, line, "local variables of the function exceed %d bytes", kMaxFrameBytes);
  int32_t offset = _size;
  _size += static_cast<int32_t>(rounded);
  return offset;
}

bool is_arithmetic(int type)
{
  return type == AST_SCI_CHAR || type == AST_SCI_INT || type == AST_SCI_FLOAT || type == AST_SCI_DOUBLE;
}

bool is_constant(const ast_sci_node* node) { return node && node->kind == AST_SCI_CONSTANT; }

int64_t array_count(const ast_sci_node* node)
{
  if (node->kind == AST_SCI_PARAM_ARRAY) return ld<int64_t>(rt.fp + node->aux + 8);
  return node->count;
}

ast_sci_node* make_constant(Builder& b, int type, ast_sci_value value)
{
  ast_sci_node* n = new_node(b, AST_SCI_CONSTANT, type);
  n->k = value;
  n->eval = ev_constant;
  n->category = AST_SCI_VALUE;
  return n;
}

ast_sci_node* make_int_constant(Builder& b, int value)
{
  ast_sci_value v{};
  v.i = value;
  return make_constant(b, AST_SCI_INT, v);
}

ast_sci_node* make_string(Builder& b, const std::string& text)
{
  ast_sci_node* n = new_node(b, AST_SCI_STRING, AST_SCI_CHAR);
  n->k.p = b.arena->copy_string(text);
  n->count = static_cast<int64_t>(text.size()) + 1;
  n->is_array = true;
  n->eval = ev_static_address;
  n->category = AST_SCI_VALUE;
  return n;
}

ast_sci_node* make_global(Builder& b, ast_sci_symbol* variable)
{
  if (variable->kind == AST_SCI_SYM_CONSTANT) return make_constant(b, variable->type, variable->constant);
  ast_sci_node* n = new_node(b, variable->is_array ? AST_SCI_GLOBAL_ARRAY : AST_SCI_GLOBAL, variable->type);
  n->k.p = variable->storage;
  n->symbol = variable;
  n->is_array = variable->is_array;
  n->count = variable->count;
  n->eval = ev_static_address;
  n->category = AST_SCI_LVALUE;
  return n;
}

ast_sci_node* make_local(Builder& b, int type, bool is_array, int64_t count, int32_t offset, bool is_param)
{
  int kind = is_array ? (is_param ? AST_SCI_PARAM_ARRAY : AST_SCI_LOCAL_ARRAY) : (is_param ? AST_SCI_PARAM : AST_SCI_LOCAL);
  ast_sci_node* n = new_node(b, kind, type);
  n->aux = offset;
  n->is_array = is_array;
  n->count = is_array && is_param ? -1 : count;
  n->eval = kind == AST_SCI_PARAM || kind == AST_SCI_PARAM_ARRAY ? ev_param : ev_local;
  n->category = AST_SCI_LVALUE;
  return n;
}

ast_sci_node* make_index(Builder& b, ast_sci_node* array, ast_sci_node* index)
{
  ast_sci_node* n = new_node(b, AST_SCI_INDEX, array->type);
  set_children(b, n, array, index);
  n->k = array->k;
  n->aux = array->aux;
  n->count = array->count;
  n->category = array->kind == AST_SCI_STRING ? AST_SCI_VALUE : AST_SCI_LVALUE;
  if (is_constant(index) && array->count >= 0) {
    int i = index->k.i;
    if (i < 0 || i >= array->count)
      compile_error(b.file, b.line, "array index %d out of range for an array of %lld elements", i,
                    static_cast<long long>(array->count));
  }
  switch (array->kind) {
    case AST_SCI_GLOBAL_ARRAY:
    case AST_SCI_STRING: n->eval = by_value_type<IndexStaticOf>(array->type); break;
    case AST_SCI_LOCAL_ARRAY: n->eval = by_value_type<IndexLocalOf>(array->type); break;
    case AST_SCI_PARAM_ARRAY: n->eval = by_value_type<IndexParamOf>(array->type); break;
    default: internal_error(b, "index");
  }
  return n;
}

ast_sci_node* make_convert(Builder& b, ast_sci_node* value, int type)
{
  if (value->type == type) return value;
  if (value->type == AST_SCI_POINTER || type == AST_SCI_POINTER) {
    // Only the constant 0 becomes a (null) pointer; the parser checks that.
    ast_sci_value v{};
    return make_constant(b, AST_SCI_POINTER, v);
  }
  ast_sci_node* n = new_node(b, AST_SCI_CONVERT, type);
  set_children(b, n, value);
  n->eval = convert_eval(value->type, type);
  if (!n->eval) internal_error(b, "conversion");
  return finish(b, n, is_constant(value));
}

ast_sci_node* make_materialize(Builder& b, ast_sci_node* value)
{
  if (value->is_array) {
    ast_sci_node* n = new_node(b, AST_SCI_COPIED_STRING, value->type);
    n->k = value->k;
    n->count = value->count;
    n->is_array = true;
    int64_t bytes = value->count * type_size(value->type);
    // The copy lands among the local variables; a literal too long for them alone is what
    // the writer has to shorten, so that is what the message names.
    if (value->kind == AST_SCI_STRING && bytes > kMaxFrameBytes)
      compile_error(b.file, b.line, "string literal of %lld bytes exceeds the %d bytes of a function's local variables",
                    static_cast<long long>(value->count - 1), kMaxFrameBytes);
    n->cell = b.frame->alloc(bytes, b.file, b.line);
    n->eval = ev_copied_string;
    n->category = AST_SCI_TEMP;
    return n;
  }
  ast_sci_node* n = new_node(b, AST_SCI_MATERIALIZE, value->type);
  set_children(b, n, value);
  n->eval = by_value_type<MaterializeOf>(value->type);
  if (!n->eval) internal_error(b, "argument copy");
  return finish(b, n, false);
}

ast_sci_node* make_truth(Builder& b, ast_sci_node* value)
{
  if (value->type == AST_SCI_INT) return value;
  ast_sci_node* n = new_node(b, AST_SCI_TRUTH, AST_SCI_INT);
  set_children(b, n, value);
  n->eval = by_value_type<TruthOf>(value->type);
  if (!n->eval) internal_error(b, "truth value");
  return finish(b, n, is_constant(value));
}

ast_sci_node* make_array_bytes(Builder& b, ast_sci_node* param_array)
{
  ast_sci_node* n = new_node(b, AST_SCI_ARRAY_BYTES, AST_SCI_INT);
  n->aux = param_array->aux;
  n->k.i = elem_size(param_array);
  n->eval = ev_array_bytes;
  return finish(b, n, false);
}

ast_sci_node* make_unary(Builder& b, int kind, ast_sci_node* operand)
{
  int type = kind == AST_SCI_NEGATE ? static_cast<int>(operand->type) : static_cast<int>(AST_SCI_INT);
  ast_sci_node* n = new_node(b, kind, type);
  set_children(b, n, operand);
  switch (kind) {
    case AST_SCI_NEGATE: n->eval = by_value_type<NegateOf>(operand->type); break;
    case AST_SCI_NOT: n->eval = by_value_type<NotOf>(operand->type); break;
    case AST_SCI_COMPLEMENT: n->eval = operand->type == AST_SCI_INT ? ev_complement : nullptr; break;
    default: break;
  }
  if (!n->eval) internal_error(b, "unary operator");
  return finish(b, n, is_constant(operand));
}

ast_sci_node* make_binary(Builder& b, int kind, ast_sci_node* left, ast_sci_node* right)
{
  bool comparison = kind >= AST_SCI_EQ && kind <= AST_SCI_GE;
  ast_sci_node* n = new_node(b, kind, comparison ? static_cast<int>(AST_SCI_INT) : static_cast<int>(left->type));
  set_children(b, n, left, right);
  n->eval = binary_eval(kind, left->type, is_constant(right));
  if (!n->eval || left->type != right->type) internal_error(b, "binary operator");
  return finish(b, n, is_constant(left) && is_constant(right));
}

ast_sci_node* make_logical(Builder& b, int kind, ast_sci_node* left, ast_sci_node* right)
{
  ast_sci_node* n = new_node(b, kind, AST_SCI_INT);
  set_children(b, n, left, right);
  n->eval = kind == AST_SCI_LOGAND ? ev_logand : ev_logor;
  return finish(b, n, is_constant(left) && is_constant(right));
}

ast_sci_node* make_conditional(Builder& b, ast_sci_node* condition, ast_sci_node* yes, ast_sci_node* no)
{
  ast_sci_node* n = new_node(b, AST_SCI_CONDITIONAL, yes->type);
  set_children(b, n, condition, yes, no);
  n->eval = by_value_type<ConditionalOf>(yes->type);
  if (!n->eval) internal_error(b, "conditional");
  return finish(b, n, is_constant(condition) && is_constant(yes) && is_constant(no));
}

ast_sci_node* make_comma(Builder& b, ast_sci_node* left, ast_sci_node* right)
{
  ast_sci_node* n = new_node(b, AST_SCI_COMMA, right->type);
  set_children(b, n, left, right);
  n->eval = ev_comma;
  n->category = AST_SCI_VALUE;
  return n;
}

ast_sci_node* make_assign(Builder& b, ast_sci_node* target, ast_sci_node* value)
{
  ast_sci_node* n = new_node(b, AST_SCI_ASSIGN, target->type);
  set_children(b, n, target, value);
  n->eval = by_value_type<AssignOf>(target->type);
  if (!n->eval) internal_error(b, "assignment");
  n->category = AST_SCI_VALUE;
  return n;
}

ast_sci_node* make_compound_assign(Builder& b, int op, ast_sci_node* target, ast_sci_node* value)
{
  ast_sci_node* n = new_node(b, AST_SCI_COMPOUND_ASSIGN, target->type);
  set_children(b, n, target, value);
  n->aux = op;
  n->eval = compound_eval(op, target->type, value->type);
  if (!n->eval) internal_error(b, "compound assignment");
  n->category = AST_SCI_VALUE;
  return n;
}

ast_sci_node* make_incdec(Builder& b, int kind, ast_sci_node* target)
{
  ast_sci_node* n = new_node(b, kind, target->type);
  set_children(b, n, target);
  switch (kind) {
    case AST_SCI_PRE_INC: n->eval = by_value_type<PreIncOf>(target->type); break;
    case AST_SCI_PRE_DEC: n->eval = by_value_type<PreDecOf>(target->type); break;
    case AST_SCI_POST_INC: n->eval = by_value_type<PostIncOf>(target->type); break;
    case AST_SCI_POST_DEC: n->eval = by_value_type<PostDecOf>(target->type); break;
    default: break;
  }
  if (!n->eval || target->type == AST_SCI_POINTER) internal_error(b, "increment");
  if (kind == AST_SCI_PRE_INC || kind == AST_SCI_PRE_DEC) {
    n->category = AST_SCI_VALUE;
    return n;
  }
  return finish(b, n, false);
}

ast_sci_node* make_call(Builder& b, ast_sci_symbol* function, const std::vector<ast_sci_node*>& args)
{
  ast_sci_node* n = new_node(b, AST_SCI_CALL, function->type);
  copy_operands(b, n, args);
  n->symbol = function;
  for (ast_sci_node* a : args)
    if (a->is_array) n->has_array_args = true;
  n->eval = ast_sci_exec_call;
  return finish(b, n, false);
}

ast_sci_node* make_intrinsic(Builder& b, ast_sci_symbol* function, const std::vector<ast_sci_node*>& args)
{
  ast_sci_node* n = new_node(b, AST_SCI_INTRINSIC, AST_SCI_INT);
  copy_operands(b, n, args);
  n->symbol = function;
  switch (function->intrinsic) {
    case INTRINSIC_PRINTF: n->eval = eval_printf; break;
    case INTRINSIC_SPRINTF: n->eval = eval_sprintf; break;
    case INTRINSIC_SSCANF: n->eval = eval_sscanf; break;
    default: internal_error(b, "built-in");
  }
  return finish(b, n, false);
}

ast_sci_node* make_block(Builder& b, const std::vector<ast_sci_node*>& statements)
{
  ast_sci_node* n = new_node(b, AST_SCI_BLOCK, AST_SCI_VOID);
  copy_operands(b, n, statements);
  n->exec = ex_block;
  return n;
}

ast_sci_node* make_expression_statement(Builder& b, ast_sci_node* expression)
{
  ast_sci_node* n = new_node(b, AST_SCI_EXPRESSION, AST_SCI_VOID);
  set_children(b, n, expression);
  n->exec = ex_expression;
  return n;
}

ast_sci_node* make_if(Builder& b, ast_sci_node* condition, ast_sci_node* then_part, ast_sci_node* else_part)
{
  ast_sci_node* n = new_node(b, AST_SCI_IF, AST_SCI_VOID);
  set_children(b, n, condition, then_part, else_part);
  n->exec = else_part ? ex_if_else : ex_if;
  return n;
}

ast_sci_node* make_while(Builder& b, ast_sci_node* condition, ast_sci_node* body)
{
  ast_sci_node* n = new_node(b, AST_SCI_WHILE, AST_SCI_VOID);
  set_children(b, n, condition, body);
  n->exec = ex_while;
  return n;
}

ast_sci_node* make_do(Builder& b, ast_sci_node* body, ast_sci_node* condition)
{
  ast_sci_node* n = new_node(b, AST_SCI_DO, AST_SCI_VOID);
  set_children(b, n, condition, body);
  n->exec = ex_do;
  return n;
}

ast_sci_node* make_for(Builder& b, ast_sci_node* init, ast_sci_node* condition, ast_sci_node* step, ast_sci_node* body)
{
  ast_sci_node* n = new_node(b, AST_SCI_FOR, AST_SCI_VOID);
  set_children(b, n, init, condition, step, body);
  n->exec = ex_for;
  return n;
}

ast_sci_node* make_jump(Builder& b, int kind)
{
  ast_sci_node* n = new_node(b, kind, AST_SCI_VOID);
  n->exec = kind == AST_SCI_BREAK ? ex_break : ex_continue;
  return n;
}

ast_sci_node* make_return(Builder& b, int type, ast_sci_node* value)
{
  ast_sci_node* n = new_node(b, AST_SCI_RETURN, type);
  set_children(b, n, value);
  n->exec = value ? by_value_type<ReturnOf>(type) : ex_return_void;
  if (!n->exec) internal_error(b, "return");
  return n;
}

ast_sci_node* make_declare(Builder& b, int type, int32_t offset, ast_sci_node* value)
{
  ast_sci_node* n = new_node(b, AST_SCI_DECLARE, type);
  set_children(b, n, value);
  n->aux = offset;
  n->exec = by_value_type<DeclareOf>(type);
  if (!n->exec) internal_error(b, "declaration");
  return n;
}

ast_sci_node* make_declare_array(Builder& b, ast_sci_symbol* global, int32_t offset, int64_t bytes, const void* image)
{
  ast_sci_node* n = new_node(b, AST_SCI_DECLARE_ARRAY, AST_SCI_VOID);
  n->symbol = global;
  n->aux = offset;
  n->count = bytes;
  n->k.p = const_cast<void*>(image);
  n->exec = ex_declare_array;
  return n;
}

ast_sci_node* make_store_global(Builder& b, ast_sci_symbol* variable, ast_sci_node* value)
{
  ast_sci_node* n = new_node(b, AST_SCI_STORE_GLOBAL, variable->type);
  set_children(b, n, value);
  n->k.p = variable->storage;
  n->symbol = variable;
  n->exec = by_value_type<StoreGlobalOf>(variable->type);
  if (!n->exec) internal_error(b, "global initialisation");
  return n;
}

}  // namespace ast_sci_internal

const char* ast_sci_node_kind_name(int kind)
{
  static const char* const names[] = {
#define AST_SCI_KIND_NAME(name, text) #name,
      AST_SCI_NODE_KINDS(AST_SCI_KIND_NAME)
#undef AST_SCI_KIND_NAME
  };
  if (kind < 0 || kind >= AST_SCI_NODE_KIND_COUNT) return "?";
  return names[kind];
}
