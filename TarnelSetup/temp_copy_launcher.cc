#include "TarnelSetup/temp_copy_launcher.h"

#include <windows.h>

#include "TarnelSetup/setup_util.h"
#include "base/file_path_util.h"
#include "base/process_launch.h"

namespace setup {

namespace {

const int kLaunchedExitCode = 0;
const int kFailedExitCode = 1;

}  // namespace

base::CommandLine GetTempCopyCommandLine(const std::wstring& copy_path) {
  base::CommandLine command_line(copy_path);
  command_line.AddSwitch("temp");
  return command_line;
}

int LaunchTempCopyOf(const std::wstring& exe_path) {
  const std::wstring file_name = base::GetFileName(exe_path);

  std::wstring temp_dir;
  if (!MakeUniqueTempDir(&temp_dir)) return kFailedExitCode;

  const std::wstring copy_path = base::JoinPath(temp_dir, file_name);
  if (exe_path.size() >= MAX_PATH || copy_path.size() >= MAX_PATH) return kFailedExitCode;

  if (!CopyFileW(exe_path.c_str(), copy_path.c_str(), FALSE)) return kFailedExitCode;

  // Shown, not waited for, handle not kept.
  if (!base::StartProgram(GetTempCopyCommandLine(copy_path), base::StartOptions()))
    return kFailedExitCode;
  return kLaunchedExitCode;
}

int LaunchTempCopy() {
  wchar_t exe_path[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, exe_path, MAX_PATH);
  // A full buffer means the path was cut short: it is 260 units or longer.
  if (length == 0 || length >= MAX_PATH) return kFailedExitCode;
  return LaunchTempCopyOf(std::wstring(exe_path, length));
}

}  // namespace setup
