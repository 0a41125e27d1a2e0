// AK_Object: construction, destruction, ownership and links, types, the update pass.
#include "AK_Object.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "AK_ClassTable.h"
#include "AK_GraphicsHooks.h"
#include "AK_ParameterSets.h"
#include "AK_ScriptHooks.h"

namespace {

// Flags of the component list: an owned component, a link, and an owned component that died
// with its owner and is freed by it.
constexpr unsigned char kOwned = 0;
constexpr unsigned char kLink = 1;
constexpr unsigned char kDying = 2;

int g_operationDepth = 0;
// Deaths so far: a list that has seen them all holds no dead link.
uint64_t g_deaths = 0;

// Deleted objects waiting for the outermost operation to end.
std::vector<AK_Object*>& DeletedPool()
{
  static std::vector<AK_Object*> pool;
  return pool;
}

// Objects that left the tree through the "Detach" command; nobody else owns them.
std::vector<AK_ObjectRef>& DetachedPool()
{
  static std::vector<AK_ObjectRef> pool;
  return pool;
}

void FreeDeletedPool()
{
  // Destructors run inside a scope of their own, so whatever they delete waits in the pool
  // and is freed by this same loop.
  ++g_operationDepth;
  while (!DeletedPool().empty()) {
    std::vector<AK_Object*> batch;
    batch.swap(DeletedPool());
    for (AK_Object* object : batch) delete object;
  }
  --g_operationDepth;
}

}  // namespace

int AK_InstanceCounter = 0;

// --- lifetime ---

AK_ObjectRef::AK_ObjectRef(AK_Object* object)
{
  if (!object) return;
  _object = object;
  _token = object->_life;
}

AK_OperationScope::AK_OperationScope() { ++g_operationDepth; }

AK_OperationScope::~AK_OperationScope()
{
  if (--g_operationDepth == 0) FreeDeletedPool();
}

bool AK_OperationScope::Active() { return g_operationDepth > 0; }

void AK_Object::MarkDead()
{
  _life->dead = true;
  ++g_deaths;
  for (int i = 0; i < _components.Size(); ++i) {
    AK_Object* c = _components[i].Get();
    if (_linkFlags[i] != kOwned || !c || c->_parent != this) continue;
    _linkFlags[i] = kDying;
    c->MarkDead();
  }
  for (const AK_ObjectRef& ref : _detachedComponents)
    if (AK_Object* c = ref.Get(); c && c->_parent == this) c->_parent = nullptr;
  _detachedComponents.Clear();
}

void AK_Object::FreeDyingComponents()
{
  for (int i = 0; i < _components.Size(); ++i) {
    if (_linkFlags[i] != kDying) continue;
    AK_Object* child = _components[i]._object;
    _linkFlags[i] = kLink;  // never looked at again
    delete child;
  }
}

void AK_Object::Destroy(AK_Object* object)
{
  if (!object || object->IsDead()) return;
  if (AK_Object* parent = object->_parent; parent && !object->_detached) {
    int index = parent->IndexOf(object);
    if (index >= 0 && parent->_linkFlags[index] == kOwned) parent->RemoveEntry(index);
  }
  object->MarkDead();
  if (g_operationDepth > 0)
    DeletedPool().push_back(object);
  else
    delete object;
}

AK_ClassRecord& AK_Object::ClassRecord()
{
  static AK_ClassRecord record("AK_Object");
  return record;
}

AK_Object::AK_Object(const char* id, AK_Object* parent)
    : _parent(parent), _life(std::make_shared<AK_LifeToken>())
{
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

  Attributes();  // known by class name from the first object on
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
                        AK_ClassFiles files)
{
  if (!record.table) {
    record.table = AK_LoadClassAttributeTable(record.className, baseTable);
    if (!record.loaded) {
      if (files.script) record.script = AK_LoadClassScript(object, record.className);
      if (files.classValues) AK_LoadClassValues(record.className, record.classValues);
      record.loaded = 1;
    }
  }
  // A missing ".def" file is looked for again at every construction.
  if (files.defaults) AK_LoadClassDefaults(object, record.className, record.defaults);
  AK_FATAL_ASSERT_NAMED(record.table, "_attributes");
  if (files.parameterSets && !record.parameterSetsRead) {
    AK_LoadParameterSets(record.className);
    record.parameterSetsRead = 1;
  }
}

AK_Object::~AK_Object()
{
  // Deleted directly rather than through Destroy: it leaves its parent's list here.
  if (!IsDead()) {
    if (!_detached && _parent && !_parent->IsDead()) {
      int index = _parent->IndexOf(this);
      if (index >= 0 && _parent->_linkFlags[index] == kOwned) _parent->RemoveEntry(index);
    }
    MarkDead();
  }
  FreeDyingComponents();
}

