// The colour bar: its ramp, colour tables and texture, what it reads out of its header, its
// steps, the ranges it remembers per unit and its layout.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "AK_ColorRamp.h"
#include "AK_Colorbar.h"
#include "AK_ColorbarScale.h"
#include "AK_ConformanceTest.h"
#include "AK_Framework.h"
#include "GlRecorder.h"
#include "TestSupport.h"

namespace {

void ExpectColor(const float rgb[3], float r, float g, float b)
{
  EXPECT_NEAR(rgb[0], r, 1e-6);
  EXPECT_NEAR(rgb[1], g, 1e-6);
  EXPECT_NEAR(rgb[2], b, 1e-6);
}

TEST(ColorRamp, ColoursGreysAndFading)
{
  EXPECT_EQ(ColorRampChannel(0.25f), 1.0f);
  EXPECT_EQ(ColorRampChannel(1.0f), 0.0f);
  EXPECT_EQ(ColorRampChannel(0.875f), 0.5f);
  struct Row { float t; int grey; float fade; float background; float r, g, b; };
  const Row rows[] = {
      {-0.3f, 0, 0, 0, 0, 0, 1},  {0, 0, 0, 0, 0, 0, 1},   {0.25f, 0, 0, 0, 0, 1, 1},
      {0.5f, 0, 0, 0, 0, 1, 0},   {0.75f, 0, 0, 0, 1, 1, 0}, {1, 0, 0, 0, 1, 0, 0},
      {1.7f, 0, 0, 0, 1, 0, 0},   {0, 1, 0, 0, 0.95f, 0.95f, 0.95f}, {1, 1, 0, 0, 0, 0, 0},
      // Fading into black: black at 0, half the ramp colour halfway, unchanged from 0.05.
      {0, 0, 0.05f, 0, 0, 0, 0},  {0.025f, 0, 0.05f, 0, 0, 0.05f, 0.5f},
      {0.05f, 0, 0.05f, 0, 0, 0.2f, 1}, {0.6f, 0, 0.05f, 0, 0.4f, 1, 0},
      // Into white, in grey.
      {0, 1, 0.05f, 1, 1, 1, 1},  {0.025f, 1, 0.05f, 1, 0.963125f, 0.963125f, 0.963125f},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << "t " << row.t << " grey " << row.grey << " fade " << row.fade);
    AK_RampSettings s;
    s.greyscale = row.grey;
    s.fadingRange = row.fade;
    for (float& c : s.background) c = row.background;
    float rgb[3];
    AK_RampColor(row.t, s, rgb);
    ExpectColor(rgb, row.r, row.g, row.b);
  }
  // Every channel of every value lies in [0, 1], NaN included.
  AK_RampSettings fading;
  fading.fadingRange = 0.3f;
  for (float t : {-1e30f, -0.01f, 0.1f, 0.33f, 0.9f, 2.0f, NAN, INFINITY})
    for (const AK_RampSettings& s : {AK_RampSettings{}, fading}) {
      float rgb[3];
      AK_RampColor(t, s, rgb);
      for (float c : rgb) EXPECT_TRUE(c >= 0 && c <= 1) << t;
    }
}

