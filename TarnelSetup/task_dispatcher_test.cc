#include "TarnelSetup/task_dispatcher.h"

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "TarnelSetup/task_context.h"
#include "TarnelSetup/task_xml_parser.h"
#include "base/at_exit.h"
#include "base/logging.h"
#include "gtest/gtest.h"
#include "tests/support/log_capture.h"
#include "tests/support/setup_threads_for_test.h"

namespace {

typedef std::vector<std::string> Lines;

const char kExitOnlyGraph[] =
    "<?xml version=\"1.0\"?><Tasks start=\"Exit\"><Task name=\"E\" class=\"TaskExit\">"
    "<RuntimeObject name=\"Exit\"/></Task></Tasks>";

bool Contains(const Lines& lines, const std::string& line) {
  for (const std::string& l : lines) {
    if (l == line) return true;
  }
  return false;
}

TEST(TaskDispatcherTest, CreatedOnceWhenManyThreadsAskAtTheSameTime) {
  // A manager of the test's own, so that the dispatcher is made afresh here
  // and destroyed again at the end.
  base::AtExitManager at_exit;
  std::atomic<bool> go{false};
  std::vector<task::TaskDispatcher*> seen(8, nullptr);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < seen.size(); ++i) {
    threads.emplace_back([&go, &seen, i] {
      while (!go) Sleep(0);
      seen[i] = task::TaskDispatcher::GetInstance();
    });
  }
  go = true;
  for (std::thread& thread : threads) thread.join();
  for (task::TaskDispatcher* dispatcher : seen) EXPECT_EQ(seen[0], dispatcher);
  EXPECT_NE(nullptr, seen[0]);
  EXPECT_EQ(seen[0], task::TaskDispatcher::GetInstance());
}

TEST(TaskDispatcherTest, MissingGraphResourceFailsAndStartsNothing) {
  LogCapture capture;
  ASSERT_TRUE(capture.ok());
  logging::SetDebugChecksEnabled(true);
  SetupThreadsForTest threads;
  ASSERT_TRUE(threads.ok());
  // The test program carries no resources at all.
  EXPECT_FALSE(task::TaskDispatcher::GetInstance()->Init2(GetModuleHandleW(nullptr), 4000, L"XML"));
  // Anything posted to Dispatch would run before a task posted after it.
  threads.StopSubThreads();
  logging::SetDebugChecksEnabled(false);

  const Lines lines = capture.Lines();
  // "4000: 资源获取失败" (resource retrieval failed), code page 936.
  EXPECT_TRUE(Contains(lines, "4000: \xd7\xca\xd4\xb4\xbb\xf1\xc8\xa1\xca\xa7\xb0\xdc"));
  EXPECT_TRUE(Contains(lines, "Check failed: false. "));
  EXPECT_EQ(Lines(), TaskLines(lines));
}

TEST(TaskDispatcherTest, GraphThatCannotBeStartedIsReportedAsFailure) {
  LogCapture capture;
  ASSERT_TRUE(capture.ok());
  scoped_refptr<task_object::TaskContext> context(new task_object::TaskContext());
  ASSERT_TRUE(
      TaskXmlParser::ParseDocument(kExitOnlyGraph, sizeof(kExitOnlyGraph) - 1, context.get()));
  // No setup threads: nobody would ever run the graph.
  EXPECT_FALSE(task::TaskDispatcher::GetInstance()->InitWithContext(context.get()));
  EXPECT_TRUE(Contains(capture.Lines(),
                       "The task graph cannot be started: the Dispatch thread does not run"));
}

TEST(TaskDispatcherTest, EngineWorkOffTheDispatcherThreadIsReported) {
  LogCapture capture;
  ASSERT_TRUE(capture.ok());
  logging::SetDebugChecksEnabled(true);
  {
    SetupThreadsForTest threads;
    ASSERT_TRUE(threads.ok());
    scoped_refptr<task_object::TaskContext> context(new task_object::TaskContext());
    ASSERT_TRUE(
        TaskXmlParser::ParseDocument(kExitOnlyGraph, sizeof(kExitOnlyGraph) - 1, context.get()));
    // The start rebinds the checker to the Dispatch thread.
    ASSERT_TRUE(task::TaskDispatcher::GetInstance()->InitWithContext(context.get()));
    ASSERT_TRUE(threads.RunUiLoop(20000));
    EXPECT_TRUE(WaitForLogLine(capture, "run task name Exit end", 5000));
    threads.StopSubThreads();
    EXPECT_FALSE(
        Contains(capture.Lines(), "Check failed: thread_checker_.CalledOnValidThread(). "));
  }
  // This thread is not the dispatcher's any more.
  task::TaskDispatcher::GetInstance()->CheckCalledOnValidThread();
  logging::SetDebugChecksEnabled(false);
  EXPECT_TRUE(Contains(capture.Lines(), "Check failed: thread_checker_.CalledOnValidThread(). "));
}

}  // namespace
