// AK_Object: the components by identifier and the making of unique identifiers.
#include <cstring>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "AK_Object.h"

namespace {

// Changes whenever an object that stands in some component list changes its identifier:
// every index built before is then built anew at its next use.
uint64_t g_idEpoch = 1;

// The number after the last "_" when the text from there reads as "_" and digits.
bool ReadNumberSuffix(const AK_String& candidate, int& number, int& underscore)
{
  const char* last = std::strrchr(candidate, '_');
  if (!last) return false;
  underscore = static_cast<int>(last - candidate.c_str());
  const char* p = last + 1;
  if (*p < '0' || *p > '9') return false;
  long value = 0;
  while (*p >= '0' && *p <= '9') {
    if (value < 100000000) value = value * 10 + (*p - '0');
    ++p;
  }
  number = static_cast<int>(value);
  return true;
}

// The directory that holds a project directory: the text before its last separator ("/" or
// "\"), trailing separators ignored; "" when there is none.
AK_String ParentDirectoryOf(const AK_String& directory)
{
  int end = directory.Length();
  while (end > 1 && (directory[end - 1] == '/' || directory[end - 1] == '\\')) --end;
  for (int i = end - 1; i >= 0; --i)
    if (directory[i] == '/' || directory[i] == '\\')
      return AK_String(directory.c_str(), directory.c_str() + i);
  return AK_String();
}

AK_String Numbered(const AK_String& base, int number) { return base + AK_String::Format("_%04d", number); }

}  // namespace

struct AK_Object::IdIndex {
  uint64_t epoch = 0;
  // The entries under each identifier (an entry whose object died is dropped when seen).
  std::unordered_map<std::string, std::vector<AK_ObjectRef>> holders;
  // Per base B, a range [first, end) of numbers whose names B_%04d are all held: the unique
  // names of a chain start where the last chain of that base ended. Cleared when an entry
  // leaves the list.
  std::unordered_map<std::string, std::pair<int, int>> held;
  // Per name N, a count k: N, Nx, Nxx, ... with fewer than k "x" are all held. Cleared with
  // the ranges.
  std::unordered_map<std::string, int> xRuns;
};

void AK_Object::IdIndexDeleter::operator()(IdIndex* index) const { delete index; }

AK_Object::IdIndex& AK_Object::Ids()
{
  PruneDeadEntries();
  if (!_idIndex || _idIndex->epoch != g_idEpoch) {
    _idIndex.reset(new IdIndex);
    _idIndex->epoch = g_idEpoch;
    for (int i = 0; i < _components.Size(); ++i)
      if (AK_Object* c = _components[i].Get()) _idIndex->holders[c->_id.c_str()].push_back(c);
  }
  return *_idIndex;
}

void AK_Object::IndexEntry(AK_Object* object)
{
  ++object->_listings;
  if (_idIndex && _idIndex->epoch == g_idEpoch) _idIndex->holders[object->_id.c_str()].push_back(object);
}

void AK_Object::UnindexEntry(AK_Object* object)
{
  if (object) --object->_listings;
  if (!_idIndex) return;
  _idIndex->held.clear();
  _idIndex->xRuns.clear();
  if (!object || _idIndex->epoch != g_idEpoch) return;
  auto it = _idIndex->holders.find(object->_id.c_str());
  if (it == _idIndex->holders.end()) return;
  std::vector<AK_ObjectRef>& refs = it->second;
  for (size_t k = 0; k < refs.size(); ++k)
    if (refs[k].Get() == object) {
      refs.erase(refs.begin() + static_cast<std::ptrdiff_t>(k));
      break;
    }
  if (refs.empty()) _idIndex->holders.erase(it);
}

AK_Object* AK_Object::FirstHolder(const char* id)
{
  IdIndex& ids = Ids();
  auto it = ids.holders.find(id);
  if (it == ids.holders.end()) return nullptr;
  std::vector<AK_ObjectRef>& refs = it->second;
  size_t live = 0;
  for (size_t k = 0; k < refs.size(); ++k)
    if (refs[k].Get()) refs[live++] = refs[k];
  refs.resize(live);
  if (live == 0) {
    ids.holders.erase(it);
    return nullptr;
  }
  if (live == 1) return refs[0].Get();
  // Several entries bear it (a link beside its object, say): the first in list order.
  for (int i = 0; i < _components.Size(); ++i)
    if (AK_Object* c = _components[i].Get(); c && c->_id == id) return c;
  return nullptr;
}

