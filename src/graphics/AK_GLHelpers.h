// Small drawing helpers built on the graphics operation table alone: mirror
// matrix, sphere, bitmap-font characters and text widths.
#pragma once

#include "AK_Basic.h"
#include "AK_GLFunctionTable.h"

// One glyph of a bitmap font: rows of bits, lowest row first, each row padded to
// whole bytes, most significant bit leftmost (the layout glBitmap takes).
struct AK_BitmapGlyph {
  int width;
  int height;
  float xorig;  // offset of the lower left corner from the raster position
  float yorig;
  float advance;  // horizontal pixels to move the raster position afterwards
  const GLubyte* bitmap;
};

// A bitmap font: glyphs[i] describes the character code first + i, or is null.
struct AK_BitmapFont {
  const char* name;
  int count;
  int first;
  const AK_BitmapGlyph* const* glyphs;
};

// The reflection I - 2 n n^T about the plane through the origin with the unit
// normal n, as 16 floats (products in double; fourth row and column as in the
// identity). The matrix is symmetric, so row or column order is the same.
void AK_ReflectionMatrix(const double n[3], GLfloat m[16]);

void glutSolidSphere(GLdouble radius, GLint slices, GLint stacks);
void MultMirrorMatrix(GLfloat nx, GLfloat ny, GLfloat nz);
void glutBitmapCharacter(const AK_BitmapFont* font, int character);
int glutBitmapWidth(const AK_BitmapFont* font, int character);
int glutBitmapLength(const AK_BitmapFont* font, const char* text);

AK_Vec2 AK_Lerp2(const AK_Vec2& a, const AK_Vec2& b, double t);
