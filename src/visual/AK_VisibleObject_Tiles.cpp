// Composing geo-referenced image tiles into one texture image.
//
// Every tile is a PPM image with a world file (pixel steps and the centre of its upper-left
// pixel). The tiles must share the pixel steps of the first and lie on its raster; they are
// placed into one total image that grows as they come (white where no tile lies), later
// tiles over earlier ones, and the total is written with its own world file.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "AK_Files.h"
#include "AK_Ppm.h"
#include "AK_VisibleObject.h"
#include "AK_VisibleObject_Texture.h"

namespace {

constexpr int kBytesPerPixel = 3;  // 8 bits per sample only
// The largest composed image: its bytes must be counted by an int everywhere they go.
constexpr double kMaxImageBytes = 2147483647.0;

struct Vec {
  double x = 0, y = 0;
};
double Dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y; }
double Length(Vec a) { return std::sqrt(Dot(a, a)); }
double Distance(Vec a, Vec b) { return Length({a.x - b.x, a.y - b.y}); }

AK_String Pair(Vec v) { return AK_String::Format("%.15g %.15g", v.x, v.y); }

struct WorldFile {
  Vec column, row, origin;  // (A, D), (B, E), (C, F)
};

bool ReadWorldFile(const AK_String& path, WorldFile& w)
{
  double n[6];
  switch (AK_ReadNumberFile(path, n, 6)) {
    case 0: break;
    case 1: AK_ErrorText = "cannot open world file '" + path + "'"; return false;
    default: AK_ErrorText = "world file '" + path + "' does not hold six numbers"; return false;
  }
  w = {{n[0], n[1]}, {n[2], n[3]}, {n[4], n[5]}};
  return true;
}

// The pixel steps of the first tile, and the checks of the others against them.
struct Raster {
  Vec x, y, ux, uy, origin;
  double lx = 0, ly = 0;

  bool Reference(const WorldFile& w, const AK_String& path)
  {
    x = w.column;
    y = w.row;
    origin = w.origin;
    lx = Length(x);
    ly = Length(y);
    if (!(lx > 0) || !(ly > 0)) {
      AK_ErrorText = "pixel size zero in world file '" + path + "'";
      return false;
    }
    ux = {x.x / lx, x.y / lx};
    uy = {y.x / ly, y.y / ly};
    return true;
  }

  bool Matches(const WorldFile& w, const AK_String& path) const
  {
    if (Distance(w.column, x) > 1e-6) {
      AK_ErrorText = "inconsistent geo-referencing in '" + path + "', pixel-x-vector " +
                     Pair(w.column) + " does not match " + Pair(x);
      return false;
    }
    if (Distance(w.row, y) > 1e-6) {
      AK_ErrorText = "inconsistent geo-referencing in '" + path + "', pixel-y-vector " +
                     Pair(w.row) + " does not match " + Pair(y);
      return false;
    }
    // The distance to the nearest raster position, whichever side it lies on.
    Vec d = {w.origin.x - origin.x, w.origin.y - origin.y};
    double p = std::remainder(Dot(d, ux), lx), q = std::remainder(Dot(d, uy), ly);
    if (std::fabs(p) > 0.001 || std::fabs(q) > 0.001) {
      AK_ErrorText = "inconsistent pixel raster in '" + path + "', position " + Pair(w.origin) +
                     " not consistent with " + Pair(origin);
      return false;
    }
    return true;
  }
};

// An image in the pixel axes: (u, v) is its lower-left corner in world length.
struct Image {
  AK_Pixels pixels;
  int width = 0, height = 0;
  double u = 0, v = 0;
};

// Copies an image into a larger one at a row and column, clipped to the target.
void Place(const Image& from, unsigned char* to, int toWidth, int toHeight, int row, int column)
{
  for (int y = 0; y < from.height; ++y) {
    int ty = row + y;
    if (ty < 0 || ty >= toHeight) continue;
    int x0 = std::max(0, -column), x1 = std::min(from.width, toWidth - column);
    if (x1 <= x0) continue;
    std::memcpy(to + (static_cast<size_t>(ty) * toWidth + column + x0) * kBytesPerPixel,
                from.pixels.get() + (static_cast<size_t>(y) * from.width + x0) * kBytesPerPixel,
                static_cast<size_t>(x1 - x0) * kBytesPerPixel);
  }
}

bool LoadTile(const AK_String& path, Image& tile)
{
  AK_Messagef("loading texture file %s...", path);
  int depth = 0;
  unsigned char* data = nullptr;
  if (!(path.GetExtension() == "ppm") || ReadPpm(path, tile.width, tile.height, depth, data) != 0) {
    AK_ErrorText = "loading texture from file " + path + " failed - deactivating texturing!";
    return false;
  }
  tile.pixels.reset(data);
  AK_Messagef("loaded texture from file %s, size is %dx%dx%d", path, tile.width, tile.height,
              depth);
  if (depth > 8) {
    AK_ErrorText = "textures with color depth > 8 bits are not supported";
    return false;
  }
  return true;
}

