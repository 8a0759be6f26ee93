#ifndef TESTS_SUPPORT_SETUP_THREADS_FOR_TEST_H_
#define TESTS_SUPPORT_SETUP_THREADS_FOR_TEST_H_

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "TarnelSetup/setup_main_loop.h"

class LogCapture;

// The three real setup threads for one test, as the main runner makes them:
// the calling thread becomes the UI thread (a Windows-message loop), File
// and Dispatch are started. The destructor stops Dispatch, then File, and
// destroys the UI loop.
class SetupThreadsForTest {
 public:
  SetupThreadsForTest();
  ~SetupThreadsForTest();

  // Whether both sub-threads started.
  bool ok() const { return ok_; }

  // Runs the UI loop until a task quits it (an exit task does) or
  // |timeout_ms| passes; true when it was quit in time. If the UI thread is
  // still stuck in a task (a message box nobody answers) ten seconds after
  // the time-out, the test process is ended with exit code 3.
  bool RunUiLoop(DWORD timeout_ms);

  // Stops Dispatch and File now (the destructor does it otherwise).
  void StopSubThreads();

 private:
  setup::SetupMainParams params_;
  std::unique_ptr<setup::SetupMainLoop> main_loop_;
  bool ok_ = false;

  SetupThreadsForTest(const SetupThreadsForTest&) = delete;
  SetupThreadsForTest& operator=(const SetupThreadsForTest&) = delete;
};

// The engine's task lines ("run task name ...") of |lines|, in order.
std::vector<std::string> TaskLines(const std::vector<std::string>& lines);

// Waits up to |timeout_ms| for |line| among |capture|'s lines (without their
// prefix). The end line of a graph's last task is written on the Dispatch
// thread after the exit task has asked the UI loop to quit, so a test waits
// for it before stopping the threads.
bool WaitForLogLine(const LogCapture& capture, const std::string& line, DWORD timeout_ms);

#endif  // TESTS_SUPPORT_SETUP_THREADS_FOR_TEST_H_
