// AK_Object: saving objects and subtrees into project directories, files of attribute
// commands for macros, and copying the saved attributes of one object to another.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "AK_AttributeTable.h"
#include "AK_ClassTable.h"
#include "AK_ProcessLock.h"
#include "AK_StagedDirectory.h"
#include "AK_Object.h"
#include "AK_SmallFile.h"

namespace {

// Commands that only write the object out or read it back change nothing a save would
// write; their stamps do not make an object due for saving.
bool IsPersistenceCommand(const char* name)
{
  static const char* const kNames[] = {"Save",          "SaveAs",         "SaveProject",
                                       "SaveProjectAs", "SaveAttributes", "SaveAttributesRecursively",
                                       "Load",          "LoadProject"};
  for (const char* n : kNames)
    if (std::strcmp(n, name) == 0) return true;
  return false;
}

// Two spellings of one directory ("a/b", "a\\b/", "./a/b", "a/x/../b") compare equal.
AK_String CanonicalDirectory(const char* directory)
{
  if (AK_String resolved = AK_ResolvedDirectory(directory); !resolved.IsEmpty()) return resolved;
  // Where it leads cannot be told: as it is spelled.
  AK_String d(directory ? directory : "");
  d.ReplaceChar('\\', '/');
  while (d.Length() > 1 && d[d.Length() - 1] == '/') d = AK_String(d.c_str(), d.c_str() + d.Length() - 1);
  while (d.Length() > 2 && d[0] == '.' && d[1] == '/') d = AK_String(d.c_str() + 2);
  if (d.IsEmpty()) d = ".";
  return d;
}

bool IsSavedEntry(AK_AttributeNode* node)
{
  return *AK_NodeValue(node) && AK_NodeSetId(node);
}

// Neither a volatile entry nor the identifier is saved or copied, nor anything below them.
bool IsLeftOut(AK_AttributeNode* node)
{
  return AK_NodeFindChild(node, "volatile") || std::strcmp(AK_NodeValue(node), "Id") == 0;
}

void WriteEntryCommands(AK_Object* object, AK_Object* reference, AK_AttributeNode* node,
                        const char* skipped, AK_String& out)
{
  // A class script that answers a Get may delete the object (or the reference) on the way;
  // the caller's operation scope keeps both readable.
  if (!node || IsLeftOut(node) || object->IsDead() || reference->IsDead()) return;
  const char* setId = AK_NodeSetId(node);
  if (IsSavedEntry(node) && !(skipped && std::strcmp(setId, skipped) == 0)) {
    AK_String value = object->Get(AK_NodeValue(node));
    if (object->IsDead() || reference->IsDead()) return;
    out += AK_FormatSetCommand(object->GetAbsolutePath(reference), setId, value);
    out += "\n";
  }
  for (int i = 0; i < AK_NodeChildCount(node); ++i)
    WriteEntryCommands(object, reference, AK_NodeChild(node, i), skipped, out);
}

void WriteCommandsRecursively(AK_Object* object, AK_Object* reference, AK_String& out,
                              std::unordered_set<const AK_Object*>& visited)
{
  if (!visited.insert(object).second) return;
  object->WriteAttributeCommands(reference, object->GetClassInfo(), out);
  if (object->IsDead()) return;
  std::vector<AK_Object*> components;
  for (int i = 0; i < object->ComponentCount(); ++i) components.push_back(object->Component(i));
  for (AK_Object* component : components)
    if (!component->IsDead() && !reference->IsDead())
      WriteCommandsRecursively(component, reference, out, visited);
}

// The last change of an object that a save would write (see IsPersistenceCommand). Nor is the
// identifier one: a save writes it nowhere but in the directory's name, which a rename moves.
// Without `references`, nor is a rename, move or deletion of an object it names (see
// AK_Object_References.cpp).
int32_t LastChangeToSave(const AK_Array<AK_String>& names, const AK_Array<int32_t>& stamps, bool references = true)
{
  int32_t last = 0;
  for (int i = 0; i < stamps.Size(); ++i)
    if (stamps[i] > last && !IsPersistenceCommand(names[i]) && !(names[i] == "Id") &&
        (references || !(names[i] == "References")))
      last = stamps[i];
  return last;
}

// The node of the class table whose value (the get identifier) is `name`, saved and not left out.
AK_AttributeNode* SavedNodeOf(AK_AttributeNode* node, const char* name)
{
  if (!node || AK_NodeFindChild(node, "volatile")) return nullptr;
  if (std::strcmp(AK_NodeValue(node), name) == 0 && AK_NodeSetId(node)) return node;
  for (int i = 0; i < AK_NodeChildCount(node); ++i)
    if (AK_AttributeNode* found = SavedNodeOf(AK_NodeChild(node, i), name)) return found;
  return nullptr;
}

// The files of an object that did not load whole stay as they are until it changes after that
// load: a damaged project is never saved over with what little of it could be read. Those of an
// object that could not read them stay whatever it does: it holds defaults in place of them.
bool KeepsDamagedFiles(const AK_String& damage, bool filesNotRead, int32_t damageStamp, int32_t lastChange)
{
  return !damage.IsEmpty() && (filesNotRead || lastChange <= damageStamp);
}

// "" when none is left, else what stays and why.
AK_String RemoveFilesOfOtherTypes(const AK_String& directory, const AK_String& typeName)
{
  for (const char* extension : {"atr", "dat"}) {
    AK_Array<AK_String> files = AK_ListDirectory(directory, extension);
    for (const AK_String& file : files) {
      AK_String stem(file);
      stem.CutExtension();
      const AK_String path = AK_JoinPath(directory, file);
      if (!(stem == typeName) && AK_DeleteFile(path) != 0 && AK_LookAtPath(path) != AK_PathLook::Missing)
        return "cannot remove " + path + ": " + std::strerror(errno);
    }
  }
  return "";
}

}  // namespace

void AK_WriteAttributeFile(const char* name, const AK_String& text)
{
  AK_File file = AK_File::Replacing(name);
  if (!file) {
    AK_ErrorText = AK_String("cannot open file ") + name + " for saving attributes!";
    return;
  }
  // The system's reason follows: a full disk and a file-size limit call for different mends.
  const bool written = std::fputs(text, file) >= 0;
  const int writeError = written ? 0 : errno;
  if (!file.Close() || !written)
    AK_ErrorText = AK_String("cannot write file ") + name + " for saving attributes! " +
                   std::strerror(writeError ? writeError : errno);
}

