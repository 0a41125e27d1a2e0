// Line files: exact writer output, round trips over random lines, and the readers on the
// awkward inputs of real files (missing final line end, CRLF, long lines, hostile counts).
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <functional>
#include <locale>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "SW_LineFiles.h"
#include "SW_MeshFiles.h"
#include "TestSupport.h"

namespace {

AK_NamedPolyline Line(std::vector<AK_Vec3> points, const char* text = "")
{
  AK_NamedPolyline r;
  for (const AK_Vec3& p : points) r.points.Append(p);
  r.text = text;
  return r;
}

std::vector<AK_Vec3> Points(const AK_Array<AK_Vec3>& a) { return std::vector<AK_Vec3>(a.begin(), a.end()); }

// A decimal comma and digit grouping: what a writer must not let into a file.
struct CommaPunct : std::numpunct<char> {
  char do_decimal_point() const override { return ','; }
  char do_thousands_sep() const override { return '.'; }
  std::string do_grouping() const override { return "\3"; }
};

}  // namespace

TEST(LineFiles, WritersGiveExactBytes)
{
  ScratchDir dir;
  AK_NamedPolyline r = Line({{1, 2.5, -3}, {-0.1234567, 1e7, 1234.5}}, "name=A;kind=B;");
  ASSERT_TRUE(SW_WriteXyFile(r, (dir / "a.xy").c_str()));
  EXPECT_EQ(ReadFile(dir / "a.xy"), "name=A\nkind=B\n1.000000 2.500000\n-0.123457 10000000.000000\n");
  r.text = "last=no-semicolon";
  ASSERT_TRUE(SW_WriteXyzFile(r, (dir / "a.xyz").c_str()));
  EXPECT_EQ(ReadFile(dir / "a.xyz"),
            "last=no-semicolon\n1.000000 2.500000 -3.000000\n-0.123457 10000000.000000 1234.500000\n");
  EXPECT_FALSE(SW_WriteXyFile(r, (dir / "missing/a.xy").c_str()));

  std::ostringstream nxyz;
  nxyz.imbue(std::locale(std::locale::classic(), new CommaPunct));
  nxyz << std::fixed;
  ASSERT_TRUE(SW_WriteNxyzPolyline(r, nxyz, 9));
  EXPECT_EQ(nxyz.str(), "last=no-semicolon\n2\n1 2.5 -3\n-0.1234567 10000000 1234.5\n");
  nxyz << 0.5;  // the stream's own format and locale are back
  EXPECT_EQ(nxyz.str().substr(nxyz.str().size() - 8), "0,500000");

  std::ostringstream dxf;
  SW_WriteDxfBegin(dxf);
  SW_WriteDxfPolyline(Line({{1, 2, 3}}), "open", dxf, 6, 0);
  SW_WriteDxfPolyline(Line({{0.5, 1e-7, 123456789}}), "ring", dxf, 4, 1);
  SW_WriteDxfEnd(dxf);
  EXPECT_EQ(dxf.str(),
            "  0\nSECTION\n  2\nENTITIES\n"
            "  0\nPOLYLINE\n  8\nopen\n 10\n  0\n 20\n  0\n 30\n  0\n 70\n8\n 66\n  1\n"
            "  0\nVERTEX\n  8\nopen\n 70\n32\n 10\n1\n 20\n2\n 30\n3\n  0\nSEQEND\n"
            "  0\nPOLYLINE\n  8\nring\n 10\n  0\n 20\n  0\n 30\n  0\n 70\n  9\n 66\n  1\n"
            "  0\nVERTEX\n  8\nring\n 70\n32\n 10\n0.5\n 20\n1e-07\n 30\n1.235e+08\n  0\nSEQEND\n"
            "  0\nENDSEC\n  0\nEOF\n");
}

