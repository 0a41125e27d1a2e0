#include "AK_Container.h"

#include <cstring>

AK_ClassRecord& AK_Container::ClassRecord()
{
  static AK_ClassRecord record("AK_Container");
  return record;
}

AK_Container::AK_Container(const char* id, AK_Object* parent) : AK_Object(id, parent)
{
  AK_SetUpClassLevel(this, ClassRecord(), AK_Object::ClassRecord().table);
  RunClassDefaults(ClassRecord());
}

AK_AttributeNode* AK_Container::GetClassInfo() { return ClassRecord().table; }

AK_String AK_Container::Get(const char* name)
{
  AK_String answer;
  if (ScriptGet(ClassRecord().script, name, answer)) return answer;
  if (name && std::strcmp(name, "DeleteVisibility") == 0) {
    AK_ErrorText = "";
    return ComponentCount() > 0 ? AK_String("w") : AK_String("r");
  }
  if (name && std::strcmp(name, "UnloadedComponentsList") == 0) {
    AK_ErrorText = "";
    return GetUnloadedComponentsList();
  }
  return AK_Object::Get(name);
}

int AK_Container::Set(const char* name, const char* value)
{
  if (ScriptSet(ClassRecord().script, name, value)) return 1;
  if (!name) return 0;
  static const char* const kOwnNames[] = {"DeleteObject", "DeleteAll", "LoadComponent",
                                          "UnloadComponent"};
  int which = -1;
  for (int i = 0; i < 4; ++i)
    if (std::strcmp(name, kOwnNames[i]) == 0) which = i;
  if (which < 0) return AK_Object::Set(name, value);

  AK_String v(value ? value : "");
  AK_ErrorText = "";
  AK_OperationScope scope;
  switch (which) {
    case 0: DeleteComponent(v); break;
    case 1:
      // Every repetition removes one component: a container holds owned components only,
      // and a link that ended up here is dropped instead.
      while (ComponentCount() > 0) {
        AK_String last(Component(ComponentCount() - 1)->Id());
        if (!DeleteComponent(last) && !RemoveComponent(last)) break;
      }
      break;
    case 2: LoadComponent(v); break;
    case 3: UnloadComponent(v); break;
  }
  // Loading runs the component's attribute file, whose commands may delete this container.
  if (!IsDead()) MarkModified(kOwnNames[which]);
  return 1;
}

int AK_Container::AppendDefaultAttribute(const char* attribute, const char* value)
{
  return AK_AppendDefaultAttribute("AK_Container", attribute, value);
}

void AK_Container::Update()
{
  SortComponents();
  AK_Object::Update();
}

void AK_Container::Unload(const char*)
{
  AK_MESSAGE(AK_String("unloading container ") + GetAbsolutePath() + "...");
  for (int i = ComponentCount() - 1; i >= 0; --i) {
    if (i >= ComponentCount()) continue;
    AK_String id(Component(i)->Id());
    UnloadComponent(id);
  }
}

int AK_Container::WriteClassValues()
{
  return AK_WriteClassValues("AK_Object", AK_Object::ClassRecord().classValues) +
         AK_WriteClassValues("AK_Container", ClassRecord().classValues);
}
