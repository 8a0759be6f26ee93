// Prints the Windows version as the system itself reports it (ntdll's
// RtlGetVersion, which no executable manifest caps): "major.minor.build".
//
//   rtl_version.exe
#include <windows.h>

#include <string>

#include "tests/tools/tool_common.h"

int wmain() {
  typedef LONG(WINAPI * RtlGetVersionFunction)(RTL_OSVERSIONINFOW*);
  RtlGetVersionFunction rtl_get_version = reinterpret_cast<RtlGetVersionFunction>(
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion"));
  RTL_OSVERSIONINFOW info = {};
  info.dwOSVersionInfoSize = sizeof(info);
  if (!rtl_get_version || rtl_get_version(&info) != 0) {
    tool::Complain(L"rtl_version.exe: RtlGetVersion failed");
    return 3;
  }
  std::string out =
      tool::ToUtf8(tool::Decimal(info.dwMajorVersion) + L"." + tool::Decimal(info.dwMinorVersion) +
                   L"." + tool::Decimal(info.dwBuildNumber) + L"\n");
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), out.data(), static_cast<DWORD>(out.size()), &written,
            nullptr);
  return 0;
}
