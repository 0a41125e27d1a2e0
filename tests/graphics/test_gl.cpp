// The graphics operation table and the drawing helpers that go through it; the software
// renderer: its matrix stacks, and the pixels it draws, beside a reference rasteriser written
// out plainly.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "AK_GLFunctionTable.h"
#include "AK_GLHelpers.h"
#include "AK_sogl.h"
#include "AK_sogl_State.h"
#include "TestSupport.h"

namespace {

// The table is constant-initialised, so this copy sees the defaults.
const AK_GLFunctions kDefaults = AK_GLFunctionTable;

// Every test starts with the default table and the renderer's load-time state; Start installs
// the renderer with a black, far-cleared frame buffer and identity matrices.
class Sogl : public ::testing::Test {
 protected:
  void SetUp() override {
    AK_GLFunctionTable = kDefaults;
    soglResetState();
  }
  void TearDown() override { SetUp(); }
  void Start(int width, int height) {
    soglInstall();
    ASSERT_EQ(soglResize(width, height), 0);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  }
  struct Rgb {
    int r, g, b;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
  };
  static Rgb Pixel(int x, int y) {
    const int i = soglPixelIndex(x, y);
    return {soglRed[i], soglGreen[i], soglBlue[i]};
  }
  // One primitive of vertices (x, y) or (x, y, z).
  static void Draw(GLenum mode, std::initializer_list<std::vector<float>> vertices) {
    glBegin(mode);
    for (const auto& v : vertices) glVertex3f(v[0], v[1], v.size() > 2 ? v[2] : 0);
    glEnd();
  }
  static int Depth(int x, int y) { return soglDepth[soglPixelIndex(x, y)]; }
  static int LitCount() {
    int n = 0;
    for (uint32_t i = 0; i < soglWidth * soglHeight; ++i) n += soglRed[i] || soglGreen[i] || soglBlue[i];
    return n;
  }
};

std::vector<float> Top(GLenum which = GL_MODELVIEW_MATRIX) {
  std::vector<float> m(16);
  soglGetFloatv(which, m.data());
  return m;
}

void ExpectMatrix(const std::vector<float>& got, const std::vector<float>& expected, float tolerance = 0) {
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(got[i], expected[i], tolerance) << "element " << i;
}

const std::vector<float> kIdentity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

TEST_F(Sogl, DefaultsDoNothingAndAnswerTheResultsCallersRelyOn) {
  EXPECT_EQ(gluBuild2DMipmaps(GL_TEXTURE_2D, 3, 2, 2, GL_RGB, GL_UNSIGNED_BYTE, "abcdefghijkl"), 1);
  EXPECT_EQ(glGenLists(1), 0u);
  ASSERT_NE(gluErrorString(1), nullptr);
  EXPECT_EQ(AK_GLFunctionTable.UnusedSlot54(), 1);
  EXPECT_EQ(AK_GLFunctionTable.UnusedSlot55(), 1);

  float f[16];
  int n[4];
  for (int i = 0; i < 16; ++i) f[i] = 0.5f + i;
  for (int i = 0; i < 4; ++i) n[i] = 7 + i;
  glGetFloatv(GL_MODELVIEW_MATRIX, f);
  glGetIntegerv(GL_UNPACK_ALIGNMENT, n);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(f[i], 0.5f + i);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(n[i], 7 + i);
  GLuint ids[2] = {41, 42};
  glGenTextures(2, ids);
  EXPECT_EQ(ids[0], 41u);
  EXPECT_EQ(ids[1], 42u);
}

TEST_F(Sogl, InstallingTheRendererReplacesExactlyItsFortyEightEntries) {
  std::set<int> expected;
  for (int i = 0; i <= 15; ++i) expected.insert(i);
  for (int i = 17; i <= 33; ++i) expected.insert(i);
  for (int i = 36; i <= 44; ++i) expected.insert(i);
  for (int i = 47; i <= 52; ++i) expected.insert(i);
  ASSERT_EQ(expected.size(), 48u);

  soglInstall();
  for (int i = 0; i < AK_GLEntryCount; ++i) {
    const bool changed = AK_GLEntry(AK_GLFunctionTable, i) != AK_GLEntry(kDefaults, i);
    EXPECT_EQ(changed, expected.count(i) == 1) << "entry " << i;
  }
  EXPECT_EQ(AK_GLFunctionTable.glBegin, &soglBegin);
  EXPECT_EQ(AK_GLFunctionTable.glGetFloatv, &soglGetFloatv);
  EXPECT_EQ(gluBuild2DMipmaps(GL_TEXTURE_2D, 3, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, "abc"), 1);
  EXPECT_EQ(glGenLists(3), 0u);
  EXPECT_STREQ(gluErrorString(1281), "error code 1281");
  int untouched = 9;
  glGetIntegerv(GL_UNPACK_ALIGNMENT, &untouched);
  EXPECT_EQ(untouched, 9);
}

// A table that records the calls the helpers make.
struct Call { std::string op; std::vector<double> args; };
std::vector<Call> gCalls;
GLfloat gLastMatrix[16];
const GLubyte* gLastBitmap = nullptr;

void Record(const char* op, std::vector<double> args = {}) { gCalls.push_back({op, std::move(args)}); }

class Recording : public Sogl {
 protected:
  void SetUp() override {
    Sogl::SetUp();
    gCalls.clear();
    gLastBitmap = nullptr;
    AK_GLFunctions& t = AK_GLFunctionTable;
    t.glBegin = [](GLenum m) { Record("Begin", {double(m)}); };
    t.glEnd = [] { Record("End"); };
    t.glNormal3f = [](GLfloat x, GLfloat y, GLfloat z) { Record("Normal", {x, y, z}); };
    t.glVertex3f = [](GLfloat x, GLfloat y, GLfloat z) { Record("Vertex", {x, y, z}); };
    t.glMultMatrixf = [](const GLfloat* m) {
      std::copy(m, m + 16, gLastMatrix);
      Record("MultMatrix");
    };
    // Each unpack parameter answers a value of its own, so the restore can be checked.
    t.glGetIntegerv = [](GLenum name, GLint* v) {
      *v = static_cast<GLint>(name) - 3300;
      Record("GetIntegerv", {double(name)});
    };
    t.glPixelStorei = [](GLenum name, GLint v) { Record("PixelStorei", {double(name), double(v)}); };
    t.glBitmap = [](GLsizei w, GLsizei h, GLfloat xo, GLfloat yo, GLfloat xm, GLfloat ym,
                    const GLubyte* bits) {
      gLastBitmap = bits;
      Record("Bitmap", {double(w), double(h), xo, yo, xm, ym});
    };
  }
};

TEST_F(Recording, SphereWithoutSlicesOrStacksEmitsOnlyBeginAndEnd) {
  for (auto [slices, stacks] : {std::pair{0, 4}, std::pair{4, 0}, std::pair{-2, 3}}) {
    gCalls.clear();
    glutSolidSphere(1.0, slices, stacks);
    ASSERT_EQ(gCalls.size(), 2u) << slices << " " << stacks;
    EXPECT_EQ(gCalls[0].op, "Begin");
    EXPECT_EQ(gCalls[0].args[0], GL_QUADS);
    EXPECT_EQ(gCalls[1].op, "End");
  }
}

TEST_F(Recording, SphereCornersLieOnTheSphereAndAreTheirOwnNormals) {
  const double radius = 2.5;
  const int slices = 6, stacks = 5;
  glutSolidSphere(radius, slices, stacks);
  ASSERT_EQ(gCalls.size(), 2u + slices * stacks * 4 * 2);
  for (size_t i = 1; i + 1 < gCalls.size(); i += 2) {
    ASSERT_EQ(gCalls[i].op, "Normal");
    ASSERT_EQ(gCalls[i + 1].op, "Vertex");
    EXPECT_EQ(gCalls[i].args, gCalls[i + 1].args);
    const auto& p = gCalls[i + 1].args;
    const double z = p[2];
    const double ring = std::hypot(p[0], p[1]);
    EXPECT_NEAR(ring * ring + z * z, radius * radius, 1e-4);
    EXPECT_GE(z, -radius - 1e-5);
    EXPECT_LE(z, radius + 1e-5);
  }
  // The first corner of the first quad starts at angle 0 on the south pole ring.
  EXPECT_NEAR(gCalls[2].args[1], 0.0, 1e-6);
  EXPECT_NEAR(gCalls[2].args[2], -radius, 1e-6);
}

TEST_F(Recording, MirrorIsAnInvolutionThatReversesItsNormal) {
  const float normals[][3] = {{1, 2, 3}, {-0.5f, 0, 4}, {3, -1, 0.25f}, {0, 7, 0}};
  for (const auto& n : normals) {
    MultMirrorMatrix(n[0], n[1], n[2]);
    const GLfloat* m = gLastMatrix;
    for (int r = 0; r < 4; ++r) {
      double mn = 0;
      for (int c = 0; c < 3; ++c) mn += m[4 * c + r] * (c == 0 ? n[0] : c == 1 ? n[1] : n[2]);
      if (r < 3) {
        EXPECT_NEAR(mn, -n[r], 1e-5);
      }
      for (int c = 0; c < 4; ++c) {
        double mm = 0;
        for (int k = 0; k < 4; ++k) mm += m[4 * k + r] * m[4 * c + k];
        EXPECT_NEAR(mm, r == c ? 1.0 : 0.0, 1e-6);
        EXPECT_EQ(m[4 * c + r], m[4 * r + c]);
      }
    }
  }
  gCalls.clear();
  MultMirrorMatrix(0, 0, 0);  // no plane: nothing happens
  EXPECT_TRUE(gCalls.empty());
}

// A font of three glyphs for 'A' to 'C', 'B' without glyph.
const GLubyte kBitsA[2] = {0x80, 0x40};
const AK_BitmapGlyph kGlyphA = {2, 2, 0.5f, 1.0f, 7.6f, kBitsA};
const AK_BitmapGlyph kGlyphC = {1, 1, 0.0f, 0.0f, 3.25f, kBitsA};
const AK_BitmapGlyph* const kGlyphs[3] = {&kGlyphA, nullptr, &kGlyphC};
const AK_BitmapFont kFont = {"TEST", 3, 'A', kGlyphs};

TEST_F(Recording, BitmapCharacterSavesSetsAndRestoresTheUnpackState) {
  glutBitmapCharacter(&kFont, 'A');
  const GLenum unpack[6] = {GL_UNPACK_SWAP_BYTES,  GL_UNPACK_LSB_FIRST,  GL_UNPACK_ROW_LENGTH,
                            GL_UNPACK_SKIP_ROWS,   GL_UNPACK_SKIP_PIXELS, GL_UNPACK_ALIGNMENT};
  ASSERT_EQ(gCalls.size(), 19u);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(gCalls[i].op, "GetIntegerv");
    EXPECT_EQ(gCalls[i].args[0], unpack[i]);
    EXPECT_EQ(gCalls[6 + i].op, "PixelStorei");
    EXPECT_EQ(gCalls[6 + i].args, (std::vector<double>{double(unpack[i]), i == 5 ? 1.0 : 0.0}));
    EXPECT_EQ(gCalls[13 + i].op, "PixelStorei");
    EXPECT_EQ(gCalls[13 + i].args,
              (std::vector<double>{double(unpack[i]), double(unpack[i]) - 3300}));
  }
  EXPECT_EQ(gCalls[12].op, "Bitmap");
  EXPECT_EQ(gCalls[12].args, (std::vector<double>{2, 2, 0.5f, 1.0f, 7.6f, 0}));
  EXPECT_EQ(gLastBitmap, kBitsA);
}

