#ifndef BASE_WAITABLE_EVENT_H_
#define BASE_WAITABLE_EVENT_H_

#include <windows.h>

namespace base {

// Owns a Win32 event. The program cannot go on without one, so failing to
// create it is fatal.
class WaitableEvent {
 public:
  WaitableEvent(bool manual_reset, bool initially_signaled);
  ~WaitableEvent();

  void Signal();
  void Reset();
  // Waits without a time limit.
  void Wait();
  // Waits up to |timeout_ms| (INFINITE allowed). True when signalled.
  bool TimedWait(DWORD timeout_ms);

  HANDLE handle() const { return handle_; }

 private:
  HANDLE handle_;

  WaitableEvent(const WaitableEvent&) = delete;
  WaitableEvent& operator=(const WaitableEvent&) = delete;
};

}  // namespace base

#endif  // BASE_WAITABLE_EVENT_H_
