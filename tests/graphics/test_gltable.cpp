#include <cstring>
#include <set>

#include "AK_sogl.h"
#include "VisualTestSupport.h"

namespace {

using GLTable = VisualTest;

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

TEST_F(GLTable, EveryEntryOfTheDefaultTableCanBeCalled) {
  // A drawing pass through the defaults has no effect and must not crash.
  const float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  const GLubyte bits[2] = {0xff, 0xff};
  const GLuint ids[1] = {3};
  glClearColor(1, 1, 1, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  AK_GLFunctionTable.UnusedSlot2();
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glPopMatrix();
  glLoadIdentity();
  glMultMatrixf(m);
  glOrtho(0, 1, 0, 1, -1, 1);
  glTranslatef(1, 2, 3);
  glRotatef(90, 0, 0, 1);
  glScalef(2, 2, 2);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glLightfv(GL_LIGHT0, GL_POSITION, m);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glEnable(GL_BLEND);
  glDisable(GL_BLEND);
  glDepthMask(0);
  glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
  glLineWidth(2);
  glPointSize(2);
  glBegin(GL_TRIANGLES);
  glColor3f(1, 0, 0);
  glColor4f(1, 0, 0, 1);
  glNormal3f(0, 0, 1);
  glFrontFace(GL_CW);
  glVertex2f(0, 0);
  glVertex3f(0, 0, 0);
  glEnd();
  glRasterPos2f(0, 0);
  glRasterPos3f(0, 0, 0);
  glBitmap(9, 1, 0, 0, 9, 0, bits);
  glPushName(1);
  glPopName();
  glPolygonOffset(1, 1);
  glDeleteTextures(1, ids);
  glBindTexture(GL_TEXTURE_2D, 3);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
  glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_OBJECT_LINEAR);
  glTexGenfv(GL_S, GL_OBJECT_PLANE, m);
  glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  glTexCoord1f(0.5f);
  glTexImage1D(GL_TEXTURE_1D, 0, 3, 1, 0, GL_RGB, GL_UNSIGNED_BYTE, bits);
  glDeleteLists(1, 1);
  glNewList(1, GL_COMPILE_AND_EXECUTE);
  glCallList(1);
  glEndList();
  AK_GLFunctionTable.UnusedSlot53();
  SUCCEED();
}

TEST_F(GLTable, EntriesSitAtTheirPositions) {
  const AK_GLFunctions& t = AK_GLFunctionTable;
  EXPECT_EQ(AK_GLEntry(t, 23), reinterpret_cast<void (*)()>(t.glBegin));
  EXPECT_EQ(AK_GLEntry(t, 41), reinterpret_cast<void (*)()>(t.gluBuild2DMipmaps));
  EXPECT_EQ(AK_GLEntry(t, 47), reinterpret_cast<void (*)()>(t.gluErrorString));
  EXPECT_EQ(AK_GLEntry(t, 55), reinterpret_cast<void (*)()>(t.UnusedSlot55));
  EXPECT_EQ(AK_GLEntry(t, -1), nullptr);
  EXPECT_EQ(AK_GLEntry(t, 56), nullptr);
  for (int i = 0; i < AK_GLEntryCount; ++i) EXPECT_NE(AK_GLEntry(t, i), nullptr) << i;
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
    const bool changed = AK_GLEntry(AK_GLFunctionTable, i) != AK_GLEntry(DefaultGLTable(), i);
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

}  // namespace
