#include "AK_Text2d.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

#include "AK_BitmapFontFile.h"
#include "AK_NumberText.h"

namespace {

struct FontEntry {
  const char* name;
  float height;      // pixels
  const char* file;  // the system's bitmap font of that size, below kFontDirectory
};
// The X11 bitmap fonts of Debian's xfonts-base ("misc") and xfonts-75dpi, whose pixel sizes
// are those of the table, in their 8-bit Latin-1 encoding.
constexpr const char* kFontDirectory = "/usr/share/fonts/X11";
constexpr FontEntry kFonts[] = {
    {"8_BY_13", 13, "misc/8x13-ISO8859-1.pcf.gz"},
    {"9_BY_15", 15, "misc/9x15-ISO8859-1.pcf.gz"},
    {"TIMES_ROMAN_10", 10, "75dpi/timR10-ISO8859-1.pcf.gz"},
    {"TIMES_ROMAN_24", 24, "75dpi/timR24-ISO8859-1.pcf.gz"},
    {"HELVETICA_10", 10, "75dpi/helvR10-ISO8859-1.pcf.gz"},
    {"HELVETICA_12", 12, "75dpi/helvR12-ISO8859-1.pcf.gz"},
    {"HELVETICA_18", 18, "75dpi/helvR18-ISO8859-1.pcf.gz"},
};
constexpr int kFontCount = sizeof kFonts / sizeof kFonts[0];
constexpr float kUnknownFontHeight = 10;

// The installed records, by the index of the font table.
const AK_BitmapFont* installedFonts[kFontCount] = {};

int FontIndex(const char* name)
{
  for (int i = 0; i < kFontCount; ++i)
    if (name && std::strcmp(kFonts[i].name, name) == 0) return i;
  return -1;
}

std::unique_ptr<AK_BitmapFontFile> fontFiles[kFontCount];
bool fontsRead = false;

// The system's fonts are read once, before any record is asked for or installed, unless
// fonts were read from elsewhere first.
void ReadSystemFontsOnce()
{
  if (!fontsRead) AK_Text2d::ReadFonts(kFontDirectory);
}

void DrawBytes(const AK_BitmapFont* font, const char* text)
{
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p)
    glutBitmapCharacter(font, *p);
}

}  // namespace

float AK_SixDigits(float value)
{
  return static_cast<float>(AK_ThroughText(value, 6));
}

AK_Text2d::AK_Text2d(const char* id, AK_Object* parent) : AK_Class(id, parent)
{
  SetUpClassLevel();
  Text = Id();
  AutoColored = 1;
  RunClassDefaults();
}

void AK_Text2d::DeclareAttributes(AK_AttributeTableOf<AK_Text2d>& t)
{
  using C = AK_Text2d;
  t.Text("Text", &C::Text);
  t.Text("Font", &C::Font);
  t.Options("GetFontList", [](C&) { return GetFontList(); });
  t.Text("HorizontalAlignment", &C::HorizontalAlignment);
  t.Options("HorizontalAlignmentOpts",
            [](C&) { return AK_String("left%AK_SEP%center%AK_SEP%right"); });
  t.Text("VerticalAlignment", &C::VerticalAlignment);
  t.Options("VerticalAlignmentOpts",
            [](C&) { return AK_String("bottom%AK_SEP%center%AK_SEP%top"); });
  t.Int("Frame", &C::Frame);
  t.Attribute(
      "MinSize", [](C& o) { return AK_String(o.MinSize, 2); },
      [](C& o, const char* v) { ParseDoublePairList(v, o.MinSize); });
  t.Answer("Xll", [](C& o) { return AK_String(o.Xll, 2); });
  t.Answer("Xor", [](C& o) { return AK_String(o.Xor, 2); });
}

AK_String AK_Text2d::GetFontList()
{
  AK_String list;
  for (const FontEntry& f : kFonts) {
    list += f.name;
    list += "%AK_SEP%";
  }
  return list;
}

float AK_Text2d::FontHeight(const char* name)
{
  int i = FontIndex(name);
  return i < 0 ? kUnknownFontHeight : kFonts[i].height;
}

void AK_Text2d::ReadFonts(const char* directory)
{
  fontsRead = true;
  for (int i = 0; i < kFontCount; ++i) {
    const AK_String path = AK_JoinPath(directory ? directory : "", kFonts[i].file);
    std::unique_ptr<AK_BitmapFontFile> file = AK_BitmapFontFile::Read(path, kFonts[i].name);
    if (!file) AK_MESSAGE(AK_String("INFO:no glyphs for the font ") + kFonts[i].name + ": cannot read " + path);
    installedFonts[i] = file ? file->Font() : nullptr;
    fontFiles[i] = std::move(file);
  }
}

