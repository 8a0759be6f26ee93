#include "base/file_path_util.h"

#include <windows.h>

#include <shellapi.h>

#include <algorithm>
#include <vector>

#include "base/logging.h"

namespace base {

namespace {

// The platform's MAX_PATH: delete and schedule refuse paths this long.
const size_t kMaxPathLength = MAX_PATH;

const FILEOP_FLAGS kDeleteFlags = FOF_NOERRORUI | FOF_NOCONFIRMATION | FOF_SILENT;  // 0x414
const FILEOP_FLAGS kFilesOnlyFlags = FOF_NORECURSION | FOF_FILESONLY;               // +0x1080

// Shell results that mean nothing is left at the path.
const int kShellNotFound = ERROR_FILE_NOT_FOUND;
const int kShellNotFoundOldStyle = 0x402;

class ScopedFileHandle {
 public:
  ScopedFileHandle() = default;
  ~ScopedFileHandle() { Close(); }
  void Reset(HANDLE handle) {
    Close();
    handle_ = handle;
  }
  HANDLE get() const { return handle_; }
  bool IsValid() const { return handle_ != INVALID_HANDLE_VALUE; }
  void Close() {
    if (IsValid()) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  ScopedFileHandle(const ScopedFileHandle&) = delete;
  ScopedFileHandle& operator=(const ScopedFileHandle&) = delete;
};

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

bool StartsWithDrive(const std::wstring& path) {
  return path.size() >= 2 && path[1] == L':' && IsDriveLetter(path[0]);
}

bool IsBareDrive(const std::wstring& path) { return path.size() == 2 && StartsWithDrive(path); }

// Length of the part of |path| that trailing-separator removal keeps.
size_t RootLength(const std::wstring& path) {
  if (StartsWithDrive(path)) return path.size() >= 3 && IsPathSeparator(path[2]) ? 3 : 2;
  return !path.empty() && IsPathSeparator(path[0]) ? 1 : 0;
}

bool IsNotFoundError(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

enum NonDirectoryState {
  kNothingThere,  // nothing at the path
  kDirectory,     // a folder at the path
  kHeld,          // a non-folder, held open in |held|
  kUnknown,       // something that cannot be opened to look at
};

// Opens whatever is at |path| for its attributes only, sharing everything, so
// a deletion may still go through; while |held| stays open nothing else can
// take that name.
NonDirectoryState HoldNonDirectory(const std::wstring& path, ScopedFileHandle* held) {
  held->Reset(CreateFileW(
      path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!held->IsValid()) {
    DWORD error = GetLastError();
    if (IsNotFoundError(error)) return kNothingThere;
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      return IsNotFoundError(GetLastError()) ? kNothingThere : kUnknown;
    }
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? kDirectory : kUnknown;
  }
  BY_HANDLE_FILE_INFORMATION info = {};
  if (!GetFileInformationByHandle(held->get(), &info)) {
    held->Close();
    return kUnknown;
  }
  if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    held->Close();
    return kDirectory;
  }
  return kHeld;
}

}  // namespace

bool IsPathSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

std::wstring StripTrailingSeparators(const std::wstring& path) {
  const size_t keep = RootLength(path);
  size_t end = path.size();
  while (end > keep && IsPathSeparator(path[end - 1])) --end;
  return path.substr(0, end);
}

std::wstring JoinPath(const std::wstring& base, const std::wstring& relative) {
  if (base.empty()) return relative;
  std::wstring joined = StripTrailingSeparators(base);
  if (relative.empty()) return joined;
  if (!IsPathSeparator(joined.back()) && !IsBareDrive(joined)) joined += L'\\';
  return joined + relative;
}

std::wstring NormalizePath(const std::wstring& path) {
  std::wstring normalized = path;
  for (wchar_t& c : normalized) {
    if (c == L'/') c = L'\\';
  }
  return StripTrailingSeparators(normalized);
}

std::wstring GetParentPath(const std::wstring& path) {
  const std::wstring stripped = StripTrailingSeparators(path);
  const size_t root = RootLength(stripped);
  const size_t last = stripped.find_last_of(L"\\/");
  if (last == std::wstring::npos) {
    if (root) return stripped.substr(0, root);  // "C:name" lives in "C:"
    return stripped.empty() ? stripped : std::wstring(L".");
  }
  if (last < root) return stripped.substr(0, root);
  return StripTrailingSeparators(stripped.substr(0, last));
}

std::wstring GetFileName(const std::wstring& path) {
  const size_t last = path.find_last_of(L"\\/");
  return last == std::wstring::npos ? path : path.substr(last + 1);
}

bool CreateDirectoryPath(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;

  const std::wstring parent = GetParentPath(path);
  if (parent == path) return false;  // a root that is not there
  if (!CreateDirectoryPath(parent)) return false;

  if (CreateDirectoryW(path.c_str(), nullptr)) return true;
  if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
  // Someone else made it meanwhile, or a file has this name.
  attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DeletePath(const std::wstring& path, bool recursive) {
  if (path.size() >= kMaxPathLength) return false;

  // Keeps the plain file of a non-recursive delete in place, and no folder in
  // its stead, while the shell operation runs.
  ScopedFileHandle held;
  if (!recursive) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) &&
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      return RemoveDirectoryW(path.c_str()) != 0;  // only an empty folder goes
    }
    if (DeleteFileW(path.c_str())) return true;
    const DWORD error = GetLastError();
    LOG(ERROR) << "DeleteFile failed with " << error;

    // The shell's files-only flags are not honoured everywhere: some shells
    // delete a named folder with everything in it. So the shell operation is
    // only ever given a non-folder that is held open across the call.
    switch (HoldNonDirectory(path, &held)) {
      case kNothingThere:
        return true;
      case kDirectory:
        return RemoveDirectoryW(path.c_str()) != 0;
      case kUnknown:
        return false;
      case kHeld:
        break;
    }
  } else if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES &&
             IsNotFoundError(GetLastError())) {
    // Missing, or under a missing folder: gone already.
    return true;
  }

  bool aborted = false;
  const int result = ShellDelete(path, recursive, &aborted);
  if (aborted) return false;
  if (!ShellDeleteLeftNothing(result)) {
    LOG(ERROR) << "SHFileOperation failed with " << result;
    return false;
  }
  return true;
}

int ShellDelete(const std::wstring& path, bool recursive, bool* aborted) {
  // Double zero ends the shell's list of sources.
  std::vector<wchar_t> from(kMaxPathLength + 1, L'\0');
  path.copy(from.data(), std::min(path.size(), kMaxPathLength - 1));

  SHFILEOPSTRUCTW operation = {};
  operation.hwnd = nullptr;
  operation.wFunc = FO_DELETE;
  operation.pFrom = from.data();
  operation.pTo = nullptr;
  operation.fFlags = kDeleteFlags;
  if (!recursive) operation.fFlags |= kFilesOnlyFlags;
  const int result = SHFileOperationW(&operation);
  if (aborted) *aborted = operation.fAnyOperationsAborted != FALSE;
  return result;
}

bool ShellDeleteLeftNothing(int result) {
  return result == 0 || result == kShellNotFound || result == kShellNotFoundOldStyle;
}

bool ScheduleDeleteOnReboot(const std::wstring& path) {
  if (path.size() >= kMaxPathLength) return false;
  return MoveFileExW(path.c_str(), nullptr,
                     MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING) != 0;
}

}  // namespace base
