// The parser: reads the preprocessed tokens of one compile unit, checks types and builds the
// typed nodes of its functions and global initialisers.
#pragma once

#include "ast_sci_internal.h"
#include "ast_sci_preprocessor.h"

namespace ast_sci_internal {

// Compiles the whole token stream into the unit; throws CompileError at the first error.
void parse_unit(Preprocessor& preprocessor, CompileUnit& unit);

}  // namespace ast_sci_internal
