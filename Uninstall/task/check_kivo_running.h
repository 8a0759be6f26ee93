#ifndef UNINSTALL_TASK_CHECK_KIVO_RUNNING_H_
#define UNINSTALL_TASK_CHECK_KIVO_RUNNING_H_

#include "TarnelSetup/task_base.h"

namespace uninstall {

// On the UI thread, after the confirmation. While the maker's "Kivo.exe"
// runs, asks the user (Retry/Cancel) to close it. When none runs (any more),
// terminates the protection program "diverurudav.exe" wherever it runs and
// stores "CheckResult" = "ResultOK"; Cancel stores "ResultCancel".
class CheckKivoRunning : public task::TaskBase {
 public:
  void Run(task_object::RuntimeObject* object) override;
};

}  // namespace uninstall

#endif  // UNINSTALL_TASK_CHECK_KIVO_RUNNING_H_
