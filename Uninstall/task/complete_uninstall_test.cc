#include "Uninstall/task/complete_uninstall.h"

#include <windows.h>

#include <string>
#include <vector>

#include "TarnelSetup/task_context.h"
#include "TarnelSetup/task_dispatcher.h"
#include "TarnelSetup/task_xml_parser.h"
#include "gtest/gtest.h"
#include "tests/support/box_answerer.h"
#include "tests/support/log_capture.h"
#include "tests/support/setup_threads_for_test.h"

namespace {

typedef std::vector<std::string> Lines;

// The graph's own shape: CompleteUninstall on a thread of its own, then the
// exit task.
const char kGraph[] =
    "<?xml version=\"1.0\"?><Tasks start=\"CompleteUninstall\">"
    "<Task name=\"CompleteUninstall\" class=\"CompleteUninstall\">"
    "<RuntimeObject name=\"CompleteUninstall\"><Out object=\"ExitUninstall\"/></RuntimeObject>"
    "</Task><Task name=\"TaskExit\" class=\"TaskExit\"><RuntimeObject name=\"ExitUninstall\"/>"
    "</Task></Tasks>";

TEST(CompleteUninstallTest, ShowsTheSystemModalCompletionWithTheProductName) {
  LogCapture capture;
  ASSERT_TRUE(capture.ok());
  SetupThreadsForTest threads;
  ASSERT_TRUE(threads.ok());
  scoped_refptr<task_object::TaskContext> context(new task_object::TaskContext());
  ASSERT_TRUE(TaskXmlParser::ParseDocument(kGraph, sizeof(kGraph) - 1, context.get()));

  BoxAnswerer answerer;
  // "NorvaneKivo卸载" (NorvaneKivo uninstall), "NorvaneKivo已成功地从您的计算机移除。"
  // (NorvaneKivo has been removed from your computer successfully.)
  ASSERT_TRUE(answerer.Start(L"NorvaneKivo卸载", L"NorvaneKivo已成功地从您的计算机移除。", IDOK))
      << answerer.start_error();

  ASSERT_TRUE(task::TaskDispatcher::GetInstance()->InitWithContext(context.get()));
  EXPECT_TRUE(threads.RunUiLoop(30000)) << "the main loop did not return";
  EXPECT_TRUE(WaitForLogLine(capture, "run task name ExitUninstall end", 5000));
  threads.StopSubThreads();

  DWORD code = 0;
  EXPECT_TRUE(answerer.Finish(10000, &code)) << "answer_box exit code " << code << "\n"
                                             << answerer.RawReport();
  const std::vector<nlohmann::json> reports = answerer.Reports();
  ASSERT_EQ(1u, reports.size()) << answerer.RawReport();
  EXPECT_EQ(std::vector<int>({IDOK}), BoxAnswerer::ButtonIds(reports[0]));
  // MB_SYSTEMMODAL puts the box above every other window.
  EXPECT_TRUE(reports[0]["topmost"].get<bool>());
  EXPECT_EQ(GetCurrentProcessId(), reports[0]["pid"].get<DWORD>());

  EXPECT_EQ(Lines({"run task name CompleteUninstall start", "run task name CompleteUninstall end",
                   "run task name ExitUninstall start", "run task name ExitUninstall end"}),
            TaskLines(capture.Lines()));
}

}  // namespace
