// Resistance areas: the ".res" file form.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "SW_AreaFiles.h"

TEST(ResistanceAreas, ResRecordForms)
{
  using R = SW_AreaRecordResult;
  const std::string longLine(300, '1');
  struct Row { std::string text; R result; double height = 0, width = 0, coefficient = 0, spacing = 0; bool psa = false; int points = 0; };
  Row rows[] = {
      {"10 0.3 1.5 0.04 0 0\n4 0 0 10 0 10 10 0 10\n", R::Read, 10, 0.3, 1.5, 5, true, 4},
      {"\n\n10 0.3 1.5 0.04 1\n2\n0 0\n\n1 1\n", R::Read, 10, 0.3, 1.5, 5, false, 2},
      {"2 1 1 0.25\r\n3 0 0 1 0 1 1", R::Read, 2, 1, 1, 2, false, 3},  // no final line end
      {"2 1 1 0.25\n0\n", R::Read, 2, 1, 1, 2, false, 0},
      {"2 1 1 0\n3 0 0 1 0 1 1\n", R::Malformed},  // no density
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
    ASSERT_EQ(ReadResRecord(in, record), r.result);
    if (r.result != R::Read) continue;
    EXPECT_EQ(record.height, r.height);
    EXPECT_EQ(record.width, r.width);
    EXPECT_EQ(record.coefficient, r.coefficient);
    EXPECT_DOUBLE_EQ(record.spacing, r.spacing);
    EXPECT_EQ(record.psa, r.psa);
    EXPECT_EQ(record.points.Count(), r.points);
    EXPECT_EQ(ReadResRecord(in, record), R::End);
  }
}
