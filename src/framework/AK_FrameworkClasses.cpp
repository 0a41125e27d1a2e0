// Registration of the framework's own classes, so they can be constructed by name.
#include "AK_ClassRegistry.h"
#include "AK_Container.h"
#include "AK_Controller.h"
#include "AK_Group.h"
#include "AK_UserObj.h"

void AK_RegisterFrameworkClasses()
{
  AK_RegisterClass("AK_Object", "Object", AK_Construct<AK_Object>);
  AK_RegisterClass("AK_Container", "Container", AK_Construct<AK_Container>);
  AK_RegisterClass("AK_TerminalController", "TerminalController",
                   AK_Construct<AK_TerminalController>);
  AK_RegisterClass("AK_Group", "Group", AK_Construct<AK_Group>);
  AK_RegisterClass("AK_UserObj", "UserObj", AK_Construct<AK_UserObj>);
}
