// Records how it was started: writes "flags=<dwFlags> show=<wShowWindow>"
// from its STARTUPINFO to the file named by its only argument.
//
//   startup_info.exe OUTPUT
#include <windows.h>

#include <string>

#include "tests/tools/tool_common.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    tool::Complain(L"usage: startup_info.exe OUTPUT");
    return 64;
  }
  STARTUPINFOW info = {};
  info.cb = sizeof(info);
  GetStartupInfoW(&info);
  std::wstring text =
      L"flags=" + tool::Decimal(info.dwFlags) + L" show=" + tool::Decimal(info.wShowWindow);
  return tool::WriteFileAtomically(argv[1], tool::ToUtf8(text)) ? 0 : 3;
}
