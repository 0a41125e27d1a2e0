#include "AK_ScriptHooks.h"

// Class scripts are not loaded yet: no class has a namespace, so nothing is ever handled.

void* AK_LoadClassScript(AK_Object*, const char*) { return nullptr; }

int AK_CallScriptGet(void*, AK_Object*, const char*, AK_String&) { return 0; }

int AK_CallScriptSet(void*, AK_Object*, const char*, const char*) { return 0; }

void AK_CallScriptUpdate(void*, AK_Object*) {}
