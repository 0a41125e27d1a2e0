// Class files: the attribute table (".atr"), default commands (".def") and class values
// (".clv") of each class, found first in the user attributes directory and then in the
// attributes directory, and the per-class record that holds what was read.
#pragma once

#include "AK_Basic.h"
#include "ast_sci_handles.h"

class AK_AttributeNode;
class AK_Object;

// One per class, shared by all its objects, never freed.
struct AK_ClassRecord {
  const char* className = "";
  AK_AttributeNode* table = nullptr;
  ast_sci_namespace script = nullptr;  // the class script's namespace; null while the class has none
  AK_Array<AK_String> defaults;
  AK_Array<AK_String> classValues;
  int parameterSetsRead = 0;  // for the parameter sets, once they are read per class
  int loaded = 0;  // table, script, values and defaults were read

  explicit AK_ClassRecord(const char* name) : className(name) {}
};

// Which class files a class reads at its first construction: its table always (on the base
// class's table unless baseTable is false), the others as named here.
struct AK_ClassFiles {
  bool baseTable = true;
  bool script = true;
  bool classValues = true;
  bool defaults = true;
  bool parameterSets = true;
};

// The class-level steps of construction for a derived class: at the first construction,
// the class table on the base table (a missing table is the fatal assertion "_attributes"),
// the class script and the class values; at every construction while the list is empty the
// default commands; once the parameter sets. The constructor then sets its own field
// defaults and calls AK_Object::RunClassDefaults(record). AK_Class (AK_ClassHelper.h) does
// both for a class.
void AK_SetUpClassLevel(AK_Object* object, AK_ClassRecord& record, AK_AttributeNode* baseTable,
                        AK_ClassFiles files = {});

// The path of a class file: the user attributes directory when the file exists there
// (reported as "user-specific " + path), else the attributes directory.
AK_String AK_ResolveAttributeFile(const char* name, const char* extension, const char* subDirectory);
// Names of the files with the extension in the attributes directory, then in the user one.
AK_Array<AK_String> AK_ListAttributeFiles(const char* extension, const char* subDirectory);

// The class table read from the class's ".atr" file (or an inline text beginning with
// "obj."), with the base table as the root's last child; none when the file cannot be opened.
AK_AttributeNode* AK_LoadClassAttributeTable(const char* classNameOrText, AK_AttributeNode* baseTable);

// Fills the default-command list once: empty when there is no file, ["none"] when it
// cannot be read, else "follow" and the file's lines.
void AK_LoadClassDefaults(AK_Object* object, const char* className, AK_Array<AK_String>& list);
// Appends set("", attribute, value) to the class's ".def" file; 0 on success, 1 otherwise.
int AK_AppendDefaultAttribute(const char* className, const char* attribute, const char* value);

// Class values kept between runs in the user application directory.
void AK_LoadClassValues(const char* className, AK_Array<AK_String>& list);
int AK_WriteClassValues(const char* className, AK_Array<AK_String>& list);
// "key=value" elements of a class-values list.
const char* AK_FindKeyValue(const AK_Array<AK_String>& list, const char* key);
void AK_SetKeyValue(AK_Array<AK_String>& list, const char* key, const char* value);

// The label of a class-table node in the current language; "" for none.
AK_String AK_GetNodeLabel(AK_AttributeNode* node);

// Sets the user application directory (home, "/.", program base name, "/"), creating it,
// and makes it the user attributes directory when that is still empty. Done once, at the
// first construction of an object.
void AK_SetUpUserApplicationDirectory();

// Counts every object construction; the number names unnamed objects.
extern int AK_InstanceCounter;
