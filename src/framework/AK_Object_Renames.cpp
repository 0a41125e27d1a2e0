// AK_Object: a rename or a deletion of a saved object as one step on the disk.
//
// A rename moves the object's directory at once, a deletion removes it; the objects that name it
// write its new path, or drop it, only at their next save. Until they have, a mark in the
// directory of the project's top object (the component of the tree's top that holds the renamed
// one) names the old and the new path:
//
//   <old path>\t<new path>\n        one line per pending rename, paths below that directory
//   <old path>\t\n                  one line per pending deletion
//   <path>\t<new path>\tmoving\n    a renamed object renamed again: its directory's move, until done
//   <new path>\t<new path>\n        a new name that files saved since the rename may hold
//
// A second rename of a renamed object folds into its line: the old path is the one that files
// saved before the first hold. A save while a rename is pending may write its new name into files;
// before it does, that name gets a line of its own, which a later rename of the object folds into
// too, so that every name a file may hold leads to the object. The mark is written before the
// directory moves and goes last, with the first whole save of the project in its own directory
// after the rename, unless a component was unloaded meanwhile (its files were not saved). Until then nothing else takes the old name: a
// rename to it is refused and a new object gets another, so a saved path that bears it was written
// before the rename and means the renamed object, whatever else the name meant later. Whoever
// loads the project and finds the mark finishes it: a directory still under its old name moves to
// its new one, a saved path that names the old place is read as the new one before the objects
// by that name are asked (as long as the process knows the mark, so that an object loaded later on
// first use reads the same way), and every holder of such a path is made due, so that the next
// save writes it under the new name. A look that fails at either place leaves the line as it is,
// and the load names it. A saved path that names a deleted object is dropped by the load, and the
// next save says so, as after the deletion itself. A quit with no save, a kill at any call and
// one failed call all leave every reference under one name for the next load.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "AK_AttributeTable.h"
#include "AK_ProcessLock.h"
#include "AK_Object.h"

struct AK_RenameRecord {
  AK_String from, to;  // below the top object's directory, "/" between the identifiers; no `to`: deleted
  // Only the move of the directory from `from` to `to` is left of it: no saved path holds `from`.
  bool moving = false;
};

// The pending renames of the projects a tree holds, by the top object's path in the tree, what a
// rename that then failed puts back, and the paths the last load dropped with a deleted object.
class AK_RenameState {
public:
  struct Project {
    AK_String top;
    std::vector<AK_RenameRecord> renames;
    // The marks that the last load or save could not read: nothing takes them for none.
    bool unread = false;
    // Components unloaded since the load (their parents' paths below the top, "/" and their
    // Ids): their files may name a renamed object by its old path, so the marks stay.
    std::vector<AK_String> unloaded;
  };
  struct LastMark {
    AK_String dir, top;
    std::vector<AK_RenameRecord> before;
    // The marks once the directory moved, when they differ from those written before it.
    std::vector<AK_RenameRecord> moved;
    bool folded = false;
  };
  struct DeletedReference {
    AK_ObjectRef holder;
    AK_String attribute, path;
  };

  Project* Find(const AK_String& top)
  {
    for (Project& p : _projects)
      if (p.top == top) return &p;
    return nullptr;
  }
  Project& Of(const AK_String& top)
  {
    if (Project* p = Find(top)) return *p;
    _projects.push_back({top, {}, false, {}});
    return _projects.back();
  }
  const std::vector<AK_RenameRecord>* Renames(const AK_String& top)
  {
    const Project* p = Find(top);
    return p && !p->renames.empty() ? &p->renames : nullptr;
  }
  bool Empty() const
  {
    return std::all_of(_projects.begin(), _projects.end(), [](const Project& p) { return p.renames.empty(); });
  }
  void Know(const AK_String& top, std::vector<AK_RenameRecord> renames) { Of(top).renames = std::move(renames); }

