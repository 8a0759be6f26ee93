// StartUninstall while another setup program of the product runs: a second
// process holds the single-instance mutex.
#include <windows.h>

#include <string>
#include <vector>

#include "TarnelSetup/setup_context.h"
#include "TarnelSetup/task_dispatcher.h"
#include "Uninstall/task/start_uninstall.h"
#include "gtest/gtest.h"
#include "tests/support/box_answerer.h"
#include "tests/support/child_process.h"
#include "tests/support/log_capture.h"
#include "tests/support/setup_threads_for_test.h"
#include "tests/support/test_paths.h"

namespace {

typedef std::vector<std::string> Lines;

bool WaitForFile(const std::wstring& path, DWORD timeout_ms) {
  const DWORD start = GetTickCount();
  while (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
    if (GetTickCount() - start >= timeout_ms) return false;
    Sleep(10);
  }
  return true;
}

TEST(StartUninstallBusyTest, AnotherSetupHoldingTheMutexGetsTheNoticeAndNoQuestion) {
  ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(test_paths::kProductExe))
      << "build kivo_uninstall first: its graph resource is what this test runs";
  HMODULE product = LoadLibraryExW(test_paths::kProductExe, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_TRUE(product) << "error " << GetLastError();

  const std::wstring ready = TempFilePath(L"hold_mutex_ready");
  ChildProcess other_setup;
  ASSERT_TRUE(other_setup.Start(
      std::wstring(test_paths::kToolsDir) + L"\\hold_mutex.exe",
      {L"--name", uninstall::StartUninstall::kInstanceMutexName, L"--ready", ready}))
      << other_setup.last_error();
  ASSERT_TRUE(WaitForFile(ready, 10000)) << "hold_mutex.exe did not come up";

  LogCapture capture;
  ASSERT_TRUE(capture.ok());
  SetupThreadsForTest threads;
  ASSERT_TRUE(threads.ok());
  BoxAnswerer answerer;
  // "提示" (Notice), "已有安装程序正在运行，请稍后卸载。" (A setup program is already
  // running; please uninstall later.)
  ASSERT_TRUE(answerer.Start(L"提示", L"已有安装程序正在运行，请稍后卸载。", IDOK))
      << answerer.start_error();

  ASSERT_TRUE(task::TaskDispatcher::GetInstance()->Init2(product, 4000, L"XML"));
  EXPECT_TRUE(threads.RunUiLoop(30000)) << "the main loop did not return";
  EXPECT_TRUE(WaitForLogLine(capture, "run task name ExitUninstall_ResultCancel end", 5000));
  threads.StopSubThreads();

  DWORD code = 0;
  EXPECT_TRUE(answerer.Finish(10000, &code)) << "answer_box exit code " << code << "\n"
                                             << answerer.RawReport();
  const std::vector<nlohmann::json> reports = answerer.Reports();
  ASSERT_EQ(1u, reports.size()) << answerer.RawReport();
  EXPECT_EQ(std::vector<int>({IDOK}), BoxAnswerer::ButtonIds(reports[0]));

  EXPECT_EQ(Lines({"run task name StartUninstall start", "run task name StartUninstall end",
                   "run task name ExitUninstall_ResultCancel start",
                   "run task name ExitUninstall_ResultCancel end"}),
            TaskLines(capture.Lines()));
  std::string result;
  EXPECT_TRUE(SetupContext::GetInstance()->GetString("CheckResult", &result));
  EXPECT_EQ("ResultCancel", result);

  other_setup.Terminate();
  DeleteFileW(ready.c_str());
  FreeLibrary(product);
}

}  // namespace
