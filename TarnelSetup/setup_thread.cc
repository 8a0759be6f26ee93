#include "TarnelSetup/setup_thread.h"

#include "TarnelSetup/setup_thread_impl.h"
#include "TarnelSetup/setup_thread_table.h"
#include "base/auto_lock.h"
#include "base/logging.h"
#include "base/message_loop.h"

namespace setup {

// static
bool SetupThread::PostTask(int identifier, const base::PostSite& from_here,
                           const base::Closure& task) {
  return PostToThread(identifier, from_here, task, base::TimeDelta(), true);
}

// static
bool SetupThread::PostToThread(int identifier, const base::PostSite& from_here,
                               const base::Closure& task, base::TimeDelta delay, bool nestable) {
  DCHECK(identifier >= 0 && identifier < ID_COUNT);
  if (identifier < 0 || identifier >= ID_COUNT) return false;

  // The table lock can be skipped when the target cannot go away during the
  // post: posting to one's own thread, or from the UI thread, which is the
  // one that stops the others. Everyone else (the File thread included, as
  // Dispatch is stopped while File still runs) takes it.
  int current_id = -1;
  const bool skip_lock =
      GetCurrentId(&current_id) && (current_id == identifier || current_id == UI);

  SetupThreadTable* table = SetupThreadTable::Get();
  if (!skip_lock) table->lock().Acquire();
  SetupThreadImpl* thread = table->thread(identifier);
  base::MessageLoop* loop = thread ? thread->message_loop() : nullptr;
  if (loop) {
    const int64_t delay_ms = delay.InMillisecondsRoundedUp();
    if (nestable)
      loop->PostTaskWithDelay(from_here, task, delay_ms);
    else
      loop->PostNonNestableTaskWithDelay(from_here, task, delay_ms);
  }
  if (!skip_lock) table->lock().Release();
  return loop != nullptr;
}

// static
bool SetupThread::GetCurrentId(int* identifier) {
  SetupThreadTable* table = SetupThreadTable::GetIfCreated();
  if (!table) return false;
  base::MessageLoop* current = base::MessageLoop::current();
  // Without a loop the caller cannot be a setup thread (and must not match an
  // entry whose loop is gone).
  if (!current) return false;
  // Under the lock: another thread may be deleting a different entry's
  // object at this moment.
  base::AutoLock lock(table->lock());
  for (int i = 0; i < ID_COUNT; ++i) {
    SetupThreadImpl* thread = table->thread(i);
    if (thread && thread->message_loop() == current) {
      *identifier = thread->identifier();
      return true;
    }
  }
  return false;
}

}  // namespace setup
