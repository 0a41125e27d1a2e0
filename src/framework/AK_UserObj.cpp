#include "AK_UserObj.h"

#include <cstring>
#include <map>
#include <string>

#include "AK_ClassTable.h"
#include "AK_ScriptHooks.h"

namespace {

constexpr const char* kScriptMarker = "//ast_sci";

// The table of an attribute set's text on the AK_UserObj table, parsed once per distinct
// text and never freed.
AK_AttributeNode* SharedSetTable(const AK_String& text)
{
  // Never destroyed either: the tables must outlive every object, to the end of the process.
  static auto* tables = new std::map<std::string, AK_AttributeNode*>;
  std::string key(text.c_str());
  auto found = tables->find(key);
  if (found != tables->end()) return found->second;
  AK_AttributeNode* table = AK_ParseClassTable(text, AK_UserObj::ClassRecord().table);
  tables->emplace(key, table);
  return table;
}

// The table of the named set, read from its ".atr" file; none (with the table loader's
// message) when the file cannot be read.
AK_AttributeNode* NamedSetTable(const char* name)
{
  AK_String path = AK_ResolveAttributeFile(name, "atr", nullptr);
  AK_String text;
  if (AK_IsDirectory(path) || !AK_ReadTextFile(path, text)) {
    AK_MESSAGE(AK_String("cannot open attribute file ") + path + "!");
    return nullptr;
  }
  return SharedSetTable(text);
}

}  // namespace

AK_UserObj::AK_UserObj(const char* id, AK_Object* parent) : AK_Class(id, parent)
{
  SetUpClassLevel();
  _attributeTable = ClassRecord().table;
  _script = nullptr;
  _leadingAttribute = "AttributesName";
}

AK_UserObj::~AK_UserObj() { ReplaceScript(nullptr); }

void AK_UserObj::DeclareAttributes(AK_AttributeTableOf<AK_UserObj>& t)
{
  t.Attribute("AttributesName", [](AK_UserObj& o) { return o._attributesName; },
              &AK_UserObj::SetAttributesName);
}

void AK_UserObj::Update()
{
  if (!_active) return;
  AK_OperationScope scope;
  AK_Object::Update();
  if (!IsDead() && _script) AK_CallScriptUpdate(_script, this);
}

void AK_UserObj::ReleaseAttributeSet() { _attributeTable = ClassRecord().table; }

void AK_UserObj::ReplaceScript(ast_sci_namespace scriptNamespace)
{
  ast_sci_namespace old = _script;
  _script = scriptNamespace;
  if (old && old != scriptNamespace) AK_ReleaseClassScript(old);
}

bool AK_UserObj::TakeScript(ast_sci_namespace scriptNamespace)
{
  // The script's "Init" may have deleted the object it ran for.
  if (IsDead()) {
    AK_ReleaseClassScript(scriptNamespace);
    return false;
  }
  ReplaceScript(scriptNamespace);
  return true;
}

void AK_UserObj::SetAttributesName(const char* value)
{
  AK_OperationScope scope;
  AK_String text(value ? value : "");
  _attributesName = text;
  ReleaseAttributeSet();

  if (text.IsEmpty()) {
    // No set at all: the plain user object.
    ReplaceScript(nullptr);
    _defaults = AK_Array<AK_String>();
    return;
  }

  if (std::strncmp(text, "obj.", 4) == 0) {
    const char* marker = std::strstr(text, kScriptMarker);
    AK_String table = marker ? AK_String(text.c_str(), marker) : text;
    _attributeTable = SharedSetTable(table);
    TakeScript(marker ? AK_LoadClassScript(this, marker) : nullptr);
    return;  // an inline set has no default commands
  }

  AK_AttributeNode* table = NamedSetTable(text);
  if (table) _attributeTable = table;
  if (!TakeScript(AK_LoadClassScript(this, text))) return;
  _defaults = AK_Array<AK_String>();
  AK_LoadClassDefaults(this, text, _defaults);
  // A default command may give the object another set, which replaces the list.
  AK_Array<AK_String> commands(_defaults);
  for (int i = 1; i < commands.Size() && !IsDead(); ++i) ExecuteCommand(commands[i], 0);
}
