#ifndef TARNELSETUP_SETUP_THREAD_MESSAGE_LOOP_PROXY_H_
#define TARNELSETUP_SETUP_THREAD_MESSAGE_LOOP_PROXY_H_

#include <cstdint>

#include "base/message_loop_proxy.h"

namespace setup {

// The task runner of one setup thread, chosen by identifier (below
// SetupThread::ID_COUNT). It keeps no pointer to the thread: every call
// looks the thread up again (SetupThread::PostToThread), so a proxy that
// outlives its thread just fails to post. Supports everything of
// base::MessageLoopProxy, PostTaskAndReply included.
//
//   scoped_refptr<base::MessageLoopProxy> runner =
//       new setup::SetupThreadMessageLoopProxy(setup::SetupThread::FILE);
class SetupThreadMessageLoopProxy : public base::MessageLoopProxy {
 public:
  explicit SetupThreadMessageLoopProxy(int identifier);

  bool PostTaskWithDelay(const base::PostSite& from_here, const base::Closure& task,
                         base::TimeDelta delay) override;
  // |delay_ms| milliseconds, i.e. delay_ms * 1000 microseconds.
  bool PostTaskWithDelay(const base::PostSite& from_here, const base::Closure& task,
                         int64_t delay_ms) override;
  bool PostNonNestableTaskWithDelay(const base::PostSite& from_here, const base::Closure& task,
                                    base::TimeDelta delay) override;
  bool PostNonNestableTaskWithDelay(const base::PostSite& from_here, const base::Closure& task,
                                    int64_t delay_ms) override;
  // True only on the identified thread while it is registered and its loop
  // runs.
  bool BelongsToCurrentThread() const override;

  int identifier() const { return identifier_; }

 private:
  ~SetupThreadMessageLoopProxy() override;

  const int identifier_;
};

}  // namespace setup

#endif  // TARNELSETUP_SETUP_THREAD_MESSAGE_LOOP_PROXY_H_
