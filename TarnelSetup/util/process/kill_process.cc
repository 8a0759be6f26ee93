#include "TarnelSetup/util/process/kill_process.h"

#include <windows.h>

#include <psapi.h>
#include <tlhelp32.h>

#include "TarnelSetup/util/process/scoped_handle.h"
#include "base/path_containment.h"

namespace setup {

namespace {

const DWORD kKillAccess =
    SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_TERMINATE;
const DWORD kMaxModules = 1024;

// The executable of |process|: the file of its first module.
bool GetExecutablePath(HANDLE process, std::wstring* path) {
  HMODULE modules[kMaxModules];
  DWORD needed = 0;
  if (!K32EnumProcessModules(process, modules, sizeof(modules), &needed) || needed == 0) {
    return false;
  }
  wchar_t file[MAX_PATH] = {};
  if (!K32GetModuleFileNameExW(process, modules[0], file, MAX_PATH)) return false;
  path->assign(file);
  return true;
}

std::wstring FileNamePart(const std::wstring& path) {
  const size_t slash = path.rfind(L'\\');
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

}  // namespace

bool KillProcessesByName(const std::wstring& exe_name) {
  ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot.IsValid()) return false;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  if (!Process32FirstW(snapshot.get(), &entry)) return false;

  bool terminated = false;
  do {
    // The listed name may be how the program was started (a short name, say):
    // the executable's own long name decides.
    ScopedHandle process(OpenProcess(kKillAccess, FALSE, entry.th32ProcessID));
    if (!process.IsValid()) continue;
    std::wstring executable;
    if (!GetExecutablePath(process.get(), &executable)) continue;
    wchar_t long_path[MAX_PATH] = {};
    const DWORD length = GetLongPathNameW(executable.c_str(), long_path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) long_path[0] = L'\0';
    if (lstrcmpiW(FileNamePart(long_path).c_str(), exe_name.c_str()) != 0) continue;
    if (TerminateProcess(process.get(), 0)) terminated = true;
  } while (Process32NextW(snapshot.get(), &entry));
  return terminated;
}

bool KillProcessesUnderDir(const std::wstring& exe_name, const std::wstring& directory) {
  ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot.IsValid()) return false;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  if (!Process32FirstW(snapshot.get(), &entry)) return false;

  bool terminated = false;
  do {
    if (lstrcmpiW(entry.szExeFile, exe_name.c_str()) != 0) continue;
    ScopedHandle process(OpenProcess(kKillAccess, FALSE, entry.th32ProcessID));
    if (!process.IsValid()) continue;
    std::wstring executable;
    if (!GetExecutablePath(process.get(), &executable)) continue;
    if (!base::IsUnderDirectory(directory, executable)) continue;
    if (TerminateProcess(process.get(), 0)) terminated = true;
  } while (Process32NextW(snapshot.get(), &entry));
  return terminated;
}

}  // namespace setup