TEST_F(Recording, BitmapCharacterWithoutGlyphDrawsNothing) {
  glutBitmapCharacter(nullptr, 'A');
  glutBitmapCharacter(&kFont, 'B');
  glutBitmapCharacter(&kFont, '@');
  glutBitmapCharacter(&kFont, 'D');
  glutBitmapCharacter(&kFont, -2147483647 - 1);
  EXPECT_TRUE(gCalls.empty());
}

TEST(GLHelpers, WidthAndLengthTruncateTheRunningSum) {
  struct Case { const char* text; int length; };
  const Case cases[] = {
      {"", 0},
      {"A", 7},
      {"AA", 14},    // trunc(7 + 7.6), not trunc(15.2)
      {"AAA", 21},
      {"AC", 10},    // trunc(7 + 3.25)
      {"ABxC", 10},  // no glyph, out of range: nothing
      {"\xff" "A", 7},
  };
  for (const Case& c : cases) EXPECT_EQ(glutBitmapLength(&kFont, c.text), c.length) << c.text;
  EXPECT_EQ(glutBitmapLength(nullptr, "A"), 0);
  EXPECT_EQ(glutBitmapWidth(&kFont, 'A'), 7);
  EXPECT_EQ(glutBitmapWidth(&kFont, 'B'), 0);
  EXPECT_EQ(glutBitmapWidth(&kFont, 'C'), 3);
  EXPECT_EQ(glutBitmapWidth(&kFont, 'Z'), 0);
  EXPECT_EQ(glutBitmapWidth(nullptr, 'A'), 0);
}