TEST(LineFiles, RandomLinesRoundTrip)
{
  ScratchDir dir;
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> coord(-1e6, 1e6);
  const std::string chars = "abcXYZ019 _-.,:=#";
  for (int trial = 0; trial < 20; ++trial) {
    AK_Array<AK_NamedPolyline> lines;
    std::ostringstream nxyz, dxf;
    SW_WriteDxfBegin(dxf);
    for (int k = 0, n = 1 + trial % 4; k < n; ++k) {
      AK_NamedPolyline r;
      for (int i = 0, m = 1 + static_cast<int>(rng() % 30); i < m; ++i)
        r.points.Append(AK_Vec3(coord(rng), coord(rng), coord(rng) / 1e3));
      for (int i = 0, m = static_cast<int>(rng() % 3); i < m; ++i) {
        std::string value;
        for (int c = 0, len = static_cast<int>(rng() % 12); c < len; ++c) value += chars[rng() % chars.size()];
        r.text += ("k" + std::to_string(i) + "=" + value + ";").c_str();
      }
      SW_WriteNxyzPolyline(r, nxyz, 17);
      SW_WriteDxfPolyline(r, ("layer_" + std::to_string(k)).c_str(), dxf, 17, k % 2);
      lines.Append(r);
    }
    SW_WriteDxfEnd(dxf);
    std::string nxyzPath = dir.Write("l.nxyz", nxyz.str()), dxfPath = dir.Write("l.dxf", dxf.str());
    AK_Array<AK_NamedPolyline> fromNxyz, fromDxf;
    AK_Array<AK_String> names;
    ASSERT_TRUE(SW_ReadNxyzFile(nxyzPath.c_str(), fromNxyz));
    ASSERT_TRUE(SW_ReadDxfFile(dxfPath.c_str(), fromDxf, names));
    ASSERT_EQ(fromNxyz.Count(), lines.Count());
    ASSERT_EQ(fromDxf.Count(), lines.Count() + 1);  // the section end reads as an empty entity
    EXPECT_EQ(fromDxf.Last().points.Count(), 0);
    for (int k = 0; k < lines.Count(); ++k) {
      EXPECT_EQ(Points(fromNxyz[k].points), Points(lines[k].points));
      EXPECT_STREQ(fromNxyz[k].text, lines[k].text);
      EXPECT_EQ(Points(fromDxf[k].points), Points(lines[k].points));
      EXPECT_STREQ(names[k], ("layer_" + std::to_string(k)).c_str());
    }
    // Six decimals: the point list keeps every coordinate to half a unit of the last one.
    ASSERT_TRUE(SW_WriteXyzFile(lines[0], (dir / "l.xyz").c_str()));
    AK_NamedPolyline back;
    ASSERT_TRUE(SW_ReadXyzFile(back, (dir / "l.xyz").c_str()));
    EXPECT_STREQ(back.text, lines[0].text);
    ASSERT_EQ(back.points.Count(), lines[0].points.Count());
    for (int i = 0; i < back.points.Count(); ++i)
      EXPECT_LE((back.points[i] - lines[0].points[i]).Length(), 1e-6);
  }
}

TEST(LineFiles, PointListReaderOnAwkwardLines)
{
  ScratchDir dir;
  const std::string longName(600, 'n');
  struct Case { const char* name; std::string text; std::string attributes; std::vector<AK_Vec3> points; };
  const std::vector<Case> cases = {
      {"comma pairs, bad separators skipped", "10,20\n10;20\n10 ,20\n3 4 junk\n", "", {{10, 20, 0}, {3, 4, 0}}},
      {"attribute lines", "a=1\nb=2;\x01\xC3\n", "a=1;b=2;", {}},
      {"CRLF and no final line end", "name=x\r\n1 2\r\n5.5 6", "name=x;", {{1, 2, 0}, {5.5, 6, 0}}},
      // What the writers write reads back whatever its length.
      {"long lines read whole", "id=" + longName + "\n" + std::string(700, ' ') + "7 8\n",
       "id=" + longName + ";", {{7, 8, 0}}},
      {"no number is not finite", "1e999 2\nnan 1\n", "", {}},
  };
  for (const Case& tc : cases) {
    SCOPED_TRACE(tc.name);
    AK_NamedPolyline r = Line({{9, 9, 9}});  // readers append
    ASSERT_TRUE(SW_ReadXyFile(r, dir.Write("c.xy", tc.text).c_str()));
    EXPECT_STREQ(r.text, tc.attributes.c_str());
    std::vector<AK_Vec3> expected = {{9, 9, 9}};
    expected.insert(expected.end(), tc.points.begin(), tc.points.end());
    EXPECT_EQ(Points(r.points), expected);
  }
  AK_NamedPolyline r;
  EXPECT_FALSE(SW_ReadXyFile(r, (dir / "none.xy").c_str()));
}

