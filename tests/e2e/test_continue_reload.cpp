// A run continued in every way a user can continue it: in a new process that loads the saved
// project from another directory, through "ContinueInBackground" in the process of the run,
// and through "ContinueInBackground" after such a load; after a run in the foreground that
// nobody saved, a run in the background or a batch start. Each goes on from where the run
// stopped, with or without a parameter changed before: the files of the run stay byte for
// byte as they were, and the later ones equal those of a "Continue" in the process of the run.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <thread>

#include "ExampleTerrain.h"
#include "TestSupport.h"

namespace {

const std::string kSimulation = "Project/Simulations/A";

// The example terrain saved as the project "proj" with the simulation A of its release, to run
// to 4 s with an output every 2 s.
std::string SetUp()
{
  return ImportExampleAsProject() + Set("Project/Simulations", "CreateSimulation", "A") +
         Set(kSimulation + "/ReleaseAreas", "AppendAllObjectsOfType", "ReleaseArea") +
         Set(kSimulation, "EndTime", "4") + Set(kSimulation, "DeltaOut", "2") + Set("Project", "SaveProject", "");
}

// The set-up run to 4 s and saved again after the run.
std::string RunToFourSeconds() { return SetUp() + Set(kSimulation, "Run", "") + Set("Project", "SaveProject", ""); }

// How the run to 4 s is made.
enum class FirstRun {
  Saved,                // "Run", then "SaveProject"
  Unsaved,              // "Run" only, as the example's macro has it
  Background,           // "RunInBackground"
  Batch,                // "StartActive"
  BackgroundThenSaved,  // "RunInBackground", and a change saved in that process after its end
};

std::string FirstRunMacro(FirstRun first)
{
  switch (first) {
    case FirstRun::Saved: return RunToFourSeconds();
    case FirstRun::Unsaved: return SetUp() + Set(kSimulation, "Run", "");
    case FirstRun::Background: return SetUp() + Set(kSimulation, "RunInBackground", "");
    case FirstRun::Batch: return SetUp() + Set("Project/Simulations", "StartActive", "");
    case FirstRun::BackgroundThenSaved:
      return SetUp() + Set(kSimulation, "RunInBackground", "") + Set("", "ExecMacro", "saved.cint");
  }
  return "";
}

bool InBackground(FirstRun first) { return first != FirstRun::Saved && first != FirstRun::Unsaved; }

// Waits in the process that started the run until its status is "finished", then saves a
// changed remark with the project.
const char* kSaveAfterTheRun = R"(int main()
{
  char status[64];
  int tries = 0;
  get("Project/Simulations/A", "Status", status);
  while (strcmp(status, "finished") != 0 && tries < 2400) {
    sleep(0.05);
    tries = tries + 1;
    get("Project/Simulations/A", "Status", status);
  }
  set("Project/Simulations/A", "Remark", "saved after the run");
  set("Project", "SaveProject", "");
  return 0;
}
)";

// In the process that started the run in the background: the change, then "ContinueInBackground"
// tried until the run has ended (it is refused while the run is under way).
std::string ContinueWhenEnded(bool change)
{
  return std::string("int main()\n{\n  int tries = 0;\n") +
         (change ? "  set(\"Project/Simulations/A\", \"BedFrictionAngle\", \"25\");\n" : "") +
         "  set(\"Project/Simulations/A\", \"EndTime\", \"8\");\n"
         "  while (set(\"Project/Simulations/A\", \"ContinueInBackground\", \"\") != 0 && tries < 2400) {\n"
         "    sleep(0.05);\n    tries = tries + 1;\n  }\n  return 0;\n}\n";
}

// The bed friction changed at 4 s (or not), the end time moved to 8 s, and the command.
std::string ContinueToEightSeconds(bool change, const char* command)
{
  return (change ? Set(kSimulation, "BedFrictionAngle", "25") : std::string()) + Set(kSimulation, "EndTime", "8") +
         Set(kSimulation, command, "");
}

// Waits (at most two minutes) until the background run of the example has ended: its log says
// so and its status is "finished". Its log.
std::string BackgroundLog(const Example& p)
{
  const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(2);
  std::string log;
  while (std::chrono::steady_clock::now() < end) {
    log = ReadFile(p.Run() + "/start.log");
    if (log.find("simulation A terminated") != std::string::npos &&
        ReadFile(p.Run() + "/.simulation_status") == "finished\n")
      break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return log;
}

}  // namespace

