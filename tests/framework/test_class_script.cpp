// Class scripts: the Get and Set hooks, "Init", the current-object stack, script macros, the
// host functions and the prelude that declares them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "AK_CurrentObject.h"
#include "TestClasses.h"
#include "ast_sci.h"

namespace fs = std::filesystem;

namespace {

// A class with a script in the user attributes directory.
class TST_Scripted : public AK_Class<TST_Scripted> {
public:
  static constexpr const char* kClassName = "TST_Scripted";
  TST_Scripted(const char* id, AK_Object* parent) : AK_Class(id, parent)
  {
    SetUpClassLevel();
    RunClassDefaults();
  }
  static void DeclareAttributes(AK_AttributeTableOf<TST_Scripted>& t)
  {
    t.Int("Value", &TST_Scripted::_value);
    t.Attribute("Text", [](TST_Scripted&) { return "built-in"; },
                [](TST_Scripted& o, const char*) { ++o._builtInTextSets; });
  }
  int32_t _value = 0;
  int _builtInTextSets = 0;
};

// A class whose script does not compile.
class TST_Broken : public AK_Class<TST_Broken> {
public:
  static constexpr const char* kClassName = "TST_Broken";
  TST_Broken(const char* id, AK_Object* parent) : AK_Class(id, parent) { SetUpClassLevel(); }
};

const char* const kScript = R"(//  the class script of the tests
int inits = 0;
char initId[64];
char path[128];
int lastResult = -1;
int lastFlag = -1;
char lastError[256];

void Init() { inits = inits + 1; get("", "Id", initId); }
void InitInfo(char v[]) { sprintf(v, "%d %s", inits, initId); }
void Doubled(char v[]) { char value[32]; get("", "Value", value); sprintf(v, "%d", 2 * atoi(value)); }
void SetTwice(char v[]) { char text[32]; sprintf(text, "%d", 2 * atoi(v)); set("", "Value", text); }
void Text(char v[]) { strcpy(v, "scripted"); }  // takes the built-in attribute over
void SetPath(char v[]) { strcpy(path, v); }
void IdAtPath(char v[]) { get(path, "Id", v); }
void TrySet(char v[]) { lastResult = set(path, v, "1"); lastError[0] = 0; lastFlag = error(lastError); }
void Report(char v[]) { sprintf(v, "%d %d %s", lastResult, lastFlag, lastError); }
void Fail(char v[]) { set_error(v); }
void Clobber(char v[]) { strcpy(v, "changed by the script"); }
void Fill(char v[]) { int i; for (i = 0; i < 200000; i = i + 1) v[i] = 'x'; }
void LongCopy(char v[])
{
  char chunk[1001];
  int i;
  for (i = 0; i < 1000; i = i + 1) chunk[i] = 'y';
  chunk[1000] = 0;
  v[0] = 0;
  for (i = 0; i < 200; i = i + 1) strcat(v, chunk);
}
int Bad(int x) { return x; }
void NoArguments() { set("", "Value", "77"); }
void Nested(char v[]) { set("../other", "SetTwice", v); }
void Times(char v[])
{
  sprintf(v, "%.0f %.0f %.0f %.0f", exec_time("", "Value"), modification_time(""),
          modification_time_recursive(".."), exec_time("nowhere", "Value"));
}
void Stack(char v[])
{
  char top[64];
  get("", "Id", top);
  if (DIR_SEP == '/') sprintf(v, "%s %s", top, AK_SEP);
  else sprintf(v, "%s no", top);
}
)";

