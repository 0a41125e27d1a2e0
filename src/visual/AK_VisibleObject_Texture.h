// The texture helpers of AK_VisibleObject that work on plain images and paths.
#pragma once

#include <cstdlib>
#include <memory>

#include "AK_Basic.h"

class AK_VisibleObject;

// An image block as ReadPpm hands it out (from malloc).
struct AK_PixelsFree {
  void operator()(unsigned char* p) const { std::free(p); }
};
using AK_Pixels = std::unique_ptr<unsigned char, AK_PixelsFree>;

// Halves an image in place (each new pixel the rounded mean of four); a side of one pixel
// stays one pixel. depth is the bits per sample (8: three bytes per pixel).
void HalveImage(unsigned char* pixels, int& width, int& height, int depth);

// The world file beside an image: the extension replaced by "jgw" ("jpg"), "JGW" ("JPG"),
// "pmw" ("ppm") or "xxw" (any other).
AK_String AK_WorldFilePath(const AK_String& imagePath);

// A number as the texture parameter and world files hold it: general notation with at most
// 14 significant digits.
AK_String AK_Precision14(double v);
// Reads `count` numbers separated by white space from a text file: 0 when all were read
// (and finite), 1 when the file does not open, 2 when it holds fewer; nothing is written
// unless all were read.
int AK_ReadNumberFile(const char* path, double* out, int count);

// Composes the tiles of the object's "TextureTiles" into one image at the path (see
// AK_VisibleObject::LoadTextureTiles).
void AK_ComposeTextureTiles(AK_VisibleObject& object, const char* path);
