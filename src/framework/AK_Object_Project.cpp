// AK_Object: project directories. Each owned object has a directory named by its Id below
// its parent's, holding its attribute file (set commands, "<type>.atr") and its data file
// ("<type>.dat"). This file finds, loads, unloads and describes saved objects; saving is
// AK_Object_Save.cpp.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "AK_ClassTable.h"
#include "AK_Object.h"
#include "AK_SmallFile.h"
#include "AK_StagedDirectory.h"

namespace {

// Removes a directory set aside by a deletion, its mark last: one whose removal fails half-way keeps
// the mark, by which the next load removes the rest. 0 when all went, else -1 with errno.
int RemoveMarkedLast(const AK_String& path)
{
  bool read = true;
  for (const AK_String& name : AK_ListDirectory(path, "", &read))
    if (const AK_String entry = AK_JoinPath(path, name);
        !(name == kRemovalMark) && AK_DeleteDirectoryTree(entry) != 0 && AK_DeleteFile(entry) != 0)
      return -1;
  return read ? AK_DeleteDirectoryTree(path) : -1;
}

// Removes what a deletion left aside at `path` when the program made it: "" when it is gone or
// no deletion's, else why it stays.
AK_String DropRemovedAside(const AK_String& path)
{
  AK_String unseen;
  switch (AK_LookAtPath(AK_JoinPath(path, kRemovalMark), &unseen)) {
    case AK_PathLook::Failed: return path + " is left as it stands: whether a deletion made it cannot be told: " + unseen;
    case AK_PathLook::Found:
      if (RemoveMarkedLast(path) != 0)
        return "what a deletion left in " + path + " cannot be removed: " + std::strerror(errno);
      return "";
    case AK_PathLook::Missing: break;
  }
  // Empty, it holds nothing of anybody's (a deletion killed before its mark); anything else of
  // that name is not the program's.
  if (bool read = true; AK_ListDirectory(path, "", &read).IsEmpty() && read) (void)AK_DeleteFile(path);
  return "";
}

// The one cleaner of what killed writers of this program left in a directory that a load reads:
// temporaries of the files written there (as `files` tells which), an object's directory that a
// deletion set aside, a new one that a save built aside, each only with the mark the program made
// it with. A live writer's stay; so does what the program did not make. "" when nothing of the
// program's stays, else what and why.
AK_String SweepLeftBehind(const AK_String& directory, AK_Leftovers files)
{
  // The same pass over a directory that may hold a long series: only the names set aside are kept,
  // and a name that is none of the program's marks costs no more than a compare of its end.
  std::vector<AK_String> aside;
  files.seen = [&](const char* name) {
    const size_t n = std::strlen(name);
    const auto endsWith = [&](const char* suffix) {
      const size_t m = std::strlen(suffix);
      return n > m && std::memcmp(name + n - m, suffix, m) == 0;
    };
    if (endsWith(kRemovedAside) || endsWith(kSaveStagingSuffix))
      aside.emplace_back(name);
  };
  AK_RemoveLeftovers(directory, files);
  AK_String stays;
  const auto add = [&](const AK_String& why) { stays += (stays.IsEmpty() ? "" : "; ") + why; };
  for (const AK_String& entry : aside) {
    AK_String stem;
    const AK_String path = AK_JoinPath(directory, entry);
    if (AK_CutSuffix(entry, kRemovedAside, stem)) {
      if (const AK_String left = DropRemovedAside(path); !left.IsEmpty()) add(left);
    } else if (AK_CutSuffix(entry, kSaveStagingSuffix, stem)) {
      if (const AK_StagingDrop drop = AK_DropSaveLeftBehind(path); drop.failed) add(drop.stays);
    }
  }
  return stays;
}

}  // namespace

void AK_Object::SetProjectDirRecursive(const char* directory)
{
  AK_String dir(directory ? directory : "");
  _projectDir = dir;
  for (AK_Object* c : OwnedComponents()) c->SetProjectDirRecursive(AK_JoinPath(dir, c->_id));
}

AK_String AK_Object::GetSaveVis()
{
  return (!_projectDir.IsEmpty() && AK_FileExists(_projectDir)) ? AK_String("w") : AK_String("r");
}

