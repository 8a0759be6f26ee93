#include "TarnelSetup/uninstall/remove_files.h"

#include <windows.h>

#include <shlobj.h>

#include <vector>

#include "TarnelSetup/setup_context.h"
#include "TarnelSetup/setup_util.h"
#include "base/auto_lock.h"
#include "base/file_path_util.h"
#include "base/lock.h"
#include "base/logging.h"

namespace uninstall {

namespace {

const size_t kMaxPathLength = MAX_PATH;

const wchar_t kMiniAppPath[] = L"\\Norvane Files\\Kivo\\global\\nt_data\\MiniApp";
const wchar_t kAppDataVersions[] = L"Kivo\\versions";
const char kAppdataPathKey[] = "AppdataPath";
const char kInstallPathKey[] = "PreviousInstallPath";

bool IsNotFoundError(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool IsDirectory(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The paths this run registered for deletion at the next restart. Written
// and read by the removal tasks, which run one after another; the lock only
// keeps a graph that runs two at once from tearing the list.
class ScheduledPaths {
 public:
  void Add(const std::wstring& path) {
    base::AutoLock hold(lock_);
    paths_.push_back(Canonical(path));
  }
  bool Contains(const std::wstring& path) {
    const std::wstring wanted = Canonical(path);
    base::AutoLock hold(lock_);
    for (const std::wstring& known : paths_) {
      if (CompareStringOrdinal(known.c_str(), static_cast<int>(known.size()), wanted.c_str(),
                               static_cast<int>(wanted.size()), TRUE) == CSTR_EQUAL) {
        return true;
      }
    }
    return false;
  }
  void Clear() {
    base::AutoLock hold(lock_);
    paths_.clear();
  }

 private:
  // Full path, "\" only, no trailing separators, so the spellings a manifest
  // and a folder listing give of one object compare equal.
  static std::wstring Canonical(const std::wstring& path) {
    wchar_t buffer[kMaxPathLength];
    const DWORD length = GetFullPathNameW(path.c_str(), kMaxPathLength, buffer, nullptr);
    if (length == 0 || length >= kMaxPathLength) return base::NormalizePath(path);
    return base::NormalizePath(std::wstring(buffer, length));
  }

  base::Lock lock_;
  std::vector<std::wstring> paths_;
};

ScheduledPaths& GetScheduledPaths() {
  static ScheduledPaths* paths = new ScheduledPaths();  // lives as long as the process
  return *paths;
}

// Calls |visit| for each direct entry of |folder| but "." and "..", until it
// returns false. False when the folder cannot be listed.
template <typename Visit>
bool ForEachEntry(const std::wstring& folder, Visit visit) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(base::JoinPath(folder, L"*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return false;
  do {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    if (!visit(name)) break;
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return true;
}

// Whether |folder| still holds entries and every one of them was registered
// by this run for deletion at the next restart.
bool HoldsOnlyScheduledEntries(const std::wstring& folder) {
  bool any = false;
  bool all_scheduled = true;
  if (!ForEachEntry(folder, [&](const std::wstring& name) {
        any = true;
        all_scheduled = IsScheduledAtRestart(base::JoinPath(folder, name));
        return all_scheduled;
      })) {
    return false;
  }
  return any && all_scheduled;
}

// Deletes a version folder tree and says what is left of it.
void RemoveVersionsFolder(const std::wstring& versions_path) {
  if (!IsDirectory(versions_path)) {
    LOG(ERROR) << "versions not exist";
    return;
  }
  LOG(INFO) << "versions_path = " << versions_path;
  DeletePathLogged(versions_path, true);
  if (IsDirectory(versions_path)) {
    LOG(ERROR) << "versions exist";
  } else {
    LOG(ERROR) << "versions not exist";
  }
}

}  // namespace

bool DeletePathLogged(const std::wstring& path, bool recursive) {
  if (path.size() >= kMaxPathLength) return false;

  if (!recursive) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) &&
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      return RemoveDirectoryW(path.c_str()) != 0;  // only an empty folder goes
    }
    if (DeleteFileW(path.c_str())) return true;
    const DWORD error = GetLastError();
    LOG(WARNING) << "DeleteFile( " << path << " ) failed with error : " << error;

    // Some shells ignore the files-only flags on a named folder and delete
    // the whole tree, so a folder must never reach the shell from here.
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      if (IsNotFoundError(GetLastError())) return true;  // nothing left at the path
      return false;                                      // cannot tell what it is
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return RemoveDirectoryW(path.c_str()) != 0;
  } else if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES &&
             IsNotFoundError(GetLastError())) {
    return true;  // missing, or under a missing folder
  }

  bool aborted = false;
  const int result = base::ShellDelete(path, recursive, &aborted);
  // The thread's error is what gets logged, not the shell's result.
  const DWORD error = GetLastError();
  const bool gone = base::ShellDeleteLeftNothing(result);

