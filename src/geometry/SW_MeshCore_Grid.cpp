// ESRI ASCII grids: the token reader shared by the terrain file readers, the grid header,
// the values, the halving of the resolution and number formatting.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

#include "AK_Files.h"
#include "SW_FileFormats.h"
#include "SW_MeshFiles.h"

int64_t SW_MaxGridPoints = SW_DefaultMaxGridPoints;

// ---------------------------------------------------------------------------------------
// Token reader

static constexpr size_t kBlockSize = 1 << 16;

static int64_t SizeLeftInFile(FILE* file)
{
  long here = std::ftell(file);
  if (here < 0) return -1;
  if (std::fseek(file, 0, SEEK_END) != 0) return -1;
  long end = std::ftell(file);
  if (std::fseek(file, here, SEEK_SET) != 0 || end < here) return -1;
  return static_cast<int64_t>(end - here);
}

static int64_t SizeLeftInStream(std::istream& in)
{
  if (!in.good()) return -1;
  std::streampos here = in.tellg();
  if (here == std::streampos(-1)) {
    in.clear();
    return -1;
  }
  in.seekg(0, std::ios::end);
  std::streampos end = in.tellg();
  in.clear();
  in.seekg(here);
  if (end == std::streampos(-1) || end < here) return -1;
  return static_cast<int64_t>(end - here);
}

SW_TokenReader::SW_TokenReader(FILE* file) : _file(file), _storage(kBlockSize)
{
  _buf = _storage.data();
  _remainingAfterBuffer = file ? SizeLeftInFile(file) : 0;
  if (!file) _eof = true;
}

SW_TokenReader::SW_TokenReader(std::istream& in) : _stream(&in), _storage(kBlockSize)
{
  _buf = _storage.data();
  _remainingAfterBuffer = SizeLeftInStream(in);
  if (!in.good()) _eof = true;
}

SW_TokenReader::SW_TokenReader(const char* data, size_t size)
    : _buf(data ? data : ""), _pos(0), _end(data ? size : 0), _eof(true), _remainingAfterBuffer(0)
{
}

bool SW_TokenReader::Refill()
{
  if (_eof) return false;
  size_t rest = _end - _pos;
  if (rest > 0 && _pos > 0) std::memmove(_storage.data(), _storage.data() + _pos, rest);
  _pos = 0;
  _end = rest;
  size_t room = _storage.size() - _end;
  size_t got = 0;
  if (_file) {
    got = std::fread(_storage.data() + _end, 1, room, _file);
    if (got < room) _eof = true;
  } else if (_stream) {
    // A stream is read up to the white space after the next token only, so that whoever
    // reads on after the header finds the stream where the header ended.
    bool inToken = false;
    while (got < room) {
      int c = _stream->get();
      if (c == std::char_traits<char>::eof()) {
        _eof = true;
        break;
      }
      _storage[_end + got++] = static_cast<char>(c);
      if (IsSpace(static_cast<char>(c))) {
        if (inToken) break;
      } else {
        inToken = true;
      }
    }
  } else {
    _eof = true;
  }
  if (_remainingAfterBuffer >= 0)
    _remainingAfterBuffer = std::max<int64_t>(0, _remainingAfterBuffer - static_cast<int64_t>(got));
  _end += got;
  return got > 0;
}

bool SW_TokenReader::NextToken(std::string_view& token, bool* overlong)
{
  if (overlong) *overlong = false;
  // Skip white space.
  for (;;) {
    while (_pos < _end && IsSpace(_buf[_pos])) ++_pos;
    if (_pos < _end) break;
    if (!Refill()) return false;
  }
  // Collect the token; it must end inside the buffer, so refill while it reaches the end.
  size_t len = 0;
  for (;;) {
    while (_pos + len < _end && !IsSpace(_buf[_pos + len]) && len <= kMaxToken) ++len;
    if (_pos + len < _end || len > kMaxToken) break;
    if (!Refill()) break;  // the token ends with the input
  }
  if (len > kMaxToken) {
    // Consume the rest of the overlong token. Its beginning stays valid for the caller only
    // while no refill has moved the buffer; callers only need to know it was overlong.
    if (overlong) *overlong = true;
    token = std::string_view(_buf + _pos, kMaxToken);
    _pos += len;
    for (;;) {
      while (_pos < _end && !IsSpace(_buf[_pos])) ++_pos;
      if (_pos < _end) break;
      token = std::string_view();
      if (!Refill()) break;
    }
    return true;
  }
  token = std::string_view(_buf + _pos, len);
  _pos += len;
  return true;
}

