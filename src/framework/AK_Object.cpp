// AK_Object: construction, destruction, ownership and links, types, the update pass.
#include "AK_Object.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>
#include <vector>

#include "AK_ClassTable.h"
#include "AK_GraphicsHooks.h"
#include "AK_ParameterSets.h"
#include "AK_ScriptHooks.h"

namespace {

std::unordered_set<const AK_Object*>& LiveObjects()
{
  static std::unordered_set<const AK_Object*> live;
  return live;
}

// Objects removed from their parent's list but still alive. Their parent field may still
// name the old parent; it is cleared when that parent dies so it never dangles.
std::unordered_set<AK_Object*>& DetachedObjects()
{
  static std::unordered_set<AK_Object*> detached;
  return detached;
}

// Objects that left the tree through the "Detach" command; nobody else owns them.
std::vector<AK_Object*>& DetachedPool()
{
  static std::vector<AK_Object*> pool;
  return pool;
}

}  // namespace

int AK_InstanceCounter = 0;

bool AK_Object::IsAlive(const AK_Object* object)
{
  return object && LiveObjects().count(object) != 0;
}

AK_ClassRecord& AK_Object::ClassRecord()
{
  static AK_ClassRecord record("AK_Object");
  return record;
}

AK_Object::AK_Object(const char* id, AK_Object* parent) : _parent(parent)
{
  LiveObjects().insert(this);

  AK_ClassRecord& record = ClassRecord();
  if (!record.table) {
    static bool applicationDirectoryDone = false;
    if (!applicationDirectoryDone) {
      AK_SetUpUserApplicationDirectory();
      applicationDirectoryDone = true;
    }
    record.table = AK_LoadClassAttributeTable("AK_Object", nullptr);
    if (!record.loaded) {
      record.script = AK_LoadClassScript(this, "AK_Object");
      record.loaded = 1;
    }
    AK_LoadClassDefaults(this, "AK_Object", record.defaults);
    AK_LoadClassValues("AK_Object", record.classValues);
  } else {
    AK_LoadClassDefaults(this, "AK_Object", record.defaults);
  }

  ++AK_InstanceCounter;
  SetUniqueId(id ? id : "");

  _updateStamp = 0;
  _macroFileName = _id + ".macro";
  _macroRepetitions = 1;
  _active = 1;
  _suppressCreatingComponents = 0;

  if (_parent && !_parent->_projectDir.IsEmpty()) {
    _projectDir = _parent->_projectDir;
    _projectDir.EnsureTrailingChar(_id, '/');
  }

  if (!record.parameterSetsRead) {
    AK_LoadParameterSets("AK_Object");
    record.parameterSetsRead = 1;
  }
  _parameterSetInForce = -1;
  RunClassDefaults(record);
}

void AK_Object::RunClassDefaults(const AK_ClassRecord& record)
{
  // The list may grow no further while it runs, but copy it: a default command could
  // construct another object of the same class.
  AK_Array<AK_String> commands(record.defaults);
  for (int i = 1; i < commands.Size(); ++i) ExecuteCommand(commands[i], 1);
}

void AK_SetUpClassLevel(AK_Object* object, AK_ClassRecord& record, AK_AttributeNode* baseTable,
                        bool withClassValues)
{
  if (!record.table) {
    record.table = AK_LoadClassAttributeTable(record.className, baseTable);
    if (!record.loaded) {
      record.script = AK_LoadClassScript(object, record.className);
      if (withClassValues) AK_LoadClassValues(record.className, record.classValues);
      record.loaded = 1;
    }
    AK_LoadClassDefaults(object, record.className, record.defaults);
    AK_FATAL_ASSERT_NAMED(record.table, "_attributes");
  } else {
    // A missing ".def" file is looked for again at every construction.
    AK_LoadClassDefaults(object, record.className, record.defaults);
  }
  if (!record.parameterSetsRead) {
    AK_LoadParameterSets(record.className);
    record.parameterSetsRead = 1;
  }
}

