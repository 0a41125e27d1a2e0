// Grid tiles: several ESRI ASCII grids merged into one Cartesian grid over their common
// extent. Nodes that no tile covers keep SW_TileNoDataHeight for the NODATA step.
#include <cmath>
#include <memory>

#include "AK_Files.h"
#include "SW_MeshFiles.h"

bool SW_LayoutTiles(const AK_Array<SW_GridTile>& tiles, SW_TileLayout& layout, AK_String& error)
{
  if (tiles.Size() == 0) {
    error = "no usable tile";
    return false;
  }
  SW_TileLayout l;
  l.dx = tiles[0].header.cellsize;
  l.xll[0] = tiles[0].x0;
  l.xll[1] = tiles[0].y0;
  l.upperRight[0] = tiles[0].x1;
  l.upperRight[1] = tiles[0].y1;
  for (int32_t k = 1; k < tiles.Size(); ++k) {
    const SW_GridTile& t = tiles[k];
    l.xll[0] = std::fmin(l.xll[0], t.x0);
    l.xll[1] = std::fmin(l.xll[1], t.y0);
    l.upperRight[0] = std::fmax(l.upperRight[0], t.x1);
    l.upperRight[1] = std::fmax(l.upperRight[1], t.y1);
  }
  // Decide in floating point before any conversion: the box of far-apart tiles can ask for
  // more nodes than any integer holds.
  double qx = (l.upperRight[0] - l.xll[0]) / l.dx + 0.5;
  double qy = (l.upperRight[1] - l.xll[1]) / l.dx + 0.5;
  if (!(qx >= 1.0 && qy >= 1.0) || !std::isfinite(qx) || !std::isfinite(qy) ||
      (std::trunc(qx) + 1.0) * (std::trunc(qy) + 1.0) > static_cast<double>(SW_MaxGridPoints)) {
    error = AK_String::Format(
        "the tiles span a grid of %.15g x %.15g points, more than the limit of %lld or fewer "
        "than 2 x 2",
        std::trunc(qx) + 1.0, std::trunc(qy) + 1.0, static_cast<long long>(SW_MaxGridPoints));
    return false;
  }
  l.nx = static_cast<int32_t>(qx);
  l.ny = static_cast<int32_t>(qy);
  layout = l;
  return true;
}

int64_t SW_MergeTileValues(SW_TokenReader& in, const SW_GridTile& tile,
                           const SW_TileLayout& layout, AK_Array<double>& z, double& lowest,
                           double& highest)
{
  const SW_AsciiGridHeader& h = tile.header;
  const int64_t n = h.NumPoints();
  const int64_t NY = static_cast<int64_t>(layout.ny) + 1;
  int64_t read = 0;
  int32_t c = 0, r = h.nrows - 1;
  while (read < n) {
    double v = h.firstValue;
    if (!(read == 0 && h.hasFirstValue) && !in.ReadDouble(v)) break;
    ++read;
    if (v != h.nodata) {
      if (v < lowest) lowest = v;
      if (v > highest) highest = v;
      double qi = (c * h.cellsize + tile.x0 - layout.xll[0]) / layout.dx + 0.5;
      double qj = (r * h.cellsize + tile.y0 - layout.xll[1]) / layout.dx + 0.5;
      // Truncation toward zero, as the node rule has it; a node outside the grid is never
      // written.
      if (qi > -1.0 && qi < layout.nx + 1.0 && qj > -1.0 && qj < layout.ny + 1.0) {
        int64_t i = static_cast<int64_t>(qi), j = static_cast<int64_t>(qj);
        z[static_cast<int32_t>(i * NY + j)] = v;
      }
    }
    if (++c == h.ncols) {
      c = 0;
      --r;
    }
  }
  return read;
}

