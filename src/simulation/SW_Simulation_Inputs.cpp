// SW_Simulation: what a state depends on, as saved and as held: the values of its attributes, the
// objects its references name (the mesh, the rasters of release and entrainment) and the members of
// its groups (the areas and lines its run reads).
//
// A reference is taken by the object it names, not by its path: a rename changes the path and
// nothing a time step depends on, while another object under the same path (deleted and made
// again with other data, or another renamed or imported into the name) is another input, as a
// mesh set by hand is. An object is known by the content of its saved data file, which a rename
// moves and leaves as it is.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

#include "AK_AttributeTable.h"
#include "AK_SmallFile.h"
#include "SW_Simulation.h"
#include "SW_SimulationStatus.h"

namespace {

// What separates the digest of the values from the digest of the objects named, and, within that,
// the objects the references name from the members of the groups. A digest saved by a build before
// holds none (it digests the paths' text, and tells nothing of the objects) or one (it tells nothing
// of the members).
constexpr const char* kObjectsPart = "+";

// The object saved in `objectDir` by its data file ("<type>.dat"): "none" when no such file
// stands there.
AK_Read<AK_String> SavedObjectIdentity(const AK_String& objectDir, const char* type)
{
  const AK_String path = AK_JoinPath(objectDir, AK_String(type) + ".dat");
  AK_String failure;
  switch (AK_LookAtPath(path, &failure)) {
    case AK_PathLook::Missing: return AK_Read<AK_String>::Found("none");
    case AK_PathLook::Failed: return AK_Read<AK_String>::Unreadable(failure);
    case AK_PathLook::Found: break;
  }
  // Binary data: the digest of every byte.
  const AK_String digest = AK_FileDigest(path);
  if (digest.IsEmpty()) return AK_Read<AK_String>::Unreadable(path + ": it cannot be read");
  return AK_Read<AK_String>::Found(digest);
}

// The object a path saved in a file of `holder` names, by its saved data: where a rename pending in
// the project moved it when nothing stands at the path any more (the next load follows the path
// there too).
AK_Read<AK_String> SavedIdentityFollowingRenames(AK_Object& holder, const AK_String& objectDir, const char* type)
{
  const AK_Read<AK_String> read = SavedObjectIdentity(objectDir, type);
  if (!read.Value() || !(*read.Value() == "none")) return read;
  const AK_Read<AK_String> moved = holder.MovedByPendingRename(objectDir);
  if (!moved.Value()) return moved;
  return *moved.Value() == objectDir ? read : SavedObjectIdentity(*moved.Value(), type);
}

bool LeftOut(const std::vector<const char*>& leftOut, const char* name)
{
  return std::any_of(leftOut.begin(), leftOut.end(), [&](const char* n) { return AK_String(n) == name; });
}

// The part of a digest that names the objects; "" for a digest of a build before, or none.
AK_String ObjectsPartOf(const AK_String& digest)
{
  const char* part = std::strchr(digest.c_str(), kObjectsPart[0]);
  return part ? AK_String(part + 1) : AK_String();
}

// The part before the first separator: all of it when it has none.
AK_String Head(const AK_String& digest)
{
  const char* part = std::strchr(digest.c_str(), kObjectsPart[0]);
  return part ? AK_String(digest.c_str(), part) : digest;
}

AK_String Digest(const AK_String& identities)
{
  return AK_ContentDigest(identities.c_str(), size_t(identities.Length()));
}

// Between the members of a members' part, and between a member's path and its object.
constexpr char kNextMember = ',';
constexpr char kMemberObject = ':';

// The members of a members' part: the digest of each member's path with that of its object.
std::vector<std::pair<AK_String, AK_String>> MembersOf(const AK_String& part)
{
  std::vector<std::pair<AK_String, AK_String>> members;
  AK_Array<AK_String> items;
  part.Split(kNextMember, items);
  for (const AK_String& item : items)
    if (const char* colon = std::strchr(item.c_str(), kMemberObject))
      members.emplace_back(AK_String(item.c_str(), colon), AK_String(colon + 1));
  return members;
}

// The objects part of a run's digest stands for the one taken now: the references name the same
// objects, and no member path names another object than it did (a member added, dropped or
// renamed leaves the state; another object under a member's path does not). One written by a
// build that did not count the members stands for the references it counted.
bool SameObjects(const AK_String& ran, const AK_String& now)
{
  if (ran == now) return true;
  if (!(Head(ran) == Head(now))) return false;
  if (Head(ran) == ran) return true;
  const auto before = MembersOf(ObjectsPartOf(ran)), after = MembersOf(ObjectsPartOf(now));
  return std::none_of(before.begin(), before.end(), [&](const auto& b) {
    return std::any_of(after.begin(), after.end(), [&](const auto& a) { return a.first == b.first && !(a.second == b.second); });
  });
}

// One member of a members' part.
AK_String MemberEntry(const char* group, const AK_String& path, const AK_String& identity)
{
  const AK_String where = AK_String(group) + "/" + path;
  return Digest(where) + AK_String(std::string(1, kMemberObject).c_str()) + Digest(identity) +
         AK_String(std::string(1, kNextMember).c_str());
}

// Where the files of an object stand: a rename moves them at once, before the object's next save.
// "" for one that has no directory.
AK_String FilesDirectory(AK_Object& object)
{
  AK_Object* parent = object.Parent();
  return parent && !parent->ProjectDir().IsEmpty() ? AK_JoinPath(parent->ProjectDir(), object.Id())
                                                   : object.ProjectDir();
}

// The object this process holds, by the data file it last read or wrote: "none" for no object.
// What another process saved under its path since is another object, which this one does not hold.
AK_Read<AK_String> HeldIdentity(AK_Object* object)
{
  if (!object) return AK_Read<AK_String>::Found("none");
  if (!object->DataIdentity().IsEmpty()) return AK_Read<AK_String>::Found(object->DataIdentity());
  // One whose data file its load could not read is none that anybody can tell.
  if (!object->LoadDamage().IsEmpty()) return AK_Read<AK_String>::Unreadable(object->LoadDamage());
  // One this process never loaded nor saved is none that a saved file names.
  return AK_Read<AK_String>::Found("unsaved " + object->GetAbsolutePath());
}

// The paths of a group's member list, as written there.
std::vector<AK_String> MemberPaths(const AK_String& list)
{
  AK_Array<AK_String> split;
  list.Split(AK_SEP, split);
  std::vector<AK_String> paths;
  for (const AK_String& member : split)
    if (!member.IsEmpty()) paths.push_back(member);
  return paths;
}

}  // namespace

