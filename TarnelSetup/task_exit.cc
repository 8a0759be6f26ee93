#include "TarnelSetup/task_exit.h"

#include "TarnelSetup/setup_thread.h"
#include "TarnelSetup/task_class_registry.h"
#include "base/bound_task.h"
#include "base/message_loop.h"

REGISTER_TASK_CLASS(TaskExit, "TaskExit");

void TaskExit::Run(task_object::RuntimeObject* /*object*/) {
  // The quit runs on the UI thread: a loop is quit from its own thread. It
  // takes effect once the loop's queued immediate work is done. If the UI
  // loop is already gone the post fails and there is nothing left to end.
  setup::SetupThread::PostTask(setup::SetupThread::UI, FROM_HERE_WITH("TaskExit::Run"),
                               base::Closure([] { base::MessageLoop::current()->Quit(); }));
}
