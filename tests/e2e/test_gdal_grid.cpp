// Grids exchanged with GDAL (Debian gdal-bin): a grid that gdal_translate writes imports
// with the right vertices, and a grid we export opens in gdalinfo and gdal_translate with
// its size, origin, cell size and heights. Skipped when gdal_translate is not installed.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "SW_MeshFiles.h"
#include "TestSupport.h"

namespace {

bool HaveGdal()
{
  static const bool have =
      std::system("gdal_translate --version >/dev/null 2>&1") == 0 &&
      std::system("gdalinfo --version >/dev/null 2>&1") == 0;
  return have;
}

class GdalGrid : public ::testing::Test {
protected:
  void SetUp() override
  {
    if (!HaveGdal()) GTEST_SKIP() << "gdal_translate not installed";
  }
  std::string File(const std::string& name) const { return _dir / name; }
  static void Run(const std::string& command)
  {
    ASSERT_EQ(std::system((command + " 2>/dev/null").c_str()), 0) << command;
  }
  ScratchDir _dir;
  MessageCapture _quiet;
};

// The numbers inside the JSON array that follows the key, e.g. "size":[ 3, 4 ].
std::vector<double> JsonArray(const std::string& json, const std::string& key)
{
  std::vector<double> out;
  size_t at = json.find("\"" + key + "\"");
  if (at == std::string::npos) return out;
  size_t open = json.find('[', at), close = json.find(']', at);
  if (open == std::string::npos || close == std::string::npos || close < open) return out;
  std::string inner = json.substr(open + 1, close - open - 1);
  for (char& c : inner)
    if (c == ',') c = ' ';
  std::istringstream in(inner);
  double v;
  while (in >> v) out.push_back(v);
  return out;
}

// A 7 x 5 terrain with heights to several decimals; (x, y, z) rows from north to south.
struct Terrain {
  int ncols = 7, nrows = 5;
  double x0 = 2600000, y0 = 1200000, dx = 5;
  double Z(int c, int r) const { return 1500 + 3.25 * c - 1.125 * r + 0.0137 * c * r; }
  // GDAL's XYZ driver reads heights as 32-bit floats.
  double F(int c, int r) const { return static_cast<float>(Z(c, r)); }
};

}  // namespace

TEST_F(GdalGrid, GridWrittenByGdalTranslateImportsWithTheRightVertices)
{
  Terrain t;
  std::string xyz;
  for (int r = t.nrows - 1; r >= 0; --r)
    for (int c = 0; c < t.ncols; ++c) {
      char line[128];
      bool hole = (c == 3 && r == 2);
      std::snprintf(line, sizeof line, "%.17g %.17g %.17g\n", t.x0 + c * t.dx, t.y0 + r * t.dx,
                    hole ? -9999.0 : t.Z(c, r));
      xyz += line;
    }
  WriteFile(File("in.xyz"), xyz);
  // Without a NODATA value (GDAL then writes no "NODATA_value" line), with one, and as
  // integers with the cell size forced.
  struct Variant {
    const char* name;
    const char* options;
    bool integers;
  } variants[] = {
      {"plain", "-ot Float64", false},
      {"nodata", "-ot Float64 -a_nodata -9999", false},
      {"int16", "-ot Int16 -co FORCE_CELLSIZE=YES", true},
  };
  for (const Variant& v : variants) {
    std::string out = File(std::string(v.name) + ".asc");
    Run("gdal_translate -q -of AAIGrid " + std::string(v.options) + " '" + File("in.xyz") +
        "' '" + out + "'");
    SW_MeshCore m;
    AK_String error;
    ASSERT_EQ(SW_ReadAsciiGrid(m, out.c_str(), 0, 1, error), 1) << v.name << ": " << error.c_str()
                                                                 << "\n" << ReadFile(out);
    ASSERT_EQ(m.NumVertices(), t.ncols * t.nrows) << v.name;
    ASSERT_EQ(m.NumCells(), (t.ncols - 1) * (t.nrows - 1)) << v.name;
    EXPECT_EQ(m._dx, t.dx) << v.name;
    for (int c = 0; c < t.ncols; ++c)
      for (int r = 0; r < t.nrows; ++r) {
        const AK_Vec3& p = m._x[c * t.nrows + r];
        EXPECT_EQ(p.x, t.x0 + c * t.dx) << v.name;
        EXPECT_EQ(p.y, t.y0 + r * t.dx) << v.name;
        bool hole = c == 3 && r == 2;
        if (hole) {
          // -9999 marks no data whether GDAL wrote the NODATA value or left it to the format's
          // default: the point is filled from its four neighbours.
          auto g = [&](int cc, int rr) { return v.integers ? std::round(t.F(cc, rr)) : t.F(cc, rr); };
          double mean = (g(2, 2) + g(4, 2) + g(3, 1) + g(3, 3)) / 4;
          EXPECT_NEAR(p.z, mean, 1e-9) << v.name;
        } else if (v.integers) {
          EXPECT_EQ(p.z, std::round(t.F(c, r))) << v.name << " " << c << " " << r;
        } else {
          EXPECT_EQ(p.z, t.F(c, r)) << v.name << " " << c << " " << r;
        }
      }
  }
}

