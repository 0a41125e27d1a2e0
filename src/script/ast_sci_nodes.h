// Construction of typed nodes. The parser checks the types and converts the operands; these
// functions pick the evaluator for the operand types, fold constant operands, and give each node
// that computes a value a cell in the frame of the function being compiled.
#pragma once

#include "ast_sci_internal.h"

#include <string>
#include <vector>

namespace ast_sci_internal {

// The frame layout of the function (or initialisation code) being compiled.
class FrameLayout {
 public:
  int32_t alloc(int64_t bytes, const char* file, int line);
  int32_t size() const { return _size; }

 private:
  int32_t _size = 0;
};

struct Builder {
  Arena* arena = nullptr;
  FrameLayout* frame = nullptr;
  const char* file = "";
  int line = 0;
};

enum Intrinsic { INTRINSIC_NONE = 0, INTRINSIC_PRINTF = 1, INTRINSIC_SPRINTF = 2, INTRINSIC_SSCANF = 3 };

bool is_arithmetic(int type);
bool is_constant(const ast_sci_node* node);

// Values
ast_sci_node* make_constant(Builder& b, int type, ast_sci_value value);
ast_sci_node* make_int_constant(Builder& b, int value);
ast_sci_node* make_string(Builder& b, const std::string& text);
ast_sci_node* make_global(Builder& b, ast_sci_symbol* variable);
ast_sci_node* make_local(Builder& b, int type, bool is_array, int64_t count, int32_t offset, bool is_param);
ast_sci_node* make_index(Builder& b, ast_sci_node* array, ast_sci_node* index);
ast_sci_node* make_convert(Builder& b, ast_sci_node* value, int type);
ast_sci_node* make_materialize(Builder& b, ast_sci_node* value);
ast_sci_node* make_truth(Builder& b, ast_sci_node* value);
ast_sci_node* make_array_bytes(Builder& b, ast_sci_node* param_array);

// Operators. Operands arrive converted: arithmetic operands to the operation type, logical
// operands and conditions to int.
ast_sci_node* make_unary(Builder& b, int kind, ast_sci_node* operand);
ast_sci_node* make_binary(Builder& b, int kind, ast_sci_node* left, ast_sci_node* right);
ast_sci_node* make_logical(Builder& b, int kind, ast_sci_node* left, ast_sci_node* right);
ast_sci_node* make_conditional(Builder& b, ast_sci_node* condition, ast_sci_node* yes, ast_sci_node* no);
ast_sci_node* make_comma(Builder& b, ast_sci_node* left, ast_sci_node* right);
ast_sci_node* make_assign(Builder& b, ast_sci_node* target, ast_sci_node* value);
// `op` is ADD..BITXOR; `value` arrives converted to the operation type.
ast_sci_node* make_compound_assign(Builder& b, int op, ast_sci_node* target, ast_sci_node* value);
ast_sci_node* make_incdec(Builder& b, int kind, ast_sci_node* target);
ast_sci_node* make_call(Builder& b, ast_sci_symbol* function, const std::vector<ast_sci_node*>& args);
ast_sci_node* make_intrinsic(Builder& b, ast_sci_symbol* function, const std::vector<ast_sci_node*>& args);

// Statements
ast_sci_node* make_block(Builder& b, const std::vector<ast_sci_node*>& statements);
ast_sci_node* make_expression_statement(Builder& b, ast_sci_node* expression);
ast_sci_node* make_if(Builder& b, ast_sci_node* condition, ast_sci_node* then_part, ast_sci_node* else_part);
ast_sci_node* make_while(Builder& b, ast_sci_node* condition, ast_sci_node* body);
ast_sci_node* make_do(Builder& b, ast_sci_node* body, ast_sci_node* condition);
ast_sci_node* make_for(Builder& b, ast_sci_node* init, ast_sci_node* condition, ast_sci_node* step, ast_sci_node* body);
ast_sci_node* make_jump(Builder& b, int kind);  // BREAK or CONTINUE
ast_sci_node* make_return(Builder& b, int type, ast_sci_node* value);
ast_sci_node* make_declare(Builder& b, int type, int32_t offset, ast_sci_node* value);
// Sets the array to the image (bytes long, zero-padded) or to zero when image is null. A global
// array is given by its symbol, a local one by its frame offset.
ast_sci_node* make_declare_array(Builder& b, ast_sci_symbol* global, int32_t offset, int64_t bytes, const void* image);
ast_sci_node* make_store_global(Builder& b, ast_sci_symbol* variable, ast_sci_node* value);

// Intrinsic evaluators (ast_sci_format.cpp).
void* eval_printf(ast_sci_node* node);
void* eval_sprintf(ast_sci_node* node);
void* eval_sscanf(ast_sci_node* node);

}  // namespace ast_sci_internal
