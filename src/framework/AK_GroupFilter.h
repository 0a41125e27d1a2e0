// A group's filter: the body of a script function "int pass(char id[])" that answers, for the
// absolute path of a candidate object, whether the candidate passes (nonzero) or not (0).
#pragma once

#include <memory>

#include "AK_Basic.h"

class AK_Object;

class AK_GroupFilter {
public:
  virtual ~AK_GroupFilter() = default;
  // 1 when the candidate passes, else 0. The script runs with the group as the current
  // object, so its "get" and "set" resolve paths from the group.
  virtual int Pass(const char* candidatePath) = 0;
};

// Compiles "int pass(char id[]){" + body + "}" into a namespace of its own below the current
// one, which stays current while the filter lives. None for an empty body; none and a
// message in `error` when the body does not compile.
std::unique_ptr<AK_GroupFilter> AK_CompileGroupFilter(AK_Object* group, const char* body,
                                                      AK_String& error);
