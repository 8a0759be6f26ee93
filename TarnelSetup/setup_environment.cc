#include "TarnelSetup/setup_environment.h"

#include <windows.h>
#include <shlobj.h>

#include <string>

#include "TarnelSetup/setup_context.h"
#include "TarnelSetup/setup_util.h"
#include "base/file_path_util.h"
#include "base/logging.h"

namespace setup {

namespace {

bool IsDirectory(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Makes |path| a folder: a plain file of that name is deleted first.
bool EnsureDirectory(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
    return true;
  if (attributes != INVALID_FILE_ATTRIBUTES) base::DeletePath(path, false);
  return base::CreateDirectoryPath(path);
}

}  // namespace

void InitEnvironmentPaths() {
  SetupContext* context = SetupContext::GetInstance();

  wchar_t buffer[MAX_PATH] = {};
  std::wstring appdata;
  if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buffer)))
    appdata = buffer;
  context->SetWString("AppdataPath", appdata);

  std::wstring log_path = base::JoinPath(appdata, L"Norvane\\Logs");
  context->SetWString("LogPath", log_path);
  EnsureDirectory(log_path);

  std::wstring temp_path = base::JoinPath(appdata, L"Norvane\\Kivo\\STemp");
  if (!IsDirectory(temp_path) && !EnsureDirectory(temp_path)) {
    if (!MakeTempDirWithPrefix(L"kivo_setup_temp", &temp_path)) {
      // "创建windows的临时目录失败" (creating the Windows temporary folder failed)
      LOG(ERROR) << "\xb4\xb4\xbd\xa8windows\xb5\xc4\xc1\xd9\xca\xb1\xc4\xbf\xc2\xbc\xca\xa7\xb0\xdc";
      return;
    }
    context->SetInt("HasCreateWindowsTemp", 1);
  }
  context->SetWString("SetupTempPath", temp_path);

  wchar_t system_dir[MAX_PATH] = {};
  UINT len = GetSystemDirectoryW(system_dir, MAX_PATH);
  context->SetWString("SystemPath", std::wstring(system_dir, len < MAX_PATH ? len : 0));
}

void InitLogFile() {
  std::wstring log_path;
  SetupContext::GetInstance()->GetWString("LogPath", &log_path);
  std::wstring log_file = base::JoinPath(log_path, L"kivo_uninstall.log");
  logging::OpenLogDestination(log_file, logging::LOG_TO_BOTH_FILE_AND_SYSTEM_DEBUG_LOG,
                              logging::LOCK_LOG_FILE, logging::APPEND_TO_OLD_LOG_FILE);
  logging::SetLogItems(true, true, true, true);
}

}  // namespace setup
