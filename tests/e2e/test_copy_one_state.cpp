// A save into another project copies one state of its source: the series, the values and the
// record that go into the target belong together, also when two processes save in opposite
// directions at once; a copy that cannot be put in place is finished by the next process; the
// values a save takes over from another process come whole; and only the values a run reads
// withhold its record.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

#include "AK_Files.h"
#include "ExampleTerrain.h"
#include "SharedProjectProcesses.h"
#include "TestSupport.h"

namespace {

namespace fs = std::filesystem;

// The saved lines without the one of the attribute.
std::string Without(const std::string& saved, const std::string& name)
{
  std::string rest, line;
  for (std::istringstream lines(saved); std::getline(lines, line);)
    if (line.find("\"" + name + "\"") == std::string::npos) rest += line + "\n";
  return rest;
}

// A test hook of the program set for the processes started while it lives.
struct Hook {
  Hook(const char* name, const std::string& value) : name(name) { setenv(name, value.c_str(), 1); }
  ~Hook() { unsetenv(name); }
  const char* name;
};

// proj run to `end` under 16 degrees, and proj2, its copy, run under 30: the same time-step
// names, other contents. The two series.
std::pair<Files, Files> TwoRuns(SharedExample& p, double end)
{
  Torvu(p.Path(), "runs.macro",
        Load("proj") + Set(kSimulation, "BedFrictionAngle", "16") + Set(kSimulation, "EndTime", Seconds(end)) +
            Set(kSimulation, "Run", "") + SaveProject() + SaveAs("proj2") +
            Set(kSimulation, "BedFrictionAngle", "30") + Set(kSimulation, "Run", "") + SaveProject());
  return {TimeStepContents(RunOf(p / "proj")), TimeStepContents(RunOf(p / "proj2"))};
}

// The project holds one of the two series whole, under the friction it ran with, and records its
// last time step; the friction, or "" when it holds neither.
std::string HeldSeries(const std::string& project, const std::pair<Files, Files>& runs)
{
  const Files steps = TimeStepContents(RunOf(project));
  const std::string friction = SavedValue(SavedOf(project), "BedFrictionAngle");
  if (steps == runs.first && friction == "16") return friction;
  if (steps == runs.second && friction == "30") return friction;
  return "";
}

}  // namespace

// P saves proj as proj2 while Q saves proj2 as proj; P is held after it staged. Each project
// ends with one run's series under that run's friction, never one run's files under the other's.
TEST(CopyOneState, OppositeSavesEachCopyOneStateOfTheirSource)
{
  SharedExample p(4, 2);
  const auto runs = TwoRuns(p, 4);
  ASSERT_NE(runs.first, runs.second);
  std::unique_ptr<TorvuProcess> x;
  {
    Hook hold("TORVU_COPY_STAGED_PAUSE_MS", "2000");
    x = std::make_unique<TorvuProcess>(p / "x");
  }
  TorvuProcess y(p / "y");
  ASSERT_TRUE(x->Do(Load()).ok);
  ASSERT_TRUE(y.Do(Load("../proj2")).ok);
  Answer forth, back;
  std::thread save([&] { forth = x->Do(SaveAs("../proj2")); });
  ASSERT_TRUE(WaitUntil([&] { return fs::exists(RunOf(p / "proj2") + "/" + File(4) + kStagedSuffix); }));
  back = y.Do(SaveAs("../proj"));
  save.join();
  EXPECT_TRUE(forth.ok) << forth;
  EXPECT_TRUE(back.ok) << back;
  EXPECT_EQ(HeldSeries(p / "proj", runs), "16") << Gist(y.Log());
  EXPECT_EQ(HeldSeries(p / "proj2", runs), "16") << Gist(x->Log());
  for (const std::string project : {"proj", "proj2"}) {
    EXPECT_EQ(Recorded(SavedOf(p / project)), Step(4)) << project;
    // The run's own files went with its series.
    EXPECT_EQ(ReadFile(RunOf(p / project) + "/.simulation_values"), ReadFile(RunOf(p / "proj") + "/.simulation_values"));
    EXPECT_EQ(ReadFile(RunOf(p / project) + "/.simulation_info"), ReadFile(RunOf(p / "proj") + "/.simulation_info"));
  }
  EXPECT_EQ(x->Quit(), 0);
  EXPECT_EQ(y.Quit(), 0);
}

