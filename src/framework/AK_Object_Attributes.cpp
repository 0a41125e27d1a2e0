// AK_Object: the attributes and commands every object has, and the order in which a name
// is offered to the class script, to the object's own names and to the other forms.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "AK_AttributeTable.h"
#include "AK_ClassScript.h"
#include "AK_ClassTable.h"
#include "AK_Object.h"
#include "AK_ParameterSets.h"
#include "AK_ScriptHooks.h"

int AK_SplitAttributeAddress(const char* text, AK_String& path, AK_String& attribute)
{
  if (!text) return 0;
  const char* colon = std::strchr(text, ':');
  if (!colon || colon[1] == ':') return 0;
  path = AK_String(text, colon);
  attribute = AK_String(colon + 1);
  return 1;
}

int AK_Object::ScriptGet(ast_sci_namespace scriptNamespace, const char* attribute, AK_String& value)
{
  if (!scriptNamespace) return 0;
  return AK_CallScriptGet(scriptNamespace, this, attribute, value);
}

int AK_Object::ScriptSet(ast_sci_namespace scriptNamespace, const char* attribute, const char* value)
{
  if (!scriptNamespace) return 0;
  return AK_CallScriptSet(scriptNamespace, this, attribute, value);
}

AK_String AK_Object::GetIdVisibility()
{
  return (_parent && _parent->IsA("Container")) ? AK_String("w") : AK_String("r");
}

namespace {

AK_String CommandsList(AK_Object* o, int visibleOnly, int labels)
{
  AK_String out;
  o->GetCommandsList(out, 'g', visibleOnly, labels);
  return out;
}

// The attributes of the object at the path, copied into this one; a path that names no
// object copies nothing and says so.
void AssignAttributesOfPath(AK_Object& o, const char* path)
{
  AK_Object* source = o.FindObject(path);
  if (!source) {
    AK_ErrorText = AK_String("object '") + path + "' not found";
    return;
  }
  o.AssignAttributesOf(source, AK_Array<AK_String>());
}

}  // namespace

const AK_AttributeTable& AK_Object::AttributeTable() { return Attributes(); }

