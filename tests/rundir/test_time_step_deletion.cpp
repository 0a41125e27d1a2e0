// Deletions of time steps where one file will not go (a directory of that name that holds a
// file: its removal fails as an unlink does): every other file is tried and goes, the answer names
// what stayed, the mark stays, and the next taker finishes the deletion once the file can go.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "AK_FrameworkState.h"
#include "AK_ProcessLock.h"
#include "SW_TimeStepList.h"
#include "SW_TimeStepList_Internal.h"
#include "SW_TimeStepNames.h"
#include "TestSupport.h"

namespace {

namespace fs = std::filesystem;

std::string FileOf(double t) { return std::string(SW_TimeStepName(t)) + ".TimeStep"; }

// A time step whose removal fails until Unblock.
struct Blocked {
  Blocked(const ScratchDir& dir, double t) : path(dir / FileOf(t)) { dir.Write(FileOf(t) + "/held", "x"); }
  void Unblock() const { fs::remove(path + "/held"); }
  std::string path;
};

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

TEST(TimeStepDeletion, AFileThatStaysIsNamedAndKeepsTheMarkUntilTheNextTakerRemovesIt)
{
  const std::vector<double> times = {0, 1, 5, 10};
  struct Case {
    bool all;
    double blocked;
  } cases[] = {{false, 0}, {false, 5}, {true, 5}, {true, 10}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.all ? "all" : "except last") + ", blocked " + std::to_string(c.blocked));
    MessageCapture messages;
    ScratchDir dir;
    const char* d = dir.Path().c_str();
    const Blocked blocked(dir, c.blocked);
    for (double t : times)
      if (t != c.blocked) dir.Write(FileOf(t), "step");
    SW_SeriesHold series;
    {
      AK_DirectoryLock locked(d);
      ASSERT_TRUE(series.Take(locked, d));
    }
    std::vector<std::string> recorded;
    const auto record = [&](const AK_String& kept) {
      recorded.push_back(kept.c_str());
      return AK_String();
    };
    const SW_TimeStepDeletion deletion = SW_DeleteTimeSteps(d, SW_ListTimeSteps(d, 10), c.all, series, record);
    EXPECT_FALSE(deletion.done);
    EXPECT_TRUE(deletion.started);
    EXPECT_TRUE(Has(deletion.failure.c_str(), "the time step " + std::string(SW_TimeStepName(c.blocked)) + " stays: cannot remove " + blocked.path))
        << deletion.failure;
    const std::string kept = c.all ? "" : std::string(SW_TimeStepName(times.back()));
    EXPECT_EQ(recorded, std::vector<std::string>{kept});
    // Every file but the one kept was tried, each with its message; all but the blocked one went.
    EXPECT_EQ(messages.WithPrefix("removing ").size(), times.size() - (c.all ? 0 : 1));
    for (double t : times)
      EXPECT_EQ(fs::exists(dir / FileOf(t)), t == c.blocked || (!c.all && t == times.back())) << t;
    ASSERT_TRUE(SW_DeletionIsMarked(d));

    // The next taker tries again: while the file stays, the mark stays, and the failure names it.
    AK_String failure;
    const auto recordKept = [&](const char*, SW_TakerRecord what, const char* step) {
      EXPECT_EQ(what, SW_TakerRecord::Kept);
      recorded.push_back(step);
      return AK_String();
    };
    EXPECT_EQ(SW_FinishCutDeletion(d, recordKept, &failure), SW_CutWork::Failed);
    EXPECT_TRUE(Has(failure.c_str(), SW_TimeStepName(c.blocked).c_str())) << failure;
    EXPECT_TRUE(SW_DeletionIsMarked(d));
    blocked.Unblock();
    EXPECT_EQ(SW_FinishCutDeletion(d, recordKept, &failure), SW_CutWork::Finished);
    EXPECT_FALSE(SW_DeletionIsMarked(d));
    EXPECT_EQ(recorded.back(), kept);
    EXPECT_EQ(AK_ListDirectory(d, "TimeStep").Count(), c.all ? 0 : 1);
  }
}