  LastMark lastMark;
  std::vector<DeletedReference> deleted;

private:
  std::vector<Project> _projects;
};

AK_RenameState& AK_Object::RenameState()
{
  AK_Object* root = GetRoot();
  if (!root->_renameState) root->_renameState = std::make_shared<AK_RenameState>();
  return *root->_renameState;
}

namespace {

using Rename = AK_RenameRecord;

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

// The third field of a line that marks only a directory's move.
constexpr const char* kMoving = "moving";

// The marks of the directory: "" when read (none when there is no mark), else why they cannot be.
AK_String ReadMarks(const AK_String& directory, std::vector<Rename>& renames)
{
  renames.clear();
  const AK_String file = AK_JoinPath(directory, kRenameMarkFile);
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
    const char* second = tab ? std::strchr(tab + 1, '\t') : nullptr;
    const Rename rename{tab ? AK_String(line.c_str(), tab) : AK_String(),
                        second ? AK_String(tab + 1, second) : tab ? AK_String(tab + 1) : AK_String(), second != nullptr};
    if (second && (!(AK_String(second + 1) == kMoving) || rename.to.IsEmpty()))
      return "the renames pending in " + file + " cannot be read: a line names no rename: " + line;
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
  const AK_String file = AK_JoinPath(directory, kRenameMarkFile);
  if (renames.empty()) {
    if (AK_DeleteFile(file) == 0 || AK_LookAtPath(file) == AK_PathLook::Missing) return true;
    AK_ErrorText = "cannot remove " + file + ": " + std::strerror(errno);
    return false;
  }
  std::string text;
  for (const Rename& r : renames)
    text += std::string(r.from.c_str()) + "\t" + r.to.c_str() + (r.moving ? std::string("\t") + kMoving : "") + "\n";
  if (AK_WriteWholeFile(file, text)) return true;
  AK_ErrorText = "cannot write " + file + ": " + std::strerror(errno);
  return false;
}

// The renames with one more: a path that followed an earlier rename follows this one too, a rename
// of what an earlier one renamed folds into that line (from the first name to the last, the only
// name files saved before it hold), and what is back at its first name is no rename any more.
// `folded` tells whether it folded.
std::vector<Rename> WithRename(std::vector<Rename> renames, const Rename& added, bool& folded)
{
  folded = false;
  // An object stands under the new name: a deletion of one there before is over.
  if (!added.to.IsEmpty()) std::erase_if(renames, [&](const Rename& r) { return r.to.IsEmpty() && r.from == added.to; });
  std::erase_if(renames, [](const Rename& r) { return r.moving; });
  // A name that saved files may hold stays marked while nothing renames it.
  std::vector<AK_String> held;
  for (const Rename& r : renames)
    if (r.from == r.to) held.push_back(r.from);
  for (Rename& r : renames) {
    if (!r.to.IsEmpty() && r.to == added.from) {
      r.to = added.to;
      folded = true;
      continue;
    }
    if (added.to.IsEmpty()) {
      AK_String below = r.to;
      if (MoveHead(below, added.from, "")) r.to = "";
      continue;
    }
    // Either side below the renamed path follows it; one that is not below it stays as it is.
    (void)MoveHead(r.from, added.from, added.to);
    (void)MoveHead(r.to, added.from, added.to);
  }
  if (!folded && std::none_of(renames.begin(), renames.end(), [&](const Rename& r) { return r.from == added.from; }))
    renames.push_back(added);
  std::erase_if(renames, [&](const Rename& r) {
    return r.from == r.to && std::find(held.begin(), held.end(), r.from) == held.end();
  });
  return renames;
}

// Whether the marks give every new name a line of its own (see MarkNamesSavedFilesMayHold).
bool EveryNewNameHeld(const std::vector<Rename>& renames)
{
  return std::all_of(renames.begin(), renames.end(), [&](const Rename& r) {
    return r.to.IsEmpty() || r.moving || r.from == r.to ||
           std::any_of(renames.begin(), renames.end(), [&](const Rename& h) { return h.from == r.to && h.to == r.to; });
  });
}

// The rename recorded for `top`, the object that holds the project's directory: its path in the
// tree, and the path below it of an object under `parent` named `id`.
AK_String BelowTop(AK_Object* parent, AK_Object* top, const AK_String& id)
{
  const AK_String path = PathBelow(parent, top);
  return path.IsEmpty() ? id : path + "/" + id;
}

}  // namespace

