// Resistance areas: the ".res" file form and the container that reads it.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "SW_AreaFiles.h"
#include "SW_ResistanceArea.h"
#include "TestSupport.h"

TEST(ResistanceAreas, ResRecordForms)
{
  // A complete record, the end of the file (no reason), or a malformed record (a reason).
  enum class R { Read, End, Malformed };
  auto next = [](std::istream& in, auto& record) {
    AK_String error;
    if (SW_ReadResRecord(in, record, error)) return error.IsEmpty() ? R::Read : R::Malformed;
    return error.IsEmpty() ? R::End : R::Malformed;
  };
  const std::string longLine(300, '1');
  struct Row { std::string text; R result; double height = 0, width = 0, coefficient = 0, spacing = 0; bool psa = false; int points = 0; };
  Row rows[] = {
      {"\n\n10 0.3 1.5 0.04 0\n2\n0 0\n\n1 1\n", R::Read, 10, 0.3, 1.5, 5, true, 2},
      {"2 1 1 0.25\r\n3 0 0 1 0 1 1", R::Read, 2, 1, 1, 2, false, 3},  // no final line end
      {"2 1 1 0.25\n0\n", R::Read, 2, 1, 1, 2, false, 0},
      {"2 1 1\n3 0 0 1 0 1 1\n", R::Malformed},
      {"2 1 1 0.25\n3 0 0 1 0 1\n", R::Malformed},
      {"2 1 1 0.25\n3 0 0 1 0 x 1\n", R::Malformed},
      {longLine + "\n0\n", R::Malformed},
      {"\n  \n", R::End},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.text);
    std::istringstream in(r.text);
    SW_ResRecord record;
    ASSERT_EQ(next(in, record), r.result);
    if (r.result != R::Read) continue;
    EXPECT_EQ(record.height, r.height);
    EXPECT_EQ(record.width, r.width);
    EXPECT_EQ(record.coefficient, r.coefficient);
    EXPECT_DOUBLE_EQ(record.spacing, r.spacing);
    EXPECT_EQ(record.psa, r.psa);
    EXPECT_EQ(record.points.Count(), r.points);
    EXPECT_EQ(next(in, record), R::End);
  }
}

TEST(ResistanceAreas, ResFileIntoTheContainer)
{
  ScratchDir dir;
  dir.Write("forest.res", "10 0.3 1.5 0.04 0 0\n4 0 0 10 0 10 10 0 10\n\n10 0.3 1.5 0.04 1\n4\n0 0\n20 0\n20 20\n0 20\n"
                          "2 1 1 0\n3 0 0 1 0 1 1\n");
  dir.Write("areas.RES", "2 1 1 1\n3 0 0 1 0 1 1\n");
  SW_ResistanceAreas areas("ResistanceAreas", nullptr);
  MessageCapture messages;
  areas.Set("LoadResFile", (dir / "forest.res").c_str());  // the release-area test reads a "\\" path
  ASSERT_EQ(areas.GetComponentIdList(), "forest_0001%AK_SEP%forest_0002%AK_SEP%");
  ASSERT_EQ(messages.WithPrefix("WARNING:").size(), 1u);
  EXPECT_NE(messages.WithPrefix("WARNING:")[0].find("forest_0003"), std::string::npos);
  areas.Set("Clone", "forest_0001");
  const char* names[] = {"Height", "Width", "Spacing", "ResistanceCoefficient", "PsaWidth", "PsaSpacing", "PsaResistanceCoefficient"};
  auto values = [&](const char* id) {
    std::string text;
    for (const char* n : names) text += std::string(areas.GetComponent(id)->Get(n)) + " ";
    return text;
  };
  EXPECT_EQ(values("forest_0001"), "10 0.3 5 0 0.3 5 1.5 ");  // flag 0: the values are the Psa ones
  EXPECT_EQ(values("forest_0002"), "10 0.3 5 1.5 1 1 0 ");
  EXPECT_EQ(values("forest_0001_cloned"), values("forest_0001"));
  EXPECT_EQ(areas.AreaAt(5, 5), areas.GetComponent("forest_0001_cloned"));  // the later wins
  EXPECT_EQ(areas.AreaAt(15, 15), areas.GetComponent("forest_0002"));
  EXPECT_EQ(areas.AreaAt(30, 5), nullptr);
  areas.Set("Import", (dir / "areas.RES").c_str());  // not the ".res" road
  areas.Set("Import", (dir / "none.res").c_str());
  EXPECT_EQ(AK_ErrorText, AK_String("cannot open res file ") + (dir / "none.res").c_str() + "!");
  EXPECT_EQ(areas.ComponentCount(), 3);
}
