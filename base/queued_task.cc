#include "base/queued_task.h"

namespace base {

bool QueuedTask::RunsAfter(const QueuedTask& other) const {
  if (delayed_run_time != other.delayed_run_time) return delayed_run_time > other.delayed_run_time;
  // Unsigned subtraction wraps without undefined behaviour.
  const int32_t diff = static_cast<int32_t>(static_cast<uint32_t>(sequence_num) -
                                            static_cast<uint32_t>(other.sequence_num));
  return diff > 0;
}

}  // namespace base
