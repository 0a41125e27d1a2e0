// The software renderer: a small subset of OpenGL 1.x that draws into memory.
//
// Colour and depth planes, a projection and a modelview matrix stack, immediate-mode
// points, lines, triangles, quads and polygons with flat per-vertex colour, one
// light, polygon offset, blending and bitmaps. soglInstall routes the graphics
// operation table here; the matrix functions are also called directly by code that
// needs the modelview stack without drawing.
//
// All state is process-wide: one renderer per process, one thread.
#pragma once

#include "AK_GLFunctionTable.h"

// Installation and frame buffer.
void soglInstall();
int soglResize(int width, int height);
void soglFree();
void soglGetFramebuffer(int& width, int& height, GLubyte*& red, GLubyte*& green,
                        GLubyte*& blue);
int soglPixelIndex(int x, int y);

// Render state, matrices and queries.
void soglClearColor(GLfloat red, GLfloat green, GLfloat blue, GLfloat alpha);
void soglClear(GLbitfield mask);
void soglMatrixMode(GLenum mode);
void soglPushMatrix();
void soglPopMatrix();
void soglLoadIdentity();
void soglMultMatrixf(const GLfloat* m);
void soglOrtho(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top,
               GLdouble nearVal, GLdouble farVal);
void soglTranslatef(GLfloat x, GLfloat y, GLfloat z);
void soglRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z);
void soglScalef(GLfloat x, GLfloat y, GLfloat z);
void soglMirror(GLfloat nx, GLfloat ny, GLfloat nz);
// The matrices that soglRotatef and soglMirror multiply by (16 floats, column order), for
// code that keeps a matrix stack of its own; false, and m untouched, for an axis or a normal
// too short to give one (the call then changes nothing).
bool soglRotationMatrix(GLfloat angle, GLfloat x, GLfloat y, GLfloat z, GLfloat* m);
bool soglMirrorMatrix(GLfloat nx, GLfloat ny, GLfloat nz, GLfloat* m);
// matrix := matrix * m, as soglMultMatrixf does to the current matrix (column order; the
// matrix in doubles).
void soglMultiply(double* matrix, const GLfloat* m);
void soglGetFloatv(GLenum name, GLfloat* values);
void soglLightfv(GLenum light, GLenum name, const GLfloat* values);
void soglEnable(GLenum cap);
void soglDisable(GLenum cap);
void soglDepthMask(GLboolean flag);
void soglPolygonMode(GLenum face, GLenum mode);
void soglLineWidth(GLfloat width);
void soglPointSize(GLfloat size);
void soglColor3f(GLfloat red, GLfloat green, GLfloat blue);
void soglColor4f(GLfloat red, GLfloat green, GLfloat blue, GLfloat alpha);
void soglNormal3f(GLfloat x, GLfloat y, GLfloat z);
void soglFrontFace(GLenum mode);
void soglPolygonOffset(GLfloat factor, GLfloat units);
const char* soglErrorString(GLenum code);

// Primitives and rasterisation.
void soglBegin(GLenum mode);
void soglEnd();
void soglVertex2f(GLfloat x, GLfloat y);
void soglVertex3f(GLfloat x, GLfloat y, GLfloat z);
void soglRasterPos2f(GLfloat x, GLfloat y);
void soglRasterPos3f(GLfloat x, GLfloat y, GLfloat z);
void soglBitmap(GLsizei width, GLsizei height, GLfloat xorig, GLfloat yorig, GLfloat xmove,
                GLfloat ymove, const GLubyte* bitmap);
