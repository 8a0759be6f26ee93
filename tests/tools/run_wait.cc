// Starts a program and waits for it, keeping its full exit code (Wine passes
// only the low byte of a code to the Linux side).
//
//   run_wait.exe --status FILE [--cwd DIR] [--escapes] --cmdline TEXT
//   run_wait.exe --status FILE [--cwd DIR] -- PROGRAM [ARGS...]
//
// FILE is rewritten whole at each step: {"pid":N} once the program runs,
// then {"pid":N,"exit":CODE}; {"error":N} when it could not be started.
// --cmdline is used as the command line unchanged; after "--" the words are
// quoted as the C run-time expects.
#include <windows.h>

#include <string>

#include "tests/tools/tool_common.h"

namespace {

std::wstring Quote(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"') {
      out.append(backslashes * 2 + 1, L'\\');
    } else {
      out.append(backslashes, L'\\');
    }
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::wstring status, cwd, cmdline;
  bool escapes = false;
  int i = 1;
  for (; i < argc; ++i) {
    std::wstring arg = argv[i];
    if (arg == L"--") {
      for (++i; i < argc; ++i) cmdline += (cmdline.empty() ? L"" : L" ") + Quote(argv[i]);
      break;
    } else if (arg == L"--escapes") {
      escapes = true;
    } else if (i + 1 < argc && arg == L"--status") {
      status = argv[++i];
    } else if (i + 1 < argc && arg == L"--cwd") {
      cwd = argv[++i];
    } else if (i + 1 < argc && arg == L"--cmdline") {
      cmdline = argv[++i];
    } else {
      cmdline.clear();
      break;
    }
  }
  if (status.empty() || cmdline.empty()) {
    tool::Complain(
        L"usage: run_wait.exe --status FILE [--cwd DIR] [--escapes] "
        L"(--cmdline TEXT | -- PROGRAM [ARGS...])");
    return 64;
  }
  if (escapes) cmdline = tool::Unescape(cmdline);

  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(nullptr, &cmdline[0], nullptr, nullptr, FALSE, 0, nullptr,
                      cwd.empty() ? nullptr : cwd.c_str(), &startup, &info)) {
    DWORD error = GetLastError();
    tool::WriteFileAtomically(status, "{\"error\":" + tool::ToUtf8(tool::Decimal(error)) + "}");
    return 1;
  }
  std::string pid = tool::ToUtf8(tool::Decimal(info.dwProcessId));
  tool::WriteFileAtomically(status, "{\"pid\":" + pid + "}");
  CloseHandle(info.hThread);
  WaitForSingleObject(info.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(info.hProcess, &code);
  CloseHandle(info.hProcess);
  tool::WriteFileAtomically(
      status, "{\"pid\":" + pid + ",\"exit\":" + tool::ToUtf8(tool::Decimal(code)) + "}");
  return static_cast<int>(code);
}
