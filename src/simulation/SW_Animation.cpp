#include "SW_Animation.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace {
bool SameTime(double a, double b) { return std::fabs(a - b) < 1e-10; }
}  // namespace

std::vector<int32_t> SW_AnimationFrames(int32_t count, int32_t current, int32_t& increment)
{
  if (increment < 1) increment = 1;
  // In 64 bits: current + increment may pass the 32-bit range.
  int64_t first = static_cast<int64_t>(current) + 1;
  first = (first + increment - 1) / increment * increment;
  if (first < 0 || first >= count) first = 0;
  std::vector<int32_t> frames;
  for (int64_t i = first; i < count; i += increment) frames.push_back(static_cast<int32_t>(i));
  return frames;
}

SW_AssignedViews SW_ReadAssignedViews(const char* text)
{
  SW_AssignedViews assigned;
  std::string all = text ? text : "";
  size_t start = 0;
  while (start <= all.size()) {
    size_t end = all.find(',', start);
    if (end == std::string::npos) end = all.size();
    const std::string piece = all.substr(start, end - start);
    double time;
    std::string name(piece.size() + 1, '\0');
    // A time that is no finite number has no place in the time order and would give
    // fractions between key views that are no numbers.
    if (std::sscanf(piece.c_str(), " %lf %s", &time, name.data()) == 2 && std::isfinite(time)) {
      assigned.times.Append(time);
      assigned.views.Append(AK_String(name.c_str()));
    }
    start = end + 1;
  }
  return assigned;
}

AK_String SW_WriteAssignedViews(const SW_AssignedViews& assigned)
{
  AK_FATAL_ASSERT(assigned.times.Size() == assigned.views.Size());
  AK_String text;
  for (int32_t i = 0; i < assigned.times.Count(); ++i)
    text += AK_String::Format("%g %s,", assigned.times[i], static_cast<const char*>(assigned.views[i]));
  return text;
}

void SW_AssignView(SW_AssignedViews& assigned, double time, const char* name)
{
  int32_t i = 0;
  for (; i < assigned.times.Count(); ++i) {
    if (SameTime(assigned.times[i], time)) {
      assigned.views[i] = name;
      return;
    }
    if (assigned.times[i] > time) break;
  }
  assigned.times.Insert(i, time);
  assigned.views.Insert(i, AK_String(name));
}

void SW_RemoveViewsAt(SW_AssignedViews& assigned, double time)
{
  for (int32_t i = assigned.times.Count() - 1; i >= 0; --i) {
    if (!SameTime(assigned.times[i], time)) continue;
    assigned.times.Remove(i);
    assigned.views.Remove(i);
  }
}

int32_t SW_ViewIndexAt(const SW_AssignedViews& assigned, double time)
{
  for (int32_t i = 0; i < assigned.times.Count(); ++i)
    if (SameTime(assigned.times[i], time)) return i;
  return -1;
}

void SW_KeyViewsAt(const SW_AssignedViews& assigned, double time, int32_t& first,
                   int32_t& second, double& fraction)
{
  const int32_t n = assigned.times.Count();
  int32_t j = 0;
  while (j < n && assigned.times[j] < time) ++j;
  if (n == 1 || j == 0) {
    first = second = 0;
    fraction = 0;
  } else if (j == n) {
    first = second = n - 1;
    fraction = 1;
  } else {
    first = j - 1;
    second = j;
    fraction = (time - assigned.times[j - 1]) / (assigned.times[j] - assigned.times[j - 1]);
  }
}

AK_String SW_CurrentViewName(const char* simulationId, double time)
{
  AK_String name = AK_String(simulationId ? simulationId : "") + AK_String::Format("_%g", time);
  name.ReplaceNonIdentifierChars('_');
  return name;
}
