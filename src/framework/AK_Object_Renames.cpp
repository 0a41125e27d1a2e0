// AK_Object: a rename or a deletion of a saved object as one step on the disk.
//
// A rename moves the object's directory at once, a deletion removes it; the objects that name it
// write its new path, or drop it, only at their next save. Until they have, a mark in the
// directory of the project's top object (the component of the tree's top that holds the renamed
// one) names the old and the new path:
//
//   <old path>\t<new path>\n        one line per pending rename, paths below that directory
//   <old path>\t\n                  one line per pending deletion
//
// It is written before the directory moves and goes last, with the first whole save of the
// project in its own directory after the rename. Whoever loads the project and finds it
// finishes it: a directory still under its old name moves to its new one, a saved path that
// names the old place is read as the new one (as long as the process knows the mark, so that an
// object loaded later on first use reads the same way), and every holder of such a path is made
// due, so that the next save writes it under the new name. A saved path that names a deleted
// object is dropped by the load, and the next save says so, as after the deletion itself. A quit
// with no save, a kill at any call and one failed call all leave every reference under one name
// for the next load.
#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "AK_AttributeTable.h"
#include "AK_ProcessLock.h"
#include "AK_Object.h"

namespace {

constexpr const char* kRenameMark = ".objects_renamed";

struct Rename {
  AK_String from, to;  // below the top object's directory, "/" between the identifiers; no `to`: deleted
};

// The pending renames of the projects this process holds, by the top object's path in the tree.
struct KnownRenames {
  AK_String top;
  std::vector<Rename> renames;
};
std::vector<KnownRenames>& Known()
{
  static std::vector<KnownRenames> known;
  return known;
}

std::vector<Rename>* KnownFor(const AK_String& top)
{
  for (KnownRenames& k : Known())
    if (k.top == top) return &k.renames;
  return nullptr;
}

void Know(const AK_String& top, std::vector<Rename> renames)
{
  std::erase_if(Known(), [&](const KnownRenames& k) { return k.top == top; });
  if (!renames.empty()) Known().push_back({top, std::move(renames)});
}

// The component of the tree's top that holds the object (the object itself when it is one);
// none for the top and for an object in no tree.
AK_Object* TopOf(AK_Object* object)
{
  AK_Object* o = object;
  while (o && o->Parent() && o->Parent()->Parent()) o = o->Parent();
  return o && o->Parent() ? o : nullptr;
}

// The path of `object` below `top`, "" for the top itself.
AK_String PathBelow(AK_Object* object, AK_Object* top)
{
  AK_String path;
  for (AK_Object* o = object; o && o != top; o = o->Parent())
    path = path.IsEmpty() ? o->Id() : o->Id() + "/" + path;
  return path;
}

bool IsPathOfIdentifiers(const AK_String& path)
{
  if (path.IsEmpty()) return false;
  AK_Array<AK_String> ids;
  path.Split("/", ids);
  for (const AK_String& id : ids)
    if (!AK_IsPlainIdentifier(id)) return false;
  return true;
}

AK_String ParentPart(const AK_String& path)
{
  const char* slash = std::strrchr(path, '/');
  return slash ? AK_String(path.c_str(), slash) : AK_String();
}

AK_String LastPart(const AK_String& path)
{
  const char* slash = std::strrchr(path, '/');
  return slash ? AK_String(slash + 1) : path;
}

// `path` with its head `from` (the whole path, or the part before a "/") replaced by `to`.
bool MoveHead(AK_String& path, const AK_String& from, const AK_String& to)
{
  if (path == from) {
    path = to;
    return true;
  }
  const size_t n = std::strlen(from);
  if (std::strncmp(path, from, n) == 0 && path.c_str()[n] == '/') {
    path = to + AK_String(path.c_str() + n);
    return true;
  }
  return false;
}

// The marks of the directory: "" when read (none when there is no mark), else why they cannot be.
AK_String ReadMarks(const AK_String& directory, std::vector<Rename>& renames)
{
  renames.clear();
  const AK_String file = AK_JoinPath(directory, kRenameMark);
  AK_String unseen;
  switch (AK_LookAtPath(file, &unseen)) {
    case AK_PathLook::Missing: return "";
    case AK_PathLook::Failed: return "the renames pending in " + directory + " cannot be read: " + unseen;
    case AK_PathLook::Found: break;
  }
  AK_String text;
  if (!AK_ReadTextFile(file, text)) return "the renames pending in " + file + " cannot be read";
  AK_Array<AK_String> lines;
  text.Split("\n", lines);
  for (AK_String line : lines) {
    if (!line.IsEmpty() && line[line.Length() - 1] == '\r') line = AK_String(line.c_str(), line.c_str() + line.Length() - 1);
    if (line.IsEmpty()) continue;
    const char* tab = std::strchr(line, '\t');
    const Rename rename{tab ? AK_String(line.c_str(), tab) : AK_String(), tab ? AK_String(tab + 1) : AK_String()};
    // Only a rename among siblings: anything else no rename of this program wrote.
    if (!tab || !IsPathOfIdentifiers(rename.from) ||
        (!rename.to.IsEmpty() && (!IsPathOfIdentifiers(rename.to) || !(ParentPart(rename.from) == ParentPart(rename.to)))))
      return "the renames pending in " + file + " cannot be read: a line names no rename: " + line;
    renames.push_back(rename);
  }
  return "";
}

// Writes the marks whole in place of those before, or removes the file when none is left; false,
// with AK_ErrorText saying why, when that failed.
[[nodiscard]] bool WriteMarks(const AK_String& directory, const std::vector<Rename>& renames)
{
  const AK_String file = AK_JoinPath(directory, kRenameMark);
  if (renames.empty()) {
    if (AK_DeleteFile(file) == 0 || AK_LookAtPath(file) == AK_PathLook::Missing) return true;
    AK_ErrorText = "cannot remove " + file + ": " + std::strerror(errno);
    return false;
  }
  std::string text;
  for (const Rename& r : renames) text += std::string(r.from.c_str()) + "\t" + r.to.c_str() + "\n";
  if (AK_WriteWholeFile(file, text)) return true;
  AK_ErrorText = "cannot write " + file + ": " + std::strerror(errno);
  return false;
}

// The renames with one more: a path that followed an earlier rename follows this one too, and
// what is back at its first name is no rename any more.
std::vector<Rename> WithRename(std::vector<Rename> renames, const Rename& added)
{
  // An object stands under the new name: a deletion of one there before is over.
  if (!added.to.IsEmpty()) std::erase_if(renames, [&](const Rename& r) { return r.to.IsEmpty() && r.from == added.to; });
  for (Rename& r : renames) {
    if (added.to.IsEmpty()) {
      AK_String below = r.to;
      if (MoveHead(below, added.from, "")) r.to = "";
      continue;
    }
    // Either side below the renamed path follows it; one that is not below it stays as it is.
    (void)MoveHead(r.from, added.from, added.to);
    (void)MoveHead(r.to, added.from, added.to);
  }
  if (std::none_of(renames.begin(), renames.end(), [&](const Rename& r) { return r.from == added.from; }))
    renames.push_back(added);
  std::erase_if(renames, [](const Rename& r) { return r.from == r.to; });
  return renames;
}

// The marks as they stood before the last one this process wrote, for a rename that then failed.
struct LastMark {
  AK_String dir, top;
  std::vector<Rename> before;
} g_lastMark;

}  // namespace

