// A step of a writer that fails, or a mark it leaves behind: a deletion whose record or mark
// cannot be written deletes nothing; a mark that outlived its work goes once another writer changed
// the series, while a mark of the series as it stands is finished by whoever takes the run lock,
// fresh or over a writer that is gone; a lock whose entry cannot be read ends no run; a process
// whose series was deleted records nothing of the new one; a deletion of all time steps shows the
// last one first.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "ExampleTerrain.h"
#include "SharedProjectProcesses.h"
#include "TestSupport.h"

namespace {

namespace fs = std::filesystem;

std::string DeleteExceptLast() { return Set(kSimulation, "DeleteTimesteps", "except last"); }

// The example run to 10 s with an output every second, at_4 loaded and saved.
struct RunLoadedAt4 : SharedExample {
  RunLoadedAt4() : SharedExample(10, 1)
  {
    Torvu(*this / "setup", "run.macro",
          Load() + Set(kSimulation, "Run", "") + Set(kSimulation, "LoadTimeStep", Step(4)) + SaveProject());
  }
};

}  // namespace

// The record of a deletion, or its mark, cannot be written: the deletion is refused with the reason
// and every file stays as it was; once the step works again, the deletion goes through.
TEST(FailingSteps, ADeletionWhoseRecordOrMarkCannotBeWrittenDeletesNothing)
{
  RunLoadedAt4 p;
  const Files before = p.TimeSteps();
  ASSERT_EQ(before.size(), 11u);
  for (const std::string failing : {"rename:ShallowWaterSimulation.atr", "write:.simulation_removing"}) {
    SCOPED_TRACE(failing);
    FailOnce fail(failing);
    TorvuProcess x(p / "x");
    ASSERT_TRUE(x.Do(Load()).ok);
    const Answer refused = x.Do(DeleteExceptLast());
    EXPECT_FALSE(refused.ok);
    EXPECT_TRUE(Contains(refused.text, "time steps not deleted")) << refused;
    ExpectSameFiles(p.TimeSteps(), before, "after the refused deletion");
    EXPECT_EQ(Recorded(p.Saved()), Step(4));
    EXPECT_FALSE(fs::exists(p.Run() + "/.simulation_removing"));
    EXPECT_EQ(x.Quit(), 0);
  }
  TorvuProcess y(p / "y");
  ASSERT_TRUE(y.Do(Load()).ok);
  EXPECT_EQ(Recorded(p.Saved()), Step(4));
  const Answer deleted = y.Do(DeleteExceptLast());
  EXPECT_TRUE(deleted.ok) << deleted;
  EXPECT_EQ(p.TimeSteps().size(), 1u);
  EXPECT_EQ(Recorded(p.Saved()), Step(10));
  EXPECT_EQ(y.Quit(), 0);
}

// A deletion's mark that could not be removed says so, and outlives its deletion; a later run
// changes the series, so that a take-over of a killed writer afterwards drops the mark without
// touching the later run's time steps.
TEST(FailingSteps, AStaleDeletionMarkTouchesNoLaterTimeStep)
{
  RunLoadedAt4 p;
  {
    FailOnce fail("unlink:.simulation_removing");
    TorvuProcess x(p / "x");
    const Answer deleted = x.Do(Load() + DeleteExceptLast());
    EXPECT_FALSE(deleted.ok);
    EXPECT_TRUE(Contains(deleted.text, "the time steps were deleted, but cannot remove")) << deleted;
    EXPECT_EQ(x.Quit(), 0);
  }
  ASSERT_TRUE(fs::exists(p.Run() + "/.simulation_removing"));
  Torvu(p / "y", "continue.macro", Load() + ContinueTo(12) + SaveProject());
  ASSERT_TRUE(fs::exists(p.Run() + "/" + File(12)));
  ASSERT_TRUE(KillAtWindow(p / "z", Load() + Set(kSimulation, "SaveTimeStep", ""), "save time step"));
  const Files steps = p.TimeSteps();
  TorvuProcess w(p / "w");
  const Answer loaded = w.Do(Load() + "get(\"" + kSimulation + "\", \"CurrentTimeStep\", value);");
  EXPECT_TRUE(loaded.ok) << loaded;
  EXPECT_EQ(loaded.text, Step(12));
  ExpectSameFiles(p.TimeSteps(), steps, "after the take-over");
  EXPECT_FALSE(fs::exists(p.Run() + "/.simulation_removing"));
  EXPECT_FALSE(Contains(w.Log(), "the deletion was finished")) << Gist(w.Log());
  EXPECT_EQ(w.Quit(), 0);

  // The mark of a build whose marks named no series says nothing of the series: it goes, every
  // file stays.
  WriteFile(p.Run() + "/.simulation_deleting", Step(12) + "\n");
  WriteFile(p.Run() + "/.simulation_lock", "1073741000 4242\nwrite\n");
  TorvuProcess v(p / "v");
  EXPECT_TRUE(v.Do(Load()).ok);
  ExpectSameFiles(p.TimeSteps(), steps, "after an old mark");
  EXPECT_FALSE(fs::exists(p.Run() + "/.simulation_deleting"));
  EXPECT_EQ(v.Quit(), 0);
}

