#include "TarnelSetup/setup_main_loop.h"

#include <windows.h>

#include <gtest/gtest.h>
#include <objbase.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "TarnelSetup/setup_thread.h"
#include "TarnelSetup/setup_thread_message_loop_proxy.h"
#include "base/message_loop.h"
#include "base/platform_thread.h"
#include "base/thread.h"
#include "base/time_delta.h"
#include "base/utf_string_conversions.h"
#include "tests/support/message_loop_test_util.h"

namespace setup {
namespace {

using base::Closure;
using base::MessageLoop;
using base::TimeDelta;
using loop_test::EventLog;
using loop_test::Watchdog;
using loop_test::WitnessedTask;

// Runs |fn| on setup thread |identifier| and waits for it.
template <typename Fn>
bool RunOn(int identifier, Fn fn) {
  HANDLE done = CreateEventW(NULL, TRUE, FALSE, NULL);
  const bool posted = SetupThread::PostTask(identifier, FROM_HERE, Closure([fn, done] {
                                              fn();
                                              SetEvent(done);
                                            }));
  const bool ran = posted && WaitForSingleObject(done, 10000) == WAIT_OBJECT_0;
  CloseHandle(done);
  return ran;
}

// The test's own thread plays the process's first thread.
class SetupMainLoopTest : public testing::Test {
 protected:
  void SetUp() override {
    main_loop_.reset(new SetupMainLoop(params_));
    main_loop_->InitMainThread();
  }
  void TearDown() override { main_loop_.reset(); }

