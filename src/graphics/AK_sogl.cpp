// Software renderer: installation, frame buffer, render state and matrix stacks.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "AK_GLHelpers.h"
#include "AK_sogl_State.h"

uint32_t soglWidth = 400;
uint32_t soglHeight = 400;
std::unique_ptr<uint8_t[]> soglRed;
std::unique_ptr<uint8_t[]> soglGreen;
std::unique_ptr<uint8_t[]> soglBlue;
std::unique_ptr<uint16_t[]> soglDepth;
uint8_t soglClearRgb[3] = {0, 0, 0};

double soglMatStack[2][soglMatStackSize][16] = {};
int soglMatIndex[2] = {0, 0};
int soglMatMode = 1;

float soglCurColor[3] = {0, 0, 0};
float soglCurAlpha = 1.0f;
float soglCurNormal[4] = {0, 0, 1, 0};
float soglLightPos[4] = {0, 0, 1, 0};
bool soglLighting = false;
bool soglDepthTest = true;
bool soglDepthWrite = true;
bool soglBlend = false;
bool soglOffsetPoint = false;
bool soglOffsetLine = false;
bool soglOffsetFill = false;
float soglOffsetFactor = 0;
float soglOffsetUnits = 0;
float soglCurPointSize = 1.0f;
float soglCurLineWidth = 1.0f;
GLenum soglFrontMode = GL_FILL;
GLenum soglBackMode = GL_FILL;
GLenum soglPolyMode = GL_FILL;
bool soglClockwise = false;

int soglPrimitive = -1;
soglVertexSlot soglSlots[3] = {};
int soglVertexCount = 0;
int soglPieceCount = 0;
int soglCurDepthOffset = 0;
int soglRasterPos[3] = {0, 0, 0};

namespace {

char soglErrorText[64] = "";

// A broken invariant of the program itself: the callers' own constants guarantee
// these, so the process cannot go on sensibly.
[[noreturn]] void soglFail(int line, const char* condition) {
  std::printf("%s:%d: %s failed!\n", "AK_sogl.cpp", line, condition);
  std::fflush(stdout);
  std::exit(1);
}

void soglSetIdentity(double* m) {
  for (int i = 0; i < 16; ++i) m[i] = (i % 5 == 0) ? 1.0 : 0.0;
}

// The functions installed where the renderer offers nothing.
void soglUnusedSlot() {}
void soglGetIntegerv(GLenum, GLint*) {}
void soglPixelStorei(GLenum, GLint) {}
void soglDeleteTextures(GLsizei, const GLuint*) {}
void soglGenTextures(GLsizei, GLuint*) {}
void soglBindTexture(GLenum, GLuint) {}
void soglTexParameteri(GLenum, GLenum, GLint) {}
GLint soglBuild2DMipmaps(GLenum, GLint, GLsizei, GLsizei, GLenum, GLenum, const void*) {
  return 1;
}
void soglTexGeni(GLenum, GLenum, GLint) {}
void soglTexGenfv(GLenum, GLenum, const GLfloat*) {}
void soglTexEnvf(GLenum, GLenum, GLfloat) {}
GLuint soglGenLists(GLsizei) { return 0; }
void soglDeleteLists(GLuint, GLsizei) {}
void soglNewList(GLuint, GLenum) {}
void soglCallList(GLuint) {}
void soglEndList() {}

}  // namespace

void soglInstall() {
  AK_GLFunctions& t = AK_GLFunctionTable;
  t.glClearColor = soglClearColor;
  t.glClear = soglClear;
  t.UnusedSlot2 = soglUnusedSlot;
  t.glMatrixMode = soglMatrixMode;
  t.glPushMatrix = soglPushMatrix;
  t.glPopMatrix = soglPopMatrix;
  t.glLoadIdentity = soglLoadIdentity;
  t.glMultMatrixf = soglMultMatrixf;
  t.glOrtho = soglOrtho;
  t.glTranslatef = soglTranslatef;
  t.glRotatef = soglRotatef;
  t.glScalef = soglScalef;
  t.glGetIntegerv = soglGetIntegerv;
  t.glGetFloatv = soglGetFloatv;
  t.glPixelStorei = soglPixelStorei;
  t.glLightfv = soglLightfv;
  t.glEnable = soglEnable;
  t.glDisable = soglDisable;
  t.glDepthMask = soglDepthMask;
  t.glPolygonMode = soglPolygonMode;
  t.glLineWidth = soglLineWidth;
  t.glPointSize = soglPointSize;
  t.glBegin = soglBegin;
  t.glEnd = soglEnd;
  t.glColor3f = soglColor3f;
  t.glColor4f = soglColor4f;
  t.glNormal3f = soglNormal3f;
  t.glFrontFace = soglFrontFace;
  t.glVertex2f = soglVertex2f;
  t.glVertex3f = soglVertex3f;
  t.glRasterPos2f = soglRasterPos2f;
  t.glRasterPos3f = soglRasterPos3f;
  t.glBitmap = soglBitmap;
  t.glPolygonOffset = soglPolygonOffset;
  t.glDeleteTextures = soglDeleteTextures;
  t.glGenTextures = soglGenTextures;
  t.glBindTexture = soglBindTexture;
  t.glTexParameteri = soglTexParameteri;
  t.gluBuild2DMipmaps = soglBuild2DMipmaps;
  t.glTexGeni = soglTexGeni;
  t.glTexGenfv = soglTexGenfv;
  t.glTexEnvf = soglTexEnvf;
  t.gluErrorString = soglErrorString;
  t.glGenLists = soglGenLists;
  t.glDeleteLists = soglDeleteLists;
  t.glNewList = soglNewList;
  t.glCallList = soglCallList;
  t.glEndList = soglEndList;
}

