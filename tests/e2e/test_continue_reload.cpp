// A run continued in every way a user can continue it: in a new process that loads the saved
// project from another directory, through "ContinueInBackground" in the process of the run,
// and through "ContinueInBackground" after such a load. Each goes on from where the run
// stopped, with or without a parameter changed before: the files of the run stay byte for
// byte as they were, and the later ones equal those of a "Continue" in the process of the run.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <thread>

#include "TestSupport.h"

namespace {

const std::string kSimulation = "Project/Simulations/A";

std::string Set(const std::string& path, const std::string& attribute, const std::string& value)
{
  return "set(\"" + path + "\", \"" + attribute + "\", \"" + value + "\")\n";
}

// Runs torvu offscreen on the macro file `name`, written with `macro` into `dir`; what it printed.
std::string Torvu(const std::string& dir, const std::string& name, const std::string& macro)
{
  WriteFile(dir + "/" + name, macro);
  int status = -1;
  const std::string printed =
      RunProcess(TorvuOffscreen(dir, TORVU_PROGRAM, TORVU_ATTRIBUTES, name + " < /dev/null"), &status);
  EXPECT_EQ(status, 0) << printed;
  return printed;
}

// The example terrain saved as the project "proj" with the simulation A of its release, run to
// 4 s with an output every 2 s, and saved again after the run.
std::string RunToFourSeconds()
{
  return Set("Project/DHMs", "SimulationDefaultCellSize", "10") + Set("Project/DHMs", "Import", "slope.asc") +
         Set("", "SaveProjectAs", "proj") + Set("Project/Simulations", "CreateSimulation", "A") +
         Set(kSimulation + "/ReleaseAreas", "AppendAllObjectsOfType", "ReleaseArea") +
         Set(kSimulation, "EndTime", "4") + Set(kSimulation, "DeltaOut", "2") + Set("Project", "SaveProject", "") +
         Set(kSimulation, "Run", "") + Set("Project", "SaveProject", "");
}

// The bed friction changed at 4 s (or not), the end time moved to 8 s, and the command.
std::string ContinueToEightSeconds(bool change, const char* command)
{
  return (change ? Set(kSimulation, "BedFrictionAngle", "25") : std::string()) + Set(kSimulation, "EndTime", "8") +
         Set(kSimulation, command, "");
}

// A scratch directory holding the example's terrain and release areas.
struct Example : ScratchDir {
  Example()
  {
    for (const char* file : {"slope.asc", "slope.rel"})
      std::filesystem::copy_file(std::string(TORVU_EXAMPLES) + "/" + file, *this / file);
  }
  std::string Run() const { return *this / "proj/Project/Simulations/A"; }
  // The time-step files of the run, by name.
  std::map<std::string, std::string> TimeSteps() const
  {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(Run()))
      if (entry.path().extension() == ".TimeStep") files[entry.path().filename().string()] = ReadFile(entry.path());
    return files;
  }
  // Waits (at most two minutes) until the background run has ended: its log says so and its
  // status is "finished". Its log.
  std::string BackgroundLog() const
  {
    const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    std::string log;
    while (std::chrono::steady_clock::now() < end) {
      log = ReadFile(Run() + "/start.log");
      if (log.find("simulation A terminated") != std::string::npos &&
          ReadFile(Run() + "/.simulation_status") == "finished\n")
        break;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return log;
  }
};

}  // namespace

TEST(ContinueReload, EveryContinueGoesOnFromWhereTheRunStopped)
{
  const char* kModes[] = {"Continue in a new process", "ContinueInBackground in the process of the run",
                          "ContinueInBackground in a new process"};
  for (bool change : {false, true}) {
    Example expected;
    Torvu(expected.Path(), "run.macro", RunToFourSeconds() + ContinueToEightSeconds(change, "Continue"));
    const std::map<std::string, std::string> steps = expected.TimeSteps();
    ASSERT_EQ(steps.size(), 5u);  // 0, 2, 4, 6 and 8 s
    for (int mode = 0; mode < 3; ++mode) {
      SCOPED_TRACE(std::string(kModes[mode]) + (change ? ", bed friction changed" : ""));
      Example p;
      const char* command = mode == 0 ? "Continue" : "ContinueInBackground";
      std::string log;
      if (mode == 1) {
        Torvu(p.Path(), "run.macro", RunToFourSeconds() + ContinueToEightSeconds(change, command));
        log = p.BackgroundLog();
      } else {
        Torvu(p.Path(), "run.macro", RunToFourSeconds());
        std::map<std::string, std::string> run = p.TimeSteps();
        ASSERT_EQ(run.size(), 3u);
        // The saved project names the run's last time step.
        EXPECT_NE(ReadFile(p.Run() + "/ShallowWaterSimulation.atr").find(Set("", "LoadTimeStep", "at_0000004.0000")),
                  std::string::npos);
        const std::string elsewhere = p / "elsewhere";
        std::filesystem::create_directory(elsewhere);
        log = Torvu(elsewhere, "continue.macro",
                    Set("", "ProjectDir", "../proj") + Set("Project", "LoadProject", "") +
                        ContinueToEightSeconds(change, command));
        if (mode == 2) log = p.BackgroundLog();
        for (const auto& [name, bytes] : run) EXPECT_TRUE(p.TimeSteps()[name] == bytes) << name;
      }
      // 40 steps from 4 s, none from 0 s.
      EXPECT_NE(log.find("computing time step 4.1..."), std::string::npos) << log.substr(0, 2000);
      EXPECT_EQ(log.find("computing time step 0.1..."), std::string::npos);
      const std::map<std::string, std::string> got = p.TimeSteps();
      ASSERT_EQ(got.size(), steps.size());
      for (const auto& [name, bytes] : steps) EXPECT_TRUE(got.at(name) == bytes) << name;
    }
  }
}
