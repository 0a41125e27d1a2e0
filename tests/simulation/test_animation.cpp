// Animation frames and the assignment of key views to times.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "SW_Animation.h"

TEST(Animation, FramePositions)
{
  // The last loaded starts from the start; an increment below 1 becomes 1.
  struct Row { int32_t count, current, increment; std::vector<int32_t> frames; };
  const Row rows[] = {{10, 0, 3, {3, 6, 9}},    {10, 9, 3, {0, 3, 6, 9}}, {10, 2, 3, {3, 6, 9}},
                      {4, 3, 1, {0, 1, 2, 3}},  {4, 1, 0, {2, 3}},        {0, 0, 1, {}},
                      {10, -1, 4, {0, 4, 8}}};
  for (const Row& r : rows) {
    int32_t increment = r.increment;
    EXPECT_EQ(SW_AnimationFrames(r.count, r.current, increment), r.frames) << r.count << " " << r.current;
    EXPECT_EQ(increment, std::max(r.increment, 1));
  }
}

TEST(Animation, AssignedViewsTextAndEdits)
{
  SW_AssignedViews a = SW_ReadAssignedViews("12.5 Avalanche1_12_5, broken,7,0 start,");
  ASSERT_EQ(a.times.Count(), 2);
  EXPECT_EQ(std::string(SW_WriteAssignedViews(a)), "12.5 Avalanche1_12_5,0 start,");
  a = SW_AssignedViews();
  SW_AssignView(a, 12.5, "Avalanche1_12_5");
  SW_AssignView(a, 0, "start");
  SW_AssignView(a, 30, "end");
  SW_AssignView(a, 12.5 + 1e-12, "renamed");  // the same time: renamed, not added
  EXPECT_EQ(std::string(SW_WriteAssignedViews(a)), "0 start,12.5 renamed,30 end,");
  SW_RemoveViewsAt(a, 5);
  EXPECT_EQ(a.times.Count(), 3);
  SW_RemoveViewsAt(a, 30);
  EXPECT_EQ(std::string(SW_WriteAssignedViews(a)), "0 start,12.5 renamed,");
  EXPECT_EQ(std::string(SW_CurrentViewName("Avalanche1", 12.5)), "Avalanche1_12_5");
  EXPECT_EQ(std::string(SW_CurrentViewName("a-b", 1e-5)), "a_b_1e_05");
}

TEST(Animation, KeyViewsBracketTheFrameTime)
{
  const SW_AssignedViews two = SW_ReadAssignedViews("0 A,20 B,");
  const SW_AssignedViews one = SW_ReadAssignedViews("10 A,");
  struct Row { const SW_AssignedViews* views; double time; int32_t first, second; double fraction; };
  const Row rows[] = {{&two, 5, 0, 1, 0.25}, {&two, 25, 1, 1, 1}, {&two, 0, 0, 0, 0},
                      {&two, 20, 0, 1, 1},   {&one, 50, 0, 0, 0}};
  for (const Row& r : rows) {
    Row got = r;
    SW_KeyViewsAt(*r.views, r.time, got.first, got.second, got.fraction);
    EXPECT_EQ(std::tie(got.first, got.second, got.fraction), std::tie(r.first, r.second, r.fraction)) << r.time;
  }
}