// The numbers of every object read the way the C library does: macros rely on a text that
// is no number reading as 0.
const AK_AttributeTable& AK_Object::Attributes()
{
  using O = AK_Object;
  static const AK_AttributeTable* table = [] {
    auto* t = new AK_AttributeTableOf<O>("AK_Object", nullptr);
    t->Answer("Type", [](O& o) { return o.GetType(); });
    t->Attribute("Id", [](O& o) { return o._id; }, [](O& o, const char* v) { o.SetUniqueId(v); });
    t->Vis("IdVis", [](O& o) { return o.GetIdVisibility(); });
    t->Answer("IdAbs", [](O& o) { return o.GetAbsolutePath(); });
    t->Switch("Active", &O::_active);
    t->Answer("GetComponentList", [](O& o) { return o.GetComponentIdList(); });
    t->Attribute("ProjectDir", [](O& o) { return o._projectDir; },
                 [](O& o, const char* v) { o.SetProjectDirRecursive(v); });
    t->FileName("MacroFileName", &O::_macroFileName);
    t->Int("MacroRepetitions", &O::_macroRepetitions);
    t->Attribute("ReportCommands", [](O&) { return AK_GetReportCommands(); },
                 [](O&, const char* v) { AK_ReportCommandsFlag = AK_Atoi(v); });
    t->Attribute("ExplainCommands", [](O&) { return AK_GetExplainCommands(); },
                 [](O&, const char* v) { AK_ExplainCommandsFlag = AK_Atoi(v); });
    t->Answer("AllObjectsOfSameTypeList", [](O& o) {
      AK_String out;
      o.GetRoot()->ListObjectsOfType(out, o.GetType(), &o, nullptr);
      return out;
    });
    t->Options("LanguageOptions", [](O&) { return AK_GetLanguageOptions(); });
    t->Answer("Language", [](O&) { return AK_String(AK_Language.text); });
    t->Attribute("VariableValues", [](O& o) { return o.GetVariableValues(); },
                 [](O& o, const char* v) { o.SetVariableValues(v); });
    t->Answer("Arglist", [](O&) { return AK_GetArglist(); });
    t->Answer("ArglistSep", [](O&) { return AK_GetArglistSep(); });
    t->Answer("GetCommandsList", [](O& o) { return CommandsList(&o, 0, 0); });
    t->Answer("VisibleGetCommandsList", [](O& o) { return CommandsList(&o, 1, 0); });
    t->Answer("GetLabelsList", [](O& o) { return CommandsList(&o, 0, 1); });
    t->Answer("VisibleGetLabelsList", [](O& o) { return CommandsList(&o, 1, 1); });
    t->Vis("SaveVis", [](O& o) { return o.GetSaveVis(); });
    t->Vis("VisWrite", [](O&) { return "w"; });
    t->Vis("VisRead", [](O&) { return "r"; });
    t->Vis("VisNone", [](O&) { return "-"; });
    t->Int("SuppressCreatingComponents", &O::_suppressCreatingComponents);
    t->Answer("AttributesDirectory", [](O&) { return AK_String(AttributesDirectory); });
    t->Answer("UserAttributesDirectory", [](O&) { return AK_String(UserAttributesDirectory); });
    t->Answer("UserApplicationDirectory", [](O&) { return AK_String(UserApplicationDirectory); });
    t->Options("ParameterSetOptions", [](O&) { return AK_GetParameterSetOptions(); });
    t->Attribute("ParameterSet", [](O& o) { return o.GetParameterSet(); },
                 [](O& o, const char* v) { o.ApplyParameterSet(v); });
    t->Answer("Address", [](O& o) { return AK_String::FromPointer(&o); });

    t->Command("SaveAs", &O::SaveAs);
    t->Command("Save", &O::Save);
    t->Command("Load", &O::Load);
    t->Command("SaveProject", [](O& o, const char*) { o.SaveProject(); });
    t->Command("SaveProjectAs", &O::SaveProjectAs);
    t->Command("LoadProject", &O::LoadProject);
    t->Command("ExecMacro", [](O& o, const char* v) { o.ExecMacro(v, 0); });
    t->Command("SaveAttributes", &O::SaveAttributes);
    t->Command("SaveAttributesRecursively", &O::SaveAttributesRecursively);
    t->Command("AssignAttributesOf", AssignAttributesOfPath);
    t->Command("DeleteComponent", &O::DeleteComponent);
    t->Command("UnloadAllContainers", &O::Unload);
    t->Command("SetLanguage", [](O&, const char* v) { AK_SetLanguage(v); });
    t->Command("SetVariableValue", &O::SetVariableValue);
    t->Command("List_AST_SCI_predefined", [](O&, const char* v) { AK_ListScriptPredefined(v); });
    t->Command("WriteHtmlReferenceRecursive", &O::WriteHtmlReferenceRecursive);
    t->Command("WriteEntireHtmlReference", &O::WriteEntireHtmlReference);
    t->Command("StartInBackground", &O::StartInBackground);
    t->Command("Update", &O::Update);
    t->Command("RemoveComponent", &O::RemoveComponent);
    t->Command("Detach", [](O& o, const char*) { AK_DetachToPool(&o); });
    t->Command("AddNewComponent", &O::AddNewComponent);
    AK_RegisterAttributeTable(t);
    return t;
  }();
  return *table;
}

AK_String AK_Object::Get(const char* name)
{
  if (!name) return AK_String(AK_NULL);
  AK_String answer;
  if (ScriptGet(ClassRecord().script, name, answer)) return answer;
  if (Attributes().Get(*this, name, answer)) return answer;
  if (AK_IsVariableName(name)) return GetVariable(name);

  AK_String path, attribute;
  if (AK_SplitAttributeAddress(name, path, attribute)) {
    AK_Object* object = FindObject(path);
    if (object) return object->Get(attribute);
  }
  return AK_String(AK_NULL);
}

int AK_Object::Set(const char* name, const char* value)
{
  if (!name) return 0;
  if (!value) value = "";
  if (ScriptSet(ClassRecord().script, name, value)) return 1;
  if (Attributes().Set(*this, name, value)) return 1;
  if (AK_IsVariableName(name)) {
    SetVariable(name, value);
    return 1;
  }

  size_t length = std::strlen(name);
  if (length >= 6 && std::strcmp(name + length - 6, ".macro") == 0) {
    AK_String file(name);
    ExecMacro(file, 0);
    return 1;
  }

  if (const char* separator = std::strstr(name, "::")) {
    // This object first, then every owned component, each when it is of the type.
    SetOnTypeRecursive(AK_String(name, separator), separator + 2, value);
    return 1;
  }

  AK_String path, attribute;
  if (AK_SplitAttributeAddress(name, path, attribute)) {
    AK_Object* object = FindObject(path);
    return object ? object->Set(attribute, AK_String(value)) : 0;
  }
  return 0;
}

void AK_Object::Unload(const char*)
{
  // Owned components only: a link may lead back up the tree.
  AK_OperationScope scope;
  std::vector<AK_Object*> owned = OwnedComponents();
  for (auto c = owned.rbegin(); c != owned.rend(); ++c)
    if (!(*c)->IsDead()) (*c)->Unload("");
}
