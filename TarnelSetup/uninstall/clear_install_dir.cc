#include "TarnelSetup/uninstall/clear_install_dir.h"

#include <windows.h>

#include <shlobj.h>

#include <string>

#include "TarnelSetup/setup_context.h"
#include "TarnelSetup/task_class_registry.h"
#include "TarnelSetup/uninstall/remove_files.h"
#include "base/file_path_util.h"
#include "base/logging.h"
#include "base/reg_key.h"

REGISTER_TASK_CLASS(uninstall::ClearInstallDir, "ClearInstallDir");

namespace uninstall {

namespace {

const wchar_t kProductKey[] = L"Software\\Norvane\\KivoNT";
const wchar_t kMakerKey[] = L"Software\\Norvane";
const wchar_t kStaleVersionValue[] = L"oversion";

// A shell folder, or empty when the shell cannot name it.
std::wstring GetShellFolder(int csidl) {
  wchar_t buffer[MAX_PATH] = {};
  if (SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer) != S_OK) {
    return std::wstring();
  }
  return buffer;
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsFolder(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring ReadInstallDir(const char* key) {
  std::wstring dir;
  SetupContext::GetInstance()->GetWString(key, &dir);
  return base::NormalizePath(dir);
}

// One browser plug-in: deleted when present, else registered for deletion at
// the next restart. True when it is gone now (or was never there).
bool RemovePlugin(const std::wstring& path, const char* name) {
  if (!Exists(path)) return true;
  LOG(INFO) << name << " file Exists";
  if (base::DeletePath(path, false)) return true;
  LOG(INFO) << "delete " << name << " file failed, delete after reboot";
  ScheduleDeleteAtRestart(path);
  return false;
}

// A stray msimg32.dll in a fresh install directory: deleted, or renamed out
// of the way (msimg32<ticks>.dll) so it can no longer be loaded in its place.
void RemoveStrayMsimg32(const std::wstring& new_dir) {
  const std::wstring path = base::JoinPath(new_dir, L"Bin\\msimg32.dll");
  if (!Exists(path)) return;
  LOG(INFO) << "msimg32.dll Exists";
  if (base::DeletePath(path, false)) return;
  LOG(INFO) << "delete msimg32.dll failed";
  const std::wstring aside = base::JoinPath(
      new_dir,
      L"Bin\\msimg32" + std::to_wstring(static_cast<unsigned long>(GetTickCount())) + L".dll");
  if (MoveFileW(path.c_str(), aside.c_str())) return;
  LOG(INFO) << "move msimg32.dll to " << aside << " failed";
  MoveFileExW(path.c_str(), aside.c_str(), MOVEFILE_DELAY_UNTIL_REBOOT);
}

// Deletes HKLM\|subkey| when it holds neither values nor subkeys.
bool DeleteKeyIfEmpty(const wchar_t* subkey) {
  base::RegKey key;
  if (key.Open(HKEY_LOCAL_MACHINE, subkey, KEY_READ) != ERROR_SUCCESS) return false;
  DWORD subkeys = 0, values = 0;
  if (RegQueryInfoKeyW(key.Handle(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                       nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS ||
      subkeys || values) {
    return false;
  }
  key.Close();
  return RegDeleteKeyW(HKEY_LOCAL_MACHINE, subkey) == ERROR_SUCCESS;
}

// The stale "oversion" value of the product key. The key is only opened: by
// now the manifest may have removed it, and it must not come back empty.
// When that value was all the manifest left of the key, the key goes too,
// as the manifest's own removal would have pruned it.
void RemoveStaleVersionValue() {
  {
    base::RegKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, kProductKey, KEY_QUERY_VALUE | KEY_SET_VALUE) !=
        ERROR_SUCCESS) {
      return;
    }
    if (RegQueryValueExW(key.Handle(), kStaleVersionValue, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      return;
    }
    if (RegDeleteValueW(key.Handle(), kStaleVersionValue) != ERROR_SUCCESS) {
      LOG(INFO) << "delete value oversion failed";
      return;
    }
  }
  if (DeleteKeyIfEmpty(kProductKey)) DeleteKeyIfEmpty(kMakerKey);
}

}  // namespace

void ClearInstallDir::Run(task_object::RuntimeObject* /*object*/) {
  // Every base folder may be unknown; a step is then skipped rather than run
  // on a bare relative name, which would resolve against the current folder.
  const std::wstring app_data = GetShellFolder(CSIDL_APPDATA);
  const std::wstring local_app_data = GetShellFolder(CSIDL_LOCAL_APPDATA);
  const std::wstring common_files = GetShellFolder(CSIDL_PROGRAM_FILES_COMMON);

  if (!app_data.empty()) {
    for (const wchar_t* relative : {L"Norvane\\Kivo\\AUTemp", L"Norvane\\Kivo\\PluginCommon"}) {
      const std::wstring folder = base::JoinPath(app_data, relative);
      if (IsFolder(folder)) base::DeletePath(folder, true);
    }
  }

  const std::wstring previous_dir = ReadInstallDir("PreviousInstallPath");
  // Nothing of this system writes "InstallPath": normally empty.
  const std::wstring new_dir = ReadInstallDir("InstallPath");

  if (!app_data.empty()) {
    const std::wstring cloud = base::JoinPath(app_data, L"Norvane\\Kivo\\KivoCloud");
    if (Exists(cloud)) base::DeletePath(cloud, true);
  }
  if (!previous_dir.empty()) {
    const std::wstring cloud_dll = base::JoinPath(previous_dir, L"Bin\\KivoCloud.dll");
    if (Exists(cloud_dll)) base::DeletePath(cloud_dll, false);
  }

  if (!new_dir.empty()) {
    const std::wstring pubno = base::JoinPath(new_dir, L"pubno");
    if (Exists(pubno)) base::DeletePath(pubno, false);
    RemoveStrayMsimg32(new_dir);
  }

  if (!previous_dir.empty()) {
    base::DeletePath(base::JoinPath(previous_dir, L"Plugin\\Com.Norvane.RovIrad"), true);
  }

  if (!local_app_data.empty()) {
    const std::wstring plugins =
        base::JoinPath(local_app_data, L"Google\\Chrome\\Application\\plugins");
    RemovePlugin(base::JoinPath(plugins, L"npactivex.dll"), "npactivex.dll");
    RemovePlugin(base::JoinPath(plugins, L"npchrome.dll"), "npchrome.dll");
  }

  if (!common_files.empty()) {
    // Its folder may hold other things of the maker's; it stays.
    RemovePlugin(base::JoinPath(common_files, L"Norvane\\Npchrome\\npchrome.dll"), "npchrome.dll");

    const std::wstring npkscall_dir = base::JoinPath(common_files, L"Norvane\\npkscall");
    const std::wstring npkscall = base::JoinPath(npkscall_dir, L"npkscall.dll");
    const bool had_npkscall = Exists(npkscall);
    if (RemovePlugin(npkscall, "npkscall.dll")) {
      if (had_npkscall) base::DeletePath(npkscall_dir, false);  // only when empty
    } else {
      // Registered after the file, so at restart the folder is empty when its
      // turn comes (a folder still holding other files simply stays).
      ScheduleDeleteAtRestart(npkscall_dir);
    }
  }

  RemoveStaleVersionValue();

  if (!previous_dir.empty()) {
    base::DeletePath(base::JoinPath(previous_dir, L"Bin\\ZIRUZ"), true);
    RemoveDirectoryW(base::JoinPath(previous_dir, L"Bin").c_str());  // only when empty

    base::DeletePath(base::JoinPath(previous_dir, L"Plugin\\Com.Norvane.Krel"), true);
    base::DeletePath(base::JoinPath(previous_dir, L"Plugin\\Com.Norvane.AudioVideo"), true);
    RemoveDirectoryW(base::JoinPath(previous_dir, L"Plugin").c_str());  // only when empty
  }
}

}  // namespace uninstall
