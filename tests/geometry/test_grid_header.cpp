// The ESRI ASCII grid header, its validation, value reading, halving and number formats,
// over plain data.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>

#include "SW_MeshFiles.h"
#include "test_grid_support.h"

namespace {

struct HeaderCase {
  const char* name;
  const char* text;
  int complete;
  int ncols, nrows;
  double xll, yll, cellsize, nodata;
  int corner;
};

}  // namespace

TEST(GridHeader, ParsesTheWaysToolsWriteIt)
{
  const HeaderCase cases[] = {
      {"lower case", "ncols 4\nnrows 3\nxllcorner 10\nyllcorner 20\ncellsize 5\nnodata_value -9999\n1",
       1, 4, 3, 10, 20, 5, -9999, 1},
      {"upper case", "NCOLS 4\nNROWS 3\nXLLCENTER 10\nYLLCENTER 20\nCELLSIZE 5\nNODATA_VALUE -1\n",
       1, 4, 3, 10, 20, 5, -1, 0},
      {"mixed case", "ncols 4\nnrows 3\nxllCorner 1.5\nyllCorner -2.5\ncellsize 0.5\nNODATA_value 0\n",
       1, 4, 3, 1.5, -2.5, 0.5, 0, 1},
      {"CRLF and leading blanks",
       "  ncols         4\r\n   nrows 3\r\n\txllcenter 100.25\r\nyllcenter 200.5\r\ncellsize 2\r\nNODATA_value -9999\r\n",
       1, 4, 3, 100.25, 200.5, 2, -9999, 0},
      {"any order, repeats", "cellsize 3 nrows 9 ncols 8 nrows 7 yllcenter 1 xllcenter 2 nodata_value 5",
       1, 8, 7, 2, 1, 3, 5, 0},
      {"one corner keyword is enough", "ncols 2 nrows 2 xllcenter 0 yllcorner 0 cellsize 1 nodata_value 0",
       1, 2, 2, 0, 0, 1, 0, 1},
      {"signed and exponent values", "ncols +4 nrows 3 xllcorner 2.6e6 yllcorner +1.2E+06 cellsize 1e1 nodata_value -3.4028234663852886e+38",
       1, 4, 3, 2.6e6, 1.2e6, 10, -3.4028234663852886e+38, 1},
      // The format's default NODATA value when a tool leaves the keyword out.
      {"no nodata_value", "ncols 4\nnrows 3\nxllcorner 0\nyllcorner 0\ncellsize 5\n 1.0 2 3 4\n", 1, 4, 3, 0, 0, 5, -9999, 1},
      {"no nodata_value, no cellsize", "ncols 4\nnrows 3\nxllcorner 0\nyllcorner 0\n1 2 3 4\n", 0, 0, 0, 0, 0, 0, 0, 0},
      {"empty file", "", 0, 0, 0, 0, 0, 0, 0, 0},
      {"unknown keyword", "ncols 4 nrows 3 dx 5 nodata_value 0", 0, 0, 0, 0, 0, 0, 0, 0},
      {"ncols not an integer", "ncols 4.5 nrows 3 nodata_value 0", 0, 0, 0, 0, 0, 0, 0, 0},
      {"value missing at end", "ncols 4 nrows 3 nodata_value", 0, 0, 0, 0, 0, 0, 0, 0},
      {"nan cell size", "ncols 4 nrows 3 cellsize nan nodata_value 0", 0, 0, 0, 0, 0, 0, 0, 0},
      {"ncols overflows", "ncols 99999999999 nrows 3 nodata_value 0", 0, 0, 0, 0, 0, 0, 0, 0},
  };
  for (const HeaderCase& c : cases) {
    SW_TokenReader in(c.text, std::strlen(c.text));
    SW_AsciiGridHeader h;
    ASSERT_EQ(SW_ParseAsciiGridHeader(in, h), c.complete) << c.name;
    if (!c.complete) continue;
    EXPECT_EQ(h.ncols, c.ncols) << c.name;
    EXPECT_EQ(h.nrows, c.nrows) << c.name;
    EXPECT_EQ(h.xll, c.xll) << c.name;
    EXPECT_EQ(h.yll, c.yll) << c.name;
    EXPECT_EQ(h.cellsize, c.cellsize) << c.name;
    EXPECT_EQ(h.nodata, c.nodata) << c.name;
    EXPECT_EQ(h.corner, c.corner) << c.name;
    EXPECT_EQ(h.hasFirstValue, !std::strstr(c.text, "odata_") && !std::strstr(c.text, "ODATA_"))
        << c.name;
  }
}

