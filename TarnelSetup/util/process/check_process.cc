#include "TarnelSetup/util/process/check_process.h"

#include <windows.h>

#include <psapi.h>
#include <tlhelp32.h>

#include <string>

#include "TarnelSetup/util/process/device_path.h"
#include "TarnelSetup/util/process/scoped_handle.h"
#include "TarnelSetup/util/process/version_info.h"
#include "base/logging.h"

namespace setup {

const wchar_t kKivoExeName[] = L"Kivo.exe";
const wchar_t kNorvaneCompanyName[] = L"Norvane";

namespace {

const DWORD kQueryAccess =
    PROCESS_QUERY_INFORMATION | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_VM_READ;

wchar_t AsciiLower(wchar_t c) { return (c >= L'A' && c <= L'Z') ? c - L'A' + L'a' : c; }

bool EqualsAsciiIgnoringCase(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

// Whether the "Kivo.exe" process |pid| is the maker's; every doubt says yes.
bool IsNorvaneKivo(DWORD pid) {
  ScopedHandle process(OpenProcess(kQueryAccess, FALSE, pid));
  if (!process.IsValid()) {
    // Not ours to judge: a process this one may not open is left alone.
    LOG(ERROR) << "OpenProcess failed.";
    return false;
  }
  wchar_t image[MAX_PATH] = {};
  if (!K32GetProcessImageFileNameW(process.get(), image, MAX_PATH)) {
    LOG(ERROR) << "GetProcessImageFileName failed.";
    return true;
  }
  const std::wstring dos_path = DevicePathToDosPath(image);
  if (dos_path.empty()) {
    LOG(ERROR) << "DevicePathToDosPath failed.";
    return true;
  }
  process.Close();

  std::wstring company;
  if (!GetVerInfoString(dos_path, L"CompanyName", &company)) {
    LOG(ERROR) << "GetVerInfoCompanyName(" << image << ") failed.";
    return true;
  }
  if (EqualsAsciiIgnoringCase(company, kNorvaneCompanyName)) return true;
  LOG(ERROR) << "CompanyName = " << company;
  return false;
}

}  // namespace

bool FindKivoProcesses(DWORD excluded_pid, std::vector<DWORD>* pids) {
  ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot.IsValid()) {
    LOG(ERROR) << "CreateToolhelp32Snapshot failed.";
    return false;
  }
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  if (!Process32FirstW(snapshot.get(), &entry)) {
    LOG(ERROR) << "Process32First failed.";
    return false;
  }
  do {
    if (entry.th32ProcessID == excluded_pid) continue;
    if (lstrcmpiW(entry.szExeFile, kKivoExeName) != 0) continue;
    if (IsNorvaneKivo(entry.th32ProcessID) && pids) pids->push_back(entry.th32ProcessID);
  } while (Process32NextW(snapshot.get(), &entry));
  return true;
}

}  // namespace setup