bool SW_TokenReader::ReadDouble(double& value)
{
  std::string_view token;
  bool overlong = false;
  if (!NextToken(token, &overlong) || overlong) return false;
  return AK_ParseDouble(token, value);
}

bool SW_TokenReader::ReadInt(int32_t& value)
{
  std::string_view token;
  bool overlong = false;
  if (!NextToken(token, &overlong) || overlong) return false;
  return AK_ParseInt(token, value);
}

bool SW_TokenReader::AtEnd()
{
  for (;;) {
    while (_pos < _end && IsSpace(_buf[_pos])) ++_pos;
    if (_pos < _end) return false;
    if (!Refill()) return true;
  }
}

int64_t SW_TokenReader::RemainingBytes() const
{
  if (_remainingAfterBuffer < 0) return -1;
  return _remainingAfterBuffer + static_cast<int64_t>(_end - _pos);
}

// ---------------------------------------------------------------------------------------
// Header

bool SW_ParseAsciiGridHeader(SW_TokenReader& in, SW_AsciiGridHeader& h)
{
  h.corner = 0;
  std::string_view token;
  bool overlong = false;
  while (in.NextToken(token, &overlong)) {
    if (overlong) return false;
    char word[SW_TokenReader::kMaxToken + 1];
    size_t n = token.size();
    for (size_t i = 0; i < n; ++i) {
      char c = token[i];
      word[i] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    word[n] = '\0';
    if (!std::strcmp(word, "ncols")) {
      if (!in.ReadInt(h.ncols)) return false;
      h.hasNcols = true;
    } else if (!std::strcmp(word, "nrows")) {
      if (!in.ReadInt(h.nrows)) return false;
      h.hasNrows = true;
    } else if (!std::strcmp(word, "xllcorner")) {
      if (!in.ReadDouble(h.xll)) return false;
      h.hasX = true;
      h.corner = 1;
    } else if (!std::strcmp(word, "yllcorner")) {
      if (!in.ReadDouble(h.yll)) return false;
      h.hasY = true;
      h.corner = 1;
    } else if (!std::strcmp(word, "xllcenter")) {
      if (!in.ReadDouble(h.xll)) return false;
      h.hasX = true;
    } else if (!std::strcmp(word, "yllcenter")) {
      if (!in.ReadDouble(h.yll)) return false;
      h.hasY = true;
    } else if (!std::strcmp(word, "cellsize")) {
      if (!in.ReadDouble(h.cellsize)) return false;
      h.hasCellsize = true;
    } else if (!std::strcmp(word, "nodata_value")) {
      if (!in.ReadDouble(h.nodata)) return false;
      h.hasNodata = true;
      return true;
    } else if (h.hasNcols && h.hasNrows && h.hasX && h.hasY && h.hasCellsize &&
               AK_ParseDouble(token, h.firstValue)) {
      h.nodata = -9999;
      h.hasFirstValue = true;
      return true;
    } else {
      return false;
    }
  }
  return false;
}

bool SW_ValidateAsciiGridHeader(const SW_AsciiGridHeader& h, int64_t remainingBytes,
                                AK_String& error)
{
  if (!h.hasNcols || !h.hasNrows) {
    error = "invalid grid header: ncols or nrows missing";
    return false;
  }
  if (h.ncols < 2 || h.nrows < 2) {
    error = AK_String::Format("invalid grid header: %d x %d points, at least 2 x 2 needed",
                              h.ncols, h.nrows);
    return false;
  }
  if (h.NumPoints() > SW_MaxGridPoints) {
    error = AK_String::Format("invalid grid header: %d x %d points exceed the limit of %lld",
                              h.ncols, h.nrows, static_cast<long long>(SW_MaxGridPoints));
    return false;
  }
  if (!h.hasX || !h.hasY) {
    error = "invalid grid header: lower-left x or y missing";
    return false;
  }
  if (!h.hasCellsize || !(h.cellsize > 0) || !std::isfinite(h.cellsize)) {
    error = "invalid grid header: cellsize missing or not positive";
    return false;
  }
  double x1 = h.CentreX() + (h.ncols - 1) * h.cellsize;
  double y1 = h.CentreY() + (h.nrows - 1) * h.cellsize;
  if (!std::isfinite(x1) || !std::isfinite(y1)) {
    error = "invalid grid header: grid extent out of range";
    return false;
  }
  // Every value takes at least one character and one separator (the last one none).
  const int64_t toRead = h.NumPoints() - (h.hasFirstValue ? 1 : 0);
  if (remainingBytes >= 0 && remainingBytes < 2 * toRead - 1) {
    error = AK_String::Format(
        "wrong number of z-values (file too short for %lld values) in file!",
        static_cast<long long>(h.NumPoints()));
    return false;
  }
  return true;
}

// ---------------------------------------------------------------------------------------
// Values and halving

int64_t SW_ReadAsciiGridValues(SW_TokenReader& in, const SW_AsciiGridHeader& h, double x0,
                               double y0, AK_Array<AK_Vec3>& points, int64_t& noDataCount)
{
  const int64_t n = h.NumPoints();
  const int32_t ncols = h.ncols, nrows = h.nrows;
  noDataCount = 0;
  int64_t stored = 0;
  int32_t c = 0, r = nrows - 1;
  while (stored < n) {
    double v = h.firstValue;
    if (!(stored == 0 && h.hasFirstValue) && !in.ReadDouble(v)) break;
    AK_Vec3& p = points[static_cast<int32_t>(static_cast<int64_t>(c) * nrows + r)];
    p.x = x0 + c * h.cellsize;
    p.y = y0 + r * h.cellsize;
    p.z = v;
    if (v == h.nodata) ++noDataCount;
    ++stored;
    if (++c == ncols) {
      c = 0;
      --r;
    }
  }
  return stored;
}

bool SW_HalveGrid(AK_Array<AK_Vec3>& points, int32_t& ncols, int32_t& nrows, double& x0,
                  double& y0, double& cellsize, double noData)
{
  const int32_t nc = ncols / 2, nr = nrows / 2;
  if (nc < 2 || nr < 2) return false;
  AK_Array<AK_Vec3> coarse(nc * nr);
  coarse.SetCount(nc * nr);
  for (int32_t c = 0; c < nc; ++c)
    for (int32_t r = 0; r < nr; ++r) {
      const AK_Vec3& a = points[2 * c * nrows + 2 * r];
      const AK_Vec3& b = points[2 * c * nrows + 2 * r + 1];
      const AK_Vec3& d = points[(2 * c + 1) * nrows + 2 * r];
      const AK_Vec3& e = points[(2 * c + 1) * nrows + 2 * r + 1];
      AK_Vec3 m = (a + b + d + e) * 0.25;
      if (a.z == noData || b.z == noData || d.z == noData || e.z == noData) m.z = noData;
      coarse[c * nr + r] = m;
    }
  points = std::move(coarse);
  ncols = nc;
  nrows = nr;
  x0 += cellsize / 2;
  y0 += cellsize / 2;
  cellsize *= 2;
  return true;
}

// ---------------------------------------------------------------------------------------
// Grid meshes

namespace {

void Report(const AK_String& text) { AK_MESSAGE(text.c_str()); }

bool Fail(SW_MeshCore& mesh, AK_String& error, const AK_String& text)
{
  Report(text);
  error = text;
  mesh.ClearGeometry();
  return false;
}

}  // namespace

void SW_SetGridCells(SW_MeshCore& mesh)
{
  const int32_t nx = mesh._nx, ny = mesh._ny;
  const int32_t n = nx * ny;
  mesh._lcv.Reserve(n);
  mesh._lcv.SetCount(n);
  for (int32_t i = 0; i < nx; ++i)
    for (int32_t j = 0; j < ny; ++j)
      mesh._lcv[i * ny + j] = AK_Index4(i * (ny + 1) + j, (i + 1) * (ny + 1) + j,
                                        (i + 1) * (ny + 1) + j + 1, i * (ny + 1) + j + 1);
  mesh._cartesian = 1;
}

namespace {

void SetGridMembers(SW_MeshCore& mesh, int32_t ncols, int32_t nrows, double x0, double y0,
                    double cellsize)
{
  mesh._nx = ncols - 1;
  mesh._ny = nrows - 1;
  mesh._dx = cellsize;
  mesh._xll.x = x0;
  mesh._xll.y = y0;
  mesh._upperRight.x = x0 + (ncols - 1) * cellsize;
  mesh._upperRight.y = y0 + (nrows - 1) * cellsize;
}

}  // namespace

// Fills or removes the NODATA points of a freshly built grid, then builds neighbours and
// normals. Shared with the tile reader.
bool SW_FinishGridMesh(SW_MeshCore& mesh, double noData, int fillNoData, AK_String& error)
{
  if (fillNoData) {
    if (!SW_FillNoDataAreas(mesh, noData, &error)) {
      mesh.ClearGeometry();
      return false;
    }
  } else {
    mesh.RemoveNoDataCells(noData);
    if (mesh.NumCells() == 0) {
      error = "no cell of the grid has heights at all its corners";
      Report(error);
      mesh.ClearGeometry();
      return false;
    }
  }
  mesh.ComputeConnectivity();
  mesh.ComputeVertexNormals();
  Report(AK_String::Format("%d cells generated", mesh.NumCells()));
  return true;
}

bool SW_ReadAsciiGridFrom(SW_MeshCore& mesh, SW_TokenReader& in, const char* name, int halvings,
                          int fillNoData, AK_String& error)
{
  mesh.ClearGeometry();
  Report(AK_String("reading file '") + name + "'...");

  SW_AsciiGridHeader h;
  if (!SW_ParseAsciiGridHeader(in, h)) return Fail(mesh, error, "unkown input syntax!");
  AK_String invalid;
  if (!SW_ValidateAsciiGridHeader(h, -1, invalid)) return Fail(mesh, error, invalid);

  int32_t ncols = h.ncols, nrows = h.nrows;
  double x0 = h.CentreX(), y0 = h.CentreY(), cellsize = h.cellsize;
  const int32_t n = ncols * nrows;  // validated: within SW_MaxGridPoints
  if (!SW_ValidateAsciiGridHeader(h, in.RemainingBytes(), invalid)) {
    // The rest of the file cannot hold n values: count the ones it holds instead of making
    // room for all of them.
    Report(AK_String::Format("reading %d z-values...", n));
    int64_t stored = h.hasFirstValue ? 1 : 0;
    double v;
    while (stored < n && in.ReadDouble(v)) ++stored;
    return Fail(mesh, error,
                AK_String::Format("wrong number of z-values (%lld instead of expected %d) in file!",
                                  static_cast<long long>(stored), n));
  }
  SetGridMembers(mesh, ncols, nrows, x0, y0, cellsize);
  mesh._x.Reserve(n);
  mesh._x.SetCount(n);
  Report(AK_String::Format("reading %d z-values...", n));

  int64_t noDataCount = 0;
  int64_t stored = SW_ReadAsciiGridValues(in, h, x0, y0, mesh._x, noDataCount);
  if (stored < n)
    return Fail(mesh, error,
                AK_String::Format("wrong number of z-values (%lld instead of expected %d) in file!",
                                  static_cast<long long>(stored), n));
  Report("correct number of z-values read");
  Report(AK_String::Format("%lld NODATA values read", static_cast<long long>(noDataCount)));

  for (int k = 0; k < halvings; ++k) {
    Report("reducing resolution...");
    if (!SW_HalveGrid(mesh._x, ncols, nrows, x0, y0, cellsize, h.nodata)) {
      // Halving once more would leave a single column or row: keep what we have.
      Report(AK_String::Format(
          "WARNING:cannot reduce the resolution of a grid of %d x %d points any further", ncols,
          nrows));
      break;
    }
    SetGridMembers(mesh, ncols, nrows, x0, y0, cellsize);
  }
  SW_SetGridCells(mesh);
  return SW_FinishGridMesh(mesh, h.nodata, fillNoData, error);
}

bool SW_ReadAsciiGrid(SW_MeshCore& mesh, const char* path, int halvings, int fillNoData,
                      AK_String& error)
{
  AK_File f;
  if (!AK_OpenTextInput(f, path)) {
    error = AK_TextInputError(path, AK_String("cannot open file '") + path + "'!");
    Report(error);
    return false;
  }
  SW_TokenReader in(f);
  return SW_ReadAsciiGridFrom(mesh, in, path, halvings, fillNoData, error);
}

namespace {

// The one answer of the stand-alone header readers: complete (with or without
// "nodata_value", which then is -9999) and valid.
bool ReadValidHeader(SW_TokenReader& in, SW_AsciiGridHeader& h)
{
  AK_String invalid;
  return SW_ParseAsciiGridHeader(in, h) && SW_ValidateAsciiGridHeader(h, -1, invalid);
}

// A header without "nodata_value" ends at the first value, which the token reader has taken
// from the stream with at most one blank after it: a stream that can seek gets it back, so
// that it stands at the values as after a "nodata_value".
void UnreadFirstValue(std::istream& stream)
{
  stream.clear();
  std::streamoff at = stream.tellg();
  if (at < 0) return;
  auto blankBefore = [&](std::streamoff i) {
    stream.seekg(i - 1);
    int c = stream.peek();
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
  };
  if (at > 0 && blankBefore(at)) --at;
  while (at > 0 && !blankBefore(at)) --at;
  stream.clear();
  stream.seekg(at);
}

}  // namespace

bool SW_ReadAsciiGridHeader(const char* path, double lowerLeft[2], double upperRight[2],
                            double& cellSize)
{
  AK_File f;
  if (!AK_OpenTextInput(f, path)) return false;
  SW_TokenReader in(f);
  SW_AsciiGridHeader h;
  bool ok = ReadValidHeader(in, h);
  if (!ok) return false;
  lowerLeft[0] = h.xll;
  lowerLeft[1] = h.yll;
  upperRight[0] = h.xll + (h.ncols - 1) * h.cellsize;
  upperRight[1] = h.yll + (h.nrows - 1) * h.cellsize;
  cellSize = h.cellsize;
  return true;
}

bool SW_ReadAsciiGridHeaderStream(std::istream& stream, int32_t& ncols, int32_t& nrows,
                                  double& xll, double& yll, double& cellsize, double& nodata,
                                  int32_t& corner)
{
  corner = 0;
  if (!stream.good()) return false;
  SW_TokenReader in(stream);
  SW_AsciiGridHeader h;
  bool ok = ReadValidHeader(in, h);
  if (h.hasFirstValue) UnreadFirstValue(stream);
  if (h.hasNcols) ncols = h.ncols;
  if (h.hasNrows) nrows = h.nrows;
  if (h.hasX) xll = h.xll;
  if (h.hasY) yll = h.yll;
  if (h.hasCellsize) cellsize = h.cellsize;
  if (h.hasNodata || h.hasFirstValue) nodata = h.nodata;
  corner = h.corner;
  return ok ? 1 : 0;
}

// ---------------------------------------------------------------------------------------
// Export

namespace {

// The cell that holds a grid point for the export. The Cartesian cell search leaves the
// northern row and the eastern column of the grid box outside every cell; those points lie
// on the last cell's border, and they take their values from there. Grids of square cells
// only: the mesh object samples a grid of oblong cells on square cells before it exports.
int32_t ExportCell(const SW_MeshCore& mesh, double x, double y)
{
  int32_t c = mesh.FindCell(x, y, -1);
  if (c >= 0 || !mesh._cartesian || mesh._nx < 1 || mesh._ny < 1) return c;
  double qi = (x - mesh._xll.x) / mesh._dx, qj = (y - mesh._xll.y) / mesh._dx;
  if (!(qi > -1.0 && qi < mesh._nx + 1.0 && qj > -1.0 && qj < mesh._ny + 1.0)) return -1;
  int32_t i = static_cast<int32_t>(qi), j = static_cast<int32_t>(qj);
  if (i == mesh._nx) i = mesh._nx - 1;
  if (j == mesh._ny) j = mesh._ny - 1;
  return i * mesh._ny + j;
}

bool WriteText(FILE* f, const char* text) { return std::fputs(text, f) >= 0; }

bool WritePointList(const SW_MeshCore& mesh, FILE* f)
{
  bool ok = true;
  for (int32_t v = 0; v < mesh.NumVertices() && ok; ++v) {
    const AK_Vec3& p = mesh._x[v];
    AK_String line = AK_FormatRoundTrip(p.x) + " " + AK_FormatRoundTrip(p.y) + " " +
                     AK_FormatRoundTrip(p.z) + "\n";
    ok = WriteText(f, line.c_str());
  }
  return ok;
}

bool WriteGrid(const SW_MeshCore& mesh, FILE* f)
{
  const double dx = mesh._dx;
  bool ok = WriteText(f, AK_String::Format("ncols         %d\n", mesh._nx + 1)) &&
            WriteText(f, AK_String::Format("nrows         %d\n", mesh._ny + 1)) &&
            WriteText(f, ("xllcenter     " + AK_FormatGeneral(mesh._xll.x, 10) + "\n").c_str()) &&
            WriteText(f, ("yllcenter     " + AK_FormatGeneral(mesh._xll.y, 10) + "\n").c_str()) &&
            WriteText(f, ("cellsize      " + AK_FormatGeneral(dx, 10) + "\n").c_str()) &&
            WriteText(f, "NODATA_value  -9999\n");
  std::string row;
  for (int32_t j = mesh._ny; j >= 0 && ok; --j) {
    const double y = mesh._xll.y + j * dx;
    row.clear();
    for (int32_t i = 0; i <= mesh._nx; ++i) {
      const double x = mesh._xll.x + i * dx;
      int32_t c = ExportCell(mesh, x, y);
      if (c < 0) {
        row += "-9999 ";
        continue;
      }
      double w[4];
      mesh.CellWeights(c, x, y, w);
      AK_Vec3 p = mesh.InterpolateVertexVector(c, w, mesh._x);
      char value[40];
      std::snprintf(value, sizeof value, "%.8g ", p.z);
      row += value;
    }
    row += '\n';
    ok = std::fwrite(row.data(), 1, row.size(), f) == row.size();
  }
  return ok;
}

// Writes the file through a replacing file, so that a failed write leaves a previous file.
template <class Write>
bool WriteMeshFile(const SW_MeshCore& mesh, const char* path, AK_String& error, Write write)
{
  AK_File f = AK_File::Replacing(path, "w");
  if (!f) {
    error = AK_String("cannot open file '") + path + "'";
    return false;
  }
  Report(AK_String("writing '") + path + "'...");
  bool ok = write(mesh, f);
  ok = ok && f.Close();
  if (!ok) {
    error = AK_String("cannot write file '") + path + "'";
    Report(error);
    return false;
  }
  Report(AK_String("exported to '") + path + "'");
  return true;
}

}  // namespace

bool SW_ExportPointList(SW_MeshCore& mesh, const char* path, AK_String& error)
{
  return WriteMeshFile(mesh, path, error, WritePointList);
}

bool SW_ExportAsciiGrid(SW_MeshCore& mesh, const char* path, AK_String& error)
{
  if (!mesh._cartesian) {
    // Cover the mesh's box with whole cells.
    double qx = (mesh._upperRight.x - mesh._xll.x) / mesh._dx + 1.0;
    double qy = (mesh._upperRight.y - mesh._xll.y) / mesh._dx + 1.0;
    if (!(mesh._dx > 0) || !(qx >= 1.0 && qy >= 1.0) ||
        !((std::trunc(qx) + 1.0) * (std::trunc(qy) + 1.0) <= static_cast<double>(SW_MaxGridPoints))) {
      error = AK_String("cannot export '") + path + "': the mesh's grid box is empty or too large";
      Report(error);
      return false;
    }
    mesh._nx = static_cast<int32_t>(qx);
    mesh._ny = static_cast<int32_t>(qy);
  }
  return WriteMeshFile(mesh, path, error, WriteGrid);
}

bool SW_ExportMesh(SW_MeshCore& mesh, const char* path, AK_String& error)
{
  const SW_FileFormatEntry& format = SW_FileFormatOf(path);
  if (!format.writeTerrain) {
    error = AK_String("cannot export to '") + path + "': unknown file extension";
    Report(error);
    return false;
  }
  return format.writeTerrain(mesh, path, error);
}
