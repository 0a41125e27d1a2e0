#include "AK_CurrentObject.h"

AK_Array<AK_Object*>& AK_CurrentObjectStack()
{
  static AK_Array<AK_Object*> stack;
  return stack;
}

AK_Array<AK_Object*>& AK_CurrentObjects = AK_CurrentObjectStack();

AK_Object* AK_TopCurrentObject()
{
  AK_Array<AK_Object*>& stack = AK_CurrentObjectStack();
  return stack.Size() > 0 ? stack.Last() : nullptr;
}

AK_CurrentObjectScope::AK_CurrentObjectScope(AK_Object* object)
{
  AK_CurrentObjectStack().Append(object);
}

AK_CurrentObjectScope::~AK_CurrentObjectScope()
{
  AK_Array<AK_Object*>& stack = AK_CurrentObjectStack();
  AK_FATAL_ASSERT_NAMED(stack.Size() > 0, "_curObj.Size()");
  stack.Remove(stack.Size() - 1);
}
