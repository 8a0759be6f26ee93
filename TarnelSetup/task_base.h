#ifndef TARNELSETUP_TASK_BASE_H_
#define TARNELSETUP_TASK_BASE_H_

namespace task {

// Base of every task class. Only the part that the graph records need (a
// runtime object owns and deletes its task) is here so far; the task base
// grows here.
class TaskBase {
 public:
  virtual ~TaskBase() {}
};

}  // namespace task

#endif  // TARNELSETUP_TASK_BASE_H_