namespace {

// Messages name the line of the caller, not of these helpers.
void Report(const AK_String& text, AK_SourceLocation where = AK_SourceLocation::Current())
{
  AK_MessageAt(where, "%s", text.c_str());
}

void Skip(const AK_String& path, const AK_String& why, AK_SourceLocation where = AK_SourceLocation::Current())
{
  Report("WARNING:skipping tile '" + path + "': " + why, where);
}

// An open tile, positioned after its header.
struct OpenTile {
  AK_File file;
  std::unique_ptr<SW_TokenReader> in;
  OpenTile() = default;
  OpenTile(const OpenTile&) = delete;
  OpenTile& operator=(const OpenTile&) = delete;
};

// Opens a tile and reads its header; false (reported) when the tile is to be skipped.
bool OpenTileHeader(const AK_String& path, OpenTile& open, SW_GridTile& tile, bool announce)
{
  if (!AK_OpenTextInput(open.file, path)) {
    Skip(path, AK_TextInputError(path, "cannot open file"));
    return false;
  }
  if (announce) Report("reading header of tile '" + path);
  open.in = std::make_unique<SW_TokenReader>(open.file);
  SW_AsciiGridHeader h;
  AK_String invalid;
  if (!SW_ParseAsciiGridHeader(*open.in, h)) {
    Skip(path, "unkown input syntax!");
    return false;
  }
  if (!SW_ValidateAsciiGridHeader(h, -1, invalid)) {
    Skip(path, invalid);
    return false;
  }
  tile.path = path;
  tile.header = h;
  tile.x0 = h.CentreX();
  tile.y0 = h.CentreY();
  tile.x1 = tile.x0 + (h.ncols - 1) * h.cellsize;
  tile.y1 = tile.y0 + (h.nrows - 1) * h.cellsize;
  return true;
}

bool SameHeader(const SW_AsciiGridHeader& a, const SW_AsciiGridHeader& b)
{
  return a.ncols == b.ncols && a.nrows == b.nrows && a.xll == b.xll && a.yll == b.yll &&
         a.cellsize == b.cellsize && a.corner == b.corner && a.nodata == b.nodata;
}

}  // namespace

bool SW_ReadGridTiles(SW_MeshCore& mesh, const char* list, int fillNoData, AK_String& error)
{
  AK_Array<AK_String> paths;
  AK_String(list ? list : "").Split("%AK_SEP%", paths);

  // First pass: headers and the common extent.
  AK_Array<SW_GridTile> tiles;
  for (const AK_String& path : paths) {
    OpenTile open;
    SW_GridTile tile;
    if (OpenTileHeader(path, open, tile, true)) tiles.Append(tile);
  }
  if (tiles.Size() == 0) {
    error = "no usable grid tile";
    Report(error);
    return false;
  }
  SW_TileLayout layout;
  AK_String tooLarge;
  if (!SW_LayoutTiles(tiles, layout, tooLarge)) {
    error = tooLarge;
    Report(error);
    return false;
  }
  Report(AK_String::Format("total number of columns: %d, rows: %d, cell size:%g", layout.nx + 1,
                           layout.ny + 1, layout.dx));

  const int32_t NY = layout.ny + 1;
  const int32_t n = (layout.nx + 1) * NY;  // checked by the layout
  AK_Array<double> z(n);
  z.SetCount(n);
  for (int32_t k = 0; k < n; ++k) z[k] = SW_TileNoDataHeight;

  // Second pass: the values; later tiles overwrite earlier ones where they have data.
  double lowest = 1e30, highest = -1e30;
  for (const SW_GridTile& tile : tiles) {
    OpenTile open;
    SW_GridTile again;
    if (!OpenTileHeader(tile.path, open, again, false)) continue;
    if (!SameHeader(again.header, tile.header)) {
      Skip(tile.path, "its header changed while the tiles were read");
      continue;
    }
    Report("reading data of tile '" + tile.path);
    int64_t read = SW_MergeTileValues(*open.in, tile, layout, z, lowest, highest);
    if (read < tile.header.NumPoints())
      Report(AK_String::Format("WARNING:tile '%s' holds %lld of its %lld values",
                               tile.path.c_str(), static_cast<long long>(read),
                               static_cast<long long>(tile.header.NumPoints())));
  }
  Report(AK_String::Format("min. height %g, max. height %g", lowest, highest));

  mesh.SetNumVertices(n);
  mesh._nx = layout.nx;
  mesh._ny = layout.ny;
  mesh._dx = layout.dx;
  mesh._xll.x = layout.xll[0];
  mesh._xll.y = layout.xll[1];
  mesh._upperRight.x = layout.upperRight[0];
  mesh._upperRight.y = layout.upperRight[1];
  for (int32_t i = 0; i <= layout.nx; ++i)
    for (int32_t j = 0; j < NY; ++j) {
      int32_t k = i * NY + j;
      mesh._x[k] = AK_Vec3(layout.xll[0] + i * layout.dx, layout.xll[1] + j * layout.dx, z[k]);
    }
  SW_SetGridCells(mesh);
  return SW_FinishGridMesh(mesh, SW_TileNoDataHeight, fillNoData, error);
}
