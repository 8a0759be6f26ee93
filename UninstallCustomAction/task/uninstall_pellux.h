#ifndef UNINSTALLCUSTOMACTION_TASK_UNINSTALL_PELLUX_H_
#define UNINSTALLCUSTOMACTION_TASK_UNINSTALL_PELLUX_H_

#include "TarnelSetup/task_base.h"

namespace uninstall {

// Starts the silent uninstaller of the sibling product Pellux,
// (PelluxPath)\uninst.exe with "/S", and returns at once. Finds it through
// the product's App Paths key; writes nothing into the setup context.
class UninstallPellux : public task::TaskBase {
 public:
  static const wchar_t kAppPathsKey[];
  static const wchar_t kPathValueName[];
  static const wchar_t kUninstallerName[];
  static const wchar_t kSilentArgument[];

  void Run(task_object::RuntimeObject* object) override;
};

}  // namespace uninstall

#endif  // UNINSTALLCUSTOMACTION_TASK_UNINSTALL_PELLUX_H_
