// Starts that must not run: a background start whose list of the saved simulations it may run
// cannot be written starts nothing and leaves every file of the run directory as it was; an
// Interrupt answered while a start is prepared, after it took the run lock, stops its run before
// the first step, while one that no run read before the start does not; a run whose values
// cannot be written refuses before it touches a time step; a command refused for a file it
// cannot read refuses before its first write.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "ExampleTerrain.h"
#include "SharedProjectProcesses.h"
#include "TestSupport.h"

namespace {

namespace fs = std::filesystem;

// The example run to 2 s, then interrupted with no run to read it: the word a start finds.
struct InterruptedAfterARun : SharedExample {
  InterruptedAfterARun() : SharedExample(2, 1)
  {
    Torvu(*this / "setup", "run.macro", Load() + Set(kSimulation, "Run", "") + Set(kSimulation, "Interrupt", ""));
  }
};

std::string StartInBackground()
{
  return Load() + Set(kSimulation, "$autosave", "0") + Set(kSimulation, "RunInBackground", "");
}

}  // namespace

TEST(StartRefusals, AStartWhoseStartListCannotBeWrittenStartsNothing)
{
  InterruptedAfterARun p;
  WriteFile(p.Run() + "/.simulation_start", "the list of an earlier start\n");
  const Files before = FilesIn(p.Run());
  ASSERT_EQ(p.Status(), "interrupted\n");
  setenv("TORVU_FAIL", "write:.simulation_start", 1);
  TorvuProcess x(p / "x");
  unsetenv("TORVU_FAIL");
  const Answer refused = x.Do(StartInBackground());
  EXPECT_FALSE(refused.ok);
  EXPECT_EQ(refused.text, "Viewer/Project/Simulations/A: not started, the saved simulations its run may run cannot be "
                          "listed in ../proj/Project/Simulations/A/.simulation_start: Input/output error");
  // No lock, no start macro, no log: the status and info as they were, to the byte.
  ExpectSameFiles(FilesIn(p.Run()), before, "after the refused start");
  EXPECT_FALSE(Contains(x.Log(), "starting ")) << Gist(x.Log());
  EXPECT_EQ(x.Quit(), 0);
}

// X starts A in the background and is stopped once it holds the run lock; Y interrupts A there,
// or does not. X goes on and starts the run.
TEST(StartRefusals, AnInterruptAnsweredWhileAStartIsPreparedStopsItsRun)
{
  for (const bool interrupt : {true, false}) {
    SCOPED_TRACE(interrupt ? "interrupted while prepared" : "interrupted only before the start");
    InterruptedAfterARun p;
    const Files steps = p.TimeSteps();
    const std::string saved = p.Saved();
    fs::create_directories(p / "x");
    WriteFile(p / "x/start.macro", StartInBackground());
    setenv("TORVU_STOP_AT", "background start locked", 1);
    const pid_t x = StartTorvu(p / "x", "start.macro", p / "x/torvu.log");
    unsetenv("TORVU_STOP_AT");
    ASSERT_GT(x, 0);
    int status = 0;
    ASSERT_EQ(waitpid(x, &status, WUNTRACED), x);
    ASSERT_TRUE(WIFSTOPPED(status));
    EXPECT_NE(ReadFile(p.Run() + "/.simulation_lock").find(std::to_string(x)), std::string::npos);
    if (interrupt) Torvu(p / "y", "interrupt.macro", Load() + Set(kSimulation, "Interrupt", ""));
    kill(x, SIGCONT);
    ASSERT_EQ(waitpid(x, &status, 0), x);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_TRUE(Contains(ReadFile(p / "x/torvu.log"), "\nstarted '")) << Gist(ReadFile(p / "x/torvu.log"));
    ASSERT_TRUE(WaitUntilFinished(p.Run()));
    const std::string info = ReadFile(p.Run() + "/.simulation_info");
    if (interrupt) {
      EXPECT_EQ(info, "not run: interrupted before it began\n");
      ExpectSameFiles(p.TimeSteps(), steps, "after the interrupted start");
      EXPECT_EQ(p.Saved(), saved);
    } else {
      EXPECT_EQ(info.rfind("at time 2 s", 0), 0u) << info;
    }
  }
}

