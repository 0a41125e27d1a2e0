#include "AK_ConformanceTest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "AK_Framework.h"

namespace {

// Entries are every node with a kind ("kind.label"); keys are their children without one.
void CollectEntries(AK_AttributeNode* node, std::vector<AK_AttributeNode*>& entries)
{
  if (!node) return;
  if (AK_NodeHasKind(node) && !AK_NodeIsClass(node)) entries.push_back(node);
  for (int i = 0; i < AK_NodeChildCount(node); ++i) CollectEntries(AK_NodeChild(node, i), entries);
}

bool IsSaved(AK_AttributeNode* node) { return *AK_NodeValue(node) && AK_NodeSetId(node); }

void CollectSaved(AK_AttributeNode* node, std::vector<AK_AttributeNode*>& saved)
{
  if (!node || AK_NodeFindChild(node, "volatile") || std::strcmp(AK_NodeValue(node), "Id") == 0)
    return;
  if (IsSaved(node)) saved.push_back(node);
  for (int i = 0; i < AK_NodeChildCount(node); ++i) CollectSaved(AK_NodeChild(node, i), saved);
}

// Values that a refusing entry of the type must refuse.
std::vector<std::string> RefusedValues(const AK_AttributeEntry& e)
{
  auto number = [](double v) { return std::string(AK_String::Format("%.17g", v).c_str()); };
  auto zeros = [](int n) {  // " 0 0 0" for three
    std::string text;
    while (n-- > 0) text += " 0";
    return text;
  };
  std::vector<std::string> bad;
  switch (e.type) {
    case AK_AttributeType::Option: return {"\x01 no such option"};
    case AK_AttributeType::Reference: return {"no/such/object"};
    case AK_AttributeType::Vector:
      bad = {"nan" + zeros(e.count - 1), "1e999" + zeros(e.count - 1)};
      if (e.strict) bad.insert(bad.end(), {zeros(e.count - 1), zeros(e.count + 1), "abc"});
      if (std::isfinite(e.max)) bad.push_back(number(e.max + 1) + zeros(e.count - 1));
      return bad;
    default:
      // Every number entry refuses what is not finite; a strict one what is no number too.
      bool whole = e.type == AK_AttributeType::Int || e.type == AK_AttributeType::Switch;
      if (whole) bad = {"2147483648", "-2147483649"};
      else bad = {"nan", "inf", "-inf", "1e999"};
      if (e.strict) bad.insert(bad.end(), {"", "abc", "1x", "nan", "1e999"});
      if (e.strict && whole) bad.push_back("1.5");
      if (std::isfinite(e.min)) bad.push_back(number(e.min - 1));
      if (std::isfinite(e.max)) bad.push_back(number(e.max + 1));
      return bad;
  }
}

// Every readable entry answers ("w", "r" or "-" for an access mode); every refusing one
// leaves an error text, its answer and its stamp as they were.
void CheckDeclaredAttributes(AK_Object* object, const char* className)
{
  std::set<std::string> seen;
  for (const AK_AttributeTable* t = AK_FindAttributeTable(className); t; t = t->Base()) {
    for (const AK_AttributeEntry& e : t->Entries()) {
      if (!seen.insert(e.name).second) continue;  // hidden by a derived class's entry
      SCOPED_TRACE(std::string(t->ClassName()) + " declares " + e.name);
      if (!e.get) continue;
      AK_String before = object->Get(e.name);
      EXPECT_STRNE(before.c_str(), AK_NULL);
      bool mode = before == "w" || before == "r" || before == "-";
      EXPECT_TRUE(mode || e.type != AK_AttributeType::Vis) << "access mode " << before.c_str();
      if (!e.set || !e.Refuses()) continue;
      int32_t stamp = object->ModificationTime(e.name);
      for (const std::string& bad : RefusedValues(e)) {
        SCOPED_TRACE("refuses '" + bad + "'");
        AK_ErrorText = "";
        EXPECT_EQ(object->Set(e.name, bad.c_str()), 1);
        EXPECT_STRNE(AK_ErrorText.c_str(), "");
        EXPECT_STREQ(object->Get(e.name).c_str(), before.c_str());
      }
      EXPECT_EQ(object->ModificationTime(e.name), stamp);
    }
  }
  AK_ErrorText = "";
}

std::string TempFileName(const char* className)
{
  static int counter = 0;
  return std::string(testing::TempDir()) + "conformance_" + className + "_" +
         std::to_string(++counter) + ".macro";
}

}  // namespace