void AK_Object::WriteAttributeCommands(AK_Object* reference, AK_AttributeNode* node, AK_String& out)
{
  // Written from the top of its class table, an object restores its leading attribute first:
  // the attributes it brings must exist before their values are set.
  AK_OperationScope scope;
  const char* leading = node && node == GetClassInfo() ? _leadingAttribute : nullptr;
  if (leading) {
    AK_String value = Get(leading);
    if (IsDead() || reference->IsDead()) return;
    out += AK_FormatSetCommand(GetAbsolutePath(reference), leading, value);
    out += "\n";
  }
  WriteEntryCommands(this, reference, node, leading, out);
}

void AK_Object::SaveAttributes(const char* fileName)
{
  AK_String name(fileName && *fileName ? fileName : _macroFileName.c_str());
  AK_String commands;
  WriteAttributeCommands(this, GetClassInfo(), commands);
  AK_WriteAttributeFile(name, commands);
}

void AK_Object::SaveAttributesRecursively(const char* fileName)
{
  AK_String name(fileName && *fileName ? fileName : _macroFileName.c_str());
  AK_String commands;
  std::unordered_set<const AK_Object*> visited;
  AK_OperationScope scope;
  WriteCommandsRecursively(this, this, commands, visited);
  AK_WriteAttributeFile(name, commands);
}

namespace {
struct SaveTag {};
using SaveFailures = AK_FailureList<SaveTag>;

// The files a save puts in place while it lives (through the file functions, which tell it of
// each). A file is the save's by its identity: one that another writer put in its place is not,
// nor is a mark of a copy left for the next taker (which its writer keeps from it).
class SavedFiles {
public:
  SavedFiles() : _observerBefore(AK_FilePutInPlace)
  {
    AK_FilePutInPlace = [this](const char* path) {
      if (const AK_FileIdentity identity = AK_FileIdentityOfPath(path); identity.known) _written.push_back(identity);
    };
  }
  ~SavedFiles() { AK_FilePutInPlace = _observerBefore; }
  SavedFiles(const SavedFiles&) = delete;
  SavedFiles& operator=(const SavedFiles&) = delete;

  // True when every file below the directory is one the save wrote, or a temporary of a lock this
  // process was taking there whose removal failed: that is no sign of a copy left marked.
  // What cannot be listed or looked at may hold such a copy: it is no sign that nothing is marked.
  bool AllBelow(const AK_String& directory) const
  {
    const AK_Read<AK_Array<AK_String>> names = AK_ReadDirectory(directory);
    if (!names.Value()) return names.IsMissing();
    for (const AK_String& name : *names.Value()) {
      const AK_String path = AK_JoinPath(directory, name);
      const AK_PathLook look = AK_LookAtDirectory(path);
      if (look == AK_PathLook::Failed) return false;
      if (look == AK_PathLook::Found ? !AllBelow(path) : !Written(path) && !OwnLockTemporary(name)) return false;
    }
    return true;
  }

private:
  static bool OwnLockTemporary(const AK_String& name)
  {
    const std::string own = ".new." + std::to_string(AK_ProcessId());
    const std::string n = name.c_str();
    return n.size() > own.size() && n.compare(n.size() - own.size(), own.size(), own) == 0;
  }

  bool Written(const AK_String& path) const
  {
    const AK_FileIdentity identity = AK_FileIdentityOfPath(path);
    return std::any_of(_written.begin(), _written.end(), [&](const AK_FileIdentity& w) { return w.SameAs(identity); });
  }

  std::function<void(const char*)> _observerBefore;
  std::vector<AK_FileIdentity> _written;
};

const AK_String& SaveGoingOn()
{
  static const AK_String text("a save into it is going on in another process");
  return text;
}

// Where the build of `top` stands within its staging directory.
AK_String BuildOf(const AK_String& staging, const AK_String& top) { return AK_JoinPath(staging, AK_String(top).BaseName()); }

// Makes the staging directory of a save and marks it as this program's, held by `building` for as
// long as the save lives (the system gives the lock up when its process ends, however it ends).
// What a save whose process is gone left there goes first (see AK_DropSaveLeftBehind). "" when
// made, else why not.
AK_String StartStaging(const AK_String& staging, const AK_String& build, std::unique_ptr<AK_DirectoryLock>& building)
{
  if (const AK_StagingDrop drop = AK_DropSaveLeftBehind(staging); !drop.stays.IsEmpty()) return drop.stays;
  if (AK_MakeDirectory(staging) != 0 || !AK_IsDirectory(staging))
    return "cannot create directory " + staging + ": " + std::strerror(errno);
  building = std::make_unique<AK_DirectoryLock>(staging, std::chrono::milliseconds(0));
  // Another save made it too, and holds it, or one that got in between left files there.
  if (!building->Held() || !AK_HoldsDirectoryLock(staging) || !AK_ListDirectory(staging, "").IsEmpty()) {
    building.reset();
    return SaveGoingOn() + " (in " + staging + ")";
  }
  // Not even the mark stands when a kill comes first: an empty directory, which the next one removes.
  const AK_String mark = AK_JoinPath(staging, kStagingMark);
  AK_File made(mark, "w");
  const bool marked = made && std::fputs("a save of torvu builds here; what stays goes with the next save or load\n",
                                         made) >= 0;
  if (!made.Close() || !marked || AK_MakeDirectory(build) != 0 || !AK_IsDirectory(build)) {
    const int error = errno;
    const AK_String why = "cannot make " + staging + " ready for the save: " + std::strerror(error);
    if (AK_DeleteDirectoryTree(staging) != 0 && AK_LookAtPath(staging) != AK_PathLook::Missing)
      return why + "; it stays, and the next save or load removes it";
    return why;
  }
  return "";
}

}  // namespace

