#include "TarnelSetup/task_base.h"

#include <windows.h>

#include "TarnelSetup/runtime_object.h"
#include "TarnelSetup/task_dispatcher.h"
#include "base/auto_lock.h"
#include "base/bound_task.h"
#include "base/lock.h"
#include "base/logging.h"
#include "base/message_loop_proxy.h"
#include "base/task_runner.h"
#include "base/thread.h"

namespace task {

namespace {

const char kOwnThreadPrefix[] = "Thread_";

// Tasks between a successful RunTask and the end of their OnTaskEnd. Changed
// on the Dispatch thread, waited for on the UI thread at shutdown.
class OutstandingTasks {
 public:
  OutstandingTasks() : none_(CreateEventW(nullptr, TRUE, TRUE, nullptr)) {}
  void Add() {
    base::AutoLock hold(lock_);
    if (count_++ == 0 && none_) ResetEvent(none_);
  }
  void Remove() {
    base::AutoLock hold(lock_);
    if (count_ > 0 && --count_ == 0 && none_) SetEvent(none_);
  }
  bool Wait(DWORD timeout_ms) {
    return !none_ || WaitForSingleObject(none_, timeout_ms) == WAIT_OBJECT_0;
  }

 private:
  base::Lock lock_;
  int count_ = 0;
  HANDLE none_;
};

OutstandingTasks& Outstanding() {
  static OutstandingTasks* tasks = new OutstandingTasks();
  return *tasks;
}

}  // namespace

bool TaskBase::WaitForEndSteps(unsigned long timeout_ms) { return Outstanding().Wait(timeout_ms); }

TaskBase::TaskBase() = default;

TaskBase::~TaskBase() {
  task_runner_ = nullptr;
  // base::Thread's destructor stops and joins a thread that still runs.
  own_thread_.reset();
}

void TaskBase::RunTask(task_object::RuntimeObject* object) {
  if (!object) return;
  LOG(INFO) << "run task name " << object->name() << " start";

  if (!task_runner_) {
    std::unique_ptr<base::Thread> thread(new base::Thread(kOwnThreadPrefix + object->name()));
    // Default settings: a plain loop, the default stack, no COM.
    if (!thread->Start()) {
      LOG(ERROR) << "run task name " << object->name() << ": its thread could not be started";
      return;
    }
    own_thread_ = std::move(thread);
    task_runner_ = own_thread_->message_loop_proxy().get();
  }

  // Bound without references: the runtime object outlives the task (it owns
  // it), and the task lives until its own reply deletes it.
  TaskBase* self = this;
  const bool posted =
      task_runner_->PostTaskAndReply(FROM_HERE_WITH("task::TaskBase::RunTask"),
                                     base::Closure([self, object] { self->Run(object); }),
                                     base::Closure([self, object] { self->OnTaskEnd(object); }));
  if (posted)
    Outstanding().Add();
  else
    LOG(ERROR) << "run task name " << object->name() << ": its thread takes no work; not run";
}

void TaskBase::SetTaskRunner(base::TaskRunner* task_runner) { task_runner_ = task_runner; }

void TaskBase::OnTaskEnd(task_object::RuntimeObject* object) {
  LOG(INFO) << "run task name " << object->name() << " end";

  // Joined before the successors start: nothing of this task runs any more
  // once they do. Stop() posts the quit request ("base::Thread::StopSoon").
  if (own_thread_) own_thread_->Stop();

  // Only with debug checks on: the check creates the dispatcher on first use.
  if (logging::DebugChecksEnabled()) TaskDispatcher::GetInstance()->CheckCalledOnValidThread();

  object->NotifyOutObjects();
  // After the successors have been added, so the count never drops to zero
  // between a task and its successors.
  Outstanding().Remove();

  // Deletes this very task (and its ended thread); nothing may follow.
  object->set_task(nullptr);
}

}  // namespace task
