// User code: the laws and formulas that users write in the script language and the model
// calls (friction laws, the shear formula, entrainment energy loss, release-depth formulas,
// their "init" and parameter functions).
//
// One unit of user code is compiled whole into a namespace of its own below the global one,
// so that it sees the built-in library and nothing of whatever class script happens to be
// running, and two units never meet ("already defined"). A unit either compiled or does not
// exist: a caller compiles a new unit and swaps it for the old one only on success. The
// namespace goes with the unit; prepared calls taken from it keep their own code alive
// (ast_sci.h).
//
// Every call into user code runs with a step budget of its own (SW_UserCodeStepLimit), far
// above what any sound law takes, so that a law that never returns ends with a run-time error
// instead of hanging the run or the command that set it. Macros and the console's own scripts
// run without a limit.
#pragma once

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <memory>

#include "AK_Basic.h"
#include "ast_sci.h"

class AK_Object;

// Steps (loop passes and calls) one call of user code may take; tests lower it.
uint64_t SW_UserCodeStepLimit();
void SW_SetUserCodeStepLimit(uint64_t steps);

// While it lives, calls into user code on this thread run under the step limit. When
// `silent`, a run-time error is not printed: the caller reads it (ast_sci_last_error) and
// reports it once in its own words.
class SW_UserCodeGuard : public ast_sci_guarded_calls {
public:
  explicit SW_UserCodeGuard(bool silent) : ast_sci_guarded_calls(SW_UserCodeStepLimit(), silent) {}
};

class SW_UserCode {
public:
  // The text or the open file (the caller closes it; `path` names it in listings) compiled;
  // none when it does not compile (the interpreter has listed the error). A namespace that
  // cannot be created is the fatal assertion named `assertion`.
  static std::unique_ptr<SW_UserCode> FromText(const char* source, const char* assertion);
  static std::unique_ptr<SW_UserCode> FromFile(std::FILE* file, const char* path, const char* assertion);
  ~SW_UserCode();
  SW_UserCode(const SW_UserCode&) = delete;
  SW_UserCode& operator=(const SW_UserCode&) = delete;

  // The function of that name checked against the host's argument and result types; empty
  // when the unit has none (a function of another signature is refused with a message).
  ast_sci_prepared_call Prepare(const char* name, ast_sci_data_type result, const ast_sci_type* args,
                                int count) const;
  // Runs the initialisers of the unit's global variables, then `init` when it is not empty,
  // with `current` on top of the current-object stack. Answers false
  // with the script's error in `why` when either fails.
  bool Initialise(const ast_sci_prepared_call& init, AK_Object* current, AK_String& why) const;

  // An instance of the unit for another thread: the same code in a namespace of its own, its
  // globals holding the unit's values now. None when one of the named functions (those the
  // other thread will call) reaches outside the unit (the object tree, messages, variables of
  // other code) or stores into its globals: calls of it could then not run on several
  // threads with the answers of one. Names the unit has no function of are passed over.
  std::unique_ptr<SW_UserCode> Instance(std::initializer_list<const char*> functions) const;

  // A law's answer, or NaN when its script fails at run time; the reason is then
  // ast_sci_last_error on this thread (nothing is printed: the caller reports it once).
  static double Answer(const ast_sci_prepared_call& law, void* const* args);

  // Parameter texts. "get_par"/"getpar" takes a buffer of kParameterBufferSize bytes and
  // "set_par"/"setpar" a text of any length; both run with `current` on top of the
  // current-object stack.
  static constexpr size_t kParameterBufferSize = 512;
  static constexpr ast_sci_type kParameterBuffer{AST_SCI_CHAR, true, kParameterBufferSize};
  static constexpr ast_sci_type kParameterText{AST_SCI_CHAR, true, 0};  // its size goes with each call
  // The text the function leaves in a zeroed buffer (at most 511 characters; "" when it
  // writes nothing); "" for an empty call.
  static AK_String GetParameters(const ast_sci_prepared_call& getpar, AK_Object* current);
  // Hands the function a copy of the text; answers false with the script's error in `why`
  // when it fails. Nothing and true for an empty call.
  static bool SetParameters(const ast_sci_prepared_call& setpar, AK_Object* current, const char* text,
                            AK_String& why);

private:
  SW_UserCode() = default;
  template <class CompileFn>
  static std::unique_ptr<SW_UserCode> Compile(const char* assertion, CompileFn compile);

  ast_sci_namespace _namespace = nullptr;
};
