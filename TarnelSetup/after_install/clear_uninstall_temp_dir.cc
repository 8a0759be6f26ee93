#include "TarnelSetup/after_install/clear_uninstall_temp_dir.h"

#include <windows.h>

#include <string>
#include <vector>

#include "TarnelSetup/setup_context.h"
#include "TarnelSetup/task_class_registry.h"
#include "TarnelSetup/uninstall/remove_files.h"
#include "base/file_path_util.h"
#include "base/logging.h"

REGISTER_TASK_CLASS(after_install::ClearUninstallTempDir, "ClearUninstallTempDir");

namespace after_install {

namespace {

struct Entry {
  std::wstring path;
  DWORD attributes;
};

// The direct entries of |folder|; none when it cannot be listed.
std::vector<Entry> ListEntries(const std::wstring& folder) {
  std::vector<Entry> entries;
  WIN32_FIND_DATAW data = {};
  HANDLE find = FindFirstFileW(base::JoinPath(folder, L"*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return entries;
  do {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    entries.push_back({base::JoinPath(folder, name), data.dwFileAttributes});
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return entries;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(base::NormalizePath(a).c_str(), -1, base::NormalizePath(b).c_str(),
                              -1, TRUE) == CSTR_EQUAL;
}

void ScheduleLeftover(const std::wstring& path, DWORD error) {
  // Files in use that DeleteFiles moved here were registered already.
  if (uninstall::IsScheduledAtRestart(path)) return;
  if (uninstall::ScheduleDeleteAtRestart(path)) {
    LOG(WARNING) << "delete " << path << " failed with error : " << error
                 << ", delete after reboot";
  }
}

// What the recursive delete left below |folder|: deleted now where possible,
// otherwise registered for the next restart, each entry before the folder
// holding it. The shell's delete stops at the first entry it cannot remove,
// so entries that would go may still be here.
void ClearLeftovers(const std::wstring& folder) {
  for (const Entry& entry : ListEntries(folder)) {
    const bool is_folder = (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (is_folder && !(entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT)) ClearLeftovers(entry.path);
    if (entry.attributes & FILE_ATTRIBUTE_READONLY) {
      SetFileAttributesW(entry.path.c_str(), entry.attributes & ~FILE_ATTRIBUTE_READONLY);
    }
    // A link to a folder goes as a link; what it points to is not touched.
    const BOOL removed =
        is_folder ? RemoveDirectoryW(entry.path.c_str()) : DeleteFileW(entry.path.c_str());
    if (!removed) ScheduleLeftover(entry.path, GetLastError());
  }
}

// The install directory, once the removal is over. The manifest's Dir entry
// for it came while it still held things removed only later: the leftovers
// outside the manifest and, on another volume than the temporary folder,
// the removal temp folder itself. So it goes here when nothing else is left
// in it: now when it is empty, else at the next restart, after everything
// still in it. Anything of someone else's keeps it.
void RemoveEmptyInstallDir(const std::wstring& temp_folder) {
  std::wstring install_dir;
  SetupContext::GetInstance()->GetWString("PreviousInstallPath", &install_dir);
  install_dir = base::NormalizePath(install_dir);
  if (install_dir.empty() || base::GetParentPath(install_dir) == install_dir) return;
  if (RemoveDirectoryW(install_dir.c_str())) {  // only when empty
    LOG(INFO) << "delete empty install dir : " << install_dir;
    return;
  }
  if (GetFileAttributesW(install_dir.c_str()) == INVALID_FILE_ATTRIBUTES) return;
  if (uninstall::IsScheduledAtRestart(install_dir)) return;  // its Dir entry did it already
  for (const Entry& entry : ListEntries(install_dir)) {
    if (!SamePath(entry.path, temp_folder) && !uninstall::IsScheduledAtRestart(entry.path)) {
      return;  // something else is left in it: it stays
    }
  }
  if (uninstall::ScheduleDeleteAtRestart(install_dir)) {
    LOG(WARNING) << "dir holds only files deleted after reboot, delete after reboot : "
                 << install_dir;
  }
}

}  // namespace

void ClearUninstallTempDir::Run(task_object::RuntimeObject* /*object*/) {
  std::wstring folder;
  // Absent when DeleteFiles did not get as far as making the folder.
  if (!SetupContext::GetInstance()->GetWString("DeleteFileTempPath", &folder) || folder.empty()) {
    return;
  }
  if (base::DeletePath(folder, true)) {
    RemoveEmptyInstallDir(folder);
    return;
  }
  ClearLeftovers(folder);
  if (!RemoveDirectoryW(folder.c_str())) uninstall::ScheduleDeleteAtRestart(folder);
  RemoveEmptyInstallDir(folder);
}

}  // namespace after_install
