#include "Uninstall/task/taskbar_unpin_short_link.h"

#include <windows.h>

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <vector>

#include "TarnelSetup/setup_context.h"
#include "TarnelSetup/task_class_registry.h"
#include "base/file_path_util.h"
#include "base/os_version.h"
#include "base/path_containment.h"
#include "base/scoped_com_ptr.h"
#include "base/shortcut_util.h"

REGISTER_TASK_CLASS(uninstall::TaskbarUnpinShortLink, "TaskbarUnpinShortLink");

namespace uninstall {

namespace {

const char kPreviousInstallPathKey[] = "PreviousInstallPath";

// Pinning to the taskbar came with Windows 7, the pin folders with Vista.
const unsigned long kFirstVersionWithPins = 6;

typedef HRESULT(WINAPI* SHCreateItemFromParsingNameFunction)(PCWSTR path, IBindCtx* bind_context,
                                                             REFIID iid, void** item);

// The *.lnk files directly in |folder|, in the order the file system gives
// them. Collected before anything is unpinned: the shell deletes a pin's
// shortcut when it removes the pin.
std::vector<std::wstring> ListShortcutFiles(const std::wstring& folder) {
  std::vector<std::wstring> shortcuts;
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(base::JoinPath(folder, L"*.lnk").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return shortcuts;
  do {
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    shortcuts.push_back(base::JoinPath(folder, data.cFileName));
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return shortcuts;
}

}  // namespace

const wchar_t* const TaskbarUnpinShortLink::kPinFolders[2] = {
    L"Microsoft\\Internet Explorer\\Quick Launch\\User Pinned\\TaskBar",
    L"Microsoft\\Internet Explorer\\Quick Launch\\User Pinned\\StartMenu",
};

void TaskbarUnpinShortLink::Run(task_object::RuntimeObject* /*object*/) {
  if (base::GetOSVersionNumbers().major < kFirstVersionWithPins) return;

  wchar_t app_data[MAX_PATH] = L"";
  if (!SHGetSpecialFolderPathW(nullptr, app_data, CSIDL_APPDATA, TRUE)) return;

  // Absent gives an empty directory, which contains nothing.
  std::wstring install_dir;
  SetupContext::GetInstance()->GetWString(kPreviousInstallPathKey, &install_dir);

  for (const wchar_t* relative : kPinFolders) {
    for (const std::wstring& shortcut : ListShortcutFiles(base::JoinPath(app_data, relative))) {
      std::wstring target = shortcut;
      if (!base::ResolveLinkTarget(&target)) continue;
      if (!base::IsUnderDirectory(install_dir, target)) continue;
      // The pin list knows the pin by its shortcut, not by the target.
      UnpinShortcut(shortcut);
    }
  }
}

HRESULT UnpinShortcut(const std::wstring& shortcut_path) {
  HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (FAILED(result)) return result;

  // Looked up at run time: shell32 has it only from Vista on.
  HMODULE shell32 = LoadLibraryW(L"shell32.dll");
  SHCreateItemFromParsingNameFunction create_item =
      shell32 ? reinterpret_cast<SHCreateItemFromParsingNameFunction>(
                    GetProcAddress(shell32, "SHCreateItemFromParsingName"))
              : nullptr;
  if (!create_item) {
    // Not the initialisation's success: the shortcut was not unpinned.
    result = HRESULT_FROM_WIN32(GetLastError());
    if (SUCCEEDED(result)) result = E_FAIL;
  } else {
    base::ScopedComPtr<IShellItem> item;
    result = create_item(shortcut_path.c_str(), nullptr, IID_IShellItem, item.ReceiveVoid());
    if (SUCCEEDED(result)) {
      base::ScopedComPtr<IStartMenuPinnedList> pinned_list;
      result = CoCreateInstance(CLSID_StartMenuPin, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IStartMenuPinnedList, pinned_list.ReceiveVoid());
      if (SUCCEEDED(result)) result = pinned_list->RemoveFromList(item.get());
    }
  }

  CoUninitialize();
  return result;
}

}  // namespace uninstall