bool AK_Object::MarkRename(const AK_String& oldId, const AK_String& newId)
{
  AK_Object* top = TopOf(this);
  AK_RenameState& state = RenameState();
  state.lastMark = {};
  if (!top || top == this || top->ProjectDir().IsEmpty()) return true;
  const AK_String dir = top->ProjectDir();
  AK_String unseen;
  switch (AK_LookAtPath(dir, &unseen)) {
    case AK_PathLook::Missing: return true;  // never saved: no file names the object
    case AK_PathLook::Failed:
      AK_ErrorText = "whether the project's directory stands cannot be told: " + unseen;
      return false;
    case AK_PathLook::Found: break;
  }
  // Read, changed and written back with no other writer of the marks in between.
  AK_DirectoryLock writers(dir);
  std::vector<Rename> renames;
  if (const AK_String unread = ReadMarks(dir, renames); !unread.IsEmpty()) {
    AK_ErrorText = unread;
    return false;
  }
  const Rename added{BelowTop(_parent, top, oldId), newId.IsEmpty() ? AK_String() : BelowTop(_parent, top, newId)};
  bool folded = false;
  std::vector<Rename> after = WithRename(renames, added, folded);
  // A folded rename leaves no line that a load would finish by moving the directory, which still
  // stands under the name between: that move is marked too until it is done.
  std::vector<Rename> written = after;
  if (folded && !added.to.IsEmpty()) written.push_back({added.from, added.to, true});
  state.lastMark = {dir, top->GetAbsolutePath(), std::move(renames), std::move(after), folded && !added.to.IsEmpty()};
  if (!WriteMarks(dir, written)) return false;
  state.Know(top->GetAbsolutePath(), std::move(written));
  return true;
}

bool AK_Object::MarkRenameMoved()
{
  AK_RenameState& state = RenameState();
  const AK_RenameState::LastMark last = std::exchange(state.lastMark, {});
  if (last.dir.IsEmpty() || !last.folded) return true;
  AK_DirectoryLock writers(last.dir);
  if (!WriteMarks(last.dir, last.moved)) return false;
  state.Know(last.top, last.moved);
  return true;
}

bool AK_Object::MarkNamesSavedFilesMayHold()
{
  AK_Object* top = TopOf(this);
  if (!top || top->ProjectDir().IsEmpty()) return true;
  AK_RenameState& state = RenameState();
  const std::vector<Rename>* known = state.Renames(top->GetAbsolutePath());
  if (!known || EveryNewNameHeld(*known)) return true;
  const AK_String dir = top->ProjectDir();
  AK_DirectoryLock writers(dir);
  std::vector<Rename> renames;
  if (const AK_String unread = ReadMarks(dir, renames); !unread.IsEmpty()) {
    AK_ErrorText = unread;
    return false;
  }
  std::vector<Rename> held = renames;
  for (const Rename& r : renames)
    if (!r.to.IsEmpty() && !r.moving && !(r.from == r.to) &&
        std::none_of(held.begin(), held.end(), [&](const Rename& h) { return h.from == r.to && h.to == r.to; }))
      held.push_back({r.to, r.to});
  if (held.size() != renames.size() && !WriteMarks(dir, held)) return false;
  state.Know(top->GetAbsolutePath(), std::move(held));
  return true;
}