int AK_Object::DeleteProjectDir()
{
  if (_projectDir.IsEmpty()) return 0;
  // A directory nobody can tell is there is not taken for one that is gone: the deletion fails,
  // with the look's reason in errno.
  switch (AK_LookAtPath(_projectDir)) {
    case AK_PathLook::Missing: return 0;
    case AK_PathLook::Failed: return -1;
    case AK_PathLook::Found: break;
  }
  // Never the file-system root or the working directory itself.
  AK_String normal = AK_NormalizePath(_projectDir);
  while (normal.Length() > 1 && normal[normal.Length() - 1] == '/')
    normal = AK_String(normal.c_str(), normal.c_str() + normal.Length() - 1);
  if (normal == "/" || normal == "." || normal == "..") return 0;
  // Moved aside in one step first: a removal cut short leaves the project without the object,
  // never with a part of its files; what is left aside no load takes for an object, and the next
  // load removes it by its mark.
  const AK_String aside = normal + kRemovedAside;
  // What an earlier deletion left aside and cannot go makes the making below fail.
  if (const AK_String left = DropRemovedAside(aside); !left.IsEmpty()) {
    AK_MESSAGE(AK_String("WARNING: ") + left);
    errno = EEXIST;
    return -1;
  }
  if (AK_MakeDirectory(aside) != 0) return -1;
  AK_File mark(AK_JoinPath(aside, kRemovalMark), "w");
  const bool marked =
      mark && std::fputs("a deletion of torvu removes this; what stays goes with the next load\n", mark) >= 0;
  if (!mark.Close() || !marked || AK_RenameFile(normal, AK_JoinPath(aside, AK_String(normal).BaseName())) != 0) {
    const int error = errno;
    // Nothing was moved: what was made aside goes, or the next load removes it by its mark.
    (void)AK_DeleteDirectoryTree(aside);
    errno = error;
    return -1;
  }
  if (RemoveMarkedLast(aside) != 0)
    AK_MESSAGE(AK_String("WARNING: ") + GetAbsolutePath() + ": what was its directory is left in " + aside +
               ", which the next load removes");
  return 0;
}

bool AK_Object::HoldDirectory(const char*, AK_DirectoryChange, AK_DirectoryHolds&) { return true; }

bool AK_Object::HoldSubtreeDirectories(const char* directory, AK_DirectoryChange change, AK_DirectoryHolds& holds)
{
  const AK_String dir(directory ? directory : "");
  if (!HoldDirectory(dir, change, holds)) return false;
  for (AK_Object* c : OwnedComponents()) {
    const AK_String sub = AK_JoinPath(dir, c->_id);
    // A new object's directory is built under another name, and held there by its own save.
    if (change == AK_DirectoryChange::SaveInto && !AK_StagedDirectory::Active() &&
        AK_LookAtPathOnce(sub) == AK_PathLook::Missing)
      continue;
    if (!c->IsDead() && !c->HoldSubtreeDirectories(sub, change, holds)) return false;
  }
  return true;
}

namespace {

// The type name under which an object's files lie in a directory: its own, or, for an
// object whose type follows its leading attribute (a fresh user object that has not yet
// got its attribute set back), the one type whose attribute file the directory holds.
AK_String SavedTypeName(const AK_String& directory, const AK_String& ownType, bool typeMayDiffer)
{
  // One that cannot be looked at is its own type's: the load's look at it names the damage.
  if (!typeMayDiffer || AK_LookAtPath(AK_JoinPath(directory, ownType) + ".atr") != AK_PathLook::Missing) return ownType;
  AK_Array<AK_String> tables = AK_ListDirectory(directory, "atr");
  if (tables.Size() != 1) return ownType;
  AK_String typeName(tables[0]);
  typeName.CutExtension();
  return typeName;
}

}  // namespace

namespace {
struct LoadTag {};
using LoadFailures = AK_FailureList<LoadTag>;

// Saved attribute files being run now (a load within a load counts once more).
int replayDepth = 0;

struct ReplayScope {
  ReplayScope() { ++replayDepth; }
  ~ReplayScope() { --replayDepth; }
  ReplayScope(const ReplayScope&) = delete;
  ReplayScope& operator=(const ReplayScope&) = delete;
};
}  // namespace

bool AK_Object::ReplayingSavedAttributes() { return replayDepth > 0; }
bool AK_ReplayingSavedAttributes() { return AK_Object::ReplayingSavedAttributes(); }

void AK_Object::RecordLoadDamage(const AK_String& damage, const AK_String& directory, bool filesNotRead)
{
  _loadDamage = damage;
  _loadDamageDir = directory;
  _filesNotRead = filesNotRead;
  _loadDamageStamp = AK_NewStamp();
  LoadFailures::Add(damage);
}