TEST_F(Sogl, StacksHoldZerosUntilResizeSetsBothTopsToIdentity) {
  ExpectMatrix(Top(), std::vector<float>(16, 0));
  std::vector<float> m(16, 5);
  soglGetFloatv(GL_LIGHTING, m.data());  // not a matrix name: nothing written
  EXPECT_EQ(m[0], 5);
  soglMatrixMode(GL_PROJECTION);
  ASSERT_EQ(soglResize(4, 4), 0);
  EXPECT_EQ(soglMatMode, 1);
  ExpectMatrix(Top(GL_PROJECTION_MATRIX), kIdentity);
  ExpectMatrix(Top(), kIdentity);
}

TEST_F(Sogl, MatricesOfTheOperations) {
  struct Case {
    const char* name;
    void (*apply)();
    std::vector<float> expected;
  };
  const std::vector<float> translated = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, 2, 3, 1};
  const Case cases[] = {
      {"ortho of the unit square", [] { soglOrtho(0, 1, 0, 1, -1, 1); }, {2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1, 0, -1, -1, 0, 1}},
      {"rotation about a normalised axis", [] { soglRotatef(90, 0, 0, 2); }, {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}},
      // A point is scaled first, then moved.
      {"products in call order", [] { soglTranslatef(1, 2, 3); soglScalef(2, 4, 8); }, {2, 0, 0, 0, 0, 4, 0, 0, 0, 0, 8, 0, 1, 2, 3, 1}},
      {"degenerate axes change nothing",
       [] { soglTranslatef(1, 2, 3); soglRotatef(45, 0, 0, 0); soglRotatef(45, 1e-7f, 0, 0); soglRotatef(45, NAN, 0, 1); },
       translated},
      {"mirror through the table", [] { soglInstall(); MultMirrorMatrix(0, 0, 1); }, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 1}},
      {"mirror twice", [] { soglMirror(1, 2, 2); soglMirror(1, 2, 2); }, kIdentity},
      // Push copies the top, pop restores it.
      {"push and pop", [] { soglTranslatef(1, 2, 3); soglPushMatrix(); soglScalef(5, 5, 5); soglPopMatrix(); }, translated},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    soglLoadIdentity();
    c.apply();
    ExpectMatrix(Top(), c.expected, 1e-6f);
  }
  // The slot the pop left is identity, not the scaled matrix; the projection stack is separate.
  for (int i = 0; i < 16; ++i) EXPECT_EQ(soglMatStack[1][1][i], kIdentity[i]);
  soglMatrixMode(GL_PROJECTION);
  soglPushMatrix();
  EXPECT_EQ(soglMatIndex[0], 1);
  EXPECT_EQ(soglMatIndex[1], 0);
  soglPopMatrix();
}