TEST(LineFiles, NxyzReaderEndsAndHostileCounts)
{
  // Per call: the result and the number of points read.
  struct Case { const char* name; std::string text; std::vector<std::pair<int, int>> calls; };
  const std::vector<Case> cases = {
      {"end marker", "-1\n1\n1 2 3\n", {{0, 0}}},
      {"no final line end keeps the last point", "junk\n2\n1 2 3\n4 5 6", {{1, 2}, {0, 0}}},
      {"CRLF", "c=1\r\n1\r\n1 2 3\r\n1\r\n4 5 6\r\n", {{1, 1}, {1, 1}, {0, 0}}},
      {"a short polyline fails without its incomplete point", "3\n1 2 3\n4 5\n", {{0, 1}}},
      {"a hostile count allocates nothing ahead", "2000000000\n1 2 3\n", {{0, 1}}},
      {"a count beyond 32 bits is no count", "99999999999\n", {{0, 0}}},
      {"decimal comma ends the number", "1\n1,5 2 3\n", {{0, 0}}},
      {"a line of 510 characters is read", std::string(509, ' ') + "1\n1 2 3\n", {{1, 1}}},
      {"a longer line is read too", "n=" + std::string(5009, 'x') + "\n1\n1 2 3\n", {{1, 1}}},
  };
  for (const Case& tc : cases) {
    SCOPED_TRACE(tc.name);
    std::istringstream in(tc.text);
    for (auto [result, points] : tc.calls) {
      AK_NamedPolyline r;
      EXPECT_EQ(SW_ReadNxyzPolyline(r, in), result);
      EXPECT_EQ(r.points.Count(), points);
    }
  }
  // The outline block of the area files: the result and the points kept.
  const std::vector<std::tuple<const char*, bool, int>> outlines = {
      {"3\n0 0\n10 0\n10 10", true, 3},  // no final line end: the last point is read
      {"3\n0 0\n10", false, 1},           // an incomplete point is dropped
      {"2000000000\n1 2\n", false, 1},    // a hostile count reserves nothing
      {"0", true, 0},
      {"x", false, 0}};
  for (auto [text, result, points] : outlines) {
    std::istringstream in(text);
    AK_Array<AK_Vec3> outline;
    outline.Append(AK_Vec3());
    EXPECT_EQ(SW_ReadOutlinePoints(outline, in), result) << text;
    EXPECT_EQ(outline.Count(), points) << text;
  }
}

