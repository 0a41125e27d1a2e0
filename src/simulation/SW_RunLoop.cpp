// The time loop of a run.
#include "SW_RunLoop.h"

#include <cmath>
#include <cstdlib>
#include <ctime>

#include "AK_NumberText.h"
#include "AK_Process.h"

double SW_RunSteps::WallSeconds() { return double(AK_ProcessMilliseconds()) / 1000.0; }

int64_t SW_OutputPeriod(const SW_RunTimes& times)
{
  const double period = times.deltaOut / times.deltaT + 0.5;
  if (!(period >= 1)) return 0;
  return period < 9e18 ? int64_t(period) : INT64_MAX;
}

double SW_RunStepCount(double currentTime, const SW_RunTimes& times)
{
  return (times.endTime - currentTime) / times.deltaT;
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

namespace {

// The index of the step that ends at `time`, rounded.
int64_t StepIndex(double time, double deltaT)
{
  const double k = std::floor(time / deltaT + 0.5);
  return k > -9e18 && k < 9e18 ? int64_t(k) : 0;
}

}  // namespace

bool SW_RunTimeLoop(double& currentTime, const SW_RunTimes& times, SW_RunSteps& steps,
                    const char* identifier)
{
  const double dt = times.deltaT;
  const double startCpu = AK_CpuSeconds(), startTime = currentTime, startWall = steps.WallSeconds();
  const int64_t period = SW_OutputPeriod(times);
  int64_t k = StepIndex(currentTime, dt);
  double end = times.endTime;
  bool stopped = false;
  // A line a watcher has not seen yet, and when the last one was written (the run's start
  // wrote one): a line per step would cost a new file per step.
  AK_String pending;
  double written = startWall;
  const auto show = [&](double now) {
    steps.Progress(pending);
    pending = "";
    written = now;
  };
  while (end - 0.5 * dt > currentTime) {
    if (steps.Interrupted()) break;
    steps.EndTimeIs(end);
    if (!steps.Step(currentTime, dt)) return false;
    currentTime += dt;
    k++;
    const bool output = k % period == 0 || std::fabs(currentTime - end) < 0.5 * dt;
    if (!stopped) {
      const double now = steps.WallSeconds();
      const double wall = std::floor(now - startWall);
      const double remaining = wall / (currentTime - startTime) * (end - currentTime);
      pending = AK_String::Format("at time %g s", currentTime) + ", run time h:m:s " + SW_FormatRunTime(wall) +
                ", estimated remaining run time " + SW_FormatRunTime(remaining) + ", CPU time " +
                SW_FormatRunTime(AK_CpuSeconds() - startCpu);
      const bool last = !(end - 0.5 * dt > currentTime);
      if (output || last || now - written >= 1) show(now);
    }
    if (output && !steps.Output()) return false;
    steps.AfterStep();
    if (stopped) continue;
    AK_String value;
    int criterion = steps.StopCriterion(value);
    if (criterion < 0) break;
    if (criterion == 0) continue;
    // The criterion lets exactly one more step run, with an output at its end.
    AK_MESSAGE(AK_String("simulation ") + identifier + " STOPPED:\n" + value);
    end = currentTime + dt;
    pending = AK_String::Format("stopped at %gs due to stop-criterion:", currentTime) + value;
    show(steps.WallSeconds());
    stopped = true;
  }
  if (!pending.IsEmpty()) show(steps.WallSeconds());
  return true;
}
