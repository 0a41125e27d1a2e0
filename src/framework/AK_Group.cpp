// AK_Group: membership commands, choice lists, shared attributes and the merged class table.
#include "AK_Group.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>
#include <vector>

#include "AK_ClassTable.h"
#include "AK_ScriptHooks.h"

namespace {

// Groups that are asking or telling their members right now. A group met again on the way
// (a group that is, directly or through others, its own member) answers as a group without
// members, so the walk ends.
std::unordered_set<const AK_Object*>& BusyGroups()
{
  static std::unordered_set<const AK_Object*> busy;
  return busy;
}

class BusyScope {
public:
  explicit BusyScope(const AK_Object* group) : _group(group) { BusyGroups().insert(group); }
  ~BusyScope() { BusyGroups().erase(_group); }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

private:
  const AK_Object* _group;
};

bool IsBusy(const AK_Object* group) { return BusyGroups().count(group) != 0; }

// The class chain of an object from the most basic class to its own.
std::vector<AK_AttributeNode*> BasicFirstChain(AK_Object* object)
{
  AK_Array<AK_AttributeNode*> chain;
  if (AK_AttributeNode* table = object->GetClassInfo()) table->CollectObjChain(chain);
  std::vector<AK_AttributeNode*> basicFirst(chain.begin(), chain.end());
  std::reverse(basicFirst.begin(), basicFirst.end());
  return basicFirst;
}

void AppendDistinct(AK_Array<AK_String>& list, const AK_String& text)
{
  if (!AK_StringListContains(list, text)) list.Append(text);
}

AK_String JoinList(const AK_Array<AK_String>& list) { return AK_String(list, AK_SEP); }

}  // namespace

AK_Group::AK_Group(const char* id, AK_Object* parent) : AK_Class(id, parent)
{
  SetUpClassLevel();
  _singleType = 0;
  _selectedObjectType = "Object";
  UpdateClassInfo();
  RunClassDefaults();
  UpdateClassInfo();
}

AK_Group::~AK_Group() = default;

// --- the own class table ---

void AK_Group::UpdateClassInfo()
{
  AK_AttributeNode* classTable = ClassRecord().table;
  _table.ClearChildren();  // the children are links: nothing is freed
  _table._name = AK_NodeName(classTable);
  _table._value = AK_NodeValue(classTable);
  for (int i = 0; i < AK_NodeChildCount(classTable); ++i) _table.AppendLink(AK_NodeChild(classTable, i));

  _tableMembers.Clear();
  for (int i = 0; i < ComponentCount(); ++i) _tableMembers.Append(_components[i]);
  if (ComponentCount() == 0) return;

  std::vector<AK_AttributeNode*> common = BasicFirstChain(Component(0));
  for (int i = 1; i < ComponentCount() && !common.empty(); ++i) {
    std::vector<AK_AttributeNode*> chain = BasicFirstChain(Component(i));
    size_t k = 0;
    while (k < common.size() && k < chain.size() &&
           std::strcmp(AK_NodeName(common[k]), AK_NodeName(chain[k])) == 0)
      ++k;
    common.resize(k);
  }
  if (!common.empty()) _table.AppendLink(common.back());
}

AK_AttributeNode* AK_Group::GetClassInfo()
{
  bool same = _tableMembers.Size() == ComponentCount();
  for (int i = 0; same && i < ComponentCount(); ++i) same = _tableMembers[i] == _components[i];
  if (!same) UpdateClassInfo();
  return &_table;
}

int AK_Group::IsA(const char* typeName) { return typeName && GetType() == typeName; }

// --- membership ---

bool AK_Group::IsMember(AK_Object* object) { return IndexOf(object) >= 0; }

std::vector<AK_Object*> AK_Group::Members()
{
  std::vector<AK_Object*> members;
  for (int i = 0; i < ComponentCount(); ++i) members.push_back(Component(i));
  return members;
}

void AK_Group::CollectCandidates(AK_Array<AK_Object*>& list)
{
  GetRoot()->CollectDescendantsOfType(_selectedObjectType, list);
}

template <class Test>
void AK_Group::RemoveMembersWhere(Test test)
{
  AK_OperationScope scope;
  for (int i = 0; i < ComponentCount();) {
    AK_Object* member = Component(i);
    bool remove = test(member);
    // The test may run script code that deletes the group.
    if (IsDead()) return;
    if (remove && i < ComponentCount() && Component(i) == member)
      RemoveEntry(i);
    else
      ++i;
  }
}