void SetUpScriptedClasses()
{
  static bool done = false;
  if (done) return;
  done = true;
  const std::string& dir = TestUserAttributesDirectory();
  WriteFile(dir + "TST_Scripted.atr", "obj.Scripted\n\tdoc:A class with a script.\n"
                                      "\tint.Value:Value\n\t\tset:Value\n\t\tdoc:A number.\n"
                                      "\tstring.Text:Text\n\t\tset:Text\n\t\tdoc:Taken over by the script.\n");
  WriteFile(dir + "TST_Scripted.cint", kScript);
  WriteFile(dir + "TST_Broken.atr", "obj.Broken\n\tdoc:A class whose script does not compile.\n");
  WriteFile(dir + "TST_Broken.cint", "void Id(char v[]) { strcpy(v, \"never\") }\n");
  AK_RegisterClass("TST_Scripted", "Scripted", AK_Construct<TST_Scripted>);
}

// The first object of the class is constructed here, once, so that "Init" sees it.
struct ScriptedTree {
  AK_Container top{"top", nullptr};
  TST_Scripted* first;
  TST_Scripted* other;
  ScriptedTree()
  {
    SetUpScriptedClasses();
    first = new TST_Scripted("first", &top);
    top.AddComponent(first);
    other = new TST_Scripted("other", &top);
    top.AddComponent(other);
  }
};

struct Array {
  std::vector<char> bytes;
  ast_sci_array_scope* scope = nullptr;
  Array(size_t size, const char* text) : bytes(size, '#')
  {
    std::strncpy(bytes.data(), text, size - 1);
    bytes[size - 1] = 0;
    scope = new ast_sci_array_scope(bytes.data(), size);
  }
  ~Array() { delete scope; }
  Array(const Array&) = delete;
  Array& operator=(const Array&) = delete;
  char* data() { return bytes.data(); }
  std::string text() const { return std::string(bytes.data(), strnlen(bytes.data(), bytes.size())); }
};

}  // namespace

TEST(ClassScript, GetAndSetHooks)
{
  MessageCapture messages;
  ScriptedTree tree;
  EXPECT_TRUE(messages.Contains("user-specific " + TestUserAttributesDirectory() + "TST_Scripted.cint"));
  TST_Scripted later("later", nullptr);
  TST_Scripted* o = tree.first;
  o->Set("Value", "21");
  tree.other->Set("Value", "4");
  EXPECT_EQ(tree.top.LastModificationTimeRecursive(), tree.other->ModificationTime("Value"));
  const std::string times = std::to_string(o->ModificationTime("Value")) + " " +
                            std::to_string(o->LastModificationTime()) + " " +
                            std::to_string(tree.top.LastModificationTimeRecursive()) +
                            " -1000000000000000019884624838656";
  // "Init" ran once, for the first object of the class; the script takes "Text" over; names
  // without a script function go to the class and its bases; a function that does not take one
  // array is not called; the answer is cut to the buffer, also when the script overruns it.
  const struct { AK_Object* object; const char* name; std::string answer; } rows[] = {
      {o, "Times", times},
      {o, "InitInfo", "1 first"},
      {tree.other, "InitInfo", "1 first"},
      {&later, "InitInfo", "1 first"},
      {o, "Doubled", "42"},
      {o, "Text", "scripted"},
      {o, "Type", "Scripted"},
      {o, "Nothing", "%AK_NULL%"},
      {o, "Bad", "%AK_NULL%"},
      {o, "Stack", "first %AK_SEP%"},
      {o, "Fill", std::string(131071, 'x')},  // ends with a run-time error
      {o, "LongCopy", std::string(131071, 'y')},  // strcat truncates
  };
  for (const auto& row : rows) EXPECT_EQ(std::string(row.object->Get(row.name).c_str()), row.answer) << row.name;
  EXPECT_TRUE(messages.Contains("WARNING:AST_SCI function 'Bad' must take one character array; not called"));

  // A Set the script takes over counts as handled and modified though it changes nothing.
  int32_t before = o->ModificationTime("Text");
  AK_ErrorText = "stale";
  EXPECT_EQ(o->Set("Text", "anything"), 1);
  EXPECT_STREQ(AK_ErrorText.c_str(), "");
  EXPECT_EQ(o->_builtInTextSets, 0);
  EXPECT_GT(o->ModificationTime("Text"), before);

  EXPECT_EQ(o->Set("SetTwice", "5"), 1);
  EXPECT_EQ(o->_value, 10);
  EXPECT_GT(o->ModificationTime("SetTwice"), 0);
  EXPECT_EQ(o->Set("NoArguments", "x"), 1);  // a function without arguments is called
  EXPECT_EQ(o->_value, 77);
  EXPECT_EQ(o->Set("Fail", "it went wrong"), 1);  // the script reports its own failure
  EXPECT_STREQ(AK_ErrorText.c_str(), "it went wrong");
  AK_String value("keep me");  // the script works on a copy of the value
  EXPECT_EQ(o->Set("Clobber", value), 1);
  EXPECT_STREQ(value.c_str(), "keep me");
  EXPECT_EQ(AK_CurrentObjectStack().Size(), 0);
}

