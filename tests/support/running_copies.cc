#include "tests/support/running_copies.h"

#include <windows.h>

#include "base/file_path_util.h"
#include "tests/support/test_paths.h"

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
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

}  // namespace

RunningCopies::RunningCopies() {
  wchar_t temp[MAX_PATH];
  const DWORD length = GetTempPathW(MAX_PATH, temp);
  if (length == 0 || length >= MAX_PATH) return;
  const std::wstring base_dir = base::StripTrailingSeparators(temp);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::wstring candidate =
        base::JoinPath(base_dir, L"kivo_copies_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                                     std::to_wstring(GetTickCount() + attempt));
    if (CreateDirectoryW(candidate.c_str(), nullptr)) {
      root_ = candidate;
      return;
    }
  }
}

RunningCopies::~RunningCopies() {
  for (const Child& child : children_) {
    if (WaitForSingleObject(child.process, 0) == WAIT_TIMEOUT) {
      TerminateProcess(child.process, 1);
      WaitForSingleObject(child.process, 5000);
    }
    CloseHandle(child.process);
  }
  if (!root_.empty()) base::DeletePath(root_, true);
}

std::wstring RunningCopies::Copy(const std::wstring& tool, const std::wstring& relative) {
  if (root_.empty()) return std::wstring();
  const std::wstring source = base::JoinPath(test_paths::kToolsDir, tool + L".exe");
  const std::wstring target = base::JoinPath(root_, relative);
  if (!base::CreateDirectoryPath(base::GetParentPath(target))) return std::wstring();
  if (!CopyFileW(source.c_str(), target.c_str(), FALSE)) return std::wstring();
  return target;
}

int RunningCopies::Start(const std::wstring& exe, const std::vector<std::wstring>& args,
                         bool wait_ready) {
  if (exe.empty()) return -1;
  std::wstring ready;
  std::wstring command_line = Quote(exe);
  for (const std::wstring& arg : args) command_line += L" " + Quote(arg);
  if (wait_ready) {
    ready = base::JoinPath(root_, L"ready_" + std::to_wstring(++ready_counter_) + L".txt");
    command_line += L" --ready " + Quote(ready);
  }
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  // The test's own current folder, never a copy's folder: the folder can
  // then be deleted afterwards.
  if (!CreateProcessW(exe.c_str(), &command_line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info)) {
    return -1;
  }
  CloseHandle(info.hThread);
  children_.push_back({info.hProcess, info.dwProcessId, exe});
  const int index = static_cast<int>(children_.size()) - 1;
  if (wait_ready) {
    const ULONGLONG end = GetTickCount64() + 20000;
    while (GetFileAttributesW(ready.c_str()) == INVALID_FILE_ATTRIBUTES) {
      if (GetTickCount64() > end || WaitForSingleObject(info.hProcess, 0) == WAIT_OBJECT_0) {
        return -1;
      }
      Sleep(10);
    }
  }
  return index;
}

int RunningCopies::StartSleeper(const std::wstring& relative) {
  return Start(Copy(L"sleeper", relative), {}, true);
}

bool RunningCopies::Ended(int index, DWORD timeout_ms, DWORD* exit_code) const {
  if (index < 0 || index >= static_cast<int>(children_.size())) return false;
  if (WaitForSingleObject(children_[index].process, timeout_ms) != WAIT_OBJECT_0) return false;
  DWORD code = 0;
  GetExitCodeProcess(children_[index].process, &code);
  if (exit_code) *exit_code = code;
  return true;
}