void AK_Group::AppendObject(const char* absolutePath)
{
  // Finding may load a saved component, whose attribute file may delete the group.
  AK_OperationScope scope;
  AK_Object* object = GetRoot()->FindObject(absolutePath ? absolutePath : "");
  if (!object || object == this || IsDead()) return;
  AddLink(object);
  UpdateClassInfo();
}

void AK_Group::RemoveObject(const char* id)
{
  for (int i = 0; i < _unreadMembers.Size(); ++i) {
    const char* slash = std::strrchr(_unreadMembers[i], '/');
    if (AK_String(slash ? slash + 1 : _unreadMembers[i].c_str()) == (id ? id : "")) {
      _unreadMembers.Remove(i);
      return;
    }
  }
  for (int i = 0; i < ComponentCount(); ++i) {
    if (Component(i)->Id() == (id ? id : "")) {
      RemoveEntry(i);
      break;
    }
  }
  UpdateClassInfo();
}

void AK_Group::SetContainedObjectsList(const char* list)
{
  AK_Array<AK_String> paths;
  AK_String(list ? list : "").Split(AK_SEP, paths);
  AK_OperationScope scope;
  // A load sets the members to those its file names, whatever the group held before; a member
  // that names nothing is kept as read, and the load says so.
  const bool loading = ReplayingSavedAttributes();
  if (loading) {
    RemoveMembersWhere([](AK_Object*) { return true; });
    if (IsDead()) return;
  }
  _unreadMembers.Clear();
  AK_String unread;
  for (const AK_String& path : paths) {
    AK_Object* object = FindObject(path);
    if (IsDead()) return;
    if (object && object != this && !object->IsDead()) {
      AddLink(object);
    } else if (!path.IsEmpty() &&
               AK_TakePathNamingNothing(*this, "ContainedObjectsList", path) == AK_PathNamingNothing::KeptAsRead) {
      _unreadMembers.Append(path);
      unread += (unread.IsEmpty() ? "" : ", ") + path;
    }
  }
  UpdateClassInfo();
  if (!unread.IsEmpty()) AK_ErrorText = GetAbsolutePath() + ": members that name no object, kept as saved: " + unread;
}

void AK_Group::AppendAllObjectsOfType()
{
  AK_OperationScope scope;
  std::unique_ptr<AK_GroupFilter> filter = CompileFilter(_filter);
  AK_Array<AK_Object*> candidates;
  CollectCandidates(candidates);
  for (AK_Object* candidate : candidates) {
    // A filter may change the tree under the walk, and delete the group itself.
    if (candidate->IsDead() || candidate == this || IsMember(candidate)) continue;
    bool passes = !filter || filter->Pass(candidate->GetAbsolutePath());
    if (IsDead()) return;
    if (passes && !candidate->IsDead()) AddLink(candidate);
    UpdateClassInfo();
  }
}

void AK_Group::RemoveAllObjectsOfType()
{
  AK_String type(_selectedObjectType);
  AK_OperationScope scope;
  RemoveMembersWhere([&type](AK_Object* member) { return member->IsA(type) != 0; });
  if (!IsDead()) UpdateClassInfo();
}

void AK_Group::RemoveAllObjects()
{
  _unreadMembers.Clear();
  RemoveMembersWhere([](AK_Object*) { return true; });
  UpdateClassInfo();
}

void AK_Group::AppendAllMatchingObjects()
{
  AK_OperationScope scope;
  AK_String attribute(_selectedAttribute), value(_selectedValue);
  AK_Array<AK_Object*> candidates;
  CollectCandidates(candidates);
  for (AK_Object* candidate : candidates) {
    if (candidate->IsDead() || candidate == this || IsMember(candidate)) continue;
    bool matches = attribute.IsEmpty() || candidate->Get(attribute) == value;
    if (IsDead()) return;
    if (matches && !candidate->IsDead()) AddLink(candidate);
  }
  UpdateClassInfo();
}

void AK_Group::RemoveAllMatchingObjects()
{
  AK_OperationScope scope;
  AK_String type(_selectedObjectType), attribute(_selectedAttribute), value(_selectedValue);
  RemoveMembersWhere([&](AK_Object* member) {
    bool ofType = type.IsEmpty() || member->IsA(type);
    return ofType && (attribute.IsEmpty() || member->Get(attribute) == value);
  });
  if (!IsDead()) UpdateClassInfo();
}