TEST(ColorRamp, TextureWidthsAndTexels)
{
  const int32_t widths[][2] = {{1, 2}, {2, 2}, {3, 4}, {10, 16}, {16, 16}, {17, 32},
                               {0, 2},  {-5, 2}, {1 << 30, AK_MaxTextureSegments}};
  for (const auto& w : widths) EXPECT_EQ(AK_TextureWidth(w[0]), w[1]) << w[0];

  // A table of four colours over ten segments repeats; texels past the segments repeat the last.
  AK_Array<float> table;
  for (float v : {0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f})
    table.Append(v);
  unsigned char px[16 * 4];
  AK_FillColorTexels(10, 16, true, table, AK_RampSettings{}, 0.5f, px);
  for (int i = 0; i < 16; ++i) {
    int k = (i < 10 ? i : 9) % 4;
    const unsigned char want[4] = {static_cast<unsigned char>(k == 1 ? 255 : 0),
                                   static_cast<unsigned char>(k == 2 ? 255 : 0),
                                   static_cast<unsigned char>(k == 3 ? 255 : 0), 127};
    for (int c = 0; c < 4; ++c) EXPECT_EQ(px[4 * i + c], want[c]) << "texel " << i;
  }
  // One segment of the ramp is its bottom colour; with fading, texel 0 is transparent.
  AK_RampSettings fade;
  fade.fadingRange = 0.05f;
  AK_FillColorTexels(1, 2, false, table, fade, 1.0f, px);
  const unsigned char one[8] = {0, 0, 0, 0, 0, 0, 0, 255};
  for (int c = 0; c < 8; ++c) EXPECT_EQ(px[c], one[c]) << c;
  // An alpha outside [0, 1] (an opacity typed by hand) is clamped.
  AK_FillColorTexels(2, 2, false, table, AK_RampSettings{}, 7.0f, px);
  EXPECT_EQ(px[3], 255);
  EXPECT_EQ(px[6], 0);  // top of the ramp: red
  EXPECT_EQ(px[4], 255);
  // The digest follows each input and stays defined for absurd settings.
  int32_t base = AK_TextureSignature(0, 1, 0, 10, "none");
  EXPECT_EQ(base, 31000 + 'n' + 'o' + 'n' + 'e');
  EXPECT_NE(AK_TextureSignature(0, 1, 1, 10, "none"), base);
  EXPECT_NE(AK_TextureSignature(0, 1, 0, 10, "nonf"), base);
  AK_TextureSignature(1e30f, NAN, 0, 10, "none");
}

TEST(ColorRamp, ColorTableFile)
{
  ScratchDir dir;
  std::string longComment = "# " + std::string(300, '-') + " 0.1 0.2 0.3";
  std::string path = dir.Write("t.rgb", "red green blue\n\n0 0 1\r\nabc 1 2 3\n1.5 -2 0.5\n1 2\n" +
                                            longComment + "\n  0.25\t0.5 0.75 trailing\nnan 1 1\n");
  AK_File file(path.c_str(), "r");
  AK_Array<float> table;
  ASSERT_EQ(AK_ReadColorTable(file, table), 4);
  const float want[] = {0, 0, 1, 1, 0, 0.5f, 0.25f, 0.5f, 0.75f, 0, 1, 1};
  ASSERT_EQ(table.Count(), 12);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(table[i], want[i]) << i;
  float rgb[3];
  AK_TableColor(table, 5, rgb);  // colour 5 mod 4
  ExpectColor(rgb, 1, 0, 0.5f);
  AK_TableColor(AK_Array<float>(), 3, rgb);
  ExpectColor(rgb, 0.5f, 0.5f, 0.5f);
}

TEST(ColorbarScale, HeaderUnitAndLabel)
{
  struct Row { const char* header; const char* key; const char* label; };
  const Row rows[] = {
      {"Flow depth [m]", "m", "depth"},       {"gradient [m/m]", "m/m", ""},
      {"Sim:FlowDepth max", "FlowDepth", "Sim"}, {"a:b:vec.x", "b", "a"},
      {"plain", "", ""},                      {"max FlowDepth [m]", "m", "FlowDepth"},
      {"Sim:FlowDepth:max", "max", "FlowDepth"}, {"FlowDepth [m]", "m", ""},
      {"x [unclosed", "", ""},                {":vec.y", "", ""},
      {"", "", ""},
  };
  for (const Row& row : rows) {
    EXPECT_STREQ(AK_HeaderUnitKey(row.header).c_str(), row.key) << row.header;
    EXPECT_STREQ(AK_HeaderLabel(row.header).c_str(), row.label) << row.header;
  }
}

