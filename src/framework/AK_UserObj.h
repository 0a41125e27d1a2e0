// AK_UserObj: an object whose attributes and behaviour come from an attribute set chosen at
// run time, named by its attribute "AttributesName" or given inline in that attribute's value.
//
// A named set N is the class table "N.atr", the class script "N.cint" and the default
// commands "N.def" of the attributes directories (the user's first). An inline set is the
// table text itself, beginning with "obj.", optionally followed by "//ast_sci" and the script
// text. The set's table hangs on the AK_UserObj class table, so the chain of a set's table is
// the set, "UserObj", "Object"; its script extends Get and Set with functions named like
// attributes, and its function "Update" runs whenever the object is updated.
//
// Tables of attribute sets are kept for the rest of the run, one per distinct text: a walk
// over an object's table (saving, copying, the menu) may change the object's set under its
// feet, and must find the old table still there.
#pragma once

#include "AK_ClassHelper.h"

class AK_UserObj : public AK_Class<AK_UserObj> {
public:
  static constexpr const char* kClassName = "AK_UserObj";
  // The class itself has no script, no default commands, no class values and no parameter
  // sets: they come with the attribute set.
  static constexpr AK_ClassFiles kClassFiles{
      .script = false, .classValues = false, .defaults = false, .parameterSets = false};
  AK_UserObj(const char* id, AK_Object* parent);
  ~AK_UserObj() override;
  static void DeclareAttributes(AK_AttributeTableOf<AK_UserObj>& t);

  AK_AttributeNode* GetClassInfo() override { return _attributeTable; }
  void Update() override;
  // The attribute set's script answers before the object's own names.
  ast_sci_namespace ClassScript() { return _script; }

  const AK_String& AttributesName() const { return _attributesName; }
  // Takes the attribute set of that name, or the inline set of that text ("" is none).
  void SetAttributesName(const char* value);
  // Back to the plain AK_UserObj table; the script stays.
  void ReleaseAttributeSet();

private:
  // Makes the namespace the object's script, freeing the one it replaces.
  void ReplaceScript(ast_sci_namespace scriptNamespace);
  // The same for a script just loaded for this object, unless its "Init" deleted the object
  // (then the script is freed and the answer is false).
  bool TakeScript(ast_sci_namespace scriptNamespace);

  AK_Array<AK_String> _defaults;
  ast_sci_namespace _script = nullptr;
  AK_String _attributesName;
  AK_AttributeNode* _attributeTable = nullptr;
};
