// The texture helpers of AK_VisibleObject that work on plain images and paths.
#pragma once

#include "AK_Basic.h"

class AK_VisibleObject;

// Halves an image in place (each new pixel the rounded mean of four); a side of one pixel
// stays one pixel. depth is the bits per sample (8: three bytes per pixel).
void HalveImage(unsigned char* pixels, int& width, int& height, int depth);

// The world file beside an image: the extension replaced by "jgw" ("jpg"), "JGW" ("JPG"),
// "pmw" ("ppm") or "xxw" (any other).
AK_String AK_WorldFilePath(const AK_String& imagePath);

// Composes the tiles of the object's "TextureTiles" into one image at the path (see
// AK_VisibleObject::LoadTextureTiles).
void AK_ComposeTextureTiles(AK_VisibleObject& object, const char* path);
