// The command language: the grammar, escapes, execution and its messages, explanations,
// and the command lists of class tables.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "TestClasses.h"

namespace {

struct Parsed {
  int result;
  std::string kind, path, attribute, value;
};

Parsed Parse(AK_Object& o, const std::string& line)
{
  AK_String kind("untouched"), path("untouched"), attribute("untouched"), value("untouched");
  int r = o.ParseCommand(line.c_str(), kind, path, attribute, value);
  return Parsed{r, kind.c_str(), path.c_str(), attribute.c_str(), value.c_str()};
}

// The value writer of the plain command format, for values that need no further escape.
std::string PlainFormat(const std::string& path, const std::string& attribute, std::string value)
{
  std::string escaped;
  for (char c : value) {
    if (c == '\n')
      escaped += "%%n";
    else if (c == '\t')
      escaped += "%%t";
    else if (c == '"')
      escaped += "%%q";
    else
      escaped += c;
  }
  return "set(\"" + path + "\", \"" + attribute + "\", \"" + escaped + "\")";
}

}  // namespace

TEST(Commands, Grammar)
{
  AK_Object o("o", nullptr);
  o.SetVariable("$p", "root");
  o.SetVariable("$v", "from variable");
  struct Case {
    std::string line;
    int result;
    const char* kind;
    const char* path;
    const char* attribute;
    const char* value;
  };
  const Case cases[] = {
      {"set(\"a\", \"b\", \"c\")", 0, "set", "a", "b", "c"},
      {"set(\"a\",\"b\",\"c\")", 0, "set", "a", "b", "c"},
      {"set( \"a\" , \"b\" , \"c\" )", 0, "set", "a", "b", "c"},
      {" set(\"a\", \"b\", \"c\")", 1, nullptr, nullptr, nullptr, nullptr},
      {"Set(\"a\", \"b\", \"c\")", 1, nullptr, nullptr, nullptr, nullptr},
      {"# anything", 0, "", nullptr, nullptr, nullptr},
      {"", 1, nullptr, nullptr, nullptr, nullptr},
      {"set(\"a\", \"b\", 5)", 3, nullptr, nullptr, nullptr, nullptr},
      {"set(\"a\", \"b\", $v)", 0, "set", "a", "b", "from variable"},
      {"set(\"a\", \"b\", $v )", 0, "set", "a", "b", "from variable"},
      {"set(\"a\", \"b\", \"$v\")", 0, "set", "a", "b", "from variable"},
      {"set(\"a\", \"b\", \"$v w\")", 0, "set", "a", "b", "$v w"},
      {"set(\"a\", \"b\", \"x $v\")", 0, "set", "a", "b", "x $v"},
      {"set($p, \"b\", \"c\")", 0, "set", "root", "b", "c"},
      {"set($unknown, \"b\", \"c\")", 0, "set", "", "b", "c"},
      {"set(\"a\", $q, \"c\")", 0, "set", "a", "", "c"},
      {"set(\"a\", \"b\", \"x%%qy%%nz%%tw\")", 0, "set", "a", "b", "x\"y\nz\tw"},
      {"set(\"a\", \"b\", \"say \"hi\", (ok)\")", 0, "set", "a", "b", "say \"hi\", (ok)"},
      {"set(\"a\", \"b\", \"c\") \"tail\"", 0, "set", "a", "b", "c\") \"tail"},
      {"set(\"a\", \"b\", \"back\\\"slash\")", 0, "set", "a", "b", "back\"slash"},
      {"set(\"a\", \"b\", \"C:\\dir\\file\")", 0, "set", "a", "b", "C:\\dir\\file"},
      {"set(\"a\" \"b\", \"c\")", 2, nullptr, nullptr, nullptr, nullptr},
      {"set(a, \"b\", \"c\")", 2, nullptr, nullptr, nullptr, nullptr},  // "b" is read as the path
      {"set(\"a\", b, \"c\")", 2, nullptr, nullptr, nullptr, nullptr},
      {"set(\"a\", \"b\", \"c\"", 3, nullptr, nullptr, nullptr, nullptr},
      {"set(\"a\", \"b\", \"c)", 3, nullptr, nullptr, nullptr, nullptr},
      {"set(\"a\")", 1, nullptr, nullptr, nullptr, nullptr},
      {"get(\"a\", \"b\", $x)", 0, "get", "a", "b", "$x"},
      {"get(\"a\", \"b\", \"$x\")", 0, "get", "a", "b", "$x"},
      {"get(\"a\", \"b\", \"x\")", 4, nullptr, nullptr, nullptr, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    MessageCapture messages;
    Parsed p = Parse(o, c.line);
    EXPECT_EQ(p.result, c.result);
    if (c.result == 4) {
      ASSERT_EQ(messages.messages.size(), 1u);
      EXPECT_EQ(messages.messages[0], "third argument of get() must be variable name!");
    }
    if (c.result != 0) continue;
    EXPECT_EQ(p.kind, c.kind);
    if (!c.path) continue;
    EXPECT_EQ(p.path, c.path);
    EXPECT_EQ(p.attribute, c.attribute);
    EXPECT_EQ(p.value, c.value);
  }
  EXPECT_STREQ(o.GetVariable("$unknown").c_str(), "");
  EXPECT_NE(std::string(o.GetVariableValues().c_str()).find("$unknown=%AK_SEP%"), std::string::npos);
}

// Every text written with AK_FormatSetCommand reads back as the same text; texts that the
// plain format carries keep exactly that format.
TEST(Commands, FormatAndParseRoundTripProperty)
{
  AK_Object o("o", nullptr);
  o.SetVariable("$v", "VARIABLE");
  const char alphabet[] = {'a', 'n', 't', 'q', '%', '%', '\\', '"', '\n', '\t', '$', ' ',
                           ',', '(', ')', '_', '1', ':', '/', '\r', '#', '='};
  std::mt19937 random(7);
  for (int round = 0; round < 5000; ++round) {
    std::string value;
    int length = static_cast<int>(random() % 12);
    if (round % 7 == 0) value = "$";
    for (int i = 0; i < length; ++i) value += alphabet[random() % sizeof alphabet];
    AK_String command = AK_FormatSetCommand("p/q", "Attr", value.c_str());
    SCOPED_TRACE("value [" + value + "] command " + command.c_str());
    Parsed p = Parse(o, command.c_str());
    ASSERT_EQ(p.result, 0);
    EXPECT_EQ(p.path, "p/q");
    EXPECT_EQ(p.attribute, "Attr");
    EXPECT_EQ(p.value, value);

    std::string trimmed = value.substr(0, value.find_last_not_of(' ') + 1);
    bool plain = value.find('\\') == std::string::npos && !AK_IsVariableName(trimmed.c_str()) &&
                 value.find("%%n") == std::string::npos && value.find("%%t") == std::string::npos &&
                 value.find("%%q") == std::string::npos;
    if (plain) {
      EXPECT_EQ(std::string(command.c_str()), PlainFormat("p/q", "Attr", value));
    }
  }
}

TEST(Commands, FormatExamples)
{
  EXPECT_STREQ(AK_FormatSetCommand("", "A", "x\"y\nz\tw").c_str(),
               "set(\"\", \"A\", \"x%%qy%%nz%%tw\")");
  EXPECT_STREQ(AK_FormatSetCommand("P", "A", "$v").c_str(), "set(\"P\", \"A\", \"\\$v\")");
  EXPECT_STREQ(AK_FormatSetCommand("P", "A", "a\\b").c_str(), "set(\"P\", \"A\", \"a\\\\b\")");
  AK_Object top("Viewer", nullptr);
  AK_Object* p = new AK_Object("Project", &top);
  top.AddComponent(p);
  EXPECT_STREQ(AK_FormatSetCommandFor(&top, p, "Active", "1").c_str(),
               "set(\"Project\", \"Active\", \"1\")");
}

TEST(Commands, SplitAttributeAddress)
{
  struct Case { const char* text; int result; const char* path; const char* attribute; };
  const Case cases[] = {{"a/b:Attr", 1, "a/b", "Attr"}, {"a:", 1, "a", ""},
                        {"a:b:c", 1, "a", "b:c"},        {"Type::Attr", 0, "-", "-"},
                        {"plain", 0, "-", "-"},          {":x", 1, "", "x"}};
  for (const Case& c : cases) {
    AK_String path("-"), attribute("-");
    EXPECT_EQ(AK_SplitAttributeAddress(c.text, path, attribute), c.result) << c.text;
    EXPECT_STREQ(path.c_str(), c.path);
    EXPECT_STREQ(attribute.c_str(), c.attribute);
  }
}

// The messages of each way a command can end, in order, without their locations.
TEST(Commands, MessageSequences)
{
  std::unique_ptr<AK_Object> top(new AK_Container("Viewer", nullptr));
  AK_Object* project = new AK_Container("Project", top.get());
  top->AddComponent(project);
  struct Case { std::string command; std::vector<std::string> messages; std::string error; };
  const Case cases[] = {
      {"set(\"Project\", \"Active\", \"1\")", {}, ""},
      {"nonsense", {"invalid command string:nonsense ignored!"}, ""},
      {"set(\"Nowhere\", \"Active\", \"1\")",
       {"could not execute command set(\"Nowhere\", \"Active\", \"1\"), ignored!",
        "error when executing 'set(\"Nowhere\", \"Active\", \"1\")':object 'Nowhere' not found"},
       "object 'Nowhere' not found"},
      {"# comment", {}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    AK_ErrorText = "an old failure";
    MessageCapture messages;
    top->ExecuteCommand(c.command.c_str(), 0);
    EXPECT_EQ(messages.messages, c.messages);
    EXPECT_STREQ(AK_ErrorText.c_str(), c.error.c_str());
  }
}

TEST(Commands, ReportGetAndPointerValues)
{
  std::unique_ptr<AK_Object> top(new AK_Container("Viewer", nullptr));
  AK_Object* project = new AK_Container("Project", top.get());
  top->AddComponent(project);
  {
    MessageCapture messages;
    top->ExecuteCommand("set(\"\", \"ReportCommands\", \"1\")", 0);
    top->ExecuteCommand("get(\"Project\", \"Id\", $id)", 0);
    top->ExecuteCommand("set(\"\", \"ReportCommands\", \"0\")", 0);
    std::vector<std::string> expected = {
        "Viewer executing command 'get(\"Project\", \"Id\", $id)'",
        "Viewer executing command 'set(\"\", \"ReportCommands\", \"0\")'"};
    EXPECT_EQ(messages.messages, expected);
  }
  EXPECT_STREQ(top->GetVariable("$id").c_str(), "Project");  // on the executing object
  EXPECT_STREQ(project->GetVariable("$id").c_str(), "");

  AK_String pointer = project->Get("Address");
  MessageCapture messages;
  top->ExecuteCommand(("set(\"Project\", \"Active\", \"" + std::string(pointer.c_str()) + "\")").c_str(), 0);
  EXPECT_TRUE(messages.messages.empty());
  EXPECT_EQ(project->IsActive(), 1);
  top->ExecuteCommand(("set(\"" + std::string(pointer.c_str()) + "\", \"Active\", \"0\")").c_str(), 0);
  EXPECT_EQ(project->IsActive(), 0);
}

TEST(Commands, CommandLists)
{
  AK_Container c("c", nullptr);
  AK_String list = c.Get("GetCommandsList");
  std::string text = list.c_str();
  EXPECT_EQ(text.rfind("UnloadedComponentsList%AK_SEP%Type%AK_SEP%Id%AK_SEP%IdAbs%AK_SEP%", 0), 0u)
      << text;
  EXPECT_NE(text.find("VariableValues%AK_SEP%"), std::string::npos);
  std::string visible = c.Get("VisibleGetCommandsList").c_str();
  EXPECT_EQ(visible.find("VariableValues"), std::string::npos);  // volatile entries are hidden
  EXPECT_NE(visible.find("MacroFileName"), std::string::npos);
  std::string labels = c.Get("GetLabelsList").c_str();
  EXPECT_EQ(labels.rfind("UnloadedComponents%AK_SEP%Type%AK_SEP%Id%AK_SEP%AbsolutePath", 0), 0u);
  AK_String sets;
  c.GetCommandsList(sets, 's', 0, 0);
  EXPECT_EQ(std::string(sets.c_str()).rfind("DeleteObject%AK_SEP%DeleteAll%AK_SEP%LoadComponent", 0), 0u);
  AK_String visibleSets;
  c.GetCommandsList(visibleSets, 's', 1, 0);  // "DeleteVisibility" is "r": still listed
  EXPECT_EQ(std::string(visibleSets.c_str()).rfind("DeleteObject%AK_SEP%", 0), 0u);

  AK_AttributeNode* empty = AK_LoadClassAttributeTable("obj.Empty\n", nullptr);
  AK_Array<AK_String> collected;
  AK_CollectCommands(&c, collected, empty, 'g', 0, 0);
  EXPECT_EQ(collected.Size(), 0);
  delete empty;
}
