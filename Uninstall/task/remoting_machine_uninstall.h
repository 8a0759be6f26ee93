#ifndef UNINSTALL_TASK_REMOTING_MACHINE_UNINSTALL_H_
#define UNINSTALL_TASK_REMOTING_MACHINE_UNINSTALL_H_

#include <windows.h>

#include <string>

#include "TarnelSetup/task_base.h"

namespace uninstall {

// Runs the machine uninstall of the remote-assistance component, on the File
// thread, when its service exists: the component's own installer, found
// through its version file inside the installation, is started with the
// uninstall switches and waited for up to two minutes. The step is optional:
// whatever happens, "RemotingMachineUninstallResult" is "ResultSuccess" and
// the uninstall goes on; failures are only logged.
class RemotingMachineUninstall : public task::TaskBase {
 public:
  // The log prints these as numbers.
  enum ServicePresence {
    kServicePresent = 0,
    // The service control manager says there is no such service.
    kServiceAbsent = 1,
    // Anything else: the manager or the query failed.
    kServiceUnknown = 2,
  };

  static const wchar_t kServiceName[];  // "KRemotingSvc"
  // How long the installer may run before the uninstall goes on without it.
  static const DWORD kInstallerWaitMs = 120000;
  // The exit code reported while none could be read.
  static const DWORD kNoExitCode = 31;

  void Run(task_object::RuntimeObject* object) override;

  static ServicePresence QueryRemotingServicePresence();

  // Reads (root)\versions\config.json and forms the path of the current
  // version's installer into |installer_path| (whenever a valid "curVersion"
  // was read). True when that file exists.
  static bool ResolveHostInstaller(const std::wstring& root, std::wstring* installer_path);

  // Starts the installer in its machine-uninstall mode for the installation
  // at |root| and waits for it. True only when it ended in time with exit
  // code 0. An installer still running at the time limit is left running.
  static bool LaunchHostInstaller(const std::wstring& installer_path, const std::wstring& root);
};

}  // namespace uninstall

#endif  // UNINSTALL_TASK_REMOTING_MACHINE_UNINSTALL_H_
