// What the mesh benchmarks report beside the time: the time of each phase of a build, told
// apart by the progress messages that open the phases, and the peak memory of the process.
#pragma once

#include <sys/resource.h>

#include <benchmark/benchmark.h>

#include <ctime>
#include <cstring>
#include <string>
#include <vector>

#include "AK_Basic.h"

// Peak resident memory of the process so far, in MiB. Run one benchmark per process
// (--benchmark_filter) for a figure of that benchmark alone.
inline double PeakResidentMiB()
{
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// While it lives, takes the message hook (the messages are dropped) and adds up, per phase,
// the processor time from the message that opens the phase to the next message that opens
// one (or to Stop). Processor time, page faults included, since the machine that runs the
// benchmarks is often shared. Phases are given as (counter name, start of the opening
// message).
class PhaseTimer {
public:
  struct Phase {
    const char* name;
    const char* opening;
  };

  explicit PhaseTimer(std::vector<Phase> phases)
      : _phases(std::move(phases)), _seconds(_phases.size(), 0.0), _previous(AK_MessageHook)
  {
    _current = this;
    AK_MessageHook = Hook;
  }
  ~PhaseTimer()
  {
    AK_MessageHook = _previous;
    _current = nullptr;
  }
  PhaseTimer(const PhaseTimer&) = delete;
  PhaseTimer& operator=(const PhaseTimer&) = delete;

  // Closes the running phase (call at the end of each build).
  void Stop() { Switch(-1); }

  // The mean time per build of each phase, in milliseconds, as counters "<name>_cpu_ms".
  void Report(benchmark::State& state) const
  {
    const double builds = state.iterations() > 0 ? static_cast<double>(state.iterations()) : 1;
    for (size_t i = 0; i < _phases.size(); ++i)
      state.counters[std::string(_phases[i].name) + "_cpu_ms"] = 1000 * _seconds[i] / builds;
    state.counters["peak_MiB"] = PeakResidentMiB();
  }

private:
  static void Hook(const char* message, const char*)
  {
    const std::vector<Phase>& phases = _current->_phases;
    for (size_t i = 0; i < phases.size(); ++i)
      if (std::strncmp(message, phases[i].opening, std::strlen(phases[i].opening)) == 0) {
        _current->Switch(static_cast<int>(i));
        return;
      }
  }

  void Switch(int phase)
  {
    const std::clock_t now = std::clock();
    if (_running >= 0)
      _seconds[static_cast<size_t>(_running)] += static_cast<double>(now - _since) / CLOCKS_PER_SEC;
    _running = phase;
    _since = now;
  }

  std::vector<Phase> _phases;
  std::vector<double> _seconds;
  AK_MessageFunction _previous;
  int _running = -1;
  std::clock_t _since = 0;
  static inline PhaseTimer* _current = nullptr;
};
