// Small classes with their own class tables, built the way every class of the system is
// built, for the tests of the construction protocol, types and component creation.
#pragma once

#include <string>
#include <vector>

#include "AK_Framework.h"

// Every Set of "Log" on a test class appends "<level>:<value>" here.
std::vector<std::string>& TestLog();

class TST_Level1 : public AK_Object {
public:
  TST_Level1(const char* id, AK_Object* parent);
  static AK_ClassRecord& ClassRecord();
  AK_AttributeNode* GetClassInfo() override { return ClassRecord().table; }
  AK_String Get(const char* name) override;
  int Set(const char* name, const char* value) override;
  int _value = 0;
};

class TST_Level2 : public TST_Level1 {
public:
  TST_Level2(const char* id, AK_Object* parent);
  static AK_ClassRecord& ClassRecord();
  AK_AttributeNode* GetClassInfo() override { return ClassRecord().table; }
  AK_String Get(const char* name) override;
  int Set(const char* name, const char* value) override;
  int _extra = 0;
};

// A container that creates any registered type by name.
class TST_Holder : public AK_Container {
public:
  TST_Holder(const char* id, AK_Object* parent);
  static AK_ClassRecord& ClassRecord();
  AK_AttributeNode* GetClassInfo() override { return ClassRecord().table; }
  AK_Object* CreateComponent(const char* id, const char* typeName) override;
};

// Writes the tables of the test classes into the user attributes directory and registers
// the classes. Called once before the first test.
void TestRegisterClasses();
