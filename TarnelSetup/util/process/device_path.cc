#include "TarnelSetup/util/process/device_path.h"

#include <windows.h>

#include <string.h>
#include <wchar.h>

#include <vector>

namespace setup {

std::wstring DevicePathToDosPath(const std::wstring& device_path) {
  if (device_path.empty()) return std::wstring();
  const DWORD needed = GetLogicalDriveStringsW(0, nullptr);
  if (needed == 0) return std::wstring();
  std::vector<wchar_t> drives(needed + 1, L'\0');
  const DWORD written = GetLogicalDriveStringsW(needed, drives.data());
  if (written == 0 || written > needed) return std::wstring();

  // Entries such as "C:\", each ending in a zero; an empty entry ends the list.
  for (const wchar_t* drive = drives.data(); *drive; drive += wcslen(drive) + 1) {
    const wchar_t name[3] = {drive[0], L':', L'\0'};
    wchar_t device[MAX_PATH] = {};
    if (!QueryDosDeviceW(name, device, MAX_PATH)) continue;
    const size_t device_length = wcslen(device);
    if (device_length == 0 || device_path.size() < device_length) continue;
    if (_wcsnicmp(device_path.c_str(), device, device_length) != 0) continue;
    // \Device\HarddiskVolume1 must not claim \Device\HarddiskVolume10\x.
    if (device_path.size() > device_length && device_path[device_length] != L'\\') continue;

    std::wstring root = drive;  // "C:\"
    std::wstring rest = device_path.substr(device_length);
    if (!root.empty() && root.back() == L'\\' && !rest.empty() && rest.front() == L'\\') {
      rest.erase(0, 1);
    }
    return root + rest;
  }
  return std::wstring();
}

}  // namespace setup
