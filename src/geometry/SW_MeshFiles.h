// Terrain files: the ESRI ASCII grid (reader with halving, header readers, export with the
// point list), grid tiles, the NODATA fill by multigrid interpolation and the tbp triangle
// file.
//
// The first half works on plain data (tokens, headers, height arrays) and keeps no state;
// the second half builds or writes a mesh (SW_MeshCore) with them. The mesh object's
// "Import" and "Export" call the second half and hand in its NODATA switch
// ("NumNoDataValueInterpolationIterations" nonzero: fill) and the error text of the
// command; every failure leaves its text there, every reader that fails leaves the mesh
// empty (or unchanged when the file cannot be opened), and messages go through the hook.
// Readers answer success as a bool and leave the reason of a failure in their error text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <istream>
#include <string_view>
#include <vector>

#include "AK_Basic.h"
#include "SW_MeshCore.h"

// Largest number of grid points a grid file or a tile merge may ask for: the mesh needs
// about a hundred bytes per point (vertex, normal, cell, neighbours), so this keeps a
// terrain within the memory of a working machine and all counts within 32 bits. A test
// harness with less memory may lower it.
constexpr int64_t SW_DefaultMaxGridPoints = 100000000;
extern int64_t SW_MaxGridPoints;

// Largest vertex or triangle count a tbp file may announce, for the same reason.
constexpr int64_t SW_MaxTbpItems = 100000000;

// The height that marks a grid node no tile gave a value (the nearest double).
constexpr double SW_TileNoDataHeight = -1.8725e-50;

// White-space separated tokens from a file, an input stream or a memory block. Files are
// read in blocks, so a grid of millions of values never sits in memory as text; a stream is
// read only up to the white space after each token, so it stays where the reading stopped.
// Line breaks (LF or CRLF) are white space like any other.
class SW_TokenReader {
public:
  explicit SW_TokenReader(FILE* file);  // the caller keeps and closes the file
  explicit SW_TokenReader(std::istream& in);
  SW_TokenReader(const char* data, size_t size);

  SW_TokenReader(const SW_TokenReader&) = delete;
  SW_TokenReader& operator=(const SW_TokenReader&) = delete;

  // Longest token kept whole; a longer one is reported as overlong and is never a keyword
  // or a number.
  static constexpr size_t kMaxToken = 256;

  // The next token. False at the end of the input. `overlong` is set for a token longer
  // than kMaxToken (its view then holds at most the beginning).
  bool NextToken(std::string_view& token, bool* overlong = nullptr);
  // The next token read as a finite real or as a 32-bit integer; false when the input
  // has ended or the whole token is no such number.
  bool ReadDouble(double& value);
  bool ReadInt(int32_t& value);
  // True when only white space is left.
  bool AtEnd();
  // Bytes not yet consumed, when the source knows its size (memory, regular files);
  // -1 otherwise.
  int64_t RemainingBytes() const;

private:
  bool Refill();  // moves the unread rest to the front and reads more; false at the end
  static bool IsSpace(char c)
  {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
  }

  FILE* _file = nullptr;
  std::istream* _stream = nullptr;
  std::vector<char> _storage;
  const char* _buf = nullptr;
  size_t _pos = 0;
  size_t _end = 0;
  bool _eof = false;
  int64_t _remainingAfterBuffer = -1;  // bytes of the source beyond the buffer, -1 unknown
};

// The header of an ESRI ASCII grid as read, without the half-cell shift of a corner origin.
struct SW_AsciiGridHeader {
  int32_t ncols = 0;
  int32_t nrows = 0;
  double xll = 0;
  double yll = 0;
  double cellsize = 0;
  double nodata = 0;
  int32_t corner = 0;  // 1 when "xllcorner" or "yllcorner" was given
  bool hasNcols = false, hasNrows = false, hasX = false, hasY = false, hasCellsize = false;
  // "NODATA_value" is optional in the format, and GIS tools leave it out when a raster has
  // no NODATA value: a header that has all else and goes straight on with a number ends
  // there, with the format's default NODATA value -9999, and that number is the first value.
  bool hasNodata = false;
  bool hasFirstValue = false;
  double firstValue = 0;

  // Lower-left point of the grid as the points' own centre: a corner origin moved by half a
  // cell in x and y.
  double CentreX() const { return corner ? xll + cellsize / 2 : xll; }
  double CentreY() const { return corner ? yll + cellsize / 2 : yll; }
  int64_t NumPoints() const { return static_cast<int64_t>(ncols) * nrows; }
};

