#include "base/message_loop.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/message_loop_proxy.h"
#include "base/queued_task.h"
#include "base/time_delta.h"
#include "base/time_ticks.h"
#include "base/ui_message_pump.h"
#include "tests/support/message_loop_test_util.h"

namespace base {
namespace {

using loop_test::EventLog;
using loop_test::Watchdog;
using loop_test::WitnessedTask;

Closure QuitCurrent() {
  return Closure([] { MessageLoop::current()->Quit(); });
}

// WM_APP messages handled by the test windows.
std::atomic<int> g_app_messages{0};

LRESULT CALLBACK CountingWndProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_APP) {
    ++g_app_messages;
    return 0;
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

std::string TypeName(const testing::TestParamInfo<MessageLoop::Type>& info) {
  return info.param == MessageLoop::TYPE_UI ? "Ui" : "Default";
}

// Both kinds of loop must honour the same ordering and quitting rules.
class MessageLoopTypeTest : public testing::TestWithParam<MessageLoop::Type> {};

INSTANTIATE_TEST_SUITE_P(Types, MessageLoopTypeTest,
                         testing::Values(MessageLoop::TYPE_DEFAULT, MessageLoop::TYPE_UI),
                         TypeName);

TEST_P(MessageLoopTypeTest, TasksFromAnotherThreadRunInPostingOrderOnTheLoopThread) {
  Watchdog watchdog(60, "ordering from one thread");
  MessageLoop loop(GetParam());
  const DWORD loop_thread = GetCurrentThreadId();
  const int kCount = 2000;
  std::vector<int> order;
  std::atomic<int> wrong_thread{0};
  // Posts while the loop runs, with pauses, so that the loop keeps going to
  // sleep and must be woken again.
  std::thread poster([&] {
    for (int i = 0; i < kCount; ++i) {
      loop.PostTask(FROM_HERE, Closure([&, i] {
                      if (GetCurrentThreadId() != loop_thread) ++wrong_thread;
                      order.push_back(i);
                    }));
      if (i % 100 == 0) Sleep(1);
    }
    loop.PostTask(FROM_HERE, QuitCurrent());
  });
  loop.Run();
  poster.join();
  ASSERT_EQ(kCount, static_cast<int>(order.size()));
  for (int i = 0; i < kCount; ++i) ASSERT_EQ(i, order[i]) << "position " << i;
  EXPECT_EQ(0, wrong_thread.load());
}

TEST_P(MessageLoopTypeTest, TasksFromTwoThreadsRunInTheOrderTheyWereQueued) {
  Watchdog watchdog(60, "ordering from two threads");
  MessageLoop loop(GetParam());
  const int kPerThread = 1000;
  // A ticket taken under the same lock as the post gives the queueing order.
  std::mutex post_lock;
  int next_ticket = 0;
  std::vector<int> run_tickets;
  std::vector<std::pair<int, int>> run_items;  // (poster, index)
  std::atomic<int> finished{0};
  auto poster = [&](int who) {
    for (int i = 0; i < kPerThread; ++i) {
      std::lock_guard<std::mutex> lock(post_lock);
      const int ticket = next_ticket++;
      loop.PostTask(FROM_HERE, Closure([&, ticket, who, i] {
                      run_tickets.push_back(ticket);
                      run_items.push_back(std::make_pair(who, i));
                    }));
    }
    if (++finished == 2) loop.PostTask(FROM_HERE, QuitCurrent());
  };
  std::thread a(poster, 0);
  std::thread b(poster, 1);
  loop.Run();
  a.join();
  b.join();
  ASSERT_EQ(2 * kPerThread, static_cast<int>(run_tickets.size()));
  for (int i = 0; i < 2 * kPerThread; ++i) ASSERT_EQ(i, run_tickets[i]) << "position " << i;
  int seen[2] = {0, 0};
  for (const auto& item : run_items) ASSERT_EQ(seen[item.first]++, item.second);
}

struct DelayCase {
  const char* name;
  int64_t delay_ms;
  bool delayed_runs_first;  // the delayed post, made first, runs before a plain post
};

class MessageLoopDelayTest
    : public testing::TestWithParam<std::tuple<MessageLoop::Type, DelayCase>> {};

INSTANTIATE_TEST_SUITE_P(
    Delays, MessageLoopDelayTest,
    testing::Combine(testing::Values(MessageLoop::TYPE_DEFAULT, MessageLoop::TYPE_UI),
                     testing::Values(DelayCase{"Zero", 0, true}, DelayCase{"MinusOne", -1, true},
                                     DelayCase{"MinusLarge", -100000, true},
                                     DelayCase{"One", 1, false}, DelayCase{"Thirty", 30, false})),
    [](const testing::TestParamInfo<std::tuple<MessageLoop::Type, DelayCase>>& info) {
      return std::string(std::get<0>(info.param) == MessageLoop::TYPE_UI ? "Ui" : "Default") +
             std::get<1>(info.param).name;
    });

TEST_P(MessageLoopDelayTest, ZeroAndNegativeDelaysAreImmediate) {
  Watchdog watchdog(30, "delay case");
  const DelayCase& c = std::get<1>(GetParam());
  MessageLoop loop(std::get<0>(GetParam()));
  std::vector<std::string> order;
  int64_t posted_at = 0;
  int64_t delayed_ran_at = 0;
  auto record = [&](const std::string& what) {
    order.push_back(what);
    if (order.size() == 2) MessageLoop::current()->Quit();
  };
  // Both posts land in the queue together, before the loop looks at it.
  posted_at = TimeTicks::NowInMicroseconds();
  loop.PostTaskWithDelay(FROM_HERE, Closure([&] {
                           delayed_ran_at = TimeTicks::NowInMicroseconds();
                           record("delayed");
                         }),
                         c.delay_ms);
  loop.PostTask(FROM_HERE, Closure([&] { record("plain"); }));
  loop.Run();
  ASSERT_EQ(2u, order.size());
  EXPECT_EQ(c.delayed_runs_first ? "delayed" : "plain", order[0]);
  if (c.delay_ms > 0) {
    EXPECT_GE(delayed_ran_at - posted_at, c.delay_ms * 1000);
  }
}

TEST_P(MessageLoopTypeTest, DelayedTasksRunByRunTimeAndNeverEarly) {
  Watchdog watchdog(30, "delayed ordering");
  MessageLoop loop(GetParam());
  struct Ran {
    int delay;
    int64_t late_by_us;
  };
  std::vector<Ran> ran;
  const int delays[] = {60, 15, 40, 15, 1, 25};
  const int64_t start = TimeTicks::NowInMicroseconds();
  for (int i = 0; i < 6; ++i) {
    const int delay = delays[i];
    loop.PostTaskWithDelay(
        FROM_HERE, Closure([&, delay] {
          ran.push_back({delay, TimeTicks::NowInMicroseconds() - start - delay * 1000});
          if (ran.size() == 6) MessageLoop::current()->Quit();
        }),
        delay);
  }
  loop.Run();
  ASSERT_EQ(6u, ran.size());
  const int expected[] = {1, 15, 15, 25, 40, 60};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(expected[i], ran[i].delay) << "position " << i;
    EXPECT_GE(ran[i].late_by_us, 0) << "ran early, delay " << ran[i].delay;
  }
}

TEST(QueuedTaskTest, EqualRunTimesOrderBySequenceEvenAcrossWrapAround) {
  // The delayed queue is a heap on RunsAfter; this is the order it yields.
  struct Case {
    const char* name;
    int64_t time_a;
    int seq_a;
    int64_t time_b;
    int seq_b;
    bool a_after_b;
  };
  const Case cases[] = {
      {"earlier time wins", 10, 5, 20, 1, false},
      {"later time loses", 30, 1, 20, 5, true},
      {"same time, smaller sequence first", 20, 1, 20, 2, false},
      {"same time, larger sequence after", 20, 2, 20, 1, true},
      {"same task", 20, 7, 20, 7, false},
      {"wrapped counter: INT_MIN follows INT_MAX", 20, INT_MIN, 20, INT_MAX, true},
      {"wrapped counter: INT_MAX precedes INT_MIN", 20, INT_MAX, 20, INT_MIN, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QueuedTask a(FROM_HERE, Closure(), c.time_a, true);
    QueuedTask b(FROM_HERE, Closure(), c.time_b, true);
    a.sequence_num = c.seq_a;
    b.sequence_num = c.seq_b;
    EXPECT_EQ(c.a_after_b, a.RunsAfter(b));
  }
}

TEST(TimeDeltaTest, MillisecondsRoundUp) {
  struct Case {
    int64_t us;
    int64_t ms;
  };
  const Case cases[] = {
      {0, 0},  {1, 1},    {999, 1},   {1000, 1},   {1001, 2},
      {-1, 0}, {-999, 0}, {-1000, 0}, {-1999, -1}, {INT64_MAX, INT64_MAX / 1000 + 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.us);
    EXPECT_EQ(c.ms, TimeDelta::FromMicroseconds(c.us).InMillisecondsRoundedUp());
  }
  EXPECT_EQ(5000, TimeDelta::FromMilliseconds(5).InMicroseconds());
  EXPECT_EQ(INT64_MAX, TimeDelta::FromMilliseconds(INT64_MAX).InMicroseconds());
}

TEST_P(MessageLoopTypeTest, QuitRunsQueuedTasksButNotAFarDelayedOne) {
  Watchdog watchdog(30, "quit");
  EventLog log;
  std::atomic<bool> delayed_destroyed{false};
  std::atomic<bool> unused{false};
  int64_t returned_after_us = 0;
  {
    MessageLoop loop(GetParam());
    loop.PostTask(FROM_HERE, Closure([&] {
                    MessageLoop* current = MessageLoop::current();
                    current->PostTaskWithDelay(
                        FROM_HERE, WitnessedTask(&log, "ten seconds", &delayed_destroyed), 10000);
                    current->Quit();
                    // Queued after the quit request: still run.
                    current->PostTask(FROM_HERE, WitnessedTask(&log, "after 1", &unused));
                    current->PostTask(FROM_HERE, WitnessedTask(&log, "after 2", &unused));
                    log.Add("quit requested");
                  }));
    const int64_t start = TimeTicks::NowInMicroseconds();
    loop.Run();
    returned_after_us = TimeTicks::NowInMicroseconds() - start;
    EXPECT_FALSE(delayed_destroyed.load()) << "the delayed task goes with the loop, not before";
  }
  EXPECT_EQ((std::vector<std::string>{"quit requested", "after 1", "after 2"}), log.events());
  EXPECT_LT(returned_after_us, 5000000) << "Run waited for the delayed task";
  EXPECT_TRUE(delayed_destroyed.load());
}

TEST_P(MessageLoopTypeTest, QuitOutsideRunDoesNothing) {
  MessageLoop loop(GetParam());
  loop.Quit();
  bool ran = false;
  loop.PostTask(FROM_HERE, Closure([&] {
                  ran = true;
                  MessageLoop::current()->Quit();
                }));
  Watchdog watchdog(30, "run after an early quit");
  loop.Run();
  EXPECT_TRUE(ran);
}

TEST_P(MessageLoopTypeTest, DestructionDestroysUnrunTasksAndWhatTheirDestructorsPost) {
  EventLog log;
  std::atomic<bool> first_destroyed{false};
  std::atomic<bool> second_destroyed{false};
  std::atomic<bool> delayed_destroyed{false};
  {
    MessageLoop loop(GetParam());
    EXPECT_EQ(&loop, MessageLoop::current());
    // The bound state's destructor posts once more to the dying loop.
    struct PostsOnDestruction {
      PostsOnDestruction(EventLog* log, std::atomic<bool>* second, std::atomic<bool>* first)
          : log(log), second(second), first(first) {}
      ~PostsOnDestruction() {
        first->store(true);
        if (MessageLoop::current())
          MessageLoop::current()->PostTask(FROM_HERE, WitnessedTask(log, "second", second));
      }
      EventLog* log;
      std::atomic<bool>* second;
      std::atomic<bool>* first;
    };
    auto state = std::make_shared<PostsOnDestruction>(&log, &second_destroyed, &first_destroyed);
    loop.PostTask(FROM_HERE, Closure([&log, state] { log.Add("first"); }));
    state.reset();
    loop.PostTaskWithDelay(FROM_HERE, WitnessedTask(&log, "delayed", &delayed_destroyed), 50);
  }
  EXPECT_EQ(nullptr, MessageLoop::current());
  EXPECT_TRUE(first_destroyed.load());
  EXPECT_TRUE(second_destroyed.load());
  EXPECT_TRUE(delayed_destroyed.load());
  EXPECT_TRUE(log.events().empty());
}

TEST(MessageLoopTest, DestructionEndsEvenIfEveryDestroyedTaskPostsAnother) {
  Watchdog watchdog(30, "self-reposting destruction");
  std::atomic<int> destroyed{0};
  struct Reposter {
    explicit Reposter(std::atomic<int>* count) : count(count) {}
    ~Reposter() {
      ++*count;
      if (MessageLoop* loop = MessageLoop::current()) Post(loop, count);
    }
    static void Post(MessageLoop* loop, std::atomic<int>* count) {
      auto self = std::make_shared<Reposter>(count);
      loop->PostTask(FROM_HERE, Closure([self] {}));
    }
    std::atomic<int>* count;
  };
  {
    MessageLoop loop;
    Reposter::Post(&loop, &destroyed);
  }
  // A pass per destruction until the limit; whatever is left goes with the
  // queues themselves.
  EXPECT_GE(destroyed.load(), 100);
  EXPECT_LE(destroyed.load(), 101);
}

TEST(MessageLoopTest, NonNestableTaskWaitsForTheOutermostRun) {
  Watchdog watchdog(30, "nested run");
  MessageLoop loop;
  std::vector<std::string> order;
  loop.PostTask(FROM_HERE, Closure([&] {
                  MessageLoop* current = MessageLoop::current();
                  current->PostNonNestableTask(FROM_HERE,
                                               Closure([&] { order.push_back("non-nestable"); }));
                  current->PostTask(FROM_HERE, Closure([&] { order.push_back("nestable"); }));
                  current->PostTask(FROM_HERE, QuitCurrent());
                  current->SetNestableTasksAllowed(true);
                  current->Run();
                  order.push_back("nested run returned");
                  current->PostTask(FROM_HERE, Closure([&] {
                                      order.push_back("outer");
                                      MessageLoop::current()->Quit();
                                    }));
                }));
  loop.Run();
  EXPECT_EQ((std::vector<std::string>{"nestable", "nested run returned", "outer", "non-nestable"}),
            order);
}

TEST(MessageLoopTest, TasksOfALoopNeverRunInsideEachOther) {
  // A task that pumps messages itself (as a modal loop does) must not see
  // the loop's other tasks run.
  Watchdog watchdog(30, "no reentrancy");
  MessageLoop loop(MessageLoop::TYPE_UI);
  std::vector<std::string> order;
  loop.PostTask(FROM_HERE, Closure([&] {
                  order.push_back("pumping start");
                  MessageLoop::current()->PostTask(FROM_HERE,
                                                   Closure([&] { order.push_back("second"); }));
                  const ULONGLONG end = GetTickCount64() + 100;
                  MSG msg;
                  while (GetTickCount64() < end) {
                    while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
                    Sleep(1);
                  }
                  order.push_back("pumping end");
                }));
  loop.PostTask(FROM_HERE, QuitCurrent());
  loop.Run();
  EXPECT_EQ((std::vector<std::string>{"pumping start", "pumping end", "second"}), order);
}

TEST(MessageLoopTest, WmQuitEndsAUiRunAndStaysQueuedForOuterLoops) {
  Watchdog watchdog(30, "WM_QUIT");
  MessageLoop loop(MessageLoop::TYPE_UI);
  const DWORD loop_thread = GetCurrentThreadId();
  std::atomic<bool> task_ran{false};
  loop.PostTask(FROM_HERE, Closure([&] { task_ran = true; }));
  std::thread other([&] {
    loop_test::WaitUntil([&] { return task_ran.load(); });
    PostThreadMessageW(loop_thread, WM_QUIT, 7, 0);
  });
  loop.Run();
  other.join();
  EXPECT_TRUE(task_ran.load());
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, NULL, WM_QUIT, WM_QUIT, PM_REMOVE))
      << "WM_QUIT was swallowed by the loop";
  EXPECT_EQ(7u, msg.wParam);
}

