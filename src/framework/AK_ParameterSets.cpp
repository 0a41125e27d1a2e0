// Parameter sets: reading ".parsets" files, applying a set, and telling whether it is still
// in force.
#include "AK_ParameterSets.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "AK_ClassFiles.h"
#include "AK_FrameworkState.h"
#include "AK_Object.h"

AK_Array<AK_ParameterSet> AK_ParameterSetTable;

namespace {

// Longest piece of a line handled at once; a longer line is handled piece by piece.
constexpr int kLineBuffer = 4096;

bool IsTrimmed(char c) { return c == '\t' || c == '\n' || c == '\r' || c == ' '; }

// A set of one object whose application or check is under way. A set that names itself,
// directly or through other sets and objects, meets itself on this list and stops there.
struct SetInProgress {
  AK_Object* object;
  int set;
};

std::vector<SetInProgress>& Applying()
{
  static std::vector<SetInProgress> list;
  return list;
}

std::vector<SetInProgress>& Checking()
{
  static std::vector<SetInProgress> list;
  return list;
}

bool InProgress(const std::vector<SetInProgress>& list, AK_Object* object, int set)
{
  for (const SetInProgress& entry : list)
    if (entry.object == object && entry.set == set) return true;
  return false;
}

// Keeps one entry on a list while it lives.
class ProgressGuard {
public:
  ProgressGuard(std::vector<SetInProgress>& list, AK_Object* object, int set) : _list(list)
  {
    _list.push_back({object, set});
  }
  ~ProgressGuard() { _list.pop_back(); }
  ProgressGuard(const ProgressGuard&) = delete;
  ProgressGuard& operator=(const ProgressGuard&) = delete;

private:
  std::vector<SetInProgress>& _list;
};

void HandleLine(char* line, int& current)
{
  AK_TrimBlanks(line);
  if (line[0] == '=') {
    AK_TrimBlanks(line + 1);
    AK_ParameterSet set;
    set.name = line + 1;
    current = AK_ParameterSetTable.Append(set);
    return;
  }
  char* assign = std::strchr(line, '=');
  // Entries before the first set of a file have no set of their own: they never join the
  // set that another class's file opened last.
  if (!assign || current < 0) return;
  *assign = '\0';
  AK_TrimBlanks(line);
  AK_TrimBlanks(assign + 1);
  AK_ParameterSetTable[current].attributes.Append(AK_String(line));
  AK_ParameterSetTable[current].values.Append(AK_String(assign + 1));
}

// The object named by "path:ParameterSet" and whether the entry has that form. A type-wide
// "Type::ParameterSet" has the form but names no single object.
bool IsObjectSetEntry(const AK_String& attribute, AK_String& path, bool& typeWide)
{
  const char* text = attribute.c_str();
  const char* colon = std::strchr(text, ':');
  if (!colon) return false;
  if (colon[1] == ':') {
    typeWide = true;
    size_t length = std::strlen(text);
    const char* suffix = ":ParameterSet";
    size_t n = std::strlen(suffix);
    return length >= n && std::strcmp(text + length - n, suffix) == 0;
  }
  if (std::strcmp(colon + 1, "ParameterSet") != 0) return false;
  typeWide = false;
  path = AK_String(text, colon);
  return true;
}

}  // namespace

void AK_TrimBlanks(char* buffer)
{
  if (!buffer) return;
  size_t length = std::strlen(buffer);
  while (length > 0 && IsTrimmed(buffer[length - 1])) buffer[--length] = '\0';
  size_t first = 0;
  while (first < length && IsTrimmed(buffer[first])) ++first;
  if (first > 0) std::memmove(buffer, buffer + first, length - first + 1);
}

void AK_LoadParameterSets(const char* className)
{
  if (!className) return;
  AK_String path = AK_ResolveAttributeFile(className, "parsets", nullptr);
  if (!AK_FileExists(path) || AK_IsDirectory(path)) return;
  AK_File file(path, "r");
  if (!file) return;
  char line[kLineBuffer];
  int current = -1;
  while (std::fgets(line, sizeof line, file)) HandleLine(line, current);
}

AK_String AK_GetParameterSetOptions()
{
  AK_String options("none");
  options += AK_SEP;
  for (const AK_ParameterSet& set : AK_ParameterSetTable) {
    options += set.name;
    options += AK_SEP;
  }
  return options;
}

int AK_FindParameterSet(const char* name)
{
  if (!name) return -1;
  for (int i = AK_ParameterSetTable.Size() - 1; i >= 0; --i)
    if (AK_ParameterSetTable[i].name == name) return i;
  return -1;
}

void AK_Object::ApplyParameterSet(const char* name)
{
  AK_String setName(name ? name : "");
  int index = AK_FindParameterSet(setName);
  if (index < 0) {
    _parameterSetInForce = -1;
    return;
  }
  if (InProgress(Applying(), this, index)) {
    AK_ErrorText = AK_String("parameter set '") + setName + "' is already being applied";
    return;
  }
  ProgressGuard guard(Applying(), this, index);

  // A copy: an entry may construct an object of a class not seen before, whose sets are then
  // appended to the table, which may move its elements.
  AK_ParameterSet set = AK_ParameterSetTable[index];
  AK_OperationScope scope;
  for (int i = 0; i < set.attributes.Size(); ++i) {
    AK_ErrorText = "";
    Set(set.attributes[i], set.values[i]);
    if (IsDead()) return;
    if (!AK_ErrorText.IsEmpty()) {
      AK_MESSAGE(AK_String("WARNING: parameter set ") + setName + ": error when setting '" +
                 set.attributes[i] + "' to value '" + set.values[i] + "':" + AK_ErrorText);
    }
  }
  // A failing entry is a warning; the set is applied all the same.
  AK_ErrorText = "";
  _parameterSetInForce = index;
}

AK_String AK_Object::GetParameterSet()
{
  if (!IsParameterSetInForce(_parameterSetInForce)) {
    _parameterSetInForce = -1;
    return AK_String("none");
  }
  return AK_ParameterSetTable[_parameterSetInForce].name;
}

int AK_Object::IsParameterSetInForce(int index)
{
  if (_parameterSetInForce < 0) return 0;
  if (index < 0 || index >= AK_ParameterSetTable.Size()) return 0;
  // Met again while it is being checked: the check under way decides.
  if (InProgress(Checking(), this, index)) return 1;
  ProgressGuard guard(Checking(), this, index);

  int32_t applied = ModificationTime("ParameterSet");
  AK_ParameterSet set = AK_ParameterSetTable[index];
  for (int i = set.attributes.Size() - 1; i >= 0; --i) {
    const AK_String& attribute = set.attributes[i];
    const AK_String& value = set.values[i];
    AK_String path;
    bool typeWide = false;
    if (attribute == "ParameterSet") {
      int nested = AK_FindParameterSet(value);
      if (nested >= 0 && !IsParameterSetInForce(nested)) return 0;
    } else if (IsObjectSetEntry(attribute, path, typeWide)) {
      if (typeWide) continue;
      AK_Object* other = FindObject(path);
      if (other && !(other->GetParameterSet() == value)) return 0;
    } else if (ModificationTime(attribute) > applied) {
      return 0;
    }
  }
  return 1;
}