  SetupMainParams params_;
  std::unique_ptr<SetupMainLoop> main_loop_;
};

TEST_F(SetupMainLoopTest, MainThreadBecomesTheUiSetupThread) {
  EXPECT_EQ(main_loop_.get(), g_current_setup_main_loop);
  MessageLoop* loop = MessageLoop::current();
  ASSERT_NE(nullptr, loop);
  EXPECT_EQ(loop, main_loop_->main_message_loop());
  EXPECT_EQ(MessageLoop::TYPE_UI, loop->type());
  EXPECT_EQ("Setup_Main", loop->thread_name());
  int id = -1;
  ASSERT_TRUE(SetupThread::GetCurrentId(&id));
  EXPECT_EQ(SetupThread::UI, id);
  if (GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetThreadDescription")) {
    EXPECT_EQ(L"Setup_Main", base::PlatformThread::GetName());
  }

  main_loop_.reset();
  EXPECT_EQ(nullptr, g_current_setup_main_loop);
  EXPECT_EQ(nullptr, MessageLoop::current());
  EXPECT_FALSE(SetupThread::GetCurrentId(&id));
}

TEST_F(SetupMainLoopTest, PostingBeforeTheSubThreadsStartFails) {
  EventLog log;
  for (int identifier : {SetupThread::FILE, SetupThread::DISPATCH}) {
    SCOPED_TRACE(identifier);
    std::atomic<bool> destroyed{false};
    EXPECT_FALSE(
        SetupThread::PostTask(identifier, FROM_HERE, WitnessedTask(&log, "early", &destroyed)));
    EXPECT_TRUE(destroyed.load());
  }
  EXPECT_TRUE(log.events().empty());
}

struct SubThreadCase {
  const char* label;
  int identifier;
  const char* name;
  MessageLoop::Type type;
};

class SetupSubThreadTest : public SetupMainLoopTest,
                           public testing::WithParamInterface<SubThreadCase> {};

INSTANTIATE_TEST_SUITE_P(
    Threads, SetupSubThreadTest,
    testing::Values(SubThreadCase{"File", SetupThread::FILE, "Setup_FileThread",
                                  MessageLoop::TYPE_UI},
                    SubThreadCase{"Dispatch", SetupThread::DISPATCH, "Setup_DispatchThread",
                                  MessageLoop::TYPE_DEFAULT}),
    [](const testing::TestParamInfo<SubThreadCase>& info) { return info.param.label; });

TEST_P(SetupSubThreadTest, SubThreadHasItsNameLoopTypeIdentifierAndApartment) {
  Watchdog watchdog(30, "sub thread properties");
  const SubThreadCase& c = GetParam();
  ASSERT_TRUE(main_loop_->StartSubThreads());
  int id = -1;
  std::string loop_name;
  std::wstring os_name;
  MessageLoop::Type type = MessageLoop::TYPE_IO;
  HRESULT com = E_FAIL;
  DWORD thread = 0;
  ASSERT_TRUE(RunOn(c.identifier, [&] {
    if (!SetupThread::GetCurrentId(&id)) id = -2;
    loop_name = MessageLoop::current()->thread_name();
    os_name = base::PlatformThread::GetName();
    type = MessageLoop::current()->type();
    // Already a single-threaded apartment: a second join says S_FALSE.
    com = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
    if (SUCCEEDED(com)) CoUninitialize();
    thread = GetCurrentThreadId();
  }));
  EXPECT_EQ(c.identifier, id);
  EXPECT_EQ(c.name, loop_name);
  if (GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetThreadDescription")) {
    EXPECT_EQ(base::UTF8ToWide(c.name), os_name);
  }
  EXPECT_EQ(c.type, type);
  EXPECT_EQ(S_FALSE, com);
  EXPECT_NE(GetCurrentThreadId(), thread);
}

TEST_P(SetupSubThreadTest, ProxyBelongsOnlyToItsOwnThreadAndOnlyWhileItRuns) {
  Watchdog watchdog(30, "belongs to current thread");
  const int target = GetParam().identifier;
  ASSERT_TRUE(main_loop_->StartSubThreads());
  scoped_refptr<base::MessageLoopProxy> proxy = new SetupThreadMessageLoopProxy(target);
  EXPECT_FALSE(proxy->BelongsToCurrentThread()) << "on the UI thread";
  for (int on : {SetupThread::FILE, SetupThread::DISPATCH}) {
    SCOPED_TRACE(on);
    bool belongs = false;
    ASSERT_TRUE(RunOn(on, [&] { belongs = proxy->BelongsToCurrentThread(); }));
    EXPECT_EQ(on == target, belongs);
  }
  bool on_private_thread = true;
  std::thread([&] { on_private_thread = proxy->BelongsToCurrentThread(); }).join();
  EXPECT_FALSE(on_private_thread);

  main_loop_->StopSubThreads();
  EXPECT_FALSE(proxy->BelongsToCurrentThread());
  EventLog log;
  std::atomic<bool> destroyed{false};
  EXPECT_FALSE(proxy->PostTask(FROM_HERE, WitnessedTask(&log, "late", &destroyed)));
  EXPECT_TRUE(destroyed.load());
}

TEST_F(SetupMainLoopTest, UiProxyBelongsToTheMainThread) {
  scoped_refptr<base::MessageLoopProxy> proxy = new SetupThreadMessageLoopProxy(SetupThread::UI);
  EXPECT_TRUE(proxy->BelongsToCurrentThread());
  bool elsewhere = true;
  std::thread([&] { elsewhere = proxy->BelongsToCurrentThread(); }).join();
  EXPECT_FALSE(elsewhere);
}

TEST_F(SetupMainLoopTest, StopDrainsDispatchThenFile) {
  Watchdog watchdog(30, "stop order");
  ASSERT_TRUE(main_loop_->StartSubThreads());
  EventLog log;
  std::atomic<bool> file_delayed_destroyed{false};
  std::atomic<bool> dispatch_delayed_destroyed{false};
  std::atomic<bool> reached_file{false};
  ASSERT_TRUE(SetupThread::PostToThread(
      SetupThread::FILE, FROM_HERE, WitnessedTask(&log, "file delayed", &file_delayed_destroyed),
      TimeDelta::FromMilliseconds(10000), true));
  ASSERT_TRUE(SetupThread::PostToThread(
      SetupThread::DISPATCH, FROM_HERE,
      WitnessedTask(&log, "dispatch delayed", &dispatch_delayed_destroyed),
      TimeDelta::FromMilliseconds(10000), true));
  // Still queued on Dispatch when the stop begins; it can still reach File
  // because File is stopped only after Dispatch has ended.
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(SetupThread::PostTask(SetupThread::DISPATCH, FROM_HERE, Closure([&log, i] {
                                        Sleep(30);
                                        log.Add("dispatch " + std::to_string(i));
                                      })));
  }
  ASSERT_TRUE(SetupThread::PostTask(SetupThread::DISPATCH, FROM_HERE, Closure([&] {
                                      reached_file = SetupThread::PostTask(
                                          SetupThread::FILE, FROM_HERE,
                                          Closure([&log] { log.Add("file from dispatch"); }));
                                    })));
  ASSERT_TRUE(SetupThread::PostTask(SetupThread::FILE, FROM_HERE,
                                    Closure([&log] { log.Add("file queued"); })));