TEST(ColorbarScale, StepsAndLabelNumbers)
{
  AK_Array<double> steps;
  EXPECT_EQ(AK_BuildStepList("0.5 abc 2 0.1", 0, 1, steps), 3);
  ASSERT_EQ(steps.Count(), 4);
  const double want[] = {0, 0.5, 0.1, 1};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(steps[i], want[i]);
  EXPECT_EQ(AK_BuildStepList("0  1 nan 0.5 0.5", 0, 1, steps), 3);  // bounds dropped, doubles kept
  EXPECT_EQ(AK_BuildStepList("", 0, 1, steps), 1);

  EXPECT_STREQ(AK_FormatLabelNumber(12345, 3).c_str(), "1.23e+04");
  EXPECT_STREQ(AK_FormatLabelNumber(0.1, 40).c_str(), "0.1000000000000000055511151231257827021182");
  EXPECT_STREQ(AK_FormatLabelNumber(2.5, -7).c_str(), "2");
  EXPECT_STREQ(AK_FormatLabelNumber(1.0 / 3, 1 << 30).c_str(), AK_FormatLabelNumber(1.0 / 3, 99).c_str());
}

const char* Remembered(const char* key)
{
  const char* value = AK_FindKeyValue(AK_Colorbar::ClassRecord().classValues, key);
  return value ? value : "(none)";
}

TEST(Colorbar, Conformance) { AK_RunConformanceTest("AK_Colorbar"); }

TEST(Colorbar, RangesAndStepsRememberedPerUnit)
{
  AK_Colorbar first("first", nullptr), second("second", nullptr);
  first.HeaderLabel()->Text = "Flow depth [m]";
  second.HeaderLabel()->Text = "max depth [m]";
  first.Set("Min", "3");  // Autoscale on: nothing remembered
  EXPECT_STREQ(Remembered("scaling.m"), "(none)");
  first.Set("Autoscale", "0");
  first.Set("Min", "0");
  first.Set("Max", "2.5");
  EXPECT_STREQ(Remembered("scaling.m"), "0 2.5");
  first.Set("ArbitrarySteps", "1");
  first.Set("StepValues", "0.5 1");
  EXPECT_STREQ(Remembered("steps.m"), "0.5 1");

  // The second bar of the unit takes both at its next drawing; its steps switch is newer
  // than its own step values.
  second.Set("Autoscale", "0");
  second.Set("ArbitrarySteps", "1");
  second.Update();
  EXPECT_STREQ(second.Get("Min").c_str(), "0");
  EXPECT_STREQ(second.Get("Max").c_str(), "2.5");
  EXPECT_STREQ(second.Get("StepValues").c_str(), "0.5 1");
  EXPECT_EQ(second.BuildSteps(), 3);
  EXPECT_EQ(second.StepValue(2), 1.0);
  // A bar without a unit remembers nothing; a broken remembered range changes nothing.
  AK_Colorbar plain("plain", nullptr);
  plain.Set("Autoscale", "0");
  plain.Set("Max", "7");
  AK_SetKeyValue(AK_Colorbar::ClassRecord().classValues, "scaling.s", "abc 4");
  plain.HeaderLabel()->Text = "time [s]";
  plain.Update();
  EXPECT_STREQ(plain.Get("Max").c_str(), "7");
  EXPECT_STREQ(plain.Get("Unit").c_str(), "s");
  EXPECT_STREQ(plain.Get("AttributeShort").c_str(), "");
  EXPECT_STREQ(second.Get("AttributeShort").c_str(), "depth");
}

