// The colour bar: its ramp, colour tables and texture, what it reads out of its header, its
// steps, the ranges it remembers per unit and its layout.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "AK_ColorRamp.h"
#include "AK_Colorbar.h"
#include "AK_ColorbarScale.h"
#include "AK_ConformanceTest.h"
#include "AK_Framework.h"
#include "GlRecorder.h"
#include "TestSupport.h"

namespace {

std::string Rgb(const float rgb[3])
{
  return AK_String::Format("%.6g %.6g %.6g", double{rgb[0]}, double{rgb[1]}, double{rgb[2]})
      .c_str();
}

TEST(ColorRamp, ColoursGreysAndFading)
{
  EXPECT_EQ(ColorRampChannel(0.25f), 1.0f);
  EXPECT_EQ(ColorRampChannel(1.0f), 0.0f);
  EXPECT_EQ(ColorRampChannel(0.875f), 0.5f);
  struct Row { float t; int grey; float fade, background; const char* rgb; };
  const Row rows[] = {
      {-0.3f, 0, 0, 0, "0 0 1"}, {0, 0, 0, 0, "0 0 1"}, {0.25f, 0, 0, 0, "0 1 1"},
      {0.5f, 0, 0, 0, "0 1 0"}, {0.75f, 0, 0, 0, "1 1 0"}, {1, 0, 0, 0, "1 0 0"},
      {1.7f, 0, 0, 0, "1 0 0"}, {0, 1, 0, 0, "0.95 0.95 0.95"}, {1, 1, 0, 0, "0 0 0"},
      // Into black: black at 0, half the ramp colour halfway, unchanged from 0.05 on.
      {0, 0, 0.05f, 0, "0 0 0"}, {0.025f, 0, 0.05f, 0, "0 0.05 0.5"},
      {0.05f, 0, 0.05f, 0, "0 0.2 1"}, {0.6f, 0, 0.05f, 0, "0.4 1 0"},
      {0, 1, 0.05f, 1, "1 1 1"}, {0.025f, 1, 0.05f, 1, "0.963125 0.963125 0.963125"},
      {NAN, 0, 0.3f, 0, "0 0 0"}, {INFINITY, 1, 0, 0, "0 0 0"}};
  for (const Row& row : rows) {
    AK_RampSettings s{row.grey, row.fade, {row.background, row.background, row.background}};
    float rgb[3];
    AK_RampColor(row.t, s, rgb);
    EXPECT_EQ(Rgb(rgb), row.rgb) << row.t << " grey " << row.grey << " fade " << row.fade;
  }
}

std::string Texels(const unsigned char* px, int width)
{
  std::string text;
  for (int i = 0; i < 4 * width; ++i) text += std::to_string(px[i]) + (i % 4 == 3 ? "|" : ",");
  return text;
}

TEST(ColorRamp, TextureWidthsAndTexels)
{
  const int32_t widths[][2] = {{1, 2},  {2, 2},  {3, 4},   {10, 16},
                               {16, 16}, {17, 32}, {-5, 2}, {1 << 30, AK_MaxTextureSegments}};
  for (const auto& w : widths) EXPECT_EQ(AK_TextureWidth(w[0]), w[1]) << w[0];
  // Four colours over ten segments repeat; the texels past the segments repeat the last.
  AK_Array<float> table;
  for (int i = 0; i < 12; ++i) table.Append(i % 4 == 3 ? 1.0f : 0.0f);
  unsigned char px[16 * 4];
  AK_FillColorTexels(10, 16, true, table, AK_RampSettings{}, 0.5f, px);
  std::string colour[4] = {"0,0,0,127|", "255,0,0,127|", "0,255,0,127|", "0,0,255,127|"}, want;
  for (int i = 0; i < 16; ++i) want += colour[(i < 10 ? i : 9) % 4];
  EXPECT_EQ(Texels(px, 16), want);
  // One segment is the bottom of the ramp; with fading texel 0 is transparent; an alpha
  // typed beyond 1 is clamped.
  AK_FillColorTexels(1, 2, false, table, AK_RampSettings{0, 0.05f, {}}, 7.0f, px);
  EXPECT_EQ(Texels(px, 2), "0,0,0,0|0,0,0,255|");
  EXPECT_EQ(AK_TextureSignature(0, 1, 0, 10, "none"), 31000 + 'n' + 'o' + 'n' + 'e');
  AK_TextureSignature(1e30f, NAN, 0, 10, "none");
}

TEST(ColorbarScale, HeaderUnitAndLabel)
{
  struct Row { const char* header; const char* key; const char* label; };
  const Row rows[] = {
      {"Flow depth [m]", "m", "depth"},          {"gradient [m/m]", "m/m", ""},
      {"Sim:FlowDepth max", "FlowDepth", "Sim"}, {"a:b:vec.x", "b", "a"},
      {"plain", "", ""},                         {"max FlowDepth [m]", "m", "FlowDepth"},
      {"Sim:FlowDepth:max", "max", "FlowDepth"}, {"FlowDepth [m]", "m", ""},
      {"x [unclosed", "", ""},                   {":vec.y", "", ""}};
  for (const Row& row : rows) {
    EXPECT_STREQ(AK_HeaderUnitKey(row.header).c_str(), row.key) << row.header;
    EXPECT_STREQ(AK_HeaderLabel(row.header).c_str(), row.label) << row.header;
  }
}

TEST(ColorbarScale, StepsAndLabelNumbers)
{
  AK_Array<double> steps;
  EXPECT_EQ(AK_BuildStepList("0.5 abc 2 0.1", 0, 1, steps), 3);
  EXPECT_STREQ(AK_String(steps.begin(), steps.Count()).c_str(), "0 0.5 0.1 1");
  EXPECT_EQ(AK_BuildStepList("0  1 nan 0.5 0.5", 0, 1, steps), 3);  // bounds dropped, doubles kept
  EXPECT_STREQ(AK_FormatLabelNumber(12345, 3).c_str(), "1.23e+04");
  EXPECT_STREQ(AK_FormatLabelNumber(0.1, 40).c_str(), "0.1000000000000000055511151231257827021182");
  EXPECT_STREQ(AK_FormatLabelNumber(2.5, -7).c_str(), "2");
  EXPECT_STREQ(AK_FormatLabelNumber(1.0 / 3, 1 << 30).c_str(),
               AK_FormatLabelNumber(1.0 / 3, 99).c_str());
}

const char* Remembered(const char* key)
{
  const char* value = AK_FindKeyValue(AK_Colorbar::ClassRecord().classValues, key);
  return value ? value : "(none)";
}

// The colour bars' class-wide settings as they were, put back when the test ends: a test
// that sets them ("Greyscale" through the conformance test) leaves the tests after it the
// colours they expect.
struct ClassWideColorbarSettings {
  int32_t greyscale = AK_Colorbar::Greyscale;
  float fading = AK_Colorbar::MinColorToBackgroundFadingRange;
  AK_String table = AK_Colorbar::ColorTable;
  AK_Array<float> entries = AK_Colorbar::ColorTableEntries;
  ~ClassWideColorbarSettings()
  {
    AK_Colorbar::Greyscale = greyscale;
    AK_Colorbar::MinColorToBackgroundFadingRange = fading;
    AK_Colorbar::ColorTable = table;
    AK_Colorbar::ColorTableEntries = entries;
  }
};

TEST(Colorbar, Conformance)
{
  ClassWideColorbarSettings restored;
  AK_RunConformanceTest("AK_Colorbar");
}

TEST(Colorbar, RangesAndStepsRememberedPerUnit)
{
  AK_Colorbar first("first", nullptr), second("second", nullptr);
  first.HeaderLabel()->Text = "Flow depth [m]";
  second.HeaderLabel()->Text = "max depth [m]";
  first.Set("Min", "3");  // Autoscale on: nothing remembered
  EXPECT_STREQ(Remembered("scaling.m"), "(none)");
  for (auto [name, value] : {std::pair{"Autoscale", "0"}, {"Min", "0"}, {"Max", "2.5"},
                             {"ArbitrarySteps", "1"}, {"StepValues", "0.5 1"}})
    first.Set(name, value);
  EXPECT_STREQ(Remembered("scaling.m"), "0 2.5");
  EXPECT_STREQ(Remembered("steps.m"), "0.5 1");
  // The second bar of the unit takes both at its next drawing, since its steps switch is
  // newer than its own step values.
  second.Set("Autoscale", "0");
  second.Set("ArbitrarySteps", "1");
  second.Update();
  EXPECT_STREQ((second.Get("Min") + " " + second.Get("Max")).c_str(), "0 2.5");
  EXPECT_STREQ(second.Get("StepValues").c_str(), "0.5 1");
  EXPECT_EQ(second.BuildSteps(), 3);
  EXPECT_STREQ(second.Get("AttributeShort").c_str(), "depth");
  // A broken remembered range changes nothing.
  AK_Colorbar plain("plain", nullptr);
  plain.Set("Autoscale", "0");
  plain.Set("Max", "7");
  AK_SetKeyValue(AK_Colorbar::ClassRecord().classValues, "scaling.s", "abc 4");
  plain.HeaderLabel()->Text = "time [s]";
  plain.Update();
  EXPECT_STREQ(plain.Get("Max").c_str(), "7");
}

std::string Placed(AK_VisObj2d* o)
{
  return AK_String::Format("%.5g %.5g", double{o->Position[0]}, double{o->Position[1]}).c_str();
}

TEST(Colorbar, LayoutAndLabels)
{
  // Bar, header, minimum and maximum positions; then the labels' alignments.
  struct Row { const char* h; const char* v; const char* layout; const char* aligns; };
  const Row rows[] = {
      {"right", "bottom", "0.956 0.072|0.976 0.048|0.976 0.072|0.976 0.3768|",
       "right top right top right bottom "},
      {"left", "top", "0.024 0.628|0.024 0.9568|0.024 0.628|0.024 0.9328|",
       "left bottom left top left bottom "},
      {"center", "bottom", "0.35 0.024|0.5 0.0512|0.3452 0.034|0.6548 0.034|",
       "center bottom right center left center "},
      {"x", "x", "0.35 0.932|0.5 0.9592|0.3452 0.942|0.6548 0.942|",
       "center bottom right center left center "}};
  for (const Row& row : rows) {
    AK_Colorbar bar("bar", nullptr);
    bar.Set("HorizontalAlignment", row.h);
    bar.Set("VerticalAlignment", row.v);
    bar.Set("Position", "0.3 0.3");
    bar.Update();
    std::string layout = Placed(&bar) + "|", aligns;
    for (AK_Text2d* l : {bar.HeaderLabel(), bar.MinLabel(), bar.MaxLabel()}) {
      layout += Placed(l) + "|";
      aligns += std::string(l->HorizontalAlignment) + " " + l->VerticalAlignment.c_str() + " ";
    }
    EXPECT_EQ(layout, row.layout) << row.h << " " << row.v;
    EXPECT_EQ(aligns, row.aligns) << row.h << " " << row.v;
  }
  // Degenerate ranges widen upwards; segments rise to 2; digits of the label numbers.
  struct Range { const char* min; const char* max; const char* digits; const char* after; };
  const Range ranges[] = {{"0", "0", "5", "1e-30 1e-30"},    {"5", "5", "5", "5.000005 5"},
                          {"-5", "-5", "5", "-4.999995 -5"}, {"0", "12345", "3", "12345 1.23e+04"},
                          {"0", "1", "-2", "1 1"}};
  for (const Range& r : ranges) {
    AK_Colorbar bar("bar", nullptr);
    for (auto [name, value] : {std::pair{"Min", r.min}, {"Max", r.max},
                               {"NumSignificantDigits", r.digits}, {"Segments", "-3"}})
      bar.Set(name, value);
    EXPECT_EQ(bar.StepValue(1), std::atof(r.min));  // no segments yet: never NaN
    bar.Update();
    EXPECT_STREQ((bar.Get("Max") + " " + bar.MaxLabel()->Text).c_str(), r.after) << r.min;
    EXPECT_STREQ(bar.Get("Segments").c_str(), "2");
  }
  // The drawing visits at most what a texture holds; the attribute keeps its number.
  AK_Colorbar many("many", nullptr);
  many.Set("Segments", "2000000000");
  many.Update();
  many.Draw();
  EXPECT_STREQ(many.Get("Segments").c_str(), "2000000000");
  // The prefix of a fixed maximum comes from the root.
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
  for (auto [name, value] : {std::pair{"ArbitrarySteps", "0"}, {"Segments", "20"},
                             {"DisplayLabels", "1"}, {"DisplayInterLabels", "1"}})
    bar.Set(name, value);
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
  for (auto [name, value] :
       {std::pair{"DiscreteColors", "1"}, {"ArbitrarySteps", "1"}, {"Max", "10"}})
    bar.Set(name, value);
  for (const char* steps : {"2 5 9", "0.1 0.2 0.3 0.4 0.5 0.6 7", "5 5 8"}) {
    bar.Set("StepValues", steps);
    bar.BeginColorTexture();
    const int n = bar.BuildSteps();
    for (double v = 0; v <= 10; v += 0.0173) {
      int k = 0;
      while (k < n - 1 && v > bar.StepValue(k + 1)) ++k;
      bar.SetValueColor(static_cast<float>(v), 1);
      const double texel = coordinate * width;
      ASSERT_TRUE(texel >= k - 1e-4 && texel <= k + 1 + 1e-4) << steps << " " << v << " " << texel;
    }
  }
  AK_GLFunctionTable = saved;
}

// Colour tables: junk lines skipped, out-of-range channels clamped, whatever the lines' length.
TEST(Colorbar, ColorTables)
{
  ScratchDir dir;
  AK_String savedUser = UserAttributesDirectory;
  UserAttributesDirectory = (dir.Path() + "/").c_str();
  dir.Write("four.rgb", "red green blue\n\n0 0 1\r\nabc 1 2 3\n1.5 -2 0.5\n1 2\n# " +
                            std::string(300, '-') + " 0.1 0.2 0.3\n  0.25\t0.5 0.75 x\nnan 1 1\n");
  dir.Write("junk.rgb", "red green blue\n1 2\n");
  MessageCapture messages;
  AK_Colorbar bar("bar", nullptr);
  bar.Set("ColorTable", "missing");
  EXPECT_TRUE(messages.HasPrefix("W: cannot open color table file "));
  bar.Set("ColorTable", "junk");
  EXPECT_TRUE(messages.HasPrefix("W: no rgb-colors could be read from "));
  EXPECT_STREQ((bar.Get("ColorTable") + " " + bar.Get("GreyscaleVis")).c_str(), "none w");
  std::string options = bar.Get("ColorTableOptions").c_str();
  EXPECT_EQ(options.rfind("none%AK_SEP%", 0), 0u);
  EXPECT_NE(options.find("%AK_SEP%four%AK_SEP%"), std::string::npos);
  bar.Set("ColorTable", "four");
  EXPECT_STREQ(bar.Get("GreyscaleVis").c_str(), "-");
  EXPECT_STREQ(AK_String(AK_Colorbar::ColorTableEntries.begin(), 12).c_str(),
               "0 0 1 1 0 0.5 0.25 0.5 0.75 0 1 1");
  bar.Update();
  EXPECT_STREQ(bar.Get("Segments").c_str(), "4");
  float rgb[3];
  ColorTableColor(5, rgb[0], rgb[1], rgb[2]);
  EXPECT_EQ(Rgb(rgb), "1 0 0.5");
  bar.Set("ColorTable", "none");
  EXPECT_EQ(AK_Colorbar::ColorTableEntries.Count(), 0);
  UserAttributesDirectory = savedUser;
}

// A colour table is read from a regular file only: a FIFO would block the open and a
// directory read as no colour. A byte-order mark does not cost the first colour.
TEST(Colorbar, ColorTablesAreRegularFilesPastAByteOrderMark)
{
  ScratchDir dir;
  AK_String savedUser = UserAttributesDirectory;
  UserAttributesDirectory = (dir.Path() + "/").c_str();
  ASSERT_EQ(::mkfifo((dir / "fifo.rgb").c_str(), 0600), 0);
  ASSERT_EQ(::mkdir((dir / "folder.rgb").c_str(), 0700), 0);
  dir.Write("marked.rgb", "\xEF\xBB\xBF" "0.5 0 1\n");
  MessageCapture messages;
  AK_Colorbar bar("bar", nullptr);
  bar.Set("ColorTable", "marked");
  EXPECT_STREQ(AK_String(AK_Colorbar::ColorTableEntries.begin(), 3).c_str(), "0.5 0 1");
  for (const char* name : {"fifo", "folder"}) {
    SCOPED_TRACE(name);
    messages.Clear();
    bar.Set("ColorTable", name);
    EXPECT_TRUE(messages.Contains("W: '" + dir.Path() + "/" + name + ".rgb' is no regular file"));
    EXPECT_STREQ(bar.Get("ColorTable").c_str(), "marked");  // the table stays
    EXPECT_EQ(AK_Colorbar::ColorTableEntries.Count(), 3);
  }
  bar.Set("ColorTable", "none");
  UserAttributesDirectory = savedUser;
}

}  // namespace
