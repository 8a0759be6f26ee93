#include "UninstallCustomAction/task/uninstall_pellux.h"

#include <windows.h>

#include <string>

#include "TarnelSetup/task_class_registry.h"
#include "base/command_line.h"
#include "base/file_path_util.h"
#include "base/logging.h"
#include "base/process_launch.h"
#include "base/reg_key.h"

REGISTER_TASK_CLASS(uninstall::UninstallPellux, "UninstallPellux");

namespace uninstall {

const wchar_t UninstallPellux::kAppPathsKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Pellux.exe";
const wchar_t UninstallPellux::kPathValueName[] = L"PelluxPath";
const wchar_t UninstallPellux::kUninstallerName[] = L"uninst.exe";
const wchar_t UninstallPellux::kSilentArgument[] = L"/S";

void UninstallPellux::Run(task_object::RuntimeObject* /*object*/) {
  // No key or no value: Pellux is not installed, which is not worth a line.
  base::RegKey key;
  if (key.Open(HKEY_LOCAL_MACHINE, kAppPathsKey, KEY_READ) != ERROR_SUCCESS) return;
  std::wstring pellux_path;
  if (key.ReadValue(kPathValueName, &pellux_path) != ERROR_SUCCESS) return;

  const std::wstring uninstaller = base::JoinPath(pellux_path, kUninstallerName);
  if (GetFileAttributesW(uninstaller.c_str()) == INVALID_FILE_ATTRIBUTES) {
    LOG(WARNING) << "uninst.exe not exist.";
    return;
  }
  base::CommandLine command_line(uninstaller);
  command_line.AddArgument(kSilentArgument);
  // Not waited for: the uninstaller goes on by itself.
  base::StartProgram(command_line, base::StartOptions());
}

}  // namespace uninstall
