// Stands for another setup program that is running: it creates a named mutex
// and keeps it until it is killed (or for a given time).
//
//   hold_mutex.exe --name NAME [--seconds N] [--ready FILE]
//
// --ready names a file written once the mutex exists ("pid=N"), so a test
// knows the program is up. Exit code 3 when the mutex cannot be created,
// 64 for bad usage.
#include <windows.h>

#include <string>

#include "tests/tools/tool_common.h"

int wmain(int argc, wchar_t** argv) {
  std::wstring name, ready;
  DWORD seconds = INFINITE;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::wstring arg = argv[i];
    if (arg == L"--name") {
      name = argv[i + 1];
    } else if (arg == L"--seconds") {
      seconds = wcstoul(argv[i + 1], nullptr, 10);
    } else if (arg == L"--ready") {
      ready = argv[i + 1];
    } else {
      name.clear();
      break;
    }
  }
  if (name.empty() || argc % 2 == 0) {
    tool::Complain(L"usage: hold_mutex.exe --name NAME [--seconds N] [--ready FILE]");
    return 64;
  }
  // Owned, and kept until the process ends.
  HANDLE mutex = CreateMutexW(nullptr, TRUE, name.c_str());
  if (!mutex) {
    tool::Complain(L"hold_mutex.exe: cannot create " + name + L", error " +
                   tool::Decimal(GetLastError()));
    return 3;
  }
  if (!ready.empty()) {
    tool::WriteFileAtomically(ready, "pid=" + tool::ToUtf8(tool::Decimal(GetCurrentProcessId())));
  }
  if (seconds == INFINITE) {
    for (;;) Sleep(INFINITE);
  }
  Sleep(seconds * 1000);
  return 0;
}
