// The framework's seam to class scripts (AK_ClassScript.cpp holds the interpreter's side).
// A class script extends a class with script functions named like attributes; a class
// without a script has no namespace, and the hooks then answer "not handled".
#pragma once

#include "AK_Basic.h"
#include "ast_sci_handles.h"

class AK_Object;

// The namespace of a class's script (the class's ".cint" file, or the script text itself
// when the text begins with "//ast_sci"), or none when there is no script. Its "Init" runs
// once, on behalf of the object.
ast_sci_namespace AK_LoadClassScript(AK_Object* object, const char* classNameOrText);
// Frees a script namespace that nothing uses any more (a user object's former attribute set).
void AK_ReleaseClassScript(ast_sci_namespace scriptNamespace);

// Run the script function named like the attribute on behalf of the object (clearing the
// error text first; the Set hook stamps the attribute); 0 when there is no such function.
int AK_CallScriptGet(ast_sci_namespace scriptNamespace, AK_Object* object, const char* function,
                     AK_String& answer);
int AK_CallScriptSet(ast_sci_namespace scriptNamespace, AK_Object* object, const char* function,
                     const char* value);
// Runs the script function "Update" when the namespace has one.
void AK_CallScriptUpdate(ast_sci_namespace scriptNamespace, AK_Object* object);