TEST(Colorbar, LayoutAndLabels)
{
  struct Row { const char* h; const char* v; const char* bar; const char* header;
               const char* min; const char* max; const char* aligns; };
  const Row rows[] = {
      {"right", "bottom", "0.956 0.072", "0.976 0.048", "0.976 0.072", "0.976 0.3768",
       "right top right top right bottom"},
      {"left", "top", "0.024 0.628", "0.024 0.9568", "0.024 0.628", "0.024 0.9328",
       "left bottom left top left bottom"},
      {"center", "bottom", "0.35 0.024", "0.5 0.0512", "0.3452 0.034", "0.6548 0.034",
       "center bottom right center left center"},
      {"x", "x", "0.35 0.932", "0.5 0.9592", "0.3452 0.942", "0.6548 0.942",
       "center bottom right center left center"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << row.h << " " << row.v);
    AK_Colorbar bar("bar", nullptr);
    bar.Set("HorizontalAlignment", row.h);
    bar.Set("VerticalAlignment", row.v);
    bar.Set("Position", "0.3 0.3");
    bar.Update();
    auto position = [](AK_Object* o) { return AK_String::Format("%.5g %.5g", double{static_cast<AK_VisObj2d*>(o)->Position[0]}, double{static_cast<AK_VisObj2d*>(o)->Position[1]}); };
    EXPECT_STREQ(position(&bar).c_str(), row.bar);
    EXPECT_STREQ(position(bar.HeaderLabel()).c_str(), row.header);
    EXPECT_STREQ(position(bar.MinLabel()).c_str(), row.min);
    EXPECT_STREQ(position(bar.MaxLabel()).c_str(), row.max);
    std::string aligns;
    for (AK_Text2d* l : {bar.HeaderLabel(), bar.MinLabel(), bar.MaxLabel()})
      aligns += std::string(aligns.empty() ? "" : " ") + l->HorizontalAlignment.c_str() + " " +
                l->VerticalAlignment.c_str();
    EXPECT_EQ(aligns, row.aligns);
  }

  // Degenerate ranges widen upwards; label numbers; the prefix of a fixed maximum.
  struct Range { const char* min; const char* max; const char* digits; const char* maxAfter;
                 const char* maxLabel; };
  const Range ranges[] = {{"0", "0", "5", "1e-30", "1e-30"},
                          {"5", "5", "5", "5.000005", "5"},
                          {"-5", "-5", "5", "-4.999995", "-5"},
                          {"0", "12345", "3", "12345", "1.23e+04"},
                          {"0", "1", "-2", "1", "1"}};
  for (const Range& r : ranges) {
    AK_Colorbar bar("bar", nullptr);
    bar.Set("Min", r.min);
    bar.Set("Max", r.max);
    bar.Set("NumSignificantDigits", r.digits);
    bar.Set("Segments", "-3");
    bar.Update();
    EXPECT_STREQ(bar.Get("Max").c_str(), r.maxAfter);
    EXPECT_STREQ(bar.MaxLabel()->Text.c_str(), r.maxLabel);
    EXPECT_STREQ(bar.Get("Segments").c_str(), "2");
  }
  AK_Object root("root", nullptr);
  AK_Colorbar* bar = new AK_Colorbar("bar", &root);
  root.AddComponent(bar);
  root.SetVariable("$cb_max_prefix", ">");
  bar->Update();
  EXPECT_STREQ(bar->MaxLabel()->Text.c_str(), "1");
  bar->Set("Autoscale", "0");
  bar->Update();
  EXPECT_STREQ(bar->MaxLabel()->Text.c_str(), ">1");
}

TEST(Colorbar, BarSegmentsAndLabelsBetween)
{
  AK_Colorbar bar("bar", nullptr);
  bar.Set("ArbitrarySteps", "1");
  bar.Set("StepValues", "0.5");
  bar.Set("DisplayLabels", "0");
  GlRecorder gl;
  bar.Update();
  EXPECT_EQ(gl.log(), "v 0 0.0075 v 0.02 0.0075 v 0.02 0.1425 v 0 0.1425 "
                      "v 0 0.1575 v 0.02 0.1575 v 0.02 0.2925 v 0 0.2925 ");
  // Twenty segments of 0.015 along the bar: a label between needs 1.2 font heights (0.0288)
  // of room, so every other boundary gets one, besides header, minimum and maximum.
  bar.Set("ArbitrarySteps", "0");
  bar.Set("Segments", "20");
  bar.Set("DisplayLabels", "1");
  bar.Set("DisplayInterLabels", "1");
  gl.log().clear();
  bar.Update();
  size_t labels = 0;
  for (size_t at = 0; (at = gl.log().find("r ", at)) != std::string::npos; ++at) ++labels;
  EXPECT_EQ(labels, 3u + 10u);
}

