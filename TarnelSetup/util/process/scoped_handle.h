#ifndef TARNELSETUP_UTIL_PROCESS_SCOPED_HANDLE_H_
#define TARNELSETUP_UTIL_PROCESS_SCOPED_HANDLE_H_

#include <windows.h>

namespace setup {

// Owns a kernel handle (a process, a snapshot) and closes it when it goes
// out of scope. Both null and INVALID_HANDLE_VALUE count as no handle, since
// OpenProcess fails with the one and CreateToolhelp32Snapshot with the other.
class ScopedHandle {
 public:
  explicit ScopedHandle(HANDLE handle = nullptr) : handle_(handle) {}
  ~ScopedHandle() { Close(); }

  HANDLE get() const { return handle_; }
  bool IsValid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }

  void Close() {
    if (IsValid()) CloseHandle(handle_);
    handle_ = nullptr;
  }

 private:
  HANDLE handle_;

  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
};

}  // namespace setup

#endif  // TARNELSETUP_UTIL_PROCESS_SCOPED_HANDLE_H_
