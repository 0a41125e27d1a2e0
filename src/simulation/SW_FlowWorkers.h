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
        const_cast<void*>(static_cast<const void*>(&f)));
  }

  // Room in ScatterInOrder's scratch for `count` sources (with a fifth to spare, or just
  // enough), so that a phase over that many allocates none; false when the memory cannot be
  // had. With fewer than 4096 sources or one thread ScatterInOrder needs none.
  bool MakeRoom(int32_t count);

  // The bytes of the scratch that ScatterInOrder keeps between phases.
  size_t ScratchBytes() const
  {
    return (_lo.capacity() + _hi.capacity() + _blocks.capacity() + _bounds.capacity()) * sizeof(int32_t);
  }

  // Runs f(k) for k in [0, count), one item per piece: for a few large items.
  template <class F>
  void ForEachItem(int32_t count, F&& f)
  {
    using Callable = std::remove_reference_t<F>;
    Run(count, [](void* c, int32_t first, int32_t end) {
          for (int32_t k = first; k < end; ++k) (*static_cast<Callable*>(c))(k);
        }, const_cast<void*>(static_cast<const void*>(&f)), 1);
  }

  // Sums from sources [0, count), taken from the last to the first, onto targets
  // [0, targets), so that every target receives its terms in that order whatever the threads.
  // span(i, lo, hi) sets the least and the greatest target source i adds to (lo > hi: none);
  // add(i, first, end) adds source i's terms to its targets in [first, end) only. The targets
  // are split into ranges of about equal work (sources and targets), one per thread, and each
  // thread walks all sources, keeping those that reach its range. open(first, end) runs on a
  // range before its sums, close(first, end) after them (the ranges cover all targets).
  template <class Span, class Open, class Add, class Close>
  void ScatterInOrder(int32_t count, int32_t targets, Span&& span, Open&& open, Add&& add,
                      Close&& close);

  // The same over the same sources, spans and target count as the last ScatterInOrder (the
  // spans are not asked again).
  template <class Open, class Add, class Close>
  void ScatterAgain(int32_t count, int32_t targets, Open&& open, Add&& add, Close&& close);

private:
  void Stop();
  // The ranges of targets for ScatterInOrder from the spans in _lo, _hi; answers their number.
  int32_t SplitTargets(int32_t targets, int shift);
  // Runs with pieces of `piece` items (0: chosen from the count).
  void Run(int32_t count, Task task, void* context, int32_t piece);
  // A helper's loop; `seen` is the round before it started.
  void Serve(int index, uint64_t seen);
  // Takes pieces of the phase until none is left.
  void TakePieces(Task task, void* context, int32_t count, int32_t piece);

  std::vector<std::thread> _helpers;
  std::mutex _mutex;
  std::condition_variable _wake, _done;
  // Counts the phases handed out; a helper works once per round. A helper that finished
  // watches it for a short while before it sleeps, since the next phase usually follows
  // within microseconds; the caller likewise watches `_busy` before it sleeps.
  std::atomic<uint64_t> _round{0};
  std::atomic<int> _busy{0};  // helpers still working on this round
  std::atomic<bool> _stopping{false};
  Task _task = nullptr;
  void* _context = nullptr;
  int32_t _count = 0, _piece = 0;
  // The first item of the next piece to take (64 bits: the threads overshoot the count).
  std::atomic<int64_t> _next{0};
  // ScatterInOrder's scratch: each source's least and greatest target, the sources per block
  // of targets counted by each worker, the first target of each range.
  std::vector<int32_t> _lo, _hi, _blocks, _bounds;
  int32_t _ranges = 0;
};

template <class Span, class Open, class Add, class Close>
void SW_FlowWorkers::ScatterInOrder(int32_t count, int32_t targets, Span&& span, Open&& open,
                                    Add&& add, Close&& close)
{
  if (Threads() < 2 || count < 4096 || targets < 2) {
    open(0, targets);
    for (int32_t i = count - 1; i >= 0; --i) add(i, 0, targets);
    close(0, targets);
    return;
  }
  // Blocks of 2^shift targets, at most 4096 of them, for counting where the sources fall.
  int shift = 0;
  while ((targets - 1) >> shift >= 4096) ++shift;
  const size_t blocks = static_cast<size_t>(((targets - 1) >> shift) + 1);
  if (_lo.size() < static_cast<size_t>(count)) {
    _lo.resize(static_cast<size_t>(count) + count / 5);
    _hi.resize(_lo.size());
  }
  _blocks.assign(blocks * static_cast<size_t>(Threads()), 0);
  ForEachChunk(count, [&](int32_t first, int32_t end) {
    int32_t* counts = _blocks.data() + blocks * static_cast<size_t>(Index());
    for (int32_t i = first; i < end; ++i) {
      int32_t lo = 0, hi = -1;
      span(i, lo, hi);
      _lo[i] = lo;
      _hi[i] = hi;
      if (lo <= hi) ++counts[lo >> shift];
    }
  });
  _ranges = SplitTargets(targets, shift);
  ScatterAgain(count, targets, open, add, close);
}

template <class Open, class Add, class Close>
void SW_FlowWorkers::ScatterAgain(int32_t count, int32_t targets, Open&& open, Add&& add,
                                  Close&& close)
{
  if (Threads() < 2 || count < 4096 || targets < 2) {
    open(0, targets);
    for (int32_t i = count - 1; i >= 0; --i) add(i, 0, targets);
    close(0, targets);
    return;
  }
  ForEachItem(_ranges, [&](int32_t r) {
    const int32_t first = _bounds[r], end = _bounds[r + 1];
    if (first >= end) return;
    open(first, end);
    const int32_t* lo = _lo.data();
    const int32_t* hi = _hi.data();
    for (int32_t i = count - 1; i >= 0; --i)
      if (hi[i] >= first && lo[i] < end) add(i, first, end);
    close(first, end);
  });
}
