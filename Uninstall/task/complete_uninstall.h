#ifndef UNINSTALL_TASK_COMPLETE_UNINSTALL_H_
#define UNINSTALL_TASK_COMPLETE_UNINSTALL_H_

#include "TarnelSetup/task_base.h"

namespace uninstall {

// Tells the user that the product has been removed: a system-modal box
// without an owner window, shown from the task's own thread. Stores nothing.
class CompleteUninstall : public task::TaskBase {
 public:
  void Run(task_object::RuntimeObject* object) override;
};

}  // namespace uninstall

#endif  // UNINSTALL_TASK_COMPLETE_UNINSTALL_H_