bool AK_Object::HeldByOther(const char* id, const AK_Object* except)
{
  IdIndex& ids = Ids();
  auto it = ids.holders.find(id);
  if (it == ids.holders.end()) return false;
  for (const AK_ObjectRef& ref : it->second)
    if (AK_Object* c = ref.Get(); c && c != except) return true;
  return false;
}

int AK_Object::FirstFreeNumber(const AK_String& base, int number)
{
  const std::string key = base.c_str();
  std::pair<int, int> range = Ids().held[key];
  const bool follows = range.first > 0 && number >= range.first && number <= range.second;
  const int start = follows ? range.second : number;
  int n = start;
  while (n <= 9999 && FirstHolder(Numbered(base, n))) ++n;
  // The range stands only while no entry left the list meanwhile.
  std::pair<int, int>& now = Ids().held[key];
  now = std::pair<int, int>(follows && now == range ? range.first : start, n);
  return n <= 9999 ? n : 0;
}

AK_String AK_Object::FirstFreeWithX(const AK_String& name)
{
  const std::string key = name.c_str();
  const int known = Ids().xRuns[key];
  AK_String candidate = name;
  for (int k = 0; k < known; ++k) candidate += "x";
  int k = known;
  for (; HeldByOther(candidate, nullptr); ++k) candidate += "x";
  Ids().xRuns[key] = k;
  return candidate;
}

void AK_Object::ReindexAfterRename(const AK_String& old)
{
  if (_listings == 0 || old == _id) return;
  // Listed in the parent's list alone (the common case): that index follows the rename.
  IdIndex* index = _parent ? _parent->_idIndex.get() : nullptr;
  if (_listings == 1 && index && index->epoch == g_idEpoch) {
    auto it = index->holders.find(old.c_str());
    if (it != index->holders.end()) {
      std::vector<AK_ObjectRef>& refs = it->second;
      for (size_t k = 0; k < refs.size(); ++k)
        if (refs[k].Get() == this) {
          refs.erase(refs.begin() + static_cast<std::ptrdiff_t>(k));
          if (refs.empty()) index->holders.erase(it);
          index->holders[_id.c_str()].push_back(this);
          // The old name is free now: what the chains knew no longer holds.
          index->held.clear();
          index->xRuns.clear();
          return;
        }
    }
  }
  // Listed elsewhere too, or in a list whose index is not known: every index is built anew.
  ++g_idEpoch;
}

AK_Object* AK_Object::GetComponent(const char* id)
{
  return id ? FirstHolder(id) : nullptr;
}

// The first name from `candidate` on that no other object below the parent holds and no pending
// rename vacated: the name itself, else it numbered on, else with "x" added.
AK_String AK_Object::FreeNameFrom(AK_String candidate, const AK_String& old)
{
  if (!_parent) return candidate;
  const auto vacated = [&](const AK_String& id) { return _parent->NameVacatedByRename(id, this); };
  for (;;) {
    AK_Object* holder = _parent->FirstHolder(candidate);
    if ((!holder || holder == this) && (candidate == old || !vacated(candidate))) break;
    int number = 1, underscore = -1, read = 0;
    AK_String base = candidate;
    if (ReadNumberSuffix(candidate, read, underscore)) {
      number = read + 1;
      if (number > 9999) break;
      base = AK_String(candidate.c_str(), candidate.c_str() + underscore);
    }
    if (_listings > 0) {
      // A listed object may hold one of the names itself: one step at a time.
      candidate = Numbered(base, number);
      continue;
    }
    // An object in no list holds none of them: the names the chains before found held
    // are skipped at once.
    const int free = _parent->FirstFreeNumber(base, number);
    candidate = Numbered(base, free > 0 ? free : 9999);
    if (free > 0 && !vacated(candidate)) break;
  }
  if (_listings > 0) {
    while (_parent->HeldByOther(candidate, this) || (!(candidate == old) && vacated(candidate))) candidate += "x";
  } else {
    candidate = _parent->FirstFreeWithX(candidate);
    while (vacated(candidate)) candidate = _parent->FirstFreeWithX(candidate + "x");
  }
  return candidate;
}

