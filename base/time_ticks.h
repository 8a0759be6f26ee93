#ifndef BASE_TIME_TICKS_H_
#define BASE_TIME_TICKS_H_

#include <cstdint>

namespace base {

// The monotonic clock that delayed tasks are scheduled on.
class TimeTicks {
 public:
  // Microseconds since an arbitrary start (the machine's boot), never going
  // back. Read from QueryPerformanceCounter: unlike the tick count it is not
  // tied to the 10-16 ms timer interrupt and cannot wrap.
  static int64_t NowInMicroseconds();

  // |now_us| + |delay_ms| milliseconds, saturating at the largest time.
  static int64_t AddMilliseconds(int64_t now_us, int64_t delay_ms);
};

}  // namespace base

#endif  // BASE_TIME_TICKS_H_
