#ifndef BASE_SEQUENCED_TASK_RUNNER_H_
#define BASE_SEQUENCED_TASK_RUNNER_H_

#include <cstdint>

#include "base/task_runner.h"

namespace base {

// A task runner that runs its tasks one at a time, in posting order (delayed
// tasks by run time). Adds non-nestable posting: such a task never runs
// inside a nested run of the loop.
class SequencedTaskRunner : public TaskRunner {
 public:
  bool PostNonNestableTask(const PostSite& from_here, const Closure& task) {
    return PostNonNestableTaskWithDelay(from_here, task, int64_t{0});
  }
  virtual bool PostNonNestableTaskWithDelay(const PostSite& from_here, const Closure& task,
                                            TimeDelta delay) = 0;
  virtual bool PostNonNestableTaskWithDelay(const PostSite& from_here, const Closure& task,
                                            int64_t delay_ms) = 0;

 protected:
  ~SequencedTaskRunner() override = default;
};

}  // namespace base

#endif  // BASE_SEQUENCED_TASK_RUNNER_H_
