// While it lives, the graphics table writes vertices ("v x y "), raster positions ("r x y "),
// and glyphs ("b width 0 ") into log(), numbers "%.4g".
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
    AK_GLFunctionTable.glBitmap = [](GLsizei w, GLsizei, GLfloat, GLfloat, GLfloat, GLfloat,
                                     const GLubyte*) { Add("b", static_cast<float>(w), 0); };
  }
  ~GlRecorder() { AK_GLFunctionTable = _saved; }
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
