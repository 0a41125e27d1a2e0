// What the tests of visible objects share: a graphics table that writes every call of the
// render state and the texture into a log, and a 3-D object whose drawing and box the tests
// choose.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <utility>

#include "AK_Basic.h"
#include "AK_GLFunctionTable.h"
#include "AK_VisObj3d.h"

// While it lives, the table's render-state and texture entries append "name arg arg\n" to
// `log`; glGenTextures hands out 7 and gluBuild2DMipmaps answers `buildResult`.
class GLLog {
public:
  static inline std::string log;
  static inline GLint buildResult = 1;
  static void Add(const char* name, std::initializer_list<double> args)
  {
    log += name;
    for (double a : args) log += AK_String::Format(" %g", a).c_str();
    log += "\n";
  }

  GLLog()
  {
    log.clear();
    buildResult = 1;
    AK_GLFunctions& t = AK_GLFunctionTable;
    t.glEnable = [](GLenum c) { Add("glEnable", {double(c)}); };
    t.glDisable = [](GLenum c) { Add("glDisable", {double(c)}); };
    t.glDepthMask = [](GLboolean f) { Add("glDepthMask", {double(f)}); };
    t.glBlendFunc = [](GLenum s, GLenum d) { Add("glBlendFunc", {double(s), double(d)}); };
    t.glColor3f = [](GLfloat r, GLfloat g, GLfloat b) { Add("glColor3f", {r, g, b}); };
    t.glColor4f = [](GLfloat r, GLfloat g, GLfloat b, GLfloat a) { Add("glColor4f", {r, g, b, a}); };
    t.glPointSize = [](GLfloat s) { Add("glPointSize", {s}); };
    t.glLineWidth = [](GLfloat w) { Add("glLineWidth", {w}); };
    t.glPolygonMode = [](GLenum f, GLenum m) { Add("glPolygonMode", {double(f), double(m)}); };
    t.glPolygonOffset = [](GLfloat f, GLfloat u) { Add("glPolygonOffset", {f, u}); };
    t.glGenTextures = [](GLsizei n, GLuint* ids) {
      for (int i = 0; i < n; ++i) ids[i] = 7;
      Add("glGenTextures", {double(n)});
    };
    t.glDeleteTextures = [](GLsizei n, const GLuint* ids) { Add("glDeleteTextures", {double(n), double(ids[0])}); };
    t.glBindTexture = [](GLenum t, GLuint id) { Add("glBindTexture", {double(t), double(id)}); };
    t.glTexParameteri = [](GLenum t, GLenum n, GLint v) { Add("glTexParameteri", {double(t), double(n), double(v)}); };
    t.glTexGeni = [](GLenum c, GLenum n, GLint v) { Add("glTexGeni", {double(c), double(n), double(v)}); };
    t.glTexGenfv = [](GLenum c, GLenum n, const GLfloat* v) { Add("glTexGenfv", {double(c), double(n), v[0], v[1], v[2], v[3]}); };
    t.glTexEnvf = [](GLenum t, GLenum n, GLfloat v) { Add("glTexEnvf", {double(t), double(n), v}); };
    t.gluBuild2DMipmaps = [](GLenum, GLint, GLsizei w, GLsizei h, GLenum, GLenum, const void*) {
      Add("gluBuild2DMipmaps", {double(w), double(h)});
      return buildResult;
    };
  }
  ~GLLog() { AK_GLFunctionTable = _saved; }
  GLLog(const GLLog&) = delete;

private:
  const AK_GLFunctions _saved = AK_GLFunctionTable;
};

// Sets each attribute; a value that is refused fails the test.
inline void SetAll(AK_Object& o, std::initializer_list<std::pair<const char*, const char*>> values)
{
  for (auto [name, value] : values) {
    o.Set(name, value);
    EXPECT_STREQ(AK_ErrorText.c_str(), "") << name << " " << value;
  }
}

// A 3-D object that calls `draw` for every drawing and answers `box` (when it has one).
class Probe : public AK_VisObj3d {
public:
  explicit Probe(const char* id = "") : AK_VisObj3d(id, nullptr) {}
  void Draw() override { if (draw) draw(*this); }
  int GetBoundingBox(float min[3], float max[3]) override
  {
    if (!hasBox) return 0;
    for (int i = 0; i < 3; ++i) min[i] = box[0][i], max[i] = box[1][i];
    return 1;
  }
  std::function<void(Probe&)> draw;
  bool hasBox = false;
  float box[2][3] = {};
};
