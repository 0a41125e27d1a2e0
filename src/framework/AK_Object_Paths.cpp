// AK_Object: absolute and relative paths, lookup by path with creation of saved components
// on first use, pointer texts, and lists of objects by type.
#include <cstdio>
#include <cstring>

#include "AK_ClassTable.h"
#include "AK_Object.h"

void AK_Object::GetAbsolutePath(AK_String& out, AK_Object* reference)
{
  AK_String path(_id);
  for (AK_Object* a = _parent; a; a = a->_parent) path = a->_id + "/" + path;
  if (!reference) {
    out = path;
    return;
  }
  AK_Array<AK_String> mine, theirs;
  path.Split('/', mine);
  reference->GetAbsolutePath().Split('/', theirs);
  int k = 0;
  while (k < mine.Size() && k < theirs.Size() && mine[k] == theirs[k]) ++k;
  AK_String relative;
  for (int i = k; i < theirs.Size(); ++i) relative += "../";
  for (int i = k; i < mine.Size(); ++i) {
    if (i > k) relative += "/";
    relative += mine[i];
  }
  out = relative;
}

AK_String AK_Object::GetAbsolutePath(AK_Object* reference)
{
  AK_String out;
  GetAbsolutePath(out, reference);
  return out;
}

AK_Object* AK_Object::ResolvePointerText(const char* text)
{
  // Only an object that hangs in this object's tree through owned entries counts; the
  // address is compared, never followed, so a stale pointer text finds nothing.
  void* address = AK_String(text).ToPointer();
  AK_Object* root = GetRoot();
  if (!address) return nullptr;
  if (address == root) return root;
  AK_Array<AK_Object*> owned;
  root->CollectOwnedDescendants(owned);
  for (AK_Object* object : owned)
    if (object == address) return object;
  return nullptr;
}

namespace {

bool HasPointerForm(const char* path)
{
  void* p = nullptr;
  return std::sscanf(path, "%%ak_ptr%%%p", &p) == 1 && p;
}

}  // namespace

AK_Object* AK_Object::FindObject(const char* path)
{
  AK_Object* s = this;
  AK_String rest(path ? path : "");
  for (;;) {
    if (rest.IsEmpty()) return s;
    if (HasPointerForm(rest)) return s->ResolvePointerText(rest);

    const char* slash = std::strchr(rest, '/');
    AK_String head = slash ? AK_String(rest.c_str(), slash) : rest;
    AK_String tail = slash ? AK_String(slash + 1) : AK_String();

    AK_Object* next = nullptr;
    AK_Object* root = s->GetRoot();
    if (head.IsEmpty() || head == "root" || head == root->_id)
      next = root;
    else if ((next = s->FindRenamedComponent(head)))
      ;
    else if ((next = s->GetComponent(head)))
      ;
    else if (head == ".." && s->_parent)
      next = s->_parent;
    else
      next = s->CreateSavedComponent(head);
    if (!next) return nullptr;
    s = next;
    rest = tail;
  }
}

AK_Object* AK_Object::CreateSavedComponent(const char* id)
{
  // Only a plain identifier may name a saved component: "..", separators or drive letters
  // would reach directories outside the project.
  AK_String head(id);
  if (!AK_IsPlainIdentifier(head)) return nullptr;
  AK_String directory(_projectDir);
  directory.EnsureTrailingChar(head, '/');
  AK_Array<AK_String> tables = AK_ListDirectory(directory, "atr");
  if (tables.Size() != 1) return nullptr;
  AK_String typeName(tables[0]);
  typeName.CutExtension();
  AK_SavedNames saved;
  AK_Object* created = CreateComponent(head, typeName);
  if (!created) return nullptr;
  AK_OperationScope scope;
  AddComponent(created);
  created->LoadProject(directory);
  // Its attribute file may have deleted it again.
  return created->IsDead() ? nullptr : created;
}

void AK_Object::ListObjectsOfType(AK_String& out, const char* typeName, AK_Object* reference,
                                  const char* idPart)
{
  out = "";
  for (int i = 0; i < ComponentCount(); ++i) {
    if (!Owns(i)) continue;
    AK_Object* c = _components[i].Get();
    if (c->IsA(typeName) && (!idPart || std::strstr(c->_id, idPart))) {
      out += c->GetAbsolutePath(reference);
      out += AK_SEP;
    }
    AK_String below;
    c->ListObjectsOfType(below, typeName, reference, idPart);
    out += below;
  }
}

void AK_Object::ListAttributeAddresses(AK_String& out, const char* kind, AK_Object* reference)
{
  AK_Array<AK_String> names;
  AK_CollectValues(GetClassInfo(), kind, names);
  AK_String path = GetAbsolutePath(reference);
  for (int i = 0; i < names.Size(); ++i) {
    out += path;
    out += ":";
    out += names[i];
    out += AK_SEP;
  }
  for (int i = 0; i < ComponentCount(); ++i)
    if (Owns(i)) _components[i]->ListAttributeAddresses(out, kind, reference);
}

void AK_Object::FormatSetCommandForAttribute(AK_String& out, AK_Object* object,
                                             AK_AttributeNode* entry, const char* value,
                                             int typeForm)
{
  if (!object || !entry) return;
  if (!typeForm)
    out = AK_FormatSetCommand(object->GetAbsolutePath(this), AK_NodeValue(entry), value);
  else
    out = AK_FormatSetCommand(GetRoot()->GetAbsolutePath(this),
                              object->GetType() + "::" + AK_NodeValue(entry), value);
}