bool AK_Object::UnmarkRename()
{
  AK_RenameState& state = RenameState();
  if (state.lastMark.dir.IsEmpty()) return true;
  AK_DirectoryLock writers(state.lastMark.dir);
  if (!WriteMarks(state.lastMark.dir, state.lastMark.before)) return false;
  state.Know(state.lastMark.top, state.lastMark.before);
  state.lastMark = {};
  return true;
}

AK_Object* AK_Object::FindRenamedComponent(const char* head)
{
  // A path typed now names what stands now: nothing else bears the old name, and the renamed
  // object bears only its new one, so the old name names nothing until the save.
  if (!AK_SavedPaths::Active() && !ReplayingSavedAttributes()) return nullptr;
  if (!head || !*head || !_parent) return nullptr;
  AK_RenameState& state = RenameState();
  if (state.Empty()) return nullptr;
  AK_Object* top = TopOf(this);
  const std::vector<Rename>* renames = top ? state.Renames(top->GetAbsolutePath()) : nullptr;
  if (!renames) return nullptr;
  const AK_String path = BelowTop(this, top, head);
  for (const Rename& r : *renames)
    if (r.from == path && !r.to.IsEmpty()) return GetComponent(LastPart(r.to));
  return nullptr;
}

namespace {

// The line of `renames` that left the name at `path` (below the top) to another than `bearer`: a
// rename from it, or a deletion of what stood there; none when no line did.
const Rename* Vacating(const std::vector<Rename>& renames, const AK_String& path, AK_Object* parent,
                       const AK_Object* bearer)
{
  for (const Rename& r : renames) {
    if (r.moving || r.from == r.to || !(r.from == path)) continue;
    if (r.to.IsEmpty() || !bearer || parent->GetComponent(LastPart(r.to)) != bearer) return &r;
  }
  return nullptr;
}

}  // namespace

bool AK_Object::NameVacatedByRename(const char* id, const AK_Object* bearer, AK_String* renamedTo)
{
  if (!id || !*id || !_parent || AK_SavedNames::Active() || ReplayingSavedAttributes()) return false;
  AK_Object* top = TopOf(this);
  if (!top) return false;
  const AK_String path = BelowTop(this, top, id);
  const Rename* line = nullptr;
  AK_RenameState& state = RenameState();
  if (const std::vector<Rename>* known = state.Renames(top->GetAbsolutePath())) line = Vacating(*known, path, this, bearer);
  // Another process may have renamed since this one read the marks: they are read as they stand.
  // Marks that cannot be read leave the answer to those this process knows.
  std::vector<Rename> standing;
  if (!line && !top->ProjectDir().IsEmpty() && ReadMarks(top->ProjectDir(), standing).IsEmpty())
    line = Vacating(standing, path, this, bearer);
  if (line && renamedTo) *renamedTo = line->to.IsEmpty() ? AK_String() : LastPart(line->to);
  return line != nullptr;
}

AK_String AK_Object::VacatedNameRefusal(const char* id, const AK_Object* bearer)
{
  AK_String name(id ? id : "");
  name.ReplaceNonIdentifierChars('_');
  // A name an object bears now is made unique by numbering, as ever.
  AK_String renamedTo;
  if (name.IsEmpty() || GetComponent(name) || !NameVacatedByRename(name, bearer, &renamedTo)) return "";
  return GetAbsolutePath() + "/" + name + " is the saved name of " +
         (renamedTo.IsEmpty() ? AK_String("a deleted object") : GetAbsolutePath() + "/" + renamedTo) +
         " until the project is saved: SaveProject first";
}

void AK_Object::SayNameGiven(const char* asked)
{
  AK_String name(asked ? asked : "");
  name.ReplaceNonIdentifierChars('_');
  if (name.IsEmpty() || name == _id || !_parent) return;
  AK_MESSAGE(AK_String("INFO:") + GetAbsolutePath() + ": named " + _id + ": another object bears the name " + name);
}

