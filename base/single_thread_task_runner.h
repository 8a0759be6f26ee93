#ifndef BASE_SINGLE_THREAD_TASK_RUNNER_H_
#define BASE_SINGLE_THREAD_TASK_RUNNER_H_

#include "base/sequenced_task_runner.h"

namespace base {

// A sequenced task runner whose tasks all run on one thread.
class SingleThreadTaskRunner : public SequencedTaskRunner {
 public:
  // True when called on the thread that runs this runner's tasks.
  virtual bool BelongsToCurrentThread() const = 0;

 protected:
  ~SingleThreadTaskRunner() override = default;
};

}  // namespace base

#endif  // BASE_SINGLE_THREAD_TASK_RUNNER_H_
