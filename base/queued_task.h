#ifndef BASE_QUEUED_TASK_H_
#define BASE_QUEUED_TASK_H_

#include <cstdint>

#include "base/bound_task.h"

namespace base {

// One posted closure as it waits in a message loop's queues.
struct QueuedTask {
  QueuedTask() = default;
  QueuedTask(const PostSite& from_here, const Closure& closure, int64_t delayed_run_time,
             bool nestable)
      : closure(closure),
        posted_from(from_here),
        delayed_run_time(delayed_run_time),
        nestable(nestable) {}

  // True when this task is to run after |other| in the delayed queue: a later
  // run time, or the same run time and a later sequence number. Sequence
  // numbers are compared by their signed difference so the counter may wrap.
  bool RunsAfter(const QueuedTask& other) const;

  Closure closure;
  PostSite posted_from;
  // Monotonic microseconds (TimeTicks); 0 marks an immediate task.
  int64_t delayed_run_time = 0;
  // Given when the task enters the delayed queue.
  int sequence_num = 0;
  bool nestable = true;
};

}  // namespace base

#endif  // BASE_QUEUED_TASK_H_