AK_Read<AK_String> AK_Object::MovedByPendingRename(const AK_String& dir)
{
  AK_Object* top = TopOf(this);
  if (!top || top->ProjectDir().IsEmpty()) return AK_Read<AK_String>::Found(dir);
  namespace fs = std::filesystem;
  const fs::path topDir = fs::path(top->ProjectDir().c_str()).lexically_normal();
  const fs::path relative = fs::path(dir.c_str()).lexically_normal().lexically_relative(topDir);
  AK_String below(relative.generic_string().c_str());
  // Outside the project's top no rename of it applies.
  if (below.IsEmpty() || below == "." || std::strncmp(below, "..", 2) == 0) return AK_Read<AK_String>::Found(dir);
  std::vector<Rename> renames;
  if (const AK_String unread = ReadMarks(top->ProjectDir(), renames); !unread.IsEmpty())
    return AK_Read<AK_String>::Unreadable(unread);
  for (const Rename& r : renames)
    if (!r.to.IsEmpty() && !(r.from == r.to) && MoveHead(below, r.from, r.to))
      return AK_Read<AK_String>::Found(AK_JoinPath(top->ProjectDir(), below));
  return AK_Read<AK_String>::Found(dir);
}

AK_String AK_Object::VacatedNameSaveRefusal()
{
  AK_Object* top = TopOf(this);
  if (!top || top->ProjectDir().IsEmpty()) return "";
  std::vector<Rename> renames;
  if (const AK_String unread = ReadMarks(top->ProjectDir(), renames); !unread.IsEmpty())
    return GetAbsolutePath() + " not saved: " + unread;
  // A deletion leaves its name as a rename does: an object this process holds under it is the one
  // another process deleted, and its save would bind the deleted object's holders to it again.
  std::erase_if(renames, [](const Rename& r) { return r.moving || r.from == r.to; });
  if (renames.empty()) return "";
  AK_Array<AK_Object*> objects;
  objects.Append(this);
  CollectOwnedDescendants(objects);
  for (AK_Object* object : objects) {
    const AK_String path = PathBelow(object, top);
    for (const Rename& r : renames)
      if (r.from == path)
        return object->GetAbsolutePath() + " not saved: the object saved under its name was " +
               (r.to.IsEmpty() ? AK_String("deleted") : "renamed to " + LastPart(r.to)) +
               " by another process since this one loaded it; the name is taken by nothing until a save of the "
               "whole project that loaded that " +
               (r.to.IsEmpty() ? "deletion" : "rename") + ": \"LoadProject\" to take it as saved";
  }
  return "";
}

void AK_Object::NoteUnloadedComponent(const AK_String& id, bool unloaded)
{
  AK_Object* top = _parent ? TopOf(this) : nullptr;
  if (!top) return;
  std::vector<AK_String>& list = RenameState().Of(top->GetAbsolutePath()).unloaded;
  const AK_String path = BelowTop(this, top, id);
  std::erase(list, path);
  if (unloaded) list.push_back(path);
}

bool AK_Object::NamesDeletedObject(const char* path)
{
  if (!path) return false;
  AK_RenameState& state = RenameState();
  if (state.Empty()) return false;
  AK_Object* s = nullptr;
  AK_String head;
  if (FindLoaded(path, &s, &head) || !s) return false;
  AK_Object* top = TopOf(s);
  const std::vector<Rename>* renames = top ? state.Renames(top->GetAbsolutePath()) : nullptr;
  if (!renames) return false;
  const AK_String missing = BelowTop(s, top, head);
  return std::any_of(renames->begin(), renames->end(),
                     [&](const Rename& r) { return r.to.IsEmpty() && r.from == missing; });
}

