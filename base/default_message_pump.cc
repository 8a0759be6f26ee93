#include "base/default_message_pump.h"

namespace base {

DefaultMessagePump::DefaultMessagePump() : event_(false, false) {}

DefaultMessagePump::~DefaultMessagePump() = default;

void DefaultMessagePump::Run(Delegate* delegate) {
  for (;;) {
    bool did_work = delegate->DoWork();
    if (!keep_running_) break;
    did_work |= delegate->DoDelayedWork(&delayed_work_time_);
    if (!keep_running_) break;
    if (did_work) continue;

    did_work = delegate->DoIdleWork();
    if (!keep_running_) break;
    if (did_work) continue;

    if (delayed_work_time_ == 0) {
      event_.Wait();
      continue;
    }
    const int64_t delay_ms = MillisecondsUntil(delayed_work_time_);
    if (delay_ms > 0) {
      event_.TimedWait(delay_ms >= INFINITE ? INFINITE - 1 : static_cast<DWORD>(delay_ms));
    } else {
      // Already due: the next delayed step runs it.
      delayed_work_time_ = 0;
    }
  }
  keep_running_ = true;
}

void DefaultMessagePump::Quit() { keep_running_ = false; }

void DefaultMessagePump::ScheduleWork() { event_.Signal(); }

void DefaultMessagePump::ScheduleDelayedWork(int64_t delayed_run_time) {
  // Only the loop's own thread calls this, between waits; the next wait
  // uses the new time.
  delayed_work_time_ = delayed_run_time;
}

}  // namespace base