TEST(ContinueReload, EveryContinueGoesOnFromWhereTheRunStopped)
{
  struct Mode {
    const char* name;
    FirstRun first;
    bool sameProcess;  // continued by the process of the run, else by a new one elsewhere
    const char* command;
  };
  const Mode kModes[] = {
      {"Continue in a new process", FirstRun::Saved, false, "Continue"},
      {"ContinueInBackground in the process of the run", FirstRun::Saved, true, "ContinueInBackground"},
      {"ContinueInBackground in a new process", FirstRun::Saved, false, "ContinueInBackground"},
      {"RunInBackground, then ContinueInBackground in a new process", FirstRun::Background, false,
       "ContinueInBackground"},
      {"RunInBackground, then ContinueInBackground in its process", FirstRun::Background, true,
       "ContinueInBackground"},
      {"a run saved before it only, then Continue in a new process", FirstRun::Unsaved, false, "Continue"},
      {"StartActive, then Continue in a new process", FirstRun::Batch, false, "Continue"},
      {"RunInBackground and a save after it, then Continue in a new process", FirstRun::BackgroundThenSaved, false,
       "Continue"},
  };
  for (bool change : {false, true}) {
    Example expected;
    Torvu(expected.Path(), "run.macro", RunToFourSeconds() + ContinueToEightSeconds(change, "Continue"));
    const std::map<std::string, std::string> steps = expected.TimeSteps();
    ASSERT_EQ(steps.size(), 5u);  // 0, 2, 4, 6 and 8 s
    for (const Mode& mode : kModes) {
      SCOPED_TRACE(std::string(mode.name) + (change ? ", bed friction changed" : ""));
      Example p;
      WriteFile(p / "saved.cint", kSaveAfterTheRun);
      WriteFile(p / "continue.cint", ContinueWhenEnded(change));
      std::string log;
      if (mode.sameProcess) {
        const std::string then = InBackground(mode.first) ? Set("", "ExecMacro", "continue.cint")
                                                          : ContinueToEightSeconds(change, mode.command);
        log = Torvu(p.Path(), "run.macro", FirstRunMacro(mode.first) + then);
        log = BackgroundLog(p);
      } else {
        Torvu(p.Path(), "run.macro", FirstRunMacro(mode.first));
        if (InBackground(mode.first)) BackgroundLog(p);
        std::map<std::string, std::string> run = p.TimeSteps();
        ASSERT_EQ(run.size(), 3u);
        // The saved project names the run's last time step, whoever saved it last.
        const std::string saved = p.Saved();
        EXPECT_NE(saved.find(Set("", "LoadTimeStep", "at_0000004.0000")), std::string::npos) << saved;
        if (mode.first == FirstRun::BackgroundThenSaved) {
          EXPECT_NE(saved.find(Set("", "Remark", "saved after the run")), std::string::npos);
        }
        const std::string elsewhere = p / "elsewhere";
        std::filesystem::create_directory(elsewhere);
        log = Torvu(elsewhere, "continue.macro",
                    Set("", "ProjectDir", "../proj") + Set("Project", "LoadProject", "") +
                        ContinueToEightSeconds(change, mode.command));
        if (std::string(mode.command) == "ContinueInBackground") log = BackgroundLog(p);
        for (const auto& [name, bytes] : run) EXPECT_TRUE(p.TimeSteps()[name] == bytes) << name;
      }
      // The log of a run in the background goes on with that of its continuation.
      if (InBackground(mode.first) && std::string(mode.command) == "ContinueInBackground")
        log = log.substr(std::min(log.size(), log.find("simulation A terminated") + 1));
      // 40 steps from 4 s, none from 0 s.
      EXPECT_NE(log.find("computing time step 4.1..."), std::string::npos) << log.substr(0, 2000);
      EXPECT_EQ(log.find("computing time step 0.1..."), std::string::npos);
      const std::map<std::string, std::string> got = p.TimeSteps();
      ASSERT_EQ(got.size(), steps.size());
      for (const auto& [name, bytes] : steps) EXPECT_TRUE(got.at(name) == bytes) << name;
    }
  }
}
