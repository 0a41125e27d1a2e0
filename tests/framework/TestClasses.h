// Small classes with their own class tables, built the way every class of the system is
// built, for the tests of the construction protocol, types and component creation.
#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "AK_Framework.h"
#include "TestSupport.h"

// Points the attributes directory at the shipped class files and the user attributes
// directory at a fresh scratch directory (searched first, so tests can add class files).
// Called once, before the first object is constructed.
void TestSetUpClassDirectories();
// The scratch user attributes directory (ends with "/").
const std::string& TestUserAttributesDirectory();

// Tests that change process-wide class files or need classes whose first object is still to
// come run only when they are alone in their process, as ctest runs every test.
#define SKIP_UNLESS_ALONE_IN_PROCESS()                                 \
  if (testing::UnitTest::GetInstance()->test_to_run_count() > 1)       \
  GTEST_SKIP() << "changes process-wide state; runs alone under ctest"

// The background-start modes of the test program (a parent that starts itself in the
// background, and that child); -1 when the arguments name neither.
int RunBackgroundMode(int argc, char** argv);

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
    t.Int("Extra", &TST_Level2::_extra);
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