  const ULONGLONG start = GetTickCount64();
  main_loop_->StopSubThreads();
  const ULONGLONG took_ms = GetTickCount64() - start;

  EXPECT_TRUE(reached_file.load());
  std::vector<std::string> events = log.events();
  std::vector<std::string> dispatch_events, file_events;
  for (const std::string& e : events)
    (e.compare(0, 4, "file") == 0 ? file_events : dispatch_events).push_back(e);
  EXPECT_EQ((std::vector<std::string>{"dispatch 0", "dispatch 1", "dispatch 2"}), dispatch_events);
  EXPECT_EQ((std::vector<std::string>{"file queued", "file from dispatch"}), file_events);
  EXPECT_TRUE(file_delayed_destroyed.load());
  EXPECT_TRUE(dispatch_delayed_destroyed.load());
  EXPECT_LT(took_ms, 5000u);

  for (int identifier : {SetupThread::FILE, SetupThread::DISPATCH}) {
    SCOPED_TRACE(identifier);
    std::atomic<bool> destroyed{false};
    EXPECT_FALSE(SetupThread::PostTask(identifier, FROM_HERE,
                                       WitnessedTask(&log, "after stop", &destroyed)));
    EXPECT_TRUE(destroyed.load());
  }
}

TEST_F(SetupMainLoopTest, UiPostsSucceedUntilTheMainLoopGoesAndAreThenDroppedUnrun) {
  ASSERT_TRUE(main_loop_->StartSubThreads());
  main_loop_->StopSubThreads();
  EventLog log;
  std::atomic<bool> destroyed{false};
  EXPECT_TRUE(SetupThread::PostTask(SetupThread::UI, FROM_HERE,
                                    WitnessedTask(&log, "never run", &destroyed)));
  EXPECT_FALSE(destroyed.load());
  main_loop_.reset();
  EXPECT_TRUE(destroyed.load());
  EXPECT_TRUE(log.events().empty());
  std::atomic<bool> late{false};
  EXPECT_FALSE(
      SetupThread::PostTask(SetupThread::UI, FROM_HERE, WitnessedTask(&log, "after", &late)));
}

// The engine's pattern: from Dispatch, run work on File and get the reply
// back on Dispatch; then quit the UI loop.
TEST_F(SetupMainLoopTest, TaskAndReplyThroughASetupThreadProxy) {
  Watchdog watchdog(30, "task and reply");
  ASSERT_TRUE(main_loop_->StartSubThreads());
  std::atomic<int> task_on{-1};
  std::atomic<int> reply_on{-1};
  EventLog log;
  ASSERT_TRUE(SetupThread::PostTask(SetupThread::DISPATCH, FROM_HERE, Closure([&] {
                                      scoped_refptr<base::MessageLoopProxy> file =
                                          new SetupThreadMessageLoopProxy(SetupThread::FILE);
                                      const bool posted = file->PostTaskAndReply(
                                          FROM_HERE, Closure([&] {
                                            int id = -1;
                                            SetupThread::GetCurrentId(&id);
                                            task_on = id;
                                            log.Add("task");
                                          }),
                                          Closure([&] {
                                            int id = -1;
                                            SetupThread::GetCurrentId(&id);
                                            reply_on = id;
                                            log.Add("reply");
                                            SetupThread::PostTask(
                                                SetupThread::UI, FROM_HERE,
                                                Closure([] { MessageLoop::current()->Quit(); }));
                                          }));
                                      if (!posted) log.Add("post failed");
                                    })));
  MessageLoop::current()->Run();
  EXPECT_EQ((std::vector<std::string>{"task", "reply"}), log.events());
  EXPECT_EQ(SetupThread::FILE, task_on.load());
  EXPECT_EQ(SetupThread::DISPATCH, reply_on.load());
}

struct RoundingCase {
  const char* name;
  int64_t delay_us;
  bool delayed_runs_first;
};

class SetupThreadDelayTest : public SetupMainLoopTest,
                             public testing::WithParamInterface<RoundingCase> {};

INSTANTIATE_TEST_SUITE_P(
    Rounding, SetupThreadDelayTest,
    testing::Values(RoundingCase{"ZeroStaysImmediate", 0, true},
                    RoundingCase{"NegativeIsImmediate", -5, true},
                    RoundingCase{"MinusOneMillisecondIsImmediate", -1000, true},
                    RoundingCase{"OneMicrosecondIsOneMillisecond", 1, false},
                    RoundingCase{"JustUnderAMillisecond", 999, false},
                    RoundingCase{"OneMillisecond", 1000, false}),
    [](const testing::TestParamInfo<RoundingCase>& info) { return info.param.name; });

// From the File thread itself, so both posts meet the loop in one batch:
// a delay that rounds to 0 runs first, one that rounds up runs after the
// plain post.
TEST_P(SetupThreadDelayTest, MicrosecondDelaysRoundUpToWholeMilliseconds) {
  Watchdog watchdog(30, "rounding");
  const RoundingCase& c = GetParam();
  ASSERT_TRUE(main_loop_->StartSubThreads());
  EventLog log;
  HANDLE both = CreateEventW(NULL, TRUE, FALSE, NULL);
  auto note = [&log, both](const char* what) {
    return Closure([&log, both, what] {
      log.Add(what);
      if (log.size() == 2) SetEvent(both);
    });
  };
  ASSERT_TRUE(SetupThread::PostTask(
      SetupThread::FILE, FROM_HERE, Closure([&] {
        SetupThread::PostToThread(SetupThread::FILE, FROM_HERE, note("delayed"),
                                  TimeDelta::FromMicroseconds(c.delay_us), true);
        SetupThread::PostTask(SetupThread::FILE, FROM_HERE, note("plain"));
      })));
  EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(both, 10000));
  CloseHandle(both);
  std::vector<std::string> events = log.events();
  ASSERT_EQ(2u, events.size());
  EXPECT_EQ(c.delayed_runs_first ? "delayed" : "plain", events[0]);
}

