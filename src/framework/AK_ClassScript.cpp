// Class scripts: loading them, the Get, Set and Update hooks, script macros, the prelude of
// host functions and the host functions themselves.
#include "AK_ClassScript.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "AK_ClassFiles.h"
#include "AK_CurrentObject.h"
#include "AK_Object.h"
#include "AK_ScriptHooks.h"
#include "ast_sci.h"

const char* const AK_HostScriptPrelude =
    "int set(                   // set attribute value for object\n"
    "   char objId[],           //    object id (with relative path)\n"
    "   char attr[],            //    attribute id\n"
    "   char value[]);          //    value\n"
    "void get(                  // get attribute value for object\n"
    "   char objId[],           //    object id (with relative path)\n"
    "   char attr[],            //    attribute id\n"
    "   char value[]);          //    OUTPUT: value\n"
    "void message(              // display a message\n"
    "   char msg[],             //    message text (INFO:/ERROR:/WARNING: at start have special meaning)\n"
    "   char id[]);             //    message id (e.g. function name, line number...)\n"
    "void set_error(            // signal error\n"
    "   char msg[]);            //    error message\n"
    "int error(                 // check if error occurred in last set/get()\n"
    "   char msg[]);            //    OUTPUT: error message\n"
    "int list_size(             // returns number of elements in AK-list\n"
    "   char list[]);           //    string containing AK-list\n"
    "int get_list_element(      // get element from an AK-list, returns 0 on OK\n"
    "   char list[],            //    string containing AK-list\n"
    "   int i,                  //    index of requested element\n"
    "   char s[]);              //    OUT: i-th element\n"
    "void add_id(               // append object id to object path\n"
    "   char path[],            //    IN&OUT: path to which id is appended\n"
    "   char id[]);             //    id to be appended\n"
    "int cut_id(                // cut last id from object path\n"
    "   char path[],            //    IN&OUT: path from which to cut id\n"
    "   char id[]);             //    OUT: id which is cut off\n"
    "void add_name(             // append file name to path\n"
    "   char path[],            //    IN&OUT: path to which name is appended\n"
    "   char name[]);           //    name to be appended\n"
    "int cut_name(              // cut last name from file path\n"
    "   char path[],            //    IN&OUT: path from which to cut name\n"
    "   char name[]);           //    OUT: name which is cut off\n"
    "void add_extension(        // add extension to file name\n"
    "   char name[],            //    IN&OUT: filename to add extension to\n"
    "   char ext[]);            //    extension to add (without leading '.')\n"
    "void cut_extension(        // cut extension from file name\n"
    "   char name[],            //    IN&OUT: filename to cut off extension\n"
    "   char ext[]);            //    OUT: cut extension (without leading '.')\n"
    "int make_directory(        // create directory if it does not exist yet (returns 0 on OK)\n"
    "   char name[]);           //    directory name (absolute path)\n"
    "void get_attribute_file(   // get attribute file name with path such that user files have priority\n"
    "   char name[],            //    filename without path and extension\n"
    "   char extension[],       //    filename-extension\n"
    "   char filename[]);       //    OUT: attribute file name with full path (dimension must be large enough!)\n"
    "double exec_time(          // returns last execution time of command (or -1.0e30 if object or cmd not valid)\n"
    "   char objId[],           //    object id (with relative path)\n"
    "   char cmd[]);            //    set-id of the command\n"
    "double modification_time(  // returns modification time of object (or -1.0e30 if object not present)\n"
    "   char objId[]);          //    object id (with relative path)\n"
    "double modification_time_recursive( // returns modification time of object and all contained sub-objects\n"
    "   char objId[]);          //    object id (with relative path)\n"
    "// AK-list-separator\n"
    "char AK_SEP[9] = \"%AK_SEP%\";\n"
    "// directory separator\n"
    "char DIR_SEP = '/';\n";

