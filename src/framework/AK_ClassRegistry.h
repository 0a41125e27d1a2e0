// Construction of classes by name. The framework creates objects of classes it cannot see
// (the domain classes of the higher subsystems) through this registry: each class
// registers its C++ class name, the type name its class table gives, and a function that
// constructs it. Registration is explicit (a subsystem's Register function, called by the
// program entry and by tests), so that nothing depends on static initialisers of a static
// library being linked in.
#pragma once

#include "AK_Basic.h"

class AK_Object;

using AK_ObjectConstructor = AK_Object* (*)(const char* id, AK_Object* parent);

// Registers or replaces the entry of a class; the type name is the name after "obj." in the
// class's table.
void AK_RegisterClass(const char* className, const char* typeName, AK_ObjectConstructor construct);

// Construct an object of a registered class, by type name or by class name; none when the
// name is not registered. The object is not added to the parent.
AK_Object* AK_CreateObjectOfType(const char* typeName, const char* id, AK_Object* parent);
AK_Object* AK_CreateObjectOfClass(const char* className, const char* id, AK_Object* parent);

// The registered type name of a class name, "" when unknown.
AK_String AK_RegisteredTypeName(const char* className);
// Every registered class name, in registration order.
AK_Array<AK_String> AK_RegisteredClassNames();

// A constructor function for any class with the (id, parent) constructor.
template <class C>
AK_Object* AK_Construct(const char* id, AK_Object* parent)
{
  return new C(id, parent);
}

// Registers the framework's own classes (AK_Object, AK_Container, the controllers).
void AK_RegisterFrameworkClasses();
