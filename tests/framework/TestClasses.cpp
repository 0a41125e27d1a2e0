#include "TestClasses.h"

const std::string& TestUserAttributesDirectory()
{
  static ScratchDir directory;
  static std::string path = directory.Path() + "/";
  return path;
}

void TestSetUpClassDirectories()
{
  AttributesDirectory = (std::string(TORVU_TEST_ATTRIBUTES_DIR) + "/").c_str();
  UserAttributesDirectory = TestUserAttributesDirectory().c_str();
}


std::vector<std::string>& TestLog()
{
  static std::vector<std::string> log;
  return log;
}

void TestRegisterClasses()
{
  const std::string& dir = TestUserAttributesDirectory();
  WriteFile(dir + "TST_Level1.atr",
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
  WriteFile(dir + "TST_Level2.atr",
                "obj.Level2\n"
                "\tdoc:Second test level.\n"
                "\tint.Extra:Extra\n"
                "\t\tset:Extra\n"
                "\t\tdoc:Another number.\n");
  WriteFile(dir + "TST_Holder.atr",
                "obj.Holder\n"
                "\tdoc:A container that creates registered types.\n");
  AK_RegisterClass("TST_Level1", "Level1", AK_Construct<TST_Level1>);
  AK_RegisterClass("TST_Level2", "Level2", AK_Construct<TST_Level2>);
  AK_RegisterClass("TST_Holder", "Holder", AK_Construct<TST_Holder>);
}