TEST(LineFiles, DxfReaderOnBothEntityKinds)
{
  const std::string polyline =
      "  0\nPOLYLINE\n  8\nridge\n 10\n5\n 20\n5\n 30\n5\n 70\n8\n"
      "  0\nVERTEX\n  8\nridge\n 10\n1\n 20\n2\n 30\n3\n  0\nVERTEX\n  8\nridge\n 10\n4\n 20\n5\n 30\n6\n"
      "  0\nSEQEND\n";
  const std::string lw =
      "  0\nLWPOLYLINE\n  5\n2A\n102\n{ACAD_XDICTIONARY\n360\n2B\n102\n}\n  8\nslab\n 90\n3\n 70\n1\n"
      " 38\n1200\n 10\n10\n 20\n20\n10\n99\n 10\n40\n 20\n50\n 10\n60\n 20\n70\n";
  const std::string file = "  0\nSECTION\n  2\nHEADER\n  9\n$ACADVER\n  1\nAC1015\n  0\nENDSEC\n"
                           "  0\nSECTION\n  2\nENTITIES\n" + polyline + lw + "  0\nENDSEC\n  0\nEOF";
  for (int xdict : {0, 1}) {
    for (bool crlf : {false, true}) {
      std::string text = file;
      if (crlf)
        for (size_t at = 0; (at = text.find('\n', at)) != std::string::npos; at += 2) text.insert(at, "\r");
      std::istringstream in(text);
      DxfReadXdict = xdict;
      AK_Array<AK_Vec3> points;
      AK_String name;
      EXPECT_TRUE(SW_ReadDxfPolyline(points, in, name));  // the header section ends first
      EXPECT_EQ(points.Count(), 0);
      EXPECT_TRUE(SW_ReadDxfPolyline(points, in, name));
      EXPECT_EQ(Points(points), (std::vector<AK_Vec3>{{1, 2, 3}, {4, 5, 6}}));
      EXPECT_STREQ(name, "ridge");
      points.Clear();
      EXPECT_TRUE(SW_ReadDxfPolyline(points, in, name));
      // "10" without its leading blank is no group code: its 99 is no vertex.
      EXPECT_EQ(Points(points), (std::vector<AK_Vec3>{{10, 20, 1200}, {40, 50, 1200}, {60, 70, 1200}}));
      EXPECT_STREQ(name, xdict ? "XDICT 2B slab" : "slab");
      EXPECT_TRUE(SW_ReadDxfPolyline(points, in, name));  // ENDSEC
      EXPECT_FALSE(SW_ReadDxfPolyline(points, in, name));  // "EOF" and the end of the input
    }
  }
  DxfReadXdict = 0;
  // A line longer than 511 characters fails the read.
  std::istringstream in("  0\nPOLYLINE\n999\n" + std::string(512, 'c') + "\n  8\nx\n  0\nSEQEND\n");
  AK_Array<AK_Vec3> points;
  AK_String name;
  EXPECT_FALSE(SW_ReadDxfPolyline(points, in, name));
}

TEST(LineFiles, AnoRecords)
{
  std::istringstream ano("ridge line\n3 yello\n1 2\nnot a point\n3 4\nab\n2 yellow\n5 6\r\n7 8\n"
                         "big\n2000000000 red\n1 1");
  SW_AnoRecord a, b, c;
  ASSERT_TRUE(SW_ReadAnoRecord(ano, a));
  EXPECT_EQ(a.count, 3);
  EXPECT_STREQ(a.name, "ridge line");
  EXPECT_EQ(a.autoColored, 0);
  EXPECT_STREQ(a.color, "1 1 0");
  EXPECT_EQ(Points(a.points), (std::vector<AK_Vec3>{{1, 2, 0}, {3, 4, 0}}));
  ASSERT_TRUE(SW_ReadAnoRecord(ano, b));
  EXPECT_EQ(b.count, 2);
  EXPECT_STREQ(b.name, "");  // a name of two characters names nothing
  EXPECT_EQ(b.autoColored, 1);
  EXPECT_EQ(Points(b.points), (std::vector<AK_Vec3>{{5, 6, 0}, {7, 8, 0}}));
  ASSERT_TRUE(SW_ReadAnoRecord(ano, c));
  EXPECT_EQ(c.count, 2000000000);  // announced, not allocated
  EXPECT_EQ(Points(c.points), (std::vector<AK_Vec3>{{1, 1, 0}}));
  SW_AnoRecord d;
  EXPECT_FALSE(SW_ReadAnoRecord(ano, d));
  EXPECT_EQ(d.count, 0);
  EXPECT_EQ(d.autoColored, -1);
}