TEST(ClassScript, PathsAreResolvedFromTheObjectTheScriptRunsFor)
{
  ScriptedTree tree;
  TST_Scripted* o = tree.first;
  struct Case { const char *path, *id; };
  for (Case c : {Case{"", "first"}, Case{"root", "top"}, Case{"..", "top"}, Case{"../other", "other"},
                 Case{"nowhere", ""}}) {
    SCOPED_TRACE(c.path);
    o->Set("SetPath", c.path);
    EXPECT_STREQ(o->Get("IdAtPath").c_str(), c.id);
  }

  // "set" answers 2 for no object (error text untouched), 0 for an attribute nobody
  // handles, 1 when a handler leaves an error.
  o->Set("SetPath", "nowhere");
  AK_ErrorText = "";
  o->Set("TrySet", "Active");
  EXPECT_STREQ(o->Get("Report").c_str(), "2 0 ");
  o->Set("SetPath", "../other");
  o->Set("TrySet", "NoSuchAttribute");
  EXPECT_STREQ(o->Get("Report").c_str(), "0 0 ");
  o->Set("TrySet", "AssignAttributesOf");  // the value "1" names no object
  EXPECT_STREQ(o->Get("Report").c_str(), "1 1 object '1' not found");

  // Nested hooks stack up and unwind.
  EXPECT_EQ(o->Set("Nested", "4"), 1);
  EXPECT_EQ(tree.other->_value, 8);
  EXPECT_EQ(AK_CurrentObjectStack().Size(), 0);

  // A domain class pushes its object under the stack's other name around a script call of
  // its own; the host functions then resolve paths from it.
  AK_CurrentObjects.Append(tree.other);
  Array path(8, ""), attribute(8, "Id"), value(16, "");
  AK_sci_get(path.data(), attribute.data(), value.data());
  AK_CurrentObjects.Remove(AK_CurrentObjects.Size() - 1);
  EXPECT_EQ(value.text(), "other");
}

TEST(ClassScript, SyntaxErrorsAreListedAndTheClassHasNoScript)
{
  SetUpScriptedClasses();
  MessageCapture messages;
  AK_RegisterClass("TST_Broken", "Broken", AK_Construct<TST_Broken>);
  TST_Broken broken("broken", nullptr);
  std::string prefix = "INFO:1 syntax errors in AST_SCI file " + TestUserAttributesDirectory() +
                       "TST_Broken.cint:\n";
  bool listed = false;
  for (const auto& m : messages.messages)
    if (m.rfind(prefix, 0) == 0 && m.size() > prefix.size()) listed = true;
  EXPECT_TRUE(listed);
  EXPECT_STREQ(broken.Get("Id").c_str(), "broken");
}

