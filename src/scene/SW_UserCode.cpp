// User code: the step budget of its calls.
#include "SW_UserCode.h"

#include <atomic>

namespace {

// A sound law takes some hundreds of steps per call; 10^8 is seconds of a loop that never ends.
std::atomic<uint64_t> stepLimit{100000000};

}  // namespace

uint64_t SW_UserCodeStepLimit() { return stepLimit.load(std::memory_order_relaxed); }

void SW_SetUserCodeStepLimit(uint64_t steps) { stepLimit.store(steps, std::memory_order_relaxed); }
