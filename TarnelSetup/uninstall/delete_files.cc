#include "TarnelSetup/uninstall/delete_files.h"

#include <windows.h>

#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <wchar.h>

#include <algorithm>
#include <string>
#include <vector>

#include "TarnelSetup/setup_context.h"
#include "TarnelSetup/setup_util.h"
#include "TarnelSetup/task_class_registry.h"
#include "TarnelSetup/uninstall/remove_files.h"
#include "TarnelSetup/uninstall/uninstall_manifest.h"
#include "TarnelSetup/util/process/scoped_handle.h"
#include "base/command_line.h"
#include "base/file_path_util.h"
#include "base/logging.h"
#include "base/process_launch.h"
#include "base/reg_key.h"
#include "base/utf_string_conversions.h"

REGISTER_TASK_CLASS(uninstall::DeleteFiles, "DeleteFiles");

namespace uninstall {

namespace {

const char kPreviousInstallPathKey[] = "PreviousInstallPath";
const char kPreviousInstallTypeKey[] = "PreviousInstallType";
const char kDeleteFileTempPathKey[] = "DeleteFileTempPath";
const char kNewSetup[] = "NewSetup";

const wchar_t kRegistrationTool[] = L"regsvr32.exe";

// How long one unregistration may take. The module's file is deleted right
// after, so the registration tool must be done with it first; a tool that
// hangs must not hold up the rest of the uninstall.
const DWORD kUnregisterTimeoutMs = 10000;

// The packaged shell extension of Windows 11.
const wchar_t kPackagedClassIndexKey[] =
    L"PackagedCom\\ClassIndex\\{CC19E147-7757-483C-B27F-3D81BCEB38F1}";
const wchar_t kPowerShell[] = L"powershell.exe";
const wchar_t kRemovePackageCommand[] =
    L"Get-AppxPackage -Name 'KivoExtension*' | Remove-AppxPackage";
const DWORD kFirstPackagedExtensionBuild = 22000;

// The classic context-menu extension.
const wchar_t kContextMenuHandlerKey[] =
    L"AllFilesystemObjects\\shellex\\ContextMenuHandlers\\NTKivoShellExt";
const wchar_t kShellExtensionClassId[] = L"{BB4CB47C-6258-4502-AC4C-AFA73AFB4319}";
const wchar_t kShellExtension32[] = L"kivo_shell_extension_32.dll";
const wchar_t kShellExtension64[] = L"kivo_shell_extension_64.dll";

const wchar_t kRunKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t kRunValue[] = L"KivoNT";
const wchar_t kUserClassesKey[] = L"SOFTWARE\\Classes";
const wchar_t kUserClassesSubkey[] = L"Norvane";
const wchar_t kProductKey[] = L"SOFTWARE\\Norvane\\Kivo";
const wchar_t kInstallValue[] = L"Install";

const wchar_t kShortcutName[] = L"Kivo.lnk";
const wchar_t kQuickLaunchFolder[] = L"Microsoft\\Internet Explorer\\Quick Launch";

bool PathExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Starts |command_line| hidden, not waited for. A failed launch is not
// reported.
void LaunchHidden(const base::CommandLine& command_line) {
  base::StartOptions options;
  options.start_hidden = true;
  base::StartProgram(command_line, options);
}

// Runs the registration tool hidden with "/s /u |module|" and waits for it,
// up to kUnregisterTimeoutMs. Neither a failed launch nor the tool's result
// is reported.
void Unregister(const std::wstring& registration_tool, const std::wstring& module) {
  base::CommandLine command_line(registration_tool);
  command_line.AddArgument(L"/s");
  command_line.AddArgument(L"/u");
  command_line.AddArgument(module);
  base::StartOptions options;
  options.start_hidden = true;
  HANDLE process = nullptr;
  if (!base::StartProgram(command_line, options, &process)) return;
  setup::ScopedHandle owned_process(process);
  WaitForSingleObject(owned_process.get(), kUnregisterTimeoutMs);
}

// The "Regsvr" entries: COM servers are unregistered (each waited for, as
// its file goes later in this task) and uninstallers started with their
// argument, not waited for.
void RunModuleEntries(const UninstallManifest& manifest, const std::wstring& registration_tool,
                      const std::string& previous_install_path, const std::string& common_files) {
  manifest.ForEachModule([&](const ManifestModule& module) {
    const std::wstring path =
        base::UTF8ToWide(ExpandPathMacros(module.path, previous_install_path, common_files));
    if (module.type == ManifestModule::kDll) {
      Unregister(registration_tool, path);
      return;
    }
    base::CommandLine command_line(path);
    command_line.AddArgument(base::UTF8ToWide(module.uninstall_arg));
    LaunchHidden(command_line);
  });
}

// The version the system really runs: GetVersionExW stops at the version
// the executable's manifest names.
bool RunsPackagedExtensionWindows() {
  typedef LONG(WINAPI * RtlGetVersionFunction)(RTL_OSVERSIONINFOW*);
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  if (!ntdll) return false;
  RtlGetVersionFunction rtl_get_version =
      reinterpret_cast<RtlGetVersionFunction>(GetProcAddress(ntdll, "RtlGetVersion"));
  if (!rtl_get_version) return false;
  RTL_OSVERSIONINFOW info = {};
  static_assert(sizeof(info) == 276, "RTL_OSVERSIONINFOW");
  info.dwOSVersionInfoSize = sizeof(info);
  if (rtl_get_version(&info) != 0) return false;
  if (info.dwMajorVersion > 10) return true;
  return info.dwMajorVersion == 10 && info.dwMinorVersion == 0 &&
         info.dwBuildNumber >= kFirstPackagedExtensionBuild;
}

void RemovePackagedShellExtension() {
  if (!RunsPackagedExtensionWindows()) return;
  base::RegKey key;
  if (key.Open(HKEY_CLASSES_ROOT, kPackagedClassIndexKey, KEY_READ) != ERROR_SUCCESS) return;
  ShellExecuteW(nullptr, L"", kPowerShell, kRemovePackageCommand, nullptr, SW_HIDE);
}

bool ContextMenuHandlerRegistered() {
  base::RegKey key;
  if (key.Open(HKEY_CLASSES_ROOT, kContextMenuHandlerKey, KEY_READ) != ERROR_SUCCESS) {
    return false;
  }
  // 512 bytes, of which at most 511 are filled: the value always ends in a
  // zero byte, but an odd count may leave the last unit half written, so the
  // length is bounded rather than trusted.
  wchar_t buffer[256] = {};
  DWORD type = REG_NONE;
  DWORD size = sizeof(buffer) - 1;
  if (RegQueryValueExW(key.Handle(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer),
                       &size) != ERROR_SUCCESS ||
      type != REG_SZ) {
    return false;
  }
  return std::wstring(buffer, wcsnlen(buffer, 255)) == kShellExtensionClassId;
}

void RemoveContextMenuShellExtension(const std::wstring& install_dir,
                                     const std::wstring& registration_tool) {
  if (!ContextMenuHandlerRegistered()) return;
  const std::wstring dll_32 = base::JoinPath(install_dir, kShellExtension32);
  const std::wstring dll_64 = base::JoinPath(install_dir, kShellExtension64);
  if (!PathExists(dll_32) || !PathExists(dll_64)) {
    LOG(ERROR) << "kivo shell path not exist.";
    return;
  }
  Unregister(registration_tool, dll_32);
  Unregister(registration_tool, dll_64);
}

// Deletes |root|\|path| while it has neither subkeys nor values, then its
// parent, and so on up to the first key that is not empty or cannot be
// opened or deleted.
void PruneEmptyKeys(HKEY root, std::wstring path) {
  for (;;) {
    {
      base::RegKey key;
      if (key.Open(root, path.c_str(), KEY_READ) != ERROR_SUCCESS) return;
      DWORD subkeys = 0;
      DWORD values = 0;
      if (RegQueryInfoKeyW(key.Handle(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                           &values, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS ||
          subkeys != 0 || values != 0) {
        return;
      }
    }
    if (RegDeleteKeyW(root, path.c_str()) != ERROR_SUCCESS) return;
    // A path without "\" stays as it is; the next open then fails.
    const size_t last_separator = path.rfind(L'\\');
    if (last_separator != std::wstring::npos) path.resize(last_separator);
  }
}

void RemoveRegistryEntries(const UninstallManifest& manifest) {
  manifest.ForEachKey([&](const ManifestKey& entry) {
    base::RegKey key;
    if (key.Open(entry.root, entry.sub_key_wide.c_str(), KEY_SET_VALUE) != ERROR_SUCCESS) {
      LOG(ERROR) << "open key:" << entry.root_key_name << "\\" << entry.sub_key << "failed";
      return;
    }
    manifest.ForEachValueName(
        entry, [&](const std::wstring& name) { RegDeleteValueW(key.Handle(), name.c_str()); });
    PruneEmptyKeys(entry.root, entry.sub_key_wide);
  });
}

void DeleteValue(HKEY root, const wchar_t* subkey, const wchar_t* name) {
  base::RegKey key;
  if (key.Open(root, subkey, KEY_SET_VALUE) != ERROR_SUCCESS) return;
  RegDeleteValueW(key.Handle(), name);
}

void RemoveFixedRegistryValues() {
  DeleteValue(HKEY_CURRENT_USER, kRunKey, kRunValue);
  base::RegKey classes;
  if (classes.Open(HKEY_CURRENT_USER, kUserClassesKey, KEY_WRITE) == ERROR_SUCCESS) {
    SHDeleteKeyW(classes.Handle(), kUserClassesSubkey);
  }
  DeleteValue(HKEY_LOCAL_MACHINE, kProductKey, kInstallValue);
}

void RemoveShortcut(int folder_id, const wchar_t* relative_folder) {
  wchar_t folder[MAX_PATH] = {};
  if (!SHGetSpecialFolderPathW(nullptr, folder, folder_id, TRUE)) return;
  std::wstring shortcut = folder;
  if (relative_folder) shortcut = base::JoinPath(shortcut, relative_folder);
  shortcut = base::JoinPath(shortcut, kShortcutName);
  if (PathExists(shortcut)) DeletePathLogged(shortcut, false);
}

void RemoveShortcuts() {
  RemoveShortcut(CSIDL_COMMON_DESKTOPDIRECTORY, nullptr);
  RemoveShortcut(CSIDL_APPDATA, kQuickLaunchFolder);
  SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_FLUSHNOWAIT, nullptr, nullptr);
}

// Chooses and creates the folder that files in use are moved into. Returns
// the chosen name even when it could not be created (possibly empty): the
// removal then falls back to renaming or deleting in place.
std::wstring MakeRemovalTempFolder(const std::wstring& install_dir) {
  std::wstring folder;
  if (!setup::GetRemoveFileTempDir(install_dir, &folder)) {
    LOG(WARNING) << "Get remove file temp directory " << folder << " failed.";
    NOTREACHED();
    return folder;
  }
  if (!base::CreateDirectoryPath(folder)) {
    LOG(WARNING) << "Create remove file temp directory " << folder << " failed.";
    NOTREACHED();
    return folder;
  }
  SetupContext::GetInstance()->SetWString(kDeleteFileTempPathKey, folder);
  return folder;
}

// Longest first, so that a folder's subfolders go before it; entries of
// equal length keep their order.
void RemoveListedDirs(const UninstallManifest& manifest, const std::wstring& aside_folder) {
  std::vector<std::wstring> dirs;
  manifest.ForEachDir([&](const std::wstring& path) { dirs.push_back(path); });
  std::stable_sort(dirs.begin(), dirs.end(), [](const std::wstring& a, const std::wstring& b) {
    return a.size() > b.size();
  });
  for (const std::wstring& dir : dirs) RemoveListedDir(dir, aside_folder);
}

}  // namespace

void DeleteFiles::Run(task_object::RuntimeObject* /*object*/) {
  SetupContext* context = SetupContext::GetInstance();

  std::wstring previous_install_path;
  bool result = context->GetWString(kPreviousInstallPathKey, &previous_install_path);
  DCHECK(result);
  const std::wstring install_dir = base::NormalizePath(previous_install_path);

  std::string install_type;
  result = context->GetString(kPreviousInstallTypeKey, &install_type);
  DCHECK(result);
  if (install_type != kNewSetup) return;

  wchar_t common_files[MAX_PATH] = {};
  HRESULT hr = SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES_COMMON, nullptr, 0, common_files);
  DCHECK(hr == S_OK);

