#ifndef TARNELSETUP_PRE_INSTALL_KILL_NORVANE_PROCESS_H_
#define TARNELSETUP_PRE_INSTALL_KILL_NORVANE_PROCESS_H_

#include "TarnelSetup/task_base.h"

namespace pre_install {

// First task of the removal chain: terminates the maker's helper programs
// that could hold files of the installation ("PreviousInstallPath") open.
// The ones that belong to the installation are terminated only when they run
// from inside it; the protection programs wherever they run. Nothing is
// waited for, logged or stored.
class KillNorvaneProcess : public task::TaskBase {
 public:
  void Run(task_object::RuntimeObject* object) override;
};

}  // namespace pre_install

#endif  // TARNELSETUP_PRE_INSTALL_KILL_NORVANE_PROCESS_H_