// Reads keyword and value pairs until "nodata_value" and its value (keywords in any case),
// or until the first number after a header that lacks only "nodata_value". True for a
// complete header, false when a word is no keyword, a value is not a number or the input
// ends first.
bool SW_ParseAsciiGridHeader(SW_TokenReader& in, SW_AsciiGridHeader& header);

// Checks a complete header before anything is allocated: ncols and nrows present and at
// least 2, their product at most SW_MaxGridPoints, an origin in x and y, a positive finite
// cell size, finite numbers throughout and, when the remaining input size is known
// (not -1), room enough in it for all values. Answers true, or false with a text in
// `error` that names the fault.
bool SW_ValidateAsciiGridHeader(const SW_AsciiGridHeader& header, int64_t remainingBytes,
                                AK_String& error);

// Reads the ncols x nrows values of a grid (northern row first, each row from west to east)
// into `points`, given ncols * nrows entries: the point in column c and row r (from the
// south) gets index c * nrows + r and (x0 + c * cellsize, y0 + r * cellsize, value).
// Answers the number of values read; a value that fails to read is not counted and ends
// the reading. `noDataCount` counts the values equal to the NODATA value.
int64_t SW_ReadAsciiGridValues(SW_TokenReader& in, const SW_AsciiGridHeader& header, double x0,
                               double y0, AK_Array<AK_Vec3>& points, int64_t& noDataCount);

// Halves the resolution of a grid of ncols x nrows points in the vertex order above: each new
// point is the mean of a 2 x 2 block (an odd last column or row takes no part), NODATA when
// any of the four is NODATA. Updates ncols, nrows, x0, y0 (the lower-left centre) and
// cellsize. Refuses (false, nothing changed) when fewer than 2 columns or rows would remain.
bool SW_HalveGrid(AK_Array<AK_Vec3>& points, int32_t& ncols, int32_t& nrows, double& x0,
                  double& y0, double& cellsize, double noData);

// Fills every entry equal to noData in the heights of a grid of nx x ny cells ((nx + 1) x
// (ny + 1) points in the Cartesian vertex order) by recursive coarse-to-fine interpolation;
// the entries defined on entry stay bit for bit. True when done or nothing was to do, false
// with the array unchanged when its size does not match or no entry is defined (`error`
// then names the fault).
bool SW_MultigridInterpolate(int32_t nx, int32_t ny, AK_Array<double>& z, double noData,
                            AK_String* error = nullptr);

// One tile of a tile list after the header pass.
struct SW_GridTile {
  AK_String path;
  SW_AsciiGridHeader header;
  double x0 = 0, y0 = 0;  // lower-left point (centre)
  double x1 = 0, y1 = 0;  // upper-right point
};

// The merged grid laid over all usable tiles.
struct SW_TileLayout {
  double dx = 0;
  double xll[2] = {0, 0};
  double upperRight[2] = {0, 0};
  int32_t nx = 0;  // cells along x
  int32_t ny = 0;  // cells along y
};

// Computes the layout of the merged grid from tiles whose headers passed validation.
// False with `error` when the tiles ask for a grid larger than SW_MaxGridPoints or with
// fewer than 2 points in a direction.
bool SW_LayoutTiles(const AK_Array<SW_GridTile>& tiles, SW_TileLayout& layout, AK_String& error);

// Reads one tile's values into the merged heights (the layout's Cartesian vertex order);
// NODATA values of the tile are skipped, and a value whose node lies outside the merged grid
// is not written. Lowers `lowest` and raises `highest`. Answers the number of values read
// from the tile (fewer than its header promises when it is short).
int64_t SW_MergeTileValues(SW_TokenReader& in, const SW_GridTile& tile,
                           const SW_TileLayout& layout, AK_Array<double>& z, double& lowest,
                           double& highest);

// A tbp file read into plain arrays: vertices and counter-clockwise triangles (corner
// indices from 0); triangles of zero or negative projected area are dropped and counted.
struct SW_TbpData {
  double lower[3] = {0, 0, 0};
  double upper[3] = {0, 0, 0};
  AK_Array<AK_Vec3> vertices;
  AK_Array<int32_t> triangles;  // three corner indices per kept triangle
  int32_t discarded = 0;
};

// Reads a tbp file. False with `error` naming the part that failed (bounds, vertex count,
// vertices, triangle count, triangles, a corner number out of range); `data` is then empty.
bool SW_ReadTbpData(SW_TokenReader& in, SW_TbpData& data, AK_String& error);

// ---------------------------------------------------------------------------------------
// Meshes

