// Prints one string of a file's version information (UTF-8), read through
// the file's first translation:   ver_info.exe FILE NAME
// Exit code 0 when found, 1 when the file has no such value.
#include <windows.h>

#include <string>
#include <vector>

#include "tests/tools/tool_common.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    tool::Complain(L"usage: ver_info.exe FILE NAME");
    return 64;
  }
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeW(argv[1], &handle);
  if (size == 0) return 1;
  std::vector<unsigned char> block(size);
  if (!GetFileVersionInfoW(argv[1], 0, size, block.data())) return 1;
  WORD* translation = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                      reinterpret_cast<void**>(&translation), &length) ||
      length < 4) {
    return 1;
  }
  wchar_t sub_block[300];
  wsprintfW(sub_block, L"\\StringFileInfo\\%04x%04x\\%s", translation[0], translation[1], argv[2]);
  wchar_t* value = nullptr;
  if (!VerQueryValueW(block.data(), sub_block, reinterpret_cast<void**>(&value), &length)) return 1;
  std::string out = tool::ToUtf8(std::wstring(value, length ? length - 1 : 0)) + "\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), out.data(), static_cast<DWORD>(out.size()), &written,
            nullptr);
  return 0;
}
