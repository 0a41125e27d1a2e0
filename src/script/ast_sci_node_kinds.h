// The node kinds of the syntax tree, in one table. Expression kinds evaluate to the address of
// a value; statement kinds execute and return a control code.
#pragma once

#define AST_SCI_NODE_KINDS(X)                                                     \
  /* expressions: values */                                                       \
  X(CONSTANT, "literal or folded constant, stored in the node")                   \
  X(STRING, "string literal: a read-only char array")                             \
  X(GLOBAL, "global scalar variable")                                             \
  X(LOCAL, "local scalar variable in the frame")                                  \
  X(PARAM, "scalar parameter: the frame slot holds its address")                  \
  X(GLOBAL_ARRAY, "global array")                                                 \
  X(LOCAL_ARRAY, "local array in the frame")                                      \
  X(PARAM_ARRAY, "array parameter: the frame slot holds address and count")       \
  X(COPIED_STRING, "copy of a string literal in a frame cell (argument passing)") \
  X(INDEX, "array element, bounds-checked")                                       \
  X(CONVERT, "conversion between arithmetic types")                               \
  X(MATERIALIZE, "copy of a value into a frame cell (argument passing)")          \
  X(TRUTH, "0 or 1 from a scalar")                                                \
  X(ARRAY_BYTES, "size in bytes of an array parameter")                           \
  /* expressions: operators */                                                    \
  X(NEGATE, "unary -")                                                            \
  X(NOT, "unary !")                                                               \
  X(COMPLEMENT, "unary ~")                                                        \
  X(ADD, "+")                                                                     \
  X(SUB, "-")                                                                     \
  X(MUL, "*")                                                                     \
  X(DIV, "/")                                                                     \
  X(MOD, "%")                                                                     \
  X(SHL, "<<")                                                                    \
  X(SHR, ">>")                                                                    \
  X(BITAND, "&")                                                                  \
  X(BITOR, "|")                                                                   \
  X(BITXOR, "^")                                                                  \
  X(EQ, "==")                                                                     \
  X(NE, "!=")                                                                     \
  X(LT, "<")                                                                      \
  X(LE, "<=")                                                                     \
  X(GT, ">")                                                                      \
  X(GE, ">=")                                                                     \
  X(LOGAND, "&&")                                                                 \
  X(LOGOR, "||")                                                                  \
  X(CONDITIONAL, "?:")                                                            \
  X(COMMA, ",")                                                                   \
  X(ASSIGN, "=")                                                                  \
  X(COMPOUND_ASSIGN, "+= -= *= /= %= <<= >>= &= |= ^=")                           \
  X(PRE_INC, "++x")                                                               \
  X(PRE_DEC, "--x")                                                               \
  X(POST_INC, "x++")                                                              \
  X(POST_DEC, "x--")                                                              \
  X(CALL, "call of a script function or an extern")                               \
  X(INTRINSIC, "printf, sprintf, sscanf: checked against their argument types")   \
  /* statements */                                                                \
  X(BLOCK, "{ ... }")                                                             \
  X(EXPRESSION, "expression statement")                                           \
  X(IF, "if / else")                                                              \
  X(WHILE, "while")                                                               \
  X(DO, "do ... while")                                                           \
  X(FOR, "for")                                                                   \
  X(BREAK, "break")                                                               \
  X(CONTINUE, "continue")                                                         \
  X(RETURN, "return")                                                             \
  X(DECLARE, "local scalar: initial value or zero")                               \
  X(DECLARE_ARRAY, "local or global array: zero, then the constant initial image") \
  X(STORE_GLOBAL, "initialisation of a global scalar")

enum ast_sci_node_kind {
#define AST_SCI_KIND_ENUM(name, text) AST_SCI_##name,
  AST_SCI_NODE_KINDS(AST_SCI_KIND_ENUM)
#undef AST_SCI_KIND_ENUM
  AST_SCI_NODE_KIND_COUNT
};

// The name of a node kind ("ADD"), for diagnostics.
const char* ast_sci_node_kind_name(int kind);
