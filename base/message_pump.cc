#include "base/message_pump.h"

#include "base/time_ticks.h"

namespace base {

int64_t MessagePump::MillisecondsUntil(int64_t run_time) {
  const int64_t delta_us = run_time - TimeTicks::NowInMicroseconds();
  if (delta_us <= 0) return 0;
  return (delta_us + 999) / 1000;
}

}  // namespace base