std::vector<const AK_AttributeEntry*> SW_Simulation::StateReferences(const std::vector<const char*>& leftOut)
{
  std::vector<const AK_AttributeEntry*> references;
  for (const AK_AttributeTable* table = &AttributeTable(); table; table = table->Base())
    for (const AK_AttributeEntry& entry : table->Entries())
      if (entry.holdsPath && entry.objectType && !LeftOut(leftOut, entry.name)) references.push_back(&entry);
  return references;
}

AK_Read<AK_String> SW_Simulation::SavedObjectsDigest(const char* directory, const AK_String& saved,
                                                     const std::vector<const AK_AttributeEntry*>& references)
{
  AK_String identities;
  for (const AK_AttributeEntry* entry : references) {
    const AK_String path = SavedValueIn(saved, entry->name);
    AK_String identity = "none";
    // A path that is not relative to the simulation names no saved directory: taken as written.
    if (path.IsEmpty() || path == "none") identity = "none";
    else if (path[0] != '.') identity = "path " + path;
    else if (const AK_Read<AK_String> read =
                 SavedIdentityFollowingRenames(*this, AK_JoinPath(directory, path), entry->objectType);
             read.Value())
      identity = *read.Value();
    else
      return read;
    identities += AK_String(entry->name) + "\t" + identity + "\n";
  }
  return AK_Read<AK_String>::Found(Digest(identities));
}

