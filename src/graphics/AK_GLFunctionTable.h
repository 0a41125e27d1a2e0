// The process-wide table of graphics operations.
//
// Every drawing call of the system goes through AK_GLFunctionTable. Its entries
// carry the names, argument lists and enumeration numbers of OpenGL 1.x and GLU,
// so drawing code reads like immediate-mode OpenGL, but each call goes through the
// function pointer that the entry holds at the moment of the call. Out of the box
// every entry is a default that does nothing; the software renderer (AK_sogl.h)
// can install its own functions.
//
// This header and its source depend on nothing, so that the object framework can
// call the table from its drawing pass without linking the rest of the visual
// subsystem.
#pragma once

#include <cstddef>
#include <cstdint>

typedef uint32_t GLenum;
typedef uint32_t GLbitfield;
typedef uint32_t GLuint;
typedef int32_t GLint;
typedef int32_t GLsizei;
typedef float GLfloat;
typedef double GLdouble;
typedef uint8_t GLboolean;
typedef uint8_t GLubyte;

// Primitives.
constexpr GLenum GL_POINTS = 0;
constexpr GLenum GL_LINES = 1;
constexpr GLenum GL_LINE_LOOP = 2;
constexpr GLenum GL_LINE_STRIP = 3;
constexpr GLenum GL_TRIANGLES = 4;
constexpr GLenum GL_TRIANGLE_STRIP = 5;
constexpr GLenum GL_TRIANGLE_FAN = 6;
constexpr GLenum GL_QUADS = 7;
constexpr GLenum GL_QUAD_STRIP = 8;
constexpr GLenum GL_POLYGON = 9;

// Buffers, faces and polygon modes.
constexpr GLbitfield GL_DEPTH_BUFFER_BIT = 256;
constexpr GLbitfield GL_COLOR_BUFFER_BIT = 16384;
constexpr GLenum GL_SRC_ALPHA = 770;
constexpr GLenum GL_ONE_MINUS_SRC_ALPHA = 771;
constexpr GLenum GL_FRONT = 1028;
constexpr GLenum GL_BACK = 1029;
constexpr GLenum GL_FRONT_AND_BACK = 1032;
constexpr GLenum GL_CW = 2304;
constexpr GLenum GL_CCW = 2305;
constexpr GLenum GL_POINT = 6912;
constexpr GLenum GL_LINE = 6913;
constexpr GLenum GL_FILL = 6914;

// Capabilities.
constexpr GLenum GL_POINT_SMOOTH = 2832;
constexpr GLenum GL_LINE_SMOOTH = 2848;
constexpr GLenum GL_LIGHTING = 2896;
constexpr GLenum GL_DEPTH_TEST = 2929;
constexpr GLenum GL_BLEND = 3042;
constexpr GLenum GL_TEXTURE_GEN_S = 3168;
constexpr GLenum GL_TEXTURE_GEN_T = 3169;
constexpr GLenum GL_TEXTURE_1D = 3552;
constexpr GLenum GL_TEXTURE_2D = 3553;
constexpr GLenum GL_POLYGON_OFFSET_POINT = 10753;
constexpr GLenum GL_POLYGON_OFFSET_LINE = 10754;
constexpr GLenum GL_POLYGON_OFFSET_FILL = 32823;
constexpr GLenum GL_LIGHT0 = 16384;

// Queries, pixel storage and matrices.
constexpr GLenum GL_MODELVIEW_MATRIX = 2982;
constexpr GLenum GL_PROJECTION_MATRIX = 2983;
constexpr GLenum GL_UNPACK_SWAP_BYTES = 3312;
constexpr GLenum GL_UNPACK_LSB_FIRST = 3313;
constexpr GLenum GL_UNPACK_ROW_LENGTH = 3314;
constexpr GLenum GL_UNPACK_SKIP_ROWS = 3315;
constexpr GLenum GL_UNPACK_SKIP_PIXELS = 3316;
constexpr GLenum GL_UNPACK_ALIGNMENT = 3317;
constexpr GLenum GL_POSITION = 4611;
constexpr GLenum GL_COMPILE = 4864;
constexpr GLenum GL_COMPILE_AND_EXECUTE = 4865;
constexpr GLenum GL_UNSIGNED_BYTE = 5121;
constexpr GLenum GL_UNSIGNED_SHORT = 5123;
constexpr GLenum GL_MODELVIEW = 5888;
constexpr GLenum GL_PROJECTION = 5889;
constexpr GLenum GL_RGB = 6407;
constexpr GLenum GL_RGBA = 6408;

