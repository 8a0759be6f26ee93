#include "base/message_loop_proxy_impl.h"

#include <memory>

#include "base/auto_lock.h"
#include "base/message_loop.h"

namespace base {

MessageLoopProxyImpl::MessageLoopProxyImpl(MessageLoop* loop) : target_message_loop_(loop) {}

MessageLoopProxyImpl::~MessageLoopProxyImpl() = default;

bool MessageLoopProxyImpl::PostTaskWithDelay(const PostSite& from_here, const Closure& task,
                                             TimeDelta delay) {
  return PostTaskHelper(from_here, task, delay.InMillisecondsRoundedUp(), true);
}

bool MessageLoopProxyImpl::PostTaskWithDelay(const PostSite& from_here, const Closure& task,
                                             int64_t delay_ms) {
  return PostTaskHelper(from_here, task, delay_ms, true);
}

bool MessageLoopProxyImpl::PostNonNestableTaskWithDelay(const PostSite& from_here,
                                                        const Closure& task, TimeDelta delay) {
  return PostTaskHelper(from_here, task, delay.InMillisecondsRoundedUp(), false);
}

bool MessageLoopProxyImpl::PostNonNestableTaskWithDelay(const PostSite& from_here,
                                                        const Closure& task, int64_t delay_ms) {
  return PostTaskHelper(from_here, task, delay_ms, false);
}

bool MessageLoopProxyImpl::BelongsToCurrentThread() const {
  AutoLock lock(message_loop_lock_);
  return target_message_loop_ && target_message_loop_ == MessageLoop::current();
}

bool MessageLoopProxyImpl::PostTaskHelper(const PostSite& from_here, const Closure& task,
                                          int64_t delay_ms, bool nestable) {
  AutoLock lock(message_loop_lock_);
  if (!target_message_loop_) return false;
  if (nestable)
    target_message_loop_->PostTaskWithDelay(from_here, task, delay_ms);
  else
    target_message_loop_->PostNonNestableTaskWithDelay(from_here, task, delay_ms);
  return true;
}

void MessageLoopProxyImpl::WillDestroyCurrentMessageLoop() {
  AutoLock lock(message_loop_lock_);
  target_message_loop_ = NULL;
}

void MessageLoopProxyImpl::OnDestruct() const {
  bool delete_later = false;
  {
    AutoLock lock(message_loop_lock_);
    if (target_message_loop_ && target_message_loop_ != MessageLoop::current()) {
      // The closure's last copy deletes the proxy on the loop's thread,
      // whether the closure runs or is destroyed with the loop.
      std::shared_ptr<const MessageLoopProxyImpl> doomed(
          this, [](const MessageLoopProxyImpl* proxy) { proxy->DeleteAfterLock(); });
      target_message_loop_->PostNonNestableTask(
          FROM_HERE_WITH("base::MessageLoopProxyImpl::OnDestruct"), Closure([doomed] {}));
      delete_later = true;
    }
  }
  if (!delete_later) delete this;
}

void MessageLoopProxyImpl::DeleteAfterLock() const {
  // The posting thread may still be inside OnDestruct's lock.
  { AutoLock lock(message_loop_lock_); }
  delete this;
}

}  // namespace base
