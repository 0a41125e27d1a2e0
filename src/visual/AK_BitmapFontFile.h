// A bitmap font read from a font file of the system (an X11 PCF font, compressed or not)
// through FreeType: the glyphs of the printable 8-bit codes, 32 to 126 and 160 to 255 as
// ISO 8859-1 places them, in the layout glBitmap takes. Nothing of the font is kept in the
// program: the files are read at run time.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "AK_GLHelpers.h"

class AK_BitmapFontFile {
public:
  // The font of the file's first bitmap size; null when the file cannot be opened or holds
  // no bitmap font. `name` becomes the record's name.
  static std::unique_ptr<AK_BitmapFontFile> Read(const char* path, const char* name);

  // The record points into this object, which therefore is neither copied nor moved.
  AK_BitmapFontFile(const AK_BitmapFontFile&) = delete;
  AK_BitmapFontFile& operator=(const AK_BitmapFontFile&) = delete;

  // Codes 0 .. 255; a code that is not printable, or that the font lacks, has no glyph.
  const AK_BitmapFont* Font() const { return &_font; }
  // The nominal height in pixels that the file states for its size.
  int PixelSize() const { return _pixelSize; }

private:
  AK_BitmapFontFile() = default;

  std::string _name;
  int _pixelSize = 0;
  std::vector<GLubyte> _bits;  // the glyph bitmaps one after the other
  std::vector<AK_BitmapGlyph> _glyphs;
  std::array<const AK_BitmapGlyph*, 256> _byCode{};
  AK_BitmapFont _font{};
};
