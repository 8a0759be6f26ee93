// One file-system call, for tests that check what another process allows.
//
//   file_op.exe delete PATH            DeleteFileW
//   file_op.exe move FROM TO           MoveFileW
//   file_op.exe rmdir PATH             RemoveDirectoryW
//   file_op.exe delay-move FROM [TO] [--replace]
//                                      MoveFileExW with MOVEFILE_DELAY_UNTIL_REBOOT
//                                      (no TO: delete at restart)
//
// Prints "ok" or "error N" (GetLastError) on stdout; exit code 0 or 1.
#include <windows.h>

#include <string>

#include "tests/tools/tool_common.h"

int wmain(int argc, wchar_t** argv) {
  std::wstring op = argc > 1 ? argv[1] : L"";
  BOOL ok = FALSE;
  if (op == L"delete" && argc == 3) {
    ok = DeleteFileW(argv[2]);
  } else if (op == L"move" && argc == 4) {
    ok = MoveFileW(argv[2], argv[3]);
  } else if (op == L"rmdir" && argc == 3) {
    ok = RemoveDirectoryW(argv[2]);
  } else if (op == L"delay-move" && argc >= 3 && argc <= 5) {
    const wchar_t* target = nullptr;
    DWORD flags = MOVEFILE_DELAY_UNTIL_REBOOT;
    for (int i = 3; i < argc; ++i) {
      if (std::wstring(argv[i]) == L"--replace") {
        flags |= MOVEFILE_REPLACE_EXISTING;
      } else {
        target = argv[i];
      }
    }
    ok = MoveFileExW(argv[2], target, flags);
  } else {
    tool::Complain(
        L"usage: file_op.exe delete PATH | move FROM TO | rmdir PATH | "
        L"delay-move FROM [TO] [--replace]");
    return 64;
  }
  std::string out = ok ? "ok\n" : "error " + tool::ToUtf8(tool::Decimal(GetLastError())) + "\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), out.data(), static_cast<DWORD>(out.size()), &written,
            nullptr);
  return ok ? 0 : 1;
}