void AK_CheckClassFileFormat(const char* path)
{
  SCOPED_TRACE(path);
  std::ifstream in(path, std::ios::binary);
  ASSERT_TRUE(in.good()) << "cannot read " << path;
  std::stringstream buffer;
  buffer << in.rdbuf();
  std::string text = buffer.str();
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.find('\r'), std::string::npos) << "line ends must be LF";
  EXPECT_EQ(text.back(), '\n') << "the last line needs its line end";

  std::vector<std::string> lines;
  std::stringstream s(text);
  for (std::string line; std::getline(s, line);) lines.push_back(line);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0].rfind("obj.", 0), 0u) << "first line: " << lines[0];
  EXPECT_GT(lines[0].size(), 4u);
  EXPECT_EQ(lines[0].find('.', 4), std::string::npos) << "type name without dots";

  int previousDepth = 0;
  bool continued = false;
  for (size_t i = 1; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    SCOPED_TRACE("line " + std::to_string(i + 1) + ": " + line);
    size_t depth = line.find_first_not_of('\t');
    ASSERT_NE(depth, std::string::npos) << "blank line";
    if (!continued) {
      EXPECT_NE(line[depth], ' ') << "indentation is TABs only";
      EXPECT_GE(static_cast<int>(depth), 1);
      EXPECT_LE(static_cast<int>(depth), previousDepth + 1) << "one level at a time";
      previousDepth = static_cast<int>(depth);
    }
    continued = !line.empty() && line.back() == '\\';
  }

  AK_AttributeNode root(text.c_str(), nullptr, 0);
  std::vector<AK_AttributeNode*> entries;
  CollectEntries(&root, entries);
  for (AK_AttributeNode* entry : entries) {
    SCOPED_TRACE(AK_NodeName(entry));
    EXPECT_NE(AK_NodeFindChild(entry, "doc"), nullptr) << "every entry carries a doc";
    for (int i = 0; i < AK_NodeChildCount(entry); ++i) {
      AK_AttributeNode* child = AK_NodeChild(entry, i);
      if (AK_NodeHasKind(child)) continue;
      static const char* const kKeys[] = {"set", "volatile", "doc", "vis", "options", "german",
                                          "pick world", "pick world multiple", "run"};
      bool known = false;
      for (const char* key : kKeys) known = known || std::strcmp(AK_NodeName(child), key) == 0;
      EXPECT_TRUE(known) << "unknown key " << AK_NodeName(child);
      // What a run reads is a saved value: an editable entry that is not volatile.
      if (std::strcmp(AK_NodeName(child), "run") == 0) {
        EXPECT_TRUE(std::strcmp(AK_NodeValue(child), "state") == 0 || std::strcmp(AK_NodeValue(child), "end") == 0)
            << "run:" << AK_NodeValue(child);
        EXPECT_TRUE(AK_NodeSetId(entry) && *AK_NodeValue(entry) && !AK_NodeFindChild(entry, "volatile"));
      }
    }
  }
}

void AK_RunConformanceTest(const char* className, AK_Object* parent)
{
  SCOPED_TRACE(std::string("class ") + className);
  AK_String file = AK_ResolveAttributeFile(className, "atr", nullptr);
  ASSERT_TRUE(AK_FileExists(file)) << "no class table " << file.c_str();
  AK_CheckClassFileFormat(file);

  AK_Object* object = AK_CreateObjectOfClass(className, "", parent);
  ASSERT_NE(object, nullptr) << className << " is not registered";
  if (parent) parent->AddComponent(object);
  AK_String id(object->Id());

  AK_AttributeNode* table = object->GetClassInfo();
  ASSERT_NE(table, nullptr);
  EXPECT_STREQ(object->GetType().c_str(), AK_RegisteredTypeName(className).c_str());
  EXPECT_EQ(object->IsA(object->GetType()), 1);
  // Every class is an Object, except a group, which is only of its own type.
  if (!(object->GetType() == "Group")) {
    EXPECT_EQ(object->IsA("Object"), 1);
  }

  ASSERT_NE(AK_FindAttributeTable(className), nullptr) << className << " has no attribute table";
  CheckDeclaredAttributes(object, className);

  std::vector<AK_AttributeNode*> entries;
  CollectEntries(table, entries);
  for (AK_AttributeNode* entry : entries) {
    SCOPED_TRACE(AK_NodeName(entry));
    if (*AK_NodeValue(entry)) {
      EXPECT_STRNE(object->Get(AK_NodeValue(entry)).c_str(), AK_NULL)
          << "get " << AK_NodeValue(entry);
    }
    for (const char* key : {"vis", "options"}) {
      AK_AttributeNode* keyNode = AK_NodeFindChild(entry, key);
      if (keyNode) {
        EXPECT_STRNE(object->Get(AK_NodeValue(keyNode)).c_str(), AK_NULL)
            << key << " " << AK_NodeValue(keyNode);
      }
    }
  }
  // Every editable attribute takes its current value; a saved switch is turned over, so
  // that the load below has something to restore.
  std::vector<AK_AttributeNode*> saved;
  CollectSaved(table, saved);
  for (AK_AttributeNode* entry : entries) {
    if (!IsSaved(entry)) continue;
    SCOPED_TRACE(AK_NodeName(entry));
    AK_String value = object->Get(AK_NodeValue(entry));
    bool flip = AK_NodeNamePart(entry, 0) == "bool" &&
                std::find(saved.begin(), saved.end(), entry) != saved.end();
    if (flip) value = value == "0" ? "1" : "0";
    AK_ErrorText = "";
    EXPECT_EQ(object->Set(AK_NodeSetId(entry), value), 1) << "set " << AK_NodeSetId(entry);
    EXPECT_STREQ(AK_ErrorText.c_str(), "") << "set " << AK_NodeSetId(entry);
    if (flip) {
      EXPECT_STREQ(object->Get(AK_NodeValue(entry)).c_str(), value.c_str())
          << "switch " << AK_NodeSetId(entry);
    }
  }

  // Save and load: the attribute commands replayed on a fresh object.
  std::string macro = TempFileName(className);
  object->SaveAttributes(macro.c_str());
  EXPECT_STREQ(AK_ErrorText.c_str(), "");
  AK_Object* fresh = AK_CreateObjectOfClass(className, "", parent);
  ASSERT_NE(fresh, nullptr);
  if (parent) parent->AddComponent(fresh);
  AK_String freshId(fresh->Id());
  fresh->ExecMacro(macro.c_str(), 1);
  EXPECT_STREQ(AK_ErrorText.c_str(), "") << "replaying the saved attributes";
  for (AK_AttributeNode* entry : saved) {
    SCOPED_TRACE(AK_NodeName(entry));
    EXPECT_STREQ(fresh->Get(AK_NodeValue(entry)).c_str(), object->Get(AK_NodeValue(entry)).c_str());
  }
  std::remove(macro.c_str());

  if (parent) {
    parent->DeleteComponent(freshId);
    parent->DeleteComponent(id);
  } else {
    delete fresh;
    delete object;
  }
}
