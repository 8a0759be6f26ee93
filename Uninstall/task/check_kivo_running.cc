#include "Uninstall/task/check_kivo_running.h"

#include <windows.h>

#include <string>
#include <vector>

#include "TarnelSetup/setup_context.h"
#include "TarnelSetup/setup_util.h"
#include "TarnelSetup/task_class_registry.h"
#include "TarnelSetup/util/process/check_process.h"
#include "TarnelSetup/util/process/kill_process.h"
#include "base/logging.h"

REGISTER_TASK_CLASS(uninstall::CheckKivoRunning, "CheckKivoRunning");

namespace uninstall {

namespace {

const wchar_t kProductName[] = L"Kivo";
const wchar_t kRunningCaption[] = L"[ProductName]正在运行";
// Real CR LF between the two sentences.
const wchar_t kRunningText[] =
    L"[ProductName]正在运行，安装无法继续。\r\n"
    L"请关闭[ProductName]并单击「重试」，或者单击「取消」退出安装。";
const wchar_t kProtectionExeName[] = L"diverurudav.exe";

const char kCheckResultKey[] = "CheckResult";
const char kResultOK[] = "ResultOK";
const char kResultCancel[] = "ResultCancel";

}  // namespace

void CheckKivoRunning::Run(task_object::RuntimeObject* /*object*/) {
  for (;;) {
    std::vector<DWORD> running;
    // A list that cannot be read leaves |running| empty: the run goes on.
    setup::FindKivoProcesses(GetCurrentProcessId(), &running);
    if (running.empty()) {
      setup::KillProcessesByName(kProtectionExeName);
      SetupContext::GetInstance()->SetString(kCheckResultKey, kResultOK);
      return;
    }

    std::wstring caption = kRunningCaption;
    std::wstring text = kRunningText;
    setup::PrepareMessageTexts(kProductName, &caption, &text);
    const int answer = MessageBoxW(nullptr, text.c_str(), caption.c_str(),
                                   MB_SYSTEMMODAL | MB_ICONEXCLAMATION | MB_RETRYCANCEL);
    LOG(INFO) << "Kivo is running: " << running.size() << " process(es), answered " << answer;
    if (answer != IDRETRY) {
      // Cancel, or no box at all: leave everything as it is.
      SetupContext::GetInstance()->SetString(kCheckResultKey, kResultCancel);
      return;
    }
  }
}

}  // namespace uninstall
