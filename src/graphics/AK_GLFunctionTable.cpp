#include "AK_GLFunctionTable.h"

#include <cstring>

namespace {

// The defaults do nothing. They are overloads of one name, one per signature;
// the table's member types pick the right one.
void AK_GLStub() {}
void AK_GLStub(GLenum) {}
void AK_GLStub(GLboolean) {}
void AK_GLStub(GLfloat) {}
void AK_GLStub(GLenum, GLenum) {}
void AK_GLStub(GLfloat, GLfloat) {}
void AK_GLStub(GLfloat, GLfloat, GLfloat) {}
void AK_GLStub(GLfloat, GLfloat, GLfloat, GLfloat) {}
void AK_GLStub(GLdouble, GLdouble, GLdouble, GLdouble, GLdouble, GLdouble) {}
void AK_GLStub(const GLfloat*) {}
void AK_GLStub(GLenum, GLint*) {}
void AK_GLStub(GLenum, GLfloat*) {}
void AK_GLStub(GLenum, GLint) {}
void AK_GLStub(GLenum, GLenum, const GLfloat*) {}
void AK_GLStub(GLenum, GLenum, GLint) {}
void AK_GLStub(GLenum, GLenum, GLfloat) {}
void AK_GLStub(GLsizei, GLsizei, GLfloat, GLfloat, GLfloat, GLfloat, const GLubyte*) {}
void AK_GLStub(GLsizei, const GLuint*) {}
void AK_GLStub(GLsizei, GLuint*) {}
void AK_GLStub(GLenum, GLint, GLint, GLsizei, GLint, GLenum, GLenum, const void*) {}

// Without a renderer no mipmaps can be built: callers take 1 as a failure.
GLint AK_GLStubBuild2DMipmaps(GLenum, GLint, GLsizei, GLsizei, GLenum, GLenum, const void*) { return 1; }
// Callers stream this text into a warning, so it must be a valid text.
const char* AK_GLStubErrorString(GLenum) { return ""; }
// 0 means that no display list was made.
GLuint AK_GLStubGenLists(GLsizei) { return 0; }
GLint AK_GLStubReturn1() { return 1; }

}  // namespace

AK_GLFunctions AK_GLFunctionTable = {
    AK_GLStub,                // 0 glClearColor
    AK_GLStub,                // 1 glClear
    AK_GLStub,                // 2 UnusedSlot2
    AK_GLStub,                // 3 glMatrixMode
    AK_GLStub,                // 4 glPushMatrix
    AK_GLStub,                // 5 glPopMatrix
    AK_GLStub,                // 6 glLoadIdentity
    AK_GLStub,                // 7 glMultMatrixf
    AK_GLStub,                // 8 glOrtho
    AK_GLStub,                // 9 glTranslatef
    AK_GLStub,                // 10 glRotatef
    AK_GLStub,                // 11 glScalef
    AK_GLStub,                // 12 glGetIntegerv
    AK_GLStub,                // 13 glGetFloatv
    AK_GLStub,                // 14 glPixelStorei
    AK_GLStub,                // 15 glLightfv
    AK_GLStub,                // 16 glBlendFunc
    AK_GLStub,                // 17 glEnable
    AK_GLStub,                // 18 glDisable
    AK_GLStub,                // 19 glDepthMask
    AK_GLStub,                // 20 glPolygonMode
    AK_GLStub,                // 21 glLineWidth
    AK_GLStub,                // 22 glPointSize
    AK_GLStub,                // 23 glBegin
    AK_GLStub,                // 24 glEnd
    AK_GLStub,                // 25 glColor3f
    AK_GLStub,                // 26 glColor4f
    AK_GLStub,                // 27 glNormal3f
    AK_GLStub,                // 28 glFrontFace
    AK_GLStub,                // 29 glVertex2f
    AK_GLStub,                // 30 glVertex3f
    AK_GLStub,                // 31 glRasterPos2f
    AK_GLStub,                // 32 glRasterPos3f
    AK_GLStub,                // 33 glBitmap
    AK_GLStub,                // 34 glPushName
    AK_GLStub,                // 35 glPopName
    AK_GLStub,                // 36 glPolygonOffset
    AK_GLStub,                // 37 glDeleteTextures
    AK_GLStub,                // 38 glGenTextures
    AK_GLStub,                // 39 glBindTexture
    AK_GLStub,                // 40 glTexParameteri
    AK_GLStubBuild2DMipmaps,  // 41 gluBuild2DMipmaps
    AK_GLStub,                // 42 glTexGeni
    AK_GLStub,                // 43 glTexGenfv
    AK_GLStub,                // 44 glTexEnvf
    AK_GLStub,                // 45 glTexCoord1f
    AK_GLStub,                // 46 glTexImage1D
    AK_GLStubErrorString,     // 47 gluErrorString
    AK_GLStubGenLists,        // 48 glGenLists
    AK_GLStub,                // 49 glDeleteLists
    AK_GLStub,                // 50 glNewList
    AK_GLStub,                // 51 glCallList
    AK_GLStub,                // 52 glEndList
    AK_GLStub,                // 53 UnusedSlot53
    AK_GLStubReturn1,         // 54 UnusedSlot54
    AK_GLStubReturn1,         // 55 UnusedSlot55
};

// Every entry is one function pointer at its fixed position; code that
// addresses entries by position relies on this layout.
using AK_GLAnyFunction = void (*)();
static_assert(sizeof(AK_GLFunctions) == AK_GLEntryCount * sizeof(AK_GLAnyFunction));
#define AK_GL_AT(member, position) \
  static_assert(offsetof(AK_GLFunctions, member) == (position) * sizeof(AK_GLAnyFunction))
AK_GL_AT(glClearColor, 0);
AK_GL_AT(UnusedSlot2, 2);
AK_GL_AT(glGetIntegerv, 12);
AK_GL_AT(glLightfv, 15);
AK_GL_AT(glBlendFunc, 16);
AK_GL_AT(glBegin, 23);
AK_GL_AT(glBitmap, 33);
AK_GL_AT(glPushName, 34);
AK_GL_AT(glPolygonOffset, 36);
AK_GL_AT(gluBuild2DMipmaps, 41);
AK_GL_AT(glTexImage1D, 46);
AK_GL_AT(gluErrorString, 47);
AK_GL_AT(glEndList, 52);
AK_GL_AT(UnusedSlot55, 55);
#undef AK_GL_AT

void (*AK_GLEntry(const AK_GLFunctions& table, int position))() {
  if (position < 0 || position >= AK_GLEntryCount) return nullptr;
  AK_GLAnyFunction entry;
  std::memcpy(&entry, reinterpret_cast<const unsigned char*>(&table) + position * sizeof(entry),
              sizeof(entry));
  return entry;
}
