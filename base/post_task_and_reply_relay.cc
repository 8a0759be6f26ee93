#include "base/post_task_and_reply_relay.h"

namespace base {

PostTaskAndReplyRelay::PostTaskAndReplyRelay(const PostSite& from_here,
                                             scoped_refptr<MessageLoopProxy> origin_loop,
                                             const Closure& task, const Closure& reply)
    : from_here_(from_here), origin_loop_(std::move(origin_loop)), task_(task), reply_(reply) {}

PostTaskAndReplyRelay::~PostTaskAndReplyRelay() = default;

void PostTaskAndReplyRelay::RunTaskAndPostReply(
    const std::shared_ptr<PostTaskAndReplyRelay>& relay) {
  relay->task_.Run();
  std::shared_ptr<PostTaskAndReplyRelay> keep = relay;
  // If the origin loop is gone the reply cannot run anywhere; it is destroyed
  // with the relay.
  relay->origin_loop_->PostTask(relay->from_here_, Closure([keep] { keep->RunReply(); }));
}

void PostTaskAndReplyRelay::RunReply() {
  task_.Reset();
  Closure reply = reply_;
  reply_.Reset();
  reply.Run();
}

}  // namespace base
