// AK_Group: a selection of objects of the tree that the group links without owning them.
//
// A group fills and empties its selection by command (one object, every object of a type,
// every object of a type whose attribute has a given value, optionally narrowed by a filter
// written as the body of the script function "int pass(char id[])"), offers lists that a
// menu shows as choices for those commands, and reads and writes the attributes its members
// share on all of them at once:
//   Get of a shared attribute   each member's answer followed by "%AK_SEP%";
//   Set of a shared attribute   every member gets the value; a value holding "%AK_SEP%" is
//                               dealt out element by element, round robin.
// Its class table is its own (no base table) plus, as the last entry, the class table of the
// most derived class that all members share.
#pragma once

#include <memory>
#include <vector>

#include "AK_ClassHelper.h"
#include "AK_GroupFilter.h"

class AK_Group : public AK_Class<AK_Group> {
public:
  static constexpr const char* kClassName = "AK_Group";
  // The group's table has no base table, and the group keeps no class values and no
  // parameter sets.
  static constexpr AK_ClassFiles kClassFiles{
      .baseTable = false, .classValues = false, .parameterSets = false};
  AK_Group(const char* id, AK_Object* parent);
  ~AK_Group() override;
  static void DeclareAttributes(AK_AttributeTableOf<AK_Group>& t);

  AK_AttributeNode* GetClassInfo() override;
  AK_String Get(const char* name) override;
  int Set(const char* name, const char* value) override;
  void Update() override;
  int IsA(const char* typeName) override;
  void SaveAttributes(const char* fileName) override;
  void AfterLoad() override;
  AK_Object* CreateComponent(const char* id, const char* typeName) override;
  void Unload(const char* text) override;
  int32_t ModificationTime(const char* attribute) override;

  // --- membership ---
  void AppendObject(const char* absolutePath);
  void RemoveObject(const char* id);
  void SetContainedObjectsList(const char* list);
  void AppendAllObjectsOfType();
  void RemoveAllObjectsOfType();
  void RemoveAllObjects();
  void AppendAllMatchingObjects();
  void RemoveAllMatchingObjects();
  // Links every component of the other object (owned ones and links), in order.
  void AppendComponentsOf(AK_Object* other);

  // --- choices for the commands; every element followed by "%AK_SEP%" ---
  AK_String GetAllObjectsList();
  AK_String GetContainedObjectsList();
  AK_String GetObjectTypesList();
  AK_String GetObjectsOfTypeList();
  AK_String GetAttributeOptions();
  AK_String GetValueOptions();

  // --- the filter ---
  // Keeps the text when it compiles; a text that does not compile leaves an error text and
  // the old filter; an empty text changes nothing.
  void SetFilter(const char* text);
  std::unique_ptr<AK_GroupFilter> CompileFilter(const char* text);

  // Rebuilds the group's own table from the class table and the members' common class.
  void UpdateClassInfo();

private:
  // The objects of SelectedObjectType owned below the top object, depth first.
  void CollectCandidates(AK_Array<AK_Object*>& list);
  bool IsMember(AK_Object* object);
  // The members as they are now, for walks whose steps may change the membership.
  std::vector<AK_Object*> Members();
  // Removes every member that satisfies the test; after a removal the same position is
  // examined again, so that no member is skipped.
  template <class Test>
  void RemoveMembersWhere(Test test);

  AK_String _selectedObjectType;
  AK_String _selectedAttribute;
  AK_String _selectedValue;
  AK_AttributeNode _table;
  int32_t _singleType = 0;
  AK_String _filter;
  // The member paths of the group's saved file that named no object when it was loaded: written
  // back as they were read, until the membership is set anew.
  AK_Array<AK_String> _unreadMembers;
  // The members the own table was built for: a member deleted elsewhere leaves the group
  // without a word, and the table is rebuilt when it is next asked for.
  AK_Array<AK_ObjectRef> _tableMembers;
};
