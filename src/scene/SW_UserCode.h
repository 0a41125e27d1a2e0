// User code: the laws and formulas that users write in the script language and the model
// calls (friction laws, the shear formula, entrainment energy loss, release-depth formulas,
// their "init" and parameter functions).
//
// Every call into user code runs with a step budget of its own (SW_UserCodeStepLimit), far
// above what any sound law takes, so that a law that never returns ends with a run-time error
// instead of hanging the run or the command that set it. Macros and the console's own scripts
// run without a limit.
#pragma once

#include <cstdint>

#include "ast_sci.h"

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