const AK_BitmapFont* AK_Text2d::GetFont(const char* name)
{
  ReadSystemFontsOnce();
  int i = FontIndex(name);
  return i < 0 ? nullptr : installedFonts[i];
}

bool AK_Text2d::InstallFont(const char* name, const AK_BitmapFont* font)
{
  ReadSystemFontsOnce();
  int i = FontIndex(name);
  if (i < 0) return false;
  installedFonts[i] = font;
  return true;
}

float AK_Text2d::TextWidth(const AK_BitmapFont* font, const char* text)
{
  return font && text ? static_cast<float>(glutBitmapLength(font, text)) : 0.0f;
}

void DrawBitmapString2d(const AK_BitmapFont* font, float x, float y, const char* text)
{
  glRasterPos2f(x, y);
  DrawBytes(font, text);
}

void DrawBitmapString3d(const AK_BitmapFont* font, const double point[3], const char* text)
{
  glRasterPos3f(static_cast<float>(point[0]), static_cast<float>(point[1]),
                static_cast<float>(point[2]));
  DrawBytes(font, text);
}

void AK_Text2d::Draw()
{
  AK_Array<AK_String> lines;
  Text.Split('\n', lines);
  if (lines.IsEmpty()) lines.Append(AK_String());
  const int n = lines.Count();

  // Sizes in pixels, then in screen units.
  const AK_BitmapFont* font = GetFont(Font);
  float h = FontHeight(Font);
  float cw = TextWidth(font, "X");
  float H = static_cast<float>(n) * h;
  AK_Array<float> widths(n);
  float W = 0;
  for (const AK_String& line : lines) {
    float w = TextWidth(font, line);
    widths.Append(w);
    if (w > W) W = w;
  }
  const bool center = HorizontalAlignment == "center", right = HorizontalAlignment == "right";
  const bool middle = VerticalAlignment == "center", top = VerticalAlignment == "top";
  float ox = center ? -W / 2 : right ? -W : 0;
  float oy = middle ? -H / 2 : top ? -H : 0;
  const float pw = static_cast<float>(AK_ScreenPixelWidth);
  const float ph = static_cast<float>(AK_ScreenPixelHeight);
  cw /= pw;
  ox /= pw;
  W /= pw;
  for (float& w : widths) w /= pw;
  h /= ph;
  oy /= ph;
  H /= ph;

  // The box about the anchor.
  double ll[2] = {ox - cw / 2.0, oy - 0.2 * H};
  double ur[2] = {double{ox} + W, oy + H - 0.2 * H};
  if (Frame != 0) {
    ur[0] = double{ox} + W + cw / 2.0;
    ur[1] = oy + H + 0.2 * H;
  }
  if (W < MinSize[0]) {
    double d = MinSize[0] - W;
    if (center) ll[0] -= d / 2, ur[0] += d / 2;
    else if (right) ll[0] -= d;
    else ur[0] += d;
  }
  if (H < MinSize[1]) {
    double d = MinSize[1] - H;
    if (middle) ll[1] -= d / 2, ur[1] += d / 2;
    else if (top) ll[1] -= d;
    else ur[1] += d;
  }

  const float alpha = AK_SixDigits(Opacity);
  auto quad = [&] {
    glBegin(GL_QUADS);
    glVertex2f(static_cast<float>(ll[0]), static_cast<float>(ll[1]));
    glVertex2f(static_cast<float>(ur[0]), static_cast<float>(ll[1]));
    glVertex2f(static_cast<float>(ur[0]), static_cast<float>(ur[1]));
    glVertex2f(static_cast<float>(ll[0]), static_cast<float>(ur[1]));
    glEnd();
  };
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  glColor4f(AK_BackgroundColor[0], AK_BackgroundColor[1], AK_BackgroundColor[2], alpha);
  quad();
  glDisable(GL_DEPTH_TEST);
  float color[3] = {Color[0], Color[1], Color[2]};
  if (AutoColored) AK_ContrastColor(AK_BackgroundColor, color);
  glColor4f(color[0], color[1], color[2], alpha);
  if (Frame == 1) {
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    quad();
  }
  for (int i = 0; i < n; ++i) {
    float y = static_cast<float>(n - 1 - i) * h + oy;
    float x = center ? ox + (W - widths[i]) / 2 : right ? ox + (W - widths[i]) : ox;
    DrawBitmapString2d(font, x, y, lines[i]);
  }
  glEnable(GL_DEPTH_TEST);

  for (int k = 0; k < 2; ++k) {
    Xll[k] = ll[k] + Position[k];
    Xor[k] = ur[k] + Position[k];
  }
}