TEST(ClassScript, ScriptMacrosRunMain)
{
  ScratchDir dir;
  AK_Container top("top", nullptr);
  AK_Object* child = new AK_Object("child", &top);
  top.AddComponent(child);
  WriteFile(dir / "ok.cint",
            "int main()\n{\n  char id[32];\n  char n[16];\n  get(\"\", \"Id\", id);\n  set(\"\", \"$ran\", id);\n"
            "  get(\"\", \"$count\", n);\n  sprintf(n, \"%d\", atoi(n) + 1);\n  set(\"\", \"$count\", n);\n"
            "  set(\"child\", \"MacroRepetitions\", \"5\");\n  return 0;\n}\n");
  WriteFile(dir / "nomain.cint", "int x = 3;\n");
  WriteFile(dir / "broken.cint", "int main( { }\n");
  WriteFile(dir / "runtime.cint", "int main() { int a[2]; int i = 5; a[i] = 1; set(\"\", \"$after\", \"yes\"); return 0; }\n");

  MessageCapture messages;
  AK_ErrorText = "";
  top.ExecMacro((dir / "ok.cint").c_str(), 0);
  EXPECT_STREQ(AK_ErrorText.c_str(), "");
  EXPECT_STREQ(top.GetVariable("$ran").c_str(), "top");
  EXPECT_EQ(child->MacroRepetitions(), 5);
  EXPECT_STREQ(top.GetVariable("$count").c_str(), "1");
  top.SetMacroRepetitions(3);  // a script macro runs once
  top.Set("ExecMacro", (dir / "ok.cint").c_str());
  EXPECT_STREQ(top.GetVariable("$count").c_str(), "2");
  EXPECT_EQ(AK_CurrentObjectStack().Size(), 0);

  messages.Clear();
  top.ExecMacro((dir / "nomain.cint").c_str(), 0);
  EXPECT_TRUE(messages.messages.empty());  // a missing main is not reported
  top.ExecMacro((dir / "broken.cint").c_str(), 0);
  ASSERT_EQ(messages.messages.size(), 1u);
  EXPECT_EQ(messages.messages[0].rfind("INFO:1 syntax errors in AST_SCI file " + (dir / "broken.cint") + ":\n", 0), 0u);
  testing::internal::CaptureStdout();
  top.ExecMacro((dir / "runtime.cint").c_str(), 0);  // ends with the interpreter's message
  std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_NE(printed.find("index 5 out of range"), std::string::npos) << printed;
  EXPECT_STREQ(top.GetVariable("$after").c_str(), "");
  EXPECT_STREQ(AK_ErrorText.c_str(), "");

  // A name that is not found as given is looked up in the attributes directories.
  WriteFile(TestUserAttributesDirectory() + "found_there.cint", "int main() { set(\"\", \"$there\", \"1\"); return 0; }\n");
  top.ExecMacro("found_there.cint", 0);
  EXPECT_STREQ(top.GetVariable("$there").c_str(), "1");
  top.ExecMacro("missing_anywhere.cint", 0);
  EXPECT_EQ(std::string(AK_ErrorText.c_str()), "can neither open macro file 'missing_anywhere.cint' nor '" +
                                                    std::string(AttributesDirectory.c_str()) +
                                                    "missing_anywhere.cint'");
}

TEST(ClassScript, ListOfPredefinedNamesIsThePrelude)
{
  AK_Object o("o", nullptr);
  MessageCapture messages;
  EXPECT_EQ(o.Set("List_AST_SCI_predefined", "ignored"), 1);
  ASSERT_EQ(messages.messages.size(), 1u);
  std::string prelude = AK_HostScriptPrelude;
  EXPECT_EQ(messages.messages[0], "INFO:AST_SCI-Interpreter predefined variables and functions\n" + prelude);
  // Every host function is declared, each comment in column 28 or one blank after longer code.
  for (const char* name : {"set", "get", "message", "set_error", "error", "list_size", "get_list_element", "add_id",
                           "cut_id", "add_name", "cut_name", "add_extension", "cut_extension", "make_directory",
                           "get_attribute_file", "exec_time", "modification_time", "modification_time_recursive"})
    EXPECT_NE(prelude.find(std::string(" ") + name + "("), std::string::npos) << name;
  std::istringstream lines(prelude);
  for (std::string line; std::getline(lines, line);) {
    size_t comment = line.find("//");
    if (comment == 0 || comment == std::string::npos) continue;
    std::string code = line.substr(0, line.find_last_not_of(' ', comment - 1) + 1);
    EXPECT_EQ(comment, std::max<size_t>(27, code.size() + 1)) << line;
  }
  EXPECT_NE(prelude.find("char AK_SEP[9] = \"%AK_SEP%\";\n"), std::string::npos);
}

