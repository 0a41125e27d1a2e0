#include "AK_GLHelpers.h"

#include <cmath>

namespace {

const AK_BitmapGlyph* AK_FindGlyph(const AK_BitmapFont* font, int character) {
  if (!font || !font->glyphs) return nullptr;
  const long long index = static_cast<long long>(character) - font->first;
  if (index < 0 || index >= font->count) return nullptr;
  return font->glyphs[index];
}

// Truncation toward zero that stays defined for any float.
int AK_TruncToInt(float v) {
  if (!(v > -2e9f && v < 2e9f)) return 0;
  return static_cast<int>(v);
}

}  // namespace

void glutSolidSphere(GLdouble radius, GLint slices, GLint stacks) {
  const float r = static_cast<float>(radius);
  glBegin(GL_QUADS);
  if (slices >= 1 && stacks >= 1) {
    const float dz = static_cast<float>(2.0 * r / stacks);
    const float step = static_cast<float>(6.2831854 / slices);
    float prevS = 0.0f, prevC = 1.0f;
    for (int i = 0; i < slices; ++i) {
      const float angle = i * step + step;
      const float s = std::sin(angle);
      const float c = std::cos(angle);
      for (int j = 0; j < stacks; ++j) {
        const float z0 = j * dz - r;
        const float z1 = z0 + dz;
        const float q0 = r * r - z0 * z0;
        const float q1 = r * r - z1 * z1;
        const float r0 = q0 > 0 ? std::sqrt(q0) : 0.0f;
        const float r1 = q1 > 0 ? std::sqrt(q1) : 0.0f;
        // The normals are the corner positions themselves (length r).
        const float corners[4][3] = {{r0 * prevC, r0 * prevS, z0},
                                     {r0 * c, r0 * s, z0},
                                     {r1 * c, r1 * s, z1},
                                     {r1 * prevC, r1 * prevS, z1}};
        for (const auto& p : corners) {
          glNormal3f(p[0], p[1], p[2]);
          glVertex3f(p[0], p[1], p[2]);
        }
      }
      prevS = s;
      prevC = c;
    }
  }
  glEnd();
}

void MultMirrorMatrix(GLfloat nx, GLfloat ny, GLfloat nz) {
  const float squares = nx * nx + ny * ny + nz * nz;
  const double length = std::sqrt(double{squares});
  // A plane needs a normal; without one there is nothing to mirror about.
  if (!(length > 0)) return;
  const double n[3] = {nx / length, ny / length, nz / length};
  GLfloat m[16];
  AK_ReflectionMatrix(n, m);
  glMultMatrixf(m);
}

void AK_ReflectionMatrix(const double n[3], GLfloat m[16]) {
  for (int k = 0; k < 16; ++k) m[k] = (k % 5 == 0) ? 1.0f : 0.0f;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      m[4 * j + i] = static_cast<float>((i == j ? 1.0 : 0.0) - 2.0 * n[i] * n[j]);
}

void glutBitmapCharacter(const AK_BitmapFont* font, int character) {
  const AK_BitmapGlyph* glyph = AK_FindGlyph(font, character);
  if (!glyph) return;
  static const GLenum kUnpack[6] = {GL_UNPACK_SWAP_BYTES,  GL_UNPACK_LSB_FIRST,
                                    GL_UNPACK_ROW_LENGTH,  GL_UNPACK_SKIP_ROWS,
                                    GL_UNPACK_SKIP_PIXELS, GL_UNPACK_ALIGNMENT};
  // What a query that does not answer leaves: the usual unpack defaults.
  GLint saved[6] = {0, 0, 0, 0, 0, 4};
  for (int i = 0; i < 6; ++i) glGetIntegerv(kUnpack[i], &saved[i]);
  for (int i = 0; i < 5; ++i) glPixelStorei(kUnpack[i], 0);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glBitmap(glyph->width, glyph->height, glyph->xorig, glyph->yorig, glyph->advance, 0.0f,
           glyph->bitmap);
  for (int i = 0; i < 6; ++i) glPixelStorei(kUnpack[i], saved[i]);
}

int glutBitmapWidth(const AK_BitmapFont* font, int character) {
  const AK_BitmapGlyph* glyph = AK_FindGlyph(font, character);
  return glyph ? AK_TruncToInt(glyph->advance) : 0;
}

int glutBitmapLength(const AK_BitmapFont* font, const char* text) {
  if (!font || !text) return 0;
  int total = 0;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
    const AK_BitmapGlyph* glyph = AK_FindGlyph(font, *p);
    if (glyph) total = AK_TruncToInt(static_cast<float>(total) + glyph->advance);
  }
  return total;
}

AK_Vec2 AK_Lerp2(const AK_Vec2& a, const AK_Vec2& b, double t) {
  return AK_Vec2{a.x + t * (b.x - a.x), a.y + t * (b.y - a.y)};
}