AK_Object::~AK_Object()
{
  bool wasDetached = DetachedObjects().erase(this) != 0;
  if (wasDetached) {
    // Nothing else removes links to an object that lives outside the tree.
    AK_Array<AK_Object*> doomed;
    doomed.Append(this);
    CollectOwnedDescendants(doomed);
    std::unordered_set<const AK_Object*> doomedSet(doomed.begin(), doomed.end());
    for (const AK_Object* live : LiveObjects()) {
      if (doomedSet.count(live)) continue;
      AK_Object* holder = const_cast<AK_Object*>(live);
      for (int i = 0; i < holder->_components.Size();) {
        if (holder->_linkFlags[i] && doomedSet.count(holder->_components[i]))
          holder->RemoveEntry(i);
        else
          ++i;
      }
    }
  }

  for (int i = 0; i < _components.Size(); ++i) {
    if (_linkFlags[i] == 0 && _components[i]->_parent == this) {
      AK_Object* child = _components[i];
      _components[i] = nullptr;
      _linkFlags[i] = 1;  // never looked at again
      delete child;
    }
  }

  LiveObjects().erase(this);
  for (AK_Object* detached : DetachedObjects())
    if (detached->_parent == this) detached->_parent = nullptr;
}

void AK_DeleteDetachedObjects()
{
  std::vector<AK_Object*> pool;
  pool.swap(DetachedPool());
  for (AK_Object* object : pool) delete object;
}

// --- classes and types ---

AK_AttributeNode* AK_Object::GetClassInfo() { return ClassRecord().table; }

AK_String AK_Object::GetType()
{
  AK_AttributeNode* table = GetClassInfo();
  return table ? AK_NodeNamePart(table, 1) : AK_String();
}

int AK_Object::IsA(const char* typeName)
{
  if (!typeName) return 0;
  if (GetType() == typeName) return 1;
  for (AK_AttributeNode* node = GetClassInfo(); node;) {
    AK_AttributeNode* last = AK_NodeLastChild(node);
    if (!last) return 0;
    if (AK_NodeIsClass(last) && AK_NodeNamePart(last, 1) == typeName) return 1;
    node = last;
  }
  return 0;
}

void AK_Object::GetTypeChain(AK_Array<AK_String>& list)
{
  for (AK_AttributeNode* node = GetClassInfo(); node; node = AK_NodeLastChild(node))
    if (AK_NodeIsClass(node)) list.Append(AK_NodeNamePart(node, 1));
}

void AK_Object::CollectTypeNames(AK_Array<AK_String>& list)
{
  AK_Array<AK_String> chain;
  GetTypeChain(chain);
  for (const AK_String& name : chain)
    if (!AK_StringListContains(list, name)) list.Append(name);
  for (int i = 0; i < _components.Size(); ++i)
    if (Owns(i)) _components[i]->CollectTypeNames(list);
}

AK_String AK_Object::GetIdAndType() { return _id + "." + GetType(); }

AK_String AK_Object::GetClassLabel() { return AK_GetNodeLabel(GetClassInfo()); }

int AK_Object::AppendDefaultAttribute(const char* attribute, const char* value)
{
  return AK_AppendDefaultAttribute("AK_Object", attribute, value);
}

int AK_Object::WriteClassValues()
{
  return AK_WriteClassValues("AK_Object", ClassRecord().classValues);
}

int AK_Object::SaveData(AK_STREAM&) { return 0; }
int AK_Object::LoadData(AK_STREAM&) { return 0; }
void AK_Object::AfterLoad() {}
AK_Object* AK_Object::CreateComponent(const char*, const char*) { return nullptr; }

// --- the tree ---

AK_Object* AK_Object::GetRoot()
{
  AK_Object* object = this;
  while (object->_parent) object = object->_parent;
  return object;
}

AK_Object* AK_Object::GetComponent(const char* id)
{
  if (!id) return nullptr;
  for (int i = 0; i < _components.Size(); ++i)
    if (_components[i]->_id == id) return _components[i];
  return nullptr;
}

