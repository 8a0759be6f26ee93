#include "base/lock.h"

namespace base {

Lock::Lock(DWORD spin_count) { InitializeCriticalSectionAndSpinCount(&section_, spin_count); }

Lock::~Lock() { DeleteCriticalSection(&section_); }

}  // namespace base
