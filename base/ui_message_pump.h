#ifndef BASE_UI_MESSAGE_PUMP_H_
#define BASE_UI_MESSAGE_PUMP_H_

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "base/message_pump.h"

namespace base {

// The pump of a TYPE_UI loop: runs the thread's Windows messages and the
// loop's tasks in turn. Wake-ups are a kMsgHaveWork message posted to a
// message-only window; delayed work is driven by a timer on that window, so
// both keep arriving while a modal loop of the system (a message box, a menu)
// owns the thread.
class UiMessagePump : public MessagePump {
 public:
  // Posted to the pump's window with wParam = the pump.
  static const UINT kMsgHaveWork = WM_USER + 1;
  // Code under which CallMsgFilterW sees each message before it is dispatched.
  static const int kMessageFilterCode = 0x5001;
  // Shortest timer period used for delayed work.
  static const UINT kMinTimerPeriodMs = 10;

  // Creates the message window; call on the loop's thread.
  UiMessagePump();

  void Run(Delegate* delegate) override;
  void Quit() override;
  void ScheduleWork() override;
  void ScheduleDelayedWork(int64_t delayed_run_time) override;
  void Shutdown() override;

  HWND message_hwnd() const { return message_hwnd_.load(); }

 private:
  struct RunState {
    Delegate* delegate;
    bool should_quit;
  };

  ~UiMessagePump() override;

  static LRESULT CALLBACK WndProcThunk(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  void CreateMessageWindow();
  void DestroyMessageWindow();
  UINT_PTR timer_id() const { return reinterpret_cast<UINT_PTR>(this); }

  void DoRunLoop();
  void WaitForWork();
  void HandleWorkMessage();
  void HandleTimerMessage();
  bool ProcessNextWindowsMessage();
  bool ProcessMessageHelper(const MSG& msg);
  bool ProcessPumpReplacementMessage();

  std::atomic<HWND> message_hwnd_{NULL};
  // 1 while a kMsgHaveWork is (or is about to be) in the window's queue.
  // Changed only with InterlockedExchange.
  volatile LONG have_work_ = 0;
  // Run time of the earliest delayed task, 0 when there is none.
  int64_t delayed_work_time_ = 0;
  // The innermost active Run(), or null (for instance inside a modal loop
  // entered outside Run).
  RunState* state_ = nullptr;
};

}  // namespace base

#endif  // BASE_UI_MESSAGE_PUMP_H_
