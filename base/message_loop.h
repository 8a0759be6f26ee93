#ifndef BASE_MESSAGE_LOOP_H_
#define BASE_MESSAGE_LOOP_H_

#include <windows.h>

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "base/bound_task.h"
#include "base/lock.h"
#include "base/message_pump.h"
#include "base/queued_task.h"
#include "base/ref_counted.h"

namespace base {

class MessageLoopProxy;
class MessageLoopProxyImpl;

// A thread's queue of closures and the loop that runs them, one at a time
// and in order, on that thread. At most one per thread; it is the thread's
// current loop (MessageLoop::current()) from construction to destruction,
// both of which happen on the thread.
//
// Posting works from any thread. Immediate tasks run in the order in which
// they were queued; delayed tasks by run time, equal run times in the order
// they were queued. While a task runs no other task of the loop starts, not
// even from a modal loop that the task enters.
class MessageLoop : public MessagePump::Delegate {
 public:
  enum Type {
    TYPE_DEFAULT = 0,  // tasks only
    TYPE_UI = 1,       // tasks and the thread's Windows messages
    TYPE_IO = 2,       // never used by the program; runs as TYPE_DEFAULT
  };

  explicit MessageLoop(Type type = TYPE_DEFAULT);
  // Destroys every task still queued, unrun (destroying one may queue more;
  // up to 100 passes), then the pump. Not inside Run().
  ~MessageLoop() override;

  // The calling thread's loop, or null.
  static MessageLoop* current();

  void PostTask(const PostSite& from_here, const Closure& task);
  // Zero or negative |delay_ms| posts an immediate task.
  void PostTaskWithDelay(const PostSite& from_here, const Closure& task, int64_t delay_ms);
  // Like the above, but the task never runs inside a nested Run().
  void PostNonNestableTask(const PostSite& from_here, const Closure& task);
  void PostNonNestableTaskWithDelay(const PostSite& from_here, const Closure& task,
                                    int64_t delay_ms);

  // Runs until Quit(). On the loop's thread; may be nested inside a task.
  void Run();
  // Makes the innermost Run() return once no immediate task is left. Delayed
  // tasks that are not due do not hold it. Does nothing outside Run().
  void Quit();

  Type type() const { return type_; }

  // Set once, by whoever names the thread.
  void set_thread_name(const std::string& name);
  const std::string& thread_name() const { return thread_name_; }

  // The loop's task runner; posts through it fail once the loop is gone.
  scoped_refptr<MessageLoopProxy> message_loop_proxy() const;

  // Lets a task that runs a nested Run() have tasks run inside it.
  void SetNestableTasksAllowed(bool allowed) { nestable_tasks_allowed_ = allowed; }
  bool NestableTasksAllowed() const { return nestable_tasks_allowed_; }

  // Depth of the innermost active Run(), 0 when not running.
  int run_depth() const { return state_ ? state_->run_depth : 0; }

  // MessagePump::Delegate
  bool DoWork() override;
  bool DoDelayedWork(int64_t* next_delayed_run_time) override;
  bool DoIdleWork() override;

 private:
  struct RunState {
    int run_depth;
    bool quit_received;
    RunState* previous;
  };

  void AddToIncomingQueue(QueuedTask task);
  void PostInternal(const PostSite& from_here, const Closure& task, int64_t delay_ms,
                    bool nestable);
  // Swaps in the incoming queue when the work queue is empty.
  void ReloadWorkQueue();
  void AddToDelayedWorkQueue(QueuedTask task);
  // Runs |task| now if it may run at this depth, else defers it. True if run.
  bool DeferOrRunPendingTask(QueuedTask task);
  void RunTask(const QueuedTask& task);
  // One pass over all queues; true if it destroyed anything.
  bool DeletePendingTasks();

  const Type type_;
  scoped_refptr<MessagePump> pump_;
  scoped_refptr<MessageLoopProxyImpl> proxy_;

  // The only state other threads touch, under |incoming_queue_lock_|.
  Lock incoming_queue_lock_;
  std::deque<QueuedTask> incoming_queue_;

  // The loop thread's own queues.
  std::deque<QueuedTask> work_queue_;
  std::vector<QueuedTask> delayed_work_queue_;  // a heap, earliest on top
  std::deque<QueuedTask> deferred_non_nestable_work_queue_;

  bool nestable_tasks_allowed_ = true;
  RunState* state_ = nullptr;
  std::string thread_name_;
  int next_sequence_num_ = 0;
  // Cached clock reading of the delayed step, 0 when stale.
  int64_t recent_time_ = 0;

  MessageLoop(const MessageLoop&) = delete;
  MessageLoop& operator=(const MessageLoop&) = delete;
};

}  // namespace base

#endif  // BASE_MESSAGE_LOOP_H_
