// The run's worker threads.
#include "SW_FlowWorkers.h"

#include <algorithm>

namespace {

thread_local int workerIndex = 0;

}  // namespace

SW_FlowWorkers::~SW_FlowWorkers() { Stop(); }

int SW_FlowWorkers::Index() { return workerIndex; }

void SW_FlowWorkers::Stop()
{
  {
    std::lock_guard<std::mutex> lock(_mutex);
    _stopping = true;
  }
  _wake.notify_all();
  for (std::thread& t : _helpers) t.join();
  _helpers.clear();
  _stopping = false;
}

void SW_FlowWorkers::Use(int threads)
{
  if (threads < 1) threads = 1;
  if (threads == Threads()) return;
  Stop();
  _helpers.reserve(static_cast<size_t>(threads - 1));
  for (int k = 1; k < threads; ++k) _helpers.emplace_back(&SW_FlowWorkers::Serve, this, k, _round);
}

void SW_FlowWorkers::Serve(int index, uint64_t seen)
{
  workerIndex = index;
  for (;;) {
    Task task;
    void* context;
    int32_t first, end;
    {
      std::unique_lock<std::mutex> lock(_mutex);
      _wake.wait(lock, [&] { return _stopping || _round != seen; });
      if (_stopping) return;
      seen = _round;
      task = _task;
      context = _context;
      first = std::min(_count, index * _chunk);
      end = std::min(_count, first + _chunk);
    }
    if (first < end) task(context, first, end);
    {
      std::lock_guard<std::mutex> lock(_mutex);
      if (--_busy == 0) _done.notify_one();
    }
  }
}

void SW_FlowWorkers::Run(int32_t count, Task task, void* context)
{
  // A thread is worth waking only with some particles to work on.
  const int32_t used = std::min<int32_t>(Threads(), count / 64);
  if (used < 2) {
    task(context, 0, count);
    return;
  }
  const int32_t chunk = (count + used - 1) / used;
  {
    std::lock_guard<std::mutex> lock(_mutex);
    _task = task;
    _context = context;
    _count = count;
    _chunk = chunk;
    _busy = static_cast<int>(_helpers.size());
    ++_round;
  }
  _wake.notify_all();
  task(context, 0, std::min(count, chunk));
  std::unique_lock<std::mutex> lock(_mutex);
  _done.wait(lock, [&] { return _busy == 0; });
}
