#ifndef BASE_TASK_RUNNER_H_
#define BASE_TASK_RUNNER_H_

#include <windows.h>

#include <cstdint>

#include "base/bound_task.h"
#include "base/time_delta.h"

namespace base {

// Something that runs posted closures, possibly after a delay. Reference
// counted with interlocked operations; when the last reference goes,
// OnDestruct() decides where the object is deleted. Hold it in a
// scoped_refptr.
class TaskRunner {
 public:
  // Immediate, nestable. Returns whether the closure was queued; when it was
  // not, the closure is never run and is released with the caller's copy.
  bool PostTask(const PostSite& from_here, const Closure& task);

  // Runs |task| after |delay| (a time interval, rounded up to whole
  // milliseconds) or |delay_ms|. Zero or negative delays are immediate.
  virtual bool PostTaskWithDelay(const PostSite& from_here, const Closure& task,
                                 TimeDelta delay) = 0;
  virtual bool PostTaskWithDelay(const PostSite& from_here, const Closure& task,
                                 int64_t delay_ms) = 0;

  // Posts |task| here; once it has run, |reply| runs on the calling thread,
  // which must have a MessageLoop. The task closure is destroyed on the
  // calling thread too, just before the reply runs. Returns false when |task|
  // could not be posted (or the calling thread has no loop); then neither
  // runs and both are destroyed before this returns. If the calling thread's
  // loop is gone by the time the task has run, the reply is destroyed unrun.
  bool PostTaskAndReply(const PostSite& from_here, const Closure& task, const Closure& reply);

  void AddRef() const;
  void Release() const;

 protected:
  TaskRunner() = default;
  virtual ~TaskRunner() = default;

  // Called when the last reference has been released. Deletes the object.
  virtual void OnDestruct() const;

 private:
  mutable volatile LONG ref_count_ = 0;

  TaskRunner(const TaskRunner&) = delete;
  TaskRunner& operator=(const TaskRunner&) = delete;
};

}  // namespace base

#endif  // BASE_TASK_RUNNER_H_
