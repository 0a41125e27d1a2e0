// The stack of objects on whose behalf script code runs (the current-object stack). Host
// functions that scripts call resolve their object paths from its top; whoever calls script
// code for an object pushes the object first and pops it afterwards.
#pragma once

#include "AK_Basic.h"
#include "AK_WeakRef.h"

class AK_Object;

AK_Array<AK_Object*>& AK_CurrentObjectStack();
// The same stack under the name that the domain classes use when they push an object around
// a script call of their own (a user formula, a release-depth function).
extern AK_Array<AK_Object*>& AK_CurrentObjects;
// The top of the stack, or none when no script code runs for an object.
AK_Object* AK_TopCurrentObject();

// Pushes an object while it lives. Script code runs within it, so it is also an operation
// scope: an object deleted by the script stays readable (and dead) until the call returns.
class AK_CurrentObjectScope {
public:
  explicit AK_CurrentObjectScope(AK_Object* object);
  ~AK_CurrentObjectScope();
  AK_CurrentObjectScope(const AK_CurrentObjectScope&) = delete;
  AK_CurrentObjectScope& operator=(const AK_CurrentObjectScope&) = delete;

private:
  AK_OperationScope _operation;
};