TEST(MessageLoopTest, UiLoopDispatchesWindowMessagesBetweenTasks) {
  Watchdog watchdog(30, "window messages");
  MessageLoop loop(MessageLoop::TYPE_UI);
  HWND pump_window = FindWindowExW(HWND_MESSAGE, NULL, L"Chrome_MessagePumpWindow", NULL);
  EXPECT_NE(nullptr, pump_window) << "no message-only window of the pump's class";
  std::atomic<int>& handled = g_app_messages;
  handled = 0;
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = CountingWndProc;
  wc.hInstance = GetModuleHandleW(NULL);
  wc.lpszClassName = L"KivoLoopTestWindow";
  RegisterClassExW(&wc);
  HWND window = CreateWindowExW(0, wc.lpszClassName, NULL, 0, 0, 0, 0, 0, HWND_MESSAGE, NULL,
                                wc.hInstance, NULL);
  ASSERT_NE(nullptr, window);
  std::thread other([&] {
    for (int i = 0; i < 20; ++i) PostMessageW(window, WM_APP, 0, 0);
    loop_test::WaitUntil([&] { return handled.load() == 20; });
    loop.PostTask(FROM_HERE, QuitCurrent());
  });
  loop.Run();
  other.join();
  EXPECT_EQ(20, handled.load());
  DestroyWindow(window);
  UnregisterClassW(wc.lpszClassName, wc.hInstance);
}

