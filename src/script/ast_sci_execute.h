// Execution side of the interpreter: syntax-tree nodes with their evaluators, symbols, the
// result cell, the call evaluator and the extern-call dispatchers.
//
// A compiled expression is a tree of nodes. Each node's evaluator was chosen when the node was
// built, for the types of its operands, and returns the address of the node's value. Values
// computed by a node live in a cell of the activation frame of the function that runs, never in
// the node itself, so two live calls of one function never share a value cell.
#pragma once

#include "ast_sci.h"

#include <cstdint>
#include <string>
#include <vector>

typedef void* (*ast_sci_evaluator)(ast_sci_node* node);
typedef int (*ast_sci_executor)(ast_sci_node* node);
typedef void (*ast_sci_dispatcher)(ast_sci_node* call);

// Control codes that statements return.
enum ast_sci_control { AST_SCI_CTL_NEXT = 0, AST_SCI_CTL_BREAK = 1, AST_SCI_CTL_CONTINUE = 2, AST_SCI_CTL_RETURN = 3 };

// Where an expression's value lives, which decides how it passes as an argument.
enum ast_sci_category : uint8_t {
  AST_SCI_VALUE = 0,   // a value that must be copied before it is passed by reference
  AST_SCI_LVALUE = 1,  // a variable or array element: its own address passes
  AST_SCI_TEMP = 2     // a fresh value in a frame cell of its own: its address passes
};

struct ast_sci_node {
  ast_sci_evaluator eval;  // expressions: returns the address of the value
  ast_sci_executor exec;   // statements: returns a control code
  ast_sci_node* a;
  ast_sci_node* b;
  ast_sci_node* c;
  ast_sci_node* d;
  ast_sci_node** operands;  // call arguments (first argument first) or block statements
  int32_t noperands;
  int32_t cell;         // frame offset of the node's value cell, -1 when it has none
  ast_sci_symbol* symbol;
  ast_sci_value k;      // constant value, or address of global storage
  int64_t aux;          // frame offset of a variable, element size, ...
  int64_t count;        // element count of an array, -1 when known only at run time

  // Known at compile time.
  int16_t kind;
  uint8_t type;          // ast_sci_data_type of the value (element type for arrays)
  uint8_t category;      // ast_sci_category
  bool is_array;
  bool has_array_args;   // a call with at least one array argument
  int32_t depth;         // height of the subtree
  int32_t line;
  const char* file;
};

// A formal parameter of a function. Scalars are bound by reference: the frame slot holds the
// address of the value. An array slot holds the address of the first element and the count.
struct ast_sci_formal {
  std::string name;
  uint8_t type = AST_SCI_INT;
  bool is_array = false;
  int64_t count = -1;   // size written in the declaration, -1 when none
  int32_t offset = 0;   // frame offset of the slot
};

enum ast_sci_symbol_kind { AST_SCI_SYM_FUNCTION = 0, AST_SCI_SYM_VARIABLE = 1, AST_SCI_SYM_CONSTANT = 2, AST_SCI_SYM_INTRINSIC = 3 };

struct ast_sci_symbol {
  std::string name;
  int kind = AST_SCI_SYM_FUNCTION;
  uint8_t type = AST_SCI_VOID;   // variable type or function result type
  bool is_array = false;
  int64_t count = 0;             // elements of an array variable
  void* storage = nullptr;       // global variable
  ast_sci_value constant{};      // value of a constant

  // Functions
  std::vector<ast_sci_formal> formals;
  ast_sci_node* body = nullptr;                 // null for an extern
  int32_t frame_size = 0;
  ast_sci_dispatcher dispatcher = nullptr;      // extern-call dispatcher of the result type
  ast_sci_detail::generic_function address = nullptr;  // bound native function
  ast_sci_detail::generic_function invoker = nullptr;  // calls the native through its own type
  int intrinsic = 0;     // printf, sprintf, sscanf
  bool builtin = false;  // part of the built-in library: cannot be given a body
  const char* file = "";
  int line = 0;
  void* owner = nullptr;  // the symbol table generation that owns the symbol
};

// The global 8-byte result cell: every return statement and every native call stores here.
extern constinit thread_local ast_sci_value ast_sci_result;

// The evaluator of a call node: runs a script function, or, for an extern, calls the
// symbol's dispatcher and copies the result cell into the node's own value cell.
void* ast_sci_exec_call(ast_sci_node* call);

// Extern-call dispatchers, one per result type. Each evaluates the arguments from the last to
// the first, calls the bound native with one address per argument and stores its result in the
// result cell; more than 50 arguments print a message and do nothing.
void ast_sci_ext_call_void(ast_sci_node* call);
void ast_sci_ext_call_char(ast_sci_node* call);
void ast_sci_ext_call_int(ast_sci_node* call);
void ast_sci_ext_call_float(ast_sci_node* call);
void ast_sci_ext_call_double(ast_sci_node* call);
void ast_sci_ext_call_ptr(ast_sci_node* call);

// The dispatcher for a result type, or null for an unknown type number.
ast_sci_dispatcher ast_sci_dispatcher_for(int data_type);

// Declares a function (result type, name, formals) in the unit being compiled, or in the
// current namespace outside a compilation, and stores the extern-call dispatcher of the result
// type in its symbol. A type number outside 0..5 is the error "unknown function data type".
ast_sci_symbol* FuncDeclNew(int data_type, const char* name, const std::vector<ast_sci_formal>& formals);
// Attaches a body to a declared function and clears its dispatcher: it becomes an ordinary
// script function.
void FuncBodyNew(ast_sci_symbol* function, ast_sci_node* body, int32_t frame_size);

// The address of a node's value cell in the frame that runs now.
void* ast_sci_node_cell(ast_sci_node* node);

// Ends the running script call: prints the message (with the node's file and line) through the
// interpreter's message output and unwinds to the host's call.
[[noreturn]] void ast_sci_runtime_error(const ast_sci_node* where, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// The message print and flush functions in force.
extern ast_sci_print_function ast_sci_print;
void ast_sci_flush();
