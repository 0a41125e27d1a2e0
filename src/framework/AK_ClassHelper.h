// AK_Class: what every class of the tree repeats, written once.
//
//   class SW_Foo : public AK_Class<SW_Foo, AK_VisObj3d> {
//   public:
//     static constexpr const char* kClassName = "SW_Foo";
//     SW_Foo(const char* id, AK_Object* parent) : AK_Class(id, parent)
//     {
//       SetUpClassLevel();
//       /* own field defaults that member initialisers cannot give */
//       RunClassDefaults();
//     }
//     static void DeclareAttributes(AK_AttributeTableOf<SW_Foo>& t)
//     {
//       t.Double("Length", &SW_Foo::_length).Range(0, HUGE_VAL);
//       t.Command("Fit", &SW_Foo::Fit);
//     }
//   private:
//     double _length = 1000;
//     void Fit();
//   };
//
// The helper owns the class record (named by kClassName) and the class's attribute table
// (AK_AttributeTable.h), and gives the class its GetClassInfo, Get, Set,
// AppendDefaultAttribute and WriteClassValues:
//   Get and Set offer a name to the class script first, then to the class's own table, then
//   to the base class; a class that must put something between (a group's members) overrides
//   them and calls AskScript/AnswerOwn and TellScript/TakeOwn itself.
// Construction, per class level, in the class's own constructor, where the object already is
// of the class (a class script's "Init" and the default commands may read and write the
// class's own attributes): SetUpClassLevel() loads what kClassFiles names (at the first
// construction; a missing table is the fatal assertion "_attributes"); then the field
// defaults; RunClassDefaults() last, so that the default commands override them.
// A class whose script is not the class's (a user object's attribute set) declares its own
// ClassScript().
#pragma once

#include "AK_AttributeTable.h"
#include "AK_ClassFiles.h"
#include "AK_Object.h"

template <class Derived, class Base = AK_Object>
class AK_Class : public Base {
public:
  // Every class file by default; a class declares its own kClassFiles to leave some out.
  static constexpr AK_ClassFiles kClassFiles{};

  AK_Class(const char* id, AK_Object* parent) : Base(id, parent) {}

  static AK_ClassRecord& ClassRecord()
  {
    static AK_ClassRecord record(Derived::kClassName);
    return record;
  }

  // The class's own entries, on the base class's table unless the class table has none (a
  // group's names go to its members before the base class); built at the first use, kept
  // for the rest of the process like the class record.
  static const AK_AttributeTable& Attributes()
  {
    static const AK_AttributeTable* table = [] {
      const AK_AttributeTable* base =
          Derived::kClassFiles.baseTable ? &Base::Attributes() : nullptr;
      auto* own = new AK_AttributeTableOf<Derived>(Derived::kClassName, base);
      Derived::DeclareAttributes(*own);
      AK_RegisterAttributeTable(own);
      return own;
    }();
    return *table;
  }

  // No names of its own; a class declares its own (public) DeclareAttributes to have some.
  static void DeclareAttributes(AK_AttributeTableOf<Derived>&) {}

  AK_AttributeNode* GetClassInfo() override { return ClassRecord().table; }
  const AK_AttributeTable& AttributeTable() override { return Attributes(); }

  AK_String Get(const char* name) override
  {
    AK_String answer;
    if (name && (AskScript(name, answer) || AnswerOwn(name, answer))) return answer;
    return Base::Get(name);
  }

  int Set(const char* name, const char* value) override
  {
    if (name && (TellScript(name, value) || TakeOwn(name, value))) return 1;
    return Base::Set(name, value);
  }

  int AppendDefaultAttribute(const char* attribute, const char* value) override
  {
    return AK_AppendDefaultAttribute(Derived::kClassName, attribute, value);
  }

  int WriteClassValues() override
  {
    return AK_WriteClassValues(Derived::kClassName, ClassRecord().classValues) +
           Base::WriteClassValues();
  }

  auto ClassScript() { return ClassRecord().script; }

protected:
  bool AskScript(const char* name, AK_String& answer)
  {
    return this->ScriptGet(static_cast<Derived*>(this)->ClassScript(), name, answer);
  }
  bool TellScript(const char* name, const char* value)
  {
    return this->ScriptSet(static_cast<Derived*>(this)->ClassScript(), name, value ? value : "");
  }
  bool AnswerOwn(const char* name, AK_String& answer)
  {
    return Attributes().Get(*this, name, answer);
  }
  bool TakeOwn(const char* name, const char* value) { return Attributes().Set(*this, name, value); }

  void SetUpClassLevel()
  {
    AK_AttributeNode* baseTable =
        Derived::kClassFiles.baseTable ? Base::ClassRecord().table : nullptr;
    AK_SetUpClassLevel(this, ClassRecord(), baseTable, Derived::kClassFiles);
    Attributes();  // known by class name from the first object on
  }
  // Runs the class's default commands, from the second element on, on this object.
  void RunClassDefaults() { AK_Object::RunClassDefaults(ClassRecord()); }
};
