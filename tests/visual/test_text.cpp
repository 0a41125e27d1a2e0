// Screen texts (box layout, lines, fonts, bytes from 128 up) and connectors (their paths).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "AK_ConformanceTest.h"
#include "AK_Connector2d.h"
#include "AK_Framework.h"
#include "AK_Text2d.h"
#include "GlRecorder.h"

namespace {

// Every code 0 .. 255 is a glyph 9 pixels wide.
const GLubyte kBits[2] = {0xff, 0x80};
const AK_BitmapGlyph kGlyph{9, 1, 0, 0, 9, kBits};
struct TestFont {
  const AK_BitmapGlyph* glyphs[256];
  AK_BitmapFont font{"test", 256, 0, glyphs};
  TestFont()
  {
    for (auto& g : glyphs) g = &kGlyph;
    AK_Text2d::InstallFont("9_BY_15", &font);
  }
  ~TestFont() { AK_Text2d::InstallFont("9_BY_15", nullptr); }
};

// Numbers of a text to six digits: what single precision holds.
std::string Rounded(const AK_String& text)
{
  double v[4] = {0, 0, 0, 0};
  int n = std::sscanf(text, "%lf %lf %lf %lf", &v[0], &v[1], &v[2], &v[3]);
  std::string out;
  for (int i = 0; i < n; ++i) out += AK_String::Format("%.6g ", v[i]).c_str();
  return out;
}

size_t Count(const std::string& text, const char* what)
{
  size_t n = 0;
  for (size_t at = 0; (at = text.find(what, at)) != std::string::npos; ++at) ++n;
  return n;
}

TEST(Text, Conformance)
{
  AK_RunConformanceTest("AK_Text2d");
  AK_RunConformanceTest("AK_Connector2d");
}

TEST(Text, FontVocabulary)
{
  EXPECT_STREQ(AK_Text2d::GetFontList().c_str(),
               "8_BY_13%AK_SEP%9_BY_15%AK_SEP%TIMES_ROMAN_10%AK_SEP%TIMES_ROMAN_24%AK_SEP%"
               "HELVETICA_10%AK_SEP%HELVETICA_12%AK_SEP%HELVETICA_18%AK_SEP%");
  EXPECT_EQ(AK_Text2d::FontHeight("HELVETICA_18") + AK_Text2d::FontHeight("Courier"), 28);
  EXPECT_FALSE(AK_Text2d::GetFont("9_BY_15") || AK_Text2d::InstallFont("Courier", nullptr));
}

// The box of a text drawn at (0.5, 0.5) in "9_BY_15" (15 pixels high) with glyphs 9 pixels
// wide: h = 0.03, cw = 0.018 in screen units.
TEST(Text, BoxLayout)
{
  TestFont font;
  // Xll, Xor and the vertices drawn (the box, and the frame).
  struct Row { const char* text; const char* h; const char* v; const char* frame; const char* min;
               const char* box; };
  const char* tenX = "XXXXXXXXXX";
  const Row rows[] = {
      {tenX, "left", "bottom", "0", "0 0", "0.491 0.494 0.68 0.524 4"},
      {tenX, "left", "bottom", "1", "0 0", "0.491 0.494 0.689 0.536 8"},
      {tenX, "left", "bottom", "2", "0 0", "0.491 0.494 0.689 0.536 4"},
      {tenX, "right", "bottom", "0", "0 0", "0.311 0.494 0.5 0.524 4"},
      {tenX, "center", "nonsense", "0", "0 0", "0.401 0.494 0.59 0.524 4"},
      {tenX, "left", "top", "0", "0 0", "0.491 0.464 0.68 0.494 4"},
      {"", "left", "bottom", "0", "0 0", "0.491 0.494 0.5 0.524 4"},
      {"\n", "left", "bottom", "0", "0 0", "0.491 0.494 0.5 0.524 4"},
      {"\n\n", "left", "bottom", "0", "0 0", "0.491 0.488 0.5 0.548 4"},
      {tenX, "left", "bottom", "0", "0.5 0", "0.491 0.494 1 0.524 4"},
      {tenX, "center", "bottom", "0", "0.5 0", "0.241 0.494 0.75 0.524 4"},
      {tenX, "center", "center", "0", "0 0.1", "0.401 0.444 0.59 0.544 4"},
      {"X\nXX\n", "left", "bottom", "0", "0 0", "0.491 0.488 0.536 0.548 4"}};
  for (const Row& row : rows) {
    AK_Text2d text("t", nullptr);
    for (auto [name, value] : {std::pair{"Text", row.text}, {"HorizontalAlignment", row.h},
                               {"VerticalAlignment", row.v}, {"Frame", row.frame},
                               {"MinSize", row.min}, {"Position", "0.5 0.5"}})
      text.Set(name, value);
    GlRecorder gl;
    text.Update();
    std::string box = Rounded(text.Get("Xll") + " " + text.Get("Xor"));
    EXPECT_EQ(box + std::to_string(Count(gl.log(), "v ")), row.box)
        << "'" << row.text << "' " << row.h << " " << row.v << " " << row.frame << " " << row.min;
  }
}

TEST(Text, LinesBytesAndMissingFonts)
{
  AK_Text2d text("t", nullptr);
  text.Set("Text", "X\nXX");
  text.Set("HorizontalAlignment", "right");
  {
    TestFont font;
    GlRecorder gl;
    text.Update();
    // The first line one line height above the second, each ending at the anchor.
    EXPECT_EQ(gl.log().substr(gl.log().find("r ")),
              "r -0.018 0.03 b 9 0 r -0.036 0 b 9 0 b 9 0 ");
    gl.log().clear();
    const char latin[] = {'a', static_cast<char>(0xe9), 0};
    const double at[3] = {1, 2, 3};
    DrawBitmapString3d(&font.font, at, latin);
    DrawBitmapString2d(nullptr, 0, 0, latin);
    EXPECT_EQ(gl.log(), "b 9 0 b 9 0 r 0 0 ");
  }
  // Without a font record: the box has the height of the font name and no width; no glyph.
  GlRecorder gl;
  text.Set("Position", "0.5 0.5");
  text.Update();
  EXPECT_EQ(Rounded(text.Get("Xll") + " " + text.Get("Xor")), "0.5 0.488 0.5 0.548 ");
  EXPECT_EQ(Count(gl.log(), "b "), 0u);
  // An invisible text keeps its last box.
  text.Set("Visibility", "0");
  text.Set("Position", "0 0");
  text.Update();
  EXPECT_EQ(Rounded(text.Get("Xll")), "0.5 0.488 ");
}

TEST(Connector, Paths)
{
  // Pt1, Pt2, Dir1, Dir2; "Len" 0.01.
  struct Row { double p1[2], p2[2]; int dir1, dir2; const char* path; };
  const Row rows[] = {
      {{0.4, 0.4}, {0.6, 0.6}, 0, 1, "0.4,0.4 0.5,0.4 0.5,0.6 0.6,0.6 "},
      {{0.4, 0.5}, {0.405, 0.6}, 0, 1,
       "0.4,0.5 0.41,0.5 0.41,0.55 0.395,0.55 0.395,0.6 0.405,0.6 "},
      {{0.4, 0.5}, {0.3, 0.6}, 0, 0, "0.4,0.5 0.41,0.5 0.41,0.6 0.3,0.6 "},
      {{0.4, 0.5}, {0.3, 0.6}, 1, 1, "0.4,0.5 0.29,0.5 0.29,0.6 0.3,0.6 "},
      {{0.6, 0.5}, {0.3, 0.6}, 1, 0, "0.6,0.5 0.45,0.5 0.45,0.6 0.3,0.6 "},
      {{0.4, 0.5}, {0.405, 0.6}, 1, 0,
       "0.4,0.5 0.39,0.5 0.39,0.55 0.415,0.55 0.415,0.6 0.405,0.6 "},
      {{0.4, 0.4}, {0.6, 0.6}, 0, 2, "0.4,0.4 0.5,0.4 0.5,0.6 0.6,0.6 "},
      {{0.6, 0.5}, {0.3, 0.6}, 1, 2, "0.6,0.5 0.45,0.5 0.45,0.6 0.3,0.6 "},
      {{0.5, 0.5}, {0.5, 0.5}, 0, 1, "0.5,0.5 0.51,0.5 0.51,0.5 0.49,0.5 0.49,0.5 0.5,0.5 "}};
  for (const Row& r : rows) {
    AK_Vec2 path[6];
    std::string text;
    for (int i = 0, n = AK_ConnectorPath(r.p1, r.p2, r.dir1, r.dir2, 0.01, path); i < n; ++i)
      text += AK_String::Format("%.4g,%.4g ", path[i].x, path[i].y).c_str();
    EXPECT_EQ(text, r.path) << r.dir1 << " " << r.dir2;
  }
  // Drawn as a line strip; an inactive connector draws nothing.
  AK_Connector2d wire("w", nullptr);
  wire.Set("Pt2", "0.405 0.6");
  wire.Set("Pt1", "0.4 0.5");
  GlRecorder gl;
  wire.Update();
  EXPECT_EQ(Count(gl.log(), "v "), 6u);
  gl.log().clear();
  wire.Set("Active", "0");
  wire.Update();
  EXPECT_EQ(gl.log(), "");
}

}  // namespace