AK_Read<AK_String> SW_Simulation::HeldObjectsDigest(const std::vector<const AK_AttributeEntry*>& references)
{
  AK_String identities;
  for (const AK_AttributeEntry* entry : references) {
    const AK_String path = Get(entry->name);
    AK_Object* object = path.IsEmpty() || path == "none" ? nullptr : FindObject(path.c_str());
    AK_String identity = "none";
    if (!object) identity = path.IsEmpty() || path == "none" || path[0] == '.' ? AK_String("none") : "path " + path;
    else if (const AK_Read<AK_String> read = HeldIdentity(object); read.Value())
      identity = *read.Value();
    else
      return read;
    identities += AK_String(entry->name) + "\t" + identity + "\n";
  }
  return AK_Read<AK_String>::Found(Digest(identities));
}

AK_Read<AK_String> SW_Simulation::SavedMembersDigest(const char* directory)
{
  AK_String identities;
  for (const SW_GroupKind& kind : SW_SimulationGroups) {
    const AK_String groupDir = AK_JoinPath(directory, kind.id);
    const AK_Read<AK_String> saved = AK_ReadSmallFile(AK_JoinPath(groupDir, "Group.atr"), SIZE_MAX);
    if (saved.IsUnreadable()) return saved;
    if (!saved.Value()) continue;
    for (const AK_String& path : MemberPaths(SavedValueIn(*saved.Value(), "ContainedObjectsList"))) {
      const AK_Read<AK_String> read = SavedIdentityFollowingRenames(*this, AK_JoinPath(groupDir, path), kind.selectedType);
      if (!read.Value()) return read;
      identities += MemberEntry(kind.id, path, *read.Value());
    }
  }
  return AK_Read<AK_String>::Found(identities);
}

AK_Read<AK_String> SW_Simulation::HeldMembersDigest()
{
  AK_String identities;
  for (const SW_GroupKind& kind : SW_SimulationGroups) {
    AK_Object* group = GetComponent(kind.id);
    if (!group) continue;
    // The list as the group saves it: its members, then the paths it keeps as read.
    for (const AK_String& path : MemberPaths(group->Get("ContainedObjectsList"))) {
      AK_Object* member = group->FindObject(path.c_str());
      const AK_Read<AK_String> read = HeldIdentity(member);
      if (!read.Value()) return read;
      identities += MemberEntry(kind.id, path, *read.Value());
    }
  }
  return AK_Read<AK_String>::Found(identities);
}

AK_String SW_Simulation::SavedValueIn(const AK_String& saved, const char* attribute)
{
  AK_String value;
  for (const char* start = saved.c_str(); *start;) {
    const char* end = std::strchr(start, '\n');
    const char* next = end ? end + 1 : start + std::strlen(start);
    if (!end) end = next;
    if (end > start && end[-1] == '\r') --end;
    AK_String kind, path, name, found;
    if (ParseCommand(AK_String(start, end), kind, path, name, found) == 0 && kind == "set" && path.IsEmpty() &&
        name == attribute)
      value = found;
    start = next;
  }
  return value;
}

AK_Read<bool> SW_Simulation::ValuesDifferFromSaved(const char* directory)
{
  // The objects its references name are compared with those the time steps were computed on
  // (ObjectsDifferFromRun), not with the paths saved: a rename not saved yet changes no value.
  std::vector<const char*> leftOut = ValuesLeftOut(SW_ValuesCompared::State);
  for (const AK_AttributeEntry* entry : StateReferences(leftOut)) leftOut.push_back(entry->name);
  return SavedAttributesDiffer(directory, leftOut);
}

