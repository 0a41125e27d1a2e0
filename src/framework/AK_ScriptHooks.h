// The framework's seam to class scripts. A class script extends a class with script
// functions named like attributes; until class scripts are loaded, every class has no
// script, the loader answers none and the hooks answer "not handled".
#pragma once

#include "AK_Basic.h"

class AK_Object;

// The namespace of a class's script, or none when the class has no script.
void* AK_LoadClassScript(AK_Object* object, const char* classNameOrText);

// Run the script function named like the attribute on behalf of the object (clearing the
// error text first; the Set hook stamps the attribute); 0 when there is no such function.
int AK_CallScriptGet(void* scriptNamespace, AK_Object* object, const char* function,
                     AK_String& answer);
int AK_CallScriptSet(void* scriptNamespace, AK_Object* object, const char* function,
                     const char* value);
// Runs the script function "Update" when the namespace has one.
void AK_CallScriptUpdate(void* scriptNamespace, AK_Object* object);