// Adds a tile to the total, growing the total when the tile reaches beyond it.
bool Insert(Image& total, Image& tile, const Raster& r, int number)
{
  const double umin = std::min(total.u, tile.u), vmin = std::min(total.v, tile.v);
  const double umax = std::max(total.u + total.width * r.lx, tile.u + tile.width * r.lx);
  const double vmax = std::max(total.v + total.height * r.ly, tile.v + tile.height * r.ly);
  const double w = std::floor((umax - umin) / r.lx + 0.5), h = std::floor((vmax - vmin) / r.ly + 0.5);
  // Sizes come from the world files: checked before anything is allocated.
  if (!(w >= 1 && h >= 1 && w * h * kBytesPerPixel <= kMaxImageBytes)) {
    AK_ErrorText = AK_String::Format("composed image of %.15g x %.15g pixels is too large", w, h);
    return false;
  }
  const int width = static_cast<int>(w), height = static_cast<int>(h);
  auto row = [&](double v) { return static_cast<int>((v - vmin) / r.ly + 0.5); };
  auto column = [&](double u) { return static_cast<int>((u - umin) / r.lx + 0.5); };
  if (width != total.width || height != total.height) {
    AK_Messagef("re-setting total image size to %d x %d", width, height);
    const size_t bytes = static_cast<size_t>(width) * height * kBytesPerPixel;
    AK_Pixels grown(static_cast<unsigned char*>(std::malloc(bytes)));
    if (!grown) {
      AK_ErrorText = AK_String::Format("no memory for an image of %d x %d pixels", width, height);
      return false;
    }
    std::memset(grown.get(), 255, bytes);
    Place(total, grown.get(), width, height, row(total.v), column(total.u));
    total.pixels = std::move(grown);
  }
  AK_Messagef("inserting image %d", number);
  Place(tile, total.pixels.get(), width, height, row(tile.v), column(tile.u));
  total.width = width;
  total.height = height;
  total.u = umin;
  total.v = vmin;
  return true;
}

bool Compose(const AK_Array<AK_String>& tiles, Raster& r, Image& total)
{
  std::vector<Vec> origins;
  for (int i = 0; i < tiles.Size(); ++i) {
    WorldFile w;
    AK_String path = AK_WorldFilePath(tiles[i]);
    if (!ReadWorldFile(path, w)) return false;
    if (i == 0 ? !r.Reference(w, path) : !r.Matches(w, path)) return false;
    origins.push_back(w.origin);
  }
  // Rows counted upwards from here on.
  const Vec up = {-r.y.x, -r.y.y};
  r.uy = {-r.uy.x, -r.uy.y};
  for (int i = 0; i < tiles.Size(); ++i) {
    Image tile;
    if (!LoadTile(tiles[i], tile)) return false;
    const Vec corner = {origins[i].x - tile.height * up.x, origins[i].y - tile.height * up.y};
    tile.u = Dot(corner, r.ux);
    tile.v = Dot(corner, r.uy);
    if (i == 0) {
      total = std::move(tile);
      AK_Messagef("setting total image size to %d x %d", total.width, total.height);
    } else if (!Insert(total, tile, r, i + 1)) {
      return false;
    }
  }
  return true;
}

// False, with AK_ErrorText set, when the world file could not be written whole.
bool WriteWorldFile(const AK_String& imagePath, const Raster& r, const Image& total)
{
  const AK_String path = AK_WorldFilePath(imagePath);
  const double c = total.u * r.ux.x + total.v * r.uy.x + total.height * -r.y.x;
  const double f = total.u * r.ux.y + total.v * r.uy.y + total.height * -r.y.y;
  AK_String text;
  for (double n : {r.x.x, r.x.y, r.y.x, r.y.y, c, f}) text += AK_Precision14(n) + "\n";
  AK_File file = AK_File::Replacing(path);
  if (!file || std::fputs(text, file) < 0 || !file.Close()) {
    const AK_String reason = std::strerror(errno);
    AK_Messagef("ERROR: cannot open world file '%s'", path);
    AK_ErrorText = "cannot write world file '" + path + "': " + reason;
    return false;
  }
  AK_Messagef("geo-referencing saved to world-file '%s'", path);
  return true;
}

}  // namespace

void AK_ComposeTextureTiles(AK_VisibleObject& object, const char* path)
{
  const AK_String out(path ? path : "");
  AK_Array<AK_String> tiles;
  object.TextureTiles.Split(AK_SEP, tiles);
  if (tiles.Size() == 0) {
    AK_ErrorText = "no texture tiles to compose";
    return;
  }
  Raster r;
  Image total;
  if (!Compose(tiles, r, total)) return;

  object.JpgQuality = std::clamp(object.JpgQuality, 0, 100);
  AK_Messagef("writing image file '%s'", out);
  if (!(out.GetExtension() == "ppm") ||
      WritePpm(out, total.width, total.height, 8, total.pixels.get()) != 0) {
    AK_ErrorText = "could not write image file '" + out + "'";
    return;
  }
  // The image stands without its geo-referencing: it is still the texture, and the command
  // answers that its world file is missing.
  const bool referenced = WriteWorldFile(out, r, total);
  const AK_String failure = referenced ? AK_String() : AK_ErrorText;
  object.TextureTiles = "";
  object.SetTextureFileName(out);
  if (!referenced) AK_ErrorText = failure;
}