void soglFree() {
  soglRed.reset();
  soglGreen.reset();
  soglBlue.reset();
  soglDepth.reset();
}

int soglResize(int width, int height) {
  soglFree();
  soglWidth = width > 0 ? static_cast<uint32_t>(width) : 0;
  soglHeight = height > 0 ? static_cast<uint32_t>(height) : 0;
  // An empty picture has nothing to draw into; the pixel index must fit an int.
  if (width < 1 || height < 1) return 1;
  const int64_t count = int64_t{width} * height;
  if (count > INT32_MAX) return 1;
  const size_t n = static_cast<size_t>(count);
  soglRed.reset(new (std::nothrow) uint8_t[n]);
  soglGreen.reset(new (std::nothrow) uint8_t[n]);
  soglBlue.reset(new (std::nothrow) uint8_t[n]);
  soglDepth.reset(new (std::nothrow) uint16_t[n]);
  if (!soglRed || !soglGreen || !soglBlue || !soglDepth) {
    soglFree();
    return 1;
  }
  soglSetIdentity(soglTop(0));
  soglSetIdentity(soglTop(1));
  soglMatMode = 1;
  return 0;
}

void soglGetFramebuffer(int& width, int& height, GLubyte*& red, GLubyte*& green,
                        GLubyte*& blue) {
  width = static_cast<int>(soglWidth);
  height = static_cast<int>(soglHeight);
  red = soglRed.get();
  green = soglGreen.get();
  blue = soglBlue.get();
}

int soglPixelIndex(int x, int y) {
  return static_cast<int>(int64_t{soglWidth} * y + x);
}

void soglResetState() {
  soglFree();
  soglWidth = 400;
  soglHeight = 400;
  std::memset(soglClearRgb, 0, sizeof soglClearRgb);
  std::memset(soglMatStack, 0, sizeof soglMatStack);
  soglMatIndex[0] = soglMatIndex[1] = 0;
  soglMatMode = 1;
  const float zero3[3] = {0, 0, 0};
  const float z4[4] = {0, 0, 1, 0};
  std::memcpy(soglCurColor, zero3, sizeof zero3);
  soglCurAlpha = 1.0f;
  std::memcpy(soglCurNormal, z4, sizeof z4);
  std::memcpy(soglLightPos, z4, sizeof z4);
  soglLighting = false;
  soglDepthTest = true;
  soglDepthWrite = true;
  soglBlend = false;
  soglOffsetPoint = soglOffsetLine = soglOffsetFill = false;
  soglOffsetFactor = soglOffsetUnits = 0;
  soglCurPointSize = soglCurLineWidth = 1.0f;
  soglFrontMode = soglBackMode = soglPolyMode = GL_FILL;
  soglClockwise = false;
  soglPrimitive = -1;
  std::memset(soglSlots, 0, sizeof soglSlots);
  soglVertexCount = 0;
  soglPieceCount = 0;
  soglCurDepthOffset = 0;
  soglRasterPos[0] = soglRasterPos[1] = soglRasterPos[2] = 0;
  soglErrorText[0] = '\0';
}

void soglClearColor(GLfloat red, GLfloat green, GLfloat blue, GLfloat) {
  const float rgb[3] = {red, green, blue};
  for (int i = 0; i < 3; ++i) {
    // Out-of-range colours wrap to their low 8 bits; the clamp only keeps the
    // conversion defined for absurd values.
    const double v = rgb[i] * 255.0f;
    const int bounded = v >= -1e9 && v <= 1e9 ? static_cast<int>(v) : 0;
    soglClearRgb[i] = static_cast<uint8_t>(bounded);
  }
}

