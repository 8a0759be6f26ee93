#ifndef TARNELSETUP_UNINSTALL_DELETE_FILES_H_
#define TARNELSETUP_UNINSTALL_DELETE_FILES_H_

#include "TarnelSetup/task_base.h"

namespace uninstall {

// Carries out the uninstall manifest on the File thread, with the built-in
// removals every installation needs in between: module unregistrations and
// uninstallers, the shell extension (packaged and context-menu forms),
// registry keys and fixed values, shortcuts, files, version folders, the
// manifest itself and the listed folders. Files in use go aside into a
// removal temp folder, published as "DeleteFileTempPath". Only an
// installation of type "NewSetup" is touched; a manifest that does not load,
// or lacks its root or version, stops the task before anything is removed.
// Writes no result for the graph.
class DeleteFiles : public task::TaskBase {
 public:
  void Run(task_object::RuntimeObject* object) override;
};

}  // namespace uninstall

#endif  // TARNELSETUP_UNINSTALL_DELETE_FILES_H_
