#ifndef TARNELSETUP_TASK_BASE_H_
#define TARNELSETUP_TASK_BASE_H_

#include <memory>

#include "base/ref_counted.h"

namespace base {
class TaskRunner;
class Thread;
}  // namespace base

namespace task_object {
class RuntimeObject;
}  // namespace task_object

namespace task {

// Base of every task class. A task class implements only Run(); the base
// carries out the rest of a task's life: RunTask logs the start and puts Run
// on the task's thread (a setup thread given through SetTaskRunner, or a
// thread of its own), and the reply, OnTaskEnd, brings control back to the
// Dispatch thread, which follows the runtime object's out-links and deletes
// the task. One instance serves one activation of its runtime object.
class TaskBase {
 public:
  TaskBase();
  // Drops the task runner and deletes the own thread, stopping and joining it
  // first if it still runs.
  virtual ~TaskBase();

  // Starts the task for |object|, on the Dispatch thread: logs the start
  // line, makes the own thread when no runner was given, and posts Run with
  // OnTaskEnd as its reply. Returns at once.
  virtual void RunTask(task_object::RuntimeObject* object);

  // Where Run is posted; replaces the previous runner.
  virtual void SetTaskRunner(base::TaskRunner* task_runner);

  // The task's work, on the task's thread. Results go to the setup context.
  virtual void Run(task_object::RuntimeObject* object) = 0;

  // The end step, on the thread that called RunTask (Dispatch): logs the end
  // line, stops the own thread, starts the ready successors and finally
  // deletes this task through |object|. Nothing may touch the task after it.
  virtual void OnTaskEnd(task_object::RuntimeObject* object);

  // Waits up to |timeout_ms| until every task that was started has had its
  // end step. The exit task makes the UI loop quit from inside its Run, so
  // its own end step may still be on its way to the Dispatch thread when the
  // runner shuts the threads down. True when none is outstanding.
  static bool WaitForEndSteps(unsigned long timeout_ms);

 protected:
  base::TaskRunner* task_runner() const { return task_runner_.get(); }
  base::Thread* own_thread() const { return own_thread_.get(); }

 private:
  scoped_refptr<base::TaskRunner> task_runner_;
  std::unique_ptr<base::Thread> own_thread_;

  TaskBase(const TaskBase&) = delete;
  TaskBase& operator=(const TaskBase&) = delete;
};

}  // namespace task

#endif  // TARNELSETUP_TASK_BASE_H_
