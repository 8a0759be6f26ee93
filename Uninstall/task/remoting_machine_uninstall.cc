#include "Uninstall/task/remoting_machine_uninstall.h"

#include <windows.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "TarnelSetup/setup_context.h"
#include "TarnelSetup/task_class_registry.h"
#include "base/file_path_util.h"
#include "base/logging.h"
#include "base/utf_string_conversions.h"

REGISTER_TASK_CLASS(uninstall::RemotingMachineUninstall, "RemotingMachineUninstall");

namespace uninstall {

namespace {

const char kInstallPathKey[] = "PreviousInstallPath";
const char kResultKey[] = "RemotingMachineUninstallResult";
const char kResultSuccess[] = "ResultSuccess";

const wchar_t kVersionsFolder[] = L"versions";
const wchar_t kVersionsConfig[] = L"config.json";
const char kCurrentVersionMember[] = "curVersion";
// Below the version folder.
const wchar_t kInstallerRelativePath[] = L"resources\\app\\kremoting_installer.exe";

// Begins with the quote that closes the installer's path.
const wchar_t kUninstallSwitches[] = L"\" --mode=uninstall --machine-uninstall";
const wchar_t kRequestorPidSwitch[] = L" --requestor-pid=";
const wchar_t kInstallRootSwitch[] = L" --kivo-install-root=\"";

const DWORD kReadBlockBytes = 64 * 1024;

class ScopedServiceHandle {
 public:
  explicit ScopedServiceHandle(SC_HANDLE handle) : handle_(handle) {}
  ~ScopedServiceHandle() {
    if (handle_) CloseServiceHandle(handle_);
  }
  SC_HANDLE get() const { return handle_; }

 private:
  SC_HANDLE handle_;
  ScopedServiceHandle(const ScopedServiceHandle&) = delete;
  ScopedServiceHandle& operator=(const ScopedServiceHandle&) = delete;
};

class ScopedHandle {
 public:
  explicit ScopedHandle(HANDLE handle) : handle_(handle) {}
  ~ScopedHandle() {
    if (handle_ && handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ && handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_;
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
};

// The whole file as bytes. False, with the system's error in |error|, when
// it cannot be opened or read.
bool ReadWholeFile(const std::wstring& path, std::string* contents, DWORD* error) {
  ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) {
    *error = GetLastError();
    return false;
  }
  contents->clear();
  std::vector<char> block(kReadBlockBytes);
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file.get(), block.data(), kReadBlockBytes, &read, nullptr)) {
      *error = GetLastError();
      return false;
    }
    if (read == 0) return true;
    contents->append(block.data(), read);
  }
}

// The version folder named by the config text, or false when the text does
// not name a usable one. The name becomes one component of a path and part
// of a command line, so anything that could leave the versions folder (or cut
// the path short) is refused.
bool ParseCurrentVersion(const std::string& text, std::string* version) {
  const nlohmann::json config = nlohmann::json::parse(text, nullptr, false);
  if (config.is_discarded() || !config.is_object()) return false;
  const auto member = config.find(kCurrentVersionMember);
  if (member == config.end()) return false;
  const std::string* value = member->get_ptr<const nlohmann::json::string_t*>();
  if (!value || value->empty()) return false;
  if (value->find_first_of(std::string("\\/:\0", 4)) != std::string::npos) return false;
  if (*value == "." || *value == "..") return false;
  *version = *value;
  return true;
}

}  // namespace

const wchar_t RemotingMachineUninstall::kServiceName[] = L"KRemotingSvc";

void RemotingMachineUninstall::Run(task_object::RuntimeObject* /*object*/) {
  SetupContext* context = SetupContext::GetInstance();
  std::wstring root;
  if (!context->GetWString(kInstallPathKey, &root)) {
    LOG(ERROR) << "RemotingMachineUninstall: previous install path unavailable";
    context->SetString(kResultKey, kResultSuccess);
    return;
  }

  const ServicePresence presence = QueryRemotingServicePresence();
  LOG(INFO) << "RemotingMachineUninstall: begin, root=" << root
            << ", service_presence=" << static_cast<int>(presence);
  switch (presence) {
    case kServiceUnknown:
      LOG(ERROR) << "RemotingMachineUninstall: service status unknown; skip optional cleanup";
      break;
    case kServiceAbsent:
      LOG(INFO) << "RemotingMachineUninstall: service absent; no cleanup required";
      break;
    case kServicePresent: {
      std::wstring installer;
      if (!ResolveHostInstaller(root, &installer)) {
        LOG(ERROR) << "RemotingMachineUninstall: installer unavailable; continue Kivo uninstall";
      } else if (!LaunchHostInstaller(installer, root)) {
        LOG(ERROR) << "RemotingMachineUninstall: machine cleanup failed; continue Kivo uninstall";
      }
      break;
    }
  }
  // Optional cleanup: the uninstall goes on whatever happened above.
  context->SetString(kResultKey, kResultSuccess);
}

