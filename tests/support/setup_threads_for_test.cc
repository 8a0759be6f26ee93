#include "tests/support/setup_threads_for_test.h"

#include <windows.h>

#include <stdio.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "TarnelSetup/setup_thread.h"
#include "base/bound_task.h"
#include "base/message_loop.h"
#include "tests/support/log_capture.h"

SetupThreadsForTest::SetupThreadsForTest() : main_loop_(new setup::SetupMainLoop(params_)) {
  main_loop_->InitMainThread();
  ok_ = main_loop_->StartSubThreads();
}

SetupThreadsForTest::~SetupThreadsForTest() {
  StopSubThreads();
  main_loop_.reset();
}

void SetupThreadsForTest::StopSubThreads() {
  if (main_loop_) main_loop_->StopSubThreads();
}

bool SetupThreadsForTest::RunUiLoop(DWORD timeout_ms) {
  HANDLE returned = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::atomic<bool> timed_out{false};
  std::thread watchdog([returned, timeout_ms, &timed_out] {
    if (WaitForSingleObject(returned, timeout_ms) == WAIT_OBJECT_0) return;
    timed_out = true;
    setup::SetupThread::PostTask(setup::SetupThread::UI, FROM_HERE,
                                 base::Closure([] { base::MessageLoop::current()->Quit(); }));
    if (WaitForSingleObject(returned, 10000) == WAIT_OBJECT_0) return;
    fprintf(stderr, "The UI thread is stuck in a task; ending the test process.\n");
    fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);
  });
  main_loop_->main_message_loop()->Run();
  SetEvent(returned);
  watchdog.join();
  CloseHandle(returned);
  return !timed_out;
}

std::vector<std::string> TaskLines(const std::vector<std::string>& lines) {
  static const char kPrefix[] = "run task name ";
  std::vector<std::string> out;
  for (const std::string& line : lines) {
    if (line.compare(0, sizeof(kPrefix) - 1, kPrefix) == 0) out.push_back(line);
  }
  return out;
}

bool WaitForLogLine(const LogCapture& capture, const std::string& line, DWORD timeout_ms) {
  const DWORD start = GetTickCount();
  for (;;) {
    std::vector<std::string> lines = capture.Lines();
    if (std::find(lines.begin(), lines.end(), line) != lines.end()) return true;
    if (GetTickCount() - start >= timeout_ms) return false;
    Sleep(10);
  }
}