// While it lives, the outermost save of an object (with `subtree`, of the objects it owns too)
// that fails gives back to each object it moved into another directory where it was saved before.
class AK_Object::SavePlacesKept {
public:
  SavePlacesKept(AK_Object& object, const SaveFailures& failures, bool subtree)
      : _object(&object), _failures(failures), _outermost(failures.Outermost())
  {
    if (_outermost) object.TakeSavePlaces(_held, subtree);
  }
  ~SavePlacesKept()
  {
    if (_outermost && !_failures.Failures().IsEmpty() && _object.Get()) _object.Get()->GiveBackSavePlaces(_held);
  }
  SavePlacesKept(const SavePlacesKept&) = delete;
  SavePlacesKept& operator=(const SavePlacesKept&) = delete;

private:
  AK_ObjectRef _object;
  const SaveFailures& _failures;
  bool _outermost;
  SavePlaces _held;
};

AK_String AK_SaveStagingOf(const char* directory) { return CanonicalDirectory(directory) + kSaveStagingSuffix; }

AK_StagingDrop AK_DropSaveLeftBehind(const char* staging)
{
  const AK_String path(staging ? staging : "");
  const auto failed = [](const AK_String& why) { return AK_StagingDrop{why, true}; };
  AK_String unseen;
  switch (AK_LookAtKind(path, &unseen)) {
    case AK_PathKind::Missing: return {};
    case AK_PathKind::Failed: return failed("cannot look at " + unseen);
    case AK_PathKind::RegularFile:
    case AK_PathKind::Other: return {path + " stands and is no directory"};
    case AK_PathKind::Directory: break;
  }
  AK_DirectoryLock left(path, std::chrono::milliseconds(0));
  // Held under the name still: the directory was not renamed or replaced meanwhile.
  if (!left.Held() || !AK_HoldsDirectoryLock(path)) return {SaveGoingOn() + " (in " + path + ")"};
  switch (AK_LookAtPath(AK_JoinPath(path, kStagingMark), &unseen)) {
    case AK_PathLook::Failed:
      return failed(path + " is left as it stands: whether a save made it cannot be told: " + unseen);
    case AK_PathLook::Found:
      if (AK_DeleteDirectoryTree(path) != 0)
        return failed("what a save cut short left in " + path + " cannot be removed: " + std::strerror(errno));
      return {};
    case AK_PathLook::Missing: break;
  }
  // Empty, it holds nothing of anybody's (a save killed before its mark): the system removes a
  // directory only while it is.
  if (bool read = true; AK_ListDirectory(path, "", &read).IsEmpty() && read && AK_DeleteFile(path) == 0) return {};
  return {path + " is no save's build of this program, and is left as it stands: move it away to save there"};
}

bool AK_Object::HoldsPaths()
{
  for (const AK_AttributeTable* table = &AttributeTable(); table; table = table->Base())
    for (const AK_AttributeEntry& entry : table->Entries())
      if (entry.holdsPath) return true;
  return false;
}

void AK_Object::SaveAs(const char* directory)
{
  AK_OperationScope scope;
  SaveFailures failures;
  SavePlacesKept kept(*this, failures, false);
  AK_String dir(directory ? directory : "");
  if (!dir.IsEmpty() && failures.Outermost() && !ResolveSaveDirectory(dir)) return SaveFailures::Add(AK_ErrorText);
  const int32_t lastChange = LastChangeToSave(_stampNames, _stamps);
  // Refused before anything there is held or made: the object stays where it was. A save of a
  // project asked every object of it before its first file.
  AK_String refusal = dir.IsEmpty() ? NoProjectDirectory() : DamagedCopyRefusal(dir, lastChange);
  if (refusal.IsEmpty() && failures.Outermost()) refusal = SaveRefusal(dir);
  if (refusal.IsEmpty() && failures.Outermost() && CanonicalDirectory(dir) == CanonicalDirectory(_projectDir))
    refusal = VacatedNameSaveRefusal();
  if (!refusal.IsEmpty()) {
    AK_ErrorText = refusal;
    SaveFailures::Add(AK_ErrorText);
    return;
  }
  // Held already when the whole project is saved; a refusal leaves the object where it was.
  AK_DirectoryHolds holds;
  if (!HoldDirectory(dir, AK_DirectoryChange::SaveInto, holds)) {
    SaveFailures::Add(AK_ErrorText);
    return;
  }
  _projectDir = dir;
  if (AK_MakeDirectory(dir) != 0) {
    AK_ErrorText = AK_String("cannot create directory ") + dir + " for saving " + GetAbsolutePath() + ": " +
                   std::strerror(errno);
    SaveFailures::Add(AK_ErrorText);
    return;
  }

  AK_String attributes = AK_JoinPath(dir, GetType()) + ".atr";
  AK_String data(attributes);
  data.CutExtension();
  data += ".dat";

  const bool sameDir = CanonicalDirectory(dir) == CanonicalDirectory(_savedDir);
  const bool unchanged = _savedStamp > 0 && lastChange <= _savedStamp && sameDir;
  // Nothing changed but the path of an object it names: that is all the save changes of it. Its
  // other lines may hold what another process wrote since (a run's record).
  const bool pathsOnly = _savedStamp > 0 && sameDir && _loadDamage.IsEmpty() &&
                         LastChangeToSave(_stampNames, _stamps, false) <= _savedStamp;
  // Whether both files stand decides whether they are written again: one that cannot be looked at
  // fails the save before it writes.
  bool bothStand = false;
  if (AK_String unseen; unchanged || pathsOnly) {
    const AK_PathLook first = AK_LookAtPath(attributes, &unseen);
    const AK_PathLook second = first == AK_PathLook::Found ? AK_LookAtPath(data, &unseen) : first;
    if (second == AK_PathLook::Failed) {
      AK_ErrorText = GetAbsolutePath() + " not saved to " + dir + ": cannot look at " + unseen;
      SaveFailures::Add(AK_ErrorText);
      return;
    }
    bothStand = second == AK_PathLook::Found;
  }
  if (unchanged && bothStand) return;
  // Only a file that names other objects may hold a renamed one's new name.
  if (HoldsPaths() && !MarkNamesSavedFilesMayHold()) {
    AK_ErrorText = GetAbsolutePath() + " not saved to " + dir + ": " + AK_ErrorText;
    // As after a failed attribute file: a renamed object goes back to where it was, or says why not.
    (void)TakeNameBeforeRenameBack(dir);  // either way the failure is in AK_ErrorText
    SaveFailures::Add(AK_ErrorText);
    return;
  }
  if (pathsOnly && bothStand) {
    // A failure is in the save's list, which the outermost save answers.
    (void)SavePathsOnly(dir);
    return;
  }
  if (KeepDamagedFiles(dir, lastChange)) return;

  AK_MESSAGE(AK_String("saving ") + _id + " to " + dir);
  // Other processes save this object too, and a run rewrites its record in the attribute file:
  // one writer at a time, or one would put back what it read before another's write.
  AK_DirectoryHolds writers;
  LockForSave(dir, writers);

  if (!WriteSavedFiles(dir, attributes, data)) return;
  _loadDamage = "";
  // An object whose type follows its leading attribute may have been saved here under
  // another type name; its old files would leave two attribute files, and a directory with
  // two is no saved object at all.
  if (_leadingAttribute)
    if (const AK_String stays = RemoveFilesOfOtherTypes(dir, GetType()); !stays.IsEmpty()) {
      AK_ErrorText = GetAbsolutePath() + " not saved whole: " + stays;
      SaveFailures::Add(AK_ErrorText);
      return;
    }
  MarkModified("Save");
  _savedDir = dir;
  _savedStamp = AK_Object::ModificationTime("Save");
  WarnOfLostReferences();
}

