// Stands for a program that the uninstaller starts: records how it was
// started and exits with a chosen code, after an optional delay.
//
// Each run appends one JSON line {"cmdline": ..., "pid": ..., "cwd": ...} to
//   %KIVO_RECORDER_LOG%                       if set, else
//   %KIVO_RECORDER_DIR%\<exe file name>.cmdline.txt   if set, else
//   <exe path>.cmdline.txt
// (the folder of the exe may be deleted by the program under test, so tests
// that need the record afterwards point it elsewhere).
//
// The exit code and delay come from the first control file found,
//   <exe path>.control, then %KIVO_RECORDER_DIR%\<exe file name>.control,
// with lines "exit=N" and "delay_ms=N"; lacking one, from the variables
// KIVO_RECORDER_EXIT_CODE and KIVO_RECORDER_DELAY_MS; else 0 and no delay.
#include <windows.h>

#include <string>

#include "tests/tools/tool_common.h"

namespace {

bool ReadSmallFile(const std::wstring& path, std::string* out) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  char buf[4096];
  DWORD read = 0;
  BOOL ok = ReadFile(file, buf, sizeof(buf), &read, nullptr);
  CloseHandle(file);
  if (!ok) return false;
  out->assign(buf, read);
  return true;
}

// The number after "key=" on a line of |text|, if there is one.
bool ControlValue(const std::string& text, const std::string& key, long* value) {
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    if (line.compare(0, key.size() + 1, key + "=") == 0) {
      *value = strtol(line.c_str() + key.size() + 1, nullptr, 0);
      return true;
    }
    pos = end + 1;
  }
  return false;
}

}  // namespace

int wmain() {
  std::wstring exe = tool::ModulePath();
  std::wstring name = exe.substr(exe.find_last_of(L"\\/") + 1);
  std::wstring dir = tool::ReadEnv(L"KIVO_RECORDER_DIR");

  std::wstring log = tool::ReadEnv(L"KIVO_RECORDER_LOG");
  if (log.empty()) log = dir.empty() ? exe + L".cmdline.txt" : dir + L"\\" + name + L".cmdline.txt";
  wchar_t cwd[MAX_PATH * 4] = L"";
  GetCurrentDirectoryW(MAX_PATH * 4, cwd);
  tool::AppendToFile(log, "{\"cmdline\":" + tool::JsonString(GetCommandLineW()) +
                              ",\"pid\":" + tool::ToUtf8(tool::Decimal(GetCurrentProcessId())) +
                              ",\"cwd\":" + tool::JsonString(cwd) + "}\n");

  std::string control;
  if (!ReadSmallFile(exe + L".control", &control) && !dir.empty()) {
    ReadSmallFile(dir + L"\\" + name + L".control", &control);
  }
  long exit_code = 0, delay_ms = 0;
  if (!ControlValue(control, "exit", &exit_code)) {
    exit_code = wcstol(tool::ReadEnv(L"KIVO_RECORDER_EXIT_CODE").c_str(), nullptr, 0);
  }
  if (!ControlValue(control, "delay_ms", &delay_ms)) {
    delay_ms = wcstol(tool::ReadEnv(L"KIVO_RECORDER_DELAY_MS").c_str(), nullptr, 0);
  }
  if (delay_ms > 0) Sleep(static_cast<DWORD>(delay_ms));
  return static_cast<int>(exit_code);
}
