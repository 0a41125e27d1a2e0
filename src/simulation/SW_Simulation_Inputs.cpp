// SW_Simulation: what a state depends on, as saved and as held: the values of its attributes and
// the objects its references name (the mesh, the rasters of release and entrainment).
//
// A reference is taken by the object it names, not by its path: a rename changes the path and
// nothing a time step depends on, while another object under the same path (deleted and made
// again with other data, or another renamed or imported into the name) is another input, as a
// mesh set by hand is. An object is known by the content of its saved data file, which a rename
// moves and leaves as it is.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "AK_AttributeTable.h"
#include "AK_SmallFile.h"
#include "SW_Simulation.h"
#include "SW_SimulationStatus.h"

namespace {

// What separates the digest of the values from the digest of the objects named. A digest saved
// by a build before holds none: it digests the paths' text, and tells nothing of the objects.
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
    else if (const AK_Read<AK_String> read = SavedObjectIdentity(AK_JoinPath(directory, path), entry->objectType);
             read.Value())
      identity = *read.Value();
    else
      return read;
    identities += AK_String(entry->name) + "\t" + identity + "\n";
  }
  return AK_Read<AK_String>::Found(AK_ContentDigest(identities.c_str(), size_t(identities.Length())));
}

AK_Read<AK_String> SW_Simulation::HeldObjectsDigest(const std::vector<const AK_AttributeEntry*>& references)
{
  AK_String identities;
  for (const AK_AttributeEntry* entry : references) {
    const AK_String path = Get(entry->name);
    AK_Object* object = path.IsEmpty() || path == "none" ? nullptr : FindObject(path.c_str());
    // Where its files stand: a rename moves them at once, before the object's next save.
    AK_Object* parent = object ? object->Parent() : nullptr;
    const AK_String dir = parent && !parent->ProjectDir().IsEmpty() ? AK_JoinPath(parent->ProjectDir(), object->Id())
                          : object ? object->ProjectDir() : AK_String();
    AK_String identity = "none";
    if (!object) identity = path.IsEmpty() || path == "none" || path[0] == '.' ? AK_String("none") : "path " + path;
    // One never saved is none that a saved file names.
    else if (dir.IsEmpty()) identity = "unsaved " + object->GetAbsolutePath();
    else if (const AK_Read<AK_String> read = SavedObjectIdentity(dir, entry->objectType); read.Value())
      identity = *read.Value();
    else
      return read;
    identities += AK_String(entry->name) + "\t" + identity + "\n";
  }
  return AK_Read<AK_String>::Found(AK_ContentDigest(identities.c_str(), size_t(identities.Length())));
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
  return AK_Read<AK_String>::Found(AttributesDigestOf(*saved.Value(), leftOut) + kObjectsPart +
                                   *objects.Value());
}

bool SW_Simulation::SameSavedValues(const char* directory, const AK_String& values, const AK_String& saved)
{
  if (values == saved) return true;
  // A digest of a build before took the paths' text: it stands for the values saved while that
  // text is still what the file says.
  if (values.IsEmpty() || values == "-" || !ObjectsPartOf(values).IsEmpty()) return false;
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
  return now.Then([&](const AK_String& objects) { return !(objects == ran); });
}
