#ifndef BASE_POST_TASK_AND_REPLY_RELAY_H_
#define BASE_POST_TASK_AND_REPLY_RELAY_H_

#include <memory>

#include "base/bound_task.h"
#include "base/message_loop_proxy.h"
#include "base/ref_counted.h"

namespace base {

// Carries a task to its destination and the reply back to the loop of the
// thread that posted them (TaskRunner::PostTaskAndReply). Owned through
// shared pointers by the two closures that it posts, so it goes away with
// them whether or not they run.
class PostTaskAndReplyRelay {
 public:
  PostTaskAndReplyRelay(const PostSite& from_here, scoped_refptr<MessageLoopProxy> origin_loop,
                        const Closure& task, const Closure& reply);
  ~PostTaskAndReplyRelay();

  // On the destination thread: runs the task, then posts the reply step to
  // the origin loop.
  static void RunTaskAndPostReply(const std::shared_ptr<PostTaskAndReplyRelay>& relay);

 private:
  // On the origin thread: destroys the task closure, then runs the reply.
  void RunReply();

  PostSite from_here_;
  scoped_refptr<MessageLoopProxy> origin_loop_;
  Closure task_;
  Closure reply_;

  PostTaskAndReplyRelay(const PostTaskAndReplyRelay&) = delete;
  PostTaskAndReplyRelay& operator=(const PostTaskAndReplyRelay&) = delete;
};

}  // namespace base

#endif  // BASE_POST_TASK_AND_REPLY_RELAY_H_
