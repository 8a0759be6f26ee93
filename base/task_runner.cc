#include "base/task_runner.h"

#include <memory>

#include "base/logging.h"
#include "base/message_loop_proxy.h"
#include "base/post_task_and_reply_relay.h"

namespace base {

bool TaskRunner::PostTask(const PostSite& from_here, const Closure& task) {
  return PostTaskWithDelay(from_here, task, int64_t{0});
}

bool TaskRunner::PostTaskAndReply(const PostSite& from_here, const Closure& task,
                                  const Closure& reply) {
  scoped_refptr<MessageLoopProxy> origin = MessageLoopProxy::current();
  DCHECK(origin);
  // Without a loop here the reply would have nowhere to run.
  if (!origin) return false;
  std::shared_ptr<PostTaskAndReplyRelay> relay =
      std::make_shared<PostTaskAndReplyRelay>(from_here, origin, task, reply);
  Closure run_relay([relay] { PostTaskAndReplyRelay::RunTaskAndPostReply(relay); });
  relay.reset();
  // On failure the only reference left is |run_relay|'s, which goes at the
  // end of this function together with the task and the reply.
  return PostTask(from_here, run_relay);
}

void TaskRunner::AddRef() const { InterlockedIncrement(&ref_count_); }

void TaskRunner::Release() const {
  if (InterlockedDecrement(&ref_count_) == 0) OnDestruct();
}

void TaskRunner::OnDestruct() const { delete this; }

}  // namespace base
