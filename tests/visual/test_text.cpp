// Screen texts (box layout, lines, fonts, bytes from 128 up) and connectors (their paths).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <numeric>
#include <string>
#include <vector>

#include "AK_ConformanceTest.h"
#include "AK_Connector2d.h"
#include "AK_Framework.h"
#include "AK_Text2d.h"
#include "AK_sogl.h"
#include "AK_sogl_State.h"
#include "GlRecorder.h"
#include "TestSupport.h"

namespace {

// While it lives, "9_BY_15" has the record given (none for null); then the one it had.
class FontInstalled {
public:
  explicit FontInstalled(const AK_BitmapFont* font) { AK_Text2d::InstallFont("9_BY_15", font); }
  ~FontInstalled() { AK_Text2d::InstallFont("9_BY_15", _previous); }
  FontInstalled(const FontInstalled&) = delete;

private:
  const AK_BitmapFont* _previous = AK_Text2d::GetFont("9_BY_15");
};

// Every code 0 .. 255 is a glyph 9 pixels wide.
const GLubyte kBits[2] = {0xff, 0x80};
const AK_BitmapGlyph kGlyph{9, 1, 0, 0, 9, kBits};
struct TestFont {
  const AK_BitmapGlyph* glyphs[256];
  AK_BitmapFont font{"test", 256, 0, glyphs};
  FontInstalled installed{[this] {
    for (auto& g : glyphs) g = &kGlyph;
    return &font;
  }()};
};

constexpr const char* kSystemFonts = "/usr/share/fonts/X11";
const char* const kFontNames[] = {"8_BY_13",      "9_BY_15",      "TIMES_ROMAN_10", "TIMES_ROMAN_24",
                                  "HELVETICA_10", "HELVETICA_12", "HELVETICA_18"};

bool Printable(int code) { return (code >= 32 && code <= 126) || code >= 160; }

// The inked pixels of each row of a glyph, lowest row first (only the glyph's width counts).
std::vector<int> RowInk(const AK_BitmapGlyph& g)
{
  std::vector<int> rows(g.height, 0);
  for (int r = 0, rowBytes = (g.width + 7) / 8; r < g.height; ++r)
    for (int c = 0; c < g.width; ++c) rows[r] += (g.bitmap[r * rowBytes + c / 8] >> (7 - c % 8)) & 1;
  return rows;
}

int LitBits(const AK_BitmapGlyph& g)
{
  const std::vector<int> rows = RowInk(g);
  return std::accumulate(rows.begin(), rows.end(), 0);
}

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
  EXPECT_FALSE(AK_Text2d::GetFont("Courier") || AK_Text2d::InstallFont("Courier", nullptr));
}

// The records read from the system's bitmap fonts: a glyph for every printable 8-bit code
// that has ink, none for the control codes; the fixed fonts as wide as their names say and no
// taller than the table's line height; the proportional ones proportional.
TEST(Text, SystemFonts)
{
  for (const char* name : kFontNames) {
    const AK_BitmapFont* font = AK_Text2d::GetFont(name);
    ASSERT_TRUE(font) << name << ": are xfonts-base and xfonts-75dpi installed (scripts/install-deps)?";
    const std::string fixed = name[1] == '_' ? name : "";
    const float height = AK_Text2d::FontHeight(name);
    float top = -1e9f, bottom = 1e9f;
    for (int code = 0; code < 256; ++code) {
      const AK_BitmapGlyph* g = code >= font->first && code - font->first < font->count ? font->glyphs[code - font->first] : nullptr;
      if (!Printable(code)) {
        EXPECT_FALSE(g) << name << " " << code;
        continue;
      }
      if (code > 32 && code < 127) {
        ASSERT_TRUE(g && LitBits(*g) > 0) << name << " " << code;
      }
      if (!g) continue;
      if (!fixed.empty()) {
        EXPECT_EQ(g->advance, fixed[0] - '0') << name << " " << code;
      }
      if (g->height > 0) top = std::max(top, g->height - g->yorig), bottom = std::min(bottom, -g->yorig);
    }
    if (!fixed.empty()) {
      EXPECT_LE(top - bottom, height) << name;
    } else {
      EXPECT_GT(AK_Text2d::TextWidth(font, "W"), AK_Text2d::TextWidth(font, "i")) << name;
    }
    const float x = AK_Text2d::TextWidth(font, "X");
    EXPECT_TRUE(x > 0 && x <= height) << name << " " << x;
    // Upright, on the baseline: the bar of a T is its highest inked row and its stem stands
    // on the line; a g hangs below it.
    auto inked = [&](int code) {
      const AK_BitmapGlyph& glyph = *font->glyphs[code];
      std::vector<int> rows = RowInk(glyph);
      const int lowest = static_cast<int>(std::find_if(rows.begin(), rows.end(), [](int n) { return n; }) - rows.begin());
      std::erase(rows, 0);
      return std::pair{rows, lowest - glyph.yorig};  // the inked rows and the lowest one's height over the line
    };
    const auto [t, tBottom] = inked('T');
    const auto [g, gBottom] = inked('g');
    ASSERT_TRUE(t.size() > 2 && !g.empty()) << name;
    EXPECT_GT(t.back(), t.front()) << name;
    EXPECT_EQ(tBottom, 0) << name;
    EXPECT_LT(gBottom, 0) << name;
  }
}

