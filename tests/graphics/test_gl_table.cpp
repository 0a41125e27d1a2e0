// The graphics operation table: what its defaults answer, which entries the renderer takes
// over, and the drawing helpers that go through it.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>
#include <vector>

#include "AK_GLFunctionTable.h"
#include "AK_GLHelpers.h"
#include "AK_sogl.h"
#include "AK_sogl_State.h"

namespace {

// The table is constant-initialised, so this copy sees the defaults.
const AK_GLFunctions kDefaults = AK_GLFunctionTable;

// Every test starts with the default table and the renderer's load-time state.
class GLTable : public ::testing::Test {
 protected:
  void SetUp() override {
    AK_GLFunctionTable = kDefaults;
    soglResetState();
  }
  void TearDown() override { SetUp(); }
};

TEST_F(GLTable, DefaultsDoNothingAndAnswerTheResultsCallersRelyOn) {
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

TEST_F(GLTable, InstallingTheRendererReplacesExactlyItsFortyEightEntries) {
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
struct Call {
  std::string op;
  std::vector<double> args;
};
std::vector<Call> gCalls;
GLfloat gLastMatrix[16];
const GLubyte* gLastBitmap = nullptr;

void Record(const char* op, std::vector<double> args = {}) { gCalls.push_back({op, std::move(args)}); }

class Recording : public GLTable {
 protected:
  void SetUp() override {
    GLTable::SetUp();
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
  struct Case {
    const char* text;
    int length;
  };
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

}  // namespace
