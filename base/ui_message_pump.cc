#include "base/ui_message_pump.h"

#include <algorithm>

#include "base/logging.h"

namespace base {

namespace {

const wchar_t kWndClass[] = L"Chrome_MessagePumpWindow";

HINSTANCE ExecutableModule() { return GetModuleHandleW(NULL); }

DWORD ToWaitMilliseconds(int64_t ms) {
  return static_cast<DWORD>(std::min<int64_t>(std::max<int64_t>(ms, 0), INFINITE - 1));
}

}  // namespace

UiMessagePump::UiMessagePump() { CreateMessageWindow(); }

UiMessagePump::~UiMessagePump() {
  // Normally Shutdown() has already run on the loop's thread.
  if (message_hwnd_.load()) DestroyMessageWindow();
}

void UiMessagePump::CreateMessageWindow() {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = WndProcThunk;
  wc.hInstance = ExecutableModule();
  wc.lpszClassName = kWndClass;
  // Every UI loop of the process shares the class: a second registration
  // fails with ERROR_CLASS_ALREADY_EXISTS, which is fine.
  RegisterClassExW(&wc);
  HWND hwnd = CreateWindowExW(0, kWndClass, NULL, 0, 0, 0, 0, 0, HWND_MESSAGE, NULL,
                              ExecutableModule(), NULL);
  if (!hwnd) {
    // Another loop may have unregistered the class between the two calls.
    RegisterClassExW(&wc);
    hwnd = CreateWindowExW(0, kWndClass, NULL, 0, 0, 0, 0, 0, HWND_MESSAGE, NULL,
                           ExecutableModule(), NULL);
  }
  if (!hwnd) {
    LOG(ERROR) << "CreateWindowExW of the message pump window failed, error " << GetLastError();
    return;
  }
  SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  message_hwnd_.store(hwnd);
}

void UiMessagePump::DestroyMessageWindow() {
  HWND hwnd = message_hwnd_.exchange(NULL);
  if (!hwnd) return;
  KillTimer(hwnd, timer_id());
  SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
  DestroyWindow(hwnd);
  // Fails while another UI loop still has a window of the class.
  UnregisterClassW(kWndClass, ExecutableModule());
}

void UiMessagePump::Shutdown() { DestroyMessageWindow(); }

void UiMessagePump::Run(Delegate* delegate) {
  RunState state = {delegate, false};
  RunState* previous = state_;
  state_ = &state;
  DoRunLoop();
  state_ = previous;
}

void UiMessagePump::Quit() {
  if (state_) state_->should_quit = true;
}

void UiMessagePump::ScheduleWork() {
  if (InterlockedExchange(&have_work_, 1) != 0) return;  // a wake-up is already queued
  HWND hwnd = message_hwnd_.load();
  if (hwnd && PostMessageW(hwnd, kMsgHaveWork, reinterpret_cast<WPARAM>(this), 0)) return;
  // No message went out (a full queue, or the loop is going away). Clear the
  // flag so that the next post tries again instead of assuming a wake-up is
  // pending; a running loop looks at its queue after every window message.
  DWORD error = GetLastError();
  InterlockedExchange(&have_work_, 0);
  if (hwnd) LOG(WARNING) << "PostMessageW of the pump's work message failed, error " << error;
}

void UiMessagePump::ScheduleDelayedWork(int64_t delayed_run_time) {
  delayed_work_time_ = delayed_run_time;
  HWND hwnd = message_hwnd_.load();
  if (!hwnd) return;
  int64_t period = MillisecondsUntil(delayed_run_time);
  period = std::max<int64_t>(period, kMinTimerPeriodMs);
  period = std::min<int64_t>(period, USER_TIMER_MAXIMUM);
  // Drives delayed work while a modal loop runs; the pump's own wait uses
  // delayed_work_time_ as well.
  SetTimer(hwnd, timer_id(), static_cast<UINT>(period), NULL);
}

LRESULT CALLBACK UiMessagePump::WndProcThunk(HWND hwnd, UINT message, WPARAM wparam,
                                             LPARAM lparam) {
  UiMessagePump* pump = reinterpret_cast<UiMessagePump*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (pump) {
    if (message == kMsgHaveWork && wparam == reinterpret_cast<WPARAM>(pump)) {
      pump->HandleWorkMessage();
      return 0;
    }
    if (message == WM_TIMER && wparam == pump->timer_id()) {
      pump->HandleTimerMessage();
      return 0;
    }
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

// Reached when someone else's loop dispatched our wake-up, typically the
// modal loop of a message box shown by a task.
void UiMessagePump::HandleWorkMessage() {
  if (!state_) {
    // No Run() to do work for; only the flag needs resetting.
    InterlockedExchange(&have_work_, 0);
    return;
  }
  // Let the message that our wake-up displaced go first, then do work.
  ProcessPumpReplacementMessage();
  if (state_->delegate->DoWork()) ScheduleWork();
}

void UiMessagePump::HandleTimerMessage() {
  HWND hwnd = message_hwnd_.load();
  if (hwnd) KillTimer(hwnd, timer_id());
  if (!state_) return;
  state_->delegate->DoDelayedWork(&delayed_work_time_);
  if (delayed_work_time_ != 0) ScheduleDelayedWork(delayed_work_time_);
}

void UiMessagePump::DoRunLoop() {
  for (;;) {
    bool more_work = ProcessNextWindowsMessage();
    if (state_->should_quit) break;

    more_work |= state_->delegate->DoWork();
    if (state_->should_quit) break;

    more_work |= state_->delegate->DoDelayedWork(&delayed_work_time_);
    // Work was found and nothing is waiting: the timer would be a spurious
    // wake-up.
    if (more_work && delayed_work_time_ == 0) {
      HWND hwnd = message_hwnd_.load();
      if (hwnd) KillTimer(hwnd, timer_id());
    }
    if (state_->should_quit) break;
    if (more_work) continue;

    more_work = state_->delegate->DoIdleWork();
    if (state_->should_quit) break;
    if (more_work) continue;

    WaitForWork();
  }
}

void UiMessagePump::WaitForWork() {
  const DWORD timeout = delayed_work_time_ == 0
                            ? INFINITE
                            : ToWaitMilliseconds(MillisecondsUntil(delayed_work_time_));
  const DWORD result =
      MsgWaitForMultipleObjectsEx(0, NULL, timeout, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  if (result == WAIT_OBJECT_0) {
    // A mouse message can be announced that PeekMessage will not hand out
    // (it belongs to another thread's capture); wait for a real message
    // instead of spinning on it.
    const DWORD queue_status = GetQueueStatus(QS_MOUSE);
    MSG msg;
    if ((HIWORD(queue_status) & QS_MOUSE) &&
        !PeekMessageW(&msg, NULL, WM_MOUSEFIRST, WM_MOUSELAST, PM_NOREMOVE)) {
      WaitMessage();
    }
  }
}

bool UiMessagePump::ProcessNextWindowsMessage() {
  // Sent messages are delivered inside PeekMessage without being returned;
  // count them as work all the same.
  const bool sent_messages_in_queue =
      (HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) != 0;
  MSG msg;
  if (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) return ProcessMessageHelper(msg);
  return sent_messages_in_queue;
}

bool UiMessagePump::ProcessMessageHelper(const MSG& msg) {
  if (msg.message == WM_QUIT) {
    state_->should_quit = true;
    // Put it back for any loop outside this one.
    PostQuitMessage(static_cast<int>(msg.wParam));
    return false;
  }
  if (msg.message == kMsgHaveWork && msg.hwnd == message_hwnd_.load())
    return ProcessPumpReplacementMessage();

  if (CallMsgFilterW(const_cast<MSG*>(&msg), kMessageFilterCode)) return true;
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
  return true;
}

bool UiMessagePump::ProcessPumpReplacementMessage() {
  // Our wake-up took a place in the queue; hand that place to the next
  // message so that a stream of posts cannot starve window messages.
  MSG msg;
  const bool have_message = PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE) != FALSE;
  InterlockedExchange(&have_work_, 0);
  if (!have_message) return false;
  // Tasks may still be waiting; make sure we come back for them.
  ScheduleWork();
  return ProcessMessageHelper(msg);
}

}  // namespace base
