#include "base/message_loop.h"

#include <algorithm>
#include <utility>

#include "base/auto_lock.h"
#include "base/default_message_pump.h"
#include "base/logging.h"
#include "base/message_loop_proxy_impl.h"
#include "base/time_ticks.h"
#include "base/ui_message_pump.h"

namespace base {

namespace {

// Thread-local slot holding each thread's current loop. Allocated on first
// use and kept for the life of the process.
DWORD CurrentLoopSlot() {
  static const DWORD slot = TlsAlloc();
  CHECK(slot != TLS_OUT_OF_INDEXES);
  return slot;
}

// Heap order for the delayed queue: the task that runs first is on top.
bool RunsLater(const QueuedTask& a, const QueuedTask& b) { return a.RunsAfter(b); }

}  // namespace

MessageLoop::MessageLoop(Type type) : type_(type) {
  DCHECK(!current()) << "a thread has one message loop at most";
  TlsSetValue(CurrentLoopSlot(), this);
  if (type_ == TYPE_UI)
    pump_ = new UiMessagePump();
  else
    pump_ = new DefaultMessagePump();
  proxy_ = new MessageLoopProxyImpl(this);
}

MessageLoop::~MessageLoop() {
  DCHECK(current() == this);
  DCHECK(!state_);

  // From here on posts through the proxy fail (and their closures are
  // released by their callers) instead of landing in a queue nobody reads.
  proxy_->WillDestroyCurrentMessageLoop();

  // Destroying a task can post another one (a destructor that posts), so
  // repeat until a pass finds nothing; give up after 100 passes rather than
  // loop forever on a task that keeps re-posting itself.
  for (int pass = 0; pass < 100; ++pass) {
    if (!DeletePendingTasks()) break;
  }

  TlsSetValue(CurrentLoopSlot(), NULL);
  scoped_refptr<MessagePump> pump;
  {
    AutoLock lock(incoming_queue_lock_);
    pump = std::move(pump_);
  }
  pump->Shutdown();
}

// static
MessageLoop* MessageLoop::current() {
  return static_cast<MessageLoop*>(TlsGetValue(CurrentLoopSlot()));
}

void MessageLoop::PostTask(const PostSite& from_here, const Closure& task) {
  PostInternal(from_here, task, 0, true);
}

void MessageLoop::PostTaskWithDelay(const PostSite& from_here, const Closure& task,
                                    int64_t delay_ms) {
  PostInternal(from_here, task, delay_ms, true);
}

void MessageLoop::PostNonNestableTask(const PostSite& from_here, const Closure& task) {
  PostInternal(from_here, task, 0, false);
}

void MessageLoop::PostNonNestableTaskWithDelay(const PostSite& from_here, const Closure& task,
                                               int64_t delay_ms) {
  PostInternal(from_here, task, delay_ms, false);
}

void MessageLoop::PostInternal(const PostSite& from_here, const Closure& task, int64_t delay_ms,
                               bool nestable) {
  DCHECK(!task.is_null());
  DCHECK(delay_ms >= 0);
  const int64_t run_time =
      delay_ms > 0 ? TimeTicks::AddMilliseconds(TimeTicks::NowInMicroseconds(), delay_ms) : 0;
  AddToIncomingQueue(QueuedTask(from_here, task, run_time, nestable));
}

void MessageLoop::AddToIncomingQueue(QueuedTask task) {
  scoped_refptr<MessagePump> pump;
  {
    AutoLock lock(incoming_queue_lock_);
    const bool was_empty = incoming_queue_.empty();
    incoming_queue_.push_back(std::move(task));
    // A non-empty queue means a wake-up is already on its way.
    if (!was_empty) return;
    pump = pump_;
  }
  // Woken outside the lock through our own reference: the task just queued
  // may run and destroy this loop at any moment now.
  if (pump) pump->ScheduleWork();
}

void MessageLoop::Run() {
  RunState state;
  state.run_depth = state_ ? state_->run_depth + 1 : 1;
  state.quit_received = false;
  state.previous = state_;
  state_ = &state;
  pump_->Run(this);
  state_ = state.previous;
}

void MessageLoop::Quit() {
  if (state_)
    state_->quit_received = true;
  else
    DCHECK(false) << "Must be inside Run to call Quit";
}

void MessageLoop::set_thread_name(const std::string& name) {
  DCHECK(thread_name_.empty()) << "the loop's thread is named once";
  thread_name_ = name;
}

scoped_refptr<MessageLoopProxy> MessageLoop::message_loop_proxy() const { return proxy_; }

void MessageLoop::ReloadWorkQueue() {
  if (!work_queue_.empty()) return;
  AutoLock lock(incoming_queue_lock_);
  if (incoming_queue_.empty()) return;
  work_queue_.swap(incoming_queue_);
}

void MessageLoop::AddToDelayedWorkQueue(QueuedTask task) {
  task.sequence_num = next_sequence_num_++;
  delayed_work_queue_.push_back(std::move(task));
  std::push_heap(delayed_work_queue_.begin(), delayed_work_queue_.end(), RunsLater);
}

bool MessageLoop::DeferOrRunPendingTask(QueuedTask task) {
  if (task.nestable || run_depth() <= 1) {
    RunTask(task);
    return true;
  }
  // A non-nestable task met a nested run: keep it for the outermost one.
  deferred_non_nestable_work_queue_.push_back(std::move(task));
  return false;
}

void MessageLoop::RunTask(const QueuedTask& task) {
  // Keeps a modal loop entered by the task from running our other tasks.
  nestable_tasks_allowed_ = false;
  task.closure.Run();
  nestable_tasks_allowed_ = true;
}

bool MessageLoop::DoWork() {
  if (!nestable_tasks_allowed_) return false;
  for (;;) {
    ReloadWorkQueue();
    if (work_queue_.empty()) return false;
    do {
      QueuedTask task = std::move(work_queue_.front());
      work_queue_.pop_front();
      if (task.delayed_run_time != 0) {
        const int64_t run_time = task.delayed_run_time;
        const int sequence_num = next_sequence_num_;
        AddToDelayedWorkQueue(std::move(task));
        // The pump only needs to hear about a new earliest task.
        if (delayed_work_queue_.front().sequence_num == sequence_num)
          pump_->ScheduleDelayedWork(run_time);
      } else if (DeferOrRunPendingTask(std::move(task))) {
        return true;
      }
    } while (!work_queue_.empty());
  }
}

bool MessageLoop::DoDelayedWork(int64_t* next_delayed_run_time) {
  if (!nestable_tasks_allowed_ || delayed_work_queue_.empty()) {
    recent_time_ = 0;
    *next_delayed_run_time = 0;
    return false;
  }
  const int64_t next_run_time = delayed_work_queue_.front().delayed_run_time;
  if (next_run_time > recent_time_) {
    // The cached time says not yet; look at the clock before believing it.
    recent_time_ = TimeTicks::NowInMicroseconds();
    if (next_run_time > recent_time_) {
      *next_delayed_run_time = next_run_time;
      return false;
    }
  }
  std::pop_heap(delayed_work_queue_.begin(), delayed_work_queue_.end(), RunsLater);
  QueuedTask task = std::move(delayed_work_queue_.back());
  delayed_work_queue_.pop_back();
  *next_delayed_run_time =
      delayed_work_queue_.empty() ? 0 : delayed_work_queue_.front().delayed_run_time;
  return DeferOrRunPendingTask(std::move(task));
}

bool MessageLoop::DoIdleWork() {
  if (run_depth() == 1 && !deferred_non_nestable_work_queue_.empty()) {
    QueuedTask task = std::move(deferred_non_nestable_work_queue_.front());
    deferred_non_nestable_work_queue_.pop_front();
    RunTask(task);
    return true;
  }
  if (state_ && state_->quit_received) pump_->Quit();
  return false;
}

bool MessageLoop::DeletePendingTasks() {
  // Moved out first: a closure's destructor may post to this loop and so
  // touch the queues while they are being cleared.
  std::deque<QueuedTask> work;
  std::vector<QueuedTask> delayed;
  std::deque<QueuedTask> deferred;
  work.swap(work_queue_);
  delayed.swap(delayed_work_queue_);
  deferred.swap(deferred_non_nestable_work_queue_);
  bool found = !work.empty() || !delayed.empty() || !deferred.empty();
  work.clear();
  delayed.clear();
  deferred.clear();

  std::deque<QueuedTask> incoming;
  {
    AutoLock lock(incoming_queue_lock_);
    incoming.swap(incoming_queue_);
  }
  found |= !incoming.empty();
  incoming.clear();
  return found;
}

}  // namespace base
