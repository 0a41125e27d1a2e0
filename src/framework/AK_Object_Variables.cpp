// AK_Object: "$" variables, modification stamps and walks that list or count objects.
#include <cstdio>
#include <cstring>
#include <unordered_set>

#include "AK_ClassTable.h"
#include "AK_Object.h"

// --- variables ---

namespace {

// Names with a parallel list of values (variables, stamps): replaces the value stored under
// the name, or appends the name and the value. Both are copies, for they may live in these
// very lists.
template <class T>
void StoreNamed(AK_Array<AK_String>& names, AK_Array<T>& values, const char* name, T value)
{
  int i = AK_StringListIndex(names, name);
  if (i >= 0) {
    values[i] = value;
    return;
  }
  names.Append(AK_String(name));
  values.Append(value);
}

}  // namespace

AK_String AK_Object::GetVariable(const char* name)
{
  if (!name || !*name) return AK_String();
  int i = AK_StringListIndex(_variableNames, name);
  if (i >= 0) return _variableValues[i];
  StoreNamed(_variableNames, _variableValues, name, AK_String());
  return AK_String();
}

void AK_Object::SetVariable(const char* name, const char* value)
{
  if (!name || !*name) return;
  StoreNamed(_variableNames, _variableValues, name, AK_String(value ? value : ""));
}

void AK_Object::SetVariableValue(const char* assignment)
{
  if (!assignment || !*assignment) return;
  const char* equals = std::strchr(assignment, '=');
  if (!equals) {
    AK_ErrorText = AK_String("missing '=' in variable assignment '") + assignment + "'";
    return;
  }
  AK_String name(assignment, equals);
  if (name.IsEmpty()) return;
  if (AK_IsVariableName(name))
    SetVariable(name, equals + 1);
  else
    AK_ErrorText = AK_String("invalid variable name '") + name + "'";
}

AK_String AK_Object::GetVariableValues()
{
  AK_String text;
  for (int i = 0; i < _variableNames.Size(); ++i) {
    text += _variableNames[i];
    text += "=";
    text += _variableValues[i];
    text += AK_SEP;
  }
  return text;
}

void AK_Object::SetVariableValues(const char* text)
{
  AK_Array<AK_String> pieces;
  AK_String(text ? text : "").Split(AK_SEP, pieces);
  for (int i = 0; i < pieces.Size(); ++i) SetVariableValue(pieces[i]);
}

// --- modification stamps ---

void AK_Object::MarkModified(const char* attribute)
{
  if (!attribute) return;
  StoreNamed(_stampNames, _stamps, attribute, AK_NewStamp());
}

int32_t AK_Object::ModificationTime(const char* attribute)
{
  if (!attribute) return 0;
  AK_String path, name;
  if (AK_SplitAttributeAddress(attribute, path, name)) {
    AK_Object* object = FindObject(path);
    return object ? object->ModificationTime(name) : 0;
  }
  int i = AK_StringListIndex(_stampNames, attribute);
  return i < 0 ? 0 : _stamps[i];
}

namespace {

// Walks the object and everything below it, links included, entering each object once,
// so a link back up the tree cannot make the walk run without end.
template <class Visit>
void VisitOnce(AK_Object* object, std::unordered_set<AK_Object*>& seen, Visit& visit)
{
  if (!seen.insert(object).second) return;
  visit(object);
  for (int i = 0; i < object->ComponentCount(); ++i) VisitOnce(object->Component(i), seen, visit);
}

}  // namespace

int32_t AK_Object::ModificationTimeRecursive(const char* attribute)
{
  int32_t latest = 0;
  std::unordered_set<AK_Object*> seen;
  auto visit = [&](AK_Object* o) {
    int32_t t = o->ModificationTime(attribute);
    if (t > latest) latest = t;
  };
  VisitOnce(this, seen, visit);
  return latest;
}

int32_t AK_Object::LastModificationTime()
{
  int32_t latest = 0;
  for (int i = 0; i < _stamps.Size(); ++i)
    if (_stamps[i] > latest) latest = _stamps[i];
  return latest;
}

int32_t AK_Object::LastModificationTimeRecursive()
{
  int32_t latest = 0;
  std::unordered_set<AK_Object*> seen;
  auto visit = [&](AK_Object* o) {
    int32_t t = o->LastModificationTime();
    if (t > latest) latest = t;
  };
  VisitOnce(this, seen, visit);
  return latest;
}

// --- walks that print and count ---

namespace {

// Objects on the current path of a walk: a component already on it is not entered again.
using PathSet = std::unordered_set<AK_Object*>;

void PrintTreeWalk(AK_Object* object, int depth, PathSet& onPath)
{
  onPath.insert(object);
  for (int i = 0; i < object->ComponentCount(); ++i) {
    AK_Object* c = object->Component(i);
    for (int d = 0; d < depth; ++d) std::fputs("   ", stdout);
    std::printf("%s\n", c->GetAbsolutePath().c_str());
    if (!c->IsA("Group") && !onPath.count(c)) PrintTreeWalk(c, depth + 1, onPath);
  }
  onPath.erase(object);
}

int CountWalk(AK_Object* object, PathSet& onPath)
{
  onPath.insert(object);
  int count = 1;
  for (int i = 0; i < object->ComponentCount(); ++i) {
    AK_Object* c = object->Component(i);
    count += onPath.count(c) ? 1 : CountWalk(c, onPath);
  }
  onPath.erase(object);
  return count;
}

}  // namespace

void AK_Object::PrintTree(int depth)
{
  PathSet onPath;
  PrintTreeWalk(this, depth, onPath);
  std::fflush(stdout);
}

int AK_Object::CountObjects()
{
  PathSet onPath;
  return CountWalk(this, onPath);
}

AK_String AK_Object::GetOwnedPathList()
{
  AK_String list;
  for (int i = 0; i < ComponentCount(); ++i) {
    if (!Owns(i)) continue;
    list += _components[i]->GetAbsolutePath();
    list += AK_SEP;
    list += _components[i]->GetOwnedPathList();
  }
  return list;
}
