#include "AK_GraphicsHooks.h"

#ifdef TORVU_HAVE_GLTABLE
#include "AK_GLFunctionTable.h"

void AK_GraphicsPushName(unsigned int name) { glPushName(static_cast<GLuint>(name)); }
void AK_GraphicsPopName() { glPopName(); }
#else
void AK_GraphicsPushName(unsigned int) {}
void AK_GraphicsPopName() {}
#endif
