#include "Uninstall/task/start_uninstall.h"

#include <windows.h>

#include <string>

#include "TarnelSetup/setup_context.h"
#include "TarnelSetup/task_class_registry.h"
#include "base/logging.h"

REGISTER_TASK_CLASS(uninstall::StartUninstall, "StartUninstall");

namespace uninstall {

namespace {

const wchar_t kNoticeCaption[] = L"提示";
const wchar_t kAlreadyRunningText[] = L"已有安装程序正在运行，请稍后卸载。";
const wchar_t kConfirmText[] = L"您确定要卸载此产品吗？";

const char kCheckResultKey[] = "CheckResult";
const char kResultOK[] = "ResultOK";
const char kResultCancel[] = "ResultCancel";

}  // namespace

const wchar_t StartUninstall::kInstanceMutexName[] = L"_NV~KIVO~0824";

void StartUninstall::Run(task_object::RuntimeObject* /*object*/) {
  // Deliberately never closed: the mutex marks this process as a running
  // setup until it exits.
  HANDLE instance_mutex = CreateMutexW(nullptr, FALSE, kInstanceMutexName);
  const DWORD error = GetLastError();

  const char* result = kResultCancel;
  if (instance_mutex && error == ERROR_ALREADY_EXISTS) {
    LOG(INFO) << "Another setup program is running";
    MessageBoxW(nullptr, kAlreadyRunningText, kNoticeCaption, MB_OK | MB_ICONINFORMATION);
  } else {
    // No handle at all is not reported: the uninstall goes on as if no other
    // setup ran.
    const int answer =
        MessageBoxW(nullptr, kConfirmText, kNoticeCaption, MB_YESNO | MB_ICONINFORMATION);
    if (answer == IDYES) result = kResultOK;
    LOG(INFO) << "Uninstall confirmation answered " << answer;
  }
  SetupContext::GetInstance()->SetString(kCheckResultKey, result);
}

}  // namespace uninstall