// proj ran to 2 s and was saved as proj2. A process that cannot read one file of the run
// directory has each command refused by it before its first write, the save of a changed
// EndTime and the autosave of a start among them: every file of both projects stays as it was.
TEST(StartRefusals, ACommandRefusedForAFileItCannotReadChangesNoFile)
{
  InterruptedAfterARun p;
  Torvu(p / "setup", "copy.macro", Load() + SaveAs("../proj2"));
  const std::string series = "the stamp of the series cannot be read: ../proj/" + kSimulation + "/.simulation_series: ";
  const std::string copy = "Viewer/" + kSimulation + ": not saved to ../proj2/" + kSimulation +
                           ", its run directory is as it was: cannot read ../proj/" + kSimulation + "/";
  struct Case {
    const char* unreadable;
    std::string command;
    std::string refusal;  // what the answer holds
    bool afterLoad = false;  // a directory takes the file's place once the project is loaded
  } cases[] = {
      {".simulation_series", Set(kSimulation, "EndTime", "3") + Set(kSimulation, "Run", ""),
       "Viewer/" + kSimulation + ": not run: " + series},
      {".simulation_series", ContinueTo(3), "Viewer/" + kSimulation + ": not run: " + series},
      {".simulation_series", Set(kSimulation, "EndTime", "3") + Set(kSimulation, "RunInBackground", ""),
       "Viewer/" + kSimulation + ": not run: " + series},
      {".simulation_values", Set(kSimulation, "EndTime", "3") + SaveAs("../proj2"), copy + ".simulation_values: "},
      // Read by the run after the save of a changed EndTime: refused before that save.
      {".simulation_values", Set(kSimulation, "EndTime", "3") + Set(kSimulation, "Run", ""),
       "Viewer/" + kSimulation + ": not run: cannot read ../proj/" + kSimulation + "/.simulation_values: "},
      {".simulation_values", ContinueTo(3),
       "Viewer/" + kSimulation + ": not run: cannot read ../proj/" + kSimulation + "/.simulation_values: "},
      {".simulation_info", Set(kSimulation, "EndTime", "3") + SaveAs("../proj2"), copy + ".simulation_info: "},
      {"ReleaseArea.atr", Set(kSimulation, "EndTime", "3") + Set(kSimulation, "Run", ""),
       "Viewer/" + kSimulation + ": not run: what it reads was loaded with errors: cannot load attributes for "
       "Viewer/Project/ReleaseAreas/slope_0001"},
      // The saved simulation, whose values and record a run compares and writes.
      {"ShallowWaterSimulation.atr", Set(kSimulation, "EndTime", "3") + Set(kSimulation, "Run", ""),
       "Viewer/" + kSimulation + ": not run: cannot read ../proj/" + kSimulation + "/ShallowWaterSimulation.atr: ", true},
      {"ShallowWaterSimulation.atr", ContinueTo(3),
       "Viewer/" + kSimulation + ": not run: cannot read ../proj/" + kSimulation + "/ShallowWaterSimulation.atr: ", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    Files project = Tree(p / "proj");
    const Files other = Tree(p / "proj2");
    std::unique_ptr<TorvuProcess> x;
    {
      FailOnce unreadable(c.afterLoad ? std::string() : std::string("open:") + c.unreadable);
      x = std::make_unique<TorvuProcess>(p / "x");
    }
    // The release area's own file fails the load, which goes on without it.
    EXPECT_EQ(x->Do(Load()).ok, std::string(c.unreadable) != "ReleaseArea.atr");
    const std::string swapped = p / ("proj/" + kSimulation + "/" + c.unreadable);
    const std::string kept = c.afterLoad ? ReadFile(swapped) : std::string();
    if (c.afterLoad) {
      std::filesystem::remove(swapped);
      std::filesystem::create_directory(swapped);
      project = Tree(p / "proj");
    }
    const Answer refused = x->Do(c.command);
    EXPECT_FALSE(refused.ok);
    EXPECT_TRUE(Contains(refused, c.refusal)) << refused;
    ExpectSameFiles(Tree(p / "proj"), project, "proj\n" + Gist(x->Log()));
    ExpectSameFiles(Tree(p / "proj2"), other, "proj2\n" + Gist(x->Log()));
    EXPECT_EQ(x->Quit(), 0);
    if (c.afterLoad) {
      std::filesystem::remove(swapped);
      WriteFile(swapped, kept);
    }
  }
}
