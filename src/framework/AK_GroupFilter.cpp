#include "AK_GroupFilter.h"

// Filters are scripts; without the script interpreter no filter compiles.
std::unique_ptr<AK_GroupFilter> AK_CompileGroupFilter(AK_Object*, const char* body, AK_String& error)
{
  if (!body || !*body) return nullptr;
  error = "cannot compile filter: no script interpreter";
  return nullptr;
}
