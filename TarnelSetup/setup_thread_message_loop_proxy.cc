#include "TarnelSetup/setup_thread_message_loop_proxy.h"

#include "TarnelSetup/setup_thread.h"
#include "TarnelSetup/setup_thread_impl.h"
#include "TarnelSetup/setup_thread_table.h"
#include "base/auto_lock.h"
#include "base/message_loop.h"

namespace setup {

SetupThreadMessageLoopProxy::SetupThreadMessageLoopProxy(int identifier)
    : identifier_(identifier) {}

SetupThreadMessageLoopProxy::~SetupThreadMessageLoopProxy() = default;

bool SetupThreadMessageLoopProxy::PostTaskWithDelay(const base::PostSite& from_here,
                                                    const base::Closure& task,
                                                    base::TimeDelta delay) {
  return SetupThread::PostToThread(identifier_, from_here, task, delay, true);
}

bool SetupThreadMessageLoopProxy::PostTaskWithDelay(const base::PostSite& from_here,
                                                    const base::Closure& task, int64_t delay_ms) {
  return SetupThread::PostToThread(identifier_, from_here, task,
                                   base::TimeDelta::FromMilliseconds(delay_ms), true);
}

bool SetupThreadMessageLoopProxy::PostNonNestableTaskWithDelay(const base::PostSite& from_here,
                                                               const base::Closure& task,
                                                               base::TimeDelta delay) {
  return SetupThread::PostToThread(identifier_, from_here, task, delay, false);
}

bool SetupThreadMessageLoopProxy::PostNonNestableTaskWithDelay(const base::PostSite& from_here,
                                                               const base::Closure& task,
                                                               int64_t delay_ms) {
  return SetupThread::PostToThread(identifier_, from_here, task,
                                   base::TimeDelta::FromMilliseconds(delay_ms), false);
}

bool SetupThreadMessageLoopProxy::BelongsToCurrentThread() const {
  if (identifier_ < 0 || identifier_ >= SetupThread::ID_COUNT) return false;
  base::MessageLoop* current = base::MessageLoop::current();
  if (!current) return false;
  SetupThreadTable* table = SetupThreadTable::Get();
  base::AutoLock lock(table->lock());
  SetupThreadImpl* thread = table->thread(identifier_);
  return thread && thread->message_loop() == current;
}

}  // namespace setup
