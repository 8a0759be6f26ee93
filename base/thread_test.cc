#include "base/thread.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "base/message_loop.h"
#include "base/platform_thread.h"
#include "base/time_ticks.h"
#include "tests/support/message_loop_test_util.h"

namespace base {
namespace {

using loop_test::EventLog;
using loop_test::Watchdog;
using loop_test::WitnessedTask;

// Records what the thread's hooks saw.
class ObservedThread : public Thread {
 public:
  explicit ObservedThread(const std::string& name, EventLog* log) : Thread(name), log_(log) {}
  ~ObservedThread() override { Stop(); }

  std::atomic<bool> init_ran{false};
  std::atomic<bool> loop_current_in_init{false};
  std::atomic<bool> loop_current_in_after_loop{false};
  std::atomic<DWORD> init_thread{0};

 protected:
  void Init() override {
    Sleep(50);  // Start must still wait for this
    init_thread = GetCurrentThreadId();
    loop_current_in_init =
        MessageLoop::current() != nullptr && MessageLoop::current() == message_loop();
    init_ran = true;
  }
  void AfterLoop() override {
    loop_current_in_after_loop = MessageLoop::current() != nullptr;
    log_->Add("after loop");
  }

 private:
  EventLog* log_;
};

TEST(ThreadTest, StartReturnsOnceTheLoopExistsAndInitHasRun) {
  Watchdog watchdog(30, "thread start");
  EventLog log;
  ObservedThread thread("Worker_Start", &log);
  EXPECT_EQ(nullptr, thread.message_loop());
  EXPECT_EQ(0u, thread.thread_id());
  ASSERT_TRUE(thread.Start());
  EXPECT_TRUE(thread.init_ran.load());
  EXPECT_TRUE(thread.loop_current_in_init.load());
  ASSERT_NE(nullptr, thread.message_loop());
  EXPECT_TRUE(thread.IsRunning());
  EXPECT_EQ(thread.init_thread.load(), thread.thread_id());
  EXPECT_NE(GetCurrentThreadId(), thread.thread_id());
  EXPECT_EQ("Worker_Start", thread.message_loop()->thread_name());
  EXPECT_EQ(MessageLoop::TYPE_DEFAULT, thread.message_loop()->type());

  thread.Stop();
  EXPECT_EQ(nullptr, thread.message_loop());
  EXPECT_EQ(0u, thread.thread_id());
  EXPECT_TRUE(thread.loop_current_in_after_loop.load());
  EXPECT_FALSE(thread.IsRunning());
}

TEST(ThreadTest, TheOsThreadCarriesTheName) {
  Thread thread("Worker_Named");
  ASSERT_TRUE(thread.Start());
  std::atomic<bool> done{false};
  std::wstring name;
  thread.message_loop_proxy()->PostTask(FROM_HERE, Closure([&] {
                                          name = PlatformThread::GetName();
                                          done = true;
                                        }));
  ASSERT_TRUE(loop_test::WaitUntil([&] { return done.load(); }));
  thread.Stop();
  if (!GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetThreadDescription"))
    GTEST_SKIP() << "this system has no thread descriptions";
  EXPECT_EQ(L"Worker_Named", name);
}

TEST(ThreadTest, UiSettingsGiveAWindowMessageLoop) {
  Thread thread("Worker_Ui");
  ThreadSettings settings;
  settings.message_loop_type = MessageLoop::TYPE_UI;
  ASSERT_TRUE(thread.StartWithSettings(settings));
  EXPECT_EQ(MessageLoop::TYPE_UI, thread.message_loop()->type());
}

TEST(ThreadTest, StopRunsQueuedTasksFirstAndDropsDelayedOnes) {
  Watchdog watchdog(30, "thread stop");
  EventLog log;
  std::atomic<bool> delayed_destroyed{false};
  std::atomic<bool> unused{false};
  ObservedThread thread("Worker_Stop", &log);
  ASSERT_TRUE(thread.Start());
  scoped_refptr<MessageLoopProxy> proxy = thread.message_loop_proxy();
  ASSERT_TRUE(proxy->PostTaskWithDelay(
      FROM_HERE, WitnessedTask(&log, "ten seconds", &delayed_destroyed), int64_t{10000}));
  // Slow tasks, so that the stop request is queued behind them.
  for (int i = 0; i < 5; ++i) {
    ASSERT_TRUE(proxy->PostTask(FROM_HERE, Closure([&log, i] {
                                  Sleep(20);
                                  log.Add("task " + std::to_string(i));
                                })));
  }
  const int64_t start = TimeTicks::NowInMicroseconds();
  thread.Stop();
  const int64_t took_us = TimeTicks::NowInMicroseconds() - start;
  EXPECT_EQ(
      (std::vector<std::string>{"task 0", "task 1", "task 2", "task 3", "task 4", "after loop"}),
      log.events());
  EXPECT_TRUE(delayed_destroyed.load());
  EXPECT_LT(took_us, 5000000) << "Stop waited for the delayed task";
  // The proxy outlives the loop harmlessly.
  std::atomic<bool> late_destroyed{false};
  EXPECT_FALSE(proxy->PostTask(FROM_HERE, WitnessedTask(&log, "late", &late_destroyed)));
  EXPECT_TRUE(late_destroyed.load());
}

TEST(ThreadTest, StopWithoutStartAndRepeatedStopAreHarmless) {
  Thread never("Worker_Never");
  never.Stop();
  never.StopSoon();
  EXPECT_EQ(nullptr, never.message_loop_proxy().get());

  Thread twice("Worker_Twice");
  ASSERT_TRUE(twice.Start());
  twice.Stop();
  twice.Stop();
  EXPECT_EQ(nullptr, twice.message_loop());
}

TEST(ThreadTest, StopSoonReturnsAtOnceAndStopThenJoins) {
  Watchdog watchdog(30, "stop soon");
  EventLog log;
  ObservedThread thread("Worker_Soon", &log);
  ASSERT_TRUE(thread.Start());
  HANDLE gate = CreateEventW(NULL, TRUE, FALSE, NULL);
  thread.message_loop_proxy()->PostTask(FROM_HERE, Closure([&log, gate] {
                                          WaitForSingleObject(gate, 10000);
                                          log.Add("gated task");
                                        }));
  thread.StopSoon();
  EXPECT_TRUE(thread.IsRunning()) << "StopSoon must not wait";
  SetEvent(gate);
  thread.Stop();
  CloseHandle(gate);
  EXPECT_EQ((std::vector<std::string>{"gated task", "after loop"}), log.events());
}

TEST(ThreadTest, StopCopesWithALoopThatEndedOnItsOwn) {
  // A WM_QUIT ends a UI thread's loop without Stop; Stop must still return.
  Watchdog watchdog(30, "stop after WM_QUIT");
  EventLog log;
  ObservedThread thread("Worker_Quit", &log);
  ThreadSettings settings;
  settings.message_loop_type = MessageLoop::TYPE_UI;
  ASSERT_TRUE(thread.StartWithSettings(settings));
  ASSERT_TRUE(PostThreadMessageW(thread.thread_id(), WM_QUIT, 0, 0));
  ASSERT_TRUE(loop_test::WaitUntil([&] { return !thread.IsRunning(); }));
  thread.Stop();
  EXPECT_EQ((std::vector<std::string>{"after loop"}), log.events());
}

TEST(ThreadTest, DeletingARunningThreadStopsIt) {
  Watchdog watchdog(30, "delete running thread");
  EventLog log;
  {
    ObservedThread thread("Worker_Delete", &log);
    ASSERT_TRUE(thread.Start());
    thread.message_loop_proxy()->PostTask(FROM_HERE, Closure([&log] {
                                            Sleep(30);
                                            log.Add("task");
                                          }));
  }
  EXPECT_EQ((std::vector<std::string>{"task", "after loop"}), log.events());
}

}  // namespace
}  // namespace base