AK_PathNamingNothing AK_TakePathNamingNothing(AK_Object& holder, const char* attribute, const char* path)
{
  if (!AK_Object::ReplayingSavedAttributes()) return AK_PathNamingNothing::Refused;
  if (!holder.NamesDeletedObject(path)) return AK_PathNamingNothing::KeptAsRead;
  // Named as the deletion names it, whatever spelling the file holds: one object, one name.
  AK_Object* stoppedAt = nullptr;
  AK_String missing;
  (void)holder.FindLoaded(path, &stoppedAt, &missing);  // none: NamesDeletedObject found where it stops
  const AK_String deleted = stoppedAt ? stoppedAt->GetAbsolutePath() + "/" + missing : AK_String(path);
  holder.RenameState().deleted.push_back({&holder, attribute ? attribute : "", deleted});
  AK_ErrorText = "";
  return AK_PathNamingNothing::Dropped;
}

AK_String AK_Object::FinishRenameMarks(const AK_String& directory)
{
  AK_Object* top = TopOf(this);
  if (!top) return "";
  const AK_String dir = top == this ? directory : top->ProjectDir();
  AK_RenameState::Project& known = RenameState().Of(top->GetAbsolutePath());
  // A load of the whole project loads every component again.
  if (top == this) known.unloaded.clear();
  AK_DirectoryLock writers(dir);
  std::vector<Rename> renames;
  if (const AK_String unread = ReadMarks(dir, renames); !unread.IsEmpty()) {
    known.renames = {};
    known.unread = true;
    return unread;
  }
  known.unread = false;
  AK_String failures;
  const auto fail = [&](const AK_String& failure) { failures += (failures.IsEmpty() ? "" : "; ") + failure; };
  // What stands under each name, looked at once, and the renames killed before their directories
  // moved finished by that move, before any line is judged: a line whose old directory is gone may
  // name the place another line's move fills.
  struct Seen {
    bool told = true, old = false, now = false;
  };
  std::vector<Seen> seen(renames.size());
  std::vector<AK_String> filled;
  for (size_t i = 0; i < renames.size(); ++i) {
    const Rename& r = renames[i];
    const AK_String from = AK_JoinPath(dir, r.from), to = r.to.IsEmpty() ? AK_String() : AK_JoinPath(dir, r.to);
    AK_String unseen;
    const AK_PathLook old = AK_LookAtPath(from, &unseen);
    const AK_PathLook now = r.to.IsEmpty() || old == AK_PathLook::Failed ? AK_PathLook::Missing : AK_LookAtPath(to, &unseen);
    if (old == AK_PathLook::Failed || now == AK_PathLook::Failed) {
      fail("whether the " + (r.to.IsEmpty() ? "deletion of " + from : "rename of " + from + " to " + to) +
           " is done cannot be told, it stays marked: " + unseen);
      seen[i].told = false;
      continue;
    }
    seen[i].old = old == AK_PathLook::Found;
    seen[i].now = now == AK_PathLook::Found;
    if (r.to.IsEmpty() || !seen[i].old || seen[i].now) continue;
    // A rename killed before its directory moved: the move is what is left of it.
    if (AK_RenameFile(from, to) != 0) {
      fail("the rename of " + from + " to " + to + " cannot be finished: " + std::strerror(errno));
      seen[i].told = false;
      continue;
    }
    seen[i] = {true, false, true};
    filled.push_back(r.to);
  }
  std::vector<Rename> pending;
  for (size_t i = 0; i < renames.size(); ++i) {
    const Rename& r = renames[i];
    if (!seen[i].told) {
      pending.push_back(r);
      continue;
    }
    if (r.to.IsEmpty()) {
      // A deletion is pending until a saved object stands at its path again (a save of a new one
      // there may be cut short).
      const AK_Read<AK_Array<AK_String>> tables = AK_ReadDirectory(AK_JoinPath(dir, r.from), "atr");
      if (tables.IsUnreadable()) fail("whether the deletion of " + AK_JoinPath(dir, r.from) +
                                      " is done cannot be told, it stays marked: " + tables.Failure());
      if (tables.IsUnreadable() || !tables.Value() || tables.Value()->Size() != 1) pending.push_back(r);
      continue;
    }
    // The move of a directory under a name no saved path holds: done.
    if (r.moving) continue;
    // Nothing under either name: nothing names it that a load could read.
    if (seen[i].old || seen[i].now || std::find(filled.begin(), filled.end(), r.to) != filled.end()) pending.push_back(r);
  }
  if (pending.size() != renames.size() && !WriteMarks(dir, pending)) fail(AK_ErrorText);
  known.renames = std::move(pending);
  return failures;
}