namespace {

constexpr size_t kGetBufferSize = 131072;
constexpr double kNoObjectTime = -1.0e30;

// --- texts in script arrays ---

// A script's text, read no further than its array: a script may fill an array to the end
// without a terminating zero.
AK_String ScriptText(const char* text)
{
  if (!text) return AK_String();
  size_t size = ast_sci_array_size(text);
  if (size == 0) return AK_String(text);
  return AK_String(text, text + strnlen(text, size));
}

// Writes a text into a script array, cut to the array's size and always terminated.
void StoreText(char* destination, const char* text)
{
  if (destination) ast_sci_store_string(destination, text);
}

// --- the interpreter's namespaces and messages ---

// Collects the interpreter's messages (a compiler's error listing) while it lives, instead of
// printing them; the default output holds again afterwards.
class MessageCapture {
public:
  MessageCapture()
  {
    Text().clear();
    ast_sci_set_message_functions(Print, Flush);
  }
  ~MessageCapture() { ast_sci_set_message_functions(nullptr, nullptr); }
  MessageCapture(const MessageCapture&) = delete;
  MessageCapture& operator=(const MessageCapture&) = delete;
  const std::string& Listing() const { return Text(); }

private:
  static std::string& Text()
  {
    static std::string text;
    return text;
  }
  __attribute__((format(printf, 1, 2))) static int Print(const char* format, ...)
  {
    va_list ap;
    va_start(ap, format);
    va_list again;
    va_copy(again, ap);
    int n = std::vsnprintf(nullptr, 0, format, ap);
    va_end(ap);
    if (n > 0) {
      std::vector<char> buffer(static_cast<size_t>(n) + 1);
      std::vsnprintf(buffer.data(), buffer.size(), format, again);
      Text().append(buffer.data(), static_cast<size_t>(n));
    }
    va_end(again);
    return n;
  }
  static void Flush() {}
};

// The function of that name in the namespace's own table, or none.
ast_sci_symbol* FindScriptFunction(ast_sci_namespace ns, const char* name)
{
  if (!ns || !name) return nullptr;
  ast_sci_namespace_scope current(ns);
  return ast_sci_find_function(name);
}

// The host calls script functions with no argument or with one character array, whose size
// it declares with each call; a function declared otherwise cannot be given what it expects,
// and is not called.
enum class CallShape { NoArgument, OneText, Other };

CallShape ShapeOf(const ast_sci_symbol* function)
{
  ast_sci_type parameter{};
  int count = ast_sci_function_signature(function, nullptr, &parameter, 1);
  if (count == 0) return CallShape::NoArgument;
  if (count == 1 && parameter.is_array && parameter.base == AST_SCI_CHAR) return CallShape::OneText;
  return CallShape::Other;
}

void ReportUncallable(const char* name, const char* expected,
                      AK_SourceLocation where = AK_SourceLocation::Current())
{
  AK_MessageAt(where, "WARNING:AST_SCI function '%s' must take %s; not called", name, expected);
}

// Runs a script function of an accepted shape on behalf of the object: with the text, whose
// size the caller declared, when the function takes one, else without arguments.
void CallOnBehalf(ast_sci_symbol* function, AK_Object* object, char* text = nullptr)
{
  static const ast_sci_type kText{AST_SCI_CHAR, true, 0};
  int count = ShapeOf(function) == CallShape::OneText ? 1 : 0;
  ast_sci_prepared_call call = ast_sci_prepare_call(function, AST_SCI_VOID, &kText, count);
  void* args[] = {text};
  AK_CurrentObjectScope current(object);
  ast_sci_call_prepared(call, args);
}

// Runs a script function without arguments on behalf of the object; nothing when it takes
// arguments.
void CallWithoutArguments(ast_sci_symbol* function, const char* name, AK_Object* object)
{
  if (ShapeOf(function) != CallShape::NoArgument) {
    ReportUncallable(name, "no arguments");
    return;
  }
  CallOnBehalf(function, object);
}

// Opens a script file; none (and the message) when it cannot be read.
AK_File OpenScriptFile(const AK_String& file)
{
  AK_File f = AK_IsDirectory(file) ? AK_File() : AK_File(file, "r");
  if (!f) AK_MESSAGE(AK_String("cannot open AST_SCI file ") + file);
  return f;
}

// Compiles a file or a text into a new namespace below the global one. The compiler's
// listing of syntax errors goes out as one message naming the file (or the text). The new
// namespace is returned also after errors; none when it cannot be created.
ast_sci_namespace CompileScript(std::FILE* file, const AK_String& fileName, const char* text, int& errors)
{
  errors = 0;
  ast_sci_namespace_scope global(ast_sci_global_namespace());
  ast_sci_namespace ns = ast_sci_new_namespace();
  if (!ns) {
    AK_MESSAGE("cannot create AST_SCI namespace!");
    return nullptr;
  }
  std::string listing;
  {
    MessageCapture capture;
    ast_sci_namespace_scope inside(ns);
    errors = file ? ast_sci_parse_file(file, fileName) : ast_sci_parse_string(text);
    listing = capture.Listing();
  }
  if (errors > 0) {
    AK_MESSAGE(AK_String("INFO:") + AK_String(errors) + " syntax errors in AST_SCI file " +
               (file ? fileName.c_str() : text) + ":\n" + listing.c_str());
  }
  return ns;
}

// Runs the initialisers of the namespace's globals and then its function of that name, on
// behalf of the object. What the interpreter prints meanwhile (the script's printf, a run-time
// error that ended it) goes to the usual output, never into the compiler's listing: a script
// that failed must not end without a word.
void RunInitialisation(ast_sci_namespace ns, AK_Object* object, const char* functionName)
{
  {
    AK_CurrentObjectScope current(object);
    ast_sci_namespace_scope inside(ns);
    ast_sci_run_namespace();
  }
  if (ast_sci_symbol* function = FindScriptFunction(ns, functionName))
    CallWithoutArguments(function, functionName, object);
}

bool StartsWith(const char* text, const char* prefix)
{
  return text && std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

// The position of the last path separator ("/" or "\"), or -1.
int LastSeparator(const AK_String& path)
{
  for (int i = path.Length() - 1; i >= 0; --i)
    if (path[i] == '/' || path[i] == '\\') return i;
  return -1;
}

// Splits "path<sep>name" at the last separator; 0 and nothing changed without one.
int CutLastName(char* path, char* name)
{
  AK_String text = ScriptText(path);
  int at = LastSeparator(text);
  if (at < 0) return 0;
  StoreText(name, text.c_str() + at + 1);
  StoreText(path, AK_String(text.c_str(), text.c_str() + at));
  return 1;
}

void AppendName(char* path, const char* name, bool eitherSeparator)
{
  AK_String text = ScriptText(path);
  if (text.IsEmpty()) text = ".";
  char last = text[text.Length() - 1];
  if (!(last == '/' || (eitherSeparator && last == '\\'))) text += AK_DIR_SEP;
  text += ScriptText(name);
  StoreText(path, text);
}

}  // namespace

// --- loading class scripts ---

void AK_BindHostFunctions()
{
  static bool bound = false;
  if (bound) return;
  bound = true;
  ast_sci_namespace_scope global(ast_sci_global_namespace());
  if (ast_sci_parse_string(AK_HostScriptPrelude) != 0) {
    AK_MESSAGE("ERROR:the AST_SCI host function declarations do not compile");
    return;
  }
  ast_sci_bind_extern("set", AK_sci_set);
  ast_sci_bind_extern("get", AK_sci_get);
  ast_sci_bind_extern("set_error", AK_sci_set_error);
  ast_sci_bind_extern("error", AK_sci_error);
  ast_sci_bind_extern("message", AK_sci_message);
  ast_sci_bind_extern("list_size", AK_sci_list_size);
  ast_sci_bind_extern("get_list_element", AK_sci_get_list_element);
  ast_sci_bind_extern("add_id", AK_sci_add_id);
  ast_sci_bind_extern("cut_id", AK_sci_cut_id);
  ast_sci_bind_extern("add_name", AK_sci_add_name);
  ast_sci_bind_extern("cut_name", AK_sci_cut_name);
  ast_sci_bind_extern("add_extension", AK_sci_add_extension);
  ast_sci_bind_extern("cut_extension", AK_sci_cut_extension);
  ast_sci_bind_extern("make_directory", AK_sci_make_directory);
  ast_sci_bind_extern("get_attribute_file", AK_sci_get_attribute_file);
  ast_sci_bind_extern("exec_time", AK_sci_exec_time);
  ast_sci_bind_extern("modification_time", AK_sci_modification_time);
  ast_sci_bind_extern("modification_time_recursive", AK_sci_modification_time_recursive);
  ast_sci_run_namespace();
}

ast_sci_namespace AK_LoadClassScript(AK_Object* object, const char* classNameOrText)
{
  AK_BindHostFunctions();
  if (!classNameOrText) return nullptr;

  bool isText = StartsWith(classNameOrText, "//ast_sci");
  AK_String file;
  AK_File stream;
  if (!isText) {
    file = AK_ResolveAttributeFile(classNameOrText, "cint", nullptr);
    if (!AK_FileExists(file)) return nullptr;
    stream = OpenScriptFile(file);
    if (!stream) return nullptr;
  }
  int errors = 0;
  ast_sci_namespace ns = CompileScript(stream, file, isText ? classNameOrText : nullptr, errors);
  (void)stream.Close();  // a script read: its close changes nothing on the disk
  if (ns && errors == 0) RunInitialisation(ns, object, "Init");
  return ns;
}

void AK_ReleaseClassScript(ast_sci_namespace scriptNamespace)
{
  if (scriptNamespace) ast_sci_delete_namespace(scriptNamespace);
}

// --- the hooks ---

namespace {

// The script function that takes an attribute over: none when the namespace has no function
// of that name, or when it has one that cannot be handed a text (with a warning).
ast_sci_symbol* FindHookFunction(ast_sci_namespace scriptNamespace, const char* attribute)
{
  ast_sci_symbol* symbol = FindScriptFunction(scriptNamespace, attribute);
  if (symbol && ShapeOf(symbol) == CallShape::Other) {
    ReportUncallable(attribute, "one character array");
    return nullptr;
  }
  return symbol;
}

}  // namespace

int AK_CallScriptGet(ast_sci_namespace scriptNamespace, AK_Object* object, const char* function, AK_String& answer)
{
  ast_sci_symbol* symbol = FindHookFunction(scriptNamespace, function);
  if (!symbol) return 0;
  AK_ErrorText = "";
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[kGetBufferSize]);
  AK_FATAL_ASSERT_NAMED(buffer, "buf");
  buffer[0] = '\0';
  {
    ast_sci_array_scope size(buffer.get(), kGetBufferSize);
    CallOnBehalf(symbol, object, buffer.get());
  }
  buffer[kGetBufferSize - 1] = '\0';
  answer = buffer.get();
  return 1;
}

