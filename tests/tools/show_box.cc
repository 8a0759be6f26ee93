// Shows one message box and records the answer.
//
//   show_box.exe [--escapes] --caption TEXT --body TEXT [--type N] [--result FILE]
//
// --type is the MessageBoxW style (decimal or 0x hex; default MB_YESNO |
// MB_ICONINFORMATION). The id returned is written to FILE (decimal) and is
// also the exit code.
#include <windows.h>

#include <string>

#include "tests/tools/tool_common.h"

int wmain(int argc, wchar_t** argv) {
  bool escapes = false;
  std::wstring caption, body, result_file;
  UINT type = MB_YESNO | MB_ICONINFORMATION;
  for (int i = 1; i < argc; ++i) {
    std::wstring arg = argv[i];
    if (arg == L"--escapes") {
      escapes = true;
    } else if (i + 1 < argc && arg == L"--caption") {
      caption = argv[++i];
    } else if (i + 1 < argc && arg == L"--body") {
      body = argv[++i];
    } else if (i + 1 < argc && arg == L"--type") {
      type = wcstoul(argv[++i], nullptr, 0);
    } else if (i + 1 < argc && arg == L"--result") {
      result_file = argv[++i];
    } else {
      tool::Complain(
          L"usage: show_box.exe [--escapes] --caption TEXT --body TEXT [--type N] "
          L"[--result FILE]");
      return 64;
    }
  }
  if (escapes) {
    caption = tool::Unescape(caption);
    body = tool::Unescape(body);
  }
  int id = MessageBoxW(nullptr, body.c_str(), caption.c_str(), type);
  char text[16];
  wsprintfA(text, "%d", id);
  if (!result_file.empty()) tool::WriteFileAtomically(result_file, text);
  return id;
}