bool AK_Object::MarkRename(const AK_String& oldId, const AK_String& newId)
{
  AK_Object* top = TopOf(this);
  g_lastMark = {};
  if (!top || top == this || top->ProjectDir().IsEmpty() || !AK_IsDirectory(top->ProjectDir())) return true;
  const AK_String parent = PathBelow(_parent, top);
  const auto below = [&](const AK_String& id) { return parent.IsEmpty() ? id : parent + "/" + id; };
  const AK_String dir = top->ProjectDir();
  // Read, changed and written back with no other writer of the marks in between.
  AK_DirectoryLock writers(dir);
  std::vector<Rename> renames;
  if (const AK_String unread = ReadMarks(dir, renames); !unread.IsEmpty()) {
    AK_ErrorText = unread;
    return false;
  }
  g_lastMark = {dir, top->GetAbsolutePath(), renames};
  renames = WithRename(std::move(renames), {below(oldId), newId.IsEmpty() ? AK_String() : below(newId)});
  if (!WriteMarks(dir, renames)) return false;
  Know(top->GetAbsolutePath(), std::move(renames));
  return true;
}

bool AK_Object::UnmarkRename()
{
  if (g_lastMark.dir.IsEmpty()) return true;
  AK_DirectoryLock writers(g_lastMark.dir);
  if (!WriteMarks(g_lastMark.dir, g_lastMark.before)) return false;
  Know(g_lastMark.top, g_lastMark.before);
  g_lastMark = {};
  return true;
}

AK_Object* AK_Object::FindRenamedComponent(const char* head)
{
  if (Known().empty() || !head || !*head) return nullptr;
  AK_Object* top = TopOf(this);
  if (!top) return nullptr;
  const std::vector<Rename>* renames = KnownFor(top->GetAbsolutePath());
  if (!renames) return nullptr;
  const AK_String parent = PathBelow(this, top);
  const AK_String path = parent.IsEmpty() ? AK_String(head) : parent + "/" + head;
  for (const Rename& r : *renames)
    if (r.from == path && !r.to.IsEmpty()) return GetComponent(LastPart(r.to));
  return nullptr;
}

namespace {

struct DeletedReference {
  AK_ObjectRef holder;
  AK_String attribute, path;
};
std::vector<DeletedReference>& DeletedReferences()
{
  static std::vector<DeletedReference> noted;
  return noted;
}

}  // namespace

