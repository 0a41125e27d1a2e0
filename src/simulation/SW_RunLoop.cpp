// The time loop of a run.
#include "SW_RunLoop.h"

#include <cmath>
#include <cstdlib>
#include <ctime>

#include "AK_NumberText.h"

int32_t SW_OutputPeriod(const SW_RunTimes& times)
{
  return int32_t(times.deltaOut / times.deltaT + 0.5);
}

bool SW_OnOutputSchedule(double time, const SW_RunTimes& times)
{
  return std::fabs(std::fmod(time, times.deltaOut)) < 0.5 * times.deltaT;
}

AK_String SW_FormatRunTime(double seconds)
{
  int s = seconds > 0 && seconds < 2e9 ? int(seconds) : 0;
  return AK_String::Format("%d:%d:%d", s / 3600, (s % 3600) / 60, s % 60);
}

AK_String SW_FluidAboveRestartFile(const char* list, double currentTime, double deltaT)
{
  AK_Array<AK_String> items;
  AK_String(list ? list : "").Split("%AK_SEP%", items);
  for (int32_t k = (items.Size() / 2) * 2 - 2; k >= 0; k -= 2)
    if (std::fabs(AK_Atof(items[k + 1]) - currentTime) < deltaT) return items[k];
  return "";
}

void SW_RunTimeLoop(double& currentTime, const SW_RunTimes& times, SW_RunSteps& steps,
                    const char* identifier)
{
  const double dt = times.deltaT;
  const double startCpu = AK_CpuSeconds(), startTime = currentTime;
  const std::time_t startWall = std::time(nullptr);
  const int32_t period = SW_OutputPeriod(times);
  int32_t k = int32_t(currentTime / dt + 0.5);
  double end = times.endTime;
  bool stopped = false;
  while (end - 0.5 * dt > currentTime) {
    if (steps.Interrupted()) break;
    steps.EndTimeIs(end);
    steps.Step(currentTime, dt);
    currentTime += dt;
    k++;
    if (!stopped) {
      double wall = double(std::time(nullptr) - startWall);
      double remaining = wall / (currentTime - startTime) * (end - currentTime);
      steps.Progress(AK_String::Format("at time %g s", currentTime) + ", run time h:m:s " + SW_FormatRunTime(wall) +
                     ", estimated remaining run time " + SW_FormatRunTime(remaining) + ", CPU time " +
                     SW_FormatRunTime(AK_CpuSeconds() - startCpu));
    }
    if (k % period == 0 || std::fabs(currentTime - end) < 0.5 * dt) steps.Output();
    steps.AfterStep();
    if (stopped) continue;
    AK_String value;
    int criterion = steps.StopCriterion(value);
    if (criterion < 0) break;
    if (criterion == 0) continue;
    // The criterion lets exactly one more step run, with an output at its end.
    AK_MESSAGE(AK_String("simulation ") + identifier + " STOPPED:\n" + value);
    end = currentTime + dt;
    steps.Progress(AK_String::Format("stopped at %gs due to stop-criterion:", currentTime) + value);
    stopped = true;
  }
}