AK_Read<AK_String> SW_Simulation::SavedValuesDigest(const char* directory, SW_ValuesCompared compared)
{
  std::vector<const char*> leftOut = ValuesLeftOut(compared);
  const std::vector<const AK_AttributeEntry*> references = StateReferences(leftOut);
  for (const AK_AttributeEntry* entry : references) leftOut.push_back(entry->name);
  // One read of the file for both parts: a save in between would mix two of them.
  const AK_Read<AK_String> saved = AK_ReadSmallFile(SavedAttributesPath(directory), SIZE_MAX);
  if (!saved.Value()) return saved;
  const AK_Read<AK_String> objects = SavedObjectsDigest(directory, *saved.Value(), references);
  if (!objects.Value()) return objects;
  const AK_Read<AK_String> members = SavedMembersDigest(directory);
  if (!members.Value()) return members;
  return AK_Read<AK_String>::Found(AttributesDigestOf(*saved.Value(), leftOut) + kObjectsPart +
                                   *objects.Value() + kObjectsPart + *members.Value());
}

bool SW_Simulation::SameSavedValues(const char* directory, const AK_String& values, const AK_String& saved)
{
  if (values == saved) return true;
  if (values.IsEmpty() || values == "-") return false;
  // One of a build that did not count the members stands for the values and the references it
  // counted.
  if (!ObjectsPartOf(values).IsEmpty())
    return Head(values) == Head(saved) && SameObjects(ObjectsPartOf(values), ObjectsPartOf(saved));
  // A digest of a build before took the paths' text: it stands for the values saved while that
  // text is still what the file says.
  const AK_Read<AK_String> before = SavedAttributesDigest(directory, ValuesLeftOut(SW_ValuesCompared::State));
  return before.Value() && *before.Value() == values;
}

AK_Read<bool> SW_Simulation::ObjectsDifferFromRun(const char* directory, bool held)
{
  const AK_Read<AK_String> values = SW_ReadRunValues(directory);
  if (!values.Value()) return values.Then([](const AK_String&) { return false; });
  // A run under values it did not save, or one of a build before, tells nothing of its objects.
  const AK_String ran = ObjectsPartOf(*values.Value());
  if (ran.IsEmpty()) return AK_Read<bool>::Found(false);
  const std::vector<const AK_AttributeEntry*> references = StateReferences(ValuesLeftOut(SW_ValuesCompared::State));
  AK_Read<AK_String> now = AK_Read<AK_String>::Missing();
  if (held) {
    now = HeldObjectsDigest(references);
  } else {
    const AK_Read<AK_String> saved = AK_ReadSmallFile(SavedAttributesPath(directory), SIZE_MAX);
    if (!saved.Value()) return saved.Then([](const AK_String&) { return false; });
    now = SavedObjectsDigest(directory, *saved.Value(), references);
  }
  if (!now.Value()) return now.Then([](const AK_String&) { return false; });
  const AK_Read<AK_String> members = held ? HeldMembersDigest() : SavedMembersDigest(directory);
  if (!members.Value()) return members.Then([](const AK_String&) { return false; });
  return AK_Read<bool>::Found(!SameObjects(ran, *now.Value() + kObjectsPart + *members.Value()));
}

AK_String SW_Simulation::InputsSavedElsewhereRefusal()
{
  for (AK_Object* object : ObjectsARunReads()) {
    if (!object || object == this || object->IsDead()) continue;
    // One this process never read nor wrote is its own: the run saves it before its first step.
    const AK_String& held = object->DataIdentity();
    const AK_String dir = FilesDirectory(*object);
    if (held.IsEmpty() || dir.IsEmpty()) continue;
    const AK_Read<AK_String> now = SavedObjectIdentity(dir, object->GetType());
    if (!now.Value())
      return object->GetAbsolutePath() + ", which the run reads, cannot be told from what stands on the disk: " +
             AK_CannotRead(now);
    if (*now.Value() == held) continue;
    return object->GetAbsolutePath() + ", which the run reads, was " +
           (*now.Value() == "none" ? "deleted or renamed" : "saved") +
           " by another process since this process read it: \"LoadProject\" to take it as saved";
  }
  return "";
}
