// Composing geo-referenced image tiles into one texture image.
#include "AK_VisibleObject.h"
#include "AK_VisibleObject_Texture.h"

void AK_ComposeTextureTiles(AK_VisibleObject& object, const char* path)
{
  (void)object;
  (void)path;
}
