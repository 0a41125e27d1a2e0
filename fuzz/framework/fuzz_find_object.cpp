// Path lookup with any path, as a plain path and as an attribute address.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  FuzzSetUpOnce();
  std::string path(reinterpret_cast<const char*>(data), size);
  path = path.substr(0, path.find('\0'));
  FuzzTree tree;
  AK_Object* b = tree.project->FindObject("a/b");
  AK_Object* found = b->FindObject(path.c_str());
  if (found && found->IsDead()) __builtin_trap();
  b->Get((path + ":Id").c_str());
  tree.project->Set((path + ":Active").c_str(), "1");
  return 0;
}
