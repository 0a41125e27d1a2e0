#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <random>

#include "AK_GLHelpers.h"
#include "AK_sogl.h"
#include "VisualTestSupport.h"

namespace {

using Matrices = VisualTest;

void Top(GLenum which, float m[16]) { soglGetFloatv(which, m); }

void ExpectMatrix(const float* got, const float* expected, float tolerance = 0) {
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(got[i], expected[i], tolerance) << "element " << i;
}

const float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

TEST_F(Matrices, StacksHoldZerosUntilFirstTouched) {
  float m[16];
  for (float& v : m) v = 5;
  Top(GL_MODELVIEW_MATRIX, m);
  const float zeros[16] = {};
  ExpectMatrix(m, zeros);
  for (float& v : m) v = 5;
  soglGetFloatv(GL_LIGHTING, m);  // not a matrix name: nothing written
  EXPECT_EQ(m[0], 5);
}

TEST_F(Matrices, ResizeSetsBothTopsToIdentityAndSelectsModelview) {
  soglMatrixMode(GL_PROJECTION);
  ASSERT_EQ(soglResize(4, 4), 0);
  EXPECT_EQ(soglMatMode, 1);
  float m[16];
  Top(GL_PROJECTION_MATRIX, m);
  ExpectMatrix(m, kIdentity);
  Top(GL_MODELVIEW_MATRIX, m);
  ExpectMatrix(m, kIdentity);
}

TEST_F(Matrices, OrthoOfTheUnitSquare) {
  soglLoadIdentity();
  soglOrtho(0, 1, 0, 1, -1, 1);
  float m[16];
  Top(GL_MODELVIEW_MATRIX, m);
  const float expected[16] = {2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1, 0, -1, -1, 0, 1};
  ExpectMatrix(m, expected);
}

TEST_F(Matrices, OrthoMapsItsBoxOntoTheUnitCube) {
  soglLoadIdentity();
  soglOrtho(-3, 5, 10, 20, 2, 6);
  float m[16];
  Top(GL_MODELVIEW_MATRIX, m);
  const double corners[2][3] = {{-3, 10, 2}, {5, 20, 6}};
  for (int k = 0; k < 2; ++k) {
    for (int r = 0; r < 3; ++r) {
      double v = m[12 + r];
      for (int c = 0; c < 3; ++c) v += m[4 * c + r] * corners[k][c];
      EXPECT_NEAR(v, k == 0 ? -1.0 : 1.0, 1e-6);  // larger z stays larger
    }
  }
}

TEST_F(Matrices, RotationTurnsXOntoYAboutANormalisedAxis) {
  soglLoadIdentity();
  soglRotatef(90, 0, 0, 2);
  float m[16];
  Top(GL_MODELVIEW_MATRIX, m);
  const float expected[16] = {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  ExpectMatrix(m, expected, 1e-6f);
}

TEST_F(Matrices, RotationAboutADegenerateAxisChangesNothing) {
  soglLoadIdentity();
  soglTranslatef(1, 2, 3);
  float before[16], after[16];
  Top(GL_MODELVIEW_MATRIX, before);
  soglRotatef(45, 0, 0, 0);
  soglRotatef(45, 1e-7f, 0, 0);
  soglRotatef(45, NAN, 0, 1);
  Top(GL_MODELVIEW_MATRIX, after);
  ExpectMatrix(after, before);
}

TEST_F(Matrices, ProductsComposeInCallOrder) {
  // Translate then scale: a point is scaled first, then moved.
  soglLoadIdentity();
  soglTranslatef(1, 2, 3);
  soglScalef(2, 4, 8);
  float m[16];
  Top(GL_MODELVIEW_MATRIX, m);
  const float expected[16] = {2, 0, 0, 0, 0, 4, 0, 0, 0, 0, 8, 0, 1, 2, 3, 1};
  ExpectMatrix(m, expected);
}

TEST_F(Matrices, RandomRotationsAreUndoneByTheirInverse) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> u(-1, 1);
  for (int trial = 0; trial < 50; ++trial) {
    const float a = 360 * u(rng), x = u(rng), y = u(rng), z = u(rng);
    if (std::sqrt(x * x + y * y + z * z) < 0.1f) continue;
    soglLoadIdentity();
    soglRotatef(a, x, y, z);
    float m[16];
    Top(GL_MODELVIEW_MATRIX, m);
    // Orthonormal columns, the axis kept fixed.
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) {
        double d = 0;
        for (int k = 0; k < 3; ++k) d += m[4 * i + k] * m[4 * j + k];
        EXPECT_NEAR(d, i == j ? 1.0 : 0.0, 1e-5);
      }
    for (int r = 0; r < 3; ++r) {
      const double axis[3] = {x, y, z};
      double v = 0;
      for (int c = 0; c < 3; ++c) v += m[4 * c + r] * axis[c];
      EXPECT_NEAR(v, axis[r], 1e-5);
    }
    soglRotatef(-a, x, y, z);
    Top(GL_MODELVIEW_MATRIX, m);
    ExpectMatrix(m, kIdentity, 1e-5f);
  }
}

