// Stands for one of the maker's helper programs: it runs until it is killed
// (or for a given time) and can keep a file open or a DLL loaded meanwhile.
//
//   sleeper.exe [--seconds N] [--exit-code N] [--hold PATH]... [--load DLL]...
//               [--ready FILE]
//
// --hold opens an existing file for reading and shares it for reading only,
// so other processes can neither delete, rename nor write it. --ready names a
// file written once everything is held ("pid=N"), so a test knows the program
// is up. Exit code 3 when a file cannot be held or a DLL not loaded.
#include <windows.h>

#include <string>
#include <vector>

#include "tests/tools/tool_common.h"

int wmain(int argc, wchar_t** argv) {
  DWORD seconds = INFINITE;
  int exit_code = 0;
  std::vector<std::wstring> holds, loads;
  std::wstring ready;
  for (int i = 1; i < argc; ++i) {
    std::wstring arg = argv[i];
    if (i + 1 >= argc) {
      tool::Complain(L"sleeper.exe: " + arg + L" needs a value");
      return 64;
    }
    const wchar_t* value = argv[++i];
    if (arg == L"--seconds") {
      seconds = wcstoul(value, nullptr, 10);
    } else if (arg == L"--exit-code") {
      exit_code = _wtoi(value);
    } else if (arg == L"--hold") {
      holds.push_back(value);
    } else if (arg == L"--load") {
      loads.push_back(value);
    } else if (arg == L"--ready") {
      ready = value;
    } else {
      tool::Complain(
          L"usage: sleeper.exe [--seconds N] [--exit-code N] [--hold PATH]... "
          L"[--load DLL]... [--ready FILE]");
      return 64;
    }
  }

  for (const std::wstring& path : holds) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      tool::Complain(L"sleeper.exe: cannot hold " + path + L", error " +
                     tool::Decimal(GetLastError()));
      return 3;
    }
    // Kept open until the process ends.
  }
  for (const std::wstring& path : loads) {
    if (!LoadLibraryW(path.c_str())) {
      tool::Complain(L"sleeper.exe: cannot load " + path + L", error " +
                     tool::Decimal(GetLastError()));
      return 3;
    }
  }
  if (!ready.empty()) {
    tool::WriteFileAtomically(ready, "pid=" + tool::ToUtf8(tool::Decimal(GetCurrentProcessId())));
  }
  if (seconds == INFINITE) {
    for (;;) Sleep(INFINITE);
  }
  Sleep(seconds * 1000);
  return exit_code;
}
