// AK_VisibleObject: textures. Loading a PPM image as a texture (halved down to the maximum
// size), the texture parameter file beside the image, fitting and re-solving the planes,
// and composing geo-referenced tiles into one image.
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "AK_Files.h"
#include "AK_NumberText.h"
#include "AK_Ppm.h"
#include "AK_VisibleObject.h"
#include "AK_VisibleObject_Texture.h"

namespace {

// The path without its extension: cut at the last "." only when it follows the last
// separator, so that a dot in a directory name stays.
AK_String BasePath(const AK_String& path)
{
  AK_String ext = path.GetExtension();
  if (ext.IsEmpty() && !(path.Length() > 0 && path[path.Length() - 1] == '.')) return path;
  return AK_String(path.c_str(), path.c_str() + path.Length() - ext.Length() - 1);
}

}  // namespace

AK_String AK_Precision14(double v) { return AK_FormatGeneral(v, 14); }

int AK_ReadNumberFile(const char* path, double* out, int count)
{
  AK_String text;
  if (!AK_ReadTextFile(path, text)) return 1;
  const char* p = text.c_str();
  std::vector<double> v(static_cast<size_t>(count));
  for (double& x : v)
    if (!AK_ScanDouble(p, x)) return 2;
  std::copy(v.begin(), v.end(), out);
  return 0;
}

AK_String AK_WorldFilePath(const AK_String& imagePath)
{
  AK_String ext = imagePath.GetExtension();
  const char* worldExt = ext == "jpg" ? "jgw" : ext == "JPG" ? "JGW" : ext == "ppm" ? "pmw" : "xxw";
  return BasePath(imagePath) + "." + worldExt;
}

void HalveImage(unsigned char* pixels, int& width, int& height, int depth)
{
  const int bpp = depth * 3 / 8;
  // A side of one pixel stays one pixel: its single row or column is averaged with itself.
  const int w = std::max(1, width / 2), h = std::max(1, height / 2);
  auto at = [&](int x, int y, int c) {
    x = std::min(x, width - 1);
    y = std::min(y, height - 1);
    return int{pixels[(static_cast<size_t>(y) * width + x) * bpp + c]};
  };
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < bpp; ++c) {
        int sum = at(2 * x, 2 * y, c) + at(2 * x + 1, 2 * y, c) + at(2 * x, 2 * y + 1, c) +
                  at(2 * x + 1, 2 * y + 1, c);
        pixels[(static_cast<size_t>(y) * w + x) * bpp + c] =
            static_cast<unsigned char>(0.25 * sum + 0.5);
      }
  width = w;
  height = h;
}

AK_String AK_VisibleObject::TextureParameterPath() const
{
  return BasePath(TextureFileName) + ".texpar";
}

void AK_VisibleObject::DeleteTexture()
{
  if (_textureName) glDeleteTextures(1, &_textureName);
  _textureName = 0;
}

void AK_VisibleObject::SetTextureFileName(const char* name)
{
  TextureFileName = name ? name : "";
  DeleteTexture();
  if (!TextureFileName.IsEmpty()) Textured = 1;
}

void AK_VisibleObject::SetTextureRepeat(const char* value)
{
  if (!AK_ReadWholeNumber("TextureRepeat", value, TextureRepeat)) return;
  DeleteTexture();
}

void AK_VisibleObject::ApplyTextureState()
{
  if (!Textured) {
    glDisable(GL_TEXTURE_2D);
    return;
  }
  if (!TextureFileName.IsEmpty() && !_textureName) LoadTexture();
  if (_textureName) {
    glBindTexture(GL_TEXTURE_2D, _textureName);
    glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_OBJECT_LINEAR);
    glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_OBJECT_LINEAR);
    glTexGenfv(GL_S, GL_OBJECT_PLANE, TextureParametersS);
    glTexGenfv(GL_T, GL_OBJECT_PLANE, TextureParametersT);
  }
  glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, static_cast<float>(GL_MODULATE));
  glEnable(GL_TEXTURE_GEN_S);
  glEnable(GL_TEXTURE_GEN_T);
  glEnable(GL_TEXTURE_2D);
}

int AK_VisibleObject::LoadTexture()
{
  AK_Messagef("loading texture file %s...", TextureFileName);
  int width = 0, height = 0, depth = 0;
  unsigned char* data = nullptr;
  int result = 1;
  if (TextureFileName.GetExtension() == "ppm")
    result = ReadPpm(TextureFileName, width, height, depth, data);
  if (result != 0) {
    AK_Messagef("loading texture from file %s failed - deactivating texturing!", TextureFileName);
    Textured = 0;
    return result;
  }
  AK_Pixels pixels(data);
  AK_Messagef("loaded texture from file %s, size is %dx%dx%d", TextureFileName, width, height,
              depth);
  // A texture that cannot be used switches texturing off; the name stays, so that a saved
  // project keeps it.
  if (depth > 8) {
    AK_ErrorText = "textures with color depth > 8 bits are not supported";
    Textured = 0;
    return 1;
  }
  const int maxSize = std::max(1, TextureMaxSize);
  while (width > maxSize || height > maxSize) {
    HalveImage(pixels.get(), width, height, depth);
    AK_Messagef("scaling texture size down to %dx%d", width, height);
  }
  DeleteTexture();
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glGenTextures(1, &_textureName);
  glBindTexture(GL_TEXTURE_2D, _textureName);
  const GLint wrap = TextureRepeat ? GL_REPEAT : GL_CLAMP;
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
  GLint r = gluBuild2DMipmaps(GL_TEXTURE_2D, GL_RGB, width, height, GL_RGB, GL_UNSIGNED_BYTE,
                              pixels.get());
  pixels.reset();
  if (r != 0) {
    AK_Messagef("WARNING: could not apply texture due to OpenGL-error %s! Please try to reduce "
                "texture image size!",
                gluErrorString(static_cast<GLenum>(r)));
    DeleteTexture();
    Textured = 0;
    return 1;
  }
  double planes[8];
  if (AK_ReadNumberFile(TextureParameterPath(), planes, 8) == 0) {
    for (int i = 0; i < 4; ++i) {
      TextureParametersS[i] = static_cast<float>(planes[i]);
      TextureParametersT[i] = static_cast<float>(planes[4 + i]);
    }
  }
  Textured = 1;
  Color[0] = Color[1] = Color[2] = 1.0f;
  return 0;
}