// static
RemotingMachineUninstall::ServicePresence RemotingMachineUninstall::QueryRemotingServicePresence() {
  ScopedServiceHandle manager(
      OpenSCManagerW(nullptr, SERVICES_ACTIVE_DATABASEW, SC_MANAGER_CONNECT));
  if (!manager.get()) {
    LOG(ERROR) << "RemotingMachineUninstall: OpenSCManager failed, error=" << GetLastError();
    return kServiceUnknown;
  }
  // Only whether it exists matters, not its state.
  ScopedServiceHandle service(OpenServiceW(manager.get(), kServiceName, SERVICE_QUERY_STATUS));
  if (service.get()) return kServicePresent;
  const DWORD error = GetLastError();
  if (error == ERROR_SERVICE_DOES_NOT_EXIST) return kServiceAbsent;
  LOG(ERROR) << "RemotingMachineUninstall: query service failed, error=" << error;
  return kServiceUnknown;
}

// static
bool RemotingMachineUninstall::ResolveHostInstaller(const std::wstring& root,
                                                    std::wstring* installer_path) {
  const std::wstring versions = base::JoinPath(root, kVersionsFolder);
  const std::wstring config_path = base::JoinPath(versions, kVersionsConfig);
  std::string text;
  DWORD error = 0;
  if (!ReadWholeFile(config_path, &text, &error)) {
    LOG(ERROR) << "RemotingMachineUninstall: read versions config failed, path=" << config_path
               << ", error=" << error;
    return false;
  }
  std::string version;
  if (!ParseCurrentVersion(text, &version)) {
    LOG(ERROR) << "RemotingMachineUninstall: invalid curVersion, path=" << config_path;
    return false;
  }
  *installer_path =
      base::JoinPath(base::JoinPath(versions, base::UTF8ToWide(version)), kInstallerRelativePath);
  if (GetFileAttributesW(installer_path->c_str()) != INVALID_FILE_ATTRIBUTES) {
    LOG(INFO) << "RemotingMachineUninstall: current HostInstaller resolved, "
              << "version=" << version << ", path=" << *installer_path;
    return true;
  }
  error = GetLastError();
  LOG(ERROR) << "RemotingMachineUninstall: current HostInstaller missing, version=" << version
             << ", path=" << *installer_path << ", error=" << error;
  return false;
}

// static
bool RemotingMachineUninstall::LaunchHostInstaller(const std::wstring& installer_path,
                                                   const std::wstring& root) {
  const DWORD pid = GetCurrentProcessId();
  std::wstring command_line = L"\"" + installer_path + kUninstallSwitches;
  command_line += kRequestorPidSwitch + std::to_wstring(pid);
  command_line += kInstallRootSwitch + base::NormalizePath(root) + L"\"";

  LOG(INFO) << "RemotingMachineUninstall: launch HostInstaller, executable=" << installer_path
            << ", root=" << root << ", requestor_pid=" << pid;

  // CreateProcessW may write into the command line.
  std::vector<wchar_t> buffer(command_line.begin(), command_line.end());
  buffer.push_back(L'\0');
  STARTUPINFOW startup_info = {};
  startup_info.cb = sizeof(startup_info);
  PROCESS_INFORMATION process_info = {};
  if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup_info, &process_info)) {
    LOG(ERROR) << "RemotingMachineUninstall: launch HostInstaller failed, error=" << GetLastError();
    return false;
  }
  ScopedHandle process(process_info.hProcess);
  ScopedHandle thread(process_info.hThread);

  const DWORD wait = WaitForSingleObject(process.get(), kInstallerWaitMs);
  DWORD wait_error = 0;
  DWORD exit_code = kNoExitCode;
  DWORD exit_error = 0;
  if (wait == WAIT_FAILED) {
    wait_error = GetLastError();
  } else if (wait == WAIT_OBJECT_0) {
    DWORD code = 0;
    if (GetExitCodeProcess(process.get(), &code)) {
      exit_code = code;
    } else {
      exit_error = GetLastError();
    }
  }
  // On a time-out the installer is left to finish on its own.

  if (wait == WAIT_OBJECT_0 && exit_error == 0 && exit_code == 0) {
    LOG(INFO) << "RemotingMachineUninstall: HostInstaller completed successfully";
    return true;
  }
  LOG(ERROR) << "RemotingMachineUninstall: HostInstaller failed, wait=" << wait
             << ", wait_error=" << wait_error << ", exit=" << exit_code
             << ", exit_error=" << exit_error;
  return false;
}

}  // namespace uninstall
