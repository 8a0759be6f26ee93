#ifndef TARNELSETUP_UNINSTALL_CLEAR_INSTALL_DIR_H_
#define TARNELSETUP_UNINSTALL_CLEAR_INSTALL_DIR_H_

#include "TarnelSetup/task_base.h"

namespace uninstall {

// Removes the fixed leftovers of an installation that the uninstall manifest
// does not list: per-user folders, the cloud component, browser plug-ins,
// the "oversion" registry value and plug-in folders of the install directory
// ("PreviousInstallPath"). Plug-ins that cannot be deleted now are registered
// for deletion at the next restart. Never removes the install directory
// itself, and never touches anything relative to the current directory: a
// step whose base folder is unknown is skipped. Writes nothing to the setup
// context.
class ClearInstallDir : public task::TaskBase {
 public:
  void Run(task_object::RuntimeObject* object) override;
};

}  // namespace uninstall

#endif  // TARNELSETUP_UNINSTALL_CLEAR_INSTALL_DIR_H_
