#include "tests/support/child_process.h"

#include <windows.h>

#include <atomic>

namespace {

// Quoted so that CommandLineToArgvW gives |arg| back unchanged.
std::wstring Quote(const std::wstring& arg) {
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

ChildProcess::~ChildProcess() {
  Terminate();
  if (process_) CloseHandle(process_);
}

bool ChildProcess::Start(const std::wstring& program, const std::vector<std::wstring>& args) {
  command_line_ = Quote(program);
  for (const std::wstring& arg : args) command_line_ += L" " + Quote(arg);
  std::wstring buffer = command_line_;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(program.c_str(), &buffer[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info)) {
    last_error_ = GetLastError();
    return false;
  }
  CloseHandle(info.hThread);
  process_ = info.hProcess;
  return true;
}

bool ChildProcess::Wait(DWORD timeout_ms, DWORD* exit_code) {
  if (!process_ || WaitForSingleObject(process_, timeout_ms) != WAIT_OBJECT_0) return false;
  DWORD code = 0;
  GetExitCodeProcess(process_, &code);
  if (exit_code) *exit_code = code;
  return true;
}

void ChildProcess::Terminate() {
  if (process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
    TerminateProcess(process_, 1);
    WaitForSingleObject(process_, 5000);
  }
}

std::string ReadFileBytes(const std::wstring& path) {
  std::string content;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return content;
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0)
    content.append(buffer, read);
  CloseHandle(file);
  return content;
}

std::wstring TempFilePath(const std::wstring& stem) {
  static std::atomic<int> counter{0};
  wchar_t temp[MAX_PATH + 1];
  DWORD length = GetTempPathW(MAX_PATH + 1, temp);
  std::wstring dir = (length > 0 && length <= MAX_PATH) ? std::wstring(temp, length) : L".\\";
  std::wstring path = dir + stem + L"_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                      std::to_wstring(counter++);
  DeleteFileW(path.c_str());
  return path;
}