// With a texture, a value inside segment k lands inside texel k, whatever the steps.
TEST(Colorbar, TextureCoordinatesOfArbitrarySteps)
{
  static float coordinate;
  static GLsizei width;
  AK_GLFunctions saved = AK_GLFunctionTable;
  AK_GLFunctionTable.glGenTextures = [](GLsizei, GLuint* names) { names[0] = 7; };
  AK_GLFunctionTable.glTexCoord1f = [](GLfloat s) { coordinate = s; };
  AK_GLFunctionTable.glTexImage1D = [](GLenum, GLint, GLint, GLsizei w, GLint, GLenum, GLenum,
                                       const void*) { width = w; };
  AK_Colorbar bar("bar", nullptr);
  bar.Set("DiscreteColors", "1");
  bar.Set("ArbitrarySteps", "1");
  bar.Set("Max", "10");
  for (const char* steps : {"2 5 9", "0.1 0.2 0.3 0.4 0.5 0.6 7", "5 5 8"}) {
    bar.Set("StepValues", steps);
    bar.BeginColorTexture();
    const int n = bar.BuildSteps();
    for (double v = 0; v <= 10; v += 0.0173) {
      int k = 0;
      while (k < n - 1 && v > bar.StepValue(k + 1)) ++k;
      bar.SetValueColor(static_cast<float>(v), 1);
      const double texel = coordinate * width;
      ASSERT_FALSE(std::isnan(texel)) << steps << " " << v;
      EXPECT_GE(texel, k - 1e-4) << steps << " " << v;
      EXPECT_LE(texel, k + 1 + 1e-4) << steps << " " << v;
    }
    bar.EndColorTexture();
  }
  AK_GLFunctionTable = saved;
}

TEST(Colorbar, ColorTables)
{
  ScratchDir dir;
  AK_String savedUser = UserAttributesDirectory;
  UserAttributesDirectory = (dir.Path() + "/").c_str();
  dir.Write("four.rgb", "# four colours\n0 0 0\n1 0 0\njunk\n0 1 0\n0 0 2\n");
  dir.Write("junk.rgb", "red green blue\n1 2\n");
  MessageCapture messages;
  AK_Colorbar bar("bar", nullptr);
  bar.Set("ColorTable", "missing");
  EXPECT_TRUE(messages.HasPrefix("W: cannot open color table file ")) << messages.messages.size();
  bar.Set("ColorTable", "junk");
  EXPECT_TRUE(messages.HasPrefix("W: no rgb-colors could be read from "));
  EXPECT_STREQ(bar.Get("ColorTable").c_str(), "none");
  EXPECT_STREQ(bar.Get("GreyscaleVis").c_str(), "w");
  std::string options = bar.Get("ColorTableOptions").c_str();
  EXPECT_EQ(options.rfind("none%AK_SEP%", 0), 0u);
  EXPECT_NE(options.find("%AK_SEP%four%AK_SEP%"), std::string::npos);
  bar.Set("ColorTable", "four");
  EXPECT_STREQ(bar.Get("GreyscaleVis").c_str(), "-");
  bar.Update();
  EXPECT_STREQ(bar.Get("Segments").c_str(), "4");
  float r, g, b;
  ColorTableColor(7, r, g, b);
  EXPECT_EQ(b, 1.0f);
  bar.Set("ColorTable", "none");
  EXPECT_EQ(AK_Colorbar::ColorTableEntries.Count(), 0);
  UserAttributesDirectory = savedUser;
}

}  // namespace
