#include "AK_ClassRegistry.h"

#include <string>
#include <vector>

#include "AK_Object.h"

namespace {

struct Entry {
  std::string className;
  std::string typeName;
  AK_ObjectConstructor construct;
};

std::vector<Entry>& Registry()
{
  static std::vector<Entry> entries;
  return entries;
}

const Entry* FindBy(const char* name, bool byType)
{
  if (!name) return nullptr;
  for (const Entry& e : Registry())
    if ((byType ? e.typeName : e.className) == name) return &e;
  return nullptr;
}

}  // namespace

void AK_RegisterClass(const char* className, const char* typeName, AK_ObjectConstructor construct)
{
  if (!className || !typeName || !construct) return;
  for (Entry& e : Registry()) {
    if (e.className == className) {
      e.typeName = typeName;
      e.construct = construct;
      return;
    }
  }
  Registry().push_back(Entry{className, typeName, construct});
}

AK_Object* AK_CreateObjectOfType(const char* typeName, const char* id, AK_Object* parent)
{
  const Entry* e = FindBy(typeName, true);
  return e ? e->construct(id ? id : "", parent) : nullptr;
}

AK_Object* AK_CreateObjectOfClass(const char* className, const char* id, AK_Object* parent)
{
  const Entry* e = FindBy(className, false);
  return e ? e->construct(id ? id : "", parent) : nullptr;
}

AK_String AK_RegisteredTypeName(const char* className)
{
  const Entry* e = FindBy(className, false);
  return e ? AK_String(e->typeName.c_str()) : AK_String();
}

AK_Array<AK_String> AK_RegisteredClassNames()
{
  AK_Array<AK_String> names;
  for (const Entry& e : Registry()) names.Append(AK_String(e.className.c_str()));
  return names;
}