void AK_Object::AddComponent(AK_Object* component)
{
  if (!component) return;
  DetachedObjects().erase(component);
  _components.Append(component);
  _linkFlags.Append(0);
  component->_parent = this;
  SetVariable("$latest_comp", component->_id);
}

void AK_Object::AddLink(AK_Object* object)
{
  if (!object || _components.Find(object) >= 0) return;
  _components.Append(object);
  _linkFlags.Append(1);
  SetVariable("$latest_comp", object->_id);
}

void AK_Object::AddNewComponent(const char* text)
{
  if (!_componentFactory) return;
  AK_Object* created = _componentFactory(text ? text : "");
  if (created) AddComponent(created);
}

void AK_Object::RemoveEntry(int i)
{
  _components.Remove(i);
  _linkFlags.Remove(i);
}

int AK_Object::DeleteComponent(const char* id)
{
  if (!id) return 0;
  AK_Object* doomed = nullptr;
  for (int i = 0; i < _components.Size(); ++i) {
    if (_linkFlags[i] == 0 && _components[i]->_id == id && _components[i]->_parent == this) {
      doomed = _components[i];
      break;
    }
  }
  if (!doomed) return 0;

  // Every link to the component or to anything it owns goes, wherever it is held.
  AK_Array<AK_Object*> subtree;
  subtree.Append(doomed);
  doomed->CollectOwnedDescendants(subtree);
  UnlinkSet(subtree);

  doomed->DeleteProjectDir();
  int index = _components.Find(doomed);
  if (index >= 0) RemoveEntry(index);
  delete doomed;
  return 1;
}

void AK_Object::UnlinkSet(const AK_Array<AK_Object*>& doomed)
{
  std::unordered_set<const AK_Object*> set(doomed.begin(), doomed.end());
  std::vector<AK_Object*> starts{GetRoot()};
  for (AK_Object* detached : DetachedObjects())
    if (!set.count(detached)) starts.push_back(detached);

  // Owned components only: the walk follows the ownership tree, which has no cycles.
  std::vector<AK_Object*> stack(starts);
  while (!stack.empty()) {
    AK_Object* s = stack.back();
    stack.pop_back();
    if (set.count(s)) continue;
    for (int i = 0; i < s->_components.Size();) {
      AK_Object* c = s->_components[i];
      if (s->_linkFlags[i]) {
        if (set.count(c)) {
          s->RemoveEntry(i);
          continue;
        }
      } else if (c->_parent == s) {
        stack.push_back(c);
      }
      ++i;
    }
  }
}

void AK_Object::UnlinkEverywhere(AK_Object* object)
{
  if (this == object) return;
  for (int i = 0; i < _components.Size();) {
    if (_linkFlags[i] && _components[i] == object) {
      RemoveEntry(i);
      continue;
    }
    if (Owns(i)) _components[i]->UnlinkEverywhere(object);
    ++i;
  }
}

int AK_Object::RemoveComponent(const char* id)
{
  if (!id) return 0;
  for (int i = 0; i < _components.Size(); ++i) {
    if (_linkFlags[i] && _components[i]->_parent != this && _components[i]->_id == id) {
      RemoveEntry(i);
      return 1;
    }
  }
  return 0;
}

void AK_Object::Detach()
{
  if (!_parent) return;
  int index = -1;
  for (int i = 0; i < _parent->_components.Size(); ++i) {
    if (_parent->_components[i] == this && _parent->_linkFlags[i] == 0) {
      index = i;
      break;
    }
  }
  if (index < 0) return;
  _parent->RemoveEntry(index);
  DetachedObjects().insert(this);
}

int AK_CompareComponentIds(const void* a, const void* b)
{
  const AK_Object* x = *static_cast<const AK_Object* const*>(a);
  const AK_Object* y = *static_cast<const AK_Object* const*>(b);
  return std::strcmp(x->Id(), y->Id());  // strcmp compares as unsigned char
}

