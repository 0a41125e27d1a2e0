// AK_Container: an object whose main content is an ordered list of owned components, which
// it deletes, loads and unloads by name and keeps sorted by Id at each update. It creates
// no components itself: each derived container's CreateComponent creates its own types.
#pragma once

#include "AK_ClassHelper.h"

class AK_Container : public AK_Class<AK_Container> {
public:
  static constexpr const char* kClassName = "AK_Container";
  AK_Container(const char* id, AK_Object* parent);
  static void DeclareAttributes(AK_AttributeTableOf<AK_Container>& t);

  void Update() override;
  void Unload(const char* text) override;
};
