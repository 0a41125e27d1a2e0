// AK_Object: the attributes and commands every object has, and the order in which a name
// is offered to the class script, to the object's own names and to the other forms.
#include <cstdlib>
#include <cstring>
#include <vector>

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

int ToInt(const char* value) { return value ? std::atoi(value) : 0; }

AK_String CommandsList(AK_Object* o, int visibleOnly, int labels)
{
  AK_String out;
  o->GetCommandsList(out, 'g', visibleOnly, labels);
  return out;
}

// The attributes of the object at the path, copied into this one; a path that names no
// object copies nothing and says so.
void AssignAttributesOfPath(AK_Object* o, const char* path)
{
  AK_Object* source = o->FindObject(path);
  if (!source) {
    AK_ErrorText = AK_String("object '") + path + "' not found";
    return;
  }
  o->AssignAttributesOf(source, AK_Array<AK_String>());
}

struct GetEntry {
  const char* name;
  AK_String (*answer)(AK_Object* o);
};

struct SetEntry {
  const char* name;
  void (*effect)(AK_Object* o, const char* value);
};

}  // namespace

// The names every object answers, in this order.
static const GetEntry kGetNames[] = {
    {"Type", [](AK_Object* o) { return o->GetType(); }},
    {"Id", [](AK_Object* o) { return AK_String(o->Id()); }},
    {"IdVis", [](AK_Object* o) { return o->GetIdVisibility(); }},
    {"IdAbs", [](AK_Object* o) { return o->GetAbsolutePath(); }},
    {"Active", [](AK_Object* o) { return AK_String(o->IsActive()); }},
    {"GetComponentList", [](AK_Object* o) { return o->GetComponentIdList(); }},
    {"ProjectDir", [](AK_Object* o) { return AK_String(o->ProjectDir()); }},
    {"MacroFileName", [](AK_Object* o) { return AK_String(o->MacroFileName()); }},
    {"MacroRepetitions", [](AK_Object* o) { return AK_String(o->MacroRepetitions()); }},
    {"ReportCommands", [](AK_Object*) { return AK_GetReportCommands(); }},
    {"ExplainCommands", [](AK_Object*) { return AK_GetExplainCommands(); }},
    {"AllObjectsOfSameTypeList",
     [](AK_Object* o) {
       AK_String out;
       o->GetRoot()->ListObjectsOfType(out, o->GetType(), o, nullptr);
       return out;
     }},
    {"LanguageOptions", [](AK_Object*) { return AK_GetLanguageOptions(); }},
    {"Language", [](AK_Object*) { return AK_String(AK_Language.text); }},
    {"VariableValues", [](AK_Object* o) { return o->GetVariableValues(); }},
    {"Arglist", [](AK_Object*) { return AK_GetArglist(); }},
    {"ArglistSep", [](AK_Object*) { return AK_GetArglistSep(); }},
    {"GetCommandsList", [](AK_Object* o) { return CommandsList(o, 0, 0); }},
    {"VisibleGetCommandsList", [](AK_Object* o) { return CommandsList(o, 1, 0); }},
    {"GetLabelsList", [](AK_Object* o) { return CommandsList(o, 0, 1); }},
    {"VisibleGetLabelsList", [](AK_Object* o) { return CommandsList(o, 1, 1); }},
    {"SaveVis", [](AK_Object* o) { return o->GetSaveVis(); }},
    {"VisWrite", [](AK_Object*) { return AK_String("w"); }},
    {"VisRead", [](AK_Object*) { return AK_String("r"); }},
    {"VisNone", [](AK_Object*) { return AK_String("-"); }},
    {"SuppressCreatingComponents",
     [](AK_Object* o) { return AK_String(o->SuppressCreatingComponents()); }},
    {"AttributesDirectory", [](AK_Object*) { return AK_String(AttributesDirectory); }},
    {"UserAttributesDirectory", [](AK_Object*) { return AK_String(UserAttributesDirectory); }},
    {"UserApplicationDirectory", [](AK_Object*) { return AK_String(UserApplicationDirectory); }},
    {"ParameterSetOptions", [](AK_Object*) { return AK_GetParameterSetOptions(); }},
    {"ParameterSet", [](AK_Object* o) { return o->GetParameterSet(); }},
    {"Address", [](AK_Object* o) { return AK_String::FromPointer(o); }},
};