bool AK_Object::WriteSavedFiles(const AK_String& dir, const AK_String& attributes, const AK_String& data)
{
  // A failure of the attribute file leaves its text and the save goes on; the object then
  // does not count as saved.
  AK_String earlierError(AK_ErrorText);
  AK_ErrorText = "";
  DropPathsOfDeletedObjects();
  SaveAttributes(attributes);
  if (IsDead()) return false;
  bool attributesWritten = AK_ErrorText.IsEmpty();
  // Under a new name over the files of the old one, the object would load as neither: it goes
  // back to where it was, and its data file with it.
  if (!attributesWritten && TakeNameBeforeRenameBack(dir)) {
    SaveFailures::Add(AK_ErrorText);
    return false;
  }
  if (attributesWritten) {
    AK_ErrorText = earlierError;
    _idBeforeRename = "";
    _renamedDir = "";
  }

  AK_STREAM stream;
  if (!AK_StreamOpenReplacing(stream, data, "wb")) {
    AK_ErrorText = AK_String("cannot open ") + data;
    SaveFailures::Add(AK_ErrorText);
    return false;
  }
  // A data file that does not reach the disk whole (a full disk) fails like its writer.
  AK_String written;
  if (SaveData(stream) != 0 || AK_StreamCloseDigesting(stream, written) != 0) {
    AK_ErrorText = AK_String("cannot save data of ") + GetAbsolutePath() + " to file " + data;
    SaveFailures::Add(AK_ErrorText);
    return false;
  }
  // Written under the lock of the object's writers: the file is the one this process holds now.
  _dataIdentity = written.IsEmpty() ? AK_FileDigest(data) : written;
  if (!attributesWritten) {
    SaveFailures::Add(AK_ErrorText);
    return false;
  }
  return true;
}

bool AK_Object::SavePathsOnly(const AK_String& directory)
{
  AK_MESSAGE(AK_String("saving the paths of ") + _id + " to " + directory);
  DropPathsOfDeletedObjects();
  for (const AK_AttributeTable* table = &AttributeTable(); table; table = table->Base())
    for (const AK_AttributeEntry& entry : table->Entries()) {
      if (!entry.holdsPath) continue;
      AK_AttributeNode* node = SavedNodeOf(GetClassInfo(), entry.name);
      if (!node) continue;
      const AK_String value = Get(entry.name);
      if (IsDead()) return false;
      if (!RewriteSavedAttribute(directory, AK_NodeSetId(node), value)) {
        SaveFailures::Add(GetAbsolutePath() + " not saved: " + AK_ErrorText);
        return false;
      }
    }
  MarkModified("Save");
  _savedDir = directory;
  _savedStamp = AK_Object::ModificationTime("Save");
  WarnOfLostReferences();
  return true;
}

bool AK_Object::TakeNameBeforeRenameBack(const AK_String& directory)
{
  if (_idBeforeRename.IsEmpty() || !(CanonicalDirectory(directory) == CanonicalDirectory(_renamedDir))) return false;
  const AK_String failure = AK_ErrorText, renamed = _id, wanted = _idBeforeRename;
  // Another object took the name meanwhile: under any other, the directory would be neither.
  if (_parent && _parent->FirstHolder(wanted)) {
    AK_ErrorText = failure + "; " + GetAbsolutePath() + " keeps its name, over files saved under " + wanted +
                   ", which another object bears now";
    return false;
  }
  AK_ErrorText = "";
  SetUniqueId(wanted);
  if (!(_id == wanted)) {
    AK_ErrorText = failure + "; " + GetAbsolutePath() + " keeps its name, over files saved under " + wanted +
                   (AK_ErrorText.IsEmpty() ? AK_String() : ": " + AK_ErrorText);
    return false;
  }
  AK_ErrorText = failure + "; " + GetAbsolutePath() + " is not renamed to " + renamed +
                 ": its files could not be written under that name";
  return true;
}

void AK_Object::LockForSave(const char* directory, AK_DirectoryHolds& holds)
{
  holds.push_back(std::make_shared<AK_DirectoryLock>(directory));
}

bool AK_Object::CopiesInto(const char*) { return false; }

AK_String AK_Object::SaveRefusal(const char*) { return ""; }

namespace {

// The files of a directory that hold an object (its attribute and data files). False, with the
// system's reason in `failure`, when the directory cannot be listed: its files are not none then.
bool ObjectFiles(const AK_String& directory, AK_Array<AK_String>& files, AK_String& failure)
{
  bool listed = true;
  files = AK_ListDirectory(directory, "atr", &listed);
  if (listed)
    for (const AK_String& file : AK_ListDirectory(directory, "dat", &listed)) files.Append(file);
  if (listed) return true;
  failure = directory + ": " + std::strerror(errno ? errno : EIO);
  return false;
}

// Why the components saved below a directory cannot all be told ("" when they can): the
// directory, or one of its components' directories that `known` does not name, cannot be listed.
AK_String UnlistedComponents(const AK_String& directory, const std::function<bool(const AK_String&)>& known)
{
  const AK_Read<AK_Array<AK_String>> listing = AK_ReadDirectory(directory);
  if (listing.IsUnreadable()) return listing.Failure();
  // The object's files went with their directory: none of them can go as they are either.
  if (!listing.Value()) return directory + ": " + std::strerror(ENOENT);
  for (const AK_String& entry : *listing.Value()) {
    if (!AK_IsPlainIdentifier(entry) || known(entry)) continue;
    // An entry that is no directory holds no component.
    if (const AK_Read<AK_Array<AK_String>> tables = AK_ReadDirectory(AK_JoinPath(directory, entry), "atr");
        tables.IsUnreadable())
      return tables.Failure();
  }
  return "";
}

// The message of a change that a save drops: the object could not read the files it would be
// written over, and holds defaults in place of what they hold.
AK_String ChangeNotSaved(const AK_String& damage)
{
  return "it was loaded with errors, and a change to it is saved only once it is loaded again whole: " + damage;
}

}  // namespace