// One line of ten characters in "9_BY_15" at (0.5, 0.5): the box of the worked example.
TEST(Text, WorkedExampleInTheSystemFont)
{
  AK_Text2d text("t", nullptr);
  text.Set("Text", "Avalanche1");
  text.Set("Position", "0.5 0.5");
  GlRecorder gl;
  text.Update();
  EXPECT_EQ(Rounded(text.Get("Xll") + " " + text.Get("Xor")), "0.491 0.494 0.68 0.524 ");
  text.Set("Frame", "1");
  text.Update();
  EXPECT_EQ(Rounded(text.Get("Xor")), "0.689 0.536 ");
}

// A font whose file is missing or no font has no record, and one message names it.
TEST(Text, FontsWithoutAFileHaveNoRecord)
{
  ScratchDir dir;
  dir.Write("misc/9x15-ISO8859-1.pcf.gz", ReadFile(std::string(kSystemFonts) + "/misc/9x15-ISO8859-1.pcf.gz"));
  dir.Write("misc/8x13-ISO8859-1.pcf.gz", "STARTFONT 2.1\nnot really\n");
  MessageCapture messages;
  AK_Text2d::ReadFonts(dir.Path().c_str());
  for (const char* name : kFontNames) {
    const bool kept = std::string(name) == "9_BY_15";
    EXPECT_EQ(AK_Text2d::GetFont(name) != nullptr, kept) << name;
    EXPECT_EQ(messages.WithPrefix(std::string("INFO:no glyphs for the font ") + name + ":").size(), kept ? 0u : 1u) << name;
  }
  EXPECT_EQ(messages.messages.size(), 6u);
  AK_Text2d::ReadFonts(kSystemFonts);
  for (const char* name : kFontNames) EXPECT_TRUE(AK_Text2d::GetFont(name)) << name;
}

// Drawn into the software renderer, a text leaves exactly its glyphs' pixels in the text
// colour, all inside its box.
TEST(Text, DrawnIntoTheRendererInItsColour)
{
  const AK_GLFunctions saved = AK_GLFunctionTable;
  soglResetState();
  soglInstall();
  ASSERT_EQ(soglResize(AK_ScreenPixelWidth, AK_ScreenPixelHeight), 0);
  glClearColor(0, 0, 0, 0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  for (GLenum mode : {GL_PROJECTION, GL_MODELVIEW}) { soglMatrixMode(mode); soglLoadIdentity(); soglPushMatrix(); }
  const float background[3] = {AK_BackgroundColor[0], AK_BackgroundColor[1], AK_BackgroundColor[2]};
  const float blueish[3] = {0.2f, 0.6f, 1};  // the text colour of this background is red
  std::copy(blueish, blueish + 3, AK_BackgroundColor);

  const char* const line = "Xg|q";
  for (const char* name : {"9_BY_15", "HELVETICA_18"}) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    AK_Text2d text("t", nullptr);
    text.Set("Font", name);
    text.Set("Text", line);
    text.Set("Position", "0.3 0.6");
    text.Update();
    double ll[2], ur[2];
    ASSERT_EQ(std::sscanf(text.Get("Xll"), "%lf %lf", &ll[0], &ll[1]), 2);
    ASSERT_EQ(std::sscanf(text.Get("Xor"), "%lf %lf", &ur[0], &ur[1]), 2);
    int inside = 0, outside = 0;
    for (int y = 0; y < AK_ScreenPixelHeight; ++y)
      for (int x = 0; x < AK_ScreenPixelWidth; ++x) {
        const int i = soglPixelIndex(x, y);
        if (soglRed[i] != 255 || soglGreen[i] != 0 || soglBlue[i] != 0) continue;
        const double sx = (x + 0.5) / AK_ScreenPixelWidth, sy = (y + 0.5) / AK_ScreenPixelHeight;
        (sx >= ll[0] && sx <= ur[0] && sy >= ll[1] && sy <= ur[1] ? inside : outside)++;
      }
    int ink = 0;
    for (const char* c = line; *c; ++c) ink += LitBits(*AK_Text2d::GetFont(name)->glyphs[static_cast<unsigned char>(*c)]);
    EXPECT_EQ(inside, ink) << name;
    EXPECT_EQ(outside, 0) << name;
  }
  std::copy(background, background + 3, AK_BackgroundColor);
  AK_GLFunctionTable = saved;
  soglResetState();
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
  FontInstalled none(nullptr);
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
