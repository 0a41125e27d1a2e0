// SW_FrictionScript: one unit of user friction code (the shear formula of a simulation, or a
// rheology file) compiled into a namespace of its own below the global one.
//
// A unit either compiled whole or does not exist: a new formula or file is compiled into a
// fresh unit, and the caller swaps it for the old one only on success, so that a failed
// compile never leaves half a model behind and a second compile never meets the functions of
// the first ("already defined"). The namespace goes with the unit; prepared calls taken from
// it keep their own code alive (ast_sci.h).
#pragma once

#include <cstdio>
#include <memory>

#include "ast_sci.h"

class SW_FrictionScript {
public:
  // The text or the open file (the caller closes it) compiled; none when it does not compile
  // (the interpreter has listed the error). A namespace that cannot be created is the fatal
  // assertion "_formulaNameSpace".
  static std::unique_ptr<SW_FrictionScript> FromText(const char* source);
  static std::unique_ptr<SW_FrictionScript> FromFile(std::FILE* file, const char* path);
  ~SW_FrictionScript();
  SW_FrictionScript(const SW_FrictionScript&) = delete;
  SW_FrictionScript& operator=(const SW_FrictionScript&) = delete;

  // The function of that name checked against the host's argument and result types; empty
  // when the unit has none (a function of another signature is refused with a message).
  ast_sci_prepared_call Prepare(const char* name, ast_sci_data_type result,
                                const ast_sci_type* args, int count) const;
  // Runs the initialisers of the unit's global variables.
  void RunInitialisers() const;

private:
  SW_FrictionScript() = default;
  template <class CompileFn>
  static std::unique_ptr<SW_FrictionScript> Compile(CompileFn compile);

  ast_sci_namespace _namespace = nullptr;
};
