// The example slope as the end-to-end tests start from it: its terrain and release areas
// copied into a directory, and the commands that import it and save it as a project.
#pragma once

#include <string>

#include "TestSupport.h"

// Copies the example's "slope.asc" and "slope.rel" into the directory.
inline void CopyExampleTerrain(const std::string& dir)
{
  for (const char* file : {"slope.asc", "slope.rel"})
    WriteFile(dir + "/" + file, ReadFile(std::string(TORVU_EXAMPLES) + "/" + file));
}

// Imports "slope.asc" with 10 m simulation cells (the release areas of "slope.rel" go to the
// project) and saves the project as "proj".
inline std::string ImportExampleAsProject()
{
  return "set(\"Project/DHMs\", \"SimulationDefaultCellSize\", \"10\")\n"
         "set(\"Project/DHMs\", \"Import\", \"slope.asc\")\n"
         "set(\"\", \"SaveProjectAs\", \"proj\")\n";
}