void AK_Group::AppendComponentsOf(AK_Object* other)
{
  if (!other) return;
  std::vector<AK_Object*> components;
  for (int i = 0; i < other->ComponentCount(); ++i) components.push_back(other->Component(i));
  // Never the group itself: a group among its own members would ask itself for ever.
  for (AK_Object* component : components)
    if (component != this) AddLink(component);
  UpdateClassInfo();
}

void AK_Group::Unload(const char*)
{
  for (int i = ComponentCount() - 1; i >= 0; --i) RemoveEntry(i);
  UpdateClassInfo();
}

// --- choice lists ---

AK_String AK_Group::GetAllObjectsList()
{
  AK_Array<AK_Object*> objects;
  GetRoot()->CollectOwnedDescendants(objects);
  AK_String list;
  for (AK_Object* object : objects) {
    if (object == this || IsMember(object)) continue;
    list += object->GetAbsolutePath();
    list += AK_SEP;
  }
  return list;
}

AK_String AK_Group::GetContainedObjectsList()
{
  AK_String list;
  for (int i = 0; i < ComponentCount(); ++i) {
    list += Component(i)->GetAbsolutePath(this);
    list += AK_SEP;
  }
  for (const AK_String& path : _unreadMembers) {
    list += path;
    list += AK_SEP;
  }
  return list;
}

AK_String AK_Group::GetObjectTypesList()
{
  AK_Array<AK_String> types;
  GetRoot()->CollectTypeNames(types);
  return JoinList(types);
}

AK_String AK_Group::GetObjectsOfTypeList()
{
  AK_OperationScope scope;
  std::unique_ptr<AK_GroupFilter> filter = CompileFilter(_filter);
  AK_Array<AK_Object*> candidates;
  CollectCandidates(candidates);
  AK_String list;
  for (AK_Object* candidate : candidates) {
    if (IsDead()) break;
    if (candidate->IsDead() || candidate == this || IsMember(candidate)) continue;
    AK_String path = candidate->GetAbsolutePath();
    if (filter && !filter->Pass(path)) continue;
    list += path;
    list += AK_SEP;
  }
  return list;
}

AK_String AK_Group::GetAttributeOptions()
{
  AK_OperationScope scope;
  AK_Array<AK_Object*> candidates;
  CollectCandidates(candidates);
  AK_Array<AK_String> attributes;
  for (AK_Object* candidate : candidates) {
    if (candidate->IsDead()) continue;
    AK_String visible;
    candidate->GetCommandsList(visible, 'g', 1, 0);
    AK_Array<AK_String> names;
    visible.Split(AK_SEP, names);
    for (const AK_String& name : names) AppendDistinct(attributes, name);
  }
  return AK_String(AK_SEP) + JoinList(attributes);
}

AK_String AK_Group::GetValueOptions()
{
  if (_selectedAttribute.IsEmpty()) return AK_String();
  AK_OperationScope scope;
  AK_String attribute(_selectedAttribute);
  AK_Array<AK_Object*> candidates;
  CollectCandidates(candidates);
  AK_Array<AK_String> values;
  for (AK_Object* candidate : candidates)
    if (!candidate->IsDead()) AppendDistinct(values, candidate->Get(attribute));
  return JoinList(values);
}

// --- the filter ---

std::unique_ptr<AK_GroupFilter> AK_Group::CompileFilter(const char* text)
{
  AK_String error;
  return AK_CompileGroupFilter(this, text, error);
}

void AK_Group::SetFilter(const char* text)
{
  AK_String body(text ? text : "");
  if (body.IsEmpty()) return;
  AK_String error;
  std::unique_ptr<AK_GroupFilter> filter = AK_CompileGroupFilter(this, body, error);
  if (filter)
    _filter = body;
  else
    AK_ErrorText = error.IsEmpty() ? AK_String("cannot compile filter '") + body + "'" : error;
}

// --- attributes ---

