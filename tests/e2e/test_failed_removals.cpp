// A removal of time steps that fails half-way: a run refuses before it writes a time step, so that
// the series stays one run; a copy cut short in its source (by a failure or a kill) is finished
// before a save reads that source, so that no project holds two runs.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "ExampleTerrain.h"
#include "SharedProjectProcesses.h"
#include "TestSupport.h"

namespace {

namespace fs = std::filesystem;

// The failure hook of the program set for the processes started while it lives.
struct FailOnce {
  explicit FailOnce(const std::string& steps) { setenv("TORVU_FAIL", steps.c_str(), 1); }
  ~FailOnce() { unsetenv("TORVU_FAIL"); }
};

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string SaveAs(const std::string& project) { return Set("", "SaveProjectAs", project); }
std::string RunOf(const std::string& project) { return project + "/" + kSimulation; }
std::string SavedOf(const std::string& project) { return ReadFile(RunOf(project) + "/ShallowWaterSimulation.atr"); }

// The value a saved simulation sets for the attribute, "" when it sets none.
std::string SavedValue(const std::string& saved, const std::string& name)
{
  const std::string line = "set(\"\", \"" + name + "\", \"";
  const size_t at = saved.find(line), from = at + line.size();
  return at == std::string::npos ? "" : saved.substr(from, saved.find('"', from) - from);
}

}  // namespace

// A run at 16 degrees to 10 s; then friction 30, EndTime 4, Run, while one removal of a later time
// step fails. The run refuses with the reason before it writes a time step: what stays is the
// earlier run's series without a gap, and the saved record names none of its files that went.
TEST(FailedRemovals, ARunWhoseLaterTimeStepsCannotAllGoRefusesAndTheSeriesStaysOneRun)
{
  for (const double failing : {10.0, 7.0}) {
    SCOPED_TRACE(failing);
    SharedExample p(10, 1);
    Torvu(p / "setup", "run.macro",
          Load() + Set(kSimulation, "BedFrictionAngle", "16") + Set(kSimulation, "Run", "") + SaveProject());
    const Files before = p.TimeSteps();
    ASSERT_EQ(before.size(), 11u);
    FailOnce fail("unlink:" + File(failing));
    TorvuProcess x(p / "x");
    ASSERT_TRUE(x.Do(Load()).ok);
    const Answer refused = x.Do(Set(kSimulation, "BedFrictionAngle", "30") + Set(kSimulation, "EndTime", "4") +
                                Set(kSimulation, "Run", ""));
    EXPECT_FALSE(refused.ok);
    EXPECT_TRUE(Contains(refused.text, "not run: the later time steps cannot all be removed")) << refused;
    EXPECT_TRUE(Contains(refused.text, "cannot remove")) << refused;
    // The earlier run's time steps up to the one that would not go, each as it was.
    Files kept;
    for (const auto& [name, bytes] : before)
      if (TimeOf(name) <= failing) kept[name] = bytes;
    ExpectSameFiles(p.TimeSteps(), kept, "after the refused run");
    const std::string record = Recorded(p.Saved());
    EXPECT_TRUE(record.empty() || p.TimeSteps().count(record + ".TimeStep")) << record;
    EXPECT_EQ(x.Quit(), 0);
  }
}

// P ran at 16 degrees, P2 at 30. Z loads P; Y saves P2 into P, cut short while it puts the copy in
// place (a failed rename of at_4's staged file, or a kill there). Z then saves P as P3: the copy
// into P is finished first, and P and P3 each hold P2's run whole under its friction, with no mark.
TEST(FailedRemovals, ASaveAsFinishesTheCutCopyOfItsSourceBeforeItReadsIt)
{
  for (const bool killed : {false, true}) {
    SCOPED_TRACE(killed ? "killed" : "failed");
    SharedExample p(6, 2);
    Torvu(p.Path(), "runs.macro",
          Load("proj") + Set(kSimulation, "BedFrictionAngle", "16") + Set(kSimulation, "Run", "") + SaveProject() +
              SaveAs("proj2") + Set(kSimulation, "BedFrictionAngle", "30") + Set(kSimulation, "Run", "") +
              SaveProject());
    const Files second = TimeStepContents(RunOf(p / "proj2"));
    ASSERT_NE(TimeStepContents(RunOf(p / "proj")), second);
    TorvuProcess z(p / "z");
    ASSERT_TRUE(z.Do(Load()).ok);
    const std::string copyIntoP = Load("../proj2") + SaveAs("../proj");
    if (killed) {
      ASSERT_TRUE(KillAtWindow(p / "y", copyIntoP, "copy putting in place"));
    } else {
      FailOnce fail("rename:" + File(4));
      TorvuProcess y(p / "y");
      EXPECT_FALSE(y.Do(copyIntoP).ok);
      EXPECT_EQ(y.Quit(), 0);
    }
    ASSERT_TRUE(fs::exists(RunOf(p / "proj") + "/.simulation_copying"));
    const Answer saved = z.Do(SaveAs("../proj3"));
    EXPECT_TRUE(saved.ok) << saved << Gist(z.Log());
    for (const std::string project : {"proj", "proj3"}) {
      SCOPED_TRACE(project);
      ExpectSameFiles(TimeStepContents(RunOf(p / project)), second, "the run of P2 whole");
      EXPECT_EQ(SavedValue(SavedOf(p / project), "BedFrictionAngle"), "30");
      EXPECT_FALSE(fs::exists(RunOf(p / project) + "/.simulation_copying"));
      for (const auto& entry : fs::directory_iterator(RunOf(p / project)))
        EXPECT_FALSE(Contains(entry.path().filename().string(), ".~staged")) << entry.path();
    }
    EXPECT_EQ(z.Quit(), 0);
  }
}
