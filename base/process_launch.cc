#include "base/process_launch.h"

#include <windows.h>

#include <string>
#include <vector>

#include "base/command_line.h"

namespace base {

static_assert(sizeof(STARTUPINFOW) == 68, "STARTUPINFOW of the 32-bit program");

bool StartProgram(const CommandLine& command_line, const StartOptions& options,
                  HANDLE* process_handle) {
  if (process_handle) *process_handle = nullptr;

  STARTUPINFOW startup_info = {};
  startup_info.cb = sizeof(startup_info);
  startup_info.dwFlags = STARTF_USESHOWWINDOW;
  startup_info.wShowWindow = options.start_hidden ? SW_HIDE : SW_SHOW;

  // CreateProcessW may write into the command line.
  std::wstring command = command_line.CommandString();
  std::vector<wchar_t> buffer(command.begin(), command.end());
  buffer.push_back(L'\0');

  PROCESS_INFORMATION process_info = {};
  if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup_info, &process_info)) {
    return false;
  }
  CloseHandle(process_info.hThread);

  if (options.wait) WaitForSingleObject(process_info.hProcess, INFINITE);

  if (process_handle) {
    *process_handle = process_info.hProcess;
  } else {
    CloseHandle(process_info.hProcess);
  }
  return true;
}

}  // namespace base
