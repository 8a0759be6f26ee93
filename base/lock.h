#ifndef BASE_LOCK_H_
#define BASE_LOCK_H_

#include <windows.h>

namespace base {

// A Win32 critical section. Recursive, like the section itself. The spin
// count keeps short waits on another core out of the kernel.
class Lock {
 public:
  static const DWORD kDefaultSpinCount = 2000;

  explicit Lock(DWORD spin_count = kDefaultSpinCount);
  ~Lock();

  void Acquire() { EnterCriticalSection(&section_); }
  void Release() { LeaveCriticalSection(&section_); }

 private:
  CRITICAL_SECTION section_;

  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;
};

}  // namespace base

#endif  // BASE_LOCK_H_