AK_String AK_Object::DamagedCopyRefusal(const AK_String& directory, int32_t lastChange)
{
  if (!KeepsDamagedFiles(_loadDamage, _filesNotRead, _loadDamageStamp, lastChange)) return "";
  // Over the files it could not read, a change is refused before any file of the save is written.
  if (CanonicalDirectory(directory) == CanonicalDirectory(_loadDamageDir))
    return _filesNotRead && lastChange > _loadDamageStamp
               ? GetAbsolutePath() + " not saved, its files are left as they are: " + ChangeNotSaved(_loadDamage)
               : AK_String();
  const AK_String refused = GetAbsolutePath() + " not saved to " + directory + ": ";
  if (_filesNotRead && lastChange > _loadDamageStamp) return refused + ChangeNotSaved(_loadDamage);
  // Copied as they are, such files would stand beside that directory's own state, as if saved
  // with it.
  if (CopiesInto(directory))
    return refused + "it was loaded with errors, and its time steps go only with a whole save: " + _loadDamage;
  // Known before the save writes its first file, not after the files before them were written.
  // A directory that cannot be listed has files all the same, and may hold components this
  // object never loaded: nothing of it can go as it is.
  AK_Array<AK_String> files;
  if (AK_String unlisted; !ObjectFiles(_loadDamageDir, files, unlisted) ||
                          !(unlisted = UnlistedComponents(_loadDamageDir, [this](const AK_String& id) {
                              return GetComponent(id) != nullptr;
                            })).IsEmpty())
    return refused + "it was loaded with errors, and its files go only as they are, which cannot be read: " +
           unlisted;
  for (const AK_String& file : files) {
    const AK_String path = AK_JoinPath(_loadDamageDir, file);
    if (!AK_File(path, "rb"))
      return refused + "it was loaded with errors, and its files go only as they are, which cannot be read: " + path +
             ": " + std::strerror(errno);
  }
  return "";
}

bool AK_Object::KeepDamagedFiles(const AK_String& directory, int32_t lastChange)
{
  if (!KeepsDamagedFiles(_loadDamage, _filesNotRead, _loadDamageStamp, lastChange)) return false;
  if (CanonicalDirectory(directory) == CanonicalDirectory(_loadDamageDir)) {
    // A change that cannot be saved fails the save, which names the object; nothing changed
    // leaves only the warning.
    if (_filesNotRead && lastChange > _loadDamageStamp) {
      AK_ErrorText = GetAbsolutePath() + " not saved, its files are left as they are: " + ChangeNotSaved(_loadDamage);
      SaveFailures::Add(AK_ErrorText);
      return true;
    }
    AK_MESSAGE(AK_String("WARNING:") + GetAbsolutePath() + " not saved, its files are left as they are: " +
               _loadDamage);
    return true;
  }
  AK_MESSAGE(AK_String("WARNING:") + GetAbsolutePath() + " not saved, its files are copied as they are: " +
             _loadDamage);
  AK_Array<AK_String> files;
  if (AK_String unlisted; !ObjectFiles(_loadDamageDir, files, unlisted)) {
    AK_ErrorText = AK_String("cannot copy the files of ") + GetAbsolutePath() + " to " + directory + ": " + unlisted;
    SaveFailures::Add(AK_ErrorText);
  }
  for (const AK_String& file : files)
    if (AK_CopyFile(AK_JoinPath(_loadDamageDir, file), AK_JoinPath(directory, file)) != 0) {
      AK_ErrorText = AK_String("cannot copy ") + AK_JoinPath(_loadDamageDir, file) + " to " + directory;
      SaveFailures::Add(AK_ErrorText);
    }
  return true;
}

void AK_Object::MoveLoadDamage(const AK_String& from, const AK_String& to)
{
  if (!_loadDamage.IsEmpty()) {
    const AK_String moved = CanonicalDirectory(from), at = CanonicalDirectory(_loadDamageDir);
    if (at == moved) _loadDamageDir = to;
    else if (std::strncmp(at, moved, moved.Length()) == 0 && at.c_str()[moved.Length()] == '/')
      _loadDamageDir = AK_JoinPath(to, at.c_str() + moved.Length() + 1);
  }
  for (AK_Object* c : OwnedComponents())
    if (!c->IsDead()) c->MoveLoadDamage(from, to);
}

void AK_Object::Save() { SaveAs(AK_String(_projectDir)); }