TEST(GridHeader, OverlongWordIsNoKeyword)
{
  std::string text = "ncols 4 nrows 3 " + std::string(5000, 'x') + " nodata_value 0";
  SW_TokenReader in(text.data(), text.size());
  SW_AsciiGridHeader h;
  EXPECT_EQ(SW_ParseAsciiGridHeader(in, h), 0);
}

TEST(GridHeader, StreamAndFileReadersAgree)
{
  const std::string text = "ncols 3\r\nnrows 2\r\nxllcorner 1\r\nyllcorner 2\r\ncellsize 4\r\nNODATA_value -9\r\n"
                           "1 2 3\r\n4 5 6\r\n";
  std::istringstream stream(text);
  SW_TokenReader a(stream);
  SW_AsciiGridHeader ha;
  ASSERT_EQ(SW_ParseAsciiGridHeader(a, ha), 1);
  SW_TempDir dir;
  std::string path = dir.Write("g.asc", text);
  FILE* f = AK_FileOpen(path.c_str(), "r");
  ASSERT_TRUE(f);
  SW_TokenReader b(f);
  SW_AsciiGridHeader hb;
  ASSERT_EQ(SW_ParseAsciiGridHeader(b, hb), 1);
  EXPECT_EQ(a.RemainingBytes(), b.RemainingBytes());
  EXPECT_EQ(b.RemainingBytes(), 16);
  std::fclose(f);
  EXPECT_EQ(ha.ncols, hb.ncols);
  EXPECT_EQ(ha.nodata, hb.nodata);
}

TEST(GridHeader, TokensLongerThanOneBlockAreReadWhole)
{
  // Numbers that straddle the reader's block boundary must come out whole.
  std::string text;
  std::vector<double> values;
  for (int k = 0; text.size() < 300000; ++k) {
    double v = k * 1.0000001 + 0.123456789;
    values.push_back(v);
    text += SW_FormatRoundTrip(v).c_str();
    text += (k % 7 == 0) ? "\r\n" : " \t ";
  }
  std::istringstream stream(text);
  SW_TokenReader in(stream);
  for (size_t k = 0; k < values.size(); ++k) {
    double v;
    ASSERT_TRUE(in.ReadDouble(v)) << k;
    ASSERT_EQ(v, values[k]) << k;
  }
  EXPECT_TRUE(in.AtEnd());
}

struct ValidationCase {
  const char* name;
  const char* text;
  bool valid;
};

