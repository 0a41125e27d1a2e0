// AK_Object: the objects whose saved attributes name another object, and what a rename, a move
// or a deletion of that object does to them.
//
// A save writes only the objects that changed since their last save or load. A path that one
// object holds to another changes its saved text when the other is renamed, moved or deleted,
// though nothing was set on the holder: the holder is made due here, so that the next save
// writes the path as it is now, never one that a load can no longer find.
#include <algorithm>
#include <cstring>
#include <vector>

#include "AK_AttributeTable.h"
#include "AK_Object.h"

namespace {

bool IsWithin(AK_Object* object, AK_Object* top)
{
  for (AK_Object* o = object; o; o = o->Parent())
    if (o == top) return true;
  return false;
}

// The object a path entry of `holder` names; none when it names none in memory.
AK_Object* ReferentOf(AK_Object& holder, const AK_AttributeEntry& entry)
{
  if (!entry.repath || !entry.get) return nullptr;  // held as links, found through those
  const AK_String path = entry.pathOf ? entry.pathOf(holder) : entry.get(holder);
  if (path.IsEmpty() || std::strncmp(path, "%ak_ptr%", 8) == 0) return nullptr;
  return holder.FindLoaded(path);
}

// The entry that answers the links of an object (a group's "ContainedObjectsList").
const char* LinksEntryName(AK_Object& holder)
{
  for (const AK_AttributeTable* table = &holder.AttributeTable(); table; table = table->Base())
    for (const AK_AttributeEntry& entry : table->Entries())
      if (entry.holdsPath && !entry.repath) return entry.name;
  return "member";
}

}  // namespace

AK_Object* AK_Object::FindLoaded(const char* path, AK_Object** stoppedAt, AK_String* missing)
{
  AK_Object* s = this;
  for (const char* rest = path ? path : ""; *rest;) {
    const char* slash = std::strchr(rest, '/');
    const AK_String head = slash ? AK_String(rest, slash) : AK_String(rest);
    rest = slash ? slash + 1 : rest + std::strlen(rest);
    AK_Object* root = s->GetRoot();
    if (head.IsEmpty() || head == "root" || head == root->Id()) s = root;
    else if (AK_Object* renamed = s->FindRenamedComponent(head)) s = renamed;
    else if (AK_Object* c = s->GetComponent(head)) s = c;
    else if (head == ".." && s->Parent()) s = s->Parent();
    else {
      if (stoppedAt) *stoppedAt = s;
      if (missing) *missing = head;
      return nullptr;
    }
  }
  return s;
}

std::vector<AK_Object::PathHolder> AK_Object::PathHoldersOf(AK_Object* target)
{
  std::vector<PathHolder> found;
  if (!target || target->IsDead()) return found;
  AK_Object* root = target->GetRoot();
  AK_Array<AK_Object*> objects;
  objects.Append(root);
  root->CollectOwnedDescendants(objects);
  for (AK_Object* object : objects) {
    if (object->IsDead()) continue;
    for (int i = 0; i < object->ComponentCount(); ++i)
      if (AK_Object* c = object->Component(i); c && !object->Owns(i) && IsWithin(c, target))
        found.push_back({object, nullptr, c});
    for (const AK_AttributeTable* table = &object->AttributeTable(); table; table = table->Base())
      for (const AK_AttributeEntry& entry : table->Entries())
        if (entry.holdsPath)
          if (AK_Object* referent = ReferentOf(*object, entry); referent && IsWithin(referent, target))
            found.push_back({object, &entry, referent});
  }
  return found;
}

void AK_Object::FollowMovedObjects(const std::vector<PathHolder>& holders)
{
  for (const PathHolder& h : holders) {
    AK_Object* holder = h.holder.Get();
    if (!holder) continue;
    if (h.entry && h.entry->repath)
      if (AK_Object* referent = h.referent.Get()) h.entry->repath(*holder, referent->GetAbsolutePath(holder));
    holder->MarkModified("References");
  }
}

void AK_Object::ForgetDeletedObjects(const std::vector<PathHolder>& holders, const AK_String& deleted)
{
  for (const PathHolder& h : holders) {
    AK_Object* holder = h.holder.Get();
    if (!holder) continue;
    const AK_String what = AK_String(h.entry ? h.entry->name : LinksEntryName(*holder)) + " " + deleted;
    const bool known = std::any_of(holder->_lostReferences.begin(), holder->_lostReferences.end(),
                                   [&](const LostReference& lost) { return lost.what == what; });
    // A path stays held until the save: an object made again under that name before it is the
    // one the path names (a simulation finds its mesh by its path at each update).
    if (!known) holder->_lostReferences.push_back({h.entry && h.entry->repath ? h.entry : nullptr, what});
    holder->MarkModified("References");
  }
}

void AK_Object::DropPathsOfDeletedObjects()
{
  std::erase_if(_lostReferences, [this](const LostReference& lost) {
    if (!lost.entry) return false;  // a link, which answers null from the deletion on
    if (ReferentOf(*this, *lost.entry)) return true;  // named again: nothing lost
    lost.entry->repath(*this, "");
    return false;
  });
}

void AK_Object::WarnOfLostReferences()
{
  if (_lostReferences.empty()) return;
  // A value that names its object by a choice of the holder's (pathOf) stays as it is: it is named
  // apart from the paths that went.
  AK_String dropped, kept;
  std::vector<AK_String> named;
  for (const LostReference& lost : _lostReferences) {
    if (std::find(named.begin(), named.end(), lost.what) != named.end()) continue;
    named.push_back(lost.what);
    AK_String& list = lost.entry && lost.entry->pathOf ? kept : dropped;
    list += (list.IsEmpty() ? "" : ", ") + lost.what;
  }
  if (!dropped.IsEmpty())
    AK_MESSAGE(AK_String("WARNING:") + GetAbsolutePath() + " saved without the deleted objects it named: " + dropped);
  if (!kept.IsEmpty())
    AK_MESSAGE(AK_String("WARNING:") + GetAbsolutePath() + " saved with values that name deleted objects, kept as they are: " + kept);
  _lostReferences.clear();
}
