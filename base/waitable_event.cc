#include "base/waitable_event.h"

#include "base/logging.h"

namespace base {

WaitableEvent::WaitableEvent(bool manual_reset, bool initially_signaled)
    : handle_(CreateEventW(NULL, manual_reset ? TRUE : FALSE, initially_signaled ? TRUE : FALSE,
                           NULL)) {
  CHECK(handle_);
}

WaitableEvent::~WaitableEvent() { CloseHandle(handle_); }

void WaitableEvent::Signal() { SetEvent(handle_); }

void WaitableEvent::Reset() { ResetEvent(handle_); }

void WaitableEvent::Wait() {
  DWORD result = WaitForSingleObject(handle_, INFINITE);
  DCHECK_EQ(result, static_cast<DWORD>(WAIT_OBJECT_0));
  (void)result;
}

bool WaitableEvent::TimedWait(DWORD timeout_ms) {
  return WaitForSingleObject(handle_, timeout_ms) == WAIT_OBJECT_0;
}

}  // namespace base