void AK_VisibleObject::SaveTexPar()
{
  AK_String path = TextureParameterPath();
  AK_String text;
  for (const float* plane : {TextureParametersS, TextureParametersT}) {
    for (int i = 0; i < 4; ++i) text += (i ? " " : "") + AK_Precision14(plane[i]);
    text += "\n";
  }
  AK_File f = AK_File::Replacing(path);
  if (!f || std::fputs(text, f) < 0 || !f.Close()) {
    // The file before stays as it was; the command answers that the planes were not saved.
    const AK_String reason = std::strerror(errno);
    AK_Messagef("ERROR: cannot open %s", path);
    AK_ErrorText = "cannot save the texture parameters to " + path + ": " + reason;
    return;
  }
  AK_Messagef("INFO: texture parameter saved to %s", path);
}

void AK_VisibleObject::TextureFit()
{
  float min[3], max[3];
  if (!GetBoundingBox(min, max)) return;
  const double dx = max[0] - min[0], dy = max[1] - min[1];
  // A box without width or height gives no plane; the planes stay.
  if (!(dx > 0) || !(dy > 0)) return;
  const float s[4] = {static_cast<float>(1 / dx), 0, 0, static_cast<float>(-min[0] / dx + 0.0)};
  const float t[4] = {0, static_cast<float>(1 / dy), 0, static_cast<float>(-min[1] / dy + 0.0)};
  std::copy(s, s + 4, TextureParametersS);
  std::copy(t, t + 4, TextureParametersT);
}

void AK_VisibleObject::ApplyTextureReference()
{
  const double* P[3] = {TexturePosX0, TexturePosX1, TexturePosX2};
  const double* W[3] = {TextureWorldPosX0, TextureWorldPosX1, TextureWorldPosX2};
  const double D = W[1][0] * W[2][1] - W[2][0] * W[1][1] + W[2][0] * W[0][1] -
                   W[0][0] * W[2][1] + W[0][0] * W[1][1] - W[1][0] * W[0][1];
  // Collinear world points fix no plane; the planes stay.
  if (!(std::fabs(D) > 0) || !std::isfinite(D)) {
    AK_ErrorText = "the world reference points lie on one line";
    return;
  }
  auto solve = [&](const float* plane, float* out) {
    double s[3];
    for (int k = 0; k < 3; ++k) s[k] = plane[0] * P[k][0] + plane[1] * P[k][1] + plane[3];
    const double a = (s[1] * W[2][1] - s[2] * W[1][1] + s[2] * W[0][1] - s[0] * W[2][1] +
                      s[0] * W[1][1] - s[1] * W[0][1]) / D;
    const double b = (s[2] * W[1][0] - s[1] * W[2][0] + s[0] * W[2][0] - s[2] * W[0][0] +
                      s[1] * W[0][0] - s[0] * W[1][0]) / D;
    const double c = (s[0] * (W[1][0] * W[2][1] - W[2][0] * W[1][1]) +
                      s[1] * (W[2][0] * W[0][1] - W[0][0] * W[2][1]) +
                      s[2] * (W[0][0] * W[1][1] - W[1][0] * W[0][1])) / D;
    // "+ 0" so that a zero coefficient reads 0, not -0.
    out[0] = static_cast<float>(a + 0.0);
    out[1] = static_cast<float>(b + 0.0);
    out[2] = 0;
    out[3] = static_cast<float>(c + 0.0);
  };
  float s[4], t[4];
  solve(TextureParametersS, s);
  solve(TextureParametersT, t);
  std::copy(s, s + 4, TextureParametersS);
  std::copy(t, t + 4, TextureParametersT);
}

void AK_VisibleObject::AddTextureTile(const char* name)
{
  AK_Array<AK_String> tiles;
  TextureTiles.Split(AK_SEP, tiles);
  bool listed = false;
  for (const AK_String& tile : tiles) listed = listed || tile == name;
  if (!listed) tiles.Append(AK_String(name));
  TextureTiles = AK_String(tiles, AK_SEP);
}

void AK_VisibleObject::LoadTextureTiles(const char* path)
{
  AK_ComposeTextureTiles(*this, path);
}