// The rename of one staged time step fails: the save says that the copy stays marked, and the
// next process that takes the run lock (a load) finishes it: the target holds the copy whole.
TEST(CopyOneState, ACopyThatCannotBePutInPlaceIsFinishedByTheNextProcess)
{
  SharedExample p(6, 2);
  const auto runs = TwoRuns(p, 6);
  std::unique_ptr<TorvuProcess> x;
  {
    Hook fail("TORVU_FAIL", "rename:" + File(4));
    x = std::make_unique<TorvuProcess>(p / "x");
  }
  ASSERT_TRUE(x->Do(Load()).ok);
  const Answer saved = x->Do(SaveAs("../proj2"));
  EXPECT_FALSE(saved.ok);
  EXPECT_NE(saved.text.find("the copy stays marked there, and the next process that takes its run lock finishes it"), std::string::npos)
      << saved;
  EXPECT_TRUE(fs::exists(RunOf(p / "proj2") + "/.simulation_copying"));
  EXPECT_TRUE(fs::exists(RunOf(p / "proj2") + "/" + File(4) + kStagedSuffix));
  EXPECT_EQ(x->Quit(), 0);
  // A finishing whose own rename fails keeps the mark and every staged file for the next one, and
  // the load that took the lock answers the failure.
  {
    // Every taker in the process tries again (the load's, and its time step's).
    const std::string once = "rename:" + File(6);
    Hook fail("TORVU_FAIL", once + "," + once + "," + once + "," + once);
    TorvuProcess w(p / "w");
    const Answer refused = w.Do(Load("../proj2"));
    EXPECT_FALSE(refused.ok) << refused;
    EXPECT_NE(w.Log().find("cannot be finished"), std::string::npos) << Gist(w.Log());
    EXPECT_TRUE(fs::exists(RunOf(p / "proj2") + "/.simulation_copying"));
    EXPECT_TRUE(fs::exists(RunOf(p / "proj2") + "/" + File(6) + kStagedSuffix));
    EXPECT_EQ(w.Quit(), 0);
  }
  TorvuProcess y(p / "y");
  const Answer loaded = y.Do(Load("../proj2") + "get(\"" + kSimulation + "\", \"CurrentTimeStep\", value);");
  EXPECT_TRUE(loaded.ok) << loaded;
  EXPECT_EQ(loaded.text, Step(6));
  EXPECT_EQ(HeldSeries(p / "proj2", runs), "16") << Gist(y.Log());
  EXPECT_NE(y.Log().find("the copy was finished"), std::string::npos) << Gist(y.Log());
  EXPECT_FALSE(fs::exists(RunOf(p / "proj2") + "/.simulation_copying"));
  EXPECT_EQ(y.Quit(), 0);

  // A copy whose mark cannot be removed says so; the next load finds it put in place whole and
  // only removes the mark: the copied info is not written again.
  {
    Hook fail("TORVU_FAIL", "unlink:.simulation_copying");
    TorvuProcess v(p / "v");
    const Answer again = v.Do(Load() + SaveAs("../proj2"));
    EXPECT_FALSE(again.ok);
    EXPECT_NE(again.text.find("cannot remove"), std::string::npos) << again;
    EXPECT_EQ(v.Quit(), 0);
  }
  const std::string info = ReadFile(RunOf(p / "proj2") + "/.simulation_info");
  const Files copied = TimeStepContents(RunOf(p / "proj2"));
  TorvuProcess u(p / "u");
  EXPECT_TRUE(u.Do(Load("../proj2")).ok);
  EXPECT_FALSE(fs::exists(RunOf(p / "proj2") + "/.simulation_copying"));
  EXPECT_EQ(ReadFile(RunOf(p / "proj2") + "/.simulation_info"), info);
  ExpectSameFiles(TimeStepContents(RunOf(p / "proj2")), copied, "after the mark went");
  EXPECT_EQ(u.Log().find("the copy was finished"), std::string::npos) << Gist(u.Log());
  EXPECT_EQ(u.Quit(), 0);
}