// The names every object takes, in this order. Each clears the error text before its
// effect and is stamped after it.
static const SetEntry kSetNames[] = {
    {"Id", [](AK_Object* o, const char* v) { o->SetUniqueId(v); }},
    {"Active", [](AK_Object* o, const char* v) { o->SetActive(ToInt(v)); }},
    {"ProjectDir", [](AK_Object* o, const char* v) { o->SetProjectDirRecursive(v); }},
    {"SaveAs", [](AK_Object* o, const char* v) { o->SaveAs(v); }},
    {"Save", [](AK_Object* o, const char*) { o->Save(); }},
    {"Load", [](AK_Object* o, const char* v) { o->Load(v); }},
    {"SaveProject", [](AK_Object* o, const char*) { o->SaveProject(); }},
    {"SaveProjectAs", [](AK_Object* o, const char* v) { o->SaveProjectAs(v); }},
    {"LoadProject", [](AK_Object* o, const char* v) { o->LoadProject(v); }},
    {"MacroFileName", [](AK_Object* o, const char* v) { o->SetMacroFileName(v); }},
    {"MacroRepetitions", [](AK_Object* o, const char* v) { o->SetMacroRepetitions(ToInt(v)); }},
    {"ExecMacro", [](AK_Object* o, const char* v) { o->ExecMacro(v, 0); }},
    {"SaveAttributes", [](AK_Object* o, const char* v) { o->SaveAttributes(v); }},
    {"SaveAttributesRecursively",
     [](AK_Object* o, const char* v) { o->SaveAttributesRecursively(v); }},
    {"AssignAttributesOf", [](AK_Object* o, const char* v) { AssignAttributesOfPath(o, v); }},
    {"DeleteComponent", [](AK_Object* o, const char* v) { o->DeleteComponent(v); }},
    {"UnloadAllContainers", [](AK_Object* o, const char* v) { o->Unload(v); }},
    {"ReportCommands", [](AK_Object*, const char* v) { AK_ReportCommandsFlag = ToInt(v); }},
    {"ExplainCommands", [](AK_Object*, const char* v) { AK_ExplainCommandsFlag = ToInt(v); }},
    {"SetLanguage", [](AK_Object*, const char* v) { AK_SetLanguage(v); }},
    {"SetVariableValue", [](AK_Object* o, const char* v) { o->SetVariableValue(v); }},
    {"VariableValues", [](AK_Object* o, const char* v) { o->SetVariableValues(v); }},
    {"List_AST_SCI_predefined", [](AK_Object*, const char* v) { AK_ListScriptPredefined(v); }},
    {"WriteHtmlReferenceRecursive",
     [](AK_Object* o, const char* v) { o->WriteHtmlReferenceRecursive(v); }},
    {"WriteEntireHtmlReference", [](AK_Object* o, const char* v) { o->WriteEntireHtmlReference(v); }},
    {"SuppressCreatingComponents",
     [](AK_Object* o, const char* v) { o->SetSuppressCreatingComponents(ToInt(v)); }},
    {"ParameterSet", [](AK_Object* o, const char* v) { o->ApplyParameterSet(v); }},
    {"StartInBackground", [](AK_Object* o, const char* v) { o->StartInBackground(v); }},
    {"Update", [](AK_Object* o, const char*) { o->Update(); }},
    {"RemoveComponent", [](AK_Object* o, const char* v) { o->RemoveComponent(v); }},
    {"Detach", [](AK_Object* o, const char*) { AK_DetachToPool(o); }},
    {"AddNewComponent", [](AK_Object* o, const char* v) { o->AddNewComponent(v); }},
};

AK_String AK_Object::Get(const char* name)
{
  if (!name) return AK_String(AK_NULL);
  AK_String answer;
  if (ScriptGet(ClassRecord().script, name, answer)) return answer;

  for (const GetEntry& entry : kGetNames) {
    if (std::strcmp(entry.name, name) == 0) {
      AK_ErrorText = "";
      return entry.answer(this);
    }
  }
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

  for (const SetEntry& entry : kSetNames) {
    if (std::strcmp(entry.name, name) == 0) {
      // The value may be a text owned by this object (a variable, the project directory),
      // which the effect could change under its feet.
      AK_String keep(value);
      AK_String stamp(name);
      AK_ErrorText = "";
      AK_OperationScope scope;
      entry.effect(this, keep);
      if (!IsDead()) MarkModified(stamp);
      return 1;
    }
  }
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