// A deletion killed half-way, and its lock gone as a taker killed before it made its own leaves
// it: the next writer takes the lock fresh and finishes the deletion of the series as it stands.
TEST(FailingSteps, AFreshTakerFinishesADeletionOfTheSeriesAsItStands)
{
  RunLoadedAt4 p;
  ASSERT_TRUE(KillAtWindow(p / "x", Load() + DeleteExceptLast(), "time steps deleting"));
  ASSERT_TRUE(fs::exists(p.Run() + "/.simulation_removing"));
  ASSERT_GT(p.TimeSteps().size(), 1u);
  fs::remove(p.Run() + "/.simulation_lock");
  TorvuProcess y(p / "y");
  const Answer loaded = y.Do(Load());
  EXPECT_TRUE(loaded.ok) << loaded;
  EXPECT_TRUE(Contains(y.Log(), "the deletion was finished")) << Gist(y.Log());
  EXPECT_EQ(p.TimeSteps().size(), 1u);
  EXPECT_EQ(Recorded(p.Saved()), Step(10));
  EXPECT_FALSE(fs::exists(p.Run() + "/.simulation_removing"));
  EXPECT_TRUE(y.Do(ContinueTo(11)).ok);
  EXPECT_EQ(y.Quit(), 0);
}

// A run lock whose entry cannot be read (left by a writer killed before it wrote it, by a build
// that created it first) is taken over as no run: the status and the record stay as they were.
TEST(FailingSteps, ALockWhoseEntryCannotBeReadEndsNoRun)
{
  RunLoadedAt4 p;
  Torvu(p / "i", "interrupt.macro", Load() + Set(kSimulation, "Interrupt", ""));
  const std::string status = p.Status(), info = ReadFile(p.Run() + "/.simulation_info");
  for (const std::string entry : {"", "garbage\n"}) {
    WriteFile(p.Run() + "/.simulation_lock", entry);
    TorvuProcess x(p / "x");
    const Answer loaded = x.Do(Load() + "get(\"" + kSimulation + "\", \"CurrentTimeStep\", value);");
    EXPECT_TRUE(loaded.ok) << loaded;
    EXPECT_EQ(loaded.text, Step(4));
    EXPECT_TRUE(x.Do(Set(kSimulation, "Id", "A") + SaveProject()).ok);
    EXPECT_FALSE(Contains(x.Log(), "did not finish")) << Gist(x.Log());
    EXPECT_EQ(Recorded(p.Saved()), Step(4));
    EXPECT_EQ(p.Status(), status);
    EXPECT_EQ(ReadFile(p.Run() + "/.simulation_info"), info);
    EXPECT_EQ(x.Quit(), 0);
    fs::remove(p.Run() + "/.simulation_lock");
  }
  // What takers killed half-way left beside the lock goes with a load; a user's file in the top
  // directory that only looks like a temporary stays.
  for (const char* left : {"/.simulation_lock.stale.1073741000", "/.simulation_lock.new.1073741001"})
    WriteFile(p.Run() + left, "1073741000\n");
  WriteFile(p / "proj/notes.~locked", "mine");
  TorvuProcess y(p / "y");
  EXPECT_TRUE(y.Do(Load()).ok);
  EXPECT_FALSE(fs::exists(p.Run() + "/.simulation_lock.stale.1073741000"));
  EXPECT_FALSE(fs::exists(p.Run() + "/.simulation_lock.new.1073741001"));
  EXPECT_EQ(ReadFile(p / "proj/notes.~locked"), "mine");
  EXPECT_EQ(y.Quit(), 0);
}