// The modal loop of a message box shown by a task keeps window messages
// flowing, while the loop's own tasks wait for the task to return.
TEST(MessageLoopTest, ModalMessageBoxHoldsTasksButNotWindowMessages) {
  Watchdog watchdog(60, "modal message box");
  static const wchar_t kCaption[] = L"kivo message loop modal test";
  MessageLoop loop(MessageLoop::TYPE_UI);

  std::atomic<int>& handled = g_app_messages;
  handled = 0;
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = CountingWndProc;
  wc.hInstance = GetModuleHandleW(NULL);
  wc.lpszClassName = L"KivoModalTestWindow";
  RegisterClassExW(&wc);
  HWND window = CreateWindowExW(0, wc.lpszClassName, NULL, 0, 0, 0, 0, 0, HWND_MESSAGE, NULL,
                                wc.hInstance, NULL);
  ASSERT_NE(nullptr, window);

  EventLog log;
  std::atomic<bool> box_open{false};
  std::atomic<bool> ran_while_open{false};
  int box_result = 0;
  loop.PostTask(FROM_HERE, Closure([&] {
                  log.Add("box shown");
                  box_result = MessageBoxW(NULL, L"modal", kCaption, MB_OK);
                  log.Add("box returned");
                }));

  bool found_box = false;
  bool messages_flowed = false;
  std::thread other([&] {
    HWND box = NULL;
    found_box =
        loop_test::WaitUntil([&] { return (box = FindWindowW(L"#32770", kCaption)) != NULL; });
    if (!found_box) {
      loop.PostTask(FROM_HERE, QuitCurrent());
      return;
    }
    box_open = true;
    auto note = [&](const char* what) {
      return Closure([&, what] {
        if (box_open) ran_while_open = true;
        log.Add(what);
      });
    };
    loop.PostTask(FROM_HERE, note("posted during box"));
    loop.PostTaskWithDelay(FROM_HERE, note("delayed during box"), 1);
    loop.PostNonNestableTask(FROM_HERE, note("non-nestable during box"));
    for (int i = 0; i < 5; ++i) PostMessageW(window, WM_APP, 0, 0);
    messages_flowed = loop_test::WaitUntil([&] { return handled.load() == 5; }, 5000);
    Sleep(100);  // time for a wrongly woken task to run
    box_open = false;
    SendMessageW(box, WM_COMMAND, IDOK, 0);
    loop.PostTask(FROM_HERE, QuitCurrent());
  });
  loop.Run();
  other.join();
  DestroyWindow(window);
  UnregisterClassW(wc.lpszClassName, wc.hInstance);

  ASSERT_TRUE(found_box) << "MessageBoxW returned " << box_result
                         << " without showing a box (is the null graphics driver set?)";
  EXPECT_EQ(IDOK, box_result);
  EXPECT_TRUE(messages_flowed) << "window messages were not dispatched during the box";
  EXPECT_FALSE(ran_while_open.load());
  std::vector<std::string> events = log.events();
  ASSERT_EQ(5u, events.size());
  EXPECT_EQ("box shown", events[0]);
  EXPECT_EQ("box returned", events[1]);
  // The immediate ones keep their order; the delayed one may come anywhere after.
  std::vector<std::string> rest(events.begin() + 2, events.end());
  rest.erase(std::remove(rest.begin(), rest.end(), "delayed during box"), rest.end());
  EXPECT_EQ((std::vector<std::string>{"posted during box", "non-nestable during box"}), rest);
}

TEST(MessageLoopTest, UiLoopKeepsWorkingAfterAnotherThreadsUiLoopIsDestroyed) {
  // The pump windows share one class; the loop that goes last must not take
  // the others' windows with it.
  Watchdog watchdog(30, "two UI loops");
  MessageLoop loop(MessageLoop::TYPE_UI);
  std::thread([] {
    MessageLoop other(MessageLoop::TYPE_UI);
    other.PostTask(FROM_HERE, QuitCurrent());
    other.Run();
  }).join();
  bool ran = false;
  std::thread poster([&] {
    Sleep(50);  // the loop is asleep by now and needs a wake-up
    loop.PostTask(FROM_HERE, Closure([&] {
                    ran = true;
                    MessageLoop::current()->Quit();
                  }));
  });
  loop.Run();
  poster.join();
  EXPECT_TRUE(ran);
}

TEST(MessageLoopTest, ThreadNameIsKept) {
  MessageLoop loop;
  EXPECT_EQ("", loop.thread_name());
  loop.set_thread_name("Worker");
  EXPECT_EQ("Worker", loop.thread_name());
  EXPECT_EQ(MessageLoop::TYPE_DEFAULT, loop.type());
}

}  // namespace
}  // namespace base