int AK_CallScriptSet(ast_sci_namespace scriptNamespace, AK_Object* object, const char* function, const char* value)
{
  ast_sci_symbol* symbol = FindHookFunction(scriptNamespace, function);
  if (!symbol) return 0;
  AK_String name(function);
  AK_ErrorText = "";
  AK_OperationScope scope;
  {
    // The script gets a copy: what it writes into its argument never reaches the caller's text.
    const char* text = value ? value : "";
    std::vector<char> copy(text, text + std::strlen(text) + 1);
    ast_sci_array_scope size(copy.data(), copy.size());
    CallOnBehalf(symbol, object, copy.data());
  }
  if (!object->IsDead()) object->MarkModified(name);
  return 1;
}

void AK_CallScriptUpdate(ast_sci_namespace scriptNamespace, AK_Object* object)
{
  ast_sci_symbol* symbol = FindScriptFunction(scriptNamespace, "Update");
  if (symbol) CallWithoutArguments(symbol, "Update", object);
}

// --- script macros ---

void AK_Object::RunScriptFile(const char* fileName)
{
  AK_String file(fileName ? fileName : "");
  if (!AK_FileExists(file)) return;
  AK_File stream = OpenScriptFile(file);
  if (!stream) return;
  AK_BindHostFunctions();
  int errors = 0;
  ast_sci_namespace ns = CompileScript(stream, file, nullptr, errors);
  (void)stream.Close();  // a script read: its close changes nothing on the disk
  if (!ns) return;
  if (errors == 0) RunInitialisation(ns, this, "main");
  ast_sci_delete_namespace(ns);
}