TEST_F(Sogl, OrthoMapsItsBoxOntoTheUnitCube) {
  soglLoadIdentity();
  soglOrtho(-3, 5, 10, 20, 2, 6);
  const std::vector<float> m = Top();
  const double corners[2][3] = {{-3, 10, 2}, {5, 20, 6}};
  for (int k = 0; k < 2; ++k)
    for (int r = 0; r < 3; ++r) {
      double v = m[12 + r];
      for (int c = 0; c < 3; ++c) v += m[4 * c + r] * corners[k][c];
      EXPECT_NEAR(v, k == 0 ? -1.0 : 1.0, 1e-6);  // larger z stays larger
    }
}

TEST_F(Sogl, RandomRotationsAreUndoneByTheirInverse) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> u(-1, 1);
  for (int trial = 0; trial < 50; ++trial) {
    const float a = 360 * u(rng), axis[3] = {u(rng), u(rng), u(rng)};
    if (std::sqrt(axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2]) < 0.1f) continue;
    soglLoadIdentity();
    soglRotatef(a, axis[0], axis[1], axis[2]);
    const std::vector<float> m = Top();
    // Orthonormal columns, the axis kept fixed.
    for (int i = 0; i < 3; ++i) {
      double v = 0;
      for (int c = 0; c < 3; ++c) v += m[4 * c + i] * axis[c];
      EXPECT_NEAR(v, axis[i], 1e-5);
      for (int j = 0; j < 3; ++j) {
        double d = 0;
        for (int k = 0; k < 3; ++k) d += m[4 * i + k] * m[4 * j + k];
        EXPECT_NEAR(d, i == j ? 1.0 : 0.0, 1e-5);
      }
    }
    soglRotatef(-a, axis[0], axis[1], axis[2]);
    ExpectMatrix(Top(), kIdentity, 1e-5f);
  }
}

// The renderer reports broken invariants on standard output; the death test reads standard
// error, so the dying process sends the one to the other.
void ToStderr() {
  std::fflush(stdout);
  ::dup2(STDERR_FILENO, STDOUT_FILENO);
}

using SoglDeathTest = Sogl;

// Pushes and pops come from user texts: one too many is a message, and the stack stays.
TEST_F(Sogl, StackOverrunAndUnderrunAreIgnoredWithAMessage) {
  MessageCapture capture;
  soglLoadIdentity();
  soglPopMatrix();
  EXPECT_EQ(soglMatIndex[1], 0);
  for (int i = 0; i < 32; ++i) soglPushMatrix();  // thirty-one fit
  EXPECT_EQ(soglMatIndex[1], 31);
  for (int i = 0; i < 31; ++i) soglPopMatrix();
  EXPECT_EQ(soglMatIndex[1], 0);
  EXPECT_EQ(capture.messages, (std::vector<std::string>{"ERROR:matrix stack underflow, pop ignored",
                                                        "ERROR:matrix stack overflow, push ignored"}));
}

TEST_F(SoglDeathTest, AnUnknownModeEndsTheProcess) {
  EXPECT_EXIT({ ToStderr(); soglMatrixMode(GL_TEXTURE_2D); }, ::testing::ExitedWithCode(1), "invalid matrix mode!");
}

TEST_F(Sogl, NormalsAndLightPositionAreTakenInEyeSpace) {
  soglLoadIdentity();
  soglScalef(3, 3, 3);
  soglNormal3f(0, 0, 2);
  EXPECT_FLOAT_EQ(soglCurNormal[2], 1.0f);  // normalised
  soglFrontFace(GL_CW);
  soglNormal3f(0, 2, 0);
  EXPECT_FLOAT_EQ(soglCurNormal[1], -1.0f);  // flipped for clockwise faces
  soglFrontFace(GL_CCW);
  soglNormal3f(0, 0, 0);  // a zero normal stays zero
  EXPECT_EQ(std::vector<float>(soglCurNormal, soglCurNormal + 3), std::vector<float>(3, 0));
  soglLoadIdentity();
  soglTranslatef(1, 2, 3);
  const float pos[4] = {1, 1, 1, 1};
  soglLightfv(GL_LIGHT0, GL_POSITION, pos);
  EXPECT_EQ(std::vector<float>(soglLightPos, soglLightPos + 4), std::vector<float>({2, 3, 4, 1}));
}

using PixelSet = std::set<std::pair<int, int>>;

PixelSet Lit() {
  PixelSet s;
  for (uint32_t y = 0; y < soglHeight; ++y)
    for (uint32_t x = 0; x < soglWidth; ++x) {
      const int i = soglPixelIndex(int(x), int(y));
      if (soglRed[i] || soglGreen[i] || soglBlue[i]) s.insert({int(x), int(y)});
    }
  return s;
}

PixelSet Rect(int x0, int x1, int y0, int y1) {  // inclusive bounds
  PixelSet s;
  for (int x = x0; x <= x1; ++x)
    for (int y = y0; y <= y1; ++y) s.insert({x, y});
  return s;
}