bool AK_Object::NamesDeletedObject(const char* path)
{
  if (Known().empty() || !path) return false;
  AK_Object* s = nullptr;
  AK_String head;
  if (FindLoaded(path, &s, &head) || !s) return false;
  AK_Object* top = TopOf(s);
  const std::vector<Rename>* renames = top ? KnownFor(top->GetAbsolutePath()) : nullptr;
  if (!renames) return false;
  const AK_String parent = PathBelow(s, top);
  const AK_String missing = parent.IsEmpty() ? head : parent + "/" + head;
  return std::any_of(renames->begin(), renames->end(),
                     [&](const Rename& r) { return r.to.IsEmpty() && r.from == missing; });
}

bool AK_ForgetDeletedReference(AK_Object& holder, const char* attribute, const char* path)
{
  if (!holder.NamesDeletedObject(path)) return false;
  DeletedReferences().push_back({&holder, attribute ? attribute : "", path});
  AK_ErrorText = "";
  return true;
}

AK_String AK_Object::FinishRenameMarks(const AK_String& directory)
{
  AK_Object* top = TopOf(this);
  if (!top) return "";
  const AK_String dir = top == this ? directory : top->ProjectDir();
  AK_DirectoryLock writers(dir);
  std::vector<Rename> renames;
  if (const AK_String unread = ReadMarks(dir, renames); !unread.IsEmpty()) {
    Know(top->GetAbsolutePath(), {});
    return unread;
  }
  AK_String failures;
  std::vector<Rename> pending;
  for (const Rename& r : renames) {
    const AK_String from = AK_JoinPath(dir, r.from), to = AK_JoinPath(dir, r.to);
    const bool old = AK_FileExists(from), moved = !r.to.IsEmpty() && AK_FileExists(to);
    // A rename killed before its directory moved: the move is what is left of it.
    if (!r.to.IsEmpty() && old && !moved && AK_RenameFile(from, to) != 0) {
      failures += (failures.IsEmpty() ? "" : "; ") + AK_String("the rename of ") + from + " to " + to +
                  " cannot be finished: " + std::strerror(errno);
      pending.push_back(r);
      continue;
    }
    // Nothing under either name: nothing names it that a load could read. A deletion is pending
    // until a saved object stands at its path again (a save of a new one there may be cut short).
    if (r.to.IsEmpty() ? AK_ListDirectory(from, "atr").Size() != 1 : old || moved) pending.push_back(r);
  }
  if (pending.size() != renames.size() && !WriteMarks(dir, pending))
    failures += (failures.IsEmpty() ? "" : "; ") + AK_ErrorText;
  Know(top->GetAbsolutePath(), std::move(pending));
  return failures;
}

void AK_Object::FollowRenameMarks()
{
  // What named a deleted object is saved next without it, and the save says so.
  for (const DeletedReference& d : std::exchange(DeletedReferences(), {}))
    if (AK_Object* holder = d.holder.Get()) {
      const AK_AttributeEntry* entry = nullptr;
      for (const AK_AttributeTable* t = &holder->AttributeTable(); t && !entry; t = t->Base())
        if (const AK_AttributeEntry* e = t->Find(d.attribute); e && e->repath) entry = e;
      holder->_lostReferences.push_back({entry, d.attribute + " " + d.path});
      holder->MarkModified("References");
    }
  AK_Object* top = TopOf(this);
  const std::vector<Rename>* renames = top ? KnownFor(top->GetAbsolutePath()) : nullptr;
  if (!renames) return;
  for (const Rename& r : std::vector<Rename>(*renames)) {
    AK_Object* renamed = top;
    AK_Array<AK_String> ids;
    r.to.Split("/", ids);
    if (r.to.IsEmpty()) continue;
    for (const AK_String& id : ids) renamed = renamed ? renamed->GetComponent(id) : nullptr;
    // The holders write the path as it is now at the next save, whatever they read.
    if (renamed) FollowMovedObjects(PathHoldersOf(renamed));
  }
}

bool AK_Object::EndRenameMarks()
{
  std::vector<AK_Object*> tops;
  if (!_parent) {
    for (AK_Object* c : OwnedComponents()) tops.push_back(c);
  } else if (TopOf(this) == this) {
    tops.push_back(this);
  }
  for (AK_Object* top : tops) {
    if (top->IsDead() || top->ProjectDir().IsEmpty()) continue;
    // An object that did not load whole keeps its files as they are, old paths and all.
    AK_Array<AK_Object*> objects;
    objects.Append(top);
    top->CollectOwnedDescendants(objects);
    if (std::any_of(objects.begin(), objects.end(), [](AK_Object* o) { return !o->LoadDamage().IsEmpty(); })) continue;
    const AK_String dir = top->ProjectDir();
    if (AK_LookAtPath(AK_JoinPath(dir, kRenameMark)) == AK_PathLook::Missing) {
      Know(top->GetAbsolutePath(), {});
      continue;
    }
    AK_DirectoryLock writers(dir);
    if (!WriteMarks(dir, {})) return false;
    Know(top->GetAbsolutePath(), {});
  }
  return true;
}
