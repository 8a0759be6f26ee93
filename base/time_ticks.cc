#include "base/time_ticks.h"

#include <windows.h>

#include <limits>

namespace base {

namespace {

int64_t CounterFrequency() {
  // Fixed at boot; reading it once is enough.
  static const int64_t frequency = [] {
    LARGE_INTEGER f;
    if (!QueryPerformanceFrequency(&f) || f.QuadPart <= 0) return int64_t{0};
    return static_cast<int64_t>(f.QuadPart);
  }();
  return frequency;
}

}  // namespace

int64_t TimeTicks::NowInMicroseconds() {
  const int64_t frequency = CounterFrequency();
  LARGE_INTEGER counter;
  if (frequency == 0 || !QueryPerformanceCounter(&counter)) {
    // Never seen on supported systems; the tick count is still monotonic.
    return static_cast<int64_t>(GetTickCount64()) * 1000;
  }
  const int64_t ticks = counter.QuadPart;
  // Split to keep ticks * 1000000 from overflowing on long uptimes.
  return (ticks / frequency) * 1000000 + (ticks % frequency) * 1000000 / frequency;
}

int64_t TimeTicks::AddMilliseconds(int64_t now_us, int64_t delay_ms) {
  const int64_t max = std::numeric_limits<int64_t>::max();
  if (delay_ms > (max - now_us) / 1000) return max;
  return now_us + delay_ms * 1000;
}

}  // namespace base
