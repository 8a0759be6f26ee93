#ifndef TARNELSETUP_THREAD_CHECKER_H_
#define TARNELSETUP_THREAD_CHECKER_H_

#include <windows.h>

#include "base/lock.h"

namespace task {

// Remembers one thread and tells whether the caller is on it. Bound to the
// constructing thread; after DetachFromThread the next CalledOnValidThread
// binds the thread that calls it.
class ThreadChecker {
 public:
  ThreadChecker();
  ~ThreadChecker();

  // Binds the calling thread when none is bound; true when the calling
  // thread is the bound one.
  bool CalledOnValidThread() const;
  void DetachFromThread();

 private:
  // Guards only |valid_thread_id_|.
  mutable base::Lock lock_;        // a critical section with spin count 2000
  mutable DWORD valid_thread_id_;  // 0: not bound

  ThreadChecker(const ThreadChecker&) = delete;
  ThreadChecker& operator=(const ThreadChecker&) = delete;
};

}  // namespace task

#endif  // TARNELSETUP_THREAD_CHECKER_H_
