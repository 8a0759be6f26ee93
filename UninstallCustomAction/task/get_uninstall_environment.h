#ifndef UNINSTALLCUSTOMACTION_TASK_GET_UNINSTALL_ENVIRONMENT_H_
#define UNINSTALLCUSTOMACTION_TASK_GET_UNINSTALL_ENVIRONMENT_H_

#include "TarnelSetup/task_base.h"

namespace uninstall {

// Finds the installation to remove through the product's registry key and
// publishes it in the setup context. "NeedUnistall" is "true" when the key
// names an existing folder that has an uninstall manifest (beside the
// product, or its backup under the uninstaller's temporary folder) and a
// version; then "PreviousVersion", "UninstallReportVersion",
// "PreviousInstallType" and "PreviousInstallPath" are written before it. On
// every other outcome only "NeedUnistall" = "false" is written, and one INFO
// line says why.
class GetUninstallEnvironment : public task::TaskBase {
 public:
  // Under HKEY_LOCAL_MACHINE.
  static const wchar_t kProductKey[];  // "Software\Norvane\KivoNT"

  void Run(task_object::RuntimeObject* object) override;
};

}  // namespace uninstall

#endif  // UNINSTALLCUSTOMACTION_TASK_GET_UNINSTALL_ENVIRONMENT_H_
