// AK_AttributeTable: lookup, the Get and Set of an entry, and the parsers of values.
#include "AK_AttributeTable.h"

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "AK_NumberText.h"
#include "AK_Object.h"
#include "AK_WeakRef.h"

AK_AttributeEntry& AK_AttributeEntry::Range(double lo, double hi)
{
  min = lo;
  max = hi;
  return *this;
}

AK_AttributeEntry& AK_AttributeEntry::Strict()
{
  strict = true;
  return *this;
}

AK_AttributeEntry& AK_AttributeEntry::AlsoStamps(const char* name)
{
  alsoStamps = name;
  return *this;
}

AK_AttributeEntry& AK_AttributeEntry::Path(const char* type)
{
  holdsPath = true;
  objectType = type;
  return *this;
}

bool AK_AttributeEntry::Refuses() const
{
  switch (type) {
    case AK_AttributeType::Int:
    case AK_AttributeType::Switch:
    case AK_AttributeType::Double:
    case AK_AttributeType::Float:
    case AK_AttributeType::Vector:
    case AK_AttributeType::Option:
    case AK_AttributeType::Reference: return true;
    default: return false;
  }
}

AK_AttributeTable::AK_AttributeTable(const char* className, const AK_AttributeTable* base)
    : _className(className), _base(base)
{
}

AK_AttributeEntry& AK_AttributeTable::Add(AK_AttributeEntry entry)
{
  // A name declared twice is a mistake in the class, found by its first construction.
  AK_FATAL_ASSERT_NAMED(_index.count(entry.name) == 0, "attribute declared once");
  _index.emplace(entry.name, _entries.size());
  _entries.push_back(std::move(entry));
  return _entries.back();
}

const AK_AttributeEntry* AK_AttributeTable::Find(const char* name) const
{
  if (!name) return nullptr;
  auto found = _index.find(name);
  return found == _index.end() ? nullptr : &_entries[found->second];
}

bool AK_AttributeTable::Get(AK_Object& object, const char* name, AK_String& answer) const
{
  const AK_AttributeEntry* entry = Find(name);
  if (!entry || !entry->get) return false;
  AK_ErrorText = "";
  answer = entry->get(object);
  return true;
}

bool AK_AttributeTable::Set(AK_Object& object, const char* name, const char* value) const
{
  const AK_AttributeEntry* entry = Find(name);
  if (!entry || !entry->set) return false;
  // The value may be a text owned by the object (a variable, the project directory), which
  // the action could change under its feet.
  AK_String keep(value ? value : ""), stamp(name);
  AK_ErrorText = "";
  // An object that the action deleted stays until the outermost operation ends, dead.
  AK_OperationScope scope;
  if (!entry->set(object, *entry, keep) || object.IsDead()) return true;
  object.MarkModified(stamp);
  if (entry->alsoStamps) object.MarkModified(entry->alsoStamps);
  return true;
}

// --- parsing ---

namespace {

bool OnlyBlanksFrom(const char* p)
{
  while (*p == ' ' || *p == '\t') ++p;
  return *p == '\0';
}

bool Refuse(const AK_AttributeEntry& entry, const char* text, const char* why)
{
  AK_ErrorText = AK_String(entry.name) + ": '" + text + "' " + why;
  return false;
}

bool InRange(const AK_AttributeEntry& entry, const char* text, double value, double lo, double hi)
{
  if (value >= lo && value <= hi) return true;
  return Refuse(entry, text,
                AK_String::Format("is out of range [%.15g, %.15g]", lo, hi).c_str());
}

// A number as atof or atoi reads it, refused only when it is not finite.
bool ReadLeading(const AK_AttributeEntry& entry, const char* text, double& value, bool whole)
{
  AK_NumberRead read;
  if (whole) {
    int32_t i = 0;
    read = AK_LeadingInt(text, i);
    value = i;
  } else {
    read = AK_LeadingDouble(text, value);
  }
  if (read == AK_NumberRead::NotFinite)
    return Refuse(entry, text, whole ? "is out of range" : "is not a finite number");
  return true;
}

// A hexadecimal text ("0x10"): a real number as strtod reads it, but no whole number, which
// reads as atoi does.
bool IsHexText(const char* text)
{
  while (*text == ' ' || *text == '\t') ++text;
  if (*text == '+' || *text == '-') ++text;
  return text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
}

// The whole text as one number (strict entries).
bool ReadWhole(const AK_AttributeEntry& entry, const char* text, double& value, bool whole)
{
  const char* end = nullptr;
  AK_NumberRead read = AK_LeadingDouble(text, value, &end);
  if (read == AK_NumberRead::NotFinite) return Refuse(entry, text, "is not a finite number");
  if (read == AK_NumberRead::NoNumber || !OnlyBlanksFrom(end) || (whole && IsHexText(text)))
    return Refuse(entry, text, whole ? "is not a whole number" : "is not a number");
  if (whole && value != std::trunc(value)) return Refuse(entry, text, "is not a whole number");
  return true;
}

bool ReadNumberValue(const AK_AttributeEntry& entry, const char* text, double& value, bool whole)
{
  if (!text) text = "";
  if (!(entry.strict ? ReadWhole(entry, text, value, whole) : ReadLeading(entry, text, value, whole)))
    return false;
  double lo = entry.min, hi = entry.max;
  if (whole) {
    lo = lo > INT32_MIN ? lo : INT32_MIN;
    hi = hi < INT32_MAX ? hi : INT32_MAX;
  }
  if (entry.strict && entry.type == AK_AttributeType::Switch) {
    lo = lo > 0 ? lo : 0;
    hi = hi < 1 ? hi : 1;
  }
  return InRange(entry, text, value, lo, hi);
}

}  // namespace

