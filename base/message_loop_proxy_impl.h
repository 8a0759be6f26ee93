#ifndef BASE_MESSAGE_LOOP_PROXY_IMPL_H_
#define BASE_MESSAGE_LOOP_PROXY_IMPL_H_

#include <cstdint>

#include "base/lock.h"
#include "base/message_loop_proxy.h"

namespace base {

class MessageLoop;

// The MessageLoopProxy of one MessageLoop; the loop creates it and tells it
// when it goes away. Its own lock guards the loop pointer, so a post either
// reaches a live loop or fails.
class MessageLoopProxyImpl : public MessageLoopProxy {
 public:
  bool PostTaskWithDelay(const PostSite& from_here, const Closure& task, TimeDelta delay) override;
  bool PostTaskWithDelay(const PostSite& from_here, const Closure& task, int64_t delay_ms) override;
  bool PostNonNestableTaskWithDelay(const PostSite& from_here, const Closure& task,
                                    TimeDelta delay) override;
  bool PostNonNestableTaskWithDelay(const PostSite& from_here, const Closure& task,
                                    int64_t delay_ms) override;
  bool BelongsToCurrentThread() const override;

 private:
  friend class MessageLoop;

  explicit MessageLoopProxyImpl(MessageLoop* loop);
  ~MessageLoopProxyImpl() override;

  // Last reference gone: delete on the loop's thread while the loop lives
  // (posted there), else at once.
  void OnDestruct() const override;
  // Called by the loop on its own thread as it goes away.
  void WillDestroyCurrentMessageLoop();
  bool PostTaskHelper(const PostSite& from_here, const Closure& task, int64_t delay_ms,
                      bool nestable);
  // Waits for a thread still inside OnDestruct's lock, then deletes.
  void DeleteAfterLock() const;

  mutable Lock message_loop_lock_;
  MessageLoop* target_message_loop_;
};

}  // namespace base

#endif  // BASE_MESSAGE_LOOP_PROXY_IMPL_H_