TEST(GridHeader, HostileHeadersAreRejectedBeforeAllocation)
{
  const ValidationCase cases[] = {
      {"fine", "ncols 2 nrows 2 xllcenter 0 yllcenter 0 cellsize 1 nodata_value 0 1 2 3 4", true},
      {"ncols missing", "nrows 2 xllcenter 0 yllcenter 0 cellsize 1 nodata_value 0 1 2 3 4", false},
      {"nrows missing", "ncols 2 xllcenter 0 yllcenter 0 cellsize 1 nodata_value 0 1 2 3 4", false},
      {"single column", "ncols 1 nrows 4 xllcenter 0 yllcenter 0 cellsize 1 nodata_value 0 1 2 3 4", false},
      {"single row", "ncols 4 nrows 1 xllcenter 0 yllcenter 0 cellsize 1 nodata_value 0 1 2 3 4", false},
      {"zero", "ncols 0 nrows 0 xllcenter 0 yllcenter 0 cellsize 1 nodata_value 0", false},
      {"negative", "ncols -5 nrows 10 xllcenter 0 yllcenter 0 cellsize 1 nodata_value 0", false},
      {"product overflows", "ncols 2000000000 nrows 2000000000 xllcenter 0 yllcenter 0 cellsize 1 nodata_value 0", false},
      {"product beyond the limit", "ncols 20000 nrows 20000 xllcenter 0 yllcenter 0 cellsize 1 nodata_value 0", false},
      {"x origin missing", "ncols 2 nrows 2 yllcenter 0 cellsize 1 nodata_value 0 1 2 3 4", false},
      {"y origin missing", "ncols 2 nrows 2 xllcorner 0 cellsize 1 nodata_value 0 1 2 3 4", false},
      {"cellsize missing", "ncols 2 nrows 2 xllcenter 0 yllcenter 0 nodata_value 0 1 2 3 4", false},
      {"cellsize zero", "ncols 2 nrows 2 xllcenter 0 yllcenter 0 cellsize 0 nodata_value 0 1 2 3 4", false},
      {"cellsize negative", "ncols 2 nrows 2 xllcenter 0 yllcenter 0 cellsize -1 nodata_value 0 1 2 3 4", false},
      {"extent overflows", "ncols 2 nrows 2 xllcenter 1e308 yllcenter 0 cellsize 1e308 nodata_value 0 1 2 3 4", false},
      {"file too short for the values", "ncols 3000 nrows 3000 xllcenter 0 yllcenter 0 cellsize 1 nodata_value 0 1 2 3 4", false},
  };
  for (const ValidationCase& c : cases) {
    SW_TokenReader in(c.text, std::strlen(c.text));
    SW_AsciiGridHeader h;
    ASSERT_EQ(SW_ParseAsciiGridHeader(in, h), 1) << c.name;
    AK_String error;
    EXPECT_EQ(SW_ValidateAsciiGridHeader(h, in.RemainingBytes(), error), c.valid) << c.name;
    EXPECT_EQ(error.IsEmpty(), c.valid) << c.name << ": " << error.c_str();
  }
}

TEST(GridValues, PlacesValuesFromTheNorthWestAndStopsAtAFailedRead)
{
  const char* text = "ncols 3 nrows 2 xllcorner 0 yllcorner 0 cellsize 10 nodata_value -1\n"
                     "1 2 3\n4 -1 6\n";
  SW_TokenReader in(text, std::strlen(text));
  SW_AsciiGridHeader h;
  ASSERT_EQ(SW_ParseAsciiGridHeader(in, h), 1);
  AK_Array<AK_Vec3> p(6);
  p.SetCount(6);
  int64_t noData = 0;
  EXPECT_EQ(SW_ReadAsciiGridValues(in, h, h.CentreX(), h.CentreY(), p, noData), 6);
  EXPECT_EQ(noData, 1);
  // Index c * nrows + r, r counted from the south.
  const double expected[6][3] = {{5, 5, 4}, {5, 15, 1}, {15, 5, -1}, {15, 15, 2}, {25, 5, 6}, {25, 15, 3}};
  for (int k = 0; k < 6; ++k) {
    EXPECT_EQ(p[k].x, expected[k][0]) << k;
    EXPECT_EQ(p[k].y, expected[k][1]) << k;
    EXPECT_EQ(p[k].z, expected[k][2]) << k;
  }

  // One value short, with white space after the last one: five values, not six.
  const char* shortText = "ncols 3 nrows 2 xllcenter 0 yllcenter 0 cellsize 1 nodata_value -1 1 2 3 4 5 \n";
  SW_TokenReader in2(shortText, std::strlen(shortText));
  ASSERT_EQ(SW_ParseAsciiGridHeader(in2, h), 1);
  EXPECT_EQ(SW_ReadAsciiGridValues(in2, h, 0, 0, p, noData), 5);

  // A value that is no number ends the reading and is not counted.
  const char* badText = "ncols 3 nrows 2 xllcenter 0 yllcenter 0 cellsize 1 nodata_value -1 1 2 x 4 5 6";
  SW_TokenReader in3(badText, std::strlen(badText));
  ASSERT_EQ(SW_ParseAsciiGridHeader(in3, h), 1);
  EXPECT_EQ(SW_ReadAsciiGridValues(in3, h, 0, 0, p, noData), 2);
}