void AK_Object::Load(const char* directory)
{
  AK_OperationScope scope;
  LoadFailures failures;
  AK_String dir(directory ? directory : "");
  AK_MESSAGE(AK_String("loading '") + _id + "' from " + dir);
  // Read as one, with no writer of the whole directory in between.
  AK_DirectoryHolds holds;
  // One that cannot be had (what a writer that is gone left cannot be ended) fails the load, which
  // reads on: what the object reads of it refuses on its own.
  if (!HoldDirectory(dir, AK_DirectoryChange::Read, holds)) LoadFailures::Add(AK_ErrorText);
  SetProjectDirRecursive(dir);
  _loadDamage = "";
  _loadedAttributesDigest = "";
  _dataIdentity = "";
  // What lies here is what the object is now: no rename before is taken back.
  _idBeforeRename = "";
  _renamedDir = "";
  // A writer killed in the directory left its temporary there, which no save of an unchanged
  // object would ever replace.
  if (const AK_String stays = SweepLeftBehind(dir, LeftoversOfKilledWriters()); !stays.IsEmpty())
    LoadFailures::Add(stays);

  AK_String typeName = SavedTypeName(dir, GetType(), _leadingAttribute != nullptr);
  AK_String data = AK_JoinPath(dir, typeName) + ".dat";
  AK_STREAM stream;
  if (AK_StreamOpen(stream, data, "rb")) {
    if (LoadData(stream) != 0) {
      RecordLoadDamage(AK_String("cannot load data for ") + GetAbsolutePath() + " from file " + data, dir, true);
      AK_ErrorText = _loadDamage;
      return;
    }
    // Read under the hold of the directory: no writer replaced it while the data were read, and
    // the bytes the reader took are the file's (its close changes nothing on the disk).
    AK_String identity;
    _dataIdentity = AK_StreamCloseDigesting(stream, identity) == 0 ? identity : AK_FileDigest(data);
  } else if (AK_String unseen; AK_LookAtPath(data, &unseen) != AK_PathLook::Missing) {
    // One that stands but cannot be opened is damage too: a save would write nothing in its place.
    // So is one that nobody can tell is there (its directory cannot be entered).
    RecordLoadDamage(AK_String("cannot open data for ") + GetAbsolutePath() + " from file " + data + ": " +
                         AK_StreamSystemError(stream),
                     dir, true);
    AK_ErrorText = _loadDamage;
    return;
  } else {
    _dataIdentity = "none";
  }

  AK_String attributes(data);
  attributes.CutExtension();
  attributes += ".atr";
  // Only the directory's own attribute file restores the object, never a class file of the
  // same name that the macro search would find in the attributes directories.
  AK_String unseen;
  const AK_PathLook attributesLook = AK_LookAtPath(attributes, &unseen);
  if (attributesLook == AK_PathLook::Failed) {
    RecordLoadDamage(AK_String("cannot load attributes for ") + GetAbsolutePath() + " from file " + attributes +
                         ": " + unseen,
                     dir, true);
    AK_ErrorText = _loadDamage;
    return;
  }
  if (attributesLook == AK_PathLook::Missing) {
    AK_ErrorText = AK_String("cannot open macro file '") + attributes + "'";
    return;
  }
  // The attribute file restores each attribute once, whatever the repetitions say; a
  // repetition count that the file itself restores stands.
  int repetitions = _macroRepetitions;
  int32_t repetitionsStamp = AK_Object::ModificationTime("MacroRepetitions");
  _macroRepetitions = 1;
  int damagedLines = 0;
  {
    ReplayScope replay;
    damagedLines = ExecMacro(attributes, 1, &_loadedAttributesDigest);
  }
  if (IsDead()) return;
  if (AK_Object::ModificationTime("MacroRepetitions") == repetitionsStamp) _macroRepetitions = repetitions;
  if (AK_ErrorText.IsEmpty() && damagedLines > 0) {
    RecordLoadDamage(AK_String("cannot load attributes for ") + GetAbsolutePath() + " from file " + attributes +
                     ": " + AK_String(damagedLines) + " line(s) refused or malformed",
                     dir, false);
    AK_ErrorText = _loadDamage;
    return;
  }
  // A file that stands but cannot be opened or read restores nothing: the object did not load,
  // and a save must not put its defaults in place of what the file holds.
  if (!AK_ErrorText.IsEmpty() && AK_ErrorText != "interrupted" && _loadedAttributesDigest.IsEmpty() &&
      AK_LookAtPath(attributes) != AK_PathLook::Missing) {
    // The system's reason tells a file of another user from a damaged disk.
    AK_String reason;
    if (AK_File probe(attributes, "r"); !probe) reason = AK_String(": ") + std::strerror(errno);
    RecordLoadDamage(AK_String("cannot load attributes for ") + GetAbsolutePath() + " from file " + attributes +
                         ": " + AK_ErrorText + reason,
                     dir, true);
    AK_ErrorText = _loadDamage;
    return;
  }
  if (!AK_ErrorText.IsEmpty()) return;
  MarkModified("Load");
  _savedDir = dir;
  _savedStamp = AK_Object::ModificationTime("Load");
}