TEST_F(Sogl, ClearFillsTheColourPlanesAndTheDepthPlane) {
  soglInstall();
  ASSERT_EQ(soglResize(2, 3), 0);
  glClearColor(1, 0.5f, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(soglRed[i], 255);
    EXPECT_EQ(soglGreen[i], 127);
    EXPECT_EQ(soglBlue[i], 0);
    EXPECT_EQ(soglDepth[i], 0);
  }
  int w = 0, h = 0;
  GLubyte *r = nullptr, *g = nullptr, *b = nullptr;
  soglGetFramebuffer(w, h, r, g, b);
  EXPECT_EQ(std::vector<int>({w, h, r[5], g[5], b[5]}), std::vector<int>({2, 3, 255, 127, 0}));
}

TEST_F(Sogl, ResizeRefusesEmptyOrOversizedPictures) {
  EXPECT_EQ(soglResize(0, 5), 1);
  EXPECT_FALSE(soglRed);
  EXPECT_EQ(soglResize(5, -1), 1);
  EXPECT_EQ(soglResize(1 << 20, 1 << 20), 1);
  EXPECT_FALSE(soglDepth);
  // Drawing without planes touches nothing.
  soglInstall();
  Draw(GL_POINTS, {{0, 0}});
  glClear(GL_COLOR_BUFFER_BIT);
  soglFree();
  EXPECT_FALSE(soglGreen);
}

TEST_F(Sogl, LineColoursAndDepthAreInterpolated) {
  Start(16, 16);
  glBegin(GL_LINES);
  glColor3f(0, 0, 0);
  glVertex3f(-1, 0, -1);
  glColor3f(1, 0, 0);
  glVertex3f(1, 0, 1);
  glEnd();
  // Column x has t = x / 16.
  EXPECT_EQ(Pixel(8, 8).r, 127);   // trunc(0 + 0.5 * 255)
  EXPECT_EQ(Pixel(4, 8).r, 63);    // trunc(0.25 * 255)
  EXPECT_EQ(Depth(8, 8), 32768);   // trunc(0.5 * 65535 + 0.5)
  EXPECT_EQ(Depth(0, 8), 0);
}

// Pixel coordinates exactly representable in a 16 x 16 buffer.
float Cx(int px) { return px / 8.0f - 1; }

PixelSet Triangle(bool upper) {  // the pixels of the triangles with pixel corners 1 and 9
  PixelSet s;
  for (int x = 0; x <= 7; ++x)
    for (int y = upper ? 1 + x : 1; y <= (upper ? 8 : 8 - x); ++y) s.insert({x, y});
  return s;
}

TEST_F(Sogl, PrimitivesCoverExactlyTheirPixels) {
  struct Case {
    const char* name;
    int size;  // of the square buffer
    float pointSize, lineWidth;
    GLenum mode, polygonMode;
    std::vector<std::vector<float>> vertices;
    PixelSet pixels;
  };
  const std::vector<std::vector<float>> square = {{Cx(2), Cx(2)}, {Cx(10), Cx(2)}, {Cx(10), Cx(10)}, {Cx(2), Cx(10)}};
  const Case cases[] = {
      // A point's square starts half a size left of and below the centre.
      {"point size 1", 400, 1, 1, GL_POINTS, GL_FILL, {{0, 0}}, Rect(199, 199, 199, 199)},
      {"point size 2", 400, 2, 1, GL_POINTS, GL_FILL, {{0, 0}}, Rect(199, 200, 199, 200)},
      {"point size 3", 400, 3, 1, GL_POINTS, GL_FILL, {{0, 0}}, Rect(198, 200, 198, 200)},
      {"point size 4", 400, 4, 1, GL_POINTS, GL_FILL, {{0, 0}}, Rect(198, 201, 198, 201)},
      {"point size 0.5", 400, 0.5f, 1, GL_POINTS, GL_FILL, {{0, 0}}, {}},
      // The second line has no length and draws nothing.
      {"line across", 400, 1, 1, GL_LINES, GL_FILL, {{-1, 0}, {1, 0}, {0, 0}, {0, 0}}, Rect(0, 399, 200, 200)},
      // Pixel (2, 4) to (6, 4): half = 1, n = 3, end column excluded.
      {"thick x-major line", 16, 1, 3, GL_LINES, GL_FILL, {{-0.75f, -0.5f}, {-0.25f, -0.5f}}, Rect(2, 5, 3, 5)},
      // Pixel (12, 0) up to (12, 8), then to (12, 12).
      {"steep strip", 16, 1, 1, GL_LINE_STRIP, GL_FILL, {{0.5f, -1}, {0.5f, 0}, {0.5f, 0.5f}}, Rect(12, 12, 0, 11)},
      // Columns bottom up, one left of the pixel column, without the top row and the last column.
      {"short edge on top", 16, 1, 1, GL_TRIANGLES, GL_FILL, {{Cx(1), Cx(1)}, {Cx(9), Cx(1)}, {Cx(1), Cx(9)}}, Triangle(false)},
      {"long edge on top", 16, 1, 1, GL_TRIANGLES, GL_FILL, {{Cx(1), Cx(9)}, {Cx(9), Cx(1)}, {Cx(1), Cx(1)}}, Triangle(false)},
      {"upper triangle", 16, 1, 1, GL_TRIANGLES, GL_FILL, {{Cx(1), Cx(9)}, {Cx(9), Cx(9)}, {Cx(1), Cx(1)}}, Triangle(true)},
      {"all at one x", 16, 1, 1, GL_TRIANGLES, GL_FILL, {{0.1f, -0.5f}, {0.1f, 0.5f}, {0.1f, 0.9f}}, {}},
      {"collinear pixels", 16, 1, 1, GL_TRIANGLES, GL_FILL, {{Cx(1), Cx(1)}, {Cx(5), Cx(5)}, {Cx(9), Cx(9)}}, {}},
      {"one pixel column", 16, 1, 1, GL_TRIANGLES, GL_FILL, {{Cx(1), Cx(1)}, {Cx(1), Cx(2)}, {Cx(1) + 0.01f, Cx(1)}}, {}},
      // Point mode draws each corner once, size 1: one left, one down.
      {"quad corners", 16, 1, 1, GL_QUADS, GL_POINT, square, PixelSet{{1, 1}, {9, 1}, {9, 9}, {1, 9}}},
  };
  for (const Case& c : cases) {
    Start(c.size, c.size);
    glColor3f(1, 1, 1);
    glPointSize(c.pointSize);
    glLineWidth(c.lineWidth);
    glPolygonMode(GL_FRONT_AND_BACK, c.polygonMode);
    glBegin(c.mode);
    for (const auto& v : c.vertices) glVertex2f(v[0], v[1]);
    glEnd();
    EXPECT_EQ(Lit(), c.pixels) << c.name;
  }
}

