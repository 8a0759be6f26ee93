#ifndef TARNELSETUP_SETUP_THREAD_TABLE_H_
#define TARNELSETUP_SETUP_THREAD_TABLE_H_

#include "TarnelSetup/setup_thread.h"
#include "base/lock.h"

namespace setup {

class SetupThreadImpl;

// The process's map from setup-thread identifier to thread object. Created
// on first use, from any thread, and never destroyed. The entries do not own
// their threads. Read and write them only while holding lock().
class SetupThreadTable {
 public:
  // The table, created if needed.
  static SetupThreadTable* Get();
  // The table, or null if nothing has used it yet.
  static SetupThreadTable* GetIfCreated();

  base::Lock& lock() { return lock_; }
  // |identifier| must be below ID_COUNT.
  SetupThreadImpl* thread(int identifier) const { return threads_[identifier]; }
  void set_thread(int identifier, SetupThreadImpl* thread) { threads_[identifier] = thread; }

 private:
  SetupThreadTable();
  ~SetupThreadTable() = delete;

  base::Lock lock_;
  SetupThreadImpl* threads_[SetupThread::ID_COUNT];
};

}  // namespace setup

#endif  // TARNELSETUP_SETUP_THREAD_TABLE_H_