namespace {

// The top directory of a project holds the user's files beside the top object's: only the
// temporaries of the files the program writes there go.
AK_Leftovers TopDirectoryLeftovers(AK_Object& top)
{
  AK_Leftovers leftovers;
  const AK_String type = top.GetType();
  leftovers.ownFile = [type](const AK_String& target) { return target == type + ".atr" || target == type + ".dat"; };
  return leftovers;
}

}  // namespace

AK_Leftovers AK_Object::LeftoversOfKilledWriters() { return {}; }

AK_String AK_Object::EndWhatIsGoneInNewComponentDirectory(const char*) { return ""; }

void AK_Object::LoadProject(const char* directory)
{
  AK_OperationScope scope;
  LoadFailures failures;
  int32_t loadStart = AK_NewStamp();
  // A rename cut short is finished before anything is read under either name.
  if (failures.Outermost())
    if (const AK_String unfinished = FinishRenameMarks(AK_String(directory && *directory ? directory : _projectDir.c_str()));
        !unfinished.IsEmpty())
      LoadFailures::Add(unfinished);
  LoadSubtree(directory);
  if (IsDead()) return;
  // The top object's files lie above every directory a load reads: what a writer of them that
  // was killed left there goes with the load of the project below it.
  // So does the mark of a save into the project's directory, left beside it when a kill stopped that
  // save once the directory stood.
  if (AK_Object* top = GetRoot(); failures.Outermost() && top != this && !top->ProjectDir().IsEmpty()) {
    if (const AK_String stays = SweepLeftBehind(top->ProjectDir(), TopDirectoryLeftovers(*top)); !stays.IsEmpty())
      LoadFailures::Add(stays);
    if (const AK_StagingDrop drop = AK_DropSaveLeftBehind(AK_SaveStagingOf(top->ProjectDir())); drop.failed)
      LoadFailures::Add(drop.stays);
  }
  if (failures.Outermost()) {
    KeepFreshlyLoaded(loadStart);
    // Made due after the load's own changes were taken for none.
    FollowRenameMarks();
  }
  if (AK_ErrorText == "interrupted") return;
  // The later objects' set lines have cleared the error text of an earlier failure.
  if (failures.Outermost() && !failures.Failures().IsEmpty()) AK_ErrorText = failures.Failures();
}

