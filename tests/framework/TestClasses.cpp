#include "TestClasses.h"

#include <cstdlib>
#include <cstring>

#include "FrameworkTestSupport.h"

std::vector<std::string>& TestLog()
{
  static std::vector<std::string> log;
  return log;
}

AK_ClassRecord& TST_Level1::ClassRecord()
{
  static AK_ClassRecord record("TST_Level1");
  return record;
}

TST_Level1::TST_Level1(const char* id, AK_Object* parent) : AK_Object(id, parent)
{
  AK_SetUpClassLevel(this, ClassRecord(), AK_Object::ClassRecord().table);
  _value = 0;
  RunClassDefaults(ClassRecord());
}

AK_String TST_Level1::Get(const char* name)
{
  AK_String answer;
  if (ScriptGet(ClassRecord().script, name, answer)) return answer;
  if (std::strcmp(name, "Value") == 0) {
    AK_ErrorText = "";
    return AK_String(_value);
  }
  if (std::strcmp(name, "ChoiceOptions") == 0) {
    AK_ErrorText = "";
    return AK_String("0%AK_SEP%1%AK_SEP%7%AK_SEP%");
  }
  return AK_Object::Get(name);
}

int TST_Level1::Set(const char* name, const char* value)
{
  if (ScriptSet(ClassRecord().script, name, value)) return 1;
  if (std::strcmp(name, "Value") == 0) {
    AK_ErrorText = "";
    _value = std::atoi(value);
  } else if (std::strcmp(name, "Log") == 0) {
    AK_ErrorText = "";
    TestLog().push_back(std::string("Level1:") + value);
  } else {
    return AK_Object::Set(name, value);
  }
  MarkModified(name);
  return 1;
}

AK_ClassRecord& TST_Level2::ClassRecord()
{
  static AK_ClassRecord record("TST_Level2");
  return record;
}

TST_Level2::TST_Level2(const char* id, AK_Object* parent) : TST_Level1(id, parent)
{
  AK_SetUpClassLevel(this, ClassRecord(), TST_Level1::ClassRecord().table);
  _extra = 0;
  RunClassDefaults(ClassRecord());
}

AK_String TST_Level2::Get(const char* name)
{
  AK_String answer;
  if (ScriptGet(ClassRecord().script, name, answer)) return answer;
  if (std::strcmp(name, "Extra") == 0) {
    AK_ErrorText = "";
    return AK_String(_extra);
  }
  return TST_Level1::Get(name);
}

int TST_Level2::Set(const char* name, const char* value)
{
  if (ScriptSet(ClassRecord().script, name, value)) return 1;
  if (std::strcmp(name, "Extra") == 0) {
    AK_ErrorText = "";
    _extra = std::atoi(value);
  } else if (std::strcmp(name, "Log") == 0) {
    AK_ErrorText = "";
    TestLog().push_back(std::string("Level2:") + value);
  } else {
    return TST_Level1::Set(name, value);
  }
  MarkModified(name);
  return 1;
}

AK_ClassRecord& TST_Holder::ClassRecord()
{
  static AK_ClassRecord record("TST_Holder");
  return record;
}

TST_Holder::TST_Holder(const char* id, AK_Object* parent) : AK_Container(id, parent)
{
  AK_SetUpClassLevel(this, ClassRecord(), AK_Container::ClassRecord().table);
  RunClassDefaults(ClassRecord());
}

AK_Object* TST_Holder::CreateComponent(const char* id, const char* typeName)
{
  return AK_CreateObjectOfType(typeName, id, this);
}

void TestRegisterClasses()
{
  const std::string& dir = TestUserAttributesDirectory();
  WriteTextFile(dir + "TST_Level1.atr",
                "obj.Level1\n"
                "\tdoc:First test level.\n"
                "\tint.Value:Value\n"
                "\t\tset:Value\n"
                "\t\tdoc:A number.\n"
                "\tstring.Log\n"
                "\t\tset:Log\n"
                "\t\tdoc:Appends to the test log.\n"
                "\tstring.Hidden:Id\n"
                "\t\tvis:VisNone\n"
                "\t\tdoc:Never offered.\n"
                "\tstring.Shown:Id\n"
                "\t\tvis:VisRead\n"
                "\t\tdoc:Offered read-only.\n"
                "\tbool.Flag:Value\n"
                "\t\tset:Value\n"
                "\t\tdoc:The number as a switch.\n"
                "\tstring.Choice:Value\n"
                "\t\tset:Value\n"
                "\t\toptions:ChoiceOptions\n"
                "\t\tdoc:The number chosen from a list.\n"
                "\tstring.List:$list\n"
                "\t\tset:$list\n"
                "\t\tdoc:A list in a variable.\n"
                "\tapply.Touch\n"
                "\t\tset:Log\n"
                "\t\tdoc:Appends an empty entry to the test log.\n");
  WriteTextFile(dir + "TST_Level2.atr",
                "obj.Level2\n"
                "\tdoc:Second test level.\n"
                "\tint.Extra:Extra\n"
                "\t\tset:Extra\n"
                "\t\tdoc:Another number.\n");
  WriteTextFile(dir + "TST_Holder.atr",
                "obj.Holder\n"
                "\tdoc:A container that creates registered types.\n");
  AK_RegisterClass("TST_Level1", "Level1", AK_Construct<TST_Level1>);
  AK_RegisterClass("TST_Level2", "Level2", AK_Construct<TST_Level2>);
  AK_RegisterClass("TST_Holder", "Holder", AK_Construct<TST_Holder>);
}