TEST(GridValues, HalvingAveragesBlocksAndDropsTheOddRest)
{
  // 5 x 5 points, z = 10 * column + row, one NODATA point in the block of new point (1, 0).
  int ncols = 5, nrows = 5;
  AK_Array<AK_Vec3> p(25);
  p.SetCount(25);
  for (int c = 0; c < 5; ++c)
    for (int r = 0; r < 5; ++r) p[c * 5 + r] = AK_Vec3(100 + c * 2.0, 200 + r * 2.0, 10.0 * c + r);
  p[3 * 5 + 1].z = -9999;
  double x0 = 100, y0 = 200, cs = 2;
  ASSERT_TRUE(SW_HalveGrid(p, ncols, nrows, x0, y0, cs, -9999));
  EXPECT_EQ(ncols, 2);
  EXPECT_EQ(nrows, 2);
  EXPECT_EQ(p.Size(), 4);
  EXPECT_EQ(x0, 101);
  EXPECT_EQ(y0, 201);
  EXPECT_EQ(cs, 4);
  // New point (c, r) is the mean of old columns 2c, 2c+1 and rows 2r, 2r+1.
  EXPECT_EQ(p[0].x, 101);
  EXPECT_EQ(p[0].y, 201);
  EXPECT_EQ(p[0].z, 5.5);    // 0, 1, 10, 11
  EXPECT_EQ(p[1].z, 7.5);    // 2, 3, 12, 13
  EXPECT_EQ(p[2].z, -9999);  // holds old (3, 1)
  EXPECT_EQ(p[3].z, 27.5);   // 22, 23, 32, 33
  EXPECT_EQ(p[3].x, 105);
  EXPECT_EQ(p[3].y, 205);

  // Two or three points in a direction would leave a single column: refused, nothing changed.
  ASSERT_FALSE(SW_HalveGrid(p, ncols, nrows, x0, y0, cs, -9999));
  EXPECT_EQ(ncols, 2);
  EXPECT_EQ(p.Size(), 4);
  EXPECT_EQ(cs, 4);
}

TEST(NumberFormats, GeneralNotationAndRoundTrip)
{
  struct Case {
    double v;
    int digits;
    const char* text;
  };
  const Case cases[] = {
      {123.456789, 6, "123.457"},   {123.456789, 10, "123.456789"}, {123.456789, 8, "123.45679"},
      {2600015.5, 6, "2.60002e+06"}, {2600015.5, 10, "2600015.5"},  {0.0001, 8, "0.0001"},
      {0.00001, 8, "1e-05"},        {1500, 8, "1500"},              {100000000, 8, "1e+08"},
  };
  for (const Case& c : cases) EXPECT_STREQ(SW_FormatGeneral(c.v, c.digits).c_str(), c.text);

  const double samples[] = {2600015.5, 0.1, 1.0 / 3.0, -1234567.890123456, 1e-300, 6.02214076e23, 0};
  for (double v : samples) {
    AK_String text = SW_FormatRoundTrip(v);
    double back = std::strtod(text.c_str(), nullptr);
    EXPECT_EQ(back, v) << text.c_str();
  }
  EXPECT_STREQ(SW_FormatRoundTrip(2600015.5).c_str(), "2600015.5");
}