// Replaces the mesh with the Cartesian grid of an ESRI ASCII grid file ("e00", "asc", "txt"
// and their capitals), halving its resolution `halvings` times; NODATA points are filled
// (fillNoData) or removed with their cells. True on success, false with `error` set: the
// mesh is unchanged when the file cannot be opened and empty after any other failure.
bool SW_ReadAsciiGrid(SW_MeshCore& mesh, const char* path, int halvings, int fillNoData,
                      AK_String& error);
// The same from an open token source; `name` stands for the file in the messages.
bool SW_ReadAsciiGridFrom(SW_MeshCore& mesh, SW_TokenReader& in, const char* name, int halvings,
                          int fillNoData, AK_String& error);

// Extent and cell size of a grid file without reading its data: the lower-left point as the
// header gives it (no half-cell shift) and the upper-right point (ncols - 1, nrows - 1) cells
// away. True when the header is complete and valid (the outputs are then written).
bool SW_ReadAsciiGridHeader(const char* path, double lowerLeft[2], double upperRight[2],
                            double& cellSize);
// Reads a header from a stream that is in good state, leaving the stream where the values
// begin (a header without "nodata_value" gets its first value put back when the stream can
// seek). Stores the values as read (no shift), NODATA -9999 when the header has none; the
// corner flag is 0 first and 1 when "xllcorner" or "yllcorner" was read. True when the
// header is complete and valid, as for SW_ReadAsciiGridHeader.
bool SW_ReadAsciiGridHeaderStream(std::istream& in, int32_t& ncols, int32_t& nrows, double& xll,
                                  double& yll, double& cellsize, double& nodata, int32_t& corner);

// Writes the mesh in the terrain format its path's extension chooses (SW_FileFormats.h):
// "xyz" by SW_ExportPointList, the ESRI grid extensions by SW_ExportAsciiGrid. Any other
// extension writes nothing and is an error. True when the file was written, false with
// `error` set (a previous file of that name then stays).
bool SW_ExportMesh(SW_MeshCore& mesh, const char* path, AK_String& error);
// One "x y z" line per vertex with round-trip precision.
bool SW_ExportPointList(SW_MeshCore& mesh, const char* path, AK_String& error);
// An ESRI ASCII grid sampled at the grid points (-9999 where the mesh has no cell); a mesh
// that is no Cartesian grid first gets the _nx and _ny of the whole cells covering its box.
bool SW_ExportAsciiGrid(SW_MeshCore& mesh, const char* path, AK_String& error);

// Fills the vertices of a Cartesian grid mesh whose z equals noData with heights
// interpolated from the defined ones (SW_MultigridInterpolate). True when done or nothing
// was to do, false with the mesh unchanged (and `error` set when given) when the mesh is no
// Cartesian grid or holds no defined height.
bool SW_FillNoDataAreas(SW_MeshCore& mesh, double noData, AK_String* error = nullptr);

// Gives a mesh whose _nx and _ny are set the quadrilaterals of its Cartesian grid,
// counter-clockwise, and sets its Cartesian-grid flag.
void SW_SetGridCells(SW_MeshCore& mesh);

// Last steps of the grid readers on a mesh whose vertices and grid cells are set: fills or
// removes the NODATA points, then builds neighbours and normals. False with `error` set and
// the mesh empty when no terrain is left (no defined height, or every cell removed).
bool SW_FinishGridMesh(SW_MeshCore& mesh, double noData, int fillNoData, AK_String& error);

// Merges the grid tiles of a list (paths joined by "%AK_SEP%") into one Cartesian grid mesh;
// a node that no tile gives a value is filled (fillNoData) or removed. Tiles that cannot be
// opened or whose header is incomplete or invalid are skipped with a warning. True on
// success; false with `error` set and the mesh unchanged when no tile is usable or the
// merged grid is too large, and with the mesh empty when the NODATA step leaves no terrain.
bool SW_ReadGridTiles(SW_MeshCore& mesh, const char* list, int fillNoData, AK_String& error);

// Empty the mesh, read the points of an "x y z" text file (or the POINT entities of a DXF
// file, SW_MeshPoints.h) into `_x` and triangulate them; the vertex normals stay empty. True
// on success; false with the message in `error` (the mesh unchanged) when the file cannot be
// opened.
bool SW_ReadXyz(SW_MeshCore& mesh, const char* path, AK_String& error);
bool SW_ReadDxfPoints(SW_MeshCore& mesh, const char* path, AK_String& error);

// Replaces the mesh with the triangles of a tbp file. True on success, false with `error`
// set: the mesh is unchanged when the file cannot be opened and empty after a failed read.
bool SW_ReadTbp(SW_MeshCore& mesh, const char* path, AK_String& error);
bool SW_ReadTbpFrom(SW_MeshCore& mesh, SW_TokenReader& in, const char* name, AK_String& error);