// Textures.
constexpr GLenum GL_S = 8192;
constexpr GLenum GL_T = 8193;
constexpr GLenum GL_MODULATE = 8448;
constexpr GLenum GL_TEXTURE_ENV_MODE = 8704;
constexpr GLenum GL_TEXTURE_ENV = 8960;
constexpr GLenum GL_OBJECT_LINEAR = 9217;
constexpr GLenum GL_TEXTURE_GEN_MODE = 9472;
constexpr GLenum GL_OBJECT_PLANE = 9473;
constexpr GLenum GL_NEAREST = 9728;
constexpr GLenum GL_LINEAR = 9729;
constexpr GLenum GL_LINEAR_MIPMAP_NEAREST = 9985;
constexpr GLenum GL_TEXTURE_MAG_FILTER = 10240;
constexpr GLenum GL_TEXTURE_MIN_FILTER = 10241;
constexpr GLenum GL_TEXTURE_WRAP_S = 10242;
constexpr GLenum GL_TEXTURE_WRAP_T = 10243;
constexpr GLenum GL_CLAMP = 10496;
constexpr GLenum GL_REPEAT = 10497;

// The 56 entries, in their fixed positions (the comment gives the position).
struct AK_GLFunctions {
  void (*glClearColor)(GLfloat red, GLfloat green, GLfloat blue, GLfloat alpha);  // 0
  void (*glClear)(GLbitfield mask);                                               // 1
  void (*UnusedSlot2)();                                                          // 2
  void (*glMatrixMode)(GLenum mode);                                              // 3
  void (*glPushMatrix)();                                                         // 4
  void (*glPopMatrix)();                                                          // 5
  void (*glLoadIdentity)();                                                       // 6
  void (*glMultMatrixf)(const GLfloat* m);                                        // 7
  void (*glOrtho)(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top,
                  GLdouble nearVal, GLdouble farVal);                             // 8
  void (*glTranslatef)(GLfloat x, GLfloat y, GLfloat z);                          // 9
  void (*glRotatef)(GLfloat angle, GLfloat x, GLfloat y, GLfloat z);              // 10
  void (*glScalef)(GLfloat x, GLfloat y, GLfloat z);                              // 11
  void (*glGetIntegerv)(GLenum name, GLint* values);                              // 12
  void (*glGetFloatv)(GLenum name, GLfloat* values);                              // 13
  void (*glPixelStorei)(GLenum name, GLint value);                                // 14
  void (*glLightfv)(GLenum light, GLenum name, const GLfloat* values);            // 15
  void (*glBlendFunc)(GLenum sfactor, GLenum dfactor);                            // 16
  void (*glEnable)(GLenum cap);                                                   // 17
  void (*glDisable)(GLenum cap);                                                  // 18
  void (*glDepthMask)(GLboolean flag);                                            // 19
  void (*glPolygonMode)(GLenum face, GLenum mode);                                // 20
  void (*glLineWidth)(GLfloat width);                                             // 21
  void (*glPointSize)(GLfloat size);                                              // 22
  void (*glBegin)(GLenum mode);                                                   // 23
  void (*glEnd)();                                                                // 24
  void (*glColor3f)(GLfloat red, GLfloat green, GLfloat blue);                    // 25
  void (*glColor4f)(GLfloat red, GLfloat green, GLfloat blue, GLfloat alpha);     // 26
  void (*glNormal3f)(GLfloat x, GLfloat y, GLfloat z);                            // 27
  void (*glFrontFace)(GLenum mode);                                               // 28
  void (*glVertex2f)(GLfloat x, GLfloat y);                                       // 29
  void (*glVertex3f)(GLfloat x, GLfloat y, GLfloat z);                            // 30
  void (*glRasterPos2f)(GLfloat x, GLfloat y);                                    // 31
  void (*glRasterPos3f)(GLfloat x, GLfloat y, GLfloat z);                         // 32
  void (*glBitmap)(GLsizei width, GLsizei height, GLfloat xorig, GLfloat yorig,
                   GLfloat xmove, GLfloat ymove, const GLubyte* bitmap);          // 33
  void (*glPushName)(GLuint name);                                                // 34
  void (*glPopName)();                                                            // 35
  void (*glPolygonOffset)(GLfloat factor, GLfloat units);                         // 36
  void (*glDeleteTextures)(GLsizei n, const GLuint* textures);                    // 37
  void (*glGenTextures)(GLsizei n, GLuint* textures);                             // 38
  void (*glBindTexture)(GLenum target, GLuint texture);                           // 39
  void (*glTexParameteri)(GLenum target, GLenum name, GLint value);               // 40
  GLint (*gluBuild2DMipmaps)(GLenum target, GLint internalFormat, GLsizei width,
                             GLsizei height, GLenum format, GLenum type,
                             const void* data);                                   // 41
  void (*glTexGeni)(GLenum coord, GLenum name, GLint value);                      // 42
  void (*glTexGenfv)(GLenum coord, GLenum name, const GLfloat* values);           // 43
  void (*glTexEnvf)(GLenum target, GLenum name, GLfloat value);                   // 44
  void (*glTexCoord1f)(GLfloat s);                                                // 45
  void (*glTexImage1D)(GLenum target, GLint level, GLint internalFormat,
                       GLsizei width, GLint border, GLenum format, GLenum type,
                       const void* pixels);                                       // 46
  const char* (*gluErrorString)(GLenum code);                                     // 47
  GLuint (*glGenLists)(GLsizei range);                                            // 48
  void (*glDeleteLists)(GLuint list, GLsizei range);                              // 49
  void (*glNewList)(GLuint list, GLenum mode);                                    // 50
  void (*glCallList)(GLuint list);                                                // 51
  void (*glEndList)();                                                            // 52
  void (*UnusedSlot53)();                                                         // 53
  GLint (*UnusedSlot54)();                                                        // 54
  GLint (*UnusedSlot55)();                                                        // 55
};

