// SW_Labels: the container of a project's text labels (AK_Text2d), in the order they were
// added. The workspace creates one, "Labels", as the last child of the project.
#pragma once

#include "AK_Container.h"

class SW_Labels : public AK_Class<SW_Labels, AK_Container> {
public:
  static constexpr const char* kClassName = "SW_Labels";
  SW_Labels(const char* id, AK_Object* parent);
  static void DeclareAttributes(AK_AttributeTableOf<SW_Labels>& t);

  // "Text2d" gives a new label (not added); any other type none.
  AK_Object* CreateComponent(const char* id, const char* typeName) override;
};
