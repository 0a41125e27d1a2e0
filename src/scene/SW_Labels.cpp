#include "SW_Labels.h"

#include "AK_Text2d.h"

SW_Labels::SW_Labels(const char* id, AK_Object* parent) : AK_Class(id, parent)
{
  SetUpClassLevel();
  RunClassDefaults();
}

void SW_Labels::DeclareAttributes(AK_AttributeTableOf<SW_Labels>& t)
{
  t.Command("Create", [](SW_Labels& c, const char* id) { c.AddComponent(new AK_Text2d(id, &c)); });
}

AK_Object* SW_Labels::CreateComponent(const char* id, const char* typeName)
{
  if (AK_String(typeName ? typeName : "") == "Text2d") return new AK_Text2d(id, this);
  return nullptr;
}
