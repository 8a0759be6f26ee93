#ifndef TARNELSETUP_UTIL_PROCESS_DEVICE_PATH_H_
#define TARNELSETUP_UTIL_PROCESS_DEVICE_PATH_H_

#include <string>

namespace setup {

// Turns a path in device form, as K32GetProcessImageFileNameW gives it
// ("\Device\HarddiskVolume3\Program Files\Kivo\Kivo.exe"), into its
// drive-letter form ("C:\Program Files\Kivo\Kivo.exe"). The drives are tried
// in the order GetLogicalDriveStringsW lists them; the first whose device
// path (QueryDosDeviceW) begins |device_path|, ignoring case and ending at a
// backslash or at the end of |device_path|, gives the result. Empty when no
// drive matches.
std::wstring DevicePathToDosPath(const std::wstring& device_path);

}  // namespace setup

#endif  // TARNELSETUP_UTIL_PROCESS_DEVICE_PATH_H_
