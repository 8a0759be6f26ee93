#include "TarnelSetup/task_dispatcher.h"

#include <windows.h>

#include <stdint.h>

#include <atomic>

#include "TarnelSetup/runtime_object.h"
#include "TarnelSetup/setup_thread.h"
#include "base/at_exit.h"
#include "base/bound_task.h"
#include "base/logging.h"

using setup::SetupThread;

namespace task {

namespace {

// 0: not created, 1: being created, else the dispatcher's address.
const uintptr_t kNotCreated = 0;
const uintptr_t kBeingCreated = 1;
std::atomic<uintptr_t> g_task_dispatcher_instance{kNotCreated};

}  // namespace

// static
TaskDispatcher* TaskDispatcher::GetInstance() {
  for (;;) {
    uintptr_t value = g_task_dispatcher_instance.load(std::memory_order_acquire);
    if (value != kNotCreated && value != kBeingCreated)
      return reinterpret_cast<TaskDispatcher*>(value);
    if (value == kNotCreated) {
      uintptr_t expected = kNotCreated;
      if (g_task_dispatcher_instance.compare_exchange_strong(expected, kBeingCreated,
                                                             std::memory_order_acq_rel)) {
        TaskDispatcher* instance = new TaskDispatcher();
        g_task_dispatcher_instance.store(reinterpret_cast<uintptr_t>(instance),
                                         std::memory_order_release);
        base::AtExitManager::RegisterCallback(&TaskDispatcher::DestroyInstance, nullptr);
        return instance;
      }
    }
    // Another thread is creating the dispatcher.
    Sleep(0);
  }
}

// static
void TaskDispatcher::DestroyInstance(void* /*unused*/) {
  uintptr_t value = g_task_dispatcher_instance.exchange(kNotCreated, std::memory_order_acq_rel);
  if (value != kNotCreated && value != kBeingCreated)
    delete reinterpret_cast<TaskDispatcher*>(value);
}

// The checker is bound to the creating thread until InternalInit.
TaskDispatcher::TaskDispatcher() : context_(new task_object::TaskContext()) {}

TaskDispatcher::~TaskDispatcher() = default;

bool TaskDispatcher::Init2(HMODULE module, WORD resource_id, const std::wstring& resource_type) {
  parser_.set_module(module);
  parser_.set_resource_id(resource_id);
  parser_.set_resource_type(resource_type);
  if (!parser_.Parse(context_.get())) {
    NOTREACHED();
    return false;
  }
  return PostStart("task::TaskDispatcher::Init2");
}

bool TaskDispatcher::InitWithContext(task_object::TaskContext* context) {
  if (!context || !context->start_runtime_object()) return false;
  context_ = context;
  return PostStart("task::TaskDispatcher::InitWithContext");
}

bool TaskDispatcher::PostStart(const char* from) {
  if (SetupThread::PostTask(SetupThread::DISPATCH, FROM_HERE_WITH(from),
                            base::Closure([this] { InternalInit(); })))
    return true;
  // Nothing would ever start the graph, and the UI loop would wait forever.
  LOG(ERROR) << "The task graph cannot be started: the Dispatch thread does not run";
  return false;
}

void TaskDispatcher::InternalInit() {
  int thread_id = -1;
  SetupThread::GetCurrentId(&thread_id);
  DCHECK(thread_id == SetupThread::DISPATCH);
  // Bound to the creating (main) thread until now; RunStartObject binds the
  // Dispatch thread.
  thread_checker_.DetachFromThread();
  SetupThread::PostTask(SetupThread::DISPATCH, FROM_HERE_WITH("task::TaskDispatcher::InternalInit"),
                        base::Closure([this] { RunStartObject(); }));
}

void TaskDispatcher::RunStartObject() {
  DCHECK(thread_checker_.CalledOnValidThread());
  scoped_refptr<task_object::RuntimeObject> start = context_->start_runtime_object();
  if (start && start->CreateTask()) start->StartTask();
}

void TaskDispatcher::CheckCalledOnValidThread() { DCHECK(thread_checker_.CalledOnValidThread()); }

}  // namespace task