void AK_DeleteDetachedObjects()
{
  std::vector<AK_ObjectRef> pool;
  pool.swap(DetachedPool());
  for (const AK_ObjectRef& ref : pool)
    if (AK_Object* object = ref.Get(); object && object->IsDetached()) AK_Object::Destroy(object);
  if (!AK_OperationScope::Active()) FreeDeletedPool();
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
  for (AK_Object* c : OwnedComponents()) c->CollectTypeNames(list);
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

void AK_Object::PruneDeadEntries()
{
  if (_prunedAt == g_deaths || IsDead()) return;
  for (int i = _components.Size() - 1; i >= 0; --i)
    if (!_components[i].Get()) RemoveEntry(i);
  _prunedAt = g_deaths;
}

int AK_Object::ComponentCount()
{
  PruneDeadEntries();
  return _components.Size();
}

AK_Object* AK_Object::Component(int i)
{
  PruneDeadEntries();
  return _components[i].Get();
}

bool AK_Object::IsLink(int i)
{
  PruneDeadEntries();
  return _linkFlags[i] != kOwned;
}

bool AK_Object::Owns(int i)
{
  PruneDeadEntries();
  return _linkFlags[i] == kOwned && _components[i]->_parent == this;
}

int AK_Object::IndexOf(const AK_Object* object)
{
  PruneDeadEntries();
  for (int i = 0; i < _components.Size(); ++i)
    if (_components[i].Get() == object) return i;
  return -1;
}

void AK_Object::AddComponent(AK_Object* component)
{
  if (!component) return;
  PruneDeadEntries();
  component->_detached = false;
  _components.Append(component);
  _linkFlags.Append(kOwned);
  IndexEntry(component);
  component->_parent = this;
  SetVariable("$latest_comp", component->_id);
}

void AK_Object::AddLink(AK_Object* object)
{
  if (!object || IndexOf(object) >= 0) return;
  _components.Append(object);
  _linkFlags.Append(kLink);
  IndexEntry(object);
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
  UnindexEntry(_components[i].Get());
  _components.Remove(i);
  _linkFlags.Remove(i);
}

int AK_Object::DeleteComponent(const char* id)
{
  if (!id) return 0;
  for (int i = 0; i < ComponentCount(); ++i) {
    if (Owns(i) && _components[i]->_id == id) {
      AK_Object* doomed = _components[i].Get();
      // A holder that could not read its files saves no change until it is loaded again whole: the
      // deletion, which a save of the holder completes, is refused before its directory goes.
      if (FilesNotRead()) {
        AK_ErrorText = doomed->GetAbsolutePath() + ": not deleted: " + GetAbsolutePath() +
                       " was loaded with errors, and a change to it is saved only once it is loaded again whole: " +
                       _loadDamage;
        return 0;
      }
      // A refused or failed removal keeps the object with its files.
      AK_DirectoryHolds holds;
      if (!doomed->HoldSubtreeDirectories(doomed->_projectDir, AK_DirectoryChange::Remove, holds)) return 0;
      // What names it on the disk is read as naming nothing from the mark on, until it is saved so.
      // Whether it was saved decides that mark: a look that fails refuses the deletion.
      AK_String unseen;
      const AK_PathLook look = doomed->_projectDir.IsEmpty() ? AK_PathLook::Missing : AK_LookAtPath(doomed->_projectDir, &unseen);
      if (look == AK_PathLook::Failed) {
        AK_ErrorText = doomed->GetAbsolutePath() + ": not deleted, whether it was saved cannot be told: " + unseen;
        return 0;
      }
      const bool saved = look == AK_PathLook::Found;
      if (saved && !doomed->MarkRename(doomed->_id, "")) {
        AK_ErrorText = doomed->GetAbsolutePath() + ": not deleted, " + AK_ErrorText;
        return 0;
      }
      if (doomed->DeleteProjectDir() != 0) {
        AK_ErrorText = doomed->GetAbsolutePath() + ": not deleted, its directory " + doomed->_projectDir +
                       " cannot be removed: " + std::strerror(errno);
        if (const AK_String failure = AK_ErrorText; saved && !doomed->UnmarkRename())
          AK_ErrorText = failure + "; " + AK_ErrorText + ", which the next load takes for a deletion cut short";
        return 0;
      }
      // Those that name it from outside are saved next without it.
      std::vector<PathHolder> holders = PathHoldersOf(doomed);
      std::erase_if(holders, [doomed](const PathHolder& h) {
        for (AK_Object* o = h.holder.Get(); o; o = o->_parent)
          if (o == doomed) return true;
        return false;
      });
      const AK_String deleted = doomed->GetAbsolutePath();
      Destroy(doomed);  // links to it and to what it owns answer null from now on
      ForgetDeletedObjects(holders, deleted);
      return 1;
    }
  }
  return 0;
}

int AK_Object::RemoveComponent(const char* id)
{
  if (!id) return 0;
  for (int i = 0; i < ComponentCount(); ++i) {
    if (_linkFlags[i] != kOwned && _components[i]->_parent != this && _components[i]->_id == id) {
      RemoveEntry(i);
      return 1;
    }
  }
  return 0;
}

void AK_Object::Detach()
{
  if (!_parent || _detached) return;
  int index = _parent->IndexOf(this);
  if (index < 0 || _parent->_linkFlags[index] != kOwned) return;
  _parent->RemoveEntry(index);
  _detached = true;
  _parent->_detachedComponents.Append(this);
}

void AK_Object::SortComponents()
{
  int n = ComponentCount();
  std::vector<int> order(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) order[static_cast<size_t>(i)] = i;
  std::stable_sort(order.begin(), order.end(), [this](int a, int b) {
    return std::strcmp(_components[a]->_id, _components[b]->_id) < 0;  // unsigned bytes
  });
  AK_Array<AK_ObjectRef> components(_components);
  AK_Array<unsigned char> flags(_linkFlags);
  for (int i = 0; i < n; ++i) {
    _components[i] = components[order[static_cast<size_t>(i)]];
    _linkFlags[i] = flags[order[static_cast<size_t>(i)]];
  }
}

void AK_Object::CollectOwnedDescendants(AK_Array<AK_Object*>& list)
{
  for (int i = 0; i < ComponentCount(); ++i) {
    if (!Owns(i)) continue;
    list.Append(_components[i].Get());
    _components[i]->CollectOwnedDescendants(list);
  }
}

void AK_Object::CollectDescendantsOfType(const char* typeName, AK_Array<AK_Object*>& list)
{
  for (int i = 0; i < ComponentCount(); ++i) {
    if (!Owns(i)) continue;
    if (_components[i]->IsA(typeName)) list.Append(_components[i].Get());
    _components[i]->CollectDescendantsOfType(typeName, list);
  }
}

AK_Object* AK_Object::GetComponentByIndexPath(int n, const int* indices)
{
  AK_Object* object = this;
  for (int k = 0; k < n; ++k) {
    AK_FATAL_ASSERT_NAMED(indices[k] >= 0 && indices[k] < object->ComponentCount(),
                          "indices[0] < _components.Size()");
    object = object->Component(indices[k]);
  }
  return object;
}

std::vector<AK_Object*> AK_Object::OwnedComponents()
{
  std::vector<AK_Object*> owned;
  for (int i = 0; i < ComponentCount(); ++i)
    if (Owns(i)) owned.push_back(_components[i].Get());
  return owned;
}

void AK_Object::SetOnTypeRecursive(const char* typeName, const char* attribute, const char* value)
{
  // The setting may delete objects of this walk (this one included) or reorder the lists:
  // the names and the value are copied, the owned components are taken before they are
  // visited, and only those still alive are entered.
  AK_OperationScope scope;
  AK_String type(typeName ? typeName : ""), name(attribute ? attribute : ""),
      text(value ? value : "");
  if (IsA(type)) Set(name, text);
  if (IsDead()) return;
  for (AK_Object* c : OwnedComponents())
    if (!c->IsDead()) c->SetOnTypeRecursive(type, name, text);
}

AK_String AK_Object::GetComponentIdList()
{
  AK_String list;
  for (int i = 0; i < ComponentCount(); ++i) {
    list += _components[i]->_id;
    list += AK_SEP;
  }
  return list;
}

// --- the update pass ---

void AK_Object::Update()
{
  if (!_active) return;
  AK_OperationScope scope;
  AK_CallScriptUpdate(ClassRecord().script, this);
  // A script or a component's update may run commands that delete or detach objects, this
  // one included: the pass goes over the components it started with, enters those that are
  // still alive and owned here, and ends with this object. The index counts all entries.
  if (IsDead()) return;
  std::vector<AK_Object*> entries(static_cast<size_t>(ComponentCount()), nullptr);
  for (int i = 0; i < ComponentCount(); ++i)
    if (Owns(i)) entries[static_cast<size_t>(i)] = _components[i].Get();
  for (size_t i = 0; i < entries.size(); ++i) {
    AK_Object* c = entries[i];
    if (!c || c->IsDead() || c->_parent != this || c->_detached || !c->_active) continue;
    AK_GraphicsPushName(static_cast<unsigned int>(i));
    c->Update();
    AK_GraphicsPopName();
    if (IsDead()) return;
  }
  _updateStamp = AK_NewStamp();
}

// --- detaching through the command ---

void AK_DetachToPool(AK_Object* object)
{
  if (!object->Parent()) return;
  object->Detach();
  if (object->IsDetached()) DetachedPool().push_back(object);
}
