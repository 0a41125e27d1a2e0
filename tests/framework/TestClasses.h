// Small classes with their own class tables, built the way every class of the system is
// built, for the tests of the construction protocol, types and component creation.
#pragma once

#include <string>
#include <vector>

#include "AK_Framework.h"

// Every Set of "Log" on a test class appends "<level>:<value>" here.
std::vector<std::string>& TestLog();

class TST_Level1 : public AK_Class<TST_Level1> {
public:
  static constexpr const char* kClassName = "TST_Level1";
  TST_Level1(const char* id, AK_Object* parent) : AK_Class(id, parent)
  {
    SetUpClassLevel();
    RunClassDefaults();
  }
  static void DeclareAttributes(AK_AttributeTableOf<TST_Level1>& t)
  {
    t.Int("Value", &TST_Level1::_value).Range(-1000, 1000);
    t.Command("Log", [](TST_Level1&, const char* v) {
      TestLog().push_back(std::string("Level1:") + v);
    });
    static const char* const kChoices[] = {"0", "1", "7"};
    t.Options("ChoiceOptions", kChoices);
  }
  int32_t _value = 0;
};

class TST_Level2 : public AK_Class<TST_Level2, TST_Level1> {
public:
  static constexpr const char* kClassName = "TST_Level2";
  TST_Level2(const char* id, AK_Object* parent) : AK_Class(id, parent)
  {
    SetUpClassLevel();
    RunClassDefaults();
  }
  static void DeclareAttributes(AK_AttributeTableOf<TST_Level2>& t)
  {
    t.Int("Extra", &TST_Level2::_extra).Loose();
    t.Command("Log", [](TST_Level2&, const char* v) {
      TestLog().push_back(std::string("Level2:") + v);
    });
  }
  int32_t _extra = 0;
};

// A container that creates any registered type by name.
class TST_Holder : public AK_Class<TST_Holder, AK_Container> {
public:
  static constexpr const char* kClassName = "TST_Holder";
  TST_Holder(const char* id, AK_Object* parent) : AK_Class(id, parent)
  {
    SetUpClassLevel();
    RunClassDefaults();
  }
  AK_Object* CreateComponent(const char* id, const char* typeName) override
  {
    return AK_CreateObjectOfType(typeName, id, this);
  }
};

// Writes the tables of the test classes into the user attributes directory and registers
// the classes. Called once before the first test.
void TestRegisterClasses();
