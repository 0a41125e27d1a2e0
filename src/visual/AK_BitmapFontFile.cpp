#include "AK_BitmapFontFile.h"

#include <ft2build.h>
#include FT_FREETYPE_H

namespace {

bool Printable(int code) { return (code >= 32 && code <= 126) || code >= 160; }

// Releases the library (and with it every face) however the reading ends.
struct FreeTypeLibrary {
  FT_Library library = nullptr;
  FreeTypeLibrary() { if (FT_Init_FreeType(&library) != 0) library = nullptr; }
  ~FreeTypeLibrary() { if (library) FT_Done_FreeType(library); }
};

// One pixel of a rendered glyph, whatever the depth FreeType rendered it in.
bool Lit(const FT_Bitmap& bitmap, int row, int column)
{
  const unsigned char* line = bitmap.buffer + static_cast<long>(row) * bitmap.pitch;
  if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO) return line[column / 8] & (0x80 >> (column % 8));
  return line[column] >= 128;
}

}  // namespace

std::unique_ptr<AK_BitmapFontFile> AK_BitmapFontFile::Read(const char* path, const char* name)
{
  FreeTypeLibrary freeType;
  FT_Face face = nullptr;
  if (!freeType.library || !path || FT_New_Face(freeType.library, path, 0, &face) != 0) return nullptr;
  if (face->num_fixed_sizes < 1 || FT_Select_Size(face, 0) != 0) return nullptr;
  // The 8-bit codes of ISO 8859-1 are the first 256 of Unicode; a font without a Unicode map
  // has its own codes, which are taken as they are.
  if (FT_Select_Charmap(face, FT_ENCODING_UNICODE) != 0 && face->num_charmaps > 0)
    FT_Set_Charmap(face, face->charmaps[0]);

  std::unique_ptr<AK_BitmapFontFile> file(new AK_BitmapFontFile());
  file->_name = name ? name : "";
  const FT_Bitmap_Size& size = face->available_sizes[0];
  file->_pixelSize = size.y_ppem > 0 ? static_cast<int>((size.y_ppem + 32) >> 6) : size.height;
  std::vector<size_t> offsets;
  std::vector<int> codes;
  for (int code = 0; code < 256; ++code) {
    if (!Printable(code)) continue;
    const FT_UInt index = FT_Get_Char_Index(face, static_cast<FT_ULong>(code));
    if (index == 0 || FT_Load_Glyph(face, index, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO) != 0) continue;
    const FT_GlyphSlot slot = face->glyph;
    const FT_Bitmap& bitmap = slot->bitmap;
    const int width = static_cast<int>(bitmap.width), height = static_cast<int>(bitmap.rows);
    const bool usable = bitmap.pixel_mode == FT_PIXEL_MODE_MONO || bitmap.pixel_mode == FT_PIXEL_MODE_GRAY;
    if (width > 0 && height > 0 && !usable) continue;
    // glBitmap takes the lowest row first, each row padded to whole bytes, most significant
    // bit leftmost, and places the lower left corner at the raster position less the origin.
    const size_t rowBytes = (static_cast<size_t>(width) + 7) / 8;
    offsets.push_back(file->_bits.size());
    file->_bits.resize(file->_bits.size() + rowBytes * height, 0);
    GLubyte* out = file->_bits.data() + offsets.back();
    for (int row = 0; row < height; ++row)
      for (int column = 0; column < width; ++column)
        if (Lit(bitmap, height - 1 - row, column)) out[row * rowBytes + column / 8] |= 0x80 >> (column % 8);
    AK_BitmapGlyph glyph;
    glyph.width = width;
    glyph.height = height;
    glyph.xorig = static_cast<float>(-slot->bitmap_left);
    glyph.yorig = static_cast<float>(height - slot->bitmap_top);
    glyph.advance = static_cast<float>(slot->advance.x) / 64.0f;
    glyph.bitmap = nullptr;
    file->_glyphs.push_back(glyph);
    codes.push_back(code);
  }
  FT_Done_Face(face);
  if (file->_glyphs.empty()) return nullptr;
  // The bitmaps have their places now that no glyph is added any more.
  for (size_t i = 0; i < file->_glyphs.size(); ++i) {
    file->_glyphs[i].bitmap = file->_bits.data() + offsets[i];
    file->_byCode[codes[i]] = &file->_glyphs[i];
  }
  file->_font = AK_BitmapFont{file->_name.c_str(), 256, 0, file->_byCode.data()};
  return file;
}