TEST_F(GdalGrid, ExportedGridOpensInGdalWithItsGeometryAndHeights)
{
  Terrain t;
  SW_MeshCore m;
  m.SetNumVertices(t.ncols * t.nrows);
  m._nx = t.ncols - 1;
  m._ny = t.nrows - 1;
  m._dx = t.dx;
  m._xll = AK_Vec2{t.x0, t.y0};
  m._upperRight = AK_Vec2{t.x0 + m._nx * t.dx, t.y0 + m._ny * t.dx};
  for (int c = 0; c < t.ncols; ++c)
    for (int r = 0; r < t.nrows; ++r)
      m._x[c * t.nrows + r] = AK_Vec3(t.x0 + c * t.dx, t.y0 + r * t.dx, t.Z(c, r));
  SW_SetGridCells(m);
  m.ComputeConnectivity();
  m.ComputeVertexNormals();

  std::string asc = File("ours.asc");
  AK_String error;
  ASSERT_TRUE(SW_ExportMesh(m, asc.c_str(), error)) << error.c_str();

  Run("gdalinfo -json '" + asc + "' > '" + File("info.json") + "'");
  std::string info = ReadFile(File("info.json"));
  std::vector<double> size = JsonArray(info, "size");
  ASSERT_EQ(size.size(), 2u) << info;
  EXPECT_EQ(size[0], t.ncols);
  EXPECT_EQ(size[1], t.nrows);
  // The geotransform gives the outer corner of the north-western cell.
  std::vector<double> gt = JsonArray(info, "geoTransform");
  ASSERT_EQ(gt.size(), 6u) << info;
  EXPECT_DOUBLE_EQ(gt[0], t.x0 - t.dx / 2);
  EXPECT_DOUBLE_EQ(gt[1], t.dx);
  EXPECT_DOUBLE_EQ(gt[3], t.y0 + (t.nrows - 1) * t.dx + t.dx / 2);
  EXPECT_DOUBLE_EQ(gt[5], -t.dx);

  Run("gdal_translate -q --config AAIGRID_DATATYPE Float64 -of XYZ '" + asc + "' '" +
      File("ours.xyz") + "'");
  std::istringstream listing(ReadFile(File("ours.xyz")));
  int lines = 0;
  double x, y, z;
  while (listing >> x >> y >> z) {
    ++lines;
    int c = static_cast<int>(std::lround((x - t.x0) / t.dx));
    int r = static_cast<int>(std::lround((y - t.y0) / t.dx));
    ASSERT_TRUE(c >= 0 && c < t.ncols && r >= 0 && r < t.nrows) << x << " " << y;
    EXPECT_NEAR(x, t.x0 + c * t.dx, 1e-6);
    EXPECT_NEAR(y, t.y0 + r * t.dx, 1e-6);
    // Heights are written with 8 significant digits; the border points carry theirs too.
    EXPECT_NEAR(z, t.Z(c, r), 1e-7 * std::fabs(t.Z(c, r))) << "column " << c << " row " << r;
  }
  EXPECT_EQ(lines, t.ncols * t.nrows);
}
