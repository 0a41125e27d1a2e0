// The interpreter's handle types alone, for headers that pass namespaces and functions along
// without calling the interpreter (ast_sci.h has the operations on them).
#pragma once

struct ast_sci_namespace_rec;
struct ast_sci_symbol;
struct ast_sci_node;

// Handle of one interpreter namespace (symbol table, initialisation code, parent).
typedef ast_sci_namespace_rec* ast_sci_namespace;
