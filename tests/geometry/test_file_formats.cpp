// The table of terrain, line and area file formats: which extension chooses what, and that
// every writer it names reads back through the reader it names.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "SW_FileFormats.h"
#include "SW_MeshFiles.h"
#include "TestMeshes.h"
#include "TestSupport.h"

using namespace meshtest;

namespace {

using F = SW_FileFormat;

std::vector<F> AllFormats()
{
  std::vector<F> all;
  for (int f = static_cast<int>(F::Xy); f <= static_cast<int>(F::Res); ++f) all.push_back(static_cast<F>(f));
  return all;
}

std::vector<std::tuple<double, double, double>> SortedPoints(const AK_Array<AK_Vec3>& points)
{
  std::vector<std::tuple<double, double, double>> out;
  for (const AK_Vec3& p : points) out.emplace_back(p.x, p.y, p.z);
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace

TEST(FileFormats, ExtensionsChooseFormatsExactly)
{
  struct Row {
    const char* path;
    F format;
    unsigned yields;
    bool flat;
  } rows[] = {
      {"a.xy", F::Xy, SW_YieldsLine, true},
      {"a.xyz", F::Xyz, SW_YieldsTerrain | SW_YieldsLine, false},
      {"dir.v2/a.nxyz", F::Nxyz, SW_YieldsTerrain | SW_YieldsLines, false},
      {"a.dxf", F::Dxf, SW_YieldsTerrain | SW_YieldsLines, false},
      {"a.DXF", F::Dxf, SW_YieldsTerrain | SW_YieldsLines, false},
      {"a.ano", F::Ano, SW_YieldsLines, true},
      {"a.e00", F::AsciiGrid, SW_YieldsTerrain, false},
      {"a.E00", F::AsciiGrid, SW_YieldsTerrain, false},
      {"a.asc", F::AsciiGrid, SW_YieldsTerrain, false},
      {"a.ASC", F::AsciiGrid, SW_YieldsTerrain, false},
      {"a.b.txt", F::AsciiGrid, SW_YieldsTerrain, false},
      {"a.TXT", F::AsciiGrid, SW_YieldsTerrain, false},
      {"a.tbp", F::Tbp, SW_YieldsTerrain, false},
      {"a.rel", F::Rel, SW_YieldsAreas, true},
      {"a.res", F::Res, SW_YieldsAreas, true},
      // Case matters beyond the spellings listed; a dot in a directory is no extension.
      {"a.Dxf", F::None, 0, false},
      {"a.XYZ", F::None, 0, false},
      {"a.Asc", F::None, 0, false},
      {"a.ppm", F::None, 0, false},
      {"dir.xyz/plain", F::None, 0, false},
      {"dir.xyz\\plain", F::None, 0, false},
      {"plain", F::None, 0, false},
      {"plain.", F::None, 0, false},
      {"", F::None, 0, false},
  };
  for (const Row& row : rows) {
    const SW_FileFormatEntry& entry = SW_FileFormatOf(row.path);
    EXPECT_EQ(entry.format, row.format) << row.path;
    EXPECT_EQ(entry.yields, row.yields) << row.path;
    EXPECT_EQ(entry.flat, row.flat) << row.path;
    EXPECT_EQ(&SW_FileFormatEntryOf(row.format), &entry) << row.path;
  }
  EXPECT_EQ(SW_FileFormatOf(nullptr).format, F::None);
  EXPECT_STREQ(SW_FileBeside("d/hang", F::Ano), "d/hang.ano");
  EXPECT_STREQ(SW_FileBeside("d/hang", F::Rel), "d/hang.rel");
  EXPECT_STREQ(SW_FileBeside("d/hang", F::Res), "d/hang.res");
}

// What a format yields is what its readers can give, and every writer has its reader.
TEST(FileFormats, YieldsMatchReadersAndWriters)
{
  const SW_FileFormatEntry& none = SW_FileFormatEntryOf(F::None);
  EXPECT_TRUE(!none.readTerrain && !none.readLine && !none.readLines && !none.readNextLine);
  for (F f : AllFormats()) {
    const SW_FileFormatEntry& e = SW_FileFormatEntryOf(f);
    const int id = static_cast<int>(f);
    EXPECT_EQ(e.format, f);
    ASSERT_NE(e.extensions[0], nullptr) << id;
    EXPECT_EQ(e.Yields(SW_YieldsTerrain), e.readTerrain != nullptr) << id;
    EXPECT_EQ(e.Yields(SW_YieldsLine), e.readLine != nullptr) << id;
    EXPECT_TRUE(!e.writeTerrain || e.readTerrain) << id;
    EXPECT_TRUE(!e.writeLine || e.readLine) << id;
    EXPECT_TRUE(!(e.readLines || e.readNextLine) || e.Yields(SW_YieldsLines)) << id;
    EXPECT_TRUE(!e.readNextLine || (e.readLines && e.writeNextLine && e.beginLines && e.endLines)) << id;
    // Each extension chooses its own format and no other.
    for (const char* ext : e.extensions) {
      if (!ext) continue;
      EXPECT_EQ(SW_FileFormatOf((std::string("f.") + ext).c_str()).format, f) << ext;
    }
  }
}

// Every terrain writer's file reads back through the format's terrain reader with the same
// points.
TEST(FileFormats, TerrainWritersReadBack)
{
  MessageCapture quiet;
  ScratchDir dir;
  for (F f : AllFormats()) {
    const SW_FileFormatEntry& e = SW_FileFormatEntryOf(f);
    if (!e.writeTerrain) continue;
    SW_MeshCore mesh;
    MakeCartesian(mesh, 4, 3, 10, 100, 200, [](double x, double y) { return 0.25 * x + 2 * y; });
    const std::string path = dir / (std::string("t.") + e.extensions[0]);
    AK_String error;
    ASSERT_TRUE(e.writeTerrain(mesh, path.c_str(), error)) << error.c_str();
    SW_MeshCore back;
    ASSERT_TRUE(SW_FileFormatOf(path.c_str()).readTerrain(back, path.c_str(), {}, error)) << path;
    EXPECT_EQ(SortedPoints(back._x), SortedPoints(mesh._x)) << path;
    EXPECT_GT(back.NumCells(), 0) << path;
  }
  AK_String error;
  SW_MeshCore mesh;
  EXPECT_FALSE(SW_ExportMesh(mesh, (dir / "t.tbp").c_str(), error));
  EXPECT_EQ(std::string(error), "cannot export to '" + dir / "t.tbp" + "': unknown file extension");
}

// Every line writer's file reads back through the format's reader: the one-line files whole,
// the files of many lines line by line and whole.
TEST(FileFormats, LineWritersReadBack)
{
  ScratchDir dir;
  AK_NamedPolyline a, b;
  a.text = "name=a;";
  b.text = "name=b;";
  for (int i = 0; i < 4; ++i) {
    a.points.Append(AK_Vec3(1.5 * i, 2.25 - i, 0.125 * i));
    b.points.Append(AK_Vec3(-i, 3 * i, 7));
  }
  for (F f : AllFormats()) {
    const SW_FileFormatEntry& e = SW_FileFormatEntryOf(f);
    const std::string path = dir / (std::string("l.") + e.extensions[0]);
    if (e.writeLine) {
      ASSERT_TRUE(e.writeLine(a, path.c_str())) << path;
      AK_NamedPolyline back;
      ASSERT_TRUE(e.readLine(back, path.c_str())) << path;
      AK_Array<AK_Vec3> expected = a.points;
      if (e.flat)
        for (AK_Vec3& p : expected) p.z = 0;
      EXPECT_EQ(SortedPoints(back.points), SortedPoints(expected)) << path;
      EXPECT_STREQ(back.text, a.text) << path;
    }
    if (e.writeNextLine) {
      std::ostringstream out;
      e.beginLines(out);
      e.writeNextLine(out, a, "first", 9, 0);
      e.writeNextLine(out, b, "second", 9, 1);
      e.endLines(out);
      ASSERT_TRUE(out.good());
      dir.Write(std::string("l.") + e.extensions[0], out.str());
      AK_Array<AK_NamedPolyline> read, lines;
      AK_Array<AK_String> readNames, names;
      ASSERT_TRUE(e.readLines(path.c_str(), read, readNames)) << path;
      ASSERT_EQ(readNames.Count(), read.Count()) << path;
      // A DXF section end reads as an entity without points.
      for (int32_t i = 0; i < read.Count(); ++i) {
        if (read[i].points.Count() == 0) continue;
        lines.Append(read[i]);
        names.Append(readNames[i]);
      }
      ASSERT_EQ(lines.Count(), 2) << path;
      EXPECT_EQ(SortedPoints(lines[0].points), SortedPoints(a.points)) << path;
      EXPECT_EQ(SortedPoints(lines[1].points), SortedPoints(b.points)) << path;
      // The format either names its lines (DXF layers) or keeps their attribute text.
      const bool named = names[0] == "first";
      EXPECT_TRUE(named ? names[1] == "second" : lines[1].text == b.text) << path;
      std::istringstream in(out.str());
      AK_NamedPolyline next;
      AK_String name;
      ASSERT_TRUE(e.readNextLine(in, next, name)) << path;
      EXPECT_EQ(SortedPoints(next.points), SortedPoints(a.points)) << path;
    }
  }
  AK_Array<AK_NamedPolyline> lines;
  AK_Array<AK_String> names;
  EXPECT_FALSE(SW_FileFormatEntryOf(F::Dxf).readLines((dir / "missing.dxf").c_str(), lines, names));
}
