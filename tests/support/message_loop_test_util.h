#ifndef TESTS_SUPPORT_MESSAGE_LOOP_TEST_UTIL_H_
#define TESTS_SUPPORT_MESSAGE_LOOP_TEST_UTIL_H_

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/bound_task.h"

namespace loop_test {

// Thread-safe list of what happened, in order.
class EventLog {
 public:
  void Add(const std::string& event) {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back(event);
  }
  std::vector<std::string> events() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
  }
  size_t size() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_.size();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> events_;
};

// Shows when the closure holding it is destroyed (with every copy).
class Witness {
 public:
  explicit Witness(std::atomic<bool>* destroyed) : destroyed_(destroyed) {}
  ~Witness() { destroyed_->store(true); }

 private:
  std::atomic<bool>* destroyed_;
};

// A closure that records |event| in |log| when run and sets |destroyed|
// when its bound state goes away.
inline base::Closure WitnessedTask(EventLog* log, const std::string& event,
                                   std::atomic<bool>* destroyed) {
  std::shared_ptr<Witness> witness = std::make_shared<Witness>(destroyed);
  return base::Closure([log, event, witness] { log->Add(event); });
}

// Ends the test program loudly if a scope takes longer than |seconds|: a
// loop that never wakes up would otherwise hang until the runner's timeout.
class Watchdog {
 public:
  Watchdog(DWORD seconds, const char* what)
      : done_(CreateEventW(NULL, TRUE, FALSE, NULL)), seconds_(seconds), what_(what) {
    thread_ = CreateThread(NULL, 0, &Watchdog::Body, this, 0, NULL);
  }
  ~Watchdog() {
    SetEvent(done_);
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    CloseHandle(done_);
  }

 private:
  static DWORD WINAPI Body(void* param) {
    Watchdog* self = static_cast<Watchdog*>(param);
    if (WaitForSingleObject(self->done_, self->seconds_ * 1000) != WAIT_OBJECT_0) {
      std::fprintf(stderr, "WATCHDOG: %s did not finish within %lu s\n", self->what_.c_str(),
                   static_cast<unsigned long>(self->seconds_));
      std::fflush(stderr);
      TerminateProcess(GetCurrentProcess(), 3);
    }
    return 0;
  }

  HANDLE done_;
  HANDLE thread_;
  DWORD seconds_;
  std::string what_;
};

// Polls |condition| every few milliseconds for up to |timeout_ms|.
template <typename Condition>
bool WaitUntil(Condition condition, DWORD timeout_ms = 10000) {
  const ULONGLONG end = GetTickCount64() + timeout_ms;
  while (!condition()) {
    if (GetTickCount64() > end) return false;
    Sleep(2);
  }
  return true;
}

}  // namespace loop_test

#endif  // TESTS_SUPPORT_MESSAGE_LOOP_TEST_UTIL_H_