// Real DXF files, written by a CAD library: LWPOLYLINE with elevation, POLYLINE with its
// vertices, and an area whose extension dictionary carries its GIS values.
TEST(LineFiles, DxfOfCadPrograms)
{
  const std::string path = TestData("lines/lines.dxf");
  for (int xdict : {0, 1}) {
    DxfReadXdict = xdict;
    AK_Array<AK_NamedPolyline> list;
    AK_Array<AK_String> names;
    ASSERT_TRUE(SW_ReadDxfFile(path.c_str(), list, names));
    DxfReadXdict = 0;
    std::vector<std::pair<std::string, std::vector<AK_Vec3>>> entities;
    for (int i = 0; i < list.Count(); ++i)
      if (list[i].points.Count() > 0) entities.push_back({names[i].c_str(), Points(list[i].points)});
    // With the dictionary handles kept, a layer without one follows a blank.
    const std::vector<std::pair<std::string, std::vector<AK_Vec3>>> expected = {
        {xdict ? " slab" : "slab", {{10, 20, 1200}, {40, 50, 1200}, {60, 70, 1200}}},
        {"ridge", {{1, 2, 3}, {4, 5, 6}, {7.5, 8.25, -9}}},
        {xdict ? "XDICT 36 area" : "area", {{0, 0, 0}, {100, 0, 0}, {100, 50, 0}, {0, 50, 0}}}};
    EXPECT_EQ(entities, expected);
  }
  double value = -1;
  EXPECT_STREQ(SW_ReadDxfEsriAttributes(path.c_str(), "lines_XDICT_36_area", value), "Slab North");
  EXPECT_EQ(value, 2.5);
  value = -1;
  for (const char* entity : {"lines_XDICT_2F_slab", "lines_area", "lines_XDICT_36"}) {
    EXPECT_STREQ(SW_ReadDxfEsriAttributes(path.c_str(), entity, value), entity);
    EXPECT_EQ(value, -1);
  }
}

// What we write opens in other programs: ezdxf reads it without audit errors, with the
// closed flag only on the closed line, and GDAL's DXF driver finds both lines.
TEST(LineFiles, WrittenDxfOpensElsewhere)
{
  ScratchDir dir;
  std::ostringstream out;
  SW_WriteDxfBegin(out);
  SW_WriteDxfPolyline(Line({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}), "open", out, 9, 0);
  SW_WriteDxfPolyline(Line({{0, 0, 1}, {10, 0, 1}, {10, 10, 1}}), "ring", out, 9, 1);
  SW_WriteDxfEnd(out);
  const std::string dxf = dir.Write("out.dxf", out.str());
  int status = -1, ezdxf = -1;  // the system's Python, where the Debian package installs ezdxf
  const std::string python = "/usr/bin/python3";
  RunProcess(python + " -c 'import ezdxf'", &ezdxf);
  if (ezdxf == 0) {
    const std::string script = dir.Write(
        "check.py",
        "import sys, ezdxf\n"
        "doc = ezdxf.readfile(sys.argv[1])\n"
        "print('errors', len(doc.audit().errors))\n"
        "for e in doc.modelspace():\n"
        "    print(e.dxftype(), e.dxf.layer, e.is_closed, [tuple(v) for v in e.points()])\n");
    EXPECT_EQ(RunProcess(python + " " + ShellQuote(script) + " " + ShellQuote(dxf)),
              "errors 0\n"
              "POLYLINE open False [(1.0, 2.0, 3.0), (4.0, 5.0, 6.0), (7.0, 8.0, 9.0)]\n"
              "POLYLINE ring True [(0.0, 0.0, 1.0), (10.0, 0.0, 1.0), (10.0, 10.0, 1.0)]\n");
  }
  RunProcess("ogrinfo --version", &status);
  if (status == 0) {
    const std::string info = RunProcess("ogrinfo -ro -al -q " + ShellQuote(dxf));
    EXPECT_NE(info.find("Layer (String) = open"), std::string::npos) << info;
    EXPECT_NE(info.find("LINESTRING Z (1 2 3,4 5 6,7 8 9)"), std::string::npos) << info;
    EXPECT_NE(info.find("Layer (String) = ring"), std::string::npos) << info;
  }
  if (ezdxf != 0 || status != 0) GTEST_SKIP() << "ezdxf or ogrinfo not installed";
}