  wchar_t system_dir[MAX_PATH] = {};
  const UINT system_dir_length = GetSystemDirectoryW(system_dir, MAX_PATH);
  const std::wstring registration_tool = base::JoinPath(
      system_dir_length < MAX_PATH ? std::wstring(system_dir, system_dir_length) : std::wstring(),
      kRegistrationTool);

  std::wstring manifest_path;
  bool is_backup = false;
  LocateUninstallManifest(&manifest_path, &is_backup);
  UninstallManifest manifest;
  if (!manifest.Open(manifest_path)) return;

  RunModuleEntries(manifest, registration_tool, base::WideToUTF8(previous_install_path),
                   base::WideToUTF8(common_files));
  RemovePackagedShellExtension();
  RemoveContextMenuShellExtension(install_dir, registration_tool);
  RemoveRegistryEntries(manifest);
  RemoveFixedRegistryValues();
  RemoveShortcuts();
  const std::wstring aside_folder = MakeRemovalTempFolder(install_dir);

  if (!manifest.HasFiles()) return;
  manifest.ForEachFile([&](const std::wstring& path) { RemoveListedFile(path, aside_folder); });

  RemoveMiniAppFolder();
  RemoveAppDataVersions();
  RemoveInstallVersions(L"resources\\app\\versions");
  RemoveInstallVersions(L"versions");

  if (!is_backup) DeletePathLogged(manifest_path, false);

  RemoveListedDirs(manifest, aside_folder);
}

}  // namespace uninstall
