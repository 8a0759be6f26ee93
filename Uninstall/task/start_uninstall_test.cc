// The embedded task graph, loaded from the built product's resource, run
// for real on the setup threads of this test process; the question is
// answered by a separate program, as a user would.
#include "Uninstall/task/start_uninstall.h"

#include <windows.h>

#include <string>
#include <vector>

#include "TarnelSetup/setup_context.h"
#include "TarnelSetup/task_dispatcher.h"
#include "gtest/gtest.h"
#include "tests/support/box_answerer.h"
#include "tests/support/log_capture.h"
#include "tests/support/setup_threads_for_test.h"
#include "tests/support/test_paths.h"

namespace {

typedef std::vector<std::string> Lines;

const int kIdNo = 7;

// Runs in its own test program: the mutex that StartUninstall creates stays
// with the process, so a second run here would find it.
TEST(StartUninstallTest, AnsweringNoEndsTheRunThroughTheCancelExit) {
  ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(test_paths::kProductExe))
      << "build kivo_uninstall first: its graph resource is what this test runs";
  HMODULE product = LoadLibraryExW(test_paths::kProductExe, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_TRUE(product) << "error " << GetLastError();

  LogCapture capture;
  ASSERT_TRUE(capture.ok());
  SetupThreadsForTest threads;
  ASSERT_TRUE(threads.ok());
  BoxAnswerer answerer;
  // "提示" (Notice), "您确定要卸载此产品吗？" (Are you sure you want to uninstall this product?)
  ASSERT_TRUE(answerer.Start(L"提示", L"您确定要卸载此产品吗？", kIdNo)) << answerer.start_error();

  ASSERT_TRUE(task::TaskDispatcher::GetInstance()->Init2(product, 4000, L"XML"));
  EXPECT_TRUE(threads.RunUiLoop(30000)) << "the main loop did not return";
  EXPECT_TRUE(WaitForLogLine(capture, "run task name ExitUninstall_ResultCancel end", 5000));
  threads.StopSubThreads();

  DWORD code = 0;
  EXPECT_TRUE(answerer.Finish(10000, &code)) << "answer_box exit code " << code << "\n"
                                             << answerer.RawReport();
  const std::vector<nlohmann::json> reports = answerer.Reports();
  ASSERT_EQ(1u, reports.size()) << answerer.RawReport();
  EXPECT_EQ(std::vector<int>({IDYES, IDNO}), BoxAnswerer::ButtonIds(reports[0]));
  EXPECT_EQ(GetCurrentProcessId(), reports[0]["pid"].get<DWORD>());

  EXPECT_EQ(Lines({"run task name StartUninstall start", "run task name StartUninstall end",
                   "run task name ExitUninstall_ResultCancel start",
                   "run task name ExitUninstall_ResultCancel end"}),
            TaskLines(capture.Lines()));
  std::string result;
  EXPECT_TRUE(SetupContext::GetInstance()->GetString("CheckResult", &result));
  EXPECT_EQ("ResultCancel", result);
  FreeLibrary(product);
}

}  // namespace
