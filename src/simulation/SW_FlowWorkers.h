// SW_FlowWorkers: the threads of a run, started once and kept until the run state goes, so
// that a time step hands its phases to them without starting threads or allocating.
//
// A phase splits [0, count) into pieces of at least 64 items that the threads (the calling
// one among them) take in turn until none is left, and returns when every piece is done.
// The pieces only decide who computes an item, never what: every item is computed from the
// phase's input alone, so the results are the same with any number of threads.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <type_traits>
#include <vector>

class SW_FlowWorkers {
public:
  using Task = void (*)(void* context, int32_t first, int32_t end);

  SW_FlowWorkers() = default;
  SW_FlowWorkers(const SW_FlowWorkers&) = delete;
  SW_FlowWorkers& operator=(const SW_FlowWorkers&) = delete;
  ~SW_FlowWorkers();

  // Keeps `threads` threads in all (the caller counts as one); starts or stops helpers only
  // when the number changes.
  void Use(int threads);
  int Threads() const { return static_cast<int>(_helpers.size()) + 1; }
  // The worker that runs the calling code: 0 on the thread that hands out the phases (and on
  // any other), k on helper k. A phase that keeps state per worker indexes it by this.
  static int Index();

  // Runs task(context, first, end) over the pieces of [0, count).
  void Run(int32_t count, Task task, void* context);
  // The same for a callable f(first, end), passed by reference (no copy, no allocation).
  template <class F>
  void ForEachChunk(int32_t count, F&& f)
  {
    using Callable = std::remove_reference_t<F>;
    Run(count, [](void* c, int32_t first, int32_t end) { (*static_cast<Callable*>(c))(first, end); },
        &f);
  }

private:
  void Stop();
  // A helper's loop; `seen` is the round before it started.
  void Serve(int index, uint64_t seen);
  // Takes pieces of the phase until none is left.
  void TakePieces(Task task, void* context, int32_t count, int32_t piece);

  std::vector<std::thread> _helpers;
  std::mutex _mutex;
  std::condition_variable _wake, _done;
  uint64_t _round = 0;  // counts the phases handed out; a helper works once per round
  int _busy = 0;        // helpers still working on this round
  bool _stopping = false;
  Task _task = nullptr;
  void* _context = nullptr;
  int32_t _count = 0, _piece = 0;
  // The first item of the next piece to take (64 bits: the threads overshoot the count).
  std::atomic<int64_t> _next{0};
};
