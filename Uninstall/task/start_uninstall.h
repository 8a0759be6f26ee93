#ifndef UNINSTALL_TASK_START_UNINSTALL_H_
#define UNINSTALL_TASK_START_UNINSTALL_H_

#include "TarnelSetup/task_base.h"

namespace uninstall {

// The graph's start task, on the UI thread. Keeps a second uninstaller (or a
// setup program of the product) from running at the same time, then asks
// the user to confirm. Stores "CheckResult": "ResultOK" when the user says
// Yes, "ResultCancel" otherwise (another setup runs, No, or no box at all).
class StartUninstall : public task::TaskBase {
 public:
  // Name of the single-instance mutex shared with the product's setups.
  static const wchar_t kInstanceMutexName[];

  void Run(task_object::RuntimeObject* object) override;
};

}  // namespace uninstall

#endif  // UNINSTALL_TASK_START_UNINSTALL_H_
