// Documentation texts of class-table entries, as the console help and the reference show
// them: the entry's "doc" (in the current language when a translation exists) followed by
// notes on editing, saving and the identifiers.
#pragma once

#include "AK_Basic.h"

class AK_AttributeNode;
class AK_Object;

AK_String AK_GetAttributeDocText(AK_AttributeNode* node);
AK_String AK_GetClassDocText(AK_Object* object);
