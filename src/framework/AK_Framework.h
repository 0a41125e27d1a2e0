// The object framework: the object tree, class files, commands and macros, containers and
// controllers.
#pragma once

#include "AK_AttributeTable.h"
#include "AK_Basic.h"
#include "AK_ClassHelper.h"
#include "AK_ClassFiles.h"
#include "AK_ClassRegistry.h"
#include "AK_ClassScript.h"
#include "AK_ClassTable.h"
#include "AK_Container.h"
#include "AK_Controller.h"
#include "AK_DocText.h"
#include "AK_FrameworkState.h"
#include "AK_Group.h"
#include "AK_HtmlReference.h"
#include "AK_Object.h"
#include "AK_ParameterSets.h"
#include "AK_Record.h"
#include "AK_UserObj.h"