bool AK_ParseIntValue(const AK_AttributeEntry& entry, const char* text, int32_t& out)
{
  double value = 0;
  if (!ReadNumberValue(entry, text, value, true)) return false;
  out = static_cast<int32_t>(value);
  return true;
}

bool AK_ParseDoubleValue(const AK_AttributeEntry& entry, const char* text, double& out)
{
  double value = 0;
  if (!ReadNumberValue(entry, text, value, false)) return false;
  out = value;
  return true;
}

bool AK_ParseFloatValue(const AK_AttributeEntry& entry, const char* text, float& out)
{
  double value = 0;
  if (!AK_ParseDoubleValue(entry, text, value)) return false;
  if (std::fabs(value) > FLT_MAX) return Refuse(entry, text ? text : "", "is not a finite number");
  out = static_cast<float>(value);
  return true;
}

bool AK_ParseVectorValue(const AK_AttributeEntry& entry, const char* text, double* out, bool floats)
{
  if (!text) text = "";
  std::vector<double> values(entry.count + 1);
  // A strict vector reads one more than it holds, to refuse a number too many; a loose one
  // never looks past its own.
  int n = AK_LeadingNumbers(text, values.data(), entry.strict ? entry.count + 1 : entry.count);
  if (n < 0) return Refuse(entry, text, "is not a finite number");
  if (entry.strict) {
    const char* end = text;
    for (int i = 0; i < n; ++i) {
      double skipped;
      AK_LeadingDouble(end, skipped, &end);
    }
    if (n != entry.count || !OnlyBlanksFrom(end))
      return Refuse(entry, text, AK_String::Format("needs %d numbers", entry.count).c_str());
  }
  n = std::min(n, entry.count);
  for (int i = 0; i < n; ++i) {
    if (floats && std::fabs(values[i]) > FLT_MAX) return Refuse(entry, text, "is not a finite number");
    if (!InRange(entry, text, values[i], entry.min, entry.max)) return false;
  }
  if (n < entry.count) AK_WarnWrongInput(entry.count, floats);
  std::copy(values.begin(), values.begin() + n, out);
  return true;
}

namespace {

// The reading of a loose entry for a handler of its own, under the attribute's name.
bool ReadNamed(const char* name, const char* text, double& value, bool whole)
{
  AK_AttributeEntry entry;
  entry.name = name ? name : "";
  return ReadLeading(entry, text ? text : "", value, whole);
}

}  // namespace

bool AK_ReadFiniteNumber(const char* name, const char* text, double& value)
{
  double read = 0;
  if (!ReadNamed(name, text, read, false)) return false;
  value = read;
  return true;
}

bool AK_ReadWholeNumber(const char* name, const char* text, int32_t& value)
{
  double read = 0;
  if (!ReadNamed(name, text, read, true)) return false;
  value = static_cast<int32_t>(read);
  return true;
}

int AK_FindOption(const AK_AttributeEntry& entry, const char* text)
{
  if (!text) text = "";
  for (size_t i = 0; i < entry.options.size(); ++i)
    if (std::strcmp(entry.options[i], text) == 0) return static_cast<int>(i);
  Refuse(entry, text, "is not one of its options");
  return -1;
}

bool AK_CheckReference(const AK_AttributeEntry& entry, AK_Object& object, const char* path)
{
  if (!path || !*path) return true;  // no object
  AK_Object* target = object.FindObject(path);
  if (!target) {
    AK_ErrorText = AK_String("object '") + path + "' not found";
    return false;
  }
  if (entry.objectType && !target->IsA(entry.objectType))
    return Refuse(entry, path, (AK_String("is not a ") + entry.objectType).c_str());
  return true;
}

AK_String AK_JoinOptions(const std::vector<const char*>& items)
{
  AK_String list;
  for (const char* item : items) {
    list += item;
    list += AK_SEP;
  }
  return list;
}

// --- the tables of the classes ---

namespace {

std::map<std::string, const AK_AttributeTable*>& Tables()
{
  static std::map<std::string, const AK_AttributeTable*> tables;
  return tables;
}

}  // namespace

void AK_RegisterAttributeTable(const AK_AttributeTable* table)
{
  if (table) Tables()[table->ClassName()] = table;
}

const AK_AttributeTable* AK_FindAttributeTable(const char* className)
{
  auto found = Tables().find(className ? className : "");
  return found == Tables().end() ? nullptr : found->second;
}
