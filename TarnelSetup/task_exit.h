#ifndef TARNELSETUP_TASK_EXIT_H_
#define TARNELSETUP_TASK_EXIT_H_

#include "TarnelSetup/task_base.h"

// Ends the run: asks the UI thread's loop (the main loop) to quit, after
// which the main runner shuts the setup threads down. Stores nothing.
class TaskExit : public task::TaskBase {
 public:
  void Run(task_object::RuntimeObject* object) override;
};

#endif  // TARNELSETUP_TASK_EXIT_H_