void soglClear(GLbitfield) {
  if (!soglRed || !soglGreen || !soglBlue || !soglDepth) return;
  const size_t n = size_t{soglWidth} * soglHeight;
  std::memset(soglRed.get(), soglClearRgb[0], n);
  std::memset(soglGreen.get(), soglClearRgb[1], n);
  std::memset(soglBlue.get(), soglClearRgb[2], n);
  std::memset(soglDepth.get(), 0, n * sizeof(uint16_t));
}

void soglMatrixMode(GLenum mode) {
  if (mode == GL_PROJECTION)
    soglMatMode = 0;
  else if (mode == GL_MODELVIEW)
    soglMatMode = 1;
  else
    soglFail(615, "!\"invalid matrix mode!\"");
}

// Pushes and pops follow what a user writes (one push per line of a "CloneTrafos" text), so
// too many of either is bad input: a message, and the stack stays as it is.
void soglPushMatrix() {
  if (!(soglMatIndex[soglMatMode] + 1 < soglMatStackSize)) {
    AK_MESSAGE("ERROR:matrix stack overflow, push ignored");
    return;
  }
  double* old = soglTop(soglMatMode);
  ++soglMatIndex[soglMatMode];
  std::memcpy(soglTop(soglMatMode), old, 16 * sizeof(double));
}

void soglPopMatrix() {
  if (!(soglMatIndex[soglMatMode] - 1 >= 0)) {
    AK_MESSAGE("ERROR:matrix stack underflow, pop ignored");
    return;
  }
  // The slot left behind is identity, so a later push never sees stale contents.
  soglSetIdentity(soglTop(soglMatMode));
  --soglMatIndex[soglMatMode];
}

void soglLoadIdentity() { soglSetIdentity(soglTop(soglMatMode)); }

void soglMultMatrixf(const GLfloat* m) { soglMultiply(soglTop(soglMatMode), m); }

void soglMultiply(double* top, const GLfloat* m) {
  double result[16];
  for (int i = 0; i < 4; ++i) {
    for (int k = 0; k < 4; ++k) {
      double sum = 0.0;
      for (int j = 0; j < 4; ++j) sum += double{m[4 * i + j]} * top[4 * j + k];
      result[4 * i + k] = sum;
    }
  }
  std::memcpy(top, result, sizeof result);
}

void soglOrtho(GLdouble l, GLdouble r, GLdouble b, GLdouble t, GLdouble n, GLdouble f) {
  GLfloat m[16] = {};
  m[0] = static_cast<float>(2.0 / (r - l));
  m[5] = static_cast<float>(2.0 / (t - b));
  m[10] = static_cast<float>(2.0 / (f - n));
  m[12] = static_cast<float>(-(r + l) / (r - l));
  m[13] = static_cast<float>(-(t + b) / (t - b));
  m[14] = static_cast<float>(-(f + n) / (f - n));
  m[15] = 1.0f;
  soglMultMatrixf(m);
}

void soglTranslatef(GLfloat x, GLfloat y, GLfloat z) {
  const GLfloat m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, y, z, 1};
  soglMultMatrixf(m);
}

void soglScalef(GLfloat x, GLfloat y, GLfloat z) {
  const GLfloat m[16] = {x, 0, 0, 0, 0, y, 0, 0, 0, 0, z, 0, 0, 0, 0, 1};
  soglMultMatrixf(m);
}

void soglRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z) {
  GLfloat m[16];
  if (soglRotationMatrix(angle, x, y, z, m)) soglMultMatrixf(m);
}

bool soglRotationMatrix(GLfloat angle, GLfloat x, GLfloat y, GLfloat z, GLfloat* m) {
  const double radians = angle * 3.1415927 / 180;
  const float s = static_cast<float>(std::sin(radians));
  const float c = static_cast<float>(std::cos(radians));
  const float length = std::sqrt(x * x + y * y + z * z);
  // The axis may come from user input; a degenerate one turns nothing.
  if (!(std::fabs(double{length}) > 1.0e-6)) return false;
  x /= length;
  y /= length;
  z /= length;
  const double k = 1.0 - c;
  const double dx = x, dy = y, dz = z, ds = s, dc = c;
  const GLfloat r[16] = {
      static_cast<float>(dx * dx * k + dc), static_cast<float>(dx * dy * k + dz * ds),
      static_cast<float>(dx * dz * k - dy * ds), 0,
      static_cast<float>(dx * dy * k - dz * ds), static_cast<float>(dy * dy * k + dc),
      static_cast<float>(dy * dz * k + dx * ds), 0,
      static_cast<float>(dx * dz * k + dy * ds), static_cast<float>(dy * dz * k - dx * ds),
      static_cast<float>(dz * dz * k + dc), 0,
      0, 0, 0, 1};
  std::memcpy(m, r, sizeof r);
  return true;
}

