// The example slope as the end-to-end tests start from it: its terrain and release areas
// copied into a directory, the commands that import it and save it as a project, and the runs
// of the program on macros there.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>

#include "TestSupport.h"

// Copies the example's "slope.asc" and "slope.rel" into the directory.
inline void CopyExampleTerrain(const std::string& dir)
{
  for (const char* file : {"slope.asc", "slope.rel"})
    WriteFile(dir + "/" + file, ReadFile(std::string(TORVU_EXAMPLES) + "/" + file));
}

// The example terrain with every height times `factor`, as "slope.asc" in the directory.
inline void WriteScaledTerrain(const std::string& dir, double factor)
{
  std::istringstream in(ReadFile(std::string(TORVU_EXAMPLES) + "/slope.asc"));
  std::ostringstream out;
  std::string line;
  for (int header = 0; header < 6 && std::getline(in, line); ++header) out << line << "\n";
  while (std::getline(in, line)) {
    std::istringstream numbers(line);
    for (double z; numbers >> z;) out << z * factor << " ";
    out << "\n";
  }
  std::filesystem::create_directories(dir);
  WriteFile(dir + "/slope.asc", out.str());
}

// The example release with every x moved by `shift` metres, as "slope.rel" in the directory.
inline void WriteShiftedRelease(const std::string& dir, double shift)
{
  std::istringstream in(ReadFile(std::string(TORVU_EXAMPLES) + "/slope.rel"));
  std::ostringstream out;
  std::string line;
  for (int header = 0; header < 2 && std::getline(in, line); ++header) out << line << "\n";
  for (double x, y; in >> x >> y;) out << x + shift << " " << y << "\n";
  std::filesystem::create_directories(dir);
  WriteFile(dir + "/slope.rel", out.str());
}

// Imports "slope.asc" with 10 m simulation cells (the release areas of "slope.rel" go to the
// project) and saves the project as "proj".
inline std::string ImportExampleAsProject()
{
  return "set(\"Project/DHMs\", \"SimulationDefaultCellSize\", \"10\")\n"
         "set(\"Project/DHMs\", \"Import\", \"slope.asc\")\n"
         "set(\"\", \"SaveProjectAs\", \"proj\")\n";
}

// One set command of a macro, with its line end.
inline std::string Set(const std::string& path, const std::string& attribute, const std::string& value)
{
  return "set(\"" + path + "\", \"" + attribute + "\", \"" + value + "\")\n";
}

// Runs torvu offscreen on the macro file `name`, written with `macro` into `dir` (made when
// missing); what it printed. A failure when it does not exit with 0.
inline std::string Torvu(const std::string& dir, const std::string& name, const std::string& macro)
{
  std::filesystem::create_directories(dir);
  WriteFile(dir + "/" + name, macro);
  int status = -1;
  const std::string printed =
      RunProcess(TorvuOffscreen(dir, TORVU_PROGRAM, TORVU_ATTRIBUTES, name + " < /dev/null"), &status);
  EXPECT_EQ(status, 0) << printed.substr(0, 4000);
  return printed;
}

// A scratch directory holding the example's terrain and release areas, for the project "proj"
// with its simulation A.
struct Example : ScratchDir {
  Example() { CopyExampleTerrain(Path()); }
  std::string Run() const { return *this / "proj/Project/Simulations/A"; }
  // The time-step files of the run, by name.
  std::map<std::string, std::string> TimeSteps() const { return TimeStepContents(Run()); }
  // The saved simulation.
  std::string Saved() const { return ReadFile(Run() + "/ShallowWaterSimulation.atr"); }
};