// P2 saves another mass method with its input; P1, which loaded before, then saves a remark
// only. The saved simulation is P2's, the remark aside: the input of the method is not left out.
TEST(CopyOneState, ATakeOverTakesTheInputOfEveryMassMethod)
{
  SharedExample p(2, 2);
  for (const auto& [method, input, value] :
       {std::tuple<std::string, std::string, std::string>{"direct", "MassPerParticle", "5000"},
        {"number of particles", "NumParticles", "3000"},
        {"particles per cell", "NumParticlesPerCell", "2"}}) {
    SCOPED_TRACE(method);
    TorvuProcess one(p / "one"), two(p / "two");
    ASSERT_TRUE(one.Do(Load()).ok);
    ASSERT_TRUE(two.Do(Load() + Set(kSimulation, "MassPerParticleDeterminationMethod", method) +
                       Set(kSimulation, input, value) + SaveProject())
                    .ok);
    const std::string theirs = p.Saved();
    ASSERT_EQ(SavedValue(theirs, input), value);
    const Answer saved = one.Do(Set(kSimulation, "Remark", "looked at by " + method) + SaveProject());
    ASSERT_TRUE(saved.ok) << saved;
    EXPECT_EQ(Without(p.Saved(), "Remark"), Without(theirs, "Remark"));
    EXPECT_EQ(SavedValue(p.Saved(), "Remark"), "looked at by " + method);
    EXPECT_EQ(one.Quit(), 0);
    EXPECT_EQ(two.Quit(), 0);
  }
}

// A launcher saves while its background run goes on: a value for display keeps the run's
// record, a value the time steps depend on withholds it.
TEST(CopyOneState, OnlyValuesTheTimeStepsDependOnWithholdTheRunsRecord)
{
  for (const auto& [attribute, value, recorded] :
       {std::tuple<std::string, std::string, bool>{"AnimationStepIncrement", "3", true}, {"BedFrictionAngle", "27", false}}) {
    SCOPED_TRACE(attribute);
    SharedExample p(4, 2);
    TorvuProcess launcher(p / "launcher");
    {
      Hook slow("TORVU_BACKGROUND_START_PAUSE_MS", "300");
      ASSERT_TRUE(launcher.Do(Load() + Set(kSimulation, "RunInBackground", "")).ok);
    }
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(p.Run() + "/" + File(0)); }));
    ASSERT_TRUE(launcher.Do(Set(kSimulation, attribute, value) + SaveProject()).ok);
    ASSERT_TRUE(WaitUntilFinished(p.Run()));
    EXPECT_EQ(SavedValue(p.Saved(), attribute), value);
    EXPECT_EQ(Recorded(p.Saved()), recorded ? Step(4) : "") << p.Saved();
    EXPECT_EQ(launcher.Quit(), 0);
  }
}

// Two processes, each with one of two projects, take random commands at once, saving each project
// as the other in both directions among them. Each project ends as one state: the time step its
// saved simulation records follows from the one before under the friction saved with it.
TEST(CopyOneState, RandomSavesInBothDirectionsLeaveEachProjectOneState)
{
  SharedExample p(4, 2);
  TwoRuns(p, 4);
  std::mt19937 random(20240611u);
  TorvuProcess x(p / "x"), y(p / "y");
  ASSERT_TRUE(x.Do(Load()).ok);
  ASSERT_TRUE(y.Do(Load("../proj2")).ok);
  const auto command = [&](const std::string& own, const std::string& other) {
    switch (random() % 5) {
      case 0: return Load(own);
      case 1: return Set(kSimulation, "BedFrictionAngle", random() % 2 ? "16" : "30") + Set(kSimulation, "Run", "");
      case 2: return Set(kSimulation, "BedFrictionAngle", random() % 2 ? "16" : "30") + SaveProject();
      default: return SaveAs(other);
    }
  };
  for (int round = 0; round < 8; ++round) {
    const std::string forX = command("../proj", "../proj2"), forY = command("../proj2", "../proj");
    // Answers may refuse (a run lock held by the other): what counts is what the files hold.
    std::thread other([&] { y.Do(forY); });
    x.Do(forX);
    other.join();
    for (const std::string project : {"proj", "proj2"}) {
      const std::string run = RunOf(p / project);
      EXPECT_TRUE(RecordIsThere(run)) << project << " in round " << round;
      EXPECT_FALSE(fs::exists(run + "/.simulation_copying")) << project << " in round " << round;
    }
  }
  EXPECT_EQ(x.Quit(), 0);
  EXPECT_EQ(y.Quit(), 0);
  for (const std::string project : {"proj", "proj2"})
    EXPECT_TRUE(RecordedStepFollowsUnder(p / project, SavedValue(SavedOf(p / project), "BedFrictionAngle"),
                                         p / ("oracle_" + project)))
        << project;
}