// A run's removal of the later time steps takes files only: a directory of such a name is no time
// step, and stays (the run's own write in its place answers that).
TEST(TimeStepDeletion, LaterTimeStepsAreFilesOnly)
{
  MessageCapture messages;
  ScratchDir dir;
  const char* d = dir.Path().c_str();
  const Blocked blocked(dir, 7);
  for (int t = 0; t <= 10; ++t)
    if (t != 7) dir.Write(FileOf(t), "step");
  EXPECT_STREQ(SW_RemoveLaterTimeSteps(d, 2, 0.1), "");
  for (int t = 0; t <= 10; ++t) EXPECT_EQ(fs::exists(dir / FileOf(t)), t <= 2 || t == 7) << t;
}

// Each call of a removal of the later time steps failed in turn (a look, an unlink): the removal
// answers the failure, or every later time step went. What a look found a file is never passed
// over: one look tells it, and a failed one is no answer that nothing stands there.
TEST(TimeStepDeletion, AFailedCallOfARemovalOfLaterTimeStepsIsAnsweredOrAllWent)
{
  MessageCapture messages;
  ScratchDir dir;
  const char* d = dir.Path().c_str();
  const auto write = [&] {
    for (int t = 0; t <= 6; ++t) dir.Write(FileOf(t), "step");
  };
  write();
  AK_RestartFailureCount(0);
  ASSERT_STREQ(SW_RemoveLaterTimeSteps(d, 2, 0.1), "");
  const long calls = AK_FailureHookCalls();
  // A look at each of the four later files and their four removals at least.
  ASSERT_GE(calls, 8);
  for (long n = 1; n <= calls; ++n) {
    SCOPED_TRACE(n);
    write();
    AK_RestartFailureCount(n);
    const std::string answer = SW_RemoveLaterTimeSteps(d, 2, 0.1).c_str();
    AK_RestartFailureCount(0);
    bool laterStands = false;
    for (int t = 3; t <= 6; ++t) laterStands = laterStands || fs::exists(dir / FileOf(t));
    EXPECT_TRUE(answer.empty() ? !laterStands : laterStands) << answer;
    for (int t = 0; t <= 2; ++t) EXPECT_TRUE(fs::exists(dir / FileOf(t))) << t;
  }
}

// A run's removal of the time steps later than its state, marked and then cut short: the next taker
// removes just those later than the state the mark names (a step less than half a time step past it
// is the state's own output and stays), and has the record forget a file that went; once another
// writer changed the series, the mark goes with no file touched. Nothing later: nothing is marked.
TEST(TimeStepDeletion, ACutRemovalOfLaterTimeStepsIsFinishedForItsSeriesOnly)
{
  const std::vector<double> times = {0, 1, 2, 2.04, 2.06, 3, 10};
  for (const bool changedSince : {false, true}) {
    SCOPED_TRACE(changedSince ? "the series changed since" : "as it was cut");
    MessageCapture messages;
    ScratchDir dir;
    const char* d = dir.Path().c_str();
    for (double t : times) dir.Write(FileOf(t), "step");
    SW_SeriesHold series;
    {
      AK_DirectoryLock locked(d);
      ASSERT_TRUE(series.Take(locked, d));
      ASSERT_TRUE(series.Pass(locked, d, SW_SeriesChange::Write).passed);
      ASSERT_STREQ(SW_MarkLaterRemoval(d, 2, 0.1), "");
    }
    ASSERT_TRUE(SW_DeletionIsMarked(d));
    fs::remove(dir / FileOf(10));  // the kill came after the latest went
    if (changedSince) {
      SW_SeriesHold other;
      AK_DirectoryLock locked(d);
      ASSERT_TRUE(other.Take(locked, d));
      ASSERT_TRUE(other.Pass(locked, d, SW_SeriesChange::Write).passed);
    }
    std::vector<SW_TakerRecord> recorded;
    const auto record = [&](const char*, SW_TakerRecord what, const char*) {
      recorded.push_back(what);
      return AK_String();
    };
    EXPECT_EQ(SW_FinishCutLaterRemoval(d, record, nullptr), changedSince ? SW_CutWork::Stale : SW_CutWork::Finished);
    EXPECT_FALSE(SW_DeletionIsMarked(d));
    EXPECT_EQ(recorded, changedSince ? std::vector<SW_TakerRecord>{} : std::vector<SW_TakerRecord>{SW_TakerRecord::NoneIfFileGone});
    for (double t : times) EXPECT_EQ(fs::exists(dir / FileOf(t)), t < 2.05 || (changedSince && t < 10)) << t;
    EXPECT_STREQ(SW_MarkLaterRemoval(d, 3, 0.1), "");
    EXPECT_FALSE(SW_DeletionIsMarked(d));
  }
}