TEST_F(SetupMainLoopTest, ThreadsOutsideTheTableHaveNoIdentifier) {
  ASSERT_TRUE(main_loop_->StartSubThreads());
  int id = 42;
  bool plain_thread = true;
  std::thread([&] { plain_thread = SetupThread::GetCurrentId(&id); }).join();
  EXPECT_FALSE(plain_thread);

  // A private task thread has a loop but is no setup thread; it can post to
  // setup threads all the same.
  base::Thread worker("Thread_Private");
  ASSERT_TRUE(worker.Start());
  HANDLE done = CreateEventW(NULL, TRUE, FALSE, NULL);
  bool private_thread = true;
  bool posted_to_file = false;
  worker.message_loop_proxy()->PostTask(FROM_HERE, Closure([&] {
                                          private_thread = SetupThread::GetCurrentId(&id);
                                          posted_to_file = SetupThread::PostTask(
                                              SetupThread::FILE, FROM_HERE,
                                              Closure([done] { SetEvent(done); }));
                                        }));
  EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(done, 10000));
  CloseHandle(done);
  worker.Stop();
  EXPECT_FALSE(private_thread);
  EXPECT_TRUE(posted_to_file);
  EXPECT_EQ(42, id);
}

TEST(SetupThreadTest, OutOfRangeIdentifiersAreRefused) {
  EventLog log;
  for (int identifier : {-1, static_cast<int>(SetupThread::ID_COUNT), 100}) {
    SCOPED_TRACE(identifier);
    std::atomic<bool> destroyed{false};
    EXPECT_FALSE(
        SetupThread::PostTask(identifier, FROM_HERE, WitnessedTask(&log, "bad", &destroyed)));
    EXPECT_TRUE(destroyed.load());
    scoped_refptr<base::MessageLoopProxy> proxy = new SetupThreadMessageLoopProxy(identifier);
    EXPECT_FALSE(proxy->BelongsToCurrentThread());
  }
}

}  // namespace
}  // namespace setup