void AK_Object::FollowRenameMarks()
{
  // The holders' paths are those the load read.
  AK_SavedPaths saved;
  AK_RenameState& state = RenameState();
  // What named a deleted object is saved next without it, and the save says so.
  for (const AK_RenameState::DeletedReference& d : std::exchange(state.deleted, {}))
    if (AK_Object* holder = d.holder.Get()) {
      const AK_AttributeEntry* entry = nullptr;
      for (const AK_AttributeTable* t = &holder->AttributeTable(); t && !entry; t = t->Base())
        if (const AK_AttributeEntry* e = t->Find(d.attribute); e && e->repath) entry = e;
      holder->_lostReferences.push_back({entry, d.attribute + " " + d.path});
      holder->MarkModified("References");
    }
  AK_Object* top = TopOf(this);
  const std::vector<Rename>* renames = top ? state.Renames(top->GetAbsolutePath()) : nullptr;
  if (!renames) return;
  for (const Rename& r : std::vector<Rename>(*renames)) {
    if (r.to.IsEmpty() || r.moving) continue;
    AK_Object* renamed = top;
    AK_Array<AK_String> ids;
    r.to.Split("/", ids);
    for (const AK_String& id : ids) renamed = renamed ? renamed->GetComponent(id) : nullptr;
    // The holders write the path as it is now at the next save, whatever they read.
    if (renamed) FollowMovedObjects(PathHoldersOf(renamed));
  }
}

AK_String AK_Object::UnreadRenameMarks()
{
  // No lock: the mark is replaced whole by its writers, and the source may be another user's.
  std::vector<Rename> renames;
  return ReadMarks(ProjectDir(), renames);
}

bool AK_Object::EndRenameMarks()
{
  std::vector<AK_Object*> tops;
  if (!_parent) {
    for (AK_Object* c : OwnedComponents()) tops.push_back(c);
  } else if (TopOf(this) == this) {
    tops.push_back(this);
  }
  AK_RenameState& state = RenameState();
  for (AK_Object* top : tops) {
    if (top->IsDead() || top->ProjectDir().IsEmpty()) continue;
    // An object that did not load whole keeps its files as they are, old paths and all.
    AK_Array<AK_Object*> objects;
    objects.Append(top);
    top->CollectOwnedDescendants(objects);
    if (std::any_of(objects.begin(), objects.end(), [](AK_Object* o) { return !o->LoadDamage().IsEmpty(); })) continue;
    AK_RenameState::Project& known = state.Of(top->GetAbsolutePath());
    // A component unloaded was not saved: its files may name a renamed object by its old path. Nor
    // did the holders follow marks that the load could not read.
    if (!known.unloaded.empty() || known.unread) continue;
    const AK_String dir = top->ProjectDir(), file = AK_JoinPath(dir, kRenameMarkFile);
    AK_String unseen;
    switch (AK_LookAtPath(file, &unseen)) {
      case AK_PathLook::Missing: known.renames = {}; continue;
      case AK_PathLook::Failed: AK_ErrorText = "the renames pending in " + dir + " cannot be read: " + unseen; return false;
      case AK_PathLook::Found: break;
    }
    AK_DirectoryLock writers(dir);
    if (!WriteMarks(dir, {})) return false;
    known.renames = {};
  }
  return true;
}