constexpr int AK_GLEntryCount = 56;

extern AK_GLFunctions AK_GLFunctionTable;

// The entry at a position as an untyped pointer, or null for a position outside
// 0..55; lets callers compare what two tables hold without knowing each type.
void (*AK_GLEntry(const AK_GLFunctions& table, int position))();

// Immediate-mode calls that go through the table, so drawing code reads like OpenGL.
inline void glClearColor(GLfloat r, GLfloat g, GLfloat b, GLfloat a) { AK_GLFunctionTable.glClearColor(r, g, b, a); }
inline void glClear(GLbitfield mask) { AK_GLFunctionTable.glClear(mask); }
inline void glMatrixMode(GLenum mode) { AK_GLFunctionTable.glMatrixMode(mode); }
inline void glPushMatrix() { AK_GLFunctionTable.glPushMatrix(); }
inline void glPopMatrix() { AK_GLFunctionTable.glPopMatrix(); }
inline void glLoadIdentity() { AK_GLFunctionTable.glLoadIdentity(); }
inline void glMultMatrixf(const GLfloat* m) { AK_GLFunctionTable.glMultMatrixf(m); }
inline void glOrtho(GLdouble l, GLdouble r, GLdouble b, GLdouble t, GLdouble n, GLdouble f) { AK_GLFunctionTable.glOrtho(l, r, b, t, n, f); }
inline void glTranslatef(GLfloat x, GLfloat y, GLfloat z) { AK_GLFunctionTable.glTranslatef(x, y, z); }
inline void glRotatef(GLfloat a, GLfloat x, GLfloat y, GLfloat z) { AK_GLFunctionTable.glRotatef(a, x, y, z); }
inline void glScalef(GLfloat x, GLfloat y, GLfloat z) { AK_GLFunctionTable.glScalef(x, y, z); }
inline void glGetIntegerv(GLenum name, GLint* values) { AK_GLFunctionTable.glGetIntegerv(name, values); }
inline void glGetFloatv(GLenum name, GLfloat* values) { AK_GLFunctionTable.glGetFloatv(name, values); }
inline void glPixelStorei(GLenum name, GLint value) { AK_GLFunctionTable.glPixelStorei(name, value); }
inline void glLightfv(GLenum light, GLenum name, const GLfloat* values) { AK_GLFunctionTable.glLightfv(light, name, values); }
inline void glBlendFunc(GLenum s, GLenum d) { AK_GLFunctionTable.glBlendFunc(s, d); }
inline void glEnable(GLenum cap) { AK_GLFunctionTable.glEnable(cap); }
inline void glDisable(GLenum cap) { AK_GLFunctionTable.glDisable(cap); }
inline void glDepthMask(GLboolean flag) { AK_GLFunctionTable.glDepthMask(flag); }
inline void glPolygonMode(GLenum face, GLenum mode) { AK_GLFunctionTable.glPolygonMode(face, mode); }
inline void glLineWidth(GLfloat width) { AK_GLFunctionTable.glLineWidth(width); }
inline void glPointSize(GLfloat size) { AK_GLFunctionTable.glPointSize(size); }
inline void glBegin(GLenum mode) { AK_GLFunctionTable.glBegin(mode); }
inline void glEnd() { AK_GLFunctionTable.glEnd(); }
inline void glColor3f(GLfloat r, GLfloat g, GLfloat b) { AK_GLFunctionTable.glColor3f(r, g, b); }
inline void glColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a) { AK_GLFunctionTable.glColor4f(r, g, b, a); }
inline void glNormal3f(GLfloat x, GLfloat y, GLfloat z) { AK_GLFunctionTable.glNormal3f(x, y, z); }
inline void glFrontFace(GLenum mode) { AK_GLFunctionTable.glFrontFace(mode); }
inline void glVertex2f(GLfloat x, GLfloat y) { AK_GLFunctionTable.glVertex2f(x, y); }
inline void glVertex3f(GLfloat x, GLfloat y, GLfloat z) { AK_GLFunctionTable.glVertex3f(x, y, z); }
inline void glRasterPos2f(GLfloat x, GLfloat y) { AK_GLFunctionTable.glRasterPos2f(x, y); }
inline void glRasterPos3f(GLfloat x, GLfloat y, GLfloat z) { AK_GLFunctionTable.glRasterPos3f(x, y, z); }
inline void glBitmap(GLsizei w, GLsizei h, GLfloat xo, GLfloat yo, GLfloat xm, GLfloat ym, const GLubyte* bitmap) { AK_GLFunctionTable.glBitmap(w, h, xo, yo, xm, ym, bitmap); }
inline void glPushName(GLuint name) { AK_GLFunctionTable.glPushName(name); }
inline void glPopName() { AK_GLFunctionTable.glPopName(); }
inline void glPolygonOffset(GLfloat factor, GLfloat units) { AK_GLFunctionTable.glPolygonOffset(factor, units); }
inline void glDeleteTextures(GLsizei n, const GLuint* textures) { AK_GLFunctionTable.glDeleteTextures(n, textures); }
inline void glGenTextures(GLsizei n, GLuint* textures) { AK_GLFunctionTable.glGenTextures(n, textures); }
inline void glBindTexture(GLenum target, GLuint texture) { AK_GLFunctionTable.glBindTexture(target, texture); }
inline void glTexParameteri(GLenum target, GLenum name, GLint value) { AK_GLFunctionTable.glTexParameteri(target, name, value); }
inline GLint gluBuild2DMipmaps(GLenum target, GLint internalFormat, GLsizei w, GLsizei h, GLenum format, GLenum type, const void* data) { return AK_GLFunctionTable.gluBuild2DMipmaps(target, internalFormat, w, h, format, type, data); }
inline void glTexGeni(GLenum coord, GLenum name, GLint value) { AK_GLFunctionTable.glTexGeni(coord, name, value); }
inline void glTexGenfv(GLenum coord, GLenum name, const GLfloat* values) { AK_GLFunctionTable.glTexGenfv(coord, name, values); }
inline void glTexEnvf(GLenum target, GLenum name, GLfloat value) { AK_GLFunctionTable.glTexEnvf(target, name, value); }
inline void glTexCoord1f(GLfloat s) { AK_GLFunctionTable.glTexCoord1f(s); }
inline void glTexImage1D(GLenum target, GLint level, GLint internalFormat, GLsizei w, GLint border, GLenum format, GLenum type, const void* pixels) { AK_GLFunctionTable.glTexImage1D(target, level, internalFormat, w, border, format, type, pixels); }
inline const char* gluErrorString(GLenum code) { return AK_GLFunctionTable.gluErrorString(code); }
inline GLuint glGenLists(GLsizei range) { return AK_GLFunctionTable.glGenLists(range); }
inline void glDeleteLists(GLuint list, GLsizei range) { AK_GLFunctionTable.glDeleteLists(list, range); }
inline void glNewList(GLuint list, GLenum mode) { AK_GLFunctionTable.glNewList(list, mode); }
inline void glCallList(GLuint list) { AK_GLFunctionTable.glCallList(list); }
inline void glEndList() { AK_GLFunctionTable.glEndList(); }
