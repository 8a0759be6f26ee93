#include "base/os_version.h"

#include <windows.h>

namespace base {

namespace {

OSVersionNumbers QueryOSVersionNumbers() {
  OSVersionNumbers numbers = {0, 0, 0};
  OSVERSIONINFOW info = {};
  info.dwOSVersionInfoSize = sizeof(info);
  if (GetVersionExW(&info)) {
    numbers.major = info.dwMajorVersion;
    numbers.minor = info.dwMinorVersion;
    numbers.build = info.dwBuildNumber;
  }
  return numbers;
}

}  // namespace

const OSVersionNumbers& GetOSVersionNumbers() {
  // The version cannot change while the process runs; a function-local
  // static is initialised once even when threads race for it.
  static const OSVersionNumbers numbers = QueryOSVersionNumbers();
  return numbers;
}

}  // namespace base
