#include "AK_GraphicsHooks.h"

#include "AK_GLFunctionTable.h"

void AK_GraphicsPushName(unsigned int name) { glPushName(static_cast<GLuint>(name)); }
void AK_GraphicsPopName() { glPopName(); }