TEST_F(Sogl, AQuadTilesItsSquareWithoutGapOrOverlap) {
  Start(16, 16);
  glEnable(GL_BLEND);  // a pixel drawn twice would come out brighter
  glColor4f(1, 1, 1, 0.5f);
  Draw(GL_QUADS, {{Cx(2), Cx(2)}, {Cx(10), Cx(2)}, {Cx(10), Cx(10)}, {Cx(2), Cx(10)}});
  EXPECT_EQ(Lit(), Rect(1, 8, 2, 9));
  for (const auto& p : Lit()) EXPECT_EQ(Pixel(p.first, p.second), (Rgb{127, 127, 127}));
}

// The filled-triangle rule written out plainly, without any clipping, for
// comparing against the renderer's clipped loops.
PixelSet ReferenceTriangle(const float p[3][2], int W, int H) {
  PixelSet out;
  int lo = 0, hi = 0;
  for (int i = 1; i < 3; ++i) {
    if (p[i][0] < p[lo][0]) lo = i;
    if (p[i][0] > p[hi][0]) hi = i;
  }
  if (lo == hi) return out;
  int mid = (lo + 1) % 3;
  if (mid == hi) mid = (lo + 2) % 3;
  long long X[3], Y[3];
  for (int i = 0; i < 3; ++i) {
    X[i] = (long long)std::trunc(std::trunc((p[i][0] * 0.5 + 0.5) * W) - 0.5);
    Y[i] = (long long)std::trunc(std::trunc((p[i][1] * 0.5 + 0.5) * H) + 0.5);
  }
  if (X[lo] > W || X[hi] < 0) return out;
  if (Y[0] < 0 && Y[1] < 0 && Y[2] < 0) return out;
  if (Y[0] > H && Y[1] > H && Y[2] > H) return out;
  const long long dX = X[hi] - X[lo];
  if (dX == 0) return out;
  const long long D = (Y[mid] - Y[lo]) * dX - (Y[hi] - Y[lo]) * (X[mid] - X[lo]);
  if (D == 0) return out;
  auto edgeY = [&](int a, int b, float t) {
    return (long long)(float(Y[a]) + t * float(Y[b] - Y[a]));
  };
  for (long long x = X[lo]; x < X[hi]; ++x) {
    const float t = float(x - X[lo]) / float(dX);
    long long shortY;
    if (x < X[mid])
      shortY = edgeY(lo, mid, float(x - X[lo]) / float(X[mid] - X[lo]));
    else
      shortY = edgeY(mid, hi, float(x - X[mid]) / float(X[hi] - X[mid]));
    const long long longY = edgeY(lo, hi, t);
    const long long bottom = D < 0 ? shortY : longY, top = D < 0 ? longY : shortY;
    for (long long y = bottom; y < top; ++y)
      if (x >= 0 && x < W && y >= 0 && y < H) out.insert({int(x), int(y)});
  }
  return out;
}

TEST_F(Sogl, TrianglesReachingOutsideDrawExactlyTheirVisiblePart) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> u(-3.0f, 3.0f);
  for (int trial = 0; trial < 200; ++trial) {
    float p[3][2];
    for (auto& v : p) {
      v[0] = u(rng);
      v[1] = u(rng);
    }
    Start(40, 30);
    glColor3f(1, 1, 1);
    glBegin(GL_TRIANGLES);
    for (auto& v : p) glVertex2f(v[0], v[1]);
    glEnd();
    ASSERT_EQ(Lit(), ReferenceTriangle(p, 40, 30)) << "trial " << trial;
  }
}