namespace {

// The lines of a saved attribute file, each with its line end, and the one that sets the
// attribute on the object itself (-1 when none does).
struct SavedLines {
  AK_Array<AK_String> lines;
  int index = -1;
  AK_String value;
};

SavedLines ReadSavedLines(AK_Object& object, const AK_String& text, const char* attribute)
{
  SavedLines saved;
  for (const char* start = text.c_str(); *start;) {
    const char* end = std::strchr(start, '\n');
    end = end ? end + 1 : start + std::strlen(start);
    saved.lines.Append(AK_String(start, end));
    const char* content = end;
    while (content > start && (content[-1] == '\n' || content[-1] == '\r')) --content;
    const AK_String line(start, content);
    AK_String kind, path, name, value;
    if (object.ParseCommand(line, kind, path, name, value) == 0 && kind == "set" && path.IsEmpty() &&
        name == attribute) {
      saved.index = saved.lines.Size() - 1;
      saved.value = value;
    }
    start = end;
  }
  return saved;
}

AK_String SavedAttributeFile(AK_Object& object, const char* directory)
{
  return AK_JoinPath(AK_String(directory ? directory : ""), object.GetType()) + ".atr";
}

// The object's saved attribute file in the directory. A big object's file passes the limit of the
// small shared files; a load reads it whole, so does this.
AK_Read<AK_String> ReadSavedAttributes(AK_Object& object, const char* directory)
{
  return AK_ReadSmallFile(SavedAttributeFile(object, directory), SIZE_MAX);
}

// A line of attribute commands without its line end, and the attribute it sets on the object
// itself ("" for any other line).
struct CommandLine {
  AK_String line, attribute, value;
};

std::vector<CommandLine> CommandLines(AK_Object& object, const AK_String& text)
{
  std::vector<CommandLine> lines;
  for (const char* start = text.c_str(); *start;) {
    const char* end = std::strchr(start, '\n');
    const char* next = end ? end + 1 : start + std::strlen(start);
    if (!end) end = next;
    if (end > start && end[-1] == '\r') --end;
    CommandLine command{AK_String(start, end), "", ""};
    start = next;
    AK_String kind, path, name, value;
    if (object.ParseCommand(command.line, kind, path, name, value) == 0 && kind == "set" && path.IsEmpty()) {
      command.attribute = name;
      command.value = value;
    }
    lines.push_back(std::move(command));
  }
  return lines;
}

bool SetsOneOf(const CommandLine& command, const std::vector<const char*>& attributes)
{
  return !command.attribute.IsEmpty() &&
         std::any_of(attributes.begin(), attributes.end(), [&](const char* n) { return command.attribute == n; });
}

// The lines without those that set one of `leftOut` on the object itself.
std::vector<AK_String> LinesWithout(AK_Object& object, const AK_String& text,
                                    const std::vector<const char*>& leftOut)
{
  std::vector<AK_String> lines;
  for (CommandLine& command : CommandLines(object, text))
    if (!SetsOneOf(command, leftOut)) lines.push_back(std::move(command.line));
  return lines;
}

}  // namespace

AK_Read<bool> AK_Object::SavedAttributesDiffer(const char* directory, const std::vector<const char*>& leftOut)
{
  return ReadSavedAttributes(*this, directory).Then([&](const AK_String& saved) {
    AK_String commands;
    WriteAttributeCommands(this, GetClassInfo(), commands);
    if (IsDead()) return false;
    return LinesWithout(*this, saved, leftOut) != LinesWithout(*this, commands, leftOut);
  });
}

AK_Read<std::vector<std::pair<AK_String, AK_String>>> AK_Object::SavedAttributesNotNow(
    const char* directory, const std::vector<const char*>& leftOut)
{
  return ReadSavedAttributes(*this, directory).Then([&](const AK_String& saved) {
    std::vector<std::pair<AK_String, AK_String>> found;
    AK_String commands;
    WriteAttributeCommands(this, GetClassInfo(), commands);
    if (IsDead()) return found;
    const std::vector<AK_String> now = LinesWithout(*this, commands, leftOut);
    for (CommandLine& command : CommandLines(*this, saved))
      if (!command.attribute.IsEmpty() && !SetsOneOf(command, leftOut) &&
          std::find(now.begin(), now.end(), command.line) == now.end())
        found.emplace_back(std::move(command.attribute), std::move(command.value));
    return found;
  });
}

AK_Read<AK_String> AK_Object::SavedAttributesDigest(const char* directory, const std::vector<const char*>& leftOut)
{
  return ReadSavedAttributes(*this, directory).Then([&](const AK_String& saved) { return AttributesDigestOf(saved, leftOut); });
}

AK_String AK_Object::SavedAttributesPath(const char* directory) { return SavedAttributeFile(*this, directory); }

AK_String AK_Object::AttributesDigestOf(const AK_String& saved, const std::vector<const char*>& leftOut)
{
  std::string lines;
  for (const AK_String& line : LinesWithout(*this, saved, leftOut)) lines += std::string(line.c_str()) + "\n";
  return AK_ContentDigest(lines.data(), lines.size());
}

AK_Read<AK_String> AK_Object::SavedAttribute(const char* directory, const char* attribute)
{
  const AK_Read<AK_String> read = ReadSavedAttributes(*this, directory);
  const AK_String* text = read.Value();
  if (!text) return read;
  const SavedLines saved = ReadSavedLines(*this, *text, attribute);
  if (saved.index < 0) return AK_Read<AK_String>::Missing();
  return AK_Read<AK_String>::Found(saved.value);
}

bool AK_Object::RewriteSavedAttribute(const char* directory, const char* attribute, const char* value)
{
  const AK_String file = SavedAttributeFile(*this, directory);
  // Held over the read and the write: a save that came in between would be undone.
  AK_DirectoryLock writers(directory);
  const AK_Read<AK_String> read = ReadSavedAttributes(*this, directory);
  if (read.IsMissing()) return true;
  if (!read.Value()) {
    AK_ErrorText = AK_CannotRead(read);
    return false;
  }
  const AK_String& text = *read.Value();
  SavedLines saved = ReadSavedLines(*this, text, attribute);
  const AK_String line = AK_FormatSetCommand("", attribute, value) + "\n";
  if (saved.index >= 0 && saved.value == (value ? value : "")) return true;
  if (saved.index >= 0) {
    saved.lines[saved.index] = line;
  } else {
    if (!text.IsEmpty() && text[text.Length() - 1] != '\n') saved.lines.Append(AK_String("\n"));
    saved.lines.Append(line);
  }
  AK_String commands;
  for (const AK_String& l : saved.lines) commands += l;
  const AK_String before = AK_ErrorText;
  AK_ErrorText = "";
  AK_WriteAttributeFile(file, commands);
  if (!AK_ErrorText.IsEmpty()) return false;
  AK_ErrorText = before;
  return true;
}