void AK_Object::LoadSubtree(const char* directory)
{
  AK_String dir(directory && *directory ? directory : _projectDir.c_str());

  // Owned components only: a link is loaded by its owner, and may lead back up the tree.
  for (AK_Object* c : OwnedComponents()) {
    if (c->IsDead()) continue;
    c->LoadSubtree(AK_JoinPath(dir, c->_id));
    // An attribute file on the way may have deleted this object.
    if (IsDead() || AK_ErrorText == "interrupted") return;
  }

  // A directory of the object's that stands but cannot be listed hides which components it holds:
  // the object carries that as its damage, so that no save writes it without them.
  AK_String unread;
  if (!_suppressCreatingComponents) {
    // A directory not there holds nothing yet (an object not saved yet).
    const AK_Read<AK_Array<AK_String>> listing = AK_ReadDirectory(dir);
    if (listing.IsUnreadable()) unread = listing.Failure();
    // Walked where it lies: a copy of a directory that holds a long series costs as much as its listing.
    const AK_Array<AK_String> none;
    const AK_Array<AK_String>& entries = listing.Value() ? *listing.Value() : none;
    for (const AK_String& entry : entries) {
      // Saved components are named by their Ids, which are plain identifiers: no load takes what a
      // deletion or a save set aside for an object (the directory's load removes it).
      if (!AK_IsPlainIdentifier(entry)) continue;
      if (GetComponent(entry)) continue;
      AK_String sub = AK_JoinPath(dir, entry);
      // Ended before the look for the saved object: the end of a cut save may put it in place.
      if (const AK_String failure = EndWhatIsGoneInNewComponentDirectory(sub); !failure.IsEmpty())
        LoadFailures::Add(failure);
      const AK_Read<AK_Array<AK_String>> tables = AK_ReadDirectory(sub, "atr");
      if (tables.IsUnreadable() && unread.IsEmpty()) unread = tables.Failure();
      if (!tables.Value() || tables.Value()->Size() != 1) continue;
      AK_String typeName((*tables.Value())[0]);
      typeName.CutExtension();
      AK_SavedNames saved;
      AK_Object* created = CreateComponent(entry, typeName);
      if (!created) continue;
      AddComponent(created);
      created->LoadSubtree(sub);
      if (IsDead() || AK_ErrorText == "interrupted") return;
    }
  }
  Load(dir);
  if (IsDead()) return;
  if (!unread.IsEmpty() && _loadDamage.IsEmpty()) {
    RecordLoadDamage(AK_String("cannot read directory of ") + GetAbsolutePath() + ": " + unread, dir, true);
    AK_ErrorText = _loadDamage;
  }
  const AK_String loaded = AK_ErrorText;
  AfterLoad();
  // What the object's own steps after its load could not do (end what a writer that is gone left)
  // fails the load as well: a later object's answer would hide it otherwise.
  if (!AK_ErrorText.IsEmpty() && !(AK_ErrorText == loaded)) LoadFailures::Add(AK_ErrorText);
}

void AK_Object::KeepFreshlyLoaded(int32_t loadStart)
{
  // What the load itself did to an object after its own attribute file ran (a container's
  // line that projects its members again, what AfterLoad derives) is no change of its own.
  if (_savedStamp > loadStart && LastModificationTime() > _savedStamp) {
    MarkModified("Load");
    _savedStamp = AK_Object::ModificationTime("Load");
  }
  if (_loadDamageStamp > loadStart && LastModificationTime() > _loadDamageStamp)
    _loadDamageStamp = LastModificationTime();
  for (AK_Object* c : OwnedComponents())
    if (!c->IsDead()) c->KeepFreshlyLoaded(loadStart);
}

void AK_Object::UnloadComponent(const char* id)
{
  AK_String name(id ? id : "");
  AK_MESSAGE(AK_String("unloading ") + name + "...");
  for (int i = 0; i < ComponentCount(); ++i) {
    if (Owns(i) && _components[i]->_id == name) {
      NoteUnloadedComponent(name, true);
      Destroy(Component(i));  // its saved directory stays
      return;
    }
  }
  // A link of that name is only dropped: its object belongs to another parent.
  for (int i = 0; i < ComponentCount(); ++i) {
    if (IsLink(i) && _components[i]->_id == name) {
      RemoveEntry(i);
      return;
    }
  }
}

void AK_Object::LoadComponent(const char* id)
{
  AK_String name(id ? id : "");
  AK_String sub = AK_JoinPath(_projectDir, name);
  if (!GetComponent(name) && AK_IsPlainIdentifier(name)) {
    AK_Array<AK_String> tables = AK_ListDirectory(sub, "atr");
    if (tables.Size() == 1) {
      AK_String typeName(tables[0]);
      typeName.CutExtension();
      AK_SavedNames saved;
      AK_Object* created = CreateComponent(name, typeName);
      if (created) AddComponent(created);
    }
  }
  // A link of that name belongs to another parent, which loads it.
  for (int i = 0; i < ComponentCount(); ++i) {
    if (Owns(i) && _components[i]->_id == name) {
      _components[i]->LoadProject(sub);
      NoteUnloadedComponent(name, false);
      return;
    }
  }
}

AK_String AK_Object::GetUnloadedComponentsList()
{
  AK_String list;
  if (_projectDir.IsEmpty()) return list;
  AK_Array<AK_String> entries = AK_ListDirectory(_projectDir, "");
  for (const AK_String& entry : entries) {
    if (!AK_IsPlainIdentifier(entry) || GetComponent(entry)) continue;
    list += entry;
    list += AK_SEP;
  }
  return list;
}