TEST_F(Sogl, VerticesFarOutsideCostNothingAndChangeNoPixel) {
  Start(64, 64);
  glColor3f(1, 1, 1);
  glPointSize(1e30f);
  glLineWidth(1e30f);
  Draw(GL_POINTS, {{1e30f, 0}, {-1e30f, -1e30f}, {NAN, 0}});
  Draw(GL_LINES, {{1e30f, 1e30f}, {2e30f, -1e30f}});
  Draw(GL_TRIANGLES, {{1e30f, 0}, {2e30f, 1}, {1e30f, 1e30f}, {NAN, NAN}, {0, NAN}, {INFINITY, 0}});
  EXPECT_EQ(LitCount(), 0);
  // A triangle that covers the whole view from far away fills it.
  glLineWidth(1);
  Draw(GL_TRIANGLES, {{-1e9f, -1e9f}, {1e9f, -1e9f}, {0, 1e9f}});
  EXPECT_EQ(LitCount(), 64 * 64);
}

TEST_F(Sogl, DepthTestLetsEqualDepthOverwriteAndDepthMaskKeepsTheDepth) {
  Start(16, 16);
  auto square = [](float z) {
    Draw(GL_QUADS, {{-0.5f, -0.5f, z}, {0.5f, -0.5f, z}, {0.5f, 0.5f, z}, {-0.5f, 0.5f, z}});
  };
  glColor3f(1, 0, 0);
  square(0);
  const int d = Depth(8, 8);
  EXPECT_EQ(d, 32767);
  glColor3f(0, 1, 0);
  square(0);
  EXPECT_EQ(Pixel(8, 8), (Rgb{0, 255, 0}));
  glColor3f(0, 0, 1);
  square(-0.5f);  // farther: hidden
  EXPECT_EQ(Pixel(8, 8), (Rgb{0, 255, 0}));
  glDepthMask(0);
  square(0.5f);  // nearer, drawn, but the depth stays
  EXPECT_EQ(Pixel(8, 8), (Rgb{0, 0, 255}));
  EXPECT_EQ(Depth(8, 8), d);
  glDepthMask(1);
  glDisable(GL_DEPTH_TEST);
  glColor3f(1, 1, 1);
  square(-0.9f);  // no test, no depth write
  EXPECT_EQ(Pixel(8, 8), (Rgb{255, 255, 255}));
  EXPECT_EQ(Depth(8, 8), d);
}

TEST_F(Sogl, BlendingHalfWhiteOverBlackGives127) {
  Start(8, 8);
  glEnable(GL_BLEND);
  glColor4f(1, 1, 1, 0.5f);
  glColor3f(1, 1, 1);  // keeps the alpha
  Draw(GL_POINTS, {{0, 0}});
  EXPECT_EQ(Pixel(3, 3), (Rgb{127, 127, 127}));
  glColor4f(1, 1, 1, 1e30f);  // absurd alpha: some byte, no undefined conversion
  Draw(GL_POINTS, {{0, 0}});
  glDisable(GL_BLEND);
  glColor4f(0.2f, 0.4f, 0.6f, 0.5f);
  Draw(GL_POINTS, {{0, 0}});
  EXPECT_EQ(Pixel(3, 3), (Rgb{51, 102, 153}));
}

// The pixels of one white primitive in a fresh 64 x 64 buffer.
PixelSet Drawn(GLenum mode, GLenum polygonMode, const std::vector<std::vector<float>>& vertices) {
  soglInstall();
  soglResize(64, 64);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glColor3f(1, 1, 1);
  glPolygonMode(GL_FRONT_AND_BACK, polygonMode);
  glBegin(mode);
  for (const auto& v : vertices) glVertex2f(v[0], v[1]);
  glEnd();
  return Lit();
}

TEST_F(Sogl, PolygonsAreOutlinedByTheirEdgesAndFilledAsFans) {
  const std::vector<std::vector<float>> v = {{-0.8f, -0.7f}, {0.6f, -0.9f}, {0.9f, 0.5f}, {-0.5f, 0.8f}};
  const PixelSet edges = Drawn(GL_LINES, GL_FILL, {v[0], v[1], v[1], v[2], v[2], v[3], v[3], v[0]});
  EXPECT_EQ(Drawn(GL_POLYGON, GL_LINE, v), edges);  // the diagonal is not drawn
  EXPECT_EQ(Drawn(GL_QUADS, GL_LINE, v), edges);
  EXPECT_EQ(edges.count({32, 32}), 0u);
  const std::vector<std::vector<float>> five = {v[0], v[1], v[2], {0.1f, 0.95f}, v[3]};
  const PixelSet fan = Drawn(GL_TRIANGLES, GL_FILL, {five[0], five[1], five[2], five[0], five[2], five[3], five[0], five[3], five[4]});
  EXPECT_GT(fan.size(), 1000u);
  EXPECT_EQ(Drawn(GL_POLYGON, GL_FILL, five), fan);
}