void AK_Object::SetUniqueId(const char* wanted)
{
  AK_String old(_id);
  if (_fixedId && !old.IsEmpty() && !(old == AK_String(wanted ? wanted : ""))) {
    AK_ErrorText = GetAbsolutePath() + ": not renamed, the project makes it under this name and finds it by it";
    return;
  }
  // What names this object or one below it, looked up while the old names still resolve.
  const std::vector<PathHolder> holders =
      !old.IsEmpty() && _listings > 0 && !(old == AK_String(wanted ? wanted : "")) ? PathHoldersOf(this) : std::vector<PathHolder>();
  AK_String candidate(wanted ? wanted : "");
  candidate.ReplaceNonIdentifierChars('_');
  if (candidate.IsEmpty()) candidate = GetType() + "_" + AK_String(AK_InstanceCounter);
  // A name that a rename or a deletion not saved yet left is the object's it left in the saved
  // paths until then: a rename to it is refused, saying so. A new object (an import names its
  // mesh after what it read) is given another, as for a name that is taken; the commands that
  // make one under a name asked for refuse that name before (VacatedNameRefusal).
  const bool renaming = !old.IsEmpty() && _listings > 0;
  if (renaming && !(old == candidate) && _parent)
    if (const AK_String refusal = _parent->VacatedNameRefusal(candidate, this); !refusal.IsEmpty()) {
      AK_ErrorText = GetAbsolutePath() + ": not renamed: " + refusal;
      return;
    }
  const AK_String asked = candidate;

  candidate = FreeNameFrom(candidate, old);
  // Whether there is a directory to move decides whether the rename is marked: a look that fails
  // refuses it.
  AK_String unseen;
  const AK_PathLook directory = old.IsEmpty() || old == candidate || _projectDir.IsEmpty()
                                    ? AK_PathLook::Missing
                                    : AK_LookAtPath(_projectDir, &unseen);
  if (directory == AK_PathLook::Failed) {
    AK_ErrorText = GetAbsolutePath() + ": not renamed, whether its directory stands cannot be told: " + unseen;
    return;
  }
  _id = candidate;
  ReindexAfterRename(old);

  if (old.IsEmpty() || old == _id) return;
  if (renaming) SayNameGiven(asked);
  // Those that name it write its new path at their next save; so do they when it has no
  // directory to move. Its directory, made by its first save, follows its name all the same: a
  // save of it alone (a run's of what it reads) writes it where the paths that name it lead.
  if (directory == AK_PathLook::Missing) {
    if (!_projectDir.IsEmpty()) {
      AK_String named = ParentDirectoryOf(_projectDir);
      named.EnsureTrailingChar(_id, '/');
      SetProjectDirRecursive(named);
    }
    FollowMovedObjects(holders);
    return;
  }
  AK_String moved = ParentDirectoryOf(_projectDir);
  moved.EnsureTrailingChar(_id, '/');
  // The directory moves whole with nobody else writing it, or the object keeps its name. Nor does
  // it move when the save that follows a rename would be refused: the project would stand with the
  // directory moved and nothing saved that names it there. What names it on the disk is read under
  // the new name from the mark on, until it is saved so.
  const AK_String unsaved = SubtreeSaveRefusals(_projectDir);
  AK_DirectoryHolds holds;
  const bool held = unsaved.IsEmpty() && HoldSubtreeDirectories(_projectDir, AK_DirectoryChange::Move, holds);
  const bool marked = held && MarkRename(old, _id);
  if (held && !marked) AK_ErrorText = GetAbsolutePath() + ": not renamed, " + AK_ErrorText;
  if (!marked || AK_RenameFile(_projectDir, moved) != 0) {
    if (!unsaved.IsEmpty()) AK_ErrorText = GetAbsolutePath() + ": not renamed, its save would be refused: " + unsaved;
    if (marked) {
      AK_ErrorText = GetAbsolutePath() + ": not renamed, " + _projectDir + " cannot be moved to " + moved;
      if (const AK_String failure = AK_ErrorText; !UnmarkRename())
        AK_ErrorText = failure + "; " + AK_ErrorText + ", which the next load takes for a rename cut short";
    }
    const AK_String given = _id;
    _id = old;
    ReindexAfterRename(given);
    return;
  }
  // The directory moved: a line left only for that move goes. The rename is whole on the disk either
  // way: a line that stays names a move that is done, which the next load drops, and until then it
  // only leads the name between to where the object stands.
  if (!MarkRenameMoved())
    AK_MESSAGE(AK_String("WARNING:") + GetAbsolutePath() + ": " + AK_ErrorText + "; the next load drops that line");
  const AK_String from = _projectDir;
  SetProjectDirRecursive(moved);
  MoveLoadDamage(from, moved);
  FollowMovedObjects(holders);
  // The files moved hold what was written under the first of the names since: the name a save
  // that cannot write over them gives back. Back at that name, nothing is pending.
  if (_idBeforeRename.IsEmpty()) _idBeforeRename = old;
  _renamedDir = moved;
  if (_idBeforeRename == _id) {
    _idBeforeRename = "";
    _renamedDir = "";
  }
}
