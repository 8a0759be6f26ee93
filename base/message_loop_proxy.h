#ifndef BASE_MESSAGE_LOOP_PROXY_H_
#define BASE_MESSAGE_LOOP_PROXY_H_

#include "base/ref_counted.h"
#include "base/single_thread_task_runner.h"

namespace base {

// The task runner of one message loop's thread. Implementations post to the
// loop while it exists and fail (return false, closure released by the
// caller) afterwards, so a proxy may safely outlive its loop.
//
// Operations (all callable from any thread):
//   PostTask(from_here, task)
//   PostTaskWithDelay(from_here, task, TimeDelta delay | int64_t delay_ms)
//   PostNonNestableTask(from_here, task)
//   PostNonNestableTaskWithDelay(from_here, task, TimeDelta | int64_t)
//   PostTaskAndReply(from_here, task, reply)
//   BelongsToCurrentThread()
class MessageLoopProxy : public SingleThreadTaskRunner {
 public:
  // The proxy of the calling thread's loop; null on a thread without one.
  static scoped_refptr<MessageLoopProxy> current();

 protected:
  ~MessageLoopProxy() override = default;
};

}  // namespace base

#endif  // BASE_MESSAGE_LOOP_PROXY_H_
