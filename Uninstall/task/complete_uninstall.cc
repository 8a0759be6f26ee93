#include "Uninstall/task/complete_uninstall.h"

#include <windows.h>

#include <string>

#include "TarnelSetup/setup_util.h"
#include "TarnelSetup/task_class_registry.h"

REGISTER_TASK_CLASS(uninstall::CompleteUninstall, "CompleteUninstall");

namespace uninstall {

namespace {

const wchar_t kProductName[] = L"NorvaneKivo";
const wchar_t kCompletionCaption[] = L"[ProductName]卸载";
const wchar_t kCompletionText[] = L"[ProductName]已成功地从您的计算机移除。";

}  // namespace

void CompleteUninstall::Run(task_object::RuntimeObject* /*object*/) {
  std::wstring caption = kCompletionCaption;
  std::wstring text = kCompletionText;
  setup::PrepareMessageTexts(kProductName, &caption, &text);
  // The answer does not matter: the box has only OK.
  MessageBoxW(nullptr, text.c_str(), caption.c_str(), MB_SYSTEMMODAL | MB_ICONINFORMATION);
}

}  // namespace uninstall
