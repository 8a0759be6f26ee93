#include "TarnelSetup/thread_checker.h"

#include "base/auto_lock.h"

namespace task {

ThreadChecker::ThreadChecker() : lock_(2000), valid_thread_id_(GetCurrentThreadId()) {}

ThreadChecker::~ThreadChecker() = default;

bool ThreadChecker::CalledOnValidThread() const {
  base::AutoLock hold(lock_);
  const DWORD current = GetCurrentThreadId();
  if (valid_thread_id_ == 0) valid_thread_id_ = current;
  return valid_thread_id_ == current;
}

void ThreadChecker::DetachFromThread() {
  base::AutoLock hold(lock_);
  valid_thread_id_ = 0;
}

}  // namespace task