TEST(LineFiles, SegmentsChainIntoPolylines)
{
  // Segments of the path A B C D given out of order, and one far away.
  const AK_Vec3 A(0, 0, 0), B(1, 0, 0), C(1, 1, 0), D(2, 1, 1), F(50, 50, 0), G(51, 50, 0);
  AK_Array<AK_Vec3> segments;
  for (const AK_Vec3& p : {C, D, F, G, A, B, B, C}) segments.Append(p);
  AK_Array<AK_NamedPolyline> chains;
  SW_GridPolylinesFromPoints(segments, 0.1, chains);
  ASSERT_EQ(chains.Count(), 3);
  EXPECT_EQ(Points(chains[0].points), (std::vector<AK_Vec3>{C, D}));
  EXPECT_EQ(Points(chains[1].points), (std::vector<AK_Vec3>{F, G}));
  EXPECT_EQ(Points(chains[2].points), (std::vector<AK_Vec3>{A, B, C}));
  // Segments of length 0 all in one place: the grid still has a cell size.
  AK_Array<AK_Vec3> dots;
  for (int i = 0; i < 4; ++i) dots.Append(B);
  chains.Clear();
  SW_GridPolylinesFromPoints(dots, 0, chains);
  ASSERT_EQ(chains.Count(), 1);
  EXPECT_EQ(Points(chains[0].points), (std::vector<AK_Vec3>{B, B, B}));
}

// Every reader of line and terrain files: a UTF-8 byte-order mark at the start changes
// nothing of what is read, and a directory, a device or a FIFO is refused like a file that
// cannot be opened.
TEST(LineFiles, ReadersTakeRegularFilesPastAByteOrderMark)
{
  ScratchDir dir;
  const std::string bom = "\xEF\xBB\xBF";
  // What each reader made of a path, as text; "refused" when it answered failure.
  struct Reader { const char* name; const char* ext; std::string content; std::function<std::string(const char*)> read; };
  auto line = [](bool (*read)(AK_NamedPolyline&, const char*)) {
    return [read](const char* path) {
      AK_NamedPolyline r;
      if (!read(r, path)) return std::string("refused");
      return std::string(r.text.c_str()) + "|" + std::to_string(r.points.Count());
    };
  };
  auto mesh = [](bool asc) {
    return [asc](const char* path) {
      SW_MeshCore m;
      AK_String error;
      MessageCapture quiet;
      const bool ok = asc ? SW_ReadAsciiGrid(m, path, 0, 0, error) : SW_ReadXyz(m, path, error);
      if (!ok) return "refused: " + std::string(error.c_str());
      return std::to_string(m.NumVertices()) + " " + std::to_string(m.NumCells());
    };
  };
  const std::vector<Reader> readers = {
      {"xy", "xy", "1 2\n3 4\n", line(SW_ReadXyFile)},
      {"xyz", "xyz", "name=a\n1 2 3\n3 4 5\n", line(SW_ReadXyzFile)},
      {"nxyz", "nxyz", "2\n1 2 3\n4 5 6\n-1\n",
       [](const char* path) {
         AK_Array<AK_NamedPolyline> list;
         if (!SW_ReadNxyzFile(path, list)) return std::string("refused");
         return std::to_string(list.Count()) + (list.Count() ? " " + std::to_string(list[0].points.Count()) : "");
       }},
      {"asc", "asc", "ncols 2\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\n1 2\n3 4\n", mesh(true)},
      {"xyz points", "xyz", "0 0 1\n1 0 2\n0 1 3\n", mesh(false)},
  };
  const std::string fifo = dir / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const Reader& r : readers) {
    SCOPED_TRACE(r.name);
    const std::string plain = r.read(dir.Write(std::string("plain.") + r.ext, r.content).c_str());
    EXPECT_EQ(plain.find("refused"), std::string::npos) << plain;
    EXPECT_EQ(r.read(dir.Write(std::string("marked.") + r.ext, bom + r.content).c_str()), plain);
    for (const std::string& odd : {dir.Path(), std::string("/dev/null"), fifo})
      EXPECT_EQ(r.read(odd.c_str()).rfind("refused", 0), 0u) << odd;
  }
}