// --- the host helpers, called as a script calls them: with arrays of known size ---

TEST(HostFunctions, Lists)
{
  struct Case { const char* list; int index; size_t size; int size_result, element_result; const char* element; };
  const Case cases[] = {
      {"a%AK_SEP%b%AK_SEP%", 1, 16, 2, 1, "b"},
      {"a%AK_SEP%b%AK_SEP%", 2, 16, 2, 0, "unchanged"},
      {"a%AK_SEP%b%AK_SEP%", 5, 16, 2, 0, "unchanged"},
      {"a%AK_SEP%b%AK_SEP%", -1, 16, 2, 1, "a"},
      {"a%AK_SEP%b", 1, 16, 1, 0, "unchanged"},  // text after the last separator is no element
      {"%AK_SEP%x%AK_SEP%", 0, 16, 2, 0, ""},
      {"", 0, 16, 0, 0, "unchanged"},
      {"abcdef%AK_SEP%", 0, 4, 1, 3, "abc"},  // cut to the array
      {"%AK_SEP%%AK_SEP%%AK_SEP%", 2, 16, 3, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.list) + " " + std::to_string(c.index));
    Array list(64, c.list);
    Array s(c.size, "unchanged");
    if (c.size < 10) std::strcpy(s.data(), "");
    std::string before = s.text();
    EXPECT_EQ(AK_sci_list_size(list.data()), c.size_result);
    int i = c.index;
    EXPECT_EQ(AK_sci_get_list_element(list.data(), &i, s.data()), c.element_result);
    EXPECT_EQ(s.text(), std::string(c.element) == "unchanged" ? before : std::string(c.element));
  }
  // A script's text is read no further than its array, terminated or not.
  Array unterminated(8, "");
  std::memcpy(unterminated.data(), "x%AK_SEP", 8);
  EXPECT_EQ(AK_sci_list_size(unterminated.data()), 0);
}

TEST(HostFunctions, PathsNamesAndExtensions)
{
  struct Case { const char *function, *first, *second; size_t size; int result; const char *first_after, *second_after; };
  const Case cases[] = {
      {"add_id", "", "x", 32, 0, "./x", "x"},
      {"add_id", "a/", "x", 32, 0, "a/x", "x"},
      {"add_id", "a", "x", 32, 0, "a/x", "x"},
      {"add_id", "ab", "cdef", 5, 0, "ab/c", "cdef"},  // cut to the array
      {"cut_id", "a/b/c", "", 32, 1, "a/b", "c"},
      {"cut_id", "abc", "old", 32, 0, "abc", "old"},
      {"cut_id", "a/b\\c", "", 32, 1, "a/b", "c"},
      {"cut_id", "/top", "", 32, 1, "", "top"},
      {"add_name", "", "f", 32, 0, "./f", "f"},
      {"add_name", "C:\\dir", "f", 32, 0, "C:\\dir/f", "f"},
      {"add_name", "dir\\", "f", 32, 0, "dir\\f", "f"},
      {"cut_name", "C:\\dir\\file.txt", "", 32, 1, "C:\\dir", "file.txt"},
      {"cut_name", "file", "old", 32, 0, "file", "old"},
      {"cut_name", "a/b", "", 32, 1, "a", "b"},
      {"add_extension", "n", "e", 32, 0, "n.e", "e"},
      {"add_extension", "n.x", "", 32, 0, "n.x.", ""},
      {"add_extension", "name", "ext", 6, 0, "name.", "ext"},
      {"cut_extension", "file.txt", "", 32, 0, "file", "txt"},
      {"cut_extension", "dir.d\\name", "old", 32, 0, "dir", ""},
      {"cut_extension", "dir.d/name", "old", 32, 0, "dir", ""},
      {"cut_extension", "noext", "old", 32, 0, "noext", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.function) + "(" + c.first + ", " + c.second + ")");
    Array first(c.size, c.first);
    Array second(32, c.second);
    std::string f = c.function;
    int result = 0;
    if (f == "add_id") AK_sci_add_id(first.data(), second.data());
    if (f == "cut_id") result = AK_sci_cut_id(first.data(), second.data());
    if (f == "add_name") AK_sci_add_name(first.data(), second.data());
    if (f == "cut_name") result = AK_sci_cut_name(first.data(), second.data());
    if (f == "add_extension") AK_sci_add_extension(first.data(), second.data());
    if (f == "cut_extension") AK_sci_cut_extension(first.data(), second.data());
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(first.text(), c.first_after);
    EXPECT_EQ(second.text(), c.second_after);
  }
}

