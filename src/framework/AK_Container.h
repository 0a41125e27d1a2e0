// AK_Container: an object whose main content is an ordered list of owned components, which
// it deletes, loads and unloads by name and keeps sorted by Id at each update. It creates
// no components itself: each derived container's CreateComponent creates its own types.
#pragma once

#include "AK_Object.h"

class AK_Container : public AK_Object {
public:
  AK_Container(const char* id, AK_Object* parent);

  AK_AttributeNode* GetClassInfo() override;
  AK_String Get(const char* name) override;
  int Set(const char* name, const char* value) override;
  int AppendDefaultAttribute(const char* attribute, const char* value) override;
  void Update() override;
  void Unload(const char* text) override;
  int WriteClassValues() override;

  static AK_ClassRecord& ClassRecord();
};
