#ifndef BASE_AUTO_LOCK_H_
#define BASE_AUTO_LOCK_H_

#include "base/lock.h"

namespace base {

// Holds |lock| for the lifetime of the object.
class AutoLock {
 public:
  explicit AutoLock(Lock& lock) : lock_(lock) { lock_.Acquire(); }
  ~AutoLock() { lock_.Release(); }

 private:
  Lock& lock_;

  AutoLock(const AutoLock&) = delete;
  AutoLock& operator=(const AutoLock&) = delete;
};

}  // namespace base

#endif  // BASE_AUTO_LOCK_H_
