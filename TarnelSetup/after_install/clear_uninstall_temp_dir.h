#ifndef TARNELSETUP_AFTER_INSTALL_CLEAR_UNINSTALL_TEMP_DIR_H_
#define TARNELSETUP_AFTER_INSTALL_CLEAR_UNINSTALL_TEMP_DIR_H_

#include "TarnelSetup/task_base.h"

namespace after_install {

// The last removal step: deletes the removal temp folder that DeleteFiles
// made ("DeleteFileTempPath"; nothing to do without it). What cannot go now
// is registered for deletion at the next restart, every entry before the
// folder that holds it, so that the folder is empty when its own turn comes.
// Then the install directory ("PreviousInstallPath") goes too when nothing
// but the removal's own leftovers kept it (the temp folder, made inside it
// on another volume than the temporary folder, or entries registered for
// the restart); anything else in it keeps it.
class ClearUninstallTempDir : public task::TaskBase {
 public:
  void Run(task_object::RuntimeObject* object) override;
};

}  // namespace after_install

#endif  // TARNELSETUP_AFTER_INSTALL_CLEAR_UNINSTALL_TEMP_DIR_H_
