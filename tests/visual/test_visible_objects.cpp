// Visible objects: the class tables, the defaults, the render state of the drawing pass and
// the placement on the screen.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "AK_ConformanceTest.h"
#include "AK_Framework.h"
#include "AK_VisObj2d.h"
#include "TestSupport.h"
#include "VisibleTestSupport.h"

namespace {
std::string Get(AK_Object& o, const char* name) { return o.Get(name).c_str(); }
}  // namespace

TEST(VisibleObjects, Conformance)
{
  for (const char* name : {"AK_VisibleObject", "AK_VisObj2d", "AK_VisObj3d"}) AK_RunConformanceTest(name);
}

TEST(VisibleObjects, DefaultsAndWhatTheDrawingPassSets)
{
  AK_VisibleObject o("o", nullptr);
  std::string defaults;
  for (const char* name : {"Visibility", "Color", "PointSize", "Opacity", "TextureParametersS", "TexturePosX1",
                           "TextureMaxSize", "JpgQuality", "PolygonOffsetFactors", "BoundingBox", "VisColor", "VisOpacity"})
    defaults += Get(o, name) + "|";
  EXPECT_EQ(defaults, "1|0.5 0.5 0.5|1|0.5|1 0 0 0|0 1|8192|25|1 1||w|-|");

  GLLog gl;
  o.Update();
  EXPECT_EQ(gl.log,
            "glDepthMask 1\nglDisable 3042\nglColor4f 0.5 0.5 0.5 1\nglDisable 2832\n"
            "glDisable 2848\nglPointSize 1\nglLineWidth 1\nglPolygonMode 1032 6913\n"
            "glDisable 32823\nglDisable 10754\nglDisable 2896\nglDisable 3553\n");

  // Automatic colour on the black background is white; blending draws with the opacity and
  // without depth writes.
  SetAll(o, {{"AutoColored", "1"}, {"Blending", "1"}, {"Opacity", "0.25"}, {"AntialiasLines", "1"},
             {"PolygonsFilled", "1"}, {"PolygonOffsetFill", "1"}, {"PolygonOffsetFactors", "2 3"}, {"Shaded", "1"}});
  EXPECT_EQ(Get(o, "VisColor") + Get(o, "VisOpacity"), "-w");
  gl.log.clear();
  o.Update();
  EXPECT_EQ(gl.log,
            "glDepthMask 0\nglEnable 3042\nglBlendFunc 770 771\nglColor4f 1 1 1 0.25\n"
            "glDisable 2832\nglEnable 2848\nglPointSize 1\nglLineWidth 1\n"
            "glPolygonMode 1032 6914\nglEnable 32823\nglPolygonOffset 2 3\nglDisable 10754\n"
            "glEnable 2896\nglDisable 3553\n");

  // An invisible object draws nothing, and neither do its components.
  auto* child = new AK_VisibleObject("child", &o);
  o.AddComponent(child);
  o.Set("Visibility", "0");
  gl.log.clear();
  o.Update();
  EXPECT_EQ(gl.log, "");

  // Contrast colours are corners of the colour cube.
  const float c[3] = {0.5f, 0.6f, 0.2f};
  SetContrastColor(c);
  EXPECT_EQ(gl.log, "glColor3f 1 0 1\n");
}

// Too few numbers warn from the line of their reader: four floats, three floats, two doubles.
TEST(VisibleObjects, ShortNumberListsWarnFromTheirReadersLine)
{
  AK_VisibleObject o("o", nullptr);
  const char* const rows[][3] = {{"TextureParametersS", "7 8 9", "AK_Basic.h:855"},
                                 {"Color", "1 0", "AK_Basic.h:852"},
                                 {"TexturePosX0", "5", "AK_Basic.h:858"}};
  for (const auto& row : rows) {
    MessageCapture messages;
    o.Set(row[0], row[1]);
    EXPECT_EQ(messages.locations, std::vector<std::string>{row[2]}) << row[0];
  }
}

TEST(VisibleObjects, ScreenPositionWrapsIntoTheDrawingArea)
{
  struct Row { float in, out; };
  for (Row r : std::initializer_list<Row>{{-0.25f, 0.75f}, {-2, 0}, {-1.5f, 0.5f}, {0.25f, 0.25f},
                                          {3, 3}, {-1e30f, 0}, {-1e-10f, 1}})
    EXPECT_EQ(AK_VisObj2d::WrapPosition(r.in), r.out) << r.in;

  // Only a drawing pass wraps; a number that is not finite is refused, a single number is
  // the x with a warning.
  AK_VisObj2d o("o", nullptr);
  SetAll(o, {{"Position", "-0.25 -2"}, {"Visibility", "0"}});
  o.Update();
  EXPECT_EQ(Get(o, "Position"), "-0.25 -2");
  o.Set("Visibility", "1");
  o.Update();
  for (const char* bad : {"nan 0", "0 inf", "1e999 1"}) o.Set("Position", bad);
  EXPECT_EQ(Get(o, "Position"), "0.75 0");
  o.Set("Position", "0.5");
  EXPECT_EQ(Get(o, "Position"), "0.5 0");
}