void AK_Group::DeclareAttributes(AK_AttributeTableOf<AK_Group>& t)
{
  using G = AK_Group;
  t.Vis("FullVisibility", [](G& g) { return g._singleType ? "-" : "w"; });
  t.Attribute("SingleType", [](G& g) { return AK_String(g._singleType); },
              [](G& g, const char* v) { g._singleType = AK_String(v) == "1" ? 1 : 0; });
  t.Vis("SingleTypeVisibility", [](G& g) { return g._singleType ? "w" : "-"; });
  t.Vis("AttributeVisibility", [](G& g) { return g._selectedAttribute.IsEmpty() ? "-" : "w"; });
  // The members are links of the group: their paths follow them.
  t.Attribute("ContainedObjectsList", [](G& g) { return g.GetContainedObjectsList(); },
              &G::SetContainedObjectsList)
      .Path();
  t.Answer("GetAllObjectsList", [](G& g) { return g.GetAllObjectsList(); });
  t.Options("AttributeOptions", [](G& g) { return g.GetAttributeOptions(); });
  t.Options("ValueOptions", [](G& g) { return g.GetValueOptions(); });
  t.Text("SelectedObjectType", &G::_selectedObjectType);
  t.Text("SelectedAttribute", &G::_selectedAttribute);
  t.Text("SelectedValue", &G::_selectedValue);
  t.Answer("GetObjectTypesList", [](G& g) { return g.GetObjectTypesList(); });
  t.Answer("GetObjectsOfTypeList", [](G& g) { return g.GetObjectsOfTypeList(); });
  t.Attribute("Id", [](G& g) { return AK_String(g.Id()); }, &G::SetUniqueId);
  t.Answer("GetComponentList", [](G& g) { return g.GetComponentIdList(); });
  t.Attribute("Filter", [](G& g) { return g._filter; }, &G::SetFilter);
  t.Command("AppendObject", &G::AppendObject);
  t.Command("RemoveObject", &G::RemoveObject);
  t.Command("AppendAllObjectsOfType", &G::AppendAllObjectsOfType);
  t.Command("RemoveAllObjectsOfType", &G::RemoveAllObjectsOfType);
  t.Command("RemoveAllObjects", &G::RemoveAllObjects);
  t.Command("AppendAllMatchingObjects", &G::AppendAllMatchingObjects);
  t.Command("RemoveAllMatchingObjects", &G::RemoveAllMatchingObjects);
}

AK_String AK_Group::Get(const char* name)
{
  if (!name) return AK_String(AK_NULL);
  AK_String answer;
  if (AskScript(name, answer) || AnswerOwn(name, answer)) return answer;

  // A shared attribute: every member's answer.
  AK_OperationScope scope;
  AK_String joined;
  if (!IsBusy(this)) {
    BusyScope busy(this);
    AK_String attribute(name);
    for (AK_Object* member : Members()) {
      if (member->IsDead()) continue;
      joined += member->Get(attribute);
      joined += AK_SEP;
    }
  }
  if (IsDead()) return joined;
  if (std::strstr(joined, AK_NULL)) return AK_Object::Get(name);
  return joined;
}

int AK_Group::Set(const char* name, const char* value)
{
  if (!name) return 0;
  AK_String attribute(name), v(value ? value : "");
  if (TellScript(attribute, v)) return 1;

  AK_OperationScope scope;
  // A list value is dealt out to the members, round robin.
  if (std::strstr(v, AK_SEP) && !IsBusy(this)) {
    AK_Array<AK_String> elements;
    int n = v.Split(AK_SEP, elements);
    BusyScope busy(this);
    std::vector<AK_Object*> members = Members();
    int sum = 0;
    for (size_t i = 0; i < members.size(); ++i)
      if (!members[i]->IsDead()) sum += members[i]->Set(attribute, elements[static_cast<int>(i) % n]);
    if (sum != 0 || IsDead()) return sum;
  }

  if (TakeOwn(attribute, v)) return 1;

  // Any other attribute: every member gets the whole value.
  if (!IsBusy(this)) {
    BusyScope busy(this);
    int sum = 0;
    for (AK_Object* member : Members())
      if (!member->IsDead()) sum += member->Set(attribute, v);
    if (sum != 0 || IsDead()) return sum;
  }
  return AK_Object::Set(attribute, v);
}

int32_t AK_Group::ModificationTime(const char* attribute)
{
  int32_t own = AK_Object::ModificationTime(attribute);
  if (own != 0 || ComponentCount() == 0 || IsBusy(this)) return own;
  AK_OperationScope scope;
  BusyScope busy(this);
  int32_t latest = 0;
  for (AK_Object* member : Members()) {
    if (member->IsDead()) continue;
    int32_t stamp = member->ModificationTime(attribute);
    if (stamp > latest) latest = stamp;
  }
  return latest;
}

void AK_Group::SaveAttributes(const char* fileName)
{
  AK_String name(fileName && *fileName ? fileName : MacroFileName().c_str());
  // The group's own attributes only, never the members' shared ones.
  AK_String commands;
  WriteAttributeCommands(this, ClassRecord().table, commands);
  AK_WriteAttributeFile(name, commands);
}

// Members are drawn by their owners.
void AK_Group::Update() {}
void AK_Group::AfterLoad() {}
AK_Object* AK_Group::CreateComponent(const char*, const char*) { return nullptr; }