TEST_F(Sogl, TooFewVerticesDrawNothing) {
  Start(32, 32);
  glColor3f(1, 1, 1);
  glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
  // A finished outline first: nothing of it may be left for the primitives below to draw.
  Draw(GL_POLYGON, {{-0.8f, -0.8f}, {0.8f, -0.8f}, {0.8f, 0.8f}, {-0.8f, 0.8f}});
  ASSERT_GT(LitCount(), 0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glBegin(GL_POLYGON);  // no vertex at all: no edge to close
  glEnd();
  for (GLenum mode : {GL_LINES, GL_LINE_STRIP, GL_TRIANGLES, GL_QUADS, GL_POLYGON}) {
    glBegin(mode);
    glVertex2f(-0.5f, -0.5f);
    glEnd();
  }
  Draw(GL_POLYGON, {{-0.5f, -0.5f}, {0.5f, 0.5f}});
  // Unsupported primitives and vertices outside begin and end are ignored.
  glVertex2f(0.1f, 0.1f);
  Draw(GL_TRIANGLE_STRIP, {{-0.5f, -0.5f}, {0.5f, -0.5f}, {0.5f, 0.5f}});
  EXPECT_EQ(LitCount(), 0);
}

TEST_F(Sogl, PolygonOffsetMovesFilledPixelsBackSoOutlinesWin) {
  auto fill = [] {
    Draw(GL_TRIANGLES, {{-0.9f, -0.9f, 0}, {0.9f, -0.9f, 0}, {0, 0.9f, 0}});
  };
  Start(32, 32);
  glColor3f(1, 0, 0);
  fill();
  std::map<std::pair<int, int>, int> plain;
  for (const auto& p : Lit()) plain[p] = Depth(p.first, p.second);

  Start(32, 32);
  glEnable(GL_POLYGON_OFFSET_FILL);
  glPolygonOffset(0, 1);
  glColor3f(1, 0, 0);
  fill();
  ASSERT_EQ(Lit().size(), plain.size());
  for (const auto& [p, d] : plain) EXPECT_EQ(Depth(p.first, p.second), d - 100);

  // A line 50 depth units behind the unshifted fill still shows.
  const float z = float(32767 - 50) / 65535 * 2 - 1;
  glColor3f(0, 1, 0);
  Draw(GL_LINES, {{-1, 0, z}, {1, 0, z}});
  EXPECT_EQ(Pixel(16, 16), (Rgb{0, 255, 0}));
}

TEST_F(Sogl, BitmapsUseWholeBytesPerRowAndMoveTheRasterPosition) {
  Start(32, 32);
  glColor3f(1, 1, 1);
  glRasterPos2f(-0.75f, -0.75f);  // pixel (4, 4)
  EXPECT_EQ(soglRasterPos[0], 4);
  EXPECT_EQ(soglRasterPos[1], 4);
  // Width 9: two bytes per row, the bits past column 8 are ignored.
  const GLubyte bits[4] = {0xff, 0xff, 0xaa, 0x00};
  glBitmap(9, 2, 1, 0, 10, 2, bits);
  PixelSet expected = Rect(3, 11, 4, 4);
  for (int c = 0; c < 8; c += 2) expected.insert({3 + c, 5});
  EXPECT_EQ(Lit(), expected);
  EXPECT_EQ(soglRasterPos[0], 14);
  EXPECT_EQ(soglRasterPos[1], 6);
  // A bitmap hanging over the edge draws its visible part; no bitmap only moves.
  glBitmap(9, 2, 0, 0, 100, 0, nullptr);
  EXPECT_EQ(soglRasterPos[0], 114);
  const GLubyte one[1] = {0x80};
  glBitmap(1, 1, 0, 0, 0, 0, one);
  EXPECT_EQ(Lit(), expected);
  glRasterPos2f(0.9f, 0.9f);  // pixel (30, 30)
  glBitmap(9, 2, 0, 0, 0, 0, bits);
  EXPECT_TRUE(Lit().count({31, 30}));
  EXPECT_TRUE(Lit().count({31, 31}) == 0);  // bits 0xaa: column 1 of row 1 is clear
}

TEST_F(Sogl, LightingScalesColourByTheDiffuseFactor) {
  struct Case { float normal[3]; int byte; };
  const Case cases[] = {
      {{0, 0, 1}, 255},      // facing the light: unchanged
      {{1, 0, 0}, 51},       // edge on: ambient 0.2 only
      {{0, 0, -1}, 255},     // points: the side does not matter
      {{0, 0.6f, 0.8f}, 255},  // 0.8 + 0.2
      {{0, 0.8f, 0.6f}, 204},  // 0.6 + 0.2
  };
  for (const Case& c : cases) {
    Start(8, 8);
    glEnable(GL_LIGHTING);
    const float light[4] = {0, 0, 1, 0};
    glLightfv(GL_LIGHT0, GL_POSITION, light);
    glNormal3f(c.normal[0], c.normal[1], c.normal[2]);
    glColor3f(1, 1, 1);
    Draw(GL_POINTS, {{0, 0}});
    EXPECT_EQ(Pixel(3, 3).r, c.byte) << c.normal[0] << " " << c.normal[1] << " " << c.normal[2];
  }
}

TEST_F(Sogl, OneSidedFillLightsOnlyTheFilledSide) {
  Start(16, 16);
  glEnable(GL_LIGHTING);
  glPolygonMode(GL_BACK, GL_LINE);  // front filled, back outlined
  glNormal3f(0, 0, -1);             // facing away from the light
  glColor3f(1, 1, 1);
  Draw(GL_TRIANGLES, {{-0.9f, 0.9f}, {0.9f, 0.9f}, {-0.9f, -0.9f}});
  for (const auto& p : Lit()) EXPECT_EQ(Pixel(p.first, p.second).r, 51);
  EXPECT_GT(LitCount(), 0);
}

}  // namespace
