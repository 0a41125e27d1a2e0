#include "AK_Container.h"

AK_Container::AK_Container(const char* id, AK_Object* parent) : AK_Class(id, parent)
{
  SetUpClassLevel();
  RunClassDefaults();
}

void AK_Container::DeclareAttributes(AK_AttributeTableOf<AK_Container>& t)
{
  using C = AK_Container;
  t.Vis("DeleteVisibility", [](C& c) { return c.ComponentCount() > 0 ? "w" : "r"; });
  t.Answer("UnloadedComponentsList", [](C& c) { return c.GetUnloadedComponentsList(); });
  t.Command("DeleteObject", &C::DeleteComponent);
  t.Command("DeleteAll", [](C& c, const char*) {
    // Every repetition removes one component: a container holds owned components only,
    // and a link that ended up here is dropped instead.
    while (c.ComponentCount() > 0) {
      AK_String last(c.Component(c.ComponentCount() - 1)->Id());
      if (!c.DeleteComponent(last) && !c.RemoveComponent(last)) break;
    }
  });
  t.Command("LoadComponent", &C::LoadComponent);
  t.Command("UnloadComponent", &C::UnloadComponent);
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