TEST(HostFunctions, ErrorsDirectoriesAndAttributeFiles)
{
  AK_ErrorText = "";
  Array small(6, "keep");
  EXPECT_EQ(AK_sci_error(small.data()), 0);
  EXPECT_EQ(small.text(), "keep");
  Array message(32, "a long error message");
  AK_sci_set_error(message.data());
  EXPECT_STREQ(AK_ErrorText.c_str(), "a long error message");
  EXPECT_EQ(AK_sci_error(small.data()), 1);
  EXPECT_EQ(small.text(), "a lon");
  AK_ErrorText = "";

  ScratchDir dir;
  Array existing(256, dir.Path().c_str());
  EXPECT_EQ(AK_sci_make_directory(existing.data()), 0);
  Array fresh(256, (dir / "new").c_str());
  EXPECT_EQ(AK_sci_make_directory(fresh.data()), 0);
  EXPECT_TRUE(fs::is_directory(dir / "new"));
  Array orphan(256, (dir / "missing/child").c_str());
  EXPECT_EQ(AK_sci_make_directory(orphan.data()), -1);

  WriteFile(TestUserAttributesDirectory() + "HostLookup.cint", "");
  Array name(32, "HostLookup"), ext(8, "cint"), file(512, "");
  AK_sci_get_attribute_file(name.data(), ext.data(), file.data());
  EXPECT_EQ(file.text(), TestUserAttributesDirectory() + "HostLookup.cint");
  Array other(32, "NotThere");
  AK_sci_get_attribute_file(other.data(), ext.data(), file.data());
  EXPECT_EQ(file.text(), std::string(AttributesDirectory.c_str()) + "NotThere.cint");
  Array tiny(8, "");
  AK_sci_get_attribute_file(other.data(), ext.data(), tiny.data());
  EXPECT_EQ(tiny.text(), file.text().substr(0, 7));

  // No current object: every path names nothing.
  ASSERT_EQ(AK_CurrentObjectStack().Size(), 0);
  Array path(8, ""), attribute(8, "Id"), value(8, "old");
  EXPECT_EQ(AK_sci_set(path.data(), attribute.data(), value.data()), 2);
  AK_sci_get(path.data(), attribute.data(), value.data());
  EXPECT_EQ(value.text(), "");
  EXPECT_EQ(AK_sci_modification_time(path.data()), -1.0e30);
  EXPECT_EQ(AK_sci_modification_time_recursive(path.data()), -1.0e30);
  EXPECT_EQ(AK_sci_exec_time(path.data(), attribute.data()), -1.0e30);
}

TEST(HostFunctions, MessageGoesStraightToTheHook)
{
  static std::string location;
  AK_MessageFunction recorder = AK_MessageHook;
  AK_MessageHook = [](const char* message, const char* where) {
    location = where;
    (void)message;
  };
  Array text(32, "INFO:hello"), id(32, "script.cint:12");
  AK_sci_message(text.data(), id.data());
  AK_MessageHook = recorder;
  EXPECT_EQ(location, "script.cint:12");
}