// --- listing ---

void AK_ListScriptPredefined(const char*)
{
  AK_MESSAGE(AK_String("INFO:AST_SCI-Interpreter predefined variables and functions\n") +
             AK_HostScriptPrelude);
}

AK_Object* AK_GetCurrentObject(const char* path)
{
  AK_Object* top = AK_TopCurrentObject();
  // The current-object scope keeps the object readable while it is on the stack.
  if (!top || top->IsDead()) return nullptr;
  return top->FindObject(path ? path : "");
}

// --- the host functions ---

int AK_sci_set(char* objId, char* attr, char* value)
{
  AK_Object* object = AK_GetCurrentObject(ScriptText(objId));
  if (!object) return 2;
  object->Set(ScriptText(attr), ScriptText(value));
  return AK_ErrorText.IsEmpty() ? 0 : 1;
}

void AK_sci_get(char* objId, char* attr, char* value)
{
  AK_Object* object = AK_GetCurrentObject(ScriptText(objId));
  if (!object) {
    StoreText(value, "");
    return;
  }
  AK_String answer = object->Get(ScriptText(attr));
  StoreText(value, answer);
}

void AK_sci_set_error(char* msg) { AK_ErrorText = ScriptText(msg); }

int AK_sci_error(char* msg)
{
  if (AK_ErrorText.IsEmpty()) return 0;
  AK_String text(AK_ErrorText);
  StoreText(msg, text);
  return 1;
}

