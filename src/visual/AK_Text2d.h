// AK_Text2d: a text of one or more lines on the screen plane, in one of seven named bitmap
// fonts, aligned at its "Position", on a translucent box in the background colour and, with
// "Frame" 1, inside a frame. Each drawing pass reports the corners of its box ("Xll", "Xor").
//
// It also holds the font vocabulary that other classes share: the font names and their
// pixel heights, the font records (read once from the system's bitmap font files; the
// program carries no font data of its own), text widths and the routines that draw a text at
// a raster position.
// Layout uses the heights of the font table, never the glyphs, so it is the same with and
// without a record; without a record widths are 0 and no character is drawn.
#pragma once

#include <cstdint>

#include "AK_GLHelpers.h"
#include "AK_VisObj2d.h"

// The fixed screen size in pixels: a width in pixels divided by AK_ScreenPixelWidth (a
// height by AK_ScreenPixelHeight) is a length in screen units.
constexpr int32_t AK_ScreenPixelWidth = 500;
constexpr int32_t AK_ScreenPixelHeight = 500;

class AK_Text2d : public AK_Class<AK_Text2d, AK_VisObj2d> {
public:
  static constexpr const char* kClassName = "AK_Text2d";
  AK_Text2d(const char* id, AK_Object* parent);
  static void DeclareAttributes(AK_AttributeTableOf<AK_Text2d>& t);

  void Draw() override;

  // The seven font names, each followed by "%AK_SEP%" (the options of every font attribute).
  static AK_String GetFontList();
  // The pixel height of a font name; 10 for a name that is none of the seven.
  static float FontHeight(const char* name);
  // The record of one of the seven fonts; none for any other name or when its font file
  // could not be read (one INFO message names it) and none was installed.
  static const AK_BitmapFont* GetFont(const char* name);
  // Reads the seven fonts from their files below `directory` (the system's font directory
  // unless a test says otherwise), replacing every record; a font whose file cannot be read
  // has none, and one INFO message names it.
  static void ReadFonts(const char* directory);
  // Installs (or with null removes) the record of one of the seven fonts; false for another name.
  static bool InstallFont(const char* name, const AK_BitmapFont* font);
  // The width of a text in pixels; 0 without a font.
  static float TextWidth(const AK_BitmapFont* font, const char* text);

  int32_t Frame = 0;         // 1: the box gets a frame; any nonzero value enlarges the box
  double MinSize[2] = {0, 0};
  AK_String Text;            // lines separated by line feeds
  AK_String Font = "9_BY_15";
  AK_String HorizontalAlignment = "left";  // "left", "center" or "right"
  AK_String VerticalAlignment = "bottom";  // "bottom", "center" or "top"
  double Xll[2] = {0, 0};    // the box of the last drawing pass, in screen units
  double Xor[2] = {0, 0};
};

// The text at a raster position, one character per byte (bytes from 128 up as the codes 128
// to 255); nothing without a font.
void DrawBitmapString2d(const AK_BitmapFont* font, float x, float y, const char* text);
void DrawBitmapString3d(const AK_BitmapFont* font, const double point[3], const char* text);

// A value as its "%g" text reads back (six significant digits), as drawing passes take
// "Opacity".
float AK_SixDigits(float value);