namespace {

// SaveProjectAs of the object into `dir`, of which `top` is the topmost level that does not
// stand (see kSaveStagingSuffix). Its failures join the caller's list, all of which AK_ErrorText says.
void SaveNewProject(AK_Object& object, const AK_String& dir, const AK_String& top)
{
  // Within the caller's list: what each object's save failed with.
  SaveFailures failures;
  const AK_String failedBefore = failures.Failures();
  const auto answer = [&](const AK_String& failure) {
    SaveFailures::Add(failure);
    AK_ErrorText = failures.Failures();
  };
  const AK_String staging = top + kSaveStagingSuffix, build = BuildOf(staging, top);
  std::unique_ptr<AK_DirectoryLock> building;
  if (const AK_String refusal = StartStaging(staging, build, building); !refusal.IsEmpty())
    return answer(object.GetAbsolutePath() + " not saved to " + dir + ": " + refusal);
  bool whole = false, marked = false;
  {
    SavedFiles written;
    AK_StagedDirectory staged(top, build);
    {
      AK_DirectoryHolds holds;
      if (object.HoldSubtreeDirectories(dir, AK_DirectoryChange::SaveInto, holds)) {
        object.SaveAs(dir);
        if (!object.IsDead())
          for (AK_Object* c : object.OwnedComponents())
            if (!c->IsDead()) c->SaveProjectAs(AK_JoinPath(dir, c->Id()));
        whole = !object.IsDead() && failures.Failures() == failedBefore;
      } else {
        SaveFailures::Add(AK_ErrorText);
      }
      // Given up before the rename: a run lock is a file in its run directory, whose release
      // looks for it under the name it was taken under.
    }
    staged.End();
    // A copy that a failure left marked stays whole for the next taker of its run lock to finish:
    // put in place with the rest, as into a directory that stood.
    marked = !whole && !written.AllBelow(build);
  }
  AK_String failure;
  if (!whole && failures.Failures() == failedBefore)
    failure = object.GetAbsolutePath() + " not saved to " + dir + ": it was deleted meanwhile";
  if (whole || marked) {
    if (AK_RenameFile(build, top) == 0) {
      // The staging directory holds its mark alone now.
      if (AK_DeleteDirectoryTree(staging) == 0 || AK_LookAtPath(staging) == AK_PathLook::Missing) {
        if (!failure.IsEmpty()) SaveFailures::Add(failure);
        if (!failures.Failures().IsEmpty()) AK_ErrorText = failures.Failures();
        return;
      }
      const AK_String stays = staging + " cannot be removed: " + std::strerror(errno);
      // A save answered as failed leaves no new directory: it goes back into the build, and with
      // it. One that cannot go back stands whole, and the mark goes with the next save or load.
      if (!whole || AK_RenameFile(top, build) != 0) {
        failure += AK_String(failure.IsEmpty() ? "" : "; ") + object.GetAbsolutePath() + " saved to " + dir +
                   ", but " + stays + "; the next save there or load of the directory beside it removes it";
        return answer(failure);
      }
      failure += AK_String(failure.IsEmpty() ? "" : "; ") + object.GetAbsolutePath() + " not saved to " + dir + ": " + stays;
    } else {
      const int error = errno;
      const AK_String why = AK_FileExists(top) ? AK_String("another process made it meanwhile") : std::strerror(error);
      failure += AK_String(failure.IsEmpty() ? "" : "; ") + object.GetAbsolutePath() + " not saved to " + dir + ": " +
                 build + " cannot be renamed to " + top + ": " + why;
    }
  }
  // Nothing of a save that failed stays; what cannot go the next save into that name removes.
  if (AK_DeleteDirectoryTree(staging) != 0 && AK_LookAtPath(staging) != AK_PathLook::Missing)
    failure += AK_String(failure.IsEmpty() ? "" : "; ") + "what was saved stays in " + staging +
               ", which the next save to " + dir + " removes";
  answer(failure);
}

}  // namespace

AK_String AK_Object::SubtreeSaveRefusals(const AK_String& directory)
{
  // Most objects loaded whole: their stamps need no look.
  AK_String refusals =
      _loadDamage.IsEmpty() ? AK_String() : DamagedCopyRefusal(directory, LastChangeToSave(_stampNames, _stamps));
  if (const AK_String refusal = refusals.IsEmpty() ? SaveRefusal(directory) : AK_String(); !refusal.IsEmpty())
    refusals = refusal;
  // A directory that cannot be looked at can be neither made nor written: known before the first
  // file of the save, not after the files before it were written.
  if (AK_String unseen; refusals.IsEmpty() && AK_LookAtPathOnce(directory, &unseen) == AK_PathLook::Failed)
    refusals = GetAbsolutePath() + " not saved to " + directory + ": its directory cannot be looked at: " + unseen;
  for (AK_Object* c : OwnedComponents())
    if (const AK_String below = c->IsDead() ? AK_String() : c->SubtreeSaveRefusals(AK_JoinPath(directory, c->_id));
        !below.IsEmpty())
      refusals += (refusals.IsEmpty() ? "" : "; ") + below;
  return refusals;
}

AK_String AK_Object::CopyOfRenameMarksRefusal(const AK_String& directory)
{
  // The tops the save holds, each with the directory it goes into; below a top, the marks are
  // the top's, and a save of part of its tree carries none.
  std::vector<std::pair<AK_Object*, AK_String>> tops;
  if (!_parent) {
    for (AK_Object* c : OwnedComponents())
      if (!c->IsDead()) tops.emplace_back(c, AK_JoinPath(directory, c->Id()));
  } else if (!_parent->Parent()) {
    tops.emplace_back(this, directory);
  }
  AK_String refusals;
  for (const auto& [top, into] : tops) {
    const AK_String from = top->ProjectDir();
    if (from.IsEmpty() || CanonicalDirectory(from) == CanonicalDirectory(into)) continue;
    if (const AK_String unread = top->UnreadRenameMarks(); !unread.IsEmpty())
      refusals += (refusals.IsEmpty() ? "" : "; ") + top->GetAbsolutePath() + " not saved to " + into + ": " + unread;
  }
  return refusals;
}

bool AK_Object::ResolveSaveDirectory(AK_String& directory)
{
  AK_String failure;
  const AK_String resolved = AK_ResolvedDirectory(directory, &failure);
  if (resolved.IsEmpty()) {
    AK_ErrorText = GetAbsolutePath() + " not saved to " + directory + ": where it leads cannot be told: " + failure;
    return false;
  }
  directory = resolved;
  return true;
}

AK_String AK_Object::NoProjectDirectory()
{
  return GetAbsolutePath() + " not saved: it has no project directory (it was never saved, or its save into a new "
                             "directory failed): give it one with SaveProjectAs";
}

void AK_Object::TakeSavePlaces(SavePlaces& held, bool subtree)
{
  held.push_back({this, _projectDir, _savedDir, _loadDamage, _idBeforeRename, _renamedDir, _savedStamp,
                  StateBeforeSaveElsewhere()});
  if (subtree)
    for (AK_Object* c : OwnedComponents())
      if (!c->IsDead()) c->TakeSavePlaces(held, true);
}

