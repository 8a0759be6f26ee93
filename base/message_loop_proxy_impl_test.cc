#include "base/message_loop_proxy_impl.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "base/message_loop.h"
#include "base/message_loop_proxy.h"
#include "base/thread.h"
#include "base/time_delta.h"
#include "tests/support/message_loop_test_util.h"

namespace base {
namespace {

using loop_test::EventLog;
using loop_test::Watchdog;
using loop_test::WitnessedTask;

// Records on which thread it was destroyed.
struct ThreadOfDestruction {
  explicit ThreadOfDestruction(std::atomic<DWORD>* where) : where(where) {}
  ~ThreadOfDestruction() { *where = GetCurrentThreadId(); }
  std::atomic<DWORD>* where;
};

TEST(MessageLoopProxyTest, PostsReachTheLoopUntilItIsGone) {
  EventLog log;
  scoped_refptr<MessageLoopProxy> proxy;
  {
    MessageLoop loop;
    proxy = loop.message_loop_proxy();
    ASSERT_TRUE(proxy);
    EXPECT_EQ(proxy.get(), MessageLoopProxy::current().get());
    std::atomic<bool> unused{false};
    EXPECT_TRUE(proxy->PostTask(FROM_HERE, WitnessedTask(&log, "immediate", &unused)));
    EXPECT_TRUE(proxy->PostTaskWithDelay(FROM_HERE, WitnessedTask(&log, "1 us", &unused),
                                         TimeDelta::FromMicroseconds(1)));
    EXPECT_TRUE(proxy->PostTaskWithDelay(FROM_HERE, WitnessedTask(&log, "zero interval", &unused),
                                         TimeDelta()));
    EXPECT_TRUE(
        proxy->PostNonNestableTask(FROM_HERE, WitnessedTask(&log, "non-nestable", &unused)));
    EXPECT_TRUE(proxy->PostTaskWithDelay(FROM_HERE, Closure([] { MessageLoop::current()->Quit(); }),
                                         int64_t{20}));
    Watchdog watchdog(30, "proxy posts");
    loop.Run();
  }
  // A 1 us interval rounds up to a real delay; a zero one stays immediate.
  EXPECT_EQ((std::vector<std::string>{"immediate", "zero interval", "non-nestable", "1 us"}),
            log.events());

  EXPECT_FALSE(proxy->BelongsToCurrentThread());
  std::atomic<bool> destroyed{false};
  EXPECT_FALSE(proxy->PostTask(FROM_HERE, WitnessedTask(&log, "late", &destroyed)));
  EXPECT_FALSE(proxy->PostNonNestableTaskWithDelay(FROM_HERE, Closure(), int64_t{5}));
  EXPECT_TRUE(destroyed.load()) << "a refused closure is released at once";
  EXPECT_EQ(nullptr, MessageLoopProxy::current().get());
}

TEST(MessageLoopProxyTest, BelongsToCurrentThreadOnlyOnTheLoopThread) {
  Watchdog watchdog(30, "belongs to current thread");
  Thread worker("Worker_Belongs");
  ASSERT_TRUE(worker.Start());
  scoped_refptr<MessageLoopProxy> proxy = worker.message_loop_proxy();
  EXPECT_FALSE(proxy->BelongsToCurrentThread());
  std::atomic<int> answer{-1};
  proxy->PostTask(FROM_HERE, Closure([&] { answer = proxy->BelongsToCurrentThread() ? 1 : 0; }));
  ASSERT_TRUE(loop_test::WaitUntil([&] { return answer.load() != -1; }));
  EXPECT_EQ(1, answer.load());
  worker.Stop();
  EXPECT_FALSE(proxy->BelongsToCurrentThread());
}

TEST(PostTaskAndReplyTest, ReplyRunsOnThePostingThreadAfterTheTask) {
  Watchdog watchdog(30, "post task and reply");
  MessageLoop loop;
  Thread worker("Worker_Reply");
  ASSERT_TRUE(worker.Start());
  const DWORD origin = GetCurrentThreadId();
  const DWORD destination = worker.thread_id();

  EventLog log;
  std::atomic<DWORD> task_thread{0};
  std::atomic<DWORD> reply_thread{0};
  std::atomic<DWORD> task_state_destroyed_on{0};
  std::atomic<bool> reply_saw_task_destroyed{false};
  auto task_state = std::make_shared<ThreadOfDestruction>(&task_state_destroyed_on);
  Closure task([&, task_state] {
    task_thread = GetCurrentThreadId();
    log.Add("task");
  });
  task_state.reset();
  Closure reply([&] {
    reply_thread = GetCurrentThreadId();
    reply_saw_task_destroyed = task_state_destroyed_on.load() != 0;
    log.Add("reply");
    MessageLoop::current()->Quit();
  });
  ASSERT_TRUE(worker.message_loop_proxy()->PostTaskAndReply(FROM_HERE, task, reply));
  task.Reset();
  reply.Reset();
  loop.Run();
  worker.Stop();

  EXPECT_EQ((std::vector<std::string>{"task", "reply"}), log.events());
  EXPECT_EQ(destination, task_thread.load());
  EXPECT_EQ(origin, reply_thread.load());
  // The task's bound state goes on the posting thread, before the reply.
  EXPECT_EQ(origin, task_state_destroyed_on.load());
  EXPECT_TRUE(reply_saw_task_destroyed.load());
}

TEST(PostTaskAndReplyTest, FailsAndDropsBothWhenTheDestinationIsGone) {
  MessageLoop loop;
  Thread worker("Worker_Gone");
  ASSERT_TRUE(worker.Start());
  scoped_refptr<MessageLoopProxy> proxy = worker.message_loop_proxy();
  worker.Stop();

  EventLog log;
  std::atomic<bool> task_destroyed{false};
  std::atomic<bool> reply_destroyed{false};
  EXPECT_FALSE(proxy->PostTaskAndReply(FROM_HERE, WitnessedTask(&log, "task", &task_destroyed),
                                       WitnessedTask(&log, "reply", &reply_destroyed)));
  EXPECT_TRUE(task_destroyed.load());
  EXPECT_TRUE(reply_destroyed.load());
  EXPECT_TRUE(log.events().empty());
}

TEST(PostTaskAndReplyTest, FailsWithoutALoopOnThePostingThread) {
  Thread worker("Worker_NoOrigin");
  ASSERT_TRUE(worker.Start());
  ASSERT_EQ(nullptr, MessageLoop::current());
  EventLog log;
  std::atomic<bool> task_destroyed{false};
  std::atomic<bool> reply_destroyed{false};
  EXPECT_FALSE(worker.message_loop_proxy()->PostTaskAndReply(
      FROM_HERE, WitnessedTask(&log, "task", &task_destroyed),
      WitnessedTask(&log, "reply", &reply_destroyed)));
  worker.Stop();
  EXPECT_TRUE(task_destroyed.load());
  EXPECT_TRUE(reply_destroyed.load());
  EXPECT_TRUE(log.events().empty());
}

TEST(PostTaskAndReplyTest, ReplyIsDroppedWhenThePostingLoopIsGone) {
  Watchdog watchdog(30, "reply to a dead loop");
  Thread worker("Worker_Orphan");
  ASSERT_TRUE(worker.Start());
  HANDLE gate = CreateEventW(NULL, TRUE, FALSE, NULL);
  EventLog log;
  std::atomic<bool> reply_destroyed{false};
  {
    MessageLoop loop;
    ASSERT_TRUE(worker.message_loop_proxy()->PostTaskAndReply(
        FROM_HERE, Closure([&log, gate] {
          WaitForSingleObject(gate, 10000);
          log.Add("task");
        }),
        WitnessedTask(&log, "reply", &reply_destroyed)));
  }
  SetEvent(gate);
  worker.Stop();
  CloseHandle(gate);
  EXPECT_EQ((std::vector<std::string>{"task"}), log.events());
  EXPECT_TRUE(reply_destroyed.load());
}

}  // namespace
}  // namespace base