void AK_Object::SortComponents()
{
  int n = _components.Size();
  std::vector<int> order(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) order[static_cast<size_t>(i)] = i;
  std::stable_sort(order.begin(), order.end(), [this](int a, int b) {
    return AK_CompareComponentIds(&_components[a], &_components[b]) < 0;
  });
  AK_Array<AK_Object*> components(_components);
  AK_Array<unsigned char> flags(_linkFlags);
  for (int i = 0; i < n; ++i) {
    _components[i] = components[order[static_cast<size_t>(i)]];
    _linkFlags[i] = flags[order[static_cast<size_t>(i)]];
  }
}

void AK_Object::CollectOwnedDescendants(AK_Array<AK_Object*>& list)
{
  for (int i = 0; i < _components.Size(); ++i) {
    if (!Owns(i)) continue;
    list.Append(_components[i]);
    _components[i]->CollectOwnedDescendants(list);
  }
}

void AK_Object::CollectDescendantsOfType(const char* typeName, AK_Array<AK_Object*>& list)
{
  for (int i = 0; i < _components.Size(); ++i) {
    if (!Owns(i)) continue;
    if (_components[i]->IsA(typeName)) list.Append(_components[i]);
    _components[i]->CollectDescendantsOfType(typeName, list);
  }
}

AK_Object* AK_Object::GetComponentByIndexPath(int n, const int* indices)
{
  AK_Object* object = this;
  for (int k = 0; k < n; ++k) {
    AK_FATAL_ASSERT_NAMED(indices[k] >= 0 && indices[k] < object->_components.Size(),
                          "indices[0] < _components.Size()");
    object = object->_components[indices[k]];
  }
  return object;
}

void AK_Object::SetOnTypeRecursive(const char* typeName, const char* attribute, const char* value)
{
  // The setting may delete objects of this walk (this one included) or reorder the lists:
  // the names and the value are copied, the owned components are taken before they are
  // visited, and only those still alive are entered.
  AK_String type(typeName ? typeName : ""), name(attribute ? attribute : ""),
      text(value ? value : "");
  if (IsA(type)) Set(name, text);
  if (!IsAlive(this)) return;
  std::vector<AK_Object*> owned;
  for (int i = 0; i < _components.Size(); ++i)
    if (Owns(i)) owned.push_back(_components[i]);
  for (AK_Object* c : owned)
    if (IsAlive(c)) c->SetOnTypeRecursive(type, name, text);
}

AK_String AK_Object::GetComponentIdList()
{
  AK_String list;
  for (int i = 0; i < _components.Size(); ++i) {
    list += _components[i]->_id;
    list += AK_SEP;
  }
  return list;
}

// --- the update pass ---

void AK_Object::Update()
{
  if (!_active) return;
  AK_CallScriptUpdate(ClassRecord().script, this);
  // A script or a component's update may run commands that delete or detach objects, this
  // one included: the pass goes over the components it started with, enters those that are
  // still alive and owned here, and ends with this object.
  if (!IsAlive(this)) return;
  std::vector<AK_Object*> owned(static_cast<size_t>(_components.Size()), nullptr);
  for (int i = 0; i < _components.Size(); ++i)
    if (Owns(i)) owned[static_cast<size_t>(i)] = _components[i];
  for (size_t i = 0; i < owned.size(); ++i) {
    AK_Object* c = owned[i];
    if (!c || !IsAlive(c) || c->_parent != this || DetachedObjects().count(c) || !c->_active)
      continue;
    AK_GraphicsPushName(static_cast<unsigned int>(i));
    c->Update();
    AK_GraphicsPopName();
    if (!IsAlive(this)) return;
  }
  _updateStamp = AK_NewStamp();
}

// --- detaching through the command ---

void AK_DetachToPool(AK_Object* object)
{
  if (!object->Parent()) return;
  int before = object->Parent()->ComponentCount();
  AK_Object* parent = object->Parent();
  object->Detach();
  if (parent->ComponentCount() < before) DetachedPool().push_back(object);
}