void AK_Object::GiveBackSavePlaces(const SavePlaces& held)
{
  // Only what lives still is walked: a pointer held is compared, never followed.
  for (const SavePlace& place : held)
    if (place.object == this && !(CanonicalDirectory(place.projectDir) == CanonicalDirectory(_projectDir))) {
      _projectDir = place.projectDir;
      _savedDir = place.savedDir;
      _savedStamp = place.savedStamp;
      _loadDamage = place.loadDamage;
      _idBeforeRename = place.idBeforeRename;
      _renamedDir = place.renamedDir;
      if (place.giveBackOwnState) place.giveBackOwnState();
    }
  for (AK_Object* c : OwnedComponents())
    if (!c->IsDead()) c->GiveBackSavePlaces(held);
}

std::function<void()> AK_Object::StateBeforeSaveElsewhere() { return {}; }

void AK_Object::SaveProjectAs(const char* directory)
{
  AK_OperationScope scope;
  SaveFailures failures;
  AK_DirectoriesSeen seen;
  AK_String dir(directory ? directory : "");
  // An object that was never saved, or whose save into a new directory failed, has no directory of
  // its own: its files would go into whatever directory the program runs in.
  if (dir.IsEmpty()) {
    AK_ErrorText = NoProjectDirectory();
    SaveFailures::Add(AK_ErrorText);
    return;
  }
  if (failures.Outermost() && !ResolveSaveDirectory(dir)) return SaveFailures::Add(AK_ErrorText);
  // An object that its save would refuse (see SaveAs) is refused before anything is held: the
  // target stays as it was.
  if (failures.Outermost())
    if (AK_String refusals = SubtreeSaveRefusals(dir);
        !refusals.IsEmpty() || !(refusals = CopyOfRenameMarksRefusal(dir)).IsEmpty() ||
        (CanonicalDirectory(dir) == CanonicalDirectory(_projectDir) && !(refusals = VacatedNameSaveRefusal()).IsEmpty())) {
      AK_ErrorText = refusals;
      return;
    }
  SavePlacesKept kept(*this, failures, true);
  SaveProjectAsInto(dir, failures.Outermost());
}

void AK_Object::SaveProjectAsInto(const AK_String& dir, bool outermost)
{
  // Within the list of SaveProjectAs.
  SaveFailures failures;
  // A new directory stands whole or not at all: the project's, or a new object's of a project that
  // stands. Within a build, every directory is new and built already.
  if (!AK_StagedDirectory::Active()) {
    AK_String failure;
    const std::vector<AK_String> missing = AK_MissingLevels(CanonicalDirectory(dir), failure);
    // Whether the directory stands decides where the save builds: unknown, it builds nowhere.
    if (!failure.IsEmpty()) {
      SaveFailures::Add(GetAbsolutePath() + " not saved to " + dir + ": cannot look at " + failure);
      if (outermost) AK_ErrorText = failures.Failures();
      return;
    }
    if (!missing.empty()) return SaveNewProject(*this, dir, missing.back());
  }
  // A save into the directory that a kill stopped after it put the directory in place left the
  // build's mark beside it: it goes with this one.
  if (outermost)
    if (const AK_StagingDrop drop = AK_DropSaveLeftBehind(AK_SaveStagingOf(dir)); drop.failed)
      SaveFailures::Add(drop.stays);
  // Everything the save writes is held before its first file changes, and until its last did.
  AK_DirectoryHolds holds;
  if (outermost && !HoldSubtreeDirectories(dir, AK_DirectoryChange::SaveInto, holds)) return;
  const AK_String id = _id;
  SaveAs(dir);
  if (IsDead()) return;
  // A save that gave the object its name back moved its directory back, with its components'
  // below it: none of them goes into `dir`.
  if (_id == id)
    for (AK_Object* c : OwnedComponents())
      if (!c->IsDead()) c->SaveProjectAs(AK_JoinPath(dir, c->_id));
  if (outermost && !failures.Failures().IsEmpty()) AK_ErrorText = failures.Failures();
  // Every object that named a renamed one wrote its new path: the marks of the renames go last.
  else if (outermost && !IsDead() && _id == id && CanonicalDirectory(dir) == CanonicalDirectory(_projectDir) &&
           !EndRenameMarks())
    AK_ErrorText = GetAbsolutePath() + " saved, but " + AK_ErrorText;
}

void AK_Object::SaveProject(const char* directory)
{
  SaveProjectAs(directory && *directory ? AK_String(directory) : AK_String(_projectDir));
}

void AK_Object::AssignAttributesOf(AK_Object* source, const AK_Array<AK_String>& leaveOut)
{
  if (!source || source->IsDead()) return;
  AK_OperationScope scope;
  AK_Array<AK_String> rest(leaveOut);
  if (const char* leading = _leadingAttribute) {
    if (!AK_StringListContains(leaveOut, leading)) {
      AK_String name(leading);
      Set(name, source->Get(name));
      if (IsDead()) return;
    }
    rest.Append(AK_String(leading));
  }
  AssignAttributesFromTable(source, GetClassInfo(), rest);
}

void AK_Object::AssignAttributesFromTable(AK_Object* source, AK_AttributeNode* node,
                                          const AK_Array<AK_String>& leaveOut)
{
  if (!node || !source || source->IsDead() || IsLeftOut(node)) return;
  AK_OperationScope scope;
  if (IsSavedEntry(node)) {
    const char* setId = AK_NodeSetId(node);
    if (AK_StringListContains(leaveOut, setId)) return;
    AK_String value = source->Get(AK_NodeValue(node));
    Set(AK_String(setId), value);
    if (IsDead()) return;
  }
  // Class tables are never freed, so the walk may go on after a Set that gave this object
  // another table (a user object's attribute set).
  for (int i = 0; i < AK_NodeChildCount(node); ++i) {
    AssignAttributesFromTable(source, AK_NodeChild(node, i), leaveOut);
    if (IsDead()) return;
  }
}

int AK_Object::WriteClassValuesRecursive()
{
  int sum = WriteClassValues();
  for (AK_Object* c : OwnedComponents()) sum += c->WriteClassValuesRecursive();
  return sum;
}