// Y loads before any run; X runs A and saves; Z loads, changes the friction and loads at_4; X
// deletes A; Y continues anew from 0 s under other values. Z's save then names no time step of
// Y's series, which was computed under values Z never saved.
TEST(FailingSteps, AProcessWhoseSeriesWasDeletedRecordsNothingOfTheNewOne)
{
  SharedExample p(8, 2);
  TorvuProcess y(p / "y"), x(p / "x"), z(p / "z");
  ASSERT_TRUE(y.Do(Load()).ok);
  ASSERT_TRUE(x.Do(Load() + Set(kSimulation, "Run", "") + SaveProject()).ok);
  ASSERT_TRUE(z.Do(Load() + Set(kSimulation, "BedFrictionAngle", "28") + Set(kSimulation, "LoadTimeStep", Step(4))).ok);
  ASSERT_TRUE(x.Do(Set("Project/Simulations", "DeleteComponent", "A") + SaveProject()).ok);
  ASSERT_FALSE(fs::exists(p.Run()));
  const Answer anew = y.Do(Set(kSimulation, "BedFrictionAngle", "22") + ContinueTo(6));
  ASSERT_TRUE(fs::exists(p.Run() + "/" + File(6))) << anew << Gist(y.Log());
  const Answer saved = z.Do(SaveProject());
  EXPECT_TRUE(saved.ok) << saved;
  EXPECT_EQ(Recorded(p.Saved()), "");
  for (TorvuProcess* process : {&x, &y, &z}) EXPECT_EQ(process->Quit(), 0);
}

// "all" with an earlier time step loaded shows the last one first, then deletes every file: the
// simulation holds the last state, and the record names none.
TEST(FailingSteps, DeletingAllShowsTheLastTimeStepFirst)
{
  RunLoadedAt4 p;
  TorvuProcess x(p / "x");
  const Answer deleted = x.Do(Load() + Set(kSimulation, "DeleteTimesteps", "all") + "get(\"" + kSimulation +
                              "\", \"CurrentTime\", value);");
  EXPECT_TRUE(deleted.ok) << deleted;
  EXPECT_NEAR(std::atof(deleted.text.c_str()), 10, 1e-6) << deleted;
  EXPECT_TRUE(p.TimeSteps().empty());
  EXPECT_EQ(Recorded(p.Saved()), "");
  EXPECT_EQ(x.Quit(), 0);
}

// A deletion of all time steps killed after its mark and before its record: the next load finishes
// it and records that none stays, never a file that is gone.
TEST(FailingSteps, AFinishedDeletionRecordsWhatStays)
{
  RunLoadedAt4 p;
  ASSERT_TRUE(KillAtWindow(p / "x", Load() + Set(kSimulation, "DeleteTimesteps", "all"), "time steps marked"));
  ASSERT_EQ(Recorded(p.Saved()), Step(4));
  TorvuProcess y(p / "y");
  EXPECT_TRUE(y.Do(Load()).ok);
  EXPECT_TRUE(Contains(y.Log(), "the deletion was finished")) << Gist(y.Log());
  EXPECT_TRUE(p.TimeSteps().empty());
  EXPECT_EQ(Recorded(p.Saved()), "");
  EXPECT_EQ(y.Quit(), 0);
}

// The take-over of a killed run whose record cannot be written leaves the run to end to the next
// taker, which records its newest time step; a saved simulation that cannot be read fails the load
// that reads it.
TEST(FailingSteps, ATakeOverWhoseRecordFailsLeavesTheRunToTheNext)
{
  SharedExample p(600, 2);
  Torvu(p.Path(), "start.macro", Load("proj") + Set(kSimulation, "RunInBackground", ""));
  ASSERT_TRUE(WaitUntil([&] { return fs::exists(p.Run() + "/" + File(4)); }));
  ASSERT_GT(KillRun(p.Run(), p.Path()), 0);
  const std::string newest = p.TimeSteps().rbegin()->first.substr(0, 15);
  {
    FailOnce fail("rename:ShallowWaterSimulation.atr");
    TorvuProcess x(p / "x");
    x.Do(Load());
    EXPECT_EQ(p.Status(), "running\n");
    EXPECT_NE(Recorded(p.Saved()), newest);
    EXPECT_EQ(x.Quit(), 0);
  }
  TorvuProcess y(p / "y");
  EXPECT_TRUE(y.Do(Load()).ok);
  EXPECT_EQ(p.Status(), "finished\n");
  EXPECT_EQ(Recorded(p.Saved()), newest);
  EXPECT_EQ(y.Quit(), 0);

  fs::remove(p.Run() + "/ShallowWaterSimulation.atr");
  fs::create_directory(p.Run() + "/ShallowWaterSimulation.atr");
  TorvuProcess z(p / "z");
  const Answer loaded = z.Do(Load());
  EXPECT_FALSE(loaded.ok);
  EXPECT_TRUE(Contains(loaded.text, "cannot load attributes")) << loaded;
  EXPECT_EQ(z.Quit(), 0);
}