void AK_sci_message(char* msg, char* id)
{
  AK_String text = ScriptText(msg);
  AK_String location = ScriptText(id);
  AK_MessageHook(text, location);
}

int AK_sci_list_size(char* list)
{
  AK_String text = ScriptText(list);
  int count = 0;
  size_t separator = std::strlen(AK_SEP);
  for (const char* p = std::strstr(text, AK_SEP); p; p = std::strstr(p + separator, AK_SEP)) ++count;
  return count;
}

int AK_sci_get_list_element(char* list, int* i, char* s)
{
  AK_String text = ScriptText(list);
  size_t separator = std::strlen(AK_SEP);
  const char* element = text.c_str();
  for (int skip = i ? *i : 0; skip > 0; --skip) {
    const char* next = std::strstr(element, AK_SEP);
    if (!next) return 0;
    element = next + separator;
  }
  const char* end = std::strstr(element, AK_SEP);
  if (!end || !s) return 0;
  // The length of what the array received, which is the whole element unless it was cut.
  size_t size = ast_sci_array_size(s);
  if (size == 0) return 0;
  StoreText(s, AK_String(element, end));
  return static_cast<int>(strnlen(s, size));
}

void AK_sci_add_id(char* path, char* id) { AppendName(path, id, false); }

int AK_sci_cut_id(char* path, char* id) { return CutLastName(path, id); }

void AK_sci_add_name(char* path, char* name) { AppendName(path, name, true); }

int AK_sci_cut_name(char* path, char* name) { return CutLastName(path, name); }

void AK_sci_add_extension(char* name, char* ext)
{
  AK_String text = ScriptText(name) + "." + ScriptText(ext);
  StoreText(name, text);
}

void AK_sci_cut_extension(char* name, char* ext)
{
  AK_String text = ScriptText(name);
  StoreText(ext, text.GetExtension());
  text.CutExtension();
  StoreText(name, text);
}

int AK_sci_make_directory(char* name)
{
  AK_String path = ScriptText(name);
  switch (AK_LookAtPath(path)) {
    case AK_PathLook::Found: return 0;
    case AK_PathLook::Failed: return -1;
    case AK_PathLook::Missing: break;
  }
  return AK_MakeDirectory(path) == 0 ? 0 : -1;
}

void AK_sci_get_attribute_file(char* name, char* extension, char* filename)
{
  AK_String ext = ScriptText(extension);
  AK_String file = AK_ResolveAttributeFile(ScriptText(name), ext.IsEmpty() ? nullptr : ext.c_str(), nullptr);
  StoreText(filename, file);
}

double AK_sci_exec_time(char* objId, char* cmd)
{
  AK_Object* object = AK_GetCurrentObject(ScriptText(objId));
  return object ? static_cast<double>(object->ModificationTime(ScriptText(cmd))) : kNoObjectTime;
}

double AK_sci_modification_time(char* objId)
{
  AK_Object* object = AK_GetCurrentObject(ScriptText(objId));
  return object ? static_cast<double>(object->LastModificationTime()) : kNoObjectTime;
}

double AK_sci_modification_time_recursive(char* objId)
{
  AK_Object* object = AK_GetCurrentObject(ScriptText(objId));
  return object ? static_cast<double>(object->LastModificationTimeRecursive()) : kNoObjectTime;
}
