// Graphs: text tables imported into a viewer, curve labels and ranges, and the curve's
// record.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

#include "AK_ConformanceTest.h"
#include "AK_Framework.h"
#include "AK_Graph2d.h"
#include "AK_Graph2dViewer.h"
#include "TestSupport.h"

namespace {

std::string PointsText(const AK_Array<AK_Vec2>& points)
{
  std::string text;
  for (const AK_Vec2& p : points) text += AK_String::Format("%g,%g ", p.x, p.y).c_str();
  return text;
}

TEST(Graph, Conformance)
{
  AK_RunConformanceTest("AK_Graph2dViewer");
  AK_Graph2dViewer viewer("v", nullptr);
  AK_RunConformanceTest("AK_Graph2d", &viewer);
}

TEST(Graph, ImportOfATextTable)
{
  ScratchDir dir;
  // Header lines with names and units, CRLF, indented and TAB-separated numbers, a blank
  // line, a short line, a comment, and a line far longer than any buffer.
  std::string numbers = "4" + std::string(5000, ' ') + "40\t400";
  std::string path = dir.Write("runs.txt",
                               "#time\tdepth\tspeed\r\ns\tm\tm/s\n  0 1 2\n\n1\t\t10 20\n"
                               "2 3\nnot numbers\n" + numbers + "\n");
  AK_Graph2dViewer viewer("v", nullptr);
  viewer.Import((dir / "missing.txt").c_str());
  viewer.Import((dir.Write("empty.txt", "a\tb\n\n")).c_str());
  EXPECT_EQ(viewer.ComponentCount(), 0);
  viewer.Import(path.c_str());
  ASSERT_EQ(viewer.ComponentCount(), 2);
  // Identifiers keep letters, digits and "_" only.
  auto* depth = dynamic_cast<AK_Graph2d*>(viewer.GetComponent("runs_depth_m_"));
  auto* speed = dynamic_cast<AK_Graph2d*>(viewer.GetComponent("runs_speed_m_s_"));
  ASSERT_TRUE(depth && speed);
  EXPECT_EQ(PointsText(depth->Points()), "0,1 1,10 2,3 4,40 ");
  EXPECT_EQ(PointsText(speed->Points()), "0,2 1,20 4,400 ");
  viewer.Update();
  EXPECT_STREQ(depth->Label()->Text.c_str(), "(runs:depth[m]-1)/39 x time[s] [0, 4]");
  // Colours of the ramp at 1/3 and 2/3.
  EXPECT_STREQ(depth->Get("Color").c_str(), "0 1 0.666667");
  // The labels stack down from the frame's top edge (0.9), 1.1 heights of "9_BY_15".
  EXPECT_STREQ(depth->Label()->Get("Position").c_str(), "0.1 0.867");
  EXPECT_STREQ(speed->Label()->Get("Position").c_str(), "0.1 0.834");

  // A table without names numbers its columns; one column makes no curve.
  AK_Graph2dViewer plain("p", nullptr);
  plain.Import(dir.Write("a.b.dat", "1 2\n3 4\n").c_str());
  plain.Import(dir.Write("one.dat", "1\n2\n").c_str());
  ASSERT_EQ(plain.ComponentCount(), 1);
  EXPECT_STREQ(plain.Component(0)->Id().c_str(), "a_b_1");
}

// Only regular files are read (a FIFO would block the open, a directory reads as nothing),
// and a byte-order mark does not turn the first line of numbers into a header.
TEST(Graph, ImportTakesRegularFilesPastAByteOrderMark)
{
  ScratchDir dir;
  const std::string fifo = dir / "table.fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  ASSERT_EQ(::mkdir((dir / "table.dir").c_str(), 0700), 0);
  AK_Graph2dViewer viewer("v", nullptr);
  viewer.Import(fifo.c_str());
  viewer.Import((dir / "table.dir").c_str());
  EXPECT_EQ(viewer.ComponentCount(), 0);
  for (const char* head : {"", "\xEF\xBB\xBF"}) {
    SCOPED_TRACE(*head ? "with mark" : "without mark");
    AK_Graph2dViewer v("v", nullptr);
    v.Import(dir.Write("t.txt", std::string(head) + "1 2\r\n3 4\n").c_str());
    ASSERT_EQ(v.ComponentCount(), 1);
    EXPECT_STREQ(v.Component(0)->Id().c_str(), "t_1");
    EXPECT_EQ(PointsText(dynamic_cast<AK_Graph2d*>(v.Component(0))->Points()), "1,2 3,4 ");
  }
}

TEST(Graph, LabelsAndRanges)
{
  struct Row { double ymin, ymax; const char* label; };
  const Row rows[] = {{0, 2, "run:h[m]/2 x t[s] [0, 10]"},
                      {-0.5, 2, "(run:h[m]+0.5)/2.5 x t[s] [0, 10]"},
                      {1, 2, "(run:h[m]-1)/1 x t[s] [0, 10]"},
                      {1e-11, 2, "run:h[m]/1.99999999999 x t[s] [0, 10]"}};
  for (const Row& row : rows) {
    const double min[2] = {0, row.ymin}, max[2] = {10, row.ymax};
    EXPECT_STREQ(AK_GraphLabelText("run", "h[m]", "t[s]", min, max).c_str(), row.label);
  }

  // The ranges after each drawing: one point draws nothing; automatic ranges follow the
  // data, fixed ones stay; a curve without its label still draws, one outside a viewer not.
  AK_Graph2dViewer viewer("v", nullptr);
  auto* curve = new AK_Graph2d("c", &viewer);
  viewer.AddComponent(curve);
  auto ranges = [](AK_Graph2d* c) {
    std::string text;
    for (const char* name : {"Xmin", "Xmax", "Ymin", "Ymax", "XVis"}) text += c->Get(name) + " ";
    return text;
  };
  curve->AppendPoint(3, 7);
  viewer.Update();
  EXPECT_EQ(ranges(curve), "0 0 0 0 r ");
  curve->AppendPoint(-1, 9);
  viewer.Update();
  EXPECT_EQ(ranges(curve), "-1 3 7 9 r ");
  for (auto [name, value] :
       {std::pair{"XAuto", "0"}, {"Xmin", "-5"}, {"YAuto", "0"}, {"Ymin", "1"}})
    curve->Set(name, value);
  curve->DeleteComponent("label");
  curve->AppendPoint(8, 8);
  viewer.Update();
  EXPECT_EQ(curve->Label(), nullptr);
  EXPECT_EQ(ranges(curve), "-5 3 1 9 w ");
  AK_Graph2d alone("alone", nullptr);
  alone.AppendPoint(1, 1);
  alone.AppendPoint(2, 2);
  alone.Update();
  EXPECT_EQ(ranges(&alone), "0 0 0 0 r ");
}

TEST(Graph, RecordRoundTripAndHostileRecords)
{
  ScratchDir dir;
  AK_Graph2d curve("c", nullptr);
  for (int i = 0; i < 1000; ++i) curve.AppendPoint(i * 0.1, 1.0 / (i + 1));
  std::string file = dir / "c.dat";
  {
    AK_STREAM out(file.c_str(), "wb");
    ASSERT_EQ(curve.SaveData(out), 0);
  }
  AK_Graph2d copy("copy", nullptr);
  AK_STREAM in(file.c_str(), "rb");
  ASSERT_EQ(copy.LoadData(in), 0);
  EXPECT_EQ(PointsText(copy.Points()), PointsText(curve.Points()));

  // Another version, a negative count, a count beyond any limit, a count beyond the data,
  // no tag at all: each fails, names the line of a bad tag (31) or of a failed read (32),
  // and leaves the points as they were.
  struct Row { const char* tag; int32_t count; int32_t written; int line; };
  const Row rows[] = {{"AK_Graph2d:v1", 1, 1, 31},       {"AK_Graph2d:v0", -1, 0, 32},
                      {"AK_Graph2d:v0", 1 << 30, 2, 32}, {"AK_Graph2d:v0", 1000000, 3, 32},
                      {"AK_Graph2d", 1, 1, 31},          {nullptr, 0, 0, 31}};
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << (row.tag ? row.tag : "no tag") << " " << row.count);
    {
      AK_STREAM out(file.c_str(), "wb");
      if (row.tag) out << row.tag << row.count;
      for (int i = 0; i < row.written; ++i) out << 1.0 << 2.0;
    }
    AK_STREAM again(file.c_str(), "rb");
    AK_ErrorText = "";
    EXPECT_EQ(copy.LoadData(again), 1);
    EXPECT_EQ(AK_ErrorText, AK_String::Format("copy: IO error at AK_Graph2d.cpp:%d", row.line));
    EXPECT_EQ(copy.Points().Count(), 1000);
  }
}

}  // namespace