  if (!gone) {
    LOG(WARNING) << "SHFileOperation( " << path << " ) failed with error : " << error;
  }
  if (aborted) {
    LOG(WARNING) << "fAnyOperationsAborted == true";
    return false;
  }
  return gone;
}

bool IsFolderEmpty(const std::wstring& folder) {
  bool empty = true;
  ForEachEntry(folder, [&](const std::wstring&) {
    empty = false;
    return false;
  });
  return empty;
}

bool ScheduleDeleteAtRestart(const std::wstring& path) {
  if (!base::ScheduleDeleteOnReboot(path)) return false;
  GetScheduledPaths().Add(path);
  return true;
}

bool IsScheduledAtRestart(const std::wstring& path) { return GetScheduledPaths().Contains(path); }

void ForgetScheduledAtRestart() { GetScheduledPaths().Clear(); }

void RemoveListedFile(const std::wstring& path, const std::wstring& aside_folder) {
  std::wstring target;
  bool is_folder = false;
  if (!setup::GetRenameTarget(path, aside_folder, &target, &is_folder)) return;

  if (is_folder) {
    // Only moved: it goes with the aside folder.
    LOG(WARNING) << "exist dir to delete a file : " << path;
    if (!MoveFileW(path.c_str(), target.c_str())) {
      LOG(WARNING) << "rename " << path << " to " << target << " failed.";
    }
    return;
  }

  if (MoveFileW(path.c_str(), target.c_str())) {
    if (!DeletePathLogged(target, false)) {
      LOG(WARNING) << "delete file:" << target << " failed.";
      ScheduleDeleteAtRestart(target);
    }
    return;
  }
  LOG(WARNING) << "rename " << path << " to " << target << " failed.";
  if (!DeletePathLogged(path, false)) {
    LOG(WARNING) << "delete file:" << path << " failed.";
    ScheduleDeleteAtRestart(path);
  }
}

void RemoveListedDir(const std::wstring& path, const std::wstring& aside_folder) {
  std::wstring target;
  bool is_folder = false;
  if (!setup::GetRenameTarget(path, aside_folder, &target, &is_folder)) return;

  if (!is_folder) {
    LOG(WARNING) << "exist file to delete a dir : " << path;
    if (!MoveFileW(path.c_str(), target.c_str())) {
      LOG(WARNING) << "rename " << path << " to " << target << " failed.";
    }
    return;
  }

  if (!IsFolderEmpty(path)) {
    // Files in use that wait for the restart would otherwise keep their
    // folder alive past it. Registered after them, so they go first; the
    // Dir entries come longest first, so children go before parents.
    if (HoldsOnlyScheduledEntries(path)) {
      LOG(WARNING) << "dir holds only files deleted after reboot, delete after reboot : " << path;
      ScheduleDeleteAtRestart(path);
    }
    return;  // anything else in it belongs to someone: left, silently
  }
  if (MoveFileW(path.c_str(), target.c_str())) {
    DeletePathLogged(target, false);
    return;
  }
  LOG(WARNING) << "rename " << path << " to " << target << " failed.";
  DeletePathLogged(path, false);
}

void RemoveMiniAppFolder() {
  wchar_t documents[MAX_PATH] = {};
  // Without the Documents folder the path would hang off the current drive's
  // root, where nothing of this installation lives.
  if (!SHGetSpecialFolderPathW(nullptr, documents, CSIDL_PERSONAL, FALSE) || !documents[0]) {
    LOG(ERROR) << "mini_app_path not exist";
    return;
  }
  const std::wstring mini_app_path = std::wstring(documents) + kMiniAppPath;
  if (!IsDirectory(mini_app_path)) {
    LOG(ERROR) << "mini_app_path not exist";
    return;
  }
  DeletePathLogged(mini_app_path, true);
  LOG(INFO) << "mini_app_path = " << mini_app_path;
}

void RemoveAppDataVersions() {
  wchar_t app_data[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, app_data))) {
    app_data[0] = L'\0';
  }
  SetupContext::GetInstance()->SetWString(kAppdataPathKey, app_data);
  // A relative path would name something below the current directory.
  if (!app_data[0]) {
    LOG(ERROR) << "versions not exist";
    return;
  }
  RemoveVersionsFolder(base::JoinPath(app_data, kAppDataVersions));
}

void RemoveInstallVersions(const std::wstring& relative_path) {
  std::wstring install_path;
  SetupContext::GetInstance()->GetWString(kInstallPathKey, &install_path);
  const std::wstring install_dir = base::NormalizePath(install_path);
  if (install_dir.empty()) {
    LOG(ERROR) << "versions not exist";
    return;
  }
  RemoveVersionsFolder(base::JoinPath(install_dir, relative_path));
}

}  // namespace uninstall