void soglMirror(GLfloat nx, GLfloat ny, GLfloat nz) {
  GLfloat m[16];
  if (soglMirrorMatrix(nx, ny, nz, m)) soglMultMatrixf(m);
}

bool soglMirrorMatrix(GLfloat nx, GLfloat ny, GLfloat nz, GLfloat* m) {
  const double len = std::sqrt(double{nx} * nx + double{ny} * ny + double{nz} * nz);
  // A plane needs a normal; without one there is nothing to mirror about.
  if (!(len > 0)) return false;
  const double n[3] = {nx / len, ny / len, nz / len};
  AK_ReflectionMatrix(n, m);
  return true;
}

void soglGetFloatv(GLenum name, GLfloat* values) {
  int stack;
  if (name == GL_PROJECTION_MATRIX)
    stack = 0;
  else if (name == GL_MODELVIEW_MATRIX)
    stack = 1;
  else
    return;
  const double* top = soglTop(stack);
  for (int i = 0; i < 16; ++i) values[i] = static_cast<float>(top[i]);
}

void soglLightfv(GLenum, GLenum name, const GLfloat* v) {
  if (name != GL_POSITION) return;
  const double* mv = soglTop(1);
  for (int r = 0; r < 4; ++r) {
    double sum = 0.0;
    for (int c = 0; c < 4; ++c) sum += mv[4 * c + r] * v[c];
    soglLightPos[r] = static_cast<float>(sum);
  }
}

namespace {
void soglSetCapability(GLenum cap, bool on) {
  switch (cap) {
    case GL_LIGHTING: soglLighting = on; break;
    case GL_DEPTH_TEST: soglDepthTest = on; break;
    case GL_BLEND: soglBlend = on; break;
    case GL_POLYGON_OFFSET_POINT: soglOffsetPoint = on; break;
    case GL_POLYGON_OFFSET_LINE: soglOffsetLine = on; break;
    case GL_POLYGON_OFFSET_FILL: soglOffsetFill = on; break;
    default: break;
  }
}
}  // namespace

void soglEnable(GLenum cap) { soglSetCapability(cap, true); }
void soglDisable(GLenum cap) { soglSetCapability(cap, false); }
void soglDepthMask(GLboolean flag) { soglDepthWrite = (flag == 1); }

void soglPolygonMode(GLenum face, GLenum mode) {
  if (mode != GL_POINT && mode != GL_LINE && mode != GL_FILL) return;
  if (face == GL_FRONT) {
    soglFrontMode = mode;
  } else if (face == GL_BACK) {
    soglBackMode = mode;
  } else if (face == GL_FRONT_AND_BACK) {
    soglFrontMode = soglBackMode = soglPolyMode = mode;
  }
}

void soglLineWidth(GLfloat width) { soglCurLineWidth = width; }
void soglPointSize(GLfloat size) { soglCurPointSize = size; }

void soglColor3f(GLfloat red, GLfloat green, GLfloat blue) {
  soglCurColor[0] = red;
  soglCurColor[1] = green;
  soglCurColor[2] = blue;
}

void soglColor4f(GLfloat red, GLfloat green, GLfloat blue, GLfloat alpha) {
  soglColor3f(red, green, blue);
  soglCurAlpha = alpha;
}

void soglNormal3f(GLfloat x, GLfloat y, GLfloat z) {
  if (soglClockwise) {
    x = -x;
    y = -y;
    z = -z;
  }
  const double v[4] = {x, y, z, 0};
  const double* mv = soglTop(1);
  for (int r = 0; r < 4; ++r) {
    double sum = 0.0;
    for (int c = 0; c < 4; ++c) sum += mv[4 * c + r] * v[c];
    soglCurNormal[r] = static_cast<float>(sum);
  }
  const float squares = soglCurNormal[0] * soglCurNormal[0] +
                        soglCurNormal[1] * soglCurNormal[1] +
                        soglCurNormal[2] * soglCurNormal[2];
  const double length = std::sqrt(double{squares});
  // A zero normal stays zero (no light reaches it) rather than becoming NaN.
  if (!(length > 0)) return;
  for (int i = 0; i < 3; ++i) soglCurNormal[i] = static_cast<float>(soglCurNormal[i] / length);
}

void soglFrontFace(GLenum mode) { soglClockwise = (mode == GL_CW); }

void soglPolygonOffset(GLfloat factor, GLfloat units) {
  soglOffsetFactor = factor;
  soglOffsetUnits = units;
}

const char* soglErrorString(GLenum code) {
  std::snprintf(soglErrorText, sizeof soglErrorText, "error code %d", static_cast<int>(code));
  return soglErrorText;
}
