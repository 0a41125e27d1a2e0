// The listing of a run directory's time steps: stepping through them, the nearest to a time,
// their deletion, and their order.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "AK_FrameworkState.h"
#include "SW_TimeStepList.h"
#include "SW_TimeStepList_Internal.h"
#include "SW_TimeStepNames.h"
#include "TestSupport.h"

TEST(TimeStepList, SteppingNearestTimeAndDeleting)
{
  MessageCapture messages;
  ScratchDir dir;
  for (double t : {10.0, 0.0, 5.0}) dir.Write(std::string(SW_TimeStepName(t)) + ".TimeStep", "x");
  const char* d = dir.Path().c_str();
  struct Case {
    double current;
    SW_TimeStepMove move;
    const char* loads;  // "" for the error text
    const char* error;
  } cases[] = {
      {5, SW_TimeStepMove::Next, "at_0000010.0000", ""},
      {10, SW_TimeStepMove::Next, "", "accessing invalid time step"},
      {3, SW_TimeStepMove::Next, "at_0000000.0000", ""},
      {3, SW_TimeStepMove::Prev, "", "accessing invalid time step"},
      {5, SW_TimeStepMove::Prev, "at_0000000.0000", ""},
      {0, SW_TimeStepMove::Last, "at_0000010.0000", ""},
  };
  for (const Case& c : cases) {
    AK_String name;
    AK_ErrorText = "";
    EXPECT_EQ(SW_TimeStepToLoad(SW_ListTimeSteps(d, c.current), c.move, name), *c.loads != 0) << c.current;
    EXPECT_STREQ(name, c.loads);
    EXPECT_STREQ(AK_ErrorText, c.error);
  }
  SW_TimeStepList list = SW_ListTimeSteps(d, 5);
  EXPECT_STREQ(SW_TimeStepsListText(list), "at_0000000.0000%AK_SEP%at_0000005.0000%AK_SEP%at_0000010.0000%AK_SEP%");
  EXPECT_EQ(SW_NearestTimeStep(list, 7.5), 1);  // equally near: the first wins
  EXPECT_EQ(SW_NearestTimeStep(list, 8), 2);

  // No project directory: nothing listed or deleted in the current directory.
  WriteFile("at_0000001.0000.TimeStep", "x");
  EXPECT_EQ(SW_ListTimeSteps("", 0).names.Count(), 0);
  SW_TimeStepList here;
  here.names.Append(AK_String("at_0000001.0000"));
  EXPECT_STREQ(SW_DeleteTimeStepFiles("", here, true), "");
  EXPECT_STREQ(SW_RemoveLaterTimeSteps("", -100, 0), "");
  EXPECT_TRUE(AK_FileExists("at_0000001.0000.TimeStep"));
  EXPECT_EQ(0, AK_DeleteFile("at_0000001.0000.TimeStep"));

  EXPECT_STREQ(SW_RemoveLaterTimeSteps(d, 5, 0.1), "");
  EXPECT_STREQ(SW_DeleteTimeStepFiles(d, SW_ListTimeSteps(d, 5), false), "");
  EXPECT_EQ(AK_ListDirectory(d, "TimeStep").Count(), 1);  // 10 s removed, 0 s deleted
}

// Times of every magnitude, from names shorter than the padding to ones past 1e7 s (longer
// names, which sort before shorter ones byte for byte): the list runs in time order, its last
// entry is the largest time, the newest is found alone, and "except last" keeps that one.
TEST(TimeStepList, TheOrderIsThatOfTheTimes)
{
  MessageCapture messages;
  ScratchDir dir;
  const char* d = dir.Path().c_str();
  std::vector<double> times = {9e6, 1.2e7, 0, 1e8, 99999999.5, 5, 12345678.25, 1e7};
  dir.Write("notes.TimeStep", "no time");
  for (double t : times) dir.Write(std::string(SW_TimeStepName(t)) + ".TimeStep", std::to_string(t));
  std::sort(times.begin(), times.end());
  const SW_TimeStepList list = SW_ListTimeSteps(d, 1.2e7);
  ASSERT_EQ(list.names.Count(), int(times.size()) + 1);
  EXPECT_STREQ(list.names[0], "notes");  // no time: first
  for (size_t i = 0; i < times.size(); ++i) EXPECT_STREQ(list.names[int(i) + 1], SW_TimeStepName(times[i])) << i;
  EXPECT_STREQ(list.names[list.current], "at_12000000.0000");
  double newest = 0;
  EXPECT_STREQ(SW_NewestTimeStep(d, &newest), "at_100000000.0000");
  EXPECT_EQ(newest, 1e8);
  EXPECT_STREQ(SW_NewestTimeStep(""), "");
  dir.Write("at_200000000.0000.TimeStep", "later");
  EXPECT_STREQ(SW_DeleteTimeStepFiles(d, SW_ListTimeSteps(d, 0), false), "");
  EXPECT_EQ(ReadFile(dir / "at_200000000.0000.TimeStep"), "later");
  EXPECT_EQ(AK_ListDirectory(d, "TimeStep").Count(), 1);
}

// What a background start refuses, and the interrupt; a start itself runs the program.

// The newest time step, found in one pass in whatever order the directory gives its names, is the
// one a scan of the sorted listing finds: the largest time, of two names of one time (spelled with
// and without the padding) the first in byte order; names of no time and other files count for
// nothing. A directory not there has no newest; a file in its place neither.
TEST(TimeStepList, TheNewestIsTheSortedListingsLargestTime)
{
  std::mt19937 random(7);
  const auto pick = [&](int n) { return int(random() % unsigned(n)); };
  for (int round = 0; round < 40; ++round) {
    SCOPED_TRACE(round);
    ScratchDir dir;
    const char* d = dir.Path().c_str();
    for (int i = pick(30); i > 0; --i) {
      const int whole = pick(4);
      const std::string spellings[] = {SW_TimeStepName(whole).c_str(), "at_" + std::to_string(whole),
                                       "at_" + std::to_string(whole) + ".0", "at_" + std::to_string(whole) + ".5",
                                       "notes" + std::to_string(whole)};
      dir.Write(spellings[pick(5)] + (pick(6) == 0 ? ".dat" : ".TimeStep"), "x");
    }
    AK_String best;
    double bestTime = 0;
    for (const AK_String& file : AK_ListDirectory(d, "TimeStep")) {
      AK_String name = file;
      name.CutExtension();
      double t;
      if (std::strncmp(name, "at_", 3) == 0 && std::sscanf(name.c_str() + 3, "%lf", &t) == 1 &&
          (best.IsEmpty() || t > bestTime)) {
        best = name;
        bestTime = t;
      }
    }
    double time = -1;
    const AK_Read<AK_String> newest = SW_ReadNewestTimeStep(d, &time);
    ASSERT_TRUE(newest.IsRead());
    EXPECT_STREQ(*newest.Value(), best);
    EXPECT_EQ(time, bestTime);
  }
  ScratchDir dir;
  EXPECT_TRUE(SW_ReadNewestTimeStep((dir / "none").c_str()).IsMissing());
  EXPECT_TRUE(SW_ReadNewestTimeStep(dir.Write("file", "x").c_str()).IsMissing());
}