TEST_F(Matrices, MirrorThroughTheTableAndDirectlyAgree) {
  soglInstall();
  soglLoadIdentity();
  MultMirrorMatrix(0, 0, 1);
  float m[16];
  Top(GL_MODELVIEW_MATRIX, m);
  const float flipZ[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 1};
  ExpectMatrix(m, flipZ);
  soglLoadIdentity();
  soglMirror(1, 2, 2);
  soglMirror(1, 2, 2);
  Top(GL_MODELVIEW_MATRIX, m);
  ExpectMatrix(m, kIdentity, 1e-6f);
}

TEST_F(Matrices, PushCopiesThePopRestoresAndLeavesIdentityBehind) {
  soglMatrixMode(GL_MODELVIEW);
  soglLoadIdentity();
  soglTranslatef(1, 2, 3);
  float outer[16], m[16];
  Top(GL_MODELVIEW_MATRIX, outer);
  soglPushMatrix();
  Top(GL_MODELVIEW_MATRIX, m);
  ExpectMatrix(m, outer);
  soglScalef(5, 5, 5);
  soglPopMatrix();
  Top(GL_MODELVIEW_MATRIX, m);
  ExpectMatrix(m, outer);
  // The slot the pop left is identity, not the scaled matrix.
  EXPECT_EQ(soglMatStack[1][1][0], 1.0);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(soglMatStack[1][1][i], kIdentity[i]);
  // The projection stack is separate.
  soglMatrixMode(GL_PROJECTION);
  soglLoadIdentity();
  soglPushMatrix();
  EXPECT_EQ(soglMatIndex[0], 1);
  EXPECT_EQ(soglMatIndex[1], 0);
  soglPopMatrix();
}

TEST_F(Matrices, ThirtyOnePushesFitOnAStack) {
  soglLoadIdentity();
  for (int i = 0; i < 31; ++i) soglPushMatrix();
  EXPECT_EQ(soglMatIndex[1], 31);
  for (int i = 0; i < 31; ++i) soglPopMatrix();
  EXPECT_EQ(soglMatIndex[1], 0);
}

// The renderer reports broken invariants on standard output; the death test
// reads standard error, so the dying process sends the one to the other.
void ToStderr() {
  std::fflush(stdout);
  ::dup2(STDERR_FILENO, STDOUT_FILENO);
}

using MatricesDeathTest = Matrices;

TEST_F(MatricesDeathTest, TheThirtySecondPushEndsTheProcess) {
  EXPECT_EXIT(
      {
        ToStderr();
        for (int i = 0; i < 32; ++i) soglPushMatrix();
      },
      ::testing::ExitedWithCode(1),
      "^AK_sogl\\.cpp:623: soglMatIndex\\[soglMatMode\\] < soglMatStackSize failed!");
}

TEST_F(MatricesDeathTest, APopOnAFreshStackEndsTheProcess) {
  EXPECT_EXIT(
      {
        ToStderr();
        soglPopMatrix();
      },
      ::testing::ExitedWithCode(1), "^AK_sogl\\.cpp:630: soglMatIndex\\[soglMatMode\\] >= 0 failed!");
}

TEST_F(MatricesDeathTest, AnUnknownMatrixModeEndsTheProcess) {
  EXPECT_EXIT(
      {
        ToStderr();
        soglMatrixMode(GL_TEXTURE_2D);
      },
      ::testing::ExitedWithCode(1), "^AK_sogl\\.cpp:615: !\"invalid matrix mode!\" failed!");
}

TEST_F(Matrices, NormalsAreTransformedNormalisedAndFlippedForClockwiseFaces) {
  soglLoadIdentity();
  soglScalef(3, 3, 3);
  soglNormal3f(0, 0, 2);
  EXPECT_FLOAT_EQ(soglCurNormal[2], 1.0f);
  soglFrontFace(GL_CW);
  soglNormal3f(0, 2, 0);
  EXPECT_FLOAT_EQ(soglCurNormal[1], -1.0f);
  soglFrontFace(GL_CCW);
  soglNormal3f(0, 0, 0);  // a zero normal stays zero
  EXPECT_EQ(soglCurNormal[0], 0.0f);
  EXPECT_EQ(soglCurNormal[1], 0.0f);
  EXPECT_EQ(soglCurNormal[2], 0.0f);
}

TEST_F(Matrices, LightPositionIsTakenInEyeSpace) {
  soglLoadIdentity();
  soglTranslatef(1, 2, 3);
  const float pos[4] = {1, 1, 1, 1};
  soglLightfv(GL_LIGHT0, GL_POSITION, pos);
  EXPECT_FLOAT_EQ(soglLightPos[0], 2);
  EXPECT_FLOAT_EQ(soglLightPos[1], 3);
  EXPECT_FLOAT_EQ(soglLightPos[2], 4);
  EXPECT_FLOAT_EQ(soglLightPos[3], 1);
}

}  // namespace
