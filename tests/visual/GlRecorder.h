// Records what a drawing pass sends through the graphics operation table: vertices, raster
// positions and bitmaps (glyphs), as text, while it lives; the table is restored afterwards.
#pragma once

#include <string>

#include "AK_Basic.h"
#include "AK_GLFunctionTable.h"

class GlRecorder {
public:
  GlRecorder() : _saved(AK_GLFunctionTable)
  {
    log().clear();
    AK_GLFunctionTable.glVertex2f = [](GLfloat x, GLfloat y) { Add("v", x, y); };
    AK_GLFunctionTable.glRasterPos2f = [](GLfloat x, GLfloat y) { Add("r", x, y); };
    AK_GLFunctionTable.glTexCoord1f = [](GLfloat s) { Add("t", s, 0); };
    AK_GLFunctionTable.glBitmap = [](GLsizei w, GLsizei, GLfloat, GLfloat, GLfloat, GLfloat,
                                     const GLubyte*) { Add("b", static_cast<float>(w), 0); };
  }
  ~GlRecorder() { AK_GLFunctionTable = _saved; }
  GlRecorder(const GlRecorder&) = delete;
  GlRecorder& operator=(const GlRecorder&) = delete;

  // "v x y " per vertex, "r x y " per raster position, "t s 0 " per texture coordinate,
  // "b w 0 " per bitmap, numbers "%.4g".
  static std::string& log()
  {
    static std::string text;
    return text;
  }

private:
  static void Add(const char* kind, float a, float b)
  {
    log() += AK_String::Format("%s %.4g %.4g ", kind, double{a}, double{b}).c_str();
  }
  AK_GLFunctions _saved;
};
