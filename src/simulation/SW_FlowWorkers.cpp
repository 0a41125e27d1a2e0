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
    int32_t count, piece;
    {
      std::unique_lock<std::mutex> lock(_mutex);
      _wake.wait(lock, [&] { return _stopping || _round != seen; });
      if (_stopping) return;
      seen = _round;
      task = _task;
      context = _context;
      count = _count;
      piece = _piece;
    }
    TakePieces(task, context, count, piece);
    {
      std::lock_guard<std::mutex> lock(_mutex);
      if (--_busy == 0) _done.notify_one();
    }
  }
}

void SW_FlowWorkers::TakePieces(Task task, void* context, int32_t count, int32_t piece)
{
  for (;;) {
    const int64_t first = _next.fetch_add(piece, std::memory_order_relaxed);
    if (first >= count) return;
    task(context, static_cast<int32_t>(first), static_cast<int32_t>(std::min<int64_t>(count, first + piece)));
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
  // Many pieces per thread: a thread that the machine slows down (or that meets the costlier
  // particles) leaves the rest of its share to the others instead of holding the phase up.
  const int32_t piece = std::max<int32_t>(64, count / (used * 16));
  {
    std::lock_guard<std::mutex> lock(_mutex);
    _task = task;
    _context = context;
    _count = count;
    _piece = piece;
    _next.store(0, std::memory_order_relaxed);
    _busy = static_cast<int>(_helpers.size());
    ++_round;
  }
  _wake.notify_all();
  TakePieces(task, context, count, piece);
  std::unique_lock<std::mutex> lock(_mutex);
  _done.wait(lock, [&] { return _busy == 0; });
}