// A run from 0 s under another friction, killed while it removes the old run's later time steps,
// before it said it ran: the next load leaves no record of a file that is gone.
TEST(FailingSteps, ARunKilledBeforeItRanRecordsNoFileThatIsGone)
{
  RunLoadedAt4 p;
  Torvu(p / "last", "last.macro", Load() + Set(kSimulation, "LoadTimeStep", Step(10)) + SaveProject());
  ASSERT_EQ(Recorded(p.Saved()), Step(10));
  ASSERT_TRUE(KillAtWindow(p / "x", Load() + Set(kSimulation, "BedFrictionAngle", "20") + Set(kSimulation, "Run", ""),
                           "later time steps removing"));
  ASSERT_FALSE(fs::exists(p.Run() + "/" + File(10)));
  ASSERT_TRUE(fs::exists(p.Run() + "/" + File(9)));
  TorvuProcess y(p / "y");
  EXPECT_TRUE(y.Do(Load()).ok);
  EXPECT_TRUE(RecordIsThere(p.Run())) << Recorded(p.Saved());
  EXPECT_EQ(y.Quit(), 0);
}

// X holds at_6 of a run to 8 s; Y saves EndTime 6. X's "Continue" takes that value over with its
// save and is then refused as Y's would be: no later time step goes for a run that computes none.
TEST(FailingSteps, AContinueThatTakesOverAnEndItHasReachedIsRefused)
{
  SharedExample p(8, 2);
  Torvu(p / "run", "run.macro", Load() + Set(kSimulation, "Run", "") + SaveProject());
  TorvuProcess x(p / "x"), y(p / "y");
  ASSERT_TRUE(x.Do(Load() + Set(kSimulation, "LoadTimeStep", Step(6))).ok);
  ASSERT_TRUE(y.Do(Load() + Set(kSimulation, "EndTime", "6") + SaveProject()).ok);
  const Answer continued = x.Do(Set(kSimulation, "Continue", ""));
  EXPECT_FALSE(continued.ok);
  EXPECT_TRUE(Contains(continued.text, "nothing to continue")) << continued;
  EXPECT_TRUE(fs::exists(p.Run() + "/" + File(8)));
  EXPECT_EQ(x.Quit(), 0);
  EXPECT_EQ(y.Quit(), 0);
}

// A writer whose run lock cannot be removed says so; the next process takes the lock over as that
// of a writer of nothing a run leaves: the record stays.
TEST(FailingSteps, ALockThatCannotBeRemovedSaysSo)
{
  RunLoadedAt4 p;
  {
    FailOnce fail("unlink:.simulation_lock");
    TorvuProcess x(p / "x");
    const Answer saved = x.Do(Load() + Set(kSimulation, "SaveTimeStep", ""));
    EXPECT_FALSE(saved.ok);
    EXPECT_TRUE(Contains(saved.text, "cannot be removed")) << saved;
    EXPECT_EQ(x.Quit(), 0);
  }
  ASSERT_TRUE(fs::exists(p.Run() + "/.simulation_lock"));
  TorvuProcess y(p / "y");
  EXPECT_TRUE(y.Do(Load()).ok);
  EXPECT_FALSE(fs::exists(p.Run() + "/.simulation_lock"));
  EXPECT_FALSE(Contains(y.Log(), "did not finish")) << Gist(y.Log());
  EXPECT_EQ(Recorded(p.Saved()), Step(4));
  EXPECT_EQ(y.Quit(), 0);
}
