// The names of time-step files.
#include "SW_TimeStepNames.h"
#include "SW_TimeStepNames_Internal.h"

#include <cstring>

#include "AK_Files.h"
#include "AK_NumberText.h"

AK_String SW_TimeStepName(double time)
{
  // -0 is 0: its name must not carry a sign that no later time has.
  return AK_String::Format("at_%012.4f", time + 0.0);
}

AK_String SW_TimeStepPath(const char* directory, const char* name)
{
  AK_String file = AK_String(name) + ".TimeStep";
  if (!directory || !*directory) return file;
  return AK_JoinPath(directory, file);
}

bool SW_TimeOfTimeStepName(const char* name, double& time)
{
  return std::strncmp(name, "at_", 3) == 0 && AK_LeadingDouble(name + 3, time) == AK_NumberRead::Number;
}
