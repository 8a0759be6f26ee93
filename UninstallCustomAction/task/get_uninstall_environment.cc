#include "UninstallCustomAction/task/get_uninstall_environment.h"

#include <windows.h>

#include <string>

#include "TarnelSetup/setup_context.h"
#include "TarnelSetup/task_class_registry.h"
#include "base/file_path_util.h"
#include "base/logging.h"
#include "base/reg_key.h"

REGISTER_TASK_CLASS(uninstall::GetUninstallEnvironment, "GetUninstallEnvironment");

namespace uninstall {

namespace {

const wchar_t kInstallValue[] = L"Install";
const wchar_t kVersionValue[] = L"version";
const wchar_t kReportVersionValue[] = L"rversion";
const wchar_t kManifestName[] = L"Uninstall.xml";
const wchar_t kBackupFolder[] = L"Uninstall";

const char kNeedUninstallKey[] = "NeedUnistall";
const char kPreviousVersionKey[] = "PreviousVersion";
const char kReportVersionKey[] = "UninstallReportVersion";
const char kInstallTypeKey[] = "PreviousInstallType";
const char kInstallPathKey[] = "PreviousInstallPath";
const char kSetupTempPathKey[] = "SetupTempPath";
const char kNewSetup[] = "NewSetup";

// The root's name as the log lines spell it.
const char kRootName[] = "HKEY_LOCAL_MACHIN\\";

void NoInstallation() { SetupContext::GetInstance()->SetString(kNeedUninstallKey, "false"); }

bool PathExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Whether the manifest's backup copy, kept under the uninstaller's temporary
// folder in a folder named after the installed version, exists. Nothing of
// this lookup is logged but its final miss.
bool BackupManifestExists() {
  base::RegKey key;
  if (key.Open(HKEY_LOCAL_MACHINE, GetUninstallEnvironment::kProductKey, KEY_READ) !=
      ERROR_SUCCESS) {
    return false;
  }
  std::wstring version;
  if (key.ReadValue(kVersionValue, &version) != ERROR_SUCCESS || version.empty()) return false;
  std::wstring temp_path;
  SetupContext::GetInstance()->GetWString(kSetupTempPathKey, &temp_path);
  const std::wstring backup = base::JoinPath(
      base::JoinPath(base::JoinPath(temp_path, kBackupFolder), version), kManifestName);
  if (!PathExists(backup)) {
    LOG(INFO) << "Uninstall.xml backup path not exists";
    return false;
  }
  return true;
}

}  // namespace

const wchar_t GetUninstallEnvironment::kProductKey[] = L"Software\\Norvane\\KivoNT";

void GetUninstallEnvironment::Run(task_object::RuntimeObject* /*object*/) {
  SetupContext* context = SetupContext::GetInstance();

  base::RegKey key;
  if (key.Open(HKEY_LOCAL_MACHINE, kProductKey, KEY_QUERY_VALUE) != ERROR_SUCCESS) {
    NoInstallation();
    LOG(INFO) << kRootName << kProductKey << " open fail";
    return;
  }
  std::wstring install_path;
  if (key.ReadValue(kInstallValue, &install_path) != ERROR_SUCCESS) {
    NoInstallation();
    LOG(INFO) << kRootName << kProductKey << " read fail";
    return;
  }
  if (install_path.empty()) {
    NoInstallation();
    LOG(INFO) << "install path empty";
    return;
  }
  // Any kind of object at the path will do.
  if (!PathExists(install_path)) {
    NoInstallation();
    LOG(INFO) << "install path not exists";
    return;
  }
  if (!PathExists(base::JoinPath(install_path, kManifestName))) {
    // Stays so unless the backup is found and the rest succeeds.
    NoInstallation();
    LOG(INFO) << "Uninstall.xml path not exists";
    if (!BackupManifestExists()) return;
  }

  std::wstring version;
  if (key.ReadValue(kVersionValue, &version) != ERROR_SUCCESS) {
    NoInstallation();
    LOG(INFO) << kRootName << kProductKey << " version read fail";
    return;
  }
  if (version.empty()) {
    NoInstallation();
    LOG(INFO) << "version empty";
    return;
  }

  // The report names "rversion" when there is one, even an empty one.
  std::wstring report_version;
  if (key.ReadValue(kReportVersionValue, &report_version) != ERROR_SUCCESS) {
    report_version = version;
  }
  context->SetWString(kPreviousVersionKey, version);
  context->SetWString(kReportVersionKey, report_version);
  context->SetString(kInstallTypeKey, kNewSetup);
  // Exactly as read: readers that need a clean folder normalise it.
  context->SetWString(kInstallPathKey, install_path);
  context->SetString(kNeedUninstallKey, "true");
}

}  // namespace uninstall
