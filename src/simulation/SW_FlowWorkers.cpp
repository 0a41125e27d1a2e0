// The run's worker threads.
#include "SW_FlowWorkers.h"

#include <algorithm>
#include <climits>
#include <new>

namespace {

thread_local int workerIndex = 0;

// How many times a thread looks at a flag before it sleeps on the condition: a few tens of
// microseconds, about the time a wake-up takes.
constexpr int kWatch = 20000;

}  // namespace

SW_FlowWorkers::~SW_FlowWorkers() { Stop(); }

int SW_FlowWorkers::Index() { return workerIndex; }

void SW_FlowWorkers::Stop()
{
  {
    std::lock_guard<std::mutex> lock(_mutex);
    _stopping.store(true);
  }
  _wake.notify_all();
  for (std::thread& t : _helpers) t.join();
  _helpers.clear();
  _stopping.store(false);
}

void SW_FlowWorkers::Use(int threads)
{
  if (threads < 1) threads = 1;
  if (threads == Threads()) return;
  Stop();
  _helpers.reserve(static_cast<size_t>(threads - 1));
  for (int k = 1; k < threads; ++k) _helpers.emplace_back(&SW_FlowWorkers::Serve, this, k, _round.load());
}

void SW_FlowWorkers::Serve(int index, uint64_t seen)
{
  workerIndex = index;
  for (;;) {
    Task task;
    void* context;
    int32_t count, piece;
    const auto handedOut = [&] { return _stopping.load() || _round.load() != seen; };
    for (int k = 0; k < kWatch && !handedOut(); ++k) {
    }
    if (!handedOut()) {
      std::unique_lock<std::mutex> lock(_mutex);
      _wake.wait(lock, handedOut);
    }
    if (_stopping.load()) return;
    // The round is published after the phase's fields (sequentially consistent atomics).
    seen = _round.load();
    task = _task;
    context = _context;
    count = _count;
    piece = _piece;
    TakePieces(task, context, count, piece);
    if (_busy.fetch_sub(1) == 1) {
      // Under the lock: the caller tests `_busy` under it before it sleeps.
      std::lock_guard<std::mutex> lock(_mutex);
      _done.notify_one();
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

void SW_FlowWorkers::Run(int32_t count, Task task, void* context) { Run(count, task, context, 0); }

int32_t SW_FlowWorkers::SplitTargets(int32_t targets, int shift)
{
  const int threads = Threads();
  const size_t blocks = _blocks.size() / static_cast<size_t>(threads);
  // The work of each block into the first worker's counts: its sources, each adding to a
  // few targets, and its targets, each opened and closed (about a tenth of a source's work).
  int64_t total = 0;
  for (size_t b = 0; b < blocks; ++b) {
    int64_t sum = 0;
    for (int w = 0; w < threads; ++w) sum += _blocks[static_cast<size_t>(w) * blocks + b];
    const int64_t first = int64_t(b) << shift;
    sum = 10 * sum + (std::min<int64_t>(targets, first + (int64_t(1) << shift)) - first);
    _blocks[b] = static_cast<int32_t>(std::min<int64_t>(sum, INT32_MAX));
    total += _blocks[b];
  }
  // Range r starts at the first block before which at least r/threads of the work lies.
  _bounds.assign(static_cast<size_t>(threads) + 1, targets);
  _bounds[0] = 0;
  int64_t before = 0;
  int r = 1;
  for (size_t b = 0; b < blocks && r < threads; ++b) {
    while (r < threads && before * threads >= total * r) _bounds[static_cast<size_t>(r++)] = static_cast<int32_t>(b << shift);
    before += _blocks[b];
  }
  return threads;
}

void SW_FlowWorkers::Run(int32_t count, Task task, void* context, int32_t piece)
{
  // A thread is worth waking only with some particles to work on.
  const int32_t used = std::min<int32_t>(Threads(), piece > 0 ? count : count / 64);
  if (used < 2) {
    task(context, 0, count);
    return;
  }
  // Many pieces per thread: a thread that the machine slows down (or that meets the costlier
  // particles) leaves the rest of its share to the others instead of holding the phase up.
  if (piece <= 0) piece = std::max<int32_t>(64, count / (used * 16));
  {
    std::lock_guard<std::mutex> lock(_mutex);
    _task = task;
    _context = context;
    _count = count;
    _piece = piece;
    _next.store(0);
    _busy.store(static_cast<int>(_helpers.size()));
    _round.fetch_add(1);
  }
  _wake.notify_all();
  TakePieces(task, context, count, piece);
  const auto finished = [&] { return _busy.load() == 0; };
  for (int k = 0; k < kWatch && !finished(); ++k) {
  }
  if (finished()) return;
  std::unique_lock<std::mutex> lock(_mutex);
  _done.wait(lock, finished);
}

bool SW_FlowWorkers::MakeRoom(int32_t count)
{
  if (Threads() < 2 || count < 4096 || _lo.size() >= static_cast<size_t>(count)) return true;
  for (size_t size : {static_cast<size_t>(count) + count / 5, static_cast<size_t>(count)}) {
    try {
      _lo.resize(size);
      _hi.resize(size);
      return true;
    } catch (const std::bad_alloc&) {
    }
  }
  // Both empty again: ScatterInOrder sizes them together.
  _lo.clear();
  _hi.clear();
  return false;
}
